#include "platform/core/AnsiText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/core/AnsiCollation.h"
#include "platform/core/CodePage.h"

// Narrow literals are code-page-936 bytes.  "\x81\x61" and the like are
// double-byte characters whose trail byte looks like ASCII ('a', '[', '\\').

namespace {

int SignOf(int r) { return r < 0 ? -1 : r > 0 ? 1 : 0; }

std::string Show(const std::string& s) {
  std::string out;
  char buf[8];
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}

}  // namespace

// ---- case mapping ---------------------------------------------------------

TEST(AnsiText, CaseMappingByCharactersNeverTouchesTrailBytes) {
  struct Case {
    std::string in, upper, lower;
  };
  const Case cases[] = {
      {"abcXYZ", "ABCXYZ", "abcxyz"},
      {"a\x81\x61z", "A\x81\x61Z", "a\x81\x61z"},          // trail 'a'
      {"A\x81\x41Z", "A\x81\x41Z", "a\x81\x41z"},          // trail 'A'
      {"x\x81[\x81\\\x81]y", "X\x81[\x81\\\x81]Y", "x\x81[\x81\\\x81]y"},
      {"\x81\x61\x61", "\x81\x61\x41", "\x81\x61\x61"},    // pair, then a letter
      {"\xFE\x7A\x7A", "\xFE\x7A\x5A", "\xFE\x7A\x7A"},
      {"ab\x81", "AB\x81", "ab\x81"},                      // lone lead byte at the end
      {"工资Abc", "工资ABC", "工资abc"},
      // Double-byte letters map to their other case as whole characters.
      {"ＡＢｃαΩЯяⅰ", "ＡＢＣΑΩЯЯⅠ", "ａｂｃαωяяⅰ"},
      {"āé", "āé", "āé"},                              // no upper case in the code page
      {"\x81\xA3\xE1", "\x81\xA3\xE1", "\x81\xA3\xE1"},  // not "ａ": A3 is a trail byte
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiUpperCase(c.in), c.upper) << Show(c.in);
    EXPECT_EQ(AnsiLowerCase(c.in), c.lower) << Show(c.in);
  }
}

// ---- Pos ------------------------------------------------------------------

TEST(AnsiText, PosMatchesOnlyOnCharacterBoundaries) {
  struct Case {
    std::string sub, s;
    int pos;
  };
  const Case cases[] = {
      {"a", "\x81\x61", 0},                 // the 'a' is a trail byte
      {"a", "\x81\x61" "a", 3},
      {"\\", "\x81\\\\", 3},
      {"[", "\x81[[", 3},
      {"\x61\x81", "\x81\x61\x81\x40", 0},  // straddles two characters
      {"\x81\x40", "\x81\x81\x40", 0},      // "\x81\x81" then a lone '@'
      {"资", "工资", 3},
      {"工", "工资工", 1},
      {"", "abc", 0},
      {"abcd", "abc", 0},
      {"c", "abc", 3},
  };
  for (const Case& c : cases) EXPECT_EQ(AnsiPos(c.sub, c.s), c.pos) << Show(c.sub) << " in " << Show(c.s);
}

// ---- the ANSI order -------------------------------------------------------

// Each list is in ascending ANSI order (case-sensitive); every pair is
// checked both ways.
TEST(AnsiText, AnsiOrderOfListedTexts) {
  const std::vector<std::vector<std::string>> lists = {
      // Chinese characters and names in pinyin order.
      {"阿", "白", "陈", "张", "赵"},
      {"陈晨", "李四", "欧阳修", "王五", "张三", "张伟", "赵六"},
      {"张", "张三", "张三丰"},
      // Latin words: case only breaks ties, lower case first.
      {"a", "A", "apple", "Apple", "APPLE", "applf", "Banana", "banana2", "cherry", "Zebra"},
      // Digits compare as text; punctuation before digits before letters
      // before Chinese characters.
      {"!", "0", "1", "10", "2", "9", "a", "阿"},
      // Full-width letters tie with their ASCII letter at the first level;
      // scripts: Latin, Greek, Cyrillic, then Chinese characters.
      {"a", "ａ", "A", "Ａ", "ab", "ｂ", "z", "α", "Ω", "а", "я", "阿"},
      // Word sort: hyphen and apostrophe count only when all else is equal.
      {"ab", "a-c", "coo", "co-op", "coopa", "ita", "it's", "itt"},
  };
  for (const auto& list : lists) {
    for (size_t i = 0; i < list.size(); ++i) {
      for (size_t j = 0; j < list.size(); ++j) {
        int expected = i < j ? -1 : i > j ? 1 : 0;
        EXPECT_EQ(SignOf(AnsiCompareStr(list[i], list[j])), expected)
            << Show(list[i]) << " vs " << Show(list[j]);
      }
    }
  }
}

