// Parsing a typical WHERE text into a tree: scanner, LR driver over the
// compiled-in tables and the rule actions.  Names resolve to constants of
// their column's type, so only the language's own work is measured.
#include <benchmark/benchmark.h>

#include "platform/core/Streams.h"
#include "sql/ExprLexer.h"
#include "sql/ExprParser.h"

namespace {

void BM_ParseWhereText(benchmark::State& state) {
  const AnsiString text =
      "EMP.PAY * 1.1 > 3000 AND EMP.DEPT = '01' AND EMP.NAME LIKE '%王%' "
      "AND EMP.AGE BETWEEN 20 AND 60 OR UPPER(EMP.CODE) IN ('A1', 'B2')";
  auto hook = [](TExprParser&, const AnsiString&, const AnsiString& name, TParameterListPtr&,
                 TExpressionPtr& e) {
    if (name == "PAY") e = MakeFloat(1);
    else if (name == "AGE") e = MakeInt(1);
    else e = MakeStr("x");
  };
  for (auto _ : state) {
    TStringStream input(text);
    TExprLexer lexer(&input);
    TExprParser parser(hook);
    parser.yylexer = &lexer;
    if (parser.yyparse() != 0) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(parser.TakeResult());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseWhereText);

}  // namespace
