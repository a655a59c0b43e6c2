#include "grid/DBGridExColumns.h"

#include <algorithm>

#include "grid/DBGridEx.h"
#include "grid/GridDataLinkEx.h"
#include "grid/SortIndexFont.h"
#include "platform/core/AnsiText.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/Menus.h"

namespace {

// Whether text equals one of the ';'-separated items (case-insensitive).
bool MatchesItem(const AnsiString& items, const AnsiString& text) {
  size_t start = 0;
  while (true) {
    size_t end = items.find(';', start);
    AnsiString item(items.substr(start, end == AnsiString::npos ? AnsiString::npos : end - start));
    if (AnsiCompareText(item, text) == 0) return true;
    if (end == AnsiString::npos) return false;
    start = end + 1;
  }
}

AnsiString FirstItem(const AnsiString& items) {
  size_t end = items.find(';');
  return AnsiString(items.substr(0, end));
}

bool GridLoading(const TCustomDBGridEx* grid) {
  return grid && grid->ComponentState().Contains(csLoading);
}

}  // namespace

// ===========================================================================
// TColumnTitleEx

TColumnTitleEx::TColumnTitleEx(TColumnEx* column)
    : column_(column), font_(std::make_unique<TFont>()) {
  RefreshDefaultFont();
  font_->OnChange = [this](TObject*) { FontChanged(); };
}

TColumnTitleEx::~TColumnTitleEx() { font_->OnChange = nullptr; }

bool TColumnTitleEx::Assigned(TColumnExValue v) const { return column_->Assigned(v); }

void TColumnTitleEx::MarkAssigned(TColumnExValue v) { column_->assigned_ << v; }

void TColumnTitleEx::Changed(bool allColumns) { column_->ColumnChanged(allColumns); }

void TColumnTitleEx::FontChanged() {
  if (settingDefaultFont_) return;
  MarkAssigned(cvTitleFont);
  Changed(true);
}

void TColumnTitleEx::RefreshDefaultFont() const {
  if (Assigned(cvTitleFont)) return;
  TFont* def = DefaultFont();
  if (def == nullptr || def == font_.get() || font_->SameAs(*def)) return;
  auto* self = const_cast<TColumnTitleEx*>(this);
  self->settingDefaultFont_ = true;
  font_->Assign(def);
  self->settingDefaultFont_ = false;
}

AnsiString TColumnTitleEx::DefaultCaption() const {
  if (TField* f = column_->Field()) return f->DisplayLabel();
  return column_->FieldName();
}

TAlignment TColumnTitleEx::DefaultAlignment() const {
  TCustomDBGridEx* g = column_->Grid();
  return g ? g->ColumnDefValues()->Title()->Alignment() : taLeftJustify;
}

TColor TColumnTitleEx::DefaultColor() const {
  TCustomDBGridEx* g = column_->Grid();
  return g ? g->ColumnDefValues()->Title()->Color() : clBtnFace;
}

TFont* TColumnTitleEx::DefaultFont() const {
  if (TCustomDBGridEx* g = column_->Grid()) return g->TitleFont();
  return column_->font_ ? column_->Font() : nullptr;
}

bool TColumnTitleEx::DefaultEndEllipsis() const {
  TCustomDBGridEx* g = column_->Grid();
  return g && g->ColumnDefValues()->Title()->EndEllipsis();
}

bool TColumnTitleEx::DefaultTitleButton() const {
  TCustomDBGridEx* g = column_->Grid();
  return g && g->ColumnDefValues()->Title()->TitleButton();
}

bool TColumnTitleEx::DefaultToolTips() const {
  TCustomDBGridEx* g = column_->Grid();
  return g && g->ColumnDefValues()->Title()->ToolTips();
}

TTextOrientationEx TColumnTitleEx::DefaultOrientation() const {
  TCustomDBGridEx* g = column_->Grid();
  return g ? g->ColumnDefValues()->Title()->Orientation() : tohHorizontal;
}

AnsiString TColumnTitleEx::Caption() const {
  return Assigned(cvTitleCaption) ? caption_ : DefaultCaption();
}

void TColumnTitleEx::SetCaption(const AnsiString& value) {
  if (!column_->Stored() && column_->WriteThroughToField()) {
    column_->Field()->SetDisplayLabel(value);
    Changed(false);
    return;
  }
  if (Assigned(cvTitleCaption) && value == caption_) return;
  caption_ = value;
  MarkAssigned(cvTitleCaption);
  Changed(false);
}

bool TColumnTitleEx::IsCaptionStored() const {
  return Assigned(cvTitleCaption) && caption_ != DefaultCaption();
}

bool TColumnTitleEx::IsFontStored() const { return Assigned(cvTitleFont); }

TAlignment TColumnTitleEx::Alignment() const {
  return Assigned(cvTitleAlignment) ? alignment_ : DefaultAlignment();
}

void TColumnTitleEx::SetAlignment(TAlignment value) {
  if (Assigned(cvTitleAlignment) && value == alignment_) return;
  alignment_ = value;
  MarkAssigned(cvTitleAlignment);
  Changed(false);
}

TColor TColumnTitleEx::Color() const { return Assigned(cvTitleColor) ? color_ : DefaultColor(); }

void TColumnTitleEx::SetColor(TColor value) {
  if (Assigned(cvTitleColor) && value == color_) return;
  color_ = value;
  MarkAssigned(cvTitleColor);
  Changed(false);
}

TFont* TColumnTitleEx::Font() const {
  RefreshDefaultFont();
  return font_.get();
}

bool TColumnTitleEx::EndEllipsis() const {
  return Assigned(cvTitleEndEllipsis) ? endEllipsis_ : DefaultEndEllipsis();
}

void TColumnTitleEx::SetEndEllipsis(bool value) {
  if (Assigned(cvTitleEndEllipsis) && value == endEllipsis_) return;
  endEllipsis_ = value;
  MarkAssigned(cvTitleEndEllipsis);
  Changed(false);
}

