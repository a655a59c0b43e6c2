#include "platform/core/FileLocks.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "platform/core/Files.h"
#include "platform/core/Streams.h"
#include "ScratchDir.h"

namespace {

// Runs body in a child process that opens its own handles; the child
// reports through its exit status (0 = every expectation held).  The child
// stays alive until the parent has run whileChildHolds, so handles that
// body keeps in statics hold their locks meanwhile.
int InChild(const std::function<bool()>& body,
            const std::function<void()>& whileChildHolds = [] {}) {
  int ready[2], done[2];
  if (::pipe(ready) != 0 || ::pipe(done) != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    ::close(done[1]);
    bool ok = body();
    char c = ok ? 1 : 0;
    (void)!::write(ready[1], &c, 1);
    (void)!::read(done[0], &c, 1);
    ::_exit(ok ? 0 : 1);
  }
  ::close(ready[1]);
  ::close(done[0]);
  char c = 0;
  (void)!::read(ready[0], &c, 1);
  whileChildHolds();
  (void)!::write(done[1], &c, 1);
  ::close(ready[0]);
  ::close(done[1]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class FileLocksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TFileHandle h = FileCreate(path_, fmShareDenyNone);
    ASSERT_TRUE(h.IsOpen());
  }
  TFileHandle Open() { return FileOpen(path_, fmOpenReadWrite | fmShareDenyNone); }

  ScratchDir dir_;
  AnsiString path_ = dir_ / "GZ.lck";
};

TEST_F(FileLocksTest, TwoHandlesOfOneProcessConflict) {
  TFileHandle a = Open(), b = Open();
  ASSERT_TRUE(a.TryLock(100, 10));
  EXPECT_FALSE(b.TryLock(105, 1));
  EXPECT_FALSE(b.TryLock(90, 11));
  EXPECT_TRUE(b.TryLock(110, 5)) << "adjacent ranges do not overlap";
  EXPECT_TRUE(b.IsLockedByOther(109, 1));
  EXPECT_FALSE(a.IsLockedByOther(100, 10)) << "own locks are not another's";
  EXPECT_TRUE(a.Unlock(100, 10));
  EXPECT_TRUE(b.TryLock(105, 1));
}

TEST_F(FileLocksTest, AHandleConflictsWithItsOwnLocksAndUnlocksOnlyExactRanges) {
  TFileHandle a = Open();
  ASSERT_TRUE(a.TryLock(0, 10));
  EXPECT_FALSE(a.TryLock(5, 10));
  EXPECT_FALSE(a.Unlock(0, 5));
  EXPECT_FALSE(a.Unlock(0, 11));
  ASSERT_TRUE(a.TryLock(10, 10));
  // Unlocking one of two adjacent ranges leaves the other held.
  EXPECT_TRUE(a.Unlock(0, 10));
  TFileHandle b = Open();
  EXPECT_TRUE(b.TryLock(0, 10));
  EXPECT_FALSE(b.TryLock(10, 1));
}

// Taking a handle's own small locks into one large one: no moment in
// between in which another handle could lock a byte of them.
TEST_F(FileLocksTest, LockOverTakesInOwnRangesAndIsRefusedWhereOthersHoldOrARangeStraddles) {
  TFileHandle a = Open(), b = Open();
  ASSERT_TRUE(a.TryLock(4096 + 10, 1));
  ASSERT_TRUE(a.TryLock(4096 + 300, 1));
  ASSERT_TRUE(a.TryLock(8192, 1));  // just after the range: stays its own
  ASSERT_TRUE(a.TryLockOver(4096, 4096));
  EXPECT_EQ(a.HeldRanges().size(), 2u);
  EXPECT_EQ(a.HeldRanges().at(4096), 4096);
  EXPECT_FALSE(b.TryLock(4096 + 10, 1));
  EXPECT_FALSE(b.TryLock(4096 + 4095, 1));
  EXPECT_FALSE(a.Unlock(4096 + 10, 1)) << "taken into the range, no longer its own";
  EXPECT_TRUE(a.Unlock(4096, 4096));
  EXPECT_TRUE(b.TryLock(4096 + 10, 1));
  EXPECT_FALSE(b.TryLock(8192, 1));

  // Another handle holds one byte of the range: nothing changes for a.
  ASSERT_TRUE(a.TryLock(12288 + 1, 1));
  ASSERT_TRUE(b.TryLock(12288 + 2000, 1));
  EXPECT_FALSE(a.TryLockOver(12288, 4096));
  EXPECT_EQ(a.HeldRanges().count(12288 + 1), 1u);
  EXPECT_EQ(a.HeldRanges().count(12288), 0u);
  EXPECT_FALSE(b.TryLock(12288 + 1, 1));
  EXPECT_TRUE(b.TryLock(12288 + 3000, 1)) << "a failed try leaves no lock behind";

  // An own range reaching out of the new one.
  ASSERT_TRUE(a.TryLock(20000, 100));
  EXPECT_FALSE(a.TryLockOver(20050, 4096));
  EXPECT_FALSE(a.TryLockOver(19000, 1050));
  EXPECT_TRUE(a.TryLockOver(19000, 2000));
}

// Giving a range back but for the own ranges it took in: those stay held
// (and can be unlocked alone again), the gaps are free at once.
TEST_F(FileLocksTest, UnlockKeepingReleasesTheGapsAndKeepsTheListedRanges) {
  TFileHandle a = Open(), b = Open();
  ASSERT_TRUE(a.TryLock(4096 + 10, 1));
  ASSERT_TRUE(a.TryLock(4096 + 300, 20));
  ASSERT_TRUE(a.TryLockOver(4096, 4096));
  EXPECT_FALSE(a.UnlockKeeping(4096, 4095, {}));
  EXPECT_FALSE(a.UnlockKeeping(4096, 4096, {{4000, 200}})) << "a kept range outside";
  ASSERT_TRUE(a.UnlockKeeping(4096, 4096, {{4096 + 300, 20}, {4096 + 10, 1}}));
  for (std::int64_t free : {4096, 4096 + 9, 4096 + 11, 4096 + 299, 4096 + 320, 8191}) {
    EXPECT_TRUE(b.TryLock(free, 1)) << free;
    EXPECT_TRUE(b.Unlock(free, 1));
  }
  EXPECT_FALSE(b.TryLock(4096 + 10, 1));
  EXPECT_FALSE(b.TryLock(4096 + 319, 1));
  EXPECT_TRUE(a.Unlock(4096 + 10, 1));
  EXPECT_TRUE(a.Unlock(4096 + 300, 20));
  EXPECT_TRUE(b.TryLock(4096, 4096));
}

// Releasing many ranges in runs must never release a range that was not
// listed, though it lies between listed ones.
TEST_F(FileLocksTest, UnlockRangesReleasesTheListedRangesOnly) {
  TFileHandle a = Open(), b = Open();
  for (std::int64_t offset : {100, 200, 300, 400, 500}) ASSERT_TRUE(a.TryLock(offset, 10));
  EXPECT_EQ(a.UnlockRanges({{500, 10}, {100, 10}, {200, 10}, {400, 10}, {700, 10}, {300, 5}}), 4u);
  ASSERT_EQ(a.HeldRanges().size(), 1u);
  EXPECT_EQ(a.HeldRanges().begin()->first, 300);
  for (std::int64_t offset : {100, 200, 400, 500, 150}) EXPECT_TRUE(b.TryLock(offset, 10)) << offset;
  EXPECT_FALSE(b.TryLock(300, 1));
  EXPECT_FALSE(b.TryLock(309, 1));
}

TEST_F(FileLocksTest, LocksGoWhenTheirHandleCloses) {
  TFileHandle a = Open(), b = Open();
  ASSERT_TRUE(a.TryLock(8192, 1));
  ASSERT_TRUE(a.TryLock(0x2000000, 4));
  a.Close();
  EXPECT_TRUE(b.TryLock(8192, 1));
  EXPECT_TRUE(b.TryLock(0x2000000, 4));
}

TEST_F(FileLocksTest, ClosingAnotherDescriptorOfTheFileKeepsTheLocks) {
  TFileHandle a = Open();
  ASSERT_TRUE(a.TryLock(0x800000, 8192));
  {
    TFileHandle other = Open();  // another handle of this process, closed at once
  }
  { TFileStream s(path_, fmOpenRead | fmShareDenyNone); }
  int raw = ::open(MapPath(path_).c_str(), O_RDONLY);
  ::close(raw);
  // Still held, as seen from another handle and from another process.
  TFileHandle b = Open();
  EXPECT_FALSE(b.TryLock(0x800000, 1));
  EXPECT_EQ(InChild([&] {
              TFileHandle c = Open();
              return c.IsOpen() && !c.TryLock(0x801000, 1);
            }),
            0);
}

TEST_F(FileLocksTest, LocksConflictBetweenProcesses) {
  TFileHandle mine = Open();
  ASSERT_TRUE(mine.TryLock(0, 1));  // the lock file's mutex byte
  int rc = InChild(
      [&] {
        static TFileHandle h;
        h = Open();
        // The parent's byte is taken; a record lock elsewhere is free.
        return !h.TryLock(0, 1) && h.TryLock(0x2000000 + 42, 1);
      },
      [&] {
        TFileHandle other = Open();
        EXPECT_FALSE(other.TryLock(0x2000000 + 42, 1)) << "the child's lock is seen here";
      });
  EXPECT_EQ(rc, 0);
  // The child has exited: its locks went with it.
  TFileHandle other = Open();
  EXPECT_TRUE(other.TryLock(0x2000000 + 42, 1));
}

TEST_F(FileLocksTest, RangesBeyondTheEndAndPast4GiBWork) {
  TFileHandle a = Open(), b = Open();
  EXPECT_EQ(a.Size(), 0);
  const std::int64_t high = (std::int64_t{5} << 32) + 3;
  ASSERT_TRUE(a.TryLock(high, 2));
  EXPECT_FALSE(b.TryLock(high + 1, 1));
  EXPECT_TRUE(b.TryLock(3, 2)) << "the low 32 bits alone must not collide";
  EXPECT_EQ(a.Size(), 0) << "locking never grows the file";
}

TEST_F(FileLocksTest, InvalidRangesAreRefused) {
  TFileHandle a = Open();
  EXPECT_FALSE(a.TryLock(0, 0));
  EXPECT_FALSE(a.TryLock(-1, 1));
  EXPECT_FALSE(a.TryLock(kShareLockBase - 1, 2)) << "reaches the reserved range";
  EXPECT_FALSE(a.TryLock(INT64_MAX - 1, 5));
  TFileHandle closed;
  EXPECT_FALSE(closed.TryLock(0, 1));
}

TEST_F(FileLocksTest, MovingAHandleMovesItsLocks) {
  TFileHandle a = Open();
  ASSERT_TRUE(a.TryLock(1, 1));
  TFileHandle moved = std::move(a);
  EXPECT_FALSE(a.IsOpen());
  EXPECT_TRUE(moved.Unlock(1, 1));
}

// ---- share modes ---------------------------------------------------------------

struct ShareCase {
  unsigned first, second;
  bool secondOpens;
};

TEST_F(FileLocksTest, ShareModesFollowTheAccessAndDenyRules) {
  const unsigned R = fmOpenRead, W = fmOpenWrite, RW = fmOpenReadWrite;
  const ShareCase cases[] = {
      {R | fmShareExclusive, R | fmShareDenyNone, false},
      {R | fmShareCompat, R | fmShareDenyNone, false},
      {R | fmShareDenyWrite, R | fmShareDenyWrite, true},
      {R | fmShareDenyWrite, RW | fmShareDenyNone, false},
      {RW | fmShareDenyNone, R | fmShareDenyWrite, false},
      {R | fmShareDenyNone, RW | fmShareDenyNone, true},
      {W | fmShareDenyRead, R | fmShareDenyNone, false},
      {W | fmShareDenyRead, W | fmShareDenyNone, true},
      {RW | fmShareDenyNone, RW | fmShareDenyNone, true},
      {fmCreate, R | fmShareDenyNone, false},
      {R | fmShareDenyNone, fmCreate | fmShareDenyNone, true},
  };
  for (const auto& c : cases) {
    TFileHandle first = FileOpen(path_, c.first);
    ASSERT_TRUE(first.IsOpen()) << std::hex << c.first;
    TFileHandle second = FileOpen(path_, c.second);
    const int err = errno;
    EXPECT_EQ(second.IsOpen(), c.secondOpens) << std::hex << c.first << " then " << c.second;
    if (!c.secondOpens) {
      EXPECT_EQ(err, EBUSY);
    }
    second.Close();
    first.Close();
    // Once the first is closed the second always opens.
    EXPECT_TRUE(FileOpen(path_, c.second).IsOpen()) << std::hex << c.second;
  }
}

TEST_F(FileLocksTest, RefusedCreateLeavesTheContentsIntact) {
  {
    TFileStream s(path_, fmOpenWrite | fmShareDenyNone);
    s.WriteBuffer("precious", 8);
  }
  TFileStream holder(path_, fmOpenRead | fmShareExclusive);
  EXPECT_THROW(TFileStream(path_, fmCreate), EFCreateError);
  EXPECT_EQ(holder.Size(), 8);
}

TEST_F(FileLocksTest, ShareModesHoldBetweenProcesses) {
  TFileStream exclusive(path_, fmOpenReadWrite | fmShareExclusive);
  EXPECT_EQ(InChild([&] { return !FileOpen(path_, fmOpenRead | fmShareDenyNone).IsOpen(); }), 0);
}

TEST_F(FileLocksTest, ShareClaimsDoNotDisturbRangeLocks) {
  TFileHandle a = FileOpen(path_, fmOpenReadWrite | fmShareDenyWrite);
  ASSERT_TRUE(a.IsOpen());
  ASSERT_TRUE(a.TryLock(0, 1));
  TFileHandle b = FileOpen(path_, fmOpenRead | fmShareDenyNone);
  ASSERT_TRUE(b.IsOpen()) << "a denies writing, b reads only: b may open";
  EXPECT_FALSE(b.TryLock(0, 1));
  EXPECT_TRUE(b.TryLock(1, 1));
}

}  // namespace
