// The expression scanner: the shared scanner routine (RuleLexer.h) with
// the expression language's rule table, keyword table and date literals.
#include "sql/ExprLexer.h"

#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/NumFormat.h"

namespace {

const struct {
  const char* word;
  int token;
} kKeywords[] = {
    {"AND", etAnd},         {"OR", etOr},         {"XOR", etXor},           {"NOT", etNot},
    {"MOD", etMod},         {"TRUE", etTrue},     {"FALSE", etFalse},       {"LIKE", etLike},
    {"STRING", etKwString}, {"FLOAT", etKwFloat}, {"INTEGER", etKwInteger}, {"BOOLEAN", etKwBoolean},
    {"SHL", etShl},         {"SHR", etShr},       {"IN", etIn},             {"BETWEEN", etBetween},
    {"DIV", etDiv},         {"CASE", etCase},     {"WHEN", etWhen},         {"THEN", etThen},
    {"ELSE", etElse},       {"IF", etIf},         {"CAST", etCast},         {"ESCAPE", etEscape},
    {"AS", etAs},           {"END", etEnd},
};

}  // namespace

int ExprKeywordToken(const AnsiString& word) {
  if (word.size() > 14) return 0;
  for (const auto& k : kKeywords)
    if (SameText(word, k.word)) return k.token;
  return 0;
}

namespace {

const TLexRules kExprRules = {
    etIdent, etUInt, etSInt, etNumber, etString,
    etComma, etLParen, etRParen, etDot, /*semicolon=*/0, /*colon=*/0,
    etEq, etNEQ, etGT, etLT, etGE, etLE,
    etPlus, etMinus, etStar, etSlash, etCaret,
    etIllegal, etComment, etBlank, etTab, etNewLine,
    /*barBarIsPlus=*/false, /*parenStarComments=*/false, /*keepDelimiters=*/false, ExprKeywordToken,
};

}  // namespace

TExprLexer::TExprLexer(TStream* input) : TRuleLexer(input, kExprRules) {}

int TExprLexer::yylex() { return NextToken(); }

bool TExprLexer::DateValue(AnsiString& value) {
  if (yytext.size() < 10) return false;  // too short for a date: no token
  TFormatSettings fs = DefaultFormatSettings();
  fs.ShortDateFormat = "m/d/yyyy";
  fs.DateSeparator = '/';
  TDateTime date = StrToDate(yytext.substr(1, yytext.size() - 2), fs);
  TFormatSettings dot;
  dot.DecimalSeparator = '.';
  value = FloatToStr(date, dot);
  return true;
}
