#include "grid/DBGridEx.h"

#include <algorithm>
#include <cmath>

#include "grid/DBSumList.h"
#include "grid/GridDataLinkEx.h"
#include "grid/GridSelection.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/Menus.h"

TCustomDBGridEx::TCustomDBGridEx(TComponent* owner) : TCustomControl(owner) {
  columnDefValues_ = std::make_unique<TColumnDefValuesEx>(this);
  columns_ = std::make_unique<TDBGridColumnsEx>(this);
  dataLink_ = std::make_unique<TGridDataLinkEx>(this);
  SetColor(clWindow);
  SetParentColor(false);
  titleFont_ = std::make_unique<TFont>();
  titleFont_->Assign(Font());
  titleFont_->OnChange = [this](TObject*) {
    if (options_.Contains(dgTitles)) LayoutChanged();
  };
  bookmarks_ = std::make_unique<TBookmarkListEx>(this);
  headTree_ = std::make_unique<THeadTreeNode>("Root", 0, 10);
  sumList_ = std::make_unique<TDBGridExSumList>(this);
  sumList_->SumListChanged = [this](TObject*) { InvalidateFooter(); };
  sumList_->OnRecalcAll = [this](TObject*) {
    if (OnSumListRecalcAll) OnSumListRecalcAll(this);
  };
  selection_ = std::make_unique<TDBGridExSelection>(this);
  footerFont_ = std::make_unique<TFont>();
  footerFont_->Assign(Font());
  footerFont_->OnChange = [this](TObject*) {
    if (footerRowCount_ > 0) LayoutChanged();
  };
}

