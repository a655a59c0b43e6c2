#include "grid/DBGridExFooters.h"

#include "grid/DBGridEx.h"
#include "grid/DBSumList.h"
#include "platform/data/Fields.h"

// ---------------------------------------------------------------------------
// TColumnFooterEx

TColumnFooterEx::TColumnFooterEx(TCollection* collection) : TCollectionItem(collection) { Init(); }

TColumnFooterEx::TColumnFooterEx(TColumnEx* column)
    : TCollectionItem(nullptr), ownerColumn_(column) {
  Init();
}

void TColumnFooterEx::Init() {
  font_ = std::make_unique<TFont>();
  RefreshDefaultFont();
  font_->OnChange = [this](TObject*) { FontChanged(); };
}

TColumnFooterEx::~TColumnFooterEx() {
  font_->OnChange = nullptr;
  if (sumItem_) {
    TDBSum* item = sumItem_;
    sumItem_ = nullptr;
    item->Footer = nullptr;
    delete item;
  }
}

TColumnEx* TColumnFooterEx::Column() const {
  if (ownerColumn_) return ownerColumn_;
  if (auto* footers = dynamic_cast<TColumnFootersEx*>(Collection())) return footers->Column();
  return nullptr;
}

TCustomDBGridEx* TColumnFooterEx::Grid() const {
  TColumnEx* c = Column();
  return c ? c->Grid() : nullptr;
}

void TColumnFooterEx::Changed(bool allColumns) {
  if (TColumnEx* c = Column()) c->ColumnChanged(allColumns);
}

void TColumnFooterEx::FontChanged() {
  if (settingDefaultFont_) return;
  assigned_ << cfvFont;
  Changed(true);
}

void TColumnFooterEx::RefreshDefaultFont() const {
  if (assigned_.Contains(cfvFont)) return;
  TFont* def = DefaultFont();
  if (def == font_.get() || font_->SameAs(*def)) return;
  auto* self = const_cast<TColumnFooterEx*>(this);
  self->settingDefaultFont_ = true;
  font_->Assign(def);
  self->settingDefaultFont_ = false;
}

TAlignment TColumnFooterEx::DefaultAlignment() const {
  TColumnEx* c = Column();
  TField* f = c ? c->Field() : nullptr;
  return f ? f->Alignment() : taLeftJustify;
}

TColor TColumnFooterEx::DefaultColor() const {
  TCustomDBGridEx* g = Grid();
  return g ? g->FooterColor() : clWindow;
}

TFont* TColumnFooterEx::DefaultFont() const {
  if (TCustomDBGridEx* g = Grid()) return g->FooterFont();
  if (TColumnEx* c = Column()) return c->Font();
  return font_.get();
}

TAlignment TColumnFooterEx::Alignment() const {
  return assigned_.Contains(cfvAlignment) ? alignment_ : DefaultAlignment();
}

void TColumnFooterEx::SetAlignment(TAlignment value) {
  if (assigned_.Contains(cfvAlignment) && value == alignment_) return;
  alignment_ = value;
  assigned_ << cfvAlignment;
  Changed(false);
}

TColor TColumnFooterEx::Color() const {
  return assigned_.Contains(cfvColor) ? color_ : DefaultColor();
}

void TColumnFooterEx::SetColor(TColor value) {
  if (assigned_.Contains(cfvColor) && value == color_) return;
  color_ = value;
  assigned_ << cfvColor;
  Changed(false);
}

TFont* TColumnFooterEx::Font() const {
  RefreshDefaultFont();
  return font_.get();
}

void TColumnFooterEx::SetEndEllipsis(bool value) {
  endEllipsis_ = value;
  Changed(false);
}

void TColumnFooterEx::SetFieldName(const AnsiString& value) {
  fieldName_ = value;
  if (TColumnEx* c = Column()) c->UpdateFooterSums();
  Changed(false);
}

void TColumnFooterEx::SetValue(const AnsiString& value) {
  value_ = value;
  Changed(false);
}

void TColumnFooterEx::SetValueType(TFooterValueType value) {
  valueType_ = value;
  if (TColumnEx* c = Column()) c->UpdateFooterSums();
  Changed(false);
}

void TColumnFooterEx::SetWordWrap(bool value) {
  wordWrap_ = value;
  Changed(false);
}

void TColumnFooterEx::RestoreDefaults() {
  bool fontAssigned = assigned_.Contains(cfvFont);
  assigned_.Clear();
  RefreshDefaultFont();
  Changed(fontAssigned);
}

void TColumnFooterEx::Assign(TPersistent* source) {
  auto* s = dynamic_cast<TColumnFooterEx*>(source);
  if (s == nullptr) {
    TCollectionItem::Assign(source);
    return;
  }
  // Only values the source has of its own are copied: a default would
  // otherwise become an assigned value of this footer.
  if (s->assigned_.Contains(cfvAlignment)) SetAlignment(s->Alignment());
  if (s->assigned_.Contains(cfvColor)) SetColor(s->Color());
  if (s->assigned_.Contains(cfvFont)) SetFont(s->Font());
  endEllipsis_ = s->endEllipsis_;
  valueType_ = s->valueType_;
  fieldName_ = s->fieldName_;
  value_ = s->value_;
  wordWrap_ = s->wordWrap_;
  if (TColumnEx* c = Column()) c->UpdateFooterSums();
  Changed(false);
}

void TColumnFooterEx::SyncFooterSum() {
  TColumnEx* column = Column();
  TCustomDBGridEx* grid = Grid();
  if (column == nullptr || grid == nullptr) return;
  auto configure = [&](TDBSum* item) {
    if (valueType_ == fvtCount) {
      item->SetGroupOperation(goCount);
      item->SetFieldName(AnsiString());
    } else {
      item->SetGroupOperation(valueType_ == fvtSum ? goSum : goAvg);
      item->SetFieldName(fieldName_.empty() ? column->FieldName() : fieldName_);
    }
  };
  bool aggregate = valueType_ == fvtSum || valueType_ == fvtAvg || valueType_ == fvtCount;
  if (sumItem_) {
    if (aggregate) {
      configure(sumItem_);
    } else {
      TDBSum* item = sumItem_;
      sumItem_ = nullptr;
      item->Footer = nullptr;
      delete item;
    }
  } else if (aggregate) {
    // One recalculation for the new item, once it is configured.  Adding
    // and configuring raise nothing; the recalculation in EndUpdate may, so
    // it is not left to a guard's destructor.
    TDBSumCollection* sums = grid->SumList()->SumCollection();
    sums->BeginUpdate();
    sumItem_ = sums->Add();
    sumItem_->Footer = this;
    configure(sumItem_);
    sums->EndUpdate();
  }
}

// ---------------------------------------------------------------------------
// TColumnFootersEx

TColumnFootersEx::TColumnFootersEx(TColumnEx* column)
    : TCollection(ItemClassOf<TColumnFooterEx>()), column_(column) {}

TPersistent* TColumnFootersEx::GetOwner() const { return column_; }

void TColumnFootersEx::Notify(TCollectionItem* item, TCollectionNotification action) {
  TCollection::Notify(item, action);
  // The grid's footer layout depends on how many footers a column has.
  if (column_ == nullptr) return;
  if (TCustomDBGridEx* grid = column_->Grid())
    if (!grid->ComponentState().Contains(csDestroying)) grid->InvalidateFooter();
}
