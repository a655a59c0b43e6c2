// StdCtrls: the standard controls -- labels, edits, memos, buttons, check
// boxes, radio buttons, combo boxes, list boxes, group boxes, scroll bars.
//
// Text is code-page-936 bytes throughout, and so are positions and
// lengths: MaxLength, SelStart and SelLength count bytes (a Chinese
// character is two), as the class library's ANSI controls do.  A limit
// never splits a double-byte character.
// List contents (Items, Lines) are TStringList objects owned by the
// control; changing them updates the widget.
#pragma once

#include "platform/core/TypInfo.h"

#include <memory>

#include "platform/core/Strings.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QCheckBox;
class QRadioButton;
class QComboBox;
class QListWidget;
class QGroupBox;
class QScrollBar;

enum TTextLayout { tlTop, tlCenter, tlBottom };
PAYROLL_ENUM_NAMES(TTextLayout, tlTop, tlCenter, tlBottom)
enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
PAYROLL_ENUM_NAMES(TEditCharCase, ecNormal, ecUpperCase, ecLowerCase)
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
PAYROLL_ENUM_NAMES(TScrollStyle, ssNone, ssHorizontal, ssVertical, ssBoth)
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
PAYROLL_ENUM_NAMES(TCheckBoxState, cbUnchecked, cbChecked, cbGrayed)
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
PAYROLL_ENUM_NAMES(TComboBoxStyle, csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable)
enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };
PAYROLL_ENUM_NAMES(TListBoxStyle, lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable)
enum TScrollBarKind { sbHorizontal, sbVertical };
PAYROLL_ENUM_NAMES(TScrollBarKind, sbHorizontal, sbVertical)
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };

// --- labels ---------------------------------------------------------------

class TCustomLabel : public TGraphicControl {
  PAYROLL_CLASS(TCustomLabel, TGraphicControl)

 public:
  explicit TCustomLabel(TComponent* owner);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout l);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool v);
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* c) { focusControl_ = c; }
  void Paint() override;
  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;

 protected:
  void TextChanged() override;
  void FontChanged() override;
  void AdjustBounds();
  unsigned DrawFlags() const;

 private:
  TAlignment alignment_ = taLeftJustify;
  bool autoSize_ = true;
  bool transparent_ = false;
  bool wordWrap_ = false;
  TTextLayout layout_ = tlTop;
  bool showAccelChar_ = true;
  TWinControl* focusControl_ = nullptr;
};

class TLabel : public TCustomLabel {
  PAYROLL_CLASS(TLabel, TCustomLabel)

 public:
  explicit TLabel(TComponent* owner) : TCustomLabel(owner) {}
};

// --- edits ---------------------------------------------------------------------

class TCustomEdit : public TWinControl {
  PAYROLL_CLASS(TCustomEdit, TWinControl)

