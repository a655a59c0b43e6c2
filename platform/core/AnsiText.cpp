#include "platform/core/AnsiText.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/core/AnsiCollation.h"

namespace {

inline unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

// Bytes of the character starting at s[i] (1 or 2), by the split of
// ByteTypeAt: a lead byte takes the next byte whatever it is.
inline size_t CharLen(const char* s, size_t i, size_t n) {
  return (IsDBCSLeadByte(Byte(s[i])) && i + 1 < n) ? 2 : 1;
}

inline unsigned char AsciiUpper(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

// Maps each unit through the table; the mapped unit has the same length
// (AnsiCollation.h), so bytes are replaced in place.
AnsiString MapCase(std::string_view s, const uint16_t* table) {
  AnsiString out(s);
  for (size_t i = 0; i < out.size();) {
    size_t len = CharLen(out.data(), i, out.size());
    size_t unit = len == 2 ? AnsiPairUnit(Byte(out[i]), Byte(out[i + 1])) : AnsiSingleUnit(Byte(out[i]));
    size_t mapped = table[unit];
    if (mapped != unit) {
      if (len == 2) {
        out[i] = static_cast<char>(0x81 + (mapped - 256) / 256);
        out[i + 1] = static_cast<char>((mapped - 256) % 256);
      } else {
        out[i] = static_cast<char>(mapped);
      }
    }
    i += len;
  }
  return out;
}

}  // namespace

AnsiString AnsiUpperCase(std::string_view s) { return MapCase(s, kAnsiUpperUnit); }
AnsiString AnsiLowerCase(std::string_view s) { return MapCase(s, kAnsiLowerUnit); }

int CompareAsciiKey(const char* a, size_t alen, const char* b, size_t blen,
                    bool caseInsensitive, bool partial) {
  size_t n = std::min(alen, blen);
  if (!caseInsensitive) {
    int r = n ? std::memcmp(a, b, n) : 0;
    if (r != 0) return r < 0 ? -1 : 1;
  } else {
    // Walk both strings by characters; a trail byte is compared as it is.
    // Where the two split differently the bytes already differ (the lead
    // bytes are equal only if the split so far is equal), so one walk over
    // a's split is enough.
    for (size_t i = 0; i < n;) {
      size_t len = CharLen(a, i, alen);
      unsigned char x = Byte(a[i]), y = Byte(b[i]);
      if (len == 1) {
        x = AsciiUpper(x);
        y = AsciiUpper(y);
      }
      if (x != y) return x < y ? -1 : 1;
      if (len == 2 && i + 1 < n) {
        x = Byte(a[i + 1]);
        y = Byte(b[i + 1]);
        if (x != y) return x < y ? -1 : 1;
      }
      i += len;
    }
  }
  if (partial) return 0;
  return alen < blen ? -1 : alen > blen ? 1 : 0;
}

int CompareStr(std::string_view a, std::string_view b) {
  return CompareAsciiKey(a.data(), a.size(), b.data(), b.size(), false);
}
int CompareText(std::string_view a, std::string_view b) {
  return CompareAsciiKey(a.data(), a.size(), b.data(), b.size(), true);
}
bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

int AnsiPos(std::string_view sub, std::string_view s) {
  if (sub.empty() || sub.size() > s.size()) return 0;
  for (size_t i = 0; i + sub.size() <= s.size();) {
    if (std::memcmp(s.data() + i, sub.data(), sub.size()) == 0) return static_cast<int>(i) + 1;
    i += CharLen(s.data(), i, s.size());
  }
  return 0;
}

namespace {

// Reads a text unit by unit (AnsiCollation.h), folding case when asked.
struct UnitReader {
  const unsigned char* p;
  size_t n;
  size_t i;
  bool fold;

