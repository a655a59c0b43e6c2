// Crash safety of commits on a real file: a child process runs random
// transactions and single changes on indexed tables with blobs (or, in the
// catalogue rounds, changes of the catalogue) and is killed with SIGKILL -
// at a random moment, or right after the k-th page write of a commit.  After every kill the file is opened again and
// checked: every index against the records, the blobs, the allocation map
// against the pages in use, the invariant the transactions keep (the sum
// of the accounts) and every commit the child reported.
//
// PAYROLL_CRASH_ROUNDS sets the kills per test (scripts/crash-test.sh runs
// many more).  The last test runs several processes at once - writers, a
// reader and a large transaction - killed together after each round, the
// writers meeting a full disk now and then; PAYROLL_SHARED_ROUNDS sets its
// rounds.
#include <signal.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CatalogueCheck.h"
#include "Udb/DiskMgr.h"
#include "Udb/MapPageMgr.h"
#include "Udb/RecordFormat.h"
#include "Udb/RestructureDefs.h"
#include "Udb/TableDef.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbFileIO.h"
#include "Udb/UdbTable.h"
#include "UdbTestSupport.h"
#include "platform/core/Strings.h"
#include "platform/data/Fields.h"
#include "tests/core/ScratchDir.h"

namespace {

constexpr int kAccounts = 16;
constexpr double kOpening = 100;
constexpr int kSeqSpace = 1000000;  // log entries of worker n: n * kSeqSpace + 1, ...
constexpr int kIdSpace = 100000;    // accounts opened by worker n: n * kIdSpace + 1, ...

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
  // number > 0: one of several workers at once; its log entries are
  // number * kSeqSpace + 1, + 2, ... and its new accounts number *
  // kIdSpace + 1, ...  fs: the file system to work through (faults).
  TWorker(const std::string& dir, bool encrypted, unsigned seed, int reportFd, int number = 0,
          TUdbFileSystem* fs = nullptr)
      : rng_(seed), reportFd_(reportFd), number_(number) {
    if (fs) db_.SetFileSystem(fs);
    Connect(db_, dir, encrypted);
    if (number > 0) {
      // Several at once: commits wait for each other.
      db_.SetLockRetryMaximum(20);
      db_.SetLockRetryInterval(20);
    }
    ConnectRetrying();
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
    if (number_ == 0) {
      seq_ = log_.RecordCount() == 0 ? 0 : (log_.Last(), log_.FieldByName("SEQ")->AsInteger());
      acct_.Last();
      nextId_ = acct_.FieldByName("ID")->AsInteger() + 1;
    } else {
      // Where this worker's numbers stopped: the last of its space.
      seq_ = LastIn(log_, "SEQ", number_ * kSeqSpace, kSeqSpace) - number_ * kSeqSpace;
      nextId_ = LastIn(acct_, "ID", number_ * kIdSpace, kIdSpace) + 1;
    }
  }

  // Stops the process right after the k-th page write of the n-th commit.
  void KillAtCommitWrite(int commit, int write) {
    db_.DiskMgr()->File().AfterCommitWrite = [this, commit, write](int n) {
      if (commits_ + 1 == commit && n == write) ::raise(SIGKILL);
    };
  }

  [[noreturn]] void Run() {
    for (;;) {
      Guarded([&] {
        if (Pick(10) < 7)
          Transaction();
        else
          SingleChange();
      });
    }
  }

  // Edits every account's note and logs many entries in one transaction:
  // many pages, spilled before the commit.
  [[noreturn]] void RunLarge() {
    for (;;) {
      Guarded([&] {
        db_.StartTransaction();
        for (acct_.First(); !acct_.Eof(); acct_.Next()) {
          acct_.Edit();
          SetNote(acct_.FieldByName("ID")->AsInteger());
          acct_.Post();
        }
        for (int i = 0; i < 40; ++i) AddLog(i);
        db_.Commit();
        for (int i = 0; i < 40; ++i) Reported();
      });
    }
  }

