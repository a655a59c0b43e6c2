// TUdbDataSet: field data, blobs and record changes (see UdbDataSet.h).
//
// A record change runs inside a TRecordChange:
//   - it begins the write bracket unless the caller holds one; on a disk
//     table outside a transaction it also opens a page transaction, which
//     it commits when the change is done and rolls back on a failure (the
//     table header, index roots and storage heads are put back as they
//     were when the bracket began);
//   - on a disk table inside the connection's transaction it opens a
//     savepoint of the transaction's pages, which a failure goes back to:
//     every page the change wrote (records, index nodes, blob chains, the
//     allocation map, headers) is as before it, and so are the table
//     header, the global header and the caches in memory, while the
//     transaction's earlier changes stay;
//   - otherwise (a memory table, or a disk table written under a bracket
//     the caller holds outside a transaction) every step that changed the
//     table registers its undo, and a failure runs the undos in reverse
//     order.
// In both cases the caller's RecBuf, the record state and the copy of the
// current record are restored after a failure, and the blob values of the
// buffer stay pending until the change has succeeded: a retry writes it all.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "Udb/DBLogger.h"
#include "Udb/DiskMgr.h"
#include "Udb/TableHeader.h"
#include "Udb/UdbDataSetInt.h"
#include "platform/core/DateTime.h"
#include "platform/core/Streams.h"

using namespace udbcur;

class TRecordChange {
 public:
  explicit TRecordChange(TUdbDataSet& ds)
      : ds_(ds), savedRec_(ds.recBuf_), savedCopy_(ds.currentCopy_), savedState_(ds.recordState_) {
    TDiskMgr* disk = ds.memory_ ? nullptr : ds.dataBase_->DiskMgr();
    if (!ds.writeLocked_) {
      ds.BeginWrite();
      began_ = true;
      if (disk != nullptr && !disk->InTransaction()) {
        try {
          disk->StartTransaction();
        } catch (...) {
          ds.EndAccess();
          throw;
        }
        implicit_ = disk;
        TTableHeader* header = ds.tableDef_->Header();
        savedHeader_.assign(header->Bytes(), header->Bytes() + header->Size());
        return;
      }
    }
    if (disk != nullptr && disk->InTransaction() && !disk->InSavepoint()) {
      try {
        disk->BeginSavepoint();
      } catch (...) {
        if (began_) ds.EndAccess();
        throw;
      }
      savepoint_ = disk;
      TTableHeader* header = ds.tableDef_->Header();
      savedHeader_.assign(header->Bytes(), header->Bytes() + header->Size());
      savedHeaderDirty_ = header->Dirty();
      savedStamp_ = ds.headerStamp_;
    }
  }

  ~TRecordChange() {
    if (done_) return;
    if (savepoint_ != nullptr)
      RollBackToSavepoint();
    else if (implicit_ != nullptr)
      RollBackPages();
    else
      RunUndos();
    ds_.recBuf_ = savedRec_;
    ds_.currentCopy_ = savedCopy_;
    ds_.recordState_ = savedState_;
  }

  bool Began() const { return began_; }
  // A failure puts the pages back as they were (no undo steps are kept).
  bool RestoresPages() const { return implicit_ != nullptr || savepoint_ != nullptr; }
  void OnUndo(std::function<void()> step) {
    if (!RestoresPages()) undos_.push_back(std::move(step));
  }

  // Ends the bracket this change began (the header is written once) and
  // commits its page transaction or keeps its savepoint's pages.
  void Done() {
    if (began_) ds_.EndAccess();
    if (implicit_ != nullptr) implicit_->Commit();
    if (savepoint_ != nullptr) savepoint_->ReleaseSavepoint();
    done_ = true;
  }

 private:
  // Puts the pages back as they were at the savepoint, then the table
  // header in memory (with its dirty mark: the caller's bracket may hold
  // earlier changes not yet written) and the caches read from it.
  void RollBackToSavepoint() {
    try {
      savepoint_->RollbackToSavepoint();
    } catch (const std::exception& e) {
      UdbLogger().Log(ds_.tableName_, AnsiString("Savepoint of a failed change not restored: ") + e.what());
    }
    RestoreHeader(savedHeaderDirty_);
    ds_.headerStamp_ = savedStamp_;
    ds_.indexMgr_.ResetAll();
    ds_.ForgetStorageWalk();
    ds_.readAhead_.Reset();
    ds_.aheadCurrent_ = false;
    try {
      ds_.indexMgr_.ReadRoots(true);
      ds_.tableDef_->LoadFirstEmpties();
      // A change that failed after it rebuilt the filter's list.
      if (ds_.FilterActive()) ds_.InternalPrepareFilter();
    } catch (const std::exception& e) {
      UdbLogger().Log(ds_.tableName_, AnsiString("Index roots not reloaded: ") + e.what());
    }
    EndBracket();
  }

