// TUdbDataSet: lifecycle, access brackets, record buffers and the cursor
// (see UdbDataSet.h).  Field data and record changes are in
// UdbDataSetRecords.cpp, searches and ranges in UdbDataSetSearch.cpp, the
// table operations in UdbDataSetTable.cpp.
#include "Udb/UdbDataSet.h"

#include <time.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "Udb/DBLogger.h"
#include "Udb/DiskMgr.h"
#include "Udb/TableHeader.h"
#include "Udb/UdbDataSetInt.h"
#include "Udb/UdbFilterMgr.h"
#include "platform/core/AnsiText.h"
#include "platform/core/SysInfo.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"

using namespace udbcur;

PAYROLL_PUBLISH(TUdbDataSet) {}

namespace {

// Runs a batch (BeginBatch .. EndBatch) around a scope.
class TBatchScope {
 public:
  TBatchScope(TUdbDataSet& ds, std::uint8_t mode) : ds_(ds) { ds.BeginBatch(mode); }
  ~TBatchScope() { ds_.EndBatch(); }

 private:
  TUdbDataSet& ds_;
};

}  // namespace

// ============================================================================
// lifecycle and properties
// ============================================================================

// Every table dataset filters through its own filter manager.
TUdbDataSet::TUdbDataSet(TComponent* owner)
    : TDataSet(owner), tableDef_(std::make_unique<TTableDef>()), filterMgr_(std::make_unique<TUdbFilterMgr>()) {}

TUdbDataSet::~TUdbDataSet() {
  try {
    CloseDataSet();
  } catch (const std::exception& e) {
    UdbLogger().Log(tableName_, AnsiString("Close failed: ") + e.what());
  }
  if (registered_ && dataBase_) dataBase_->UnRegisterClient(this);
}

void TUdbDataSet::SetTableName(const AnsiString& v) {
  CheckClosed();
  tableName_ = v;
}

void TUdbDataSet::SetReadOnly(bool v) {
  CheckClosed();
  readOnly_ = v;
}

void TUdbDataSet::SetMemory(bool v) {
  CheckClosed();
  memory_ = v;
}

void TUdbDataSet::SetEncryptionLevel(TEncryptionLevel v) {
  CheckClosed();
  encryptionLevel_ = v;
}

void TUdbDataSet::SetDataBase(TUdbTableServices* db) {
  CheckClosed();
  if (registered_ && dataBase_) dataBase_->UnRegisterClient(this);
  registered_ = false;
  dataBase_ = db;
  if (db == nullptr) return;
  if (!tableDef_->InternalTable()) {
    db->RegisterClient(this);
    registered_ = true;
  }
  sortOrder_ = db->DefaultSortOrder();
}

void TUdbDataSet::SetFilterMgr(std::unique_ptr<TUdbFilterHooks> mgr) { filterMgr_ = std::move(mgr); }

void TUdbDataSet::SetIndexName(const AnsiString& name) {
  indexName_ = name;
  if (!cursorOpen_) return;
  indexMgr_.SetCurrentIndexName(name);
  TIndexItem* index = indexMgr_.FindIndex(name);
  readAhead_.Init(recBufSize_, index ? index->Tree().MaximumKeySize() : kRangeKeySize, std::max(readAheadSize_, 1));
}

// ============================================================================
// checks
// ============================================================================

void TUdbDataSet::CheckOpen() const {
  if (!cursorOpen_) DatabaseError(dbconsts::SDataSetClosed, this);
}

void TUdbDataSet::CheckClosed() const {
  if (cursorOpen_) DatabaseError(dbconsts::SDataSetOpen, this);
}

void TUdbDataSet::CheckConnected() const {
  if (dataBase_ == nullptr) UdbDatabaseError(udberr::kNoConnection, "TUdbDataSet.CheckConnected");
}

void TUdbDataSet::CheckIndexesPresent() const {
  if (indexMgr_.VisibleIndexCount() == 0) UdbDatabaseError(udberr::kIndexMissing, "TUdbDataSet.CheckIndexesPresent");
}

void TUdbDataSet::CheckPrivilegePresent(std::uint32_t mask, std::uint32_t bit) const {
  if (tableDef_->InternalTable()) return;
  if ((mask & bit) == 0) UdbDatabaseError(udberr::kNoPrivilege, "TUdbDataSet.CheckPrivilegePresent");
}

void TUdbDataSet::ValidateObjectName(const AnsiString& name, const AnsiString& kind) {
  const AnsiString framed = "," + AnsiUpperCase(name) + ",";
  if (AnsiString(",,ALL,").find(framed) != AnsiString::npos)
    UdbDatabaseError(udberr::kNameReserved, "TUdbDataSet.ValidateObjectName", name + ": " + kind);
}

bool TUdbDataSet::IsReadOnlyByPrivilege() const {
  if (tableDef_->InternalTable()) return false;
  return (tableDef_->AccessMask() & (kPrivInsert | kPrivDelete | kPrivUpdate)) == 0;
}

void TUdbDataSet::ApplyFieldPrivileges() {
  if (tableDef_->InternalTable()) return;
  for (int i = 0; i < FieldCount(); ++i) {
    TField* field = Fields()->Fields(i);
    if (field->FieldNo() < 1) continue;
    TInternalFieldItem* item = recordMgr_.Fields().FindField(field->FieldName());
    if (item == nullptr) continue;
    if ((item->AccessMask() & kPrivRead) == 0) field->SetVisible(false);
    if (!field->ReadOnly() && (item->AccessMask() & kPrivUpdate) == 0) field->SetReadOnly(true);
  }
}

void TUdbDataSet::InitFieldDef(int fieldIndex, TFieldDef* fieldDef) const {
  const TInternalFieldItem* item = const_cast<TUdbDataSet*>(this)->recordMgr_.Fields().GetField(fieldIndex);
  fieldDef->SetDataType(item->DataType());
  fieldDef->SetName(item->FieldName());
  fieldDef->SetRequired(item->Required());
  if (item->IsVariable()) fieldDef->SetSize(item->UserFieldSize());
}

// ============================================================================
// open and close
// ============================================================================

void TUdbDataSet::DataSetOpen() {
  const char* loc = "TUdbDataSet.DataSetOpen";
  CheckConnected();
  if (cursorOpen_) UdbDatabaseError(udberr::kTableOpen, "TUdbDataSet.InternalOpenDataSet");
  if (tableName_.empty()) UdbDatabaseError(udberr::kNoSuchTable, loc);
  tableDef_->Clear();
  tableDef_->SetMemory(memory_);
  dataBase_->OpenTableDef(tableName_, tableDef_.get());
  try {
    if (tableDef_->Encrypted() && tableDef_->AltName() != TTableDef::EncipheredName(tableDef_->TableName()))
      UdbDatabaseError(udberr::kCorruptHeader, loc, "The encrpytion key is not valid or corrupted");
    readOnly_ = readOnly_ || (dataBase_->ReadOnly() && !memory_);
    InternalOpenDataSet();
  } catch (...) {
    CloseDataSet();
    if (tableDef_->Header() != nullptr) dataBase_->CloseTableDef(tableDef_.get());
    throw;
  }
  TIndexItem* index = CurrentIndexOrNull();
  readAhead_.Init(recBufSize_, index ? index->Tree().MaximumKeySize() : kRangeKeySize, std::max(readAheadSize_, 1));
  readAheadActive_ = !memory_;
  readAheadDirection_ = kAheadCentred;
}

void TUdbDataSet::AllocateBuffers() {
  recBufSize_ = tableDef_->RecordSize() + kTrailerSize;
  const auto size = static_cast<size_t>(recBufSize_);
  recBuf_.assign(size, 0);
  filterBuf_.assign(size, 0);
  rangeStartRec_.assign(size, 0);
  rangeEndRec_.assign(size, 0);
  rangeStartKey_.assign(kRangeKeySize, 0);
  rangeEndKey_.assign(kRangeKeySize, 0);
  rangeStartParts_.clear();
  rangeEndParts_.clear();
}

