// TUdbFilterMgr: see UdbFilterMgr.h.
#include "Udb/UdbFilterMgr.h"

#include "Udb/FilterIndexRange.h"
#include "Udb/IndexManager.h"
#include "Udb/UdbDataSet.h"
#include "platform/data/Fields.h"

TUdbFilterMgr::TUdbFilterMgr() { mgr_.SetCursor(this); }
TUdbFilterMgr::~TUdbFilterMgr() = default;

void TUdbFilterMgr::SetActive(bool active) {
  if (active) LoadFields();
  mgr_.SetActive(active);
}

// The stored fields by their index in the record; a field of the dataset
// that is not stored (calculated, lookup) is known but cannot be used.
void TUdbFilterMgr::LoadFields() {
  fields_ = TFilterFieldList();
  if (!dataSet_) return;
  TInternalFields& stored = dataSet_->GetFields();
  for (int i = 0; i < stored.Count(); ++i) {
    const TInternalFieldItem* item = static_cast<const TInternalFieldItem*>(stored.Items(i));
    TFilterFieldInfo info;
    info.FieldName = item->FieldName();
    info.FieldNo = item->FieldIndex() + 1;
    info.DataType = item->DataType();
    info.DataSize = item->UserFieldSize();
    fields_.Add(info);
  }
  for (int i = 0; i < dataSet_->FieldCount(); ++i) {
    TField* field = (*dataSet_->Fields())[i];
    if (fields_.FindFilterField(field->FieldName())) continue;
    TFilterFieldInfo info;
    info.FieldName = field->FieldName();
    info.DataType = field->DataType();
    info.Usable = false;
    fields_.Add(info);
  }
}

const TFilterFieldInfo* TUdbFilterMgr::FindFilterField(const AnsiString& name) const {
  return fields_.FindFilterField(name);
}

void TUdbFilterMgr::SetMasterList(std::vector<TScanMatch>&& records, int firstRecNo) {
  std::vector<TFilterEntry> master;
  master.reserve(records.size());
  std::uint32_t recNo = static_cast<std::uint32_t>(firstRecNo);
  for (const TScanMatch& m : records) master.push_back({m.Address, recNo++});
  records.clear();
  mgr_.SetMasterList(std::move(master));
}

// The dataset hands the master list over itself (SetMasterList).
void TUdbFilterMgr::CollectMasterList(std::vector<TFilterEntry>&) {}

bool TUdbFilterMgr::FindIndexForField(int fieldIndex, TFilterIndex& index) {
  if (!indexes_ || !dataSet_) return false;
  const TInternalFieldItem* field = dataSet_->GetFields().GetField(fieldIndex);
  if (!field) return false;
  TIndexItem* item = indexes_->FindIndexForFields({field->FieldName()}, false);
  if (!item || !item->Tree().IsOpen() || !FilterCanUseIndex(item->Tree())) return false;
  index.Handle = item;
  index.CaseInsensitive = item->Tree().Layout().PartAt(0).caseInsensitive;
  return true;
}

void TUdbFilterMgr::CollectIndexRange(const TFilterIndex& index, const TFilterKeyBound& low,
                                      const TFilterKeyBound& high, std::vector<TRecAddr>& out) {
  auto* item = static_cast<TIndexItem*>(const_cast<void*>(index.Handle));
  CollectFilterKeyRange(item->Tree(), low, high, out);
}

void TUdbFilterMgr::ReadRecordAt(TRecAddr address) { dataSet_->ReadRecordAt(address, buffer_); }

Variant TUdbFilterMgr::EvalFieldValue(int fieldIndex) {
  Variant value;
  dataSet_->DataSetGetFieldDataFromRecBufAsVariant(buffer_, fieldIndex, value);
  return value;
}

bool TUdbFilterMgr::AcceptRecord(TRecAddr address) { return dataSet_->RecordFilterAccepts(address); }

TKeySortFunction TUdbFilterMgr::KeyCompare() {
  return indexes_ && indexes_->SortFunction() ? indexes_->SortFunction() : AnsiKeySort;
}
