// The report page's reports built in code over the test database: the
// column passes (group titles, formats), the report variables, the paper
// of a report's rptPaper row, and each report formed (rows and columns
// chosen right), printed to a PDF file and shown in the preview.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbTable.h"
#include "app/BonusSheet.h"
#include "app/ExportCommands.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/PayReports.h"
#include "app/PayrollProgram.h"
#include "app/StartupForms.h"
#include "platform/core/Files.h"
#include "platform/core/Streams.h"
#include "platform/core/Variant.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/Printers.h"
#include "platform/ui/StdCtrls.h"
#include "report/ReportComponent.h"
#include "report/ReportDatasets.h"
#include "report/ReportPage.h"
#include "report/ReportPrepared.h"
#include "report/ReportPrinter.h"
#include "report/ReportViews.h"
#include "sql/UdbQuery.h"

namespace {

struct TText {
  int x, y, dx, dy;
  AnsiString text;
  int format;
  AnsiString formatStr;
};

std::vector<TText> Memos(TrbPage* page) {
  std::vector<TText> out;
  for (const auto& o : page->Objects) {
    if (o->Typ != gtMemo) continue;
    auto* m = static_cast<TrbMemoView*>(o.get());
    out.push_back({o->x, o->y, o->dx, o->dy, JoinedLines(o.get()), m->Format, m->FormatStr});
  }
  return out;
}

class Reports : public TMainFormTest {
 protected:
  void BeforeForms() override { TrbReport::PreviewHook() = [this](TrbReport*) { ++previews; }; }
  void SetUp() override {
    TMainFormTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_NE(frmMain->SptBtnGzbDy, nullptr);
  }
  void TearDown() override {
    TMainFormTest::TearDown();
    TrbReport::PreviewHook() = nullptr;
  }
  void AddStructure(const char* title, const char* field, const char* fldTitle, int len, int dec, int no) {
    TUdbTable* t = FrmData->TblRptStru;
    if (!t->Active()) t->Open();
    t->Append();
    t->FieldByName("RptTitle")->SetAsString(title);
    t->FieldByName("RptField")->SetAsString(field);
    t->FieldByName("FldTitle")->SetAsString(fldTitle);
    t->FieldByName("RptLen")->SetAsInteger(len);
    t->FieldByName("RptDec")->SetAsInteger(dec);
    t->FieldByName("RptNo")->SetAsInteger(no);
    t->Post();
  }
  void Print(const char* report) {
    frmMain->ComboBoxReport->SetText(report);
    frmMain->SptBtnGzbDy->OnClick(frmMain->SptBtnGzbDy);
  }
  std::vector<AnsiString> Texts() {
    std::vector<AnsiString> t;
    for (const auto& b : dialogs.Boxes) t.push_back(b.Text);
    return t;
  }
  // The texts of a formed page.
  std::vector<AnsiString> Formed(int page) {
    std::vector<AnsiString> out;
    for (const TText& t : Memos(frmMain->rbReport1->EMFPages().ObjectsToPage(page))) out.push_back(t.text);
    return out;
  }

  void AddEmployee(const char* code, const char* name, const char* status, double f01, double f02) {
    TUdbTable* t = FrmData->TblGzk;
    t->Append();
    t->FieldByName("ZGBH")->SetAsString(code);
    t->FieldByName("XM")->SetAsString(name);
    t->FieldByName("ZGQK")->SetAsString(status);
    t->FieldByName("F01")->SetAsFloat(f01);
    t->FieldByName("F02")->SetAsFloat(f02);
    t->Post();
  }
  void SetDepartmentTotal(const char* code, const char* field, double value) {
    TUdbTable* bm = FrmData->TblBm;
    ASSERT_TRUE(bm->Locate("BMBH", code, {})) << code;
    bm->Edit();
    bm->FieldByName(field)->SetAsFloat(value);
    bm->Post();
  }
  // Chooses a department in the tree as a click does (the register's
  // lists are the test database's departments).
  void ChooseDepartment(const char* text) {
    BmNames = {"总部", "财务科", "离退休"};
    BmCodes = {"01", "0101", "0199"};
    frmMain->TreeViewBm->SetSelected(frmMain->TreeViewBm->Items()->Add(nullptr, text));
    frmMain->TreeViewBmClick(frmMain->TreeViewBm);
  }
  // The texts of every formed page, page after page.
  std::vector<AnsiString> AllFormed() {
    std::vector<AnsiString> all;
    for (int p = 0; p < frmMain->rbReport1->EMFPages().Count(); ++p)
      for (const AnsiString& t : Formed(p)) all.push_back(t);
    return all;
  }
  // Prints the formed report to a PDF file, renders its first page and
  // keeps the image as PAYROLL_SHOT_DIR/<name>-printed.png; checks that
  // the page carries frames and text.  Skipped where a system printer
  // takes the job or no renderer is installed.
  void CheckPrintedPage(const char* name, QImage* printed = nullptr) {
    if (rbPrinter()->HasSystemPrinters() || std::system("command -v pdftoppm >/dev/null 2>&1") != 0) return;
    const AnsiString pdf = db->Folder() + name + ".pdf";
    rbPrinter()->Printer()->SetOutputFileName(pdf);
    frmMain->rbReport1->PrintPreparedReport("", 1, true, ppAll);
    rbPrinter()->Printer()->SetOutputFileName("");
    const std::string out = MapPath(db->Folder() + name);
    ASSERT_EQ(std::system(("pdftoppm -r 60 -f 1 -l 1 -png '" + MapPath(pdf) + "' '" + out + "'").c_str()), 0);
    QImage page(QString::fromStdString(out + "-1.png"));
    ASSERT_FALSE(page.isNull());
    int dark = 0;
    for (int y = 0; y < page.height(); ++y)
      for (int x = 0; x < page.width(); ++x) dark += qGray(page.pixel(x, y)) < 128;
    EXPECT_GT(dark, 200) << name;
    if (const char* shots = std::getenv("PAYROLL_SHOT_DIR"))
      page.save(QString::fromUtf8(shots) + "/" + name + "-printed.png");
    if (printed) *printed = page;
  }
  // The formed report in the preview window, kept as
  // PAYROLL_SHOT_DIR/<name>-preview.png.
  void CheckPreview(const char* name) {
    payroll::ShowReportPreview(payroll::ReportPreviewCalls(frmMain->rbReport1), [name](TForm* window) {
      QImage shot = window->Handle()->grab().toImage();
      EXPECT_FALSE(shot.isNull());
      if (const char* shots = std::getenv("PAYROLL_SHOT_DIR"))
        shot.save(QString::fromUtf8(shots) + "/" + name + "-preview.png");
    });
  }
  AnsiString LastBox() { return dialogs.Boxes.empty() ? AnsiString() : dialogs.Boxes.back().Text; }

