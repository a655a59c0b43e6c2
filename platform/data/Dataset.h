// TDataSet: the class library's dataset, a cursor over records with
// states, fields, bookmarks, filters and events.  Engine tables and query
// results derive from it and implement the abstract record operations;
// the grid, the report engine, the exporter and data-aware controls read
// it through data sources and data links (DataSource.h).
//
// The buffer window.  An open dataset keeps BufferCount record buffers
// (the largest BufferCount of its data links, at least 1) plus one spare
// buffer at index BufferCount, used as the landing place of GetRecord:
//
//   Buffers(0) .. Buffers(RecordsInWindow-1)   consecutive records
//   ActiveRecord                               index of the current record
//   CurrentRecord                              index of the record the
//                                              descendant's cursor stands on
//                                              (-1: unknown, re-positioned
//                                              with InternalSetToRecord)
//
// Invariants (checked in debug builds by CheckWindow):
//   W1  0 <= RecordsInWindow <= BufferCount
//   W2  RecordsInWindow == 0  or  0 <= ActiveRecord < RecordsInWindow
//   W3  CurrentRecord == -1  or  0 <= CurrentRecord < RecordsInWindow
// Moving fills the window with GetNextRecord/GetPriorRecord, which call
// the descendant's GetRecord(buffer, gmNext/gmPrior, true) with the cursor
// first placed on the last/first buffered record.
//
// Descendants implement the pure virtual record operations below and keep
// in each buffer their own record image, a bookmark and a bookmark flag.
// Field values go through GetFieldData/SetFieldData on the buffer the
// state selects (the active buffer while browsing or editing, CalcBuffer
// in dsCalcFields, the descendant's filter buffer in dsFilter).
//
// Implementing a dataset (what the engine table, the query and the test
// dataset do):
//   InternalOpen     InternalInitFieldDefs(); if DefaultFields() CreateFields();
//                    BindFields(true); then lay out the buffer with
//                    CalcFieldsSize() and SetBookmarkSize(n).
//   InternalClose    BindFields(false); if DefaultFields() DestroyFields().
//   GetRecord        fill the buffer, SetBookmarkFlag(buffer, bfCurrent) and
//                    GetCalcFields(buffer); grEOF/grBOF at the ends.
//   Get/SetFieldData pick the buffer by State(): ActiveBuffer() (browse -
//                    none when IsEmpty() -, edit, insert), CalcBuffer()
//                    (dsCalcFields), an own buffer for dsFilter.  Calculated
//                    and lookup fields (FieldNo() < 1) live in the
//                    calculated area at field->Offset(): a flag byte, then
//                    DataSize() bytes.  SetFieldData raises
//                    dbconsts::SNotEditing outside the write states, runs
//                    field->Validate(buffer) and ends with
//                    DataEvent(deFieldChange, field) unless in dsCalcFields.
//   filtering        OnFilterRecord() runs inside TTempStateGuard(dsFilter).
//   destructor       Destroying(); Close();  (Close posts a pending edit; as
//                    destroying, a failure to post is not thrown)
//
// Listeners.  Besides the single BeforeX/AfterX handler members, other
// components hook a dataset's events through Listeners() (DatasetEvents.h):
// they never overwrite the application's handlers nor each other.
//
// Layer: platform/data; platform/core only.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Component.h"
#include "platform/core/TypInfo.h"
#include "platform/core/Variant.h"
#include "platform/data/DBTypes.h"
#include "platform/data/DatasetEvents.h"

class TField;
class TFields;
class TFieldDefs;
class TDataSource;
class TDataLink;
class TStream;

using TDataSetNotifyEvent = std::function<void(TDataSet* dataSet)>;
using TFilterRecordEvent = std::function<void(TDataSet* dataSet, bool& accept)>;
using TDataSetErrorEvent =
    std::function<void(TDataSet* dataSet, EDatabaseError& error, TDataAction& action)>;

// Descendants must call Destroying() and Close() in their own destructor:
// the record operations cannot be reached from ~TDataSet.
class TDataSet : public TComponent {
  PAYROLL_CLASS(TDataSet, TComponent)

 public:
  explicit TDataSet(TComponent* owner);
  ~TDataSet() override;

  // --- opening and closing -----------------------------------------------
  bool Active() const { return state_ != dsInactive && state_ != dsOpening; }
  // While the component is being read from a form, the value is kept and
  // applied by Loaded.
  void SetActive(bool value);
  void Loaded() override;
  // Persistent fields of root are written inside their dataset.
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
  void Open() { SetActive(true); }
  // Posts a modified pending edit first (cancels an unmodified one); a
  // failing post leaves the dataset open in its edit state.
  void Close() { SetActive(false); }
  TDataSetState State() const { return state_; }

