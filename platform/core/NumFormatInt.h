// Internals of the number conversions, shared by NumFormat.cpp,
// FormatFloat.cpp and FormatText.cpp; not for other folders.
#pragma once

#include <algorithm>
#include <string>

#include "platform/core/NumFormat.h"

namespace numfmt {

// Most significant digits a decimal carries (a currency amount has up to
// 19).  Doubles are converted with at most 15: beyond that a double's
// decimal form shows binary noise (0.1 -> 0.100000000000000006).
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

// The double correctly rounded to `precision` significant digits.
TDecimal ToDecimal(double value, int precision);
AnsiString SpecialText(const TDecimal& d);
AnsiString GroupThousands(const std::string& intDigits, char separator);
// Exponent with '-' when negative, '+' when forcePlus, zero-padded.
AnsiString ExponentText(int exp, bool forcePlus, int minDigits);
// FloatToStrF on a decimal (shared with CurrToStrF and Format).
AnsiString FormatDecimal(const TDecimal& value, TFloatFormat format, int precision, int digits,
                         const TFormatSettings& fs);

}  // namespace numfmt
