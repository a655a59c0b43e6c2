// TUdbTable: the table component.  A TUdbBaseTable bound to one table of a
// connection by name, with a current index chosen by name (IndexName) or by
// field list (IndexFieldNames), key search (FindKey/FindNearest), ranges,
// a master-detail link (MasterSource/MasterFields), field and index
// definitions for creating the table, and restructuring.
//
// Index changes on an open table take effect at once and move to the first
// record.  A master link keeps the table restricted to the range of the
// master's current values: index field i takes master field i.
#pragma once

#include <memory>

#include "Udb/UdbBaseTable.h"
#include "platform/data/DataSource.h"

class TRestructureFieldDefs;
class TRestructureIndexDefs;

// What RestructureTable changes besides the fields and indexes (all off
// from the query engine).
struct TRestructureOptions {
  bool AdjustAutoIncCounter = false;
  bool SetDefaultBlobSize = false;
  int NewDefaultBlobSize = 0;
  bool SetSortOrder = false;
  TSortOrder NewSortOrder = soANSI;
};

class TUdbTable : public TUdbBaseTable {
  PAYROLL_CLASS(TUdbTable, TUdbBaseTable)
 public:
  explicit TUdbTable(TComponent* owner = nullptr);
  ~TUdbTable() override;

  void Loaded() override;
  void InternalOpen() override;

  // Reads as empty while the engine runs on its record-number order.
  AnsiString IndexName() const;
  void SetIndexName(const AnsiString& name);
  AnsiString IndexFieldNames() const;
  void SetIndexFieldNames(const AnsiString& value);

  TDataSource* MasterSource() const { return masterLink_->DataSource(); }
  void SetMasterSource(TDataSource* source);
  const AnsiString& MasterFields() const { return masterLink_->FieldNames(); }
  void SetMasterFields(const AnsiString& value);
  bool StoreDefs() const { return storeDefs_; }
  void SetStoreDefs(bool v) { storeDefs_ = v; }
  // Marks the definitions changed (they are then stored with the form).
  void DefChanged() { storeDefs_ = true; }
  bool Exclusive() const { return DataBase() != nullptr && DataBase()->Exclusive(); }

  // The field of the current index's key part `index` (0-based).
  TField* GetIndexField(int index);
  // Assigns values in order to the fields of the current index; returns
  // how many were assigned.
  int SetIndexFields(const std::vector<Variant>& values);

  bool FindKey(const std::vector<Variant>& values);
  void FindNearest(const std::vector<Variant>& values);
  void SetRange(const std::vector<Variant>& startValues, const std::vector<Variant>& endValues);
  void CancelRange();

  TRestructureFieldDefs* GetRestructureFieldDefs();
  TRestructureIndexDefs* GetRestructureIndexDefs();
  // Restructures the closed table to what GetRestructureFieldDefs and
  // GetRestructureIndexDefs now hold.  Returns 0.
  int RestructureTable(const TRestructureOptions& options = TRestructureOptions());
  // Deletes every record of the table.
  void EmptyTable() { TUdbDataSet::EmptyTable(); }

  TDataSource* GetDataSource() override { return MasterSource(); }
  void GetDetailLinkFields(std::vector<TField*>& masterFields, std::vector<TField*>& detailFields);
  void ApplyMasterRange() override;

 protected:
  void DoOnNewRecord() override;

 private:
  void MasterChanged();
  void MasterDisabled();
  void SetMasterRange();
  bool Search(const std::vector<Variant>& values, bool nearest);

  std::unique_ptr<TMasterDataLink> masterLink_;
  std::unique_ptr<TRestructureFieldDefs> rsFieldDefs_;
  std::unique_ptr<TRestructureIndexDefs> rsIndexDefs_;
  AnsiString indexFieldNames_;
  // The index name as set ("": the table's default order); the engine
  // runs on the first visible index then.
  AnsiString requestedIndex_;
  bool storeDefs_ = false;
};
