#include "platform/core/Files.h"
#include "platform/core/FileModes.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/core/CodePage.h"
#include "platform/core/Exceptions.h"
#include "platform/core/SysInfo.h"

namespace {

// ---- separators in code-page-936 text --------------------------------------

// True when s[i] is a character of its own (not a trail byte).
bool IsCharAt(const AnsiString& s, size_t i) { return ByteTypeAt(s, i) != mbTrailByte; }

bool IsSeparatorAt(const AnsiString& s, size_t i) {
  return (s[i] == '/' || s[i] == '\\') && IsCharAt(s, i);
}

// 0-based offset of the last byte of s that is one of delims and a
// character of its own, npos when none.
size_t LastDelimiter(const AnsiString& s, std::string_view delims) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsDBCSLeadByte(c) && i + 1 < s.size()) {
      ++i;  // skip the trail byte
      continue;
    }
    if (delims.find(static_cast<char>(c)) != std::string_view::npos) last = i;
  }
  return last;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool AsciiSameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

bool PathExists(const std::string& native) {
  struct stat st {};
  return ::lstat(native.c_str(), &st) == 0;
}

// Finds, in directory dir, an entry whose name equals name up to ASCII
// letter case.  The exact spelling wins when several do.
bool FindCaseInsensitive(const std::string& dir, const std::string& name, std::string& found) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  bool any = false;
  while (dirent* e = ::readdir(d)) {
    if (AsciiSameText(e->d_name, name)) {
      found = e->d_name;
      any = true;
      if (found == name) break;
    }
  }
  ::closedir(d);
  return any;
}

// Applies the file system's spelling to each component of native that does
// not exist as written but exists in another letter case.
std::string ResolveCase(const std::string& native) {
  if (native.empty() || PathExists(native)) return native;
  std::string out;
  size_t pos = 0;
  if (native[0] == '/') {
    out = "/";
    pos = 1;
  }
  bool resolving = true;
  while (pos <= native.size()) {
    size_t slash = native.find('/', pos);
    if (slash == std::string::npos) slash = native.size();
    std::string comp = native.substr(pos, slash - pos);
    std::string dir = out;
    if (resolving && !comp.empty() && comp != "." && comp != "..") {
      std::string candidate = out + comp;
      if (!PathExists(candidate)) {
        std::string found;
        if (FindCaseInsensitive(dir, comp, found))
          comp = found;
        else
          resolving = false;  // nothing below a missing component exists
      }
    }
    out += comp;
    if (slash < native.size()) out += '/';
    pos = slash + 1;
  }
  return out;
}

std::string Native(const AnsiString& path) { return MapPath(path); }

int ToDosDateTime(time_t t) {
  tm lt{};
  localtime_r(&t, &lt);
  if (lt.tm_year < 80) return (1 << 21) | (1 << 16);  // 1980-01-01, the earliest
  return ((lt.tm_year - 80) << 25) | ((lt.tm_mon + 1) << 21) | (lt.tm_mday << 16) |
         (lt.tm_hour << 11) | (lt.tm_min << 5) | (lt.tm_sec / 2);
}

time_t FromDosDateTime(int age) {
  tm lt{};
  lt.tm_year = ((age >> 25) & 0x7F) + 80;
  lt.tm_mon = ((age >> 21) & 0x0F) - 1;
  lt.tm_mday = (age >> 16) & 0x1F;
  lt.tm_hour = (age >> 11) & 0x1F;
  lt.tm_min = (age >> 5) & 0x3F;
  lt.tm_sec = (age & 0x1F) * 2;
  lt.tm_isdst = -1;
  return mktime(&lt);
}

// Creates a new uniquely named file beside native; returns its fd and name.
int CreateSibling(const std::string& native, std::string& tmpName) {
  tmpName = native + ".XXXXXX";
  int fd = ::mkostemp(tmpName.data(), O_CLOEXEC);
  return fd;
}

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// The process's umask, read without changing it: umask(2) reports the
// mask only by replacing it, and a file another thread created between the
// two calls would get the wrong permissions.  Without /proc the usual
// mask 022 is assumed.
mode_t CurrentUmask() {
  std::FILE* status = std::fopen("/proc/self/status", "re");
  if (status == nullptr) return 022;
  mode_t mask = 022;
  char line[256];
  while (std::fgets(line, sizeof line, status) != nullptr) {
    unsigned value = 0;
    if (std::sscanf(line, "Umask: %o", &value) == 1) {
      mask = static_cast<mode_t>(value & 0777);
      break;
    }
  }
  std::fclose(status);
  return mask;
}

