// TCacheBlockMgr: see CacheBlockMgr.h.
#include "Udb/CacheBlockMgr.h"

#include <algorithm>
#include <cstring>

#include "Udb/PageChunks.h"
#include "Udb/UdbErrors.h"

void TCacheBlockMgr::Start(int pageSize) {
  if (!OnReadFile) UdbDatabaseError(udberr::kInvalidProcedure, "TCacheBlockMgr.Open", "ReadIO");
  if (!OnWriteFile) UdbDatabaseError(udberr::kInvalidProcedure, "TCacheBlockMgr.Open", "WriteIO");
  if (pageSize <= 0) UdbDatabaseError(udberr::kInternal, "TCacheBlock.Open", "Object not initialized");
  blocks_.clear();
  pageSize_ = pageSize;
  inTransaction_ = true;
}

TCacheBlockMgr::TBlock& TCacheBlockMgr::Load(TUdbAddr page) {
  auto it = blocks_.find(page);
  if (it != blocks_.end()) return it->second;
  TBlock block;
  block.data.assign(static_cast<size_t>(pageSize_), 0);
  std::int64_t got = OnReadFile(page, block.data.data(), pageSize_);
  block.length = static_cast<int>(std::max<std::int64_t>(got, 0));
  return blocks_.emplace(page, std::move(block)).first->second;
}

void TCacheBlockMgr::Read(TUdbAddr address, void* buffer, int length) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  ForEachPageChunk(address, length, pageSize_, [&](TUdbAddr page, int offset, int chunk, int done) {
    auto it = blocks_.find(page);
    if (it != blocks_.end()) {
      if (offset + chunk > it->second.length)
        UdbDatabaseError(udberr::kReadFailure, "TCacheBlockMgr.ReadBlock", "Unable to complete file read operation");
      std::memcpy(out + done, it->second.data.data() + offset, static_cast<size_t>(chunk));
    } else if (OnReadFile(page + static_cast<TUdbAddr>(offset), out + done, chunk) != chunk) {
      UdbDatabaseError(udberr::kReadFailure, "TUdbFile.InternalRead", "Unable to complete file read operation");
    }
  });
}

void TCacheBlockMgr::Write(TUdbAddr address, const void* buffer, int length) {
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  ForEachPageChunk(address, length, pageSize_, [&](TUdbAddr page, int offset, int chunk, int done) {
    TBlock& block = Load(page);
    std::memcpy(block.data.data() + offset, in + done, static_cast<size_t>(chunk));
    block.length = std::max(block.length, offset + chunk);
  });
}

void TCacheBlockMgr::PutPage(TUdbAddr page, const void* data) {
  TBlock& block = blocks_[page];
  block.data.assign(static_cast<const std::uint8_t*>(data),
                    static_cast<const std::uint8_t*>(data) + pageSize_);
  block.length = pageSize_;
}

void TCacheBlockMgr::DropPage(TUdbAddr page) { blocks_.erase(page); }

bool TCacheBlockMgr::CopyPage(TUdbAddr page, void* out) const {
  auto it = blocks_.find(page);
  if (it == blocks_.end()) return false;
  std::memcpy(out, it->second.data.data(), static_cast<size_t>(pageSize_));
  return true;
}

bool TCacheBlockMgr::SaveBlock(TUdbAddr page, std::vector<std::uint8_t>& data, int& length) const {
  auto it = blocks_.find(page);
  if (it == blocks_.end()) return false;
  data = it->second.data;
  length = it->second.length;
  return true;
}

void TCacheBlockMgr::RestoreBlock(TUdbAddr page, std::vector<std::uint8_t> data, int length) {
  TBlock& block = blocks_[page];
  block.data = std::move(data);
  block.length = length;
}

std::vector<TUdbAddr> TCacheBlockMgr::HeldPages() const {
  std::vector<TUdbAddr> pages;
  for (const auto& [page, block] : blocks_) pages.push_back(page);
  return pages;
}

void TCacheBlockMgr::Commit() {
  if (!inTransaction_) UdbDatabaseError(udberr::kNoTransaction, "TCacheBlockMgr.Commit");
  while (!blocks_.empty()) {
    auto it = blocks_.begin();
    OnWriteFile(it->first, it->second.data.data(), it->second.length);
    blocks_.erase(it);
  }
  inTransaction_ = false;
}

void TCacheBlockMgr::WriteAll() {
  if (!inTransaction_) UdbDatabaseError(udberr::kNoTransaction, "TCacheBlockMgr.WriteAll");
  while (!blocks_.empty()) {
    auto it = blocks_.begin();
    OnWriteFile(it->first, it->second.data.data(), it->second.length);
    blocks_.erase(it);
  }
}

void TCacheBlockMgr::Rollback() {
  if (!inTransaction_) UdbDatabaseError(udberr::kNoTransaction, "TCacheBlockMgr.Rollback");
  Clear();
}

void TCacheBlockMgr::Clear() {
  blocks_.clear();
  inTransaction_ = false;
}
