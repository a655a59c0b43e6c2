// TPosixFileIO and the POSIX TUdbFileSystem; see UdbFileIO.h.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "Udb/UdbFileIO.h"
#include "platform/core/CodePage.h"
#include "platform/core/FileLocks.h"
#include "platform/core/Files.h"
#include "platform/core/FileModes.h"

namespace {

AnsiString ErrnoText(int error) { return Utf8ToAnsi(std::strerror(error)); }

// The database file over a platform file handle, whose positioned I/O
// already retries interrupted and short transfers.
class TPosixFileIO : public TUdbFileIO {
 public:
  explicit TPosixFileIO(int fd) : file_(fd) {}
  ~TPosixFileIO() override { Close(); }

  std::int64_t ReadAt(std::int64_t offset, void* buffer, std::int64_t count) override {
    std::int64_t n = file_.ReadAt(buffer, count, offset);
    return n < 0 ? Fail() : n;
  }

  // One preadv for the whole run, taken up again after an interruption or
  // a short transfer at the byte where it stopped.
  std::int64_t ReadScattered(std::int64_t offset, std::uint8_t* const* buffers, int count,
                             std::int64_t size) override {
    const std::int64_t total = count * size;
    std::vector<iovec> spans(static_cast<size_t>(count));
    std::int64_t done = 0;
    while (done < total) {
      int n = 0;
      for (std::int64_t at = done; at < total; at = (at / size + 1) * size, ++n)
        spans[static_cast<size_t>(n)] = {buffers[at / size] + at % size, static_cast<size_t>(size - at % size)};
      const ssize_t got = ::preadv(file_.Fd(), spans.data(), n, offset + done);
      if (got < 0) {
        if (errno == EINTR) continue;
        return Fail();
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  std::int64_t WriteAt(std::int64_t offset, const void* buffer, std::int64_t count) override {
    std::int64_t n = file_.WriteAt(buffer, count, offset);
    return n < 0 ? Fail() : n;
  }

  // pwritev in runs of at most IOV_MAX buffers, taken up again after an
  // interruption or a short transfer at the byte where it stopped.
  std::int64_t WriteGathered(std::int64_t offset, const std::uint8_t* const* buffers, int count,
                             std::int64_t size) override {
    const std::int64_t total = count * size;
    const std::int64_t most = static_cast<std::int64_t>(IOV_MAX);
    std::vector<iovec> spans(static_cast<size_t>(std::min<std::int64_t>(count, most)));
    std::int64_t done = 0;
    while (done < total) {
      int n = 0;
      for (std::int64_t at = done; at < total && n < most; at = (at / size + 1) * size, ++n)
        spans[static_cast<size_t>(n)] = {const_cast<std::uint8_t*>(buffers[at / size]) + at % size,
                                         static_cast<size_t>(size - at % size)};
      const ssize_t put = ::pwritev(file_.Fd(), spans.data(), n, offset + done);
      if (put < 0) {
        if (errno == EINTR) continue;
        return Fail();
      }
      if (put == 0) {
        errno = EIO;
        return Fail();
      }
      done += put;
    }
    return done;
  }

  std::int64_t Size() override {
    std::int64_t n = file_.Size();
    return n < 0 ? Fail() : n;
  }

  bool SetSize(std::int64_t size) override { return file_.Truncate(size) || Fail() == 0; }
  bool Flush() override { return file_.Flush() || Fail() == 0; }
  void Close() override { file_.Close(); }
  int Handle() const override { return file_.Fd(); }
  AnsiString ErrorText() const override { return error_; }

 private:
  std::int64_t Fail() {
    error_ = ErrnoText(file_.IsOpen() ? errno : EBADF);
    return -1;
  }

  TFileHandle file_;
  AnsiString error_;
};

class TPosixFileSystem : public TUdbFileSystem {
 public:
  std::unique_ptr<TUdbFileIO> Open(const AnsiString& path, const TUdbOpenMode& mode,
                                   AnsiString& errorText) override {
    int flags = (mode.read && mode.write) ? O_RDWR : mode.write ? O_WRONLY : O_RDONLY;
    int fd = ::open(MapPath(path).c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
      errorText = ErrnoText(errno);
      return nullptr;
    }
    // Sharing: exclusive openers hold LOCK_EX, shared ones LOCK_SH, so each
    // kind refuses the other (flock does not interact with byte-range locks).
    if (::flock(fd, (mode.exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
      errorText = errno == EWOULDBLOCK ? AnsiString("The file is in use by another connection")
                                       : ErrnoText(errno);
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<TPosixFileIO>(fd);
  }

  // A new file (database, journal, copy) is readable and writable by its
  // owner and group only, whatever the umask: operators who share the
  // data folder through a group keep working, others read nothing.  The
  // mode is given to the new file itself (never through the process-wide
  // umask, which other threads' files would see).  An existing file that
  // is truncated keeps the mode its owner gave it.
  std::unique_ptr<TUdbFileIO> Create(const AnsiString& path, AnsiString& errorText) override {
    const std::string native = MapPath(path);
    int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kDataFileMode);
    if (fd >= 0) {
      if (::fchmod(fd, kDataFileMode) != 0) {
        errorText = ErrnoText(errno);
        ::close(fd);
        ::unlink(native.c_str());
        return nullptr;
      }
    } else if (errno == EEXIST) {
      fd = ::open(native.c_str(), O_RDWR | O_TRUNC | O_CLOEXEC);
    }
    if (fd < 0) {
      errorText = ErrnoText(errno);
      return nullptr;
    }
    return std::make_unique<TPosixFileIO>(fd);
  }

  bool Exists(const AnsiString& path) override {
    struct stat st;
    return ::stat(MapPath(path).c_str(), &st) == 0;
  }

  AnsiString SpelledOnDisk(const AnsiString& path) override { return NativeToAnsiPath(MapPath(path)); }

  bool ExistsAsSpelled(const AnsiString& path) override {
    // Asked for the journal at every table lock: the conversion of the
    // name to the native spelling is remembered for the last name asked.
    thread_local AnsiString lastPath;
    thread_local std::string lastNative;
    if (lastNative.empty() || path != lastPath) {
      lastNative = MapPathAsSpelled(path);
      lastPath = path;
    }
    struct stat st;
    return ::stat(lastNative.c_str(), &st) == 0;
  }

  bool IsReadOnly(const AnsiString& path) override {
    struct stat st;
    if (::stat(MapPath(path).c_str(), &st) != 0) return false;
    return (st.st_mode & 0222) == 0;
  }

  bool Remove(const AnsiString& path) override { return ::unlink(MapPath(path).c_str()) == 0; }
  bool Rename(const AnsiString& from, const AnsiString& to) override {
    return ::rename(MapPath(from).c_str(), MapPath(to).c_str()) == 0;
  }

  bool SyncDirectoryOf(const AnsiString& path) override {
    std::string native = MapPath(path);
    size_t slash = native.rfind('/');
    std::string directory = slash == std::string::npos ? std::string(".") : native.substr(0, slash + 1);
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
  }

  bool SameFile(const AnsiString& a, const AnsiString& b) override {
    struct stat sa, sb;
    if (::stat(MapPath(a).c_str(), &sa) != 0 || ::stat(MapPath(b).c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }
};

}  // namespace

TUdbFileSystem& PosixFileSystem() {
  static TPosixFileSystem fs;
  return fs;
}
