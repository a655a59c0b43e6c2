// TrbReport: the report component that a form holds to print.  It owns the
// template (TrbPages, with the data dictionary), the prepared pages that
// formation produces (TrbEMFPages), loads and saves templates (".rbf" and
// the form property ReportForm), prepares the pages from the template and
// the data (one pass, or a counting pass and a final pass with TwoPass so
// that [TOTALPAGES] is known), answers every value request of the
// expression evaluator while pages form, formats values for display, and
// prints the prepared pages.  TrbCompositeReport forms several reports one
// after another into one set of prepared pages.  Calls the report model,
// formation (ReportFormation.h, ReportBand.h), platform/ui (printer,
// dialogs, message loop) and platform/data through the report datasets.
//
// Report states:
//   idle --PrepareReport--> preparing --> prepared (pages exist) or idle
//   prepared --PrintPreparedReport--> printing --> prepared
// PrepareReport always ends with the template as it was before, the
// formation state cleared and the progress window closed, also when an
// error ends it; a run that fails or is stopped in its counting pass keeps
// no prepared page.
//
// The progress window and the printer's page model are other units' work:
// the report reaches them through TrbProgressWindow and TrbPrintTarget.
// Without an installed progress window the passes run directly; without an
// installed print target printing goes to the class library's printer.
//
//   TrbReport report(form);
//   report.LoadFromFile("jjff.rbf");
//   report.OnGetValue = [](const AnsiString& n, Variant& v) { if (n == "DWMC") v = "..."; };
//   if (report.PrepareReport()) report.PrintPreparedReport("1,3,5-7", 1, true, ppAll);
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/core/Component.h"
#include "platform/core/DateTime.h"
#include "platform/core/Sets.h"
#include "platform/core/TypInfo.h"
#include "report/ReportFunctions.h"
#include "report/ReportPage.h"
#include "report/ReportPrepared.h"
#include "report/ReportPreviewReport.h"

class TCanvas;
class TDataSet;
class TStream;
class TMemoryStream;
class TStringList;
class TrbBand;
class TrbDataset;
class TrbPageFormer;
class TrbReport;
class TrbView;

enum TrbReportType : unsigned char { rtSimple, rtMultiple };
PAYROLL_ENUM_NAMES(TrbReportType, rtSimple, rtMultiple)

// Which pages of the selection print (TrbPrintPages), the preview's
// buttons and zoom: ReportPreviewReport.h, shared with the preview window.

// The modal progress window in which formation and printing run.  Run shows
// the window and calls work from inside its modal loop; work's result (1
// done, 2 stopped) is the window's result.  An exception of work closes the
// window and leaves Run.  The window's cancel button calls the report's
// StopReport.
class TrbProgressWindow {
 public:
  virtual ~TrbProgressWindow() = default;
  virtual int Run(TrbReport* report, const AnsiString& caption, const AnsiString& label,
                  const std::function<int()>& work) = 0;
  virtual void SetCaption(const AnsiString& caption) = 0;
  virtual void SetLabel(const AnsiString& label) = 0;
  // The label's text as the window was opened ("正在处理页:").
  virtual AnsiString FirstCaption() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual bool Visible() const = 0;
};
// Installs the maker of progress windows (nullptr: none, passes run directly).
void rbSetProgressWindowFactory(std::function<std::unique_ptr<TrbProgressWindow>()> factory);

// The printer as printing needs it: page geometry in device units for a
// paper, the job and the page canvas.  Units: design units are 1/96 inch
// at scale 1.
class TrbPrintTarget {
 public:
  virtual ~TrbPrintTarget() = default;
  virtual void SetTitle(const AnsiString& title) = 0;
  virtual void SetCopies(int copies) = 0;
  // True when the printer is set to this paper already.
  virtual bool IsEqual(int pgSize, int pgWidth, int pgHeight, int pgOr, int pgBin) = 0;
  // Switches the printer to the paper (only while no job runs).
  virtual void SetPrinterInfo(int pgSize, int pgWidth, int pgHeight, int pgOr, int pgBin) = 0;
  // The twelve page values of the paper (design units in [2], [3], [6], [7]).
  virtual std::array<int, 12> FillPageInfo(int pgSize, int pgWidth, int pgHeight, int pgOr) = 0;
  // Device geometry of the current paper.
  virtual int PhysicalOffsetX() = 0;
  virtual int PhysicalOffsetY() = 0;
  virtual int PhysicalWidth() = 0;
  virtual int PhysicalHeight() = 0;
  virtual int PageWidth() = 0;   // printable area
  virtual int PageHeight() = 0;
  virtual void BeginDoc() = 0;
  virtual void NewPage() = 0;
  virtual void EndDoc() = 0;
  virtual void Abort() = 0;
  virtual TCanvas* Canvas() = 0;
};
// Installs the print target (nullptr: the class library's printer).
void rbSetPrintTarget(TrbPrintTarget* target);
TrbPrintTarget* rbPrintTarget();

