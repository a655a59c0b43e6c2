#include "platform/data/Fields.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/core/AnsiText.h"
#include "platform/core/ByteBuffer.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"
#include "platform/data/Dataset.h"

using namespace dbconsts;

// ---------------------------------------------------------------------------
// TField

TField::TField(TComponent* owner) : TComponent(owner) {}

TField::~TField() {
  if (dataSet_ != nullptr) dataSet_->fields_->Remove(this);
}

void TField::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet_ != nullptr) dataSet_->CheckInactive();
  if (dataSet != nullptr) {
    dataSet->CheckInactive();
    if (!fieldName_.empty() && dataSet->FindField(fieldName_) != nullptr)
      DatabaseErrorFmt(SDuplicateFieldName, {fieldName_}, dataSet);
  }
  if (dataSet_ != nullptr) dataSet_->fields_->Remove(this);
  if (dataSet != nullptr) dataSet->fields_->Add(this);
}

void TField::SetFieldName(const AnsiString& v) {
  if (dataSet_ != nullptr && !SameText(v, fieldName_)) {
    TField* other = dataSet_->FindField(v);
    if (other != nullptr && other != this) DatabaseErrorFmt(SDuplicateFieldName, {v}, dataSet_);
  }
  fieldName_ = v;
}

void TField::SetFieldKind(TFieldKind v) {
  if (fieldKind_ == v) return;
  if (dataSet_ != nullptr) dataSet_->CheckInactive();
  fieldKind_ = v;
}

int TField::Index() const { return dataSet_ != nullptr ? dataSet_->fields_->IndexOf(this) : -1; }

void TField::SetIndex(int v) {
  if (dataSet_ != nullptr) dataSet_->fields_->SetFieldIndex(this, v);
}

void TField::SetSize(int v) {
  if (dataSet_ != nullptr) dataSet_->CheckInactive();
  size_ = v;
}

bool TField::CanModify() const {
  if (readOnly_ || dataSet_ == nullptr) return false;
  if (fieldKind_ != fkData) return false;
  return dataSet_->CanModify();
}

void TField::CheckDataSet() const {
  if (dataSet_ == nullptr) DatabaseErrorFmt(SDataSetMissing, {DisplayName()});
}

bool TField::GetData(void* buffer) const {
  CheckDataSet();
  if (validating_) {
    // Inside OnValidate the field reads the value being written.
    if (valueBuffer_ == nullptr) return false;
    if (buffer != nullptr) std::memcpy(buffer, valueBuffer_, static_cast<size_t>(DataSize()));
    return true;
  }
  return dataSet_->GetFieldData(const_cast<TField*>(this), buffer);
}

void TField::SetData(const void* buffer) {
  CheckDataSet();
  TDataSetState st = dataSet_->State();
  if (readOnly_ && fieldKind_ == fkData && st != dsSetKey && st != dsFilter &&
      st != dsCalcFields && st != dsInternalCalc)
    DatabaseErrorFmt(SFieldReadOnly, {DisplayName()}, dataSet_);
  dataSet_->SetFieldData(this, buffer);
}

void TField::Validate(const void* buffer) {
  if (!OnValidate) return;
  validating_ = true;
  valueBuffer_ = buffer;
  try {
    OnValidate(this);
  } catch (...) {
    validating_ = false;
    valueBuffer_ = nullptr;
    throw;
  }
  validating_ = false;
  valueBuffer_ = nullptr;
}

void TField::Change() {
  if (OnChange) OnChange(this);
}

void TField::FocusControl() {
  if (dataSet_ == nullptr) return;
  TField* ref = this;
  dataSet_->DataEvent(deFocusControl, reinterpret_cast<std::intptr_t>(&ref));
}

TComponent* TField::GetParentComponent() const { return dataSet_; }

void TField::SetParentComponent(TComponent* parent) {
  if (auto* ds = dynamic_cast<TDataSet*>(parent)) SetDataSet(ds);
}

