// Table definitions and their managers: disk and memory tables created,
// opened, shared, written, reopened from their stored text form,
// restructured and deleted; failed creates and refused deletes leave
// nothing behind.
#include <gtest/gtest.h>

#include <functional>

#include "TableTestSupport.h"
#include "Udb/RestructureDefs.h"
#include "platform/core/TextForm.h"

namespace {

using udbfmt::GetU32;

struct DiskTableDefs : ::testing::Test, TDiskTables {};

// Opens a connection for a fresh definition read back from `text`.
std::unique_ptr<TTableDef> FromText(const AnsiString& text) {
  auto def = std::make_unique<TTableDef>();
  ObjectTextToComponent(text, def.get());
  return def;
}

TEST_F(DiskTableDefs, CreateOpenWriteReopenAndReadBack) {
  auto def = MakeSampleDef("工资表", false);
  ASSERT_EQ(mgr->CreateTableDef("工资表", def.get()), 0);
  EXPECT_EQ(def->TableID(), 1);
  EXPECT_EQ(def->OwnerFlag(), 16u);
  mgr->OpenTableDefConnection("工资表", def.get());
  EXPECT_EQ(def->RecordSize(), 52);
  EXPECT_EQ(def->RecordIO()->OwnerValue(), 16 + 9);
  EXPECT_EQ(def->IndexIO()->OwnerValue(), 16 + 8);
  EXPECT_EQ(def->BlobIO()->OwnerValue(), 16 + 10);
  EXPECT_EQ(def->RecordIO()->Mode(), kIOModePlain);
  EXPECT_NE(def->Header()->IndexRoot(0), 0u);
  EXPECT_EQ(def->Header()->IndexDepth(1), 1);
  const AnsiString text = ComponentToObjectText(def.get());
  EXPECT_NE(text.find("DataType = ftMemo"), std::string::npos) << text;

  std::map<int, TRow> expect;
  TUdbAddr freed = 0;
  {
    TSampleRows rows(def.get());
    TUdbAddr a = rows.Insert(1, "张三", "");
    rows.Insert(2, "李四", std::string(1500, 'x'));
    TUdbAddr c = rows.Insert(3, "王五", "短");
    rows.Update(a, "张三丰", "memo now");
    rows.Delete(c);
    freed = c;
    expect = {{1, {"张三丰", "memo now"}}, {2, {"李四", std::string(1500, 'x')}}};
    EXPECT_EQ(rows.ReadAll(), expect);
  }
  mgr->CloseTableDefConnection(def->TableID());
  EXPECT_EQ(mgr->Count(), 0);
  EXPECT_EQ(mgr->HeaderMgr().OpenHeaderCount(), 0);

  Reopen();
  auto again = FromText(text);
  EXPECT_EQ(again->TableName(), "工资表");
  EXPECT_EQ(again->InternalFields()->Count(), 3);
  mgr->OpenTableDefConnection(again->TableName(), again.get());
  TSampleRows rows(again.get());
  EXPECT_EQ(rows.ReadAll(), expect);
  EXPECT_EQ(again->Header()->LastRecordID(), 3u);
  // The freed record block is reused first.
  EXPECT_EQ(rows.Insert(4, "赵六", ""), freed);
  mgr->CloseTableDefConnection(again->TableID());
}

TEST_F(DiskTableDefs, ConnectionsShareOneCopyAndOneHeader) {
  auto def = MakeSampleDef("T", false);
  mgr->CreateTableDef("T", def.get());
  auto a = FromText(ComponentToObjectText(def.get()));
  auto b = FromText(ComponentToObjectText(def.get()));
  mgr->OpenTableDefConnection("T", a.get());
  mgr->OpenTableDefConnection("t", b.get());  // names ignore case
  EXPECT_EQ(mgr->ConnectionCount("T"), 2);
  EXPECT_EQ(a->Header(), b->Header());
  EXPECT_EQ(a->RecordIO(), b->RecordIO());
  EXPECT_EQ(mgr->HeaderMgr().OpenHeaderCount(), 1);
  EXPECT_EQ(a->Header()->OpenCount(), 1);  // opened once for the copy
  mgr->CloseTableDefConnection(a->TableID());
  EXPECT_EQ(mgr->ConnectionCount("T"), 1);
  EXPECT_TRUE(b->RecordIO() != nullptr);
  mgr->CloseTableDefConnection(b->TableID());
  EXPECT_EQ(mgr->ConnectionCount("T"), 0);
  EXPECT_EQ(mgr->HeaderMgr().OpenHeaderCount(), 0);
  EXPECT_UDB_ERROR(mgr->CloseTableDefConnection(b->TableID()), 8579);
}

TEST_F(DiskTableDefs, CreatesAndDeletesAreChecked) {
  auto def = MakeSampleDef("T", false);
  mgr->CreateTableDef("T", def.get());
  auto dup = MakeSampleDef("T", false);
  EXPECT_UDB_ERROR(mgr->CreateTableDef("T", dup.get()), 8580);
  auto mem = MakeSampleDef("M", true);
  EXPECT_UDB_ERROR(mgr->CreateTableDef("M", mem.get()), 8577);

  auto a = FromText(ComponentToObjectText(def.get()));
  auto b = FromText(ComponentToObjectText(def.get()));
  mgr->OpenTableDefConnection("T", a.get());
  mgr->OpenTableDefConnection("T", b.get());
  EXPECT_UDB_ERROR(mgr->DeleteTableDef("T", a.get()), 8578);
  EXPECT_EQ(mgr->ConnectionCount("T"), 2);  // a refusal leaves the count alone
  mgr->CloseTableDefConnection(b->TableID());
  EXPECT_EQ(mgr->DeleteTableDef("T", a.get()), 0);
  EXPECT_EQ(a->TableID(), 0);
  EXPECT_EQ(a->Header(), nullptr);
  EXPECT_EQ(mgr->HeaderMgr().TableCount(), 0);
}

TEST_F(DiskTableDefs, ADroppedTablesIdComesBackWithAFreshHeader) {
  auto def = MakeSampleDef("Old", false);
  mgr->CreateTableDef("Old", def.get());
  mgr->OpenTableDefConnection("Old", def.get());
  {
    TSampleRows rows(def.get());
    rows.Insert(1, "a", "b");
  }
  def->Header()->SetLastAutoInc(77);
  mgr->CloseTableDefConnection(def->TableID());
  mgr->OpenTableDefConnection("Old", def.get());
  mgr->DeleteTableDef("Old", def.get());
  db.disk->FreeTablePages(1, 0, false);  // what the catalogue does after a delete

  auto fresh = MakeSampleDef("New", false);
  mgr->CreateTableDef("New", fresh.get());
  EXPECT_EQ(fresh->TableID(), 1);
  mgr->OpenTableDefConnection("New", fresh.get());
  EXPECT_EQ(fresh->Header()->LastAutoInc(), 0u);
  EXPECT_EQ(fresh->Header()->LastRecordID(), 0u);
  TSampleRows rows(fresh.get());
  EXPECT_TRUE(rows.ReadAll().empty());
  mgr->CloseTableDefConnection(fresh->TableID());
}

TEST_F(DiskTableDefs, TooManyFieldsOrIndexesAreRefusedWhenDefined) {
  auto wide = std::make_unique<TTableDef>();
  for (int i = 0; i < 256; ++i) {
    auto* f = wide->InternalFields()->Add();
    f->SetDataType(ftBoolean);
    f->SetFieldIndex(i);
  }
  EXPECT_UDB_ERROR(mgr->CreateTableDef("W", wide.get()), 9604);
  auto many = MakeSampleDef("I", false);
  for (int i = 2; i < 35; ++i) many->InternalIndexDefs()->Add()->SetIndexSequence(i);
  // A definition never stored is not damaged: the header's limit, not 8451.
  try {
    mgr->CreateTableDef("I", many.get());
    ADD_FAILURE() << "35 indexes were accepted";
  } catch (const EUdbDatabaseError& e) {
    ADD_FAILURE() << "refused as an engine error: " << e.what();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Debug check -  header size <> 256");
  }
  auto same = MakeSampleDef("S", false);
  same->InternalIndexDefs()->Items(1)->SetIndexSequence(0);  // two indexes on one root entry
  EXPECT_UDB_ERROR(mgr->CreateTableDef("S", same.get()), 8451);
  EXPECT_EQ(mgr->HeaderMgr().TableCount(), 0);
}

TEST_F(DiskTableDefs, AFailedCreateLeavesNoSlotAndNoPages) {
  // Fail the n-th file write of a create, for every n until one succeeds.
  int n = 0;
  for (;; ++n) {
    auto def = MakeSampleDef("T", false);
    db.fs.FailWriteAfter(n);
    TCaughtError e = CatchUdb([&] { mgr->CreateTableDef("T", def.get()); });
    db.fs.FailWriteAfter(-1);
    if (e.code == -1) break;
    SCOPED_TRACE(n);
    mgr->HeaderMgr().ReadMap();
    EXPECT_EQ(mgr->HeaderMgr().TableCount(), 0);
    EXPECT_EQ(mgr->Count(), 0);
    std::vector<TUdbAddr> pages;
    db.disk->ListAllocatedFixedBlocks(4096, 1, pages, kUsageIndex);
    EXPECT_TRUE(pages.empty());
    ASSERT_LT(n, 50);
  }
  EXPECT_GT(n, 0);
  EXPECT_EQ(mgr->HeaderMgr().TableCount(), 1);
}

TEST_F(DiskTableDefs, CipherModesFollowTheEncryptionLevel) {
  const std::pair<TEncryptionLevel, std::uint8_t> cases[] = {
      {encNone, kIOModePlain}, {encWeak, kIOModeXor}, {encStrong, kIOModeBlowfish}};
  int k = 0;
  for (auto [level, mode] : cases) {
    AnsiString name = AnsiString("T") + char('0' + k++);
    auto def = MakeSampleDef(name, false, level);
    mgr->CreateTableDef(name, def.get());
    mgr->OpenTableDefConnection(name, def.get());
    EXPECT_EQ(def->RecordIO()->Mode(), mode);
    EXPECT_EQ(def->IndexIO()->Mode(), mode);
    TSampleRows rows(def.get());
    rows.Insert(1, level == encNone ? "PLAINNAME" : "SECRETNAME", "");
    mgr->CloseTableDefConnection(def->TableID());
  }
  const std::string bytes(db.Bytes().begin(), db.Bytes().end());
  EXPECT_NE(bytes.find("PLAINNAME"), std::string::npos);
  EXPECT_EQ(bytes.find("SECRETNAME"), std::string::npos);
}

TEST_F(DiskTableDefs, RestructuringIndexesKeepsCountersAndRecords) {
  auto def = MakeSampleDef("T", false);
  mgr->CreateTableDef("T", def.get());
  mgr->OpenTableDefConnection("T", def.get());
  TSampleRows rows(def.get());
  rows.Insert(1, "a", "note");
  def->Header()->SetLastAutoInc(5);
  const std::uint32_t oldRoot = def->Header()->IndexRoot(0);

  TRestructureIndexDefs indexes;
  indexes.AddIndexDef("PK", "ID", {});
  indexes.SetStatus(rsNewItem);
  TRestructureRequest request;
  request.IndexDefs = &indexes;
  request.SetValue1 = true;
  request.Value1 = 99;
  mgr->RestructureTableDef(def.get(), request);
  EXPECT_NE(def->Header()->IndexRoot(0), oldRoot);
  EXPECT_EQ(def->Header()->IndexDepth(0), 1);
  EXPECT_EQ(def->Header()->LastAutoInc(), 5u);
  EXPECT_EQ(def->Header()->LastRecordID(), 1u);
  EXPECT_EQ(def->Header()->RestructureValue1(), 99u);
  EXPECT_EQ(rows.ReadAll().size(), 1u);

  // Changed fields: the records go (the dataset copies them back), the
  // counters that were asked for stay.
  TRestructureFieldDefs fields;
  fields.SetStatus(rsDataRequirementsChanged);
  request = TRestructureRequest();
  request.FieldDefs = &fields;
  mgr->RestructureTableDef(def.get(), request);
  EXPECT_EQ(def->Header()->LastAutoInc(), 5u);
  EXPECT_EQ(def->Header()->LastRecordID(), 0u);
  EXPECT_EQ(def->Header()->RestructureValue1(), 99u);
  EXPECT_TRUE(rows.ReadAll().empty());
  rows.Insert(2, "b", "");  // the record space works again
  EXPECT_EQ(rows.ReadAll().size(), 1u);
  mgr->CloseTableDefConnection(def->TableID());
}

TEST_F(DiskTableDefs, DamagedStoredLayoutIsRefusedAtOpen) {
  auto def = MakeSampleDef("T", false);
  mgr->CreateTableDef("T", def.get());
  mgr->OpenTableDefConnection("T", def.get());
  AnsiString text = ComponentToObjectText(def.get());
  mgr->CloseTableDefConnection(def->TableID());
  const size_t at = text.find("DataOffset = 23");
  ASSERT_NE(at, std::string::npos) << text;
  text.replace(at, 15, "DataOffset = 99");
  auto bad = FromText(text);
  EXPECT_UDB_ERROR(mgr->OpenTableDefConnection("T", bad.get()), 8451);
  EXPECT_EQ(mgr->Count(), 0);
  EXPECT_EQ(mgr->HeaderMgr().OpenHeaderCount(), 0);
}

// A stored key field that names offsets or sizes outside the record, or
// that disagrees with its field, would make the key builder read past the
// record: the definition is refused at open, and nothing stays open.
TEST_F(DiskTableDefs, DamagedKeyFieldsAreRefusedAtOpen) {
  struct Case {
    const char* what;
    std::function<void(TKeyFieldItem&)> damage;
  };
  const Case cases[] = {
      {"offset past the record", [](TKeyFieldItem& k) { k.SetRecBufOffset(5000); }},
      {"negative offset", [](TKeyFieldItem& k) { k.SetRecBufOffset(-8); }},
      {"null flag past the record", [](TKeyFieldItem& k) { k.SetNullFlagOffset(70000); }},
      {"string longer than the record", [](TKeyFieldItem& k) { k.SetFieldSize(60000); }},
      {"size marker past the record", [](TKeyFieldItem& k) { k.SetSizeMarkerOffset(51); }},
      {"another offset than its field", [](TKeyFieldItem& k) { k.SetRecBufOffset(k.RecBufOffset() - 1); }},
      {"a type that is no key part", [](TKeyFieldItem& k) { k.SetDataType(ftMemo); }},
      {"no such index", [](TKeyFieldItem& k) { k.SetIndexName("Nowhere"); }},
      {"no such field", [](TKeyFieldItem& k) { k.SetFieldName("GONE"); }},
  };
  auto def = MakeSampleDef("T", false);
  mgr->CreateTableDef("T", def.get());
  mgr->OpenTableDefConnection("T", def.get());
  mgr->CloseTableDefConnection(def->TableID());
  ASSERT_EQ(mgr->Count(), 0);
  for (const Case& c : cases) {
    auto bad = MakeSampleDef("T", false);
    bad->SetTableID(def->TableID());
    c.damage(*bad->KeyFields()->Items(1));  // ByName: NAME String(21)
    SCOPED_TRACE(c.what);
    EXPECT_UDB_ERROR(mgr->OpenTableDefConnection("T", bad.get()), 8451);
    EXPECT_EQ(mgr->Count(), 0) << c.what;
    EXPECT_EQ(mgr->HeaderMgr().OpenHeaderCount(), 0) << c.what;
  }
  auto marker = MakeSampleDef("T", false);
  marker->SetTableID(def->TableID());
  marker->KeyFields()->Items(0)->SetSizeMarkerOffset(20);  // ID Integer: no marker
  EXPECT_UDB_ERROR(mgr->OpenTableDefConnection("T", marker.get()), 8451);
  auto keyless = MakeSampleDef("T", false);
  keyless->SetTableID(def->TableID());
  keyless->KeyFields()->Delete(1);
  EXPECT_UDB_ERROR(mgr->OpenTableDefConnection("T", keyless.get()), 8451);
  auto good = MakeSampleDef("T", false);
  good->SetTableID(def->TableID());
  EXPECT_NO_THROW(mgr->OpenTableDefConnection("T", good.get()));
}

TEST(TableDef, AssignCopiesTheStoredFormButNotTheRuntimeFlags) {
  auto def = MakeSampleDef("T", false, encWeak);
  def->SetOwnerFlag(32);
  def->SetSecurityLevel(3);
  def->SetAltName("别名");
  def->SetDefaultBlobSize(1024);
  TTableDef copy;
  copy.Assign(def.get());
  EXPECT_EQ(copy.TableName(), "T");
  EXPECT_EQ(copy.AltName(), "别名");
  EXPECT_EQ(copy.EncryptionLevel(), encWeak);
  EXPECT_EQ(copy.DefaultBlobSize(), 1024);
  EXPECT_EQ(copy.InternalFields()->Count(), 3);
  EXPECT_EQ(copy.KeyFields()->Count(), 2);
  EXPECT_EQ(copy.OwnerFlag(), 0u);
  EXPECT_EQ(copy.SecurityLevel(), 0);
  copy.SetManagerCopy(true);
  EXPECT_UDB_ERROR(copy.Clear(), 8577);
  def->Clear();
  EXPECT_EQ(def->DefaultBlobSize(), 512);
  EXPECT_EQ(def->InternalFields()->Count(), 0);
}

TEST(TableDef, KeyFieldsOfAVanishedIndexMoveToTheFirstIndexWithout) {
  auto def = MakeSampleDef("T", false);
  def->InternalIndexDefs()->Items(1)->SetIndexName("ByName2");
  def->KeyFields()->Add()->SetIndexName("ByName");  // a second part of the old index
  def->ReattachKeyFields();
  EXPECT_EQ(def->KeyFields()->Items(0)->IndexName(), "PK");
  EXPECT_EQ(def->KeyFields()->Items(1)->IndexName(), "ByName2");
  EXPECT_EQ(def->KeyFields()->Items(2)->IndexName(), "ByName2");
}

// --- memory tables ---------------------------------------------------------------

TEST(MemoryTableDefs, RowsLiveWhileTheManagerKeepsTheTable) {
  TMemoryTableDefMgr mgr;
  mgr.Open();
  auto def = MakeSampleDef("临时", true);
  EXPECT_UDB_ERROR(mgr.CreateTableDef("临时", MakeSampleDef("x", false).get()), 8577);
  mgr.CreateTableDef("临时", def.get());
  EXPECT_EQ(def->TableID(), 1);
  TTableDef user;
  mgr.OpenTableDefConnection("临时", &user);
  EXPECT_EQ(user.TableName(), "临时");  // the copy is assigned back
  EXPECT_EQ(user.RecordSize(), 52);
  EXPECT_NE(user.Header()->IndexRoot(1), 0u);
  {
    TSampleRows rows(&user);
    rows.Insert(1, "a", std::string(700, 'm'));
    rows.Insert(2, "b", "");
  }
  mgr.CloseTableDefConnection(user.TableID());
  EXPECT_EQ(mgr.ConnectionCount("临时"), 0);
  TTableDef later;
  mgr.OpenTableDefConnection("临时", &later);
  TSampleRows rows(&later);
  auto all = rows.ReadAll();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].note, std::string(700, 'm'));
  EXPECT_UDB_ERROR(mgr.RestructureTableDef(&later, TRestructureRequest()), 10766);
  EXPECT_UDB_ERROR(mgr.OpenTableDefConnection("none", &user), 8579);
  mgr.DeleteTableDef("临时", &later);
  EXPECT_EQ(mgr.Count(), 0);
  EXPECT_EQ(mgr.HeaderMgr().TableCount(), 0);

  TMemoryTableDefMgr system;
  system.SetSystem(1);
  system.Open();
  auto sys = MakeSampleDef("$SYS", true);
  system.CreateTableDef("$SYS", sys.get());
  EXPECT_EQ(sys->TableID(), 1024);
}

}  // namespace

