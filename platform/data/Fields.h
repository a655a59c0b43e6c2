// TField and its descendants: a dataset's columns, and TFields, the list of
// a dataset's fields.
//
// A field reads and writes its value through its dataset's
// GetFieldData/SetFieldData in the field's native form, DataSize bytes:
//
//   type                      DataSize  native form
//   ftString                  Size + 1  bytes, zero-terminated
//   ftSmallint, ftWord        2         16-bit integer
//   ftBoolean                 2         16-bit integer, -1 true, 0 false
//                                       (any non-zero reads as true)
//   ftInteger, ftAutoInc      4         32-bit integer
//   ftFloat, ftCurrency       8         double
//   ftDate                    4         32-bit day number (time stamp date:
//                                       30 December 1899 is 693594)
//   ftTime                    4         32-bit milliseconds since midnight
//   ftDateTime                8         double, time-stamp milliseconds
//   blob types                0         through CreateBlobStream only
//
// Conversions follow the class library: AsString of a null value is "",
// AsInteger/AsFloat of a null number 0, AsBoolean of a null boolean false;
// setting "" through AsString clears a numeric, boolean or date field; a
// conversion a type does not offer raises "Cannot access field '%s' as
// type %s"; text that does not convert raises EConvertError.
//
// Layer: platform/data; platform/core only.
#pragma once

#include <functional>
#include <vector>

#include "platform/core/Component.h"
#include "platform/core/TypInfo.h"
#include "platform/core/DateTime.h"
#include "platform/core/Variant.h"
#include "platform/data/DBTypes.h"

class TDataSet;
class TStream;

class TField;
using TFieldNotifyEvent = std::function<void(TField* sender)>;
using TFieldGetTextEvent = std::function<void(TField* sender, AnsiString& text, bool displayText)>;
using TFieldSetTextEvent = std::function<void(TField* sender, const AnsiString& text)>;

class TField : public TComponent {
  PAYROLL_CLASS(TField, TComponent)

 public:
  explicit TField(TComponent* owner);
  ~TField() override;

  // --- binding ------------------------------------------------------------
  TDataSet* DataSet() const { return dataSet_; }
  // Moves the field to another dataset's field list (both closed).
  void SetDataSet(TDataSet* dataSet);
  const AnsiString& FieldName() const { return fieldName_; }
  void SetFieldName(const AnsiString& v);
  TFieldType DataType() const { return dataType_; }
  TFieldKind FieldKind() const { return fieldKind_; }
  void SetFieldKind(TFieldKind v);
  bool Calculated() const { return fieldKind_ == fkCalculated; }
  void SetCalculated(bool v) { SetFieldKind(v ? fkCalculated : fkData); }
  bool Lookup() const { return fieldKind_ == fkLookup; }
  void SetLookup(bool v) { SetFieldKind(v ? fkLookup : fkData); }
  // 1-based number of the field's definition; -1 for calculated and
  // lookup fields; 0 while unbound.
  int FieldNo() const { return fieldNo_; }
  // Position of a calculated or lookup field in the calculated area.
  int Offset() const { return offset_; }
  // Position in the dataset's field list.
  int Index() const;
  void SetIndex(int v);
  int Size() const { return size_; }
  void SetSize(int v);
  virtual int DataSize() const { return 0; }
  virtual bool IsBlob() const { return false; }

  // --- lookup fields --------------------------------------------------------
  TDataSet* LookupDataSet() const { return lookupDataSet_; }
  void SetLookupDataSet(TDataSet* v) { lookupDataSet_ = v; }
  const AnsiString& KeyFields() const { return keyFields_; }
  void SetKeyFields(const AnsiString& v) { keyFields_ = v; }
  const AnsiString& LookupKeyFields() const { return lookupKeyFields_; }
  void SetLookupKeyFields(const AnsiString& v) { lookupKeyFields_ = v; }
  const AnsiString& LookupResultField() const { return lookupResultField_; }
  void SetLookupResultField(const AnsiString& v) { lookupResultField_ = v; }

