// TextForm: writer, parser and reader of the component text form.
//
// Reading runs in two phases: the parser turns the whole text into a tree
// of object, property and value nodes (so syntax errors surface before any
// component is touched), then the reader applies the tree to the root.
#include "platform/core/TextForm.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/AnsiText.h"
#include "platform/core/CodePage.h"
#include "platform/core/Collections.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"
#include "platform/core/TypInfo.h"

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr int kLineLength = 64;     // bytes of a string piece before " +"
constexpr int kBytesPerLine = 32;   // bytes of binary data per line
constexpr int kFixedDecimals = 18;  // decimals of a float in fixed notation
constexpr int kMaxNesting = 256;    // objects, lists and collections inside each other

// The pseudo-property under which a string list (TStrings) keeps its lines.
constexpr const char* kStringsProperty = "Strings";

AnsiString LineSuffix(int line) { return " on line " + std::to_string(line); }

// ============================================================================
// Floats
// ============================================================================

// Fixed notation with 18 decimals from `precision` significant digits, or
// "" when that is not the value exactly or needs more than 18 decimals.
AnsiString FixedFloat(double v, int precision) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, precision - 1);
  std::string sci(buf, res.ptr);
  bool negative = sci[0] == '-';
  if (negative) sci.erase(0, 1);
  size_t e = sci.find('e');
  int exponent = std::stoi(sci.substr(e + 1));
  std::string digits = sci.substr(0, 1) + (e > 2 ? sci.substr(2, e - 2) : std::string());
  if (exponent >= 16) return AnsiString();  // the class library turns scientific here
  std::string intPart, frac;
  if (exponent >= 0) {
    intPart = digits.substr(0, static_cast<size_t>(exponent) + 1);
    intPart.resize(static_cast<size_t>(exponent) + 1, '0');
    frac = static_cast<size_t>(exponent) + 1 < digits.size() ? digits.substr(exponent + 1) : "";
  } else {
    intPart = "0";
    frac = std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  }
  while (frac.size() > kFixedDecimals && frac.back() == '0') frac.pop_back();
  if (frac.size() > kFixedDecimals) return AnsiString();
  frac.resize(kFixedDecimals, '0');
  std::string text = (negative ? "-" : "") + intPart + "." + frac;
  double back = 0;
  std::from_chars(text.data(), text.data() + text.size(), back);
  return back == v ? AnsiString(text) : AnsiString();
}

AnsiString FormatFloatValue(double v) {
  if (!std::isfinite(v)) throw EWriteError("Invalid floating point value");
  if (v == 0) v = 0;  // no "-0.000..."
  for (int precision : {16, 17}) {
    AnsiString s = FixedFloat(v, precision);
    if (!s.empty()) return s;
  }
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  AnsiString s(buf, res.ptr);
  for (char& c : s)
    if (c == 'e') c = 'E';
  return s;
}

// ============================================================================
// Parse tree
// ============================================================================

struct TItemNode;

struct TValueNode {
  enum Kind { vInteger, vFloat, vString, vIdent, vSet, vList, vCollection, vBinary };
  Kind kind = vInteger;
  int line = 0;
  std::int64_t integer = 0;
  double number = 0;
  char suffix = 0;                  // float: 's', 'd' (date) or 'c' (currency)
  AnsiString text;                  // string, identifier, binary bytes
  std::vector<AnsiString> elements;  // set
  std::vector<TValueNode> list;      // list
  std::vector<TItemNode> items;      // collection
};

struct TPropNode {
  AnsiString name;  // may be dotted: Font.Name
  TValueNode value;
  int line = 0;
};

struct TItemNode {
  std::vector<TPropNode> props;
  int line = 0;
};

struct TObjectNode {
  bool inherited = false;
  AnsiString name, className;
  int childPos = -1;
  std::vector<TPropNode> props;
  std::vector<TObjectNode> children;
  int line = 0;
};

// ============================================================================
// Lexer and parser
// ============================================================================

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

// ============================================================================
// Global roots and the references that wait for them
// ============================================================================

struct TPendingFixup {
  TObject* instance;
  const TPropInfo* prop;
  AnsiString path;         // "FrmData.Table1"
  TComponent* root;        // the root that was read; dropped when it goes
  TComponent* component;   // instance's component, dropped when it goes
};

