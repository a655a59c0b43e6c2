// Number conversions: integers, the float pictures and the rounding
// helpers.  Format lives in FormatText.cpp.
//
// Every float conversion goes through TDecimal (NumFormatInt.h): the value
// as sign, decimal digits and exponent, the shortest text that reads back
// as the same double (std::to_chars, locale-independent), then rounded
// further in decimal.
#include "platform/core/NumFormat.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/core/Exceptions.h"
#include "platform/core/NumFormatInt.h"

namespace numfmt {

TDecimal ToDecimal(double value) {
  TDecimal d;
  if (std::isnan(value)) { d.special = TDecimal::kNan; return d; }
  if (std::isinf(value)) {
    d.special = TDecimal::kInf;
    d.negative = value < 0;
    return d;
  }
  if (value == 0) return d;
  char buf[64];
  // Below the normal range a double holds fewer bits than its digits
  // suggest and the shortest text drops digits of the value itself
  // (5e-324 is 4.9406564584124654e-324): there the value is taken to 17
  // correctly rounded digits instead, which also read back as it.
  const bool subnormal = std::fabs(value) < std::numeric_limits<double>::min();
  auto res = subnormal ? std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 16)
                       : std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  // "-d.ddddde+XX"
  const char* p = buf;
  if (*p == '-') { d.negative = true; ++p; }
  for (; p < res.ptr && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') d.digits.push_back(*p);
  int exp10 = 0;
  std::from_chars(p + 1 + (p[1] == '+'), res.ptr, exp10);
  d.exponent = exp10 + 1;
  d.TrimZeros();
  return d;
}

void TDecimal::TrimZeros() {
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  if (digits.empty()) { negative = false; exponent = 0; }
}

void TDecimal::RoundToSignificant(int count) {
  if (special || count < 0 || static_cast<size_t>(count) >= digits.size()) return;
  bool up = digits[count] >= '5';
  digits.resize(count);
  if (up) {
    int i = count - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits.insert(digits.begin(), '1');
      ++exponent;
    }
  }
  TrimZeros();
}

void TDecimal::RoundToDecimals(int decimals) {
  if (special || digits.empty()) return;
  int keep = exponent + decimals;
  if (keep < 0) { digits.clear(); TrimZeros(); return; }
  if (keep == 0) {
    // Only the rounding digit remains: 0.5 and above become one unit.
    if (digits[0] >= '5') { digits = "1"; exponent = 1 - decimals; }
    else digits.clear();
    TrimZeros();
    return;
  }
  RoundToSignificant(keep);
}

std::string TDecimal::IntegerDigits() const {
  if (exponent <= 0) return std::string();
  std::string s = digits.substr(0, std::min<size_t>(digits.size(), exponent));
  s.append(exponent - s.size(), '0');
  return s;
}

std::string TDecimal::FractionDigits() const {
  if (digits.empty()) return std::string();
  if (exponent >= static_cast<int>(digits.size())) return std::string();
  if (exponent >= 0) return digits.substr(exponent);
  return std::string(-exponent, '0') + digits;
}

AnsiString SpecialText(const TDecimal& d) {
  if (d.special == TDecimal::kNan) return "NAN";
  return d.negative ? "-INF" : "INF";
}

AnsiString GroupThousands(const std::string& intDigits, char separator) {
  AnsiString out;
  int n = static_cast<int>(intDigits.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0 && separator) out += separator;
    out += intDigits[i];
  }
  return out;
}

AnsiString ExponentText(int exp, bool forcePlus, int minDigits) {
  AnsiString out;
  if (exp < 0) out += '-';
  else if (forcePlus) out += '+';
  std::string num = std::to_string(exp < 0 ? -exp : exp);
  if (static_cast<int>(num.size()) < minDigits) num.insert(0, minDigits - num.size(), '0');
  out += num;
  return out;
}

}  // namespace numfmt

using numfmt::TDecimal;

// --- integers ---------------------------------------------------------------

