#include "platform/core/TempFiles.h"

#include <stdlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <ctime>
#include <vector>

#include "platform/core/Files.h"
#include "ScratchDir.h"

namespace {

// Points the temporary folder at a scratch directory for one test.
class TempFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    oldTmp_ = old ? old : "";
    hadTmp_ = old != nullptr;
    ::setenv("TMPDIR", dir_.Native().c_str(), 1);
  }
  void TearDown() override {
    if (hadTmp_)
      ::setenv("TMPDIR", oldTmp_.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }
  ScratchDir dir_;
  std::string oldTmp_;
  bool hadTmp_ = false;
};

TEST_F(TempFilesTest, NamedWithThePrefixAndRemovedWhenClosed) {
  AnsiString name;
  {
    TTempFile t("~sq");
    name = t.FileName();
    EXPECT_EQ(ExtractFilePath(name), dir_.Native() + "/");
    EXPECT_EQ(ExtractFileName(name).substr(0, 3), "~sq");
    EXPECT_EQ(ExtractFileExt(name), ".tmp");
    EXPECT_TRUE(FileExists(name));
    TTempFile other("~sq");
    EXPECT_NE(other.FileName(), name);
  }
  EXPECT_FALSE(FileExists(name));
}

TEST_F(TempFilesTest, MappingGrowsOnDemandAndKeepsItsBytes) {
  TTempFile t("~sq");
  TFileMapping map(t.Handle(), 4096, true);
  ASSERT_EQ(map.Size(), 4096);
  std::memcpy(map.Data() + 4000, "row", 3);
  map.Grow(1 << 20);
  EXPECT_GE(map.Size(), 1 << 20);
  EXPECT_EQ(std::memcmp(map.Data() + 4000, "row", 3), 0) << "contents survive a move";
  std::memcpy(map.Data() + map.Size() - 4, "last", 4);
  map.Flush();
  char buf[4];
  ASSERT_EQ(t.Handle().ReadAt(buf, 4, map.Size() - 4), 4);
  EXPECT_EQ(std::memcmp(buf, "last", 4), 0) << "the mapping is the file";
  EXPECT_EQ(t.Handle().Size(), map.Size());
}

TEST_F(TempFilesTest, ReadOnlyMappingOfAnExistingFile) {
  TTempFile t("~sq");
  t.Handle().WriteAt("abcdef", 6, 0);
  TFileMapping map(t.Handle(), 0, false);
  ASSERT_EQ(map.Size(), 6);
  EXPECT_EQ(std::memcmp(map.Data(), "abcdef", 6), 0);
  EXPECT_THROW(map.Grow(100), EInOutError);
}

TEST_F(TempFilesTest, StaleFilesOfACrashedProcessAreRemovedLiveOnesKept) {
  TTempFile live("~sq");
  pid_t pid = ::fork();
  if (pid == 0) {
    // Crash: leave without closing the temporary file.
    auto* leaked = new TTempFile("~sq");
    (void)leaked;
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  TSearchRec rec;
  std::vector<AnsiString> names;
  for (int rc = FindFirst(dir_ / "~sq*.tmp", faAnyFile, rec); rc == 0; rc = FindNext(rec))
    names.push_back(dir_ / rec.Name);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(RemoveStaleTempFiles("~sq"), 0) << "a fresh file may still be getting its lock";
  // Age both files past the grace period: only the dead owner's goes.
  for (const auto& n : names) {
    timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, MapPath(n).c_str(), times, 0), 0);
  }
  EXPECT_EQ(RemoveStaleTempFiles("~sq"), 1);
  EXPECT_TRUE(FileExists(live.FileName()));
  EXPECT_EQ(RemoveStaleTempFiles("~sq"), 0);
}

TEST_F(TempFilesTest, FirstTempFileOfAPrefixSweepsStaleOnes) {
  const std::string stale = dir_.Native() + "/~abQWERTY.tmp";
  { std::ofstream(stale) << "left by a crash"; }
  timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, stale.c_str(), times, 0), 0);
  TTempFile t("~ab");
  EXPECT_FALSE(FileExists(stale.c_str()));
  EXPECT_TRUE(FileExists(t.FileName()));
}

}  // namespace
