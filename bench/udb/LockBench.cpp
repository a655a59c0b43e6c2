// Cost of an uncontended lock and unlock through the engine's lock managers
// (one system call each way; a read lock also draws its random byte), and
// of the record locks a transaction gathers until its end.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Udb/LockMgr.h"
#include "platform/core/FileLocks.h"

namespace {

struct LockFile {
  LockFile() {
    char tmpl[] = "/tmp/udb-lockbench-XXXXXX";
    int fd = mkstemp(tmpl);
    path = tmpl;
    handle = TFileHandle(fd);
  }
  ~LockFile() {
    handle.Close();
    ::unlink(path.c_str());
  }
  std::string path;
  TFileHandle handle;
};

void BM_TableReadLockUnlock(benchmark::State& state) {
  LockFile f;
  TWinLockMgr m(&f.handle, kTableLockBase, kTableLockRegion);
  for (auto _ : state) {
    m.SetReadLock(5, 1);
    m.Unlock(5);
  }
}
BENCHMARK(BM_TableReadLockUnlock);

void BM_TableWriteLockUnlock(benchmark::State& state) {
  LockFile f;
  TWinLockMgr m(&f.handle, kTableLockBase, kTableLockRegion);
  for (auto _ : state) {
    m.SetWriteLock(5, 0);
    m.Unlock(5);
  }
}
BENCHMARK(BM_TableWriteLockUnlock);

void BM_ReadThenUpgradeThenUnlock(benchmark::State& state) {
  LockFile f;
  TWinLockMgr m(&f.handle, kTableLockBase, kTableLockRegion);
  for (auto _ : state) {
    m.SetReadLock(5, 1);
    m.SetWriteLock(5, 0);
    m.Unlock(5);
  }
}
BENCHMARK(BM_ReadThenUpgradeThenUnlock);

void BM_RecordLockUnlock(benchmark::State& state) {
  LockFile f;
  TWinLockMgr m(&f.handle, kRecordLockBase, kRecordLockRegion);
  std::int64_t id = 0;
  for (auto _ : state) {
    m.SetWriteLock(id, 0);
    m.Unlock(id);
    id = (id + 1) & 0xFFFF;
  }
}
BENCHMARK(BM_RecordLockUnlock);

// A transaction that changes n records - 300 bytes apart, pages of records
// broken by an index page every fourth page, as a table filled in one go
// lies - holds every lock until its end, then lets them all go.  Arguments:
// n, and how: 0 one byte per record, 1 the locks count towards their pages
// (as inside a transaction), 2 and pages apart are joined across the index
// pages (as the disk manager's test allows).  The time per record should
// not grow with n.
void BM_TransactionRecordLocks(benchmark::State& state) {
  const std::int64_t n = state.range(0);
  const bool pages = state.range(1) != 0;
  LockFile f;
  TWinLockMgr m(&f.handle, kRecordLockBase, kRecordLockRegion);
  m.SetEscalation(4096, 2);
  if (state.range(1) == 2) m.SetBlockBridging(16, [](std::int64_t, std::int64_t) { return true; });
  std::vector<std::int64_t> ids;
  for (std::int64_t address = 6 * 4096; static_cast<std::int64_t>(ids.size()) < n; address += 300)
    if ((address / 4096) % 4 != 3 && address % 4096 <= 4096 - 300) ids.push_back(address);
  for (auto _ : state) {
    for (std::int64_t id : ids) m.SetWriteLock(id, 0, pages);
    m.ReleaseAll();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_TransactionRecordLocks)
    ->Args({5000, 0})
    ->Args({20000, 0})
    ->Args({5000, 1})
    ->Args({20000, 1})
    ->Args({100000, 1})
    ->Args({5000, 2})
    ->Args({20000, 2})
    ->Args({100000, 2})
    ->Unit(benchmark::kMillisecond);

}  // namespace
