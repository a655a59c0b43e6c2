#include "platform/data/Dataset.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "platform/core/AnsiText.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"
#include "platform/data/DataSource.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"

using namespace dbconsts;

TDataSet::TDataSet(TComponent* owner)
    : TComponent(owner),
      fields_(std::make_unique<TFields>(this)),
      fieldDefs_(std::make_unique<TFieldDefs>(this)) {}

TDataSet::~TDataSet() {
  // Descendants close themselves in their own destructors: the record
  // operations are gone by the time this runs.
  assert(buffers_.empty() && "a dataset must Close() in its own destructor");
  Destroying();
  while (!dataSources_.empty()) dataSources_.back()->SetDataSet(nullptr);
  // Every field, persistent ones included, goes with its dataset; a field
  // owned by a form takes itself out of the form's list as it goes.
  fields_->Clear();
}

// ---------------------------------------------------------------------------
// Opening and closing

void TDataSet::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  for (int i = 0; i < fields_->Count(); ++i) {
    TField* f = fields_->Fields(i);
    if (f->Owner() == root) proc(f);
  }
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (streamedActive_) {
    streamedActive_ = false;
    SetActive(true);
  }
}

void TDataSet::SetActive(bool value) {
  if (ComponentState().Contains(csLoading) || ComponentState().Contains(csReading)) {
    streamedActive_ = value;
    return;
  }
  if (Active() == value) return;
  if (value) {
    DoBeforeOpen();
    try {
      OpenCursor();
    } catch (...) {
      // Leave nothing half open: buffers, the cursor, default fields.
      bool defaults = defaultFields_;
      bool cursorOpen = IsCursorOpen();
      CloseCursor();
      if (!cursorOpen && defaults) DestroyFields();
      state_ = dsInactive;
      throw;
    }
    SetState(dsBrowse);
    DoAfterOpen();
    if (!IsEmpty()) DoAfterScroll();
  } else {
    // A pending edit is posted (when modified), not dropped: a row written
    // and left in edit state must survive the table being closed.  From a
    // destructor (csDestroying) a failure cannot be reported; the edit is
    // then abandoned.
    if (state_ == dsEdit || state_ == dsInsert || state_ == dsSetKey) {
      if (ComponentState().Contains(csDestroying)) {
        try {
          CheckBrowseMode();
        } catch (...) {
        }
      } else {
        CheckBrowseMode();
      }
    }
    if (!ComponentState().Contains(csDestroying)) DoBeforeClose();
    SetState(dsInactive);
    CloseCursor();
    if (!ComponentState().Contains(csDestroying)) DoAfterClose();
  }
}

void TDataSet::OpenCursor() {
  state_ = dsOpening;
  defaultFields_ = fields_->Count() == 0;
  InternalOpen();
  internalOpenComplete_ = true;
  UpdateBufferCount();
  bof_ = true;
}

void TDataSet::CloseCursor() {
  blockReadSize_ = 0;
  internalOpenComplete_ = false;
  ClearBuffers();
  SetBufListSize(0);
  if (IsCursorOpen()) InternalClose();
  bufferCount_ = 0;
  defaultFields_ = false;
  calcBuffer_ = nullptr;
}

