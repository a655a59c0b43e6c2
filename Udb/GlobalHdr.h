// TGlobalHdr: the in-memory copy of the 128-byte global header at offset
// 1024 of the database file (layout in DatabaseFileFormat.h).  Owned by
// TDiskMgr, which reads and writes it under the header lock; the allocation
// map and the database-wide block interfaces keep their items in it.
// Calls only UdbErrors.
#pragma once

#include <cstdint>
#include <vector>

class TGlobalHdr {
 public:
  // 8581 "Unable to initialize header - size not set" for a size below 4.
  void Initialize(int size, int fileOffset);
  // DWORD item at byte offset 1..size-4; other offsets raise 8581 "DB
  // Header. Item offset is out of range".
  std::uint32_t GetItem(int offset) const;
  // Marks the header dirty only when the value changes.
  void SetItem(int offset, std::uint32_t value);

  std::uint8_t* Buffer() { return buffer_.data(); }
  const std::uint8_t* Buffer() const { return buffer_.data(); }
  int Size() const { return static_cast<int>(buffer_.size()); }
  int FileOffset() const { return fileOffset_; }
  bool Dirty() const { return dirty_; }
  void SetDirty(bool on) { dirty_ = on; }
  bool Loaded() const { return loaded_; }
  void SetLoaded(bool on) { loaded_ = on; }

 private:
  void CheckOffset(int offset) const;

  std::vector<std::uint8_t> buffer_;
  int fileOffset_ = 0;
  bool dirty_ = false;
  bool loaded_ = false;
};
