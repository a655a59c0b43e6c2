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

class TUdbDiskLocks : public TDiskLocks {
 public:
  // Registers the connection in the lock file; raises like
  // TDBUserMonitor::Open, or 8449 when the database file cannot be opened.
  explicit TUdbDiskLocks(const TDiskLocksParams& params);
  ~TUdbDiskLocks() override;

  int LockTable(int tableId, int lockType) override;
  void UnlockTable(int tableId) override;
  int LockRecord(int recordId) override;
  void UnlockRecord(int recordId) override;
  void UpgradeTableLocks() override;
  void LockWriteIntent(bool mayWait) override;
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
};

void InstallUdbDiskLocks();
