#include "Udb/UdbDiskLocks.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

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
  if (pageSize_ > 0) records_->SetEscalation(pageSize_, kRecordPageLockThreshold, kRecordCrowdLimit);
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
  bool gate = !holdsTables && tables_->LockTypeOf(kPendingLockId) == 0;
  if (gate) {
    if (lockType == kLockWrite) {
      tables_->SetWriteLock(kPendingLockId, 0);
    } else if (monitor_->LockFileHandle()->IsLockedByOther(kTableLockBase + kPendingLockId * kTableLockRegion,
                                                           kTableLockRegion)) {
      tables_->SetReadLock(kPendingLockId, 1);
    } else {
      // Nobody holds the gate: no writer waits or commits, so a reader goes
      // straight to its table (one call instead of taking and giving back a
      // byte of the gate).  A writer that takes the gate a moment later
      // waits for this reader at the table, as for one that had passed.
      gate = false;
    }
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
  SetWriterMark(true);
}

// Only the holder of the intent takes the mark, so the try never meets
// another connection's.
void TUdbDiskLocks::SetWriterMark(bool on) noexcept {
  if (on == writerMarked_) return;
  TFileHandle& file = *monitor_->LockFileHandle();
  if (on)
    writerMarked_ = file.TryLock(kWriterMarkOffset, 1);
  else if (file.Unlock(kWriterMarkOffset, 1))
    writerMarked_ = false;
}

bool TUdbDiskLocks::WriterAtWork() const {
  return monitor_->LockFileHandle()->IsLockedByOther(kWriterMarkOffset, 1);
}

namespace {
// Every table's region (ids below the pending lock's).
constexpr std::int64_t kAllTablesSpan = kPendingLockId * kTableLockRegion;
}  // namespace

// The pending lock keeps connections without table locks out; those that
// hold one let it go when they find the journal (or time out), so the
// others' locks drain.  No writer's mark: the file holds half a commit
// until the restore is done, and nobody may read it.
void TUdbDiskLocks::BeginRestore() {
  if (restoring_) return;
  pendingForRestore_ = tables_->LockTypeOf(kPendingLockId) != kLockWrite;
  if (pendingForRestore_) {
    if (tables_->LockTypeOf(kPendingLockId) == kLockRead) tables_->Unlock(kPendingLockId);
    try {
      tables_->SetWriteLock(kPendingLockId, 0);
    } catch (...) {
      pendingForRestore_ = false;
      throw;
    }
  }
  TFileHandle& file = *monitor_->LockFileHandle();
  constexpr unsigned kPollMs = 2;
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(std::int64_t(tables_->RetryMaximum()) * tables_->RetryInterval());
  // Own table locks lie wholly inside and are taken in.
  while (!file.TryLockOver(kTableLockBase, kAllTablesSpan)) {
    if (std::chrono::steady_clock::now() >= until) {
      if (pendingForRestore_) tables_->Unlock(kPendingLockId);
      pendingForRestore_ = false;
      UdbDatabaseError(udberr::kLockTimeout, "TBaseLockMgr.SetWriteLock", kTableWriteFailure);
    }
    Sleep(kPollMs);
  }
  restoring_ = true;
}