TEST(AnsiText, AsciiOrderIsByteOrder) {
  EXPECT_LT(CompareStr("B", "a"), 0);
  EXPECT_GT(AnsiCompareStr("B", "a"), 0);
  EXPECT_LT(CompareStr("ab", "abc"), 0);
  EXPECT_LT(CompareStr("Z", "\x81\x40"), 0);
  EXPECT_GT(CompareStr("\xFE\x40", "\x81\xFE"), 0);
  // Case-insensitive: ASCII letters fold to upper case, so 'a' sorts before
  // '_' (0x41 < 0x5F) though 0x61 > 0x5F.
  EXPECT_LT(CompareText("a", "_"), 0);
  EXPECT_LT(CompareText("a", "B"), 0);
  EXPECT_EQ(CompareText("PayRoll", "payroll"), 0);
  EXPECT_TRUE(SameText("abc", "ABC"));
  EXPECT_FALSE(SameText("abc", "abcd"));
}

// The case-insensitive forms fold letters, never trail bytes.
TEST(AnsiText, CaseInsensitiveEquality) {
  struct Case {
    std::string a, b;
    bool ansiSame, asciiSame;
  };
  const Case cases[] = {
      {"apple", "APPLE", true, true},
      {"工资a", "工资A", true, true},
      {"\x81\x61", "\x81\x41", false, false},  // two characters, trail 'a' / 'A'
      {"x\x81[", "X\x81{", false, false},
      {"ＡＢ", "ａｂ", true, false},           // full-width letters: locale folds
      {"Α", "α", true, false},                 // Greek
      {"apple", "apples", false, false},
      {"co-op", "coop", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiSameText(c.a, c.b), c.ansiSame) << Show(c.a) << " vs " << Show(c.b);
    EXPECT_EQ(SameText(c.a, c.b), c.asciiSame) << Show(c.a) << " vs " << Show(c.b);
  }
  EXPECT_LT(AnsiCompareText("apple", "BANANA"), 0);
  EXPECT_GT(AnsiCompareText("Banana", "apple"), 0);
  EXPECT_FALSE(AnsiSameStr("apple", "Apple"));
}

TEST(AnsiText, KeyComparisonWithPartialPrefix) {
  struct Case {
    std::string a, b;
    bool caseInsensitive, partial;
    int ansi, ascii;
  };
  const Case cases[] = {
      {"ab", "abc", false, false, -1, -1},
      {"ab", "abc", false, true, 0, 0},
      {"abd", "abc", false, true, 1, 1},
      {"AB", "abc", true, true, 0, 0},
      {"AB", "abc", false, true, 1, -1},
      {"张", "张三", false, false, -1, -1},
      {"张", "张三", false, true, 0, 0},
      {"", "", false, false, 0, 0},
      {"", "a", false, false, -1, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SignOf(CompareAnsiKey(c.a.data(), c.a.size(), c.b.data(), c.b.size(),
                                    c.caseInsensitive, c.partial)),
              c.ansi)
        << Show(c.a) << " vs " << Show(c.b);
    EXPECT_EQ(SignOf(CompareAsciiKey(c.a.data(), c.a.size(), c.b.data(), c.b.size(),
                                     c.caseInsensitive, c.partial)),
              c.ascii)
        << Show(c.a) << " vs " << Show(c.b);
  }
}

