// Expression nodes: operators, typing, casts, IF, CASE, IN, BETWEEN, LIKE.
#include "sql/Expression.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

namespace {

TExpressionPtr Bin(TOperator op, TExpressionPtr l, TExpressionPtr r) {
  return std::make_unique<TBinaryOp>(op, std::move(l), std::move(r));
}
TExpressionPtr Rel(TOperator op, TExpressionPtr l, TExpressionPtr r) {
  return std::make_unique<TRelationalOp>(op, std::move(l), std::move(r));
}
TExpressionPtr Un(TOperator op, TExpressionPtr e) {
  return std::make_unique<TUnaryOp>(op, std::move(e));
}

// A leaf that counts its reads and may be NULL: shows short-circuiting and
// NULL handling.
class TProbe : public TExpression {
 public:
  TProbe(int value, bool isNull, int* reads) : value_(value), null_(isNull), reads_(reads) {}
  int AsInteger() override { ++*reads_; return value_; }
  bool AsBoolean() override { ++*reads_; return value_ != 0; }
  TExprType ExprType() override { return type_; }
  bool IsNull() override { return null_; }
  TExprType type_ = ttInteger;

 private:
  int value_;
  bool null_;
  int* reads_;
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EExpression& e) {
    return e.Message();
  }
  return "(no error)";
}

// --- integer and float arithmetic ---------------------------------------------

struct IntCase {
  TOperator op;
  int l, r, expected;
};

TEST(TBinaryOp, IntegerOperatorsWrapAndTruncate) {
  const IntCase cases[] = {
      {opDiv, 7, 2, 3},          {opDiv, -7, 2, -3},         {opMod, -7, 2, -1},
      {opMod, 7, -2, 1},         {opPlus, INT_MAX, 1, INT_MIN}, {opMinus, INT_MIN, 1, INT_MAX},
      {opMult, 65536, 65536, 0}, {opDiv, INT_MIN, -1, INT_MIN}, {opMod, INT_MIN, -1, 0},
      {opAnd, 12, 10, 8},        {opOr, 12, 10, 14},          {opXor, 12, 10, 6},
      {opShl, 1, 33, 2},         {opShr, -1, 28, 15},         {opShl, 1, 31, INT_MIN},
  };
  for (const auto& c : cases) {
    auto e = Bin(c.op, MakeInt(c.l), MakeInt(c.r));
    EXPECT_EQ(e->ExprType(), ttInteger);
    EXPECT_EQ(e->AsInteger(), c.expected) << OperatorName(c.op) << " " << c.l << " " << c.r;
  }
}

TEST(TBinaryOp, DivisionAndPowerAreFloats) {
  auto half = Bin(opDivide, MakeInt(7), MakeInt(2));
  EXPECT_EQ(half->ExprType(), ttFloat);
  EXPECT_DOUBLE_EQ(half->AsFloat(), 3.5);
  EXPECT_EQ(half->AsString(), "3.5");
  // Exact: 8, not 7.999999999999998.
  auto cube = Bin(opExp, MakeInt(2), MakeInt(3));
  EXPECT_EQ(cube->ExprType(), ttFloat);
  EXPECT_EQ(cube->AsFloat(), 8.0);
  EXPECT_EQ(cube->AsString(), "8");
  EXPECT_EQ(Bin(opExp, MakeFloat(-2), MakeInt(3))->AsFloat(), -8.0);
  EXPECT_DOUBLE_EQ(Bin(opMinus, MakeFloat(1.5), MakeInt(2))->AsFloat(), -0.5);
}

TEST(TBinaryOp, ArithmeticFaultsRaiseExpressionErrors) {
  struct Case {
    TOperator op;
    double l, r;
    bool integers;
    const char* message;
  } cases[] = {
      {opDiv, 1, 0, true, "Division by zero"},
      {opMod, 1, 0, true, "Division by zero"},
      {opDivide, 1, 0, true, "Floating point division by zero"},
      {opDivide, 0, 0, false, "Floating point division by zero"},
      {opExp, -8, 1.0 / 3, false, "Invalid floating point operation"},
      {opExp, 0, -1, false, "Floating point division by zero"},
      {opMult, 1e300, 1e300, false, "Floating point overflow"},
  };
  for (const auto& c : cases) {
    auto e = c.integers ? Bin(c.op, MakeInt(int(c.l)), MakeInt(int(c.r)))
                        : Bin(c.op, MakeFloat(c.l), MakeFloat(c.r));
    EXPECT_EQ(ErrorOf([&] {
                e->ExprType() == ttInteger ? (void)e->AsInteger() : (void)e->AsFloat();
              }),
              c.message)
        << OperatorName(c.op);
  }
}

