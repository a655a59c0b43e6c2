// Blowfish: see Blowfish.h.
#include "Udb/Blowfish.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define BLOWFISH_HAS_VECTOR_CODE 1
#endif

namespace {

constexpr int kPiWords = 18 + 4 * 256;  // 1042
constexpr int kGuardWords = 4;

// Fixed-point number in base 2^32: limb 0 is the integer part, limbs 1..n
// the fraction, most significant first.
using TFixed = std::vector<std::uint32_t>;

void DivSmall(TFixed& x, std::uint32_t d) {
  std::uint64_t rem = 0;
  for (auto& limb : x) {
    std::uint64_t cur = (rem << 32) | limb;
    limb = static_cast<std::uint32_t>(cur / d);
    rem = cur % d;
  }
}

void AddTo(TFixed& acc, const TFixed& x) {
  std::uint64_t carry = 0;
  for (size_t i = x.size(); i-- > 0;) {
    std::uint64_t sum = static_cast<std::uint64_t>(acc[i]) + x[i] + carry;
    acc[i] = static_cast<std::uint32_t>(sum);
    carry = sum >> 32;
  }
}

void SubFrom(TFixed& acc, const TFixed& x) {
  std::int64_t borrow = 0;
  for (size_t i = x.size(); i-- > 0;) {
    std::int64_t diff = static_cast<std::int64_t>(acc[i]) - x[i] - borrow;
    borrow = diff < 0 ? 1 : 0;
    acc[i] = static_cast<std::uint32_t>(diff + (borrow << 32));
  }
}

void MulSmall(TFixed& x, std::uint32_t m) {
  std::uint64_t carry = 0;
  for (size_t i = x.size(); i-- > 0;) {
    std::uint64_t prod = static_cast<std::uint64_t>(x[i]) * m + carry;
    x[i] = static_cast<std::uint32_t>(prod);
    carry = prod >> 32;
  }
}

bool IsZero(const TFixed& x) {
  for (auto limb : x)
    if (limb) return false;
  return true;
}

// arctan(1/q) = sum (-1)^k / ((2k+1) q^(2k+1)).
TFixed ArcTanInverse(std::uint32_t q, size_t limbs) {
  TFixed power(limbs, 0), sum(limbs, 0), term(limbs);
  power[0] = 1;
  DivSmall(power, q);
  const std::uint32_t q2 = q * q;
  for (std::uint32_t k = 0; !IsZero(power); ++k) {
    term = power;
    DivSmall(term, 2 * k + 1);
    if (k % 2 == 0)
      AddTo(sum, term);
    else
      SubFrom(sum, term);
    DivSmall(power, q2);
  }
  return sum;
}

// pi = 16 arctan(1/5) - 4 arctan(1/239), fractional words only.
std::vector<std::uint32_t> ComputePiWords() {
  const size_t limbs = 1 + kPiWords + kGuardWords;
  TFixed a = ArcTanInverse(5, limbs);
  TFixed b = ArcTanInverse(239, limbs);
  MulSmall(a, 16);
  MulSmall(b, 4);
  SubFrom(a, b);
  return std::vector<std::uint32_t>(a.begin() + 1, a.begin() + 1 + kPiWords);
}

inline std::uint32_t F(const TBlowfishContext& c, std::uint32_t x) {
  return ((c.s[0][x >> 24] + c.s[1][(x >> 16) & 0xFF]) ^ c.s[2][(x >> 8) & 0xFF]) + c.s[3][x & 0xFF];
}

// Sixteen rounds, two per step, with the half swap folded in.
void Encrypt(const TBlowfishContext& c, std::uint32_t& l, std::uint32_t& r) {
  std::uint32_t xl = l ^ c.p[0], xr = r;
  for (int i = 1; i < 16; i += 2) {
    xr ^= F(c, xl) ^ c.p[i];
    xl ^= F(c, xr) ^ c.p[i + 1];
  }
  xr ^= c.p[17];
  l = xr;
  r = xl;
}

void Decrypt(const TBlowfishContext& c, std::uint32_t& l, std::uint32_t& r) {
  for (int i = 17; i > 1; --i) {
    l ^= c.p[i];
    r ^= F(c, l);
    std::uint32_t t = l;
    l = r;
    r = t;
  }
  std::uint32_t t = l;
  l = r;
  r = t;
  r ^= c.p[1];
  l ^= c.p[0];
}

inline std::uint32_t LoadBE(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
inline void StoreBE(std::uint32_t v, std::uint8_t* p) {
  p[0] = std::uint8_t(v >> 24);
  p[1] = std::uint8_t(v >> 16);
  p[2] = std::uint8_t(v >> 8);
  p[3] = std::uint8_t(v);
}

// A shift register: eight bytes, first byte most significant.
inline std::uint64_t LoadRegister(const std::uint8_t* p) { return (std::uint64_t(LoadBE(p)) << 32) | LoadBE(p + 4); }
inline void StoreRegister(std::uint64_t reg, std::uint8_t* p) {
  StoreBE(static_cast<std::uint32_t>(reg >> 32), p);
  StoreBE(static_cast<std::uint32_t>(reg), p + 4);
}

}  // namespace

const std::uint32_t* BlowfishPiWords() {
  static const std::vector<std::uint32_t> words = ComputePiWords();
  return words.data();
}

bool BlowfishInit(TBlowfishContext& ctx, const void* key, int keyBits, const std::uint8_t* iv) {
  if (keyBits < 8 || keyBits > 8 * kBlowfishMaxKeyBytes || keyBits % 8 != 0) return false;
  const auto* k = static_cast<const std::uint8_t*>(key);
  const int keyLen = keyBits / 8;
  const std::uint32_t* pi = BlowfishPiWords();
  std::memcpy(ctx.p, pi, sizeof ctx.p);
  std::memcpy(ctx.s, pi + 18, sizeof ctx.s);
  for (int i = 0, j = 0; i < 18; ++i) {
    std::uint32_t word = 0;
    for (int n = 0; n < 4; ++n) {
      word = (word << 8) | k[j];
      j = (j + 1) % keyLen;
    }
    ctx.p[i] ^= word;
  }
  std::uint32_t l = 0, r = 0;
  for (int i = 0; i < 18; i += 2) {
    Encrypt(ctx, l, r);
    ctx.p[i] = l;
    ctx.p[i + 1] = r;
  }
  for (auto& box : ctx.s)
    for (int i = 0; i < 256; i += 2) {
      Encrypt(ctx, l, r);
      box[i] = l;
      box[i + 1] = r;
    }
  if (iv) {
    std::memcpy(ctx.iv, iv, 8);
  } else {
    std::uint8_t ones[8];
    std::memset(ones, 0xFF, 8);
    BlowfishEncryptBlock(ctx, ones, ctx.iv);
  }
  std::memcpy(ctx.shift, ctx.iv, 8);
  for (int box = 0; box < 4; ++box)
    for (int k = 0; k < 4; ++k)
      for (int x = 0; x < 256; ++x) ctx.planes[box][k][x] = static_cast<std::uint8_t>(ctx.s[box][x] >> (24 - 8 * k));
  ctx.initialized = true;
  return true;
}

void BlowfishEncryptBlock(const TBlowfishContext& ctx, const std::uint8_t in[8], std::uint8_t out[8]) {
  std::uint32_t l = LoadBE(in), r = LoadBE(in + 4);
  Encrypt(ctx, l, r);
  StoreBE(l, out);
  StoreBE(r, out + 4);
}

void BlowfishDecryptBlock(const TBlowfishContext& ctx, const std::uint8_t in[8], std::uint8_t out[8]) {
  std::uint32_t l = LoadBE(in), r = LoadBE(in + 4);
  Decrypt(ctx, l, r);
  StoreBE(l, out);
  StoreBE(r, out + 4);
}

namespace {
// The keystream byte of a register: the first byte of its encryption.
// That byte is the top of the final left half, r ^ P18 after round 15, so
// round 16 (which makes only the right half) is left out.
inline std::uint8_t KeyByte(const TBlowfishContext& c, std::uint64_t reg) {
  std::uint32_t xl = static_cast<std::uint32_t>(reg >> 32) ^ c.p[0], xr = static_cast<std::uint32_t>(reg);
  for (int i = 1; i < 15; i += 2) {
    xr ^= F(c, xl) ^ c.p[i];
    xl ^= F(c, xr) ^ c.p[i + 1];
  }
  xr ^= F(c, xl) ^ c.p[15];
  return static_cast<std::uint8_t>((xr ^ c.p[17]) >> 24);
}

// Enciphering: the shift register is kept as one big-endian 64-bit value
// while a run is processed; each byte costs one block encryption and a
// shift, and the next register needs this byte's output, so it is serial.
void Cfb8Encipher(TBlowfishContext& ctx, const std::uint8_t* src, std::uint8_t* dst, std::size_t length) {
  std::uint64_t reg = LoadRegister(ctx.shift);
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t out = src[i] ^ KeyByte(ctx, reg);
    dst[i] = out;
    reg = (reg << 8) | out;
  }
  StoreRegister(reg, ctx.shift);
}

// The keystream bytes of N registers (halves in l and r) in lock step:
// the rounds of independent blocks interleave, so their S-box loads
// overlap instead of each round waiting on the previous one's loads.  Same
// rounds as KeyByte.  The lane loops are unrolled so that every half lives
// in a register (left to the compiler, the halves stay in memory and a
// page takes about three times as long); the round loop is not, which
// keeps the body small.
template <int N>
inline void KeyBytesN(const TBlowfishContext& c, std::uint32_t* l, std::uint32_t* r, std::uint8_t* key) {
#pragma GCC unroll 8
  for (int k = 0; k < N; ++k) l[k] ^= c.p[0];
#pragma GCC unroll 1
  for (int i = 1; i < 15; i += 2) {
#pragma GCC unroll 8
    for (int k = 0; k < N; ++k) r[k] ^= F(c, l[k]) ^ c.p[i];
#pragma GCC unroll 8
    for (int k = 0; k < N; ++k) l[k] ^= F(c, r[k]) ^ c.p[i + 1];
  }
#pragma GCC unroll 8
  for (int k = 0; k < N; ++k) key[k] = static_cast<std::uint8_t>((r[k] ^ F(c, l[k]) ^ c.p[15] ^ c.p[17]) >> 24);
}

// Byte at a time from the register `prev`; returns the register after the
// run.  For runs shorter than a step and the tail of a longer one.
std::uint64_t Cfb8DecipherSerial(const TBlowfishContext& ctx, std::uint64_t prev, const std::uint8_t* src,
                                 std::uint8_t* dst, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t in = src[i];
    dst[i] = in ^ KeyByte(ctx, prev);
    prev = (prev << 8) | in;
  }
  return prev;
}

