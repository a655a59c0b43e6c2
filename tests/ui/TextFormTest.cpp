// A form built from its text definition: nested panels, a main menu,
// edits, a tree and a notebook, driven with keys and the mouse.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QTest>
#include <QTreeWidget>
#include <QTimer>
#include <QWidget>

#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "platform/core/TextForm.h"
#include "platform/core/TypInfo.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"

namespace {

const char kLoginText[] = R"(object FrmDemo: TFrmDemo
  Left = 0
  Top = 0
  BorderStyle = bsSingle
  Caption = '系统登录'
  ClientHeight = 300
  ClientWidth = 420
  Font.Charset = 134
  Font.Height = -14
  Font.Name = '宋体'
  KeyPreview = True
  Menu = MainMenu1
  Position = poScreenCenter
  OnKeyPress = FormKeyPress
  object PanelTop: TPanel
    Left = 0
    Top = 0
    Width = 420
    Height = 110
    Align = alTop
    BevelOuter = bvNone
    object PanelInner: TPanel
      Left = 10
      Top = 5
      Width = 300
      Height = 100
      BevelOuter = bvLowered
      object LabelCode: TLabel
        Left = 8
        Top = 12
        Caption = '用户代码:'
        Font.Height = -16
        Font.Style = [fsBold]
        ParentFont = False
      end
      object EditUserPass: TEdit
        Left = 80
        Top = 40
        Width = 120
        Height = 21
        MaxLength = 12
        PasswordChar = '*'
        TabOrder = 1
      end
      object EditUserDm: TEdit
        Left = 80
        Top = 8
        Width = 120
        Height = 21
        CharCase = ecUpperCase
        MaxLength = 12
        TabOrder = 0
      end
      object BitBtnLogin: TButton
        Left = 210
        Top = 70
        Width = 75
        Height = 25
        Caption = '确 定'
        ModalResult = 1
        TabOrder = 2
      end
    end
  end
  object TreeViewBm: TTreeView
    Left = 0
    Top = 110
    Width = 120
    Height = 190
    Align = alLeft
    TabOrder = 1
    OnChange = TreeViewBmChange
  end
  object Notebook1: TNotebook
    Left = 120
    Top = 110
    Width = 300
    Height = 190
    Align = alClient
    PageIndex = 0
    object TPage
      Left = 0
      Top = 0
      Caption = 'tbsStrat'
      object LblStart: TLabel
        Left = 10
        Top = 10
        Caption = '欢迎使用'
      end
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsMmXg'
      object EditOldPwd: TEdit
        Left = 10
        Top = 10
        Width = 100
        Height = 21
        TabOrder = 0
      end
    end
  end
  object MainMenu1: TMainMenu
    object N1: TMenuItem
      Caption = '系统维护(&S)'
      object N14: TMenuItem
        Caption = '密码修改'
        OnClick = N14Click
      end
      object N2: TMenuItem
        Caption = '-'
      end
      object MenuExit: TMenuItem
        Caption = '退出系统'
        ShortCut = 16465
        OnClick = MenuExitClick
      end
    end
  end
end
)";

class TFrmDemo : public TForm {
  PAYROLL_CLASS(TFrmDemo, TForm)
 public:
  explicit TFrmDemo(TComponent* owner) : TForm(owner) {
    InitFormFromText(kLoginText);
    EditUserDm = static_cast<TEdit*>(FindComponent("EditUserDm"));
    EditUserPass = static_cast<TEdit*>(FindComponent("EditUserPass"));
    BitBtnLogin = static_cast<TButton*>(FindComponent("BitBtnLogin"));
    TreeViewBm = static_cast<TTreeView*>(FindComponent("TreeViewBm"));
    Notebook1 = static_cast<TNotebook*>(FindComponent("Notebook1"));
  }
  TEdit* EditUserDm;
  TEdit* EditUserPass;
  TButton* BitBtnLogin;
  TTreeView* TreeViewBm;
  TNotebook* Notebook1;
  std::vector<AnsiString> log;

