// TsqSortList, TMemSortList, TFileSortList: the sort lists behind ORDER BY,
// GROUP BY, DISTINCT and TRANSFORM..PIVOT, in memory or in a mapped
// temporary file.  sql/; calls platform/core and platform/data.
//
// A sort list is a table of fixed-size rows:
//
//   | bytes    | content                                                 |
//   |----------|---------------------------------------------------------|
//   | 0-3      | source row number (signed 32-bit), or a bookmark handle |
//   |          | (BookmarkHandles.h) when UsesBookmarks()                |
//   | Offset() | per key, in order of adding: string key size + 1 bytes,|
//   | of each  | zero-terminated and zero-padded; float 8 (double);      |
//   | key      | integer 4 (signed); boolean 2 (1 or 0)                  |
//
// A new row is all zero, so a key never set (a null) sorts as "", 0 or
// false.  Sort orders the rows on all keys at once: the first key decides,
// each later key only between rows whose earlier keys compare equal, each
// key in its own direction.  Strings compare in the ANSI order when
// UseAnsiSort() (case-sensitive; AnsiText.h), else in byte order; booleans
// as 0 and 1; a NaN float after every number.  The sort is not stable.
//
// Invariants:
//   S1  keys are added before the first row;
//   S2  rows never move in their store: Exchange and Sort move only row
//       pointers or file positions;
//   S3  the file kind writes only inside its mapped view (it grows) and
//       deletes its "~sq" temporary file when it is destroyed.
//
//   TMemSortList list(false);
//   TSrtField* a = list.AddField(ttInteger, 0, true);
//   list.Insert(); a->SetAsInteger(5); list.SetSourceRecNo(1);
//   list.Sort();
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/AnsiString.h"
#include "sql/ExprType.h"

class TDataSet;
class TMemMapFile;
class TTempFile;
class TsqSortList;
class TSrtFields;

class TSrtField {
 public:
  explicit TSrtField(TSrtFields* owner) : owner_(owner) {}
  virtual ~TSrtField() = default;
  TSrtField(const TSrtField&) = delete;
  TSrtField& operator=(const TSrtField&) = delete;

  // The key of the current row.  Each class reads and writes its own type
  // and text; the other getters give 0, 0.0 or false and the other setters
  // do nothing.
  virtual AnsiString GetAsString() = 0;
  virtual void SetAsString(const AnsiString& value) = 0;
  virtual double GetAsFloat() { return 0; }
  virtual void SetAsFloat(double) {}
  virtual std::int32_t GetAsInteger() { return 0; }
  virtual void SetAsInteger(std::int32_t) {}
  virtual bool GetAsBoolean() { return false; }
  virtual void SetAsBoolean(bool) {}

  TSrtFields* Owner() const { return owner_; }
  TsqSortList* SortList() const;
  TExprType DataType() const { return dataType_; }
  int DataSize() const { return dataSize_; }
  bool Desc() const { return desc_; }
  int Offset() const { return offset_; }

 protected:
  friend class TsqSortList;
  friend class TSrtFields;
  bool Read(void* buffer);
  void Write(const void* buffer);

 private:
  TSrtFields* owner_;
  TExprType dataType_ = ttString;
  int dataSize_ = 0;
  bool desc_ = false;
  int offset_ = 0;
};

class TSrtStringField : public TSrtField {
 public:
  using TSrtField::TSrtField;
  AnsiString GetAsString() override;
  // Cut to DataSize() - 1 bytes so that the terminator always fits.
  void SetAsString(const AnsiString& value) override;
};

class TSrtFloatField : public TSrtField {
 public:
  using TSrtField::TSrtField;
  AnsiString GetAsString() override;
  // "" stores 0; text that is no number raises "Invalid floating point value %s".
  void SetAsString(const AnsiString& value) override;
  double GetAsFloat() override;
  void SetAsFloat(double value) override;
};

class TSrtIntegerField : public TSrtField {
 public:
  using TSrtField::TSrtField;
  AnsiString GetAsString() override;
  // Text that is no integer raises "Invalid integer value %s".
  void SetAsString(const AnsiString& value) override;
  std::int32_t GetAsInteger() override;
  void SetAsInteger(std::int32_t value) override;
};

class TSrtBooleanField : public TSrtField {
 public:
  using TSrtField::TSrtField;
  AnsiString GetAsString() override;  // "T" or "F"
  // "" and prefixes of "FALSE" false, prefixes of "TRUE" true (case
  // ignored), else "Invalid boolean value %s".
  void SetAsString(const AnsiString& value) override;
  bool GetAsBoolean() override;
  void SetAsBoolean(bool value) override;
};

class TSrtFields {
 public:
  explicit TSrtFields(TsqSortList* owner) : owner_(owner) {}
  TSrtFields(const TSrtFields&) = delete;
  TSrtFields& operator=(const TSrtFields&) = delete;

  TsqSortList* SortList() const { return owner_; }
  TSrtField* Add(TExprType dataType);
  int Count() const { return static_cast<int>(items_.size()); }
  TSrtField* Items(int index) const;  // 0-based
  void Clear() { items_.clear(); }

 private:
  TsqSortList* owner_;
  std::vector<std::unique_ptr<TSrtField>> items_;
};

class TsqSortList {
 public:
  explicit TsqSortList(bool usesBookmarks);
  virtual ~TsqSortList();
  TsqSortList(const TsqSortList&) = delete;
  TsqSortList& operator=(const TsqSortList&) = delete;

