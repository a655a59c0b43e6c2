// The maintenance checks over a test database: departments and categories
// in use cannot be deleted, the last operator can (with the warning), and
// the password change refuses a wrong old password or a mismatch.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbTable.h"
#include "app/GzSettings.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/Maintenance.h"
#include "app/PayrollProgram.h"
#include "app/StartupForms.h"
#include "platform/core/Files.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "platform/data/Fields.h"
#include "platform/ui/Dialogs.h"

using namespace payroll;

namespace {

class MaintenanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    gzk = db.OpenTable("gzk", "TblGzkIndex1");
  }
  TTestPayrollDb db;
  TFakeDialogService dialogs;
  TUdbTable* gzk = nullptr;
};

TEST_F(MaintenanceTest, ADepartmentWithEmployeesStaysAnEmptyOneGoes) {
  TUdbTable* bm = db.OpenTable("bm", "TblBmIndex1");
  ASSERT_TRUE(bm->Locate("BMBH", "0101", {}));
  EXPECT_FALSE(DeleteDepartment(gzk, bm));
  EXPECT_EQ(dialogs.Boxes.back().Text, kDeptHasEmployees);
  EXPECT_EQ(gzk->RecordCount(), 2);  // the blocking employees in view
  bm->Append();
  bm->FieldByName("BMBH")->SetAsString("0102");
  bm->Post();
  ASSERT_TRUE(bm->Locate("BMBH", "0102", {}));
  dialogs.Answers = {IDNO};
  EXPECT_FALSE(DeleteDepartment(gzk, bm));
  EXPECT_EQ(dialogs.Boxes.back().Text, kAskDeleteDept);
  dialogs.Answers = {IDYES};
  EXPECT_TRUE(DeleteDepartment(gzk, bm));
  EXPECT_FALSE(bm->Locate("BMBH", "0102", {}));
}

TEST_F(MaintenanceTest, ACategoryInUseCannotBeDeleted) {
  TUdbTable* zgqk = db.OpenTable("zgqk", "");
  ASSERT_TRUE(zgqk->Locate("Zgqk", "退休", {}));
  EXPECT_FALSE(DeleteCategory(gzk, zgqk));
  EXPECT_EQ(dialogs.Boxes.back().Text, kCategoryInUse);
  ASSERT_TRUE(zgqk->Locate("Zgqk", "临时工", {}));
  dialogs.Answers = {IDYES};
  EXPECT_TRUE(DeleteCategory(gzk, zgqk));
  EXPECT_EQ(zgqk->RecordCount(), 2);
}

TEST_F(MaintenanceTest, DeletingTheLastOperatorWarnsThatNobodyCanLogIn) {
  TUdbTable* users = db.OpenTable("Userid", "");
  dialogs.Answers = {IDYES};
  EXPECT_TRUE(DeleteUser(users));
  EXPECT_EQ(dialogs.Boxes.back().Text, kAskDeleteUser);
  dialogs.Answers = {IDYES, IDOK};
  EXPECT_TRUE(DeleteUser(users));
  EXPECT_EQ(dialogs.Boxes.back().Text, kNoUsersLeft);
  EXPECT_TRUE(users->IsEmpty());
}

TEST_F(MaintenanceTest, PasswordChangeRefusesWrongOldAndMismatchAndWritesTheNewOne) {
  TUdbTable* users = db.OpenTable("Userid", "");
  AnsiString login = "abc";
  EXPECT_EQ(ChangePassword(users, "张会计", login, "ABC", "n1", "n1"), TPasswordOutcome::WrongOld);
  EXPECT_EQ(dialogs.Boxes.back().Text, kWrongOldPassword);
  EXPECT_EQ(ChangePassword(users, "张会计", login, "abc", "n1", "n2"), TPasswordOutcome::Mismatch);
  EXPECT_EQ(dialogs.Boxes.back().Text, kPasswordMismatch);
  ASSERT_TRUE(users->Locate("UserDm", "ADX", {}));
  EXPECT_EQ(users->FieldByName("UserPass")->AsString(), "abc");
  EXPECT_EQ(login, "abc");
  EXPECT_EQ(ChangePassword(users, "张会计", login, "abc", "n1", "n1"), TPasswordOutcome::Changed);
  EXPECT_EQ(dialogs.Boxes.back().Text, kPasswordChanged);
  EXPECT_EQ(login, "n1");
  ASSERT_TRUE(users->Locate("UserDm", "ADX", {}));
  EXPECT_EQ(users->FieldByName("UserPass")->AsString(), "n1");
  ASSERT_TRUE(users->Locate("UserDm", "admin", {}));
  EXPECT_EQ(users->FieldByName("UserPass")->AsString(), "Secret");
}

}  // namespace

namespace {

TEST(AboutBox, ShowsTheVersionAndTheOrganisation) {
  EnsureUiApp();
  TForm about(nullptr);
  auto* version = new TLabel(&about);
  version->SetName("LblVersion");
  version->SetParent(&about);
  auto* name = new TLabel(&about);
  name->SetName("LblDwMc");
  name->SetParent(&about);
  const AnsiString saved = DwMc;
  DwMc = "测试单位";
  InstallAboutBox(&about);
  InstallAboutBox(&about);  // once only
  ASSERT_TRUE(about.OnActivate);
  about.OnActivate(&about);
  EXPECT_EQ(version->Caption(), kAboutVersion);
  EXPECT_EQ(name->Caption(), "测试单位");
  EXPECT_NE(dynamic_cast<TButton*>(about.FindComponent("Button1")), nullptr);
  DwMc = saved;
}

}  // namespace

namespace {

TEST(PasswordPage, TheButtonChangesTheLoggedInOperatorsPassword) {
  EnsureUiApp();
  TTestPayrollDb db;
  TFakeDialogService dialogs;
  const AnsiString oldDir = GetCurrentDir();
  SetCurrentDir(db.Folder());
  CreatePayrollForms();
  ASSERT_NE(frmMain, nullptr);
  ASSERT_NE(frmMain->BitBtn1, nullptr);
  FrmLogin->LoginUserName = "张会计";
  FrmLogin->LoginUserPass = "abc";
  frmMain->EditOldPwd->SetText("abc");
  frmMain->EditNewPwd->SetText("x1");
  frmMain->EditNowPwd->SetText("x2");
  frmMain->BitBtn1->Click();
  EXPECT_EQ(dialogs.Boxes.back().Text, kPasswordMismatch);
  EXPECT_EQ(frmMain->EditOldPwd->Text(), "abc");
  frmMain->EditNowPwd->SetText("x1");
  frmMain->BitBtn1->Click();
  EXPECT_EQ(dialogs.Boxes.back().Text, kPasswordChanged);
  EXPECT_EQ(FrmLogin->LoginUserPass, "x1");
  EXPECT_EQ(frmMain->EditOldPwd->Text(), "");
  TUdbTable* users = FrmData->TblUser;
  if (!users->Active()) users->Open();
  ASSERT_TRUE(users->Locate("UserDm", "ADX", {}));
  EXPECT_EQ(users->FieldByName("UserPass")->AsString(), "x1");
  FreeStartupForms();
  SetCurrentDir(oldDir);
}

}  // namespace