  // --- presentation -----------------------------------------------------------
  // DisplayLabel reads as FieldName until one is set.
  AnsiString DisplayLabel() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
  void SetDisplayLabel(const AnsiString& v) { displayLabel_ = v; }
  AnsiString DisplayName() const { return DisplayLabel(); }
  int DisplayWidth() const { return displayWidth_ > 0 ? displayWidth_ : DefaultWidth(); }
  void SetDisplayWidth(int v) { displayWidth_ = v; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v) { alignment_ = v; }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v) { readOnly_ = v; }
  bool Required() const { return required_; }
  void SetRequired(bool v) { required_ = v; }
  const AnsiString& EditMask() const { return editMask_; }
  void SetEditMask(const AnsiString& v) { editMask_ = v; }
  const AnsiString& DefaultExpression() const { return defaultExpression_; }
  void SetDefaultExpression(const AnsiString& v) { defaultExpression_ = v; }
  // Data field, not read-only, on a dataset that can modify.
  bool CanModify() const;

  // --- values ---------------------------------------------------------------
  bool IsNull() const;
  // Sets the field null (a blob field: empty, which the record stores as
  // null).
  virtual void Clear() { SetData(nullptr); }
  AnsiString AsString() const { return GetAsString(); }
  void SetAsString(const AnsiString& v) { SetAsStringValue(v); }
  int AsInteger() const { return GetAsInteger(); }
  void SetAsInteger(int v) { SetAsIntegerValue(v); }
  double AsFloat() const { return GetAsFloat(); }
  void SetAsFloat(double v) { SetAsFloatValue(v); }
  double AsCurrency() const { return GetAsFloat(); }
  void SetAsCurrency(double v) { SetAsFloatValue(v); }
  bool AsBoolean() const { return GetAsBoolean(); }
  void SetAsBoolean(bool v) { SetAsBooleanValue(v); }
  TDateTime AsDateTime() const { return GetAsDateTime(); }
  void SetAsDateTime(TDateTime v) { SetAsDateTimeValue(v); }
  Variant AsVariant() const { return GetAsVariant(); }
  void SetAsVariant(const Variant& v);
  Variant Value() const { return GetAsVariant(); }
  void SetValue(const Variant& v) { SetAsVariant(v); }
  // Assigns a value of any kind (null clears).
  void AssignValue(const Variant& v) { SetAsVariant(v); }
  // The edit text (OnGetText with displayText false, else the field's own).
  AnsiString Text() const;
  void SetText(const AnsiString& v);
  // The display text (OnGetText with displayText true, else the field's own).
  AnsiString DisplayText() const;

  // Raw access in the native form (DataSize bytes); buffer nullptr asks
  // only whether a value is present.  SetData(nullptr) writes null.
  bool GetData(void* buffer) const;
  void SetData(const void* buffer);
  // Runs OnValidate with buffer as the value the field reads meanwhile.
  void Validate(const void* buffer);
  // Runs OnChange (the dataset calls it after a field change).
  void Change();
  // Asks the data-aware control showing this field to take the focus.
  void FocusControl();

  TFieldGetTextEvent OnGetText;
  TFieldSetTextEvent OnSetText;
  TFieldNotifyEvent OnValidate;
  TFieldNotifyEvent OnChange;

  void Assign(TPersistent* source) override;
  // In a form's text a persistent field is written inside its dataset.
  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* parent) override;

 protected:
  void SetDataType(TFieldType t) { dataType_ = t; }
  virtual int DefaultWidth() const { return 10; }
  virtual AnsiString GetAsString() const;
  virtual void SetAsStringValue(const AnsiString& v);
  virtual int GetAsInteger() const;
  virtual void SetAsIntegerValue(int v);
  virtual double GetAsFloat() const;
  virtual void SetAsFloatValue(double v);
  virtual bool GetAsBoolean() const;
  virtual void SetAsBooleanValue(bool v);
  virtual TDateTime GetAsDateTime() const;
  virtual void SetAsDateTimeValue(TDateTime v);
  virtual Variant GetAsVariant() const;
  virtual void SetVarValue(const Variant& v);
  virtual void GetText(AnsiString& text, bool displayText) const;
  [[noreturn]] void AccessError(const char* typeName) const;
  void CheckDataSet() const;
  // "(BLOB)" / "(blob)" style description of the class.
  AnsiString ClassDesc() const;
  // Binding hook: lookup fields check their settings and open their
  // lookup dataset.
  virtual void Bind(bool binding);

 private:
  friend class TDataSet;
  friend class TFields;

  TDataSet* dataSet_ = nullptr;
  AnsiString fieldName_;
  AnsiString displayLabel_;
  AnsiString editMask_;
  AnsiString defaultExpression_;
  TFieldType dataType_ = ftUnknown;
  TFieldKind fieldKind_ = fkData;
  int fieldNo_ = 0;
  int offset_ = 0;
  int size_ = 0;
  int displayWidth_ = 0;
  TAlignment alignment_ = taLeftJustify;
  bool visible_ = true;
  bool readOnly_ = false;
  bool required_ = false;
  TDataSet* lookupDataSet_ = nullptr;
  AnsiString keyFields_, lookupKeyFields_, lookupResultField_;
  mutable bool validating_ = false;
  const void* valueBuffer_ = nullptr;
};

