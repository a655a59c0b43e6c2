// FileLocks: an open file handle (TFileHandle) with the byte-range locks the
// database engine builds on, and the emulation of the share modes with
// which a file is opened.  platform/core; POSIX only.
//
// Lock semantics (those of the kernel's LockFile/UnlockFile that the engine
// was written against):
//  - A lock is exclusive and belongs to one open handle.  Two handles on the
//    same file conflict even inside one process; a handle also conflicts with
//    itself: a range overlapping one it already holds is refused.
//  - TryLock never waits: it returns false at once when any part of the
//    range is held.  Ranges may lie beyond the end of the file; offsets are
//    64-bit.  Unlock releases exactly a range locked before (same offset and
//    length), otherwise returns false.
//  - Every lock of a handle goes when that handle is closed, and only then:
//    closing another descriptor of the same file (another handle, a stream
//    opened on the same name) leaves them alone.
//
// They are built on open-file-description locks (F_OFD_SETLK/F_OFD_GETLK).
// Classic POSIX record locks (F_SETLK) would be wrong twice over: they
// belong to the process, so two handles in one process would not conflict,
// and a process loses all of them when it closes any descriptor of the file.
// An open file description is shared by dup() and inherited across fork(),
// so a TFileHandle is never duplicated: it is move-only.
//
// Share modes.  Opening with a share mode (exclusive, deny write, deny
// read, deny none) is emulated with shared OFD locks on a reserved range far
// beyond any real data, [kShareLockBase, kShareLockBase + kShareLockSpan):
//   kShareLockBase + 0  guard, held exclusively for the instant of the check
//   kShareLockBase + 1  held (shared) by every handle opened with read access
//   kShareLockBase + 2  held (shared) by every handle opened with write access
//   kShareLockBase + 3  held (shared) by every handle that denies reading
//   kShareLockBase + 4  held (shared) by every handle that denies writing
// An open succeeds when none of the others denies an access it asks for and
// it denies no access one of the others holds.  Deleting or replacing a file
// that another handle has open is refused (LockAgainstOpens), as the system
// expects: a lock file deleted under a running copy would split the copies
// between two files.  Byte-range locks of the
// engine must stay below kShareLockBase.  Files opened by programs that do
// not follow this protocol are not seen, and on a file system without
// byte-range locks share modes are not enforced.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

// First byte of the range reserved for the share-mode emulation: 2^63 - 256.
inline constexpr std::int64_t kShareLockBase = INT64_C(0x7FFFFFFFFFFFFF00);
inline constexpr std::int64_t kShareLockSpan = 5;
static_assert(kShareLockBase + kShareLockSpan > kShareLockBase, "reserved range overflows");

// Access and share requests of an open, as in the file-mode constants
// (fmOpenRead.., fmShare..) of Files.h.
struct TShareRequest {
  bool read = false;    // this handle reads
  bool write = false;   // this handle writes
  bool denyRead = false;   // others may not read while this handle is open
  bool denyWrite = false;  // others may not write while this handle is open
};

// An open file descriptor with its byte-range locks.  Move-only; closes the
// descriptor (and so releases every lock it holds) when destroyed.
// Not thread-safe: one handle is used by one thread at a time.
class TFileHandle {
 public:
  TFileHandle() = default;
  // Takes ownership of fd (-1 for none).  canWrite tells whether the
  // descriptor was opened for writing, which exclusive locks need.
  explicit TFileHandle(int fd, bool canWrite = true) : fd_(fd), canWrite_(canWrite) {}
  ~TFileHandle() { Close(); }
  TFileHandle(TFileHandle&& other) noexcept { *this = std::move(other); }
  TFileHandle& operator=(TFileHandle&& other) noexcept;
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  // Closes the descriptor; every lock of this handle is released.  Never throws.
  void Close() noexcept;