void TDataSet::CheckActive() const {
  if (state_ == dsInactive) DatabaseError(SDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
  if (state_ != dsInactive && state_ != dsOpening) DatabaseError(SDataSetOpen, this);
}

// ---------------------------------------------------------------------------
// States

void TDataSet::SetState(TDataSetState value) {
  if (state_ == value) return;
  state_ = value;
  modified_ = false;
  DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
  TDataSetState saved = state_;
  state_ = value;
  ++disableCount_;
  modified_ = false;
  return saved;
}

void TDataSet::RestoreState(TDataSetState value) {
  state_ = value;
  --disableCount_;
  modified_ = false;
}

void TDataSet::DisableControls() {
  if (disableCount_ == 0) {
    disableState_ = state_;
    enableEvent_ = deDataSetChange;
  }
  ++disableCount_;
}

void TDataSet::EnableControls() {
  if (disableCount_ == 0) return;
  if (--disableCount_ != 0) return;
  if (disableState_ != state_) DataEvent(deUpdateState, 0);
  if (disableState_ != dsInactive && state_ != dsInactive) DataEvent(enableEvent_, 0);
}

// ---------------------------------------------------------------------------
// Notifications

void TDataSet::DataEvent(TDataEvent event, std::intptr_t info) {
  switch (event) {
    case deFieldChange: {
      auto* field = reinterpret_cast<TField*>(info);
      if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) modified_ = true;
      if (state_ != dsSetKey) {
        if (calcFieldsSize_ != 0 && autoCalcFields_ && field->FieldKind() == fkData &&
            recordCount_ > 0)
          CalculateFields(ActiveBuffer());
        field->Change();
      }
      break;
    }
    case dePropertyChange:
      fieldDefs_->SetUpdated(false);
      break;
    default:
      break;
  }
  if (ControlsDisabled() || state_ == dsBlockRead) {
    // Remember the strongest notification for EnableControls.
    if ((event == deUpdateState && state_ == dsInactive) || event == deLayoutChange)
      enableEvent_ = deLayoutChange;
    return;
  }
  if (dataSources_.empty()) return;
  // A source may go away while notified (a form closing); walk a copy.
  std::vector<TDataSource*> sources = dataSources_;
  for (TDataSource* s : sources)
    if (std::find(dataSources_.begin(), dataSources_.end(), s) != dataSources_.end())
      s->DataEvent(event, info);
}

bool TDataSet::IsLinkedTo(TDataSource* source) {
  // Bounded walk: a circle elsewhere in the chain must not hang us.
  for (int guard = 0; source != nullptr && guard < 1000; ++guard) {
    TDataSet* ds = source->DataSet();
    if (ds == nullptr) return false;
    if (ds == this) return true;
    source = ds->GetDataSource();
  }
  return false;
}

void TDataSet::AddDataSource(TDataSource* source) {
  dataSources_.push_back(source);
  source->dataSet_ = this;
  UpdateBufferCount();
  source->UpdateState();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  source->dataSet_ = nullptr;
  dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), source),
                     dataSources_.end());
  source->UpdateState();
  UpdateBufferCount();
}

// ---------------------------------------------------------------------------
// The buffer window

TRecordBuffer TDataSet::Buffers(int index) const {
  assert(index >= 0 && index < static_cast<int>(buffers_.size()));
  return buffers_[static_cast<size_t>(index)];
}

TRecordBuffer TDataSet::ActiveBuffer() const {
  if (buffers_.empty()) return nullptr;
  return buffers_[static_cast<size_t>(activeRecord_)];
}

void TDataSet::CheckWindow() const {
  assert(recordCount_ >= 0 && recordCount_ <= bufferCount_);                     // W1
  assert(recordCount_ == 0 || (activeRecord_ >= 0 && activeRecord_ < recordCount_));  // W2
  assert(currentRecord_ == -1 || (currentRecord_ >= 0 && currentRecord_ < recordCount_));  // W3
}

void TDataSet::SetBufListSize(int value) {
  int old = static_cast<int>(buffers_.size());
  if (old == value) return;
  if (value < old) {
    for (int i = value; i < old; ++i) FreeRecordBuffer(buffers_[static_cast<size_t>(i)]);
    buffers_.resize(static_cast<size_t>(value));
    return;
  }
  buffers_.reserve(static_cast<size_t>(value));
  try {
    while (static_cast<int>(buffers_.size()) < value) buffers_.push_back(AllocRecordBuffer());
  } catch (...) {
    while (static_cast<int>(buffers_.size()) > old) {
      FreeRecordBuffer(buffers_.back());
      buffers_.pop_back();
    }
    throw;
  }
}

