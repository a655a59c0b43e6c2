// TUdbDiskLocks: the byte-range lock services of one open database file
// (TDiskLocks) on the operating system's locks: the lock file of connected
// users (TDBUserMonitor), the table and record lock managers on it
// (TWinLockMgr) and the open mark on the database file.
//
// The open mark: every connection holds one byte of the 1000-byte range at
// udbfmt::kOpenLockOffset of the database file while it is open (the first
// free one), so the range shows the file in use and any number of running
// copies, up to 1000, can open it at once.
//
// Record locks inside a transaction.  A transaction keeps its record locks
// until it ends, and the system's lock list of the file grows with them: a
// lock request walks the whole list, so one byte per changed record made an
// UPDATE of n rows cost n^2.  Inside a transaction a request therefore
// counts towards its page of the database file (records never cross into
// another table's page): at the second changed record of one page the
// connection tries once to lock the page's whole record range, 0x2000000 +
// page address, one byte per address of the page, taking in its own record
// locks there.  It gets it only when no other connection holds a lock on a
// record of that page; otherwise its records keep their own bytes.  Other
// connections see every record of the page locked until the commit or the
// rollback - records of the one table whose changes by others wait for that
// end anyway, since the transaction holds that table's lock.  Neighbouring
// pages merge into one range in the system's list, which so stays short;
// pages apart by up to kRecordPageBridge pages are joined by taking the
// pages between as well, when the disk manager's test finds they hold no
// record of another table (index nodes, blobs, this table's records).
// A transaction that has locked kRecordCrowdLimit records one by one (each
// an entry of its own in the system's list: scattered changes, one per
// page, as a walk in key order over rows stored in another order makes
// them) locks the page at its first changed record from then on, so the
// list stays short however many records the transaction changes; a
// transaction that changes a few records keeps them to themselves.
//
// TDiskMgr uses this class by default for files with a descriptor;
// InstallUdbDiskLocks() puts that default back after a test replaced it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "Udb/DiskLocks.h"
#include "Udb/LockMgr.h"
#include "Udb/UserMonitor.h"
#include "platform/core/FileLocks.h"

inline constexpr std::int64_t kOpenLockRange = 1000;
// The write-intent lock: the first byte of table lock object 2047 (no table
// has that id: user tables 1-1000, system tables 1024-2023).
inline constexpr std::int64_t kWriteIntentLockId = 2047;
// The pending lock: the first byte of object 2046.  New readers share it
// for a moment while they lock; a writer waiting for readers to leave, or
// a commit, holds it alone.
inline constexpr std::int64_t kPendingLockId = 2046;
// Turns at the write intent.  Writers are served in turn rather than by
// whoever polls at the right instant: a connection that wants the intent
// holds its wait mark, the byte kIntentWaitBase + p of the lock file, where
// p is its presence byte's offset from kPresenceBase (unique per
// connection), from its first request until it gets the intent - across
// the rollback and retry of a transaction refused for it.  The holder,
// before it gives the intent up, writes the p of the next marked
// connection after its own (cyclically; 0 when none waits) and a serial
// number one higher than the last, two 32-bit little-endian numbers at
// kIntentTurnOffset of the lock file, inside slot 0.  A connection that
// finds the intent free takes it only when the turn is 0, its own, names a
// connection that no longer waits (it died: its mark went with its
// descriptor), or has stood untaken for kTurnPatienceMs (or the retry
// interval, if longer): that connection may have stopped wanting to write.
inline constexpr std::int64_t kIntentWaitBase = 0x1800000;
inline constexpr std::int64_t kIntentTurnOffset = 8;
inline constexpr int kTurnPatienceMs = 50;
static_assert(kIntentWaitBase >= kTableLockBase + 2048 * kTableLockRegion);
static_assert(kIntentWaitBase + kPresenceBase <= kRecordLockBase);
// The writer's mark: the second byte of object 2047, held by a connection
// that holds the intent while it writes pages to the file - from the
// pending lock of a commit or a spill until it lets its locks go, and for a
// restore.  A journal beside the file while nobody holds it was left by a
// writer that died or failed to restore it, and must be restored before
// anything is read.
inline constexpr std::int64_t kWriterMarkOffset = kTableLockBase + kWriteIntentLockId * kTableLockRegion + 1;
// Changed records of one page after which a transaction locks the page.
inline constexpr int kRecordPageLockThreshold = 2;
// Records a transaction locks one by one before it locks pages at once.
inline constexpr int kRecordCrowdLimit = 64;
// Pages between two locked pages that may be taken to join them.
inline constexpr int kRecordPageBridge = 16;

class TUdbDiskLocks : public TDiskLocks {
 public:
  // Registers the connection in the lock file; raises like
  // TDBUserMonitor::Open, or 8449 when the database file cannot be opened.
  explicit TUdbDiskLocks(const TDiskLocksParams& params);
  ~TUdbDiskLocks() override;

  int LockTable(int tableId, int lockType) override;
  void UnlockTable(int tableId) override;
  int LockRecord(int recordId, bool inTransaction) override;
  void SetRecordPageTest(TRecordPageTest test) override;
  void UnlockRecord(int recordId) override;
  void UpgradeTableLocks() override;
  void LockWriteIntent(bool mayWait) override;
  bool TryWriteIntentToRestore() override;
  bool WantsWriteIntent() const override { return waitMarked_; }
  void LockPending() override;
  void BeginRestore() override;
  void EndRestore() noexcept override;
  bool WriterAtWork() const override;
  int TableLockType(int tableId) const override { return tables_->LockTypeOf(tableId); }
  void UnlockWriteIntent() override;
  bool HoldsWriteIntent() const override;
  bool HoldsTableReadLocks() const override;
  void ReleaseAll() override;
  void SetRetry(int maximum, int intervalMs) override;

  TBaseLockMgr& TableLocks() { return *tables_; }
  TBaseLockMgr& RecordLocks() { return *records_; }
  TDBUserMonitor& Monitor() { return *monitor_; }
  std::int64_t OpenMarkAddress() const { return openMark_; }

 private:
  // This connection's number in the turns (its presence byte's offset).
  std::int64_t TurnNumber() const;
  bool TurnAllowsIntent();
  // One try at the intent; inTurn: only when the turns allow it.
  bool TryIntent(bool inTurn);
  // Names the next waiting connection; called while the intent is held.
  void PassTurn() noexcept;
  void SetWaitMark(bool on);
  void SetWriterMark(bool on) noexcept;

  TFileHandle database_;  // own descriptor: parent lock and open mark
  std::unique_ptr<TDBUserMonitor> monitor_;
  std::unique_ptr<TWinLockMgr> tables_;
  std::unique_ptr<TWinLockMgr> records_;
  std::int64_t openMark_ = -1;
  std::int64_t pageSize_ = 0;
  bool waitMarked_ = false;
  bool writerMarked_ = false;
  bool restoring_ = false;         // holds every table's region (BeginRestore)
  bool pendingForRestore_ = false;  // took the pending lock for the restore
  bool intentInTurn_ = false;
  // The turn this connection found standing, and since when.
  std::int64_t turnSeen_ = 0;
  std::uint32_t turnSerial_ = 0;
  std::chrono::steady_clock::time_point turnSince_;
};

void InstallUdbDiskLocks();
