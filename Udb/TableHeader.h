// TTableHeader: the open header of one table, shared by every open of the
// table (open count), written when the last user closes it and it is dirty.
// TTableHeaderMgr: one table map (system or user tables) with its header
// I/O interface; creates, opens, closes and deletes table headers.
// Formats: TableHeaderFormat.h.
//
// Open headers: at most one TTableHeader per table id is in the open list
// (I-H1).  Deleting a table takes its header out of the open list even
// while someone still holds it: that holder's later CloseTable frees it
// without writing (the block may already belong to another table), and a
// new table that reuses the id opens a fresh header.
//
// Stale state: ReadHeader compares the write counter with the one it
// remembered; a change means another connection wrote the table, and the
// table's cached pages are dropped.
//
// Errors: EUdbDatabaseError (8576, 8579, 8581, 9601; a damaged map or
// header 8451, leaving the previous image in place).  Internal checks raise
// EAssertionFailed.  Calls the block I/O interfaces and UdbErrors.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Udb/IOInterface.h"
#include "Udb/TableHeaderFormat.h"

class TTableHeaderMgr;

class TTableHeader : public TObject {
 public:
  TTableHeader(TTableHeaderMgr* mgr, TUdbAddr address, int size);

  TTableHeaderMgr* Manager() const { return mgr_; }
  TUdbAddr Address() const { return address_; }
  void SetAddress(TUdbAddr address) { address_ = address; }
  int OpenCount() const { return openCount_; }
  void SetOpenCount(int n) { openCount_ = n; }
  bool Dirty() const { return dirty_; }
  void SetDirty(bool v) { dirty_ = v; }
  int Size() const { return static_cast<int>(buffer_.size()); }
  const std::uint8_t* Bytes() const { return buffer_.data(); }
  // Deleted from the map while still held (see I-H1).
  bool Detached() const { return detached_; }

  std::uint32_t TableId() const { return GetDWord(udbhdr::kTableId); }
  void SetTableId(std::uint32_t v) { SetDWord(udbhdr::kTableId, v); }
  std::uint32_t WriteCounter() const { return GetDWord(udbhdr::kWriteCounter); }
  // After a rollback the counter in memory may count a write the file never
  // got; forgetting it makes the next ReadHeader drop the table's cached
  // pages whatever the file's counter then is.
  void ForgetWriteCounter() {
    if (buffer_.size() >= udbhdr::kWriteCounter + 4u) udbfmt::PutU32(buffer_.data() + udbhdr::kWriteCounter, 0);
  }
  std::uint32_t HeaderSize() const { return GetDWord(udbhdr::kHeaderSizeItem); }
  std::uint32_t RecordFirstEmpty() const { return GetDWord(udbhdr::kRecordFirstEmpty); }
  void SetRecordFirstEmpty(std::uint32_t v) { SetDWord(udbhdr::kRecordFirstEmpty, v); }
  std::uint32_t LastAutoInc() const { return GetDWord(udbhdr::kLastAutoInc); }
  void SetLastAutoInc(std::uint32_t v) { SetDWord(udbhdr::kLastAutoInc, v); }
  std::uint32_t LastRecordID() const { return GetDWord(udbhdr::kLastRecordID); }
  void SetLastRecordID(std::uint32_t v) { SetDWord(udbhdr::kLastRecordID, v); }
  std::uint32_t BlobFirstEmpty() const { return GetDWord(udbhdr::kBlobFirstEmpty); }
  void SetBlobFirstEmpty(std::uint32_t v) { SetDWord(udbhdr::kBlobFirstEmpty, v); }
  std::uint32_t RestructureValue1() const { return GetDWord(udbhdr::kRestructureValue1); }
  void SetRestructureValue1(std::uint32_t v) { SetDWord(udbhdr::kRestructureValue1, v); }
  std::uint32_t RestructureValue2() const { return GetDWord(udbhdr::kRestructureValue2); }
  void SetRestructureValue2(std::uint32_t v) { SetDWord(udbhdr::kRestructureValue2, v); }
  std::uint32_t IndexCount() const { return GetDWord(udbhdr::kIndexCount); }
  void SetIndexCount(std::uint32_t v) { SetDWord(udbhdr::kIndexCount, v); }
  // index: 0..IndexCount-1, else 8581.
  std::uint32_t IndexRoot(int index) const;
  void SetIndexRoot(int index, std::uint32_t root);
  std::uint16_t IndexDepth(int index) const;
  void SetIndexDepth(int index, std::uint16_t depth);

  // Raw items; offsets at or past the header size raise 8581.
  std::uint32_t GetDWord(int offset) const;
  void SetDWord(int offset, std::uint32_t value);  // dirty only when it changes
  std::uint16_t GetWord(int offset) const;
  void SetWord(int offset, std::uint16_t value);

  // Re-reads the header; a changed write counter drops the table's cached
  // pages.  8451 when the bytes are not this table's header.
  void ReadHeader();
  // Counter + 1, then writes the header.
  void WriteHeader();
  // New zero-filled buffer of size bytes; keeps the old bytes unless clear.
  void Resize(int size, bool clear);

 private:
  friend class TTableHeaderMgr;
  TBaseIOInterface* IO() const;
  int IndexOffset(int index) const;

  TTableHeaderMgr* mgr_;
  std::vector<std::uint8_t> buffer_;
  std::vector<std::uint8_t> fresh_;  // ReadHeader's read; the two are exchanged
  TUdbAddr address_;
  int openCount_ = 0;
  bool dirty_ = false;
  bool detached_ = false;
};

class TTableHeaderMgr : public TObject {
 public:
  TTableHeaderMgr() = default;
  ~TTableHeaderMgr() override;  // CloseAll, never throws

  TUdbAddr MapAddress() const { return mapAddress_; }
  void SetMapAddress(TUdbAddr address) { mapAddress_ = address; }
  int IdBase() const { return idBase_; }
  void SetIdBase(int base) { idBase_ = base; }
  TBaseIOInterface* IOInterface() const { return io_; }

  // 8581 without a map address; reads the map.
  void Open(TBaseIOInterface* io);
  void ReadMap();
  void WriteMap();

  // A new table with room for indexCount index entries (at most 34); its
  // id.  9601 when the map is full.  On a failure nothing stays allocated.
  int AddTable(int indexCount);
  TTableHeader* OpenTable(int tableId);
  void CloseTable(TTableHeader* header);
  // Removes the table from the map and frees its header block.
  void DeleteTable(int tableId);
  // Writes every dirty open header and forgets them all.
  void CloseAll();

  // --- inspection ---
  int TableCount() const;
  int SlotTableId(int slot) const;
  TUdbAddr SlotAddress(int slot) const;
  int FindSlot(int tableId) const;  // -1 when absent
  int OpenHeaderCount() const { return static_cast<int>(open_.size()); }
  TTableHeader* FindOpen(int tableId) const;

 private:
  void CheckIO() const;
  void ValidateMap(const std::vector<std::uint8_t>& map) const;
  int ReadHeaderSize(TUdbAddr address, const char* location);
  void RemoveSlot(int slot);

  std::vector<std::uint8_t> map_ = std::vector<std::uint8_t>(udbhdr::kMapSize, 0);
  TBaseIOInterface* io_ = nullptr;
  TUdbAddr mapAddress_ = 0;
  int idBase_ = udbhdr::kUserTableIdBase;
  std::vector<std::unique_ptr<TTableHeader>> open_;
  std::vector<std::unique_ptr<TTableHeader>> detached_;
};
