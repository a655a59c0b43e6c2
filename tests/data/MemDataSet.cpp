#include "MemDataSet.h"

#include <cstring>

#include "platform/core/Streams.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"

using namespace dbconsts;

namespace {

int NativeSize(TFieldType type, int size) {
  switch (type) {
    case ftString: return size + 1;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: case ftDate: case ftTime: return 4;
    case ftFloat: case ftCurrency: case ftDateTime: return 8;
    default: return 0;  // blobs live beside the buffer
  }
}

}  // namespace

// A blob stream over one field of the active buffer; writes go back when
// the stream is freed.
class TMemBlobStream : public TMemoryStream {
 public:
  TMemBlobStream(TMemDataSet* ds, TField* field, TBlobStreamMode mode)
      : ds_(ds), field_(field), mode_(mode) {
    if (mode != bmRead) {
      if (field->ReadOnly()) DatabaseErrorFmt(SFieldReadOnly, {field->DisplayName()}, ds);
      if (ds->State() != dsEdit && ds->State() != dsInsert) DatabaseError(SNotEditing, ds);
    }
    buffer_ = ds->RecordBufferFor(field);
    if (buffer_ != nullptr && mode != bmWrite) {
      const AnsiString& v = ds->blobs_[buffer_][ds->FieldIndexOf(field)];
      if (!v.empty()) WriteBuffer(v.data(), static_cast<int>(v.size()));
      SetPosition(0);
    }
  }
  ~TMemBlobStream() override {
    if (mode_ == bmRead || buffer_ == nullptr) return;
    int index = ds_->FieldIndexOf(field_);
    AnsiString v(static_cast<const char*>(Memory()), static_cast<size_t>(Size()));
    ds_->blobs_[buffer_][index] = v;
    buffer_[ds_->dataOffset_[static_cast<size_t>(index)]] = v.empty() ? 0 : 1;
    ds_->DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field_));
  }

 private:
  TMemDataSet* ds_;
  TField* field_;
  TBlobStreamMode mode_;
  TRecordBuffer buffer_ = nullptr;
};

PAYROLL_PUBLISH(TMemDataSet) {}

TMemDataSet::TMemDataSet(TComponent* owner) : TDataSet(owner) {}

TMemDataSet::~TMemDataSet() {
  Destroying();
  Close();
}

void TMemDataSet::AddColumn(const AnsiString& name, TFieldType type, int size) {
  CheckInactive();
  columns_.push_back({name, type, size});
}

TMemDataSet::Row TMemDataSet::MakeRow(const std::vector<Variant>& values) {
  Row row;
  row.id = nextId_++;
  int off = 0;
  for (const Column& c : columns_) off += 1 + NativeSize(c.type, c.size);
  row.data.assign(static_cast<size_t>(off), 0);
  off = 0;
  for (size_t i = 0; i < columns_.size(); ++i) {
    const Column& c = columns_[i];
    char* p = row.data.data() + off;
    off += 1 + NativeSize(c.type, c.size);
    if (i >= values.size() || values[i].IsNull() || values[i].IsEmpty()) continue;
    const Variant& v = values[i];
    p[0] = 1;
    switch (c.type) {
      case ftString: {
        AnsiString s = v.AsString();
        std::memcpy(p + 1, s.data(), std::min(s.size(), static_cast<size_t>(c.size)));
        break;
      }
      case ftSmallint: case ftWord: {
        auto w = static_cast<std::int16_t>(v.AsInteger());
        std::memcpy(p + 1, &w, 2);
        break;
      }
      case ftBoolean: {
        std::int16_t w = v.AsBoolean() ? -1 : 0;
        std::memcpy(p + 1, &w, 2);
        break;
      }
      case ftInteger: case ftAutoInc: {
        std::int32_t l = v.AsInteger();
        std::memcpy(p + 1, &l, 4);
        break;
      }
      case ftFloat: case ftCurrency: {
        double d = v.AsDouble();
        std::memcpy(p + 1, &d, 8);
        break;
      }
      case ftDate: {
        std::int32_t l = DateTimeToTimeStamp(v.AsDateTime()).Date;
        std::memcpy(p + 1, &l, 4);
        break;
      }
      case ftTime: {
        std::int32_t l = DateTimeToTimeStamp(v.AsDateTime()).Time;
        std::memcpy(p + 1, &l, 4);
        break;
      }
      case ftDateTime: {
        double ms = TimeStampToMSecs(DateTimeToTimeStamp(v.AsDateTime()));
        std::memcpy(p + 1, &ms, 8);
        break;
      }
      default:
        row.blobs[static_cast<int>(i)] = v.AsString();
        break;
    }
  }
  return row;
}