  void RunUndos() {
    for (auto it = undos_.rbegin(); it != undos_.rend(); ++it) {
      try {
        (*it)();
      } catch (const std::exception& e) {
        UdbLogger().Log(ds_.tableName_, AnsiString("Undo of a failed change failed: ") + e.what());
      }
    }
    ds_.indexMgr_.ResetAll();
    EndBracket();
  }

  // Drops every page the change wrote and puts the in-memory state of the
  // table back to the header as it was read at the bracket's start.
  void RollBackPages() {
    try {
      implicit_->Rollback();  // also releases the connection's locks
    } catch (const std::exception& e) {
      UdbLogger().Log(ds_.tableName_, AnsiString("Rollback of a failed change failed: ") + e.what());
    }
    RestoreHeader(false);
    // The stamp counted our header write that the file never got: another
    // connection's next commit would bring the file's counter to the same
    // number, and the next bracket would take the table as unchanged.
    ds_.headerStamp_ = 0;
    ds_.readLocked_ = ds_.writeLocked_ = ds_.lockHeld_ = false;
    try {
      ds_.indexMgr_.ReadRoots(true);
      ds_.tableDef_->LoadFirstEmpties();
    } catch (const std::exception& e) {
      UdbLogger().Log(ds_.tableName_, AnsiString("Index roots not reloaded: ") + e.what());
    }
    ds_.readAhead_.Reset();
  }

  // The table header in memory as it was saved at the change's start.
  void RestoreHeader(bool dirty) {
    TTableHeader* header = ds_.tableDef_->Header();
    for (int offset = 0; offset + 4 <= static_cast<int>(savedHeader_.size()); offset += 4)
      header->SetDWord(offset, Get32(savedHeader_.data() + offset));
    header->SetDirty(dirty);
  }

  // Ends the bracket the change began, if it began one.  Never throws.
  void EndBracket() {
    if (!began_) return;
    try {
      ds_.EndAccess();
    } catch (const std::exception& e) {
      UdbLogger().Log(ds_.tableName_, AnsiString("Bracket not ended after a failed change: ") + e.what());
    }
  }

  TUdbDataSet& ds_;
  std::vector<std::uint8_t> savedRec_;
  std::vector<std::uint8_t> savedCopy_;
  int savedState_;
  std::vector<std::uint8_t> savedHeader_;
  std::vector<std::function<void()>> undos_;
  TDiskMgr* implicit_ = nullptr;
  TDiskMgr* savepoint_ = nullptr;
  bool savedHeaderDirty_ = false;
  std::uint32_t savedStamp_ = 0;
  bool began_ = false;
  bool done_ = false;
};

namespace {

std::uint32_t FieldBit(const TDataSet& ds) { return ds.State() == dsInsert ? kPrivInsert : kPrivUpdate; }

// Positions index on the key of record and answers whether it is there
// (all key parts compared).
bool FindKeyOf(TIndexItem& index, const std::uint8_t* record) {
  index.SetSearchKeyFromRecord(record);
  return index.Find(kEqual) == 0 && index.Tree().KeyValid();
}

// A key change that failed for want of the file (a full disk, an I/O
// error, a lock time-out at a spill) is reported as that failure: the
// caller can free space or retry.  Other failures are the index's own.
void PassOnFileFailure(const EUdbDatabaseError& e) {
  if (udberr::IsFileFailure(e.ErrorCode())) throw e;
}

// A chain that cannot be freed is logged and left (it only leaks), except
// that with passOnFileFailure a failure of the file is raised: the change
// is then undone page by page, the chain half freed with it.
void FreeChains(const std::vector<TUdbAddr>& chains, TBlobInterface& blobs, const AnsiString& table,
                bool passOnFileFailure = false) {
  for (TUdbAddr a : chains) {
    try {
      blobs.DeleteBlob(a);
    } catch (const EUdbDatabaseError& e) {
      if (passOnFileFailure) PassOnFileFailure(e);
      UdbLogger().Log(table, AnsiString("Blob not freed: ") + e.what());
    } catch (const std::exception& e) {
      UdbLogger().Log(table, AnsiString("Blob not freed: ") + e.what());
    }
  }
}

}  // namespace

// ============================================================================
// field data
// ============================================================================

int TUdbDataSet::InternalGetFieldLength(int fieldIndex, const std::uint8_t* buf) const {
  const TInternalFieldItem* f = const_cast<TUdbDataSet*>(this)->recordMgr_.Fields().GetField(fieldIndex);
  if (f->IsBlob()) return buf[f->NullFlagOffset()] == kFlagValue ? static_cast<int>(Get32(buf + f->DataOffset() + 4)) : 0;
  if (!f->IsVariable() && f->DataType() != ftString) return f->FieldSize();
  if (f->SizeMarkerOffset() == 0) UdbDatabaseError(udberr::kInvalidFieldType, "TUdbDataSet.InternalGetFieldLength");
  if (buf[f->NullFlagOffset()] == kFlagNull) return 0;
  return std::min<int>(udbfmt::GetU16(buf + f->SizeMarkerOffset()), f->UserFieldSize());
}

