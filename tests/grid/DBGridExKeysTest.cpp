// Keyboard and mouse of the data grid, offscreen: navigation and the
// record operations keys start, Ctrl+Del with its confirmation (answered
// by a fake dialog service), the incremental search and its time-out
// (timer 2), title buttons with sort marking, mouse selection with
// auto-scroll, the wheel, edit actions and typed Chinese text.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "TransferTestSupport.h"
#include "grid/DBGridEx.h"
#include "grid/GridDataLinkEx.h"
#include "grid/GridSelection.h"
#include "grid/InplaceEditEx.h"
#include "platform/ui/Actions.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/Messages.h"
#include "platform/ui/Menus.h"

namespace {

class KeysTest : public GridOnFormFixture {
 protected:
  void SetUp() override {
    GridOnFormFixture::SetUp();
    AddColumn("NAME");
    AddColumn("PAY");
    AddColumn("N");
  }
  void Key(std::uint16_t key, TShiftState shift = TShiftState()) { grid->GridKeyDown(key, shift); }
  void Type(const AnsiString& bytes) {
    for (char b : bytes) grid->Perform(WM_CHAR, static_cast<unsigned char>(b), 0);
  }
  AnsiString Name() { return ds->FieldByName("NAME")->AsString(); }
  TPoint CellCentre(int col, int row) {
    TRect r = grid->CellRect(col, row);
    return TPoint{(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  }
  void Click(int col, int row, unsigned keys = 0) {
    TPoint p = CellCentre(col, row);
    grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON | keys, MakeLParam(p.x, p.y));
    grid->Perform(WM_LBUTTONUP, keys, MakeLParam(p.x, p.y));
  }
};

TEST_F(KeysTest, ArrowsMoveRecordsAndColumns) {
  AddRows(5);
  Link();
  Key(VK_DOWN);
  Key(VK_DOWN);
  EXPECT_EQ(Name(), AnsiString("name2"));
  Key(VK_UP);
  EXPECT_EQ(Name(), AnsiString("name1"));
  EXPECT_EQ(grid->SelectedIndex(), 0);
  Key(VK_RIGHT);
  EXPECT_EQ(grid->SelectedIndex(), 1);
  Key(VK_RIGHT, {ssCtrl});
  EXPECT_EQ(grid->SelectedIndex(), 2);
  Key(VK_LEFT, {ssCtrl});
  EXPECT_EQ(grid->SelectedIndex(), 0);
  Key(VK_END, {ssCtrl});
  EXPECT_EQ(Name(), AnsiString("name4"));
  Key(VK_HOME, {ssCtrl});
  EXPECT_EQ(Name(), AnsiString("name0"));
  Key(VK_NEXT);
  EXPECT_EQ(Name(), AnsiString("name4"));
}

TEST_F(KeysTest, DownAtTheEndAppendsAndUpCancelsTheUntouchedRecord) {
  AddRows(3);
  Link();
  ds->Last();
  Key(VK_DOWN);
  EXPECT_EQ(ds->State(), dsInsert);
  // Down again on the untouched new record does nothing.
  Key(VK_DOWN);
  EXPECT_EQ(ds->State(), dsInsert);
  Key(VK_UP);
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->RecordCount(), 3);
  EXPECT_EQ(Name(), AnsiString("name2"));
}

TEST_F(KeysTest, NoAppendWhenReadOnlyOrNotAllowed) {
  AddRows(2);
  Link();
  grid->SetReadOnly(true);
  ds->Last();
  Key(VK_DOWN);
  EXPECT_EQ(ds->State(), dsBrowse);
  grid->SetReadOnly(false);
  grid->SetAllowedOperations({alopInsertEx, alopUpdateEx, alopDeleteEx});
  Key(VK_DOWN);
  EXPECT_EQ(ds->State(), dsBrowse);
}

TEST_F(KeysTest, TabPastTheLastColumnGoesToTheNextRecord) {
  AddRows(3);
  Link();
  Key(VK_TAB);
  Key(VK_TAB);
  EXPECT_EQ(grid->SelectedIndex(), 2);
  Key(VK_TAB);
  EXPECT_EQ(grid->SelectedIndex(), 0);
  EXPECT_EQ(Name(), AnsiString("name1"));
  Key(VK_TAB, {ssShift});
  EXPECT_EQ(grid->SelectedIndex(), 2);
  EXPECT_EQ(Name(), AnsiString("name0"));
}

TEST_F(KeysTest, EscapeCancelsTheRecordsChanges) {
  AddRows(2);
  Link();
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("changed");
  Key(VK_ESCAPE);
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(Name(), AnsiString("name0"));
}

TEST_F(KeysTest, InsertKeyInsertsOrAppends) {
  AddRows(2);
  Link();
  Key(VK_INSERT);
  EXPECT_EQ(ds->State(), dsInsert);
  ds->Cancel();
  grid->SetAllowedOperations({alopUpdateEx});
  Key(VK_INSERT);
  EXPECT_EQ(ds->State(), dsBrowse);
}

TEST_F(KeysTest, CtrlDelAsksAndCancelDeletesNothing) {
  AddRows(3);
  Link();
  grid->SetEditActions({geaDeleteEx});
  TAnsweringDialogs dialogs;
  dialogs.Answers = {mrCancel};
  Key(VK_DELETE, {ssCtrl});
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, AnsiString("请确认删除记录?"));
  EXPECT_EQ(ds->RecordCount(), 3);
  dialogs.Answers = {mrOk};
  Key(VK_DELETE, {ssCtrl});
  EXPECT_EQ(ds->RecordCount(), 2);
  EXPECT_EQ(Name(), AnsiString("name1"));
}

