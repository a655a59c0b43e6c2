// The expression language end to end: scanner, LR driver over the built
// tables, and the trees the rule actions build.
#include "sql/ExprParser.h"

#include <gtest/gtest.h>

#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "sql/ExprFunctions.h"
#include "sql/ExprLexer.h"

namespace {

struct Parsed {
  int result = -1;
  AnsiString message;
  TExpressionPtr root;
  std::vector<AnsiString> referenced;
  bool composite = false;
};

Parsed Parse(const AnsiString& text, TExprIdentifierHook hook = {}) {
  TStringStream input(text);
  TExprLexer lexer(&input);
  TExprParser parser(std::move(hook));
  parser.yylexer = &lexer;
  Parsed p;
  p.result = parser.yyparse();
  p.message = parser.yyerrormsg;
  if (p.result == 0) p.root = parser.TakeResult();
  p.referenced = parser.ReferencedFields();
  p.composite = parser.Composite();
  return p;
}

// The value of a text as its node's own type renders it.
AnsiString Value(const AnsiString& text) {
  Parsed p = Parse(text);
  if (p.result != 0) return "(" + p.message + ")";
  if (!p.root) return "(no result)";
  return p.root->AsString();
}

TEST(TExprParser, TablesMatchTheRuleActions) {
  const TParseTables* t = LoadParseTables(kExprTablePrefix);
  ASSERT_NE(t, nullptr);
  const auto& lengths = TExprParser::RuleLengths();
  ASSERT_EQ(t->yyr.size(), lengths.size());
  for (size_t r = 0; r < lengths.size(); ++r) EXPECT_EQ(t->yyr[r].symbol, lengths[r]) << "rule " << r + 1;
  EXPECT_EQ(t->yyr[0].value, -2);  // rule 1 reduces to the start symbol
}

TEST(TExprParser, EvaluatesTheLanguage) {
  const struct {
    const char* text;
    const char* value;
  } cases[] = {
      {"1 + 2 * 3", "7"},
      {"(1 + 2) * 3", "9"},
      {"2 ^ 3 ^ 2", "512"},
      {"- 2 ^ 2", "4"},
      {"7 DIV 2", "3"},
      {"-7 MOD 2", "-1"},
      {"7 / 2", "3.5"},
      {"10 - 2 - 3", "5"},
      {"2 * 3 SHL 1", "12"},
      {"1 + 1 SHL 2", "5"},
      {"'a' + 1", "a1"},
      {"'a' + 'b'", "ab"},
      {"1 = 1.0", "TRUE"},
      {"'10' < '9'", "TRUE"},
      {"NOT 5", "-6"},
      {"NOT TRUE", "FALSE"},
      {"TRUE OR FALSE AND FALSE", "FALSE"},  // one level, left to right
      {"NOT 1 = 1", "FALSE"},                 // (NOT 1) = 1
      {"FALSE AND (1 / 0 = 1)", "FALSE"},
      {"3 BETWEEN 1 AND 5", "TRUE"},
      {"3 NOT BETWEEN 1 AND 5", "FALSE"},
      {"3 BETWEEN 1 AND 5 AND FALSE", "FALSE"},
      {"2 IN (1, 2)", "TRUE"},
      {"2 NOT IN (1, 2)", "FALSE"},
      {"2 IN", "FALSE"},
      {"'abc' LIKE '%c'", "TRUE"},
      {"'abc' NOT LIKE 'a_c'", "FALSE"},
      {"'50%' LIKE '%!%' ESCAPE '!'", "TRUE"},
      {"1 + 1 LIKE '2'", "TRUE"},
      {"CASE WHEN 1 > 2 THEN 'a' WHEN 2 > 1 THEN 'b' ELSE 'c' END", "b"},
      {"CASE WHEN FALSE THEN 1 END + 0", "0"},
      {"CASE WHEN TRUE THEN CASE WHEN FALSE THEN 1 ELSE 2 END ELSE 3 END", "2"},
      {"IF(1 > 2, 'x', 'y')", "y"},
      {"CAST('12' AS INTEGER) + 1", "13"},
      {"CAST(2.7 AS INTEGER) + 0", "2"},
      {"CAST(1 AS STRING) + 'x'", "1x"},
      {"INTEGER('7') * 2", "14"},
      {"FLOAT('1.5')", "1.5"},
      {"round(2.5)", "2"},
      {"Round(3.5)", "4"},
      {"COPY('abc', 0, 2)", "ab"},
      {"SUBSTRING('abcdef', 2, 3)", "bcd"},
      {"CHARINDEX('c', 'abcabc')", "3"},
      {"YEAR(0.0)", "1899"},
      {"HOUR(0.75)", "18"},
      {"POWER(2, 10)", "1024"},
      {"PI", "3.14159265358979"},
      {"MINOF(3, 1, 2)", "1"},
      {"DECODE(2, 1, 'one', 2, 'two', 'other')", "two"},
      {"ASCII('A')", "65"},
      {"SQLLIKE('abc', 'a%')", "TRUE"},
      {"SQLNOTLIKE('abc', 'a%')", "FALSE"},
      {"LEFT('abc', 2) + RIGHT('abc', 1)", "abc"},
      {"FORMATFLOAT('0.00', 2.5)", "2.50"},
      {"$FF", "255"},
      {"#1/2/2003#", "37623"},
      {"'O''Brien'", "O'Brien"},
      {"''''", "'"},
      {"\"say 'hi'\"", "say 'hi'"},
      {"2147483647", "2147483647"},
      {"2147483648", "2147483648"},  // too big for an integer: a float
      {"-5 + 1", "-4"},
      {"1 + /* note */ 2", "3"},
      {".5E+1 * 2", "10"},
      {"1.", "1"},
      {"1 +\r\n 2", "3"},
      {"#1/2/03# 7", "7"},  // shorter than 10 bytes: no token
  };
  for (const auto& c : cases) EXPECT_EQ(Value(c.text), c.value) << c.text;
}

TEST(TExprParser, BuildsTheExpectedShapes) {
  Parsed p = Parse("1 + 2 * 3");
  auto* plus = dynamic_cast<TBinaryOp*>(p.root.get());
  ASSERT_NE(plus, nullptr);
  EXPECT_EQ(plus->Operator(), opPlus);
  Parsed round = Parse("round(x, 2)", [](TExprParser&, const AnsiString&, const AnsiString& n,
                                        TParameterListPtr&, TExpressionPtr& e) {
    if (n == "X") e = MakeFloat(2.345);
  });
  auto* math = dynamic_cast<TMathExpression*>(round.root.get());
  ASSERT_NE(math, nullptr);
  EXPECT_EQ(math->Code(), mfRound);
  EXPECT_EQ(math->ParameterCount(), 2);
  EXPECT_EQ(dynamic_cast<TConditional*>(Parse("IF(1 > 1, 'x', 'y')").root.get())->ParameterCount(), 3);
}

TEST(TExprParser, SyntaxAndNameErrors) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"FOO(1)", "Unknown Identifier FOO"},
      {"1 +", "syntax error"},
      {"x-1", "syntax error"},  // x and the signed integer -1
      {"1 @ 2", "syntax error"},
      {"(1", "syntax error"},
      {"'open", "syntax error"},
      {"1 2", "syntax error"},
      {"", "syntax error"},
      {"3 BETWEEN a AND 5", "syntax error"},
  };
  for (const auto& c : cases) {
    Parsed p = Parse(c.text);
    EXPECT_EQ(p.result, 1) << c.text;
    EXPECT_EQ(p.message, c.message) << c.text;
  }
  // Typing and argument errors of the nodes leave the parse unchanged.
  EXPECT_THROW(Parse("'a' - 1"), EExpression);
  EXPECT_THROW(Parse("ASCII(65)"), EExpression);
  EXPECT_THROW(Parse("DECODE(1, 1, 'one')"), EExpression);
  EXPECT_THROW(Parse("TRUE < FALSE"), EExpression);
}

