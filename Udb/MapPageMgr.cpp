// TMapPageMgr: see MapPageMgr.h.
#include "Udb/MapPageMgr.h"

#include <algorithm>
#include <cstring>

#include "Udb/DiskMgr.h"
#include "Udb/GlobalHdr.h"
#include "Udb/UdbErrors.h"

using namespace udbfmt;

namespace {
constexpr const char* kSetFlags = "TMapPageMgr.SetMapEntryFlags";
constexpr const char* kSearch = "TMapPageMgr.SearchMapsForMapPage";
constexpr const char* kFindInMap = "TMapPageMgr.FindEmptyPagesInMap";
}  // namespace

TMapPageMgr::TMapPageMgr(TDiskMgr& disk, TGlobalHdr& header, int pageSize)
    : disk_(disk), header_(header), pageSize_(pageSize), entries_(MapEntriesPerPage(pageSize)),
      buffer_(static_cast<size_t>(pageSize), 0) {}

std::int64_t TMapPageMgr::FileSize() { return disk_.File().FileSize(); }

std::uint16_t TMapPageMgr::Entry(int offset) const { return GetU16(buffer_.data() + offset); }
void TMapPageMgr::SetEntry(int offset, std::uint16_t value) { PutU16(buffer_.data() + offset, value); }
TUdbAddr TMapPageMgr::NextMapPage() const { return GetU32(buffer_.data() + kMapNextPage); }

TUdbAddr TMapPageMgr::PageAddress(std::uint32_t m, int index) const {
  std::int64_t address = (std::int64_t(m) * entries_ + index) * pageSize_;
  if (address > kMaxFileSize) UdbDatabaseError(udberr::kCorrupt, "TMapPageMgr.PageAddress", "Map entry beyond the file size limit");
  return static_cast<TUdbAddr>(address);
}

// --- kept pages -------------------------------------------------------------------

bool TMapPageMgr::MayKeep() {
  if (disk_.HoldsWriteIntent()) return true;
  ForgetKeptPages();
  return false;
}

void TMapPageMgr::ForgetKeptPages() { kept_.clear(); }

const std::vector<std::uint8_t>* TMapPageMgr::Kept(TUdbAddr address, std::uint32_t number) const {
  if (!keeping_ || number >= kept_.size()) return nullptr;
  const TKeptPage& k = kept_[number];
  return !k.bytes.empty() && k.address == address ? &k.bytes : nullptr;
}

void TMapPageMgr::KeepBuffer() {
  if (!keeping_) return;
  if (kept_.size() <= currentNo_) kept_.resize(size_t(currentNo_) + 1);
  kept_[currentNo_].address = current_;
  kept_[currentNo_].bytes = buffer_;
}

// A public call: decides whether pages may be kept during it; one that
// fails part-way leaves nothing kept (the buffer or the file may differ
// from the kept images).
template <class Fn>
auto TMapPageMgr::Guarded(Fn&& fn) -> decltype(fn()) {
  keeping_ = MayKeep();
  try {
    return fn();
  } catch (...) {
    ForgetKeptPages();
    throw;
  }
}

// --- map pages ----------------------------------------------------------------------

// Loads the map page at address, which must be map page `number` (M2).
void TMapPageMgr::LoadMapPage(TUdbAddr address, std::uint32_t number) {
  if (address == 0 || address % pageSize_ != 0 || std::int64_t(address) + pageSize_ > FileSize())
    UdbDatabaseErrorFmt(udberr::kInternal, kSearch, "Map Page address invalid (%d)", nullptr, {std::int64_t(address)});
  if (const std::vector<std::uint8_t>* kept = Kept(address, number)) {  // checked when kept
    std::memcpy(buffer_.data(), kept->data(), buffer_.size());
    current_ = address;
    currentNo_ = number;
    return;
  }
  disk_.ReadPages(address, 1, buffer_.data(), 0, 0);
  current_ = address;
  currentNo_ = number;
  if (GetU32(buffer_.data() + kMapPageNumber) != number)
    UdbDatabaseErrorFmt(udberr::kCorrupt, kSearch, "Map page at %d carries number %d instead of %d", nullptr,
                        {std::int64_t(address), GetU32(buffer_.data() + kMapPageNumber), number});
  TUdbAddr next = NextMapPage();
  if (next != 0 && (next <= address || next % pageSize_ != 0))
    UdbDatabaseErrorFmt(udberr::kInternal, kSearch, "Map Page address invalid (next of %d is %d)", nullptr,
                        {std::int64_t(address), std::int64_t(next)});
  KeepBuffer();
}

