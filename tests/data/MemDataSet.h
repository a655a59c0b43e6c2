// TMemDataSet: an in-memory dataset for the tests of the dataset interface.
// It implements every abstract record operation of TDataSet over a vector
// of rows, the way the engine and the query datasets do over their own
// storage, so that the base class's buffer window, editing cycle, events,
// links and fields can be exercised without a database.
//
// Record buffer layout (one for all buffers of an open dataset):
//   per data field i: 1 null-flag byte (1 = value) + DataSize bytes, at dataOffset_[i]
//   calculated area:  CalcFieldsSize bytes at calcOffset_ (flag byte + data per field)
//   info:             int32 row id (the bookmark), 1 byte bookmark flag
// Blob values of a buffer live beside it in blobs_[buffer][field index].
#pragma once

#include <map>
#include <vector>

#include "platform/data/Dataset.h"

class TMemDataSet : public TDataSet {
  PAYROLL_CLASS(TMemDataSet, TDataSet)

 public:
  explicit TMemDataSet(TComponent* owner = nullptr);
  ~TMemDataSet() override;

  // Columns, set while closed.
  void AddColumn(const AnsiString& name, TFieldType type, int size = 0);
  // Rows added straight into storage (as another user would), without
  // touching the cursor or any buffer.  Values in column order.
  void AddRow(const std::vector<Variant>& values);
  void InsertRowAt(int index, const std::vector<Variant>& values);
  int StoredRowCount() const { return static_cast<int>(rows_.size()); }
  // Test hook: count of GetRecord calls, to see the window's work.
  int GetRecordCalls = 0;
  void SetBlockReadSizeForTest(int n) { SetBlockReadSize(n); }
  void CheckRequiredFieldsForTest() { CheckRequiredFields(); }
  bool ReadOnlyForTest = false;

  // TDataSet
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& buffer) override;
  void GetBookmarkData(TRecordBuffer buffer, void* data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) override;
  int GetRecordSize() override { return recordSize_; }
  void InternalAddRecord(TRecordBuffer buffer, bool append) override;
  void InternalClose() override;
  void InternalDelete() override;
  void InternalFirst() override { cursor_ = -1; }
  void InternalGotoBookmark(void* bookmark) override;
  void InternalHandleException() override {}
  void InternalInitFieldDefs() override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  void InternalLast() override { cursor_ = static_cast<int>(rows_.size()); }
  void InternalOpen() override;
  void InternalPost() override;
  void InternalSetToRecord(TRecordBuffer buffer) override;
  bool IsCursorOpen() override { return cursorOpen_; }
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) override;
  void SetBookmarkData(TRecordBuffer buffer, const void* data) override;
  void SetFieldData(TField* field, const void* buffer) override;
  bool GetFieldData(TField* field, void* buffer) override;
  bool BookmarkValid(TBookmark bookmark) override;
  int CompareBookmarks(TBookmark a, TBookmark b) override;
  TStream* CreateBlobStream(TField* field, TBlobStreamMode mode) override;
  bool Locate(const AnsiString& keyFields, const Variant& keyValues,
              TLocateOptions options) override;
  Variant Lookup(const AnsiString& keyFields, const Variant& keyValues,
                 const AnsiString& resultFields) override;
  bool IsSequenced() override { return !Filtered(); }
  void SetFiltered(bool value) override;

 protected:
  bool GetCanModify() override { return !ReadOnlyForTest; }
  int GetRecordCount() override;
  int GetRecNo() override;

 public:
  void SetRecNo(int value) override;

 protected:
  void ClearCalcFields(TRecordBuffer buffer) override;
  bool FindRecord(bool restart, bool goForward) override;

 private:
  friend class TMemBlobStream;
  struct Column {
    AnsiString name;
    TFieldType type;
    int size;
  };
  struct Row {
    int id;
    std::vector<char> data;                 // the data area
    std::map<int, AnsiString> blobs;        // by field index
  };

  TRecordBuffer RecordBufferFor(TField* field) const;
  int FieldIndexOf(TField* field) const;
  bool Accepts(int rowIndex);
  int RowIndexOfId(int id) const;
  int IdOf(TRecordBuffer buffer) const;
  void StoreRow(Row& row, TRecordBuffer buffer);
  Row MakeRow(const std::vector<Variant>& values);

  std::vector<Column> columns_;
  std::vector<Row> rows_;
  std::vector<int> dataOffset_;
  int dataSize_ = 0;
  int calcOffset_ = 0;
  int infoOffset_ = 0;
  int recordSize_ = 0;
  int nextId_ = 1;
  int cursor_ = -1;  // row index; -1 before the first, rows_.size() after the last
  bool cursorOpen_ = false;
  TRecordBuffer filterBuffer_ = nullptr;
  std::map<TRecordBuffer, std::map<int, AnsiString>> blobs_;
};
