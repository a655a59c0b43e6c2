// Crc32: see Crc32.h.  The table is built once (the result is the same as
// building it on every call).
#include "Udb/Crc32.h"

#include <array>

namespace {
std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
}  // namespace

std::uint32_t Crc32(const void* buffer, std::size_t length) {
  static const std::array<std::uint32_t, 256> table = MakeTable();
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < length; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}
