// FilterMgr: the filter of one engine dataset.  TFilterMgr parses the
// filter text, decides which conditions the table's indexes can answer,
// builds the list of the record addresses that pass, and serves the
// dataset's navigation over that list (first, last, next, prior, move by a
// count, nearest, membership, count).  TPreparedFilters keeps the lists of
// the filter texts used while the filter stays prepared, so that switching
// back to one reads nothing; Unprepare and a change of query mode drop them.  OnFilterRecord is applied on top of the list, record by
// record, as navigation reaches it.
//
// What the manager needs of the table cursor is TFilterCursor: the fields,
// the master list (the records the dataset shows, in its current index
// order), an index search by key range, a record read by address, and the
// record-filter callback.
//
//   mgr.SetCursor(&cursor);  mgr.SetRecBufSize(n);
//   mgr.SetFilterText("Age > 30 and Dept = 'A'");  mgr.SetActive(true);
//   mgr.Rebuild(inQuery, tableChanged);
//   for (TRecAddr a = mgr.First(true); a; a = mgr.MoveBy(a, 1)) ...
//
// Index analysis, per condition item: olFull - the index ranges give the
// exact answer (no record is read); olPartial - they narrow the candidates,
// which are read in address order and evaluated; olNone - every record of
// the master list is a candidate.  AND: both full -> full, either not none
// -> partial.  OR: either none -> none, both full -> full, else partial.
//
// Order: outside a query the result keeps the master list's (the current
// index's) order; inside one it is in address order.
//
// Errors: 8581 "Cannot perform this operation on an active filter"
// (changing the buffer size while active), EAssertionFailed "Filter
// allocation error. Current Filter has not been assigned" (navigation
// before a list was built), 8581 "Error in filter find nearest in active
// query" (mode 0 inside a query); parse errors come from FilterExpr.h.
// Calls FilterEval, FilterExpr, UdbErrors.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "Udb/FilterEval.h"

// One end of a key range over the first key part of an index.  Keys are
// ordered as the index orders them, nulls lowest.
struct TFilterKeyBound {
  bool Open = true;       // no bound: from the index's first key / to its last
  Variant Value;          // Null stands for the null key
  bool Inclusive = true;
  // Strings: the bound is every key whose first length(Value) bytes compare
  // equal to Value (a LIKE prefix, "Sm*"); both ends carry it together.
  bool Prefix = false;
};

// An index a filter condition may use.
struct TFilterIndex {
  const void* Handle = nullptr;  // the cursor's own reference
  bool CaseInsensitive = false;  // of its first key part, when that is a string
};

// What the filter manager needs of the table cursor.
class TFilterCursor : public TFilterFields {
 public:
  // The records the dataset shows (its range applied), in the current
  // index's order, each with its 1-based position in that index.
  virtual void CollectMasterList(std::vector<TFilterEntry>& master) = 0;
  // The index whose first key field is field fieldIndex (FieldNo - 1).
  virtual bool FindIndexForField(int fieldIndex, TFilterIndex& index) = 0;
  // Appends the addresses of the records whose first key part lies within
  // [low, high] of the index, in index order.
  virtual void CollectIndexRange(const TFilterIndex& index, const TFilterKeyBound& low,
                                 const TFilterKeyBound& high, std::vector<TRecAddr>& out) = 0;
  // Reads the record at the address into the evaluation buffer.
  virtual void ReadRecordAt(TRecAddr address) = 0;
  // Field fieldIndex of the evaluation buffer; Null for a null field.
  virtual Variant EvalFieldValue(int fieldIndex) = 0;
  // OnFilterRecord: whether one is assigned, and its verdict on a record.
  virtual bool HasRecordFilter() = 0;
  virtual bool AcceptRecord(TRecAddr address) = 0;
  // The table's string comparison (its sort order's).
  virtual TKeySortFunction KeyCompare() = 0;
};

class TPreparedFilter {
 public:
  AnsiString Text;
  TFilterOptions Options;
  std::vector<TRecAddr> List;
};

class TPreparedFilters {
 public:
  // Position of the entry with this text and these options; -1 when none.
  int IndexOf(const AnsiString& text, const TFilterOptions& options) const;
  // A new, empty list for (text, options), replacing an entry with both.
  std::vector<TRecAddr>& Add(const AnsiString& text, const TFilterOptions& options);
  std::vector<TRecAddr>& List(int index) { return entries_[static_cast<size_t>(index)]->List; }
  int Count() const { return static_cast<int>(entries_.size()); }
  void Clear() { entries_.clear(); }

