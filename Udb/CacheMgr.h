// TCacheMgr: the page cache of one database file (owned by TUdbFile).
//
// Pages hold plain (deciphered) content; the owner's callbacks move pages
// between the cache and the file and do the encipherment:
//   OnReadPage(page)   fill page.data for page.address, .tableId, .mode
//   OnWritePage(page)  write page.data to the file
//   OnSpillPage(page)  inside a transaction, a dirty page is about to leave
//                      the cache: keep its content as the pending image
// A cached page is a hit only for the same table id and mode; another
// identity reloads it in place (spilling it first when dirty).
//
// Page states: Empty -> Clean (loaded, equals the file or the pending
// image) -> Dirty (changed inside a transaction) -> Clean (committed) or
// Empty (rolled back).  Outside a transaction writes go through at once and
// no page is ever dirty.
//
// Capacity: pages are created at Open; a miss takes an empty page, else the
// least recently used clean page.  Only when every page is dirty does the
// cache grow past its capacity; Trim (after commit or rollback) cuts it back
// when it is 3 or more pages over.
//
// Pages kept beyond the capacity: a page that leaves the cache clean,
// holding what the file holds (plain, or deciphered), keeps its content in
// a bounded side store (least recently kept goes first) instead of being
// forgotten; a later miss on the same page, table id and mode takes it back
// without the read callback, so a page is neither read from the file nor
// deciphered again while it is unchanged.  A page address is never in the
// cache and the store at once; every invalidation (page, table, all) and
// Close empty the store as they empty pages, so the store is exactly as
// current as the cache (pages of a table another connection wrote go at its
// header's next read).  Capacity, page count and the hit and miss counters
// are those of the cache alone.
//
// Finding a page: one table indexed by page number (address / page size)
// tells, for cache and store together, where the page is; it is built in
// blocks of 1024 pages as pages are met, so a stray address far past the
// end of the file costs one block, not a table up to it.
//
// Recency: every clean page is on the clean list and every dirty page on
// the dirty list, each doubly linked through the pages' own link fields and
// ordered by stamp, oldest at the head.  A miss evicts the clean head in
// constant time; a page whose state changes moves between the lists, and
// pages that become clean at commit are merged in by stamp, so the victim
// is always the clean page with the oldest stamp.
// Calls only platform/core and UdbErrors.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Udb/DatabaseFileFormat.h"

enum TCachePageState : std::uint8_t { cpsEmpty = 0, cpsClean = 1, cpsDirty = 2 };

struct TCachePage {
  std::vector<std::uint8_t> data;  // one page, zero-filled when created
  TUdbAddr address = 0;
  std::uint16_t tableId = 0;
  std::uint32_t stamp = 0;  // last-use stamp from the access counter
  TCachePageState state = cpsEmpty;
  std::uint8_t mode = 0;
  // Recency list links (page indexes, -1 = none) and the list the page is
  // on (cpsEmpty = none); kept by TCacheMgr.
  int lruPrev = -1;
  int lruNext = -1;
  TCachePageState lruList = cpsEmpty;
  // The content is the file's at this address, deciphered (false for a
  // page loaded from a transaction's held image: the file differs).
  bool fileImage = false;
};

class TCacheMgr {
 public:
  using TPageCallback = std::function<void(TCachePage&)>;
  TPageCallback OnReadPage;
  TPageCallback OnWritePage;
  TPageCallback OnSpillPage;

  TCacheMgr() = default;
  TCacheMgr(const TCacheMgr&) = delete;
  TCacheMgr& operator=(const TCacheMgr&) = delete;

  // Creates `capacity` empty pages.  Requires OnReadPage and OnWritePage
  // (else 10065 "ReadIO" / "WriteIO" at "TCacheMgr.Open").
  void Open(int capacity, int pageSize);
  // Frees every page (pending changes are dropped: the owner commits or
  // rolls back first).
  void Close();
  bool IsOpen() const { return pageSize_ > 0; }

  // Byte ranges may span pages.  Errors of the callbacks pass through; a
  // page whose load failed is left empty, a page whose write-through failed
  // is dropped (the cache never claims what the file does not hold).
  void Read(TUdbAddr address, void* buffer, int length, std::uint16_t tableId, std::uint8_t mode);
  void Write(TUdbAddr address, const void* buffer, int length, std::uint16_t tableId,
             std::uint8_t mode);
  // count ranges of length bytes each, as count calls of Read would give
  // them (the same pages loaded in the same order, the same counters and
  // recency), but a run of ranges has its pages made present, and their
  // bytes asked of memory, before any is copied: a walk over records spread
  // across many pages does not wait for memory one record at a time.
  void ReadMany(const TUdbAddr* addresses, int count, int length, std::uint8_t* const* buffers,
                std::uint16_t tableId, std::uint8_t mode);

