// StrCon: TStringCollection, the payroll program's toolbox of text
// operations on code-page-936 byte strings (fixed-width output, numbers
// filled to a width, settings values split into fields, replacement in
// formulas and conditions) and its two small interpreters, the formula
// evaluator and the condition evaluator.  The unit holds exactly one
// instance, StrCon, which every caller uses; the class has no state.
//
// Positions are 1-based byte positions; a "character" is a byte.  Widths
// are 16-bit signed: a positive width fills on the right (PadText) and a
// negative one on the left; IntToFixed turns that round so that a positive
// width right-aligns a number.
//
// Evaluators (single pass, operator precedence with explicit stacks whose
// priorities carry +2 per open parenthesis):
//   EvaluateFormula: numbers and field operands with + - * /; "*" and "/"
//     bind tighter, equal priorities go left to right, a unary minus only at
//     the very start ("-5+2" is 0-5+2; "2*-3" is an error).  An operand
//     "F_name" (any case of F_) is the field `name`, an operand beginning
//     with a capital F is the field of that name.
//   EvaluateCondition: comparisons (= > < >= <= <>) and Boolean fields
//     (optionally "not "), joined by "and"/"or" of ONE priority, left to
//     right: "a or b and c" is (a or b) and c.  Quoted right sides compare
//     texts byte-wise, others compare numbers through EvaluateFormula.
// Syntax errors come back through the Error flag; a name that is no field
// of the dataset raises the dataset's "field not found" error, and a
// division by zero raises EZeroDivide.
//
// App layer: calls platform/core and the dataset interface only.
#pragma once

#include <cstdint>

#include "platform/core/AnsiString.h"
#include "platform/core/Sets.h"

class TDataSet;
class TStringList;

// A set of byte values (delimiters of whole-word replacement).
using TCharSet = TSet<unsigned char, 256>;

class TStringCollection {
 public:
  AnsiString UpperCase(const AnsiString& s) const;
  int PosText(const AnsiString& sub, const AnsiString& s, bool ignoreCase, int start) const;
  AnsiString PadText(const AnsiString& s, std::int16_t width, char fill) const;
  AnsiString FitText(const AnsiString& s, std::int16_t width, char fill) const;
  AnsiString RepeatChar(char c, int n) const;
  AnsiString TrimChar(const AnsiString& s, char c) const;
  AnsiString IntText(std::int32_t n) const;
  AnsiString IntToFixed(std::int32_t n, std::int16_t width, char fill) const;
  AnsiString ByteToFixed(std::uint8_t b, std::int16_t width, char fill) const;
  AnsiString FloatToFixed(const AnsiString& format, double value, std::int16_t width, char fill) const;

  // One replacement step from pos (0 counts as 1): on a match, result is
  // source with the match replaced and pos points behind the inserted text;
  // without one, result is source and pos is 0.
  void ReplaceNext(const AnsiString& oldText, const AnsiString& newText, const TCharSet& delims, int& pos,
                   AnsiString& result, bool matchCase, bool wholeWord, const AnsiString& source) const;
  void ReplaceAll(const AnsiString& oldText, const AnsiString& newText, AnsiString& result,
                  const TCharSet& delims, bool matchCase, bool wholeWord, const AnsiString& source) const;
  // Case-sensitive replacement of every occurrence.
  void ReplaceText(const AnsiString& oldText, const AnsiString& newText, AnsiString& result,
                   const AnsiString& source) const;
  AnsiString CopyText(const AnsiString& s, int index, int count) const;
  // Field n (from 1) of s split at delim; "" beyond the last field.
  void GetDelimitedField(const AnsiString& s, int n, AnsiString& result, char delim) const;
  // Fields 1, 2, ... until the first empty one; the caller owns the list.
  TStringList* SplitDelimited(const AnsiString& s, char delim) const;

  // expr empty: value 0, error untouched.  dataSet may be null (then a
  // field operand is an error).
  void EvaluateFormula(const AnsiString& expr, TDataSet* dataSet, double& value, bool& error) const;
  // cond empty: value true, error untouched.
  void EvaluateCondition(const AnsiString& cond, TDataSet* dataSet, bool& value, bool& error) const;

 private:
  bool ConditionToken(const AnsiString& token, TDataSet* dataSet, bool& error) const;
};

extern TStringCollection* const StrCon;

// The text as an SQL or filter string literal: enclosed in single quotes,
// every embedded single quote doubled, so that what an operator typed can
// never end the literal and change the statement.
AnsiString QuotedStr(const AnsiString& s);
// True when text can stand in a statement by itself as one name (a column
// or its alias): a letter (A-Z, a-z or a byte from 128, a double-byte
// character's lead byte taking its trail byte whatever it is) followed by
// letters, digits and "_", and no word of the SQL dialect.  The dialect
// cannot quote an alias without the quotes becoming part of it, so texts
// from gz.ini or the report structure that fail this are refused, never
// placed in a statement.
bool IsSqlName(const AnsiString& text);
