// TDiskMgr: see DiskMgr.h.
#include "Udb/DiskMgr.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "Udb/Crc32.h"
#include "Udb/DBLogger.h"
#include "Udb/EngineKeys.h"
#include "Udb/Sha1Stream.h"
#include "Udb/UdbErrors.h"
#include "platform/core/Files.h"

using namespace udbfmt;

// --- lock factory -------------------------------------------------------------

namespace {
TDiskLocksFactory& FactorySlot() {
  static TDiskLocksFactory factory = DefaultDiskLocksFactory();
  return factory;
}
}  // namespace

void SetDiskLocksFactory(TDiskLocksFactory factory) { FactorySlot() = std::move(factory); }
const TDiskLocksFactory& DiskLocksFactory() { return FactorySlot(); }

// --- header write scope ---------------------------------------------------------

// Takes the header write lock when it is not held; when this scope took it
// (no header lock was held before), Finish writes the header if dirty and
// releases it.  On an exception the lock is released without throwing.
class THeaderWriteScope {
 public:
  explicit THeaderWriteScope(TDiskMgr& disk)
      : disk_(disk), took_(!disk.headerReadLocked_ && !disk.headerWriteLocked_) {
    if (!disk_.headerWriteLocked_) disk_.LockHeaderWrite();
  }
  ~THeaderWriteScope() {
    if (took_ && !finished_) disk_.ReleaseHeaderQuietly();
  }
  void Finish() {
    finished_ = true;
    if (took_) disk_.UnlockHeader();
  }

 private:
  TDiskMgr& disk_;
  bool took_;
  bool finished_ = false;
};

// --- free helpers -----------------------------------------------------------------

int GetBestPageRequestSize(int blockSize, int pageSize) {
  if (blockSize <= 0 || pageSize <= 0) return pageSize;
  const std::int64_t s = (std::int64_t(blockSize) + pageSize - 1) / pageSize * pageSize;
  if (pageSize >= blockSize && s % blockSize <= pageSize / 4) return static_cast<int>(s);
  std::int64_t best = s, bestRemainder = s % blockSize;
  for (std::int64_t candidate = s; candidate < 10 * s; candidate += pageSize) {
    if (candidate % blockSize < bestRemainder) {
      best = candidate;
      bestRemainder = candidate % blockSize;
    }
  }
  return static_cast<int>(best);
}

AnsiString LockFileNameFor(const AnsiString& databaseFileName) {
  if (databaseFileName.LowerCase().Pos(".udb") > 0) return ChangeFileExt(databaseFileName, ".lck");
  // Only the file name's own first '.' becomes '_': a dot in a directory
  // name must not move the lock file into another directory.
  AnsiString name = ExtractFileName(databaseFileName);
  size_t dot = name.find('.');
  if (dot != AnsiString::npos) name[dot] = '_';
  name += ExtractFileExt(databaseFileName);
  return ChangeFileExt(ExtractFilePath(databaseFileName) + name, ".lck");
}

bool UdbCopyFile(const AnsiString& source, const AnsiString& target, bool overwrite, TUdbFileSystem& fs) {
  if (!overwrite && fs.Exists(target)) return false;
  if (fs.SameFile(source, target)) return false;  // creating the target would empty the source
  AnsiString error;
  TUdbOpenMode mode;
  mode.write = false;
  std::unique_ptr<TUdbFileIO> in = fs.Open(source, mode, error);
  if (!in) return false;
  std::unique_ptr<TUdbFileIO> out = fs.Create(target, error);
  if (!out) return false;
  std::vector<std::uint8_t> chunk(65536);
  std::int64_t offset = 0;
  for (;;) {
    std::int64_t got = in->ReadAt(offset, chunk.data(), static_cast<std::int64_t>(chunk.size()));
    if (got < 0) return false;
    if (got == 0) break;
    if (out->WriteAt(offset, chunk.data(), got) != got) return false;
    offset += got;
  }
  return out->Flush() && out->Size() == in->Size();
}

// --- settings ---------------------------------------------------------------------

TDiskMgr::TDiskMgr() : fs_(&PosixFileSystem()) {
  // A spill writes pages before the commit: first every table the
  // transaction holds is raised to a write lock, as at commit.
  file_.OnSpillLocks = [this]() -> bool {
    if (!locks_) return true;
    try {
      TakeWriteIntent();
      locks_->LockPending();
      locks_->UpgradeTableLocks();
    } catch (const EUdbDatabaseError& e) {
      if (e.ErrorCode() != udberr::kLockTimeout) throw;
      return false;
    }
    return true;
  };
}

