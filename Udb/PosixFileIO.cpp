// TPosixFileIO and the POSIX TUdbFileSystem; see UdbFileIO.h.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Udb/UdbFileIO.h"
#include "platform/core/CodePage.h"

namespace {

AnsiString ErrnoText(int error) { return Utf8ToAnsi(std::strerror(error)); }

class TPosixFileIO : public TUdbFileIO {
 public:
  explicit TPosixFileIO(int fd) : fd_(fd) {}
  ~TPosixFileIO() override { Close(); }

  std::int64_t ReadAt(std::int64_t offset, void* buffer, std::int64_t count) override {
    auto* p = static_cast<char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
      ssize_t n = ::pread(fd_, p + done, static_cast<size_t>(count - done), offset + done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return Fail();
      }
      if (n == 0) break;
      done += n;
    }
    return done;
  }

  std::int64_t WriteAt(std::int64_t offset, const void* buffer, std::int64_t count) override {
    const auto* p = static_cast<const char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
      ssize_t n = ::pwrite(fd_, p + done, static_cast<size_t>(count - done), offset + done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return Fail();
      }
      if (n == 0) break;
      done += n;
    }
    return done;
  }

  std::int64_t Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return Fail();
    return st.st_size;
  }

  bool SetSize(std::int64_t size) override { return ::ftruncate(fd_, size) == 0 || Fail() == 0; }
  bool Flush() override { return ::fdatasync(fd_) == 0 || Fail() == 0; }

  void Close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  int Handle() const override { return fd_; }
  AnsiString ErrorText() const override { return error_; }

 private:
  std::int64_t Fail() {
    error_ = ErrnoText(fd_ < 0 ? EBADF : errno);
    return -1;
  }

  int fd_;
  AnsiString error_;
};

class TPosixFileSystem : public TUdbFileSystem {
 public:
  std::unique_ptr<TUdbFileIO> Open(const AnsiString& path, const TUdbOpenMode& mode,
                                   AnsiString& errorText) override {
    int flags = (mode.read && mode.write) ? O_RDWR : mode.write ? O_WRONLY : O_RDONLY;
    int fd = ::open(AnsiToUtf8(path).c_str(), flags | O_CLOEXEC);
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

  std::unique_ptr<TUdbFileIO> Create(const AnsiString& path, AnsiString& errorText) override {
    int fd = ::open(AnsiToUtf8(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
      errorText = ErrnoText(errno);
      return nullptr;
    }
    return std::make_unique<TPosixFileIO>(fd);
  }

  bool Exists(const AnsiString& path) override {
    struct stat st;
    return ::stat(AnsiToUtf8(path).c_str(), &st) == 0;
  }

  bool IsReadOnly(const AnsiString& path) override {
    struct stat st;
    if (::stat(AnsiToUtf8(path).c_str(), &st) != 0) return false;
    return (st.st_mode & 0222) == 0;
  }

  bool Remove(const AnsiString& path) override { return ::unlink(AnsiToUtf8(path).c_str()) == 0; }
};

}  // namespace

TUdbFileSystem& PosixFileSystem() {
  static TPosixFileSystem fs;
  return fs;
}