TEST_F(KeysTest, CtrlDelWithMarkedRowsAsksForAllAndDeletesThem) {
  AddRows(4);
  Link();
  grid->SetOptions(grid->Options() + TDBGridOptions{dgMultiSelect});
  grid->SetEditActions({geaDeleteEx});
  GoTo(1);
  grid->SelectedRows()->SetCurrentRowSelected(true);
  GoTo(3);
  grid->SelectedRows()->SetCurrentRowSelected(true);
  // Marked rows are a selection: the selection's own delete asks.
  TAnsweringDialogs dialogs;
  dialogs.Answers = {mrOk};
  Key(VK_DELETE, {ssCtrl});
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, AnsiString("确认删除所有记录?"));
  EXPECT_EQ(ds->RecordCount(), 2);
}

TEST_F(KeysTest, CtrlDelWithoutTheEditActionDoesNothing) {
  AddRows(2);
  Link();
  grid->SetEditActions({});
  TAnsweringDialogs dialogs;
  Key(VK_DELETE, {ssCtrl});
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(ds->RecordCount(), 2);
}

TEST_F(KeysTest, CtrlAAndCtrlCCopyTheWholeGrid) {
  AddRows(2);
  Link();
  grid->SetEditActions({geaCopyEx, geaSelectAllEx});
  Key('C', {ssCtrl});  // nothing selected: nothing copied
  Clipboard()->SetAsText("before");
  Key('C', {ssCtrl});
  EXPECT_EQ(Clipboard()->AsText(), AnsiString("before"));
  Key('A', {ssCtrl});
  EXPECT_EQ(grid->Selection()->SelectionType(), gstAll);
  Key('C', {ssCtrl});
  AnsiString text = Clipboard()->AsText();
  EXPECT_NE(text.find("name0"), std::string::npos);
  EXPECT_NE(text.find("name1"), std::string::npos);
}

// --- incremental search -------------------------------------------------------

class SearchTest : public KeysTest {
 protected:
  void SetUp() override {
    KeysTest::SetUp();
    ds->AddRow({"张三", 1.0, 1, "N", false});
    ds->AddRow({"李四", 2.0, 2, "N", false});
    ds->AddRow({"李明", 3.0, 3, "N", false});
    ds->AddRow({"abc", 4.0, 4, "N", false});
    ds->AddRow({"abd", 5.0, 5, "N", false});
    Link();
    grid->Columns()->Items(0)->SetReadOnly(true);
    grid->SetOptionsEx(grid->OptionsEx() + TDBGridExOptions{dghIncSearch});
  }
};

TEST_F(SearchTest, TypingInAReadOnlyColumnSearchesWithATimeOut) {
  Type("ab");
  EXPECT_TRUE(grid->IncSearching());
  EXPECT_EQ(grid->IncSearchText(), AnsiString("ab"));
  EXPECT_EQ(Name(), AnsiString("abc"));
  EXPECT_EQ(grid->IncSearchTimeOut(), 1500);
  Type("D");  // case ignored
  EXPECT_EQ(Name(), AnsiString("abd"));
  grid->Perform(WM_TIMER, 2, 0);  // the time-out
  EXPECT_FALSE(grid->IncSearching());
  EXPECT_EQ(grid->IncSearchText(), AnsiString());
}

