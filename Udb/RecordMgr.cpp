// TRecordMgr (see RecordMgr.h).
#include "Udb/RecordMgr.h"

#include <cstring>

#include "Udb/BlobInterface.h"
#include "Udb/BlobMgr.h"
#include "Udb/DBLogger.h"
#include "Udb/IOInterface.h"
#include "Udb/InternalFields.h"
#include "Udb/UdbErrors.h"
#include "platform/core/NumFormat.h"

using udbfmt::GetU32;
using udbfmt::PutU32;

TRecordMgr::TRecordMgr()
    : fields_(std::make_unique<TInternalFields>()), blobs_(std::make_unique<TBlobMgr>()) {}

TRecordMgr::~TRecordMgr() = default;

void TRecordMgr::SetRecordSize(int size) {
  PAYROLL_ASSERT(last_.empty(), "Setting record size when buffers set");
  recordSize_ = size;
}

void TRecordMgr::Open(TBaseIOInterface* io) {
  if (recordSize_ <= 0) UdbDatabaseError(udberr::kNotInitialized, "TRecordMgr.Open");
  last_.assign(static_cast<size_t>(recordSize_), 0);
  io_ = io;
  fields_->BuildFieldIndex();
  fields_->SetRecordSize(recordSize_);
  BuildLayoutChecks();
  blobs_->Clear();
  for (int i = 0; i < fields_->Count(); ++i) {
    if (!fields_->Items(i)->IsBlob()) continue;
    TBlob* blob = blobs_->Add();
    blob->SetFieldIndex(fields_->Items(i)->FieldIndex());
    blob->SetState(bsNotLoaded);
  }
}

void TRecordMgr::Close() {
  fields_->Clear();
  nullFlags_.clear();
  sizeChecks_.clear();
  checkedFieldCount_ = -1;
  blobs_->Clear();
  last_.clear();
  last_.shrink_to_fit();
  io_ = nullptr;
}

void TRecordMgr::CheckOpen(const char* location) const {
  if (last_.empty() || io_ == nullptr) UdbDatabaseError(udberr::kNotInitialized, location);
}

TUdbAddr TRecordMgr::AppendRecord(const std::uint8_t* buffer) {
  CheckOpen("TRecordMgr.AppendRecord");
  TUdbAddr address = io_->AllocateNewAddress(recordSize_, buffer);
  std::memcpy(last_.data(), buffer, last_.size());
  return address;
}

void TRecordMgr::BuildLayoutChecks() {
  nullFlags_.clear();
  sizeChecks_.clear();
  for (int i = 0; i < fields_->Count(); ++i) {
    const TInternalFieldItem* f = fields_->Items(i);
    nullFlags_.push_back(f->NullFlagOffset());
    if (f->DataType() == ftString) sizeChecks_.push_back({f->SizeMarkerOffset(), f->UserFieldSize()});
  }
  flagRunStart_ = nullFlags_.empty() ? -1 : nullFlags_.front();
  flagRunLength_ = static_cast<int>(nullFlags_.size());
  for (size_t i = 0; i < nullFlags_.size() && flagRunStart_ >= 0; ++i)
    if (nullFlags_[i] != flagRunStart_ + static_cast<int>(i) || nullFlags_[i] >= recordSize_) flagRunStart_ = -1;
  checkedFieldCount_ = fields_->Count();
}

bool TRecordMgr::PassesLayoutChecks(const std::uint8_t* record) const {
  // A flag is 0 or 1, so all of them are exactly when their OR is; flags
  // side by side are taken eight at a time (no byte may have a bit above
  // the lowest).
  if (flagRunStart_ >= 0) {
    const std::uint8_t* at = record + flagRunStart_;
    int left = flagRunLength_;
    std::uint64_t high = 0;
    for (; left >= 8; left -= 8, at += 8) {
      std::uint64_t word;
      std::memcpy(&word, at, sizeof word);
      high |= word;
    }
    std::uint8_t tail = 0;
    for (; left > 0; --left) tail |= *at++;
    if ((high & 0xFEFEFEFEFEFEFEFEull) != 0 || tail > 1) return false;
  } else {
    std::uint8_t flags = 0;
    for (int at : nullFlags_) flags |= record[at];
    if (flags > 1) return false;
  }
  for (const TSizeCheck& c : sizeChecks_)
    if (udbfmt::GetU16(record + c.sizeMarker) > c.maxLength) return false;
  return true;
}

