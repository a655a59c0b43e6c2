// The demo data folder: built through the engine from its description,
// it holds every payroll table and index, and its formulas and conditions
// are ones the evaluators accept.  A malformed description is refused with
// its line.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "AppTestSupport.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/DemoData.h"
#include "report/ReportBand.h"
#include "report/ReportComponent.h"
#include "report/ReportPage.h"
#include "report/ReportViews.h"
#include "app/PayrollSchema.h"
#include "app/StrCon.h"
#include "platform/core/CodePage.h"
#include "platform/core/Files.h"
#include "platform/core/IniFiles.h"
#include "platform/core/TempFiles.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"
#include "sql/UdbQuery.h"

namespace {

struct TFolder {
  AnsiString path;
  TFolder() {
    std::string pattern = std::string(TempFolder()) + "payroll-demo-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path = AnsiString(pattern) + "/";
  }
  ~TFolder() {
    std::error_code ec;
    std::filesystem::remove_all(std::string(path), ec);
  }
};

class DemoFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    payroll::BuildPayrollFolder(DemoDataText("payroll.txt"), DemoDataText("gz.ini"), folder.path);
    db.SetDirectory(folder.path);
    db.SetDataBaseName("GZ.udb");
    db.SetMasterKey(payroll::kMasterKey);
    db.SetConnected(true);
  }
  std::unique_ptr<TUdbTable> Open(const char* name, const char* index = "") {
    auto t = std::make_unique<TUdbTable>();
    t->SetDataBase(&db);
    t->SetTableName(name);
    if (*index) t->SetIndexName(index);
    t->Open();
    return t;
  }
  TFolder folder;
  TUdbDataBase db;
};

TEST_F(DemoFolder, HoldsABonusTemplateTheReportEngineLoads) {
  TrbReport report(nullptr);
  ASSERT_TRUE(report.LoadFromFile(AnsiString(folder.path) + "/jjff.rbf"));
  ASSERT_EQ(report.Pages().Count(), 1);
  AnsiString texts;
  bool dataBand = false;
  for (const auto& o : report.Pages().Pages(0)->Objects) {
    for (int k = 0; k < o->Memo.Count(); ++k) texts += o->Memo[k] + "\n";
    if (auto* band = dynamic_cast<TrbBandView*>(o.get())) dataBand |= band->DataSource() == "rbDBDataSet";
  }
  EXPECT_TRUE(dataBand);
  for (const char* variable : {"[DWMC]", "[BMMC]", "[ZBR]"}) EXPECT_NE(texts.find(variable), std::string::npos) << variable;
}

