// Field descriptions and the record layout (see InternalFields.h).
#include "Udb/InternalFields.h"

#include <random>

#include "Udb/UdbErrors.h"
#include "platform/core/AnsiText.h"

PAYROLL_PUBLISH(TInternalFieldItem) {
  p.Property("FieldName", &TInternalFieldItem::FieldName, &TInternalFieldItem::SetFieldName);
  p.Property("FieldNo", &TInternalFieldItem::FieldNo, &TInternalFieldItem::SetFieldNo);
  p.Property("FieldIndex", &TInternalFieldItem::FieldIndex, &TInternalFieldItem::SetFieldIndex);
  p.Property("DataType", &TInternalFieldItem::DataType, &TInternalFieldItem::SetDataType);
  p.Property("FieldSize", &TInternalFieldItem::FieldSize, &TInternalFieldItem::SetFieldSize);
  p.Property("NumDecimalPlaces", &TInternalFieldItem::NumDecimalPlaces, &TInternalFieldItem::SetNumDecimalPlaces)
      .Default(0);
  p.Property("Required", &TInternalFieldItem::Required, &TInternalFieldItem::SetRequired);
  p.Property("SizeMarkerOffset", &TInternalFieldItem::SizeMarkerOffset, &TInternalFieldItem::SetSizeMarkerOffset);
  p.Property("DataOffset", &TInternalFieldItem::DataOffset, &TInternalFieldItem::SetDataOffset);
  p.Property("NullFlagOffset", &TInternalFieldItem::NullFlagOffset, &TInternalFieldItem::SetNullFlagOffset);
  p.Property("IsVariable", &TInternalFieldItem::IsVariable, &TInternalFieldItem::SetIsVariable).Default(false);
  p.Property("FieldGeneratorID", &TInternalFieldItem::FieldGeneratorID, &TInternalFieldItem::SetFieldGeneratorID);
}

PAYROLL_PUBLISH(TInternalFields) {}
PAYROLL_PUBLISH(TSearchFieldItem) {}
PAYROLL_PUBLISH(TSearchFields) {}

namespace {

int RandomGeneratorId() {
  static std::mt19937 engine{std::random_device{}()};
  return std::uniform_int_distribution<int>(0, 2147483646)(engine);
}

}  // namespace

bool IsStoredFieldType(TFieldType type) {
  return (type >= ftString && type <= ftCurrency) || (type >= ftDate && type <= ftDateTime) ||
         (type >= ftAutoInc && type <= ftFmtMemo);
}

int RecordDataSize(TFieldType type) {
  switch (type) {
    case ftString: return 0;
    case ftSmallint: case ftWord: return 2;
    case ftInteger: case ftAutoInc: return 4;
    case ftBoolean: return 1;
    case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: return 8;
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: return udbrec::kBlobRefSize;
    default: UdbDatabaseError(udberr::kInvalidFieldType, "TInternalFieldItem.SetDataType", FieldTypeName(type));
  }
}

// --- TInternalFieldItem -------------------------------------------------------------

void TInternalFieldItem::SetDataType(TFieldType v) {
  if (!IsStoredFieldType(v)) UdbDatabaseError(udberr::kInvalidFieldType, "TInternalFieldItem.SetDataType", FieldTypeName(v));
  dataType_ = v;
  fieldSize_ = RecordDataSize(v);
}

int TInternalFieldItem::UserFieldSize() const { return dataType_ == ftString ? fieldSize_ - 1 : fieldSize_; }

bool TInternalFieldItem::IsBlob() const { return dataType_ >= ftBlob && dataType_ <= ftFmtMemo; }

void TInternalFieldItem::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TInternalFieldItem*>(source)) {
    fieldName_ = s->fieldName_;
    fieldNo_ = s->fieldNo_;
    fieldIndex_ = s->fieldIndex_;
    dataType_ = s->dataType_;
    fieldSize_ = s->fieldSize_;
    numDecimalPlaces_ = s->numDecimalPlaces_;
    required_ = s->required_;
    sizeMarkerOffset_ = s->sizeMarkerOffset_;
    dataOffset_ = s->dataOffset_;
    nullFlagOffset_ = s->nullFlagOffset_;
    isVariable_ = s->isVariable_;
    fieldGeneratorID_ = s->fieldGeneratorID_;
    extra_ = s->extra_;
    extraValue_ = s->extraValue_;
    accessMask_ = s->accessMask_;
    return;
  }
  TCollectionItem::Assign(source);
}

// --- TInternalFields -----------------------------------------------------------------

TInternalFields::TInternalFields() : TCollection(ItemClassOf<TInternalFieldItem>()) { map_.fill(-1); }

