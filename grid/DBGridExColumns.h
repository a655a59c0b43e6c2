// The data grid's columns: TColumnEx with its title and footers, the
// column collection TDBGridColumnsEx, the grid-wide defaults
// TColumnDefValuesEx and the per-cell parameters TColCellParamsEx.
//
// Assigned values.  Most visual properties of a column, its title and its
// footers have no value of their own until one is assigned; until then
// they follow the field or the grid:
//
//   Color      the grid's Color            (clWindow without grid)
//   Width      DefaultWidth                (64 without grid)
//   Font       the grid's Font             (the column's own without grid)
//   Alignment  the field's Alignment       (taLeftJustify without field)
//   ReadOnly   grid ReadOnly, else the field's ReadOnly
//   booleans   the grid's ColumnDefValues  (False without grid)
//
// AssignedValues records which ones hold a value of their own; only those
// are written to a form.  The title's flags live in its column's set.
//
// A column finds its grid only through its collection: a column in a
// TDBGridColumnsEx belongs to that collection's grid; any other column has
// no grid and takes the fallbacks in brackets above.
//
// Layer: grid.  The grid itself (TCustomDBGridEx) is declared in DBGridEx.h.
#pragma once

#include <functional>
#include <memory>

#include "grid/DBGridExFooters.h"
#include "platform/core/Collections.h"
#include "platform/core/Strings.h"
#include "platform/core/Variant.h"
#include "platform/ui/Controls.h"
#include "platform/ui/StdCtrls.h"

class TCustomDBGridEx;
class TColumnEx;
class TField;
class TCustomImageList;
class TPopupMenu;
class TSpecRowEx;
class TEditButtonsEx;

enum TColumnButtonStyleEx { cbsAuto, cbsEllipsis, cbsNone, cbsUpDown, cbsDropDown };
PAYROLL_ENUM_NAMES(TColumnButtonStyleEx, cbsAuto, cbsEllipsis, cbsNone, cbsUpDown, cbsDropDown)

enum TSortMarkerEx { smNoneEx, smDownEx, smUpEx };
PAYROLL_ENUM_NAMES(TSortMarkerEx, smNoneEx, smDownEx, smUpEx)

enum TTextOrientationEx { tohHorizontal, tohVertical };
PAYROLL_ENUM_NAMES(TTextOrientationEx, tohHorizontal, tohVertical)

enum TColumnKind { ckCheckboxes, ckLookup, ckPickList, ckKeyImageList, ckKeyPickList, ckCommon };

// Input-method settings a column may give its editor.
enum TImeMode {
  imDisable, imClose, imOpen, imDontCare, imSAlpha, imAlpha, imHira, imSKata, imKata,
  imChinese, imSHanguel, imHanguel
};
PAYROLL_ENUM_NAMES(TImeMode, imDisable, imClose, imOpen, imDontCare, imSAlpha, imAlpha, imHira,
                   imSKata, imKata, imChinese, imSHanguel, imHanguel)
using TImeName = AnsiString;

// Bit i of AssignedValues (stored in this order).
enum TColumnExValue {
  cvColor, cvWidth, cvFont, cvAlignment, cvReadOnly, cvTitleColor, cvTitleCaption,
  cvTitleAlignment, cvTitleFont, cvTitleButton, cvTitleEndEllipsis, cvTitleToolTips,
  cvTitleOrientation, cvImeMode, cvImeName, cvWordWrap, cvLookupDisplayFields, cvCheckboxes,
  cvAlwaysShowEditButton, cvEndEllipsis, cvAutoDropDown, cvDblClickNextVal, cvToolTips,
  cvDropDownSizing, cvDropDownShowTitles
};
using TColumnExValues = TSet<TColumnExValue, 32>;

// One cell's drawing and editing parameters, filled by the column and
// passed to the OnGetCellParams handlers.
class TColCellParamsEx {
 public:
  TAlignment Alignment = taLeftJustify;
  TColor Background = clWindow;
  TCheckBoxState CheckboxState = cbUnchecked;
  int Col = -1;
  TFont* Font = nullptr;  // the grid's shared cell font, not owned
  int ImageIndex = -1;
  bool ReadOnly = false;
  int Row = -1;
  unsigned State = 0;  // the grid's draw state bits
  AnsiString Text;
};

using TGetColCellParamsEventEx =
    std::function<void(TObject* sender, bool editMode, TColCellParamsEx* params)>;
