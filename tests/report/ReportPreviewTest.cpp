// The preview window over prepared pages built directly: zoom and layout,
// paging keys and the status text, painting, find with highlight, loading
// and saving prepared reports, page setup, and printing to a PDF file.
// Screenshots go to PAYROLL_SHOT_DIR when it names a folder.
#include "report/ReportPreview.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <deque>

#include "ReportTestSupport.h"
#include "platform/core/Files.h"
#include "platform/core/Streams.h"
#include "platform/core/Settings.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Printers.h"
#include "platform/ui/VirtualKeys.h"
#include "report/ReportBuild.h"
#include "report/ReportPage.h"
#include "report/ReportPrepared.h"
#include "report/ReportPrintDialog.h"
#include "report/ReportPrinter.h"
#include "report/ReportViews.h"
#include "report/ReportWindowPos.h"
#include "tests/core/ScratchDir.h"

namespace {

// A memo of one line on a formed page.
void Text(TrbPage* page, int x, int y, int w, int h, const AnsiString& text, const char* frame = "") {
  TrbMemoView* m = RbCollection->AddMemo(page, frame, x, y, w, h, text, "L", 10, 0);
  m->Memo.Add(AnsiString(1, kParagraphEndMark));
}

// Pages of a small pay list; "合计" twice on page 2 and once on page 3.
void FormPages(TrbEMFPages& pages, int count, TrbPage& paper) {
  for (int n = 1; n <= count; ++n) {
    pages.Add(&paper);
    TrbPage* page = pages.ObjectsToPage(n - 1);
    Text(page, 40, 30, 400, 24, "工资表 第" + std::to_string(n) + "页", "LRTB");
    for (int k = 0; k < 8; ++k)
      Text(page, 40, 70 + 22 * k, 500, 20, "职工 " + std::to_string(n * 100 + k) + "  应发 1234.50", "LRTB");
    if (n == 2) {
      Text(page, 40, 300, 300, 20, "部门合计 9876.00");
      Text(page, 40, 900, 300, 20, "单位合计 19876.00");
    }
    if (n == 3) Text(page, 300, 700, 300, 20, "Total 合计 3.00");
    auto* line = static_cast<TrbLineView*>(page->Add(rbCreateObject(gtLine, "")));
    line->SetBounds(40, 260, 500, 0);
    pages.PageToObjects(n - 1);
  }
}

// The report double: its prepared pages, the template for page setup, and
// printing onto the printer model's printer, page by page.
struct TestReport : TrbPreviewReport {
  TestReport(int pageCount = 3) : count(pageCount) {
    templ.Add();
    FormPages(emf, count, *templ.Pages(0));
  }
  TrbEMFPages* EMFPages() override { return &emf; }
  TrbPages* TemplatePages() override { return &templ; }
  AnsiString Title() const override { return "工资表"; }
  TrbPreviewButtons PreviewButtons() const override { return buttons; }
  bool ShowPrintDialog() const override { return printDialog; }
  int DefaultCopies() const override { return 2; }
  void PrintPreparedReport(const AnsiString& pages, int copies, bool collate, TrbPrintPages which) override {
    ++prints;
    lastPages = pages;
    lastCopies = copies;
    TPrinter* device = rbPrinter()->Printer();
    output = device->OutputFileName();
    device->SetTitle("工资表");
    const TrbPageInfo& first = emf.Pages(0);
    rbPrinter()->SetPrinterInfo(first.pgSize, first.pgWidth, first.pgHeight, first.pgBin,
                                first.pgOr ? poLandscape : poPortrait, true);
    device->BeginDoc();
    for (int i = 0; i < emf.Count(); ++i) {
      if (i) device->NewPage();
      TrbPageGeometry g{};
      rbPrinter()->FillPageInfo(g);
      TrbPageInfo& info = emf.Pages(i);
      info.Visible = true;
      emf.Draw(i, device->Canvas(), TRect(-g[4], -g[5], g[0] - g[4], g[1] - g[5]));
      info.Visible = false;
      emf.Draw(i, device->Canvas(), TRect());
    }
    device->EndDoc();
  }
  bool PrepareReport() override {
    ++prepares;
    emf.Clear();
    FormPages(emf, count, *templ.Pages(0));
    return true;
  }
  void LoadPreparedReport(const AnsiString& f) override { emf.LoadFromFile(f); }
  void SavePreparedReport(const AnsiString& f) override { emf.SaveToFile(f); }
  void SetTerminated(bool) override {}

