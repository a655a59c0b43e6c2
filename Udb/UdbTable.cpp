// TUdbTable (see UdbTable.h).
#include "Udb/UdbTable.h"

#include <cstring>
#include <utility>
#include <vector>

#include "Udb/RestructureDefs.h"
#include "Udb/UdbErrors.h"
#include "platform/core/AnsiText.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"
#include "platform/data/Fields.h"

using namespace udbcur;

namespace {
constexpr const char* kLogicalRecNo = "_LogicalRecNo";
}

PAYROLL_PUBLISH(TUdbTable) {}

TUdbTable::TUdbTable(TComponent* owner) : TUdbBaseTable(owner), masterLink_(std::make_unique<TMasterDataLink>(this)) {
  masterLink_->OnMasterChange = [this](TObject*) { MasterChanged(); };
  masterLink_->OnMasterDisable = [this](TObject*) { MasterDisabled(); };
}

TUdbTable::~TUdbTable() {
  Destroying();
  try {
    Close();
  } catch (const std::exception&) {
  }
  masterLink_.reset();
}

void TUdbTable::Loaded() {
  TUdbBaseTable::Loaded();
  if (Active() && masterLink_->DataSet() != nullptr && !MasterFields().empty()) SetMasterRange();
  if (Active() && IndexName().empty() && !indexFieldNames_.empty()) SetIndexFieldNames(indexFieldNames_);
}

void TUdbTable::InternalOpen() {
  TUdbDataSet::SetIndexName(requestedIndex_);
  TUdbBaseTable::InternalOpen();
  if (IndexDefs()->Count() > 0 && !requestedIndex_.empty() && IndexDefs()->IndexOf(requestedIndex_) < 0) {
    InternalClose();
    UdbDatabaseErrorFmt(udberr::kIndexMissing, "TUdbTable.InternalOpen", "Index %s", this, {requestedIndex_});
  }
  rsFieldDefs_.reset();
  rsIndexDefs_.reset();
}

// ============================================================================
// the current index
// ============================================================================

AnsiString TUdbTable::IndexName() const {
  return AnsiSameText(requestedIndex_, kLogicalRecNo) ? AnsiString() : requestedIndex_;
}

void TUdbTable::SetIndexName(const AnsiString& name) {
  const char* loc = "TUdbTable.SetIndexName";
  if (name == requestedIndex_) return;
  if (!Active()) {
    requestedIndex_ = name;
    TUdbDataSet::SetIndexName(name);
    indexFieldNames_.clear();
    return;
  }
  AnsiString engineName = name;
  if (!name.empty()) {
    CheckIndexesPresent();
    if (IndexDefs()->IndexOf(name) < 0) UdbDatabaseErrorFmt(udberr::kIndexMissing, loc, "Index %s", this, {name});
  } else {
    engineName = IndexDefs()->Count() > 0 ? IndexDefs()->Items(0)->Name() : AnsiString(kLogicalRecNo);
  }
  CheckBrowseMode();
  requestedIndex_ = name;
  TUdbDataSet::SetIndexName(engineName);
  ApplyRange(false);
  indexFieldNames_.clear();
  First();
  if (masterLink_->Active() && !masterLink_->Fields().empty()) SetMasterRange();
}

AnsiString TUdbTable::IndexFieldNames() const {
  if (!Active()) return indexFieldNames_;
  const AnsiString name = IndexName();
  if (name.empty()) return AnsiString();
  const int i = IndexDefs()->IndexOf(name);
  return i < 0 ? AnsiString() : IndexDefs()->Items(i)->Fields();
}

void TUdbTable::SetIndexFieldNames(const AnsiString& value) {
  if (Active() && !value.empty()) {
    AnsiString name;
    FindIndexForFields(value, name);
    SetIndexName(name);
  } else {
    SetIndexName(AnsiString());
  }
  indexFieldNames_ = value;
}

TField* TUdbTable::GetIndexField(int index) {
  const char* loc = "TUdbTable.GetIndexField";
  if (IndexDefs()->Count() == 0) UdbDatabaseError(udberr::kIndexMissing, loc);
  const int i = IndexDefs()->IndexOf(TUdbDataSet::IndexName());
  if (i < 0) UdbDatabaseErrorFmt(udberr::kIndexMissing, loc, "Index %s", this, {TUdbDataSet::IndexName()});
  const std::vector<AnsiString> names = SplitFieldList(IndexDefs()->Items(i)->Fields());
  if (index < 0 || index >= static_cast<int>(names.size())) return nullptr;
  return FieldByName(names[static_cast<size_t>(index)]);
}