TComponent* FindNestedComponent(TComponent* root, std::string_view path);

// Keeps the list of global roots and waiting references, and learns through
// free notification when any of them is deleted.
class TGlobalRoots : public TComponent {
 public:
  TGlobalRoots() : TComponent(nullptr) {}
  ~TGlobalRoots() override { alive_ = false; }

  std::vector<TComponent*> roots;
  std::vector<TPendingFixup> pending;

  void Watch(TComponent* c) {
    if (c != nullptr) c->FreeNotification(this);
  }

  // Sets every waiting reference that resolves now.
  void Resolve() {
    for (size_t i = 0; i < pending.size();) {
      TPendingFixup& f = pending[i];
      TComponent* target = FindNestedComponent(f.root, f.path);
      if (target != nullptr && f.prop->AcceptsObject(target)) {
        TPendingFixup done = f;
        pending.erase(pending.begin() + static_cast<long>(i));
        done.prop->SetObject(done.instance, target);
      } else {
        ++i;
      }
    }
  }

  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation != opRemove || !alive_) return;
    std::erase(roots, component);
    std::erase_if(pending, [component](const TPendingFixup& f) {
      return f.root == component || f.component == component;
    });
  }

  static TGlobalRoots& Get() {
    static TGlobalRoots instance;
    return instance;
  }

 private:
  bool alive_ = true;
};

// "Name", "Name.Sub", "Owner" (the root itself), "Root.Owner" (a global
// root): the first name is looked up in root, then among the global roots;
// each further name among the components the previous one owns.
TComponent* FindNestedComponent(TComponent* root, std::string_view path) {
  TComponent* current = nullptr;
  bool first = true;
  while (!path.empty()) {
    size_t dot = path.find('.');
    std::string_view name = path.substr(0, dot);
    path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
    if (first) {
      first = false;
      if (SameText(name, "Owner")) {
        current = root;
      } else {
        current = root->FindComponent(AnsiString(name));
        if (current == nullptr) current = FindGlobalComponent(name);
      }
    } else if (!SameText(name, "Owner")) {
      current = current->FindComponent(AnsiString(name));
    }
    if (current == nullptr) return nullptr;
  }
  return current;
}

// The component whose lifetime bounds a persistent's: itself, or the owner
// of its collection or sub-object chain.
TComponent* ComponentOf(TObject* instance) {
  for (auto* p = dynamic_cast<TPersistent*>(instance); p != nullptr; p = p->GetOwner())
    if (auto* c = dynamic_cast<TComponent*>(p)) return c;
  return nullptr;
}

// ============================================================================
// Writer
// ============================================================================

class TFormWriter {
 public:
  explicit TFormWriter(TComponent* root) : root_(root) {}

  AnsiString Write() {
    WriteObject(root_, 0);
    return out_;
  }

 private:
  void Indent(int level) { out_.append(static_cast<size_t>(level) * 2, ' '); }
  void NewLine() {
    out_ += kLineEnd;
    Indent(level_);
  }

  void WriteObject(TComponent* c, int depth) {
    Indent(depth);
    out_ += "object ";
    if (!c->Name().empty()) out_ += c->Name() + ": ";
    out_ += c->ClassName();
    out_ += kLineEnd;
    level_ = depth + 1;
    c->SetComponentStateFlag(csWriting, true);
    try {
      WriteProperties(c, AnsiString());
    } catch (...) {
      c->SetComponentStateFlag(csWriting, false);
      throw;
    }
    c->SetComponentStateFlag(csWriting, false);
    c->GetChildren([this, depth](TComponent* child) { WriteObject(child, depth + 1); }, root_);
    Indent(depth);
    out_ += "end";
    out_ += kLineEnd;
  }

  void BeginProperty(const AnsiString& name) {
    Indent(level_);
    out_ += name + " = ";
  }
  void EndProperty() { out_ += kLineEnd; }

