// Sorted string lists (key lists, pick lists) and the comma text of lock
// file entries.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/core/Strings.h"

static void BM_SortedAdd(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    TStringList list;
    list.SetSorted(true);
    for (int i = 0; i < n; ++i) list.Add("员工" + std::to_string((i * 7919) % n));
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SortedAdd)->Arg(1000)->Arg(10000);

static void BM_SortedIndexOf(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TStringList list;
  list.SetSorted(true);
  for (int i = 0; i < n; ++i) list.Add("F" + std::to_string(i));
  int i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(list.IndexOf("f" + std::to_string(i++ % n)));
}
BENCHMARK(BM_SortedIndexOf)->Arg(10000);

static void BM_CommaTextRoundTrip(benchmark::State& state) {
  TStringList list;
  for (int i = 0; i < 100; ++i) list.Add(i % 3 ? "部门 " + std::to_string(i) : "F" + std::to_string(i));
  for (auto _ : state) {
    TStringList back;
    back.SetCommaText(list.CommaText());
    benchmark::DoNotOptimize(back.Count());
  }
}
BENCHMARK(BM_CommaTextRoundTrip);
