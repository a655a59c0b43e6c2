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
#include <functional>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

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
#include "app/BankCards.h"
#include "app/StrCon.h"
#include "platform/core/Files.h"
#include "platform/core/NumFormat.h"
#include "platform/core/TempFiles.h"
#include "sql/UdbQuery.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/Menus.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "report/ReportComponent.h"
#include "report/ReportPage.h"
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

  // Runs the main menu's item of that name, as a click does.
  void Menu(const char* name) {
    auto* item = dynamic_cast<TMenuItem*>(frmMain->FindComponent(name));
    ASSERT_NE(item, nullptr) << name;
    item->OnClick(item);
  }
  // Prints a report of the report page as the operator does.
  void Print(const AnsiString& report) {
    frmMain->ComboBoxReport->SetText(report);
    frmMain->SptBtnGzbDy->OnClick(frmMain->SptBtnGzbDy);
  }
  // Sets (or adds) the paper row of a report: paper code, size in 0.1 mm
  // for the custom code, orientation.
  void SetPaper(const AnsiString& report, int code, bool landscape, int width = 2100, int height = 2970) {
    TUdbQuery q(nullptr);
    q.SetDataBase(FrmData->UdbDataBase1);
    q.SQL()->SetText("delete from rptPaper where rptName='" + report + "'");
    q.ExecSQL();
    q.SQL()->SetText("insert into rptPaper (rptName, paperIdx, paperWidth, paperHeight, paperType, leftMarg) values ('" +
                     report + "', " + IntToStr(code) + ", " + IntToStr(width) + ", " + IntToStr(height) + ", " +
                     (landscape ? "1" : "0") + ", 0)");
    q.ExecSQL();
  }
  // The page-number text of a formed page, with the page's width.
  struct PageNumber {
    AnsiString text;
    int left = 0, right = 0, pageWidth = 0;
  };
  PageNumber PageNumberOf(int index) {
    PageNumber n;
    TrbPage* page = frmMain->rbReport1->EMFPages().ObjectsToPage(index);
    n.pageWidth = page->PageWidth();
    for (const auto& o : page->Objects) {
      if (o->Typ != gtMemo) continue;
      const AnsiString text = JoinedLines(o.get());
      if (text.rfind("第", 0) != 0 || text.find("共") == std::string::npos) continue;
      n.text = text;
      n.left = o->x;
      n.right = o->x + o->dx;
    }
    return n;
  }

  void PageNumbersOnEveryPaper(bool landscape);
  void PageNumbersAtOneTwoAndTwelvePages(bool landscape);
  void SignaturesOnEveryPaper(bool landscape);
  struct TPaperSize {
    int code, width, height;
  };
  // Prints every entry of the report page for the whole unit on each paper,
  // upright or turned, and runs check over the pages formed; the entry
  // named skip is left out.
  void PrintEveryEntry(const std::vector<TPaperSize>& papers, bool landscape, const AnsiString& skip,
                       const std::function<void()>& check);

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

