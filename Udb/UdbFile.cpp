// TUdbFile: see UdbFile.h.
#include "Udb/UdbFile.h"

#include <algorithm>
#include <cstring>

#include "Udb/DBLogger.h"
#include "Udb/UdbErrors.h"
#include "Udb/XorCipher.h"

int UdbCacheCapacityFor(std::int64_t fileSize, int pageSize) {
  if (pageSize <= 0) return 50;
  std::int64_t pages = fileSize / pageSize;
  return static_cast<int>(std::clamp<std::int64_t>(pages / 4, 50, 1000));
}

int UdbKeptPagesFor(int pageSize) {
  constexpr std::int64_t kKeptBytes = 64 << 20;
  return pageSize <= 0 ? 0 : static_cast<int>(kKeptBytes / pageSize);
}

TUdbFile::TUdbFile() : fs_(&PosixFileSystem()) {
  cache_.OnReadPage = [this](TCachePage& p) { InternalReadPage(p); };
  cache_.OnWritePage = [this](TCachePage& p) { InternalWritePage(p); };
  cache_.OnSpillPage = [this](TCachePage& p) { SpillPage(p); };
  held_.OnReadFile = [this](TUdbAddr a, void* b, int n) { return InternalReadAllowShort(a, b, n); };
  held_.OnWriteFile = [this](TUdbAddr a, const void* b, int n) {
    InternalWrite(a, b, n, "TUdbFile.InternalWrite");
    NoteCommitWrite();
  };
}

TUdbFile::~TUdbFile() { Close(); }

// --- settings ---------------------------------------------------------------

void TUdbFile::SetXORKeyBuf(const void* key, int length) {
  if (IsOpen()) UdbDatabaseError(udberr::kInternal, "TUdbFile.SetXORKeyBuf", "Cannot set Crypt key on an opened file");
  const auto* k = static_cast<const std::uint8_t*>(key);
  xorKey_.assign(k, k + std::max(length, 0));
}

void TUdbFile::SetBlowfishKey(const void* key, int length) {
  if (length < 1 || length > kBlowfishMaxKeyBytes)
    UdbDatabaseErrorFmt(udberr::kInternal, "TUdbFile.SetBlowfishKey",
                        "The Blowfish key must hold 1 to %d bytes, not %d", nullptr,
                        {kBlowfishMaxKeyBytes, length});
  // Cached pages were deciphered with the old key; pending ones would be
  // enciphered with the new one, mixing keys in one file.
  if (inTransaction_)
    UdbDatabaseError(udberr::kInvalidOperation, "TUdbFile.SetBlowfishKey", "The key cannot change inside a transaction");
  const auto* k = static_cast<const std::uint8_t*>(key);
  blowfishKey_.assign(k, k + length);
  BlowfishInit(blowfish_, blowfishKey_.data(), length * 8, nullptr);
  if (cache_.IsOpen()) cache_.InvalidateAll();
}

// --- lifecycle --------------------------------------------------------------

bool TUdbFile::CreateUdbFile(const AnsiString& fileName, AnsiString& errorText) {
  Close();
  io_ = fs_->Create(fileName, errorText);
  if (!io_) return false;
  fileName_ = fileName;
  work_.assign(static_cast<size_t>(std::max(pageSize_, 1)), 0);
  return true;
}

void TUdbFile::OpenUdbFile(const AnsiString& fileName) {
  if (pageSize_ <= 0) UdbDatabaseError(udberr::kInternal, "TUdbFile.OpenUdbFile", "Database page size not set on opening");
  if (xorKey_.empty()) UdbDatabaseError(udberr::kInternal, "TUdbFile.OpenUdbFile", "Crypt key not set before opening");
  Close();
  TUdbOpenMode mode;
  mode.read = readAccess_ || !writeAccess_;
  mode.write = writeAccess_;
  mode.exclusive = shareDenyRead_ && shareDenyWrite_;
  AnsiString error;
  io_ = fs_->Open(fileName, mode, error);
  if (!io_) {
    if (error.empty()) error = "The error type could not be determined";
    UdbDatabaseError(udberr::kCannotOpen, "TUdbFile.OpenUdbFile", "Unable to open file. Error type of: " + error);
  }
  fileName_ = fileName;
  unflushed_ = false;
  std::int64_t size = io_->Size();
  if (size < 0) {
    AnsiString why = io_->ErrorText();
    Close();
    UdbDatabaseError(udberr::kSystemFileIO, "TUdbFile.OpenUdbFile", "Unable to read the file size: " + why);
  }
  cache_.Open(UdbCacheCapacityFor(size, pageSize_), pageSize_);
  cache_.SetKeptLimit(UdbKeptPagesFor(pageSize_));
  work_.assign(static_cast<size_t>(pageSize_), 0);
}

