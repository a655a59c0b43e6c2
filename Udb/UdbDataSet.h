// TUdbDataSet: the engine's cursor over one table of a connection
// (TUdbTableServices).  It owns the table's open definition, record
// manager, index manager and blob interface, one engine record buffer, the
// range bounds, the read-ahead buffer and the filter hooks, and it
// navigates, searches, reads and writes fields and adds, updates and
// deletes records with their index keys.  The base table dataset builds
// the class library's record operations on these calls; this class fills
// only GetNextRecord(s), GetPriorRecord(s), IsSequenced and Resync.
//
// Engine record buffer (RecBuf, FilterBuf, range bounds, every copy the
// base table keeps): RecordSize bytes exactly as stored (RecordFormat.h),
// then a 12-byte trailer of little-endian DWORDs:
//   +0  RecAddr   address of the stored record (0: not stored)
//   +4  RecNo     1-based position in the current index (or filter list)
//   +8  KeyMarks  0; in a search buffer >= 1: the null flags of key fields
//                 carry bound marks, 2 = lowest value, 4 = highest value
// Bookmark: 8 bytes, RecAddr then the record's RecordID (bytes 6-9).
//
// Access brackets.  Every operation that touches the table runs inside a
// read or write bracket: the table lock is taken, the table header is
// re-read and, when its write counter moved, cached state (index nodes,
// read-ahead, range bound positions, filter list) is dropped.  A write
// bracket writes the header once when it ends.  Brackets nest by flag: an
// operation ends only the bracket it began (TAccessBracket), also when an
// exception passes.
//
// Record changes are all or nothing.  AddRecord, UpdateRecord and
// DeleteRecord check keys and lengths before they write; once writing has
// begun, a failure undoes them: on a disk table outside a transaction the
// whole change runs in a page transaction of its own, so a failed write
// leaves no page of it in the file; inside the connection's transaction it
// runs under a savepoint of the transaction's pages, which a failure goes
// back to (the earlier changes stay); elsewhere (memory tables, a bracket
// the caller holds outside a transaction) the steps done are undone in
// reverse order.
//
// RecordState: 0 no current record, 1 RecBuf holds a record read from the
// table, 2 RecBuf was filled or changed by the caller.
//
// Errors: EUdbDatabaseError through the engine's raiser; the closed/open
// checks raise the class library's DatabaseError; internal checks raise
// EAssertionFailed.  Calls the table-level units, the connection's
// services and platform/data.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "Udb/BlobInterface.h"
#include "Udb/BlobMgr.h"
#include "Udb/IndexManager.h"
#include "Udb/InternalFields.h"
#include "Udb/ReadAheadBuffer.h"
#include "Udb/RecordMgr.h"
#include "Udb/TableDef.h"
#include "Udb/UdbFilterHooks.h"
#include "Udb/UdbTableServices.h"
#include "platform/data/Dataset.h"

class TFieldDef;
class TFieldDefs;
class TIndexDef;
class TIndexDefs;
class TRestructureFieldDefs;
class TRestructureIndexDefs;
class TStream;
class TStrings;

namespace udbcur {
constexpr int kTrailerSize = 12;
constexpr int kTrailerRecAddr = 0;
constexpr int kTrailerRecNo = 4;
constexpr int kTrailerKeyMarks = 8;
constexpr int kBookmarkSize = 8;
constexpr int kRangeKeySize = 500;
// Null-flag values of search and range buffers.
constexpr std::uint8_t kFlagNull = 0;
constexpr std::uint8_t kFlagValue = 1;
constexpr std::uint8_t kFlagLowest = 2;
constexpr std::uint8_t kFlagHighest = 4;
// Search modes.
enum : int { kLessThan = 0, kLessOrEqual = 1, kEqual = 2, kGreaterOrEqual = 3, kGreaterThan = 4, kNearest = 5 };
// Privilege bits of tables and fields.
constexpr std::uint32_t kPrivOpen = 8;
constexpr std::uint32_t kPrivAlter = 16;
constexpr std::uint32_t kPrivInsert = 256;
constexpr std::uint32_t kPrivDelete = 1024;
constexpr std::uint32_t kPrivRead = 2048;
constexpr std::uint32_t kPrivUpdate = 4096;
// Read-ahead directions.
enum : std::uint8_t { kAheadNone = 0, kAheadBackward = 1, kAheadForward = 2, kAheadCentred = 3 };
constexpr unsigned kReadAheadValidMs = 1000;
}  // namespace udbcur