void TUdbDataSet::FreeBuffers() {
  for (auto* v : {&recBuf_, &filterBuf_, &rangeStartRec_, &rangeEndRec_, &rangeStartKey_, &rangeEndKey_}) {
    v->clear();
    v->shrink_to_fit();
  }
  rangeStartParts_.clear();
  rangeEndParts_.clear();
  recBufSize_ = 0;
}

void TUdbDataSet::InternalOpenDataSet() {
  const char* loc = "TUdbDataSet.InternalOpenDataSet";
  if (cursorOpen_) UdbDatabaseError(udberr::kTableOpen, loc);
  TAccessBracket bracket(*this, false);
  TTableDef& def = *tableDef_;
  encryptionLevel_ = def.EncryptionLevel();
  headerStamp_ = 0;
  prevHeaderStamp_ = 1;  // the first bracket after opening counts as a change

  recordMgr_.Fields().Assign(def.InternalFields());
  if (def.RecordSize() == 0)
    UdbDatabaseErrorFmt(udberr::kInternal, loc, "%s has not been set or is out of range", nullptr, {"RecordSize"});
  recordMgr_.SetRecordSize(def.RecordSize());
  recordMgr_.SetBlobInterface(&blobInterface_);
  recordMgr_.Open(def.RecordIO());

  AllocateBuffers();
  recordTag_ = def.OwnerFlag() + udbrec::kRecordTagUsage;
  rangeSet_ = rangeNotEmpty_ = atRangeStart_ = atRangeEnd_ = false;
  InitLowRecord(rangeStartRec_.data());
  InitHighRecord(rangeEndRec_.data());

  sortOrder_ = def.SortOrder();
  indexMgr_.SetSortFunction(SortFunctionFor(sortOrder_));
  indexMgr_.Assign(def.InternalIndexDefs());
  indexMgr_.AssignKeyFields(*def.KeyFields());
  indexMgr_.SetIOInterface(def.IndexIO());
  indexMgr_.SetTableHeader(def.Header());
  indexMgr_.Open();

  if (recordMgr_.Fields().UsesBlobs() && !(def.UsesBlobs() && def.DefaultBlobSize() != 0))
    UdbDatabaseErrorFmt(udberr::kInternal, loc, "%s has not been set or is out of range", nullptr, {"DefaultBlobSize"});
  blobInterface_.SetIOInterface(def.BlobIO());
  if (def.UsesBlobs()) {
    blobInterface_.SetBlockSize(def.DefaultBlobSize());
    blobInterface_.Open();
  }
  defaultBlobSize_ = def.DefaultBlobSize();

  PAYROLL_ASSERT(indexMgr_.Count() > 0, "No indexes exist");
  if (indexMgr_.Count() == 1 && AnsiSameText(indexMgr_.Items(0)->IndexName(), kLogicalRecNo)) {
    indexName_ = kLogicalRecNo;
  } else if (indexMgr_.FindIndex(indexName_) == nullptr) {
    for (int i = 0; i < indexMgr_.Count(); ++i)
      if (!indexMgr_.Items(i)->Hidden()) {
        indexName_ = indexMgr_.Items(i)->IndexName();
        break;
      }
  }
  indexMgr_.SetCurrentIndexName(indexName_);
  version_ = def.Version();
  cursorOpen_ = true;
  RefreshFromHeader();  // index roots and storage heads of the open cursor
}

void TUdbDataSet::CloseDataSet() {
  const bool wasOpen = cursorOpen_;
  if (readLocked_ || writeLocked_) {
    try {
      EndAccess();
    } catch (const std::exception& e) {
      UdbLogger().Log(tableName_, AnsiString("Bracket not ended at close: ") + e.what());
    }
  }
  indexMgr_.Close();
  indexMgr_.SetTableHeader(nullptr);
  blobInterface_.SetIOInterface(nullptr);
  recordMgr_.Close();
  recordMgr_.SetRecordSize(0);
  FreeBuffers();
  currentCopy_.clear();
  rangeSet_ = cursorOpen_ = false;
  batchDepth_ = 0;
  batchMode_ = 0;
  if (filterMgr_) {
    filterMgr_->SetInQuery(dataBase_ && dataBase_->InQuery());
    filterMgr_->SetActive(false);
  }
  readAhead_.Clear();
  readAheadActive_ = false;
  ForgetStorageWalk();
  if (wasOpen && dataBase_ && tableDef_->Header() != nullptr) dataBase_->CloseTableDef(tableDef_.get());
  recordState_ = 0;
}

void TUdbDataSet::ResetIndexCaches() {
  indexMgr_.ResetAll();
  ForgetStorageWalk();
  if (tableDef_ && tableDef_->Header() != nullptr && !memory_) {
    tableDef_->Header()->ForgetWriteCounter();
    headerStamp_ = 0;
  }
}

// ============================================================================
// access brackets
// ============================================================================

void TUdbDataSet::BeginRead() {
  CheckConnected();
  const bool held = dataBase_->TableLockHeld(*tableDef_);
  dataBase_->LockTable(*tableDef_, kTableReadLock);
  readLocked_ = true;
  lockHeld_ = true;
  try {
    RefreshFromHeader(held);
  } catch (...) {
    EndAccess();
    throw;
  }
}

void TUdbDataSet::BeginWrite() {
  CheckConnected();
  const bool held = dataBase_->TableLockHeld(*tableDef_);
  dataBase_->LockTable(*tableDef_, kTableWriteLock);
  writeLocked_ = readLocked_ = true;
  lockHeld_ = true;
  try {
    RefreshFromHeader(held);
  } catch (...) {
    EndAccess();
    throw;
  }
}

void TUdbDataSet::EndAccess() {
  if (!readLocked_ && !writeLocked_) return;
  if (holdReads_ && !writeLocked_) {
    readEndHeld_ = true;  // the holder (Resync) ends it
    return;
  }
  const bool flush = writeLocked_;
  readLocked_ = writeLocked_ = false;
  struct TRelease {
    TUdbDataSet& ds;
    ~TRelease() {
      if (!ds.lockHeld_) return;
      ds.lockHeld_ = false;
      try {
        ds.dataBase_->UnlockTable(*ds.tableDef_);
      } catch (const std::exception& e) {
        UdbLogger().Log(ds.tableName_, AnsiString("Table lock not released: ") + e.what());
      }
      if (TBaseIOInterface* io = ds.tableDef_->RecordIO(); io && !ds.memory_) io->SetFirstEmptyValid(false);
      if (TBaseIOInterface* io = ds.tableDef_->BlobIO(); io && !ds.memory_) io->SetFirstEmptyValid(false);
    }
  } release{*this};
  if (flush) FlushHeader();
}

// lockWasHeld: the table's lock was held before this bracket took it (a
// transaction keeps its locks), so no other connection has written the
// table since; this connection's own changes are in the shared header.
// The file's copy is then read only when the header in memory may differ
// from it: changed and not written, or its counter forgotten after a
// rollback, or moved since this cursor's last bracket.
void TUdbDataSet::RefreshFromHeader(bool lockWasHeld) {
  TTableHeader* header = tableDef_->Header();
  if (header == nullptr) return;
  const bool current =
      lockWasHeld && !header->Dirty() && header->WriteCounter() != 0 && header->WriteCounter() == headerStamp_;
  if (!current) header->ReadHeader();
  const std::uint32_t counter = header->WriteCounter();
  if (counter != headerStamp_) atRangeStart_ = atRangeEnd_ = false;
  prevHeaderStamp_ = headerStamp_;
  headerStamp_ = counter;
  const bool changed = TableChanged();
  if (indexMgr_.TableHeader() != nullptr) indexMgr_.ReadRoots(changed);
  tableDef_->LoadFirstEmpties();
  if (changed) {
    readAhead_.Reset();
    if (cursorOpen_ && FilterActive()) InternalPrepareFilter();
  }
}