bool TField::IsNull() const { return !GetData(nullptr); }

void TField::AccessError(const char* typeName) const {
  DatabaseErrorFmt(SFieldAccessError, {DisplayName(), typeName});
}

AnsiString TField::ClassDesc() const {
  AnsiString name = ClassName();
  if (!name.empty() && name[0] == 'T') name.erase(0, 1);
  if (name.size() > 5 && name.compare(name.size() - 5, 5, "Field") == 0)
    name.resize(name.size() - 5);
  return IsNull() ? "(" + name.LowerCase() + ")" : "(" + name.UpperCase() + ")";
}

AnsiString TField::GetAsString() const { return ClassDesc(); }
void TField::SetAsStringValue(const AnsiString&) { AccessError("String"); }
int TField::GetAsInteger() const { AccessError("Integer"); }
void TField::SetAsIntegerValue(int) { AccessError("Integer"); }
double TField::GetAsFloat() const { AccessError("Float"); }
void TField::SetAsFloatValue(double) { AccessError("Float"); }
bool TField::GetAsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBooleanValue(bool) { AccessError("Boolean"); }
TDateTime TField::GetAsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTimeValue(TDateTime) { AccessError("DateTime"); }
Variant TField::GetAsVariant() const { AccessError("Variant"); }
void TField::SetVarValue(const Variant&) { AccessError("Variant"); }

void TField::SetAsVariant(const Variant& v) {
  if (v.IsNull() || v.IsEmpty())
    Clear();
  else
    SetVarValue(v);
}

void TField::GetText(AnsiString& text, bool) const { text = GetAsString(); }

AnsiString TField::Text() const {
  AnsiString t;
  if (OnGetText)
    OnGetText(const_cast<TField*>(this), t, false);
  else
    GetText(t, false);
  return t;
}

AnsiString TField::DisplayText() const {
  AnsiString t;
  if (OnGetText)
    OnGetText(const_cast<TField*>(this), t, true);
  else
    GetText(t, true);
  return t;
}

void TField::SetText(const AnsiString& v) {
  if (OnSetText)
    OnSetText(this, v);
  else
    SetAsString(v);
}

void TField::Bind(bool binding) {
  if (!binding || fieldKind_ != fkLookup) return;
  if (lookupDataSet_ == nullptr || keyFields_.empty() || lookupKeyFields_.empty() ||
      lookupResultField_.empty())
    DatabaseErrorFmt(SLookupInfoError, {DisplayName()}, dataSet_);
  dataSet_->fields_->CheckFieldNames(keyFields_);
  lookupDataSet_->Open();
  lookupDataSet_->Fields()->CheckFieldNames(lookupKeyFields_);
  lookupDataSet_->FieldByName(lookupResultField_);
}

void TField::Assign(TPersistent* source) {
  if (source == nullptr) {
    Clear();
    return;
  }
  if (auto* f = dynamic_cast<TField*>(source)) {
    if (f->IsNull())
      Clear();
    else
      SetValue(f->Value());
    return;
  }
  TPersistent::Assign(source);
}

// ---------------------------------------------------------------------------
// TStringField

TStringField::TStringField(TComponent* owner) : TField(owner) {
  SetDataType(ftString);
  SetSize(20);
}

bool TStringField::GetValue(AnsiString& value) const {
  // Read for every row a grid paints or a query groups: the bytes go on
  // the stack for the usual widths.
  TByteBuffer buf(static_cast<size_t>(DataSize()) + 1);
  std::memset(buf.data(), 0, buf.size());
  if (!GetData(buf.data())) return false;
  value.assign(buf.data(), ::strnlen(buf.data(), buf.size() - 1));
  return true;
}

AnsiString TStringField::GetAsString() const {
  AnsiString s;
  if (!GetValue(s)) return AnsiString();
  return s;
}

