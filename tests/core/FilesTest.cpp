#include "platform/core/Files.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "platform/core/CodePage.h"
#include "ScratchDir.h"

namespace {

void WriteNative(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

// ---- MapPath ---------------------------------------------------------------------

TEST(MapPath, BackslashesBecomeSlashesOutsideDoubleByteCharacters) {
  EXPECT_EQ(MapPath("BackDB\\gz202601.udb"), "BackDB/gz202601.udb");
  EXPECT_EQ(MapPath(".\\gz.ini"), "./gz.ini");
  EXPECT_EQ(MapPath("C:\\payroll\\dept\\"), "/payroll/dept/") << "drive dropped";
  // 0x5C as a trail byte belongs to its character: "\x81\x5C" is one
  // character of the code page and must survive the separator mapping.
  const AnsiString withTrail = AnsiString("dir\\") + "\x81\x5C" + ".txt";
  EXPECT_EQ(MapPath(withTrail), "dir/" + AnsiToUtf8("\x81\x5C") + ".txt");
}

TEST(MapPath, NamesOnDiskAreUtf8) {
  ScratchDir dir;
  const AnsiString name = dir / "工资.xls";
  EXPECT_EQ(MapPath(name), dir.Native() + "/\xE5\xB7\xA5\xE8\xB5\x84.xls");
  WriteNative(MapPath(name), "x");
  EXPECT_TRUE(FileExists(name));
  TSearchRec rec;
  ASSERT_EQ(FindFirst(dir / "*.xls", faAnyFile, rec), 0);
  EXPECT_EQ(rec.Name, "工资.xls") << "listing gives code-page-936 names";
  FindClose(rec);
}

TEST(MapPath, ExistingNamesMatchWithoutRegardToCase) {
  ScratchDir dir;
  ::mkdir((dir.Native() + "/BackDB").c_str(), 0777);
  WriteNative(dir.Native() + "/BackDB/GZ.udb", "db");
  EXPECT_EQ(MapPath(dir / "backdb\\gz.UDB"), dir.Native() + "/BackDB/GZ.udb");
  EXPECT_TRUE(FileExists(dir / "BACKDB\\gz.udb"));
  // A new name keeps its spelling under the resolved folder.
  EXPECT_EQ(MapPath(dir / "backdb\\New.udb"), dir.Native() + "/BackDB/New.udb");
}

// ---- path helpers ----------------------------------------------------------------

struct PathCase {
  AnsiString in, path, dir, name, ext;
};

TEST(PathHelpers, SplitAtEitherSeparator) {
  const PathCase cases[] = {
      {"C:\\pay\\GZ.udb", "C:\\pay\\", "C:\\pay", "GZ.udb", ".udb"},
      {"/opt/pay/gz.ini", "/opt/pay/", "/opt/pay", "gz.ini", ".ini"},
      {"BackDB\\", "BackDB\\", "BackDB", "", ""},
      {"C:\\GZ.udb", "C:\\", "C:\\", "GZ.udb", ".udb"},
      {"/gz", "/", "/", "gz", ""},
      {"noext", "", "", "noext", ""},
      {"a.b\\c", "a.b\\", "a.b", "c", ""},
      {"报表\\工资.rbf", "报表\\", "报表", "工资.rbf", ".rbf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.in), c.path) << c.in;
    EXPECT_EQ(ExtractFileDir(c.in), c.dir) << c.in;
    EXPECT_EQ(ExtractFileName(c.in), c.name) << c.in;
    EXPECT_EQ(ExtractFileExt(c.in), c.ext) << c.in;
  }
  // A trail byte 0x5C is no separator.
  const AnsiString trail = AnsiString("d\\") + "\x81\x5C" + "x.txt";
  EXPECT_EQ(ExtractFileName(trail), AnsiString("\x81\x5C") + "x.txt");
}

TEST(PathHelpers, ExtensionsAndTrailingDelimiters) {
  EXPECT_EQ(ChangeFileExt("GZ.udb", ".lck"), "GZ.lck");
  EXPECT_EQ(ChangeFileExt("dir.x\\GZ", ".udx"), "dir.x\\GZ.udx");
  EXPECT_EQ(ChangeFileExt("a.tar.gz", ""), "a.tar");
  EXPECT_EQ(IncludeTrailingPathDelimiter("dept"), "dept\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/opt/pay"), "/opt/pay/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("dept\\"), "dept\\");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/opt/pay/"), "/opt/pay");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("dept"), "dept");
}

// ---- file operations ---------------------------------------------------------------

