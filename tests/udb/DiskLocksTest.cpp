// Locks between connections of the disk manager on real files: the lock
// file beside the database, table locks through transactions, several
// running copies and exclusive opens.
#include "Udb/UdbDiskLocks.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Udb/DiskMgr.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "UdbTestSupport.h"
#include "platform/data/Fields.h"
#include "platform/core/SysInfo.h"
#include "tests/core/ScratchDir.h"

namespace {

class DiskLocksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.Native() + "/GZ.udb";
    TDiskMgr creator;
    creator.SetFileName(db_.c_str());
    creator.CreateNewFile(false);
  }
  std::unique_ptr<TDiskMgr> Connect(bool exclusive = false) {
    auto d = std::make_unique<TDiskMgr>();
    d->SetFileName(db_.c_str());
    d->SetMode(2 + (exclusive ? 16 : 64));
    d->SetLockRetryMaximum(3);
    d->SetLockRetryInterval(5);
    d->Open();
    return d;
  }
  bool LockFileExists() const { return ::access((dir_.Native() + "/GZ.lck").c_str(), F_OK) == 0; }
  // a's commit of page (0x11 before, 0x22 after) and of a new page stops
  // at its dieAt-th page write, as if the program died there: its journal
  // stays beside the file.  Returns the page.
  TUdbAddr CommitHalfWay(TDiskMgr& a, int dieAt) {
    const TUdbAddr page = a.AllocatePages(7, 1, Pages(1, 0x11).data(), 1, 1);
    a.StartTransaction();
    a.LockTable(7, kUdbWriteLock);
    a.WritePages(page, 1, Pages(1, 0x22).data(), 1, 7);
    a.AllocatePages(7, 1, Pages(1, 0x33).data(), 1, 1);
    a.File().AfterCommitWrite = [dieAt](int n) {
      if (n == dieAt) throw std::runtime_error("the program dies here");
    };
    EXPECT_THROW(a.Commit(), std::runtime_error);
    return page;
  }
  ScratchDir dir_;
  std::string db_;
};

// A second process that runs steps one at a time: after each step it tells
// the parent and waits for the parent's go before the next one.  A step
// that throws ends it with status 1.  A child not finished when this goes
// is killed.
class TStepChild {
 public:
  explicit TStepChild(std::vector<std::function<void()>> steps) {
    if (pipe(toParent_) != 0 || pipe(toChild_) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ > 0) return;
    int rc = 0;
    try {
      for (auto& step : steps) {
        step();
        (void)!write(toParent_[1], "s", 1);
        char ch;
        (void)!read(toChild_[0], &ch, 1);
      }
    } catch (...) {
      rc = 1;
    }
    _exit(rc);
  }
  ~TStepChild() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  // Waits until the child has done its next step.
  bool StepDone() {
    char ch = 0;
    return read(toParent_[0], &ch, 1) == 1;
  }
  void Go() { (void)!write(toChild_[1], "g", 1); }
  // Lets the child go on to its end; true when it ended cleanly.
  bool Finish() {
    Go();
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  int toParent_[2], toChild_[2];
  pid_t pid_ = 0;
};

}  // namespace

TEST_F(DiskLocksTest, TwoConnectionsOpenAndTheLastRemovesTheLockFile) {
  auto a = Connect();
  EXPECT_TRUE(a->LockingActive());
  EXPECT_TRUE(LockFileExists());
  auto b = Connect();  // the open range does not keep a second copy out
  a.reset();
  EXPECT_TRUE(LockFileExists());
  b.reset();
  EXPECT_FALSE(LockFileExists());
}

TEST_F(DiskLocksTest, AWriterIsRefusedWhileAnotherConnectionReads) {
  auto a = Connect();
  auto b = Connect();
  EXPECT_EQ(a->LockTable(5, kUdbReadLock), kUdbReadLock);
  EXPECT_EQ(b->LockTable(5, kUdbReadLock), kUdbReadLock);
  EXPECT_UDB_ERROR(b->LockTable(5, kUdbWriteLock), 10249);
  a->UnlockTable(5);
  EXPECT_EQ(b->LockTable(5, kUdbWriteLock), kUdbWriteLock);
  EXPECT_UDB_ERROR(a->LockTable(5, kUdbReadLock), 10249);
}

TEST_F(DiskLocksTest, InsideATransactionAWriteLockIsHeldAsReadUntilCommit) {
  auto a = Connect();
  auto b = Connect();
  a->StartTransaction();
  EXPECT_EQ(a->LockTable(7, kUdbWriteLock), kUdbReadLock);
  EXPECT_EQ(b->LockTable(7, kUdbReadLock), kUdbReadLock);  // readers still share
  b->UnlockTable(7);
  a->Commit();  // raises to a write lock, writes, releases everything
  EXPECT_EQ(b->LockTable(7, kUdbWriteLock), kUdbWriteLock);
}

