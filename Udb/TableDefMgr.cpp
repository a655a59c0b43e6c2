// Table-definition managers (see TableDefMgr.h).
#include "Udb/TableDefMgr.h"

#include <algorithm>

#include "Udb/DBLogger.h"
#include "Udb/DiskIOInterface.h"
#include "Udb/DiskMgr.h"
#include "Udb/RestructureDefs.h"
#include "Udb/UdbErrors.h"
#include "platform/core/AnsiText.h"
#include "platform/core/Strings.h"

namespace {

constexpr std::uint32_t kEmptyLeafMark = 1;

void LogQuietly(const char* what, const std::exception& e) {
  UdbLogger().Log("TableDefMgr", AnsiString(what) + e.what());
}

int IndexBlockSize(const TTableDef* def) {
  return def->InternalIndexDefs()->Count() > 0
             ? static_cast<int>(def->InternalIndexDefs()->Items(0)->IndexPageSize())
             : static_cast<int>(kIndexNodeSize);
}

}  // namespace

// --- TBaseTableDefMgr -------------------------------------------------------------

TBaseTableDefMgr::~TBaseTableDefMgr() = default;

int TBaseTableDefMgr::IdBase() const { return system_ ? udbhdr::kSystemTableIdBase : udbhdr::kUserTableIdBase; }

int TBaseTableDefMgr::FindByTableID(int tableId) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->TableID() == tableId) return i;
  return -1;
}

int TBaseTableDefMgr::FindByName(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->TableName(), name)) return i;
  return -1;
}

int TBaseTableDefMgr::ConnectionCount(const AnsiString& name) const {
  const int i = FindByName(name);
  return i < 0 ? 0 : Items(i)->ConnectionCount();
}

void TBaseTableDefMgr::AddTableNames(TStrings* list) const {
  for (int i = 0; i < Count(); ++i) list->Add(Items(i)->TableName());
}

void TBaseTableDefMgr::Clear() { defs_.clear(); }

void TBaseTableDefMgr::CloseAllCopies(TTableHeaderMgr* headers) {
  for (auto& def : defs_) {
    def->CloseIO();  // forgets the header too
  }
  defs_.clear();
  if (headers == nullptr) return;
  try {
    headers->CloseAll();
  } catch (const std::exception& e) {
    LogQuietly("Headers not written at clear: ", e);
  }
}

int TBaseTableDefMgr::CreateCopy(const AnsiString& name, TTableDef* def, TTableHeaderMgr& headers,
                                 TDiskMgr* disk, const char* location) {
  if (FindByName(name) >= 0) UdbDatabaseError(udberr::kObjectExists, location, name);
  if (def->InternalFields()->Count() > udbrec::kMaxFields)
    UdbDatabaseError(udberr::kFieldCountLimit, location, "A table holds at most 255 fields");
  // A definition handed in is not yet stored, so too many indexes are the
  // header's limit, not damage.
  udbhdr::CheckHeaderSize(def->InternalIndexDefs()->Count());
  def->CheckIndexSequences(location);
  auto copy = std::make_unique<TTableDef>();
  copy->Assign(def);
  copy->SetTableName(name);
  copy->SetManagerCopy(true);
  const int id = headers.AddTable(def->InternalIndexDefs()->Count());
  try {
    copy->SetTableID(id);
    copy->SetOwnerFlag(static_cast<std::uint32_t>(id) * 16);
    ResetIndexRoots(copy.get());
    defs_.push_back(std::move(copy));
  } catch (...) {
    // Nothing of the failed table may stay: its slot, its header, its pages.
    try {
      headers.DeleteTable(id);
      if (disk) disk->FreeTablePages(static_cast<std::uint16_t>(id), 0, false);
    } catch (const std::exception& e) {
      LogQuietly("Undo of a failed create failed: ", e);
    }
    throw;
  }
  def->SetTableID(id);
  def->SetOwnerFlag(static_cast<std::uint32_t>(id) * 16);
  return 0;
}

// Opens the copy's header once and its interfaces (I-D1).
void TBaseTableDefMgr::OpenCopy(TTableDef* copy, TTableHeaderMgr& headers, TDiskMgr* disk) {
  if (copy->IOOpen()) return;
  TTableHeader* header = headers.OpenTable(copy->TableID());
  copy->SetHeader(header);
  try {
    copy->InternalOpen(disk);
  } catch (...) {
    copy->CloseIO();
    try {
      headers.CloseTable(header);
    } catch (const std::exception& e) {
      LogQuietly("Header not closed after a failed open: ", e);
    }
    throw;
  }
}

