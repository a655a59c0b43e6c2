// Crc32: the standard reflected CRC-32 (polynomial 0xEDB88320, initial
// value 0xFFFFFFFF, final complement); Crc32("123456789") = 0xCBF43926.
// Used for the security header and the journal's records and seals.
// Standard library only.
#pragma once

#include <cstddef>
#include <cstdint>

std::uint32_t Crc32(const void* buffer, std::size_t length);
// The CRC of the bytes that gave `crc` followed by these:
// Crc32Extend(Crc32(a), b) == Crc32(a + b).
std::uint32_t Crc32Extend(std::uint32_t crc, const void* buffer, std::size_t length);