TDiskMgr::~TDiskMgr() { Close(); }

void TDiskMgr::SetLockRetryInterval(int ms) {
  retryInterval_ = ms;
  file_.SetLockRetry(retryMaximum_, retryInterval_);
  if (locks_) locks_->SetRetry(retryMaximum_, retryInterval_);
}

void TDiskMgr::SetLockRetryMaximum(int n) {
  retryMaximum_ = n;
  file_.SetLockRetry(retryMaximum_, retryInterval_);
  if (locks_) locks_->SetRetry(retryMaximum_, retryInterval_);
}

void TDiskMgr::SetFileSystem(TUdbFileSystem* fs) {
  fs_ = fs ? fs : &PosixFileSystem();
  file_.SetFileSystem(fs_);
}

void TDiskMgr::CheckPageSize(const char* location) const {
  if (pageSize_ < kMinPageSize || (pageSize_ & (pageSize_ - 1)) != 0)
    UdbDatabaseError(udberr::kInternal, location, "Invalid database page size");
}

// --- create, open, close -------------------------------------------------------------

void TDiskMgr::CreateNewFile(bool overwrite) {
  Close();
  CheckPageSize("TDiskMgr.CreateNewFile");
  if (fs_->Exists(fileName_) && !overwrite) UdbDatabaseError(udberr::kFileExists, "TDiskMgr.CreateNewFile", fileName_);
  file_.SetPageSize(pageSize_);
  AnsiString error;
  if (!file_.CreateUdbFile(fileName_, error))
    UdbDatabaseError(udberr::kCannotCreate, "TDiskMgr.CreateNewFile", fileName_ + ": " + error);
  try {
    header_ = std::make_unique<TGlobalHdr>();
    header_->Initialize(kGlobalHeaderSize, kGlobalHeaderOffset);
    map_ = std::make_unique<TMapPageMgr>(*this, *header_, pageSize_);
    std::vector<std::uint8_t> zero(static_cast<size_t>(pageSize_), 0);
    for (int page = 0; page < kNewFilePages; ++page)
      file_.WriteRaw(zero.data(), static_cast<TUdbAddr>(page * pageSize_), pageSize_);
    const TUdbAddr firstMap = static_cast<TUdbAddr>(kFirstMapPageNo * pageSize_);
    header_->SetItem(kItemFirstMapPage, firstMap);
    header_->SetItem(kItemMapPageCount, 1);
    header_->SetItem(kItemFreeMapPageHint, firstMap);
    headerWriteLocked_ = headerReadLocked_ = true;  // nobody else can know the file yet
    WriteHeader();
    header_->SetLoaded(true);
    map_->SetEntries(kUsageStructure, 0, kStructurePages);
    map_->SetEntries(kUsageMapPage, firstMap, 1);
    // The marks leave the hint in memory only: a new file keeps hint = the
    // first map page, whose first search finds nothing and appends.
    file_.Flush();
  } catch (...) {
    headerWriteLocked_ = headerReadLocked_ = false;
    header_.reset();
    map_.reset();
    file_.Close();
    fs_->Remove(fileName_);  // a half-built file is no database
    throw;
  }
  headerWriteLocked_ = headerReadLocked_ = false;
  map_.reset();
  header_.reset();
  file_.Close();
}