void TDataSet::SetBufferCount(int value) {
  if (bufferCount_ == value) return;
  if (bufferCount_ > value && recordCount_ > 0) {
    // Keep the records the links look at: start the smaller window at the
    // lowest first record of an active link (or at the active record).
    int delta = activeRecord_;
    for (TDataSource* s : dataSources_)
      for (TDataLink* l : s->dataLinks_)
        if (l->active_ && l->firstRecord_ < delta) delta = l->firstRecord_;
    for (int i = 0; i < value; ++i) MoveBuffer(i + delta, i);
    activeRecord_ -= delta;
    if (currentRecord_ != -1) currentRecord_ -= delta;
    if (recordCount_ > value) recordCount_ = value;
    // The cursor's record may have left the window: reposition on demand.
    if (currentRecord_ < 0 || currentRecord_ >= recordCount_) currentRecord_ = -1;
    for (TDataSource* s : dataSources_)
      for (TDataLink* l : s->dataLinks_)
        if (l->active_) l->firstRecord_ -= delta;
  }
  SetBufListSize(value + 1);
  bufferCount_ = value;
  GetNextRecords();
  int prior = GetPriorRecords();
  if (prior != 0)
    for (TDataSource* s : dataSources_)
      for (TDataLink* l : s->dataLinks_)
        if (l->active_) l->firstRecord_ += prior;
  CheckWindow();
}

void TDataSet::UpdateBufferCount() {
  // No virtual calls once the descendant part is gone.
  if (ComponentState().Contains(csDestroying) || !IsCursorOpen()) return;
  int maxCount = 1;
  for (TDataSource* s : dataSources_)
    for (TDataLink* l : s->dataLinks_)
      if (l->bufferCount_ > maxCount) maxCount = l->bufferCount_;
  SetBufferCount(maxCount);
}


void TDataSet::MoveBuffer(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  TRecordBuffer b = buffers_[static_cast<size_t>(curIndex)];
  if (curIndex < newIndex) {
    for (int i = curIndex; i < newIndex; ++i)
      buffers_[static_cast<size_t>(i)] = buffers_[static_cast<size_t>(i + 1)];
  } else {
    for (int i = curIndex; i > newIndex; --i)
      buffers_[static_cast<size_t>(i)] = buffers_[static_cast<size_t>(i - 1)];
  }
  buffers_[static_cast<size_t>(newIndex)] = b;
}

void TDataSet::ActivateBuffers() {
  recordCount_ = 1;
  activeRecord_ = 0;
  bof_ = false;
  eof_ = false;
}

void TDataSet::ClearBuffers() {
  recordCount_ = 0;
  activeRecord_ = 0;
  currentRecord_ = -1;
  bof_ = true;
  eof_ = true;
}

void TDataSet::SetCurrentRecord(int index) {
  if (currentRecord_ == index) return;
  TRecordBuffer b = buffers_[static_cast<size_t>(index)];
  switch (GetBookmarkFlag(b)) {
    case bfCurrent:
    case bfInserted:
      InternalSetToRecord(b);
      break;
    case bfBOF:
      InternalFirst();
      break;
    case bfEOF:
      InternalLast();
      break;
  }
  currentRecord_ = index;
}

void TDataSet::UpdateCursorPos() {
  if (recordCount_ > 0) SetCurrentRecord(activeRecord_);
}

