// Report stream primitives (encodings in ReportStream.h).
#include "report/ReportStream.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"

int rbCurrentVersion = 24;
bool rbErrorFlag = false;
AnsiString rbErrorText;
int rbDocMode = 0;

void rbFormatError(TStream* stream, const AnsiString& what) {
  throw EReadError("Report stream damaged at offset " + IntToStr(stream->Position()) + ": " + what);
}

void rbStreamReadBytes(TStream* stream, void* buffer, int count) {
  if (count < 0 || stream->Size() - stream->Position() < count)
    rbFormatError(stream, "unexpected end of data (" + IntToStr(count) + " bytes wanted)");
  stream->ReadBuffer(buffer, count);
}

std::uint8_t rbStreamReadByte(TStream* stream) {
  std::uint8_t b;
  rbStreamReadBytes(stream, &b, 1);
  return b;
}

std::uint16_t rbStreamReadWord(TStream* stream) {
  std::uint8_t b[2];
  rbStreamReadBytes(stream, b, 2);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::int32_t rbStreamReadInt(TStream* stream) {
  std::uint8_t b[4];
  rbStreamReadBytes(stream, b, 4);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                   (static_cast<std::uint32_t>(b[2]) << 16) |
                                   (static_cast<std::uint32_t>(b[3]) << 24));
}

namespace {

std::int32_t ReadWithin(TStream* stream, std::int32_t limit, const char* what) {
  const std::int32_t v = rbStreamReadInt(stream);
  if (v < -limit || v > limit) {
    stream->Seek(-4, soCurrent);
    rbFormatError(stream, AnsiString(what) + " " + IntToStr(v) + " out of range");
  }
  return v;
}

}  // namespace

std::int32_t rbStreamReadGeometry(TStream* stream, const char* what) {
  return ReadWithin(stream, kRbMaxGeometry, what);
}

std::int32_t rbStreamReadFontSize(TStream* stream) { return ReadWithin(stream, kRbMaxFontSize, "font size"); }

double rbStreamReadDouble(TStream* stream) {
  double d;
  rbStreamReadBytes(stream, &d, 8);
  return d;
}

void rbStreamWriteByte(TStream* stream, std::uint8_t v) { stream->WriteBuffer(&v, 1); }

void rbStreamWriteWord(TStream* stream, std::uint16_t v) {
  std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
  stream->WriteBuffer(b, 2);
}

void rbStreamWriteInt(TStream* stream, std::int32_t v) {
  auto u = static_cast<std::uint32_t>(v);
  std::uint8_t b[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                       static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
  stream->WriteBuffer(b, 4);
}

void rbStreamWriteDouble(TStream* stream, double v) { stream->WriteBuffer(&v, 8); }

namespace {

void WriteCounted(TStream* stream, const AnsiString& s) {
  if (s.size() > 0xFFFF) throw EWriteError("Report text longer than 65535 bytes");
  rbStreamWriteWord(stream, static_cast<std::uint16_t>(s.size()));
  if (!s.empty()) stream->WriteBuffer(s.data(), static_cast<int>(s.size()));
}

AnsiString ReadCounted(TStream* stream) {
  std::uint16_t n = rbStreamReadWord(stream);
  AnsiString s(n, '\0');
  if (n) rbStreamReadBytes(stream, s.data(), n);
  return s;
}

}  // namespace

AnsiString rbStreamReadString(TStream* stream) {
  AnsiString s = ReadCounted(stream);
  rbStreamReadByte(stream);  // terminator, not checked
  return s;
}

void rbStreamWriteString(TStream* stream, const AnsiString& s) {
  WriteCounted(stream, s);
  rbStreamWriteByte(stream, 0);
}

void rbStreamWriteMemo(TStream* stream, TStrings* list) {
  int n = list->Count();
  if (n > 0xFFFF) throw EWriteError("Report text of more than 65535 lines");
  rbStreamWriteWord(stream, static_cast<std::uint16_t>(n));
  for (int i = 0; i < n; ++i) {
    WriteCounted(stream, list->Get(i));
    if (i + 1 < n) rbStreamWriteByte(stream, 13);
  }
  rbStreamWriteByte(stream, 0);
}

void rbStreamReadMemo(TStream* stream, TStrings* list) {
  list->Clear();
  std::uint16_t count = rbStreamReadWord(stream);
  if (count == 0) {
    rbStreamReadByte(stream);
    return;
  }
  while (true) {
    list->Add(ReadCounted(stream));
    std::uint8_t mark = rbStreamReadByte(stream);
    if (mark == 0) return;
    if (mark != 13) rbFormatError(stream, "line list separator " + IntToStr(mark));
  }
}

AnsiString rbStreamReadStringOld(TStream* stream) {
  AnsiString s;
  for (std::uint8_t b; (b = rbStreamReadByte(stream)) != 0;) s += static_cast<char>(b);
  return s;
}

void rbStreamReadMemoOld(TStream* stream, TStrings* list) {
  list->Clear();
  AnsiString line;
  for (std::uint8_t b; (b = rbStreamReadByte(stream)) != 0;) {
    if (b == 13) {
      list->Add(line);
      line.clear();
    } else {
      line += static_cast<char>(b);
    }
  }
  if (!line.empty()) list->Add(line);
}

AnsiString rbReadTemplateString(TStream* stream) {
  return rbCurrentVersion < 23 ? rbStreamReadStringOld(stream) : rbStreamReadString(stream);
}

void rbReadTemplateMemo(TStream* stream, TStrings* list) {
  if (rbCurrentVersion < 23) rbStreamReadMemoOld(stream, list);
  else rbStreamReadMemo(stream, list);
}

int rbRound(double v) {
  if (std::isnan(v)) return 0;
  const double r = std::nearbyint(v);
  if (r >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (r <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(r);
}

std::int32_t rbFrameWidthCode(double width) {
  if (width == std::floor(width) && width < 11) return rbRound(width);
  return rbRound(width * 1000);
}

double rbFrameWidthFromCode(std::int32_t code) {
  double thousandths = code <= 10 ? code * 1000.0 : static_cast<double>(code);
  return thousandths / 1000;
}

AnsiString rbStripQuotes(const AnsiString& s) {
  if (s.size() >= 3 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
  return s;
}

AnsiString rbNextListItem(const AnsiString& s, int& pos) {
  int start = pos;
  while (pos <= s.Length() && s[static_cast<size_t>(pos - 1)] != ';') ++pos;
  AnsiString item = s.SubString(start, pos - start);
  ++pos;
  return item;
}

void rbSplitList(const AnsiString& s, TStrings* list) {
  list->Clear();
  int pos = 1;
  while (pos <= s.Length()) list->Add(rbNextListItem(s, pos));
}
