// The transaction's held pages: sub-range reads, merged writes, one image
// per page, commit order and failure.
#include <gtest/gtest.h>

#include <cstring>

#include "UdbTestSupport.h"
#include "Udb/CacheBlockMgr.h"

namespace {

constexpr int P = 128;

class HeldFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    file.assign(4 * P, 0);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(i);
    held.OnReadFile = [this](TUdbAddr a, void* b, int n) -> std::int64_t {
      std::int64_t got = std::max<std::int64_t>(0, std::min<std::int64_t>(n, std::int64_t(file.size()) - a));
      if (got > 0) std::memcpy(b, file.data() + a, static_cast<size_t>(got));
      return got;
    };
    held.OnWriteFile = [this](TUdbAddr a, const void* b, int n) {
      if (failWrites-- == 0) UdbDatabaseError(9217, "test", "write failed");
      if (file.size() < a + n) file.resize(a + n, 0);
      std::memcpy(file.data() + a, b, static_cast<size_t>(n));
      order.push_back(a);
    };
    held.Start(P);
  }
  std::vector<std::uint8_t> file;
  TCacheBlockMgr held;
  std::vector<TUdbAddr> order;
  int failWrites = -1;
};

}  // namespace

TEST(TCacheBlockMgrStart, NeedsBothCallbacks) {
  TCacheBlockMgr held;
  EXPECT_UDB_ERROR(held.Start(P), 10065);
  EXPECT_UDB_ERROR(held.Commit(), 10257);
}

TEST_F(HeldFixture, AnySubRangeOfAHeldWriteReadsBack) {
  std::vector<std::uint8_t> data(200, 0xAA);
  held.Write(P + 20, data.data(), 200);  // spans pages 1 and 2
  std::uint8_t out[30];
  held.Read(P + 10, out, 30);
  EXPECT_EQ(out[9], static_cast<std::uint8_t>(P + 19));
  EXPECT_EQ(out[10], 0xAA);
  held.Read(2 * P + 90, out, 30);  // ends past the write, inside the file
  EXPECT_EQ(out[1], 0xAA);
  EXPECT_EQ(out[2], static_cast<std::uint8_t>(2 * P + 92));
  EXPECT_EQ(file[P + 20], static_cast<std::uint8_t>(P + 20));  // nothing written yet
}

TEST_F(HeldFixture, OverlappingWritesMergeAndTheLastWins) {
  std::vector<std::uint8_t> a(50, 1), b(50, 2);
  held.Write(10, a.data(), 50);
  held.Write(40, b.data(), 50);
  EXPECT_EQ(held.Count(), 1);
  held.Commit();
  EXPECT_EQ(file[9], 9);
  EXPECT_EQ(file[10], 1);
  EXPECT_EQ(file[39], 1);
  EXPECT_EQ(file[40], 2);
  EXPECT_EQ(file[89], 2);
  EXPECT_EQ(file[90], 90);
}

TEST_F(HeldFixture, WritesPastTheEndOfTheFileExtendItAtCommit) {
  std::vector<std::uint8_t> data(P, 7);
  held.Write(5 * P, data.data(), P);
  std::uint8_t out[4];
  held.Read(5 * P + 10, out, 4);
  EXPECT_EQ(out[0], 7);
  EXPECT_UDB_ERROR(held.Read(7 * P, out, 4), 9217);
  held.Commit();
  EXPECT_EQ(file.size(), 6u * P);
}

TEST_F(HeldFixture, WholePageImageReplacesAndDropForgets) {
  std::vector<std::uint8_t> page(P, 0x55);
  std::uint8_t one = 1;
  held.Write(P + 3, &one, 1);
  held.PutPage(P, page.data());
  held.Write(2 * P, &one, 1);
  held.DropPage(2 * P);
  held.Commit();
  EXPECT_EQ(file[P + 3], 0x55);
  EXPECT_EQ(file[2 * P], static_cast<std::uint8_t>(2 * P));
}

TEST_F(HeldFixture, CommitWritesInAddressOrderAndKeepsWhatAFailureLeft) {
  std::uint8_t v = 9;
  held.Write(3 * P, &v, 1);
  held.Write(0, &v, 1);
  held.Write(2 * P, &v, 1);
  failWrites = 1;
  EXPECT_UDB_ERROR(held.Commit(), 9217);
  EXPECT_EQ(order, (std::vector<TUdbAddr>{0}));
  EXPECT_EQ(held.Count(), 2);
  EXPECT_TRUE(held.InTransaction());
  held.Commit();
  EXPECT_EQ(order, (std::vector<TUdbAddr>{0, 2 * P, 3 * P}));
  EXPECT_FALSE(held.InTransaction());
}
