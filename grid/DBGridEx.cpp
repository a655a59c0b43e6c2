#include "grid/DBGridEx.h"

#include <algorithm>
#include <cmath>

#include "grid/DBSumList.h"
#include "grid/GridDataLinkEx.h"
#include "grid/GridExUtils.h"
#include "grid/GridSelection.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/Forms.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/Menus.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/SysColors.h"

namespace {

// Width of the indicator column.
constexpr int kIndicatorWidth = 11;

}  // namespace

// ---------------------------------------------------------------------------
// TDBGridExScrollBar

void TDBGridExScrollBar::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TDBGridExScrollBar*>(source)) {
    tracking_ = s->tracking_;
    SetVisible(s->visible_);
    return;
  }
  TPersistent::Assign(source);
}

void TDBGridExScrollBar::SetVisible(bool value) {
  if (value == visible_) return;
  visible_ = value;
  if (grid_ == nullptr) return;
  if (kind_ == SB_HORZ)
    grid_->LayoutChanged();
  else
    grid_->UpdateVertScrollBar();
}

// ---------------------------------------------------------------------------
// Construction

TCustomDBGridEx::TCustomDBGridEx(TComponent* owner) : TCustomGrid(owner) {
  BuildImages();
  SetGridOptions(TGridOptions{goFixedVertLine, goFixedHorzLine, goVertLine, goHorzLine,
                              goColSizing, goColMoving, goEditing, goTabs});
  SetScrollBars(ssHorizontal);
  columnDefValues_ = std::make_unique<TColumnDefValuesEx>(this);
  columns_ = std::make_unique<TDBGridColumnsEx>(this);
  SetRowCount(2);
  SetColCount(2);
  dataLink_ = std::make_unique<TGridDataLinkEx>(this);
  SetColor(clWindow);
  SetParentColor(false);
  titleFont_ = std::make_unique<TFont>();
  titleFont_->Assign(Font());
  titleFont_->OnChange = [this](TObject*) {
    if (!copyingParentFont_ && !IsLoading()) SetParentFont(false);
    if (options_.Contains(dgTitles)) LayoutChanged();
  };
  SetDefaultDrawing(true);
  bookmarks_ = std::make_unique<TBookmarkListEx>(this);
  headTree_ = std::make_unique<THeadTreeNode>("Root", 0, 10);
  sumList_ = std::make_unique<TDBGridExSumList>(this);
  sumList_->SumListChanged = [this](TObject*) { InvalidateFooter(); };
  sumList_->OnRecalcAll = [this](TObject*) {
    if (OnSumListRecalcAll) OnSumListRecalcAll(this);
  };
  horzScrollBar_ = std::make_unique<TDBGridExScrollBar>(this, SB_HORZ);
  vertScrollBar_ = std::make_unique<TDBGridExScrollBar>(this, SB_VERT);
  selection_ = std::make_unique<TDBGridExSelection>(this);
  footerFont_ = std::make_unique<TFont>();
  footerFont_->Assign(Font());
  footerFont_->OnChange = [this](TObject*) {
    if (!copyingParentFont_ && !IsLoading()) SetParentFont(false);
    if (footerRowCount_ > 0) LayoutChanged();
  };
  cellParams_ = std::make_unique<TColCellParamsEx>();
  cellFont_ = std::make_unique<TFont>();
  cellParams_->Font = cellFont_.get();
  ApplyBaseOptions();
  scrollBarWidth_ = GetSystemMetrics(SM_CXVSCROLL);
}

TCustomDBGridEx::~TCustomDBGridEx() {
  Destroying();
  DiscardPostedMessages(this);
  HideEditor();
  // Unlink first, while everything the link's reactions touch still exists.
  dataLink_->SetDataSource(nullptr);
  sumList_->SetDataSet(nullptr);
  cellParams_.reset();
  selection_->Columns()->Clear();
  columns_.reset();
  columnDefValues_.reset();
  markedColumns_.clear();
  shownColumns_.clear();
  horzScrollBar_.reset();
  vertScrollBar_.reset();
  dataLink_.reset();
  titleFont_->OnChange = nullptr;
  footerFont_->OnChange = nullptr;
  bookmarks_.reset();
  titleLeaves_.clear();
  headTree_.reset();
  sumList_.reset();
  selection_.reset();
}

// ---------------------------------------------------------------------------
// Properties

TDataSource* TCustomDBGridEx::DataSource() const { return dataLink_->DataSource(); }

void TCustomDBGridEx::SetDataSource(TDataSource* value) {
  if (value == dataLink_->DataSource()) return;
  selection_->Clear();
  dataLink_->SetDataSource(value);
  if (value) value->FreeNotification(this);
  LinkActive(dataLink_->Active());
  sumList_->SetDataSet(value ? value->DataSet() : nullptr);
}

