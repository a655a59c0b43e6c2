// The expression scanner: tokens, values, line and column bookkeeping.
#include "sql/ExprLexer.h"

#include <gtest/gtest.h>

#include "platform/core/Streams.h"

namespace {

struct Token {
  int token;
  std::string value;
  bool operator==(const Token&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Token& t) {
  return os << t.token << ":" << t.value;
}

// Every token up to the end of input, skip tokens included.
std::vector<Token> Scan(const AnsiString& text) {
  TStringStream input(text);
  TExprLexer lexer(&input);
  std::vector<Token> tokens;
  for (int t; (t = lexer.yylex()) != 0;) {
    tokens.push_back({t, lexer.yylval});
    if (tokens.size() > 100000) break;
  }
  // The line feed that ends the last line, with or without a break.
  if (!tokens.empty() && tokens.back().token == etNewLine) tokens.pop_back();
  return tokens;
}

TEST(TExprLexer, LongestMatchRules) {
  const struct {
    const char* text;
    std::vector<Token> tokens;
  } cases[] = {
      {"x-1", {{etIdent, "x"}, {etSInt, "-1"}}},
      {"x - 1", {{etIdent, "x"}, {etBlank, " "}, {etMinus, "-"}, {etBlank, " "}, {etUInt, "1"}}},
      {"1.5E+3", {{etNumber, "1.5"}, {etIdent, "E"}, {etSInt, "+3"}}},
      {".5e-3", {{etNumber, ".5e-3"}}},
      {".5E3", {{etNumber, ".5"}, {etIdent, "E3"}}},
      {"-1.25", {{etNumber, "-1.25"}}},
      {"-1.", {{etSInt, "-1"}, {etDot, "."}}},
      {"1.", {{etNumber, "1."}}},
      {"a.b", {{etIdent, "a"}, {etDot, "."}, {etIdent, "b"}}},
      {"<><=>=<>", {{etNEQ, "<>"}, {etLE, "<="}, {etGE, ">="}, {etNEQ, "<>"}}},
      {"and Div xor", {{etAnd, "and"}, {etBlank, " "}, {etDiv, "Div"}, {etBlank, " "}, {etXor, "xor"}}},
      {"a_1 _", {{etIdent, "a_1"}, {etBlank, " "}, {etIllegal, "_"}}},
      {"$1F $", {{etNumber, "31"}, {etBlank, " "}, {etIllegal, "$"}}},
      {"$100000000", {{etIllegal, "$100000000"}}},
      {"'It''s'", {{etString, "It's"}}},
      {"'a' 'b'", {{etString, "a"}, {etBlank, " "}, {etString, "b"}}},
      {"\"x''y\"", {{etString, "x''y"}}},
      {"[Order Date]", {{etIdent, "Order Date"}}},
      {"[a", {{etIllegal, "["}, {etIdent, "a"}}},
      {"/* c */1", {{etComment, "/* c */"}, {etUInt, "1"}}},
      {"/* a * b */", {{etSlash, "/"}, {etStar, "*"}, {etBlank, " "}, {etIdent, "a"}, {etBlank, " "},
                       {etStar, "*"}, {etBlank, " "}, {etIdent, "b"}, {etBlank, " "}, {etStar, "*"},
                       {etSlash, "/"}}},
      {"\t\n ", {{etTab, "\t"}, {etNewLine, "\n"}, {etBlank, " "}}},
      {"a\rb", {{etIdent, "a"}, {etIllegal, "\r"}, {etIdent, "b"}}},
      {"#1/2/2003#", {{etNumber, "37623"}}},
      {"#1/2/03#", {}},
      {"\xB9\xA4\xD7\xCA_1", {{etIdent, "\xB9\xA4\xD7\xCA_1"}}},
      {"\x81\x7C\x81\x5C", {{etIdent, "\x81\x7C\x81\x5C"}}},
      {"[\x81\x5D]", {{etIdent, "\x81\x5D"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(Scan(c.text), c.tokens) << c.text;
}

TEST(TExprLexer, InvalidDateLiteralRaisesTheConversionError) {
  EXPECT_THROW(Scan("#13/45/2003#"), EConvertError);
}

TEST(TExprLexer, LinesColumnsAndTheEndOfInput) {
  TStringStream input("ab +\r\n  cd");
  TExprLexer lexer(&input);
  EXPECT_EQ(lexer.yylex(), etIdent);
  EXPECT_EQ(lexer.yylineno, 1);
  EXPECT_EQ(lexer.yycolno - int(lexer.yytext.size()) - 1, 0);  // "ab" starts at column 0
  EXPECT_EQ(lexer.yylex(), etBlank);
  EXPECT_EQ(lexer.yylex(), etPlus);
  EXPECT_EQ(lexer.yycolno - int(lexer.yytext.size()) - 1, 3);
  EXPECT_EQ(lexer.yylex(), etNewLine);
  EXPECT_EQ(lexer.yylex(), etBlank);
  EXPECT_EQ(lexer.yylineno, 2);
  EXPECT_EQ(lexer.yylex(), etBlank);
  EXPECT_EQ(lexer.yylex(), etIdent);
  EXPECT_EQ(lexer.yytext, "cd");
  EXPECT_EQ(lexer.yycolno - int(lexer.yytext.size()) - 1, 2);
  EXPECT_EQ(lexer.yylex(), etNewLine);  // the last line ends without a break
  EXPECT_EQ(lexer.yylex(), 0);
  EXPECT_EQ(lexer.yylex(), 0);
}

TEST(TExprLexer, ALineOfAnyLengthScans) {
  std::string name(100000, 'a');
  auto tokens = Scan(AnsiString(name + " + 1"));
  ASSERT_EQ(tokens.size(), 5u);  // name, blank, +, blank, 1
  EXPECT_EQ(tokens[0].value.size(), name.size());
}

TEST(TExprLexer, ScannersKeepTheirOwnState) {
  TStringStream a("one two"), b("three");
  TExprLexer la(&a), lb(&b);
  EXPECT_EQ(la.yylex(), etIdent);
  EXPECT_EQ(lb.yylex(), etIdent);
  EXPECT_EQ(la.yylval, "one");
  EXPECT_EQ(lb.yylval, "three");
  la.yylex();
  EXPECT_EQ(la.yylex(), etIdent);
  EXPECT_EQ(la.yylval, "two");
}

}  // namespace
