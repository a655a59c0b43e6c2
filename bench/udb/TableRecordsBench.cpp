// Records and blobs per second through a table definition's block
// interfaces, on a database file on disk (plain, XOR and Blowfish pages)
// and in memory:
//   Append       new 52-byte records (free runs carved from page requests)
//   ReadWarm     reads of records already cached
//   UpdateDelete an update and a delete-and-append of one record
//   BlobRoundTrip  a blob of the given size written, read back, deleted
// Run: build/bench/bench_TableRecordsBench
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Udb/BlobInterface.h"
#include "Udb/DiskIOInterface.h"
#include "Udb/DiskMgr.h"
#include "Udb/RecordMgr.h"
#include "Udb/TableDefMgr.h"
#include "platform/core/Streams.h"

namespace {

std::unique_ptr<TTableDef> SampleDef(bool memory, TEncryptionLevel level) {
  auto def = std::make_unique<TTableDef>();
  def->SetTableName("bench");
  def->SetMemory(memory);
  def->SetEncryptionLevel(level);
  def->SetUsesBlobs(true);
  const TFieldType types[] = {ftInteger, ftString, ftMemo};
  for (int i = 0; i < 3; ++i) {
    auto* f = def->InternalFields()->Add();
    f->SetFieldName(std::string(1, static_cast<char>('A' + i)));
    f->SetDataType(types[i]);
    if (types[i] == ftString) f->SetFieldSize(21);
    f->SetFieldIndex(i);
  }
  return def;
}

// One open table of either kind.
struct TBenchTable {
  explicit TBenchTable(bool memory, TEncryptionLevel level = encNone) {
    def = SampleDef(memory, level);
    if (memory) {
      memMgr = std::make_unique<TMemoryTableDefMgr>();
      memMgr->Open();
      memMgr->CreateTableDef("bench", def.get());
      memMgr->OpenTableDefConnection("bench", def.get());
    } else {
      char name[] = "/tmp/udb-tablebench-XXXXXX";
      int fd = mkstemp(name);
      ::close(fd);
      path = name;
      disk = std::make_unique<TDiskMgr>();
      disk->SetFileName(path);
      disk->CreateNewFile(true);
      disk->Open();
      disk->SetMasterKey("");
      headerIO = std::make_unique<TDiskIOInterface>();
      headerIO->SetDiskMgr(disk.get());
      headerIO->SetBlockSize(256);
      headerIO->SetUsage(kUsageTableHeader);
      headerIO->SetMode(kIOModeRaw);
      headerIO->SetGlobalHeaderItem(udbfmt::kItemUserTableHdrFirstEmpty);
      headerIO->Open();
      diskMgr = std::make_unique<TDiskTableDefMgr>();
      diskMgr->SetHeaderIO(headerIO.get());
      diskMgr->SetMapAddress(3 * 4096);
      diskMgr->Open();
      diskMgr->CreateTableDef("bench", def.get());
      diskMgr->OpenTableDefConnection("bench", def.get());
    }
    records.Fields().Assign(def->InternalFields());
    records.SetRecordSize(def->RecordSize());
    blobs.SetIOInterface(def->BlobIO());
    blobs.SetBlockSize(def->DefaultBlobSize());
    blobs.Open();
    records.SetBlobInterface(&blobs);
    records.Open(def->RecordIO());
    record.assign(static_cast<size_t>(def->RecordSize()), 0);
    record[0] = 1;
    udbfmt::PutU32(record.data() + 2, def->OwnerFlag() + 9);
  }
  ~TBenchTable() {
    records.Close();
    diskMgr.reset();
    memMgr.reset();
    headerIO.reset();
    if (disk) disk->Close();
    if (!path.empty()) ::unlink(path.c_str());
  }

  std::unique_ptr<TTableDef> def;
  std::unique_ptr<TMemoryTableDefMgr> memMgr;
  std::unique_ptr<TDiskMgr> disk;
  std::unique_ptr<TDiskIOInterface> headerIO;
  std::unique_ptr<TDiskTableDefMgr> diskMgr;
  std::string path;
  TRecordMgr records;
  TBlobInterface blobs;
  std::vector<std::uint8_t> record;
};

// Arg: 0 memory, 1 plain, 3 XOR, 5 Blowfish.
TBenchTable* MakeTable(const benchmark::State& state) {
  switch (state.range(0)) {
    case 0: return new TBenchTable(true);
    case 3: return new TBenchTable(false, encWeak);
    case 5: return new TBenchTable(false, encStrong);
    default: return new TBenchTable(false);
  }
}

void BM_Append(benchmark::State& state) {
  std::unique_ptr<TBenchTable> t(MakeTable(state));
  std::uint32_t id = 0;
  for (auto _ : state) {
    udbfmt::PutU32(t->record.data() + 6, ++id);
    benchmark::DoNotOptimize(t->records.AppendRecord(t->record.data()));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Append)->Arg(0)->Arg(1)->Arg(3)->Arg(5);

void BM_ReadWarm(benchmark::State& state) {
  std::unique_ptr<TBenchTable> t(MakeTable(state));
  std::vector<TUdbAddr> at;
  for (int i = 0; i < 1000; ++i) at.push_back(t->records.AppendRecord(t->record.data()));
  std::vector<std::uint8_t> back(t->record.size());
  size_t i = 0;
  for (auto _ : state) {
    t->records.ReadRecord(at[i++ % at.size()], back.data(), true);
    benchmark::DoNotOptimize(back.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadWarm)->Arg(0)->Arg(1)->Arg(5);

void BM_UpdateDelete(benchmark::State& state) {
  std::unique_ptr<TBenchTable> t(MakeTable(state));
  TUdbAddr a = t->records.AppendRecord(t->record.data());
  for (auto _ : state) {
    t->records.WriteRecord(a, t->record.data());
    t->records.DeleteRecord(a);
    a = t->records.AppendRecord(t->record.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UpdateDelete)->Arg(0)->Arg(1);

void BM_BlobRoundTrip(benchmark::State& state) {
  TBenchTable t(state.range(0) == 0);
  const int size = static_cast<int>(state.range(1));
  TMemoryStream in;
  std::string data(static_cast<size_t>(size), 'x');
  in.WriteBuffer(data.data(), size);
  for (auto _ : state) {
    TUdbAddr a = t.blobs.WriteStream(&in);
    TMemoryStream out;
    t.blobs.ReadBlob(a, &out);
    t.blobs.DeleteBlob(a);
    benchmark::DoNotOptimize(out.Memory());
  }
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_BlobRoundTrip)->Args({0, 100})->Args({0, 100000})->Args({1, 100})->Args({1, 100000});

}  // namespace
