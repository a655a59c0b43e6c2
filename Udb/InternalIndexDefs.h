// TInternalIndexDefs: the index definitions of a table as stored with its
// definition (at most 34 per table; IndexSequence numbers the root and
// depth entry in the table header).  The index manager builds its items
// from these.  Calls platform/core only.
#pragma once

#include <cstdint>

#include "platform/core/Collections.h"

enum TIndexKeyType { ikFixed, ikMinStringLen };
PAYROLL_ENUM_NAMES(TIndexKeyType, ikFixed, ikMinStringLen)

constexpr std::uint32_t kDefaultIndexPageSize = 4096;

class TInternalIndexDef : public TCollectionItem {
  PAYROLL_CLASS(TInternalIndexDef, TCollectionItem)
 public:
  explicit TInternalIndexDef(TCollection* collection) : TCollectionItem(collection) {}

  int IndexSequence() const { return indexSequence_; }
  void SetIndexSequence(int v) { indexSequence_ = v; }
  const AnsiString& IndexName() const { return indexName_; }
  void SetIndexName(const AnsiString& v) { indexName_ = v; }
  bool Unique() const { return unique_; }
  void SetUnique(bool v) { unique_ = v; }
  bool Primary() const { return primary_; }
  void SetPrimary(bool v) { primary_ = v; }
  bool Hidden() const { return hidden_; }
  void SetHidden(bool v) { hidden_ = v; }
  bool Maintained() const { return maintained_; }
  void SetMaintained(bool v) { maintained_ = v; }
  bool Memory() const { return memory_; }
  void SetMemory(bool v) { memory_ = v; }
  int MaximumKeySize() const { return maximumKeySize_; }
  void SetMaximumKeySize(int v) { maximumKeySize_ = v; }
  int KeyDataOffset() const { return keyDataOffset_; }
  void SetKeyDataOffset(int v) { keyDataOffset_ = v; }
  std::uint32_t IndexPageSize() const { return indexPageSize_; }
  void SetIndexPageSize(std::uint32_t v) { indexPageSize_ = v; }
  TIndexKeyType IndexKeyType() const { return indexKeyType_; }
  void SetIndexKeyType(TIndexKeyType v) { indexKeyType_ = v; }

  void Assign(TPersistent* source) override;
  AnsiString DisplayName() const override { return indexName_; }

 private:
  int indexSequence_ = 0;
  AnsiString indexName_;
  bool unique_ = false;
  bool primary_ = false;
  bool hidden_ = false;
  bool maintained_ = true;
  bool memory_ = false;
  int maximumKeySize_ = 0;
  int keyDataOffset_ = 0;
  std::uint32_t indexPageSize_ = kDefaultIndexPageSize;
  TIndexKeyType indexKeyType_ = ikFixed;
};

class TInternalIndexDefs : public TCollection {
  PAYROLL_CLASS(TInternalIndexDefs, TCollection)
 public:
  TInternalIndexDefs() : TCollection(ItemClassOf<TInternalIndexDef>()) {}
  TInternalIndexDef* Add() { return static_cast<TInternalIndexDef*>(TCollection::Add()); }
  TInternalIndexDef* Items(int i) const { return static_cast<TInternalIndexDef*>(TCollection::Items(i)); }
  // Case-insensitive; nullptr when absent.
  TInternalIndexDef* FindIndexDef(const AnsiString& name) const;
};
