// TMapPageMgr: the allocation map (owned by TDiskMgr).  For every page of
// the file a map entry says who uses it; each map page keeps its free
// entries in an ascending chain so that freed pages are reused before the
// file grows.  Layout in DatabaseFileFormat.h.
//
// Works on one map page at a time in a page buffer, re-read before every
// use, through the disk manager's raw page I/O (mode 0, table id 0) - but
// while the connection holds the intent to write no other connection
// changes the map (every writer takes the intent first), so the pages
// read or written meanwhile are kept, as validated, and used instead of
// reading again: a walk down the chain of map pages (every allocation
// that appends to the file walks all of them) reads nothing.  Kept pages
// go whenever the intent may have been let go or the pages may differ
// from them: TDiskMgr forgets them when it takes the intent, rolls back,
// restores a journal or lets its locks go; a call that finds the intent
// not held forgets them; so does any call that fails part-way.
// requires: every public call runs under the disk manager's header write
// lock (ListEntries: at least a read lock).
//
// Invariants:
//  M1 The free chain of a map page is strictly ascending and reaches only
//     free entries (value with bit 15 set); it is read back with these
//     checks, so a damaged chain raises instead of looping or handing out
//     pages in use.
//  M2 Map pages lie at ascending addresses along the next-page chain; map
//     page m carries the number m.
//  M3 Entries with value 1 (pages 0-4) and 2 (map pages) are never freed.
// Errors: 8581 with the map texts; values that cannot be right (numbers,
// addresses, links) raise before anything is written.
// Calls UdbErrors and TDiskMgr's page I/O.
#pragma once

#include <cstdint>
#include <vector>

#include "Udb/DatabaseFileFormat.h"

class TDiskMgr;
class TGlobalHdr;

class TMapPageMgr {
 public:
  TMapPageMgr(TDiskMgr& disk, TGlobalHdr& header, int pageSize);
  TMapPageMgr(const TMapPageMgr&) = delete;
  TMapPageMgr& operator=(const TMapPageMgr&) = delete;

  // value with bit 15 clear allocates (owner value), 0x8000 frees.  Runs
  // crossing a map page are split.  Marking the first page past the last
  // map page's reach appends a new map page.
  void SetEntries(std::uint16_t value, TUdbAddr address, int count);
  // Address of count consecutive free pages taken out of the free chain
  // (they are marked by the caller's SetEntries), or 0 when none.
  TUdbAddr FindEmptyPages(int count);
  // Frees every matching entry (byUsage: value == tableId * 16 + usage;
  // else value / 16 == tableId) and lists their addresses in map order.
  void FreeEntries(std::uint16_t tableId, int usage, std::vector<TUdbAddr>& list, bool byUsage);
  // The addresses of the matching in-use pages, in map order.
  void ListEntries(std::uint16_t tableId, int usage, std::vector<TUdbAddr>& list, bool byUsage);

  // The entry describing the page at address (reads the map).
  std::uint16_t EntryOf(TUdbAddr address);
  int EntriesPerPage() const { return entries_; }

  // Drops the kept map pages: the next use reads the file.
  void ForgetKeptPages();

 private:
  std::int64_t FileSize();
  TUdbAddr FindEmptyPagesGuarded(int count);
  void FreeEntriesGuarded(std::uint16_t tableId, int usage, std::vector<TUdbAddr>& list, bool byUsage);
  void ListEntriesGuarded(std::uint16_t tableId, int usage, std::vector<TUdbAddr>& list, bool byUsage);
  void LoadMapPage(TUdbAddr address, std::uint32_t number);
  void WriteMapPage();
  void SearchMapsForMapPage(std::uint32_t m);
  bool SearchMapsForEmptyPages(int count, int& index);
  TUdbAddr SearchMapsForFirstEmptyMapPage();
  TUdbAddr AddMapPage();
  void SetMapEntryFlags(std::uint16_t value, TUdbAddr address, int count);
  bool FindEmptyPagesInMap(int count, int& index);
  std::vector<int> ReadChain(const char* location);
  void WriteChain(const std::vector<int>& offsets);
  std::uint16_t Entry(int offset) const;
  void SetEntry(int offset, std::uint16_t value);
  TUdbAddr NextMapPage() const;
  bool Matches(std::uint16_t value, std::uint16_t tableId, int usage, bool byUsage) const;
  TUdbAddr PageAddress(std::uint32_t m, int index) const;
  // -- kept pages --
  // True when pages may be kept now (else every kept page goes).
  bool MayKeep();
  // The kept image of map page number at address, or null.
  const std::vector<std::uint8_t>* Kept(TUdbAddr address, std::uint32_t number) const;
  // Keeps the buffer as map page currentNo_ at current_.
  void KeepBuffer();
  template <class Fn>
  auto Guarded(Fn&& fn) -> decltype(fn());

  TDiskMgr& disk_;
  TGlobalHdr& header_;
  int pageSize_;
  int entries_;
  std::vector<std::uint8_t> buffer_;
  TUdbAddr current_ = 0;         // address of the map page in the buffer
  std::uint32_t currentNo_ = 0;  // its number
  // Map page n's address and bytes as last read (validated) or written;
  // an empty image is a page not kept.
  struct TKeptPage {
    TUdbAddr address = 0;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<TKeptPage> kept_;
  bool keeping_ = false;  // set by each public call (MayKeep)
};
