// The users, departments and categories dialogs over the program started
// on a test database: each button through the dialog, the menu commands
// that make, show and free them, the common title panel of every dialog
// on the base form, and the about box's web-page label.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "GraphicsTestSupport.h"
#include "UiTestSupport.h"
#include "Udb/UdbTable.h"
#include "app/Backup.h"
#include "app/GzCalcCommands.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/Maintenance.h"
#include "app/MaintenanceDialogs.h"
#include "app/PayrollProgram.h"
#include "app/RptPaper.h"
#include "app/StartupForms.h"
#include "decor/XPStyler.h"
#include "grid/DBGridEx.h"
#include "grid/GridDataLinkEx.h"
#include "platform/core/Files.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/UrlOpener.h"

using namespace payroll;

namespace {

class MaintenanceDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    oldDir_ = GetCurrentDir();
    SetCurrentDir(db.Folder());
    CreatePayrollForms();
    ASSERT_NE(frmMain, nullptr);
    ASSERT_NE(FrmData, nullptr);
  }
  void TearDown() override {
    FreeStartupForms();
    SetCurrentDir(oldDir_);
  }
  static std::vector<AnsiString> TreeTexts() {
    std::vector<AnsiString> texts;
    TTreeNodes* nodes = frmMain->TreeViewBm->Items();
    for (int i = 0; i < nodes->Count(); ++i) texts.push_back(nodes->Item(i)->Text());
    return texts;
  }
  static bool Contains(const std::vector<AnsiString>& list, const AnsiString& s) {
    return std::find(list.begin(), list.end(), s) != list.end();
  }
  TTestPayrollDb db;
  TFakeDialogService dialogs;

 private:
  AnsiString oldDir_;
};

TEST_F(MaintenanceDialogsTest, ANewOperatorHasAnEmptyPasswordAndLogsInWithIt) {
  TFrmYHWH dialog(nullptr);
  ASSERT_EQ(dialog.DBGrid3->DataSource(), FrmData->DsUser);
  TUdbTable* users = FrmData->TblUser;
  dialog.SpeedButton5->Click();
  ASSERT_EQ(users->State(), dsInsert);
  users->FieldByName("UserDm")->SetAsString("NEW");
  users->FieldByName("UserName")->SetAsString("新会计");
  users->Post();
  ASSERT_TRUE(users->Locate("UserDm", "NEW", {}));
  EXPECT_EQ(users->FieldByName("UserPass")->AsString(), "");

  FrmLogin->EditUserDm->SetText("NEW");
  FrmLogin->EditUserPass->SetText("x");
  FrmLogin->BitBtnLoginClick(nullptr);
  EXPECT_EQ(LoginResult, "ERROR");
  EXPECT_EQ(dialogs.Boxes.back().Text, kWrongPassword);
  FrmLogin->EditUserPass->SetText("");
  FrmLogin->BitBtnLoginClick(nullptr);
  EXPECT_EQ(LoginResult, "OK");
  EXPECT_EQ(FrmLogin->LoginUserName, "新会计");
}

TEST_F(MaintenanceDialogsTest, DeletingOperatorsAsksAndWarnsAfterTheLast) {
  TFrmYHWH dialog(nullptr);
  TUdbTable* users = FrmData->TblUser;
  ASSERT_EQ(users->RecordCount(), 2);
  dialogs.Answers = {IDNO};
  dialog.SpeedButton6->Click();
  EXPECT_EQ(dialogs.Boxes.back().Text, kAskDeleteUser);
  EXPECT_EQ(users->RecordCount(), 2);

  dialogs.Answers = {IDYES};
  dialog.SpeedButton6->Click();
  EXPECT_EQ(users->RecordCount(), 1);
  EXPECT_EQ(dialogs.Boxes.back().Text, kAskDeleteUser);  // no warning yet

  dialogs.Answers = {IDYES, IDOK};
  dialog.SpeedButton6->Click();
  EXPECT_TRUE(users->IsEmpty());
  EXPECT_EQ(dialogs.Boxes.back().Text, kNoUsersLeft);
  EXPECT_EQ(dialogs.Boxes.back().Icon, diWarning);

  // Nothing left to delete: no question, no error.
  const size_t asked = dialogs.Boxes.size();
  dialog.SpeedButton6->Click();
  EXPECT_EQ(dialogs.Boxes.size(), asked);
}

