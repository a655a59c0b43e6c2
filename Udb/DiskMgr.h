// TDiskMgr: one connection's database file (owned by the connection).
// It creates and opens the file, keeps the global and security headers,
// allocates and frees pages through the allocation map, reads and writes
// pages and byte ranges through the page file (TUdbFile) and carries the
// page-level transactions.  The block I/O interfaces and the table-level
// managers reach the file only through it.  File layout: DatabaseFileFormat.h.
//
// Use:  disk.SetPageSize(4096); disk.SetFileName(dir + name);
//       disk.SetMode((readOnly ? 0 : 2) + (exclusive ? 16 : 64));
//       disk.Open();            // or CreateNewFile(overwrite)
//       disk.SetMasterKey(key); // then VerifySecurityHeader() or, for a
//                               // new file, WriteSecurityHeader()
//
// Header lock: every change of the global header or the map runs under the
// header write lock (table lock 0).  A space operation takes it when it is
// not held and, when it took it, writes the header (if dirty) and releases
// it at its end; nested calls share one lock.
//
// Transactions: page writes are held by the page file until Commit (see
// TUdbFile); a table write lock is taken as a read lock inside one and all
// held locks are raised to write locks at commit, then released.  The
// first write lock of a transaction (or its commit) takes the intent to
// write (TDiskLocks::LockWriteIntent): one writer at a time, so two
// writers never wait for each other's read locks until both time out; a
// transaction that already reads gets 10249 at once when another holds
// the intent (it rolls back and retries, and the other commits).  The
// file's end is read afresh when the header lock (which guards
// allocation) is first taken inside a transaction.
//
// Crash safety: commits are journalled (UdbJournal.h, TUdbFile I5).  A
// journal left by a writer that died is restored at Open, at the taking of
// the write intent, and whenever a lock is taken while a journal exists and
// no live writer holds the intent - before anything is read under it.
//
// Locks: through TDiskLocks (DiskLocks.h) when a factory is installed and
// the file is not read-only ("LockingActive"); otherwise unlocked.
//
// Errors: EUdbDatabaseError.  Values read from the file (header items, map
// pages, sizes) are checked and raise 8451 / 8581 before anything is
// written.  Calls platform/core and the Udb storage units only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Udb/DatabaseFileFormat.h"
#include "Udb/DiskLocks.h"
#include "Udb/GlobalHdr.h"
#include "Udb/MapPageMgr.h"
#include "Udb/UdbFile.h"
#include "platform/core/AnsiString.h"

// The 40-byte security header at 768 (layout in DatabaseFileFormat.h).
struct TSecurityHeader {
  std::uint8_t bytes[udbfmt::kSecurityHeaderSize] = {};
};

// Lock types of LockTable.
enum : int { kUdbReadLock = 1, kUdbWriteLock = 4 };

// A commit that has done its work waits this many times the usual lock
// budget (retries x interval) for the readers it must outlast.
inline constexpr int kCommitPatience = 30;

class TDiskMgr {
 public:
  TDiskMgr();
  ~TDiskMgr();  // closes
  TDiskMgr(const TDiskMgr&) = delete;
  TDiskMgr& operator=(const TDiskMgr&) = delete;

  // --- settings (while closed) ---
  int PageSize() const { return pageSize_; }
  void SetPageSize(int size) { pageSize_ = size; }
  const AnsiString& FileName() const { return fileName_; }
  void SetFileName(const AnsiString& name) { fileName_ = name; }
  // Access in bits 0-2 (0 read, 1 write, 2 read/write), sharing in bits 4-6
  // (16 exclusive, 32 deny write, 48 deny read, 64 deny none).
  int Mode() const { return mode_; }
  void SetMode(int mode) { mode_ = mode; }
  int LockRetryInterval() const { return retryInterval_; }
  void SetLockRetryInterval(int ms);
  int LockRetryMaximum() const { return retryMaximum_; }
  void SetLockRetryMaximum(int n);
  // The file system used for the database file (tests use an in-memory one).
  void SetFileSystem(TUdbFileSystem* fs);