namespace {

// Every text of up to `most` units of the alphabet, the empty one first.
std::vector<std::string> Concatenations(const std::vector<std::string>& alphabet, size_t most) {
  std::vector<std::string> texts = {""};
  for (size_t len = 1, from = 0; len <= most; ++len) {
    size_t to = texts.size();
    for (size_t i = from; i < to; ++i)
      for (const std::string& u : alphabet) texts.push_back(texts[i] + u);
    from = to;
  }
  return texts;
}

}  // namespace

// Invariant T: over texts built from letters, ignorable characters, broken
// units and case variants, the ANSI order is a total order that ties only
// equal texts (case-sensitive) or texts equal after lower-casing
// (case-insensitive).
TEST(AnsiText, AnsiOrderIsTotal) {
  const std::vector<std::string> alphabet = {"a", "A", "b", "-", "'", "\x01", "\t", "1", "ａ",
                                             "Ａ", "阿", "\x81\x20", "\xFF", "\x80", "\x81\x61"};
  std::vector<std::string> texts = Concatenations(alphabet, 3);
  // A lead byte at the very end stands alone.
  texts.push_back("a\x81");
  texts.push_back("\x81");
  for (bool ci : {false, true}) {
    auto cmp = [ci](const std::string& x, const std::string& y) {
      return CompareAnsiKey(x.data(), x.size(), y.data(), y.size(), ci);
    };
    std::vector<std::string> sorted = texts;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](const std::string& x, const std::string& y) { return cmp(x, y) < 0; });
    for (size_t i = 0; i < sorted.size(); ++i) {
      for (size_t j = i; j < sorted.size(); ++j) {
        const std::string& x = sorted[i];
        const std::string& y = sorted[j];
        int r = cmp(x, y);
        bool same = ci ? AnsiLowerCase(x) == AnsiLowerCase(y) : x == y;
        ASSERT_EQ(r == 0, same) << "ci=" << ci << " " << Show(x) << " vs " << Show(y);
        ASSERT_LE(r, 0) << "ci=" << ci << " not sorted: " << Show(x) << " vs " << Show(y);
        ASSERT_EQ(SignOf(cmp(y, x)), -SignOf(r)) << Show(x) << " vs " << Show(y);
      }
    }
  }
}

// The sort key orders as CompareAnsiKey does (case-sensitive; without case,
// the sort keys of the lower-cased texts), for every pair of short texts
// over an alphabet of letters, digits, case and width variants, ignorable
// characters, Chinese characters and broken units, and for random longer
// texts of the same pieces.
TEST(AnsiText, SortKeyOrdersAsTheKeyComparison) {
  const std::vector<std::string> alphabet = {"a", "A", "b", "-", "'", "\x01", "\t", "1", "ａ", "Ａ",
                                             "阿", "职工", "\x81\x20", "\xFF", "\x80", "\x81\x61", "9", "0", "z", "Z", "_"};
  std::vector<std::string> texts = Concatenations(alphabet, 2);
  texts.push_back("a\x81");
  texts.push_back("\x81");
  std::mt19937 rng(936);
  for (int n = 0; n < 400; ++n) {
    std::string t;
    for (size_t len = rng() % 12; len > 0; --len) t += alphabet[rng() % alphabet.size()];
    if (rng() % 4 == 0) t += "\x81";  // a lead byte at the very end
    texts.push_back(t);
  }
  // Long common starts, ASCII and not, before the pieces.
  for (const std::string& start : {std::string("0103000012"), std::string("0103000012abcdefgh"),
                                   std::string("职工0103000012"), std::string("0103\x81")}) {
    for (size_t i = 0; i < 60; ++i) texts.push_back(start + texts[i * 7 % texts.size()]);
  }
  auto key = [](const std::string& t) {
    std::string k = "prefix";  // appends, leaving what was there
    AppendAnsiSortKey(t.data(), t.size(), k);
    return k.substr(6);
  };
  for (bool ci : {false, true}) {
    std::vector<std::string> keys;
    for (const std::string& t : texts) keys.push_back(key(ci ? AnsiLowerCase(t) : t));
    for (size_t i = 0; i < texts.size(); ++i) {
      for (size_t j = 0; j < texts.size(); ++j) {
        const std::string &x = texts[i], &y = texts[j];
        ASSERT_EQ(SignOf(keys[i].compare(keys[j])), SignOf(CompareAnsiKey(x.data(), x.size(), y.data(), y.size(), ci)))
            << "ci=" << ci << " " << Show(x) << " vs " << Show(y);
      }
    }
  }
}

