#include "Udb/IndexManager.h"

#include "Udb/DiskMgr.h"
#include "Udb/IOInterface.h"
#include "Udb/TableHeader.h"
#include "Udb/UdbErrors.h"
#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"

// ============================================================================
// TIndexItem
// ============================================================================

PAYROLL_PUBLISH(TIndexItem) {
  p.Property("IndexSequence", &TIndexItem::IndexSequence, &TIndexItem::SetIndexSequence);
  p.Property("IndexName", &TIndexItem::IndexName, &TIndexItem::SetIndexName);
  p.Property("Unique", &TIndexItem::Unique, &TIndexItem::SetUnique).Default(false);
  p.Property("Primary", &TIndexItem::Primary, &TIndexItem::SetPrimary).Default(false);
  p.Property("Hidden", &TIndexItem::Hidden, &TIndexItem::SetHidden).Default(false);
  p.Property("Maintained", &TIndexItem::Maintained, &TIndexItem::SetMaintained);
  p.Property("Memory", &TIndexItem::Memory, &TIndexItem::SetMemory).Default(false);
  p.Property("KeyFields", &TIndexItem::KeyFields);
  p.Property("MaximumKeySize", &TIndexItem::MaximumKeySize, &TIndexItem::SetMaximumKeySize);
  p.Property("KeyDataOffset", &TIndexItem::KeyDataOffset, &TIndexItem::SetKeyDataOffset);
  p.Property("IndexPageSize", &TIndexItem::IndexPageSize, &TIndexItem::SetIndexPageSize);
  p.Property("Root", &TIndexItem::Root, &TIndexItem::SetRoot);
  p.Property("Depth", &TIndexItem::Depth, &TIndexItem::SetDepth);
}

TIndexItem::TIndexItem(TCollection* collection)
    : TCollectionItem(collection), keyFields_(std::make_unique<TKeyFields>()), tree_(std::make_unique<TBTree>()) {}

TIndexItem::~TIndexItem() = default;

TIndexManager* TIndexItem::Manager() const { return dynamic_cast<TIndexManager*>(Collection()); }

void TIndexItem::Assign(TPersistent* source) {
  if (auto* def = dynamic_cast<TInternalIndexDef*>(source)) {
    def_ = def->Def();
    keyFields_->Clear();
    return;
  }
  if (auto* item = dynamic_cast<TIndexItem*>(source)) {
    def_ = item->def_;
    keyFields_->Assign(item->keyFields_.get());
    root_ = item->root_;
    depth_ = item->depth_;
    return;
  }
  TCollectionItem::Assign(source);
}

void TIndexItem::InitTree() {
  TIndexManager* mgr = Manager();
  tree_->SetKeyFields(*keyFields_, def_.MaximumKeySize);
  tree_->SetSortFunction(mgr ? mgr->SortFunction() : nullptr);
  tree_->Init(mgr ? mgr->IOInterface() : nullptr, static_cast<int>(def_.IndexPageSize), &root_, &depth_);
}

void TIndexItem::Open() {
  TIndexManager* mgr = Manager();
  if (mgr == nullptr || mgr->IOInterface() == nullptr)
    UdbDatabaseError(udberr::kInternal, "TIndexItem.Open", "IO Interface is unassigned");
  if (root_ == 0 || depth_ == 0) UdbDatabaseError(udberr::kInternal, "TIndexItem.Open", "Not initialized");
  InitTree();
  tree_->Open();
}

void TIndexItem::CreateEmpty() {
  root_ = 0;
  depth_ = 0;
  InitTree();
  tree_->CreateRoot();
  tree_->Close();
}

void TIndexItem::Close() {
  tree_->Close();
  tree_->ClearKeyFields();
  keyFields_->Clear();
}

