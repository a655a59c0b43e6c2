// TrbParser, TrbVariables, TrbFunctionSplitter (format and rules in
// ReportParser.h).
#include "report/ReportParser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Strings.h"

namespace {

using uchar = unsigned char;

// Byte at 1-based position i, 0 past the end.
char At(const AnsiString& s, int i) {
  return i >= 1 && i <= s.Length() ? s[static_cast<size_t>(i - 1)] : '\0';
}

// A lead byte with its trail byte inside the text: both are one character.
bool IsPair(const AnsiString& s, int i) {
  return IsDBCSLeadByte(static_cast<uchar>(At(s, i))) && i < s.Length();
}

bool IsIdentifierDelimiter(char c) {
  return std::strchr("\r ()*+-/<=>[", c) != nullptr && c != '\0';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsBinary(char c) {
  switch (c) {
    case '+': case '-': case '*': case '/': case '<': case '=': case '>':
    case rbop::kGreaterEq: case rbop::kLessEq: case rbop::kNotEqual:
    case rbop::kOr: case rbop::kAnd: case rbop::kMod:
      return true;
    default:
      return false;
  }
}

bool IsUnary(char c) {
  switch (c) {
    case rbop::kInt: case rbop::kFrac: case rbop::kStr: case rbop::kRound:
    case rbop::kNot: case rbop::kNeg: case rbop::kPlus:
      return true;
    default:
      return false;
  }
}

char KeywordOperator(const AnsiString& upper) {
  static const std::pair<const char*, char> kWords[] = {
      {"INT", rbop::kInt}, {"FRAC", rbop::kFrac}, {"ROUND", rbop::kRound},
      {"OR", rbop::kOr},   {"AND", rbop::kAnd},   {"NOT", rbop::kNot},
      {"STR", rbop::kStr}, {"MOD", rbop::kMod}};
  for (const auto& [word, code] : kWords)
    if (upper == word) return code;
  return 0;
}

AnsiString Unquote(const AnsiString& quoted) {
  AnsiString r;
  int n = quoted.Length();
  int end = n >= 2 && quoted[static_cast<size_t>(n - 1)] == '\'' ? n - 1 : n;
  for (int i = 2; i <= end; ++i) {
    char c = At(quoted, i);
    r += c;
    if (c == '\'' && At(quoted, i + 1) == '\'') ++i;
  }
  return r;
}

Variant NumberOperand(AnsiString token) {
  const TFormatSettings& fs = DefaultFormatSettings();
  for (char& c : token)
    if (c == ',' || c == '.') c = fs.DecimalSeparator;
  return Variant(StrToFloat(token, fs));
}

// The condition of IF as a number, without a detour through its text:
// True is -1, Null and Unassigned are 0.
double ConditionValue(const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return 0;
  return v.AsDouble();
}

// INT and FRAC first snap a value lying within 1E-10 of a whole number.
double Snapped(double x) {
  double r = std::round(x);
  return std::fabs(x - r) < 1e-10 ? r : x;
}

Variant Compare(char op, const Variant& a, const Variant& b) {
  bool r = false;
  switch (op) {
    case '>': r = a > b; break;
    case '<': r = a < b; break;
    case '=': r = a == b; break;
    case rbop::kNotEqual: r = a != b; break;
    case rbop::kGreaterEq: r = a >= b; break;
    case rbop::kLessEq: r = a <= b; break;
  }
  return Variant(r ? 1 : 0);
}

Variant ApplyBinary(char op, const Variant& a, const Variant& b) {
  switch (op) {
    case '+': case rbop::kOr: return a + b;
    case '-': return a - b;
    case '*': case rbop::kAnd: return a * b;
    case '/':
      if (b == Variant(0)) return Variant(0);
      return a / b;
    case rbop::kMod:
      if (!b.IsNull() && b == Variant(0)) throw EDivByZero("MOD by zero");
      return a % b;
    default:
      return Compare(op, a, b);
  }
}

Variant ApplyUnary(char op, const Variant& x) {
  switch (op) {
    case rbop::kInt: {
      double v = Snapped(x.AsDouble());
      return Variant(std::trunc(v));
    }
    case rbop::kFrac: {
      double v = Snapped(x.AsDouble());
      return Variant(v - std::trunc(v));
    }
    case rbop::kRound: {
      double v = std::nearbyint(x.AsDouble());  // halves to even
      if (!(v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max()))
        throw EParserError("ROUND: " + FloatToStr(x.AsDouble()) + " is outside the integer range");
      return Variant(static_cast<int>(v));
    }
    case rbop::kNeg: return -x;
    case rbop::kNot: return Variant(x == Variant(0) ? 1 : 0);
    case rbop::kStr: return Variant(VarToStr(x));
    default: return x;  // sign +
  }
}

}  // namespace

// ---- token readers ----

AnsiString TrbParser::GetIdentifier(const AnsiString& text, int& pos) {
  int n = text.Length();
  while (pos <= n && static_cast<uchar>(At(text, pos)) <= ' ') ++pos;
  int start = pos;
  int quotes = 0;
  while (pos <= n) {
    if (IsPair(text, pos)) {
      pos += 2;
      continue;
    }
    char c = At(text, pos);
    if (c == '"') ++quotes;
    if (IsIdentifierDelimiter(c)) {
      // Inside an odd number of double quotes a delimiter is part of the name.
      if (quotes % 2 == 1 && pos < n) {
        ++pos;
        continue;
      }
      break;
    }
    ++pos;
  }
  return text.SubString(start, pos - start);
}

AnsiString TrbParser::GetQuotedString(const AnsiString& text, int& pos) {
  int n = text.Length();
  int start = pos;
  int i = pos + 1;
  while (i <= n) {
    if (IsPair(text, i)) {
      i += 2;
      continue;
    }
    if (At(text, i) == '\'') {
      if (At(text, i + 1) == '\'') {
        i += 2;
        continue;
      }
      pos = i + 1;
      return text.SubString(start, pos - start);
    }
    ++i;
  }
  throw EParserError("Unterminated string in: " + text);
}

void TrbParser::GetFunctionParams(const AnsiString& text, int& pos, AnsiString& p1,
                                  AnsiString& p2, AnsiString& p3) {
  p1.clear();
  p2.clear();
  p3.clear();
  int n = text.Length();
  int depth = 1;
  int argNo = 0;
  int argStart = pos + 1;
  bool quoted = false;
  for (int i = pos + 1; i <= n; ++i) {
    if (IsPair(text, i)) {
      ++i;
      continue;
    }
    char c = At(text, i);
    if (c == '\'') {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    if (c == '(') {
      ++depth;
    } else if (c == ',' && depth == 1) {
      (argNo == 0 ? p1 : p2) = text.SubString(argStart, i - argStart);
      ++argNo;
      argStart = i + 1;
    } else if (c == ')' && --depth == 0) {
      AnsiString last = text.SubString(argStart, i - argStart);
      if (argNo == 0) p1 = last;
      else if (argNo == 1) p2 = last;
      else if (argNo == 2) p3 = last;
      else throw EParserError("More than three arguments in: " + text.SubString(1, i));
      pos = i + 1;
      return;
    }
  }
  throw EParserError("Need \")\" here: " + text);
}

AnsiString GetBracketedVariable(const AnsiString& text, int& start, int& stop) {
  if (At(text, start) != '[') return AnsiString();
  int n = text.Length();
  int depth = 0;
  bool single = false, dbl = false;
  for (int i = start; i <= n; ++i) {
    if (IsPair(text, i)) {
      ++i;
      continue;
    }
    char c = At(text, i);
    if (c == '\'' && !dbl) {
      single = !single;
    } else if (c == '"' && !single) {
      dbl = !dbl;
    } else if (!single && !dbl) {
      if (c == '[') {
        ++depth;
      } else if (c == ']' && --depth == 0) {
        stop = i;
        return text.SubString(start + 1, stop - start - 1);
      }
    }
  }
  throw EParserError("Need \"]\" here: " + text.SubString(start, n - start + 1));
}

int OperatorPriority(char code) {
  switch (code) {
    case '(': return 5;
    case ')': return 4;
    case '>': case '<': case '=':
    case rbop::kGreaterEq: case rbop::kLessEq: case rbop::kNotEqual: return 3;
    case '+': case '-': case rbop::kNeg: case rbop::kPlus: return 2;
    case '*': case '/': case rbop::kOr: case rbop::kAnd: case rbop::kNot: case rbop::kMod:
      return 1;
    default: return 0;
  }
}

// ---- infix to postfix ----

AnsiString TrbParser::ToPostfix(const AnsiString& s) const {
  AnsiString out;
  std::string stack;  // top at the back
  bool lastWasOperand = false;
  auto operatorStep = [&](char op) {
    if (!lastWasOperand) {
      if (op == '-') op = rbop::kNeg;
      else if (op == '+') op = rbop::kPlus;
    }
    // A prefix operator applies to what follows it, so it never pops the
    // operator before it ("2*-3" is 2 times minus 3, not "(2*)-3").
    if (!IsUnary(op)) {
      while (!stack.empty() && OperatorPriority(op) >= OperatorPriority(stack.back())) {
        out += stack.back();
        stack.pop_back();
      }
    }
    stack += op;
    lastWasOperand = false;
  };

  int n = s.Length();
  int i = 1;
  while (i <= n) {
    char c = At(s, i);
    if (static_cast<uchar>(c) <= ' ') {
      ++i;
      continue;
    }
    if (c == ';') break;
    if (c == '(') {
      stack += '(';
      lastWasOperand = false;
      ++i;
      continue;
    }
    if (c == ')') {
      size_t open = stack.rfind('(');
      if (open != std::string::npos) {
        for (size_t k = stack.size(); k > open + 1; --k) out += stack[k - 1];
        stack.resize(open);
      }
      ++i;
      continue;
    }
    if (std::strchr("*+-/<=>", c)) {
      char op = c;
      char next = At(s, i + 1);
      if (c == '<' && next == '>') op = rbop::kNotEqual, ++i;
      else if (c == '>' && next == '=') op = rbop::kGreaterEq, ++i;
      else if (c == '<' && next == '=') op = rbop::kLessEq, ++i;
      operatorStep(op);
      ++i;
      continue;
    }

    int begin = i;
    AnsiString token;
    if (c == '%') {
      token = s.SubString(i, 2);
      i += 2;
    }
    if (At(s, i) == '\'') {
      token += GetQuotedString(s, i);
    } else if (At(s, i) == '[') {
      int stop = i;
      token += "[" + GetBracketedVariable(s, i, stop) + "]";
      i = stop + 1;
    } else {
      token += GetIdentifier(s, i);
      if (At(s, i) == '[') {
        int start = i, stop = i;
        token += "[" + GetBracketedVariable(s, start, stop) + "]";
        i = stop + 1;
      }
    }
    if (i == begin) ++i;  // nothing readable here; never loop on one byte
    if (token.empty()) continue;
    char first = token[0];
    if (IsDigit(first) || first == ',' || first == '.') {
      out += token + ' ';
      lastWasOperand = true;
      continue;
    }
    if (char op = KeywordOperator(AnsiUpperCase(token))) {
      operatorStep(op);
      continue;
    }
    lastWasOperand = true;
    if (At(s, i) == '(') {
      int start = i;
      AnsiString p1, p2, p3;
      GetFunctionParams(s, i, p1, p2, p3);
      out += token + s.SubString(start, i - start);
      continue;
    }
    out += token + ' ';
  }
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) out += *it;
  return out;
}

// ---- evaluation ----

Variant TrbParser::CalcPostfix(const AnsiString& s) const {
  std::vector<Variant> stack;
  auto need = [&](size_t count, char op) {
    if (stack.size() < count)
      throw EParserError("Missing operand in expression: " + s);
  };
  int n = s.Length();
  int i = 1;
  while (i <= n) {
    char c = At(s, i);
    if (c == ' ' || c == rbop::kPlus) {
      ++i;
      continue;
    }
    if (IsBinary(c)) {
      need(2, c);
      Variant b = std::move(stack.back());
      stack.pop_back();
      stack.back() = ApplyBinary(c, stack.back(), b);
      ++i;
      continue;
    }
    if (IsUnary(c)) {
      need(1, c);
      stack.back() = ApplyUnary(c, stack.back());
      ++i;
      continue;
    }
    int start = i;
    if (c == '%') i += 2;
    if (At(s, i) == '\'') {
      GetQuotedString(s, i);
    } else if (At(s, i) == '[') {
      int stop = i, from = i;
      GetBracketedVariable(s, from, stop);
      i = stop + 1;
    } else {
      GetIdentifier(s, i);
      if (At(s, i) == '[') {
        int from = i, stop = i;
        GetBracketedVariable(s, from, stop);
        i = stop + 1;
      } else if (At(s, i) == '(') {
        AnsiString p1, p2, p3;
        GetFunctionParams(s, i, p1, p2, p3);
      }
    }
    if (i == start) {  // a stray control byte: not an operand
      ++i;
      continue;
    }
    stack.push_back(Operand(s.SubString(start, i - start)));
  }
  return stack.empty() ? Variant(0) : stack.front();
}

Variant TrbParser::Operand(const AnsiString& token) const {
  char first = token[0];
  if (first == '\'') return Variant(Unquote(token));
  if (IsDigit(first) || first == ',' || first == '.') return NumberOperand(token);
  AnsiString upper = AnsiUpperCase(token);
  if (upper == "TRUE") return Variant(true);
  if (upper == "FALSE") return Variant(false);
  Variant value;
  if (first == '[') {
    if (OnGetValue) OnGetValue(token.SubString(2, token.Length() - 2), value);
    return value;
  }
  if (token.back() == ']') {  // indexed name: name[index]
    int open = 1;
    GetIdentifier(token, open);
    AnsiString name = token.SubString(1, open - 1);
    AnsiString index = token.SubString(open + 1, token.Length() - open - 1);
    return Calc("GETARRAY(" + name + ", " + index + ")");
  }
  if (token.back() == ')') return CallFunction(token);
  if (OnGetValue) OnGetValue(upper, value);
  return value;
}

Variant TrbParser::CallFunction(const AnsiString& call) const {
  int pos = 1;
  AnsiString name = AnsiUpperCase(GetIdentifier(call, pos));
  AnsiString p1, p2, p3;
  GetFunctionParams(call, pos, p1, p2, p3);
  if (name == "COPY") {
    AnsiString text = VarToStr(Calc(p1));
    int from = StrToInt(VarToStr(Calc(p2)));
    int count = StrToInt(VarToStr(Calc(p3)));
    return Variant(text.SubString(from, count));
  }
  if (name == "IF") {
    double cond = ConditionValue(Calc(p1));
    return std::trunc(cond) == 0 ? Calc(p3) : Calc(p2);
  }
  if (name == "STRTODATE") return Variant(StrToDate(VarToStr(Calc(p1))));
  if (name == "STRTOTIME") return Variant(StrToTime(VarToStr(Calc(p1))));
  Variant value;
  if (OnFunction) OnFunction(name, Variant(p1), Variant(p2), Variant(p3), value);
  return value;
}

// ---- TrbVariables ----

int TrbVariables::IndexOf(const AnsiString& name) const {
  if (sorted_) {
    auto it = std::lower_bound(items_.begin(), items_.end(), name, [](const auto& item, const AnsiString& key) {
      return AnsiCompareText(item.first, key) < 0;
    });
    if (it != items_.end() && AnsiCompareText(it->first, name) == 0)
      return static_cast<int>(it - items_.begin());
    return -1;
  }
  for (size_t k = 0; k < items_.size(); ++k)
    if (AnsiCompareText(items_[k].first, name) == 0) return static_cast<int>(k);
  return -1;
}

Variant TrbVariables::Variable(const AnsiString& name) const {
  int k = IndexOf(name);
  return k < 0 ? Variant::Null() : items_[static_cast<size_t>(k)].second;
}

void TrbVariables::SetVariable(const AnsiString& name, const Variant& value) {
  int k = IndexOf(name);
  if (k >= 0) {
    items_[static_cast<size_t>(k)].second = value;
    return;
  }
  items_.emplace_back(name, value);
  if (sorted_) Sort();
}

Variant TrbVariables::Value(int index) const {
  if (index < 0 || index >= Count()) return Variant(0);
  return items_[static_cast<size_t>(index)].second;
}

void TrbVariables::SetValue(int index, const Variant& value) {
  if (index >= 0 && index < Count()) items_[static_cast<size_t>(index)].second = value;
}

AnsiString TrbVariables::Name(int index) const {
  if (index < 0 || index >= Count()) return AnsiString();
  return items_[static_cast<size_t>(index)].first;
}

void TrbVariables::SetName(int index, const AnsiString& name) {
  if (index < 0 || index >= Count()) return;
  items_[static_cast<size_t>(index)].first = name;
  if (sorted_) Sort();
}

void TrbVariables::Delete(int index) {
  if (index >= 0 && index < Count()) items_.erase(items_.begin() + index);
}

void TrbVariables::SetSorted(bool sorted) {
  sorted_ = sorted;
  if (sorted_) Sort();
}

void TrbVariables::Sort() {
  std::stable_sort(items_.begin(), items_.end(), [](const auto& a, const auto& b) {
    return AnsiCompareText(a.first, b.first) < 0;
  });
  // A sorted list holds each name once: later duplicates are dropped.
  items_.erase(std::unique(items_.begin(), items_.end(),
                           [](const auto& a, const auto& b) { return AnsiCompareText(a.first, b.first) == 0; }),
               items_.end());
}

// ---- TrbFunctionSplitter ----

void TrbFunctionSplitter::SplitVariable(const AnsiString& name) {
  for (const AnsiString& e : expanding_)
    if (AnsiCompareText(e, name) == 0) return;  // a variable that leads back to itself
  expanding_.push_back(name);
  try {
    Split(VarToStr(variables_->Variable(name)));
  } catch (...) {
    expanding_.pop_back();
    throw;
  }
  expanding_.pop_back();
}

void TrbFunctionSplitter::Split(const AnsiString& expression) {
  AnsiString s = expression.Trim();
  int n = s.Length();
  int i = 1;
  while (i <= n) {
    int begin = i;
    if (At(s, i) == '[') {
      int start = i, stop = i;
      AnsiString inner = GetBracketedVariable(s, start, stop);
      if (variables_ && variables_->IndexOf(inner) >= 0) SplitVariable(inner);
      else Split(inner);
      i = stop + 1;
      continue;
    }
    AnsiString name = TrbParser::GetIdentifier(s, i);
    if (At(s, i) == '(') {
      AnsiString p1, p2, p3;
      TrbParser::GetFunctionParams(s, i, p1, p2, p3);
      Split(p1);
      Split(p2);
      Split(p3);
      if (matchFuncs_->IndexOf(AnsiUpperCase(name.Trim())) >= 0)
        splitTo_->Add(s.SubString(begin, i - begin));
      continue;
    }
    if (!name.empty() && variables_ && variables_->IndexOf(name) >= 0) {
      SplitVariable(name);
      continue;
    }
    char c = At(s, i);
    if (c != '\0' && std::strchr("\r */+-<=>", c)) {
      ++i;
    } else if (name.empty() || i == begin) {
      break;
    }
  }
}