void TDiskMgr::Open() {
  Close();
  if (pageSize_ == 0) UdbDatabaseError(udberr::kInternal, "TDiskMgr.Open", "PageSize is 0");
  CheckPageSize("TDiskMgr.Open");
  if (!fs_->Exists(fileName_)) UdbDatabaseError(udberr::kNoSuchFile, "TDiskMgr.Open", fileName_);
  const bool lockingWanted = !fs_->IsReadOnly(fileName_);
  file_.SetXORKeyBuf(kXorKeyBuffer.data(), static_cast<int>(kXorKeyBuffer.size()));
  exclusive_ = (mode_ & 0x70) == 16;
  readOnlyMode_ = (mode_ & 7) == 0;
  file_.SetPageSize(pageSize_);
  file_.SetReadAccess(true);
  file_.SetWriteAccess(!readOnlyMode_);
  file_.SetShareDenyRead(exclusive_);
  file_.SetShareDenyWrite(exclusive_);
  file_.SetLockRetry(retryMaximum_, retryInterval_);
  // The journal is named after the file as the file system spells it, so
  // every connection, whatever spelling it was given, asks for the same
  // name - and can ask at every lock without reading the directory.
  file_.SetJournalFileName(JournalFileNameFor(fs_->SpelledOnDisk(fileName_)));
  file_.OpenUdbFile(fileName_);
  try {
    if (lockingWanted && DiskLocksFactory()) {
      TDiskLocksParams params;
      params.databaseFile = file_.FileIO();
      params.fileSystem = fs_;
      params.databaseFileName = fileName_;
      params.lockFileName = LockFileNameFor(fileName_);
      params.retryMaximum = retryMaximum_;
      params.retryInterval = retryInterval_;
      params.pageSize = pageSize_;
      locks_ = DiskLocksFactory()(params);
      if (locks_)
        locks_->SetRecordPageTest(
            [this](std::int64_t page, std::int64_t ofPage) { return HoldsNoOtherRecords(page, ofPage); });
    }
    // Before anything is read: a commit cut short is undone first.  A
    // journal while a live writer holds the intent is that writer's own:
    // connecting does not wait for it (nor for the writers queued behind
    // it); every lock taken later restores a journal its writer left.
    if (file_.JournalExists()) RecoverJournal();
    std::int64_t size = file_.FileSize();
    if (size < std::int64_t(kNewFilePages) * pageSize_ || size % pageSize_ != 0 || size > kMaxFileSize)
      UdbDatabaseErrorFmt(udberr::kCorrupt, "TDiskMgr.Open", "%s is not a database file of %d-byte pages (size %d)",
                          nullptr, {fileName_, pageSize_, size});
    file_.SetCacheEnabled(true);
    header_ = std::make_unique<TGlobalHdr>();
    header_->Initialize(kGlobalHeaderSize, kGlobalHeaderOffset);
    map_ = std::make_unique<TMapPageMgr>(*this, *header_, pageSize_);
    LockHeaderRead();
    ReadHeader();
    UnlockHeader();
  } catch (...) {
    Close();
    throw;
  }
}

void TDiskMgr::ReleaseHeaderQuietly() {
  try {
    UnlockHeader();
  } catch (const std::exception& e) {
    UdbLogger().Log("TDiskMgr", AnsiString("Header release failed: ") + e.what());
    headerReadLocked_ = headerWriteLocked_ = false;
  }
}

void TDiskMgr::Close() {
  if (file_.IsOpen() && header_ && header_->Loaded() && header_->Dirty() && !file_.InTransaction() &&
      !readOnlyMode_) {
    try {
      file_.WriteRaw(header_->Buffer(), kGlobalHeaderOffset, kGlobalHeaderSize);
    } catch (const std::exception& e) {
      UdbLogger().Log("TDiskMgr", AnsiString("Header write at close failed: ") + e.what());
    }
  }
  if (locks_) {
    try {
      locks_->ReleaseAll();
    } catch (const std::exception& e) {
      UdbLogger().Log("TDiskMgr", AnsiString("Lock release at close failed: ") + e.what());
    }
    locks_.reset();
  }
  file_.Close();
  headerReadLocked_ = headerWriteLocked_ = false;
  map_.reset();
  header_.reset();
}

// --- master key and security header ----------------------------------------------------

void TDiskMgr::SetMasterKey(const AnsiString& key) {
  AnsiString effective = key.empty() ? AnsiString(kDefaultMasterKey) : key;
  if (effective.Length() > kBlowfishMaxKeyBytes)
    UdbDatabaseErrorFmt(udberr::kKeyTooLarge, "TDiskMgr.SetMasterKey", "The master key may hold at most %d bytes, not %d",
                        nullptr, {kBlowfishMaxKeyBytes, effective.Length()});
  file_.SetBlowfishKey(effective.data(), effective.Length());
  masterKey_ = effective;
}

void TDiskMgr::ReadSecurityHeader(TSecurityHeader& header) {
  file_.ReadRaw(header.bytes, kSecurityHeaderOffset, kSecurityHeaderSize);
}

void TDiskMgr::WriteSecurityHeader(const TSecurityHeader& header) {
  file_.WriteRaw(header.bytes, kSecurityHeaderOffset, kSecurityHeaderSize);
}

namespace {
// Local time as a TDateTime (days since 30 December 1899).
double NowAsDateTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return (double(now) + double(local.tm_gmtoff)) / 86400.0 + 25569.0;
}
}  // namespace

