// SHA-1 against published digests and the stored (little-endian word) form.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Udb/Sha1Stream.h"
#include "UdbTestSupport.h"


TEST(TSha1Stream, DigestOfAbcIsStoredAsLittleEndianWords) {
  TSha1Digest words;
  Sha1OfString("abc", words);
  EXPECT_EQ(words[0], 0xA9993E36u);
  EXPECT_EQ(words[1], 0x4706816Au);
  EXPECT_EQ(words[2], 0xBA3E2571u);
  EXPECT_EQ(words[3], 0x7850C26Cu);
  EXPECT_EQ(words[4], 0x9CD0D89Du);
  TSha1Stream stream;
  stream.Write("abc", 3);
  AnsiString stored = stream.GetDigestString();
  ASSERT_EQ(stored.size(), 20u);
  EXPECT_EQ(ToHex(reinterpret_cast<const std::uint8_t*>(stored.data()), 8), "363E99A96A810647");
}

TEST(TSha1Stream, MultiBlockMessagesAndReuseAfterDigest) {
  TSha1Stream stream;
  const char* msg = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  TSha1Digest words;
  stream.Write(msg, static_cast<int>(std::strlen(msg)));
  stream.GetDigest(words);
  EXPECT_EQ(words[0], 0x84983E44u);
  EXPECT_EQ(words[4], 0xE54670F1u);
  // GetDigest resets: the next message starts afresh.
  std::string million(1000000, 'a');
  stream.Write(million.data(), static_cast<int>(million.size()));
  stream.GetDigest(words);
  EXPECT_EQ(words[0], 0x34AA973Cu);
  EXPECT_EQ(words[4], 0x6534016Fu);
}

TEST(TSha1Stream, EmptyStringGivesZeroWordsAndReversedWriteHashesBackwards) {
  TSha1Digest words;
  Sha1OfString("", words);
  for (auto w : words) EXPECT_EQ(w, 0u);
  TSha1Stream stream;
  stream.WriteBytesReversed("cba", 3);
  stream.GetDigest(words);
  EXPECT_EQ(words[0], 0xA9993E36u);
}