using TButtonClickEventEx = std::function<void(TObject* sender, bool& handled)>;
using TButtonDownEventEx =
    std::function<void(TObject* sender, bool topButton, bool& autoRepeat, bool& handled)>;
using TNotInListEventEx =
    std::function<void(TObject* sender, const AnsiString& newText, bool& recheckInList)>;
using TColCellUpdateDataEventEx = std::function<void(
    TObject* sender, AnsiString& text, Variant& value, bool& useText, bool& handled)>;

// --- the column's title ------------------------------------------------------

class TColumnTitleEx : public TPersistent {
  PAYROLL_CLASS(TColumnTitleEx, TPersistent)
 public:
  explicit TColumnTitleEx(TColumnEx* column);
  ~TColumnTitleEx() override;

  TColumnEx* Column() const { return column_; }
  void Assign(TPersistent* source) override;
  // Clears the title's assigned values and its caption.
  virtual void RestoreDefaults();

  // The field's DisplayLabel (or the column's FieldName) until assigned.
  AnsiString Caption() const;
  virtual void SetCaption(const AnsiString& value);
  TAlignment Alignment() const;
  void SetAlignment(TAlignment value);
  TColor Color() const;
  void SetColor(TColor value);
  TFont* Font() const;
  void SetFont(TFont* value) { font_->Assign(value); }
  bool EndEllipsis() const;
  void SetEndEllipsis(bool value);
  bool TitleButton() const;
  void SetTitleButton(bool value);
  bool ToolTips() const;
  void SetToolTips(bool value);
  TTextOrientationEx Orientation() const;
  void SetOrientation(TTextOrientationEx value);
  const AnsiString& Hint() const { return hint_; }
  void SetHint(const AnsiString& value) { hint_ = value; }
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int value);

  // Sort marker and its place among the grid's marked columns.
  TSortMarkerEx SortMarker() const { return sortMarker_; }
  void SetSortMarker(TSortMarkerEx value);
  int SortIndex() const { return sortIndex_; }
  void SetSortIndex(int value);
  // A title click with automatic sort marking: none -> down -> up -> none
  // (multi) or -> down (single, which also clears the other columns).
  void ToggleSortMarker(bool multi);
  // Room the marker takes in the title (0 without marker).
  int SortMarkerWidth() const;

  // Defaults while not assigned.
  AnsiString DefaultCaption() const;
  TAlignment DefaultAlignment() const;
  TColor DefaultColor() const;
  TFont* DefaultFont() const;
  bool DefaultEndEllipsis() const;
  bool DefaultTitleButton() const;
  bool DefaultToolTips() const;
  TTextOrientationEx DefaultOrientation() const;
  // Whether a value is written: assigned and different from the default.
  bool IsCaptionStored() const;
  bool IsFontStored() const;
  bool IsAlignmentStored() const {
    return Assigned(cvTitleAlignment) && alignment_ != DefaultAlignment();
  }
  bool IsColorStored() const { return Assigned(cvTitleColor) && color_ != DefaultColor(); }
  bool IsEndEllipsisStored() const {
    return Assigned(cvTitleEndEllipsis) && endEllipsis_ != DefaultEndEllipsis();
  }
  bool IsTitleButtonStored() const {
    return Assigned(cvTitleButton) && titleButton_ != DefaultTitleButton();
  }
  bool IsToolTipsStored() const {
    return Assigned(cvTitleToolTips) && toolTips_ != DefaultToolTips();
  }
  bool IsOrientationStored() const {
    return Assigned(cvTitleOrientation) && orientation_ != DefaultOrientation();
  }

  // The sort index as loading stores it (MarkedColumns is rebuilt after).
  void SetSortIndexLoaded(int value) { sortIndex_ = value < 0 ? 0 : value; }

 private:
  void FontChanged();
  bool Assigned(TColumnExValue v) const;
  void MarkAssigned(TColumnExValue v);
  void Changed(bool allColumns);
  void RefreshDefaultFont() const;

  TColumnEx* column_;
  AnsiString caption_;
  std::unique_ptr<TFont> font_;
  TColor color_ = clBtnFace;
  TAlignment alignment_ = taLeftJustify;
  bool endEllipsis_ = false;
  int sortIndex_ = 0;
  AnsiString hint_;
  int imageIndex_ = -1;
  bool toolTips_ = false;
  TTextOrientationEx orientation_ = tohHorizontal;
  TSortMarkerEx sortMarker_ = smNoneEx;
  bool titleButton_ = false;
  bool settingDefaultFont_ = false;
};

// --- the column --------------------------------------------------------------

