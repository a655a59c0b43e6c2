// TUdbLocalConnection (see UdbLocalConnection.h).
#include "Udb/UdbLocalConnection.h"

#include <algorithm>

#include "Udb/DBLogger.h"
#include "Udb/DiskMgr.h"
#include "Udb/RestructureDefs.h"
#include "Udb/TableHeader.h"
#include "Udb/UdbDataSet.h"
#include "Udb/UdbDataSetInt.h"
#include "Udb/UdbTableCursor.h"
#include "Udb/UdbFileIO.h"
#include "platform/core/AnsiText.h"

using namespace udbcur;

TUdbLocalConnection::TUdbLocalConnection() : memMgr_(std::make_unique<TMemoryTableDefMgr>()) { memMgr_->Open(); }

TUdbLocalConnection::~TUdbLocalConnection() {
  for (TUdbDataSet* ds : std::vector<TUdbDataSet*>(clients_)) {
    try {
      ds->CloseDataSet();
    } catch (...) {
    }
    ds->SetDataBase(nullptr);
  }
  diskMgr_.reset();
  headerIO_.reset();
  memMgr_.reset();
}

void TUdbLocalConnection::AttachDisk(TDiskMgr* disk, TUdbFileSystem* fs) {
  disk_ = disk;
  fs_ = fs;
  headerIO_ = std::make_unique<TDiskIOInterface>();
  headerIO_->SetDiskMgr(disk);
  headerIO_->SetBlockSize(udbhdr::kTableHeaderSize);
  headerIO_->SetUsage(kUsageTableHeader);
  headerIO_->SetMode(kIOModeRaw);
  headerIO_->SetGlobalHeaderItem(udbfmt::kItemUserTableHdrFirstEmpty);
  headerIO_->Open();
  diskMgr_ = std::make_unique<TDiskTableDefMgr>();
  diskMgr_->SetHeaderIO(headerIO_.get());
  diskMgr_->SetMapAddress(3 * static_cast<TUdbAddr>(disk->PageSize()));
  diskMgr_->Open();
}

AnsiString TUdbLocalConnection::Directory() const {
  if (disk_ == nullptr) return AnsiString();
  const AnsiString& name = disk_->FileName();
  const auto slash = name.find_last_of("/\\");
  return slash == AnsiString::npos ? AnsiString() : AnsiString(name.substr(0, slash + 1));
}

AnsiString TUdbLocalConnection::DataBaseName() const {
  if (disk_ == nullptr) return "MEMORY";
  const AnsiString& name = disk_->FileName();
  const auto slash = name.find_last_of("/\\");
  return slash == AnsiString::npos ? name : AnsiString(name.substr(slash + 1));
}

void TUdbLocalConnection::RegisterClient(TUdbDataSet* dataSet) {
  if (std::find(clients_.begin(), clients_.end(), dataSet) == clients_.end()) clients_.push_back(dataSet);
}

void TUdbLocalConnection::UnRegisterClient(TUdbDataSet* dataSet) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), dataSet), clients_.end());
}

TBaseTableDefMgr& TUdbLocalConnection::MgrFor(bool memory) const {
  if (memory) return *memMgr_;
  if (!diskMgr_) UdbDatabaseError(udberr::kNoSuchTable, "TUdbLocalConnection.OpenTableDef", "No database file is attached");
  return *diskMgr_;
}

TTableDef* TUdbLocalConnection::StoredDef(const AnsiString& name) const {
  const auto it = diskDefs_.find(AnsiUpperCase(name));
  if (it != diskDefs_.end()) return it->second.get();
  const int pos = memMgr_->FindByName(name);
  return pos >= 0 ? memMgr_->Items(pos) : nullptr;
}

void TUdbLocalConnection::OpenTableDef(const AnsiString& name, TTableDef* def) {
  const char* loc = "TUdbLocalConnection.OpenTableDef";
  if (def->Memory()) {
    if (memMgr_->FindByName(name) < 0) UdbDatabaseError(udberr::kNoSuchTable, loc, name);
    memMgr_->OpenTableDefConnection(name, def);
    return;
  }
  const auto it = diskDefs_.find(AnsiUpperCase(name));
  if (it == diskDefs_.end()) UdbDatabaseError(udberr::kNoSuchTable, loc, name);
  def->Assign(it->second.get());
  MgrFor(false).OpenTableDefConnection(name, def);
}

void TUdbLocalConnection::CloseTableDef(TTableDef* def) {
  MgrFor(def->Memory()).CloseTableDefConnection(def->TableID());
  def->CloseIO();
}

void TUdbLocalConnection::CreateTable(TTableDef* def) {
  if (def->Memory()) {
    memMgr_->CreateTableDef(def->TableName(), def);
    return;
  }
  LockHeader(true);
  struct TUnlock {
    TUdbLocalConnection& c;
    bool took;
    ~TUnlock() {
      if (took) c.LockHeader(false);
    }
  } unlock{*this, true};
  MgrFor(false).CreateTableDef(def->TableName(), def);
  auto copy = std::make_unique<TTableDef>();
  copy->Assign(def);
  diskDefs_[AnsiUpperCase(def->TableName())] = std::move(copy);
}