void TUdbDataSet::DataSetGetFieldDataFromRecBuf(int fieldIndex, bool& isBlank, void* dest,
                                                const std::uint8_t* buf) const {
  const TInternalFieldItem* f = const_cast<TUdbDataSet*>(this)->recordMgr_.Fields().GetField(fieldIndex);
  if (f->IsBlob())
    UdbDatabaseError(udberr::kInternal, "TUdbDataSet.DataSetGetFieldDataFromRecBuf",
                     "Unable to use this method to access blob fields. Field : " + IntToStr(fieldIndex));
  isBlank = buf[f->NullFlagOffset()] == kFlagNull;
  if (dest == nullptr || isBlank) return;
  const int length = InternalGetFieldLength(fieldIndex, buf);
  if (length < f->FieldSize()) std::memset(dest, 0, static_cast<size_t>(f->FieldSize()));
  std::memcpy(dest, buf + f->DataOffset(), static_cast<size_t>(length));
}

void TUdbDataSet::DataSetGetFieldDataFromRecBufAsVariant(const std::uint8_t* buf, int fieldIndex,
                                                         Variant& value) const {
  value = Null();
  const TInternalFieldItem* f = const_cast<TUdbDataSet*>(this)->recordMgr_.Fields().GetField(fieldIndex);
  std::vector<std::uint8_t> data(static_cast<size_t>(std::max(f->FieldSize(), 8)), 0);
  bool blank = true;
  DataSetGetFieldDataFromRecBuf(fieldIndex, blank, data.data(), buf);
  if (blank) return;
  const std::uint8_t* d = data.data();
  switch (f->DataType()) {
    case ftString:
      value = AnsiString(reinterpret_cast<const char*>(d), static_cast<size_t>(InternalGetFieldLength(fieldIndex, buf)));
      break;
    case ftSmallint: value = static_cast<int>(static_cast<std::int16_t>(udbfmt::GetU16(d))); break;
    case ftWord: value = static_cast<int>(udbfmt::GetU16(d)); break;
    case ftInteger:
    case ftAutoInc: value = static_cast<int>(Get32(d)); break;
    case ftBoolean: value = d[0] != 0; break;
    case ftFloat:
    case ftCurrency: {
      double v;
      std::memcpy(&v, d, 8);
      value = v;
      break;
    }
    case ftDate:
    case ftTime:
    case ftDateTime: {
      double v;
      std::memcpy(&v, d, 8);
      value = TDateTime(v);
      break;
    }
    default:
      UdbDatabaseError(udberr::kInvalidFieldType, "TUdbDataSet.DataSetGetFieldDataFromRecBufAsVariant", FieldTypeName(f->DataType()));
  }
}

void TUdbDataSet::GetFieldStream(int fieldIndex, bool& isBlank, TStream* stream) {
  CheckOpen();
  const char* loc = "TUdbDataSet.GetFieldStream";
  if (fieldIndex < 0 || fieldIndex >= GetFieldCount())
    UdbDatabaseError(udberr::kInternal, loc, "Blob field can not be found " + IntToStr(fieldIndex));
  if (!IsBlobField(fieldIndex))
    UdbDatabaseError(udberr::kInternal, loc, "Unable to use this method to access non-blob fields");
  if (recordMgr_.Blobs().FindByField(fieldIndex) == nullptr)
    UdbDatabaseError(udberr::kInternal, loc, "Blob field can not be found " + IntToStr(fieldIndex));
  TAccessBracket bracket(*this, false);
  isBlank = !ReadBlobOfBuffer(recBuf_.data(), fieldIndex, stream);
}

// The buffer may have been read in an earlier bracket (a window buffer, a
// read-ahead batch): its blob reference may name a chain that another
// connection has since replaced, freed and given to another record.  So
// the record is read again at its address under the caller's bracket and
// its blob read through the reference it holds now: the record's blob as
// committed, never another's.  A record no longer there raises 8708.
// Pending values (the blob being edited) and blobs the buffer holds none
// of are read as the buffer says.
bool TUdbDataSet::ReadBlobOfBuffer(const std::uint8_t* buf, int fieldIndex, TStream* out) {
  const TInternalFieldItem* f = recordMgr_.Fields().GetField(fieldIndex);
  const TBlob* blob = recordMgr_.Blobs().FindByField(fieldIndex);
  const TUdbAddr address = TrailerAddress(buf, RecordSize());
  if (memory_ || address == 0 || blob == nullptr || blob->State() == bsModified || buf[f->NullFlagOffset()] != kFlagValue)
    return recordMgr_.ReadBlobField(buf, fieldIndex, out);
  std::vector<std::uint8_t> now(static_cast<size_t>(recBufSize_), 0);
  try {
    recordMgr_.ReadRecord(address, now.data(), false);
  } catch (const EUdbDatabaseError&) {
    now[udbrec::kInUse] = 0;  // not a record of this table any more
  }
  if (!udbrec::IsLiveRecordOf(now.data(), recordTag_) || !IsSameRecord(now.data(), buf))
    UdbDatabaseError(udberr::kRecordChanged, "TUdbDataSet.GetFieldStream");
  return recordMgr_.ReadBlobField(now.data(), fieldIndex, out);
}

