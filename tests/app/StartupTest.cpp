// The program's start-up over a test folder: the forms in their order,
// the main window's duties, the login on first activation, the close
// question; and the ways the program ends (a missing gz.ini, cancelling
// the login, confirming the close), each in a child process because the
// application's termination is for good.
#include <gtest/gtest.h>

#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <memory>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/FrmSplash.h"
#include "app/GzSettings.h"
#include "app/PayrollProgram.h"
#include "app/StartupForms.h"
#include "decor/SbStatusBar.h"
#include "platform/core/Files.h"
#include "platform/core/TempFiles.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/VirtualKeys.h"

namespace {

// Runs the start-up in the test folder (also the current directory, where
// the page layouts are read).
class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EnsureUiApp();
    db = std::make_unique<TTestPayrollDb>();
    oldDir = GetCurrentDir();
    SetCurrentDir(db->Folder());
  }
  void TearDown() override {
    FreeStartupForms();
    LoginResult = "ERROR";
    SetCurrentDir(oldDir);
  }
  // Shows the main window; its first activation opens the login dialog,
  // in whose modal loop `inLogin` runs.
  void ShowMainAndLogin(const std::function<void()>& inLogin) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      ran = true;
      inLogin();
    });
    frmMain->Show();
    for (int i = 0; i < 10 && !ran; ++i) Pump();
    ASSERT_TRUE(ran) << "the login dialog did not open";
  }
  std::unique_ptr<TTestPayrollDb> db;
  AnsiString oldDir;
  TFakeDialogService dialogs;
};

void SaveShot(QWidget* w, const char* name) {
  const char* dir = std::getenv("PAYROLL_SHOT_DIR");
  w->grab().save(QString::fromLocal8Bit((std::string(dir ? dir : "/tmp") + "/" + name).c_str()));
}

TEST_F(Startup, CreatesTheFormsOpensTheDataAndLogsInOnFirstActivation) {
  payroll::CreatePayrollForms();
  ASSERT_FALSE(Application->Terminated());
  EXPECT_EQ(Application->Title(), "Velmor工资软件");
  EXPECT_EQ(Application->MainForm(), frmMain);
  for (TComponent* f : std::initializer_list<TComponent*>{FrmLogin, FrmZgPx, FrmZgXz, FrmXzZd, FrmZGQKWH,
                                                          FrmBackData, FrmAbout, frmRptPaper})
    EXPECT_NE(f, nullptr);
  EXPECT_EQ(frmMain->Caption(), "Velmor人力资源管理系统之__工资软件  V3.11.19");
  EXPECT_EQ(frmMain->LblTop->Caption(), "Velmor人力资源管理系统之__工资软件");
  ASSERT_NE(FrmData, nullptr);
  EXPECT_EQ(DwMc, "测试单位");
  EXPECT_EQ(frmMain->LblGzHzbBm->Caption(), "测试单位");
  EXPECT_TRUE(CalcLogOn);
  EXPECT_EQ(frmMain->CmBBoxJgZd->Items()->Count(), 3);
  EXPECT_EQ(frmMain->CmbBoxZGQK1->Items()->Count(), 3);
  EXPECT_EQ(frmMain->DbCmbBoxZgQk->Items()->Strings(2), "临时工");
  // The attendance page's layout: two edit boxes and a bevel.
  EXPECT_EQ(frmMain->PanelZgKq->ControlCount(), 5);
  EXPECT_EQ(frmMain->PanelGzXg->ControlCount(), 0);
  EXPECT_EQ(frmMain->FirstShow, "yes");

  int loginShows = 0;
  ShowMainAndLogin([&] {
    ++loginShows;
    ASSERT_TRUE(FrmLogin->Showing());
    EXPECT_TRUE(FrmLogin->IsModal());
    EXPECT_EQ(FrmLogin->Caption(), "系统登录");
    FrmLogin->EditUserDm->SetText("ADMIN");
    SaveShot(FrmLogin->Surface(), "payroll-login.png");
    FrmLogin->EditUserPass->SetText("Secret");
    FrmLogin->BitBtnLoginClick(FrmLogin->BitBtnLogin);
  });
  EXPECT_EQ(loginShows, 1);
  EXPECT_EQ(LoginResult, "OK");
  EXPECT_FALSE(FrmLogin->Showing());
  EXPECT_EQ(frmMain->FirstShow, "no");
  EXPECT_EQ(frmMain->sbStatusBar->Panels()->GetItem(2)->Text(), "测试单位");
  EXPECT_EQ(frmMain->sbStatusBar->Panels()->GetItem(3)->Text(), "操作员");
  EXPECT_EQ(frmMain->sbStatusBar->Panels()->GetItem(4)->Text(), "管理员");
  EXPECT_EQ(frmMain->Notebook1->ActivePage(), "tbsStrat");
  EXPECT_FALSE(frmMain->PanelBmXz->Visible());
  SaveShot(frmMain->Surface(), "payroll-main.png");
  // The attendance page with its generated boxes.
  frmMain->Notebook1->SetActivePage("TbsZgKq");
  Pump();
  SaveShot(frmMain->Surface(), "payroll-attendance.png");
  // Moving through gzk on that page gates its panel: a retired employee
  // (code "0199…", category 退休) gets a disabled panel, a working one an
  // enabled panel.
  ASSERT_TRUE(FrmData->TblGzk->Locate("ZGBH", "01990001", TLocateOptions()));
  Pump();
  EXPECT_FALSE(frmMain->PanelZgKq->Enabled());
  ASSERT_TRUE(FrmData->TblGzk->Locate("ZGBH", "01010001", TLocateOptions()));
  Pump();
  EXPECT_TRUE(frmMain->PanelZgKq->Enabled());

  // A later activation resets CalcMode and does not log in again.
  frmMain->CalcMode = 2;
  frmMain->FormActivate(frmMain);
  EXPECT_EQ(frmMain->CalcMode, 0);
  EXPECT_EQ(loginShows, 1);

  // Answering No keeps the program and its data.
  dialogs.Answers.push_back(IDNO);
  frmMain->Close();
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, "真的要退出本系统吗? ");
  EXPECT_FALSE(Application->Terminated());
  ASSERT_NE(FrmData, nullptr);
  EXPECT_TRUE(FrmData->TblGzk->Active());
}

