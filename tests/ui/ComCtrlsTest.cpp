// Tree view nodes, page control, notebook pages, speed-button groups,
// panels, progress bar, timer and tool bar.
#include <gtest/gtest.h>

#include <QTreeWidget>
#include <QWidget>

#include "UiTestSupport.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/QtText.h"

namespace {

using ComCtrlsTest = TFormTest;

// The department tree: roots for units, children by code level.
TEST_F(ComCtrlsTest, TreeNodesWalkDepthFirstAndKnowTheirLevel) {
  auto* tree = Add<TTreeView>();
  TTreeNodes* n = tree->Items();
  TTreeNode* u1 = n->Add(nullptr, "01");
  TTreeNode* d1 = n->AddChild(u1, "0101");
  TTreeNode* d11 = n->AddChild(d1, "010101");
  TTreeNode* d2 = n->AddChild(u1, "0102");
  TTreeNode* u2 = n->Add(u1, "02");
  std::vector<AnsiString> order;
  for (int i = 0; i < n->Count(); ++i) order.push_back(n->Item(i)->Text());
  EXPECT_EQ(order, (std::vector<AnsiString>{"01", "0101", "010101", "0102", "02"}));
  EXPECT_EQ(d11->Level(), 2);
  EXPECT_EQ(d2->AbsoluteIndex(), 3);
  EXPECT_EQ(d2->GetPrev(), d11);
  EXPECT_EQ(u2->GetPrevSibling(), u1);
  EXPECT_FALSE(d2->HasChildren());
  EXPECT_TRUE(d1->HasChildren());
  EXPECT_THROW(n->Item(5), EListError);
}

// A list of captions without columns (the field picker) shows no header
// row; columns bring their titles.
TEST_F(ComCtrlsTest, AListViewWithoutColumnsHasNoHeader) {
  auto* list = Add<TListView>();
  list->AddItem()->SetCaption("基本工资");
  auto* view = qobject_cast<QTreeWidget*>(list->Surface());
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isHeaderHidden());
  list->AddColumn()->SetCaption("字段");
  EXPECT_FALSE(view->isHeaderHidden());
  EXPECT_EQ(view->headerItem()->text(0), ToQString("字段"));
}

TEST_F(ComCtrlsTest, DeletingTheSelectedNodeClearsTheSelectionAndTellsOnChange) {
  auto* tree = Add<TTreeView>();
  TTreeNode* root = tree->Items()->Add(nullptr, "总部");
  TTreeNode* child = tree->Items()->AddChild(root, "财务科");
  std::vector<TTreeNode*> changes;
  tree->OnChange = [&](TObject*, TTreeNode* node) { changes.push_back(node); };
  tree->SetSelected(child);
  EXPECT_TRUE(child->Selected());
  root->Delete();  // takes the child with it
  EXPECT_EQ(tree->Selected(), nullptr);
  EXPECT_EQ(tree->Items()->Count(), 0);
  EXPECT_EQ(changes, (std::vector<TTreeNode*>{child, nullptr}));
}

TEST_F(ComCtrlsTest, OnChangingCanRefuseASelection) {
  auto* tree = Add<TTreeView>();
  TTreeNode* a = tree->Items()->Add(nullptr, "a");
  TTreeNode* b = tree->Items()->Add(nullptr, "b");
  tree->SetSelected(a);
  tree->OnChanging = [&](TObject*, TTreeNode* node, bool& allow) { allow = node != b; };
  tree->SetSelected(b);
  EXPECT_EQ(tree->Selected(), a);
}

TEST_F(ComCtrlsTest, ExpandingCanBeRefused) {
  auto* tree = Add<TTreeView>();
  TTreeNode* a = tree->Items()->Add(nullptr, "a");
  tree->Items()->AddChild(a, "b");
  tree->OnExpanding = [](TObject*, TTreeNode*, bool& allow) { allow = false; };
  a->Expand(false);
  EXPECT_FALSE(a->Expanded());
  tree->OnExpanding = nullptr;
  a->Expand(false);
  EXPECT_TRUE(a->Expanded());
}

