// The POSIX file layer and a database on a real file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "UdbTestSupport.h"
#include "Udb/UdbFileIO.h"

namespace {
AnsiString TempPath(const char* name) {
  return AnsiString(::testing::TempDir() + "udb_posix_" + std::to_string(getpid()) + "_" + name);
}
}  // namespace

TEST(PosixFileSystem, PositionalReadWriteSizeAndFlush) {
  TUdbFileSystem& fs = PosixFileSystem();
  AnsiString path = TempPath("io.bin");
  AnsiString error;
  auto file = fs.Create(path, error);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->WriteAt(100, "abc", 3), 3);
  EXPECT_EQ(file->Size(), 103);
  char buffer[8] = {};
  EXPECT_EQ(file->ReadAt(101, buffer, 8), 2);  // short at the end
  EXPECT_EQ(std::string(buffer, 2), "bc");
  EXPECT_EQ(file->ReadAt(0, buffer, 1), 1);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_TRUE(file->SetSize(10));
  EXPECT_EQ(file->Size(), 10);
  EXPECT_TRUE(file->Flush());
  EXPECT_GE(file->Handle(), 0);
  file->Close();
  EXPECT_EQ(file->ReadAt(0, buffer, 1), -1);
  EXPECT_FALSE(file->ErrorText().empty());
  EXPECT_TRUE(fs.Exists(path));
  EXPECT_TRUE(fs.Remove(path));
  EXPECT_FALSE(fs.Exists(path));
  EXPECT_FALSE(fs.Open(path, TUdbOpenMode{}, error));
  EXPECT_FALSE(error.empty());
}

// A gathered write puts each buffer at its place, also past the system's
// limit on buffers per call and past the end of the file; the default of
// the interface (WriteAt per buffer) gives the same file.
TEST(PosixFileSystem, GatheredWriteLaysTheBuffersEndToEnd) {
  TUdbFileSystem& fs = PosixFileSystem();
  for (int count : {1, 3, 1030}) {
    SCOPED_TRACE(count);
    constexpr std::int64_t kSize = 16;
    std::vector<std::vector<std::uint8_t>> buffers(static_cast<size_t>(count));
    std::vector<const std::uint8_t*> pointers;
    for (int i = 0; i < count; ++i) {
      buffers[static_cast<size_t>(i)].assign(kSize, static_cast<std::uint8_t>(i * 7 + 1));
      buffers[static_cast<size_t>(i)][0] = static_cast<std::uint8_t>(i >> 8);
      pointers.push_back(buffers[static_cast<size_t>(i)].data());
    }
    AnsiString error;
    const AnsiString path = TempPath("gather.bin");
    auto file = fs.Create(path, error);
    ASSERT_TRUE(file) << error;
    ASSERT_EQ(file->WriteAt(0, "head", 4), 4);
    EXPECT_EQ(file->WriteGathered(4, pointers.data(), count, kSize), count * kSize);
    std::vector<std::uint8_t> got(static_cast<size_t>(4 + count * kSize));
    ASSERT_EQ(file->ReadAt(0, got.data(), static_cast<std::int64_t>(got.size())), std::int64_t(got.size()));
    EXPECT_EQ(std::string(got.begin(), got.begin() + 4), "head");
    for (int i = 0; i < count; ++i)
      ASSERT_TRUE(std::equal(buffers[static_cast<size_t>(i)].begin(), buffers[static_cast<size_t>(i)].end(),
                             got.begin() + 4 + i * kSize))
          << "buffer " << i;
    file->Close();
    EXPECT_EQ(file->WriteGathered(0, pointers.data(), count, kSize), -1);
    EXPECT_FALSE(file->ErrorText().empty());
    fs.Remove(path);
  }
}