// Deciphering, plain code: byte i's register is the eight ciphertext bytes
// before it, all known in advance, so the block encryptions are
// independent.  A step deciphers eight bytes: `window` holds the eight
// ciphertext bytes before the step and the step's own, byte k's register
// is window[k..k+7].  Everything is read before `out` is written.
inline void Decipher8(const TBlowfishContext& c, const std::uint8_t* window, std::uint8_t* out) {
  std::uint32_t l[8], r[8];
#pragma GCC unroll 8
  for (int k = 0; k < 8; ++k) {
    l[k] = LoadBE(window + k);
    r[k] = LoadBE(window + 4 + k);
  }
  std::uint8_t key[8], plain[8];
  KeyBytesN<8>(c, l, r, key);
#pragma GCC unroll 8
  for (int k = 0; k < 8; ++k) plain[k] = window[8 + k] ^ key[k];
  std::memcpy(out, plain, 8);
}

// length is a multiple of 8; `first` is the register before src.  The
// steps go from the last to the first so that, in one buffer, each reads
// only ciphertext not yet overwritten.
void Cfb8DecipherPlain(const TBlowfishContext& c, const std::uint8_t first[8], const std::uint8_t* src,
                       std::uint8_t* dst, std::size_t length) {
  if (length == 0) return;
  for (std::size_t i = length - 8; i >= 8; i -= 8) Decipher8(c, src + i - 8, dst + i);
  std::uint8_t window[16];
  std::memcpy(window, first, 8);
  std::memcpy(window + 8, src, 8);
  Decipher8(c, window, dst);
}

