// TUdbFile: the database file as the engine sees it, for one connection
// (owned by TDiskMgr).  It owns the file, the page cache (TCacheMgr), the
// transaction's held pages (TCacheBlockMgr) and the per-page ciphers.
//
// Page I/O mode byte (passed with every ReadPageIO / WritePageIO):
//   bit 0 (1)  through the page cache
//   bit 1 (2)  pages enciphered with the XOR cipher keyed by table id
//   bit 2 (4)  pages enciphered with Blowfish, 8-bit CFB, IV reset per page
// In use: 0 raw, 1 cached plain, 3 cached XOR, 5 cached Blowfish (bits 1
// and 2 together mean XOR).  Enciphered I/O always goes through the cache,
// since encipherment works on whole pages between the cache and the file.
//
// Invariants:
//  I1 Outside a transaction the file holds every written byte (write-
//     through); nothing is pending and no cache page is dirty.
//  I2 Inside a transaction nothing reaches the file before Commit, except
//     pages spilled when more than SpillLimit pages are pending: their
//     previous contents are in the journal first and every table's lock is
//     raised (OnSpillLocks), so no other connection reads them; a spill
//     that cannot be written keeps the pages pending until the commit.  Every
//     page address has at most one pending image: a dirty cache page or a
//     held page (TCacheBlockMgr), never both; the last write wins.
//  I3 A clean cache page equals the file or the held image of its page.
//  I4 After a failed commit only Commit (again) and Rollback are accepted;
//     reads still work.  The pages written before the failure are in the
//     file, the rest stay pending; Rollback restores the journal.
//  I5 With a journal name set, a commit that overwrites pages of the file
//     first writes their old contents to the journal (UdbJournal.h), and
//     removes it only once every page is written and flushed as the flush
//     policy says: a commit is all or nothing, whenever the program dies.
//
// States: closed -> open (OpenUdbFile, or CreateUdbFile for raw building)
// -> in transaction <-> not -> closed.  Key buffers are set before opening.
// Errors are EUdbDatabaseError with the codes of the engine's error table.
// Calls platform/core, UdbErrors, the ciphers and UdbFileIO.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "Udb/Blowfish.h"
#include "Udb/CacheBlockMgr.h"
#include "Udb/CacheMgr.h"
#include "Udb/DatabaseFileFormat.h"
#include "Udb/UdbFileIO.h"
#include "Udb/UdbJournal.h"
#include "platform/core/AnsiString.h"

enum : std::uint8_t {
  kPageIOCached = 1,
  kPageIOXor = 2,
  kPageIOBlowfish = 4,
};

class TUdbFile {
 public:
  TUdbFile();
  ~TUdbFile();
  TUdbFile(const TUdbFile&) = delete;
  TUdbFile& operator=(const TUdbFile&) = delete;