  // --- navigation --------------------------------------------------------
  void First();
  void Last();
  // While block reading (BlockReadSize > 0) Next moves without telling
  // the links (state dsBlockRead).
  void Next();
  void Prior() { MoveBy(-1); }
  // Moves Distance records (negative: backwards); returns how far it went.
  int MoveBy(int distance);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return bof_ && eof_; }
  void Refresh();

  // --- editing -----------------------------------------------------------
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();
  void AppendRecord(const std::vector<Variant>& values);
  void InsertRecord(const std::vector<Variant>& values);
  // Posts a pending edit when fields were modified, else cancels it.
  void CheckBrowseMode();
  // Asks the data links to write their pending control values.
  void UpdateRecord();
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }
  bool CanModify() { return GetCanModify(); }

  // --- bookmarks ---------------------------------------------------------
  TBookmark GetBookmark();
  void GotoBookmark(TBookmark bookmark);
  // A bookmark's memory belongs to no dataset, so it can be released after
  // its dataset has gone or been unlinked.
  static void FreeBookmark(TBookmark bookmark);
  TBookmarkStr Bookmark();
  void SetBookmark(const TBookmarkStr& value);
  bool BookmarkAvailable();
  int BookmarkSize() const { return bookmarkSize_; }

  // --- records -----------------------------------------------------------
  int RecordCount() { return GetRecordCount(); }
  int RecNo() { return GetRecNo(); }
  // Moves to the record with that number (descendants that number their
  // records; nothing by default).
  virtual void SetRecNo(int) {}
  int RecordSize() { return GetRecordSize(); }

  // --- searching ---------------------------------------------------------
  // Search with the filter (Filter/OnFilterRecord) applied even while
  // Filtered is off; Found tells the last answer.
  bool FindFirst() { return found_ = FindRecord(true, true); }
  bool FindLast() { return found_ = FindRecord(true, false); }
  bool FindNext() { return found_ = FindRecord(false, true); }
  bool FindPrior() { return found_ = FindRecord(false, false); }
  bool Found() const { return found_; }

  // --- controls ----------------------------------------------------------
  // Suppresses notifications to data links until the matching
  // EnableControls, which then sends one deDataSetChange (or the layout
  // change that happened meanwhile).  Nestable.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ != 0; }

  // --- fields ------------------------------------------------------------
  TFields* Fields() const { return fields_.get(); }
  TFieldDefs* FieldDefs() const { return fieldDefs_.get(); }
  int FieldCount() const;
  TField* FindField(const AnsiString& fieldName) const;
  // Raises "Name: Field 'x' not found" for an unknown name.
  TField* FieldByName(const AnsiString& fieldName) const;
  TField* FieldByNumber(int fieldNo) const;
  // Fields of a ';'-separated list of names, in list order.
  void GetFieldList(std::vector<TField*>& list, const AnsiString& fieldNames) const;
  void GetFieldNames(std::vector<AnsiString>& names) const;
  // One value, or an array of values for a ';'-separated list.
  Variant FieldValues(const AnsiString& fieldNames) const;
  void SetFieldValues(const AnsiString& fieldNames, const Variant& value);
  // True when the dataset created its fields from FieldDefs at open.
  bool DefaultFields() const { return defaultFields_; }
  bool AutoCalcFields() const { return autoCalcFields_; }
  void SetAutoCalcFields(bool v) { autoCalcFields_ = v; }
  int CalcFieldsSize() const { return calcFieldsSize_; }
  void ClearFields();

  // --- filter ------------------------------------------------------------
  const AnsiString& Filter() const { return filterText_; }
  void SetFilter(const AnsiString& value) { SetFilterText(value); }
  bool Filtered() const { return filtered_; }
  virtual void SetFiltered(bool value);
  const TFilterOptions& FilterOptions() const { return filterOptions_; }
  virtual void SetFilterOptions(const TFilterOptions& value);
  virtual void SetFilterText(const AnsiString& value);
  // OnFilterRecord is a property (not a plain member) because descendants
  // rebuild their filter when it is assigned.
  const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
  virtual void SetOnFilterRecord(const TFilterRecordEvent& value);

  // --- data sources ------------------------------------------------------
  // The master source of a detail dataset (none here).
  virtual TDataSource* GetDataSource() { return nullptr; }
  // True when source's dataset is this one or reaches it through master
  // links: assigning such a source as master would close a circle.
  bool IsLinkedTo(TDataSource* source);
  // Sends a notification to every data source (unless controls are
  // disabled).  See DBTypes.h for what Info carries.
  virtual void DataEvent(TDataEvent event, std::intptr_t info);

  // --- events ------------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  TDataSetNotifyEvent OnNewRecord, OnCalcFields;
  TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;
  // Additional listeners on the events above (they run around the handler
  // members; see DatasetEvents.h).
  TDataSetListeners& Listeners() { return listeners_; }

  // --- state machinery used by descendants and fields ---------------------
  // Enters a temporary state (calc, filter, old/new value, ...) without
  // telling the data links; returns the state to give RestoreState.
  TDataSetState SetTempState(TDataSetState value);
  void RestoreState(TDataSetState value);
  void CheckActive() const;
  void CheckInactive() const;
  // The buffer fields read and write while browsing or editing.
  TRecordBuffer ActiveBuffer() const;
  // The buffer being calculated (dsCalcFields).
  TRecordBuffer CalcBuffer() const { return calcBuffer_; }
  int ActiveRecord() const { return activeRecord_; }
  int BufferCount() const { return bufferCount_; }
  // Records held in the buffer window (the class library's protected
  // RecordCount, renamed so that it does not hide the record count).
  int RecordsInWindow() const { return recordCount_; }
  TRecordBuffer Buffers(int index) const;
  int CurrentRecord() const { return currentRecord_; }
  void CursorPosChanged() { currentRecord_ = -1; }
  void UpdateCursorPos();
  int BlockReadSize() const { return blockReadSize_; }
  // Re-reads the window around the current record.
  virtual void Resync(TResyncMode mode);
  void GetCalcFields(TRecordBuffer buffer);

  // --- the record operations descendants implement ------------------------
  virtual TRecordBuffer AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(TRecordBuffer& buffer) = 0;
  virtual void GetBookmarkData(TRecordBuffer buffer, void* data) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) = 0;
  virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) = 0;
  virtual int GetRecordSize() = 0;
  virtual void InternalAddRecord(TRecordBuffer buffer, bool append) = 0;
  virtual void InternalClose() = 0;
  virtual void InternalDelete() = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalGotoBookmark(void* bookmark) = 0;
  virtual void InternalHandleException() = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
  virtual void InternalLast() = 0;
  virtual void InternalOpen() = 0;
  virtual void InternalPost() = 0;
  virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
  virtual bool IsCursorOpen() = 0;
  virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) = 0;
  virtual void SetBookmarkData(TRecordBuffer buffer, const void* data) = 0;
  // buffer nullptr writes a null value.  Descendants check the state,
  // run field->Validate(buffer) and finish with
  // DataEvent(deFieldChange, field) unless in dsCalcFields.
  virtual void SetFieldData(TField* field, const void* buffer) = 0;

  // --- record operations with a default -----------------------------------
  // buffer nullptr only asks whether the value is present (not null).
  virtual bool GetFieldData(TField* field, void* buffer);
  virtual bool BookmarkValid(TBookmark bookmark);
  // <0, 0, >0 as a sorts before, equal to or after b (nullptr first).
  virtual int CompareBookmarks(TBookmark a, TBookmark b);
  // A stream over a blob field of the current record; the caller frees it.
  virtual TStream* CreateBlobStream(TField* field, TBlobStreamMode mode);
  virtual bool GetCurrentRecord(TRecordBuffer buffer);
  virtual bool Locate(const AnsiString& keyFields, const Variant& keyValues,
                      TLocateOptions options);
  virtual Variant Lookup(const AnsiString& keyFields, const Variant& keyValues,
                         const AnsiString& resultFields);
  virtual bool IsSequenced() { return true; }
  // Converts between the native form of a field value (dates as day
  // numbers, times as milliseconds, date-times as time-stamp milliseconds)
  // and the TDateTime form; other types are copied DataSize bytes.
  virtual void DataConvert(TField* field, const void* source, void* dest, bool toNative);
  virtual void UpdateIndexDefs() {}

 protected:
  // --- navigation building blocks -----------------------------------------
  virtual bool GetNextRecord();
  virtual bool GetPriorRecord();
  virtual int GetNextRecords();
  virtual int GetPriorRecords();
  virtual bool FindRecord(bool restart, bool goForward);
  virtual bool GetCanModify() { return true; }
  virtual int GetRecordCount() { return -1; }
  virtual int GetRecNo() { return -1; }
  virtual void InternalCancel() {}
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalRefresh() {}
  virtual void ClearCalcFields(TRecordBuffer) {}
  virtual void InitRecord(TRecordBuffer buffer);
  virtual void CalculateFields(TRecordBuffer buffer);
  // A size above 0 enters dsBlockRead (no notifications while a caller
  // walks the records); 0 returns to dsBrowse.
  virtual void SetBlockReadSize(int value);
  virtual void BlockReadNext() { MoveBy(1); }
  // Raises "Field '%s' must have a value" for the first required data
  // field that is null (after asking its control to take the focus).
  void CheckRequiredFields();

  // --- events as descendants fire them -------------------------------------
  virtual void DoBeforeOpen() { Fire(kBeforeOpen, BeforeOpen); }
  virtual void DoAfterOpen() { Fire(kAfterOpen, AfterOpen); }
  virtual void DoBeforeClose() { Fire(kBeforeClose, BeforeClose); }
  virtual void DoAfterClose() { Fire(kAfterClose, AfterClose); }
  virtual void DoBeforeInsert() { Fire(kBeforeInsert, BeforeInsert); }
  virtual void DoAfterInsert() { Fire(kAfterInsert, AfterInsert); }
  virtual void DoBeforeEdit() { Fire(kBeforeEdit, BeforeEdit); }
  virtual void DoAfterEdit() { Fire(kAfterEdit, AfterEdit); }
  virtual void DoBeforePost() { Fire(kBeforePost, BeforePost); }
  virtual void DoAfterPost() { Fire(kAfterPost, AfterPost); }
  virtual void DoBeforeCancel() { Fire(kBeforeCancel, BeforeCancel); }
  virtual void DoAfterCancel() { Fire(kAfterCancel, AfterCancel); }
  virtual void DoBeforeDelete() { Fire(kBeforeDelete, BeforeDelete); }
  virtual void DoAfterDelete() { Fire(kAfterDelete, AfterDelete); }
  virtual void DoBeforeScroll() { Fire(kBeforeScroll, BeforeScroll); }
  virtual void DoAfterScroll() { Fire(kAfterScroll, AfterScroll); }
  virtual void DoBeforeRefresh() { Fire(kBeforeRefresh, BeforeRefresh); }
  virtual void DoAfterRefresh() { Fire(kAfterRefresh, AfterRefresh); }
  virtual void DoOnNewRecord() { Fire(kOnNewRecord, OnNewRecord); }
  virtual void DoOnCalcFields() { Fire(kOnCalcFields, OnCalcFields); }

  // --- fields -------------------------------------------------------------
  // Creates one field per field definition (default fields).
  virtual void CreateFields();
  // Binding: ties every field to its definition (FieldNo) and lays out the
  // calculated area: each calculated or lookup field gets Offset (a flag
  // byte followed by DataSize bytes) and CalcFieldsSize grows.
  virtual void BindFields(bool binding);
  // Frees every field; descendants call it on close when DefaultFields().
  virtual void DestroyFields();
  void InitFieldDefs();
  // Calls FieldDefs update through InternalInitFieldDefs.
  void SetDefaultFields(bool v) { defaultFields_ = v; }
  void SetBookmarkSize(int v) { bookmarkSize_ = v; }

  void SetState(TDataSetState value);
  void CheckCanModify();
  void ClearBuffers();
  void ActivateBuffers();
  void SetCurrentRecord(int index);
  void MoveBuffer(int curIndex, int newIndex);
  // Runs operation; an EDatabaseError goes to the error handler, which may
  // fail (rethrow), abort (silent) or retry.
  void CheckOperation(const std::function<void()>& operation, const TDataSetErrorEvent& onError);
  void Fire(TDataSetEventKind kind, const TDataSetNotifyEvent& handler) {
    listeners_.Fire(kind, this, handler);
  }
  // Generic record scan for Locate and Lookup: walks from the first record
  // comparing the key fields (strings by AnsiCompareText with
  // loCaseInsensitive, as prefixes with loPartialKey).  Leaves the cursor
  // on the found record when syncCursor, else where it was.
  // Lookup passes resultFields and result to read the found record's
  // values before the cursor goes back.  Key values: one Variant for one
  // key field, an array with one element per field for several.
  bool LocateByScan(const AnsiString& keyFields, const Variant& keyValues,
                    TLocateOptions options, bool syncCursor,
                    const AnsiString* resultFields = nullptr, Variant* result = nullptr);
  // Whether one field's value matches a key value under the options.
  static bool FieldMatchesKey(TField* field, const Variant& key, TLocateOptions options);

  void CheckWindow() const;

 private:
  friend class TDataSource;
  friend class TDataLink;
  friend class TField;

  void OpenCursor();
  void CloseCursor();
  void SetBufListSize(int value);
  void SetBufferCount(int value);
  void UpdateBufferCount();
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);
  void BeginInsertAppend();
  void EndInsertAppend();
  void CalcLookupValues();

  TDataSetState state_ = dsInactive;
  TDataSetState disableState_ = dsInactive;
  TDataEvent enableEvent_ = deDataSetChange;
  int disableCount_ = 0;
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;
  bool found_ = false;
  bool defaultFields_ = false;
  bool autoCalcFields_ = true;
  bool filtered_ = false;
  bool internalOpenComplete_ = false;
  bool streamedActive_ = false;
  int bookmarkSize_ = 0;
  int calcFieldsSize_ = 0;
  int blockReadSize_ = 0;
  AnsiString filterText_;
  TFilterOptions filterOptions_;
  TFilterRecordEvent onFilterRecord_;

  std::vector<TRecordBuffer> buffers_;  // bufferCount_ + 1 while open
  int bufferCount_ = 0;
  int recordCount_ = 0;
  int activeRecord_ = 0;
  int currentRecord_ = -1;
  TRecordBuffer calcBuffer_ = nullptr;

  std::unique_ptr<TFields> fields_;
  std::unique_ptr<TFieldDefs> fieldDefs_;
  std::vector<TDataSource*> dataSources_;
  TDataSetListeners listeners_;
};

