// AnsiText: case mapping, comparison and search of code-page-936 text that
// respect the double-byte structure of the code page.  platform/core only.
//
// Characters.  A byte 0x81..0xFE is a lead byte and takes the byte after it
// as its trail byte (0x40..0xFE except 0x7F in valid text); every other byte
// is a character by itself, and a lead byte at the very end stands alone.
// This is the same split as ByteTypeAt (AnsiString.h).  A trail byte may look
// like an ASCII letter, '[', '\\' or ']': nothing here ever changes, matches
// or folds a trail byte as if it were a character of its own.
//
// Two orders:
//  - the ANSI order (the engine's soANSI): the Chinese locale's order, fixed
//    at build time in a table (AnsiCollation.h) so that it never depends on
//    the machine: Chinese characters in pinyin order, Latin letters compared
//    as words (case breaks ties only, hyphen and apostrophe are ignored at
//    first), digits and punctuation as the locale orders them.
//    Invariant T (total order): the case-sensitive comparison returns 0 only
//    for byte-equal strings; the case-insensitive one only for strings whose
//    bytes are equal after folding the case of each character.
//  - the ASCII order (soASCII): plain unsigned byte order; the
//    case-insensitive form upper-cases ASCII letters that are not trail
//    bytes before comparing.
// Results are < 0, 0 or > 0; callers use the sign only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/core/AnsiString.h"

// Case mapping of the Chinese locale, character by character: ASCII
// letters, and the double-byte letters whose other case the code page also
// holds (full-width Latin, Greek, Cyrillic, Roman numerals).  The length
// never changes; other characters, and trail bytes in particular, stay.
AnsiString AnsiUpperCase(std::string_view s);
AnsiString AnsiLowerCase(std::string_view s);

// ANSI order, case-sensitive and case-insensitive.
int AnsiCompareStr(std::string_view a, std::string_view b);
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameStr(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);

// ASCII order: byte order, the Text forms folding ASCII letters to upper
// case (trail bytes excepted).
int CompareStr(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);

// 1-based byte position of the first occurrence of sub in s that starts on a
// character boundary; 0 when there is none or sub is empty.
int AnsiPos(std::string_view sub, std::string_view s);

// Key comparison of the engine's string key parts: raw byte ranges, no
// allocation, thread-safe.  Without partial, the whole strings are compared
// whatever their length (a proper prefix sorts first).  With partial, only
// the first min(alen, blen) bytes of each are compared, so a string equals
// every string it is a prefix of.  A zero byte is a character like any
// other (ignored until the last level by the ANSI order).
int CompareAnsiKey(const char* a, size_t alen, const char* b, size_t blen,
                   bool caseInsensitive, bool partial = false);
int CompareAsciiKey(const char* a, size_t alen, const char* b, size_t blen,
                    bool caseInsensitive, bool partial = false);

// The ANSI order as bytes: for any two texts, comparing their sort keys
// byte by byte (a key that is a proper prefix of the other first) gives
// the sign of CompareAnsiKey(a, b, caseInsensitive = false).  For sorting
// many texts, each key is made once instead of weighing both texts at
// every comparison.  Appends to out: the primary weights (two bytes each,
// high byte first) ended by two zero bytes, the secondary and tertiary
// weights (a byte each), then every unit (two bytes each).
void AppendAnsiSortKey(const char* s, size_t len, std::string& out);
