// Byte-range lock and unlock, as the engine takes them for every record.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/core/FileLocks.h"
#include "platform/core/Files.h"

static void BM_LockUnlockRecord(benchmark::State& state) {
  std::string path = "/tmp/payroll-lockbench-XXXXXX";
  int fd = ::mkstemp(path.data());
  TFileHandle h(fd);
  const int held = static_cast<int>(state.range(0));
  for (int i = 0; i < held; ++i) h.TryLock(0x2000000 + 2 * i, 1);  // other records held
  std::int64_t r = 0x2000000 + 2 * held;
  for (auto _ : state) {
    benchmark::DoNotOptimize(h.TryLock(r, 1));
    h.Unlock(r, 1);
  }
  ::unlink(path.c_str());
}
BENCHMARK(BM_LockUnlockRecord)->Arg(0)->Arg(100);
