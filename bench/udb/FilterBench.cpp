// Building a filter's list over 100,000 rows, by how much of the filter the
// indexes answer:
//   Full     Dept = 'D042'                      the index range is the answer
//   Partly   Dept = 'D042' and Name like 'N1%'  the range gives candidates,
//                                               which are read and evaluated
//   Scan     Name like 'N1%'                    every row is read and evaluated
// and Prepare alone (parse, load, index analysis).  The table is held in
// memory by the benchmark (sorted index vectors, rows of variants), so the
// figures are the filter's own cost: parsing, index lists, merging into the
// index order and evaluation; a table on disk adds its page reads.
// Counters: rows in the result, records read to build it.
// Run: build/bench/bench_FilterBench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "Udb/FilterMgr.h"

namespace {

constexpr int kRows = 100000;
constexpr int kCode = 0, kDept = 1, kAge = 2, kName = 3;

class TBenchCursor : public TFilterCursor {
 public:
  TBenchCursor() {
    fields_.Add("zgbh", ftString, 11);
    fields_.Add("Dept", ftString, 4);
    fields_.Add("Age", ftInteger);
    fields_.Add("Name", ftString, 20);
    std::mt19937 rng(42);
    char text[32];
    for (int i = 0; i < kRows; ++i) {
      int dept = static_cast<int>(rng() % 100);
      std::snprintf(text, sizeof text, "%02d%02d%07d", dept / 10, dept, i);
      Variant code(text);
      std::snprintf(text, sizeof text, "D%03d", dept);
      Variant deptText(text);
      std::snprintf(text, sizeof text, "N%u", static_cast<unsigned>(rng() % 100000));
      rows_.push_back({code, deptText, Variant(static_cast<int>(18 + rng() % 48)), Variant(text)});
    }
    for (int field : {kCode, kDept, kAge}) {
      Index index;
      index.field = field;
      for (int i = 0; i < kRows; ++i) index.order.push_back(i);
      std::stable_sort(index.order.begin(), index.order.end(), [&](int a, int b) {
        return Less(field, rows_[static_cast<size_t>(a)][static_cast<size_t>(field)],
                    rows_[static_cast<size_t>(b)][static_cast<size_t>(field)]);
      });
      indexes_.push_back(std::move(index));
    }
  }

  const TFilterFieldInfo* FindFilterField(const AnsiString& name) const override {
    return fields_.FindFilterField(name);
  }
  void CollectMasterList(std::vector<TFilterEntry>& master) override {
    master.clear();
    std::uint32_t n = 0;
    for (int row : indexes_[0].order) master.push_back({Addr(row), ++n});
  }
  bool FindIndexForField(int fieldIndex, TFilterIndex& index) override {
    for (const Index& i : indexes_) {
      if (i.field == fieldIndex) {
        index.Handle = &i;
        return true;
      }
    }
    return false;
  }
  void CollectIndexRange(const TFilterIndex& handle, const TFilterKeyBound& low,
                         const TFilterKeyBound& high, std::vector<TRecAddr>& out) override {
    const Index& index = *static_cast<const Index*>(handle.Handle);
    auto key = [&](int row) -> const Variant& {
      return rows_[static_cast<size_t>(row)][static_cast<size_t>(index.field)];
    };
    auto begin = index.order.begin();
    if (!low.Open)
      begin = std::partition_point(index.order.begin(), index.order.end(), [&](int row) {
        return low.Inclusive || low.Prefix ? Less(index.field, key(row), low.Value)
                                           : !Less(index.field, low.Value, key(row));
      });
    for (auto it = begin; it != index.order.end(); ++it) {
      const Variant& k = key(*it);
      if (high.Prefix) {
        AnsiString prefix = high.Value.AsString();
        if (k.IsNull() || k.AsString().compare(0, prefix.size(), prefix) != 0) break;
      } else if (!high.Open) {
        if (high.Inclusive ? Less(index.field, high.Value, k) : !Less(index.field, k, high.Value)) break;
      }
      out.push_back(Addr(*it));
    }
  }
  void ReadRecordAt(TRecAddr address) override { current_ = &rows_[address / 16 - 1]; }
  Variant EvalFieldValue(int fieldIndex) override { return (*current_)[static_cast<size_t>(fieldIndex)]; }
  bool HasRecordFilter() override { return false; }
  bool AcceptRecord(TRecAddr) override { return true; }
  TKeySortFunction KeyCompare() override { return AnsiKeySort; }

 private:
  struct Index {
    int field = 0;
    std::vector<int> order;
  };
  static TRecAddr Addr(int row) { return static_cast<TRecAddr>(16 * (row + 1)); }
  // Nulls first; texts in the ANSI key order; numbers by value.
  static bool Less(int field, const Variant& a, const Variant& b) {
    if (a.IsNull() || b.IsNull()) return a.IsNull() && !b.IsNull();
    if (field == kAge) return a.AsInteger() < b.AsInteger();
    const AnsiString x = a.AsString(), y = b.AsString();
    return AnsiKeySort(x.data(), y.data(), static_cast<int>(x.size()), static_cast<int>(y.size()), false,
                       false) < 0;
  }

  TFilterFieldList fields_;
  std::vector<std::vector<Variant>> rows_;
  std::vector<Index> indexes_;
  const std::vector<Variant>* current_ = nullptr;
};

TBenchCursor& Cursor() {
  static TBenchCursor cursor;
  return cursor;
}

void BuildList(benchmark::State& state, const char* filter, TIndexLevel expected) {
  TBenchCursor& cursor = Cursor();
  TFilterMgr mgr;
  mgr.SetCursor(&cursor);
  mgr.SetFilterText(filter);
  mgr.SetActive(true);
  int rows = 0;
  for (auto _ : state) {
    mgr.Rebuild(false, false);
    rows = mgr.Count();
    benchmark::DoNotOptimize(rows);
  }
  if (mgr.RootLevelForTest() != expected) state.SkipWithError("the filter is not answered as intended");
  state.counters["rows"] = rows;
  state.counters["read"] = mgr.RecordsReadForTest();
}

void BM_FilterFull(benchmark::State& state) { BuildList(state, "Dept = 'D042'", olFull); }
void BM_FilterPartly(benchmark::State& state) {
  BuildList(state, "Dept = 'D042' and Name like 'N1%'", olPartial);
}
void BM_FilterScan(benchmark::State& state) { BuildList(state, "Name like 'N1%'", olNone); }

void BM_FilterPrepare(benchmark::State& state) {
  TBenchCursor& cursor = Cursor();
  TFilterMgr mgr;
  mgr.SetCursor(&cursor);
  mgr.SetFilterText("(Dept = 'D042' or Dept = 'D043') and Age >= 30 and zgbh like '04%'");
  for (auto _ : state) {
    mgr.SetActive(true);
    mgr.SetActive(false);
  }
}

}  // namespace

BENCHMARK(BM_FilterFull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterPartly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterPrepare)->Unit(benchmark::kMicrosecond);