TEST_F(Startup, MainWindowKeysMoveTheFocusAndGridColumns) {
  payroll::CreatePayrollForms();
  ShowMainAndLogin([] {
    FrmLogin->EditUserDm->SetText("ADMIN");
    FrmLogin->EditUserPass->SetText("Secret");
    FrmLogin->BitBtnLoginClick(nullptr);
  });
  ASSERT_EQ(LoginResult, "OK");
  // The screen decides: maximised up to 800 pixels across, else 796 x 578
  // with only the system menu.  Top 0 either way.
  if (Screen->Width() <= 800) {
    EXPECT_EQ(frmMain->WindowState(), wsMaximized);
  } else {
    EXPECT_EQ(frmMain->WindowState(), wsNormal);
    EXPECT_EQ(frmMain->Width(), 796);
    EXPECT_EQ(frmMain->Height(), 578);
    EXPECT_EQ(frmMain->BorderIcons(), TBorderIcons{biSystemMenu});
    EXPECT_EQ(frmMain->Top(), 0);
  }

  // Two edits and a grid of three columns on the start page.
  TPage* page = nullptr;
  for (int i = 0; i < frmMain->Notebook1->ControlCount(); ++i)
    if (auto* p = dynamic_cast<TPage*>(frmMain->Notebook1->Controls(i)); p && p->Caption() == "tbsStrat") page = p;
  ASSERT_NE(page, nullptr);
  auto* a = new TEdit(frmMain);
  a->SetParent(page);
  a->SetTabOrder(0);
  auto* b = new TEdit(frmMain);
  b->SetParent(page);
  b->SetTabOrder(1);
  auto* grid = new TDBGrid(frmMain);
  grid->SetParent(page);
  grid->SetTabOrder(2);
  for (const char* f : {"ZGBH", "XM", "F01"}) grid->Columns()->Add()->SetFieldName(f);
  grid->SetDataSource(FrmData->DsGzk);
  Pump();

  frmMain->SetActiveControl(a);
  std::uint16_t down = VK_DOWN;
  frmMain->FormKeyDown(frmMain, down, TShiftState());
  EXPECT_EQ(frmMain->ActiveControl(), b);
  std::uint16_t up = VK_UP;
  frmMain->FormKeyDown(frmMain, up, TShiftState());
  EXPECT_EQ(frmMain->ActiveControl(), a);
  char enter = '\r';
  frmMain->FormKeyPress(frmMain, enter);
  EXPECT_EQ(enter, 0);
  EXPECT_EQ(frmMain->ActiveControl(), b);

  // In a grid, Enter moves to the next column and wraps; it is not
  // swallowed, and the arrows are the grid's own.
  frmMain->SetActiveControl(grid);
  ASSERT_EQ(frmMain->ActiveControl(), grid);
  grid->SetSelectedIndex(1);
  enter = '\r';
  frmMain->FormKeyPress(frmMain, enter);
  EXPECT_EQ(enter, '\r');
  EXPECT_EQ(grid->SelectedIndex(), 2);
  frmMain->FormKeyPress(frmMain, enter);
  EXPECT_EQ(grid->SelectedIndex(), 0);
  down = VK_DOWN;
  frmMain->FormKeyDown(frmMain, down, TShiftState());
  EXPECT_EQ(frmMain->ActiveControl(), grid);
}

