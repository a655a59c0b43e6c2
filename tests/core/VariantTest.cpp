// Variant: types, conversions and their errors, arithmetic with null
// propagation, comparison with null semantics, arrays.
#include "platform/core/Variant.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/core/Exceptions.h"

namespace {

TEST(Variant, TypeOfEachKindOfValue) {
  const struct { Variant v; TVarType type; } cases[] = {
      {Variant(), varEmpty},
      {Null(), varNull},
      {Variant(short{1}), varSmallint},
      {Variant(1), varInteger},
      {Variant(5000000000LL), varInt64},
      {Variant(1.5), varDouble},
      {Variant(Currency{15000}), varCurrency},
      {Variant(TDateTime(1.0)), varDate},
      {Variant(true), varBoolean},
      {Variant("x"), varString},
      {Variant(AnsiString("工资")), varString},
      {VarArrayOf({1, "a"}), varArray | varVariant},
  };
  for (const auto& c : cases) EXPECT_EQ(VarType(c.v), c.type) << VarTypeAsText(c.type);
  EXPECT_TRUE(VarIsNull(Null()));
  EXPECT_TRUE(VarIsEmpty(Unassigned()));
  EXPECT_FALSE(VarIsNull(Variant()));
  EXPECT_TRUE(VarIsArray(VarArrayOf({})));
  EXPECT_EQ(VarTypeAsText(varArray | varVariant), "Array Variant");
}

TEST(Variant, ConvertsToText) {
  const struct { Variant v; const char* text; } cases[] = {
      {Variant(5), "5"},
      {Variant(-1.5), "-1.5"},
      {Variant(0.1), "0.1"},
      {Variant(1e15), "1E15"},
      {Variant(Currency{12345}), "1.2345"},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(EncodeDate(2026, 3, 5)), "2026-03-05"},
      {Variant(EncodeDateTime(2026, 3, 5, 14, 7, 9, 0)), "2026-03-05 14:07:09"},
      {Variant(), ""},
      {Variant("工资"), "工资"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.v.AsString(), c.text);
  EXPECT_EQ(VarToStr(Null()), "");
  EXPECT_THROW(Null().AsString(), EVariantError);
}

TEST(Variant, ConvertsToNumbers) {
  const struct { Variant v; int i; double d; } cases[] = {
      {Variant(2.5), 2, 2.5},     // halves to even
      {Variant(3.5), 4, 3.5},
      {Variant(-2.5), -2, -2.5},
      {Variant("12"), 12, 12},
      {Variant(" 12 "), 12, 12},
      {Variant("2.5"), 2, 2.5},
      {Variant(true), -1, -1},
      {Variant(false), 0, 0},
      {Variant(Currency{25000}), 2, 2.5},
      {Variant(Currency{35000}), 4, 3.5},
      {Variant(Currency{-25001}), -3, -2.5001},
      {Variant(), 0, 0},
      {Variant(short{-3}), -3, -3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.v.AsInteger(), c.i) << c.v.AsString();
    EXPECT_EQ(c.v.AsDouble(), c.d) << c.v.AsString();
  }
  EXPECT_EQ(Variant(1.23455).AsCurrency().Val, 12346);
  EXPECT_EQ(Variant(-1.23455).AsCurrency().Val, -12346);
  EXPECT_EQ(Variant(7).AsCurrency().Val, 70000);
  TFormatSettings comma;
  comma.DecimalSeparator = ',';
  EXPECT_EQ(Variant("1,5").AsDouble(comma), 1.5);
}

TEST(Variant, ImpossibleConversionsNameBothTypes) {
  const struct { Variant v; int target; const char* text; } cases[] = {
      {Null(), 0, "Could not convert variant of type (Null) into type (Double)"},
      {Variant("abc"), 0, "Could not convert variant of type (String) into type (Double)"},
      {Variant("abc"), 1, "Could not convert variant of type (String) into type (Integer)"},
      {Null(), 1, "Could not convert variant of type (Null) into type (Integer)"},
      {Variant(3e9), 1, "Could not convert variant of type (Double) into type (Integer)"},
      {VarArrayOf({1}), 1, "Could not convert variant of type (Array Variant) into type (Integer)"},
      {Variant("abc"), 2, "Could not convert variant of type (String) into type (Boolean)"},
      {Variant("abc"), 3, "Could not convert variant of type (String) into type (Date)"},
      {Null(), 4, "Could not convert variant of type (Null) into type (String)"},
  };
  for (const auto& c : cases) {
    try {
      switch (c.target) {
        case 0: c.v.AsDouble(); break;
        case 1: c.v.AsInteger(); break;
        case 2: c.v.AsBoolean(); break;
        case 3: c.v.AsDateTime(); break;
        default: c.v.AsString(); break;
      }
      ADD_FAILURE() << c.text;
    } catch (const EVariantError& e) {
      EXPECT_EQ(e.Message(), c.text);
    }
  }
}

TEST(Variant, ConvertsToBooleansAndDates) {
  EXPECT_TRUE(Variant("True").AsBoolean());
  EXPECT_FALSE(Variant("false").AsBoolean());
  EXPECT_TRUE(Variant("1").AsBoolean());
  EXPECT_FALSE(Variant(0).AsBoolean());
  EXPECT_TRUE(Variant(2).AsBoolean());
  EXPECT_FALSE(Variant().AsBoolean());
  EXPECT_EQ(Variant("2026-03-05").AsDateTime().Val, EncodeDate(2026, 3, 5).Val);
  EXPECT_EQ(Variant(45000).AsDateTime().Val, 45000.0);
}

TEST(VarAsType, ChangesTheTypeOrRaises) {
  Variant s = VarAsType(5, varString);
  EXPECT_EQ(VarType(s), varString);
  EXPECT_EQ(s.AsString(), "5");
  Variant i = VarAsType("5", varInteger);
  EXPECT_EQ(VarType(i), varInteger);
  EXPECT_EQ(i.AsInteger(), 5);
  EXPECT_EQ(VarType(VarAsType(5, varSmallint)), varSmallint);
  EXPECT_EQ(VarType(VarAsType(5, varInt64)), varInt64);
  EXPECT_EQ(VarType(VarAsType(1.5, varCurrency)), varCurrency);
  EXPECT_THROW(VarAsType(70000, varSmallint), EVariantError);
  EXPECT_THROW(VarAsType(Null(), varInteger), EVariantError);
  EXPECT_TRUE(VarIsNull(VarAsType(Null(), varNull)));
}

struct ArithCase {
  Variant result;
  TVarType type;
  const char* text;
};

TEST(Variant, Arithmetic) {
  const Variant date = EncodeDate(2026, 3, 5);
  const ArithCase cases[] = {
      {Variant(2) + Variant(3), varInteger, "5"},
      {Variant(2) + Variant(3.5), varDouble, "5.5"},
      {Variant("a") + Variant("b"), varString, "ab"},
      {Variant("工") + Variant("资"), varString, "工资"},
      {Variant("1") + Variant(2), varInteger, "3"},
      {Variant("1.5") + Variant(2), varDouble, "3.5"},
      {Variant("2") * Variant("3"), varDouble, "6"},
      {Variant() + Variant(5), varInteger, "5"},
      {Variant() + Variant("a"), varString, "a"},
      {Variant(10) / Variant(4), varDouble, "2.5"},
      {Variant(10) / Variant(5), varDouble, "2"},
      {Variant(7) % Variant(3), varInteger, "1"},
      {Variant(-7) % Variant(2), varInteger, "-1"},
      {VarIntDiv(7, 2), varInteger, "3"},
      {VarIntDiv(-7, 2), varInteger, "-3"},
      {VarIntDiv(7.5, 2), varInteger, "4"},  // 7.5 rounds to 8 first
      {Variant(INT_MAX) + Variant(1), varInt64, "2147483648"},
      {Variant(LLONG_MAX) + Variant(1), varDouble, "9.22337203685478E18"},
      {Variant(Currency{15000}) + Variant(Currency{22500}), varCurrency, "3.75"},
      {Variant(Currency{15000}) * Variant(3), varCurrency, "4.5"},
      {Variant(Currency{15000}) * Variant(Currency{15000}), varCurrency, "2.25"},
      {Variant(Currency{10000}) / Variant(4), varDouble, "0.25"},
      {Variant(Currency{15000}) + Variant(0.25), varDouble, "1.75"},
      {date + Variant(1), varDate, "2026-03-06"},
      {date - Variant(1.5), varDate, "2026-03-03 12:00:00"},
      {date - Variant(EncodeDate(2026, 3, 1)), varDouble, "4"},
      {-Variant(5), varInteger, "-5"},
      {-Variant(2.5), varDouble, "-2.5"},
      {Variant(true) + Variant(true), varInteger, "-2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VarType(c.result), c.type) << c.text;
    EXPECT_EQ(c.result.AsString(), c.text);
  }
}

TEST(Variant, NullPropagatesThroughArithmetic) {
  const Variant results[] = {
      Variant(1) + Null(), Null() + Variant("a"), Null() * Variant(2), Variant(2) - Null(),
      Null() / Variant(0), VarIntDiv(Null(), 0), Null() % Variant(0), -Null(),
  };
  for (const Variant& r : results) EXPECT_TRUE(VarIsNull(r));
}

TEST(Variant, DivisionByZeroAndImpossibleOperandsRaise) {
  EXPECT_THROW(Variant(5) / Variant(0), EZeroDivide);
  EXPECT_THROW(Variant(5.0) / Variant(0.0), EZeroDivide);
  EXPECT_THROW(VarIntDiv(5, 0), EDivByZero);
  EXPECT_THROW(Variant(5) % Variant(0), EDivByZero);
  EXPECT_THROW(Variant("abc") * Variant(2), EVariantError);
  EXPECT_THROW(Variant("abc") - Variant("d"), EVariantError);
  EXPECT_THROW(VarArrayOf({1}) + Variant(1), EVariantError);
}

TEST(Variant, Comparison) {
  EXPECT_TRUE(Variant(1) == Variant(1.0));
  EXPECT_TRUE(Variant("10") == Variant(10));
  EXPECT_TRUE(Variant("10") > Variant(9));  // as numbers
  EXPECT_TRUE(Variant("10") < Variant("9"));  // as text
  EXPECT_TRUE(Variant("abc") < Variant("abd"));
  EXPECT_TRUE(Variant("a") < Variant("B"));  // the ANSI order, not byte order
  EXPECT_TRUE(Variant(false) < Variant(true));
  EXPECT_TRUE(Variant(Currency{10000}) == Variant(1));
  EXPECT_TRUE(Variant(EncodeDate(2026, 3, 5)) > Variant(EncodeDate(2026, 3, 4)));
  EXPECT_TRUE(Variant(EncodeDate(2026, 3, 5)) == Variant(46086));
  EXPECT_TRUE(Variant() == Variant(0));
  EXPECT_TRUE(Variant() == Variant(""));
  EXPECT_TRUE(Variant(INT_MAX) < Variant(5000000000LL));
  EXPECT_THROW((void)(Variant("abc") == Variant(5)), EVariantError);
}

TEST(Variant, NullIsBelowEveryValueAndEqualToNull) {
  EXPECT_TRUE(Null() == Null());
  EXPECT_FALSE(Null() == Variant(0));
  EXPECT_TRUE(Null() != Variant(""));
  EXPECT_TRUE(Null() < Variant(-1e300));
  EXPECT_TRUE(Null() < Variant(""));
  EXPECT_FALSE(Variant(0) < Null());
  EXPECT_TRUE(Variant(0) > Null());
  EXPECT_FALSE(Null() < Null());
  EXPECT_TRUE(Null() <= Null());
  EXPECT_EQ(VarCompareValue(Null(), 1), vrNotEqual);
  EXPECT_EQ(VarCompareValue(Null(), Null()), vrEqual);
  EXPECT_EQ(VarCompareValue(1, 2), vrLessThan);
  EXPECT_EQ(VarCompareValue("b", "a"), vrGreaterThan);
}

TEST(VarArray, ElementsBoundsAndCopies) {
  Variant a = VarArrayOf({1, "x", Null()});
  EXPECT_EQ(VarArrayLowBound(a), 0);
  EXPECT_EQ(VarArrayHighBound(a), 2);
  EXPECT_EQ(a[1].AsString(), "x");
  EXPECT_TRUE(VarIsNull(a[2]));
  EXPECT_THROW((void)a[3], EVariantError);
  EXPECT_THROW((void)a[-1], EVariantError);

  Variant b = a;
  b[0] = 9;
  EXPECT_EQ(a[0].AsInteger(), 1);  // copies do not share elements
  EXPECT_EQ(b[0].AsInteger(), 9);

  Variant c = VarArrayCreate(1, 3);
  EXPECT_EQ(VarArrayLowBound(c), 1);
  EXPECT_EQ(VarArrayHighBound(c), 3);
  EXPECT_TRUE(VarIsEmpty(c[1]));
  EXPECT_EQ(VarArrayHighBound(VarArrayOf({})), -1);
  EXPECT_THROW(VarArrayHighBound(Variant(1)), EVariantError);
}

}  // namespace

namespace {

TEST(Variant, UnsignedAndCharacterSources) {
  EXPECT_EQ(VarType(Variant(static_cast<unsigned short>(65535))), varInteger);
  EXPECT_EQ(VarType(Variant(4000000000u)), varInt64);
  EXPECT_EQ(Variant(4000000000u).AsString(), "4000000000");
  EXPECT_EQ(VarType(Variant(18446744073709551615ull)), varDouble);
  EXPECT_EQ(VarType(Variant('A')), varString);
  EXPECT_EQ(Variant('A').AsString(), "A");
}

}  // namespace