  void WriteProperties(TObject* instance, const AnsiString& prefix) {
    for (const TPropInfo* p : GetPropList(instance)) {
      if (!p->IsStored(instance)) continue;
      WriteProperty(instance, *p, prefix + p->Name);
    }
    if (auto* strings = dynamic_cast<TStrings*>(instance); strings != nullptr && strings->Count() > 0) {
      BeginProperty(prefix + kStringsProperty);
      std::vector<AnsiString> lines;
      for (int i = 0; i < strings->Count(); ++i) lines.push_back(strings->Strings(i));
      WriteList(lines);
      EndProperty();
    }
  }

  void WriteProperty(TObject* instance, const TPropInfo& p, const AnsiString& name) {
    switch (p.Kind) {
      case tkInteger:
      case tkChar:
      case tkEnumeration:
      case tkSet:
      case tkInt64: {
        if (!p.SetOrd) return;
        std::int64_t v = p.GetOrd(instance);
        if (p.HasDefault ? v == p.OrdDefault : (p.Kind == tkInt64 && v == 0)) return;
        BeginProperty(name);
        WriteOrdinal(p, v);
        EndProperty();
        return;
      }
      case tkFloat: {
        if (!p.SetFloat) return;
        double v = p.GetFloat(instance);
        if (v == (p.HasDefault ? p.FloatDefault : 0.0)) return;
        BeginProperty(name);
        out_ += FormatFloatValue(v);
        EndProperty();
        return;
      }
      case tkVariant: {
        if (!p.SetVariant) return;
        Variant v = p.GetVariant(instance);
        if (v.IsEmpty()) return;
        BeginProperty(name);
        WriteVariant(v);
        EndProperty();
        return;
      }
      case tkLString: {
        if (!p.SetStr) return;
        AnsiString v = p.GetStr(instance);
        if (v == p.StrDefault) return;
        BeginProperty(name);
        WriteString(v);
        EndProperty();
        return;
      }
      case tkClass:
        WriteClassProperty(instance, p, name);
        return;
      case tkMethod: {
        TMethodRef ref;
        if (!p.GetMethod(instance, ref) || ref.Method == nullptr) return;
        // Only a method of the root can be found again when reading.
        if (root_->ClassInfo()->FindMethod(ref.Method->Name()) != ref.Method) return;
        BeginProperty(name);
        out_ += ref.Method->Name();
        EndProperty();
        return;
      }
      case tkBinary: {
        if (!p.SetStr) return;
        AnsiString bytes = p.GetStr(instance);
        if (bytes.empty()) return;
        BeginProperty(name);
        WriteBinary(bytes);
        EndProperty();
        return;
      }
      case tkStringList: {
        if (!p.SetList) return;
        std::vector<AnsiString> lines = p.GetList(instance);
        if (lines.empty()) return;
        BeginProperty(name);
        WriteList(lines);
        EndProperty();
        return;
      }
      default:
        return;
    }
  }

  void WriteOrdinal(const TPropInfo& p, std::int64_t v) {
    switch (p.Kind) {
      case tkEnumeration: {
        AnsiString n = p.EnumType->NameOf(static_cast<int>(v));
        out_ += n.empty() ? AnsiString(std::to_string(v)) : n;
        return;
      }
      case tkSet: {
        out_ += '[';
        bool first = true;
        for (int bit = 0; bit < 64; ++bit) {
          if ((static_cast<std::uint64_t>(v) >> bit & 1) == 0) continue;
          if (!first) out_ += ", ";
          first = false;
          AnsiString n = p.EnumType->NameOf(bit);
          out_ += n.empty() ? AnsiString(std::to_string(bit)) : n;
        }
        out_ += ']';
        return;
      }
      case tkChar:
        WriteString(AnsiString(1, static_cast<char>(v)));
        return;
      default: {
        AnsiString ident = p.Idents != nullptr ? p.Idents->NameOf(v) : AnsiString();
        out_ += ident.empty() ? AnsiString(std::to_string(v)) : ident;
      }
    }
  }

