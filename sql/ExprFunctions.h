// The built-in scalar functions of the expression language.  Each is a
// TFunction whose parameters are the call's arguments in order; the
// expression grammar picks the class and code by the function's name.
//
// Argument checks: the numeric and string functions check their argument
// count and types when first evaluated ("Invalid parameter to %s", naming
// the function by its code, so SUBSTRING reports COPY and CHARINDEX POS);
// ASCII, DECODE, MINOF and MAXOF check at creation, i.e. while parsing.
//
// Pictures.  FORMATDATETIME uses FormatDateTime's pictures (DateTime.h:
// d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz am/pm t tt c,
// quoted literals), FORMATFLOAT FormatFloat's ("0" "#" "." "," "E+" "E-",
// sections separated by ";", quoted literals) and FORMAT the Format
// directives (NumFormat.h: d u e f g n m p s x with width, precision and
// index).  All take the process format settings, so a number renders with
// "." while a statement runs.
#pragma once

#include "sql/Expression.h"

// TRUNC ROUND ABS ARCTAN COS EXP FRAC INT LN PI SIN SQR SQRT POWER.
enum TMathFunction : unsigned char {
  mfTrunc, mfRound, mfAbs, mfArcTan, mfCos, mfExp, mfFrac, mfInt, mfLn, mfPi, mfSin, mfSqr,
  mfSqrt, mfPower
};
const char* MathFunctionName(TMathFunction code);

class TMathExpression : public TFunction {
 public:
  TMathExpression(TParameterListPtr params, TMathFunction code)
      : TFunction(std::move(params)), code_(code) {}
  double AsFloat() override;
  // TRUNC and ROUND (which must fit 32 bits) and ABS.
  int AsInteger() override;
  TExprType ExprType() override;
  TMathFunction Code() const { return code_; }

 private:
  void Check();
  double Arg(int i) { return Param(i)->AsFloat(); }
  TMathFunction code_;
  bool checked_ = false;
};

// UPPER LOWER COPY POS LENGTH LTRIM RTRIM TRIM.
enum TStringFunction : unsigned char {
  sfUpper, sfLower, sfCopy, sfPos, sfLength, sfLTrim, sfRTrim, sfTrim
};
const char* StringFunctionName(TStringFunction code);

// Positions and lengths count bytes; UPPER and LOWER map the case of whole
// code-page-936 characters and never touch a trail byte; POS finds sub only
// where it starts on a character boundary (in MaxWidthMode it gives the
// length of s).
class TStringExpression : public TFunction {
 public:
  TStringExpression(TParameterListPtr params, TStringFunction code)
      : TFunction(std::move(params)), code_(code) {}
  AnsiString AsString() override;
  int AsInteger() override;
  TExprType ExprType() override;
  TStringFunction Code() const { return code_; }

 private:
  void Check();
  TStringFunction code_;
  bool checked_ = false;
};

// COPY(s, start, count) with the clipping rules of the language: a start
// below 1 counts as 1; a start beyond the end or a count below 1 gives "".
AnsiString SqlCopy(const AnsiString& s, int start, int count);

// LEFT(s, n) is COPY(s, 1, n); RIGHT(s, n) COPY(s, max(1, len - n + 1), n).
class TLeftExpr : public TFunction {
 public:
  using TFunction::TFunction;
  AnsiString AsString() override;
  TExprType ExprType() override { return ttString; }
};

class TRightExpr : public TFunction {
 public:
  using TFunction::TFunction;
  AnsiString AsString() override;
  TExprType ExprType() override { return ttString; }
};

// ASCII(s): the code 0..255 of the first byte, 0 for "".  Only one string
// argument: "ASCII: Incorrect argument".
class TASCIIExpr : public TFunction {
 public:
  explicit TASCIIExpr(TParameterListPtr params);
  int AsInteger() override;
  TExprType ExprType() override { return ttInteger; }
};

// YEAR MONTH DAY HOUR MIN SEC MSEC of a date-time day number.  A day number
// outside 1 January 0001 .. 31 December 9999 gives 0 for the date parts.
enum TDateTimePart : unsigned char { dpYear, dpMonth, dpDay, dpHour, dpMin, dpSec, dpMSec };

class TDecodeDateTimeExpr : public TFunction {
 public:
  TDecodeDateTimeExpr(TParameterListPtr params, TDateTimePart part)
      : TFunction(std::move(params)), part_(part) {}
  int AsInteger() override;
  TExprType ExprType() override { return ttInteger; }

 private:
  TDateTimePart part_;
};

class TFormatDateTimeExpr : public TFunction {
 public:
  using TFunction::TFunction;
  AnsiString AsString() override;
  TExprType ExprType() override { return ttString; }
};

class TFormatFloatExpr : public TFunction {
 public:
  using TFunction::TFunction;
  AnsiString AsString() override;
  TExprType ExprType() override { return ttString; }
};

// FORMAT(format, arg1 .. arg20); further arguments are ignored; a string
// argument is cut to 255 bytes.
class TFormatExpr : public TFunction {
 public:
  using TFunction::TFunction;
  AnsiString AsString() override;
  TExprType ExprType() override { return ttString; }
};

// DECODE(e, search1, result1, ..., default): the result of the first
// search equal to e (compared in e's type), else the default.  Needs an
// even count of at least 2, else "DECODE: Incorrect number of arguments".
// Its type is the first result's (the default's when there is no pair).
class TDecodeExpr : public TFunction {
 public:
  explicit TDecodeExpr(TParameterListPtr params);
  AnsiString AsString() override;
  double AsFloat() override { return Result()->AsFloat(); }
  int AsInteger() override { return Result()->AsInteger(); }
  bool AsBoolean() override { return Result()->AsBoolean(); }
  TExprType ExprType() override;

 private:
  TExpression* Result();
};

// MINOF(x1, ...) / MAXOF(x1, ...), always a float.  At least one argument,
// else "MINOF, MAXOF: Incorrect number of arguments".
class TMinMaxOfExpr : public TFunction {
 public:
  TMinMaxOfExpr(TParameterListPtr params, bool isMin);
  double AsFloat() override;
  TExprType ExprType() override { return ttFloat; }

 private:
  bool isMin_;
};
