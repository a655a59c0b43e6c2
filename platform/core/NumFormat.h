// Number conversions of the class library: integer and floating-point text
// in both directions, the float pictures (FloatToStrF, FormatFloat), the
// rounding helpers and the printf-like Format.  Every function that depends
// on separators takes an optional TFormatSettings (default: the process
// default, DefaultFormatSettings()).
//
// Decimal conversion (one rule for FloatToStr, FloatToStrF, FormatFloat,
// Format, SimpleRoundTo and RoundTo): the double is first converted to the
// shortest decimal that reads back as the same double (up to 17
// significant digits; a larger Precision never shows binary noise, and no
// digit of the value is lost); any further rounding the call asks for
// (fewer significant digits, fixed decimals, '0'/'#' places) is done on
// that decimal, halves away from zero.  So FormatFloat("0.00", 1.005) is
// "1.01" and FloatToStrF(1234.5, ffExponent, 4, 2) is "1.235E+03": the
// values' shortest forms are 1.005 and 1234.5.  A result that rounds to zero never carries a minus
// sign ("0.00", not "-0.00"); negative zero formats as zero.  Not-a-number
// and infinities format as "NAN", "INF", "-INF".
//
// Failures raise EConvertError with the class library's texts:
//   "'%s' is not a valid integer value", "'%s' is not a valid floating point
//   value", "Format '%s' invalid or incompatible with argument".
// Standard library only.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/FormatSettings.h"

// --- integers ---------------------------------------------------------------

AnsiString IntToStr(std::int64_t value);
// Upper-case hexadecimal, zero-padded to at least `digits` characters.
// A negative value shows its two's complement in the argument's width:
// IntToHex(-1, 2) is "FFFFFFFF", IntToHex(std::int64_t{-1}, 2) sixteen F.
AnsiString IntToHex(int value, int digits);
AnsiString IntToHex(unsigned value, int digits);
AnsiString IntToHex(long value, int digits);
AnsiString IntToHex(unsigned long value, int digits);
AnsiString IntToHex(long long value, int digits);
AnsiString IntToHex(unsigned long long value, int digits);

// Decimal with optional sign and surrounding blanks; hexadecimal as "$1F",
// "0x1F" or "0X1F" (also after a sign).  Out-of-range values are invalid.
int StrToInt(const AnsiString& s);
int StrToIntDef(const AnsiString& s, int defaultValue);
bool TryStrToInt(const AnsiString& s, int& value);
std::int64_t StrToInt64(const AnsiString& s);
std::int64_t StrToInt64Def(const AnsiString& s, std::int64_t defaultValue);
bool TryStrToInt64(const AnsiString& s, std::int64_t& value);

// --- floating point ---------------------------------------------------------

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// General format, 15 significant digits: "0.1", "1E15", "1.5E-5".
AnsiString FloatToStr(double value, const TFormatSettings& fs = DefaultFormatSettings());
// Precision: significant digits (1..18; a double has at most 17, so above
// that only the switch to the exponent form moves).  Digits: for ffGeneral and ffExponent the minimum
// exponent digits (0..4), for ffFixed, ffNumber and ffCurrency the decimals
// (0..18).  ffFixed, ffNumber and ffCurrency fall back to ffGeneral when
// the value has more than Precision integer digits.
AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                       const TFormatSettings& fs = DefaultFormatSettings());
// The picture language: '0' digit, '#' optional digit, '.' decimal point,
// ',' thousands, "E+" "E-" "e+" "e-" exponent, ';' separates the positive,
// negative and zero sections, '...' and "..." literal text, other
// characters copied as they stand.
AnsiString FormatFloat(const AnsiString& picture, double value,
                       const TFormatSettings& fs = DefaultFormatSettings());
// Currency values as 64-bit integers scaled by 10000 (the grid's sums).
AnsiString CurrToStr(std::int64_t scaledBy10000, const TFormatSettings& fs = DefaultFormatSettings());
AnsiString CurrToStrF(std::int64_t scaledBy10000, TFloatFormat format, int digits,
                      const TFormatSettings& fs = DefaultFormatSettings());