void TCustomDBGridEx::SetFooterColor(TColor value) {
  if (!ComponentState().Contains(csLoading)) SetParentColor(false);
  footerColor_ = value;
  if (footerRowCount_ > 0) InvalidateFooter();
}

void TCustomDBGridEx::SetFooterRowCount(int value) {
  if (value < 0 || value == footerRowCount_) return;
  footerRowCount_ = value;
  LayoutChanged();
}

void TCustomDBGridEx::SetFlat(bool value) {
  if (value == flat_) return;
  flat_ = value;
  NonClientChanged();
  LayoutChanged();
}

void TCustomDBGridEx::SetUseMultiTitle(bool value) {
  if (value == useMultiTitle_) return;
  useMultiTitle_ = value;
  LayoutChanged();
}

void TCustomDBGridEx::SetDrawMemoText(bool value) {
  if (value == drawMemoText_) return;
  drawMemoText_ = value;
  Invalidate();
}

void TCustomDBGridEx::SetVTitleMargin(int value) {
  vTitleMargin_ = value;
  LayoutChanged();
}

void TCustomDBGridEx::SetReadOnly(bool value) {
  if (value == readOnly_) return;
  readOnly_ = value;
  Invalidate();
}

void TCustomDBGridEx::ApplyBaseOptions() {
  TGridOptions base;
  if (rowSizingAllowed_) base << goRowSizing;
  if (options_.Contains(dgEditing)) base << goEditing;
  if (options_.Contains(dgAlwaysShowEditor)) base << goAlwaysShowEditor;
  if (options_.Contains(dgColumnResize)) base << goColSizing << goColMoving;
  if (options_.Contains(dgColLines)) base << goFixedVertLine << goVertLine;
  if (options_.Contains(dgRowLines)) base << goFixedHorzLine << goHorzLine;
  if (options_.Contains(dgTabs)) base << goTabs;
  if (options_.Contains(dgRowSelect)) base << goRowSelect;
  SetGridOptions(base);
}

void TCustomDBGridEx::SetOptions(const TDBGridOptions& value) {
  TDBGridOptions v = value;
  if (v.Contains(dgRowSelect)) v >> dgEditing >> dgAlwaysShowEditor;
  TDBGridOptions old = options_;
  if (old.Contains(dgMultiSelect) && !v.Contains(dgMultiSelect)) selection_->Clear();
  options_ = v;
  ApplyBaseOptions();
  const TDBGridOptions layoutMask{dgEditing,   dgAlwaysShowEditor,   dgTitles,
                                  dgIndicator, dgColLines,           dgRowLines,
                                  dgRowSelect, dgAlwaysShowSelection};
  if ((old * layoutMask) != (v * layoutMask)) LayoutChanged();
}

void TCustomDBGridEx::SetOptionsEx(const TDBGridExOptions& value) {
  if (optionsEx_.Contains(dghMultiSortMarking) && !value.Contains(dghMultiSortMarking)) {
    TColumnsExList later(
        markedColumns_.size() > 1 ? markedColumns_.begin() + 1 : markedColumns_.end(),
        markedColumns_.end());
    for (TColumnEx* c : later) c->Title()->SetSortMarker(smNoneEx);
  }
  optionsEx_ = value;
  LayoutChanged();
}

void TCustomDBGridEx::SetAllowedSelections(const TDBGridExSelectionTypes& value) {
  allowedSelections_ = value;
  TDBGridExSelectionType t = selection_->SelectionType();
  if (t != gstNon && !value.Contains(t)) selection_->Clear();
}

bool TCustomDBGridEx::AllowedUpdate() const {
  TDataSet* ds = dataLink_->DataSet();
  if (ds && ds->State() == dsInsert)
    return allowedOperations_.Contains(alopInsertEx) || allowedOperations_.Contains(alopAppendEx);
  return allowedOperations_.Contains(alopUpdateEx);
}

void TCustomDBGridEx::SetMinAutoFitWidth(int value) {
  minAutoFitWidth_ = value;
  LayoutChanged();
}

void TCustomDBGridEx::SetFrozenCols(int value) {
  // A negative count would make the layout compute a fixed-column count
  // below the indicator's: it means no frozen column.
  if (value < 0) value = 0;
  frozenCols_ = value;
  LayoutChanged();
}

void TCustomDBGridEx::SetRowHeight(int value) {
  if (value < 0) value = 0;
  if (value == rowHeight_) return;
  rowHeight_ = value;
  LayoutChanged();
}

void TCustomDBGridEx::SetRowLines(int value) {
  if (value < 0) value = 0;
  if (value == rowLines_) return;
  rowLines_ = value;
  LayoutChanged();
}

