// Table maps and table headers in memory and in a database file: ids,
// slots, the write counter, sharing of open headers, deletes while held,
// failed adds, damaged maps; and the read-ahead buffer.
#include <gtest/gtest.h>

#include "Udb/DiskIOInterface.h"
#include "Udb/ReadAheadBuffer.h"
#include "Udb/TableHeader.h"
#include "UdbTestSupport.h"

namespace {

using udbfmt::GetU32;

// A memory interface that counts cache drops and can fail writes.
class TProbeIO : public TMemoryIOInterface {
 public:
  int invalidations = 0;
  int writes = 0;
  int failWrite = -1;  // the number of the one write that fails
  void InvalidateCache(std::uint16_t) override { ++invalidations; }
  void WriteBlock(TUdbAddr address, int size, const void* buffer) override {
    if (++writes == failWrite) UdbDatabaseError(8581, "TProbeIO.WriteBlock", "injected");
    TMemoryIOInterface::WriteBlock(address, size, buffer);
  }
};

struct MemoryMap : ::testing::Test {
  TProbeIO io;
  TTableHeaderMgr mgr;
  void SetUp() override { Make(mgr, udbhdr::kUserTableIdBase); }
  void Make(TTableHeaderMgr& m, int base) {
    io.SetBlockSize(256);
    io.SetUsage(1);
    io.Open();
    m.SetMapAddress(io.AllocateNewAddress(udbhdr::kMapSize, nullptr));
    m.SetIdBase(base);
    m.Open(&io);
  }
};

TEST_F(MemoryMap, IdsStartAtTheBaseAndDeletedIdsAreReused) {
  EXPECT_EQ(mgr.AddTable(2), 1);
  EXPECT_EQ(mgr.AddTable(0), 2);
  EXPECT_EQ(mgr.AddTable(0), 3);
  mgr.DeleteTable(1);
  EXPECT_EQ(mgr.TableCount(), 2);
  EXPECT_EQ(mgr.SlotTableId(0), 2);  // later slots moved down
  EXPECT_EQ(mgr.SlotTableId(1), 3);
  EXPECT_EQ(mgr.SlotTableId(2), 0);
  EXPECT_EQ(mgr.AddTable(0), 1);
  EXPECT_EQ(mgr.SlotTableId(2), 1);

  TTableHeaderMgr system;
  Make(system, udbhdr::kSystemTableIdBase);
  EXPECT_EQ(system.AddTable(1), 1024);
}

TEST_F(MemoryMap, NewHeaderHoldsIdSizeIndexCountAndCounterOne) {
  int id = mgr.AddTable(3);
  TTableHeader* h = mgr.OpenTable(id);
  EXPECT_EQ(h->TableId(), static_cast<std::uint32_t>(id));
  EXPECT_EQ(h->WriteCounter(), 1u);
  EXPECT_EQ(h->HeaderSize(), 256u);
  EXPECT_EQ(h->IndexCount(), 3u);
  EXPECT_EQ(h->IndexRoot(2), 0u);
  EXPECT_FALSE(h->Dirty());
  EXPECT_EQ(mgr.OpenHeaderCount(), 1);
  mgr.CloseTable(h);
  EXPECT_EQ(mgr.OpenHeaderCount(), 0);
}

TEST_F(MemoryMap, TheThousandthTableFitsAndTheNextIsRefused) {
  for (int i = 0; i < 999; ++i) mgr.AddTable(0);
  EXPECT_EQ(mgr.AddTable(0), 1000);
  EXPECT_EQ(mgr.SlotTableId(999), 1000);
  const int blocks = io.BlockCount();
  EXPECT_UDB_ERROR(mgr.AddTable(0), 9601);
  EXPECT_EQ(io.BlockCount(), blocks);
}

TEST_F(MemoryMap, MoreThan34IndexesAreRefused) {
  EXPECT_NO_THROW(mgr.AddTable(34));
  try {
    mgr.AddTable(35);
    FAIL();
  } catch (const EUdbDatabaseError&) {
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Debug check -  header size <> 256");
  }
}

TEST_F(MemoryMap, UnknownIdsAndNullHeadersAreReported) {
  mgr.AddTable(0);
  TCaughtError e = CatchUdb([&] { mgr.OpenTable(7); });
  EXPECT_EQ(e.code, 8581);
  EXPECT_NE(e.message.find("The TableID could not be found: 7"), std::string::npos) << e.message;
  EXPECT_UDB_ERROR(mgr.DeleteTable(7), 8579);
  EXPECT_UDB_ERROR(mgr.CloseTable(nullptr), 8581);
}

TEST_F(MemoryMap, OpenHeadersAreSharedAndWrittenOnceAtTheLastClose) {
  int id = mgr.AddTable(1);
  TTableHeader* a = mgr.OpenTable(id);
  TTableHeader* b = mgr.OpenTable(id);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->OpenCount(), 2);
  a->SetLastRecordID(41);
  a->SetIndexRoot(0, 4096);
  a->SetIndexDepth(0, 1);
  const int writes = io.writes;
  mgr.CloseTable(a);
  EXPECT_EQ(io.writes, writes);  // still held
  mgr.CloseTable(b);
  EXPECT_EQ(io.writes, writes + 1);
  TTableHeader* c = mgr.OpenTable(id);
  EXPECT_EQ(c->LastRecordID(), 41u);
  EXPECT_EQ(c->IndexRoot(0), 4096u);
  EXPECT_EQ(c->IndexDepth(0), 1);
  EXPECT_EQ(c->WriteCounter(), 2u);
  // Writing the value it already holds leaves the header clean: no write.
  c->SetLastRecordID(41);
  c->SetLastAutoInc(0);
  EXPECT_FALSE(c->Dirty());
  mgr.CloseTable(c);
  EXPECT_EQ(io.writes, writes + 1);
}

