// The preview window over a report component.  See ReportPreviewBridge.h.
#include "app/ReportPreviewBridge.h"

#include "report/ReportPreview.h"
#include "report/ReportPreviewReport.h"

namespace payroll {

namespace {

class TCallsReport : public TrbPreviewReport {
 public:
  explicit TCallsReport(const TReportPreviewCalls& calls) : c_(calls) {}
  TrbEMFPages* EMFPages() override { return c_.Pages(); }
  TrbPages* TemplatePages() override { return c_.Templates(); }
  AnsiString Title() const override { return c_.Title; }
  void PrintPreparedReport(const AnsiString& pages, int copies, bool collate, TrbPrintPages which) override {
    c_.Print(pages, copies, collate, static_cast<int>(which));
  }
  bool PrepareReport() override { return c_.Prepare(); }
  void LoadPreparedReport(const AnsiString& f) override { c_.Load(f); }
  void SavePreparedReport(const AnsiString& f) override { c_.Save(f); }
  void SetTerminated(bool) override {}

 private:
  TReportPreviewCalls c_;
};

}  // namespace

void ShowReportPreview(const TReportPreviewCalls& calls, const std::function<void(TForm* window)>& shown) {
  TCallsReport report(calls);
  TrbPreviewForm form(nullptr);
  if (!shown) {
    form.ShowReport(&report);
    return;
  }
  form.SetBounds(0, 0, 900, 650);
  form.Connect(&report);
  form.Show();
  Application->ProcessMessages();
  form.FormResize();
  shown(&form);
}

}  // namespace payroll
