// TKeyFields: published form (see KeyFields.h).
#include "Udb/KeyFields.h"

#include "Udb/UdbErrors.h"
#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"

int CoreDataSize(TFieldType type) {
  switch (type) {
    case ftSmallint: case ftWord: case ftString: case ftWideString:
      return 2;
    case ftInteger: case ftAutoInc:
      return 4;
    case ftBoolean:
      return 1;
    case ftFloat: case ftCurrency: case ftBCD: case ftDate: case ftTime: case ftDateTime:
      return 8;
    default:
      throw Exception("Error in setting CoreDataSize - field type not found: " + FieldTypeName(type));
  }
}

bool IsKeyPartType(TFieldType type) {
  switch (type) {
    case ftSmallint: case ftWord: case ftString: case ftWideString: case ftInteger: case ftAutoInc:
    case ftBoolean: case ftFloat: case ftCurrency: case ftBCD: case ftDate: case ftTime: case ftDateTime:
      return true;
    default:
      return false;
  }
}

PAYROLL_PUBLISH(TKeyFieldItem) {
  p.Property("FieldName", &TKeyFieldItem::FieldName, &TKeyFieldItem::SetFieldName);
  p.Property("DataType", &TKeyFieldItem::DataType, &TKeyFieldItem::SetDataType);
  p.Property("FieldSize", &TKeyFieldItem::FieldSize, &TKeyFieldItem::SetFieldSize);
  p.Property("CaseInsensitive", &TKeyFieldItem::CaseInsensitive, &TKeyFieldItem::SetCaseInsensitive).Default(false);
  p.Property("Descending", &TKeyFieldItem::Descending, &TKeyFieldItem::SetDescending).Default(false);
  p.Property("IsVariable", &TKeyFieldItem::IsVariable, &TKeyFieldItem::SetIsVariable).Default(false);
  p.Property("RecBufOffset", &TKeyFieldItem::RecBufOffset, &TKeyFieldItem::SetRecBufOffset);
  p.Property("NullFlagOffset", &TKeyFieldItem::NullFlagOffset, &TKeyFieldItem::SetNullFlagOffset);
  p.Property("SizeMarkerOffset", &TKeyFieldItem::SizeMarkerOffset, &TKeyFieldItem::SetSizeMarkerOffset);
  p.Property("PhysicalFieldNo", &TKeyFieldItem::PhysicalFieldNo, &TKeyFieldItem::SetPhysicalFieldNo);
  p.Property("IndexName", &TKeyFieldItem::IndexName, &TKeyFieldItem::SetIndexName);
  p.Property("Hidden", &TKeyFieldItem::Hidden, &TKeyFieldItem::SetHidden);
  p.Property("KeyIndex", &TKeyFieldItem::KeyIndex, &TKeyFieldItem::SetKeyIndex);
}

PAYROLL_PUBLISH(TKeyFields) {}

void TKeyFieldItem::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TKeyFieldItem*>(source)) {
    // Definitions come from the file: damage is the file's, not ours.
    if (s->dataType_ == ftString && s->sizeMarkerOffset_ == 0)
      UdbDatabaseError(udberr::kCorrupt, "TKeyFieldItem.Assign", "Internal status error in assign KeyField");
    fieldName_ = s->fieldName_;
    dataType_ = s->dataType_;
    fieldSize_ = s->fieldSize_;
    caseInsensitive_ = s->caseInsensitive_;
    descending_ = s->descending_;
    isVariable_ = s->isVariable_;
    recBufOffset_ = s->recBufOffset_;
    nullFlagOffset_ = s->nullFlagOffset_;
    sizeMarkerOffset_ = s->sizeMarkerOffset_;
    physicalFieldNo_ = s->physicalFieldNo_;
    indexName_ = s->indexName_;
    hidden_ = s->hidden_;
    keyIndex_ = s->keyIndex_;
    return;
  }
  TCollectionItem::Assign(source);
}

int TKeyFieldItem::PartSize() const {
  int size = CoreDataSize(dataType_);
  if (dataType_ == ftString) size += fieldSize_;
  return size;
}

void TKeyFields::Assign(TPersistent* source) {
  TCollection::Assign(source);
  if (auto* src = dynamic_cast<TKeyFields*>(source)) keyDataOffset_ = src->keyDataOffset_;
}

int TKeyFields::KeySize() const {
  int size = 10;  // length, count and address of the key header
  for (int i = 0; i < Count(); ++i) size += Items(i)->PartSize();
  return size;
}

int TKeyFields::MaximumKeySize() const { return KeySize() + Count() / 8 + 1; }

TKeyFieldItem* TKeyFields::FindKeyField(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->FieldName(), name)) return Items(i);
  return nullptr;
}

int TKeyFields::CountForIndex(const AnsiString& indexName) const {
  int n = 0;
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->IndexName(), indexName)) ++n;
  return n;
}
