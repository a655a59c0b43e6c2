// SQL over the engine (TUdbQuery) against SQLite, side by side in one run
// on the same data: a payroll table "gzk" of 100,000 rows (employee code
// with an index, name, department code, 30 float pay items, the bonus)
// and a department table "bm" of 100 rows, on a database file each (SQLite
// with a rollback journal and synchronous NORMAL).  Workloads, each a whole
// statement as the application runs it (a SELECT is opened and its rows
// walked; SQLite steps its prepared statement through every row):
//   filter   the rows of one department, ordered by code
//   sum      SUM of one pay item over every row
//   group    totals by the first two characters of the department code
//   join     employees of one pay band with their department's name
//   update   one pay item of every row (one transaction)
// Reported per workload: ratio = engine / SQLite (below 1: the engine is
// faster); the table is printed at the end.
//
// Run: build/bench/bench_UdbQueryBench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "platform/core/Resources.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"
#include "resources/PayrollResources.h"
#include "sql/UdbQuery.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPayItems = 30;
constexpr int kDepartments = 100;

struct TWorkload {
  const char* name;
  const char* engineSql;
  const char* sqliteSql;
  bool select;
};

const TWorkload kWorkloads[] = {
    {"filter", "select zgbh, xm, f01 from gzk where bm = '0305' order by zgbh",
     "select zgbh, xm, f01 from gzk where bm = '0305' order by zgbh", true},
    {"sum", "select sum(f01) from gzk ", "select sum(f01) from gzk", true},
    {"group", "select copy(bm, 1, 2) as dw, sum(f02) as s from gzk group by dw",
     "select substr(bm, 1, 2) as dw, sum(f02) as s from gzk group by dw", true},
    {"join",
     "select g.zgbh, d.bmmc from gzk g, bm d where g.bm = d.bm and g.f03 > 9000 order by g.zgbh",
     "select g.zgbh, d.bmmc from gzk g, bm d where g.bm = d.bm and g.f03 > 9000 order by g.zgbh",
     true},
    {"update", "update gzk set prix=125.5", "update gzk set prix=125.5", false},
};
constexpr int kWorkloadCount = sizeof kWorkloads / sizeof kWorkloads[0];

std::string Dept(int i) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d%02d", i / 10 + 1, i % 10 + 1);
  return b;
}
std::string Code(int row) {
  char b[16];
  std::snprintf(b, sizeof b, "%s%05d", Dept(row % kDepartments).c_str(), row);
  return b;
}
double Pay(int row, int item) { return (row * 7919 + item * 104729) % 10000 + 0.25 * (item % 4); }

void FillEngine(TUdbDataBase& db, int rows) {
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName("gzk");
  t.FieldDefs()->Add("ZGBH", ftString, 15);
  t.FieldDefs()->Add("XM", ftString, 8);
  t.FieldDefs()->Add("BM", ftString, 10);
  for (int i = 1; i <= kPayItems; ++i) {
    char name[4];
    std::snprintf(name, sizeof name, "F%02d", i);
    t.FieldDefs()->Add(name, ftFloat);
  }
  t.FieldDefs()->Add("PRIX", ftFloat);
  t.IndexDefs()->Add("GI", "ZGBH", TIndexOptions());
  t.CreateTable();
  db.StartTransaction();
  t.Open();
  std::vector<TField*> pay;
  for (int i = 1; i <= kPayItems; ++i) pay.push_back(t.Fields()->Fields(2 + i));
  for (int r = 0; r < rows; ++r) {
    t.Append();
    t.Fields()->Fields(0)->SetAsString(Code(r));
    t.Fields()->Fields(1)->SetAsString("职工" + std::to_string(r % 1000));
    t.Fields()->Fields(2)->SetAsString(Dept(r % kDepartments));
    for (int i = 0; i < kPayItems; ++i) pay[static_cast<size_t>(i)]->SetAsFloat(Pay(r, i));
    t.Post();
  }
  t.Close();
  TUdbTable d;
  d.SetDataBase(&db);
  d.SetTableName("bm");
  d.FieldDefs()->Add("BM", ftString, 10);
  d.FieldDefs()->Add("BMMC", ftString, 20);
  d.IndexDefs()->Add("BI", "BM", TIndexOptions());
  d.CreateTable();
  d.Open();
  for (int i = 0; i < kDepartments; ++i) {
    d.Append();
    d.Fields()->Fields(0)->SetAsString(Dept(i));
    d.Fields()->Fields(1)->SetAsString("部门" + std::to_string(i));
    d.Post();
  }
  d.Close();
  db.Commit();
}

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s\n", error ? error : "?");
    sqlite3_free(error);
    std::abort();
  }
}

