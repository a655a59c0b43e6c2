// TextFormParser: the lexer and parser of the component text form.  Turns
// the whole text into the parse tree of TextFormInt.h, so that syntax
// errors surface before any component is touched.  Lines are counted from
// 1 at every LF (CR LF and LF texts alike).
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/AnsiText.h"
#include "platform/core/CodePage.h"
#include "platform/core/Exceptions.h"
#include "platform/core/TextFormInt.h"

namespace textform {
namespace {

constexpr int kMaxNesting = 256;  // objects, lists and collections inside each other

enum TTokenKind { tkEof, tkSymbol, tkStringTok, tkIntegerTok, tkFloatTok, tkPunct };

struct TToken {
  TTokenKind kind = tkEof;
  AnsiString text;  // symbol; string value; punctuation char
  std::int64_t integer = 0;
  double number = 0;
  char suffix = 0;  // float: 's', 'd' (date) or 'c' (currency)
  int line = 1;
};

class TParser {
 public:
  explicit TParser(std::string_view text) : s_(text) { Next(); }

  TObjectNode ParseRoot() {
    TObjectNode root = ParseObject();
    if (tok_.kind != tkEof) Error("End of text expected");
    return root;
  }

  // Only the header of the first object (for ObjectTextClassName).
  AnsiString HeaderClassName() {
    TObjectNode n;
    ParseHeader(n);
    return n.className;
  }

 private:
  [[noreturn]] void Error(const AnsiString& what) const {
    throw EParserError(what + LineSuffix(tok_.line));
  }
  [[noreturn]] void ErrorAt(const AnsiString& what, int line) const {
    throw EParserError(what + LineSuffix(line));
  }

  bool IsSymbol(const char* word) const { return tok_.kind == tkSymbol && SameText(tok_.text, word); }
  bool IsPunct(char c) const { return tok_.kind == tkPunct && tok_.text[0] == c; }
  void ExpectPunct(char c) {
    if (!IsPunct(c)) Error(AnsiString("'") + c + "' expected");
    Next();
  }
  AnsiString ExpectSymbol() {
    if (tok_.kind != tkSymbol) Error("Identifier expected");
    AnsiString s = tok_.text;
    Next();
    return s;
  }

  // --- objects ---

  void ParseHeader(TObjectNode& n) {
    n.line = tok_.line;
    if (IsSymbol("inherited"))
      n.inherited = true;
    else if (!IsSymbol("object") && !IsSymbol("inline"))
      Error("'object' expected");
    Next();
    AnsiString first = ExpectSymbol();
    if (IsPunct(':')) {
      Next();
      n.name = first;
      n.className = ExpectSymbol();
    } else {
      n.className = first;
    }
    if (IsPunct('[')) {
      Next();
      if (tok_.kind != tkIntegerTok) Error("Number expected");
      n.childPos = static_cast<int>(tok_.integer);
      Next();
      ExpectPunct(']');
    }
  }

  bool AtObjectStart() const { return IsSymbol("object") || IsSymbol("inherited") || IsSymbol("inline"); }

  // Counts one level of nesting for its lifetime; too deep a text is
  // refused rather than allowed to exhaust the stack.
  struct TNesting {
    TParser& p;
    explicit TNesting(TParser& parser) : p(parser) {
      if (++p.depth_ > kMaxNesting) p.Error("Nesting too deep");
    }
    ~TNesting() { --p.depth_; }
  };

  TObjectNode ParseObject() {
    TNesting nesting(*this);
    TObjectNode n;
    ParseHeader(n);
    while (!IsSymbol("end") && !AtObjectStart()) {
      if (tok_.kind == tkEof) Error("'end' expected");
      n.props.push_back(ParseProperty());
    }
    while (AtObjectStart()) n.children.push_back(ParseObject());
    if (!IsSymbol("end")) Error("'end' expected");
    Next();
    return n;
  }

  TPropNode ParseProperty() {
    TPropNode p;
    p.line = tok_.line;
    p.name = ExpectSymbol();
    while (IsPunct('.')) {
      Next();
      p.name += "." + ExpectSymbol();
    }
    ExpectPunct('=');
    p.value = ParseValue();
    return p;
  }

  // --- values ---

