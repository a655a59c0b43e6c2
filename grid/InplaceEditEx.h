// The data grid's in-place editor, TDBGridInplaceEdit, with its strip of
// edit buttons and its drop-downs: the pick list TPopupListbox and the
// month calendar TPopupMonthCalendarEx.
//
// The lookup drop-down (esDataList) is TPopupDataListEx (DBLookupEx.h).
//
// Edit styles, from the current column (GetColumnEditStyle):
//   0 esSimple        button style cbsNone, or nothing below applies
//   1 esEllipsis      cbsEllipsis
//   2 esPickList      cbsAuto, not a lookup field, PickList has items, not
//                     ReadOnly (the column's own computation: no ImageList)
//   3 esDataList      cbsAuto, a lookup field with key fields (the grid
//                     editable)
//   4 esDateCalendar  cbsAuto, a date or date-time field, not ReadOnly
//   5 esUpDown        cbsUpDown
//   6 esDropDown      cbsDropDown
//
// The editor keeps the grid's EditText and EditValue in step while the
// user types, pastes and chooses in list styles; the grid writes the cell
// by the column's kind when it is left (TCustomDBGridEx::UpdateData).
//
// Drop-downs are children of the editor's form, placed below the editor
// when they fit there, else above when they fit there, else on the side
// with more room (below on a tie); the form's client area stands for the
// desktop's work area.  A pick list is count x 11 + 4 pixels high for
// fewer items than DropDownRows, else DropDownRows x 11 + 4.
//
// Layer: grid (platform/ui beneath).
#pragma once

#include <memory>
#include <vector>

#include "grid/EditButtonsEx.h"
#include "platform/core/DateTime.h"
#include "platform/ui/Grids.h"
#include "platform/ui/StdCtrls.h"

class TCustomDBGridEx;
class TColumnEx;

// A cell write the field refused, naming the column and the text.
PAYROLL_DECLARE_EXCEPTION(EDataCellError, EDatabaseError)
class TDBGridInplaceEdit;
class TPopupDataListEx;
class TSizeGripEx;

enum TEditStyle : unsigned char {
  esSimple, esEllipsis, esPickList, esDataList, esDateCalendar, esUpDown, esDropDown
};

// The edit style of column; forEditor skips the ImageList condition of
// esPickList (the editor's own computation).
TEditStyle GetColumnEditStyle(TColumnEx* column, bool forEditor);
// The width the button strip of column takes in its cell.
int EditButtonsWidth(TColumnEx* column);

// The first item of list equal to text ignoring case; with partial only
// the first Length(text) bytes of each item count.  -1 when none.
int IndexOfText(TStrings* list, const AnsiString& text, bool partial);

// Milliseconds for the drop-downs' type-ahead (GetTickCount unless a test
// set a source).
std::uint32_t PopupTickCount();
void SetPopupTickSourceForTest(std::function<std::uint32_t()> source);

class TPopupListbox : public TCustomListBox {
  PAYROLL_CLASS(TPopupListbox, TCustomListBox)
 public:
  TPopupListbox(TComponent* owner, TDBGridInplaceEdit* editor);
  const AnsiString& SearchText() const { return searchText_; }
  bool Sized() const { return sized_; }
  void SetSized(bool value) { sized_ = value; }
  void KeyPress(char& key) override;

 protected:
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  TDBGridInplaceEdit* editor_;
  AnsiString searchText_;
  std::uint32_t searchTick_ = 0;
  bool sized_ = false;
};

// A month calendar that drops down under a date cell.  Enter accepts,
// Escape cancels; a click on a day accepts that day, a click outside
// cancels.  Up/Down move by a week, Left/Right by a day.
class TPopupMonthCalendarEx : public TCustomControl {
  PAYROLL_CLASS(TPopupMonthCalendarEx, TCustomControl)
 public:
  TPopupMonthCalendarEx(TComponent* owner, TDBGridInplaceEdit* editor);
  TDateTime Date() const { return date_; }
  void SetDate(TDateTime value);
  // The smallest size that shows a whole month.
  static TPoint MinimumSize();
  // The day shown at client point (x, y); false outside the day grid.
  bool DayAt(int x, int y, TDateTime& day) const;
  void Paint() override;
  void KeyDown(std::uint16_t& key, TShiftState shift) override;

