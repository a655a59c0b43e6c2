// What crash safety costs a commit: the payroll calculation's pattern (walk
// every row, change a pay item, one transaction per row) on a database
// file, under each flush policy of the connection.  Every commit writes
// its journal; fpNone flushes nothing, fpNormal flushes the journal and
// the file, fpFull (the default) also the journal's removal.  Reports
// ms_per_commit, and ratio = this policy / fpNone.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "platform/data/Fields.h"

namespace {

using Clock = std::chrono::steady_clock;

double EditEveryRow(TUdbFlushPolicy policy, int rows) {
  const auto dir = std::filesystem::temp_directory_path() / ("payroll-flushbench-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  double ms = 0;
  {
    TUdbDataBase db;
    db.SetDirectory((dir.string() + "/").c_str());
    db.SetDataBaseName("GZ.udb");
    db.CreateDatabase();
    db.SetConnected(true);
    db.SetFlushPolicy(policy);
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName("gzk");
    t.FieldDefs()->Add("ZGBH", ftString, 15);
    t.FieldDefs()->Add("F01", ftFloat);
    t.FieldDefs()->Add("F02", ftFloat);
    t.IndexDefs()->Add("ByCode", "ZGBH", TIndexOptions() << ixUnique);
    t.CreateTable();
    t.Open();
    db.StartTransaction();
    for (int i = 0; i < rows; ++i) {
      t.Append();
      t.FieldByName("ZGBH")->SetAsString(AnsiString(std::to_string(1000000 + i)));
      t.FieldByName("F01")->SetAsFloat(i);
      t.Post();
    }
    db.Commit();
    TField* f = t.FieldByName("F02");
    auto t0 = Clock::now();
    for (t.First(); !t.Eof(); t.Next()) {
      db.StartTransaction();
      t.Edit();
      f->SetAsFloat(f->AsFloat() + 1);
      t.Post();
      db.Commit();
    }
    ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  }
  std::filesystem::remove_all(dir);
  return ms;
}

void BM_CommitPerRow(benchmark::State& state) {
  const auto policy = static_cast<TUdbFlushPolicy>(state.range(0));
  const int rows = static_cast<int>(state.range(1));
  for (auto _ : state) {
    const double none = EditEveryRow(fpNone, rows);
    const double ms = policy == fpNone ? none : EditEveryRow(policy, rows);
    state.SetIterationTime(ms / 1000.0);
    state.counters["ms_per_commit"] = ms / rows;
    state.counters["ratio"] = none > 0 ? ms / none : 0;
  }
}

}  // namespace

BENCHMARK(BM_CommitPerRow)
    ->ArgNames({"policy", "rows"})
    ->Args({fpNone, 500})
    ->Args({fpNormal, 500})
    ->Args({fpFull, 500})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
