#include "sql/SqlLexer.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"

namespace {

// "token value" of every token up to the end, blanks and comments left out.
std::vector<std::string> Tokens(const AnsiString& text, const AnsiString& dateFormat = "") {
  TStringStream input(text);
  TsqLexer lexer(&input);
  lexer.DateFormat = dateFormat;
  std::vector<std::string> out;
  for (int t = lexer.yylex(); t != 0; t = lexer.yylex()) {
    if (t == stBlank || t == stTab || t == stNewLine || t == stComment) continue;
    out.push_back(std::to_string(t) + " " + lexer.yylval);
  }
  return out;
}

using V = std::vector<std::string>;

}  // namespace

TEST(TsqLexer, ScansTokensAndRewritesLiterals) {
  const struct {
    const char* text;
    V tokens;
  } cases[] = {
      {"select SELECT Select", {"297 select", "297 SELECT", "297 Select"}},
      {"numeric float", {"349 numeric", "349 float"}},
      {"[Order Details]", {"257 [Order Details]"}},
      {"[]", {"257 []"}},
      {"'It''s'", {"261 'It''s'"}},
      {"\"say 'hi'\"", {"261 \"say 'hi'\""}},
      {"a||b", {"257 a", "279 +", "257 b"}},
      {"$FF", {"260 255"}},
      {"$", {"290 $"}},
      {"$1FFFFFFFF", {"290 $1FFFFFFFF"}},
      {"x-1", {"257 x", "259 -1"}},
      {"x - 1", {"257 x", "280 -", "258 1"}},
      {"1.5 .5 .5E+3 1. +2.5", {"260 1.5", "260 .5", "260 .5E+3", "260 1.", "260 +2.5"}},
      {"1.E5", {"260 1.", "257 E5"}},
      {"a /* note */ b", {"257 a", "257 b"}},
      {"a (* note *) b", {"257 a", "257 b"}},
      {"/* a * b */", {"281 /", "282 *", "257 a", "282 *", "257 b", "282 *", "281 /"}},
      {"count(*)", {"317 count", "263 (", "282 *", "264 )"}},
      // "(*)" never opens a comment, so a second COUNT(*) keeps the text
      // between the two; a real comment after it still is one.
      {"count(*) x count(*)", {"317 count", "263 (", "282 *", "264 )", "257 x", "317 count", "263 (", "282 *",
                               "264 )"}},
      {"count(*) (* c *) x", {"317 count", "263 (", "282 *", "264 )", "257 x"}},
      {"a (**) b", {"257 a", "257 b"}},
      {"<> >= <= < > = ; : ^ .", {"271 <>", "274 >=", "275 <=", "273 <", "272 >", "270 =",
                                 "266 ;", "267 :", "288 ^", "265 ."}},
      {"a | b", {"257 a", "290 |", "257 b"}},
      {"'open", {"290 '", "257 open"}},
      {"[open", {"290 [", "257 open"}},
      {"职工编号 as 人数", {"257 职工编号", "305 as", "257 人数"}},
      // A trail byte that looks like "|" or "\" stays inside the name.
      {"a\x81|b", {"257 a\x81|b"}},
      {"TRANSFORM pivot merge TO", {"363 TRANSFORM", "364 pivot", "365 merge", "384 TO"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Tokens(c.text), c.tokens) << c.text;
}

TEST(TsqLexer, DateLiteralsBecomeDayNumbersMarkedInsideWhere) {
  // 2 January 2003 is day 37623.
  EXPECT_EQ(Tokens("#1/2/2003#"), V{"260 37623"});
  EXPECT_EQ(Tokens("#2003-01-02#", "yyyy-mm-dd"), V{"260 37623"});
  // A short literal is still a date, never silently dropped.
  EXPECT_EQ(Tokens("a #1/2/03#"), (V{"257 a", "260 37623"}));
  EXPECT_EQ(Tokens("SELECT #1/2/2003# FROM t WHERE d > #1/2/2003# ORDER BY d"),
            (V{"297 SELECT", "260 37623", "299 FROM", "257 t", "300 WHERE", "257 d", "272 >",
               "260 DummyDate(37623)", "301 ORDER", "302 BY", "257 d"}));
  EXPECT_THROW(Tokens("#13/45/2003#"), EConvertError);
  EXPECT_THROW(Tokens("##"), EConvertError);
  EXPECT_EQ(Tokens("#1/2"), (V{"290 #", "258 1", "281 /", "258 2"}));
}

TEST(TsqLexer, SubqueryRestoresTheOuterWhereFlag) {
  // The inner SELECT ends the marking only up to its closing parenthesis.
  V t = Tokens("SELECT a FROM t WHERE b IN (SELECT c FROM u WHERE (d = 1)) AND e > #1/2/2003#");
  EXPECT_EQ(t.back(), "260 DummyDate(37623)");
  V s = Tokens("SELECT a FROM t WHERE b IN (SELECT c FROM u) OR e < #1/2/2003# GROUP BY a");
  EXPECT_EQ(s[s.size() - 4], "260 DummyDate(37623)");
  // Outside WHERE a subquery with its own WHERE does not mark what follows.
  V n = Tokens("SELECT (SELECT c FROM u WHERE c = 1), #1/2/2003# FROM t");
  EXPECT_EQ(n[n.size() - 3], "260 37623");
}

TEST(TsqLexer, KeepsTheColumnOfEachToken) {
  TStringStream input("SELECT a,\n  bb FROM t");
  TsqLexer lexer(&input);
  std::vector<std::pair<int, int>> positions;  // line, column of the token start
  for (int t = lexer.yylex(); t != 0; t = lexer.yylex()) {
    if (t == stBlank || t == stNewLine) continue;
    positions.emplace_back(lexer.yylineno,
                           lexer.yycolno - static_cast<int>(lexer.yytext.size()) - 1);
  }
  EXPECT_EQ(positions, (std::vector<std::pair<int, int>>{{1, 0}, {1, 7}, {1, 8}, {2, 2}, {2, 5},
                                                         {2, 10}}));
}
