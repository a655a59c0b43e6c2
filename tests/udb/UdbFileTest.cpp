// The page file: opening rules, cache capacity, page ciphers on the way to
// the file, raw I/O beside the cache, held pages inside a transaction.
#include <gtest/gtest.h>

#include <cstring>

#include "UdbTestSupport.h"
#include "Udb/DBLogger.h"
#include "Udb/EngineKeys.h"
#include "Udb/UdbFile.h"

namespace {

constexpr int P = 4096;

class UdbFileFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.Bytes("f.udb").assign(8 * P, 0);
    file.SetFileSystem(&fs);
    file.SetXORKeyBuf(kXorKeyBuffer.data(), 71);
    file.SetBlowfishKey("page key", 8);
    file.OpenUdbFile("f.udb");
    file.SetCacheEnabled(true);
  }
  std::vector<std::uint8_t>& Bytes() { return fs.Bytes("f.udb"); }

  TMemFileSystem fs;
  TUdbFile file;
};

}  // namespace

TEST(TUdbFileCapacity, QuarterOfTheFilesPagesBetween50And1000) {
  struct Case {
    std::int64_t pages;
    int capacity;
  };
  const Case cases[] = {{6, 50}, {100, 50}, {207, 51}, {4000, 1000}, {10000, 1000}};
  for (const Case& c : cases) EXPECT_EQ(UdbCacheCapacityFor(c.pages * P + 100, P), c.capacity) << c.pages;
}

TEST(TUdbFileOpen, NeedsPageSizeAndXorKeyAndAnExistingFile) {
  TMemFileSystem fs;
  fs.Bytes("x.udb").assign(6 * P, 0);
  TUdbFile file;
  file.SetFileSystem(&fs);
  EXPECT_UDB_ERROR(file.OpenUdbFile("x.udb"), 8581);  // no XOR key
  file.SetXORKeyBuf("k", 1);
  file.SetPageSize(0);
  EXPECT_UDB_ERROR(file.OpenUdbFile("x.udb"), 8581);
  file.SetPageSize(P);
  TCaughtError e = CatchUdb([&] { file.OpenUdbFile("y.udb"); });
  EXPECT_EQ(e.code, 8449);
  EXPECT_NE(e.message.find("Unable to open file. Error type of: "), std::string::npos);
  file.OpenUdbFile("x.udb");
  EXPECT_EQ(file.Cache().Capacity(), 50);
  EXPECT_UDB_ERROR(file.SetXORKeyBuf("k", 1), 8581);
}

TEST(TUdbFileOpen, BlowfishKeyOfZeroOrMoreThan56BytesIsRefused) {
  TUdbFile file;
  std::string key(57, 'x');
  EXPECT_UDB_ERROR(file.SetBlowfishKey(key.data(), 57), 8581);
  EXPECT_UDB_ERROR(file.SetBlowfishKey(key.data(), 0), 8581);
  EXPECT_FALSE(file.BlowfishKeySet());
  file.SetBlowfishKey(key.data(), 56);
  EXPECT_TRUE(file.BlowfishKeySet());
}

TEST_F(UdbFileFixture, PartialPageWriteReadsThePageFirst) {
  Bytes()[3 * P + 5] = 0x42;
  int before = fs.Reads();
  std::vector<std::uint8_t> data(100, 0x11);
  file.WritePageIO(data.data(), 3 * P + 10, 1, 2, 100);
  EXPECT_EQ(fs.Reads(), before + 1);
  EXPECT_EQ(Bytes()[3 * P + 5], 0x42);
  EXPECT_EQ(Bytes()[3 * P + 10], 0x11);
  std::vector<std::uint8_t> page(P, 0x22);
  before = fs.Reads();
  file.WritePageIO(page.data(), 4 * P, 1, 2, P);
  EXPECT_EQ(fs.Reads(), before);
}

TEST_F(UdbFileFixture, IdenticalPlainPagesGiveIdenticalCipherPages) {
  std::vector<std::uint8_t> page(2 * P, 0x5C);
  file.WritePageIO(page.data(), 2 * P, 5, 9, 2 * P);
  auto& bytes = Bytes();
  EXPECT_TRUE(std::equal(bytes.begin() + 2 * P, bytes.begin() + 3 * P, bytes.begin() + 3 * P));
  EXPECT_NE(bytes[2 * P], 0x5C);
  file.WritePageIO(page.data(), 4 * P, 3, 9, 2 * P);
  EXPECT_TRUE(std::equal(bytes.begin() + 4 * P, bytes.begin() + 5 * P, bytes.begin() + 5 * P));
}