// Progress of long table operations: percentage 0..100; set cancel to stop.
using TUpdateProgressProc = std::function<void(int percentDone, bool& cancel)>;
// Record filter: receives FilterBuf holding the candidate; true accepts.
using TRecordFilterProc = std::function<bool(const std::uint8_t* record)>;

// The restructure request (see InternalRestructureTable).
struct TRestructureDetails {
  TRestructureFieldDefs* NewFieldDefs = nullptr;
  TRestructureIndexDefs* NewIndexDefs = nullptr;
  TFieldDefs* DestFieldDefs = nullptr;
  TIndexDefs* DestIndexDefs = nullptr;
  bool AdjustAutoIncCounter = false;
  bool SetDefaultBlobSize = false;
  int NewDefaultBlobSize = 0;
  bool SetSortOrder = false;
  TSortOrder NewSortOrder = soANSI;
};

// What ReIndex did.
struct TReIndexResult {
  int Indexed = 0;              // records in the indexes
  std::vector<TUdbAddr> Skipped;  // records left out as duplicates
};

class TUdbDataSet : public TDataSet {
  PAYROLL_CLASS(TUdbDataSet, TDataSet)
 public:
  explicit TUdbDataSet(TComponent* owner);
  ~TUdbDataSet() override;

  // --- properties (setters require a closed cursor) ---
  const AnsiString& TableName() const { return tableName_; }
  void SetTableName(const AnsiString& v);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  bool Memory() const { return memory_; }
  void SetMemory(bool v);
  TUdbTableServices* DataBase() const { return dataBase_; }
  void SetDataBase(TUdbTableServices* db);
  TEncryptionLevel EncryptionLevel() const { return encryptionLevel_; }
  void SetEncryptionLevel(TEncryptionLevel v);
  const AnsiString& Version() const { return version_; }
  void SetVersion(const AnsiString&) {}
  TSortOrder SortOrder() const { return sortOrder_; }
  void SetSortOrder(TSortOrder v) { sortOrder_ = v; }
  int DefaultBlobSize() const { return defaultBlobSize_; }
  void SetDefaultBlobSize(int v) { defaultBlobSize_ = v; }
  int ReadAheadSize() const { return readAheadSize_; }
  void SetReadAheadSize(int count) { readAheadSize_ = count; }
  bool ReadAheadActive() const { return readAheadActive_; }
  void SetReadAheadActive(bool on) { readAheadActive_ = on; }
  const AnsiString& IndexName() const { return indexName_; }
  void SetIndexName(const AnsiString& name);
  void SetOnRecordFilter(TRecordFilterProc proc) { onRecordFilter_ = std::move(proc); }
  // Storage order: while on, and while the cursor is on a disk table with
  // no filter and no range, First/Next/Prior/Last walk the live records in
  // the order of their addresses in the file instead of the current
  // index's order (for callers to whom the order is not observable, such
  // as a query's aggregate scan): neighbouring records share pages, so a
  // walk reads each page once.  Records are read in batches of
  // kStorageBatch under one read bracket, valid kReadAheadValidMs like the
  // read-ahead.  The table's record blocks are listed again whenever its
  // header counter moved (another connection's commit): a walk goes on
  // from the address it stands on, so a record that lives through the walk
  // is met exactly once, whatever is added or removed around it.  The
  // record number of a record met so is its block's position in the list.
  bool StorageOrder() const { return storageOrder_; }
  void SetStorageOrder(bool on);
  TUpdateProgressProc OnUpdateProgress;
  // Test hook: called after each step of a record change that wrote
  // something ("blobs", "record", "key <index>", "unkey <index>"); a test
  // throws from it to fail the change there.  Never set by the program.
  std::function<void(const AnsiString& step)> OnChangeStepForTest;

  TTableDef& TableDef() { return *tableDef_; }
  TRecordMgr& RecordMgr() { return recordMgr_; }
  TIndexManager& IndexMgr() { return indexMgr_; }
  TBlobInterface& BlobInterface() { return blobInterface_; }
  // The filter manager (a TUdbFilterMgr from the start); null keeps filters
  // off.
  TUdbFilterHooks* FilterMgr() const { return filterMgr_.get(); }
  void SetFilterMgr(std::unique_ptr<TUdbFilterHooks> mgr);
  bool FilterActive() const { return filterMgr_ && filterMgr_->Active(); }

