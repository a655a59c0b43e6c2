// Page reads and writes per second through the page cache of a database
// file on disk, plain (mode 1), XOR (3) and Blowfish (5):
//   ReadWarm   every read a cache hit
//   ReadCold   every read a miss (working set 4x the cache): file + decipher
//   WriteThrough  whole-page writes outside a transaction (encipher + write)
//   TransactionCommit  64 page writes held, then committed and flushed
// Run: build/bench/bench_UdbPageCacheBench
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Udb/DiskMgr.h"

namespace {

constexpr int kPage = 4096;
constexpr int kFilePages = 2000;  // cache capacity 500

class TBenchDatabase {
 public:
  TBenchDatabase() {
    char name[] = "/tmp/udb_bench_XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path_ = name;
    disk_.SetFileName(path_);
    disk_.CreateNewFile(true);
    disk_.Open();
    disk_.SetMasterKey("bench master key");
    std::vector<std::uint8_t> data(static_cast<size_t>(kFilePages) * kPage, 0x3C);
    first_ = disk_.AllocatePages(7, 1, data.data(), kFilePages, 1);
  }
  ~TBenchDatabase() {
    disk_.Close();
    std::remove(path_.c_str());
  }
  TDiskMgr& Disk() { return disk_; }
  TUdbAddr Page(int i) const { return first_ + static_cast<TUdbAddr>(i) * kPage; }
  int CacheCapacity() { return disk_.File().Cache().Capacity(); }
  // Reopens so that the cache is sized from the full file.
  void Reopen() {
    disk_.Close();
    disk_.Open();
    disk_.SetMasterKey("bench master key");
  }

 private:
  std::string path_;
  TDiskMgr disk_;
  TUdbAddr first_ = 0;
};

void ReadWarm(benchmark::State& state) {
  TBenchDatabase db;
  db.Reopen();
  const auto mode = static_cast<std::uint8_t>(state.range(0));
  const int working = db.CacheCapacity() / 2;
  std::vector<std::uint8_t> buffer(kPage);
  for (int i = 0; i < working; ++i) db.Disk().ReadPages(db.Page(i), 1, buffer.data(), mode, 7);
  int i = 0;
  for (auto _ : state) {
    db.Disk().ReadPages(db.Page(i), 1, buffer.data(), mode, 7);
    benchmark::DoNotOptimize(buffer.data());
    if (++i == working) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * kPage);
}

void ReadCold(benchmark::State& state) {
  TBenchDatabase db;
  db.Reopen();
  const auto mode = static_cast<std::uint8_t>(state.range(0));
  std::vector<std::uint8_t> buffer(kPage);
  int i = 0;
  for (auto _ : state) {
    db.Disk().ReadPages(db.Page(i), 1, buffer.data(), mode, 7);
    benchmark::DoNotOptimize(buffer.data());
    if (++i == kFilePages) i = 0;  // 4x the cache: least recently used is always gone
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * kPage);
  state.counters["misses"] = static_cast<double>(db.Disk().File().Cache().Misses());
}

void WriteThrough(benchmark::State& state) {
  TBenchDatabase db;
  db.Reopen();
  const auto mode = static_cast<std::uint8_t>(state.range(0));
  std::vector<std::uint8_t> page(kPage, 0x5A);
  int i = 0;
  for (auto _ : state) {
    page[0] = static_cast<std::uint8_t>(i);
    db.Disk().WritePages(db.Page(i), 1, page.data(), mode, 7);
    if (++i == 256) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * kPage);
}

void TransactionCommit(benchmark::State& state) {
  TBenchDatabase db;
  db.Reopen();
  const auto mode = static_cast<std::uint8_t>(state.range(0));
  std::vector<std::uint8_t> page(kPage, 0x6B);
  for (auto _ : state) {
    db.Disk().StartTransaction();
    for (int i = 0; i < 64; ++i) db.Disk().WritePages(db.Page(i * 3), 1, page.data(), mode, 7);
    db.Disk().Commit();
  }
  state.SetItemsProcessed(state.iterations() * 64);
  state.SetBytesProcessed(state.iterations() * 64 * kPage);
}

}  // namespace

BENCHMARK(ReadWarm)->ArgName("mode")->Arg(1)->Arg(3)->Arg(5);
BENCHMARK(ReadCold)->ArgName("mode")->Arg(1)->Arg(3)->Arg(5);
BENCHMARK(WriteThrough)->ArgName("mode")->Arg(1)->Arg(3)->Arg(5);
BENCHMARK(TransactionCommit)->ArgName("mode")->Arg(1)->Arg(3)->Arg(5);