TEST_F(Startup, PageLayoutsComeFromTheCurrentDirectory) {
  // Started elsewhere, the pages stay empty while the field descriptions
  // still come from the program's folder.
  SetCurrentDir(TempFolder());
  payroll::CreatePayrollForms();
  ASSERT_FALSE(Application->Terminated());
  EXPECT_EQ(frmMain->PanelZgKq->ControlCount(), 0);
  EXPECT_EQ(FldDescs.size(), 9u);
  EXPECT_EQ(getFldNameByDesc("应发工资"), "F03");
}

TEST_F(Startup, MissingSettingsFileEndsTheProgramSilently) {
  DeleteFile(db->Folder() + "gz.ini");
  EXPECT_EXIT(
      {
        payroll::CreatePayrollForms();
        const bool ok = Application->Terminated() && FrmData == nullptr && FrmLogin == nullptr &&
                        dialogs.Boxes.empty() && !frmMain->Showing();
        std::_Exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Startup, AMissingDatabaseIsReportedAndEndsTheProgram) {
  // Where the class library would carry on with a main window whose data
  // module is missing (and fail at the login), the engine's error is shown
  // and the program ends.
  DeleteFile(db->Folder() + "GZ.udb");
  EXPECT_EXIT(
      {
        payroll::CreatePayrollForms();
        const bool ok = Application->Terminated() && FrmData == nullptr && frmMain == nullptr &&
                        dialogs.Boxes.size() == 1 && dialogs.Boxes[0].Text.Pos("GZ.udb") > 0;
        std::_Exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Startup, CancellingTheLoginEndsTheProgram) {
  EXPECT_EXIT(
      {
        payroll::CreatePayrollForms();
        ShowMainAndLogin([] { FrmLogin->BitBtnCancelClick(FrmLogin->BitBtnCancel); });
        std::_Exit(Application->Terminated() && LoginResult == "ERROR" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Startup, ClosingTheLoginWindowEndsTheProgram) {
  EXPECT_EXIT(
      {
        payroll::CreatePayrollForms();
        ShowMainAndLogin([] { FrmLogin->Close(); });
        std::_Exit(Application->Terminated() && LoginResult == "ERROR" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Startup, ConfirmingTheCloseQuestionFreesTheDataAndEnds) {
  EXPECT_EXIT(
      {
        payroll::CreatePayrollForms();
        ShowMainAndLogin([] {
          FrmLogin->EditUserDm->SetText("adx");
          FrmLogin->EditUserPass->SetText("abc");
          FrmLogin->BitBtnLoginClick(nullptr);
        });
        frmMain->Close();  // the fake answers Yes
        std::_Exit(Application->Terminated() && FrmData == nullptr ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// --- the login dialog on its own --------------------------------------------

class Login : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    db = std::make_unique<TTestPayrollDb>();
    FrmData = new TFrmData(nullptr);
    form = std::make_unique<TFrmLogin>(nullptr);
    LoginResult = "ERROR";
  }
  void TearDown() override {
    form.reset();
    delete FrmData;
    FrmData = nullptr;
  }
  void Try(const char* code, const char* password) {
    form->EditUserDm->SetText(code);
    form->EditUserPass->SetText(password);
    form->BitBtnLoginClick(nullptr);
  }
  std::unique_ptr<TTestPayrollDb> db;
  std::unique_ptr<TFrmLogin> form;
  TFakeDialogService dialogs;
};

TEST_F(Login, CodesArePrefixesIgnoringCasePasswordsAreExact) {
  struct Case {
    const char* code;
    const char* password;
    const char* box;       // the error box, or null for a login
    const char* userName;  // of the logged-in user
  };
  // Userid in table order: admin/管理员/Secret, ADX/张会计/abc.
  const Case cases[] = {
      {"ADMIN", "Secret", nullptr, "管理员"},
      {"AD", "Secret", nullptr, "管理员"},  // the first row that begins with AD
      {"AD", "abc", "输入的密码不正确!", nullptr},
      {"ADX", "abc", nullptr, "张会计"},
      {"", "Secret", nullptr, "管理员"},  // an empty code finds the first row
      {"ADMIN", "secret", "输入的密码不正确!", nullptr},
      {"ZZ", "Secret", "输入的用户代码不存在!", nullptr},
      {"ADMINX", "Secret", "输入的用户代码不存在!", nullptr},
  };
  for (const Case& c : cases) {
    dialogs.Boxes.clear();
    LoginResult = "ERROR";
    Try(c.code, c.password);
    if (c.box) {
      EXPECT_EQ(LoginResult, "ERROR") << c.code;
      ASSERT_EQ(dialogs.Boxes.size(), 1u) << c.code;
      EXPECT_EQ(dialogs.Boxes[0].Text, c.box);
    } else {
      EXPECT_EQ(LoginResult, "OK") << c.code << "/" << c.password;
      EXPECT_TRUE(dialogs.Boxes.empty());
      EXPECT_EQ(form->LoginUserName, c.userName);
    }
  }
}

TEST_F(Login, TheDialogIsDesignedAsSpecified) {
  EXPECT_EQ(form->Caption(), "系统登录");
  EXPECT_EQ(form->Width(), 309);
  EXPECT_EQ(form->Height(), 203);
  EXPECT_EQ(form->Position(), poScreenCenter);
  EXPECT_EQ(form->BorderIcons(), TBorderIcons{biSystemMenu});
  EXPECT_TRUE(form->KeyPreview());
  EXPECT_EQ(form->EditUserDm->MaxLength(), 12);
  EXPECT_EQ(form->EditUserDm->CharCase(), ecUpperCase);
  EXPECT_EQ(form->EditUserPass->PasswordChar(), '*');
  EXPECT_EQ(form->BitBtnLogin->Caption(), "确 定");
  EXPECT_TRUE(form->BitBtnCancel->Cancel());
  EXPECT_GT(form->BitBtnLogin->Glyph()->Width(), 0);
}

TEST_F(Login, TheCodeEditUpperCasesAndTheKeysMoveTheFocus) {
  form->Show();
  form->FormActivate(form.get());
  Pump();
  EXPECT_EQ(form->ActiveControl(), form->EditUserDm);
  std::uint16_t down = VK_DOWN;
  form->FormKeyDown(form.get(), down, TShiftState());
  EXPECT_EQ(form->ActiveControl(), form->EditUserPass);
  std::uint16_t up = VK_UP;
  form->FormKeyDown(form.get(), up, TShiftState());
  EXPECT_EQ(form->ActiveControl(), form->EditUserDm);
  char enter = '\r';
  form->FormKeyPress(form.get(), enter);
  EXPECT_EQ(enter, 0) << "Enter is swallowed";
  EXPECT_EQ(form->ActiveControl(), form->EditUserPass);
  form->Hide();
}

// Logging in from the keyboard: Enter in the code edit only moves on to the
// password (no attempt with an empty password), Enter there moves on to
// "确 定", and Enter on that button logs in.
TEST_F(Login, EnterMovesThroughTheDialogAndOnTheButtonLogsIn) {
  form->Show();
  form->FormActivate(form.get());
  Pump();
  ASSERT_EQ(form->ActiveControl(), form->EditUserDm);
  form->EditUserDm->SetText("ADMIN");
  PressKey(form->EditUserDm, Qt::Key_Return, QStringLiteral("\r"));
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(LoginResult, "ERROR");
  ASSERT_EQ(form->ActiveControl(), form->EditUserPass);
  form->EditUserPass->SetText("Secret");
  PressKey(form->EditUserPass, Qt::Key_Return, QStringLiteral("\r"));
  EXPECT_EQ(LoginResult, "ERROR");
  ASSERT_EQ(form->ActiveControl(), form->BitBtnLogin);
  PressKey(form->BitBtnLogin, Qt::Key_Return, QStringLiteral("\r"));
  EXPECT_EQ(LoginResult, "OK");
  EXPECT_TRUE(dialogs.Boxes.empty());
  form->Hide();
}

}  // namespace

namespace {

TEST(Splash, ShowsItsPictureAndTheLoadingText) {
  EnsureUiApp();
  payroll::RegisterPayrollClasses();
  std::unique_ptr<TFrmSplash> splash(new TFrmSplash(nullptr));
  auto* image = dynamic_cast<TImage*>(splash->FindComponent("Image1"));
  ASSERT_NE(image, nullptr);
  EXPECT_GT(image->Picture()->Width(), 0) << "the picture comes from the form's text";
  EXPECT_EQ(splash->ClientWidth(), 299);
  EXPECT_EQ(splash->ClientHeight(), 210);
  EXPECT_EQ(dynamic_cast<TLabel*>(splash->FindComponent("Label1"))->Caption(), "正在装载系统，请稍候...");
  splash->Show();
  Pump();
  SaveShot(splash->Surface(), "payroll-splash.png");
  splash->Hide();
}

}  // namespace
