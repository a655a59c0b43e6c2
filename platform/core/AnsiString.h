// AnsiString: a byte string in code page 936 (GBK), the system's text type.
//
// It is a std::string with the class library's string operations added, so
// that standard algorithms and the library's idioms both apply.  Conventions:
//  - operator[] and every std::string member stay 0-based;
//  - the class-library operations (SubString, Pos, Delete, Insert) are
//    1-based, as the system's code is written that way; 0 from Pos means
//    "not found".
//  - No operation here looks at the encoding beyond the lead-byte helpers;
//    multi-byte-aware case mapping and comparison live in AnsiText.h.
// Narrow literals are already code-page-936 bytes (-fexec-charset=GB18030).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class AnsiString : public std::string {
 public:
  using std::string::string;
  AnsiString() = default;
  AnsiString(const std::string& s) : std::string(s) {}
  AnsiString(std::string&& s) noexcept : std::string(std::move(s)) {}
  AnsiString(std::string_view s) : std::string(s) {}
  AnsiString(const char* s) : std::string(s ? s : "") {}
  AnsiString(char c) : std::string(1, c) {}

  int Length() const { return static_cast<int>(size()); }
  bool IsEmpty() const { return empty(); }

  // 1-based; clipped to the string like the class library's Copy.
  AnsiString SubString(int index, int count) const;
  // 1-based byte position of the first occurrence of sub, 0 if none.
  int Pos(std::string_view sub) const;
  // Removes count bytes starting at 1-based index (clipped).
  AnsiString& Delete(int index, int count);
  // Inserts s before 1-based index (clipped to the ends).
  AnsiString& Insert(std::string_view s, int index);
  void SetLength(int n) { resize(n < 0 ? 0 : static_cast<size_t>(n)); }

  // ASCII-only case mapping (bytes >= 0x80 are left alone).  For case
  // mapping that respects lead and trail bytes use AnsiUpperCase.
  AnsiString UpperCase() const;
  AnsiString LowerCase() const;
  // Trim removes bytes <= ' ' at the ends, as the class library does.
  AnsiString Trim() const;
  AnsiString TrimLeft() const;
  AnsiString TrimRight() const;

  // 1-based test of the byte's role in a multi-byte character.
  bool IsLeadByte(int index) const;
  bool IsTrailByte(int index) const;
};

// Code page 936 lead bytes are 0x81..0xFE; a lead byte is followed by one
// trail byte (0x40..0xFE, except 0x7F).
inline bool IsDBCSLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

enum TMbcsByteType { mbSingleByte, mbLeadByte, mbTrailByte };
// Role of the byte at 0-based offset in s, scanning from the start so that a
// trail byte that looks like a lead byte is classified correctly.
TMbcsByteType ByteTypeAt(std::string_view s, size_t offset);

// Hash for unordered containers keyed by AnsiString.
template <>
struct std::hash<AnsiString> {
  size_t operator()(const AnsiString& s) const noexcept {
    return std::hash<std::string>()(s);
  }
};