void TBaseTableDefMgr::CloseConnection(int tableId, bool freeAtZero, TTableHeaderMgr& headers,
                                       const char* location) {
  const int pos = FindByTableID(tableId);
  if (pos < 0) UdbDatabaseError(udberr::kObjectNotFound, location);
  TTableDef* copy = Items(pos);
  if (copy->ConnectionCount() <= 0) UdbDatabaseError(udberr::kInvalidOperation, location, "No connection is open: " + copy->TableName());
  copy->SetConnectionCount(copy->ConnectionCount() - 1);
  if (!freeAtZero || copy->ConnectionCount() > 0) return;
  TTableHeader* header = copy->Header();
  copy->CloseIO();
  if (header) headers.CloseTable(header);
  defs_.erase(defs_.begin() + pos);
}

int TBaseTableDefMgr::DeleteCopy(const AnsiString& name, TTableDef* def, TTableHeaderMgr& headers,
                                 const char* location) {
  int tableId = def->TableID();
  const int pos = FindByName(name);
  if (pos >= 0) {
    TTableDef* copy = Items(pos);
    // Only the caller's own connection may remain; a refusal leaves the
    // count as it was so that later closes stay balanced.
    if (copy->ConnectionCount() - 1 > 0) UdbDatabaseError(udberr::kObjectInUse, location, name);
    tableId = copy->TableID();
    TTableHeader* header = copy->Header();
    copy->CloseIO();
    if (header) headers.CloseTable(header);
    defs_.erase(defs_.begin() + pos);
  }
  headers.DeleteTable(tableId);
  def->CloseIO();
  def->SetTableID(0);
  return 0;
}

// --- TMemoryTableDefMgr -------------------------------------------------------------

TMemoryTableDefMgr::TMemoryTableDefMgr() : headers_(std::make_unique<TTableHeaderMgr>()) {}

TMemoryTableDefMgr::~TMemoryTableDefMgr() { Clear(); }

void TMemoryTableDefMgr::Open() {
  Clear();
  headers_ = std::make_unique<TTableHeaderMgr>();
  io_ = std::make_unique<TMemoryIOInterface>();
  io_->SetBlockSize(4096);
  io_->SetUsage(kUsageTableHeader);
  io_->Open();
  headers_->SetMapAddress(io_->AllocateNewAddress(udbhdr::kMapSize, nullptr));
  headers_->SetIdBase(IdBase());
  headers_->Open(io_.get());
}

void TMemoryTableDefMgr::Clear() { CloseAllCopies(headers_.get()); }

int TMemoryTableDefMgr::CreateTableDef(const AnsiString& name, TTableDef* def) {
  const char* loc = "MemoryTableDefMgr.CreateTableDef";
  if (!def->Memory()) UdbDatabaseError(udberr::kInvalidOperation, loc, name);
  return CreateCopy(name, def, *headers_, nullptr, loc);
}

int TMemoryTableDefMgr::OpenTableDefConnection(const AnsiString& name, TTableDef* def) {
  const int pos = FindByName(name);
  if (pos < 0) UdbDatabaseError(udberr::kObjectNotFound, "TMemoryTableDefMgr.OpenTableDefConnection", name);
  TTableDef* copy = Items(pos);
  OpenCopy(copy, *headers_, nullptr);
  def->Assign(copy);
  def->SetOwnerFlag(copy->OwnerFlag());
  def->InternalFields()->SetRecordSize(copy->RecordSize());
  def->InternalFields()->BuildFieldIndex();
  def->ShareIO(*copy);
  copy->SetConnectionCount(copy->ConnectionCount() + 1);
  return 0;
}

void TMemoryTableDefMgr::CloseTableDefConnection(int tableId) {
  CloseConnection(tableId, false, *headers_, "MemoryTableDefMgr.CloseTableDefConnection");
}

int TMemoryTableDefMgr::DeleteTableDef(const AnsiString& name, TTableDef* def) {
  return DeleteCopy(name, def, *headers_, "TMemoryTableDefMgr.DeleteTableDef");
}