void TUdbDataSet::FlushHeader() {
  TTableHeader* header = tableDef_->Header();
  if (!cursorOpen_ || readOnly_ || header == nullptr) return;
  if (!memory_) {
    if (TBaseIOInterface* io = tableDef_->RecordIO(); io && io->FirstEmptyValid())
      header->SetRecordFirstEmpty(io->FirstEmpty());
    if (TBaseIOInterface* io = tableDef_->BlobIO(); io && tableDef_->UsesBlobs() && io->FirstEmptyValid())
      header->SetBlobFirstEmpty(io->FirstEmpty());
  }
  indexMgr_.WriteRoots();
  if (header->Dirty()) {
    header->WriteHeader();
    if (!aheadCurrent_) readAhead_.Reset();
    aheadCurrent_ = false;
    // Our own write is no change to us: the next bracket keeps the caches
    // (every change of ours already dropped what it made stale).
    headerStamp_ = header->WriteCounter();
  }
}

void TUdbDataSet::LockRecord(TUdbAddr address) {
  if (dataBase_ && !memory_) dataBase_->LockRecord(*tableDef_, address);
}

void TUdbDataSet::UnlockRecord(TUdbAddr address) {
  if (dataBase_ && !memory_) dataBase_->UnlockRecord(*tableDef_, address);
}

void TUdbDataSet::BeginBatch(std::uint8_t mode) {
  if (batchDepth_ == 0) batchMode_ = mode;
  ++batchDepth_;
}

void TUdbDataSet::EndBatch() {
  if (batchDepth_ > 0) --batchDepth_;
  if (batchDepth_ == 0) batchMode_ = 0;
}

void TUdbDataSet::ResetBatch() {
  batchDepth_ = 0;
  batchMode_ = 0;
}

// ============================================================================
// record buffers
// ============================================================================

TUdbAddr TUdbDataSet::TrailerAddress(const std::uint8_t* buf, int recordSize) {
  return Get32(buf + recordSize + kTrailerRecAddr);
}

int TUdbDataSet::TrailerRecNo(const std::uint8_t* buf, int recordSize) {
  return static_cast<int>(Get32(buf + recordSize + kTrailerRecNo));
}

void TUdbDataSet::SetTrailer(std::uint8_t* buf, int recNo, TUdbAddr address) const {
  std::uint8_t* t = buf + RecordSize();
  Put32(t + kTrailerRecAddr, address);
  Put32(t + kTrailerRecNo, static_cast<std::uint32_t>(recNo));
  Put32(t + kTrailerKeyMarks, 0);
}

void TUdbDataSet::SetRecordTrailer(std::uint8_t* buf, int recNo, TUdbAddr address) const {
  SetTrailer(buf, recNo, address);
}

void TUdbDataSet::InitRecBuf(std::uint8_t* buf) {
  if (recBuf_.empty()) CheckOpen();  // buffers exist from the open's layout step on
  const bool own = buf == nullptr || buf == recBuf_.data();
  if (own) buf = recBuf_.data();
  std::memset(buf, 0, static_cast<size_t>(recBufSize_));
  if (own) {
    recordMgr_.Blobs().MarkAllNotLoaded();
    recordState_ = 2;
  }
}

void TUdbDataSet::SetRecBuf(const std::uint8_t* buf) {
  CheckOpen();
  if (buf != recBuf_.data()) std::memcpy(recBuf_.data(), buf, static_cast<size_t>(recBufSize_));
  recordState_ = 2;
}

void TUdbDataSet::GetRecBuf(std::uint8_t* buf) const {
  CheckOpen();
  std::memcpy(buf, recBuf_.data(), static_cast<size_t>(recBufSize_));
}

int TUdbDataSet::GetRecBufSize() const {
  CheckOpen();
  return recBufSize_;
}

void TUdbDataSet::ReadRecordAt(TUdbAddr address, std::uint8_t* buf) {
  CheckOpen();
  recordMgr_.ReadRecord(address, buf, false);
}

void TUdbDataSet::ReadIntoRecBuf(TUdbAddr address, bool keepCopy) {
  recordMgr_.ReadRecord(address, Rec(), keepCopy);
  // The trailer names the record the buffer holds (its blobs are read
  // through the record at that address).
  Put32(Rec() + RecordSize() + kTrailerRecAddr, address);
  if (keepCopy) currentCopy_.assign(recBuf_.begin(), recBuf_.begin() + RecordSize());
}

void TUdbDataSet::InitSearchRecord(std::uint8_t* buf, bool markKeyFields) {
  CheckOpen();
  std::memset(buf, 0, static_cast<size_t>(recBufSize_));
  if (!markKeyFields) return;
  if (TIndexItem* index = CurrentIndexOrNull()) {
    const TKeyFields& keys = *index->KeyFields();
    for (int k = 0; k < keys.Count(); ++k)
      if (!keys.Items(k)->Hidden() && keys.Items(k)->PhysicalFieldNo() >= 0)
        buf[keys.Items(k)->NullFlagOffset()] = kFlagLowest;
  }
  Put32(buf + RecordSize() + kTrailerKeyMarks, kFlagLowest);
}

void TUdbDataSet::InitLowRecord(std::uint8_t* buf) {
  InitRecBuf(buf);
  std::memset(buf + udbrec::kNullFlags, kFlagLowest, static_cast<size_t>(GetFieldCount()));
  Put32(buf + RecordSize() + kTrailerKeyMarks, kFlagLowest);
}

void TUdbDataSet::InitHighRecord(std::uint8_t* buf) {
  InitRecBuf(buf);
  std::memset(buf + udbrec::kNullFlags, kFlagHighest, static_cast<size_t>(GetFieldCount()));
  Put32(buf + RecordSize() + kTrailerKeyMarks, kFlagHighest);
}

int TUdbDataSet::GetFieldCount() const { return const_cast<TUdbDataSet*>(this)->recordMgr_.Fields().Count(); }

int TUdbDataSet::FieldIndexOf(const AnsiString& name) const {
  TInternalFieldItem* item = const_cast<TUdbDataSet*>(this)->recordMgr_.Fields().FindField(name);
  return item ? item->FieldIndex() : -1;
}

bool TUdbDataSet::IsFieldNull(const std::uint8_t* buf, int fieldIndex) const {
  const TInternalFieldItem* item = const_cast<TUdbDataSet*>(this)->recordMgr_.Fields().GetField(fieldIndex);
  return buf[item->NullFlagOffset()] == kFlagNull;
}

bool TUdbDataSet::IsBlobField(int fieldIndex) const {
  return const_cast<TUdbDataSet*>(this)->recordMgr_.Fields().GetField(fieldIndex)->IsBlob();
}

bool TUdbDataSet::IsSameRecord(const std::uint8_t* a, const std::uint8_t* b) const {
  return a[udbrec::kInUse] == b[udbrec::kInUse] && Get32(a + udbrec::kRecordTag) == Get32(b + udbrec::kRecordTag) &&
         Get32(a + udbrec::kRecordID) == Get32(b + udbrec::kRecordID);
}

// ============================================================================
// bookmarks
// ============================================================================

void TUdbDataSet::GetBookmark(const std::uint8_t* buf, std::uint8_t* bookmark) const {
  Put32(bookmark, TrailerAddress(buf, RecordSize()));
  std::memcpy(bookmark + 4, buf + udbrec::kRecordID, 4);
}