void TMapPageMgr::WriteMapPage() {
  disk_.WritePages(current_, 1, buffer_.data(), 0, 0);
  KeepBuffer();
}

void TMapPageMgr::SearchMapsForMapPage(std::uint32_t m) {
  if (m >= header_.GetItem(kItemMapPageCount)) UdbDatabaseError(udberr::kInternal, kSearch, "Map Page pageno invalid");
  if (keeping_ && m < kept_.size() && !kept_[m].bytes.empty()) {  // the chain only grows (M2, M3)
    LoadMapPage(kept_[m].address, m);
    return;
  }
  TUdbAddr address = header_.GetItem(kItemFirstMapPage);
  for (std::uint32_t i = 0;; ++i) {
    if (address == 0) UdbDatabaseError(udberr::kInternal, kSearch, "Map Page address invalid");
    LoadMapPage(address, i);
    if (i == m) return;
    address = NextMapPage();
  }
}

// The free chain of the page in the buffer, checked (M1).
std::vector<int> TMapPageMgr::ReadChain(const char* location) {
  std::vector<int> chain;
  const int lowest = kMapEntries, highest = kMapEntries + 2 * (entries_ - 1);
  int offset = Entry(kMapFreeHead);
  while (offset != 0) {
    if (offset < lowest || offset > highest || offset % 2 != 0 ||
        (!chain.empty() && offset <= chain.back()))
      UdbDatabaseError(udberr::kInternal, location, "Empty segment found is invalid");
    std::uint16_t value = Entry(offset);
    if (!(value & kMapEntryFree)) UdbDatabaseError(udberr::kInternal, location, "Empty segment found is invalid");
    chain.push_back(offset);
    offset = value & kMapLinkMask;
  }
  return chain;
}

// Links the offsets (ascending, unique) as the page's free chain.
void TMapPageMgr::WriteChain(const std::vector<int>& offsets) {
  SetEntry(kMapFreeHead, offsets.empty() ? 0 : static_cast<std::uint16_t>(offsets.front()));
  for (size_t i = 0; i < offsets.size(); ++i) {
    int next = i + 1 < offsets.size() ? offsets[i + 1] : 0;
    SetEntry(offsets[i], static_cast<std::uint16_t>(kMapEntryFree + next));
  }
}

TUdbAddr TMapPageMgr::AddMapPage() {
  std::uint32_t count = header_.GetItem(kItemMapPageCount);
  std::vector<std::uint8_t> page(static_cast<size_t>(pageSize_), 0);
  PutU32(page.data() + kMapPageNumber, count);
  TUdbAddr address = disk_.AppendPages(page.data(), 1, 0, 0);
  SearchMapsForMapPage(count - 1);
  PutU32(buffer_.data() + kMapNextPage, address);
  WriteMapPage();
  buffer_ = page;
  current_ = address;
  currentNo_ = count;
  KeepBuffer();
  return address;
}

void TMapPageMgr::SetEntries(std::uint16_t value, TUdbAddr address, int count) {
  Guarded([&] {
    if (count <= 0 || address % pageSize_ != 0)
      UdbDatabaseError(udberr::kInternal, kSetFlags, "Error in setting map flags - mapping corrupted");
    while (count > 0) {
      std::int64_t n = address / pageSize_;
      int inThisMap = static_cast<int>(std::min<std::int64_t>(count, entries_ - n % entries_));
      SetMapEntryFlags(value, address, inThisMap);
      address += static_cast<TUdbAddr>(inThisMap) * pageSize_;
      count -= inThisMap;
    }
  });
}

