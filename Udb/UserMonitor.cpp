#include "Udb/UserMonitor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "Udb/UdbErrors.h"
#include "platform/core/AnsiText.h"
#include "platform/core/Files.h"
#include "platform/core/FileModes.h"
#include "platform/core/Strings.h"
#include "platform/core/SysInfo.h"

namespace {

// Resource string 65141.
const char* const kLockFileFailureText = "A lock could not be obtained on the lock file";
constexpr int kMutexTries = 21;       // the first try and 20 retries
constexpr unsigned kMutexSleepMs = 100;
// How often an opener starts again after finding its lock file unlinked.
constexpr int kOpenAttempts = 20;

bool TryLockWithRetries(TFileHandle& h, std::int64_t offset) {
  for (int i = 0; i < kMutexTries; ++i) {
    if (h.TryLock(offset, 1)) return true;
    if (i + 1 < kMutexTries) Sleep(kMutexSleepMs);
  }
  return false;
}

}  // namespace

TDBUserMonitor::TDBUserMonitor(TFileHandle* databaseFile, const AnsiString& lockFileName)
    : databaseFile_(databaseFile), lockFileName_(lockFileName) {}

TDBUserMonitor::~TDBUserMonitor() { Close(); }

void TDBUserMonitor::InternalSetLock() {
  if (!TryLockWithRetries(lockFile_, 0))
    UdbDatabaseError(udberr::kLockTimeout, "TDBUserMonitor.InternalSetLock", kLockFileFailureText);
}

void TDBUserMonitor::InternalReleaseLock() noexcept { lockFile_.Unlock(0, 1); }

void TDBUserMonitor::InternalSetParentLock() {
  if (databaseFile_ == nullptr || !databaseFile_->IsOpen() ||
      !TryLockWithRetries(*databaseFile_, kParentLockOffset))
    UdbDatabaseError(udberr::kLockTimeout, "TDBUserMonitor.InternalSetParentLock",
                     kLockFileFailureText);
}

void TDBUserMonitor::InternalReleaseParentLock() noexcept {
  if (databaseFile_ != nullptr) databaseFile_->Unlock(kParentLockOffset, 1);
}

bool TDBUserMonitor::OpenedFileIsCurrent() const {
  struct stat opened {}, named {};
  if (fstat(lockFile_.Fd(), &opened) != 0 || opened.st_nlink == 0) return false;
  if (stat(MapPath(lockFileName_).c_str(), &named) != 0) return false;
  return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

void TDBUserMonitor::Open(const AnsiString& userName, const AnsiString& computerName) {
  if (IsOpen()) Close();
  TStringList names;
  names.Add(computerName);
  names.Add(userName);
  entryText_ = names.CommaText();
  if (entryText_.Length() >= kLockFileSlotSize) entryText_.SetLength(kLockFileSlotSize - 1);
  const std::string path = MapPath(lockFileName_);

  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    // Create and open under the parent lock, so that a closing connection
    // never deletes the file between our test and our open.
    InternalSetParentLock();
    int fd = -1;
    int openError = 0;
    {
      // Owner and group only, whatever the umask (kDataFileMode).
      int created = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kDataFileMode);
      if (created >= 0) {
        std::vector<char> zeros(kLockFileSlotSize, 0);
        bool ok = ::fchmod(created, kDataFileMode) == 0 &&
                  ::pwrite(created, zeros.data(), zeros.size(), 0) == static_cast<ssize_t>(zeros.size());
        ::close(created);
        if (!ok) {
          ::unlink(path.c_str());
          InternalReleaseParentLock();
          UdbDatabaseError(udberr::kCannotOpen, "TDBUserMonitor.Open",
                           "Unable to complete lock file creation");
        }
      } else if (errno != EEXIST) {
        openError = errno;
      }
      if (openError == 0) {
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) openError = errno;
      }
    }
    InternalReleaseParentLock();
    if (fd < 0)
      UdbDatabaseError(udberr::kCannotOpen, "TDBUserMonitor.Open",
                       "The lock file could not be opened: " + SysErrorMessage(openError));
    lockFile_ = TFileHandle(fd);
    presenceAddress_ = 0;
    slotOffset_ = -1;

    if (lockFile_.Size() >= kPresenceBase) {
      lockFile_.Close();
      UdbDatabaseError(udberr::kTooManyClients, "TDBUserMonitor.Open",
                       "The lock file has grown too large");
    }
    try {
      InternalSetLock();
    } catch (...) {
      lockFile_.Close();
      throw;
    }
    if (!OpenedFileIsCurrent()) {
      // The last user deleted the file after we opened it: start again.
      InternalReleaseLock();
      lockFile_.Close();
      continue;
    }
    try {
      std::int64_t slot = FindUserSlot();
      if (slot < 0) slot = FindEmptySlot();
      if (slot < 0) {
        std::int64_t size = lockFile_.Size();
        slot = (size + kLockFileSlotSize - 1) / kLockFileSlotSize * kLockFileSlotSize;
        if (slot < kLockFileSlotSize) slot = kLockFileSlotSize;
        if (slot + kLockFileSlotSize > kPresenceBase)
          UdbDatabaseError(udberr::kTooManyClients, "TDBUserMonitor.Open",
                           "The lock file has grown too large");
      }
      WriteSlot(slot, entryText_);
      slotOffset_ = slot;
      for (std::int64_t i = 0; i < kLockFileSlotSize; ++i) {
        if (lockFile_.TryLock(kPresenceBase + slot + i, 1)) {
          presenceAddress_ = kPresenceBase + slot + i;
          break;
        }
      }
    } catch (...) {
      InternalReleaseLock();
      lockFile_.Close();
      throw;
    }
    InternalReleaseLock();
    return;
  }
  UdbDatabaseError(udberr::kLockTimeout, "TDBUserMonitor.Open", kLockFileFailureText);
}