// Accepts blanks around, a sign, digits with the settings' decimal
// separator, an exponent ("1E5", "1.5e-3").  No thousands separators.
double StrToFloat(const AnsiString& s, const TFormatSettings& fs = DefaultFormatSettings());
double StrToFloatDef(const AnsiString& s, double defaultValue,
                     const TFormatSettings& fs = DefaultFormatSettings());
bool TryStrToFloat(const AnsiString& s, double& value,
                   const TFormatSettings& fs = DefaultFormatSettings());

// --- rounding ---------------------------------------------------------------

// Nearest integer, halves to even (Round(2.5) == 2, Round(3.5) == 4).
// Raises EInvalidOp when the value is not finite or does not fit 64 bits.
std::int64_t Round(double value);
// Toward zero; same range rule as Round.
std::int64_t Trunc(double value);
// Integer and fractional parts, both with the value's sign.
double Int(double value);
double Frac(double value);
// number * numerator / denominator in 64 bits, rounded half away from zero;
// -1 when the denominator is zero.
int MulDiv(int number, int numerator, int denominator);
// Rounds to 10^digit (digit -2: hundredths), halves away from zero,
// computed on the value's shortest decimal form (so 1.005 -> 1.01).  A
// result beyond the double range raises EInvalidOp.
double SimpleRoundTo(double value, int digit = -2);
// Same, halves to even ("banker's": 1.125 -> 1.12).
double RoundTo(double value, int digit);

// --- Format -----------------------------------------------------------------

// One argument of Format (the class library's array of const).  Built
// implicitly from integers, doubles, strings, characters and pointers:
//   Format("%d-%s", {5, name})
class TVarRec {
 public:
  enum Kind { vtInteger, vtInt64, vtExtended, vtString, vtChar, vtPointer, vtBoolean };
  TVarRec(int v) : kind_(vtInteger), int_(v) {}
  TVarRec(unsigned v) : kind_(vtInt64), int_(v) {}
  TVarRec(short v) : kind_(vtInteger), int_(v) {}
  TVarRec(unsigned short v) : kind_(vtInteger), int_(v) {}
  TVarRec(long v) : kind_(vtInt64), int_(v) {}
  TVarRec(unsigned long v) : kind_(vtInt64), int_(static_cast<std::int64_t>(v)) {}
  TVarRec(long long v) : kind_(vtInt64), int_(v) {}
  TVarRec(unsigned long long v) : kind_(vtInt64), int_(static_cast<std::int64_t>(v)) {}
  TVarRec(double v) : kind_(vtExtended), double_(v) {}
  TVarRec(float v) : kind_(vtExtended), double_(v) {}
  TVarRec(char v) : kind_(vtChar), string_(1, v) {}
  TVarRec(const char* v) : kind_(vtString), string_(v ? v : "") {}
  TVarRec(const AnsiString& v) : kind_(vtString), string_(v) {}
  TVarRec(const std::string& v) : kind_(vtString), string_(v) {}
  TVarRec(std::string_view v) : kind_(vtString), string_(v) {}
  TVarRec(const void* v) : kind_(vtPointer), pointer_(v) {}
  // Accepted as an argument but matches no directive (EConvertError).
  TVarRec(bool v) : kind_(vtBoolean), int_(v) {}

  Kind VType() const { return kind_; }
  std::int64_t AsInt64() const { return int_; }
  double AsDouble() const { return double_; }
  const AnsiString& AsString() const { return string_; }
  const void* AsPointer() const { return pointer_; }

 private:
  Kind kind_;
  std::int64_t int_ = 0;
  double double_ = 0;
  AnsiString string_;
  const void* pointer_ = nullptr;
};

// Directives: "%" ["index:"] ["-"] [width] ["." precision] type, with type
// one of d u e f g n m p s x (upper or lower case); width and precision may
// be "*" (taken from the next integer argument), at most 65535; "%%" is a
// percent sign.  The rules of each type letter are in FormatText.cpp.
AnsiString Format(const AnsiString& format, std::initializer_list<TVarRec> args,
                  const TFormatSettings& fs = DefaultFormatSettings());
AnsiString Format(const AnsiString& format, const std::vector<TVarRec>& args,
                  const TFormatSettings& fs = DefaultFormatSettings());