  bool Next(size_t& unit) {
    if (i >= n) return false;
    unsigned char c = p[i];
    if (IsDBCSLeadByte(c) && i + 1 < n) {
      unit = AnsiPairUnit(c, p[i + 1]);
      i += 2;
    } else {
      unit = AnsiSingleUnit(c);
      i += 1;
    }
    if (fold) unit = kAnsiLowerUnit[unit];
    return true;
  }
  // Next unit that counts at the first three levels; its weight in w.
  bool NextWeighed(uint32_t& w) {
    size_t unit;
    while (Next(unit)) {
      w = kAnsiCollationWeights[unit];
      if (AnsiPrimary(w) != 0) return true;
    }
    return false;
  }
};

inline int Sign(uint32_t x, uint32_t y) { return x < y ? -1 : 1; }

// Levels 1 to 3 in one pass: the first primary difference decides at once;
// the first secondary and tertiary differences are kept for when the
// primary sequences turn out equal.
int CompareWeights(UnitReader a, UnitReader b) {
  int second = 0, third = 0;
  for (;;) {
    uint32_t wa = 0, wb = 0;
    bool ha = a.NextWeighed(wa);
    bool hb = b.NextWeighed(wb);
    if (!ha || !hb) {
      if (ha) return 1;
      if (hb) return -1;
      break;
    }
    if (wa == wb) continue;
    if (AnsiPrimary(wa) != AnsiPrimary(wb)) return Sign(AnsiPrimary(wa), AnsiPrimary(wb));
    if (second == 0 && AnsiSecondary(wa) != AnsiSecondary(wb))
      second = Sign(AnsiSecondary(wa), AnsiSecondary(wb));
    if (third == 0 && AnsiTertiary(wa) != AnsiTertiary(wb))
      third = Sign(AnsiTertiary(wa), AnsiTertiary(wb));
  }
  return second != 0 ? second : third;
}

// Level 4: the unit sequences themselves, so that only equal texts tie.
int CompareUnits(UnitReader a, UnitReader b) {
  for (;;) {
    size_t ua = 0, ub = 0;
    bool ha = a.Next(ua);
    bool hb = b.Next(ub);
    if (!ha || !hb) return ha ? 1 : hb ? -1 : 0;
    if (ua != ub) return ua < ub ? -1 : 1;
  }
}

// The levels from the first unit where the texts part (at byte i of both).
[[gnu::noinline]] int CompareAnsiFrom(const char* a, size_t alen, const char* b, size_t blen, size_t i,
                                      bool caseInsensitive) {
  UnitReader ra{reinterpret_cast<const unsigned char*>(a), alen, i, caseInsensitive};
  UnitReader rb{reinterpret_cast<const unsigned char*>(b), blen, i, caseInsensitive};
  int r = CompareWeights(ra, rb);
  return r != 0 ? r : CompareUnits(ra, rb);
}

}  // namespace

// The ANSI order of AnsiCollation.h.
int CompareAnsiKey(const char* a, size_t alen, const char* b, size_t blen,
                   bool caseInsensitive, bool partial) {
  if (partial) alen = blen = std::min(alen, blen);
  // Units equal in bytes weigh equally at every level: skip the common
  // leading units (the usual case for keys of one index); equal strings
  // (duplicates in an index) end there.  An ASCII byte is a whole unit.
  const size_t n = std::min(alen, blen);
  size_t i = 0;
  // Eight bytes at a time while a's are all ASCII (each a unit of its own,
  // so i stays on a unit boundary); the first differing byte of such a word
  // is where the texts part.
  if constexpr (std::endian::native == std::endian::little) {
    for (uint64_t wa, wb; i + 8 <= n; i += 8) {
      std::memcpy(&wa, a + i, 8);
      std::memcpy(&wb, b + i, 8);
      if ((wa & 0x8080808080808080ull) != 0) break;
      if (wa != wb) {
        i += static_cast<size_t>(std::countr_zero(wa ^ wb)) / 8;
        break;
      }
    }
  }
  while (i < n) {
    const unsigned char ca = Byte(a[i]);
    if (ca < 0x80) {
      if (ca != Byte(b[i])) break;
      ++i;
      continue;
    }
    size_t la = CharLen(a, i, alen);
    if (la != CharLen(b, i, blen) || std::memcmp(a + i, b + i, la) != 0) break;
    i += la;
  }
  if (i == alen && i == blen) return 0;
  // The common units weigh alike at every level, so two single-byte units
  // of different primary weight where the texts part decide at once (the
  // usual case of codes and names in a key).
  if (i < n && Byte(a[i]) < 0x80 && Byte(b[i]) < 0x80) {
    size_t ua = AnsiSingleUnit(Byte(a[i]));
    size_t ub = AnsiSingleUnit(Byte(b[i]));
    if (caseInsensitive) {
      ua = kAnsiLowerUnit[ua];
      ub = kAnsiLowerUnit[ub];
    }
    const uint32_t pa = AnsiPrimary(kAnsiCollationWeights[ua]);
    const uint32_t pb = AnsiPrimary(kAnsiCollationWeights[ub]);
    if (pa != 0 && pb != 0 && pa != pb) return Sign(pa, pb);
  }
  return CompareAnsiFrom(a, alen, b, blen, i, caseInsensitive);
}

// CompareWeights decides by the first primary difference, a text whose
// weighed units run out first coming first; then, for equal primary
// sequences (of one length), by the first secondary difference, then the
// first tertiary one; CompareUnits last.  The key's parts follow in that
// order; primary weights are never 0 (such units are not weighed), so the
// two zero bytes end the first part below any weight.
void AppendAnsiSortKey(const char* s, size_t len, std::string& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  auto put16 = [&out](size_t v) {
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
    out.push_back(static_cast<char>(v & 0xFF));
  };
  UnitReader r{p, len, 0, false};
  uint32_t w = 0;
  size_t weighed = 0;
  while (r.NextWeighed(w)) {
    put16(AnsiPrimary(w));
    ++weighed;
  }
  put16(0);
  // The secondary and tertiary bytes of the weighed units, read back from
  // the text (their weights were not kept).
  const size_t second = out.size();
  out.resize(second + 2 * weighed);
  r = UnitReader{p, len, 0, false};
  for (size_t k = 0; r.NextWeighed(w); ++k) {
    out[second + k] = static_cast<char>(AnsiSecondary(w));
    out[second + weighed + k] = static_cast<char>(AnsiTertiary(w));
  }
  r = UnitReader{p, len, 0, false};
  size_t unit = 0;
  while (r.Next(unit)) put16(unit);
}

int AnsiCompareStr(std::string_view a, std::string_view b) {
  return CompareAnsiKey(a.data(), a.size(), b.data(), b.size(), false);
}
int AnsiCompareText(std::string_view a, std::string_view b) {
  return CompareAnsiKey(a.data(), a.size(), b.data(), b.size(), true);
}
bool AnsiSameStr(std::string_view a, std::string_view b) { return a == b; }
bool AnsiSameText(std::string_view a, std::string_view b) { return AnsiCompareText(a, b) == 0; }