  TValueNode ParseValue() {
    TNesting nesting(*this);
    TValueNode v;
    v.line = tok_.line;
    switch (tok_.kind) {
      case tkIntegerTok:
        v.kind = TValueNode::vInteger;
        v.integer = tok_.integer;
        Next();
        return v;
      case tkFloatTok:
        v.kind = TValueNode::vFloat;
        v.number = tok_.number;
        v.suffix = tok_.suffix;
        Next();
        return v;
      case tkStringTok:
        v.kind = TValueNode::vString;
        v.text = tok_.text;
        Next();
        while (IsPunct('+')) {
          Next();
          if (tok_.kind != tkStringTok) Error("String expected");
          v.text += tok_.text;
          Next();
        }
        return v;
      case tkSymbol:
        v.kind = TValueNode::vIdent;
        v.text = tok_.text;
        Next();
        while (IsPunct('.')) {
          Next();
          v.text += "." + ExpectSymbol();
        }
        return v;
      case tkPunct:
        break;
      case tkEof:
        Error("Value expected");
    }
    switch (tok_.text[0]) {
      case '[':
        v.kind = TValueNode::vSet;
        Next();
        if (!IsPunct(']')) {
          for (;;) {
            if (tok_.kind == tkSymbol)
              v.elements.push_back(tok_.text);
            else if (tok_.kind == tkIntegerTok)
              v.elements.push_back(AnsiString(std::to_string(tok_.integer)));
            else
              Error("Identifier expected");
            Next();
            if (!IsPunct(',')) break;
            Next();
          }
        }
        ExpectPunct(']');
        return v;
      case '(':
        v.kind = TValueNode::vList;
        Next();
        while (!IsPunct(')')) {
          if (tok_.kind == tkEof) Error("')' expected");
          v.list.push_back(ParseValue());
        }
        Next();
        return v;
      case '<':
        v.kind = TValueNode::vCollection;
        Next();
        while (!IsPunct('>')) {
          if (!IsSymbol("item")) Error("'item' expected");
          TItemNode item;
          item.line = tok_.line;
          Next();
          if (IsPunct('[')) {  // an item's ordinal, as some collections write it
            Next();
            if (tok_.kind != tkIntegerTok) Error("Number expected");
            Next();
            ExpectPunct(']');
          }
          while (!IsSymbol("end")) {
            if (tok_.kind == tkEof) Error("'end' expected");
            item.props.push_back(ParseProperty());
          }
          Next();
          v.items.push_back(std::move(item));
        }
        Next();
        return v;
      case '{':
        v.kind = TValueNode::vBinary;
        v.text = ReadBinary();
        Next();
        return v;
      default:
        Error("Invalid value '" + tok_.text + "'");
    }
  }

  // --- characters ---

  static bool IsIdentStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  }
  static bool IsIdentChar(unsigned char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
  static bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
  static int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  }
  int Peek(size_t ahead = 0) const {
    return pos_ + ahead < s_.size() ? static_cast<unsigned char>(s_[pos_ + ahead]) : -1;
  }

  void SkipBlanks() {
    while (pos_ < s_.size()) {
      unsigned char c = static_cast<unsigned char>(s_[pos_]);
      if (c == '\n') {
        ++line_;
      } else if (c > ' ') {
        return;
      }
      ++pos_;
    }
  }

  void Next() {
    SkipBlanks();
    tok_ = TToken();
    tok_.line = line_;
    if (pos_ >= s_.size()) return;
    unsigned char c = static_cast<unsigned char>(s_[pos_]);
    if (IsIdentStart(c)) {
      size_t start = pos_;
      while (pos_ < s_.size() && IsIdentChar(static_cast<unsigned char>(s_[pos_]))) ++pos_;
      tok_.kind = tkSymbol;
      tok_.text = AnsiString(s_.substr(start, pos_ - start));
    } else if (c == '\'' || c == '#') {
      ReadString();
    } else if (IsDigit(c) || (c == '-' && Peek(1) >= 0 && IsDigit(static_cast<unsigned char>(Peek(1)))) ||
               (c == '$') || (c == '-' && Peek(1) == '$')) {
      ReadNumber();
    } else if (c < 0x80 && c >= ' ') {
      tok_.kind = tkPunct;
      tok_.text = AnsiString(1, static_cast<char>(c));
      ++pos_;
    } else {
      Error("Invalid character #" + std::to_string(c));
    }
  }