  TSrtFields& Fields() { return fields_; }
  int RecordSize() const { return recordSize_; }
  bool UsesBookmarks() const { return usesBookmarks_; }
  // The dataset whose bookmarks the source numbers are (UsesBookmarks()).
  TDataSet* BookmarkDataSet() const { return bookmarkDataSet_; }
  void SetBookmarkDataSet(TDataSet* dataSet) { bookmarkDataSet_ = dataSet; }
  bool UseAnsiSort() const { return useAnsiSort_; }
  void SetUseAnsiSort(bool value) { useAnsiSort_ = value; }

  // The current row's bytes; nullptr when RecNo() is outside 1..Count.
  virtual char* GetActiveBuffer() = 0;
  // Copies the key's DataSize() bytes of the current row; false without one.
  virtual bool GetFieldData(const TSrtField* field, void* buffer);
  // Writes the key's bytes into the current row.
  virtual void SetFieldData(const TSrtField* field, const void* buffer);
  virtual void SetSourceRecNo(std::int32_t value);
  // 0 without a current row.
  virtual std::int32_t GetSourceRecNo();
  virtual int GetRecordCount() const = 0;
  // Appends an all-zero row and makes it current.
  virtual void Insert() = 0;
  // Swaps rows i and j (1-based) by swapping their list entries.
  virtual void Exchange(int i, int j) = 0;
  // Removes the rows (releasing their bookmarks) and the keys.
  virtual void Clear();

  // Appends a key at offset RecordSize(): string keys take size + 1 bytes.
  TSrtField* AddField(TExprType dataType, int size, bool desc);
  int RecNo() const { return recNo_; }
  // 1 <= value <= GetRecordCount(), else ESqlQueryError "Recno out of range".
  void SetRecNo(int value);
  // True when rows i and j have the same key bytes (source numbers aside).
  bool IsEqual(int i, int j);
  void Sort();

 protected:
  // The row's bytes in place (0-based), valid until the next write.
  virtual const char* RowAt(int index) = 0;
  // Orders the row entries by CompareRows (a bounded sort: introsort).
  virtual void SortRows() = 0;
  virtual void ClearRows() = 0;
  // After the current row's bytes (GetActiveBuffer) were changed.
  virtual void StoreActiveBuffer() = 0;
  // Releases every row's bookmark when UsesBookmarks(); descendants call it
  // before their rows go.
  void ReleaseBookmarks();
  bool HasCurrentRow() const { return recNo_ >= 1 && recNo_ <= GetRecordCount(); }
  void SetRecNoUnchecked(int value) { recNo_ = value; }
  void CheckRow(int i) const;
  // < 0, 0 or > 0: the order of two rows on all keys.
  // Sort() takes the key layout once (SortKeys) and CompareRows reads it
  // from there, not through the key objects.
  int CompareRows(const char* a, const char* b) const;
  // True when Sort compares strings in the ANSI order: SortRows then takes
  // the order from AnsiKeyedOrder.
  bool AnsiKeyed() const;
  // The order Sort gives the rows at these addresses, as positions into
  // rows: each string key's text is weighed once per row
  // (AppendAnsiSortKey) instead of twice per comparison.  Every comparison
  // comes out as CompareRows's, so the introsort makes the same moves and
  // the order is the one sorting by CompareRows gives, ties included.
  std::vector<std::uint32_t> AnsiKeyedOrder(const std::vector<const char*>& rows) const;

 private:
  struct TKeyLayout {
    TExprType type;
    int offset;
    int size;
    bool desc;
  };
  // CompareRows with the strings that differ in bytes compared by
  // strings(string key's number among the string keys, a, b).
  template <typename StringOrder>
  int CompareKeys(const char* a, const char* b, StringOrder&& strings) const;
  std::vector<TKeyLayout> keys_;  // taken by Sort() from fields_
  TSrtFields fields_;
  int recNo_ = -1;
  int recordSize_ = 4;
  bool usesBookmarks_;
  TDataSet* bookmarkDataSet_ = nullptr;
  bool useAnsiSort_ = false;
};

class TMemSortList : public TsqSortList {
 public:
  explicit TMemSortList(bool usesBookmarks);
  ~TMemSortList() override;

  char* GetActiveBuffer() override;
  int GetRecordCount() const override { return static_cast<int>(rows_.size()); }
  void Insert() override;
  void Exchange(int i, int j) override;

 protected:
  const char* RowAt(int index) override { return rows_[static_cast<size_t>(index)]; }
  void SortRows() override;
  void ClearRows() override;
  void StoreActiveBuffer() override {}

 private:
  // Rows are carved from large blocks: one allocation per row would cost
  // more than the sort itself.  The blocks go only when the list is cleared.
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockUsed_ = 0;
  std::size_t blockSize_ = 0;
  std::vector<char*> rows_;
};

class TFileSortList : public TsqSortList {
 public:
  // Creates a "~sq" temporary file and maps mapFileSize bytes of it.
  TFileSortList(bool usesBookmarks, std::int64_t mapFileSize);
  ~TFileSortList() override;

  char* GetActiveBuffer() override;
  int GetRecordCount() const override { return static_cast<int>(rows_.size()); }
  void Insert() override;
  void Exchange(int i, int j) override;

  AnsiString TempFileName() const;
  const TMemMapFile* MappedFile() const { return map_.get(); }

 protected:
  const char* RowAt(int index) override;
  void SortRows() override;
  void ClearRows() override;
  void StoreActiveBuffer() override;

 private:
  std::unique_ptr<TTempFile> temp_;
  std::unique_ptr<TMemMapFile> map_;
  std::vector<std::int64_t> rows_;  // position of each row in the file
  std::vector<char> rowBuffer_;
};
