// TDiskLocks: the byte-range lock services of one open database file, as
// the disk manager uses them.  An implementation owns the lock file of
// connected users (its slot and presence byte), the table and record lock
// managers on that lock file, and the 1000-byte range held locked on the
// database file at udbfmt::kOpenLockOffset while the connection is open.
//
// TDiskMgr::Open creates one through the process-wide factory when the
// database file is not read-only.  The default factory gives the engine's
// own locks (TUdbDiskLocks, UdbDiskLocks.h) for every file the operating
// system can lock, and none for files without a descriptor (the in-memory
// file systems of tests); a factory that returns null, or an empty one,
// makes the connection run unlocked (every lock request granted at once).  Destroying the
// object releases every lock, leaves the lock file (deleting it when the
// last user leaves) and unlocks the open range; it never throws.
// Lock types: 1 read, 4 write.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/AnsiString.h"

class TUdbFileIO;
class TUdbFileSystem;

class TDiskLocks {
 public:
  virtual ~TDiskLocks() = default;
  // Table id 0 is the database header.  Write: the table's whole region;
  // read: one byte of it.  Returns the lock type now held; raises 10249
  // after the retries.  A connection that holds no table lock waits while
  // another holds the pending lock; a write request holds it itself while
  // it waits for the readers to leave.
  virtual int LockTable(int tableId, int lockType) = 0;
  virtual void UnlockTable(int tableId) = 0;
  // A record write lock; returns the lock type now held.  inTransaction:
  // the lock is kept until the transaction ends (ReleaseAll), and the
  // caller holds the write intent; the implementation may then lock the
  // records of a whole page at once when the transaction changes several
  // of them (a page holds the records of one table only).
  virtual int LockRecord(int recordId, bool inTransaction) = 0;
  // For locking pages of records whole: test(page, ofPage) tells whether
  // page (an address) holds no record another connection could want while
  // this one holds the records of ofPage - no records at all, or records
  // of ofPage's table only.  The implementation may then lock such pages
  // too, to join the pages it holds into one range.  Unset: never.
  using TRecordPageTest = std::function<bool(std::int64_t page, std::int64_t ofPage)>;
  virtual void SetRecordPageTest(TRecordPageTest test) { (void)test; }
  virtual void UnlockRecord(int recordId) = 0;
  // Commit: every held table lock becomes a write lock.
  virtual void UpgradeTableLocks() = 0;
  // The intent to write (a reserved lock): held by at most one connection,
  // from a transaction's first write (or a commit's start) until its end,
  // and by a connection restoring a journal.  Readers are not affected.
  // mayWait false: one try only (a transaction that already holds read
  // locks must not wait for a writer that waits for those).  10249 when
  // it cannot be had.
  virtual void LockWriteIntent(bool mayWait) = 0;
  // One try, to restore a journal: true when the intent is held, false
  // when a live writer holds it (the journal is then its own).
  virtual bool TryWriteIntentToRestore() = 0;
  // A request for the intent was refused and has not been served since:
  // the connection keeps its place in the turns.
  virtual bool WantsWriteIntent() const { return false; }
  // Commit: from here until ReleaseAll no connection that holds no table
  // lock yet can take one (a pending lock), so the readers the commit
  // waits for drain instead of being replaced by new ones.
  virtual void LockPending() = 0;
  // Restoring a journal no live writer owns (the caller holds the intent):
  // from BeginRestore until EndRestore the connection is marked as at work
  // (WriterAtWork), no connection without table locks takes one, and once
  // every other connection's table locks have gone none is taken at all -
  // nobody reads pages while they go back.  10249 when the others' locks
  // do not go within the usual wait (nothing is then held of it).
  virtual void BeginRestore() {}
  virtual void EndRestore() noexcept {}
  // Another connection writes pages of the file under its locks, or is
  // about to: a commit or a spill (it holds the write locks of every table
  // it wrote), or a restore (it waits for every table lock to go).  A
  // table this connection holds a lock on is then none of its pages.
  virtual bool WriterAtWork() const { return false; }
  // The type of lock this connection holds on a table: 0 none, 1, 4.
  virtual int TableLockType(int tableId) const {
    (void)tableId;
    return 0;
  }
  virtual void UnlockWriteIntent() = 0;
  virtual bool HoldsWriteIntent() const = 0;
  // Some table lock (other than the intent) is held as a read lock.
  virtual bool HoldsTableReadLocks() const = 0;
  virtual void ReleaseAll() = 0;
  virtual void SetRetry(int maximum, int intervalMs) = 0;
};

struct TDiskLocksParams {
  TUdbFileIO* databaseFile = nullptr;  // for the open range and the parent lock
  TUdbFileSystem* fileSystem = nullptr;
  AnsiString databaseFileName;
  AnsiString lockFileName;  // LockFileNameFor(databaseFileName)
  int retryMaximum = 10;
  int retryInterval = 200;
  int pageSize = 4096;  // of the database file: record pages are aligned to it
};

using TDiskLocksFactory = std::function<std::unique_ptr<TDiskLocks>(const TDiskLocksParams&)>;

// Installs the factory every later TDiskMgr::Open uses (empty: unlocked).
void SetDiskLocksFactory(TDiskLocksFactory factory);
// The engine's own locks where the file has a descriptor (UdbDiskLocks.cpp).
TDiskLocksFactory DefaultDiskLocksFactory();
const TDiskLocksFactory& DiskLocksFactory();
