// XorCipher: see XorCipher.h.
#include "Udb/XorCipher.h"

#include <algorithm>
#include <cstring>

namespace {
// Keys up to this length take the fast path below.
constexpr int kMaxStreamKey = 512;
// The key stream is laid out in runs of whole periods of at least this many bytes.
constexpr int kRunTarget = 512;
}  // namespace

void XorCipher(const void* source, void* destination, const void* key, std::uint16_t tableId,
               int keyLength, int length) {
  const auto* src = static_cast<const std::uint8_t*>(source);
  auto* dst = static_cast<std::uint8_t*>(destination);
  const auto* k = static_cast<const std::uint8_t*>(key);
  if (keyLength <= 0) return;
  // (index + step) mod keyLength, with the step reduced once.
  const int step = ((tableId & 100) + 1) % keyLength;
  if (keyLength > kMaxStreamKey) {
    int index = 0;
    for (int i = 0; i < length; ++i) {
      dst[i] = src[i] ^ k[index];
      index += step;
      if (index >= keyLength) index -= keyLength;
    }
    return;
  }
  // Byte i takes key[(i * step) mod keyLength], so the key stream repeats
  // every keyLength bytes: one run of whole periods is laid out once, then
  // the data is XORed run by run, many bytes per instruction.
  const int run = std::max(1, (kRunTarget + keyLength - 1) / keyLength) * keyLength;
  const int needed = std::min(run, std::max(length, 0));
  std::uint8_t stream[kRunTarget + kMaxStreamKey];
  const int period = std::min(keyLength, needed);
  int index = 0;
  for (int j = 0; j < period; ++j) {
    stream[j] = k[index];
    index += step;
    if (index >= keyLength) index -= keyLength;
  }
  for (int filled = period; filled < needed; filled *= 2)  // whole periods so far: copy them on
    std::copy_n(stream, std::min(filled, needed - filled), stream + filled);
  for (int at = 0; at < length; at += run) {
    const int n = std::min(run, length - at);
    int j = 0;
    for (; j + 8 <= n; j += 8) {  // eight bytes per step; loads before the store (in place)
      std::uint64_t d, s;
      std::memcpy(&d, src + at + j, 8);
      std::memcpy(&s, stream + j, 8);
      d ^= s;
      std::memcpy(dst + at + j, &d, 8);
    }
    for (; j < n; ++j) dst[at + j] = src[at + j] ^ stream[j];
  }
}