TSecurityHeader TDiskMgr::MakeSecurityHeader() const {
  TSecurityHeader h;
  PutU32(h.bytes + kSecSizeField, kSecurityHeaderSize);
  double stamp = NowAsDateTime();
  std::memcpy(h.bytes + kSecTimeStamp, &stamp, 8);  // little-endian IEEE double
  PutU16(h.bytes + kSecVersion1, 1);
  PutU16(h.bytes + kSecVersion2, 1);
  TSha1Digest digest;
  Sha1OfString(masterKey_, digest);
  Sha1DigestToBytes(digest, h.bytes + kSecDigest);
  PutU32(h.bytes + kSecCrc, Crc32(h.bytes, kSecurityHeaderSize));
  return h;
}

void TDiskMgr::WriteSecurityHeader() { WriteSecurityHeader(MakeSecurityHeader()); }

void TDiskMgr::VerifySecurityHeader() {
  TSecurityHeader h;
  ReadSecurityHeader(h);
  std::uint32_t stored = GetU32(h.bytes + kSecCrc);
  PutU32(h.bytes + kSecCrc, 0);
  if (Crc32(h.bytes, kSecurityHeaderSize) != stored)
    UdbDatabaseError(udberr::kCorrupt, "TDiskMgr.ReadSecurityHeader", "The Security Header CRC is incorrect");
  PutU32(h.bytes + kSecCrc, stored);
  TSha1Digest digest;
  Sha1OfString(masterKey_, digest);
  std::uint8_t expected[20];
  Sha1DigestToBytes(digest, expected);
  if (std::memcmp(expected, h.bytes + kSecDigest, 20) != 0)
    UdbDatabaseError(udberr::kCorrupt, "TDiskMgr.ReadSecurityHeader", "The MasterKey is incorrect");
}

// --- global header ---------------------------------------------------------------------

void TDiskMgr::ValidateHeader() {
  const std::int64_t size = file_.FileSize();
  const std::uint32_t firstMap = header_->GetItem(kItemFirstMapPage);
  const std::uint32_t mapCount = header_->GetItem(kItemMapPageCount);
  const std::uint32_t hint = header_->GetItem(kItemFreeMapPageHint);
  auto isPage = [&](std::uint32_t a) {
    return a % pageSize_ == 0 && a >= std::uint32_t(kFirstMapPageNo * pageSize_) && std::int64_t(a) < size;
  };
  const char* bad = nullptr;
  if (!isPage(firstMap))
    bad = "FirstMapPage";
  else if (mapCount == 0 || std::int64_t(mapCount) > size / pageSize_)
    bad = "MapPageCount";
  else if (hint != 0 && !isPage(hint))
    bad = "FreeMapPageHint";
  if (bad)
    UdbDatabaseErrorFmt(udberr::kCorrupt, "TDiskMgr.ReadHeader", "Global header item %s is out of range", nullptr,
                        {AnsiString(bad)});
}

void TDiskMgr::ReadHeader() {
  if (!headerReadLocked_ && !headerWriteLocked_) UdbDatabaseError(udberr::kNeedsLock, "TDiskMgr.ReadHeader");
  std::vector<std::uint8_t> fresh(static_cast<size_t>(header_->Size()));
  file_.ReadRaw(fresh.data(), static_cast<TUdbAddr>(header_->FileOffset()), header_->Size());
  std::memcpy(header_->Buffer(), fresh.data(), fresh.size());
  header_->SetDirty(false);
  header_->SetLoaded(true);
  ValidateHeader();
}

void TDiskMgr::WriteHeader() {
  const bool took = !headerWriteLocked_;
  if (took) LockTable(0, kUdbWriteLock);
  try {
    file_.WriteRaw(header_->Buffer(), static_cast<TUdbAddr>(header_->FileOffset()), header_->Size());
  } catch (...) {
    if (took && !headerReadLocked_) UnlockTable(0);
    throw;
  }
  header_->SetDirty(false);
  if (took && !headerReadLocked_) UnlockTable(0);
}

void TDiskMgr::LockHeaderWrite() {
  const bool held = headerReadLocked_ || headerWriteLocked_;
  LockTable(0, kUdbWriteLock);
  headerReadLocked_ = headerWriteLocked_ = true;
  AfterHeaderLocked(held);
}

