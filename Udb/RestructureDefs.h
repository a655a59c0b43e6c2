// TRestructureFieldDefs / TRestructureIndexDefs: the description of a new
// or changed table, filled from a table's FieldDefs / IndexDefs and edited.
// MarkChanges classifies every item (unchanged, definition only, new,
// deleted, needs conversion, may lose data) so that the table component can
// choose between rewriting the definition and copying every record; the
// index side also checks keys against the engine's limits.
//
// Invariant R1: a collection's Status is the highest status any of its
// items or any deleted source item gave it; it never goes down within one
// MarkChanges.
//
// Failures are the class library's plain Exception with the texts below
// (callers show them to the user).  Layer: platform/core and platform/data.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/core/Collections.h"
#include "platform/data/FieldDefs.h"

class TStrings;

using TRestructureStatus = std::uint8_t;
enum : TRestructureStatus {
  rsUnchanged = 0,
  rsDefinitionOnly = 1,
  rsNewItem = 2,
  rsDeletedItem = 3,
  rsDataRequirementsChanged = 4,
  rsDataLossPossible = 5,
};
// "Unchanged Item" .. "Data Loss Possible"; "" for a value above 5.
AnsiString RestructureStatusText(TRestructureStatus status);

// True when converting values of oldType into newType may lose data.
bool ConversionLosesData(TFieldType newType, TFieldType oldType);

// The names of a ";"-separated field list, in order; names keep their
// blanks.  An empty list has no names.
std::vector<AnsiString> SplitFieldList(const AnsiString& fields);

// --- fields -------------------------------------------------------------------

class TRestructureFieldDef : public TCollectionItem {
 public:
  explicit TRestructureFieldDef(TCollection* collection) : TCollectionItem(collection) {}

  TRestructureStatus Status() const { return status_; }
  void SetStatus(TRestructureStatus v) { status_ = v; }
  bool Required() const { return required_; }
  void SetRequired(bool v) { required_ = v; }
  int Size() const { return size_; }
  void SetSize(int v) { size_ = v; }
  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& v) { name_ = v; }
  TFieldType DataType() const { return dataType_; }
  void SetDataType(TFieldType v) { dataType_ = v; }
  int Precision() const { return precision_; }
  void SetPrecision(int v) { precision_ = v; }
  // The name of the table field this item was assigned from; empty = new.
  const AnsiString& SourceName() const { return sourceName_; }
  void SetSourceName(const AnsiString& v) { sourceName_ = v; }

  // From a TFieldDef (SourceName := its name) or another item (all fields).
  void Assign(TPersistent* source) override;
  AnsiString DisplayName() const override { return name_; }

 protected:
  void AssignTo(TPersistent* dest) override;  // to a TFieldDef

 private:
  TRestructureStatus status_ = rsUnchanged;
  bool required_ = false;
  int size_ = 0;
  AnsiString name_;
  TFieldType dataType_ = ftUnknown;
  int precision_ = 0;
  AnsiString sourceName_;
};

class TRestructureFieldDefs : public TCollection {
 public:
  TRestructureFieldDefs();

  TRestructureFieldDef* Items(int index) const;
  TRestructureFieldDef* Add() { return static_cast<TRestructureFieldDef*>(TCollection::Add()); }
  TRestructureFieldDef* AddFieldDef(const AnsiString& name, TFieldType dataType, int size);
  // Exact (case-sensitive) name; nullptr when absent.
  TRestructureFieldDef* Find(const AnsiString& name) const;
  TRestructureFieldDef* FindBySourceName(const AnsiString& sourceName) const;

  TRestructureStatus Status() const { return status_; }
  void SetStatus(TRestructureStatus v) { status_ = v; }
  // Optional; receives every classification line.  Not owned.
  TStrings* Log() const { return log_; }
  void SetLog(TStrings* log) { log_ = log; }
  // The source remembered at the first MarkChanges.
  TFieldDefs* Source() const { return source_; }

