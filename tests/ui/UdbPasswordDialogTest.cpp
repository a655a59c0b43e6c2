// The engine's login form in its three modes: enabled edits, menu-coloured
// disabled ones, focus, caption, and the values given back on OK and kept
// on Cancel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "UiTestSupport.h"
#include "platform/ui/SysColors.h"
#include "platform/ui/UdbPasswordDialog.h"

namespace {

class UdbPasswordDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureUiApp(); }
  void TearDown() override { Pump(); }
};

// Runs fn on the dialog once its modal loop runs.
void WhenShown(std::function<void(TUdbPasswordDialog&)> fn) {
  QTimer::singleShot(0, qApp, [fn] {
    auto* form = dynamic_cast<TUdbPasswordDialog*>(Screen->ActiveForm());
    ASSERT_NE(form, nullptr);
    fn(*form);
  });
}

TEST_F(UdbPasswordDialogTest, ModesEnableTheirEditsAndFocusTheFirstOne) {
  struct Case {
    int mode;
    bool keyEnabled, userEnabled;
    const char* focused;
  } cases[] = {{1, true, false, "key"}, {2, false, true, "password"}, {3, true, true, "key"}};
  for (const Case& c : cases) {
    AnsiString key = "k0", password = "p0", user = "u0";
    WhenShown([&](TUdbPasswordDialog& f) {
      EXPECT_EQ(f.Caption(), "GZ.udb - Database Login");
      EXPECT_EQ(f.ebMasterKey->Enabled(), c.keyEnabled) << c.mode;
      EXPECT_EQ(f.ebUsername->Enabled(), c.userEnabled) << c.mode;
      EXPECT_EQ(f.ebPassword->Enabled(), c.userEnabled) << c.mode;
      EXPECT_EQ(f.ebUsername->Text(), "u0");  // passed-in values shown, also when disabled
      EXPECT_EQ(f.ebUsername->Color() == clMenu, !c.userEnabled) << c.mode;
      EXPECT_EQ(f.ebMasterKey->Color() == clMenu, !c.keyEnabled) << c.mode;
      TWinControl* expected = std::string(c.focused) == "key" ? f.ebMasterKey : f.ebPassword;
      EXPECT_EQ(f.ActiveControl(), expected) << c.mode;
      if (c.keyEnabled) f.ebMasterKey->SetText("new key");
      if (c.userEnabled) {
        f.ebUsername->SetText("li");
        f.ebPassword->SetText("secret");
      }
      ClickControl(f.OKButton);
    });
    ASSERT_TRUE(ShowLoginDialog("C:\\data\\GZ.udb", c.mode, key, password, user)) << c.mode;
    EXPECT_EQ(key, c.keyEnabled ? "new key" : "k0");
    EXPECT_EQ(user, c.userEnabled ? "li" : "u0");
    EXPECT_EQ(password, c.userEnabled ? "secret" : "p0");
  }
}

TEST_F(UdbPasswordDialogTest, CancelKeepsEveryValue) {
  AnsiString key = "k0", password = "p0", user = "u0";
  WhenShown([](TUdbPasswordDialog& f) {
    f.ebMasterKey->SetText("typed");
    f.ebUsername->SetText("typed");
    f.ebPassword->SetText("typed");
    PressKey(f.ebPassword, Qt::Key_Escape, QStringLiteral("\x1b"));
  });
  EXPECT_FALSE(ShowLoginDialog("GZ.udb", 3, key, password, user));
  EXPECT_EQ(key, "k0");
  EXPECT_EQ(password, "p0");
  EXPECT_EQ(user, "u0");
}

}  // namespace
