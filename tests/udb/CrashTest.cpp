// Crash safety of commits on a real file: a child process runs random
// transactions and single changes on indexed tables with blobs (or, in the
// catalogue rounds, changes of the catalogue) and is killed with SIGKILL -
// at a random moment, or right after the k-th page write of a commit.  After every kill the file is opened again and
// checked: every index against the records, the blobs, the allocation map
// against the pages in use, the invariant the transactions keep (the sum
// of the accounts) and every commit the child reported.
//
// PAYROLL_CRASH_ROUNDS sets the kills per test (scripts/crash-test.sh runs
// many more).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "CatalogueCheck.h"
#include "Udb/DiskMgr.h"
#include "Udb/MapPageMgr.h"
#include "Udb/RecordFormat.h"
#include "Udb/RestructureDefs.h"
#include "Udb/TableDef.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "UdbTestSupport.h"
#include "platform/core/Strings.h"
#include "platform/data/Fields.h"
#include "tests/core/ScratchDir.h"

namespace {

constexpr int kAccounts = 16;
constexpr double kOpening = 100;

int Rounds() {
  const char* env = std::getenv("PAYROLL_CRASH_ROUNDS");
  return env ? std::max(1, std::atoi(env)) : 12;
}

void Connect(TUdbDataBase& db, const std::string& dir, bool encrypted) {
  db.SetDirectory(AnsiString(dir));
  db.SetDataBaseName("crash.udb");
  db.SetEncrypted(encrypted);
  if (encrypted) db.SetMasterKey("crash-key");
  db.SetLockRetryMaximum(50);
  db.SetLockRetryInterval(10);
}

void Create(const std::string& dir, bool encrypted) {
  TUdbDataBase db;
  Connect(db, dir, encrypted);
  db.CreateDatabase();
  db.SetConnected(true);
  TIndexOptions primary;
  primary << ixPrimary;
  {
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName("ACCT");
    t.FieldDefs()->Add("ID", ftInteger);
    t.FieldDefs()->Add("AMT", ftFloat);
    t.FieldDefs()->Add("NAME", ftString, 20);
    t.FieldDefs()->Add("NLEN", ftInteger);
    t.FieldDefs()->Add("NOTE", ftMemo);
    t.IndexDefs()->Add("PK", "ID", primary);
    t.IndexDefs()->Add("ByName", "NAME;ID", TIndexOptions());
    t.IndexDefs()->Add("ByAmt", "AMT;ID", TIndexOptions());
    t.CreateTable();
    t.Open();
    for (int id = 1; id <= kAccounts; ++id) {
      t.Append();
      t.FieldByName("ID")->SetAsInteger(id);
      t.FieldByName("AMT")->SetAsFloat(kOpening);
      t.FieldByName("NAME")->SetAsString("A" + std::to_string(id));
      t.FieldByName("NLEN")->SetAsInteger(0);
      t.Post();
    }
  }
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName("LOG");
  t.FieldDefs()->Add("SEQ", ftInteger);
  t.FieldDefs()->Add("TXT", ftString, 24);
  t.FieldDefs()->Add("BLEN", ftInteger);
  t.FieldDefs()->Add("BODY", ftMemo);
  t.IndexDefs()->Add("PK", "SEQ", primary);
  t.IndexDefs()->Add("ByTxt", "TXT;SEQ", TIndexOptions());
  t.CreateTable();
}

// A blob's content follows from its key and length, so a check can tell
// a blob of another record or a torn chain.
std::string BlobText(int key, int length) {
  std::string s(static_cast<size_t>(length), ' ');
  for (int i = 0; i < length; ++i) s[static_cast<size_t>(i)] = static_cast<char>('a' + (key * 7 + i) % 26);
  return s;
}

// --- the child: random work until killed -------------------------------------

class TWorker {
 public:
  TWorker(const std::string& dir, bool encrypted, unsigned seed, int reportFd)
      : rng_(seed), reportFd_(reportFd) {
    Connect(db_, dir, encrypted);
    db_.SetConnected(true);
    // Every other worker spills its transactions' pages before the commit.
    if (seed % 2 == 1) db_.DiskMgr()->SetSpillLimit(3 + static_cast<int>(seed % 6));
    acct_.SetDataBase(&db_);
    acct_.SetTableName("ACCT");
    acct_.SetIndexName("PK");
    acct_.Open();
    log_.SetDataBase(&db_);
    log_.SetTableName("LOG");
    log_.SetIndexName("PK");
    log_.Open();
    seq_ = log_.RecordCount() == 0 ? 0 : (log_.Last(), log_.FieldByName("SEQ")->AsInteger());
    acct_.Last();
    nextId_ = acct_.FieldByName("ID")->AsInteger() + 1;
  }