  int count;
  TrbPages templ;
  TrbEMFPages emf;
  TrbPreviewButtons buttons = kDefaultPreviewButtons;
  bool printDialog = false;
  int prints = 0, prepares = 0, lastCopies = 0;
  AnsiString lastPages, output;
};

// Answers file dialogs from a queue; records message boxes.
struct Answers : TDialogService {
  Answers() { previous = SetDialogService(this); }
  ~Answers() override { SetDialogService(previous); }
  int ShowMessageBox(const TMessageRequest& r) override {
    boxes.push_back(r.Text);
    return IDOK;
  }
  bool InputQuery(const AnsiString&, const AnsiString&, AnsiString&) override { return false; }
  bool File(TFileRequest& r) {
    requests.push_back(r);
    if (files.empty()) return false;
    r.FileName = files.front();
    files.pop_front();
    return true;
  }
  bool OpenFile(TFileRequest& r) override { return File(r); }
  bool SaveFile(TFileRequest& r) override { return File(r); }
  bool SelectDirectory(const AnsiString&, const AnsiString&, AnsiString&) override { return false; }
  TDialogService* previous;
  std::deque<AnsiString> files;
  std::vector<TFileRequest> requests;
  std::vector<AnsiString> boxes;
};

QImage Shot(TrbPreviewForm* f, const char* name) {
  Application->ProcessMessages();
  QImage image = f->PBox->Handle()->grab().toImage();
  if (const char* dir = std::getenv("PAYROLL_SHOT_DIR"))
    f->Handle()->grab().toImage().save(QString::fromUtf8(dir) + "/report-preview-" + name + ".png");
  return image;
}

TColor Pixel(const QImage& image, int x, int y) {
  QRgb p = image.pixel(x, y);
  return static_cast<TColor>(qRed(p) | (qGreen(p) << 8) | (qBlue(p) << 16));
}

struct PreviewTest : ::testing::Test {
  PreviewTest() {
    RequireGuiApp();
    SetSettingsFileForTesting(dir / "settings.ini");
    rbResetPrinterForTesting();
    rbSetLastPreviewZoom(1, 0);
    form = new TrbPreviewForm(nullptr);
    form->SetBounds(0, 0, 800, 600);
  }
  ~PreviewTest() override {
    delete form;
    SetSettingsFileForTesting("");
    DeliverPostedMessages();
  }
  void Open(TestReport& r) {
    form->Connect(&r);
    form->Show();
    Application->ProcessMessages();
    form->FormResize();
  }
  int DeskW() const { return form->PBox->ClientWidth(); }
  int DeskH() const { return form->PBox->ClientHeight(); }
  ScratchDir dir;
  TrbPreviewForm* form;
};

TEST_F(PreviewTest, EachZoomLaysThePagesOutAndIsShot) {
  TestReport report(4);
  Open(report);
  const int pw = report.emf.Pages(0).PrnInfo[2], ph = report.emf.Pages(0).PrnInfo[3];
  ASSERT_EQ(pw, 756);

  form->SetZoom(1);  // page width
  EXPECT_DOUBLE_EQ(form->Scale(), (DeskW() - 20.0) / pw);
  EXPECT_EQ(form->PagesPerRow(), 1);
  EXPECT_EQ(form->PageRect(0).Left, 10);
  EXPECT_EQ(form->ZoomBtn->Caption(), std::to_string(std::lround(form->Scale() * 100)) + "%");
  EXPECT_TRUE(form->ZoomItems[7]->Checked());
  Shot(form, "page-width");

  form->SetZoom(2);  // whole page: centred, 10 pixels above and below
  TRect r = form->PageRect(0);
  EXPECT_EQ(r.Top, 10);
  EXPECT_NEAR(DeskH() - r.Bottom, 10, 1);
  EXPECT_NEAR(r.Left, DeskW() - r.Right, 1);
  Shot(form, "whole-page");

  form->SetZoom(3);  // two pages per row, whatever the width
  EXPECT_EQ(form->PagesPerRow(), 2);
  EXPECT_EQ(form->PageRect(1).Top, form->PageRect(0).Top);
  EXPECT_EQ(form->PageRect(1).Left, form->PageRect(0).Right + 10);
  EXPECT_EQ(form->PageRect(2).Top, form->PageRect(0).Bottom + 10);
  Shot(form, "two-pages");

  form->SetZoom(25);  // free: as many as fit in a row
  EXPECT_DOUBLE_EQ(form->Scale(), 0.25);
  EXPECT_EQ(form->ZoomBtn->Caption(), "25%");
  int w = std::lround(pw * 0.25);
  EXPECT_EQ(form->PagesPerRow(), std::min(4, (DeskW() - 10) / (w + 10)));
  EXPECT_EQ(form->VertMax(), std::max(0, form->PageRect(3).Bottom - DeskH() + 10));
  EXPECT_EQ(form->VScrollBar->Enabled(), form->VertMax() > 0);
  Shot(form, "25");

  for (int tag : {200, 150, 100, 75, 50, 10}) {
    form->SetZoom(tag);
    EXPECT_DOUBLE_EQ(form->Scale(), tag / 100.0);
    Shot(form, std::to_string(tag).c_str());
  }
  form->SetZoom(100);
  EXPECT_EQ(form->VertMax(), form->PageRect(3).Bottom - DeskH() + 10);
  EXPECT_EQ(form->HorzMax(), 0);  // a 756-pixel page in a 780-pixel desk
  // The zoom lasts into the next preview window.
  TrbPreviewForm second(nullptr);
  second.SetBounds(0, 0, 800, 600);
  second.Connect(&report);
  EXPECT_DOUBLE_EQ(second.Scale(), 1.0);
  EXPECT_EQ(second.ZoomMode(), 0);
  (void)ph;
}

TEST_F(PreviewTest, PagingKeysAndTheStatusText) {
  TestReport report(3);
  Open(report);
  form->SetZoom(100);
  EXPECT_EQ(form->StatusLabel->Caption(), "页 1/3");
  std::uint16_t key = VK_NEXT;
  form->HandleKey(key, TShiftState{ssCtrl});
  EXPECT_EQ(key, 0);
  EXPECT_EQ(form->CurPage(), 2);
  EXPECT_EQ(form->StatusLabel->Caption(), "页 2/3");
  EXPECT_EQ(form->OffsetY(), form->PageRect(1).Top - 10);
  key = VK_END;
  form->HandleKey(key, TShiftState{ssCtrl});
  EXPECT_EQ(form->CurPage(), 3);
  key = VK_NEXT;
  form->HandleKey(key, TShiftState{ssCtrl});  // stays on the last page
  EXPECT_EQ(form->CurPage(), 3);
  key = VK_HOME;
  form->HandleKey(key, TShiftState{});
  EXPECT_EQ(key, VK_HOME);  // not handled without Ctrl
  form->HandleKey(key, TShiftState{ssCtrl});
  EXPECT_EQ(form->OffsetY(), 0);
  EXPECT_EQ(form->CurPage(), 1);
  EXPECT_EQ(form->StatusText(), "页 1/3");
  key = VK_DOWN;
  form->HandleKey(key, TShiftState{});
  EXPECT_EQ(form->OffsetY(), 10);
  key = VK_NEXT;
  form->HandleKey(key, TShiftState{});
  EXPECT_EQ(form->OffsetY(), 210);
  // Scrolling makes current the page at the line 11 pixels below the top.
  form->ScrollTo(0, form->PageRect(1).Top - 11);
  EXPECT_EQ(form->CurPage(), 2);
  form->Wheel(-2 * WHEEL_DELTA);
  EXPECT_EQ(form->OffsetY(), form->PageRect(1).Top - 11 + 20);
  form->PgUpBtn->Click();
  EXPECT_EQ(form->CurPage(), 1);
  key = 'Q';
  form->HandleKey(key, TShiftState{});
  EXPECT_EQ(key, 'Q');
}

TEST_F(PreviewTest, ClickingAPageMakesItCurrentAndDraggingScrolls) {
  TestReport report(3);
  Open(report);
  form->SetZoom(50);
  form->ScrollTo(0, 0);
  TRect second = form->PageRect(1);
  form->DeskMouseDown(mbLeft, second.Left + 5, second.Top + 5);
  EXPECT_EQ(form->CurPage(), 2);
  form->DeskMouseUp();
  form->SetZoom(100);
  form->ScrollTo(0, 0);
  form->DeskMouseDown(mbLeft, 300, 300);
  form->DeskMouseMove(300, 200);
  EXPECT_EQ(form->OffsetY(), 100);
  form->DeskMouseUp();
  form->DeskMouseMove(300, 100);
  EXPECT_EQ(form->OffsetY(), 100);
}

// The desk paints every page that reaches into it, also below 2,000 pixels.
TEST_F(PreviewTest, PagesLowerThanTwoThousandPixelsArePaintedInATallDesk) {
  TestReport report(3);
  form->SetBounds(0, 0, 800, 2700);
  Open(report);
  if (DeskH() < 2300) GTEST_SKIP() << "the screen keeps the window short";
  form->SetZoom(100);
  ASSERT_GT(form->PageRect(2).Top, 2000);
  ASSERT_LT(form->PageRect(2).Top + 40, DeskH());
  QImage shot = Shot(form, "tall");
  EXPECT_TRUE(report.emf.Pages(2).Visible);
  TRect r = form->PageRect(2);
  EXPECT_EQ(Pixel(shot, r.Left + 20, r.Top + 10), clWhite) << "third page blank";
  EXPECT_EQ(Pixel(shot, 3, r.Top + 10), 0x808080);
}

TEST_F(PreviewTest, TextRecordsOfAPage) {
  TestReport report(2);
  std::vector<TrbTextRecord> records = rbPageTextRecords(report.emf, 1);
  ASSERT_GE(records.size(), 11u);
  EXPECT_EQ(records[0].Text, "工资表 第2页");
  EXPECT_GE(records[0].R.Left, 40);
  EXPECT_GE(records[0].R.Top, 30);
  EXPECT_LT(records[0].R.Top, 54);
  EXPECT_FALSE(report.emf.Pages(1).Visible);
  EXPECT_EQ(report.emf.Pages(1).Page, nullptr);  // the drawn objects were let go
}

TEST_F(PreviewTest, FindAndFindNextWalkTheHitsAndHighlightThem) {
  TestReport report(3);
  Open(report);
  form->SetZoom(100);
  ASSERT_TRUE(form->Find("合计", false, false));
  EXPECT_EQ(form->HitPage(), 1);
  EXPECT_EQ(form->CurPage(), 2);
  EXPECT_EQ(form->StatusText(), "页 2/3");
  TRect first = form->HitRect();
  EXPECT_EQ(first.Top / 10, 30);  // "部门合计" at y 300
  // The hit is in view and inverted.
  TRect page = form->PageRect(1);
  int hx = page.Left + first.Left + 2 - form->OffsetX(), hy = page.Top + first.Top + 2 - form->OffsetY();
  ASSERT_GE(hy, 0);
  ASSERT_LT(hy, DeskH());
  QImage shot = Shot(form, "found");
  int dark = 0, all = 0;
  for (int y = hy; y < hy + first.Height() - 4; ++y)
    for (int x = hx; x < hx + first.Width() - 4; ++x, ++all) dark += qGray(shot.pixel(x, y)) < 128;
  EXPECT_GT(dark * 2, all) << "the white paper under the hit is inverted";

  // F3: the next hit on the same page first, then the next page.
  std::uint16_t key = VK_F3;
  form->HandleKey(key, TShiftState{});
  EXPECT_EQ(form->HitPage(), 1);
  EXPECT_EQ(form->HitRect().Top / 10, 90);
  int top = form->OffsetY();
  EXPECT_LE(top, page.Top + 900);
  EXPECT_GE(top + DeskH(), page.Top + 920);
  EXPECT_TRUE(form->FindNext());
  EXPECT_EQ(form->HitPage(), 2);
  EXPECT_EQ(form->CurPage(), 3);
  Shot(form, "found-next");
  // No further hit: the view stays.
  int y = form->OffsetY();
  EXPECT_FALSE(form->FindNext());
  EXPECT_EQ(form->OffsetY(), y);
  EXPECT_EQ(form->CurPage(), 3);
  EXPECT_FALSE(form->Find("没有的字", false, false));
  EXPECT_EQ(form->CurPage(), 3);
}

TEST_F(PreviewTest, FindIsCaseBlindUnlessAskedAndCanStartAtTheCurrentPage) {
  TestReport report(3);
  Open(report);
  form->GotoPage(3);
  EXPECT_TRUE(form->Find("合计", false, true));  // from page 3: page 2's hits are skipped
  EXPECT_EQ(form->HitPage(), 2);
  // Searched last, page 3 goes on after its hit: no second one there.
  EXPECT_FALSE(form->Find("合计", false, true));
  EXPECT_TRUE(form->Find("total", false, false));
  EXPECT_EQ(form->HitPage(), 2);
  EXPECT_FALSE(form->Find("total", true, false));
  EXPECT_TRUE(form->Find("Total", true, false));
}

TEST_F(PreviewTest, SavedReportsLoadBackAndBadFilesKeepThePages) {
  TestReport report(3);
  Open(report);
  Answers answers;
  answers.files.push_back(dir / "pay.txt");
  form->SaveBtnClick();
  ASSERT_EQ(answers.requests.size(), 1u);
  EXPECT_EQ(answers.requests[0].Filter, "Report 文件 (*.rbp)|*.rbp");
  ASSERT_TRUE(FileExists(dir / "pay.rbp")) << "the .rbp extension is forced";

  TestReport other(1);
  Open(other);
  EXPECT_EQ(form->StatusText(), "页 1/1");
  answers.files.push_back(dir / "pay.rbp");
  form->LoadBtnClick();
  EXPECT_EQ(other.emf.Count(), 3);
  EXPECT_EQ(form->StatusText(), "页 1/3");
  EXPECT_TRUE(form->Find("合计", false, false));
  Shot(form, "reloaded");

  std::FILE* f = std::fopen(std::string(dir / "bad.rbp").c_str(), "wb");
  std::fputs("\x18", f);
  std::fclose(f);
  answers.files.push_back(dir / "bad.rbp");
  EXPECT_THROW(form->LoadBtnClick(), Exception);
  EXPECT_EQ(other.emf.Count(), 3);
  form->LoadBtnClick();  // cancelled: nothing happens
  EXPECT_EQ(other.emf.Count(), 3);
}

TEST_F(PreviewTest, ThePrintDialogComesBeforeTheFileQuestion) {
  // Without printers the pages go to a file; the file is asked for only
  // once the print dialog has said what to print, and not after a cancel.
  TestReport report(3);
  report.printDialog = true;
  Open(report);
  if (rbPrinter()->HasSystemPrinters()) GTEST_SKIP() << "a system printer is installed";
  Answers answers;
  answers.files.push_back(dir / "pay");
  bool dialogShown = false;
  QTimer::singleShot(0, qApp, [&] {
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (auto* f = dynamic_cast<TrbPrintForm*>(Screen->Forms(i))) {
        dialogShown = true;
        EXPECT_TRUE(answers.requests.empty());  // nothing asked yet
        f->CancelBtn->Click();
      }
  });
  form->PrintBtnClick();
  EXPECT_TRUE(dialogShown);
  EXPECT_TRUE(answers.requests.empty());
  EXPECT_EQ(report.prints, 0);
}

TEST_F(PreviewTest, PrintingWithoutPrintersGoesToAPdfFile) {
  TestReport report(3);
  Open(report);
  if (rbPrinter()->HasSystemPrinters()) GTEST_SKIP() << "a system printer is installed";
  Answers answers;
  form->PrintBtnClick();  // the file dialog cancelled: nothing printed
  EXPECT_EQ(report.prints, 0);
  answers.files.push_back(dir / "pay");
  form->PrintBtnClick();
  ASSERT_EQ(report.prints, 1);
  EXPECT_EQ(report.output, dir / "pay.pdf");
  EXPECT_EQ(report.lastCopies, 2);  // the report's default, no dialog asked
  EXPECT_EQ(report.lastPages, "");
  EXPECT_EQ(rbPrinter()->Printer()->OutputFileName(), "");
  QFile pdf(QString::fromStdString(dir / "pay.pdf"));
  ASSERT_TRUE(pdf.exists());
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  QByteArray bytes = pdf.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF"));
  EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 3)
      << "three pages";
  // A look at page 2 through pdftoppm, where it is installed.
  if (std::system("command -v pdftoppm >/dev/null 2>&1") == 0) {
    std::string out = dir / "page";
    std::string cmd = "pdftoppm -r 40 -f 2 -l 2 -png '" + std::string(dir / "pay.pdf") + "' '" + out + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    QImage page(QString::fromStdString(out + "-2.png"));
    ASSERT_FALSE(page.isNull());
    EXPECT_NEAR(page.width() * 297.0 / page.height(), 210, 3);  // A4 portrait
    int dark = 0;
    for (int y = 0; y < page.height(); ++y)
      for (int x = 0; x < page.width(); ++x) dark += qGray(page.pixel(x, y)) < 128;
    EXPECT_GT(dark, 100) << "frames and text on the printed page";
    if (const char* shots = std::getenv("PAYROLL_SHOT_DIR"))
      page.save(QString::fromUtf8(shots) + "/report-preview-printed-page2.png");
  }
}