class TColumnEx : public TCollectionItem {
  PAYROLL_CLASS(TColumnEx, TCollectionItem)
 public:
  explicit TColumnEx(TCollection* collection);
  ~TColumnEx() override;

  // The grid of the collection, or null for a column outside any grid.
  TCustomDBGridEx* Grid() const;
  void Assign(TPersistent* source) override;
  AnsiString DisplayName() const override;
  void SetIndex(int index) override;
  // Back to the unassigned state: every flag cleared, font reloaded, pick
  // and key lists freed, button style automatic.
  virtual void RestoreDefaults();

  const TColumnExValues& AssignedValues() const { return assigned_; }

  // --- the field ------------------------------------------------------------
  // Looked up by FieldName in the grid's dataset on first use and cached.
  TField* Field() const;
  virtual void SetField(TField* field);
  const AnsiString& FieldName() const { return fieldName_; }
  void SetFieldName(const AnsiString& value);
  // A column the user declared (true) or one built from the dataset's
  // fields (false).
  bool Stored() const { return stored_; }
  void SetStored(bool value) { stored_ = value; }
  TColumnKind ColumnKind() const;

  // --- properties with an assigned flag ------------------------------------
  TAlignment Alignment() const;
  virtual void SetAlignment(TAlignment value);
  TColor Color() const;
  void SetColor(TColor value);
  TFont* Font() const;
  void SetFont(TFont* value) { font_->Assign(value); }
  bool ReadOnly() const;
  virtual void SetReadOnly(bool value);
  int Width() const;
  virtual void SetWidth(int value);
  TImeMode ImeMode() const;
  virtual void SetImeMode(TImeMode value);
  TImeName ImeName() const;
  virtual void SetImeName(const TImeName& value);
  bool WordWrap() const;
  virtual void SetWordWrap(bool value);
  AnsiString LookupDisplayFields() const;
  virtual void SetLookupDisplayFields(const AnsiString& value);
  bool Checkboxes() const;
  void SetCheckboxes(bool value);
  bool AlwaysShowEditButton() const;
  void SetAlwaysShowEditButton(bool value);
  bool EndEllipsis() const;
  void SetEndEllipsis(bool value);
  bool AutoDropDown() const;
  void SetAutoDropDown(bool value);
  bool DblClickNextVal() const;
  void SetDblClickNextVal(bool value);
  bool ToolTips() const;
  void SetToolTips(bool value);
  bool DropDownSizing() const;
  void SetDropDownSizing(bool value);
  bool DropDownShowTitles() const;
  void SetDropDownShowTitles(bool value);

  // --- plain properties -----------------------------------------------------
  TColumnButtonStyleEx ButtonStyle() const { return buttonStyle_; }
  void SetButtonStyle(TColumnButtonStyleEx value);
  unsigned DropDownRows() const { return dropDownRows_; }
  void SetDropDownRows(unsigned value) { dropDownRows_ = value; }
  int DropDownWidth() const { return dropDownWidth_; }
  void SetDropDownWidth(int value);
  bool AutoFitColWidth() const { return autoFitColWidth_; }
  virtual void SetAutoFitColWidth(bool value);
  int AutoFitBaseWidth() const { return autoFitBaseWidth_; }
  void SetAutoFitBaseWidth(int value) { autoFitBaseWidth_ = value; }
  double Increment() const { return increment_; }
  void SetIncrement(double value) { increment_ = value; }
  int MaxWidth() const { return maxWidth_; }
  void SetMaxWidth(int value);
  int MinWidth() const { return minWidth_; }
  void SetMinWidth(int value);
  // MinWidth when it is set and above w, else MaxWidth when set and below
  // w, else w.
  int ClampWidth(int w) const;
  int NotInKeyListIndex() const { return notInKeyListIndex_; }
  void SetNotInKeyListIndex(int value);
  // Created on first read.
  TStrings* PickList() const;
  void SetPickList(TStrings* value);
  TStrings* KeyList() const;
  void SetKeyList(TStrings* value);
  bool HasPickList() const { return pickList_ != nullptr; }
  TCustomImageList* ImageList() const { return imageList_; }
  void SetImageList(TCustomImageList* value);
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  int Tag() const { return tag_; }
  void SetTag(int value) { tag_ = value; }
  TColumnTitleEx* Title() const { return title_.get(); }
  void SetTitle(TColumnTitleEx* value) { title_->Assign(value); }
  TColumnFooterEx* Footer() const { return footer_.get(); }
  void SetFooter(TColumnFooterEx* value) { footer_->Assign(value); }
  TColumnFootersEx* Footers() const { return footers_.get(); }
  // The special first row of the column's lookup drop-down (DBLookupEx.h),
  // made on first use.
  TSpecRowEx* DropDownSpecRow() const;
  // The column's extra edit buttons (EditButtonsEx.h), made on first use.
  TEditButtonsEx* EditButtons() const;
  void SetFooters(TColumnFootersEx* value) { footers_->Assign(value); }
  // The footer of footer row `row`: Footers[row] when it exists, else Footer.
  TColumnFooterEx* UsedFooter(int row) const;