TEST_F(DiskLocksTest, CommitFailsWhileAnotherConnectionStillReads) {
  auto a = Connect();
  auto b = Connect();
  a->StartTransaction();
  a->LockTable(7, kUdbWriteLock);
  b->LockTable(7, kUdbReadLock);
  a->WritePages(a->AllocatePages(7, 1, nullptr, 1, 1), 1, Pages(1, 0x5C).data(), 1, 7);
  EXPECT_UDB_ERROR(a->Commit(), 10249);
  b->UnlockTable(7);
  EXPECT_NO_THROW(a->Commit());
}

// A transaction that wrote nothing raises no lock at its end: it commits
// beside a reader.
TEST_F(DiskLocksTest, AReadingTransactionCommitsBesideAnotherReader) {
  auto a = Connect();
  auto b = Connect();
  a->StartTransaction();
  a->LockTable(7, kUdbReadLock);
  b->LockTable(7, kUdbReadLock);
  EXPECT_NO_THROW(a->Commit());
  b->UnlockTable(7);
}

TEST_F(DiskLocksTest, RollbackReleasesItsLocksEvenWhenTheHeaderIsLocked) {
  auto a = Connect();
  auto b = Connect();
  a->StartTransaction();
  a->LockTable(7, kUdbWriteLock);
  b->LockHeaderWrite();  // a's re-read of the header cannot get its lock
  EXPECT_NO_THROW(a->Rollback());
  EXPECT_FALSE(a->InTransaction());
  b->UnlockHeader();
  // a holds nothing any more: b can write the table, and a can start again.
  EXPECT_EQ(b->LockTable(7, kUdbWriteLock), kUdbWriteLock);
  b->UnlockTable(7);
  a->StartTransaction();
  EXPECT_EQ(a->LockTable(7, kUdbWriteLock), kUdbReadLock);
  a->Commit();
}

// Two transactions that both read a table and then write it: the first to
// write holds the intent to write, the second is refused at once (it rolls
// back and retries) and the first commits - nobody waits for the other
// until both time out.
TEST_F(DiskLocksTest, OfTwoWritersThatBothReadTheFirstToWriteWins) {
  auto a = Connect();
  auto b = Connect();
  a->StartTransaction();
  b->StartTransaction();
  a->LockTable(7, kUdbReadLock);
  b->LockTable(7, kUdbReadLock);
  a->LockTable(7, kUdbWriteLock);
  EXPECT_UDB_ERROR(b->LockTable(7, kUdbWriteLock), 10249);
  b->Rollback();
  a->WritePages(a->AllocatePages(7, 1, nullptr, 1, 1), 1, Pages(1, 0x5A).data(), 1, 7);
  EXPECT_NO_THROW(a->Commit());
  // The intent went with the commit: b can write now.
  b->StartTransaction();
  b->LockTable(7, kUdbWriteLock);
  EXPECT_NO_THROW(b->Commit());
}

// A committing writer holds the gate (the pending lock) until it is
// through: a connection that holds no lock yet cannot start reading
// meanwhile, so the readers the writer waits for drain.
TEST_F(DiskLocksTest, AWaitingWriterIsNotStarvedByNewReaders) {
  auto reader = Connect();
  auto writer = Connect();
  auto late = Connect();
  reader->LockTable(7, kUdbReadLock);
  writer->StartTransaction();
  writer->LockTable(7, kUdbWriteLock);  // a read lock plus the intent
  writer->WritePages(writer->AllocatePages(7, 1, nullptr, 1, 1), 1, Pages(1, 0x5B).data(), 1, 7);
  EXPECT_UDB_ERROR(writer->Commit(), 10249);  // the reader stays
  reader->UnlockTable(7);
  // The writer still holds the gate: no new reader slips in before it.
  EXPECT_UDB_ERROR(late->LockTable(7, kUdbReadLock), 10249);
  EXPECT_NO_THROW(writer->Commit());
  EXPECT_EQ(late->LockTable(7, kUdbReadLock), kUdbReadLock);
}