// Invariant B: a text followed by the byte 0xFF is above every text that
// starts with that text, in both orders, with or without case.
TEST(AnsiText, ByteFFAppendedBoundsEveryTextWithThatStart) {
  const std::string start = "张a";
  const std::vector<std::string> tails = {"", "z", "Z", "-", "\x01", "~", "\x80", "\xFE\xFE",
                                          "\xFE\x4F", "齄", "\x81\x20", "\x81", "\xFE",
                                          "\xFF\x01", "\xFF\xFF"};
  std::string bound = start + "\xFF";
  for (bool ci : {false, true}) {
    for (const std::string& tail : tails) {
      std::string t = start + tail;
      if (t.compare(0, bound.size(), bound) == 0) continue;  // starts with the bound itself
      EXPECT_LT(CompareAnsiKey(t.data(), t.size(), bound.data(), bound.size(), ci), 0)
          << "ci=" << ci << " " << Show(t);
      EXPECT_LT(CompareAsciiKey(t.data(), t.size(), bound.data(), bound.size(), ci), 0)
          << "ci=" << ci << " " << Show(t);
    }
  }
}

// The table gives every character of the code page a proper weight, and
// marks exactly the units the converter cannot decode as broken.
TEST(AnsiText, TableCoversEveryCharacterOfTheCodePage) {
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      std::string ch{static_cast<char>(lead), static_cast<char>(trail)};
      bool decodes = AnsiToUtf8(ch).find("\xEF\xBF\xBD") == std::string::npos;
      uint32_t w = kAnsiCollationWeights[AnsiPairUnit(lead, trail)];
      ASSERT_EQ(AnsiPrimary(w) != kAnsiBrokenPrimary, decodes) << Show(ch);
      if (decodes) {
        ASSERT_NE(AnsiPrimary(w), 0u) << Show(ch);
      }
    }
  }
  // Case mapping keeps a unit's length.
  for (size_t u = 0; u < kAnsiCollationUnits; ++u) {
    ASSERT_EQ(kAnsiLowerUnit[u] < 256, u < 256) << u;
    ASSERT_EQ(kAnsiUpperUnit[u] < 256, u < 256) << u;
  }
  for (unsigned b = 0x20; b < 0x7F; ++b) {
    uint32_t w = kAnsiCollationWeights[AnsiSingleUnit(static_cast<unsigned char>(b))];
    if (b == '-' || b == '\'')
      EXPECT_EQ(w, 0u) << static_cast<char>(b);
    else
      EXPECT_NE(AnsiPrimary(w), 0u) << static_cast<char>(b);
  }
}

// Stored indexes are ordered by this table.  Should this fail after an ICU
// upgrade, the ANSI order has changed and indexes built with the old table
// must be rebuilt; update the value only together with such a plan.
TEST(AnsiText, TableIsUnchanged) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](uint64_t v) {
    for (int k = 0; k < 4; ++k) {
      h ^= (v >> (8 * k)) & 0xFF;
      h *= 1099511628211ull;
    }
  };
  for (size_t u = 0; u < kAnsiCollationUnits; ++u) {
    mix(kAnsiCollationWeights[u]);
    mix(kAnsiLowerUnit[u]);  // the case-insensitive order
  }
  EXPECT_EQ(h, 12036546091160621308ull);  // ICU 72.1
}