  // --- settings (before opening) ---
  void SetFileSystem(TUdbFileSystem* fs) { fs_ = fs; }
  TUdbFileSystem& FileSystem() const { return *fs_; }
  int PageSize() const { return pageSize_; }
  void SetPageSize(int size) { pageSize_ = size; }
  // 8581 "Cannot set Crypt key on an opened file" when open.
  void SetXORKeyBuf(const void* key, int length);
  // Initialises the Blowfish context (IV = E(FF..FF)); a key of 0 or more
  // than 56 bytes raises 8581 and leaves the context as it was.  On an open
  // file the cache is emptied; inside a transaction the key cannot change.
  void SetBlowfishKey(const void* key, int length);
  bool BlowfishKeySet() const { return blowfish_.initialized; }
  void SetReadAccess(bool on) { readAccess_ = on; }
  void SetWriteAccess(bool on) { writeAccess_ = on; }
  void SetShareDenyRead(bool on) { shareDenyRead_ = on; }
  void SetShareDenyWrite(bool on) { shareDenyWrite_ = on; }
  bool WriteAccess() const { return writeAccess_; }
  void SetLockRetry(int maximum, int intervalMs) { retryMaximum_ = maximum; retryInterval_ = intervalMs; }
  // The rollback journal beside the file (empty: commits are not
  // journalled, as for a file being built).
  void SetJournalFileName(const AnsiString& name) { journalName_ = name; }
  const AnsiString& JournalFileName() const { return journalName_; }
  TUdbFlushPolicy FlushPolicy() const { return flushPolicy_; }
  void SetFlushPolicy(TUdbFlushPolicy policy) { flushPolicy_ = policy; }
  // Test hook: called after the n-th page write of a commit (from 1;
  // spills count too), to stop a process at a chosen point.
  std::function<void(int)> AfterCommitWrite;
  // Test hook: called before every page or byte-range write (WritePageIO,
  // WriteRaw, WriteZeroPage; inside a transaction too); a test throws from
  // it to make that write fail before it changes anything.
  std::function<void()> BeforeWrite;
  // Pending pages (held and dirty) above which a transaction writes them
  // to the file before its commit (0: never).  A huge transaction then
  // needs no more memory than this.
  int SpillLimit() const { return spillLimit_; }
  void SetSpillLimit(int pages) { spillLimit_ = pages; }
  // Asked before a spill: true once no other connection can read what the
  // transaction wrote (the owner raises its locks); false: not now.
  std::function<bool()> OnSpillLocks;
  int Spills() const { return spills_; }
  bool CacheEnabled() const { return cacheEnabled_; }
  void SetCacheEnabled(bool on) { cacheEnabled_ = on; }

  // --- lifecycle ---
  // Creates (truncates) the file and opens it for raw building: no cache,
  // page I/O with mode 0 only.  false when it could not be created.
  bool CreateUdbFile(const AnsiString& fileName, AnsiString& errorText);
  // 8581 without page size or XOR key; 8449 "Unable to open file. Error
  // type of: ..." when the file cannot be opened.  The cache gets a
  // quarter of the file's pages, 50 to 1000.
  void OpenUdbFile(const AnsiString& fileName);
  // Drops anything pending (the owner commits first), flushes and closes.
  // Never throws.
  void Close();
  bool IsOpen() const { return io_ != nullptr; }
  const AnsiString& FileName() const { return fileName_; }

  // --- I/O ---
  void ReadPageIO(void* buffer, TUdbAddr address, std::uint8_t mode, std::uint16_t tableId, int length);
  void WritePageIO(const void* buffer, TUdbAddr address, std::uint8_t mode, std::uint16_t tableId,
                   int length);
  // count ReadPageIO calls of length bytes each, into buffers[i] from
  // addresses[i]; through the cache, one run at a time (TCacheMgr::ReadMany).
  void ReadPageIOMany(const TUdbAddr* addresses, int count, int length, std::uint8_t* const* buffers,
                      std::uint8_t mode, std::uint16_t tableId);
  // Header I/O: never cached, never enciphered; inside a transaction held.
  void ReadRaw(void* buffer, TUdbAddr address, int length);
  void WriteRaw(const void* buffer, TUdbAddr address, int length);
  // One zero page at address, raw; the cached copy is dropped.
  void WriteZeroPage(TUdbAddr address);
  // Writes at the end of the file; returns the old end.  9600 when the file
  // would pass 2 GB.
  TUdbAddr SeekAndAppendUdbFile(const void* buffer, int length, std::uint8_t mode,
                                std::uint16_t tableId);
  // Inside a transaction the size the file will have at commit.
  std::int64_t FileSize();
  // Makes every written byte durable.
  void Flush();
  // Every cached page of the table is dropped (pending ones stay pending).
  void InvalidateTable(std::uint16_t tableId);