void TUdbDataSet::DataSetSetFieldDataToRecBuf(int fieldIndex, int length, std::uint8_t* buf, const void* data,
                                              bool setNull) const {
  const char* loc = "TUdbDataSet.DataSetSetFieldDataToRecBuf";
  const TInternalFieldItem* f = const_cast<TUdbDataSet*>(this)->recordMgr_.Fields().GetField(fieldIndex);
  if (f->IsBlob()) UdbDatabaseError(udberr::kInternal, loc, "Unable to use this method to access blob fields");
  std::uint8_t* dest = buf + f->DataOffset();
  if (setNull) {
    buf[f->NullFlagOffset()] = kFlagNull;
    std::memset(dest, 0, static_cast<size_t>(f->FieldSize()));
    if (f->SizeMarkerOffset() > 0) udbfmt::PutU16(buf + f->SizeMarkerOffset(), 0);
    return;
  }
  const bool variable = f->IsVariable() || f->DataType() == ftString;
  if (length < 0) {
    PAYROLL_ASSERT(!variable, "Invalid data length in set field");
    length = f->FieldSize();
  }
  // The longest value a field holds: a string keeps one byte of its
  // FieldSize spare, so a longer value would break the record's layout.
  if (length > f->UserFieldSize()) UdbDatabaseError(udberr::kInternal, loc, "Field data length is out of range");
  if (variable) udbfmt::PutU16(buf + f->SizeMarkerOffset(), static_cast<std::uint16_t>(length));
  buf[f->NullFlagOffset()] = kFlagValue;
  if (length < f->FieldSize()) std::memset(dest, 0, static_cast<size_t>(f->FieldSize()));
  if (length > 0) std::memcpy(dest, data, static_cast<size_t>(length));
}

void TUdbDataSet::DataSetSetFieldData(int fieldIndex, int length, const void* data, bool setNull) {
  CheckOpen();
  const TInternalFieldItem* f = recordMgr_.Fields().GetField(fieldIndex);
  CheckPrivilegePresent(f->AccessMask(), FieldBit(*this));
  if (f->IsBlob())
    UdbDatabaseError(udberr::kInternal, "TUdbDataSet.DataSetSetFieldData", "Unable to use this method to access blob fields");
  DataSetSetFieldDataToRecBuf(fieldIndex, length, Rec(), data, setNull);
  recordState_ = 2;
}

void TUdbDataSet::DataSetSetFieldDataToRecBufAsVariant(std::uint8_t* buf, int fieldIndex, const Variant& value) const {
  const TInternalFieldItem* f = const_cast<TUdbDataSet*>(this)->recordMgr_.Fields().GetField(fieldIndex);
  if (value.IsNull() || value.IsEmpty()) {
    DataSetSetFieldDataToRecBuf(fieldIndex, 0, buf, nullptr, true);
    return;
  }
  std::uint8_t scratch[256] = {};
  int length = 0;
  AnsiString text;
  const void* data = scratch;
  switch (f->DataType()) {
    case ftString:
      text = value.AsString();
      data = text.data();
      length = static_cast<int>(text.size());
      break;
    case ftSmallint:
    case ftWord:
      udbfmt::PutU16(scratch, static_cast<std::uint16_t>(value.AsInteger()));
      length = 2;
      break;
    case ftInteger:
    case ftAutoInc:
      Put32(scratch, static_cast<std::uint32_t>(value.AsInteger()));
      length = 4;
      break;
    case ftBoolean:
      scratch[0] = value.AsInteger() != 0 ? 1 : 0;
      length = 1;
      break;
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftTime:
    case ftDateTime: {
      const double v = f->DataType() >= ftDate ? static_cast<double>(value.AsDateTime()) : value.AsDouble();
      std::memcpy(scratch, &v, 8);
      length = 8;
      break;
    }
    default:
      UdbDatabaseError(udberr::kInvalidFieldType, "TUdbDataSet.DataSetSetFieldDataToRecBufAsVariant", FieldTypeName(f->DataType()));
  }
  DataSetSetFieldDataToRecBuf(fieldIndex, length, buf, data, false);
}

