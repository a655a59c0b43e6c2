// A bare query host over in-memory tables for the executor's tests: it
// parses a statement, runs it and gives the rows back as text.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/core/NumFormat.h"
#include "platform/data/Fields.h"
#include "sql/ResultSet.h"
#include "sql/SqlParser.h"
#include "sql/SqlQueryHost.h"
#include "tests/data/MemDataSet.h"

class TTestHost : public TSqlQueryHost {
 public:
  TTestHost() { ShowWaitCursor = false; }
  ~TTestHost() override {
    for (auto& d : copies) d->Close();
  }
  // A second cursor: a copy of the rows (the tests never change them
  // through it).
  TDataSet* CreateCursorCopy(TDataSet* source) override {
    auto copy = std::make_unique<TMemDataSet>();
    TFields* fields = source->Fields();
    for (int f = 0; f < fields->Count(); ++f)
      copy->AddColumn(fields->Fields(f)->FieldName(), fields->Fields(f)->DataType(),
                      fields->Fields(f)->Size());
    TBookmarkKeeper keep(source);
    for (source->First(); !source->Eof(); source->Next()) {
      std::vector<Variant> row;
      for (int f = 0; f < fields->Count(); ++f) row.push_back(fields->Fields(f)->Value());
      copy->AddRow(row);
    }
    copy->Open();
    copies.push_back(std::move(copy));
    return copies.back().get();
  }
  void BeginWaitCursor() override { ++waitCursors; }
  void EndWaitCursor() override { --waitCursors; }
  void PackTable(TTableList& tables) override { packed = tables.Count(); }

  std::vector<std::unique_ptr<TMemDataSet>> copies;
  int waitCursors = 0;
  int packed = -1;
};

// "a|b|c" per row; null values read "null"; floats in their shortest form.
inline std::vector<std::string> RowsOf(TResultSet* rs) {
  std::vector<std::string> rows;
  if (!rs) return rows;
  for (int r = 1; r <= rs->GetRecordCount(); ++r) {
    rs->SetRecNo(r);
    std::string line;
    for (int c = 0; c < rs->Fields().Count(); ++c) {
      TsqField* f = rs->Fields().Items(c);
      if (c) line += "|";
      line += f->IsNull() ? std::string("null") : std::string(f->GetAsString());
    }
    rows.push_back(line);
  }
  return rows;
}

inline std::vector<std::string> NamesOf(TResultSet* rs) {
  std::vector<std::string> names;
  for (int c = 0; c < rs->Fields().Count(); ++c) names.push_back(rs->Fields().Items(c)->FieldName());
  return names;
}

// Parses and runs text against host; the statement stays for inspection.
inline std::unique_ptr<TSqlAnalizer> RunSql(TTestHost& host, const AnsiString& text) {
  auto s = std::make_unique<TSqlAnalizer>();
  ParseSql(text, *s);
  s->SetSqlQuery(&host);
  if (s->StatementKind == skSelect || s->StatementKind == skMerge)
    s->ExecuteOpen();
  else
    s->ExecuteCommand();
  return s;
}

// The message of a run that must fail ("no error" when it does not).
inline std::string ErrorOfSql(TTestHost& host, const AnsiString& text) {
  try {
    RunSql(host, text);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no error";
}

using Rows = std::vector<std::string>;
