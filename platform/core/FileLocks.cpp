#include "platform/core/FileLocks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace {

// One fcntl lock request on [start, start + len).
bool OfdLock(int fd, int cmd, short type, std::int64_t start, std::int64_t len,
             struct flock* out = nullptr) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(start);
  fl.l_len = static_cast<off_t>(len);
  fl.l_pid = 0;  // required by OFD locks
  int rc;
  do {
    rc = fcntl(fd, cmd, &fl);
  } while (rc != 0 && errno == EINTR);
  if (out) *out = fl;
  return rc == 0;
}

bool Overlaps(std::int64_t a, std::int64_t alen, std::int64_t b, std::int64_t blen) {
  return a < b + blen && b < a + alen;
}

// A range the engine may lock: non-empty, non-negative, below the reserved range.
bool ValidRange(std::int64_t offset, std::int64_t length) {
  return length > 0 && offset >= 0 && offset < kShareLockBase &&
         length <= kShareLockBase - offset;
}

}  // namespace

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    canWrite_ = other.canWrite_;
    held_ = std::move(other.held_);
    other.held_.clear();
  }
  return *this;
}

void TFileHandle::Close() noexcept {
  if (fd_ >= 0) {
    // close() is not retried on EINTR: the descriptor is gone either way.
    ::close(fd_);
    fd_ = -1;
  }
  held_.clear();
}

std::map<std::int64_t, std::int64_t>::const_iterator TFileHandle::FirstOverlap(std::int64_t offset,
                                                                               std::int64_t length) const {
  // The range starting at or before offset may reach into it; else the
  // first one starting inside it.
  auto it = held_.upper_bound(offset);
  if (it != held_.begin()) {
    auto before = std::prev(it);
    if (Overlaps(before->first, before->second, offset, length)) return before;
  }
  if (it != held_.end() && Overlaps(it->first, it->second, offset, length)) return it;
  return held_.end();
}

bool TFileHandle::TryLock(std::int64_t offset, std::int64_t length) {
  if (fd_ < 0 || !ValidRange(offset, length)) {
    errno = EINVAL;
    return false;
  }
  // The kernel merges a handle's own overlapping locks; the semantics we
  // keep refuse them, so check our own table first.
  if (FirstOverlap(offset, length) != held_.end()) {
    errno = EAGAIN;
    return false;
  }
  // A descriptor opened read-only cannot hold a write lock; it takes a read
  // lock instead, which still excludes every writer and exclusive holder
  // but not other read-only handles (the best this access allows).
  short type = canWrite_ ? F_WRLCK : F_RDLCK;
  if (!OfdLock(fd_, F_OFD_SETLK, type, offset, length)) return false;
  held_.emplace(offset, length);
  return true;
}

bool TFileHandle::TryLockOver(std::int64_t offset, std::int64_t length) {
  if (fd_ < 0 || !ValidRange(offset, length)) {
    errno = EINVAL;
    return false;
  }
  auto first = FirstOverlap(offset, length);
  auto last = first;
  for (; last != held_.end() && last->first < offset + length; ++last) {
    if (last->first < offset || last->second > offset + length - last->first) {
      errno = EAGAIN;  // reaches out of the new range
      return false;
    }
  }
  // Our own locks inside are of the same type and merge into the new one;
  // the request conflicts only with other handles' locks.
  short type = canWrite_ ? F_WRLCK : F_RDLCK;
  if (!OfdLock(fd_, F_OFD_SETLK, type, offset, length)) return false;
  held_.erase(first, last);
  held_.emplace(offset, length);
  return true;
}

bool TFileHandle::Unlock(std::int64_t offset, std::int64_t length) {
  auto it = held_.find(offset);
  if (it == held_.end() || it->second != length) {
    errno = ENOLCK;
    return false;
  }
  // Held ranges never overlap, so unlocking exactly this range leaves
  // the others intact even where the kernel merged them.
  if (!OfdLock(fd_, F_OFD_SETLK, F_UNLCK, offset, length)) return false;
  held_.erase(it);
  return true;
}

bool TFileHandle::UnlockKeeping(std::int64_t offset, std::int64_t length,
                                std::vector<std::pair<std::int64_t, std::int64_t>> keep) {
  auto it = held_.find(offset);
  if (it == held_.end() || it->second != length) {
    errno = ENOLCK;
    return false;
  }
  std::sort(keep.begin(), keep.end());
  std::int64_t at = offset;
  for (const auto& [start, size] : keep) {
    if (size <= 0 || start < at || start + size > offset + length) {
      errno = EINVAL;
      return false;
    }
    at = start + size;
  }
  bool all = true;
  at = offset;
  for (const auto& [start, size] : keep) {
    if (start > at) all = OfdLock(fd_, F_OFD_SETLK, F_UNLCK, at, start - at) && all;
    at = start + size;
  }
  if (at < offset + length) all = OfdLock(fd_, F_OFD_SETLK, F_UNLCK, at, offset + length - at) && all;
  held_.erase(it);
  for (const auto& range : keep) held_.emplace(range);
  return all;
}