void TCustomDBGridEx::SetTitleHeight(int value) {
  titleHeight_ = value;
  LayoutChanged();
}

void TCustomDBGridEx::SetTitleLines(int value) {
  titleLines_ = value;
  LayoutChanged();
}

void TCustomDBGridEx::SetTitleImages(TCustomImageList* value) {
  titleImages_ = value;
  if (value) value->FreeNotification(this);
  LayoutChanged();
}

void TCustomDBGridEx::SetRowSizingAllowed(bool value) {
  rowSizingAllowed_ = value;
  ApplyBaseOptions();
}

void TCustomDBGridEx::SetAutoFitColWidths(bool value) {
  if (value == autoFitColWidths_) return;
  autoFitColWidths_ = value;
  if (IsDesigning()) return;
  BeginLayout();
  struct End {
    TCustomDBGridEx* g;
    ~End() { g->EndLayout(); }
  } end{this};
  for (int i = 0; i < columns_->Count(); ++i) {
    TColumnEx* c = columns_->Items(i);
    if (value) {
      if (!IsLoading()) c->SetAutoFitBaseWidth(c->Width());
    } else {
      c->SetWidth(c->AutoFitBaseWidth());
    }
  }
}

int TCustomDBGridEx::SelectedIndex() const {
  int c = GridToColumnIndex(Col());
  return c >= 0 && c < columns_->Count() ? c : -1;
}

void TCustomDBGridEx::SetSelectedIndex(int value) {
  if (value < 0 || value >= columns_->Count()) return;
  SetCol(ColumnToGridIndex(value));
}

TField* TCustomDBGridEx::CurrentField() const {
  int i = SelectedIndex();
  return i < 0 ? nullptr : columns_->Items(i)->Field();
}

// ---------------------------------------------------------------------------
// Layout locking

void TCustomDBGridEx::BeginLayout() {
  BeginUpdate();
  if (layoutLock_ == 0) columns_->BeginUpdate();
  ++layoutLock_;
}

void TCustomDBGridEx::EndLayout() {
  if (layoutLock_ == 0) return;
  if (layoutLock_ == 1) {
    struct Finish {
      TCustomDBGridEx* g;
      ~Finish() {
        g->columns_->EndUpdate();  // its own LayoutChanged finds the lock held
        --g->layoutLock_;
        g->EndUpdate();
      }
    } finish{this};
    RebuildLayout();
    return;
  }
  --layoutLock_;
  EndUpdate();
}

void TCustomDBGridEx::CancelLayout() {
  if (layoutLock_ == 0) return;
  if (layoutLock_ == 1) columns_->EndUpdate();
  --layoutLock_;
  EndUpdate();
}

bool TCustomDBGridEx::AcquireLayoutLock() {
  if (updateLock_ != 0 || layoutLock_ != 0) return false;
  BeginLayout();
  return true;
}

void TCustomDBGridEx::DeferLayout() {
  if (HandleAllocated() && !HasPostedMessage(this, CM_DEFERLAYOUT))
    PostMessage(this, CM_DEFERLAYOUT);
  CancelLayout();
}

void TCustomDBGridEx::LayoutChanged() {
  if (AcquireLayoutLock()) EndLayout();
}

void TCustomDBGridEx::DataLinkLayoutChanged() {
  TFlagScope scope(layoutFromDataLink_);
  LayoutChanged();
}

void TCustomDBGridEx::WndProc(TMessage& m) {
  if (m.Msg == CM_DEFERLAYOUT) {
    if (AcquireLayoutLock())
      EndLayout();
    else if (!HasPostedMessage(this, CM_DEFERLAYOUT))
      // Only the lock's holder may cancel its layout: post again, no more.
      PostMessage(this, CM_DEFERLAYOUT);
    return;
  }
  if (InputMessage(m)) return;
  TCustomGrid::WndProc(m);
}

// ---------------------------------------------------------------------------
// Layout rebuild