TEST_F(UdbFileFixture, XorPagesOfDifferentTablesDiffer) {
  std::vector<std::uint8_t> page(P, 0);
  file.WritePageIO(page.data(), 2 * P, 3, 1, P);
  file.WritePageIO(page.data(), 3 * P, 3, 4, P);
  auto& bytes = Bytes();
  EXPECT_EQ(bytes[2 * P + 1], static_cast<std::uint8_t>(kXorKeyBuffer[1]));
  EXPECT_EQ(bytes[3 * P + 1], static_cast<std::uint8_t>(kXorKeyBuffer[5]));
}

TEST_F(UdbFileFixture, RawWriteReplacesTheCachedCopy) {
  std::uint8_t b = 0;
  file.ReadPageIO(&b, 2 * P, 1, 1, 1);
  std::uint8_t v = 0x77;
  file.WriteRaw(&v, 2 * P, 1);
  file.ReadPageIO(&b, 2 * P, 1, 1, 1);
  EXPECT_EQ(b, 0x77);
}

TEST_F(UdbFileFixture, TableIdAbove2048IsLoggedAndServed) {
  int lines = UdbLogger().LineCount();
  std::uint8_t b;
  file.ReadPageIO(&b, 2 * P, 1, 3000, 1);
  auto log = UdbLogger().Lines();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find("Invalid table id"), std::string::npos);
  EXPECT_NE(log.back().find("UdbFile"), std::string::npos);
  EXPECT_GE(UdbLogger().LineCount(), std::min(lines + 1, UdbLogger().MaxLines()));
}

TEST_F(UdbFileFixture, TransactionStateErrors) {
  EXPECT_UDB_ERROR(file.Commit(), 10257);
  EXPECT_UDB_ERROR(file.Rollback(), 10257);
  file.StartTransaction();
  EXPECT_UDB_ERROR(file.StartTransaction(), 10256);
  file.Rollback();
}

TEST_F(UdbFileFixture, AppendInsideATransactionGrowsOnlyAtCommit) {
  file.StartTransaction();
  std::vector<std::uint8_t> page(P, 0x61);
  TUdbAddr a = file.SeekAndAppendUdbFile(page.data(), P, 5, 3);
  TUdbAddr b = file.SeekAndAppendUdbFile(page.data(), P, 0, 0);
  EXPECT_EQ(a, 8u * P);
  EXPECT_EQ(b, 9u * P);
  EXPECT_EQ(file.FileSize(), 10 * P);
  EXPECT_EQ(Bytes().size(), 8u * P);
  file.Commit();
  EXPECT_EQ(Bytes().size(), 10u * P);
  EXPECT_EQ(Bytes()[9 * P + 7], 0x61);
  EXPECT_NE(Bytes()[8 * P + 7], 0x61);  // enciphered
}

TEST_F(UdbFileFixture, ZeroPageAfterACachedWriteWinsAndACachedWriteAfterItWins) {
  std::vector<std::uint8_t> page(P, 0x10);
  file.StartTransaction();
  file.WritePageIO(page.data(), 2 * P, 5, 3, P);
  file.WriteZeroPage(2 * P);
  page.assign(P, 0x20);
  file.WritePageIO(page.data(), 3 * P, 5, 3, P);
  file.WriteZeroPage(3 * P);
  page.assign(P, 0x30);
  file.WritePageIO(page.data(), 3 * P, 5, 4, P);
  file.Commit();
  EXPECT_EQ(Bytes()[2 * P + 100], 0);
  std::vector<std::uint8_t> back(P);
  file.ReadPageIO(back.data(), 3 * P, 5, 4, P);
  EXPECT_EQ(back, std::vector<std::uint8_t>(P, 0x30));
}