bool TColumnTitleEx::TitleButton() const {
  return Assigned(cvTitleButton) ? titleButton_ : DefaultTitleButton();
}

void TColumnTitleEx::SetTitleButton(bool value) {
  if (Assigned(cvTitleButton) && value == titleButton_) return;
  titleButton_ = value;
  MarkAssigned(cvTitleButton);
  Changed(false);
}

bool TColumnTitleEx::ToolTips() const {
  return Assigned(cvTitleToolTips) ? toolTips_ : DefaultToolTips();
}

void TColumnTitleEx::SetToolTips(bool value) {
  toolTips_ = value;
  MarkAssigned(cvTitleToolTips);
}

TTextOrientationEx TColumnTitleEx::Orientation() const {
  return Assigned(cvTitleOrientation) ? orientation_ : DefaultOrientation();
}

void TColumnTitleEx::SetOrientation(TTextOrientationEx value) {
  if (Assigned(cvTitleOrientation) && value == orientation_) return;
  orientation_ = value;
  MarkAssigned(cvTitleOrientation);
  Changed(false);
}

void TColumnTitleEx::SetImageIndex(int value) {
  if (value == imageIndex_) return;
  imageIndex_ = value;
  if (TCustomDBGridEx* g = column_->Grid()) g->LayoutChanged();
}

void TColumnTitleEx::RestoreDefaults() {
  bool fontAssigned = Assigned(cvTitleFont);
  for (TColumnExValue v : {cvTitleColor, cvTitleCaption, cvTitleAlignment, cvTitleFont,
                           cvTitleButton, cvTitleEndEllipsis, cvTitleToolTips, cvTitleOrientation})
    column_->assigned_ >> v;
  caption_.clear();
  RefreshDefaultFont();
  Changed(fontAssigned);
}

