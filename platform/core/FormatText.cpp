// Format: the class library's printf-like formatting.
//
//   "%" [index ":"] ["-"] [width] ["." precision] type
//   index, width and precision are decimal or "*" (the next argument, which
//   must be an integer); index is 0-based and later directives without one
//   continue after it.
//   d  integer; precision = minimum digits (zero-padded)
//   u  integer as unsigned (32-bit for int arguments, 64-bit for int64)
//   e  float, "-d.ddd...E+ddd": precision = significant digits (default 15),
//      at least three exponent digits
//   f  float, fixed: precision = decimals (default 2)
//   g  float, general: precision = significant digits (default 15)
//   n  as f, with thousands separators
//   m  currency (CurrencyString, CurrencyFormat/NegCurrFormat); precision
//      default CurrencyDecimals
//   p  pointer, upper-case hexadecimal, one digit per nibble of a pointer
//   s  string or character; precision = maximum characters
//   x  integer, upper-case hexadecimal; precision = minimum digits
// Type letters may be upper case.  A width pads with blanks on the left, or
// on the right after "-".  A directive that does not match its argument
// raises EConvertError "Format '%s' invalid or incompatible with argument";
// a missing argument "No argument for format '%s'".  Widths and precisions
// above 65535 are refused with the first error.
#include <climits>
#include <cstdint>
#include <string>

#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"
#include "platform/core/NumFormatInt.h"

namespace {

// Widths and precisions above this are refused: a format text typed into a
// report must not make the program pad a string to gigabytes.
constexpr long kMaxWidth = 65535;

class TFormatter {
 public:
  TFormatter(const AnsiString& format, const TVarRec* args, size_t count,
             const TFormatSettings& fs)
      : format_(format), args_(args), count_(count), fs_(fs) {}

  AnsiString Run() {
    size_t i = 0, n = format_.size();
    while (i < n) {
      char c = format_[i];
      if (c != '%') {
        out_ += c;
        if (IsDBCSLeadByte(static_cast<unsigned char>(c)) && i + 1 < n) out_ += format_[++i];
        ++i;
        continue;
      }
      ++i;
      if (i < n && format_[i] == '%') {
        out_ += '%';
        ++i;
        continue;
      }
      i = Directive(i);
    }
    return out_;
  }

 private:
  [[noreturn]] void Invalid() const {
    throw EConvertError("Format '" + format_ + "' invalid or incompatible with argument");
  }

  const TVarRec& NextArg() {
    if (next_ >= count_) throw EConvertError("No argument for format '" + format_ + "'");
    return args_[next_++];
  }

  // Reads a number or "*" at i; -1 when there is none.
  int Number(size_t& i) {
    if (i < format_.size() && format_[i] == '*') {
      ++i;
      const TVarRec& a = NextArg();
      if (a.VType() != TVarRec::vtInteger || a.AsInt64() > kMaxWidth) Invalid();
      return static_cast<int>(a.AsInt64());
    }
    if (i >= format_.size() || format_[i] < '0' || format_[i] > '9') return -1;
    long v = 0;
    while (i < format_.size() && format_[i] >= '0' && format_[i] <= '9') {
      v = v * 10 + (format_[i++] - '0');
      if (v > kMaxWidth) Invalid();
    }
    return static_cast<int>(v);
  }

  size_t Directive(size_t i) {
    size_t n = format_.size();
    bool left = false;
    // An index is a number (or *) followed by ':'.
    size_t save = i;
    if (i < n && format_[i] == '-') { left = true; ++i; }
    int width = Number(i);
    if (!left && i < n && format_[i] == ':') {
      if (width < 0) Invalid();
      next_ = static_cast<size_t>(width);
      ++i;
      save = i;
      if (i < n && format_[i] == '-') { left = true; ++i; }
      width = Number(i);
    }
    (void)save;
    int precision = -1;
    if (i < n && format_[i] == '.') {
      ++i;
      precision = Number(i);
      if (precision < 0) precision = 0;
    }
    if (i >= n) Invalid();
    char type = static_cast<char>(format_[i] >= 'a' && format_[i] <= 'z' ? format_[i] - 32 : format_[i]);
    AnsiString text = Convert(type, precision);
    if (width > 0 && text.Length() < width) {
      if (left) text.append(width - text.Length(), ' ');
      else text.insert(0, width - text.Length(), ' ');
    }
    out_ += text;
    return i + 1;
  }

