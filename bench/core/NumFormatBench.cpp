// Number and date formatting as grids, footers and reports use it: one
// call per cell.  Compares the float pictures against plain to_chars.
#include <benchmark/benchmark.h>

#include <charconv>
#include <vector>

#include "platform/core/DateTime.h"
#include "platform/core/NumFormat.h"

namespace {

std::vector<double> Amounts() {
  std::vector<double> v;
  for (int i = 0; i < 1024; ++i) v.push_back((i * 7919 % 100000) / 100.0 - 250.0);
  return v;
}

void BM_ToCharsBaseline(benchmark::State& state) {
  auto values = Amounts();
  char buf[64];
  size_t i = 0;
  for (auto _ : state) {
    auto r = std::to_chars(buf, buf + sizeof buf, values[i++ & 1023]);
    benchmark::DoNotOptimize(r.ptr);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ToCharsBaseline);

void BM_FloatToStr(benchmark::State& state) {
  auto values = Amounts();
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(FloatToStr(values[i++ & 1023]));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FloatToStr);

void BM_FormatFloatPayPicture(benchmark::State& state) {
  auto values = Amounts();
  AnsiString picture = "#,##0.00;(#,##0.00);'零'";
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(FormatFloat(picture, values[i++ & 1023]));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatFloatPayPicture);

void BM_FormatDirectives(benchmark::State& state) {
  auto values = Amounts();
  size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(Format("%-10s%12.2f%6d", {"工资", values[i & 1023], static_cast<int>(i++)}));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatDirectives);

void BM_FormatDateTimeChinese(benchmark::State& state) {
  TDateTime base = EncodeDateTime(2026, 3, 5, 14, 7, 9, 0);
  size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(FormatDateTime("yyyy'年'mm'月'dd'日' hh:nn:ss", base.Val + (i++ & 1023)));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatDateTimeChinese);

void BM_StrToFloat(benchmark::State& state) {
  std::vector<AnsiString> texts;
  for (double v : Amounts()) texts.push_back(FloatToStr(v));
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(StrToFloat(texts[i++ & 1023]));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StrToFloat);

}  // namespace