void TUdbFile::Close() {
  cache_.Close();
  held_.Clear();
  saved_.clear();
  savepoint_ = false;
  inTransaction_ = false;
  commitFailed_ = false;
  // A journal in place stays for the next open to restore; one not yet in
  // use goes.
  if (journalLive_)
    journal_.Close();
  else
    journal_.Abandon();
  journalLive_ = false;
  transactionEnd_ = 0;
  if (io_) {
    if (writeAccess_ && !io_->Flush())
      UdbLogger().Log("UdbFile", "Flush at close failed: " + io_->ErrorText());
    io_->Close();
    io_.reset();
  }
  work_.clear();
  run_.clear();
  runPages_ = 0;
  lastMiss_ = 0;
  fileName_.clear();
}

// --- internal file access -----------------------------------------------------

void TUdbFile::CheckOpen(const char* location) const {
  if (!io_) UdbDatabaseError(udberr::kNotInitialized, location, "The database file is not open");
}

void TUdbFile::CheckWritable(const char* location) const {
  CheckOpen(location);
  if (!writeAccess_) UdbDatabaseError(udberr::kInvalidOperation, location, "The database file is open for reading only");
  if (commitFailed_)
    UdbDatabaseError(udberr::kInvalidOperation, location, "The last commit failed: commit again or roll back first");
}

std::int64_t TUdbFile::InternalReadAllowShort(TUdbAddr address, void* buffer, int length) {
  std::int64_t got = io_->ReadAt(address, buffer, length);
  if (got < 0)
    UdbDatabaseError(udberr::kReadFailure, "TUdbFile.InternalRead",
                     "Unable to complete file read operation: " + io_->ErrorText());
  if (got < length) std::memset(static_cast<std::uint8_t*>(buffer) + got, 0, static_cast<size_t>(length - got));
  return got;
}

void TUdbFile::InternalRead(TUdbAddr address, void* buffer, int length) {
  if (InternalReadAllowShort(address, buffer, length) != length)
    UdbDatabaseError(udberr::kReadFailure, "TUdbFile.InternalRead", "Unable to complete file read operation");
}

void TUdbFile::InternalWrite(TUdbAddr address, const void* buffer, int length, const char* location) {
  ForgetRun();
  unflushed_ = true;  // before the write: a failed one may have written part
  std::int64_t done = io_->WriteAt(address, buffer, length);
  if (done != length) {
    AnsiString why = done < 0 ? ": " + io_->ErrorText() : AnsiString();
    UdbDatabaseError(udberr::kWriteFailure, location, "Unable to complete file write operation" + why);
  }
}

void TUdbFile::Encipher(const std::uint8_t* source, std::uint8_t* dest, std::uint16_t tableId,
                        std::uint8_t mode) {
  if (mode & kPageIOXor) {
    XorCipher(source, dest, xorKey_.data(), tableId, static_cast<int>(xorKey_.size()), pageSize_);
  } else {
    if (!blowfish_.initialized) UdbDatabaseError(udberr::kInternal, "TUdbFile.Encipher", "The Blowfish key is not set");
    CfbEncrypt(blowfish_, source, dest, static_cast<size_t>(pageSize_));
    CfbResetIV(blowfish_);
  }
}

void TUdbFile::Decipher(const std::uint8_t* source, std::uint8_t* dest, std::uint16_t tableId,
                        std::uint8_t mode) {
  if (mode & kPageIOXor) {
    XorCipher(source, dest, xorKey_.data(), tableId, static_cast<int>(xorKey_.size()), pageSize_);
  } else {
    if (!blowfish_.initialized) UdbDatabaseError(udberr::kInternal, "TUdbFile.Decipher", "The Blowfish key is not set");
    CfbDecrypt(blowfish_, source, dest, static_cast<size_t>(pageSize_));
    CfbResetIV(blowfish_);
  }
}

