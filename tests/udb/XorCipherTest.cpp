// The table-keyed XOR page cipher.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Udb/XorCipher.h"

TEST(XorCipher, StepDependsOnTableIdAndTheCallIsItsOwnInverse) {
  std::string key = "ABCDEFG";  // 7 bytes
  const std::uint8_t zeros[8] = {};
  std::uint8_t out[8];
  XorCipher(zeros, out, key.data(), 0, 7, 8);  // step 1
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 8), "ABCDEFGA");
  XorCipher(zeros, out, key.data(), 4, 7, 4);  // step 5: 0, 5, 3, 1
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), "AFDB");
  XorCipher(zeros, out, key.data(), 0x64, 7, 3);  // step 101 = 3 mod 7: 0, 3, 6
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "ADG");
  std::uint8_t text[8] = {1, 2, 3, 4, 5, 6, 7, 8}, twice[8];
  XorCipher(text, out, key.data(), 33, 7, 8);
  XorCipher(out, twice, key.data(), 33, 7, 8);
  EXPECT_EQ(std::memcmp(text, twice, 8), 0);
}

// Whole pages, in place or not, against the definition byte by byte: the
// engine's 71-byte key, a key that divides the step, one byte, and a key
// longer than a page.
TEST(XorCipher, PagesMatchTheByteByByteDefinition) {
  std::uint32_t seed = 99;
  auto next = [&] { return static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16); };
  for (int keyLength : {71, 5, 1, 600, 5000}) {
    std::vector<std::uint8_t> key(static_cast<size_t>(keyLength));
    for (auto& b : key) b = next();
    for (std::uint16_t tableId : {std::uint16_t(0), std::uint16_t(4), std::uint16_t(12), std::uint16_t(100),
                                  std::uint16_t(0xFFFF)}) {
      for (int length : {0, 3, 4096, 8192 + 17}) {
        std::vector<std::uint8_t> page(static_cast<size_t>(length));
        for (auto& b : page) b = next();
        std::vector<std::uint8_t> expect(page.size());
        const int step = ((tableId & 100) + 1) % keyLength;
        for (int i = 0, index = 0; i < length; ++i, index = (index + step) % keyLength)
          expect[static_cast<size_t>(i)] = page[static_cast<size_t>(i)] ^ key[static_cast<size_t>(index)];
        std::vector<std::uint8_t> out(page.size());
        XorCipher(page.data(), out.data(), key.data(), tableId, keyLength, length);
        EXPECT_EQ(out, expect) << keyLength << " " << tableId << " " << length;
        XorCipher(page.data(), page.data(), key.data(), tableId, keyLength, length);
        EXPECT_EQ(page, expect) << keyLength << " " << tableId << " " << length << " in place";
      }
    }
  }
}