TEST_F(MemoryMap, ItemsOutsideTheHeaderAreRefused) {
  TTableHeader* h = mgr.OpenTable(mgr.AddTable(2));
  EXPECT_UDB_ERROR(h->GetDWord(253), 8581);
  EXPECT_UDB_ERROR(h->SetDWord(256, 1), 8581);
  EXPECT_UDB_ERROR(h->GetWord(255), 8581);
  EXPECT_UDB_ERROR(h->IndexRoot(2), 8581);
  EXPECT_UDB_ERROR(h->SetIndexDepth(-1, 1), 8581);
  EXPECT_FALSE(h->Dirty());
  mgr.CloseTable(h);
}

TEST_F(MemoryMap, ChangedWriteCounterDropsTheTablesCachedPages) {
  int id = mgr.AddTable(0);
  TTableHeader* h = mgr.OpenTable(id);
  const int base = io.invalidations;
  h->ReadHeader();  // nobody wrote it
  EXPECT_EQ(io.invalidations, base);
  // Another connection writes the header: the counter on disk moves on.
  std::vector<std::uint8_t> bytes(256);
  io.ReadBlock(h->Address(), 256, bytes.data());
  udbfmt::PutU32(bytes.data() + 4, GetU32(bytes.data() + 4) + 1);
  udbfmt::PutU32(bytes.data() + 20, 77);
  io.WriteBlock(h->Address(), 256, bytes.data());
  h->ReadHeader();
  EXPECT_EQ(io.invalidations, base + 1);
  EXPECT_EQ(h->LastRecordID(), 77u);
  mgr.CloseTable(h);
}

TEST_F(MemoryMap, ADeletedTablesHeaderNeverServesANewTableWithItsId) {
  int id = mgr.AddTable(0);
  TTableHeader* stale = mgr.OpenTable(id);
  stale->SetLastRecordID(500);
  stale->SetLastAutoInc(9);
  mgr.DeleteTable(id);
  EXPECT_EQ(mgr.OpenHeaderCount(), 0);
  EXPECT_TRUE(stale->Detached());
  EXPECT_EQ(mgr.AddTable(0), id);
  TTableHeader* fresh = mgr.OpenTable(id);
  EXPECT_NE(fresh, stale);
  EXPECT_EQ(fresh->LastRecordID(), 0u);
  const int writes = io.writes;
  mgr.CloseTable(stale);  // its holder lets go: nothing is written
  EXPECT_EQ(io.writes, writes);
  EXPECT_EQ(fresh->LastAutoInc(), 0u);
  mgr.CloseTable(fresh);
}

TEST_F(MemoryMap, FailedAddLeavesNeitherSlotNorBlock) {
  mgr.AddTable(0);
  const int blocks = io.BlockCount();
  // The map write succeeds, the header write fails.
  io.failWrite = io.writes + 2;
  EXPECT_UDB_ERROR(mgr.AddTable(0), 8581);
  mgr.ReadMap();
  EXPECT_EQ(mgr.TableCount(), 1);
  EXPECT_EQ(io.BlockCount(), blocks);
  EXPECT_EQ(mgr.AddTable(0), 2);
}

TEST_F(MemoryMap, DamagedMapsAndHeadersRaise8451WithoutWriting) {
  int id = mgr.AddTable(0);
  std::vector<std::uint8_t> map(udbhdr::kMapSize);
  io.ReadBlock(mgr.MapAddress(), udbhdr::kMapSize, map.data());
  const auto good = map;
  struct Damage { const char* what; int offset; std::uint32_t value; };
  const Damage cases[] = {{"id past the range", 0, 1001},
                          {"no header address", 4, 0},
                          {"gap before a used slot", 16, 5}};
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.what);
    map = good;
    udbfmt::PutU32(map.data() + d.offset, d.value);
    if (d.offset == 16) udbfmt::PutU32(map.data() + 20, 999);
    io.WriteBlock(mgr.MapAddress(), udbhdr::kMapSize, map.data());
    const int writes = io.writes;
    EXPECT_UDB_ERROR(mgr.AddTable(0), 8451);
    EXPECT_UDB_ERROR(mgr.DeleteTable(id), 8451);
    EXPECT_EQ(io.writes, writes);
  }
  io.WriteBlock(mgr.MapAddress(), udbhdr::kMapSize, good.data());
  // A header whose size item is not 256.
  std::vector<std::uint8_t> hdr(256);
  const TUdbAddr at = mgr.SlotAddress(0);
  io.ReadBlock(at, 256, hdr.data());
  udbfmt::PutU32(hdr.data() + 8, 4000);
  io.WriteBlock(at, 256, hdr.data());
  EXPECT_UDB_ERROR(mgr.OpenTable(id), 8451);
  EXPECT_UDB_ERROR(mgr.DeleteTable(id), 8451);
  EXPECT_EQ(mgr.TableCount(), 1);
}

