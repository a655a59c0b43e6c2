// The file reader against damaged files: a seeded mutator replays a small
// corpus of cases - numbers of the stored table definitions changed, and
// bytes of the file's structural pages changed - and reads each patched
// file whole.  Only the engine's own errors may come out.
// PAYROLL_FUZZ_CASES runs more cases of each kind (scripts/fuzz-test.sh
// runs many under the sanitizers).
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "FileFuzzSupport.h"

namespace {

int Cases(int normal) {
  const char* env = std::getenv("PAYROLL_FUZZ_CASES");
  return env ? std::max(1, std::atoi(env)) : normal;
}

}  // namespace

TEST(FileFuzz, TheWholeSampleDatabaseReads) { EXPECT_EQ(ReadWholeDatabase(FuzzBaseDatabase()), ""); }

TEST(FileFuzz, DamagedStoredDefinitionsRaiseOnlyEngineErrors) {
  for (int seed = 1; seed <= Cases(150); ++seed) {
    std::mt19937 rng(static_cast<unsigned>(seed));
    std::vector<std::uint8_t> bytes = PatchStoredDefinition(rng);
    if (bytes.empty()) continue;
    EXPECT_EQ(ReadWholeDatabase(bytes), "") << "definition case " << seed;
  }
}

TEST(FileFuzz, DamagedBytesRaiseOnlyEngineErrors) {
  for (int seed = 1; seed <= Cases(150); ++seed) {
    std::mt19937 rng(static_cast<unsigned>(seed) * 7919u);
    EXPECT_EQ(ReadWholeDatabase(PatchBytes(FuzzBaseDatabase(), rng)), "") << "byte case " << seed;
  }
}
