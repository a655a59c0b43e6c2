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
  pages_.clear();
  index_.clear();
  empty_.clear();
  inTransaction_ = false;
  pageSize_ = 0;
  capacity_ = 0;
}

const TCachePage* TCacheMgr::FindPage(TUdbAddr pageAddress) const {
  auto it = index_.find(pageAddress);
  return it == index_.end() ? nullptr : pages_[it->second].get();
}

int TCacheMgr::DirtyCount() const {
  int n = 0;
  for (const auto& p : pages_) n += p->state == cpsDirty;
  return n;
}

void TCacheMgr::Drop(int index) {
  TCachePage& page = *pages_[index];
  if (page.state == cpsEmpty) return;
  index_.erase(page.address);
  page.state = cpsEmpty;
  page.address = 0;
  page.tableId = 0;
  page.mode = 0;
  empty_.push_back(index);
}

int TCacheMgr::TakeEmptyPage() {
  if (!empty_.empty()) {
    int index = empty_.back();
    empty_.pop_back();
    return index;
  }
  // Least recently used clean page.  Dirty pages never leave the cache
  // here: they are the transaction's pending changes.
  int victim = -1;
  for (int i = 0; i < static_cast<int>(pages_.size()); ++i) {
    const TCachePage& p = *pages_[i];
    if (p.state != cpsClean) continue;
    // Ages are differences, so the stamp may wrap around.
    if (victim < 0 || accessCounter_ - p.stamp > accessCounter_ - pages_[victim]->stamp) victim = i;
  }
  if (victim >= 0) {
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

TCachePage& TCacheMgr::Acquire(TUdbAddr page, std::uint16_t tableId, std::uint8_t mode,
                               bool needContent) {
  int index;
  auto it = index_.find(page);
  if (it != index_.end()) {
    index = it->second;
    TCachePage& found = *pages_[index];
    if (found.tableId == tableId && found.mode == mode) {
      ++hits_;
      return found;
    }
    // Another identity: its content deciphers differently; reload in place.
    if (found.state == cpsDirty) {
      assert(OnSpillPage);
      OnSpillPage(found);
      found.state = cpsClean;
    }
  } else {
    index = TakeEmptyPage();
    TCachePage& fresh = *pages_[index];
    fresh.address = page;
    fresh.state = cpsClean;
    index_[page] = index;
  }
  ++misses_;
  TCachePage& target = *pages_[index];
  target.tableId = tableId;
  target.mode = mode;
  if (needContent) {
    try {
      OnReadPage(target);
    } catch (...) {
      Drop(index);
      throw;
    }
  }
  return target;
}

void TCacheMgr::Read(TUdbAddr address, void* buffer, int length, std::uint16_t tableId,
                     std::uint8_t mode) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  ForEachPageChunk(address, length, pageSize_, [&](TUdbAddr page, int offset, int chunk, int done) {
    TCachePage& p = Acquire(page, tableId, mode, true);
    std::memcpy(out + done, p.data.data() + offset, static_cast<size_t>(chunk));
    p.stamp = accessCounter_++;
  });
}

void TCacheMgr::Write(TUdbAddr address, const void* buffer, int length, std::uint16_t tableId,
                      std::uint8_t mode) {
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  ForEachPageChunk(address, length, pageSize_, [&](TUdbAddr page, int offset, int chunk, int done) {
    TCachePage& p = Acquire(page, tableId, mode, chunk < pageSize_);
    std::memcpy(p.data.data() + offset, in + done, static_cast<size_t>(chunk));
    p.stamp = accessCounter_++;
    if (inTransaction_) {
      p.state = cpsDirty;
    } else {
      try {
        OnWritePage(p);
      } catch (...) {
        Drop(index_.at(page));
        throw;
      }
      p.state = cpsClean;
    }
  });
}

void TCacheMgr::StartTransaction() { inTransaction_ = true; }

void TCacheMgr::FlushDirty() {
  std::vector<TCachePage*> dirty;
  for (auto& p : pages_)
    if (p->state == cpsDirty) dirty.push_back(p.get());
  std::sort(dirty.begin(), dirty.end(),
            [](const TCachePage* a, const TCachePage* b) { return a->address < b->address; });
  for (TCachePage* p : dirty) {
    OnWritePage(*p);
    p->state = cpsClean;
  }
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
  for (int i = 0; i < static_cast<int>(pages_.size()); ++i) {
    TCachePage& p = *pages_[i];
    if (p.state == cpsEmpty || p.tableId != tableId) continue;
    if (p.state == cpsDirty) OnSpillPage(p);
    Drop(i);
  }
}

void TCacheMgr::InvalidatePage(TUdbAddr pageAddress) {
  auto it = index_.find(pageAddress);
  if (it == index_.end()) return;
  TCachePage& p = *pages_[it->second];
  if (p.state == cpsDirty) OnSpillPage(p);
  Drop(it->second);
}

void TCacheMgr::InvalidateAll() {
  assert(DirtyCount() == 0);
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
