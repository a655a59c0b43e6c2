// The disk manager under injected faults: every write position of a
// commit fails once in turn, and work outside a transaction is cut short
// at every write; afterwards the file reopens, earlier data reads back and
// the allocation map still hands out and takes back pages.
#include <gtest/gtest.h>

#include "UdbTestSupport.h"

namespace {

constexpr int P = 4096;

std::vector<std::uint8_t> ReadPage(TDiskMgr& disk, TUdbAddr a, std::uint16_t table) {
  std::vector<std::uint8_t> back(P);
  disk.ReadPages(a, 1, back.data(), 5, table);
  return back;
}

// The map works: pages can be taken, freed and taken again.
void ExpectUsableMap(TDiskMgr& disk) {
  TUdbAddr a = disk.AllocatePages(40, 1, nullptr, 2, 1);
  disk.FreePages(a, 2);
  EXPECT_EQ(disk.AllocatePages(41, 1, nullptr, 2, 1), a);
  std::vector<TUdbAddr> pages;
  disk.MapPages().ListEntries(41, 1, pages, true);
  EXPECT_EQ(pages.size(), 2u);
}

}  // namespace

TEST(TDiskMgrFaults, EveryFailedCommitWriteIsReportedAndARetryCompletesTheTransaction) {
  for (int failAt = 0;; ++failAt) {
    TMemDatabase db;
    TUdbAddr keep = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
    TUdbAddr gone = db.disk->AllocatePages(3, 5, Pages(1, 0x02).data(), 1, 1);
    db.disk->StartTransaction();
    db.disk->FreePages(gone, 1);
    TUdbAddr reused = db.disk->AllocatePages(4, 5, Pages(1, 0x03).data(), 1, 1);
    TUdbAddr grown = db.disk->AllocatePages(4, 3, Pages(3, 0x04).data(), 3, 1);
    db.disk->WritePages(keep, 1, Pages(1, 0x05).data(), 5, 3);
    db.fs.FailWriteAfter(failAt);
    TCaughtError e = CatchUdb([&] { db.disk->Commit(); });
    db.fs.FailWriteAfter(-1);
    if (e.code == -1) break;  // every write position has been tried
    ASSERT_EQ(e.code, 9217) << e.message;
    db.disk->Commit();
    db.fs.Crash();
    db.Reopen();
    EXPECT_EQ(ReadPage(*db.disk, keep, 3), Pages(1, 0x05)) << failAt;
    EXPECT_EQ(ReadPage(*db.disk, reused, 4), Pages(1, 0x03)) << failAt;
    std::vector<std::uint8_t> back(3 * P);
    db.disk->ReadPages(grown, 3, back.data(), 3, 4);
    EXPECT_EQ(back, Pages(3, 0x04)) << failAt;
    ExpectUsableMap(*db.disk);
    ASSERT_LT(failAt, 50);
  }
}

TEST(TDiskMgrFaults, WorkCutShortOutsideATransactionLeavesAnOpenableFileAndEarlierDataIntact) {
  for (int failAt = 0;; ++failAt) {
    TMemDatabase db;
    TUdbAddr keep = db.disk->AllocatePages(3, 5, Pages(1, 0x11).data(), 1, 1);
    db.disk->Close();
    db.Reopen();
    db.fs.FailWriteAfter(failAt);
    TCaughtError e = CatchUdb([&] {
      TUdbAddr a = db.disk->AllocatePages(6, 5, Pages(2, 0x22).data(), 2, 1);
      db.disk->FreePages(a, 1);
      db.disk->AllocatePages(7, 1, Pages(3, 0x33).data(), 3, 2);
      db.disk->WritePages(keep + 0, 1, Pages(1, 0x11).data(), 5, 3);
    });
    db.fs.FailWriteAfter(-1);
    db.disk->Close();
    db.Reopen();
    EXPECT_EQ(ReadPage(*db.disk, keep, 3), Pages(1, 0x11)) << failAt;
    ExpectUsableMap(*db.disk);
    if (e.code == -1) break;
    EXPECT_EQ(e.code, 9217) << e.message;
    ASSERT_LT(failAt, 50);
  }
}

TEST(TDiskMgrFaults, CrashBeforeCommitLeavesTheCommittedState) {
  TMemDatabase db;
  TUdbAddr a = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
  db.disk->Close();  // flushed
  db.Reopen();
  db.disk->StartTransaction();
  db.disk->WritePages(a, 1, Pages(1, 0x02).data(), 5, 3);
  db.disk->AllocatePages(3, 5, Pages(4, 0x03).data(), 4, 1);
  db.fs.Crash();
  db.Reopen();
  EXPECT_EQ(ReadPage(*db.disk, a, 3), Pages(1, 0x01));
  EXPECT_EQ(db.Bytes().size(), 7u * P);
  ExpectUsableMap(*db.disk);
}

TEST(TDiskMgrFaults, FlippedMapBytesRaiseOnUseAndWriteNothing) {
  // Each damage is found where it is used; the file stays as it was.
  struct Case {
    std::size_t offset;
    std::uint32_t value;
    int width;
  };
  const std::size_t map0 = 5 * P;
  const Case cases[] = {
      {map0 + udbfmt::kMapNextPage, 3 * P, 4},      // next map page points backwards
      {map0 + udbfmt::kMapFreeHead, 7, 2},          // head below the entries
      {map0 + udbfmt::kMapFreeHead, 5000, 2},       // head past the page
  };
  for (const Case& c : cases) {
    TMemDatabase db;
    TUdbAddr a = db.disk->AllocatePages(3, 1, nullptr, 2, 1);
    db.disk->FreePages(a, 1);
    db.disk->Close();
    if (c.width == 4)
      udbfmt::PutU32(db.Bytes().data() + c.offset, c.value);
    else
      udbfmt::PutU16(db.Bytes().data() + c.offset, static_cast<std::uint16_t>(c.value));
    db.Reopen();
    auto before = db.Bytes();
    TCaughtError e = CatchUdb([&] { db.disk->AllocatePages(3, 1, nullptr, 1, 1); });
    EXPECT_TRUE(e.code == 8581 || e.code == 8451) << c.offset << ": " << e.message;
    EXPECT_EQ(db.Bytes(), before) << c.offset;
  }
}