void TCustomDBGridEx::RebuildLayout() {
  if (IsLoading() || ComponentState().Contains(csDestroying)) return;
  ++layoutCount_;
  if (HandleAllocated()) RemovePostedMessages(this, CM_DEFERLAYOUT);
  RebuildColumns();
  // Shown columns; H counts the hidden columns the frozen part passes over.
  shownColumns_.clear();
  for (int i = 0; i < columns_->Count(); ++i)
    if (columns_->Items(i)->Visible()) shownColumns_.push_back(columns_->Items(i));
  int h = 0;
  for (int i = 0; i < columns_->Count(); ++i)
    if (!columns_->Items(i)->Visible() && i < frozenCols_ + h) ++h;
  for (int i = frozenCols_ + h; i < columns_->Count() && !columns_->Items(i)->Visible(); ++i) ++h;
  if (shownColumns_.empty()) --h;
  SetColCount(columns_->Count() + IndicatorCols());
  bool defaultInactive = !dataLink_->Active() && columns_->State() != csCustomized;
  SetFixedCols(IndicatorCols() + std::max(0, (defaultInactive ? 0 : frozenCols_) + h));
  MeasureLayout();
  SetScrollBars(horzScrollBar_->Visible() && !(autoFitColWidths_ && !IsDesigning())
                    ? ssHorizontal
                    : ssNone);
  SetColumnAttributes();
  if (autoFitColWidths_ && !IsDesigning()) AutoFitColumns();
  if (options_.Contains(dgTitles) && (titleHeight_ != 0 || titleLines_ != 0)) {
    TFont* largest = titleFont_.get();
    for (int i = 0; i < columns_->Count(); ++i) {
      TFont* f = columns_->Items(i)->Title()->Font();
      if (FontMetrics().Metrics(*f).Height > FontMetrics().Metrics(*largest).Height) largest = f;
    }
    TTextMetric tm = FontMetrics().Metrics(*largest);
    fullTitleHeight_ = titleLines_ * tm.Height + tm.ExternalLeading + 2 + titleHeight_ +
                       (options_.Contains(dgRowLines) ? 1 : 0);
    titleRowHeight_ = fullTitleHeight_;
  }
  if (options_.Contains(dgTitles) && useMultiTitle_) {
    int leafHeight = titleRowHeight_;
    BuildTitleTree(leafHeight);
    titleRowHeight_ =
        MeasureTitleTree(headTree_.get()) - (optionsEx_.Contains(dghFixed3D) ? 1 : 3);
  }
  SetColumnAttributes();
  {
    int left = LeftCol();
    TFlagScope scope(rowSelectRelayout_);
    rowSelectRelayout_ = options_.Contains(dgRowSelect);
    UpdateRowCount();
    if (options_.Contains(dgRowSelect)) SetLeftCol(left);
  }
  UpdateActive();
  Invalidate();
  if (selection_->SelectionType() == gstColumns) selection_->Columns()->Refresh();
}

void TCustomDBGridEx::MeasureLayout() {
  TCanvas* canvas = Canvas();
  TFont saved;
  saved.Assign(canvas->Font());
  canvas->Font()->Assign(Font());
  int e = (flat_ ? 1 : 3) + (options_.Contains(dgRowLines) ? GridLineWidth() : 0);
  int t = canvas->TextHeight("Wg");
  TTextMetric tm = FontMetrics().Metrics(*Font());
  int rowHeight = rowHeight_ > 0 || rowLines_ > 0
                      ? (tm.Height + tm.ExternalLeading) * rowLines_ + rowHeight_
                      : t + e;
  if (optionsEx_.Contains(dghFitRowHeightToText) && t > 0) {
    int a = rowHeight - e;
    if (a % t > t / 2 || a / t == 0)
      rowHeight = (a / t + 1) * t + e;
    else
      rowHeight = (a / t) * t + e;
    rowLines_ = (rowHeight - e) / t;
    rowHeight_ = e;
  }
  if (rowHeight < 1) rowHeight = 1;
  editButtonWidth_ = rowHeight > (scrollBarWidth_ * 3 + 1) / 2 ? scrollBarWidth_ : rowHeight;
  tallRows_ = tm.Height + tm.ExternalLeading + tm.InternalLeading + TitleTextPadding() < rowHeight;
  titleRowHeight_ = 0;
  if (options_.Contains(dgTitles)) {
    auto measure = [&](TFont* f) {
      canvas->Font()->Assign(f);
      titleRowHeight_ = std::max(titleRowHeight_, canvas->TextHeight("Wg") + TitleTextPadding());
    };
    if (columns_->Count() == 0) measure(titleFont_.get());
    for (int i = 0; i < columns_->Count(); ++i) measure(columns_->Items(i)->Title()->Font());
  }
  canvas->Font()->Assign(&saved);
  SetDefaultRowHeight(rowHeight);
}

void TCustomDBGridEx::SetColumnAttributes() {
  for (int i = 0; i < columns_->Count(); ++i) {
    TColumnEx* c = columns_->Items(i);
    int w = c->Visible() ? c->Width() : (options_.Contains(dgColLines) ? -1 : 0);
    if (ColumnToGridIndex(i) < ColCount()) SetColWidths(ColumnToGridIndex(i), w);
  }
  if (options_.Contains(dgIndicator)) SetColWidths(0, kIndicatorWidth);
}

