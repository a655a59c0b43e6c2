#include "platform/core/CodePage.h"

#include <iconv.h>

#include <cerrno>

namespace {

// One iconv conversion.  Descriptors are created per call: they carry
// shift state and are not thread-safe, and the cost is small against the
// texts converted.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts in; on an invalid or unconvertible input unit, appends
  // replacement and skips skipLen(pos, left) bytes of input.
  template <typename SkipFn>
  std::string Run(std::string_view in, std::string_view replacement, SkipFn skipLen) {
    std::string out;
    out.reserve(in.size() * 2 + 8);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[1024];
    while (srcLeft > 0) {
      char* dst = buf;
      size_t dstLeft = sizeof buf;
      size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buf, static_cast<size_t>(dst - buf));
      if (r == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (truncated input): replace one unit and go on.
        out.append(replacement);
        size_t skip = skipLen(src, srcLeft);
        if (skip == 0 || skip > srcLeft) skip = srcLeft < 1 ? srcLeft : 1;
        src += skip;
        srcLeft -= skip;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    char* dst = buf;
    size_t dstLeft = sizeof buf;
    iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
    out.append(buf, static_cast<size_t>(dst - buf));
    return out;
  }

 private:
  iconv_t cd_;
};

// Code page 936 is GBK plus the euro sign at 0x80; GBK in glibc's iconv.
constexpr const char* kAnsi = "CP936";

// A bad code-page-936 unit is skipped as a pair when it starts with a lead
// byte followed by a byte, else as one byte.
size_t AnsiSeqLen(const char* p, size_t left) {
  if (!IsDBCSLeadByte(static_cast<unsigned char>(*p)) || left < 2) return 1;
  unsigned char t = static_cast<unsigned char>(p[1]);
  return (t >= 0x40 && t <= 0xFE && t != 0x7F) ? 2 : 1;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  Converter c("UTF-8", kAnsi);
  if (!c.ok()) return std::string(ansi);
  return c.Run(ansi, "\xEF\xBF\xBD", AnsiSeqLen);
}

// Length of the UTF-8 sequence starting at p (1 for a stray byte), so that
// one bad or unmappable character gives one '?'.
static size_t Utf8SeqLen(const char* p, size_t left) {
  unsigned char lead = static_cast<unsigned char>(*p);
  size_t len = lead < 0xC0 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  size_t i = 1;
  while (i < len && i < left && (static_cast<unsigned char>(p[i]) & 0xC0) == 0x80) ++i;
  return i;
}

AnsiString Utf8ToAnsi(std::string_view utf8) {
  Converter c(kAnsi, "UTF-8");
  if (!c.ok()) return AnsiString(utf8);
  return AnsiString(c.Run(utf8, "?", Utf8SeqLen));
}

std::u16string AnsiToUtf16(std::string_view ansi) {
  Converter c("UTF-16LE", kAnsi);
  std::string bytes = c.ok() ? c.Run(ansi, std::string_view("\xFD\xFF", 2), AnsiSeqLen) : std::string();
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

AnsiString Utf16ToAnsi(std::u16string_view utf16) {
  // Through UTF-8: unpaired surrogates become U+FFFD, then '?'.
  std::string utf8;
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      utf8 += static_cast<char>(cp);
    } else if (cp < 0x800) {
      utf8 += static_cast<char>(0xC0 | (cp >> 6));
      utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (cp >> 12));
      utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (cp >> 18));
      utf8 += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return Utf8ToAnsi(utf8);
}
