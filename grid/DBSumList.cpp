#include "grid/DBSumList.h"

#include <cmath>

#include "grid/DBGridExFooters.h"
#include "platform/core/AnsiText.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Fields.h"

namespace {

constexpr std::int64_t kOne = 10000;  // one unit, scaled

// a + b; EOverflow instead of wrapping.
std::int64_t CheckedAdd(std::int64_t a, std::int64_t b) {
  std::int64_t r;
  if (__builtin_add_overflow(a, b, &r)) throw EOverflow("Footer sum out of range");
  return r;
}

std::int64_t CheckedSub(std::int64_t a, std::int64_t b) {
  std::int64_t r;
  if (__builtin_sub_overflow(a, b, &r)) throw EOverflow("Footer sum out of range");
  return r;
}

// avgSum / count to the nearest integer (halves away from zero), 0 for no
// values.
std::int64_t Average(std::int64_t avgSum, int count) {
  if (count == 0) return 0;
  return static_cast<std::int64_t>(std::llround(static_cast<long double>(avgSum) / count));
}

}  // namespace

std::int64_t ScaleSumValue(double value) {
  // 2^63 / 10000: larger magnitudes do not fit once scaled.
  constexpr double kLimit = 9.2233720368547758e18;
  double scaled = value * 10000.0;
  if (!std::isfinite(scaled) || std::fabs(scaled) >= kLimit)
    throw EOverflow("Footer sum value out of range: " + FloatToStr(value));
  return std::llround(scaled);
}

// ---------------------------------------------------------------------------
// TDBSum, TDBSumCollection

TDBSum::TDBSum(TCollection* collection) : TCollectionItem(collection) {
  if (auto* sums = dynamic_cast<TDBSumCollection*>(collection)) sums->ItemConstructed();
}

TDBSum::~TDBSum() {
  if (Footer) Footer->SumItemGone();
}

void TDBSum::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TDBSum*>(source)) {
    groupOperation_ = s->groupOperation_;
    fieldName_ = s->fieldName_;
    OldValue = s->OldValue;
    SumValue = s->SumValue;
    return;
  }
  TCollectionItem::Assign(source);
}

void TDBSum::SetFieldName(const AnsiString& value) {
  if (value == fieldName_) return;
  fieldName_ = value;
  Changed(false);
}

void TDBSum::SetGroupOperation(TGroupOperation value) {
  if (value == groupOperation_) return;
  groupOperation_ = value;
  Changed(false);
}

TDBSumCollection::TDBSumCollection(TDBSumListProducer* producer)
    : TCollection(ItemClassOf<TDBSum>()), producer_(producer) {}

TPersistent* TDBSumCollection::GetOwner() const { return producer_; }

void TDBSumCollection::Update(TCollectionItem*) {
  if (constructing_) return;
  TComponent* owner = producer_->Owner();
  if (owner && owner->ComponentState().Contains(csLoading)) return;
  producer_->RecalcAll();
}

// ---------------------------------------------------------------------------
// TDBSumListProducer: activation

TDBSumListProducer::TDBSumListProducer(TComponent* owner)
    : owner_(owner), sumCollection_(std::make_unique<TDBSumCollection>(this)) {}

TDBSumListProducer::~TDBSumListProducer() {
  // Deactivate is virtual; this class's own version runs here.
  TDBSumListProducer::Deactivate();
  // Items must not call back into a half-destroyed producer.
  sumCollection_->BeginUpdate();
  sumCollection_.reset();
}

bool TDBSumListProducer::OwnerLoading() const {
  return owner_ && owner_->ComponentState().Contains(csLoading);
}

bool TDBSumListProducer::OwnerDesigning() const {
  return owner_ && owner_->ComponentState().Contains(csDesigning);
}

bool TDBSumListProducer::Suspended() const {
  if (owner_ && owner_->ComponentState().Contains(csDestroying)) return true;
  return OwnerLoading() || (OwnerDesigning() && !designTimeActive_);
}

void TDBSumListProducer::SetActiveValue(bool value) {
  active_ = value;
  if (Suspended()) return;
  if (value) {
    Activate();
    RecalcAll();
  } else {
    Deactivate();
    ClearSumValues();
  }
}

