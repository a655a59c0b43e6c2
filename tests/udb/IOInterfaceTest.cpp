// Block I/O interfaces: free runs and request sizing on disk, checked
// memory blocks, blob chains, and damaged runs and chains refused before
// anything is written.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "Udb/BlobInterface.h"
#include "Udb/DiskIOInterface.h"
#include "UdbTestSupport.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"

namespace {

using udbfmt::GetU32;

std::vector<std::uint8_t> Filled(int size, std::uint8_t seed) {
  std::vector<std::uint8_t> v(static_cast<size_t>(size));
  for (int i = 0; i < size; ++i) v[static_cast<size_t>(i)] = static_cast<std::uint8_t>(seed + i * 7);
  return v;
}

struct DiskFixture : ::testing::Test {
  TMemDatabase db;
  TDiskIOInterface io;

  void OpenIO(int blockSize, int globalItem = 0, std::uint16_t tableId = 3, std::uint16_t usage = 9) {
    io.SetDiskMgr(db.disk.get());
    io.SetBlockSize(blockSize);
    io.SetUsage(usage);
    io.SetTableId(tableId);
    io.SetGlobalHeaderItem(globalItem);
    io.Open();
    if (globalItem == 0) io.SetFirstEmpty(0);
  }
  std::uint32_t FileU32(TUdbAddr at) { return db.U32(at); }
};

TEST_F(DiskFixture, FirstAllocationCarvesOnePageIntoOneBlockAndOneFreeRun) {
  OpenIO(100);
  auto data = Filled(100, 1);
  TUdbAddr a = io.AllocateNewAddress(100, data.data());
  EXPECT_EQ(a % 4096, 0u);
  EXPECT_EQ(io.FirstEmpty(), a + 100);
  EXPECT_EQ(FileU32(a + 100 + 8), 0u);   // no next run
  EXPECT_EQ(FileU32(a + 100 + 12), 39u);  // 39 spare blocks
  std::vector<std::uint8_t> back(100);
  io.ReadBlock(a, 100, back.data());
  EXPECT_EQ(back, data);

  // The next 39 take the spare blocks in order; the 41st needs a new page.
  for (int i = 1; i <= 39; ++i) EXPECT_EQ(io.AllocateNewAddress(100, data.data()), a + 100u * i);
  EXPECT_EQ(io.FirstEmpty(), 0u);
  TUdbAddr b = io.AllocateNewAddress(100, data.data());
  EXPECT_EQ(b % 4096, 0u);
  EXPECT_NE(b, a);
  std::vector<TUdbAddr> blocks;
  io.ListBlocks(blocks);
  EXPECT_EQ(blocks.size(), 80u);  // two requests of 40 blocks
}

TEST_F(DiskFixture, ReleasedBytesBecomeARunAtTheFrontOfTheList) {
  OpenIO(100);
  TUdbAddr a = io.AllocateNewAddress(100, nullptr);
  const TUdbAddr head = io.FirstEmpty();
  io.ReleaseBlock(a, 250);  // three blocks
  EXPECT_EQ(io.FirstEmpty(), a);
  EXPECT_EQ(FileU32(a + 8), head);
  EXPECT_EQ(FileU32(a + 12), 3u);
  EXPECT_UDB_ERROR(io.ReleaseBlock(a, 100), 8581);  // a second free of the head
  // Reuse takes the released run first, block by block.
  EXPECT_EQ(io.AllocateNewAddress(100, nullptr), a);
  EXPECT_EQ(io.FirstEmpty(), a + 100);
  EXPECT_EQ(FileU32(a + 100 + 12), 2u);
}

TEST_F(DiskFixture, ReleasingAWholePageReturnsItToTheMap) {
  OpenIO(4096, 0, 3, 8);
  TUdbAddr a = io.AllocateNewAddress(4096, Filled(4096, 3).data());
  EXPECT_EQ(io.FirstEmpty(), 0u);
  std::vector<TUdbAddr> before;
  io.ListBlocks(before);
  ASSERT_EQ(before.size(), 1u);
  io.ReleaseBlock(a, 4096);
  EXPECT_EQ(io.FirstEmpty(), 0u);
  std::vector<TUdbAddr> after;
  io.ListBlocks(after);
  EXPECT_TRUE(after.empty());
  // The page is reused by the next allocation of any owner.
  EXPECT_EQ(io.AllocateNewAddress(4096, nullptr), a);
}

TEST_F(DiskFixture, OwnerKeptHeadIsReportedOnEveryChange) {
  OpenIO(512);
  std::vector<TUdbAddr> seen;
  io.OnFirstEmptyChange = [&](TUdbAddr a) { seen.push_back(a); };
  TUdbAddr a = io.AllocateNewAddress(512, nullptr);
  TUdbAddr b = io.AllocateNewAddress(512, nullptr);
  io.ReleaseBlock(a, 512);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], a + 512);
  EXPECT_EQ(seen[1], b + 512);
  EXPECT_EQ(seen[2], a);
}