namespace {

TEST_F(DiskTableDefs, RecordsShorterThanAFreeRunKeepTheirNeighboursWhenFreed) {
  auto def = std::make_unique<TTableDef>();  // no fields: 14-byte records
  mgr->CreateTableDef("Bare", def.get());
  mgr->OpenTableDefConnection("Bare", def.get());
  EXPECT_EQ(def->RecordSize(), 14);
  EXPECT_EQ(def->RecordIO()->BlockSize(), 16);
  TRecordMgr records;
  records.SetRecordSize(def->RecordSize());
  records.Open(def->RecordIO());
  std::vector<std::vector<std::uint8_t>> values;
  std::vector<TUdbAddr> at;
  for (int i = 0; i < 3; ++i) {
    std::vector<std::uint8_t> r(14, 0);
    r[0] = 1;
    udbfmt::PutU32(r.data() + 2, def->OwnerFlag() + 9);
    udbfmt::PutU32(r.data() + 6, static_cast<std::uint32_t>(i + 1));
    udbfmt::PutU32(r.data() + 10, 0xA5A5A5A5u);
    values.push_back(r);
    at.push_back(records.AppendRecord(r.data()));
  }
  records.DeleteRecord(at[1]);
  std::vector<std::uint8_t> back(14);
  for (int i : {0, 2}) {
    records.ReadRecord(at[static_cast<size_t>(i)], back.data(), false);
    EXPECT_EQ(back, values[static_cast<size_t>(i)]) << i;
  }
  mgr->CloseTableDefConnection(def->TableID());
}

}  // namespace