TEST_F(ComCtrlsTest, PageControlShowsOnlyTheActiveSheet) {
  auto* pc = Add<TPageControl>();
  pc->SetBounds(0, 0, 300, 200);
  auto* s1 = new TTabSheet(form);
  s1->SetPageControl(pc);
  s1->SetCaption("工资");
  auto* s2 = new TTabSheet(form);
  s2->SetPageControl(pc);
  s2->SetCaption("奖金");
  EXPECT_EQ(pc->ActivePage(), s1) << "the first sheet is shown";
  int changes = 0;
  pc->OnChange = [&](TObject*) { ++changes; };
  pc->SelectNextPage(true);
  EXPECT_EQ(pc->ActivePage(), s2);
  EXPECT_TRUE(s2->Visible());
  EXPECT_FALSE(s1->Visible());
  EXPECT_EQ(changes, 1);
  EXPECT_GT(s2->Top(), 0) << "below the tabs";
  delete s2;
  EXPECT_EQ(pc->PageCount(), 1);
  EXPECT_EQ(pc->ActivePage(), s1);
}

TEST_F(ComCtrlsTest, NotebookPagesFollowTheirNames) {
  auto* nb = Add<TNotebook>();
  EXPECT_EQ(nb->PageCount(), 1);
  EXPECT_EQ(nb->ActivePage(), "Default");
  nb->Pages()->SetText("TbsZgXz\r\nTbsZgJs\r\ntbsStrat\r\n");
  EXPECT_EQ(nb->PageCount(), 3);
  nb->SetActivePage("tbsStrat");
  EXPECT_EQ(nb->PageIndex(), 2);
  nb->Pages()->Delete(2);
  EXPECT_EQ(nb->PageCount(), 2);
  EXPECT_EQ(nb->PageIndex(), 2) << "index kept; no page shown until another is chosen";
  nb->SetPageIndex(0);
  EXPECT_TRUE(nb->PageAt(0)->Visible());
}

TEST_F(ComCtrlsTest, SpeedButtonsOfAGroupStayExclusive) {
  auto* a = Add<TSpeedButton>();
  auto* b = Add<TSpeedButton>();
  auto* lone = Add<TSpeedButton>();
  a->SetGroupIndex(1);
  b->SetGroupIndex(1);
  a->Click();
  EXPECT_TRUE(a->Down());
  b->Click();
  EXPECT_TRUE(b->Down());
  EXPECT_FALSE(a->Down());
  b->Click();
  EXPECT_TRUE(b->Down()) << "without AllowAllUp the down button stays down";
  b->SetAllowAllUp(true);
  b->Click();
  EXPECT_FALSE(b->Down());
  lone->SetDown(true);
  EXPECT_FALSE(lone->Down()) << "a button outside any group never stays down";
}

TEST_F(ComCtrlsTest, SpeedButtonClickRunsOnClickFromTheMouse) {
  auto* b = Add<TSpeedButton>();
  b->SetBounds(10, 10, 60, 22);
  int clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  form->Show();
  ClickControl(b);
  EXPECT_EQ(clicks, 1);
  b->SetEnabled(false);
  b->Click();
  EXPECT_EQ(clicks, 1);
}

TEST_F(ComCtrlsTest, PanelBevelsNarrowTheAreaOfAlignedChildren) {
  auto* panel = Add<TPanel>();
  panel->SetBounds(0, 0, 200, 100);
  panel->SetBevelOuter(bvRaised);
  panel->SetBevelInner(bvLowered);
  panel->SetBevelWidth(2);
  panel->SetBorderWidth(3);
  auto* inside = Add<TPanel>(panel);
  inside->SetAlign(alClient);
  EXPECT_EQ(inside->BoundsRect(), Rect(7, 7, 193, 93));
}

TEST_F(ComCtrlsTest, ProgressBarClampsAndStepItWraps) {
  auto* bar = Add<TProgressBar>();
  bar->SetMax(25);
  bar->SetStep(10);
  bar->SetPosition(30);
  EXPECT_EQ(bar->Position(), 25);
  bar->SetPosition(10);
  bar->StepIt();
  EXPECT_EQ(bar->Position(), 20);
  bar->StepIt();
  EXPECT_EQ(bar->Position(), 0);
}

TEST_F(ComCtrlsTest, TimerTicksOnlyWhileEnabledWithAnInterval) {
  TTimer timer(nullptr);
  int ticks = 0;
  timer.OnTimer = [&](TObject*) { ++ticks; };
  timer.TickForTest();
  timer.SetEnabled(false);
  timer.TickForTest();
  timer.SetEnabled(true);
  timer.SetInterval(0);
  timer.TickForTest();
  EXPECT_EQ(ticks, 1);
}