void TColumnTitleEx::Assign(TPersistent* source) {
  auto* s = dynamic_cast<TColumnTitleEx*>(source);
  if (s == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (s->Assigned(cvTitleAlignment)) SetAlignment(s->Alignment());
  if (s->Assigned(cvTitleColor)) SetColor(s->Color());
  if (s->Assigned(cvTitleCaption)) SetCaption(s->Caption());
  if (s->Assigned(cvTitleFont)) SetFont(s->Font());
  SetTitleButton(s->TitleButton());
  SetSortMarker(s->SortMarker());
  SetEndEllipsis(s->EndEllipsis());
  SetToolTips(s->ToolTips());
  SetOrientation(s->Orientation());
}

// --- sort markers -------------------------------------------------------------

void TColumnTitleEx::SetSortMarker(TSortMarkerEx value) {
  if (value == sortMarker_) return;
  sortMarker_ = value;
  TCustomDBGridEx* grid = column_->Grid();
  if (grid && !GridLoading(grid)) {
    TColumnsExList& marked = grid->MarkedColumns();
    if (!grid->OptionsEx().Contains(dghMultiSortMarking)) {
      if (value != smNoneEx) {
        TColumnsExList others = marked;
        for (TColumnEx* c : others)
          if (c != column_) c->Title()->SetSortMarker(smNoneEx);
        sortIndex_ = 1;
        marked.assign(1, column_);
      } else {
        sortIndex_ = 0;
        marked.clear();
      }
    } else if (value != smNoneEx) {
      if (sortIndex_ == 0) {
        int indexed = 0;
        TDBGridColumnsEx* columns = grid->Columns();
        for (int i = 0; i < columns->Count(); ++i)
          if (columns->Items(i)->Title()->SortIndex() != 0) ++indexed;
        sortIndex_ = indexed + 1;
        marked.push_back(column_);
      }
    } else if (sortIndex_ != 0) {
      TDBGridColumnsEx* columns = grid->Columns();
      for (int i = 0; i < columns->Count(); ++i) {
        TColumnTitleEx* t = columns->Items(i)->Title();
        if (t->sortIndex_ > sortIndex_) --t->sortIndex_;
      }
      marked.erase(std::remove(marked.begin(), marked.end(), column_), marked.end());
      sortIndex_ = 0;
    }
  }
  Changed(false);
}

void TColumnTitleEx::SetSortIndex(int value) {
  if (value < 0) value = 0;
  if (value == sortIndex_) return;
  TCustomDBGridEx* grid = column_->Grid();
  if (grid == nullptr || GridLoading(grid)) {
    sortIndex_ = value;
    return;
  }
  if (sortMarker_ == smNoneEx || value == 0) return;
  TDBGridColumnsEx* columns = grid->Columns();
  TColumnEx* other = nullptr;
  for (int i = 0; i < columns->Count() && other == nullptr; ++i)
    if (columns->Items(i) != column_ && columns->Items(i)->Title()->SortIndex() == value)
      other = columns->Items(i);
  if (other == nullptr) return;
  other->Title()->sortIndex_ = sortIndex_;
  sortIndex_ = value;
  TColumnsExList& marked = grid->MarkedColumns();
  auto a = std::find(marked.begin(), marked.end(), column_);
  auto b = std::find(marked.begin(), marked.end(), other);
  if (a != marked.end() && b != marked.end()) std::iter_swap(a, b);
  Changed(false);
}

void TColumnTitleEx::ToggleSortMarker(bool multi) {
  if (!multi)
    if (TCustomDBGridEx* grid = column_->Grid()) {
      TDBGridColumnsEx* columns = grid->Columns();
      for (int i = 0; i < columns->Count(); ++i)
        if (columns->Items(i) != column_) columns->Items(i)->Title()->SetSortMarker(smNoneEx);
    }
  switch (sortMarker_) {
    case smNoneEx:
      SetSortMarker(smDownEx);
      break;
    case smDownEx:
      SetSortMarker(smUpEx);
      break;
    case smUpEx:
      SetSortMarker(multi ? smNoneEx : smDownEx);
      break;
  }
}

int TColumnTitleEx::SortMarkerWidth() const {
  if (sortMarker_ == smNoneEx) return 0;
  int digits = 0;
  TCustomDBGridEx* grid = column_->Grid();
  if (grid && grid->MarkedColumns().size() >= 2)
    digits = FontMetrics().TextWidth(*SortIndexFont(), IntToStr(sortIndex_));
  int width = 16 + digits;
  int room = column_->Width() - 4;
  if (width > room) width -= 14;
  if (width > room) width -= digits + 2;
  return width;
}

// ===========================================================================
// TColumnEx

TColumnEx::TColumnEx(TCollection* collection) : TCollectionItem(collection) {
  auto* columns = dynamic_cast<TDBGridColumnsEx*>(collection);
  TCustomDBGridEx* grid = columns ? columns->Grid() : nullptr;
  if (grid) grid->BeginLayout();
  font_ = std::make_unique<TFont>();
  font_->OnChange = [this](TObject*) { FontChanged(); };
  title_.reset(CreateTitle());
  footer_ = std::make_unique<TColumnFooterEx>(this);
  footers_ = std::make_unique<TColumnFootersEx>(this);
  if (columns) columns->ItemConstructed();
  RefreshDefaultFont();
  autoFitBaseWidth_ = Width();
  if (grid) grid->EndLayout();
}

TColumnEx::~TColumnEx() {
  font_->OnChange = nullptr;
  footers_.reset();
  footer_.reset();
  title_.reset();
  if (TCustomDBGridEx* grid = Grid()) grid->ColumnRemoved(this);
}

TCustomDBGridEx* TColumnEx::Grid() const {
  auto* columns = dynamic_cast<TDBGridColumnsEx*>(Collection());
  return columns ? columns->Grid() : nullptr;
}

AnsiString TColumnEx::DisplayName() const {
  return fieldName_.empty() ? TCollectionItem::DisplayName() : fieldName_;
}

void TColumnEx::SetIndex(int index) {
  TCustomDBGridEx* grid = Grid();
  if (!stored_ && grid && grid->DataLink()->Active() && index >= 0 &&
      index < grid->Columns()->Count()) {
    TField* shown = grid->Columns()->Items(index)->Field();
    TField* mine = Field();
    if (shown && mine) mine->SetIndex(shown->Index());
  }
  TCollectionItem::SetIndex(index);
}

void TColumnEx::FontChanged() {
  if (settingDefaultFont_) return;
  assigned_ << cvFont;
  Changed(true);
}

void TColumnEx::RefreshDefaultFont() const {
  if (Assigned(cvFont)) return;
  TFont* def = DefaultFont();
  if (def == font_.get() || font_->SameAs(*def)) return;
  auto* self = const_cast<TColumnEx*>(this);
  self->settingDefaultFont_ = true;
  font_->Assign(def);
  self->settingDefaultFont_ = false;
}

// --- the field ------------------------------------------------------------------

TField* TColumnEx::Field() const {
  if (field_ == nullptr && !fieldName_.empty()) {
    TCustomDBGridEx* grid = Grid();
    TDataSet* ds = grid ? grid->DataLink()->DataSet() : nullptr;
    if (ds && (ds->Active() || !ds->DefaultFields())) {
      if (TField* f = ds->FindField(fieldName_)) {
        auto* self = const_cast<TColumnEx*>(this);
        self->field_ = f;
        f->FreeNotification(grid);
        self->fieldName_ = f->FieldName();
        self->UpdateFooterSums();
      }
    }
  }
  return field_;
}

const TComponent* TColumnEx::CachedField() const { return field_; }

void TColumnEx::SetField(TField* field) {
  if (field == field_) return;
  field_ = field;
  if (field) {
    fieldName_ = field->FieldName();
    if (TCustomDBGridEx* grid = Grid()) field->FreeNotification(grid);
  }
  if (!stored_) {
    if (field == nullptr) fieldName_.clear();
    RestoreDefaults();
    autoFitBaseWidth_ = Width();
  }
  UpdateFooterSums();
  Changed(false);
}

void TColumnEx::SetFieldName(const AnsiString& value) {
  TField* field = nullptr;
  TCustomDBGridEx* grid = Grid();
  TDataSet* ds = grid ? grid->DataLink()->DataSet() : nullptr;
  if (ds && !GridLoading(grid) && !value.empty()) field = ds->FindField(value);
  fieldName_ = value;
  if (field == nullptr) field_ = nullptr;
  SetField(field);
  autoFitBaseWidth_ = Width();
  UpdateFooterSums();
  Changed(false);
}

TColumnKind TColumnEx::ColumnKind() const {
  if (Checkboxes()) return ckCheckboxes;
  TField* f = Field();
  if (f && f->FieldKind() == fkLookup) return ckLookup;
  bool keys = keyList_ && keyList_->Count() > 0;
  if (pickList_ && pickList_->Count() > 0 && !keys) return ckPickList;
  if (keys && imageList_) return ckKeyImageList;
  if (keys && pickList_) return ckKeyPickList;
  return ckCommon;
}

bool TColumnEx::WriteThroughToField() const {
  TCustomDBGridEx* grid = Grid();
  return grid && grid->DataLink()->Active() && Field() != nullptr;
}

// --- defaults ----------------------------------------------------------------------

TAlignment TColumnEx::DefaultAlignment() const {
  TField* f = Field();
  return f ? f->Alignment() : taLeftJustify;
}

TColor TColumnEx::DefaultColor() const {
  TCustomDBGridEx* g = Grid();
  return g ? g->Color() : clWindow;
}

TFont* TColumnEx::DefaultFont() const {
  TCustomDBGridEx* g = Grid();
  return g ? g->Font() : font_.get();
}

bool TColumnEx::DefaultReadOnly() const {
  TCustomDBGridEx* g = Grid();
  if (g && g->ReadOnly()) return true;
  TField* f = Field();
  return f && f->ReadOnly();
}

int TColumnEx::DefaultWidth() const {
  TCustomDBGridEx* g = Grid();
  if (g == nullptr) return 64;
  TField* f = Field();
  if (f == nullptr) return g->DefaultColWidth();
  TFont* font = Font();
  TTextMetric tm = FontMetrics().Metrics(*font);
  int zero = FontMetrics().TextWidth(*font, "0");
  return (zero - tm.Overhang) * f->DisplayWidth() + tm.Overhang + 4;
}

TImeMode TColumnEx::DefaultImeMode() const {
  TCustomDBGridEx* g = Grid();
  return g ? g->ImeMode() : imeMode_;
}

TImeName TColumnEx::DefaultImeName() const {
  TCustomDBGridEx* g = Grid();
  return g ? g->ImeName() : imeName_;
}

bool TColumnEx::DefaultWordWrap() const {
  if (Grid() == nullptr) return false;
  TField* f = Field();
  if (f == nullptr) return false;
  TFieldType t = f->DataType();
  return t == ftString || t == ftMemo || t == ftFmtMemo;
}

AnsiString TColumnEx::DefaultLookupDisplayFields() const {
  TField* f = Field();
  return f ? f->LookupResultField() : AnsiString();
}

bool TColumnEx::DefaultCheckboxes() const {
  TField* f = Field();
  return f && f->DataType() == ftBoolean;
}

#define PAYROLL_COLUMN_DEFAULT(Name)          \
  bool TColumnEx::Default##Name() const {     \
    TCustomDBGridEx* g = Grid();              \
    return g && g->ColumnDefValues()->Name(); \
  }
