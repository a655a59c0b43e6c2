// The report engine's small dialogs: the display-format editor, the
// progress window, the print dialog and the window positions kept in the
// settings store.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QImage>
#include <cstdlib>

#include "ReportTestSupport.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Settings.h"
#include "platform/ui/MessageQueue.h"
#include "report/ReportFormatEditor.h"
#include "report/ReportPrintDialog.h"
#include "report/ReportPrinter.h"
#include "report/ReportProgress.h"
#include "report/ReportWindowPos.h"
#include "tests/core/ScratchDir.h"

namespace {

// Runs fn from the modal loop once it is running.
void WhenModal(std::function<void()> fn) { QTimer::singleShot(0, qApp, fn); }

struct DialogsTest : ::testing::Test {
  DialogsTest() {
    RequireGuiApp();
    SetSettingsFileForTesting(dir / "settings.ini");
  }
  ~DialogsTest() override { SetSettingsFileForTesting(""); }
  ScratchDir dir;
};

// ---- display-format editor ----

struct FormatCase {
  int category, type;
  const char* decimals;
  const char* separator;
  int code;
};

TEST_F(DialogsTest, FormatCodesFromTheControls) {
  const FormatCase cases[] = {
      {1, 2, "2", "", 0x0102022C},   // number, type 2, 2 decimals, empty separator: a comma
      {1, 0, "0", ".", 0x0100002E},
      {1, 3, "255", ".", 0x0103FF2E},
      {1, 1, "abc", ",", 0x0101002C},  // decimals that are not a number count as 0
  };
  for (const FormatCase& c : cases) {
    TrbFmtForm f(nullptr);
    f.Format = c.category << 24;
    f.FormActivate();
    f.CatLB->SetItemIndex(c.category);
    f.CatLBClick();
    f.TypeLB->SetItemIndex(c.type);
    f.TypeLBClick();
    f.DecEdit->SetText(c.decimals);
    f.SplEdit->SetText(c.separator);
    EXPECT_EQ(f.ControlsFormat(), c.code) << c.decimals;
  }
}

TEST_F(DialogsTest, DecimalsOutsideTheirByteAreRefused) {
  TrbFmtForm f(nullptr);
  f.Format = 0x01000000;
  f.FormActivate();
  for (const char* bad : {"256", "-1", "65536", "99999999999999999999"}) {
    f.DecEdit->SetText(bad);
    EXPECT_THROW(f.ControlsFormat(), EConvertError) << bad;
  }
}

TEST_F(DialogsTest, ActivationShowsTheCodeAndTheDateCategoryEmptiesTheNumberEdits) {
  TrbFmtForm f(nullptr);
  f.Format = 0x0104032E;  // number, custom, 3 decimals, "."
  f.FormatStr = "#,##0.000";
  f.FormActivate();
  ASSERT_EQ(f.CatLB->Items()->Count(), 5);
  EXPECT_EQ(f.CatLB->Items()->Get(1), "数字");
  EXPECT_EQ(f.CatLB->ItemIndex(), 1);
  ASSERT_EQ(f.TypeLB->Items()->Count(), 5);
  EXPECT_EQ(f.TypeLB->Items()->Get(1), "1234,50");
  EXPECT_EQ(f.TypeLB->ItemIndex(), 4);
  EXPECT_EQ(f.DecEdit->Text(), "3");
  EXPECT_EQ(f.SplEdit->Text(), ".");
  EXPECT_TRUE(f.FormatEdit->Enabled());
  EXPECT_EQ(f.FormatEdit->Text(), "#,##0.000");

  f.CatLB->SetItemIndex(2);  // date
  f.CatLBClick();
  EXPECT_EQ(f.TypeLB->ItemIndex(), 0);
  EXPECT_EQ(f.TypeLB->Items()->Get(2), "1998年11月15日");
  EXPECT_FALSE(f.DecEdit->Enabled());
  EXPECT_FALSE(f.SplEdit->Enabled());
  EXPECT_EQ(f.DecEdit->Text(), "");
  EXPECT_EQ(f.SplEdit->Text(), "");
  EXPECT_FALSE(f.FormatEdit->Enabled());
  EXPECT_EQ(f.FormatEdit->Text(), "");

  f.CatLB->SetItemIndex(0);  // text has one type
  f.CatLBClick();
  EXPECT_EQ(f.TypeLB->Items()->Count(), 1);
  EXPECT_EQ(f.TypeLB->Items()->Get(0), "[无]");
}

TEST_F(DialogsTest, TheEditorReturnsTheCodeOnlyWhenConfirmed) {
  int code = 0x01020200;
  AnsiString custom = "x";
  TrbFmtForm* seen = nullptr;
  auto grab = [&] {
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (auto* f = dynamic_cast<TrbFmtForm*>(Screen->Forms(i))) seen = f;
  };
  WhenModal([&] {
    grab();
    ASSERT_NE(seen, nullptr);
    seen->DecEdit->SetText("300");
    seen->OKBtn->Click();  // refused: a message, the dialog stays
    EXPECT_TRUE(seen->IsModal());
    seen->DecEdit->SetText("2");
    seen->SplEdit->SetText("");
    seen->OKBtn->Click();
  });
  int boxes = 0;
  // The refusal's message box is answered by the Qt service; count it by
  // replacing the service for the test.
  struct Answer : TDialogService {
    int* count;
    explicit Answer(int* c) : count(c) {}
    int ShowMessageBox(const TMessageRequest& r) override {
      ++*count;
      EXPECT_NE(r.Text.find("255"), std::string::npos);
      return IDOK;
    }
    bool InputQuery(const AnsiString&, const AnsiString&, AnsiString&) override { return false; }
    bool OpenFile(TFileRequest&) override { return false; }
    bool SaveFile(TFileRequest&) override { return false; }
    bool SelectDirectory(const AnsiString&, const AnsiString&, AnsiString&) override { return false; }
  } answer(&boxes);
  TDialogService* old = SetDialogService(&answer);
  EXPECT_TRUE(rbEditFormat(code, custom));
  EXPECT_EQ(code, 0x0102022C);
  EXPECT_EQ(custom, "x");  // the custom text changes only for type 4
  EXPECT_EQ(boxes, 1);

  WhenModal([&] {
    grab();
    seen->DecEdit->SetText("7");
    seen->CancelBtn->Click();
  });
  EXPECT_FALSE(rbEditFormat(code, custom));
  EXPECT_EQ(code, 0x0102022C);
  SetDialogService(old);
}

// ---- progress window ----

struct TestReport : TrbPreviewReport {
  TrbEMFPages* EMFPages() override { return nullptr; }
  TrbPages* TemplatePages() override { return nullptr; }
  AnsiString Title() const override { return "T"; }
  void PrintPreparedReport(const AnsiString&, int, bool, TrbPrintPages) override {}
  bool PrepareReport() override { return true; }
  void LoadPreparedReport(const AnsiString&) override {}
  void SavePreparedReport(const AnsiString&) override {}
  void SetTerminated(bool t) override { terminated = t; }
  bool terminated = false;
};

TEST_F(DialogsTest, ProgressWorkRunsInsideTheModalLoopStartedByItsMessage) {
  TestReport report;
  TrbProgressForm f(nullptr);
  f.Label1->SetCaption("old");
  int pages = 0;
  f.OnBeforeModal = [&](TObject*) {
    EXPECT_TRUE(f.IsModal());
    EXPECT_EQ(f.Label1->Caption(), "");
    EXPECT_EQ(f.Button1->Caption(), "取消");
    for (pages = 1; pages <= 3; ++pages) {
      f.Label1->SetCaption("正在处理页:  " + std::to_string(pages));
      Application->ProcessMessages();
    }
    f.SetModalResult(mrOk);
  };
  EXPECT_EQ(f.Show(&report), mrOk);
  EXPECT_EQ(pages, 4);
  EXPECT_FALSE(report.terminated);
}

TEST_F(DialogsTest, CancelSetsTheTerminateFlagAndStopsTheWork) {
  TestReport report;
  TrbProgressForm f(nullptr);
  int pages = 0;
  f.OnBeforeModal = [&](TObject*) {
    while (!report.terminated && pages < 1000) {
      ++pages;
      if (pages == 5) f.Button1->Click();  // the user presses Cancel
      Application->ProcessMessages();
    }
  };
  EXPECT_EQ(f.Show(&report), mrCancel);
  EXPECT_TRUE(report.terminated);
  EXPECT_EQ(pages, 5);
}

TEST_F(DialogsTest, AFailingWorkClosesTheWindowAndReachesTheCaller) {
  TestReport report;
  TrbProgressForm f(nullptr);
  f.OnBeforeModal = [&](TObject*) { throw EPrinter("out of paper"); };
  EXPECT_THROW(f.Show(&report), EPrinter);
  EXPECT_FALSE(f.IsModal());
  EXPECT_FALSE(f.Visible());
}

// ---- print dialog ----

TEST_F(DialogsTest, PrintDialogCopiesRangesAndPages) {
  TrbPrintForm f(nullptr, 2);
  EXPECT_EQ(f.Caption(), "打印");
  EXPECT_EQ(f.CB1->Items()->Count(), rbPrinter()->Printers()->Count());
  EXPECT_EQ(f.CB1->ItemIndex(), rbPrinter()->PrinterIndex());
  EXPECT_EQ(f.Copies(), 1);
  f.rbSpeedButton2->Click();  // at 1 stays 1
  EXPECT_EQ(f.E1->Text(), "1");
  f.rbSpeedButton1->Click();
  f.rbSpeedButton1->Click();
  EXPECT_EQ(f.Copies(), 3);
  f.rbSpeedButton2->Click();
  EXPECT_EQ(f.Copies(), 2);
  EXPECT_EQ(f.PageNumbers(), "");
  f.RB2->SetChecked(true);
  EXPECT_EQ(f.PageNumbers(), "2");
  f.E2->SetText("1,3,5-12");
  f.RB3->SetChecked(true);
  EXPECT_EQ(f.PageNumbers(), "1,3,5-12");
  EXPECT_EQ(f.PrintPages(), ppAll);
  ASSERT_EQ(f.CB2->Items()->Count(), 3);
  EXPECT_EQ(f.CB2->Items()->Get(1), "奇数页");
  f.CB2->SetItemIndex(2);
  EXPECT_EQ(f.PrintPages(), ppEven);
  f.E1->SetText("0");
  EXPECT_EQ(f.Copies(), 1);
}

TEST_F(DialogsTest, PrintDialogResultsAndTheCollatePicture) {
  int copies = 3;
  bool collate = false;
  AnsiString pages;
  TrbPrintPages which = ppAll;
  WhenModal([&] {
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (auto* f = dynamic_cast<TrbPrintForm*>(Screen->Forms(i))) {
        EXPECT_EQ(f->E1->Text(), "3");
        EXPECT_FALSE(f->Collate());
        EXPECT_EQ(f->CollateCB->Caption(), "逐份打印(&l)");
        f->CollateCB->SetChecked(true);
        f->RB2->SetChecked(true);
        f->CB2->SetItemIndex(1);
        Application->ProcessMessages();
        if (const char* shots = std::getenv("PAYROLL_SHOT_DIR")) {
          QImage shot = f->Handle()->grab().toImage();
          shot.save(QString::fromUtf8(shots) + "/report-print-dialog.png");
        }
        f->OKBtn->Click();
      }
  });
  ASSERT_TRUE(rbShowPrintDialog(4, copies, collate, pages, which));
  EXPECT_EQ(copies, 3);
  EXPECT_TRUE(collate);
  EXPECT_EQ(pages, "4");
  EXPECT_EQ(which, ppOdd);
}

TEST_F(DialogsTest, CancellingThePrintDialogRestoresThePrinter) {
  TrbPrinter* p = rbPrinter();
  int first = p->PrinterIndex();
  if (p->Printers()->Count() < 2) {
    // Only the virtual printer: nothing to switch; the rule still holds.
    TrbPrintForm f(nullptr, 1);
    EXPECT_EQ(f.OldPrinterIndex(), first);
    GTEST_SKIP() << "one printer only";
  }
  int other = first == 0 ? 1 : 0;
  WhenModal([&] {
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (auto* f = dynamic_cast<TrbPrintForm*>(Screen->Forms(i))) {
        f->CB1->SetItemIndex(other);
        f->CB1->OnChange(f->CB1);
        EXPECT_EQ(p->PrinterIndex(), other);
        f->CancelBtn->Click();
      }
  });
  int copies = 1;
  bool collate = true;
  AnsiString pages;
  TrbPrintPages which = ppAll;
  EXPECT_FALSE(rbShowPrintDialog(1, copies, collate, pages, which));
  EXPECT_EQ(p->PrinterIndex(), first);
}

// ---- window positions ----

struct TPositionedForm : TForm {
  explicit TPositionedForm(TComponent* owner) : TForm(owner) {}
};

TEST_F(DialogsTest, WindowPositionsAreKeptPerFormClass) {
  TPositionedForm f(nullptr);
  f.SetBounds(30, 40, 500, 300);
  EXPECT_NE(rbFormPositionKey(&f).find("Software\\BandReport\\Form\\"), std::string::npos);
  rbSaveFormPosition(&f);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly(rbFormPositionKey(&f)));
  EXPECT_EQ(reg.ReadInteger("XPosition"), 30);
  EXPECT_EQ(reg.ReadInteger("Height"), 300);
  EXPECT_FALSE(reg.ReadBool("Maximized"));

  TPositionedForm g(nullptr);
  g.SetBounds(0, 0, 200, 100);
  rbRestoreFormPosition(&g);
  EXPECT_EQ(g.Left(), 30);
  EXPECT_EQ(g.Top(), 40);
  EXPECT_EQ(g.Width(), 500);
  EXPECT_EQ(g.Height(), 300);
}

TEST_F(DialogsTest, MissingOrDamagedPositionsKeepTheFormsOwnValues) {
  TPositionedForm f(nullptr);
  f.SetBounds(10, 20, 300, 200);
  rbRestoreFormPosition(&f);  // nothing stored
  EXPECT_EQ(f.Left(), 10);
  EXPECT_EQ(f.Width(), 300);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(rbFormPositionKey(&f), true));
  reg.WriteString("Width", "wide");
  reg.WriteInteger("Height", 250);
  rbRestoreFormPosition(&f);
  EXPECT_EQ(f.Width(), 300);
  EXPECT_EQ(f.Height(), 250);
}

}  // namespace