void TRecordMgr::ReadChecked(TUdbAddr address, std::uint8_t* buffer, const char* location) {
  scratch_.resize(static_cast<size_t>(recordSize_));
  io_->ReadBlock(address, recordSize_, scratch_.data());
  if (udbrec::IsLiveRecordOf(scratch_.data(), io_->OwnerValue())) {
    if (checkedFieldCount_ != fields_->Count()) BuildLayoutChecks();
    // A record that fails goes through the full check for its message.
    if (!PassesLayoutChecks(scratch_.data())) fields_->CheckRecord(scratch_.data(), location);
  }
  std::memcpy(buffer, scratch_.data(), scratch_.size());
}

void TRecordMgr::ReadRecord(TUdbAddr address, std::uint8_t* buffer, bool keep) {
  const char* loc = "TRecordMgr.ReadRecord";
  CheckOpen(loc);
  ReadChecked(address, buffer, loc);
  if (keep) {
    std::memcpy(last_.data(), buffer, last_.size());
    blobs_->MarkAllNotLoaded();
  }
}

void TRecordMgr::ReadRun(TUdbAddr address, int count, std::uint8_t* buffer) {
  const char* loc = "TRecordMgr.ReadRecord";
  CheckOpen(loc);
  if (count <= 0) return;
  io_->ReadBlock(address, recordSize_ * count, buffer);
  for (int k = 0; k < count; ++k) {
    const std::uint8_t* record = buffer + static_cast<size_t>(k) * static_cast<size_t>(recordSize_);
    if (!udbrec::IsLiveRecordOf(record, io_->OwnerValue())) continue;
    if (checkedFieldCount_ != fields_->Count()) BuildLayoutChecks();
    if (!PassesLayoutChecks(record)) fields_->CheckRecord(record, loc);
  }
}

void TRecordMgr::ReadRecords(const TUdbAddr* addresses, int count, std::uint8_t* const* buffers) {
  const char* loc = "TRecordMgr.ReadRecord";
  CheckOpen(loc);
  if (count <= 0) return;
  io_->ReadBlocks(addresses, count, recordSize_, buffers);
  for (int k = 0; k < count; ++k) {
    if (!udbrec::IsLiveRecordOf(buffers[k], io_->OwnerValue())) continue;
    if (checkedFieldCount_ != fields_->Count()) BuildLayoutChecks();
    if (!PassesLayoutChecks(buffers[k])) fields_->CheckRecord(buffers[k], loc);
  }
}

void TRecordMgr::WriteRecord(TUdbAddr address, const std::uint8_t* buffer) {
  CheckOpen("TRecordMgr.WriteRecord");
  io_->WriteBlock(address, recordSize_, buffer);
  std::memcpy(last_.data(), buffer, last_.size());
}

void TRecordMgr::DeleteRecord(TUdbAddr address) {
  CheckOpen("TRecordMgr.DeleteRecord");
  io_->ReleaseBlock(address, recordSize_);
  blobs_->MarkAllNotLoaded();
}

void TRecordMgr::GetLastRecord(std::uint8_t* buffer) const { std::memcpy(buffer, last_.data(), last_.size()); }

// --- blob fields ------------------------------------------------------------------

TInternalFieldItem* TRecordMgr::BlobField(int fieldIndex, const char* location) const {
  if (fieldIndex < 0 || fieldIndex >= fields_->Count())
    UdbDatabaseError(udberr::kInternal, location, "Blob field can not be found " + IntToStr(fieldIndex));
  TInternalFieldItem* field = fields_->GetField(fieldIndex);
  if (!field->IsBlob()) UdbDatabaseError(udberr::kInternal, location, "Unable to use this method to access non-blob fields");
  if (blobs_->FindByField(fieldIndex) == nullptr)
    UdbDatabaseError(udberr::kInternal, location, "Blob field can not be found " + IntToStr(fieldIndex));
  return field;
}

bool TRecordMgr::ReadBlobField(const std::uint8_t* record, int fieldIndex, TStream* out) {
  const char* loc = "TRecordMgr.ReadBlobField";
  TInternalFieldItem* field = BlobField(fieldIndex, loc);
  TBlob* blob = blobs_->FindByField(fieldIndex);
  if (blob->State() == bsModified) {
    if (blob->Stream().Size() == 0) return false;
    out->WriteBuffer(blob->Stream().Memory(), static_cast<int>(blob->Stream().Size()));
    return true;
  }
  if (record[field->NullFlagOffset()] == 0) return false;
  const TUdbAddr address = GetU32(record + field->DataOffset());
  const std::uint32_t length = GetU32(record + field->DataOffset() + 4);
  if (address == 0) UdbDatabaseError(udberr::kCorrupt, loc, "GetFieldStream. Blob address = 0");
  if (blobIO_ == nullptr) UdbDatabaseError(udberr::kNotInitialized, loc);
  TMemoryStream data;
  blobIO_->ReadBlob(address, &data);
  if (static_cast<std::uint32_t>(data.Size()) != length)
    UdbDatabaseError(udberr::kCorrupt, loc, "Blob length does not match its reference: " + field->FieldName());
  if (length > 0) out->WriteBuffer(data.Memory(), static_cast<int>(length));
  return true;
}

