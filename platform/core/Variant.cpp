// Variant: conversions, arithmetic and comparison (rules in Variant.h).
#include "platform/core/Variant.h"

#include <cmath>
#include <limits>

#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"

Currency Currency::FromDouble(double v) {
  double scaled = v * 10000.0;
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18)
    throw EVariantError("Arithmetic overflow");
  // The product is rounded through its 15-digit decimal so that 0.00005
  // (binary 0.0000499999...) becomes one ten-thousandth, as written.
  return Currency{static_cast<std::int64_t>(SimpleRoundTo(v, -4) * 10000.0 +
                                            (v < 0 ? -0.5 : 0.5))};
}

namespace {

bool IsIntegerType(TVarType t) {
  return t == varSmallint || t == varInteger || t == varInt64 || t == varBoolean;
}

[[noreturn]] void CannotConvert(TVarType from, TVarType to) {
  throw EVariantError("Could not convert variant of type (" + VarTypeAsText(from) +
                      ") into type (" + VarTypeAsText(to) + ")");
}

[[noreturn]] void InvalidOperation() { throw EVariantError("Invalid variant operation"); }

Variant FromInt64(std::int64_t v) {
  if (v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max())
    return Variant(static_cast<int>(v));
  return Variant(static_cast<long long>(v));
}

}  // namespace

Variant::Variant(short v) : type_(varSmallint) { int_ = v; }
Variant::Variant(int v) : type_(varInteger) { int_ = v; }
Variant::Variant(long v) : Variant(static_cast<long long>(v)) {}
Variant::Variant(long long v) {
  type_ = v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max()
              ? varInteger
              : varInt64;
  int_ = v;
}
Variant::Variant(unsigned long v) : Variant(static_cast<unsigned long long>(v)) {}
Variant::Variant(unsigned long long v) {
  if (v <= static_cast<unsigned long long>(std::numeric_limits<long long>::max())) {
    *this = Variant(static_cast<long long>(v));
  } else {
    type_ = varDouble;
    double_ = static_cast<double>(v);
  }
}
Variant::Variant(char v) : type_(varString), string_(1, v) {}
Variant::Variant(double v) : type_(varDouble) { double_ = v; }
Variant::Variant(bool v) : type_(varBoolean) { bool_ = v; }
Variant::Variant(Currency v) : type_(varCurrency) { int_ = v.Val; }
Variant::Variant(TDateTime v) : type_(varDate) { double_ = v.Val; }
Variant::Variant(const char* v) : type_(varString), string_(v ? v : "") {}
Variant::Variant(const AnsiString& v) : type_(varString), string_(v) {}
Variant::Variant(const std::string& v) : type_(varString), string_(v) {}

Variant Variant::Null() {
  Variant v;
  v.type_ = varNull;
  return v;
}

TVarType Variant::VarType() const { return type_; }

bool Variant::IsNumeric() const {
  return type_ == varSmallint || type_ == varInteger || type_ == varInt64 ||
         type_ == varDouble || type_ == varCurrency;
}

double Variant::AsDouble(const TFormatSettings& fs) const {
  switch (type_) {
    case varEmpty: return 0;
    case varSmallint: case varInteger: case varInt64: return static_cast<double>(int_);
    case varBoolean: return bool_ ? -1 : 0;
    case varDouble: case varDate: return double_;
    case varCurrency: return static_cast<double>(int_) / 10000.0;
    case varString: {
      double v;
      if (TryStrToFloat(string_.Trim(), v, fs)) return v;
      break;
    }
  }
  CannotConvert(type_, varDouble);
}

std::int64_t Variant::AsInt64(const TFormatSettings& fs) const { return ToInt64(fs, varInt64); }

