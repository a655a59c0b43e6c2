// Forms read from text keep their design when shown: the main menu, aligned
// and anchored controls, label accelerators, and MDI frames with children.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QWidget>

#include "UiTestSupport.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"

namespace {

const char* const kMenuForm = R"(object FrmPay: TForm
  Left = 100
  Top = 80
  Width = 500
  Height = 360
  Caption = '工资'
  ClientHeight = 300
  ClientWidth = 480
  Menu = MainMenu1
  object PanelBottom: TPanel
    Left = 0
    Top = 259
    Width = 480
    Height = 41
    Align = alBottom
  end
  object PanelClient: TPanel
    Left = 0
    Top = 0
    Width = 480
    Height = 259
    Align = alClient
  end
  object BtnOk: TButton
    Left = 396
    Top = 8
    Width = 75
    Height = 25
    Anchors = [akRight, akBottom]
  end
  object MainMenu1: TMainMenu
    object N1: TMenuItem
      Caption = '文件(&F)'
      object N2: TMenuItem
        Caption = '退出(&X)'
      end
    end
  end
end
)";

struct THost : TForm {
  explicit THost(TComponent* o) : TForm(o) {}
  void Load(const AnsiString& t) { InitFormFromText(t); }
};

class FormLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    RegisterVisualClasses();
  }
  void TearDown() override { Pump(); }
};

TEST_F(FormLayoutTest, AFormWithAMainMenuKeepsItsClientSizeWhenShown) {
  THost f(nullptr);
  f.Load(kMenuForm);
  auto* bottom = static_cast<TControl*>(f.FindComponent("PanelBottom"));
  auto* client = static_cast<TControl*>(f.FindComponent("PanelClient"));
  auto* ok = static_cast<TControl*>(f.FindComponent("BtnOk"));
  ASSERT_TRUE(bottom && client && ok);
  int outer = f.Height();
  f.Show();
  Pump();
  EXPECT_EQ(f.ClientHeight(), 300);
  EXPECT_EQ(f.ClientWidth(), 480);
  EXPECT_EQ(f.Height(), outer);
  EXPECT_EQ(bottom->Top(), 259);
  EXPECT_EQ(client->Height(), 259);
  EXPECT_EQ(ok->Top(), 8);
  // The window's client widget is exactly the stored client area, below the bar.
  QWidget* area = f.ChildContainer();
  EXPECT_EQ(area->height(), 300);
  EXPECT_EQ(area->y(), f.Menu()->MenuBarFor(&f)->height());
  f.Hide();
  f.Show();
  Pump();
  EXPECT_EQ(f.ClientHeight(), 300);
  EXPECT_EQ(bottom->Top(), 259);
}

}  // namespace

namespace {

TEST(Accelerators, CaptionsNameTheirKey) {
  struct Case {
    const char* caption;
    std::uint16_t vk;
    bool expected;
  } cases[] = {
      {"姓名(&N):", 'N', true}, {"姓名(&n):", 'N', true}, {"姓名(&N):", 'M', false},
      {"A&&B", 'B', false},     {"&&&Save", 'S', true},   {"&1 月", '1', true},
      {"工资", 'N', false},     {"name&", 'N', false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsAccel(c.vk, c.caption), c.expected) << c.caption;
  // A trail byte is never the start of anything: 0xDA 0x40 is one character.
  EXPECT_FALSE(IsAccel('N', "\xDA\x40N"));
}

TEST_F(FormLayoutTest, AltWithALabelsAcceleratorFocusesItsFocusControl) {
  TForm f(nullptr);
  f.SetBorderStyle(bsNone);
  auto* panel = new TPanel(&f);
  panel->SetParent(&f);
  auto* first = new TEdit(&f);
  first->SetParent(&f);
  auto* name = new TEdit(&f);
  name->SetParent(panel);
  auto* label = new TLabel(&f);
  label->SetParent(panel);
  label->SetCaption("姓名(&N):");
  label->SetFocusControl(name);
  f.Show();
  Pump();
  first->SetFocus();
  ASSERT_EQ(f.ActiveControl(), first);
  PressKey(first, Qt::Key_N, QStringLiteral("n"), Qt::AltModifier);
  EXPECT_EQ(f.ActiveControl(), name);
  // Another letter, or a label that shows no accelerator, moves nothing.
  first->SetFocus();
  PressKey(first, Qt::Key_M, QStringLiteral("m"), Qt::AltModifier);
  EXPECT_EQ(f.ActiveControl(), first);
  label->SetShowAccelChar(false);
  PressKey(first, Qt::Key_N, QStringLiteral("n"), Qt::AltModifier);
  EXPECT_EQ(f.ActiveControl(), first);
}

}  // namespace
