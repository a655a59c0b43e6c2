// TBaseLockMgr / TWinLockMgr: table and record locks of one connection,
// taken as byte-range locks in the lock file of connected users.
// Owned by the connection's TUdbDiskLocks.  Calls platform/core only.
//
// Regions.  Object n owns [base + n * region, base + (n + 1) * region)
// (base + n when the region is a single byte):
//
//   manager   base        region  object 0         failure texts
//   tables    0x800000    8192    database header  65138 read / 65139 write
//   records   0x2000000   1       -                65140 both
//
// A reader locks one byte of its object's region, drawn at random on every
// try, so readers share the region; a writer locks the whole region and
// so excludes everybody.  Record regions are one byte: reading and writing
// a record lock the same byte.
//
// States of one object in one manager (LockTypeOf):
//
//   0 none --SetReadLock--> 1 read --SetWriteLock (upgrade)--> 4 write
//   0 none --SetWriteLock--------------------------------------> 4 write
//   any    --Unlock / ReleaseAll--> 0 none
//
// An upgrade locks the parts of the region before and after the reader's
// byte, so a write lock got that way is three recorded items; the first
// (the reader's byte) is re-marked as a write item so that LockTypeOf
// answers 4.  A request for a lock the manager already holds (a read while
// holding the write lock included) is answered from its own records and
// never touches the file: the kernel refuses a handle's overlapping request
// against itself, which would only time out.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Component.h"

class TFileHandle;

enum : int { kLockRead = 1, kLockWrite = 4 };

inline constexpr std::int64_t kTableLockBase = 0x800000;
inline constexpr std::int64_t kTableLockRegion = 8192;
inline constexpr std::int64_t kRecordLockBase = 0x2000000;
inline constexpr std::int64_t kRecordLockRegion = 1;

// One lock held: the range [Address, Address + Size) of object ObjectId.
struct TLockItem {
  std::int64_t Size;
  int LockType;
  std::int64_t Address;
  std::int64_t ObjectId;
};

class TBaseLockMgr : public TObject {
 public:
  // handle: the lock file, not owned, open for as long as the manager.
  TBaseLockMgr(TFileHandle* handle, std::int64_t base, std::int64_t regionSize);
  ~TBaseLockMgr() override;  // releases every lock, never throws

  int RetryMaximum() const { return retryMaximum_; }
  void SetRetryMaximum(int n) { retryMaximum_ = n < 1 ? 1 : n; }
  int RetryInterval() const { return retryInterval_; }
  void SetRetryInterval(int ms) { retryInterval_ = ms < 0 ? 0 : ms; }
  void SetReadLockFailureText(const AnsiString& t) { readFailureText_ = t; }
  void SetWriteLockFailureText(const AnsiString& t) { writeFailureText_ = t; }
  const AnsiString& ReadLockFailureText() const { return readFailureText_; }
  const AnsiString& WriteLockFailureText() const { return writeFailureText_; }

  // True once a read (or stronger) lock of id is held; 10249 with the
  // read-lock failure text after RetryMaximum failed tries.
  bool SetReadLock(std::int64_t id, std::int64_t size);
  // Returns 4 once the write lock is held (upgrading a held read lock);
  // 10249 with the write-lock failure text after the retries.  size 0
  // means the whole region.
  int SetWriteLock(std::int64_t id, std::int64_t size);
  // Releases every range recorded for id, last recorded first.
  void Unlock(std::int64_t id);
  void ReleaseAll() noexcept;
  // 0 none, 1 read, 4 write.
  int LockTypeOf(std::int64_t id) const;
  // Re-requests every held lock as a write lock, in the order taken
  // (commit raises the transaction's read locks this way).
  void UpgradeAll();

  std::int64_t RegionStart(std::int64_t id) const;
  std::int64_t RegionSize() const { return regionSize_; }
  const std::vector<TLockItem>& Items() const { return items_; }

 protected:
  virtual bool UnlockRegion(std::int64_t address, std::int64_t size);
  virtual bool LockRegion(std::int64_t address, std::int64_t size, int lockType);
  virtual bool UpgradeReadLockToWriteLock(std::int64_t id);

  // Tries LockRegion up to RetryMaximum times, RetryInterval ms apart.
  bool LockWithRetries(std::int64_t address, std::int64_t size, int lockType);
  TFileHandle* Handle() const { return handle_; }
  std::vector<TLockItem> items_;

 private:
  TFileHandle* handle_;
  std::int64_t base_;
  std::int64_t regionSize_;
  int retryMaximum_ = 10;
  int retryInterval_ = 200;
  AnsiString readFailureText_;
  AnsiString writeFailureText_;
};

// The manager on the operating system's byte-range locks.
class TWinLockMgr : public TBaseLockMgr {
 public:
  TWinLockMgr(TFileHandle* handle, std::int64_t base, std::int64_t regionSize);

 protected:
  bool UnlockRegion(std::int64_t address, std::int64_t size) override;
  bool LockRegion(std::int64_t address, std::int64_t size, int lockType) override;
  bool UpgradeReadLockToWriteLock(std::int64_t id) override;
};

// The engine's pseudo-random source for reader bytes, seeded once.
std::int64_t UdbRandom(std::int64_t range);