TEST_F(DiskFixture, OwnerKeptHeadMustBeSetBeforeUse) {
  OpenIO(512);
  io.SetFirstEmptyValid(false);
  EXPECT_UDB_ERROR(io.AllocateNewAddress(512, nullptr), 8581);
}

TEST_F(DiskFixture, GlobalHeadLivesInTheGlobalHeaderAcrossReopen) {
  OpenIO(256, udbfmt::kItemUserTableHdrFirstEmpty, 0, 1);
  TUdbAddr a = io.AllocateNewAddress(256, nullptr);
  EXPECT_EQ(db.U32(udbfmt::kGlobalHeaderOffset + udbfmt::kItemUserTableHdrFirstEmpty), a + 256);
  db.Reopen();
  TDiskIOInterface again;
  again.SetDiskMgr(db.disk.get());
  again.SetBlockSize(256);
  again.SetUsage(1);
  again.SetGlobalHeaderItem(udbfmt::kItemUserTableHdrFirstEmpty);
  again.Open();
  EXPECT_EQ(again.AllocateNewAddress(256, nullptr), a + 256);
}

TEST_F(DiskFixture, OpenRefusesMissingSettings) {
  TDiskIOInterface noDisk;
  noDisk.SetUsage(9);
  noDisk.SetBlockSize(100);
  EXPECT_UDB_ERROR(noDisk.Open(), 8581);
  TDiskIOInterface noUsage;
  noUsage.SetDiskMgr(db.disk.get());
  noUsage.SetBlockSize(100);
  EXPECT_UDB_ERROR(noUsage.Open(), 8581);
  TDiskIOInterface noSize;
  noSize.SetDiskMgr(db.disk.get());
  noSize.SetUsage(9);
  EXPECT_UDB_ERROR(noSize.Open(), 8581);
  OpenIO(100);
  EXPECT_UDB_ERROR(io.AllocateNewAddress(101, nullptr), 8581);
}

TEST_F(DiskFixture, DamagedFreeRunIsRefusedBeforeAnyWrite) {
  OpenIO(100);
  TUdbAddr a = io.AllocateNewAddress(100, nullptr);
  // Damage the run header behind the block: a count of 0, then a self link.
  for (auto damage : {0, 1}) {
    std::vector<std::uint8_t> run(100, 0);
    if (damage == 0) {
      udbfmt::PutU32(run.data() + 12, 0);
    } else {
      udbfmt::PutU32(run.data() + 8, a + 100);
      udbfmt::PutU32(run.data() + 12, 1);
    }
    io.WriteBlock(a + 100, 100, run.data());
    auto before = db.Bytes();
    EXPECT_UDB_ERROR(io.AllocateNewAddress(100, Filled(100, 9).data()), 8451);
    EXPECT_EQ(db.Bytes(), before);
    EXPECT_EQ(io.FirstEmpty(), a + 100);
  }
}