TEST_F(SearchTest, ANewSearchStartsFromTheFirstRecordAndFindsChineseText) {
  ds->Last();
  Type("李");
  EXPECT_EQ(Name(), AnsiString("李四"));
  Type("明");
  EXPECT_EQ(Name(), AnsiString("李明"));
  EXPECT_EQ(grid->IncSearchText(), AnsiString("李明"));
}

TEST_F(SearchTest, ATextNoRecordHasKeepsTheRecordAndTheText) {
  GoTo(1);
  Type("李");
  Type("x");
  EXPECT_EQ(Name(), AnsiString("李四"));
  EXPECT_EQ(grid->IncSearchText(), AnsiString("李"));
}

TEST_F(SearchTest, BackspaceRemovesAWholeChineseCharacter) {
  Type("李明");
  ASSERT_EQ(grid->IncSearchText(), AnsiString("李明"));
  Key(VK_BACK);
  EXPECT_EQ(grid->IncSearchText(), AnsiString("李"));
  Key(VK_BACK);
  EXPECT_EQ(grid->IncSearchText(), AnsiString());
  Type("ab");
  Key(VK_BACK);
  EXPECT_EQ(grid->IncSearchText(), AnsiString("a"));
}

TEST_F(SearchTest, CtrlFSearchesWithoutTimeOutAndCtrlEnterFindsTheNext) {
  grid->Columns()->Items(0)->SetReadOnly(false);
  Key('F', {ssCtrl});
  EXPECT_TRUE(grid->IncSearching());
  EXPECT_EQ(grid->IncSearchTimeOut(), -1);
  Type("李");
  EXPECT_EQ(Name(), AnsiString("李四"));
  EXPECT_EQ(grid->IncSearchTimeOut(), -1);
  Key(VK_RETURN, {ssCtrl});
  EXPECT_EQ(Name(), AnsiString("李明"));
  Key(VK_RETURN, {ssCtrl, ssShift});
  EXPECT_EQ(Name(), AnsiString("李四"));
  Key(VK_ESCAPE);
  EXPECT_FALSE(grid->IncSearching());
}

TEST_F(SearchTest, MovingTheRecordElsewhereStopsTheSearch) {
  Type("ab");
  ASSERT_TRUE(grid->IncSearching());
  ds->First();
  EXPECT_FALSE(grid->IncSearching());
  EXPECT_EQ(grid->IncSearchText(), AnsiString());
}

// --- title buttons and sort marking ----------------------------------------------

TEST_F(KeysTest, TitleClickMarksTheSortAndFiresTheEvents) {
  AddRows(3);
  Link();
  grid->SetOptionsEx(grid->OptionsEx() + TDBGridExOptions{dghAutoSortMarking,
                                                          dghMultiSortMarking});
  for (int i = 0; i < 3; ++i) grid->Columns()->Items(i)->Title()->SetTitleButton(true);
  int changed = 0, clicks = 0;
  grid->OnSortMarkingChanged = [&](TObject*) { ++changed; };
  grid->OnTitleBtnClick = [&](TObject*, int, TColumnEx*) { ++clicks; };
  Click(1, 0);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(grid->Columns()->Items(0)->Title()->SortMarker(), smDownEx);
  Click(1, 0);
  EXPECT_EQ(grid->Columns()->Items(0)->Title()->SortMarker(), smUpEx);
  EXPECT_EQ(grid->PressedTitleColumn(), -1);
  // With Ctrl a second column joins; the event waits for Ctrl's release.
  Click(2, 0, MK_CONTROL);
  EXPECT_EQ(changed, 2);
  EXPECT_EQ(grid->Columns()->Items(1)->Title()->SortMarker(), smDownEx);
  EXPECT_EQ(grid->Columns()->Items(0)->Title()->SortMarker(), smUpEx);
  Click(3, 0, MK_CONTROL);
  EXPECT_EQ(grid->Columns()->Items(2)->Title()->SortIndex(), 3);
  EXPECT_EQ(changed, 2);
  grid->Perform(WM_KEYUP, VK_CONTROL, 0);
  EXPECT_EQ(changed, 3);
}