// --- strings ---------------------------------------------------------------

class TStringField : public TField {
  PAYROLL_CLASS(TStringField, TField)

 public:
  explicit TStringField(TComponent* owner);
  int DataSize() const override { return Size() + 1; }
  // Value stored and read back unchanged, or cut at Size bytes (never in
  // the middle of a double-byte character).
  bool GetValue(AnsiString& value) const;

 protected:
  int DefaultWidth() const override { return Size(); }
  AnsiString GetAsString() const override;
  void SetAsStringValue(const AnsiString& v) override;
  int GetAsInteger() const override;
  void SetAsIntegerValue(int v) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double v) override;
  bool GetAsBoolean() const override;
  void SetAsBooleanValue(bool v) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTimeValue(TDateTime v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
};

// --- numbers ---------------------------------------------------------------

class TNumericField : public TField {
  PAYROLL_CLASS(TNumericField, TField)

 public:
  explicit TNumericField(TComponent* owner);
  const AnsiString& DisplayFormat() const { return displayFormat_; }
  void SetDisplayFormat(const AnsiString& v) { displayFormat_ = v; }
  const AnsiString& EditFormat() const { return editFormat_; }
  void SetEditFormat(const AnsiString& v) { editFormat_ = v; }

 private:
  AnsiString displayFormat_, editFormat_;
};

// Integer fields of 16 and 32 bits.  MinValue/MaxValue 0/0 means the type's
// own range; a value outside the range raises "%s is not a valid value for
// field '%s'. The allowed range is %s to %s".
class TIntegerField : public TNumericField {
  PAYROLL_CLASS(TIntegerField, TNumericField)

 public:
  explicit TIntegerField(TComponent* owner);
  int DataSize() const override { return 4; }
  int MinValue() const { return minValue_; }
  void SetMinValue(int v) { minValue_ = v; }
  int MaxValue() const { return maxValue_; }
  void SetMaxValue(int v) { maxValue_ = v; }
  bool GetValue(int& value) const;

 protected:
  TIntegerField(TComponent* owner, TFieldType type, int minRange, int maxRange);
  virtual void ReadNative(const void* data, int& value) const;
  virtual void WriteNative(int value, void* data) const;
  AnsiString GetAsString() const override;
  void SetAsStringValue(const AnsiString& v) override;
  int GetAsInteger() const override;
  void SetAsIntegerValue(int v) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
  void GetText(AnsiString& text, bool displayText) const override;

