// Crc32: see Crc32.h.  Eight bytes per step through eight tables (table k
// gives the CRC of a byte followed by k zero bytes), the same result as a
// byte at a time: a journalled page is checked in a few hundred steps.
#include "Udb/Crc32.h"

#include <array>
#include <cstring>

namespace {
using TTables = std::array<std::array<std::uint32_t, 256>, 8>;

TTables MakeTables() {
  TTables t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (std::uint32_t n = 0; n < 256; ++n)
    for (size_t k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
  return t;
}

const TTables& Tables() {
  static const TTables tables = MakeTables();
  return tables;
}
}  // namespace

std::uint32_t Crc32Extend(std::uint32_t crc, const void* buffer, std::size_t length) {
  const TTables& t = Tables();
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  std::uint32_t c = crc ^ 0xFFFFFFFFu;
  for (; length >= 8; length -= 8, p += 8) {
    // Little-endian order of the bytes, whatever the machine's.
    const std::uint32_t lo = c ^ (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                                  std::uint32_t(p[3]) << 24);
    c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][p[4]] ^
        t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
  }
  for (; length > 0; --length, ++p) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::uint32_t Crc32(const void* buffer, std::size_t length) { return Crc32Extend(0, buffer, length); }
