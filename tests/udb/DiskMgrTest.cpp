// The database file as TDiskMgr builds and keeps it: the new file's bytes,
// the security header and master key, header checks, space through the
// allocation map, page-level transactions and their faults, crashes.
#include <gtest/gtest.h>

#include <cstring>

#include "UdbTestSupport.h"
#include "Udb/Blowfish.h"
#include "Udb/Crc32.h"
#include "Udb/DBLogger.h"
#include "Udb/EngineKeys.h"
#include "Udb/Sha1Stream.h"
#include "Udb/XorCipher.h"

using namespace udbfmt;

using namespace udbtest;

// --- the new file -------------------------------------------------------------

TEST(TDiskMgr, NewFileIsSixPagesWithGlobalHeaderAndMapPageZero) {
  TMemDatabase db("new.udb", false);
  auto& bytes = db.Bytes();
  ASSERT_EQ(bytes.size(), 6u * P);
  EXPECT_EQ(db.U32(kGlobalHeaderOffset + kItemFreeMapPageHint), 5u * P);
  EXPECT_EQ(db.U32(kGlobalHeaderOffset + kItemFirstMapPage), 5u * P);
  EXPECT_EQ(db.U32(kGlobalHeaderOffset + kItemMapPageCount), 1u);
  // Everything else of page 0 to 4 is zero.
  for (std::size_t i = 0; i < 5u * P; ++i) {
    if (i >= kGlobalHeaderOffset + 16 && i < kGlobalHeaderOffset + 28) continue;
    ASSERT_EQ(bytes[i], 0) << "offset " << i;
  }
  EXPECT_EQ(db.U32(kMap0 + kMapPageNumber), 0u);
  EXPECT_EQ(db.U32(kMap0 + kMapNextPage), 0u);
  EXPECT_EQ(db.U16(kMap0 + kMapFreeHead), 0u);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(db.U16(EntryAt(k)), 1u);
  EXPECT_EQ(db.U16(EntryAt(5)), 2u);
  for (std::size_t i = EntryAt(6); i < 6u * P; ++i) ASSERT_EQ(bytes[i], 0) << "offset " << i;
}

TEST(TDiskMgr, PageSizesThatCannotBeDatabasePagesAreRefused) {
  for (int size : {0, 100, 127, 3000}) {
    TMemFileSystem fs;
    TDiskMgr disk;
    disk.SetFileSystem(&fs);
    disk.SetFileName("p.udb");
    disk.SetPageSize(size);
    TCaughtError e = CatchUdb([&] { disk.CreateNewFile(false); });
    EXPECT_EQ(e.code, 8581) << size;
    EXPECT_NE(e.message.find("Invalid database page size"), std::string::npos) << e.message;
    EXPECT_FALSE(fs.Exists("p.udb"));
  }
}

TEST(TDiskMgr, CreatingOverAnExistingFileNeedsOverwrite) {
  TMemDatabase db("over.udb", false);
  db.Bytes().resize(20 * P, 0x55);
  EXPECT_UDB_ERROR(db.disk->CreateNewFile(false), 11043);
  EXPECT_EQ(db.Bytes().size(), 20u * P);
  db.disk->CreateNewFile(true);
  EXPECT_EQ(db.Bytes().size(), 6u * P);
  EXPECT_EQ(db.U16(EntryAt(5)), 2u);
}

TEST(TDiskMgr, OpeningAMissingFileRaises11010WithItsName) {
  TMemFileSystem fs;
  TDiskMgr disk;
  disk.SetFileSystem(&fs);
  disk.SetFileName("gone.udb");
  TCaughtError e = CatchUdb([&] { disk.Open(); });
  EXPECT_EQ(e.code, 11010);
  EXPECT_NE(e.message.find("gone.udb"), std::string::npos);
  disk.SetPageSize(0);
  EXPECT_UDB_ERROR(disk.Open(), 8581);
}

