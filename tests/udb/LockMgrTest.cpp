// Table and record locks between connections: two handles on one lock file
// conflict exactly as two processes do, and forked processes show it too.
#include "Udb/LockMgr.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "Udb/UdbErrors.h"
#include "platform/core/FileLocks.h"
#include "tests/core/ScratchDir.h"

namespace {

class LockMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.Native() + "/GZ.lck";
    a_ = Open();
    b_ = Open();
  }
  TFileHandle Open() {
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT, 0666);
    return TFileHandle(fd);
  }
  // Table managers in tests give up quickly.
  static void Quick(TWinLockMgr& m) {
    m.SetRetryMaximum(3);
    m.SetRetryInterval(5);
    m.SetReadLockFailureText("A read lock could not be obtained on the table");
    m.SetWriteLockFailureText("A write lock could not be obtained on the table");
  }
  ScratchDir dir_;
  std::string path_;
  TFileHandle a_, b_;
};

int ErrorCodeOf(const std::function<void()>& f, AnsiString* message = nullptr) {
  try {
    f();
  } catch (const EUdbDatabaseError& e) {
    if (message) *message = e.Message();
    return e.ErrorCode();
  }
  return 0;
}

}  // namespace

TEST_F(LockMgrTest, RegionsLieWhereTheLockFileReservesThem) {
  TWinLockMgr tables(&a_, kTableLockBase, kTableLockRegion);
  TWinLockMgr records(&a_, kRecordLockBase, kRecordLockRegion);
  EXPECT_EQ(tables.RegionStart(0), 0x800000);
  EXPECT_EQ(tables.RegionStart(2048) + kTableLockRegion - 1, 0x1801FFF);
  EXPECT_EQ(records.RegionStart(77), 0x2000000 + 77);
  // A write lock of the header covers exactly 0x800000..0x801FFF.
  EXPECT_EQ(tables.SetWriteLock(0, 0), kLockWrite);
  EXPECT_TRUE(b_.IsLockedByOther(0x800000, 1));
  EXPECT_TRUE(b_.IsLockedByOther(0x801FFF, 1));
  EXPECT_FALSE(b_.IsLockedByOther(0x802000, 1));
}

TEST_F(LockMgrTest, ReadersShareAndAWriterIsRefusedAfterTheRetries) {
  TWinLockMgr ra(&a_, kTableLockBase, kTableLockRegion);
  Quick(ra);
  TWinLockMgr rb(&b_, kTableLockBase, kTableLockRegion);
  Quick(rb);
  EXPECT_TRUE(ra.SetReadLock(5, 1));
  EXPECT_TRUE(rb.SetReadLock(5, 1));
  TFileHandle c = Open();
  TWinLockMgr wc(&c, kTableLockBase, kTableLockRegion);
  Quick(wc);
  AnsiString message;
  EXPECT_EQ(ErrorCodeOf([&] { wc.SetWriteLock(5, 0); }, &message), 10249);
  EXPECT_NE(message.Pos("A write lock could not be obtained on the table"), 0);
  EXPECT_EQ(wc.LockTypeOf(5), 0);
  // Other tables are not affected.
  EXPECT_EQ(wc.SetWriteLock(6, 0), kLockWrite);
}

TEST_F(LockMgrTest, AWriterExcludesReaders) {
  TWinLockMgr wa(&a_, kTableLockBase, kTableLockRegion);
  Quick(wa);
  TWinLockMgr rb(&b_, kTableLockBase, kTableLockRegion);
  Quick(rb);
  EXPECT_EQ(wa.SetWriteLock(5, 0), kLockWrite);
  EXPECT_EQ(ErrorCodeOf([&] { rb.SetReadLock(5, 1); }), 10249);
  wa.Unlock(5);
  EXPECT_TRUE(rb.SetReadLock(5, 1));
}

TEST_F(LockMgrTest, UpgradeMakesThreePiecesThatReadAsWriteAndUnlockTogether) {
  TWinLockMgr ma(&a_, kTableLockBase, kTableLockRegion);
  Quick(ma);
  ASSERT_TRUE(ma.SetReadLock(5, 1));
  EXPECT_EQ(ma.SetWriteLock(5, 0), kLockWrite);
  EXPECT_EQ(ma.LockTypeOf(5), kLockWrite);
  // The whole region is held: every byte is refused to the other handle.
  std::int64_t start = ma.RegionStart(5);
  EXPECT_FALSE(b_.TryLock(start, 1));
  EXPECT_FALSE(b_.TryLock(start + kTableLockRegion - 1, 1));
  EXPECT_GE(ma.Items().size(), 2u);
  ma.Unlock(5);
  EXPECT_TRUE(ma.Items().empty());
  EXPECT_TRUE(b_.TryLock(start, kTableLockRegion));
}