TEST_F(MaintenanceDialogsTest, ADepartmentWithEmployeesIsRefusedAnAddedEmptyOneIsDeleted) {
  TFrmBMWH dialog(nullptr);
  ASSERT_EQ(dialog.DBGridEx1->DataSource(), FrmData->DsBm);
  TUdbTable* bm = FrmData->TblBm;
  ASSERT_TRUE(bm->Locate("bmbh", "0101", {}));
  dialog.SptBtnBmWhDel->Click();
  EXPECT_EQ(dialogs.Boxes.back().Text, kDeptHasEmployees);
  EXPECT_TRUE(bm->Locate("bmbh", "0101", {}));

  dialog.SptBtnBmWhApp->Click();
  ASSERT_EQ(bm->State(), dsInsert);
  EXPECT_FALSE(dialog.SptBtnBmWhApp->Enabled());
  EXPECT_FALSE(dialog.SptBtnBmWhDel->Enabled());
  EXPECT_TRUE(dialog.SptBtnBmWhSave->Enabled());
  bm->FieldByName("bmbh")->SetAsString("0102");
  bm->FieldByName("bmmc")->SetAsString("审计科");
  dialog.SptBtnBmWhSave->Click();
  EXPECT_EQ(bm->State(), dsBrowse);
  EXPECT_TRUE(dialog.SptBtnBmWhApp->Enabled());
  EXPECT_TRUE(dialog.SptBtnBmWhDel->Enabled());
  EXPECT_FALSE(dialog.SptBtnBmWhSave->Enabled());
  EXPECT_TRUE(Contains(TreeTexts(), "审计科(0)"));
  ASSERT_TRUE(bm->Locate("bmbh", "0102", {}));
  EXPECT_EQ(bm->FieldByName("rs")->AsInteger(), 0);
  EXPECT_EQ(bm->FieldByName("xh")->AsInteger(), 0);

  dialogs.Answers = {IDYES};
  dialog.SptBtnBmWhDel->Click();
  EXPECT_EQ(dialogs.Boxes.back().Text, kAskDeleteDept);
  EXPECT_FALSE(bm->Locate("bmbh", "0102", {}));
}

TEST_F(MaintenanceDialogsTest, ClosingTheDepartmentsDialogRebuildsTheTreeAndTheTransferTargets) {
  ASSERT_NE(frmMain->CmbBoxNbDdMbBm, nullptr);
  EXPECT_EQ(frmMain->CmbBoxNbDdMbBm->Items()->IndexOf("审计科"), -1);
  {
    TFrmBMWH dialog(nullptr);
    dialog.SptBtnBmWhApp->Click();
    TUdbTable* bm = FrmData->TblBm;
    bm->FieldByName("bmbh")->SetAsString("0102");
    bm->FieldByName("bmmc")->SetAsString("审计科");
    dialog.Close();  // the pending row is saved by the closing
    EXPECT_EQ(bm->State(), dsBrowse);
  }
  EXPECT_TRUE(Contains(TreeTexts(), "审计科(0)"));
  // One entry per leaf not ending in "99": the list was cleared first.
  TStrings* targets = frmMain->CmbBoxNbDdMbBm->Items();
  ASSERT_EQ(targets->Count(), 2);
  EXPECT_EQ(targets->Strings(0), "财务科");
  EXPECT_EQ(targets->Strings(1), "审计科");
}