void TMapPageMgr::SetMapEntryFlags(std::uint16_t value, TUdbAddr address, int count) {
  const bool freeing = value == kMapEntryFree;
  if (!freeing && (value & kMapEntryFree))
    UdbDatabaseError(udberr::kInternal, kSetFlags, "Error in setting map flags - invalid owner value");
  std::int64_t n = address / pageSize_;
  std::uint32_t m = static_cast<std::uint32_t>(n / entries_);
  const int first = static_cast<int>(n % entries_) * 2 + kMapEntries;
  std::uint32_t mapCount = header_.GetItem(kItemMapPageCount);
  if ((!freeing && m > mapCount) || (freeing && m >= mapCount))
    UdbDatabaseError(udberr::kInternal, kSetFlags, "Error in setting map flags - mapping corrupted");
  TUdbAddr newMapPage = 0;
  if (m == mapCount) {
    newMapPage = AddMapPage();
    header_.SetItem(kItemMapPageCount, mapCount + 1);
  } else {
    SearchMapsForMapPage(m);
  }
  std::vector<int> chain = ReadChain(kSetFlags);
  const int last = first + 2 * (count - 1);
  if (freeing) {
    // M3: the file's own pages are never freed.
    for (int o = first; o <= last; o += 2) {
      std::uint16_t v = Entry(o);
      if (v == kUsageStructure || v == kUsageMapPage)
        UdbDatabaseError(udberr::kInternal, kSetFlags, "Cannot free the file's own structure pages");
    }
    for (int o = first; o <= last; o += 2) chain.push_back(o);
    std::sort(chain.begin(), chain.end());
    chain.erase(std::unique(chain.begin(), chain.end()), chain.end());
  } else {
    // Pages taken from the chain are no longer in it; anything still linked
    // inside the run is unlinked so that the chain reaches free entries only.
    chain.erase(std::remove_if(chain.begin(), chain.end(), [&](int o) { return o >= first && o <= last; }),
                chain.end());
    for (int o = first; o <= last; o += 2) SetEntry(o, value);
  }
  WriteChain(chain);
  WriteMapPage();
  // Hint: a map page with free entries.
  if (Entry(kMapFreeHead) == 0) {
    header_.SetItem(kItemFreeMapPageHint, SearchMapsForFirstEmptyMapPage());
  } else if (header_.GetItem(kItemFreeMapPageHint) == 0) {
    header_.SetItem(kItemFreeMapPageHint, current_);
  }
  if (newMapPage != 0) SetMapEntryFlags(kUsageMapPage, newMapPage, 1);
}

bool TMapPageMgr::FindEmptyPagesInMap(int count, int& index) {
  std::vector<int> chain = ReadChain(kFindInMap);
  size_t runStart = 0;
  for (size_t i = 0; i < chain.size(); ++i) {
    if (i > 0 && chain[i] != chain[i - 1] + 2) runStart = i;
    if (static_cast<int>(i - runStart + 1) == count) {
      index = (chain[runStart] - kMapEntries) / 2;
      // Link around the run: the entries before it stay reachable.
      chain.erase(chain.begin() + static_cast<long>(runStart), chain.begin() + static_cast<long>(i) + 1);
      WriteChain(chain);
      return true;
    }
  }
  return false;
}

bool TMapPageMgr::SearchMapsForEmptyPages(int count, int& index) {
  std::uint32_t mapCount = header_.GetItem(kItemMapPageCount);
  TUdbAddr address = header_.GetItem(kItemFirstMapPage);
  for (std::uint32_t i = 0; i < mapCount; ++i) {
    if (address == 0) UdbDatabaseError(udberr::kInternal, "TMapPageMgr.SearchMapsForEmptyPages", "Illegal map page address");
    LoadMapPage(address, i);
    if (FindEmptyPagesInMap(count, index)) return true;
    address = NextMapPage();
  }
  return false;
}

TUdbAddr TMapPageMgr::SearchMapsForFirstEmptyMapPage() {
  std::uint32_t mapCount = header_.GetItem(kItemMapPageCount);
  TUdbAddr address = header_.GetItem(kItemFirstMapPage);
  for (std::uint32_t i = 0; i < mapCount; ++i) {
    if (address == 0)
      UdbDatabaseError(udberr::kInternal, "TMapPageMgr.SearchMapsForFirstEmptyMapPage", "Illegal map page address");
    if (const std::vector<std::uint8_t>* kept = Kept(address, i)) {  // read nothing to pass it
      if (GetU16(kept->data() + kMapFreeHead) == 0) {
        address = GetU32(kept->data() + kMapNextPage);
        continue;
      }
    }
    LoadMapPage(address, i);
    if (Entry(kMapFreeHead) != 0) return address;
    address = NextMapPage();
  }
  return 0;
}

TUdbAddr TMapPageMgr::FindEmptyPages(int count) {
  return Guarded([&] { return FindEmptyPagesGuarded(count); });
}