void TDBSumListProducer::SetDataSet(TDataSet* value) {
  if (Suspended()) {
    dataSet_ = value;
    return;
  }
  if (value == dataSet_) return;
  bool wasActive = active_;
  SetActiveValue(false);
  dataSet_ = value;
  if (wasActive) SetActiveValue(true);
}

void TDBSumListProducer::SetExternalRecalc(bool value) {
  if (value == externalRecalc_) return;
  externalRecalc_ = value;
  RecalcAll();
}

void TDBSumListProducer::SetVirtualRecords(bool value) {
  if (value == virtualRecords_) return;
  virtualRecords_ = value;
  if (value) RecalcAll();
}

void TDBSumListProducer::OwnerLoaded() {
  if (active_ && dataSet_) {
    Activate();
    RecalcAll();
  }
}

void TDBSumListProducer::Activate() {
  if (dataSet_ == nullptr || hooked_) return;
  TDataSource* master = dataSet_->GetDataSource();
  masterDataSet_ = master ? master->DataSet() : nullptr;
  using P = TListenerPlace;
  hooks_.Add(dataSet_, kAfterOpen, P::BeforeHandler, [this](TDataSet*) { DoAfterOpen(); });
  hooks_.Add(dataSet_, kAfterClose, P::BeforeHandler, [this](TDataSet*) { DoAfterClose(); });
  hooks_.Add(dataSet_, kAfterEdit, P::AfterHandler, [this](TDataSet*) { DoAfterEdit(); });
  hooks_.Add(dataSet_, kAfterInsert, P::BeforeHandler, [this](TDataSet*) { DoAfterInsert(); });
  hooks_.Add(dataSet_, kAfterPost, P::BeforeHandler, [this](TDataSet*) { DoAfterPost(); });
  hooks_.Add(dataSet_, kAfterCancel, P::AfterHandler, [this](TDataSet*) { DoAfterCancel(); });
  hooks_.Add(dataSet_, kBeforeDelete, P::AfterHandler, [this](TDataSet*) { DoBeforeDelete(); });
  hooks_.Add(dataSet_, kAfterScroll, P::AfterHandler, [this](TDataSet*) { DoAfterScroll(); });
  if (masterDataSet_)
    hooks_.Add(masterDataSet_, kAfterScroll, P::AfterHandler,
               [this](TDataSet*) { DoMasterAfterScroll(); });
  hooked_ = true;
}

void TDBSumListProducer::Deactivate() {
  if (!hooked_) return;
  hooks_.Clear();
  masterDataSet_ = nullptr;
  hooked_ = false;
  FreeVirtualBookmarks();
}

void TDBSumListProducer::ComponentRemoved(TComponent* component) {
  // component may be half destroyed: it is only compared, never cast.
  if (component == nullptr) return;
  if (masterDataSet_ && component == masterDataSet_) {
    hooks_.Forget(masterDataSet_);
    masterDataSet_ = nullptr;
  }
  if (dataSet_ && component == dataSet_) {
    hooks_.Forget(dataSet_);
    hooks_.Clear();
    hooked_ = false;
    masterDataSet_ = nullptr;
    // Bookmark memory belongs to no dataset: it can be freed now.
    FreeVirtualBookmarks();
    dataSet_ = nullptr;
    ClearSumValues();
  }
}

void TDBSumListProducer::FreeVirtualBookmarks() {
  for (TBookmark b : virtualBookmarks_) TDataSet::FreeBookmark(b);
  virtualBookmarks_.clear();
}

