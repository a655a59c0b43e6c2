// TsqLexer: the scanner of SQL statements, a hand-written longest-match
// scanner (between rules that match equally long texts the one listed
// first wins).  Tokens and their values (yylval):
//
//   rule                                            token  value
//   letter {letter | digit | "_"}                   kw/257 the text
//     letters are A-Z, a-z and bytes 128-255; a lead byte 0x81-0xFE takes
//     its trail byte with it, whatever it looks like ("]", "\", "|")
//   "[" {any but "[", "]", byte 0} "]"              257    with the brackets
//   digits "." [digits] | "." digits [E|e sign digits]
//     | sign digits "." digits                      260    the text
//   digits                                          258    the text
//   sign digits (also right after an operand)       259    the text
//   "$" hex digits                                  260    decimal text
//                                                   290    beyond 32 bits
//   "'" {any but "'", byte 0} "'", doubled quotes   261    as written: outer
//     inside                                               quotes and doubles
//   '"' {any but '"', byte 0} '"'                   261    as written
//   "#" date "#"                                    260    day number of the
//     date read with DateFormat (empty: "m/d/yyyy"), as text; inside a
//     WHERE clause wrapped as "DummyDate(<number>)"; a text that is no
//     date raises EConvertError "'<text>' is not a valid date"
//   , ( ) . ; : = * + - / ^ > < <> >= <=            262 263 264 265 266 267
//                                                   270 282 279 280 281 288
//                                                   272 273 271 274 275
//   "||" (string joining is addition)               279    "+"
//   "/*" {any but "*"} "*/", "(*" {any but "*"} "*)"  291 (skipped)
//     ("(*)" is never a comment: COUNT(*) keeps its parenthesis)
//   blank, tab, line feed                           292 293 294 (skipped)
//   any other byte, an unclosed quote, bracket or "#", a lone "$"   290
//
// Keywords (no regard to case) are listed in SqlLexer.cpp with their
// tokens (295 .. 384, and the operator words OR AND NOT BETWEEN IN LIKE
// MOD DIV SHL SHR).
//
// The WHERE flag: set by the keyword WHERE, cleared by GROUP, ORDER,
// SELECT and PIVOT.  A SELECT right after "(" opens a subquery: the flag
// it clears comes back at the parenthesis that closes the subquery, so
// the rest of an outer WHERE keeps its date markers.  WhereFlagBefore()
// tells the parser what the flag was before the last token was read,
// which is the flag of a construct the parser reduces with that token as
// its look-ahead.
#pragma once

#include <vector>

#include "sql/RuleLexer.h"

enum TSqlToken : int {
  stIdent = 257, stUInt, stSInt, stNumber, stString, stComma, stLParen, stRParen, stDot,
  stSemicolon, stColon, stOr, stAnd, stEq, stNEQ, stGT, stLT, stGE, stLE, stBetween, stIn,
  stLike, stPlus, stMinus, stSlash, stStar, stMod, stDiv, stShl, stShr, stCaret = 288, stNot,
  stIllegal, stComment, stBlank, stTab, stNewLine,
  stTrue = 295, stFalse, stSelect, stDistinct, stFrom, stWhere, stOrder, stBy, stAsc, stDesc,
  stAs, stInner, stOuter, stFull, stJoin, stOn, stGroup, stHaving, stAny, stAll, stSum, stAvg,
  stCount, stMin, stMax, stStdev, stLeft, stRight, stLeading, stTrailing, stBoth, stTrim,
  stExtract, stYear, stMonth, stDay, stHour, stMinute, stSecond, stFor, stSubstring, stDelete,
  stUpdate, stInsert, stInto, stValues, stSet, stCast, stChar, stInteger, stBoolean, stDate,
  stTime, stDateTime, stFloat, stEscape, stNow, stCreate, stTable, stSmallInt, stMoney,
  stAutoInc, stPrimary, stKey, stBlob, stIndex, stUnique, stDrop, stTransform, stPivot, stMerge,
  stWith, stIs, stNull, stAlter, stColumn, stAdd, stAppend, stCase, stWhen, stThen, stElse,
  stEnd, stPack, stZap, stReindex, stRange, stUsing, stFields, stTo
};

// The keyword's token, or 0 for a word that is none.
int SqlKeywordToken(const AnsiString& word);

class TsqLexer : public TRuleLexer {
 public:
  explicit TsqLexer(TStream* input);
  int yylex() override;

  // Short date format of date literals; empty means "m/d/yyyy" (and is
  // filled with it when the first literal is read).
  AnsiString DateFormat;

  bool WhereFlag() const { return where_; }
  bool WhereFlagBefore() const { return whereBefore_; }

 protected:
  bool DateValue(AnsiString& value) override;

 private:
  void Track(int token);

  bool where_ = false;
  bool whereBefore_ = false;
  int lastToken_ = 0;  // last token that is no comment or blank
  int depth_ = 0;      // open parentheses
  struct TOpenSubquery {
    int depth;         // parentheses open inside the subquery's "("
    bool where;        // the flag when the subquery began
  };
  std::vector<TOpenSubquery> subqueries_;
};
