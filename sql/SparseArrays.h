// Sparse arrays for per-group aggregate accumulators, whose group numbers
// can be large and scattered.
//
// TSparsePointerArray maps a non-negative index to a pointer through a
// two-level directory: index i lies in block i >> shift, slot i & mask.
//   quantum 0 (small): 16 slots per block (shift 4, mask 15)
//   quantum 1 (large): 256 slots per block (shift 8, mask 255)
// Blocks are made, zero-filled, when a slot in them is first stored; the
// directory grows to reach them.  The array does not own the items.
// Invariant H: HighBound() is the highest index holding an item, -1 when
// none does (storing nothing lowers it to the next highest).
//
// TSparseList adds a count (HighBound + 1) and index checks; TAggSparseList
// keeps, per group, one owned accumulator record (value, second value,
// count).
//
//   TAggSparseList sums(1000);
//   sums.SetValue(group, sums.GetValue(group) + x);
//   sums.SetCount(group, sums.GetCount(group) + 1);
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Exceptions.h"

enum TSPAQuantum { SPASmall = 0, SPALarge = 1 };

// ForAll's callback: return non-zero to stop the walk with that value.
using TSPAApply = std::function<int(int index, void* item)>;

class TSparsePointerArray {
 public:
  explicit TSparsePointerArray(TSPAQuantum quantum);
  TSparsePointerArray(const TSparsePointerArray&) = delete;
  TSparsePointerArray& operator=(const TSparsePointerArray&) = delete;

  // nullptr for an index never stored, beyond the directory or negative;
  // grows nothing.
  void* GetAt(int index);
  // requires: index >= 0.  Storing nullptr where nothing is stored does
  // nothing; storing nullptr elsewhere clears the slot and keeps H.
  void PutAt(int index, void* item);
  // Callback for every stored item, ascending; the first non-zero result
  // stops the walk and is returned (0 when all were visited).
  int ForAll(const TSPAApply& apply) const;
  int HighBound() const { return highBound_; }
  int SlotsInBlock() const { return slotsPerBlock_; }

 private:
  void** MakeSlot(int index);
  void LowerHighBound();
  std::vector<std::unique_ptr<void*[]>> directory_;
  int indexMask_;
  int blockShift_;
  int highBound_ = -1;
  int slotsPerBlock_;
  int cachedIndex_ = -1;
  void* cachedValue_ = nullptr;
};

class TSparseList {
 public:
  explicit TSparseList(TSPAQuantum quantum);
  virtual ~TSparseList() = default;
  TSparseList(const TSparseList&) = delete;
  TSparseList& operator=(const TSparseList&) = delete;

  // A negative index raises EListError "List Index Error!".
  void* Get(int index);
  void Put(int index, void* item);
  int Count() const { return count_; }
  // For 0 <= index < Count: later items move down one place.  Other
  // indexes do nothing.
  void Delete(int index);
  void Clear();
  int ForAll(const TSPAApply& apply) const { return array_->ForAll(apply); }
  int SlotsInBlock() const { return array_->SlotsInBlock(); }

 protected:
  [[noreturn]] virtual void Error();

 private:
  std::unique_ptr<TSparsePointerArray> array_;
  int count_ = 0;
  TSPAQuantum quantum_;
};

class TAggSparseList {
 public:
  // Small blocks for up to 256 groups, large ones beyond.
  explicit TAggSparseList(int size);
  ~TAggSparseList();
  TAggSparseList(const TAggSparseList&) = delete;
  TAggSparseList& operator=(const TAggSparseList&) = delete;

  // Whether index has a record (a group that accumulated something).
  bool Has(int index) { return index >= 0 && list_.Get(index) != nullptr; }
  // 0 where no record exists.
  double GetValue(int index);
  double GetSecondValue(int index);
  int GetCount(int index);
  // Makes the record (other fields 0) when there is none.
  void SetValue(int index, double v);
  void SetSecondValue(int index, double v);
  void SetCount(int index, int n);
  // Frees the record; later records move down one place.
  void Delete(int index);
  void Clear();
  int Count() const { return list_.Count(); }
  int SlotsInBlock() const { return list_.SlotsInBlock(); }

 private:
  struct TAggItem {
    double Value = 0;
    double SecondValue = 0;
    std::int32_t Count = 0;
  };
  TAggItem* Item(int index);  // the record, made when missing
  TSparseList list_;
};
