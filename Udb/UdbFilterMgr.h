// TUdbFilterMgr: the filter manager of an engine table dataset - the
// dataset's filter hooks (UdbFilterHooks.h) served by TFilterMgr
// (FilterMgr.h) over the dataset's own cursor: its fields, its indexes
// (key ranges through FilterIndexRange.h), its record reads and its record
// filter.  Every TUdbDataSet owns one.
//
//   dataset.SetFilterMgr(std::make_unique<TUdbFilterMgr>());
//
// Record numbers while a filter is in force are positions in the filter's
// list.  Calls FilterMgr, FilterIndexRange, UdbDataSet.
#pragma once

#include <memory>

#include "Udb/FilterMgr.h"
#include "Udb/UdbFilterHooks.h"

class TUdbFilterMgr : public TUdbFilterHooks, private TFilterCursor {
 public:
  TUdbFilterMgr();
  ~TUdbFilterMgr() override;

  bool Active() const override { return mgr_.Active(); }
  void SetActive(bool active) override;
  const AnsiString& FilterText() const override { return mgr_.FilterText(); }
  TFilterOptions FilterOptions() const override { return mgr_.FilterOptions(); }

  void SetDataSet(TUdbDataSet* dataSet) override { dataSet_ = dataSet; }
  void SetRecBufSize(int size) override { mgr_.SetRecBufSize(size); }
  void SetRecordBuffer(std::uint8_t* buffer) override { buffer_ = buffer; }
  void SetFilterText(const AnsiString& text) override { mgr_.SetFilterText(text); }
  void SetFilterOptions(TFilterOptions options) override { mgr_.SetFilterOptions(options); }
  void SetIndexManager(TIndexManager* indexes) override { indexes_ = indexes; }
  void SetInQuery(bool inQuery) override { mgr_.SetInQuery(inQuery); }
  void Refresh(bool tableChanged) override { mgr_.Refresh(tableChanged); }

  bool FindPrepared() override { return mgr_.FindPrepared(); }
  void SetMasterList(std::vector<TScanMatch>&& records, int firstRecNo) override;
  void MergeRecordLists() override { mgr_.MergeRecordLists(); }

  TUdbAddr First(bool forward) override { return mgr_.First(forward); }
  TUdbAddr MoveBy(TUdbAddr address, int count) override { return mgr_.MoveBy(address, count); }
  TUdbAddr FindNearest(TUdbAddr address, int mode) override { return mgr_.FindNearest(address, mode); }
  bool Contains(TUdbAddr address) override { return mgr_.Contains(address); }
  int Count() override { return mgr_.Count(); }
  int RecordNumberOf(TUdbAddr address) override { return mgr_.PositionOf(address); }

  // Tests: how the root condition is answered and how many records the
  // last list read.
  TIndexLevel RootLevelForTest() const { return mgr_.RootLevelForTest(); }
  int RecordsReadForTest() const { return mgr_.RecordsReadForTest(); }

 private:
  // TFilterCursor over the dataset.
  const TFilterFieldInfo* FindFilterField(const AnsiString& name) const override;
  void CollectMasterList(std::vector<TFilterEntry>& master) override;
  bool FindIndexForField(int fieldIndex, TFilterIndex& index) override;
  void CollectIndexRange(const TFilterIndex& index, const TFilterKeyBound& low, const TFilterKeyBound& high,
                         std::vector<TRecAddr>& out) override;
  void ReadRecordAt(TRecAddr address) override;
  Variant EvalFieldValue(int fieldIndex) override;
  bool HasRecordFilter() override { return true; }
  bool AcceptRecord(TRecAddr address) override;
  TKeySortFunction KeyCompare() override;
  void LoadFields();

  TFilterMgr mgr_;
  TUdbDataSet* dataSet_ = nullptr;
  std::uint8_t* buffer_ = nullptr;
  TIndexManager* indexes_ = nullptr;
  TFilterFieldList fields_;
};
