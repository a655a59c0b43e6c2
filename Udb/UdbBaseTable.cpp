// TUdbBaseTable (see UdbBaseTable.h).
#include "Udb/UdbBaseTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Udb/RestructureDefs.h"
#include "Udb/UdbDataSetInt.h"
#include "Udb/UdbErrors.h"
#include "platform/core/AnsiText.h"
#include "platform/core/Streams.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"
#include "platform/data/Fields.h"

using namespace udbcur;

namespace {

constexpr const char* kVersion = "1.30.02";
// Date-times of 1 January 1 up to the end of 31 December 9999.
constexpr double kFirstStoredDate = -693593.0;
constexpr double kEndStoredDate = 2958466.0;

std::uint32_t LoadU32(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// The key values of a Locate or Lookup, one per key field.
std::vector<Variant> KeyValueList(const Variant& values, size_t count) {
  std::vector<Variant> out;
  if (count == 1 && !values.IsArray()) {
    out.push_back(values);
    return out;
  }
  if (!values.IsArray()) UdbDatabaseError(udberr::kInternal, "TUdbBaseTable.LocateRecord", "Key values must be an array");
  for (int i = values.ArrayLowBound(); i <= values.ArrayHighBound(); ++i) out.push_back(values[i]);
  if (out.size() < count) out.resize(count, Null());
  return out;
}

}  // namespace

// A memory stream over one blob field of the active record buffer.  What a
// write or read-write stream holds when it is freed becomes the field's
// value (an empty stream stores an empty blob).
class TUdbBlobStream : public TMemoryStream {
 public:
  TUdbBlobStream(TField* field, TBlobStreamMode mode) : field_(field), mode_(mode) {
    table_ = dynamic_cast<TUdbBaseTable*>(field->DataSet());
    PAYROLL_ASSERT(table_ != nullptr, "Mismatch in calling dataset type");
    buffer_ = table_->GetActiveRecBuf();
    if (buffer_ == nullptr) return;
    const int index = field->FieldNo() - 1;
    const bool fieldModified = table_->pendingBlobFields_.count(index) != 0;
    if (!fieldModified && mode != bmRead) {
      if (field->ReadOnly()) DatabaseErrorFmt(dbconsts::SFieldReadOnly, {field->DisplayName()}, table_);
      if (table_->State() != dsEdit && table_->State() != dsInsert) DatabaseError(dbconsts::SNotEditing, table_);
    }
    if (mode == bmRead || mode == bmReadWrite || fieldModified) {
      TAccessBracket bracket(*table_, false);
      table_->ReadBlobOfBuffer(buffer_, index, this);
    }
    if (mode == bmWrite) {
      Clear();
      modified_ = true;
    }
    SetPosition(0);
  }

  ~TUdbBlobStream() override {
    if (mode_ == bmRead || buffer_ == nullptr || !modified_) return;
    try {
      SetPosition(0);
      const int index = field_->FieldNo() - 1;
      table_->DataSetSetFieldStreamFromRecBuf(buffer_, index, this, false);
      table_->pendingBlobFields_.insert(index);
      table_->DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field_));
    } catch (const std::exception&) {
      // A destructor cannot report; the edit simply keeps the old value.
    }
  }

  int Write(const void* buffer, int count) override {
    modified_ = true;
    return TMemoryStream::Write(buffer, count);
  }

 private:
  TUdbBaseTable* table_ = nullptr;
  TField* field_;
  TBlobStreamMode mode_;
  std::uint8_t* buffer_ = nullptr;
  bool modified_ = false;
};

PAYROLL_PUBLISH(TUdbBaseTable) {}

TUdbBaseTable::TUdbBaseTable(TComponent* owner)
    : TUdbDataSet(owner), indexDefs_(std::make_unique<TIndexDefs>(this)) {
  SetOnRecordFilter([this](const std::uint8_t* record) { return AcceptsRecord(record); });
}

TUdbBaseTable::~TUdbBaseTable() {
  Destroying();
  try {
    Close();
  } catch (const std::exception&) {
  }
}

void TUdbBaseTable::SetIndexDefs(TIndexDefs* value) {
  indexDefs_->Clear();
  if (value == nullptr) return;
  for (int i = 0; i < value->Count(); ++i) indexDefs_->AddIndexDef()->Assign(value->Items(i));
}