  // --- defaults while not assigned ------------------------------------------
  TAlignment DefaultAlignment() const;
  TColor DefaultColor() const;
  TFont* DefaultFont() const;
  bool DefaultReadOnly() const;
  int DefaultWidth() const;
  TImeMode DefaultImeMode() const;
  TImeName DefaultImeName() const;
  bool DefaultWordWrap() const;
  AnsiString DefaultLookupDisplayFields() const;
  bool DefaultCheckboxes() const;
  bool DefaultAlwaysShowEditButton() const;
  bool DefaultEndEllipsis() const;
  bool DefaultAutoDropDown() const;
  bool DefaultDblClickNextVal() const;
  bool DefaultToolTips() const;
  bool DefaultDropDownSizing() const;
  bool DefaultDropDownShowTitles() const;

  // --- cell operations ----------------------------------------------------------
  // Whether the current record's cell may be changed; with tryEdit the
  // dataset is put into edit state and the answer is whether it is editing.
  bool CanModify(bool tryEdit);
  // The one path by which the grid and its editor write a cell.
  void UpdateDataValues(const AnsiString& text, const Variant& value, bool useText);
  // Steps the cell to the next (increment 1) or previous value.
  void SetNextFieldValue(double increment);
  TCheckBoxState GetCheckboxState() const;
  void SetCheckboxState(TCheckBoxState state);
  AnsiString GetDisplayText() const;
  int GetImageIndex() const;
  void FillColCellParams(TColCellParamsEx* params) const;
  virtual void GetColCellParams(bool editMode, TColCellParamsEx* params);
  // Re-synchronises the sum-list items of Footer and every Footers item.
  void UpdateFooterSums();

  TButtonClickEventEx OnEditButtonClick;
  TButtonDownEventEx OnEditButtonDown;
  TGetColCellParamsEventEx OnGetCellParams() const { return onGetCellParams_; }
  void SetOnGetCellParams(const TGetColCellParamsEventEx& value);
  TNotInListEventEx OnNotInList;
  TColCellUpdateDataEventEx OnUpdateData;

  // Whether an assigned value is written: assigned and different from the
  // value the column would have without it.
  bool IsColorStored() const { return Assigned(cvColor) && color_ != DefaultColor(); }
  bool IsWidthStored() const { return Assigned(cvWidth) && width_ != DefaultWidth(); }
  bool IsFontStored() const { return Assigned(cvFont); }
  bool IsAlignmentStored() const {
    return Assigned(cvAlignment) && alignment_ != DefaultAlignment();
  }
  bool IsReadOnlyStored() const { return Assigned(cvReadOnly) && readOnly_ != DefaultReadOnly(); }
  bool IsImeModeStored() const { return Assigned(cvImeMode) && imeMode_ != DefaultImeMode(); }
  bool IsImeNameStored() const { return Assigned(cvImeName) && imeName_ != DefaultImeName(); }
  bool IsWordWrapStored() const { return Assigned(cvWordWrap) && wordWrap_ != DefaultWordWrap(); }
  bool IsLookupDisplayFieldsStored() const {
    return Assigned(cvLookupDisplayFields) && lookupDisplayFields_ != DefaultLookupDisplayFields();
  }
  bool IsCheckboxesStored() const {
    return Assigned(cvCheckboxes) && checkboxes_ != DefaultCheckboxes();
  }
  bool IsAlwaysShowEditButtonStored() const {
    return Assigned(cvAlwaysShowEditButton) &&
           alwaysShowEditButton_ != DefaultAlwaysShowEditButton();
  }
  bool IsEndEllipsisStored() const {
    return Assigned(cvEndEllipsis) && endEllipsis_ != DefaultEndEllipsis();
  }
  bool IsAutoDropDownStored() const {
    return Assigned(cvAutoDropDown) && autoDropDown_ != DefaultAutoDropDown();
  }
  bool IsDblClickNextValStored() const {
    return Assigned(cvDblClickNextVal) && dblClickNextVal_ != DefaultDblClickNextVal();
  }
  bool IsToolTipsStored() const { return Assigned(cvToolTips) && toolTips_ != DefaultToolTips(); }
  bool IsDropDownSizingStored() const {
    return Assigned(cvDropDownSizing) && dropDownSizing_ != DefaultDropDownSizing();
  }
  bool IsDropDownShowTitlesStored() const {
    return Assigned(cvDropDownShowTitles) && dropDownShowTitles_ != DefaultDropDownShowTitles();
  }
  bool IsIncrementStored() const { return increment_ != 1.0; }
  bool IsPickListStored() const { return pickList_ && pickList_->Count() > 0; }
  bool IsKeyListStored() const { return keyList_ && keyList_->Count() > 0; }
  bool IsFootersStored() const { return footers_->Count() > 0; }

