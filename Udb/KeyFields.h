// TKeyFields: the key fields of all indexes of a table, one item per key
// part, streamed with the table definition.  This unit holds the stored
// description only; building and comparing keys belong to the search-key
// unit built on it.  TSortOrder is the string order of a table's indexes.
// Calls platform/core, platform/data and UdbErrors.
#pragma once

#include "platform/core/Collections.h"
#include "platform/data/DBTypes.h"

// Bytes a value of the type takes in a key part (strings: the length word
// only).  Any other type raises "Error in setting CoreDataSize - field type
// not found: " + the type's name.
int CoreDataSize(TFieldType type);
// The types CoreDataSize knows: the types a key part can have.
bool IsKeyPartType(TFieldType type);

// soANSI: the locale's ANSI order; soASCII: byte order.
enum TSortOrder { soANSI, soASCII };
PAYROLL_ENUM_NAMES(TSortOrder, soANSI, soASCII)

class TKeyFieldItem : public TCollectionItem {
  PAYROLL_CLASS(TKeyFieldItem, TCollectionItem)
 public:
  explicit TKeyFieldItem(TCollection* collection) : TCollectionItem(collection) {}

  const AnsiString& FieldName() const { return fieldName_; }
  void SetFieldName(const AnsiString& v) { fieldName_ = v; }
  TFieldType DataType() const { return dataType_; }
  void SetDataType(TFieldType v) { dataType_ = v; }
  int FieldSize() const { return fieldSize_; }
  void SetFieldSize(int v) { fieldSize_ = v; }
  bool CaseInsensitive() const { return caseInsensitive_; }
  void SetCaseInsensitive(bool v) { caseInsensitive_ = v; }
  bool Descending() const { return descending_; }
  void SetDescending(bool v) { descending_ = v; }
  bool IsVariable() const { return isVariable_; }
  void SetIsVariable(bool v) { isVariable_ = v; }
  int RecBufOffset() const { return recBufOffset_; }
  void SetRecBufOffset(int v) { recBufOffset_ = v; }
  int NullFlagOffset() const { return nullFlagOffset_; }
  void SetNullFlagOffset(int v) { nullFlagOffset_ = v; }
  int SizeMarkerOffset() const { return sizeMarkerOffset_; }
  void SetSizeMarkerOffset(int v) { sizeMarkerOffset_ = v; }
  int PhysicalFieldNo() const { return physicalFieldNo_; }
  void SetPhysicalFieldNo(int v) { physicalFieldNo_ = v; }
  const AnsiString& IndexName() const { return indexName_; }
  void SetIndexName(const AnsiString& v) { indexName_ = v; }
  bool Hidden() const { return hidden_; }
  void SetHidden(bool v) { hidden_ = v; }
  int KeyIndex() const { return keyIndex_; }
  void SetKeyIndex(int v) { keyIndex_ = v; }

  // A string part without a size marker is a damaged definition: 8451
  // ("Internal status error in assign KeyField").
  void Assign(TPersistent* source) override;
  AnsiString DisplayName() const override { return fieldName_; }
  // Bytes this part adds to a key's KeySize: the core data size, plus
  // FieldSize for strings.
  int PartSize() const;

 private:
  AnsiString fieldName_;
  TFieldType dataType_ = ftUnknown;
  int fieldSize_ = 0;
  bool caseInsensitive_ = false;
  bool descending_ = false;
  bool isVariable_ = false;
  int recBufOffset_ = 0;
  int nullFlagOffset_ = 0;
  int sizeMarkerOffset_ = 0;
  int physicalFieldNo_ = 0;
  AnsiString indexName_;
  bool hidden_ = false;
  int keyIndex_ = 0;
};

class TKeyFields : public TCollection {
  PAYROLL_CLASS(TKeyFields, TCollection)
 public:
  TKeyFields() : TCollection(ItemClassOf<TKeyFieldItem>()) {}
  TKeyFieldItem* Add() { return static_cast<TKeyFieldItem*>(TCollection::Add()); }
  TKeyFieldItem* Items(int i) const { return static_cast<TKeyFieldItem*>(TCollection::Items(i)); }
  void Assign(TPersistent* source) override;

  // Bytes of the key presence bitmap (parts / 8 + 1 for one index's parts).
  int KeyDataOffset() const { return keyDataOffset_; }
  void SetKeyDataOffset(int v) { keyDataOffset_ = v; }
  // 10 + the sum of the parts' sizes (the presence bitmap not included).
  int KeySize() const;
  // KeySize + the bitmap bytes for Count() parts.
  int MaximumKeySize() const;
  // First item with that field name (ignoring case), or null.
  TKeyFieldItem* FindKeyField(const AnsiString& name) const;
  // Items whose IndexName equals indexName (ignoring case).
  int CountForIndex(const AnsiString& indexName) const;

 private:
  int keyDataOffset_ = 1;
};
