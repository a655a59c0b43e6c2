// Crc32: see Crc32.h.  Two ways to the same result:
//  - eight bytes per step through eight tables (table k gives the CRC of a
//    byte followed by k zero bytes);
//  - where the processor multiplies without carries (PCLMULQDQ, chosen at
//    run time), 64 bytes per step by folding: the message is a polynomial
//    over GF(2), and only its remainder modulo the CRC polynomial P
//    matters, so a 128-bit block B followed by d more bits may be replaced
//    by B_hi * (x^(d+64) mod P) + B_lo * (x^d mod P), a value of under 96
//    bits with the same remainder, and added to the block d bits later.
//    Four blocks are folded side by side (d = 512), then into one
//    (d = 128); the last block and the tail go through the tables.
// Journalled pages and their sectors are checked at every commit, so the
// per-byte cost shows in every write.
#include "Udb/Crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PAYROLL_CRC_CLMUL 1
#endif

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

// The register c (already complemented) run over the bytes.
std::uint32_t TableRun(std::uint32_t c, const std::uint8_t* p, std::size_t length) {
  const TTables& t = Tables();
  for (; length >= 8; length -= 8, p += 8) {
    // Little-endian order of the bytes, whatever the machine's.
    const std::uint32_t lo = c ^ (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                                  std::uint32_t(p[3]) << 24);
    c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][p[4]] ^
        t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
  }
  for (; length > 0; --length, ++p) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
  return c;
}

#ifdef PAYROLL_CRC_CLMUL
// x^n mod P, P = x^32 + 0x04C11DB7 (bit k = coefficient of x^k).
std::uint32_t XPowModP(unsigned n) {
  std::uint32_t r = 1;
  for (unsigned i = 0; i < n; ++i) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
  return r;
}

std::uint32_t Reflect32(std::uint32_t v) {
  std::uint32_t r = 0;
  for (int i = 0; i < 32; ++i)
    if (v & (1u << i)) r |= 1u << (31 - i);
  return r;
}

// A 128-bit register loaded from the message's bytes holds the coefficient
// of x^(127 - i) in bit i (the stream's first bit is its highest power).
// The product of a 64-bit half (bit j: x^(63 - j)) and a constant stored
// as reflect32(K) << 1 (bit 32 - j: x^j) lands, read the same way, as
// half * K * x^32.  So the constant for multiplying by x^e is x^(e - 32)
// mod P.
std::uint64_t FoldConstant(unsigned e) { return std::uint64_t(Reflect32(XPowModP(e - 32))) << 1; }

struct TFoldConstants {
  // low half: for the block's first 64 bits (times x^(d + 64)); high
  // half: for its last 64 bits (times x^d).
  std::uint64_t by512[2];
  std::uint64_t by128[2];
};

const TFoldConstants& FoldConstants() {
  static const TFoldConstants k = {{FoldConstant(512 + 64), FoldConstant(512)},
                                   {FoldConstant(128 + 64), FoldConstant(128)}};
  return k;
}

bool HasClmul() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return has;
}

[[gnu::target("pclmul,sse4.1")]] inline __m128i Fold(__m128i block, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(block, k, 0x00), _mm_clmulepi64_si128(block, k, 0x11));
}

// length >= 64.  The register c is added to the first four bytes (the
// message's first 32 bits), then the blocks are folded down to one whose
// remainder the tables give, followed by the tail.
[[gnu::target("pclmul,sse4.1")]] std::uint32_t FoldRun(std::uint32_t c, const std::uint8_t* p, std::size_t length) {
  const TFoldConstants& kc = FoldConstants();
  const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kc.by512[1]), static_cast<long long>(kc.by512[0]));
  const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kc.by128[1]), static_cast<long long>(kc.by128[0]));
  auto load = [](const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
  __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(c)));
  __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
  p += 64;
  length -= 64;
  for (; length >= 64; length -= 64, p += 64) {
    x0 = _mm_xor_si128(Fold(x0, k512), load(p));
    x1 = _mm_xor_si128(Fold(x1, k512), load(p + 16));
    x2 = _mm_xor_si128(Fold(x2, k512), load(p + 32));
    x3 = _mm_xor_si128(Fold(x3, k512), load(p + 48));
  }
  __m128i x = _mm_xor_si128(Fold(x0, k128), x1);
  x = _mm_xor_si128(Fold(x, k128), x2);
  x = _mm_xor_si128(Fold(x, k128), x3);
  for (; length >= 16; length -= 16, p += 16) x = _mm_xor_si128(Fold(x, k128), load(p));
  alignas(16) std::uint8_t last[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(last), x);
  return TableRun(TableRun(0, last, 16), p, length);
}
#endif
}  // namespace

std::uint32_t Crc32Extend(std::uint32_t crc, const void* buffer, std::size_t length) {
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  const std::uint32_t c = crc ^ 0xFFFFFFFFu;
#ifdef PAYROLL_CRC_CLMUL
  if (length >= 64 && HasClmul()) return FoldRun(c, p, length) ^ 0xFFFFFFFFu;
#endif
  return TableRun(c, p, length) ^ 0xFFFFFFFFu;
}

std::uint32_t Crc32(const void* buffer, std::size_t length) { return Crc32Extend(0, buffer, length); }

std::uint32_t Crc32TablesForTest(const void* buffer, std::size_t length) {
  return TableRun(0xFFFFFFFFu, static_cast<const std::uint8_t*>(buffer), length) ^ 0xFFFFFFFFu;
}