// A commit that has done its work waits for a reader that stays longer
// than an ordinary lock request would wait: the reader can only leave (no
// new one gets past the gate meanwhile), and the work is not thrown away.
TEST_F(DiskLocksTest, ACommitOutlastsAReaderThatStaysLongerThanTheUsualWait) {
  std::unique_ptr<TDiskMgr> c;
  TStepChild reader({[&] {
                       c = Connect();
                       c->LockTable(7, kUdbReadLock);
                     },
                     [&] {
                       Sleep(200);  // the usual wait is 3 tries 5 ms apart
                       c->UnlockTable(7);
                     }});
  ASSERT_TRUE(reader.StepDone());
  auto writer = Connect();
  writer->StartTransaction();
  writer->LockTable(7, kUdbWriteLock);
  const TUdbAddr page = writer->AllocatePages(7, 1, nullptr, 1, 1);
  writer->WritePages(page, 1, Pages(1, 0x5D).data(), 1, 7);
  reader.Go();
  EXPECT_NO_THROW(writer->Commit());
  EXPECT_TRUE(reader.Finish());
}

// Writers refused the intent are served in the order of the turns, not by
// who asks first once it is free; a turn not taken in time is passed over.
TEST_F(DiskLocksTest, WritersRefusedTheIntentAreServedInTurn) {
  auto a = Connect();
  auto b = Connect();
  auto c = Connect();
  a->StartTransaction();
  a->LockTable(7, kUdbWriteLock);  // a holds the intent
  for (TDiskMgr* late : {b.get(), c.get()}) {
    late->StartTransaction();
    late->LockTable(8, kUdbReadLock);
    EXPECT_UDB_ERROR(late->LockTable(8, kUdbWriteLock), 10249);
    late->Rollback();
  }
  a->Commit();  // hands the turn to b, the next waiting after a
  c->StartTransaction();
  EXPECT_UDB_ERROR(c->LockTable(8, kUdbWriteLock), 10249);
  c->Rollback();
  b->StartTransaction();
  EXPECT_EQ(b->LockTable(8, kUdbWriteLock), kUdbReadLock);  // with the intent
  b->Commit();  // the turn goes on to c
  c->StartTransaction();
  EXPECT_EQ(c->LockTable(8, kUdbWriteLock), kUdbReadLock);
  c->Commit();
  // c's turn passed to a connection that has stopped writing: after the
  // turn's time the others go on.
  c->StartTransaction();
  c->LockTable(7, kUdbWriteLock);
  b->StartTransaction();
  b->LockTable(9, kUdbReadLock);
  EXPECT_UDB_ERROR(b->LockTable(9, kUdbWriteLock), 10249);  // b waits for its turn
  b->Rollback();
  c->Commit();  // b's turn; b does not come back
  a->StartTransaction();
  EXPECT_UDB_ERROR(a->LockTable(7, kUdbWriteLock), 10249);  // b's turn stands
  a->Rollback();
  Sleep(kTurnPatienceMs + 20);
  a->StartTransaction();
  EXPECT_EQ(a->LockTable(7, kUdbWriteLock), kUdbReadLock);
  a->Commit();
}

// Connecting never waits for the intent (a writer's transaction may be
// long); and a connection that holds a table lock reads another table at
// once while a live writer commits with its journal beside the file: the
// writer holds the writer's mark and the write locks of the tables it
// wrote, so the journal is none of that table's business.
TEST_F(DiskLocksTest, ALiveWritersTransactionOrJournalKeepsNobodyFromOtherTables) {
  auto a = Connect();
  auto b = Connect();
  const TUdbAddr page = a->AllocatePages(7, 1, Pages(1, 0x11).data(), 1, 1);
  a->StartTransaction();
  a->LockTable(7, kUdbWriteLock);
  a->WritePages(page, 1, Pages(1, 0x22).data(), 1, 7);
  std::unique_ptr<TDiskMgr> c;
  EXPECT_NO_THROW(c = Connect());
  b->LockTable(9, kUdbReadLock);
  const std::string journal = dir_.Native() + "/GZ.jnl";
  bool seen = false;
  a->File().AfterCommitWrite = [&](int n) {
    if (n != 1) return;
    seen = ::access(journal.c_str(), F_OK) == 0;
    EXPECT_NO_THROW(b->LockTable(8, kUdbReadLock));
    EXPECT_EQ(::access(journal.c_str(), F_OK), 0) << "the live writer's journal was taken";
    b->UnlockTable(8);
  };
  a->Commit();
  EXPECT_TRUE(seen);
  EXPECT_NE(::access(journal.c_str(), F_OK), 0);
  b->UnlockTable(9);
}

