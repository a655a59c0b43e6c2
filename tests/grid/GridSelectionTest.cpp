// The grid's selection: sorted record bookmarks, the rectangle between two
// corners, column sets with shift-extension, and the whole grid.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "TransferTestSupport.h"
#include "grid/GridExUtils.h"
#include "grid/GridSelection.h"

namespace {

class SelectionTest : public GridFixture {
 protected:
  void SetUp() override {
    GridFixture::SetUp();
    for (int i = 0; i < 6; ++i) ds->AddRow({"r" + std::to_string(i), 1.0 * i, i, "Y", true});
    for (const char* f : {"NAME", "PAY", "N", "FLAG", "OK", "NAME"}) cols.push_back(AddColumn(f));
    Link();
  }
  TBookmarkStr Mark(int row) {
    GoTo(row);
    return ds->Bookmark();
  }
  void SelectRows(std::initializer_list<int> rows) {
    for (int r : rows) {
      GoTo(r);
      rowsList()->SetCurrentRowSelected(true);
    }
  }
  TBookmarkListEx* rowsList() { return grid->SelectedRows(); }
  TDBGridExSelection* sel() { return grid->Selection(); }
  std::vector<int> SelectedColumns() {
    std::vector<int> v;
    for (int i = 0; i < sel()->Columns()->Count(); ++i)
      v.push_back(sel()->Columns()->Items(i)->Index());
    return v;
  }
  std::vector<TColumnEx*> cols;
};

TEST_F(SelectionTest, BookmarksStayInDatasetOrderAndAreFoundByBinarySearch) {
  int index = -1;
  EXPECT_FALSE(rowsList()->Find(Mark(0), index));
  EXPECT_EQ(index, 0);
  SelectRows({4, 1, 3});
  EXPECT_EQ(sel()->SelectionType(), gstRecordBookmarks);
  ASSERT_EQ(rowsList()->Count(), 3);
  EXPECT_EQ(rowsList()->Items(0), Mark(1));
  EXPECT_EQ(rowsList()->Items(1), Mark(3));
  EXPECT_EQ(rowsList()->Items(2), Mark(4));
  const struct {
    int row;
    bool found;
    int index;
  } cases[] = {{0, false, 0}, {1, true, 0}, {2, false, 1},
               {3, true, 1},  {4, true, 2}, {5, false, 3}};
  for (const auto& k : cases) {
    EXPECT_EQ(rowsList()->Find(Mark(k.row), index), k.found) << k.row;
    EXPECT_EQ(index, k.index) << k.row;
    EXPECT_EQ(sel()->DataCellSelected(0, Mark(k.row)), k.found) << k.row;
  }
  GoTo(3);
  EXPECT_TRUE(rowsList()->CurrentRowSelected());
  rowsList()->SetCurrentRowSelected(false);
  EXPECT_FALSE(rowsList()->CurrentRowSelected()) << "the cached answer follows the change";
  EXPECT_EQ(rowsList()->Count(), 2);
}

TEST_F(SelectionTest, UnselectingTheLastRecordEndsTheSelection) {
  SelectRows({2});
  rowsList()->SetCurrentRowSelected(false);
  EXPECT_EQ(sel()->SelectionType(), gstNon);
}

TEST_F(SelectionTest, SelectingARecordReplacesAnotherKindOfSelection) {
  sel()->Rect()->Select(0, Mark(0), false);
  sel()->Rect()->Select(2, Mark(2), true);
  ASSERT_EQ(sel()->SelectionType(), gstRectangle);
  SelectRows({4});
  EXPECT_EQ(sel()->SelectionType(), gstRecordBookmarks);
  EXPECT_EQ(sel()->Rect()->AnchorCol(), -1);
}

TEST_F(SelectionTest, CurrentRowNeedsAnOpenDataset) {
  ds->Close();
  try {
    rowsList()->CurrentRow();
    FAIL() << "no error";
  } catch (const EInvalidGridOperation& e) {
    EXPECT_EQ(e.Message(), "Cannot perform this operation on a closed dataset");
  }
}

TEST_F(SelectionTest, DeletingSelectedRecordsSkipsOnesAlreadyGone) {
  SelectRows({1, 3, 4});
  // Another user deletes record 3 meanwhile (here: through the dataset
  // itself, behind the selection's back).
  GoTo(3);
  ds->Delete();
  TAnsweringDialogs dialogs;
  EXPECT_EQ(rowsList()->Delete(), 2);
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, SkippedDeletesText(2, 1));
  EXPECT_EQ(ds->StoredRowCount(), 3);
  std::vector<std::string> left;
  for (ds->First(); !ds->Eof(); ds->Next()) left.push_back(ds->FieldByName("NAME")->AsString());
  EXPECT_EQ(left, (std::vector<std::string>{"r0", "r2", "r5"}));
  EXPECT_EQ(rowsList()->Count(), 0);
  EXPECT_EQ(sel()->SelectionType(), gstNon);
  EXPECT_FALSE(ds->ControlsDisabled());
}

