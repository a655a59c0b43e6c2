// TsqField, TsqFields: the typed columns of a result set.  sql/; calls
// platform/core and platform/data.
//
// A column knows where its value lies in a row (ResultSet.h gives the row
// layout) and converts between its stored type and the four access types;
// the bytes themselves go through its result set's GetFieldData,
// SetFieldData and IsNull.  A null value reads as "", 0 or false.
//
//   TsqField* f = rs.AddField("NAME", "", false, 0, 0, 0, nullptr, 10, ttString);
//   rs.Insert(); f->SetAsString("abc"); f->GetAsString();   // "abc"
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/AnsiString.h"
#include "sql/ExprType.h"

class TField;
class TResultSet;
class TsqFields;

class TsqField {
 public:
  TsqField(TsqFields* owner, int index);
  virtual ~TsqField() = default;
  TsqField(const TsqField&) = delete;
  TsqField& operator=(const TsqField&) = delete;

  // The base class reads and assigns nothing: each raises ESqlQueryError
  // ("Cannot read field as string", "Cannot assign field as float", ...).
  virtual AnsiString GetAsString();
  virtual void SetAsString(const AnsiString& value);
  virtual double GetAsFloat();
  virtual void SetAsFloat(double value);
  virtual std::int32_t GetAsInteger();
  virtual void SetAsInteger(std::int32_t value);
  virtual bool GetAsBoolean();
  virtual void SetAsBoolean(bool value);
  // Stores the empty value of the type ("", 0, false): not null afterwards.
  virtual void Clear() = 0;

  bool IsNull();
  // With a source field: its Size for string, fixed-char, wide-string and
  // GUID fields, else its DataSize; without one: DataSize().
  int DisplaySize() const;
  // Copies DataSize() bytes of the current row's value; false when the
  // column is null or there is no current row.
  bool GetData(void* buffer);
  // Writes DataSize() bytes as the current row's value (not null).
  void SetData(const void* buffer);

  TsqFields* Owner() const { return owner_; }
  TResultSet* ResultSet() const;
  const AnsiString& FieldName() const { return fieldName_; }
  void SetFieldName(const AnsiString& v) { fieldName_ = v; }
  const AnsiString& Alias() const { return alias_; }
  void SetAlias(const AnsiString& v) { alias_ = v; }
  TExprType DataType() const { return dataType_; }
  int DataSize() const { return dataSize_; }
  // Position of the column's null flag in a row; the value follows 2 bytes later.
  int Offset() const { return offset_; }
  std::uint8_t ColumnFlag() const { return columnFlag_; }
  void SetColumnFlag(std::uint8_t v) { columnFlag_ = v; }
  TField* SourceField() const { return sourceField_; }
  void SetSourceField(TField* v) { sourceField_ = v; }
  int CastType() const { return castType_; }
  void SetCastType(int v) { castType_ = v; }
  int CastLength() const { return castLength_; }
  void SetCastLength(int v) { castLength_ = v; }
  bool UseDisplayLabel() const { return useDisplayLabel_; }
  void SetUseDisplayLabel(bool v) { useDisplayLabel_ = v; }
  // 1-based position in the collection.
  int Index() const { return index_; }

 protected:
  friend class TResultSet;
  friend class TsqFields;
  void SetLayout(TExprType type, int dataSize, int offset) {
    dataType_ = type;
    dataSize_ = dataSize;
    offset_ = offset;
  }

 private:
  TsqFields* owner_;
  AnsiString fieldName_;
  AnsiString alias_;
  TExprType dataType_ = ttString;
  int dataSize_ = 0;
  int offset_ = 0;
  std::uint8_t columnFlag_ = 0;
  TField* sourceField_ = nullptr;
  int castType_ = 0;
  int castLength_ = 0;
  bool useDisplayLabel_ = false;
  int index_;
};

class TsqStringField : public TsqField {
 public:
  using TsqField::TsqField;
  AnsiString GetAsString() override;
  void SetAsString(const AnsiString& value) override;
  double GetAsFloat() override;
  void SetAsFloat(double value) override;
  std::int32_t GetAsInteger() override;
  void SetAsInteger(std::int32_t value) override;
  bool GetAsBoolean() override;
  void SetAsBoolean(bool value) override;
  void Clear() override { SetAsString(AnsiString()); }
};

class TsqFloatField : public TsqField {
 public:
  using TsqField::TsqField;
  AnsiString GetAsString() override;
  void SetAsString(const AnsiString& value) override;
  double GetAsFloat() override;
  void SetAsFloat(double value) override;
  std::int32_t GetAsInteger() override;
  void SetAsInteger(std::int32_t value) override;
  void Clear() override { SetAsFloat(0); }
};

class TsqIntegerField : public TsqField {
 public:
  using TsqField::TsqField;
  AnsiString GetAsString() override;
  void SetAsString(const AnsiString& value) override;
  double GetAsFloat() override;
  void SetAsFloat(double value) override;
  std::int32_t GetAsInteger() override;
  void SetAsInteger(std::int32_t value) override;
  void Clear() override { SetAsInteger(0); }
};

class TsqBooleanField : public TsqField {
 public:
  using TsqField::TsqField;
  AnsiString GetAsString() override;
  void SetAsString(const AnsiString& value) override;
  bool GetAsBoolean() override;
  void SetAsBoolean(bool value) override;
  void Clear() override { SetAsBoolean(false); }
};

class TsqFields {
 public:
  explicit TsqFields(TResultSet* owner) : owner_(owner) {}
  TsqFields(const TsqFields&) = delete;
  TsqFields& operator=(const TsqFields&) = delete;

  TResultSet* ResultSet() const { return owner_; }
  // Appends a column of the class of that type, Index() = Count() + 1.
  TsqField* Add(TExprType dataType);
  // The first column whose name or alias equals name, case ignored; or nullptr.
  TsqField* FindField(const AnsiString& name) const;
  int Count() const { return static_cast<int>(items_.size()); }
  TsqField* Items(int index) const;  // 0-based
  void Delete(int index);
  void Clear() { items_.clear(); }

 private:
  TResultSet* owner_;
  std::vector<std::unique_ptr<TsqField>> items_;
};

// Text of a boolean as columns and sort keys give it: "T" or "F".
AnsiString BooleanKeyText(bool value);
// The text-to-boolean rule of columns and sort keys: "" and any prefix of
// "FALSE" (case ignored) are false, a prefix of "TRUE" is true; anything
// else raises ESqlQueryError "Invalid boolean value %s".
bool BooleanFromKeyText(const AnsiString& text);
// Round half to even into 32 bits; raises EIntOverflow beyond them.
std::int32_t RoundToInt32(double value);