  AnsiString Convert(char type, int precision) {
    const TVarRec& a = NextArg();
    bool isInt = a.VType() == TVarRec::vtInteger || a.VType() == TVarRec::vtInt64;
    switch (type) {
      case 'D': {
        if (!isInt) Invalid();
        std::int64_t v = a.AsInt64();
        std::string digits = v < 0 ? std::to_string(0 - static_cast<std::uint64_t>(v))
                                   : std::to_string(v);
        if (precision > 0 && static_cast<int>(digits.size()) < precision)
          digits.insert(0, precision - digits.size(), '0');
        return (v < 0 ? "-" : "") + digits;
      }
      case 'U': {
        if (!isInt) Invalid();
        unsigned long long v = static_cast<unsigned long long>(a.AsInt64());
        if (a.VType() == TVarRec::vtInteger) v &= 0xFFFFFFFFu;
        std::string digits = std::to_string(v);
        if (precision > 0 && static_cast<int>(digits.size()) < precision)
          digits.insert(0, precision - digits.size(), '0');
        return digits;
      }
      case 'X': {
        if (!isInt) Invalid();
        unsigned long long v = static_cast<unsigned long long>(a.AsInt64());
        if (a.VType() == TVarRec::vtInteger) v &= 0xFFFFFFFFu;
        return IntToHex(v, precision < 0 ? 0 : precision);
      }
      case 'E': case 'F': case 'G': case 'N': case 'M':
        return Float(type, a, precision);
      case 'P': {
        if (a.VType() != TVarRec::vtPointer) Invalid();
        return IntToHex(static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(a.AsPointer())),
                        static_cast<int>(sizeof(void*) * 2));
      }
      case 'S': {
        if (a.VType() != TVarRec::vtString && a.VType() != TVarRec::vtChar) Invalid();
        AnsiString s = a.AsString();
        if (precision >= 0 && precision < s.Length()) s.resize(precision);
        return s;
      }
      default:
        Invalid();
    }
  }

  AnsiString Float(char type, const TVarRec& a, int precision) {
    if (a.VType() != TVarRec::vtExtended) Invalid();
    if (precision > 18) precision = 18;
    numfmt::TDecimal d;
    switch (type) {
      case 'E':
        if (precision < 0) precision = 15;
        d = numfmt::ToDecimal(a.AsDouble());
        return numfmt::FormatDecimal(d, ffExponent, precision, 3, fs_);
      case 'G':
        if (precision < 0) precision = 15;
        d = numfmt::ToDecimal(a.AsDouble());
        return numfmt::FormatDecimal(d, ffGeneral, precision, 0, fs_);
      case 'F':
      case 'N':
      case 'M': {
        if (precision < 0) precision = type == 'M' ? fs_.CurrencyDecimals : 2;
        d = numfmt::ToDecimal(a.AsDouble());
        TFloatFormat f = type == 'F' ? ffFixed : type == 'N' ? ffNumber : ffCurrency;
        return numfmt::FormatDecimal(d, f, 18, precision, fs_);
      }
    }
    Invalid();
  }

  const AnsiString& format_;
  const TVarRec* args_;
  size_t count_;
  const TFormatSettings& fs_;
  size_t next_ = 0;
  AnsiString out_;
};

}  // namespace

AnsiString Format(const AnsiString& format, std::initializer_list<TVarRec> args,
                  const TFormatSettings& fs) {
  return TFormatter(format, args.begin(), args.size(), fs).Run();
}

AnsiString Format(const AnsiString& format, const std::vector<TVarRec>& args,
                  const TFormatSettings& fs) {
  return TFormatter(format, args.data(), args.size(), fs).Run();
}