  // --- transactions ---
  void StartTransaction();  // 10256 when one is open
  void Commit();            // 10257 when none is open
  void Rollback();          // 10257 when none is open
  // Restores a journal left by a writer that died half-way through its
  // commit (the caller keeps every other writer out), dropping the cache;
  // true when pages were restored.  Inside a transaction the journal's
  // pages are none of the transaction's own (its locks kept the dead
  // writer off them); only clean cached copies are dropped.
  bool RecoverJournal();
  bool JournalExists() const { return !journalName_.empty() && fs_->ExistsAsSpelled(journalName_); }
  // A savepoint inside a transaction: from BeginSavepoint on, the pending
  // image of every page (a dirty cache page, a held image or none) is
  // noted before its first write, and RollbackToSavepoint puts each one
  // back, with the file's end: one change that fails part-way is undone
  // page by page while the transaction's earlier changes stay.  No spill
  // happens while a savepoint is open (the noted images must stay what
  // the file would be given); ReleaseSavepoint keeps the pages and spills
  // when due, logging a spill that fails (the pages then stay pending).
  // One savepoint at a time: 10256 when one is open, 10257 outside a
  // transaction.  Commit and Rollback end an open savepoint.
  void BeginSavepoint();
  void ReleaseSavepoint();
  void RollbackToSavepoint();
  bool InSavepoint() const { return savepoint_; }
  // Inside a transaction, takes the file's end afresh (under the lock that
  // guards allocation, before the first page is appended).
  void RefreshTransactionEnd();
  bool InTransaction() const { return inTransaction_; }
  // Something waits to be written at commit.
  bool HasPendingPages() const { return held_.Count() > 0 || (cache_.IsOpen() && cache_.DirtyCount() > 0); }

  // Pages read from the file in a run.  A miss on the page after (or one
  // past) the last page missed reads kRunPages pages in one call; the next
  // misses inside the run are served from it, each page once: its buffer
  // is handed to the page that takes it (exchanged, not copied).  The run is
  // raw file bytes and is forgotten at every write of this connection,
  // every journal restore and every table lock taken or released (the
  // caller's hook: another connection may write between locks).
  static constexpr int kRunPages = 8;
  void ForgetRun() { runPages_ = 0; }
  // Page reads served from a run, and calls that read one (inspection).
  std::int64_t RunHits() const { return runHits_; }
  std::int64_t RunReads() const { return runReads_; }

  // Copies the file's committed bytes to fileName (8449 when not open,
  // 8450 when the copy is short).
  void CopyUdbFile(const AnsiString& fileName);

  // --- inspection (tests, benchmarks, the lock services) ---
  const TCacheMgr& Cache() const { return cache_; }
  const TCacheBlockMgr& HeldPages() const { return held_; }
  TUdbFileIO* FileIO() { return io_.get(); }

 private:
  void CheckOpen(const char* location) const;
  void CheckWritable(const char* location) const;
  bool UsesCache(std::uint8_t mode) const;
  void InternalReadPage(TCachePage& page);
  void InternalWritePage(TCachePage& page);
  void SpillPage(TCachePage& page);
  std::int64_t InternalReadAllowShort(TUdbAddr address, void* buffer, int length);
  // One page of the file into target (one page long), from the run (the
  // buffers are exchanged) or from the file.
  void ReadFilePage(TUdbAddr address, std::vector<std::uint8_t>& target);
  void InternalRead(TUdbAddr address, void* buffer, int length);
  void InternalWrite(TUdbAddr address, const void* buffer, int length, const char* location);
  void Encipher(const std::uint8_t* source, std::uint8_t* dest, std::uint16_t tableId, std::uint8_t mode);
  void Decipher(const std::uint8_t* source, std::uint8_t* dest, std::uint16_t tableId, std::uint8_t mode);
  void ForEachPage(TUdbAddr address, int length, const std::function<void(TUdbAddr)>& fn) const;
  void NoteEnd(TUdbAddr address, int length);
  void NoteCommitWrite();
  std::vector<TUdbAddr> PendingPages() const;
  void SealBlowfishPages(const std::vector<TUdbAddr>& pages);
  void JournalPending(const std::vector<TUdbAddr>& pages);
  void PendingImage(TUdbAddr page, std::uint8_t* out);
  // The journal's seal and the write after it (a commit or a spill), with
  // the pages enciphered for the seal kept for the write.
  void JournalAndFlush(const std::vector<TUdbAddr>& pages, bool journal);
  void MaybeSpill();
  void WriteRawRange(const void* buffer, TUdbAddr address, int length);
  // Notes the pending image of each page of the range not yet noted since
  // the savepoint began.
  void NoteForSavepoint(TUdbAddr address, int length);