// Enciphering several runs at once, each from `iv`: within a run every
// byte waits for the one before, but the runs are independent, so N of
// them go in lock step (the page file enciphers a commit's pages so).
template <int N>
void Cfb8EncipherRuns(const TBlowfishContext& ctx, std::uint64_t iv, const std::uint8_t* const* src,
                      std::uint8_t* const* dst, std::size_t length) {
  std::uint64_t reg[N];
#pragma GCC unroll 8
  for (int k = 0; k < N; ++k) reg[k] = iv;
  for (std::size_t i = 0; i < length; ++i) {
    std::uint32_t l[N], r[N];
#pragma GCC unroll 8
    for (int k = 0; k < N; ++k) {
      l[k] = static_cast<std::uint32_t>(reg[k] >> 32);
      r[k] = static_cast<std::uint32_t>(reg[k]);
    }
    std::uint8_t key[N];
    KeyBytesN<N>(ctx, l, r, key);
#pragma GCC unroll 8
    for (int k = 0; k < N; ++k) {
      const std::uint8_t out = src[k][i] ^ key[k];
      dst[k][i] = out;
      reg[k] = (reg[k] << 8) | out;
    }
  }
}

// --- Deciphering, 64 bytes per step with 512-bit byte permutes -------------
//
// The 64 block encryptions of a step run side by side, each 32-bit half
// held as four byte planes: plane k is byte k (0 = most significant) of the
// half in each of the 64 blocks.  A plane is then directly the index of
// one S-box lookup, and byte i's register (the ciphertext bytes i-8..i-1)
// makes plane k of the left half a plain load from i-8+k, of the right half
// from i-4+k.  A lookup is, per byte plane of the S-box, two 128-entry
// permutes chosen between by the index's top bit; the F function's 32-bit
// additions carry from plane to plane through byte masks.  The keystream
// byte is the top plane of the final left half.
#if BLOWFISH_HAS_VECTOR_CODE
#define BLOWFISH_VECTOR_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))

