#include "Udb/LockMgr.h"

#include <chrono>
#include <mutex>
#include <random>

#include "Udb/UdbErrors.h"
#include "platform/core/FileLocks.h"
#include "platform/core/SysInfo.h"

std::int64_t UdbRandom(std::int64_t range) {
  static std::mutex m;
  static std::mt19937_64 gen{std::random_device{}()};
  if (range <= 1) return 0;
  std::lock_guard<std::mutex> g(m);
  return static_cast<std::int64_t>(gen() % static_cast<std::uint64_t>(range));
}

TBaseLockMgr::TBaseLockMgr(TFileHandle* handle, std::int64_t base, std::int64_t regionSize)
    : handle_(handle), base_(base), regionSize_(regionSize) {
  PAYROLL_ASSERT(handle != nullptr && handle->IsOpen(), "File handle is not set");
  PAYROLL_ASSERT(regionSize > 0, "Lock region size is 0");
}

TBaseLockMgr::~TBaseLockMgr() { ReleaseAll(); }

std::int64_t TBaseLockMgr::RegionStart(std::int64_t id) const {
  return regionSize_ < 2 ? base_ + id : base_ + id * regionSize_;
}

bool TBaseLockMgr::UnlockRegion(std::int64_t, std::int64_t) { return false; }
bool TBaseLockMgr::LockRegion(std::int64_t, std::int64_t, int) { return false; }
bool TBaseLockMgr::UpgradeReadLockToWriteLock(std::int64_t) { return false; }

// Between two tries the region is polled every 2 ms as well: a lock freed
// for a moment (between two commits of other connections) is caught, so
// waiters are served in turn instead of whoever polls at the right
// instant.  The time-out stays RetryMaximum tries RetryInterval apart.
bool TBaseLockMgr::LockWithRetries(std::int64_t address, std::int64_t size, int lockType) {
  constexpr unsigned kPollMs = 2;
  for (int attempt = 0; attempt < retryMaximum_; ++attempt) {
    if (LockRegion(address, size, lockType)) return true;
    if (attempt + 1 >= retryMaximum_) break;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(retryInterval_);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      if (left.count() <= static_cast<long>(kPollMs)) {
        if (left.count() > 0) Sleep(static_cast<unsigned>(left.count()));
        break;
      }
      Sleep(kPollMs);
      if (LockRegion(address, size, lockType)) return true;
    }
  }
  return false;
}

int TBaseLockMgr::LockTypeOf(std::int64_t id) const {
  for (const TLockItem& item : items_)
    if (item.ObjectId == id) return item.LockType;
  return 0;
}

bool TBaseLockMgr::SetReadLock(std::int64_t id, std::int64_t size) {
  // Held already, as read or as write: a write lock covers reading.
  if (LockTypeOf(id) != 0) return true;
  if (handle_ == nullptr || !handle_->IsOpen())
    UdbDatabaseError(udberr::kCannotOpen, "TUdbFile.ReadLockUdbFile");
  if (size == 0) size = 1;
  PAYROLL_ASSERT(size <= regionSize_, "Lock Request size is out of range");
  const std::int64_t start = RegionStart(id);
  for (int attempt = 0; attempt < retryMaximum_; ++attempt) {
    std::int64_t address = start;
    if (regionSize_ > 1) address = start + UdbRandom(regionSize_ - size + 1);
    if (LockRegion(address, size, kLockRead)) {
      items_.push_back({size, kLockRead, address, id});
      return true;
    }
    if (attempt + 1 < retryMaximum_) Sleep(static_cast<unsigned>(retryInterval_));
  }
  UdbDatabaseError(udberr::kLockTimeout, "TBaseLockMgr.SetReadLock", readFailureText_);
}

int TBaseLockMgr::SetWriteLock(std::int64_t id, std::int64_t size) {
  if (handle_ == nullptr || !handle_->IsOpen())
    UdbDatabaseError(udberr::kSystemFileIO, "TUdbFile.SetWriteLock", "File handle is invalid");
  PAYROLL_ASSERT(size <= regionSize_, "Lock size is greater than lock region");
  int held = LockTypeOf(id);
  if (held == kLockWrite) return kLockWrite;
  if (held == kLockRead) {
    if (!UpgradeReadLockToWriteLock(id))
      UdbDatabaseError(udberr::kLockTimeout, "TBaseLockMgr.UpgradeReadLockToWriteLock",
                       writeFailureText_);
    return kLockWrite;
  }
  if (size == 0) size = regionSize_;
  const std::int64_t start = RegionStart(id);
  if (!LockWithRetries(start, size, kLockWrite))
    UdbDatabaseError(udberr::kLockTimeout, "TBaseLockMgr.SetWriteLock", writeFailureText_);
  items_.push_back({size, kLockWrite, start, id});
  return kLockWrite;
}

void TBaseLockMgr::Unlock(std::int64_t id) {
  for (size_t i = items_.size(); i-- > 0;) {
    if (items_[i].ObjectId != id) continue;
    UnlockRegion(items_[i].Address, items_[i].Size);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void TBaseLockMgr::ReleaseAll() noexcept {
  for (size_t i = items_.size(); i-- > 0;) {
    try {
      UnlockRegion(items_[i].Address, items_[i].Size);
    } catch (...) {
      // Release paths never throw; the handle's close frees the rest.
    }
  }
  items_.clear();
}

void TBaseLockMgr::UpgradeAll() {
  std::vector<TLockItem> copy = items_;
  for (const TLockItem& item : copy) SetWriteLock(item.ObjectId, item.Size);
}

TWinLockMgr::TWinLockMgr(TFileHandle* handle, std::int64_t base, std::int64_t regionSize)
    : TBaseLockMgr(handle, base, regionSize) {}

bool TWinLockMgr::UnlockRegion(std::int64_t address, std::int64_t size) {
  if (Handle() == nullptr || !Handle()->IsOpen())
    UdbDatabaseError(udberr::kSystemFileIO, "TUdbFile.UnlockUdbFile", "File handle is invalid");
  return UnlockFile(*Handle(), address, size);
}

bool TWinLockMgr::LockRegion(std::int64_t address, std::int64_t size, int) {
  return LockFile(*Handle(), address, size);
}

bool TWinLockMgr::UpgradeReadLockToWriteLock(std::int64_t id) {
  size_t readIndex = items_.size();
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].ObjectId == id && items_[i].LockType == kLockRead) {
      readIndex = i;
      break;
    }
  PAYROLL_ASSERT(readIndex < items_.size(), "No existing read lock can not be found");
  const std::int64_t start = RegionStart(id);
  const std::int64_t end = start + RegionSize();
  const std::int64_t r = items_[readIndex].Address;
  const std::int64_t s = items_[readIndex].Size;
  bool beforeTaken = false;
  if (r > start) {
    if (!LockWithRetries(start, r - start, kLockWrite)) return false;
    beforeTaken = true;
  }
  if (r + s < end) {
    if (!LockWithRetries(r + s, end - (r + s), kLockWrite)) {
      // Give the first part back; the reader's byte stays held as a read lock.
      if (beforeTaken) UnlockRegion(start, r - start);
      return false;
    }
  }
  if (beforeTaken) items_.push_back({r - start, kLockWrite, start, id});
  if (r + s < end) items_.push_back({end - (r + s), kLockWrite, r + s, id});
  // Record the upgrade on the reader's own item, so LockTypeOf answers 4.
  items_[readIndex].LockType = kLockWrite;
  return true;
}
