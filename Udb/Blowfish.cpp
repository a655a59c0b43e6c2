// Blowfish: see Blowfish.h.
#include "Udb/Blowfish.h"

#include <cstring>
#include <mutex>
#include <vector>

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
// Enciphering: the shift register is kept as one big-endian 64-bit value
// while a run is processed; each byte costs one block encryption and a
// shift, and the next register needs this byte's output, so it is serial.
void Cfb8Encipher(TBlowfishContext& ctx, const std::uint8_t* src, std::uint8_t* dst, std::size_t length) {
  std::uint64_t reg = (std::uint64_t(LoadBE(ctx.shift)) << 32) | LoadBE(ctx.shift + 4);
  for (std::size_t i = 0; i < length; ++i) {
    std::uint32_t l = static_cast<std::uint32_t>(reg >> 32), r = static_cast<std::uint32_t>(reg);
    Encrypt(ctx, l, r);
    const std::uint8_t out = src[i] ^ static_cast<std::uint8_t>(l >> 24);
    dst[i] = out;
    reg = (reg << 8) | out;
  }
  StoreBE(static_cast<std::uint32_t>(reg >> 32), ctx.shift);
  StoreBE(static_cast<std::uint32_t>(reg), ctx.shift + 4);
}

// N block encryptions in lock step: the rounds of independent blocks
// interleave, so their S-box loads overlap instead of each round waiting on
// the previous one's loads.  Same rounds as Encrypt.  Four lanes keep every
// half in a register and come close to the machine's load throughput (a
// page deciphers in about 0.4 of the serial time; eight lanes spill).
template <int N>
inline void EncryptN(const TBlowfishContext& c, std::uint32_t* l, std::uint32_t* r) {
  for (int k = 0; k < N; ++k) l[k] ^= c.p[0];
  for (int i = 1; i < 16; i += 2) {
    for (int k = 0; k < N; ++k) r[k] ^= F(c, l[k]) ^ c.p[i];
    for (int k = 0; k < N; ++k) l[k] ^= F(c, r[k]) ^ c.p[i + 1];
  }
  for (int k = 0; k < N; ++k) {
    const std::uint32_t t = r[k] ^ c.p[17];
    r[k] = l[k];
    l[k] = t;
  }
}

// Deciphering: byte i's register is the eight ciphertext bytes before it
// (the saved register for the first ones), all known in advance, so the
// block encryptions are independent.  Eight bytes go per step: `prev`
// holds the eight ciphertext bytes before the step, `cur` the step's own,
// read before any output is stored (source and destination may be one
// buffer); byte k's register is prev shifted left k bytes, filled from cur.
void Cfb8Decipher(TBlowfishContext& ctx, const std::uint8_t* src, std::uint8_t* dst, std::size_t length) {
  std::uint64_t prev = (std::uint64_t(LoadBE(ctx.shift)) << 32) | LoadBE(ctx.shift + 4);
  std::size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    const std::uint64_t cur = (std::uint64_t(LoadBE(src + i)) << 32) | LoadBE(src + i + 4);
    std::uint32_t l[8], r[8];
    l[0] = static_cast<std::uint32_t>(prev >> 32);
    r[0] = static_cast<std::uint32_t>(prev);
    for (int k = 1; k < 8; ++k) {
      const std::uint64_t reg = (prev << (8 * k)) | (cur >> (64 - 8 * k));
      l[k] = static_cast<std::uint32_t>(reg >> 32);
      r[k] = static_cast<std::uint32_t>(reg);
    }
    EncryptN<4>(ctx, l, r);
    EncryptN<4>(ctx, l + 4, r + 4);
    for (int k = 0; k < 8; ++k)
      dst[i + k] = static_cast<std::uint8_t>(cur >> (56 - 8 * k)) ^ static_cast<std::uint8_t>(l[k] >> 24);
    prev = cur;
  }
  for (; i < length; ++i) {
    std::uint32_t l = static_cast<std::uint32_t>(prev >> 32), r = static_cast<std::uint32_t>(prev);
    Encrypt(ctx, l, r);
    const std::uint8_t in = src[i];
    dst[i] = in ^ static_cast<std::uint8_t>(l >> 24);
    prev = (prev << 8) | in;
  }
  StoreBE(static_cast<std::uint32_t>(prev >> 32), ctx.shift);
  StoreBE(static_cast<std::uint32_t>(prev), ctx.shift + 4);
}
}  // namespace

void CfbEncrypt(TBlowfishContext& ctx, const void* source, void* destination, std::size_t length) {
  Cfb8Encipher(ctx, static_cast<const std::uint8_t*>(source), static_cast<std::uint8_t*>(destination), length);
}

void CfbDecrypt(TBlowfishContext& ctx, const void* source, void* destination, std::size_t length) {
  Cfb8Decipher(ctx, static_cast<const std::uint8_t*>(source), static_cast<std::uint8_t*>(destination), length);
}

void CfbResetIV(TBlowfishContext& ctx) { std::memcpy(ctx.shift, ctx.iv, 8); }
