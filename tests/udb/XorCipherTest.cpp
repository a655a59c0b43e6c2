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