void TStringField::SetAsStringValue(const AnsiString& v) {
  TByteBuffer buf(static_cast<size_t>(DataSize()) + 1);
  std::memset(buf.data(), 0, buf.size());
  size_t n = std::min(v.size(), static_cast<size_t>(Size()));
  // Never keep half of a double-byte character at the cut.
  if (n < v.size() && n > 0 && ByteTypeAt(v, n - 1) == mbLeadByte) --n;
  std::memcpy(buf.data(), v.data(), n);
  SetData(buf.data());
}

int TStringField::GetAsInteger() const { return StrToInt(GetAsString()); }
void TStringField::SetAsIntegerValue(int v) { SetAsString(IntToStr(v)); }
double TStringField::GetAsFloat() const { return StrToFloat(GetAsString()); }
void TStringField::SetAsFloatValue(double v) { SetAsString(FloatToStr(v)); }

bool TStringField::GetAsBoolean() const {
  AnsiString s = GetAsString();
  return !s.empty() && (s[0] == 'T' || s[0] == 't' || s[0] == 'Y' || s[0] == 'y');
}

void TStringField::SetAsBooleanValue(bool v) { SetAsString(v ? "T" : "F"); }
TDateTime TStringField::GetAsDateTime() const { return StrToDateTime(GetAsString()); }
void TStringField::SetAsDateTimeValue(TDateTime v) { SetAsString(DateTimeToStr(v)); }

Variant TStringField::GetAsVariant() const {
  AnsiString s;
  if (!GetValue(s)) return Variant::Null();
  return Variant(s);
}

void TStringField::SetVarValue(const Variant& v) { SetAsString(VarToStr(v)); }

// ---------------------------------------------------------------------------
// Numbers

TNumericField::TNumericField(TComponent* owner) : TField(owner) {
  SetAlignment(taRightJustify);
}

TIntegerField::TIntegerField(TComponent* owner)
    : TIntegerField(owner, ftInteger, INT32_MIN, INT32_MAX) {}

TIntegerField::TIntegerField(TComponent* owner, TFieldType type, int minRange, int maxRange)
    : TNumericField(owner), minRange_(minRange), maxRange_(maxRange) {
  SetDataType(type);
}

void TIntegerField::ReadNative(const void* data, int& value) const {
  std::int32_t v;
  std::memcpy(&v, data, sizeof v);
  value = v;
}

void TIntegerField::WriteNative(int value, void* data) const {
  std::int32_t v = value;
  std::memcpy(data, &v, sizeof v);
}

bool TIntegerField::GetValue(int& value) const {
  char buf[8] = {};
  if (!GetData(buf)) return false;
  ReadNative(buf, value);
  return true;
}

AnsiString TIntegerField::GetAsString() const {
  int v;
  return GetValue(v) ? IntToStr(v) : AnsiString();
}

void TIntegerField::SetAsStringValue(const AnsiString& v) {
  if (v.empty()) {
    Clear();
    return;
  }
  int value;
  if (!TryStrToInt(v, value)) throw EConvertError(FormatDBText(SInvalidIntegerValue, {v}));
  SetAsInteger(value);
}

int TIntegerField::GetAsInteger() const {
  int v;
  return GetValue(v) ? v : 0;
}

void TIntegerField::SetAsIntegerValue(int v) {
  int lo = minValue_, hi = maxValue_;
  if (lo == 0 && hi == 0) {
    lo = minRange_;
    hi = maxRange_;
  }
  if (v < lo || v > hi)
    DatabaseErrorFmt(SFieldRangeError, {IntToStr(v), DisplayName(), IntToStr(lo), IntToStr(hi)});
  char buf[8] = {};
  WriteNative(v, buf);
  SetData(buf);
}

double TIntegerField::GetAsFloat() const { return GetAsInteger(); }

void TIntegerField::SetAsFloatValue(double v) {
  // Out-of-range doubles get the field's own range message, not a crash.
  if (!(v >= -2147483648.5 && v <= 2147483647.5))
    DatabaseErrorFmt(SFieldRangeError,
                     {FloatToStr(v), DisplayName(), IntToStr(minRange_), IntToStr(maxRange_)});
  SetAsInteger(static_cast<int>(Round(v)));
}