  void ReadNumber() {
    size_t start = pos_;
    bool negative = s_[pos_] == '-';
    if (negative) ++pos_;
    if (pos_ < s_.size() && s_[pos_] == '$') {
      ++pos_;
      std::uint64_t value = 0;
      size_t digits = 0;
      while (pos_ < s_.size() && HexValue(static_cast<unsigned char>(s_[pos_])) >= 0) {
        if (value >> 60 != 0) Error("Invalid numeric value");
        value = value << 4 | static_cast<unsigned>(HexValue(static_cast<unsigned char>(s_[pos_])));
        ++pos_;
        ++digits;
      }
      if (digits == 0) Error("Invalid numeric value");
      tok_.kind = tkIntegerTok;
      tok_.integer = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
      return;
    }
    bool isFloat = false;
    while (pos_ < s_.size() && IsDigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    if (Peek() == '.' && Peek(1) >= 0 && IsDigit(static_cast<unsigned char>(Peek(1)))) {
      isFloat = true;
      ++pos_;
      while (pos_ < s_.size() && IsDigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    if (Peek() == 'e' || Peek() == 'E') {
      size_t save = pos_;
      ++pos_;
      if (Peek() == '+' || Peek() == '-') ++pos_;
      if (Peek() >= 0 && IsDigit(static_cast<unsigned char>(Peek()))) {
        isFloat = true;
        while (pos_ < s_.size() && IsDigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
      } else {
        pos_ = save;
      }
    }
    std::string text(s_.substr(start, pos_ - start));
    char suffix = 0;
    if (Peek() == 's' || Peek() == 'S' || Peek() == 'd' || Peek() == 'D' || Peek() == 'c' || Peek() == 'C') {
      if (!(Peek(1) >= 0 && IsIdentChar(static_cast<unsigned char>(Peek(1))))) {
        suffix = static_cast<char>(Peek() | 0x20);
        ++pos_;
        isFloat = true;
      }
    }
    if (pos_ < s_.size() && IsIdentChar(static_cast<unsigned char>(s_[pos_]))) Error("Invalid numeric value");
    if (!isFloat) {
      std::int64_t value = 0;
      auto r = std::from_chars(text.data(), text.data() + text.size(), value);
      if (r.ec != std::errc() || r.ptr != text.data() + text.size()) Error("Invalid numeric value");
      tok_.kind = tkIntegerTok;
      tok_.integer = value;
      return;
    }
    double value = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) Error("Invalid numeric value");
    if (suffix == 'c') value /= 10000;  // currency is written scaled by 10000
    tok_.kind = tkFloatTok;
    tok_.number = value;
    tok_.suffix = suffix;
  }

  // 'text' pieces and #nnn characters, adjacent without blanks.  #nnn above
  // 255 makes the whole string UTF-16 (quoted bytes taken as code page 936).
  void ReadString() {
    struct Piece {
      bool code;      // from #nnn
      std::uint32_t value;
    };
    std::vector<Piece> pieces;
    bool wide = false;
    for (;;) {
      int c = Peek();
      if (c == '\'') {
        ++pos_;
        for (;;) {
          int d = Peek();
          if (d < 0 || d == '\n' || d == '\r') Error("Unterminated string");
          ++pos_;
          if (d == '\'') {
            if (Peek() == '\'') {
              ++pos_;
            } else {
              break;
            }
          }
          pieces.push_back({false, static_cast<std::uint32_t>(d)});
        }
      } else if (c == '#') {
        ++pos_;
        std::uint32_t value = 0;
        size_t digits = 0;
        if (Peek() == '$') {
          ++pos_;
          while (Peek() >= 0 && HexValue(static_cast<unsigned char>(Peek())) >= 0 && digits < 8) {
            value = value * 16 + static_cast<std::uint32_t>(HexValue(static_cast<unsigned char>(Peek())));
            ++pos_;
            ++digits;
          }
        } else {
          while (Peek() >= 0 && IsDigit(static_cast<unsigned char>(Peek())) && digits < 10) {
            value = value * 10 + static_cast<std::uint32_t>(Peek() - '0');
            ++pos_;
            ++digits;
          }
        }
        if (digits == 0 || value > 0xFFFF) Error("Invalid string constant");
        if (value > 255) wide = true;
        pieces.push_back({true, value});
      } else {
        break;
      }
    }
    AnsiString result;
    if (!wide) {
      for (const Piece& p : pieces) result += static_cast<char>(p.value);
    } else {
      std::u16string u;
      std::string bytes;
      auto flush = [&] {
        u += AnsiToUtf16(bytes);
        bytes.clear();
      };
      for (const Piece& p : pieces) {
        if (p.code) {
          flush();
          u += static_cast<char16_t>(p.value);
        } else {
          bytes += static_cast<char>(p.value);
        }
      }
      flush();
      result = Utf16ToAnsi(u);
    }
    tok_.kind = tkStringTok;
    tok_.text = result;
  }

  // Hex digit pairs up to '}', blanks and line breaks ignored; the current
  // token is the '{'.  Leaves pos_ after the '}'.
  AnsiString ReadBinary() {
    AnsiString bytes;
    int high = -1;
    for (;;) {
      int c = Peek();
      if (c < 0) ErrorAt("'}' expected", line_);
      ++pos_;
      if (c == '}') break;
      if (c == '\n') ++line_;
      if (c <= ' ') continue;
      int h = HexValue(static_cast<unsigned char>(c));
      if (h < 0) ErrorAt("Invalid binary value", line_);
      if (high < 0) {
        high = h;
      } else {
        bytes += static_cast<char>(high << 4 | h);
        high = -1;
      }
    }
    if (high >= 0) ErrorAt("Invalid binary value", line_);
    return bytes;
  }

  std::string_view s_;
  size_t pos_ = 0;
  int line_ = 1;
  int depth_ = 0;
  TToken tok_;
};


}  // namespace

TObjectNode ParseObjectText(std::string_view text) { return TParser(text).ParseRoot(); }

AnsiString ParseObjectTextClassName(std::string_view text) { return TParser(text).HeaderClassName(); }

}  // namespace textform