void TUdbDataSet::DataSetSetFieldStreamFromRecBuf(std::uint8_t* buf, int fieldIndex, TStream* stream, bool setNull) {
  const char* loc = "TUdbDataSet.DataSetSetFieldStreamFromRecBuf";
  CheckOpen();
  const TInternalFieldItem* f = recordMgr_.Fields().GetField(fieldIndex);
  CheckPrivilegePresent(f->AccessMask(), FieldBit(*this));
  if (!f->IsBlob() || recordMgr_.Blobs().FindByField(fieldIndex) == nullptr)
    UdbDatabaseError(udberr::kNotABlob, loc, f->FieldName());
  recordMgr_.SetBlobField(buf, fieldIndex, setNull ? nullptr : stream);
  if (buf == recBuf_.data()) recordState_ = 2;
}

// Writes the changed blobs of the record buffer: new chains are listed in
// written (for an undo), the chains the record no longer references in
// replaced (freed by the caller once the change has succeeded).
void TUdbDataSet::WriteBlobs(bool clearAll, std::vector<TUdbAddr>& written, std::vector<TUdbAddr>& replaced) {
  TBlobMgr& blobs = recordMgr_.Blobs();
  for (int i = 0; i < blobs.Count(); ++i) {
    TBlob* blob = blobs.Items(i);
    if (clearAll) {
      blob->Stream().Clear();
      blob->SetState(bsModified);
    }
    if (blob->State() != bsModified) continue;
    TInternalFieldItem* f = recordMgr_.Fields().GetField(blob->FieldIndex());
    if (f == nullptr) UdbDatabaseError(udberr::kInternal, "TUdbDataSet.WriteBlobsToInterface", "Blob field not found");
    std::uint8_t* ref = Rec() + f->DataOffset();
    const TUdbAddr old = Rec()[f->NullFlagOffset()] == kFlagValue ? Get32(ref) : 0;
    blob->Stream().SetPosition(0);
    const auto size = static_cast<std::uint32_t>(blob->Stream().Size());
    TUdbAddr fresh = 0;
    if (size > 0) {
      fresh = blobInterface_.WriteStream(&blob->Stream());
      written.push_back(fresh);
    }
    if (old != 0) replaced.push_back(old);
    Put32(ref, fresh);
    Put32(ref + 4, fresh != 0 ? size : 0);
    Rec()[f->NullFlagOffset()] = fresh != 0 ? kFlagValue : kFlagNull;
  }
}

void TUdbDataSet::WriteBlobsToInterface(bool clearAll) {
  std::vector<TUdbAddr> written, replaced;
  WriteBlobs(clearAll, written, replaced);
  FreeChains(replaced, blobInterface_, tableName_);
  recordMgr_.Blobs().MarkAllNotLoaded();
}

// ============================================================================
// record changes
// ============================================================================

void TUdbDataSet::Step(const AnsiString& step) {
  if (OnChangeStepForTest) OnChangeStepForTest(step);
}

void TUdbDataSet::AfterChange(TUdbAddr keptAt, TUdbAddr updatedAt) {
  atRangeStart_ = atRangeEnd_ = false;
  if (updatedAt != 0 && storageListed_) {
    // An update leaves every record block where it was: a storage-order
    // walk goes on through its list and batch, the batch with the
    // record's new content.
    const auto at = std::lower_bound(storageBatch_.begin(), storageBatch_.end(), updatedAt);
    if (at != storageBatch_.end() && *at == updatedAt) {
      const size_t size = static_cast<size_t>(RecordSize());
      std::memcpy(storageRecords_.data() + static_cast<size_t>(at - storageBatch_.begin()) * size, Rec(), size);
    }
  } else {
    ForgetStorageWalk();
  }
  CheckRange();
  // The filter list is rebuilt at once: the header counter of our own
  // write does not make the next bracket rebuild it.
  if (FilterActive()) InternalPrepareFilter();
  if (keptAt != 0 && !FilterActive()) {
    // A walk that edits row after row goes on from the batch.
    if (TReadAheadBufferItem* item = readAhead_.ItemOfAddress(keptAt))
      std::memcpy(item->RecordBuffer, Rec(), static_cast<size_t>(RecordSize()));
    aheadCurrent_ = true;
  } else {
    readAhead_.Reset();
    aheadCurrent_ = false;
  }
  tableDef_->Header()->SetDirty(true);
}

