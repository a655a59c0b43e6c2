#include "grid/GridDataLinkEx.h"

#include <algorithm>

#include "grid/DBGridEx.h"
#include "grid/GridExUtils.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"

bool TGridDataLinkEx::AddMapping(const AnsiString& fieldName) {
  if (fieldCount_ >= kMaxMapSize) RaiseGridError("Grid requested to display more than 256 columns");
  TField* field = nullptr;
  if (TDataSet* ds = DataSet())
    field = sparseMap_ ? ds->FindField(fieldName) : ds->FieldByName(fieldName);
  if (fieldCount_ >= static_cast<int>(fieldMap_.size())) {
    int size = static_cast<int>(fieldMap_.size());
    int grown = size == 0 ? 8 : std::max(size * 2, fieldCount_ + 1);
    fieldMap_.resize(std::min(grown, kMaxMapSize), -1);
  }
  if (field) {
    fieldMap_[fieldCount_] = field->Index();
    field->FreeNotification(grid_);
  } else {
    fieldMap_[fieldCount_] = -1;
  }
  ++fieldCount_;
  return true;
}

void TGridDataLinkEx::ClearMapping() {
  fieldMap_.clear();
  fieldCount_ = 0;
}

TField* TGridDataLinkEx::Fields(int index) const {
  if (index < 0 || index >= fieldCount_ || fieldMap_[index] < 0) return nullptr;
  TDataSet* ds = DataSet();
  if (ds == nullptr || fieldMap_[index] >= ds->FieldCount()) return nullptr;
  return ds->Fields()->Fields(fieldMap_[index]);
}

bool TGridDataLinkEx::DefaultFields() const {
  TDataSet* ds = DataSet();
  bool result = ds == nullptr || ds->DefaultFields();
  if (result && sparseMap_)
    for (int i = 0; i < fieldCount_; ++i)
      if (fieldMap_[i] < 0) return false;
  return result;
}

void TGridDataLinkEx::Reset() {
  if (modified_)
    RecordChanged(nullptr);
  else if (TDataSet* ds = DataSet())
    ds->Cancel();
}

void TGridDataLinkEx::ActiveChanged() {
  grid_->LinkActive(Active());
  modified_ = false;
}

void TGridDataLinkEx::DataSetChanged() {
  grid_->DataChanged();
  modified_ = false;
}

void TGridDataLinkEx::DataSetScrolled(int distance) { grid_->Scroll(distance); }

void TGridDataLinkEx::EditingChanged() { grid_->EditingChanged(); }

void TGridDataLinkEx::FocusControl(TField** field) {
  if (field == nullptr || *field == nullptr) return;
  if (grid_->SelectColumnOfField(*field) && grid_->CanFocus()) {
    *field = nullptr;
    grid_->ShowEditor();
  }
}

void TGridDataLinkEx::LayoutChanged() {
  grid_->DataLinkLayoutChanged();
  TDataLink::LayoutChanged();
}

void TGridDataLinkEx::RecordChanged(TField* field) {
  grid_->RecordChanged(field);
  modified_ = false;
}

void TGridDataLinkEx::UpdateData() {
  inUpdateData_ = true;
  struct Done {
    TGridDataLinkEx* link;
    ~Done() { link->inUpdateData_ = false; }
  } done{this};
  // A write the field refuses raises and leaves the change pending: the
  // editor keeps its text and the next attempt writes it again.
  if (modified_) grid_->UpdateData();
  modified_ = false;
}