bool TUdbBaseTable::CreateTable() {
  const char* loc = "TUdbTable.CreateTable";
  CheckInactive();
  if (DataBase() == nullptr) UdbDatabaseError(udberr::kNoConnection, loc);
  CheckConnected();
  if (EncryptionLevel() != encNone && !DataBase()->Encrypted())
    UdbDatabaseError(udberr::kWrongTableType, loc, "This database does not use/support encryption");
  if (Memory() && EncryptionLevel() != encNone) UdbDatabaseError(udberr::kNotForMemory, loc);
  SetTableDef(FieldDefs(), indexDefs_.get());
  PrepareCreateTable();
  return true;
}

void TUdbBaseTable::LockTable(bool lock) {
  CheckActive();
  if (lock == tableLocked_) return;
  if (lock)
    BeginWrite();
  else
    EndAccess();
  tableLocked_ = lock;
}

// ============================================================================
// buffers and bookmarks
// ============================================================================

TRecordBuffer TUdbBaseTable::AllocRecordBuffer() {
  auto* b = new char[static_cast<size_t>(bufferSize_)];
  std::memset(b, 0, static_cast<size_t>(bufferSize_));
  return b;
}

void TUdbBaseTable::FreeRecordBuffer(TRecordBuffer& buffer) {
  delete[] buffer;
  buffer = nullptr;
}

void TUdbBaseTable::ClearCalcFields(TRecordBuffer buffer) {
  std::memset(buffer + calcOffset_, 0, static_cast<size_t>(CalcFieldsSize()));
}

void TUdbBaseTable::GetBookmarkData(TRecordBuffer buffer, void* data) {
  CheckActive();
  GetBookmark(reinterpret_cast<const std::uint8_t*>(buffer), static_cast<std::uint8_t*>(data));
}

void TUdbBaseTable::SetBookmarkData(TRecordBuffer buffer, const void* data) {
  SetBookmark(reinterpret_cast<std::uint8_t*>(buffer), static_cast<const std::uint8_t*>(data));
}

TBookmarkFlag TUdbBaseTable::GetBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(Info(buffer)[kBookmarkFlagByte]);
}

void TUdbBaseTable::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) {
  Info(buffer)[kBookmarkFlagByte] = static_cast<std::uint8_t>(value);
}

bool TUdbBaseTable::BookmarkValid(TBookmark bookmark) {
  CheckActive();
  if (bookmark == nullptr) return false;
  return BookmarkIsValid(reinterpret_cast<const std::uint8_t*>(bookmark));
}

