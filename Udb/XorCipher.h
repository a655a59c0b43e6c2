// XorCipher: the table-keyed XOR page cipher (the same call enciphers and
// deciphers).  Byte i is XORed with key[k], k starting at 0 and advancing by
// (tableId AND 100) + 1 modulo keyLength, so each table walks the key with
// its own step (1, 5, 33, 37, 65, 69, 97 or 101).  Source and destination
// may be the same buffer.  Standard library only.
#pragma once

#include <cstdint>

void XorCipher(const void* source, void* destination, const void* key, std::uint16_t tableId,
               int keyLength, int length);
