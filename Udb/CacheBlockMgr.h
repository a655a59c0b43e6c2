// TCacheBlockMgr: the transaction's held pages (owned by TUdbFile).
//
// Inside a transaction every raw write (headers, map pages, zero pages of
// freed space, uncached page I/O) and every dirty cache page that has to
// leave the cache lands here as the pending image of its page, in file
// form (enciphered where the page is).  There is one image per page
// address: a later write merges into it, a later cached write of the whole
// page supersedes it (DropPage).  Reads of any byte range are served from
// the held images and from the file for the rest, so a structure written
// earlier in the same transaction reads back whatever its size and offset.
//
// Callbacks (set by the owner):
//   OnReadFile(address, buffer, length) -> bytes read, fewer at the end of
//     the file; raises on an I/O failure
//   OnWriteFile(address, buffer, length) raises on failure
// Calls only platform/core and UdbErrors.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "Udb/DatabaseFileFormat.h"

class TCacheBlockMgr {
 public:
  std::function<std::int64_t(TUdbAddr, void*, int)> OnReadFile;
  std::function<void(TUdbAddr, const void*, int)> OnWriteFile;

  TCacheBlockMgr() = default;
  TCacheBlockMgr(const TCacheBlockMgr&) = delete;
  TCacheBlockMgr& operator=(const TCacheBlockMgr&) = delete;

  // Enters transaction mode; requires both callbacks (else 10065 "ReadIO" /
  // "WriteIO" at "TCacheBlockMgr.Open").
  void Start(int pageSize);
  bool InTransaction() const { return inTransaction_; }

  // Any range: held pages from memory, the rest from the file.  A range the
  // file does not hold wholly raises 9217 "Unable to complete file read
  // operation".
  void Read(TUdbAddr address, void* buffer, int length);
  // Merges into the held image of each page touched (loaded from the file
  // first when not held).
  void Write(TUdbAddr address, const void* buffer, int length);
  // Holds a whole page image, replacing any held one.
  void PutPage(TUdbAddr page, const void* data);
  // Forgets the held image of a page (superseded by a later write).
  void DropPage(TUdbAddr page);
  bool Holds(TUdbAddr page) const { return blocks_.count(page) != 0; }
  // Copies the held image (zeros past its end); false when not held.
  bool CopyPage(TUdbAddr page, void* out) const;
  std::vector<TUdbAddr> HeldPages() const;
  // The held image with the length the file will have of it (a savepoint
  // keeps it to put back); false when not held.
  bool SaveBlock(TUdbAddr page, std::vector<std::uint8_t>& data, int& length) const;
  // Holds the image saved by SaveBlock again, replacing any held one.
  void RestoreBlock(TUdbAddr page, std::vector<std::uint8_t> data, int length);
  int Count() const { return static_cast<int>(blocks_.size()); }

  // Writes every held image (ascending addresses), forgetting each once it
  // is written; a failure leaves the rest held and the transaction open.
  // 10257 outside a transaction.
  void Commit();
  // Writes every held image like Commit but stays in the transaction (a
  // spill: the file now holds the newest image of those pages).
  void WriteAll();
  // Forgets everything; 10257 outside a transaction.
  void Rollback();
  // Forgets everything and leaves transaction mode (closing the file).
  void Clear();

 private:
  struct TBlock {
    std::vector<std::uint8_t> data;  // one page
    int length = 0;                  // bytes that exist in the file once written
  };
  TBlock& Load(TUdbAddr page);

  std::map<TUdbAddr, TBlock> blocks_;
  int pageSize_ = 0;
  bool inTransaction_ = false;
};
