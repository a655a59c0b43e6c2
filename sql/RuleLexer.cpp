// The shared scanner routine (see RuleLexer.h).
#include "sql/RuleLexer.h"

#include "platform/core/NumFormat.h"

namespace {

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsHex(int c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool IsLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128; }
bool IsLead(int c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrail(int c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// A token of the table, or the illegal token where the language has none.
int Or(int token, const TLexRules& rules) { return token ? token : rules.illegal; }

}  // namespace

int TRuleLexer::NextToken() {
  for (;;) {
    yytext.clear();
    yylval.clear();
    const int token = ScanToken();
    if (token == 0) {  // end of input: start over on whatever follows
      yytext.clear();
      ResetInput();
      return 0;
    }
    if (token > 0) return token;
  }
}

int TRuleLexer::ScanToken() {
  const TLexRules& r = rules_;
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
    case '$': return Hexadecimal();
    case '/':
      if (Take() == '*') return Comment('/');
      Back(1);
      return r.slash;
    case '(':
      if (r.parenStarComments && Take() == '*') {
        // "(*)" is the all-columns argument of COUNT(*), never the start
        // of a comment that would run to the next "*)".
        if (Take() != ')') {
          Back(1);
          return Comment(')');
        }
        Back(1);
      }
      if (yytext.size() > 1) Back(yytext.size() - 1);
      yylval = yytext;
      return r.lparen;
    case '|':
      if (r.barBarIsPlus) {
        if (Take() == '|') return yylval = "+", r.plus;
        Back(1);
      }
      return r.illegal;
    case ',': return r.comma;
    case ')': return r.rparen;
    case ';': return Or(r.semicolon, r);
    case ':': return Or(r.colon, r);
    case '=': return r.eq;
    case '*': return r.star;
    case '^': return r.caret;
    case ' ': return r.blank;
    case '\t': return r.tab;
    case '\n': return r.newline;
    case '>':
      if (Take() == '=') return yylval = yytext, r.ge;
      Back(1);
      return r.gt;
    case '<': {
      const int n = Take();
      if (n == '>' || n == '=') {
        yylval = yytext;
        return n == '>' ? r.neq : r.le;
      }
      Back(1);
      return r.lt;
    }
    default: return r.illegal;
  }
}

int TRuleLexer::Identifier() {
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
  const int keyword = rules_.keyword(yytext);
  return keyword ? keyword : rules_.ident;
}

int TRuleLexer::Bracketed() {
  for (;;) {
    const int c = Take();
    if (c == 0 || c == '[') {  // unclosed: the "[" alone is illegal
      Back(yytext.size() - 1);
      yylval = yytext;
      return rules_.illegal;
    }
    if (c == ']') break;
    if (IsLead(c) && !IsTrail(Take())) Back(1);
  }
  yylval = rules_.keepDelimiters ? yytext : yytext.substr(1, yytext.size() - 2);
  return rules_.ident;
}

int TRuleLexer::Number(int first) {
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
      token = rules_.number;
    } else {
      Back(1);
      token = rules_.uint;
    }
  } else if (first == '.') {
    if (!IsDigit(Take())) {
      Back(1);
      token = rules_.dot;
    } else {
      digits();
      token = rules_.number;
      // Optional exponent: E or e, a required sign, digits.
      const size_t before = yytext.size();
      const int e = Take();
      const int s = (e == 'E' || e == 'e') ? Take() : 0;
      if ((s == '+' || s == '-') && IsDigit(Take()))
        digits();
      else
        Back(yytext.size() - before);
    }
  } else {  // a sign
    if (!IsDigit(Take())) {
      Back(1);
      token = first == '+' ? rules_.plus : rules_.minus;
    } else {
      digits();
      const size_t before = yytext.size();
      if (Take() == '.' && IsDigit(Take())) {
        digits();
        token = rules_.number;
      } else {
        Back(yytext.size() - before);
        token = rules_.sint;
      }
    }
  }
  yylval = yytext;
  return token;
}

// "$" and hexadecimal digits: the value as a decimal text; a lone "$" or a
// value beyond 32 bits is illegal.
int TRuleLexer::Hexadecimal() {
  while (IsHex(Take())) {
  }
  Back(1);
  yylval = yytext;
  if (yytext.size() == 1) return rules_.illegal;
  int value;
  if (!TryStrToInt(yytext, value)) return rules_.illegal;
  yylval = IntToStr(value);
  return rules_.number;
}

int TRuleLexer::Quoted(char quote) {
  AnsiString value;
  for (;;) {
    const int c = Take();
    if (c == 0) {  // unclosed: the opening quote alone is illegal
      Back(yytext.size() - 1);
      yylval = yytext;
      return rules_.illegal;
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
  yylval = rules_.keepDelimiters ? yytext : value;
  return rules_.string;
}

int TRuleLexer::DateLiteral() {
  for (;;) {
    const int c = Take();
    if (c == 0) {
      Back(yytext.size() - 1);
      yylval = yytext;
      return rules_.illegal;
    }
    if (c == '#') break;
  }
  return DateValue(yylval) ? rules_.number : -1;
}

// After "/*" or "(*": a comment when the first star is followed by the
// closing character; else the opening character alone is the token.
int TRuleLexer::Comment(char close) {
  for (;;) {
    const int c = Take();
    if (c == '*') {
      if (Take() == close) return yylval = yytext, rules_.comment;
      break;
    }
    if (c == 0) break;
  }
  Back(yytext.size() - 1);
  yylval = yytext;
  return close == '/' ? rules_.slash : rules_.lparen;
}
