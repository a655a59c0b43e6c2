// TextFormWriter: writes components in the text form, in the class
// library's layout to the byte (see TextForm.h).
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "platform/core/Collections.h"
#include "platform/core/Component.h"
#include "platform/core/Strings.h"
#include "platform/core/TextFormInt.h"
#include "platform/core/TypInfo.h"

namespace textform {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr int kLineLength = 64;     // bytes of a string piece before " +"
constexpr int kBytesPerLine = 32;   // bytes of binary data per line
constexpr int kFixedDecimals = 18;  // decimals of a float in fixed notation

// --- floats ------------------------------------------------------------------

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

// --- writer ------------------------------------------------------------------

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
        // A 32-bit ordinal is written signed, as stored definitions hold
        // it: an unsigned 4294967295 is "-1" (the reader takes both back).
        if (p.Kind == tkInteger) v = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
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


}  // namespace

AnsiString WriteObjectText(TComponent* root) { return TFormWriter(root).Write(); }

}  // namespace textform