std::int64_t Variant::ToInt64(const TFormatSettings& fs, TVarType target) const {
  switch (type_) {
    case varEmpty: return 0;
    case varSmallint: case varInteger: case varInt64: return int_;
    case varBoolean: return bool_ ? -1 : 0;
    case varString: {
      std::int64_t i;
      if (TryStrToInt64(string_.Trim(), i)) return i;
      break;
    }
    default: break;
  }
  if (type_ == varNull || IsArray()) CannotConvert(type_, target);
  double d;
  if (type_ == varString && !TryStrToFloat(string_.Trim(), d, fs)) CannotConvert(type_, target);
  d = AsDouble(fs);
  if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) CannotConvert(type_, target);
  if (type_ == varCurrency) {  // halves to even on the exact scaled value
    std::int64_t q = int_ / 10000, r = int_ % 10000;
    if (r > 5000 || (r == 5000 && (q & 1))) ++q;
    if (r < -5000 || (r == -5000 && (q & 1))) --q;
    return q;
  }
  return Round(d);
}

int Variant::AsInteger(const TFormatSettings& fs) const {
  std::int64_t v = ToInt64(fs, varInteger);
  if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
    CannotConvert(type_, varInteger);
  return static_cast<int>(v);
}

Currency Variant::AsCurrency(const TFormatSettings& fs) const {
  if (type_ == varCurrency) return Currency{int_};
  if (IsIntegerType(type_)) return Currency{AsInt64(fs) * 10000};
  if (type_ == varNull || IsArray()) CannotConvert(type_, varCurrency);
  return Currency::FromDouble(AsDouble(fs));
}

TDateTime Variant::AsDateTime(const TFormatSettings& fs) const {
  if (type_ == varString) {
    TDateTime d;
    if (TryStrToDateTime(string_.Trim(), d, fs)) return d;
    double v;
    if (TryStrToFloat(string_.Trim(), v, fs)) return v;
    CannotConvert(type_, varDate);
  }
  if (type_ == varNull || IsArray()) CannotConvert(type_, varDate);
  return AsDouble(fs);
}

bool Variant::AsBoolean(const TFormatSettings& fs) const {
  switch (type_) {
    case varEmpty: return false;
    case varBoolean: return bool_;
    case varSmallint: case varInteger: case varInt64: case varCurrency: return int_ != 0;
    case varDouble: case varDate: return double_ != 0;
    case varString: {
      AnsiString t = string_.Trim().UpperCase();
      if (t == "TRUE") return true;
      if (t == "FALSE") return false;
      double v;
      if (TryStrToFloat(t, v, fs)) return v != 0;
      break;
    }
  }
  CannotConvert(type_, varBoolean);
}

AnsiString Variant::AsString(const TFormatSettings& fs) const {
  switch (type_) {
    case varEmpty: return AnsiString();
    case varSmallint: case varInteger: case varInt64: return IntToStr(int_);
    case varBoolean: return bool_ ? "True" : "False";
    case varDouble: return FloatToStr(double_, fs);
    case varCurrency: return CurrToStr(int_, fs);
    case varDate: return DateTimeToStr(double_, fs);
    case varString: return string_;
  }
  CannotConvert(type_, varString);
}

int Variant::ArrayLowBound() const {
  if (!IsArray()) throw EVariantError("Variant is not an array");
  return low_;
}

int Variant::ArrayHighBound() const {
  if (!IsArray()) throw EVariantError("Variant is not an array");
  return low_ + static_cast<int>(items_->size()) - 1;
}

const Variant& Variant::operator[](int index) const {
  if (!IsArray()) throw EVariantError("Variant is not an array");
  if (index < low_ || index > ArrayHighBound())
    throw EVariantError("Variant or safe array index out of bounds");
  return (*items_)[index - low_];
}

Variant& Variant::operator[](int index) {
  const Variant& self = *this;
  (void)self[index];  // checks
  if (items_.use_count() > 1) items_ = std::make_shared<std::vector<Variant>>(*items_);
  return (*items_)[index - low_];
}

Variant VarArrayOf(const std::vector<Variant>& items) {
  Variant v;
  v.type_ = varArray | varVariant;
  v.items_ = std::make_shared<std::vector<Variant>>(items);
  return v;
}