  bool Exclusive() const { return exclusive_; }
  bool ReadOnlyMode() const { return readOnlyMode_; }
  bool LockingActive() const { return locks_ != nullptr; }
  bool IsOpen() const { return file_.IsOpen() && header_ != nullptr; }

  // --- lifecycle ---
  // 8581 "Invalid database page size" (below 128 or not a power of two);
  // 11043 when the file exists and overwrite is false; 8582 when it cannot
  // be created.  Leaves the file closed: 6 pages, global header and map.
  void CreateNewFile(bool overwrite);
  // 8581 "PageSize is 0"; 11010 (file name) when missing; 8449 when it
  // cannot be opened; 8451 when its size or header is not a database's.
  void Open();
  // Never throws.  Pending transaction pages are dropped.
  void Close();

  // --- master key and security header ---
  // An empty key is replaced by the built-in default; a key longer than 56
  // bytes (Blowfish's limit) raises 9602 and changes nothing.
  void SetMasterKey(const AnsiString& key);
  const AnsiString& MasterKey() const { return masterKey_; }
  void ReadSecurityHeader(TSecurityHeader& header);
  void WriteSecurityHeader(const TSecurityHeader& header);
  // The header for the current master key (size, now, 1, 1, SHA-1, CRC).
  TSecurityHeader MakeSecurityHeader() const;
  // WriteSecurityHeader(MakeSecurityHeader()).
  void WriteSecurityHeader();
  // 8451 "The Security Header CRC is incorrect" / "The MasterKey is incorrect".
  void VerifySecurityHeader();

  // --- global header ---
  TGlobalHdr& GlobalHeader() { return *header_; }
  // 10248 without a header lock; 8451 when an item is out of range.
  void ReadHeader();
  void WriteHeader();
  void LockHeaderRead();
  void LockHeaderWrite();
  void UnlockHeader();
  bool HeaderReadLocked() const { return headerReadLocked_; }
  bool HeaderWriteLocked() const { return headerWriteLocked_; }

  // --- locks ---
  int LockTable(int tableId, int lockType);
  void UnlockTable(int tableId);
  // This connection holds a lock on the table (a transaction keeps its
  // locks to its end): no other connection can have written it meanwhile.
  bool HoldsTableLock(int tableId) const;
  int LockRecord(int recordId);
  void UnlockRecord(int recordId);
  void ReleaseAllLocks();
  // No other connection changes the file while this one holds it.
  bool HoldsWriteIntent() const { return locks_ && locks_->HoldsWriteIntent(); }

  // --- space ---
  // Count consecutive pages holding data (count * PageSize bytes; null =
  // zeros), owner value tableId * 16 + usage (tableId < 2048, usage < 16).
  TUdbAddr AllocatePages(std::uint16_t tableId, std::uint8_t mode, const void* data, int count, int usage);
  TUdbAddr AppendPages(const void* data, int count, std::uint8_t mode, std::uint16_t tableId);
  void FreePages(TUdbAddr address, int count);
  // Refuses table id 0 where it would reach the file's own pages.
  void FreeTablePages(std::uint16_t tableId, int usage, bool byUsage);
  // Block addresses of the table's fixed-size blocks, request by request.
  void ListAllocatedFixedBlocks(int blockSize, std::uint16_t tableId, std::vector<TUdbAddr>& list, int usage);

  // --- I/O ---
  void ReadPages(TUdbAddr address, int count, void* buffer, std::uint8_t mode, std::uint16_t tableId);
  void WritePages(TUdbAddr address, int count, const void* buffer, std::uint8_t mode, std::uint16_t tableId);
  void ReadData(TUdbAddr address, int length, void* buffer, std::uint8_t mode, std::uint16_t tableId);
  // ReadData of count ranges of one length (TUdbFile::ReadPageIOMany).
  void ReadDataMany(const TUdbAddr* addresses, int count, int length, std::uint8_t* const* buffers,
                    std::uint8_t mode, std::uint16_t tableId);
  void WriteData(TUdbAddr address, int length, const void* buffer, std::uint8_t mode, std::uint16_t tableId);