void FillSqlite(sqlite3* db, int rows) {
  Exec(db, "pragma journal_mode=delete; pragma synchronous=normal;");
  std::string create = "create table gzk (zgbh text, xm text, bm text";
  for (int i = 1; i <= kPayItems; ++i) create += ", f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + " real";
  create += ", prix real)";
  Exec(db, create);
  Exec(db, "create index gi on gzk(zgbh)");
  Exec(db, "create table bm (bm text, bmmc text)");
  Exec(db, "create index bi on bm(bm)");
  Exec(db, "begin");
  std::string insert = "insert into gzk values (?, ?, ?";
  for (int i = 0; i < kPayItems; ++i) insert += ", ?";
  insert += ", null)";
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, insert.c_str(), -1, &st, nullptr);
  for (int r = 0; r < rows; ++r) {
    std::string code = Code(r), dept = Dept(r % kDepartments);
    // The name in the same code-page-936 bytes as the engine holds it.
    std::string name = std::string("职工") + std::to_string(r % 1000);
    sqlite3_bind_text(st, 1, code.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, dept.c_str(), -1, SQLITE_TRANSIENT);
    for (int i = 0; i < kPayItems; ++i) sqlite3_bind_double(st, 4 + i, Pay(r, i));
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_prepare_v2(db, "insert into bm values (?, ?)", -1, &st, nullptr);
  for (int i = 0; i < kDepartments; ++i) {
    std::string dept = Dept(i), name = std::string("部门") + std::to_string(i);
    sqlite3_bind_text(st, 1, dept.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  Exec(db, "commit");
}

// Rows a statement gives (walking every one), or the rows it changed.
long RunEngine(TUdbQuery& q, const TWorkload& w) {
  q.Close();
  q.SQL()->SetText(w.engineSql);
  if (!w.select) {
    q.ExecSQL();
    return q.RowsAffected();
  }
  q.Open();
  long n = 0;
  for (q.First(); !q.Eof(); q.Next()) ++n;
  q.Close();
  return n;
}

long RunSqlite(sqlite3* db, const TWorkload& w) {
  if (!w.select) {
    Exec(db, "begin");
    Exec(db, w.sqliteSql);
    long n = sqlite3_changes(db);
    Exec(db, "commit");
    return n;
  }
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, w.sqliteSql, -1, &st, nullptr);
  long n = 0;
  while (sqlite3_step(st) == SQLITE_ROW) ++n;
  sqlite3_finalize(st);
  return n;
}

struct TSummary {
  double engineMs[kWorkloadCount] = {};
  double peerMs[kWorkloadCount] = {};
  bool filled = false;
  int rows = 0;
  ~TSummary() {
    if (!filled) return;
    std::printf("\nTUdbQuery against SQLite, %d rows (ratio = engine / SQLite)\n", rows);
    std::printf("%-8s %12s %12s %8s\n", "workload", "engine ms", "sqlite ms", "ratio");
    for (int w = 0; w < kWorkloadCount; ++w)
      std::printf("%-8s %12.1f %12.1f %8.2f\n", kWorkloads[w].name, engineMs[w], peerMs[w],
                  peerMs[w] > 0 ? engineMs[w] / peerMs[w] : 0);
  }
} summary;

void RunBoth(benchmark::State& state, int rows) {
  RegisterResources(&PayrollEmbeddedResources());
  for (auto _ : state) {
    auto dir = std::filesystem::temp_directory_path() / ("udbquery-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    TUdbDataBase db;
    db.SetDataBaseName((dir / "GZ.udb").string());
    db.CreateDatabase();
    db.SetConnected(true);
    FillEngine(db, rows);
    sqlite3* peer = nullptr;
    sqlite3_open((dir / "gz.sqlite").string().c_str(), &peer);
    FillSqlite(peer, rows);
    TUdbQuery q;
    q.SetDataBase(&db);
    for (int w = 0; w < kWorkloadCount; ++w) {
      auto t0 = Clock::now();
      long mine = RunEngine(q, kWorkloads[w]);
      auto t1 = Clock::now();
      long theirs = RunSqlite(peer, kWorkloads[w]);
      auto t2 = Clock::now();
      if (mine != theirs) {
        state.SkipWithError((std::string("engine and SQLite disagree on ") + kWorkloads[w].name + ": " +
                             std::to_string(mine) + " against " + std::to_string(theirs))
                                .c_str());
        break;
      }
      summary.engineMs[w] = std::chrono::duration<double, std::milli>(t1 - t0).count();
      summary.peerMs[w] = std::chrono::duration<double, std::milli>(t2 - t1).count();
      state.counters[kWorkloads[w].name] = summary.engineMs[w] / summary.peerMs[w];
    }
    summary.filled = true;
    summary.rows = rows;
    q.Close();
    sqlite3_close(peer);
    db.SetConnected(false);
    std::filesystem::remove_all(dir);
  }
}

// PAYROLL_BENCH_ROWS=n runs another size.
int Rows() {
  const char* n = std::getenv("PAYROLL_BENCH_ROWS");
  return n && std::atoi(n) > 0 ? std::atoi(n) : 100000;
}

const int registered = (benchmark::RegisterBenchmark(("UdbQueryVsSqlite/" + std::to_string(Rows())).c_str(),
                                                     [](benchmark::State& s) { RunBoth(s, Rows()); })
                            ->Unit(benchmark::kMillisecond)
                            ->Iterations(1),
                        0);

}  // namespace
