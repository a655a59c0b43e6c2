// The preview's find: what one page's text records cost (the page drawn
// once at scale 1, every text output recorded), and a search that finds
// nothing in a 100-page report (every page walked).  Pages of 40 texts.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "platform/ui/Forms.h"
#include "report/ReportBuild.h"
#include "report/ReportPage.h"
#include "report/ReportPrepared.h"
#include "report/ReportPreview.h"
#include "report/ReportViews.h"

namespace {

void EnsureApp() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  EnsureQtApplicationForTest();
}

void Form(TrbEMFPages& pages, int count) {
  TrbPage paper;
  for (int n = 0; n < count; ++n) {
    pages.Add(&paper);
    TrbPage* page = pages.ObjectsToPage(n);
    for (int k = 0; k < 40; ++k) {
      TrbMemoView* m = RbCollection->AddMemo(page, "LRTB", 40, 30 + 24 * k, 600, 22,
                                             "职工 " + std::to_string(n * 100 + k) + "  应发 1234.50  实发 1000.00",
                                             "L", 10, 0);
      m->Memo.Add(AnsiString(1, kParagraphEndMark));
    }
    pages.PageToObjects(n);
    pages.Pages(n).Page.reset();
  }
}

struct Report : TrbPreviewReport {
  TrbEMFPages* EMFPages() override { return &emf; }
  TrbPages* TemplatePages() override { return nullptr; }
  AnsiString Title() const override { return ""; }
  void PrintPreparedReport(const AnsiString&, int, bool, TrbPrintPages) override {}
  bool PrepareReport() override { return true; }
  void LoadPreparedReport(const AnsiString&) override {}
  void SavePreparedReport(const AnsiString&) override {}
  void SetTerminated(bool) override {}
  TrbEMFPages emf;
};

void BM_TextRecordsOfAPage(benchmark::State& state) {
  EnsureApp();
  TrbEMFPages pages;
  Form(pages, 1);
  for (auto _ : state) benchmark::DoNotOptimize(rbPageTextRecords(pages, 0).size());
}
BENCHMARK(BM_TextRecordsOfAPage)->Unit(benchmark::kMillisecond);

void BM_FindNothingIn100Pages(benchmark::State& state) {
  EnsureApp();
  Report report;
  Form(report.emf, 100);
  TrbPreviewForm form(nullptr);
  form.SetBounds(0, 0, 800, 600);
  form.Connect(&report);
  for (auto _ : state) benchmark::DoNotOptimize(form.Find("没有的字", false, false));
}
BENCHMARK(BM_FindNothingIn100Pages)->Unit(benchmark::kMillisecond);

}  // namespace