TEST_F(KeysTest, ATitlePressReleasedElsewhereIsNoClick) {
  AddRows(3);
  Link();
  grid->Columns()->Items(0)->Title()->SetTitleButton(true);
  int clicks = 0;
  grid->OnTitleBtnClick = [&](TObject*, int, TColumnEx*) { ++clicks; };
  TPoint p = CellCentre(1, 0);
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(p.x, p.y));
  EXPECT_TRUE(grid->TitlePressed());
  TPoint away = CellCentre(1, 2);
  grid->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(p.x, away.y));
  EXPECT_FALSE(grid->TitlePressed());
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(p.x, away.y));
  EXPECT_EQ(clicks, 0);
}

TEST_F(KeysTest, ATitlePressMovedFourPixelsBecomesAColumnMove) {
  AddRows(3);
  Link();
  grid->Columns()->Items(0)->Title()->SetTitleButton(true);
  TPoint p = CellCentre(1, 0);
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(p.x, 3));
  grid->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(p.x + 3, 3));
  EXPECT_EQ(grid->PressedTitleColumn(), 1);
  EXPECT_EQ(grid->GridState(), gsNormal);
  grid->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(p.x + 4, 3));
  EXPECT_EQ(grid->PressedTitleColumn(), -1);
  EXPECT_EQ(grid->GridState(), gsColMoving);
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(p.x + 4, 3));
}

TEST_F(KeysTest, TheBottomOfATitleSelectsColumns) {
  AddRows(3);
  Link();
  grid->SetOptions(grid->Options() + TDBGridOptions{dgMultiSelect});
  TRect t1 = grid->CellRect(1, 0), t3 = grid->CellRect(3, 0);
  int y = t1.Bottom - 3;
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(t1.Left + 10, y));
  EXPECT_EQ(grid->MouseState(), 2);
  grid->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(t3.Left + 10, y));
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(t3.Left + 10, y));
  EXPECT_EQ(grid->Selection()->SelectionType(), gstColumns);
  EXPECT_EQ(grid->Selection()->Columns()->Count(), 3);
  // Ctrl inverts one column.
  TRect t2 = grid->CellRect(2, 0);
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MakeLParam(t2.Left + 10, y));
  grid->Perform(WM_LBUTTONUP, MK_CONTROL, MakeLParam(t2.Left + 10, y));
  EXPECT_EQ(grid->Selection()->Columns()->Count(), 2);
  // Higher up the title is a title press again.
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(t2.Left + 10, 3));
  EXPECT_EQ(grid->MouseState(), 0);
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(t2.Left + 10, 3));
}

// --- mouse ------------------------------------------------------------------------

TEST_F(KeysTest, ClickingACellMovesTheRecordAndColumn) {
  AddRows(6);
  Link();
  int cells = 0;
  grid->OnCellClick = [&](TColumnEx*) { ++cells; };
  Click(3, 4);
  EXPECT_EQ(Name(), AnsiString("name3"));
  EXPECT_EQ(grid->SelectedIndex(), 2);
  EXPECT_EQ(cells, 1);
}

TEST_F(KeysTest, TheWheelMovesOneRecordPerNotch) {
  AddRows(6);
  Link();
  TPoint p = CellCentre(1, 1);
  grid->Perform(WM_MOUSEWHEEL, static_cast<std::intptr_t>(static_cast<unsigned>(-120) << 16),
                MakeLParam(p.x, p.y));
  EXPECT_EQ(Name(), AnsiString("name1"));
  grid->Perform(WM_MOUSEWHEEL, static_cast<std::intptr_t>(120u << 16), MakeLParam(p.x, p.y));
  EXPECT_EQ(Name(), AnsiString("name0"));
}

TEST_F(KeysTest, DraggingBelowTheRowsSelectsAndScrollsOnTheTimer) {
  AddRows(60);
  Link();
  TPoint p = CellCentre(1, 2);
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(p.x, p.y));
  EXPECT_EQ(grid->MouseState(), 3);
  EXPECT_EQ(Name(), AnsiString("name1"));
  TPoint q = CellCentre(1, 4);
  grid->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(q.x, q.y));
  EXPECT_EQ(Name(), AnsiString("name3"));
  EXPECT_EQ(grid->Selection()->SelectionType(), gstRectangle);
  // Below the last row the timer moves one record a tick.
  grid->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(q.x, grid->ClientHeight() + 5));
  grid->Perform(WM_TIMER, 1, 0);
  grid->Perform(WM_TIMER, 1, 0);
  EXPECT_EQ(ds->RecNo(), 6);
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(q.x, grid->ClientHeight() + 5));
  EXPECT_EQ(grid->MouseState(), 0);
  TDBGridExSelectionRect* rect = grid->Selection()->Rect();
  EXPECT_EQ(rect->LeftCol(), 0);
  grid->Perform(WM_TIMER, 1, 0);  // a late tick after release moves nothing
  EXPECT_EQ(ds->RecNo(), 6);
}

