// Report formation: forming 5,000 records of a band with 40 text objects
// (each a field with a display format) in one pass and in two passes
// ([TOTALPAGES] known), and drawing one formed page onto a bitmap at
// screen scale.  Data come from the in-memory dataset of the dataset tests.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include <QApplication>

#include "MemDataSet.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Fields.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Forms.h"
#include "report/ReportBand.h"
#include "report/ReportComponent.h"
#include "report/ReportDatasets.h"
#include "report/ReportViews.h"

namespace {

constexpr int kRecords = 5000;
constexpr int kObjects = 40;
constexpr int kColumns = 8;

void RequireApp() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  EnsureQtApplicationForTest();
}

struct TBench {
  TBench() {
    RequireApp();
    form.SetName("BenchForm");
    mem = new TMemDataSet(&form);
    mem->SetName("Mem");
    for (int c = 1; c <= kColumns; ++c) mem->AddColumn("F" + IntToStr(c), ftFloat);
    for (int r = 0; r < kRecords; ++r) {
      std::vector<Variant> row;
      for (int c = 1; c <= kColumns; ++c) row.push_back(Variant(r * 1.25 + c));
      mem->AddRow(row);
    }
    ds = new TrbDBDataSet(&form);
    ds->SetName("DS");
    ds->SetDataSet(mem);
    report = new TrbReport(&form);
    report->SetShowProgress(false);
    TrbPage* page = report->Pages().Add();
    rbSetCurrentPages(&report->Pages());
    auto* header = static_cast<TrbBandView*>(rbCreateObject(gtBand, ""));
    header->SetBounds(0, 0, 0, 20);
    header->SetBandType(btPageHeader);
    page->Add(header);
    auto* band = static_cast<TrbBandView*>(rbCreateObject(gtBand, ""));
    band->SetBounds(0, 30, 0, 36);
    band->SetBandType(btMasterData);
    band->SetDataSource("DS");
    page->Add(band);
    for (int i = 0; i < kObjects; ++i) {
      auto* memo = static_cast<TrbMemoView*>(rbCreateObject(gtMemo, ""));
      memo->SetBounds((i % 20) * 37, 30 + (i / 20) * 18, 36, 18);
      memo->Memo.Add("[DS.\"F" + IntToStr(i % kColumns + 1) + "\" #N0.00]");
      memo->FrameTyp = 15;
      memo->Flags = 0;
      page->Add(memo);
    }
    auto* footer = static_cast<TrbBandView*>(rbCreateObject(gtBand, ""));
    footer->SetBounds(0, 1000, 0, 20);
    footer->SetBandType(btPageFooter);
    page->Add(footer);
    auto* number = static_cast<TrbMemoView*>(rbCreateObject(gtMemo, ""));
    number->SetBounds(600, 1000, 150, 20);
    number->Memo.Add("[PAGE#] / [TOTALPAGES]");
    page->Add(number);
  }
  TComponent form{nullptr};
  TMemDataSet* mem;
  TrbDBDataSet* ds;
  TrbReport* report;
};

TBench& Bench() {
  static TBench bench;
  return bench;
}

void BM_FormOnePass(benchmark::State& state) {
  TBench& b = Bench();
  b.report->SetTwoPass(false);
  for (auto _ : state) b.report->PrepareReport();
  state.counters["pages"] = b.report->EMFPages().Count();
  state.counters["records/s"] = benchmark::Counter(kRecords, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FormOnePass)->Unit(benchmark::kMillisecond);

void BM_FormTwoPasses(benchmark::State& state) {
  TBench& b = Bench();
  b.report->SetTwoPass(true);
  for (auto _ : state) b.report->PrepareReport();
  b.report->SetTwoPass(false);
  state.counters["pages"] = b.report->EMFPages().Count();
  state.counters["records/s"] = benchmark::Counter(kRecords, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FormTwoPasses)->Unit(benchmark::kMillisecond);

void BM_DrawOnePage(benchmark::State& state) {
  TBench& b = Bench();
  b.report->SetTwoPass(false);
  if (b.report->EMFPages().Count() == 0) b.report->PrepareReport();
  TrbEMFPages& pages = b.report->EMFPages();
  TBitmap bitmap(794, 1123);
  for (auto _ : state) {
    pages.Pages(0).Visible = true;
    pages.Draw(0, bitmap.Canvas(), TRect(0, 0, 794, 1123));
    pages.Pages(0).Visible = false;
    pages.Draw(0, bitmap.Canvas(), TRect(0, 0, 0, 0));  // frees the cached objects
  }
}
BENCHMARK(BM_DrawOnePage)->Unit(benchmark::kMillisecond);

}  // namespace
