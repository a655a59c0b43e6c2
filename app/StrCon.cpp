// TStringCollection: text operations and the formula and condition
// evaluators.  See StrCon.h for the contract.
#include "app/StrCon.h"

#include <cstdio>

#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Strings.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "sql/SqlLexer.h"

namespace {
TStringCollection theStrCon;
}  // namespace

TStringCollection* const StrCon = &theStrCon;

AnsiString QuotedStr(const AnsiString& s) {
  AnsiString r = "'";
  for (char c : s) {
    r += c;
    if (c == '\'') r += '\'';
  }
  r += '\'';
  return r;
}

bool IsSqlName(const AnsiString& text) {
  // The scanner's rule for a word (sql/SqlLexer.h).
  const auto letter = [](unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128; };
  const auto trail = [](unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; };
  if (text.empty() || !letter(static_cast<unsigned char>(text[0]))) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '_') return false;
    if (IsDBCSLeadByte(c) && i + 1 < text.size() && trail(static_cast<unsigned char>(text[i + 1]))) ++i;
  }
  return SqlKeywordToken(text) == 0;
}

// --- text operations --------------------------------------------------------

AnsiString TStringCollection::UpperCase(const AnsiString& s) const { return AnsiUpperCase(s); }

int TStringCollection::PosText(const AnsiString& sub, const AnsiString& s, bool ignoreCase, int start) const {
  if (sub.empty()) return 0;
  const AnsiString needle = ignoreCase ? UpperCase(sub) : sub;
  const AnsiString hay = ignoreCase ? UpperCase(s) : s;
  size_t from = start > 1 ? static_cast<size_t>(start - 1) : 0;
  if (from >= hay.size()) return 0;
  size_t at = hay.find(needle, from);
  return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

AnsiString TStringCollection::PadText(const AnsiString& s, std::int16_t width, char fill) const {
  const int w = width < 0 ? -width : width;
  if (s.Length() >= w) return s;
  const AnsiString fillText(static_cast<size_t>(w - s.Length()), fill);
  return width >= 0 ? AnsiString(s + fillText) : AnsiString(fillText + s);
}

AnsiString TStringCollection::FitText(const AnsiString& s, std::int16_t width, char fill) const {
  const int w = width < 0 ? -width : width;
  return PadText(s, width, fill).substr(0, static_cast<size_t>(w));
}

AnsiString TStringCollection::RepeatChar(char c, int n) const {
  return n > 0 ? AnsiString(static_cast<size_t>(n), c) : AnsiString();
}

AnsiString TStringCollection::TrimChar(const AnsiString& s, char c) const {
  const auto limit = static_cast<unsigned char>(c);
  size_t first = 0, last = s.size();
  while (first < last && static_cast<unsigned char>(s[first]) <= limit) ++first;
  while (last > first && static_cast<unsigned char>(s[last - 1]) <= limit) --last;
  return s.substr(first, last - first);
}

AnsiString TStringCollection::IntText(std::int32_t n) const { return IntToStr(n); }

AnsiString TStringCollection::IntToFixed(std::int32_t n, std::int16_t width, char fill) const {
  const AnsiString text = IntText(n);
  // -width fits 16 bits except for -32768, whose padding is the same.
  return width != 0 ? PadText(text, static_cast<std::int16_t>(-static_cast<int>(width)), fill) : text;
}

AnsiString TStringCollection::ByteToFixed(std::uint8_t b, std::int16_t width, char fill) const {
  return IntToFixed(b, width, fill);
}

AnsiString TStringCollection::FloatToFixed(const AnsiString& format, double value, std::int16_t width,
                                           char fill) const {
  AnsiString text;
  try {
    text = FormatFloat(format, value);
  } catch (const Exception&) {
    text.clear();
  }
  return width != 0 ? PadText(text, static_cast<std::int16_t>(-static_cast<int>(width)), fill) : text;
}

void TStringCollection::ReplaceNext(const AnsiString& oldText, const AnsiString& newText, const TCharSet& delims,
                                    int& pos, AnsiString& result, bool matchCase, bool wholeWord,
                                    const AnsiString& source) const {
  if (pos == 0) pos = 1;
  const bool checkWords = wholeWord && !delims.Empty();
  for (;;) {
    pos = PosText(oldText, source, !matchCase, pos);
    if (pos == 0) break;
    if (!checkWords) break;
    const size_t at = static_cast<size_t>(pos - 1);
    const size_t end = at + oldText.size();
    const bool before = at == 0 || delims.Contains(static_cast<unsigned char>(source[at - 1]));
    const bool after = end >= source.size() || delims.Contains(static_cast<unsigned char>(source[end]));
    if (before && after) break;
    ++pos;  // not a whole word: search on from the next byte
  }
  if (pos == 0) {
    result = source;
    return;
  }
  const size_t at = static_cast<size_t>(pos - 1);
  result = source.substr(0, at) + newText + source.substr(at + oldText.size());
  pos += newText.Length();
}

void TStringCollection::ReplaceAll(const AnsiString& oldText, const AnsiString& newText, AnsiString& result,
                                   const TCharSet& delims, bool matchCase, bool wholeWord,
                                   const AnsiString& source) const {
  result = source;
  if (oldText.empty()) return;
  int pos = 1;
  while (pos != 0) {
    const AnsiString current = result;
    ReplaceNext(oldText, newText, delims, pos, result, matchCase, wholeWord, current);
  }
}

void TStringCollection::ReplaceText(const AnsiString& oldText, const AnsiString& newText, AnsiString& result,
                                    const AnsiString& source) const {
  ReplaceAll(oldText, newText, result, TCharSet(), true, false, source);
}

AnsiString TStringCollection::CopyText(const AnsiString& s, int index, int count) const {
  return s.SubString(index, count);
}

void TStringCollection::GetDelimitedField(const AnsiString& s, int n, AnsiString& result, char delim) const {
  // Iterative form of "field n of s is field n-1 of the part after the
  // first delimiter".
  size_t start = 0;
  for (int field = 1;; ++field) {
    const size_t p = s.find(delim, start);
    if (p == std::string::npos) {
      result = field == n ? AnsiString(s.substr(start)) : AnsiString();
      return;
    }
    if (field == n) {
      result = s.substr(start, p - start);
      return;
    }
    if (field > n) {  // n < 1
      result.clear();
      return;
    }
    start = p + 1;
  }
}

TStringList* TStringCollection::SplitDelimited(const AnsiString& s, char delim) const {
  auto* list = new TStringList;
  for (int n = 1;; ++n) {
    AnsiString field;
    GetDelimitedField(s, n, field, delim);
    if (field.empty()) break;
    list->Add(field);
  }
  return list;
}

// --- evaluators -------------------------------------------------------------

namespace {

// The stored formulas and conditions hold at most 254 bytes, so at most
// 128 operands and operators; a longer text that fills the stacks is
// reported as an error instead of overrunning them.
constexpr int kStackCapacity = 256;

template <class T>
struct TFixedStack {
  T items[kStackCapacity];
  int count = 0;
  bool Push(const T& v) {
    if (count == kStackCapacity) return false;
    items[count++] = v;
    return true;
  }
  T Pop() { return items[--count]; }
  const T& Top() const { return items[count - 1]; }
  bool Empty() const { return count == 0; }
};

struct TOp {
  char op = 0;
  int priority = 0;
};

double Apply(char op, double a, double b) {
  switch (op) {
    case '+': return a + b;
    case '-': return a - b;
    case '*': return a * b;
    default:
      if (b == 0) {
        if (a == 0) throw EInvalidOp("Invalid floating point operation");
        throw EZeroDivide("Floating point division by zero");
      }
      return a / b;
  }
}

// Pops the two topmost values and the top operator and pushes the result.
// False when the stacks do not hold what a step needs (unbalanced input).
bool ReduceFormula(TFixedStack<double>& values, TFixedStack<TOp>& ops) {
  if (values.count < 2 || ops.Empty()) return false;
  const double b = values.Pop();
  const double a = values.Pop();
  values.Push(Apply(ops.Pop().op, a, b));
  return true;
}

// The number written in an operand: leading blanks are skipped; anything
// else that is no plain number (a blank inside, a thousands separator)
// fails.
bool OperandNumber(const AnsiString& operand, double& value) {
  size_t first = 0;
  while (first < operand.size() && operand[first] == ' ') ++first;
  const AnsiString text = operand.substr(first);
  if (text.empty()) return false;
  for (char c : text)
    if (static_cast<unsigned char>(c) <= ' ') return false;
  static const TFormatSettings fs = [] {
    TFormatSettings f = DefaultFormatSettings();
    f.DecimalSeparator = '.';
    f.ThousandSeparator = 0;
    return f;
  }();
  return TryStrToFloat(text, value, fs);
}

bool IsFormulaOperator(char c) { return c == '+' || c == '-' || c == '*' || c == '/'; }

}  // namespace

void TStringCollection::EvaluateFormula(const AnsiString& expr, TDataSet* dataSet, double& value,
                                        bool& error) const {
  if (expr.empty()) {
    value = 0;
    return;
  }
  error = false;
  AnsiString text = expr;
  if (text[0] == '-') text.insert(text.begin(), '0');
  text += '+';  // sentinel: flushes the stacks

  TFixedStack<double> values;
  TFixedStack<TOp> ops;
  AnsiString operand;
  int bonus = 0;
  bool afterOperator = false;
  for (char c : text) {
    if (afterOperator && IsFormulaOperator(c)) {
      error = true;
      break;
    }
    if (c == '(') { bonus += 2; continue; }
    if (c == ')') { bonus -= 2; continue; }
    if (!IsFormulaOperator(c)) {
      operand += c;
      afterOperator = false;
      continue;
    }
    afterOperator = true;
    double number = 0;
    if (operand.empty()) {
      error = true;
    } else if (operand.size() >= 2 && (operand[0] == 'F' || operand[0] == 'f') && operand[1] == '_') {
      if (!dataSet) error = true;
      else number = dataSet->FieldByName(operand.substr(2, 30))->AsFloat();
    } else if (operand[0] == 'F') {
      if (!dataSet) error = true;
      else number = dataSet->FieldByName(operand)->AsFloat();
    } else if (!OperandNumber(operand, number)) {
      error = true;
    }
    operand.clear();
    if (!values.Push(number)) { error = true; break; }
    const int priority = (c == '*' || c == '/' ? 2 : 1) + bonus;
    while (!ops.Empty() && priority <= ops.Top().priority)
      if (!ReduceFormula(values, ops)) { error = true; break; }
    if (!ops.Push(TOp{c, priority})) { error = true; break; }
  }
  if (error) {
    value = 0;
    return;
  }
  ops.Pop();  // the sentinel
  while (!ops.Empty())
    if (!ReduceFormula(values, ops)) { error = true; break; }
  value = values.Empty() ? 0 : values.items[0];
}

namespace {

// Comparison operators of a condition token after the rewriting.
constexpr char kCompareOps[] = {'>', '<', '=', '@', '$', '#'};

bool Compare(char op, int order) {
  switch (op) {
    case '>': return order > 0;
    case '<': return order < 0;
    case '=': return order == 0;
    case '@': return order >= 0;
    case '$': return order <= 0;
    default: return order != 0;  // '#'
  }
}

int Order(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

int Order(const AnsiString& a, const AnsiString& b) {
  const int r = a.compare(b);  // byte-wise: std::string compares as unsigned char
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

char FoundOperator(const AnsiString& token) {
  for (char op : kCompareOps)
    if (token.find(op) != std::string::npos) return op;
  return 0;
}

}  // namespace

bool TStringCollection::ConditionToken(const AnsiString& token, TDataSet* dataSet, bool& error) const {
  // The operator's position: the sum of the positions of the operator
  // characters (one of them is expected in a comparison).
  int p = token.Pos("!");
  for (char op : kCompareOps) p += token.Pos(AnsiString(op));
  if (p == 0) {
    if (!dataSet) {
      error = true;
      return false;
    }
    return dataSet->FieldByName(token)->AsBoolean();
  }
  const AnsiString left = token.SubString(1, p - 1);
  const AnsiString right = token.SubString(p + 1, token.Length());
  const bool quoted = !right.empty() && right[0] == '\'';
  if (right.empty() || (left.empty() && quoted)) {
    error = true;
    return false;
  }
  if (quoted) {
    AnsiString leftText;
    if (left[0] == '\'') {
      leftText = left.SubString(2, left.Length() - 2);
    } else if (!dataSet) {
      error = true;
      return false;
    } else {
      leftText = dataSet->FieldByName(left)->AsString();
    }
    const AnsiString rightText = right.SubString(2, right.Length() - 2);
    const char op = FoundOperator(token);
    return op != 0 && Compare(op, Order(leftText, rightText));
  }
  if (token.Pos("!") == 0) {
    double a = 0, b = 0;
    bool ignored = false;
    EvaluateFormula(left, dataSet, a, ignored);
    EvaluateFormula(right, dataSet, b, ignored);
    return Compare(FoundOperator(token), Order(a, b));
  }
  if (!dataSet) {
    error = true;
    return false;
  }
  return !dataSet->FieldByName(token.SubString(2, token.Length()))->AsBoolean();
}

void TStringCollection::EvaluateCondition(const AnsiString& cond, TDataSet* dataSet, bool& value,
                                          bool& error) const {
  if (cond.empty()) {
    value = true;
    return;
  }
  error = false;
  static const char* const kRewrites[][2] = {{"not ", "!"}, {"and ", "&"}, {"or ", "|"},
                                             {">=", "@"},   {"<=", "$"},   {"<>", "#"}};
  AnsiString text = cond;
  for (const auto& rw : kRewrites) {
    AnsiString rewritten;
    ReplaceAll(rw[0], rw[1], rewritten, TCharSet(), false, false, text);
    text = rewritten;
  }
  AnsiString compact;
  for (char c : text)
    if (c != ' ') compact += c;
  compact += '&';  // sentinel

  TFixedStack<bool> values;
  TFixedStack<TOp> ops;
  AnsiString token;
  int bonus = 0;
  bool afterOperator = false;
  auto reduce = [&]() {
    if (values.count < 2 || ops.Empty()) return false;
    const bool b = values.Pop();
    const bool a = values.Pop();
    values.Push(ops.Pop().op == '&' ? (a && b) : (a || b));
    return true;
  };
  for (char c : compact) {
    const bool isOp = c == '&' || c == '|';
    if (afterOperator && isOp) {
      error = true;
      break;
    }
    if (c == '(') { bonus += 2; continue; }
    if (c == ')') { bonus -= 2; continue; }
    if (!isOp) {
      token += c;
      afterOperator = false;
      continue;
    }
    afterOperator = true;
    const bool result = ConditionToken(token, dataSet, error);
    token.clear();
    if (!values.Push(result)) { error = true; break; }
    const int priority = 1 + bonus;
    while (!ops.Empty() && priority <= ops.Top().priority)
      if (!reduce()) { error = true; break; }
    if (!ops.Push(TOp{c, priority})) { error = true; break; }
  }
  if (error) {
    value = false;
    return;
  }
  ops.Pop();  // the sentinel
  while (!ops.Empty())
    if (!reduce()) { error = true; break; }
  value = !values.Empty() && values.items[0];
}