TEST_F(KeysTest, IndicatorClicksMarkRowsWithCtrlAndShift) {
  AddRows(6);
  Link();
  grid->SetOptions(grid->Options() + TDBGridOptions{dgMultiSelect});
  Click(0, 2);
  EXPECT_EQ(grid->SelectedRows()->Count(), 1);
  Click(0, 4, MK_CONTROL);
  EXPECT_EQ(grid->SelectedRows()->Count(), 2);
  Click(0, 4, MK_CONTROL);
  EXPECT_EQ(grid->SelectedRows()->Count(), 1);
}

TEST_F(KeysTest, ShiftDownExtendsTheRowSelectionAndBackShrinksIt) {
  AddRows(6);
  Link();
  grid->SetOptions(grid->Options() + TDBGridOptions{dgMultiSelect, dgRowSelect});
  Key(VK_DOWN, {ssShift});
  Key(VK_DOWN, {ssShift});
  EXPECT_EQ(grid->SelectedRows()->Count(), 3);
  Key(VK_UP, {ssShift});
  EXPECT_EQ(grid->SelectedRows()->Count(), 2);
  Key(VK_DOWN);
  EXPECT_EQ(grid->Selection()->SelectionType(), gstNon);
}

TEST_F(KeysTest, DraggingARowLineInTheIndicatorSizesEveryRow) {
  AddRows(6);
  Link();
  grid->SetRowSizingAllowed(true);
  TRect r = grid->CellRect(0, 2);
  int before = grid->RowHeight() > 0 ? grid->RowHeight() : grid->DefaultRowHeight();
  int x = (r.Left + r.Right) / 2;
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(x, r.Bottom));
  grid->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(x, r.Bottom + 10));
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(x, r.Bottom + 10));
  EXPECT_EQ(grid->RowHeight(), before + 10);
  EXPECT_EQ(Name(), AnsiString("name0"));  // sizing moved no record
}

TEST_F(KeysTest, AFrozenColumnSizesByItsEdgeInTheTitleOnly) {
  AddRows(3);
  Link();
  grid->SetFrozenCols(1);
  int before = grid->Columns()->Items(0)->Width();
  TRect title = grid->CellRect(1, 0);
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(title.Right, 3));
  grid->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(title.Right + 15, 3));
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(title.Right + 15, 3));
  EXPECT_EQ(grid->Columns()->Items(0)->Width(), before + 15);
  // The same edge in a data row selects a cell instead.
  TRect cell = grid->CellRect(1, 2);
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(cell.Right - 1, cell.Top + 3));
  grid->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(cell.Right + 20, cell.Top + 3));
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(cell.Right + 20, cell.Top + 3));
  EXPECT_EQ(grid->Columns()->Items(0)->Width(), before + 15);
  EXPECT_EQ(Name(), AnsiString("name1"));
}

TEST_F(KeysTest, CtrlXCopiesAndDeletesTheMarkedRowsAfterAsking) {
  AddRows(4);
  Link();
  grid->SetOptions(grid->Options() + TDBGridOptions{dgMultiSelect});
  grid->SetEditActions({geaCutEx});
  GoTo(2);
  grid->SelectedRows()->SetCurrentRowSelected(true);
  grid->Selection()->UpdateState();
  ASSERT_EQ(grid->Selection()->SelectionType(), gstRecordBookmarks);
  TAnsweringDialogs dialogs;
  dialogs.Answers = {mrOk};
  Key('X', {ssCtrl});
  EXPECT_EQ(ds->RecordCount(), 3);
  EXPECT_NE(Clipboard()->AsText().find("name2"), std::string::npos);
  // Without the edit action nothing happens.
  grid->SetEditActions({});
  GoTo(0);
  grid->SelectedRows()->SetCurrentRowSelected(true);
  grid->Selection()->UpdateState();
  Key('X', {ssCtrl});
  EXPECT_EQ(ds->RecordCount(), 3);
}