void TMemDataSet::AddRow(const std::vector<Variant>& values) { rows_.push_back(MakeRow(values)); }

void TMemDataSet::InsertRowAt(int index, const std::vector<Variant>& values) {
  rows_.insert(rows_.begin() + index, MakeRow(values));
  if (cursor_ >= index) ++cursor_;  // the cursor stays on its record
}

// --- buffers ---------------------------------------------------------------------

TRecordBuffer TMemDataSet::AllocRecordBuffer() {
  auto* b = new char[static_cast<size_t>(recordSize_)];
  std::memset(b, 0, static_cast<size_t>(recordSize_));
  return b;
}

void TMemDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
  blobs_.erase(buffer);
  delete[] buffer;
  buffer = nullptr;
}

void TMemDataSet::GetBookmarkData(TRecordBuffer buffer, void* data) {
  std::memcpy(data, buffer + infoOffset_, 4);
}

void TMemDataSet::SetBookmarkData(TRecordBuffer buffer, const void* data) {
  std::memcpy(buffer + infoOffset_, data, 4);
}

TBookmarkFlag TMemDataSet::GetBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(buffer[infoOffset_ + 4]);
}

void TMemDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) {
  buffer[infoOffset_ + 4] = static_cast<char>(value);
}

int TMemDataSet::IdOf(TRecordBuffer buffer) const {
  std::int32_t id;
  std::memcpy(&id, buffer + infoOffset_, 4);
  return id;
}

int TMemDataSet::RowIndexOfId(int id) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].id == id) return static_cast<int>(i);
  return -1;
}

void TMemDataSet::ClearCalcFields(TRecordBuffer buffer) {
  std::memset(buffer + calcOffset_, 0, static_cast<size_t>(CalcFieldsSize()));
}

void TMemDataSet::InternalInitRecord(TRecordBuffer buffer) {
  std::memset(buffer, 0, static_cast<size_t>(recordSize_));
  blobs_.erase(buffer);
}

// --- opening -------------------------------------------------------------------------

void TMemDataSet::InternalInitFieldDefs() {
  FieldDefs()->Clear();
  for (const Column& c : columns_) FieldDefs()->Add(c.name, c.type, c.size);
}

void TMemDataSet::InternalOpen() {
  InternalInitFieldDefs();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  dataOffset_.clear();
  int off = 0;
  for (const Column& c : columns_) {
    dataOffset_.push_back(off);
    off += 1 + NativeSize(c.type, c.size);
  }
  dataSize_ = off;
  calcOffset_ = dataSize_;
  infoOffset_ = calcOffset_ + CalcFieldsSize();
  recordSize_ = infoOffset_ + 5;
  SetBookmarkSize(4);
  filterBuffer_ = AllocRecordBuffer();
  cursor_ = -1;
  cursorOpen_ = true;
}

void TMemDataSet::InternalClose() {
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  if (filterBuffer_ != nullptr) FreeRecordBuffer(filterBuffer_);
  cursorOpen_ = false;
}

// --- reading -----------------------------------------------------------------------

bool TMemDataSet::Accepts(int rowIndex) {
  if (!Filtered() || !OnFilterRecord()) return true;
  const Row& row = rows_[static_cast<size_t>(rowIndex)];
  std::memset(filterBuffer_, 0, static_cast<size_t>(recordSize_));
  std::memcpy(filterBuffer_, row.data.data(), row.data.size());
  blobs_[filterBuffer_] = row.blobs;
  TTempStateGuard guard(this, dsFilter);
  bool accept = true;
  OnFilterRecord()(this, accept);
  return accept;
}