void TDiskMgr::LockHeaderRead() {
  const bool held = headerReadLocked_ || headerWriteLocked_;
  LockTable(0, kUdbReadLock);
  headerReadLocked_ = true;
  AfterHeaderLocked(held);
}

// The header lock guards allocation: inside a transaction it is held until
// the end, so the file's end read now stays ours to append at.
void TDiskMgr::AfterHeaderLocked(bool wasHeld) {
  if (wasHeld) return;
  file_.RefreshTransactionEnd();
  ReadHeader();
}

void TDiskMgr::UnlockHeader() {
  bool dirty = header_ && header_->Dirty();
  headerReadLocked_ = headerWriteLocked_ = false;
  if (dirty) {
    headerWriteLocked_ = true;  // the write happens under the lock still held
    try {
      WriteHeader();
    } catch (...) {
      headerWriteLocked_ = false;
      UnlockTable(0);
      throw;
    }
    headerWriteLocked_ = false;
  }
  UnlockTable(0);
}

// --- locks ---------------------------------------------------------------------------

int TDiskMgr::LockTable(int tableId, int lockType) {
  // Another connection may have written since the last lock: pages read
  // on ahead before it are no longer the file's.
  file_.ForgetRun();
  int requested = lockType;
  if (InTransaction() && lockType == kUdbWriteLock) {
    lockType = kUdbReadLock;
    TakeWriteIntent();
  } else if (InTransaction() && locks_ && locks_->WantsWriteIntent() && !locks_->HoldsWriteIntent() &&
             !locks_->HoldsTableReadLocks()) {
    // A transaction refused the intent before (it read, then wanted to
    // write) and started again: it waits for its turn now, while it holds
    // nothing a committing writer could wait for, instead of reading in
    // vain once more.  Not served within the budget, it reads on as before.
    try {
      TakeWriteIntent();
    } catch (const EUdbDatabaseError& e) {
      if (e.ErrorCode() != udberr::kLockTimeout) throw;
    }
  }
  const int had = locks_ ? locks_->TableLockType(tableId) : 0;
  int held = locks_ ? locks_->LockTable(tableId, lockType) : lockType;
  // A writer that died half-way through its commit left its journal: undo
  // it before anything is read under this lock.  Not while this connection
  // holds the intent to write: taking it restored any journal left, and no
  // other connection can commit (so leave one) until it is given up - a
  // transaction then asks the file system nothing at its every lock.
  if (locks_ && !locks_->HoldsWriteIntent() && file_.JournalExists()) {
    try {
      AwaitJournalRestored(tableId, lockType, had == 0);
    } catch (...) {
      if (had == 0 && locks_->TableLockType(tableId) != 0) locks_->UnlockTable(tableId);
      throw;
    }
  }
  UdbLogger().IncCounter(requested == kUdbWriteLock ? "WRITELOCK" : "READLOCK", 1);
  return held;
}

// A journal beside the file is either a live writer's own - it holds the
// writer's mark while it commits or spills, with the write locks of every
// table it wrote, so the table just locked is none of them - or it was
// left by a writer that died or could not restore it, and then the file
// may hold half a commit: nothing is read before it is restored, by this
// connection if it can take the intent, else by the one holding it, which
// waits for every table lock to go - so the lock just taken (taken: this
// call took it) is let go while waiting, and taken again after.
void TDiskMgr::AwaitJournalRestored(int tableId, int lockType, bool taken) {
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(std::int64_t(retryMaximum_) * retryInterval_);
  while (file_.JournalExists() && !RecoverJournal() && !locks_->WriterAtWork()) {
    if (std::chrono::steady_clock::now() >= until)
      UdbDatabaseError(udberr::kLockTimeout, "TDiskMgr.LockTable",
                       "The database file is being restored from its journal by another connection");
    if (taken) locks_->UnlockTable(tableId);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (taken) locks_->LockTable(tableId, lockType);
  }
}

// Restores a journal no live writer owns, this connection holding the
// intent: every other connection's table locks are waited out and kept
// off while the pages go back.
bool TDiskMgr::RestoreUnderExclusion() {
  locks_->BeginRestore();
  struct TEnd {
    TDiskMgr& disk;
    ~TEnd() {
      disk.ForgetKeptMapPages();
      disk.locks_->EndRestore();
    }
  } end{*this};
  return file_.RecoverJournal();
}

void TDiskMgr::ForgetKeptMapPages() {
  if (map_) map_->ForgetKeptPages();
}