int TIndexItem::Compare(const std::uint8_t* keyA, const std::uint8_t* keyB, const TKeyModifiers* modifiers) {
  return tree_->Compare(keyA, keyB, modifiers);
}
void TIndexItem::SetSearchKeyFromKey(const std::uint8_t* key, const TKeyModifiers* modifiers) {
  tree_->SetSearchKeyFromKey(key, modifiers);
}
void TIndexItem::SetSearchKeyFromRecord(const std::uint8_t* record, const TKeyModifiers* modifiers) {
  tree_->SetSearchKeyFromRecord(record, modifiers);
}
void TIndexItem::BuildKey(const std::uint8_t* record, std::uint8_t* key) const { tree_->BuildKey(record, key); }
void TIndexItem::Insert(TUdbAddr recordAddress) { tree_->Insert(recordAddress); }
void TIndexItem::Delete() { tree_->Delete(); }
void TIndexItem::DeleteAtCursor() { tree_->DeleteAtCursor(); }
const std::uint8_t* TIndexItem::CurrentKey() const { return tree_->CurrentKey(); }
TUdbAddr TIndexItem::CurrentRecordAddress() const { return tree_->CurrentRecordAddress(); }
std::uint32_t TIndexItem::RecordCount() { return tree_->RecordCount(); }
int TIndexItem::CurrentRecNo() const { return tree_->CurrentRecNo(); }
TUdbAddr TIndexItem::AddressOfRecNo(int n) { return tree_->AddressOfRecNo(n); }
int TIndexItem::Find(int mode, const TSearchModifier& modifier) { return tree_->Find(mode, modifier); }
bool TIndexItem::Next() { return tree_->Next(); }
bool TIndexItem::Prior() { return tree_->Prior(); }

bool TIndexItem::MoveBy(int n) {
  for (; n > 0; --n)
    if (!tree_->Next()) return false;
  for (; n < 0; ++n)
    if (!tree_->Prior()) return false;
  return true;
}

int TIndexItem::CompareCurrent(int partCount, const std::uint8_t* key) const {
  return tree_->CompareCurrent(partCount, key);
}
void TIndexItem::ScanMatches(int partCount, const std::uint8_t* key, int mode, bool reverse, TUdbAddr stopAddress,
                             std::vector<TScanMatch>& list) {
  tree_->ScanMatches(partCount, key, mode, reverse, stopAddress, list);
}
void TIndexItem::ReadAhead(int direction, int count, TReadAheadBuffer& buffer) {
  tree_->ReadAhead(direction, count, buffer);
}
void TIndexItem::ResetNodes() { tree_->ResetNodes(); }

// ============================================================================
// TIndexManager
// ============================================================================

PAYROLL_PUBLISH(TIndexManager) {}

TIndexManager::TIndexManager() : TCollection(ItemClassOf<TIndexItem>()) {}

TIndexManager::~TIndexManager() = default;

void TIndexManager::Assign(TPersistent* source) {
  if (auto* defs = dynamic_cast<TInternalIndexDefs*>(source)) {
    BeginUpdate();
    Clear();
    for (int i = 0; i < defs->Count(); ++i) Add()->Assign(defs->Items(i));
    EndUpdate();
    return;
  }
  TCollection::Assign(source);  // a TIndexManager: item by item
}

void TIndexManager::AssignKeyFields(const TKeyFields& keyFields) {
  static const char* const kWhere = "TIndexManager.AssignKeyFields";
  for (int i = 0; i < Count(); ++i) Items(i)->KeyFields()->Clear();
  for (int k = 0; k < keyFields.Count(); ++k) {
    TKeyFieldItem* field = keyFields.Items(k);
    TIndexItem* item = FindIndex(field->IndexName());
    if (item == nullptr) UdbDatabaseError(udberr::kIndexMissing, kWhere, field->IndexName());
    if (field->DataType() == ftString && field->SizeMarkerOffset() == 0)
      UdbDatabaseError(udberr::kInternal, kWhere, "KeyBuffers invalid");
    item->KeyFields()->Add()->Assign(field);
  }
  for (int i = 0; i < Count(); ++i) {
    TKeyFields* fields = Items(i)->KeyFields();
    if (fields->Count() == 0) UdbDatabaseError(udberr::kInternal, kWhere, "KeyBuffers invalid");
    fields->SetKeyDataOffset(udbkey::KeyDataOffsetFor(fields->Count()));
  }
}

