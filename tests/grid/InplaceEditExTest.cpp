// The grid's in-place editor, offscreen: edit styles, the pick list's size
// and choices, completion while typing, key pick lists writing their keys,
// the calendar (falling back to today on text that is no date), the edit
// buttons' auto-repeat and the bounded face cache.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/DBGridEx.h"
#include "grid/EditButtonsEx.h"
#include "grid/GridDataLinkEx.h"
#include "grid/InplaceEditEx.h"
#include "grid/DBLookupEx.h"
#include "platform/core/DateTime.h"
#include "platform/ui/Messages.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/SysColors.h"

#include <QWidget>

namespace {

// Reaches the editor's protected key handlers through member pointers
// taken here (calling them on the editor itself, never through a cast to
// this type, which the editor is not).
struct EditorAccess : TDBGridInplaceEdit {
  using TDBGridInplaceEdit::KeyDown;
  using TDBGridInplaceEdit::KeyPress;
};

class EditorTest : public GridOnFormFixture {
 protected:
  void SetUp() override {
    GridOnFormFixture::SetUp();
    ds->AddColumn("D", ftDate);
    name = AddColumn("NAME");
    flag = AddColumn("FLAG");
    day = AddColumn("D");
    ds->AddRow({"first", 1.0, 1, "Y", true, Variant(EncodeDate(2024, 3, 15))});
    ds->AddRow({"second", 2.0, 2, "N", false, Variant(EncodeDate(2024, 4, 1))});
    ds->AddRow({"third", 3.0, 3, "Y", true, Variant::Null()});
  }
  void Open(int column) {
    Link();
    grid->SetOptions(grid->Options() + TDBGridOptions{dgAlwaysShowEditor});
    grid->SetSelectedIndex(column);
    grid->ShowEditor();
    ed = static_cast<TDBGridInplaceEdit*>(grid->InplaceEditor());
    ASSERT_NE(ed, nullptr);
    ASSERT_TRUE(ed->EditorVisible());
  }
  void Key(std::uint16_t key, TShiftState shift = TShiftState()) {
    (ed->*&EditorAccess::KeyDown)(key, shift);
  }
  void Type(const AnsiString& bytes) {
    for (char b : bytes) ed->Perform(WM_CHAR, static_cast<unsigned char>(b), 0);
  }
  void Picks(TColumnEx* c, std::initializer_list<const char*> items) {
    for (const char* s : items) c->PickList()->Add(s);
  }
  TColumnEx* name = nullptr;
  TColumnEx* flag = nullptr;
  TColumnEx* day = nullptr;
  TDBGridInplaceEdit* ed = nullptr;
};

TEST_F(EditorTest, EditStylesFollowTheColumn) {
  Link();
  EXPECT_EQ(GetColumnEditStyle(name, true), esSimple);
  EXPECT_EQ(GetColumnEditStyle(day, true), esDateCalendar);
  Picks(name, {"a"});
  EXPECT_EQ(GetColumnEditStyle(name, true), esPickList);
  name->SetReadOnly(true);
  EXPECT_EQ(GetColumnEditStyle(name, true), esSimple);
  const std::pair<TColumnButtonStyleEx, TEditStyle> table[] = {
      {cbsEllipsis, esEllipsis}, {cbsUpDown, esUpDown}, {cbsDropDown, esDropDown},
      {cbsNone, esSimple}};
  for (auto [button, style] : table) {
    flag->SetButtonStyle(button);
    EXPECT_EQ(GetColumnEditStyle(flag, true), style) << static_cast<int>(button);
  }
}

TEST_F(EditorTest, APickListIsElevenPixelsAnItemPlusFour) {
  Picks(name, {"first", "second", "third"});
  Open(0);
  EXPECT_EQ(ed->EditStyle(), esPickList);
  EXPECT_TRUE(ed->MainButton()->Visible());
  Key(VK_DOWN, {ssAlt});
  ASSERT_TRUE(ed->ListVisible());
  EXPECT_EQ(ed->PickList()->Height(), 37);  // 3 x 11 + 4 with DropDownRows 7
  EXPECT_EQ(ed->PickList()->ItemIndex(), 0);
  ed->CloseUp(false);
  for (int i = 0; i < 7; ++i) name->PickList()->Add("more" + std::to_string(i));
  ed->DropDown();
  EXPECT_EQ(ed->PickList()->Height(), 81);  // 7 x 11 + 4
}

TEST_F(EditorTest, AListWithNoRoomBelowOpensAbove) {
  Picks(name, {"first", "second", "third"});
  Open(0);
  // The form ends just below the cell: the list cannot fit under it.
  TRect cell = grid->CellRect(grid->Col(), grid->Row());
  form->SetClientHeight(cell.Bottom + 10);
  ed->DropDown();
  ASSERT_TRUE(ed->ListVisible());
  EXPECT_EQ(ed->PickList()->Top() + ed->PickList()->Height(), ed->Top());
  ed->CloseUp(false);
  form->SetClientHeight(300);
  ed->DropDown();
  EXPECT_EQ(ed->PickList()->Top(), ed->Top() + ed->Height());
}

TEST_F(EditorTest, AListResizedByItsGripKeepsItsSizeInTheColumn) {
  Picks(name, {"first", "second", "third"});
  name->SetDropDownSizing(true);
  Open(0);
  ed->DropDown();
  TSizeGripEx* grip = ed->ListGrip();
  ASSERT_NE(grip, nullptr);
  EXPECT_TRUE(grip->Visible());
  EXPECT_EQ(grip->Position(), 2);
  int width = ed->PickList()->Width();
  grip->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(2, 2));
  grip->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(2 + 30, 2 + 22));
  grip->Perform(WM_LBUTTONUP, 0, MakeLParam(2 + 30, 2 + 22));
  EXPECT_EQ(ed->PickList()->Height(), 37 + 22);
  EXPECT_EQ(ed->PickList()->Width(), width + 30);
  EXPECT_TRUE(ed->PickList()->Sized());
  ed->CloseUp(false);
  EXPECT_EQ(name->DropDownRows(), static_cast<unsigned>(ed->PickList()->ClientHeight() / 11));
  EXPECT_EQ(name->DropDownWidth(), width + 30);
  // Without DropDownSizing the grip is hidden.
  name->SetDropDownSizing(false);
  ed->DropDown();
  EXPECT_FALSE(ed->ListGrip()->Visible());
}

