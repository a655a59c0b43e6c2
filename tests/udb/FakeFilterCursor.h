// TFakeFilterCursor: a table cursor for the filter manager's tests, held
// in memory.  Rows are vectors of variants at addresses 16, 32, 48, ...;
// an index orders the rows by one field (nulls first, texts by the ANSI
// key order, case-insensitively when the index says so, ties by address)
// and a range search returns the addresses between two bounds in that
// order.  The current index (or address order) gives the master list; a
// range predicate stands in for the dataset's range.
#pragma once

#include <functional>
#include <vector>

#include "Udb/FilterMgr.h"

class TFakeFilterCursor : public TFilterCursor {
 public:
  struct Index {
    int field = 0;
    bool caseInsensitive = false;
  };

  TFilterFieldList Fields;
  std::vector<Index> Indexes;
  bool UseIndexes = true;  // false: no condition finds an index (a plain scan)
  int CurrentIndex = -1;   // -1: address order
  std::function<bool(const std::vector<Variant>&)> Range;         // rows the dataset shows
  std::function<bool(const std::vector<Variant>&)> OnFilterRecord;
  int RecordsRead = 0;
  struct RangeCall {
    int field;
    TFilterKeyBound low, high;
  };
  std::vector<RangeCall> RangeCalls;

  // Returns the new row's address.
  TRecAddr AddRow(const std::vector<Variant>& values);
  void DeleteRow(TRecAddr address);
  const std::vector<Variant>& RowAt(TRecAddr address) const;
  // Addresses of the rows the dataset shows, in the current order.
  std::vector<TRecAddr> ShownOrder() const;

  // TFilterFields
  const TFilterFieldInfo* FindFilterField(const AnsiString& name) const override {
    return Fields.FindFilterField(name);
  }
  // TFilterCursor
  void CollectMasterList(std::vector<TFilterEntry>& master) override;
  bool FindIndexForField(int fieldIndex, TFilterIndex& index) override;
  void CollectIndexRange(const TFilterIndex& index, const TFilterKeyBound& low,
                         const TFilterKeyBound& high, std::vector<TRecAddr>& out) override;
  void ReadRecordAt(TRecAddr address) override;
  Variant EvalFieldValue(int fieldIndex) override { return evalRow_[static_cast<size_t>(fieldIndex)]; }
  bool HasRecordFilter() override { return static_cast<bool>(OnFilterRecord); }
  bool AcceptRecord(TRecAddr address) override { return OnFilterRecord(RowAt(address)); }
  TKeySortFunction KeyCompare() override { return AnsiKeySort; }

 private:
  std::vector<TRecAddr> Ordered(int indexNo) const;
  int CompareKeys(const Index& index, const Variant& a, const Variant& b) const;
  bool Within(const Index& index, const Variant& key, const TFilterKeyBound& bound, bool low) const;

  struct Stored {
    TRecAddr address;
    std::vector<Variant> values;
    bool live;
  };
  std::vector<Stored> rows_;
  std::vector<Variant> evalRow_;
};