// A savepoint puts back each page written since it began as it was
// pending then - a dirty cache page, a held raw image, or nothing (the
// file's bytes) - and the file's end; what is written before it and what
// a released savepoint kept reach the file at commit.
TEST_F(UdbFileFixture, ASavepointPutsBackEveryPageWrittenSinceItBegan) {
  Bytes()[4 * P + 3] = 0x77;  // page 4: in the file only
  for (bool rollBack : {true, false}) {
    SCOPED_TRACE(rollBack ? "rolled back to the savepoint" : "savepoint released");
    fs.Bytes("f.udb").resize(8 * P);
    file.StartTransaction();
    std::vector<std::uint8_t> dirty(P, 0x21), raw(300, 0x32), changed(P, 0x5A);
    file.WritePageIO(dirty.data(), 2 * P, 5, 3, P);  // page 2: a dirty Blowfish page
    file.WriteRaw(raw.data(), 3 * P + 100, 300);      // page 3: a held image
    EXPECT_UDB_ERROR(file.RollbackToSavepoint(), 10257);
    file.BeginSavepoint();
    EXPECT_UDB_ERROR(file.BeginSavepoint(), 10256);
    file.WritePageIO(changed.data(), 2 * P, 5, 3, P);
    file.WriteRaw(changed.data(), 3 * P + 50, 1000);
    file.WritePageIO(changed.data(), 4 * P, 1, 3, 200);
    file.WriteZeroPage(2 * P);
    file.WritePageIO(changed.data(), 2 * P, 5, 4, P);  // another table's page now
    const TUdbAddr appended = file.SeekAndAppendUdbFile(changed.data(), P, 1, 3);
    EXPECT_EQ(appended, 8u * P);
    if (rollBack)
      file.RollbackToSavepoint();
    else
      file.ReleaseSavepoint();
    EXPECT_FALSE(file.InSavepoint());
    std::vector<std::uint8_t> back(P);
    file.ReadPageIO(back.data(), 2 * P, 5, rollBack ? 3 : 4, P);
    EXPECT_EQ(back, rollBack ? dirty : changed);
    file.ReadRaw(back.data(), 3 * P, P);
    EXPECT_EQ(back[49], 0);
    EXPECT_EQ(back[99], rollBack ? 0 : 0x5A);
    EXPECT_EQ(back[100], rollBack ? 0x32 : 0x5A);
    EXPECT_EQ(back[1049], rollBack ? 0 : 0x5A);
    file.ReadPageIO(back.data(), 4 * P, 1, 3, P);
    EXPECT_EQ(back[3], rollBack ? 0x77 : 0x5A);
    EXPECT_EQ(file.FileSize(), rollBack ? 8 * P : 9 * P);
    file.Commit();
    EXPECT_EQ(Bytes().size(), rollBack ? 8u * P : 9u * P);
    EXPECT_EQ(Bytes()[3 * P + 100], rollBack ? 0x32 : 0x5A);
    EXPECT_EQ(Bytes()[4 * P + 3], rollBack ? 0x77 : 0x5A);
    file.ReadPageIO(back.data(), 2 * P, 5, rollBack ? 3 : 4, P);
    EXPECT_EQ(back, rollBack ? dirty : changed);
    Bytes()[4 * P + 3] = 0x77;
  }
}

// Nothing spills while a savepoint is open (its pages may still go back);
// the release spills what is due.
TEST_F(UdbFileFixture, PagesSpillOnlyOnceTheSavepointIsReleased) {
  file.SetJournalFileName("f.jnl");
  file.SetSpillLimit(2);
  file.StartTransaction();
  file.BeginSavepoint();
  std::vector<std::uint8_t> page(P, 0x66);
  for (int i = 0; i < 5; ++i) file.WritePageIO(page.data(), static_cast<TUdbAddr>(i + 1) * P, 1, 3, P);
  EXPECT_EQ(file.Spills(), 0);
  EXPECT_EQ(Bytes()[1 * P], 0);
  file.ReleaseSavepoint();
  EXPECT_EQ(file.Spills(), 1);
  EXPECT_EQ(Bytes()[1 * P], 0x66);
  file.Rollback();  // the journal puts the spilled pages back
  EXPECT_EQ(Bytes()[1 * P], 0);
}

TEST_F(UdbFileFixture, RawReadInsideATransactionSeesDirtyCachedPages) {
  std::vector<std::uint8_t> page(P, 0x44);
  file.StartTransaction();
  file.WritePageIO(page.data(), 2 * P, 1, 3, P);
  std::uint8_t b = 0;
  file.ReadRaw(&b, 2 * P + 9, 1);
  EXPECT_EQ(b, 0x44);
  file.Rollback();
  file.ReadPageIO(&b, 2 * P + 9, 1, 3, 1);
  EXPECT_EQ(b, 0);
}