void TUdbDiskLocks::EndRestore() noexcept {
  if (!restoring_) return;
  restoring_ = false;
  std::vector<std::pair<std::int64_t, std::int64_t>> own;
  for (const TLockItem& item : tables_->Items())
    if (item.Size > 0 && item.Address >= kTableLockBase && item.Address < kTableLockBase + kAllTablesSpan)
      own.emplace_back(item.Address, item.Size);
  monitor_->LockFileHandle()->UnlockKeeping(kTableLockBase, kAllTablesSpan, std::move(own));
  if (pendingForRestore_) {
    try {
      tables_->Unlock(kPendingLockId);
    } catch (...) {
    }
    pendingForRestore_ = false;
  }
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

std::int64_t TUdbDiskLocks::TurnNumber() const { return monitor_->PresenceAddress() - kPresenceBase; }

bool TUdbDiskLocks::TurnAllowsIntent() {
  TFileHandle& file = *monitor_->LockFileHandle();
  std::uint8_t bytes[8] = {};
  if (file.ReadAt(bytes, 8, kIntentTurnOffset) != 8) return true;  // a new lock file: nobody's turn
  const std::int64_t turn = udbfmt::GetU32(bytes);
  const std::uint32_t serial = udbfmt::GetU32(bytes + 4);
  if (turn == 0 || turn == TurnNumber() || !file.IsLockedByOther(kIntentWaitBase + turn, 1)) return true;
  // A turn not taken within its time is passed over: its connection may
  // have stopped wanting to write.
  const auto now = std::chrono::steady_clock::now();
  if (serial != turnSerial_ || turn != turnSeen_) {
    turnSerial_ = serial;
    turnSeen_ = turn;
    turnSince_ = now;
    return false;
  }
  const auto patience = std::chrono::milliseconds(std::max(kTurnPatienceMs, tables_->RetryInterval()));
  return now - turnSince_ > patience;
}

bool TUdbDiskLocks::TryIntent(bool inTurn) {
  if (inTurn && !TurnAllowsIntent()) return false;
  if (!tables_->TryWriteLock(kWriteIntentLockId, 1)) return false;
  intentInTurn_ = inTurn;
  SetWaitMark(false);
  return true;
}

void TUdbDiskLocks::SetWaitMark(bool on) {
  if (on == waitMarked_) return;
  TFileHandle& file = *monitor_->LockFileHandle();
  const std::int64_t mark = kIntentWaitBase + TurnNumber();
  waitMarked_ = on ? file.TryLock(mark, 1) : !file.Unlock(mark, 1);
}

void TUdbDiskLocks::LockWriteIntent(bool mayWait) {
  if (HoldsWriteIntent()) return;
  // Marked as waiting from the first request: the holder then hands the
  // intent on to this connection in its turn.  A transaction that holds
  // read locks tries once (the holder's commit may wait for exactly those
  // locks) and keeps its mark when refused: rolled back and started again,
  // it finds its turn.
  SetWaitMark(true);
  if (TryIntent(true)) return;
  if (mayWait) {
    // The usual budget, polled often: the intent changes hands between two
    // commits of others for a moment only.
    constexpr unsigned kPollMs = 2;
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(std::int64_t(tables_->RetryMaximum()) * tables_->RetryInterval());
    while (std::chrono::steady_clock::now() < until) {
      Sleep(kPollMs);
      if (TryIntent(true)) return;
    }
  }
  UdbDatabaseError(udberr::kLockTimeout, "TBaseLockMgr.SetWriteLock", kTableWriteFailure);
}

bool TUdbDiskLocks::TryWriteIntentToRestore() { return HoldsWriteIntent() || TryIntent(false); }

void TUdbDiskLocks::PassTurn() noexcept {
  // Taken out of turn (to restore a journal): the turn stays as it was.
  if (!intentInTurn_) return;
  TFileHandle& file = *monitor_->LockFileHandle();
  const std::int64_t self = TurnNumber();
  const std::int64_t end = std::max<std::int64_t>(file.Size(), self + 1);
  // The next waiter after this connection, else the first from the start.
  std::int64_t next = file.FirstLockedByOther(kIntentWaitBase + self + 1, end - self - 1);
  if (next < 0) next = file.FirstLockedByOther(kIntentWaitBase + kLockFileSlotSize, self - kLockFileSlotSize);
  std::uint8_t bytes[8] = {};
  if (file.ReadAt(bytes, 8, kIntentTurnOffset) != 8) std::memset(bytes, 0, sizeof bytes);
  udbfmt::PutU32(bytes, next < 0 ? 0u : static_cast<std::uint32_t>(next - kIntentWaitBase));
  udbfmt::PutU32(bytes + 4, udbfmt::GetU32(bytes + 4) + 1);
  file.WriteAt(bytes, 8, kIntentTurnOffset);
}

void TUdbDiskLocks::UnlockWriteIntent() {
  if (HoldsWriteIntent()) PassTurn();
  tables_->Unlock(kWriteIntentLockId);
}

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
  EndRestore();
  if (HoldsWriteIntent()) PassTurn();
  tables_->ReleaseAll();
  records_->ReleaseAll();
  SetWriterMark(false);
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