  // Stops the process right after the k-th page write of the n-th commit.
  void KillAtCommitWrite(int commit, int write) {
    db_.DiskMgr()->File().AfterCommitWrite = [this, commit, write](int n) {
      if (commits_ + 1 == commit && n == write) ::raise(SIGKILL);
    };
  }

  [[noreturn]] void Run() {
    for (;;) {
      try {
        if (Pick(10) < 7)
          Transaction();
        else
          SingleChange();
      } catch (const EUdbDatabaseError& e) {
        if (db_.InTransaction()) db_.Rollback();
        if (e.ErrorCode() != 10249) _exit(3);
      }
    }
  }

 private:
  int Pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }

  bool GotoAccount(int id) { return acct_.Locate("ID", Variant(id), TLocateOptions()); }

  void SetNote(int key) {
    const int length = Pick(4) == 0 ? 0 : Pick(6000);
    acct_.FieldByName("NLEN")->SetAsInteger(length);
    acct_.FieldByName("NOTE")->SetAsString(AnsiString(BlobText(key, length)));
  }

  void Transfer() {
    std::vector<int> ids;
    for (acct_.First(); !acct_.Eof(); acct_.Next()) ids.push_back(acct_.FieldByName("ID")->AsInteger());
    const int from = ids[static_cast<size_t>(Pick(static_cast<int>(ids.size())))];
    const int to = ids[static_cast<size_t>(Pick(static_cast<int>(ids.size())))];
    const double amount = Pick(50);
    if (!GotoAccount(from)) _exit(4);
    acct_.Edit();
    acct_.FieldByName("AMT")->SetAsFloat(acct_.FieldByName("AMT")->AsFloat() - amount);
    acct_.FieldByName("NAME")->SetAsString("N" + std::to_string(Pick(1000)));
    SetNote(from);
    acct_.Post();
    if (!GotoAccount(to)) _exit(4);
    acct_.Edit();
    acct_.FieldByName("AMT")->SetAsFloat(acct_.FieldByName("AMT")->AsFloat() + amount);
    acct_.Post();
  }

  // An empty account comes or goes: the sum stays.
  void OpenOrClose() {
    if (Pick(2) == 0) {
      acct_.Append();
      acct_.FieldByName("ID")->SetAsInteger(nextId_++);
      acct_.FieldByName("AMT")->SetAsFloat(0);
      acct_.FieldByName("NAME")->SetAsString("new");
      SetNote(nextId_ - 1);
      acct_.Post();
      return;
    }
    for (acct_.First(); !acct_.Eof(); acct_.Next())
      if (acct_.FieldByName("AMT")->AsFloat() == 0 && acct_.FieldByName("ID")->AsInteger() > kAccounts) {
        acct_.Delete();
        return;
      }
  }

  void AddLog() {
    const int seq = seq_ + 1;
    const int length = Pick(3) == 0 ? 0 : Pick(9000);
    log_.Append();
    log_.FieldByName("SEQ")->SetAsInteger(seq);
    log_.FieldByName("TXT")->SetAsString("T" + std::to_string(Pick(100000)));
    log_.FieldByName("BLEN")->SetAsInteger(length);
    log_.FieldByName("BODY")->SetAsString(AnsiString(BlobText(seq, length)));
    log_.Post();
  }

  void Transaction() {
    db_.StartTransaction();
    const int steps = 1 + Pick(4);
    for (int i = 0; i < steps; ++i) {
      if (Pick(3) == 0)
        OpenOrClose();
      else
        Transfer();
    }
    AddLog();
    db_.Commit();
    Reported();
  }

