#include "platform/data/FieldDefs.h"

#include <algorithm>

#include "platform/core/AnsiText.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"

using namespace dbconsts;

// ---------------------------------------------------------------------------
// TFieldDef

void TFieldDef::SetRequired(bool v) {
  if (v)
    attributes_ << faRequired;
  else
    attributes_ >> faRequired;
}

int TFieldDef::FieldNo() const { return fieldNo_ > 0 ? fieldNo_ : Index() + 1; }


TField* TFieldDef::CreateField(TComponent* owner) {
  TField* f = CreateFieldOfType(dataType_, owner);
  if (f == nullptr) DatabaseErrorFmt(SUnknownFieldType, {name_});
  try {
    f->SetFieldName(name_);
    if (dataType_ == ftString || dataType_ == ftFixedChar || dataType_ == ftWideString ||
        IsBlobType(dataType_))
      f->SetSize(size_);
    f->SetRequired(Required());
    if (attributes_.Contains(faReadonly)) f->SetReadOnly(true);
    if (auto* ff = dynamic_cast<TFloatField*>(f); ff != nullptr && precision_ > 0)
      ff->SetPrecision(precision_);
    if (internalCalcField_) f->SetFieldKind(fkInternalCalc);
    auto* defs = dynamic_cast<TFieldDefs*>(Collection());
    f->SetDataSet(defs != nullptr ? defs->DataSet() : nullptr);
  } catch (...) {
    delete f;
    throw;
  }
  return f;
}

void TFieldDef::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TFieldDef*>(source)) {
    name_ = s->name_;
    dataType_ = s->dataType_;
    size_ = s->size_;
    precision_ = s->precision_;
    attributes_ = s->attributes_;
    internalCalcField_ = s->internalCalcField_;
    return;
  }
  TPersistent::Assign(source);
}

// ---------------------------------------------------------------------------
// TFieldDefs

TFieldDefs::TFieldDefs(TDataSet* dataSet)
    : TOwnedCollection(dataSet, ItemClassOf<TFieldDef>()), dataSet_(dataSet) {}

TFieldDef* TFieldDefs::Add(const AnsiString& name, TFieldType dataType, int size,
                           bool required) {
  if (name.empty()) DatabaseError(SFieldNameMissing, dataSet_);
  if (IndexOf(name) >= 0) DatabaseErrorFmt(SDuplicateFieldName, {name}, dataSet_);
  TFieldDef* d = AddFieldDef();
  d->SetName(name);
  d->SetDataType(dataType);
  d->SetSize(size);
  d->SetRequired(required);
  return d;
}

int TFieldDefs::IndexOf(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiCompareText(Items(i)->Name(), name) == 0) return i;
  return -1;
}

TFieldDef* TFieldDefs::Find(const AnsiString& name) const {
  int i = IndexOf(name);
  if (i < 0) DatabaseErrorFmt(SFieldNotFound, {name}, dataSet_);
  return Items(i);
}

void TFieldDefs::Update() {
  if (updated_ || dataSet_ == nullptr) return;
  dataSet_->InternalInitFieldDefs();
  updated_ = true;
}

// ---------------------------------------------------------------------------
// TIndexDef

void TIndexDef::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TIndexDef*>(source)) {
    name_ = s->name_;
    fields_ = s->fields_;
    descFields_ = s->descFields_;
    caseInsFields_ = s->caseInsFields_;
    expression_ = s->expression_;
    source_ = s->source_;
    options_ = s->options_;
    return;
  }
  TPersistent::Assign(source);
}

// ---------------------------------------------------------------------------
// TIndexDefs

TIndexDefs::TIndexDefs(TDataSet* dataSet)
    : TOwnedCollection(dataSet, ItemClassOf<TIndexDef>()), dataSet_(dataSet) {}

TIndexDef* TIndexDefs::Add(const AnsiString& name, const AnsiString& fields,
                           const TIndexOptions& options) {
  TIndexDef* d = AddIndexDef();
  d->SetName(name);
  if (options.Contains(ixExpression))
    d->SetExpression(fields);
  else
    d->SetFields(fields);
  d->SetOptions(options);
  return d;
}

int TIndexDefs::IndexOf(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiCompareText(Items(i)->Name(), name) == 0) return i;
  return -1;
}

TIndexDef* TIndexDefs::Find(const AnsiString& name) const {
  int i = IndexOf(name);
  if (i < 0) DatabaseErrorFmt(SIndexNotFound, {name}, dataSet_);
  return Items(i);
}

TIndexDef* TIndexDefs::GetIndexForFields(const AnsiString& fieldNames,
                                         bool caseInsensitive) const {
  std::vector<AnsiString> wanted = SplitFieldNames(fieldNames);
  if (wanted.empty()) return nullptr;
  for (int n = 0; n < Count(); ++n) {
    TIndexDef* d = Items(n);
    if (d->Options().Contains(ixExpression)) continue;
    std::vector<AnsiString> keys = SplitFieldNames(d->Fields());
    if (keys.size() < wanted.size()) continue;
    bool match = true;
    for (size_t i = 0; i < wanted.size() && match; ++i) {
      match = AnsiCompareText(keys[i], wanted[i]) == 0;
    }
    if (match && caseInsensitive) match = d->Options().Contains(ixCaseInsensitive);
    if (match) return d;
  }
  return nullptr;
}

void TIndexDefs::Update() {
  if (updated_ || dataSet_ == nullptr) return;
  dataSet_->UpdateIndexDefs();
  updated_ = true;
}