// A run's head block holds nothing but its link and count: one stray byte
// anywhere else (either side of the header, at every word boundary of the
// check, in the odd tail of a block) means the block is in use, and it is
// never handed out; a head with its header alone is taken.
TEST_F(DiskFixture, ARunHeadWithAnyOtherByteSetIsRefused) {
  OpenIO(101);
  const TUdbAddr a = io.AllocateNewAddress(101, nullptr);
  const TUdbAddr head = io.FirstEmpty();
  ASSERT_EQ(head, a + 101);
  std::vector<std::uint8_t> run(101, 0);
  io.ReadBlock(head, 101, run.data());
  for (int at : {0, 1, 7, 16, 23, 24, 31, 32, 95, 96, 99, 100}) {
    SCOPED_TRACE(at);
    std::vector<std::uint8_t> damaged = run;
    damaged[static_cast<size_t>(at)] = 0x40;
    io.WriteBlock(head, 101, damaged.data());
    auto before = db.Bytes();
    EXPECT_UDB_ERROR(io.AllocateNewAddress(101, Filled(101, 9).data()), 8451);
    EXPECT_EQ(db.Bytes(), before);
  }
  io.WriteBlock(head, 101, run.data());
  EXPECT_EQ(io.AllocateNewAddress(101, nullptr), head);
}

TEST(BaseIOInterface, UnimplementedOperationsRaise10065) {
  TBaseIOInterface base;
  std::uint8_t b[4] = {};
  EXPECT_UDB_ERROR(base.Empty(false), 10065);
  EXPECT_UDB_ERROR(base.AllocateNewAddress(4, b), 10065);
  EXPECT_UDB_ERROR(base.ReleaseBlock(16, 4), 10065);
  EXPECT_UDB_ERROR(base.WriteBlock(16, 4, b), 10065);
  EXPECT_UDB_ERROR(base.WriteBlockHeader(16, 4, b), 10065);
  base.ReadBlock(16, 4, b);  // does nothing
  EXPECT_EQ(base.NextBlock(0), 0u);
  EXPECT_FALSE(base.AddressInUse(16));
}

TEST(MemoryIOInterface, BlocksAreCheckedCopiesInAllocationOrder) {
  TMemoryIOInterface io;
  io.SetBlockSize(32);
  io.Open();
  auto d1 = Filled(32, 1), d2 = Filled(16, 2);
  TUdbAddr a = io.AllocateNewAddress(32, d1.data());
  TUdbAddr b = io.AllocateNewAddress(16, d2.data());
  TUdbAddr c = io.AllocateNewAddress(8, nullptr);
  EXPECT_EQ(io.NextBlock(0), a);
  EXPECT_EQ(io.NextBlock(a), b);
  EXPECT_EQ(io.NextBlock(c), 0u);
  std::vector<std::uint8_t> back(32);
  io.ReadBlock(a, 32, back.data());
  EXPECT_EQ(back, d1);
  io.WriteBlock(b, 4, d1.data());
  io.ReadBlockHeader(b, 16, back.data());
  EXPECT_EQ(std::memcmp(back.data(), d1.data(), 4), 0);
  EXPECT_EQ(back[4], d2[4]);
  std::uint8_t zeros[8] = {1};
  io.ReadBlock(c, 8, zeros);
  EXPECT_EQ(zeros[0], 0);

  io.ReleaseBlock(b, 16);
  EXPECT_FALSE(io.AddressInUse(b));
  EXPECT_EQ(io.NextBlock(a), c);
  std::vector<TUdbAddr> list;
  io.ListBlocks(list);
  EXPECT_EQ(list, (std::vector<TUdbAddr>{a, c}));
}

TEST(MemoryIOInterface, UnknownAddressesAndOversizedAccessRaise8581) {
  TMemoryIOInterface io;
  io.SetBlockSize(32);
  io.Open();
  TStringList debug;
  io.SetDebugList(&debug);
  TUdbAddr a = io.AllocateNewAddress(32, nullptr);
  std::uint8_t buf[64] = {};
  TCaughtError e = CatchUdb([&] { io.ReadBlock(a + 1234, 8, buf); });
  EXPECT_EQ(e.code, 8581);
  EXPECT_NE(e.message.find(std::to_string(a + 1234)), std::string::npos) << e.message;
  EXPECT_GE(debug.Count(), 2);
  // Header access and writes at unknown addresses are refused too.
  EXPECT_UDB_ERROR(io.ReadBlockHeader(a + 16, 8, buf), 8581);
  EXPECT_UDB_ERROR(io.WriteBlockHeader(a + 16, 8, buf), 8581);
  EXPECT_UDB_ERROR(io.WriteBlock(a + 16, 8, buf), 8581);
  EXPECT_UDB_ERROR(io.ReadBlock(a, 33, buf), 8581);
  EXPECT_UDB_ERROR(io.WriteBlock(a, 64, buf), 8581);
  EXPECT_UDB_ERROR(io.ReadBlock(a, 8, nullptr), 8581);
  EXPECT_UDB_ERROR(io.WriteBlock(a, 8, nullptr), 8581);
}