  // Null as "Null", dates with a "d" suffix, currency as its value times
  // 10000 with a "c" suffix, as the class library writes variants.
  void WriteVariant(const Variant& v) {
    switch (v.VarType()) {
      case varNull:
        out_ += "Null";
        return;
      case varSmallint:
      case varInteger:
      case varInt64:
        out_ += std::to_string(v.AsInt64());
        return;
      case varDouble:
        out_ += FormatFloatValue(v.AsDouble());
        return;
      case varDate:
        out_ += FormatFloatValue(v.AsDateTime().Val) + "d";
        return;
      case varCurrency:
        out_ += std::to_string(v.AsCurrency().Val) + "c";
        return;
      case varBoolean:
        out_ += v.AsBoolean() ? "True" : "False";
        return;
      case varString:
        WriteString(v.AsString());
        return;
      default:
        throw EWriteError("Invalid variant type: " + VarTypeAsText(v.VarType()));
    }
  }

  void WriteClassProperty(TObject* instance, const TPropInfo& p, const AnsiString& name) {
    TObject* value = p.GetObject(instance);
    if (value == nullptr) return;
    if (p.IsComponentRef) {
      if (!p.SetObject) return;
      AnsiString ref = ReferenceName(static_cast<TComponent*>(value));
      if (ref.empty()) return;
      BeginProperty(name);
      out_ += ref;
      EndProperty();
      return;
    }
    // A sub-object: its own properties, dotted; a collection then its items.
    WriteProperties(value, name + ".");
    if (auto* collection = dynamic_cast<TCollection*>(value)) {
      BeginProperty(name);
      WriteCollection(collection);
      EndProperty();
    }
  }

  // The class library's naming of a referenced component.
  AnsiString ReferenceName(TComponent* c) const {
    if (c->Owner() == root_) return c->Name();
    if (c == root_) return "Owner";
    if (c->Owner() != nullptr && !c->Owner()->Name().empty() && !c->Name().empty())
      return c->Owner()->Name() + "." + c->Name();
    if (!c->Name().empty()) return c->Name() + ".Owner";
    return AnsiString();
  }

  void WriteCollection(TCollection* collection) {
    out_ += '<';
    ++level_;
    for (int i = 0; i < collection->Count(); ++i) {
      NewLine();
      out_ += "item";
      out_ += kLineEnd;
      ++level_;
      WriteProperties(collection->Items(i), AnsiString());
      --level_;
      Indent(level_);
      out_ += "end";
    }
    --level_;
    out_ += '>';
  }

  // Runs of printable ASCII in quotes, everything else as #nnn; pieces of
  // 64 bytes joined by " +" and a line break; a string longer than one
  // piece starts on a line of its own.
  void WriteString(const AnsiString& s) {
    const size_t n = s.size();
    if (n == 0) {
      out_ += "''";
      return;
    }
    auto plain = [](unsigned char c) { return c >= ' ' && c < 0x7F && c != '\''; };
    ++level_;
    if (n > static_cast<size_t>(kLineLength)) NewLine();
    size_t i = 0, pieceStart = 0;
    do {
      bool lineBreak = false;
      unsigned char c = static_cast<unsigned char>(s[i]);
      if (plain(c)) {
        size_t j = i;
        do {
          ++i;
        } while (i < n && plain(static_cast<unsigned char>(s[i])) && i - pieceStart < static_cast<size_t>(kLineLength));
        if (i - pieceStart >= static_cast<size_t>(kLineLength)) lineBreak = true;
        out_ += '\'';
        out_.append(s, j, i - j);
        out_ += '\'';
      } else {
        out_ += '#';
        out_ += std::to_string(c);
        ++i;
        if (i - pieceStart >= static_cast<size_t>(kLineLength)) lineBreak = true;
      }
      if (lineBreak && i < n) {
        out_ += " +";
        NewLine();
        pieceStart = i;
      }
    } while (i < n);
    --level_;
  }

  void WriteList(const std::vector<AnsiString>& lines) {
    out_ += '(';
    ++level_;
    for (const AnsiString& l : lines) {
      NewLine();
      WriteString(l);
    }
    --level_;
    out_ += ')';
  }

  void WriteBinary(const AnsiString& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    bool multiLine = bytes.size() >= static_cast<size_t>(kBytesPerLine);
    out_ += '{';
    ++level_;
    for (size_t i = 0; i < bytes.size(); i += kBytesPerLine) {
      if (multiLine) NewLine();
      for (size_t k = i; k < bytes.size() && k < i + kBytesPerLine; ++k) {
        unsigned char b = static_cast<unsigned char>(bytes[k]);
        out_ += kHex[b >> 4];
        out_ += kHex[b & 15];
      }
    }
    --level_;
    out_ += '}';
  }