namespace {

TEST_F(DiskTableDefs, AFailedWriteLeavesEveryRowReadableAsBeforeOrAfter) {
  auto def = MakeSampleDef("T", false);
  mgr->CreateTableDef("T", def.get());
  mgr->OpenTableDefConnection("T", def.get());
  TSampleRows rows(def.get());
  const TUdbAddr a = rows.Insert(1, "old", std::string(1200, 'o'));
  rows.Insert(2, "other", std::string(900, 'p'));
  const TRow before{"old", std::string(1200, 'o')};
  const TRow after{"new", std::string(2000, 'n')};
  int n = 0;
  for (;; ++n) {
    ASSERT_LT(n, 100);
    db.fs.FailWriteAfter(n);
    TCaughtError e = CatchUdb([&] { rows.Update(a, after.name, after.note); });
    db.fs.FailWriteAfter(-1);
    auto all = rows.ReadAll();
    SCOPED_TRACE(n);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[2], (TRow{"other", std::string(900, 'p')}));
    if (e.code == -1) {
      EXPECT_EQ(all[1], after);
      break;
    }
    EXPECT_EQ(all[1], before);
  }
  EXPECT_GT(n, 0);
  mgr->CloseTableDefConnection(def->TableID());
  Reopen();
  auto again = MakeSampleDef("T", false);
  again->SetTableID(1);
  mgr->OpenTableDefConnection("T", again.get());
  TSampleRows reread(again.get());
  EXPECT_EQ(reread.ReadAll()[1], after);
  mgr->CloseTableDefConnection(1);
}

}  // namespace

