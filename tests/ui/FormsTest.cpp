// Forms and the application: modal results, closing with OnCloseQuery and
// OnClose, key preview, Enter moving to the next control, tab order, the
// error box, the main form.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "platform/ui/Forms.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/StdCtrls.h"

namespace {

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureUiApp(); }
  void TearDown() override { Pump(); }
};

// A login-like dialog: two edits and two buttons in tab order.
struct TLoginForm : TForm {
  TEdit* code;
  TEdit* pass;
  TButton* ok;
  TButton* cancel;
  explicit TLoginForm(TComponent* owner) : TForm(owner) {
    SetBounds(0, 0, 309, 203);
    code = new TEdit(this);
    code->SetParent(this);
    code->SetBounds(80, 20, 150, 21);
    pass = new TEdit(this);
    pass->SetParent(this);
    pass->SetBounds(80, 50, 150, 21);
    ok = new TButton(this);
    ok->SetParent(this);
    ok->SetCaption("确 定");
    cancel = new TButton(this);
    cancel->SetParent(this);
    cancel->SetCaption("取 消");
    cancel->SetCancel(true);
    cancel->SetModalResult(mrCancel);
  }
};

// Runs fn from the modal loop once it is running.
void WhenModal(std::function<void()> fn) { QTimer::singleShot(0, qApp, fn); }

TEST_F(FormsTest, ShowModalReturnsTheModalResultAndHidesTheForm) {
  TLoginForm f(nullptr);
  f.ok->SetModalResult(mrOk);
  WhenModal([&] {
    EXPECT_TRUE(f.IsModal());
    EXPECT_TRUE(f.Visible());
    ClickControl(f.ok);
  });
  EXPECT_EQ(f.ShowModal(), mrOk);
  EXPECT_FALSE(f.Visible());
  EXPECT_FALSE(f.IsModal());
}

TEST_F(FormsTest, EscapeClicksTheCancelButton) {
  TLoginForm f(nullptr);
  WhenModal([&] { PressKey(f.code, Qt::Key_Escape, QStringLiteral("\x1b")); });
  EXPECT_EQ(f.ShowModal(), mrCancel);
}

TEST_F(FormsTest, CloseQueryRefusalKeepsTheModalLoopRunning) {
  TLoginForm f(nullptr);
  int asked = 0;
  f.OnCloseQuery = [&](TObject*, bool& canClose) { canClose = ++asked >= 2; };
  TCloseAction seen = caNone;
  f.OnClose = [&](TObject*, TCloseAction& a) { seen = a; };
  WhenModal([&] {
    f.Close();  // refused: the loop goes on with ModalResult back at 0
    WhenModal([&] {
      EXPECT_EQ(f.ModalResult(), mrNone);
      EXPECT_TRUE(f.Visible());
      f.SetModalResult(mrYes);
    });
  });
  EXPECT_EQ(f.ShowModal(), mrYes);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(seen, caHide);
}

TEST_F(FormsTest, CloseActionNoneKeepsAModelessFormShown) {
  TForm f(nullptr);
  f.Show();
  TCloseAction next = caNone;
  f.OnClose = [&](TObject*, TCloseAction& a) { a = next; };
  f.Close();
  EXPECT_TRUE(f.Visible());
  next = caHide;
  f.Close();
  EXPECT_FALSE(f.Visible());
}

TEST_F(FormsTest, CloseActionFreeReleasesTheFormAfterPendingMessages) {
  auto* f = new TForm(nullptr);
  bool destroyed = false;
  f->OnDestroy = [&](TObject*) { destroyed = true; };
  f->Show();
  f->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
  f->Close();
  EXPECT_FALSE(destroyed) << "freed only from the message loop";
  Pump();
  EXPECT_TRUE(destroyed);
}

TEST_F(FormsTest, ClosingTheWindowButtonRunsTheSameQuestion) {
  TForm f(nullptr);
  f.Show();
  int asked = 0;
  f.OnCloseQuery = [&](TObject*, bool& canClose) {
    ++asked;
    canClose = false;
  };
  f.Surface()->close();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(f.Visible());
}