PAYROLL_COLUMN_DEFAULT(AlwaysShowEditButton)
PAYROLL_COLUMN_DEFAULT(EndEllipsis)
PAYROLL_COLUMN_DEFAULT(AutoDropDown)
PAYROLL_COLUMN_DEFAULT(DblClickNextVal)
PAYROLL_COLUMN_DEFAULT(ToolTips)
PAYROLL_COLUMN_DEFAULT(DropDownSizing)
PAYROLL_COLUMN_DEFAULT(DropDownShowTitles)
#undef PAYROLL_COLUMN_DEFAULT

// --- properties with an assigned flag ----------------------------------------------

void TColumnEx::SetFlagged(bool& slot, TColumnExValue flag, bool value, bool notify) {
  if (Assigned(flag) && slot == value) return;
  slot = value;
  assigned_ << flag;
  if (notify) Changed(false);
}

TAlignment TColumnEx::Alignment() const {
  return Assigned(cvAlignment) ? alignment_ : DefaultAlignment();
}

void TColumnEx::SetAlignment(TAlignment value) {
  if (!stored_ && WriteThroughToField()) {
    Field()->SetAlignment(value);
    Changed(false);
    return;
  }
  if (Assigned(cvAlignment) && value == alignment_) return;
  alignment_ = value;
  assigned_ << cvAlignment;
  Changed(false);
}

TColor TColumnEx::Color() const { return Assigned(cvColor) ? color_ : DefaultColor(); }

void TColumnEx::SetColor(TColor value) {
  if (Assigned(cvColor) && value == color_) return;
  color_ = value;
  assigned_ << cvColor;
  Changed(false);
}

TFont* TColumnEx::Font() const {
  RefreshDefaultFont();
  return font_.get();
}

bool TColumnEx::ReadOnly() const { return Assigned(cvReadOnly) ? readOnly_ : DefaultReadOnly(); }

void TColumnEx::SetReadOnly(bool value) {
  if (!stored_ && WriteThroughToField()) {
    Field()->SetReadOnly(value);
    Changed(false);
    return;
  }
  SetFlagged(readOnly_, cvReadOnly, value, true);
}

int TColumnEx::Width() const { return Assigned(cvWidth) ? width_ : DefaultWidth(); }

void TColumnEx::SetWidth(int value) {
  TCustomDBGridEx* grid = Grid();
  if (!stored_ && value != -1 && grid && grid->HandleAllocated() && WriteThroughToField()) {
    // A default column keeps its width in the field, in characters.
    TFont* font = Font();
    TTextMetric tm = FontMetrics().Metrics(*font);
    int zero = std::max(1, FontMetrics().TextWidth(*font, "0"));
    Field()->SetDisplayWidth((tm.AveCharWidth / 2 + value - tm.Overhang - 3) / zero);
    if (grid->LayoutFromDataLink() && !Assigned(cvWidth)) {
      Changed(false);
      return;
    }
  }
  if (!Assigned(cvWidth) && value == DefaultWidth()) {
    Changed(false);
    return;
  }
  if (value != -1) {
    width_ = value;
    assigned_ << cvWidth;
    if (maxWidth_ >= 1 && maxWidth_ < width_) width_ = maxWidth_;
    if (minWidth_ > width_) width_ = minWidth_;
  }
  Changed(false);
}

TImeMode TColumnEx::ImeMode() const { return Assigned(cvImeMode) ? imeMode_ : DefaultImeMode(); }

void TColumnEx::SetImeMode(TImeMode value) {
  if (!Assigned(cvImeMode) && value == DefaultImeMode()) {
    Changed(false);
    return;
  }
  if (Assigned(cvImeMode) && value == imeMode_) return;
  imeMode_ = value;
  assigned_ << cvImeMode;
  Changed(false);
}

TImeName TColumnEx::ImeName() const { return Assigned(cvImeName) ? imeName_ : DefaultImeName(); }

void TColumnEx::SetImeName(const TImeName& value) {
  if (!Assigned(cvImeName) && value == DefaultImeName()) {
    Changed(false);
    return;
  }
  if (Assigned(cvImeName) && value == imeName_) return;
  imeName_ = value;
  assigned_ << cvImeName;
  Changed(false);
}