TEST_F(SelectionTest, RectangleBetweenTwoCorners) {
  sel()->Rect()->Select(3, Mark(4), false);
  EXPECT_EQ(sel()->SelectionType(), gstNon) << "one cell is no rectangle";
  sel()->Rect()->Select(1, Mark(2), true);
  EXPECT_EQ(sel()->SelectionType(), gstRectangle);
  TDBGridExSelectionRect* r = sel()->Rect();
  EXPECT_EQ(r->TopRow(), Mark(2));
  EXPECT_EQ(r->BottomRow(), Mark(4));
  EXPECT_EQ(r->LeftCol(), 1);
  EXPECT_EQ(r->RightCol(), 3);
  const struct {
    int col, row;
    bool in;
  } cases[] = {{1, 2, true},  {3, 4, true},  {2, 3, true}, {0, 3, false},
               {4, 3, false}, {2, 1, false}, {2, 5, false}};
  for (const auto& k : cases)
    EXPECT_EQ(sel()->DataCellSelected(k.col, Mark(k.row)), k.in) << k.col << "," << k.row;
  EXPECT_FALSE(sel()->DataCellSelected(-1, Mark(3)));
  EXPECT_FALSE(grid->EditorShowing());
  sel()->Rect()->Select(3, Mark(4), true);  // back onto the anchor
  EXPECT_EQ(sel()->SelectionType(), gstNon);
}

TEST_F(SelectionTest, RectangleQueriesNeedAnActiveLink) {
  sel()->Rect()->Select(1, Mark(1), false);
  sel()->Rect()->Select(2, Mark(2), true);
  TBookmarkStr b = Mark(1);
  grid->SetDataSource(nullptr);
  auto message = [](auto f) {
    try {
      f();
    } catch (const EInvalidGridOperation& e) {
      return std::string(e.Message());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { sel()->Rect()->CellSelected(1, b); }),
            "Error in function TDBGridExSelectionRect.CellSelected");
  EXPECT_EQ(message([&] { sel()->Rect()->BottomRow(); }),
            "Error in TDBGridExSelectionRect.GetBottomRow");
  EXPECT_EQ(message([&] { sel()->Rect()->TopRow(); }), "Error in TDBGridExSelectionRect.GetTopRow");
}