void TDBSumListProducer::Assign(TPersistent* source) {
  auto* s = dynamic_cast<TDBSumListProducer*>(source);
  if (s == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  SetActiveValue(s->active_);
  externalRecalc_ = s->externalRecalc_;
  sumCollection_->Assign(s->sumCollection_.get());
  SetDataSet(s->dataSet_);
  SumListChanged = s->SumListChanged;
  OnRecalcAll = s->OnRecalcAll;
}

// ---------------------------------------------------------------------------
// Aggregates

bool TDBSumListProducer::Participates(const TDBSum* item) const {
  if (item->GroupOperation() != goCount && item->FieldName().empty()) return false;
  // An item naming a field the dataset lacks stays 0 (its footer shows
  // "0") instead of failing every edit of the dataset.
  return item->FieldName().empty() || dataSet_->FindField(item->FieldName()) != nullptr;
}

TField* TDBSumListProducer::FieldOf(const TDBSum* item) const {
  if (item->FieldName().empty()) return nullptr;
  return dataSet_->FindField(item->FieldName());
}

TDBSum* TDBSumListProducer::FindSum(TGroupOperation operation, const AnsiString& fieldName) const {
  for (int i = 0; i < sumCollection_->Count(); ++i) {
    TDBSum* s = sumCollection_->Items(i);
    if (s->GroupOperation() == operation && AnsiCompareText(s->FieldName(), fieldName) == 0)
      return s;
  }
  return nullptr;
}

void TDBSumListProducer::Changed() {
  if (SumListChanged) SumListChanged(this);
}

void TDBSumListProducer::ClearSumValues() {
  for (int i = 0; i < sumCollection_->Count(); ++i) {
    TDBSum* s = sumCollection_->Items(i);
    s->SumValue = 0;
    s->OldValue = 0;
    s->AvgSum = 0;
    s->Count = 0;
  }
  Changed();
}

void TDBSumListProducer::RecalcAll() {
  if (Suspended() || !active_ || dataSet_ == nullptr || !dataSet_->Active() || !hooked_) return;
  ClearSumValues();
  virtualIndex_ = -1;
  if (OnRecalcAll) OnRecalcAll(this);

  struct Finish {  // step 4 runs whatever the walk did
    TDBSumListProducer* p;
    ~Finish() {
      p->savedFiltered_ = p->dataSet_->Filtered();
      p->savedFilter_ = p->dataSet_->Filter();
      p->recalculating_ = false;
      p->Changed();
    }
  } finish{this};
  if (externalRecalc_) return;

  bool keepBookmarks = !dataSet_->IsSequenced() && virtualRecords_;
  bool needed = keepBookmarks;
  for (int i = 0; i < sumCollection_->Count() && !needed; ++i)
    needed = Participates(sumCollection_->Items(i));
  if (!needed) return;

  std::vector<TDBSum*> items;
  for (int i = 0; i < sumCollection_->Count(); ++i)
    if (Participates(sumCollection_->Items(i))) items.push_back(sumCollection_->Items(i));

  TControlsDisabler disabled(dataSet_);
  FreeVirtualBookmarks();
  recalculating_ = true;
  // The walk must not move the user's cursor: come back to the record the
  // dataset was on (the first one when it has gone meanwhile).
  struct Restore {
    TDataSet* ds;
    TBookmark mark;
    ~Restore() {
      try {
        if (mark && ds->Active() && ds->BookmarkValid(mark))
          ds->GotoBookmark(mark);
        else if (ds->Active())
          ds->First();
      } catch (...) {
        // The walk's own failure is the one to report.
      }
      TDataSet::FreeBookmark(mark);
    }
  } restore{dataSet_, dataSet_->IsEmpty() ? nullptr : dataSet_->GetBookmark()};

  dataSet_->First();
  while (!dataSet_->Eof()) {
    for (TDBSum* s : items) {
      TField* f = FieldOf(s);
      switch (s->GroupOperation()) {
        case goSum:
          if (!f->IsNull()) s->SumValue = CheckedAdd(s->SumValue, ScaleSumValue(f->AsFloat()));
          break;
        case goAvg:
          if (!f->IsNull()) {
            ++s->Count;
            s->AvgSum = CheckedAdd(s->AvgSum, ScaleSumValue(f->AsFloat()));
          }
          break;
        case goCount:
          if (!(f && f->IsNull())) s->SumValue = CheckedAdd(s->SumValue, kOne);
          break;
      }
    }
    if (keepBookmarks) virtualBookmarks_.push_back(dataSet_->GetBookmark());
    dataSet_->Next();
  }
  for (TDBSum* s : items)
    if (s->GroupOperation() == goAvg) s->SumValue = Average(s->AvgSum, s->Count);
}

// ---------------------------------------------------------------------------
// Event work

void TDBSumListProducer::DoAfterOpen() {
  if (active_) RecalcAll();
}

void TDBSumListProducer::DoAfterClose() {
  if (!active_) return;
  ClearSumValues();
  recalculating_ = false;
}

void TDBSumListProducer::DoAfterEdit() {
  if (!active_) return;
  for (int i = 0; i < sumCollection_->Count(); ++i) {
    TDBSum* s = sumCollection_->Items(i);
    if (!Participates(s)) continue;
    TField* f = FieldOf(s);
    if (s->GroupOperation() == goCount) {
      s->OldValue = f && f->IsNull() ? 0 : kOne;
    } else {
      s->OldValue = f->IsNull() ? 0 : ScaleSumValue(f->AsFloat());
      s->OldVariant = f->Value();
    }
  }
}

void TDBSumListProducer::DoAfterInsert() {
  if (!active_) return;
  for (int i = 0; i < sumCollection_->Count(); ++i) {
    TDBSum* s = sumCollection_->Items(i);
    if (!Participates(s)) continue;
    // A new record contributes nothing until it is posted, whatever values
    // OnNewRecord gave it: AfterPost then adds all of its contribution.
    s->OldValue = 0;
    s->OldVariant = Variant::Null();
  }
  if (!dataSet_->IsSequenced() && virtualRecords_) {
    if (dataSet_->BookmarkAvailable())
      virtualBookmarks_.push_back(dataSet_->GetBookmark());
    else
      pendingInsert_ = true;
  }
}

void TDBSumListProducer::DoAfterPost() {
  if (!active_) return;
  for (int i = 0; i < sumCollection_->Count(); ++i) {
    TDBSum* s = sumCollection_->Items(i);
    if (!Participates(s)) continue;
    TField* f = FieldOf(s);
    bool isNull = f && f->IsNull();
    switch (s->GroupOperation()) {
      case goSum: {
        std::int64_t v = CheckedSub(s->SumValue, s->OldValue);
        if (!isNull) v = CheckedAdd(v, ScaleSumValue(f->AsFloat()));
        s->SumValue = v;
        break;
      }
      case goAvg:
        if (!isNull) {
          if (s->OldVariant.IsNull() || s->OldVariant.IsEmpty()) ++s->Count;
          s->AvgSum = CheckedAdd(CheckedSub(s->AvgSum, s->OldValue), ScaleSumValue(f->AsFloat()));
        } else {
          if (!(s->OldVariant.IsNull() || s->OldVariant.IsEmpty())) --s->Count;
          s->AvgSum = CheckedSub(s->AvgSum, s->OldValue);
        }
        s->SumValue = Average(s->AvgSum, s->Count);
        break;
      case goCount:
        s->SumValue = CheckedSub(s->SumValue, s->OldValue);
        if (!isNull) s->SumValue = CheckedAdd(s->SumValue, kOne);
        break;
    }
    // The posted values are now the record's stored contribution.
    s->OldValue = 0;
    s->OldVariant = Variant::Null();
  }
  if (!dataSet_->IsSequenced() && virtualRecords_ && pendingInsert_) {
    TBookmark b = dataSet_->GetBookmark();
    int n = static_cast<int>(virtualBookmarks_.size());
    int i = virtualIndex_ >= 0 && virtualIndex_ < n ? virtualIndex_ : 0;
    while (i > 0 && dataSet_->CompareBookmarks(virtualBookmarks_[i - 1], b) > 0) --i;
    while (i < n && dataSet_->CompareBookmarks(virtualBookmarks_[i], b) < 0) ++i;
    virtualBookmarks_.insert(virtualBookmarks_.begin() + i, b);
    pendingInsert_ = false;
  }
  Changed();
}

void TDBSumListProducer::DoAfterCancel() { pendingInsert_ = false; }

void TDBSumListProducer::DoBeforeDelete() {
  if (!active_) return;
  // A record deleted while being edited leaves with its stored values,
  // which AfterEdit remembered; the edit buffer's values were never posted.
  bool editing = dataSet_->State() == dsEdit;
  for (int i = 0; i < sumCollection_->Count(); ++i) {
    TDBSum* s = sumCollection_->Items(i);
    if (!Participates(s)) continue;
    TField* f = FieldOf(s);
    bool isNull = editing ? (s->GroupOperation() == goCount
                                 ? s->OldValue == 0
                                 : s->OldVariant.IsNull() || s->OldVariant.IsEmpty())
                          : f && f->IsNull();
    std::int64_t value = 0;
    if (s->GroupOperation() != goCount)
      value = editing ? s->OldValue : (isNull ? 0 : ScaleSumValue(f->AsFloat()));
    switch (s->GroupOperation()) {
      case goSum:
        s->SumValue = CheckedSub(s->SumValue, value);
        break;
      case goAvg:
        s->AvgSum = CheckedSub(s->AvgSum, value);
        if (!isNull) --s->Count;
        s->SumValue = Average(s->AvgSum, s->Count);
        break;
      case goCount:
        if (f && isNull) break;
        s->SumValue = CheckedSub(s->SumValue, kOne);
        break;
    }
  }
  if (!dataSet_->IsSequenced() && virtualRecords_) {
    TBookmark b = dataSet_->GetBookmark();
    int i = FindVirtualRecord(b);
    TDataSet::FreeBookmark(b);
    if (i >= 0) {
      TDataSet::FreeBookmark(virtualBookmarks_[i]);
      virtualBookmarks_.erase(virtualBookmarks_.begin() + i);
    }
  }
  Changed();
}

void TDBSumListProducer::DoAfterScroll() {
  if (!active_ || recalculating_) return;
  if (dataSet_->Filtered() != savedFiltered_ ||
      (dataSet_->Filtered() && dataSet_->Filter() != savedFilter_))
    RecalcAll();
}

void TDBSumListProducer::DoMasterAfterScroll() {
  if (active_ && !recalculating_) RecalcAll();
}

// ---------------------------------------------------------------------------
// Virtual records

int TDBSumListProducer::FindVirtualRecord(TBookmark bookmark) {
  int n = static_cast<int>(virtualBookmarks_.size());
  if (n == 0) return -1;
  int i = virtualIndex_ < 0 || virtualIndex_ >= n ? 0 : virtualIndex_;
  int c = dataSet_->CompareBookmarks(virtualBookmarks_[i], bookmark);
  int step = c > 0 ? -1 : 1;
  while (c != 0) {
    i += step;
    if (i < 0 || i >= n) return -1;
    c = dataSet_->CompareBookmarks(virtualBookmarks_[i], bookmark);
    // Stepping past the place where the bookmark would be: not in the list.
    if ((step < 0 && c < 0) || (step > 0 && c > 0)) {
      virtualIndex_ = i;
      return -1;
    }
  }
  virtualIndex_ = i;
  return i;
}

bool TDBSumListProducer::IsSequenced() {
  if (dataSet_ == nullptr) return false;
  if (dataSet_->IsSequenced()) return true;
  if (virtualRecords_ && active_)
    return !virtualBookmarks_.empty() || (dataSet_->Bof() && dataSet_->Eof());
  return false;
}

int TDBSumListProducer::RecNo() {
  if (dataSet_ == nullptr) return 0;
  if (!dataSet_->IsSequenced() && virtualRecords_ && active_) {
    TBookmark b = dataSet_->GetBookmark();
    int i = FindVirtualRecord(b);
    TDataSet::FreeBookmark(b);
    return i + 1;
  }
  return dataSet_->RecNo();
}

void TDBSumListProducer::SetRecNo(int value) {
  if (dataSet_ == nullptr) return;
  if (!dataSet_->IsSequenced() && virtualRecords_ && active_) {
    if (value >= 1 && value <= static_cast<int>(virtualBookmarks_.size()))
      dataSet_->GotoBookmark(virtualBookmarks_[value - 1]);
    return;
  }
  dataSet_->SetRecNo(value);
}

int TDBSumListProducer::RecordCount() {
  if (dataSet_ == nullptr) return 0;
  if (!dataSet_->IsSequenced() && virtualRecords_ && active_)
    return static_cast<int>(virtualBookmarks_.size());
  return dataSet_->RecordCount();
}

// ---------------------------------------------------------------------------
// TDBGridExSumList

TDBGridExSumList::TDBGridExSumList(TComponent* owner) : TDBSumListProducer(owner) {
  designTimeActive_ = true;
  SetActiveValue(false);
}

void TDBGridExSumList::Activate() {
  if (OwnerDesigning()) {
    SetHooked(true);
    return;
  }
  TDBSumListProducer::Activate();
}

void TDBGridExSumList::Deactivate() {
  if (OwnerDesigning()) {
    SetHooked(false);
    return;
  }
  TDBSumListProducer::Deactivate();
}