AnsiString IntToStr(std::int64_t value) { return AnsiString(std::to_string(value)); }

AnsiString IntToHex(unsigned long long value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  do {
    s.insert(s.begin(), kHex[value & 15]);
    value >>= 4;
  } while (value);
  if (digits > 32) digits = 32;
  if (static_cast<int>(s.size()) < digits) s.insert(0, digits - s.size(), '0');
  return AnsiString(s);
}

AnsiString IntToHex(long value, int digits) {
  return IntToHex(static_cast<unsigned long long>(value), digits);
}

AnsiString IntToHex(unsigned long value, int digits) {
  return IntToHex(static_cast<unsigned long long>(value), digits);
}

AnsiString IntToHex(long long value, int digits) {
  return IntToHex(static_cast<unsigned long long>(value), digits);
}

AnsiString IntToHex(int value, int digits) {
  return IntToHex(static_cast<unsigned long long>(static_cast<unsigned>(value)), digits);
}

AnsiString IntToHex(unsigned value, int digits) {
  return IntToHex(static_cast<unsigned long long>(value), digits);
}

namespace {

// The class library's integer text: leading blanks, an optional sign, then
// decimal digits or "$"/"0x"/"x" and hexadecimal digits; nothing after.
// Hexadecimal may use the full unsigned width (wrapping, "$FFFFFFFF" is -1
// for 32 bits); decimal must fit the signed range.
bool ParseInteger(const AnsiString& s, int bits, std::int64_t& out) {
  size_t i = 0, n = s.size();
  while (i < n && s[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  bool hex = false;
  if (i < n && s[i] == '$') { hex = true; ++i; }
  else if (i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) { hex = true; i += 2; }
  else if (i < n && (s[i] == 'x' || s[i] == 'X')) { hex = true; ++i; }
  if (i >= n) return false;
  std::uint64_t v = 0;
  const std::uint64_t unsignedMax = bits == 64 ? ~0ull : 0xFFFFFFFFull;
  const std::uint64_t signedLimit = bits == 64 ? (1ull << 63) : (1ull << 31);
  for (; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    std::uint64_t base = hex ? 16 : 10;
    if (v > (unsignedMax - digit) / base) return false;
    v = v * base + digit;
    if (!hex && v > signedLimit) return false;
  }
  if (hex) {
    std::int64_t sv = bits == 64 ? static_cast<std::int64_t>(v)
                                 : static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    out = negative ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(sv)) : sv;
    if (bits == 32) out = static_cast<std::int32_t>(out);
    return true;
  }
  if (!negative && v == signedLimit) return false;
  out = negative ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
  return true;
}

[[noreturn]] void InvalidInteger(const AnsiString& s) {
  throw EConvertError("'" + s + "' is not a valid integer value");
}

}  // namespace

bool TryStrToInt(const AnsiString& s, int& value) {
  std::int64_t v;
  if (!ParseInteger(s, 32, v)) return false;
  value = static_cast<int>(v);
  return true;
}

int StrToInt(const AnsiString& s) {
  int v;
  if (!TryStrToInt(s, v)) InvalidInteger(s);
  return v;
}

int StrToIntDef(const AnsiString& s, int defaultValue) {
  int v;
  return TryStrToInt(s, v) ? v : defaultValue;
}

bool TryStrToInt64(const AnsiString& s, std::int64_t& value) { return ParseInteger(s, 64, value); }

std::int64_t StrToInt64(const AnsiString& s) {
  std::int64_t v;
  if (!TryStrToInt64(s, v)) InvalidInteger(s);
  return v;
}

std::int64_t StrToInt64Def(const AnsiString& s, std::int64_t defaultValue) {
  std::int64_t v;
  return TryStrToInt64(s, v) ? v : defaultValue;
}

// --- floating point text ----------------------------------------------------

namespace {

// Scientific text of d with `mantissaDigits` digits (trailing zeros kept
// when padMantissa), the exponent as ExponentText gives it.
AnsiString ScientificText(TDecimal d, int mantissaDigits, bool padMantissa, bool forcePlus,
                          int minExpDigits, char decimalSeparator) {
  d.RoundToSignificant(mantissaDigits);
  std::string digits = d.digits.empty() ? std::string("0") : d.digits;
  if (padMantissa && static_cast<int>(digits.size()) < mantissaDigits)
    digits.append(mantissaDigits - digits.size(), '0');
  AnsiString out;
  if (d.negative) out += '-';
  out += digits[0];
  if (digits.size() > 1) {
    out += decimalSeparator;
    out.append(digits, 1, std::string::npos);
  }
  out += 'E';
  out += numfmt::ExponentText(d.digits.empty() ? 0 : d.exponent - 1, forcePlus, minExpDigits);
  return out;
}

AnsiString GeneralText(const TDecimal& value, int precision, int minExpDigits,
                       char decimalSeparator) {
  TDecimal d = value;
  d.RoundToSignificant(precision);
  if (d.digits.empty()) return "0";
  if (d.exponent > precision || d.exponent < -3)
    return ScientificText(d, precision, false, false, minExpDigits, decimalSeparator);
  AnsiString out;
  if (d.negative) out += '-';
  std::string intDigits = d.IntegerDigits();
  out += intDigits.empty() ? std::string("0") : intDigits;
  std::string frac = d.FractionDigits();
  if (!frac.empty()) {
    out += decimalSeparator;
    out += frac;
  }
  return out;
}

// The digits of a fixed-point amount: integer part (grouped when asked)
// and exactly `decimals` decimals.
AnsiString FixedDigits(const TDecimal& d, int decimals, char thousandSeparator,
                       char decimalSeparator) {
  std::string intDigits = d.IntegerDigits();
  AnsiString out = intDigits.empty()
                       ? AnsiString("0")
                       : (thousandSeparator ? numfmt::GroupThousands(intDigits, thousandSeparator)
                                            : AnsiString(intDigits));
  if (decimals > 0) {
    std::string frac = d.FractionDigits();
    frac.resize(decimals, '0');
    out += decimalSeparator;
    out += frac;
  }
  return out;
}

AnsiString CurrencyText(const AnsiString& amount, bool negative, const TFormatSettings& fs) {
  const AnsiString& c = fs.CurrencyString;
  if (!negative) {
    switch (fs.CurrencyFormat) {
      case 1: return amount + c;
      case 2: return c + " " + amount;
      case 3: return amount + " " + c;
      default: return c + amount;
    }
  }
  switch (fs.NegCurrFormat) {
    case 0: return "(" + c + amount + ")";
    case 1: return "-" + c + amount;
    case 2: return c + "-" + amount;
    case 3: return c + amount + "-";
    case 4: return "(" + amount + c + ")";
    case 5: return "-" + amount + c;
    case 6: return amount + "-" + c;
    case 7: return amount + c + "-";
    case 8: return "-" + amount + " " + c;
    case 9: return "-" + c + " " + amount;
    case 10: return amount + " " + c + "-";
    case 11: return c + " " + amount + "-";
    case 12: return c + " -" + amount;
    case 13: return amount + "- " + c;
    case 14: return "(" + c + " " + amount + ")";
    case 15: return "(" + amount + " " + c + ")";
    default: return "-" + c + amount;
  }
}

}  // namespace

namespace numfmt {

AnsiString FormatDecimal(const TDecimal& value, TFloatFormat format, int precision, int digits,
                         const TFormatSettings& fs) {
  if (value.special) return SpecialText(value);
  if (precision < 1) precision = 1;
  if (precision > kMaxDigits) precision = kMaxDigits;
  switch (format) {
    case ffGeneral:
      return GeneralText(value, precision, std::clamp(digits, 0, 4), fs.DecimalSeparator);
    case ffExponent:
      return ScientificText(value, precision, true, true, std::clamp(digits, 0, 4),
                            fs.DecimalSeparator);
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
      digits = std::clamp(digits, 0, 18);
      TDecimal d = value;
      d.RoundToSignificant(precision);
      if (d.exponent > precision)
        return GeneralText(value, precision, 0, fs.DecimalSeparator);
      d.RoundToDecimals(digits);
      AnsiString amount = FixedDigits(d, digits, format == ffFixed ? 0 : fs.ThousandSeparator,
                                      fs.DecimalSeparator);
      if (format == ffCurrency) return CurrencyText(amount, d.negative, fs);
      return d.negative ? "-" + amount : amount;
    }
  }
  return AnsiString();
}

}  // namespace numfmt