 private:
  std::vector<std::unique_ptr<TPreparedFilter>> entries_;
};

class TFilterMgr {
 public:
  TFilterMgr();
  ~TFilterMgr();
  TFilterMgr(const TFilterMgr&) = delete;
  TFilterMgr& operator=(const TFilterMgr&) = delete;

  // --- set-up (while not active, except the in-query flags) ---------------
  void SetCursor(TFilterCursor* cursor) { cursor_ = cursor; }
  int RecBufSize() const { return recBufSize_; }
  // 8581 while active.
  void SetRecBufSize(int size);
  const AnsiString& FilterText() const { return text_; }
  void SetFilterText(const AnsiString& text) { text_ = text; }
  const TFilterOptions& FilterOptions() const { return options_; }
  void SetFilterOptions(const TFilterOptions& options) { options_ = options; }
  bool InQuery() const { return inQuery_; }
  // A change of the mode (and turning it off) drops the prepared lists.
  void SetInQuery(bool inQuery);

  // --- state ----------------------------------------------------------------
  bool Active() const { return prepared_; }
  // True: Prepare; False: Unprepare.
  void SetActive(bool value);
  // Parses the text ("1=1" when empty) and analyses it for index use.
  void Prepare();
  // Frees the evaluator and the tree; forgets the lists built from them,
  // the prepared lists included.
  void Unprepare();
  void Refresh(bool clearPrepared);
  // When a list for the current text and options is kept, makes it current.
  bool FindPrepared();
  // The records the dataset shows, in its current index order, with their
  // positions; the dataset hands it over before MergeRecordLists.
  void SetMasterList(std::vector<TFilterEntry>&& master);
  // Builds the current list from the master list: index lists, then
  // evaluation of the candidates.
  void MergeRecordLists();
  // What the dataset runs when its filter must be built again: in-query
  // flag, refresh (dropping kept lists when the table changed), then a kept
  // list, or the master list from the cursor and a new list.
  // requires: active.
  void Rebuild(bool inQuery, bool tableChanged);

  // --- navigation (over the current list; 0 means none) --------------------
  TRecAddr First(bool forward);
  TRecAddr MoveBy(TRecAddr address, int count);
  // Modes: 0 before, 1 at or before, 2 at, 3 and 5 at or after, 4 after.
  TRecAddr FindNearest(TRecAddr address, int mode);
  bool Contains(TRecAddr address);
  int Count();
  // 1-based position in the current list; 0 when absent.
  int PositionOf(TRecAddr address);
  // The address at a 1-based position; 0 outside the list.
  TRecAddr AddressAt(int position);
  // In a query the address itself; else its position in the current index.
  std::uint32_t RecordNumberOf(TRecAddr address) const;

  // Tests and benchmarks: how the root condition is answered, and how many
  // records the last build read.
  TIndexLevel RootLevelForTest() const { return tree_.RootLevel(); }
  int RecordsReadForTest() const { return recordsRead_; }

 private:
  // Unprepare without dropping the prepared lists (Prepare, Refresh).
  void Release();
  TExprTreeItem* Analyse(TFilterItem* node);
  void AnalyseIndex(TExprTreeItem* item);
  void CollectItemList(TExprTreeItem* item);
  void CheckCurrent() const;
  bool Accepted(TRecAddr address);
  void SetCurrent(std::vector<TRecAddr>* list);
  int MasterPosition(TRecAddr address) const;

  TFilterCursor* cursor_ = nullptr;
  std::unique_ptr<TUdbExprParser> evaluator_;
  TExprTree tree_;
  bool prepared_ = false;
  AnsiString text_;
  TFilterOptions options_;
  int recBufSize_ = 1;
  bool inQuery_ = false;
  std::vector<TFilterEntry> master_;
  const std::unordered_map<TRecAddr, int>& MasterPos() const;
  const std::unordered_map<TRecAddr, int>& CurrentPos() const;
  mutable std::unordered_map<TRecAddr, int> masterPos_;  // address -> index in master_
  mutable bool masterPosValid_ = false;
  TPreparedFilters preparedFilters_;
  std::vector<TRecAddr>* current_ = nullptr;
  mutable std::unordered_map<TRecAddr, int> currentPos_;  // address -> index in *current_
  mutable bool currentPosValid_ = false;
  int recordsRead_ = 0;
};