  int previews = 0;
};

TEST(ReportTexts, MoneyFormatStrings) {
  EXPECT_EQ(payroll::MoneyFormatString(2), "0.00");
  EXPECT_EQ(payroll::MoneyFormatString(0), "0");
  EXPECT_EQ(payroll::MoneyFormatString(-1), "0");
  EXPECT_EQ(payroll::SummaryStructureTitle("部门绩效工资汇总表"), "岗位绩效");
  EXPECT_EQ(payroll::SummaryStructureTitle("临时工工资汇总表"), "临时工");
  EXPECT_EQ(payroll::SummaryStructureTitle("单位工资汇总表"), "普通职工");
}

TEST(ReportTexts, PaySheetFiltersAndTheRetiredOrTemporaryGroups) {
  EXPECT_EQ(payroll::PaySheetFilter(*payroll::PaySheetOf("职工工资单"), "0102", "01"), "zgbh like '0102%'");
  EXPECT_EQ(payroll::PaySheetFilter(*payroll::PaySheetOf("年薪人员工资单"), "0102", "01"),
            "zgqk='年薪人员' and (zgbh like '0102%')");
  EXPECT_EQ(payroll::PaySheetFilter(*payroll::PaySheetOf("临时工工资单"), "", "02"), "zgbh like '0298%'");
  EXPECT_FALSE(payroll::PaySheetOf("临时工工资单")->needsDepartment);
  EXPECT_EQ(payroll::PaySheetOf("单位工资汇总表"), nullptr);
  const std::pair<const char*, bool> groups[] = {{"0199", true}, {"019801", true}, {"0190", false}, {"01", false}, {"", false}};
  for (const auto& [code, refused] : groups) EXPECT_EQ(payroll::IsRetiredOrTemporaryGroup(code), refused) << code;
}

TEST(ReportTexts, ADepartmentCodeStaysOneLiteralInTheBonusSelectionAndThePaySheetFilters) {
  TTestPayrollDb data;
  auto selected = [&](const AnsiString& sql) {
    TUdbQuery q;
    q.SetDataBase(&data.DataBase());
    q.SQL()->SetText(sql);
    q.Open();
    int n = 0;
    for (q.First(); !q.Eof(); q.Next()) ++n;
    return n;
  };
  TUdbTable* gzk = data.OpenTable("gzk");
  auto filtered = [&](const AnsiString& filter) {
    gzk->SetFiltered(false);
    gzk->SetFilter(filter);
    gzk->SetFiltered(true);
    int n = 0;
    for (gzk->First(); !gzk->Eof(); gzk->Next()) ++n;
    return n;
  };
  ASSERT_GT(selected(payroll::BonusSelectionSql("01")), 0);
  ASSERT_GT(filtered(payroll::PaySheetFilter(*payroll::PaySheetOf("职工工资单"), "01", "01")), 0);
  // Codes with quotes in them: none is an employee's code prefix, so
  // nothing is listed, and nothing else happens.
  for (const char* code : {"01' or zgqk like '", "01'", "'"}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(selected(payroll::BonusSelectionSql(code)), 0);
    for (const char* sheet : {"职工工资单", "年薪人员工资单", "临时工工资单"})
      EXPECT_EQ(filtered(payroll::PaySheetFilter(*payroll::PaySheetOf(sheet), code, code)), 0) << sheet;
  }
}

// The signature line drawn for a turned sheet: where it fits, it stays;
// where it does not, its texts close up from the printable right edge,
// each ending where the next begins, and none goes past the left edge.
TEST(ReportTexts, SignaturesStayWhereTheyFitAndCloseUpFromTheRightEdgeWhereNot) {
  const struct {
    int paperWidth, leftMargin, rightMargin;
    int lefts[3];
  } cases[] = {
      {3000, 0, 0, {200, 500, 900}},    // 1080 units: the layout fits
      {2100, 0, 0, {200, 500, 576}},    // 756: only the last moves
      {2100, 10, 20, {200, 496, 556}},  // right edge 736: the last two move
      {1000, 0, 0, {60, 120, 180}},     // 360: all three close up
      {500, 5, 0, {5, 5, 5}},           // 180: no further left than the left edge
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.paperWidth);
    TrbPage page(256, c.paperWidth, 2970);
    page.LeftMargin = c.leftMargin;
    page.RightMargin = c.rightMargin;
    std::vector<TrbView*> line;
    const int lefts[] = {200, 500, 900}, widths[] = {60, 60, 180};
    for (int i = 0; i < 3; ++i) {
      auto* memo = new TrbMemoView;
      memo->SetBounds(lefts[i], 405, widths[i], 16);
      line.push_back(page.Add(memo));
    }
    payroll::KeepSignaturesOnPage(&page, line);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(line[i]->x, c.lefts[i]) << i;
  }
}

