// ORDER BY three keys (a text DESC, an integer, a float) over one million
// result rows, as the executor runs it: fill a sort list from the result
// set, sort it, reorder the result set.  Arg 0: memory; 1: mapped files.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "platform/core/NumFormat.h"
#include "sql/ResultSet.h"
#include "sql/SortList.h"

namespace {

constexpr int kRows = 1000000;

std::unique_ptr<TResultSet> MakeResult(bool inFile) {
  std::unique_ptr<TResultSet> rs;
  if (inFile) rs = std::make_unique<TFileResultSet>();
  else rs = std::make_unique<TMemResultSet>();
  TsqField* s = rs->AddField("DEPT", "", false, 0, 0, 0, nullptr, 10, ttString);
  TsqField* i = rs->AddField("GRADE", "", false, 0, 0, 0, nullptr, 0, ttInteger);
  TsqField* f = rs->AddField("PAY", "", false, 0, 0, 0, nullptr, 0, ttFloat);
  std::mt19937 rng(42);
  for (int r = 0; r < kRows; ++r) {
    rs->Insert();
    s->SetAsString("D" + IntToStr(rng() % 50));  // few groups: later keys matter
    i->SetAsInteger(static_cast<int>(rng() % 20));
    f->SetAsFloat(static_cast<double>(rng() % 100000) / 100.0);
  }
  return rs;
}

void OrderByThreeKeys(benchmark::State& state) {
  const bool inFile = state.range(0) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<TResultSet> rs = MakeResult(inFile);
    state.ResumeTiming();
    std::unique_ptr<TsqSortList> list;
    if (inFile) list = std::make_unique<TFileSortList>(false, kDefaultMapFileSize);
    else list = std::make_unique<TMemSortList>(false);
    TsqField* s = rs->Fields().Items(0);
    TsqField* i = rs->Fields().Items(1);
    TsqField* f = rs->Fields().Items(2);
    TSrtField* ks = list->AddField(ttString, s->DataSize(), true);
    TSrtField* ki = list->AddField(ttInteger, 0, false);
    TSrtField* kf = list->AddField(ttFloat, 0, false);
    for (int r = 1; r <= kRows; ++r) {
      rs->SetRecNo(r);
      list->Insert();
      list->SetSourceRecNo(r);
      ks->SetAsString(s->GetAsString());
      ki->SetAsInteger(i->GetAsInteger());
      kf->SetAsFloat(f->GetAsFloat());
    }
    list->Sort();
    rs->SortWithList(*list);
    benchmark::DoNotOptimize(rs->GetRecordCount());
    state.PauseTiming();
    rs.reset();
    list.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  state.SetLabel(inFile ? "mapped file" : "memory");
}

BENCHMARK(OrderByThreeKeys)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