TEST(TBinaryOp, StringsConcatenateAndDominate) {
  EXPECT_EQ(Bin(opPlus, MakeStr("a"), MakeStr("b"))->AsString(), "ab");
  auto mixed = Bin(opPlus, MakeStr("a"), MakeInt(1));
  EXPECT_EQ(mixed->ExprType(), ttString);
  EXPECT_EQ(mixed->AsString(), "a1");
  EXPECT_EQ(Bin(opPlus, MakeFloat(0.5), MakeStr("x"))->AsString(), "0.5x");
}

TEST(TBinaryOp, TypingErrorsSurfaceWhenBuilt) {
  struct Case {
    std::function<TExpressionPtr()> build;
    const char* message;
  } cases[] = {
      {[] { return Bin(opMinus, MakeStr("a"), MakeInt(1)); },
       "Operator opMinus incompatible with String"},
      {[] { return Bin(opDiv, MakeFloat(1), MakeInt(1)); },
       "Operator opDiv incompatible with Float"},
      {[] { return Bin(opPlus, MakeBool(true), MakeBool(true)); },
       "Operator opPlus incompatible with Boolean"},
      {[] { return Un(opMinus, MakeBool(true)); }, "Operator opMinus incompatible with Boolean"},
      {[] { return Un(opNot, MakeFloat(1)); }, "Operator opNot incompatible with Float"},
      {[] { return Bin(opEq, MakeInt(1), MakeInt(1)); }, "opEq is not a simple binary operator"},
      {[] { return Un(opMult, MakeInt(1)); }, "opMult is not simple unary operator"},
      {[] { return Rel(opPlus, MakeInt(1), MakeInt(1)); }, "opPlus is not relational operator"},
      {[] { return Rel(opLT, MakeBool(true), MakeBool(false)); },
       "cannot apply opLT to boolean operands"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { c.build(); }), c.message);
}

TEST(TBinaryOp, AndOrSkipTheRightOperand) {
  auto crash = [] { return Rel(opEq, Bin(opDivide, MakeInt(1), MakeInt(0)), MakeInt(1)); };
  EXPECT_FALSE(Bin(opAnd, MakeBool(false), crash())->AsBoolean());
  EXPECT_TRUE(Bin(opOr, MakeBool(true), crash())->AsBoolean());
  EXPECT_EQ(ErrorOf([&] { Bin(opXor, MakeBool(true), crash())->AsBoolean(); }),
            "Floating point division by zero");
  EXPECT_TRUE(Bin(opXor, MakeBool(true), MakeBool(false))->AsBoolean());
}

TEST(TUnaryOp, NotAndNegation) {
  EXPECT_EQ(Un(opNot, MakeInt(5))->AsInteger(), -6);
  EXPECT_FALSE(Un(opNot, MakeBool(true))->AsBoolean());
  EXPECT_EQ(Un(opNot, MakeBool(false))->AsInteger(), 1);
  EXPECT_EQ(Un(opMinus, MakeInt(INT_MIN))->AsInteger(), INT_MIN);
  EXPECT_DOUBLE_EQ(Un(opMinus, MakeFloat(2.5))->AsFloat(), -2.5);
  EXPECT_EQ(Un(opPlus, MakeStr("s"))->ExprType(), ttString);
  EXPECT_EQ(Un(opPlus, MakeStr("s"))->AsString(), "s");
}

// --- reading nodes through the base widenings ---------------------------------