TEST_F(EditorTest, TheMainButtonIsPaintedAtTheCellsRightEdge) {
  Picks(name, {"first", "second", "third"});
  Open(0);
  QImage img = Shot();
  SaveGridShot(img, "editor_pick_button");
  TEditButtonControlEx* b = ed->MainButton();
  TRect r(ed->Left() + b->Left(), ed->Top() + b->Top(), ed->Left() + b->Left() + b->Width(),
          ed->Top() + b->Top() + b->Height());
  // The arrow face: button-face pixels and the dark arrow, not the window colour.
  EXPECT_GT(CountColor(img, r, static_cast<TColor>(ColorToRGB(clBtnFace))), r.Width() * r.Height() / 3);
  EXPECT_GT(CountColor(img, r, clBlack), 3);
}

TEST_F(EditorTest, AListWiderThanTheWorkAreaIsTrimmedToIt) {
  Picks(name, {"first", "an item far wider than the form that holds the grid and its list"});
  Open(0);
  ed->DropDown();
  TWinControl* form = ed->GetParentForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(ed->PickList()->Width(), form->ClientWidth());
  EXPECT_EQ(ed->PickList()->Left(), 0);
}

TEST_F(EditorTest, ShiftDoubleClickStepsAKeyPickListBack) {
  Picks(flag, {"否", "是", "未知"});
  flag->KeyList()->Add("N");
  flag->KeyList()->Add("Y");
  flag->KeyList()->Add("U");
  flag->SetDblClickNextVal(true);
  Open(1);
  ed->Perform(WM_LBUTTONDBLCLK, MK_LBUTTON | MK_SHIFT, MakeLParam(3, 3));
  EXPECT_EQ(ds->FieldByName("FLAG")->AsString(), AnsiString("N"));
  ed->Perform(WM_LBUTTONDBLCLK, MK_LBUTTON, MakeLParam(3, 3));
  EXPECT_EQ(ds->FieldByName("FLAG")->AsString(), AnsiString("Y"));
}

TEST_F(EditorTest, TheOpenPickListIsShownUnderTheCell) {
  Picks(name, {"first", "second", "third"});
  Open(0);
  ed->DropDown();
  Shot();
  QImage img = form->Surface()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  SaveGridShot(img, "editor_pick_list_open");
  TPopupListbox* list = ed->PickList();
  TRect r(list->Left(), list->Top(), list->Left() + list->Width(), list->Top() + list->Height());
  // Its items' text is drawn: the area is not one plain colour.
  EXPECT_GT(CountNotColor(img, r, static_cast<TColor>(ColorToRGB(clWindow))), 20);
}