 protected:
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  TDateTime FirstShown() const;
  TDBGridInplaceEdit* editor_;
  TDateTime date_ = 0;
};

class TDBGridInplaceEdit : public TInplaceEdit {
  PAYROLL_CLASS(TDBGridInplaceEdit, TInplaceEdit)
 public:
  explicit TDBGridInplaceEdit(TComponent* owner);
  ~TDBGridInplaceEdit() override;

  TCustomDBGridEx* DBGrid() const;
  TColumnEx* Column() const;
  TEditStyle EditStyle() const { return editStyle_; }
  void SetEditStyle(TEditStyle style);
  TWinControl* ActiveList() const { return activeList_; }
  TPopupListbox* PickList() const { return pickList_; }
  TPopupMonthCalendarEx* Calendar() const { return calendar_; }
  TPopupDataListEx* DataList() const { return dataList_; }
  // The size grip of the open list (null for the calendar).
  TSizeGripEx* ListGrip() const;
  bool ListVisible() const { return listVisible_; }
  bool DropDownActive() const { return dropDownActive_; }
  int ButtonWidth() const { return buttonWidth_; }
  TEditButtonControlEx* MainButton() const { return mainButton_; }
  // The control of the column's edit button index (null before the editor
  // showed that many).
  TEditButtonControlEx* EditButtonControl(int index) const {
    return index >= 0 && index < static_cast<int>(extraButtons_.size()) ? extraButtons_[index]
                                                                         : nullptr;
  }
  bool ReadOnlyFromParams() const { return readOnlyFromParams_; }

  void UpdateContents() override;
  void DropDown();
  void CloseUp(bool accept);
  // After the text changed: EditText (and in esDataList EditValue) follow.
  void UpdateEditValue();
  void StepValue(bool down);
  // Completion of a typed key against the pick list; typed is emptied when
  // the key was taken (or refused).
  void ValidateListText(AnsiString& typed);
  // The same against the lookup dataset (esDataList): a typed prefix of a
  // record's result field completes to it and takes its key.
  void ValidateLookupText(AnsiString& typed);
  // Pasting into a lookup or key-pick-list cell completes like typing;
  // false for cells that paste as plain text.
  bool PasteListText();
  void UpdateEditButtons();
  // The main button was pressed (isDown: the lower half of an up-down).
  void ButtonDown(bool isDown);
  void EditButtonClick(TObject* sender);
  void Move(const TRect& r) override;

 protected:
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void DoExit() override;
  void WndProc(TMessage& message) override;

 private:
  // Shows list below the editor (true) or above it (false).
  bool PlaceList(TWinControl* list, int height);
  bool CanModifyCell(bool tryEdit);
  void SetTextSelectTail(const AnsiString& text, size_t typedLength);
  TWinControl* activeList_ = nullptr;
  TPopupListbox* pickList_ = nullptr;
  TPopupMonthCalendarEx* calendar_ = nullptr;
  TPopupDataListEx* dataList_ = nullptr;
  TSizeGripEx* pickGrip_ = nullptr;
  TSizeGripEx* dataGrip_ = nullptr;
  TEditButtonControlEx* mainButton_ = nullptr;
  std::vector<TEditButtonControlEx*> extraButtons_;  // the column's EditButtons
  TEditStyle editStyle_ = esSimple;
  bool listVisible_ = false;
  bool dropDownActive_ = false;
  bool justDropped_ = false;
  bool readOnlyFromParams_ = false;
  int buttonWidth_ = 0;
  AnsiString keyBuffer_;
  AnsiString dropText_;  // the text when the list dropped down
  std::vector<int> pickKeys_;  // KeyList index of each shown pick-list item
};