TEST_F(PreviewTest, CtrlPWithThePrintButtonHiddenDoesNothing) {
  TestReport report(2);
  report.buttons = TrbPreviewButtons{pbZoom, pbExit};
  Open(report);
  EXPECT_FALSE(form->PrintBtn->Visible());
  EXPECT_FALSE(form->LoadBtn->Visible());
  Answers answers;
  answers.files.push_back(dir / "x.pdf");
  std::uint16_t key = 'P';
  form->HandleKey(key, TShiftState{ssCtrl});
  EXPECT_EQ(key, 0);
  EXPECT_EQ(report.prints, 0);
  EXPECT_TRUE(answers.requests.empty());
}

TEST_F(PreviewTest, PageSetupChangesEveryReportPageAndFormsAgain) {
  TestReport report(3);
  report.templ.Pages(0)->LeftMargin = 36;  // 10 mm
  TrbPage* dialog = report.templ.Add();
  dialog->Type = 1;
  Open(report);
  form->GotoPage(3);
  TrbPageSetup seen;
  TrbPrinterDialog old = rbSetPrinterDialog([&](TPrinter*, TrbPageSetup& s, bool withMargins) {
    EXPECT_TRUE(withMargins);
    seen = s;
    s.Mode.PaperSize = 11;  // A5 landscape
    s.Mode.PaperWidth = 1480;
    s.Mode.PaperLength = 2100;
    s.Mode.Orientation = poLandscape;
    s.Margins = {2000, 1000, 1000, 1000};
    return true;
  });
  form->PageSetupBtnClick();
  rbSetPrinterDialog(old);
  EXPECT_EQ(seen.Margins[0], 1000);  // 36 design units as hundredths of a millimetre
  EXPECT_EQ(seen.Mode.PaperSize, 9);
  TrbPage* page = report.templ.Pages(0);
  EXPECT_EQ(page->pgSize, 11);
  EXPECT_EQ(page->pgOr, 1);
  EXPECT_EQ(page->LeftMargin, 72);
  EXPECT_EQ(page->TopMargin, 36);
  EXPECT_EQ(dialog->pgSize, 9);  // dialog pages keep theirs
  EXPECT_EQ(report.prepares, 1);
  EXPECT_EQ(rbPrinter()->PaperSize(), 11);
  EXPECT_EQ(rbPrinter()->Orientation(), poLandscape);
  EXPECT_EQ(form->CurPage(), 1);

  rbSetPrinterDialog([](TPrinter*, TrbPageSetup&, bool) { return false; });
  form->PageSetupBtnClick();  // cancelled
  rbSetPrinterDialog(old);
  EXPECT_EQ(report.prepares, 1);
}