void TIndexManager::Open() {
  if (sort_ == nullptr) UdbDatabaseError(udberr::kInternal, "TIndexManager.Open", "Sort function not assinged");
  ReadRoots(false);
  visibleCount_ = 0;
  for (int i = 0; i < Count(); ++i)
    if (!Items(i)->Hidden()) ++visibleCount_;
  for (int i = 0; i < Count(); ++i) Items(i)->Open();
}

void TIndexManager::ReadRoots(bool reset) {
  PAYROLL_ASSERT(header_ != nullptr, "IndexManager table header = nil");
  if (reset) ResetAll();
  for (int i = 0; i < Count(); ++i) {
    TIndexItem* item = Items(i);
    item->SetRoot(header_->IndexRoot(item->IndexSequence()));
    item->SetDepth(header_->IndexDepth(item->IndexSequence()));
  }
}

void TIndexManager::WriteRoots() {
  PAYROLL_ASSERT(header_ != nullptr, "IndexManager table header = nil");
  for (int i = 0; i < Count(); ++i) {
    TIndexItem* item = Items(i);
    header_->SetIndexRoot(item->IndexSequence(), item->Root());
    header_->SetIndexDepth(item->IndexSequence(), static_cast<std::uint16_t>(item->Depth()));
  }
}

void TIndexManager::CreateEmptyIndexes() {
  PAYROLL_ASSERT(header_ != nullptr, "IndexManager table header = nil");
  if (io_ == nullptr) UdbDatabaseError(udberr::kInternal, "TIndexManager.CreateEmptyIndexes", "IO Interface is unassigned");
  if (TDiskMgr* disk = io_->DiskMgr(); disk != nullptr) {
    // The index nodes' free runs are database-wide: their head lives in the
    // global header.  A header lock the caller holds stays held.
    if (disk->HeaderReadLocked() || disk->HeaderWriteLocked()) {
      io_->SetFirstEmpty(disk->GlobalHeader().GetItem(udbfmt::kItemIndexNodeFirstEmpty));
    } else {
      disk->LockHeaderRead();  // reads the header
      try {
        io_->SetFirstEmpty(disk->GlobalHeader().GetItem(udbfmt::kItemIndexNodeFirstEmpty));
      } catch (...) {
        disk->UnlockHeader();
        throw;
      }
      disk->UnlockHeader();
    }
  }
  for (int i = 0; i < Count(); ++i) {
    TIndexItem* item = Items(i);
    item->CreateEmpty();
    header_->SetIndexRoot(item->IndexSequence(), item->Root());
    header_->SetIndexDepth(item->IndexSequence(), static_cast<std::uint16_t>(item->Depth()));
  }
}

TIndexItem* TIndexManager::CurrentIndex() const {
  TIndexItem* item = FindIndex(currentIndexName_);
  if (item == nullptr) UdbDatabaseError(udberr::kIndexMissing, "TIndexManager.CurrentIndex", currentIndexName_);
  return item;
}

TIndexItem* TIndexManager::FindIndex(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->IndexName(), name)) return Items(i);
  return nullptr;
}

TIndexItem* TIndexManager::FindIndexForFields(const std::vector<AnsiString>& fieldNames, bool caseSensitive) const {
  for (int i = 0; i < Count(); ++i) {
    const TKeyFields* fields = Items(i)->KeyFields();
    if (fields->Count() < static_cast<int>(fieldNames.size())) continue;
    bool fits = true;
    for (size_t k = 0; k < fieldNames.size() && fits; ++k) {
      const TKeyFieldItem* part = fields->Items(static_cast<int>(k));
      fits = AnsiSameText(part->FieldName(), fieldNames[k]) && !(caseSensitive && part->CaseInsensitive());
    }
    if (fits) return Items(i);
  }
  return nullptr;
}

void TIndexManager::ResetAll() {
  for (int i = 0; i < Count(); ++i) Items(i)->ResetNodes();
}

void TIndexManager::Close() {
  for (int i = 0; i < Count(); ++i) Items(i)->Close();
  Clear();
  io_ = nullptr;
  visibleCount_ = 0;
}