TEST_F(KeysTest, TheVerticalBarMovesTheDataset) {
  AddRows(60);
  Link();
  const int shown = grid->DataLink()->RecordCount();
  auto bar = [&](int code, int pos = 0) {
    grid->Perform(WM_VSCROLL, static_cast<std::intptr_t>((pos << 16) | code), 0);
  };
  bar(SB_LINEUP + 1);  // line down: one record past the view
  EXPECT_EQ(ds->RecNo(), shown + 1);
  bar(SB_TOP);
  EXPECT_EQ(ds->RecNo(), 1);
  bar(SB_PAGEUP + 1);
  EXPECT_EQ(ds->RecNo(), 1 + shown);
  bar(SB_THUMBPOSITION, 30);
  EXPECT_EQ(ds->RecNo(), 30);
  bar(SB_THUMBPOSITION, 1000);
  EXPECT_EQ(ds->RecNo(), 60);
  // Tracking moves at once; the final position does not move again.
  grid->VertScrollBar()->SetTracking(true);
  bar(SB_THUMBTRACK, 10);
  EXPECT_EQ(ds->RecNo(), 10);
  ds->MoveBy(5);
  bar(SB_THUMBPOSITION, 10);
  EXPECT_EQ(ds->RecNo(), 15);
}

TEST_F(KeysTest, SpaceStepsACheckBoxAndDelClearsIt) {
  AddRows(3);
  TColumnEx* ok = AddColumn("OK");
  ok->SetCheckboxes(true);
  Link();
  ASSERT_EQ(ok->ColumnKind(), ckCheckboxes);
  grid->SetSelectedIndex(3);
  Type(" ");
  EXPECT_TRUE(ds->FieldByName("OK")->AsBoolean());
  Type(" ");
  EXPECT_FALSE(ds->FieldByName("OK")->AsBoolean());
  Key(VK_DELETE);
  EXPECT_TRUE(ds->FieldByName("OK")->IsNull());
}

TEST_F(KeysTest, HiddenColumnsAreSkippedAndEnterCanActAsTab) {
  AddRows(3);
  Link();
  grid->Columns()->Items(1)->SetVisible(false);
  Key(VK_RIGHT);
  EXPECT_EQ(grid->SelectedIndex(), 2);
  Key(VK_LEFT);
  EXPECT_EQ(grid->SelectedIndex(), 0);
  grid->SetOptionsEx(grid->OptionsEx() + TDBGridExOptions{dghEnterAsTab});
  Key(VK_RETURN);
  EXPECT_EQ(grid->SelectedIndex(), 2);
  Key(VK_RETURN);
  EXPECT_EQ(grid->SelectedIndex(), 0);
  EXPECT_EQ(Name(), AnsiString("name1"));
}

TEST_F(KeysTest, ADoubleClickStepsACheckBoxThatStepsOnDoubleClick) {
  AddRows(3);
  TColumnEx* ok = AddColumn("OK");
  ok->SetCheckboxes(true);
  ok->SetDblClickNextVal(true);
  Link();
  TPoint p = CellCentre(4, 1);
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(p.x, p.y));
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(p.x, p.y));
  EXPECT_FALSE(ds->FieldByName("OK")->AsBoolean());  // a single click does not step it
  grid->Perform(WM_LBUTTONDBLCLK, MK_LBUTTON, MakeLParam(p.x, p.y));
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(p.x, p.y));
  EXPECT_TRUE(ds->FieldByName("OK")->AsBoolean());
  ok->SetDblClickNextVal(false);
  grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(p.x, p.y));
  grid->Perform(WM_LBUTTONUP, 0, MakeLParam(p.x, p.y));
  EXPECT_FALSE(ds->FieldByName("OK")->AsBoolean());  // now a click steps it
}

TEST_F(KeysTest, ToolTipsShowTitleHintsAndTextThatDoesNotFit) {
  ds->AddRow({"a rather long name", 1.0, 1, "N", false});
  ds->AddRow({"short", 2.0, 2, "N", false});
  Link();
  TColumnEx* c = grid->Columns()->Items(0);
  c->SetWidth(60);
  c->SetToolTips(true);
  c->Title()->SetHint("员工姓名");
  auto hint = [&](int col, int row) {
    THintInfo info;
    info.HintControl = grid;
    info.CursorPos = CellCentre(col, row);
    grid->Perform(CM_HINTSHOW, 0, reinterpret_cast<std::intptr_t>(&info));
    return info.HintStr;
  };
  EXPECT_EQ(hint(1, 0), AnsiString("员工姓名"));
  EXPECT_EQ(hint(1, 1), AnsiString("a rather long name"));
  EXPECT_EQ(hint(1, 2), AnsiString());  // fits: no tip
  c->SetToolTips(false);
  EXPECT_EQ(hint(1, 1), AnsiString());
}