TEST_F(PreviewTest, EscapeClosesAndFreesTheWindowKeepingItsPosition) {
  TestReport report(2);
  form->SetBounds(50, 60, 700, 500);
  Open(report);
  std::uint16_t key = VK_ESCAPE;
  form->HandleKey(key, TShiftState{});
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly(rbFormPositionKey(form)));
  EXPECT_EQ(reg.ReadInteger("Width"), 700);
  form = nullptr;  // freed once the queued messages are handled
  Application->ProcessMessages();
  DeliverPostedMessages();
  EXPECT_NE(report.emf.Count(), 0);  // the pages stay the report's
}

TEST_F(PreviewTest, ActivationSetsTheHelpFileAndDeactivationRestoresIt) {
  TestReport report(1);
  Open(report);
  Application->SetHelpFile("app.hlp");
  form->OnActivate(form);
  EXPECT_EQ(Application->HelpFile(), "RBuser.hlp");
  form->OnDeactivate(form);
  EXPECT_EQ(Application->HelpFile(), "app.hlp");
}

}  // namespace

namespace {

TEST_F(PreviewTest, APanelHostsThePagesInAnotherForm) {
  TestReport report(3);
  TForm host(nullptr);
  host.SetBounds(0, 0, 700, 500);
  auto* panel = new TrbPreview(&host);
  panel->SetParent(&host);
  panel->SetAlign(alClient);
  panel->SetScrollBars(ssVertical);
  std::vector<int> changes;
  panel->OnPageChanged = [&](TObject* sender, int page) {
    EXPECT_EQ(sender, panel);
    changes.push_back(page);
  };
  host.Show();
  panel->Connect(&report);
  Application->ProcessMessages();
  EXPECT_TRUE(panel->Connected());
  EXPECT_EQ(panel->Window()->PBox->Parent(), panel);
  EXPECT_FALSE(panel->Window()->HScrollBar->Visible());
  EXPECT_TRUE(panel->Window()->VScrollBar->Visible());
  EXPECT_FALSE(panel->Window()->Showing());
  TrbPreviewForm* w = panel->Window();
  w->SetZoom(100);
  w->ScrollTo(0, 0);
  w->Wheel(-WHEEL_DELTA);
  EXPECT_EQ(w->OffsetY(), 3 * TrbPreviewForm::kSmallStep);  // three small steps a notch here
  w->NextPage();
  EXPECT_EQ(panel->GetPage(), 2);
  EXPECT_EQ(changes, std::vector<int>{2});
  if (const char* dir = std::getenv("PAYROLL_SHOT_DIR"))
    host.Handle()->grab().toImage().save(QString::fromUtf8(dir) + "/report-preview-panel.png");
  panel->Disconnect();
  EXPECT_EQ(w->PBox->Parent(), w);
}

TEST_F(PreviewTest, TheSearchDialogAsksAndFinds) {
  TestReport report(3);
  Open(report);
  QTimer::singleShot(0, qApp, [] {
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (auto* f = dynamic_cast<TrbPreviewSearchForm*>(Screen->Forms(i))) {
        EXPECT_TRUE(f->RB1->Checked());
        f->Edit1->SetText("单位合计");
        f->OKBtn->Click();
      }
  });
  std::uint16_t key = 'F';
  form->HandleKey(key, TShiftState{ssCtrl});
  EXPECT_EQ(form->HitPage(), 1);
  EXPECT_EQ(form->HitRect().Top / 10, 90);
}

}  // namespace

