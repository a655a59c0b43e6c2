// The expression scanner; the rules are listed in ExprLexer.h.  Every
// branch reads as far as its rule could go and pushes back what lies
// beyond the token it settles on, so the column bookkeeping of
// TCustomLexer holds.
#include "sql/ExprLexer.h"

#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/NumFormat.h"

namespace {

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsHex(int c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool IsLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128; }
bool IsLead(int c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrail(int c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

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

int TExprLexer::yylex() {
  for (;;) {
    yytext.clear();
    yylval.clear();
    int token = Scan();
    if (token == 0) {  // end of input: start over on whatever follows
      yytext.clear();
      ResetInput();
      return 0;
    }
    if (token > 0) return token;
  }
}

int TExprLexer::Scan() {
  int c = Take();
  if (c == 0) return 0;
  if (IsLetter(c)) return Identifier();
  if (IsDigit(c) || c == '.' || c == '+' || c == '-') return Number(c);
  yylval = yytext;
  switch (c) {
    case '[': return Bracketed();
    case '\'': return Quoted('\'');
    case '"': return Quoted('"');
    case '#': return DateLiteral();
    case '/': return Slash();
    case '$': {
      while (IsHex(Take())) {
      }
      Back(1);
      yylval = yytext;
      if (yytext.size() == 1) return etIllegal;
      int value;
      if (!TryStrToInt(yytext, value)) return etIllegal;
      yylval = IntToStr(value);
      return etNumber;
    }
    case ',': return etComma;
    case '(': return etLParen;
    case ')': return etRParen;
    case '=': return etEq;
    case '*': return etStar;
    case '^': return etCaret;
    case ' ': return etBlank;
    case '\t': return etTab;
    case '\n': return etNewLine;
    case '>':
      if (Take() == '=') return yylval = yytext, etGE;
      Back(1);
      return etGT;
    case '<': {
      int n = Take();
      if (n == '>' || n == '=') {
        yylval = yytext;
        return n == '>' ? etNEQ : etLE;
      }
      Back(1);
      return etLT;
    }
    default: return etIllegal;
  }
}

int TExprLexer::Identifier() {
  int c = static_cast<unsigned char>(yytext.back());
  for (;;) {
    if (IsLead(c)) {  // the trail byte belongs to the letter
      if (!IsTrail(Take())) Back(1);
    }
    c = Take();
    if (!(IsLetter(c) || IsDigit(c) || c == '_')) {
      Back(1);
      break;
    }
  }
  yylval = yytext;
  int keyword = ExprKeywordToken(yytext);
  return keyword ? keyword : etIdent;
}

int TExprLexer::Bracketed() {
  for (;;) {
    int c = Take();
    if (c == 0 || c == '[') {  // unclosed: the "[" alone is illegal
      Back(yytext.size() - 1);
      return etIllegal;
    }
    if (c == ']') break;
    if (IsLead(c) && !IsTrail(Take())) Back(1);
  }
  yylval = yytext.substr(1, yytext.size() - 2);
  return etIdent;
}

int TExprLexer::Number(int first) {
  auto digits = [this] {
    while (IsDigit(Take())) {
    }
    Back(1);
  };
  int token;
  if (IsDigit(first)) {
    digits();
    if (Take() == '.') {
      digits();
      token = etNumber;
    } else {
      Back(1);
      token = etUInt;
    }
  } else if (first == '.') {
    if (!IsDigit(Take())) {
      Back(1);
      token = etDot;
    } else {
      digits();
      token = etNumber;
      // Optional exponent: E or e, a required sign, digits.
      size_t before = yytext.size();
      int e = Take();
      int s = (e == 'E' || e == 'e') ? Take() : 0;
      if ((s == '+' || s == '-') && IsDigit(Take()))
        digits();
      else
        Back(yytext.size() - before);
    }
  } else {  // a sign
    if (!IsDigit(Take())) {
      Back(1);
      token = first == '+' ? etPlus : etMinus;
    } else {
      digits();
      size_t before = yytext.size();
      if (Take() == '.' && IsDigit(Take())) {
        digits();
        token = etNumber;
      } else {
        Back(yytext.size() - before);
        token = etSInt;
      }
    }
  }
  yylval = yytext;
  return token;
}

int TExprLexer::Quoted(char quote) {
  AnsiString value;
  for (;;) {
    int c = Take();
    if (c == 0) {  // unclosed: the opening quote alone is illegal
      Back(yytext.size() - 1);
      yylval = yytext;
      return etIllegal;
    }
    if (c == quote) {
      if (quote == '\'') {
        if (Take() == '\'') {  // a doubled quote stands for one
          value.push_back('\'');
          continue;
        }
        Back(1);
      }
      break;
    }
    value.push_back(static_cast<char>(c));
  }
  yylval = value;
  return etString;
}

int TExprLexer::DateLiteral() {
  for (;;) {
    int c = Take();
    if (c == 0) {
      Back(yytext.size() - 1);
      yylval = yytext;
      return etIllegal;
    }
    if (c == '#') break;
  }
  if (yytext.size() < 10) return -1;  // too short for a date: no token
  TFormatSettings fs = DefaultFormatSettings();
  fs.ShortDateFormat = "m/d/yyyy";
  fs.DateSeparator = '/';
  TDateTime date = StrToDate(yytext.substr(1, yytext.size() - 2), fs);
  TFormatSettings dot;
  dot.DecimalSeparator = '.';
  yylval = FloatToStr(date, dot);
  return etNumber;
}

int TExprLexer::Slash() {
  if (Take() != '*') {
    Back(1);
    return etSlash;
  }
  for (;;) {
    int c = Take();
    if (c == '*') {
      if (Take() == '/') return yylval = yytext, etComment;
      break;  // a star inside: not a comment
    }
    if (c == 0) break;
  }
  Back(yytext.size() - 1);
  yylval = yytext;
  return etSlash;
}
