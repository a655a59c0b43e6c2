// The SQL scanner; the rules are listed in SqlLexer.h.  Every branch reads
// as far as its rule could go and pushes back what lies beyond the token it
// settles on, so the column bookkeeping of TCustomLexer holds.
#include "sql/SqlLexer.h"

#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/NumFormat.h"
#include "sql/SqlMessages.h"

namespace {

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsHex(int c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool IsLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128; }
bool IsLead(int c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrail(int c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// In the order they are compared; the first equal word wins.
const struct {
  const char* word;
  int token;
} kKeywords[] = {
    {"SELECT", stSelect},     {"DISTINCT", stDistinct}, {"TRUE", stTrue},
    {"FALSE", stFalse},       {"AND", stAnd},           {"OR", stOr},
    {"NOT", stNot},           {"FROM", stFrom},         {"WHERE", stWhere},
    {"ORDER", stOrder},       {"BY", stBy},             {"ASC", stAsc},
    {"DESC", stDesc},         {"AS", stAs},             {"INNER", stInner},
    {"OUTER", stOuter},       {"FULL", stFull},         {"JOIN", stJoin},
    {"ON", stOn},             {"GROUP", stGroup},       {"ANY", stAny},
    {"ALL", stAll},           {"SUM", stSum},           {"AVG", stAvg},
    {"COUNT", stCount},       {"MIN", stMin},           {"MAX", stMax},
    {"STDEV", stStdev},       {"BETWEEN", stBetween},   {"IN", stIn},
    {"LIKE", stLike},         {"LEFT", stLeft},         {"RIGHT", stRight},
    {"HAVING", stHaving},     {"LEADING", stLeading},   {"TRAILING", stTrailing},
    {"BOTH", stBoth},         {"TRIM", stTrim},         {"EXTRACT", stExtract},
    {"YEAR", stYear},         {"MONTH", stMonth},       {"DAY", stDay},
    {"HOUR", stHour},         {"MINUTE", stMinute},     {"SECOND", stSecond},
    {"SUBSTRING", stSubstring}, {"FOR", stFor},         {"DELETE", stDelete},
    {"UPDATE", stUpdate},     {"INSERT", stInsert},     {"INTO", stInto},
    {"VALUES", stValues},     {"SET", stSet},           {"CAST", stCast},
    {"CHAR", stChar},         {"INTEGER", stInteger},   {"BOOLEAN", stBoolean},
    {"DATE", stDate},         {"DATETIME", stDateTime}, {"TIME", stTime},
    {"FLOAT", stFloat},       {"NUMERIC", stFloat},     {"ESCAPE", stEscape},
    {"CREATE", stCreate},     {"TABLE", stTable},       {"SMALLINT", stSmallInt},
    {"MONEY", stMoney},       {"AUTOINC", stAutoInc},   {"PRIMARY", stPrimary},
    {"KEY", stKey},           {"BLOB", stBlob},         {"NOW", stNow},
    {"INDEX", stIndex},       {"UNIQUE", stUnique},     {"DROP", stDrop},
    {"TRANSFORM", stTransform}, {"PIVOT", stPivot},     {"MERGE", stMerge},
    {"WITH", stWith},         {"IS", stIs},             {"NULL", stNull},
    {"MOD", stMod},           {"DIV", stDiv},           {"SHL", stShl},
    {"SHR", stShr},           {"ALTER", stAlter},       {"COLUMN", stColumn},
    {"ADD", stAdd},           {"APPEND", stAppend},     {"CASE", stCase},
    {"WHEN", stWhen},         {"THEN", stThen},         {"ELSE", stElse},
    {"END", stEnd},           {"PACK", stPack},         {"ZAP", stZap},
    {"REINDEX", stReindex},   {"FIELDS", stFields},     {"USING", stUsing},
    {"RANGE", stRange},       {"TO", stTo},
};
static_assert(sizeof kKeywords / sizeof kKeywords[0] == 101);

bool IsSkip(int token) {
  return token == stComment || token == stBlank || token == stTab || token == stNewLine;
}

}  // namespace

int SqlKeywordToken(const AnsiString& word) {
  if (word.size() > 10) return 0;
  for (const auto& k : kKeywords)
    if (SameText(word, k.word)) return k.token;
  return 0;
}

int TsqLexer::yylex() {
  for (;;) {
    yytext.clear();
    yylval.clear();
    int token = Scan();
    if (token == 0) {  // end of input: start over on whatever follows
      yytext.clear();
      ResetInput();
      whereBefore_ = where_;
      return 0;
    }
    if (token < 0) continue;
    if (!IsSkip(token)) Track(token);
    return token;
  }
}

// Keeps the WHERE flag and the subqueries' parentheses.
void TsqLexer::Track(int token) {
  whereBefore_ = where_;
  switch (token) {
    case stWhere: where_ = true; break;
    case stSelect:
      if (lastToken_ == stLParen) subqueries_.push_back({depth_, where_});
      where_ = false;
      break;
    case stGroup: case stOrder: case stPivot: where_ = false; break;
    case stLParen: ++depth_; break;
    case stRParen:
      if (!subqueries_.empty() && subqueries_.back().depth == depth_) {
        where_ = subqueries_.back().where;
        subqueries_.pop_back();
      }
      if (depth_ > 0) --depth_;
      break;
    default: break;
  }
  lastToken_ = token;
}

int TsqLexer::Scan() {
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
    case '/':
      if (Take() == '*') return Comment('/');
      Back(1);
      return stSlash;
    case '(': {
      // "(*)" is the all-columns argument of COUNT(*), never the start of
      // a comment that would run to the next "*)".
      const int n = Take();
      if (n == '*') {
        if (Take() != ')') {
          Back(1);
          return Comment(')');
        }
        Back(1);
      }
      Back(1);
      return stLParen;
    }
    case '|':
      if (Take() == '|') return yylval = "+", stPlus;
      Back(1);
      return stIllegal;
    case '$': {
      while (IsHex(Take())) {
      }
      Back(1);
      yylval = yytext;
      if (yytext.size() == 1) return stIllegal;
      int value;
      if (!TryStrToInt(yytext, value)) return stIllegal;
      yylval = IntToStr(value);
      return stNumber;
    }
    case ',': return stComma;
    case ')': return stRParen;
    case ';': return stSemicolon;
    case ':': return stColon;
    case '=': return stEq;
    case '*': return stStar;
    case '^': return stCaret;
    case ' ': return stBlank;
    case '\t': return stTab;
    case '\n': return stNewLine;
    case '>':
      if (Take() == '=') return yylval = yytext, stGE;
      Back(1);
      return stGT;
    case '<': {
      int n = Take();
      if (n == '>' || n == '=') {
        yylval = yytext;
        return n == '>' ? stNEQ : stLE;
      }
      Back(1);
      return stLT;
    }
    default: return stIllegal;
  }
}

int TsqLexer::Identifier() {
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
  int keyword = SqlKeywordToken(yytext);
  return keyword ? keyword : stIdent;
}

int TsqLexer::Bracketed() {
  for (;;) {
    int c = Take();
    if (c == 0 || c == '[') {  // unclosed: the "[" alone is illegal
      Back(yytext.size() - 1);
      yylval = yytext;
      return stIllegal;
    }
    if (c == ']') break;
    if (IsLead(c) && !IsTrail(Take())) Back(1);
  }
  yylval = yytext;
  return stIdent;
}

int TsqLexer::Number(int first) {
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
      token = stNumber;
    } else {
      Back(1);
      token = stUInt;
    }
  } else if (first == '.') {
    if (!IsDigit(Take())) {
      Back(1);
      token = stDot;
    } else {
      digits();
      token = stNumber;
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
      token = first == '+' ? stPlus : stMinus;
    } else {
      digits();
      size_t before = yytext.size();
      if (Take() == '.' && IsDigit(Take())) {
        digits();
        token = stNumber;
      } else {
        Back(yytext.size() - before);
        token = stSInt;
      }
    }
  }
  yylval = yytext;
  return token;
}