TEST(TDiskMgr, FileThatIsNoDatabaseIsRefusedWithoutWriting) {
  TMemFileSystem fs;
  fs.Bytes("short.udb").assign(3 * P, 0);
  fs.Bytes("ragged.udb").assign(6 * P + 100, 0);
  for (const char* name : {"short.udb", "ragged.udb"}) {
    auto before = fs.Bytes(name);
    TDiskMgr disk;
    disk.SetFileSystem(&fs);
    disk.SetFileName(name);
    EXPECT_UDB_ERROR(disk.Open(), 8451);
    EXPECT_EQ(fs.Bytes(name), before);
    EXPECT_FALSE(disk.IsOpen());
  }
}

TEST(TDiskMgr, HeaderItemsOutOfRangeAreCorruptionAndNothingIsWritten) {
  struct Case {
    int item;
    std::uint32_t value;
  };
  const Case cases[] = {{kItemFirstMapPage, 0},        {kItemFirstMapPage, 5 * P + 8},
                        {kItemFirstMapPage, 600 * P},  {kItemMapPageCount, 0},
                        {kItemMapPageCount, 1000},     {kItemFreeMapPageHint, 77}};
  for (const Case& c : cases) {
    TMemDatabase db("bad.udb", false);
    PutU32(db.Bytes().data() + kGlobalHeaderOffset + c.item, c.value);
    auto before = db.Bytes();
    EXPECT_UDB_ERROR(db.disk->Open(), 8451);
    EXPECT_EQ(db.Bytes(), before) << c.item;
  }
}

// --- master key and security header ---------------------------------------------

TEST(TDiskMgr, SecurityHeaderHoldsSizeVersionsDigestAndCrc) {
  TMemDatabase db;
  db.disk->SetMasterKey("payroll-key");
  db.disk->WriteSecurityHeader();
  const std::uint8_t* h = db.Bytes().data() + kSecurityHeaderOffset;
  EXPECT_EQ(GetU32(h + kSecSizeField), 40u);
  double stamp;
  std::memcpy(&stamp, h + kSecTimeStamp, 8);
  EXPECT_GT(stamp, 40000.0);  // a date after 2009
  EXPECT_EQ(GetU16(h + kSecVersion1), 1);
  EXPECT_EQ(GetU16(h + kSecVersion2), 1);
  TSha1Digest digest;
  Sha1OfString("payroll-key", digest);
  std::uint8_t expected[20];
  Sha1DigestToBytes(digest, expected);
  EXPECT_EQ(std::memcmp(h + kSecDigest, expected, 20), 0);
  std::uint8_t copy[40];
  std::memcpy(copy, h, 40);
  PutU32(copy + kSecCrc, 0);
  EXPECT_EQ(GetU32(h + kSecCrc), Crc32(copy, 40));
  db.disk->VerifySecurityHeader();
}

TEST(TDiskMgr, WrongMasterKeyIsRefusedBeforeAnyWrite) {
  TMemDatabase db;
  db.disk->SetMasterKey("right key");
  db.disk->WriteSecurityHeader();
  db.Reopen();
  db.disk->SetMasterKey("wrong key");
  auto before = db.Bytes();
  TCaughtError e = CatchUdb([&] { db.disk->VerifySecurityHeader(); });
  EXPECT_EQ(e.code, 8451);
  EXPECT_NE(e.message.find("The MasterKey is incorrect"), std::string::npos);
  EXPECT_EQ(db.Bytes(), before);
  db.disk->SetMasterKey("right key");
  db.disk->VerifySecurityHeader();
}

TEST(TDiskMgr, AnyChangedByteOfTheSecurityHeaderFailsItsCrc) {
  for (int offset : {0, 5, 12, 15, 20, 35, 36, 39}) {
    TMemDatabase db;
    db.disk->SetMasterKey("k1234");
    db.disk->WriteSecurityHeader();
    db.Bytes()[kSecurityHeaderOffset + offset] ^= 0x01;
    TCaughtError e = CatchUdb([&] { db.disk->VerifySecurityHeader(); });
    EXPECT_EQ(e.code, 8451) << offset;
    EXPECT_NE(e.message.find("The Security Header CRC is incorrect"), std::string::npos) << offset;
  }
}