  void SingleChange() {
    if (Pick(2) == 0) {
      AddLog();  // a post outside a transaction: record, keys, blob, header
      Reported();
      return;
    }
    if (seq_ == 0) return;
    // A key moves in the text index of an older entry.
    if (!log_.Locate("SEQ", Variant(1 + Pick(seq_)), TLocateOptions())) return;
    log_.Edit();
    log_.FieldByName("TXT")->SetAsString("U" + std::to_string(Pick(100000)));
    log_.Post();
  }

  void Reported() {
    ++commits_;
    ++seq_;
    if (::write(reportFd_, &seq_, sizeof seq_) != sizeof seq_) _exit(5);
  }

  std::mt19937 rng_;
  int reportFd_;
  TUdbDataBase db_;
  TUdbTable acct_;
  TUdbTable log_;
  int seq_ = 0;
  int nextId_ = 0;
  int commits_ = 0;
};

// --- the parent's checks ----------------------------------------------------

// Every index holds exactly the table's records, in key order.
void CheckIndexes(TUdbDataBase& db, const char* table, const char* key,
                  const std::vector<std::pair<const char*, std::vector<const char*>>>& indexes,
                  std::set<int>& keys) {
  std::set<int> first;
  bool have = false;
  for (const auto& [index, fields] : indexes) {
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName(table);
    t.SetIndexName(index);
    t.Open();
    std::set<int> seen;
    std::vector<std::pair<std::string, double>> previous;
    for (t.First(); !t.Eof(); t.Next()) {
      std::vector<std::pair<std::string, double>> now;
      for (const char* f : fields) {
        TField* field = t.FieldByName(f);
        if (field->DataType() == ftString)
          now.push_back({std::string(field->AsString()), 0});
        else
          now.push_back({std::string(), field->AsFloat()});
      }
      // Keys ascend (the last field of every index is the unique key);
      // strings in byte order are enough for these ASCII names.
      if (!previous.empty()) {
        EXPECT_LT(previous, now) << table << "." << index << " out of order";
      }
      previous = now;
      EXPECT_TRUE(seen.insert(t.FieldByName(key)->AsInteger()).second) << table << "." << index << " twice";
    }
    EXPECT_EQ(static_cast<int>(seen.size()), t.RecordCount()) << table << "." << index;
    if (!have) {
      // The records in the table's storage: the index must hold just these.
      std::vector<TUdbAddr> blocks;
      t.TableDef().RecordIO()->ListBlocks(blocks);
      std::vector<std::uint8_t> r(static_cast<size_t>(t.GetRecBufSize()));
      int live = 0;
      for (TUdbAddr a : blocks) {
        t.ReadRecordAt(a, r.data());
        if (udbrec::IsLiveRecordOf(r.data(), t.TableDef().OwnerFlag() + udbrec::kRecordTagUsage)) ++live;
      }
      EXPECT_EQ(live, static_cast<int>(seen.size())) << table << ": records in storage against its index";
      first = seen;
      have = true;
    } else {
      EXPECT_EQ(seen, first) << table << "." << index << " differs from " << indexes[0].first;
    }
  }
  keys = first;
}

// Every page a table's records or blobs lie in is the table's in the map.
void CheckMap(TUdbDataBase& db, const char* table) {
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName(table);
  t.Open();
  std::vector<TUdbAddr> blocks;
  t.TableDef().RecordIO()->ListBlocks(blocks);
  if (TBaseIOInterface* blobs = t.TableDef().BlobIO()) blobs->ListBlocks(blocks);
  TDiskMgr& disk = *db.DiskMgr();
  disk.LockHeaderRead();
  const std::int64_t size = disk.File().FileSize();
  std::set<TUdbAddr> pages;
  for (TUdbAddr a : blocks) pages.insert(a - a % 4096);
  for (TUdbAddr page : pages) {
    ASSERT_LT(std::int64_t(page), size) << table;
    const std::uint16_t entry = disk.MapPages().EntryOf(page);
    EXPECT_EQ(entry >> 4, t.TableDef().TableID()) << table << ": page " << page << " is not the table's in the map";
  }
  disk.UnlockHeader();
}

struct TCheckResult {
  int lastSeq = 0;
};