TEST(ReportTexts, RetirementCellsSplitTheCodeFromItsSuffix) {
  EXPECT_EQ(payroll::RetirementFieldText("F05*2", false), "[FrmData.TblGzk.\"F05\"*2]");
  EXPECT_EQ(payroll::RetirementFieldText("F05", true), "[SUM(FrmData.TblGzk.\"F05\")]");
}

TEST_F(Reports, RetirementTableListsTheUnitsRetiredWithTotals) {
  AddStructure("退休职工", "F01*2", "补贴", 10, 2, 1);
  ASSERT_TRUE(FrmData->TblBm->Locate("BMBH", "0101", {}));
  FrmLogin->LoginUserName = "张会计";
  Print("职工退休补贴表");
  ASSERT_EQ(previews, 1) << (dialogs.Boxes.empty() ? AnsiString() : dialogs.Boxes.back().Text);
  const auto texts = Formed(0);
  auto has = [&](const AnsiString& t) { return std::find(texts.begin(), texts.end(), t) != texts.end(); };
  EXPECT_TRUE(has("退休人员公司补贴发放情况表"));
  EXPECT_TRUE(has("王五"));       // 01990001, the unit's retired group
  EXPECT_FALSE(has("张三"));
  EXPECT_GE(std::count(texts.begin(), texts.end(), AnsiString("1800.00")), 2);  // row and total
  EXPECT_TRUE(has("制    表:  张会计"));
  EXPECT_FALSE(FrmData->TblGzk->Filtered());
  EXPECT_EQ(frmMain->rbReport1->Pages().Pages(0)->LeftMargin, 5);

  payroll::ShowReportPreview(payroll::ReportPreviewCalls(frmMain->rbReport1), [](TForm* window) {
    QImage shot = window->Handle()->grab().toImage();
    EXPECT_FALSE(shot.isNull());
    if (const char* shots = std::getenv("PAYROLL_SHOT_DIR"))
      shot.save(QString::fromUtf8(shots) + "/app-retirement-preview.png");
  });
}

TEST_F(Reports, ColumnPassesGroupConsecutiveTitlesAndCloseATrailingGroup) {
  AddStructure("T", "F01", "应发,工资|基本", 10, 2, 1);
  AddStructure("T", "F02", "应发,工资|津贴", 5, 0, 2);
  AddStructure("T", "F03", "个,税", 8, 1, 3);
  AddStructure("T", "F04", "代扣|房租", 6, 2, 4);
  TUdbTable* t = FrmData->TblRptStru;
  t->SetFilterText("RptTitle='T'");
  t->SetFiltered(true);
  TrbPage page;
  const int end = payroll::AddColumnTitles(&page, t, 100, payroll::kSummaryColumns);
  EXPECT_EQ(end, 100 + (10 + 5 + 8 + 6) * 6);
  payroll::AddColumnValues(&page, t, 100, payroll::kSummaryColumns,
                           [](const AnsiString& f) { return "[v." + f + "]"; });
  t->SetFiltered(false);
  const auto m = Memos(&page);
  ASSERT_EQ(m.size(), 10u);
  auto at = [&](int i, int x, int y, int dx, int dy, const char* text) {
    EXPECT_EQ(m[i].x, x) << i;
    EXPECT_EQ(m[i].y, y) << i;
    EXPECT_EQ(m[i].dx, dx) << i;
    EXPECT_EQ(m[i].dy, dy) << i;
    EXPECT_EQ(m[i].text, text) << i;
  };
  at(0, 100, 104, 60, 16, "基本");
  at(1, 160, 104, 30, 16, "津贴");
  at(2, 100, 88, 90, 16, "应发|工资");  // one group title over both, two lines
  at(3, 190, 88, 48, 32, "个|税");
  at(4, 238, 104, 36, 16, "房租");
  at(5, 238, 88, 36, 16, "代扣");  // the trailing group still gets its title
  at(6, 100, 150, 60, 16, "[v.F01]");
  EXPECT_EQ(m[6].format, 0x0104022E);
  EXPECT_EQ(m[6].formatStr, "0.00");
  EXPECT_EQ(m[7].formatStr, "0");
  EXPECT_EQ(m[8].formatStr, "0.0");
  at(9, 238, 150, 36, 16, "[v.F04]");
}