void TCustomDBGridEx::AutoFitColumns() {
  std::vector<TColumnEx*> shown = shownColumns_;
  std::vector<bool> marked(shown.size(), false);
  int w = 0, given = 0;
  bool any = false;
  for (size_t pass = 0; pass < shown.size(); ++pass) {
    int s = 0, f = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
      if (shown[i]->AutoFitColWidth() && !marked[i])
        s += shown[i]->AutoFitBaseWidth();
      else
        f += shown[i]->Width();
    }
    w = std::max(0, std::max(ClientWidth(), minAutoFitWidth_) - f);
    if (options_.Contains(dgIndicator)) w -= kIndicatorWidth;
    if (options_.Contains(dgColLines)) w -= static_cast<int>(shown.size());
    if (options_.Contains(dgIndicator) && options_.Contains(dgColLines)) w -= 1;
    // No base width to share out (every fitted column zero wide or none
    // left): dividing by it would give every column a width of -1.
    if (s <= 0) break;
    given = 0;
    any = true;
    bool markedOne = false;
    for (size_t i = 0; i < shown.size(); ++i) {
      if (!shown[i]->AutoFitColWidth() || marked[i]) continue;
      int want = MulDiv(shown[i]->AutoFitBaseWidth(), w, s);
      shown[i]->SetWidth(want);
      if (shown[i]->Width() != want) {
        marked[i] = true;
        markedOne = true;
      }
      given += want;
    }
    if (!markedOne) break;
  }
  if (!any || given == w) return;
  for (size_t i = shown.size(); i-- > 0;) {
    if (!shown[i]->AutoFitColWidth() || marked[i]) continue;
    shown[i]->SetWidth(std::max(0, shown[i]->Width() + w - given));
    break;
  }
}

void TCustomDBGridEx::DefineFieldMap() {
  if (columns_->State() == csCustomized) {
    dataLink_->SetSparseMap(true);
    for (int i = 0; i < columns_->Count(); ++i)
      dataLink_->AddMapping(columns_->Items(i)->FieldName());
  } else {
    dataLink_->SetSparseMap(false);
    TDataSet* ds = dataLink_->DataSet();
    for (int i = 0; i < ds->FieldCount(); ++i) {
      TField* f = ds->Fields()->Fields(i);
      if (f->Visible()) dataLink_->AddMapping(f->FieldName());
    }
  }
}

void TCustomDBGridEx::RebuildColumns() {
  // A stored column after a default one: the default ones go.
  bool sawDefault = false;
  for (int i = 0; i < columns_->Count(); ++i) {
    if (!columns_->Items(i)->Stored()) {
      sawDefault = true;
    } else if (sawDefault) {
      for (int j = columns_->Count() - 1; j >= 0; --j)
        if (!columns_->Items(j)->Stored()) delete columns_->Items(j);
      break;
    }
  }
  dataLink_->ClearMapping();
  if (dataLink_->Active()) DefineFieldMap();
  if (columns_->State() == csCustomized) {
    for (int i = 0; i < columns_->Count(); ++i) columns_->Items(i)->ResetField();
    return;
  }
  TDataSet* ds = dataLink_->DataSet();
  if (!dataLink_->Active() && (ds == nullptr || ds->DefaultFields())) {
    columns_->Clear();
  } else {
    for (int i = columns_->Count() - 1; i >= 0; --i) {
      TField* f = columns_->Items(i)->Field();
      bool mapped = false;
      for (int j = 0; j < dataLink_->FieldCount() && !mapped; ++j)
        mapped = dataLink_->Fields(j) == f;
      if (f == nullptr || !mapped) delete columns_->Items(i);
    }
  }
  int n = dataLink_->FieldCount();
  if (n == 0 && columns_->Count() == 0) n = 1;
  for (int j = 0; j < n; ++j) {
    TField* f = dataLink_->Fields(j);
    TColumnEx* found = nullptr;
    if (f)
      for (int i = j; i < columns_->Count() && found == nullptr; ++i)
        if (columns_->Items(i)->Field() == f) found = columns_->Items(i);
    if (found) {
      found->SetIndex(j);
    } else {
      TColumnEx* c = columns_->AddDefaultColumn();
      if (f) c->SetField(f);
      c->SetIndex(j);
    }
  }
}

// ---------------------------------------------------------------------------
// Sizing and moving by the user

