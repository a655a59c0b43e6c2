// TCustomGrid: cell geometry with fixed and hidden cells, painting only
// what was invalidated, scrolling by shifting pixels, the in-place editor
// and the auto-scroll timer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "UiTestSupport.h"
#include "platform/ui/Grids.h"
#include "platform/ui/MessageQueue.h"

namespace {

// A grid that paints each cell in a colour of its own and counts the calls.
class TTestGrid : public TCustomGrid {
 public:
  using TCustomGrid::TCustomGrid;
  int drawn = 0;
  std::vector<std::pair<int, int>> cells;
  AnsiString edited;
  AnsiString GetEditText(int col, int row) override {
    return AnsiString("c") + std::to_string(col) + "r" + std::to_string(row);
  }
  void SetEditText(int, int, const AnsiString& value) override { edited = value; }
  using TCustomGrid::TimedScroll;

 protected:
  void DrawCell(int col, int row, const TRect& rect, const TGridDrawState& state) override {
    ++drawn;
    cells.emplace_back(col, row);
    Canvas()->Brush()->SetColor(state.Contains(gdFixed) ? clBtnFace
                                                        : static_cast<TColor>(0x10000 * (row * 7 % 256) + 0x100 * (col * 29 % 256) + 0x40));
    Canvas()->FillRect(rect);
  }
};

class GridsTest : public TFormTest {
 protected:
  void SetUp() override {
    TFormTest::SetUp();
    grid = Add<TTestGrid>();
    grid->SetBounds(0, 0, 300, 200);
    grid->SetScrollBars(ssNone);
    grid->SetBorderStyle(bsNone);
    grid->SetColCount(10);
    grid->SetRowCount(40);
    grid->SetDefaultColWidth(50);
    grid->SetDefaultRowHeight(20);
    form->Show();
  }
  QImage Paint() {
    grid->drawn = 0;
    grid->cells.clear();
    QApplication::processEvents();
    return grid->Surface()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
  TTestGrid* grid = nullptr;
};

TEST_F(GridsTest, CellsFollowWidthsLinesAndTheScrollPosition) {
  grid->SetColWidths(2, -1);  // hidden, with its line
  grid->SetLeftCol(3);
  grid->SetTopRow(5);
  const struct {
    int col, row;
    TRect rect;
  } cases[] = {
      {0, 0, TRect(0, 0, 50, 20)},      {1, 0, TRect()},  // scrolled out
      {3, 0, TRect(51, 0, 101, 20)},    {4, 5, TRect(102, 21, 152, 41)},
      {0, 6, TRect(0, 42, 50, 62)},     {3, 4, TRect()},
  };
  for (const auto& k : cases) {
    TRect r = grid->CellRect(k.col, k.row);
    EXPECT_EQ(r.Left, k.rect.Left) << k.col << "," << k.row;
    EXPECT_EQ(r.Top, k.rect.Top) << k.col << "," << k.row;
    EXPECT_EQ(r.Right, k.rect.Right) << k.col << "," << k.row;
    EXPECT_EQ(r.Bottom, k.rect.Bottom) << k.col << "," << k.row;
    if (r.Width() > 0) {
      TGridCoord c = grid->MouseCoord(r.Left + 1, r.Top + 1);
      EXPECT_EQ(c.X, k.col);
      EXPECT_EQ(c.Y, k.row);
    }
  }
  EXPECT_EQ(grid->VisibleRowCount(), (200 - 21) / 21);
}

TEST_F(GridsTest, AFrameMovesTheCellsIn) {
  grid->SetBorderStyle(bsSingle);
  EXPECT_EQ(grid->CellRect(0, 0).Left, 2);
  EXPECT_EQ(grid->CellRect(1, 1).Top, 2 + 21);
  EXPECT_EQ(grid->MouseCoord(1, 1).X, -1) << "the frame is no cell";
  EXPECT_EQ(grid->MouseCoord(3, 3).X, 0);
  grid->SetCtl3D(false);
  EXPECT_EQ(grid->CellRect(0, 0).Left, 1);
  QImage img = Paint();
  EXPECT_EQ(img.pixel(0, 50) & 0xFFFFFF, 0u) << "a black frame";
}

TEST_F(GridsTest, OnlyInvalidatedCellsArePaintedAgain) {
  Paint();
  grid->InvalidateCell(3, 4);
  Paint();
  ASSERT_EQ(grid->drawn, 1);
  EXPECT_EQ(grid->cells[0], std::make_pair(3, 4));
  grid->InvalidateGridRow(2);
  Paint();
  EXPECT_EQ(grid->drawn, grid->VisibleColCount() + 1 + 1) << "the row, its fixed cell, a part column";
}

TEST_F(GridsTest, ScrollingShiftsPixelsAndPaintsOnlyTheUncoveredRows) {
  Paint();
  grid->SetTopRow(grid->TopRow() + 2);
  QImage shifted = Paint();
  const int columnsShown = grid->VisibleColCount() + 1 + 1;
  // Two new rows at the bottom plus the row only partly shown before.
  EXPECT_LE(grid->drawn, 3 * columnsShown);
  grid->Invalidate();
  QImage full = Paint();
  EXPECT_EQ(shifted, full);
  grid->SetTopRow(grid->TopRow() + 30);  // further than a screen: a full repaint
  Paint();
  EXPECT_GT(grid->drawn, 5 * columnsShown);
}

TEST_F(GridsTest, TheEditorIsHostedOverTheCurrentCell) {
  grid->SetGridOptions(grid->GridOptions() + TGridOptions{goEditing, goAlwaysShowEditor});
  grid->FocusCell(2, 3, true);
  grid->ShowEditor();
  TInplaceEdit* editor = grid->InplaceEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(editor->EditorVisible());
  EXPECT_EQ(editor->Parent(), grid);
  EXPECT_EQ(editor->Text(), AnsiString("c2r3"));
  TRect cell = grid->CellRect(2, 3);
  EXPECT_EQ(editor->Left(), cell.Left);
  EXPECT_EQ(editor->Top(), cell.Top);
  EXPECT_EQ(editor->Width(), cell.Width());
  editor->SelectAll();
  editor->Perform(WM_CHAR, 'x');
  EXPECT_EQ(grid->edited, AnsiString("x"));
  std::uint16_t key = VK_DOWN;
  editor->Perform(WM_KEYDOWN, key);
  EXPECT_EQ(grid->Row(), 4);
  EXPECT_EQ(editor->Text(), AnsiString("c2r4"));
  EXPECT_EQ(editor->Top(), grid->CellRect(2, 4).Top);
  grid->HideEditor();
  EXPECT_FALSE(editor->EditorVisible());
  EXPECT_FALSE(grid->EditorMode());
}

TEST_F(GridsTest, DraggingBelowTheCellsScrollsOnTheTimer) {
  TRect cell = grid->CellRect(2, 3);
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(cell.Left + 2, cell.Top + 2));
  EXPECT_EQ(grid->Row(), 3);
  grid->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(cell.Left + 2, 250));
  int top = grid->TopRow();
  grid->Perform(WM_TIMER, 1);
  grid->Perform(WM_TIMER, 1);
  EXPECT_EQ(grid->TopRow(), top + 2);
  EXPECT_GT(grid->Row(), 3);
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(cell.Left + 2, 250));
  EXPECT_EQ(grid->GridState(), gsNormal);
}

TEST_F(GridsTest, FixedCountsStayBelowTheCellCount) {
  grid->SetFixedCols(20);
  EXPECT_EQ(grid->FixedCols(), 9);
  grid->SetColCount(3);
  EXPECT_EQ(grid->FixedCols(), 2);
  EXPECT_GE(grid->Col(), 2);
  grid->SetRowCount(1);
  EXPECT_EQ(grid->FixedRows(), 0);
}

}  // namespace
