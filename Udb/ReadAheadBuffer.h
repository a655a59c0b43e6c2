// TReadAheadBuffer: a batch of records that the B-tree prefetches for the
// table dataset: per record its buffer, its key, its record number and its
// block address.  Buffers are owned here and reused across refills
// (Reset keeps them, Clear frees them).
// Standard library and platform/core only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Udb/DatabaseFileFormat.h"
#include "platform/core/Component.h"

struct TReadAheadBufferItem {
  std::uint8_t* RecordBuffer = nullptr;
  std::uint8_t* KeyBuffer = nullptr;
  int RecordNumber = 0;
  TUdbAddr RecordAddress = 0;
};

class TReadAheadBuffer : public TObject {
 public:
  // Frees every buffer; sets the sizes and the capacity; position 0.
  void Init(int recordSize, int keySize, int capacity);
  // The next buffer pair (allocated only when no spare one exists).
  TReadAheadBufferItem* Add();
  // Empties the batch; the buffers stay for reuse.
  void Reset();
  // Frees every buffer.
  void Clear();

  int Count() const { return static_cast<int>(items_.size()); }
  TReadAheadBufferItem* Items(int index) { return items_[static_cast<size_t>(index)].get(); }
  // Searches from the last item backwards; -1 when none holds the address.
  int IndexOfAddress(TUdbAddr address) const;
  TReadAheadBufferItem* ItemOfAddress(TUdbAddr address);
  // The neighbour of the item holding address; nullptr at either end.
  TReadAheadBufferItem* NextOf(TUdbAddr address);
  TReadAheadBufferItem* PriorOf(TUdbAddr address);
  TReadAheadBufferItem* Last();
  void Delete(int index);
  // False when recordNumber > Position + Capacity; otherwise whether the
  // batch holds any item.
  bool Covers(int recordNumber) const;

  int Position() const { return position_; }
  void SetPosition(int n) { position_ = n; }
  int Capacity() const { return capacity_; }
  int RecordSize() const { return recordSize_; }
  int KeySize() const { return keySize_; }
  int BuffersInUse() const { return inUse_; }

 private:
  int recordSize_ = 0;
  int keySize_ = 0;
  int inUse_ = 0;
  int position_ = 0;
  int capacity_ = 0;
  std::vector<std::unique_ptr<TReadAheadBufferItem>> items_;  // stable addresses
  std::vector<std::unique_ptr<TReadAheadBufferItem>> spareItems_;  // reused by Add
  std::vector<std::unique_ptr<std::uint8_t[]>> recordBuffers_;
  std::vector<std::unique_ptr<std::uint8_t[]>> keyBuffers_;
};
