// Writing 100,000 rows x 100 columns from in-memory datasets as worksheets,
// side by side in one run with writing the same values as CSV text through
// the same buffered stream, the floor any file writer over the dataset
// interface can reach.  Prints xls/csv, the time ratio.  A worksheet holds
// at most 65,536 rows, so the rows go out as two sheets of 50,000 (two
// datasets, two files) on both sides.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "MemDataSet.h"
#include "export/BufferedStream.h"
#include "export/WSExportToXLS.h"
#include "platform/core/Files.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Variant.h"
#include "platform/data/Fields.h"
#include "platform/ui/Forms.h"

namespace {

constexpr int kRows = 100000;
constexpr int kHalf = kRows / 2;
constexpr int kColumns = 100;  // an employee code, a grade and 98 pay items

std::unique_ptr<TMemDataSet> PayTable(int firstRow) {
  auto d = std::make_unique<TMemDataSet>(nullptr);
    d->AddColumn("ZGBH", ftString, 11);
    d->AddColumn("GRADE", ftInteger);
    for (int c = 1; c <= kColumns - 2; ++c) d->AddColumn(Format("F%.2d", {c}), ftFloat);
  std::vector<Variant> row(kColumns);
  for (int r = firstRow; r < firstRow + kHalf; ++r) {
    row[0] = Variant(AnsiString(Format("0101%.7d", {r})));
    row[1] = Variant(r % 300);
    for (int c = 2; c < kColumns; ++c)
      row[static_cast<size_t>(c)] = Variant((r * 7 + c * 13) % 100000 / 100.0);
    d->AddRow(row);
  }
  d->Open();
  return d;
}

void WriteCsv(TDataSet& ds, const AnsiString& fileName) {
  TFileStream file(fileName, fmCreate);
  TWSEBufferedStream out(file);
  std::vector<TField*> fields;
  for (int c = 0; c < ds.FieldCount(); ++c) fields.push_back((*ds.Fields())[c]);
  ds.DisableControls();
  for (ds.First(); !ds.Eof(); ds.Next()) {
    for (size_t c = 0; c < fields.size(); ++c) {
      if (c) out.WriteBuffer(",", 1);
      const AnsiString text = fields[c]->AsString();
      out.WriteBuffer(text.data(), static_cast<int>(text.size()));
    }
    out.WriteBuffer("\r\n", 2);
  }
  ds.EnableControls();
  out.Flush();
}

double Seconds(const std::function<void()>& fn) {
  const auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void XlsAgainstCsv(benchmark::State& state) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  EnsureQtApplicationForTest();  // the exporter's cursor and windows need one
  std::unique_ptr<TMemDataSet> halves[2] = {PayTable(0), PayTable(kHalf)};
  const std::string dir = std::filesystem::temp_directory_path().string();
  const AnsiString xlsName[2] = {dir + "/payroll-bench-export1.XLS", dir + "/payroll-bench-export2.XLS"};
  const AnsiString csvName[2] = {dir + "/payroll-bench-export1.csv", dir + "/payroll-bench-export2.csv"};
  TWSExportToXLS x(nullptr);
  x.SetColumnSource(csDataSet);
  x.SetAnimatedStatus(false);
  x.SetOptions({});
  x.SetAddTitle(true);
  double xlsTotal = 0, csvTotal = 0;
  for (auto _ : state) {
    const double xls = Seconds([&] {
      for (int h = 0; h < 2; ++h) {
        x.SetDataSet(halves[h].get());
        x.SetFileName(xlsName[h]);
        if (!x.Execute()) state.SkipWithError(x.LastError().c_str());
      }
    });
    const double csv = Seconds([&] {
      for (int h = 0; h < 2; ++h) WriteCsv(*halves[h], csvName[h]);
    });
    xlsTotal += xls;
    csvTotal += csv;
    state.SetIterationTime(xls);
  }
  state.counters["xls_ms"] = xlsTotal * 1000 / static_cast<double>(state.iterations());
  state.counters["csv_ms"] = csvTotal * 1000 / static_cast<double>(state.iterations());
  state.counters["xls/csv"] = xlsTotal / csvTotal;
  std::printf("XLS %.0f ms, CSV %.0f ms per %d x %d sheet: xls/csv = %.2f\n",
              xlsTotal * 1000 / static_cast<double>(state.iterations()),
              csvTotal * 1000 / static_cast<double>(state.iterations()), kRows, kColumns,
              xlsTotal / csvTotal);
  for (int h = 0; h < 2; ++h) {
    DeleteFile(xlsName[h]);
    DeleteFile(csvName[h]);
  }
}

BENCHMARK(XlsAgainstCsv)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