bool TColumnEx::WordWrap() const { return Assigned(cvWordWrap) ? wordWrap_ : DefaultWordWrap(); }

void TColumnEx::SetWordWrap(bool value) {
  if (!Assigned(cvWordWrap) && value == DefaultWordWrap() && !GridLoading(Grid())) {
    Changed(false);
    return;
  }
  SetFlagged(wordWrap_, cvWordWrap, value, true);
}

AnsiString TColumnEx::LookupDisplayFields() const {
  return Assigned(cvLookupDisplayFields) ? lookupDisplayFields_ : DefaultLookupDisplayFields();
}

void TColumnEx::SetLookupDisplayFields(const AnsiString& value) {
  if (!Assigned(cvLookupDisplayFields) && value == DefaultLookupDisplayFields()) {
    Changed(false);
    return;
  }
  if (Assigned(cvLookupDisplayFields) && value == lookupDisplayFields_) return;
  lookupDisplayFields_ = value;
  assigned_ << cvLookupDisplayFields;
  Changed(false);
}

bool TColumnEx::Checkboxes() const {
  return Assigned(cvCheckboxes) ? checkboxes_ : DefaultCheckboxes();
}
void TColumnEx::SetCheckboxes(bool value) { SetFlagged(checkboxes_, cvCheckboxes, value, true); }

bool TColumnEx::AlwaysShowEditButton() const {
  return Assigned(cvAlwaysShowEditButton) ? alwaysShowEditButton_ : DefaultAlwaysShowEditButton();
}
void TColumnEx::SetAlwaysShowEditButton(bool value) {
  SetFlagged(alwaysShowEditButton_, cvAlwaysShowEditButton, value, true);
}

bool TColumnEx::EndEllipsis() const {
  return Assigned(cvEndEllipsis) ? endEllipsis_ : DefaultEndEllipsis();
}
void TColumnEx::SetEndEllipsis(bool value) { SetFlagged(endEllipsis_, cvEndEllipsis, value, true); }

bool TColumnEx::AutoDropDown() const {
  return Assigned(cvAutoDropDown) ? autoDropDown_ : DefaultAutoDropDown();
}
void TColumnEx::SetAutoDropDown(bool value) {
  SetFlagged(autoDropDown_, cvAutoDropDown, value, false);
}

bool TColumnEx::DblClickNextVal() const {
  return Assigned(cvDblClickNextVal) ? dblClickNextVal_ : DefaultDblClickNextVal();
}
void TColumnEx::SetDblClickNextVal(bool value) {
  SetFlagged(dblClickNextVal_, cvDblClickNextVal, value, false);
}

bool TColumnEx::ToolTips() const { return Assigned(cvToolTips) ? toolTips_ : DefaultToolTips(); }
void TColumnEx::SetToolTips(bool value) { SetFlagged(toolTips_, cvToolTips, value, false); }

bool TColumnEx::DropDownSizing() const {
  return Assigned(cvDropDownSizing) ? dropDownSizing_ : DefaultDropDownSizing();
}
void TColumnEx::SetDropDownSizing(bool value) {
  SetFlagged(dropDownSizing_, cvDropDownSizing, value, false);
}

bool TColumnEx::DropDownShowTitles() const {
  return Assigned(cvDropDownShowTitles) ? dropDownShowTitles_ : DefaultDropDownShowTitles();
}
void TColumnEx::SetDropDownShowTitles(bool value) {
  SetFlagged(dropDownShowTitles_, cvDropDownShowTitles, value, false);
}

// --- plain properties --------------------------------------------------------------

void TColumnEx::SetButtonStyle(TColumnButtonStyleEx value) {
  buttonStyle_ = value;
  Changed(false);
}

void TColumnEx::SetDropDownWidth(int value) {
  dropDownWidth_ = value;
  Changed(false);
}

void TColumnEx::SetAutoFitColWidth(bool value) {
  autoFitColWidth_ = value;
  TCustomDBGridEx* grid = Grid();
  if (grid && grid->AutoFitColWidths() && !GridLoading(grid) && !grid->IsDesigning())
    SetWidth(autoFitBaseWidth_);
}

void TColumnEx::SetMaxWidth(int value) {
  maxWidth_ = value;
  if (value > 0 && Width() > value) SetWidth(value);
}

void TColumnEx::SetMinWidth(int value) {
  minWidth_ = value;
  if (value > 0 && Width() < value) SetWidth(value);
}

int TColumnEx::ClampWidth(int w) const {
  if (minWidth_ > 0 && minWidth_ > w) return minWidth_;
  if (maxWidth_ > 0 && maxWidth_ < w) return maxWidth_;
  return w;
}

void TColumnEx::SetNotInKeyListIndex(int value) {
  if (value == notInKeyListIndex_) return;
  notInKeyListIndex_ = value;
  if (TCustomDBGridEx* g = Grid()) g->Invalidate();
}

TStrings* TColumnEx::PickList() const {
  if (!pickList_) pickList_ = std::make_unique<TStringList>();
  return pickList_.get();
}

void TColumnEx::SetPickList(TStrings* value) {
  if (value == nullptr) {
    pickList_.reset();
    return;
  }
  PickList()->Assign(value);
}

TStrings* TColumnEx::KeyList() const {
  if (!keyList_) keyList_ = std::make_unique<TStringList>();
  return keyList_.get();
}

void TColumnEx::SetKeyList(TStrings* value) {
  if (value == nullptr)
    keyList_.reset();
  else
    KeyList()->Assign(value);
  if (TCustomDBGridEx* g = Grid()) g->Invalidate();
}

void TColumnEx::SetImageList(TCustomImageList* value) {
  if (value == imageList_) return;
  imageList_ = value;
  if (TCustomDBGridEx* g = Grid()) {
    if (value) value->FreeNotification(g);
    g->Invalidate();
  }
}