  TComponent* root_;
  AnsiString out_;
  int level_ = 0;
};

// ============================================================================
// Reader
// ============================================================================

class TFormReader {
 public:
  explicit TFormReader(TComponent* root) : root_(root) {}

  // Reads node into the root; undoes the components it created on failure.
  void ReadRoot(const TObjectNode& node) {
    root_->SetComponentStateFlag(csLoading, true);
    root_->SetComponentStateFlag(csReading, true);
    loaded_.push_back(root_);
    try {
      if (!node.name.empty() && node.name != root_->Name()) root_->SetName(UniqueRootName(node.name));
      ReadBody(root_, node);
      root_->SetComponentStateFlag(csReading, false);
      ResolveFixups();
    } catch (...) {
      // Components that were there before (the root, inherited ones) stay,
      // out of the loading state; the ones this read created go.
      for (TComponent* c : loaded_) {
        if (std::find(created_.begin(), created_.end(), c) != created_.end()) continue;
        c->SetComponentStateFlag(csReading, false);
        c->SetComponentStateFlag(csLoading, false);
      }
      for (auto it = created_.rbegin(); it != created_.rend(); ++it) delete *it;
      throw;
    }
    for (TComponent* c : loaded_) c->Loaded();
  }

 private:
  template <class E>
  [[noreturn]] static void Fail(const AnsiString& what, int line) {
    throw E(what + LineSuffix(line));
  }

  AnsiString UniqueRootName(const AnsiString& name) const {
    TComponent* owner = root_->Owner();
    if (owner == nullptr) return name;
    AnsiString candidate = name;
    for (int i = 1; owner->FindComponent(candidate) != nullptr && owner->FindComponent(candidate) != root_; ++i)
      candidate = name + "_" + std::to_string(i);
    return candidate;
  }

  void ReadBody(TComponent* instance, const TObjectNode& node) {
    for (const TPropNode& p : node.props) ReadProperty(instance, p);
    instance->SetComponentStateFlag(csReading, false);
    TComponent* owner = instance->GetChildOwner();
    if (owner == nullptr) owner = root_;
    TComponent* parent = instance->GetChildParent();
    for (const TObjectNode& child : node.children) ReadChild(child, owner, parent);
  }

  void ReadChild(const TObjectNode& node, TComponent* owner, TComponent* parent) {
    TComponent* c = nullptr;
    if (node.inherited) {
      c = owner->FindComponent(node.name);
      if (c == nullptr) Fail<EReadError>("Ancestor for '" + node.name + "' not found", node.line);
    } else {
      const TClassInfo* cls = GetClass(node.className);
      if (cls == nullptr) Fail<EClassNotFound>("Class " + node.className + " not found", node.line);
      if (!cls->InheritsFrom(TComponent::StaticClassInfo()) || !cls->CanCreate())
        Fail<EClassNotFound>("Cannot create an instance of " + node.className, node.line);
      c = cls->CreateComponent(owner);
      created_.push_back(c);  // before anything that may fail, so it is undone
    }
    c->SetComponentStateFlag(csLoading, true);
    c->SetComponentStateFlag(csReading, true);
    if (!node.inherited && !node.name.empty()) c->SetName(node.name);
    if (parent != nullptr && parent != c) c->SetParentComponent(parent);
    if (node.childPos >= 0 && parent != nullptr) parent->SetChildOrder(c, node.childPos);
    loaded_.push_back(c);
    ReadBody(c, node);
  }

  static AnsiString PathOf(TObject* instance) {
    if (auto* p = dynamic_cast<TPersistent*>(instance)) return p->GetNamePath();
    return instance->ClassName();
  }

