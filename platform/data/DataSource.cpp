#include "platform/data/DataSource.h"

#include <algorithm>

#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"

using namespace dbconsts;

// ---------------------------------------------------------------------------
// TDataSource

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  Destroying();
  while (!dataLinks_.empty()) dataLinks_.back()->SetDataSource(nullptr);
  SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (IsLinkedTo(dataSet)) DatabaseError(SCircularDataLink, this);
  if (dataSet_ != nullptr) {
    dataSet_->RemoveFreeNotification(this);
    dataSet_->RemoveDataSource(this);
  }
  if (dataSet != nullptr) {
    dataSet->AddDataSource(this);
    dataSet->FreeNotification(this);
  }
}

void TDataSource::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == dataSet_) {
    // The dataset is going away: forget it without calling into it.
    dataSet_ = nullptr;
    UpdateState();
  }
}

bool TDataSource::IsLinkedTo(TDataSet* dataSet) const {
  for (int guard = 0; dataSet != nullptr && guard < 1000; ++guard) {
    TDataSource* master = dataSet->GetDataSource();
    if (master == nullptr) return false;
    if (master == this) return true;
    dataSet = master->DataSet();
  }
  return false;
}

void TDataSource::SetEnabled(bool v) {
  enabled_ = v;
  UpdateState();
}

void TDataSource::Edit() {
  if (autoEdit_ && state_ == dsBrowse && dataSet_ != nullptr) dataSet_->Edit();
}

void TDataSource::UpdateState() {
  if (enabled_ && dataSet_ != nullptr)
    SetState(dataSet_->State());
  else
    SetState(dsInactive);
}

void TDataSource::SetState(TDataSetState value) {
  if (state_ == value) return;
  TDataSetState prior = state_;
  state_ = value;
  std::vector<TDataLink*> links = dataLinks_;
  for (TDataLink* l : links)
    if (std::find(dataLinks_.begin(), dataLinks_.end(), l) != dataLinks_.end())
      l->DataEvent(deUpdateState, prior);
  if (!ComponentState().Contains(csDestroying) && OnStateChange) OnStateChange(this);
}

void TDataSource::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (state_ == dsInactive) return;
  std::vector<TDataLink*> links = dataLinks_;
  for (TDataLink* l : links)
    if (std::find(dataLinks_.begin(), dataLinks_.end(), l) != dataLinks_.end())
      l->DataEvent(event, info);
  switch (event) {
    case deFieldChange:
    case deRecordChange:
      if (OnDataChange) OnDataChange(this, reinterpret_cast<TField*>(info));
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) OnDataChange(this, nullptr);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default:
      break;
  }
}

void TDataSource::AddDataLink(TDataLink* link) {
  dataLinks_.push_back(link);
  link->dataSource_ = this;
  if (dataSet_ != nullptr) dataSet_->UpdateBufferCount();
  link->UpdateState();
}

void TDataSource::RemoveDataLink(TDataLink* link) {
  link->dataSource_ = nullptr;
  dataLinks_.erase(std::remove(dataLinks_.begin(), dataLinks_.end(), link), dataLinks_.end());
  link->UpdateState();
  if (dataSet_ != nullptr) dataSet_->UpdateBufferCount();
}

// ---------------------------------------------------------------------------
// TDataLink

TDataLink::~TDataLink() {
  dataSourceFixed_ = false;
  if (dataSource_ != nullptr) {
    // No virtual notifications from a destructor: leave quietly.
    TDataSource* s = dataSource_;
    dataSource_ = nullptr;
    active_ = false;
    s->dataLinks_.erase(std::remove(s->dataLinks_.begin(), s->dataLinks_.end(), this),
                        s->dataLinks_.end());
    if (s->dataSet_ != nullptr) s->dataSet_->UpdateBufferCount();
  }
}

TDataSet* TDataLink::DataSet() const {
  return dataSource_ != nullptr ? dataSource_->DataSet() : nullptr;
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (dataSource_ == source) return;
  if (dataSourceFixed_) DatabaseError(SDataSourceChange, dataSource_);
  if (dataSource_ != nullptr) dataSource_->RemoveDataLink(this);
  if (source != nullptr) source->AddDataLink(this);
}

void TDataLink::SetReadOnly(bool v) {
  if (readOnly_ == v) return;
  readOnly_ = v;
  UpdateState();
}

void TDataLink::SetBufferCount(int v) {
  if (v < 1) v = 1;
  if (bufferCount_ == v) return;
  bufferCount_ = v;
  if (active_) {
    UpdateRange();
    DataSet()->UpdateBufferCount();
    UpdateRange();
  }
}

