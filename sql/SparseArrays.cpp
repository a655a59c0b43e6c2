// Sparse pointer arrays, sparse lists and aggregate accumulators; see
// SparseArrays.h.
#include "sql/SparseArrays.h"

// --- TSparsePointerArray -------------------------------------------------------

TSparsePointerArray::TSparsePointerArray(TSPAQuantum quantum) {
  blockShift_ = quantum == SPASmall ? 4 : 8;
  indexMask_ = (1 << blockShift_) - 1;
  slotsPerBlock_ = indexMask_ + 1;
}

void* TSparsePointerArray::GetAt(int index) {
  if (index == cachedIndex_ && index >= 0) return cachedValue_;
  void* value = nullptr;
  if (index >= 0) {
    size_t block = static_cast<size_t>(index) >> blockShift_;
    if (block < directory_.size() && directory_[block])
      value = directory_[block][index & indexMask_];
  }
  cachedIndex_ = index;
  cachedValue_ = value;
  return value;
}

void** TSparsePointerArray::MakeSlot(int index) {
  size_t block = static_cast<size_t>(index) >> blockShift_;
  if (block >= directory_.size()) directory_.resize(block + 1);
  if (!directory_[block]) directory_[block] = std::make_unique<void*[]>(slotsPerBlock_);  // zeroed
  if (index > highBound_) highBound_ = index;
  cachedIndex_ = -1;
  return &directory_[block][index & indexMask_];
}

void TSparsePointerArray::PutAt(int index, void* item) {
  if (index < 0) return;
  if (!item && !GetAt(index)) return;
  *MakeSlot(index) = item;
  if (!item) LowerHighBound();  // keeps H
}

void TSparsePointerArray::LowerHighBound() {
  int high = -1;
  ForAll([&high](int i, void*) {
    high = i;
    return 0;
  });
  highBound_ = high;
}

int TSparsePointerArray::ForAll(const TSPAApply& apply) const {
  for (size_t b = 0; b < directory_.size(); ++b) {
    if (!directory_[b]) continue;
    for (int s = 0; s < slotsPerBlock_; ++s) {
      void* item = directory_[b][s];
      if (!item) continue;
      int r = apply(static_cast<int>((b << blockShift_) | static_cast<size_t>(s)), item);
      if (r != 0) return r;
    }
  }
  return 0;
}

// --- TSparseList ---------------------------------------------------------------

TSparseList::TSparseList(TSPAQuantum quantum)
    : array_(std::make_unique<TSparsePointerArray>(quantum)), quantum_(quantum) {}

void TSparseList::Error() { throw EListError("List Index Error!"); }

void* TSparseList::Get(int index) {
  if (index < 0) Error();
  return array_->GetAt(index);
}

void TSparseList::Put(int index, void* item) {
  if (index < 0) Error();
  array_->PutAt(index, item);
  count_ = array_->HighBound() + 1;
}

void TSparseList::Delete(int index) {
  if (index < 0 || index >= count_) return;
  for (int i = index; i < count_ - 1; ++i) array_->PutAt(i, array_->GetAt(i + 1));
  array_->PutAt(count_ - 1, nullptr);
  count_ = array_->HighBound() + 1;
}

void TSparseList::Clear() {
  array_ = std::make_unique<TSparsePointerArray>(quantum_);
  count_ = 0;
}

// --- TAggSparseList ------------------------------------------------------------

TAggSparseList::TAggSparseList(int size) : list_(size < 257 ? SPASmall : SPALarge) {}

TAggSparseList::~TAggSparseList() { Clear(); }

TAggSparseList::TAggItem* TAggSparseList::Item(int index) {
  auto* item = static_cast<TAggItem*>(list_.Get(index));
  if (!item) {
    auto made = std::make_unique<TAggItem>();
    list_.Put(index, made.get());
    item = made.release();
  }
  return item;
}

double TAggSparseList::GetValue(int index) {
  auto* item = static_cast<TAggItem*>(list_.Get(index));
  return item ? item->Value : 0.0;
}

double TAggSparseList::GetSecondValue(int index) {
  auto* item = static_cast<TAggItem*>(list_.Get(index));
  return item ? item->SecondValue : 0.0;
}

int TAggSparseList::GetCount(int index) {
  auto* item = static_cast<TAggItem*>(list_.Get(index));
  return item ? item->Count : 0;
}

void TAggSparseList::SetValue(int index, double v) { Item(index)->Value = v; }
void TAggSparseList::SetSecondValue(int index, double v) { Item(index)->SecondValue = v; }
void TAggSparseList::SetCount(int index, int n) { Item(index)->Count = n; }

void TAggSparseList::Delete(int index) {
  if (index < 0 || index >= list_.Count()) return;
  delete static_cast<TAggItem*>(list_.Get(index));
  list_.Put(index, nullptr);
  // Put(nullptr) may have lowered the count below index; Delete moves the
  // later records down only when index is still inside.
  list_.Delete(index);
}

void TAggSparseList::Clear() {
  list_.ForAll([](int, void* item) {
    delete static_cast<TAggItem*>(item);
    return 0;
  });
  list_.Clear();
}