void TUdbDataSet::AddRecord(bool assignAutoInc) {
  const char* loc = "TUdbDataSet.AddRecord";
  CheckOpen();
  CheckPrivilegePresent(tableDef_->AccessMask(), kPrivInsert);
  PAYROLL_ASSERT(!recBuf_.empty(), "Add record. RecBuf not assigned");
  std::vector<TUdbAddr> written, replaced;  // outlive the change's undos
  TRecordChange change(*this);
  TTableHeader* header = tableDef_->Header();
  std::uint8_t* rec = Rec();

  // Auto-increment: an explicit value above the counter raises it.
  const int autoInc = recordMgr_.Fields().AutoIncFieldIndex();
  std::uint32_t nextAutoInc = header->LastAutoInc() + 1;
  if (autoInc >= 0 && !autoIncSwitchedOff_) {
    TInternalFieldItem* f = recordMgr_.Fields().GetField(autoInc);
    if (assignAutoInc) {
      Put32(rec + f->DataOffset(), nextAutoInc);
      rec[f->NullFlagOffset()] = kFlagValue;
    } else {
      const auto v = static_cast<std::int32_t>(Get32(rec + f->DataOffset()));
      const bool has = rec[f->NullFlagOffset()] == kFlagValue;
      if (has && v >= static_cast<std::int32_t>(nextAutoInc))
        nextAutoInc = static_cast<std::uint32_t>(v);
      else
        --nextAutoInc;
    }
  }
  const std::uint32_t recordID = header->LastRecordID() + 1;
  Put32(rec + udbrec::kRecordID, recordID);
  Put32(rec + udbrec::kRecordTag, recordTag_);
  rec[udbrec::kInUse] = udbrec::kLiveMark;
  rec[udbrec::kReserved] = 0;
  for (int i = 0; i < recordMgr_.Fields().Count(); ++i) {
    std::uint8_t& flag = rec[recordMgr_.Fields().Items(i)->NullFlagOffset()];
    if (flag > kFlagValue) flag = kFlagNull;  // bound marks are no values
  }

  // Nothing is written before every key is known to be free.
  for (int i = 0; i < indexMgr_.Count(); ++i)
    if (FindKeyOf(*indexMgr_.Items(i), rec))
      UdbDatabaseErrorFmt(udberr::kKeyViolation, loc, "Index %s", nullptr, {indexMgr_.Items(i)->IndexName()});

  change.OnUndo([this, &written] { FreeChains(written, blobInterface_, tableName_); });
  WriteBlobs(false, written, replaced);
  Step("blobs");
  const TUdbAddr address = recordMgr_.AppendRecord(rec);
  PAYROLL_ASSERT(address != 0, "Add record. RecAddr = 0");
  change.OnUndo([this, address] { recordMgr_.DeleteRecord(address); });
  Step("record");

  const auto copy = std::make_shared<const std::vector<std::uint8_t>>(rec, rec + RecordSize());
  for (int i = 0; i < indexMgr_.Count(); ++i) {
    TIndexItem* index = indexMgr_.Items(i);
    try {
      index->SetSearchKeyFromRecord(rec);
      index->Insert(address);
    } catch (const EUdbDatabaseError& e) {
      PassOnFileFailure(e);
      UdbDatabaseErrorFmt(udberr::kInternal, loc, "Failed to add key to Index %s", nullptr, {index->IndexName() + " (" + e.Message() + ")"});
    }
    change.OnUndo([index, copy, address] {
      index->ResetNodes();
      if (FindKeyOf(*index, copy->data()) && index->CurrentRecordAddress() == address) index->Delete();
    });
    if (OnChangeStepForTest) Step("key " + index->IndexName());  // the name is built only for a watcher
  }
  if (autoInc >= 0 && !autoIncSwitchedOff_) header->SetLastAutoInc(nextAutoInc);
  header->SetLastRecordID(recordID);

  recordState_ = 1;
  currentCopy_.assign(rec, rec + RecordSize());
  RefreshDataSetIndex(address, true);  // each insert left its cursor on the new key
  AfterChange();
  // The replaced chains go last inside the change (nothing after them can
  // fail): freed after it, their runs and the header's blob free-list head
  // would be written outside the bracket and its page transaction, and the
  // next bracket would read the old head back - the chains lost for good.
  FreeChains(replaced, blobInterface_, tableName_, change.RestoresPages());
  change.Done();
  // The new blob values go only now: should the change fail before, they
  // stay in the record buffer for the retry to write again.
  recordMgr_.Blobs().MarkAllNotLoaded();
}