TCheckResult CheckFile(const std::string& dir, bool encrypted, const std::vector<int>& reported) {
  TCheckResult result;
  TUdbDataBase db;
  Connect(db, dir, encrypted);
  db.SetConnected(true);
  std::set<int> accounts, logs;
  CheckIndexes(db, "ACCT", "ID", {{"PK", {"ID"}}, {"ByName", {"NAME", "ID"}}, {"ByAmt", {"AMT", "ID"}}}, accounts);
  CheckIndexes(db, "LOG", "SEQ", {{"PK", {"SEQ"}}, {"ByTxt", {"TXT", "SEQ"}}}, logs);
  CheckMap(db, "ACCT");
  CheckMap(db, "LOG");
  TUdbTable a;
  a.SetDataBase(&db);
  a.SetTableName("ACCT");
  a.Open();
  double sum = 0;
  for (a.First(); !a.Eof(); a.Next()) {
    sum += a.FieldByName("AMT")->AsFloat();
    const int id = a.FieldByName("ID")->AsInteger();
    EXPECT_EQ(std::string(a.FieldByName("NOTE")->AsString()), BlobText(id, a.FieldByName("NLEN")->AsInteger()))
        << "account " << id;
  }
  EXPECT_EQ(sum, kAccounts * kOpening) << "a transfer was committed in part";
  TUdbTable l;
  l.SetDataBase(&db);
  l.SetTableName("LOG");
  l.Open();
  for (l.First(); !l.Eof(); l.Next()) {
    const int seq = l.FieldByName("SEQ")->AsInteger();
    EXPECT_EQ(std::string(l.FieldByName("BODY")->AsString()), BlobText(seq, l.FieldByName("BLEN")->AsInteger()))
        << "log " << seq;
    result.lastSeq = std::max(result.lastSeq, seq);
  }
  for (int seq : reported) EXPECT_TRUE(logs.count(seq)) << "reported commit " << seq << " is lost";
  // Entries are numbered without gaps: a commit is there whole or not at all.
  EXPECT_EQ(static_cast<int>(logs.size()), result.lastSeq);
  return result;
}

void CrashRounds(bool encrypted) {
  ScratchDir dir;
  Create(dir.Native(), encrypted);
  std::mt19937 rng(encrypted ? 77 : 13);
  std::vector<int> reported;
  for (int round = 0; round < Rounds(); ++round) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const bool atWrite = round % 2 == 1;
    const int commit = 1 + static_cast<int>(rng() % 6);
    const int write = 1 + static_cast<int>(rng() % 10);
    const unsigned seed = static_cast<unsigned>(rng());
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(pipeFds[0]);
      try {
        TWorker worker(dir.Native(), encrypted, seed, pipeFds[1]);
        if (atWrite) worker.KillAtCommitWrite(commit, write);
        worker.Run();
      } catch (...) {
        _exit(2);
      }
    }
    ::close(pipeFds[1]);
    int status = 0;
    if (atWrite) {
      // The hook kills the child; a commit with fewer writes does not.
      for (int waited = 0; waited < 400 && ::waitpid(pid, &status, WNOHANG) == 0; waited += 2) ::usleep(2000);
      ::kill(pid, SIGKILL);
    } else {
      ::usleep(static_cast<useconds_t>(5000 + rng() % 120000));
      ::kill(pid, SIGKILL);
    }
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the worker stopped by itself: " << WEXITSTATUS(status);
    int seq = 0;
    while (::read(pipeFds[0], &seq, sizeof seq) == sizeof seq) reported.push_back(seq);
    ::close(pipeFds[0]);
    TCaughtError e = CatchUdb([&] { CheckFile(dir.Native(), encrypted, reported); });
    EXPECT_EQ(e.code, -1) << "round " << round << ": " << e.message;
    ASSERT_FALSE(::testing::Test::HasFailure())
        << "after round " << round << (atWrite ? " (killed at a commit write)" : " (killed at random)");
  }
  EXPECT_FALSE(reported.empty());
  std::printf("%d kills, %zu commits reported\n", Rounds(), reported.size());
}

// --- catalogue changes killed half-way ---------------------------------------
//
// A child creates, fills, restructures, renames, empties and deletes tables
// and is killed at random or right after the k-th page write of the commit
// of its n-th catalogue change.  It reports each change before it starts and
// after it returned; the parent keeps the catalogue as the reported changes
// left it and accepts, for the change in flight, the state before or after
// it - nothing in between: the same tables, each with its rows (memos
// included) and fields, every index holding exactly the records, the space
// check clean.