TEST_F(LockMgrTest, ReadRequestWhileHoldingTheWriteLockIsAnsweredAtOnce) {
  TWinLockMgr ma(&a_, kTableLockBase, kTableLockRegion);
  Quick(ma);
  ma.SetRetryMaximum(50);
  ma.SetRetryInterval(200);  // a try against our own bytes would take ten seconds
  ASSERT_EQ(ma.SetWriteLock(5, 0), kLockWrite);
  EXPECT_TRUE(ma.SetReadLock(5, 1));
  EXPECT_EQ(ma.LockTypeOf(5), kLockWrite);
  EXPECT_EQ(ma.Items().size(), 1u);
}

TEST_F(LockMgrTest, FailedUpgradeKeepsTheReadLock) {
  TWinLockMgr ma(&a_, kTableLockBase, kTableLockRegion);
  Quick(ma);
  TWinLockMgr mb(&b_, kTableLockBase, kTableLockRegion);
  Quick(mb);
  ASSERT_TRUE(ma.SetReadLock(5, 1));
  ASSERT_TRUE(mb.SetReadLock(5, 1));
  EXPECT_EQ(ErrorCodeOf([&] { ma.SetWriteLock(5, 0); }), 10249);
  EXPECT_EQ(ma.LockTypeOf(5), kLockRead);
  mb.Unlock(5);
  EXPECT_EQ(ma.SetWriteLock(5, 0), kLockWrite);
}

TEST_F(LockMgrTest, UpgradeAllRaisesEveryHeldLock) {
  TWinLockMgr ma(&a_, kTableLockBase, kTableLockRegion);
  Quick(ma);
  ASSERT_TRUE(ma.SetReadLock(3, 1));
  ASSERT_TRUE(ma.SetReadLock(4, 1));
  ma.UpgradeAll();
  EXPECT_EQ(ma.LockTypeOf(3), kLockWrite);
  EXPECT_EQ(ma.LockTypeOf(4), kLockWrite);
  ma.ReleaseAll();
  EXPECT_TRUE(b_.TryLock(ma.RegionStart(3), 2 * kTableLockRegion));
}

TEST_F(LockMgrTest, RecordLocksAreOneByte) {
  TWinLockMgr ra(&a_, kRecordLockBase, kRecordLockRegion);
  TWinLockMgr rb(&b_, kRecordLockBase, kRecordLockRegion);
  rb.SetRetryMaximum(2);
  rb.SetRetryInterval(1);
  rb.SetWriteLockFailureText("A lock could not be obtained on the record");
  EXPECT_EQ(ra.SetWriteLock(10, 0), kLockWrite);
  AnsiString message;
  EXPECT_EQ(ErrorCodeOf([&] { rb.SetWriteLock(10, 0); }, &message), 10249);
  EXPECT_NE(message.Pos("A lock could not be obtained on the record"), 0);
  EXPECT_EQ(rb.SetWriteLock(11, 0), kLockWrite);
}

