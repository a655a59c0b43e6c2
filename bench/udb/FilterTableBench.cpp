// Filters on an engine table of 100,000 employee rows (code, department,
// name, age, a pay item; indexes on the code and the department), in
// memory and on disk, by how much of the filter the indexes answer:
//   Full     BM = 'D042'                      the department index is the answer
//   Partly   BM = 'D042' and XM like 'N1%'    the index gives ~1,000 candidates,
//                                             which are read and evaluated
//   Scan     XM like 'N1%'                    every row is read and evaluated
// Each iteration builds the filter's list (master list of the current
// index, index lists, evaluation of the candidates) and counts it.
// Counters: rows in the result, records read to build it, table rows per
// second.
// Run: build/bench/bench_FilterTableBench
#include <filesystem>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Udb/DiskMgr.h"
#include "Udb/UdbFilterMgr.h"
#include "Udb/UdbDataBase.h"
#include "bench/udb/BenchDatabase.h"
#include "Udb/UdbTableCursor.h"
#include "platform/data/FieldDefs.h"

namespace {

constexpr int kRows = 100000;

struct TEmployeeTable {
  explicit TEmployeeTable(bool memory) : memory(memory) {
    path = OpenBenchDatabase(db, memory, "filterbench");
    t = std::make_unique<TUdbTableCursor>();
    t->SetDataBase(&db);
    t->SetTableName("gzk");
    t->SetMemory(memory);
    TFieldDefs fields(t.get());
    fields.Add("GH", ftString, 11);
    fields.Add("BM", ftString, 4);
    fields.Add("XM", ftString, 20);
    fields.Add("NL", ftInteger);
    fields.Add("F01", ftFloat);
    TIndexDefs indexes(t.get());
    TIndexOptions primary;
    primary << ixPrimary;
    indexes.Add("GH", "GH", primary);
    indexes.Add("BM", "BM", {});
    t->SetTableDef(&fields, &indexes);
    t->PrepareCreateTable();
    t->DataSetOpen();
    filter = dynamic_cast<TUdbFilterMgr*>(t->FilterMgr());
    Fill();
  }
  ~TEmployeeTable() {
    t.reset();
    CloseBenchDatabase(db, path);
  }
  void Put(std::vector<std::uint8_t>& buf, const char* field, const Variant& v) {
    t->DataSetSetFieldDataToRecBufAsVariant(buf.data(), t->FieldIndexOf(field), v);
  }
  void Fill() {
    std::mt19937 rng(42);
    if (!memory) db.StartTransaction();
    std::vector<std::uint8_t> buf;
    char text[32];
    for (int i = 0; i < kRows; ++i) {
      buf.assign(static_cast<size_t>(t->GetRecBufSize()), 0);
      const int dept = static_cast<int>(rng() % 100);
      std::snprintf(text, sizeof text, "%02d%02d%07d", dept / 10, dept, i);
      Put(buf, "GH", text);
      std::snprintf(text, sizeof text, "D%03d", dept);
      Put(buf, "BM", text);
      std::snprintf(text, sizeof text, "N%u", static_cast<unsigned>(rng() % 100000));
      Put(buf, "XM", text);
      Put(buf, "NL", static_cast<int>(18 + rng() % 48));
      Put(buf, "F01", static_cast<double>(rng() % 10000) / 100);
      t->SetRecBuf(buf.data());
      t->AddRecord(false);
    }
    if (!memory) db.Commit();
  }

  bool memory;
  std::string path;
  TUdbDataBase db;
  std::unique_ptr<TUdbTableCursor> t;
  TUdbFilterMgr* filter = nullptr;
};

TEmployeeTable& Table(bool memory) {
  static std::unique_ptr<TEmployeeTable> tables[2];
  auto& p = tables[memory ? 1 : 0];
  if (!p) p = std::make_unique<TEmployeeTable>(memory);
  return *p;
}

void Run(benchmark::State& state, const char* text, TIndexLevel expected) {
  TEmployeeTable& table = Table(state.range(0) != 0);
  int rows = 0;
  for (auto _ : state) {
    table.t->ActivateFilter("", {}, false);  // each iteration builds the list anew
    table.t->ActivateFilter(text, {}, false);
    rows = table.t->GetRecordCount();
  }
  int walked = 0;
  for (bool ok = table.t->GotoFirst(); ok; ok = table.t->GotoNext()) ++walked;
  if (walked != rows) state.SkipWithError("the walk and the count differ");
  if (table.filter->RootLevelForTest() != expected) state.SkipWithError("not answered as intended");
  state.counters["rows"] = rows;
  state.counters["read"] = table.filter->RecordsReadForTest();
  state.counters["table rows/s"] = benchmark::Counter(kRows, benchmark::Counter::kIsIterationInvariantRate);
  table.t->ActivateFilter("", {}, false);
}

void BM_FilterFull(benchmark::State& state) { Run(state, "BM = 'D042'", olFull); }
void BM_FilterPartly(benchmark::State& state) { Run(state, "BM = 'D042' and XM like 'N1%'", olPartial); }
void BM_FilterScan(benchmark::State& state) { Run(state, "XM like 'N1%'", olNone); }

}  // namespace

// Argument 1: a memory table; 0: a table on disk.
BENCHMARK(BM_FilterFull)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterPartly)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterScan)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
