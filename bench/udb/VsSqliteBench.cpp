// The engine against SQLite, side by side in one run on the same work:
// payroll-shaped rows (an integer key with a unique index, a 10-character
// department code with a second index, a 20-character name, 30 float pay
// items, a date), through the engine's table cursor on a database file and
// through prepared statements on an SQLite file with a rollback journal
// and synchronous NORMAL.  Each benchmark is one table size and one page
// cipher; it runs six workloads and reports for each the engine's time,
// the peer's and ratio = engine / peer (below 1: the engine is faster):
//   insert  every row, one transaction
//   lookup  random point look-ups by key (as many as rows, at most 100,000)
//   range   the rows of one department (10 % of the table), each of the ten
//   scan    every row, summing a pay item
//   update  one pay item of every row, one transaction
//   delete  10 % of the rows by random key, one transaction
// Plain and XOR tables run against plain SQLite; Blowfish tables run
// against SQLCipher with a raw key (4,096-byte pages) when its library
// (libsqlcipher.so.0) can be loaded at run time, else against plain SQLite.
// After the insert both sides close and open their files again (the
// engine's page cache is sized from the file at connect).  At the end a
// table of every ratio and the cost per row is printed.
//
// Run: build/bench/bench_VsSqliteBench
//      PAYROLL_BENCH_MILLION=1 build/bench/bench_VsSqliteBench   (adds 1,000,000 rows)
//      --benchmark_filter=/100000/  picks one size; /xor /blowfish /plain one cipher.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "Udb/UdbTableCursor.h"
#include "platform/data/Fields.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPayItems = 30;
constexpr int kDepartments = 10;
const char* const kWorkloads[] = {"insert", "lookup", "range", "scan", "update", "delete"};
constexpr int kWorkloadCount = 6;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string Dept(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "D%09d", i % kDepartments);
  return text;
}

std::string Name(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "职工%016d", i);  // 4 + 16 bytes
  return text;
}

double Pay(int i, int k) { return i * 0.25 + k; }
int DayOf(int i) { return 45000 + i % 365; }  // a day number, 2023

// --- SQLite, through a table of entry points ---------------------------------

// The same entry points from the linked SQLite or from SQLCipher loaded
// with its own symbols first (both export the same names).
struct TSqliteApi {
  decltype(&sqlite3_open_v2) open_v2 = nullptr;
  decltype(&sqlite3_close) close = nullptr;
  decltype(&sqlite3_exec) exec = nullptr;
  decltype(&sqlite3_prepare_v2) prepare_v2 = nullptr;
  decltype(&sqlite3_step) step = nullptr;
  decltype(&sqlite3_reset) reset = nullptr;
  decltype(&sqlite3_finalize) finalize = nullptr;
  decltype(&sqlite3_bind_int) bind_int = nullptr;
  decltype(&sqlite3_bind_double) bind_double = nullptr;
  decltype(&sqlite3_bind_text) bind_text = nullptr;
  decltype(&sqlite3_column_double) column_double = nullptr;
  decltype(&sqlite3_errmsg) errmsg = nullptr;
  const char* label = "sqlite";
};

const TSqliteApi& LinkedSqlite() {
  static const TSqliteApi api = [] {
    TSqliteApi a;
    a.open_v2 = &sqlite3_open_v2;
    a.close = &sqlite3_close;
    a.exec = &sqlite3_exec;
    a.prepare_v2 = &sqlite3_prepare_v2;
    a.step = &sqlite3_step;
    a.reset = &sqlite3_reset;
    a.finalize = &sqlite3_finalize;
    a.bind_int = &sqlite3_bind_int;
    a.bind_double = &sqlite3_bind_double;
    a.bind_text = &sqlite3_bind_text;
    a.column_double = &sqlite3_column_double;
    a.errmsg = &sqlite3_errmsg;
    return a;
  }();
  return api;
}

// Null when the library is not installed.
const TSqliteApi* SqlCipher() {
  static const std::unique_ptr<TSqliteApi> api = []() -> std::unique_ptr<TSqliteApi> {
    void* lib = nullptr;
    for (const char* name : {"libsqlcipher.so.0", "libsqlcipher.so"}) {
      lib = ::dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
      if (lib) break;
    }
    if (!lib) return nullptr;
    auto a = std::make_unique<TSqliteApi>();
    bool ok = true;
    auto get = [&](auto& fn, const char* symbol) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(lib, symbol));
      ok = ok && fn != nullptr;
    };
    get(a->open_v2, "sqlite3_open_v2");
    get(a->close, "sqlite3_close");
    get(a->exec, "sqlite3_exec");
    get(a->prepare_v2, "sqlite3_prepare_v2");
    get(a->step, "sqlite3_step");
    get(a->reset, "sqlite3_reset");
    get(a->finalize, "sqlite3_finalize");
    get(a->bind_int, "sqlite3_bind_int");
    get(a->bind_double, "sqlite3_bind_double");
    get(a->bind_text, "sqlite3_bind_text");
    get(a->column_double, "sqlite3_column_double");
    get(a->errmsg, "sqlite3_errmsg");
    a->label = "sqlcipher";
    return ok ? std::move(a) : nullptr;
  }();
  return api.get();
}