// A report that filters the employee table leaves its filter behind; the
// card file written afterwards covers the department chosen on the card
// page, not the report's people.
TEST_F(DemoReports, ACardFileAfterAFilteredReportCoversTheDepartmentChosenOnTheCardPage) {
  TUdbTable* gzk = FrmData->TblGzk;
  const AnsiString amount = getFldNameByDesc("实发工资");
  ASSERT_FALSE(amount.empty());
  const auto expectedLines = [&](const AnsiString& code, const AnsiString& field) {
    std::vector<AnsiString> lines;
    gzk->SetFiltered(false);
    for (gzk->First(); !gzk->Eof(); gzk->Next()) {
      const AnsiString zgbh = gzk->FieldByName("zgbh")->AsString();
      const AnsiString gzzh = gzk->FieldByName("gzzh")->AsString();
      if (zgbh.rfind(code, 0) != 0 || gzzh.empty()) continue;
      lines.push_back(payroll::CardDetailLine(zgbh, gzk->FieldByName("xm")->AsString(), gzzh,
                                              gzk->FieldByName(field)->AsFloat()));
    }
    return lines;
  };
  const auto fileLines = [&](const char* name) {
    std::vector<AnsiString> lines;
    std::istringstream in(ReadWholeFile(folder + "dept/" + name));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line.substr(0, line.size() - 1));  // CR LF
    if (!lines.empty()) lines.erase(lines.begin());  // the header
    return lines;
  };
  const std::vector<AnsiString> company = expectedLines("01", amount), office = expectedLines("0101", "prix");
  ASSERT_GT(company.size(), 4u);
  ASSERT_GT(office.size(), 1u);
  ASSERT_TRUE(ForceDirectories(folder + "dept"));

  ChooseDepartment("总公司");
  Print("临时工工资单");
  ASSERT_EQ(previews, 1);
  ASSERT_TRUE(gzk->Filtered());  // the sheet's two temporary workers stay in view

  Menu("N18");  // 工资管理 -> 工资入卡
  EXPECT_EQ(frmMain->ComboBoxGZJJ->Text(), "工资");
  ChooseDepartment("总公司");
  frmMain->SptBtnGzdc->OnClick(frmMain->SptBtnGzdc);
  EXPECT_EQ(fileLines("dept.mdk"), company);

  // The bonus file of one department, after the retirement table left
  // the retired employees on the table.
  Print("职工退休补贴表");
  Menu("N22");  // 奖金管理 -> 奖金入卡
  ChooseDepartment("办公室");
  frmMain->SptBtnGzdc->OnClick(frmMain->SptBtnGzdc);
  EXPECT_EQ(fileLines("deptjj.mdk"), office);
  EXPECT_EQ(frmMain->LblSelDir->Caption(), folder + "dept");  // the platform's form, no separator at the end
}

// A folder chosen on the card page is shown as the file system names it;
// the wage export asked to use it writes its file inside that folder.
TEST_F(DemoReports, TheCardPageFolderIsShownInTheFileSystemsFormAndUsedAsAFolder) {
  ASSERT_TRUE(ForceDirectories(folder + "dept"));
  dialogs.FileAnswers = {folder + "dept"};
  frmMain->SptBtnSelPath->OnClick(frmMain->SptBtnSelPath);
  EXPECT_EQ(frmMain->LblSelDir->Caption(), folder + "dept");
  dialogs.Answers = {IDYES};  // use the folder shown
  frmMain->ComboBoxGZJJ->SetText("工资");
  frmMain->SptBtnexcel->OnClick(frmMain->SptBtnexcel);
  ASSERT_FALSE(dialogs.Boxes.empty());
  EXPECT_EQ(dialogs.Boxes.back().Text, payroll::kExportDone);
  EXPECT_TRUE(FileExists(folder + "dept/" +
                         payroll::ExportFileName(payroll::TExportKind::Wage, FormatDateTime("yyyymmdd", Date()))));
}

// Every report of the report page prints its whole page number inside the
// page, on every paper the paper settings offer, upright and turned.
void DemoReports::PageNumbersOnEveryPaper(bool landscape) {
  PrintEveryEntry({{1, 2100, 2970},
                   {8, 2970, 4200},
                   {9, 2100, 2970},
                   {11, 1480, 2100},
                   {12, 2500, 3530},
                   {13, 1820, 2570},
                   {39, 3778, 2794},
                   {45, 2540, 2794},
                   {256, 1000, 1400}},
                  landscape, AnsiString(), [this] {
                    const int pages = frmMain->rbReport1->EMFPages().Count();
                    const PageNumber n = PageNumberOf(pages - 1);
                    EXPECT_EQ(n.text, "第" + IntToStr(pages) + "页 共" + IntToStr(pages) + "页");
                    EXPECT_GE(n.left, 0);
                    EXPECT_LE(n.right, n.pageWidth);
                  });
}