Variant TIntegerField::GetAsVariant() const {
  int v;
  if (!GetValue(v)) return Variant::Null();
  return Variant(v);
}

void TIntegerField::SetVarValue(const Variant& v) { SetAsInteger(v.AsInteger()); }

void TIntegerField::GetText(AnsiString& text, bool displayText) const {
  int v;
  if (!GetValue(v)) {
    text.clear();
    return;
  }
  const AnsiString& fmt = displayText || EditFormat().empty() ? DisplayFormat() : EditFormat();
  text = fmt.empty() ? IntToStr(v) : FormatFloat(fmt, v);
}

TSmallintField::TSmallintField(TComponent* owner)
    : TSmallintField(owner, ftSmallint, -32768, 32767) {}

TSmallintField::TSmallintField(TComponent* owner, TFieldType type, int minRange, int maxRange)
    : TIntegerField(owner, type, minRange, maxRange) {}

void TSmallintField::ReadNative(const void* data, int& value) const {
  std::int16_t v;
  std::memcpy(&v, data, sizeof v);
  value = v;
}

void TSmallintField::WriteNative(int value, void* data) const {
  auto v = static_cast<std::uint16_t>(value);
  std::memcpy(data, &v, sizeof v);
}

TWordField::TWordField(TComponent* owner) : TSmallintField(owner, ftWord, 0, 65535) {}

void TWordField::ReadNative(const void* data, int& value) const {
  std::uint16_t v;
  std::memcpy(&v, data, sizeof v);
  value = v;
}

TAutoIncField::TAutoIncField(TComponent* owner)
    : TIntegerField(owner, ftAutoInc, INT32_MIN, INT32_MAX) {}

TFloatField::TFloatField(TComponent* owner) : TNumericField(owner) { SetDataType(ftFloat); }

void TFloatField::SetPrecision(int v) {
  if (v < 2) v = 2;
  if (v > 15) v = 15;
  precision_ = v;
}

static bool GetDouble(const TField* f, double& v) { return f->GetData(&v); }

AnsiString TFloatField::GetAsString() const {
  double v;
  return GetDouble(this, v) ? FloatToStr(v) : AnsiString();
}

void TFloatField::SetAsStringValue(const AnsiString& v) {
  if (v.empty()) {
    Clear();
    return;
  }
  double value;
  if (!TryStrToFloat(v, value)) throw EConvertError(FormatDBText(SInvalidFloatValue, {v}));
  SetAsFloat(value);
}

int TFloatField::GetAsInteger() const { return static_cast<int>(Round(GetAsFloat())); }
void TFloatField::SetAsIntegerValue(int v) { SetAsFloat(v); }

double TFloatField::GetAsFloat() const {
  double v;
  return GetDouble(this, v) ? v : 0.0;
}

void TFloatField::SetAsFloatValue(double v) {
  if ((minValue_ != 0 || maxValue_ != 0) && (v < minValue_ || v > maxValue_))
    DatabaseErrorFmt(SFieldRangeError, {FloatToStr(v), DisplayName(), FloatToStr(minValue_),
                                        FloatToStr(maxValue_)});
  SetData(&v);
}

Variant TFloatField::GetAsVariant() const {
  double v;
  if (!GetDouble(this, v)) return Variant::Null();
  return Variant(v);
}

void TFloatField::SetVarValue(const Variant& v) { SetAsFloat(v.AsDouble()); }

void TFloatField::GetText(AnsiString& text, bool displayText) const {
  double v;
  if (!GetDouble(this, v)) {
    text.clear();
    return;
  }
  const AnsiString& fmt = displayText || EditFormat().empty() ? DisplayFormat() : EditFormat();
  if (!fmt.empty()) {
    text = FormatFloat(fmt, v);
    return;
  }
  if (currency_)
    text = FloatToStrF(v, displayText ? ffCurrency : ffFixed, precision_,
                       DefaultFormatSettings().CurrencyDecimals);
  else
    text = FloatToStrF(v, ffGeneral, precision_, 0);
}