  // Totals the accounts inside transactions; reports -1 when the sum is
  // not the opening one.
  [[noreturn]] void RunReader() {
    for (;;) {
      Guarded([&] {
        db_.StartTransaction();
        double sum = 0;
        for (acct_.First(); !acct_.Eof(); acct_.Next()) sum += acct_.FieldByName("AMT")->AsFloat();
        db_.Commit();
        const int report = sum == kAccounts * kOpening ? 0 : -1;
        if (::write(reportFd_, &report, sizeof report) != sizeof report) _exit(5);
      });
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

  // Lock time-outs, and the write failures of a full disk, end the work
  // in hand: it is rolled back and the worker goes on.  Anything else ends
  // the worker (the parent sees it exit).
  template <class Fn>
  void Guarded(Fn&& work) {
    try {
      work();
    } catch (const EUdbDatabaseError& e) {
      const int code = e.ErrorCode();
      if (code != 10249 && code != 9218 && code != 9219 && code != 8450) {
        std::fprintf(stderr, "worker %d: %s\n", number_, e.what());
        _exit(3);
      }
      for (TUdbTable* t : {&acct_, &log_})
        if (t->State() == dsEdit || t->State() == dsInsert) t->Cancel();
      try {
        if (db_.InTransaction()) db_.Rollback();
      } catch (const EUdbDatabaseError&) {
        // The restore failed too: the journal stays, the next lock restores it.
      }
    }
  }

  void ConnectRetrying() {
    for (int attempt = 0;; ++attempt) {
      try {
        db_.SetConnected(true);
        return;
      } catch (const EUdbDatabaseError& e) {
        if (attempt > 200 || (e.ErrorCode() != 10249 && e.ErrorCode() != 9218 && e.ErrorCode() != 8450)) throw;
      }
    }
  }

  static int LastIn(TUdbTable& t, const char* field, int base, int span) {
    int last = base;
    for (t.First(); !t.Eof(); t.Next()) {
      const int v = t.FieldByName(field)->AsInteger();
      if (v > base && v < base + span) last = std::max(last, v);
    }
    return last;
  }

  void AddLog(int ahead = 0) {
    const int seq = (number_ > 0 ? number_ * kSeqSpace : 0) + seq_ + 1 + ahead;
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
    if (!log_.Locate("SEQ", Variant((number_ > 0 ? number_ * kSeqSpace : 0) + 1 + Pick(seq_)), TLocateOptions()))
      return;
    log_.Edit();
    log_.FieldByName("TXT")->SetAsString("U" + std::to_string(Pick(100000)));
    log_.Post();
  }

  void Reported() {
    ++commits_;
    ++seq_;
    const int seq = (number_ > 0 ? number_ * kSeqSpace : 0) + seq_;
    if (::write(reportFd_, &seq, sizeof seq) != sizeof seq) _exit(5);
  }

  std::mt19937 rng_;
  int reportFd_;
  TUdbDataBase db_;
  TUdbTable acct_;
  TUdbTable log_;
  int number_ = 0;
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
  // Entries are numbered without gaps, each worker's in its own space: a
  // commit is there whole or not at all.
  std::map<int, int> perWorker;
  for (int seq : logs) ++perWorker[seq / kSeqSpace];
  for (const auto& [worker, count] : perWorker) {
    const int last = *std::prev(logs.lower_bound((worker + 1) * kSeqSpace));
    EXPECT_EQ(count, last - worker * kSeqSpace) << "worker " << worker << "'s log has a gap";
  }
  return result;
}

// Runs `work` in a forked worker that writes to pipeFds[1] and kills it:
// at its own write hook (atWrite: the hook kills it; a change with fewer
// writes does not, so it is killed after waitMs) or after a random pause of
// pauseMinUs plus up to pauseSpanUs.  The worker's status goes to *status.
void ForkAndKill(const int pipeFds[2], bool atWrite, int waitMs, std::mt19937& rng, unsigned pauseMinUs,
                 unsigned pauseSpanUs, int* status, const std::function<void()>& work) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(pipeFds[0]);
    try {
      work();
    } catch (...) {
      _exit(2);
    }
  }
  ::close(pipeFds[1]);
  if (atWrite) {
    for (int waited = 0; waited < waitMs && ::waitpid(pid, status, WNOHANG) == 0; waited += 2) ::usleep(2000);
  } else {
    ::usleep(static_cast<useconds_t>(pauseMinUs + rng() % pauseSpanUs));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, status, 0);
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
    int status = 0;
    ForkAndKill(pipeFds, atWrite, 400, rng, 5000, 120000, &status, [&] {
      TWorker worker(dir.Native(), encrypted, seed, pipeFds[1]);
      if (atWrite) worker.KillAtCommitWrite(commit, write);
      worker.Run();
    });
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

// --- several processes at once, with kills and a full disk ---------------------

// A database or journal file of the POSIX file system whose writes fail now
// and then as on a full disk (nothing written).
class TFullDiskFile : public TUdbFileIO {
 public:
  TFullDiskFile(std::unique_ptr<TUdbFileIO> file, std::mt19937& rng, unsigned oneIn)
      : file_(std::move(file)), rng_(rng), oneIn_(oneIn) {}
  std::int64_t ReadAt(std::int64_t offset, void* buffer, std::int64_t count) override {
    return file_->ReadAt(offset, buffer, count);
  }
  std::int64_t WriteAt(std::int64_t offset, const void* buffer, std::int64_t count) override {
    full_ = oneIn_ > 0 && rng_() % oneIn_ == 0;
    return full_ ? -1 : file_->WriteAt(offset, buffer, count);
  }
  std::int64_t Size() override { return file_->Size(); }
  bool SetSize(std::int64_t size) override { return file_->SetSize(size); }
  bool Flush() override { return file_->Flush(); }
  void Close() override { file_->Close(); }
  int Handle() const override { return file_->Handle(); }
  AnsiString ErrorText() const override { return full_ ? AnsiString("No space left on device") : file_->ErrorText(); }