// Saves and restores a temporary state (the class library's
// SetTempState ... finally RestoreState).
class TTempStateGuard {
 public:
  TTempStateGuard(TDataSet* ds, TDataSetState state) : ds_(ds), saved_(ds->SetTempState(state)) {}
  ~TTempStateGuard() { ds_->RestoreState(saved_); }
  TTempStateGuard(const TTempStateGuard&) = delete;
  TTempStateGuard& operator=(const TTempStateGuard&) = delete;

 private:
  TDataSet* ds_;
  TDataSetState saved_;
};

// DisableControls for a scope.  EnableControls runs however the scope is
// left; an error it raises while another exception unwinds is dropped (the
// first error is the one reported), otherwise it reaches the caller.
class TControlsDisabler {
 public:
  explicit TControlsDisabler(TDataSet* ds) : ds_(ds), unwinding_(std::uncaught_exceptions()) {
    ds_->DisableControls();
  }
  ~TControlsDisabler() noexcept(false) {
    if (std::uncaught_exceptions() > unwinding_) {
      try {
        ds_->EnableControls();
      } catch (...) {
      }
    } else {
      ds_->EnableControls();
    }
  }
  TControlsDisabler(const TControlsDisabler&) = delete;
  TControlsDisabler& operator=(const TControlsDisabler&) = delete;

