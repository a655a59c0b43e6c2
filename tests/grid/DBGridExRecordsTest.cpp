// Record following: rows as the data link's buffer, the vertical scroll
// bar, scrolling by shifting pixels, footers at the bottom, leaving the
// grid with an untouched insert.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/DBGridEx.h"
#include "grid/DBSumList.h"
#include "grid/GridDataLinkEx.h"

namespace {

class RecordsTest : public GridOnFormFixture {
 protected:
  int RowStep() { return grid->DefaultRowHeight() + 1; }
  // Data rows that fit below the title.
  int FittingRows() { return (grid->ClientHeight() - grid->TitleRowHeight() - 1) / RowStep(); }
};

TEST_F(RecordsTest, AnEmptyDatasetShowsTheTitleAndOneEmptyRow) {
  Link();
  EXPECT_EQ(grid->RowCount(), 2);
  EXPECT_EQ(grid->Row(), 1);
  grid->SetDataSource(nullptr);
  EXPECT_EQ(grid->RowCount(), 2);
}

TEST_F(RecordsTest, RowsAreTheBufferWindowNotTheRecordCount) {
  AddRows(100);
  Link();
  const int fitting = FittingRows();
  ASSERT_GT(fitting, 3);
  EXPECT_EQ(grid->DataLink()->BufferCount(), fitting);
  EXPECT_EQ(grid->RowCount(), fitting + 1);
  EXPECT_EQ(grid->Row(), 1);
  ds->Last();
  EXPECT_EQ(grid->Row(), grid->RowCount() - 1);
  EXPECT_EQ(grid->DataLink()->ActiveRecord(), fitting - 1);
  // A grid too small for more than a few rows keeps at least one.
  Place(200, grid->TitleRowHeight() + 3);
  EXPECT_EQ(grid->DataLink()->BufferCount(), 1);
}

TEST_F(RecordsTest, VerticalBarShowsRecordNumbers) {
  AddRows(50);
  Link();
  int min = 0, max = 0;
  grid->GetScrollRange(SB_VERT, min, max);
  const int page = grid->VisibleRowCount();
  EXPECT_EQ(min, 1);
  EXPECT_EQ(max, 50 + page - 1);
  EXPECT_EQ(grid->GetScrollPos(SB_VERT), 1);
  GoTo(20);
  EXPECT_EQ(grid->GetScrollPos(SB_VERT), 21);
  EXPECT_TRUE(grid->ScrollBarVisible(SB_VERT));
  ds->Close();
  EXPECT_FALSE(grid->ScrollBarVisible(SB_VERT)) << "a closed dataset has nothing to scroll";
}

TEST_F(RecordsTest, WithoutRecordNumbersTheBarHasThreePositions) {
  AddRows(50);
  ds->SetOnFilterRecord([](TDataSet*, bool& accept) { accept = true; });
  ds->SetFiltered(true);  // a filtered table has no record numbers
  Link();
  int min = -1, max = -1;
  grid->GetScrollRange(SB_VERT, min, max);
  EXPECT_EQ(min, 0);
  EXPECT_EQ(max, 4);
  EXPECT_EQ(grid->GetScrollPos(SB_VERT), 0);
  ds->MoveBy(10);
  EXPECT_EQ(grid->GetScrollPos(SB_VERT), 2);
  ds->Last();
  EXPECT_EQ(grid->GetScrollPos(SB_VERT), 4);
}

TEST_F(RecordsTest, AnInvisibleVerticalBarHasNoRange) {
  AddRows(50);
  Link();
  grid->VertScrollBar()->SetVisible(false);
  int min = 0, max = 0;
  grid->GetScrollRange(SB_VERT, min, max);
  EXPECT_EQ(max, min);
  EXPECT_FALSE(grid->ScrollBarVisible(SB_VERT));
}

TEST_F(RecordsTest, AFewRecordsShiftPixelsAFarJumpRepaintsEverything) {
  AddRows(200);
  Link();
  Shot();
  GoTo(FittingRows() + 5);  // the window scrolls by a few records
  int before = grid->InvalidateCount();
  ds->MoveBy(1);
  ds->MoveBy(2);
  EXPECT_EQ(grid->InvalidateCount(), before) << "a short scroll shifts the window";
  ds->MoveBy(3 * FittingRows());
  EXPECT_GT(grid->InvalidateCount(), before);
}

TEST_F(RecordsTest, ScrollingKeepsWhatIsShownRight) {
  AddRows(200);
  TColumnEx* n = AddColumn("N");
  n->SetWidth(60);
  Link();
  Shot();
  GoTo(FittingRows() + 2);  // shifted by whole rows, three rows
  QImage shifted = Shot();
  grid->Invalidate();
  QImage full = Shot();
  SaveGridShot(shifted, "grid-scrolled");
  EXPECT_EQ(shifted, full) << "the shifted picture equals a full repaint";
}

TEST_F(RecordsTest, WhatTheSumListsWalkLeavesIsPaintedRight) {
  AddRows(120);
  AddColumn("N")->SetWidth(60);
  AddColumn("PAY")->Footer()->SetValueType(fvtCount);
  Link();
  grid->SetFooterRowCount(1);
  Shot();
  grid->SumList()->SetActive(true);
  ds->MoveBy(3);
  QImage after = Shot();
  grid->Invalidate();
  QImage full = Shot();
  SaveGridShot(after, "grid-after-sumlist");
  EXPECT_EQ(after, full);
}

TEST_F(RecordsTest, FootersEndAtTheBottomBelowASpacer) {
  AddRows(100);
  AddColumn("NAME");
  AddColumn("PAY")->Footer()->SetValueType(fvtSum);
  Link();
  grid->SetFooterRowCount(2);
  const int rows = grid->RowCount();
  TRect last = grid->CellRect(1, rows - 1);
  EXPECT_EQ(last.Bottom + 1, grid->ClientRect().Bottom);
  const int spacer = rows - 3;
  EXPECT_GE(grid->RowHeights(spacer), 0);
  EXPECT_EQ(grid->DataLink()->BufferCount() + 1 + 1 + 2, rows);
  // Even with room for nothing else, one record stays.
  Place(300, grid->TitleRowHeight() + 2 * RowStep() + 5);
  EXPECT_EQ(grid->DataLink()->BufferCount(), 1);
  EXPECT_GE(grid->RowHeights(grid->RowCount() - 3), 0);
}

TEST_F(RecordsTest, ClickingARowMovesTheRecordAndTheGridFollows) {
  AddRows(10);
  AddColumn("NAME");
  AddColumn("N");
  Link();
  TRect cell = grid->CellRect(2, 4);
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(cell.Left + 3, cell.Top + 3));
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(cell.Left + 3, cell.Top + 3));
  EXPECT_EQ(ds->FieldByName("N")->AsInteger(), 3);
  EXPECT_EQ(grid->Row(), 4);
  EXPECT_EQ(grid->Col(), 2);
  // Rows below the records are never current.
  grid->SetRowCount(grid->RowCount());
  grid->FocusCell(1, grid->RowCount() - 1, true);
  EXPECT_EQ(grid->Row(), grid->RowCount() - 1) << "the last record's row";
  EXPECT_EQ(ds->FieldByName("N")->AsInteger(), 9);
}

TEST_F(RecordsTest, LeavingTheGridCancelsAnUntouchedInsert) {
  AddRows(3);
  Link();
  ds->Append();
  ASSERT_EQ(ds->State(), dsInsert);
  grid->DoExit();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->RecordCount(), 3);
}

TEST_F(RecordsTest, TheEditorShowsTheCurrentFieldsText) {
  AddRows(5);
  AddColumn("NAME");
  AddColumn("N");
  Link();
  grid->SetOptions(grid->Options() + TDBGridOptions{dgAlwaysShowEditor});
  grid->ShowEditor();
  ASSERT_NE(grid->InplaceEditor(), nullptr);
  EXPECT_TRUE(grid->InplaceEditor()->EditorVisible());
  EXPECT_EQ(grid->InplaceEditor()->Text(), AnsiString("name0"));
  TRect cell = grid->CellRect(grid->Col(), grid->Row());
  EXPECT_EQ(grid->InplaceEditor()->BoundsRect().Left, cell.Left);
  ds->Next();
  EXPECT_EQ(grid->InplaceEditor()->Text(), AnsiString("name1"));
  EXPECT_EQ(grid->InplaceEditor()->Top(), grid->CellRect(grid->Col(), 2).Top);
}

}  // namespace
