// collgen: writes the ANSI sort order table (see platform/core/AnsiCollation.h
// for the unit split, the weight layout and the comparison levels).
//
//   collgen <output.cpp>
//
// Every code-page-936 unit is decoded with iconv (the same converter as
// platform/core/CodePage.cpp) and weighed with ICU's Chinese collation
// (pinyin), keeping the root script order so that Latin comes before Han.
// The output is deterministic for a given ICU version, which it names.
#include <iconv.h>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uversion.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/core/AnsiCollation.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "collgen: %s\n", what.c_str());
  std::exit(1);
}

struct Unit {
  bool valid = false;      // a character of the code page
  std::u16string text;     // its UTF-16 form
  std::string key1, key2, key3;  // ICU sort keys at strength 1, 2, 3
};

// The bytes of unit index u.
std::string UnitBytes(size_t u) {
  if (u < 256) return std::string(1, static_cast<char>(u));
  size_t k = u - 256;
  return {static_cast<char>(0x81 + k / 256), static_cast<char>(k % 256)};
}

// Decodes one unit; false when the code page does not assign it.
bool Decode(iconv_t cd, const std::string& bytes, std::u16string& out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* src = const_cast<char*>(bytes.data());
  size_t srcLeft = bytes.size();
  char buf[64];
  char* dst = buf;
  size_t dstLeft = sizeof buf;
  if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0)
    return false;
  if (iconv(cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1)) return false;
  size_t n = static_cast<size_t>(dst - buf) / 4;
  if (n == 0) return false;
  out.clear();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(buf) + 4 * i;
    uint32_t cp = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    if (cp >= 0x10000) return false;  // the code page has no supplementary characters
    out += static_cast<char16_t>(cp);
  }
  return true;
}

std::string SortKey(UCollator* coll, const std::u16string& s) {
  std::vector<uint8_t> buf(64);
  int32_t n = ucol_getSortKey(coll, reinterpret_cast<const UChar*>(s.data()),
                              static_cast<int32_t>(s.size()), buf.data(),
                              static_cast<int32_t>(buf.size()));
  if (n > static_cast<int32_t>(buf.size())) {
    buf.resize(static_cast<size_t>(n));
    n = ucol_getSortKey(coll, reinterpret_cast<const UChar*>(s.data()),
                        static_cast<int32_t>(s.size()), buf.data(), n);
  }
  return std::string(buf.begin(), buf.begin() + n);
}

UCollator* OpenCollator() {
  UErrorCode err = U_ZERO_ERROR;
  UCollator* coll = ucol_open("zh", &err);
  if (U_FAILURE(err)) Fail(std::string("ucol_open(zh): ") + u_errorName(err));
  // Root script order: Latin, Greek, Cyrillic before Han.
  int32_t none = UCOL_REORDER_CODE_NONE;
  ucol_setReorderCodes(coll, &none, 1, &err);
  ucol_setAttribute(coll, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &err);
  ucol_setAttribute(coll, UCOL_NORMALIZATION_MODE, UCOL_OFF, &err);
  if (U_FAILURE(err)) Fail(std::string("collator attributes: ") + u_errorName(err));
  return coll;
}

void ComputeKeys(std::vector<Unit>& units) {
  UCollator* coll = OpenCollator();
  const UColAttributeValue strengths[3] = {UCOL_PRIMARY, UCOL_SECONDARY, UCOL_TERTIARY};
  for (int level = 0; level < 3; ++level) {
    ucol_setStrength(coll, strengths[level]);
    for (Unit& u : units) {
      if (!u.valid) continue;
      std::string k = SortKey(coll, u.text);
      (level == 0 ? u.key1 : level == 1 ? u.key2 : u.key3) = std::move(k);
    }
  }
  ucol_setStrength(coll, UCOL_PRIMARY);
  std::string emptyKey = SortKey(coll, u"");
  ucol_close(coll);
  // Ignorable at the first level: what ICU ignores, and the word sort's
  // hyphen and apostrophe.  Their keys are cleared to mark them.
  for (size_t i = 0; i < units.size(); ++i) {
    Unit& u = units[i];
    if (!u.valid) continue;
    if (u.key1 == emptyKey || i == '-' || i == '\'') u.key1.clear();
  }
}

