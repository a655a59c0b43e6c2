// The page cache on its own, with callbacks over a plain byte vector:
// hits and identity, least-recently-used eviction, transactions, growth
// only when every page is dirty, trim.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "UdbTestSupport.h"
#include "Udb/CacheMgr.h"

namespace {

constexpr int P = 256;

class CacheFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    file.assign(64 * P, 0);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(i / P);
    cache.OnReadPage = [this](TCachePage& p) {
      ++reads;
      std::memcpy(p.data.data(), file.data() + p.address, P);
    };
    cache.OnWritePage = [this](TCachePage& p) {
      ++writes;
      std::memcpy(file.data() + p.address, p.data.data(), P);
    };
    cache.OnSpillPage = [this](TCachePage& p) { spilled[p.address] = p.data; };
    cache.Open(4, P);
  }
  std::uint8_t ReadByte(int page, std::uint16_t table = 1, std::uint8_t mode = 1) {
    std::uint8_t b;
    cache.Read(static_cast<TUdbAddr>(page * P + 3), &b, 1, table, mode);
    return b;
  }
  void WriteByte(int page, std::uint8_t value, std::uint16_t table = 1) {
    cache.Write(static_cast<TUdbAddr>(page * P + 3), &value, 1, table, 1);
  }

  std::vector<std::uint8_t> file;
  TCacheMgr cache;
  int reads = 0, writes = 0;
  std::map<TUdbAddr, std::vector<std::uint8_t>> spilled;
};

}  // namespace

TEST(TCacheMgrOpen, NeedsBothCallbacks) {
  TCacheMgr cache;
  EXPECT_UDB_ERROR(cache.Open(4, P), 10065);
  cache.OnReadPage = [](TCachePage&) {};
  TCaughtError e = CatchUdb([&] { cache.Open(4, P); });
  EXPECT_EQ(e.code, 10065);
  EXPECT_NE(e.message.find("WriteIO"), std::string::npos);
}

TEST_F(CacheFixture, HitNeedsTheSameTableAndMode) {
  EXPECT_EQ(ReadByte(2), 2);
  EXPECT_EQ(ReadByte(2), 2);
  EXPECT_EQ(cache.Hits(), 1);
  EXPECT_EQ(reads, 1);
  ReadByte(2, 7);
  ReadByte(2, 7, 3);
  EXPECT_EQ(reads, 3);
  EXPECT_EQ(cache.Misses(), 3);
}

TEST_F(CacheFixture, LeastRecentlyUsedCleanPageIsEvicted) {
  for (int page : {0, 1, 2, 3}) ReadByte(page);
  ReadByte(0);  // page 1 is now the oldest
  ReadByte(4);
  EXPECT_EQ(cache.FindPage(1 * P), nullptr);
  EXPECT_NE(cache.FindPage(0), nullptr);
  EXPECT_EQ(cache.PageCount(), 4);
}

TEST_F(CacheFixture, ReadsAndWritesSpanPages) {
  std::vector<std::uint8_t> data(P + 20, 0xCC);
  cache.Write(P - 10, data.data(), static_cast<int>(data.size()), 1, 1);
  EXPECT_EQ(file[P - 11], 0);
  EXPECT_EQ(file[P - 10], 0xCC);
  EXPECT_EQ(file[2 * P + 9], 0xCC);
  EXPECT_EQ(file[2 * P + 10], 2);
  std::vector<std::uint8_t> back(P + 40);
  cache.Read(P - 20, back.data(), static_cast<int>(back.size()), 1, 1);
  EXPECT_EQ(back[9], 0);
  EXPECT_EQ(back[10], 0xCC);
  EXPECT_EQ(back[P + 30], 2);
}

TEST_F(CacheFixture, PartialWriteReadsThePageFirstAndWholePageWriteDoesNot) {
  WriteByte(5, 0xAA);
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(file[5 * P], 5);  // the rest of the page kept
  std::vector<std::uint8_t> whole(P, 0xBB);
  cache.Write(6 * P, whole.data(), P, 1, 1);
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(writes, 2);
  EXPECT_EQ(file[6 * P + 100], 0xBB);
}

TEST_F(CacheFixture, TransactionHoldsDirtyPagesAndEvictsCleanOnes) {
  cache.StartTransaction();
  WriteByte(0, 0xD0);
  WriteByte(1, 0xD1);
  for (int page = 10; page < 30; ++page) ReadByte(page);  // clean pages come and go
  EXPECT_EQ(cache.PageCount(), 4);
  EXPECT_EQ(cache.DirtyCount(), 2);
  EXPECT_EQ(file[3], 0);
  cache.Commit();
  EXPECT_EQ(file[3], 0xD0);
  EXPECT_EQ(file[P + 3], 0xD1);
  EXPECT_UDB_ERROR(cache.Commit(), 10257);
}

TEST_F(CacheFixture, CacheGrowsOnlyWhenEveryPageIsDirtyAndIsTrimmedAfterCommit) {
  cache.StartTransaction();
  for (int page = 0; page < 8; ++page) WriteByte(page, 0xEE);
  EXPECT_EQ(cache.PageCount(), 8);
  EXPECT_EQ(cache.DirtyCount(), 8);
  cache.Commit();
  EXPECT_EQ(cache.PageCount(), 4);
  for (int page = 0; page < 8; ++page) EXPECT_EQ(file[page * P + 3], 0xEE);
}

TEST_F(CacheFixture, TrimLeavesACacheLessThanThreePagesOver) {
  cache.StartTransaction();
  for (int page = 0; page < 6; ++page) WriteByte(page, 1);
  cache.Commit();
  EXPECT_EQ(cache.PageCount(), 6);
}

TEST_F(CacheFixture, RollbackEmptiesDirtyPages) {
  ReadByte(0);
  cache.StartTransaction();
  WriteByte(0, 0x99);
  EXPECT_EQ(ReadByte(0), 0x99);
  cache.Rollback();
  EXPECT_EQ(cache.DirtyCount(), 0);
  EXPECT_EQ(ReadByte(0), 0);
  EXPECT_EQ(file[3], 0);
  EXPECT_UDB_ERROR(cache.Rollback(), 10257);
}

TEST_F(CacheFixture, DirtyPageLeavingTheCacheIsSpilledNotLost) {
  cache.StartTransaction();
  WriteByte(3, 0x33, 4);
  ReadByte(3, 5);  // another table reads the address: reload in place
  ASSERT_EQ(spilled.count(3 * P), 1u);
  EXPECT_EQ(spilled[3 * P][3], 0x33);
  WriteByte(4, 0x44, 4);
  cache.InvalidateTable(4);
  EXPECT_EQ(spilled[4 * P][3], 0x44);
  EXPECT_EQ(cache.FindPage(4 * P), nullptr);
}

TEST_F(CacheFixture, FailedLoadLeavesNoPageBehind) {
  cache.OnReadPage = [](TCachePage&) { UdbDatabaseError(9217, "test", "read failed"); };
  EXPECT_UDB_ERROR(ReadByte(9), 9217);
  EXPECT_EQ(cache.FindPage(9 * P), nullptr);
}