TGetResult TMemDataSet::GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) {
  ++GetRecordCalls;
  const int n = static_cast<int>(rows_.size());
  TGetResult result = grOK;
  switch (getMode) {
    case gmCurrent:
      if (cursor_ < 0 || cursor_ >= n || !Accepts(cursor_)) result = grError;
      break;
    case gmNext: {
      int i = cursor_ + 1;
      while (i < n && !Accepts(i)) ++i;
      if (i >= n) {
        cursor_ = n;
        result = grEOF;
      } else {
        cursor_ = i;
      }
      break;
    }
    case gmPrior: {
      int i = cursor_ - 1;
      if (i >= n) i = n - 1;
      while (i >= 0 && !Accepts(i)) --i;
      if (i < 0) {
        cursor_ = -1;
        result = grBOF;
      } else {
        cursor_ = i;
      }
      break;
    }
  }
  if (result == grOK) {
    const Row& row = rows_[static_cast<size_t>(cursor_)];
    std::memcpy(buffer, row.data.data(), row.data.size());
    blobs_[buffer] = row.blobs;
    std::int32_t id = row.id;
    std::memcpy(buffer + infoOffset_, &id, 4);
    SetBookmarkFlag(buffer, bfCurrent);
    GetCalcFields(buffer);
  } else if (result == grError && doCheck) {
    DatabaseError(SRecordNotFound, this);
  }
  return result;
}

TRecordBuffer TMemDataSet::RecordBufferFor(TField*) const {
  switch (State()) {
    case dsBrowse: return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit: case dsInsert: return ActiveBuffer();
    case dsCalcFields: return CalcBuffer();
    case dsFilter: return filterBuffer_;
    default: return nullptr;
  }
}

int TMemDataSet::FieldIndexOf(TField* field) const { return field->FieldNo() - 1; }

bool TMemDataSet::GetFieldData(TField* field, void* buffer) {
  TRecordBuffer rec = RecordBufferFor(field);
  if (rec == nullptr) return false;
  if (field->FieldNo() < 1) {  // calculated or lookup: flag byte + data
    const char* p = rec + calcOffset_ + field->Offset();
    if (p[0] == 0) return false;
    if (buffer != nullptr) std::memcpy(buffer, p + 1, static_cast<size_t>(field->DataSize()));
    return true;
  }
  int index = FieldIndexOf(field);
  const char* p = rec + dataOffset_[static_cast<size_t>(index)];
  if (field->IsBlob()) return p[0] != 0;
  if (p[0] == 0) return false;
  if (buffer != nullptr) std::memcpy(buffer, p + 1, static_cast<size_t>(field->DataSize()));
  return true;
}

void TMemDataSet::SetFieldData(TField* field, const void* buffer) {
  TDataSetState st = State();
  if (st != dsEdit && st != dsInsert && st != dsSetKey && st != dsCalcFields && st != dsFilter &&
      st != dsNewValue && st != dsInternalCalc)
    DatabaseError(SNotEditing, this);
  TRecordBuffer rec = RecordBufferFor(field);
  if (rec == nullptr) return;
  char* p;
  if (field->FieldNo() < 1) {
    p = rec + calcOffset_ + field->Offset();
  } else {
    if (st == dsCalcFields) DatabaseError(SNotEditing, this);
    field->Validate(buffer);
    p = rec + dataOffset_[static_cast<size_t>(FieldIndexOf(field))];
  }
  std::memset(p + 1, 0, static_cast<size_t>(field->DataSize()));
  p[0] = buffer != nullptr ? 1 : 0;
  if (buffer != nullptr) std::memcpy(p + 1, buffer, static_cast<size_t>(field->DataSize()));
  if (st != dsCalcFields) DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field));
}

TStream* TMemDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  return new TMemBlobStream(this, field, mode);
}

// --- positions and bookmarks ----------------------------------------------------------

void TMemDataSet::InternalGotoBookmark(void* bookmark) {
  std::int32_t id;
  std::memcpy(&id, bookmark, 4);
  int i = RowIndexOfId(id);
  if (i < 0) DatabaseError(SRecordNotFound, this);
  cursor_ = i;
}

void TMemDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  int i = RowIndexOfId(IdOf(buffer));
  if (i >= 0) cursor_ = i;
}

bool TMemDataSet::BookmarkValid(TBookmark bookmark) {
  if (bookmark == nullptr) return false;
  std::int32_t id;
  std::memcpy(&id, bookmark, 4);
  return RowIndexOfId(id) >= 0;
}