int TUdbTable::SetIndexFields(const std::vector<Variant>& values) {
  const char* loc = "TUdbTable.SetIndexFields";
  const int i = IndexDefs()->IndexOf(TUdbDataSet::IndexName());
  if (i < 0) UdbDatabaseErrorFmt(udberr::kIndexMissing, loc, "Index %s", this, {TUdbDataSet::IndexName()});
  const std::vector<AnsiString> names = SplitFieldList(IndexDefs()->Items(i)->Fields());
  int assigned = 0;
  for (size_t k = 0; k < values.size() && k < names.size(); ++k) {
    FieldByName(names[k])->AssignValue(values[k]);
    ++assigned;
  }
  return assigned;
}

// ============================================================================
// key search and ranges
// ============================================================================

bool TUdbTable::Search(const std::vector<Variant>& values, bool nearest) {
  CheckBrowseMode();
  TDataSetState saved = SetTempState(dsSetKey);
  keyMode_ = kKeyModeKey;
  bool found = false;
  try {
    // Key parts without a value stay at their lowest, so a shorter list
    // matches on its leading parts.
    InitSearchRecord(KeyBuffer(), true);
    SetIndexFields(values);
    found = FindFromBuffer(KeyBuffer(), nearest ? kGreaterOrEqual : kEqual, nearest, TUdbDataSet::IndexName());
  } catch (...) {
    keyMode_ = kKeyModeNone;
    RestoreState(saved);
    throw;
  }
  keyMode_ = kKeyModeNone;
  RestoreState(saved);
  if (found) {
    CursorPosChanged();
    DoBeforeScroll();
    position_ = 1;
    TResyncMode mode;
    mode << rmCenter;
    Resync(mode);
    DoAfterScroll();
  }
  return found;
}

bool TUdbTable::FindKey(const std::vector<Variant>& values) { return Search(values, false); }

void TUdbTable::FindNearest(const std::vector<Variant>& values) {
  if (!Search(values, true)) Last();
}

void TUdbTable::SetRange(const std::vector<Variant>& startValues, const std::vector<Variant>& endValues) {
  CheckBrowseMode();
  CheckIndexesPresent();
  TDataSetState saved = SetTempState(dsSetKey);
  keyMode_ = kKeyModeRange;
  try {
    TUdbDataSet::CancelRange();
    InitLowRecord(GetRangeBuffer(false));
    InitHighRecord(GetRangeBuffer(true));
    rangeSide_ = false;
    SetIndexFields(startValues);
    rangeSide_ = true;
    SetIndexFields(endValues);
    ApplyRange(true);
  } catch (...) {
    keyMode_ = kKeyModeNone;
    RestoreState(saved);
    throw;
  }
  keyMode_ = kKeyModeNone;
  RestoreState(saved);
  First();
}

void TUdbTable::CancelRange() {
  CheckBrowseMode();
  ApplyRange(false);
  First();
}

// ============================================================================
// master-detail
// ============================================================================

void TUdbTable::SetMasterSource(TDataSource* source) {
  if (source != nullptr && IsLinkedTo(source)) DatabaseError(dbconsts::SCircularDataLink, this);
  masterLink_->SetDataSource(source);
}

void TUdbTable::SetMasterFields(const AnsiString& value) { masterLink_->SetFieldNames(value); }

void TUdbTable::ApplyMasterRange() {
  if (masterLink_->Active() && !masterLink_->Fields().empty()) SetMasterRange();
}

void TUdbTable::MasterChanged() {
  CheckBrowseMode();
  ApplyMasterRange();
}

void TUdbTable::MasterDisabled() {
  if (Active()) CancelRange();
}

void TUdbTable::SetMasterRange() {
  const bool pending = masterRefreshPending_;
  if (!pending) CheckBrowseMode();
  const std::vector<TField*>& masters = masterLink_->Fields();
  TDataSetState saved = SetTempState(dsSetKey);
  keyMode_ = kKeyModeRange;
  try {
    InitLowRecord(GetRangeBuffer(false));
    InitHighRecord(GetRangeBuffer(true));
    for (int side = 0; side < 2; ++side) {
      rangeSide_ = side == 1;
      for (size_t i = 0; i < masters.size(); ++i) {
        TField* detail = GetIndexField(static_cast<int>(i));
        if (detail == nullptr)
          DatabaseError(AnsiString(dbconsts::SMasterDetailError) + " " + masters[i]->FieldName() + dbconsts::SNotIndexField,
                        this);
        detail->AssignValue(masters[i]->AsVariant());
      }
    }
    ApplyRange(true);
  } catch (...) {
    keyMode_ = kKeyModeNone;
    RestoreState(saved);
    throw;
  }
  keyMode_ = kKeyModeNone;
  RestoreState(saved);
  if (!pending) First();
}

