// Comparisons per second under the ANSI order (table look-ups) against
// plain byte comparison, for short Chinese names and for Latin words.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/core/AnsiText.h"

namespace {

// Two- and three-character names: a surname and one or two given-name
// characters, so that many pairs share the surname.
std::vector<std::string> ChineseNames() {
  const char* surnames[] = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄", "周", "吴", "欧阳"};
  const char* given[] = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "军", "洋", "勇", "艳"};
  std::vector<std::string> out;
  for (const char* s : surnames)
    for (const char* g1 : given) {
      out.push_back(std::string(s) + g1);
      for (const char* g2 : given) out.push_back(std::string(s) + g1 + g2);
    }
  return out;
}

std::vector<std::string> LatinWords() {
  const char* stems[] = {"salary", "Bonus", "allowance", "Tax", "deduction", "overtime",
                         "Pension", "housing-fund", "insurance", "net", "gross", "O'Brien"};
  const char* tails[] = {"", "s", "2024", "-Q1", " total", "Adjust"};
  std::vector<std::string> out;
  for (const char* s : stems)
    for (const char* t : tails) out.push_back(std::string(s) + t);
  return out;
}

template <typename Cmp>
void Run(benchmark::State& state, const std::vector<std::string>& texts, Cmp cmp) {
  size_t n = texts.size();
  size_t i = 0, j = n / 2 + 1;
  for (auto _ : state) {
    const std::string& a = texts[i];
    const std::string& b = texts[j];
    benchmark::DoNotOptimize(cmp(a, b));
    if (++i == n) i = 0;
    j += 7;
    if (j >= n) j -= n;
  }
  state.SetItemsProcessed(state.iterations());
}

int Memcmp(const std::string& a, const std::string& b) {
  int r = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  return r != 0 ? r : static_cast<int>(a.size()) - static_cast<int>(b.size());
}

void BM_ChineseNames_Ansi(benchmark::State& state) {
  static const auto texts = ChineseNames();
  Run(state, texts, [](const std::string& a, const std::string& b) {
    return CompareAnsiKey(a.data(), a.size(), b.data(), b.size(), false);
  });
}
void BM_ChineseNames_AnsiCaseInsensitive(benchmark::State& state) {
  static const auto texts = ChineseNames();
  Run(state, texts, [](const std::string& a, const std::string& b) {
    return CompareAnsiKey(a.data(), a.size(), b.data(), b.size(), true);
  });
}
void BM_ChineseNames_Memcmp(benchmark::State& state) {
  static const auto texts = ChineseNames();
  Run(state, texts, Memcmp);
}
void BM_LatinWords_Ansi(benchmark::State& state) {
  static const auto texts = LatinWords();
  Run(state, texts, [](const std::string& a, const std::string& b) {
    return CompareAnsiKey(a.data(), a.size(), b.data(), b.size(), false);
  });
}
void BM_LatinWords_AnsiCaseInsensitive(benchmark::State& state) {
  static const auto texts = LatinWords();
  Run(state, texts, [](const std::string& a, const std::string& b) {
    return CompareAnsiKey(a.data(), a.size(), b.data(), b.size(), true);
  });
}
void BM_LatinWords_AsciiCaseInsensitive(benchmark::State& state) {
  static const auto texts = LatinWords();
  Run(state, texts, [](const std::string& a, const std::string& b) {
    return CompareAsciiKey(a.data(), a.size(), b.data(), b.size(), true);
  });
}
void BM_LatinWords_Memcmp(benchmark::State& state) {
  static const auto texts = LatinWords();
  Run(state, texts, Memcmp);
}

}  // namespace

BENCHMARK(BM_ChineseNames_Ansi);
BENCHMARK(BM_ChineseNames_AnsiCaseInsensitive);
BENCHMARK(BM_ChineseNames_Memcmp);
BENCHMARK(BM_LatinWords_Ansi);
BENCHMARK(BM_LatinWords_AnsiCaseInsensitive);
BENCHMARK(BM_LatinWords_AsciiCaseInsensitive);
BENCHMARK(BM_LatinWords_Memcmp);
