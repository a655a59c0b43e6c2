// Table headers and the table map (see TableHeader.h, TableHeaderFormat.h).
#include "Udb/TableHeader.h"

#include <algorithm>
#include <cstring>

#include "Udb/DBLogger.h"
#include "Udb/UdbErrors.h"
#include "platform/core/NumFormat.h"

using udbfmt::GetU16;
using udbfmt::GetU32;
using udbfmt::PutU16;
using udbfmt::PutU32;

void udbhdr::CheckHeaderSize(int indexCount) {
  if (indexCount < 0 || indexCount * kIndexEntrySize + kIndexEntries > kTableHeaderSize)
    throw Exception("Debug check -  header size <> 256");
}

namespace {

const char* const kOutOfRange = "Table header: The offset value is out of range";

}  // namespace

// --- TTableHeader ---------------------------------------------------------------

TTableHeader::TTableHeader(TTableHeaderMgr* mgr, TUdbAddr address, int size)
    : mgr_(mgr), buffer_(static_cast<size_t>(size), 0), address_(address) {}

TBaseIOInterface* TTableHeader::IO() const {
  PAYROLL_ASSERT(mgr_ != nullptr && mgr_->IOInterface() != nullptr, "InternalReadMap: IOInterface = nil");
  return mgr_->IOInterface();
}

std::uint32_t TTableHeader::GetDWord(int offset) const {
  PAYROLL_ASSERT(!buffer_.empty(), "Table header buf is not allocated");
  if (offset < 0 || offset + 4 > Size()) UdbDatabaseError(udberr::kInternal, "TTableHeader.InternalGetHdrItemDWord");
  return GetU32(buffer_.data() + offset);
}

void TTableHeader::SetDWord(int offset, std::uint32_t value) {
  PAYROLL_ASSERT(!buffer_.empty(), "Table header buf is not allocated");
  if (offset < 0 || offset + 4 > Size()) UdbDatabaseError(udberr::kInternal, "TTableHeader.InternalSetHdrItemDWord", kOutOfRange);
  if (GetU32(buffer_.data() + offset) == value) return;
  PutU32(buffer_.data() + offset, value);
  dirty_ = true;
}

std::uint16_t TTableHeader::GetWord(int offset) const {
  PAYROLL_ASSERT(!buffer_.empty(), "Table header buf is not allocated");
  if (offset < 0 || offset + 2 > Size()) UdbDatabaseError(udberr::kInternal, "TTableHeader.InternalGetHdrItemWord");
  return GetU16(buffer_.data() + offset);
}

void TTableHeader::SetWord(int offset, std::uint16_t value) {
  PAYROLL_ASSERT(!buffer_.empty(), "Table header buf is not allocated");
  if (offset < 0 || offset + 2 > Size()) UdbDatabaseError(udberr::kInternal, "TTableHeader.InternalSetHdrItemWord", kOutOfRange);
  if (GetU16(buffer_.data() + offset) == value) return;
  PutU16(buffer_.data() + offset, value);
  dirty_ = true;
}

int TTableHeader::IndexOffset(int index) const {
  if (index < 0 || static_cast<std::uint32_t>(index) >= IndexCount() || index >= udbhdr::kMaxIndexes)
    UdbDatabaseError(udberr::kInternal, "TTableHeader.InternalGetIndexOffset", kOutOfRange);
  return udbhdr::IndexRootOffset(index);
}

std::uint32_t TTableHeader::IndexRoot(int index) const { return GetDWord(IndexOffset(index)); }
void TTableHeader::SetIndexRoot(int index, std::uint32_t root) { SetDWord(IndexOffset(index), root); }
std::uint16_t TTableHeader::IndexDepth(int index) const {
  return GetWord(IndexOffset(index) + udbhdr::kIndexDepth);
}
void TTableHeader::SetIndexDepth(int index, std::uint16_t depth) {
  SetWord(IndexOffset(index) + udbhdr::kIndexDepth, depth);
}

