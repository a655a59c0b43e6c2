// Every file of every fuzz target's corpus (seeds, and the inputs of the
// faults the fuzzers found) goes through the target's entry, the same
// function the libFuzzer programs call: a case may end in an error the
// program shows, never in anything else.  Under the sanitizer build
// (scripts/sanitize.sh) a read past a buffer or an overflow stops it too.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzTargets.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles(const char* target) {
  std::vector<fs::path> files;
  const fs::path dir = fs::path(PAYROLL_FUZZ_CORPUS) / target;
  if (fs::is_directory(dir))
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

class CorpusReplay : public ::testing::TestWithParam<TFuzzTarget> {};

TEST_P(CorpusReplay, EveryCorpusFileEndsInNothingOrAShownError) {
  FuzzStartUp();
  const TFuzzTarget& target = GetParam();
  const std::vector<fs::path> files = CorpusFiles(target.Name);
  ASSERT_FALSE(files.empty()) << "no corpus for " << target.Name;
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
      target.Entry(bytes.data(), bytes.size());
    } catch (const std::exception& e) {
      ADD_FAILURE() << file.filename() << ": " << e.what();
    } catch (...) {
      ADD_FAILURE() << file.filename() << ": an exception of an unknown type";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay, ::testing::ValuesIn(FuzzTargets()),
                         [](const ::testing::TestParamInfo<TFuzzTarget>& info) { return std::string(info.param.Name); });

}  // namespace