 private:
  std::unique_ptr<TUdbFileIO> file_;
  std::mt19937& rng_;
  unsigned oneIn_;
  bool full_ = false;
};

class TFullDiskFileSystem : public TUdbFileSystem {
 public:
  TFullDiskFileSystem(unsigned seed, unsigned oneIn) : rng_(seed), oneIn_(oneIn) {}
  std::unique_ptr<TUdbFileIO> Open(const AnsiString& path, const TUdbOpenMode& mode, AnsiString& error) override {
    return Wrap(base_.Open(path, mode, error));
  }
  std::unique_ptr<TUdbFileIO> Create(const AnsiString& path, AnsiString& error) override {
    return Wrap(base_.Create(path, error));
  }
  bool Exists(const AnsiString& path) override { return base_.Exists(path); }
  AnsiString SpelledOnDisk(const AnsiString& path) override { return base_.SpelledOnDisk(path); }
  bool ExistsAsSpelled(const AnsiString& path) override { return base_.ExistsAsSpelled(path); }
  bool IsReadOnly(const AnsiString& path) override { return base_.IsReadOnly(path); }
  bool Remove(const AnsiString& path) override { return base_.Remove(path); }
  bool Rename(const AnsiString& from, const AnsiString& to) override { return base_.Rename(from, to); }
  bool SameFile(const AnsiString& a, const AnsiString& b) override { return base_.SameFile(a, b); }
  bool SyncDirectoryOf(const AnsiString& path) override { return base_.SyncDirectoryOf(path); }

 private:
  std::unique_ptr<TUdbFileIO> Wrap(std::unique_ptr<TUdbFileIO> file) {
    if (!file) return file;
    return std::make_unique<TFullDiskFile>(std::move(file), rng_, oneIn_);
  }
  TUdbFileSystem& base_ = PosixFileSystem();
  std::mt19937 rng_;
  unsigned oneIn_;
};

int SharedRounds() {
  const char* env = std::getenv("PAYROLL_SHARED_ROUNDS");
  return env ? std::max(1, std::atoi(env)) : 6;
}

enum TRole { kWriter, kLarge, kReader };

// Runs one worker process of the role until it is killed.
[[noreturn]] void RunWorker(const std::string& dir, TRole role, int number, unsigned seed, int reportFd,
                            int killCommit, int killWrite) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a parent stopped by its watchdog takes its workers along
  // Writers meet a full disk at one write in 300; the others never.
  TFullDiskFileSystem fs(seed, role == kWriter ? 300 : 0);
  for (int attempt = 0;; ++attempt) {
    try {
      TWorker worker(dir, false, seed, reportFd, number, &fs);
      if (killCommit > 0) worker.KillAtCommitWrite(killCommit, killWrite);
      if (role == kWriter) worker.Run();
      if (role == kLarge) worker.RunLarge();
      worker.RunReader();
    } catch (const EUdbDatabaseError& e) {
      const int code = e.ErrorCode();
      if (attempt > 100 || (code != 10249 && code != 9218 && code != 8450)) {
        std::fprintf(stderr, "worker %d: %s\n", number, e.what());
        _exit(2);
      }
    } catch (...) {
      _exit(2);
    }
  }
}