void TCustomDBGridEx::ColWidthsChanged() {
  if (!(dataLink_->Active() || columns_->State() == csCustomized)) return;
  if (!AcquireLayoutLock()) return;
  struct End {
    TCustomDBGridEx* g;
    ~End() { g->EndLayout(); }
  } end{this};
  for (int i = 0; i < columns_->Count(); ++i) {
    TColumnEx* c = columns_->Items(i);
    int gridCol = ColumnToGridIndex(i);
    if (gridCol >= ColCount() || !c->Visible()) continue;
    int newWidth = ColWidths(gridCol);
    if (newWidth == c->Width()) continue;
    if (!autoFitColWidths_ || IsDesigning()) {
      c->SetWidth(newWidth);
    } else if (optionsEx_.Contains(dghResizeWholeRightPart)) {
      int d = newWidth - c->Width();
      if (c->AutoFitColWidth())
        c->SetAutoFitBaseWidth(MulDiv(newWidth, c->AutoFitBaseWidth(), std::max(1, c->Width())));
      else
        c->SetWidth(newWidth);
      int r = 0;
      for (int j = i + 1; j < columns_->Count(); ++j)
        if (columns_->Items(j)->Visible() && columns_->Items(j)->AutoFitColWidth())
          r += columns_->Items(j)->Width();
      if (r > 0)
        for (int j = i + 1; j < columns_->Count(); ++j) {
          TColumnEx* k = columns_->Items(j);
          if (k->Visible() && k->AutoFitColWidth())
            k->SetAutoFitBaseWidth(std::max(1, MulDiv(r - d, k->AutoFitBaseWidth(), r)));
        }
    } else if (!c->AutoFitColWidth()) {
      c->SetWidth(newWidth);
    } else {
      int oldBase = c->AutoFitBaseWidth();
      int newBase = MulDiv(oldBase, newWidth, std::max(1, c->Width()));
      c->SetAutoFitBaseWidth(newBase);
      auto it = std::find(shownColumns_.begin(), shownColumns_.end(), c);
      if (it != shownColumns_.end() && it + 1 != shownColumns_.end()) {
        TColumnEx* next = *(it + 1);
        next->SetAutoFitBaseWidth(std::max(0, next->AutoFitBaseWidth() + oldBase - newBase));
      }
    }
  }
  // The layout (and with it the re-fit) runs as `end` goes.
  InvalidateEditor();
  if (OnColWidthsChanged) OnColWidthsChanged(this);
}

void TCustomDBGridEx::RowHeightsChanged() {
  if (!rowSizing_) return;
  rowSizing_ = false;
  int last = RowCount() - 1 - (footerRowCount_ > 0 ? footerRowCount_ + 1 : 0);
  for (int r = TitleRows(); r <= last; ++r)
    if (RowHeights(r) != DefaultRowHeight()) {
      rowLines_ = 0;
      SetRowHeight(RowHeights(r));
      break;
    }
  UpdateVertScrollBar();
}

void TCustomDBGridEx::ColumnMoved(int fromIndex, int toIndex) {
  int from = GridToColumnIndex(fromIndex), to = GridToColumnIndex(toIndex);
  if (from < 0 || to < 0 || from >= columns_->Count() || to >= columns_->Count()) return;
  columns_->Items(from)->SetIndex(to);
  if (OnColumnMoved) OnColumnMoved(this, from, to);
}

void TCustomDBGridEx::Resize() {
  TCustomGrid::Resize();
  if (updateLock_ != 0) return;
  if (autoFitColWidths_ && !IsDesigning()) {
    LayoutChanged();
    InvalidateEditor();
  } else {
    UpdateRowCount();
    UpdateVertScrollBar();
  }
}

void TCustomDBGridEx::FontChanged() {
  TCustomGrid::FontChanged();
  if (!columns_ || ComponentState().Contains(csDestroying)) return;
  // Columns without a font of their own follow the grid's (their text
  // heights change the layout).
  BeginLayout();
  if (ParentFont()) {
    // The grid copies its parent's font into the title and footer fonts,
    // which must not take ParentFont away.
    TFlagScope scope(copyingParentFont_);
    titleFont_->Assign(Font());
    footerFont_->Assign(Font());
  }
  for (int i = 0; i < columns_->Count(); ++i) columns_->Items(i)->Font();
  EndLayout();
}

TGridState TCustomDBGridEx::CalcSizingState(int x, int y, int& index, int& sizingPos,
                                            int& sizingOfs) {
  TGridState state = TCustomGrid::CalcSizingState(x, y, index, sizingPos, sizingOfs);
  if (state == gsRowSizing) {
    int indicator = IndicatorCols() * (ColWidths(0) + GridLineWidth());
    if (IndicatorCols() == 0 || x >= indicator) return gsNormal;
    rowSizing_ = true;
  }
  return state;
}

void TCustomDBGridEx::SetPressedTitle(int gridColumn, bool down) {
  if (pressedCol_ == gridColumn && titlePressed_ == down) return;
  if (pressedCol_ >= 0) InvalidateCell(pressedCol_, 0);
  pressedCol_ = gridColumn;
  titlePressed_ = down;
  if (pressedCol_ >= 0) InvalidateCell(pressedCol_, 0);
}