  void FormKeyPress(TObject*, char& key) {
    if (key == '\r') {
      key = 0;
      SelectNext(ActiveControl(), true, true);
    }
  }
  void TreeViewBmChange(TObject*, TTreeNode* node) { log.push_back(node ? node->Text() : "none"); }
  void N14Click(TObject*) { Notebook1->SetActivePage("TbsMmXg"); }
  void MenuExitClick(TObject*) {
    if (Application->MessageBox("\r真的要退出本系统吗? ", "提示", MB_YESNO | MB_ICONINFORMATION) != IDNO)
      Close();
  }
};

}  // namespace

PAYROLL_PUBLISH(TFrmDemo) {
  p.Method("FormKeyPress", &TFrmDemo::FormKeyPress);
  p.Method("TreeViewBmChange", &TFrmDemo::TreeViewBmChange);
  p.Method("N14Click", &TFrmDemo::N14Click);
  p.Method("MenuExitClick", &TFrmDemo::MenuExitClick);
}


namespace {

class TextFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    RegisterVisualClasses();
    form = new TFrmDemo(nullptr);
  }
  void TearDown() override {
    delete form;
    Pump();
  }
  TFrmDemo* form;
};

TEST_F(TextFormTest, TheDefinitionBuildsNestedControlsWithTheirProperties) {
  auto* inner = static_cast<TPanel*>(form->FindComponent("PanelInner"));
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->Parent(), form->FindComponent("PanelTop"));
  EXPECT_EQ(form->EditUserDm->Parent(), inner);
  EXPECT_EQ(form->EditUserDm->Owner(), form);
  EXPECT_EQ(form->Caption(), "系统登录");
  EXPECT_EQ(form->ClientWidth(), 420);
  EXPECT_EQ(form->ClientHeight(), 300);
  EXPECT_EQ(form->EditUserDm->CharCase(), ecUpperCase);
  EXPECT_EQ(form->EditUserPass->PasswordChar(), '*');
  EXPECT_EQ(form->BitBtnLogin->ModalResult(), mrOk);
  // Fonts: the label has its own, the edit follows the form's.
  auto* label = static_cast<TLabel*>(form->FindComponent("LabelCode"));
  EXPECT_EQ(label->Font()->Height(), -16);
  EXPECT_TRUE(label->Font()->Style().Contains(fsBold));
  EXPECT_FALSE(label->ParentFont());
  EXPECT_EQ(form->EditUserDm->Font()->Height(), -14);
  EXPECT_EQ(form->EditUserDm->Font()->Name(), "宋体");
  EXPECT_TRUE(form->EditUserDm->ParentFont());
  // Alignment: the tree fills the left strip below the top panel.
  EXPECT_EQ(form->TreeViewBm->BoundsRect(), Rect(0, 110, 120, 300));
  EXPECT_EQ(form->Notebook1->BoundsRect(), Rect(120, 110, 420, 300));
  ASSERT_EQ(form->Notebook1->PageCount(), 2);
  EXPECT_EQ(form->Notebook1->ActivePage(), "tbsStrat");
  EXPECT_EQ(form->FindComponent("EditOldPwd")->Owner(), form);
  EXPECT_EQ(static_cast<TControl*>(form->FindComponent("EditOldPwd"))->Parent(), form->Notebook1->PageAt(1));
  ASSERT_NE(form->Menu(), nullptr);
  EXPECT_EQ(form->Menu()->Items()->Count(), 1);
  EXPECT_EQ(form->Menu()->Items()->Items(0)->Count(), 3);
  EXPECT_TRUE(form->Menu()->Items()->Items(0)->Items(1)->IsLine());
}

