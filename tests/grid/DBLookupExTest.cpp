// The lookup drop-down of a grid cell: its special row, its size, keys and
// type-ahead (with an injected clock), and choosing a record through the
// in-place editor, which writes the key fields.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "MemDataSet.h"
#include "grid/DBGridEx.h"
#include "grid/DBLookupEx.h"
#include "grid/GridDataLinkEx.h"
#include "grid/InplaceEditEx.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Messages.h"

namespace {

// Reaches the editor's protected key handlers through member pointers
// taken here (calling them on the editor itself, never through a cast to
// this type, which the editor is not).
struct EditorAccess : TDBGridInplaceEdit {
  using TDBGridInplaceEdit::KeyDown;
};

TEST(SpecRowTest, CellsTextSplitsOnSemicolonsOutsideQuotes) {
  TSpecRowEx row;
  row.SetCellsText("\x01无;\"a;\"\"b\"\"\";c");
  ASSERT_EQ(row.CellCount(), 3);
  EXPECT_EQ(row.CellText(0), AnsiString("无"));
  EXPECT_EQ(row.CellText(1), AnsiString("a;\"b\""));
  EXPECT_EQ(row.CellText(2), AnsiString("c"));
  EXPECT_EQ(row.CellText(3), AnsiString());
  EXPECT_EQ(row.ShortCut(), 32814);
  EXPECT_TRUE(row.ShowIfNotInKeyList());
}

class LookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureGridTestApp();
    SetFontMetricsSourceForTest(&metrics_);
    depts.AddColumn("CODE", ftString, 2);
    depts.AddColumn("DNAME", ftString, 10);
    for (const char* code : {"01", "02", "03", "04"}) depts.AddRow({code, std::string("部门") + code});
    depts.AddRow({"05", "总务"});
    emps.AddColumn("DEPT", ftString, 2);
    emps.AddColumn("NAME", ftString, 10);
    emps.AddRow({"01", "张三"});
    emps.AddRow({"02", "李四"});
    AddStringField(&emps, "DEPT", 2);
    AddStringField(&emps, "NAME", 10);
    AddDeptNameLookup(&emps, "DEPTNAME", 10, &depts, "DEPT");
    depts.Open();
    emps.Open();
    source.SetDataSet(&emps);
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 300);
    grid = new TDBGridEx(form);
    grid->SetParent(form);
    grid->SetBounds(0, 0, 380, 200);
    column = grid->Columns()->Add();
    column->SetFieldName("DEPTNAME");
    grid->SetDataSource(&source);
    form->Show();
    grid->SetOptions(grid->Options() + TDBGridOptions{dgAlwaysShowEditor});
    grid->ShowEditor();
    ed = static_cast<TDBGridInplaceEdit*>(grid->InplaceEditor());
  }
  void TearDown() override {
    delete form;
    SetFontMetricsSourceForTest(nullptr);
    SetPopupTickSourceForTest(nullptr);
  }
  void Key(std::uint16_t key, TShiftState shift = TShiftState()) {
    (ed->*&EditorAccess::KeyDown)(key, shift);
  }
  TFixedFontMetrics metrics_{TTextMetric{16, 13, 3, 3, 0, 7, 14, 0}};
  TMemDataSet depts, emps;
  TDataSource source{nullptr};
  TForm* form = nullptr;
  TDBGridEx* grid = nullptr;
  TColumnEx* column = nullptr;
  TDBGridInplaceEdit* ed = nullptr;
};

TEST_F(LookupTest, TheListOpensOnTheCurrentKeyAndSizesToItsRows) {
  ASSERT_TRUE(ed && ed->EditorVisible());
  EXPECT_EQ(ed->EditStyle(), esDataList);
  EXPECT_EQ(ed->Text(), AnsiString("部门01"));
  column->SetDropDownShowTitles(true);
  Key(VK_DOWN, {ssAlt});
  ASSERT_TRUE(ed->ListVisible());
  TPopupDataListEx* list = ed->DataList();
  EXPECT_EQ(list->RecordCount(), 5);
  EXPECT_EQ(list->RowCount(), 5);  // fewer records than DropDownRows
  EXPECT_EQ(list->Height(), 5 * 16 + 2 + 17);
  EXPECT_EQ(list->SelectedRow(), 0);
  list->SetRowCount(0);
  EXPECT_EQ(list->RowCount(), 1);
  list->SetRowCount(250);
  EXPECT_EQ(list->RowCount(), 100);
}

