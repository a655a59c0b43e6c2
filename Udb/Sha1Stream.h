// TSha1Stream: SHA-1 (FIPS 180-1) as a write-only stream, and Sha1OfString.
//
// Where the engine stores a digest (the security header, password fields)
// it stores the five state words H0..H4 in order, each little-endian: the
// digest of "abc" (A9993E36 4706816A ...) is stored as 36 3E 99 A9 6A 81 06
// 47 ...  GetDigestString returns those 20 bytes.  Reading and seeking do
// nothing.  Calls platform/core only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/core/AnsiString.h"
#include "platform/core/Streams.h"

using TSha1Digest = std::uint32_t[5];

class TSha1Stream : public TStream {
 public:
  TSha1Stream() { Reset(); }

  // Hashes count bytes; returns count.
  int Write(const void* buffer, int count) override;
  // The stream reads nothing and never moves.
  int Read(void*, int) override { return 0; }
  std::int64_t Seek(std::int64_t, TSeekOrigin) override { return 0; }

  virtual void WriteByte(std::uint8_t b);
  // GetDigest as the 20 stored bytes (H0..H4, each little-endian).
  virtual AnsiString GetDigestString();
  virtual void Reset();
  // Hashes count bytes from the last to the first.
  virtual void WriteBytesReversed(const void* buffer, int count);
  // Pads, copies H0..H4 into words, then resets.
  virtual void GetDigest(TSha1Digest& words);

 protected:
  // The compression function on the current 64-byte block.
  virtual void ProcessBlock();

 private:
  std::int64_t blockCount_ = 0;  // 64-byte blocks processed
  int byteCount_ = 0;            // bytes in the current block, 0..63
  std::uint32_t work_[80];
  std::uint32_t h_[5];
};

// An empty string gives 20 zero bytes (not the SHA-1 of the empty message).
void Sha1OfString(const AnsiString& s, TSha1Digest& words);
// The 20 stored bytes of a digest (each word little-endian).
void Sha1DigestToBytes(const TSha1Digest& words, std::uint8_t out[20]);