 public:
  explicit TCustomEdit(TComponent* owner);
  ~TCustomEdit() override;
  // 0: no limit.  Counted in bytes.
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int n);
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char c);
  TEditCharCase CharCase() const { return charCase_; }
  void SetCharCase(TEditCharCase c);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool v) { autoSelect_ = v; }
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);
  bool Modified() const { return modified_; }
  void SetModified(bool v) { modified_ = v; }
  // Byte positions in Text.
  int SelStart() const;
  void SetSelStart(int bytes);
  int SelLength() const;
  void SetSelLength(int bytes);
  AnsiString SelText() const;
  virtual void SetSelText(const AnsiString& text);
  void SelectAll();
  virtual void ClearSelection();
  // Pixels kept free of text on each side inside the edit (the text
  // rectangle, as EM_SETRECT sets it); buttons placed over the edit sit
  // there.
  void SetTextMargins(int left, int top, int right, int bottom);
  TRect TextMargins() const { return textMargins_; }
  void Clear() { SetText(AnsiString()); }
  virtual void CopyToClipboard();
  virtual void CutToClipboard();
  virtual void PasteFromClipboard();
  bool CanUndo() const;
  void Undo();

  TNotifyEvent OnChange;

  bool WantsKey(std::uint16_t vk, TShiftState shift) const override;

 protected:
  // The edit widget (a line edit; memos override the text access).
  virtual AnsiString GetText() const override;
  void SetTextValue(const AnsiString& text) override;
  // The text after the user typed: case, limit, Modified, OnChange.
  virtual void UserEdited();
  virtual void Change();
  void DoEnter() override;
  bool OpaqueBackground() const override { return true; }
  QLineEdit* LineEdit() const { return edit_; }
  // Applies CharCase and MaxLength to text (bytes).
  AnsiString Conform(const AnsiString& text) const;

  QLineEdit* edit_ = nullptr;

 private:
  int maxLength_ = 0;
  char passwordChar_ = 0;
  TEditCharCase charCase_ = ecNormal;
  bool readOnly_ = false;
  bool autoSelect_ = true;
  TBorderStyle borderStyle_ = bsSingle;
  bool modified_ = false;
  bool settingText_ = false;
  TRect textMargins_;
};

class TEdit : public TCustomEdit {
  PAYROLL_CLASS(TEdit, TCustomEdit)

 public:
  explicit TEdit(TComponent* owner) : TCustomEdit(owner) {}
};

class TCustomMemo : public TCustomEdit {
  PAYROLL_CLASS(TCustomMemo, TCustomEdit)

 public:
  explicit TCustomMemo(TComponent* owner);
  ~TCustomMemo() override;
  TStrings* Lines() const { return lines_.get(); }
  void SetLines(TStrings* lines) { lines_->Assign(lines); }
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle s);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  bool WantReturns() const { return wantReturns_; }
  void SetWantReturns(bool v) { wantReturns_ = v; }
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool v) { wantTabs_ = v; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; }
  bool WantsKey(std::uint16_t vk, TShiftState shift) const override;
  int SelStart() const;
  void SetSelStart(int bytes);
  int SelLength() const;
  void SetSelLength(int bytes);
  // The selection and the clipboard work on the memo's text as on an
  // edit's: the text replaces the selection at the caret.
  void SetSelText(const AnsiString& text) override;
  void ClearSelection() override;
  void CopyToClipboard() override;
  void CutToClipboard() override;
  void PasteFromClipboard() override;

 protected:
  AnsiString GetText() const override;
  void SetTextValue(const AnsiString& text) override;

 private:
  void LinesChanged();
  QPlainTextEdit* memo_ = nullptr;
  std::unique_ptr<TStringList> lines_;
  TScrollStyle scrollBars_ = ssNone;
  bool wordWrap_ = true;
  bool wantReturns_ = true;
  bool wantTabs_ = false;
  TAlignment alignment_ = taLeftJustify;
  bool syncing_ = false;
};

class TMemo : public TCustomMemo {
  PAYROLL_CLASS(TMemo, TCustomMemo)

 public:
  explicit TMemo(TComponent* owner) : TCustomMemo(owner) {}
};

// --- buttons ------------------------------------------------------------------------

class TButtonControl : public TWinControl {
  PAYROLL_CLASS(TButtonControl, TWinControl)

 public:
  explicit TButtonControl(TComponent* owner);
  bool ClickOnMouseUp() const override { return false; }
  bool WantsKey(std::uint16_t vk, TShiftState shift) const override;
};

class TButton : public TButtonControl {
  PAYROLL_CLASS(TButton, TButtonControl)

