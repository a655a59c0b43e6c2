// The engine against SQLite and SQLCipher, side by side in one run on the
// same work, through the components the application uses: the table
// component (TUdbTable) for navigation, key search, ranges and edits, and
// the query component (TUdbQuery) for SQL.
//
// Rows are payroll-shaped, 38 fields: an employee code (string, unique
// index), a department code (second index), a name, a bank account, a
// title, a grade, the day hired, 30 float pay items, the day paid and a
// remark.  Codes begin with their department ("0103" + seven digits) and
// are appended department by department in turn, so key order is not the
// order of the file.  Both sides use a 4 MB page cache; SQLite runs with a
// rollback journal, synchronous NORMAL and prepared statements; the engine
// with the normal flush policy.  Workloads (one line of the printed table
// each; ratio = engine / peer, below 1: the engine is faster):
//   append      every row in one transaction
//   findkey     random look-ups by code (as many as rows, at most 100,000);
//               SQLite takes a read transaction per statement, as the
//               application reads
//   findkey1    the same; SQLite inside one read transaction for all
//   locate      the same look-ups through Locate on the code field
//   range       SetRange on each of the ten departments (10 % each), walked
//   scan        every row in code order, summing a pay item
//   edit        one pay item of every row, one transaction
//   delete      10 % of the rows by random code, one transaction
//   sql-filter  the rows of one department ordered by name
//   sql-sum     SUM of a pay item over every row
//   sql-group   totals by the code's first four characters
//   sql-join    the employees of one pay band with their department's name
//   sql-update  one pay item of every row
//   bf-scan     the scan on a Blowfish table against SQLCipher (raw key,
//               4,096-byte pages; plain SQLite when libsqlcipher.so.0
//               cannot be loaded)
//   bf-findkey  the per-statement look-ups, likewise
// Each size runs three rounds (PAYROLL_BENCH_ROUNDS), each on new files;
// the table gives the median ratio and, below it, the median microseconds
// per row of each side.  After appending, both sides close and open their
// files again, as a program starting on the file would.
//
// Run: build/bench/bench_VsSqliteBench
//      PAYROLL_BENCH_MILLION=1 build/bench/bench_VsSqliteBench   (adds 1,000,000 rows)
//      --benchmark_filter=/100000  picks one size.
//      PAYROLL_BENCH_WORK=edit,delete   runs those workloads alone (names as above)
//      PAYROLL_BENCH_ROWS=3000 PAYROLL_BENCH_ROUNDS=1 valgrind --tool=callgrind ...
//                                   (one small round under a profiler; the
//                                   engine's workloads are functions of their
//                                   own: --toggle-collect='*TEngineSide::Edit*')
//      PAYROLL_BENCH_PLAIN_DECIPHER=1 ...  deciphers Blowfish pages with the plain
//                                   code even where the processor has the vector
//                                   instructions (the two give the same bytes)
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
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "Udb/Blowfish.h"
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
constexpr int kDepartments = 10;
constexpr int kCacheKiB = 4096;

enum TWork {
  wAppend, wFindKey, wFindKeyOne, wLocate, wRange, wScan, wEdit, wDelete,
  wSqlFilter, wSqlSum, wSqlGroup, wSqlJoin, wSqlUpdate, wBfScan, wBfFindKey, kWorkCount
};
const char* const kWorkTitles[kWorkCount] = {
    "append in one transaction",
    "FindKey (SQLite: a read transaction per statement)",
    "FindKey (SQLite: one read transaction for all)",
    "Locate by key",
    "SetRange 10 %",
    "full scan summing a field",
    "edit every row in one transaction",
    "delete 10 % by key",
    "SQL: filter + ORDER BY",
    "SQL: SUM over all rows",
    "SQL: GROUP BY code prefix",
    "SQL: join with department names",
    "SQL: UPDATE one field of every row",
    "Blowfish scan vs SQLCipher",
    "Blowfish FindKey vs SQLCipher",
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string Dept(int i) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d%02d", i % kDepartments / 5 + 1, i % 5 + 1);
  return text;
}
std::string Code(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "%s%07d", Dept(i).c_str(), i);
  return text;
}
std::string Name(int i) { return "职工" + std::to_string(i % 100000); }
std::string Bank(int i) { return "62220" + std::to_string(1000000000LL + i); }
// Exact in a double for every sum the workloads take.
double Pay(int i, int k) { return i * 0.25 + k; }
int DayOf(int i) { return 45000 + i % 365; }