void TMemoryTableDefMgr::RestructureTableDef(TTableDef* def, const TRestructureRequest&) {
  UdbDatabaseError(udberr::kWrongTableType, "TMemoryTableDefMgr.RestructureTableDef", def->TableName());
}

// --- TDiskTableDefMgr ---------------------------------------------------------------

TDiskTableDefMgr::TDiskTableDefMgr() : headers_(std::make_unique<TTableHeaderMgr>()) {}

TDiskTableDefMgr::~TDiskTableDefMgr() { Clear(); }

TDiskMgr* TDiskTableDefMgr::Disk() const { return headerIO_ ? headerIO_->DiskMgr() : nullptr; }

void TDiskTableDefMgr::Open() {
  Clear();
  if (headerIO_ == nullptr) UdbDatabaseError(udberr::kObjectNotFound, "TDiskTableDefMgr.InternalInitHeaderMgr");
  if (mapAddress_ == 0) UdbDatabaseError(udberr::kNotInitialized, "TDiskTableDefMgr.InternalInitHeaderMgr");
  headers_ = std::make_unique<TTableHeaderMgr>();
  headers_->SetMapAddress(mapAddress_);
  headers_->SetIdBase(IdBase());
  headers_->Open(headerIO_);
}

void TDiskTableDefMgr::Clear() { CloseAllCopies(headers_.get()); }

void TDiskTableDefMgr::DropCopy(int pos) {
  TTableDef* copy = Items(pos);
  TTableHeader* header = copy->Header();
  copy->CloseIO();
  if (header) {
    header->SetDirty(false);  // written by the change that made it, or rolled back with it
    try {
      headers_->CloseTable(header);
    } catch (const std::exception& e) {
      LogQuietly("Header of a dropped copy not closed: ", e);
    }
  }
  defs_.erase(defs_.begin() + pos);
}

void TDiskTableDefMgr::DropUnconnectedCopies() {
  for (int i = Count(); i-- > 0;)
    if (Items(i)->ConnectionCount() <= 0) DropCopy(i);
}

void TDiskTableDefMgr::DropUnconnectedCopy(const AnsiString& name) {
  const int pos = FindByName(name);
  if (pos >= 0 && Items(pos)->ConnectionCount() <= 0) DropCopy(pos);
}

void TDiskTableDefMgr::NewIndexRoots(TTableDef* def, TTableHeader* header, TBaseIOInterface& io) {
  std::vector<std::uint8_t> leaf(static_cast<size_t>(io.BlockSize()), 0);
  udbfmt::PutU32(leaf.data(), kEmptyLeafMark);
  for (int i = 0; i < def->InternalIndexDefs()->Count(); ++i) {
    const int seq = def->InternalIndexDefs()->Items(i)->IndexSequence();
    header->SetIndexRoot(seq, io.AllocateNewAddress(io.BlockSize(), leaf.data()));
    header->SetIndexDepth(seq, 1);
  }
  header->WriteHeader();
}

void TDiskTableDefMgr::ResetIndexRoots(TTableDef* def) {
  TTableHeader* header = headers_->OpenTable(def->TableID());
  try {
    TDiskIOInterface io;
    io.SetDiskMgr(Disk());
    io.SetBlockSize(IndexBlockSize(def));
    io.SetUsage(kUsageIndex);
    io.SetGlobalHeaderItem(udbfmt::kItemIndexNodeFirstEmpty);
    io.SetTableId(static_cast<std::uint16_t>(def->TableID()));
    io.SetMode(def->CipherMode());
    io.Open();
    NewIndexRoots(def, header, io);
    io.Close();
  } catch (...) {
    header->SetDirty(false);  // nothing of a failed reset is kept
    try {
      headers_->CloseTable(header);
    } catch (const std::exception& e) {
      LogQuietly("Header not closed after a failed reset: ", e);
    }
    throw;
  }
  headers_->CloseTable(header);
}

int TDiskTableDefMgr::CreateTableDef(const AnsiString& name, TTableDef* def) {
  const char* loc = "TDiskTableDefMgr.CreateTableDef";
  if (def->Memory()) UdbDatabaseError(udberr::kInvalidOperation, loc, name);
  return CreateCopy(name, def, *headers_, Disk(), loc);
}

