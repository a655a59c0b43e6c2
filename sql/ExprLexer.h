// TExprLexer: the scanner of the expression language, a hand-written
// longest-match scanner (between rules that match equally long texts the
// one listed first wins).  Tokens and their values:
//
//   rule                                            token  value
//   letter {letter | digit | "_"}                   kw/257 the text
//     letters are A-Z, a-z and bytes 128-255; a lead byte 0x81-0xFE takes
//     its trail byte with it, whatever it looks like ("]", "\", "|")
//   "[" {any but "[", "]", byte 0} "]"              257    without brackets
//     (a double-byte character inside is one character)
//   digits "." [digits] | "." digits [E|e sign digits]
//     | sign digits "." digits                      260    the text
//   digits                                          258    the text
//   sign digits                                     259    the text
//   "$" hex digits                                  260    decimal text
//                                                   289    beyond 32 bits
//   "'" {any but "'", byte 0} "'", doubled quotes   261    without the
//     inside                                               outer quotes, the
//                                                          doubles undone
//   '"' {any but '"', byte 0} '"'                   261    without quotes
//   "#" {any but "#", byte 0} "#" of 10 or more     260    day number of the
//     bytes: a date "m/d/yyyy"                             date, as text
//     (shorter: no token; an invalid date raises EConvertError)
//   , ( ) > < = <> >= <= . * + - ^ /                262 263 264 271 272 269
//                                                   270 273 274 265 282 278
//                                                   279 287 280
//   "/*" {any but "*"} "*/"                         290 (skipped)
//   blank, tab, line feed                           291 292 293 (skipped)
//   any other byte, an unclosed quote, bracket or "#", a lone "$"   289
//
// Keywords (no regard to case): AND OR XOR NOT MOD TRUE FALSE LIKE STRING
// FLOAT INTEGER BOOLEAN SHL SHR IN BETWEEN DIV CASE WHEN THEN ELSE IF CAST
// ESCAPE AS END.
#pragma once

#include "sql/RuleLexer.h"

enum TExprToken : int {
  etIdent = 257, etUInt, etSInt, etNumber, etString, etComma, etLParen, etRParen, etDot,
  etOr, etXor, etAnd, etEq, etNEQ, etGT, etLT, etGE, etLE, etBetween, etIn, etLike,
  etPlus, etMinus, etSlash, etDiv, etStar, etMod, etShl, etShr, etCaret = 287, etNot,
  etIllegal, etComment, etBlank, etTab, etNewLine,
  etTrue = 294, etFalse, etKwString, etKwFloat, etKwInteger, etKwBoolean, etCase, etWhen,
  etThen, etElse, etEnd, etIf, etCast, etAs, etEscape
};

// The keyword's token, or 0 for a word that is none.
int ExprKeywordToken(const AnsiString& word);

class TExprLexer : public TRuleLexer {
 public:
  explicit TExprLexer(TStream* input);
  int yylex() override;

 protected:
  bool DateValue(AnsiString& value) override;
};