  // --- checks ---
  bool CursorOpen() const { return cursorOpen_; }
  void CheckOpen() const;
  void CheckClosed() const;
  void CheckConnected() const;
  void CheckIndexesPresent() const;
  void CheckPrivilegePresent(std::uint32_t mask, std::uint32_t bit) const;
  static void ValidateObjectName(const AnsiString& name, const AnsiString& kind);
  bool IsReadOnlyByPrivilege() const;
  // Field visibility and write access from the field privileges.
  void ApplyFieldPrivileges();
  void InitFieldDef(int fieldIndex, TFieldDef* fieldDef) const;

  // --- open and close ---
  void DataSetOpen();
  void CloseDataSet();
  // After a rollback: index caches dropped, and the table counts as changed
  // at its next bracket (the header's counter in memory is forgotten).
  void ResetIndexCaches();

  // --- access brackets ---
  void BeginRead();
  void BeginWrite();
  void EndAccess();
  bool ReadLocked() const { return readLocked_; }
  bool WriteLocked() const { return writeLocked_; }
  // The table changed between the last two brackets.
  bool TableChanged() const { return headerStamp_ != prevHeaderStamp_; }
  void LockRecord(TUdbAddr address);
  void UnlockRecord(TUdbAddr address);
  void BeginBatch(std::uint8_t mode);
  void EndBatch();
  void ResetBatch();
  std::uint8_t BatchMode() const { return batchMode_; }

  // --- record buffers ---
  const std::uint8_t* RecBuf() const { return recBuf_.data(); }
  int RecordState() const { return recordState_; }
  void InitRecBuf(std::uint8_t* buf = nullptr);
  void SetRecBuf(const std::uint8_t* buf);
  void GetRecBuf(std::uint8_t* buf) const;
  int GetRecBufSize() const;
  void ReadRecordAt(TUdbAddr address, std::uint8_t* buf);
  void SetRecordTrailer(std::uint8_t* buf, int recNo, TUdbAddr address) const;
  void InitSearchRecord(std::uint8_t* buf, bool markKeyFields);
  void InitLowRecord(std::uint8_t* buf);
  void InitHighRecord(std::uint8_t* buf);
  int GetFieldCount() const;
  TInternalFields& GetFields() { return recordMgr_.Fields(); }
  int FieldIndexOf(const AnsiString& name) const;
  bool IsFieldNull(const std::uint8_t* buf, int fieldIndex) const;
  bool IsBlobField(int fieldIndex) const;
  static TUdbAddr TrailerAddress(const std::uint8_t* buf, int recordSize);
  static int TrailerRecNo(const std::uint8_t* buf, int recordSize);
  int RecordSize() const { return recBufSize_ - udbcur::kTrailerSize; }

  // --- bookmarks ---
  void GetBookmark(const std::uint8_t* buf, std::uint8_t* bookmark) const;
  void SetBookmark(std::uint8_t* buf, const std::uint8_t* bookmark) const;
  bool BookmarkIsValid(const std::uint8_t* bookmark);

  // --- moving (true on success; the record in RecBuf, RecordState 1) ---
  bool GotoFirst();
  bool GotoLast();
  bool GotoNext();
  bool GotoPrior();
  bool MoveNext();
  bool MovePrior();
  bool SetToRecord(TUdbAddr address, const std::uint8_t* buf, bool reposition, bool checkSame);
  bool SetToBookmark(const std::uint8_t* bookmark);
  bool SetToRecBuf(const std::uint8_t* buf, bool reposition, bool checkSame);
  // The record's address, or -1.
  std::int64_t DataSetSetRecNo(int recNo);  // TDataSet::SetRecNo is the class library's
  int GetRecNo(const std::uint8_t* buf);
  using TDataSet::GetRecNo;
  int GetRecordCount() override;
  TUdbAddr ReadRecordByKey(int mode, std::uint8_t* buf);
  // Positions the current index on the record at address and takes its
  // record number into the trailer.  cursorOnEntry: the caller's own
  // change has just left the current index's cursor on that entry (its
  // insert, or the search of an update that did not move the key), so the
  // search is skipped when the cursor does stand on it.
  void RefreshDataSetIndex(TUdbAddr address, bool cursorOnEntry = false);
  bool InternalFind(int mode, const AnsiString& indexName);
  // Puts the index's cursor on the entry that names the record at address
  // (numbered recNo when it was read) by stepping from where the cursor
  // stands, when that is near; false (the cursor anywhere) when it cannot,
  // and the caller searches the key instead.  Sound inside a bracket: the
  // nodes the cursor stands on are the file's (a change by anyone else
  // dropped them when the bracket began), and a record has one entry per
  // index: standing on the entry that names it is standing on its own.
  // Further away than maxSteps (by default where a search costs less than
  // the steps) it does not step.
  bool StepCursorTo(TIndexItem& index, TUdbAddr address, int recNo, int maxSteps = 32);
  bool InternalFindInRange(int mode, const AnsiString& indexName);
  bool CheckRange();
  // Which: 0 first, 1 from the current record, 2 last.
  bool FilterMove(int which, int step);
  // justRead: the address of the record the caller has just read into
  // RecBuf in the same access bracket (0: none); it is copied, not read again.
  void FillReadAhead(int count, std::uint8_t direction, TUdbAddr justRead = 0);
  void CheckRecordOfEntry(TIndexItem& index, const std::uint8_t* record, const std::uint8_t* entryKey,
                          TUdbAddr address);
  // Which: 1 the record before, 2 after, 3 the current one.
  bool ReadFromReadAhead(int which);
  void ClearReadAhead() { readAhead_.Reset(); }
  void InternalPrepareFilter();
  // Switches the filter to text/options (or off when both are empty and
  // no record filter is set), then rebuilds its list.
  void ActivateFilter(const AnsiString& text, TFilterOptions options, bool recordFilter);
  // The record filter's verdict on the record at address (read into
  // FilterBuf); true without a record filter.  Called by the filter manager.
  bool RecordFilterAccepts(TUdbAddr address);