TEST_F(Reports, VariablesAreAnsweredByExactNameOnly) {
  FrmLogin->LoginUserName = "张会计";
  frmMain->LblJJBm->SetCaption("财务科");
  const std::pair<const char*, const char*> cases[] = {
      {"ZBR", "张会计"}, {"DWMC", "测试单位"}, {"BMMC", "财务科"}, {"zbr", "untouched"}, {"PAGE#", "untouched"}};
  for (const auto& [name, expected] : cases) {
    Variant v("untouched");
    frmMain->rbReport1GetValue(name, v);
    EXPECT_EQ(v.AsString(), expected) << name;
  }
}

TEST_F(Reports, RefusalsLeaveTheReportUnshown) {
  Print("");
  frmMain->TreeViewBm->SetSelected(nullptr);
  Print("部门工资汇总表");
  EXPECT_EQ(Texts(), (std::vector<AnsiString>{payroll::kSummaryNoReport, payroll::kSummaryNoDepartment}));
  EXPECT_EQ(previews, 0);
}

TEST_F(Reports, UnitSummaryFormsPrintsAndPreviews) {
  AddStructure("普通职工", "F02", "应发,工资|岗位", 10, 2, 2);
  AddStructure("普通职工", "F01", "应发,工资|基本", 10, 2, 1);
  TUdbTable* bm = FrmData->TblBm;
  ASSERT_TRUE(bm->Locate("BMBH", "01", {}));
  bm->Edit();
  bm->FieldByName("F01")->SetAsFloat(3100);
  bm->FieldByName("F02")->SetAsFloat(250.5);
  bm->Post();
  FrmLogin->LoginUserName = "张会计";

  Print("单位工资汇总表");
  ASSERT_EQ(previews, 1) << (dialogs.Boxes.empty() ? AnsiString() : dialogs.Boxes.back().Text);
  TrbReport* r = frmMain->rbReport1;
  ASSERT_EQ(r->EMFPages().Count(), 1);
  const auto texts = Formed(0);
  auto has = [&](const AnsiString& t) { return std::find(texts.begin(), texts.end(), t) != texts.end(); };
  EXPECT_TRUE(has("测试单位单位工资汇总表"));
  EXPECT_TRUE(has("单位（盖章）：测试单位"));
  EXPECT_TRUE(has("第1页 共1页"));  // no trailing blanks: centred, they pushed the number off its box
  EXPECT_TRUE(has("单位名称"));
  EXPECT_TRUE(has("应发|工资"));
  EXPECT_TRUE(has("总部"));
  EXPECT_TRUE(has("3100.00"));
  EXPECT_TRUE(has("250.50"));
  EXPECT_TRUE(has("制    表:  张会计"));
  EXPECT_FALSE(FrmData->TblRptStru->Active());
  // The paper without a rptPaper row: code 1, portrait.
  EXPECT_EQ(r->Pages().Pages(0)->pgOr, 0);

  // Printed to a PDF file, its page rendered.
  if (!rbPrinter()->HasSystemPrinters()) {
    const AnsiString pdf = db->Folder() + "summary.pdf";
    rbPrinter()->Printer()->SetOutputFileName(pdf);
    r->PrintPreparedReport("", 1, true, ppAll);
    rbPrinter()->Printer()->SetOutputFileName("");
    ASSERT_TRUE(std::filesystem::exists(MapPath(pdf)));
    if (std::system("command -v pdftoppm >/dev/null 2>&1") == 0) {
      const std::string out = MapPath(db->Folder() + "summary");
      const std::string cmd = "pdftoppm -r 60 -f 1 -l 1 -png '" + MapPath(pdf) + "' '" + out + "'";
      ASSERT_EQ(std::system(cmd.c_str()), 0);
      QImage page(QString::fromStdString(out + "-1.png"));
      ASSERT_FALSE(page.isNull());
      int dark = 0;
      for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) dark += qGray(page.pixel(x, y)) < 128;
      EXPECT_GT(dark, 200) << "frames and texts on the printed page";
      if (const char* shots = std::getenv("PAYROLL_SHOT_DIR"))
        page.save(QString::fromUtf8(shots) + "/app-summary-printed.png");
    }
  }

  // The preview window over the formed report.
  payroll::ShowReportPreview(payroll::ReportPreviewCalls(r), [](TForm* window) {
    QImage shot = window->Handle()->grab().toImage();
    EXPECT_FALSE(shot.isNull());
    if (const char* shots = std::getenv("PAYROLL_SHOT_DIR"))
      shot.save(QString::fromUtf8(shots) + "/app-summary-preview.png");
  });
}