TEST_F(LookupTest, ResizingByHandSnapsToWholeRows) {
  column->SetDropDownSizing(true);
  Key(VK_DOWN, {ssAlt});
  TPopupDataListEx* list = ed->DataList();
  ASSERT_EQ(list->RowCount(), 5);
  TSizeGripEx* grip = ed->ListGrip();
  ASSERT_TRUE(grip && grip->Visible());
  grip->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(1, 1));
  grip->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(1, 1 + 20));
  grip->Perform(WM_LBUTTONUP, 0, MakeLParam(1, 1 + 20));
  EXPECT_EQ(list->RowCount(), 6);
  EXPECT_EQ(list->Height(), 6 * 16 + 2);
  Key(VK_ESCAPE);
  EXPECT_EQ(column->DropDownRows(), 6u);
}

TEST_F(LookupTest, DraggingBelowTheRowsScrollsFasterTheFurtherOut) {
  column->SetDropDownRows(3);
  Key(VK_DOWN, {ssAlt});
  TPopupDataListEx* list = ed->DataList();
  ASSERT_EQ(list->RowCount(), 3);
  const int rowsEnd = 1 + 3 * 16;
  list->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(10, 5));
  EXPECT_EQ(list->SelectedRow(), 0);
  list->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(10, rowsEnd + 4));  // 5 pixels out
  EXPECT_EQ(list->TrackInterval(), 125u);
  list->Perform(WM_TIMER, 1, 0);
  EXPECT_EQ(list->SelectedRow(), 1);
  list->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(10, rowsEnd + 20));
  EXPECT_EQ(list->TrackInterval(), 0u);  // the fastest rate
  list->Perform(WM_TIMER, 1, 0);
  list->Perform(WM_TIMER, 1, 0);
  EXPECT_EQ(list->SelectedRow(), 3);
  EXPECT_EQ(list->TopRow(), 1);
  list->Perform(WM_LBUTTONUP, 0, MakeLParam(10, rowsEnd + 20));
  EXPECT_FALSE(ed->ListVisible());  // released outside: not accepted
  EXPECT_EQ(ed->Text(), AnsiString("部门01"));
}

TEST_F(LookupTest, TheHighlightFollowsTheMouse) {
  Key(VK_DOWN, {ssAlt});
  TPopupDataListEx* list = ed->DataList();
  list->Perform(WM_MOUSEMOVE, 0, MakeLParam(10, 1 + 2 * 16 + 4));
  EXPECT_EQ(list->SelectedRow(), 2);
  list->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(10, 1 + 2 * 16 + 4));
  list->Perform(WM_LBUTTONUP, 0, MakeLParam(10, 1 + 2 * 16 + 4));
  EXPECT_FALSE(ed->ListVisible());
  EXPECT_EQ(ed->Text(), AnsiString("部门03"));
}

TEST_F(LookupTest, ChoosingARecordWritesTheKeyField) {
  Key(VK_DOWN, {ssAlt});
  Key(VK_DOWN);
  Key(VK_DOWN);
  EXPECT_EQ(ed->Text(), AnsiString("部门03"));
  Key(VK_RETURN);
  EXPECT_FALSE(ed->ListVisible());
  EXPECT_EQ(grid->EditValue(), Variant(AnsiString("03")));
  emps.Post();
  EXPECT_EQ(emps.FieldByName("DEPT")->AsString(), AnsiString("03"));
}

TEST_F(LookupTest, EscapeLeavesTheKeyAlone) {
  Key(VK_DOWN, {ssAlt});
  Key(VK_DOWN);
  Key(VK_ESCAPE);
  EXPECT_EQ(ed->Text(), AnsiString("部门01"));
  emps.CheckBrowseMode();
  EXPECT_EQ(emps.FieldByName("DEPT")->AsString(), AnsiString("01"));
}