  // From TFieldDefs (one item per definition) or another collection.
  void Assign(TPersistent* source) override;
  // Classifies every item against source (nullptr: everything is new).
  // Raises "Source Def not found" when an item's SourceName names no field.
  void MarkChanges(TFieldDefs* source);

 protected:
  void AssignTo(TPersistent* dest) override;  // to a TFieldDefs

 private:
  void AddLog(const AnsiString& line);

  TRestructureStatus status_ = rsUnchanged;
  TStrings* log_ = nullptr;
  TFieldDefs* source_ = nullptr;
};

// --- indexes ------------------------------------------------------------------

class TRestructureIndexDef : public TCollectionItem {
 public:
  explicit TRestructureIndexDef(TCollection* collection) : TCollectionItem(collection) {}

  // The index definition this item was assigned from; nullptr = new.
  TIndexDef* SourceDef() const { return sourceDef_; }
  void SetSourceDef(TIndexDef* v) { sourceDef_ = v; }
  TRestructureStatus Status() const { return status_; }
  void SetStatus(TRestructureStatus v) { status_ = v; }
  const AnsiString& CaseInsFields() const { return caseInsFields_; }
  void SetCaseInsFields(const AnsiString& v) { caseInsFields_ = v; }
  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& v) { name_ = v; }
  const AnsiString& Fields() const { return fields_; }
  void SetFields(const AnsiString& v) { fields_ = v; }
  const AnsiString& DescFields() const { return descFields_; }
  void SetDescFields(const AnsiString& v) { descFields_ = v; }
  const TIndexOptions& Options() const { return options_; }
  void SetOptions(const TIndexOptions& v) { options_ = v; }

  void Assign(TPersistent* source) override;
  AnsiString DisplayName() const override { return name_; }

 protected:
  void AssignTo(TPersistent* dest) override;  // to a TIndexDef

 private:
  TIndexDef* sourceDef_ = nullptr;
  TRestructureStatus status_ = rsUnchanged;
  AnsiString caseInsFields_;
  AnsiString name_;
  AnsiString fields_;
  AnsiString descFields_;
  TIndexOptions options_;
};

class TRestructureIndexDefs : public TCollection {
 public:
  TRestructureIndexDefs();

  TRestructureIndexDef* Items(int index) const;
  TRestructureIndexDef* Add() { return static_cast<TRestructureIndexDef*>(TCollection::Add()); }
  // ixCaseInsensitive makes CaseInsFields := fields, ixDescending DescFields.
  TRestructureIndexDef* AddIndexDef(const AnsiString& name, const AnsiString& fields,
                                    const TIndexOptions& options);
  // Exact (case-sensitive) name; nullptr when absent.
  TRestructureIndexDef* Find(const AnsiString& name) const;

  TRestructureStatus Status() const { return status_; }
  void SetStatus(TRestructureStatus v) { status_ = v; }
  TStrings* Log() const { return log_; }
  void SetLog(TStrings* log) { log_ = log; }
  int MaxKeySize() const { return maxKeySize_; }
  void SetMaxKeySize(int v) { maxKeySize_ = v; }
  int MaxKeyFieldCount() const { return maxKeyFieldCount_; }
  void SetMaxKeyFieldCount(int v) { maxKeyFieldCount_ = v; }

  void Assign(TPersistent* source) override;
  // Every field named by an index exists in fieldDefs and every key fits
  // the limits; raises Exception otherwise.
  void ValidateIndexDefs(TRestructureFieldDefs* fieldDefs);
  // The status of one item against its SourceDef.
  TRestructureStatus CompareIndexDef(TRestructureIndexDef* item, TRestructureFieldDefs* fieldDefs);
  // Validates, then classifies every item against source (nullptr: new).
  void MarkChanges(TIndexDefs* source, TRestructureFieldDefs* fieldDefs);

 protected:
  void AssignTo(TPersistent* dest) override;  // to a TIndexDefs

 private:
  void AddLog(const AnsiString& line);

  TRestructureStatus status_ = rsUnchanged;
  TStrings* log_ = nullptr;
  int maxKeySize_ = 500;
  int maxKeyFieldCount_ = 32;
};