// A journal whose writer died while another connection holds the intent
// (it has just taken it and not yet restored the file, or could not):
// nothing is read beside it - a lock waits, and fails after the usual
// wait - until it is restored.
TEST_F(DiskLocksTest, NothingIsReadBesideAJournalNobodyHasRestoredYet) {
  auto a = Connect();
  auto b = Connect();
  const TUdbAddr page = CommitHalfWay(*a, 2);
  a->Close();  // half the commit in the file, its journal beside it
  std::vector<std::uint8_t> back(4096);
  {
    // Another connection holds the intent (its first byte in the lock file).
    int fd = ::open((dir_.Native() + "/GZ.lck").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    TFileHandle other(fd);
    ASSERT_TRUE(other.TryLock(kTableLockBase + kWriteIntentLockId * kTableLockRegion, 1));
    EXPECT_UDB_ERROR(b->LockTable(7, kUdbReadLock), 10249);
    EXPECT_EQ(::access((dir_.Native() + "/GZ.jnl").c_str(), F_OK), 0);
  }
  b->LockTable(7, kUdbReadLock);  // the intent is free: b restores first
  EXPECT_NE(::access((dir_.Native() + "/GZ.jnl").c_str(), F_OK), 0);
  b->ReadPages(page, 1, back.data(), 1, 7);
  EXPECT_EQ(back, Pages(1, 0x11));
  b->UnlockTable(7);
}

// A journal is another connection's own while that connection holds the
// intent to write; once it is gone (closed in the middle of its commit, as
// a killed program), the next lock taken restores the file first.
TEST_F(DiskLocksTest, AHotJournalIsRestoredByTheNextLockOnceItsWriterIsGone) {
  auto a = Connect();
  auto b = Connect();
  const TUdbAddr page = CommitHalfWay(*a, 1);
  std::vector<std::uint8_t> back(4096);
  const std::string journal = dir_.Native() + "/GZ.jnl";
  ASSERT_EQ(::access(journal.c_str(), F_OK), 0);
  // The writer still lives: its journal is left alone.
  EXPECT_FALSE(b->RecoverJournal());
  EXPECT_EQ(::access(journal.c_str(), F_OK), 0);
  a->Close();
  EXPECT_EQ(::access(journal.c_str(), F_OK), 0);
  b->LockTable(7, kUdbReadLock);
  EXPECT_NE(::access(journal.c_str(), F_OK), 0);
  b->ReadPages(page, 1, back.data(), 1, 7);
  EXPECT_EQ(back, Pages(1, 0x11));
  b->UnlockTable(7);
}

TEST_F(DiskLocksTest, AnExclusiveConnectionKeepsOthersOut) {
  auto a = Connect(/*exclusive=*/true);
  TCaughtError e = CatchUdb([&] { Connect(); });
  EXPECT_NE(e.code, -1) << "a second connection opened an exclusively held file";
  a.reset();
  EXPECT_NO_THROW(Connect());
}

TEST_F(DiskLocksTest, ConnectionsInTwoProcessesExcludeEachOther) {
  std::unique_ptr<TDiskMgr> c;
  TStepChild child({[&] {
    c = Connect();
    c->LockTable(9, kUdbWriteLock);
  }});
  ASSERT_TRUE(child.StepDone());
  auto a = Connect();
  EXPECT_UDB_ERROR(a->LockTable(9, kUdbReadLock), 10249);
  EXPECT_TRUE(child.Finish());
  EXPECT_EQ(a->LockTable(9, kUdbWriteLock), kUdbWriteLock);
}

// Records a transaction changed - several to a page, so that it locks the
// pages whole - stay locked for another connection until the transaction
// ends, whichever way it ends; records of other pages stay free meanwhile.
TEST_F(DiskLocksTest, RecordsATransactionChangedStayLockedForOthersUntilItEnds) {
  constexpr int kPage = 4096;
  std::vector<int> changed;
  for (int page = 20; page < 23; ++page)
    for (int k = 0; k < 12; ++k) changed.push_back(page * kPage + k * 300);
  const int unchangedOfAPage = 21 * kPage + 4000;
  const int ofAnotherPage = 23 * kPage + 1;
  for (bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    auto a = Connect();
    auto b = Connect();
    a->StartTransaction();
    for (int r : changed) EXPECT_EQ(a->LockRecord(r), kUdbWriteLock);
    for (int r : {changed.front(), changed[12], changed.back(), unchangedOfAPage})
      EXPECT_UDB_ERROR(b->LockRecord(r), 10249);
    EXPECT_EQ(b->LockRecord(ofAnotherPage), kUdbWriteLock);
    b->UnlockRecord(ofAnotherPage);
    a->UnlockRecord(changed.front());  // inside a transaction: kept
    EXPECT_UDB_ERROR(b->LockRecord(changed.front()), 10249);
    if (commit)
      a->Commit();
    else
      a->Rollback();
    for (int r : changed) {
      EXPECT_EQ(b->LockRecord(r), kUdbWriteLock) << r;
      b->UnlockRecord(r);
    }
    // a starts afresh: outside a transaction one record is one byte.
    EXPECT_EQ(a->LockRecord(changed[1]), kUdbWriteLock);
    EXPECT_EQ(b->LockRecord(changed[2]), kUdbWriteLock);
  }
}

// A transaction that changes one record on each of many pages (more than
// it locks one by one): every changed record stays locked for the other
// connection until the end, records of the pages it did not touch stay
// free, and everything is free again after the commit or the rollback.
TEST_F(DiskLocksTest, ScatteredRecordsOfABigTransactionStayLockedAndOthersStayFree) {
  constexpr int kPage = 4096;
  constexpr int kPages = 2 * kRecordCrowdLimit;
  auto changed = [](int k) { return (40 + 2 * k) * kPage + 100 + k % 7; };
  auto untouched = [](int k) { return (41 + 2 * k) * kPage + 100; };
  for (bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    auto a = Connect();
    auto b = Connect();
    a->StartTransaction();
    for (int k = 0; k < kPages; ++k) EXPECT_EQ(a->LockRecord(changed(k)), kUdbWriteLock);
    for (int k : {0, 1, kRecordCrowdLimit - 1, kRecordCrowdLimit, kPages - 1}) {
      EXPECT_UDB_ERROR(b->LockRecord(changed(k)), 10249);
      EXPECT_EQ(b->LockRecord(untouched(k)), kUdbWriteLock) << k;
      b->UnlockRecord(untouched(k));
    }
    if (commit)
      a->Commit();
    else
      a->Rollback();
    for (int k = 0; k < kPages; ++k) {
      ASSERT_EQ(b->LockRecord(changed(k)), kUdbWriteLock) << k;
      b->UnlockRecord(changed(k));
    }
  }
}

TEST_F(DiskLocksTest, RecordsATransactionOfAnotherProcessChangedAreLockedUntilItCommits) {
  constexpr int kFirst = 30 * 4096;
  std::unique_ptr<TDiskMgr> c;
  TStepChild child({[&] {
                      c = Connect();
                      c->StartTransaction();
                      for (int k = 0; k < 50; ++k) c->LockRecord(kFirst + k * 200);
                    },
                    [&] { c->Commit(); }});
  ASSERT_TRUE(child.StepDone());
  auto a = Connect();
  for (int k : {0, 1, 25, 49}) EXPECT_UDB_ERROR(a->LockRecord(kFirst + k * 200), 10249);
  child.Go();
  ASSERT_TRUE(child.StepDone());
  for (int k : {0, 1, 25, 49}) EXPECT_EQ(a->LockRecord(kFirst + k * 200), kUdbWriteLock);
  EXPECT_TRUE(child.Finish());
}

namespace {

// Connections of the table tests: a short lock wait, so a refusal comes
// at once.
void ConnectQuickly(TUdbDataBase& db, const ScratchDir& dir) {
  db.SetDirectory(AnsiString(dir.Native()));
  db.SetDataBaseName("GZ.udb");
  db.SetLockRetryMaximum(2);
  db.SetLockRetryInterval(5);
}

// A table "gzk" of rows whose key field counts 0, step, 2 step, ... and
// whose F01 is 0, with the index "PK" of those options on the key, or none.
void MakeGzk(TUdbDataBase& db, const char* key, int rows, int step, std::optional<TIndexOptions> pk) {
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName("gzk");
  t.FieldDefs()->Add(key, ftInteger);
  t.FieldDefs()->Add("F01", ftFloat);
  if (pk) t.IndexDefs()->Add("PK", key, *pk);
  t.CreateTable();
  t.Open();
  for (int i = 0; i < rows; ++i) {
    t.Append();
    t.FieldByName(key)->SetAsInteger(i * step);
    t.FieldByName("F01")->SetAsFloat(0);
    t.Post();
  }
}

}  // namespace

// The same through tables: rows a transaction changed cannot be edited by
// another connection until it commits or rolls back.
TEST(DiskLocksTables, RowsATransactionChangedCannotBeEditedElsewhereUntilItEnds) {
  ScratchDir dir;
  auto connect = [&](TUdbDataBase& db) { ConnectQuickly(db, dir); };
  constexpr int kRows = 200;
  TUdbDataBase a;
  connect(a);
  a.CreateDatabase();
  a.SetConnected(true);
  MakeGzk(a, "ZGBH", kRows, 1, std::nullopt);
  TUdbDataBase b;
  connect(b);
  b.SetConnected(true);
  TUdbTable tb;
  tb.SetDataBase(&b);
  tb.SetTableName("gzk");
  tb.Open();
  for (bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    TUdbTable ta;
    ta.SetDataBase(&a);
    ta.SetTableName("gzk");
    ta.Open();
    a.StartTransaction();
    for (ta.First(); !ta.Eof(); ta.Next()) {
      ta.Edit();
      ta.FieldByName("F01")->SetAsFloat(commit ? 125.5 : 999);
      ta.Post();
    }
    for (int row : {1, 2, kRows / 2, kRows}) {
      tb.SetRecNo(row);
      EXPECT_UDB_ERROR(tb.Edit(), 10249);
      tb.Cancel();
    }
    if (commit)
      a.Commit();
    else
      a.Rollback();
    for (int row : {1, 2, kRows / 2, kRows}) {
      tb.Refresh();
      tb.SetRecNo(row);
      tb.Edit();  // the row is free again
      EXPECT_DOUBLE_EQ(tb.FieldByName("F01")->AsFloat(), 125.5);  // as committed
      tb.Cancel();
    }
  }
}

// Between one connection's Edit and its Post, another changes the table
// around the row (rows inserted before it, its neighbours deleted) or tries
// the row itself (refused: it is locked).  The post still writes that very
// row and nothing else, and the walk goes on from it to its next row.
TEST(DiskLocksTables, APostWritesItsOwnRowWhateverAnotherConnectionDidMeanwhile) {
  ScratchDir dir;
  auto connect = [&](TUdbDataBase& db) { ConnectQuickly(db, dir); };
  TUdbDataBase a;
  connect(a);
  a.CreateDatabase();
  a.SetConnected(true);
  MakeGzk(a, "ID", 100, 10, TIndexOptions() << ixUnique);
  TUdbDataBase b;
  connect(b);
  b.SetConnected(true);
  TUdbTable tb;
  tb.SetDataBase(&b);
  tb.SetTableName("gzk");
  tb.SetIndexName("PK");
  tb.Open();
  auto locate = [](TUdbTable& t, int id) { return t.Locate("ID", Variant(id), TLocateOptions()); };
  struct TCase {
    const char* name;
    std::function<void()> meanwhile;
    int next;  // the row after 500 once the other connection is done
  };
  const std::vector<TCase> cases = {
      {"nothing", [] {}, 510},
      {"rows inserted before it",
       [&] {
         for (int id = 1; id <= 5; ++id) {
           tb.Append();
           tb.FieldByName("ID")->SetAsInteger(id);
           tb.Post();
         }
       },
       510},
      {"its neighbours deleted",
       [&] {
         for (int id : {490, 510}) {
           ASSERT_TRUE(locate(tb, id));
           tb.Delete();
         }
       },
       520},
      {"its own row tried",
       [&] {
         ASSERT_TRUE(locate(tb, 500));
         EXPECT_UDB_ERROR(tb.Edit(), 10249);
         tb.Cancel();
       },
       520},
  };
  double marker = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    marker += 1;
    TUdbTable ta;
    ta.SetDataBase(&a);
    ta.SetTableName("gzk");
    ta.SetIndexName("PK");
    ta.Open();
    for (ta.First(); ta.FieldByName("ID")->AsInteger() < 500; ta.Next()) {
    }
    ta.Edit();
    c.meanwhile();
    ta.FieldByName("F01")->SetAsFloat(marker);
    ta.Post();
    EXPECT_EQ(ta.FieldByName("ID")->AsInteger(), 500);
    ta.Next();
    EXPECT_EQ(ta.FieldByName("ID")->AsInteger(), c.next);
    tb.Refresh();
    int marked = 0;
    for (tb.First(); !tb.Eof(); tb.Next())
      if (tb.FieldByName("F01")->AsFloat() == marker) {
        ++marked;
        EXPECT_EQ(tb.FieldByName("ID")->AsInteger(), 500);
      }
    EXPECT_EQ(marked, 1);
  }
}

