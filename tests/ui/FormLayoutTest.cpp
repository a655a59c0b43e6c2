// Forms read from text keep their design when shown: the main menu, aligned
// and anchored controls, label accelerators, and MDI frames with children.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QWidget>

#include "GraphicsTestSupport.h"
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

namespace {

class MdiTest : public FormLayoutTest {
 protected:
  void SetUp() override {
    FormLayoutTest::SetUp();
    frame = new TForm(nullptr);
    frame->SetBorderStyle(bsNone);
    frame->SetBounds(0, 0, 600, 400);
    frame->SetFormStyle(fsMDIForm);
    toolbar = new TPanel(frame);
    toolbar->SetParent(frame);
    toolbar->SetHeight(30);
    toolbar->SetAlign(alTop);
    frame->Show();
    Pump();
  }
  void TearDown() override {
    delete frame;
    FormLayoutTest::TearDown();
  }
  TForm* NewChild(int left, int top) {
    auto* f = new TForm(frame);
    f->SetFormStyle(fsMDIChild);
    f->SetBounds(left, top, 200, 150);
    f->Show();
    Pump();
    return f;
  }
  TForm* frame = nullptr;
  TPanel* toolbar = nullptr;
};

TEST_F(MdiTest, ChildrenLiveInTheFramesClientArea) {
  TForm* a = NewChild(10, 10);
  TForm* b = NewChild(40, 40);
  EXPECT_EQ(a->MDIParent(), frame);
  EXPECT_TRUE(frame->Surface()->isAncestorOf(a->Surface()));
  ASSERT_EQ(frame->MDIChildCount(), 2);
  EXPECT_EQ(frame->ActiveMDIChild(), b);
  EXPECT_EQ(frame->MDIChildren(0), b) << "the active child first";
  EXPECT_EQ(frame->MDIChildren(1), a);
  EXPECT_THROW(frame->MDIChildren(2), EListError);
  // The children's area starts below the top-aligned tool bar.
  QWidget* area = a->Surface()->parentWidget()->parentWidget();
  while (area && !area->inherits("QMdiArea")) area = area->parentWidget();
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area->geometry().top(), 30);
  EXPECT_EQ(area->geometry().height(), 370);
  // Only where this program alone decides the activation: test programs
  // sharing one X server take it from one another between any two checks.
  if (QGuiApplication::platformName() == "offscreen") {
    EXPECT_EQ(Screen->ActiveForm(), frame) << "the frame stays the active form";
  }
}

TEST_F(MdiTest, CascadeAndTileArrangeTheChildrenAndTheirBoundsFollow) {
  TForm* a = NewChild(0, 0);
  TForm* b = NewChild(0, 0);
  frame->Cascade();
  EXPECT_NE(a->Left(), b->Left());
  EXPECT_NE(a->Top(), b->Top());
  frame->Tile();
  TRect ra = a->BoundsRect(), rb = b->BoundsRect();
  TRect both;
  EXPECT_FALSE(IntersectRect(both, ra, rb)) << "tiled children do not overlap";
  EXPECT_GT(ra.Width() + rb.Width(), 500) << "together they fill the area";
  SaveShot(frame->Surface()->grab().toImage(), "mdi-tiled");
}

TEST_F(MdiTest, ClosingAChildMinimisesItUnlessItsHandlerFreesIt) {
  TForm* a = NewChild(10, 10);
  TForm* b = NewChild(20, 20);
  a->Close();
  EXPECT_EQ(a->WindowState(), wsMinimized);
  EXPECT_EQ(frame->MDIChildCount(), 2);
  b->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
  b->Close();
  Pump();
  EXPECT_EQ(frame->MDIChildCount(), 1);
  EXPECT_EQ(frame->MDIChildren(0), a);
}

TEST_F(MdiTest, AChildIsReadFromTextAndNeedsAnMdiForm) {
  THost child(nullptr);
  child.Load("object FrmPreview: TForm\n  FormStyle = fsMDIChild\n  Caption = '预览'\n"
             "  ClientHeight = 120\n  ClientWidth = 160\nend\n");
  child.Show();
  Pump();
  EXPECT_EQ(child.MDIParent(), frame);
  EXPECT_EQ(frame->MDIChildCount(), 1);
  EXPECT_EQ(child.ClientWidth(), 160);
  EXPECT_EQ(child.Surface()->width(), 160) << "the frame sits around the stored client area";
  TForm lone(nullptr);
  frame->SetFormStyle(fsMDIForm);  // unchanged: still the one MDI form
  delete frame;
  frame = nullptr;
  EXPECT_EQ(child.MDIParent(), nullptr) << "the child left the area of the freed frame";
  EXPECT_THROW(lone.SetFormStyle(fsMDIChild), EInvalidOperation);
}

}  // namespace
