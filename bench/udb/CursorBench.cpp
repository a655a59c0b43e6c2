// The table cursor on 100,000 rows shaped like the payroll table: 110
// fields (99 pay items "F01".."F99", names, department, dates) and three
// indexes, on a database file on disk and in memory:
//   Insert            every row added, inside one transaction (disk)
//   InsertOwnChange   rows added one by one, each its own page transaction
//   Scroll            first to last through the primary index
//   UpdateAll         every row's pay items changed (no key moves); disk:
//                     committed every 1000 rows
//   LocateUnindexed   a Locate on a pay item that no row holds (a full scan)
// Updates "with a filter" wait for the filter manager.
// Run: build/bench/bench_CursorBench
#include <filesystem>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Udb/DiskMgr.h"
#include "Udb/UdbDataBase.h"
#include "bench/udb/BenchDatabase.h"
#include "Udb/UdbTableCursor.h"
#include "platform/data/FieldDefs.h"

namespace {

constexpr int kRows = 100000;

struct TPayrollTable {
  explicit TPayrollTable(bool memory) : memory(memory) {
    path = OpenBenchDatabase(db, memory, "cursorbench");
    t = std::make_unique<TUdbTableCursor>();
    t->SetDataBase(&db);
    t->SetTableName("gzk");
    t->SetMemory(memory);
    TFieldDefs fields(t.get());
    fields.Add("GH", ftString, 10);
    fields.Add("XM", ftString, 20);
    fields.Add("BM", ftString, 10);
    fields.Add("LB", ftString, 10);
    fields.Add("NF", ftSmallint);
    fields.Add("YF", ftSmallint);
    for (int i = 1; i <= 99; ++i) fields.Add(Pay(i), ftFloat);
    fields.Add("SFZ", ftString, 18);
    fields.Add("KH", ftString, 20);
    fields.Add("BZ", ftString, 40);
    fields.Add("ZT", ftBoolean);
    fields.Add("RQ", ftDate);
    TIndexDefs indexes(t.get());
    TIndexOptions primary;
    primary << ixPrimary;
    indexes.Add("GH", "GH", primary);
    indexes.Add("BM", "BM;GH", {});
    indexes.Add("XM", "XM", {});
    t->SetTableDef(&fields, &indexes);
    t->PrepareCreateTable();
    t->DataSetOpen();
    pay1 = t->FieldIndexOf("F01");
  }
  ~TPayrollTable() {
    t.reset();
    CloseBenchDatabase(db, path);
  }
  static AnsiString Pay(int i) {
    char s[8];
    std::snprintf(s, sizeof s, "F%02d", i);
    return s;
  }
  void Put(const char* field, const Variant& v) {
    t->DataSetSetFieldDataToRecBufAsVariant(buf.data(), t->FieldIndexOf(field), v);
  }
  void AddRow(int i) {
    buf.assign(static_cast<size_t>(t->GetRecBufSize()), 0);
    char gh[16];
    std::snprintf(gh, sizeof gh, "%08d", (i * 7919) % kRows);
    Put("GH", gh);
    Put("XM", AnsiString("职工") + std::to_string(i % 5000));
    Put("BM", AnsiString("部门") + std::to_string(i % 40));
    Put("LB", "在职");
    Put("NF", 2026);
    Put("YF", 12);
    for (int f = 0; f < 99; ++f) {
      const double v = f == 0 ? i : (i % 1000) + f * 0.5;
      t->DataSetSetFieldDataToRecBuf(pay1 + f, 8, buf.data(), &v, false);
    }
    Put("BZ", "");
    Put("ZT", true);
    t->SetRecBuf(buf.data());
    t->AddRecord(false);
  }
  void Fill(int rows) {
    const bool txn = !memory;
    if (txn) db.StartTransaction();
    for (int i = 0; i < rows; ++i) AddRow(i);
    if (txn) db.Commit();
  }

  bool memory;
  std::string path;
  TUdbDataBase db;
  std::unique_ptr<TUdbTableCursor> t;
  std::vector<std::uint8_t> buf;
  int pay1 = 0;
};

void BM_Insert(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto p = std::make_unique<TPayrollTable>(state.range(0) != 0);
    state.ResumeTiming();
    p->Fill(kRows);
    state.PauseTiming();
    p.reset();
    state.ResumeTiming();
  }
  state.counters["rows/s"] = benchmark::Counter(kRows, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Insert)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_InsertOwnChange(benchmark::State& state) {
  constexpr int rows = 2000;
  for (auto _ : state) {
    state.PauseTiming();
    auto p = std::make_unique<TPayrollTable>(false);
    state.ResumeTiming();
    for (int i = 0; i < rows; ++i) p->AddRow(i);
    state.PauseTiming();
    p.reset();
    state.ResumeTiming();
  }
  state.counters["rows/s"] = benchmark::Counter(rows, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_InsertOwnChange)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

TPayrollTable& Filled(bool memory) {
  static std::unique_ptr<TPayrollTable> tables[2];
  auto& p = tables[memory ? 1 : 0];
  if (!p) {
    p = std::make_unique<TPayrollTable>(memory);
    p->Fill(kRows);
  }
  return *p;
}

void BM_Scroll(benchmark::State& state) {
  TPayrollTable& p = Filled(state.range(0) != 0);
  int n = 0;
  for (auto _ : state) {
    n = 0;
    for (bool ok = p.t->GotoFirst(); ok; ok = p.t->GotoNext()) ++n;
  }
  if (n != kRows) state.SkipWithError("wrong row count");
  state.counters["rows/s"] = benchmark::Counter(kRows, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Scroll)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UpdateAll(benchmark::State& state) {
  TPayrollTable& p = Filled(state.range(0) != 0);
  double bump = 0;
  for (auto _ : state) {
    bump += 1;
    if (!p.memory) p.db.StartTransaction();
    int n = 0;
    for (bool ok = p.t->GotoFirst(); ok; ok = p.t->GotoNext()) {
      if (!p.memory && ++n % 1000 == 0) {
        p.db.Commit();
        p.db.StartTransaction();
      }
      std::vector<std::uint8_t> rec(p.t->RecBuf(), p.t->RecBuf() + p.t->GetRecBufSize());
      for (int f = 0; f < 99; f += 3) p.t->DataSetSetFieldDataToRecBuf(p.pay1 + f, 8, rec.data(), &bump, false);
      p.t->SetRecBuf(rec.data());
      p.t->UpdateRecord();
    }
    if (!p.memory) p.db.Commit();
  }
  state.counters["rows/s"] = benchmark::Counter(kRows, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_UpdateAll)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LocateUnindexed(benchmark::State& state) {
  TPayrollTable& p = Filled(state.range(0) != 0);
  std::vector<std::uint8_t> search(static_cast<size_t>(p.t->GetRecBufSize()));
  for (auto _ : state) {
    p.t->InitSearchRecord(search.data(), false);
    const double wanted = -1;
    p.t->DataSetSetFieldDataToRecBuf(p.pay1, 8, search.data(), &wanted, false);
    std::vector<AnsiString> fields{"F01"};
    if (p.t->DoLocate("", search.data(), true, false, 0, fields, nullptr)) state.SkipWithError("found");
  }
}
BENCHMARK(BM_LocateUnindexed)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
