// The worksheet export commands over the test database: the card page's
// wage, bonus and performance files and the report page's summaries, each
// read back from the written file (the worksheet records, and once through
// an independent spreadsheet program when one is installed); the
// overwrite question, the refusals, and a failed export that must not be
// reported as a success.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbTable.h"
#include "app/ExportCommands.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/PayrollProgram.h"
#include "app/StartupForms.h"
#include "platform/core/CodePage.h"
#include "platform/core/DateTime.h"
#include "platform/core/Files.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/StdCtrls.h"

namespace {

using Sheet = std::map<std::pair<int, int>, std::string>;  // (row, column) -> text

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The cells of a worksheet file, from its records (see export/XlsFormat.h):
// labels as their code-page-936 text, numbers as printed by %g.
Sheet ReadSheet(const std::string& path) {
  const std::string b = ReadBytes(path);
  Sheet sheet;
  size_t p = 0;
  auto u16 = [&](size_t at) { return unsigned(uint8_t(b[at])) | unsigned(uint8_t(b[at + 1])) << 8; };
  while (p + 4 <= b.size()) {
    const unsigned op = u16(p), len = u16(p + 2);
    const size_t body = p + 4;
    if (body + len > b.size()) {
      ADD_FAILURE() << "truncated record at " << p;
      break;
    }
    if (op == 0x0004 || op == 0x0003 || op == 0x0002 || op == 0x0001) {
      const int row = int(u16(body)), col = int(u16(body + 2));
      std::string text;
      if (op == 0x0004) text = b.substr(body + 8, uint8_t(b[body + 7]));
      if (op == 0x0003) {
        double v;
        std::memcpy(&v, b.data() + body + 7, 8);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", v);
        text = buf;
      }
      if (op == 0x0002) text = std::to_string(u16(body + 7));
      sheet[{row, col}] = text;
    }
    p = body + len;
  }
  return sheet;
}

std::vector<std::string> Row(const Sheet& sheet, int row) {
  std::vector<std::string> out;
  for (int c = 0; sheet.count({row, c}); ++c) out.push_back(sheet.at({row, c}));
  return out;
}

int Rows(const Sheet& sheet) {
  int n = 0;
  for (const auto& [at, text] : sheet) n = std::max(n, at.first + 1);
  return n;
}

class Exports : public TMainFormTest {
 protected:
  void SetUp() override {
    TMainFormTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_NE(frmMain->SptBtnexcel, nullptr);
    ASSERT_TRUE(frmMain->SptBtnRptExcel->OnClick);
    ForceDirectories(db->Folder() + "backxls");
    date = FormatDateTime("yyyymmdd", Date());
  }
  std::string Path(const AnsiString& name) { return MapPath(db->Folder() + "backxls\\" + name); }
  void ExportKind(const char* kind) {
    frmMain->ComboBoxGZJJ->SetText(kind);
    frmMain->SptBtnexcel->OnClick(frmMain->SptBtnexcel);
  }
  void ExportSummary(const char* report) {
    frmMain->ComboBoxReport->SetText(report);
    frmMain->SptBtnRptExcel->OnClick(frmMain->SptBtnRptExcel);
  }
  std::vector<AnsiString> Texts() {
    std::vector<AnsiString> t;
    for (const auto& b : dialogs.Boxes) t.push_back(b.Text);
    return t;
  }
  void AddStructure(const char* title, const char* field, const char* fldTitle, int no) {
    TUdbTable* t = FrmData->TblRptStru;
    t->Append();
    t->FieldByName("RptTitle")->SetAsString(title);
    t->FieldByName("RptField")->SetAsString(field);
    t->FieldByName("FldTitle")->SetAsString(fldTitle);
    t->FieldByName("RptLen")->SetAsInteger(50);
    t->FieldByName("RptDec")->SetAsInteger(2);
    t->FieldByName("RptNo")->SetAsInteger(no);
    t->Post();
  }

