// TResultSet, TMemResultSet, TFileResultSet: the rows of a query result, in
// memory or in a mapped temporary file.  sql/; calls platform/core and
// platform/data.
//
// Row format (both kinds; little-endian), a fixed RecordSize() bytes:
//
//   | bytes          | content                                            |
//   |----------------|----------------------------------------------------|
//   | 0-3            | record reference: a bookmark handle of the source  |
//   |                | dataset (BookmarkHandles.h); 0 = none, < 0 marks   |
//   | per column, in | 2-byte flag (0xFFFF = has a value, 0 = null), then |
//   | order of adding| the value                                          |
//
// Value sizes: string the declared size rounded up to even (text zero-
// padded, no terminator when it fills the size); float 8 (IEEE double;
// dates and times as day numbers); integer 4 (signed); boolean 2 (1 or 0).
// A column's Offset() is the record size before it was added.  A new row
// is all zero: no record reference, every column null.
//
// Invariants:
//   R1  columns are added before the first row (AddField with rows raises);
//   R2  every row is RecordSize() bytes and rows never move inside their
//       store: reordering moves only row pointers or file positions;
//   R3  a record reference of 1 or more is owned by its row and released
//       (with a source dataset set) when the row goes or the reference is
//       replaced;
//   R4  the file kind writes only inside its mapped view (the view grows
//       to take more rows) and its temporary file ("~sq") is deleted when
//       the result set is cleared or destroyed; one left by a crashed
//       process is deleted by the next one (TempFiles.h).
//
//   TMemResultSet rs;
//   TsqField* a = rs.AddField("A", "", false, 0, 0, 0, nullptr, 5, ttString);
//   rs.Insert(); a->SetAsString("x");
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/AnsiString.h"
#include "sql/BookmarkHandles.h"
#include "sql/SqFields.h"
#include "sql/ExprType.h"

class TDataSet;
class TField;
class TMemMapFile;
class TTempFile;
class TsqSortList;

// Row layout constants.
inline constexpr int kRowReferenceSize = 4;
inline constexpr int kColumnFlagSize = 2;
inline constexpr std::uint16_t kColumnHasValue = 0xFFFF;

// Default size of the mapping of a file-backed result (and sort list).
inline constexpr std::int64_t kDefaultMapFileSize = 2000000;
// Prefix of the temporary files of file-backed results and sort lists.
extern const char* const kSqlTempPrefix;

class TResultSet {
 public:
  TResultSet();
  virtual ~TResultSet();
  TResultSet(const TResultSet&) = delete;
  TResultSet& operator=(const TResultSet&) = delete;

  TsqFields& Fields() { return fields_; }
  // Current row, 1-based; -1 before the first row is added.
  int RecNo() const { return recNo_; }
  // A value other than the current one must lie in 1..GetRecordCount(),
  // else ESqlQueryError "Recno out of range".
  void SetRecNo(int value);
  int RecordSize() const { return recordSize_; }
  TDataSet* SourceDataSet() const { return sourceDataSet_; }
  void SetSourceDataSet(TDataSet* dataSet) { sourceDataSet_ = dataSet; }

  // The column's value of the current row into buffer (DataSize() bytes);
  // false when there is no current row or the column is null.
  virtual bool GetFieldData(const TsqField* field, void* buffer);
  // With a current row and a buffer: stores the value, the column not null.
  virtual void SetFieldData(const TsqField* field, const void* buffer);
  // True when the column is null; false when there is no current row.
  virtual bool IsNull(const TsqField* field);
  virtual int GetRecordCount() const = 0;
  // Reorders the rows as the sort list's source numbers name them (each
  // row exactly once; anything else raises "Recno out of range").
  virtual void SortWithList(TsqSortList& sortList) = 0;
  // Releases every record reference and removes every row.
  virtual void ClearRows() = 0;
  // Appends a zeroed row and makes it current.
  virtual void Insert() = 0;
  // Removes the current row; RecNo() is lowered to the row count when it
  // is now beyond it.
  virtual void Delete() = 0;
  // Removes every row i (1-based) with keep[i - 1] == 0, releasing its
  // reference, from the last to the first; the others keep their order.
  // keep holds one entry per row.  RecNo() ends on the last row left (0
  // when none is) once any row went.
  void KeepRows(const std::vector<char>& keep);
  // Removes the columns and the rows.
  virtual void Clear();
  // With a current row: releases the old reference and stores ref.
  void SetSourceBookmark(TBookmarkHandle ref);
  // The current row's reference; 0 without a current row.
  TBookmarkHandle GetSourceBookmark();
  // With a current row: releases its reference and stores 0.
  void FreeSourceBookmark();