bool TDataSet::GetNextRecord() {
  TGetMode mode = gmNext;
  if (recordCount_ > 0) {
    SetCurrentRecord(recordCount_ - 1);
    // A new record inserted at the window's end: the cursor still stands
    // on the record after it, which is the next one.
    if (state_ == dsInsert && currentRecord_ == activeRecord_ &&
        GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
      mode = gmCurrent;
  }
  bool ok = GetRecord(buffers_[static_cast<size_t>(recordCount_)], mode, true) == grOK;
  if (ok) {
    if (recordCount_ == 0) {
      ActivateBuffers();
    } else if (recordCount_ < bufferCount_) {
      ++recordCount_;
    } else {
      MoveBuffer(0, recordCount_);
    }
    currentRecord_ = recordCount_ - 1;
  } else {
    CursorPosChanged();
  }
  return ok;
}

bool TDataSet::GetPriorRecord() {
  if (recordCount_ > 0) SetCurrentRecord(0);
  bool ok = GetRecord(buffers_[static_cast<size_t>(recordCount_)], gmPrior, true) == grOK;
  if (ok) {
    if (recordCount_ == 0) {
      ActivateBuffers();
    } else {
      MoveBuffer(recordCount_, 0);
      if (recordCount_ < bufferCount_) {
        ++recordCount_;
        ++activeRecord_;
      }
    }
    currentRecord_ = 0;
  } else {
    CursorPosChanged();
  }
  return ok;
}

int TDataSet::GetNextRecords() {
  int n = 0;
  while (recordCount_ < bufferCount_ && GetNextRecord()) ++n;
  return n;
}

int TDataSet::GetPriorRecords() {
  int n = 0;
  while (recordCount_ < bufferCount_ && GetPriorRecord()) ++n;
  return n;
}

void TDataSet::Resync(TResyncMode mode) {
  if (buffers_.empty()) return;  // closed: no window to re-read
  TRecordBuffer spare = buffers_[static_cast<size_t>(recordCount_)];
  if (mode.Contains(rmExact)) {
    CursorPosChanged();
    if (GetRecord(spare, gmCurrent, true) != grOK) DatabaseError(SRecordNotFound, this);
  } else if (GetRecord(spare, gmCurrent, false) != grOK &&
             GetRecord(spare, gmNext, false) != grOK &&
             GetRecord(spare, gmPrior, false) != grOK) {
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    return;
  }
  int count = mode.Contains(rmCenter) ? (bufferCount_ - 1) / 2 : activeRecord_;
  MoveBuffer(recordCount_, 0);
  ActivateBuffers();
  try {
    while (count > 0 && GetPriorRecord()) --count;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    DataEvent(deDataSetChange, 0);
    throw;
  }
  CheckWindow();
  DataEvent(deDataSetChange, 0);
}

// ---------------------------------------------------------------------------
// Navigation

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
  } catch (...) {
    bof_ = true;
    DataEvent(deDataSetChange, 0);
    throw;
  }
  bof_ = true;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  } catch (...) {
    eof_ = true;
    DataEvent(deDataSetChange, 0);
    throw;
  }
  eof_ = true;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  int result = 0;
  DoBeforeScroll();
  if (!((distance > 0 && !eof_) || (distance < 0 && !bof_))) return 0;
  bof_ = false;
  eof_ = false;
  int oldRecordCount = recordCount_;
  int scrollCount = 0;
  auto finish = [&] {
    if (recordCount_ != oldRecordCount)
      DataEvent(deDataSetChange, 0);
    else
      DataEvent(deDataSetScroll, scrollCount);
  };
  try {
    while (distance > 0) {
      if (activeRecord_ < recordCount_ - 1) {
        ++activeRecord_;
      } else {
        int shift = recordCount_ < bufferCount_ ? 0 : 1;
        if (GetNextRecord()) {
          scrollCount -= shift;
          if (activeRecord_ < recordCount_ - 1) ++activeRecord_;
        } else {
          eof_ = true;
          break;
        }
      }
      --distance;
      ++result;
    }
    while (distance < 0) {
      if (activeRecord_ > 0) {
        --activeRecord_;
      } else {
        int shift = recordCount_ < bufferCount_ ? 0 : 1;
        if (GetPriorRecord()) {
          scrollCount += shift;
          if (activeRecord_ > 0) --activeRecord_;
        } else {
          bof_ = true;
          break;
        }
      }
      ++distance;
      --result;
    }
  } catch (...) {
    finish();
    throw;
  }
  CheckWindow();
  finish();
  DoAfterScroll();
  return result;
}

void TDataSet::Next() {
  if (blockReadSize_ > 0)
    BlockReadNext();
  else
    MoveBy(1);
}

void TDataSet::SetBlockReadSize(int value) {
  if (value > 0) {
    CheckActive();
    SetState(dsBlockRead);
  } else if (state_ == dsBlockRead) {
    blockReadSize_ = value;
    SetState(dsBrowse);
    DataEvent(deDataSetChange, 0);  // the links missed every move meanwhile
    return;
  }
  blockReadSize_ = value;
}

