// TDiskIOInterface: fixed-size blocks of one owner in the database file,
// through the disk manager.  Blocks are carved from page requests sized by
// GetBestPageRequestSize; the spare blocks of a request and every released
// block join the owner's free runs.
//
// Free run (the first block of a run; all its other bytes, and every other
// block of the run, are zero):
//   offset  size  content
//   8       4     address of the next run's first block, 0 = end
//   12      4     number of blocks in the run (>= 1)
//
// Failure ordering: an allocation moves FirstEmpty past the block before it
// writes the caller's data, and a release writes the run before FirstEmpty
// points at it, so a failed write can leak a block but never leaves the
// free list pointing at data.  Run headers read from the file are checked
// (count 0, a run that links to itself, any byte set outside the two
// items) and raise 8451 before any write.
// Calls TDiskMgr (DiskMgr.h) and UdbErrors.
#pragma once

#include <vector>

#include "Udb/IOInterface.h"

namespace udbfmt {
constexpr int kRunNext = 8;
constexpr int kRunCount = 12;
constexpr int kRunHeaderSize = 16;  // the smallest block that can hold a run
}  // namespace udbfmt

class TDiskIOInterface : public TBaseIOInterface {
 public:
  TDiskIOInterface();
  ~TDiskIOInterface() override;

  // 8581 without a disk manager, usage or block size (or a block smaller
  // than a run header).
  void Open() override;
  void Close() override;
  // Frees every page of the owner; FirstEmpty becomes 0 and not valid.
  void Empty(bool byUsage) override;
  TUdbAddr AllocateNewAddress(int size, const void* data) override;
  void ReleaseBlock(TUdbAddr address, int size) override;
  void WriteBlock(TUdbAddr address, int size, const void* buffer) override;
  void ReadBlock(TUdbAddr address, int size, void* buffer) override;
  void ReadBlocks(const TUdbAddr* addresses, int count, int size, std::uint8_t* const* buffers) override;
  void WriteBlockHeader(TUdbAddr address, int size, const void* buffer) override;
  void ReadBlockHeader(TUdbAddr address, int size, void* buffer) override;
  void ListBlocks(std::vector<TUdbAddr>& list) override;
  // Database-wide lists only.  A head that is not a free run in a page of
  // this owner (a block in use, a foreign page) is dropped under the header
  // lock: the list starts afresh, the blocks it held stay unused, and
  // nothing in use is written.  True when one was dropped (logged).
  bool DropDamagedHead();
  void InvalidateCache(std::uint16_t tableId) override;

 private:
  class TFirstEmptyBracket;
  void CheckAccess(TUdbAddr address, int size, const void* buffer, const char* location) const;
  // The one checked transfer behind the block and header operations.
  void Write(TUdbAddr address, int size, const void* buffer, const char* location);
  void Read(TUdbAddr address, int size, void* buffer, const char* location);

  std::vector<std::uint8_t> buffer_;  // 2 * BlockSize
};