TEST_F(FormsTest, KeyPreviewSeesKeysBeforeTheFocusedControlAndCanSwallowThem) {
  TLoginForm f(nullptr);
  f.SetKeyPreview(true);
  std::vector<std::string> order;
  f.OnKeyDown = [&](TObject*, std::uint16_t& key, TShiftState) {
    order.push_back("form");
    if (key == VK_F2) key = 0;
  };
  f.code->OnKeyDown = [&](TObject*, std::uint16_t&, TShiftState) { order.push_back("edit"); };
  f.Show();
  f.SetActiveControl(f.code);
  PressKey(f.code, Qt::Key_F1);
  PressKey(f.code, Qt::Key_F2);
  EXPECT_EQ(order, (std::vector<std::string>{"form", "edit", "form"}));
}

TEST_F(FormsTest, EnterSwallowedByTheFormMovesToTheNextControl) {
  TLoginForm f(nullptr);
  f.SetKeyPreview(true);
  f.OnKeyPress = [&](TObject*, char& key) {
    if (key == '\r') {
      key = 0;
      f.SelectNext(f.ActiveControl(), true, true);
    }
  };
  std::vector<std::string> events;
  f.code->OnExit = [&](TObject*) { events.push_back("exit code"); };
  f.pass->OnEnter = [&](TObject*) { events.push_back("enter pass"); };
  f.Show();
  f.SetActiveControl(f.code);
  PressKey(f.code, Qt::Key_Return, QStringLiteral("\r"));
  EXPECT_EQ(f.ActiveControl(), f.pass);
  EXPECT_EQ(events, (std::vector<std::string>{"exit code", "enter pass"}));
  EXPECT_EQ(f.code->Text(), "") << "the swallowed Enter typed nothing";
}

// An OnExit that refuses the move (a duplicate number: a box, then the
// focus back) runs once; the refused target does not take the focus after
// all, which would leave the control and ask again.
TEST_F(FormsTest, AnExitHandlerPuttingTheFocusBackRunsOnce) {
  TFakeDialogService dialogs;
  TLoginForm f(nullptr);
  int exits = 0;
  f.code->OnExit = [&](TObject*) {
    ++exits;
    ShowMessage("重复");
    f.code->SetFocus();
  };
  f.Show();
  // An active window takes the focus at once (a focus event within the
  // move), as the program's main window does.
  // (Several test programs sharing one X server may hold the activation.)
  if (!QTest::qWaitForWindowActive(f.Surface())) GTEST_SKIP() << "the window could not be activated";
  f.SetActiveControl(f.code);
  PressKey(f.code, Qt::Key_Tab, QStringLiteral("\t"));
  Pump();
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(f.ActiveControl(), f.code);
  EXPECT_EQ(dialogs.Boxes.size(), 1u);
}

TEST_F(FormsTest, TabAndShiftTabFollowTabOrderAndWrap) {
  TLoginForm f(nullptr);
  f.pass->SetTabOrder(0);  // pass, code, ok, cancel
  f.Show();
  f.SetActiveControl(f.pass);
  PressKey(f.pass, Qt::Key_Tab, QStringLiteral("\t"));
  EXPECT_EQ(f.ActiveControl(), f.code);
  f.ok->SetEnabled(false);  // disabled controls are skipped
  PressKey(f.code, Qt::Key_Tab, QStringLiteral("\t"));
  EXPECT_EQ(f.ActiveControl(), f.cancel);
  PressKey(f.cancel, Qt::Key_Tab, QStringLiteral("\t"));
  EXPECT_EQ(f.ActiveControl(), f.pass) << "wraps to the first";
  PressKey(f.pass, Qt::Key_Backtab, QString(), Qt::ShiftModifier);
  EXPECT_EQ(f.ActiveControl(), f.cancel);
}

TEST_F(FormsTest, UpAndDownInAFormHandlerMoveThroughTabOrder) {
  TLoginForm f(nullptr);
  f.SetKeyPreview(true);
  f.OnKeyDown = [&](TObject*, std::uint16_t& key, TShiftState) {
    if (key == VK_DOWN) f.SelectNext(f.ActiveControl(), true, true);
    if (key == VK_UP) f.SelectNext(f.ActiveControl(), false, true);
  };
  f.Show();
  f.SetActiveControl(f.code);
  PressKey(f.code, Qt::Key_Up);
  EXPECT_EQ(f.ActiveControl(), f.cancel) << "Up from the first wraps to the last";
  PressKey(f.cancel, Qt::Key_Down);
  EXPECT_EQ(f.ActiveControl(), f.code);
}