void TTableHeader::ReadHeader() {
  const char* loc = "TTableHeader.ReadHeader";
  if (buffer_.empty()) UdbDatabaseError(udberr::kNotInitialized, loc);
  const std::uint32_t remembered = WriteCounter();
  const std::uint32_t id = TableId();
  std::vector<std::uint8_t>& fresh = fresh_;
  fresh.resize(buffer_.size());
  IO()->ReadBlock(address_, Size(), fresh.data());
  if (GetU32(fresh.data() + udbhdr::kHeaderSizeItem) != static_cast<std::uint32_t>(Size()) ||
      GetU32(fresh.data() + udbhdr::kIndexCount) > udbhdr::kMaxIndexes ||
      (id != 0 && GetU32(fresh.data() + udbhdr::kTableId) != id))
    UdbDatabaseError(udberr::kCorrupt, loc, UdbFormat("Table header at %u is damaged", {static_cast<long long>(address_)}));
  buffer_.swap(fresh);
  dirty_ = false;
  if (remembered != 0 && remembered == WriteCounter()) return;
  // Another connection wrote the table: what we cached of it is stale.
  IO()->InvalidateCache(static_cast<std::uint16_t>(TableId()));
}

void TTableHeader::WriteHeader() {
  if (buffer_.empty()) UdbDatabaseError(udberr::kNotInitialized, "TTableHeader.WriteHeader");
  const std::uint32_t counter = WriteCounter();
  PutU32(buffer_.data() + udbhdr::kWriteCounter, counter + 1);
  try {
    IO()->WriteBlock(address_, Size(), buffer_.data());
  } catch (...) {
    PutU32(buffer_.data() + udbhdr::kWriteCounter, counter);
    throw;
  }
  dirty_ = false;
}

void TTableHeader::Resize(int size, bool clear) {
  std::vector<std::uint8_t> fresh(static_cast<size_t>(size), 0);
  if (!clear) std::memcpy(fresh.data(), buffer_.data(), std::min(fresh.size(), buffer_.size()));
  buffer_.swap(fresh);
  SetDWord(udbhdr::kHeaderSizeItem, static_cast<std::uint32_t>(size));
  dirty_ = true;
}

// --- TTableHeaderMgr -------------------------------------------------------------

TTableHeaderMgr::~TTableHeaderMgr() {
  try {
    CloseAll();
  } catch (const std::exception& e) {
    UdbLogger().Log("TTableHeaderMgr", AnsiString("Header write at close failed: ") + e.what());
  }
}

void TTableHeaderMgr::CheckIO() const { PAYROLL_ASSERT(io_ != nullptr, "InternalReadMap: IOInterface = nil"); }

void TTableHeaderMgr::Open(TBaseIOInterface* io) {
  if (mapAddress_ == 0)
    UdbDatabaseError(udberr::kInternal, "TTableHeaderMgr.Open", "Base address of table header mapper has not been set");
  io_ = io;
  ReadMap();
}

// Checks T1 (TableHeaderFormat.h) on a map read from the file.
void TTableHeaderMgr::ValidateMap(const std::vector<std::uint8_t>& map) const {
  std::vector<bool> used(udbhdr::kMapSlots, false);
  bool ended = false;
  for (int k = 0; k < udbhdr::kMapSlots; ++k) {
    const std::uint32_t id = GetU32(map.data() + udbhdr::kMapSlotSize * k);
    const std::uint32_t address = GetU32(map.data() + udbhdr::kMapSlotSize * k + 4);
    bool ok;
    if (id == 0) {
      ok = address == 0;
      ended = true;
    } else {
      const std::int64_t j = std::int64_t(id) - idBase_;
      ok = !ended && address != 0 && j >= 0 && j < udbhdr::kMapSlots && !used[static_cast<size_t>(j)];
      if (ok) used[static_cast<size_t>(j)] = true;
    }
    if (!ok) UdbDatabaseError(udberr::kCorrupt, "TTableHeaderMgr.ReadMap", "Table map slot " + IntToStr(k) + " is damaged");
  }
}

void TTableHeaderMgr::ReadMap() {
  CheckIO();
  std::vector<std::uint8_t> fresh(udbhdr::kMapSize);
  io_->ReadBlock(mapAddress_, udbhdr::kMapSize, fresh.data());
  ValidateMap(fresh);
  map_.swap(fresh);
}

