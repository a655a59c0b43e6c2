// TSha1Stream: see Sha1Stream.h.
#include "Udb/Sha1Stream.h"

#include <cstring>

namespace {
inline std::uint32_t Rol(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
}  // namespace

void TSha1Stream::Reset() {
  blockCount_ = 0;
  byteCount_ = 0;
  std::memset(work_, 0, sizeof work_);
  h_[0] = 0x67452301;
  h_[1] = 0xEFCDAB89;
  h_[2] = 0x98BADCFE;
  h_[3] = 0x10325476;
  h_[4] = 0xC3D2E1F0;
}

int TSha1Stream::Write(const void* buffer, int count) {
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  for (int i = 0; i < count; ++i) WriteByte(p[i]);
  return count;
}

void TSha1Stream::WriteBytesReversed(const void* buffer, int count) {
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  for (int i = count - 1; i >= 0; --i) WriteByte(p[i]);
}

void TSha1Stream::WriteByte(std::uint8_t b) {
  // Message words are filled big-endian.
  work_[byteCount_ / 4] |= static_cast<std::uint32_t>(b) << (24 - 8 * (byteCount_ % 4));
  if (++byteCount_ == 64) {
    ProcessBlock();
    byteCount_ = 0;
    std::memset(work_, 0, sizeof work_);
  }
}

void TSha1Stream::ProcessBlock() {
  std::uint32_t* w = work_;
  for (int t = 16; t < 80; ++t) w[t] = Rol(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
  std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
  for (int t = 0; t < 80; ++t) {
    std::uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    std::uint32_t temp = Rol(a, 5) + f + e + k + w[t];
    e = d;
    d = c;
    c = Rol(b, 30);
    b = a;
    a = temp;
  }
  h_[0] += a;
  h_[1] += b;
  h_[2] += c;
  h_[3] += d;
  h_[4] += e;
  ++blockCount_;
}

void TSha1Stream::GetDigest(TSha1Digest& words) {
  std::uint64_t bits = (static_cast<std::uint64_t>(blockCount_) * 64 + byteCount_) * 8;
  WriteByte(0x80);
  while (byteCount_ != 56) WriteByte(0);
  for (int i = 7; i >= 0; --i) WriteByte(static_cast<std::uint8_t>(bits >> (8 * i)));
  for (int i = 0; i < 5; ++i) words[i] = h_[i];
  Reset();
}

AnsiString TSha1Stream::GetDigestString() {
  TSha1Digest words;
  GetDigest(words);
  std::uint8_t bytes[20];
  Sha1DigestToBytes(words, bytes);
  return AnsiString(reinterpret_cast<const char*>(bytes), 20);
}

void Sha1DigestToBytes(const TSha1Digest& words, std::uint8_t out[20]) {
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 4; ++j) out[i * 4 + j] = static_cast<std::uint8_t>(words[i] >> (8 * j));
}

void Sha1OfString(const AnsiString& s, TSha1Digest& words) {
  for (int i = 0; i < 5; ++i) words[i] = 0;
  if (s.empty()) return;
  TSha1Stream stream;
  stream.Write(s.data(), s.Length());
  stream.GetDigest(words);
}
