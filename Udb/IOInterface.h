// TBaseIOInterface: the one way in which table-level structures (records,
// blob pieces, index nodes, table headers and maps) allocate, read, write
// and release their fixed-size blocks.  One interface serves one owner: a
// table id and a usage kind, whose owner value TableId * 16 + Usage marks
// the owner's pages in the allocation map.
//
// Implementations: TDiskIOInterface (DiskIOInterface.h) stores blocks in
// the database file through TDiskMgr; TMemoryIOInterface (below) keeps each
// block as a separate allocation for in-memory tables.  TBlobInterface
// (BlobInterface.h) chains blocks of any interface into a blob.
//
// FirstEmpty is the head of the owner's free block runs (disk).  A
// database-wide interface (GlobalHeaderItem != 0) keeps it in the global
// header and reloads it on every allocation and release; any other owner
// keeps it itself (a table keeps its record and blob heads in its table
// header): it sets it after reading its header, and OnFirstEmptyChange
// tells it every new value, so that the header never holds a stale head.
//
// Operations the base does not implement raise 10065 at
// "TBaseIOInterface.<operation>"; the others do nothing and answer 0 or
// false.  Errors are EUdbDatabaseError.  Calls TDiskMgr and platform/core.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "Udb/DatabaseFileFormat.h"
#include "platform/core/Component.h"

class TDiskMgr;
class TStrings;

// Usage kinds of an owner's blocks (4 bits).
enum : std::uint16_t {
  kUsageTableHeader = 1,  // table maps and table headers (table id 0)
  kUsageIndex = 8,
  kUsageRecord = 9,
  kUsageBlob = 10,
};

// Interface kinds: they choose how an allocation sizes its page request.
enum : std::uint8_t { kIOKindMemory = 1, kIOKindDisk = 2 };

// Page I/O modes of a table's blocks (the page file's mode byte).
enum : std::uint8_t { kIOModeRaw = 0, kIOModePlain = 1, kIOModeXor = 3, kIOModeBlowfish = 5 };

class TBaseIOInterface : public TObject {
 public:
  TBaseIOInterface() = default;
  ~TBaseIOInterface() override = default;

  int BlockSize() const { return blockSize_; }
  void SetBlockSize(int size) { blockSize_ = size; }
  std::uint8_t Kind() const { return kind_; }
  TStrings* DebugList() const { return debugList_; }
  void SetDebugList(TStrings* list) { debugList_ = list; }
  std::uint16_t Usage() const { return usage_; }
  void SetUsage(std::uint16_t usage) { usage_ = usage; }
  std::uint16_t TableId() const { return tableId_; }
  void SetTableId(std::uint16_t id) { tableId_ = id; }
  // TableId * 16 + Usage, computed at Open.
  std::uint16_t OwnerValue() const { return ownerValue_; }
  TUdbAddr FirstEmpty() const { return firstEmpty_; }
  // Sets the head and marks it valid.
  void SetFirstEmpty(TUdbAddr address) {
    firstEmpty_ = address;
    firstEmptyValid_ = true;
  }
  bool FirstEmptyValid() const { return firstEmptyValid_; }
  void SetFirstEmptyValid(bool valid) { firstEmptyValid_ = valid; }
  TDiskMgr* DiskMgr() const { return diskMgr_; }
  void SetDiskMgr(TDiskMgr* disk) { diskMgr_ = disk; }
  int GlobalHeaderItem() const { return globalHeaderItem_; }
  void SetGlobalHeaderItem(int offset) { globalHeaderItem_ = offset; }
  std::uint8_t Mode() const { return mode_; }
  void SetMode(std::uint8_t mode) { mode_ = mode; }

  // Told every new FirstEmpty of an owner-kept head (GlobalHeaderItem 0).
  std::function<void(TUdbAddr firstEmpty)> OnFirstEmptyChange;