// The SQL both sides run; the engine spells copy() where SQLite has substr().
struct TSql {
  TWork work;
  const char* engine;
  const char* sqlite;
};
const TSql kSql[] = {
    {wSqlFilter, "select CODE, NAME, P1 from PAY where DEPT = '0103' order by NAME",
     "select code, name, p1 from pay where dept = '0103' order by name"},
    {wSqlSum, "select sum(P1) from PAY", "select sum(p1) from pay"},
    {wSqlGroup, "select copy(CODE, 1, 4) as U, sum(P2) as S from PAY group by U",
     "select substr(code, 1, 4) as u, sum(p2) as s from pay group by u"},
    {wSqlJoin, "select g.CODE, d.BMMC from PAY g, BM d where g.DEPT = d.BM and g.P3 < 1000 order by g.CODE",
     "select g.code, d.bmmc from pay g, bm d where g.dept = d.bm and g.p3 < 1000 order by g.code"},
    {wSqlUpdate, "update PAY set P3 = P3 + 1", "update pay set p3 = p3 + 1"},
};

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
    std::string ddl = "CREATE TABLE pay(code TEXT NOT NULL, dept TEXT, name TEXT, bank TEXT, title TEXT,"
                      " grade INTEGER, hired INTEGER";
    for (int k = 1; k <= kPayItems; ++k) ddl += ", p" + std::to_string(k) + " REAL";
    ddl += ", paid INTEGER, remark TEXT);"
           "CREATE UNIQUE INDEX pay_code ON pay(code);"
           "CREATE INDEX pay_dept ON pay(dept);"
           "CREATE TABLE bm(bm TEXT, bmmc TEXT); CREATE INDEX bm_bm ON bm(bm);";
    Exec(ddl.c_str());
    PrepareAll();
  }
  ~TSqliteSide() { Disconnect(); }
  void Reopen() {
    Disconnect();
    Connect();
    PrepareAll();
  }

  void Append(int rows) {
    Exec("BEGIN");
    for (int i = 0; i < rows; ++i) {
      Text(insert_, 1, Code(i));
      Text(insert_, 2, Dept(i));
      Text(insert_, 3, Name(i));
      Text(insert_, 4, Bank(i));
      Text(insert_, 5, "职员");
      api_.bind_int(insert_, 6, i % 12);
      api_.bind_int(insert_, 7, DayOf(i * 7));
      for (int k = 1; k <= kPayItems; ++k) api_.bind_double(insert_, 7 + k, Pay(i, k));
      api_.bind_int(insert_, 8 + kPayItems, DayOf(i));
      Text(insert_, 9 + kPayItems, "");
      Done(insert_);
    }
    sqlite3_stmt* dept = Prepare("INSERT INTO bm VALUES(?, ?)");
    for (int d = 0; d < kDepartments; ++d) {
      Text(dept, 1, Dept(d));
      Text(dept, 2, "部门" + std::to_string(d));
      Done(dept);
    }
    api_.finalize(dept);
    Exec("COMMIT");
  }
  // With oneTransaction, one read transaction holds over every look-up.
  double FindKey(const std::vector<std::string>& codes, bool oneTransaction) {
    if (oneTransaction) Exec("BEGIN");
    double sum = 0;
    for (const std::string& c : codes) {
      Text(lookup_, 1, c);
      if (api_.step(lookup_) == SQLITE_ROW) sum += api_.column_double(lookup_, 0);
      api_.reset(lookup_);
    }
    if (oneTransaction) Exec("COMMIT");
    return sum;
  }
  double Range() {
    double sum = 0;
    for (int d = 0; d < kDepartments; ++d) {
      Text(range_, 1, Dept(d));
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
  double Edit() {
    Exec("BEGIN");
    Done(edit_);
    Exec("COMMIT");
    return 0;
  }
  double Delete(const std::vector<std::string>& codes) {
    Exec("BEGIN");
    for (const std::string& c : codes) {
      Text(delete_, 1, c);
      Done(delete_);
    }
    Exec("COMMIT");
    return Scan();
  }
  // Rows a SELECT gives (each walked; the last column summed) or rows an
  // UPDATE changed.
  double Sql(const char* sql) {
    sqlite3_stmt* s = Prepare(sql);
    double n = 0;
    if (std::strncmp(sql, "update", 6) == 0) {
      Exec("BEGIN");
      Done(s);
      n = sqlite3_changes(db_);
      Exec("COMMIT");
    } else {
      while (api_.step(s) == SQLITE_ROW) n += 1;
    }
    api_.finalize(s);
    return n;
  }

 private:
  void Connect() {
    if (api_.open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
      Fail("open");
    // A raw 256-bit key skips the key derivation, as the engine's page key does.
    if (keyed_)
      Exec("PRAGMA key = \"x'2DD29CA851E7B56E4697B0E1F08507293D761A05CE4D1B628663F411A8086D99'\";"
           "PRAGMA cipher_page_size = 4096;");
    Exec(("PRAGMA journal_mode = DELETE; PRAGMA synchronous = NORMAL; PRAGMA cache_size = -" +
          std::to_string(kCacheKiB) + ";")
             .c_str());
  }
  void PrepareAll() {
    std::string insert = "INSERT INTO pay VALUES(?,?,?,?,?,?,?";
    for (int k = 1; k <= kPayItems; ++k) insert += ",?";
    insert += ",?,?)";
    insert_ = Prepare(insert.c_str());
    lookup_ = Prepare("SELECT p1 FROM pay WHERE code = ?");
    range_ = Prepare("SELECT p1 FROM pay WHERE dept = ?");
    scan_ = Prepare("SELECT p1 FROM pay");
    edit_ = Prepare("UPDATE pay SET p2 = p2 + 1");
    delete_ = Prepare("DELETE FROM pay WHERE code = ?");
  }
  void Disconnect() {
    for (sqlite3_stmt* s : {insert_, lookup_, range_, scan_, edit_, delete_}) api_.finalize(s);
    insert_ = lookup_ = range_ = scan_ = edit_ = delete_ = nullptr;
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
  void Text(sqlite3_stmt* s, int i, const std::string& v) {
    api_.bind_text(s, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
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
  sqlite3_stmt *insert_ = nullptr, *lookup_ = nullptr, *range_ = nullptr, *scan_ = nullptr, *edit_ = nullptr,
               *delete_ = nullptr;
};

// --- the engine, through the table and query components ---------------------

class TEngineSide {
 public:
  TEngineSide(const std::string& dir, TEncryptionLevel level) {
    db_.SetDirectory((dir + "/").c_str());
    db_.SetDataBaseName("GZ.udb");
    db_.SetFlushPolicy(fpNormal);
    // Enciphered tables live only in an enciphered database.
    if (level != encNone) {
      db_.SetEncrypted(true);
      db_.SetMasterKey("bench-key");
    }
    db_.CreateDatabase();
    if (level != encNone) db_.SetMasterKey("bench-key");
    db_.SetConnected(true);
    TUdbTable t;
    t.SetDataBase(&db_);
    t.SetTableName("PAY");
    t.SetEncryptionLevel(level);
    t.FieldDefs()->Add("CODE", ftString, 11);
    t.FieldDefs()->Add("DEPT", ftString, 10);
    t.FieldDefs()->Add("NAME", ftString, 20);
    t.FieldDefs()->Add("BANK", ftString, 20);
    t.FieldDefs()->Add("TITLE", ftString, 10);
    t.FieldDefs()->Add("GRADE", ftInteger);
    t.FieldDefs()->Add("HIRED", ftDate);
    for (int k = 1; k <= kPayItems; ++k) t.FieldDefs()->Add(("P" + std::to_string(k)).c_str(), ftFloat);
    t.FieldDefs()->Add("PAID", ftDate);
    t.FieldDefs()->Add("REMARK", ftString, 30);
    t.IndexDefs()->Add("ByCode", "CODE", TIndexOptions() << ixUnique);
    t.IndexDefs()->Add("ByDept", "DEPT", TIndexOptions());
    t.CreateTable();
    TUdbTable d;
    d.SetDataBase(&db_);
    d.SetTableName("BM");
    d.FieldDefs()->Add("BM", ftString, 10);
    d.FieldDefs()->Add("BMMC", ftString, 20);
    d.IndexDefs()->Add("ByBm", "BM", TIndexOptions());
    d.CreateTable();
    OpenTable();
  }
  ~TEngineSide() {
    table_.reset();
    db_.SetConnected(false);
  }
  // Disconnected and connected again: the page cache's capacity follows
  // the file's size at connect, as for a program starting on the file.
  void Reopen() {
    table_.reset();
    db_.SetConnected(false);
    if (db_.Encrypted()) db_.SetMasterKey("bench-key");  // cleared at every disconnect
    db_.SetConnected(true);
    OpenTable();
  }

  void Append(int rows) {
    db_.StartTransaction();
    TUdbTable& t = *table_;
    for (int i = 0; i < rows; ++i) {
      t.Append();
      code_->SetAsString(Code(i));
      dept_->SetAsString(Dept(i));
      name_->SetAsString(Name(i));
      bank_->SetAsString(Bank(i));
      title_->SetAsString("职员");
      grade_->SetAsInteger(i % 12);
      hired_->SetAsDateTime(TDateTime(DayOf(i * 7)));
      for (int k = 0; k < kPayItems; ++k) pay_[static_cast<size_t>(k)]->SetAsFloat(Pay(i, k + 1));
      paid_->SetAsDateTime(TDateTime(DayOf(i)));
      t.Post();
    }
    TUdbTable d;
    d.SetDataBase(&db_);
    d.SetTableName("BM");
    d.Open();
    for (int k = 0; k < kDepartments; ++k) {
      d.Append();
      d.Fields()->Fields(0)->SetAsString(Dept(k));
      d.Fields()->Fields(1)->SetAsString("部门" + std::to_string(k));
      d.Post();
    }
    d.Close();
    db_.Commit();
  }
  [[gnu::noinline]] double FindKey(const std::vector<std::string>& codes) {
    double sum = 0;
    for (const std::string& c : codes)
      if (table_->FindKey({Variant(AnsiString(c))})) sum += pay_[0]->AsFloat();
    return sum;
  }
  [[gnu::noinline]] double Locate(const std::vector<std::string>& codes) {
    double sum = 0;
    for (const std::string& c : codes)
      if (table_->Locate("CODE", Variant(AnsiString(c)), TLocateOptions())) sum += pay_[0]->AsFloat();
    return sum;
  }
  [[gnu::noinline]] double Range() {
    TUdbTable& t = *table_;
    t.SetIndexName("ByDept");
    double sum = 0;
    for (int d = 0; d < kDepartments; ++d) {
      const Variant dept(AnsiString(Dept(d)));
      t.SetRange({dept}, {dept});
      for (t.First(); !t.Eof(); t.Next()) sum += pay_[0]->AsFloat();
    }
    t.CancelRange();
    t.SetIndexName("ByCode");
    return sum;
  }
  [[gnu::noinline]] double Scan() {
    double sum = 0;
    TUdbTable& t = *table_;
    for (t.First(); !t.Eof(); t.Next()) sum += pay_[0]->AsFloat();
    return sum;
  }
  [[gnu::noinline]] double Edit() {
    db_.StartTransaction();
    TUdbTable& t = *table_;
    TField* p2 = pay_[1];
    for (t.First(); !t.Eof(); t.Next()) {
      t.Edit();
      p2->SetAsFloat(p2->AsFloat() + 1);
      t.Post();
    }
    db_.Commit();
    return 0;
  }
  [[gnu::noinline]] double Delete(const std::vector<std::string>& codes) {
    db_.StartTransaction();
    for (const std::string& c : codes)
      if (table_->FindKey({Variant(AnsiString(c))})) table_->Delete();
    db_.Commit();
    return Scan();
  }
  [[gnu::noinline]] double Sql(const char* sql) {
    TUdbQuery q;
    q.SetDataBase(&db_);
    q.SQL()->SetText(sql);
    if (std::strncmp(sql, "update", 6) == 0) {
      q.ExecSQL();
      return q.RowsAffected();
    }
    q.Open();
    double n = 0;
    for (q.First(); !q.Eof(); q.Next()) n += 1;
    q.Close();
    return n;
  }

 private:
  void OpenTable() {
    table_ = std::make_unique<TUdbTable>();
    TUdbTable& t = *table_;
    t.SetDataBase(&db_);
    t.SetTableName("PAY");
    t.SetIndexName("ByCode");
    t.Open();
    code_ = t.FieldByName("CODE");
    dept_ = t.FieldByName("DEPT");
    name_ = t.FieldByName("NAME");
    bank_ = t.FieldByName("BANK");
    title_ = t.FieldByName("TITLE");
    grade_ = t.FieldByName("GRADE");
    hired_ = t.FieldByName("HIRED");
    paid_ = t.FieldByName("PAID");
    pay_.clear();
    for (int k = 1; k <= kPayItems; ++k) pay_.push_back(t.FieldByName(("P" + std::to_string(k)).c_str()));
  }

  TUdbDataBase db_;
  std::unique_ptr<TUdbTable> table_;
  TField *code_ = nullptr, *dept_ = nullptr, *name_ = nullptr, *bank_ = nullptr, *title_ = nullptr,
         *grade_ = nullptr, *hired_ = nullptr, *paid_ = nullptr;
  std::vector<TField*> pay_;
};

// --- the run and its table ---------------------------------------------------

// Times of one round, milliseconds; a workload not run holds -1.
struct TRound {
  double engine[kWorkCount];
  double peer[kWorkCount];
};

struct TSizeResult {
  int rows = 0;
  const char* cipherPeer = "sqlite";
  double ratio[kWorkCount];
  double engineUs[kWorkCount];
  double peerUs[kWorkCount];
};

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct TSummary {
  std::vector<TSizeResult> sizes;
  ~TSummary() {
    if (sizes.empty()) return;
    auto table = [&](const char* title, auto&& cell) {
      std::printf("\n%s\n| workload |", title);
      for (const TSizeResult& s : sizes) std::printf(" %d rows |", s.rows);
      std::printf("\n|---|");
      for (size_t i = 0; i < sizes.size(); ++i) std::printf("---|");
      std::printf("\n");
      for (int w = 0; w < kWorkCount; ++w) {
        std::printf("| %s |", kWorkTitles[w]);
        for (const TSizeResult& s : sizes) {
          const std::string c = cell(s, w);
          std::printf(" %s |", c.c_str());
        }
        std::printf("\n");
      }
    };
    auto fmt = [](const char* f, double a, double b = 0) {
      char text[48];
      std::snprintf(text, sizeof text, f, a, b);
      return std::string(text);
    };
    table("engine / peer, median of the rounds (below 1: the engine is faster)",
          [&](const TSizeResult& s, int w) { return s.ratio[w] < 0 ? std::string() : fmt("%.2f", s.ratio[w]); });
    table("microseconds per row (look-ups: per look-up; delete: per deleted row), engine / peer",
          [&](const TSizeResult& s, int w) {
            return s.engineUs[w] < 0 ? std::string() : fmt("%.2f / %.2f", s.engineUs[w], s.peerUs[w]);
          });
  }
};
TSummary summary;

// The codes of `count` random rows of `rows` (with repeats).
std::vector<std::string> RandomCodes(int rows, int count, std::mt19937& rng) {
  std::vector<std::string> codes(static_cast<size_t>(count));
  for (std::string& c : codes) c = Code(static_cast<int>(rng() % static_cast<unsigned>(rows)));
  return codes;
}

// PAYROLL_BENCH_WORK=edit,sql-update,... runs those workloads alone (the
// names of the list above; append always runs, the others need its rows).
bool Chosen(int w) {
  static const char* const kNames[kWorkCount] = {"append", "findkey", "findkey1", "locate", "range",
                                                 "scan", "edit", "delete", "sql-filter", "sql-sum",
                                                 "sql-group", "sql-join", "sql-update", "bf-scan", "bf-findkey"};
  const char* only = std::getenv("PAYROLL_BENCH_WORK");
  if (w == wAppend || only == nullptr || *only == '\0') return true;
  const std::string list = "," + std::string(only) + ",";
  return list.find("," + std::string(kNames[w]) + ",") != std::string::npos;
}

// One round on new files: every plain workload against SQLite, then the
// Blowfish workloads against SQLCipher.  False with `error` set when the
// two sides disagree.
bool RunRound(int rows, TRound& r, std::string& error) {
  std::fill(std::begin(r.engine), std::end(r.engine), -1.0);
  std::fill(std::begin(r.peer), std::end(r.peer), -1.0);
  std::mt19937 rng(20261210);
  const std::vector<std::string> lookups = RandomCodes(rows, std::min(rows, 100000), rng);
  std::vector<int> all(static_cast<size_t>(rows));
  std::iota(all.begin(), all.end(), 0);
  std::shuffle(all.begin(), all.end(), rng);
  std::vector<std::string> doomed;
  for (int i = 0; i < rows / 10; ++i) doomed.push_back(Code(all[static_cast<size_t>(i)]));

  const auto dir = std::filesystem::temp_directory_path() /
                   ("payroll-vssqlite-" + std::to_string(::getpid()) + "-" + std::to_string(rows));
  bool agreed = true;
  auto time = [&](TEngineSide& engine, TSqliteSide& peer, int w, auto&& engineWork, auto&& peerWork) {
    if (!Chosen(w)) return;
    auto t0 = Clock::now();
    const double mine = engineWork(engine);
    auto t1 = Clock::now();
    const double theirs = peerWork(peer);
    auto t2 = Clock::now();
    r.engine[w] = Ms(t1 - t0);
    r.peer[w] = Ms(t2 - t1);
    if (mine != theirs && agreed) {
      agreed = false;
      error = std::string("engine and peer disagree on ") + kWorkTitles[w] + ": " + std::to_string(mine) +
              " against " + std::to_string(theirs);
    }
  };
  auto untimed = [&](TEngineSide& engine, TSqliteSide& peer) {
    engine.Append(rows);
    peer.Append(rows);
    engine.Reopen();
    peer.Reopen();
  };

  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "plain");
  {
    TEngineSide engine((dir / "plain").string(), encNone);
    TSqliteSide peer(LinkedSqlite(), (dir / "plain" / "pay.db").string(), false);
    time(engine, peer, wAppend, [&](TEngineSide& e) { e.Append(rows); return 0.0; },
         [&](TSqliteSide& p) { p.Append(rows); return 0.0; });
    engine.Reopen();
    peer.Reopen();
    time(engine, peer, wFindKey, [&](TEngineSide& e) { return e.FindKey(lookups); },
         [&](TSqliteSide& p) { return p.FindKey(lookups, false); });
    time(engine, peer, wFindKeyOne, [&](TEngineSide& e) { return e.FindKey(lookups); },
         [&](TSqliteSide& p) { return p.FindKey(lookups, true); });
    time(engine, peer, wLocate, [&](TEngineSide& e) { return e.Locate(lookups); },
         [&](TSqliteSide& p) { return p.FindKey(lookups, false); });
    time(engine, peer, wRange, [](TEngineSide& e) { return e.Range(); }, [](TSqliteSide& p) { return p.Range(); });
    time(engine, peer, wScan, [](TEngineSide& e) { return e.Scan(); }, [](TSqliteSide& p) { return p.Scan(); });
    for (const TSql& q : kSql) {
      if (q.work == wSqlUpdate) continue;
      time(engine, peer, q.work, [&](TEngineSide& e) { return e.Sql(q.engine); },
           [&](TSqliteSide& p) { return p.Sql(q.sqlite); });
    }
    time(engine, peer, wEdit, [](TEngineSide& e) { return e.Edit(); }, [](TSqliteSide& p) { return p.Edit(); });
    const TSql& update = kSql[std::size(kSql) - 1];
    time(engine, peer, wSqlUpdate, [&](TEngineSide& e) { return e.Sql(update.engine); },
         [&](TSqliteSide& p) { return p.Sql(update.sqlite); });
    time(engine, peer, wDelete, [&](TEngineSide& e) { return e.Delete(doomed); },
         [&](TSqliteSide& p) { return p.Delete(doomed); });
  }
  std::filesystem::create_directories(dir / "blowfish");
  if (Chosen(wBfScan) || Chosen(wBfFindKey)) {
    const TSqliteApi* cipher = SqlCipher();
    TEngineSide engine((dir / "blowfish").string(), encStrong);
    TSqliteSide peer(cipher ? *cipher : LinkedSqlite(), (dir / "blowfish" / "pay.db").string(), cipher != nullptr);
    untimed(engine, peer);
    time(engine, peer, wBfScan, [](TEngineSide& e) { return e.Scan(); }, [](TSqliteSide& p) { return p.Scan(); });
    time(engine, peer, wBfFindKey, [&](TEngineSide& e) { return e.FindKey(lookups); },
         [&](TSqliteSide& p) { return p.FindKey(lookups, false); });
  }
  std::filesystem::remove_all(dir);
  return agreed;
}

int Rounds() {
  const char* n = std::getenv("PAYROLL_BENCH_ROUNDS");
  return n && std::atoi(n) > 0 ? std::atoi(n) : 3;
}

void RunSize(benchmark::State& state, int rows) {
  RegisterResources(&PayrollEmbeddedResources());
  if (const char* plain = std::getenv("PAYROLL_BENCH_PLAIN_DECIPHER"); plain && *plain && *plain != '0')
    BlowfishVectorDecipherForTests(false);
  for (auto _ : state) {
    std::vector<TRound> rounds(static_cast<size_t>(Rounds()));
    double total = 0;
    for (TRound& r : rounds) {
      std::string error;
      if (!RunRound(rows, r, error)) {
        state.SkipWithError(error.c_str());
        return;
      }
      for (int w = 0; w < kWorkCount; ++w) total += std::max(r.engine[w], 0.0) + std::max(r.peer[w], 0.0);
    }
    TSizeResult s;
    s.rows = rows;
    const double lookups = std::min(rows, 100000);
    for (int w = 0; w < kWorkCount; ++w) {
      std::vector<double> ratios, mine, theirs;
      for (const TRound& r : rounds) {
        if (r.engine[w] < 0) continue;
        ratios.push_back(r.peer[w] > 0 ? r.engine[w] / r.peer[w] : 0);
        mine.push_back(r.engine[w]);
        theirs.push_back(r.peer[w]);
      }
      const bool lookup = w == wFindKey || w == wFindKeyOne || w == wLocate || w == wBfFindKey;
      const double per = lookup ? lookups : w == wDelete ? rows / 10 : rows;
      s.ratio[w] = Median(ratios);
      s.engineUs[w] = mine.empty() ? -1 : 1000 * Median(mine) / per;
      s.peerUs[w] = theirs.empty() ? -1 : 1000 * Median(theirs) / per;
      state.counters[std::to_string(w)] = s.ratio[w];
    }
    state.SetIterationTime(total / 1000.0);
    state.SetLabel(SqlCipher() ? "vs sqlite and sqlcipher" : "vs sqlite (no sqlcipher)");
    summary.sizes.push_back(s);
  }
}

void Register() {
  std::vector<int> sizes{10000, 100000};
  if (const char* million = std::getenv("PAYROLL_BENCH_MILLION"); million && *million && *million != '0')
    sizes.push_back(1000000);
  // PAYROLL_BENCH_ROWS=n runs that size alone (a profiler's short run).
  if (const char* n = std::getenv("PAYROLL_BENCH_ROWS"); n && std::atoi(n) > 0) sizes = {std::atoi(n)};
  for (int rows : sizes)
    benchmark::RegisterBenchmark(("VsSqlite/" + std::to_string(rows)).c_str(),
                                 [rows](benchmark::State& s) { RunSize(s, rows); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
}

const int registered = (Register(), 0);

}  // namespace