// A transaction keeps its table locks, and under a lock it held all along a
// cursor trusts the header it has instead of reading it again.  Nobody else
// can change the table meanwhile; what the connection changes itself, and
// what another connection changes once the locks are gone, is read.
TEST(DiskLocksTables, ATransactionsReadsSeeItsOwnChangesAndOthersOnceItsLocksAreGone) {
  ScratchDir dir;
  auto connect = [&](TUdbDataBase& db) { ConnectQuickly(db, dir); };
  TUdbDataBase a;
  connect(a);
  a.CreateDatabase();
  a.SetConnected(true);
  auto open = [](TUdbDataBase& db, TUdbTable& t) {
    t.SetDataBase(&db);
    t.SetTableName("gzk");
    t.Open();
  };
  MakeGzk(a, "ZGBH", 10, 1, TIndexOptions() << ixPrimary);
  TUdbDataBase b;
  connect(b);
  b.SetConnected(true);
  TUdbTable ta, ta2, tb;
  open(a, ta);
  open(a, ta2);
  open(b, tb);
  auto f01 = [](TUdbTable& t, int key) {
    EXPECT_TRUE(t.FindKey({Variant(key)}));
    return t.FieldByName("F01")->AsFloat();
  };
  auto set = [](TUdbTable& t, int key, double value) {
    ASSERT_TRUE(t.FindKey({Variant(key)}));
    t.Edit();
    t.FieldByName("F01")->SetAsFloat(value);
    t.Post();
  };

  a.StartTransaction();
  EXPECT_EQ(f01(ta, 3), 0);
  EXPECT_UDB_ERROR(set(tb, 3, 5), 10249);  // a's read lock keeps the table as it is
  tb.Cancel();
  set(ta2, 3, 7);  // the same connection through another cursor
  EXPECT_EQ(f01(ta, 3), 7);
  EXPECT_EQ(f01(ta, 4), 0);
  set(ta, 4, 8);
  EXPECT_EQ(f01(ta2, 4), 8);
  a.Commit();

  for (int round = 0; round < 2; ++round) {
    set(tb, 4, 9 + round);  // between a's transactions
    a.StartTransaction();
    EXPECT_EQ(f01(ta, 4), 9 + round);
    EXPECT_EQ(f01(ta, 3), 7);
    EXPECT_EQ(f01(ta, 4), 9 + round);
    a.Commit();
  }

  a.StartTransaction();
  set(ta, 6, 1);
  EXPECT_EQ(f01(ta, 6), 1);
  a.Rollback();
  EXPECT_EQ(f01(ta, 6), 0);
  EXPECT_EQ(f01(tb, 6), 0);
  set(tb, 6, 2);
  a.StartTransaction();
  EXPECT_EQ(f01(ta, 6), 2);
  EXPECT_EQ(f01(ta, 5), 0);
  EXPECT_EQ(f01(ta, 6), 2);
  a.Commit();
}

