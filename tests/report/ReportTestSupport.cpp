#include "ReportTestSupport.h"

#include <cstdlib>
#include <algorithm>

#include <QApplication>
#include <QImage>

#include "platform/ui/Bitmaps.h"
#include "MemDataSet.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Fields.h"
#include "report/ReportComponent.h"
#include "report/ReportDatasets.h"
#include "report/ReportViews.h"

void RequireGuiApp() {
  if (QCoreApplication::instance()) return;
  // The test script runs the visual tests once more in a real X server.
  const char* qpa = std::getenv("PAYROLL_TEST_QPA");
  if (qpa && *qpa) setenv("QT_QPA_PLATFORM", qpa, 1);
  static int argc = 1;
  static char arg0[] = "payroll_tests";
  static char* argv[] = {arg0, nullptr};
  new QApplication(argc, argv);
}

namespace {
TTextMetric Fixed() {
  TTextMetric m;
  m.Height = 12;
  m.Ascent = 10;
  m.Descent = 2;
  m.AveCharWidth = 6;
  m.MaxCharWidth = 12;
  return m;
}
}  // namespace

TFixedMetricsGuard::TFixedMetricsGuard() : metrics_(Fixed()) { SetFontMetricsSourceForTest(&metrics_); }
TFixedMetricsGuard::~TFixedMetricsGuard() { SetFontMetricsSourceForTest(nullptr); }

TColor PixelAt(TBitmap& bmp, int x, int y) {
  QRgb p = bmp.Image().pixel(x, y);
  return static_cast<TColor>(qRed(p) | (qGreen(p) << 8) | (qBlue(p) << 16));
}

// ---- report formation fixtures ----

TRecordingDialogs::TRecordingDialogs() : previous_(SetDialogService(this)) {}
TRecordingDialogs::~TRecordingDialogs() { SetDialogService(previous_); }
int TRecordingDialogs::ShowMessageBox(const TMessageRequest& request) {
  Boxes.push_back(request);
  return IDOK;
}

std::vector<TFormedText> FormedTexts(TrbEMFPages& pages) {
  std::vector<TFormedText> out;
  for (int i = 0; i < pages.Count(); ++i) {
    TrbPage* page = pages.ObjectsToPage(i);
    for (const auto& o : page->Objects) {
      if (o->Typ != gtMemo) continue;
      AnsiString text;
      for (int k = 0; k < o->Memo.Count(); ++k) {
        AnsiString line = o->Memo[k];
        line.erase(std::remove(line.begin(), line.end(), kParagraphEndMark), line.end());
        if (line.empty() && k == o->Memo.Count() - 1) continue;
        if (!text.empty()) text += "|";
        text += line;
      }
      out.push_back({i, o->x, o->y, o->dx, o->dy, text});
    }
  }
  return out;
}

std::vector<AnsiString> TextsOfPage(TrbEMFPages& pages, int page) {
  std::vector<AnsiString> out;
  for (const TFormedText& t : FormedTexts(pages))
    if (t.page == page) out.push_back(t.text);
  return out;
}

TReportBench::TReportBench() {
  RequireGuiApp();
  Form.SetName("Form1");
  Mem = new TMemDataSet(&Form);
  Mem->SetName("Mem");
  Mem->AddColumn("Name", ftString, 20);
  Mem->AddColumn("Amount", ftFloat);
  Mem->AddColumn("Grp", ftString, 10);
  DS = new TrbDBDataSet(&Form);
  DS->SetName("DS");
  DS->SetDataSet(Mem);
  Report = new TrbReport(&Form);
  Report->SetName("Report1");
  Page = Report->Pages().Add();
  rbSetCurrentPages(&Report->Pages());
}

TReportBench::~TReportBench() = default;

void TReportBench::AddRows(int count, int groupSize) {
  for (int i = 1; i <= count; ++i) {
    AnsiString grp = groupSize ? "G" + IntToStr((i - 1) / groupSize + 1) : AnsiString("G");
    Mem->AddRow({Variant("R" + IntToStr(i)), Variant(static_cast<double>(i)), Variant(grp)});
  }
}

TrbBandView* TReportBench::Band(int type, int top, int height, const AnsiString& source, TrbPage* page) {
  auto* band = static_cast<TrbBandView*>(rbCreateObject(gtBand, ""));
  band->SetBounds(0, top, 0, height);
  band->SetBandType(type);
  band->SetDataSource(source);
  (page ? page : Page)->Add(band);
  band->CreateUniqueName();
  return band;
}

TrbMemoView* TReportBench::Text(int left, int top, int width, int height, const AnsiString& text,
                                TrbPage* page) {
  auto* memo = static_cast<TrbMemoView*>(rbCreateObject(gtMemo, ""));
  memo->SetBounds(left, top, width, height);
  memo->Memo.SetText(text);
  memo->Flags = 0;
  (page ? page : Page)->Add(memo);
  memo->CreateUniqueName();
  return memo;
}