int TDiskTableDefMgr::OpenTableDefConnection(const AnsiString& name, TTableDef* def) {
  int pos = FindByName(name);
  bool created = false;
  if (pos < 0) {
    auto copy = std::make_unique<TTableDef>();
    copy->Assign(def);
    if (!name.empty()) copy->SetTableName(name);
    copy->SetOwnerFlag(static_cast<std::uint32_t>(copy->TableID()) * 16);
    copy->SetManagerCopy(true);
    defs_.push_back(std::move(copy));
    pos = Count() - 1;
    created = true;
  }
  TTableDef* copy = Items(pos);
  try {
    OpenCopy(copy, *headers_, Disk());
  } catch (...) {
    if (created) defs_.erase(defs_.begin() + pos);
    throw;
  }
  def->ShareIO(*copy);
  def->SetOwnerFlag(copy->OwnerFlag());
  // The caller's definition addresses records through the layout the copy
  // checked when it opened.
  def->SetRecordSize(copy->RecordSize());
  def->InternalFields()->Assign(copy->InternalFields());
  def->InternalFields()->SetRecordSize(copy->RecordSize());
  def->InternalFields()->BuildFieldIndex();
  copy->SetConnectionCount(copy->ConnectionCount() + 1);
  return 0;
}

void TDiskTableDefMgr::CloseTableDefConnection(int tableId) {
  CloseConnection(tableId, true, *headers_, "TDiskTableDefMgr.CloseTableDefConnection");
}

int TDiskTableDefMgr::DeleteTableDef(const AnsiString& name, TTableDef* def) {
  return DeleteCopy(name, def, *headers_, "TDiskTableDefMgr.DeleteTableDef");
}

void TDiskTableDefMgr::RestructureTableDef(TTableDef* def, const TRestructureRequest& request) {
  const char* loc = "TDiskTableDefMgr.RestructureTableDef";
  if (def->Memory()) UdbDatabaseError(udberr::kInvalidOperation, loc, def->TableName());
  TTableHeader* header = def->Header();
  if (header == nullptr || !def->IOOpen()) UdbDatabaseError(udberr::kNotInitialized, loc, def->TableName());
  udbhdr::CheckHeaderSize(def->InternalIndexDefs()->Count());  // as at create
  def->CheckIndexSequences(loc);

  const std::uint32_t autoInc = request.SetLastAutoInc ? request.LastAutoInc : header->LastAutoInc();
  const std::uint32_t value1 = request.SetValue1 ? request.Value1 : header->RestructureValue1();
  const std::uint32_t value2 = request.SetValue2 ? request.Value2 : header->RestructureValue2();
  auto changed = [](TRestructureStatus s) { return s >= rsNewItem && s <= rsDataLossPossible; };
  const bool fieldsChanged = request.FieldDefs && changed(request.FieldDefs->Status());
  const bool indexesChanged = request.IndexDefs && changed(request.IndexDefs->Status());

  if (fieldsChanged || indexesChanged) {
    const TUdbAddr address = header->Address();
    const std::uint32_t tableId = header->TableId();
    const std::uint32_t counter = header->WriteCounter();
    const int indexCount = std::max(def->InternalIndexDefs()->Count(), 1);
    header->Resize(udbhdr::kTableHeaderSize, fieldsChanged);
    header->SetAddress(address);
    header->SetTableId(tableId);
    // The counter keeps running: a cleared one would look like a header
    // nobody has written yet to other connections.
    header->SetDWord(udbhdr::kWriteCounter, counter);
    header->SetIndexCount(static_cast<std::uint32_t>(indexCount));
    // The blob free runs are untouched by a restructure: keep their head.
    if (def->BlobIO()->FirstEmptyValid()) header->SetBlobFirstEmpty(def->BlobIO()->FirstEmpty());
  }
  header->SetLastAutoInc(autoInc);
  header->SetRestructureValue1(value1);
  header->SetRestructureValue2(value2);

  if (fieldsChanged) {
    // Every record goes (the dataset copies them back); the free runs went
    // with the pages, so both heads start again at 0.
    def->RecordIO()->Empty(true);
    def->RecordIO()->SetFirstEmpty(0);
    header->SetRecordFirstEmpty(0);
    header->SetLastRecordID(0);
  }
  if (!fieldsChanged && !indexesChanged) {
    header->WriteHeader();
    return;
  }
  def->IndexIO()->SetFirstEmptyValid(false);
  NewIndexRoots(def, header, *def->IndexIO());
}
