// The libFuzzer program of one target (PAYROLL_FUZZ_TARGET, its name in
// FuzzTargets.h); built only with clang by scripts/fuzz.sh.
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"

// PAYROLL_FUZZ_WRITE_SEEDS=<corpus root>: write the seeds that are files
// the program makes (FuzzWriteSeeds) and end.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* root = std::getenv("PAYROLL_FUZZ_WRITE_SEEDS")) {
    FuzzWriteSeeds(root);
    std::exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TFuzzEntry entry = [] {
    TFuzzEntry e = FuzzEntry(PAYROLL_FUZZ_TARGET);
    if (!e) {
      std::fprintf(stderr, "no fuzz target %s\n", PAYROLL_FUZZ_TARGET);
      std::abort();
    }
    FuzzStartUp();
    return e;
  }();
  return entry(data, size);
}