struct TCatalogueReport {
  char op = 0;  // 'C' create, 'I' insert a row, 'R' restructure, 'N' rename, 'E' empty, 'D' delete
  char done = 0;
  char name[12] = {};
  char other[12] = {};  // the new name of a rename
  int fieldsAfter = 0;  // the field count a restructure leaves
};

struct TCatalogueTable {
  int rows = 0;
  int fields = 0;
  bool operator==(const TCatalogueTable&) const = default;
};
using TCatalogueState = std::map<std::string, TCatalogueTable>;

// The state after r was done.
TCatalogueState Apply(TCatalogueState state, const TCatalogueReport& r) {
  const std::string name = r.name;
  switch (r.op) {
    case 'C': state[name] = {0, 4}; break;
    case 'I': ++state[name].rows; break;
    case 'R': state[name].fields = r.fieldsAfter; break;
    case 'N': state[r.other] = state[name]; state.erase(name); break;
    case 'E': state[name].rows = 0; break;
    case 'D': state.erase(name); break;
  }
  return state;
}

void ConnectCatalogue(TUdbDataBase& db, const std::string& dir, bool encrypted) {
  Connect(db, dir, encrypted);
  db.SetExclusive(true);  // restructures need the file to themselves
}

class TCatalogueWorker {
 public:
  TCatalogueWorker(const std::string& dir, bool encrypted, unsigned seed, int reportFd)
      : rng_(seed), encrypted_(encrypted), reportFd_(reportFd) {
    ConnectCatalogue(db_, dir, encrypted);
    db_.SetConnected(true);
    TStringList names;
    db_.GetTableNames(&names, false);
    for (int i = 0; i < names.Count(); ++i) {
      TUdbTable t;
      t.SetDataBase(&db_);
      t.SetTableName(names.Strings(i));
      t.Open();
      tables_[std::string(names.Strings(i))] = {t.RecordCount(), t.FieldCount()};
    }
  }

  // Stops the process right after the k-th page write of the commit of the
  // n-th catalogue change (inserts are not counted).
  void KillAtChangeWrite(int change, int write) {
    db_.DiskMgr()->File().AfterCommitWrite = [this, change, write](int n) {
      if (inChange_ && changes_ == change && n == write) ::raise(SIGKILL);
    };
  }

  [[noreturn]] void Run() {
    for (;;) {
      try {
        Step();
      } catch (const std::exception& e) {
        std::fprintf(stderr, "catalogue worker, at '%c' %s: %s\n", current_.op, current_.name, e.what());
        _exit(3);
      }
    }
  }

