// What the dataset layer adds to the engine: the same work on a payroll-
// shaped table through the table component TUdbTable (as the program uses
// it: FieldByName, Append/Post, Locate, Edit/Post in one transaction per
// row, scrolling with a data link attached) and straight through the
// engine cursor, in one run on one database file.  Each benchmark times
// both sides and reports table_ms, cursor_ms and ratio = table / cursor.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "Udb/UdbTableCursor.h"
#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPayItems = 30;

AnsiString PayField(int i) {
  char name[8];
  std::snprintf(name, sizeof name, "F%02d", i);
  return name;
}

AnsiString Code(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "%07d", i);
  return text;
}

// A fresh database file with two tables of the same shape: "viaTable" is
// worked through TUdbTable, "viaCursor" through the cursor.
struct TBenchDb {
  std::filesystem::path dir;
  TUdbDataBase db;
  explicit TBenchDb() {
    dir = std::filesystem::temp_directory_path() / ("payroll-tablebench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    db.SetDirectory((dir.string() + "/").c_str());
    db.SetDataBaseName("GZ.udb");
    db.CreateDatabase();
    db.SetConnected(true);
    for (const char* name : {"viaTable", "viaCursor"}) {
      TUdbTable t;
      t.SetDataBase(&db);
      t.SetTableName(name);
      t.FieldDefs()->Add("ZGBH", ftString, 15);
      t.FieldDefs()->Add("BMBH", ftString, 10);
      t.FieldDefs()->Add("XM", ftString, 20);
      for (int i = 1; i <= kPayItems; ++i) t.FieldDefs()->Add(PayField(i), ftFloat);
      t.IndexDefs()->Add("ByCode", "ZGBH", TIndexOptions() << ixUnique);
      t.IndexDefs()->Add("ByDept", "BMBH", TIndexOptions());
      t.CreateTable();
    }
  }
  ~TBenchDb() {
    db.SetConnected(false);
    std::filesystem::remove_all(dir);
  }
};

struct TSides {
  std::unique_ptr<TUdbTable> table;
  std::unique_ptr<TUdbTableCursor> cursor;
  std::vector<int> fieldIndex;  // cursor field index of ZGBH, BMBH, XM, F01..
  explicit TSides(TBenchDb& b) {
    table = std::make_unique<TUdbTable>();
    table->SetDataBase(&b.db);
    table->SetTableName("viaTable");
    table->SetIndexName("ByCode");
    table->Open();
    cursor = std::make_unique<TUdbTableCursor>();
    cursor->SetDataBase(&b.db);
    cursor->SetTableName("viaCursor");
    cursor->SetIndexName("ByCode");
    cursor->DataSetOpen();
    for (const char* f : {"ZGBH", "BMBH", "XM"}) fieldIndex.push_back(cursor->FieldIndexOf(f));
    for (int i = 1; i <= kPayItems; ++i) fieldIndex.push_back(cursor->FieldIndexOf(PayField(i)));
  }
  void AppendTable(int i) {
    table->Append();
    table->FieldByName("ZGBH")->SetAsString(Code(i));
    table->FieldByName("BMBH")->SetAsString(Code(i % 50).substr(3));
    table->FieldByName("XM")->SetAsString("职工" + Code(i));
    for (int k = 1; k <= kPayItems; ++k) table->FieldByName(PayField(k))->SetAsFloat(i * 0.5 + k);
    table->Post();
  }
  void AppendCursor(int i, std::vector<std::uint8_t>& buf) {
    cursor->InitRecBuf(buf.data());
    cursor->DataSetSetFieldDataToRecBufAsVariant(buf.data(), fieldIndex[0], Variant(Code(i)));
    cursor->DataSetSetFieldDataToRecBufAsVariant(buf.data(), fieldIndex[1], Variant(Code(i % 50).substr(3)));
    cursor->DataSetSetFieldDataToRecBufAsVariant(buf.data(), fieldIndex[2], Variant("职工" + Code(i)));
    for (int k = 1; k <= kPayItems; ++k)
      cursor->DataSetSetFieldDataToRecBufAsVariant(buf.data(), fieldIndex[static_cast<size_t>(2 + k)],
                                                   Variant(i * 0.5 + k));
    cursor->SetRecBuf(buf.data());
    cursor->AddRecord(true);
  }
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Report(benchmark::State& state, double tableMs, double cursorMs) {
  state.SetIterationTime((tableMs + cursorMs) / 1000.0);
  state.counters["table_ms"] = tableMs;
  state.counters["cursor_ms"] = cursorMs;
  state.counters["ratio"] = cursorMs > 0 ? tableMs / cursorMs : 0;
}

void Fill(TSides& s, int rows) {
  std::vector<std::uint8_t> buf(static_cast<size_t>(s.cursor->GetRecBufSize()));
  for (int i = 0; i < rows; ++i) {
    s.AppendTable(i);
    s.AppendCursor(i, buf);
  }
  s.table->First();
}

void BM_Append(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  for (auto _ : state) {
    TBenchDb b;
    TSides s(b);
    std::vector<std::uint8_t> buf(static_cast<size_t>(s.cursor->GetRecBufSize()));
    auto t0 = Clock::now();
    for (int i = 0; i < rows; ++i) s.AppendTable(i);
    auto t1 = Clock::now();
    for (int i = 0; i < rows; ++i) s.AppendCursor(i, buf);
    auto t2 = Clock::now();
    Report(state, Ms(t1 - t0), Ms(t2 - t1));
  }
}

void BM_ScanSum(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  TBenchDb b;
  TSides s(b);
  Fill(s, rows);
  const int f01 = s.fieldIndex[3];
  for (auto _ : state) {
    double a = 0, c = 0;
    auto t0 = Clock::now();
    TField* f = s.table->FieldByName("F01");
    for (s.table->First(); !s.table->Eof(); s.table->Next()) a += f->AsFloat();
    auto t1 = Clock::now();
    for (bool ok = s.cursor->GotoFirst(); ok; ok = s.cursor->GotoNext()) {
      Variant v;
      s.cursor->DataSetGetFieldDataFromRecBufAsVariant(s.cursor->RecBuf(), f01, v);
      c += v.AsDouble();
    }
    auto t2 = Clock::now();
    benchmark::DoNotOptimize(a + c);
    Report(state, Ms(t1 - t0), Ms(t2 - t1));
  }
}

void BM_ScrollWithDataLink(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  TBenchDb b;
  TSides s(b);
  Fill(s, rows);
  TDataSource source(nullptr);
  source.SetDataSet(s.table.get());
  int changes = 0;
  source.OnDataChange = [&](TObject*, TField*) { ++changes; };
  for (auto _ : state) {
    auto t0 = Clock::now();
    for (s.table->First(); !s.table->Eof(); s.table->Next()) {
    }
    auto t1 = Clock::now();
    for (bool ok = s.cursor->GotoFirst(); ok; ok = s.cursor->GotoNext()) {
    }
    auto t2 = Clock::now();
    Report(state, Ms(t1 - t0), Ms(t2 - t1));
  }
  benchmark::DoNotOptimize(changes);
}

void BM_LocateByKey(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  TBenchDb b;
  TSides s(b);
  Fill(s, rows);
  std::mt19937 rng(7);
  std::vector<int> keys(1000);
  for (int& k : keys) k = static_cast<int>(rng() % static_cast<unsigned>(rows));
  std::vector<std::uint8_t> buf(static_cast<size_t>(s.cursor->GetRecBufSize()));
  for (auto _ : state) {
    int found = 0;
    auto t0 = Clock::now();
    for (int k : keys) found += s.table->Locate("ZGBH", Variant(Code(k)), TLocateOptions());
    auto t1 = Clock::now();
    for (int k : keys) {
      s.cursor->InitSearchRecord(buf.data(), true);
      s.cursor->DataSetSetFieldDataToRecBufAsVariant(buf.data(), s.fieldIndex[0], Variant(Code(k)));
      found += s.cursor->FindFromBuffer(buf.data(), udbcur::kEqual, false, "ByCode");
    }
    auto t2 = Clock::now();
    benchmark::DoNotOptimize(found);
    Report(state, Ms(t1 - t0), Ms(t2 - t1));
  }
}

// The payroll calculation's pattern: walk every row, change a pay item,
// one transaction per row.
void BM_EditEveryRowOneTransactionEach(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  TBenchDb b;
  TSides s(b);
  Fill(s, rows);
  const int f02 = s.fieldIndex[4];
  std::vector<std::uint8_t> buf(static_cast<size_t>(s.cursor->GetRecBufSize()));
  double bump = 0;
  for (auto _ : state) {
    bump += 1;
    auto t0 = Clock::now();
    TField* f = s.table->FieldByName("F02");
    for (s.table->First(); !s.table->Eof(); s.table->Next()) {
      b.db.StartTransaction();
      s.table->Edit();
      f->SetAsFloat(f->AsFloat() + bump);
      s.table->Post();
      b.db.Commit();
    }
    auto t1 = Clock::now();
    for (bool ok = s.cursor->GotoFirst(); ok; ok = s.cursor->GotoNext()) {
      b.db.StartTransaction();
      s.cursor->GetRecBuf(buf.data());
      Variant v;
      s.cursor->DataSetGetFieldDataFromRecBufAsVariant(buf.data(), f02, v);
      s.cursor->DataSetSetFieldDataToRecBufAsVariant(buf.data(), f02, Variant((v.IsNull() ? 0.0 : v.AsDouble()) + bump));
      s.cursor->SetRecBuf(buf.data());
      s.cursor->UpdateRecord();
      b.db.Commit();
    }
    auto t2 = Clock::now();
    Report(state, Ms(t1 - t0), Ms(t2 - t1));
  }
}

}  // namespace

BENCHMARK(BM_Append)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ScanSum)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollWithDataLink)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocateByKey)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditEveryRowOneTransactionEach)->Arg(2000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
