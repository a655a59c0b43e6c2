// The report engine's readers under the fuzzer: templates, prepared-report
// files, expressions and scripts (FuzzTargets.h).
#include <memory>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"
#include "platform/ui/Bitmaps.h"
#include "report/ReportComponent.h"
#include "report/ReportDatasets.h"
#include "report/ReportFunctions.h"
#include "report/ReportPrepared.h"
#include "report/ReportView.h"
#include "tests/data/MemDataSet.h"

namespace {

// Pages formed or drawn per case at most, and the backward jumps of the
// scripts of one case: an endless loop a template asks for is the
// template's, not a finding, so the case stops it as the operator would.
constexpr int kMaxPages = 4;
constexpr int kMaxSteps = 20000;

class TFuzzReport : public TrbReport {
 public:
  using TrbReport::TrbReport;
  bool Terminated() override {
    if (++steps_ > kMaxSteps) StopReport();
    return TrbReport::Terminated();
  }

 private:
  int steps_ = 0;
};

void DrawPages(TrbEMFPages& pages) {
  TBitmap bmp(160, 226);
  for (int i = 0; i < pages.Count() && i < kMaxPages; ++i) pages.Draw(i, bmp.Canvas(), TRect(0, 0, 160, 226));
}

}  // namespace

TFuzzReportForm::TFuzzReportForm() {
  form.SetName("Form1");
  mem = new TMemDataSet(&form);
  mem->SetName("Mem");
  mem->AddColumn("Name", ftString, 20);
  mem->AddColumn("Amount", ftFloat);
  mem->AddColumn("Grp", ftString, 10);
  for (int i = 1; i <= 3; ++i)
    mem->AddRow({Variant("职工" + IntToStr(i)), Variant(i * 1250.5), Variant(i < 3 ? "G1" : "G2")});
  auto* ds = new TrbDBDataSet(&form);
  ds->SetName("DS");
  ds->SetDataSet(mem);
  report = new TFuzzReport(&form);
  report->SetName("Report1");
  report->SetShowProgress(false);
  report->OnGetValue = [](const AnsiString& name, Variant& value) {
    if (name == "DWMC") value = Variant("单位");
  };
  rbSetCurrentPages(&report->Pages());
}

TFuzzReportForm::~TFuzzReportForm() {
  rbSetCurrentContext(nullptr);
  rbSetCurrentPages(nullptr);
}

int FuzzReportTemplate(const std::uint8_t* data, std::size_t size) {
  TFuzzReportForm f;
  return FuzzShown([&] {
    TMemoryStream s;
    s.WriteBuffer(data, static_cast<int>(size));
    s.SetPosition(0);
    f.report->LoadFromStream(&s);
    f.report->OnBeginPage = [&](int page) {
      if (page >= kMaxPages) f.report->StopReport();
    };
    f.report->PrepareReport();
    DrawPages(f.report->EMFPages());
  });
}

int FuzzReportPrepared(const std::uint8_t* data, std::size_t size) {
  return FuzzShown([&] {
    TMemoryStream s;
    s.WriteBuffer(data, static_cast<int>(size));
    s.SetPosition(0);
    TrbEMFPages pages;
    pages.LoadFromStream(&s);
    DrawPages(pages);
  });
}

int FuzzReportScript(const std::uint8_t* data, std::size_t size) {
  TFuzzReportForm f;
  AnsiString expression, script;
  FuzzSplitLine(FuzzText(data, size), expression, script);
  return FuzzShown([&] {
    rbSetCurrentContext(f.report);
    (void)rbGlobalParser().Calc(expression);
    TStringList source, compiled, errors;
    source.SetText(script);
    rbGlobalInterpreter().PrepareScript(&source, &compiled, &errors);
    if (errors.Count() == 0) rbGlobalInterpreter().DoScript(&compiled);
  });
}
