#include "platform/core/TempFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <set>
#include <string>

#include "platform/core/CodePage.h"
#include "platform/core/Exceptions.h"
#include "platform/core/SysInfo.h"

namespace {

std::string NativeTempFolder() {
  const char* dir = std::getenv("TMPDIR");
  std::string d = (dir && *dir) ? dir : "/tmp";
  if (d.back() != '/') d += '/';
  return d;
}

[[noreturn]] void MappingError(int err) {
  throw EInOutError("File mapping failed. " + SysErrorMessage(err));
}

}  // namespace

AnsiString TempFolder() { return Utf8ToAnsi(NativeTempFolder()); }

// ---- TTempFile -----------------------------------------------------------------

TTempFile::TTempFile(const AnsiString& prefix) {
  {
    // The first temporary file of a prefix in this process clears away
    // what crashed processes left with that prefix.
    static std::mutex mutex;
    static std::set<AnsiString> swept;
    std::lock_guard<std::mutex> lock(mutex);
    if (swept.insert(prefix).second) RemoveStaleTempFiles(prefix);
  }
  std::string templ = NativeTempFolder() + AnsiToUtf8(prefix) + "XXXXXX.tmp";
  int fd = ::mkostemps(templ.data(), 4, O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    throw EFCreateError("Cannot create file " + Utf8ToAnsi(templ) + ". " + SysErrorMessage(err));
  }
  native_ = templ;
  fileName_ = Utf8ToAnsi(templ);
  handle_ = TFileHandle(fd, true);
  // Marks the file as in use; see RemoveStaleTempFiles.
  handle_.TryLock(kTempAliveByte, 1);
}

void TTempFile::Close() noexcept {
  if (!handle_.IsOpen()) return;
  // Unlink first: once the handle is closed the file would look stale.
  ::unlink(native_.c_str());
  handle_.Close();
}

int RemoveStaleTempFiles(const AnsiString& prefix) {
  const std::string dir = NativeTempFolder();
  const std::string pre = AnsiToUtf8(prefix);
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 0;
  const time_t now = ::time(nullptr);
  int removed = 0;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name.size() != pre.size() + 10 || name.compare(0, pre.size(), pre) != 0 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0)
      continue;
    std::string path = dir + name;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    TFileHandle h(fd, true);
    struct stat st {};
    // A file a few seconds old may be between its creation and its alive
    // lock; only older files whose alive lock we can take ourselves are
    // stale.  Holding that lock while unlinking keeps the check and the
    // removal one step.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || now - st.st_mtime < kStaleAfterSeconds)
      continue;
    if (h.TryLock(kTempAliveByte, 1) && ::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(d);
  return removed;
}

// ---- TFileMapping ----------------------------------------------------------------

TFileMapping::TFileMapping(TFileHandle& handle, std::int64_t size, bool writable)
    : handle_(handle), writable_(writable) {
  std::int64_t fileSize = handle_.Size();
  if (fileSize < 0) MappingError(errno);
  if (size <= 0) size = fileSize;
  Map(size);
}

TFileMapping::~TFileMapping() { Unmap(); }

void TFileMapping::Map(std::int64_t size) {
  std::int64_t fileSize = handle_.Size();
  if (fileSize < 0) MappingError(errno);
  // Pages past the end of the file cannot be touched (SIGBUS), so the file
  // is first made as long as the mapping.
  if (size > fileSize) {
    if (!writable_) MappingError(EINVAL);
    if (!handle_.Truncate(size)) MappingError(errno);
  }
  if (size == 0) {
    data_ = nullptr;
    size_ = 0;
    return;
  }
  int prot = PROT_READ | (writable_ ? PROT_WRITE : 0);
  void* p = ::mmap(nullptr, static_cast<size_t>(size), prot, MAP_SHARED, handle_.Fd(), 0);
  if (p == MAP_FAILED) MappingError(errno);
  data_ = p;
  size_ = size;
}

void TFileMapping::Unmap() noexcept {
  if (data_) ::munmap(data_, static_cast<size_t>(size_));
  data_ = nullptr;
}

void TFileMapping::Grow(std::int64_t minSize) {
  if (minSize <= size_) return;
  std::int64_t target = std::max<std::int64_t>(minSize, size_ + size_ / 2);
  if (!writable_) MappingError(EINVAL);
  if (!handle_.Truncate(target)) MappingError(errno);
  void* p = data_ ? ::mremap(data_, static_cast<size_t>(size_), static_cast<size_t>(target),
                             MREMAP_MAYMOVE)
                  : ::mmap(nullptr, static_cast<size_t>(target), PROT_READ | PROT_WRITE,
                           MAP_SHARED, handle_.Fd(), 0);
  if (p == MAP_FAILED) MappingError(errno);
  data_ = p;
  size_ = target;
}

void TFileMapping::Flush() {
  if (data_ && ::msync(data_, static_cast<size_t>(size_), MS_SYNC) != 0) MappingError(errno);
}