  // Signals a change of this column (allColumns false) or of all.
  void ColumnChanged(bool allColumns = false) { Changed(allColumns); }
  // The field cache is dropped (the grid re-binds by name when needed).
  void ResetField() { field_ = nullptr; }
  // The cached field, without looking it up.
  const TComponent* CachedField() const;

 protected:
  virtual TColumnTitleEx* CreateTitle() { return new TColumnTitleEx(this); }

 private:
  friend class TColumnTitleEx;
  friend class TColumnFooterEx;
  bool Assigned(TColumnExValue v) const { return assigned_.Contains(v); }
  // Stores a Boolean with an assigned flag; notify false only stores.
  void SetFlagged(bool& slot, TColumnExValue flag, bool value, bool notify);
  void FontChanged();
  void RefreshDefaultFont() const;
  bool WriteThroughToField() const;
  // The field whose modifiability decides (the first key field of a
  // lookup field); null when the cell cannot be changed at all.
  TField* ModifiableTarget(bool& ok) const;
  void StepKeyList(TStrings* list, double increment, bool asText);
  void StepLookup(double increment);

  TAlignment alignment_ = taLeftJustify;
  TColumnExValues assigned_;
  TColumnButtonStyleEx buttonStyle_ = cbsAuto;
  bool checkboxes_ = false;
  TColor color_ = clWindow;
  bool dblClickNextVal_ = false;
  unsigned dropDownRows_ = 7;
  bool dropDownShowTitles_ = false, dropDownSizing_ = false;
  mutable TField* field_ = nullptr;
  AnsiString fieldName_;
  std::unique_ptr<TFont> font_;
  std::unique_ptr<TColumnFooterEx> footer_;
  std::unique_ptr<TColumnFootersEx> footers_;
  mutable std::shared_ptr<TSpecRowEx> specRow_;
  mutable std::shared_ptr<TEditButtonsEx> editButtons_;
  TCustomImageList* imageList_ = nullptr;
  TImeMode imeMode_ = imDontCare;
  TImeName imeName_;
  double increment_ = 1.0;
  mutable std::unique_ptr<TStringList> keyList_;
  int maxWidth_ = 0, minWidth_ = 0;
  int notInKeyListIndex_ = -1;
  TGetColCellParamsEventEx onGetCellParams_;
  mutable std::unique_ptr<TStringList> pickList_;
  TPopupMenu* popupMenu_ = nullptr;
  bool readOnly_ = false;
  bool stored_ = true;
  int tag_ = 0;
  std::unique_ptr<TColumnTitleEx> title_;
  bool toolTips_ = false;
  bool visible_ = true;
  int width_ = 0;
  bool alwaysShowEditButton_ = false, autoDropDown_ = false;
  bool autoFitColWidth_ = true;
  bool endEllipsis_ = false;
  int autoFitBaseWidth_ = 0;
  int dropDownWidth_ = 0;
  AnsiString lookupDisplayFields_;
  bool wordWrap_ = false;
  bool settingDefaultFont_ = false;
};

// --- the collection ----------------------------------------------------------

enum TDBGridColumnsState { csDefault, csCustomized };

class TDBGridColumnsEx : public TOwnedCollection {
  PAYROLL_CLASS(TDBGridColumnsEx, TOwnedCollection)
 public:
  explicit TDBGridColumnsEx(TCustomDBGridEx* grid);
  TColumnEx* Add() { return static_cast<TColumnEx*>(TCollection::Add()); }
  // Add, then Stored := false.
  TColumnEx* AddDefaultColumn();
  TColumnEx* Items(int index) const { return static_cast<TColumnEx*>(TCollection::Items(index)); }
  TCustomDBGridEx* Grid() const { return grid_; }
  // Customized when the first column is Stored.
  TDBGridColumnsState State() const;

