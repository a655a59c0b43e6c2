#include "Udb/UdbDiskLocks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "Udb/DatabaseFileFormat.h"
#include "Udb/UdbFileIO.h"
#include "Udb/UdbErrors.h"
#include "platform/core/Files.h"
#include "platform/core/SysInfo.h"

namespace {
const char* const kTableReadFailure = "A read lock could not be obtained on the table";    // 65138
const char* const kTableWriteFailure = "A write lock could not be obtained on the table";  // 65139
const char* const kRecordFailure = "A lock could not be obtained on the record";           // 65140
}  // namespace

TUdbDiskLocks::TUdbDiskLocks(const TDiskLocksParams& params) {
  // A descriptor of our own: its locks conflict with every other
  // connection's, and the page file's share-mode claims do not apply to it.
  int fd = ::open(MapPath(params.databaseFileName).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0)
    UdbDatabaseError(udberr::kCannotOpen, "TDiskMgr.Open", "Error type of: " + SysErrorMessage(errno));
  database_ = TFileHandle(fd);
  monitor_ = std::make_unique<TDBUserMonitor>(&database_, params.lockFileName);
  monitor_->Open(GetUserName(), GetComputerName());

  tables_ = std::make_unique<TWinLockMgr>(monitor_->LockFileHandle(), kTableLockBase,
                                          kTableLockRegion);
  tables_->SetReadLockFailureText(kTableReadFailure);
  tables_->SetWriteLockFailureText(kTableWriteFailure);
  records_ = std::make_unique<TWinLockMgr>(monitor_->LockFileHandle(), kRecordLockBase,
                                           kRecordLockRegion);
  records_->SetReadLockFailureText(kRecordFailure);
  records_->SetWriteLockFailureText(kRecordFailure);
  // Record lock ids are file addresses: a block of pageSize ids is a page.
  pageSize_ = params.pageSize;
  if (pageSize_ > 0) records_->SetEscalation(pageSize_, kRecordPageLockThreshold);
  SetRetry(params.retryMaximum, params.retryInterval);

  for (std::int64_t i = 0; i < kOpenLockRange; ++i) {
    if (database_.TryLock(udbfmt::kOpenLockOffset + i, 1)) {
      openMark_ = udbfmt::kOpenLockOffset + i;
      break;
    }
  }
}

TUdbDiskLocks::~TUdbDiskLocks() {
  records_.reset();  // managers release their locks first
  tables_.reset();
  if (openMark_ >= 0) database_.Unlock(openMark_, 1);
  monitor_.reset();  // may delete the lock file
  database_.Close();
}

int TUdbDiskLocks::LockTable(int tableId, int lockType) {
  const int held = tables_->LockTypeOf(tableId);
  if (held == kLockWrite || (held == kLockRead && lockType != kLockWrite)) return held;
  // The gate: a connection that holds no table lock passes the pending lock
  // first - sharing one byte to read, holding the whole region while it
  // waits to write - so a waiting writer is not starved by readers that
  // keep coming.  One that holds locks never waits at the gate: a writer
  // may be waiting for exactly those.
  bool holdsTables = false;
  for (const TLockItem& item : tables_->Items())
    if (item.ObjectId != kWriteIntentLockId && item.ObjectId != kPendingLockId) holdsTables = true;
  const bool gate = !holdsTables && tables_->LockTypeOf(kPendingLockId) == 0;
  if (gate) {
    if (lockType == kLockWrite)
      tables_->SetWriteLock(kPendingLockId, 0);
    else
      tables_->SetReadLock(kPendingLockId, 1);
  }
  struct TGate {
    TWinLockMgr& locks;
    bool taken;
    ~TGate() {
      if (taken) locks.Unlock(kPendingLockId);
    }
  } gateRelease{*tables_, gate};
  if (lockType == kLockWrite) {
    tables_->SetWriteLock(tableId, 0);
  } else {
    tables_->SetReadLock(tableId, 1);
  }
  return tables_->LockTypeOf(tableId);
}

void TUdbDiskLocks::LockPending() {
  if (tables_->LockTypeOf(kPendingLockId) == kLockRead) tables_->Unlock(kPendingLockId);
  tables_->SetWriteLock(kPendingLockId, 0);
}

void TUdbDiskLocks::UnlockTable(int tableId) { tables_->Unlock(tableId); }

int TUdbDiskLocks::LockRecord(int recordId, bool inTransaction) {
  records_->SetWriteLock(recordId, 0, inTransaction);
  return records_->LockTypeOf(recordId);
}

void TUdbDiskLocks::SetRecordPageTest(TRecordPageTest test) {
  if (pageSize_ <= 0 || !test) {
    records_->SetBlockBridging(0, nullptr);
    return;
  }
  const std::int64_t pageSize = pageSize_;
  records_->SetBlockBridging(kRecordPageBridge,
                             [pageSize, test = std::move(test)](std::int64_t block, std::int64_t ofBlock) {
                               return test(block * pageSize, ofBlock * pageSize);
                             });
}

void TUdbDiskLocks::UnlockRecord(int recordId) { records_->Unlock(recordId); }

void TUdbDiskLocks::UpgradeTableLocks() { tables_->UpgradeAll(); }

void TUdbDiskLocks::LockWriteIntent(bool mayWait) {
  if (HoldsWriteIntent()) return;
  const int retries = tables_->RetryMaximum();
  if (!mayWait) tables_->SetRetryMaximum(1);
  try {
    tables_->SetWriteLock(kWriteIntentLockId, 1);
  } catch (...) {
    tables_->SetRetryMaximum(retries);
    throw;
  }
  tables_->SetRetryMaximum(retries);
}

void TUdbDiskLocks::UnlockWriteIntent() { tables_->Unlock(kWriteIntentLockId); }

bool TUdbDiskLocks::HoldsWriteIntent() const { return tables_->LockTypeOf(kWriteIntentLockId) == kLockWrite; }

bool TUdbDiskLocks::HoldsTableReadLocks() const {
  // An upgraded lock keeps its read item beside the write parts.
  for (const TLockItem& item : tables_->Items())
    if (item.LockType == kLockRead && item.ObjectId != kPendingLockId &&
        tables_->LockTypeOf(item.ObjectId) != kLockWrite)
      return true;
  return false;
}

void TUdbDiskLocks::ReleaseAll() {
  tables_->ReleaseAll();
  records_->ReleaseAll();
}

void TUdbDiskLocks::SetRetry(int maximum, int intervalMs) {
  tables_->SetRetryMaximum(maximum);
  tables_->SetRetryInterval(intervalMs);
  records_->SetRetryMaximum(maximum);
  records_->SetRetryInterval(intervalMs);
}

TDiskLocksFactory DefaultDiskLocksFactory() {
  return [](const TDiskLocksParams& p) -> std::unique_ptr<TDiskLocks> {
    // Operating-system locks need a real file; an in-memory one runs unlocked.
    if (p.databaseFile == nullptr || p.databaseFile->Handle() < 0) return nullptr;
    return std::make_unique<TUdbDiskLocks>(p);
  };
}

void InstallUdbDiskLocks() { SetDiskLocksFactory(DefaultDiskLocksFactory()); }