 public:
  explicit TButton(TComponent* owner);
  ~TButton() override;
  // Enter anywhere on the form clicks the Default button; Esc the Cancel one.
  bool Default() const { return default_; }
  void SetDefault(bool v);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool v) { cancel_ = v; }
  // Clicking sets the form's ModalResult to this value (when not mrNone).
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult r) { modalResult_ = r; }
  // Sets the form's ModalResult, then runs OnClick.
  void Click() override;

 protected:
  AnsiString GetText() const override;
  void SetTextValue(const AnsiString& text) override;
  QPushButton* PushButton() const { return button_; }
  QPushButton* button_ = nullptr;

 private:
  bool default_ = false;
  bool cancel_ = false;
  TModalResult modalResult_ = mrNone;
};

class TCustomCheckBox : public TButtonControl {
  PAYROLL_CLASS(TCustomCheckBox, TButtonControl)

 public:
  explicit TCustomCheckBox(TComponent* owner);
  ~TCustomCheckBox() override;
  bool Checked() const { return state_ == cbChecked; }
  void SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState s);
  bool AllowGrayed() const { return allowGrayed_; }
  void SetAllowGrayed(bool v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);

 protected:
  AnsiString GetText() const override;
  void SetTextValue(const AnsiString& text) override;

 private:
  QCheckBox* box_ = nullptr;
  TCheckBoxState state_ = cbUnchecked;
  bool allowGrayed_ = false;
  TAlignment alignment_ = taRightJustify;
};

class TCheckBox : public TCustomCheckBox {
  PAYROLL_CLASS(TCheckBox, TCustomCheckBox)

 public:
  explicit TCheckBox(TComponent* owner) : TCustomCheckBox(owner) {}
};

// Radio buttons with the same parent form one group: checking one
// unchecks the others.
class TRadioButton : public TButtonControl {
  PAYROLL_CLASS(TRadioButton, TButtonControl)

 public:
  explicit TRadioButton(TComponent* owner);
  ~TRadioButton() override;
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; }

 protected:
  AnsiString GetText() const override;
  void SetTextValue(const AnsiString& text) override;

 private:
  QRadioButton* radio_ = nullptr;
  bool checked_ = false;
  TAlignment alignment_ = taRightJustify;
};

// --- lists ----------------------------------------------------------------------------

class TCustomComboBox : public TWinControl {
  PAYROLL_CLASS(TCustomComboBox, TWinControl)

 public:
  explicit TCustomComboBox(TComponent* owner);
  ~TCustomComboBox() override;
  TStrings* Items() const { return items_.get(); }
  void SetItems(TStrings* items) { items_->Assign(items); }
  int ItemIndex() const;
  void SetItemIndex(int index);
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle s);
  int DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(int n);
  bool Sorted() const { return items_->Sorted(); }
  void SetSorted(bool v) { items_->SetSorted(v); }
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int n) { maxLength_ = n; }
  TEditCharCase CharCase() const { return charCase_; }
  void SetCharCase(TEditCharCase c) { charCase_ = c; }
  bool DroppedDown() const;
  void SetDroppedDown(bool v);
  int ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int h) { itemHeight_ = h; }
  void Clear();
  bool WantsKey(std::uint16_t vk, TShiftState shift) const override;

  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;

 protected:
  AnsiString GetText() const override;
  void SetTextValue(const AnsiString& text) override;
  bool OpaqueBackground() const override { return true; }
  virtual void Change();
  virtual void Select();
  QComboBox* combo_ = nullptr;

 private:
  void ItemsChanged();
  void RebuildWidget();
  std::unique_ptr<TStringList> items_;
  QLineEdit* wiredEdit_ = nullptr;
  TComboBoxStyle style_ = csDropDown;
  int dropDownCount_ = 8;
  int maxLength_ = 0;
  TEditCharCase charCase_ = ecNormal;
  int itemHeight_ = 16;
  bool syncing_ = false;
};

class TComboBox : public TCustomComboBox {
  PAYROLL_CLASS(TComboBox, TCustomComboBox)

 public:
  explicit TComboBox(TComponent* owner) : TCustomComboBox(owner) {}
};

class TCustomListBox : public TWinControl {
  PAYROLL_CLASS(TCustomListBox, TWinControl)