TEST_F(SelectionTest, ShiftExtendingColumnsRevertsOnlyWhatTheShiftChanged) {
  sel()->Columns()->Select(cols[2], false);
  sel()->Columns()->SelectShift(cols[5]);
  EXPECT_EQ(SelectedColumns(), (std::vector<int>{2, 3, 4, 5}));
  sel()->Columns()->SelectShift(cols[3]);
  EXPECT_EQ(SelectedColumns(), (std::vector<int>{2, 3}));
  sel()->Columns()->SelectShift(cols[0]);  // across the anchor
  EXPECT_EQ(SelectedColumns(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(sel()->SelectionType(), gstColumns);

  // A column the user selected before the shift keeps its state.
  sel()->Columns()->Select(cols[4], false);
  sel()->Columns()->InvertSelect(cols[1]);  // anchor 1, selected {1, 4}
  sel()->Columns()->SelectShift(cols[5]);
  EXPECT_EQ(SelectedColumns(), (std::vector<int>{1, 2, 3, 4, 5}));
  sel()->Columns()->SelectShift(cols[1]);
  EXPECT_EQ(SelectedColumns(), (std::vector<int>{1, 4}));
}

TEST_F(SelectionTest, ShiftFromAnUnselectedAnchorUnselects) {
  for (TColumnEx* c : cols) sel()->Columns()->Select(c, true);
  sel()->Columns()->InvertSelect(cols[1]);  // anchor 1, now unselected
  sel()->Columns()->SelectShift(cols[3]);
  EXPECT_EQ(SelectedColumns(), (std::vector<int>{0, 4, 5}));
  sel()->Columns()->SelectShift(cols[2]);
  EXPECT_EQ(SelectedColumns(), (std::vector<int>{0, 3, 4, 5}));
}

TEST_F(SelectionTest, HiddenColumnsAreSkippedByShiftExtension) {
  cols[3]->SetVisible(false);
  sel()->Columns()->Select(cols[2], false);
  sel()->Columns()->SelectShift(cols[4]);
  EXPECT_EQ(SelectedColumns(), (std::vector<int>{2, 4}));
}

TEST_F(SelectionTest, TogglingTheOnlySelectedColumnOffEndsTheSelection) {
  sel()->Columns()->InvertSelect(cols[2]);
  EXPECT_EQ(sel()->SelectionType(), gstColumns);
  EXPECT_TRUE(sel()->DataCellSelected(2, Mark(0)));
  EXPECT_FALSE(sel()->DataCellSelected(-1, Mark(0)));
  sel()->Columns()->InvertSelect(cols[2]);
  EXPECT_EQ(sel()->SelectionType(), gstNon);
}

TEST_F(SelectionTest, RemovedColumnsLeaveTheColumnSelection) {
  sel()->Columns()->Select(cols[1], false);
  sel()->Columns()->Select(cols[3], true);
  delete cols[1];
  EXPECT_EQ(SelectedColumns(), (std::vector<int>{2})) << "column 3 moved to index 2";
  grid->BeginLayout();  // no layout runs: the column must still leave at once
  delete cols[3];
  EXPECT_EQ(sel()->Columns()->Count(), 0);
  grid->EndLayout();
}

TEST_F(SelectionTest, SelectAllAndClear) {
  SelectRows({1});
  sel()->SelectAll();
  EXPECT_EQ(sel()->SelectionType(), gstAll);
  EXPECT_EQ(rowsList()->Count(), 0);
  EXPECT_TRUE(sel()->DataCellSelected(-1, Mark(0)));
  grid->SetOptions(grid->Options() + TDBGridOptions{dgAlwaysShowEditor});
  sel()->Clear();
  EXPECT_EQ(sel()->SelectionType(), gstNon);
  EXPECT_TRUE(grid->EditorShowing());
}

TEST_F(SelectionTest, ClosingTheDatasetClearsTheSelection) {
  SelectRows({1, 2});
  ds->Close();
  EXPECT_EQ(sel()->SelectionType(), gstNon);
  EXPECT_EQ(rowsList()->Count(), 0);
  EXPECT_FALSE(rowsList()->LinkActive());
}

TEST_F(SelectionTest, DisallowingTheCurrentKindClearsIt) {
  sel()->Columns()->Select(cols[0], false);
  grid->SetAllowedSelections({gstRecordBookmarks});
  EXPECT_EQ(sel()->SelectionType(), gstNon);
}

}  // namespace