  TsqField* FindField(const AnsiString& name) const { return fields_.FindField(name); }
  // As FindField; raises ESqlQueryError "Field %s was not found".
  TsqField* FieldByName(const AnsiString& name) const;
  // Adds a column (before the first row).  A cast type overrides dataType:
  // 343 CHAR string, 344 INTEGER, 345 BOOLEAN, 346-349 and 355 (DATE, TIME,
  // DATETIME, FLOAT, MONEY) float.  size is a string column's declared size.
  TsqField* AddField(const AnsiString& fieldName, const AnsiString& alias, bool useDisplayLabel,
                     int castLength, int castType, std::uint8_t columnFlag, TField* sourceField,
                     int size, TExprType dataType);

 protected:
  bool HasCurrentRow() const { return recNo_ >= 1 && recNo_ <= GetRecordCount(); }
  // The current row's bytes, or nullptr without a current row.  For the
  // file kind a copy, which StoreRow writes back.
  virtual char* LoadRow() = 0;
  virtual void StoreRow() = 0;
  void ReleaseReference(TBookmarkHandle ref);
  static TBookmarkHandle ReferenceOf(const char* row);
  // The 0-based row indexes the sort list names, checked to be a permutation.
  std::vector<int> SortOrder(TsqSortList& sortList);
  void ResetLayout() {
    recordSize_ = kRowReferenceSize;
    recNo_ = -1;
  }
  void SetRecNoUnchecked(int value) { recNo_ = value; }
  // The 0-based indexes of the rows KeepRows keeps, after releasing the
  // references of the others (last to first); the descendant then keeps
  // those rows only.
  std::vector<int> ReleaseDropped(const std::vector<char>& keep);
  virtual void KeepOnly(const std::vector<int>& kept) = 0;

 private:
  TsqFields fields_;
  int recNo_ = -1;
  int recordSize_ = kRowReferenceSize;
  TDataSet* sourceDataSet_ = nullptr;
};

class TMemResultSet : public TResultSet {
 public:
  TMemResultSet() = default;
  ~TMemResultSet() override;

  int GetRecordCount() const override { return static_cast<int>(rows_.size()); }
  void SortWithList(TsqSortList& sortList) override;
  void ClearRows() override;
  void Insert() override;
  void Delete() override;
  void Clear() override;

 protected:
  char* LoadRow() override;
  void StoreRow() override {}
  void KeepOnly(const std::vector<int>& kept) override;

 private:
  std::vector<std::unique_ptr<char[]>> rows_;
};

class TFileResultSet : public TResultSet {
 public:
  // Creates a "~sq" temporary file and maps mapFileSize bytes of it.
  explicit TFileResultSet(std::int64_t mapFileSize = kDefaultMapFileSize);
  ~TFileResultSet() override;

  int GetRecordCount() const override { return static_cast<int>(rows_.size()); }
  void SortWithList(TsqSortList& sortList) override;
  // Releases the references, forgets the rows and reuses the file's space.
  void ClearRows() override;
  // Appends the row at the end of the data, growing the mapping if needed.
  void Insert() override;
  // Removes the row from the list; its file space is not reused.
  void Delete() override;
  // Also deletes the temporary file; a later Insert makes a new one.
  void Clear() override;

  // The temporary file's name; "" after Clear.
  AnsiString TempFileName() const;
  const TMemMapFile* MappedFile() const { return map_.get(); }

 protected:
  char* LoadRow() override;
  void StoreRow() override;
  void KeepOnly(const std::vector<int>& kept) override;

 private:
  void OpenFile();
  void CloseFile() noexcept;
  void ReleaseAllReferences();

  std::int64_t mapFileSize_;
  std::vector<std::int64_t> rows_;  // position of each row in the file
  std::unique_ptr<TTempFile> temp_;
  std::unique_ptr<TMemMapFile> map_;
  std::vector<char> rowBuffer_;
};