namespace {

TEST_F(DiskTableDefs, AnotherConnectionsWritesAreSeenAfterTheHeaderIsReRead) {
  auto def = MakeSampleDef("T", false);
  mgr->CreateTableDef("T", def.get());
  mgr->OpenTableDefConnection("T", def.get());
  TSampleRows rowsA(def.get());
  rowsA.Insert(1, "from A", "");
  def->Header()->WriteHeader();
  EXPECT_EQ(rowsA.ReadAll().size(), 1u);  // A's cache now holds the record pages

  // A second connection to the same file adds a row and closes.
  {
    TDiskMgr disk;
    disk.SetFileSystem(&db.fs);
    disk.SetFileName(db.name);
    disk.Open();
    disk.SetMasterKey("");
    TDiskIOInterface headerIO;
    headerIO.SetDiskMgr(&disk);
    headerIO.SetBlockSize(256);
    headerIO.SetUsage(kUsageTableHeader);
    headerIO.SetMode(kIOModeRaw);
    headerIO.SetGlobalHeaderItem(udbfmt::kItemUserTableHdrFirstEmpty);
    headerIO.Open();
    TDiskTableDefMgr other;
    other.SetHeaderIO(&headerIO);
    other.SetMapAddress(3 * 4096);
    other.Open();
    auto defB = MakeSampleDef("T", false);
    defB->SetTableID(def->TableID());
    other.OpenTableDefConnection("T", defB.get());
    TSampleRows rowsB(defB.get());
    rowsB.Insert(2, "from B", "note B");
    other.CloseTableDefConnection(defB->TableID());
  }

  // A re-reads the header: the counter moved, its cached pages go, and the
  // free-run heads come from the header again.
  def->Header()->ReadHeader();
  def->LoadFirstEmpties();
  auto all = rowsA.ReadAll();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[2].note, "note B");
  const TUdbAddr third = rowsA.Insert(3, "from A again", "");
  EXPECT_NE(third, all[1].address);
  EXPECT_NE(third, all[2].address);
  EXPECT_EQ(rowsA.ReadAll().size(), 3u);
  mgr->CloseTableDefConnection(def->TableID());
}

}  // namespace
