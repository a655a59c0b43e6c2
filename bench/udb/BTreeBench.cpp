// Index B-tree throughput over memory blocks: inserts, point searches and
// range scans per second, for an integer key and for a string key (with the
// hidden RecordID part) under both string orders.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Udb/BTree.h"
#include "Udb/IOInterface.h"

namespace {

// Record: 0 in-use, 6 RecordID, 10 null flag, 11 integer, 15 size marker,
// 17 string (20 bytes).
constexpr int kRecordSize = 40;
constexpr int kStringSize = 20;

enum KeyKind { kIntKey, kStringKey };

void DefineKey(TKeyFields& f, KeyKind kind) {
  TKeyFieldItem* p = f.Add();
  p->SetIndexName("I");
  p->SetNullFlagOffset(10);
  if (kind == kIntKey) {
    p->SetFieldName("N");
    p->SetDataType(ftInteger);
    p->SetFieldSize(4);
    p->SetRecBufOffset(11);
    return;
  }
  p->SetFieldName("S");
  p->SetDataType(ftString);
  p->SetFieldSize(kStringSize);
  p->SetRecBufOffset(17);
  p->SetSizeMarkerOffset(15);
  TKeyFieldItem* id = f.Add();
  id->SetIndexName("I");
  id->SetDataType(ftInteger);
  id->SetFieldSize(4);
  id->SetRecBufOffset(6);
  id->SetNullFlagOffset(0);
  id->SetHidden(true);
  id->SetPhysicalFieldNo(-1);
}

std::vector<std::vector<std::uint8_t>> MakeRecords(KeyKind kind, int count) {
  std::mt19937 rng(42);
  std::vector<std::vector<std::uint8_t>> records;
  for (int i = 0; i < count; ++i) {
    std::vector<std::uint8_t> r(kRecordSize, 0);
    r[0] = 1;
    r[10] = 1;
    const std::int32_t id = i + 1;
    std::memcpy(&r[6], &id, 4);
    if (kind == kIntKey) {
      const std::int32_t v = static_cast<std::int32_t>(rng());
      std::memcpy(&r[11], &v, 4);
    } else {
      const int len = 6 + static_cast<int>(rng() % 12);
      for (int k = 0; k < len; ++k) r[static_cast<size_t>(17 + k)] = static_cast<std::uint8_t>("aBcDeFgH"[rng() % 8]);
      r[15] = static_cast<std::uint8_t>(len);
    }
    records.push_back(std::move(r));
  }
  return records;
}

struct Index {
  TMemoryIOInterface io;
  std::uint32_t root = 0;
  std::uint32_t depth = 0;
  TBTree tree;
  Index(KeyKind kind, TSortOrder order) {
    io.SetBlockSize(4096);
    io.SetUsage(kUsageIndex);
    io.Open();
    TKeyFields f;
    DefineKey(f, kind);
    tree.Init(&io, 4096, &root, &depth);
    tree.CreateRoot();
    tree.SetKeyFields(f);
    tree.SetSortFunction(SortFunctionFor(order));
    tree.Open();
  }
  void Insert(const std::vector<std::uint8_t>& record, TUdbAddr address) {
    tree.SetSearchKeyFromRecord(record.data());
    tree.Insert(address);
  }
};

constexpr int kCount = 20000;

void BM_Insert(benchmark::State& state, KeyKind kind, TSortOrder order) {
  const auto records = MakeRecords(kind, kCount);
  for (auto _ : state) {
    Index index(kind, order);
    for (int i = 0; i < kCount; ++i) index.Insert(records[static_cast<size_t>(i)], static_cast<TUdbAddr>(16 * (i + 1)));
    benchmark::DoNotOptimize(index.depth);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_PointSearch(benchmark::State& state, KeyKind kind, TSortOrder order) {
  const auto records = MakeRecords(kind, kCount);
  Index index(kind, order);
  for (int i = 0; i < kCount; ++i) index.Insert(records[static_cast<size_t>(i)], static_cast<TUdbAddr>(16 * (i + 1)));
  size_t i = 0;
  for (auto _ : state) {
    index.tree.SetSearchKeyFromRecord(records[i].data());
    benchmark::DoNotOptimize(index.tree.Find(2));
    i = (i + 7919) % records.size();
  }
  state.SetItemsProcessed(state.iterations());
}

// One search, then 100 steps: items are keys visited.
void BM_RangeScan(benchmark::State& state, KeyKind kind, TSortOrder order) {
  const auto records = MakeRecords(kind, kCount);
  Index index(kind, order);
  for (int i = 0; i < kCount; ++i) index.Insert(records[static_cast<size_t>(i)], static_cast<TUdbAddr>(16 * (i + 1)));
  size_t i = 0;
  std::int64_t visited = 0;
  for (auto _ : state) {
    index.tree.SetSearchKeyFromRecord(records[i].data());
    index.tree.Find(3);
    for (int k = 0; k < 100 && index.tree.Next(); ++k) {
      benchmark::DoNotOptimize(index.tree.CurrentRecordAddress());
      ++visited;
    }
    i = (i + 7919) % records.size();
  }
  state.SetItemsProcessed(visited);
}

BENCHMARK_CAPTURE(BM_Insert, Integer, kIntKey, soASCII)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Insert, StringAscii, kStringKey, soASCII)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Insert, StringAnsi, kStringKey, soANSI)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PointSearch, Integer, kIntKey, soASCII);
BENCHMARK_CAPTURE(BM_PointSearch, StringAscii, kStringKey, soASCII);
BENCHMARK_CAPTURE(BM_PointSearch, StringAnsi, kStringKey, soANSI);
BENCHMARK_CAPTURE(BM_RangeScan, Integer, kIntKey, soASCII);
BENCHMARK_CAPTURE(BM_RangeScan, StringAscii, kStringKey, soASCII);
BENCHMARK_CAPTURE(BM_RangeScan, StringAnsi, kStringKey, soANSI);

}  // namespace
