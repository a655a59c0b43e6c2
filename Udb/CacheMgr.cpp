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
  keptOrder_.clear();
  pages_.clear();
  index_.clear();
  empty_.clear();
  cleanList_ = {};
  dirtyList_ = {};
  inTransaction_ = false;
  pageSize_ = 0;
  capacity_ = 0;
}

const TCachePage* TCacheMgr::FindPage(TUdbAddr pageAddress) const {
  auto it = index_.find(pageAddress);
  return it == index_.end() ? nullptr : pages_[it->second].get();
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
  index_.erase(page.address);
  page.state = cpsEmpty;
  page.address = 0;
  page.tableId = 0;
  page.mode = 0;
  empty_.push_back(index);
}

// --- the side store of deciphered pages ---------------------------------------

void TCacheMgr::SetKeptLimit(int pages) {
  keptLimit_ = std::max(pages, 0);
  while (static_cast<int>(kept_.size()) > keptLimit_) ForgetKeptOldest();
}

void TCacheMgr::Keep(TCachePage& page) {
  // Mode bits 1 and 2 are the ciphers; a plain page costs only a read.
  constexpr std::uint8_t kCiphered = 2 | 4;
  if (keptLimit_ <= 0 || !(page.mode & kCiphered) || !page.fileImage || page.state != cpsClean) return;
  ForgetKept(page.address);
  std::vector<std::uint8_t> spare;
  while (static_cast<int>(kept_.size()) >= keptLimit_) {
    auto oldest = keptOrder_.begin();
    auto it = kept_.find(oldest->second);
    spare.swap(it->second.data);
    kept_.erase(it);
    keptOrder_.erase(oldest);
  }
  TKeptPage& k = kept_[page.address];
  k.data.swap(page.data);
  k.tableId = page.tableId;
  k.mode = page.mode;
  k.order = keptCounter_++;
  keptOrder_[k.order] = page.address;
  // The cache page goes on with a buffer of its own.
  if (spare.size() != static_cast<size_t>(pageSize_)) spare.assign(static_cast<size_t>(pageSize_), 0);
  page.data.swap(spare);
  page.fileImage = false;
}

bool TCacheMgr::TakeKept(TUdbAddr page, TCachePage& target) {
  auto it = kept_.find(page);
  if (it == kept_.end()) return false;
  const bool same = it->second.tableId == target.tableId && it->second.mode == target.mode;
  if (same) {
    target.data.swap(it->second.data);
    target.fileImage = true;
  }
  keptOrder_.erase(it->second.order);
  kept_.erase(it);
  return same;
}

void TCacheMgr::ForgetKept(TUdbAddr page) {
  auto it = kept_.find(page);
  if (it == kept_.end()) return;
  keptOrder_.erase(it->second.order);
  kept_.erase(it);
}

void TCacheMgr::ForgetKeptOldest() {
  if (keptOrder_.empty()) return;
  auto oldest = keptOrder_.begin();
  kept_.erase(oldest->second);
  keptOrder_.erase(oldest);
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
  int index;
  auto it = index_.find(page);
  if (it != index_.end()) {
    index = it->second;
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
    TCachePage& fresh = *pages_[index];
    fresh.address = page;
    fresh.state = cpsClean;
    index_[page] = index;
    LinkAsNewest(index, cpsClean);
  }
  ++misses_;
  TCachePage& target = *pages_[index];
  target.tableId = tableId;
  target.mode = mode;
  if (!needContent) {
    ForgetKept(page);
    target.fileImage = false;
  } else if (!TakeKept(page, target)) {
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
  auto done = [&](int i) {
    pages_[i]->state = cpsClean;
    pages_[i]->fileImage = true;
    written.push_back(i);
  };
  try {
    if (!OnWriteRun) {
      for (int i : dirty) {
        OnWritePage(*pages_[i]);
        done(i);
      }
    } else {
      std::vector<TCachePage*> run;
      run.reserve(static_cast<size_t>(std::min<size_t>(dirty.size(), kMaxWriteRun)));
      for (size_t k = 0; k < dirty.size();) {
        run.clear();
        size_t end = k;
        while (end < dirty.size() && run.size() < static_cast<size_t>(kMaxWriteRun) &&
               (run.empty() || pages_[dirty[end]]->address ==
                                   run.back()->address + static_cast<TUdbAddr>(pageSize_)))
          run.push_back(pages_[dirty[end++]].get());
        OnWriteRun(run.data(), static_cast<int>(run.size()));
        for (; k < end; ++k) done(dirty[k]);
      }
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
  for (auto it = kept_.begin(); it != kept_.end();) {
    if (it->second.tableId != tableId) {
      ++it;
      continue;
    }
    keptOrder_.erase(it->second.order);
    it = kept_.erase(it);
  }
  for (int i = 0; i < static_cast<int>(pages_.size()); ++i) {
    TCachePage& p = *pages_[i];
    if (p.state == cpsEmpty || p.tableId != tableId) continue;
    if (p.state == cpsDirty) OnSpillPage(p);
    Drop(i);
  }
}

void TCacheMgr::InvalidatePage(TUdbAddr pageAddress) {
  ForgetKept(pageAddress);
  auto it = index_.find(pageAddress);
  if (it == index_.end()) return;
  TCachePage& p = *pages_[it->second];
  if (p.state == cpsDirty) OnSpillPage(p);
  Drop(it->second);
}

void TCacheMgr::InvalidateAll() {
  assert(DirtyCount() == 0);
  kept_.clear();
  keptOrder_.clear();
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