// Ordered by record address, then record id: a consistent order, so lists
// of bookmarks can be kept sorted and searched.
int TUdbBaseTable::CompareBookmarks(TBookmark a, TBookmark b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  for (int part = 0; part < 2; ++part) {
    const std::uint32_t x = LoadU32(a + 4 * part), y = LoadU32(b + 4 * part);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

void TUdbBaseTable::InternalGotoBookmark(void* bookmark) {
  if (!SetToBookmark(static_cast<const std::uint8_t*>(bookmark)))
    UdbDatabaseError(udberr::kBookmarkInvalid, "TUdbBaseTable.InternalGotoBookmark");
  // The cursor stands on the bookmarked record now, whichever end a walk
  // had stepped off before: the resync reads this record.
  position_ = 1;
}

bool TUdbBaseTable::GetCurrentRecord(TRecordBuffer buffer) {
  if (IsEmpty()) return false;
  std::memcpy(buffer, ActiveBuffer(), static_cast<size_t>(bufferSize_));
  return true;
}

// ============================================================================
// counts and positions
// ============================================================================

int TUdbBaseTable::GetRecordSize() {
  CheckActive();
  return recSize_;
}

int TUdbBaseTable::GetRecordCount() {
  CheckActive();
  return TUdbDataSet::GetRecordCount();
}

int TUdbBaseTable::GetRecNo() {
  if (!Active() || IsEmpty()) return 0;
  TRecordBuffer b = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  if (b == nullptr) return 0;
  return TUdbDataSet::GetRecNo(reinterpret_cast<const std::uint8_t*>(b));
}

void TUdbBaseTable::SetRecNo(int value) {
  CheckBrowseMode();
  if (DataSetSetRecNo(value) < 0) return;
  DoBeforeScroll();
  position_ = 1;
  TResyncMode mode;
  mode << rmExact << rmCenter;
  Resync(mode);
  DoAfterScroll();
}

// The cursor's Resync reads its window ahead and then switches reading
// ahead off; a disk table keeps it on for walking, so that a step costs a
// lock and a header read only once per read-ahead block.
void TUdbBaseTable::Resync(TResyncMode mode) {
  const bool ahead = ReadAheadActive();
  const int size = ReadAheadSize();
  struct TRestore {
    TUdbBaseTable& t;
    bool on;
    int size;
    ~TRestore() {
      t.SetReadAheadActive(on);
      t.SetReadAheadSize(size);
    }
  } restore{*this, ahead, size};
  // A window of one record that RecBuf holds (the re-read after a post
  // that kept its place): nothing is read from the table, so no bracket
  // is taken for it.  Should the re-read move after all, every move takes
  // its own.
  if (position_ == 1 && RecordState() != 0 && BufferCount() <= 1 && !masterRefreshPending_ &&
      !mode.Contains(rmExact)) {
    TDataSet::Resync(mode);
    return;
  }
  TUdbDataSet::Resync(mode);
}

void TUdbBaseTable::InternalFirst() { position_ = 2; }
void TUdbBaseTable::InternalLast() { position_ = 3; }
bool TUdbBaseTable::IsCursorOpen() { return cursorIsOpen_; }

void TUdbBaseTable::InternalRefresh() {
  // A move cut short (a lock time-out) can leave RecBuf without a record.
  if (RecordState() != 0 && TrailerAddress(RecBuf(), RecordSize()) != 0) SetToRecBuf(RecBuf(), true, false);
}

void TUdbBaseTable::InternalSetToRecord(TRecordBuffer buffer) {
  const auto* b = reinterpret_cast<const std::uint8_t*>(buffer);
  const TUdbAddr address = TrailerAddress(b, RecordSize());
  if (address == 0) return;
  // Walking the window asks for the record the cursor already stands on
  // for every step; moves search from the key in RecBuf, so it is enough
  // that RecBuf holds that record (an edit reads it afresh anyway).
  // Either way the cursor stands on that record afterwards, not at the end
  // a walk may have stepped off: the next step reads its neighbour.
  if (RecordState() != 1 || TrailerAddress(RecBuf(), RecordSize()) != address)
    SetToRecBuf(b, State() == dsBrowse, false);
  position_ = 1;
}

bool TUdbBaseTable::GetCanModify() {
  return cursorIsOpen_ && !ReadOnly() && !IsReadOnlyByPrivilege();
}

std::uint8_t* TUdbBaseTable::GetActiveRecBuf() {
  auto cast = [](TRecordBuffer b) { return reinterpret_cast<std::uint8_t*>(b); };
  switch (State()) {
    case dsBrowse:
      return IsEmpty() ? nullptr : cast(ActiveBuffer());
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      return cast(ActiveBuffer());
    case dsSetKey:
      if (keyMode_ == kKeyModeKey) return keyBuf_.data();
      if (keyMode_ == kKeyModeRange) return GetRangeBuffer(rangeSide_);
      UdbDatabaseError(udberr::kInternal, "TUdbBaseTable.GetActiveRecBuf",
                       "State error - no KeyMode set for SetKey state");
    case dsCalcFields:
      return cast(CalcBuffer());
    case dsFilter:
      return filterBuf_.data();
    default:
      return nullptr;
  }
}

// ============================================================================
// open and close
// ============================================================================

void TUdbBaseTable::InternalOpen() {
  const char* loc = "TUdbBaseTable.InternalOpen";
  if (DataBase() == nullptr) UdbDatabaseError(udberr::kNoConnection, loc);
  opened_ = true;
  try {
    DataSetOpen();
    cursorIsOpen_ = true;
    position_ = 2;
    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    ApplyFieldPrivileges();
    SetBookmarkSize(kBookmarkSize);
    recSize_ = GetRecBufSize();
    calcOffset_ = recSize_ + 1;
    infoOffset_ = calcOffset_ + CalcFieldsSize();
    bufferSize_ = infoOffset_ + 16;
    filterBuf_.assign(static_cast<size_t>(bufferSize_), 0);
    keyBuf_.assign(static_cast<size_t>(bufferSize_), 0);
    spareBuf_.assign(static_cast<size_t>(bufferSize_), 0);
    masterRefreshPending_ = true;
    pendingBlobFields_.clear();
    UpdateIndexDefs();
    if (Filtered()) RebuildEngineFilter();
  } catch (...) {
    if (cursorIsOpen_) CloseDataSet();
    cursorIsOpen_ = opened_ = false;
    throw;
  }
}

void TUdbBaseTable::InternalClose() {
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  if (cursorIsOpen_ && !IsEmpty() && ActiveBuffer() != nullptr) {
    try {
      const TUdbAddr a = TrailerAddress(reinterpret_cast<const std::uint8_t*>(ActiveBuffer()), RecordSize());
      if (a != 0) UnlockRecord(a);
    } catch (const std::exception&) {
    }
  }
  if (tableLocked_) {
    tableLocked_ = false;
    try {
      EndAccess();
    } catch (const std::exception&) {
    }
  }
  CloseDataSet();
  cursorIsOpen_ = opened_ = false;
  filterBuf_.clear();
  keyBuf_.clear();
  spareBuf_.clear();
  keyMode_ = kKeyModeNone;
  pendingBlobFields_.clear();
}

void TUdbBaseTable::InternalInitFieldDefs() {
  if (DataBase() == nullptr) return;
  const bool wasOpen = CursorOpen();
  const bool wasReadOnly = ReadOnly();
  if (!wasOpen) {
    SetReadOnly(true);
    try {
      DataSetOpen();
    } catch (...) {
      SetReadOnly(wasReadOnly);
      throw;
    }
  }
  FieldDefs()->Clear();
  for (int i = 0; i < GetFieldCount(); ++i) InitFieldDef(i, FieldDefs()->AddFieldDef());
  if (!wasOpen) {
    CloseDataSet();
    SetReadOnly(wasReadOnly);
  }
}

void TUdbBaseTable::UpdateIndexDefs() {
  indexDefs_->Clear();
  if (!CursorOpen()) return;
  const int count = IndexMgr().Count();
  for (int i = 0; i < count; ++i) {
    if (IndexMgr().Items(i)->Hidden()) continue;
    GetIndexDef(i, indexDefs_->AddIndexDef());
  }
  indexDefs_->SetUpdated(true);
}

void TUdbBaseTable::InternalHandleException() {
  // The application's handler shows errors; here they reach the caller.
}

// ============================================================================
// reading records
// ============================================================================

TGetResult TUdbBaseTable::GetRecord(TRecordBuffer buffer, TGetMode getMode, bool) {
  if (masterRefreshPending_) {
    masterRefreshPending_ = false;
    if (Filtered()) RebuildEngineFilter();
    ApplyMasterRange();
  }
  TGetResult result = grOK;
  switch (getMode) {
    case gmCurrent:
      if (position_ == 1) {
        if (RecordState() == 0) result = grError;
      } else if (position_ == 2) {
        if (!GotoFirst()) result = grError;
      } else if (position_ == 3) {
        if (!GotoLast()) result = grError;
      } else if (RecordState() == 0 || !InternalFindInRange(kEqual, IndexName())) {
        result = grError;
      }
      break;
    case gmNext:
      if (!(position_ == 2 ? GotoFirst() : GotoNext())) result = grEOF;
      break;
    case gmPrior:
      if (!(position_ == 3 ? GotoLast() : GotoPrior())) result = grBOF;
      break;
    default:
      result = grError;
  }
  position_ = 0;
  if (result == grOK) {
    GetRecBuf(reinterpret_cast<std::uint8_t*>(buffer));
    GetCalcFields(buffer);
    Info(buffer)[kBufferStateByte] = 0;
    SetBookmarkFlag(buffer, bfCurrent);
  } else if (getMode != gmCurrent) {
    // Stepping off an end leaves the cursor at that end.
    position_ = getMode == gmNext ? 3 : 2;
  }
  return result;
}

// ============================================================================
// the edit cycle
// ============================================================================

void TUdbBaseTable::DropPendingBlobs() {
  pendingBlobFields_.clear();
  RecordMgr().Blobs().MarkAllNotLoaded();
}

void TUdbBaseTable::InternalEdit() {
  auto* b = reinterpret_cast<std::uint8_t*>(ActiveBuffer());
  if (Info(ActiveBuffer())[kBufferStateByte] != 0)
    UdbDatabaseError(udberr::kInternal, "TUdbBaseTable.GetActiveRecBuf",
                     "Internal State error - RecBuf not available for editing");
  // Re-read: another user may have changed the record since it was shown;
  // a record deleted meanwhile refuses the edit.
  if (!SetToRecBuf(b, true, false) || TrailerAddress(RecBuf(), RecordSize()) != TrailerAddress(b, RecordSize()))
    UdbDatabaseError(udberr::kRecordChanged, "TUdbBaseTable.InternalEdit");
  GetRecBuf(b);
  DropPendingBlobs();
  LockRecord(TrailerAddress(b, RecordSize()));
  Info(ActiveBuffer())[kBufferStateByte] = 1;
}

void TUdbBaseTable::InternalInsert() {
  DropPendingBlobs();
  Info(ActiveBuffer())[kBufferStateByte] = 2;
  CursorPosChanged();
}

void TUdbBaseTable::InternalCancel() {
  if (!IsEmpty() && State() == dsEdit) {
    const TUdbAddr a = TrailerAddress(reinterpret_cast<const std::uint8_t*>(ActiveBuffer()), RecordSize());
    if (a != 0) UnlockRecord(a);
  }
  DropPendingBlobs();
  Info(ActiveBuffer())[kBufferStateByte] = 0;
}

void TUdbBaseTable::InternalPost() {
  auto* b = reinterpret_cast<std::uint8_t*>(ActiveBuffer());
  const bool editing = State() == dsEdit;
  const TUdbAddr address = TrailerAddress(b, RecordSize());
  SetRecBuf(b);
  // The engine's change takes the write bracket itself and, outside a
  // transaction, runs in a page transaction of its own (all or nothing):
  // an outer bracket here would turn that off.
  if (editing) {
    UpdateRecord();
    // No key moved and no filter may hide the record now: the cursor
    // stands on it and RecBuf holds it, so the window's re-read after the
    // post takes it from there instead of searching its key again.
    if (LastUpdateKeptPlace() && !FilterActive() && !Filtered()) position_ = 1;
  } else {
    AddRecord(true);
  }
  if (editing && address != 0) UnlockRecord(address);
  pendingBlobFields_.clear();
  GetRecBuf(b);
  Info(ActiveBuffer())[kBufferStateByte] = 0;
}

void TUdbBaseTable::PostAndAppendNext() {
  if (State() != dsInsert) DatabaseError(dbconsts::SNotEditing, this);
  CheckOperation([this] { InternalPost(); }, OnPostError);
  TRecordBuffer b = ActiveBuffer();
  InitRecord(b);
  SetBookmarkFlag(b, bfEOF);
  InternalInsert();
}

void TUdbBaseTable::InternalAddRecord(TRecordBuffer buffer, bool) {
  SetRecBuf(reinterpret_cast<const std::uint8_t*>(buffer));
  AddRecord(true);
}

void TUdbBaseTable::InternalDelete() {
  auto* b = reinterpret_cast<std::uint8_t*>(ActiveBuffer());
  if (DeleteRecord(b) != 0) UdbDatabaseError(udberr::kRecordChanged, "TUdbBaseTable.InternalDelete");
  Info(ActiveBuffer())[kBufferStateByte] = 3;
}

void TUdbBaseTable::InternalInitRecord(TRecordBuffer buffer) {
  TTempStateGuard guard(this, dsFilter);
  InitRecBuf(filterBuf_.data());
  std::memset(filterBuf_.data() + recSize_, 0, static_cast<size_t>(bufferSize_ - recSize_));
  if (buffer != reinterpret_cast<TRecordBuffer>(filterBuf_.data())) {
    for (int i = 0; i < Fields()->Count(); ++i) {
      TField* f = Fields()->Fields(i);
      if (f->FieldNo() >= 1 && !f->ReadOnly() && !f->DefaultExpression().empty()) f->SetAsString(f->DefaultExpression());
    }
  }
  std::memcpy(buffer, filterBuf_.data(), static_cast<size_t>(bufferSize_));
}

// ============================================================================
// field data
// ============================================================================

bool TUdbBaseTable::GetFieldData(TField* field, void* buffer) {
  std::uint8_t* rec = GetActiveRecBuf();
  if (rec == nullptr) return false;
  if (field->FieldNo() < 1) {
    const std::uint8_t* calc = rec + calcOffset_ + field->Offset();
    const bool has = calc[0] != 0;
    if (buffer != nullptr && has) std::memcpy(buffer, calc + 1, static_cast<size_t>(field->DataSize()));
    return has;
  }
  const int index = field->FieldNo() - 1;
  if (field->IsBlob()) {
    if (pendingBlobFields_.count(index) != 0 && (State() == dsEdit || State() == dsInsert)) {
      TMemoryStream probe;
      TAccessBracket bracket(*this, false);
      return RecordMgr().ReadBlobField(rec, index, &probe);
    }
    return !IsFieldNull(rec, index);
  }
  if (buffer != nullptr) std::memset(buffer, 0, static_cast<size_t>(field->DataSize()));
  if (IsFieldNull(rec, index)) return false;
  if (buffer == nullptr) return true;
  switch (field->DataType()) {
    case ftFloat:
    case ftCurrency:
    case ftInteger:
    case ftSmallint:
    case ftWord:
    case ftAutoInc: {
      // A number's native form is its stored bytes: no staging copy.
      const TInternalFieldItem* f = GetFields().GetField(index);
      if (!f->IsBlob() && !f->IsVariable() && f->DataType() != ftString && f->FieldSize() >= field->DataSize()) {
        std::memcpy(buffer, rec + f->DataOffset(), static_cast<size_t>(field->DataSize()));
        return true;
      }
      break;
    }
    default:
      break;
  }
  std::uint8_t raw[300] = {};
  std::vector<std::uint8_t> big;
  std::uint8_t* dest = raw;
  if (field->DataSize() + 8 > static_cast<int>(sizeof raw)) {
    big.assign(static_cast<size_t>(field->DataSize() + 8), 0);
    dest = big.data();
  }
  bool blank = false;
  DataSetGetFieldDataFromRecBuf(index, blank, dest, rec);
  switch (field->DataType()) {
    case ftDate:
    case ftTime:
    case ftDateTime: {
      // A stored date is a date-time of the years 1 to 9999.  Anything else
      // is a damaged record: said so here, in the engine's words, instead
      // of failing later where the value is converted or formatted.
      double stored;
      std::memcpy(&stored, dest, sizeof stored);
      if (!(stored >= kFirstStoredDate && stored < kEndStoredDate))
        UdbDatabaseError(udberr::kCorrupt, "TUdbBaseTable.GetFieldData",
                         "Date out of range in field " + field->FieldName(), this);
      TDataSet::DataConvert(field, dest, buffer, true);
      break;
    }
    case ftBoolean: {
      const std::int16_t v = dest[0] != 0 ? -1 : 0;
      std::memcpy(buffer, &v, sizeof v);
      break;
    }
    case ftString: {
      const int length = std::min(InternalGetFieldLength(index, rec), field->DataSize() - 1);
      std::memcpy(buffer, dest, static_cast<size_t>(std::max(length, 0)));
      break;
    }
    default:
      std::memcpy(buffer, dest, static_cast<size_t>(field->DataSize()));
  }
  return true;
}

void TUdbBaseTable::SetFieldData(TField* field, const void* buffer) {
  const TDataSetState state = State();
  const bool writable = state == dsEdit || state == dsInsert || state == dsSetKey || state == dsCalcFields ||
                        state == dsFilter || state == dsNewValue || state == dsInternalCalc;
  if (!writable) DatabaseError(dbconsts::SNotEditing, this);
  std::uint8_t* rec = GetActiveRecBuf();
  if (rec == nullptr) DatabaseError(dbconsts::SNotEditing, this);
  if (field->FieldNo() < 1) {
    std::uint8_t* calc = rec + calcOffset_ + field->Offset();
    calc[0] = buffer != nullptr ? 1 : 0;
    if (buffer != nullptr) std::memcpy(calc + 1, buffer, static_cast<size_t>(field->DataSize()));
  } else {
    if (state == dsCalcFields) DatabaseError(dbconsts::SNotEditing, this);
    field->Validate(buffer);
    const int index = field->FieldNo() - 1;
    if (buffer == nullptr) {
      DataSetSetFieldDataToRecBuf(index, 0, rec, nullptr, true);
    } else {
      std::uint8_t raw[16] = {};
      const void* data = buffer;
      int length = -1;
      switch (field->DataType()) {
        case ftString: {
          const char* s = static_cast<const char*>(buffer);
          length = static_cast<int>(strnlen(s, static_cast<size_t>(field->DataSize())));
          break;
        }
        case ftDate:
        case ftTime:
        case ftDateTime: {
          if (field->DataType() == ftDateTime) {
            double ms;
            std::memcpy(&ms, buffer, sizeof ms);
            ms = std::round(ms);
            std::memcpy(raw + 8, &ms, sizeof ms);
            TDataSet::DataConvert(field, raw + 8, raw, false);
          } else {
            TDataSet::DataConvert(field, buffer, raw, false);
          }
          data = raw;
          length = 8;
          break;
        }
        case ftBoolean: {
          std::int16_t v;
          std::memcpy(&v, buffer, sizeof v);
          raw[0] = v != 0 ? 1 : 0;
          data = raw;
          break;
        }
        default:
          break;
      }
      DataSetSetFieldDataToRecBuf(index, length, rec, data, false);
    }
  }
  if (state != dsCalcFields) DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field));
}