// --- blobs ---------------------------------------------------------------------

struct BlobCase {
  int size;
  std::vector<std::uint32_t> counts;
};

class BlobChain : public ::testing::TestWithParam<BlobCase> {};

TEST_P(BlobChain, BlocksHoldFullPiecesAndTheRemainderLast) {
  TMemoryIOInterface io;
  io.SetBlockSize(4096);
  io.Open();
  TBlobInterface blob;
  blob.SetIOInterface(&io);
  blob.SetBlockSize(4096);
  blob.Open();
  auto data = Filled(GetParam().size, 5);
  TMemoryStream in;
  in.WriteBuffer(data.data(), static_cast<int>(data.size()));
  TUdbAddr first = blob.WriteStream(&in);
  std::vector<std::uint32_t> counts;
  std::vector<std::uint8_t> block(4096);
  for (TUdbAddr a = first; a != 0; a = GetU32(block.data())) {
    io.ReadBlock(a, 4096, block.data());
    counts.push_back(GetU32(block.data() + 4));
  }
  EXPECT_EQ(counts, GetParam().counts);
  TMemoryStream out;
  blob.ReadBlob(first, &out);
  ASSERT_EQ(out.Size(), GetParam().size);
  EXPECT_EQ(std::memcmp(out.Memory(), data.data(), data.size()), 0);
  blob.DeleteBlob(first);
  EXPECT_EQ(io.BlockCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlobChain,
                         ::testing::Values(BlobCase{10, {10}}, BlobCase{4088, {4088}},
                                           BlobCase{8176, {4088, 4088}},
                                           BlobCase{8177, {4088, 4088, 1}}));

TEST(BlobInterface, EmptyBlobHasNoAddress) {
  TMemoryIOInterface io;
  TBlobInterface blob;
  blob.SetIOInterface(&io);
  blob.SetBlockSize(512);
  blob.Open();
  TMemoryStream empty;
  EXPECT_EQ(blob.WriteStream(&empty), 0u);
  blob.ReadBlob(0, &empty);
  EXPECT_EQ(empty.Size(), 0);
  TBlobInterface unset;
  EXPECT_UDB_ERROR(unset.Open(), 8581);
  unset.SetIOInterface(&io);
  EXPECT_UDB_ERROR(unset.Open(), 8581);
}

TEST_F(DiskFixture, BlobsOnDiskSurviveReopenAndFreeTheirBlocks) {
  OpenIO(512, 0, 4, 10);
  TBlobInterface blob;
  blob.SetIOInterface(&io);
  blob.SetBlockSize(512);
  blob.Open();
  auto data = Filled(3000, 11);
  TMemoryStream in;
  in.WriteBuffer(data.data(), 3000);
  TUdbAddr first = blob.WriteStream(&in);
  const TUdbAddr head = io.FirstEmpty();
  db.Reopen();
  TDiskIOInterface again;
  again.SetDiskMgr(db.disk.get());
  again.SetBlockSize(512);
  again.SetUsage(10);
  again.SetTableId(4);
  again.Open();
  again.SetFirstEmpty(head);
  TBlobInterface blob2;
  blob2.SetIOInterface(&again);
  blob2.SetBlockSize(512);
  blob2.Open();
  TMemoryStream out;
  blob2.ReadBlob(first, &out);
  ASSERT_EQ(out.Size(), 3000);
  EXPECT_EQ(std::memcmp(out.Memory(), data.data(), 3000), 0);
  auto chain = blob2.ChainOf(first);
  ASSERT_EQ(chain.size(), 6u);  // 3000 bytes in pieces of 504
  blob2.DeleteBlob(first);
  // The released blocks are at the front of the free list, last one first.
  EXPECT_EQ(again.FirstEmpty(), chain.back());
  auto full = Filled(504 * 6, 13);
  TMemoryStream in2;
  in2.WriteBuffer(full.data(), 504 * 6);
  TUdbAddr reused = blob2.WriteStream(&in2);
  EXPECT_EQ(blob2.ChainOf(reused).size(), 6u);
}

TEST(BlobInterface, DamagedChainsRaiseAndReleaseNothing) {
  TMemoryIOInterface io;
  TBlobInterface blob;
  blob.SetIOInterface(&io);
  blob.SetBlockSize(64);
  blob.Open();
  auto data = Filled(56 * 3, 1);
  TMemoryStream in;
  in.WriteBuffer(data.data(), static_cast<int>(data.size()));
  TUdbAddr first = blob.WriteStream(&in);
  auto chain = blob.ChainOf(first);
  ASSERT_EQ(chain.size(), 3u);

  // The last block links back to the first: a loop.
  std::uint8_t block[64];
  io.ReadBlock(chain[2], 64, block);
  udbfmt::PutU32(block, first);
  udbfmt::PutU32(block + 4, 56);
  io.WriteBlock(chain[2], 64, block);
  TMemoryStream out;
  EXPECT_UDB_ERROR(blob.ReadBlob(first, &out), 8451);
  EXPECT_EQ(out.Size(), 0);
  EXPECT_UDB_ERROR(blob.DeleteBlob(first), 8451);
  EXPECT_EQ(io.BlockCount(), 3);

  // A count larger than a block holds.
  udbfmt::PutU32(block, 0);
  udbfmt::PutU32(block + 4, 57);
  io.WriteBlock(chain[2], 64, block);
  EXPECT_UDB_ERROR(blob.ReadBlob(first, &out), 8451);
  EXPECT_UDB_ERROR(blob.DeleteBlob(first), 8451);
  EXPECT_EQ(io.BlockCount(), 3);
}

}  // namespace