void TUdbTable::DoOnNewRecord() {
  if (masterLink_->Active() && !masterLink_->Fields().empty()) {
    std::vector<TField*> indexFields;
    GetFieldList(indexFields, IndexFieldNames());
    const std::vector<TField*>& masters = masterLink_->Fields();
    for (size_t i = 0; i < masters.size(); ++i) {
      if (i >= indexFields.size())
        DatabaseError(AnsiString(dbconsts::SMasterDetailError) + " " + masters[i]->FieldName() + dbconsts::SNotIndexField,
                      this);
      indexFields[i]->AssignValue(masters[i]->AsVariant());
    }
  }
  TUdbBaseTable::DoOnNewRecord();
}

void TUdbTable::GetDetailLinkFields(std::vector<TField*>& masterFields, std::vector<TField*>& detailFields) {
  masterFields.clear();
  detailFields.clear();
  if (masterLink_->DataSet() != nullptr && !MasterFields().empty())
    masterLink_->DataSet()->GetFieldList(masterFields, MasterFields());
  UpdateIndexDefs();
  GetFieldList(detailFields, IndexFieldNames());
}

// ============================================================================
// restructuring
// ============================================================================

TRestructureFieldDefs* TUdbTable::GetRestructureFieldDefs() {
  if (!rsFieldDefs_) {
    rsFieldDefs_ = std::make_unique<TRestructureFieldDefs>();
    if (FieldDefs()->Count() == 0) InternalInitFieldDefs();
    rsFieldDefs_->Assign(FieldDefs());
  }
  return rsFieldDefs_.get();
}

TRestructureIndexDefs* TUdbTable::GetRestructureIndexDefs() {
  if (!rsIndexDefs_) {
    rsIndexDefs_ = std::make_unique<TRestructureIndexDefs>();
    if (IndexDefs()->Count() == 0 && !CursorOpen() && DataBase() != nullptr) {
      DataSetOpen();
      UpdateIndexDefs();
      CloseDataSet();
    }
    rsIndexDefs_->Assign(IndexDefs());
  }
  return rsIndexDefs_.get();
}

int TUdbTable::RestructureTable(const TRestructureOptions& options) {
  const char* loc = "TUdbTable.RestructureTable";
  CheckInactive();
  if (Memory()) UdbDatabaseError(udberr::kWrongTableType, loc);
  if (options.SetDefaultBlobSize && (options.NewDefaultBlobSize < 64 || options.NewDefaultBlobSize > 65536))
    UdbDatabaseErrorFmt(udberr::kInvalidBlobLength, "TUdbTable.LocateRecord", "%d (%d..%d) bytes", this,
                        {options.NewDefaultBlobSize, 64, 65536});
  // The current definitions, read afresh: the connection may have been
  // reopened since this table was last open.  Reading them replaces the
  // index definitions the restructure items were taken from, so each item
  // is pointed again at the definition of the same name.
  std::vector<std::pair<TRestructureIndexDef*, AnsiString>> sources;
  if (rsIndexDefs_)
    for (int i = 0; i < rsIndexDefs_->Count(); ++i)
      if (TIndexDef* src = rsIndexDefs_->Items(i)->SourceDef())
        sources.emplace_back(rsIndexDefs_->Items(i), src->Name());
  DataSetOpen();
  try {
    UpdateIndexDefs();
    for (auto& [item, name] : sources) {
      const int at = IndexDefs()->IndexOf(name);
      item->SetSourceDef(at >= 0 ? IndexDefs()->Items(at) : nullptr);
    }
    FieldDefs()->Clear();
    for (int i = 0; i < GetFieldCount(); ++i) InitFieldDef(i, FieldDefs()->AddFieldDef());
  } catch (...) {
    CloseDataSet();
    throw;
  }
  CloseDataSet();
  TRestructureFieldDefs* fields = GetRestructureFieldDefs();
  TRestructureIndexDefs* indexes = GetRestructureIndexDefs();
  fields->MarkChanges(FieldDefs());
  indexes->MarkChanges(IndexDefs(), fields);
  TRestructureDetails details;
  details.NewFieldDefs = fields;
  details.NewIndexDefs = indexes;
  details.DestFieldDefs = FieldDefs();
  details.DestIndexDefs = IndexDefs();
  details.AdjustAutoIncCounter = options.AdjustAutoIncCounter;
  details.SetDefaultBlobSize = options.SetDefaultBlobSize;
  details.NewDefaultBlobSize = options.NewDefaultBlobSize;
  details.SetSortOrder = options.SetSortOrder;
  details.NewSortOrder = options.NewSortOrder;
  InternalRestructureTable(details);
  rsFieldDefs_.reset();
  rsIndexDefs_.reset();
  return 0;
}
