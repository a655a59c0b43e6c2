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
//
// TDiskMgr uses this class by default for files with a descriptor;
// InstallUdbDiskLocks() puts that default back after a test replaced it.
#pragma once

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
// Changed records of one page after which a transaction locks the page.
inline constexpr int kRecordPageLockThreshold = 2;
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
  void LockPending() override;
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
  TFileHandle database_;  // own descriptor: parent lock and open mark
  std::unique_ptr<TDBUserMonitor> monitor_;
  std::unique_ptr<TWinLockMgr> tables_;
  std::unique_ptr<TWinLockMgr> records_;
  std::int64_t openMark_ = -1;
  std::int64_t pageSize_ = 0;
};

void InstallUdbDiskLocks();