TCurrencyField::TCurrencyField(TComponent* owner) : TFloatField(owner) {
  SetDataType(ftCurrency);
  SetCurrency(true);
}

// ---------------------------------------------------------------------------
// TBooleanField

TBooleanField::TBooleanField(TComponent* owner) : TField(owner) {
  SetDataType(ftBoolean);
  SetDisplayValues(AnsiString(STextTrue) + ";" + STextFalse);
}

void TBooleanField::SetDisplayValues(const AnsiString& v) {
  displayValues_ = v;
  size_t semi = v.find(';');
  if (semi == std::string::npos) {
    textTrue_ = v;
    textFalse_.clear();
  } else {
    textTrue_ = v.substr(0, semi);
    textFalse_ = v.substr(semi + 1);
  }
}

int TBooleanField::DefaultWidth() const {
  return static_cast<int>(std::max(textTrue_.size(), textFalse_.size()));
}

AnsiString TBooleanField::GetAsString() const {
  std::int16_t v;
  if (!GetData(&v)) return AnsiString();
  return v != 0 ? textTrue_ : textFalse_;
}

void TBooleanField::SetAsStringValue(const AnsiString& v) {
  if (v.empty()) {
    if (textFalse_.empty())
      SetAsBoolean(false);
    else if (textTrue_.empty())
      SetAsBoolean(true);
    else
      Clear();
    return;
  }
  for (bool b : {false, true}) {
    const AnsiString& t = b ? textTrue_ : textFalse_;
    if (AnsiCompareText(v, t.substr(0, std::min(t.size(), v.size()))) == 0 &&
        v.size() <= t.size()) {
      SetAsBoolean(b);
      return;
    }
  }
  DatabaseErrorFmt(SNotABoolean, {v});
}

bool TBooleanField::GetAsBoolean() const {
  std::int16_t v;
  return GetData(&v) && v != 0;
}

void TBooleanField::SetAsBooleanValue(bool b) {
  std::int16_t v = b ? -1 : 0;
  SetData(&v);
}

Variant TBooleanField::GetAsVariant() const {
  std::int16_t v;
  if (!GetData(&v)) return Variant::Null();
  return Variant(v != 0);
}

void TBooleanField::SetVarValue(const Variant& v) { SetAsBoolean(v.AsBoolean()); }

// ---------------------------------------------------------------------------
// Dates and times

TDateTimeField::TDateTimeField(TComponent* owner) : TDateTimeField(owner, ftDateTime) {}

TDateTimeField::TDateTimeField(TComponent* owner, TFieldType type) : TField(owner) {
  SetDataType(type);
}

bool TDateTimeField::GetValue(TDateTime& value) const {
  char native[8] = {};
  if (!GetData(native)) return false;
  double dt = 0;
  DataSet()->DataConvert(const_cast<TDateTimeField*>(this), native, &dt, false);
  value = dt;
  return true;
}

AnsiString TDateTimeField::GetAsString() const {
  AnsiString t;
  GetText(t, false);
  return t;
}

void TDateTimeField::SetAsStringValue(const AnsiString& v) {
  if (v.empty()) {
    Clear();
    return;
  }
  switch (DataType()) {
    case ftDate:
      SetAsDateTime(StrToDate(v));
      break;
    case ftTime:
      SetAsDateTime(StrToTime(v));
      break;
    default:
      SetAsDateTime(StrToDateTime(v));
      break;
  }
}

double TDateTimeField::GetAsFloat() const { return GetAsDateTime(); }
void TDateTimeField::SetAsFloatValue(double v) { SetAsDateTime(v); }

TDateTime TDateTimeField::GetAsDateTime() const {
  TDateTime v;
  return GetValue(v) ? v : TDateTime(0);
}

