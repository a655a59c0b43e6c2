#include "sql/SqFields.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/core/AnsiText.h"
#include "platform/core/ByteBuffer.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Fields.h"
#include "sql/ResultSet.h"
#include "sql/SqlMessages.h"

AnsiString BooleanKeyText(bool value) { return value ? "T" : "F"; }

bool BooleanFromKeyText(const AnsiString& text) {
  if (text.empty()) return false;
  const AnsiString upper = AnsiUpperCase(text);
  if (upper.size() <= 5 && AnsiString("FALSE").compare(0, upper.size(), upper) == 0) return false;
  if (upper.size() <= 4 && AnsiString("TRUE").compare(0, upper.size(), upper) == 0) return true;
  SqlQueryError(kSqlInvalidBoolean, {text});
}

std::int32_t FieldRoundToInt32(double value) {
  const std::int64_t r = Round(value);
  if (r < INT32_MIN || r > INT32_MAX) throw EIntOverflow("Integer overflow");
  return static_cast<std::int32_t>(r);
}

// ---- TsqField --------------------------------------------------------------------

TsqField::TsqField(TsqFields* owner, int index) : owner_(owner), index_(index) {}

TResultSet* TsqField::ResultSet() const { return owner_->ResultSet(); }

AnsiString TsqField::GetAsString() { SqlQueryError(kSqlCannotReadString); }
void TsqField::SetAsString(const AnsiString&) { SqlQueryError(kSqlCannotAssignString); }
double TsqField::GetAsFloat() { SqlQueryError(kSqlCannotReadFloat); }
void TsqField::SetAsFloat(double) { SqlQueryError(kSqlCannotAssignFloat); }
std::int32_t TsqField::GetAsInteger() { SqlQueryError(kSqlCannotReadInteger); }
void TsqField::SetAsInteger(std::int32_t) { SqlQueryError(kSqlCannotAssignInteger); }
bool TsqField::GetAsBoolean() { SqlQueryError(kSqlCannotReadBoolean); }
void TsqField::SetAsBoolean(bool) { SqlQueryError(kSqlCannotAssignBoolean); }

bool TsqField::IsNull() { return ResultSet()->IsNull(this); }

bool TsqField::GetData(void* buffer) { return ResultSet()->GetFieldData(this, buffer); }

void TsqField::SetData(const void* buffer) { ResultSet()->SetFieldData(this, buffer); }

int TsqField::DisplaySize() const {
  if (!sourceField_) return dataSize_;
  switch (sourceField_->DataType()) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid:
      return sourceField_->Size();
    default:
      return sourceField_->DataSize();
  }
}

// ---- TsqStringField --------------------------------------------------------------

AnsiString TsqStringField::GetAsString() {
  TByteBuffer buf(static_cast<size_t>(DataSize()));
  if (!GetData(buf.data())) return AnsiString();
  return AnsiString(buf.data(), strnlen(buf.data(), buf.size()));
}

void TsqStringField::SetAsString(const AnsiString& value) {
  TByteBuffer buf(static_cast<size_t>(DataSize()));
  if (char* to = buf.data()) {
    const size_t used = std::min(value.size(), buf.size());
    std::memcpy(to, value.data(), used);
    std::memset(to + used, 0, buf.size() - used);
  }
  SetData(buf.data());
}

double TsqStringField::GetAsFloat() {
  if (IsNull()) return 0;
  return StrToFloat(GetAsString());
}

void TsqStringField::SetAsFloat(double value) { SetAsString(FloatToStr(value)); }

std::int32_t TsqStringField::GetAsInteger() {
  if (IsNull()) return 0;
  return StrToInt(GetAsString());
}

void TsqStringField::SetAsInteger(std::int32_t value) { SetAsString(IntToStr(value)); }

bool TsqStringField::GetAsBoolean() {
  const AnsiString s = GetAsString();
  return !s.empty() && (s[0] == 'T' || s[0] == 't' || s[0] == 'Y' || s[0] == 'y');
}

void TsqStringField::SetAsBoolean(bool value) { SetAsString(BooleanKeyText(value)); }

// ---- TsqFloatField ---------------------------------------------------------------

AnsiString TsqFloatField::GetAsString() {
  double v;
  return GetData(&v) ? FloatToStr(v) : AnsiString();
}

void TsqFloatField::SetAsString(const AnsiString& value) {
  if (value.empty()) return Clear();
  double v;
  if (!TryStrToFloat(value, v)) SqlQueryError(kSqlInvalidFloat, {value});
  SetAsFloat(v);
}

double TsqFloatField::GetAsFloat() {
  double v = 0;
  return GetData(&v) ? v : 0;
}

void TsqFloatField::SetAsFloat(double value) { SetData(&value); }

std::int32_t TsqFloatField::GetAsInteger() { return FieldRoundToInt32(GetAsFloat()); }

void TsqFloatField::SetAsInteger(std::int32_t value) { SetAsFloat(value); }

// ---- TsqIntegerField -------------------------------------------------------------

AnsiString TsqIntegerField::GetAsString() {
  std::int32_t v;
  return GetData(&v) ? IntToStr(v) : AnsiString();
}

void TsqIntegerField::SetAsString(const AnsiString& value) {
  int v;
  if (!TryStrToInt(value, v)) SqlQueryError(kSqlInvalidInteger, {value});
  SetAsInteger(v);
}

double TsqIntegerField::GetAsFloat() { return GetAsInteger(); }

void TsqIntegerField::SetAsFloat(double value) { SetAsInteger(FieldRoundToInt32(value)); }

std::int32_t TsqIntegerField::GetAsInteger() {
  std::int32_t v = 0;
  return GetData(&v) ? v : 0;
}

void TsqIntegerField::SetAsInteger(std::int32_t value) { SetData(&value); }

// ---- TsqBooleanField -------------------------------------------------------------

AnsiString TsqBooleanField::GetAsString() {
  return IsNull() ? AnsiString() : BooleanKeyText(GetAsBoolean());
}

void TsqBooleanField::SetAsString(const AnsiString& value) { SetAsBoolean(BooleanFromKeyText(value)); }

bool TsqBooleanField::GetAsBoolean() {
  std::uint16_t v = 0;
  return GetData(&v) && v != 0;
}

void TsqBooleanField::SetAsBoolean(bool value) {
  const std::uint16_t v = value ? 1 : 0;
  SetData(&v);
}

// ---- TsqFields -------------------------------------------------------------------

TsqField* TsqFields::Add(TExprType dataType) {
  const int index = Count() + 1;
  std::unique_ptr<TsqField> f;
  switch (dataType) {
    case ttString: f = std::make_unique<TsqStringField>(this, index); break;
    case ttFloat: f = std::make_unique<TsqFloatField>(this, index); break;
    case ttInteger: f = std::make_unique<TsqIntegerField>(this, index); break;
    case ttBoolean: f = std::make_unique<TsqBooleanField>(this, index); break;
  }
  if (!f) throw EInvalidOperation("Unknown column type " + IntToStr(dataType));
  f->SetLayout(dataType, 0, 0);
  items_.push_back(std::move(f));
  return items_.back().get();
}

TsqField* TsqFields::FindField(const AnsiString& name) const {
  for (const auto& f : items_)
    if (AnsiSameText(f->FieldName(), name) || AnsiSameText(f->Alias(), name)) return f.get();
  return nullptr;
}

TsqField* TsqFields::Items(int index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
  return items_[static_cast<size_t>(index)].get();
}

void TsqFields::Delete(int index) {
  if (index < 0 || index >= Count()) ListIndexError(index);
  items_.erase(items_.begin() + index);
}
