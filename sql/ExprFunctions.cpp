// Built-in scalar functions; see ExprFunctions.h.
#include "sql/ExprFunctions.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/NumFormat.h"

namespace {

[[noreturn]] void RaiseInvalidParameter(const char* name) {
  throw EExpression(Format("Invalid parameter to %s", {name}));
}

// 1 January 0001 and the day after 31 December 9999 as day numbers.
constexpr double kFirstDay = -693593.0;
constexpr double kPastLastDay = 2958466.0;

}  // namespace

// --- numeric functions ---------------------------------------------------------

const char* MathFunctionName(TMathFunction code) {
  static const char* const kNames[] = {"TRUNC", "ROUND", "ABS", "ARCTAN", "COS",
                                       "EXP",   "FRAC",  "INT", "LN",     "PI",
                                       "SIN",   "SQR",   "SQRT", "POWER"};
  return kNames[code];
}

TExprType TMathExpression::ExprType() {
  return code_ == mfTrunc || code_ == mfRound ? ttInteger : ttFloat;
}

void TMathExpression::Check() {
  if (checked_) return;
  bool ok = true;
  if (code_ == mfPower) {
    ok = ParameterCount() == 2 && Param(0)->ExprType() != ttString &&
         Param(1)->ExprType() != ttString;
  } else if (code_ != mfPi) {
    ok = ParameterCount() == 1 && Param(0)->ExprType() != ttString;
  }
  if (!ok) RaiseInvalidParameter(MathFunctionName(code_));
  checked_ = true;
}

double TMathExpression::AsFloat() {
  Check();
  switch (code_) {
    case mfTrunc:
    case mfRound: return AsInteger();
    case mfAbs: return std::fabs(Arg(0));
    case mfArcTan: return std::atan(Arg(0));
    case mfCos: return CheckedFloat(std::cos(Arg(0)));
    case mfExp: return CheckedFloat(std::exp(Arg(0)));
    case mfFrac: return Frac(Arg(0));
    case mfInt: return std::trunc(Arg(0));
    case mfLn: {
      double x = Arg(0);
      if (x <= 0) throw EExpression(kMsgInvalidFloatOp);
      return std::log(x);
    }
    case mfPi: return 3.141592653589793;
    case mfSin: return CheckedFloat(std::sin(Arg(0)));
    case mfSqr: {
      double x = Arg(0);
      return CheckedFloat(x * x);
    }
    case mfSqrt: {
      double x = Arg(0);
      if (x < 0) throw EExpression(kMsgInvalidFloatOp);
      return std::sqrt(x);
    }
    case mfPower: {
      double x = Arg(0), y = Arg(1);
      if (x == 0 && y < 0) throw EExpression(kMsgFloatDivByZero);
      return CheckedFloat(std::pow(x, y));  // exact where representable
    }
  }
  return 0;
}

int TMathExpression::AsInteger() {
  Check();
  switch (code_) {
    case mfTrunc: return TruncToInt32(Arg(0));
    case mfRound: return RoundToInt32(Arg(0));
    case mfAbs: {
      auto v = static_cast<std::uint32_t>(Param(0)->AsInteger());
      return static_cast<int>(static_cast<std::int32_t>(v) < 0 ? 0u - v : v);  // |INT_MIN| wraps
    }
    default: return TExpression::AsInteger();
  }
}

// --- string functions ----------------------------------------------------------

const char* StringFunctionName(TStringFunction code) {
  static const char* const kNames[] = {"UPPER", "LOWER", "COPY", "POS",
                                       "LENGTH", "LTRIM", "RTRIM", "TRIM"};
  return kNames[code];
}

AnsiString SqlCopy(const AnsiString& s, int start, int count) {
  if (start < 1) start = 1;
  if (count < 1 || start > static_cast<int>(s.size())) return AnsiString();
  return AnsiString(s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count)));
}

TExprType TStringExpression::ExprType() {
  return code_ == sfPos || code_ == sfLength ? ttInteger : ttString;
}

void TStringExpression::Check() {
  if (checked_) return;
  bool ok;
  switch (code_) {
    case sfCopy: {
      auto countable = [](TExprType t) { return t == ttInteger || t == ttBoolean; };
      ok = ParameterCount() == 3 && countable(Param(1)->ExprType()) &&
           countable(Param(2)->ExprType());
      break;
    }
    case sfPos: ok = ParameterCount() == 2; break;
    default: ok = ParameterCount() == 1; break;
  }
  if (!ok) RaiseInvalidParameter(StringFunctionName(code_));
  checked_ = true;
}

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

AnsiString TrimEnds(const AnsiString& s, bool left, bool right) {
  size_t b = 0, e = s.size();
  if (left)
    while (b < e && IsBlank(s[b])) ++b;
  // A trail byte is 0x40 or above, so a byte <= 32 at the end is always a
  // character of its own.
  if (right)
    while (e > b && IsBlank(s[e - 1])) --e;
  return AnsiString(s.substr(b, e - b));
}

}  // namespace

AnsiString TStringExpression::AsString() {
  Check();
  switch (code_) {
    case sfUpper: return AnsiUpperCase(Param(0)->AsString());
    case sfLower: return AnsiLowerCase(Param(0)->AsString());
    case sfCopy:
      return SqlCopy(Param(0)->AsString(), Param(1)->AsInteger(), Param(2)->AsInteger());
    case sfLTrim: return TrimEnds(Param(0)->AsString(), true, false);
    case sfRTrim: return TrimEnds(Param(0)->AsString(), false, true);
    case sfTrim: return TrimEnds(Param(0)->AsString(), true, true);
    default: return TExpression::AsString();
  }
}