namespace {

TEST_F(PreviewTest, APreviewOpensAsAChildOfTheMainWindow) {
  TestReport report(2);
  TForm main(nullptr);
  main.SetFormStyle(fsMDIForm);
  main.SetBounds(0, 0, 900, 700);
  main.Show();
  auto* child = new TrbPreviewForm(&main);
  child->SetFormStyle(fsMDIChild);
  child->SetWindowState(wsNormal);
  child->Connect(&report);
  child->Show();
  Application->ProcessMessages();
  EXPECT_EQ(main.MDIChildCount(), 1);
  EXPECT_EQ(child->MDIParent(), &main);
  child->FormResize();
  EXPECT_EQ(child->StatusText(), "页 1/2");
  if (const char* dir = std::getenv("PAYROLL_SHOT_DIR"))
    main.Handle()->grab().toImage().save(QString::fromUtf8(dir) + "/report-preview-mdi.png");
}

TEST_F(PreviewTest, AModalPreviewRunsUntilClosed) {
  TestReport report(2);
  auto* modal = new TrbPreviewForm(nullptr);
  bool ran = false;
  QTimer::singleShot(0, qApp, [&] {
    ran = modal->IsModal();
    std::uint16_t key = VK_ESCAPE;
    modal->HandleKey(key, TShiftState{});
  });
  modal->ShowReport(&report);  // modal by default; Escape frees it
  EXPECT_TRUE(ran);
  DeliverPostedMessages();
  Application->ProcessMessages();
}

}  // namespace