AnsiString FloatToStr(double value, const TFormatSettings& fs) {
  return numfmt::FormatDecimal(numfmt::ToDecimal(value), ffGeneral, 15, 0, fs);
}

AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                       const TFormatSettings& fs) {
  return numfmt::FormatDecimal(numfmt::ToDecimal(value), format, precision, digits, fs);
}

namespace {

// Exact decimal of a scaled currency amount (no binary rounding).
TDecimal CurrencyDecimal(std::int64_t scaled) {
  TDecimal d;
  if (scaled == 0) return d;
  d.negative = scaled < 0;
  std::uint64_t u = d.negative ? 0 - static_cast<std::uint64_t>(scaled) : scaled;
  d.digits = std::to_string(u);
  d.exponent = static_cast<int>(d.digits.size()) - 4;
  d.TrimZeros();
  return d;
}

}  // namespace

AnsiString CurrToStr(std::int64_t scaledBy10000, const TFormatSettings& fs) {
  return numfmt::FormatDecimal(CurrencyDecimal(scaledBy10000), ffGeneral, 19, 0, fs);
}

AnsiString CurrToStrF(std::int64_t scaledBy10000, TFloatFormat format, int digits,
                      const TFormatSettings& fs) {
  return numfmt::FormatDecimal(CurrencyDecimal(scaledBy10000), format, 19, digits, fs);
}