int TMemDataSet::CompareBookmarks(TBookmark a, TBookmark b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  std::int32_t ia, ib;
  std::memcpy(&ia, a, 4);
  std::memcpy(&ib, b, 4);
  int pa = RowIndexOfId(ia), pb = RowIndexOfId(ib);
  return pa < pb ? -1 : pa > pb ? 1 : 0;
}

int TMemDataSet::GetRecordCount() {
  CheckActive();
  int count = 0;
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
    if (Accepts(i)) ++count;
  return count;
}

int TMemDataSet::GetRecNo() {
  if (IsEmpty()) return 0;
  int index = RowIndexOfId(IdOf(ActiveBuffer()));
  int n = 0;
  for (int i = 0; i <= index; ++i)
    if (Accepts(i)) ++n;
  return n;
}

void TMemDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  int n = 0;
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
    if (Accepts(i) && ++n == value) {
      DoBeforeScroll();
      cursor_ = i;
      Resync(TResyncMode{rmCenter});
      DoAfterScroll();
      return;
    }
  }
}

// --- changes -----------------------------------------------------------------------

void TMemDataSet::StoreRow(Row& row, TRecordBuffer buffer) {
  row.data.assign(buffer, buffer + dataSize_);
  row.blobs = blobs_[buffer];
}

void TMemDataSet::InternalPost() {
  TRecordBuffer b = ActiveBuffer();
  if (State() == dsEdit) {
    int i = RowIndexOfId(IdOf(b));
    if (i < 0) DatabaseError(SRecordNotFound, this);
    StoreRow(rows_[static_cast<size_t>(i)], b);
    return;
  }
  InternalAddRecord(b, GetBookmarkFlag(b) == bfEOF);
}

void TMemDataSet::InternalAddRecord(TRecordBuffer buffer, bool append) {
  Row row;
  row.id = nextId_++;
  StoreRow(row, buffer);
  int at = append || cursor_ < 0 ? static_cast<int>(rows_.size()) : cursor_;
  if (!append && cursor_ < 0) at = 0;
  if (at > static_cast<int>(rows_.size())) at = static_cast<int>(rows_.size());
  rows_.insert(rows_.begin() + at, std::move(row));
  cursor_ = at;
  std::int32_t id = rows_[static_cast<size_t>(at)].id;
  std::memcpy(buffer + infoOffset_, &id, 4);
}

void TMemDataSet::InternalDelete() {
  int i = RowIndexOfId(IdOf(ActiveBuffer()));
  if (i < 0) DatabaseError(SRecordNotFound, this);
  rows_.erase(rows_.begin() + i);
  cursor_ = i;  // the record after the deleted one (or the end)
  if (cursor_ >= static_cast<int>(rows_.size())) cursor_ = static_cast<int>(rows_.size()) - 1;
}

// --- searching -----------------------------------------------------------------------

bool TMemDataSet::Locate(const AnsiString& keyFields, const Variant& keyValues,
                         TLocateOptions options) {
  DoBeforeScroll();
  bool found = LocateByScan(keyFields, keyValues, options, true);
  if (found) DoAfterScroll();
  return found;
}

Variant TMemDataSet::Lookup(const AnsiString& keyFields, const Variant& keyValues,
                            const AnsiString& resultFields) {
  Variant result = Variant::Null();
  LocateByScan(keyFields, keyValues, TLocateOptions(), false, &resultFields, &result);
  return result;
}

bool TMemDataSet::FindRecord(bool restart, bool goForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  UpdateCursorPos();
  CursorPosChanged();
  // The filter applies to the search even when Filtered is off.
  bool wasFiltered = Filtered();
  TDataSet::SetFiltered(true);
  TRecordBuffer spare = Buffers(RecordsInWindow());
  if (restart) {
    if (goForward)
      InternalFirst();
    else
      InternalLast();
  }
  bool found = false;
  try {
    found = GetRecord(spare, goForward ? gmNext : gmPrior, false) == grOK;
  } catch (...) {
    TDataSet::SetFiltered(wasFiltered);
    throw;
  }
  TDataSet::SetFiltered(wasFiltered);
  if (found) {
    Resync(TResyncMode{rmExact, rmCenter});
    DoAfterScroll();
  }
  return found;
}

void TMemDataSet::SetFiltered(bool value) {
  if (Active()) {
    CheckBrowseMode();
    TDataSet::SetFiltered(value);
    First();
  } else {
    TDataSet::SetFiltered(value);
  }
}