void TColumnEx::SetPopupMenu(TPopupMenu* value) {
  popupMenu_ = value;
  if (TCustomDBGridEx* g = Grid())
    if (value) value->FreeNotification(g);
}

void TColumnEx::SetVisible(bool value) {
  if (value == visible_) return;
  visible_ = value;
  Changed(true);
}

void TColumnEx::SetOnGetCellParams(const TGetColCellParamsEventEx& value) {
  onGetCellParams_ = value;
  if (TCustomDBGridEx* g = Grid()) g->Invalidate();
}

TColumnFooterEx* TColumnEx::UsedFooter(int row) const {
  if (row >= 0 && row < footers_->Count()) return footers_->Items(row);
  return footer_.get();
}

// --- whole-column operations ------------------------------------------------------------

void TColumnEx::RestoreDefaults() {
  bool fontAssigned = Assigned(cvFont);
  title_->RestoreDefaults();
  assigned_.Clear();
  RefreshDefaultFont();
  pickList_.reset();
  keyList_.reset();
  buttonStyle_ = cbsAuto;
  Changed(fontAssigned);
}

void TColumnEx::Assign(TPersistent* source) {
  auto* s = dynamic_cast<TColumnEx*>(source);
  if (s == nullptr) {
    TCollectionItem::Assign(source);
    return;
  }
  TCollection* collection = Collection();
  if (collection) collection->BeginUpdate();
  struct End {
    TCollection* c;
    ~End() {
      if (c) c->EndUpdate();
    }
  } end{collection};
  RestoreDefaults();
  SetFieldName(s->FieldName());
  if (s->Assigned(cvColor)) SetColor(s->Color());
  if (s->Assigned(cvWidth)) SetWidth(s->Width());
  if (s->Assigned(cvFont)) SetFont(s->Font());
  if (s->Assigned(cvImeMode)) SetImeMode(s->ImeMode());
  if (s->Assigned(cvImeName)) SetImeName(s->ImeName());
  if (s->Assigned(cvAlignment)) SetAlignment(s->Alignment());
  if (s->Assigned(cvReadOnly)) SetReadOnly(s->ReadOnly());
  if (s->Assigned(cvWordWrap)) SetWordWrap(s->WordWrap());
  if (s->Assigned(cvLookupDisplayFields)) SetLookupDisplayFields(s->LookupDisplayFields());
  if (s->Assigned(cvCheckboxes)) SetCheckboxes(s->Checkboxes());
  title_->Assign(s->Title());
  dropDownRows_ = s->dropDownRows_;
  SetButtonStyle(s->ButtonStyle());
  SetPickList(s->pickList_.get());
  SetPopupMenu(s->PopupMenu());
  autoFitBaseWidth_ = s->autoFitBaseWidth_;
  autoFitColWidth_ = s->autoFitColWidth_;
  if (s->Assigned(cvEndEllipsis)) SetEndEllipsis(s->EndEllipsis());
  SetDropDownWidth(s->DropDownWidth());
  if (s->Assigned(cvAutoDropDown)) SetAutoDropDown(s->AutoDropDown());
  if (s->Assigned(cvAlwaysShowEditButton)) SetAlwaysShowEditButton(s->AlwaysShowEditButton());
  footer_->Assign(s->Footer());
  SetKeyList(s->keyList_.get());
  increment_ = s->increment_;
  if (s->Assigned(cvToolTips)) SetToolTips(s->ToolTips());
  footers_->Assign(s->Footers());
  tag_ = s->tag_;
  SetVisible(s->Visible());
  SetImageList(s->ImageList());
  SetNotInKeyListIndex(s->NotInKeyListIndex());
  minWidth_ = s->minWidth_;
  maxWidth_ = s->maxWidth_;
  if (s->Assigned(cvDblClickNextVal)) SetDblClickNextVal(s->DblClickNextVal());
  if (s->Assigned(cvDropDownSizing)) SetDropDownSizing(s->DropDownSizing());
  if (s->Assigned(cvDropDownShowTitles)) SetDropDownShowTitles(s->DropDownShowTitles());
  OnEditButtonClick = s->OnEditButtonClick;
  OnEditButtonDown = s->OnEditButtonDown;
  onGetCellParams_ = s->onGetCellParams_;
  OnNotInList = s->OnNotInList;
  OnUpdateData = s->OnUpdateData;
  UpdateFooterSums();
}

void TColumnEx::UpdateFooterSums() {
  if (footer_) footer_->SyncFooterSum();
  if (footers_)
    for (int i = 0; i < footers_->Count(); ++i) footers_->Items(i)->SyncFooterSum();
}

// --- cell operations -------------------------------------------------------------------

TField* TColumnEx::ModifiableTarget(bool& ok) const {
  ok = false;
  TField* f = Field();
  if (f == nullptr) return nullptr;
  TCustomDBGridEx* grid = Grid();
  bool result = true;
  if (grid) {
    TGridDataLinkEx* link = grid->DataLink();
    result = !grid->ReadOnly() && link->Active() && !link->ReadOnly();
  }
  result = result && !ReadOnly();
  TField* target = f;
  if (result && f->Lookup()) {
    std::vector<TField*> keys;
    if (f->KeyFields().empty()) return nullptr;
    f->DataSet()->GetFieldList(keys, f->KeyFields());
    for (TField* k : keys) result = result && k->CanModify();
    if (keys.empty()) return nullptr;
    target = keys.front();
  }
  result = result && target->CanModify();
  if (result && target->IsBlob() && !target->OnSetText) {
    bool memoText = grid && grid->DrawMemoText() && target->DataType() == ftMemo;
    result = memoText;
  }
  if (result && grid) result = grid->AllowedUpdate();
  ok = result;
  return target;
}

