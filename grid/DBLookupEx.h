// The lookup drop-down of a grid cell: TPopupDataListEx lists the records
// of a lookup dataset (key field, one or more display fields) with an
// optional title row and an optional special first row (TSpecRowEx), and
// searches as the user types.
//
// The special row's CellsText is a ";"-separated list of cells: leading
// control characters are skipped; a cell starting with a double quote is a
// quoted string (a doubled quote inside stands for one) and may hold ";".
//
// Sizes: row height = the font's height; title = row height + 1 when
// shown; special row = its font's height when visible.  Height =
// RowCount x row height + 2 (border) + title + special row.  RowCount is
// kept within 1 ... 100.
//
// The list follows its dataset: a change of the dataset's records (an
// edit posted, a record added or deleted, the dataset closed or re-opened)
// re-reads the rows, keeping the chosen key and the top row where they can
// stay.
//
// Type-ahead: characters typed within 2000 ms of each other (PopupTickCount,
// InplaceEditEx.h) extend the search text (at most 32 bytes); a Chinese
// character counts whole; the first record whose display field starts with
// the text, ignoring case, becomes the chosen key.
//
// Layer: grid (platform/ui beneath).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Variant.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Graphics.h"

class TDataSet;
class TDataSource;
class TDBGridInplaceEdit;

class TSpecRowEx : public TPersistent {
  PAYROLL_CLASS(TSpecRowEx, TPersistent)
 public:
  TSpecRowEx() = default;
  void Assign(TPersistent* source) override;
  const AnsiString& CellsText() const { return cellsText_; }
  void SetCellsText(const AnsiString& value);
  // The text of cell index, empty when out of range.
  AnsiString CellText(int index) const;
  int CellCount() const { return static_cast<int>(cells_.size()); }
  const Variant& Value() const { return value_; }
  void SetValue(const Variant& value) { value_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }
  bool ShowIfNotInKeyList() const { return showIfNotInKeyList_; }
  void SetShowIfNotInKeyList(bool value) { showIfNotInKeyList_ = value; }
  unsigned short ShortCut() const { return shortCut_; }
  void SetShortCut(unsigned short value) { shortCut_ = value; }
  TColor Color() const { return color_; }
  void SetColor(TColor value) { color_ = value; }

 private:
  AnsiString cellsText_;
  std::vector<AnsiString> cells_;
  Variant value_ = Variant::Null();
  bool visible_ = false;
  bool showIfNotInKeyList_ = true;
  unsigned short shortCut_ = 32814;  // Alt+Del
  TColor color_ = clWindow;
};

// The size grip in a corner of a drop-down: dragging it resizes the list
// (the new size is the size at the press plus the mouse's movement; from a
// top corner the list's top moves instead) and then runs OnResized.
// Corners: 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left.
class TSizeGripEx : public TCustomControl {
  PAYROLL_CLASS(TSizeGripEx, TCustomControl)
 public:
  explicit TSizeGripEx(TWinControl* list);
  int Position() const { return position_; }
  void SetPosition(int corner);
  // Puts the grip into its corner of the list's client area.
  void Place();
  void Paint() override;
  TNotifyEvent OnResized;

 protected:
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  TWinControl* list_;
  int position_ = 2;
  bool moving_ = false;
  TPoint start_{0, 0};
  TRect startBounds_;
};

class TPopupDataListEx : public TCustomControl {
  PAYROLL_CLASS(TPopupDataListEx, TCustomControl)
 public:
  TPopupDataListEx(TComponent* owner, TDBGridInplaceEdit* editor);
  ~TPopupDataListEx() override;

  // Reads the list: every record of dataset, keyed by keyField, shown by
  // the ";"-separated listFields (the display field is listFields' entry
  // displayIndex), and follows the dataset from then on.  The dataset's
  // position is kept.
  void SetList(TDataSet* dataset, const AnsiString& keyField, const AnsiString& listFields,
               int displayIndex);
  int RecordCount() const { return static_cast<int>(rows_.size()); }
  int RowCount() const { return rowCount_; }
  void SetRowCount(int value);
  bool ShowTitles() const { return showTitles_; }
  void SetShowTitles(bool value);
  TSpecRowEx* SpecRow() { return &specRow_; }
  int RowHeight() const;
  int TitleHeight() const { return showTitles_ ? RowHeight() + 1 : 0; }
  int SpecRowHeight() const { return specRow_.Visible() ? RowHeight() : 0; }

  // The chosen key; choosing a row or the special row changes it.
  const Variant& KeyValue() const { return keyValue_; }
  void SetKeyValue(const Variant& value);
  bool SpecRowSelected() const { return specSelected_; }
  // The display text of the chosen row (the special row's cell when it is
  // chosen).
  AnsiString SelectedText() const;
  int SelectedRow() const { return selected_; }
  int TopRow() const { return top_; }
  const AnsiString& SearchText() const { return searchText_; }
  // The user resized the list (by its grip): RowCount follows the height,
  // which snaps to whole rows.
  void FitToHeight();
  bool Sized() const { return sized_; }
  void SetSized(bool value) { sized_ = value; }

  void KeyDown(std::uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void Paint() override;

 protected:
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void WndProc(TMessage& message) override;

 public:
  // While the button is held outside the rows, timer 1 scrolls a row a
  // tick every 200 - 15 x (pixels outside) ms, at least 0; 0 when idle.
  unsigned TrackInterval() const { return trackInterval_; }

 private:
  struct TRow {
    Variant Key;
    std::vector<AnsiString> Texts;
  };
  class TListLink;
  friend class TListLink;
  void ReadRows();
  void ListChanged();
  std::unique_ptr<TDataSource> source_;
  std::unique_ptr<TListLink> link_;
  AnsiString keyField_, listFields_;
  bool reading_ = false;
  void Select(int row);
  void SelectSpecRow();
  void ScrollTo(int row);
  int RowAt(int y) const;  // -2 special row, -1 none
  void UpdateHeight();
  TDBGridInplaceEdit* editor_;
  std::vector<TRow> rows_;
  std::vector<AnsiString> titles_;
  int display_ = 0;
  int rowCount_ = 7;
  bool showTitles_ = false;
  TSpecRowEx specRow_;
  Variant keyValue_ = Variant::Null();
  bool specSelected_ = false;
  int selected_ = -1;
  int top_ = 0;
  AnsiString searchText_;
  std::uint32_t searchTick_ = 0;
  char pendingLead_ = 0;
  bool sized_ = false;
  bool tracking_ = false;
  int trackDirection_ = 0;
  unsigned trackInterval_ = 0;
};
