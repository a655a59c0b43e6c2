// The SQL scanner: the shared scanner routine (RuleLexer.h) with the SQL
// rule table, the keyword table, date literals and the WHERE flag.
#include "sql/SqlLexer.h"

#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/NumFormat.h"
#include "sql/SqlMessages.h"

namespace {

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

const TLexRules kSqlRules = {
    stIdent, stUInt, stSInt, stNumber, stString,
    stComma, stLParen, stRParen, stDot, stSemicolon, stColon,
    stEq, stNEQ, stGT, stLT, stGE, stLE,
    stPlus, stMinus, stStar, stSlash, stCaret,
    stIllegal, stComment, stBlank, stTab, stNewLine,
    /*barBarIsPlus=*/true, /*parenStarComments=*/true, /*keepDelimiters=*/true, SqlKeywordToken,
};

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

TsqLexer::TsqLexer(TStream* input) : TRuleLexer(input, kSqlRules) {}

int TsqLexer::yylex() {
  const int token = NextToken();
  if (token == 0) {
    whereBefore_ = where_;
    return 0;
  }
  if (!IsSkip(token)) Track(token);
  return token;
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

bool TsqLexer::DateValue(AnsiString& value) {
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
  value = FloatToStr(date, dot);
  if (where_) value = "DummyDate(" + value + ")";
  return true;
}
