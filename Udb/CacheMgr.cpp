// TCacheMgr: see CacheMgr.h.
#include "Udb/CacheMgr.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "Udb/PageChunks.h"
#include "Udb/UdbErrors.h"

void TCacheMgr::Open(int capacity, int pageSize) {
  if (!OnReadPage) UdbDatabaseError(udberr::kInvalidProcedure, "TCacheMgr.Open", "ReadIO");
  if (!OnWritePage) UdbDatabaseError(udberr::kInvalidProcedure, "TCacheMgr.Open", "WriteIO");
  if (pageSize <= 0) UdbDatabaseError(udberr::kInternal, "TCachePage.Open", "Page size = 0");
  Close();
  pageSize_ = pageSize;
  capacity_ = std::max(capacity, 1);
  hits_ = misses_ = 0;
  accessCounter_ = 0;
  for (int i = 0; i < capacity_; ++i) {
    auto page = std::make_unique<TCachePage>();
    page->data.assign(static_cast<size_t>(pageSize_), 0);
    pages_.push_back(std::move(page));
    empty_.push_back(capacity_ - 1 - i);  // taken from the back: lowest index first
  }
}

void TCacheMgr::Close() {
  kept_.clear();
  keptFree_.clear();
  keptHead_ = keptTail_ = -1;
  keptCount_ = 0;
  pages_.clear();
  where_.Clear();
  empty_.clear();
  cleanList_ = {};
  dirtyList_ = {};
  inTransaction_ = false;
  pageSize_ = 0;
  capacity_ = 0;
}

const TCachePage* TCacheMgr::FindPage(TUdbAddr pageAddress) const {
  if (pageSize_ <= 0 || pageAddress % static_cast<TUdbAddr>(pageSize_) != 0) return nullptr;
  const int where = where_.Get(PageNo(pageAddress));
  return where >= 0 ? pages_[where].get() : nullptr;
}

void TCacheMgr::TPageTable::Set(std::uint32_t pageNo, int where) {
  const std::uint32_t block = pageNo >> kBlockBits;
  if (block >= blocks_.size()) {
    if (where == kNowhere) return;
    blocks_.resize(block + 1);
  }
  std::unique_ptr<int[]>& b = blocks_[block];
  if (!b) {
    if (where == kNowhere) return;
    b = std::make_unique<int[]>(kBlockMask + 1);
    std::fill(b.get(), b.get() + kBlockMask + 1, kNowhere);
  }
  b[pageNo & kBlockMask] = where;
}

int TCacheMgr::DirtyCount() const { return dirtyList_.count; }

void TCacheMgr::Unlink(int index) {
  TCachePage& page = *pages_[index];
  if (page.lruList == cpsEmpty) return;
  TLruList& list = ListOf(page.lruList);
  (page.lruPrev >= 0 ? pages_[page.lruPrev]->lruNext : list.head) = page.lruNext;
  (page.lruNext >= 0 ? pages_[page.lruNext]->lruPrev : list.tail) = page.lruPrev;
  page.lruPrev = page.lruNext = -1;
  page.lruList = cpsEmpty;
  --list.count;
}

void TCacheMgr::LinkAsNewest(int index, TCachePageState listState) {
  TCachePage& page = *pages_[index];
  assert(page.lruList == cpsEmpty && listState != cpsEmpty);
  TLruList& list = ListOf(listState);
  page.lruPrev = list.tail;
  page.lruNext = -1;
  (list.tail >= 0 ? pages_[list.tail]->lruNext : list.head) = index;
  list.tail = index;
  page.lruList = listState;
  ++list.count;
}

void TCacheMgr::Touch(int index) {
  TCachePage& page = *pages_[index];
  page.stamp = accessCounter_++;
  Unlink(index);
  LinkAsNewest(index, page.state);
}

