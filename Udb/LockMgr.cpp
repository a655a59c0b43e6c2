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

bool TBaseLockMgr::LockWithRetries(std::int64_t address, std::int64_t size, int lockType) {
  return Poll([&]() { return LockRegion(address, size, lockType); });
}

bool TBaseLockMgr::Poll(const std::function<bool()>& attempt) {
  constexpr unsigned kPollMs = 2;
  for (int tried = 0; tried < retryMaximum_; ++tried) {
    if (attempt()) return true;
    if (tried + 1 >= retryMaximum_) break;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(retryInterval_);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      if (left.count() <= static_cast<long>(kPollMs)) {
        if (left.count() > 0) Sleep(static_cast<unsigned>(left.count()));
        break;
      }
      Sleep(kPollMs);
      if (attempt()) return true;
    }
  }
  return false;
}

std::size_t TBaseLockMgr::TObjectIndex::SlotOf(std::int64_t id) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = Home(id);
  while (slots_[i].Used() && slots_[i].id != id) i = (i + 1) & mask;
  return i;
}

TBaseLockMgr::TObjectLocks* TBaseLockMgr::TObjectIndex::Find(std::int64_t id) {
  if (used_ == 0) return nullptr;
  TSlot& slot = slots_[SlotOf(id)];
  return slot.Used() ? &slot.locks : nullptr;
}

const TBaseLockMgr::TObjectLocks* TBaseLockMgr::TObjectIndex::Find(std::int64_t id) const {
  if (used_ == 0) return nullptr;
  const TSlot& slot = slots_[SlotOf(id)];
  return slot.Used() ? &slot.locks : nullptr;
}

void TBaseLockMgr::TObjectIndex::Grow() {
  std::vector<TSlot> old;
  old.swap(slots_);
  const std::size_t size = old.empty() ? 16 : old.size() * 2;
  slots_.assign(size, TSlot{});
  shift_ = 64;
  for (std::size_t n = size; n > 1; n >>= 1) --shift_;
  for (const TSlot& slot : old)
    if (slot.Used()) slots_[SlotOf(slot.id)] = slot;
}

TBaseLockMgr::TObjectLocks& TBaseLockMgr::TObjectIndex::Get(std::int64_t id, TObjectLocks initial) {
  if (2 * (used_ + 1) > slots_.size()) Grow();
  TSlot& slot = slots_[SlotOf(id)];
  if (!slot.Used()) {
    slot = TSlot{id, initial};
    ++used_;
  }
  return slot.locks;
}

void TBaseLockMgr::TObjectIndex::Erase(std::int64_t id) {
  if (used_ == 0) return;
  const std::size_t mask = slots_.size() - 1;
  std::size_t hole = SlotOf(id);
  if (!slots_[hole].Used()) return;
  // Entries after the hole whose home is not between it and them move back.
  for (std::size_t j = (hole + 1) & mask; slots_[j].Used(); j = (j + 1) & mask) {
    const std::size_t home = Home(slots_[j].id);
    const bool stays = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
    if (stays) continue;
    slots_[hole] = slots_[j];
    hole = j;
  }
  slots_[hole].locks.type = 0;
  --used_;
}

void TBaseLockMgr::TObjectIndex::Clear() {
  if (slots_.size() > 1024) {
    slots_.clear();
    slots_.shrink_to_fit();
    shift_ = 64;
  } else if (used_ > 0) {
    for (TSlot& slot : slots_) slot.locks.type = 0;
  }
  used_ = 0;
}

void TBaseLockMgr::Record(const TLockItem& item) {
  items_.push_back(item);
  ++byId_.Get(item.ObjectId, TObjectLocks{item.LockType, 0}).count;
}

void TBaseLockMgr::RecordCovered(std::int64_t id) { byId_.Get(id, TObjectLocks{kLockWrite, 0}); }

void TBaseLockMgr::MarkWrite(std::int64_t id) {
  if (TObjectLocks* locks = byId_.Find(id)) locks->type = kLockWrite;
}

int TBaseLockMgr::LockTypeOf(std::int64_t id) const {
  const TObjectLocks* locks = byId_.Find(id);
  return locks ? locks->type : 0;
}

void TBaseLockMgr::SetEscalation(std::int64_t blockObjects, int threshold, int crowdLimit) {
  blockObjects_ = blockObjects < 0 ? 0 : blockObjects;
  blockThreshold_ = threshold < 1 ? 1 : threshold;
  crowdLimit_ = crowdLimit < 0 ? 0 : crowdLimit;
}