TCustomDBGridEx::~TCustomDBGridEx() {
  Destroying();
  // Unlink first, while everything the link's reactions touch still exists.
  dataLink_->SetDataSource(nullptr);
  sumList_->SetDataSet(nullptr);
  selection_->Columns()->Clear();
  columns_.reset();
  columnDefValues_.reset();
  markedColumns_.clear();
  shownColumns_.clear();
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

void TCustomDBGridEx::SetFixedColor(TColor value) {
  if (value == fixedColor_) return;
  fixedColor_ = value;
  Invalidate();
}

void TCustomDBGridEx::SetFooterRowCount(int value) {
  if (value < 0 || value == footerRowCount_) return;
  footerRowCount_ = value;
  LayoutChanged();
}

void TCustomDBGridEx::SetFlat(bool value) {
  if (value == flat_) return;
  flat_ = value;
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

void TCustomDBGridEx::SetOptions(const TDBGridOptions& value) {
  TDBGridOptions v = value;
  if (v.Contains(dgRowSelect)) v >> dgEditing >> dgAlwaysShowEditor;
  TDBGridOptions old = options_;
  if (old.Contains(dgMultiSelect) && !v.Contains(dgMultiSelect)) selection_->Clear();
  options_ = v;
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

// ---------------------------------------------------------------------------
// Layout

void TCustomDBGridEx::BeginLayout() {
  if (layoutLock_ == 0) columns_->BeginUpdate();
  ++layoutLock_;
}

void TCustomDBGridEx::EndLayout() {
  if (layoutLock_ == 0) return;
  if (--layoutLock_ == 0) {
    columns_->EndUpdate();  // ends in Update(nullptr), which lays out
    if (layoutPending_) LayoutChanged();
  }
}

void TCustomDBGridEx::DataLinkLayoutChanged() {
  bool saved = layoutFromDataLink_;
  layoutFromDataLink_ = true;
  struct Restore {
    bool& flag;
    bool value;
    ~Restore() { flag = value; }
  } restore{layoutFromDataLink_, saved};
  LayoutChanged();
}

void TCustomDBGridEx::LayoutChanged() {
  if (layoutLock_ > 0) {
    layoutPending_ = true;
    return;
  }
  // Column changes made by the rebuild itself end here too: ignored.
  if (inLayout_) return;
  if (ComponentState().Contains(csLoading) || ComponentState().Contains(csDestroying)) return;
  layoutPending_ = false;
  ++layoutCount_;
  inLayout_ = true;
  columns_->BeginUpdate();
  struct End {
    TCustomDBGridEx* g;
    ~End() {
      g->columns_->EndUpdate();
      g->inLayout_ = false;
    }
  } end{this};
  RebuildColumns();
  shownColumns_.clear();
  for (int i = 0; i < columns_->Count(); ++i)
    if (columns_->Items(i)->Visible()) shownColumns_.push_back(columns_->Items(i));
  if (options_.Contains(dgTitles) && useMultiTitle_) {
    int titleHeight = FontMetrics().Metrics(*titleFont_).Height + (flat_ ? 2 : 4);
    BuildTitleTree(titleHeight);
    MeasureTitleTree(headTree_.get());
  }
  if (selection_->SelectionType() == gstColumns) selection_->Columns()->Refresh();
  Invalidate();
}

void TCustomDBGridEx::CancelLayout() {
  if (layoutLock_ == 0) return;
  if (--layoutLock_ == 0) {
    bool saved = inLayout_;
    inLayout_ = true;
    columns_->EndUpdate();
    inLayout_ = saved;
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
// Repaint and editor hooks

void TCustomDBGridEx::Invalidate() {
  ++invalidateCount_;
  TCustomControl::Invalidate();
}

void TCustomDBGridEx::InvalidateColumn(int) { Invalidate(); }

void TCustomDBGridEx::InvalidateRow(int) { Invalidate(); }

void TCustomDBGridEx::InvalidateCurrentRow() { Invalidate(); }

void TCustomDBGridEx::InvalidateFooter() { Invalidate(); }

void TCustomDBGridEx::ShowEditor() { editorShowing_ = true; }

void TCustomDBGridEx::HideEditor() { editorShowing_ = false; }

// ---------------------------------------------------------------------------
// Data link reactions

void TCustomDBGridEx::LinkActive(bool value) {
  if (!value) HideEditor();
  selection_->SetLinkActive(value);
  TDataSet* ds = DataSource() ? DataSource()->DataSet() : nullptr;
  if (ds) ds->FreeNotification(this);
  sumList_->SetDataSet(ds);
  LayoutChanged();
  if (value && options_.Contains(dgAlwaysShowEditor)) ShowEditor();
}

bool TCustomDBGridEx::SelectColumnOfField(TField* field) {
  for (int i = 0; i < columns_->Count(); ++i)
    if (columns_->Items(i)->Field() == field) {
      selectedIndex_ = i;
      return true;
    }
  return false;
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
  TCustomControl::Notification(component, operation);
  if (operation != opRemove || columns_ == nullptr) return;
  if (sumList_) sumList_->ComponentRemoved(component);
  if (component == DataSource()) {
    SetDataSource(nullptr);
    return;
  }
  // A field going away: by the time this runs it is no TField any more,
  // so columns compare the pointer they cached.
  bool dropped = false;
  for (int i = 0; i < columns_->Count(); ++i) {
    TColumnEx* c = columns_->Items(i);
    if (c->CachedField() == component) {
      c->ResetField();
      dropped = true;
    }
  }
  if (dropped) {
    TDataSet* ds = dataLink_->DataSet();
    // While the dataset itself is going, its link lays out when it has gone.
    if (ds && !ds->ComponentState().Contains(csDestroying)) LayoutChanged();
    return;
  }
  for (int i = 0; i < columns_->Count(); ++i) {
    TColumnEx* c = columns_->Items(i);
    if (c->PopupMenu() == component) c->SetPopupMenu(nullptr);
    if (c->ImageList() == component) c->SetImageList(nullptr);
  }
}

void TCustomDBGridEx::Loaded() {
  TCustomControl::Loaded();
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
  if (DataSource()) sumList_->OwnerLoaded();
  LayoutChanged();
}