TEST_F(ComCtrlsTest, ToolButtonsArePackedFromTheLeftAndCheckGroupsAreExclusive) {
  auto* bar = Add<TToolBar>();
  bar->SetButtonWidth(30);
  auto* b1 = Add<TToolButton>(bar);
  b1->SetLeft(0);
  auto* sep = Add<TToolButton>(bar);
  sep->SetLeft(100);
  sep->SetStyle(tbsSeparator);
  auto* b2 = Add<TToolButton>(bar);
  b2->SetLeft(200);
  bar->ArrangeButtons();
  EXPECT_EQ(b1->Left(), 0);
  EXPECT_EQ(sep->Left(), 30);
  EXPECT_EQ(b2->Left(), 38);
  for (TToolButton* b : {b1, b2}) {
    b->SetStyle(tbsCheck);
    b->SetGrouped(true);
  }
  b1->Click();
  b2->Click();
  EXPECT_FALSE(b1->Down());
  EXPECT_TRUE(b2->Down());
}

}  // namespace

#include "platform/core/TextForm.h"
#include "platform/ui/StatusBar.h"


namespace {

TEST_F(ComCtrlsTest, StatusPanelsSitSideBySideAndTheLastReachesTheEdge) {
  auto* bar = Add<TStatusBar>();
  EXPECT_EQ(bar->Align(), alBottom);
  EXPECT_EQ(bar->Top(), 300 - bar->Height());
  bar->Panels()->Add()->SetWidth(80);
  bar->Panels()->Add()->SetWidth(0);
  bar->Panels()->Add()->SetWidth(120);
  EXPECT_EQ(bar->PanelRect(0), Rect(0, 2, 80, bar->ClientHeight()));
  EXPECT_EQ(bar->PanelRect(1), Rect(80, 2, 80, bar->ClientHeight()));
  EXPECT_EQ(bar->PanelRect(2), Rect(80, 2, 400, bar->ClientHeight()));
  EXPECT_TRUE(bar->PanelRect(3).IsEmpty());
}

TEST_F(ComCtrlsTest, OwnerDrawnPanelsArePaintedByTheHandler) {
  auto* bar = Add<TStatusBar>();
  TStatusPanel* glyph = bar->Panels()->Add();
  glyph->SetStyle(psOwnerDraw);
  bar->Panels()->Add()->SetText("操作员");
  std::vector<int> drawn;
  bar->OnDrawPanel = [&](TStatusBar*, TStatusPanel* p, const TRect&) { drawn.push_back(p->Index()); };
  form->Show();
  bar->Surface()->grab();  // paints once
  EXPECT_EQ(drawn, (std::vector<int>{0}));
}

TEST_F(ComCtrlsTest, StatusPanelsReadFromADefinition) {
  RegisterVisualClasses();
  struct THost : TForm {
    explicit THost(TComponent* o) : TForm(o) {}
    void Load(const char* t) { InitFormFromText(t); }
  } host(nullptr);
  host.Load(R"(object Host: TForm
  object sbStatusBar: TStatusBar
    Panels = <
      item
        Width = 80
      end
      item
        Alignment = taCenter
        Text = '操作员'
        Width = 60
      end>
  end
end
)");
  auto* bar = static_cast<TStatusBar*>(host.FindComponent("sbStatusBar"));
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(bar->Panels()->Count(), 2);
  EXPECT_EQ(bar->Panels()->Items(1)->Text(), "操作员");
  EXPECT_EQ(bar->Panels()->Items(1)->Alignment(), taCenter);
  EXPECT_EQ(bar->Panels()->Items(0)->Width(), 80);
}

}  // namespace

namespace {

TEST_F(ComCtrlsTest, FreeingATreeWithASelectionRunsNoHandler) {
  auto* tree = Add<TTreeView>();
  TTreeNode* a = tree->Items()->Add(nullptr, "a");
  tree->Items()->AddChild(a, "b");
  a->Expand(true);
  tree->SetSelected(a->GetFirstChild());
  int calls = 0;
  tree->OnChange = [&](TObject*, TTreeNode*) { ++calls; };
  tree->OnCollapsed = [&](TObject*, TTreeNode*) { ++calls; };
  form->Show();
  delete tree;
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(form->ControlCount(), 0);
}

}  // namespace
