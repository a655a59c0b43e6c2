// TList: the class library's list of untyped pointers.
//
// Indexes are 0-based.  Every index and count is checked; a bad one raises
// EListError "List index out of bounds (%d)" (or "List capacity out of
// bounds (%d)", "List count out of bounds (%d)").  The list never owns what
// its pointers point to; a derived class that does (an object list) hooks
// Notify, which reports every pointer that enters or leaves the list.
// Standard library only.
#pragma once

#include <vector>

#include "platform/core/Exceptions.h"

enum TListNotification { lnAdded, lnExtracted, lnDeleted };

// Returns < 0, 0 or > 0 as item1 sorts before, with or after item2.
using TListSortCompare = int (*)(void* item1, void* item2);

class TList {
 public:
  TList() = default;
  virtual ~TList();
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;

  int Add(void* item);                 // returns the new item's index
  void Insert(int index, void* item);  // 0 <= index <= Count
  void Delete(int index);
  int Remove(void* item);              // index it had, -1 when absent
  void* Extract(void* item);           // removes without lnDeleted; nullptr when absent
  int IndexOf(void* item) const;       // first occurrence, -1 when absent
  void Exchange(int index1, int index2);
  void Move(int curIndex, int newIndex);
  void Clear();                        // Count and Capacity become 0
  void Pack();                         // drops every nullptr item
  void* First() const { return Items(0); }
  void* Last() const { return Items(Count() - 1); }

  // Quicksort with the class library's partitioning, so that items the
  // compare function calls equal end in the same order as there.  A compare
  // function that is not a consistent order may leave any order, but never
  // makes the sort read or write outside the list.
  void Sort(TListSortCompare compare);

  int Count() const { return static_cast<int>(items_.size()); }
  // Growing the count appends nullptr items; shrinking deletes from the end.
  void SetCount(int count);
  int Capacity() const { return capacity_; }
  // Raises EListError when capacity < Count.
  void SetCapacity(int capacity);

  void* Items(int index) const;
  void SetItems(int index, void* item);
  void* operator[](int index) const { return Items(index); }

  // Direct access to the pointer array, valid until the next change.
  void* const* List() const { return items_.data(); }

 protected:
  // Called after an item entered the list (lnAdded) and after it left it
  // (lnExtracted by Extract, lnDeleted otherwise); never for nullptr items.
  virtual void Notify(void* item, TListNotification action);

 private:
  void CheckIndex(int index) const;
  void Grow();

  std::vector<void*> items_;
  int capacity_ = 0;  // the class library's growth steps, reported by Capacity
};
