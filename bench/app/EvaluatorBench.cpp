// The formula and condition evaluators on the texts the payroll
// calculation hands them (codes already replaced by numbers): one
// employee's month run evaluates about ten of each.
#include <benchmark/benchmark.h>

#include "app/StrCon.h"

namespace {

void BM_Formula(benchmark::State& state) {
  const AnsiString expr = "(4500+1000+300+150+2*4500/21.75-(1*0.4+2)*4500/21.75)*0.92";
  for (auto _ : state) {
    double v = 0;
    bool err = false;
    StrCon->EvaluateFormula(expr, nullptr, v, err);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_Formula);

void BM_Condition(benchmark::State& state) {
  const AnsiString cond = "6100.5-488.04-122.01-540>5000 and 3>=1 or (2<>2 and 1<=0)";
  for (auto _ : state) {
    bool v = false, err = false;
    StrCon->EvaluateCondition(cond, nullptr, v, err);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_Condition);

void BM_ReplaceCodes(benchmark::State& state) {
  // The calculation's step before evaluating: every code by its value.
  const AnsiString formula = "F01+F02+F03+F04+F06-F09";
  for (auto _ : state) {
    AnsiString text = formula;
    for (int n = 1; n <= 20; ++n) {
      AnsiString code = n < 10 ? AnsiString("F0") + char('0' + n) : AnsiString("F") + std::to_string(n);
      AnsiString r;
      StrCon->ReplaceText(code, "1234.56", r, text);
      text = r;
    }
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_ReplaceCodes);

}  // namespace
