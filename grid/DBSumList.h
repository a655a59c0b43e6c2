// The grid's sum list: sums, averages and counts of dataset fields kept up
// to date as records are inserted, edited, posted and deleted, without
// re-reading the dataset.  Only opening, a changed filter or a scroll of
// the master dataset re-reads it whole (RecalcAll).
//
// Values are 64-bit integers scaled by 10000 (the class library's Currency
// layout), so long sums carry no floating-point drift.  A value whose
// scaled form does not fit in 64 bits (or is not a number) raises
// EOverflow instead of wrapping.
//
// Per item (TDBSum):
//   SumValue   the result: sum, average or count, x 10000
//   OldValue   the current record's contribution before its edit/insert
//   AvgSum     running sum of the non-null values (averages)
//   Count      number of non-null values (averages)
//   OldVariant the current record's value before the edit (averages)
// An edit is applied at AfterPost as SumValue - OldValue + new contribution.
//
// Hooks.  The producer listens to the dataset's events through the
// dataset's listener list (DatasetEvents.h), never by replacing its
// handler members, so the application's handlers and other listeners stay
// as they are.  Relative to the dataset's own handler:
//   AfterOpen, AfterClose, AfterInsert, AfterPost   own work first
//   AfterEdit, AfterCancel, BeforeDelete, AfterScroll
//   and the master dataset's AfterScroll            own work after
//
// States: inactive (no hooks, values 0) -> active and hooked (values
// maintained) <-> recalculating (inside RecalcAll's walk).  A closed
// dataset leaves the values at 0 until it opens again.
//
// Virtual records: for a dataset that cannot number its records
// (IsSequenced false) the producer can keep the bookmarks of all records,
// in dataset order, to supply RecNo and RecordCount.
//
// Layer: grid (platform/data beneath).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/Collections.h"
#include "platform/core/Variant.h"
#include "platform/data/DataSource.h"
#include "platform/data/Dataset.h"

class TColumnFooterEx;
class TDBSumListProducer;

enum TGroupOperation { goSum, goAvg, goCount };
PAYROLL_ENUM_NAMES(TGroupOperation, goSum, goAvg, goCount)

class TDBSum : public TCollectionItem {
  PAYROLL_CLASS(TDBSum, TCollectionItem)
 public:
  explicit TDBSum(TCollection* collection);
  ~TDBSum() override;
  void Assign(TPersistent* source) override;

  const AnsiString& FieldName() const { return fieldName_; }
  void SetFieldName(const AnsiString& value);
  TGroupOperation GroupOperation() const { return groupOperation_; }
  void SetGroupOperation(TGroupOperation value);

  std::int64_t OldValue = 0;
  int Count = 0;
  std::int64_t AvgSum = 0;
  Variant OldVariant;
  std::int64_t SumValue = 0;
  // The footer this item serves (told when the item goes), or null.
  TColumnFooterEx* Footer = nullptr;

 private:
  AnsiString fieldName_;
  TGroupOperation groupOperation_ = goSum;
};

class TDBSumCollection : public TCollection {
  PAYROLL_CLASS(TDBSumCollection, TCollection)
 public:
  explicit TDBSumCollection(TDBSumListProducer* producer);
  TDBSum* Add() { return static_cast<TDBSum*>(TCollection::Add()); }
  TDBSum* Items(int index) const { return static_cast<TDBSum*>(TCollection::Items(index)); }
  TPersistent* GetOwner() const override;

 protected:
  // Any change recalculates (unless the owner is loading).
  void Update(TCollectionItem* item) override;
  void Added(TCollectionItem* item) override { constructing_ = item; }

 private:
  friend class TDBSum;
  // The base item announces itself before TDBSum's members exist; no
  // recalculation may read the items until its constructor has finished.
  void ItemConstructed() {
    constructing_ = nullptr;
    Changed();
  }
  TDBSumListProducer* producer_;
  TCollectionItem* constructing_ = nullptr;
};