TEST_F(LockMgrTest, ProcessesShareReadLocksAndExcludeAWriterUntilTheReaderLeaves) {
  int toChild[2], toParent[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(toParent), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    TFileHandle h(::open(path_.c_str(), O_RDWR));
    TWinLockMgr m(&h, kTableLockBase, kTableLockRegion);
    bool ok = m.SetReadLock(5, 1);
    char c = ok ? 'r' : 'x';
    (void)!write(toParent[1], &c, 1);
    (void)!read(toChild[0], &c, 1);  // hold until told
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(toParent[0], &c, 1), 1);
  ASSERT_EQ(c, 'r');
  TWinLockMgr ma(&a_, kTableLockBase, kTableLockRegion);
  Quick(ma);
  EXPECT_TRUE(ma.SetReadLock(5, 1));               // readers in parallel
  EXPECT_EQ(ErrorCodeOf([&] { ma.SetWriteLock(5, 0); }), 10249);  // excluded
  (void)!write(toChild[1], "g", 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(ma.SetWriteLock(5, 0), kLockWrite);  // the reader left
}

// Blocks: a record manager that counts towards pages of 4096 record ids.
class RecordBlockTest : public LockMgrTest {
 protected:
  static constexpr std::int64_t kPage = 4096;
  static std::int64_t Byte(std::int64_t id) { return kRecordLockBase + id; }
  void Escalating(TWinLockMgr& m) {
    m.SetEscalation(kPage, 2);
    m.SetRetryMaximum(2);
    m.SetRetryInterval(1);
  }
};

TEST_F(RecordBlockTest, TheSecondCountedLockOfAPageLocksThePageWholeUntilReleaseAll) {
  TWinLockMgr ra(&a_, kRecordLockBase, kRecordLockRegion);
  Escalating(ra);
  const std::int64_t page = 3 * kPage;
  EXPECT_EQ(ra.SetWriteLock(page + 40, 0, true), kLockWrite);
  EXPECT_EQ(ra.BlocksHeld(), 0u);
  EXPECT_FALSE(b_.IsLockedByOther(Byte(page + 41), 1));
  EXPECT_EQ(ra.SetWriteLock(page + 400, 0, true), kLockWrite);
  EXPECT_EQ(ra.BlocksHeld(), 1u);
  // Every record of the page is locked for others, the first one included.
  for (std::int64_t id : {page, page + 40, page + 41, page + 400, page + kPage - 1})
    EXPECT_TRUE(b_.IsLockedByOther(Byte(id), 1)) << id;
  EXPECT_FALSE(b_.IsLockedByOther(Byte(page + kPage), 1));
  EXPECT_FALSE(b_.IsLockedByOther(Byte(page - 1), 1));
  // Further records of the page need no call to the system.
  const size_t ranges = a_.HeldRanges().size();
  EXPECT_EQ(ra.SetWriteLock(page + 800, 0, true), kLockWrite);
  EXPECT_EQ(ra.LockTypeOf(page + 800), kLockWrite);
  EXPECT_EQ(a_.HeldRanges().size(), ranges);
  // Unlocking one record forgets it but keeps the page locked.
  ra.Unlock(page + 40);
  EXPECT_EQ(ra.LockTypeOf(page + 40), 0);
  EXPECT_TRUE(b_.IsLockedByOther(Byte(page + 40), 1));
  ra.ReleaseAll();
  EXPECT_EQ(ra.BlocksHeld(), 0u);
  EXPECT_FALSE(b_.IsLockedByOther(Byte(page), kPage));
  EXPECT_TRUE(a_.HeldRanges().empty());
}

// The index of held objects against a model: random write, read and
// unlock requests on ids of a few pages (most of them covered by their
// page, some of another connection's page and so locked one by one),
// through growth, removals that move entries back, and ReleaseAll.
TEST_F(RecordBlockTest, LockTypesFollowAModelThroughRandomRequests) {
  TWinLockMgr ra(&a_, kRecordLockBase, kRecordLockRegion);
  Escalating(ra);
  TWinLockMgr rb(&b_, kRecordLockBase, kRecordLockRegion);
  Escalating(rb);
  ASSERT_EQ(rb.SetWriteLock(5 * kPage + 7, 0), kLockWrite);  // page 5 stays record by record for ra
  std::mt19937 rng(20261211);
  std::map<std::int64_t, int> model;
  int steps = 0;
  for (int round = 0; round < 3; ++round) {
    for (int step = 0; step < 6000; ++step, ++steps) {
      const std::int64_t id = static_cast<std::int64_t>(rng() % 6) * kPage + static_cast<std::int64_t>(rng() % 700) * 5;
      if (id == 5 * kPage + 7) continue;
      switch (rng() % 4) {
        case 0:
        case 1:
          ASSERT_EQ(ra.SetWriteLock(id, 0, true), kLockWrite);
          model[id] = kLockWrite;
          break;
        case 2:
          ASSERT_TRUE(ra.SetReadLock(id, 1));
          model.emplace(id, kLockRead);
          if (ra.BlockCovers(id)) model[id] = kLockWrite;
          break;
        default:
          ra.Unlock(id);
          model.erase(id);
      }
      if (step % 500 == 0)
        for (std::int64_t probe = 0; probe < 6 * kPage; probe += 5) {
          auto it = model.find(probe);
          ASSERT_EQ(ra.LockTypeOf(probe), it == model.end() ? 0 : it->second) << "id " << probe << " step " << steps;
        }
    }
    for (const auto& [id, type] : model) ASSERT_EQ(ra.LockTypeOf(id), type) << id;
    ra.ReleaseAll();
    model.clear();
    for (std::int64_t probe = 0; probe < 6 * kPage; probe += 5) ASSERT_EQ(ra.LockTypeOf(probe), 0);
    EXPECT_TRUE(a_.HeldRanges().empty());
  }
}

TEST_F(RecordBlockTest, LocksNotCountedNeverLockThePage) {
  TWinLockMgr ra(&a_, kRecordLockBase, kRecordLockRegion);
  Escalating(ra);
  for (std::int64_t id = 0; id < 10; ++id) ra.SetWriteLock(kPage + id * 100, 0);
  EXPECT_EQ(ra.BlocksHeld(), 0u);
  EXPECT_FALSE(b_.IsLockedByOther(Byte(kPage + 50), 1));
  ra.Unlock(kPage + 100);
  EXPECT_FALSE(b_.IsLockedByOther(Byte(kPage + 100), 1));
  EXPECT_TRUE(b_.IsLockedByOther(Byte(kPage + 200), 1));
}

// A record of the page that another connection holds keeps the page from
// being taken: the records then keep their own bytes, the other's lock is
// untouched, and the page is taken once the other lets go.
TEST_F(RecordBlockTest, APageWithAnotherConnectionsRecordStaysRecordByRecord) {
  TWinLockMgr ra(&a_, kRecordLockBase, kRecordLockRegion);
  Escalating(ra);
  TWinLockMgr rb(&b_, kRecordLockBase, kRecordLockRegion);
  Escalating(rb);
  ASSERT_EQ(rb.SetWriteLock(kPage + 7, 0), kLockWrite);
  for (std::int64_t id = 1; id <= 3; ++id) ra.SetWriteLock(kPage + id * 100, 0, true);
  EXPECT_EQ(ra.BlocksHeld(), 0u);
  EXPECT_EQ(ErrorCodeOf([&] { rb.SetWriteLock(kPage + 100, 0); }), 10249);
  EXPECT_EQ(rb.SetWriteLock(kPage + 150, 0), kLockWrite);
  rb.ReleaseAll();
  // Tried again after twice as many requests (4), then it succeeds.
  ra.SetWriteLock(kPage + 400, 0, true);
  EXPECT_EQ(ra.BlocksHeld(), 1u);
  EXPECT_EQ(ErrorCodeOf([&] { rb.SetWriteLock(kPage + 7, 0); }), 10249);
  ra.ReleaseAll();
  EXPECT_EQ(rb.SetWriteLock(kPage + 7, 0), kLockWrite);
  EXPECT_EQ(rb.SetWriteLock(kPage + 100, 0), kLockWrite);
}

// Joining: pages 2 and 5 are taken; 3 and 4 between them go with 5 when the
// test allows both, and everything goes at ReleaseAll.
TEST_F(RecordBlockTest, PagesApartAreJoinedAcrossPagesTheTestAllowsOnly) {
  struct TCase {
    const char* what;
    std::int64_t refusedPage;  // the test refuses this page (-1: none)
    std::int64_t othersPage;   // another handle holds a record here (-1: none)
    bool joined;
  };
  const TCase cases[] = {
      {"every page between allowed", -1, -1, true},
      {"a page between refused", 3, -1, false},
      {"another connection's record between", -1, 4, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TWinLockMgr ra(&a_, kRecordLockBase, kRecordLockRegion);
    Escalating(ra);
    std::vector<std::pair<std::int64_t, std::int64_t>> asked;
    ra.SetBlockBridging(4, [&](std::int64_t block, std::int64_t of) {
      asked.emplace_back(block, of);
      return block != c.refusedPage;
    });
    TWinLockMgr rb(&b_, kRecordLockBase, kRecordLockRegion);
    Escalating(rb);
    if (c.othersPage >= 0) rb.SetWriteLock(c.othersPage * kPage + 9, 0);
    for (std::int64_t page : {2, 5})
      for (std::int64_t k = 0; k < 2; ++k) ra.SetWriteLock(page * kPage + k * 100, 0, true);
    EXPECT_EQ(ra.BlocksHeld(), c.joined ? 4u : 2u);
    EXPECT_FALSE(asked.empty());
    for (const auto& [block, of] : asked) EXPECT_EQ(of, 5);
    EXPECT_EQ(b_.IsLockedByOther(Byte(3 * kPage + 1), 1), c.joined);
    EXPECT_EQ(b_.IsLockedByOther(Byte(4 * kPage + 1), 1), c.joined);
    EXPECT_TRUE(b_.IsLockedByOther(Byte(5 * kPage + 4095), 1));
    EXPECT_FALSE(b_.IsLockedByOther(Byte(6 * kPage), 1));
    EXPECT_FALSE(b_.IsLockedByOther(Byte(kPage + 4095), 1));
    // A further page next to the run needs no test and joins it.
    ra.SetWriteLock(6 * kPage, 0, true);
    ra.SetWriteLock(6 * kPage + 1, 0, true);
    EXPECT_TRUE(b_.IsLockedByOther(Byte(6 * kPage + 4095), 1));
    ra.ReleaseAll();
    EXPECT_TRUE(a_.HeldRanges().empty());
    rb.ReleaseAll();
    EXPECT_FALSE(b_.IsLockedByOther(Byte(2 * kPage), 5 * kPage));
    EXPECT_TRUE(b_.TryLock(Byte(2 * kPage), 5 * kPage));
    ASSERT_TRUE(b_.Unlock(Byte(2 * kPage), 5 * kPage));
  }
}

// The crowd limit: after three records locked one by one, a counted
// request locks its page whole at once; a page where another handle holds a
// record stays record by record until the other lets go.
TEST_F(RecordBlockTest, PastTheCrowdLimitAPageIsLockedWholeAtItsFirstRecord) {
  TWinLockMgr ra(&a_, kRecordLockBase, kRecordLockRegion);
  Escalating(ra);
  ra.SetEscalation(kPage, 2, 3);
  TWinLockMgr rb(&b_, kRecordLockBase, kRecordLockRegion);
  Escalating(rb);
  ASSERT_EQ(rb.SetWriteLock(9 * kPage + 5, 0), kLockWrite);
  for (std::int64_t page = 1; page <= 3; ++page) ra.SetWriteLock(page * kPage + 10, 0, true);
  EXPECT_EQ(ra.BlocksHeld(), 0u);
  for (std::int64_t page = 1; page <= 3; ++page) {
    EXPECT_TRUE(b_.IsLockedByOther(Byte(page * kPage + 10), 1));
    EXPECT_FALSE(b_.IsLockedByOther(Byte(page * kPage + 11), 1)) << page;
  }
  for (std::int64_t page = 4; page <= 8; ++page) ra.SetWriteLock(page * kPage + 10, 0, true);
  EXPECT_EQ(ra.BlocksHeld(), 5u);
  EXPECT_TRUE(b_.IsLockedByOther(Byte(4 * kPage), 5 * kPage));
  EXPECT_TRUE(b_.IsLockedByOther(Byte(6 * kPage + 4095), 1));
  EXPECT_FALSE(b_.IsLockedByOther(Byte(3 * kPage + 11), 1));
  // More records of held pages take no range of their own.
  const size_t ranges = a_.HeldRanges().size();
  for (std::int64_t page = 4; page <= 8; ++page) ra.SetWriteLock(page * kPage + 700, 0, true);
  EXPECT_EQ(a_.HeldRanges().size(), ranges);
  // The other handle's page: the record alone, the other's record untouched.
  EXPECT_EQ(ra.SetWriteLock(9 * kPage + 100, 0, true), kLockWrite);
  EXPECT_EQ(ra.BlocksHeld(), 5u);
  EXPECT_EQ(rb.SetWriteLock(9 * kPage + 200, 0), kLockWrite);
  EXPECT_EQ(ErrorCodeOf([&] { rb.SetWriteLock(9 * kPage + 100, 0); }), 10249);
  rb.ReleaseAll();
  ra.SetWriteLock(9 * kPage + 300, 0, true);
  EXPECT_EQ(ra.BlocksHeld(), 6u);
  EXPECT_TRUE(b_.IsLockedByOther(Byte(9 * kPage + 5), 1));
  // Uncounted requests neither count nor lock pages.
  ra.SetWriteLock(12 * kPage + 10, 0);
  EXPECT_FALSE(b_.IsLockedByOther(Byte(12 * kPage + 11), 1));
  ra.ReleaseAll();
  EXPECT_TRUE(a_.HeldRanges().empty());
  EXPECT_FALSE(b_.IsLockedByOther(Byte(0), 13 * kPage));
  // The count starts afresh: the next records are one by one again.
  ra.SetWriteLock(20 * kPage + 10, 0, true);
  EXPECT_FALSE(b_.IsLockedByOther(Byte(20 * kPage + 11), 1));
}

TEST_F(LockMgrTest, AManagerGoneLeavesNoLockOfItsOwnBehind) {
  {
    TWinLockMgr tables(&a_, kTableLockBase, kTableLockRegion);
    TWinLockMgr records(&a_, kRecordLockBase, kRecordLockRegion);
    tables.SetWriteLock(5, 0);
    records.SetWriteLock(77, 0);
  }
  EXPECT_TRUE(a_.HeldRanges().empty());
  EXPECT_TRUE(b_.TryLock(kTableLockBase + 5 * kTableLockRegion, kTableLockRegion));
  EXPECT_TRUE(b_.TryLock(kRecordLockBase + 77, 1));
}
