#include "platform/core/AnsiString.h"

#include <algorithm>

AnsiString AnsiString::SubString(int index, int count) const {
  if (index < 1) index = 1;
  if (count <= 0 || index > Length()) return AnsiString();
  return AnsiString(substr(static_cast<size_t>(index - 1), static_cast<size_t>(count)));
}

int AnsiString::Pos(std::string_view sub) const {
  if (sub.empty()) return 0;
  size_t p = find(sub);
  return p == npos ? 0 : static_cast<int>(p) + 1;
}

AnsiString& AnsiString::Delete(int index, int count) {
  if (index < 1 || index > Length() || count <= 0) return *this;
  erase(static_cast<size_t>(index - 1), static_cast<size_t>(count));
  return *this;
}

AnsiString& AnsiString::Insert(std::string_view s, int index) {
  if (index < 1) index = 1;
  if (index > Length() + 1) index = Length() + 1;
  insert(static_cast<size_t>(index - 1), s);
  return *this;
}

AnsiString AnsiString::UpperCase() const {
  AnsiString r(*this);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

AnsiString AnsiString::LowerCase() const {
  AnsiString r(*this);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

static bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

AnsiString AnsiString::Trim() const { return TrimLeft().TrimRight(); }

AnsiString AnsiString::TrimLeft() const {
  size_t i = 0;
  while (i < size() && IsBlank((*this)[i])) ++i;
  return AnsiString(substr(i));
}

AnsiString AnsiString::TrimRight() const {
  size_t n = size();
  while (n > 0 && IsBlank((*this)[n - 1])) --n;
  return AnsiString(substr(0, n));
}

TMbcsByteType ByteTypeAt(std::string_view s, size_t offset) {
  if (offset >= s.size()) return mbSingleByte;
  size_t i = 0;
  while (i < offset) {
    if (IsDBCSLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size())
      i += 2;
    else
      i += 1;
  }
  if (i > offset) return mbTrailByte;  // offset is the second byte of a pair
  if (IsDBCSLeadByte(static_cast<unsigned char>(s[offset])) && offset + 1 < s.size())
    return mbLeadByte;
  return mbSingleByte;
}

bool AnsiString::IsLeadByte(int index) const {
  return index >= 1 && ByteTypeAt(*this, static_cast<size_t>(index - 1)) == mbLeadByte;
}

bool AnsiString::IsTrailByte(int index) const {
  return index >= 1 && ByteTypeAt(*this, static_cast<size_t>(index - 1)) == mbTrailByte;
}