void TUdbDataSet::SetBookmark(std::uint8_t* buf, const std::uint8_t* bookmark) const {
  Put32(buf + RecordSize() + kTrailerRecAddr, Get32(bookmark));
  std::memcpy(buf + udbrec::kRecordID, bookmark + 4, 4);
}

bool TUdbDataSet::AcceptRecordAt(TUdbAddr address) {
  if (address == 0) return false;
  TBaseIOInterface* io = tableDef_->RecordIO();
  if (memory_ && !io->AddressInUse(address)) return false;
  std::vector<std::uint8_t>& scratch = acceptScratch_;
  scratch.resize(static_cast<size_t>(recBufSize_));
  try {
    recordMgr_.ReadRecord(address, scratch.data(), false);
  } catch (const EUdbDatabaseError&) {
    return false;  // not a block of this table any more
  }
  // Copied, not swapped: the filter reads records through this buffer's
  // storage (SetRecordBuffer), which must outlive the call.
  filterBuf_.assign(scratch.begin(), scratch.end());
  return udbrec::IsLiveRecordOf(filterBuf_.data(), recordTag_);
}

bool TUdbDataSet::BookmarkIsValid(const std::uint8_t* bookmark) {
  CheckOpen();
  TAccessBracket bracket(*this, false);
  const TUdbAddr address = Get32(bookmark);
  if (!AcceptRecordAt(address)) return false;
  if (std::memcmp(filterBuf_.data() + udbrec::kRecordID, bookmark + 4, 4) != 0) return false;
  // A record the filter hides cannot be gone to either: callers ask this
  // before GotoBookmark (a grid going back to a record that an edit has
  // just moved out of the filter).
  return !FilterActive() || filterMgr_->Contains(address);
}

// ============================================================================
// index helpers
// ============================================================================

TIndexItem* TUdbDataSet::CurrentIndexOrNull() const { return indexMgr_.FindIndex(indexName_); }

TIndexItem* TUdbDataSet::IndexOrRaise(const AnsiString& name, const char* location) const {
  TIndexItem* index = indexMgr_.FindIndex(name);
  if (index == nullptr) UdbDatabaseErrorFmt(udberr::kIndexMissing, location, "Index %s", nullptr, {name});
  return index;
}

// Bound marks of a search buffer: per key part 0 lowest, 1 value, 2
// highest; parts that are no field of the record follow KeyMarks.
TKeyModifiers TUdbDataSet::BoundMarks(const TIndexItem& index, const std::uint8_t* buf) const {
  const std::uint32_t keyMarks = Get32(buf + RecordSize() + kTrailerKeyMarks);
  const TKeyFields& keys = *index.KeyFields();
  TKeyModifiers marks(static_cast<size_t>(keys.Count()), 1);
  const std::uint8_t hiddenMark = keyMarks == kFlagLowest ? 0 : keyMarks == kFlagHighest ? 2 : 1;
  for (int k = 0; k < keys.Count(); ++k) {
    const TKeyFieldItem* part = keys.Items(k);
    if (part->Hidden() || part->PhysicalFieldNo() < 0) {
      marks[static_cast<size_t>(k)] = hiddenMark;
      continue;
    }
    const std::uint8_t flag = buf[part->NullFlagOffset()];
    marks[static_cast<size_t>(k)] = flag == kFlagLowest ? 0 : flag == kFlagHighest ? 2 : 1;
  }
  return marks;
}

void TUdbDataSet::SetSearchKey(TIndexItem& index, const std::uint8_t* buf) {
  if (Get32(buf + RecordSize() + kTrailerKeyMarks) >= 1) {
    const TKeyModifiers marks = BoundMarks(index, buf);
    index.SetSearchKeyFromRecord(buf, &marks);
  } else {
    index.SetSearchKeyFromRecord(buf);
  }
}

// An equal search over a search buffer compares the leading parts that
// carry values; the parts marked lowest or highest are left out.
static TSearchModifier EqualModifier(const TKeyModifiers* marks) {
  TSearchModifier m;
  if (marks == nullptr) return m;
  int n = 0;
  while (n < static_cast<int>(marks->size()) && (*marks)[static_cast<size_t>(n)] == 1) ++n;
  if (n < static_cast<int>(marks->size())) {
    m.Active = true;
    m.FieldCount = n;
  }
  return m;
}

// ============================================================================
// the cursor
// ============================================================================

bool TUdbDataSet::InternalFind(int mode, const AnsiString& name) {
  const char* loc = "TUdbDataSet.InternalFind";
  CheckOpen();
  TAccessBracket bracket(*this, false);
  TIndexItem* index = IndexOrRaise(name, loc);
  int r = -1;
  bool stepped = false;
  const bool onEntry = searchOnEntry_ && mode == kEqual;
  searchOnEntry_ = false;
  // A memory table's walk steps from the record in hand when the cursor
  // stands on its very entry: every change of the table, ours or another
  // cursor's, drops the nodes at the next bracket, so a cursor still
  // standing there stands on the entry as the index holds it now.
  const bool fromHand = stepFromHand_ && memory_ && (mode == kGreaterThan || mode == kLessThan);
  stepFromHand_ = false;
  // The index cursor stands near the record in RecBuf: step instead of
  // searching, and only when the step lands on that very record.
  if ((batchMode_ == 2 || onEntry || fromHand) &&
      StepCursorTo(*index, TrailerAddress(recBuf_.data(), RecordSize()), TrailerRecNo(recBuf_.data(), RecordSize()),
                   fromHand && !(batchMode_ == 2 || onEntry) ? 0 : std::numeric_limits<int>::max())) {
    stepped = true;
    bool moved = true;
    if (mode == kLessThan)
      moved = index->Prior();
    else if (mode == kGreaterThan)
      moved = index->Next();
    else if (mode != kEqual)
      UdbDatabaseError(udberr::kInternal, loc, "Unexpected seek type in Internal Find");
    r = moved ? 0 : 1;
  }
  if (!stepped) {
    const bool marked = Get32(recBuf_.data() + RecordSize() + kTrailerKeyMarks) >= 1;
    TKeyModifiers marks;
    if (marked) marks = BoundMarks(*index, recBuf_.data());
    index->SetSearchKeyFromRecord(recBuf_.data(), marked ? &marks : nullptr);
    r = index->Find(mode, mode == kEqual ? EqualModifier(marked ? &marks : nullptr) : TSearchModifier());
  }
  const bool found = r == 0 && index->Tree().KeyValid() && index->CurrentRecordAddress() != 0;
  if (found) {
    const TUdbAddr address = index->CurrentRecordAddress();
    ReadIntoRecBuf(address, true);
    CheckRecordOfEntry(*index, Rec(), index->Tree().CurrentKey(), address);
    TIndexItem* current = CurrentIndexOrNull();
    if (current != nullptr && current != index) {
      current->SetSearchKeyFromRecord(recBuf_.data());
      const bool there = current->Find(kEqual) == 0 && current->CurrentRecordAddress() == address;
      PAYROLL_ASSERT(there, "Key found but not in current index");
    }
    // The position is the current index's, taken after it stands on the record.
    SetTrailer(Rec(), current ? current->CurrentRecNo() : index->CurrentRecNo(), address);
    recordState_ = 1;
    // A search that lands on a record outside a batch (a key search, a
    // locate, the first or last record) reads no neighbours: most such
    // callers want this one record, and a walk from it fills the buffer in
    // its own direction at its first step.  Inside a batch (a window being
    // read around the record) the centred fill serves both directions.
    const bool positioned = readAheadDirection_ == kAheadCentred && batchMode_ == 0;
    if (readAheadActive_ && !positioned && readAhead_.IndexOfAddress(address) < 0)
      FillReadAhead(readAheadSize_, readAheadDirection_, address);
    readAheadDirection_ = kAheadCentred;
  }
  return found;
}