void TUdbDataSet::UpdateRecord() {
  const char* loc = "TUdbDataSet.UpdateRecord";
  CheckOpen();
  CheckPrivilegePresent(tableDef_->AccessMask(), kPrivUpdate);
  if (recordState_ == 0) UdbDatabaseError(udberr::kRecordNotFound, loc);
  lastUpdateKeptPlace_ = false;
  std::vector<TUdbAddr> written, replaced;  // outlive the change's undos
  std::vector<std::uint8_t> old(static_cast<size_t>(recBufSize_), 0);  // likewise
  TRecordChange change(*this);
  std::uint8_t* rec = Rec();
  // The record as the table holds it now.  When the current index's cursor
  // stands on (or steps to) the entry of the record being posted - the
  // edit put it there, and nothing, ours or another's, has moved that
  // entry since, or the nodes would have been dropped - that is the record
  // at its address; otherwise it is found by its key as it was read.
  TUdbAddr address = 0;
  const TUdbAddr posted = TrailerAddress(rec, RecordSize());
  TIndexItem* current = indexMgr_.CurrentIndex();
  if (!currentCopy_.empty() && StepCursorTo(*current, posted, TrailerRecNo(rec, RecordSize()))) {
    recordMgr_.ReadRecord(posted, old.data(), false);
    SetTrailer(old.data(), TrailerRecNo(rec, RecordSize()), posted);  // read for its bytes only
    address = posted;
  } else if (StorageOrderActive() && storageListed_ && !currentCopy_.empty() && AcceptRecordAt(posted)) {
    // A storage-order walk stands on the record by its address, where the
    // edit read it again under its lock: the live record there, compared
    // with the one read below.
    std::memcpy(old.data(), filterBuf_.data(), static_cast<size_t>(RecordSize()));
    SetTrailer(old.data(), TrailerRecNo(rec, RecordSize()), posted);
    address = posted;
  } else {
    address = ReadRecordByKey(kEqual, old.data());
  }
  if (address == 0 || !IsSameRecord(old.data(), rec)) UdbDatabaseError(udberr::kRecordChanged, loc);

  // Keys: unchanged ones stay; a changed one must be free.
  const int n = indexMgr_.Count();
  std::vector<bool> moved(static_cast<size_t>(n), false);
  std::vector<std::uint8_t> oldKey, newKey;
  for (int i = 0; i < n; ++i) {
    TIndexItem* index = indexMgr_.Items(i);
    const TKeyLayout& layout = index->Tree().Layout();
    const size_t keySize = static_cast<size_t>(layout.MaximumKeySize());
    oldKey.resize(keySize);
    newKey.resize(keySize);
    layout.BuildKey(old.data(), oldKey.data());
    layout.BuildKey(rec, newKey.data());
    moved[static_cast<size_t>(i)] = oldKey != newKey;
    if (moved[static_cast<size_t>(i)] && FindKeyOf(*index, rec) && index->CurrentRecordAddress() != address)
      UdbDatabaseErrorFmt(udberr::kKeyViolation, loc, "Index %s", nullptr, {index->IndexName()});
  }
  for (int i = 0; i < n; ++i)
    if (moved[static_cast<size_t>(i)] && !FindKeyOf(*indexMgr_.Items(i), old.data()))
      UdbDatabaseError(udberr::kInternal, loc,
                       "Key not found in Index - " + IntToStr(i) + ". Index " + indexMgr_.Items(i)->IndexName());

  Put32(rec + udbrec::kChangeCount, Get32(rec + udbrec::kChangeCount) + 1);
  change.OnUndo([this, &written] { FreeChains(written, blobInterface_, tableName_); });
  WriteBlobs(false, written, replaced);
  Step("blobs");
  recordMgr_.WriteRecord(address, rec);
  change.OnUndo([this, address, &old] { recordMgr_.WriteRecord(address, old.data()); });
  Step("record");

  for (int i = 0; i < n; ++i) {
    if (!moved[static_cast<size_t>(i)]) continue;
    TIndexItem* index = indexMgr_.Items(i);
    if (!FindKeyOf(*index, old.data()) || index->CurrentRecordAddress() != address)
      UdbDatabaseError(udberr::kInternal, loc, "Key not found in Index - " + IntToStr(i) + ". Index " + index->IndexName());
    try {
      index->Delete();
    } catch (const EUdbDatabaseError& e) {
      PassOnFileFailure(e);
      UdbDatabaseError(udberr::kInternal, loc,
                       "Failed to delete key from Index " + IntToStr(i) + ". Index " + index->IndexName());
    }
    change.OnUndo([index, old, address] {
      index->ResetNodes();
      index->SetSearchKeyFromRecord(old.data());
      index->Insert(address);
    });
    if (OnChangeStepForTest) Step("unkey " + index->IndexName());  // the name is built only for a watcher
  }
  for (int i = 0; i < n; ++i) {
    if (!moved[static_cast<size_t>(i)]) continue;
    TIndexItem* index = indexMgr_.Items(i);
    if (FindKeyOf(*index, rec))
      UdbDatabaseError(udberr::kInternal, loc,
                       "Unexpected key violation on update- Index " + IntToStr(i) + ". Index " + index->IndexName());
    try {
      index->SetSearchKeyFromRecord(rec);
      index->Insert(address);
    } catch (const EUdbDatabaseError& e) {
      PassOnFileFailure(e);
      UdbDatabaseError(udberr::kInternal, loc, "Failed to add key to index - Index " + IntToStr(i) + ". Index " + index->IndexName());
    }
    std::vector<std::uint8_t> copy(rec, rec + RecordSize());
    change.OnUndo([index, copy, address] {
      index->ResetNodes();
      if (FindKeyOf(*index, copy.data()) && index->CurrentRecordAddress() == address) index->Delete();
    });
    if (OnChangeStepForTest) Step("key " + index->IndexName());  // the name is built only for a watcher
  }
  currentCopy_.assign(rec, rec + RecordSize());
  recordState_ = 1;
  // The current index's cursor stands on the record: on the key found at
  // the start when it stayed, on the key inserted when it moved.  A
  // storage-order walk stands on the record by its address and keeps its
  // own record number (SetToRecord).
  if (!(StorageOrderActive() && storageListed_)) RefreshDataSetIndex(address, true);
  AfterChange(std::find(moved.begin(), moved.end(), true) == moved.end() ? address : 0, address);
  FreeChains(replaced, blobInterface_, tableName_, change.RestoresPages());  // last inside the change, as in AddRecord
  change.Done();
  recordMgr_.Blobs().MarkAllNotLoaded();  // as in AddRecord
  UnlockRecord(address);
  lastUpdateKeptPlace_ = std::find(moved.begin(), moved.end(), true) == moved.end();
}