void TUdbBaseTable::DataConvert(TField* field, const void* source, void* dest, bool toNative) {
  TDataSet::DataConvert(field, source, dest, toNative);
}

TStream* TUdbBaseTable::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  return new TUdbBlobStream(field, mode);
}

// ============================================================================
// searching
// ============================================================================

bool TUdbBaseTable::LocateRecord(const AnsiString& keyFields, const Variant& keyValues, TLocateOptions options,
                                 bool syncCursor) {
  const char* loc = "TUdbBaseTable.LocateRecord";
  CheckBrowseMode();
  CursorPosChanged();
  std::vector<TField*> fields;
  GetFieldList(fields, keyFields);
  for (TField* f : fields)
    if (f->FieldNo() < 1) UdbDatabaseError(udberr::kInvalidFieldType, loc, f->FieldName());
  const std::vector<Variant> values = KeyValueList(keyValues, fields.size());

  // The index whose leading fields match most key fields, in order.
  AnsiString best;
  int bestCount = 0;
  for (int i = 0; i < indexDefs_->Count(); ++i) {
    const TIndexDef* def = indexDefs_->Items(i);
    const std::vector<AnsiString> indexFields = SplitFieldList(def->Fields());
    const std::vector<AnsiString> caseIns = SplitFieldList(def->CaseInsFields());
    int count = 0;
    for (size_t k = 0; k < fields.size() && k < indexFields.size(); ++k) {
      if (!AnsiSameText(indexFields[k], fields[k]->FieldName())) break;
      const bool text = fields[k]->DataType() == ftString || fields[k]->DataType() == ftWideString;
      if (text && options.Contains(loCaseInsensitive) && !def->Options().Contains(ixCaseInsensitive) &&
          std::none_of(caseIns.begin(), caseIns.end(),
                       [&](const AnsiString& n) { return AnsiSameText(n, fields[k]->FieldName()); }))
        break;
      ++count;
    }
    const bool exact = count == static_cast<int>(fields.size()) && indexFields.size() == fields.size();
    if (count > bestCount || (count > 0 && count == bestCount && exact)) {
      best = def->Name();
      bestCount = count;
    }
  }
  const bool useNamed = bestCount > 0;

  // A text longer than its field matches no stored value, prefix or not:
  // written into the search record it would be cut to the field's size and
  // then find the values it was cut to ("adminx" finding "admin").
  for (size_t k = 0; k < fields.size(); ++k) {
    const TFieldType type = fields[k]->DataType();
    if ((type == ftString || type == ftFixedChar || type == ftWideString) && !values[k].IsNull() &&
        !values[k].IsEmpty() && static_cast<int>(values[k].AsString().size()) > fields[k]->Size())
      return false;
  }

  TDataSetState saved = SetTempState(dsFilter);
  bool found = false;
  try {
    InitSearchRecord(filterBuf_.data(), false);
    for (size_t k = 0; k < fields.size(); ++k) {
      if (values[k].IsNull() || values[k].IsEmpty())
        fields[k]->Clear();
      else
        fields[k]->SetAsVariant(values[k]);
    }
    std::vector<AnsiString> names;
    for (TField* f : fields) names.push_back(f->FieldName());
    int engineOptions = 0;
    if (options.Contains(loCaseInsensitive)) engineOptions |= 1;
    if (options.Contains(loPartialKey)) engineOptions |= 2;
    std::vector<std::uint8_t> search(filterBuf_.begin(), filterBuf_.begin() + recSize_);
    found = DoLocate(useNamed ? best : IndexName(), search.data(), syncCursor, useNamed, engineOptions, names,
                     syncCursor ? nullptr : filterBuf_.data());
  } catch (...) {
    RestoreState(saved);
    throw;
  }
  RestoreState(saved);
  return found;
}

