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