namespace {

// A key pressed on the page panel reaches the window first (key preview).
TEST_F(PreviewTest, KeysOnThePagePanelArePreviewedByTheWindow) {
  TestReport report(3);
  Open(report);
  form->SetZoom(100);
  form->ScrollTo(0, 0);
  form->PBox->Perform(WM_KEYDOWN, VK_NEXT, 0);
  EXPECT_EQ(form->OffsetY(), TrbPreviewForm::kLargeStep);
  form->PBox->Perform(WM_KEYDOWN, VK_F3, 0);  // nothing searched yet: nothing happens
  EXPECT_EQ(form->HitPage(), -1);
}

TEST_F(PreviewTest, AReportWithoutPagesShowsAnEmptyDesk) {
  TestReport report(0);
  Open(report);
  EXPECT_EQ(form->PageCount(), 0);
  EXPECT_EQ(form->VertMax(), 0);
  EXPECT_FALSE(form->Find("合计", false, false));
  std::uint16_t key = VK_END;
  form->HandleKey(key, TShiftState{ssCtrl});
  form->PrintBtnClick();
  EXPECT_EQ(report.prints, 0);
  QImage shot = Shot(form, "empty");
  EXPECT_EQ(Pixel(shot, 100, 100), 0x808080);
}

}  // namespace

