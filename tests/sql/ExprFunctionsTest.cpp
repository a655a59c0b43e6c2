// Built-in functions: results, argument checks and their messages.
#include "sql/ExprFunctions.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EExpression& e) {
    return e.Message();
  } catch (const EListError& e) {
    return "list: " + e.Message();
  }
  return "(no error)";
}

template <class... T>
TMathExpression Math(TMathFunction code, T&&... args) {
  return TMathExpression(MakeParams(std::forward<T>(args)...), code);
}
template <class... T>
TStringExpression Str(TStringFunction code, T&&... args) {
  return TStringExpression(MakeParams(std::forward<T>(args)...), code);
}

// --- numeric -------------------------------------------------------------------

TEST(TMathExpression, Values) {
  struct Case {
    TMathFunction code;
    double x;
    double expected;
  } cases[] = {
      {mfTrunc, -2.7, -2},  {mfRound, 2.5, 2},     {mfRound, 3.5, 4},   {mfRound, -3.5, -4},
      {mfRound, -2.5, -2},  {mfAbs, -3, 3},        {mfSqr, 3, 9},       {mfFrac, -2.25, -0.25},
      {mfInt, -2.75, -2},   {mfSqrt, 2.25, 1.5},   {mfLn, 1, 0},        {mfExp, 0, 1},
      {mfArcTan, 0, 0},     {mfCos, 0, 1},         {mfSin, 0, 0},
  };
  for (const auto& c : cases) {
    auto e = Math(c.code, MakeFloat(c.x));
    EXPECT_DOUBLE_EQ(e.AsFloat(), c.expected) << MathFunctionName(c.code) << "(" << c.x << ")";
  }
  EXPECT_EQ(Math(mfTrunc, MakeFloat(1.9)).ExprType(), ttInteger);
  EXPECT_EQ(Math(mfRound, MakeFloat(2.5)).AsInteger(), 2);
  auto abs = Math(mfAbs, MakeInt(-3));
  EXPECT_EQ(abs.ExprType(), ttFloat);
  EXPECT_EQ(abs.AsString(), "3");
  EXPECT_EQ(abs.AsInteger(), 3);
  EXPECT_EQ(Math(mfAbs, MakeInt(INT_MIN)).AsInteger(), INT_MIN);  // wraps, as integers do
  EXPECT_EQ(Math(mfPower, MakeInt(2), MakeInt(10)).AsFloat(), 1024.0);
  EXPECT_EQ(Math(mfPower, MakeInt(2), MakeInt(3)).AsFloat(), 8.0);
  EXPECT_EQ(TMathExpression(nullptr, mfPi).AsFloat(), 3.141592653589793);
  EXPECT_EQ(TMathExpression(nullptr, mfPi).AsString(), "3.14159265358979");
}

TEST(TMathExpression, ArgumentChecksAndDomainErrors) {
  struct Case {
    std::function<void()> run;
    const char* message;
  } cases[] = {
      {[] { Math(mfRound, MakeFloat(1), MakeInt(2)).AsInteger(); }, "Invalid parameter to ROUND"},
      {[] { Math(mfSqrt, MakeStr("4")).AsFloat(); }, "Invalid parameter to SQRT"},
      {[] { TMathExpression(nullptr, mfCos).AsFloat(); }, "Invalid parameter to COS"},
      {[] { Math(mfPower, MakeInt(2)).AsFloat(); }, "Invalid parameter to POWER"},
      {[] { Math(mfPower, MakeInt(2), MakeStr("3")).AsFloat(); }, "Invalid parameter to POWER"},
      {[] { Math(mfLn, MakeFloat(-1)).AsFloat(); }, "Invalid floating point operation"},
      {[] { Math(mfLn, MakeFloat(0)).AsFloat(); }, "Invalid floating point operation"},
      {[] { Math(mfSqrt, MakeFloat(-1)).AsFloat(); }, "Invalid floating point operation"},
      {[] { Math(mfExp, MakeFloat(1000)).AsFloat(); }, "Floating point overflow"},
      {[] { Math(mfRound, MakeFloat(3e9)).AsInteger(); }, "Integer overflow"},
      {[] { Math(mfTrunc, MakeFloat(-3e9)).AsFloat(); }, "Integer overflow"},
      {[] { Math(mfSin, MakeFloat(1)).AsInteger(); }, "Cannot read Float as Integer"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.run), c.message);
  // PI takes any argument list.
  EXPECT_EQ(Math(mfPi, MakeStr("x")).AsFloat(), 3.141592653589793);
  // A failed check is raised again on the next evaluation.
  auto bad = Math(mfAbs, MakeStr("x"));
  EXPECT_EQ(ErrorOf([&] { bad.AsFloat(); }), "Invalid parameter to ABS");
  EXPECT_EQ(ErrorOf([&] { bad.AsFloat(); }), "Invalid parameter to ABS");
}

// --- strings -------------------------------------------------------------------

