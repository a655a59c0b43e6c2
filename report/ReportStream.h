// Report stream primitives shared by templates (".rbf") and prepared
// reports (".rbp"), the engine-wide reading state, and small text helpers.
// Calls platform/core only.
//
// Encodings (little-endian):
//   word       uint16                    int        int32
//   string     word n, n bytes, byte 0   (the reader reads the 0 unchecked)
//   line list  word count; per line: word n, n bytes, then byte 13 when
//              another line follows; after the last line (or right after a
//              count of 0) byte 0.  The count only tells whether lines
//              follow; lines are read until one is followed by byte 0.
//   old string     bytes up to byte 0                   (templates before 23)
//   old line list  bytes up to byte 0, byte 13 ends a line; the text before
//                  the 0 is a last line only when not empty    (before 23)
//
//   ""            -> 00 00 00          {"ab", ""} -> 02 00 02 00 61 62 0D 00 00 00
//
// Every read is bounds-checked: a value that runs past the end of the
// stream, or a count or length that cannot be right, raises EReadError
// naming the stream offset.
#pragma once

#include <cstdint>

#include "platform/core/AnsiString.h"

class TStream;
class TStrings;

// Reading state of the stream being read (templates and prepared pages).
extern int rbCurrentVersion;  // 21..24
extern bool rbErrorFlag;      // a class could not be created while reading
extern AnsiString rbErrorText;
// 0 design, 1 printing or preview.
extern int rbDocMode;

[[noreturn]] void rbFormatError(TStream* stream, const AnsiString& what);

std::uint8_t rbStreamReadByte(TStream* stream);
std::uint16_t rbStreamReadWord(TStream* stream);
std::int32_t rbStreamReadInt(TStream* stream);
// Geometry (places, sizes, margins, gaps, spacings, frame widths, paper
// sizes), in design units or the paper's tenths of millimetres: an int
// within +-kRbMaxGeometry, a hundred metres or more of paper, so that
// scaling and adding them for any printer stays within int.  Font sizes
// (points) stay within +-kRbMaxFontSize.  Anything beyond is a damaged file:
// EReadError naming the value and its offset.
inline constexpr std::int32_t kRbMaxGeometry = 1000000;
inline constexpr std::int32_t kRbMaxFontSize = 2000;
std::int32_t rbStreamReadGeometry(TStream* stream, const char* what);
std::int32_t rbStreamReadFontSize(TStream* stream);
double rbStreamReadDouble(TStream* stream);
void rbStreamReadBytes(TStream* stream, void* buffer, int count);
void rbStreamWriteByte(TStream* stream, std::uint8_t v);
void rbStreamWriteWord(TStream* stream, std::uint16_t v);
void rbStreamWriteInt(TStream* stream, std::int32_t v);
void rbStreamWriteDouble(TStream* stream, double v);

AnsiString rbStreamReadString(TStream* stream);
void rbStreamWriteString(TStream* stream, const AnsiString& s);  // EWriteError beyond 65535 bytes
void rbStreamReadMemo(TStream* stream, TStrings* list);
void rbStreamWriteMemo(TStream* stream, TStrings* list);
AnsiString rbStreamReadStringOld(TStream* stream);
void rbStreamReadMemoOld(TStream* stream, TStrings* list);
// The old forms when rbCurrentVersion is below 23, else the counted ones.
AnsiString rbReadTemplateString(TStream* stream);
void rbReadTemplateMemo(TStream* stream, TStrings* list);

// Frame width as stored: a whole width below 11 as itself, any other as
// thousandths; on reading a code up to 10 is whole units.
std::int32_t rbFrameWidthCode(double width);
double rbFrameWidthFromCode(std::int32_t code);

// Font style bits as stored: 1 italic, 2 bold, 4 underline, 8 strike-out.
enum : std::uint16_t { rbfsItalic = 1, rbfsBold = 2, rbfsUnderline = 4, rbfsStrikeOut = 8 };

// A text of 3 or more bytes in double quotes loses them.
AnsiString rbStripQuotes(const AnsiString& s);
// The text from pos (1-based) up to the next ";"; pos moves past it.
AnsiString rbNextListItem(const AnsiString& s, int& pos);
void rbSplitList(const AnsiString& s, TStrings* list);

// Nearest whole number, of two equally near the even one; beyond int the
// nearest end of its range, NaN 0.
int rbRound(double v);