// The index nodes' free list is shared by every table: a table is never
// handed a block from another table's page (another size, another cipher);
// it allocates anew and keeps the others' runs linked behind its own.
TEST(SharedIndexNodeList, ATableNeverTakesAnotherTablesBlocks) {
  TMemDatabase db;
  auto open = [&](TDiskIOInterface& io, int size, std::uint16_t table) {
    io.SetDiskMgr(db.disk.get());
    io.SetBlockSize(size);
    io.SetUsage(kUsageIndex);
    io.SetTableId(table);
    io.SetGlobalHeaderItem(udbfmt::kItemIndexNodeFirstEmpty);
    io.Open();
  };
  TDiskIOInterface small, big, mid;
  open(small, 512, 3);
  open(big, 4096, 4);
  open(mid, 1024, 5);
  const TUdbAddr s1 = small.AllocateNewAddress(512, Filled(512, 1).data());
  const TUdbAddr s2 = small.AllocateNewAddress(512, Filled(512, 2).data());
  small.ReleaseBlock(s2, 512);
  const TUdbAddr smallPage = s1 - s1 % 4096;
  ASSERT_EQ(db.disk->GlobalHeader().GetItem(udbfmt::kItemIndexNodeFirstEmpty), s2);
  // 4096-byte nodes: a page of their own, never the 512-byte run.
  const TUdbAddr b = big.AllocateNewAddress(4096, Filled(4096, 3).data());
  EXPECT_NE(b - b % 4096, smallPage);
  // 1024-byte nodes: a new request whose spare run is linked before the
  // 512-byte run, which stays reachable.
  const TUdbAddr m = mid.AllocateNewAddress(1024, Filled(1024, 4).data());
  EXPECT_NE(m - m % 4096, smallPage);
  const TUdbAddr head = db.disk->GlobalHeader().GetItem(udbfmt::kItemIndexNodeFirstEmpty);
  EXPECT_EQ(head, m + 1024);
  EXPECT_EQ(db.U32(head + 8), s2);  // the run's next
  // Every block still holds what its owner wrote.
  std::vector<std::uint8_t> back(512);
  small.ReadBlock(s1, 512, back.data());
  EXPECT_EQ(back, Filled(512, 1));
  std::vector<std::uint8_t> back2(4096);
  big.ReadBlock(b, 4096, back2.data());
  EXPECT_EQ(back2, Filled(4096, 3));
}