// "1,3,5-7" to the 1-based page numbers it names; blanks ignored, a text
// ending in "-" runs to pageCount; an empty text names none (all print).
// Ranges are cut to 1..pageCount.  Items that are not numbers raise
// EConvertError.
std::vector<int> rbParsePageNumbers(const AnsiString& text, int pageCount);

// The display format of a value (code: category bits 24-27, type 16-23,
// decimals 8-15, decimal separator 0-7; pattern for the custom type 4).
AnsiString rbFormatValue(const Variant& value, std::int32_t format, const AnsiString& formatStr);
// Splits "expr #override" and turns the override into a format code and
// pattern (format and formatStr come in as the object's own).  Returns the
// expression.
AnsiString rbSplitFormatOverride(const AnsiString& name, std::int32_t& format,
                                 AnsiString& formatStr);

using TrbBeginPageEvent = std::function<void(int pgNo)>;
using TrbBandEvent = std::function<void(TrbBand* band)>;
using TrbGetValueHandler = std::function<void(const AnsiString& parName, Variant& parValue)>;
using TrbBeforePrintEvent = std::function<void(TStringList* memo, TrbView* view)>;
using TrbUserFunctionEvent = std::function<void(const AnsiString& name, const Variant& p1,
                                                const Variant& p2, const Variant& p3, Variant& val)>;
using TrbProgressEvent = std::function<void(int n)>;
using TrbPrintColumnEvent = std::function<void(int colNo, int& width)>;
using TrbManualBuildEvent = std::function<void(TrbPage* page)>;
using TrbObjectClickEvent = std::function<void(TrbView* view)>;
using TrbMouseOverObjectEvent = std::function<void(TrbView* view, int& cursor)>;

class TrbReport : public TComponent, public TrbReportContext {
  PAYROLL_CLASS(TrbReport, TComponent)

 public:
  explicit TrbReport(TComponent* owner);
  ~TrbReport() override;

  TrbPages& Pages() { return *pages_; }
  TrbEMFPages& EMFPages() { return *emfPages_; }
  TrbDataDictionary& Dictionary() { return pages_->Dictionary; }

  // ---- published ----
  TrbDataset* Dataset() const { return dataset_; }
  void SetDataset(TrbDataset* v);
  bool GrayedButtons() const { return grayedButtons_; }
  void SetGrayedButtons(bool v) { grayedButtons_ = v; }
  TrbReportType ReportType() const { return reportType_; }
  void SetReportType(TrbReportType v) { reportType_ = v; }
  AnsiString Title() const { return title_; }
  void SetTitle(const AnsiString& v) { title_ = v; }
  bool ShowProgress() const { return showProgress_; }
  // The progress window formation runs in, while it is open (else null).
  TrbProgressWindow* ProgressWindow() const { return progress_; }
  void SetShowProgress(bool v) { showProgress_ = v; }
  bool ModalPreview() const { return modalPreview_; }
  void SetModalPreview(bool v) { modalPreview_ = v; }
  bool ModifyPrepared() const { return modifyPrepared_; }
  void SetModifyPrepared(bool v) { modifyPrepared_ = v; }
  bool StoreInDFM() const { return storeInDFM_; }
  void SetStoreInDFM(bool v) { storeInDFM_ = v; }
  const TrbPreviewButtons& PreviewButtons() const { return previewButtons_; }
  void SetPreviewButtons(const TrbPreviewButtons& v) { previewButtons_ = v; }
  TrbPreviewZoom InitialZoom() const { return initialZoom_; }
  void SetInitialZoom(TrbPreviewZoom v) { initialZoom_ = v; }
  bool MDIPreview() const { return mdiPreview_; }
  void SetMDIPreview(bool v) { mdiPreview_ = v; }
  int DefaultCopies() const { return defaultCopies_; }
  void SetDefaultCopies(int v) { defaultCopies_ = v; }
  bool DefaultCollate() const { return defaultCollate_; }
  void SetDefaultCollate(bool v) { defaultCollate_ = v; }
  bool PrintIfEmpty() const { return printIfEmpty_; }
  void SetPrintIfEmpty(bool v) { printIfEmpty_ = v; }
  bool ShowPrintDialog() const { return showPrintDialog_; }
  void SetShowPrintDialog(bool v) { showPrintDialog_ = v; }
  // The form-file property: int32 24, then with StoreInDFM an int32 byte
  // count and the template.
  AnsiString ReportFormData() const;
  void SetReportFormData(const AnsiString& bytes);