// Two tables whose pages alternate in the file: a transaction that changes
// every row of one locks its pages whole and joins them where only index
// pages lie between - never across a page of the other table, whose rows
// another connection goes on editing meanwhile.
TEST(DiskLocksTables, ATransactionNeverLocksRowsOfAnotherTableBetweenItsPages) {
  ScratchDir dir;
  auto connect = [&](TUdbDataBase& db) { ConnectQuickly(db, dir); };
  TUdbDataBase a;
  connect(a);
  a.CreateDatabase();
  a.SetConnected(true);
  TUdbTable tables[2];
  for (int i = 0; i < 2; ++i) {
    TUdbTable& t = tables[i];
    t.SetDataBase(&a);
    t.SetTableName(i == 0 ? "gzk" : "bm");
    t.FieldDefs()->Add("ID", ftInteger);
    t.FieldDefs()->Add("TXT", ftString, 200);
    t.IndexDefs()->Add("PK", "ID", TIndexOptions());
    t.CreateTable();
    t.Open();
  }
  // Rounds of a few pages each, so that the tables' pages alternate.
  for (int round = 0, id = 0; round < 8; ++round)
    for (TUdbTable& t : tables)
      for (int k = 0; k < 40; ++k, ++id) {
        t.Append();
        t.FieldByName("ID")->SetAsInteger(id);
        t.FieldByName("TXT")->SetAsString(std::string(150, 'a' + round));
        t.Post();
      }
  TUdbDataBase b;
  connect(b);
  b.SetConnected(true);
  TUdbTable other;
  other.SetDataBase(&b);
  other.SetTableName("bm");
  other.Open();
  a.StartTransaction();
  TUdbTable& gzk = tables[0];
  for (gzk.First(); !gzk.Eof(); gzk.Next()) {
    gzk.Edit();
    gzk.FieldByName("TXT")->SetAsString("changed");
    gzk.Post();
  }
  int edited = 0;
  for (other.First(); !other.Eof(); other.Next()) {
    EXPECT_NO_THROW({
      other.Edit();
      other.Cancel();
      ++edited;
    }) << other.FieldByName("ID")->AsInteger();
  }
  EXPECT_EQ(edited, 320);
  a.Commit();
}