// ---------------------------------------------------------------------------
// Header tree

void TCustomDBGridEx::BuildTitleTree(int titleHeight) {
  std::vector<TTitleLeafSpec> specs;
  titleLeaves_.clear();
  int lineWidth = options_.Contains(dgColLines) ? 1 : 0;
  for (int i = 0; i < columns_->Count(); ++i) {
    TColumnEx* c = columns_->Items(i);
    TTitleLeafSpec s;
    s.Column = c;
    s.Caption = c->Title()->Caption();
    s.Width = c->Visible() ? c->Width() : (lineWidth ? -1 : 0);
    s.MarkerRoom = c->Title()->SortMarker() != smNoneEx ? 16 : 0;
    specs.push_back(s);
  }
  ::BuildTitleTree(headTree_.get(), specs, titleHeight, lineWidth);
  headTree_->ForEach([this](THeadTreeNode* n) {
    if (n->Column) titleLeaves_.push_back({n, n->Column});
  });
  std::stable_sort(titleLeaves_.begin(), titleLeaves_.end(),
                   [](const TTitleLeaf& a, const TTitleLeaf& b) {
                     return a.Column->Index() < b.Column->Index();
                   });
}

int TCustomDBGridEx::MeasureTitleTree(THeadTreeNode* node) {
  TCanvas* canvas = Canvas();
  TFont saved;
  saved.Assign(canvas->Font());
  canvas->Font()->Assign(titleFont_.get());
  struct Restore {
    TCanvas* c;
    TFont* f;
    ~Restore() { c->Font()->Assign(f); }
  } restore{canvas, &saved};
  auto measure = [this, canvas](THeadTreeNode* child, bool first) {
    if (child->Column)
      canvas->Font()->Assign(child->Column->Title()->Font());
    else if (first)
      canvas->Font()->Assign(titleFont_.get());
    AnsiString text = child->Text.empty() ? AnsiString(" ") : child->Text;
    bool vertical = child->Column && child->Column->Title()->Orientation() == tohVertical;
    if (vertical) return child->Width < 1 ? 0 : canvas->TextWidth(text) + 6;
    int height = 0;
    if (child->Width >= 1) {
      TRect r(0, 0, child->Width - 4 - child->WIndent, 0);
      height = canvas->DrawText(text, r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    }
    return height + vTitleMargin_;
  };
  return ::MeasureTitleTree(node, measure);
}

// ---------------------------------------------------------------------------
// Footers

AnsiString TCustomDBGridEx::GetFooterValue(int row, TColumnEx* column) {
  TColumnFooterEx* footer = column->UsedFooter(row);
  TDataSet* ds = DataSource() ? DataSource()->DataSet() : nullptr;
  switch (footer->ValueType()) {
    case fvtNon:
      return AnsiString();
    case fvtSum:
    case fvtAvg: {
      AnsiString name = footer->FieldName().empty() ? column->FieldName() : footer->FieldName();
      TField* f = ds ? ds->FindField(name) : nullptr;
      if (f == nullptr) return "0";
      TDBSum* sum =
          sumList_->FindSum(footer->ValueType() == fvtSum ? goSum : goAvg, f->FieldName());
      std::int64_t scaled = sum ? sum->SumValue : 0;
      double v = static_cast<double>(scaled) / 10000.0;
      auto* numeric = dynamic_cast<TNumericField*>(f);
      AnsiString format = numeric ? numeric->DisplayFormat() : AnsiString();
      switch (f->DataType()) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
          if (!format.empty()) return FormatFloat(format, v);
          return IntToStr(static_cast<std::int64_t>(std::nearbyint(v)));
        case ftFloat:
        case ftCurrency: {
          if (!format.empty()) return FormatFloat(format, v);
          auto* ff = dynamic_cast<TFloatField*>(f);
          bool currency = ff && ff->Currency();
          int precision = ff ? ff->Precision() : 15;
          return FloatToStrF(v, currency ? ffCurrency : ffGeneral, precision,
                             currency ? DefaultFormatSettings().CurrencyDecimals : 0);
        }
        case ftBCD: {
          if (!format.empty()) return FormatFloat(format, v);
          auto* ff = dynamic_cast<TFloatField*>(f);
          bool currency = ff && ff->Currency();
          return CurrToStrF(scaled, currency ? ffCurrency : ffGeneral,
                            currency ? DefaultFormatSettings().CurrencyDecimals : 0);
        }
        default:
          return "0";
      }
    }
    case fvtCount: {
      TDBSum* sum = sumList_->FindSum(goCount, AnsiString());
      return FloatToStr(sum ? static_cast<double>(sum->SumValue) / 10000.0 : 0.0);
    }
    case fvtFieldValue: {
      // A footer naming a field the dataset lacks shows nothing instead of
      // failing on every repaint.
      if (ds == nullptr || !ds->Active() || footer->FieldName().empty()) return AnsiString();
      TField* f = ds->FindField(footer->FieldName());
      return f ? f->DisplayText() : AnsiString();
    }
    case fvtStaticText:
      return footer->Value();
  }
  return AnsiString();
}