// The cache's read callback: the page's file form comes from the held
// image inside a transaction (I2), else from the file.
void TUdbFile::InternalReadPage(TCachePage& page) {
  const bool ciphered = (page.mode & (kPageIOXor | kPageIOBlowfish)) != 0;
  std::vector<std::uint8_t>& target = ciphered ? work_ : page.data;
  if (inTransaction_ && held_.CopyPage(page.address, target.data())) {
    page.fileImage = false;  // the pending image, not the file's
  } else {
    ReadFilePage(page.address, target);
  }
  if (ciphered) Decipher(work_.data(), page.data.data(), page.tableId, page.mode);
}

void TUdbFile::ReadFilePage(TUdbAddr address, std::vector<std::uint8_t>& target) {
  const TUdbAddr size = static_cast<TUdbAddr>(pageSize_);
  if (runPages_ > 0 && address >= runStart_ && (address - runStart_) % size == 0 &&
      (address - runStart_) / size < static_cast<TUdbAddr>(runPages_)) {
    const std::uint32_t bit = 1u << ((address - runStart_) / size);
    if (!(runTaken_ & bit)) {
      target.swap(run_[(address - runStart_) / size]);
      runTaken_ |= bit;
      lastMiss_ = address + 1;
      ++runHits_;
      return;
    }
  }
  // A walk in file order misses page after page: read on ahead of it.
  const bool onward = lastMiss_ != 0 && address >= lastMiss_ && address - (lastMiss_ - 1) <= 2 * size;
  lastMiss_ = address + 1;
  std::int64_t got;
  if (onward) {
    static_assert(kRunPages <= 32, "runTaken_ has a bit per page");
    run_.resize(kRunPages);
    std::uint8_t* buffers[kRunPages];
    for (int i = 0; i < kRunPages; ++i) {
      run_[i].resize(static_cast<size_t>(pageSize_));
      buffers[i] = run_[i].data();
    }
    runPages_ = 0;
    got = io_->ReadScattered(address, buffers, kRunPages, pageSize_);
    if (got < 0)
      UdbDatabaseError(udberr::kReadFailure, "TUdbFile.InternalRead",
                       "Unable to complete file read operation: " + io_->ErrorText());
    runStart_ = address;
    runPages_ = static_cast<int>(got / pageSize_);
    runTaken_ = 0;
    ++runReads_;
    if (runPages_ > 0) {
      target.swap(run_[0]);
      runTaken_ = 1;
    }
  } else {
    got = InternalReadAllowShort(address, target.data(), pageSize_);
  }
  if (got < pageSize_) {
    UdbDatabaseErrorFmt(udberr::kReadFailure, "TUdbFile.InternalReadPage",
                        "Unable to complete file read operation (page at %d)", nullptr,
                        {static_cast<std::int64_t>(address)});
  }
}

// The cache's write callback: write-through, or commit.
void TUdbFile::InternalWritePage(TCachePage& page) {
  const std::uint8_t* source = page.data.data();
  if (page.mode & (kPageIOXor | kPageIOBlowfish)) {
    auto sealed = sealed_.find(page.address);
    if (sealed != sealed_.end() && sealed->second.tableId == page.tableId && sealed->second.mode == page.mode &&
        sealed->second.plain == page.data) {
      source = sealed->second.cipher.data();
    } else {
      Encipher(page.data.data(), work_.data(), page.tableId, page.mode);
      source = work_.data();
    }
  }
  InternalWrite(page.address, source, pageSize_, "TUdbFile.InternalWritePage");
  if (inTransaction_) NoteCommitWrite();
}

void TUdbFile::NoteCommitWrite() {
  ++commitWrites_;
  if (AfterCommitWrite) AfterCommitWrite(commitWrites_);
}

// A dirty page leaving the cache inside a transaction becomes the held
// image of its page (I2).
void TUdbFile::SpillPage(TCachePage& page) {
  const std::uint8_t* source = page.data.data();
  if (page.mode & (kPageIOXor | kPageIOBlowfish)) {
    Encipher(page.data.data(), work_.data(), page.tableId, page.mode);
    source = work_.data();
  }
  held_.PutPage(page.address, source);
}

void TUdbFile::ForEachPage(TUdbAddr address, int length, const std::function<void(TUdbAddr)>& fn) const {
  if (length <= 0) return;
  const TUdbAddr size = static_cast<TUdbAddr>(pageSize_);
  TUdbAddr first = address - address % size;
  TUdbAddr last = address + static_cast<TUdbAddr>(length) - 1;
  for (TUdbAddr page = first; page <= last; page += size) {
    fn(page);
    if (page > last - size) break;  // no wrap-around at the top of the range
  }
}