void DemoReports::PrintEveryEntry(const std::vector<TPaperSize>& papers, bool landscape, const AnsiString& skip,
                                  const std::function<void()>& check) {
  TrbReport::PreviewHook() = [this](TrbReport*) { ++previews; };
  ChooseDepartment("总公司");
  TStrings* entries = frmMain->ComboBoxReport->Items();
  for (int i = 0; i < entries->Count(); ++i) {
    const AnsiString report = entries->Strings(i);
    if (report == skip) continue;
    for (const TPaperSize& paper : papers) {
      SCOPED_TRACE(testing::Message() << "entry " << i << ", paper " << paper.code << (landscape ? " turned" : ""));
      SetPaper(report, paper.code, landscape, paper.width, paper.height);
      dialogs.Boxes.clear();
      const int before = previews;
      Print(report);
      ASSERT_EQ(previews, before + 1) << (dialogs.Boxes.empty() ? AnsiString() : dialogs.Boxes.back().Text);
      check();
    }
  }
}

// The page number stays whole at one, two and twelve pages, upright and
// turned: the pay sheet of one department grown to fill that many pages.
void DemoReports::PageNumbersAtOneTwoAndTwelvePages(bool landscape) {
  TrbReport::PreviewHook() = [this](TrbReport*) { ++previews; };
  TUdbTable* gzk = FrmData->TblGzk;
  // Employees of 办公室 (0101) beyond its own three, numbered from 100.
  const auto staff = [&](int total) {
    gzk->SetFiltered(false);
    int have = 0;
    for (gzk->First(); !gzk->Eof(); gzk->Next()) have += gzk->FieldByName("zgbh")->AsString().rfind("0101", 0) == 0;
    for (int n = 100 + have - 3; have < total; ++have, ++n) {
      gzk->Append();
      gzk->FieldByName("zgbh")->SetAsString("0101" + StrCon->IntToFixed(n, 7, '0'));
      gzk->FieldByName("xm")->SetAsString("职工" + IntToStr(n));
      gzk->Post();
    }
  };
  ChooseDepartment("办公室");
  {
    SCOPED_TRACE(landscape ? "turned" : "upright");
    SetPaper("职工工资单", 9, landscape);
    // How many employees a page holds: print a department larger than a
    // page and count the first page's blocks.
    staff(40);
    Print("职工工资单");
    ASSERT_GT(frmMain->rbReport1->EMFPages().Count(), 1);
    int perPage = 0;
    for (const auto& o : frmMain->rbReport1->EMFPages().ObjectsToPage(0)->Objects) {
      const AnsiString text = o->Typ == gtMemo ? JoinedLines(o.get()) : AnsiString();
      perPage += text.size() == 11 && text.rfind("0101", 0) == 0;  // an employee code
    }
    ASSERT_GT(perPage, 3);
    for (const int pages : {1, 2, 12}) {
      SCOPED_TRACE(pages);
      // Back to the department's own three, then as many as the pages hold.
      gzk->SetFiltered(false);
      for (gzk->First(); !gzk->Eof();)
        if (gzk->FieldByName("xm")->AsString().rfind("职工", 0) == 0) gzk->Delete();
        else gzk->Next();
      staff(pages == 1 ? 3 : (pages - 1) * perPage + 1);
      Print("职工工资单");
      ASSERT_EQ(frmMain->rbReport1->EMFPages().Count(), pages);
      for (const int page : {0, pages - 1}) {
        const PageNumber n = PageNumberOf(page);
        EXPECT_EQ(n.text, "第" + IntToStr(page + 1) + "页 共" + IntToStr(pages) + "页");
        EXPECT_GE(n.left, 0);
        EXPECT_LE(n.right, n.pageWidth);
      }
    }
  }
}