TEST_F(MaintenanceDialogsTest, ACategoryInUseIsRefusedAnUnusedOneIsDeleted) {
  TFrmZGQKWH dialog(nullptr);
  ASSERT_EQ(dialog.DBGrid2->DataSource(), FrmData->DsZgqK);
  TUdbTable* zgqk = FrmData->TblZgqK;
  ASSERT_TRUE(zgqk->Locate("Zgqk", "退休", {}));
  dialog.SpeedButton4->Click();
  EXPECT_EQ(dialogs.Boxes.back().Text, kCategoryInUse);
  EXPECT_TRUE(zgqk->Locate("Zgqk", "退休", {}));

  ASSERT_TRUE(zgqk->Locate("Zgqk", "临时工", {}));
  dialogs.Answers = {IDYES};
  dialog.SpeedButton4->Click();
  EXPECT_EQ(dialogs.Boxes.back().Text, kAskDeleteCategory);
  EXPECT_FALSE(zgqk->Locate("Zgqk", "临时工", {}));

  dialog.SpeedButton3->Click();
  EXPECT_EQ(zgqk->State(), dsInsert);
  zgqk->Cancel();
}

// A row typed into the grid after "增 加" and left unposted when the
// dialog closes is stored, and the dialog opened again lists every row.
TEST_F(MaintenanceDialogsTest, ARowTypedAfterAddIsKeptWhenTheDialogCloses) {
  const struct {
    const char* item;
    TUdbTable* table;
    const char* field;
    const char* value;
  } cases[] = {{"N28", FrmData->TblUser, "UserDm", "KJ02"}, {"N30", FrmData->TblZgqK, "Zgqk", "返聘"}};
  for (const auto& c : cases) {
    auto* item = dynamic_cast<TMenuItem*>(frmMain->FindComponent(c.item));
    ASSERT_NE(item, nullptr) << c.item;
    const int before = c.table->RecordCount();
    const auto modal = [] {
      for (int i = 0; i < Screen->FormCount(); ++i)
        if (auto* d = dynamic_cast<TFrmPopWin*>(Screen->Forms(i)); d && d->IsModal()) return d;
      return static_cast<TFrmPopWin*>(nullptr);
    };
    QTimer::singleShot(0, qApp, [&] {
      TFrmPopWin* d = modal();
      ASSERT_NE(d, nullptr);
      auto* add = dynamic_cast<TSpeedButton*>(d->FindComponent(c.table == FrmData->TblUser ? "SpeedButton5" : "SpeedButton3"));
      ASSERT_NE(add, nullptr);
      add->Click();
      c.table->FieldByName(c.field)->SetAsString(c.value);
      d->Close();
    });
    item->Click();
    EXPECT_EQ(c.table->State(), dsBrowse) << c.item;
    c.table->Close();
    c.table->Open();
    EXPECT_EQ(c.table->RecordCount(), before + 1) << c.item;
    EXPECT_TRUE(c.table->Locate(c.field, c.value, {})) << c.item;

    int rows = -1;
    QTimer::singleShot(0, qApp, [&] {
      TFrmPopWin* d = modal();
      ASSERT_NE(d, nullptr);
      auto* grid = dynamic_cast<TDBGrid*>(d->FindComponent(c.table == FrmData->TblUser ? "DBGrid3" : "DBGrid2"));
      if (auto* table = grid ? qobject_cast<QTableWidget*>(grid->Surface()) : nullptr) rows = table->rowCount();
      d->Close();
    });
    item->Click();
    EXPECT_EQ(rows, before + 1) << c.item;
  }
}

// The menu items make the dialog, show it modally and free it.
TEST_F(MaintenanceDialogsTest, TheMenuCommandsShowAndFreeTheirDialogs) {
  const struct {
    const char* item;
    const char* title;
  } cases[] = {{"N28", "用户维护"}, {"N30", "职工情况维护"}, {"N31", "部门维护"},
               {"N34", "数据备份与恢复"}, {"N21", "奖金初始化"}};
  for (const auto& c : cases) {
    auto* item = dynamic_cast<TMenuItem*>(frmMain->FindComponent(c.item));
    ASSERT_NE(item, nullptr) << c.item;
    const int forms = Screen->FormCount();
    AnsiString shown;
    QTimer::singleShot(0, qApp, [&] {
      for (int i = 0; i < Screen->FormCount(); ++i)
        if (auto* d = dynamic_cast<TFrmPopWin*>(Screen->Forms(i)); d && d->IsModal()) {
          shown = d->Label1->Caption();
          d->Close();
        }
    });
    item->Click();
    EXPECT_EQ(shown, c.title) << c.item;
    EXPECT_EQ(Screen->FormCount(), forms) << c.item;
  }
}