void TUdbFile::NoteEnd(TUdbAddr address, int length) {
  if (inTransaction_)
    transactionEnd_ = std::max<std::int64_t>(transactionEnd_, std::int64_t(address) + length);
}

bool TUdbFile::UsesCache(std::uint8_t mode) const {
  if (mode & (kPageIOXor | kPageIOBlowfish)) return true;
  return (mode & kPageIOCached) && (cacheEnabled_ || inTransaction_);
}

// --- page and raw I/O ---------------------------------------------------------

namespace {
void CheckRange(TUdbAddr address, int length, const char* location) {
  if (length < 0 || std::int64_t(address) + length > udbfmt::kMaxFileSize)
    UdbDatabaseErrorFmt(udberr::kInternal, location, "Invalid file range: %d bytes at %d", nullptr,
                        {length, static_cast<std::int64_t>(address)});
}
void NoteTableId(std::uint16_t tableId) {
  if (tableId > 2048) UdbLogger().Log("UdbFile", "Invalid table id");
}
}  // namespace

void TUdbFile::ReadPageIO(void* buffer, TUdbAddr address, std::uint8_t mode, std::uint16_t tableId,
                          int length) {
  CheckOpen("TUdbFile.ReadPageIO");
  CheckRange(address, length, "TUdbFile.ReadPageIO");
  NoteTableId(tableId);
  if (UsesCache(mode)) {
    if (!cache_.IsOpen()) UdbDatabaseError(udberr::kNotInitialized, "TUdbFile.ReadPageIO", "The page cache is not open");
    cache_.Read(address, buffer, length, tableId, mode);
  } else {
    ReadRaw(buffer, address, length);
  }
}

void TUdbFile::ReadPageIOMany(const TUdbAddr* addresses, int count, int length, std::uint8_t* const* buffers,
                              std::uint8_t mode, std::uint16_t tableId) {
  if (!UsesCache(mode) || count <= 1) {
    for (int i = 0; i < count; ++i) ReadPageIO(buffers[i], addresses[i], mode, tableId, length);
    return;
  }
  CheckOpen("TUdbFile.ReadPageIO");
  for (int i = 0; i < count; ++i) CheckRange(addresses[i], length, "TUdbFile.ReadPageIO");
  NoteTableId(tableId);
  if (!cache_.IsOpen()) UdbDatabaseError(udberr::kNotInitialized, "TUdbFile.ReadPageIO", "The page cache is not open");
  cache_.ReadMany(addresses, count, length, buffers, tableId, mode);
}

void TUdbFile::WritePageIO(const void* buffer, TUdbAddr address, std::uint8_t mode,
                           std::uint16_t tableId, int length) {
  CheckWritable("TUdbFile.WritePageIO");
  CheckRange(address, length, "TUdbFile.WritePageIO");
  NoteTableId(tableId);
  if (BeforeWrite) BeforeWrite();
  if (!UsesCache(mode)) {
    WriteRawRange(buffer, address, length);
    return;
  }
  if (!cache_.IsOpen()) UdbDatabaseError(udberr::kNotInitialized, "TUdbFile.WritePageIO", "The page cache is not open");
  NoteForSavepoint(address, length);
  cache_.Write(address, buffer, length, tableId, mode);
  if (inTransaction_) {
    // The dirty cache pages now hold the newest image of these pages (I2).
    if (held_.Count() > 0) ForEachPage(address, length, [this](TUdbAddr page) { held_.DropPage(page); });
    NoteEnd(address, length);
    MaybeSpill();
  }
}

void TUdbFile::ReadRaw(void* buffer, TUdbAddr address, int length) {
  CheckOpen("TUdbFile.ReadRaw");
  CheckRange(address, length, "TUdbFile.ReadRaw");
  if (!inTransaction_) {
    InternalRead(address, buffer, length);
    return;
  }
  // A dirty cache page of the range becomes held first, so the raw bytes
  // include it.
  ForEachPage(address, length, [this](TUdbAddr page) {
    const TCachePage* cached = cache_.FindPage(page);
    if (cached && cached->state == cpsDirty) cache_.InvalidatePage(page);
  });
  held_.Read(address, buffer, length);
}

void TUdbFile::WriteRaw(const void* buffer, TUdbAddr address, int length) {
  CheckWritable("TUdbFile.WriteRaw");
  CheckRange(address, length, "TUdbFile.WriteRaw");
  if (BeforeWrite) BeforeWrite();
  WriteRawRange(buffer, address, length);
}

