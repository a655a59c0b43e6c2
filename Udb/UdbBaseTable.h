// TUdbBaseTable: the engine cursor (TUdbDataSet) as a complete class-library
// dataset.  It fills every record operation of TDataSet - buffers,
// bookmarks, navigation, the edit cycle, field data in the native forms,
// blob streams, Locate/Lookup/FindRecord and filters - and is the common
// ancestor of the table component (TUdbTable) and of the query over the
// engine.
//
// Record buffer (one layout for every buffer of an open dataset):
//
//   offset                 size
//   0                      R = engine record + its 12-byte trailer
//                              (RecAddr, RecNo, KeyMarks; see UdbDataSet.h)
//   R                      1   spare
//   CalcOffset = R + 1     CalcFieldsSize(): per calculated field a flag
//                              byte (1 = has a value) then its data
//   InfoOffset             8   information: byte 4 buffer state (0
//                              unchanged, 1 edited, 2 new, 3 deleted),
//                              byte 5 bookmark flag
//   InfoOffset + 8         8   bookmark
//
// The bookmark is the engine's: the record address, then the record's id.
// Bookmarks order by address, then id: any two different bookmarks compare
// the same way in both directions, so sorted bookmark lists (the grid's
// selected rows) stay sorted.
//
// Date and time fields are stored as TDateTime doubles and handed out in
// the class library's native form (days, milliseconds, time-stamp ms).
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "Udb/UdbDataSet.h"
#include "platform/data/FieldDefs.h"

class TUdbBaseTable : public TUdbDataSet {
  PAYROLL_CLASS(TUdbBaseTable, TUdbDataSet)
 public:
  explicit TUdbBaseTable(TComponent* owner = nullptr);
  ~TUdbBaseTable() override;

  // The engine's bookmark calls beside the class library's.
  using TDataSet::GetBookmark;
  using TDataSet::SetBookmark;
  using TUdbDataSet::GetBookmark;
  using TUdbDataSet::SetBookmark;

  TIndexDefs* IndexDefs() const { return indexDefs_.get(); }
  void SetIndexDefs(TIndexDefs* value);

  // Creates the table from FieldDefs and IndexDefs; the dataset must be
  // closed.
  bool CreateTable();
  // Takes (true) or releases the table write lock.
  void LockTable(bool lock);
  bool TableWriteLocked() const { return tableLocked_; }

  // --- TDataSet ---
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& buffer) override;
  void GetBookmarkData(TRecordBuffer buffer, void* data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) override;
  int GetRecordSize() override;
  void InternalAddRecord(TRecordBuffer buffer, bool append) override;
  void InternalClose() override;
  void InternalDelete() override;
  void InternalFirst() override;
  void InternalGotoBookmark(void* bookmark) override;
  void InternalHandleException() override;
  void InternalInitFieldDefs() override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  void InternalLast() override;
  void InternalOpen() override;
  void InternalPost() override;
  void InternalSetToRecord(TRecordBuffer buffer) override;
  bool IsCursorOpen() override;
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) override;
  void SetBookmarkData(TRecordBuffer buffer, const void* data) override;
  void SetFieldData(TField* field, const void* buffer) override;
  bool GetFieldData(TField* field, void* buffer) override;
  bool BookmarkValid(TBookmark bookmark) override;
  int CompareBookmarks(TBookmark a, TBookmark b) override;
  TStream* CreateBlobStream(TField* field, TBlobStreamMode mode) override;
  bool GetCurrentRecord(TRecordBuffer buffer) override;
  bool Locate(const AnsiString& keyFields, const Variant& keyValues, TLocateOptions options) override;
  Variant Lookup(const AnsiString& keyFields, const Variant& keyValues, const AnsiString& resultFields) override;
  void DataConvert(TField* field, const void* source, void* dest, bool toNative) override;
  void UpdateIndexDefs() override;
  void SetRecNo(int value) override;
  void Resync(TResyncMode mode) override;
  void SetFiltered(bool value) override;
  void SetFilterOptions(const TFilterOptions& value) override;
  void SetFilterText(const AnsiString& value) override;
  void SetOnFilterRecord(const TFilterRecordEvent& value) override;

  // One step of a bulk load (the query's result table): in insert state,
  // stores the record being appended as Post does and begins the next one
  // in the same buffer as Append does, but leaves the window as it is: the
  // records before the new one are not read back after each record, and
  // no dataset event fires and no data link hears of it, since nobody
  // watches such a table while it fills.  The load ends with Cancel, which
  // drops the last, unfilled record and reads the window again.
  void PostAndAppendNext();

  // The buffer field reads and writes use in the current state (null when
  // there is none, e.g. browsing an empty dataset).
  std::uint8_t* GetActiveRecBuf();
  // Called when a master refresh is pending; descendants restrict the
  // cursor to the master's range.
  virtual void ApplyMasterRange() {}

  // Buffer layout, valid while open.
  int InfoOffset() const { return infoOffset_; }
  static constexpr int kBufferStateByte = 4;
  static constexpr int kBookmarkFlagByte = 5;

 protected:
  void ClearCalcFields(TRecordBuffer buffer) override;
  bool FindRecord(bool restart, bool goForward) override;
  bool GetCanModify() override;
  int GetRecordCount() override;
  int GetRecNo() override;
  void InternalCancel() override;
  void InternalEdit() override;
  void InternalInsert() override;
  void InternalRefresh() override;

  // Key mode of dsSetKey: 1 the key buffer, 2 a range buffer.
  enum : int { kKeyModeNone = 0, kKeyModeKey = 1, kKeyModeRange = 2 };
  int keyMode_ = kKeyModeNone;
  bool rangeSide_ = false;  // the range buffer written in key mode 2
  std::uint8_t* KeyBuffer() { return keyBuf_.data(); }
  bool masterRefreshPending_ = false;
  // Cursor position of GetRecord: 0 none, 1 stay on the current record,
  // 2 before the first record, 3 after the last.
  int position_ = 0;

  // Searches keyFields/keyValues with the best index; syncCursor moves to
  // the found record, else it stays in the filter buffer.
  bool LocateRecord(const AnsiString& keyFields, const Variant& keyValues, TLocateOptions options,
                    bool syncCursor);
  // Puts values (one or an array) into fields of buffer through the fields
  // themselves (in a temporary dsFilter state on the filter buffer).
  void RebuildEngineFilter();
  void DropPendingBlobs();

 private:
  friend class TUdbBlobStream;
  bool AcceptsRecord(const std::uint8_t* record);
  bool RecordFilterWanted() const override { return static_cast<bool>(OnFilterRecord()); }
  std::uint8_t* Info(TRecordBuffer buffer) const {
    return reinterpret_cast<std::uint8_t*>(buffer) + infoOffset_;
  }

  std::unique_ptr<TIndexDefs> indexDefs_;
  bool opened_ = false;
  bool cursorIsOpen_ = false;
  bool tableLocked_ = false;
  int recSize_ = 0;  // R
  int calcOffset_ = 0;
  int infoOffset_ = 0;
  int bufferSize_ = 0;
  std::vector<std::uint8_t> filterBuf_, keyBuf_, spareBuf_;
  // Blob fields given a new value in the pending edit (the record manager
  // holds their content until the post).
  std::set<int> pendingBlobFields_;
};