// The default output folders of the card files and the worksheets: the
// commands do not create them, so without them nothing could be written.
TEST_F(DemoFolder, KeepsNamesPayAndPasswordsOutOfSightAndTheFilesToOwnerAndGroup) {
  for (const AnsiString& name : payroll::PayrollTableNames()) EXPECT_EQ(Open(name.c_str())->EncryptionLevel(), encStrong) << name;
  std::ifstream in(MapPath(folder.path + "GZ.udb"), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  const std::string file = bytes.str();
  ASSERT_GT(file.size(), 4096u);
  // Texts of the description (code page 936) that a file viewer would show.
  for (const char* text : {"系统管理员", "王会计", "kj01", "张伟", "王芳", "6222020010000037", "Velmor示范公司",
                           "加班天数*基本工资", "F05*F01/21.75", "职工工资单"})
    EXPECT_EQ(file.find(text), std::string::npos) << AnsiToUtf8(text);
  // The database and, while connected, its lock file.
  for (const char* name : {"GZ.udb", "GZ.lck"}) {
    struct stat st {};
    ASSERT_EQ(::stat(MapPath(folder.path + name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_mode & 0777, 0660u) << name;
  }
}

TEST_F(DemoFolder, HoldsTheOutputFolders) {
  for (const char* sub : {"dept", "backxls", "BackDB"}) EXPECT_TRUE(DirectoryExists(folder.path + sub)) << sub;
}

TEST_F(DemoFolder, HoldsEveryTableWithItsFieldsAndIndexes) {
  for (const AnsiString& name : payroll::PayrollTableNames()) EXPECT_NO_THROW(Open(name.c_str())) << name;
  auto gzk = Open("gzk", "TblGzkIndex1");
  auto bm = Open("bm", "byxh");
  for (int n = 1; n <= 99; ++n) {
    EXPECT_NE(gzk->FindField(payroll::PayFieldCode(n)), nullptr);
    EXPECT_NE(bm->FindField(payroll::PayFieldCode(n)), nullptr);
  }
  EXPECT_NO_THROW(Open("JsGsk", "GI"));
  EXPECT_NO_THROW(Open("JsGsk", "byid"));
  EXPECT_NO_THROW(Open("RptStru", "RptNo"));
  EXPECT_NO_THROW(Open("zgqk", "TblZgqKIndex1"));
  EXPECT_NO_THROW(Open("bm", "TblBmIndex1"));
  EXPECT_GT(gzk->RecordCount(), 10);
  EXPECT_EQ(Open("Userid")->FieldByName("UserDm")->AsString(), "ADMIN");
  EXPECT_FALSE(Open("regdw")->FieldByName("DwName")->AsString().empty());
  EXPECT_GT(Open("rptPaper")->RecordCount(), 0);
}

TEST_F(DemoFolder, EmployeesBelongToDepartmentsAndCategories) {
  auto gzk = Open("gzk");
  auto bm = Open("bm", "TblBmIndex1");
  auto zgqk = Open("zgqk");
  for (gzk->First(); !gzk->Eof(); gzk->Next()) {
    const AnsiString code = gzk->FieldByName("ZGBH")->AsString();
    EXPECT_EQ(code.size(), 11u) << code;
    // The code begins with its department's code (2, 4, 6 or 8 characters).
    bool inDepartment = false;
    for (size_t len = 2; len <= 8; len += 2)
      inDepartment |= bm->Locate("BMBH", code.substr(0, len), TLocateOptions());
    EXPECT_TRUE(inDepartment) << code;
    EXPECT_TRUE(zgqk->Locate("Zgqk", gzk->FieldByName("ZGQK")->AsString(), TLocateOptions())) << code;
  }
}

// The statements the application runs through its query component, over
// the demo database.
TEST_F(DemoFolder, TheApplicationsSqlRunsOverTheDemoDatabase) {
  TUdbQuery q;
  q.SetDataBase(&db);
  q.SQL()->Clear();
  q.SQL()->Add("select zgbh as 职工编号, xm as 姓名,ylbxh as 养老保险号,gzzh as 工资帐号 ");
  q.SQL()->Add("from gzk where zgbh like '01%' order by 职工编号");
  q.Open();
  ASSERT_GT(q.RecordCount(), 0);
  EXPECT_EQ(q.Fields()->Fields(0)->FieldName(), "职工编号");
  EXPECT_EQ(q.FieldByName("职工编号")->AsString().substr(0, 2), "01");
  const int employees = Open("gzk")->RecordCount();

  q.Close();
  q.SQL()->SetText("update gzk set prix=" + AnsiString("125.5"));
  q.ExecSQL();
  EXPECT_EQ(q.RowsAffected(), employees);
  q.SQL()->SetText("select sum(prix) from gzk ");
  q.Open();
  EXPECT_DOUBLE_EQ(q.Fields()->Fields(0)->AsFloat(), 125.5 * employees);
  q.Close();

  auto gzk = Open("gzk");
  const AnsiString pension = gzk->FieldByName("YLBXH")->AsString();
  gzk->Close();
  q.SQL()->SetText("select * from gzk where YlBxh=" + QuotedStr(pension) + " or Gzzh=" +
                   QuotedStr("no'such"));
  q.Open();
  EXPECT_GE(q.RecordCount(), 1);
  q.Close();

  q.SQL()->SetText("update gzk set prix=abc");
  EXPECT_THROW(q.ExecSQL(), Exception);
  q.SQL()->SetText("select sum(prix) from gzk ");
  q.Open();
  EXPECT_DOUBLE_EQ(q.Fields()->Fields(0)->AsFloat(), 125.5 * employees);  // nothing changed
}

TEST_F(DemoFolder, EveryFunctionHasFormulasTheEvaluatorsAccept) {
  auto js = Open("JsGsk", "GI");
  std::set<AnsiString> functions;
  for (js->First(); !js->Eof(); js->Next()) {
    functions.insert(js->FieldByName("GNNAME")->AsString());
    // The calculation replaces every code by the row's number; 1.5 stands
    // in for each here.
    AnsiString formula = js->FieldByName("GSSTR")->AsString();
    AnsiString cond = js->FieldByName("TJSTR")->AsString();
    for (int n = 99; n >= 1; --n) {
      AnsiString r;
      StrCon->ReplaceText(payroll::PayFieldCode(n), "1.5", r, formula);
      formula = r;
      StrCon->ReplaceText(payroll::PayFieldCode(n), "1.5", r, cond);
      cond = r;
    }
    double v = 0;
    bool err = true;
    StrCon->EvaluateFormula(formula, nullptr, v, err);
    EXPECT_FALSE(err) << formula;
    const AnsiString trimmed = cond.Trim();
    if (!trimmed.empty() && trimmed.Pos("zgqk") == 0) {
      bool b = false;
      err = true;
      StrCon->EvaluateCondition(trimmed, nullptr, b, err);
      EXPECT_FALSE(err) << cond;
    }
  }
  for (const char* f : {"考勤管理", "工资修改", "岗位绩效", "初始化", "年度初始化"})
    EXPECT_TRUE(functions.count(f)) << f;
}

TEST_F(DemoFolder, SettingsDescribeThePayFieldsAndThreePages) {
  TIniFile ini(folder.path + "gz.ini");
  EXPECT_EQ(ini.ReadString("Fld_字段描述", "01", ""), "01,基本工资");
  for (const char* page : {"考勤管理", "工资修改", "岗位绩效"})
    EXPECT_NE(ini.ReadString(AnsiString("Scr_") + page, "01", "ERROR"), "ERROR") << page;
  EXPECT_NE(ReadWholeFile(folder.path + "gz.ini").find("\r\n"), std::string::npos);
}

TEST(DemoData, AMalformedDescriptionNamesItsLine) {
  TFolder folder;
  const struct {
    const char* text;
    const char* line;
  } cases[] = {
      {"[nosuch]\n", "line 1"},
      {"[gzk]\nZGBH|NOFIELD\n", "line 2"},
      {"[gzk]\nZGBH|XM\n01|a|b\n", "line 3"},
      {"ZGBH\n", "line 1"},
      {"# c\n[gzk\n", "line 2"},
  };
  for (const auto& c : cases) {
    try {
      payroll::BuildPayrollFolder(c.text, "", folder.path);
      ADD_FAILURE() << c.text;
    } catch (const EDemoDataError& e) {
      EXPECT_NE(std::string(e.Message()).find(c.line), std::string::npos) << e.Message();
    }
  }
}

// In code page 936 the second byte of 瑋 is the bar's: the description is
// split into values before it is converted.
TEST(DemoData, ABarByteInsideACharacterSeparatesNothing) {
  TFolder folder;
  payroll::BuildPayrollFolder(AnsiToUtf8("[gzk]\nZGBH|XM|ZGQK\n01010001|王瑋|在职\n"), "", folder.path);
  TUdbDataBase db;
  db.SetDirectory(folder.path);
  db.SetDataBaseName("GZ.udb");
  db.SetMasterKey(payroll::kMasterKey);
  db.SetConnected(true);
  TUdbTable gzk;
  gzk.SetDataBase(&db);
  gzk.SetTableName("gzk");
  gzk.Open();
  ASSERT_EQ(gzk.RecordCount(), 1);
  EXPECT_EQ(gzk.FieldByName("XM")->AsString(), "王瑋");
  EXPECT_EQ(gzk.FieldByName("ZGQK")->AsString(), "在职");
}

}  // namespace