bool TUdbBaseTable::Locate(const AnsiString& keyFields, const Variant& keyValues, TLocateOptions options) {
  DoBeforeScroll();
  const bool found = LocateRecord(keyFields, keyValues, options, true);
  if (found) {
    position_ = 1;
    TResyncMode mode;
    mode << rmExact << rmCenter;
    Resync(mode);
    DoAfterScroll();
  }
  return found;
}

Variant TUdbBaseTable::Lookup(const AnsiString& keyFields, const Variant& keyValues, const AnsiString& resultFields) {
  Variant result = Null();
  if (!LocateRecord(keyFields, keyValues, TLocateOptions(), false)) return result;
  TDataSetState saved = SetTempState(dsFilter);
  try {
    // Calculated fields of the found record are worked out in the filter
    // buffer, which the calculation state also reads here.
    std::vector<TField*> fields;
    GetFieldList(fields, resultFields);
    if (fields.size() == 1) {
      result = fields[0]->AsVariant();
    } else {
      std::vector<Variant> items;
      for (TField* f : fields) items.push_back(f->AsVariant());
      result = VarArrayOf(items);
    }
  } catch (...) {
    RestoreState(saved);
    throw;
  }
  RestoreState(saved);
  return result;
}

bool TUdbBaseTable::FindRecord(bool restart, bool goForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  UpdateCursorPos();
  CursorPosChanged();
  const bool switchOn = !Filtered();
  if (switchOn) RebuildEngineFilter();
  bool found = false;
  try {
    if (goForward)
      found = restart ? GotoFirst() : GotoNext();
    else
      found = restart ? GotoLast() : GotoPrior();
  } catch (...) {
    if (switchOn) ActivateFilter(AnsiString(), TFilterOptions(), false);
    throw;
  }
  if (switchOn) ActivateFilter(AnsiString(), TFilterOptions(), false);
  if (found) {
    position_ = 1;
    TResyncMode mode;
    mode << rmExact << rmCenter;
    Resync(mode);
    DoAfterScroll();
  }
  return found;
}