int TUdbDataSet::DeleteRecord(const std::uint8_t* buf) {
  const char* loc = "TUdbDataSet.DeleteRecord";
  CheckOpen();
  CheckPrivilegePresent(tableDef_->AccessMask(), kPrivDelete);
  PAYROLL_ASSERT(!recBuf_.empty(), "Delete record. RecBuf not assigned");
  TRecordChange change(*this);
  const TUdbAddr address = TrailerAddress(recBuf_.data(), RecordSize());
  if (TableChanged() && address != 0 && AcceptRecordAt(address))
    std::memcpy(Rec(), filterBuf_.data(), static_cast<size_t>(RecordSize()));
  if (buf != nullptr && (address == 0 || !AcceptRecordAt(address) || !IsSameRecord(filterBuf_.data(), buf))) {
    change.Done();
    return -1;
  }
  // With a filter in force the cursor walks the filter's list, whose order
  // need not be the index's (inside a query it is the address order): the
  // record after the deleted one is its neighbour in that list.
  TUdbAddr filterNext = 0, filterPrior = 0;
  if (FilterActive()) {
    filterNext = filterMgr_->MoveBy(address, 1);
    filterPrior = filterMgr_->MoveBy(address, -1);
  }
  std::uint8_t* rec = Rec();
  for (int i = 0; i < indexMgr_.Count(); ++i) {
    TIndexItem* index = indexMgr_.Items(i);
    if (!FindKeyOf(*index, rec) || index->CurrentRecordAddress() != address)
      UdbDatabaseErrorFmt(udberr::kRecordChanged, loc, "Index %s", nullptr, {index->IndexName()});
  }
  // Keys first, the record and its blobs last: a failure on the way never
  // leaves a key pointing at a freed record.  The check above left every
  // index's cursor on the record's own entry, and deleting from one index
  // leaves the others' nodes alone, so each key is deleted where its cursor
  // stands, without searching for it again.
  const auto copy = std::make_shared<const std::vector<std::uint8_t>>(rec, rec + RecordSize());
  for (int i = 0; i < indexMgr_.Count(); ++i) {
    TIndexItem* index = indexMgr_.Items(i);
    if (!index->Tree().KeyValid() || index->CurrentRecordAddress() != address)
      UdbDatabaseErrorFmt(udberr::kRecordChanged, loc, "Index %s", nullptr, {index->IndexName()});
    try {
      index->DeleteAtCursor();
    } catch (const EUdbDatabaseError& e) {
      PassOnFileFailure(e);
      UdbDatabaseErrorFmt(udberr::kInternal, loc, "Failed to delete key from Index %s", nullptr, {index->IndexName()});
    }
    change.OnUndo([index, copy, address] {
      index->ResetNodes();
      index->SetSearchKeyFromRecord(copy->data());
      index->Insert(address);
    });
    if (OnChangeStepForTest) Step("unkey " + index->IndexName());  // the name is built only for a watcher
  }
  recordMgr_.DeleteRecordAndBlobs(address, change.RestoresPages());
  tableDef_->Header()->SetDirty(true);
  change.Done();  // the record is gone: what follows only positions

  recordState_ = 0;
  atRangeEnd_ = false;
  readAheadDirection_ = kAheadNone;
  readAhead_.Reset();
  currentCopy_.assign(rec, rec + RecordSize());
  Put32(rec + RecordSize() + kTrailerKeyMarks, 0);
  if (FilterActive()) {
    InternalPrepareFilter();
    const TUdbAddr at = filterNext != 0 && filterMgr_->Contains(filterNext)     ? filterNext
                        : filterPrior != 0 && filterMgr_->Contains(filterPrior) ? filterPrior
                                                                                : 0;
    if (at != 0) {
      ReadIntoRecBuf(at, true);
      SetTrailer(Rec(), filterMgr_->RecordNumberOf(at), at);
      recordState_ = 1;
    }
    return 0;
  }
  if (InternalFind(kGreaterOrEqual, indexName_) || InternalFind(kLessOrEqual, indexName_)) CheckRange();
  return 0;
}