TEST_F(UdbFileFixture, CopyIsByteEqual) {
  Bytes()[5] = 9;
  file.CopyUdbFile("c.udb");
  EXPECT_EQ(fs.Bytes("c.udb"), Bytes());
}

TEST_F(UdbFileFixture, NewBlowfishKeyDropsPagesDecipheredWithTheOldOne) {
  std::vector<std::uint8_t> page(P, 0x3E), back(P);
  file.WritePageIO(page.data(), 2 * P, 5, 3, P);
  file.SetBlowfishKey("other key", 9);
  file.ReadPageIO(back.data(), 2 * P, 5, 3, P);
  EXPECT_NE(back, page);  // the file's bytes seen through the new key
  file.SetBlowfishKey("page key", 8);
  file.ReadPageIO(back.data(), 2 * P, 5, 3, P);
  EXPECT_EQ(back, page);
  file.StartTransaction();
  EXPECT_UDB_ERROR(file.SetBlowfishKey("third key", 9), 8577);
  file.Rollback();
}

// A rolled-back transaction forgets every cached page of the tables it
// wrote, so a change another connection commits next is read from the file
// even when the table header's counter comes back to the same value.
TEST_F(UdbFileFixture, RollbackDropsTheCachedPagesOfTheTablesItWrote) {
  std::vector<std::uint8_t> page(P, 0x11), back(P);
  file.WritePageIO(page.data(), 1 * P, kPageIOCached, 3, P);
  file.WritePageIO(page.data(), 2 * P, kPageIOCached, 4, P);
  file.ReadPageIO(back.data(), 1 * P, kPageIOCached, 3, P);
  file.ReadPageIO(back.data(), 2 * P, kPageIOCached, 4, P);
  file.StartTransaction();
  file.WritePageIO(page.data(), 3 * P, kPageIOCached, 3, P);
  file.Rollback();
  EXPECT_EQ(file.Cache().FindPage(1 * P), nullptr);  // table 3: written, dropped
  EXPECT_NE(file.Cache().FindPage(2 * P), nullptr);  // table 4: untouched, kept
  std::memset(Bytes().data() + P, 0x22, P);          // another connection's commit
  file.ReadPageIO(back.data(), 1 * P, kPageIOCached, 3, P);
  EXPECT_EQ(back, std::vector<std::uint8_t>(P, 0x22));
}

// --- pages read in runs -------------------------------------------------------

namespace {
// A file of 40 pages, each filled with its own number.
class RunFixture : public UdbFileFixture {
 protected:
  void SetUp() override {
    UdbFileFixture::SetUp();
    file.Close();
    Bytes().assign(40 * P, 0);
    for (size_t i = 0; i < Bytes().size(); ++i) Bytes()[i] = static_cast<std::uint8_t>(i / P);
    file.OpenUdbFile("f.udb");
    file.SetCacheEnabled(true);
  }
  std::uint8_t PageByte(int page) {
    std::uint8_t b = 0xEE;
    file.ReadPageIO(&b, static_cast<TUdbAddr>(page) * P + 7, kPageIOCached, 1, 1);
    return b;
  }
};
}  // namespace

TEST_F(RunFixture, WalkInFileOrderReadsRunsOfPages) {
  for (int page = 0; page < 40; ++page) ASSERT_EQ(PageByte(page), page);
  // The first miss reads one page; from the second on, runs of eight.
  EXPECT_EQ(file.RunReads(), 5);
  EXPECT_EQ(file.RunHits(), 34);
  EXPECT_UDB_ERROR(PageByte(40), 9217);  // past the end: no run hides it
}

TEST_F(RunFixture, ScatteredReadsReadOnePageEach) {
  for (int page : {30, 2, 17, 9, 25}) ASSERT_EQ(PageByte(page), page);
  EXPECT_EQ(file.RunReads(), 0);
}

// What another connection wrote between two locks, or this connection
// wrote itself, is read from the file, not from the run.
TEST_F(RunFixture, RunIsForgottenAtLocksAndWrites) {
  PageByte(0);
  PageByte(1);  // pages 1..8 are in the run
  Bytes()[3 * P + 7] = 0x33;  // another connection
  file.ForgetRun();            // what every table lock and unlock does
  EXPECT_EQ(PageByte(3), 0x33);
  std::vector<std::uint8_t> page(P, 0x55);
  PageByte(4);  // pages 4.. in a run again
  file.WriteRaw(page.data(), 6 * P, P);
  EXPECT_EQ(PageByte(6), 0x55);
}
