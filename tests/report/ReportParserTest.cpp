#include "report/ReportParser.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/core/Exceptions.h"
#include "platform/core/Strings.h"

namespace {

// A parser whose names come from a table and whose unknown calls are logged.
struct ParserFixture : ::testing::Test {
  ParserFixture() {
    parser.OnGetValue = [this](const AnsiString& name, Variant& v) {
      asked.push_back(name);
      auto it = values.find(name);
      if (it != values.end()) v = it->second;
    };
    parser.OnFunction = [this](const AnsiString& name, const Variant& p1, const Variant& p2,
                               const Variant& p3, Variant& v) {
      calls.push_back(name + "|" + p1.AsString() + "|" + p2.AsString() + "|" + p3.AsString());
      v = Variant("fn");
    };
  }
  Variant Calc(const char* e) { return parser.Calc(e); }

  TrbParser parser;
  std::map<AnsiString, Variant> values;
  std::vector<AnsiString> asked;
  std::vector<AnsiString> calls;
};

TEST_F(ParserFixture, PostfixTextOfOperatorsAndOperands) {
  struct Case {
    const char* infix;
    std::string postfix;
  } cases[] = {
      {"a+b*c", "a b c *+"},  // operands keep their spelling
      {"(a+b)*c", "a b +c *"},
      {"2*-3", "2 3 \x09*"},
      {"a>=b", "a b \x01"},
      {"x <> 'a b'", "x 'a b' \x03"},
      {"ROUND(2.5)", "2.5 \x0E"},
      {"SUM([a]) / 2", "SUM([a])2 /"},
      {"a[1]+[b c]", "a[1] [b c] +"},
      {"1 ; ignored", "1 "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(std::string(parser.ToPostfix(c.infix)), c.postfix) << c.infix;
}

TEST_F(ParserFixture, ArithmeticAndLogicValues) {
  struct Case {
    const char* expr;
    double value;
  } cases[] = {
      {"2+3*4", 14},       {"(2+3)*4", 20},     {"-2*3", -6},      {"10/4", 2.5},
      {"7 mod 3", 1},      {"5/0", 0},          {"1 = 1", 1},      {"NOT 0", 1},
      {"2 <> 2", 0},       {"(1>0) or (0>1)", 1}, {"(1>0) and (0>1)", 0},
      {"(1>0) or (1>0)", 2}, {"INT(2.7)", 2},   {"INT(-2.7)", -2}, {"INT(2.99999999999)", 3},
      {"FRAC(2.5)", 0.5},  {"ROUND(2.5)", 2},   {"ROUND(3.5)", 4}, {"", 0},
      {"2*-3", -6},        {"2*-3+1", -5},      {"4 - -1", 5},     {"1 + NOT 0 * 2", 3},
      {"10 - 2 - 3", 5},   {"1 and not 0", 1},  {"3 >= 3", 1},     {"2 <= 1", 0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(Calc(c.expr).AsDouble(), c.value) << c.expr;
}

TEST_F(ParserFixture, ResultTypes) {
  EXPECT_EQ(Calc("1 = 1").VarType(), varInteger);
  EXPECT_EQ(Calc("ROUND(2.4)").VarType(), varInteger);
  EXPECT_EQ(Calc("INT(2.4)").VarType(), varDouble);
  EXPECT_EQ(Calc("").VarType(), varInteger);
  EXPECT_EQ(Calc("TRUE").VarType(), varBoolean);
  EXPECT_FALSE(Calc("false").AsBoolean());
}

TEST_F(ParserFixture, StringsAndBuiltInFunctions) {
  EXPECT_EQ(Calc("'It''s'").AsString(), "It's");
  EXPECT_EQ(Calc("STR(5) + 'x'").AsString(), "5x");
  EXPECT_EQ(Calc("COPY('abcdef', 2, 3)").AsString(), "bcd");
  EXPECT_EQ(Calc("'工资' + '表'").AsString(), "工资表");
  EXPECT_EQ(Calc("STR([missing])").AsString(), "");  // an unanswered name is empty
}

TEST_F(ParserFixture, IfEvaluatesOnlyTheChosenBranch) {
  EXPECT_EQ(Calc("IF(1 > 2, [yes], 'no')").AsString(), "no");
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(Calc("IF(2 > 1, 'yes', [no])").AsString(), "yes");
  EXPECT_TRUE(asked.empty());
}

TEST_F(ParserFixture, IfTakesABooleanConditionDirectly) {
  // Through its text a Boolean condition ("True") would not convert at all.
  values["flag"] = Variant(true);
  EXPECT_EQ(Calc("IF([flag], 'on', 'off')").AsString(), "on");
  values["flag"] = Variant(false);
  EXPECT_EQ(Calc("IF([flag], 'on', 'off')").AsString(), "off");
  values["flag"] = Variant::Null();
  EXPECT_EQ(Calc("IF([flag], 'on', 'off')").AsString(), "off");
  EXPECT_EQ(Calc("IF(0.5, 'on', 'off')").AsString(), "off");  // integer part 0
}

TEST_F(ParserFixture, DecimalCommaAndPointAreOneNumber) {
  EXPECT_DOUBLE_EQ(Calc("1,25 + 1").AsDouble(), 2.25);
  EXPECT_DOUBLE_EQ(Calc("1.25 + 1").AsDouble(), 2.25);
  EXPECT_THROW(Calc("1.2.3"), EConvertError);
}

TEST_F(ParserFixture, BracketedNamesKeepTheirCaseBareNamesAreUpperCased) {
  values["Price"] = 3;
  values["PRICE"] = 4;
  EXPECT_DOUBLE_EQ(Calc("[Price] * 10 + Price").AsDouble(), 34);
  EXPECT_EQ(asked, (std::vector<AnsiString>{"Price", "PRICE"}));
}

TEST_F(ParserFixture, NamesWithDoubleQuotedPartsAndNestedBrackets) {
  values["DS.\"A-B C\""] = 2;
  EXPECT_DOUBLE_EQ(Calc("[DS.\"A-B C\"] + 1").AsDouble(), 3);
  values["a[1]"] = 5;
  EXPECT_DOUBLE_EQ(Calc("[a[1]]").AsDouble(), 5);
}

TEST_F(ParserFixture, UnknownCallsAndIndexedNamesGoToOnFunction) {
  EXPECT_EQ(Calc("sum([x], Band1)").AsString(), "fn");
  EXPECT_EQ(Calc("Arr[2]").AsString(), "fn");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], "SUM|[x]| Band1|");
  EXPECT_EQ(calls[1], "GETARRAY|Arr| 2|");
}

TEST_F(ParserFixture, DoubleByteTextWithBracketLikeTrailBytes) {
  // ']', '[' and 'a' as trail bytes of 0x81 lead bytes.
  AnsiString name = "\x81\x5D\x81\x5B\x81\x61";
  values[name] = 9;
  EXPECT_DOUBLE_EQ(parser.Calc("[" + name + "] + 1").AsDouble(), 10);
  // A bare name is upper-cased by character: the trail bytes stay.
  values[name + "X"] = 1;
  EXPECT_DOUBLE_EQ(parser.Calc(name + "x").AsDouble(), 1);
  EXPECT_EQ(asked.back(), name + "X");
}

TEST_F(ParserFixture, ClearErrorsInsteadOfStackFaults) {
  EXPECT_THROW(Calc("* 3"), EParserError);
  EXPECT_THROW(Calc("7 mod 0"), EDivByZero);
  EXPECT_THROW(Calc("ROUND(3000000000)"), EParserError);
  EXPECT_THROW(Calc("COPY('a', 1"), EParserError);
  EXPECT_THROW(Calc("[open"), EParserError);
  EXPECT_THROW(Calc("F(1, 2, 3, 4)"), EParserError);
}

TEST_F(ParserFixture, DeepExpressionsNeedMoreThanEightSlots) {
  AnsiString e = "1";
  for (int i = 0; i < 40; ++i) e = "1 + (" + e + ")";
  EXPECT_DOUBLE_EQ(parser.Calc(e).AsDouble(), 41);
  EXPECT_DOUBLE_EQ(parser.Calc("1+(2*(3+(4*(5+(6*(7+(8*(9+10))))))))").AsDouble(),
                   1 + 2 * (3 + 4 * (5 + 6 * (7 + 8 * (9 + 10)))));
}

TEST(TrbParserReaders, FunctionParamsAndIdentifiers) {
  AnsiString t = "F('a,(b', (1,2), x)+1";
  int pos = 2;
  AnsiString p1, p2, p3;
  TrbParser::GetFunctionParams(t, pos, p1, p2, p3);
  EXPECT_EQ(p1, "'a,(b'");
  EXPECT_EQ(p2, " (1,2)");
  EXPECT_EQ(p3, " x");
  EXPECT_EQ(t[static_cast<size_t>(pos - 1)], '+');

  AnsiString id = "  T.\"a b(c\"+1";
  pos = 1;
  EXPECT_EQ(TrbParser::GetIdentifier(id, pos), "T.\"a b(c\"");
  EXPECT_EQ(id[static_cast<size_t>(pos - 1)], '+');

  AnsiString q = "'x''y' rest";
  pos = 1;
  EXPECT_EQ(TrbParser::GetQuotedString(q, pos), "'x''y'");
  EXPECT_EQ(pos, 7);

  AnsiString b = "[a[b]'c]'\"d]\"] tail";
  int start = 1, stop = 0;
  EXPECT_EQ(GetBracketedVariable(b, start, stop), "a[b]'c]'\"d]\"");
  EXPECT_EQ(b[static_cast<size_t>(stop - 1)], ']');
  start = 2;
  EXPECT_EQ(GetBracketedVariable(b, start, stop), "");
}

TEST(TrbVariablesTest, AccessOutsideTheListIsHarmless) {
  TrbVariables v;
  EXPECT_TRUE(v.Variable("none").IsNull());
  EXPECT_EQ(v.Value(-1).AsInteger(), 0);
  v.SetVariable("Abc", 1);
  v.SetVariable("ABC", 2);  // same name, any case
  EXPECT_EQ(v.Count(), 1);
  EXPECT_EQ(v.Variable("abc").AsInteger(), 2);
  v.Delete(5);
  v.SetValue(7, 3);
  v.SetName(-1, "x");
  EXPECT_EQ(v.Name(3), "");
  EXPECT_EQ(v.Count(), 1);
}

TEST(TrbVariablesTest, SortedListFindsByNameAndKeepsOneOfEach) {
  TrbVariables v;
  v.SetVariable("b", 2);
  v.SetVariable("a", 1);
  v.SetVariable("c", 3);
  v.SetSorted(true);
  EXPECT_EQ(v.Name(0), "a");
  EXPECT_EQ(v.IndexOf("C"), 2);
  v.SetVariable("aa", 4);
  EXPECT_EQ(v.Name(1), "aa");
  v.SetName(3, "A");  // a duplicate name is dropped by the sorted list
  EXPECT_EQ(v.Count(), 3);
}

TEST(TrbFunctionSplitterTest, FindsCallsThroughBracketsAndVariables) {
  TStringList match, to;
  match.Add("SUM");
  TrbVariables vars;
  TrbFunctionSplitter sp(&match, &to, &vars);
  sp.Split("SUM([b])");
  ASSERT_EQ(to.Count(), 1);
  EXPECT_EQ(to[0], "SUM([b])");

  to.Clear();
  vars.SetVariable("a", "SUM(c)");
  sp.Split("[a] + SUM([b])");
  ASSERT_EQ(to.Count(), 2);
  EXPECT_EQ(to[0], "SUM(c)");
  EXPECT_EQ(to[1], " SUM([b])");

  to.Clear();
  sp.Split("IF(x > 1, sum([y]), a)");
  ASSERT_EQ(to.Count(), 2);  // the call inside the argument and the variable's; no IF
  EXPECT_EQ(to[0], "sum([y])");
  EXPECT_EQ(to[1], "SUM(c)");
}

TEST(TrbFunctionSplitterTest, VariablesThatLeadBackToThemselvesEnd) {
  TStringList match, to;
  match.Add("SUM");
  TrbVariables vars;
  vars.SetVariable("a", "[b] + SUM(x)");
  vars.SetVariable("b", "a");
  TrbFunctionSplitter sp(&match, &to, &vars);
  sp.Split("[a]");
  EXPECT_EQ(to.Count(), 1);
}

}  // namespace
