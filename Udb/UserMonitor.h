// TDBUserMonitor: the connection's entry in the lock file of connected
// users, which is also the file all table and record locks are taken in.
// Owned by TUdbDiskLocks.  Calls platform/core only.
//
// Lock file layout (4096-byte slots):
//
//   offset      size  content
//   0           4096  slot 0: zeros; its first byte is the file's mutex lock
//   4096 * k    4096  slot k >= 1: zero-terminated entry text, zero-padded;
//                     a first byte of 0 marks an empty slot
//
// Entry text: the comma text of (computer name, user name).  A connection
// holds one byte of its slot's presence range, kPresenceBase + slot offset
// + i (0 <= i < 4096), as long as it is connected; a slot whose presence
// range can be locked whole has nobody behind it.  The file stays below
// kPresenceBase (1023 user slots), so presence ranges end below the table
// locks at 0x800000.
//
// Byte locks:   lock file  0                 mutex over the slot table
//               lock file  kPresenceBase + …  presence of one connection
//               database   8192              parent lock: serialises
//                                            creating, opening and deleting
//                                            the lock file
//
// Life of the file: created (under the parent lock) by the first
// connection, deleted (under the parent lock) by the last.  A lock file can
// be unlinked by a closing process just after another opened it, so an
// opener checks, after taking the mutex, that the path still names the
// file it opened, and starts again otherwise.
#pragma once

#include <cstdint>

#include "platform/core/AnsiString.h"
#include "platform/core/Component.h"
#include "platform/core/FileLocks.h"

inline constexpr std::int64_t kLockFileSlotSize = 4096;
inline constexpr std::int64_t kPresenceBase = 0x400000;
inline constexpr std::int64_t kParentLockOffset = 8192;

class TDBUserMonitor : public TObject {
 public:
  // databaseFile: a handle on the database file for the parent lock (not
  // owned); lockFileName: the ".lck" file beside it.
  TDBUserMonitor(TFileHandle* databaseFile, const AnsiString& lockFileName);
  ~TDBUserMonitor() override;  // Close(), never throws

  // Registers the connection.  10249 (text 65141) when the mutex or the
  // parent lock stays held; 9486 when the lock file has grown to 4 MB.
  void Open(const AnsiString& userName, const AnsiString& computerName);
  // Leaves the slot, clears slots of crashed connections and deletes the
  // lock file when nobody else is connected.  Never throws.
  void Close() noexcept;

  bool IsOpen() const { return lockFile_.IsOpen(); }
  // The lock file's handle, on which the lock managers take their locks.
  TFileHandle* LockFileHandle() { return &lockFile_; }
  std::int64_t PresenceAddress() const { return presenceAddress_; }
  std::int64_t SlotOffset() const { return slotOffset_; }
  const AnsiString& EntryText() const { return entryText_; }
  const AnsiString& LockFileName() const { return lockFileName_; }

 private:
  void InternalSetLock();
  void InternalReleaseLock() noexcept;
  void InternalSetParentLock();
  void InternalReleaseParentLock() noexcept;
  bool OpenedFileIsCurrent() const;
  // Offset of the slot holding the entry text, or -1.
  std::int64_t FindUserSlot();
  std::int64_t FindEmptySlot();
  void WriteSlot(std::int64_t offset, const AnsiString& text);
  void ClearSlot(std::int64_t offset) noexcept;
  int CountActiveUsers() noexcept;

  TFileHandle* databaseFile_;
  AnsiString lockFileName_;
  AnsiString entryText_;
  TFileHandle lockFile_;
  std::int64_t presenceAddress_ = 0;
  std::int64_t slotOffset_ = -1;
};