TEST_F(Reports, WagePaySheetPrintsABlockPerEmployeeOfTheDepartment) {
  AddStructure("普通职工", "F02", "岗位,工资", 10, 2, 2);
  AddStructure("普通职工", "F01", "基本,工资", 10, 0, 1);
  BmNames = {"总部", "财务科", "离退休"};
  BmCodes = {"01", "0101", "0199"};
  TTreeNode* top = frmMain->TreeViewBm->Items()->Add(nullptr, "总部(01)");
  TTreeNode* retired = frmMain->TreeViewBm->Items()->Add(nullptr, "离退休(0199)");

  frmMain->TreeViewBm->SetSelected(retired);
  Print("职工工资单");
  EXPECT_EQ(Texts(), std::vector<AnsiString>{payroll::kRetiredOrTemporary});
  EXPECT_EQ(previews, 0);

  frmMain->TreeViewBm->SetSelected(top);
  Print("职工工资单");
  ASSERT_EQ(previews, 1);
  TrbReport* r = frmMain->rbReport1;
  ASSERT_GE(r->EMFPages().Count(), 1);
  std::vector<AnsiString> all;
  for (int p = 0; p < r->EMFPages().Count(); ++p)
    for (const AnsiString& t : Formed(p)) all.push_back(t);
  auto count = [&](const AnsiString& t) { return std::count(all.begin(), all.end(), t); };
  EXPECT_EQ(count("测试单位职工工资单"), r->EMFPages().Count());
  EXPECT_EQ(count("基本|工资"), 3);  // each block carries its titles
  EXPECT_EQ(count("张三"), 1);
  EXPECT_EQ(count("01990001"), 1);
  EXPECT_EQ(count("1000"), 1);     // RptDec 0
  EXPECT_EQ(count("250.50"), 1);   // RptDec 2
  EXPECT_TRUE(FrmData->TblGzk->Filtered());  // the sheet's filter stays

  if (!rbPrinter()->HasSystemPrinters() && std::system("command -v pdftoppm >/dev/null 2>&1") == 0) {
    const AnsiString pdf = db->Folder() + "sheet.pdf";
    rbPrinter()->Printer()->SetOutputFileName(pdf);
    r->PrintPreparedReport("", 1, true, ppAll);
    rbPrinter()->Printer()->SetOutputFileName("");
    const std::string out = MapPath(db->Folder() + "sheet");
    ASSERT_EQ(std::system(("pdftoppm -r 60 -f 1 -l 1 -png '" + MapPath(pdf) + "' '" + out + "'").c_str()), 0);
    QImage page(QString::fromStdString(out + "-1.png"));
    ASSERT_FALSE(page.isNull());
    if (const char* shots = std::getenv("PAYROLL_SHOT_DIR"))
      page.save(QString::fromUtf8(shots) + "/app-paysheet-printed.png");
  }
}