  // --- the operations, in the order of the engine's interface table ---
  virtual void Open();
  virtual void Close() {}
  // Frees every block of the owner (byUsage: of this usage only).
  virtual void Empty(bool byUsage);
  // A new block holding the first size bytes of data (zeros after; data
  // may be null for zeros).  requires: size <= BlockSize (disk).
  virtual TUdbAddr AllocateNewAddress(int size, const void* data);
  virtual void ReleaseBlock(TUdbAddr address, int size);
  virtual void WriteBlock(TUdbAddr address, int size, const void* buffer);
  virtual void ReadBlock(TUdbAddr address, int size, void* buffer);
  // count blocks of size bytes, addresses[i] into buffers[i]: as many
  // ReadBlock calls (the disk form reads them through the page cache in
  // runs).  A failure may leave any of the buffers filled.
  virtual void ReadBlocks(const TUdbAddr* addresses, int count, int size, std::uint8_t* const* buffers);
  virtual void WriteBlockHeader(TUdbAddr address, int size, const void* buffer);
  virtual void ReadBlockHeader(TUdbAddr address, int size, void* buffer);
  virtual void ListBlocks(std::vector<TUdbAddr>& list);
  virtual bool AddressInUse(TUdbAddr address);
  // Memory: address 0 gives the first block, else the block after address
  // in allocation order; 0 after the last.  Disk: 0.
  virtual TUdbAddr NextBlock(TUdbAddr address);
  virtual bool ContainsAddress(TUdbAddr address);
  virtual void InvalidateCache(std::uint16_t tableId) { (void)tableId; }

 protected:
  void NoteFirstEmpty(TUdbAddr address);

  int blockSize_ = 0;
  std::uint8_t kind_ = 0;
  TStrings* debugList_ = nullptr;
  std::uint16_t usage_ = 0;
  std::uint16_t tableId_ = 0;
  std::uint16_t ownerValue_ = 0;
  TUdbAddr firstEmpty_ = 0;
  TDiskMgr* diskMgr_ = nullptr;
  int globalHeaderItem_ = 0;
  bool firstEmptyValid_ = false;
  std::uint8_t mode_ = kIOModePlain;
};

// Blocks in memory.  Addresses are handles given out in allocation order
// (never reused while the interface lives); every block remembers its size
// and every access is checked against it.
class TMemoryIOInterface : public TBaseIOInterface {
 public:
  TMemoryIOInterface();
  ~TMemoryIOInterface() override;  // frees every block

  void Empty(bool byUsage) override;
  TUdbAddr AllocateNewAddress(int size, const void* data) override;
  void ReleaseBlock(TUdbAddr address, int size) override;
  // Unknown addresses and sizes past the block raise 8581.
  void WriteBlock(TUdbAddr address, int size, const void* buffer) override;
  void ReadBlock(TUdbAddr address, int size, void* buffer) override;
  void WriteBlockHeader(TUdbAddr address, int size, const void* buffer) override;
  void ReadBlockHeader(TUdbAddr address, int size, void* buffer) override;
  void ListBlocks(std::vector<TUdbAddr>& list) override;
  bool AddressInUse(TUdbAddr address) override;
  TUdbAddr NextBlock(TUdbAddr address) override;
  bool ContainsAddress(TUdbAddr address) override;

  int BlockCount() const { return static_cast<int>(blocks_.size()); }

 private:
  std::vector<std::uint8_t>* Find(TUdbAddr address);
  std::vector<std::uint8_t>& BlockFor(TUdbAddr address, int size, const void* buffer, const char* what,
                                      const char* location);
  void NoteUnknownAddress(TUdbAddr address);

  std::map<TUdbAddr, std::vector<std::uint8_t>> blocks_;
  TUdbAddr nextAddress_ = kFirstAddress;
  static constexpr TUdbAddr kFirstAddress = 16;
  static constexpr TUdbAddr kAddressStep = 16;
};