void TTableHeaderMgr::WriteMap() {
  CheckIO();
  io_->WriteBlock(mapAddress_, udbhdr::kMapSize, map_.data());
}

int TTableHeaderMgr::SlotTableId(int slot) const {
  return static_cast<int>(GetU32(map_.data() + udbhdr::kMapSlotSize * slot));
}

TUdbAddr TTableHeaderMgr::SlotAddress(int slot) const {
  return GetU32(map_.data() + udbhdr::kMapSlotSize * slot + 4);
}

int TTableHeaderMgr::TableCount() const {
  int n = 0;
  while (n < udbhdr::kMapSlots && SlotTableId(n) != 0) ++n;
  return n;
}

int TTableHeaderMgr::FindSlot(int tableId) const {
  if (tableId == 0) return -1;
  for (int k = 0; k < udbhdr::kMapSlots; ++k)
    if (SlotTableId(k) == tableId) return k;
  return -1;
}

TTableHeader* TTableHeaderMgr::FindOpen(int tableId) const {
  for (const auto& h : open_)
    if (static_cast<int>(h->TableId()) == tableId) return h.get();
  return nullptr;
}

void TTableHeaderMgr::RemoveSlot(int slot) {
  std::uint8_t* base = map_.data();
  const size_t from = static_cast<size_t>(slot + 1) * udbhdr::kMapSlotSize;
  std::memmove(base + from - udbhdr::kMapSlotSize, base + from, udbhdr::kMapReserved - from);
  std::memset(base + udbhdr::kMapReserved - udbhdr::kMapSlotSize, 0, udbhdr::kMapSlotSize);
}

int TTableHeaderMgr::ReadHeaderSize(TUdbAddr address, const char* location) {
  std::uint8_t probe[udbhdr::kHeaderSizeProbe];
  io_->ReadBlock(address, udbhdr::kHeaderSizeProbe, probe);
  const std::uint32_t size = GetU32(probe + udbhdr::kHeaderSizeItem);
  if (size != udbhdr::kTableHeaderSize)
    UdbDatabaseError(udberr::kCorrupt, location, UdbFormat("Table header at %u has a bad size", {static_cast<long long>(address)}));
  return static_cast<int>(size);
}

int TTableHeaderMgr::AddTable(int indexCount) {
  const char* loc = "TTableHeaderMgr.AddTable";
  udbhdr::CheckHeaderSize(indexCount);
  ReadMap();
  if (SlotAddress(udbhdr::kMapSlots - 1) != 0) UdbDatabaseError(udberr::kTableLimit, loc);
  const int size = udbhdr::kTableHeaderSize;
  std::vector<std::uint8_t> zeros(static_cast<size_t>(size), 0);
  const TUdbAddr address = io_->AllocateNewAddress(size, zeros.data());
  PAYROLL_ASSERT(address != 0, "HeaderMgr. AddTable allocate = 0");

  // Reserve the first free slot and the smallest free id.
  std::vector<bool> used(udbhdr::kMapSlots, false);
  for (int k = 0; k < udbhdr::kMapSlots; ++k) {
    const int j = SlotTableId(k) - idBase_;
    if (SlotTableId(k) == 0 || j < 0) continue;
    PAYROLL_ASSERT(j < udbhdr::kMapSlots, "TableID out of range");
    used[static_cast<size_t>(j)] = true;
  }
  const int slot = TableCount();
  const int j = static_cast<int>(std::find(used.begin(), used.end(), false) - used.begin());
  const int id = idBase_ + j;
  const std::vector<std::uint8_t> before = map_;
  bool mapWritten = false;
  try {
    PutU32(map_.data() + udbhdr::kMapSlotSize * slot, static_cast<std::uint32_t>(id));
    PutU32(map_.data() + udbhdr::kMapSlotSize * slot + 4, address);
    WriteMap();
    mapWritten = true;
    TTableHeader header(this, address, size);
    header.SetTableId(static_cast<std::uint32_t>(id));
    header.SetDWord(udbhdr::kHeaderSizeItem, static_cast<std::uint32_t>(size));
    header.SetIndexCount(static_cast<std::uint32_t>(indexCount));
    header.WriteHeader();  // write counter 1
  } catch (...) {
    // Leave nothing behind: the slot and the header block go again.
    try {
      map_ = before;
      if (mapWritten) WriteMap();
      io_->ReleaseBlock(address, size);
    } catch (const std::exception& e) {
      UdbLogger().Log("TTableHeaderMgr", AnsiString("Undo of a failed add failed: ") + e.what());
    }
    throw;
  }
  return id;
}

