// Variant: the class library's dynamically typed value, as the report
// expression language, the engine's filter evaluator and Locate/Lookup key
// arrays use it.
//
// Types: Unassigned (varEmpty), Null, smallint, integer, int64, double,
// currency (64-bit integer scaled by 10000), date (TDateTime), boolean,
// string (AnsiString) and one-dimensional arrays of variants.
//
// Rules (the class library's):
//  - Conversions: numbers <-> strings through the process format settings
//    (or the ones passed); Unassigned converts to 0, "" and false; Null
//    converts to nothing and raises EVariantError "Could not convert variant
//    of type (Null) into type (Double)"; a string that is no number raises
//    the same error.
//  - Arithmetic: Null in either operand gives Null; Unassigned counts as 0
//    (or "" next to a string); string + string concatenates; a string with
//    a number converts the string to a number; integers stay integers for
//    + - * div mod (int64 arithmetic), "/" always gives a double; any
//    double gives a double; currency with integer or currency stays
//    currency; date + number is a date, date - date a double.
//  - Comparison: Null equals Null and is less than every other value;
//    Unassigned equals Unassigned, 0 and ""; strings compare in the ANSI
//    order (AnsiCompareStr, case-sensitive); a string against a number
//    compares as numbers; Booleans as Booleans (False < True).
//  - Booleans used as numbers are -1 (True) and 0 (False).
//  - "/" and div/mod by zero raise EZeroDivide "Floating point division by
//    zero" and EDivByZero "Division by zero".
// Standard library only.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/DateTime.h"
#include "platform/core/FormatSettings.h"

using TVarType = unsigned short;
constexpr TVarType varEmpty = 0x0000;
constexpr TVarType varNull = 0x0001;
constexpr TVarType varSmallint = 0x0002;
constexpr TVarType varInteger = 0x0003;
constexpr TVarType varDouble = 0x0005;
constexpr TVarType varCurrency = 0x0006;
constexpr TVarType varDate = 0x0007;
constexpr TVarType varBoolean = 0x000B;
constexpr TVarType varVariant = 0x000C;
constexpr TVarType varInt64 = 0x0014;
constexpr TVarType varString = 0x0100;
constexpr TVarType varTypeMask = 0x0FFF;
constexpr TVarType varArray = 0x2000;

// A currency amount: the integer is the amount times 10000.
struct Currency {
  std::int64_t Val = 0;
  static Currency FromDouble(double v);  // rounds to 1/10000, halves away from zero
  double ToDouble() const { return static_cast<double>(Val) / 10000.0; }
  bool operator==(const Currency&) const = default;
};

class Variant {
 public:
  Variant() = default;  // Unassigned
  Variant(short v);
  Variant(int v);
  Variant(long v);
  Variant(long long v);
  Variant(unsigned short v) : Variant(static_cast<int>(v)) {}
  Variant(unsigned v) : Variant(static_cast<long long>(v)) {}
  // Above the int64 range the value is kept as a double.
  Variant(unsigned long v);
  Variant(unsigned long long v);
  Variant(char v);  // a one-character string, as the class library's Char
  Variant(double v);
  Variant(bool v);
  Variant(Currency v);
  Variant(TDateTime v);
  Variant(const char* v);
  Variant(const AnsiString& v);
  Variant(const std::string& v);

  static Variant Null();
  static Variant Unassigned() { return Variant(); }

  TVarType VarType() const;
  bool IsNull() const { return type_ == varNull; }
  bool IsEmpty() const { return type_ == varEmpty; }
  bool IsArray() const { return type_ == (varArray | varVariant); }
  bool IsNumeric() const;  // smallint, integer, int64, double, currency
  bool IsString() const { return type_ == varString; }

  // Conversions; EVariantError when impossible (see the header comment).
  int AsInteger(const TFormatSettings& fs = DefaultFormatSettings()) const;
  std::int64_t AsInt64(const TFormatSettings& fs = DefaultFormatSettings()) const;
  double AsDouble(const TFormatSettings& fs = DefaultFormatSettings()) const;
  Currency AsCurrency(const TFormatSettings& fs = DefaultFormatSettings()) const;
  TDateTime AsDateTime(const TFormatSettings& fs = DefaultFormatSettings()) const;
  bool AsBoolean(const TFormatSettings& fs = DefaultFormatSettings()) const;
  // Null and Unassigned give "" here only through VarToStr; AsString on
  // Null raises like every other conversion.
  AnsiString AsString(const TFormatSettings& fs = DefaultFormatSettings()) const;

  // Arrays (index from VarArrayLowBound to VarArrayHighBound).
  int ArrayLowBound() const;
  int ArrayHighBound() const;
  const Variant& operator[](int index) const;
  Variant& operator[](int index);

  Variant& operator+=(const Variant& v) { return *this = *this + v; }
  friend Variant operator+(const Variant& a, const Variant& b);
  friend Variant operator-(const Variant& a, const Variant& b);
  friend Variant operator*(const Variant& a, const Variant& b);
  friend Variant operator/(const Variant& a, const Variant& b);
  friend Variant operator%(const Variant& a, const Variant& b);  // mod
  friend Variant operator-(const Variant& a);
  friend bool operator==(const Variant& a, const Variant& b);
  friend bool operator<(const Variant& a, const Variant& b);
  friend bool operator!=(const Variant& a, const Variant& b) { return !(a == b); }
  friend bool operator>(const Variant& a, const Variant& b) { return b < a; }
  friend bool operator<=(const Variant& a, const Variant& b) { return !(b < a); }
  friend bool operator>=(const Variant& a, const Variant& b) { return !(a < b); }

 private:
  friend Variant VarArrayOf(const std::vector<Variant>& items);
  friend Variant VarArrayCreate(int low, int high);
  friend Variant VarAsType(const Variant& v, TVarType type, const TFormatSettings& fs);

  std::int64_t ToInt64(const TFormatSettings& fs, TVarType target) const;

  TVarType type_ = varEmpty;
  union {
    std::int64_t int_ = 0;
    double double_;
    bool bool_;
  };
  AnsiString string_;
  int low_ = 0;
  std::shared_ptr<std::vector<Variant>> items_;  // copied on write
};

inline Variant Null() { return Variant::Null(); }
inline Variant Unassigned() { return Variant(); }

Variant VarArrayOf(const std::vector<Variant>& items);
inline Variant VarArrayOf(std::initializer_list<Variant> items) {
  return VarArrayOf(std::vector<Variant>(items));
}
// An array of Unassigned elements indexed low..high.
Variant VarArrayCreate(int low, int high);
int VarArrayLowBound(const Variant& v, int dim = 1);
int VarArrayHighBound(const Variant& v, int dim = 1);
bool VarIsArray(const Variant& v);
bool VarIsNull(const Variant& v);
bool VarIsEmpty(const Variant& v);
TVarType VarType(const Variant& v);
// "Empty", "Null", "Smallint", "Integer", "Double", "Currency", "Date",
// "Boolean", "Int64", "String"; arrays "Array Variant".
AnsiString VarTypeAsText(TVarType type);
Variant VarAsType(const Variant& v, TVarType type,
                  const TFormatSettings& fs = DefaultFormatSettings());
// Null and Unassigned give "".
AnsiString VarToStr(const Variant& v, const TFormatSettings& fs = DefaultFormatSettings());
// Integer division (the class library's div): truncates toward zero.
Variant VarIntDiv(const Variant& a, const Variant& b);

enum TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };
// Compares by the rules above; vrNotEqual when exactly one side is Null.
TVariantRelationship VarCompareValue(const Variant& a, const Variant& b);
