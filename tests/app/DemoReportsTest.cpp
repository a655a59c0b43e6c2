// The report page over the demo folder, as an operator first sees it: the
// program's forms over the demo database, a unit chosen in the tree, and
// every entry of the report combo box printed in turn.  Each one reaches
// the preview window (the real one, shown modelessly and grabbed) with the
// pay columns of its report-structure rows.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbTable.h"
#include "app/DemoData.h"
#include "app/ExportCommands.h"
#include "app/FrmData.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/PayReports.h"
#include "app/PayrollProgram.h"
#include "platform/core/Files.h"
#include "platform/core/TempFiles.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "report/ReportComponent.h"
#include "report/ReportPrepared.h"
#include "report/ReportViews.h"

namespace {

class DemoReports : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    std::string pattern = std::string(TempFolder()) + "payroll-demo-reports-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = AnsiString(pattern) + "/";
    payroll::BuildPayrollFolder(DemoDataText("payroll.txt"), DemoDataText("gz.ini"), folder);
    SetProgramFolderForTesting(folder);
    oldDir = GetCurrentDir();
    SetCurrentDir(folder);
    TrbReport::PreviewHook() = [this](TrbReport* report) {
      ++previews;
      payroll::ShowReportPreview(payroll::ReportPreviewCalls(report), [this](TForm* window) {
        QImage shot = window->Handle()->grab().toImage();
        EXPECT_FALSE(shot.isNull());
        if (const char* shots = std::getenv("PAYROLL_SHOT_DIR"))
          shot.save(QString::fromUtf8(shots) + QString("/demo-report-%1.png").arg(previews, 2, 10, QChar('0')));
      });
    };
    payroll::CreatePayrollForms();
    ASSERT_NE(frmMain, nullptr);
  }
  void TearDown() override {
    FreeStartupForms();
    SetCurrentDir(oldDir);
    SetProgramFolderForTesting("");
    TrbReport::PreviewHook() = nullptr;
    std::error_code ec;
    std::filesystem::remove_all(std::string(folder), ec);
  }
  // Clicks the tree's node of a department, as the operator does.
  void ChooseDepartment(const AnsiString& name) {
    TTreeNodes* nodes = frmMain->TreeViewBm->Items();
    for (int i = 0; i < nodes->Count(); ++i) {
      const AnsiString text = nodes->Item(i)->Text();
      if (text.substr(0, text.find('(')) != name) continue;
      frmMain->TreeViewBm->SetSelected(nodes->Item(i));
      frmMain->TreeViewBmClick(frmMain->TreeViewBm);
      return;
    }
    FAIL() << "no node for the department";
  }
  // The column titles of a report-structure title, as they are formed.
  std::vector<AnsiString> ColumnTitles(const AnsiString& structureTitle) {
    std::vector<AnsiString> titles;
    TUdbTable* t = FrmData->TblRptStru;
    if (!t->Active()) t->Open();
    for (t->First(); !t->Eof(); t->Next()) {
      if (t->FieldByName("RptTitle")->AsString() != structureTitle) continue;
      AnsiString title = t->FieldByName("FldTitle")->AsString();
      std::replace(title.begin(), title.end(), ',', '|');
      titles.push_back(title);
    }
    return titles;
  }
  std::vector<AnsiString> FormedPage(int page) {
    std::vector<AnsiString> out;
    for (const auto& o : frmMain->rbReport1->EMFPages().ObjectsToPage(page)->Objects)
      if (o->Typ == gtMemo) out.push_back(JoinedLines(o.get()));
    return out;
  }

  AnsiString folder, oldDir;
  TFakeDialogService dialogs;
  int previews = 0;
};

TEST_F(DemoReports, EveryReportOfTheReportPagePreviewsWithItsColumns) {
  // The report-structure rows each built report reads.
  const std::map<AnsiString, AnsiString> structure = {
      {"职工工资单", "普通职工"},       {"单位工资汇总表", "普通职工"},     {"部门工资汇总表", "普通职工"},
      {"年薪人员工资单", "年薪人员"},   {"绩效工资单", "岗位绩效"},         {"单位绩效工资汇总表", "岗位绩效"},
      {"部门绩效工资汇总表", "岗位绩效"}, {"职工退休补贴表", "退休职工"},   {"临时工工资单", "临时工"},
      {"临时工工资汇总表", "临时工"},
  };
  ChooseDepartment("总公司");
  TStrings* entries = frmMain->ComboBoxReport->Items();
  ASSERT_EQ(entries->Count(), 11);
  for (int i = 0; i < entries->Count(); ++i) {
    const AnsiString report = entries->Strings(i);
    SCOPED_TRACE(testing::Message() << "entry " << i);
    dialogs.Boxes.clear();
    const int before = previews;
    frmMain->ComboBoxReport->SetText(report);
    frmMain->SptBtnGzbDy->OnClick(frmMain->SptBtnGzbDy);
    ASSERT_EQ(previews, before + 1) << (dialogs.Boxes.empty() ? AnsiString() : dialogs.Boxes.back().Text);
    ASSERT_GE(frmMain->rbReport1->EMFPages().Count(), 1);
    const std::vector<AnsiString> texts = FormedPage(0);
    auto has = [&](const AnsiString& t) { return std::find(texts.begin(), texts.end(), t) != texts.end(); };
    const auto built = structure.find(report);
    if (built == structure.end()) {  // the bonus sheet, from its template
      EXPECT_TRUE(has("部门：总公司"));
      continue;
    }
    const std::vector<AnsiString> titles = ColumnTitles(built->second);
    ASSERT_FALSE(titles.empty());
    for (const AnsiString& title : titles) EXPECT_TRUE(has(title));
  }
}

// The worksheet exports read the same report-structure rows: the
// performance file names its columns by the titles as they stand, the
// summary by the titles without their commas.
TEST_F(DemoReports, TheExportsThatReadTheReportStructureRunOverTheDemoFolder) {
  ForceDirectories(folder + "backxls");
  frmMain->ComboBoxGZJJ->SetText("绩效工资");
  frmMain->SptBtnexcel->OnClick(frmMain->SptBtnexcel);
  ASSERT_FALSE(dialogs.Boxes.empty());
  EXPECT_EQ(dialogs.Boxes.back().Text, payroll::kExportDone);

  dialogs.InputAnswers = {"单位汇总"};
  frmMain->ComboBoxReport->SetText("单位工资汇总表");
  frmMain->SptBtnRptExcel->OnClick(frmMain->SptBtnRptExcel);
  EXPECT_EQ(dialogs.Boxes.back().Text, payroll::kSummaryDone);
  EXPECT_TRUE(FileExists(folder + "backxls/单位汇总.xls"));
}

// The card page writes each kind's bank file over the demo folder into its
// default folder: the settings describe the amount fields by the names the
// card command looks them up by.
TEST_F(DemoReports, EveryKindOfCardFileIsWrittenIntoTheDefaultFolder) {
  const struct {
    const char* kind;
    const char* file;
  } cases[] = {{"工资", "dept.mdk"}, {"奖金", "deptjj.mdk"}, {"绩效工资", "deptjx.mdk"}};
  for (const auto& c : cases) {
    dialogs.Boxes.clear();
    frmMain->ComboBoxGZJJ->SetText(c.kind);
    frmMain->SptBtnGzdc->OnClick(frmMain->SptBtnGzdc);
    EXPECT_TRUE(FileExists(folder + "dept/" + c.file)) << c.kind;
    EXPECT_EQ(dialogs.Boxes.size(), 1u) << c.kind;
  }
}

}  // namespace