TTableHeader* TTableHeaderMgr::OpenTable(int tableId) {
  const char* loc = "TTableHeaderMgr.OpenTable";
  if (TTableHeader* h = FindOpen(tableId)) {
    ++h->openCount_;
    return h;
  }
  ReadMap();
  const int slot = FindSlot(tableId);
  if (slot < 0) UdbDatabaseError(udberr::kInternal, loc, "The TableID could not be found: " + IntToStr(tableId));
  const TUdbAddr address = SlotAddress(slot);
  auto header = std::make_unique<TTableHeader>(this, address, ReadHeaderSize(address, loc));
  PutU32(header->buffer_.data() + udbhdr::kTableId, static_cast<std::uint32_t>(tableId));
  header->ReadHeader();  // checks the id
  header->openCount_ = 1;
  header->dirty_ = false;
  open_.push_back(std::move(header));
  return open_.back().get();
}

void TTableHeaderMgr::CloseTable(TTableHeader* header) {
  const char* loc = "TTableHeaderMgr.CloseTable";
  if (header == nullptr) UdbDatabaseError(udberr::kInternal, loc, "The requested object has not been assigned");
  auto owned = [header](const std::unique_ptr<TTableHeader>& h) { return h.get() == header; };
  auto d = std::find_if(detached_.begin(), detached_.end(), owned);
  if (d != detached_.end()) {
    if (--header->openCount_ <= 0) detached_.erase(d);  // its table is gone: never written
    return;
  }
  auto it = std::find_if(open_.begin(), open_.end(), owned);
  if (it == open_.end()) UdbDatabaseError(udberr::kInternal, loc, "The requested object has not been assigned");
  if (header->openCount_ > 1) {
    --header->openCount_;
    return;
  }
  if (header->dirty_) header->WriteHeader();  // on failure it stays open, changes kept
  open_.erase(it);
}

void TTableHeaderMgr::DeleteTable(int tableId) {
  const char* loc = "TTableHeaderMgr.DeleteTable";
  ReadMap();
  const int slot = FindSlot(tableId);
  if (slot < 0) UdbDatabaseError(udberr::kObjectNotFound, loc, "Delete table");
  const TUdbAddr address = SlotAddress(slot);
  const int size = ReadHeaderSize(address, loc);
  // The map stops naming the table before its block is freed: a failure
  // in between leaks the block, never hands it out while still mapped.
  const std::vector<std::uint8_t> before = map_;
  RemoveSlot(slot);
  try {
    WriteMap();
  } catch (...) {
    map_ = before;
    throw;
  }
  auto it = std::find_if(open_.begin(), open_.end(),
                         [tableId](const auto& h) { return static_cast<int>(h->TableId()) == tableId; });
  if (it != open_.end()) {
    (*it)->detached_ = true;
    detached_.push_back(std::move(*it));
    open_.erase(it);
  }
  io_->ReleaseBlock(address, size);
}

void TTableHeaderMgr::CloseAll() {
  std::vector<std::unique_ptr<TTableHeader>> headers;
  headers.swap(open_);
  bool failed = false;
  AnsiString first;
  for (auto& h : headers) {
    if (!h->dirty_) continue;
    try {
      h->WriteHeader();
    } catch (const std::exception& e) {
      if (!failed) first = e.what();
      failed = true;
    }
  }
  if (failed) UdbDatabaseError(udberr::kInternal, "TTableHeaderMgr.CloseAll", "A table header could not be written: " + first);
}