int TStringExpression::AsInteger() {
  Check();
  switch (code_) {
    case sfPos:
      if (MaxWidthMode()) return static_cast<int>(Param(1)->AsString().size());
      return AnsiPos(Param(0)->AsString(), Param(1)->AsString());
    case sfLength: return static_cast<int>(Param(0)->AsString().size());
    default: return TExpression::AsInteger();
  }
}

AnsiString TLeftExpr::AsString() {
  AnsiString s = Param(0)->AsString();
  return SqlCopy(s, 1, Param(1)->AsInteger());
}

AnsiString TRightExpr::AsString() {
  AnsiString s = Param(0)->AsString();
  int n = Param(1)->AsInteger();
  // In 64 bits: length - n + 1 must not wrap for a very negative n.
  std::int64_t start = static_cast<std::int64_t>(s.size()) - n + 1;
  return SqlCopy(s, static_cast<int>(start < 1 ? 1 : start), n);
}

TASCIIExpr::TASCIIExpr(TParameterListPtr params) : TFunction(std::move(params)) {
  if (ParameterCount() != 1 || Param(0)->ExprType() != ttString)
    throw EExpression("ASCII: Incorrect argument");
}

int TASCIIExpr::AsInteger() {
  AnsiString s = Param(0)->AsString();
  return s.empty() ? 0 : static_cast<unsigned char>(s[0]);
}

// --- dates ---------------------------------------------------------------------

int TDecodeDateTimeExpr::AsInteger() {
  double d = Param(0)->AsFloat();
  if (!(d >= kFirstDay && d < kPastLastDay)) return 0;
  unsigned short y, mo, dd, h, mi, s, ms;
  DecodeDateTime(TDateTime(d), y, mo, dd, h, mi, s, ms);
  const unsigned short parts[] = {y, mo, dd, h, mi, s, ms};
  return parts[part_];
}

AnsiString TFormatDateTimeExpr::AsString() {
  AnsiString picture = Param(0)->AsString();
  return FormatDateTime(picture, TDateTime(Param(1)->AsFloat()));
}

AnsiString TFormatFloatExpr::AsString() {
  AnsiString picture = Param(0)->AsString();
  return FormatFloat(picture, Param(1)->AsFloat());
}

AnsiString TFormatExpr::AsString() {
  AnsiString format = Param(0)->AsString();
  std::vector<TVarRec> args;
  int n = ParameterCount();
  for (int i = 1; i < n && i <= 20; ++i) {
    TExpression* p = Param(i);
    switch (p->ExprType()) {
      case ttString: args.emplace_back(AnsiString(p->AsString().substr(0, 255))); break;
      case ttFloat: args.emplace_back(p->AsFloat()); break;
      case ttInteger: args.emplace_back(p->AsInteger()); break;
      case ttBoolean: args.emplace_back(p->AsBoolean()); break;
    }
  }
  return Format(format, args);
}

// --- DECODE, MINOF, MAXOF ------------------------------------------------------

TDecodeExpr::TDecodeExpr(TParameterListPtr params) : TFunction(std::move(params)) {
  int n = ParameterCount();
  if (n < 2 || n % 2 != 0) throw EExpression("DECODE: Incorrect number of arguments");
}

TExpression* TDecodeExpr::Result() {
  TExpression* x = Param(0);
  int n = ParameterCount();
  TExprType t = x->ExprType();
  // Read the value once, in its own type.
  AnsiString sv;
  double fv = 0;
  int iv = 0;
  bool bv = false;
  switch (t) {
    case ttString: sv = x->AsString(); break;
    case ttFloat: fv = x->AsFloat(); break;
    case ttInteger: iv = x->AsInteger(); break;
    case ttBoolean: bv = x->AsBoolean(); break;
  }
  for (int pos = 1; pos < n - 1; pos += 2) {
    TExpression* search = Param(pos);
    bool equal = false;
    switch (t) {
      case ttString: equal = search->AsString() == sv; break;
      case ttFloat: equal = search->AsFloat() == fv; break;
      case ttInteger: equal = search->AsInteger() == iv; break;
      case ttBoolean: equal = search->AsBoolean() == bv; break;
    }
    if (equal) return Param(pos + 1);
  }
  return Param(n - 1);
}

TExprType TDecodeExpr::ExprType() {
  int n = ParameterCount();
  return Param(n >= 4 ? 2 : n - 1)->ExprType();
}

AnsiString TDecodeExpr::AsString() {
  if (!MaxWidthMode()) return Result()->AsString();
  int n = ParameterCount();
  if (n < 4) return Param(n - 1)->AsString();
  AnsiString longest;
  for (int pos = 2; pos < n - 1; pos += 2) {
    AnsiString s = Param(pos)->AsString();
    if (pos == 2 || s.size() > longest.size()) longest = std::move(s);
  }
  return longest;
}

TMinMaxOfExpr::TMinMaxOfExpr(TParameterListPtr params, bool isMin)
    : TFunction(std::move(params)), isMin_(isMin) {
  if (ParameterCount() < 1) throw EExpression("MINOF, MAXOF: Incorrect number of arguments");
}

double TMinMaxOfExpr::AsFloat() {
  double r = Param(0)->AsFloat();
  for (int i = 1; i < ParameterCount(); ++i) {
    double v = Param(i)->AsFloat();
    if (isMin_ ? v < r : v > r) r = v;
  }
  return r;
}