void TDiskMgr::TakeWriteIntent() {
  if (!locks_ || locks_->HoldsWriteIntent()) return;
  // Waiting while holding read locks would hold off the writer we wait for
  // at its commit: then one try only, and 10249 makes this one retry (in
  // its turn: the refused request keeps its place).
  locks_->LockWriteIntent(!locks_->HoldsTableReadLocks());
  ForgetKeptMapPages();  // others may have written since it was last held
  // Holding the intent, no live writer can own a journal: one is hot.  Not
  // restored, it goes with the intent: another connection restores it.
  if (file_.JournalExists()) {
    try {
      RestoreUnderExclusion();
    } catch (...) {
      locks_->UnlockWriteIntent();
      throw;
    }
  }
}

bool TDiskMgr::RecoverJournal() {
  if (!file_.JournalExists()) return false;
  if (!locks_) return file_.RecoverJournal();
  if (locks_->HoldsWriteIntent()) {
    ForgetKeptMapPages();
    return file_.RecoverJournal();
  }
  if (!locks_->TryWriteIntentToRestore()) return false;  // a live writer is committing: the journal is its own
  bool restored = false;
  try {
    restored = RestoreUnderExclusion();
  } catch (...) {
    locks_->UnlockWriteIntent();
    throw;
  }
  locks_->UnlockWriteIntent();
  if (restored && header_ && header_->Loaded() && (headerReadLocked_ || headerWriteLocked_)) ReadHeader();
  return restored;
}

bool TDiskMgr::HoldsTableLock(int tableId) const { return locks_ && locks_->TableLockType(tableId) != 0; }

void TDiskMgr::UnlockTable(int tableId) {
  file_.ForgetRun();
  if (InTransaction() || !locks_) return;
  locks_->UnlockTable(tableId);
}

// A record is locked to change it: inside a transaction the intent to
// write comes first, so a second writer is refused at once instead of
// waiting on a record the first holds while the first waits for its reads.
int TDiskMgr::LockRecord(int recordId) {
  if (!locks_) return 0;
  const bool inTransaction = InTransaction();
  if (inTransaction) TakeWriteIntent();
  return locks_->LockRecord(recordId, inTransaction);
}

// Asked while this connection holds the intent to write, so no other
// connection changes the map meanwhile.  ofPage holds records (the locks
// took it for them): a page of the same owner, or of another usage (index
// nodes, blobs, headers, map pages), holds no record of another table.
// Free and never-used pages may yet become another table's, and anything
// that cannot be read is refused.
bool TDiskMgr::HoldsNoOtherRecords(std::int64_t page, std::int64_t ofPage) {
  if (!map_ || !header_ || !header_->Loaded() || !locks_ || !locks_->HoldsWriteIntent()) return false;
  const std::int64_t mapped = std::int64_t(header_->GetItem(kItemMapPageCount)) * map_->EntriesPerPage();
  if (page < 0 || ofPage < 0 || page / pageSize_ >= mapped || ofPage / pageSize_ >= mapped) return false;
  try {
    const std::uint16_t entry = map_->EntryOf(static_cast<TUdbAddr>(page));
    if (entry == 0 || (entry & kMapEntryFree) != 0) return false;
    const std::uint16_t records = map_->EntryOf(static_cast<TUdbAddr>(ofPage));
    return entry == records || (entry & 15) != (records & 15);
  } catch (const EUdbDatabaseError&) {
    return false;
  }
}

void TDiskMgr::UnlockRecord(int recordId) {
  if (InTransaction() || !locks_) return;
  locks_->UnlockRecord(recordId);
}

void TDiskMgr::ReleaseAllLocks() {
  ForgetKeptMapPages();
  if (locks_) locks_->ReleaseAll();
  headerReadLocked_ = headerWriteLocked_ = false;
}

// --- space ---------------------------------------------------------------------------

TUdbAddr TDiskMgr::AllocatePages(std::uint16_t tableId, std::uint8_t mode, const void* data, int count,
                                 int usage) {
  if (tableId >= 2048 || usage < 0 || usage > 15 || (tableId == 0 && usage == 0) || count <= 0)
    UdbDatabaseErrorFmt(udberr::kInternal, "TDiskMgr.AllocatePages", "Invalid page request: table %d, usage %d, count %d",
                        nullptr, {int(tableId), usage, count});
  THeaderWriteScope scope(*this);
  std::vector<std::uint8_t> zeros;
  if (!data) {
    zeros.assign(static_cast<size_t>(count) * pageSize_, 0);
    data = zeros.data();
  }
  TUdbAddr address = map_->FindEmptyPages(count);
  if (address != 0)
    WritePages(address, count, data, mode, tableId);
  else
    address = AppendPages(data, count, mode, tableId);
  map_->SetEntries(static_cast<std::uint16_t>(tableId * 16 + usage), address, count);
  scope.Finish();
  return address;
}

