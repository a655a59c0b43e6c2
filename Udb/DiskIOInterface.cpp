// TDiskIOInterface (see DiskIOInterface.h).
#include "Udb/DiskIOInterface.h"

#include <algorithm>
#include <cstring>

#include "Udb/DBLogger.h"
#include "Udb/DiskMgr.h"
#include "Udb/UdbErrors.h"

using udbfmt::GetU32;
using udbfmt::PutU32;

// Around every allocation and release.  A database-wide interface loads
// FirstEmpty from its global header item under the header write lock and
// stores it back at the end (the disk manager writes the header when it
// releases the lock; a caller that already held the lock writes it when it
// releases it); any other owner must have set FirstEmpty.
class TDiskIOInterface::TFirstEmptyBracket {
 public:
  TFirstEmptyBracket(TDiskIOInterface& io, const char* location) : io_(io) {
    if (io_.globalHeaderItem_ == 0) {
      if (!io_.firstEmptyValid_)
        UdbDatabaseError(udberr::kInternal, location, "DiskIOInterface - non global first empty not set");
      return;
    }
    TDiskMgr& disk = *io_.diskMgr_;
    took_ = !disk.HeaderReadLocked() && !disk.HeaderWriteLocked();
    if (!disk.HeaderWriteLocked()) disk.LockHeaderWrite();
    locked_ = true;  // a caller that holds the lock already has the header current
    io_.firstEmpty_ = disk.GlobalHeader().GetItem(io_.globalHeaderItem_);
    io_.firstEmptyValid_ = true;
  }
  // Stores FirstEmpty (global) and releases the lock this bracket took.
  void Finish() {
    if (!locked_) return;
    Store();
    locked_ = false;
    if (took_) io_.diskMgr_->UnlockHeader();
  }
  ~TFirstEmptyBracket() {
    if (!locked_) return;
    // A failure inside: the in-memory head is what the file's free list now
    // looks like (it is moved before data is written), so keep it.
    try {
      Store();
      if (took_) io_.diskMgr_->UnlockHeader();
    } catch (const std::exception& e) {
      UdbLogger().Log("DiskInterface", AnsiString("First empty not stored: ") + e.what());
    }
  }

 private:
  void Store() {
    if (!io_.firstEmptyValid_)
      UdbDatabaseError(udberr::kInternal, "TDiskIOInterface.AllocateNewAddress",
                       "Attempt to write non validated first empty to global header");
    io_.diskMgr_->GlobalHeader().SetItem(io_.globalHeaderItem_, io_.firstEmpty_);
  }

  TDiskIOInterface& io_;
  bool took_ = false;
  bool locked_ = false;
};

