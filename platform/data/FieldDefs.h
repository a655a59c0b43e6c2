// TFieldDef/TFieldDefs: the columns a dataset offers (name, type, size);
// TIndexDef/TIndexDefs: the indexes it has.  The engine fills both from its
// table definition when a table opens, the query engine from its result
// columns; CreateFields makes one field per field definition.
//
// Both are collections (they own their items and stream as "FieldDefs = <
// item ... end>" where a component stores them).  Names compare
// case-insensitively, as the system's table, field and index names do.
// Layer: platform/data; platform/core only.
#pragma once

#include <memory>
#include <vector>

#include "platform/core/Collections.h"
#include "platform/core/Component.h"
#include "platform/data/DBTypes.h"

class TDataSet;
class TField;
class TFieldDefs;

enum TFieldAttribute { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
PAYROLL_ENUM_NAMES(TFieldAttribute, faHiddenCol, faReadonly, faRequired, faLink, faUnNamed,
                   faFixed)
using TFieldAttributes = TSet<TFieldAttribute, 8>;

class TFieldDef : public TCollectionItem {
  PAYROLL_CLASS(TFieldDef, TCollectionItem)

 public:
  explicit TFieldDef(TCollection* owner) : TCollectionItem(owner) {}

  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& v) { name_ = v; }
  TFieldType DataType() const { return dataType_; }
  void SetDataType(TFieldType v) { dataType_ = v; }
  int Size() const { return size_; }
  void SetSize(int v) { size_ = v; }
  int Precision() const { return precision_; }
  void SetPrecision(int v) { precision_ = v; }
  bool Required() const { return attributes_.Contains(faRequired); }
  void SetRequired(bool v);
  const TFieldAttributes& Attributes() const { return attributes_; }
  void SetAttributes(const TFieldAttributes& v) { attributes_ = v; }
  bool InternalCalcField() const { return internalCalcField_; }
  void SetInternalCalcField(bool v) { internalCalcField_ = v; }
  // 1-based position in the list unless set otherwise.
  int FieldNo() const;
  void SetFieldNo(int v) { fieldNo_ = v; }
  // Creates the field for this definition on the list's dataset.  Raises
  // "Field '%s' is of an unknown type" for a type without a field class.
  TField* CreateField(TComponent* owner);

  void Assign(TPersistent* source) override;
  AnsiString DisplayName() const override { return name_; }

 private:
  AnsiString name_;
  TFieldType dataType_ = ftUnknown;
  int size_ = 0;
  int precision_ = 0;
  int fieldNo_ = 0;
  TFieldAttributes attributes_;
  bool internalCalcField_ = false;
};

class TFieldDefs : public TOwnedCollection {
  PAYROLL_CLASS(TFieldDefs, TOwnedCollection)

 public:
  explicit TFieldDefs(TDataSet* dataSet);

  TFieldDef* Items(int index) const { return static_cast<TFieldDef*>(TCollection::Items(index)); }
  TFieldDef* operator[](int index) const { return Items(index); }
  TFieldDef* AddFieldDef() { return static_cast<TFieldDef*>(TCollection::Add()); }
  TFieldDef* Add(const AnsiString& name, TFieldType dataType, int size = 0, bool required = false);
  int IndexOf(const AnsiString& name) const;
  TFieldDef* Find(const AnsiString& name) const;  // raises "Field '%s' not found"
  // Up to date with the dataset (cleared by property changes).
  bool Updated() const { return updated_; }
  void SetUpdated(bool v) { updated_ = v; }
  // Fills the list from the dataset (InternalInitFieldDefs) unless updated.
  void Update();
  TDataSet* DataSet() const { return dataSet_; }

 protected:
  using TOwnedCollection::Update;

 private:
  TDataSet* dataSet_;
  bool updated_ = false;
};

enum TIndexOption { ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression,
                    ixNonMaintained };
PAYROLL_ENUM_NAMES(TIndexOption, ixPrimary, ixUnique, ixDescending, ixCaseInsensitive,
                   ixExpression, ixNonMaintained)
using TIndexOptions = TSet<TIndexOption, 8>;

class TIndexDefs;

class TIndexDef : public TCollectionItem {
  PAYROLL_CLASS(TIndexDef, TCollectionItem)

 public:
  explicit TIndexDef(TCollection* owner) : TCollectionItem(owner) {}

  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& v) { name_ = v; }
  // Key fields, ';'-separated, in key order.
  const AnsiString& Fields() const { return fields_; }
  void SetFields(const AnsiString& v) { fields_ = v; }
  const TIndexOptions& Options() const { return options_; }
  void SetOptions(const TIndexOptions& v) { options_ = v; }
  // The key fields that sort descending / compare without case.
  const AnsiString& DescFields() const { return descFields_; }
  void SetDescFields(const AnsiString& v) { descFields_ = v; }
  const AnsiString& CaseInsFields() const { return caseInsFields_; }
  void SetCaseInsFields(const AnsiString& v) { caseInsFields_ = v; }
  const AnsiString& Expression() const { return expression_; }
  void SetExpression(const AnsiString& v) { expression_ = v; }
  const AnsiString& Source() const { return source_; }
  void SetSource(const AnsiString& v) { source_ = v; }

  void Assign(TPersistent* source) override;
  AnsiString DisplayName() const override { return name_; }

 private:
  AnsiString name_, fields_, descFields_, caseInsFields_, expression_, source_;
  TIndexOptions options_;
};

class TIndexDefs : public TOwnedCollection {
  PAYROLL_CLASS(TIndexDefs, TOwnedCollection)

 public:
  explicit TIndexDefs(TDataSet* dataSet);

  TIndexDef* Items(int index) const { return static_cast<TIndexDef*>(TCollection::Items(index)); }
  TIndexDef* operator[](int index) const { return Items(index); }
  TIndexDef* AddIndexDef() { return static_cast<TIndexDef*>(TCollection::Add()); }
  TIndexDef* Add(const AnsiString& name, const AnsiString& fields, const TIndexOptions& options);
  int IndexOf(const AnsiString& name) const;
  TIndexDef* Find(const AnsiString& name) const;  // raises "Index '%s' not found"
  // The first index whose leading fields are exactly fieldNames, in order;
  // nullptr when none.  With caseInsensitive only case-insensitive
  // indexes (ixCaseInsensitive) count.
  TIndexDef* GetIndexForFields(const AnsiString& fieldNames, bool caseInsensitive) const;
  bool Updated() const { return updated_; }
  void SetUpdated(bool v) { updated_ = v; }
  // Asks the dataset to refill the list (UpdateIndexDefs).
  void Update();
  TDataSet* DataSet() const { return dataSet_; }

 protected:
  using TOwnedCollection::Update;

 private:
  TDataSet* dataSet_;
  bool updated_ = false;
};