 private:
  int Pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }

  void Report(TCatalogueReport r, bool done) {
    r.done = done ? 1 : 0;
    current_ = r;
    if (::write(reportFd_, &r, sizeof r) != sizeof r) _exit(5);
  }
  TCatalogueReport Begin(char op, const std::string& name, const std::string& other = std::string(),
                         int fieldsAfter = 0) {
    TCatalogueReport r;
    r.op = op;
    r.fieldsAfter = fieldsAfter;
    std::snprintf(r.name, sizeof r.name, "%s", name.c_str());
    std::snprintf(r.other, sizeof r.other, "%s", other.c_str());
    Report(r, false);
    if (op != 'I') {
      ++changes_;
      inChange_ = true;
    }
    return r;
  }
  void End(const TCatalogueReport& r) {
    inChange_ = false;
    Report(r, true);
    tables_ = Apply(tables_, r);
  }

  std::string NewName() {
    std::string name;
    do name = "C" + std::to_string(Pick(10000));
    while (tables_.count(name));
    return name;
  }
  std::string AnyTable() {
    auto it = tables_.begin();
    std::advance(it, Pick(static_cast<int>(tables_.size())));
    return it->first;
  }

  void Step() {
    const int op = Pick(100);
    if (tables_.size() < 2 || (op < 15 && tables_.size() < 12)) return Create();
    const std::string name = AnyTable();
    if (op < 50) return Insert(name);
    if (op < 70) return Restructure(name);
    if (op < 80) {
      const std::string to = NewName();
      const TCatalogueReport r = Begin('N', name, to);
      db_.RenameTable(name.c_str(), to.c_str());
      return End(r);
    }
    if (op < 88) {
      const TCatalogueReport r = Begin('E', name);
      TUdbTable t;
      Bind(t, name);
      t.Open();
      t.EmptyTable();
      t.Close();
      return End(r);
    }
    const TCatalogueReport r = Begin('D', name);
    db_.DeleteTable(name.c_str(), false);
    End(r);
  }

  void Bind(TUdbTable& t, const std::string& name) {
    t.SetDataBase(&db_);
    t.SetTableName(name.c_str());
  }

  void Create() {
    const std::string name = NewName();
    const TCatalogueReport r = Begin('C', name);
    TUdbTable t;
    Bind(t, name);
    if (encrypted_) t.SetEncryptionLevel(Pick(2) == 0 ? encWeak : encStrong);
    t.FieldDefs()->Add("ID", ftInteger);
    t.FieldDefs()->Add("S", ftString, 20);
    t.FieldDefs()->Add("L", ftInteger);
    t.FieldDefs()->Add("M", ftMemo);
    TIndexOptions primary;
    primary << ixPrimary;
    t.IndexDefs()->Add("PK", "ID", primary);
    if (Pick(2) == 0) t.IndexDefs()->Add("IS", "S;ID", TIndexOptions());
    t.CreateTable();
    End(r);
  }

  void Insert(const std::string& name) {
    const TCatalogueReport r = Begin('I', name);
    TUdbTable t;
    Bind(t, name);
    t.Open();
    const int id = nextId_++;
    const int length = Pick(3) == 0 ? 0 : Pick(7000);
    t.Append();
    t.FieldByName("ID")->SetAsInteger(id);
    t.FieldByName("S")->SetAsString("S" + std::to_string(Pick(1000)));
    t.FieldByName("L")->SetAsInteger(length);
    t.FieldByName("M")->SetAsString(AnsiString(BlobText(id, length)));
    t.Post();
    t.Close();
    End(r);
  }

  // A field added (every record copied), the text index made or dropped,
  // or the text widened.
  void Restructure(const std::string& name) {
    TUdbTable t;
    Bind(t, name);
    TRestructureFieldDefs* fields = t.GetRestructureFieldDefs();
    TRestructureIndexDefs* indexes = t.GetRestructureIndexDefs();
    const int kind = Pick(3);
    if (kind == 0 && fields->Count() < 12) {
      fields->AddFieldDef(("X" + std::to_string(fields->Count())).c_str(), ftInteger, 0);
    } else if (kind == 1) {
      if (TRestructureIndexDef* ix = indexes->Find("IS"))
        indexes->Delete(ix->Index());
      else
        indexes->AddIndexDef("IS", "S;ID", TIndexOptions());
    } else {
      TRestructureFieldDef* s = fields->Find("S");
      s->SetSize(s->Size() < 200 ? s->Size() + 10 : s->Size());
    }
    const TCatalogueReport r = Begin('R', name, std::string(), fields->Count());
    t.RestructureTable();
    End(r);
  }

  std::mt19937 rng_;
  bool encrypted_;
  int reportFd_;
  TUdbDataBase db_;
  TCatalogueState tables_;
  int nextId_ = 1000 + static_cast<int>(rng_() % 100000) * 10;
  int changes_ = 0;
  bool inChange_ = false;
  TCatalogueReport current_;
};

// The file as the parent finds it after a kill.
TCatalogueState ReadCatalogue(const std::string& dir, bool encrypted) {
  TUdbDataBase db;
  ConnectCatalogue(db, dir, encrypted);
  db.SetConnected(true);
  for (const std::string& fault : CheckFileSpace(db)) ADD_FAILURE() << "space: " << fault;
  TCatalogueState state;
  TStringList names;
  db.GetTableNames(&names, false);
  for (int i = 0; i < names.Count(); ++i) {
    const std::string name = names.Strings(i);
    std::set<int> keys;
    CheckIndexes(db, name.c_str(), "ID", {{"PK", {"ID"}}}, keys);
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName(name.c_str());
    t.Open();
    for (t.First(); !t.Eof(); t.Next()) {
      const int id = t.FieldByName("ID")->AsInteger();
      EXPECT_EQ(std::string(t.FieldByName("M")->AsString()), BlobText(id, t.FieldByName("L")->AsInteger()))
          << name << " row " << id;
    }
    if (t.IndexDefs()->IndexOf("IS") >= 0) {
      t.Close();
      std::set<int> byText;
      CheckIndexes(db, name.c_str(), "ID", {{"IS", {"S", "ID"}}}, byText);
      EXPECT_EQ(byText, keys) << name << ": the text index against the records";
      t.Open();
    }
    state[name] = {t.RecordCount(), t.FieldCount()};
  }
  return state;
}