void TDataSet::CheckRequiredFields() {
  for (int i = 0; i < fields_->Count(); ++i) {
    TField* f = fields_->Fields(i);
    if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData && f->IsNull()) {
      f->FocusControl();
      DatabaseErrorFmt(SFieldRequired, {f->DisplayName()}, this);
    }
  }
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  DoBeforeRefresh();
  UpdateCursorPos();
  InternalRefresh();
  Resync(TResyncMode());
  DoAfterRefresh();
}

// ---------------------------------------------------------------------------
// Editing

void TDataSet::CheckCanModify() {
  if (!GetCanModify()) DatabaseError(SDataSetReadOnly, this);
}

void TDataSet::CheckOperation(const std::function<void()>& operation,
                              const TDataSetErrorEvent& onError) {
  for (;;) {
    try {
      UpdateCursorPos();
      operation();
      return;
    } catch (EDatabaseError& e) {
      TDataAction action = daFail;
      if (onError) onError(this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
    }
  }
}

void TDataSet::InitRecord(TRecordBuffer buffer) {
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::Edit() {
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (recordCount_ == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeEdit();
  CheckOperation([this] { InternalEdit(); }, OnEditError);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  DoAfterEdit();
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    UpdateCursorPos();
    SetState(dsBrowse);
    Resync(TResyncMode());
    throw;
  }
  modified_ = false;
  DataEvent(deDataSetChange, 0);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Insert() {
  BeginInsertAppend();
  TBookmarkStr oldCurrent = Bookmark();
  MoveBuffer(recordCount_, activeRecord_);
  TRecordBuffer b = ActiveBuffer();
  InitRecord(b);
  if (recordCount_ == 0)
    SetBookmarkFlag(b, bfBOF);
  else
    SetBookmarkData(b, oldCurrent.data());
  if (recordCount_ < bufferCount_) ++recordCount_;
  // The buffers behind the active one moved one place down.
  if (currentRecord_ >= activeRecord_) currentRecord_ = -1;
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  TRecordBuffer b = buffers_[0];
  InitRecord(b);
  SetBookmarkFlag(b, bfEOF);
  recordCount_ = 1;
  bof_ = false;
  GetPriorRecords();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::UpdateRecord() {
  if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey)
    DatabaseError(SNotEditing, this);
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::Post() {
  UpdateRecord();
  if (state_ != dsEdit && state_ != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforePost();
  CheckOperation([this] { InternalPost(); }, OnPostError);
  SetState(dsBrowse);
  Resync(TResyncMode());
  DoAfterPost();
}

void TDataSet::Cancel() {
  if (state_ != dsEdit && state_ != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeCancel();
  bool scrollEvents = state_ == dsInsert;
  if (scrollEvents) DoBeforeScroll();
  UpdateCursorPos();
  InternalCancel();
  SetState(dsBrowse);
  Resync(TResyncMode());
  DoAfterCancel();
  if (scrollEvents) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert || state_ == dsSetKey) {
    Cancel();
    return;
  }
  if (recordCount_ == 0) DatabaseError(SDataSetEmpty, this);
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeDelete();
  DoBeforeScroll();
  CheckOperation([this] { InternalDelete(); }, OnDeleteError);
  SetState(dsBrowse);
  Resync(TResyncMode());
  DoAfterDelete();
  DoAfterScroll();
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  switch (state_) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (modified_)
        Post();
      else
        Cancel();
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

static void SetFieldsFromValues(TDataSet* ds, const std::vector<Variant>& values) {
  int n = std::min(static_cast<int>(values.size()), ds->Fields()->Count());
  for (int i = 0; i < n; ++i) {
    TField* f = ds->Fields()->Fields(i);
    if (f->CanModify() && !values[static_cast<size_t>(i)].IsEmpty())
      f->AssignValue(values[static_cast<size_t>(i)]);
  }
}

void TDataSet::AppendRecord(const std::vector<Variant>& values) {
  Append();
  SetFieldsFromValues(this, values);
  Post();
}

void TDataSet::InsertRecord(const std::vector<Variant>& values) {
  Insert();
  SetFieldsFromValues(this, values);
  Post();
}

// ---------------------------------------------------------------------------
// Bookmarks

bool TDataSet::BookmarkAvailable() {
  return (state_ == dsBrowse || state_ == dsEdit || state_ == dsInsert) && !IsEmpty() &&
         GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmark TDataSet::GetBookmark() {
  if (!BookmarkAvailable() || bookmarkSize_ <= 0) return nullptr;
  TBookmark b = new char[static_cast<size_t>(bookmarkSize_)];
  GetBookmarkData(ActiveBuffer(), b);
  return b;
}

void TDataSet::FreeBookmark(TBookmark bookmark) { delete[] bookmark; }

void TDataSet::GotoBookmark(TBookmark bookmark) {
  if (bookmark == nullptr) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(bookmark);
  Resync(TResyncMode{rmExact, rmCenter});
  DoAfterScroll();
}

TBookmarkStr TDataSet::Bookmark() {
  if (!BookmarkAvailable() || bookmarkSize_ <= 0) return TBookmarkStr();
  TBookmarkStr s(static_cast<size_t>(bookmarkSize_), '\0');
  GetBookmarkData(ActiveBuffer(), s.data());
  return s;
}

void TDataSet::SetBookmark(const TBookmarkStr& value) {
  if (value.empty()) return;
  // Bytes from a caller: a string of the wrong length is no bookmark.
  if (static_cast<int>(value.size()) != bookmarkSize_) DatabaseError(SBookmarkNotValid, this);
  std::vector<char> copy(value.begin(), value.end());
  GotoBookmark(copy.data());
}

bool TDataSet::BookmarkValid(TBookmark) { return false; }

int TDataSet::CompareBookmarks(TBookmark, TBookmark) { return 0; }

// ---------------------------------------------------------------------------
// Defaults of the optional record operations

bool TDataSet::GetFieldData(TField*, void*) { return false; }

TStream* TDataSet::CreateBlobStream(TField*, TBlobStreamMode) { return nullptr; }

bool TDataSet::GetCurrentRecord(TRecordBuffer) { return false; }

bool TDataSet::Locate(const AnsiString&, const Variant&, TLocateOptions) { return false; }

Variant TDataSet::Lookup(const AnsiString&, const Variant&, const AnsiString&) {
  return Variant::Null();
}

bool TDataSet::FindRecord(bool, bool) { return false; }

void TDataSet::DataConvert(TField* field, const void* source, void* dest, bool toNative) {
  switch (field->DataType()) {
    case ftDate:
    case ftTime:
    case ftDateTime: {
      if (toNative) {
        double dt;
        std::memcpy(&dt, source, sizeof dt);
        TTimeStamp ts = DateTimeToTimeStamp(dt);
        if (field->DataType() == ftDate) {
          std::int32_t v = ts.Date;
          std::memcpy(dest, &v, sizeof v);
        } else if (field->DataType() == ftTime) {
          std::int32_t v = ts.Time;
          std::memcpy(dest, &v, sizeof v);
        } else {
          double ms = TimeStampToMSecs(ts);
          std::memcpy(dest, &ms, sizeof ms);
        }
      } else {
        TTimeStamp ts;
        if (field->DataType() == ftDateTime) {
          double ms;
          std::memcpy(&ms, source, sizeof ms);
          ts = MSecsToTimeStamp(ms);
        } else {
          std::int32_t v;
          std::memcpy(&v, source, sizeof v);
          if (field->DataType() == ftDate) {
            ts.Date = v;
            ts.Time = 0;
          } else {
            ts.Date = kDateDelta;
            ts.Time = v;
          }
        }
        double dt = TimeStampToDateTime(ts);
        std::memcpy(dest, &dt, sizeof dt);
      }
      break;
    }
    default:
      std::memcpy(dest, source, static_cast<size_t>(field->DataSize()));
      break;
  }
}

// ---------------------------------------------------------------------------
// Fields

int TDataSet::FieldCount() const { return fields_->Count(); }

TField* TDataSet::FindField(const AnsiString& fieldName) const {
  return fields_->FindField(fieldName);
}

TField* TDataSet::FieldByName(const AnsiString& fieldName) const {
  TField* f = fields_->FindField(fieldName);
  if (f == nullptr) DatabaseErrorFmt(SFieldNotFound, {fieldName}, this);
  return f;
}

TField* TDataSet::FieldByNumber(int fieldNo) const { return fields_->FieldByNumber(fieldNo); }

void TDataSet::GetFieldList(std::vector<TField*>& list, const AnsiString& fieldNames) const {
  for (const AnsiString& name : SplitFieldNames(fieldNames)) list.push_back(FieldByName(name));
}

void TDataSet::GetFieldNames(std::vector<AnsiString>& names) const {
  fields_->GetFieldNames(names);
}

Variant TDataSet::FieldValues(const AnsiString& fieldNames) const {
  if (fieldNames.find(';') == std::string::npos) return FieldByName(fieldNames)->Value();
  std::vector<TField*> list;
  GetFieldList(list, fieldNames);
  std::vector<Variant> values;
  for (TField* f : list) values.push_back(f->Value());
  return VarArrayOf(values);
}

void TDataSet::SetFieldValues(const AnsiString& fieldNames, const Variant& value) {
  if (fieldNames.find(';') == std::string::npos) {
    FieldByName(fieldNames)->SetValue(value);
    return;
  }
  std::vector<TField*> list;
  GetFieldList(list, fieldNames);
  if (!value.IsArray() || VarArrayHighBound(value) - VarArrayLowBound(value) + 1 !=
                              static_cast<int>(list.size()))
    DatabaseError(SInvalidParamData, this);
  for (size_t i = 0; i < list.size(); ++i)
    list[i]->SetValue(value[VarArrayLowBound(value) + static_cast<int>(i)]);
}

void TDataSet::ClearFields() {
  if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey)
    DatabaseError(SNotEditing, this);
  DataEvent(deCheckBrowseMode, 0);
  TRecordBuffer b = ActiveBuffer();
  InternalInitRecord(b);
  if (state_ != dsSetKey) GetCalcFields(b);
  DataEvent(deRecordChange, 0);
}

void TDataSet::InitFieldDefs() {
  if (IsCursorOpen())
    InternalInitFieldDefs();
  else
    fieldDefs_->Update();
}

void TDataSet::CreateFields() {
  for (int i = 0; i < fieldDefs_->Count(); ++i) {
    TFieldDef* def = fieldDefs_->Items(i);
    if (def->DataType() != ftUnknown) def->CreateField(this);
  }
}

void TDataSet::DestroyFields() {
  // Called for default fields (DefaultFields()): every field goes.
  fields_->Clear();
}

void TDataSet::BindFields(bool binding) {
  calcFieldsSize_ = 0;
  for (int i = 0; i < fields_->Count(); ++i) {
    TField* f = fields_->Fields(i);
    if (binding) {
      if (f->fieldKind_ == fkCalculated || f->fieldKind_ == fkLookup) {
        f->fieldNo_ = -1;
        f->offset_ = calcFieldsSize_;
        calcFieldsSize_ += f->DataSize() + 1;
      } else {
        int idx = fieldDefs_->IndexOf(f->FieldName());
        if (idx < 0) DatabaseErrorFmt(SFieldNotFound, {f->FieldName()}, this);
        TFieldDef* def = fieldDefs_->Items(idx);
        if (def->DataType() != f->DataType() &&
            !(def->DataType() == ftAutoInc && f->DataType() == ftInteger))
          DatabaseErrorFmt(SFieldTypeMismatch,
                           {f->DisplayName(), FieldTypeName(f->DataType()),
                            FieldTypeName(def->DataType())},
                           this);
        f->fieldNo_ = def->FieldNo();
      }
    } else {
      f->fieldNo_ = 0;
    }
    f->Bind(binding);
  }
}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
  if (calcFieldsSize_ <= 0) return;
  TTempStateGuard guard(this, dsCalcFields);
  CalculateFields(buffer);
}

void TDataSet::CalculateFields(TRecordBuffer buffer) {
  TRecordBuffer saved = calcBuffer_;
  calcBuffer_ = buffer;
  try {
    if (state_ != dsInternalCalc) {
      ClearCalcFields(buffer);
      CalcLookupValues();
    }
    DoOnCalcFields();
  } catch (...) {
    calcBuffer_ = saved;
    throw;
  }
  calcBuffer_ = saved;
}

void TDataSet::CalcLookupValues() {
  for (int i = 0; i < fields_->Count(); ++i) {
    TField* f = fields_->Fields(i);
    if (f->FieldKind() != fkLookup) continue;
    TDataSet* lookup = f->LookupDataSet();
    if (lookup == nullptr || !lookup->Active()) continue;
    Variant key = FieldValues(f->KeyFields());
    f->SetValue(lookup->Lookup(f->LookupKeyFields(), key, f->LookupResultField()));
  }
}

// ---------------------------------------------------------------------------
// Filters

void TDataSet::SetFiltered(bool value) { filtered_ = value; }

void TDataSet::SetFilterOptions(const TFilterOptions& value) { filterOptions_ = value; }

void TDataSet::SetFilterText(const AnsiString& value) { filterText_ = value; }

void TDataSet::SetOnFilterRecord(const TFilterRecordEvent& value) { onFilterRecord_ = value; }

// ---------------------------------------------------------------------------
// Generic Locate/Lookup by scanning the records

bool TDataSet::FieldMatchesKey(TField* field, const Variant& key, TLocateOptions options) {
  if (key.IsNull() || key.IsEmpty()) return field->IsNull();
  if (field->IsNull()) return false;
  switch (field->DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftMemo:
    case ftFmtMemo: {
      AnsiString value = field->AsString();
      AnsiString wanted = VarToStr(key);
      if (options.Contains(loPartialKey) && value.size() > wanted.size())
        value.resize(wanted.size());
      return options.Contains(loCaseInsensitive) ? AnsiCompareText(value, wanted) == 0
                                                 : AnsiCompareStr(value, wanted) == 0;
    }
    default:
      return VarCompareValue(field->Value(), key) == vrEqual;
  }
}

bool TDataSet::LocateByScan(const AnsiString& keyFields, const Variant& keyValues,
                            TLocateOptions options, bool syncCursor,
                            const AnsiString* resultFields, Variant* result) {
  CheckBrowseMode();
  std::vector<TField*> keys;
  GetFieldList(keys, keyFields);
  if (keys.size() > 1) {
    // Values from a caller: one per key field, or it is a caller's error.
    if (!keyValues.IsArray() ||
        VarArrayHighBound(keyValues) - VarArrayLowBound(keyValues) + 1 !=
            static_cast<int>(keys.size()))
      DatabaseError(SInvalidParamData, this);
  }
  auto keyOf = [&](size_t i) -> Variant {
    if (keys.size() == 1 && !keyValues.IsArray()) return keyValues;
    return keyValues[VarArrayLowBound(keyValues) + static_cast<int>(i)];
  };
  if (IsEmpty()) return false;
  // The scan lands each record in the spare buffer, swapped into the
  // active place so that the fields read it; no notification goes out and
  // the window itself is untouched.
  CursorPosChanged();
  InternalFirst();
  size_t active = static_cast<size_t>(activeRecord_);
  size_t spare = static_cast<size_t>(recordCount_);
  std::swap(buffers_[active], buffers_[spare]);
  bool found = false;
  try {
    while (!found && GetRecord(buffers_[active], gmNext, true) == grOK) {
      found = true;
      for (size_t i = 0; i < keys.size() && found; ++i)
        found = FieldMatchesKey(keys[i], keyOf(i), options);
    }
    if (found && result != nullptr && resultFields != nullptr) *result = FieldValues(*resultFields);
  } catch (...) {
    std::swap(buffers_[active], buffers_[spare]);
    CursorPosChanged();
    throw;
  }
  std::swap(buffers_[active], buffers_[spare]);
  // The descendant's cursor stands on the found (or last) record; the
  // window finds its own place again through SetCurrentRecord.
  CursorPosChanged();
  if (found && syncCursor) Resync(TResyncMode{rmExact, rmCenter});
  return found;
}