class TSqliteSide {
 public:
  TSqliteSide(const TSqliteApi& api, const std::string& path, bool keyed) : api_(api), path_(path), keyed_(keyed) {
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-journal");
    Connect();
    std::string ddl = "CREATE TABLE pay(id INTEGER NOT NULL, dept TEXT, name TEXT";
    for (int k = 1; k <= kPayItems; ++k) ddl += ", p" + std::to_string(k) + " REAL";
    ddl += ", paid INTEGER);"
           "CREATE UNIQUE INDEX pay_id ON pay(id);"
           "CREATE INDEX pay_dept ON pay(dept);";
    Exec(ddl.c_str());
    PrepareAll();
  }
  ~TSqliteSide() { Disconnect(); }
  // Closed and opened again: what a program starting on the file sees.
  void Reopen() {
    Disconnect();
    Connect();
    PrepareAll();
  }

  void Insert(int rows) {
    Exec("BEGIN");
    for (int i = 0; i < rows; ++i) {
      api_.bind_int(insert_, 1, i);
      const std::string dept = Dept(i), name = Name(i);
      api_.bind_text(insert_, 2, dept.c_str(), static_cast<int>(dept.size()), SQLITE_TRANSIENT);
      api_.bind_text(insert_, 3, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      for (int k = 1; k <= kPayItems; ++k) api_.bind_double(insert_, 3 + k, Pay(i, k));
      api_.bind_int(insert_, 4 + kPayItems, DayOf(i));
      Done(insert_);
    }
    Exec("COMMIT");
  }
  double Lookup(const std::vector<int>& keys) {
    double sum = 0;
    for (int k : keys) {
      api_.bind_int(lookup_, 1, k);
      if (api_.step(lookup_) == SQLITE_ROW) sum += api_.column_double(lookup_, 0);
      api_.reset(lookup_);
    }
    return sum;
  }
  double Range() {
    double sum = 0;
    for (int d = 0; d < kDepartments; ++d) {
      const std::string dept = Dept(d);
      api_.bind_text(range_, 1, dept.c_str(), static_cast<int>(dept.size()), SQLITE_TRANSIENT);
      while (api_.step(range_) == SQLITE_ROW) sum += api_.column_double(range_, 0);
      api_.reset(range_);
    }
    return sum;
  }
  double Scan() {
    double sum = 0;
    while (api_.step(scan_) == SQLITE_ROW) sum += api_.column_double(scan_, 0);
    api_.reset(scan_);
    return sum;
  }
  void Update() {
    Exec("BEGIN");
    Done(update_);
    Exec("COMMIT");
  }
  void Delete(const std::vector<int>& keys) {
    Exec("BEGIN");
    for (int k : keys) {
      api_.bind_int(delete_, 1, k);
      Done(delete_);
    }
    Exec("COMMIT");
  }

 private:
  void Connect() {
    if (api_.open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
      Fail("open");
    // A raw 256-bit key skips the key derivation, as the engine's page key does.
    if (keyed_)
      Exec("PRAGMA key = \"x'2DD29CA851E7B56E4697B0E1F08507293D761A05CE4D1B628663F411A8086D99'\";"
           "PRAGMA cipher_page_size = 4096;");
    Exec("PRAGMA journal_mode = DELETE; PRAGMA synchronous = NORMAL;");
  }
  void PrepareAll() {
    std::string insert = "INSERT INTO pay VALUES(?,?,?";
    for (int k = 1; k <= kPayItems; ++k) insert += ",?";
    insert += ",?)";
    insert_ = Prepare(insert.c_str());
    lookup_ = Prepare("SELECT p1 FROM pay WHERE id = ?");
    range_ = Prepare("SELECT p1 FROM pay WHERE dept = ?");
    scan_ = Prepare("SELECT p1 FROM pay");
    update_ = Prepare("UPDATE pay SET p2 = p2 + 1");
    delete_ = Prepare("DELETE FROM pay WHERE id = ?");
  }
  void Disconnect() {
    for (sqlite3_stmt* s : {insert_, lookup_, range_, scan_, update_, delete_}) api_.finalize(s);
    insert_ = lookup_ = range_ = scan_ = update_ = delete_ = nullptr;
    api_.close(db_);
    db_ = nullptr;
  }
  void Fail(const char* what) {
    std::fprintf(stderr, "%s %s: %s\n", api_.label, what, db_ ? api_.errmsg(db_) : "");
    std::abort();
  }
  void Exec(const char* sql) {
    if (api_.exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (api_.prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) Fail(sql);
    return s;
  }
  void Done(sqlite3_stmt* s) {
    if (api_.step(s) != SQLITE_DONE) Fail("step");
    api_.reset(s);
  }

  const TSqliteApi& api_;
  std::string path_;
  bool keyed_ = false;
  sqlite3* db_ = nullptr;
  sqlite3_stmt *insert_ = nullptr, *lookup_ = nullptr, *range_ = nullptr, *scan_ = nullptr, *update_ = nullptr,
               *delete_ = nullptr;
};

// --- the engine, through the table cursor ------------------------------------

class TEngineSide {
 public:
  TEngineSide(const std::string& dir, TEncryptionLevel level) {
    db_.SetDirectory((dir + "/").c_str());
    db_.SetDataBaseName("GZ.udb");
    // Enciphered tables live only in an enciphered database.
    if (level != encNone) {
      db_.SetEncrypted(true);
      db_.SetMasterKey("bench-key");
    }
    db_.CreateDatabase();
    if (level != encNone) db_.SetMasterKey("bench-key");
    db_.SetConnected(true);
    {
      TUdbTable t;
      t.SetDataBase(&db_);
      t.SetTableName("PAY");
      t.SetEncryptionLevel(level);
      t.FieldDefs()->Add("ID", ftInteger);
      t.FieldDefs()->Add("DEPT", ftString, 10);
      t.FieldDefs()->Add("NAME", ftString, 20);
      for (int k = 1; k <= kPayItems; ++k) t.FieldDefs()->Add(("P" + std::to_string(k)).c_str(), ftFloat);
      t.FieldDefs()->Add("PAID", ftDate);
      t.IndexDefs()->Add("ById", "ID", TIndexOptions() << ixUnique);
      t.IndexDefs()->Add("ByDept", "DEPT", TIndexOptions());
      t.CreateTable();
    }
    OpenCursors();
    id_ = byId_->FieldIndexOf("ID");
    dept_ = byId_->FieldIndexOf("DEPT");
    name_ = byId_->FieldIndexOf("NAME");
    paid_ = byId_->FieldIndexOf("PAID");
    for (int k = 1; k <= kPayItems; ++k) pay_.push_back(byId_->FieldIndexOf(("P" + std::to_string(k)).c_str()));
    buf_.resize(static_cast<size_t>(byId_->GetRecBufSize()));
  }
  ~TEngineSide() {
    byId_.reset();
    byDept_.reset();
    point_.reset();
    db_.SetConnected(false);
  }
  // Disconnected and connected again: the page cache's capacity follows
  // the file's size at connect, as for a program starting on the file.
  void Reopen() {
    byId_.reset();
    byDept_.reset();
    point_.reset();
    db_.SetConnected(false);
    if (db_.Encrypted()) db_.SetMasterKey("bench-key");  // cleared at every disconnect
    db_.SetConnected(true);
    OpenCursors();
  }

  void Insert(int rows) {
    db_.StartTransaction();
    std::uint8_t* b = buf_.data();
    for (int i = 0; i < rows; ++i) {
      point_->InitRecBuf(b);
      point_->DataSetSetFieldDataToRecBufAsVariant(b, id_, Variant(i));
      const std::string dept = Dept(i), name = Name(i);
      point_->DataSetSetFieldDataToRecBuf(dept_, static_cast<int>(dept.size()), b, dept.data(), false);
      point_->DataSetSetFieldDataToRecBuf(name_, static_cast<int>(name.size()), b, name.data(), false);
      for (int k = 1; k <= kPayItems; ++k) {
        const double v = Pay(i, k);
        point_->DataSetSetFieldDataToRecBuf(pay_[static_cast<size_t>(k - 1)], -1, b, &v, false);
      }
      point_->DataSetSetFieldDataToRecBufAsVariant(b, paid_, Variant(TDateTime(DayOf(i))));
      point_->SetRecBuf(b);
      point_->AddRecord(true);
    }
    db_.Commit();
  }
  double Lookup(const std::vector<int>& keys) {
    double sum = 0;
    for (int k : keys)
      if (Find(k)) sum += Pay1(point_->RecBuf());
    return sum;
  }
  double Range() {
    double sum = 0;
    for (int d = 0; d < kDepartments; ++d) {
      const std::string dept = Dept(d);
      for (bool side : {false, true})
        byDept_->DataSetSetFieldDataToRecBuf(dept_, static_cast<int>(dept.size()), byDept_->GetRangeBuffer(side),
                                             dept.data(), false);
      byDept_->ApplyRange(true);
      for (bool ok = byDept_->GotoFirst(); ok; ok = byDept_->GotoNext()) sum += Pay1(byDept_->RecBuf());
    }
    byDept_->CancelRange();
    return sum;
  }
  double Scan() {
    double sum = 0;
    for (bool ok = byId_->GotoFirst(); ok; ok = byId_->GotoNext()) sum += Pay1(byId_->RecBuf());
    return sum;
  }
  void Update() {
    db_.StartTransaction();
    std::uint8_t* b = buf_.data();
    const int p2 = pay_[1];
    for (bool ok = point_->GotoFirst(); ok; ok = point_->GotoNext()) {
      point_->GetRecBuf(b);
      bool blank = true;
      double v = 0;
      point_->DataSetGetFieldDataFromRecBuf(p2, blank, &v, b);
      v += 1;
      point_->DataSetSetFieldDataToRecBuf(p2, -1, b, &v, false);
      point_->SetRecBuf(b);
      point_->UpdateRecord();
    }
    db_.Commit();
  }
  void Delete(const std::vector<int>& keys) {
    db_.StartTransaction();
    for (int k : keys)
      if (Find(k)) point_->DeleteRecord(nullptr);
    db_.Commit();
  }

 private:
  void OpenCursors() {
    byId_ = Open("ById");
    byDept_ = Open("ByDept");
    // Point work reads no neighbours, and a walk that changes rows gains
    // nothing from read-ahead (every change clears it): the table component
    // has it on only while it refills its window of records.
    point_ = Open("ById");
    point_->SetReadAheadActive(false);
  }
  std::unique_ptr<TUdbTableCursor> Open(const char* index) {
    auto c = std::make_unique<TUdbTableCursor>();
    c->SetDataBase(&db_);
    c->SetTableName("PAY");
    c->SetIndexName(index);
    c->DataSetOpen();
    return c;
  }
  bool Find(int key) {
    std::uint8_t* b = buf_.data();
    point_->InitSearchRecord(b, true);
    point_->DataSetSetFieldDataToRecBufAsVariant(b, id_, Variant(key));
    return point_->FindFromBuffer(b, udbcur::kEqual, false, "ById");
  }
  double Pay1(const std::uint8_t* rec) const {
    bool blank = true;
    double v = 0;
    byId_->DataSetGetFieldDataFromRecBuf(pay_[0], blank, &v, rec);
    return v;
  }

  TUdbDataBase db_;
  std::unique_ptr<TUdbTableCursor> byId_, byDept_, point_;
  int id_ = 0, dept_ = 0, name_ = 0, paid_ = 0;
  std::vector<int> pay_;
  std::vector<std::uint8_t> buf_;
};

// --- the run and its summary -------------------------------------------------

struct TResult {
  int rows;
  const char* cipher;
  const char* peer;
  double engineMs[kWorkloadCount];
  double peerMs[kWorkloadCount];
};

struct TSummary {
  std::vector<TResult> results;
  ~TSummary() {
    if (results.empty()) return;
    std::printf("\nengine / peer time (below 1: the engine is faster)\n");
    std::printf("%-9s %-8s %-9s", "rows", "cipher", "peer");
    for (const char* w : kWorkloads) std::printf(" %8s", w);
    std::printf("\n");
    for (const TResult& r : results) {
      std::printf("%-9d %-8s %-9s", r.rows, r.cipher, r.peer);
      for (int w = 0; w < kWorkloadCount; ++w) std::printf(" %8.2f", r.peerMs[w] > 0 ? r.engineMs[w] / r.peerMs[w] : 0.0);
      std::printf("\n");
    }
    std::printf("\nmicroseconds per row (look-ups: per look-up), engine / peer\n");
    std::printf("%-9s %-8s", "rows", "cipher");
    for (const char* w : kWorkloads) std::printf(" %15s", w);
    std::printf("\n");
    for (const TResult& r : results) {
      std::printf("%-9d %-8s", r.rows, r.cipher);
      const double per[kWorkloadCount] = {double(r.rows), double(std::min(r.rows, 100000)), double(r.rows),
                                          double(r.rows), double(r.rows), double(r.rows / 10)};
      for (int w = 0; w < kWorkloadCount; ++w) {
        char cell[32];
        std::snprintf(cell, sizeof cell, "%.2f/%.2f", 1000 * r.engineMs[w] / per[w], 1000 * r.peerMs[w] / per[w]);
        std::printf(" %15s", cell);
      }
      std::printf("\n");
    }
  }
};
TSummary summary;

void RunBoth(benchmark::State& state, int rows, TEncryptionLevel level) {
  const char* cipherName = level == encNone ? "plain" : level == encWeak ? "xor" : "blowfish";
  const TSqliteApi* peerApi = &LinkedSqlite();
  bool keyed = false;
  if (level == encStrong && SqlCipher()) {
    peerApi = SqlCipher();
    keyed = true;
  }
  std::mt19937 rng(20261210);
  std::vector<int> lookups(static_cast<size_t>(std::min(rows, 100000)));
  for (int& k : lookups) k = static_cast<int>(rng() % static_cast<unsigned>(rows));
  std::vector<int> all(static_cast<size_t>(rows));
  std::iota(all.begin(), all.end(), 0);
  std::shuffle(all.begin(), all.end(), rng);
  const std::vector<int> doomed(all.begin(), all.begin() + rows / 10);

  for (auto _ : state) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("payroll-vssqlite-" + std::to_string(::getpid()) + "-" + cipherName + std::to_string(rows));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    TResult r{rows, cipherName, peerApi->label, {}, {}};
    double check[2][kWorkloadCount] = {};
    {
      TEngineSide engine(dir.string(), level);
      TSqliteSide peer(*peerApi, (dir / "pay.db").string(), keyed);
      auto time = [&](int w, auto&& engineWork, auto&& peerWork) {
        auto t0 = Clock::now();
        check[0][w] = engineWork();
        auto t1 = Clock::now();
        check[1][w] = peerWork();
        auto t2 = Clock::now();
        r.engineMs[w] = Ms(t1 - t0);
        r.peerMs[w] = Ms(t2 - t1);
      };
      time(0, [&] { engine.Insert(rows); return 0.0; }, [&] { peer.Insert(rows); return 0.0; });
      engine.Reopen();
      peer.Reopen();
      time(1, [&] { return engine.Lookup(lookups); }, [&] { return peer.Lookup(lookups); });
      time(2, [&] { return engine.Range(); }, [&] { return peer.Range(); });
      time(3, [&] { return engine.Scan(); }, [&] { return peer.Scan(); });
      time(4, [&] { engine.Update(); return 0.0; }, [&] { peer.Update(); return 0.0; });
      time(5, [&] { engine.Delete(doomed); return engine.Scan(); }, [&] { peer.Delete(doomed); return peer.Scan(); });
    }
    std::filesystem::remove_all(dir);
    // Both sides must have done the same work.
    for (int w = 0; w < kWorkloadCount; ++w)
      if (check[0][w] != check[1][w]) {
        state.SkipWithError(("engine and peer disagree on " + std::string(kWorkloads[w])).c_str());
        return;
      }
    double engineTotal = 0, peerTotal = 0;
    for (int w = 0; w < kWorkloadCount; ++w) {
      engineTotal += r.engineMs[w];
      peerTotal += r.peerMs[w];
      state.counters[kWorkloads[w]] = r.peerMs[w] > 0 ? r.engineMs[w] / r.peerMs[w] : 0;
    }
    state.SetIterationTime((engineTotal + peerTotal) / 1000.0);
    state.SetLabel(std::string("vs ") + peerApi->label);
    summary.results.push_back(r);
  }
}

void Register() {
  std::vector<int> sizes{10000, 100000};
  if (const char* million = std::getenv("PAYROLL_BENCH_MILLION"); million && *million && *million != '0')
    sizes.push_back(1000000);
  const std::pair<const char*, TEncryptionLevel> ciphers[] = {
      {"plain", encNone}, {"xor", encWeak}, {"blowfish", encStrong}};
  for (int rows : sizes)
    for (const auto& [name, level] : ciphers)
      benchmark::RegisterBenchmark(("VsSqlite/" + std::to_string(rows) + "/" + name).c_str(),
                                   [rows, level = level](benchmark::State& s) { RunBoth(s, rows, level); })
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1);
}

const int registered = (Register(), 0);

}  // namespace