struct TPlanes {
  __m512i h[4];
};

BLOWFISH_VECTOR_TARGET inline __m512i PlaneLookup(const std::uint8_t* plane, __m512i index, __mmask64 upper) {
  const __m512i lower = _mm512_permutex2var_epi8(_mm512_load_si512(plane), index, _mm512_load_si512(plane + 64));
  const __m512i higher =
      _mm512_permutex2var_epi8(_mm512_load_si512(plane + 128), index, _mm512_load_si512(plane + 192));
  return _mm512_mask_blend_epi8(upper, lower, higher);
}

BLOWFISH_VECTOR_TARGET inline void Lookup(const TBlowfishContext& c, int box, __m512i index, TPlanes& out) {
  const __mmask64 upper = _mm512_movepi8_mask(index);
#pragma GCC unroll 4
  for (int k = 0; k < 4; ++k) out.h[k] = PlaneLookup(c.planes[box][k], index, upper);
}

// a += b, 32 bits per block: byte additions, the carry out of each plane
// (a wrapped sum, or a sum of 0xFF taking a carry in) added to the next.
BLOWFISH_VECTOR_TARGET inline void AddPlanes(TPlanes& a, const TPlanes& b) {
  const __m512i one = _mm512_set1_epi8(1), ones = _mm512_set1_epi8(-1);
  const __m512i low = _mm512_add_epi8(a.h[3], b.h[3]);
  __mmask64 carry = _mm512_cmplt_epu8_mask(low, a.h[3]);
  a.h[3] = low;
#pragma GCC unroll 2
  for (int k = 2; k >= 1; --k) {
    const __m512i sum = _mm512_add_epi8(a.h[k], b.h[k]);
    const __mmask64 wrapped = _mm512_cmplt_epu8_mask(sum, a.h[k]);
    const __mmask64 rippled = _mm512_mask_cmpeq_epi8_mask(carry, sum, ones);
    a.h[k] = _mm512_mask_add_epi8(sum, carry, sum, one);
    carry = _kor_mask64(wrapped, rippled);
  }
  const __m512i top = _mm512_add_epi8(a.h[0], b.h[0]);
  a.h[0] = _mm512_mask_add_epi8(top, carry, top, one);
}

// x ^= F(y) ^ p.
BLOWFISH_VECTOR_TARGET inline void RoundPlanes(const TBlowfishContext& c, TPlanes& x, const TPlanes& y,
                                               std::uint32_t p) {
  TPlanes f, g;
  Lookup(c, 0, y.h[0], f);
  Lookup(c, 1, y.h[1], g);
  AddPlanes(f, g);
  Lookup(c, 2, y.h[2], g);
#pragma GCC unroll 4
  for (int k = 0; k < 4; ++k) f.h[k] = _mm512_xor_si512(f.h[k], g.h[k]);
  Lookup(c, 3, y.h[3], g);
  AddPlanes(f, g);
#pragma GCC unroll 4
  for (int k = 0; k < 4; ++k)
    x.h[k] = _mm512_ternarylogic_epi32(x.h[k], f.h[k], _mm512_set1_epi8(static_cast<char>(p >> (24 - 8 * k))), 0x96);
}

