// Blowfish: generated tables, published ECB vectors, 8-bit CFB with the
// published CFB key and IV, key limits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Udb/Blowfish.h"
#include "Udb/Crc32.h"
#include "UdbTestSupport.h"


TEST(Blowfish, InitialTablesAreTheDigitsOfPi) {
  const std::uint32_t* pi = BlowfishPiWords();
  EXPECT_EQ(pi[0], 0x243F6A88u);
  EXPECT_EQ(pi[1], 0x85A308D3u);
  EXPECT_EQ(pi[17], 0x8979FB1Bu);        // P18
  EXPECT_EQ(pi[18], 0xD1310BA6u);        // S1[0]
  EXPECT_EQ(pi[18 + 1023], 0x3AC372E6u);  // S4[255]
}

TEST(Blowfish, PublishedEcbVectors) {
  struct Case {
    const char* key;
    const char* plain;
    const char* cipher;
  };
  const Case cases[] = {
      {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
      {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
      {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
      {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
      {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
      {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
  };
  for (const Case& c : cases) {
    TBlowfishContext ctx;
    auto key = Hex(c.key);
    ASSERT_TRUE(BlowfishInit(ctx, key.data(), 64, nullptr));
    auto plain = Hex(c.plain);
    std::uint8_t out[8], back[8];
    BlowfishEncryptBlock(ctx, plain.data(), out);
    EXPECT_EQ(ToHex(out, 8), c.cipher) << c.key;
    BlowfishDecryptBlock(ctx, out, back);
    EXPECT_EQ(ToHex(back, 8), c.plain);
  }
}

TEST(Blowfish, Cfb8MatchesPublishedKeyAndIv) {
  // The published CFB vector's key, IV and text, run in 8-bit feedback; the
  // first byte equals the published 64-bit-feedback vector's (E7).
  auto key = Hex("0123456789ABCDEFF0E1D2C3B4A59687");
  auto iv = Hex("FEDCBA9876543210");
  const char text[] = "7654321 Now is the time for ";
  TBlowfishContext ctx;
  ASSERT_TRUE(BlowfishInit(ctx, key.data(), 128, iv.data()));
  std::uint8_t out[29];
  CfbEncrypt(ctx, text, out, 29);
  EXPECT_EQ(ToHex(out, 29), "E7BB1FC3073EB8314B378689FAB0B1160244415D4D017FCE0D9B4CB2FA");
  CfbResetIV(ctx);
  std::uint8_t back[29];
  CfbDecrypt(ctx, out, back, 29);
  EXPECT_EQ(std::memcmp(back, text, 29), 0);
}

TEST(Blowfish, NullIvIsTheEncryptionOfAllOnes) {
  auto key = Hex("0123456789ABCDEFF0E1D2C3B4A59687");
  TBlowfishContext ctx;
  ASSERT_TRUE(BlowfishInit(ctx, key.data(), 128, nullptr));
  EXPECT_EQ(ToHex(ctx.iv, 8), "01D5B4C173602F15");
  std::uint8_t out[29];
  CfbEncrypt(ctx, "7654321 Now is the time for ", out, 29);
  EXPECT_EQ(ToHex(out, 29), "9DA21CEB47BB96214E53D9887BCF72D8AB027D469E26B211A09A6019FF");
}

TEST(Blowfish, KeysOutsideOneTo56BytesLeaveTheContextUntouched) {
  TBlowfishContext ctx;
  std::uint8_t key[57] = {};
  EXPECT_FALSE(BlowfishInit(ctx, key, 57 * 8, nullptr));
  EXPECT_FALSE(BlowfishInit(ctx, key, 0, nullptr));
  EXPECT_FALSE(BlowfishInit(ctx, key, 12, nullptr));
  EXPECT_FALSE(ctx.initialized);
  EXPECT_EQ(ctx.p[0], 0u);
  EXPECT_TRUE(BlowfishInit(ctx, key, 56 * 8, nullptr));
}

namespace {
// Runs each case with the deciphering code the processor allows and with
// the plain code (where both are the same, twice), and leaves the choice
// as it was made at start.
template <class Fn>
void WithEachDecipherCode(Fn&& fn) {
  for (bool vector : {true, false}) {
    const bool inUse = BlowfishVectorDecipherForTests(vector);
    SCOPED_TRACE(inUse ? "vector decipher" : "plain decipher");
    fn();
  }
  BlowfishVectorDecipherForTests(true);
}

std::vector<std::uint8_t> NoisePage(std::size_t length, std::uint32_t seed) {
  std::vector<std::uint8_t> page(length);
  for (auto& b : page) b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
  return page;
}
}  // namespace

// The bytes of a whole page as the page file writes and reads it (IV reset
// after each page), pinned: a database enciphered by any earlier build
// must read back, and pages written now must be the bytes those builds
// wrote.
TEST(Blowfish, PagesEncipherAndDecipherToTheKnownBytes) {
  auto key = Hex("0123456789ABCDEFF0E1D2C3B4A59687");
  TBlowfishContext ctx;
  ASSERT_TRUE(BlowfishInit(ctx, key.data(), 128, nullptr));
  const std::vector<std::uint8_t> page = NoisePage(4096, 20261211);
  ASSERT_EQ(Crc32(page.data(), page.size()), 0x2B6B8A3Cu);

  std::vector<std::uint8_t> written(4096);
  CfbEncrypt(ctx, page.data(), written.data(), 4096);
  CfbResetIV(ctx);
  EXPECT_EQ(ToHex(written.data(), 8), "34874116143206E3");
  EXPECT_EQ(ToHex(written.data() + 4088, 8), "B3E3EBDBF7A5D2F1");
  EXPECT_EQ(Crc32(written.data(), written.size()), 0x4A8AB36Du);

  WithEachDecipherCode([&] {
    std::vector<std::uint8_t> read(4096);
    CfbDecrypt(ctx, written.data(), read.data(), 4096);
    CfbResetIV(ctx);
    EXPECT_EQ(read, page);
    // The noise itself read as a stored page.
    CfbDecrypt(ctx, page.data(), read.data(), 4096);
    CfbResetIV(ctx);
    EXPECT_EQ(ToHex(read.data(), 8), "3449514C29BEFF24");
    EXPECT_EQ(ToHex(read.data() + 4088, 8), "2F487A75F661A890");
    EXPECT_EQ(Crc32(read.data(), read.size()), 0x93A30F8Fu);
  });
}

// Deciphering runs many block encryptions per step; it must give what the
// byte-at-a-time definition gives (register = the eight bytes before,
// keystream byte = first byte of its encryption), for every length, in
// place or not, and when a run continues a register left by an earlier one.
TEST(Blowfish, Cfb8DecipherMatchesTheByteAtATimeDefinition) {
  auto key = Hex("0123456789ABCDEFF0E1D2C3B4A59687");
  TBlowfishContext ctx;
  ASSERT_TRUE(BlowfishInit(ctx, key.data(), 128, nullptr));
  auto reference = [&](const std::vector<std::uint8_t>& cipher, const std::uint8_t start[8]) {
    std::vector<std::uint8_t> plain(cipher.size());
    std::uint8_t reg[8], block[8];
    std::memcpy(reg, start, 8);
    for (size_t i = 0; i < cipher.size(); ++i) {
      BlowfishEncryptBlock(ctx, reg, block);
      plain[i] = cipher[i] ^ block[0];
      std::memmove(reg, reg + 1, 7);
      reg[7] = cipher[i];
    }
    return plain;
  };
  for (size_t length : {0, 1, 7, 8, 9, 63, 64, 65, 127, 128, 200, 4096, 4099}) {
    const std::vector<std::uint8_t> page = NoisePage(length, 12345u + static_cast<std::uint32_t>(length));
    const auto expect = reference(page, ctx.iv);
    WithEachDecipherCode([&] {
      CfbResetIV(ctx);
      std::vector<std::uint8_t> out(length);
      CfbDecrypt(ctx, page.data(), out.data(), length);
      EXPECT_EQ(out, expect) << length;

      CfbResetIV(ctx);
      std::vector<std::uint8_t> inPlace = page;
      CfbDecrypt(ctx, inPlace.data(), inPlace.data(), length);
      EXPECT_EQ(inPlace, expect) << length;

      // Two runs, split at an odd place, continue through the saved
      // register; so does a third run after them.
      CfbResetIV(ctx);
      const size_t cut = length / 3;
      std::vector<std::uint8_t> split(length);
      CfbDecrypt(ctx, page.data(), split.data(), cut);
      CfbDecrypt(ctx, page.data() + cut, split.data() + cut, length - cut);
      EXPECT_EQ(split, expect) << length;
      std::vector<std::uint8_t> next(length), fromHere(length);
      CfbDecrypt(ctx, page.data(), next.data(), length);
      std::uint8_t reg[8];
      std::memcpy(reg, ctx.iv, 8);
      const std::size_t keep = std::min<std::size_t>(length, 8);
      std::memmove(reg, reg + keep, 8 - keep);
      std::memcpy(reg + 8 - keep, page.data() + length - keep, keep);
      EXPECT_EQ(next, reference(page, reg)) << length;

      // Enciphering what came out gives the page back, byte for byte.
      CfbResetIV(ctx);
      std::vector<std::uint8_t> again(length);
      CfbEncrypt(ctx, expect.data(), again.data(), length);
      EXPECT_EQ(again, page) << length;
    });
  }
  CfbResetIV(ctx);
}

// A commit enciphers its pages side by side; each must come out as if it
// were enciphered alone (register reset to the IV), whatever the number of
// pages, the key and the page length, in place or into other buffers.
TEST(Blowfish, RunsEncipherEachAsAPageAlone) {
  std::uint32_t seed = 77;
  for (std::size_t count : {0, 1, 2, 3, 4, 5, 7, 9}) {
    for (std::size_t length : {1, 9, 4096}) {
      const std::vector<std::uint8_t> key = NoisePage(1 + count * 5 % 56, ++seed);
      TBlowfishContext ctx;
      ASSERT_TRUE(BlowfishInit(ctx, key.data(), static_cast<int>(key.size() * 8), nullptr));
      std::vector<std::vector<std::uint8_t>> pages, expect, out, inPlace;
      for (std::size_t k = 0; k < count; ++k) {
        pages.push_back(NoisePage(length, ++seed));
        expect.emplace_back(length);
        CfbEncrypt(ctx, pages.back().data(), expect.back().data(), length);
        CfbResetIV(ctx);
        out.emplace_back(length);
        inPlace.push_back(pages.back());
      }
      std::vector<const std::uint8_t*> from;
      std::vector<std::uint8_t*> to, same;
      for (std::size_t k = 0; k < count; ++k) {
        from.push_back(pages[k].data());
        to.push_back(out[k].data());
        same.push_back(inPlace[k].data());
      }
      CfbEncryptRuns(ctx, from.data(), to.data(), count, length);
      EXPECT_EQ(out, expect) << count << " runs of " << length;
      CfbEncryptRuns(ctx, same.data(), same.data(), count, length);
      EXPECT_EQ(inPlace, expect) << count << " runs of " << length << " in place";
      // And they decipher back on every path.
      for (std::size_t k = 0; k < count; ++k)
        WithEachDecipherCode([&] {
          std::vector<std::uint8_t> back(length);
          CfbDecrypt(ctx, out[k].data(), back.data(), length);
          CfbResetIV(ctx);
          EXPECT_EQ(back, pages[k]);
        });
    }
  }
}