// --- parsing ----------------------------------------------------------------

namespace {

// Plain decimals ("-123.45": no exponent, at most 2^53 as an integer of all
// their digits, at most 22 of them after the separator), the usual text of
// a stored amount, are read without building a copy for from_chars: the
// digits as an integer are exact, so is the power of ten, and one IEEE
// division rounds to the nearest double, which is what from_chars gives.
// False sends every other text to the general reader.
bool TryPlainDecimal(const AnsiString& s, size_t i, size_t n, char separator, double& value) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  constexpr std::uint64_t kExact = std::uint64_t(1) << 53;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::uint64_t digits = 0;
  int after = -1;  // digits after the separator; -1 before it
  bool anyDigit = false;
  for (; i < n; ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
      if (digits > kExact) return false;
      anyDigit = true;
      if (after >= 0 && ++after > 22) return false;
    } else if (c == separator && after < 0) {
      after = 0;
    } else {
      return false;
    }
  }
  if (!anyDigit) return false;
  const double v = static_cast<double>(digits) / kPowers[after < 0 ? 0 : after];
  value = negative && v != 0 ? -v : v;
  return true;
}

}  // namespace

bool TryStrToFloat(const AnsiString& s, double& value, const TFormatSettings& fs) {
  size_t i = 0, n = s.size();
  while (i < n && s[i] == ' ') ++i;
  while (n > i && s[n - 1] == ' ') --n;
  if (TryPlainDecimal(s, i, n, fs.DecimalSeparator, value)) return true;
  std::string text;
  if (i < n && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') text += '-';
    ++i;
  }
  bool anyDigit = false, point = false;
  for (; i < n; ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') { text += c; anyDigit = true; }
    else if (c == fs.DecimalSeparator && !point) { text += '.'; point = true; }
    else break;
  }
  if (!anyDigit) return false;
  if (i < n && (s[i] == 'E' || s[i] == 'e')) {
    text += 'e';
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) text += s[i++];
    bool expDigit = false;
    for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i) { text += s[i]; expDigit = true; }
    if (!expDigit) return false;
  }
  if (i != n) return false;
  double v = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    // Underflow gives zero; overflow is no valid value.
    bool tiny = text.find("e-") != std::string::npos;
    if (!tiny) return false;
    v = text[0] == '-' ? -0.0 : 0.0;
  } else if (res.ec != std::errc() || res.ptr != text.data() + text.size()) {
    return false;
  }
  value = v == 0 ? 0.0 : v;
  return true;
}