Variant VarArrayCreate(int low, int high) {
  if (high < low - 1) throw EVariantError("Invalid argument");
  Variant v;
  v.type_ = varArray | varVariant;
  v.low_ = low;
  v.items_ = std::make_shared<std::vector<Variant>>(static_cast<size_t>(high - low + 1));
  return v;
}

int VarArrayLowBound(const Variant& v, int dim) {
  if (dim != 1) throw EVariantError("Invalid argument");
  return v.ArrayLowBound();
}

int VarArrayHighBound(const Variant& v, int dim) {
  if (dim != 1) throw EVariantError("Invalid argument");
  return v.ArrayHighBound();
}

bool VarIsArray(const Variant& v) { return v.IsArray(); }
bool VarIsNull(const Variant& v) { return v.IsNull(); }
bool VarIsEmpty(const Variant& v) { return v.IsEmpty(); }
TVarType VarType(const Variant& v) { return v.VarType(); }

AnsiString VarTypeAsText(TVarType type) {
  AnsiString prefix = (type & varArray) ? "Array " : "";
  switch (type & varTypeMask) {
    case varEmpty: return prefix + "Empty";
    case varNull: return prefix + "Null";
    case varSmallint: return prefix + "Smallint";
    case varInteger: return prefix + "Integer";
    case varDouble: return prefix + "Double";
    case varCurrency: return prefix + "Currency";
    case varDate: return prefix + "Date";
    case varBoolean: return prefix + "Boolean";
    case varVariant: return prefix + "Variant";
    case varInt64: return prefix + "Int64";
    case varString: return prefix + "String";
  }
  return prefix + "Unknown";
}

Variant VarAsType(const Variant& v, TVarType type, const TFormatSettings& fs) {
  if (v.IsNull() && type != varNull) {
    if (type == varEmpty) return Variant();
    CannotConvert(varNull, type);
  }
  switch (type) {
    case varEmpty: return Variant();
    case varNull: return Variant::Null();
    case varSmallint: {
      int i = v.AsInteger(fs);
      if (i < -32768 || i > 32767) CannotConvert(v.VarType(), varSmallint);
      return Variant(static_cast<short>(i));
    }
    case varInteger: return Variant(v.AsInteger(fs));
    case varInt64: {
      Variant r = Variant(static_cast<long long>(v.AsInt64(fs)));
      r.type_ = varInt64;
      return r;
    }
    case varDouble: return Variant(v.AsDouble(fs));
    case varCurrency: return Variant(v.AsCurrency(fs));
    case varDate: return Variant(v.AsDateTime(fs));
    case varBoolean: return Variant(v.AsBoolean(fs));
    case varString: return Variant(v.AsString(fs));
  }
  CannotConvert(v.VarType(), type);
}

AnsiString VarToStr(const Variant& v, const TFormatSettings& fs) {
  if (v.IsNull() || v.IsEmpty()) return AnsiString();
  return v.AsString(fs);
}

// --- arithmetic -------------------------------------------------------------