namespace {

// The zoom menu (right button, Space, the zoom button) sets the zoom of
// the item chosen.
TEST_F(PreviewTest, TheZoomMenuSetsTheChosenZoom) {
  TestReport report(3);
  Open(report);
  TMenuItem* chosen = form->ZoomItems[8];  // 全页(&W)
  form->ProcMenu->ChooseForTest = [&](TPopupMenu*) { return chosen; };
  form->DeskMouseDown(mbRight, 50, 50);
  EXPECT_EQ(form->ZoomMode(), 2);
  EXPECT_TRUE(chosen->Checked());
  chosen = form->ZoomItems[4];  // 50%
  std::uint16_t key = VK_SPACE;
  form->HandleKey(key, TShiftState{});
  EXPECT_DOUBLE_EQ(form->Scale(), 0.5);
  EXPECT_EQ(form->ZoomBtn->Caption(), "50%");
  chosen = form->ZoomItems[9];  // 双页(&T)
  form->ZoomBtn->Click();
  EXPECT_EQ(form->ZoomMode(), 3);
  EXPECT_FALSE(form->EditPageItem->Visible());  // no designer: no page editing
}

}  // namespace

namespace {

// A page whose objects cannot be read shows crossed out; the other pages
// paint and the search passes over it.
TEST_F(PreviewTest, ADamagedPageIsCrossedOutAndSkippedBySearch) {
  // Where the search starts follows the window's size and scroll place,
  // which a shared X server's other test programs disturb; the painting and
  // the search are the same on every platform, so the headless run checks it.
  if (QGuiApplication::platformName() != "offscreen") GTEST_SKIP() << "checked headless";
  TestReport report(3);
  TMemoryStream* s = report.emf.Pages(1).Stream.get();
  s->SetPosition(s->Size());
  std::uint8_t bad = 99;  // no such object type
  s->WriteBuffer(&bad, 1);
  Open(report);
  form->SetZoom(3);
  QImage shot = Shot(form, "damaged");
  TRect r = form->PageRect(1);
  int red = 0;
  for (int k = 5; k < r.Width() - 5; ++k) {
    int y = r.Top + k * r.Height() / r.Width() - form->OffsetY();
    if (y >= 0 && y < shot.height() && Pixel(shot, r.Left + k, y) == clRed) ++red;
  }
  EXPECT_GT(red, r.Width() / 2) << "the damaged page is crossed out";
  EXPECT_TRUE(form->Find("合计", false, false));
  EXPECT_EQ(form->HitPage(), 2);  // page 2's hits cannot be read
}

}  // namespace