TEST(TDiskMgr, EmptyMasterKeyMeansTheBuiltInDefault) {
  TMemDatabase db;
  db.disk->SetMasterKey("");
  EXPECT_EQ(db.disk->MasterKey(), AnsiString(kDefaultMasterKey));
  db.disk->WriteSecurityHeader();
  db.Reopen();
  db.disk->SetMasterKey(AnsiString(kDefaultMasterKey));
  db.disk->VerifySecurityHeader();
}

TEST(TDiskMgr, MasterKeyLongerThanBlowfishAcceptsIsRefusedAndChangesNothing) {
  TMemDatabase db;
  db.disk->SetMasterKey("first key");
  auto page = Pages(1, 0x11);
  TUdbAddr a = db.disk->AllocatePages(3, 5, page.data(), 1, 4);
  TCaughtError e = CatchUdb([&] { db.disk->SetMasterKey(AnsiString(57, 'k')); });
  EXPECT_EQ(e.code, 9602);
  EXPECT_NE(e.message.find("56"), std::string::npos);
  EXPECT_EQ(db.disk->MasterKey(), "first key");
  std::vector<std::uint8_t> back(P);
  db.disk->ReadPages(a, 1, back.data(), 5, 3);
  EXPECT_EQ(back, page);
  db.disk->SetMasterKey(AnsiString(56, 'k'));  // the longest accepted key
}

TEST(TDiskMgr, EncipheredPageReadWithoutKeyIsRefused) {
  TMemDatabase db("nokey.udb", false);
  TDiskMgr disk;
  disk.SetFileSystem(&db.fs);
  disk.SetFileName("nokey.udb");
  disk.Open();
  std::vector<std::uint8_t> buffer(P);
  EXPECT_UDB_ERROR(disk.ReadPages(Page(1), 1, buffer.data(), 5, 3), 8581);
}

// --- names and sizes --------------------------------------------------------------

TEST(TDiskMgr, LockFileNameFollowsTheDatabaseName) {
  struct Case {
    const char* db;
    const char* lock;
  };
  const Case cases[] = {{"GZ.udb", "GZ.lck"},
                        {"/srv/pay/GZ.udb", "/srv/pay/GZ.lck"},
                        {"data.db", "data_db.lck"},
                        {"/srv/v1.2/data.db", "/srv/v1.2/data_db.lck"},
                        {"plain", "plain.lck"},
                        {"工资.UDB", "工资.lck"}};
  for (const Case& c : cases) EXPECT_EQ(LockFileNameFor(c.db), c.lock) << c.db;
}

TEST(TDiskMgr, BestPageRequestSizeMinimisesTheUnusedTail) {
  struct Case {
    int block, expected;
  };
  const Case cases[] = {{100, 4096}, {3000, 12288}, {5000, 45056}, {4096, 4096}, {256, 4096}, {1024, 4096}};
  for (const Case& c : cases) EXPECT_EQ(GetBestPageRequestSize(c.block, 4096), c.expected) << c.block;
}

// --- space ------------------------------------------------------------------------

TEST(TDiskMgr, PagesAreAppendedThenReusedAfterFreeing) {
  TMemDatabase db;
  auto data = Pages(2, 0xAB);
  TUdbAddr a = db.disk->AllocatePages(7, 1, data.data(), 2, 3);
  EXPECT_EQ(a, Page(6));
  EXPECT_EQ(db.Bytes().size(), 8u * P);
  EXPECT_EQ(db.U16(EntryAt(6)), 7 * 16 + 3);
  EXPECT_EQ(db.U16(EntryAt(7)), 7 * 16 + 3);
  db.disk->FreePages(a, 2);
  EXPECT_EQ(db.U16(kMap0 + kMapFreeHead), EntryAt(6) - kMap0);
  EXPECT_EQ(db.Bytes()[Page(6) + 10], 0);  // freed pages are zeroed
  TUdbAddr b = db.disk->AllocatePages(8, 1, data.data(), 2, 1);
  EXPECT_EQ(b, a);
  EXPECT_EQ(db.Bytes().size(), 8u * P);
  EXPECT_EQ(db.U16(EntryAt(6)), 8 * 16 + 1);
  EXPECT_EQ(db.U16(kMap0 + kMapFreeHead), 0);
  EXPECT_EQ(db.U32(kGlobalHeaderOffset + kItemFreeMapPageHint), 0u);
}

