// Internals of the number conversions, shared by NumFormat.cpp,
// FormatFloat.cpp and FormatText.cpp; not for other folders.
#pragma once

#include <algorithm>
#include <string>

#include "platform/core/NumFormat.h"

namespace numfmt {

// Most significant digits a decimal carries (a currency amount has up to
// 19, a double's shortest text up to 17).
constexpr int kMaxDigits = 20;

// A decimal value: (negative ? -1 : 1) * 0.d1d2d3... * 10^exponent.
// Invariant: digits has no trailing '0'; zero is digits empty, exponent 0,
// negative false (so a zero never shows a sign).
struct TDecimal {
  enum Special { kFinite = 0, kNan, kInf };
  Special special = kFinite;
  bool negative = false;
  int exponent = 0;
  std::string digits;

  void TrimZeros();
  // Rounds halves away from zero to `count` significant digits.
  void RoundToSignificant(int count);
  // Rounds halves away from zero to `decimals` places after the point
  // (negative: to tens, hundreds, ...).
  void RoundToDecimals(int decimals);
  // Digits before the point ("" below 1) and after it ("" for integers).
  std::string IntegerDigits() const;
  std::string FractionDigits() const;
};

// The shortest decimal that reads back as the same double (1 to 17
// significant digits, std::to_chars): 0.1 is "1" * 10^0, never the binary
// noise 0.1000000000000000055...; 2.675 stays the half it was typed as.
// A subnormal value is taken to 17 correctly rounded digits.
TDecimal ToDecimal(double value);
AnsiString SpecialText(const TDecimal& d);
AnsiString GroupThousands(const std::string& intDigits, char separator);
// Exponent with '-' when negative, '+' when forcePlus, zero-padded.
AnsiString ExponentText(int exp, bool forcePlus, int minDigits);
// FloatToStrF on a decimal (shared with CurrToStrF and Format).
AnsiString FormatDecimal(const TDecimal& value, TFloatFormat format, int precision, int digits,
                         const TFormatSettings& fs);

}  // namespace numfmt