TEST_F(MaintenanceDialogsTest, TheAboutBoxOpensTheMakersWebPage) {
  std::vector<AnsiString> opened;
  TUrlOpener previous = SetUrlOpener([&](const AnsiString& url) {
    opened.push_back(url);
    return true;
  });
  InstallAboutBox(FrmAbout);
  auto* web = dynamic_cast<TLabel*>(FrmAbout->FindComponent("Label3"));
  ASSERT_NE(web, nullptr);
  web->Click();
  SetUrlOpener(std::move(previous));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], kMakerWebPage);
  FrmAbout->Show();
  FrmAbout->OnActivate(FrmAbout);
  Application->ProcessMessages();
  SaveShot(FrmAbout->Surface()->grab().toImage(), "dialog-about");
  FrmAbout->Hide();
}

// Every dialog on the base form: its size and position, the white title
// panel with the stretched banner and the centred title, the painter, and
// all its controls inside the client area.  Screenshots go to
// PAYROLL_SHOT_DIR.
TEST_F(MaintenanceDialogsTest, EveryDialogHasTheTitlePanelAndFitsItsControls) {
  InstallBackupButtons(FrmBackData);
  InstallPaperDialog(frmRptPaper, FrmData->UdbDataBase1);
  TFrmYHWH users(nullptr);
  TFrmBMWH departments(nullptr);
  TFrmZGQKWH categories(nullptr);
  TfrmJJCsh bonus(nullptr);
  const struct {
    TFrmPopWin* form;
    const char* title;
    const char* shot;
  } cases[] = {{&users, "用户维护", "dialog-users"},
               {&departments, "部门维护", "dialog-departments"},
               {&categories, "职工情况维护", "dialog-categories"},
               {FrmBackData, "数据备份与恢复", "dialog-backup"},
               {frmRptPaper, "报表页面设置", "dialog-paper"},
               {&bonus, "奖金初始化", "dialog-bonus"}};
  for (const auto& c : cases) {
    TFrmPopWin* f = c.form;
    SCOPED_TRACE(c.shot);
    EXPECT_EQ(f->Width(), 499);
    EXPECT_EQ(f->Height(), 354);
    EXPECT_EQ(f->Position(), poScreenCenter);
    ASSERT_NE(f->Panel1, nullptr);
    EXPECT_EQ(f->Panel1->Align(), alTop);
    EXPECT_EQ(f->Panel1->Height(), 50);
    EXPECT_EQ(f->Panel1->Width(), f->ClientWidth());
    EXPECT_EQ(f->Panel1->Color(), clWhite);
    EXPECT_TRUE(f->Image1->Stretch());
    EXPECT_NE(f->Image1->Picture()->Graphic(), nullptr);
    EXPECT_EQ(f->Label1->Caption(), c.title);
    EXPECT_EQ(f->Label1->Alignment(), taCenter);
    EXPECT_TRUE(f->XPStyler1->Active());
    for (int i = 0; i < f->ControlCount(); ++i) {
      TControl* control = f->Controls(i);
      EXPECT_GE(control->Top(), 0) << control->Name();
      EXPECT_LE(control->Left() + control->Width(), f->ClientWidth()) << control->Name();
      EXPECT_LE(control->Top() + control->Height(), f->ClientHeight()) << control->Name();
      if (control != f->Panel1) {
        EXPECT_GE(control->Top(), 50) << control->Name();
      }
    }
    f->Show();
    Application->ProcessMessages();
    if (f == &departments) {
      // Opened with bm stepped off its end by the tree's walk: each row once.
      EXPECT_EQ(departments.DBGridEx1->DataLink()->RecordCount(), FrmData->TblBm->RecordCount());
    }
    SaveShot(f->Surface()->grab().toImage(), c.shot);
    f->Hide();
  }
}

}  // namespace
