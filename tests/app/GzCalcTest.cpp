// The payroll calculation of one row over a test database: which formula
// rows run, conditions and their prefix rule, substitution (negatives in
// brackets), rounding halves to even, later formulas seeing earlier
// results, the two error messages with nothing written, calc.log lines,
// and a write-back that fails (rolled back, the operator told which row).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/GzCalc.h"
#include "platform/data/Fields.h"

using namespace payroll;

namespace {

TEST(GzCalcRules, FunctionByModeAndPage) {
  struct Case {
    int mode;
    const char* page;
    const char* fn;
  } cases[] = {{0, "TbsZgKq", "考勤管理"}, {0, "TbsGzXg", "工资修改"}, {0, "TbsGwjx", "岗位绩效"},
               {0, "TbsJJ", ""},          {1, "TbsZgKq", "初始化"},   {2, "TbsGzXg", "年度初始化"},
               {3, "tbsStrat", "岗位绩效"}, {5, "TbsGwjx", "岗位绩效"}, {5, "tbsStrat", ""}};
  for (const Case& c : cases) EXPECT_EQ(CalcFunctionName(c.mode, c.page), c.fn) << c.mode << " " << c.page;
}

TEST(GzCalcRules, TwoDecimalsWithHalvesToEven) {
  const double cases[][2] = {{0.125, 0.12}, {0.375, 0.38}, {-0.125, -0.12}, {2.5, 2.5},
                             {1234.5678, 1234.57}, {-3.0, -3.0},
                             // the product is formed from the double as stored: 0.005 is a
                             // little above, 0.015 a little below the half
                             {0.005, 0.01}, {0.015, 0.01}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(RoundToCents(c[0]), c[1]) << c[0];
}

TEST(GzCalcRules, FieldCodesBecomeValuesAndNegativesEnterFormulasBracketed) {
  TPayValues v;
  v.V[1] = 1000;
  v.V[2] = -5;
  v.V[10] = 0.5;
  EXPECT_EQ(SubstituteFields("F01*F02+F10", v, true), "1000*(0-5)+0.5");
  EXPECT_EQ(SubstituteFields("F02<0", v, false), "-5<0");
  EXPECT_EQ(SubstituteFields("F99+F01F01", v, true), "0+10001000");
}

TEST(GzCalcRules, LogLinePadsTheResultTo20BytesAndAddsANonBlankCondition) {
  EXPECT_EQ(CalcLogLine("考勤管理", "实发工资", "应发工资-扣款", " "),
            "考勤管理: 实发工资" + std::string(12, ' ') + "公式:应发工资-扣款\r\n");
  EXPECT_EQ(CalcLogLine("初始化", "一二三四五六七八九十", "0", "类别=1"),
            "初始化: 一二三四五六七八九十公式:0    [条件:类别=1]\r\n");
}

// A test database whose formula table is emptied; each test adds its rows.
class GzCalcRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    gzk = db.OpenTable("gzk", "");
    js = db.OpenTable("JsGsk", "GI");
    while (!js->IsEmpty()) {
      js->First();
      js->Delete();
    }
    tables.DataBase = &db.DataBase();
    tables.Gzk = gzk;
    tables.JsGsk = js;
    gzk->First();  // 张三: F01 1000, F02 250.5
  }
  void Add(int id, const char* gn, const char* rlt, const char* gs, const char* tj, const char* desc = "结果") {
    js->Append();
    js->FieldByName("ID")->SetAsInteger(id);
    js->FieldByName("GNNAME")->SetAsString(gn);
    js->FieldByName("GSRLT")->SetAsString(rlt);
    js->FieldByName("GSSTR")->SetAsString(gs);
    js->FieldByName("TJSTR")->SetAsString(tj);
    js->FieldByName("GSRLTDESC")->SetAsString(desc);
    js->FieldByName("GSSTRDESC")->SetAsString(gs);
    js->FieldByName("TJDESC")->SetAsString(tj);
    js->Post();
  }
  void Set(const char* field, double v) {
    gzk->Edit();
    gzk->FieldByName(field)->SetAsFloat(v);
    gzk->Post();
  }
  double F(const char* field) { return gzk->FieldByName(field)->AsFloat(); }
  TGzCalcOutcome Run(const AnsiString& gn, const AnsiString& log = "") {
    TGzCalcOutcome o = payroll::GzCalcRow(tables, gn, log);
    if (gzk->State() == dsEdit) gzk->Post();
    return o;
  }

  TTestPayrollDb db;
  TFakeDialogService dialogs;
  TUdbTable *gzk = nullptr, *js = nullptr;
  TGzCalcTables tables;
};