TEST(TDiskMgr, FreeingTableOwnsOnlyItsPagesAndTableZeroIsRefused) {
  TMemDatabase db;
  TUdbAddr a = db.disk->AllocatePages(3, 1, Pages(1, 1).data(), 1, 4);
  TUdbAddr b = db.disk->AllocatePages(3, 1, Pages(1, 2).data(), 1, 5);
  TUdbAddr c = db.disk->AllocatePages(4, 1, Pages(1, 3).data(), 1, 4);
  db.disk->FreeTablePages(3, 4, true);
  EXPECT_EQ(db.U16(EntryAt(a / P)) & 0x8000, 0x8000);
  EXPECT_EQ(db.U16(EntryAt(b / P)), 3 * 16 + 5);
  db.disk->FreeTablePages(3, 0, false);
  EXPECT_EQ(db.U16(EntryAt(b / P)) & 0x8000, 0x8000);
  EXPECT_EQ(db.U16(EntryAt(c / P)), 4 * 16 + 4);
  EXPECT_EQ(db.Bytes()[b + 5], 0);
  auto before = db.Bytes();
  EXPECT_UDB_ERROR(db.disk->FreeTablePages(0, 0, false), 8581);
  EXPECT_UDB_ERROR(db.disk->FreeTablePages(0, 2, true), 8581);
  EXPECT_UDB_ERROR(db.disk->FreePages(0, 1), 8581);
  EXPECT_UDB_ERROR(db.disk->FreePages(Page(5), 1), 8581);
  EXPECT_UDB_ERROR(db.disk->FreePages(Page(9), 1), 8581);  // past the end of the file
  EXPECT_EQ(db.Bytes(), before);
}

TEST(TDiskMgr, OwnerValuesThatWouldLookFreeAreRefused) {
  TMemDatabase db;
  EXPECT_UDB_ERROR(db.disk->AllocatePages(2048, 1, nullptr, 1, 1), 8581);
  EXPECT_UDB_ERROR(db.disk->AllocatePages(1, 1, nullptr, 1, 16), 8581);
  EXPECT_UDB_ERROR(db.disk->AllocatePages(0, 1, nullptr, 1, 0), 8581);
}

TEST(TDiskMgr, FixedBlocksAreListedRequestByRequest) {
  TMemDatabase db;
  TUdbAddr r1 = db.disk->AllocatePages(6, 1, nullptr, 3, 7);  // one 12288-byte request
  db.disk->AllocatePages(6, 1, nullptr, 1, 8);                  // other usage
  TUdbAddr r2 = db.disk->AllocatePages(6, 1, nullptr, 3, 7);
  std::vector<TUdbAddr> blocks;
  db.disk->ListAllocatedFixedBlocks(3000, 6, blocks, 7);
  std::vector<TUdbAddr> expected;
  for (TUdbAddr r : {r1, r2})
    for (int k = 0; k < 4; ++k) expected.push_back(r + k * 3000);
  EXPECT_EQ(blocks, expected);
  EXPECT_UDB_ERROR(db.disk->ListAllocatedFixedBlocks(0, 6, blocks, 7), 8581);
}

// --- I/O and ciphers ----------------------------------------------------------------

TEST(TDiskMgr, PagesAreStoredEnciphered) {
  TMemDatabase db;
  db.disk->SetMasterKey("cipher key");
  std::vector<std::uint8_t> plain(P);
  for (int i = 0; i < P; ++i) plain[i] = static_cast<std::uint8_t>(i * 7);
  TUdbAddr x = db.disk->AllocatePages(12, 3, plain.data(), 1, 1);
  TUdbAddr b = db.disk->AllocatePages(12, 5, plain.data(), 1, 1);
  TUdbAddr raw = db.disk->AllocatePages(12, 1, plain.data(), 1, 1);
  std::vector<std::uint8_t> expectXor(P), expectBf(P);
  XorCipher(plain.data(), expectXor.data(), kXorKeyBuffer.data(), 12, 71, P);
  TBlowfishContext ctx;
  BlowfishInit(ctx, "cipher key", 80, nullptr);
  CfbEncrypt(ctx, plain.data(), expectBf.data(), P);
  auto& bytes = db.Bytes();
  EXPECT_TRUE(std::equal(expectXor.begin(), expectXor.end(), bytes.begin() + x));
  EXPECT_TRUE(std::equal(expectBf.begin(), expectBf.end(), bytes.begin() + b));
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), bytes.begin() + raw));
  db.Reopen();
  db.disk->SetMasterKey("cipher key");
  std::vector<std::uint8_t> back(P);
  db.disk->ReadPages(b, 1, back.data(), 5, 12);
  EXPECT_EQ(back, plain);
  db.disk->ReadData(x + 100, 50, back.data(), 3, 12);
  EXPECT_EQ(std::memcmp(back.data(), plain.data() + 100, 50), 0);
}