  bool TwoPass() const { return pages_->TwoPass; }
  void SetTwoPass(bool v) { pages_->TwoPass = v; }
  const AnsiString& FileName() const { return fileName_; }

  std::function<void()> OnBeginDoc, OnEndDoc, OnPrintReport;
  TrbBeginPageEvent OnBeginPage, OnEndPage;
  TrbBandEvent OnBeginBand, OnEndBand, OnBeginColumn;
  TrbGetValueHandler OnGetValue;
  TrbBeforePrintEvent OnBeforePrint;
  TrbUserFunctionEvent OnUserFunction;
  TrbProgressEvent OnProgress;
  TrbPrintColumnEvent OnPrintColumn;
  TrbManualBuildEvent OnManualBuild;
  TrbObjectClickEvent OnObjectClick;
  TrbMouseOverObjectEvent OnMouseOverObject;
  // Shows the prepared pages (the preview window's unit installs it);
  // without one ShowPreparedReport shows nothing.
  static std::function<void(TrbReport* report)>& PreviewHook();

  // ---- templates ----
  // False, with the reason shown, when the file is missing, empty, of a
  // newer version or damaged; the current template is then kept.
  bool LoadFromFile(const AnsiString& fileName);
  bool LoadFromStream(TStream* stream);
  void SaveToStream(TStream* stream);
  TrbView* FindObject(const AnsiString& name) override;

  // ---- preparing and showing ----
  virtual bool PrepareReport();
  void ShowReport();
  void ShowPreparedReport();
  // "预览 - Title" ("预览" without a title), the preview window's caption.
  AnsiString PreviewCaption() const;
  // Hands a prepared page to a report designer; there is none here, so
  // it does nothing.
  void EditPreparedReport(int) {}
  void LoadPreparedReport(const AnsiString& fileName);
  void SavePreparedReport(const AnsiString& fileName);
  bool CanRebuild() const { return canRebuild_; }
  bool FinalPass() const { return finalPass_; }
  // Stopped (by the user or STOPREPORT), this report or the one it forms into.
  bool IsTerminated() const;
  // The counting pass of a two-pass run: objects run their scripts only.
  bool IsFirstPass() const;
  // Objects bound to a dataset field load blob content before they print.
  void BindField(TrbView* view, TDataSet* dataSet, const AnsiString& field);

  // ---- printing ----
  void PrintPreparedReport(const AnsiString& pageNumbers, int copies, bool collate,
                           TrbPrintPages printPages);
  // The print dialog's entry: inside the progress window when it is shown.
  void PrintPreparedReportDlg(const AnsiString& pageNumbers, int copies, bool collate,
                              TrbPrintPages printPages);

  // ---- formation services ----
  // Pages formed by this report (a composite report forms its members' pages
  // into its own list).
  TrbEMFPages& TargetPages();
  void DoProgress(int n);
  void DoBeforePrint(TStringList* memo, TrbView* view);
  void DoBeginColumn(TrbBand* band);
  void DoPrintColumn(int colNo, int& width);
  void DoBeginPage(int pgNo);
  void DoEndPage(int pgNo);
  void DoBeginBand(TrbBand* band);
  void DoEndBand(TrbBand* band);
  // The page builder (one pass).
  virtual void BuildPages();
  // The formers of this report's template pages while a pass runs.
  std::vector<std::unique_ptr<TrbPageFormer>>& Formers() { return formers_; }
  TrbPageFormer* FormerOf(TrbPage* page);
  TrbPageFormer* FormerOfIndex(int index);