TEST(DiskTableMap, MapAndHeadersLiveInTheFileAcrossReopen) {
  TMemDatabase db;
  auto makeIO = [&](TDiskIOInterface& io) {
    io.SetDiskMgr(db.disk.get());
    io.SetBlockSize(256);
    io.SetUsage(1);
    io.SetMode(kIOModeRaw);
    io.SetGlobalHeaderItem(udbfmt::kItemUserTableHdrFirstEmpty);
    io.Open();
  };
  const TUdbAddr userMap = 3 * 4096;
  TUdbAddr headerAt;
  {
    TDiskIOInterface io;
    makeIO(io);
    TTableHeaderMgr mgr;
    mgr.SetMapAddress(userMap);
    mgr.Open(&io);
    EXPECT_EQ(mgr.AddTable(2), 1);
    EXPECT_EQ(mgr.AddTable(0), 2);
    TTableHeader* h = mgr.OpenTable(1);
    h->SetLastRecordID(12);
    h->SetRecordFirstEmpty(0x12345);
    headerAt = h->Address();
    mgr.CloseTable(h);
  }
  // The bytes of the map and the first header.
  EXPECT_EQ(db.U32(userMap), 1u);
  EXPECT_EQ(db.U32(userMap + 4), headerAt);
  EXPECT_EQ(db.U32(userMap + 8), 2u);
  EXPECT_EQ(db.U32(userMap + 16), 0u);
  EXPECT_EQ(db.U32(headerAt + 0), 1u);
  EXPECT_EQ(db.U32(headerAt + 4), 2u);  // written at add and at close
  EXPECT_EQ(db.U32(headerAt + 8), 256u);
  EXPECT_EQ(db.U32(headerAt + 12), 0x12345u);
  EXPECT_EQ(db.U32(headerAt + 20), 12u);
  EXPECT_EQ(db.U32(headerAt + 36), 2u);
  // The second header came from the spare blocks of the first request.
  EXPECT_EQ(db.U32(userMap + 12), headerAt + 256);

  db.Reopen();
  TDiskIOInterface io;
  makeIO(io);
  TTableHeaderMgr mgr;
  mgr.SetMapAddress(userMap);
  mgr.Open(&io);
  TTableHeader* h = mgr.OpenTable(1);
  EXPECT_EQ(h->LastRecordID(), 12u);
  mgr.CloseTable(h);
  mgr.DeleteTable(1);
  EXPECT_EQ(mgr.AddTable(0), 1);
  EXPECT_EQ(mgr.SlotAddress(1), headerAt);  // the freed block is reused
  TTableHeaderMgr unset;
  EXPECT_UDB_ERROR(unset.Open(&io), 8581);
}

TEST(ReadAheadBuffer, ReusesBuffersAndFindsNeighboursByAddress) {
  TReadAheadBuffer buf;
  buf.Init(35, 20, 3);
  for (int i = 0; i < 3; ++i) {
    TReadAheadBufferItem* item = buf.Add();
    item->RecordAddress = 100 + 10 * static_cast<TUdbAddr>(i);
    item->RecordNumber = i + 1;
    item->RecordBuffer[34] = static_cast<std::uint8_t>(i);
  }
  std::uint8_t* first = buf.Items(0)->RecordBuffer;
  EXPECT_EQ(buf.IndexOfAddress(110), 1);
  EXPECT_EQ(buf.IndexOfAddress(999), -1);
  EXPECT_EQ(buf.NextOf(110)->RecordAddress, 120u);
  EXPECT_EQ(buf.PriorOf(110)->RecordAddress, 100u);
  EXPECT_EQ(buf.NextOf(120), nullptr);
  EXPECT_EQ(buf.PriorOf(100), nullptr);
  EXPECT_EQ(buf.Last()->RecordNumber, 3);
  EXPECT_TRUE(buf.Covers(3));
  EXPECT_FALSE(buf.Covers(4));
  buf.Delete(1);
  EXPECT_EQ(buf.ItemOfAddress(110), nullptr);
  buf.Reset();
  EXPECT_FALSE(buf.Covers(1));
  EXPECT_EQ(buf.Add()->RecordBuffer, first);  // reused
  buf.Clear();
  EXPECT_EQ(buf.Count(), 0);
}

}  // namespace