TEST_F(FormsTest, ActivationRunsOnShowAndAgainAfterAModalDialog) {
  TForm mainForm(nullptr);
  TForm dialog(nullptr);
  int activations = 0, deactivations = 0;
  mainForm.OnActivate = [&](TObject*) { ++activations; };
  mainForm.OnDeactivate = [&](TObject*) { ++deactivations; };
  mainForm.Show();
  EXPECT_EQ(activations, 1);
  WhenModal([&] { dialog.SetModalResult(mrOk); });
  dialog.ShowModal();
  EXPECT_EQ(deactivations, 1);
  EXPECT_EQ(activations, 2);
  EXPECT_EQ(Screen->ActiveForm(), &mainForm);
}

TEST_F(FormsTest, ScreenCenterPlacesTheFormInTheMiddle) {
  TForm f(nullptr);
  f.SetBounds(0, 0, 300, 200);
  f.SetPosition(poScreenCenter);
  f.Show();
  Pump();  // the window system's own move events change nothing
  EXPECT_EQ(f.Left(), (Screen->Width() - 300) / 2);
  EXPECT_EQ(f.Top(), (Screen->Height() - 200) / 2);
}

TEST_F(FormsTest, ClientSizeIsTheOuterSizeLessTheFrame) {
  TForm f(nullptr);
  f.SetBounds(0, 0, 800, 580);
  EXPECT_EQ(f.ClientWidth(), 800 - f.NonClientWidth());
  f.SetClientWidth(500);
  f.SetClientHeight(300);
  EXPECT_EQ(f.Width(), 500 + f.NonClientWidth());
  EXPECT_EQ(f.Height(), 300 + f.NonClientHeight());
  int frameW = f.NonClientWidth();
  f.SetBorderStyle(bsNone);
  EXPECT_EQ(f.ClientWidth(), 500) << "the client area keeps its size";
  EXPECT_EQ(f.Width(), 500);
  EXPECT_GT(frameW, 0);
}

TEST_F(FormsTest, HandleExceptionShowsTheErrorBoxButNotForAbort) {
  TFakeDialogService dialogs;
  Application->SetTitle("工资软件");
  try {
    throw EDatabaseError("表打不开");
  } catch (...) {
    Application->HandleException(nullptr);
  }
  try {
    Abort();
  } catch (...) {
    Application->HandleException(nullptr);
  }
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, "表打不开");
  EXPECT_EQ(dialogs.Boxes[0].Caption, "工资软件");
  EXPECT_EQ(dialogs.Boxes[0].Icon, diError);
}

TEST_F(FormsTest, AnExceptionInAHandlerReachesTheErrorBoxNotQt) {
  TFakeDialogService dialogs;
  TLoginForm f(nullptr);
  f.ok->OnClick = [](TObject*) { throw EConvertError("'abc' is not a valid integer value"); };
  f.Show();
  ClickControl(f.ok);
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, "'abc' is not a valid integer value");
}

TEST_F(FormsTest, CreateFormMakesTheFirstFormTheMainForm) {
  struct TFirst : TForm {
    explicit TFirst(TComponent* o) : TForm(o) {}
  };
  TFirst* first = nullptr;
  TForm* second = nullptr;
  if (Application->MainForm() == nullptr) {
    Application->CreateForm(first);
    Application->CreateForm(second);
    EXPECT_EQ(Application->MainForm(), first);
    delete second;
    delete first;
    EXPECT_EQ(Application->MainForm(), nullptr);
  }
}

TEST_F(FormsTest, ScreenCursorShowsOverEveryWindowUntilReset) {
  Screen->SetCursor(crHourGlass);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Screen->SetCursor(crDefault);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace

namespace {

TEST(ApplicationHooks, KeyboardHookSeesEveryKeyTransitionOnce) {
  EnsureUiApp();
  SetKeyToggleForTest(VK_CAPITAL, false);
  TForm f(nullptr);
  auto* edit = new TEdit(&f);
  edit->SetParent(&f);
  f.Show();
  std::vector<std::pair<int, std::uint32_t>> seen;
  int id = Application->AddKeyboardHook([&](std::uint16_t vk, std::uint32_t data) {
    if (vk == VK_CAPITAL) seen.push_back({vk, data});
  });
  PressKey(edit, Qt::Key_CapsLock);
  EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 1) << "one press: on";
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_CapsLock, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(edit->Surface(), &repeat);
  Application->RemoveKeyboardHook(id);
  PressKey(edit, Qt::Key_CapsLock);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 0) << "two presses and a repeat: off again";
  EXPECT_EQ(GetKeyState(VK_CAPITAL) & 0x8000, 0) << "released";
  EXPECT_EQ(seen[0].second & (3u << 30), 0u) << "going down, was up";
  EXPECT_EQ(seen[1].second & (3u << 30), 3u << 30) << "released";
  EXPECT_EQ(seen[2].second & (3u << 30), 1u << 30) << "auto-repeat: was down already";
}