TEST_F(TextFormTest, TabOrderFromTheTextDecidesTheFocusOrder) {
  form->Show();
  form->SetActiveControl(form->EditUserDm);
  PressKey(form->EditUserDm, Qt::Key_Tab, QStringLiteral("\t"));
  EXPECT_EQ(form->ActiveControl(), form->EditUserPass) << "TabOrder 0 then 1, whatever the text order";
  PressKey(form->EditUserPass, Qt::Key_Tab, QStringLiteral("\t"));
  EXPECT_EQ(form->ActiveControl(), form->BitBtnLogin);
  PressKey(form->BitBtnLogin, Qt::Key_Tab, QStringLiteral("\t"));
  EXPECT_EQ(form->ActiveControl(), form->TreeViewBm);
}

TEST_F(TextFormTest, EnterMovesToTheNextControlThroughTheBoundKeyPreviewHandler) {
  form->Show();
  form->SetActiveControl(form->EditUserDm);
  PressKey(form->EditUserDm, Qt::Key_A, QStringLiteral("a"));
  PressKey(form->EditUserDm, Qt::Key_D, QStringLiteral("d"));
  PressKey(form->EditUserDm, Qt::Key_Return, QStringLiteral("\r"));
  EXPECT_EQ(form->EditUserDm->Text(), "AD");
  EXPECT_EQ(form->ActiveControl(), form->EditUserPass);
  CommitText(form->EditUserPass, QStringLiteral("密码"));
  EXPECT_EQ(form->EditUserPass->Text(), "密码");
}

TEST_F(TextFormTest, TheLoginButtonEndsTheModalLoopWithOk) {
  QTimer::singleShot(0, qApp, [&] {
    form->SetActiveControl(form->EditUserDm);
    PressKey(form->EditUserDm, Qt::Key_Return, QStringLiteral("\r"));
    PressKey(form->EditUserPass, Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_EQ(form->ActiveControl(), form->BitBtnLogin);
    ClickControl(form->BitBtnLogin);
  });
  EXPECT_EQ(form->ShowModal(), mrOk);
}

TEST_F(TextFormTest, TreeSelectionByMouseRunsTheBoundChangeHandler) {
  TTreeNode* unit = form->TreeViewBm->Items()->Add(nullptr, "总部(3)");
  TTreeNode* dept = form->TreeViewBm->Items()->AddChild(unit, "财务科(2)");
  unit->Expand(false);
  form->Show();
  Pump();
  auto* tree = qobject_cast<QTreeWidget*>(form->TreeViewBm->Surface());
  ASSERT_NE(tree, nullptr);
  QTreeWidgetItem* row = tree->topLevelItem(0)->child(0);
  QPoint at = tree->visualItemRect(row).center();
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  QPoint inTree = tree->viewport()->mapTo(tree, at);
  EXPECT_EQ(form->TreeViewBm->GetNodeAt(inTree.x(), inTree.y()), dept);
  EXPECT_EQ(form->TreeViewBm->Selected(), dept);
  ASSERT_FALSE(form->log.empty());
  EXPECT_EQ(form->log.back(), "财务科(2)");
  EXPECT_EQ(dept->Level(), 1);
  EXPECT_EQ(dept->AbsoluteIndex(), 1);
}

TEST_F(TextFormTest, MenuCommandsRunFromTheMenuBarAndFromTheirShortCut) {
  form->Show();
  auto* bar = form->Surface()->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  QAction* pwd = nullptr;
  for (QAction* top : bar->actions())
    if (top->menu())
      for (QAction* a : top->menu()->actions())
        if (a->text() == QStringLiteral("密码修改")) pwd = a;
  ASSERT_NE(pwd, nullptr);
  pwd->trigger();
  EXPECT_EQ(form->Notebook1->ActivePage(), "TbsMmXg");

  TFakeDialogService dialogs;
  dialogs.Answers = {IDNO, IDYES};
  EXPECT_TRUE(form->Menu()->IsShortCut('Q', {ssCtrl}));
  EXPECT_TRUE(form->Visible()) << "No keeps the window";
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, "\r真的要退出本系统吗? ");
  EXPECT_EQ(dialogs.Boxes[0].Icon, diInformation);
  ASSERT_EQ(dialogs.Boxes[0].Buttons.size(), 2u);
  EXPECT_EQ(dialogs.Boxes[0].Buttons[0].Result, IDYES);
  form->Menu()->IsShortCut('Q', {ssCtrl});
  EXPECT_FALSE(form->Visible()) << "Yes closes it";
}