TEST(TExpression, BaseReadersWidenOrRefuse) {
  EXPECT_EQ(MakeBool(true)->AsString(), "TRUE");
  EXPECT_DOUBLE_EQ(MakeBool(true)->AsFloat(), 1.0);
  EXPECT_EQ(MakeInt(-12)->AsString(), "-12");
  EXPECT_EQ(MakeFloat(0.1)->AsString(), "0.1");
  EXPECT_EQ(ErrorOf([] { MakeStr("1")->AsFloat(); }), "Cannot read String as Float");
  EXPECT_EQ(ErrorOf([] { MakeFloat(1)->AsInteger(); }), "Cannot read Float as Integer");
  EXPECT_EQ(ErrorOf([] { MakeInt(1)->AsBoolean(); }), "Cannot read Integer as boolean");
  EXPECT_TRUE(MakeInt(1)->CanReadAs(ttFloat));
  EXPECT_FALSE(MakeFloat(1)->CanReadAs(ttInteger));
}

// --- comparisons ---------------------------------------------------------------

TEST(TRelationalOp, ComparesInTheOperandType) {
  struct Case {
    std::function<TExpressionPtr()> build;
    bool expected;
  } cases[] = {
      {[] { return Rel(opEq, MakeInt(1), MakeFloat(1.0)); }, true},
      {[] { return Rel(opLT, MakeStr("10"), MakeStr("9")); }, true},
      {[] { return Rel(opLT, MakeStr("ab"), MakeStr("abc")); }, true},
      {[] { return Rel(opGT, MakeStr("\xB0\xA1"), MakeStr("z")); }, true},  // bytes, unsigned
      {[] { return Rel(opLT, MakeStr("10"), MakeInt(9)); }, true},  // text against text
      {[] { return Rel(opGTE, MakeInt(-1), MakeInt(-1)); }, true},
      {[] { return Rel(opNEQ, MakeBool(true), MakeBool(false)); }, true},
      {[] { return Rel(opLTE, MakeFloat(2.5), MakeInt(2)); }, false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.build()->AsBoolean(), c.expected);
  auto e = Rel(opEq, MakeInt(1), MakeInt(1));
  EXPECT_EQ(e->AsString(), "TRUE");
  EXPECT_EQ(e->AsInteger(), 1);
}

TEST(TRelationalOp, NullOperandMakesEveryComparisonFalse) {
  int reads = 0;
  for (TOperator op : {opEq, opNEQ, opLT, opGT, opLTE, opGTE}) {
    auto e = Rel(op, std::make_unique<TProbe>(1, true, &reads), MakeInt(1));
    EXPECT_FALSE(e->AsBoolean()) << OperatorName(op);
    auto f = Rel(op, MakeInt(2), std::make_unique<TProbe>(1, true, &reads));
    EXPECT_FALSE(f->AsBoolean()) << OperatorName(op);
  }
  EXPECT_EQ(reads, 0);
}

// --- CAST, IF, CASE ------------------------------------------------------------

TEST(TTypeCast, ConvertsStringsAndTruncatesFloats) {
  EXPECT_EQ(TTypeCast(MakeParams(MakeStr("42")), ttInteger).AsInteger(), 42);
  EXPECT_DOUBLE_EQ(TTypeCast(MakeParams(MakeStr("2.5")), ttFloat).AsFloat(), 2.5);
  EXPECT_EQ(TTypeCast(MakeParams(MakeFloat(-2.9)), ttInteger).AsInteger(), -2);
  EXPECT_EQ(TTypeCast(MakeParams(MakeInt(7)), ttString).AsString(), "7");
  EXPECT_EQ(TTypeCast(MakeParams(MakeInt(7)), ttString).ExprType(), ttString);
  EXPECT_THROW(TTypeCast(MakeParams(MakeStr("x")), ttInteger).AsInteger(), EConvertError);
  EXPECT_EQ(ErrorOf([] { TTypeCast(MakeParams(MakeFloat(3e9)), ttInteger).AsInteger(); }),
            "Integer overflow");
}

TEST(TConditional, ForwardsEveryReaderToThePickedBranch) {
  TConditional yes(MakeParams(MakeBool(true), MakeInt(1), MakeStr("no")));
  EXPECT_EQ(yes.ExprType(), ttInteger);
  EXPECT_EQ(yes.AsInteger(), 1);
  TConditional no(MakeParams(MakeBool(false), MakeInt(1), MakeStr("no")));
  EXPECT_EQ(no.ExprType(), ttString);
  EXPECT_EQ(no.AsString(), "no");
  TConditional widest(MakeParams(MakeBool(true), MakeStr("ab"), MakeStr("xy")));
  widest.SetMaxWidthMode(true);
  EXPECT_EQ(widest.AsString(), "xy");  // equally long: the else branch
  EXPECT_EQ(ErrorOf([] { TConditional(MakeParams(MakeInt(1), MakeInt(1), MakeInt(2))).AsInteger(); }),
            "IF: Invalid parameters");
  EXPECT_EQ(ErrorOf([] { TConditional(MakeParams(MakeBool(true), MakeInt(1))).ExprType(); }),
            "IF: Invalid parameters");
}

TEST(TCaseWhenElseExpr, PicksTheFirstTrueWhen) {
  TCaseWhenElseExpr e(MakeParams(MakeBool(false), MakeBool(true), MakeBool(true)),
                      MakeParams(MakeInt(1), MakeInt(2), MakeInt(3)), MakeInt(9));
  EXPECT_EQ(e.ExprType(), ttInteger);
  EXPECT_EQ(e.AsInteger(), 2);
  TCaseWhenElseExpr none(MakeParams(MakeBool(false)), MakeParams(MakeInt(1)), nullptr);
  EXPECT_EQ(none.AsInteger(), 0);
  EXPECT_EQ(none.AsString(), "");
  TCaseWhenElseExpr els(MakeParams(MakeBool(false)), MakeParams(MakeStr("a")), MakeInt(5));
  EXPECT_EQ(els.AsString(), "5");  // a first THEN string takes any later type
  TCaseWhenElseExpr wide(MakeParams(MakeBool(false), MakeBool(false)),
                         MakeParams(MakeStr("ab"), MakeStr("cd")), MakeStr("efg"));
  wide.SetMaxWidthMode(true);
  EXPECT_EQ(wide.AsString(), "efg");
}

TEST(TCaseWhenElseExpr, RejectsBadlyTypedBranches) {
  EXPECT_EQ(ErrorOf([] {
              TCaseWhenElseExpr(MakeParams(MakeBool(true), MakeBool(true)),
                                MakeParams(MakeInt(1), MakeStr("x")), nullptr)
                  .ExprType();
            }),
            "Expressions in THEN section must be all of same type");
  EXPECT_EQ(ErrorOf([] {
              TCaseWhenElseExpr(MakeParams(MakeInt(1)), MakeParams(MakeInt(1)), nullptr).AsInteger();
            }),
            "Expression in Case must be boolean");
  EXPECT_EQ(ErrorOf([] {
              TCaseWhenElseExpr(MakeParams(MakeBool(true)), MakeParams(MakeInt(1)), MakeFloat(2))
                  .AsInteger();
            }),
            "Expressions in THEN section must be all of same type");
}

// --- IN, BETWEEN ---------------------------------------------------------------

TEST(TSQLInPredicateExpr, ComparesInTheTestedType) {
  EXPECT_TRUE(TSQLInPredicateExpr(MakeParams(MakeInt(2), MakeInt(1), MakeInt(2)), false).AsBoolean());
  EXPECT_FALSE(TSQLInPredicateExpr(MakeParams(MakeStr("a"), MakeStr("A")), false).AsBoolean());
  EXPECT_TRUE(TSQLInPredicateExpr(MakeParams(MakeFloat(2), MakeInt(2)), false).AsBoolean());
  EXPECT_FALSE(TSQLInPredicateExpr(MakeParams(MakeInt(1)), false).AsBoolean());
  EXPECT_TRUE(TSQLInPredicateExpr(MakeParams(MakeInt(1)), true).AsBoolean());
  int reads = 0;
  TSQLInPredicateExpr stops(MakeParams(MakeInt(1), MakeInt(1),
                                       std::make_unique<TProbe>(1, false, &reads)),
                            false);
  EXPECT_TRUE(stops.AsBoolean());
  EXPECT_EQ(reads, 0);
}

TEST(TBetweenExpr, IncludesBothBoundsAndSkipsTheHighOneBelowTheLow) {
  EXPECT_TRUE(TBetweenExpr(MakeParams(MakeInt(1), MakeInt(1), MakeInt(3)), false).AsBoolean());
  EXPECT_TRUE(TBetweenExpr(MakeParams(MakeInt(3), MakeInt(1), MakeInt(3)), false).AsBoolean());
  EXPECT_TRUE(TBetweenExpr(MakeParams(MakeInt(4), MakeInt(1), MakeInt(3)), true).AsBoolean());
  EXPECT_TRUE(TBetweenExpr(MakeParams(MakeStr("b"), MakeStr("a"), MakeStr("c")), false).AsBoolean());
  EXPECT_FALSE(TBetweenExpr(MakeParams(MakeStr("10"), MakeStr("2"), MakeStr("3")), false).AsBoolean());
  int reads = 0;
  TBetweenExpr below(MakeParams(MakeInt(0), MakeInt(1), std::make_unique<TProbe>(5, false, &reads)),
                     false);
  EXPECT_FALSE(below.AsBoolean());
  EXPECT_EQ(reads, 0);
}

// --- LIKE ----------------------------------------------------------------------

struct LikeCase {
  const char* value;
  const char* pattern;
  const char* escape;
  bool expected;
};

TEST(TSQLLikeExpr, StandardWildcardsAndEscape) {
  const LikeCase cases[] = {
      {"abc", "a%", "", true},      {"abc", "%b%", "", true},     {"abc", "abc", "", true},
      {"ABC", "a%", "", false},     {"abc", "b%", "", false},     {"abc", "%c", "", true},
      {"abc", "%b", "", false},     {"abc", "a_c", "", true},     {"abc", "_bc", "", true},
      {"abc", "ab_", "", true},     {"abc", "____", "", false},   {"abc", "___", "", true},
      {"", "%", "", true},          {"", "_", "", false},         {"", "", "", true},
      {"abcbc", "%bc", "", true},   {"abcbd", "a%bd", "", true},  {"aXbXc", "a%b%c", "", true},
      {"abc", "ab", "", false},     {"a%c", "a!%c", "!", true},   {"abc", "a!%c", "!", false},
      {"a_c", "a!_c", "!", true},   {"abc", "a!_c", "!", false},  {"a!c", "a!!c", "!", true},
      {"50%", "%0!%", "!", true},   {"a%", "a%", "", true},       {"abc", "a%%c", "", true},
      // "_" is one double-byte character, never half of one.
      {"\xB9\xA4\xD7\xCA", "_\xD7\xCA", "", true},
      {"\xB9\xA4\xD7\xCA", "__", "", true},
      {"\xB9\xA4\xD7\xCA", "___", "", false},
      {"\xB9\xA4\xD7\xCA", "%\xD7\xCA", "", true},
      // A trail byte 0x5F ("_") or a match starting on a trail byte.
      {"\x81\x5F", "\x81\x5F", "", true},
      {"\x81" "a", "\x81\x5F", "", false},
      {"\x81\x61", "%a", "", false},
  };
  for (const auto& c : cases) {
    TSQLLikeExpr e(MakeParams(MakeStr(c.value), MakeStr(c.pattern), MakeStr(c.escape)), false);
    EXPECT_EQ(e.AsBoolean(), c.expected) << "'" << c.value << "' LIKE '" << c.pattern << "'";
    TSQLLikeExpr n(MakeParams(MakeStr(c.value), MakeStr(c.pattern), MakeStr(c.escape)), true);
    EXPECT_EQ(n.AsBoolean(), !c.expected);
  }
}

TEST(TSQLLikeExpr, PatternIsCompiledOnceIntoPieces) {
  TSQLLikeExpr e(MakeParams(MakeStr("x"), MakeStr("ab%%c_")), false);
  const auto& items = e.LikeList().Items();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].Literal, "ab");
  EXPECT_EQ(items[1].Wildcard, TLikeItem::wcAny);
  EXPECT_EQ(items[2].Literal, "c");
  EXPECT_EQ(items[3].Wildcard, TLikeItem::wcOne);
}

}  // namespace
