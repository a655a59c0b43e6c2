// Month initialisation over 10,000 employees with 30 formulas of the
// function "初始化": the payroll calculation row by row (one transaction
// per row, as it writes back), with calc.log off and on, against the same
// 30 formulas as SQL UPDATE statements in SQLite on the same rows, one
// transaction per row.  Both sides keep their default durability (every
// commit reaches the disk).  At the end the ratios engine / SQLite are
// printed (below 1: the calculation is faster).
//
// Over the same folder (its tables enciphered as the program makes them):
// a pay-sheet-like report formed from every employee (24 fields a row)
// and the wage export (the SELECT of every employee's pay items written
// as a worksheet), which read what the calculation wrote.
//
//   build/bench/bench_CalcBench [--benchmark_filter=...]
// The employee count can be lowered with PAYROLL_CALC_EMPLOYEES.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/DemoData.h"
#include "app/GzCalc.h"
#include "export/WSExportToXLS.h"
#include "platform/ui/Forms.h"
#include "report/ReportBand.h"
#include "report/ReportComponent.h"
#include "report/ReportDatasets.h"
#include "report/ReportViews.h"
#include "sql/UdbQuery.h"
#include "platform/core/CodePage.h"
#include "platform/core/TempFiles.h"
#include "platform/data/Fields.h"

