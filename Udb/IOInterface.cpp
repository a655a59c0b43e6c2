// TBaseIOInterface defaults and TMemoryIOInterface (see IOInterface.h).
#include "Udb/IOInterface.h"

#include <cstdio>
#include <cstring>

#include "Udb/UdbErrors.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Strings.h"

namespace {

[[noreturn]] void NotImplemented(const char* operation) {
  UdbDatabaseError(udberr::kInvalidProcedure, AnsiString("TBaseIOInterface.") + operation);
}

AnsiString Hex8(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(v));
  return text;
}

}  // namespace

// --- TBaseIOInterface -------------------------------------------------------------

void TBaseIOInterface::Open() { ownerValue_ = static_cast<std::uint16_t>(tableId_ * 16 + usage_); }
void TBaseIOInterface::Empty(bool) { NotImplemented("Empty"); }
TUdbAddr TBaseIOInterface::AllocateNewAddress(int, const void*) { NotImplemented("AllocateNewAddress"); }
void TBaseIOInterface::ReleaseBlock(TUdbAddr, int) { NotImplemented("ReleaseBlock"); }
void TBaseIOInterface::WriteBlock(TUdbAddr, int, const void*) { NotImplemented("WriteBlock"); }
void TBaseIOInterface::ReadBlock(TUdbAddr, int, void*) {}
void TBaseIOInterface::WriteBlockHeader(TUdbAddr, int, const void*) { NotImplemented("WriteBlockHeader"); }
void TBaseIOInterface::ReadBlockHeader(TUdbAddr, int, void*) {}
void TBaseIOInterface::ReadBlocks(const TUdbAddr* addresses, int count, int size, std::uint8_t* const* buffers) {
  for (int i = 0; i < count; ++i) ReadBlock(addresses[i], size, buffers[i]);
}
void TBaseIOInterface::ListBlocks(std::vector<TUdbAddr>&) {}
bool TBaseIOInterface::AddressInUse(TUdbAddr) { return false; }
TUdbAddr TBaseIOInterface::NextBlock(TUdbAddr) { return 0; }
bool TBaseIOInterface::ContainsAddress(TUdbAddr) { return false; }

void TBaseIOInterface::NoteFirstEmpty(TUdbAddr address) {
  firstEmpty_ = address;
  if (globalHeaderItem_ == 0 && OnFirstEmptyChange) OnFirstEmptyChange(address);
}

// --- TMemoryIOInterface -----------------------------------------------------------

TMemoryIOInterface::TMemoryIOInterface() { kind_ = kIOKindMemory; }

TMemoryIOInterface::~TMemoryIOInterface() = default;

void TMemoryIOInterface::Empty(bool) { blocks_.clear(); }

TUdbAddr TMemoryIOInterface::AllocateNewAddress(int size, const void* data) {
  if (size <= 0) UdbDatabaseError(udberr::kInternal, "TMemoryIOInterface.AllocateNewAddress", "Block request size is 0");
  if (nextAddress_ > 0xFFFFFFFFu - kAddressStep)
    UdbDatabaseError(udberr::kInternal, "TMemoryIOInterface.AllocateNewAddress", "Memory block addresses exhausted");
  TUdbAddr address = nextAddress_;
  std::vector<std::uint8_t> block(static_cast<size_t>(size), 0);
  if (data) std::memcpy(block.data(), data, static_cast<size_t>(size));
  blocks_.emplace(address, std::move(block));
  nextAddress_ += kAddressStep;
  return address;
}

void TMemoryIOInterface::ReleaseBlock(TUdbAddr address, int) { blocks_.erase(address); }

std::vector<std::uint8_t>* TMemoryIOInterface::Find(TUdbAddr address) {
  auto it = blocks_.find(address);
  return it == blocks_.end() ? nullptr : &it->second;
}

void TMemoryIOInterface::NoteUnknownAddress(TUdbAddr address) {
  if (debugList_ == nullptr) return;
  debugList_->Add(IntToStr(address) + ":::" + Hex8(address));
  for (const auto& [a, block] : blocks_) debugList_->Add(Hex8(a));
}

// The block at address, checked for the access: a known address, a buffer,
// a size within the block.  what: "Read page", "Write header", ...
std::vector<std::uint8_t>& TMemoryIOInterface::BlockFor(TUdbAddr address, int size, const void* buffer,
                                                        const char* what, const char* location) {
  if (buffer == nullptr) UdbDatabaseError(udberr::kInternal, location, AnsiString(what) + " error - nil pointer");
  std::vector<std::uint8_t>* block = Find(address);
  if (block == nullptr) {
    NoteUnknownAddress(address);
    UdbDatabaseError(udberr::kInternal, location, AnsiString(what) + " error - block address not found" + IntToStr(address));
  }
  if (size < 0 || static_cast<size_t>(size) > block->size())
    UdbDatabaseError(udberr::kInternal, location,
                     AnsiString(what) + " error - size " + IntToStr(size) + " past the block at " + IntToStr(address));
  if (buffer == block->data()) UdbDatabaseError(udberr::kInternal, location, AnsiString(what) + " error - buffers equal");
  return *block;
}

void TMemoryIOInterface::ReadBlock(TUdbAddr address, int size, void* buffer) {
  if (buffer == nullptr) UdbDatabaseError(udberr::kInternal, "TMemoryIOInterface.ReadBlock", "Unassigned memory pointer");
  auto& block = BlockFor(address, size, buffer, "Read page", "TMemoryIOInterface.ReadBlock");
  std::memcpy(buffer, block.data(), static_cast<size_t>(size));
}

void TMemoryIOInterface::WriteBlock(TUdbAddr address, int size, const void* buffer) {
  auto& block = BlockFor(address, size, buffer, "Write page", "TMemoryIOInterface.WriteBlock");
  std::memcpy(block.data(), buffer, static_cast<size_t>(size));
}

void TMemoryIOInterface::ReadBlockHeader(TUdbAddr address, int size, void* buffer) {
  auto& block = BlockFor(address, size, buffer, "Read header", "TMemoryIOInterface.ReadBlockHeader");
  std::memcpy(buffer, block.data(), static_cast<size_t>(size));
}

void TMemoryIOInterface::WriteBlockHeader(TUdbAddr address, int size, const void* buffer) {
  auto& block = BlockFor(address, size, buffer, "Write header", "TMemoryIOInterface.WriteBlockHeader");
  std::memcpy(block.data(), buffer, static_cast<size_t>(size));
}

void TMemoryIOInterface::ListBlocks(std::vector<TUdbAddr>& list) {
  for (const auto& [a, block] : blocks_) list.push_back(a);
}

bool TMemoryIOInterface::AddressInUse(TUdbAddr address) { return blocks_.count(address) != 0; }

bool TMemoryIOInterface::ContainsAddress(TUdbAddr address) { return AddressInUse(address); }

TUdbAddr TMemoryIOInterface::NextBlock(TUdbAddr address) {
  auto it = address == 0 ? blocks_.begin() : blocks_.upper_bound(address);
  return it == blocks_.end() ? 0 : it->first;
}