TEST(TExprParser, DeepNestingStopsAtTheStackLimit) {
  AnsiString deep = AnsiString(std::string(2000, '(')) + "1" + AnsiString(std::string(2000, ')'));
  Parsed p = Parse(deep);
  EXPECT_EQ(p.result, 1);
  EXPECT_EQ(p.message, "yyparse stack overflow");
  AnsiString fits = AnsiString(std::string(300, '(')) + "1" + AnsiString(std::string(300, ')'));
  EXPECT_EQ(Value(fits), "1");
}

TEST(TExprParser, ALineLongerThanSixteenKilobytesParses) {
  AnsiString text = "0";
  while (text.size() < 40000) text += " + 1";
  EXPECT_EQ(Value(text), IntToStr((text.size() - 1) / 4));
}

TEST(TExprParser, HookSeesUpperCaseNamesAndRecordsColumns) {
  std::vector<std::string> calls;
  auto hook = [&](TExprParser&, const AnsiString& group, const AnsiString& name,
                  TParameterListPtr& params, TExpressionPtr& e) {
    calls.push_back(group + "|" + name + "|" + std::to_string(params ? params->Count() : 0));
    if (name == "ORDER DATE" || name == "PAY" || name == "F") e = MakeInt(1);
  };
  Parsed p = Parse("e.Pay + E.PAY + [Order Date] + f(1, 2) + e.f(3)", hook);
  ASSERT_EQ(p.result, 0) << p.message;
  EXPECT_EQ(calls, (std::vector<std::string>{"E|PAY|0", "E|PAY|0", "|ORDER DATE|0", "|F|2", "E|F|1"}));
  EXPECT_EQ(p.referenced, (std::vector<AnsiString>{"E.PAY"}));
  EXPECT_TRUE(p.composite);
  Parsed column = Parse("e.pay", hook);
  EXPECT_FALSE(column.composite);
  EXPECT_EQ(column.referenced, (std::vector<AnsiString>{"E.PAY"}));
  // The hook comes first: a name it knows shadows a built-in function.
  Parsed shadow = Parse("PI", [](TExprParser&, const AnsiString&, const AnsiString&,
                                 TParameterListPtr&, TExpressionPtr& e) { e = MakeInt(3); });
  EXPECT_EQ(shadow.root->AsString(), "3");
}

