// TInternalIndexDef / TInternalIndexDefs: the stored definitions of a
// table's indexes, streamed with the table definition.  The index manager
// builds one TIndexItem per definition when the table opens.  The key
// parts of all indexes are kept apart, in the definition's TKeyFields.
// Calls platform/core only.
#pragma once

#include <cstdint>

#include "platform/core/Collections.h"
#include "platform/core/TypInfo.h"

// Stored and copied with the definition; the key form does not depend on it.
enum TIndexKeyType { ikFixed, ikMinStringLen };
PAYROLL_ENUM_NAMES(TIndexKeyType, ikFixed, ikMinStringLen)

// Fields of one index definition, shared by the stored definition and the
// index manager's items.
struct TIndexDefFields {
  int IndexSequence = 0;  // number of its root and depth entry in the table header
  AnsiString IndexName;
  bool Unique = false;
  bool Primary = false;
  bool Hidden = false;  // an engine index not shown to the user
  bool Maintained = true;
  bool Memory = false;
  int MaximumKeySize = 0;  // at most 500
  int KeyDataOffset = 1;   // bytes of the key presence bitmap
  std::uint32_t IndexPageSize = 4096;
  TIndexKeyType IndexKeyType = ikFixed;
};

// The definition's properties over its fields: shared by the stored
// definition and the index manager's items.
class TIndexDefProperties {
 public:
  const TIndexDefFields& Def() const { return def_; }
  TIndexDefFields& Def() { return def_; }

  int IndexSequence() const { return def_.IndexSequence; }
  void SetIndexSequence(int v) { def_.IndexSequence = v; }
  const AnsiString& IndexName() const { return def_.IndexName; }
  void SetIndexName(const AnsiString& v) { def_.IndexName = v; }
  bool Unique() const { return def_.Unique; }
  void SetUnique(bool v) { def_.Unique = v; }
  bool Primary() const { return def_.Primary; }
  void SetPrimary(bool v) { def_.Primary = v; }
  bool Hidden() const { return def_.Hidden; }
  void SetHidden(bool v) { def_.Hidden = v; }
  bool Maintained() const { return def_.Maintained; }
  void SetMaintained(bool v) { def_.Maintained = v; }
  bool Memory() const { return def_.Memory; }
  void SetMemory(bool v) { def_.Memory = v; }
  int MaximumKeySize() const { return def_.MaximumKeySize; }
  void SetMaximumKeySize(int v) { def_.MaximumKeySize = v; }
  int KeyDataOffset() const { return def_.KeyDataOffset; }
  void SetKeyDataOffset(int v) { def_.KeyDataOffset = v; }
  std::uint32_t IndexPageSize() const { return def_.IndexPageSize; }
  void SetIndexPageSize(std::uint32_t v) { def_.IndexPageSize = v; }
  TIndexKeyType IndexKeyType() const { return def_.IndexKeyType; }
  void SetIndexKeyType(TIndexKeyType v) { def_.IndexKeyType = v; }
 protected:
  TIndexDefFields def_;
};

class TInternalIndexDef : public TCollectionItem, public TIndexDefProperties {
  PAYROLL_CLASS(TInternalIndexDef, TCollectionItem)
 public:
  explicit TInternalIndexDef(TCollection* collection) : TCollectionItem(collection) {}
  void Assign(TPersistent* source) override;
};

class TInternalIndexDefs : public TOwnedCollection {
  PAYROLL_CLASS(TInternalIndexDefs, TOwnedCollection)
 public:
  explicit TInternalIndexDefs(TPersistent* owner = nullptr)
      : TOwnedCollection(owner, ItemClassOf<TInternalIndexDef>()) {}
  TInternalIndexDef* Add() { return static_cast<TInternalIndexDef*>(TCollection::Add()); }
  TInternalIndexDef* Items(int i) const { return static_cast<TInternalIndexDef*>(TCollection::Items(i)); }
  // Case-insensitive; null when none.
  TInternalIndexDef* FindIndexDef(const AnsiString& name) const;
};