std::size_t TFileHandle::UnlockRanges(std::vector<std::pair<std::int64_t, std::int64_t>> ranges) {
  if (fd_ < 0) return 0;
  std::sort(ranges.begin(), ranges.end());
  std::size_t released = 0;
  std::size_t i = 0;
  while (i < ranges.size()) {
    auto it = held_.find(ranges[i].first);
    if (it == held_.end() || it->second != ranges[i].second) {
      ++i;
      continue;
    }
    // Extend the run while the next held range is the next listed one:
    // the span between them then holds no lock of ours that stays.
    auto runFirst = it;
    std::size_t j = i + 1;
    auto next = std::next(it);
    while (j < ranges.size() && next != held_.end() && next->first == ranges[j].first &&
           next->second == ranges[j].second) {
      it = next;
      ++next;
      ++j;
    }
    const std::int64_t start = runFirst->first;
    const std::int64_t end = it->first + it->second;
    if (OfdLock(fd_, F_OFD_SETLK, F_UNLCK, start, end - start)) {
      released += j - i;
      held_.erase(runFirst, next);
    }
    i = j;
  }
  return released;
}

bool TFileHandle::IsLockedByOther(std::int64_t offset, std::int64_t length) const {
  if (fd_ < 0 || length <= 0 || offset < 0) return false;
  struct flock fl {};
  if (!OfdLock(fd_, F_OFD_GETLK, F_WRLCK, offset, length, &fl)) return false;
  return fl.l_type != F_UNLCK;
}

std::int64_t TFileHandle::FirstLockedByOther(std::int64_t offset, std::int64_t length) const {
  if (fd_ < 0 || length <= 0 || offset < 0) return -1;
  // The system names one conflicting lock, not the lowest: narrow the range
  // to what lies below it until nothing does.
  std::int64_t found = -1;
  for (std::int64_t end = offset + length; end > offset;) {
    struct flock fl {};
    if (!OfdLock(fd_, F_OFD_GETLK, F_WRLCK, offset, end - offset, &fl) || fl.l_type == F_UNLCK) break;
    found = std::max<std::int64_t>(fl.l_start, offset);
    end = found;
  }
  return found;
}

bool TFileHandle::AcquireShareMode(const TShareRequest& r) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  // Hold the guard so that no other open checks and claims between our
  // check and our claim.  It is held for microseconds, so waiting is fine.
  // The guard needs a write lock; a read-only descriptor serialises with a
  // read lock on it, which still excludes every writer-capable opener.
  const std::int64_t guard = kShareLockBase;
  short guardType = canWrite_ ? F_WRLCK : F_RDLCK;
  if (!OfdLock(fd_, F_OFD_SETLKW, guardType, guard, 1)) {
    // A file system without byte-range locks cannot keep share modes;
    // refusing every open there would be worse than not enforcing them.
    return errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP;
  }

  auto heldByOther = [&](int slot) { return IsLockedByOther(kShareLockBase + slot, 1); };
  bool conflict = (r.read && heldByOther(3)) || (r.write && heldByOther(4)) ||
                  (r.denyRead && heldByOther(1)) || (r.denyWrite && heldByOther(2));
  bool ok = !conflict;
  if (ok) {
    const bool slots[5] = {false, r.read, r.write, r.denyRead, r.denyWrite};
    for (int slot = 1; slot < 5 && ok; ++slot) {
      if (!slots[slot]) continue;
      // A shared lock needs read access; a write-only descriptor takes the
      // write form, which is as visible to others' checks.
      short type = F_RDLCK;
      int flags = fcntl(fd_, F_GETFL);
      if (flags >= 0 && (flags & O_ACCMODE) == O_WRONLY) type = F_WRLCK;
      ok = OfdLock(fd_, F_OFD_SETLK, type, kShareLockBase + slot, 1);
    }
  }
  int saved = ok ? 0 : (conflict ? EBUSY : errno);
  OfdLock(fd_, F_OFD_SETLK, F_UNLCK, guard, 1);
  if (!ok) {
    // Drop whatever part of the claim was made.
    OfdLock(fd_, F_OFD_SETLK, F_UNLCK, kShareLockBase + 1, kShareLockSpan - 1);
    errno = saved;
  }
  return ok;
}

bool TFileHandle::LockAgainstOpens() {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  short guardType = canWrite_ ? F_WRLCK : F_RDLCK;
  if (!OfdLock(fd_, F_OFD_SETLKW, guardType, kShareLockBase, 1)) {
    // No byte-range locks on this file system: nothing can be known.
    return errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP;
  }
  if (IsLockedByOther(kShareLockBase + 1, kShareLockSpan - 1)) {
    OfdLock(fd_, F_OFD_SETLK, F_UNLCK, kShareLockBase, 1);
    errno = EBUSY;
    return false;
  }
  return true;
}

std::int64_t TFileHandle::ReadAt(void* buffer, std::int64_t count, std::int64_t offset) const {
  auto* p = static_cast<char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(fd_, p + done, static_cast<size_t>(count - done), offset + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileHandle::WriteAt(const void* buffer, std::int64_t count, std::int64_t offset) {
  const auto* p = static_cast<const char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    ssize_t n = ::pwrite(fd_, p + done, static_cast<size_t>(count - done), offset + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += n;
  }
  return done;
}

std::int64_t TFileHandle::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

bool TFileHandle::Truncate(std::int64_t size) {
  int rc;
  do {
    rc = ::ftruncate(fd_, static_cast<off_t>(size));
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

bool TFileHandle::Flush() { return ::fdatasync(fd_) == 0; }