namespace {

enum class TOp { kAdd, kSub, kMul, kDiv, kIntDiv, kMod };

// The kind both operands are brought to before an operation.
enum class TKind { kInteger, kCurrency, kDouble, kDate, kString };

TKind KindOf(const Variant& v) {
  switch (v.VarType()) {
    case varEmpty: case varSmallint: case varInteger: case varInt64: case varBoolean:
      return TKind::kInteger;
    case varCurrency: return TKind::kCurrency;
    case varDate: return TKind::kDate;
    case varString: return TKind::kString;
    default: return TKind::kDouble;
  }
}

// A string meeting a number becomes a number: an integer when it reads as
// one and the other side is an integer, else a double.
TKind NumericKindOfString(const Variant& s, TKind other) {
  std::int64_t i;
  if (other == TKind::kInteger && TryStrToInt64(s.AsString().Trim(), i)) return TKind::kInteger;
  return other == TKind::kCurrency ? TKind::kCurrency : TKind::kDouble;
}

bool AddOverflows(std::int64_t a, std::int64_t b, std::int64_t& r) { return __builtin_add_overflow(a, b, &r); }
bool SubOverflows(std::int64_t a, std::int64_t b, std::int64_t& r) { return __builtin_sub_overflow(a, b, &r); }
bool MulOverflows(std::int64_t a, std::int64_t b, std::int64_t& r) { return __builtin_mul_overflow(a, b, &r); }

Variant DoubleOp(double x, double y, TOp op) {
  switch (op) {
    case TOp::kAdd: return Variant(x + y);
    case TOp::kSub: return Variant(x - y);
    case TOp::kMul: return Variant(x * y);
    default:
      if (y == 0) throw EZeroDivide("Floating point division by zero");
      return Variant(x / y);
  }
}

Variant IntegerOp(std::int64_t x, std::int64_t y, TOp op) {
  std::int64_t r;
  switch (op) {
    case TOp::kAdd:
      if (AddOverflows(x, y, r)) return Variant(static_cast<double>(x) + static_cast<double>(y));
      return FromInt64(r);
    case TOp::kSub:
      if (SubOverflows(x, y, r)) return Variant(static_cast<double>(x) - static_cast<double>(y));
      return FromInt64(r);
    case TOp::kMul:
      if (MulOverflows(x, y, r)) return Variant(static_cast<double>(x) * static_cast<double>(y));
      return FromInt64(r);
    case TOp::kDiv:
      return DoubleOp(static_cast<double>(x), static_cast<double>(y), op);
    case TOp::kIntDiv:
    case TOp::kMod:
      if (y == 0) throw EDivByZero("Division by zero");
      if (x == std::numeric_limits<std::int64_t>::min() && y == -1)
        return op == TOp::kMod ? Variant(0) : Variant(-static_cast<double>(x));
      return FromInt64(op == TOp::kIntDiv ? x / y : x % y);
  }
  InvalidOperation();
}

Variant CurrencyOp(const Variant& a, const Variant& b, TOp op) {
  Currency x = a.AsCurrency(), y = b.AsCurrency();
  std::int64_t r;
  switch (op) {
    case TOp::kAdd:
      if (AddOverflows(x.Val, y.Val, r)) throw EVariantError("Arithmetic overflow");
      return Variant(Currency{r});
    case TOp::kSub:
      if (SubOverflows(x.Val, y.Val, r)) throw EVariantError("Arithmetic overflow");
      return Variant(Currency{r});
    case TOp::kMul:
      // One side is an integer count or both are currency: the product of
      // two scaled amounts is rescaled through a double.
      if (KindOf(a) == TKind::kInteger || KindOf(b) == TKind::kInteger) {
        std::int64_t n = KindOf(a) == TKind::kInteger ? a.AsInt64() : b.AsInt64();
        std::int64_t c = KindOf(a) == TKind::kInteger ? y.Val : x.Val;
        if (MulOverflows(n, c, r)) throw EVariantError("Arithmetic overflow");
        return Variant(Currency{r});
      }
      return Variant(Currency::FromDouble(x.ToDouble() * y.ToDouble()));
    case TOp::kDiv:
      return DoubleOp(x.ToDouble(), y.ToDouble(), op);
    default:
      return IntegerOp(a.AsInt64(), b.AsInt64(), op);
  }
}

Variant Binary(const Variant& a, const Variant& b, TOp op) {
  if (a.IsArray() || b.IsArray()) InvalidOperation();
  if (a.IsNull() || b.IsNull()) return Variant::Null();
  TKind ka = KindOf(a), kb = KindOf(b);
  if (ka == TKind::kString && kb == TKind::kString) {
    if (op == TOp::kAdd) return Variant(a.AsString() + b.AsString());
    ka = kb = TKind::kDouble;
  } else if (ka == TKind::kString || kb == TKind::kString) {
    const Variant& s = ka == TKind::kString ? a : b;
    TKind other = ka == TKind::kString ? kb : ka;
    if (op == TOp::kAdd && (a.IsEmpty() || b.IsEmpty())) return Variant(s.AsString());
    TKind k = NumericKindOfString(s, other == TKind::kDate ? TKind::kDouble : other);
    (ka == TKind::kString ? ka : kb) = k;
  }
  if (op == TOp::kIntDiv || op == TOp::kMod) return IntegerOp(a.AsInt64(), b.AsInt64(), op);
  if (ka == TKind::kDate || kb == TKind::kDate) {
    Variant r = DoubleOp(a.AsDouble(), b.AsDouble(), op);
    bool dateResult = (op == TOp::kAdd && !(ka == TKind::kDate && kb == TKind::kDate)) ||
                      (op == TOp::kSub && ka == TKind::kDate && kb != TKind::kDate);
    return dateResult ? Variant(TDateTime(r.AsDouble())) : r;
  }
  if (ka == TKind::kDouble || kb == TKind::kDouble) return DoubleOp(a.AsDouble(), b.AsDouble(), op);
  if (ka == TKind::kCurrency || kb == TKind::kCurrency) return CurrencyOp(a, b, op);
  return IntegerOp(a.AsInt64(), b.AsInt64(), op);
}

}  // namespace