bool TUdbDataSet::StepCursorTo(TIndexItem& index, TUdbAddr address, int recNo, int maxSteps) {
  if (address == 0 || !index.Tree().KeyValid()) return false;
  const TUdbAddr here = index.CurrentRecordAddress();
  if (here == address) return true;
  if (here == 0 || recNo < 1) return false;
  const int delta = recNo - index.CurrentRecNo();
  if (delta == 0 || delta > maxSteps || delta < -maxSteps) return false;
  return index.MoveBy(delta) && index.Tree().KeyValid() && index.CurrentRecordAddress() == address;
}

bool TUdbDataSet::InternalFindInRange(int mode, const AnsiString& name) {
  if (rangeSet_ && !rangeNotEmpty_) return false;  // an empty range holds nothing to find
  bool found = InternalFind(mode, name);
  if (found && rangeSet_ && rangeNotEmpty_) {
    TAccessBracket bracket(*this, false);
    TIndexItem* current = CurrentIndexOrNull();
    if (current != nullptr) {
      if (CompareWithRangeKey(*current, true) > 0) {
        found = (mode == kLessThan || mode == kLessOrEqual || mode == kNearest) && MoveToRangeEnd(true);
      } else if (CompareWithRangeKey(*current, false) < 0) {
        found = (mode == kGreaterOrEqual || mode == kGreaterThan || mode == kNearest) && MoveToRangeEnd(false);
      }
    }
  }
  if (found && FilterActive()) {
    const TUdbAddr here = TrailerAddress(recBuf_.data(), RecordSize());
    const TUdbAddr accepted = filterMgr_->FindNearest(here, mode);
    if (accepted == 0) return false;
    if (accepted != here) found = SetToRecord(accepted, nullptr, false, true);
    SetTrailer(Rec(), filterMgr_->RecordNumberOf(accepted), accepted);
  }
  return found;
}

bool TUdbDataSet::GotoFirst() {
  if (FilterActive()) return FilterMove(0, 0);
  if (StorageOrderActive()) return StorageMove(0);
  if (rangeSet_) {
    InitLowRecord(Rec());
    if (!rangeNotEmpty_) return false;
    TAccessBracket bracket(*this, false);
    return MoveToRangeEnd(false) && CompareWithRangeKey(*indexMgr_.CurrentIndex(), true) <= 0;
  }
  InitLowRecord(Rec());
  return InternalFindInRange(kGreaterOrEqual, indexName_);
}

bool TUdbDataSet::GotoLast() {
  if (FilterActive()) return FilterMove(2, 0);
  if (StorageOrderActive()) return StorageMove(2);
  if (rangeSet_) {
    InitHighRecord(Rec());
    if (!rangeNotEmpty_) return false;
    TAccessBracket bracket(*this, false);
    return MoveToRangeEnd(true) && CompareWithRangeKey(*indexMgr_.CurrentIndex(), false) >= 0;
  }
  InitHighRecord(Rec());
  return InternalFindInRange(kLessOrEqual, indexName_);
}

bool TUdbDataSet::GotoNext() {
  if (FilterActive()) return FilterMove(1, 1);
  return StorageOrderActive() ? StorageMove(1) : MoveNext();
}

bool TUdbDataSet::GotoPrior() {
  if (FilterActive()) return FilterMove(1, -1);
  return StorageOrderActive() ? StorageMove(-1) : MovePrior();
}

bool TUdbDataSet::MoveNext() { return MoveStep(true); }

bool TUdbDataSet::MovePrior() { return MoveStep(false); }

// One record on in the current index, from the read-ahead buffer when it
// holds the neighbour (direction codes 2 and 1), else through the index
// under a read bracket; a move out of the range fails.
bool TUdbDataSet::MoveStep(bool forward) {
  CheckOpen();
  if (ReadFromReadAhead(forward ? 2 : 1)) {
    if (batchMode_ == 1) batchMode_ = 2;
    return true;
  }
  // A walk that used up its batch in this direction reads the next one
  // longer (see AheadCount).
  const int n = readAhead_.Count();
  const TUdbAddr here = TrailerAddress(recBuf_.data(), RecordSize());
  const bool usedUp = n > 0 && readAhead_.Items(forward ? n - 1 : 0)->RecordAddress == here &&
                      lastFillDirection_ == (forward ? kAheadForward : kAheadBackward);
  aheadStreak_ = usedUp ? std::min(aheadStreak_ + 1, kAheadDoublings) : 0;
  TAccessBracket bracket(*this, false);
  readAheadDirection_ = forward ? kAheadForward : kAheadBackward;
  struct TTaken {
    bool& flag;
    ~TTaken() { flag = false; }  // never left for another search, whatever failed
  } taken{stepFromHand_};
  stepFromHand_ = true;
  if (!InternalFind(forward ? kGreaterThan : kLessThan, indexName_)) return false;
  if (rangeSet_ && !WithinRange(*indexMgr_.CurrentIndex())) return false;
  if (batchMode_ == 1) batchMode_ = 2;
  return true;
}

bool TUdbDataSet::SetToRecord(TUdbAddr address, const std::uint8_t* buf, bool reposition, bool checkSame) {
  const char* loc = "TUdbDataSet.SetToRecord";
  CheckOpen();
  if (address == 0) UdbDatabaseError(udberr::kInternal, loc, "Invalid address of 0 for SetToRecord");
  TAccessBracket bracket(*this, false);
  int mode = kEqual;
  if (AcceptRecordAt(address)) {
    std::memcpy(Rec(), filterBuf_.data(), static_cast<size_t>(RecordSize()));
    if (reposition) {
      currentCopy_.assign(recBuf_.begin(), recBuf_.begin() + RecordSize());
      recordMgr_.Blobs().MarkAllNotLoaded();
    }
    if (checkSame && buf != nullptr && !IsSameRecord(buf, recBuf_.data())) UdbDatabaseError(udberr::kRecordChanged, loc);
    SetTrailer(Rec(), TrailerRecNo(recBuf_.data(), RecordSize()), address);
  } else {
    // Deleted, or its space reused: the nearest record by the old key.
    mode = kNearest;
    if (buf != nullptr)
      std::memcpy(Rec(), buf, static_cast<size_t>(recBufSize_));
    else if (!currentCopy_.empty())
      std::memcpy(Rec(), currentCopy_.data(), currentCopy_.size());
    Put32(Rec() + RecordSize() + kTrailerKeyMarks, 0);
  }
  if (!reposition) return true;
  TIndexItem* index = indexMgr_.CurrentIndex();
  // The record is where it was read: its own entry is found by stepping
  // when the cursor stands near it (an edit of row after row of a walk).
  const int recNo = TrailerRecNo(buf != nullptr ? buf : recBuf_.data(), RecordSize());
  bool found = mode == kEqual && StepCursorTo(*index, address, recNo);
  if (!found) {
    index->SetSearchKeyFromRecord(recBuf_.data());
    found = index->Find(mode) == 0 && index->Tree().KeyValid();
  }
  if (!found) {
    if (GetRecordCount() > 0) UdbDatabaseError(udberr::kRecordChanged, loc);
    return false;
  }
  TUdbAddr read = address;
  if (mode == kNearest) {
    read = index->CurrentRecordAddress();
    PAYROLL_ASSERT(read != 0, "The record cannot be found - the address is invalid");
    ReadIntoRecBuf(read, true);
  }
  recordState_ = 1;
  // The trailer names the record actually read, also after a nearest search.
  SetTrailer(Rec(), index->CurrentRecNo(), read);
  if (FilterActive()) return filterMgr_->Contains(read);
  return true;
}

bool TUdbDataSet::SetToBookmark(const std::uint8_t* bookmark) {
  try {
    return SetToRecord(Get32(bookmark), nullptr, true, false);
  } catch (const std::exception&) {
    return false;
  }
}