TEST(TDiskMgr, ReadOnlyConnectionRefusesWrites) {
  TMemDatabase db("ro.udb", false);
  TDiskMgr disk;
  disk.SetFileSystem(&db.fs);
  disk.SetFileName("ro.udb");
  disk.SetMode(0 + 64);
  disk.Open();
  EXPECT_TRUE(disk.ReadOnlyMode());
  auto before = db.Bytes();
  EXPECT_UDB_ERROR(disk.AllocatePages(2, 1, nullptr, 1, 3), 8577);
  EXPECT_EQ(db.Bytes(), before);
}

TEST(TDiskMgr, ExclusiveConnectionKeepsOthersOut) {
  TMemDatabase db("ex.udb", false);
  TDiskMgr first, second;
  for (TDiskMgr* d : {&first, &second}) {
    d->SetFileSystem(&db.fs);
    d->SetFileName("ex.udb");
  }
  first.SetMode(2 + 16);
  first.Open();
  EXPECT_TRUE(first.Exclusive());
  EXPECT_UDB_ERROR(second.Open(), 8449);
  first.Close();
  second.Open();
}

// --- transactions ---------------------------------------------------------------------

TEST(TDiskMgr, TransactionHoldsEveryWriteUntilCommit) {
  TMemDatabase db;
  db.disk->StartTransaction();
  EXPECT_UDB_ERROR(db.disk->StartTransaction(), 10256);
  auto before = db.Bytes();
  TUdbAddr a = db.disk->AllocatePages(3, 5, Pages(2, 0x5A).data(), 2, 1);
  EXPECT_EQ(db.Bytes(), before);
  std::vector<std::uint8_t> back(2 * P);
  db.disk->ReadPages(a, 2, back.data(), 5, 3);
  EXPECT_EQ(back, Pages(2, 0x5A));
  db.disk->Commit();
  EXPECT_EQ(db.Bytes().size(), 8u * P);
  EXPECT_UDB_ERROR(db.disk->Commit(), 10257);
  db.Reopen();
  db.disk->ReadPages(a, 2, back.data(), 5, 3);
  EXPECT_EQ(back, Pages(2, 0x5A));
  EXPECT_EQ(db.disk->MapPages().EntryOf(a), 3 * 16 + 1);
}

TEST(TDiskMgr, RollbackRestoresPagesHeaderAndMap) {
  TMemDatabase db;
  TUdbAddr a = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
  auto before = db.Bytes();
  db.disk->StartTransaction();
  db.disk->WritePages(a, 1, Pages(1, 0x02).data(), 5, 3);
  db.disk->AllocatePages(3, 5, Pages(3, 0x03).data(), 3, 1);
  db.disk->FreePages(a, 1);
  db.disk->Rollback();
  EXPECT_EQ(db.Bytes(), before);
  EXPECT_UDB_ERROR(db.disk->Rollback(), 10257);
  std::vector<std::uint8_t> back(P);
  db.disk->ReadPages(a, 1, back.data(), 5, 3);
  EXPECT_EQ(back, Pages(1, 0x01));
  EXPECT_EQ(db.disk->GlobalHeader().GetItem(kItemMapPageCount), 1u);
  EXPECT_EQ(db.disk->AllocatePages(3, 5, nullptr, 1, 1), Page(7));
}