// Permission bits for a new file: what open(0666) would give under the umask.
mode_t DefaultFileMode() { return 0666 & ~CurrentUmask(); }

// rename() that refuses to replace an existing target.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: link() refuses an existing target.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  if (PathExists(to)) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

AnsiString FileErrorText(const char* what, const AnsiString& name, int err) {
  return AnsiString(what) + name + ". " + SysErrorMessage(err);
}

// A handle for deleting, renaming or replacing native: holds the share
// guard when no other handle has the file open.  Returns false (errno
// EBUSY) when another handle has it open.  A file that cannot be opened at
// all (a directory, no permission) is not checked.
bool GuardAgainstOpens(const std::string& native, TFileHandle& guard) {
  int fd = ::open(native.c_str(), O_RDWR | O_CLOEXEC);
  bool canWrite = true;
  if (fd < 0) {
    fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    canWrite = false;
  }
  if (fd < 0) return true;
  guard = TFileHandle(fd, canWrite);
  if (guard.LockAgainstOpens()) return true;
  guard.Close();
  errno = EBUSY;
  return false;
}

// True when fd is still the file named native (not deleted or replaced
// between open() and the share claim).
bool StillNamed(int fd, const std::string& native) {
  struct stat a {}, b {};
  return ::fstat(fd, &a) == 0 && ::stat(native.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

std::mutex gProgramFolderMutex;
AnsiString gProgramFolderOverride;

}  // namespace

// ---- MapPath -----------------------------------------------------------------

std::string MapPath(const AnsiString& path) { return ResolveCase(MapPathAsSpelled(path)); }

std::string MapPathAsSpelled(const AnsiString& path) {
  AnsiString p = path;
  if (p.size() >= 2 && p[1] == ':' &&
      ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')))
    p.erase(0, 2);
  for (size_t i = 0; i < p.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (IsDBCSLeadByte(c) && i + 1 < p.size()) {
      ++i;  // a trail byte 0x5C is part of a character, not a separator
      continue;
    }
    if (c == '\\') p[i] = '/';
  }
  return AnsiToUtf8(p);
}

AnsiString NativeToAnsiPath(const std::string& native) { return Utf8ToAnsi(native); }

// ---- opening -----------------------------------------------------------------

TFileHandle FileOpen(const AnsiString& fileName, unsigned mode) {
  const bool create = (mode & 0xFF00u) == fmCreate;
  const unsigned access = create ? fmOpenReadWrite : (mode & 0x3u);
  TShareRequest req;
  req.read = access == fmOpenRead || access == fmOpenReadWrite;
  req.write = access == fmOpenWrite || access == fmOpenReadWrite;
  switch (mode & 0xF0u) {
    case fmShareCompat:
    case fmShareExclusive: req.denyRead = req.denyWrite = true; break;
    case fmShareDenyWrite: req.denyWrite = true; break;
    case fmShareDenyRead: req.denyRead = true; break;
    case fmShareDenyNone: break;
    default: errno = EINVAL; return TFileHandle();
  }
  if (access > fmOpenReadWrite) {
    errno = EINVAL;
    return TFileHandle();
  }
  const std::string native = Native(fileName);
  const int base = O_CLOEXEC | (create ? O_CREAT : 0);
  // A file deleted or replaced between open() and the share claim is
  // opened again, so that no handle lives on a file no longer named so.
  for (int attempt = 0;; ++attempt) {
    // The descriptor is opened read-write whenever the file allows it, so
    // that it can hold exclusive locks; callers' access is enforced above
    // this layer (TFileStream).  Read-only files fall back to the access asked.
    int fd = ::open(native.c_str(), base | O_RDWR, 0666);
    bool canWrite = true;
    if (fd < 0 && !create && access != fmOpenReadWrite &&
        (errno == EACCES || errno == EROFS || errno == EPERM || errno == ETXTBSY)) {
      canWrite = access == fmOpenWrite;
      fd = ::open(native.c_str(), base | (canWrite ? O_WRONLY : O_RDONLY));
    }
    if (fd < 0) return TFileHandle();
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      errno = EISDIR;
      return TFileHandle();
    }
    TFileHandle h(fd, canWrite);
    if (!h.AcquireShareMode(req)) {
      int err = errno;
      h.Close();
      errno = err;
      return TFileHandle();
    }
    if (!StillNamed(h.Fd(), native)) {
      h.Close();
      if (attempt < 3) continue;
      errno = EBUSY;
      return TFileHandle();
    }
    // Truncate only now: a file another handle holds exclusively is refused
    // above with its contents intact.
    if (create && !h.Truncate(0)) {
      int err = errno;
      h.Close();
      errno = err;
      return TFileHandle();
    }
    return h;
  }
}

TFileHandle FileCreate(const AnsiString& fileName, unsigned shareMode) {
  return FileOpen(fileName, fmCreate | (shareMode & 0xF0u));
}

// ---- existence and directories ---------------------------------------------

bool FileExists(const AnsiString& fileName) {
  struct stat st {};
  return ::stat(Native(fileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const AnsiString& dirName) {
  struct stat st {};
  std::string n = Native(dirName);
  if (n.empty()) return false;
  return ::stat(n.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const AnsiString& dirName) { return ::mkdir(Native(dirName).c_str(), 0777) == 0; }

bool RemoveDir(const AnsiString& dirName) { return ::rmdir(Native(dirName).c_str()) == 0; }

bool ForceDirectories(const AnsiString& dirName) {
  std::string n = Native(dirName);
  while (n.size() > 1 && n.back() == '/') n.pop_back();
  if (n.empty()) return false;
  struct stat st {};
  if (::stat(n.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  for (size_t pos = 1; pos <= n.size(); ++pos) {
    if (pos != n.size() && n[pos] != '/') continue;
    std::string prefix = n.substr(0, pos);
    if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return ::stat(n.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const AnsiString& fileName) {
  const std::string native = Native(fileName);
  TFileHandle guard;  // held until the name is gone
  if (!GuardAgainstOpens(native, guard)) return false;
  return ::unlink(native.c_str()) == 0;
}

bool RenameFile(const AnsiString& oldName, const AnsiString& newName) {
  const std::string from = Native(oldName);
  TFileHandle guard;
  if (!GuardAgainstOpens(from, guard)) return false;
  return RenameNoReplace(from, Native(newName));
}

bool CopyFile(const AnsiString& existingName, const AnsiString& newName, bool failIfExists) {
  const std::string from = Native(existingName);
  const std::string to = Native(newName);
  if (failIfExists && PathExists(to)) {
    errno = EEXIST;
    return false;
  }
  // The source is read without a share mode: copying the database while
  // this or another running copy has it open is how backups are taken.
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(in);
    errno = err;
    return false;
  }
  std::string tmp;
  int out = CreateSibling(to, tmp);
  if (out < 0) {
    int err = errno;
    ::close(in);
    errno = err;
    return false;
  }
  bool ok = true;
  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) { ok = false; break; }
    if (n == 0) break;
    if (!WriteAll(out, buf, static_cast<size_t>(n))) { ok = false; break; }
  }
  int err = errno;
  // Permission bits follow the source; failure to set them loses no data.
  if (ok) (void)::fchmod(out, st.st_mode & 07777);
  if (ok) {
    timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
    ok = ::fsync(out) == 0;
    if (!ok) err = errno;
  }
  ::close(in);
  if (::close(out) != 0 && ok) {
    ok = false;
    err = errno;
  }
  TFileHandle guard;  // an existing target open elsewhere is not replaced
  if (ok && !failIfExists && !GuardAgainstOpens(to, guard)) {
    ok = false;
    err = errno;
  }
  if (ok) {
    ok = failIfExists ? RenameNoReplace(tmp, to) : ::rename(tmp.c_str(), to.c_str()) == 0;
    if (!ok) err = errno;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    errno = err;
  }
  return ok;
}

namespace {

int AttrOf(const std::string& native, const struct stat& st, const std::string& name) {
  int attr = 0;
  if (S_ISDIR(st.st_mode)) attr |= faDirectory;
  else attr |= faArchive;
  if ((st.st_mode & 0222) == 0 || (::access(native.c_str(), W_OK) != 0 && errno == EROFS))
    attr |= faReadOnly;
  if (!name.empty() && name[0] == '.') attr |= faHidden;
  return attr;
}

}  // namespace

int FileGetAttr(const AnsiString& fileName) {
  const std::string native = Native(fileName);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return -1;
  return AttrOf(native, st, native.substr(native.find_last_of('/') + 1));
}

int FileSetAttr(const AnsiString& fileName, int attr) {
  const std::string native = Native(fileName);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return errno;
  mode_t mode = st.st_mode & 07777;
  if (attr & faReadOnly) {
    mode &= ~static_cast<mode_t>(0222);
  } else if ((mode & 0222) == 0) {
    // Give write permission back to those who may read, within the umask.
    mode |= ((mode & 0444) >> 1) & ~CurrentUmask();
    mode |= S_IWUSR;
  }
  if (::chmod(native.c_str(), mode) != 0) return errno;
  return 0;
}

int FileSetMode(const AnsiString& fileName, unsigned mode) {
  if (::chmod(Native(fileName).c_str(), static_cast<mode_t>(mode & 07777)) != 0) return errno;
  return 0;
}

std::int64_t FileSizeOf(const AnsiString& fileName) {
  struct stat st {};
  if (::stat(Native(fileName).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return st.st_size;
}

int FileAge(const AnsiString& fileName) {
  struct stat st {};
  if (::stat(Native(fileName).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return ToDosDateTime(st.st_mtime);
}

int FileSetDate(const AnsiString& fileName, int age) {
  time_t t = FromDosDateTime(age);
  if (t == static_cast<time_t>(-1)) return EINVAL;
  timespec times[2];
  times[0].tv_nsec = UTIME_OMIT;
  times[0].tv_sec = 0;
  times[1].tv_sec = t;
  times[1].tv_nsec = 0;
  if (::utimensat(AT_FDCWD, Native(fileName).c_str(), times, 0) != 0) return errno;
  return 0;
}

void WriteFileAtomically(const AnsiString& fileName, std::string_view data) {
  const std::string native = Native(fileName);
  std::string tmp;
  int fd = CreateSibling(native, tmp);
  if (fd < 0) throw EFCreateError(FileErrorText("Cannot create file ", fileName, errno));
  struct stat st {};
  mode_t mode = ::stat(native.c_str(), &st) == 0 ? (st.st_mode & 07777) : DefaultFileMode();
  bool ok = WriteAll(fd, data.data(), data.size()) && ::fchmod(fd, mode) == 0 &&
            ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(tmp.c_str(), native.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    throw EFCreateError(FileErrorText("Cannot create file ", fileName, err));
  }
}

std::string ReadWholeFile(const AnsiString& fileName) {
  int fd = ::open(Native(fileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFOpenError(FileErrorText("Cannot open file ", fileName, errno));
  std::string data;
  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      throw EReadError("Stream read error");
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return data;
}

AnsiString GetCurrentDir() {
  char buf[PATH_MAX];
  if (!::getcwd(buf, sizeof buf)) return AnsiString();
  return NativeToAnsiPath(buf);
}

bool SetCurrentDir(const AnsiString& dir) { return ::chdir(Native(dir).c_str()) == 0; }

// ---- path helpers -------------------------------------------------------------

AnsiString ExtractFilePath(const AnsiString& fileName) {
  size_t i = LastDelimiter(fileName, "\\/:");
  return i == std::string::npos ? AnsiString() : AnsiString(fileName.substr(0, i + 1));
}

AnsiString ExtractFileDir(const AnsiString& fileName) {
  size_t i = LastDelimiter(fileName, "\\/:");
  if (i == std::string::npos) return AnsiString();
  // Keep the separator of a root ("/", "C:\").
  if (i > 0 && IsSeparatorAt(fileName, i) && LastDelimiter(fileName.substr(0, i), "\\/:") != i - 1)
    return fileName.substr(0, i);
  return fileName.substr(0, i + 1);
}

AnsiString ExtractFileName(const AnsiString& fileName) {
  size_t i = LastDelimiter(fileName, "\\/:");
  return i == std::string::npos ? fileName : AnsiString(fileName.substr(i + 1));
}

AnsiString ExtractFileExt(const AnsiString& fileName) {
  size_t i = LastDelimiter(fileName, ".\\/:");
  if (i != std::string::npos && fileName[i] == '.') return fileName.substr(i);
  return AnsiString();
}

AnsiString ChangeFileExt(const AnsiString& fileName, const AnsiString& extension) {
  size_t i = LastDelimiter(fileName, ".\\/:");
  if (i == std::string::npos || fileName[i] != '.') return fileName + extension;
  return fileName.substr(0, i) + extension;
}

AnsiString IncludeTrailingPathDelimiter(const AnsiString& path) {
  if (!path.empty() && IsSeparatorAt(path, path.size() - 1)) return path;
  bool slash = LastDelimiter(path, "/") != std::string::npos &&
               LastDelimiter(path, "\\") == std::string::npos;
  return path + (slash ? "/" : "\\");
}

AnsiString ExcludeTrailingPathDelimiter(const AnsiString& path) {
  if (!path.empty() && IsSeparatorAt(path, path.size() - 1)) return path.substr(0, path.size() - 1);
  return path;
}

AnsiString ExpandFileName(const AnsiString& fileName) {
  std::string n = Native(fileName);
  if (n.empty() || n[0] != '/') {
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf)) return fileName;
    n = std::string(buf) + "/" + n;
  }
  // Remove "." and resolve ".." textually.
  std::vector<std::string> parts;
  size_t pos = 1;
  while (pos <= n.size()) {
    size_t slash = n.find('/', pos);
    if (slash == std::string::npos) slash = n.size();
    std::string comp = n.substr(pos, slash - pos);
    if (comp == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!comp.empty() && comp != ".") {
      parts.push_back(comp);
    }
    pos = slash + 1;
  }
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  if (out.empty() || (!n.empty() && n.back() == '/')) out += "/";
  return NativeToAnsiPath(out);
}

AnsiString ProgramFolder() {
  {
    std::lock_guard<std::mutex> lock(gProgramFolderMutex);
    if (!gProgramFolderOverride.empty()) return gProgramFolderOverride;
  }
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return IncludeTrailingPathDelimiter(GetCurrentDir());
  std::string exe(buf, static_cast<size_t>(n));
  return NativeToAnsiPath(exe.substr(0, exe.find_last_of('/') + 1));
}

void SetProgramFolderForTesting(const AnsiString& folder) {
  std::lock_guard<std::mutex> lock(gProgramFolderMutex);
  gProgramFolderOverride = folder.empty() ? folder : IncludeTrailingPathDelimiter(folder);
}

// ---- listing ------------------------------------------------------------------

namespace {

// Wildcard match of code-page-936 names: '*' any run, '?' one character
// (a double-byte character counts as one), ASCII letters case-insensitive.
bool MatchMask(std::string_view mask, std::string_view name) {
  auto charLen = [](std::string_view s, size_t i) -> size_t {
    return (IsDBCSLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
  };
  size_t m = 0, n = 0, starM = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starM = ++m;
      starN = n;
      continue;
    }
    if (m < mask.size()) {
      size_t ml = charLen(mask, m), nl = charLen(name, n);
      bool same = mask[m] == '?' ? true
                  : ml == nl && (ml == 1 ? AsciiLower(mask[m]) == AsciiLower(name[n])
                                         : mask.substr(m, 2) == name.substr(n, 2));
      if (same) {
        m += mask[m] == '?' ? 1 : ml;
        n += nl;
        continue;
      }
    }
    if (starM == std::string::npos) return false;
    m = starM;
    starN += charLen(name, starN);
    n = starN;
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

int FindFirst(const AnsiString& mask, int attr, TSearchRec& rec) {
  rec = TSearchRec();
  AnsiString dir = ExtractFilePath(mask);
  AnsiString pattern = ExtractFileName(mask);
  if (pattern == "*.*") pattern = "*";  // matches names without a dot too
  std::string nativeDir = dir.empty() ? std::string(".") : Native(dir);
  DIR* d = ::opendir(nativeDir.c_str());
  if (!d) return errno;
  std::vector<TSearchRec> found;
  while (dirent* e = ::readdir(d)) {
    std::string nm = e->d_name;
    if (nm == "." || nm == "..") continue;
    AnsiString ansi = NativeToAnsiPath(nm);
    if (!MatchMask(pattern, ansi)) continue;
    struct stat st {};
    std::string full = nativeDir + "/" + nm;
    if (::stat(full.c_str(), &st) != 0) continue;
    TSearchRec r;
    r.Name = ansi;
    r.Size = st.st_size;
    r.Time = ToDosDateTime(st.st_mtime);
    r.Attr = AttrOf(full, st, nm);
    if ((r.Attr & faDirectory) && !(attr & faDirectory)) continue;
    if ((r.Attr & faHidden) && !(attr & faHidden)) continue;
    found.push_back(std::move(r));
  }
  ::closedir(d);
  if (found.empty()) return ENOENT;
  std::sort(found.begin(), found.end(),
            [](const TSearchRec& a, const TSearchRec& b) { return a.Name > b.Name; });
  rec.pending_ = std::move(found);
  return FindNext(rec);
}

int FindNext(TSearchRec& rec) {
  if (rec.pending_.empty()) return ENOENT;
  TSearchRec next = std::move(rec.pending_.back());
  rec.pending_.pop_back();
  rec.Name = std::move(next.Name);
  rec.Size = next.Size;
  rec.Attr = next.Attr;
  rec.Time = next.Time;
  return 0;
}

void FindClose(TSearchRec& rec) { rec.pending_.clear(); }
