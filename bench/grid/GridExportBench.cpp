// Exporting a grid of 10,000 records x 12 columns (an employee code, a
// name and ten pay items) in each of the four formats, and reading the
// GRDDBIF export back into a second grid (overwriting its records).
// Shows the cost of each writer over the same walk: text is the floor.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "MemDataSet.h"
#include "grid/DBGridExClipboard.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"
#include "platform/ui/Forms.h"

namespace {

constexpr int kRows = 10000;
constexpr int kPayItems = 10;

struct TGridOverTable {
  std::unique_ptr<TMemDataSet> ds = std::make_unique<TMemDataSet>(nullptr);
  std::unique_ptr<TDataSource> source = std::make_unique<TDataSource>(nullptr);
  std::unique_ptr<TDBGridEx> grid;

  TGridOverTable() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    EnsureQtApplicationForTest();
    ds->AddColumn("ZGBH", ftString, 11);
    ds->AddColumn("XM", ftString, 20);
    for (int c = 1; c <= kPayItems; ++c) ds->AddColumn(Format("F%.2d", {c}), ftFloat);
    std::vector<Variant> row(2 + kPayItems);
    for (int r = 0; r < kRows; ++r) {
      row[0] = Variant(AnsiString(Format("0101%.7d", {r})));
      row[1] = Variant(AnsiString("职工") + IntToStr(r));
      for (int c = 0; c < kPayItems; ++c)
        row[static_cast<size_t>(2 + c)] = Variant((r * 7 + c * 13) % 100000 / 100.0);
      ds->AddRow(row);
    }
    ds->Open();
    source->SetDataSet(ds.get());
    grid = std::make_unique<TDBGridEx>(nullptr);
    grid->SetDataSource(source.get());
  }
  ~TGridOverTable() { grid->SetDataSource(nullptr); }
};

TGridOverTable& Table() {
  static TGridOverTable table;
  return table;
}

template <class Exporter>
void BM_Export(benchmark::State& state) {
  TGridOverTable& t = Table();
  std::int64_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream out;
    ExportGridToStream<Exporter>(t.grid.get(), &out, true);
    bytes = out.Size();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK_TEMPLATE(BM_Export, TDBGridExExportAsText)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Export, TDBGridExExportAsCSV)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Export, TDBGridExExportAsRTF)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Export, TDBGridExExportAsGRDDBIF)->Unit(benchmark::kMillisecond);

void BM_ImportGrdDbif(benchmark::State& state) {
  TGridOverTable& from = Table();
  TMemoryStream data;
  ExportGridToStream<TDBGridExExportAsGRDDBIF>(from.grid.get(), &data, true);
  static TGridOverTable* to = new TGridOverTable;  // a second table to overwrite
  for (auto _ : state) {
    data.SetPosition(0);
    ImportGridFromStream<TDBGridExImportAsGRDDBIF>(to->grid.get(), &data, true);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ImportGrdDbif)->Unit(benchmark::kMillisecond);

}  // namespace