TUdbAddr TMapPageMgr::FindEmptyPagesGuarded(int count) {
  if (count <= 0 || count > entries_) return 0;
  TUdbAddr hint = header_.GetItem(kItemFreeMapPageHint);
  if (hint == 0) return 0;
  int index = -1;
  bool found = false;
  // The hinted page's number is its own; it must name a map page (M2).
  if (hint % pageSize_ == 0 && std::int64_t(hint) + pageSize_ <= FileSize()) {
    disk_.ReadPages(hint, 1, buffer_.data(), 0, 0);
    std::uint32_t number = GetU32(buffer_.data() + kMapPageNumber);
    if (number < header_.GetItem(kItemMapPageCount)) {
      LoadMapPage(hint, number);
      found = FindEmptyPagesInMap(count, index);
    }
  }
  if (!found) found = SearchMapsForEmptyPages(count, index);
  if (!found) return 0;
  TUdbAddr address = PageAddress(currentNo_, index);
  if (std::int64_t(address) + std::int64_t(count) * pageSize_ > FileSize())
    UdbDatabaseErrorFmt(udberr::kCorrupt, kFindInMap, "Free map entries describe pages beyond the end of the file (%d)",
                        nullptr, {std::int64_t(address)});
  WriteMapPage();
  return address;
}

bool TMapPageMgr::Matches(std::uint16_t value, std::uint16_t tableId, int usage, bool byUsage) const {
  if (value == 0 || (value & kMapEntryFree)) return false;
  return byUsage ? value == static_cast<std::uint16_t>(tableId * 16 + usage) : value / 16 == tableId;
}

void TMapPageMgr::FreeEntries(std::uint16_t tableId, int usage, std::vector<TUdbAddr>& list, bool byUsage) {
  Guarded([&] { FreeEntriesGuarded(tableId, usage, list, byUsage); });
}

void TMapPageMgr::FreeEntriesGuarded(std::uint16_t tableId, int usage, std::vector<TUdbAddr>& list, bool byUsage) {
  // M3: the file's own pages belong to table 0 with usages 1 and 2.
  if (tableId == 0 && (!byUsage || usage == kUsageStructure || usage == kUsageMapPage))
    UdbDatabaseError(udberr::kInternal, "TMapPageMgr.FreeEntries", "Cannot free the file's own structure pages");
  std::uint32_t mapCount = header_.GetItem(kItemMapPageCount);
  TUdbAddr address = header_.GetItem(kItemFirstMapPage);
  TUdbAddr firstWithFree = 0;
  for (std::uint32_t i = 0; i < mapCount; ++i) {
    if (address == 0) UdbDatabaseError(udberr::kInternal, "TMapPageMgr.FreeEntries", "Illegal map page address");
    LoadMapPage(address, i);
    std::vector<int> chain = ReadChain("TMapPageMgr.FreeEntries");
    bool changed = false;
    for (int k = 0; k < entries_; ++k) {
      int offset = kMapEntries + 2 * k;
      if (!Matches(Entry(offset), tableId, usage, byUsage)) continue;
      chain.push_back(offset);
      list.push_back(PageAddress(i, k));
      changed = true;
    }
    if (changed) {
      std::sort(chain.begin(), chain.end());
      WriteChain(chain);
      WriteMapPage();
    }
    if (firstWithFree == 0 && !chain.empty()) firstWithFree = address;
    address = NextMapPage();
  }
  if (firstWithFree != 0) header_.SetItem(kItemFreeMapPageHint, firstWithFree);
}

void TMapPageMgr::ListEntries(std::uint16_t tableId, int usage, std::vector<TUdbAddr>& list, bool byUsage) {
  Guarded([&] { ListEntriesGuarded(tableId, usage, list, byUsage); });
}

void TMapPageMgr::ListEntriesGuarded(std::uint16_t tableId, int usage, std::vector<TUdbAddr>& list, bool byUsage) {
  std::uint32_t mapCount = header_.GetItem(kItemMapPageCount);
  TUdbAddr address = header_.GetItem(kItemFirstMapPage);
  for (std::uint32_t i = 0; i < mapCount; ++i) {
    if (address == 0) UdbDatabaseError(udberr::kInternal, "TMapPageMgr.ListEntries", "Illegal map page address");
    LoadMapPage(address, i);
    for (int k = 0; k < entries_; ++k)
      if (Matches(Entry(kMapEntries + 2 * k), tableId, usage, byUsage)) list.push_back(PageAddress(i, k));
    address = NextMapPage();
  }
}

std::uint16_t TMapPageMgr::EntryOf(TUdbAddr address) {
  return Guarded([&] {
    std::int64_t n = address / pageSize_;
    SearchMapsForMapPage(static_cast<std::uint32_t>(n / entries_));
    return Entry(kMapEntries + static_cast<int>(n % entries_) * 2);
  });
}