TEST_F(EditorTest, EnterTakesTheItemAndEscapeRestoresTheText) {
  Picks(name, {"first", "second", "third"});
  Open(0);
  Key(VK_DOWN, {ssAlt});
  Key(VK_DOWN);
  Key(VK_DOWN);
  EXPECT_EQ(ed->Text(), AnsiString("third"));
  Key(VK_ESCAPE);
  EXPECT_FALSE(ed->ListVisible());
  EXPECT_EQ(ed->Text(), AnsiString("first"));
  Key(VK_RETURN, {ssCtrl});  // Ctrl+Enter opens a closed list
  ASSERT_TRUE(ed->ListVisible());
  Key(VK_DOWN);
  Key(VK_RETURN);
  EXPECT_FALSE(ed->ListVisible());
  EXPECT_EQ(ed->Text(), AnsiString("second"));
  EXPECT_EQ(grid->EditText(), AnsiString("second"));
  ds->Post();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), AnsiString("second"));
}

TEST_F(EditorTest, TypingCompletesAgainstThePickList) {
  Picks(name, {"apple", "second", "seven"});
  Open(0);
  ed->SelectAll();
  Type("se");
  EXPECT_EQ(ed->Text(), AnsiString("second"));
  EXPECT_EQ(ed->SelText(), AnsiString("cond"));
  Type("v");
  EXPECT_EQ(ed->Text(), AnsiString("seven"));
  EXPECT_EQ(ed->SelText(), AnsiString("en"));
  EXPECT_EQ(grid->EditText(), AnsiString("seven"));
}

TEST_F(EditorTest, AKeyPickListShowsOnlyKeyedLinesAndWritesTheKey) {
  Picks(flag, {"否", "是", "未知"});
  flag->KeyList()->Add("N");
  flag->KeyList()->Add("Y");
  EXPECT_EQ(flag->ColumnKind(), ckKeyPickList);
  Open(1);
  EXPECT_EQ(ed->Text(), AnsiString("是"));  // the first record's Y
  ed->DropDown();
  EXPECT_EQ(ed->PickList()->Items()->Count(), 2);
  EXPECT_EQ(ed->PickList()->ItemIndex(), 1);
  Key(VK_UP);
  Key(VK_RETURN);
  EXPECT_EQ(ed->Text(), AnsiString("否"));
  ds->Post();
  EXPECT_EQ(ds->FieldByName("FLAG")->AsString(), AnsiString("N"));
}

TEST_F(EditorTest, AKeyPickListRefusesTextNoItemStartsWith) {
  Picks(flag, {"否", "是"});
  flag->KeyList()->Add("N");
  flag->KeyList()->Add("Y");
  Open(1);
  ed->SelectAll();
  Type("x");
  EXPECT_EQ(ed->Text(), AnsiString("是"));
  Type("否");  // a whole Chinese character completes
  EXPECT_EQ(ed->Text(), AnsiString("否"));
}

TEST_F(EditorTest, PastingIntoAKeyPickListCompletesOrDoesNothing) {
  Picks(flag, {"否", "是"});
  flag->KeyList()->Add("N");
  flag->KeyList()->Add("Y");
  Open(1);
  ed->SelectAll();
  Clipboard()->SetAsText("否");
  Key('V', {ssCtrl});
  EXPECT_EQ(ed->Text(), AnsiString("否"));
  EXPECT_EQ(grid->EditText(), AnsiString("否"));
  ed->SelectAll();
  Clipboard()->SetAsText("xyz");
  ed->Perform(WM_PASTE, 0, 0);
  EXPECT_EQ(ed->Text(), AnsiString("否"));
  ds->Post();
  EXPECT_EQ(ds->FieldByName("FLAG")->AsString(), AnsiString("N"));
}

TEST_F(EditorTest, NotInListTakesFreeTextAndTheKeyBecomesNull) {
  Picks(flag, {"否", "是"});
  flag->KeyList()->Add("N");
  flag->KeyList()->Add("Y");
  AnsiString told;
  flag->OnNotInList = [&](TObject*, const AnsiString& text, bool&) { told = text; };
  Open(1);
  ed->SelectAll();
  Type("x");
  EXPECT_EQ(ed->Text(), AnsiString("x"));
  EXPECT_TRUE(grid->EditValue().IsNull());
  ds->Post();
  EXPECT_EQ(told, AnsiString("x"));
  EXPECT_TRUE(ds->FieldByName("FLAG")->IsNull());
}

