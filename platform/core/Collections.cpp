#include "platform/core/Collections.h"
#include "platform/core/ScopeGuards.h"

#include <algorithm>
#include <string>

PAYROLL_PUBLISH(TCollectionItem) {}
PAYROLL_PUBLISH(TCollection) {}
PAYROLL_PUBLISH(TOwnedCollection) {}

// --- TCollectionItem ------------------------------------------------------------

TCollectionItem::TCollectionItem(TCollection* collection) {
  if (collection != nullptr) collection->InsertItem(this);
}

TCollectionItem::~TCollectionItem() { SetCollection(nullptr); }

void TCollectionItem::SetCollection(TCollection* collection) {
  if (collection == collection_) return;
  // Refuse before leaving the old collection, so a refused item stays put.
  if (collection != nullptr && collection->itemClass_.Accepts != nullptr &&
      !collection->itemClass_.Accepts(this))
    throw EListError("Invalid property value");
  if (collection_ != nullptr) collection_->RemoveItem(this);
  if (collection != nullptr) collection->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (collection_ == nullptr) return -1;
  auto& v = collection_->items_;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

void TCollectionItem::SetIndex(int index) {
  int current = Index();
  if (current < 0 || current == index) return;
  collection_->MoveItem(current, index);
  Changed(true);
}

AnsiString TCollectionItem::DisplayName() const { return ClassName(); }

void TCollectionItem::SetDisplayName(const AnsiString&) { Changed(false); }

TPersistent* TCollectionItem::GetOwner() const { return collection_; }

AnsiString TCollectionItem::GetNamePath() const {
  if (collection_ == nullptr) return ClassName();
  return collection_->GetNamePath() + "[" + std::to_string(Index()) + "]";
}

void TCollectionItem::Changed(bool allItems) {
  if (collection_ != nullptr && collection_->updateCount_ == 0)
    collection_->Update(allItems ? nullptr : this);
}

// --- TCollection ----------------------------------------------------------------

TCollection::TCollection(TCollectionItemClass itemClass) : itemClass_(itemClass) {}

TCollection::~TCollection() {
  // No notifications to a half-destroyed collection's overrides.
  updateCount_ = 1;
  while (!items_.empty()) {
    TCollectionItem* item = items_.back();
    items_.pop_back();
    item->collection_ = nullptr;
    delete item;
  }
}

TCollectionItem* TCollection::Add() {
  PAYROLL_ASSERT(itemClass_.Create != nullptr, "Collection without item class");
  return itemClass_.Create(this);
}

TCollectionItem* TCollection::Insert(int index) {
  if (index < 0 || index > Count()) ListIndexError(index);
  TCollectionItem* item = Add();
  item->SetIndex(index);
  return item;
}

void TCollection::Delete(int index) {
  TCollectionItem* item = Items(index);
  Notify(item, cnDeleting);
  delete item;
}

void TCollection::Clear() {
  if (items_.empty()) return;
  TUpdateScope update(this);
  while (!items_.empty()) delete items_.back();
}

TCollectionItem* TCollection::Items(int index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
  return items_[static_cast<size_t>(index)];
}

void TCollection::SetItems(int index, TCollectionItem* value) { Items(index)->Assign(value); }

TCollectionItem* TCollection::FindItemID(int id) const {
  for (TCollectionItem* item : items_)
    if (item->id_ == id) return item;
  return nullptr;
}

void TCollection::BeginUpdate() { ++updateCount_; }

void TCollection::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  Changed();
}

void TCollection::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TCollection*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;  // Clear would empty the source too
  TUpdateScope update(this);
  Clear();
  for (int i = 0; i < other->Count(); ++i) Add()->Assign(other->Items(i));
}

// "<owner's path>.<property>", the property being the owner's published
// class property that holds this collection; the class name without one.
AnsiString TCollection::GetNamePath() const {
  TPersistent* owner = GetOwner();
  if (owner == nullptr) return ClassName();
  AnsiString ownerPath = owner->GetNamePath();
  if (ownerPath.empty()) return ClassName();
  for (const TPropInfo* p : GetPropList(owner))
    if (p->Kind == tkClass && !p->IsComponentRef && p->GetObject(owner) == this)
      return ownerPath + "." + p->Name;
  return ClassName();
}

void TCollection::Changed() {
  if (updateCount_ == 0) Update(nullptr);
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Notify(TCollectionItem* item, TCollectionNotification action) {
  if (action == cnAdded) Added(item);
  if (action == cnDeleting) Deleting(item);
}

void TCollection::InsertItem(TCollectionItem* item) {
  items_.push_back(item);
  item->collection_ = this;
  item->id_ = nextId_++;
  Notify(item, cnAdded);
  Changed();
}

void TCollection::RemoveItem(TCollectionItem* item) {
  Notify(item, cnExtracting);
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it != items_.end()) items_.erase(it);
  item->collection_ = nullptr;
  Changed();
}

void TCollection::MoveItem(int from, int to) {
  if (to < 0 || to >= Count()) ListIndexError(to);
  TCollectionItem* item = items_[static_cast<size_t>(from)];
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, item);
}