TUdbAddr TDiskMgr::AppendPages(const void* data, int count, std::uint8_t mode, std::uint16_t tableId) {
  if (count <= 0) UdbDatabaseError(udberr::kInternal, "TDiskMgr.AppendPages", "Invalid page count");
  THeaderWriteScope scope(*this);
  std::vector<std::uint8_t> zeros;
  if (!data) {
    zeros.assign(static_cast<size_t>(count) * pageSize_, 0);
    data = zeros.data();
  }
  TUdbAddr address = file_.SeekAndAppendUdbFile(data, count * pageSize_, mode, tableId);
  scope.Finish();
  return address;
}

void TDiskMgr::FreePages(TUdbAddr address, int count) {
  if (count <= 0 || address % pageSize_ != 0 ||
      std::int64_t(address) + std::int64_t(count) * pageSize_ > file_.FileSize())
    UdbDatabaseError(udberr::kInternal, "TDiskMgr.FreePages", "Invalid page range");
  THeaderWriteScope scope(*this);
  map_->SetEntries(kMapEntryFree, address, count);
  for (int i = 0; i < count; ++i) file_.WriteZeroPage(address + static_cast<TUdbAddr>(i) * pageSize_);
  scope.Finish();
}

void TDiskMgr::FreeTablePages(std::uint16_t tableId, int usage, bool byUsage) {
  THeaderWriteScope scope(*this);
  file_.InvalidateTable(tableId);
  std::vector<TUdbAddr> freed;
  map_->FreeEntries(tableId, usage, freed, byUsage);
  if (header_->Dirty()) WriteHeader();
  for (TUdbAddr address : freed) file_.WriteZeroPage(address);
  scope.Finish();
}

void TDiskMgr::ListAllocatedFixedBlocks(int blockSize, std::uint16_t tableId, std::vector<TUdbAddr>& list,
                                        int usage) {
  if (blockSize <= 0)
    UdbDatabaseError(udberr::kInternal, "TDiskMgr.ListAllocatedFixedBlocks", "Invalid block size of 0 in ListAllocatedFixedBlocks");
  const bool took = !headerReadLocked_ && !headerWriteLocked_;
  if (took) LockHeaderRead();
  try {
    std::vector<TUdbAddr> pages;
    map_->ListEntries(tableId, usage, pages, true);
    const int request = GetBestPageRequestSize(blockSize, pageSize_);
    const size_t pagesPerRequest = static_cast<size_t>(request / pageSize_);
    const int blocksPerRequest = request / blockSize;
    // Each request is pagesPerRequest consecutive pages; its blocks run
    // across the page boundaries inside it and its unusable tail is skipped.
    for (size_t i = 0; i < pages.size(); i += pagesPerRequest) {
      for (size_t k = 1; k < pagesPerRequest; ++k) {
        if (i + k >= pages.size() || pages[i + k] != pages[i] + k * pageSize_)
          UdbDatabaseError(udberr::kCorrupt, "TDiskMgr.ListAllocatedFixedBlocks", "Invalid requestpage/pagelist sequence");
      }
      for (int b = 0; b < blocksPerRequest; ++b) list.push_back(pages[i] + static_cast<TUdbAddr>(b) * blockSize);
    }
  } catch (...) {
    if (took) ReleaseHeaderQuietly();
    throw;
  }
  if (took) UnlockHeader();
}

// --- I/O -------------------------------------------------------------------------------

void TDiskMgr::ReadPages(TUdbAddr address, int count, void* buffer, std::uint8_t mode, std::uint16_t tableId) {
  file_.ReadPageIO(buffer, address, mode, tableId, count * pageSize_);
}

void TDiskMgr::WritePages(TUdbAddr address, int count, const void* buffer, std::uint8_t mode,
                          std::uint16_t tableId) {
  file_.WritePageIO(buffer, address, mode, tableId, count * pageSize_);
}

void TDiskMgr::ReadData(TUdbAddr address, int length, void* buffer, std::uint8_t mode, std::uint16_t tableId) {
  file_.ReadPageIO(buffer, address, mode, tableId, length);
}