std::vector<uint32_t> RankWeights(const std::vector<Unit>& units) {
  std::vector<size_t> order;
  for (size_t i = 0; i < units.size(); ++i)
    if (units[i].valid && !units[i].key1.empty()) order.push_back(i);
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const Unit& x = units[a];
    const Unit& y = units[b];
    if (x.key1 != y.key1) return x.key1 < y.key1;
    if (x.key2 != y.key2) return x.key2 < y.key2;
    if (x.key3 != y.key3) return x.key3 < y.key3;
    return a < b;
  });
  std::vector<uint32_t> weights(units.size(), kAnsiBrokenPrimary << 16);
  for (size_t i = 0; i < units.size(); ++i)
    if (units[i].valid && units[i].key1.empty()) weights[i] = 0;
  if (units[0xFF].valid) Fail("0xFF is a character: the range bound needs a new byte");
  weights[0xFF] = kAnsiTopPrimary << 16;
  uint32_t p = 0, s = 0, t = 0;
  const Unit* prev = nullptr;
  for (size_t idx : order) {
    const Unit& u = units[idx];
    if (!prev || u.key1 != prev->key1) {
      ++p;
      s = 1;
      t = 1;
    } else if (u.key2 != prev->key2) {
      ++s;
      t = 1;
    } else if (u.key3 != prev->key3) {
      ++t;
    }
    if (p >= kAnsiBrokenPrimary || s > 0xFF || t > 0xFF) Fail("weight out of range");
    weights[idx] = p << 16 | s << 8 | t;
    prev = &u;
  }
  return weights;
}

// Unit of the upper- or lower-case form of each unit's character, when the
// code page holds that form as a unit of the same length; else the unit.
std::vector<uint16_t> CaseMap(const std::vector<Unit>& units, bool upper) {
  std::map<char16_t, size_t> unitOf;  // first unit of each single character
  for (size_t i = 0; i < units.size(); ++i)
    if (units[i].valid && units[i].text.size() == 1) unitOf.emplace(units[i].text[0], i);
  std::vector<uint16_t> map(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    map[i] = static_cast<uint16_t>(i);
    if (!units[i].valid || units[i].text.size() != 1) continue;
    UChar32 c = units[i].text[0];
    UChar32 mapped = upper ? u_toupper(c) : u_tolower(c);
    if (mapped == c || mapped > 0xFFFF) continue;
    auto it = unitOf.find(static_cast<char16_t>(mapped));
    if (it != unitOf.end() && (it->second < 256) == (i < 256))
      map[i] = static_cast<uint16_t>(it->second);
  }
  return map;
}

template <typename T>
void WriteArray(FILE* f, const char* decl, const std::vector<T>& v, int width) {
  std::fprintf(f, "%s = {\n", decl);
  for (size_t i = 0; i < v.size(); ++i) {
    if (i % 8 == 0) std::fprintf(f, "  ");
    std::fprintf(f, "0x%0*llX,", width, static_cast<unsigned long long>(v[i]));
    std::fprintf(f, (i % 8 == 7 || i + 1 == v.size()) ? "\n" : " ");
  }
  std::fprintf(f, "};\n\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) Fail("usage: collgen <output.cpp>");
  iconv_t cd = iconv_open("UTF-32LE", "CP936");
  if (cd == reinterpret_cast<iconv_t>(-1)) Fail("iconv has no CP936");
  std::vector<Unit> units(kAnsiCollationUnits);
  for (size_t i = 0; i < units.size(); ++i) {
    std::string bytes = UnitBytes(i);
    // A lead byte alone is never a character.
    if (i < 256 && i >= 0x81 && i <= 0xFE) continue;
    if (i >= 256 && (static_cast<unsigned char>(bytes[1]) < 0x40 || bytes[1] == 0x7F ||
                     static_cast<unsigned char>(bytes[1]) == 0xFF))
      continue;
    units[i].valid = Decode(cd, bytes, units[i].text);
  }
  iconv_close(cd);
  ComputeKeys(units);
  std::vector<uint32_t> weights = RankWeights(units);
  std::vector<uint16_t> lower = CaseMap(units, false);
  std::vector<uint16_t> upper = CaseMap(units, true);

  std::string tmp = std::string(argv[1]) + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "w");
  if (!f) Fail("cannot write " + tmp);
  std::fprintf(f,
               "// Generated by tools/collgen from ICU %s (Chinese collation, pinyin).\n"
               "// Build output: do not edit, do not commit.  Layout: "
               "platform/core/AnsiCollation.h.\n"
               "#include \"platform/core/AnsiCollation.h\"\n\n",
               U_ICU_VERSION);
  WriteArray(f, "extern const uint32_t kAnsiCollationWeights[kAnsiCollationUnits]", weights, 8);
  WriteArray(f, "extern const uint16_t kAnsiLowerUnit[kAnsiCollationUnits]", lower, 4);
  WriteArray(f, "extern const uint16_t kAnsiUpperUnit[kAnsiCollationUnits]", upper, 4);
  if (std::fclose(f) != 0) Fail("cannot write " + tmp);
  if (std::rename(tmp.c_str(), argv[1]) != 0) Fail("cannot rename " + tmp);
  return 0;
}