TEST(TStringExpression, Values) {
  EXPECT_EQ(Str(sfCopy, MakeStr("abcdef"), MakeInt(2), MakeInt(3)).AsString(), "bcd");
  EXPECT_EQ(Str(sfCopy, MakeStr("abc"), MakeInt(0), MakeInt(2)).AsString(), "ab");
  EXPECT_EQ(Str(sfCopy, MakeStr("abc"), MakeInt(5), MakeInt(1)).AsString(), "");
  EXPECT_EQ(Str(sfCopy, MakeStr("abc"), MakeInt(2), MakeInt(0)).AsString(), "");
  EXPECT_EQ(Str(sfCopy, MakeStr("abc"), MakeInt(2), MakeInt(INT_MAX)).AsString(), "bc");
  EXPECT_EQ(Str(sfCopy, MakeStr("abc"), MakeBool(true), MakeBool(true)).AsString(), "a");
  EXPECT_EQ(Str(sfPos, MakeStr("c"), MakeStr("abcabc")).AsInteger(), 3);
  EXPECT_EQ(Str(sfPos, MakeStr("x"), MakeStr("abc")).AsInteger(), 0);
  EXPECT_EQ(Str(sfPos, MakeStr("c"), MakeStr("abc")).ExprType(), ttInteger);
  EXPECT_EQ(Str(sfLength, MakeStr("\xB9\xA4x")).AsInteger(), 3);
  EXPECT_EQ(Str(sfLTrim, MakeStr(" \t a ")).AsString(), "a ");
  EXPECT_EQ(Str(sfRTrim, MakeStr(" a \r\n")).AsString(), " a");
  EXPECT_EQ(Str(sfTrim, MakeStr("  a b  ")).AsString(), "a b");
  EXPECT_EQ(Str(sfUpper, MakeInt(1)).AsString(), "1");
  EXPECT_EQ(Str(sfUpper, MakeStr("abc")).AsString(), "ABC");
  EXPECT_EQ(Str(sfLower, MakeStr("AbC")).AsString(), "abc");
  auto pos = Str(sfPos, MakeStr("c"), MakeStr("abcd"));
  pos.SetMaxWidthMode(true);
  EXPECT_EQ(pos.AsInteger(), 4);
}

TEST(TStringExpression, CaseMappingAndSearchNeverSplitADoubleByteCharacter) {
  // 0x81 0x61 and 0x81 0x7C are characters whose trail bytes look like "a"
  // and "|".
  EXPECT_EQ(Str(sfUpper, MakeStr("\x81\x61" "a")).AsString(), "\x81\x61" "A");
  EXPECT_EQ(Str(sfLower, MakeStr("\x81\x41" "A")).AsString(), "\x81\x41" "a");
  // Full-width letters change case as whole characters.
  EXPECT_EQ(Str(sfUpper, MakeStr("\xA3\xE1")).AsString(), "\xA3\xC1");
  EXPECT_EQ(Str(sfPos, MakeStr("a"), MakeStr("\x81\x61" "a")).AsInteger(), 3);
  EXPECT_EQ(Str(sfPos, MakeStr("|"), MakeStr("\x81\x7C")).AsInteger(), 0);
}

TEST(TStringExpression, ArgumentChecksNameTheFunctionByCode) {
  struct Case {
    std::function<void()> run;
    const char* message;
  } cases[] = {
      {[] { Str(sfCopy, MakeStr("abc"), MakeFloat(1), MakeInt(1)).AsString(); },
       "Invalid parameter to COPY"},
      {[] { Str(sfCopy, MakeStr("abc"), MakeInt(1)).AsString(); }, "Invalid parameter to COPY"},
      {[] { Str(sfPos, MakeStr("abc")).AsInteger(); }, "Invalid parameter to POS"},
      {[] { Str(sfUpper, MakeStr("a"), MakeStr("b")).AsString(); }, "Invalid parameter to UPPER"},
      {[] { TStringExpression(nullptr, sfTrim).AsString(); }, "Invalid parameter to TRIM"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.run), c.message);
}

TEST(TLeftRightExpr, ClipToTheText) {
  EXPECT_EQ(TLeftExpr(MakeParams(MakeStr("abc"), MakeInt(5))).AsString(), "abc");
  EXPECT_EQ(TLeftExpr(MakeParams(MakeStr("abc"), MakeInt(-1))).AsString(), "");
  EXPECT_EQ(TRightExpr(MakeParams(MakeStr("abc"), MakeInt(2))).AsString(), "bc");
  EXPECT_EQ(TRightExpr(MakeParams(MakeStr("abc"), MakeInt(5))).AsString(), "abc");
  EXPECT_EQ(TRightExpr(MakeParams(MakeStr("abc"), MakeInt(INT_MIN))).AsString(), "");
  EXPECT_EQ(ErrorOf([] { TLeftExpr(MakeParams(MakeStr("abc"))).AsString(); }),
            "list: List index out of bounds (1)");
}

