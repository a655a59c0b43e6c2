// The engine's readers under the fuzzer: SQL text through the query
// dataset, the filter language, and database files (FuzzTargets.h).
#include <cstdio>
#include <memory>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbErrors.h"
#include "Udb/UdbTable.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "platform/core/AnsiText.h"
#include "platform/core/NumFormat.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"
#include "sql/UdbQuery.h"
#include "tests/udb/FileFuzzSupport.h"
#include "tests/udb/MemFileSystem.h"

namespace {

constexpr const char* kDbName = "fuzz.udb";
// Rows read from one result or one filtered table at most: a cross join of
// the sample tables is small, a result beyond this is not read further.
constexpr int kMaxRows = 2000;

// The sample database of the SQL and filter targets: employees with every
// stored type the program uses, departments, Chinese texts.
std::vector<std::uint8_t> MakeSample() {
  TMemFileSystem fs;
  TUdbDataBase db;
  db.SetFileSystem(&fs);
  db.SetDataBaseName(kDbName);
  db.CreateDatabase();
  db.SetConnected(true);
  TIndexOptions primary;
  primary << ixPrimary;
  {
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName("emp");
    t.FieldDefs()->Add("ID", ftInteger);
    t.FieldDefs()->Add("ZGBH", ftString, 15);
    t.FieldDefs()->Add("XM", ftString, 8);
    t.FieldDefs()->Add("BM", ftString, 10);
    t.FieldDefs()->Add("F01", ftFloat);
    t.FieldDefs()->Add("F02", ftFloat);
    t.FieldDefs()->Add("N", ftSmallint);
    t.FieldDefs()->Add("HIRED", ftDate);
    t.FieldDefs()->Add("OK", ftBoolean);
    t.FieldDefs()->Add("NOTE", ftMemo);
    t.IndexDefs()->Add("PK", "ID", primary);
    t.IndexDefs()->Add("ByBm", "BM;ZGBH", TIndexOptions());
    t.CreateTable();
    t.Open();
    const char* names[] = {"张三", "李四", "王五", "赵六", "O'Brien", "", "钱七", "孙八"};
    const char* depts[] = {"0101", "0101", "0102", "0102", "0201", "0201", "", "0301"};
    for (int i = 0; i < 8; ++i) {
      t.Append();
      t.FieldByName("ID")->SetAsInteger(i + 1);
      t.FieldByName("ZGBH")->SetAsString(AnsiString(depts[i]) + "00" + IntToStr(i + 1));
      if (names[i][0]) t.FieldByName("XM")->SetAsString(names[i]);
      t.FieldByName("BM")->SetAsString(depts[i]);
      t.FieldByName("F01")->SetAsFloat(1000 + 125.5 * i);
      if (i % 3) t.FieldByName("F02")->SetAsFloat(-12.25 * i);
      t.FieldByName("N")->SetAsInteger(i * 7 - 20);
      t.FieldByName("HIRED")->SetAsFloat(40000 + 31 * i);
      t.FieldByName("OK")->SetAsBoolean(i % 2 == 0);
      if (i % 2) t.FieldByName("NOTE")->SetAsString("备注 " + IntToStr(i));
      t.Post();
    }
  }
  {
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName("dept");
    t.FieldDefs()->Add("BMBH", ftString, 10);
    t.FieldDefs()->Add("BMMC", ftString, 20);
    t.IndexDefs()->Add("PK", "BMBH", primary);
    t.CreateTable();
    t.Open();
    const char* rows[][2] = {{"0101", "财务科"}, {"0102", "人事科"}, {"0201", "车间"}, {"0401", "后勤"}};
    for (const auto& r : rows) {
      t.Append();
      t.FieldByName("BMBH")->SetAsString(r[0]);
      t.FieldByName("BMMC")->SetAsString(r[1]);
      t.Post();
    }
  }
  db.SetConnected(false);
  return fs.Bytes(kDbName);
}

// A fresh copy of the sample for every case, so that no case sees what an
// earlier one changed.
struct TSample {
  TMemFileSystem fs;
  TUdbDataBase db;
  TSample() {
    static const std::vector<std::uint8_t> bytes = MakeSample();
    fs.Bytes(kDbName) = bytes;
    db.SetFileSystem(&fs);
    db.SetDataBaseName(kDbName);
    db.SetConnected(true);
  }
};

void ReadRows(TDataSet& ds) {
  int rows = 0;
  for (ds.First(); !ds.Eof() && rows < kMaxRows; ds.Next(), ++rows)
    for (int f = 0; f < ds.FieldCount(); ++f) (void)ds.Fields()->Fields(f)->AsString();
}

bool StartsWithWord(const AnsiString& text, const char* word) {
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  const AnsiString w(word);
  return AnsiUpperCase(AnsiString(text.substr(i, w.size()))) == w;
}

}  // namespace

int FuzzSqlQuery(const std::uint8_t* data, std::size_t size) {
  const AnsiString text = FuzzText(data, size);
  TSample sample;
  return FuzzShown([&] {
    TUdbQuery q;
    q.SetDataBase(&sample.db);
    q.SQL()->SetText(text);
    if (StartsWithWord(text, "SELECT") || StartsWithWord(text, "TRANSFORM")) {
      q.Open();
      ReadRows(q);
    } else {
      q.ExecSQL();
    }
  });
}

int FuzzUdbFilter(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  TSample sample;
  return FuzzShown([&] {
    TUdbTable t;
    t.SetDataBase(&sample.db);
    t.SetTableName("emp");
    TFilterOptions options;
    if (data[0] & 1) options << foCaseInsensitive;
    if (data[0] & 2) options << foNoPartialCompare;
    if (data[0] & 4) t.SetIndexName("ByBm");
    t.Open();
    t.SetFilterOptions(options);
    t.SetFilter(FuzzText(data + 1, size - 1));
    t.SetFiltered(true);
    ReadRows(t);
    for (t.Last(); !t.Bof(); t.Prior()) {
    }
  });
}

int FuzzUdbFile(const std::uint8_t* data, std::size_t size) {
  const std::string escaped = ReadWholeDatabase(std::vector<std::uint8_t>(data, data + size));
  if (!escaped.empty()) throw EFuzzEscape("escaped the database reader: " + escaped);
  return 0;
}