  void ReadProperty(TObject* instance, const TPropNode& node) {
    TObject* target = instance;
    std::string_view rest = node.name;
    for (;;) {
      size_t dot = rest.find('.');
      std::string_view name = rest.substr(0, dot);
      if (dot == std::string_view::npos) {
        // A string list's lines ("Lines.Strings = (...)").
        auto* strings = dynamic_cast<TStrings*>(target);
        if (strings != nullptr && SameText(name, kStringsProperty) && GetPropInfo(target, name) == nullptr) {
          ReadStrings(strings, node.value);
          return;
        }
        const TPropInfo* p = GetPropInfo(target, name);
        if (p == nullptr)
          Fail<EPropertyError>("Property " + PathOf(instance) + "." + node.name + " does not exist", node.line);
        SetValue(target, *p, node.value, node.name);
        return;
      }
      const TPropInfo* p = GetPropInfo(target, name);
      if (p == nullptr)
        Fail<EPropertyError>("Property " + PathOf(instance) + "." + node.name + " does not exist", node.line);
      TObject* sub = p->Kind == tkClass && !p->IsComponentRef ? p->GetObject(target) : nullptr;
      if (sub == nullptr) Fail<EPropertyError>("Invalid property path " + node.name, node.line);
      target = sub;
      rest = rest.substr(dot + 1);
    }
  }

  void ReadStrings(TStrings* strings, const TValueNode& v) {
    if (v.kind != TValueNode::vList) Fail<EPropertyError>("Invalid property value", v.line);
    for (const TValueNode& e : v.list)
      if (e.kind != TValueNode::vString) Fail<EPropertyError>("String expected", e.line);
    strings->BeginUpdate();
    try {
      strings->Clear();
      for (const TValueNode& e : v.list) strings->Add(e.text);
    } catch (...) {
      strings->EndUpdate();
      throw;
    }
    strings->EndUpdate();
  }

  [[noreturn]] static void BadValue(const TValueNode& v) { Fail<EPropertyError>("Invalid property value", v.line); }

  static void RequireSetter(bool has, const AnsiString& name, int line) {
    if (!has) Fail<EPropertyError>("Property " + name + " is read-only", line);
  }

  static std::int64_t OrdinalValue(const TPropInfo& p, const TValueNode& v) {
    switch (p.Kind) {
      case tkInteger:
      case tkInt64: {
        std::int64_t named = 0;
        if (v.kind == TValueNode::vIdent && p.Idents != nullptr && p.Idents->ValueOf(v.text, named))
          return named;
        if (v.kind != TValueNode::vInteger) BadValue(v);
        std::int64_t x = v.integer;
        // Unsigned 32-bit values written as signed ones are taken back.
        if (p.MinValue == 0 && p.MaxValue == 0xFFFFFFFFLL && x < 0 && x >= INT32_MIN) x += 0x100000000LL;
        return x;
      }
      case tkChar:
        if (v.kind == TValueNode::vString && v.text.size() == 1) return static_cast<unsigned char>(v.text[0]);
        if (v.kind == TValueNode::vInteger) return v.integer;
        BadValue(v);
      case tkEnumeration: {
        if (v.kind != TValueNode::vIdent) BadValue(v);
        int x = p.EnumType->ValueOf(v.text);
        if (x < 0) Fail<EPropertyError>("Invalid property element: " + v.text, v.line);
        return x;
      }
      case tkSet: {
        if (v.kind != TValueNode::vSet) BadValue(v);
        std::uint64_t bits = 0;
        for (const AnsiString& e : v.elements) {
          int x = p.EnumType->ValueOf(e);
          if (x < 0 && !e.empty() && IsDigitString(e)) x = std::stoi(e);
          if (x < 0 || x >= 64 || !p.EnumType->IsValid(x))
            Fail<EPropertyError>("Invalid property element: " + e, v.line);
          bits |= std::uint64_t{1} << x;
        }
        return static_cast<std::int64_t>(bits);
      }
      default:
        BadValue(v);
    }
  }

  static bool IsDigitString(const AnsiString& s) {
    for (char c : s)
      if (c < '0' || c > '9') return false;
    return s.size() < 3;
  }