namespace {

int Employees() {
  const char* v = std::getenv("PAYROLL_CALC_EMPLOYEES");
  return v ? std::max(1, std::atoi(v)) : 10000;
}

std::string Two(int k) { return (k < 10 ? "0" : "") + std::to_string(k); }

// The 30 formulas: result F31..F60; every third one under a condition.
struct TFormula {
  std::string result, formula, condition;  // engine codes
  std::string sql;                         // the same as an UPDATE
};

std::vector<TFormula> Formulas() {
  std::vector<TFormula> out;
  for (int i = 0; i < 30; ++i) {
    const int r = 31 + i;
    const std::string a = "F" + Two(1 + i % 10), b = "F" + Two(11 + i % 10);
    TFormula f;
    f.result = "F" + Two(r);
    f.formula = "(" + a + "+" + b + ")*0." + Two(5 + i) + "-" + b + "/4";
    const std::string expr = "(" + a + "+" + b + ")*0." + Two(5 + i) + "-" + b + "/4.0";
    if (i % 3 == 2) {
      f.condition = a + ">100";
      f.sql = "UPDATE gzk SET " + f.result + "=CASE WHEN " + a + ">100 THEN round(" + expr + ",2) ELSE " + f.result +
              " END WHERE rowid=?";
    } else {
      f.condition = " ";
      f.sql = "UPDATE gzk SET " + f.result + "=round(" + expr + ",2) WHERE rowid=?";
    }
    out.push_back(f);
  }
  return out;
}

double Pay(int row, int k) { return 50 + (row * 37 + k * 11) % 4000 + 0.25 * (k % 4); }

// One data folder for the run: "GZ.udb" with the employees and formulas.
struct TFolder {
  std::string dir;
  TFolder() {
    dir = std::string(TempFolder()) + "payroll-calcbench-" + std::to_string(::getpid()) + "/";
    std::string d = "[regdw]\nDwName\n测试单位\n[gzk]\nZGBH|XM|ZGQK";
    for (int k = 1; k <= 20; ++k) d += "|F" + Two(k);
    d += "\n";
    const int n = Employees();
    for (int row = 0; row < n; ++row) {
      char code[16];
      std::snprintf(code, sizeof code, "0101%07d", row);
      d += std::string(code) + "|职工|在职";
      for (int k = 1; k <= 20; ++k) d += "|" + std::to_string(Pay(row, k));
      d += "\n";
    }
    d += "[JsGsk]\nID|GNNAME|GSRLTDESC|GSSTRDESC|GSRLT|GSSTR|TJDESC|TJSTR\n";
    int id = 0;
    for (const TFormula& f : Formulas())
      d += std::to_string(++id) + "|初始化|结果" + f.result + "|" + f.formula + "|" + f.result + "|" + f.formula +
           "|" + f.condition + "|" + f.condition + "\n";
    payroll::BuildPayrollFolder(AnsiToUtf8(d), "[SYSTEM]\nCALC_LOG=0\n", dir);
  }
  ~TFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

TFolder& Folder() {
  static TFolder folder;
  return folder;
}

std::map<std::string, double> g_seconds;

void BM_MonthInitCalc(benchmark::State& state) {
  const bool logOn = state.range(0) != 0;
  TFolder& folder = Folder();
  TUdbDataBase db;
  db.SetDirectory(folder.dir);
  db.SetDataBaseName(payroll::kDatabaseName);
  db.SetMasterKey(payroll::kMasterKey);
  db.SetConnected(true);
  TUdbTable gzk, js;
  gzk.SetDataBase(&db);
  gzk.SetTableName("gzk");
  gzk.Open();
  js.SetDataBase(&db);
  js.SetTableName("JsGsk");
  js.SetIndexName("GI");
  js.Open();
  payroll::TGzCalcTables tables{&db, &gzk, &js};
  const AnsiString log = logOn ? AnsiString(folder.dir + "calc.log") : AnsiString();
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    for (gzk.First(); !gzk.Eof(); gzk.Next()) payroll::GzCalcRow(tables, payroll::kFnMonthInit, log);
    gzk.First();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  g_seconds[logOn ? "calc, log on" : "calc, log off"] = total / static_cast<double>(state.iterations());
  state.counters["rows"] = gzk.RecordCount();
  std::filesystem::remove(std::string(folder.dir + "calc.log"));
}
BENCHMARK(BM_MonthInitCalc)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The folder's database, connected, with gzk open.
struct TReader {
  TUdbDataBase db;
  TUdbTable gzk;
  TReader() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    EnsureQtApplicationForTest();
    db.SetDirectory(Folder().dir);
    db.SetDataBaseName(payroll::kDatabaseName);
    db.SetMasterKey(payroll::kMasterKey);
    db.SetConnected(true);
    gzk.SetDataBase(&db);
    gzk.SetTableName("gzk");
    gzk.SetIndexName("TblGzkIndex1");
    gzk.Open();
  }
};

void BM_PaySheetReport(benchmark::State& state) {
  TReader r;
  TComponent owner(nullptr);
  owner.SetName("BenchForm");
  auto* ds = new TrbDBDataSet(&owner);
  ds->SetName("Gzk");
  ds->SetDataSet(&r.gzk);
  auto* report = new TrbReport(&owner);
  report->SetShowProgress(false);
  TrbPage* page = report->Pages().Add();
  rbSetCurrentPages(&report->Pages());
  auto* band = static_cast<TrbBandView*>(rbCreateObject(gtBand, ""));
  band->SetBounds(0, 30, 0, 36);
  band->SetBandType(btMasterData);
  band->SetDataSource("Gzk");
  page->Add(band);
  const char* fields[] = {"ZGBH", "XM", "ZGQK", "prix"};
  for (int i = 0; i < 24; ++i) {
    auto* memo = static_cast<TrbMemoView*>(rbCreateObject(gtMemo, ""));
    memo->SetBounds((i % 12) * 60, 30 + (i / 12) * 18, 58, 18);
    const AnsiString field = i < 4 ? AnsiString(fields[i]) : "F" + AnsiString(Two(i - 3));
    memo->Memo.Add("[Gzk.\"" + field + "\"" + (i < 3 ? "]" : " #N0.00]"));
    memo->FrameTyp = 15;
    page->Add(memo);
  }
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    report->PrepareReport();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  g_seconds["pay-sheet report"] = total / static_cast<double>(state.iterations());
  state.counters["pages"] = report->EMFPages().Count();
}
BENCHMARK(BM_PaySheetReport)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WageExport(benchmark::State& state) {
  TReader r;
  TUdbQuery q;
  q.SetDataBase(&r.db);
  AnsiString sql = "select zgbh as [职工编号], xm as [姓名]";
  for (int k = 1; k <= 60; ++k) sql += ", F" + AnsiString(Two(k)) + " as [项目" + AnsiString(Two(k)) + "]";
  q.SQL()->SetText(sql + " from gzk order by zgbh");
  TWSExportToXLS x(nullptr);
  x.SetColumnSource(csDataSet);
  x.SetAnimatedStatus(false);
  x.SetOptions({});
  x.SetAddTitle(true);
  x.SetDataSet(&q);
  x.SetFileName(Folder().dir + "gz.xls");
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    q.Open();
    if (!x.Execute()) state.SkipWithError(x.LastError().c_str());
    q.Close();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  g_seconds["wage export"] = total / static_cast<double>(state.iterations());
}
BENCHMARK(BM_WageExport)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void Check(int rc, sqlite3* db, int expected = SQLITE_OK) {
  if (rc != expected) throw std::runtime_error(sqlite3_errmsg(db));
}

void BM_MonthInitSqlite(benchmark::State& state) {
  TFolder& folder = Folder();
  const std::string path = folder.dir + "peer.sqlite";
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db);
  std::string create = "CREATE TABLE gzk(ZGBH TEXT, XM TEXT, ZGQK TEXT";
  for (int k = 1; k <= 99; ++k) create += ", F" + Two(k) + " REAL";
  Check(sqlite3_exec(db, (create + ")").c_str(), nullptr, nullptr, nullptr), db);
  const int n = Employees();
  {
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    std::string ins = "INSERT INTO gzk(ZGBH, XM, ZGQK";
    std::string vals = "VALUES(?, '职工', '在职'";
    for (int k = 1; k <= 20; ++k) {
      ins += ", F" + Two(k);
      vals += ", ?";
    }
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, (ins + ") " + vals + ")").c_str(), -1, &st, nullptr), db);
    for (int row = 0; row < n; ++row) {
      char code[16];
      std::snprintf(code, sizeof code, "0101%07d", row);
      sqlite3_bind_text(st, 1, code, -1, SQLITE_TRANSIENT);
      for (int k = 1; k <= 20; ++k) sqlite3_bind_double(st, 1 + k, Pay(row, k));
      Check(sqlite3_step(st), db, SQLITE_DONE);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
  }
  std::vector<sqlite3_stmt*> updates;
  for (const TFormula& f : Formulas()) {
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, f.sql.c_str(), -1, &st, nullptr), db);
    updates.push_back(st);
  }
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int row = 1; row <= n; ++row) {
      Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
      for (sqlite3_stmt* st : updates) {
        sqlite3_bind_int(st, 1, row);
        Check(sqlite3_step(st), db, SQLITE_DONE);
        sqlite3_reset(st);
      }
      Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    }
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  for (sqlite3_stmt* st : updates) sqlite3_finalize(st);
  sqlite3_close(db);
  const double peer = total / static_cast<double>(state.iterations());
  state.counters["rows"] = n;
  std::printf("\nmonth initialisation, %d employees x 30 formulas, one transaction per row\n", n);
  std::printf("  SQLite UPDATEs           %8.2f s\n", peer);
  for (const auto& [label, secs] : g_seconds) {
    if (label.rfind("calc", 0) == 0)
      std::printf("  %-24s %8.2f s   ratio calc / SQLite %.2f\n", label.c_str(), secs, secs / peer);
    else
      std::printf("  %-24s %8.2f s\n", label.c_str(), secs);
  }
}
BENCHMARK(BM_MonthInitSqlite)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
