// The file reader against damaged files: a seeded mutator replays a small
// corpus of cases - numbers of the stored table definitions changed, and
// bytes of the file's structural pages changed - and reads each patched
// file whole.  Only the engine's own errors may come out.
// PAYROLL_FUZZ_CASES runs more cases of each kind (scripts/fuzz-test.sh
// runs many under the sanitizers).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
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

// A damaged stored date (its sign and exponent bytes): no date of the years
// 1 to 9999, or none at all, and reading the field says the record is
// damaged, in the engine's error, instead of a conversion error escaping
// from the field's text.  Every copy of the value is damaged: the records
// and the keys of the date index.
TEST(FileFuzz, ADamagedDateRaisesOnlyTheEnginesError) {
  const double day = 40003;  // a DAY of the sample
  std::uint8_t pattern[sizeof day];
  std::memcpy(pattern, &day, sizeof day);
  const std::vector<std::uint8_t>& base = FuzzBaseDatabase();
  std::vector<size_t> places;
  for (auto at = base.begin(); (at = std::search(at, base.end(), std::begin(pattern), std::end(pattern))) != base.end(); ++at)
    places.push_back(static_cast<size_t>(at - base.begin()));
  ASSERT_FALSE(places.empty());
  const std::pair<std::uint8_t, std::uint8_t> damages[] = {
      {0x41, 0x53},  // about 4.9 million days: the year 13000
      {0xC1, 0x53},  // the same before the year 1
      {0x7F, 0xF8},  // not a number
      {0xFF, 0xF0},  // minus infinity
  };
  for (auto [high, next] : damages) {
    std::vector<std::uint8_t> bytes = base;
    for (size_t at : places) {
      bytes[at + 7] = high;
      bytes[at + 6] = next;
    }
    EXPECT_EQ(ReadWholeDatabase(bytes), "") << int(high) << " " << int(next);
  }
}
