// Crc32: see Crc32.h.  Eight bytes per step through eight tables (table k
// gives the CRC of a byte followed by k zero bytes), the same result as a
// byte at a time: a journalled page is checked in a few hundred steps.
// Where the processor multiplies without carries (x86-64 with PCLMULQDQ
// and SSE4.1), runs of 64 bytes or more are folded 16 bytes at a time
// instead (below); the tables take the tail.  Both give the same CRC.
// The journal seals every page a commit or a spill writes, sector by
// sector, so this is most of a big commit's checksum time.
#include "Udb/Crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PAYROLL_CRC32_FOLDING 1
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
}  // namespace

#ifdef PAYROLL_CRC32_FOLDING
namespace {
// Folding: the message is the polynomial M(x); four 128-bit lanes hold the
// running remainder, and each step multiplies a lane by x^(512) mod P (or
// x^(128) mod P for the one-lane steps) in carry-less arithmetic and adds
// the next 16 bytes, which keeps the remainder's value modulo P.  At the
// end the lanes are folded into one, cut to 64 and then 32 bits, and a
// Barrett reduction gives the remainder.  Everything is in the reflected
// bit order of the CRC, so the constants are the reflected powers
// x^k mod P (shifted by one) and mu = floor(x^64 / P).  length is a
// multiple of 16, at least 64; c is the running register (not complemented).
// One fold of the lane x by k, then data added.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i data) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), data);
}

__attribute__((target("pclmul,sse4.1"))) std::uint32_t FoldCrc32(std::uint32_t c, const std::uint8_t* p,
                                                                   std::size_t length) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);  // fold across four lanes
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);  // fold across one lane
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);               // 64 bits to 32
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);  // mu, P (reflected, 33 bits)
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  auto load = [](const std::uint8_t* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };
  __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(c)));
  __m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
  p += 64;
  length -= 64;
  for (; length >= 64; length -= 64, p += 64) {
    x1 = Fold(x1, k1k2, load(p));
    x2 = Fold(x2, k1k2, load(p + 16));
    x3 = Fold(x3, k1k2, load(p + 32));
    x4 = Fold(x4, k1k2, load(p + 48));
  }
  x1 = Fold(x1, k3k4, x2);
  x1 = Fold(x1, k3k4, x3);
  x1 = Fold(x1, k3k4, x4);
  for (; length >= 16; length -= 16, p += 16) x1 = Fold(x1, k3k4, load(p));
  // 128 bits to 64.
  __m128i x = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
  x = _mm_xor_si128(_mm_srli_si128(x, 4), _mm_clmulepi64_si128(_mm_and_si128(x, low32), k5, 0x00));
  // Barrett reduction to 32 bits.
  __m128i q = _mm_clmulepi64_si128(_mm_and_si128(x, low32), poly, 0x10);
  q = _mm_clmulepi64_si128(_mm_and_si128(q, low32), poly, 0x00);
  return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, q), 1));
}

bool CanFold() {
  static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return can;
}
}  // namespace
#endif

std::uint32_t Crc32Extend(std::uint32_t crc, const void* buffer, std::size_t length) {
  const TTables& t = Tables();
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  std::uint32_t c = crc ^ 0xFFFFFFFFu;
#ifdef PAYROLL_CRC32_FOLDING
  if (length >= 64 && CanFold()) {
    const std::size_t folded = length & ~std::size_t{15};
    c = FoldCrc32(c, p, folded);
    p += folded;
    length -= folded;
  }
#endif
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