void TUdbLocalConnection::StoreTableDef(TTableDef* def, int change) {
  const char* loc = "TUdbLocalConnection.StoreTableDef";
  if (def->Memory()) UdbDatabaseError(udberr::kWrongTableType, loc, def->TableName());
  const auto it = diskDefs_.find(AnsiUpperCase(def->TableName()));
  if (it == diskDefs_.end()) UdbDatabaseError(udberr::kNoSuchTable, loc, def->TableName());
  auto fresh = std::make_unique<TTableDef>();
  fresh->Assign(def);
  fresh->SetTableID(it->second->TableID());
  if (change != kStoreDefinition) {
    if (change == kStoreRebuild) KeepPreviousDef(def->TableName());
    // The manager's copy is reopened with the new layout: records and
    // index roots start empty.
    TTableDef open;
    open.Assign(it->second.get());
    diskMgr_->OpenTableDefConnection(def->TableName(), &open);
    TTableDef* copy = diskMgr_->Items(diskMgr_->FindByName(def->TableName()));
    try {
      copy->InternalIndexDefs()->Assign(def->InternalIndexDefs());
      copy->KeyFields()->Assign(def->KeyFields());
      TRestructureFieldDefs fields;
      TRestructureIndexDefs indexes;
      fields.SetStatus(change == kStoreRebuild ? rsDataRequirementsChanged : rsUnchanged);
      indexes.SetStatus(rsDataRequirementsChanged);
      TRestructureRequest request;
      request.FieldDefs = &fields;
      request.IndexDefs = &indexes;
      diskMgr_->RestructureTableDef(copy, request);
    } catch (...) {
      diskMgr_->CloseTableDefConnection(open.TableID());
      open.CloseIO();
      throw;
    }
    diskMgr_->CloseTableDefConnection(open.TableID());
    open.CloseIO();
  }
  it->second = std::move(fresh);
}

void TUdbLocalConnection::CopyDatabase(const AnsiString& targetFile, bool overwrite) {
  const char* loc = "TUdbLocalConnection.CopyDatabase";
  if (disk_ == nullptr) UdbDatabaseError(udberr::kWrongTableType, loc);
  TUdbFileSystem& fs = fs_ ? *fs_ : PosixFileSystem();
  if (fs.Exists(targetFile)) {
    if (!overwrite) UdbDatabaseError(udberr::kFileCopyFailed, loc, targetFile);
    fs.Remove(targetFile);
  }
  disk_->CopyDatabaseFile(targetFile);
}

int TUdbLocalConnection::RebuildTable(const AnsiString& tableName, const AnsiString& sourceFile, TUdbDataSet* target) {
  const char* loc = "TUdbLocalConnection.RebuildTable";
  const auto it = prevDefs_.find(AnsiUpperCase(tableName));
  if (it == prevDefs_.end()) UdbDatabaseError(udberr::kNoSuchTable, loc, tableName);
  TDiskMgr source;
  if (fs_) source.SetFileSystem(fs_);
  source.SetFileName(sourceFile);
  source.SetPageSize(disk_->PageSize());
  source.SetMode(0 + 16);
  source.Open();
  source.SetMasterKey(disk_->MasterKey());
  int failed = 0;
  {
    TUdbLocalConnection conn;
    conn.AttachDisk(&source, fs_);
    conn.SetReadOnly(true);
    auto copy = std::make_unique<TTableDef>();
    copy->Assign(it->second.get());
    conn.diskDefs_[AnsiUpperCase(tableName)] = std::move(copy);
    TUdbTableCursor from;
    from.SetDataBase(&conn);
    from.SetTableName(tableName);
    from.DataSetOpen();
    failed = from.CopyRawTableData(target);
    from.CloseDataSet();
    from.SetDataBase(nullptr);
  }
  source.Close();
  return failed;
}

void TUdbLocalConnection::KeepPreviousDef(const AnsiString& name) {
  const auto it = diskDefs_.find(AnsiUpperCase(name));
  if (it == diskDefs_.end()) return;
  auto copy = std::make_unique<TTableDef>();
  copy->Assign(it->second.get());
  prevDefs_[AnsiUpperCase(name)] = std::move(copy);
}

bool TUdbLocalConnection::LockTable(const TTableDef& def, int kind) {
  if (def.Memory() || disk_ == nullptr) return false;
  return disk_->LockTable(def.TableID(), kind) != 0;
}

void TUdbLocalConnection::UnlockTable(const TTableDef& def) {
  if (def.Memory() || disk_ == nullptr) return;
  disk_->UnlockTable(def.TableID());
}

bool TUdbLocalConnection::LockRecord(const TTableDef& def, TUdbAddr address) {
  if (def.Memory() || disk_ == nullptr) return false;
  return disk_->LockRecord(static_cast<int>(address)) != 0;
}

void TUdbLocalConnection::UnlockRecord(const TTableDef& def, TUdbAddr address) {
  if (def.Memory() || disk_ == nullptr) return;
  disk_->UnlockRecord(static_cast<int>(address));
}

void TUdbLocalConnection::LockHeader(bool lock) {
  if (lock == headerLocked_ || disk_ == nullptr) {
    headerLocked_ = lock;
    return;
  }
  if (lock)
    disk_->LockHeaderWrite();
  else
    disk_->UnlockHeader();
  headerLocked_ = lock;
}

bool TUdbLocalConnection::InTransaction() const { return disk_ != nullptr && disk_->InTransaction(); }

void TUdbLocalConnection::StartTransaction() {
  if (disk_ == nullptr) UdbDatabaseError(udberr::kNotForMemory, "TUdbLocalConnection.StartTransaction");
  disk_->StartTransaction();
}

void TUdbLocalConnection::Commit() {
  if (disk_ != nullptr) disk_->Commit();
}

void TUdbLocalConnection::Rollback() {
  if (disk_ == nullptr) return;
  disk_->Rollback();
  for (TUdbDataSet* ds : clients_)
    if (ds->CursorOpen()) ds->ResetIndexCaches();
}

void TUdbLocalConnection::RollbackChange() {
  try {
    Rollback();
  } catch (const std::exception& e) {
    UdbLogger().Log("TUdbLocalConnection", AnsiString("Rollback of a failed change failed: ") + e.what());
  }
}