TEST(TExprParser, DoubleByteNamesKeepTheirTrailBytes) {
  std::vector<AnsiString> names;
  auto hook = [&](TExprParser&, const AnsiString& group, const AnsiString& name,
                  TParameterListPtr&, TExpressionPtr& e) {
    names.push_back(group + "." + name);
    e = MakeInt(1);
  };
  // 0x81 0x5D ("]"), 0x81 0x5C ("\") and 0x81 0x7C ("|") as trail bytes.
  Parsed p = Parse("t.\x81\x5D" "a + [\x81\x5D\x81\x7C] + \x81\x5C", hook);
  ASSERT_EQ(p.result, 0) << p.message;
  EXPECT_EQ(names, (std::vector<AnsiString>{"T.\x81\x5D" "A", ".\x81\x5D\x81\x7C", ".\x81\x5C"}));
}

TEST(TExprParser, MissingTablesFailTheParse) {
  class TNoTables : public TCustomParser {
   public:
    TNoTables() : TCustomParser("NoSuchGrammar_", {}, 289) {}
    void yyaction(int) override { FAIL() << "no step may run"; }
  } parser;
  TStringStream input("1");
  TExprLexer lexer(&input);
  parser.yylexer = &lexer;
  EXPECT_EQ(parser.yyparse(), 1);
  EXPECT_EQ(parser.yyerrormsg, "Parser resources not found");
  EXPECT_EQ(lexer.yylineno, 0);  // nothing was read
}

TEST(TExprParser, TablesThatPointOutsideAreRefused) {
  TParseTables t = *LoadParseTables(kExprTablePrefix);
  EXPECT_TRUE(CheckParseTables(t));
  TParseTables badShift = t;
  badShift.yya[0].value = static_cast<std::int16_t>(t.StateCount());
  EXPECT_FALSE(CheckParseTables(badShift));
  TParseTables badRange = t;
  badRange.yyah[0] = static_cast<std::int16_t>(t.yya.size() + 1);
  EXPECT_FALSE(CheckParseTables(badRange));
  TParseTables badRule = t;
  badRule.yyd[1] = static_cast<std::int16_t>(-(int(t.yyr.size()) + 1));
  EXPECT_FALSE(CheckParseTables(badRule));
}

}  // namespace