// --- the map under the intent to write ---------------------------------------------------

namespace {

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Allocations over three map pages, frees inside runs and of whole tables,
// reuse of freed pages, a transaction rolled back: the steps of one
// connection, each transaction's writes under a write lock (the intent).
void MapWork(TDiskMgr& d) {
  const int e = udbfmt::MapEntriesPerPage(4096);
  auto tx = [&](const std::function<void()>& work, bool commit = true) {
    d.StartTransaction();
    d.LockTable(7, kUdbWriteLock);
    work();
    if (commit) d.Commit(); else d.Rollback();
  };
  std::vector<TUdbAddr> got;
  tx([&] {
    for (int i = 0; i < 30; ++i) got.push_back(d.AllocatePages(static_cast<std::uint16_t>(7 + i % 2), 1, nullptr, 1, 1));
    got.push_back(d.AllocatePages(7, 1, nullptr, e - 40, 2));
    got.push_back(d.AllocatePages(8, 1, nullptr, 50, 2));  // across into the second map page
  });
  tx([&] {
    for (int i = 0; i < 30; i += 3) d.FreePages(got[static_cast<size_t>(i)], 1);
    got.push_back(d.AllocatePages(9, 1, nullptr, e - 10, 3));  // into the third
    got.push_back(d.AllocatePages(9, 1, nullptr, 2, 3));       // freed pages of the first
  });
  tx([&] { d.AllocatePages(10, 1, nullptr, 900, 1); }, false);
  tx([&] {
    d.FreeTablePages(8, 0, false);
    for (int i = 0; i < 12; ++i) got.push_back(d.AllocatePages(11, 1, nullptr, 1 + i % 3, 1));
    got.push_back(d.AllocatePages(11, 1, nullptr, 300, 1));
  });
}

}  // namespace

