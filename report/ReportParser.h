// TrbParser: the report engine's expression evaluator; TrbVariables, its
// lists of named values; TrbFunctionSplitter, which finds the calls of given
// functions inside an expression.  Calls platform/core only.
//
// Evaluation is two steps: ToPostfix turns infix text into a postfix byte
// string, CalcPostfix evaluates one on a stack of variants.  The script
// interpreter stores expressions in the postfix form, so its encoding is a
// stored format:
//
//   operand      the text as written + one blank: a number, a quoted string
//                (quotes and doubled quotes kept), a name (double-quoted
//                parts included), "[text]", "name[text]"; a "%x" prefix
//                stays in front of the operand it precedes
//   call         "NAME(args)" as written, no blank after it
//   operator     one byte, no blank after it:
//
//     byte  operator  kind    priority     byte  operator  kind    priority
//     6     INT       unary   0            9     sign -    unary   2
//     7     FRAC      unary   0            10    sign +    unary   2
//     11    STR       unary   0            '+'   add       binary  2
//     14    ROUND     unary   0            '-'   subtract  binary  2
//     4     OR        binary  1            1     >=        binary  3
//     5     AND       binary  1            2     <=        binary  3
//     12    NOT       unary   1            3     <>        binary  3
//     13    MOD       binary  1            '<' '=' '>'     binary  3
//     '*' '/'         binary  1            '('  (stack only)       5
//
// A smaller priority binds tighter.  OR and AND share the priority of '*',
// so "a > 1 or b > 2" means "a > (1 or b) > 2"; conditions are written with
// parentheses.  OR is a sum and AND a product of the operands; comparisons
// give the integers 1 and 0, so "(1>0) or (1>0)" is 2.
//
// Text is code-page-936 bytes: every scanner steps over a lead byte and its
// trail byte together, so a trail byte that looks like '[' or ']' never ends
// a token, and case mapping goes through AnsiUpperCase.
//
//   TrbParser p;
//   p.OnGetValue = [](const AnsiString& name, Variant& v) { v = 7; };
//   p.Calc("[Price] * 2");   // 14.0; OnGetValue was asked for "Price"
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Variant.h"

class TStrings;

// Operator codes of the postfix text.
namespace rbop {
constexpr char kGreaterEq = 1, kLessEq = 2, kNotEqual = 3, kOr = 4, kAnd = 5, kInt = 6,
               kFrac = 7, kNeg = 9, kPlus = 10, kStr = 11, kNot = 12, kMod = 13, kRound = 14;
}  // namespace rbop

using TrbGetValueEvent = std::function<void(const AnsiString& name, Variant& value)>;
using TrbFunctionEvent = std::function<void(const AnsiString& name, const Variant& p1,
                                            const Variant& p2, const Variant& p3,
                                            Variant& value)>;

class TrbParser {
 public:
  // A name the parser does not know.
  TrbGetValueEvent OnGetValue;
  // A call the parser does not know: the upper-cased name and the argument
  // texts as written (string variants; an absent argument is "").
  TrbFunctionEvent OnFunction;

  AnsiString ToPostfix(const AnsiString& expression) const;
  // Raises EParserError for an operator without its operands, MOD by zero
  // and ROUND beyond the 32-bit range; errors of the hooks pass through.
  Variant CalcPostfix(const AnsiString& postfix) const;
  Variant Calc(const AnsiString& expression) const { return CalcPostfix(ToPostfix(expression)); }

  // Token readers: pos is 1-based and is advanced.
  static AnsiString GetIdentifier(const AnsiString& text, int& pos);
  // pos on the opening quote; leaves pos after the closing quote.
  static AnsiString GetQuotedString(const AnsiString& text, int& pos);
  // pos on '(' after a name; leaves pos after the matching ')'.  At most
  // three arguments; more, or a missing ')', raise EParserError.
  static void GetFunctionParams(const AnsiString& text, int& pos, AnsiString& p1,
                                AnsiString& p2, AnsiString& p3);

 private:
  Variant CallFunction(const AnsiString& call) const;
  Variant Operand(const AnsiString& token) const;
};

// Start on '['; returns the text between it and its matching ']' (stop on
// that ']'); "" at once when text[start] is not '['.  Brackets inside single
// or double quotes do not count.  An unmatched '[' raises EParserError.
AnsiString GetBracketedVariable(const AnsiString& text, int& start, int& stop);
int OperatorPriority(char code);

// Named variants.  Unsorted until Sorted(true); names compare ignoring case.
class TrbVariables {
 public:
  TrbVariables() = default;
  TrbVariables(const TrbVariables&) = delete;
  TrbVariables& operator=(const TrbVariables&) = delete;

  void Clear() { items_.clear(); }
  // Null for an absent name.
  Variant Variable(const AnsiString& name) const;
  void SetVariable(const AnsiString& name, const Variant& value);
  // 0 outside 0..Count-1; set does nothing there.
  Variant Value(int index) const;
  void SetValue(int index, const Variant& value);
  AnsiString Name(int index) const;
  void SetName(int index, const AnsiString& name);
  int IndexOf(const AnsiString& name) const;
  int Count() const { return static_cast<int>(items_.size()); }
  void Delete(int index);
  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  void Swap(TrbVariables& other) {
    items_.swap(other.items_);
    std::swap(sorted_, other.sorted_);
  }

 private:
  void Sort();
  std::vector<std::pair<AnsiString, Variant>> items_;
  bool sorted_ = false;
};

// Finds the calls of the functions named in matchFuncs anywhere in an
// expression, following bracketed and bare names through `variables`
// (whose values are expression texts).  A variable met again inside its own
// expansion is not followed a second time.
class TrbFunctionSplitter {
 public:
  TrbFunctionSplitter(TStrings* matchFuncs, TStrings* splitTo, TrbVariables* variables)
      : matchFuncs_(matchFuncs), splitTo_(splitTo), variables_(variables) {}
  // Appends the text of every matching call (from where its token began,
  // leading blanks included, through its ')') to splitTo.
  void Split(const AnsiString& expression);

 private:
  void SplitVariable(const AnsiString& name);
  TStrings* matchFuncs_;
  TStrings* splitTo_;
  TrbVariables* variables_;
  std::vector<AnsiString> expanding_;
};