TEST_F(EditorTest, BackspaceInAKeyPickListMovesTheCaretWithoutDeleting) {
  Picks(flag, {"否", "是"});
  flag->KeyList()->Add("N");
  flag->KeyList()->Add("Y");
  Open(1);
  ed->SetSelStart(2);
  ed->SetSelLength(0);
  std::uint16_t key = VK_BACK;
  (ed->*&EditorAccess::KeyDown)(key, TShiftState());
  EXPECT_EQ(key, VK_LEFT);
  EXPECT_EQ(ed->Text(), AnsiString("是"));
}

TEST_F(EditorTest, TheCalendarOpensOnTheCellsDateAndWritesTheChosenDay) {
  Open(2);
  EXPECT_EQ(ed->EditStyle(), esDateCalendar);
  ed->DropDown();
  ASSERT_TRUE(ed->ListVisible());
  EXPECT_EQ(static_cast<double>(ed->Calendar()->Date()),
            static_cast<double>(EncodeDate(2024, 3, 15)));
  Key(VK_RIGHT);
  Key(VK_DOWN);  // a week on
  Key(VK_RETURN);
  EXPECT_FALSE(ed->ListVisible());
  EXPECT_EQ(static_cast<double>(ds->FieldByName("D")->AsDateTime()),
            static_cast<double>(EncodeDate(2024, 3, 23)));
}

TEST_F(EditorTest, TheCalendarFallsBackToTodayOnTextThatIsNoDate) {
  Open(2);
  ed->SelectAll();
  Type("2024-13-");
  EXPECT_NO_THROW(ed->DropDown());
  ASSERT_TRUE(ed->ListVisible());
  EXPECT_EQ(static_cast<double>(ed->Calendar()->Date()), static_cast<double>(Date()));
  EXPECT_NO_THROW(Key(VK_ESCAPE));  // cancelled: the field keeps its date
  EXPECT_EQ(static_cast<double>(ds->FieldByName("D")->AsDateTime()),
            static_cast<double>(EncodeDate(2024, 3, 15)));
}

TEST_F(EditorTest, AClickOnADayAcceptsItAndOneOutsideTheDaysDoesNot) {
  Open(2);
  ed->DropDown();
  TPopupMonthCalendarEx* cal = ed->Calendar();
  cal->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(5, 5));
  cal->Perform(WM_LBUTTONUP, 0, MakeLParam(5, 5));  // the title: stays open
  EXPECT_TRUE(ed->ListVisible());
  TDateTime shown;
  // The first cell of the day grid belongs to the month before (Sunday 25 Feb).
  int x = 4, y = TPopupMonthCalendarEx::MinimumSize().y - 7 * 16 + 16;
  ASSERT_TRUE(cal->DayAt(x, y, shown));
  EXPECT_EQ(static_cast<double>(shown), static_cast<double>(EncodeDate(2024, 2, 25)));
  cal->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(x, y));
  cal->Perform(WM_LBUTTONUP, 0, MakeLParam(x, y));
  EXPECT_FALSE(ed->ListVisible());
  EXPECT_EQ(static_cast<double>(ds->FieldByName("D")->AsDateTime()),
            static_cast<double>(EncodeDate(2024, 2, 25)));
}

TEST_F(EditorTest, TheUpDownButtonStepsTheValue) {
  TColumnEx* n = AddColumn("N");
  n->SetButtonStyle(cbsUpDown);
  n->SetIncrement(5);
  Open(3);
  EXPECT_EQ(ed->EditStyle(), esUpDown);
  ed->StepValue(false);
  EXPECT_EQ(ds->FieldByName("N")->AsInteger(), 6);
  ed->StepValue(true);
  ed->StepValue(true);
  EXPECT_EQ(ds->FieldByName("N")->AsInteger(), -4);
}

TEST_F(EditorTest, CtrlEnterInAnEllipsisCellRunsTheButtonClick) {
  name->SetButtonStyle(cbsEllipsis);
  int clicks = 0;
  grid->OnEditButtonClick = [&](TObject*) { ++clicks; };
  Open(0);
  Key(VK_RETURN, {ssCtrl});
  EXPECT_EQ(clicks, 1);
}