void TDiskMgr::ReadDataMany(const TUdbAddr* addresses, int count, int length, std::uint8_t* const* buffers,
                            std::uint8_t mode, std::uint16_t tableId) {
  file_.ReadPageIOMany(addresses, count, length, buffers, mode, tableId);
}

void TDiskMgr::WriteData(TUdbAddr address, int length, const void* buffer, std::uint8_t mode,
                         std::uint16_t tableId) {
  file_.WritePageIO(buffer, address, mode, tableId, length);
}

// --- transactions ------------------------------------------------------------------------

void TDiskMgr::StartTransaction() { file_.StartTransaction(); }

// The commit has done its work, holds the intent (no other writer) and,
// with the pending lock, the gate: no connection that holds no lock starts
// reading, so the readers it waits for can only leave.  It waits for them
// kCommitPatience times as long as for an ordinary lock before it gives up
// with 10249; the transaction then stays open (commit again or roll back).
void TDiskMgr::RaiseLocksForCommit() {
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(std::int64_t(kCommitPatience) * retryMaximum_ * retryInterval_);
  for (;;) {
    try {
      locks_->LockPending();  // new readers wait until the commit is done
      locks_->UpgradeTableLocks();
      return;
    } catch (const EUdbDatabaseError& e) {
      if (e.ErrorCode() != udberr::kLockTimeout || std::chrono::steady_clock::now() >= until) throw;
    }
  }
}

void TDiskMgr::Commit() {
  if (!InTransaction()) UdbDatabaseError(udberr::kNoTransaction, "TDiskMgr.Commit");
  // The commit ends the header lock with every other lock: a global header
  // changed under it (free-run heads, map hints) goes into this commit, or
  // the next lock would read the old one back and hand out blocks that
  // are in use.
  if (header_ && header_->Loaded() && header_->Dirty() && (headerReadLocked_ || headerWriteLocked_)) {
    const bool wasWrite = headerWriteLocked_;
    headerWriteLocked_ = true;
    WriteHeader();
    headerWriteLocked_ = wasWrite;
  }
  // A transaction that wrote nothing only lets its locks go: raising them
  // would hold off others for nothing.
  if (locks_ && file_.HasPendingPages()) {
    TakeWriteIntent();
    RaiseLocksForCommit();
  }
  file_.Commit();
  ReleaseAllLocks();
}

// A rollback cannot fail for want of a lock: the pages are dropped first,
// the transaction's locks go whatever happens, and a header that cannot be
// re-read now (another connection holds the header lock) is re-read under
// the next lock taken, which always reads it afresh.
void TDiskMgr::Rollback() {
  struct TRelease {
    TDiskMgr& disk;
    ~TRelease() {
      try {
        disk.ReleaseAllLocks();
      } catch (const std::exception& e) {
        UdbLogger().Log("DiskMgr", AnsiString("Locks not released at rollback: ") + e.what());
      }
    }
  } release{*this};
  ForgetKeptMapPages();  // they may hold the transaction's own changes
  file_.Rollback();
  const bool took = !headerReadLocked_ && !headerWriteLocked_;
  try {
    if (took) {
      LockHeaderRead();  // re-reads the header as committed
      UnlockHeader();
    } else {
      ReadHeader();
    }
  } catch (const EUdbDatabaseError& e) {
    UdbLogger().Log("DiskMgr", AnsiString("Header not re-read at rollback: ") + e.what());
  }
}

void TDiskMgr::BeginSavepoint() {
  file_.BeginSavepoint();
  savedHeader_.clear();
  savedHeaderDirty_ = false;
  if (header_ && header_->Loaded()) {
    savedHeader_.assign(header_->Buffer(), header_->Buffer() + header_->Size());
    savedHeaderDirty_ = header_->Dirty();
  }
}

void TDiskMgr::RollbackToSavepoint() {
  ForgetKeptMapPages();
  file_.RollbackToSavepoint();
  if (!header_) return;
  if (!savedHeader_.empty()) {
    std::memcpy(header_->Buffer(), savedHeader_.data(), savedHeader_.size());
    header_->SetDirty(savedHeaderDirty_);
  } else if (headerReadLocked_ || headerWriteLocked_) {
    ReadHeader();
  }
}

void TDiskMgr::CopyDatabaseFile(const AnsiString& fileName) { file_.CopyUdbFile(fileName); }
