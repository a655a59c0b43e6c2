// The statement executor over in-memory tables of the dataset tests:
//   FilteredSelect  SELECT of the rows of a 100,000-row table that pass a
//                   two-condition WHERE (about a tenth), with two columns;
//   GroupBy10000    GROUP BY over the 100,000 rows into 10,000 groups with
//                   SUM, COUNT and AVG, ordered by the group;
//   Join1000x1000   the 1,000 rows a WHERE picks from a 100,000-row table,
//                   each joined (implicit equality, nested loop) with a
//                   1,000-row table.
// Reports rows read per second (items).
#include <benchmark/benchmark.h>

#include <memory>

#include "platform/core/Resources.h"
#include "resources/PayrollResources.h"
#include "sql/ResultSet.h"
#include "sql/SqlParser.h"
#include "sql/SqlQueryHost.h"
#include "tests/data/MemDataSet.h"

namespace {

struct Tables {
  TMemDataSet big, small;
  TSqlQueryHost host;
  Tables() {
    RegisterResources(&PayrollEmbeddedResources());
    host.ShowWaitCursor = false;
    big.AddColumn("ID", ftInteger);
    big.AddColumn("GRP", ftInteger);
    big.AddColumn("PAY", ftFloat);
    big.AddColumn("NAME", ftString, 12);
    for (int i = 1; i <= 100000; ++i)
      big.AddRow({i, i % 10000, 1000.0 + (i * 7919 % 5000) / 100.0, "N" + std::to_string(i % 977)});
    big.Open();
    small.AddColumn("K", ftInteger);
    small.AddColumn("TITLE", ftString, 12);
    for (int i = 1; i <= 1000; ++i) small.AddRow({i, "T" + std::to_string(i)});
    small.Open();
    host.DataSets().AddDataSet(&big, "big");
    host.DataSets().AddDataSet(&small, "small");
  }
};

Tables& Data() {
  static Tables tables;
  return tables;
}

int Run(const char* sql) {
  TSqlAnalizer s;
  ParseSql(sql, s);
  s.SetSqlQuery(&Data().host);
  s.ExecuteOpen();
  return s.ResultSet()->GetRecordCount();
}

void FilteredSelect(benchmark::State& state) {
  Data();
  int rows = 0;
  for (auto _ : state)
    rows = Run("SELECT id, name FROM big WHERE pay > 1020 AND grp < 1200");
  state.counters["result_rows"] = rows;
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(FilteredSelect)->Unit(benchmark::kMillisecond);

void GroupBy10000(benchmark::State& state) {
  Data();
  int rows = 0;
  for (auto _ : state) rows = Run("SELECT grp, SUM(pay), COUNT(*), AVG(pay) FROM big GROUP BY grp");
  state.counters["result_rows"] = rows;
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(GroupBy10000)->Unit(benchmark::kMillisecond);

void Join1000x1000(benchmark::State& state) {
  Data();
  int rows = 0;
  for (auto _ : state)
    rows = Run("SELECT b.id, s.title FROM big b, small s WHERE b.id <= 1000 AND b.id = s.k");
  state.counters["result_rows"] = rows;
  state.SetItemsProcessed(state.iterations() * (100000 + 1000 * 1000));
}
BENCHMARK(Join1000x1000)->Unit(benchmark::kMillisecond);

}  // namespace