TEST_F(KeysTest, RightButtonPopsUpTheColumnsMenuForTheGrid) {
  AddRows(3);
  Link();
  TPopupMenu menu(nullptr);
  auto* item = new TMenuItem(&menu);
  menu.Items()->Add(item);
  int clicked = 0;
  item->OnClick = [&](TObject*) { ++clicked; };
  TComponent* popupFor = nullptr;
  menu.ChooseForTest = [&](TPopupMenu* m) {
    popupFor = m->PopupComponent;
    return m->Items()->Items(0);
  };
  grid->Columns()->Items(1)->SetPopupMenu(&menu);
  TPoint p = CellCentre(2, 1);
  grid->Perform(WM_RBUTTONDOWN, MK_RBUTTON, MakeLParam(p.x, p.y));
  grid->Perform(WM_RBUTTONUP, 0, MakeLParam(p.x, p.y));
  EXPECT_EQ(clicked, 1);
  EXPECT_EQ(popupFor, grid);
  TPoint q = CellCentre(1, 1);  // a column without a menu
  grid->Perform(WM_RBUTTONDOWN, MK_RBUTTON, MakeLParam(q.x, q.y));
  grid->Perform(WM_RBUTTONUP, 0, MakeLParam(q.x, q.y));
  EXPECT_EQ(clicked, 1);
  grid->Columns()->Items(1)->SetPopupMenu(nullptr);
}

// --- typing into cells ----------------------------------------------------------------

TEST_F(KeysTest, TheFocusMovingIntoTheEditorKeepsANewRecord) {
  AddRows(2);
  Link();
  form->SetActiveControl(grid);
  ds->Last();
  Key(VK_DOWN);
  ASSERT_EQ(ds->State(), dsInsert);
  Key(VK_F2);  // the editor shows and takes the focus, nothing typed yet
  TInplaceEdit* ed = grid->InplaceEditor();
  ASSERT_TRUE(ed && ed->EditorVisible());
  form->SetActiveControl(ed);
  EXPECT_EQ(ds->State(), dsInsert);
  // Leaving the grid altogether still cancels the untouched insert.
  TEdit other(form);
  other.SetParent(form);
  form->SetActiveControl(&other);
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->RecordCount(), 2);
}

TEST_F(KeysTest, TypingChineseStartsTheEditorWithTheWholeCharacter) {
  AddRows(2);
  Link();
  grid->SetOptions(grid->Options() + TDBGridOptions{dgAlwaysShowEditor});
  Type("王");
  TInplaceEdit* ed = grid->InplaceEditor();
  ASSERT_NE(ed, nullptr);
  EXPECT_TRUE(ed->EditorVisible());
  EXPECT_EQ(ed->Text(), AnsiString("王"));
  Key(VK_DOWN);
  GoTo(0);
  EXPECT_EQ(Name(), AnsiString("王"));
}

TEST_F(KeysTest, ARefusedNumberKeepsTheEditorTextAndTheRecord) {
  AddRows(3);
  Link();
  grid->SetOptions(grid->Options() + TDBGridOptions{dgAlwaysShowEditor});
  grid->SetSelectedIndex(1);
  grid->ShowEditor();
  TInplaceEdit* ed = grid->InplaceEditor();
  ASSERT_TRUE(ed && ed->EditorVisible());
  ed->SelectAll();
  for (char b : AnsiString("abc")) ed->Perform(WM_CHAR, static_cast<unsigned char>(b), 0);
  ASSERT_EQ(ed->Text(), AnsiString("abc"));
  try {
    Key(VK_DOWN);
    FAIL() << "the write should be refused";
  } catch (const EDataCellError& e) {
    EXPECT_NE(e.Message().find("abc"), std::string::npos);
    EXPECT_NE(e.Message().find("PAY"), std::string::npos);
  }
  EXPECT_EQ(Name(), AnsiString("name0"));
  EXPECT_EQ(ed->Text(), AnsiString("abc"));
  EXPECT_TRUE(grid->DataLink()->Modified());
  EXPECT_EQ(ds->State(), dsEdit);
  // Corrected, the same move writes it.
  ed->SelectAll();
  for (char b : AnsiString("12.5")) ed->Perform(WM_CHAR, static_cast<unsigned char>(b), 0);
  Key(VK_DOWN);
  EXPECT_EQ(Name(), AnsiString("name1"));
  GoTo(0);
  EXPECT_DOUBLE_EQ(ds->FieldByName("PAY")->AsFloat(), 12.5);
}

}  // namespace

