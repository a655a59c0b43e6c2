// CRC-32 check values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Udb/Crc32.h"

TEST(Crc32, StandardCheckValues) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32("", 0), 0u);
  EXPECT_EQ(Crc32("a", 1), 0xE8B7BE43u);
}

namespace {
// A bit at a time, straight from the polynomial.
std::uint32_t BitwiseCrc32(const std::uint8_t* p, size_t n) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}
}  // namespace

// Every length up to a few folding steps, at every alignment, and whole
// sectors and pages: the table steps, the byte-wise tail and (where the
// processor has it) the folding with its table finish agree with the
// polynomial.
TEST(Crc32, AgreesWithTheBitwiseDefinitionAtEveryLengthAndAlignment) {
  std::vector<std::uint8_t> bytes(4096 + 16);
  std::uint32_t x = 12345;
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  for (size_t offset = 0; offset < 16; ++offset)
    for (size_t length = 0; length <= 300; ++length) {
      const std::uint32_t expected = BitwiseCrc32(bytes.data() + offset, length);
      ASSERT_EQ(Crc32(bytes.data() + offset, length), expected) << offset << " " << length;
      ASSERT_EQ(Crc32TablesForTest(bytes.data() + offset, length), expected) << offset << " " << length;
    }
  for (size_t length : {512u, 1000u, 4096u})
    EXPECT_EQ(Crc32(bytes.data() + 3, length), BitwiseCrc32(bytes.data() + 3, length)) << length;
  std::vector<std::uint8_t> ones(4096, 0xFF), zeros(4096, 0);
  EXPECT_EQ(Crc32(ones.data(), ones.size()), BitwiseCrc32(ones.data(), ones.size()));
  EXPECT_EQ(Crc32(zeros.data(), zeros.size()), BitwiseCrc32(zeros.data(), zeros.size()));
}

TEST(Crc32, ExtendingGivesTheCrcOfTheWhole) {
  std::string text = "The quick brown fox jumps over the lazy dog, 0123456789";
  text += text + text + "!";  // past the 64 bytes where folding starts
  for (size_t cut = 0; cut <= text.size(); ++cut)
    EXPECT_EQ(Crc32Extend(Crc32(text.data(), cut), text.data() + cut, text.size() - cut),
              Crc32(text.data(), text.size()))
        << cut;
}
