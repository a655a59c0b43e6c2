// AnsiCollation: the table behind the ANSI sort order (AnsiText.h).
//
// Stored indexes are ordered by it, so the order must not depend on the
// machine or its locale settings.  tools/collgen derives it at build time
// from ICU's Chinese collation ("zh", pinyin) and writes the table source
// into the build directory; at run time a comparison is table look-ups only.
//
// Units.  Text is split into units as ByteTypeAt splits it: a lead byte
// 0x81..0xFE with the byte after it is one unit, any other byte (and a lead
// byte at the end of the text) is a unit alone.  Unit index:
//     single byte b            -> b                               (0..255)
//     pair lead L, trail t     -> 256 + (L - 0x81) * 256 + t      (256..32511)
// Every index has an entry, assigned characters or not.
//
// Weights.  kAnsiCollationWeights[u] = P << 16 | S << 8 | T:
//  P  primary: 1.. in the order of ICU's primary level over the single
//     character; equal P means the same base letter ("a", "A", "Ａ").
//     P = 0 marks a unit ignored at the first three levels: the characters
//     ICU ignores (the control characters other than the blanks \t \n \v
//     \f \r, and 0x7F) and, as in a word sort, the hyphen '-' (0x2D) and
//     the apostrophe '\'' (0x27).  No double-byte character is ignored.
//     Units that are not characters of the code page (unassigned pairs, a
//     pair with a bad trail byte, a lone lead byte) share kAnsiBrokenPrimary,
//     above all characters, and are told apart at level 4 only.  The byte
//     0xFF alone weighs kAnsiTopPrimary, above everything: the engine bounds
//     a range of keys that start with a text by that text plus 0xFF, and
//     every text with that start must sort below the bound (invariant B).
//  S  secondary (accents), ranked 1.. among the units of one P.
//  T  tertiary (case, width), ranked 1.. among the units of one P and S;
//     lower case sorts first.
// Script order: ICU's Chinese tailoring puts Han before Latin; the table
// keeps the root order instead (punctuation, digits, Latin, Greek, Cyrillic,
// ..., then Chinese characters in pinyin order), which is the order the
// operators' locale comparison gave names mixing both.
//
// Comparison of two unit strings, level by level, the first difference
// deciding:
//  1. the sequences of P of the units with P != 0 (a proper prefix first);
//  2. the sequences of S of those units;
//  3. the sequences of T of those units;
//  4. the sequences of unit indexes of all units (a proper prefix first).
// Level 4 makes the order total: two texts compare equal only if their unit
// sequences, and hence their bytes, are equal (invariant T of AnsiText.h).
// Levels 2 and 3 compare units pairwise: they are reached only when the
// level-1 sequences are equal, so the units paired have equal P, which is
// why S and T need only be ranked within their P.
//
// Case.  kAnsiLowerUnit[u] and kAnsiUpperUnit[u] are the units of the lower-
// and upper-case forms of u's character when the code page holds that form
// as a unit of the same length (ASCII, full-width Latin, Greek, Cyrillic
// letters and Roman numerals), else u itself; so case mapping never changes
// a text's length or its split into units.  Case-insensitive comparison
// compares the lower-cased texts the same way.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kAnsiCollationUnits = 256 + 126 * 256;
constexpr uint32_t kAnsiBrokenPrimary = 0xFFFE;
constexpr uint32_t kAnsiTopPrimary = 0xFFFF;

extern const uint32_t kAnsiCollationWeights[kAnsiCollationUnits];
extern const uint16_t kAnsiLowerUnit[kAnsiCollationUnits];
extern const uint16_t kAnsiUpperUnit[kAnsiCollationUnits];

inline uint32_t AnsiPrimary(uint32_t w) { return w >> 16; }
inline uint32_t AnsiSecondary(uint32_t w) { return (w >> 8) & 0xFF; }
inline uint32_t AnsiTertiary(uint32_t w) { return w & 0xFF; }

inline size_t AnsiSingleUnit(unsigned char b) { return b; }
inline size_t AnsiPairUnit(unsigned char lead, unsigned char trail) {
  return 256 + static_cast<size_t>(lead - 0x81) * 256 + trail;
}