// ---------------------------------------------------------------------------
// Repaint hooks

void TCustomDBGridEx::Invalidate() {
  ++invalidateCount_;
  TCustomGrid::Invalidate();
}

void TCustomDBGridEx::InvalidateColumn(int gridColumn) { InvalidateGridCol(gridColumn); }

void TCustomDBGridEx::SyncColumnWidth(int index) {
  int gridCol = ColumnToGridIndex(index);
  if (index < 0 || index >= columns_->Count() || gridCol >= ColCount()) return;
  TColumnEx* c = columns_->Items(index);
  SetColWidths(gridCol, c->Visible() ? c->Width() : (options_.Contains(dgColLines) ? -1 : 0));
}

void TCustomDBGridEx::InvalidateRow(int gridRow) { InvalidateGridRow(gridRow); }

void TCustomDBGridEx::InvalidateCurrentRow() { InvalidateGridRow(Row()); }

void TCustomDBGridEx::InvalidateFooter() {
  for (int r = RowCount() - footerRowCount_; r < RowCount(); ++r) InvalidateGridRow(r);
}

void TCustomDBGridEx::ColumnRemoved(TColumnEx* column) {
  auto drop = [column](TColumnsExList& list) {
    list.erase(std::remove(list.begin(), list.end(), column), list.end());
  };
  drop(markedColumns_);
  drop(shownColumns_);
  titleLeaves_.erase(std::remove_if(titleLeaves_.begin(), titleLeaves_.end(),
                                    [column](const TTitleLeaf& l) { return l.Column == column; }),
                     titleLeaves_.end());
  if (selection_) selection_->Columns()->Forget(column);
}

void TCustomDBGridEx::SortMarkingChanged() {
  if (OnSortMarkingChanged) OnSortMarkingChanged(this);
}

void TCustomDBGridEx::Notification(TComponent* component, TOperation operation) {
  TCustomGrid::Notification(component, operation);
  if (operation != opRemove || columns_ == nullptr) return;
  if (sumList_) sumList_->ComponentRemoved(component);
  if (component == DataSource()) {
    SetDataSource(nullptr);
    return;
  }
  // A field going away: by the time this runs it is no TField any more,
  // so columns compare the pointer they cached.
  if (component == titleImages_) {
    titleImages_ = nullptr;
    LayoutChanged();
  }
  bool dropped = false;
  BeginLayout();
  for (int i = 0; i < columns_->Count(); ++i) {
    TColumnEx* c = columns_->Items(i);
    if (c->CachedField() == component) {
      c->ResetField();
      dropped = true;
    }
  }
  TDataSet* ds = dataLink_->DataSet();
  // While the dataset itself is going, the layout waits for the message loop.
  if (dropped && ds && !ds->ComponentState().Contains(csDestroying))
    EndLayout();
  else if (dropped)
    DeferLayout();
  else
    CancelLayout();
  if (dropped) return;
  for (int i = 0; i < columns_->Count(); ++i) {
    TColumnEx* c = columns_->Items(i);
    if (c->PopupMenu() == component) c->SetPopupMenu(nullptr);
    if (c->ImageList() == component) c->SetImageList(nullptr);
  }
}

void TCustomDBGridEx::Loaded() {
  TCustomGrid::Loaded();
  if (columns_->Count() > 0) {
    markedColumns_.clear();
    for (int i = 0; i < columns_->Count(); ++i) {
      TColumnEx* c = columns_->Items(i);
      int index = c->Title()->SortIndex();
      if (index <= 0) continue;
      if (static_cast<int>(markedColumns_.size()) < index) markedColumns_.resize(index, nullptr);
      markedColumns_[index - 1] = c;
    }
    markedColumns_.erase(std::remove(markedColumns_.begin(), markedColumns_.end(), nullptr),
                         markedColumns_.end());
    if (!markedColumns_.empty()) SortMarkingChanged();
  }
  if (autoFitColWidths_ && !IsDesigning()) {
    columns_->BeginUpdate();
    for (int i = 0; i < columns_->Count(); ++i)
      columns_->Items(i)->SetAutoFitBaseWidth(columns_->Items(i)->Width());
    columns_->EndUpdate();
    SetScrollBars(ssNone);
  }
  if (DataSource()) sumList_->OwnerLoaded();
  LayoutChanged();
  DeferLayout();
}