TEST_F(EditorTest, TheColumnsButtonsSitOutsideTheMainButtonLastOneOutermost) {
  Picks(name, {"first", "second"});
  TEditButtonEx* narrow = name->EditButtons()->Add();
  narrow->SetWidth(12);
  narrow->SetStyle(ebsPlusEx);
  TEditButtonEx* plain = name->EditButtons()->Add();
  plain->SetStyle(ebsEllipsisEx);
  TEditButtonEx* hidden = name->EditButtons()->Add();
  hidden->SetVisible(false);
  int clicks = 0;
  plain->OnClick = [&](TObject*, bool& handled) { ++clicks; handled = true; };
  Open(0);
  const int w = GetSystemMetrics(SM_CXVSCROLL);
  EXPECT_EQ(ed->ButtonWidth(), w + 12 + w);
  EXPECT_EQ(EditButtonsWidth(name), w + 12 + w);
  EXPECT_EQ(ed->EditButtonControl(1)->Left(), ed->Width() - w);
  EXPECT_EQ(ed->EditButtonControl(0)->Left(), ed->Width() - w - 12);
  EXPECT_EQ(ed->MainButton()->Left(), ed->Width() - 2 * w - 12);
  EXPECT_FALSE(ed->EditButtonControl(2)->Visible());
  EXPECT_EQ(ed->TextMargins().Right, ed->ButtonWidth());  // text stays clear of the strip
  TEditButtonControlEx* b = ed->EditButtonControl(1);
  b->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(3, 3));
  b->Perform(WM_LBUTTONUP, 0, MakeLParam(3, 3));
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(ed->ListVisible());
  // The main button drops the list down.
  ed->MainButton()->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(3, 3));
  EXPECT_TRUE(ed->ListVisible());
  ed->MainButton()->Perform(WM_LBUTTONUP, 0, MakeLParam(3, 3));
  EXPECT_TRUE(ed->ListVisible());  // the press that opened it does not close it
}

TEST(EditButtonItemTest, NumGlyphsStaysWithinOneToFourAndAssignSkipsTheHint) {
  TEditButtonsEx buttons(nullptr);
  TEditButtonEx* a = buttons.Add();
  EXPECT_TRUE(a->Visible());  // a column's item
  EXPECT_EQ(a->ShortCut(), 32808);
  a->SetNumGlyphs(0);
  EXPECT_EQ(a->NumGlyphs(), 1);
  a->SetNumGlyphs(9);
  EXPECT_EQ(a->NumGlyphs(), 4);
  a->SetHint("提示");
  a->SetWidth(20);
  a->SetStyle(ebsMinusEx);
  int changes = 0;
  buttons.OnChanged = [&](TObject*) { ++changes; };
  TEditButtonEx* b = buttons.Add();
  b->Assign(a);
  EXPECT_EQ(b->Width(), 20);
  EXPECT_EQ(b->Style(), ebsMinusEx);
  EXPECT_EQ(b->NumGlyphs(), 4);
  EXPECT_EQ(b->Hint(), AnsiString());
  EXPECT_GT(changes, 0);
}

// --- the pick list's type-ahead -----------------------------------------------------

TEST(PopupListboxTest, TypeAheadRestartsAfterTwoSeconds) {
  EnsureGridTestApp();
  std::uint32_t now = 1000;
  SetPopupTickSourceForTest([&] { return now; });
  TPopupListbox list(nullptr, nullptr);
  for (const char* s : {"alpha", "beta", "bezel", "tango"}) list.Items()->Add(s);
  char k = 'b';
  list.KeyPress(k);
  now += 300;
  k = 'e';
  list.KeyPress(k);
  k = 'z';
  list.KeyPress(k);
  EXPECT_EQ(list.ItemIndex(), 2);
  EXPECT_EQ(list.SearchText(), AnsiString("bez"));
  now += 2001;
  k = 't';
  list.KeyPress(k);
  EXPECT_EQ(list.SearchText(), AnsiString("t"));
  EXPECT_EQ(list.ItemIndex(), 3);
  SetPopupTickSourceForTest(nullptr);
}

// --- edit buttons -----------------------------------------------------------------------

class ButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureGridTestApp();
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 100, 100);
    button = new TEditButtonControlEx(form);
    button->SetParent(form);
    button->SetBounds(10, 10, 17, 20);
    button->SetStyle(ebsUpDownEx);
    form->Show();
  }
  void TearDown() override { delete form; }
  TForm* form = nullptr;
  TEditButtonControlEx* button = nullptr;
};

TEST_F(ButtonTest, HoldingTheLowerHalfRepeatsAfter400ThenEvery100Ms) {
  std::vector<bool> downs;
  bool keepRepeating = true;
  button->OnDownNotify = [&](TObject*, bool top, bool& autoRepeat) {
    downs.push_back(top);
    autoRepeat = keepRepeating;
  };
  button->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(5, 17));
  ASSERT_EQ(downs.size(), 1u);
  EXPECT_FALSE(downs[0]);
  EXPECT_EQ(button->DownButtonNum(), 2);
  EXPECT_EQ(button->RepeatInterval(), 400u);
  button->Perform(WM_TIMER, 1, 0);
  EXPECT_EQ(downs.size(), 2u);
  EXPECT_EQ(button->RepeatInterval(), 100u);
  button->Perform(WM_TIMER, 1, 0);
  EXPECT_EQ(downs.size(), 3u);
  keepRepeating = false;  // a handler that clears AutoRepeat stops it
  button->Perform(WM_TIMER, 1, 0);
  EXPECT_EQ(downs.size(), 4u);
  EXPECT_EQ(button->RepeatInterval(), 0u);
  button->Perform(WM_LBUTTONUP, 0, MakeLParam(5, 17));
}

TEST_F(ButtonTest, SlidingOffThePressedHalfGivesNoClick) {
  int clicks = 0;
  button->OnButtonClick = [&](TObject*) { ++clicks; };
  button->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(5, 17));
  button->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(5, 3));
  button->Perform(WM_LBUTTONUP, 0, MakeLParam(5, 3));
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(button->RepeatInterval(), 0u);
  button->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(5, 3));
  button->Perform(WM_LBUTTONUP, 0, MakeLParam(5, 3));
  EXPECT_EQ(clicks, 1);
}

TEST(ButtonFaceCacheTest, FacesAreReusedAndTheCacheStaysBounded) {
  EnsureGridTestApp();
  TButtonsBitmapCache& cache = ButtonsBitmapCache();
  cache.Clear();
  TBitmap target;
  target.SetSize(400, 40);
  DrawButtonFace(target.Canvas(), TRect(0, 0, 17, 20), clBtnFace, true, false, false, 0,
                 bpsDropDown);
  size_t one = cache.Count();
  EXPECT_EQ(one, 1u);
  DrawButtonFace(target.Canvas(), TRect(20, 0, 37, 20), clBtnFace, true, false, false, 0,
                 bpsDropDown);
  EXPECT_EQ(cache.Count(), one);
  // A grid dragged through many column widths: the cache does not grow past its bound.
  for (int w = 1; w < 400; ++w)
    DrawButtonFace(target.Canvas(), TRect(0, 0, w, 20), clBtnFace, true, false, false, 0,
                   bpsEllipsis);
  EXPECT_LE(cache.Count(), TButtonsBitmapCache::kCapacity);
  // Keys are compared byte for byte: a pressed face is another entry.
  EXPECT_NE(MakeFaceKey(17, 20, 0, false, 1, false, true, 0),
            MakeFaceKey(17, 20, 0, false, 0, false, true, 0));
  cache.Clear();
}

TEST(ButtonFaceCacheTest, TheDrawnFaceIsThePaintedOne) {
  EnsureGridTestApp();
  TBitmap a, b;
  a.SetSize(17, 20);
  b.SetSize(17, 20);
  ButtonsBitmapCache().Clear();
  DrawButtonFace(a.Canvas(), TRect(0, 0, 17, 20), clBtnFace, true, false, false, 0, bpsEllipsis);
  DrawButtonFace(b.Canvas(), TRect(0, 0, 17, 20), clBtnFace, true, false, false, 0, bpsEllipsis);
  int differing = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 17; ++x)
      if (a.Canvas()->Pixels(x, y) != b.Canvas()->Pixels(x, y)) ++differing;
  EXPECT_EQ(differing, 0);
  // The three dots are drawn in the button-text colour.
  int dots = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 17; ++x)
      if (static_cast<TColorRef>(a.Canvas()->Pixels(x, y)) == ColorToRGB(clBtnText)) ++dots;
  EXPECT_EQ(dots, 12);
}

}  // namespace