void TCacheMgr::MergeIntoClean(std::vector<int>& indexes) {
  // Ages are differences, so the stamp may wrap around.
  auto age = [this](int i) { return accessCounter_ - pages_[i]->stamp; };
  for (int i : indexes) Unlink(i);
  std::sort(indexes.begin(), indexes.end(), [&](int a, int b) { return age(a) > age(b); });
  int next = cleanList_.head;  // first clean page younger than the one placed
  for (int i : indexes) {
    while (next >= 0 && age(next) > age(i)) next = pages_[next]->lruNext;
    TCachePage& page = *pages_[i];
    if (next < 0) {
      LinkAsNewest(i, cpsClean);
      continue;
    }
    TCachePage& after = *pages_[next];
    page.lruPrev = after.lruPrev;
    page.lruNext = next;
    (after.lruPrev >= 0 ? pages_[after.lruPrev]->lruNext : cleanList_.head) = i;
    after.lruPrev = i;
    page.lruList = cpsClean;
    ++cleanList_.count;
  }
}

void TCacheMgr::Drop(int index) {
  TCachePage& page = *pages_[index];
  if (page.state == cpsEmpty) return;
  Unlink(index);
  const std::uint32_t pageNo = PageNo(page.address);
  if (where_.Get(pageNo) == index) where_.Set(pageNo, TPageTable::kNowhere);  // else kept by now
  page.state = cpsEmpty;
  page.address = 0;
  page.tableId = 0;
  page.mode = 0;
  empty_.push_back(index);
}

// --- the side store ---------------------------------------------------------------

void TCacheMgr::SetKeptLimit(int pages) {
  keptLimit_ = std::max(pages, 0);
  while (keptCount_ > keptLimit_) {
    const int oldest = keptHead_;
    where_.Set(PageNo(kept_[oldest].address), TPageTable::kNowhere);
    ReleaseKept(oldest, true);
  }
}

void TCacheMgr::ReleaseKept(int slot, bool dropBuffer) {
  TKeptPage& k = kept_[slot];
  (k.prev >= 0 ? kept_[k.prev].next : keptHead_) = k.next;
  (k.next >= 0 ? kept_[k.next].prev : keptTail_) = k.prev;
  k.prev = k.next = -1;
  k.used = false;
  if (dropBuffer) std::vector<std::uint8_t>().swap(k.data);
  keptFree_.push_back(slot);
  --keptCount_;
}

void TCacheMgr::Keep(TCachePage& page) {
  if (keptLimit_ <= 0 || !page.fileImage || page.state != cpsClean) return;
  // The page is in the cache, so not in the store.  A full store makes
  // room by its oldest page, whose buffer the cache page goes on with.
  if (keptCount_ >= keptLimit_) {
    const int oldest = keptHead_;
    where_.Set(PageNo(kept_[oldest].address), TPageTable::kNowhere);
    ReleaseKept(oldest, false);
  }
  int slot;
  if (!keptFree_.empty()) {
    slot = keptFree_.back();
    keptFree_.pop_back();
  } else {
    slot = static_cast<int>(kept_.size());
    kept_.emplace_back();
  }
  TKeptPage& k = kept_[slot];
  k.data.swap(page.data);
  if (page.data.size() != static_cast<size_t>(pageSize_)) page.data.assign(static_cast<size_t>(pageSize_), 0);
  k.address = page.address;
  k.tableId = page.tableId;
  k.mode = page.mode;
  k.used = true;
  k.prev = keptTail_;
  k.next = -1;
  (keptTail_ >= 0 ? kept_[keptTail_].next : keptHead_) = slot;
  keptTail_ = slot;
  ++keptCount_;
  where_.Set(PageNo(page.address), KeptCode(slot));
  page.fileImage = false;
}

void TCacheMgr::ForgetKept(TUdbAddr page) {
  const std::uint32_t pageNo = PageNo(page);
  const int slot = KeptSlotOf(where_.Get(pageNo));
  if (slot < 0) return;
  where_.Set(pageNo, TPageTable::kNowhere);
  ReleaseKept(slot, true);
}

void TCacheMgr::ForgetAllKept() {
  for (int slot = keptHead_; slot >= 0;) {
    const int next = kept_[slot].next;
    where_.Set(PageNo(kept_[slot].address), TPageTable::kNowhere);
    ReleaseKept(slot, true);
    slot = next;
  }
}

// --- pages ----------------------------------------------------------------------

