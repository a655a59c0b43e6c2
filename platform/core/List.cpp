#include "platform/core/List.h"

#include <string>
#include <utility>

namespace {

[[noreturn]] void ListError(const char* what, int value) {
  throw EListError(std::string("List ") + what + " out of bounds (" + std::to_string(value) + ")");
}

}  // namespace

TList::~TList() = default;

void TList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
}

// The class library grows by a quarter once the list holds more than 64
// items, by 16 above 8 and by 4 below.
void TList::Grow() {
  int delta = capacity_ > 64 ? capacity_ / 4 : (capacity_ > 8 ? 16 : 4);
  SetCapacity(capacity_ + delta);
}

int TList::Add(void* item) {
  int index = Count();
  if (index == capacity_) Grow();
  items_.push_back(item);
  if (item != nullptr) Notify(item, lnAdded);
  return index;
}

void TList::Insert(int index, void* item) {
  if (index < 0 || index > Count()) ListIndexError(index);
  if (Count() == capacity_) Grow();
  items_.insert(items_.begin() + index, item);
  if (item != nullptr) Notify(item, lnAdded);
}

void TList::Delete(int index) {
  CheckIndex(index);
  void* item = items_[static_cast<size_t>(index)];
  items_.erase(items_.begin() + index);
  if (item != nullptr) Notify(item, lnDeleted);
}

int TList::Remove(void* item) {
  int index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(void* item) {
  int index = IndexOf(item);
  if (index < 0) return nullptr;
  void* found = items_[static_cast<size_t>(index)];
  items_.erase(items_.begin() + index);
  if (found != nullptr) Notify(found, lnExtracted);
  return found;
}

int TList::IndexOf(void* item) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == item) return static_cast<int>(i);
  return -1;
}

void TList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
}

void TList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  CheckIndex(curIndex);
  CheckIndex(newIndex);
  void* item = items_[static_cast<size_t>(curIndex)];
  items_.erase(items_.begin() + curIndex);
  items_.insert(items_.begin() + newIndex, item);
}

void TList::Clear() {
  SetCount(0);
  SetCapacity(0);
}

void TList::Pack() {
  for (int i = Count() - 1; i >= 0; --i)
    if (items_[static_cast<size_t>(i)] == nullptr) items_.erase(items_.begin() + i);
}

void TList::SetCount(int count) {
  if (count < 0) ListError("count", count);
  if (count > capacity_) SetCapacity(count);
  if (count > Count()) {
    items_.resize(static_cast<size_t>(count), nullptr);
  } else {
    for (int i = Count() - 1; i >= count; --i) Delete(i);
  }
}

void TList::SetCapacity(int capacity) {
  if (capacity < Count()) ListError("capacity", capacity);
  items_.reserve(static_cast<size_t>(capacity));
  if (capacity == 0) items_.shrink_to_fit();
  capacity_ = capacity;
}

void* TList::Items(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)];
}

void TList::SetItems(int index, void* item) {
  CheckIndex(index);
  void*& slot = items_[static_cast<size_t>(index)];
  if (slot == item) return;
  void* old = slot;
  slot = item;
  if (old != nullptr) Notify(old, lnDeleted);
  if (item != nullptr) Notify(item, lnAdded);
}

void TList::Notify(void*, TListNotification) {}

// Hoare partition around the middle item, recursing on the left part and
// looping on the right, exactly as the class library's QuickSort does.  The
// bounds checks on i and j change nothing for a consistent compare function
// (the pivot stops both scans) and keep an inconsistent one inside the list.
void TList::Sort(TListSortCompare compare) {
  if (Count() < 2) return;
  struct Sorter {
    std::vector<void*>& a;
    TListSortCompare cmp;
    void Run(int l, int r) {
      int i;
      do {
        i = l;
        int j = r;
        void* pivot = a[static_cast<size_t>((l + r) >> 1)];
        do {
          while (i < r && cmp(a[static_cast<size_t>(i)], pivot) < 0) ++i;
          while (j > l && cmp(a[static_cast<size_t>(j)], pivot) > 0) --j;
          if (i <= j) {
            std::swap(a[static_cast<size_t>(i)], a[static_cast<size_t>(j)]);
            ++i;
            --j;
          }
        } while (i <= j);
        if (l < j) Run(l, j);
        l = i;
      } while (i < r);
    }
  };
  Sorter{items_, compare}.Run(0, Count() - 1);
}