bool TUdbDataSet::SetToRecBuf(const std::uint8_t* buf, bool reposition, bool checkSame) {
  if (buf == nullptr) return false;
  return SetToRecord(TrailerAddress(buf, RecordSize()), buf, reposition, checkSame);
}

std::int64_t TUdbDataSet::DataSetSetRecNo(int recNo) {
  CheckOpen();
  if (recNo < 1) return -1;
  TAccessBracket bracket(*this, false);
  TIndexItem* index = indexMgr_.CurrentIndex();
  int target = recNo;
  if (rangeSet_) {
    const int start = GetRangeEndRecNo(false);
    const int end = GetRangeEndRecNo(true);
    if (start < 1 || end < 1) return -1;
    target = start + recNo - 1;
    if (target > end) return -1;
  } else if (target > static_cast<int>(index->RecordCount())) {
    return -1;
  }
  const TUdbAddr address = index->AddressOfRecNo(target);
  if (address == 0 || !SetToRecord(address, nullptr, true, false)) return -1;
  return address;
}

int TUdbDataSet::GetRecNo(const std::uint8_t* buf) {
  CheckOpen();
  const int recNo = TrailerRecNo(buf, RecordSize());
  if (FilterActive() || !rangeSet_) return recNo;
  const int start = GetRangeEndRecNo(false);
  return start >= 1 ? recNo - start + 1 : 0;
}

int TUdbDataSet::GetRecordCount() {
  if (!cursorOpen_) return 0;
  if (FilterActive()) return filterMgr_->Count();
  TAccessBracket bracket(*this, false);
  if (!rangeSet_) return static_cast<int>(indexMgr_.CurrentIndex()->RecordCount());
  const int start = GetRangeEndRecNo(false);
  const int end = GetRangeEndRecNo(true);
  const int count = start >= 1 && end >= 1 ? std::max(0, end - start + 1) : 0;
  if (count > 0 && GetRecNo() == 0)
    UdbLogger().Log(tableName_, "Invalid recno/count. Resetting to range start");
  return count;
}

TUdbAddr TUdbDataSet::ReadRecordByKey(int mode, std::uint8_t* buf) {
  CheckOpen();
  TAccessBracket bracket(*this, false);
  TIndexItem* index = indexMgr_.CurrentIndex();
  if (currentCopy_.empty()) return 0;
  index->SetSearchKeyFromRecord(currentCopy_.data());
  if (index->Find(mode) != 0 || !index->Tree().KeyValid()) return 0;
  const TUdbAddr address = index->CurrentRecordAddress();
  PAYROLL_ASSERT(address != 0, "Address of 0 return from successful search");
  if (buf == recBuf_.data())
    ReadIntoRecBuf(address, true);
  else
    recordMgr_.ReadRecord(address, buf, false);
  SetTrailer(buf, index->CurrentRecNo(), address);
  if (mode == kNearest) {
    atRangeStart_ = atRangeEnd_ = false;
    CheckRange();
  }
  return address;
}

void TUdbDataSet::RefreshDataSetIndex(TUdbAddr address, bool cursorOnEntry) {
  TIndexItem* index = indexMgr_.CurrentIndex();
  if (cursorOnEntry && index->Tree().KeyValid() && index->CurrentRecordAddress() == address) {
    SetTrailer(Rec(), index->CurrentRecNo(), address);
    return;
  }
  index->SetSearchKeyFromRecord(recBuf_.data());
  if (index->Find(kEqual) != 0 || !index->Tree().KeyValid())
    UdbDatabaseError(udberr::kRecordChanged, "TUdbDataSet.RefreshDataSetIndex");
  if (index->CurrentRecordAddress() != address) UdbLogger().Log(tableName_, "RefreshDataSetIndex failed");
  SetTrailer(Rec(), index->CurrentRecNo(), address);
}

bool TUdbDataSet::CheckRange() {
  if (!rangeSet_ || !rangeNotEmpty_) return true;
  TIndexItem* index = indexMgr_.CurrentIndex();
  if (!index->Tree().KeyValid()) return true;
  if (CompareWithRangeKey(*index, false) < 0) {
    MoveToRangeEnd(false);
    return false;
  }
  if (CompareWithRangeKey(*index, true) > 0) {
    MoveToRangeEnd(true);
    return false;
  }
  return true;
}

bool TUdbDataSet::FilterMove(int which, int step) {
  CheckOpen();
  std::unique_ptr<TAccessBracket> bracket;
  if (!(dataBase_ && dataBase_->InQuery())) bracket = std::make_unique<TAccessBracket>(*this, false);
  TUdbAddr address = 0;
  if (which == 0) {
    address = filterMgr_->First(true);
  } else if (which == 2) {
    address = filterMgr_->First(false);
  } else {
    address = TrailerAddress(recBuf_.data(), RecordSize());
    if (!filterMgr_->Contains(address))
      address = filterMgr_->FindNearest(address, step < 0 ? kLessOrEqual : kGreaterOrEqual);
    else if (step != 0)
      address = filterMgr_->MoveBy(address, step);
  }
  if (address == 0) return false;
  ReadIntoRecBuf(address, true);
  SetTrailer(Rec(), filterMgr_->RecordNumberOf(address), address);
  recordState_ = 1;
  return true;
}

// ============================================================================
// read-ahead
// ============================================================================

// The age of a batch, asked at every step of a walk: the coarse clock (a
// few milliseconds a tick, against a validity of a second) costs a
// fraction of the precise one.
static std::uint64_t BatchClockMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

void TUdbDataSet::FillReadAhead(int count, std::uint8_t direction, TUdbAddr justRead) {
  if (!readAheadActive_ || direction == kAheadNone || readAheadSize_ < 2) return;
  TIndexItem* index = CurrentIndexOrNull();
  PAYROLL_ASSERT(index != nullptr, "Current Index item is not assigned");
  readAhead_.Reset();
  if (readAhead_.RecordSize() < recBufSize_ || readAhead_.KeySize() < index->Tree().MaximumKeySize())
    readAhead_.Init(recBufSize_, index->Tree().MaximumKeySize(), std::max(readAheadSize_, 1));
  index->ReadAhead(direction, AheadCount(count, direction), readAhead_);
  lastFillDirection_ = direction;
  readAheadStamp_ = BatchClockMs();
  if (rangeSet_ && readAhead_.Count() > 0) {
    for (int i = readAhead_.Count() - 1; i >= 0; --i) {
      const std::uint8_t* key = readAhead_.Items(i)->KeyBuffer;
      const bool outside = !rangeNotEmpty_ ||
                           index->Compare(rangeStartKey_.data(), key, &rangeStartParts_) > 0 ||
                           index->Compare(rangeEndKey_.data(), key, &rangeEndParts_) < 0;
      if (outside) readAhead_.Delete(i);
    }
    for (int i = 1; i < readAhead_.Count(); ++i)
      PAYROLL_ASSERT(readAhead_.Items(i)->RecordNumber == readAhead_.Items(i - 1)->RecordNumber + 1,
                     "Read ahead buffer recno's are out of sync");
  }
  // The batch's records in one many-record read (the one in hand is
  // copied).  A read that fails takes the batch with it: items not yet
  // filled would give another record's bytes.
  aheadAddresses_.clear();
  aheadBuffers_.clear();
  for (int i = 0; i < readAhead_.Count(); ++i) {
    TReadAheadBufferItem* item = readAhead_.Items(i);
    if (justRead != 0 && item->RecordAddress == justRead) {
      std::memcpy(item->RecordBuffer, Rec(), static_cast<size_t>(RecordSize()));
    } else {
      aheadAddresses_.push_back(item->RecordAddress);
      aheadBuffers_.push_back(item->RecordBuffer);
    }
  }
  try {
    recordMgr_.ReadRecords(aheadAddresses_.data(), static_cast<int>(aheadAddresses_.size()), aheadBuffers_.data());
  } catch (...) {
    readAhead_.Reset();
    throw;
  }
  for (int i = 0; i < readAhead_.Count(); ++i) {
    TReadAheadBufferItem* item = readAhead_.Items(i);
    if (!index->Tree().RecordMatchesEntry(item->RecordBuffer, item->KeyBuffer)) {
      // Damage: the batch goes, and the walk meets it (8451) when it
      // steps onto that entry; the record in hand stays readable.
      UdbLogger().IncCounter("AHEADMISMATCH", 1);
      readAhead_.Reset();
      return;
    }
  }
}