int TCacheMgr::TakeEmptyPage() {
  if (!empty_.empty()) {
    int index = empty_.back();
    empty_.pop_back();
    return index;
  }
  // Least recently used clean page.  Dirty pages never leave the cache
  // here: they are the transaction's pending changes.
  const int victim = cleanList_.head;
  if (victim >= 0) {
    Keep(*pages_[victim]);
    Drop(victim);
    empty_.pop_back();
    return victim;
  }
  // Every page is dirty: grow.
  auto page = std::make_unique<TCachePage>();
  page->data.assign(static_cast<size_t>(pageSize_), 0);
  pages_.push_back(std::move(page));
  return static_cast<int>(pages_.size()) - 1;
}

int TCacheMgr::Acquire(TUdbAddr page, std::uint16_t tableId, std::uint8_t mode,
                       bool needContent) {
  const std::uint32_t pageNo = PageNo(page);
  int index = where_.Get(pageNo);
  bool fromStore = false;
  if (index >= 0) {
    TCachePage& found = *pages_[index];
    if (found.tableId == tableId && found.mode == mode) {
      ++hits_;
      return index;
    }
    // Another identity: its content deciphers differently; reload in place.
    if (found.state == cpsDirty) {
      assert(OnSpillPage);
      OnSpillPage(found);
      found.state = cpsClean;
      Unlink(index);
      LinkAsNewest(index, cpsClean);
    }
  } else {
    index = TakeEmptyPage();
    // Looked up again: making room may have pushed this very page out of
    // the store.
    const int slot = KeptSlotOf(where_.Get(pageNo));
    TCachePage& fresh = *pages_[index];
    fresh.address = page;
    fresh.state = cpsClean;
    where_.Set(pageNo, index);
    LinkAsNewest(index, cpsClean);
    if (slot >= 0) {
      TKeptPage& k = kept_[slot];
      fromStore = needContent && k.tableId == tableId && k.mode == mode;
      if (fromStore) fresh.data.swap(k.data);
      // The slot goes on with the page's old buffer, for the next page kept.
      ReleaseKept(slot, !fromStore);
    }
  }
  ++misses_;
  TCachePage& target = *pages_[index];
  target.tableId = tableId;
  target.mode = mode;
  target.fileImage = fromStore;
  if (needContent && !fromStore) {
    target.fileImage = true;  // the callback clears it for a held image
    try {
      OnReadPage(target);
    } catch (...) {
      Drop(index);
      throw;
    }
  }
  return index;
}

void TCacheMgr::Read(TUdbAddr address, void* buffer, int length, std::uint16_t tableId,
                     std::uint8_t mode) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  ForEachPageChunk(address, length, pageSize_, [&](TUdbAddr page, int offset, int chunk, int done) {
    const int index = Acquire(page, tableId, mode, true);
    std::memcpy(out + done, pages_[index]->data.data() + offset, static_cast<size_t>(chunk));
    Touch(index);
  });
}

void TCacheMgr::ReadMany(const TUdbAddr* addresses, int count, int length, std::uint8_t* const* buffers,
                         std::uint16_t tableId, std::uint8_t mode) {
  // Ranges per run: their pages stay well inside the smallest cache, so a
  // page made present is still there when its bytes are copied (checked
  // all the same: a cache whose pages are nearly all dirty may have let it go).
  constexpr int kRun = 16;
  for (int first = 0; first < count; first += kRun) {
    const int last = std::min(count, first + kRun);
    for (int r = first; r < last; ++r) {
      ForEachPageChunk(addresses[r], length, pageSize_, [&](TUdbAddr page, int offset, int chunk, int) {
        const int index = Acquire(page, tableId, mode, true);
        Touch(index);
        const std::uint8_t* bytes = pages_[index]->data.data() + offset;
        for (int b = 0; b < chunk; b += 64) __builtin_prefetch(bytes + b);
        __builtin_prefetch(bytes + chunk - 1);
      });
    }
    for (int r = first; r < last; ++r) {
      ForEachPageChunk(addresses[r], length, pageSize_, [&](TUdbAddr page, int offset, int chunk, int done) {
        int index = where_.Get(PageNo(page));
        if (index < 0 || pages_[index]->tableId != tableId || pages_[index]->mode != mode)
          index = Acquire(page, tableId, mode, true);
        std::memcpy(buffers[r] + done, pages_[index]->data.data() + offset, static_cast<size_t>(chunk));
        Touch(index);
      });
    }
  }
}