TEST(Files, CopyFileHonoursFailIfExistsAndReplacesOtherwise) {
  ScratchDir dir;
  WriteNative(dir.Native() + "/GZ.udb", "new data");
  WriteNative(dir.Native() + "/backup.udb", "old backup");
  EXPECT_FALSE(CopyFile(dir / "GZ.udb", dir / "backup.udb", true));
  EXPECT_EQ(ReadWholeFile(dir / "backup.udb"), "old backup");
  EXPECT_TRUE(CopyFile(dir / "GZ.udb", dir / "backup.udb", false));
  EXPECT_EQ(ReadWholeFile(dir / "backup.udb"), "new data");
  EXPECT_TRUE(CopyFile(dir / "GZ.udb", dir / "fresh.udb", true));
  EXPECT_FALSE(CopyFile(dir / "missing.udb", dir / "x.udb", false));
  EXPECT_FALSE(FileExists(dir / "x.udb"));
  EXPECT_EQ(FileAge(dir / "fresh.udb"), FileAge(dir / "GZ.udb")) << "the time is copied";
}

TEST(Files, CopyLeavesNoTemporaryFilesBehind) {
  ScratchDir dir;
  WriteNative(dir.Native() + "/a", "1");
  ASSERT_TRUE(CopyFile(dir / "a", dir / "b", false));
  TSearchRec rec;
  int n = 0;
  for (int rc = FindFirst(dir / "*", faAnyFile, rec); rc == 0; rc = FindNext(rec)) ++n;
  EXPECT_EQ(n, 2);
}

TEST(Files, RenameRefusesToReplaceAndDeleteRemoves) {
  ScratchDir dir;
  WriteNative(dir.Native() + "/a", "a");
  WriteNative(dir.Native() + "/b", "b");
  EXPECT_FALSE(RenameFile(dir / "a", dir / "b"));
  EXPECT_EQ(ReadWholeFile(dir / "b"), "b");
  EXPECT_TRUE(RenameFile(dir / "a", dir / "c"));
  EXPECT_FALSE(FileExists(dir / "a"));
  EXPECT_TRUE(DeleteFile(dir / "c"));
  EXPECT_FALSE(DeleteFile(dir / "c"));
}

