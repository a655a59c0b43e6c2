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
#include "MemFileSystem.h"
#include "UdbTestSupport.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "platform/data/Fields.h"

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

// A stored definition that names one field twice (letter case aside) is
// damage: the table refuses to open with the engine's error, where the
// dataset's own duplicate-name error escaped while it made the fields.
// A new name that clashes with none opens as before.
TEST(FileFuzz, ADefinitionNamingAFieldTwiceRefusesToOpen) {
  const struct {
    const char* name;
    int code;
  } cases[] = {{"NAME", udberr::kCorrupt}, {"name", udberr::kCorrupt}, {"Ok", udberr::kCorrupt}, {"REMARK", -1}};
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> bytes =
        ReplaceInStoredDefinition("FieldName = 'NOTE'", std::string("FieldName = '") + c.name + "'");
    ASSERT_FALSE(bytes.empty());
    TMemFileSystem fs;
    fs.Bytes("fuzz.udb") = bytes;
    TUdbDataBase db;
    db.SetFileSystem(&fs);
    db.SetDataBaseName("fuzz.udb");
    db.SetConnected(true);
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName("PAY");
    const TCaughtError caught = CatchUdb([&] { t.Open(); });
    EXPECT_EQ(caught.code, c.code) << c.name << ": " << caught.message;
    if (c.code < 0) {
      EXPECT_NE(t.FindField(c.name), nullptr);
    }
    EXPECT_EQ(ReadWholeDatabase(bytes), "") << c.name;
  }
}