TEST(ApplicationHooks, MainWindowHookGetsActivateAppAndTheFormItsActivationBack) {
  EnsureUiApp();
  TForm f(nullptr);
  f.Show();
  int activations = 0, deactivations = 0;
  f.OnActivate = [&](TObject*) { ++activations; };
  f.OnDeactivate = [&](TObject*) { ++deactivations; };
  std::vector<std::intptr_t> seen;
  Application->HookMainWindow(
      [&](TMessage& m) {
        if (m.Msg == WM_ACTIVATEAPP) seen.push_back(m.WParam);
        return false;
      },
      &seen);
  Application->SetActive(true);
  Application->SetActive(false);  // another program took the focus
  Application->SetActive(true);   // and gave it back
  Application->UnhookMainWindow(&seen);
  Application->SetActive(false);
  Application->SetActive(true);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[seen.size() - 2], 0);
  EXPECT_EQ(seen.back(), 1);
  EXPECT_GE(deactivations, 1);
  EXPECT_GE(activations, 1);
  EXPECT_EQ(Screen->ActiveForm(), &f);
}

TEST(ApplicationHooks, HintsOfControlsReachTheApplication) {
  EnsureUiApp();
  AnsiString shown;
  Application->OnHint = [&](TObject*) { shown = Application->Hint(); };
  Application->DoHint("保存|保存当前记录");
  EXPECT_EQ(shown, "保存当前记录");
  Application->OnHint = nullptr;
}

}  // namespace

namespace {

// Run frees what the application owns, so a form created by CreateForm
// gets its OnDestroy (where the data module closes its tables).
TEST(ApplicationRun, RunEndsOnTerminateAndFreesTheForms) {
  EnsureUiApp();
  if (Application->MainForm() != nullptr) GTEST_SKIP() << "a main form exists already";
  TForm* mainForm = nullptr;
  Application->CreateForm(mainForm);
  bool destroyed = false, shown = false;
  mainForm->OnDestroy = [&](TObject*) { destroyed = true; };
  mainForm->OnShow = [&](TObject*) { shown = true; };
  QTimer::singleShot(0, qApp, [] {
    // The main form's close (not refused) ends the program.
    Application->MainForm()->Close();
  });
  Application->Run();
  EXPECT_TRUE(shown);
  EXPECT_TRUE(destroyed);
  EXPECT_TRUE(Application->Terminated());
}

}  // namespace

namespace {

TEST(ApplicationIdle, OnIdleRunsWhenTheLoopWaits) {
  EnsureUiApp();
  if (Application->Terminated()) GTEST_SKIP() << "the application was terminated by an earlier test";
  int idle = 0;
  Application->OnIdle = [&](TObject*, bool& done) {
    ++idle;
    done = true;
  };
  QEventLoop loop;
  QTimer::singleShot(20, &loop, &QEventLoop::quit);
  loop.exec();  // waits for the timer: the loop is idle meanwhile
  Application->OnIdle = nullptr;
  EXPECT_GT(idle, 0);
}

}  // namespace

// The system's own dialogs speak Chinese where Qt's translation is
// installed (the install script adds it).
TEST_F(FormsTest, TheSystemDialogsSpeakChineseWhereQtsTranslationIsInstalled) {
  const QString qm = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_zh_CN.qm";
  if (!QFileInfo::exists(qm)) GTEST_SKIP() << "no " << qm.toStdString();
  const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
  EXPECT_NE(cancel, QString("Cancel"));
  EXPECT_EQ(cancel, QString::fromUtf8(u8"\u53d6\u6d88"));  // 取消
}
