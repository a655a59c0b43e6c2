// The allocation map, through the disk manager that owns it: the ascending
// free chain, runs taken from inside it, map pages appended past the first
// map's reach, and damaged maps found before anything is written.
#include <gtest/gtest.h>

#include "UdbTestSupport.h"

using namespace udbfmt;

using namespace udbtest;

TEST(TMapPageMgr, FreedPagesFormAnAscendingChain) {
  TMemDatabase db;
  for (int i = 0; i < 4; ++i) db.disk->AllocatePages(2, 1, nullptr, 1, 3);  // pages 6-9
  db.disk->FreePages(Page(7), 1);
  db.disk->FreePages(Page(9), 1);
  db.disk->FreePages(Page(8), 1);
  auto off = [](int n) { return static_cast<std::uint16_t>(EntryAt(n) - kMap0); };
  EXPECT_EQ(db.U16(kMap0 + kMapFreeHead), off(7));
  EXPECT_EQ(db.U16(EntryAt(7)), 0x8000 + off(8));
  EXPECT_EQ(db.U16(EntryAt(8)), 0x8000 + off(9));
  EXPECT_EQ(db.U16(EntryAt(9)), 0x8000);
  EXPECT_EQ(db.U32(kGlobalHeaderOffset + kItemFreeMapPageHint), 5u * P);
}

TEST(TMapPageMgr, RunInsideTheChainIsTakenAndTheEntriesBeforeItStayReachable) {
  TMemDatabase db;
  db.disk->AllocatePages(2, 1, nullptr, 17, 3);  // pages 6-22
  db.disk->FreePages(Page(7), 2);
  db.disk->FreePages(Page(20), 3);
  TUdbAddr a = db.disk->AllocatePages(4, 1, nullptr, 3, 3);
  EXPECT_EQ(a, Page(20));
  auto off = [](int n) { return static_cast<std::uint16_t>(EntryAt(n) - kMap0); };
  EXPECT_EQ(db.U16(kMap0 + kMapFreeHead), off(7));
  EXPECT_EQ(db.U16(EntryAt(8)), 0x8000);
  // Both remaining free pages are still handed out.
  EXPECT_EQ(db.disk->AllocatePages(4, 1, nullptr, 1, 3), Page(7));
  EXPECT_EQ(db.disk->AllocatePages(4, 1, nullptr, 1, 3), Page(8));
  EXPECT_EQ(db.disk->AllocatePages(4, 1, nullptr, 1, 3), Page(23));
}

TEST(TMapPageMgr, SecondMapPageIsAppendedAndLinkedWhenTheFilePassesTheFirstMapsReach) {
  TMemDatabase db;
  const int E = MapEntriesPerPage(P);  // 2038
  db.disk->AppendPages(nullptr, E - 6, 0, 0);  // pages 6..2037, unmapped
  TUdbAddr a = db.disk->AllocatePages(9, 1, nullptr, 1, 2);
  EXPECT_EQ(a, Page(E));
  // The new map page follows the allocated page, and maps itself.
  const TUdbAddr map1 = Page(E + 1);
  EXPECT_EQ(db.Bytes().size(), static_cast<size_t>(E + 2) * P);
  EXPECT_EQ(db.U32(kMap0 + kMapNextPage), map1);
  EXPECT_EQ(db.U32(kGlobalHeaderOffset + kItemMapPageCount), 2u);
  EXPECT_EQ(db.U32(map1 + kMapPageNumber), 1u);
  EXPECT_EQ(db.U16(map1 + kMapEntries + 0), 9 * 16 + 2);
  EXPECT_EQ(db.U16(map1 + kMapEntries + 2), 2u);
  db.Reopen();
  EXPECT_EQ(db.disk->MapPages().EntryOf(a), 9 * 16 + 2);
}

TEST(TMapPageMgr, RequestLargerThanOneMapPageIsNeverServedFromTheMap) {
  TMemDatabase db;
  EXPECT_EQ(db.disk->MapPages().FindEmptyPages(MapEntriesPerPage(P) + 1), 0u);
}

TEST(TMapPageMgr, DamagedFreeChainRaisesInsteadOfHandingOutPagesInUse) {
  TMemDatabase db;
  TUdbAddr a = db.disk->AllocatePages(2, 1, Pages(1, 0x42).data(), 1, 3);
  db.disk->Close();
  // The head points at an entry that is in use.
  PutU16(db.Bytes().data() + kMap0 + kMapFreeHead, static_cast<std::uint16_t>(EntryAt(a / P) - kMap0));
  PutU32(db.Bytes().data() + kGlobalHeaderOffset + kItemFreeMapPageHint, 5 * P);
  db.Reopen();
  auto before = db.Bytes();
  EXPECT_UDB_ERROR(db.disk->AllocatePages(2, 1, nullptr, 1, 3), 8581);
  EXPECT_EQ(db.Bytes(), before);
}

TEST(TMapPageMgr, MapPageWithWrongNumberIsCorruption) {
  TMemDatabase db;
  db.disk->Close();
  PutU32(db.Bytes().data() + kMap0 + kMapPageNumber, 3);
  db.Reopen();
  auto before = db.Bytes();
  EXPECT_UDB_ERROR(db.disk->AllocatePages(2, 1, nullptr, 1, 3), 8451);
  EXPECT_EQ(db.Bytes(), before);
}