std::int64_t TDBUserMonitor::FindUserSlot() {
  std::int64_t size = lockFile_.Size();
  std::vector<char> buf(kLockFileSlotSize + 1);
  for (std::int64_t off = kLockFileSlotSize; off < size; off += kLockFileSlotSize) {
    std::int64_t n = lockFile_.ReadAt(buf.data(), kLockFileSlotSize, off);
    if (n <= 0) break;
    buf[static_cast<size_t>(n)] = 0;
    if (buf[0] != 0 && AnsiCompareText(AnsiString(buf.data()), entryText_) == 0) return off;
  }
  return -1;
}

std::int64_t TDBUserMonitor::FindEmptySlot() {
  std::int64_t size = lockFile_.Size();
  for (std::int64_t off = kLockFileSlotSize; off + kLockFileSlotSize <= size;
       off += kLockFileSlotSize) {
    char first = 1;
    if (lockFile_.ReadAt(&first, 1, off) == 1 && first == 0) return off;
  }
  return -1;
}

void TDBUserMonitor::WriteSlot(std::int64_t offset, const AnsiString& text) {
  std::vector<char> slot(kLockFileSlotSize, 0);
  std::memcpy(slot.data(), text.data(), static_cast<size_t>(text.Length()));
  if (lockFile_.WriteAt(slot.data(), kLockFileSlotSize, offset) != kLockFileSlotSize)
    UdbDatabaseError(udberr::kCannotOpen, "TDBUserMonitor.Open",
                     "The lock file could not be written: " + SysErrorMessage(errno));
}

void TDBUserMonitor::ClearSlot(std::int64_t offset) noexcept {
  std::vector<char> zeros(kLockFileSlotSize, 0);
  lockFile_.WriteAt(zeros.data(), kLockFileSlotSize, offset);
}

int TDBUserMonitor::CountActiveUsers() noexcept {
  int active = 0;
  std::int64_t size = lockFile_.Size();
  for (std::int64_t off = kLockFileSlotSize; off < size; off += kLockFileSlotSize) {
    if (lockFile_.TryLock(kPresenceBase + off, kLockFileSlotSize)) {
      // Nobody behind this slot: clear what a crashed program left.
      char first = 0;
      if (lockFile_.ReadAt(&first, 1, off) == 1 && first != 0) ClearSlot(off);
      lockFile_.Unlock(kPresenceBase + off, kLockFileSlotSize);
    } else {
      ++active;
    }
  }
  return active;
}

void TDBUserMonitor::Close() noexcept {
  if (!IsOpen()) return;
  if (presenceAddress_ != 0) lockFile_.Unlock(presenceAddress_, 1);
  presenceAddress_ = 0;
  bool haveMutex = false;
  try {
    InternalSetLock();
    haveMutex = true;
  } catch (...) {
  }
  if (haveMutex) {
    std::int64_t slot = -1;
    try {
      slot = FindUserSlot();
    } catch (...) {
    }
    if (slot >= 0 && lockFile_.TryLock(kPresenceBase + slot, kLockFileSlotSize)) {
      ClearSlot(slot);  // no other connection of this computer and user
      lockFile_.Unlock(kPresenceBase + slot, kLockFileSlotSize);
    }
    if (CountActiveUsers() == 0) {
      bool haveParent = false;
      try {
        InternalSetParentLock();
        haveParent = true;
      } catch (...) {
      }
      // Unlink while the mutex is still held: an opener that already has
      // the file open sees, once it gets the mutex, that the name is gone.
      if (haveParent) {
        if (OpenedFileIsCurrent()) ::unlink(MapPath(lockFileName_).c_str());
        InternalReleaseParentLock();
      }
    }
    InternalReleaseLock();
  }
  lockFile_.Close();
  slotOffset_ = -1;
}
