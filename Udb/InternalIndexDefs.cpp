#include "Udb/InternalIndexDefs.h"

#include "platform/core/AnsiText.h"

PAYROLL_PUBLISH(TInternalIndexDef) {
  p.Property("IndexSequence", &TInternalIndexDef::IndexSequence, &TInternalIndexDef::SetIndexSequence);
  p.Property("IndexName", &TInternalIndexDef::IndexName, &TInternalIndexDef::SetIndexName);
  p.Property("Unique", &TInternalIndexDef::Unique, &TInternalIndexDef::SetUnique).Default(false);
  p.Property("Primary", &TInternalIndexDef::Primary, &TInternalIndexDef::SetPrimary).Default(false);
  p.Property("Hidden", &TInternalIndexDef::Hidden, &TInternalIndexDef::SetHidden).Default(false);
  p.Property("Maintained", &TInternalIndexDef::Maintained, &TInternalIndexDef::SetMaintained);
  p.Property("Memory", &TInternalIndexDef::Memory, &TInternalIndexDef::SetMemory).Default(false);
  p.Property("MaximumKeySize", &TInternalIndexDef::MaximumKeySize, &TInternalIndexDef::SetMaximumKeySize);
  p.Property("KeyDataOffset", &TInternalIndexDef::KeyDataOffset, &TInternalIndexDef::SetKeyDataOffset);
  p.Property("IndexPageSize", &TInternalIndexDef::IndexPageSize, &TInternalIndexDef::SetIndexPageSize);
  p.Property("IndexKeyType", &TInternalIndexDef::IndexKeyType, &TInternalIndexDef::SetIndexKeyType);
}

void TInternalIndexDef::Assign(TPersistent* source) {
  if (auto* src = dynamic_cast<TInternalIndexDef*>(source)) {
    def_ = src->def_;
    return;
  }
  TCollectionItem::Assign(source);
}

PAYROLL_PUBLISH(TInternalIndexDefs) {}

TInternalIndexDef* TInternalIndexDefs::FindIndexDef(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->IndexName(), name)) return Items(i);
  return nullptr;
}