// ============================================================================
// filters
// ============================================================================

void TUdbBaseTable::RebuildEngineFilter() {
  ActivateFilter(Filter(), FilterOptions(), static_cast<bool>(OnFilterRecord()));
}

bool TUdbBaseTable::AcceptsRecord(const std::uint8_t* record) {
  if (!OnFilterRecord()) return true;
  TDataSetState saved = SetTempState(dsFilter);
  bool accept = true;
  try {
    std::memset(filterBuf_.data(), 0, filterBuf_.size());
    std::memcpy(filterBuf_.data(), record, static_cast<size_t>(RecordSize()));
    OnFilterRecord()(this, accept);
  } catch (...) {
    RestoreState(saved);
    throw;
  }
  RestoreState(saved);
  return accept;
}

void TUdbBaseTable::SetFiltered(bool value) {
  if (!Active()) {
    TDataSet::SetFiltered(value);
    return;
  }
  CheckBrowseMode();
  if (value)
    ActivateFilter(Filter(), FilterOptions(), static_cast<bool>(OnFilterRecord()));
  else
    ActivateFilter(AnsiString(), TFilterOptions(), false);
  TDataSet::SetFiltered(value);
  First();
}

void TUdbBaseTable::SetFilterOptions(const TFilterOptions& value) {
  if (Active() && Filtered()) {
    CheckBrowseMode();
    if (!(value == FilterOptions())) {
      TDataSet::SetFilterOptions(value);
      RebuildEngineFilter();
      First();
      return;
    }
  }
  TDataSet::SetFilterOptions(value);
}

void TUdbBaseTable::SetFilterText(const AnsiString& value) {
  if (Active() && Filtered()) {
    CheckBrowseMode();
    if (value != Filter()) {
      TDataSet::SetFilterText(value);
      RebuildEngineFilter();
      First();
      return;
    }
  }
  TDataSet::SetFilterText(value);
}

void TUdbBaseTable::SetOnFilterRecord(const TFilterRecordEvent& value) {
  if (!Active()) {
    TDataSet::SetOnFilterRecord(value);
    return;
  }
  CheckBrowseMode();
  TDataSet::SetOnFilterRecord(value);
  if (Filtered()) {
    RebuildEngineFilter();
    First();
  }
}