TEST(TDiskMgr, PageFreedAndReusedInOneTransactionKeepsTheReusedContent) {
  TMemDatabase db;
  TUdbAddr a = db.disk->AllocatePages(5, 5, Pages(1, 0x11).data(), 1, 1);
  db.disk->StartTransaction();
  db.disk->FreePages(a, 1);
  TUdbAddr b = db.disk->AllocatePages(6, 5, Pages(1, 0x22).data(), 1, 1);
  ASSERT_EQ(b, a);
  db.disk->Commit();
  db.Reopen();
  std::vector<std::uint8_t> back(P);
  db.disk->ReadPages(b, 1, back.data(), 5, 6);
  EXPECT_EQ(back, Pages(1, 0x22));
}

TEST(TDiskMgr, DataWrittenInATransactionReadsBackAtAnyOffsetAndSize) {
  TMemDatabase db;
  TUdbAddr a = db.disk->AllocatePages(4, 0, nullptr, 1, 2);
  db.disk->StartTransaction();
  std::vector<std::uint8_t> header(256);
  for (int i = 0; i < 256; ++i) header[i] = static_cast<std::uint8_t>(i);
  db.disk->WriteData(a + 256, 256, header.data(), 0, 4);
  std::uint8_t part[40];
  db.disk->ReadData(a + 256 + 16, 40, part, 0, 4);
  EXPECT_EQ(std::memcmp(part, header.data() + 16, 40), 0);
  // An overlapping write merges into the held page.
  std::uint8_t patch[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  db.disk->WriteData(a + 256 + 250, 8, patch, 0, 4);
  std::vector<std::uint8_t> whole(512);
  db.disk->ReadData(a + 200, 512, whole.data(), 0, 4);
  EXPECT_EQ(whole[56], 0);
  EXPECT_EQ(whole[56 + 249], 249);
  EXPECT_EQ(whole[56 + 250], 0xEE);
  EXPECT_EQ(whole[56 + 257], 0xEE);
  EXPECT_EQ(whole[56 + 258], 0);
  db.disk->Commit();
  EXPECT_EQ(db.Bytes()[a + 256 + 100], 100);
  EXPECT_EQ(db.Bytes()[a + 256 + 255], 0xEE);
}

TEST(TDiskMgr, TableLocksAreCountedAndWriteLocksInsideATransactionAreReadLocks) {
  TMemDatabase db;
  int writes = UdbLogger().Counter("WRITELOCK");
  EXPECT_EQ(db.disk->LockTable(5, kUdbWriteLock), kUdbWriteLock);
  db.disk->StartTransaction();
  EXPECT_EQ(db.disk->LockTable(5, kUdbWriteLock), kUdbReadLock);
  db.disk->Rollback();
  EXPECT_EQ(UdbLogger().Counter("WRITELOCK"), writes + 2);
  EXPECT_UDB_ERROR(db.disk->ReadHeader(), 10248);
}

// --- faults and crashes -----------------------------------------------------------------

TEST(TDiskMgr, CommittedTransactionSurvivesACrash) {
  TMemDatabase db;
  db.disk->StartTransaction();
  TUdbAddr a = db.disk->AllocatePages(3, 5, Pages(1, 0x77).data(), 1, 1);
  db.disk->Commit();
  db.fs.Crash();
  db.Reopen();
  std::vector<std::uint8_t> back(P);
  db.disk->ReadPages(a, 1, back.data(), 5, 3);
  EXPECT_EQ(back, Pages(1, 0x77));
}

TEST(TDiskMgr, FailedCommitWriteIsReportedAndARetryCompletesIt) {
  for (int failAt = 0; failAt < 4; ++failAt) {
    TMemDatabase db;
    TUdbAddr a = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
    db.disk->StartTransaction();
    db.disk->WritePages(a, 1, Pages(1, 0x02).data(), 5, 3);
    TUdbAddr b = db.disk->AllocatePages(3, 5, Pages(2, 0x03).data(), 2, 1);
    db.fs.FailWriteAfter(failAt);
    TCaughtError e = CatchUdb([&] { db.disk->Commit(); });
    EXPECT_TRUE(e.code == 9218 || e.code == 8450) << e.message;  // a page or the journal
    EXPECT_TRUE(db.disk->InTransaction());
    // Half-committed: no new work until the commit is completed.
    EXPECT_UDB_ERROR(db.disk->WritePages(a, 1, Pages(1, 0x09).data(), 5, 3), 8577);
    db.disk->Commit();
    db.Reopen();
    std::vector<std::uint8_t> back(P), back2(2 * P);
    db.disk->ReadPages(a, 1, back.data(), 5, 3);
    db.disk->ReadPages(b, 2, back2.data(), 5, 3);
    EXPECT_EQ(back, Pages(1, 0x02)) << failAt;
    EXPECT_EQ(back2, Pages(2, 0x03)) << failAt;
  }
}

TEST(TDiskMgr, FailedFlushAtCommitIsReported) {
  TMemDatabase db;
  db.disk->StartTransaction();
  TUdbAddr a = db.disk->AllocatePages(3, 5, Pages(1, 0x31).data(), 1, 1);
  db.fs.FailFlushAfter(0);
  EXPECT_UDB_ERROR(db.disk->Commit(), 8450);
  db.disk->Commit();
  db.fs.Crash();
  db.Reopen();
  std::vector<std::uint8_t> back(P);
  db.disk->ReadPages(a, 1, back.data(), 5, 3);
  EXPECT_EQ(back, Pages(1, 0x31));
}

// A commit flushes what the file was given since its last flush: nothing
// for a transaction that wrote nothing after a flushed commit, but the
// writes made outside any transaction before it do count.
TEST(TDiskMgr, ACommitFlushesOnlyWhenTheFileWasWrittenSinceTheLastFlush) {
  TMemDatabase db;
  TUdbAddr a = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
  db.disk->StartTransaction();
  db.disk->WritePages(a, 1, Pages(1, 0x02).data(), 5, 3);
  db.disk->Commit();
  const int afterWrite = db.fs.Flushes();
  db.disk->StartTransaction();
  db.disk->Commit();
  EXPECT_EQ(db.fs.Flushes(), afterWrite);

  db.disk->WritePages(a, 1, Pages(1, 0x03).data(), 5, 3);  // write-through
  db.disk->StartTransaction();
  db.disk->Commit();
  EXPECT_GT(db.fs.Flushes(), afterWrite);
  db.fs.Crash();
  db.Reopen();
  std::vector<std::uint8_t> back(P);
  db.disk->ReadPages(a, 1, back.data(), 5, 3);
  EXPECT_EQ(back, Pages(1, 0x03));
}

TEST(TDiskMgr, FailedWriteThroughLeavesNoStaleCachedPage) {
  TMemDatabase db;
  TUdbAddr a = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
  db.fs.FailWriteAfter(0);
  EXPECT_UDB_ERROR(db.disk->WritePages(a, 1, Pages(1, 0x02).data(), 5, 3), 9218);
  std::vector<std::uint8_t> back(P);
  db.disk->ReadPages(a, 1, back.data(), 5, 3);
  EXPECT_EQ(back, Pages(1, 0x01));  // what the file holds
}

TEST(TDiskMgr, CopyOfTheOpenFileIsByteEqual) {
  TMemDatabase db;
  db.disk->AllocatePages(3, 5, Pages(2, 0x44).data(), 2, 1);
  db.disk->CopyDatabaseFile("copy.udb");
  EXPECT_EQ(db.fs.Bytes("copy.udb"), db.Bytes());
  EXPECT_TRUE(UdbCopyFile("copy.udb", "copy2.udb", false, db.fs));
  EXPECT_FALSE(UdbCopyFile("copy.udb", "copy2.udb", false, db.fs));
  EXPECT_EQ(db.fs.Bytes("copy2.udb"), db.Bytes());
}

TEST(TDiskMgr, CopyOntoTheSourceItselfIsRefusedAndEmptiesNothing) {
  TMemDatabase db;
  db.disk->AllocatePages(3, 5, Pages(1, 0x44).data(), 1, 1);
  const auto before = db.Bytes();
  EXPECT_UDB_ERROR(db.disk->CopyDatabaseFile(db.name), 8450);
  EXPECT_EQ(db.Bytes(), before);
  db.disk->Close();
  EXPECT_FALSE(UdbCopyFile(db.name, db.name, true, db.fs));
  EXPECT_EQ(db.Bytes(), before);
}