double StrToFloat(const AnsiString& s, const TFormatSettings& fs) {
  double v;
  if (!TryStrToFloat(s, v, fs)) throw EConvertError("'" + s + "' is not a valid floating point value");
  return v;
}

double StrToFloatDef(const AnsiString& s, double defaultValue, const TFormatSettings& fs) {
  double v;
  return TryStrToFloat(s, v, fs) ? v : defaultValue;
}

// --- rounding ---------------------------------------------------------------

namespace {

void CheckIntegral(double v) {
  // 2^63 is the first value outside int64.
  if (!std::isfinite(v) || v >= 9223372036854775808.0 || v < -9223372036854775808.0)
    throw EInvalidOp("Invalid floating point operation");
}

}  // namespace

std::int64_t Round(double value) {
  double r = std::nearbyint(value);  // the default rounding mode: halves to even
  CheckIntegral(r);
  return static_cast<std::int64_t>(r);
}

std::int64_t Trunc(double value) {
  double r = std::trunc(value);
  CheckIntegral(r);
  return static_cast<std::int64_t>(r);
}

double Int(double value) { return std::trunc(value); }

double Frac(double value) { return value - std::trunc(value); }

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  std::int64_t product = static_cast<std::int64_t>(number) * numerator;
  bool negative = (product < 0) != (denominator < 0);
  std::uint64_t p = product < 0 ? 0 - static_cast<std::uint64_t>(product) : product;
  std::uint64_t d = denominator < 0 ? 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(denominator))
                                    : static_cast<std::uint64_t>(denominator);
  std::uint64_t q = (p + d / 2) / d;
  if (q > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return -1;  // does not fit
  return negative ? static_cast<int>(-static_cast<std::int64_t>(q)) : static_cast<int>(q);
}

namespace {

// The rounded decimal as a double.  A result beyond the double range (the
// value cannot be scaled to that place) raises EInvalidOp; one below it is 0.
double DecimalToDouble(const TDecimal& d) {
  if (d.digits.empty()) return 0.0;
  std::string text = (d.negative ? "-0." : "0.") + d.digits + "e" + std::to_string(d.exponent);
  double v = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    if (d.exponent > 0) throw EInvalidOp("Invalid floating point operation");
    return 0.0;
  }
  return v;
}

}  // namespace

double SimpleRoundTo(double value, int digit) {
  TDecimal d = numfmt::ToDecimal(value);
  if (d.special) return value;
  d.RoundToDecimals(-digit);
  return DecimalToDouble(d);
}

double RoundTo(double value, int digit) {
  TDecimal d = numfmt::ToDecimal(value);
  if (d.special || d.digits.empty()) return d.special ? value : 0.0;
  int keep = d.exponent - digit;
  if (keep >= 0 && static_cast<size_t>(keep) < d.digits.size()) {
    // An exact half (a single 5 as the last digit) goes to the even side.
    bool exactHalf = d.digits[keep] == '5' && d.digits.size() == static_cast<size_t>(keep) + 1;
    bool prevEven = keep == 0 || ((d.digits[keep - 1] - '0') % 2 == 0);
    if (exactHalf && prevEven) {
      d.digits.resize(keep);
      d.TrimZeros();
      return DecimalToDouble(d);
    }
  }
  d.RoundToDecimals(-digit);
  return DecimalToDouble(d);
}
