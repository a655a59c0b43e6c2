// TGridDataLinkEx: the data link through which the data grid follows its
// dataset, and the field map from grid columns to dataset fields.
//
// FieldMap[i] is the dataset field index shown by the i-th mapped column,
// -1 when that column names no field of the dataset (only allowed with
// SparseMap, where missing fields are not an error).  The map grows to 8
// entries, then doubles.
//
// Every notification goes to the grid; the modified flag tells whether a
// cell of the current record was changed through the grid, so that
// UpdateData writes it and Reset knows whether to cancel.
//
// Layer: grid (platform/data beneath).
#pragma once

#include <vector>

#include "platform/data/DataSource.h"

class TCustomDBGridEx;
class TField;

class TGridDataLinkEx : public TDataLink {
 public:
  explicit TGridDataLinkEx(TCustomDBGridEx* grid) : grid_(grid) {}

  TCustomDBGridEx* Grid() const { return grid_; }
  // Maps one more column to fieldName; raises the dataset's field-not-
  // found error for a missing field unless SparseMap.
  bool AddMapping(const AnsiString& fieldName);
  void ClearMapping();
  int FieldCount() const { return fieldCount_; }
  int FieldMapSize() const { return static_cast<int>(fieldMap_.size()); }
  int FieldMapEntry(int index) const { return fieldMap_[index]; }
  // The field of mapped column index; null when out of range or unmapped.
  TField* Fields(int index) const;
  // The dataset uses its default fields and (with SparseMap) no column
  // misses its field.
  bool DefaultFields() const;
  bool SparseMap() const { return sparseMap_; }
  void SetSparseMap(bool value) { sparseMap_ = value; }
  bool Modified() const { return modified_; }
  bool InUpdateData() const { return inUpdateData_; }
  void MarkModified() { modified_ = true; }
  // Forgets a change made through the grid, or cancels the dataset's edit.
  void Reset();

  // The largest column count AddMapping accepts.
  static constexpr int kMaxMapSize = 268435455;

 protected:
  void ActiveChanged() override;
  void DataSetChanged() override;
  void DataSetScrolled(int distance) override;
  void EditingChanged() override;
  void FocusControl(TField** field) override;
  void LayoutChanged() override;
  void RecordChanged(TField* field) override;
  void UpdateData() override;

 private:
  TCustomDBGridEx* grid_;
  int fieldCount_ = 0;
  std::vector<int> fieldMap_;  // size() is the allocated FieldMapSize
  bool inUpdateData_ = false;
  bool modified_ = false;
  bool sparseMap_ = false;
};