// Rounds of three writers, a large transaction and a reader at once, all
// killed at a random moment (a writer sometimes at a commit's k-th write),
// writers meeting a full disk now and then; after each round the file
// checks clean, the sum holds and every reported commit is there.  A round
// that does not end in time fails the test (the watchdog).
void SharedUseRounds() {
  ScratchDir dir;
  Create(dir.Native(), false);
  std::mt19937 rng(4909);
  std::vector<int> reported;
  int totals = 0, badTotals = 0, largeCommits = 0;
  std::atomic<std::int64_t> deadline{0};
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    while (!done) {
      const std::int64_t until = deadline;
      if (until != 0 && std::chrono::steady_clock::now().time_since_epoch().count() > until) {
        std::fprintf(stderr, "watchdog: a round did not end in time\n");
        std::fflush(stderr);
        _exit(9);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  for (int round = 0; round < SharedRounds(); ++round) {
    deadline = (std::chrono::steady_clock::now() + std::chrono::seconds(60)).time_since_epoch().count();
    struct TChild {
      pid_t pid;
      int fd;
      TRole role;
    };
    std::vector<TChild> children;
    const TRole roles[] = {kWriter, kWriter, kWriter, kLarge, kReader};
    for (int i = 0; i < 5; ++i) {
      int fds[2];
      ASSERT_EQ(::pipe(fds), 0);
      const unsigned seed = static_cast<unsigned>(rng());
      const bool killAtWrite = i == 0 && round % 2 == 1;
      const int killCommit = killAtWrite ? 1 + static_cast<int>(rng() % 4) : 0;
      const int killWrite = 1 + static_cast<int>(rng() % 10);
      const pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        ::close(fds[0]);
        RunWorker(dir.Native(), roles[i], i + 1, seed, fds[1], killCommit, killWrite);
      }
      ::close(fds[1]);
      children.push_back({pid, fds[0], roles[i]});
    }
    ::usleep(static_cast<useconds_t>(300000 + rng() % 600000));
    // A reader may not get a turn within a short round on a busy machine
    // (the large transaction holds the tables to its commit): when none has
    // read a total by the last round, that round lasts until the reader
    // reads one, or 30 seconds, so readers' progress is judged over a fair
    // stretch of time rather than by the machine's load.
    if (round == SharedRounds() - 1 && totals == 0) {
      pollfd reader{children.back().fd, POLLIN, 0};
      ::poll(&reader, 1, 30000);
    }
    for (const TChild& c : children) ::kill(c.pid, SIGKILL);
    for (const TChild& c : children) {
      int status = 0;
      ::waitpid(c.pid, &status, 0);
      EXPECT_TRUE(WIFSIGNALED(status)) << "round " << round << ": a worker stopped by itself ("
                                       << WEXITSTATUS(status) << ")";
      int value = 0;
      while (::read(c.fd, &value, sizeof value) == sizeof value) {
        if (c.role == kReader) {
          ++totals;
          badTotals += value < 0;
        } else {
          reported.push_back(value);
          largeCommits += c.role == kLarge;
        }
      }
      ::close(c.fd);
    }
    TCaughtError e = CatchUdb([&] { CheckFile(dir.Native(), false, reported); });
    EXPECT_EQ(e.code, -1) << "round " << round << ": " << e.message;
    EXPECT_EQ(badTotals, 0) << "round " << round << ": a reader saw the sum changed";
    if (::testing::Test::HasFailure()) break;
  }
  done = true;
  watchdog.join();
  std::printf("%d rounds, %zu log entries committed (%d in large transactions of 40), %d totals read\n",
              SharedRounds(), reported.size(), largeCommits, totals);
  EXPECT_FALSE(reported.empty());
  EXPECT_GT(totals, 0);
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
    int status = 0;
    ForkAndKill(pipeFds, atWrite, 1000, rng, 20000, 300000, &status, [&] {
      TCatalogueWorker worker(dir.Native(), encrypted, seed, pipeFds[1]);
      if (atWrite) worker.KillAtChangeWrite(change, write);
      worker.Run();
    });
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

TEST(CrashTest, WritersReadersAndALargeTransactionAtOnceSurviveKillsAndAFullDisk) { SharedUseRounds(); }