TEST_F(LookupTest, UpOnTheFirstRecordSelectsTheSpecialRow) {
  TSpecRowEx* specialRow = column->DropDownSpecRow();
  specialRow->SetVisible(true);
  specialRow->SetCellsText("（无）");
  specialRow->SetValue(Variant::Null());
  Key(VK_DOWN, {ssAlt});
  TPopupDataListEx* list = ed->DataList();
  EXPECT_EQ(list->Height(), 5 * 16 + 2 + 16);
  Key(VK_UP);
  EXPECT_TRUE(list->SpecRowSelected());
  EXPECT_EQ(ed->Text(), AnsiString("（无）"));
  Key(VK_DOWN);
  EXPECT_FALSE(list->SpecRowSelected());
  EXPECT_EQ(list->SelectedRow(), 0);
  Key(VK_UP);
  Key(VK_RETURN);
  emps.Post();
  EXPECT_TRUE(emps.FieldByName("DEPT")->IsNull());
}

TEST_F(LookupTest, TheSpecialRowsShortCutChoosesItWithoutTheList) {
  TSpecRowEx* specialRow = column->DropDownSpecRow();
  specialRow->SetVisible(true);
  specialRow->SetCellsText("其他");
  specialRow->SetValue(Variant(AnsiString("99")));
  Key(VK_DELETE, {ssAlt});
  EXPECT_EQ(ed->Text(), AnsiString("其他"));
  EXPECT_EQ(grid->EditValue(), Variant(AnsiString("99")));
}

TEST_F(LookupTest, TypingCompletesToARecordAndTakesItsKey) {
  ed->SelectAll();
  for (char b : AnsiString("总")) ed->Perform(WM_CHAR, static_cast<unsigned char>(b), 0);
  EXPECT_EQ(ed->Text(), AnsiString("总务"));
  EXPECT_EQ(ed->SelText(), AnsiString("务"));
  EXPECT_EQ(grid->EditValue(), Variant(AnsiString("05")));
  grid->DataLink()->UpdateRecord();
  emps.Post();
  EXPECT_EQ(emps.FieldByName("DEPT")->AsString(), AnsiString("05"));
}

TEST_F(LookupTest, TheListsTypeAheadRestartsAfterTwoSeconds) {
  std::uint32_t now = 5000;
  SetPopupTickSourceForTest([&] { return now; });
  Key(VK_DOWN, {ssAlt});
  TPopupDataListEx* list = ed->DataList();
  for (char b : AnsiString("部门0")) {
    char k = b;
    list->KeyPress(k);
  }
  now += 100;
  char k = '4';
  list->KeyPress(k);
  EXPECT_EQ(list->SelectedRow(), 3);
  EXPECT_EQ(list->SearchText(), AnsiString("部门04"));
  now += 2001;
  for (char b : AnsiString("总")) {
    char c = b;
    list->KeyPress(c);
  }
  EXPECT_EQ(list->SearchText(), AnsiString("总"));
  EXPECT_EQ(list->SelectedRow(), 4);
}

}  // namespace

namespace {

TEST_F(LookupTest, TheOpenListFollowsItsDatasetInsteadOfACopy) {
  Key(VK_DOWN, {ssAlt});
  TPopupDataListEx* list = ed->DataList();
  ASSERT_EQ(list->RecordCount(), 5);
  depts.Append();  // another user's department arrives while the list is open
  depts.FieldByName("CODE")->SetAsString("06");
  depts.FieldByName("DNAME")->SetAsString("后勤");
  EXPECT_EQ(list->RecordCount(), 5) << "not while the record is being edited";
  depts.Post();
  EXPECT_EQ(list->RecordCount(), 6);
  depts.First();
  depts.Edit();
  depts.FieldByName("DNAME")->SetAsString("财务");
  depts.Post();
  list->SetKeyValue(Variant("01"));
  EXPECT_EQ(list->SelectedText(), AnsiString("财务"));
  depts.Last();
  depts.Delete();
  EXPECT_EQ(list->RecordCount(), 5);
}

}  // namespace
