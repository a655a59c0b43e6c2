// Blowfish: the 64-bit block cipher (16 rounds, standard key schedule) and
// its 8-bit cipher-feedback mode, used to encipher database pages with the
// master key.
//
// The standard initial P-array and S-boxes are the fractional hexadecimal
// digits of pi (P1 = 0x243F6A88, ...).  They are not typed in: the first
// use computes pi to 1042 words (Machin's formula in fixed point) and keeps
// the tables.  Blocks are two big-endian 32-bit halves.
//
// 8-bit CFB, per byte: K := first byte of E(shift register); out := in XOR
// K; the register shifts left one byte and takes the ciphertext byte.  The
// page file resets the register to the IV after every page (CfbResetIV), so
// pages are enciphered independently.  Enciphering a run is serial (each
// register holds the bytes just produced), so several pages are enciphered
// side by side instead (CfbEncryptRuns); deciphering knows every register
// in advance and computes several keystream bytes at once: 64 at a time
// with the processor's 512-bit byte permutes where it has them (x86-64
// with AVX-512 VBMI, chosen at run time), else eight at a time in plain
// code.  Both give the same bytes.  Standard library only.
#pragma once

#include <cstddef>
#include <cstdint>

struct TBlowfishContext {
  std::uint8_t iv[8] = {};
  std::uint8_t shift[8] = {};
  std::uint32_t s[4][256] = {};
  std::uint32_t p[18] = {};
  // The S-boxes again, one byte plane at a time for the 64-way decipher:
  // planes[box][k][x] = byte k (0 = most significant) of s[box][x].  Each
  // plane is four cache lines, 64-byte aligned, one permute operand each.
  alignas(64) std::uint8_t planes[4][4][256] = {};
  bool initialized = false;
};

constexpr int kBlowfishMaxKeyBytes = 56;

// Acts only when keyBits is 1..448 and a multiple of 8 (a key of 1 to 56
// bytes); otherwise leaves the context untouched and returns false.  With
// iv null the IV is the encryption of eight 0xFF bytes.
bool BlowfishInit(TBlowfishContext& ctx, const void* key, int keyBits, const std::uint8_t* iv);
void BlowfishEncryptBlock(const TBlowfishContext& ctx, const std::uint8_t in[8], std::uint8_t out[8]);
void BlowfishDecryptBlock(const TBlowfishContext& ctx, const std::uint8_t in[8], std::uint8_t out[8]);
// Source and destination may be the same buffer.
void CfbEncrypt(TBlowfishContext& ctx, const void* source, void* destination, std::size_t length);
void CfbDecrypt(TBlowfishContext& ctx, const void* source, void* destination, std::size_t length);
void CfbResetIV(TBlowfishContext& ctx);
// Enciphers `count` runs of `length` bytes, each from the IV as a page is:
// the same bytes as CfbEncrypt then CfbResetIV for each run, several runs
// at a time.  The context's register is not used.  A run's source and
// destination may be the same buffer; runs must not overlap otherwise.
void CfbEncryptRuns(const TBlowfishContext& ctx, const std::uint8_t* const* sources, std::uint8_t* const* destinations,
                    std::size_t count, std::size_t length);

// Test hook: false makes deciphering use the plain code even where the
// processor has the vector instructions, true restores the choice made at
// start.  Returns whether the vector code is in use afterwards.
bool BlowfishVectorDecipherForTests(bool allow);

// The generated initial tables: 18 P words followed by 4 x 256 S words,
// i.e. the first 1042 32-bit words of pi's fractional part.
const std::uint32_t* BlowfishPiWords();