namespace {

TEST_F(KeysTest, LeavingAColumnFiresColExitThenColEnterOnTheNewColumn) {
  AddRows(3);
  Link();
  grid->SetSelectedIndex(0);
  std::vector<std::pair<const char*, int>> log;
  grid->OnColExit = [&](TObject*) { log.push_back({"exit", grid->SelectedIndex()}); };
  grid->OnColEnter = [&](TObject*) { log.push_back({"enter", grid->SelectedIndex()}); };
  Key(VK_RIGHT);
  EXPECT_EQ(log, (std::vector<std::pair<const char*, int>>{{"exit", 0}, {"enter", 1}}));
  log.clear();
  Key(VK_DOWN);  // another record, the same column
  EXPECT_TRUE(log.empty());
  Click(1, 1);  // another record and another column at once: one pair
  EXPECT_EQ(log, (std::vector<std::pair<const char*, int>>{{"exit", 1}, {"enter", 0}}));
}

TEST_F(KeysTest, AColExitHandlerThatMovesElsewhereWins) {
  AddRows(3);
  Link();
  grid->SetSelectedIndex(0);
  std::vector<std::pair<const char*, int>> log;
  grid->OnColExit = [&](TObject*) {
    log.push_back({"exit", grid->SelectedIndex()});
    if (grid->SelectedIndex() == 0) grid->SetSelectedIndex(2);
  };
  grid->OnColEnter = [&](TObject*) { log.push_back({"enter", grid->SelectedIndex()}); };
  Key(VK_RIGHT);
  EXPECT_EQ(grid->SelectedIndex(), 2);
  EXPECT_EQ(log, (std::vector<std::pair<const char*, int>>{{"exit", 0}, {"enter", 2}}));
}

TEST_F(KeysTest, StandardEditActionsRunAndEnableThroughTheGridsOwnTests) {
  AddRows(3);
  Link();
  TEditCopy copy(nullptr);
  TEditCut cut(nullptr);
  TEditPaste paste(nullptr);
  TEditSelectAll selectAll(nullptr);
  TEditDelete del(nullptr);
  TBasicAction other(nullptr);
  grid->SetEditActions({geaCopyEx, geaCutEx, geaPasteEx, geaSelectAllEx, geaDeleteEx});
  grid->SetOptions(grid->Options() - TDBGridOptions{dgConfirmDelete});
  Clipboard()->Clear();
  struct Case {
    const char* what;
    TBasicAction* action;
    bool enabled;
  };
  // Nothing selected: only select all can run.
  for (const Case& c : {Case{"copy", &copy, false}, Case{"cut", &cut, false}, Case{"paste", &paste, false},
                        Case{"delete", &del, false}, Case{"select all", &selectAll, true}}) {
    SCOPED_TRACE(c.what);
    c.action->SetEnabled(!c.enabled);
    EXPECT_TRUE(grid->UpdateAction(c.action));
    EXPECT_EQ(c.action->Enabled(), c.enabled);
  }
  EXPECT_FALSE(grid->ExecuteAction(&copy));  // nothing to copy: not handled
  EXPECT_FALSE(grid->ExecuteAction(&other));
  EXPECT_FALSE(grid->UpdateAction(&other));
  EXPECT_TRUE(grid->ExecuteAction(&selectAll));
  EXPECT_EQ(grid->Selection()->SelectionType(), gstAll);
  EXPECT_TRUE(grid->ExecuteAction(&copy));
  EXPECT_FALSE(Clipboard()->AsText().empty());
  EXPECT_TRUE(grid->UpdateAction(&paste));
  EXPECT_TRUE(paste.Enabled());
  // An action the grid's EditActions leave out is neither run nor enabled.
  grid->SetEditActions({geaCopyEx});
  EXPECT_TRUE(grid->UpdateAction(&del));
  EXPECT_FALSE(del.Enabled());
  EXPECT_FALSE(grid->ExecuteAction(&del));
  EXPECT_EQ(ds->RecordCount(), 3);
  grid->SetEditActions({geaDeleteEx});
  EXPECT_TRUE(grid->ExecuteAction(&del));
  EXPECT_EQ(ds->RecordCount(), 0);
}

}  // namespace