// A walk goes on from the record it reached (the next search starts at
// the record's key): a record that does not carry the key of the entry it
// was found by would send the walk back for ever.  Index and record are
// read under one lock, so on a sound file they always agree.
void TUdbDataSet::CheckRecordOfEntry(TIndexItem& index, const std::uint8_t* record, const std::uint8_t* entryKey,
                                     TUdbAddr address) {
  if (!index.Tree().RecordMatchesEntry(record, entryKey))
    UdbDatabaseErrorFmt(udberr::kCorrupt, "TUdbDataSet.InternalFind", "The record at %d does not carry its key in index %s",
                        nullptr, {static_cast<std::int64_t>(address), index.IndexName()});
}

// Records per fill: the read-ahead size, doubled for every batch a walk
// used up in its direction in a row (up to 2^kAheadDoublings times, and
// no more records than kAheadBytes hold unless the size asks it), so a
// long walk takes a lock and reads the header once per many records
// instead of once per ten.  What a caller sees is unchanged: the records,
// their order and the batch's validity of kReadAheadValidMs.
int TUdbDataSet::AheadCount(int count, std::uint8_t direction) const {
  const int size = std::min(count, readAheadSize_);
  if (direction != kAheadForward && direction != kAheadBackward) return size;
  const int most = std::max(size, kAheadBytes / std::max(recBufSize_, 1));
  return std::min(size << aheadStreak_, most);
}

bool TUdbDataSet::ReadFromReadAhead(int which) {
  if (readAhead_.Count() == 0) return false;
  if (BatchClockMs() - readAheadStamp_ > kReadAheadValidMs) {
    readAhead_.Reset();
    return false;
  }
  const TUdbAddr address = TrailerAddress(recBuf_.data(), RecordSize());
  TReadAheadBufferItem* item = which == 3   ? readAhead_.ItemOfAddress(address)
                               : which == 2 ? readAhead_.NextOf(address)
                                            : readAhead_.PriorOf(address);
  if (item == nullptr) return false;
  std::memcpy(Rec(), item->RecordBuffer, static_cast<size_t>(RecordSize()));
  currentCopy_.assign(recBuf_.begin(), recBuf_.begin() + RecordSize());
  recordMgr_.Blobs().MarkAllNotLoaded();
  SetTrailer(Rec(), item->RecordNumber, item->RecordAddress);
  recordState_ = 1;
  return true;
}

// ============================================================================
// storage order
// ============================================================================

void TUdbDataSet::SetStorageOrder(bool on) {
  storageOrder_ = on;
  ForgetStorageWalk();
}

void TUdbDataSet::ForgetStorageWalk() {
  storageListed_ = false;
  storageBlocks_.clear();
  storageBatch_.clear();
  storageBatchNo_.clear();
  storageRecords_.clear();
}

bool TUdbDataSet::StorageOrderActive() const {
  return storageOrder_ && cursorOpen_ && !memory_ && !rangeSet_ && !FilterActive();
}

bool TUdbDataSet::StorageMove(int which) {
  CheckOpen();
  const bool forward = which >= 0 && which != 2;
  const TUdbAddr here = which == 1 || which == -1 ? TrailerAddress(recBuf_.data(), RecordSize()) : 0;
  auto pick = [&]() -> int {
    if (storageBatch_.empty() || BatchClockMs() - storageBatchTime_ > kReadAheadValidMs) return -1;
    if (here == 0) return -1;
    const auto at = std::lower_bound(storageBatch_.begin(), storageBatch_.end(), here);
    if (at == storageBatch_.end() || *at != here) return -1;
    const auto i = at - storageBatch_.begin() + (forward ? 1 : -1);
    return i >= 0 && i < static_cast<std::ptrdiff_t>(storageBatch_.size()) ? static_cast<int>(i) : -1;
  };
  int i = pick();
  if (i < 0) {
    FillStorageBatch(here, forward);
    if (storageBatch_.empty()) return false;
    i = forward ? 0 : static_cast<int>(storageBatch_.size()) - 1;
  }
  const size_t size = static_cast<size_t>(RecordSize());
  std::memcpy(Rec(), storageRecords_.data() + static_cast<size_t>(i) * size, size);
  currentCopy_.assign(recBuf_.begin(), recBuf_.begin() + RecordSize());
  recordMgr_.Blobs().MarkAllNotLoaded();
  SetTrailer(Rec(), storageBatchNo_[static_cast<size_t>(i)], storageBatch_[static_cast<size_t>(i)]);
  recordState_ = 1;
  return true;
}

void TUdbDataSet::FillStorageBatch(TUdbAddr from, bool forward) {
  storageBatch_.clear();
  storageBatchNo_.clear();
  TAccessBracket bracket(*this, false);
  // Listed again when anyone changed the table since (our own changes
  // forget the list in AfterChange): blocks may have come or gone.
  if (!storageListed_ || storageStamp_ != headerStamp_) {
    storageBlocks_.clear();
    tableDef_->RecordIO()->ListBlocks(storageBlocks_);
    // The allocation map lists a disk table's blocks in ascending order
    // already; sorting is then only a look.
    if (!std::is_sorted(storageBlocks_.begin(), storageBlocks_.end()))
      std::sort(storageBlocks_.begin(), storageBlocks_.end());
    storageStamp_ = headerStamp_;
    storageListed_ = true;
  }
  const auto count = static_cast<std::ptrdiff_t>(storageBlocks_.size());
  std::ptrdiff_t i;
  if (forward)
    i = from == 0 ? 0 : std::upper_bound(storageBlocks_.begin(), storageBlocks_.end(), from) - storageBlocks_.begin();
  else
    i = (from == 0 ? count : std::lower_bound(storageBlocks_.begin(), storageBlocks_.end(), from) - storageBlocks_.begin()) - 1;
  const size_t size = static_cast<size_t>(RecordSize());
  // Each record is read straight into its place in the batch (room for a
  // whole batch, made once); a free block's bytes are left there to be
  // overwritten by the next record.
  if (storageRecords_.size() < size * static_cast<size_t>(kStorageBatch))
    storageRecords_.resize(size * static_cast<size_t>(kStorageBatch));
  // Forward, blocks that follow one another in the file (a block is the
  // record's size) are read as one run: one call into the page cache per
  // run instead of per record.
  const bool runs = forward && tableDef_->RecordIO()->BlockSize() == RecordSize();
  while (i >= 0 && i < count && static_cast<int>(storageBatch_.size()) < kStorageBatch) {
    const TUdbAddr address = storageBlocks_[static_cast<size_t>(i)];
    std::uint8_t* rec = storageRecords_.data() + storageBatch_.size() * size;
    std::ptrdiff_t run = 1;
    if (runs) {
      const std::ptrdiff_t room = kStorageBatch - static_cast<std::ptrdiff_t>(storageBatch_.size());
      while (run < room && i + run < count &&
             storageBlocks_[static_cast<size_t>(i + run)] == address + static_cast<TUdbAddr>(run * static_cast<std::ptrdiff_t>(size)))
        ++run;
    }
    if (run == 1)
      recordMgr_.ReadRecord(address, rec, false);
    else
      recordMgr_.ReadRun(address, static_cast<int>(run), rec);
    // Live records close up over the free blocks of the run.
    for (std::ptrdiff_t k = 0; k < run; ++k) {
      const std::uint8_t* one = rec + static_cast<size_t>(k) * size;
      if (!udbrec::IsLiveRecordOf(one, recordTag_)) continue;
      std::uint8_t* to = storageRecords_.data() + storageBatch_.size() * size;
      if (to != one) std::memmove(to, one, size);
      storageBatch_.push_back(storageBlocks_[static_cast<size_t>(i + k)]);
      storageBatchNo_.push_back(static_cast<int>(i + k) + 1);
    }
    i += forward ? run : -1;
  }
  if (!forward) {
    // Kept ascending, so that a walk may turn round inside the batch.
    std::reverse(storageBatch_.begin(), storageBatch_.end());
    std::reverse(storageBatchNo_.begin(), storageBatchNo_.end());
    const size_t n = storageBatch_.size();
    for (size_t a = 0, b = n - 1; n > 1 && a < b; ++a, --b)
      std::swap_ranges(storageRecords_.begin() + static_cast<std::ptrdiff_t>(a * size),
                       storageRecords_.begin() + static_cast<std::ptrdiff_t>((a + 1) * size),
                       storageRecords_.begin() + static_cast<std::ptrdiff_t>(b * size));
  }
  storageBatchTime_ = BatchClockMs();
}