  // --- field data and blobs ---
  int InternalGetFieldLength(int fieldIndex, const std::uint8_t* buf) const;
  void DataSetGetFieldDataFromRecBuf(int fieldIndex, bool& isBlank, void* dest, const std::uint8_t* buf) const;
  void DataSetGetFieldDataFromRecBufAsVariant(const std::uint8_t* buf, int fieldIndex, Variant& value) const;
  void GetFieldStream(int fieldIndex, bool& isBlank, TStream* stream);
  // A blob field of buf, a record buffer of this table, as the record at
  // the buffer's address holds it now (see UdbDataSetRecords.cpp); the
  // caller holds a read bracket.  False when it is null.
  bool ReadBlobOfBuffer(const std::uint8_t* buf, int fieldIndex, TStream* out);
  void DataSetSetFieldData(int fieldIndex, int length, const void* data, bool setNull);
  void DataSetSetFieldDataToRecBuf(int fieldIndex, int length, std::uint8_t* buf, const void* data,
                                   bool setNull) const;
  void DataSetSetFieldDataToRecBufAsVariant(std::uint8_t* buf, int fieldIndex, const Variant& value) const;
  void DataSetSetFieldStreamFromRecBuf(std::uint8_t* buf, int fieldIndex, TStream* stream, bool setNull);
  // Writes the changed blobs of RecBuf into the blob storage (clearAll:
  // every blob becomes empty) and frees the chains they replace.
  void WriteBlobsToInterface(bool clearAll);

  // --- record changes ---
  void AddRecord(bool assignAutoInc);
  void UpdateRecord();
  // The last UpdateRecord moved no key of any index: the current index's
  // cursor still stands where the record was, on it.
  bool LastUpdateKeptPlace() const { return lastUpdateKeptPlace_; }
  // 0, or -1 when buf is given and the stored record is no longer it.
  int DeleteRecord(const std::uint8_t* buf);

  // --- search, locate and ranges ---
  std::uint8_t* GetRangeBuffer(bool side);
  void ApplyRange(bool active);
  void CancelRange();
  bool RangeSet() const { return rangeSet_; }
  bool RangeNotEmpty() const { return rangeNotEmpty_; }
  bool MoveToRangeEnd(bool side);
  int GetRangeEndRecNo(bool side);
  int InternalSearchOnly(const std::uint8_t* buf, int mode, const AnsiString& indexName);
  bool FindFromBuffer(const std::uint8_t* buf, int mode, bool nearest, const AnsiString& indexName);
  bool FindRecordByKey(std::uint8_t* buf, bool exact);
  // options: bit 0 case-insensitive, bit 1 partial key.
  bool DoLocate(const AnsiString& indexName, std::uint8_t* searchBuf, bool gotoRecord, bool useNamedIndex,
                int options, std::vector<AnsiString>& fieldNames, std::uint8_t* resultBuf);
  int InternalCompareRecords(const std::uint8_t* buf1, const std::uint8_t* buf2, int& diffIndex,
                             bool caseInsensitive, bool partial, const TSearchFields& searchFields) const;
  void FindIndexForFields(const AnsiString& fieldNames, AnsiString& indexName) const;
  int GetVisibleIndexCount() const;
  void GetIndexDef(int index, TIndexDef* indexDef) const;
  void SetLocateMarks(std::uint8_t* buf, const AnsiString& indexName, const std::vector<AnsiString>& fieldNames,
                      bool highSide);
  // The records whose value of the index's first key field satisfies a
  // filter comparison, in index order: op is the filter node's operator
  // (1 is blank, 2 not blank, 3 =, 4 <>, 5 >, 6 <, 7 >=, 8 <=, 30 LIKE with
  // the pattern's literal prefix as constant, 31 IN); any other raises 8581.
  // For <> the list is that of = and complement is set.  Nulls satisfy
  // only "is blank".
  std::vector<TUdbAddr> CollectConditionAddresses(const AnsiString& indexName, int op,
                                                  const std::vector<Variant>& constants, bool& complement);