  void SetValue(TObject* instance, const TPropInfo& p, const TValueNode& v, const AnsiString& name) {
    switch (p.Kind) {
      case tkInteger:
      case tkChar:
      case tkEnumeration:
      case tkSet:
      case tkInt64: {
        RequireSetter(static_cast<bool>(p.SetOrd), name, v.line);
        std::int64_t x = OrdinalValue(p, v);
        try {
          CheckOrdValue(p, x);
        } catch (const EPropertyError&) {
          BadValue(v);
        }
        p.SetOrd(instance, x);
        return;
      }
      case tkFloat:
        RequireSetter(static_cast<bool>(p.SetFloat), name, v.line);
        if (v.kind == TValueNode::vFloat)
          p.SetFloat(instance, v.number);
        else if (v.kind == TValueNode::vInteger)
          p.SetFloat(instance, static_cast<double>(v.integer));
        else
          BadValue(v);
        return;
      case tkLString:
        RequireSetter(static_cast<bool>(p.SetStr), name, v.line);
        if (v.kind != TValueNode::vString) BadValue(v);
        p.SetStr(instance, v.text);
        return;
      case tkBinary:
        RequireSetter(static_cast<bool>(p.SetStr), name, v.line);
        if (v.kind != TValueNode::vBinary) BadValue(v);
        p.SetStr(instance, v.text);
        return;
      case tkStringList: {
        RequireSetter(static_cast<bool>(p.SetList), name, v.line);
        if (v.kind != TValueNode::vList) BadValue(v);
        std::vector<AnsiString> lines;
        for (const TValueNode& e : v.list) {
          if (e.kind != TValueNode::vString) Fail<EPropertyError>("String expected", e.line);
          lines.push_back(e.text);
        }
        p.SetList(instance, lines);
        return;
      }
      case tkVariant:
        RequireSetter(static_cast<bool>(p.SetVariant), name, v.line);
        p.SetVariant(instance, VariantValue(v));
        return;
      case tkMethod:
        SetEvent(instance, p, v);
        return;
      case tkClass:
        SetClassValue(instance, p, v, name);
        return;
      default:
        BadValue(v);
    }
  }

  static Variant VariantValue(const TValueNode& v) {
    switch (v.kind) {
      case TValueNode::vInteger:
        if (v.integer >= INT32_MIN && v.integer <= INT32_MAX) return Variant(static_cast<int>(v.integer));
        return Variant(static_cast<long long>(v.integer));
      case TValueNode::vFloat:
        if (v.suffix == 'd') return Variant(TDateTime(v.number));
        if (v.suffix == 'c') return Variant(Currency::FromDouble(v.number));
        return Variant(v.number);
      case TValueNode::vString:
        return Variant(v.text);
      case TValueNode::vIdent:
        if (SameText(v.text, "True")) return Variant(true);
        if (SameText(v.text, "False")) return Variant(false);
        if (SameText(v.text, "Null")) return Null();
        if (SameText(v.text, "nil") || SameText(v.text, "Unassigned")) return Variant();
        BadValue(v);
      default:
        BadValue(v);
    }
  }

  void SetEvent(TObject* instance, const TPropInfo& p, const TValueNode& v) {
    if (v.kind != TValueNode::vIdent) BadValue(v);
    if (SameText(v.text, "nil")) {
      p.SetMethod(instance, TMethodRef{});
      return;
    }
    const TMethodInfo* m = root_->ClassInfo()->FindMethod(v.text);
    if (m == nullptr) Fail<EPropertyError>("Method " + v.text + " not found", v.line);
    if (m->Signature() != *p.EventSignature)
      Fail<EPropertyError>("Method " + v.text + " does not match the event " + p.Name, v.line);
    p.SetMethod(instance, TMethodRef{root_, m});
  }

  void SetClassValue(TObject* instance, const TPropInfo& p, const TValueNode& v, const AnsiString& name) {
    if (p.IsComponentRef) {
      RequireSetter(static_cast<bool>(p.SetObject), name, v.line);
      if (v.kind != TValueNode::vIdent) BadValue(v);
      if (SameText(v.text, "nil")) {
        p.SetObject(instance, nullptr);
        return;
      }
      fixups_.push_back({instance, &p, v.text, v.line});
      return;
    }
    TObject* sub = p.GetObject(instance);
    auto* collection = dynamic_cast<TCollection*>(sub);
    if (collection == nullptr || v.kind != TValueNode::vCollection) BadValue(v);
    ReadCollection(collection, v);
  }

