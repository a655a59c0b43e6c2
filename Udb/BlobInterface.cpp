// TBlobInterface (see BlobInterface.h).
#include "Udb/BlobInterface.h"

#include <cstring>
#include <unordered_set>

#include "Udb/UdbErrors.h"
#include "platform/core/Streams.h"

using udbfmt::GetU32;
using udbfmt::PutU32;

void TBlobInterface::Open() {
  const char* loc = "TBlobInterface.Open";
  if (io_ == nullptr) UdbDatabaseError(udberr::kInternal, loc, "Unable to create blob interface - IOInterface is null");
  if (blockSize_ <= 0) UdbDatabaseError(udberr::kInternal, loc, "Unable to create blob interface - Block size is 0");
  if (blockSize_ <= udbfmt::kBlobData)
    UdbDatabaseError(udberr::kInternal, loc, "Unable to create blob interface - Block size is too small");
  buffer_.assign(static_cast<size_t>(blockSize_), 0);
}

void TBlobInterface::CheckOpen(const char* location) const {
  if (buffer_.empty() || io_ == nullptr) UdbDatabaseError(udberr::kNotInitialized, location);
}

TUdbAddr TBlobInterface::WriteBlob(int size, TStream* stream) {
  const char* loc = "TBlobInterface.WriteBlob";
  CheckOpen(loc);
  if (size <= 0) return 0;
  if (stream == nullptr || stream->Size() < size)
    UdbDatabaseError(udberr::kInternal, loc, "Blob stream holds fewer bytes than requested");
  const int per = DataPerBlock();
  int count = size % per == 0 ? per : size % per;
  std::int64_t position = stream->Size() - count;
  const std::int64_t start = stream->Size() - size;
  TUdbAddr next = 0;
  std::vector<TUdbAddr> written;
  try {
    while (position >= start) {
      std::memset(buffer_.data(), 0, buffer_.size());
      stream->SetPosition(position);
      stream->ReadBuffer(buffer_.data() + udbfmt::kBlobData, count);
      PutU32(buffer_.data() + udbfmt::kBlobNext, next);
      PutU32(buffer_.data() + udbfmt::kBlobCount, static_cast<std::uint32_t>(count));
      next = io_->AllocateNewAddress(blockSize_, buffer_.data());
      written.push_back(next);
      count = per;
      position -= per;
    }
  } catch (...) {
    for (TUdbAddr a : written) {
      try {
        io_->ReleaseBlock(a, blockSize_);
      } catch (...) {
        break;  // the interface refuses further work; the first error is the one to report
      }
    }
    throw;
  }
  return next;
}

TUdbAddr TBlobInterface::WriteStream(TStream* stream) {
  return WriteBlob(static_cast<int>(stream->Size()), stream);
}

std::vector<TUdbAddr> TBlobInterface::ChainOf(TUdbAddr address) { return Walk(address, nullptr); }

std::vector<TUdbAddr> TBlobInterface::Walk(TUdbAddr address, std::vector<std::uint8_t>* data) {
  const char* loc = "TBlobInterface.ReadBlob";
  CheckOpen(loc);
  std::vector<TUdbAddr> chain;
  std::unordered_set<TUdbAddr> seen;
  const int per = DataPerBlock();
  while (address != 0) {
    if (!seen.insert(address).second)
      UdbDatabaseError(udberr::kCorrupt, loc, UdbFormat("Blob chain loops at %u", {static_cast<long long>(address)}));
    io_->ReadBlock(address, blockSize_, buffer_.data());
    const TUdbAddr next = GetU32(buffer_.data() + udbfmt::kBlobNext);
    const std::uint32_t count = GetU32(buffer_.data() + udbfmt::kBlobCount);
    if (count == 0 || count > static_cast<std::uint32_t>(per) || (next != 0 && count != static_cast<std::uint32_t>(per)))
      UdbDatabaseError(udberr::kCorrupt, loc, UdbFormat("Blob block at %u has a bad byte count", {static_cast<long long>(address)}));
    chain.push_back(address);
    if (data) data->insert(data->end(), buffer_.data() + udbfmt::kBlobData, buffer_.data() + udbfmt::kBlobData + count);
    address = next;
  }
  return chain;
}

void TBlobInterface::ReadBlob(TUdbAddr address, TStream* stream) {
  // The chain is checked whole before a byte reaches the stream.
  std::vector<std::uint8_t> data;
  Walk(address, &data);
  if (!data.empty()) stream->WriteBuffer(data.data(), static_cast<int>(data.size()));
}

void TBlobInterface::DeleteBlob(TUdbAddr address) {
  for (TUdbAddr a : ChainOf(address)) io_->ReleaseBlock(a, blockSize_);
}