// The signature line under every report ("审    批:", "部门主管:",
// "制    表:  " and the operator, "单位负责人:") is printed whole inside the
// page on every paper, upright and turned, each text clear of the next:
// laid out for a turned sheet, "制    表:" stood beyond an upright page's
// right edge and was lost on paper.  The bonus sheet is left out: its
// layout is the template file's, which the operator edits.
void DemoReports::SignaturesOnEveryPaper(bool landscape) {
  PrintEveryEntry({{9, 2100, 2970}, {8, 2970, 4200}, {11, 1480, 2100}, {13, 1820, 2570}, {256, 1000, 1400}},
                  landscape, "奖金发放表", [this] {
    const int pages = frmMain->rbReport1->EMFPages().Count();
    TrbPage* page = frmMain->rbReport1->EMFPages().ObjectsToPage(pages - 1);
    std::vector<std::pair<int, int>> spans;
    bool maker = false;
    for (const auto& o : page->Objects) {
      if (o->Typ != gtMemo) continue;
      const AnsiString text = JoinedLines(o.get());
      const bool signature = text.rfind("审", 0) == 0 || text.rfind("部门主管", 0) == 0 ||
                             text.rfind("单位负责人", 0) == 0 || text.rfind("制", 0) == 0;
      if (!signature) continue;
      maker = maker || text.rfind("制", 0) == 0;
      SCOPED_TRACE(text);
      EXPECT_GE(o->x, 0);
      EXPECT_LE(o->x + o->dx, page->PageWidth());
      spans.emplace_back(o->x, o->x + o->dx);
    }
    EXPECT_TRUE(maker);
    std::sort(spans.begin(), spans.end());
    for (size_t k = 1; k < spans.size(); ++k) EXPECT_LE(spans[k - 1].second, spans[k].first);
  });
}

TEST_F(DemoReports, EveryReportShowsItsWholePageNumberOnEveryUprightPaper) { PageNumbersOnEveryPaper(false); }
TEST_F(DemoReports, EveryReportShowsItsWholePageNumberOnEveryTurnedPaper) { PageNumbersOnEveryPaper(true); }
TEST_F(DemoReports, PageNumbersOfOneTwoAndTwelveUprightPagesAreWhole) { PageNumbersAtOneTwoAndTwelvePages(false); }
TEST_F(DemoReports, PageNumbersOfOneTwoAndTwelveTurnedPagesAreWhole) { PageNumbersAtOneTwoAndTwelvePages(true); }
TEST_F(DemoReports, EveryReportPrintsItsSignaturesInsideEveryUprightPaper) { SignaturesOnEveryPaper(false); }
TEST_F(DemoReports, EveryReportPrintsItsSignaturesInsideEveryTurnedPaper) { SignaturesOnEveryPaper(true); }

// The report menu's department bonus summary has no layout: choosing it and
// pressing print tells the operator so, and which report to print instead.
TEST_F(DemoReports, TheDepartmentBonusSummaryTellsWhyItIsNotPrinted) {
  ChooseDepartment("总公司");
  Menu("N27");  // 报表管理 -> 部门奖金汇总表
  EXPECT_EQ(frmMain->ComboBoxReport->Text(), "部门奖金汇总表");
  frmMain->SptBtnGzbDy->OnClick(frmMain->SptBtnGzbDy);
  EXPECT_EQ(previews, 0);
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, payroll::NoSuchReportText("部门奖金汇总表"));
  EXPECT_NE(dialogs.Boxes[0].Text.find("奖金发放表"), std::string::npos);
  EXPECT_EQ(dialogs.Boxes[0].Icon, diWarning);
}

// The report page's export button is captioned as the operator knows it.
TEST_F(DemoReports, TheReportPageExportButtonReadsOutputExcelFile) {
  Menu("N25");  // 报表管理 -> 单位工资汇总表
  EXPECT_TRUE(frmMain->SptBtnRptExcel->Visible());
  EXPECT_EQ(frmMain->SptBtnRptExcel->Caption(), "输出EXCEL文件");
}

}  // namespace