  // Replaces the collection's items by the ones in the text, inside one
  // update bracket.
  void ReadCollection(TCollection* collection, const TValueNode& v) {
    // A collection given twice in one text: references read into the
    // items about to go must not outlive them.
    std::erase_if(fixups_, [collection](const TFixup& f) { return IsInside(f.instance, collection); });
    collection->BeginUpdate();
    try {
      collection->Clear();
      for (const TItemNode& itemNode : v.items) {
        TCollectionItem* item = collection->Add();
        for (const TPropNode& p : itemNode.props) ReadProperty(item, p);
      }
    } catch (...) {
      collection->EndUpdate();
      throw;
    }
    collection->EndUpdate();
  }

  static bool IsInside(TObject* instance, TCollection* collection) {
    for (auto* p = dynamic_cast<TPersistent*>(instance); p != nullptr; p = p->GetOwner())
      if (p == collection) return true;
    return false;
  }

  // References are set once every component of the text exists; those to
  // components of roots not yet there wait among the global fixups.
  void ResolveFixups() {
    std::vector<TPendingFixup> waiting;
    for (const TFixup& f : fixups_) {
      TComponent* target = FindNestedComponent(root_, f.path);
      if (target == nullptr) {
        waiting.push_back({f.instance, f.prop, f.path, root_, ComponentOf(f.instance)});
        continue;
      }
      if (!f.prop->AcceptsObject(target)) Fail<EPropertyError>("Invalid property value", f.line);
      f.prop->SetObject(f.instance, target);
    }
    TGlobalRoots& g = TGlobalRoots::Get();
    for (TPendingFixup& w : waiting) {
      g.Watch(w.root);
      g.Watch(w.component);
      g.pending.push_back(w);
    }
  }

  struct TFixup {
    TObject* instance;
    const TPropInfo* prop;
    AnsiString path;
    int line;
  };

  TComponent* root_;
  std::vector<TComponent*> created_;
  std::vector<TComponent*> loaded_;
  std::vector<TFixup> fixups_;
};

}  // namespace

// ============================================================================
// Entry points
// ============================================================================

AnsiString ComponentToObjectText(TComponent* root) { return TFormWriter(root).Write(); }

void ObjectTextToComponent(std::string_view text, TComponent* root) {
  TObjectNode node = TParser(text).ParseRoot();
  TFormReader(root).ReadRoot(node);
}

TComponent* ObjectTextToNewComponent(std::string_view text, TComponent* owner) {
  TObjectNode node = TParser(text).ParseRoot();
  const TClassInfo* cls = GetClass(node.className);
  if (cls == nullptr) throw EClassNotFound("Class " + node.className + " not found" + LineSuffix(node.line));
  if (!cls->InheritsFrom(TComponent::StaticClassInfo()) || !cls->CanCreate())
    throw EClassNotFound("Cannot create an instance of " + node.className + LineSuffix(node.line));
  std::unique_ptr<TComponent> root(cls->CreateComponent(owner));
  TFormReader(root.get()).ReadRoot(node);
  return root.release();
}

void WriteComponentToStream(TStream* stream, TComponent* root) {
  AnsiString text = ComponentToObjectText(root);
  stream->WriteBuffer(text.data(), static_cast<int>(text.size()));
}

void ReadComponentFromStream(TStream* stream, TComponent* root) {
  std::int64_t left = stream->Size() - stream->Position();
  if (left < 0) left = 0;
  if (left > INT32_MAX) throw EReadError("Stream read error");
  std::string text(static_cast<size_t>(left), '\0');
  stream->ReadBuffer(text.data(), static_cast<int>(left));
  ObjectTextToComponent(text, root);
}

AnsiString ObjectTextClassName(std::string_view text) { return TParser(text).HeaderClassName(); }

void RegisterGlobalRoot(TComponent* root) {
  TGlobalRoots& g = TGlobalRoots::Get();
  if (std::find(g.roots.begin(), g.roots.end(), root) == g.roots.end()) {
    g.roots.push_back(root);
    g.Watch(root);
  }
  g.Resolve();
}

void UnregisterGlobalRoot(TComponent* root) { std::erase(TGlobalRoots::Get().roots, root); }

TComponent* FindGlobalComponent(std::string_view name) {
  for (TComponent* r : TGlobalRoots::Get().roots)
    if (SameText(r->Name(), name)) return r;
  return nullptr;
}

int PendingGlobalFixupCount() { return static_cast<int>(TGlobalRoots::Get().pending.size()); }