  // Exclusive lock of [offset, offset + length) without waiting.  false
  // when another handle (in this or another process) holds any byte of it,
  // when this handle already holds an overlapping range, for length <= 0,
  // for a negative offset or a range reaching the reserved share-lock range.
  bool TryLock(std::int64_t offset, std::int64_t length);
  // As TryLock, except that ranges this handle holds wholly inside the new
  // one are taken into it: afterwards the handle holds the one range in
  // their place (the kernel merges them; nothing is unlocked meanwhile, so
  // no other handle can slip in).  false, with nothing changed, when a held
  // range overlaps it only partly or another handle holds any byte of it.
  bool TryLockOver(std::int64_t offset, std::int64_t length);
  // Releases a range locked before with exactly this offset and length;
  // false when no such lock is held.
  bool Unlock(std::int64_t offset, std::int64_t length);
  // Releases such a range except the listed ranges inside it, which stay
  // held as ranges of their own (what TryLockOver took in, given back):
  // only the gaps between them are unlocked, so no other handle can slip
  // into a kept range meanwhile.  false when the range is not held or a
  // listed range lies outside it or overlaps another.
  bool UnlockKeeping(std::int64_t offset, std::int64_t length,
                     std::vector<std::pair<std::int64_t, std::int64_t>> keep);
  // Releases every listed range (each locked before with exactly that offset
  // and length; others are skipped).  Held ranges that follow one another
  // in the file with no other held range between them go in one system
  // call, so releasing many locks costs one pass over the kernel's list
  // instead of one pass per lock.  Returns the number released.
  std::size_t UnlockRanges(std::vector<std::pair<std::int64_t, std::int64_t>> ranges);
  // True when another handle holds a lock on some byte of the range.
  bool IsLockedByOther(std::int64_t offset, std::int64_t length) const;
  // The lowest byte of the range that another handle holds a lock on, or
  // -1 when there is none.
  std::int64_t FirstLockedByOther(std::int64_t offset, std::int64_t length) const;
  // Ranges this handle holds, as offset -> length, in file order.
  const std::map<std::int64_t, std::int64_t>& HeldRanges() const { return held_; }

  // Claims the share mode of this open (see the header comment).  false
  // (with errno EBUSY) when it conflicts with another handle's open.
  bool AcquireShareMode(const TShareRequest& request);
  // For deleting, renaming or replacing the file: takes the share guard,
  // which keeps every other open from completing until this handle closes,
  // and returns true when no other handle has the file open.  On false the
  // guard is given back (errno EBUSY).  Open with a plain descriptor, not
  // through FileOpen, so that this handle claims no share mode itself.
  bool LockAgainstOpens();

  // Positioned I/O that retries short transfers.  Return the bytes moved,
  // -1 on error (errno set); ReadAt returns less than count only at EOF.
  std::int64_t ReadAt(void* buffer, std::int64_t count, std::int64_t offset) const;
  std::int64_t WriteAt(const void* buffer, std::int64_t count, std::int64_t offset);
  // Size of the file, -1 on error.
  std::int64_t Size() const;
  // Sets the file's size (extends with zeros); false on error.
  bool Truncate(std::int64_t size);
  // Writes the file's data through to the disk; false on error.
  bool Flush();

 private:
  int fd_ = -1;
  bool canWrite_ = true;
  // Held ranges by offset.  They never overlap, so the neighbours of an
  // offset answer every overlap question in O(log n): a connection may
  // hold many thousands of record locks inside one transaction.
  std::map<std::int64_t, std::int64_t> held_;
  // The first held range overlapping [offset, offset + length), or end().
  std::map<std::int64_t, std::int64_t>::const_iterator FirstOverlap(std::int64_t offset,
                                                                    std::int64_t length) const;
};

// The kernel's names for the same operations.
inline bool LockFile(TFileHandle& handle, std::int64_t offset, std::int64_t length) {
  return handle.TryLock(offset, length);
}
inline bool UnlockFile(TFileHandle& handle, std::int64_t offset, std::int64_t length) {
  return handle.Unlock(offset, length);
}