bool TColumnEx::CanModify(bool tryEdit) {
  bool ok;
  ModifiableTarget(ok);
  if (ok && tryEdit)
    if (TCustomDBGridEx* grid = Grid()) {
      TGridDataLinkEx* link = grid->DataLink();
      link->Edit();
      ok = link->Editing();
      if (ok) link->MarkModified();
    }
  return ok;
}

void TColumnEx::UpdateDataValues(const AnsiString& text, const Variant& value, bool useText) {
  AnsiString t = text;
  Variant v = value;
  bool ut = useText;
  bool handled = false;
  TCustomDBGridEx* grid = Grid();
  if (grid && OnUpdateData) OnUpdateData(this, t, v, ut, handled);
  if (handled) return;
  TField* f = Field();
  if (f == nullptr) return;
  if (ut) {
    if (grid && grid->DrawMemoText() && f->DataType() == ftMemo)
      f->SetAsString(t);
    else
      f->SetText(t);
  } else if (f->Lookup() && !f->KeyFields().empty()) {
    f->DataSet()->SetFieldValues(f->KeyFields(), v);
  } else {
    f->SetValue(v);
  }
}

TCheckBoxState TColumnEx::GetCheckboxState() const {
  TField* f = Field();
  if (f == nullptr) return cbUnchecked;
  if (f->IsNull()) return cbGrayed;
  if (f->DataType() == ftBoolean) return f->AsBoolean() ? cbChecked : cbUnchecked;
  AnsiString text = f->Text();
  int lines = keyList_ ? keyList_->Count() : 0;
  if (lines >= 1 && MatchesItem(keyList_->Strings(0), text)) return cbChecked;
  if (lines < 2) return cbGrayed;
  if (MatchesItem(keyList_->Strings(1), text)) return cbUnchecked;
  return cbGrayed;
}

void TColumnEx::SetCheckboxState(TCheckBoxState state) {
  TField* f = Field();
  if (f == nullptr) return;
  if (state == cbGrayed) {
    UpdateDataValues(AnsiString(), Variant::Null(), false);
  } else if (f->DataType() == ftBoolean) {
    UpdateDataValues(AnsiString(), Variant(state == cbChecked), false);
  } else {
    int lines = keyList_ ? keyList_->Count() : 0;
    AnsiString text;
    if (state == cbChecked && lines >= 1) text = FirstItem(keyList_->Strings(0));
    if (state == cbUnchecked && lines >= 2) text = FirstItem(keyList_->Strings(1));
    UpdateDataValues(text, Variant::Null(), true);
  }
}

void TColumnEx::SetNextFieldValue(double increment) {
  if (Grid() == nullptr || !CanModify(true)) return;
  TField* f = Field();
  switch (ColumnKind()) {
    case ckCheckboxes:
      SetCheckboxState(GetCheckboxState() == cbChecked ? cbUnchecked : cbChecked);
      break;
    case ckKeyPickList:
    case ckKeyImageList:
      StepKeyList(KeyList(), increment, false);
      break;
    case ckPickList:
      StepKeyList(PickList(), increment, true);
      break;
    case ckLookup:
      StepLookup(increment);
      break;
    case ckCommon:
      switch (f->DataType()) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftFloat:
        case ftCurrency:
        case ftBCD:
          UpdateDataValues(AnsiString(), Variant(f->IsNull() ? 0.0 : f->AsFloat() + increment),
                           false);
          break;
        default:
          break;
      }
      break;
  }
}

void TColumnEx::StepKeyList(TStrings* list, double increment, bool asText) {
  int count = list->Count();
  if (count == 0) return;
  TField* f = Field();
  int i = list->IndexOf(f->Text());
  bool forward = increment == 1;
  bool wrapped;
  int next;
  if (forward) {
    wrapped = i < 0 || i == count - 1;
    next = wrapped ? 0 : i + 1;
  } else {
    wrapped = i <= 0;
    next = wrapped ? count - 1 : i - 1;
  }
  if (!asText)
    UpdateDataValues(AnsiString(), Variant(list->Strings(next)), false);
  else if (wrapped)
    f->SetText(list->Strings(next));
  else
    UpdateDataValues(list->Strings(next), Variant::Null(), true);
}

void TColumnEx::StepLookup(double increment) {
  TField* f = Field();
  TDataSet* lookup = f->LookupDataSet();
  if (lookup == nullptr) return;
  TDataSet* ds = f->DataSet();
  Variant key = ds->FieldValues(f->KeyFields());
  bool isNull = key.IsNull() || key.IsEmpty();
  if (isNull) {
    lookup->First();
  } else if (lookup->Locate(f->LookupKeyFields(), key, TLocateOptions())) {
    if (increment == 1) {
      lookup->Next();
      if (lookup->Eof()) lookup->First();
    } else {
      lookup->Prior();
      if (lookup->Bof()) lookup->Last();
    }
  } else {
    lookup->First();
  }
  ds->SetFieldValues(f->KeyFields(), lookup->FieldValues(f->LookupKeyFields()));
  f->SetText(lookup->FieldByName(f->LookupResultField())->Text());
}

AnsiString TColumnEx::GetDisplayText() const {
  TField* f = Field();
  if (f == nullptr || ColumnKind() == ckKeyImageList) return AnsiString();
  if (keyList_ && keyList_->Count() > 0) {
    int i = keyList_->IndexOf(f->Text());
    int picks = pickList_ ? pickList_->Count() : 0;
    if (i >= 0 && picks > i) return pickList_->Strings(i);
    if (notInKeyListIndex_ >= 0 && notInKeyListIndex_ < picks)
      return pickList_->Strings(notInKeyListIndex_);
    return AnsiString();
  }
  TCustomDBGridEx* grid = Grid();
  if (grid && grid->DrawMemoText() && f->DataType() == ftMemo) return f->AsString();
  return f->DisplayText();
}