class TDBSumListProducer : public TPersistent {
  PAYROLL_CLASS(TDBSumListProducer, TPersistent)
 public:
  explicit TDBSumListProducer(TComponent* owner);
  ~TDBSumListProducer() override;

  void Assign(TPersistent* source) override;
  TComponent* Owner() const { return owner_; }
  TPersistent* GetOwner() const override { return owner_; }

  bool Active() const { return active_; }
  // Changes only when different (SetActiveValue always acts).
  void SetActive(bool value) {
    if (value != active_) SetActiveValue(value);
  }
  void SetActiveValue(bool value);
  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* value);
  bool ExternalRecalc() const { return externalRecalc_; }
  void SetExternalRecalc(bool value);
  bool VirtualRecords() const { return virtualRecords_; }
  void SetVirtualRecords(bool value);
  TDBSumCollection* SumCollection() const { return sumCollection_.get(); }
  bool Hooked() const { return hooked_; }
  bool Recalculating() const { return recalculating_; }
  TDataSet* MasterDataSet() const { return masterDataSet_; }

  virtual int FindVirtualRecord(TBookmark bookmark);
  virtual void Deactivate();
  virtual void ClearSumValues();
  // Re-reads the dataset; the cursor returns to the record it was on.
  virtual void RecalcAll();
  virtual void Activate();

  int RecNo();
  void SetRecNo(int value);
  int RecordCount();
  bool IsSequenced();
  // The first item with that operation whose FieldName matches
  // (case-insensitively), or null.
  TDBSum* FindSum(TGroupOperation operation, const AnsiString& fieldName) const;
  int VirtualBookmarkCount() const { return static_cast<int>(virtualBookmarks_.size()); }

  // The owner tells the producer that a component is going away; hooks on
  // a dataset being destroyed are forgotten without touching it.
  void ComponentRemoved(TComponent* component);
  // After the owner has been read from a form.
  void OwnerLoaded();

  TNotifyEvent SumListChanged;
  TNotifyEvent OnRecalcAll;

 protected:
  bool designTimeActive_ = false;
  bool OwnerLoading() const;
  bool OwnerDesigning() const;
  // Whether the owner's state keeps the producer from working.
  bool Suspended() const;
  void SetHooked(bool value) { hooked_ = value; }

 private:
  // The items that take part: counts, and items naming a field.
  bool Participates(const TDBSum* item) const;
  TField* FieldOf(const TDBSum* item) const;
  void Changed();
  void FreeVirtualBookmarks();

  void DoAfterOpen();
  void DoAfterClose();
  void DoAfterEdit();
  void DoAfterInsert();
  void DoAfterPost();
  void DoAfterCancel();
  void DoBeforeDelete();
  void DoAfterScroll();
  void DoMasterAfterScroll();

  TComponent* owner_;
  bool virtualRecords_ = false;
  bool recalculating_ = false;
  bool active_ = true;
  TDataSet* dataSet_ = nullptr;
  bool hooked_ = false;
  bool externalRecalc_ = false;
  AnsiString savedFilter_;
  bool savedFiltered_ = false;
  TDataSet* masterDataSet_ = nullptr;
  int virtualIndex_ = -1;
  std::unique_ptr<TDBSumCollection> sumCollection_;
  bool pendingInsert_ = false;
  std::vector<TBookmark> virtualBookmarks_;
  TDataSetListenerGroup hooks_;
};

// The grid's SumList: active only when asked (Active defaults to false).
class TDBGridExSumList : public TDBSumListProducer {
  PAYROLL_CLASS(TDBGridExSumList, TDBSumListProducer)
 public:
  explicit TDBGridExSumList(TComponent* owner);
  void Activate() override;
  void Deactivate() override;
};

// value x 10000 to the nearest integer; EOverflow when it does not fit in
// 64 bits or is not a number.
std::int64_t ScaleSumValue(double value);