void TDateTimeField::SetAsDateTimeValue(TDateTime v) {
  CheckDataSet();
  char native[8] = {};
  double dt = v;
  DataSet()->DataConvert(this, &dt, native, true);
  SetData(native);
}

Variant TDateTimeField::GetAsVariant() const {
  TDateTime v;
  if (!GetValue(v)) return Variant::Null();
  return Variant(v);
}

void TDateTimeField::SetVarValue(const Variant& v) { SetAsDateTime(v.AsDateTime()); }

void TDateTimeField::GetText(AnsiString& text, bool displayText) const {
  TDateTime v;
  if (!GetValue(v)) {
    text.clear();
    return;
  }
  AnsiString fmt;
  if (displayText && !displayFormat_.empty())
    fmt = displayFormat_;
  else if (DataType() == ftDate)
    fmt = DefaultFormatSettings().ShortDateFormat;
  else if (DataType() == ftTime)
    fmt = DefaultFormatSettings().LongTimeFormat;
  else
    fmt = "c";
  text = FormatDateTime(fmt, v);
}

TDateField::TDateField(TComponent* owner) : TDateTimeField(owner, ftDate) {}
TTimeField::TTimeField(TComponent* owner) : TDateTimeField(owner, ftTime) {}

// ---------------------------------------------------------------------------
// Blobs

TBlobField::TBlobField(TComponent* owner) : TBlobField(owner, ftBlob) {}

TBlobField::TBlobField(TComponent* owner, TFieldType type) : TField(owner) {
  SetDataType(type);
}

TMemoField::TMemoField(TComponent* owner) : TBlobField(owner, ftMemo) {}
TGraphicField::TGraphicField(TComponent* owner) : TBlobField(owner, ftGraphic) {}

static std::unique_ptr<TStream> OpenBlob(const TBlobField* f, TBlobStreamMode mode) {
  f->DataSet()->CheckActive();
  TStream* s = f->DataSet()->CreateBlobStream(const_cast<TBlobField*>(f), mode);
  if (s == nullptr) DatabaseErrorFmt(SFieldAccessError, {f->DisplayName(), "Blob"});
  return std::unique_ptr<TStream>(s);
}

int TBlobField::BlobSize() const {
  CheckDataSet();
  return static_cast<int>(OpenBlob(this, bmRead)->Size());
}

void TBlobField::SaveToStream(TStream* stream) const {
  CheckDataSet();
  auto s = OpenBlob(this, bmRead);
  if (s->Size() > 0) stream->CopyFrom(s.get(), 0);
}

void TBlobField::LoadFromStream(TStream* stream) {
  CheckDataSet();
  auto s = OpenBlob(this, bmWrite);
  stream->SetPosition(0);
  if (stream->Size() > 0) s->CopyFrom(stream, 0);
}

AnsiString TBlobField::GetAsString() const {
  CheckDataSet();
  auto s = OpenBlob(this, bmRead);
  AnsiString out(static_cast<size_t>(s->Size()), '\0');
  s->SetPosition(0);
  if (!out.empty()) s->ReadBuffer(out.data(), static_cast<int>(out.size()));
  return out;
}

void TBlobField::Clear() {
  CheckDataSet();
  OpenBlob(this, bmWrite);  // opened for writing, a blob starts empty
}

void TBlobField::SetAsStringValue(const AnsiString& v) {
  CheckDataSet();
  auto s = OpenBlob(this, bmWrite);
  if (!v.empty()) s->WriteBuffer(v.data(), static_cast<int>(v.size()));
}

Variant TBlobField::GetAsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant(GetAsString());
}

void TBlobField::SetVarValue(const Variant& v) { SetAsString(VarToStr(v)); }

void TBlobField::GetText(AnsiString& text, bool) const { text = ClassDesc(); }

void TBlobField::AssignTo(TPersistent* dest) {
  if (auto* strings = dynamic_cast<TStrings*>(dest)) {
    strings->SetText(GetAsString());
    return;
  }
  TField::AssignTo(dest);
}