std::string Describe(const TCatalogueState& state) {
  std::string s;
  for (const auto& [name, t] : state) s += name + "(" + std::to_string(t.rows) + " rows, " + std::to_string(t.fields) + " fields) ";
  return s;
}

void CatalogueCrashRounds(bool encrypted) {
  ScratchDir dir;
  {
    TUdbDataBase db;
    ConnectCatalogue(db, dir.Native(), encrypted);
    db.CreateDatabase();
  }
  std::mt19937 rng(encrypted ? 4611 : 4612);
  TCatalogueState state;
  int changes = 0;
  for (int round = 0; round < Rounds(); ++round) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const bool atWrite = round % 2 == 1;
    const int change = 1 + static_cast<int>(rng() % 8);
    const int write = 1 + static_cast<int>(rng() % 12);
    const unsigned seed = static_cast<unsigned>(rng());
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(pipeFds[0]);
      try {
        TCatalogueWorker worker(dir.Native(), encrypted, seed, pipeFds[1]);
        if (atWrite) worker.KillAtChangeWrite(change, write);
        worker.Run();
      } catch (...) {
        _exit(2);
      }
    }
    ::close(pipeFds[1]);
    int status = 0;
    if (atWrite) {
      for (int waited = 0; waited < 1000 && ::waitpid(pid, &status, WNOHANG) == 0; waited += 2) ::usleep(2000);
      ::kill(pid, SIGKILL);
    } else {
      ::usleep(static_cast<useconds_t>(20000 + rng() % 300000));
      ::kill(pid, SIGKILL);
    }
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the worker stopped by itself: " << WEXITSTATUS(status);
    TCatalogueReport r;
    bool inFlight = false;
    TCatalogueReport flying;
    while (::read(pipeFds[0], &r, sizeof r) == sizeof r) {
      if (r.done) {
        state = Apply(state, r);
        inFlight = false;
        if (r.op != 'I') ++changes;
      } else {
        flying = r;
        inFlight = true;
      }
    }
    ::close(pipeFds[0]);
    TCatalogueState found;
    TCaughtError e = CatchUdb([&] { found = ReadCatalogue(dir.Native(), encrypted); });
    EXPECT_EQ(e.code, -1) << "round " << round << ": " << e.message;
    const bool before = found == state;
    const bool after = inFlight && found == Apply(state, flying);
    EXPECT_TRUE(before || after) << "round " << round << ": the file holds " << Describe(found) << "; before "
                                 << (inFlight ? std::string("'") + flying.op + "' " + flying.name : std::string("nothing"))
                                 << " it held " << Describe(state);
    ASSERT_FALSE(::testing::Test::HasFailure())
        << "after round " << round << (atWrite ? " (killed at a catalogue commit write)" : " (killed at random)");
    if (after) {
      state = Apply(state, flying);
      if (flying.op != 'I') ++changes;
    }
  }
  EXPECT_GT(changes, 0);
  std::printf("%d kills, %d catalogue changes completed\n", Rounds(), changes);
}

}  // namespace

TEST(CrashTest, KilledCatalogueChangesLeaveTheFileAsBeforeOrAfterPlainPages) { CatalogueCrashRounds(false); }

TEST(CrashTest, KilledCatalogueChangesLeaveTheFileAsBeforeOrAfterEncipheredTables) { CatalogueCrashRounds(true); }

TEST(CrashTest, KilledWritersNeverCorruptTheFileOrLoseACommitPlainPages) { CrashRounds(false); }

TEST(CrashTest, KilledWritersNeverCorruptTheFileOrLoseACommitBlowfishPages) { CrashRounds(true); }