 private:
  TDataSet* ds_;
  int unwinding_;
};

// Keeps a dataset's position for a scope: takes a bookmark, and at the end
// of the scope goes back to it (when it is still valid) and frees it.  The
// bookmark is always freed; going back follows the error rule of
// TControlsDisabler.  Declare it after a TControlsDisabler so that the
// return happens while the controls are still disabled.
class TBookmarkKeeper {
 public:
  explicit TBookmarkKeeper(TDataSet* ds) : ds_(ds), mark_(ds->GetBookmark()), unwinding_(std::uncaught_exceptions()) {}
  ~TBookmarkKeeper() noexcept(false) {
    TBookmark mark = mark_;
    bool unwinding = std::uncaught_exceptions() > unwinding_;
    try {
      if (mark && restore_ && ds_->BookmarkValid(mark)) ds_->GotoBookmark(mark);
    } catch (...) {
      TDataSet::FreeBookmark(mark);
      if (!unwinding) throw;
      return;
    }
    TDataSet::FreeBookmark(mark);
  }
  TBookmark Bookmark() const { return mark_; }
  // The scope's end frees the bookmark without moving the dataset.
  void KeepPosition() { restore_ = false; }
  TBookmarkKeeper(const TBookmarkKeeper&) = delete;
  TBookmarkKeeper& operator=(const TBookmarkKeeper&) = delete;

 private:
  TDataSet* ds_;
  TBookmark mark_;
  int unwinding_;
  bool restore_ = true;
};