void TUdbFile::WriteRawRange(const void* buffer, TUdbAddr address, int length) {
  NoteForSavepoint(address, length);
  // Cached copies of the range would be stale (I3); dirty ones are held
  // first, so the raw bytes merge into their image.
  ForEachPage(address, length, [this](TUdbAddr page) { cache_.InvalidatePage(page); });
  if (inTransaction_) {
    held_.Write(address, buffer, length);
    NoteEnd(address, length);
    MaybeSpill();
  } else {
    InternalWrite(address, buffer, length, "TUdbFile.InternalWrite");
  }
}

void TUdbFile::WriteZeroPage(TUdbAddr address) {
  CheckWritable("TUdbFile.WriteZeroPage");
  CheckRange(address, pageSize_, "TUdbFile.WriteZeroPage");
  if (BeforeWrite) BeforeWrite();
  std::vector<std::uint8_t> zeros(static_cast<size_t>(pageSize_), 0);
  if (inTransaction_) {
    // The zero page replaces whatever is pending for the page.
    TUdbAddr page = address - address % static_cast<TUdbAddr>(pageSize_);
    NoteForSavepoint(page, pageSize_);
    cache_.InvalidatePage(page);
    held_.DropPage(page);
  }
  WriteRawRange(zeros.data(), address, pageSize_);
}

TUdbAddr TUdbFile::SeekAndAppendUdbFile(const void* buffer, int length, std::uint8_t mode,
                                        std::uint16_t tableId) {
  CheckWritable("TUdbFile.SeekAndAppendUdbFile");
  std::int64_t end = FileSize();
  if (end + length > udbfmt::kMaxFileSize) UdbDatabaseError(udberr::kFileSizeLimit, "TUdbFile.SeekAndAppendUdbFile");
  TUdbAddr address = static_cast<TUdbAddr>(end);
  WritePageIO(buffer, address, mode, tableId, length);
  NoteEnd(address, length);
  return address;
}

std::int64_t TUdbFile::FileSize() {
  CheckOpen("TUdbFile.FileSize");
  if (inTransaction_) return transactionEnd_;
  std::int64_t size = io_->Size();
  if (size < 0) UdbDatabaseError(udberr::kSystemFileIO, "TUdbFile.FileSize", "Unable to read the file size: " + io_->ErrorText());
  return size;
}

void TUdbFile::Flush() {
  CheckOpen("TUdbFile.Flush");
  if (!io_->Flush()) UdbDatabaseError(udberr::kSystemFileIO, "TUdbFile.Flush", "Unable to flush the file: " + io_->ErrorText());
  unflushed_ = false;
}

void TUdbFile::InvalidateTable(std::uint16_t tableId) {
  ForgetRun();
  if (cache_.IsOpen()) cache_.InvalidateTable(tableId);
}

// --- transactions ---------------------------------------------------------------

void TUdbFile::StartTransaction() {
  if (inTransaction_) UdbDatabaseError(udberr::kTransactionActive, "TUdbFile.StartTransaction");
  CheckWritable("TUdbFile.StartTransaction");
  std::int64_t size = FileSize();
  if (cache_.IsOpen()) cache_.StartTransaction();
  held_.Start(pageSize_);
  transactionEnd_ = size;
  spills_ = 0;
  spillFailed_ = false;
  inTransaction_ = true;
}

