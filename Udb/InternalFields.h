// TInternalFields: the field descriptions of a table and the record layout
// they produce (RecordFormat.h).  Its items stream with the table
// definition.  TSearchFields is the same list for search records.
//
// Invariant F1: after BuildFieldIndex every FieldIndex is 0..Count-1,
// unique, and the map takes it to the item's position; at most 255 fields.
//
// Errors: a refused field type raises 10000 (the type's name as message);
// more than 255 fields 9604; record values that break the layout 8451.
// Internal checks raise EAssertionFailed.  Calls platform/core, UdbErrors.
#pragma once

#include <array>
#include <cstdint>

#include "Udb/RecordFormat.h"
#include "platform/core/Collections.h"
#include "platform/data/DBTypes.h"

class TInternalFieldItem : public TCollectionItem {
  PAYROLL_CLASS(TInternalFieldItem, TCollectionItem)
 public:
  explicit TInternalFieldItem(TCollection* collection) : TCollectionItem(collection) {}

  const AnsiString& FieldName() const { return fieldName_; }
  void SetFieldName(const AnsiString& v) { fieldName_ = v; }
  int FieldNo() const { return fieldNo_; }
  void SetFieldNo(int v) { fieldNo_ = v; }
  int FieldIndex() const { return fieldIndex_; }
  void SetFieldIndex(int v) { fieldIndex_ = v; }
  TFieldType DataType() const { return dataType_; }
  // Accepts ftString..ftCurrency, ftDate..ftDateTime, ftAutoInc..ftFmtMemo
  // (10000 otherwise) and sets FieldSize to the type's fixed size (0 for
  // a string, whose size is set afterwards).
  void SetDataType(TFieldType v);
  int FieldSize() const { return fieldSize_; }
  void SetFieldSize(int v) { fieldSize_ = v; }
  int NumDecimalPlaces() const { return numDecimalPlaces_; }
  void SetNumDecimalPlaces(int v) { numDecimalPlaces_ = v; }
  bool Required() const { return required_; }
  void SetRequired(bool v) { required_ = v; }
  int SizeMarkerOffset() const { return sizeMarkerOffset_; }
  void SetSizeMarkerOffset(int v) { sizeMarkerOffset_ = v; }
  int DataOffset() const { return dataOffset_; }
  void SetDataOffset(int v) { dataOffset_ = v; }
  int NullFlagOffset() const { return nullFlagOffset_; }
  void SetNullFlagOffset(int v) { nullFlagOffset_ = v; }
  bool IsVariable() const { return isVariable_; }
  void SetIsVariable(bool v) { isVariable_ = v; }
  int FieldGeneratorID() const { return fieldGeneratorID_; }
  void SetFieldGeneratorID(int v) { fieldGeneratorID_ = v; }
  // Carried, not interpreted.
  const AnsiString& Extra() const { return extra_; }
  void SetExtra(const AnsiString& v) { extra_ = v; }
  int ExtraValue() const { return extraValue_; }
  void SetExtraValue(int v) { extraValue_ = v; }
  // The logged-on user's privilege bits on the field (runtime, not stored;
  // every bit until the security manager sets them).
  std::uint32_t AccessMask() const { return accessMask_; }
  void SetAccessMask(std::uint32_t v) { accessMask_ = v; }

  // ftString: FieldSize - 1 (the declared size); others FieldSize.
  int UserFieldSize() const;
  bool IsBlob() const;

  void Assign(TPersistent* source) override;
  AnsiString DisplayName() const override { return fieldName_; }

 private:
  AnsiString fieldName_;
  int fieldNo_ = 0;
  int fieldIndex_ = 0;
  TFieldType dataType_ = ftUnknown;
  int fieldSize_ = 0;
  int numDecimalPlaces_ = 0;
  bool required_ = false;
  int sizeMarkerOffset_ = 0;
  int dataOffset_ = 0;
  int nullFlagOffset_ = 0;
  bool isVariable_ = false;
  int fieldGeneratorID_ = 0;
  AnsiString extra_;
  int extraValue_ = 0;
  std::uint32_t accessMask_ = 0x7FFFFFFF;
};

// Bytes a field of the type takes in a record (strings: 0, their size is
// their own); 10000 for a type the engine does not store.
int RecordDataSize(TFieldType type);
bool IsStoredFieldType(TFieldType type);

class TInternalFields : public TCollection {
  PAYROLL_CLASS(TInternalFields, TCollection)
 public:
  TInternalFields();
  explicit TInternalFields(TCollectionItemClass itemClass);

  TInternalFieldItem* Items(int index) const;
  // An item with a random FieldGeneratorID (0..2147483646).
  TInternalFieldItem* Add();

  int RecordSize() const { return recordSize_; }
  void SetRecordSize(int v) { recordSize_ = v; }
  bool UsesBlobs() const { return usesBlobs_; }
  int AutoIncFieldIndex() const { return autoIncFieldIndex_; }

  // Lays the record out in collection order and sets RecordSize.
  // 9604 for more than 255 fields.
  void SetDefaultOffsets();
  // Recomputes UsesBlobs and AutoIncFieldIndex and the map (F1).
  void BuildFieldIndex();
  // The item whose FieldIndex is fieldIndex (through the map).
  TInternalFieldItem* GetField(int fieldIndex) const;
  // First item named so, ignoring case; nullptr when none.
  TInternalFieldItem* FindField(const AnsiString& name) const;

  // Checks the values of a stored record against the layout: size markers
  // within their fields, null flags 0 or 1.  8451 when one is not.
  // requires: a record of RecordSize bytes.
  void CheckRecord(const std::uint8_t* record, const char* location) const;

  // From another TInternalFields: copies of its items; then RecordSize 0,
  // UsesBlobs false, AutoIncFieldIndex -1.
  void Assign(TPersistent* source) override;

 private:
  int recordSize_ = 0;
  bool usesBlobs_ = false;
  int autoIncFieldIndex_ = -1;
  std::array<std::int16_t, 256> map_{};
};

class TSearchFieldItem : public TInternalFieldItem {
  PAYROLL_CLASS(TSearchFieldItem, TInternalFieldItem)
 public:
  explicit TSearchFieldItem(TCollection* collection) : TInternalFieldItem(collection) {}
  bool SearchFlag() const { return searchFlag_; }
  void SetSearchFlag(bool v) { searchFlag_ = v; }
  std::uint8_t SearchByte() const { return searchByte_; }
  void SetSearchByte(std::uint8_t v) { searchByte_ = v; }
  void Assign(TPersistent* source) override;

 private:
  bool searchFlag_ = false;
  std::uint8_t searchByte_ = 0;
};

class TSearchFields : public TInternalFields {
  PAYROLL_CLASS(TSearchFields, TInternalFields)
 public:
  TSearchFields();
  TSearchFieldItem* Items(int index) const { return static_cast<TSearchFieldItem*>(TCollection::Items(index)); }
};
