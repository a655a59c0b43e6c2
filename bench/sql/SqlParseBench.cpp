// Parsing whole SQL statements into the statement model: scanner, LR
// driver over the compiled-in tables and the rule actions that render the
// expression texts.  One typical report query with a join, a WHERE with
// IN, BETWEEN and LIKE, grouping and ordering; one export query with
// Chinese aliases.  Reports statements and bytes per second.
#include <benchmark/benchmark.h>

#include "platform/core/Resources.h"
#include "resources/PayrollResources.h"
#include "sql/SqlParser.h"

namespace {

void ParseLoop(benchmark::State& state, const AnsiString& text) {
  RegisterResources(&PayrollEmbeddedResources());
  for (auto _ : state) {
    TSqlAnalizer statement;
    ParseSql(text, statement);
    benchmark::DoNotOptimize(statement.ColumnList.Count());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_ParseReportQuery(benchmark::State& state) {
  ParseLoop(state,
            "SELECT e.dept, d.name, SUM(e.pay) AS total, COUNT(*) FROM emp e "
            "INNER JOIN dept d ON e.dept = d.code "
            "WHERE e.state IN ('A', 'B', 'C') AND e.pay BETWEEN 1000 AND 9000 "
            "AND e.name LIKE '王%' GROUP BY e.dept, d.name HAVING SUM(e.pay) > 0 "
            "ORDER BY 3 DESC");
}
BENCHMARK(BM_ParseReportQuery);

void BM_ParseExportQuery(benchmark::State& state) {
  ParseLoop(state,
            "select zgbh as 职工编号, xm as 姓名,ylbxh as 养老保险号,gzzh as 工资帐号 ,"
            "jbgz as 基本工资,gwgz as 岗位工资,jj as 奖金,kk as 扣款 from gzk order by zgbh");
}
BENCHMARK(BM_ParseExportQuery);

}  // namespace