int TsqLexer::Quoted(char quote) {
  for (;;) {
    int c = Take();
    if (c == 0) {  // unclosed: the opening quote alone is illegal
      Back(yytext.size() - 1);
      yylval = yytext;
      return stIllegal;
    }
    if (c == quote) {
      if (quote == '\'') {
        if (Take() == '\'') continue;  // a doubled quote stays in the string
        Back(1);
      }
      break;
    }
  }
  yylval = yytext;
  return stString;
}

int TsqLexer::DateLiteral() {
  for (;;) {
    int c = Take();
    if (c == 0) {
      Back(yytext.size() - 1);
      yylval = yytext;
      return stIllegal;
    }
    if (c == '#') break;
  }
  // Every literal is read as a date, short ones (#1/2/03#) included: one
  // that gave no token would silently vanish from the statement.
  if (DateFormat.empty()) DateFormat = SqlMessage(kSqlDefaultDateFormat);
  TFormatSettings fs = DefaultFormatSettings();
  fs.ShortDateFormat = DateFormat;
  for (char f : DateFormat) {
    char u = static_cast<char>(f & ~0x20);
    if (u != 'D' && u != 'M' && u != 'Y') {
      fs.DateSeparator = f;
      break;
    }
  }
  TDateTime date = StrToDate(yytext.substr(1, yytext.size() - 2), fs);
  TFormatSettings dot;
  dot.DecimalSeparator = '.';
  yylval = FloatToStr(date, dot);
  if (where_) yylval = "DummyDate(" + yylval + ")";
  return stNumber;
}

// After "/*" or "(*": a comment when the first star is followed by the
// closing character; else the opening character alone is the token.
int TsqLexer::Comment(char close) {
  for (;;) {
    int c = Take();
    if (c == '*') {
      if (Take() == close) return yylval = yytext, stComment;
      break;
    }
    if (c == 0) break;
  }
  Back(yytext.size() - 1);
  yylval = yytext;
  return close == '/' ? stSlash : stLParen;
}
