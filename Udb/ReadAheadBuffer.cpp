// TReadAheadBuffer (see ReadAheadBuffer.h).
#include "Udb/ReadAheadBuffer.h"

void TReadAheadBuffer::Init(int recordSize, int keySize, int capacity) {
  Clear();
  recordSize_ = recordSize;
  keySize_ = keySize;
  capacity_ = capacity;
  position_ = 0;
}

TReadAheadBufferItem* TReadAheadBuffer::Add() {
  PAYROLL_ASSERT(inUse_ <= static_cast<int>(recordBuffers_.size()), " RecBuf cursor is incorrect");
  PAYROLL_ASSERT(recordBuffers_.size() == keyBuffers_.size(), "Buffer cursors out of sync");
  if (inUse_ == static_cast<int>(recordBuffers_.size())) {
    recordBuffers_.emplace_back(new std::uint8_t[static_cast<size_t>(recordSize_ > 0 ? recordSize_ : 1)]());
    keyBuffers_.emplace_back(new std::uint8_t[static_cast<size_t>(keySize_ > 0 ? keySize_ : 1)]());
  }
  std::unique_ptr<TReadAheadBufferItem> item;
  if (spareItems_.empty()) {
    item = std::make_unique<TReadAheadBufferItem>();
  } else {
    item = std::move(spareItems_.back());
    spareItems_.pop_back();
    *item = TReadAheadBufferItem();
  }
  item->RecordBuffer = recordBuffers_[static_cast<size_t>(inUse_)].get();
  item->KeyBuffer = keyBuffers_[static_cast<size_t>(inUse_)].get();
  ++inUse_;
  items_.push_back(std::move(item));
  return items_.back().get();
}

void TReadAheadBuffer::Reset() {
  for (auto& item : items_) spareItems_.push_back(std::move(item));
  items_.clear();
  position_ = 0;
  inUse_ = 0;
}

void TReadAheadBuffer::Clear() {
  Reset();
  spareItems_.clear();
  recordBuffers_.clear();
  keyBuffers_.clear();
}

int TReadAheadBuffer::IndexOfAddress(TUdbAddr address) const {
  for (int i = Count() - 1; i >= 0; --i)
    if (items_[static_cast<size_t>(i)]->RecordAddress == address) return i;
  return -1;
}

TReadAheadBufferItem* TReadAheadBuffer::ItemOfAddress(TUdbAddr address) {
  const int i = IndexOfAddress(address);
  return i < 0 ? nullptr : Items(i);
}

TReadAheadBufferItem* TReadAheadBuffer::NextOf(TUdbAddr address) {
  const int i = IndexOfAddress(address);
  return i < 0 || i + 1 >= Count() ? nullptr : Items(i + 1);
}

TReadAheadBufferItem* TReadAheadBuffer::PriorOf(TUdbAddr address) {
  const int i = IndexOfAddress(address);
  return i <= 0 ? nullptr : Items(i - 1);
}

TReadAheadBufferItem* TReadAheadBuffer::Last() { return items_.empty() ? nullptr : items_.back().get(); }

void TReadAheadBuffer::Delete(int index) {
  if (index < 0 || index >= Count()) ListIndexError(index);
  // The item's buffers stay allocated; only the batch forgets the record.
  spareItems_.push_back(std::move(items_[static_cast<size_t>(index)]));
  items_.erase(items_.begin() + index);
}

bool TReadAheadBuffer::Covers(int recordNumber) const {
  if (recordNumber > position_ + capacity_) return false;
  return !items_.empty();
}
