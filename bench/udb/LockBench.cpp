// Cost of an uncontended lock and unlock through the engine's lock managers
// (one system call each way; a read lock also draws its random byte).
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

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

}  // namespace