TEST(TASCIIExpr, FirstByteAndCreationCheck) {
  EXPECT_EQ(TASCIIExpr(MakeParams(MakeStr("A"))).AsInteger(), 65);
  EXPECT_EQ(TASCIIExpr(MakeParams(MakeStr(""))).AsInteger(), 0);
  EXPECT_EQ(TASCIIExpr(MakeParams(MakeStr("\xB9\xA4"))).AsInteger(), 0xB9);
  EXPECT_EQ(ErrorOf([] { TASCIIExpr(MakeParams(MakeInt(65))); }), "ASCII: Incorrect argument");
  EXPECT_EQ(ErrorOf([] { TASCIIExpr(nullptr); }), "ASCII: Incorrect argument");
}

// --- dates and formatting ------------------------------------------------------

TEST(TDecodeDateTimeExpr, Parts) {
  struct Case {
    double d;
    TDateTimePart part;
    int expected;
  } cases[] = {
      {0.0, dpYear, 1899},   {0.0, dpMonth, 12},      {0.0, dpDay, 30},
      {0.75, dpHour, 18},    {45658.5, dpYear, 2025}, {45658.5, dpMonth, 1},
      {45658.5, dpDay, 1},   {45658.5, dpHour, 12},   {0.5 + 1.5 / 1440, dpMin, 1},
      {0.5 + 1.5 / 1440, dpSec, 30}, {0.25 + 0.123 / 86400, dpMSec, 123},
      {-1.25, dpDay, 29},    {1e12, dpYear, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TDecodeDateTimeExpr(MakeParams(MakeFloat(c.d)), c.part).AsInteger(), c.expected)
        << c.d << " part " << int(c.part);
}

TEST(TFormatExprs, UseThePlatformPictures) {
  EXPECT_EQ(TFormatDateTimeExpr(MakeParams(MakeStr("yyyy-mm-dd hh:nn"), MakeFloat(45658.75)))
                .AsString(),
            "2025-01-01 18:00");
  EXPECT_EQ(TFormatFloatExpr(MakeParams(MakeStr("#,##0.00"), MakeFloat(1234.5))).AsString(),
            "1,234.50");
  EXPECT_EQ(TFormatExpr(MakeParams(MakeStr("%s-%d-%.1f"), MakeStr("a"), MakeInt(7), MakeFloat(2.25)))
                .AsString(),
            "a-7-2.3");
  // A string argument is cut to 255 bytes.
  auto long300 = AnsiString(std::string(300, 'x'));
  EXPECT_EQ(TFormatExpr(MakeParams(MakeStr("%s"), MakeStr(long300))).AsString().size(), 255u);
}

// --- DECODE, MINOF, MAXOF ------------------------------------------------------

TEST(TDecodeExpr, FirstEqualSearchOrDefault) {
  auto decode = [](TExpressionPtr v) {
    return TDecodeExpr(MakeParams(std::move(v), MakeInt(1), MakeStr("one"), MakeInt(2),
                                  MakeStr("two"), MakeStr("other")));
  };
  EXPECT_EQ(decode(MakeInt(2)).AsString(), "two");
  EXPECT_EQ(decode(MakeInt(3)).AsString(), "other");
  EXPECT_EQ(decode(MakeInt(3)).ExprType(), ttString);
  EXPECT_EQ(TDecodeExpr(MakeParams(MakeStr("b"), MakeStr("a"), MakeInt(1), MakeInt(0))).AsInteger(), 0);
  EXPECT_EQ(TDecodeExpr(MakeParams(MakeInt(1), MakeInt(9))).AsInteger(), 9);
  auto wide = decode(MakeInt(1));
  wide.SetMaxWidthMode(true);
  EXPECT_EQ(wide.AsString(), "one");  // first of the equally long results
  EXPECT_EQ(ErrorOf([] { TDecodeExpr(MakeParams(MakeInt(1), MakeInt(1), MakeStr("one"))); }),
            "DECODE: Incorrect number of arguments");
  EXPECT_EQ(ErrorOf([] { TDecodeExpr(nullptr); }), "DECODE: Incorrect number of arguments");
}

TEST(TMinMaxOfExpr, FoldsAsFloats) {
  EXPECT_EQ(TMinMaxOfExpr(MakeParams(MakeInt(3), MakeInt(1), MakeInt(2)), true).AsFloat(), 1.0);
  EXPECT_EQ(TMinMaxOfExpr(MakeParams(MakeInt(5)), false).AsFloat(), 5.0);
  EXPECT_EQ(TMinMaxOfExpr(MakeParams(MakeInt(5), MakeFloat(5.5)), false).ExprType(), ttFloat);
  EXPECT_EQ(ErrorOf([] { TMinMaxOfExpr(nullptr, true); }),
            "MINOF, MAXOF: Incorrect number of arguments");
}

}  // namespace