  TUdbFileSystem* fs_;
  std::unique_ptr<TUdbFileIO> io_;
  AnsiString fileName_;
  std::vector<std::uint8_t> work_;  // one page: cipher text on its way to or from the file
  // Dirty pages enciphered for the journal's seal, kept for the write that
  // follows so a commit enciphers each page once: the plain bytes and the
  // identity they were enciphered from, and the result.  A page's entry is
  // used only while the page is still byte for byte those plain bytes;
  // filled and emptied inside JournalAndFlush.
  struct TSealedImage {
    std::uint16_t tableId = 0;
    std::uint8_t mode = 0;
    std::vector<std::uint8_t> plain, cipher;
  };
  std::map<TUdbAddr, TSealedImage> sealed_;
  std::vector<std::vector<std::uint8_t>> run_;  // kRunPages pages as the file held them
  TUdbAddr runStart_ = 0;
  int runPages_ = 0;                // pages of run_ that the read filled
  std::uint32_t runTaken_ = 0;      // bit i: page i of the run was handed over
  TUdbAddr lastMiss_ = 0;           // page of the last read from the file, + 1 (0: none)
  std::int64_t runHits_ = 0;
  std::int64_t runReads_ = 0;
  std::vector<std::uint8_t> xorKey_;
  std::vector<std::uint8_t> blowfishKey_;
  TBlowfishContext blowfish_;
  std::int64_t transactionEnd_ = 0;
  TCacheMgr cache_;
  TCacheBlockMgr held_;
  bool writeAccess_ = true;
  bool readAccess_ = true;
  bool shareDenyRead_ = false;
  bool shareDenyWrite_ = false;
  int retryInterval_ = 200;
  int retryMaximum_ = 10;
  int pageSize_ = udbfmt::kDefaultPageSize;
  bool cacheEnabled_ = false;
  bool inTransaction_ = false;
  bool commitFailed_ = false;
  bool unflushed_ = false;  // the file was written since its last flush (or open)
  AnsiString journalName_;
  TUdbFlushPolicy flushPolicy_ = fpFull;
  TUdbJournalWriter journal_;
  bool journalLive_ = false;  // the journal is in place: pages of the file may be overwritten
  int commitWrites_ = 0;
  int spillLimit_ = 4096;
  int spills_ = 0;
  bool spillFailed_ = false;  // this transaction keeps its pages in memory
  // The savepoint: each page's pending image before its first write since
  // BeginSavepoint, and the file's end then.
  struct TSavedPage {
    enum TKind : std::uint8_t { kNone, kDirty, kHeld } kind = kNone;
    std::vector<std::uint8_t> data;  // plain (kDirty) or file form (kHeld)
    std::uint16_t tableId = 0;       // kDirty
    std::uint8_t mode = 0;           // kDirty
    int length = 0;                  // kHeld
  };
  std::map<TUdbAddr, TSavedPage> saved_;
  std::int64_t savedEnd_ = 0;
  bool savepoint_ = false;
};

// Cache capacity for a file of fileSize bytes: a quarter of its whole
// pages, fraction dropped, clamped to 50..1000.
int UdbCacheCapacityFor(std::int64_t fileSize, int pageSize);
// Deciphered pages the cache keeps beside its capacity (64 MB of pages):
// an enciphered page read again while unchanged is not deciphered again.
int UdbKeptPagesFor(int pageSize);