Variant operator+(const Variant& a, const Variant& b) { return Binary(a, b, TOp::kAdd); }
Variant operator-(const Variant& a, const Variant& b) { return Binary(a, b, TOp::kSub); }
Variant operator*(const Variant& a, const Variant& b) { return Binary(a, b, TOp::kMul); }
Variant operator/(const Variant& a, const Variant& b) { return Binary(a, b, TOp::kDiv); }
Variant operator%(const Variant& a, const Variant& b) { return Binary(a, b, TOp::kMod); }
Variant VarIntDiv(const Variant& a, const Variant& b) { return Binary(a, b, TOp::kIntDiv); }

Variant operator-(const Variant& a) {
  if (a.IsNull()) return a;
  return Binary(Variant(0), a, TOp::kSub);
}

// --- comparison -------------------------------------------------------------

TVariantRelationship VarCompareValue(const Variant& a, const Variant& b) {
  if (a.IsArray() || b.IsArray()) InvalidOperation();
  if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull() ? vrEqual : vrNotEqual;
  auto rel = [](auto x, auto y) { return x < y ? vrLessThan : y < x ? vrGreaterThan : vrEqual; };
  TKind ka = KindOf(a), kb = KindOf(b);
  if (a.VarType() == varBoolean && b.VarType() == varBoolean)
    return rel(a.AsBoolean(), b.AsBoolean());  // False < True
  if (ka == TKind::kString && kb == TKind::kString) {
    int c = AnsiCompareStr(a.AsString(), b.AsString());
    return c < 0 ? vrLessThan : c > 0 ? vrGreaterThan : vrEqual;
  }
  if ((ka == TKind::kString && b.IsEmpty()) || (kb == TKind::kString && a.IsEmpty()))
    return rel(a.AsString(), b.AsString());
  if (ka == TKind::kString) ka = NumericKindOfString(a, kb);
  if (kb == TKind::kString) kb = NumericKindOfString(b, ka);
  if (ka == TKind::kInteger && kb == TKind::kInteger) return rel(a.AsInt64(), b.AsInt64());
  if (ka == TKind::kCurrency && kb == TKind::kCurrency) return rel(a.AsCurrency().Val, b.AsCurrency().Val);
  return rel(a.AsDouble(), b.AsDouble());
}

bool operator==(const Variant& a, const Variant& b) { return VarCompareValue(a, b) == vrEqual; }

bool operator<(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() && !b.IsNull();
  return VarCompareValue(a, b) == vrLessThan;
}