namespace {

// A free run's first block is zero but for its next-run address and count:
// a head that points at anything else (a table header, a record, a node)
// is in use, and handing it out would overwrite it.
bool AllZero(const std::uint8_t* bytes, int count) {
  int i = 0;
  for (; i + 8 <= count; i += 8) {  // a word at a time: every record taken from a run is checked
    std::uint64_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    if (word != 0) return false;
  }
  for (; i < count; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

bool OnlyRunHeaderSet(const std::uint8_t* block, int size) {
  if (size <= udbfmt::kRunNext) return AllZero(block, size);
  return AllZero(block, udbfmt::kRunNext) &&
         (size <= udbfmt::kRunHeaderSize || AllZero(block + udbfmt::kRunHeaderSize, size - udbfmt::kRunHeaderSize));
}

}  // namespace

TDiskIOInterface::TDiskIOInterface() { kind_ = kIOKindDisk; }

TDiskIOInterface::~TDiskIOInterface() = default;

void TDiskIOInterface::Open() {
  const char* loc = "TDiskIOInterface.Open";
  if (diskMgr_ == nullptr) UdbDatabaseError(udberr::kInternal, loc, "Unable to open Disk IOInterface - DiskMgr is null");
  if (usage_ == 0) UdbDatabaseError(udberr::kInternal, loc, "Unable to open Disk IOInterface - Usage is not set");
  if (blockSize_ <= 0) UdbDatabaseError(udberr::kInternal, loc, "Unable to open Disk IOInterface - Block size is 0");
  if (blockSize_ < udbfmt::kRunHeaderSize)
    UdbDatabaseError(udberr::kInternal, loc, "Unable to open Disk IOInterface - Block size is below 16");
  if (!buffer_.empty())
    UdbLogger().Log("DiskInterface", UdbFormat("Open- BlockSize %d FirstEmpty %d",
                                               {blockSize_, static_cast<long long>(firstEmpty_)}));
  buffer_.assign(static_cast<size_t>(blockSize_) * 2, 0);
  TBaseIOInterface::Open();
}

void TDiskIOInterface::Close() { buffer_.clear(); }

void TDiskIOInterface::Empty(bool byUsage) {
  diskMgr_->FreeTablePages(tableId_, usage_, byUsage);
  firstEmpty_ = 0;
  firstEmptyValid_ = false;
}

TUdbAddr TDiskIOInterface::AllocateNewAddress(int size, const void* data) {
  const char* loc = "TDiskIOInterface.AllocateNewAddress";
  if (buffer_.empty()) UdbDatabaseError(udberr::kNotInitialized, loc);
  if (size <= 0 || blockSize_ < size) UdbDatabaseError(udberr::kInternal, loc, "Block request sizes < block size");
  const int pageSize = diskMgr_->PageSize();
  TFirstEmptyBracket bracket(*this, loc);
  TUdbAddr address;
  // The index nodes' free list is shared by every table, whose nodes
  // differ in size and cipher: only a run in a page of this table (and
  // usage) is ours to take.  Otherwise a new request is linked in front of
  // the list; a head in a page nobody owns any more (its table was
  // dropped) cannot be followed, and the list starts afresh.
  TUdbAddr linkTo = 0;
  bool useList = firstEmpty_ != 0;
  if (useList && globalHeaderItem_ != 0) {
    const TUdbAddr headPage = firstEmpty_ - firstEmpty_ % static_cast<TUdbAddr>(pageSize);
    const std::uint16_t owner = diskMgr_->MapPages().EntryOf(headPage);
    if (owner != static_cast<std::uint16_t>(tableId_ * 16 + usage_)) {
      useList = false;
      if ((owner & udbfmt::kMapEntryFree) == 0 && owner != 0 && (owner & 15) == usage_) linkTo = firstEmpty_;
    }
  }
  if (useList) {
    // Take the first block of the first run.
    address = firstEmpty_;
    std::uint8_t* run = buffer_.data();
    diskMgr_->ReadData(address, blockSize_, run, mode_, tableId_);
    const TUdbAddr next = GetU32(run + udbfmt::kRunNext);
    const std::uint32_t count = GetU32(run + udbfmt::kRunCount);
    if (count == 0 || next == address || (count > 1 && address > 0xFFFFFFFFu - blockSize_) ||
        !OnlyRunHeaderSet(run, blockSize_))
      UdbDatabaseError(udberr::kCorrupt, loc, UdbFormat("Free block run at %u is damaged", {static_cast<long long>(address)}));
    if (count > 1) {
      PutU32(run + udbfmt::kRunCount, count - 1);
      diskMgr_->WriteData(address + blockSize_, blockSize_, run, mode_, tableId_);
      NoteFirstEmpty(address + blockSize_);
    } else {
      NoteFirstEmpty(next);
    }
    std::uint8_t* block = buffer_.data() + blockSize_;
    std::memset(block, 0, static_cast<size_t>(blockSize_));
    if (data) std::memcpy(block, data, static_cast<size_t>(size));
    diskMgr_->WriteData(address, blockSize_, block, mode_, tableId_);
  } else if (size == pageSize) {
    address = diskMgr_->AllocatePages(tableId_, mode_, data, 1, usage_);
  } else {
    // A new page request: the block first, the rest one free run.
    const int request = kind_ == kIOKindDisk
                            ? GetBestPageRequestSize(blockSize_, pageSize)
                            : (blockSize_ + pageSize - 1) / pageSize * pageSize;
    const int used = blockSize_;
    const int spare = (request - used) / blockSize_;
    std::vector<std::uint8_t> pages(static_cast<size_t>(request), 0);
    if (data) std::memcpy(pages.data(), data, static_cast<size_t>(size));
    if (spare > 0) {
      PutU32(pages.data() + used + udbfmt::kRunCount, static_cast<std::uint32_t>(spare));
      PutU32(pages.data() + used + udbfmt::kRunNext, linkTo);
    }
    address = diskMgr_->AllocatePages(tableId_, mode_, pages.data(), request / pageSize, usage_);
    if (spare > 0) NoteFirstEmpty(address + used);
  }
  bracket.Finish();
  return address;
}

void TDiskIOInterface::ReleaseBlock(TUdbAddr address, int size) {
  const char* loc = "TDiskIOInterface.ReleaseBlock";
  if (buffer_.empty()) UdbDatabaseError(udberr::kNotInitialized, loc);
  if (address == 0 || size <= 0) UdbDatabaseError(udberr::kInternal, loc, "Invalid block address or size");
  const int pageSize = diskMgr_->PageSize();
  TFirstEmptyBracket bracket(*this, loc);
  if (size >= pageSize && address % pageSize == 0 && size % pageSize == 0) {
    diskMgr_->FreePages(address, size / pageSize);
  } else {
    // Freeing the head again would link the run to itself.
    if (address == firstEmpty_) UdbDatabaseError(udberr::kInternal, loc, "Block is already free");
    const int n = (size + blockSize_ - 1) / blockSize_;
    std::uint8_t* zero = buffer_.data() + blockSize_;
    std::memset(zero, 0, static_cast<size_t>(blockSize_));
    for (int i = 1; i < n; ++i)
      diskMgr_->WriteData(address + static_cast<TUdbAddr>(i) * blockSize_, blockSize_, zero, mode_, tableId_);
    std::uint8_t* run = buffer_.data();
    std::memset(run, 0, static_cast<size_t>(blockSize_));
    PutU32(run + udbfmt::kRunNext, firstEmpty_);
    PutU32(run + udbfmt::kRunCount, static_cast<std::uint32_t>(n));
    diskMgr_->WriteData(address, blockSize_, run, mode_, tableId_);
    NoteFirstEmpty(address);
  }
  bracket.Finish();
}

bool TDiskIOInterface::DropDamagedHead() {
  const char* loc = "TDiskIOInterface.DropDamagedHead";
  if (buffer_.empty()) UdbDatabaseError(udberr::kNotInitialized, loc);
  if (globalHeaderItem_ == 0) return false;
  TFirstEmptyBracket bracket(*this, loc);
  const TUdbAddr head = firstEmpty_;
  if (head == 0) {
    bracket.Finish();
    return false;
  }
  const TUdbAddr pageSize = static_cast<TUdbAddr>(diskMgr_->PageSize());
  bool sound = false;
  try {
    const std::uint16_t owner = diskMgr_->MapPages().EntryOf(head - head % pageSize);
    if (owner == static_cast<std::uint16_t>(tableId_ * 16 + usage_)) {
      std::uint8_t* run = buffer_.data();
      diskMgr_->ReadData(head, blockSize_, run, mode_, tableId_);
      const TUdbAddr next = GetU32(run + udbfmt::kRunNext);
      sound = GetU32(run + udbfmt::kRunCount) != 0 && next != head && OnlyRunHeaderSet(run, blockSize_);
    }
  } catch (const EUdbDatabaseError&) {
    sound = false;  // an address the map or the file does not hold
  }
  if (!sound) {
    UdbLogger().Log("DiskInterface", UdbFormat("Free block list at global item %d dropped: its head %u is not a free run",
                                               {globalHeaderItem_, static_cast<long long>(head)}));
    NoteFirstEmpty(0);
  }
  bracket.Finish();
  return !sound;
}

void TDiskIOInterface::CheckAccess(TUdbAddr address, int size, const void* buffer, const char* location) const {
  if (buffer == nullptr) UdbDatabaseError(udberr::kInternal, location, "Unassigned memory pointer");
  if (address == 0) UdbDatabaseError(udberr::kInternal, location, "Block address is 0");
  if (size < 0) UdbDatabaseError(udberr::kInternal, location, "Negative block size");
}

// A header is the first bytes of a block: the header operations are the
// block operations under their own names (the names go to the log).
void TDiskIOInterface::Write(TUdbAddr address, int size, const void* buffer, const char* location) {
  CheckAccess(address, size, buffer, location);
  diskMgr_->WriteData(address, size, buffer, mode_, tableId_);
}

void TDiskIOInterface::Read(TUdbAddr address, int size, void* buffer, const char* location) {
  CheckAccess(address, size, buffer, location);
  diskMgr_->ReadData(address, size, buffer, mode_, tableId_);
}

void TDiskIOInterface::WriteBlock(TUdbAddr address, int size, const void* buffer) {
  Write(address, size, buffer, "TDiskIOInterface.WriteBlock");
}

void TDiskIOInterface::ReadBlock(TUdbAddr address, int size, void* buffer) {
  Read(address, size, buffer, "TDiskIOInterface.ReadBlock");
}

void TDiskIOInterface::ReadBlocks(const TUdbAddr* addresses, int count, int size, std::uint8_t* const* buffers) {
  for (int i = 0; i < count; ++i) CheckAccess(addresses[i], size, buffers[i], "TDiskIOInterface.ReadBlock");
  diskMgr_->ReadDataMany(addresses, count, size, buffers, mode_, tableId_);
}

void TDiskIOInterface::WriteBlockHeader(TUdbAddr address, int size, const void* buffer) {
  Write(address, size, buffer, "TDiskIOInterface.WriteBlockHeader");
}

void TDiskIOInterface::ReadBlockHeader(TUdbAddr address, int size, void* buffer) {
  Read(address, size, buffer, "TDiskIOInterface.ReadBlockHeader");
}

void TDiskIOInterface::ListBlocks(std::vector<TUdbAddr>& list) {
  diskMgr_->ListAllocatedFixedBlocks(blockSize_, tableId_, list, usage_);
}

void TDiskIOInterface::InvalidateCache(std::uint16_t tableId) { diskMgr_->File().InvalidateTable(tableId); }