TEST(Files, AFileOpenElsewhereIsNeitherDeletedNorRenamedNorReplaced) {
  ScratchDir dir;
  WriteNative(dir.Native() + "/GZ.lck", "slots");
  WriteNative(dir.Native() + "/backup.lck", "other");
  {
    TFileHandle user = FileOpen(dir / "GZ.lck", fmOpenReadWrite | fmShareDenyNone);
    ASSERT_TRUE(user.IsOpen());
    EXPECT_FALSE(DeleteFile(dir / "GZ.lck"));
    EXPECT_EQ(errno, EBUSY);
    EXPECT_FALSE(RenameFile(dir / "GZ.lck", dir / "moved.lck"));
    EXPECT_FALSE(CopyFile(dir / "backup.lck", dir / "GZ.lck", false));
    EXPECT_EQ(ReadWholeFile(dir / "GZ.lck"), "slots");
    EXPECT_TRUE(CopyFile(dir / "GZ.lck", dir / "copy.lck", false)) << "an open source copies";
  }
  // Another process's handle counts the same.
  int opened[2], release[2];
  ASSERT_EQ(::pipe(opened), 0);
  ASSERT_EQ(::pipe(release), 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    TFileHandle h = FileOpen(dir / "GZ.lck", fmOpenRead | fmShareDenyNone);
    char c = h.IsOpen() ? 1 : 0;
    (void)!::write(opened[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(opened[0], &c, 1), 1);
  ASSERT_EQ(c, 1) << "the child opened the file";
  EXPECT_FALSE(DeleteFile(dir / "GZ.lck"));
  (void)!::write(release[1], &c, 1);
  int status = 0;
  ::waitpid(pid, &status, 0);
  for (int fd : {opened[0], opened[1], release[0], release[1]}) ::close(fd);
  EXPECT_TRUE(DeleteFile(dir / "GZ.lck")) << "the last user has gone";
}

TEST(Files, ForceDirectoriesCreatesEveryLevel) {
  ScratchDir dir;
  EXPECT_TRUE(ForceDirectories(dir / "backxls\\2026\\01\\"));
  EXPECT_TRUE(DirectoryExists(dir / "backxls\\2026\\01"));
  EXPECT_FALSE(FileExists(dir / "backxls"));
  WriteNative(dir.Native() + "/plain", "");
  EXPECT_FALSE(ForceDirectories(dir / "plain\\sub"));
}

TEST(Files, WriteFileAtomicallyReplacesAndKeepsPermissions) {
  ScratchDir dir;
  WriteNative(dir.Native() + "/gz.ini", "old");
  ::chmod((dir.Native() + "/gz.ini").c_str(), 0640);
  WriteFileAtomically(dir / "gz.ini", "new");
  EXPECT_EQ(ReadWholeFile(dir / "gz.ini"), "new");
  struct stat st {};
  ::stat((dir.Native() + "/gz.ini").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_THROW(WriteFileAtomically(dir / "no\\dir\\gz.ini", "x"), EFCreateError);
}

TEST(Files, NewFilesAndRegainedWritePermissionFollowTheUmask) {
  const mode_t oldMask = ::umask(027);
  ScratchDir dir;
  WriteFileAtomically(dir / "new.ini", "x");
  WriteNative(dir.Native() + "/ro.udb", "");
  ::chmod((dir.Native() + "/ro.udb").c_str(), 0444);
  const int attr = FileSetAttr(dir / "ro.udb", 0);
  EXPECT_EQ(::umask(oldMask), 027u);  // read, never changed
  EXPECT_EQ(attr, 0);
  struct stat st {};
  ::stat((dir.Native() + "/new.ini").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  ::stat((dir.Native() + "/ro.udb").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(Files, ReadOnlyAttributeIsTheAbsenceOfWritePermission) {
  ScratchDir dir;
  WriteNative(dir.Native() + "/GZ.udb", "");
  ::chmod((dir.Native() + "/GZ.udb").c_str(), 0644);
  EXPECT_EQ(FileGetAttr(dir / "GZ.udb") & (faReadOnly | faDirectory), 0);
  EXPECT_EQ(FileSetAttr(dir / "GZ.udb", faReadOnly), 0);
  EXPECT_NE(FileGetAttr(dir / "GZ.udb") & faReadOnly, 0);
  struct stat st {};
  ::stat((dir.Native() + "/GZ.udb").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
  EXPECT_EQ(FileSetAttr(dir / "GZ.udb", 0), 0);
  EXPECT_EQ(FileGetAttr(dir / "GZ.udb") & faReadOnly, 0);
  EXPECT_NE(FileGetAttr(dir.Native().c_str()) & faDirectory, 0);
  EXPECT_EQ(FileGetAttr(dir / "missing"), -1);
}

TEST(Files, FileAgeRoundTripsThroughFileSetDate) {
  ScratchDir dir;
  WriteNative(dir.Native() + "/f", "");
  const int age = (46 << 25) | (3 << 21) | (15 << 16) | (10 << 11) | (30 << 5) | 10;  // 2026-03-15 10:30:20
  EXPECT_EQ(FileSetDate(dir / "f", age), 0);
  EXPECT_EQ(FileAge(dir / "f"), age);
  EXPECT_EQ(FileAge(dir / "missing"), -1);
}

TEST(Files, FindFirstMatchesMasksWithoutRegardToCase) {
  ScratchDir dir;
  for (const char* n : {"gz202601.UDB", "gz202602.udb", "gz.ini", "readme"})
    WriteNative(dir.Native() + "/" + n, "");
  ::mkdir((dir.Native() + "/sub.udb").c_str(), 0777);
  std::vector<AnsiString> names;
  TSearchRec rec;
  for (int rc = FindFirst(dir / "gz??????.udb", faAnyFile & ~faDirectory, rec); rc == 0;
       rc = FindNext(rec))
    names.push_back(rec.Name);
  EXPECT_EQ(names, (std::vector<AnsiString>{"gz202601.UDB", "gz202602.udb"}));
  names.clear();
  for (int rc = FindFirst(dir / "*.*", faAnyFile, rec); rc == 0; rc = FindNext(rec))
    names.push_back(rec.Name);
  EXPECT_EQ(names.size(), 5u) << "*.* matches names without a dot and folders";
  EXPECT_NE(FindFirst(dir / "*.xls", faAnyFile, rec), 0);
}

TEST(Files, ProgramFolderIsTheExecutablesUnlessOverridden) {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
  ASSERT_GT(n, 0);
  std::string exe(buf, static_cast<size_t>(n));
  EXPECT_EQ(ProgramFolder(), exe.substr(0, exe.rfind('/') + 1));
  SetProgramFolderForTesting("/srv/payroll");
  EXPECT_EQ(ProgramFolder(), "/srv/payroll/");
  SetProgramFolderForTesting("");
  EXPECT_EQ(ProgramFolder(), exe.substr(0, exe.rfind('/') + 1));
}

}  // namespace
