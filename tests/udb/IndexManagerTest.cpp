// Index manager: items from stored definitions, key fields distributed by
// index name, lookups by name and by field list, roots and depths kept in
// the table header across a reopen of the database file.
#include <gtest/gtest.h>

#include <memory>

#include "IndexTestSupport.h"
#include "Udb/IndexManager.h"
#include "Udb/TableHeader.h"

using namespace idxtest;

namespace {

// Two stored definitions: "PK" (A, primary) at sequence 0 and "ByB" (B and
// the hidden RecordID) at sequence 1.
struct Definitions {
  TInternalIndexDefs defs;
  TKeyFields keys;
  Definitions() {
    TInternalIndexDef* pk = defs.Add();
    pk->SetIndexName("PK");
    pk->SetPrimary(true);
    pk->SetIndexSequence(0);
    TInternalIndexDef* byB = defs.Add();
    byB->SetIndexName("ByB");
    byB->SetIndexSequence(1);
    AddIntPart(keys, "PK", 0);
    AddStringPart(keys, "ByB");
    AddRecordIdPart(keys, "ByB");
    TKeyFields one;
    AddIntPart(one, "PK", 0);
    pk->SetMaximumKeySize(one.MaximumKeySize());
  }
};

TEST(TIndexManager, ItemsComeFromTheDefinitionsAndTakeTheirOwnKeyFields) {
  Definitions d;
  TIndexManager mgr;
  mgr.Assign(&d.defs);
  ASSERT_EQ(mgr.Count(), 2);
  mgr.AssignKeyFields(d.keys);
  EXPECT_EQ(mgr.Items(0)->KeyFields()->Count(), 1);
  EXPECT_EQ(mgr.Items(1)->KeyFields()->Count(), 2);
  EXPECT_EQ(mgr.Items(1)->KeyFields()->KeyDataOffset(), 1);
  EXPECT_TRUE(mgr.Items(0)->Primary());
  EXPECT_EQ(mgr.FindIndex("byb"), mgr.Items(1));
  EXPECT_EQ(mgr.FindIndex("none"), nullptr);
  mgr.SetCurrentIndexName("pk");
  EXPECT_EQ(mgr.CurrentIndex(), mgr.Items(0));
  mgr.SetCurrentIndexName("gone");
  TCaughtError e = CatchUdb([&] { mgr.CurrentIndex(); });
  EXPECT_EQ(e.code, 9997);
  EXPECT_NE(e.message.find("gone"), std::string::npos);

  // A copy of the manager copies definitions, key fields, roots and depths.
  mgr.Items(1)->SetRoot(77);
  mgr.Items(1)->SetDepth(3);
  TIndexManager copy;
  copy.Assign(&mgr);
  EXPECT_EQ(copy.Items(1)->Root(), 77u);
  EXPECT_EQ(copy.Items(1)->Depth(), 3u);
  EXPECT_EQ(copy.Items(1)->KeyFields()->Count(), 2);
}

TEST(TIndexManager, KeyFieldsThatDoNotFitTheIndexesAreRefused) {
  {
    Definitions d;
    AddIntPart(d.keys, "Missing", 0);
    TIndexManager mgr;
    mgr.Assign(&d.defs);
    TCaughtError e = CatchUdb([&] { mgr.AssignKeyFields(d.keys); });
    EXPECT_EQ(e.code, 9997);
    EXPECT_NE(e.message.find("Missing"), std::string::npos);
  }
  {
    Definitions d;
    d.defs.Add()->SetIndexName("Empty");
    TIndexManager mgr;
    mgr.Assign(&d.defs);
    EXPECT_UDB_ERROR(mgr.AssignKeyFields(d.keys), 8581);
  }
  {
    Definitions d;
    d.keys.Items(1)->SetSizeMarkerOffset(0);  // a string part without its size
    TIndexManager mgr;
    mgr.Assign(&d.defs);
    EXPECT_UDB_ERROR(mgr.AssignKeyFields(d.keys), 8581);
  }
}

TEST(TIndexManager, IndexForFieldsMatchesLeadingPartsInOrder) {
  TInternalIndexDefs defs;
  TKeyFields keys;
  auto add = [&](const char* index, std::initializer_list<const char*> names, bool ci) {
    defs.Add()->SetIndexName(index);
    for (const char* n : names) {
      TKeyFieldItem* f = keys.Add();
      f->SetIndexName(index);
      f->SetFieldName(n);
      f->SetDataType(ftInteger);
      f->SetFieldSize(4);
      f->SetCaseInsensitive(ci && std::string(n) == "A");
    }
  };
  add("BA", {"B", "A"}, false);
  add("ABCci", {"A", "B", "C"}, true);
  add("ABC", {"a", "b", "c"}, false);
  TIndexManager mgr;
  mgr.Assign(&defs);
  mgr.AssignKeyFields(keys);
  EXPECT_EQ(mgr.FindIndexForFields({"A", "B"}, false), mgr.FindIndex("ABCci"));
  EXPECT_EQ(mgr.FindIndexForFields({"A", "B"}, true), mgr.FindIndex("ABC"));
  EXPECT_EQ(mgr.FindIndexForFields({"B"}, false), mgr.FindIndex("BA"));
  EXPECT_EQ(mgr.FindIndexForFields({"C", "A"}, false), nullptr);
  EXPECT_EQ(mgr.FindIndexForFields({"A", "B", "C", "D"}, false), nullptr);
}

// A table header on a memory interface with room for two indexes.
struct MemoryTable : ::testing::Test {
  TMemoryIOInterface headerIO;
  TMemoryIOInterface indexIO;
  TTableHeaderMgr headers;
  TTableHeader* header = nullptr;
  Definitions d;
  void SetUp() override {
    headerIO.SetBlockSize(256);
    headerIO.SetUsage(1);
    headerIO.Open();
    headers.SetMapAddress(headerIO.AllocateNewAddress(udbhdr::kMapSize, nullptr));
    headers.Open(&headerIO);
    header = headers.OpenTable(headers.AddTable(2));
    indexIO.SetBlockSize(4096);
    indexIO.SetUsage(kUsageIndex);
    indexIO.Open();
  }
  void Prepare(TIndexManager& mgr, bool sort = true) {
    if (sort) mgr.SetSortFunction(AsciiKeySort);
    mgr.Assign(&d.defs);
    mgr.AssignKeyFields(d.keys);
    mgr.SetIOInterface(&indexIO);
    mgr.SetTableHeader(header);
  }
};

TEST_F(MemoryTable, OpeningNeedsASortFunctionAndInitialisedRoots) {
  TIndexManager mgr;
  Prepare(mgr, false);
  EXPECT_UDB_ERROR(mgr.Open(), 8581);
  mgr.SetSortFunction(AsciiKeySort);
  TCaughtError e = CatchUdb([&] { mgr.Open(); });  // the header still holds root 0
  EXPECT_EQ(e.code, 8581);
  EXPECT_NE(e.message.find("Not initialized"), std::string::npos);
  mgr.CreateEmptyIndexes();
  EXPECT_NE(header->IndexRoot(0), 0u);
  EXPECT_EQ(header->IndexDepth(1), 1);
  mgr.Open();
  EXPECT_EQ(mgr.VisibleIndexCount(), 2);
  EXPECT_EQ(mgr.Items(0)->RecordCount(), 0u);
}

TEST_F(MemoryTable, EveryIndexOrdersTheSameRecordsItsOwnWay) {
  TIndexManager mgr;
  Prepare(mgr);
  mgr.CreateEmptyIndexes();
  mgr.Open();
  const char* names[] = {"d", "b", "e", "a", "c"};
  for (int i = 0; i < 5; ++i) {
    TRow r;
    r.a = 10 - i;
    r.b = names[i];
    r.id = i + 1;
    r.addr = 0x100u * static_cast<TUdbAddr>(i + 1);
    auto rec = RecordOf(r);
    for (int k = 0; k < mgr.Count(); ++k) {
      mgr.Items(k)->SetSearchKeyFromRecord(rec.data());
      mgr.Items(k)->Insert(r.addr);
    }
  }
  TIndexItem* byB = mgr.FindIndex("ByB");
  TIndexItem* pk = mgr.FindIndex("PK");
  TRow first;
  first.b = "a";
  byB->SetSearchKeyFromRecord(RecordOf(first).data());
  ASSERT_EQ(byB->Find(3), 0);
  EXPECT_EQ(byB->CurrentRecordAddress(), 0x400u);  // "a"
  EXPECT_TRUE(byB->MoveBy(2));
  EXPECT_EQ(byB->CurrentRecordAddress(), 0x500u);  // "c"
  EXPECT_EQ(byB->CurrentRecNo(), 3);
  EXPECT_FALSE(byB->MoveBy(3));
  EXPECT_TRUE(byB->MoveBy(-4));
  EXPECT_EQ(byB->CurrentRecNo(), 1);
  EXPECT_EQ(pk->AddressOfRecNo(1), 0x500u);  // A = 6
  EXPECT_EQ(pk->AddressOfRecNo(5), 0x100u);  // A = 10
}

TEST(DiskIndexes, RootsAndDepthsLiveInTheTableHeaderAcrossReopen) {
  TMemDatabase db;
  auto headerIO = std::make_unique<TDiskIOInterface>();
  auto indexIO = std::make_unique<TDiskIOInterface>();
  auto makeIO = [&](TDiskIOInterface& io, int block, std::uint16_t usage, int item) {
    io.SetDiskMgr(db.disk.get());
    io.SetBlockSize(block);
    io.SetUsage(usage);
    io.SetTableId(usage == 1 ? 0 : 1);
    io.SetGlobalHeaderItem(item);
    io.Open();
  };
  makeIO(*headerIO, 256, 1, udbfmt::kItemUserTableHdrFirstEmpty);
  makeIO(*indexIO, 4096, kUsageIndex, udbfmt::kItemIndexNodeFirstEmpty);
  auto headers = std::make_unique<TTableHeaderMgr>();
  headers->SetMapAddress(3 * 4096);
  headers->Open(headerIO.get());
  const int tableId = headers->AddTable(2);
  TTableHeader* header = headers->OpenTable(tableId);
  Definitions d;
  std::uint32_t rootPK = 0;
  {
    TIndexManager mgr;
    mgr.SetSortFunction(AnsiKeySort);
    mgr.Assign(&d.defs);
    mgr.AssignKeyFields(d.keys);
    mgr.SetIOInterface(indexIO.get());
    mgr.SetTableHeader(header);
    mgr.CreateEmptyIndexes();
    mgr.Open();
    rootPK = mgr.Items(0)->Root();
    for (int i = 1; i <= 1500; ++i) {
      TRow r;
      r.a = i;
      r.b = "工资" + std::to_string(i % 37);
      r.id = i;
      r.addr = 0x10000u + static_cast<TUdbAddr>(i) * 16u;
      auto rec = RecordOf(r);
      for (int k = 0; k < mgr.Count(); ++k) {
        mgr.Items(k)->SetSearchKeyFromRecord(rec.data());
        mgr.Items(k)->Insert(r.addr);
      }
    }
    EXPECT_EQ(mgr.Items(0)->Root(), rootPK);
    EXPECT_EQ(mgr.Items(0)->Depth(), 2u);
    mgr.WriteRoots();
    mgr.Close();
    EXPECT_EQ(mgr.Count(), 0);
  }
  headers->CloseTable(header);
  headers.reset();
  headerIO.reset();
  indexIO.reset();

  db.Reopen();
  headerIO = std::make_unique<TDiskIOInterface>();
  indexIO = std::make_unique<TDiskIOInterface>();
  makeIO(*headerIO, 256, 1, udbfmt::kItemUserTableHdrFirstEmpty);
  makeIO(*indexIO, 4096, kUsageIndex, udbfmt::kItemIndexNodeFirstEmpty);
  headers = std::make_unique<TTableHeaderMgr>();
  headers->SetMapAddress(3 * 4096);
  headers->Open(headerIO.get());
  header = headers->OpenTable(tableId);
  EXPECT_EQ(header->IndexRoot(0), rootPK);
  EXPECT_EQ(header->IndexDepth(0), 2);
  TIndexManager mgr;
  mgr.SetSortFunction(AnsiKeySort);
  mgr.Assign(&d.defs);
  mgr.AssignKeyFields(d.keys);
  mgr.SetIOInterface(indexIO.get());
  mgr.SetTableHeader(header);
  mgr.Open();
  for (int k = 0; k < mgr.Count(); ++k) {
    EXPECT_EQ(mgr.Items(k)->RecordCount(), 1500u);
    mgr.Items(k)->Tree().CheckStructureForTest();
  }
  TRow probe;
  probe.a = 777;
  mgr.Items(0)->SetSearchKeyFromRecord(RecordOf(probe).data());
  ASSERT_EQ(mgr.Items(0)->Find(2), 0);
  EXPECT_EQ(mgr.Items(0)->CurrentRecordAddress(), 0x10000u + 777u * 16u);
  EXPECT_EQ(mgr.Items(0)->CurrentRecNo(), 777);
  headers->CloseTable(header);
}

}  // namespace