 private:
  int minRange_, maxRange_;
  int minValue_ = 0, maxValue_ = 0;
};

class TSmallintField : public TIntegerField {
  PAYROLL_CLASS(TSmallintField, TIntegerField)

 public:
  explicit TSmallintField(TComponent* owner);
  int DataSize() const override { return 2; }

 protected:
  TSmallintField(TComponent* owner, TFieldType type, int minRange, int maxRange);
  void ReadNative(const void* data, int& value) const override;
  void WriteNative(int value, void* data) const override;
};

class TWordField : public TSmallintField {
  PAYROLL_CLASS(TWordField, TSmallintField)

 public:
  explicit TWordField(TComponent* owner);

 protected:
  void ReadNative(const void* data, int& value) const override;
};

class TAutoIncField : public TIntegerField {
  PAYROLL_CLASS(TAutoIncField, TIntegerField)

 public:
  explicit TAutoIncField(TComponent* owner);
};

// Doubles.  Precision: significant digits of the default text (15).
// Currency: the display text uses the currency format.
class TFloatField : public TNumericField {
  PAYROLL_CLASS(TFloatField, TNumericField)

 public:
  explicit TFloatField(TComponent* owner);
  int DataSize() const override { return 8; }
  int Precision() const { return precision_; }
  void SetPrecision(int v);
  bool Currency() const { return currency_; }
  void SetCurrency(bool v) { currency_ = v; }
  double MinValue() const { return minValue_; }
  void SetMinValue(double v) { minValue_ = v; }
  double MaxValue() const { return maxValue_; }
  void SetMaxValue(double v) { maxValue_ = v; }

 protected:
  AnsiString GetAsString() const override;
  void SetAsStringValue(const AnsiString& v) override;
  int GetAsInteger() const override;
  void SetAsIntegerValue(int v) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
  void GetText(AnsiString& text, bool displayText) const override;

 private:
  int precision_ = 15;
  bool currency_ = false;
  double minValue_ = 0, maxValue_ = 0;
};

class TCurrencyField : public TFloatField {
  PAYROLL_CLASS(TCurrencyField, TFloatField)

 public:
  explicit TCurrencyField(TComponent* owner);
};

// --- booleans --------------------------------------------------------------

// DisplayValues "True;False": the texts for true and false; either may be
// empty.  Text that matches neither (case-insensitively, as a prefix)
// raises "'%s' is not a valid boolean value".
class TBooleanField : public TField {
  PAYROLL_CLASS(TBooleanField, TField)

 public:
  explicit TBooleanField(TComponent* owner);
  int DataSize() const override { return 2; }
  AnsiString DisplayValues() const { return displayValues_; }
  void SetDisplayValues(const AnsiString& v);

 protected:
  int DefaultWidth() const override;
  AnsiString GetAsString() const override;
  void SetAsStringValue(const AnsiString& v) override;
  bool GetAsBoolean() const override;
  void SetAsBooleanValue(bool v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;

 private:
  AnsiString displayValues_;
  AnsiString textTrue_, textFalse_;
};

// --- dates and times ---------------------------------------------------------

// The default text: ftDate ShortDateFormat, ftTime LongTimeFormat,
// ftDateTime the "c" picture; DisplayFormat replaces it in DisplayText.
class TDateTimeField : public TField {
  PAYROLL_CLASS(TDateTimeField, TField)

 public:
  explicit TDateTimeField(TComponent* owner);
  int DataSize() const override { return 8; }
  const AnsiString& DisplayFormat() const { return displayFormat_; }
  void SetDisplayFormat(const AnsiString& v) { displayFormat_ = v; }
  bool GetValue(TDateTime& value) const;

