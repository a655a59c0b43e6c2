// The lock file of connected users: its life from the first connection to
// the last, slots per computer and user, presence bytes, crashed
// connections and the size limit.
#include "Udb/UserMonitor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "Udb/UdbErrors.h"
#include "tests/core/ScratchDir.h"

namespace {

class UserMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.Native() + "/GZ.udb";
    lck_ = dir_.Native() + "/GZ.lck";
    int fd = ::open(db_.c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  TFileHandle OpenDb() const { return TFileHandle(::open(db_.c_str(), O_RDWR)); }
  bool LockFileExists() const { return ::access(lck_.c_str(), F_OK) == 0; }
  off_t LockFileSize() const {
    struct stat st {};
    return ::stat(lck_.c_str(), &st) == 0 ? st.st_size : -1;
  }
  std::string SlotText(int slot) const {
    int fd = ::open(lck_.c_str(), O_RDONLY);
    char buf[4097] = {};
    ssize_t n = ::pread(fd, buf, 4096, slot * 4096);
    ::close(fd);
    return n > 0 ? std::string(buf) : std::string();
  }
  ScratchDir dir_;
  std::string db_, lck_;
};

}  // namespace

TEST_F(UserMonitorTest, FirstConnectionCreatesTheFileAndLastDeletesIt) {
  TFileHandle db = OpenDb();
  TDBUserMonitor m(&db, lck_.c_str());
  m.Open("alice", "PC1");
  EXPECT_TRUE(LockFileExists());
  EXPECT_EQ(LockFileSize(), 8192);
  EXPECT_EQ(SlotText(1), "PC1,alice");
  EXPECT_EQ(m.PresenceAddress(), 0x401000);
  m.Close();
  EXPECT_FALSE(LockFileExists());
}

TEST_F(UserMonitorTest, SameComputerAndUserShareOneSlot) {
  TFileHandle db1 = OpenDb(), db2 = OpenDb();
  TDBUserMonitor a(&db1, lck_.c_str()), b(&db2, lck_.c_str());
  a.Open("alice", "PC1");
  b.Open("ALICE", "pc1");  // names compare without regard to case
  EXPECT_EQ(a.SlotOffset(), 4096);
  EXPECT_EQ(b.SlotOffset(), 4096);
  EXPECT_EQ(a.PresenceAddress(), 0x401000);
  EXPECT_EQ(b.PresenceAddress(), 0x401001);
  a.Close();
  EXPECT_TRUE(LockFileExists());
  EXPECT_FALSE(SlotText(1).empty());  // b is still behind the slot
  b.Close();
  EXPECT_FALSE(LockFileExists());
}

TEST_F(UserMonitorTest, NewUsersTakeTheFirstEmptySlotAndNamesWithBlanksAreQuoted) {
  TFileHandle db1 = OpenDb(), db2 = OpenDb(), db3 = OpenDb();
  TDBUserMonitor a(&db1, lck_.c_str()), b(&db2, lck_.c_str()), c(&db3, lck_.c_str());
  a.Open("alice", "PC1");
  b.Open("bob smith", "PC2");
  EXPECT_EQ(b.SlotOffset(), 8192);
  EXPECT_EQ(SlotText(2), "PC2,\"bob smith\"");
  b.Close();
  EXPECT_TRUE(SlotText(2).empty());  // cleared: nobody else as bob
  c.Open("carol", "PC3");
  EXPECT_EQ(c.SlotOffset(), 8192);  // reused
  a.Close();
  c.Close();
  EXPECT_FALSE(LockFileExists());
}

TEST_F(UserMonitorTest, AKilledConnectionsSlotIsClearedByTheNextCount) {
  TFileHandle db = OpenDb();
  TDBUserMonitor a(&db, lck_.c_str());
  a.Open("alice", "PC1");
  int toParent[2];
  ASSERT_EQ(pipe(toParent), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    TFileHandle childDb(::open(db_.c_str(), O_RDWR));
    auto* m = new TDBUserMonitor(&childDb, lck_.c_str());  // never closed: a crash
    m->Open("bob", "PC2");
    (void)!write(toParent[1], "o", 1);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(toParent[0], &c, 1), 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(SlotText(2), "PC2,bob");  // left behind by the dead process
  a.Close();                          // counts users: nobody is behind slot 2
  EXPECT_FALSE(LockFileExists());
}

TEST_F(UserMonitorTest, ALockFileOfFourMegabytesRefusesNewConnections) {
  int fd = ::open(lck_.c_str(), O_RDWR | O_CREAT, 0666);
  ASSERT_EQ(ftruncate(fd, 0x400000), 0);
  ::close(fd);
  TFileHandle db = OpenDb();
  TDBUserMonitor m(&db, lck_.c_str());
  try {
    m.Open("alice", "PC1");
    FAIL() << "expected 9486";
  } catch (const EUdbDatabaseError& e) {
    EXPECT_EQ(e.ErrorCode(), 9486);
  }
  EXPECT_FALSE(m.IsOpen());
}

TEST_F(UserMonitorTest, AnOpenerNeverKeepsALockFileThatTheLastUserDeleted) {
  // Many processes connect and leave at once; every one that is connected
  // must be registered in the file that exists under the name.
  const int kProcs = 6, kRounds = 30;
  std::vector<pid_t> pids;
  for (int p = 0; p < kProcs; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      TFileHandle childDb(::open(db_.c_str(), O_RDWR));
      int bad = 0;
      for (int r = 0; r < kRounds; ++r) {
        TDBUserMonitor m(&childDb, lck_.c_str());
        m.Open(("user" + std::to_string(p)).c_str(), "PC");
        struct stat opened {}, named {};
        fstat(m.LockFileHandle()->Fd(), &opened);
        if (::stat(lck_.c_str(), &named) != 0 || named.st_ino != opened.st_ino) ++bad;
        m.Close();
      }
      _exit(bad == 0 ? 0 : 1);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_FALSE(LockFileExists());
}