// A connection that holds the intent keeps the map pages it reads instead
// of reading them again: what it writes is what a connection without locks
// (which reads every map page afresh) writes for the same steps.
TEST_F(DiskLocksTest, AWriterKeepingTheMapUnderItsIntentWritesWhatOneReadingItAfreshWrites) {
  TMemDatabase unlocked("test.udb", false);
  unlocked.Bytes() = FileBytes(db_);  // the same new file on both sides
  unlocked.Reopen();
  ASSERT_FALSE(unlocked.disk->LockingActive());
  MapWork(*unlocked.disk);
  unlocked.disk->Close();
  {
    auto d = Connect();
    ASSERT_TRUE(d->LockingActive());
    MapWork(*d);
  }
  const std::vector<std::uint8_t> file = FileBytes(db_);
  ASSERT_EQ(file.size(), unlocked.Bytes().size());
  EXPECT_TRUE(file == unlocked.Bytes());
}

// Between two transactions of one connection another connection changes
// the map (it frees a page of the first one's and takes it, appends pages):
// the first one's next allocation must see that, not the map it kept.
TEST_F(DiskLocksTest, AWriterSeesTheMapAnotherConnectionChangedSinceItsLastTransaction) {
  auto a = Connect();
  auto b = Connect();
  std::vector<TUdbAddr> mine, theirs;
  for (int round = 0; round < 3; ++round) {
    a->StartTransaction();
    a->LockTable(7, kUdbWriteLock);
    for (int i = 0; i < 4; ++i) mine.push_back(a->AllocatePages(7, 1, nullptr, 1, 1));
    a->Commit();
    b->StartTransaction();
    b->LockTable(8, kUdbWriteLock);
    b->FreePages(mine.back(), 1);
    mine.pop_back();
    theirs.push_back(b->AllocatePages(8, 1, nullptr, 1, 1));  // the page just freed
    theirs.push_back(b->AllocatePages(8, 1, nullptr, 3, 1));
    b->Commit();
  }
  auto c = Connect();
  c->LockHeaderRead();
  for (TUdbAddr p : mine) EXPECT_EQ(c->MapPages().EntryOf(p), 7 * 16 + 1) << p;
  for (TUdbAddr p : theirs) EXPECT_EQ(c->MapPages().EntryOf(p), 8 * 16 + 1) << p;
  std::vector<TUdbAddr> all = mine;
  all.insert(all.end(), theirs.begin(), theirs.end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());  // no page handed out twice
  c->UnlockHeader();
}

TEST(DiskLocksDefault, FilesWithoutADescriptorRunUnlocked) {
  TMemDatabase db;  // an in-memory file system: nothing the kernel can lock
  EXPECT_FALSE(db.disk->LockingActive());
  EXPECT_EQ(db.disk->LockTable(5, kUdbWriteLock), kUdbWriteLock);
}

TEST_F(DiskLocksTest, TheSystemsBackslashPathsNameTheSameFiles) {
  std::string windowsStyle = db_;
  for (char& c : windowsStyle)
    if (c == '/') c = '\\';
  TDiskMgr d;
  d.SetFileName(windowsStyle.c_str());
  d.Open();
  EXPECT_TRUE(d.LockingActive());
  EXPECT_TRUE(LockFileExists());  // GZ.lck beside GZ.udb
  d.Close();
  EXPECT_FALSE(LockFileExists());
}