TEST_F(Reports, BonusSheetComesFromTheTemplateWithTheVariables) {
  const AnsiString tmpl = db->Folder() + "jjff.rbf";
  payroll::WriteBonusTemplate(tmpl);
  ASSERT_TRUE(FileExists(tmpl));
  FrmLogin->LoginUserName = "张会计";
  TUdbTable* gzk = FrmData->TblGzk;
  ASSERT_TRUE(gzk->Locate("ZGBH", "01010002", {}));
  gzk->Edit();
  gzk->FieldByName("ZGQK")->SetAsString("退休职工");  // left out of the sheet
  gzk->Post();
  ASSERT_TRUE(gzk->Locate("ZGBH", "01010001", {}));
  gzk->Edit();
  gzk->FieldByName("prix")->SetAsFloat(300.5);
  gzk->Post();

  frmMain->SpdBtnJJprint->OnClick(frmMain->SpdBtnJJprint);  // no department chosen
  EXPECT_EQ(Texts(), std::vector<AnsiString>{payroll::kNoBonusDepartment});
  EXPECT_EQ(previews, 0);

  CurBmBh = "01";
  frmMain->LblJJBm->SetCaption("总部");
  frmMain->SpdBtnJJprint->OnClick(frmMain->SpdBtnJJprint);
  ASSERT_EQ(previews, 1);
  auto texts = Formed(0);
  auto has = [&](const AnsiString& t) { return std::find(texts.begin(), texts.end(), t) != texts.end(); };
  EXPECT_TRUE(has("测试单位奖金发放表"));
  EXPECT_TRUE(has("部门：总部"));
  EXPECT_TRUE(has("01010001"));
  EXPECT_TRUE(has("01990001"));
  EXPECT_FALSE(has("01010002"));
  EXPECT_TRUE(has("300.50"));
  EXPECT_TRUE(has("制表：张会计"));
  EXPECT_TRUE(has("第1页 共1页"));
  EXPECT_EQ(frmMain->rbDBDataSet->DataSet(), gzk);  // handed back

  if (!rbPrinter()->HasSystemPrinters() && std::system("command -v pdftoppm >/dev/null 2>&1") == 0) {
    const AnsiString pdf = db->Folder() + "bonus.pdf";
    rbPrinter()->Printer()->SetOutputFileName(pdf);
    frmMain->rbReport1->PrintPreparedReport("", 1, true, ppAll);
    rbPrinter()->Printer()->SetOutputFileName("");
    const std::string out = MapPath(db->Folder() + "bonus");
    ASSERT_EQ(std::system(("pdftoppm -r 60 -f 1 -l 1 -png '" + MapPath(pdf) + "' '" + out + "'").c_str()), 0);
    QImage page(QString::fromStdString(out + "-1.png"));
    ASSERT_FALSE(page.isNull());
    if (const char* shots = std::getenv("PAYROLL_SHOT_DIR"))
      page.save(QString::fromUtf8(shots) + "/app-bonus-printed.png");
  }

  // The report page's entry: no rows for a department without employees,
  // and a missing template is named without a preview.
  dialogs.Boxes.clear();
  CurBmBh = "0177";
  Print("奖金发放表");
  EXPECT_EQ(Texts(), std::vector<AnsiString>{payroll::kNoPrintEmployees});
  dialogs.Boxes.clear();
  DeleteFile(tmpl);
  CurBmBh = "01";
  Print("奖金发放表");
  EXPECT_EQ(Texts(), std::vector<AnsiString>{payroll::kMissingBonusTemplate});
  EXPECT_EQ(previews, 1);
}

TEST_F(Reports, ADamagedOrMissingBonusTemplateIsReportedAndTheLastTemplateIsNotPrinted) {
  const AnsiString tmpl = db->Folder() + "jjff.rbf";
  payroll::WriteBonusTemplate(tmpl);
  CurBmBh = "01";
  frmMain->LblJJBm->SetCaption("总部");
  frmMain->SpdBtnJJprint->OnClick(frmMain->SpdBtnJJprint);
  ASSERT_EQ(previews, 1);  // the report now holds the bonus template
  {
    TFileStream f(tmpl, fmOpenReadWrite);
    f.SetSize(f.Size() / 2);  // cut in the middle of its objects
  }
  struct Entry {
    const char* what;
    std::function<void()> run;
  } entries[] = {
      {"bonus page button", [&] { frmMain->SpdBtnJJprint->OnClick(frmMain->SpdBtnJJprint); }},
      {"report page", [&] { Print("奖金发放表"); }},
  };
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.what);
    dialogs.Boxes.clear();
    e.run();
    EXPECT_EQ(Texts(), std::vector<AnsiString>{"不支持的RBF格式"});
    EXPECT_EQ(previews, 1);
    EXPECT_EQ(frmMain->rbDBDataSet->DataSet(), FrmData->TblGzk);
  }
  DeleteFile(tmpl);
  dialogs.Boxes.clear();
  frmMain->SpdBtnJJprint->OnClick(frmMain->SpdBtnJJprint);
  EXPECT_EQ(Texts(), std::vector<AnsiString>{payroll::kMissingBonusTemplate});
  EXPECT_EQ(previews, 1);
}

using TTexts = std::vector<AnsiString>;
bool Holds(const TTexts& texts, const AnsiString& t) { return std::find(texts.begin(), texts.end(), t) != texts.end(); }
int Position(const TTexts& texts, const AnsiString& t) {
  return int(std::find(texts.begin(), texts.end(), t) - texts.begin());
}

TEST_F(Reports, TemporarySummaryListsTheChosenDepartmentWithTheTemporaryColumns) {
  AddStructure("临时工", "F02", "岗位,工资", 10, 2, 1);
  AddStructure("普通职工", "F01", "基本,工资", 10, 2, 1);
  SetDepartmentTotal("01", "F02", 500);
  SetDepartmentTotal("0101", "F02", 300.25);
  SetDepartmentTotal("0199", "F02", 77);
  ChooseDepartment("总部(3)");

  Print("临时工工资汇总表");
  ASSERT_EQ(previews, 1) << LastBox();
  const TTexts texts = AllFormed();
  EXPECT_TRUE(Holds(texts, "测试单位临时工工资汇总表"));
  EXPECT_TRUE(Holds(texts, "单位：总部"));
  EXPECT_TRUE(Holds(texts, "部门名称"));
  EXPECT_TRUE(Holds(texts, "岗位|工资"));
  EXPECT_FALSE(Holds(texts, "基本|工资"));  // the ordinary staff's columns
  // The department and its children in sequence order, the retired
  // group left out.
  EXPECT_LT(Position(texts, "总部"), Position(texts, "财务科"));
  EXPECT_TRUE(Holds(texts, "财务科"));
  EXPECT_FALSE(Holds(texts, "离退休"));
  EXPECT_TRUE(Holds(texts, "500.00"));
  EXPECT_TRUE(Holds(texts, "300.25"));
  EXPECT_FALSE(Holds(texts, "77.00"));
  EXPECT_FALSE(frmMain->Adoquery1->Active());
  CheckPrintedPage("app-temporary-summary");
  CheckPreview("app-temporary-summary");
}

