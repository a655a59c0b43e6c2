// TParam/TParams: the parameters of an SQL statement (":name" in its text)
// and their values.
//
// Parsing (TParams::ParseSQL): a parameter is ':' followed by a name made
// of letters, digits, '_' and double-byte characters, or by a quoted name
// (:"pay item").  Not parameters: anything inside '...', "..." or `...`
// literals, inside -- line comments and /* */ comments, and "::" (left as
// it stands).  Each name is created once, in order of first appearance;
// names compare case-insensitively.
//
// Stored form (WriteData/ReadData, the "ParamData" property of a query):
// the class library's streamed collection:
//   0x0E                         collection marker
//   per parameter:  0x01 (list start), then properties
//                   name as a short string (length byte + bytes), value:
//                     "Name"      0x06 short string (0x0C + 32-bit length if longer)
//                     "DataType"  0x07 identifier ("ftString", ...)
//                     "ParamType" 0x07 identifier ("ptInput", ...)
//                     "Value"     only when bound: 0x00 null, 0x06/0x0C
//                                 string, 0x02/0x03/0x04 8/16/32-bit
//                                 integer, 0x05 10-byte extended (dates
//                                 and currency too), 0x08 false, 0x09 true
//                   0x00 (end of the item's properties)
//   0x00                         end of the collection
// Reading bytes that break this layout raises EReadError and leaves the
// list unchanged.
// Layer: platform/data; platform/core only.
#pragma once

#include <memory>
#include <vector>

#include "platform/core/Collections.h"
#include "platform/core/Component.h"
#include "platform/core/Variant.h"
#include "platform/data/DBTypes.h"

class TField;
class TStream;
class TParams;

enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };
PAYROLL_ENUM_NAMES(TParamType, ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult)

class TParam : public TCollectionItem {
  PAYROLL_CLASS(TParam, TCollectionItem)

 public:
  explicit TParam(TCollection* owner) : TCollectionItem(owner) {}

  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& v) { name_ = v; }
  TFieldType DataType() const { return dataType_; }
  void SetDataType(TFieldType v) { dataType_ = v; }
  TParamType ParamType() const { return paramType_; }
  void SetParamType(TParamType v) { paramType_ = v; }
  // A value was assigned (a null counts).
  bool Bound() const { return bound_; }
  void SetBound(bool v) { bound_ = v; }
  bool IsNull() const { return value_.IsNull() || value_.IsEmpty(); }
  void Clear();

  const Variant& Value() const { return value_; }
  // Sets the value; an unknown DataType follows the value's type.
  void SetValue(const Variant& v);
  AnsiString AsString() const { return IsNull() ? AnsiString() : value_.AsString(); }
  void SetAsString(const AnsiString& v) { SetTyped(ftString, Variant(v)); }
  int AsInteger() const { return IsNull() ? 0 : value_.AsInteger(); }
  void SetAsInteger(int v) { SetTyped(ftInteger, Variant(v)); }
  double AsFloat() const { return IsNull() ? 0.0 : value_.AsDouble(); }
  void SetAsFloat(double v) { SetTyped(ftFloat, Variant(v)); }
  double AsCurrency() const { return AsFloat(); }
  void SetAsCurrency(double v) { SetTyped(ftCurrency, Variant(v)); }
  bool AsBoolean() const { return !IsNull() && value_.AsBoolean(); }
  void SetAsBoolean(bool v) { SetTyped(ftBoolean, Variant(v)); }
  TDateTime AsDateTime() const { return IsNull() ? TDateTime(0) : value_.AsDateTime(); }
  void SetAsDateTime(TDateTime v) { SetTyped(ftDateTime, Variant(v)); }
  // Takes a field's type and value (a master field into a detail's
  // parameter).
  void AssignField(TField* field);
  void AssignFieldValue(TField* field, const Variant& value);

  void Assign(TPersistent* source) override;
  AnsiString DisplayName() const override { return name_; }

 private:
  void SetTyped(TFieldType type, const Variant& v);

  AnsiString name_;
  TFieldType dataType_ = ftUnknown;
  TParamType paramType_ = ptUnknown;
  Variant value_;
  bool bound_ = false;
};

// A collection: it also streams as "Params = < item ... end >" where a
// component publishes it.
class TParams : public TOwnedCollection {
  PAYROLL_CLASS(TParams, TOwnedCollection)

 public:
  explicit TParams(TPersistent* owner = nullptr);

  TParam* Items(int index) const { return static_cast<TParam*>(TCollection::Items(index)); }
  TParam* operator[](int index) const { return Items(index); }
  TParam* Add() { return static_cast<TParam*>(TCollection::Add()); }
  TParam* CreateParam(TFieldType type, const AnsiString& name, TParamType paramType);
  TParam* FindParam(const AnsiString& name) const;
  // Raises "Parameter '%s' not found".
  TParam* ParamByName(const AnsiString& name) const;
  // Values of the parameters named like the other list's, kept by name.
  void AssignValues(const TParams& other);
  bool IsEqual(const TParams& other) const;

  // Finds the parameters of the text (creating them when doCreate, after
  // clearing the list) and returns the text with each parameter replaced
  // by '?'.
  AnsiString ParseSQL(const AnsiString& sql, bool doCreate);

  void WriteData(TStream* stream) const;
  void ReadData(TStream* stream);
};