void TCacheMgr::Write(TUdbAddr address, const void* buffer, int length, std::uint16_t tableId,
                      std::uint8_t mode) {
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  ForEachPageChunk(address, length, pageSize_, [&](TUdbAddr page, int offset, int chunk, int done) {
    const int index = Acquire(page, tableId, mode, chunk < pageSize_);
    TCachePage& p = *pages_[index];
    std::memcpy(p.data.data() + offset, in + done, static_cast<size_t>(chunk));
    p.fileImage = false;
    if (inTransaction_) {
      p.state = cpsDirty;
      Touch(index);
    } else {
      Touch(index);  // clean: outside a transaction no page is dirty
      try {
        OnWritePage(p);
      } catch (...) {
        Drop(index);
        throw;
      }
      p.fileImage = true;
    }
  });
}

void TCacheMgr::StartTransaction() { inTransaction_ = true; }

std::vector<TUdbAddr> TCacheMgr::DirtyPages() const {
  std::vector<TUdbAddr> pages;
  for (int i = dirtyList_.head; i >= 0; i = pages_[i]->lruNext) pages.push_back(pages_[i]->address);
  return pages;
}

void TCacheMgr::FlushDirty() {
  std::vector<int> dirty;
  for (int i = dirtyList_.head; i >= 0; i = pages_[i]->lruNext) dirty.push_back(i);
  std::sort(dirty.begin(), dirty.end(),
            [this](int a, int b) { return pages_[a]->address < pages_[b]->address; });
  std::vector<int> written;
  written.reserve(dirty.size());
  try {
    for (int i : dirty) {
      OnWritePage(*pages_[i]);
      pages_[i]->state = cpsClean;
      pages_[i]->fileImage = true;
      written.push_back(i);
    }
  } catch (...) {
    MergeIntoClean(written);
    throw;
  }
  MergeIntoClean(written);
}

void TCacheMgr::EndTransaction() {
  assert(DirtyCount() == 0);
  inTransaction_ = false;
  Trim();
}

void TCacheMgr::Commit() {
  if (!inTransaction_) UdbDatabaseError(udberr::kNoTransaction, "TCachePage.Commit");
  FlushDirty();
  EndTransaction();
}

void TCacheMgr::Rollback() {
  if (!inTransaction_) UdbDatabaseError(udberr::kNoTransaction, "TCacheMgr.Rollback");
  for (int i = 0; i < static_cast<int>(pages_.size()); ++i)
    if (pages_[i]->state == cpsDirty) Drop(i);
  inTransaction_ = false;
  Trim();
}

void TCacheMgr::InvalidateTable(std::uint16_t tableId) {
  for (int slot = keptHead_; slot >= 0;) {
    const int next = kept_[slot].next;
    if (kept_[slot].tableId == tableId) {
      where_.Set(PageNo(kept_[slot].address), TPageTable::kNowhere);
      ReleaseKept(slot, true);
    }
    slot = next;
  }
  for (int i = 0; i < static_cast<int>(pages_.size()); ++i) {
    TCachePage& p = *pages_[i];
    if (p.state == cpsEmpty || p.tableId != tableId) continue;
    if (p.state == cpsDirty) OnSpillPage(p);
    Drop(i);
  }
}

void TCacheMgr::InvalidatePage(TUdbAddr pageAddress) {
  if (pageSize_ <= 0 || pageAddress % static_cast<TUdbAddr>(pageSize_) != 0) return;
  ForgetKept(pageAddress);
  const int index = where_.Get(PageNo(pageAddress));
  if (index < 0) return;
  TCachePage& p = *pages_[index];
  if (p.state == cpsDirty) OnSpillPage(p);
  Drop(index);
}

void TCacheMgr::InvalidateAll() {
  assert(DirtyCount() == 0);
  ForgetAllKept();
  for (int i = 0; i < static_cast<int>(pages_.size()); ++i) Drop(i);
}

void TCacheMgr::Trim() {
  const int count = static_cast<int>(pages_.size());
  if (count <= capacity_ || count - capacity_ < 3) return;
  for (int i = count - 1; i >= capacity_; --i) {
    assert(pages_[i]->state != cpsDirty);
    Drop(i);
    pages_.pop_back();
  }
  empty_.erase(std::remove_if(empty_.begin(), empty_.end(), [&](int i) { return i >= capacity_; }),
               empty_.end());
}