int TDataLink::ActiveRecord() const {
  if (dataSource_ == nullptr || DataSet() == nullptr || dataSource_->State() == dsSetKey) return 0;
  return DataSet()->activeRecord_ - firstRecord_;
}

void TDataLink::SetActiveRecord(int v) {
  if (dataSource_ == nullptr || DataSet() == nullptr || dataSource_->State() == dsSetKey) return;
  TDataSet* ds = DataSet();
  int target = v + firstRecord_;
  // A control asks for a row of its own window: keep it inside the
  // dataset's records so the active buffer always holds one.
  if (target >= 0 && target < ds->recordCount_) ds->activeRecord_ = target;
}

int TDataLink::RecordCount() const {
  if (dataSource_ == nullptr || DataSet() == nullptr) return 0;
  if (dataSource_->State() == dsSetKey) return 1;
  return std::min(DataSet()->recordCount_, bufferCount_);
}

bool TDataLink::Edit() {
  if (!readOnly_ && dataSource_ != nullptr) dataSource_->Edit();
  return editing_;
}

void TDataLink::UpdateRecord() {
  updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void TDataLink::UpdateState() {
  SetActive(dataSource_ != nullptr && dataSource_->State() != dsInactive);
  SetEditing(dataSource_ != nullptr &&
             (dataSource_->State() == dsEdit || dataSource_->State() == dsInsert ||
              dataSource_->State() == dsSetKey) &&
             !readOnly_);
}

void TDataLink::SetActive(bool v) {
  if (active_ == v) return;
  active_ = v;
  if (v)
    UpdateRange();
  else
    firstRecord_ = 0;
  ActiveChanged();
}

void TDataLink::SetEditing(bool v) {
  if (editing_ == v) return;
  editing_ = v;
  EditingChanged();
}

void TDataLink::UpdateRange() {
  TDataSet* ds = DataSet();
  int lo = std::max(0, ds->activeRecord_ - bufferCount_ + 1);
  int hi = std::min(std::max(0, ds->bufferCount_ - bufferCount_), ds->activeRecord_);
  if (firstRecord_ < lo) firstRecord_ = lo;
  if (firstRecord_ > hi) firstRecord_ = hi;
  if (firstRecord_ != 0 && ds->activeRecord_ - firstRecord_ < bufferCount_ - 1) --firstRecord_;
}

void TDataLink::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!active_) return;
  switch (event) {
    case deFieldChange:
    case deRecordChange:
      if (!updating_) RecordChanged(reinterpret_cast<TField*>(info));
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
      int count = 0;
      if (dataSource_->State() != dsSetKey) {
        int active = DataSet()->activeRecord_;
        int first = firstRecord_ + static_cast<int>(info);
        int last = first + bufferCount_ - 1;
        if (active > last)
          count = active - last;
        else if (active < first)
          count = active - first;
        firstRecord_ = first + count;
      }
      if (event == deDataSetChange)
        DataSetChanged();
      else if (event == deDataSetScroll)
        DataSetScrolled(count);
      else
        LayoutChanged();
      break;
    }
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case deFocusControl:
      FocusControl(reinterpret_cast<TField**>(info));
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// TMasterDataLink

void TMasterDataLink::SetFieldNames(const AnsiString& v) {
  if (fieldNames_ == v) return;
  fieldNames_ = v;
  ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
  fields_.clear();
  if (Active()) {
    try {
      DataSet()->GetFieldList(fields_, fieldNames_);
    } catch (...) {
      fields_.clear();
      throw;
    }
  }
  if (dataSet_->Active() && !dataSet_->ComponentState().Contains(csDestroying)) {
    if (Active() && !fields_.empty()) {
      if (OnMasterChange) OnMasterChange(this);
    } else if (OnMasterDisable) {
      OnMasterDisable(this);
    }
  }
}

void TMasterDataLink::CheckBrowseMode() {
  if (dataSet_->Active()) dataSet_->CheckBrowseMode();
}

void TMasterDataLink::LayoutChanged() { ActiveChanged(); }

void TMasterDataLink::RecordChanged(TField* field) {
  if (DataSource()->State() != dsSetKey && dataSet_->Active() && !fields_.empty() &&
      (field == nullptr || std::find(fields_.begin(), fields_.end(), field) != fields_.end()) &&
      OnMasterChange)
    OnMasterChange(this);
}