TInternalFields::TInternalFields(TCollectionItemClass itemClass) : TCollection(itemClass) { map_.fill(-1); }

TInternalFieldItem* TInternalFields::Items(int index) const {
  return static_cast<TInternalFieldItem*>(TCollection::Items(index));
}

TInternalFieldItem* TInternalFields::Add() {
  auto* item = static_cast<TInternalFieldItem*>(TCollection::Add());
  item->SetFieldGeneratorID(RandomGeneratorId());
  return item;
}

void TInternalFields::SetDefaultOffsets() {
  const int n = Count();
  if (n > udbrec::kMaxFields)
    UdbDatabaseError(udberr::kFieldCountLimit, "TInternalFields.SetDefaultOffsets", "A table holds at most 255 fields");
  int offset = udbrec::kNullFlags + n;
  for (int i = 0; i < n; ++i) {
    TInternalFieldItem* item = Items(i);
    int size;
    if (item->DataType() == ftString) {
      if (item->FieldSize() < 1 || item->FieldSize() > 0xFFFF)
        UdbDatabaseError(udberr::kInvalidFieldType, "TInternalFields.SetDefaultOffsets", "String field size out of range: " + item->FieldName());
      item->SetSizeMarkerOffset(offset);
      offset += udbrec::kSizeMarkerSize;
      size = item->FieldSize();
    } else {
      item->SetSizeMarkerOffset(0);
      size = RecordDataSize(item->DataType());
      item->SetFieldSize(size);
    }
    item->SetDataOffset(offset);
    item->SetNullFlagOffset(udbrec::kNullFlags + i);
    offset += size;
  }
  recordSize_ = offset;
}

void TInternalFields::BuildFieldIndex() {
  if (Count() > udbrec::kMaxFields)
    UdbDatabaseError(udberr::kFieldCountLimit, "TInternalFields.BuildFieldIndex", "A table holds at most 255 fields");
  autoIncFieldIndex_ = -1;
  for (int i = 0; i < Count(); ++i) {
    if (Items(i)->IsBlob()) usesBlobs_ = true;
    if (Items(i)->DataType() == ftAutoInc) autoIncFieldIndex_ = Items(i)->FieldIndex();
  }
  map_.fill(-1);
  for (int p = 0; p < Count(); ++p) {
    const int fi = Items(p)->FieldIndex();
    PAYROLL_ASSERT(fi >= 0 && fi < Count(), "Invalid field index");
    PAYROLL_ASSERT(map_[static_cast<size_t>(fi)] < 0, "Field indexes degenerate");
    map_[static_cast<size_t>(fi)] = static_cast<std::int16_t>(p);
  }
}

TInternalFieldItem* TInternalFields::GetField(int fieldIndex) const {
  PAYROLL_ASSERT(fieldIndex >= 0 && fieldIndex < Count() && map_[static_cast<size_t>(fieldIndex)] >= 0,
                 "Invalid field index in GetField");
  return Items(map_[static_cast<size_t>(fieldIndex)]);
}

TInternalFieldItem* TInternalFields::FindField(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->FieldName(), name)) return Items(i);
  return nullptr;
}

void TInternalFields::CheckRecord(const std::uint8_t* record, const char* location) const {
  for (int i = 0; i < Count(); ++i) {
    const TInternalFieldItem* f = Items(i);
    const std::uint8_t flag = record[f->NullFlagOffset()];
    if (flag > 1)
      UdbDatabaseError(udberr::kCorrupt, location, "Record null flag is damaged: " + f->FieldName());
    if (f->DataType() == ftString && udbfmt::GetU16(record + f->SizeMarkerOffset()) > f->UserFieldSize())
      UdbDatabaseError(udberr::kCorrupt, location, "Record size marker is longer than its field: " + f->FieldName());
  }
}

void TInternalFields::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TInternalFields*>(source)) {
    BeginUpdate();
    Clear();
    for (int i = 0; i < s->Count(); ++i) Add()->Assign(s->Items(i));
    EndUpdate();
    recordSize_ = 0;
    usesBlobs_ = false;
    autoIncFieldIndex_ = -1;
    map_.fill(-1);
    return;
  }
  TCollection::Assign(source);
}

// --- search fields ------------------------------------------------------------------

void TSearchFieldItem::Assign(TPersistent* source) {
  TInternalFieldItem::Assign(source);
  if (auto* s = dynamic_cast<TSearchFieldItem*>(source)) {
    searchFlag_ = s->searchFlag_;
    searchByte_ = s->searchByte_;
  }
}

TSearchFields::TSearchFields() : TInternalFields(ItemClassOf<TSearchFieldItem>()) {}