  // --- table operations ---
  void SetTableDef(TFieldDefs* fieldDefs, TIndexDefs* indexDefs);
  void SetTableDefFromRSDefs(TRestructureFieldDefs* fieldDefs, TRestructureIndexDefs* indexDefs);
  void PrepareCreateTable();
  TReIndexResult ReIndex(bool skipDuplicates);
  int CopyRawTableData(TUdbDataSet* dest);
  void EmptyTable();
  void InternalRestructureTable(const TRestructureDetails& details);

  // --- the class library's slots filled here ---
  bool IsSequenced() override;
  void Resync(TResyncMode mode) override;

 protected:
  // Whether the record filter can refuse a record at all; false spares
  // reading each record a filtered walk steps to once more for it.  The table component answers
  // whether its filter event is assigned.
  virtual bool RecordFilterWanted() const { return true; }
  bool GetNextRecord() override;
  bool GetPriorRecord() override;
  int GetNextRecords() override;
  int GetPriorRecords() override;
  // Raise 8577: the base table dataset fills them.
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) override;
  void InternalClose() override;
  void InternalHandleException() override;
  void InternalInitFieldDefs() override;
  void InternalOpen() override;
  bool IsCursorOpen() override;

 private:
  // EmptyTable inside its catalogue change.
  void InternalEmptyTable();
  bool MoveStep(bool forward);
  bool StorageOrderActive() const;
  // Which: 0 first, 1 next, -1 prior, 2 last (storage order).
  bool StorageMove(int which);
  // Reads the batch of live records next to `from` in the direction (from
  // 0: from the table's first or last block).
  void FillStorageBatch(TUdbAddr from, bool forward);
  void ForgetStorageWalk();
  friend class TAccessBracket;
  friend class TRecordChange;
  void InternalOpenDataSet();
  void RefreshFromHeader(bool lockWasHeld = false);
  void FlushHeader();
  void AllocateBuffers();
  void FreeBuffers();
  std::uint8_t* Rec() { return recBuf_.data(); }
  void ReadIntoRecBuf(TUdbAddr address, bool keepCopy);
  void SetTrailer(std::uint8_t* buf, int recNo, TUdbAddr address) const;
  TIndexItem* CurrentIndexOrNull() const;
  TIndexItem* IndexOrRaise(const AnsiString& name, const char* location) const;
  TKeyModifiers BoundMarks(const TIndexItem& index, const std::uint8_t* buf) const;
  void SetSearchKey(TIndexItem& index, const std::uint8_t* buf);
  bool WithinRange(TIndexItem& index);
  int CompareWithRangeKey(TIndexItem& index, bool side);
  bool IsSameRecord(const std::uint8_t* a, const std::uint8_t* b) const;
  bool AcceptRecordAt(TUdbAddr address);
  // After a record's change: range flags, filter, read-ahead, header.
  // keptAt names a record changed in place (no key moved): the read-ahead
  // keeps its batch with that record's new content (every other record
  // and every record number is as it was).
  void AfterChange(TUdbAddr keptAt = 0);
  int AheadCount(int count, std::uint8_t direction) const;
  void Step(const AnsiString& step);
  void CollectMasterList();
  void SnapshotForUndo();
  // Table operations' helpers.
  void RebuildIndexManager();
  void ReportProgress(int position, int count, int& lastPercent, bool& cancel);
  void WriteBlobs(bool clearAll, std::vector<TUdbAddr>& written, std::vector<TUdbAddr>& replaced);

  // Range helpers (UdbDataSetSearch.cpp).
  // The bound parts list of a range buffer (0 low, 1 exact, 2 high).
  TKeyModifiers BoundParts(TIndexItem& index, const std::uint8_t* buf, bool side) const;

  std::unique_ptr<TTableDef> tableDef_;
  TRecordMgr recordMgr_;
  TIndexManager indexMgr_;
  TBlobInterface blobInterface_;
  std::vector<std::uint8_t> recBuf_;
  int recBufSize_ = 0;
  std::vector<std::uint8_t> filterBuf_;
  std::vector<std::uint8_t> acceptScratch_;  // AcceptRecordAt's read, kept for its storage
  std::vector<std::uint8_t> rangeStartRec_, rangeEndRec_;
  std::vector<std::uint8_t> rangeStartKey_, rangeEndKey_;
  TKeyModifiers rangeStartParts_, rangeEndParts_;  // per key part: 0 low, 1 exact, 2 high
  std::vector<std::uint8_t> currentCopy_;  // the current record as last read
  bool atRangeStart_ = false;
  bool atRangeEnd_ = false;
  bool rangeSet_ = false;
  bool rangeNotEmpty_ = false;
  std::uint8_t batchMode_ = 0;
  int batchDepth_ = 0;
  std::uint32_t recordTag_ = 0;
  std::unique_ptr<TUdbFilterHooks> filterMgr_;
  TRecordFilterProc onRecordFilter_;
  bool readOnly_ = false;
  bool memory_ = false;
  bool cursorOpen_ = false;
  TUdbTableServices* dataBase_ = nullptr;
  bool registered_ = false;
  AnsiString tableName_;
  bool readLocked_ = false;
  bool writeLocked_ = false;
  bool lockHeld_ = false;
  // While Resync fills the window, a read bracket begun inside is kept to
  // its end (readEndHeld_: one was begun and its end put off).
  bool holdReads_ = false;
  bool readEndHeld_ = false;
  int recordState_ = 0;
  bool lastUpdateKeptPlace_ = false;
  // The next InternalFind (equal) finds the record whose trailer RecBuf
  // holds where the searched index's cursor stands: it steps to it instead
  // of searching (as in a batch of mode 2).  Taken by that call.
  bool searchOnEntry_ = false;
  // Set by a step of a memory table's walk for the search it makes: the
  // index cursor standing on the record in hand steps on from there.
  bool stepFromHand_ = false;
  AnsiString indexName_;
  std::uint32_t headerStamp_ = 0;
  std::uint32_t prevHeaderStamp_ = 0;
  TSortOrder sortOrder_ = soANSI;
  int defaultBlobSize_ = kDefaultBlobSize;
  AnsiString version_;
  TEncryptionLevel encryptionLevel_ = encNone;
  TReadAheadBuffer readAhead_;
  std::vector<TUdbAddr> aheadAddresses_;  // a fill's records to read, and where they go
  std::vector<std::uint8_t*> aheadBuffers_;
  std::uint8_t readAheadDirection_ = udbcur::kAheadNone;
  bool readAheadActive_ = false;
  int readAheadSize_ = 10;
  // The batch was brought up to date with this connection's own changes
  // since it was filled: the header write at the bracket's end leaves it.
  bool aheadCurrent_ = false;
  // Batches a walk used up in a row in one direction (see AheadCount).
  int aheadStreak_ = 0;
  std::uint8_t lastFillDirection_ = udbcur::kAheadNone;
  static constexpr int kAheadDoublings = 6;
  static constexpr int kAheadBytes = 256 * 1024;
  std::uint64_t readAheadStamp_ = 0;
  bool autoIncSwitchedOff_ = false;
  // The storage-order walk (see SetStorageOrder).
  static constexpr int kStorageBatch = 1024;
  bool storageOrder_ = false;
  bool storageListed_ = false;
  std::uint32_t storageStamp_ = 0;        // header counter when listed
  std::vector<TUdbAddr> storageBlocks_;   // every record block, ascending
  std::vector<TUdbAddr> storageBatch_;    // live records read, ascending
  std::vector<int> storageBatchNo_;       // their positions in storageBlocks_, 1-based
  std::vector<std::uint8_t> storageRecords_;  // their bytes, RecordSize each; room for a batch
  std::uint64_t storageBatchTime_ = 0;
  // While this dataset receives a copy: destination field -> source field
  // ("" for a new field), and the records whose values did not convert.
  std::map<AnsiString, AnsiString> copySourceNames_;
  int copyLosses_ = 0;
};
