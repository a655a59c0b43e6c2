// Name and type translations of the expression language; see ExprNames.h.
#include "sql/ExprNames.h"

#include "platform/core/AnsiText.h"
#include "platform/data/DBTypes.h"
#include "sql/ExprLexer.h"

TExprType FieldTypeToExprType(int fieldType) {
  switch (static_cast<TFieldType>(fieldType)) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: return ttInteger;
    case ftBoolean: return ttBoolean;
    case ftFloat: case ftCurrency: case ftBCD: case ftDate: case ftTime: case ftDateTime:
      return ttFloat;
    default: return ttString;
  }
}

AnsiString NameForExpression(const AnsiString& name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') return name;
  bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9') && !ExprKeywordToken(name);
  for (char c : name) {
    bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    plain = plain && alnum;
  }
  return plain ? name : AnsiString("[" + name + "]");
}

AnsiString StripBrackets(const AnsiString& name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
    return AnsiString(name.substr(1, name.size() - 2));
  return name;
}

AnsiString StripQuotes(const AnsiString& text) {
  auto quote = [](char c) { return c == '\'' || c == '"'; };
  if (text.size() >= 2 && quote(text.front()) && quote(text.back()))
    return AnsiString(text.substr(1, text.size() - 2));
  return text;
}

AnsiString ReplaceAll(const AnsiString& text, const AnsiString& from, const AnsiString& to) {
  if (from.empty() || SameText(from, to)) return text;
  AnsiString out;
  size_t pos = 0;
  for (size_t hit; (hit = text.find(from, pos)) != std::string::npos; pos = hit + from.size()) {
    out.append(text, pos, hit - pos);
    out += to;
  }
  out.append(text, pos, std::string::npos);
  return out;
}
