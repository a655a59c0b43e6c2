// Report expressions and scripts: what a text object's bracketed
// expression costs per evaluation (infix each time, or postfix kept), and a
// compiled script loop.
#include <benchmark/benchmark.h>

#include "platform/core/Strings.h"
#include "report/ReportInterpreter.h"
#include "report/ReportParser.h"

namespace {

const char* kExpression = "IF([F01] + [F02] * 2 > 100, ROUND([F01] / 3), 0) + LEN1('x')";

TrbParser MakeParser() {
  TrbParser p;
  p.OnGetValue = [](const AnsiString&, Variant& v) { v = 42.5; };
  p.OnFunction = [](const AnsiString&, const Variant&, const Variant&, const Variant&, Variant& v) { v = 1; };
  return p;
}

void BM_CalcInfix(benchmark::State& state) {
  TrbParser p = MakeParser();
  for (auto _ : state) benchmark::DoNotOptimize(p.Calc(kExpression));
}
BENCHMARK(BM_CalcInfix);

void BM_CalcPostfix(benchmark::State& state) {
  TrbParser p = MakeParser();
  AnsiString postfix = p.ToPostfix(kExpression);
  for (auto _ : state) benchmark::DoNotOptimize(p.CalcPostfix(postfix));
}
BENCHMARK(BM_CalcPostfix);

class TBenchInterpreter : public TrbInterpretator {
 public:
  void GetValue(const AnsiString& name, Variant& v) override { v = name == "I" ? i : s; }
  void SetValue(const AnsiString& name, const Variant& v) override {
    if (name == "i") i = v;
    else s = v;
  }
  Variant i = 0, s = 0;
};

void BM_ScriptLoop(benchmark::State& state) {
  TBenchInterpreter in;
  TStringList src, ops, errs;
  src.Add("BEGIN s := 0; FOR i := 1 TO 1000 DO s := s + i * 2 END");
  in.PrepareScript(&src, &ops, &errs);
  for (auto _ : state) in.DoScript(&ops);
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ScriptLoop);

}  // namespace
