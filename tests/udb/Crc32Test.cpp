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

// Every length up to a few words, at every alignment, and a whole page:
// the eight-byte steps and the byte-wise tail agree with the polynomial.
TEST(Crc32, AgreesWithTheBitwiseDefinitionAtEveryLengthAndAlignment) {
  std::vector<std::uint8_t> bytes(4096 + 16);
  std::uint32_t x = 12345;
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  for (size_t offset = 0; offset < 8; ++offset)
    for (size_t length = 0; length <= 40; ++length)
      ASSERT_EQ(Crc32(bytes.data() + offset, length), BitwiseCrc32(bytes.data() + offset, length))
          << offset << " " << length;
  EXPECT_EQ(Crc32(bytes.data() + 3, 4096), BitwiseCrc32(bytes.data() + 3, 4096));
}

// Long runs (64 bytes and more go sixteen at a time where the processor
// can): every length across the first folds and a sector, at two
// alignments, alone and extending a CRC, and a page of zeros and of ones.
TEST(Crc32, LongRunsAgreeWithTheBitwiseDefinition) {
  std::vector<std::uint8_t> bytes(4096 + 16);
  std::uint32_t x = 777;
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  for (size_t offset : {0, 5})
    for (size_t length = 48; length <= 600; ++length) {
      const std::uint8_t* p = bytes.data() + offset;
      ASSERT_EQ(Crc32(p, length), BitwiseCrc32(p, length)) << offset << " " << length;
      ASSERT_EQ(Crc32Extend(Crc32(p, 7), p + 7, length), BitwiseCrc32(p, length + 7)) << offset << " " << length;
    }
  for (std::uint8_t fill : {0x00, 0xFF}) {
    std::vector<std::uint8_t> page(4096, fill);
    EXPECT_EQ(Crc32(page.data(), page.size()), BitwiseCrc32(page.data(), page.size())) << int(fill);
  }
}

TEST(Crc32, ExtendingGivesTheCrcOfTheWhole) {
  const std::string text = "The quick brown fox jumps over the lazy dog, 0123456789";
  for (size_t cut = 0; cut <= text.size(); ++cut)
    EXPECT_EQ(Crc32Extend(Crc32(text.data(), cut), text.data() + cut, text.size() - cut),
              Crc32(text.data(), text.size()))
        << cut;
}