int TColumnEx::GetImageIndex() const {
  TField* f = Field();
  if (f == nullptr || ColumnKind() != ckKeyImageList) return -1;
  int i = keyList_->IndexOf(f->Text());
  return i >= 0 ? i : notInKeyListIndex_;
}

void TColumnEx::FillColCellParams(TColCellParamsEx* params) const {
  params->Col = -1;
  params->Row = -1;
  params->State = 0;
  if (params->Font)
    params->Font->Assign(Font());
  else
    params->Font = Font();
  params->Background = Color();
  params->Alignment = Alignment();
  params->ImageIndex = GetImageIndex();
  params->Text = GetDisplayText();
  params->CheckboxState = GetCheckboxState();
  params->ReadOnly = ReadOnly();
}

void TColumnEx::GetColCellParams(bool editMode, TColCellParamsEx* params) {
  if (onGetCellParams_) onGetCellParams_(this, editMode, params);
}

// ===========================================================================
// TDBGridColumnsEx

TDBGridColumnsEx::TDBGridColumnsEx(TCustomDBGridEx* grid)
    : TOwnedCollection(grid, ItemClassOf<TColumnEx>()), grid_(grid) {}

TColumnEx* TDBGridColumnsEx::AddDefaultColumn() {
  TColumnEx* c = Add();
  c->SetStored(false);
  return c;
}

TDBGridColumnsState TDBGridColumnsEx::State() const {
  return Count() > 0 && Items(0)->Stored() ? csCustomized : csDefault;
}

void TDBGridColumnsEx::Notify(TCollectionItem* item, TCollectionNotification action) {
  TOwnedCollection::Notify(item, action);
  // A column being destroyed has told the grid already and is no
  // TColumnEx any more here; one moved to another collection still is.
  if (action == cnExtracting && grid_)
    if (auto* column = dynamic_cast<TColumnEx*>(item)) grid_->ColumnRemoved(column);
}

void TDBGridColumnsEx::Update(TCollectionItem* item) {
  if (constructing_ || grid_ == nullptr) return;
  if (grid_->ComponentState().Contains(csLoading) || grid_->ComponentState().Contains(csDestroying))
    return;
  if (item) {
    grid_->InvalidateColumn(grid_->ColumnToGridIndex(item->Index()));
    grid_->SyncColumnWidth(item->Index());
  } else
    grid_->LayoutChanged();
}

// ===========================================================================
// TColumnDefValuesEx, TColumnTitleDefValuesEx

TColumnDefValuesEx::TColumnDefValuesEx(TCustomDBGridEx* grid)
    : grid_(grid), title_(std::make_unique<TColumnTitleDefValuesEx>(this)) {}

TColumnDefValuesEx::~TColumnDefValuesEx() = default;

void TColumnDefValuesEx::Assign(TPersistent* source) {
  auto* s = dynamic_cast<TColumnDefValuesEx*>(source);
  if (s == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  SetAlwaysShowEditButton(s->alwaysShowEditButton_);
  autoDropDown_ = s->autoDropDown_;
  dblClickNextVal_ = s->dblClickNextVal_;
  dropDownShowTitles_ = s->dropDownShowTitles_;
  dropDownSizing_ = s->dropDownSizing_;
  SetEndEllipsis(s->endEllipsis_);
  toolTips_ = s->toolTips_;
  title_->Assign(s->title_.get());
}

void TColumnDefValuesEx::SetAlwaysShowEditButton(bool value) {
  if (value == alwaysShowEditButton_) return;
  alwaysShowEditButton_ = value;
  if (grid_) grid_->Invalidate();
}

void TColumnDefValuesEx::SetEndEllipsis(bool value) {
  if (value == endEllipsis_) return;
  endEllipsis_ = value;
  if (grid_) grid_->Invalidate();
}

TCustomDBGridEx* TColumnTitleDefValuesEx::Grid() const { return owner_ ? owner_->Grid() : nullptr; }

void TColumnTitleDefValuesEx::Assign(TPersistent* source) {
  auto* s = dynamic_cast<TColumnTitleDefValuesEx*>(source);
  if (s == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  alignment_ = s->alignment_;
  alignmentAssigned_ = s->alignmentAssigned_;
  color_ = s->color_;
  colorAssigned_ = s->colorAssigned_;
  endEllipsis_ = s->endEllipsis_;
  orientation_ = s->orientation_;
  titleButton_ = s->titleButton_;
  toolTips_ = s->toolTips_;
  if (TCustomDBGridEx* g = Grid()) g->LayoutChanged();
}

TAlignment TColumnTitleDefValuesEx::Alignment() const {
  if (alignmentAssigned_) return alignment_;
  TCustomDBGridEx* g = Grid();
  return g && g->UseMultiTitle() ? taCenter : taLeftJustify;
}

void TColumnTitleDefValuesEx::SetAlignment(TAlignment value) {
  if (alignmentAssigned_ && value == alignment_) return;
  alignment_ = value;
  alignmentAssigned_ = true;
  if (TCustomDBGridEx* g = Grid()) g->LayoutChanged();
}

TColor TColumnTitleDefValuesEx::Color() const {
  if (colorAssigned_) return color_;
  TCustomDBGridEx* g = Grid();
  return g ? g->FixedColor() : clBtnFace;
}

void TColumnTitleDefValuesEx::SetColor(TColor value) {
  if (colorAssigned_ && value == color_) return;
  color_ = value;
  colorAssigned_ = true;
  if (TCustomDBGridEx* g = Grid()) g->Invalidate();
}

void TColumnTitleDefValuesEx::SetEndEllipsis(bool value) {
  if (value == endEllipsis_) return;
  endEllipsis_ = value;
  if (TCustomDBGridEx* g = Grid()) g->Invalidate();
}

void TColumnTitleDefValuesEx::SetOrientation(TTextOrientationEx value) {
  if (value == orientation_) return;
  orientation_ = value;
  if (TCustomDBGridEx* g = Grid()) g->LayoutChanged();
}
