// The grid's layout: defaults, row and title heights from the font
// metrics, frozen columns, auto-fit, the layout lock and its deferred
// message.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/DBGridEx.h"
#include "grid/GridDataLinkEx.h"
#include "platform/ui/MessageQueue.h"

namespace {

class LayoutTest : public GridOnFormFixture {
 protected:
  int TextH() { return grid->Canvas()->TextHeight("Wg"); }
};

TEST_F(LayoutTest, DefaultsAreThoseStreamedAsDefaults) {
  EXPECT_EQ(grid->Options().ToBits(), 3325u);
  EXPECT_EQ(grid->OptionsEx().ToBits(), 97u);
  EXPECT_EQ(grid->AllowedSelections().ToBits(), 30u);
  EXPECT_EQ(grid->AllowedOperations().ToBits(), 15u);
  EXPECT_EQ(grid->VTitleMargin(), 10);
  EXPECT_EQ(grid->FixedColor(), clBtnFace);
  EXPECT_EQ(grid->Color(), clWindow);
  // The base grid: lines, column sizing and moving, editing and tabs.
  EXPECT_EQ(grid->GridOptions().ToBits(), 3727u);
}

TEST_F(LayoutTest, WithoutDataSourceAnIndicatorAnEmptyColumnATitleAndOneRow) {
  grid->LayoutChanged();
  EXPECT_EQ(grid->ColCount(), 2);
  EXPECT_EQ(grid->ColWidths(0), 11);
  EXPECT_EQ(grid->RowCount(), 2);
  EXPECT_EQ(grid->FixedRows(), 1);
  EXPECT_EQ(grid->FixedCols(), 1);
}

TEST_F(LayoutTest, WithoutIndicatorNoColumnIsElevenWide) {
  AddColumn("NAME")->SetWidth(11 + 40);
  AddColumn("PAY");
  Link();
  grid->SetOptions(grid->Options() - TDBGridOptions{dgIndicator});
  EXPECT_EQ(grid->IndicatorCols(), 0);
  EXPECT_EQ(grid->ColCount(), 2);
  for (int c = 0; c < grid->ColCount(); ++c) EXPECT_NE(grid->ColWidths(c), 11) << c;
  EXPECT_EQ(grid->ColWidths(0), 51);
}

TEST_F(LayoutTest, RowHeightsComeFromTheFontMetrics) {
  Link();
  const int t = TextH();
  TTextMetric tm = FontMetrics().Metrics(*grid->Font());
  struct Case {
    bool flat;
    int rowLines, rowHeight;
    int expected;
  } cases[] = {
      {false, 0, 0, t + 3 + 1},
      {true, 0, 0, t + 1 + 1},
      {false, 2, 0, 2 * (tm.Height + tm.ExternalLeading)},
      {false, 1, 5, tm.Height + tm.ExternalLeading + 5},
      {false, 0, 30, 30},
  };
  for (const Case& k : cases) {
    grid->SetFlat(k.flat);
    grid->SetRowLines(k.rowLines);
    grid->SetRowHeight(k.rowHeight);
    EXPECT_EQ(grid->DefaultRowHeight(), k.expected)
        << k.flat << " " << k.rowLines << " " << k.rowHeight;
  }
  grid->SetRowHeight(-4);
  EXPECT_EQ(grid->RowHeight(), 0);
}

TEST_F(LayoutTest, ALargerFontLaysTheRowsOutAgain) {
  AddColumn("NAME");
  Link();
  int before = grid->LayoutCount();
  grid->Font()->SetHeight(-24);
  EXPECT_EQ(grid->LayoutCount(), before + 1);
  EXPECT_EQ(grid->DefaultRowHeight(), TextH() + 4);
  EXPECT_EQ(grid->Columns()->Items(0)->Font()->Height(), -24);
}

TEST_F(LayoutTest, TitleAndFooterFontsFollowTheParentsFontUntilSetThemselves) {
  ASSERT_TRUE(grid->ParentFont());
  form->Font()->SetName("Arial");
  EXPECT_EQ(grid->TitleFont()->Name(), AnsiString("Arial"));
  EXPECT_EQ(grid->FooterFont()->Name(), AnsiString("Arial"));
  EXPECT_TRUE(grid->ParentFont());
  grid->TitleFont()->SetHeight(-20);
  EXPECT_FALSE(grid->ParentFont());
}

TEST_F(LayoutTest, FitRowHeightToTextWritesBackLinesAndTheExtra) {
  Link();
  const int t = TextH();
  grid->SetOptionsEx(grid->OptionsEx() + TDBGridExOptions{dghFitRowHeightToText});
  EXPECT_EQ(grid->RowLines(), 1);
  EXPECT_EQ(grid->RowHeight(), 4);  // E: 3 + one grid line
  EXPECT_EQ(grid->DefaultRowHeight(), t + 4);
}

TEST_F(LayoutTest, TitleHeightFromTitleLinesAndTheLargestTitleFont) {
  TColumnEx* a = AddColumn("NAME");
  AddColumn("PAY");
  Link();
  EXPECT_EQ(grid->TitleRowHeight(), TextH() + 4);
  a->Title()->Font()->SetHeight(-20);
  grid->SetTitleLines(2);
  TTextMetric tm = FontMetrics().Metrics(*a->Title()->Font());
  EXPECT_EQ(grid->TitleRowHeight(), 2 * tm.Height + tm.ExternalLeading + 2 + 0 + 1);
  EXPECT_EQ(grid->RowHeights(0), grid->TitleRowHeight());
}

TEST_F(LayoutTest, HiddenColumnsDoNotUseUpFrozenPlaces) {
  TColumnEx* first = AddColumn("NAME");
  AddColumn("PAY");
  AddColumn("N");
  AddColumn("FLAG");
  Link();
  first->SetVisible(false);
  grid->SetFrozenCols(2);
  EXPECT_EQ(grid->FixedCols(), 1 + 3);
  EXPECT_EQ(grid->ColWidths(1), -1) << "a hidden column with column lines";
}

TEST_F(LayoutTest, NegativeFrozenColsCountsAsNone) {
  AddColumn("NAME");
  AddColumn("PAY");
  Link();
  grid->SetFrozenCols(-3);
  EXPECT_EQ(grid->FrozenCols(), 0);
  EXPECT_EQ(grid->FixedCols(), 1);
}

TEST_F(LayoutTest, RowSelectTakesEditingAway) {
  grid->SetOptions(grid->Options() + TDBGridOptions{dgRowSelect, dgAlwaysShowEditor});
  EXPECT_FALSE(grid->Options().Contains(dgEditing));
  EXPECT_FALSE(grid->Options().Contains(dgAlwaysShowEditor));
  EXPECT_TRUE(grid->GridOptions().Contains(goRowSelect));
  EXPECT_FALSE(grid->GridOptions().Contains(goEditing));
}

class AutoFitTest : public LayoutTest {
 protected:
  void ThreeColumns(int base) {
    for (const char* name : {"NAME", "PAY", "N"}) AddColumn(name)->SetWidth(base);
    grid->SetBorderStyle(bsNone);
    Link();
    Place(500, 200);
  }
  int W(int i) { return grid->Columns()->Items(i)->Width(); }
};

TEST_F(AutoFitTest, WidthsShareTheClientWidthAndTheLastTakesTheRest) {
  ThreeColumns(100);
  grid->SetAutoFitColWidths(true);
  ASSERT_EQ(grid->ClientWidth(), 500);
  // 500 - 11 indicator - 3 column lines - 1 = 485; MulDiv(100, 485, 300) = 162.
  EXPECT_EQ(W(0), 162);
  EXPECT_EQ(W(1), 162);
  EXPECT_EQ(W(2), 161);
  EXPECT_EQ(grid->ScrollBars(), ssNone);
  grid->SetAutoFitColWidths(false);
  EXPECT_EQ(W(0), 100);
  EXPECT_EQ(W(2), 100);
  EXPECT_EQ(grid->ScrollBars(), ssHorizontal);
}

TEST_F(AutoFitTest, ZeroBaseWidthsLeaveTheWidthsAlone) {
  ThreeColumns(0);
  grid->SetAutoFitColWidths(true);
  for (int i = 0; i < 3; ++i) EXPECT_GE(W(i), 0) << i;
  for (int c = 1; c < grid->ColCount(); ++c) EXPECT_GE(grid->ColWidths(c), 0) << c;
}

TEST_F(AutoFitTest, FollowsTheClientWidth) {
  ThreeColumns(100);
  grid->SetAutoFitColWidths(true);
  Place(300, 200);
  EXPECT_EQ(W(0) + W(1) + W(2), 300 - 11 - 3 - 1);
}

TEST_F(LayoutTest, LayoutRunsOnceForNestedBracketsAndNotUnderTheUpdateLock) {
  Link();
  int before = grid->LayoutCount();
  grid->BeginLayout();
  grid->BeginLayout();
  grid->SetRowLines(2);  // dropped: the lock is held
  grid->EndLayout();
  EXPECT_EQ(grid->LayoutCount(), before);
  grid->EndLayout();
  EXPECT_EQ(grid->LayoutCount(), before + 1);
  grid->BeginUpdate();
  grid->LayoutChanged();
  EXPECT_EQ(grid->LayoutCount(), before + 1);
  grid->EndUpdate();
  grid->EndUpdate();  // never below zero
  EXPECT_EQ(grid->UpdateLock(), 0);
}

TEST_F(LayoutTest, DeferredLayoutIsOneQueuedMessage) {
  Link();
  DeliverPostedMessages();
  int before = grid->LayoutCount();
  for (int i = 0; i < 3; ++i) {
    grid->BeginLayout();
    grid->DeferLayout();
  }
  EXPECT_FALSE(grid->LayoutLocked());
  EXPECT_TRUE(HasPostedMessage(grid, CM_DEFERLAYOUT));
  EXPECT_EQ(RemovePostedMessages(grid, CM_DEFERLAYOUT), 1);
  grid->BeginLayout();
  grid->DeferLayout();
  // Arriving while someone holds the lock, the message waits for later.
  grid->BeginLayout();
  DeliverPostedMessages();
  EXPECT_EQ(grid->LayoutCount(), before);
  EXPECT_TRUE(HasPostedMessage(grid, CM_DEFERLAYOUT));
  grid->CancelLayout();
  DeliverPostedMessages();
  EXPECT_EQ(grid->LayoutCount(), before + 1);
  EXPECT_FALSE(HasPostedMessage(grid, CM_DEFERLAYOUT));
}

TEST_F(LayoutTest, ResizingAColumnByMouseWritesTheColumnWidth) {
  TColumnEx* a = AddColumn("NAME");
  AddColumn("PAY");
  Link();
  a->SetWidth(80);
  TRect r = grid->CellRect(1, 0);
  int widthChanges = 0;
  grid->OnColWidthsChanged = [&](TObject*) { ++widthChanges; };
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(r.Right, 3));
  grid->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(r.Right + 30, 3));
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(r.Right + 30, 3));
  EXPECT_EQ(a->Width(), 110);
  EXPECT_EQ(grid->ColWidths(1), 110);
  EXPECT_EQ(widthChanges, 1);
}

TEST_F(LayoutTest, DraggingATitleMovesTheColumn) {
  AddColumn("NAME");
  AddColumn("PAY");
  AddColumn("N");
  Link();
  int from = -1, to = -1;
  grid->OnColumnMoved = [&](TObject*, int f, int t) {
    from = f;
    to = t;
  };
  TRect a = grid->CellRect(1, 0), c = grid->CellRect(3, 0);
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(a.Left + 10, 5));
  grid->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(c.Left + 10, 5));
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(c.Left + 10, 5));
  EXPECT_EQ(from, 0);
  EXPECT_EQ(to, 2);
  EXPECT_EQ(grid->Columns()->Items(2)->FieldName(), AnsiString("NAME"));
}

}  // namespace
