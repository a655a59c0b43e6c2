// XorCipher: see XorCipher.h.
#include "Udb/XorCipher.h"

void XorCipher(const void* source, void* destination, const void* key, std::uint16_t tableId,
               int keyLength, int length) {
  const auto* src = static_cast<const std::uint8_t*>(source);
  auto* dst = static_cast<std::uint8_t*>(destination);
  const auto* k = static_cast<const std::uint8_t*>(key);
  if (keyLength <= 0) return;
  // (index + step) mod keyLength, with the step reduced once.
  const int step = ((tableId & 100) + 1) % keyLength;
  int index = 0;
  for (int i = 0; i < length; ++i) {
    dst[i] = src[i] ^ k[index];
    index += step;
    if (index >= keyLength) index -= keyLength;
  }
}