 public:
  explicit TCustomListBox(TComponent* owner);
  ~TCustomListBox() override;
  TStrings* Items() const { return items_.get(); }
  void SetItems(TStrings* items) { items_->Assign(items); }
  int ItemIndex() const;
  void SetItemIndex(int index);
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool v);
  bool Selected(int index) const;
  void SetSelected(int index, bool v);
  int SelCount() const;
  bool Sorted() const { return items_->Sorted(); }
  void SetSorted(bool v) { items_->SetSorted(v); }
  int ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int h);
  int TopIndex() const;
  void SetTopIndex(int index);
  TListBoxStyle Style() const { return style_; }
  void SetStyle(TListBoxStyle s) { style_ = s; }
  bool IntegralHeight() const { return integralHeight_; }
  void SetIntegralHeight(bool v) { integralHeight_ = v; }
  // The item at client point (x, y), or -1 (with existing false: the
  // nearest item, as the class library's ItemAtPos).
  int ItemAtPos(const TPoint& p, bool existing) const;
  TRect ItemRect(int index) const;
  void Clear() { items_->Clear(); }
  bool ClickOnMouseUp() const override { return false; }
  bool WantsKey(std::uint16_t vk, TShiftState shift) const override;

 protected:
  bool OpaqueBackground() const override { return true; }
  QListWidget* list_ = nullptr;

 private:
  void ItemsChanged();
  std::unique_ptr<TStringList> items_;
  bool multiSelect_ = false;
  int itemHeight_ = 13;
  TListBoxStyle style_ = lbStandard;
  bool integralHeight_ = false;
  bool syncing_ = false;
};

class TListBox : public TCustomListBox {
  PAYROLL_CLASS(TListBox, TCustomListBox)

 public:
  explicit TListBox(TComponent* owner) : TCustomListBox(owner) {}
};

// --- containers and bars ---------------------------------------------------------------

class TCustomGroupBox : public TWinControl {
  PAYROLL_CLASS(TCustomGroupBox, TWinControl)

 public:
  explicit TCustomGroupBox(TComponent* owner);
  void AdjustClientRect(TRect& rect) const override;

 protected:
  AnsiString GetText() const override;
  void SetTextValue(const AnsiString& text) override;
  bool OpaqueBackground() const override { return true; }
  QGroupBox* box_ = nullptr;
};

class TGroupBox : public TCustomGroupBox {
  PAYROLL_CLASS(TGroupBox, TCustomGroupBox)

 public:
  explicit TGroupBox(TComponent* owner) : TCustomGroupBox(owner) {}
};

class TScrollBar : public TWinControl {
  PAYROLL_CLASS(TScrollBar, TWinControl)

 public:
  explicit TScrollBar(TComponent* owner);
  ~TScrollBar() override;
  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind k);
  int Min() const { return min_; }
  void SetMin(int v) { SetParams(position_, v, max_); }
  int Max() const { return max_; }
  void SetMax(int v) { SetParams(position_, min_, v); }
  int Position() const { return position_; }
  void SetPosition(int v) { SetParams(v, min_, max_); }
  int SmallChange() const { return smallChange_; }
  void SetSmallChange(int v);
  int LargeChange() const { return largeChange_; }
  void SetLargeChange(int v);
  int PageSize() const { return pageSize_; }
  void SetPageSize(int v);
  // Raises EInvalidOperation when min > max; clamps position.
  void SetParams(int position, int min, int max);

  TNotifyEvent OnChange;
  std::function<void(TObject* sender, TScrollCode code, int& position)> OnScroll;

 private:
  QScrollBar* bar_ = nullptr;
  TScrollBarKind kind_ = sbHorizontal;
  int min_ = 0, max_ = 100, position_ = 0;
  int smallChange_ = 1, largeChange_ = 1, pageSize_ = 0;
  bool syncing_ = false;
};