std::int64_t TBaseLockMgr::BlockOf(std::int64_t id) const { return id / blockObjects_; }

bool TBaseLockMgr::BlockCovers(std::int64_t id) const {
  return !blocks_.empty() && id >= 0 && blocks_.count(BlockOf(id)) != 0;
}

bool TBaseLockMgr::OwnsRange(const TLockItem& item) const {
  return item.Size > 0 && !BlockCovers(item.ObjectId);
}

void TBaseLockMgr::SetBlockBridging(int maxBridge, TBlockTest test) {
  maxBridge_ = maxBridge < 0 ? 0 : maxBridge;
  bridgeTest_ = std::move(test);
}

bool TBaseLockMgr::TakeBlocks(std::int64_t first, std::int64_t last) {
  const std::int64_t start = RegionStart(first * blockObjects_);
  const std::int64_t size = RegionStart((last + 1) * blockObjects_) - start;
  if (!LockBlockRegion(start, size)) return false;
  blockRanges_.emplace_back(start, size);
  for (std::int64_t b = first; b <= last; ++b) {
    blocks_.insert(b);
    blockCounts_.erase(b);
  }
  return true;
}

std::int64_t TBaseLockMgr::BridgeEnd(std::int64_t block, int step) {
  if (maxBridge_ <= 0 || !bridgeTest_ || blocks_.empty()) return block;
  // The nearest held block first (cheap look-ups), then the test for each
  // block between, which may read the file.
  std::int64_t held = -1;
  for (int k = 1; k <= maxBridge_ + 1; ++k) {
    const std::int64_t b = block + step * k;
    if (b < 0) break;
    if (blocks_.count(b) != 0) {
      held = b;
      break;
    }
  }
  if (held < 0) return block;
  for (std::int64_t b = block + step; b != held; b += step)
    if (blocks_.count(b) != 0 || !bridgeTest_(b, block)) return block;
  return held - step;
}

bool TBaseLockMgr::CountTowardsBlock(std::int64_t id) {
  if (blockObjects_ <= 0 || id < 0) return false;
  const std::int64_t block = BlockOf(id);
  auto [it, added] = blockCounts_.try_emplace(block, TBlockCount{0, blockThreshold_, false});
  (void)added;
  TBlockCount& c = it->second;
  ++c.requests;
  const bool crowded = crowdLimit_ > 0 && looseRanges_ >= crowdLimit_ && !c.refused;
  if (c.requests < c.nextTry && !crowded) return false;
  const std::int64_t low = BridgeEnd(block, -1);
  const std::int64_t high = BridgeEnd(block, +1);
  // TakeBlocks forgets the count (c) on success.
  if ((low != block || high != block) && TakeBlocks(low, high)) return true;
  if (TakeBlocks(block, block)) return true;
  // Another handle holds a byte of it: the objects keep their own locks.
  c.nextTry = c.requests * 2;
  c.refused = true;
  return false;
}

bool TBaseLockMgr::SetReadLock(std::int64_t id, std::int64_t size) {
  // Held already, as read or as write: a write lock covers reading.
  if (LockTypeOf(id) != 0) return true;
  if (handle_ == nullptr || !handle_->IsOpen())
    UdbDatabaseError(udberr::kCannotOpen, "TUdbFile.ReadLockUdbFile");
  if (size == 0) size = 1;
  PAYROLL_ASSERT(size <= regionSize_, "Lock Request size is out of range");
  const std::int64_t start = RegionStart(id);
  if (BlockCovers(id)) {
    // The block is written-locked: reading is covered as well.
    RecordCovered(id);
    return true;
  }
  // A fresh byte at every try: a writer's partial upgrade may hold some.
  const bool got = Poll([&]() {
    std::int64_t address = start;
    if (regionSize_ > 1) address = start + UdbRandom(regionSize_ - size + 1);
    if (!LockRegion(address, size, kLockRead)) return false;
    Record({size, kLockRead, address, id});
    return true;
  });
  if (got) return true;
  UdbDatabaseError(udberr::kLockTimeout, "TBaseLockMgr.SetReadLock", readFailureText_);
}