  // ---- TrbReportContext ----
  void GetVariableValue(const AnsiString& name, Variant& value) override;
  void UserFunction(const AnsiString& name, const Variant& p1, const Variant& p2,
                    const Variant& p3, Variant& value) override;
  void StopReport() override;
  AnsiString ReportName() override { return Name(); }
  bool Terminated() override;
  void NewPage() override;
  void NewColumn() override;
  void ShowBand(const AnsiString& name) override;
  bool SetDictionaryVariable(const AnsiString& name, const Variant& value) override;
  bool SetModalResult(int result) override;
  bool SetCurY(int y) override;
  void ShowProgress(const AnsiString& text) override;
  void BeforePrint(TStrings* memo, TrbObject* view) override;
  AnsiString ExpandValue(TrbObject* view, const AnsiString& expression) override;
  TrbAggregateBand* CurrentBand() override;
  TrbAggregateBand* RegisteringFor() override;
  int CrossColumn() override;

  // GetSystemValue: CURY, FREESPACE, FINALPASS, PAGEHEIGHT, PAGEWIDTH,
  // object.property, constants.
  void GetSystemValue(const AnsiString& name, Variant& value);

 protected:
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  // Saves every template that formation may change; restores them.
  virtual void SaveTemplates(std::vector<std::unique_ptr<TMemoryStream>>& saved);
  virtual void RestoreTemplates(std::vector<std::unique_ptr<TMemoryStream>>& saved);
  // One pass, or a counting pass and the final pass (TwoPass).
  bool DoPrepareReport();
  int RunPasses();
  // Runs work inside a new progress window (ProgressFactory), which the
  // report reaches through progress_ while it is open; work's result.
  int RunInProgressWindow(const AnsiString& caption, const AnsiString& label, const std::function<int()>& work);
  // Per-pass page building of one report into the master's pages.
  void BuildPagesOf();
  void InitFormers();
  void DoneFormers();

  std::unique_ptr<TrbPages> pages_;
  std::unique_ptr<TrbEMFPages> emfPages_;
  std::vector<std::unique_ptr<TrbPageFormer>> formers_;
  TrbDataset* dataset_ = nullptr;
  bool grayedButtons_ = false;
  TrbReportType reportType_ = rtSimple;
  AnsiString title_;
  bool showProgress_ = true, modalPreview_ = true, modifyPrepared_ = true, storeInDFM_ = false;
  TrbPreviewButtons previewButtons_{pbZoom, pbLoad, pbSave, pbPrint, pbFind, pbHelp, pbExit};
  TrbPreviewZoom initialZoom_ = pzDefault;
  bool mdiPreview_ = false;
  int defaultCopies_ = 1;
  bool defaultCollate_ = true;
  bool printIfEmpty_ = true, showPrintDialog_ = true;
  bool canRebuild_ = false, terminated_ = false, finalPass_ = false, rememberedTwoPass_ = false;
  bool firstPass_ = false;
  AnsiString fileName_ = "Untitled";
  std::unique_ptr<TMemoryStream> reportForm_;
  TrbProgressWindow* progress_ = nullptr;
  std::map<TrbView*, std::pair<TDataSet*, AnsiString>> bindings_;
  std::vector<bool> savedVisible_;

 private:
  friend class TrbCompositeReport;
  void PrintPage(int index, bool& firstSheet);
};

// Forms the pages of several reports one after another into its own
// prepared pages.
class TrbCompositeReport : public TrbReport {
  PAYROLL_CLASS(TrbCompositeReport, TrbReport)

 public:
  explicit TrbCompositeReport(TComponent* owner);
  std::vector<TrbReport*> Reports;
  void BuildPages() override;

 protected:
  void SaveTemplates(std::vector<std::unique_ptr<TMemoryStream>>& saved) override;
  void RestoreTemplates(std::vector<std::unique_ptr<TMemoryStream>>& saved) override;
};