  AnsiString date;
};

// --- the texts the commands build -------------------------------------------

TEST(ExportTexts, FileNamesCarryTheKindAndTheDate) {
  using payroll::TExportKind;
  EXPECT_EQ(payroll::ExportFileName(TExportKind::Wage, "20030415"), "gz200304.xls");
  EXPECT_EQ(payroll::ExportFileName(TExportKind::Bonus, "20030415"), "jj20030415.xls");
  EXPECT_EQ(payroll::ExportFileName(TExportKind::Performance, "20030415"), "jx20030415.xls");
  EXPECT_EQ(payroll::ExportKindOf("绩效工资"), TExportKind::Performance);
  EXPECT_EQ(payroll::ExportKindOf("工资入卡"), TExportKind::None);
}

TEST(ExportTexts, SummaryTitlesLoseCommasAndTheDeductionGroup) {
  const std::pair<const char*, const char*> cases[] = {
      {"代           扣|个税", "个税"},
      {"应发,工资", "应发工资"},
      {"代           扣|养老,保险", "养老保险"},
      {"应发|工资", "应发|工资"},  // another group stays
      {"基本工资", "基本工资"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(payroll::SummaryColumnTitle(in), out) << in;
}

TEST(ExportTexts, SummarySqlSelectsUnitsOrOneDepartmentsChildren) {
  const std::vector<std::pair<AnsiString, AnsiString>> cols = {{"F01", "基本,工资"}, {"F09", "代           扣|个税"}};
  EXPECT_EQ(payroll::SummarySql("单位工资汇总表", cols, ""),
            " select BMMC as 单位名称, RS as 人数,F01 as 基本工资,F09 as 个税 from bm where bmbh like '__' ");
  EXPECT_EQ(payroll::SummarySql("部门绩效工资汇总表", cols, "0102"),
            " select BMMC as 单位名称, RS as 人数,F01 as 基本工资,F09 as 个税,xh from bm where  copy(bmbh,3,1)<>'9'  "
            "and bmbh like '0102%' and length(bmbh)<=6 order by xh");
  EXPECT_EQ(payroll::SummaryStructureSql("职工工资单"), "");
}

TEST(ExportTexts, StoredTextsStayLiteralsAndPlainNamesInTheStatements) {
  // A department code that would close the literal is one literal.
  EXPECT_NE(payroll::SummarySql("部门工资汇总表", {}, "01' or bmbh like '").find("bmbh like '01'' or bmbh like ''%'"),
            std::string::npos);
  // A title is an alias only when it is one plain name; anything that
  // would add to the statement is refused naming the structure's column.
  const std::pair<const char*, bool> titles[] = {
      {"Base xm as Leak", false}, {"基本]工资", false}, {"", false}, {"1st", false}, {"Date", false},
      {"F01 from gzk", false},   {"实发工资", true},    {"个税_2", true},
      {"\x81\x5d", true},  // a GBK character whose trail byte is "]"
  };
  for (const auto& [title, taken] : titles) {
    SCOPED_TRACE(title);
    try {
      const AnsiString sql = payroll::SummarySql("单位工资汇总表", {{"F01", title}}, "");
      EXPECT_TRUE(taken);
      EXPECT_NE(sql.find(",F01 as " + AnsiString(title) + " from"), std::string::npos) << sql;
    } catch (const payroll::EExportColumnError& e) {
      EXPECT_FALSE(taken);
      EXPECT_NE(std::string(e.what()).find("RptStru 的 F01 栏"), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(payroll::SummarySql("单位工资汇总表", {{"F01;", "实发"}}, ""), payroll::EExportColumnError);
}

// --- card page ----------------------------------------------------------------

TEST_F(Exports, WageFileHasTheFixedColumnsThenOnePerDescribedPayField) {
  ExportKind("工资");
  const std::string file = Path("gz" + date.substr(0, 6) + ".xls");
  ASSERT_TRUE(std::filesystem::exists(file)) << file;
  ASSERT_FALSE(dialogs.Boxes.empty());
  EXPECT_EQ(dialogs.Boxes.back().Text, payroll::kExportDone);
  const Sheet s = ReadSheet(file);
  EXPECT_EQ(Row(s, 0), (std::vector<std::string>{"职工编号", "姓名", "养老保险号", "工资帐号", "基本工资", "岗位工资",
                                                 "应发工资"}));
  ASSERT_EQ(Rows(s), 4);
  EXPECT_EQ(s.at({1, 0}), "01010001");
  EXPECT_EQ(s.at({1, 1}), "张三");
  EXPECT_EQ(s.at({1, 3}), "6222000011112222");
  EXPECT_EQ(s.at({1, 4}), "1000");
  EXPECT_EQ(s.at({1, 5}), "250.5");
  EXPECT_EQ(s.at({3, 0}), "01990001");
  EXPECT_EQ(s.at({3, 4}), "900");
}

TEST_F(Exports, ADescriptionFromGzIniThatIsNoPlainNameIsRefusedNamingItsEntry) {
  ASSERT_GE(FldDescs.size(), size_t(payroll::kFixedFldDescs) + 2);
  for (const char* desc : {"Base, xm as Leak", "岗位] from gzk; [x"}) {
    SCOPED_TRACE(desc);
    FldDescs[1].second = desc;
    try {
      ExportKind("工资");
      ADD_FAILURE() << "the description was taken";
    } catch (const payroll::EExportColumnError& e) {
      EXPECT_NE(AnsiString(e.what()).find("gz.ini [Fld_字段描述] 02"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(Path("gz" + date.substr(0, 6) + ".xls")));
  }
}

TEST_F(Exports, AnsweringNoToTheOverwriteQuestionKeepsTheFirstFile) {
  ExportKind("奖金");
  const std::string file = Path("jj" + date + ".xls");
  const std::string first = ReadBytes(file);
  ASSERT_FALSE(first.empty());
  FrmData->TblGzk->First();
  FrmData->TblGzk->Edit();
  FrmData->TblGzk->FieldByName("prix")->SetAsFloat(77);
  FrmData->TblGzk->Post();

  dialogs.Boxes.clear();
  dialogs.Answers = {IDNO};
  ExportKind("奖金");
  ASSERT_EQ(Texts(), std::vector<AnsiString>{"\r本月奖金已有EXCEL文件，是否覆盖？"});
  EXPECT_EQ(ReadBytes(file), first);

  dialogs.Boxes.clear();
  dialogs.Answers = {IDYES, IDOK};
  ExportKind("奖金");
  EXPECT_EQ(Texts().back(), payroll::kExportDone);
  const Sheet s = ReadSheet(file);
  EXPECT_EQ(Row(s, 0), (std::vector<std::string>{"职工编号", "养老保险号", "工资帐号", "姓名", "奖金"}));
  EXPECT_EQ(s.at({1, 4}), "77");
}

TEST_F(Exports, ABonusNeverEnteredExportsAsZero) {
  // The query reads the null bonus as null; the sheet still shows 0.
  FrmData->TblGzk->First();
  FrmData->TblGzk->Edit();
  FrmData->TblGzk->FieldByName("prix")->Clear();
  FrmData->TblGzk->Post();
  ExportKind("奖金");
  const Sheet s = ReadSheet(Path("jj" + date + ".xls"));
  EXPECT_EQ(s.at({1, 4}), "0");
}

TEST_F(Exports, AFailedExportIsShownAndNotReportedAsDone) {
  std::filesystem::remove_all(MapPath(db->Folder() + "backxls"));  // the commands do not create it
  ExportKind("工资");
  const auto texts = Texts();
  ASSERT_FALSE(texts.empty());
  for (const AnsiString& t : texts) EXPECT_NE(t, payroll::kExportDone);
  bool error = false;
  for (const auto& b : dialogs.Boxes) error |= b.Icon == diError;
  EXPECT_TRUE(error);
  EXPECT_FALSE(std::filesystem::exists(Path("gz" + date.substr(0, 6) + ".xls")));
}

TEST_F(Exports, PerformanceFileTakesItsColumnsFromTheReportStructure) {
  AddStructure("岗位绩效", "F02", "岗位工资", 2);
  AddStructure("岗位绩效", "F01", "基本工资", 1);
  // A title printed on two lines: the comma is the report's line break
  // and must not end the column in the query.
  AddStructure("岗位绩效", "F03", "绩效,工资", 3);
  AddStructure("普通职工", "F03", "应发工资", 1);
  ExportKind("绩效工资");
  const Sheet s = ReadSheet(Path("jx" + date + ".xls"));
  EXPECT_EQ(Row(s, 0), (std::vector<std::string>{"职工编号", "养老保险号", "工资帐号", "姓名", "基本工资",
                                                 "岗位工资", "绩效工资"}));
  EXPECT_EQ(s.at({1, 5}), "250.5");
  EXPECT_EQ(Texts().back(), payroll::kExportDone);
}

TEST_F(Exports, ANotListedKindExportsNothing) {
  ExportKind("");
  EXPECT_EQ(Texts().size(), 1u);
  EXPECT_TRUE(std::filesystem::is_empty(MapPath(db->Folder() + "backxls")));
}

// --- report page --------------------------------------------------------------

TEST_F(Exports, SummaryRefusalsComeBeforeTheFileNameIsAsked) {
  ExportSummary("");
  frmMain->TreeViewBm->SetSelected(nullptr);
  ExportSummary("部门工资汇总表");
  EXPECT_EQ(Texts(), (std::vector<AnsiString>{payroll::kSummaryNoReport, payroll::kSummaryNoDepartment}));
  dialogs.Boxes.clear();
  ExportSummary("单位工资汇总表");  // no name given: nothing happens
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_TRUE(std::filesystem::is_empty(MapPath(db->Folder() + "backxls")));
}

TEST_F(Exports, UnitSummaryExportsTheStoredTotalsUnderCleanTitles) {
  AddStructure("普通职工", "F09", "代           扣|个,税", 2);
  AddStructure("普通职工", "F01", "基本,工资", 1);
  TUdbTable* bm = FrmData->TblBm;
  ASSERT_TRUE(bm->Locate("BMBH", "01", {}));
  bm->Edit();
  bm->FieldByName("F01")->SetAsFloat(3100);
  bm->FieldByName("F09")->SetAsFloat(12.5);
  bm->Post();
  dialogs.InputAnswers = {"单位汇总"};
  ExportSummary("单位工资汇总表");
  EXPECT_EQ(Texts().back(), payroll::kSummaryDone);
  const Sheet s = ReadSheet(Path("单位汇总.xls"));
  EXPECT_EQ(Row(s, 0), (std::vector<std::string>{"单位名称", "人数", "基本工资", "个税"}));
  ASSERT_EQ(Rows(s), 2);
  EXPECT_EQ(Row(s, 1), (std::vector<std::string>{"总部", "3", "3100", "12.5"}));
}

TEST_F(Exports, DepartmentSummaryListsTheChosenDepartmentAndItsChildren) {
  AddStructure("岗位绩效", "F01", "基本,工资", 1);
  // The tree's nodes read "name(...)"; the name is looked up in BmNames.
  BmNames = {"总部", "财务科", "离退休"};
  BmCodes = {"01", "0101", "0199"};
  TTreeNode* top = frmMain->TreeViewBm->Items()->Add(nullptr, "总部(01)");
  TTreeNode* retired = frmMain->TreeViewBm->Items()->Add(nullptr, "离退休(0199)");
  frmMain->TreeViewBm->SetSelected(top);
  dialogs.InputAnswers = {"部门"};
  ExportSummary("部门绩效工资汇总表");
  EXPECT_EQ(Texts().back(), payroll::kSummaryDone);
  const Sheet s = ReadSheet(Path("部门.xls"));
  EXPECT_EQ(Row(s, 0), (std::vector<std::string>{"单位名称", "人数", "基本工资"}));
  // 0199 (third character 9) is left out.
  ASSERT_EQ(Rows(s), 3);
  EXPECT_EQ(s.at({1, 0}), "总部");
  EXPECT_EQ(s.at({2, 0}), "财务科");

  // A group numbered 90 to 99 is never listed: no rows, no file.
  frmMain->TreeViewBm->SetSelected(retired);
  dialogs.InputAnswers = {"无"};
  ExportSummary("部门绩效工资汇总表");
  EXPECT_EQ(Texts().back(), payroll::kSummaryNoData);
  EXPECT_FALSE(std::filesystem::exists(Path("无.xls")));
}

// An independent reader: the spreadsheet program converts the wage file to
// text; titles and values must read as written.
TEST_F(Exports, ASpreadsheetProgramReadsTheWageFile) {
  if (std::system("command -v soffice >/dev/null 2>&1") != 0) GTEST_SKIP() << "no spreadsheet program";
  ExportKind("工资");
  const std::string file = Path("gz" + date.substr(0, 6) + ".xls");
  const std::string out = MapPath(db->Folder());
  const std::string cmd = "cd '" + out + "' && HOME='" + out + "' timeout 120 soffice --headless --convert-to "
                          "'csv:Text - txt - csv (StarCalc):44,34,76' --outdir '" + out + "' '" + file +
                          "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string csv = ReadBytes(out + "gz" + std::string(date.substr(0, 6)) + ".csv");
  std::istringstream lines(csv);
  std::string title, first;
  std::getline(lines, title);
  std::getline(lines, first);
  EXPECT_EQ(title, AnsiToUtf8("职工编号,姓名,养老保险号,工资帐号,基本工资,岗位工资,应发工资"));
  EXPECT_EQ(first.rfind(AnsiToUtf8("01010001,张三"), 0), 0u) << first;
  EXPECT_NE(first.find(",1000,250.5"), std::string::npos) << first;
}

}  // namespace