int TBaseLockMgr::SetWriteLock(std::int64_t id, std::int64_t size, bool mayEscalate) {
  if (handle_ == nullptr || !handle_->IsOpen())
    UdbDatabaseError(udberr::kSystemFileIO, "TUdbFile.SetWriteLock", "File handle is invalid");
  PAYROLL_ASSERT(size <= regionSize_, "Lock size is greater than lock region");
  int held = LockTypeOf(id);
  if (held == kLockWrite) return kLockWrite;
  if (held == kLockRead) {
    if (BlockCovers(id) || UpgradeReadLockToWriteLock(id)) {
      MarkWrite(id);
      return kLockWrite;
    }
    UdbDatabaseError(udberr::kLockTimeout, "TBaseLockMgr.UpgradeReadLockToWriteLock",
                     writeFailureText_);
  }
  if (size == 0) size = regionSize_;
  const std::int64_t start = RegionStart(id);
  // No range of its own: the block's lock covers it.
  if (BlockCovers(id) || (mayEscalate && CountTowardsBlock(id))) {
    RecordCovered(id);
    return kLockWrite;
  }
  if (!LockWithRetries(start, size, kLockWrite))
    UdbDatabaseError(udberr::kLockTimeout, "TBaseLockMgr.SetWriteLock", writeFailureText_);
  Record({size, kLockWrite, start, id});
  if (mayEscalate) ++looseRanges_;
  return kLockWrite;
}

bool TBaseLockMgr::TryWriteLock(std::int64_t id, std::int64_t size) {
  if (handle_ == nullptr || !handle_->IsOpen())
    UdbDatabaseError(udberr::kSystemFileIO, "TUdbFile.SetWriteLock", "File handle is invalid");
  if (LockTypeOf(id) == kLockWrite) return true;
  PAYROLL_ASSERT(LockTypeOf(id) == 0, "A held read lock is upgraded, not tried");
  if (size == 0) size = regionSize_;
  const std::int64_t start = RegionStart(id);
  if (!LockRegion(start, size, kLockWrite)) return false;
  Record({size, kLockWrite, start, id});
  return true;
}

void TBaseLockMgr::Unlock(std::int64_t id) {
  const TObjectLocks* found = byId_.Find(id);
  if (!found) return;
  int left = found->count;
  byId_.Erase(id);
  // An object's items are usually the last ones taken: walk from the end
  // and stop at its last item.
  for (size_t i = items_.size(); i-- > 0 && left > 0;) {
    if (items_[i].ObjectId != id) continue;
    if (OwnsRange(items_[i])) UnlockRegion(items_[i].Address, items_[i].Size);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
    --left;
  }
}

void TBaseLockMgr::ReleaseAll() noexcept {
  std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
  ranges.reserve(items_.size() + blockRanges_.size());
  for (size_t i = items_.size(); i-- > 0;)
    if (OwnsRange(items_[i])) ranges.emplace_back(items_[i].Address, items_[i].Size);
  ranges.insert(ranges.end(), blockRanges_.begin(), blockRanges_.end());
  try {
    UnlockRegions(ranges);
  } catch (...) {
    // Release paths never throw; the handle's close frees the rest.
  }
  items_.clear();
  byId_.Clear();
  blocks_.clear();
  blockRanges_.clear();
  blockCounts_.clear();
  looseRanges_ = 0;
}

void TBaseLockMgr::UnlockRegions(const std::vector<std::pair<std::int64_t, std::int64_t>>& ranges) {
  for (const auto& [address, size] : ranges) {
    try {
      UnlockRegion(address, size);
    } catch (...) {
      // As ReleaseAll: go on with the others.
    }
  }
}

bool TBaseLockMgr::LockBlockRegion(std::int64_t, std::int64_t) { return false; }

void TBaseLockMgr::UpgradeAll() {
  std::vector<TLockItem> copy = items_;
  for (const TLockItem& item : copy) SetWriteLock(item.ObjectId, item.Size);
}

TWinLockMgr::TWinLockMgr(TFileHandle* handle, std::int64_t base, std::int64_t regionSize)
    : TBaseLockMgr(handle, base, regionSize) {}

TWinLockMgr::~TWinLockMgr() { ReleaseAll(); }

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
  if (beforeTaken) Record({r - start, kLockWrite, start, id});
  if (r + s < end) Record({end - (r + s), kLockWrite, r + s, id});
  // Record the upgrade on the reader's own item, so LockTypeOf answers 4.
  items_[readIndex].LockType = kLockWrite;
  MarkWrite(id);
  return true;
}

bool TWinLockMgr::LockBlockRegion(std::int64_t address, std::int64_t size) {
  return Handle()->TryLockOver(address, size);
}

void TWinLockMgr::UnlockRegions(const std::vector<std::pair<std::int64_t, std::int64_t>>& ranges) {
  if (Handle() == nullptr || !Handle()->IsOpen()) return;
  Handle()->UnlockRanges(ranges);
}
