#include "AppTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "app/DemoData.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/PayrollProgram.h"
#include "app/StartupForms.h"
#include "platform/core/CodePage.h"
#include "platform/core/Files.h"
#include "platform/core/TempFiles.h"
#include "platform/ui/Menus.h"
#include "report/ReportViews.h"
#include "UiTestSupport.h"

namespace {

std::string FileText(const std::string& folder, const char* name) {
  std::ifstream in(folder + "/" + name, std::ios::binary);
  if (!in) throw std::runtime_error(std::string("missing test data ") + name);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

std::string TestDataText(const char* name) { return FileText(APP_TEST_DATA, name); }

std::string DemoDataText(const char* name) { return FileText(DEMO_DATA, name); }

AnsiString JoinedLines(const TrbView* v) {
  AnsiString text;
  for (int k = 0; k < v->Memo.Count(); ++k) {
    AnsiString line = v->Memo[k];
    line.erase(std::remove(line.begin(), line.end(), kParagraphEndMark), line.end());
    if (line.empty() && k == v->Memo.Count() - 1) continue;
    if (!text.empty()) text += "|";
    text += line;
  }
  return text;
}

TTestPayrollDb::TTestPayrollDb(const char* iniText) {
  std::string pattern = std::string(TempFolder()) + "payroll-app-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  folder_ = AnsiString(pattern) + "/";
  payroll::BuildPayrollFolder(TestDataText("payroll.txt"), iniText ? AnsiToUtf8(iniText) : TestDataText("gz.ini"), folder_);
  SetProgramFolderForTesting(folder_);
}

TTestPayrollDb::~TTestPayrollDb() {
  for (auto& t : tables_) t->Close();
  tables_.clear();
  if (db_) db_->SetConnected(false);
  db_.reset();
  SetProgramFolderForTesting("");
  std::error_code ec;
  std::filesystem::remove_all(std::string(folder_), ec);
}

TUdbDataBase& TTestPayrollDb::DataBase() {
  if (!db_) {
    db_ = std::make_unique<TUdbDataBase>();
    db_->SetDirectory(folder_);
    db_->SetDataBaseName(payroll::kDatabaseName);
    db_->SetMasterKey(payroll::kMasterKey);
    db_->SetConnected(true);
  }
  return *db_;
}

TUdbTable* TTestPayrollDb::OpenTable(const AnsiString& name, const AnsiString& indexName) {
  auto t = std::make_unique<TUdbTable>();
  t->SetDataBase(&DataBase());
  t->SetTableName(name);
  if (!indexName.empty()) t->SetIndexName(indexName);
  t->Open();
  tables_.push_back(std::move(t));
  return tables_.back().get();
}

void FreeStartupForms() {
  delete frmRptPaper; delete FrmAbout; delete FrmBackData; delete FrmZGQKWH;
  delete FrmXzZd; delete FrmZgXz; delete FrmZgPx; delete FrmLogin; delete frmMain;
  delete FrmData;
  FrmData = nullptr;
  frmRptPaper = nullptr; FrmAbout = nullptr; FrmBackData = nullptr; FrmZGQKWH = nullptr;
  FrmXzZd = nullptr; FrmZgXz = nullptr; FrmZgPx = nullptr; FrmLogin = nullptr;
}

void TMainFormTest::SetUp() {
  EnsureUiApp();
  db = std::make_unique<TTestPayrollDb>();
  oldDir = GetCurrentDir();
  SetCurrentDir(db->Folder());
  BeforeForms();
  payroll::CreatePayrollForms();
  ASSERT_NE(frmMain, nullptr);
}

void TMainFormTest::TearDown() {
  FreeStartupForms();
  SetCurrentDir(oldDir);
}

void TMainFormTest::Menu(const char* name) {
  auto* item = dynamic_cast<TMenuItem*>(frmMain->FindComponent(name));
  ASSERT_NE(item, nullptr) << name;
  ASSERT_TRUE(item->OnClick) << name;
  item->OnClick(item);
}