// One step: `window` holds the eight ciphertext bytes before the step and
// the step's 64; the 64 plain bytes go to `out`.  Everything is read
// before `out` is written.
BLOWFISH_VECTOR_TARGET void Decipher64(const TBlowfishContext& c, const std::uint8_t* window, std::uint8_t* out) {
  TPlanes l, r;
#pragma GCC unroll 4
  for (int k = 0; k < 4; ++k) {
    l.h[k] = _mm512_xor_si512(_mm512_loadu_si512(window + k),
                              _mm512_set1_epi8(static_cast<char>(c.p[0] >> (24 - 8 * k))));
    r.h[k] = _mm512_loadu_si512(window + 4 + k);
  }
  const __m512i cipher = _mm512_loadu_si512(window + 8);
  for (int i = 1; i < 16; i += 2) {
    RoundPlanes(c, r, l, c.p[i]);
    RoundPlanes(c, l, r, c.p[i + 1]);
  }
  // The final swap makes r ^ P18 the left half; its top byte is the key.
  const __m512i key = _mm512_set1_epi8(static_cast<char>(c.p[17] >> 24));
  _mm512_storeu_si512(out, _mm512_ternarylogic_epi32(cipher, r.h[0], key, 0x96));
}

// length is a multiple of 64.  The steps go from the last to the first so
// that, in one buffer, each reads only ciphertext not yet overwritten.
BLOWFISH_VECTOR_TARGET void Cfb8DecipherVector(const TBlowfishContext& c, const std::uint8_t first[8],
                                               const std::uint8_t* src, std::uint8_t* dst, std::size_t length) {
  for (std::size_t i = length; i >= 64 + 64;) {
    i -= 64;
    Decipher64(c, src + i - 8, dst + i);
  }
  std::uint8_t window[72];
  std::memcpy(window, first, 8);
  std::memcpy(window + 8, src, 64);
  Decipher64(c, window, dst);
}

bool HasVectorUnits() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vbmi");
}
#else
bool HasVectorUnits() { return false; }
#endif

std::atomic<bool>& UseVectorCode() {
  static std::atomic<bool> use{HasVectorUnits()};
  return use;
}

void Cfb8Decipher(TBlowfishContext& ctx, const std::uint8_t* src, std::uint8_t* dst, std::size_t length) {
  if (length < 8) {
    StoreRegister(Cfb8DecipherSerial(ctx, LoadRegister(ctx.shift), src, dst, length), ctx.shift);
    return;
  }
  // The tail first, then the whole steps from the back: in one buffer
  // neither overwrites ciphertext the other still reads.
  const std::uint64_t after = LoadRegister(src + length - 8);
#if BLOWFISH_HAS_VECTOR_CODE
  if (length >= 64 && UseVectorCode().load(std::memory_order_relaxed)) {
    const std::size_t whole = length - length % 64;
    const std::size_t steps = length % 64 - length % 8;
    Cfb8DecipherSerial(ctx, LoadRegister(src + length - length % 8 - 8), src + length - length % 8,
                       dst + length - length % 8, length % 8);
    if (steps) Cfb8DecipherPlain(ctx, src + whole - 8, src + whole, dst + whole, steps);
    Cfb8DecipherVector(ctx, ctx.shift, src, dst, whole);
    StoreRegister(after, ctx.shift);
    return;
  }
#endif
  const std::size_t whole = length - length % 8;
  Cfb8DecipherSerial(ctx, LoadRegister(src + whole - 8), src + whole, dst + whole, length - whole);
  Cfb8DecipherPlain(ctx, ctx.shift, src, dst, whole);
  StoreRegister(after, ctx.shift);
}
}  // namespace

void CfbEncrypt(TBlowfishContext& ctx, const void* source, void* destination, std::size_t length) {
  Cfb8Encipher(ctx, static_cast<const std::uint8_t*>(source), static_cast<std::uint8_t*>(destination), length);
}

void CfbDecrypt(TBlowfishContext& ctx, const void* source, void* destination, std::size_t length) {
  Cfb8Decipher(ctx, static_cast<const std::uint8_t*>(source), static_cast<std::uint8_t*>(destination), length);
}

void CfbEncryptRuns(const TBlowfishContext& ctx, const std::uint8_t* const* sources, std::uint8_t* const* destinations,
                    std::size_t count, std::size_t length) {
  const std::uint64_t iv = LoadRegister(ctx.iv);
  std::size_t n = 0;
  for (; n + 4 <= count; n += 4) Cfb8EncipherRuns<4>(ctx, iv, sources + n, destinations + n, length);
  if (count - n >= 2) {
    Cfb8EncipherRuns<2>(ctx, iv, sources + n, destinations + n, length);
    n += 2;
  }
  if (n < count) Cfb8EncipherRuns<1>(ctx, iv, sources + n, destinations + n, length);
}

void CfbResetIV(TBlowfishContext& ctx) { std::memcpy(ctx.shift, ctx.iv, 8); }

bool BlowfishVectorDecipherForTests(bool allow) {
  UseVectorCode().store(allow && HasVectorUnits());
  return UseVectorCode().load();
}