TEST(PosixFileSystem, NewFilesAreForOwnerAndGroupAndAnOverwrittenOneKeepsItsMode) {
  const mode_t oldMask = ::umask(022);  // the usual mask, under which open(0666) gives 0644
  TUdbFileSystem& fs = PosixFileSystem();
  const AnsiString fresh = TempPath("mode-new.jnl"), kept = TempPath("mode-kept.udb");
  fs.Remove(fresh);
  AnsiString error;
  ASSERT_TRUE(fs.Create(fresh, error)) << error;
  ASSERT_TRUE(fs.Create(kept, error)) << error;
  ::chmod(kept.c_str(), 0600);
  auto again = fs.Create(kept, error);
  ASSERT_TRUE(again) << error;
  EXPECT_EQ(again->WriteAt(0, "x", 1), 1);
  ::umask(oldMask);
  struct stat st {};
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0660u);
  ASSERT_EQ(::stat(kept.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, 1);
  fs.Remove(fresh);
  fs.Remove(kept);
}

TEST(PosixFileSystem, ExclusiveOpenKeepsOtherOpenersOut) {
  TUdbFileSystem& fs = PosixFileSystem();
  AnsiString path = TempPath("excl.bin");
  AnsiString error;
  fs.Create(path, error);
  TUdbOpenMode shared, exclusive;
  exclusive.exclusive = true;
  {
    auto a = fs.Open(path, shared, error);
    auto b = fs.Open(path, shared, error);
    ASSERT_TRUE(a && b);
    EXPECT_FALSE(fs.Open(path, exclusive, error));
  }
  {
    auto a = fs.Open(path, exclusive, error);
    ASSERT_TRUE(a);
    EXPECT_FALSE(fs.Open(path, shared, error));
  }
  fs.Remove(path);
}

TEST(PosixFileSystem, ReadOnlyAttributeIsTheMissingWritePermission) {
  TUdbFileSystem& fs = PosixFileSystem();
  AnsiString path = TempPath("ro.bin");
  AnsiString error;
  fs.Create(path, error);
  EXPECT_FALSE(fs.IsReadOnly(path));
  chmod(path.c_str(), 0444);
  EXPECT_TRUE(fs.IsReadOnly(path));
  fs.Remove(path);
}

TEST(PosixFileSystem, DatabaseOnDiskSurvivesReopening) {
  AnsiString path = TempPath("工资.udb");
  {
    TDiskMgr disk;
    disk.SetFileName(path);
    disk.CreateNewFile(true);
    disk.Open();
    disk.SetMasterKey("disk key");
    disk.WriteSecurityHeader();
    std::vector<std::uint8_t> page(4096, 0x4D);
    EXPECT_EQ(disk.AllocatePages(9, 5, page.data(), 1, 1), 6u * 4096);
  }
  TDiskMgr disk;
  disk.SetFileName(path);
  disk.Open();
  disk.SetMasterKey("disk key");
  disk.VerifySecurityHeader();
  std::vector<std::uint8_t> back(4096);
  disk.ReadPages(6 * 4096, 1, back.data(), 5, 9);
  EXPECT_EQ(back, std::vector<std::uint8_t>(4096, 0x4D));
  disk.Close();
  PosixFileSystem().Remove(path);
}

TEST(PosixFileSystem, CopyOntoAnotherSpellingOfTheSourceLeavesItWhole) {
  AnsiString path = TempPath("self.udb");
  AnsiString link = TempPath("self_link.udb");
  {
    TDiskMgr disk;
    disk.SetFileName(path);
    disk.CreateNewFile(true);
  }
  ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
  struct stat before {};
  ::stat(path.c_str(), &before);
  // A hard link and a "./" spelling both name the database file itself.
  const AnsiString dotted = AnsiString(::testing::TempDir()) + "./" + path.substr(::testing::TempDir().size());
  for (const AnsiString& target : {link, dotted}) {
    EXPECT_FALSE(UdbCopyFile(path, target, true, PosixFileSystem())) << target;
    TDiskMgr disk;
    disk.SetFileName(path);
    disk.Open();
    EXPECT_UDB_ERROR(disk.CopyDatabaseFile(target), 8450);
    disk.Close();
    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_EQ(after.st_size, before.st_size) << target;
  }
  EXPECT_TRUE(UdbCopyFile(path, TempPath("self_copy.udb"), true, PosixFileSystem()));
  PosixFileSystem().Remove(TempPath("self_copy.udb"));
  PosixFileSystem().Remove(link);
  PosixFileSystem().Remove(path);
}
