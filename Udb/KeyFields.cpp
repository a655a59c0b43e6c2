// TKeyFields: published form (see KeyFields.h).
#include "Udb/KeyFields.h"

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