  // --- transactions ---
  void StartTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const { return file_.InTransaction(); }
  // A savepoint of the transaction's pages (TUdbFile::BeginSavepoint): a
  // change that fails part-way goes back to it, the earlier changes stay.
  // RollbackToSavepoint also drops the kept map pages and puts the global
  // header in memory back as it was (re-read when it was not loaded then
  // and its lock is held): both may hold the change's work.
  void BeginSavepoint();
  void ReleaseSavepoint() { file_.ReleaseSavepoint(); }
  void RollbackToSavepoint();
  bool InSavepoint() const { return file_.InSavepoint(); }
  // Flushing at commit (UdbJournal.h); fpFull by default.
  TUdbFlushPolicy FlushPolicy() const { return file_.FlushPolicy(); }
  void SetFlushPolicy(TUdbFlushPolicy policy) { file_.SetFlushPolicy(policy); }
  // Pending pages above which a transaction spills them to the file before
  // its commit (TUdbFile::SetSpillLimit; 0 never).
  int SpillLimit() const { return file_.SpillLimit(); }
  void SetSpillLimit(int pages) { file_.SetSpillLimit(pages); }
  // Restores a journal left by a dead writer when no live writer holds the
  // intent to write; true when pages were restored.
  bool RecoverJournal();

  void CopyDatabaseFile(const AnsiString& fileName);

  TUdbFile& File() { return file_; }
  TMapPageMgr& MapPages() { return *map_; }

 private:
  friend class THeaderWriteScope;
  void CheckPageSize(const char* location) const;
  void ValidateHeader();
  void ReleaseHeaderQuietly();
  void TakeWriteIntent();
  // After a table lock: a journal nobody restores or owns is restored
  // before anything is read (10249 when that takes longer than a lock may).
  void AwaitJournalRestored(int tableId, int lockType, bool taken);
  // The restore of a journal with the intent held and the others' table
  // locks kept off meanwhile (TDiskLocks::BeginRestore).
  bool RestoreUnderExclusion();
  // The map pages kept under the intent may no longer be the file's.
  void ForgetKeptMapPages();
  // Commit: the pending lock and every table lock raised to write.
  void RaiseLocksForCommit();
  void AfterHeaderLocked(bool wasHeld);
  // The record page test of the locks (TDiskLocks::SetRecordPageTest).
  bool HoldsNoOtherRecords(std::int64_t page, std::int64_t ofPage);

  TUdbFile file_;
  // The global header in memory when the savepoint began (empty: not
  // loaded), and whether it was dirty.
  std::vector<std::uint8_t> savedHeader_;
  bool savedHeaderDirty_ = false;
  int pageSize_ = udbfmt::kDefaultPageSize;
  int mode_ = 2 + 64;
  AnsiString fileName_;
  std::unique_ptr<TGlobalHdr> header_;
  std::unique_ptr<TMapPageMgr> map_;
  bool exclusive_ = false;
  bool readOnlyMode_ = false;
  bool headerReadLocked_ = false;
  bool headerWriteLocked_ = false;
  int retryInterval_ = 200;
  int retryMaximum_ = 10;
  std::unique_ptr<TDiskLocks> locks_;
  AnsiString masterKey_;
  TUdbFileSystem* fs_;
};

// Request size (bytes, a multiple of pageSize) for blocks of blockSize:
// 4096 for 100, 12288 for 3000, 45056 for 5000 with 4096-byte pages.
int GetBestPageRequestSize(int blockSize, int pageSize);
// "GZ.udb" -> "GZ.lck"; "data.db" -> "data_db.lck" (directory untouched).
// The journal beside it: JournalFileNameFor (UdbJournal.h), ".jnl".
AnsiString LockFileNameFor(const AnsiString& databaseFileName);
// Copies a closed file; an existing target is replaced only with overwrite,
// and never when it is the source itself (false).
bool UdbCopyFile(const AnsiString& source, const AnsiString& target, bool overwrite,
                 TUdbFileSystem& fs = PosixFileSystem());