 protected:
  TDateTimeField(TComponent* owner, TFieldType type);
  AnsiString GetAsString() const override;
  void SetAsStringValue(const AnsiString& v) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double v) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTimeValue(TDateTime v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
  void GetText(AnsiString& text, bool displayText) const override;

 private:
  AnsiString displayFormat_;
};

class TDateField : public TDateTimeField {
  PAYROLL_CLASS(TDateField, TDateTimeField)

 public:
  explicit TDateField(TComponent* owner);
  int DataSize() const override { return 4; }
};

class TTimeField : public TDateTimeField {
  PAYROLL_CLASS(TTimeField, TDateTimeField)

 public:
  explicit TTimeField(TComponent* owner);
  int DataSize() const override { return 4; }
};

// --- blobs -------------------------------------------------------------------

// Values go through the dataset's CreateBlobStream.  AsString is the whole
// content; the display text is "(BLOB)", "(MEMO)", "(GRAPHIC)" (lower case
// when null).  Assigning a blob field to a TStrings loads its text.
class TBlobField : public TField {
  PAYROLL_CLASS(TBlobField, TField)

 public:
  explicit TBlobField(TComponent* owner);
  bool IsBlob() const override { return true; }
  int BlobSize() const;
  // ftBlob, ftMemo, ftGraphic, ftFmtMemo, ... (a formatted memo is a
  // TBlobField of type ftFmtMemo).
  void SetFieldType(TFieldType type) {
    if (IsBlobType(type)) SetDataType(type);
  }
  void LoadFromStream(TStream* stream);
  void SaveToStream(TStream* stream) const;
  // A blob's value is written through the dataset's blob stream, never as
  // field data: clearing it writes an empty blob.
  void Clear() override;

 protected:
  TBlobField(TComponent* owner, TFieldType type);
  AnsiString GetAsString() const override;
  void SetAsStringValue(const AnsiString& v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
  void GetText(AnsiString& text, bool displayText) const override;
  void AssignTo(TPersistent* dest) override;
};

class TMemoField : public TBlobField {
  PAYROLL_CLASS(TMemoField, TBlobField)

 public:
  explicit TMemoField(TComponent* owner);
};

class TGraphicField : public TBlobField {
  PAYROLL_CLASS(TGraphicField, TBlobField)

 public:
  explicit TGraphicField(TComponent* owner);
};

// --- the field list ------------------------------------------------------------

// The fields of one dataset, in order.  The list does not own the fields'
// memory by the component rules: Clear deletes them (a field's destructor
// takes it out of its dataset's list).
class TFields {
 public:
  explicit TFields(TDataSet* dataSet) : dataSet_(dataSet) {}
  ~TFields();
  TFields(const TFields&) = delete;
  TFields& operator=(const TFields&) = delete;

  int Count() const { return static_cast<int>(list_.size()); }
  TField* operator[](int index) const { return Fields(index); }
  // Raises "Field index out of range" outside 0..Count-1.
  TField* Fields(int index) const;
  TField* FindField(const AnsiString& fieldName) const;
  TField* FieldByName(const AnsiString& fieldName) const;
  TField* FieldByNumber(int fieldNo) const;
  int IndexOf(const TField* field) const;
  // Raises for the first name of the ';'-separated list that is missing.
  void CheckFieldNames(const AnsiString& fieldNames) const;
  void GetFieldNames(std::vector<AnsiString>& names) const;
  void Clear();
  TDataSet* DataSet() const { return dataSet_; }

 private:
  friend class TField;
  void Add(TField* field);
  void Remove(TField* field);
  void SetFieldIndex(TField* field, int index);

  TDataSet* dataSet_;
  std::vector<TField*> list_;
};

// The field class for a type (nullptr for a type without one).
TField* CreateFieldOfType(TFieldType type, TComponent* owner);
// Splits "a;b;c" into its names (blanks around names dropped, empty ones
// skipped).
std::vector<AnsiString> SplitFieldNames(const AnsiString& fieldNames);
