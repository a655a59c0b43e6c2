// Name, text and type translations between SQL and the expression language.
#include "sql/ExprNames.h"

#include <gtest/gtest.h>

#include "platform/data/DBTypes.h"

namespace {

TEST(ExprNames, NamesThatNeedBrackets) {
  const struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"PAY", "PAY"},          {"F01", "F01"},         {"Order Date", "[Order Date]"},
      {"between", "[between]"}, {"End", "[End]"},      {"1st", "[1st]"},
      {"A_B", "[A_B]"},        {"[x y]", "[x y]"},     {"工资", "[工资]"},
  };
  for (const auto& c : cases) EXPECT_EQ(NameForExpression(c.name), c.expected) << c.name;
}

TEST(ExprNames, BracketsQuotesAndReplacing) {
  EXPECT_EQ(StripBrackets("[a b]"), "a b");
  EXPECT_EQ(StripBrackets("[]"), "");
  EXPECT_EQ(StripBrackets("["), "[");
  EXPECT_EQ(StripBrackets("a]"), "a]");
  EXPECT_EQ(StripQuotes("'x'"), "x");
  EXPECT_EQ(StripQuotes("\"x'"), "x");
  EXPECT_EQ(StripQuotes("'"), "'");
  EXPECT_EQ(ReplaceAll("a.b.c", ".", "->"), "a->b->c");
  EXPECT_EQ(ReplaceAll("Ab ab", "ab", "x"), "Ab x");
  EXPECT_EQ(ReplaceAll("ab", "ab", "AB"), "ab");  // equal without regard to case
  EXPECT_EQ(ReplaceAll("aaa", "aa", "a"), "aa");
}

TEST(ExprNames, FieldTypes) {
  EXPECT_EQ(FieldTypeToExprType(ftWord), ttInteger);
  EXPECT_EQ(FieldTypeToExprType(ftDate), ttFloat);
  EXPECT_EQ(FieldTypeToExprType(ftBoolean), ttBoolean);
  EXPECT_EQ(FieldTypeToExprType(ftMemo), ttString);
  EXPECT_EQ(FieldTypeToExprType(ftBlob), ttString);
}

}  // namespace