TEST_F(GzCalcRowTest, RunsTheFunctionsRowsInIdOrderAndLaterOnesSeeEarlierResults) {
  Add(2, "考勤管理", "F04", "F03+1", " ");
  Add(1, "考勤管理", "F03", "F01+F02", " ");
  Add(3, "工资修改", "F05", "99", " ");
  EXPECT_EQ(Run("考勤管理"), TGzCalcOutcome::Written);
  EXPECT_DOUBLE_EQ(F("F03"), 1250.5);
  EXPECT_DOUBLE_EQ(F("F04"), 1251.5);
  EXPECT_DOUBLE_EQ(F("F05"), 0);  // another function's row
  EXPECT_FALSE(js->Filtered());
  EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(GzCalcRowTest, ConditionPrefixGatesEachFormulaItem) {
  Add(1, "考勤管理", "F05", "F05*2,F05*3", "F03=1,2");
  Set("F05", 10);
  Set("F03", 2);
  Run("考勤管理");
  EXPECT_DOUBLE_EQ(F("F05"), 30);
  Set("F03", 1);
  Run("考勤管理");
  EXPECT_DOUBLE_EQ(F("F05"), 60);
  Set("F03", 7);
  Run("考勤管理");
  EXPECT_DOUBLE_EQ(F("F05"), 60);
}

TEST_F(GzCalcRowTest, BareNumbersBlankConditionsAndCountsThatDoNotMatch) {
  Add(1, "初始化", "F01", "0", " ");           // bare number: stored as it is
  Add(2, "初始化", "F06", "5", "");            // one formula, no condition: not run
  Add(3, "初始化", "F07", "1,2", "F01=0");     // 1 condition, 2 formulas: skipped
  Add(4, "初始化", "F08", "0.125", " ");       // rounded, halves to even
  Add(5, "初始化", "F09", "F02*1.5", "F01=0"); // the condition sees F01 already 0
  Run("初始化");
  EXPECT_DOUBLE_EQ(F("F01"), 0);
  EXPECT_DOUBLE_EQ(F("F06"), 0);
  EXPECT_DOUBLE_EQ(F("F07"), 0);
  EXPECT_DOUBLE_EQ(F("F08"), 0.12);
  EXPECT_DOUBLE_EQ(F("F09"), 375.75);
}

TEST_F(GzCalcRowTest, NegativeValuesEnterFormulasAsZeroMinus) {
  Add(1, "考勤管理", "F04", "F01*F02", " ");
  Set("F02", -5);
  Run("考勤管理");
  EXPECT_DOUBLE_EQ(F("F04"), -5000);
}

TEST_F(GzCalcRowTest, ConditionsSeeValuesBeforeTheirRowsFormulas) {
  // Both conditions are read before F01 changes in this row.
  Add(1, "考勤管理", "F01", "1,F01+7", "F01=1000,F01=1000");
  Run("考勤管理");
  EXPECT_DOUBLE_EQ(F("F01"), 8);
}

TEST_F(GzCalcRowTest, SyntaxErrorsAreShownAndNothingIsWritten) {
  Add(1, "考勤管理", "F03", "1", " ");
  Add(2, "考勤管理", "F04", "F01*-3", " ");
  EXPECT_EQ(payroll::GzCalcRow(tables, "考勤管理", ""), TGzCalcOutcome::FormulaError);
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, "计算公式有错！结果:F03计算:1000*-3\rF01*-3");
  EXPECT_NE(gzk->State(), dsEdit);
  gzk->Refresh();
  EXPECT_DOUBLE_EQ(F("F03"), 0);

  js->First();
  js->Delete();
  js->First();
  js->Delete();
  Add(1, "考勤管理", "F03", "1", "F01>");
  EXPECT_EQ(payroll::GzCalcRow(tables, "考勤管理", ""), TGzCalcOutcome::ConditionError);
  ASSERT_EQ(dialogs.Boxes.size(), 2u);
  EXPECT_EQ(dialogs.Boxes[1].Text, "条件公式有错！条件:1000>");
}

TEST_F(GzCalcRowTest, CalcLogGetsOneLinePerRunFormulaRow) {
  Add(1, "考勤管理", "F03", "F01+F02", " ", "实发工资");
  Add(2, "考勤管理", "F04", "1", "F01>0", "一二三四五六七八九十一");
  Add(3, "工资修改", "F05", "1", " ");
  const std::string path = std::string(db.Folder()) + "calc.log";
  Run("考勤管理", path);
  Run("考勤管理", path);
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  const std::string a = "考勤管理: 实发工资" + std::string(12, ' ') + "公式:F01+F02\r\n";
  const std::string b = "考勤管理: 一二三四五六七八九十一公式:1    [条件:F01>0]\r\n";
  EXPECT_EQ(s.str(), a + b + a + b);
}

TEST_F(GzCalcRowTest, AFailedWriteBackRollsBackAndNamesTheEmployee) {
  Add(1, "考勤管理", "F03", "F01+F02", " ");
  // A second connection (another operator) holds the employee's record.
  TUdbDataBase other;
  other.SetDirectory(db.Folder());
  other.SetDataBaseName("GZ.udb");
  other.SetMasterKey("marblequay");
  other.SetConnected(true);
  TUdbTable held;
  held.SetDataBase(&other);
  held.SetTableName("gzk");
  held.Open();
  held.First();
  held.Edit();
  db.DataBase().SetLockRetryMaximum(1);
  db.DataBase().SetLockRetryInterval(1);

  try {
    payroll::GzCalcRow(tables, "考勤管理", "");
    FAIL() << "no error";
  } catch (const EGzCalcWriteError& e) {
    EXPECT_NE(std::string(e.what()).find("职工 01010001 的计算结果未能保存"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(db.DataBase().InTransaction());
  EXPECT_NE(gzk->State(), dsEdit);
  held.Cancel();
  gzk->Refresh();
  EXPECT_DOUBLE_EQ(F("F03"), 0);
  // Once the record is free the calculation goes through.
  Run("考勤管理");
  EXPECT_DOUBLE_EQ(F("F03"), 1250.5);
  held.Close();
}

}  // namespace