TEST_F(TextFormTest, NotebookPagesAreChosenByName) {
  form->Show();
  form->Notebook1->SetActivePage("TbsMmXg");
  EXPECT_EQ(form->Notebook1->PageIndex(), 1);
  EXPECT_TRUE(form->Notebook1->PageAt(1)->Visible());
  EXPECT_FALSE(form->Notebook1->PageAt(0)->Visible());
  EXPECT_THROW(form->Notebook1->SetActivePage("TbsNone"), EInvalidOperation);
  EXPECT_EQ(form->Notebook1->ActivePage(), "TbsMmXg");
}

TEST_F(TextFormTest, AnUnknownClassInTheTextFailsWithoutLeavingComponentsBehind) {
  struct TBadForm : TForm {
    explicit TBadForm(TComponent* o) : TForm(o) {}
    void Load(const char* text) { InitFormFromText(text); }
  };
  TBadForm bad(nullptr);
  EXPECT_THROW(bad.Load("object F: TForm\n  object X: TNoSuchControl\n  end\nend\n"), EClassNotFound);
  EXPECT_EQ(bad.ComponentCount(), 0);
  // A notebook page read before the failure is freed before its notebook:
  // the notebook must not free it a second time.
  TBadForm pages(nullptr);
  EXPECT_THROW(pages.Load("object F: TForm\n  object N: TNotebook\n    object P: TPage\n      Caption = 'A'\n"
                          "    end\n  end\n  object X: TNoSuchControl\n  end\nend\n"),
               EClassNotFound);
  EXPECT_EQ(pages.ComponentCount(), 0);
}

}  // namespace

namespace {

TEST_F(TextFormTest, WritingTheFormGivesTextThatReadsBackTheSameTree) {
  AnsiString text = ComponentToObjectText(form);
  // Children are written inside their parents, the menu with the form's
  // other components.
  size_t inner = text.find("object PanelInner: TPanel");
  size_t edit = text.find("object EditUserDm: TEdit");
  ASSERT_NE(inner, std::string::npos) << text;
  ASSERT_NE(edit, std::string::npos) << text;
  EXPECT_LT(inner, edit);
  EXPECT_NE(text.find("object MainMenu1: TMainMenu"), std::string::npos);
  EXPECT_NE(text.find("object TPage"), std::string::npos) << "notebook pages are unnamed";

  // Read back into a form without the handlers: drop the event lines.
  AnsiString plain;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size() - 1;
    AnsiString line = text.substr(pos, eol - pos + 1);
    if (line.TrimLeft().rfind("On", 0) != 0) plain += line;
    pos = eol + 1;
  }
  struct THost : TForm {
    explicit THost(TComponent* o) : TForm(o) {}
    void Load(const AnsiString& t) { InitFormFromText(t); }
  } host(nullptr);
  host.Load(plain);
  auto* edit2 = static_cast<TEdit*>(host.FindComponent("EditUserDm"));
  ASSERT_NE(edit2, nullptr);
  EXPECT_EQ(edit2->Parent(), host.FindComponent("PanelInner"));
  EXPECT_EQ(edit2->CharCase(), ecUpperCase);
  EXPECT_EQ(host.ClientWidth(), 420);
  auto* nb = static_cast<TNotebook*>(host.FindComponent("Notebook1"));
  ASSERT_NE(nb, nullptr);
  EXPECT_EQ(nb->PageCount(), 2);
  EXPECT_EQ(nb->PageAt(1)->Caption(), "TbsMmXg");
  EXPECT_EQ(nb->Pages()->Strings(1), "TbsMmXg");  // the last page's name too
  EXPECT_EQ(host.Menu(), host.FindComponent("MainMenu1"));
  EXPECT_EQ(host.Menu()->Items()->Items(0)->Count(), 3);
}

}  // namespace