// ============================================================================
// filters
// ============================================================================

void TUdbDataSet::CollectMasterList() {
  TIndexItem* index = indexMgr_.CurrentIndex();
  std::vector<std::uint8_t> scratch(static_cast<size_t>(recBufSize_));
  TUdbAddr endAddress = 0;
  int startPos = 1;
  bool found = false;
  if (rangeSet_ && rangeNotEmpty_) {
    index->SetSearchKeyFromKey(rangeEndKey_.data(), &rangeEndParts_);
    if (index->Find(kLessOrEqual) == 0 && index->Tree().KeyValid()) {
      endAddress = index->CurrentRecordAddress();
      index->SetSearchKeyFromKey(rangeStartKey_.data(), &rangeStartParts_);
      found = index->Find(kGreaterOrEqual) == 0 && index->Tree().KeyValid() &&
              index->Compare(rangeEndKey_.data(), index->CurrentKey(), &rangeEndParts_) >= 0;
      if (found) startPos = index->CurrentRecNo();
    }
  } else if (!rangeSet_) {
    InitLowRecord(scratch.data());
    found = InternalSearchOnly(scratch.data(), kGreaterOrEqual, indexName_) == 0;
  }
  std::vector<TScanMatch> list;
  if (found) {
    const std::vector<std::uint8_t> key(index->CurrentKey(), index->CurrentKey() + index->Tree().MaximumKeySize());
    index->ScanMatches(0, key.data(), kGreaterOrEqual, false, endAddress, list);
  }
  filterMgr_->SetMasterList(std::move(list), startPos);
}

void TUdbDataSet::InternalPrepareFilter() {
  CheckOpen();
  if (CurrentIndexOrNull() == nullptr)
    UdbDatabaseErrorFmt(udberr::kIndexMissing, "TUdbDataSet.InternalPrepareFilter", "Index %s", nullptr, {indexName_});
  TAccessBracket bracket(*this, false);
  const bool inQuery = dataBase_ && dataBase_->InQuery();
  filterMgr_->SetInQuery(inQuery);
  filterMgr_->Refresh(TableChanged());
  if (filterMgr_->FindPrepared()) return;
  CollectMasterList();
  filterMgr_->MergeRecordLists();
}

void TUdbDataSet::ActivateFilter(const AnsiString& text, TFilterOptions options, bool recordFilter) {
  CheckOpen();
  if (!filterMgr_) return;
  // Off when anything changed, and when nothing is left to filter by (a
  // filter of only a record callback has no text to compare).
  if (filterMgr_->Active() && (!AnsiSameText(filterMgr_->FilterText(), text) ||
                               filterMgr_->FilterOptions() != options || (text.empty() && !recordFilter)))
    filterMgr_->SetActive(false);
  if ((!text.empty() || recordFilter) && !filterMgr_->Active()) {
    filterMgr_->SetDataSet(this);
    filterMgr_->SetRecBufSize(recBufSize_);
    filterMgr_->SetRecordBuffer(filterBuf_.data());
    filterMgr_->SetFilterText(text);
    filterMgr_->SetFilterOptions(options);
    filterMgr_->SetIndexManager(&indexMgr_);
    filterMgr_->SetActive(true);
  }
  readAhead_.Reset();
  if (filterMgr_->Active()) InternalPrepareFilter();
}

bool TUdbDataSet::RecordFilterAccepts(TUdbAddr address) {
  if (!onRecordFilter_ || !RecordFilterWanted()) return true;
  ReadRecordAt(address, filterBuf_.data());
  return onRecordFilter_(filterBuf_.data());
}

// ============================================================================
// the class library's slots
// ============================================================================

bool TUdbDataSet::IsSequenced() { return !FilterActive() && !StorageOrderActive(); }

// The window is read under one read bracket, begun by the first read that
// needs the table and held to the end: a window whose records are all at
// hand already (the record a search has just read, with no other buffers
// to fill) takes no lock and reads no header.
void TUdbDataSet::Resync(TResyncMode mode) {
  readAheadActive_ = true;
  readAheadSize_ = BufferCount();
  struct TEnd {
    TUdbDataSet& ds;
    bool holding;
    ~TEnd() {
      if (holding) {
        ds.holdReads_ = false;
        if (ds.readEndHeld_) {
          ds.readEndHeld_ = false;
          try {
            ds.EndAccess();
          } catch (const std::exception& e) {
            UdbLogger().Log(ds.tableName_, AnsiString("Bracket not ended after a resync: ") + e.what());
          }
        }
      }
      ds.ResetBatch();
      ds.readAheadActive_ = false;
    }
  } end{*this, !readLocked_ && !writeLocked_};
  if (end.holding) holdReads_ = true;
  BeginBatch(1);
  TDataSet::Resync(mode);
}

bool TUdbDataSet::GetNextRecord() {
  TBatchScope batch(*this, 1);
  return TDataSet::GetNextRecord();
}

bool TUdbDataSet::GetPriorRecord() {
  TBatchScope batch(*this, 1);
  return TDataSet::GetPriorRecord();
}

int TUdbDataSet::GetNextRecords() {
  TBatchScope batch(*this, 1);
  return TDataSet::GetNextRecords();
}

int TUdbDataSet::GetPriorRecords() {
  TBatchScope batch(*this, 1);
  return TDataSet::GetPriorRecords();
}

TGetResult TUdbDataSet::GetRecord(TRecordBuffer, TGetMode, bool) {
  UdbDatabaseError(udberr::kInvalidOperation, "TUdbDataSet.GetRecord");
}
void TUdbDataSet::InternalClose() { UdbDatabaseError(udberr::kInvalidOperation, "TUdbDataSet.GetRecord"); }
void TUdbDataSet::InternalHandleException() { UdbDatabaseError(udberr::kInvalidOperation, "TUdbDataSet.GetRecord"); }
void TUdbDataSet::InternalInitFieldDefs() { UdbDatabaseError(udberr::kInvalidOperation, "TUdbDataSet.GetRecord"); }
void TUdbDataSet::InternalOpen() { UdbDatabaseError(udberr::kInvalidOperation, "TUdbDataSet.GetRecord"); }
bool TUdbDataSet::IsCursorOpen() { UdbDatabaseError(udberr::kInvalidOperation, "TUdbDataSet.GetRecord"); }