TEST_F(Reports, TemporaryPaySheetListsTheUnitsTemporaryGroupThroughTheRegisterFilter) {
  AddStructure("临时工", "F02", "岗位,工资", 9, 2, 1);
  AddStructure("临时工", "F01+F02", "合计", 10, 2, 2);  // an expression over codes
  AddStructure("普通职工", "F01", "基本,工资", 10, 2, 1);
  AddEmployee("01980001", "赵临时", "临时工", 800, 120.5);
  AddEmployee("02980001", "钱临时", "临时工", 700, 100);  // another unit
  TUdbTable* bm = FrmData->TblBm;
  bm->Append();
  bm->FieldByName("BMBH")->SetAsString("03");
  bm->FieldByName("BMMC")->SetAsString("三分厂");
  bm->Post();
  frmMain->TreeViewBm->SetSelected(nullptr);  // no department needed

  ASSERT_TRUE(bm->Locate("BMBH", "0101", {}));
  Print("临时工工资单");
  ASSERT_EQ(previews, 1) << LastBox();
  const TTexts texts = AllFormed();
  EXPECT_TRUE(Holds(texts, "测试单位临时工工资单"));
  EXPECT_TRUE(Holds(texts, "赵临时"));
  EXPECT_TRUE(Holds(texts, "01980001"));
  EXPECT_FALSE(Holds(texts, "钱临时"));
  EXPECT_FALSE(Holds(texts, "张三"));
  EXPECT_TRUE(Holds(texts, "岗位|工资"));
  EXPECT_TRUE(Holds(texts, "120.50"));
  EXPECT_TRUE(Holds(texts, "920.50"));
  EXPECT_FALSE(Holds(texts, "基本|工资"));
  TUdbTable* gzk = FrmData->TblGzk;
  EXPECT_TRUE(gzk->Filtered());  // the sheet's filter stays
  EXPECT_EQ(gzk->Filter(), "zgbh like '0198%'");
  EXPECT_EQ(gzk->RecordCount(), 1);
  CheckPrintedPage("app-temporary-sheet");
  CheckPreview("app-temporary-sheet");

  // A unit without a temporary group has nothing to print.
  ASSERT_TRUE(bm->Locate("BMBH", "03", {}));
  Print("临时工工资单");
  EXPECT_EQ(LastBox(), payroll::kNoPrintEmployees);
  EXPECT_EQ(previews, 1);
}

TEST_F(Reports, UnitWideSheetsPrintTheUnitChosenInTheTree) {
  AddStructure("临时工", "F02", "岗位,工资", 9, 2, 1);
  AddStructure("退休职工", "F01", "补贴", 10, 2, 1);
  AddEmployee("01980001", "赵临时", "临时工", 800, 120.5);
  AddEmployee("02980001", "钱临时", "临时工", 700, 100);
  AddEmployee("02990001", "孙退休", "退休职工", 900, 0);
  TUdbTable* bm = FrmData->TblBm;
  bm->Append();
  bm->FieldByName("BMBH")->SetAsString("02");
  bm->FieldByName("BMMC")->SetAsString("分厂");
  bm->Post();
  ASSERT_EQ(bm->FieldByName("BMBH")->AsString(), "02");  // the table stands on the other unit
  ChooseDepartment("财务科(2)");

  Print("临时工工资单");
  ASSERT_EQ(previews, 1) << LastBox();
  TTexts texts = AllFormed();
  EXPECT_TRUE(Holds(texts, "赵临时"));
  EXPECT_FALSE(Holds(texts, "钱临时"));

  Print("职工退休补贴表");
  ASSERT_EQ(previews, 2) << LastBox();
  texts = AllFormed();
  EXPECT_TRUE(Holds(texts, "王五"));
  EXPECT_FALSE(Holds(texts, "孙退休"));
}