std::vector<TUdbAddr> TUdbFile::PendingPages() const {
  std::vector<TUdbAddr> pages = held_.HeldPages();
  if (cache_.IsOpen()) {
    std::vector<TUdbAddr> dirty = cache_.DirtyPages();
    pages.insert(pages.end(), dirty.begin(), dirty.end());
  }
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

// The bytes a pending page will have in the file: its dirty cache page
// enciphered as written, or its held image.
void TUdbFile::PendingImage(TUdbAddr page, std::uint8_t* out) {
  const TCachePage* cached = cache_.IsOpen() ? cache_.FindPage(page) : nullptr;
  if (cached && cached->state == cpsDirty) {
    if (cached->mode & (kPageIOXor | kPageIOBlowfish)) {
      auto sealed = sealed_.find(page);
      if (sealed != sealed_.end() && sealed->second.tableId == cached->tableId &&
          sealed->second.mode == cached->mode && sealed->second.plain == cached->data) {
        std::memcpy(out, sealed->second.cipher.data(), static_cast<size_t>(pageSize_));
        return;
      }
      Encipher(cached->data.data(), out, cached->tableId, cached->mode);
      // Kept for the write that follows the seal (JournalAndFlush).
      TSealedImage& kept = sealed_[page];
      kept.tableId = cached->tableId;
      kept.mode = cached->mode;
      kept.plain = cached->data;
      kept.cipher.assign(out, out + pageSize_);
    } else
      std::memcpy(out, cached->data.data(), static_cast<size_t>(pageSize_));
  } else if (!held_.CopyPage(page, out)) {
    UdbDatabaseError(udberr::kInternal, "TUdbFile.JournalPending", "A page to be written is not pending");
  }
}

// Enciphers the dirty Blowfish pages among `pages` into sealed_, several
// side by side: one page's cipher feedback is serial, different pages'
// are not.  The bytes are those Encipher gives page by page.
void TUdbFile::SealBlowfishPages(const std::vector<TUdbAddr>& pages) {
  if (!blowfish_.initialized || !cache_.IsOpen()) return;  // PendingImage reports a missing key
  std::vector<const std::uint8_t*> sources;
  std::vector<std::uint8_t*> targets;
  for (TUdbAddr page : pages) {
    const TCachePage* cached = cache_.FindPage(page);
    if (!cached || cached->state != cpsDirty || !(cached->mode & kPageIOBlowfish) || (cached->mode & kPageIOXor))
      continue;
    TSealedImage& kept = sealed_[page];
    kept.tableId = cached->tableId;
    kept.mode = cached->mode;
    kept.plain = cached->data;
    kept.cipher.resize(static_cast<size_t>(pageSize_));
    sources.push_back(kept.plain.data());
    targets.push_back(kept.cipher.data());
  }
  CfbEncryptRuns(blowfish_, sources.data(), targets.data(), sources.size(), static_cast<size_t>(pageSize_));
}

// Saves the previous contents of the pages about to be written (I5) and
// seals what they will hold.
void TUdbFile::JournalPending(const std::vector<TUdbAddr>& pages) {
  if (!journal_.IsOpen()) journal_.Begin(*fs_, journalName_, *io_, pageSize_, flushPolicy_);
  try {
    SealBlowfishPages(pages);
    journal_.Add(pages);
    std::vector<std::uint8_t> image(static_cast<size_t>(pageSize_));
    for (TUdbAddr page : pages) {
      PendingImage(page, image.data());
      journal_.Seal(page, image.data());
    }
    journal_.Sync();
  } catch (...) {
    if (!journalLive_) journal_.Abandon();  // nothing of the file was written yet
    throw;
  }
  journalLive_ = true;
}

void TUdbFile::JournalAndFlush(const std::vector<TUdbAddr>& pages, bool journal) {
  struct TForget {
    TUdbFile& file;
    ~TForget() { file.sealed_.clear(); }
  } forget{*this};
  if (journal) JournalPending(pages);
  cache_.FlushDirty();  // the pages turn clean: the file holds them now
}

void TUdbFile::MaybeSpill() {
  if (!inTransaction_ || savepoint_ || spillLimit_ <= 0 || journalName_.empty() || commitFailed_) return;
  if (held_.Count() + (cache_.IsOpen() ? cache_.DirtyCount() : 0) <= spillLimit_) return;
  if (spillFailed_) return;
  if (OnSpillLocks && !OnSpillLocks()) return;  // others may still read: the pages stay in memory
  // A spill that cannot be written (a full disk, an I/O error) leaves the
  // pages in memory and the change that caused it goes on: failing here
  // would stop a change half-way through its pages (a key half inserted)
  // inside the caller's transaction.  What reached the file is in the
  // journal; the commit writes the rest or fails whole.
  try {
    JournalAndFlush(PendingPages(), true);
    held_.WriteAll();
  } catch (const EUdbDatabaseError& e) {
    const int code = e.ErrorCode();
    if (code != udberr::kWriteFailure && code != udberr::kReadFailure && code != udberr::kSystemFileIO) throw;
    UdbLogger().Log("UdbFile", AnsiString("Pages not spilled, kept in memory: ") + e.what());
    spillFailed_ = true;
    return;
  }
  ++spills_;
}

// --- savepoints -------------------------------------------------------------------

void TUdbFile::BeginSavepoint() {
  if (!inTransaction_) UdbDatabaseError(udberr::kNoTransaction, "TUdbFile.BeginSavepoint");
  if (savepoint_) UdbDatabaseError(udberr::kTransactionActive, "TUdbFile.BeginSavepoint");
  saved_.clear();
  savedEnd_ = transactionEnd_;
  savepoint_ = true;
}

void TUdbFile::NoteForSavepoint(TUdbAddr address, int length) {
  if (!savepoint_) return;
  ForEachPage(address, length, [this](TUdbAddr page) {
    auto [it, fresh] = saved_.try_emplace(page);
    if (!fresh) return;
    TSavedPage& saved = it->second;
    const TCachePage* cached = cache_.IsOpen() ? cache_.FindPage(page) : nullptr;
    if (cached && cached->state == cpsDirty) {
      saved.kind = TSavedPage::kDirty;
      saved.data = cached->data;
      saved.tableId = cached->tableId;
      saved.mode = cached->mode;
    } else if (held_.SaveBlock(page, saved.data, saved.length)) {
      saved.kind = TSavedPage::kHeld;
    }
  });
}

void TUdbFile::ReleaseSavepoint() {
  if (!savepoint_) return;
  saved_.clear();
  savepoint_ = false;
  try {
    MaybeSpill();
  } catch (const std::exception& e) {
    UdbLogger().Log("UdbFile", AnsiString("Pages not spilled, kept in memory: ") + e.what());
  }
}

// Whatever the page holds now goes (a dirty cache page through the held
// images, where it is dropped), then the noted image comes back as it was:
// a dirty cache page, a held image, or nothing pending.  Clean cache pages
// of the noted pages go too (I3: they may have been loaded from an image
// that is gone).
void TUdbFile::RollbackToSavepoint() {
  if (!savepoint_) UdbDatabaseError(udberr::kNoTransaction, "TUdbFile.RollbackToSavepoint");
  savepoint_ = false;
  std::map<TUdbAddr, TSavedPage> saved;
  saved.swap(saved_);
  ForgetRun();
  for (auto& [page, image] : saved) {
    if (cache_.IsOpen()) cache_.InvalidatePage(page);
    held_.DropPage(page);
    if (image.kind == TSavedPage::kDirty)
      cache_.Write(page, image.data.data(), pageSize_, image.tableId, image.mode);
    else if (image.kind == TSavedPage::kHeld)
      held_.RestoreBlock(page, std::move(image.data), image.length);
  }
  transactionEnd_ = savedEnd_;
}

void TUdbFile::Commit() {
  if (!inTransaction_) UdbDatabaseError(udberr::kNoTransaction, "TUdbFile.Commit");
  saved_.clear();
  savepoint_ = false;
  commitFailed_ = true;  // until every pending page is in the file (I4)
  std::vector<TUdbAddr> pages;
  if (!journalName_.empty()) pages = PendingPages();
  commitWrites_ = 0;
  JournalAndFlush(pages, !journalName_.empty() && (!pages.empty() || journalLive_));
  if (held_.InTransaction()) held_.Commit();  // a retry after a failed flush finds it done
  // A commit that wrote nothing, after a flush that took everything
  // written before it, has nothing to flush.
  if (flushPolicy_ != fpNone && unflushed_) Flush();
  if (journalLive_) {
    journal_.Close();
    RemoveUdbJournal(*fs_, journalName_, flushPolicy_);  // the commit point
    journalLive_ = false;
  }
  commitFailed_ = false;
  if (cache_.IsOpen()) cache_.EndTransaction();
  inTransaction_ = false;
  transactionEnd_ = 0;
}

void TUdbFile::Rollback() {
  if (!inTransaction_) UdbDatabaseError(udberr::kNoTransaction, "TUdbFile.Rollback");
  saved_.clear();
  savepoint_ = false;
  // Clean cache pages loaded from held images would outlive them (I3).
  for (TUdbAddr page : held_.HeldPages()) {
    const TCachePage* cached = cache_.FindPage(page);
    if (!cached || cached->state == cpsClean) cache_.InvalidatePage(page);
  }
  // A table written in the transaction may have clean pages loaded after
  // its own changes; they all go, so the table is read as committed.
  std::vector<std::uint16_t> written;
  if (cache_.IsOpen())
    for (TUdbAddr page : cache_.DirtyPages())
      if (const TCachePage* cached = cache_.FindPage(page)) written.push_back(cached->tableId);
  if (cache_.IsOpen()) cache_.Rollback();
  std::sort(written.begin(), written.end());
  written.erase(std::unique(written.begin(), written.end()), written.end());
  for (std::uint16_t table : written) cache_.InvalidateTable(table);
  held_.Clear();
  inTransaction_ = false;
  commitFailed_ = false;
  transactionEnd_ = 0;
  if (journalLive_) {
    // Pages were spilled, or a commit failed half-way: part of the
    // transaction is in the file.  Should the restore fail too, the
    // journal stays and is restored before the file is read again
    // (RecoverJournal at the next lock or open).
    journalLive_ = false;
    journal_.Close();
    if (cache_.IsOpen()) cache_.InvalidateAll();
    ForgetRun();
    unflushed_ = true;
    RestoreUdbJournal(*fs_, journalName_, *io_, pageSize_, flushPolicy_);
  } else {
    journal_.Abandon();
  }
}

bool TUdbFile::RecoverJournal() {
  // Our own journal of a commit that failed half-way is restored by
  // Rollback only; a retried Commit completes it.
  if (!io_ || journalLive_ || !JournalExists()) return false;
  TUdbFileIO* target = io_.get();
  std::unique_ptr<TUdbFileIO> writable;
  if (!writeAccess_) {
    // A connection that only reads still must not read a half-written file.
    TUdbOpenMode mode;
    AnsiString error;
    writable = fs_->Open(fileName_, mode, error);
    if (!writable)
      UdbDatabaseError(udberr::kCannotOpen, "TUdbFile.RecoverJournal",
                       "The file must be restored from its journal but cannot be written: " + error);
    target = writable.get();
  }
  std::vector<TUdbAddr> pages;
  ForgetRun();
  unflushed_ = true;
  bool restored = RestoreUdbJournal(*fs_, journalName_, *target, pageSize_, flushPolicy_, &pages);
  if (writable) writable->Close();
  if (!restored) return false;
  if (cache_.IsOpen()) {
    if (cache_.DirtyCount() == 0) {
      cache_.InvalidateAll();
    } else {
      for (TUdbAddr page : pages) {
        const TCachePage* cached = cache_.FindPage(page);
        if (!cached || cached->state == cpsClean) cache_.InvalidatePage(page);  // kept copies too
      }
    }
  }
  if (inTransaction_) {
    // Space the dead writer appended is gone again.
    std::int64_t size = io_->Size();
    if (size >= 0 && transactionEnd_ > size && !HasPendingPages()) transactionEnd_ = size;
  }
  return true;
}

void TUdbFile::RefreshTransactionEnd() {
  if (!inTransaction_ || !io_) return;
  std::int64_t size = io_->Size();
  if (size > transactionEnd_) transactionEnd_ = size;
}

// --- copy -----------------------------------------------------------------------

void TUdbFile::CopyUdbFile(const AnsiString& fileName) {
  if (!io_) UdbDatabaseError(udberr::kCannotOpen, "TUdbFile.CopyUdbFile", "The database file is not open");
  std::int64_t size = io_->Size();
  if (size < 0) UdbDatabaseError(udberr::kSystemFileIO, "TUdbFile.CopyUdbFile", "The file could not be positioned for copying");
  // Creating the target truncates it: onto the open file itself that would
  // empty the database.
  if (fs_->SameFile(fileName_, fileName))
    UdbDatabaseError(udberr::kSystemFileIO, "TUdbFile.CopyUdbFile", "The database file cannot be copied onto itself: " + fileName);
  AnsiString error;
  std::unique_ptr<TUdbFileIO> target = fs_->Create(fileName, error);
  if (!target) UdbDatabaseError(udberr::kCannotOpen, "TUdbFile.CopyUdbFile", "Unable to create the copy: " + error);
  std::vector<std::uint8_t> chunk(4096);
  std::int64_t offset = 0;
  for (;;) {
    std::int64_t got = io_->ReadAt(offset, chunk.data(), 4096);
    if (got < 0) UdbDatabaseError(udberr::kSystemFileIO, "TUdbFile.CopyUdbFile", "The file could not be copied correctly");
    if (got > 0 && target->WriteAt(offset, chunk.data(), got) != got) break;
    offset += got;
    if (got < 4096) break;
  }
  bool ok = target->Flush() && target->Size() == size && offset == size;
  target->Close();
  if (!ok) UdbDatabaseError(udberr::kSystemFileIO, "TUdbFile.CopyUdbFile", "The file could not be copied correctly");
}