 protected:
  void Update(TCollectionItem* item) override;
  void Added(TCollectionItem* item) override { constructing_ = item; }
  // A leaving column is dropped from the grid's lists at once.
  void Notify(TCollectionItem* item, TCollectionNotification action) override;

 private:
  friend class TColumnEx;
  // The base item announces itself before TColumnEx's members exist; the
  // grid must not look at the columns until the constructor has finished.
  void ItemConstructed() { constructing_ = nullptr; }
  TCustomDBGridEx* grid_;
  TCollectionItem* constructing_ = nullptr;
};

// A list of columns that does not own them (the grid's ShownColumns and
// MarkedColumns, the selected columns).
using TColumnsExList = std::vector<TColumnEx*>;

// --- grid-wide defaults ----------------------------------------------------------

class TColumnDefValuesEx;

class TColumnTitleDefValuesEx : public TPersistent {
  PAYROLL_CLASS(TColumnTitleDefValuesEx, TPersistent)
 public:
  explicit TColumnTitleDefValuesEx(TColumnDefValuesEx* owner) : owner_(owner) {}
  void Assign(TPersistent* source) override;

  // taCenter with multi-level titles, else taLeftJustify, until assigned.
  TAlignment Alignment() const;
  void SetAlignment(TAlignment value);
  bool AlignmentAssigned() const { return alignmentAssigned_; }
  // The grid's FixedColor until assigned.
  TColor Color() const;
  void SetColor(TColor value);
  bool ColorAssigned() const { return colorAssigned_; }
  bool EndEllipsis() const { return endEllipsis_; }
  void SetEndEllipsis(bool value);
  TTextOrientationEx Orientation() const { return orientation_; }
  void SetOrientation(TTextOrientationEx value);
  bool TitleButton() const { return titleButton_; }
  void SetTitleButton(bool value) { titleButton_ = value; }
  bool ToolTips() const { return toolTips_; }
  void SetToolTips(bool value) { toolTips_ = value; }

 private:
  TCustomDBGridEx* Grid() const;
  TColumnDefValuesEx* owner_;
  TAlignment alignment_ = taLeftJustify;
  bool alignmentAssigned_ = false;
  TColor color_ = clBtnFace;
  bool colorAssigned_ = false;
  bool endEllipsis_ = false;
  TTextOrientationEx orientation_ = tohHorizontal;
  bool titleButton_ = false;
  bool toolTips_ = false;
};

class TColumnDefValuesEx : public TPersistent {
  PAYROLL_CLASS(TColumnDefValuesEx, TPersistent)
 public:
  explicit TColumnDefValuesEx(TCustomDBGridEx* grid);
  ~TColumnDefValuesEx() override;
  void Assign(TPersistent* source) override;
  TCustomDBGridEx* Grid() const { return grid_; }

  bool AlwaysShowEditButton() const { return alwaysShowEditButton_; }
  void SetAlwaysShowEditButton(bool value);
  bool AutoDropDown() const { return autoDropDown_; }
  void SetAutoDropDown(bool value) { autoDropDown_ = value; }
  bool DblClickNextVal() const { return dblClickNextVal_; }
  void SetDblClickNextVal(bool value) { dblClickNextVal_ = value; }
  bool DropDownShowTitles() const { return dropDownShowTitles_; }
  void SetDropDownShowTitles(bool value) { dropDownShowTitles_ = value; }
  bool DropDownSizing() const { return dropDownSizing_; }
  void SetDropDownSizing(bool value) { dropDownSizing_ = value; }
  bool EndEllipsis() const { return endEllipsis_; }
  void SetEndEllipsis(bool value);
  bool ToolTips() const { return toolTips_; }
  void SetToolTips(bool value) { toolTips_ = value; }
  TColumnTitleDefValuesEx* Title() const { return title_.get(); }
  void SetTitle(TColumnTitleDefValuesEx* value) { title_->Assign(value); }

 private:
  TCustomDBGridEx* grid_;
  bool alwaysShowEditButton_ = false, autoDropDown_ = false, dblClickNextVal_ = false;
  bool dropDownShowTitles_ = false, dropDownSizing_ = false, endEllipsis_ = false;
  bool toolTips_ = false;
  std::unique_ptr<TColumnTitleDefValuesEx> title_;
};