TEST_F(Reports, AnnualSalarySheetListsOnlyTheDepartmentsAnnualStaff) {
  AddStructure("年薪人员", "F01", "月薪", 9, 0, 1);
  AddStructure("年薪人员", "F01*12", "年薪", 10, 2, 2);
  AddStructure("普通职工", "F02", "岗位,工资", 10, 2, 1);
  TUdbTable* gzk = FrmData->TblGzk;
  ASSERT_TRUE(gzk->Locate("ZGBH", "01010002", {}));
  gzk->Edit();
  gzk->FieldByName("ZGQK")->SetAsString("年薪人员");
  gzk->Post();
  AddEmployee("01990002", "孙年薪", "年薪人员", 3000, 0);  // another department
  ChooseDepartment("财务科(2)");

  Print("年薪人员工资单");
  ASSERT_EQ(previews, 1) << LastBox();
  const TTexts texts = AllFormed();
  EXPECT_TRUE(Holds(texts, "测试单位年薪人员工资单"));
  EXPECT_TRUE(Holds(texts, "部门：财务科"));
  EXPECT_TRUE(Holds(texts, "李四"));
  EXPECT_TRUE(Holds(texts, "1200"));      // RptDec 0
  EXPECT_TRUE(Holds(texts, "14400.00"));  // F01*12
  EXPECT_TRUE(Holds(texts, "年薪"));
  EXPECT_FALSE(Holds(texts, "张三"));     // in the department, not annual staff
  EXPECT_FALSE(Holds(texts, "孙年薪"));   // annual staff of another department
  EXPECT_FALSE(Holds(texts, "岗位|工资"));
  CheckPrintedPage("app-annual-sheet");
  CheckPreview("app-annual-sheet");
}

TEST_F(Reports, PerformanceSheetPrintsThePerformanceColumnsPerEmployee) {
  AddStructure("岗位绩效", "F02*2", "绩效,工资", 10, 2, 1);
  AddStructure("普通职工", "F01", "基本,工资", 10, 2, 1);
  TUdbTable* gzk = FrmData->TblGzk;
  ASSERT_TRUE(gzk->Locate("ZGBH", "01010002", {}));
  gzk->Edit();
  gzk->FieldByName("F02")->SetAsFloat(100);
  gzk->Post();
  ChooseDepartment("财务科(2)");

  Print("绩效工资单");
  ASSERT_EQ(previews, 1) << LastBox();
  const TTexts texts = AllFormed();
  auto count = [&](const AnsiString& t) { return std::count(texts.begin(), texts.end(), t); };
  EXPECT_TRUE(Holds(texts, "测试单位绩效工资单"));
  EXPECT_EQ(count("绩效|工资"), 2);  // each employee's block carries the titles
  EXPECT_EQ(count("张三"), 1);
  EXPECT_EQ(count("李四"), 1);
  EXPECT_FALSE(Holds(texts, "王五"));
  EXPECT_TRUE(Holds(texts, "501.00"));  // 250.5 * 2
  EXPECT_TRUE(Holds(texts, "200.00"));  // 100 * 2
  EXPECT_FALSE(Holds(texts, "基本|工资"));
  CheckPrintedPage("app-performance-sheet");
  CheckPreview("app-performance-sheet");
}

TEST_F(Reports, TheReportsPaperRowSetsTheSheetAndItsOrientation) {
  {
    TUdbTable paper;
    paper.SetDataBase(FrmData->UdbDataBase1);
    paper.SetTableName("rptPaper");
    paper.Open();
    const std::tuple<const char*, int, int> rows[] = {{"单位工资汇总表", 1, 40}, {"单位绩效工资汇总表", 0, 0}};
    for (const auto& [name, type, margin] : rows) {
      paper.Append();
      paper.FieldByName("rptName")->SetAsString(name);
      paper.FieldByName("paperIdx")->SetAsInteger(9);  // A4, 210 x 297 mm
      paper.FieldByName("paperWidth")->SetAsInteger(2100);
      paper.FieldByName("paperHeight")->SetAsInteger(2970);
      paper.FieldByName("paperType")->SetAsInteger(type);
      paper.FieldByName("leftMarg")->SetAsInteger(margin);
      paper.Post();
    }
    paper.Close();
  }
  // Design units are 18 to 5 mm: an A4 sheet is 756 wide upright and
  // 1069 wide turned.
  const struct {
    const char* report;
    int orientation, width, height, nameTitleLeft;
  } cases[] = {{"单位工资汇总表", 1, 1069, 756, 40}, {"单位绩效工资汇总表", 0, 756, 1069, 0}};
  for (const auto& c : cases) {
    Print(c.report);
    TrbPage* page = frmMain->rbReport1->Pages().Pages(0);
    EXPECT_EQ(page->pgOr, c.orientation) << c.report;
    EXPECT_EQ(page->PageWidth(), c.width) << c.report;
    EXPECT_EQ(page->PageHeight(), c.height) << c.report;
    const auto memos = Memos(page);
    const auto title = std::find_if(memos.begin(), memos.end(), [](const TText& t) { return t.text == "单位名称"; });
    ASSERT_NE(title, memos.end());
    EXPECT_EQ(title->x, c.nameTitleLeft) << c.report;
    // The printed sheet lies as the page does.
    QImage printed;
    CheckPrintedPage(c.orientation ? "app-landscape-summary" : "app-portrait-summary", &printed);
    if (!printed.isNull()) {
      EXPECT_EQ(printed.width() > printed.height(), c.orientation == 1) << c.report;
    }
  }
  EXPECT_EQ(previews, 2);
}

}  // namespace