void TRecordMgr::SetBlobField(const std::uint8_t* record, int fieldIndex, TStream* in) {
  TInternalFieldItem* field = BlobField(fieldIndex, "TRecordMgr.SetBlobField");
  TBlob* blob = blobs_->FindByField(fieldIndex);
  const std::int64_t size = in ? in->Size() : 0;
  if (size > 0) {
    blob->Stream().Clear();
    in->SetPosition(0);
    blob->Stream().CopyFrom(in, size);
    blob->SetState(bsModified);
    return;
  }
  const bool referenced = record[field->NullFlagOffset()] != 0 && GetU32(record + field->DataOffset()) != 0;
  blob->Stream().Clear();
  blob->SetState(referenced ? bsModified : bsNotLoaded);
}

TUdbAddr TRecordMgr::PostRecord(TUdbAddr address, std::uint8_t* record) {
  const char* loc = "TRecordMgr.PostRecord";
  CheckOpen(loc);
  std::vector<TUdbAddr> written, replaced;
  std::vector<std::uint8_t> original(record, record + recordSize_);
  try {
    for (int i = 0; i < blobs_->Count(); ++i) {
      TBlob* blob = blobs_->Items(i);
      if (blob->State() != bsModified) continue;
      if (blobIO_ == nullptr) UdbDatabaseError(udberr::kNotInitialized, loc);
      TInternalFieldItem* field = fields_->GetField(blob->FieldIndex());
      std::uint8_t* ref = record + field->DataOffset();
      const TUdbAddr old = record[field->NullFlagOffset()] ? GetU32(ref) : 0;
      TUdbAddr fresh = 0;
      const auto size = static_cast<std::uint32_t>(blob->Stream().Size());
      if (size > 0) {
        fresh = blobIO_->WriteStream(&blob->Stream());
        written.push_back(fresh);
      }
      PutU32(ref, fresh);
      PutU32(ref + 4, size);
      record[field->NullFlagOffset()] = fresh != 0 ? 1 : 0;
      if (old != 0) replaced.push_back(old);
    }
    if (address == 0)
      address = AppendRecord(record);
    else
      WriteRecord(address, record);
  } catch (...) {
    std::memcpy(record, original.data(), original.size());
    for (TUdbAddr a : written) {
      try {
        blobIO_->DeleteBlob(a);
      } catch (...) {
        break;
      }
    }
    throw;
  }
  blobs_->MarkAllNotLoaded();
  // The record is written: the post has succeeded.  The old chains are
  // referenced by nothing now, so a failure to free them leaks blocks and
  // is logged, never reported as a failed post.
  for (TUdbAddr a : replaced) {
    try {
      blobIO_->DeleteBlob(a);
    } catch (const std::exception& e) {
      UdbLogger().Log("TRecordMgr", AnsiString("Replaced blob not freed: ") + e.what());
    }
  }
  return address;
}

void TRecordMgr::DeleteRecordAndBlobs(TUdbAddr address, bool passOnFileFailure) {
  const char* loc = "TRecordMgr.DeleteRecordAndBlobs";
  CheckOpen(loc);
  std::vector<std::uint8_t> record(static_cast<size_t>(recordSize_));
  ReadChecked(address, record.data(), loc);
  std::vector<TUdbAddr> chains;
  for (int i = 0; i < fields_->Count(); ++i) {
    TInternalFieldItem* f = fields_->Items(i);
    if (!f->IsBlob() || record[f->NullFlagOffset()] == 0) continue;
    if (TUdbAddr a = GetU32(record.data() + f->DataOffset())) chains.push_back(a);
  }
  // Check every chain before anything is released.
  if (!chains.empty()) {
    if (blobIO_ == nullptr) UdbDatabaseError(udberr::kNotInitialized, loc);
    for (TUdbAddr a : chains) blobIO_->ChainOf(a);
  }
  DeleteRecord(address);
  // The record is gone, so is the delete's outcome: unreferenced chains
  // that cannot be freed only leak.
  for (TUdbAddr a : chains) {
    try {
      blobIO_->DeleteBlob(a);
    } catch (const EUdbDatabaseError& e) {
      if (passOnFileFailure && udberr::IsFileFailure(e.ErrorCode())) throw;
      UdbLogger().Log("TRecordMgr", AnsiString("Deleted record's blob not freed: ") + e.what());
    } catch (const std::exception& e) {
      UdbLogger().Log("TRecordMgr", AnsiString("Deleted record's blob not freed: ") + e.what());
    }
  }
}