// ---------------------------------------------------------------------------
// TFields

TFields::~TFields() { Clear(); }

TField* TFields::Fields(int index) const {
  if (index < 0 || index >= Count()) DatabaseError(SFieldIndexError, dataSet_);
  return list_[static_cast<size_t>(index)];
}

TField* TFields::FindField(const AnsiString& fieldName) const {
  // Lengths first: the case-insensitive comparison is the expensive part,
  // and FieldByName runs in every per-row loop over the pay items.
  for (TField* f : list_)
    if (f->FieldName().size() == fieldName.size() && AnsiSameText(f->FieldName(), fieldName))
      return f;
  return nullptr;
}

TField* TFields::FieldByName(const AnsiString& fieldName) const {
  TField* f = FindField(fieldName);
  if (f == nullptr) DatabaseErrorFmt(SFieldNotFound, {fieldName}, dataSet_);
  return f;
}

TField* TFields::FieldByNumber(int fieldNo) const {
  for (TField* f : list_)
    if (f->FieldNo() == fieldNo) return f;
  return nullptr;
}

int TFields::IndexOf(const TField* field) const {
  auto it = std::find(list_.begin(), list_.end(), field);
  return it == list_.end() ? -1 : static_cast<int>(it - list_.begin());
}

void TFields::CheckFieldNames(const AnsiString& fieldNames) const {
  for (const AnsiString& n : SplitFieldNames(fieldNames)) FieldByName(n);
}

void TFields::GetFieldNames(std::vector<AnsiString>& names) const {
  for (TField* f : list_) names.push_back(f->FieldName());
}

void TFields::Clear() {
  while (!list_.empty()) delete list_.back();  // each removes itself
}

void TFields::Add(TField* field) {
  list_.push_back(field);
  field->dataSet_ = dataSet_;
}

void TFields::Remove(TField* field) {
  list_.erase(std::remove(list_.begin(), list_.end(), field), list_.end());
  field->dataSet_ = nullptr;
}

void TFields::SetFieldIndex(TField* field, int index) {
  int cur = IndexOf(field);
  if (cur < 0) return;
  index = std::clamp(index, 0, Count() - 1);
  if (index == cur) return;
  list_.erase(list_.begin() + cur);
  list_.insert(list_.begin() + index, field);
  if (dataSet_ != nullptr) dataSet_->DataEvent(deLayoutChange, 0);
}

TField* CreateFieldOfType(TFieldType type, TComponent* owner) {
  switch (type) {
    case ftString: return new TStringField(owner);
    case ftSmallint: return new TSmallintField(owner);
    case ftInteger: return new TIntegerField(owner);
    case ftWord: return new TWordField(owner);
    case ftBoolean: return new TBooleanField(owner);
    case ftFloat: return new TFloatField(owner);
    case ftCurrency: return new TCurrencyField(owner);
    case ftDate: return new TDateField(owner);
    case ftTime: return new TTimeField(owner);
    case ftDateTime: return new TDateTimeField(owner);
    case ftAutoInc: return new TAutoIncField(owner);
    case ftBlob: return new TBlobField(owner);
    case ftMemo: return new TMemoField(owner);
    case ftGraphic: return new TGraphicField(owner);
    case ftFmtMemo: {
      auto* f = new TBlobField(owner);
      f->SetFieldType(ftFmtMemo);
      return f;
    }
    default: return nullptr;
  }
}

std::vector<AnsiString> SplitFieldNames(const AnsiString& fieldNames) {
  std::vector<AnsiString> out;
  size_t start = 0;
  while (start <= fieldNames.size()) {
    size_t semi = fieldNames.find(';', start);
    if (semi == std::string::npos) semi = fieldNames.size();
    AnsiString name = AnsiString(fieldNames.substr(start, semi - start)).Trim();
    if (!name.empty()) out.push_back(name);
    start = semi + 1;
  }
  return out;
}