  void StartTransaction();
  // Writes every dirty page (ascending addresses) and marks it clean.  On a
  // failure the pages not yet written stay dirty and the transaction stays.
  void FlushDirty();
  // Leaves transaction mode and trims.  requires: no dirty page.
  void EndTransaction();
  // FlushDirty + EndTransaction; 10257 outside a transaction.
  void Commit();
  // Every dirty page becomes empty, then trim; 10257 outside a transaction.
  void Rollback();
  bool InTransaction() const { return inTransaction_; }

  // Every page of the table becomes empty (dirty ones are spilled first).
  void InvalidateTable(std::uint16_t tableId);
  // The page at pageAddress (if cached) becomes empty, spilled first when dirty.
  void InvalidatePage(TUdbAddr pageAddress);
  // Every page becomes empty.  requires: no dirty page.
  void InvalidateAll();
  // Cuts the cache back to its capacity when 3 or more pages over.
  void Trim();

  const TCachePage* FindPage(TUdbAddr pageAddress) const;
  int Capacity() const { return capacity_; }
  int PageSize() const { return pageSize_; }
  int PageCount() const { return static_cast<int>(pages_.size()); }
  int DirtyCount() const;
  // Addresses of the dirty pages (those a commit will write), any order.
  std::vector<TUdbAddr> DirtyPages() const;
  std::int64_t Hits() const { return hits_; }
  std::int64_t Misses() const { return misses_; }
  // Pages in the side store, and the most it keeps.
  int KeptCount() const { return keptCount_; }
  int KeptLimit() const { return keptLimit_; }
  void SetKeptLimit(int pages);

 private:
  // The page's index, loaded (when needContent) and linked; not yet touched.
  int Acquire(TUdbAddr page, std::uint16_t tableId, std::uint8_t mode, bool needContent);
  int TakeEmptyPage();
  void Drop(int index);
  // Page number -> where the page is (below), blocks made as pages are met.
  class TPageTable {
   public:
    static constexpr int kNowhere = -1;
    int Get(std::uint32_t pageNo) const {
      const std::uint32_t block = pageNo >> kBlockBits;
      if (block >= blocks_.size() || !blocks_[block]) return kNowhere;
      return blocks_[block][pageNo & kBlockMask];
    }
    void Set(std::uint32_t pageNo, int where);
    void Clear() { blocks_.clear(); }

   private:
    static constexpr int kBlockBits = 10;
    static constexpr std::uint32_t kBlockMask = (1u << kBlockBits) - 1;
    std::vector<std::unique_ptr<int[]>> blocks_;
  };
  // A cache page's index (>= 0), or a slot of the store coded as -2 - slot.
  static int KeptCode(int slot) { return -2 - slot; }
  static int KeptSlotOf(int where) { return where <= -2 ? -2 - where : -1; }
  std::uint32_t PageNo(TUdbAddr page) const { return page / static_cast<std::uint32_t>(pageSize_); }

  // The side store: slots with their own recency list (oldest at the head);
  // a free slot may keep a buffer for the next page kept.
  struct TKeptPage {
    std::vector<std::uint8_t> data;
    TUdbAddr address = 0;
    std::uint16_t tableId = 0;
    std::uint8_t mode = 0;
    bool used = false;
    int prev = -1;
    int next = -1;
  };
  void Keep(TCachePage& page);
  // Frees the slot (its page's entry in the table is the caller's);
  // dropBuffer: its memory goes too.
  void ReleaseKept(int slot, bool dropBuffer);
  // The page leaves the store, if there.
  void ForgetKept(TUdbAddr page);
  void ForgetAllKept();

  struct TLruList {
    int head = -1;  // least recently used
    int tail = -1;  // most recently used
    int count = 0;  // pages on the list: DirtyCount is asked at every page write
  };
  TLruList& ListOf(TCachePageState state) { return state == cpsDirty ? dirtyList_ : cleanList_; }
  void Unlink(int index);
  void LinkAsNewest(int index, TCachePageState list);
  // Stamps the page as just used and puts it at the newest end of the list
  // of its state.
  void Touch(int index);
  // The pages (now clean) join the clean list in stamp order.
  void MergeIntoClean(std::vector<int>& indexes);

  std::vector<TKeptPage> kept_;
  std::vector<int> keptFree_;  // free slots
  int keptHead_ = -1;          // least recently kept
  int keptTail_ = -1;
  int keptCount_ = 0;
  int keptLimit_ = 0;
  std::vector<std::unique_ptr<TCachePage>> pages_;
  TPageTable where_;  // non-empty cache pages and kept pages
  std::vector<int> empty_;                   // indexes of empty pages
  TLruList cleanList_;
  TLruList dirtyList_;
  int capacity_ = 0;
  int pageSize_ = 0;
  std::uint32_t accessCounter_ = 0;
  bool inTransaction_ = false;
  std::int64_t hits_ = 0;
  std::int64_t misses_ = 0;
};
