// TUdbFilterHooks: the filter manager as a table dataset sees it.  The
// dataset owns one (TUdbDataSet::SetFilterMgr); while it is active the
// dataset navigates over its list of accepted record addresses instead of
// the index, and rebuilds that list (TUdbDataSet::InternalPrepareFilter)
// whenever the table, the range or the index changes.
//
// The list is built in three steps the dataset drives: FindPrepared (a
// list kept for the same text and options ends the work), SetMasterList
// (the records of the current index, in index order, with their record
// numbers), MergeRecordLists (evaluates the filter into the current list).
//
// Find modes of FindNearest: 0 before, 1 at or before, 2 at, 3 and 5 at or
// after, 4 after the address (in master-list order).  Calls nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "Udb/BTree.h"
#include "platform/core/AnsiString.h"
#include "platform/data/DBTypes.h"

class TIndexManager;
class TUdbDataSet;

class TUdbFilterHooks {
 public:
  virtual ~TUdbFilterHooks() = default;

  virtual bool Active() const = 0;
  // True: prepares the filter text (parse, index analysis); false: drops
  // everything prepared.
  virtual void SetActive(bool active) = 0;
  virtual const AnsiString& FilterText() const = 0;
  virtual TFilterOptions FilterOptions() const = 0;

  // Set, in this order, before SetActive(true).  The record buffer is the
  // one the evaluator reads; the size may change only while inactive.
  virtual void SetDataSet(TUdbDataSet* dataSet) = 0;
  virtual void SetRecBufSize(int size) = 0;
  virtual void SetRecordBuffer(std::uint8_t* buffer) = 0;
  virtual void SetFilterText(const AnsiString& text) = 0;
  virtual void SetFilterOptions(TFilterOptions options) = 0;
  virtual void SetIndexManager(TIndexManager* indexes) = 0;
  // Off: the prepared lists are dropped.
  virtual void SetInQuery(bool inQuery) = 0;
  // Called at every rebuild with the access bracket's "table changed".
  virtual void Refresh(bool tableChanged) = 0;

  // --- building the list ---
  virtual bool FindPrepared() = 0;
  virtual void SetMasterList(std::vector<TScanMatch>&& records, int firstRecNo) = 0;
  virtual void MergeRecordLists() = 0;

  // --- navigation over the accepted addresses ---
  // The first (forward) or last accepted address; 0 when none.
  virtual TUdbAddr First(bool forward) = 0;
  // The accepted address count places from address; 0 outside the list.
  virtual TUdbAddr MoveBy(TUdbAddr address, int count) = 0;
  virtual TUdbAddr FindNearest(TUdbAddr address, int mode) = 0;
  virtual bool Contains(TUdbAddr address) = 0;
  virtual int Count() = 0;
  // 1-based position of address in the list; 0 when absent.
  virtual int RecordNumberOf(TUdbAddr address) = 0;
};
