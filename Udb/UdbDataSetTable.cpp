// TUdbDataSet: table definitions from field and index definitions, and the
// table operations ReIndex, CopyRawTableData, EmptyTable and restructure
// (see UdbDataSet.h).
//
// Limits of a table definition: names of 1 to 40 characters (not "" or
// "ALL"), 1 to 255 fields, strings of 1 to 255 bytes, at most 32 indexes,
// keys of at most 500 bytes.  A table without an index gets the hidden
// index "_LogicalRecNo" over the RecordID (insertion order); an index that
// is neither unique nor primary ends with the same hidden RecordID part,
// which makes each of its keys unique.
//
// Storage released by the operations: index nodes are freed by walking the
// old trees (their free runs may be database-wide), the record and blob
// blocks of an emptied table with their owner's pages.  Before anything is
// written, the record free runs are checked against the table's blocks in
// the allocation map (8451 when a run reaches outside them).
#include <algorithm>
#include <cstring>
#include <set>

#include "Udb/DBLogger.h"
#include "Udb/DiskIOInterface.h"
#include "Udb/DiskMgr.h"
#include "Udb/RestructureDefs.h"
#include "Udb/TableHeader.h"
#include "Udb/UdbDataSetInt.h"
#include "platform/core/AnsiText.h"
#include "platform/core/Streams.h"
#include "platform/data/FieldDefs.h"

using namespace udbcur;

namespace {

const char* const kRangeText = "%s is not a valid value (min. length %d, max. length %d)";

bool IndexableType(TFieldType t) {
  return IsStoredFieldType(t) && !(t >= ftBlob && t <= ftFmtMemo);
}

bool NameListed(const AnsiString& list, const AnsiString& name) {
  return AnsiUpperCase(list).find(AnsiUpperCase(name)) != AnsiString::npos;
}

}  // namespace

std::vector<TUdbAddr> TreeNodes(TIndexItem& index, TBaseIOInterface* io) {
  std::vector<TUdbAddr> nodes;
  if (index.Root() == 0) return nodes;
  std::set<TUdbAddr> seen;
  std::vector<TUdbAddr> level{index.Root()};
  TNode node;
  node.Init(io, static_cast<int>(index.IndexPageSize()), index.Tree().MaximumKeySize());
  for (std::uint32_t depth = 0; !level.empty() && depth < index.Depth(); ++depth) {
    std::vector<TUdbAddr> next;
    for (TUdbAddr a : level) {
      if (!seen.insert(a).second) UdbDatabaseError(udberr::kCorrupt, "TUdbDataSet.ReleaseIndexNodes", "Index node visited twice");
      nodes.push_back(a);
      node.ReadFresh(a);
      if (node.IsLeaf()) continue;
      for (int e = 0; e < node.EntryCount(); ++e) next.push_back(udbkey::KeyAddress(node.KeyAt(e)));
    }
    level.swap(next);
  }
  return nodes;
}

namespace {

// Checks the record free runs against the table's blocks (disk tables).
void CheckFreeRuns(TBaseIOInterface* io, const std::vector<TUdbAddr>& blocks) {
  if (io == nullptr || io->Kind() != kIOKindDisk || !io->FirstEmptyValid()) return;
  const std::set<TUdbAddr> owned(blocks.begin(), blocks.end());
  const int bs = io->BlockSize();
  std::uint8_t head[udbfmt::kRunHeaderSize];
  TUdbAddr run = io->FirstEmpty();
  size_t steps = 0;
  while (run != 0) {
    if (++steps > owned.size() || owned.count(run) == 0)
      UdbDatabaseError(udberr::kCorrupt, "TUdbDataSet.CheckFreeRuns", "Free run outside the table's blocks");
    io->ReadBlockHeader(run, udbfmt::kRunHeaderSize, head);
    const std::uint32_t count = Get32(head + udbfmt::kRunCount);
    if (count == 0 || count > owned.size())
      UdbDatabaseError(udberr::kCorrupt, "TUdbDataSet.CheckFreeRuns", "Free run count is damaged");
    for (std::uint32_t k = 1; k < count; ++k)
      if (owned.count(run + k * static_cast<TUdbAddr>(bs)) == 0)
        UdbDatabaseError(udberr::kCorrupt, "TUdbDataSet.CheckFreeRuns", "Free run reaches past the table's blocks");
    run = Get32(head + udbfmt::kRunNext);
  }
}

}  // namespace

// ============================================================================
// table definitions
// ============================================================================

static void AddIndexDef(TTableDef& def, int sequence, const AnsiString& name, const AnsiString& fieldList,
                        const TIndexOptions& options, const AnsiString& descFields, const AnsiString& caseInsFields,
                        bool hidden) {
  const char* loc = "TUdbDataSet.SetTableDef";
  TInternalIndexDef* x = def.InternalIndexDefs()->Add();
  x->SetIndexName(name);
  x->SetUnique(options.Contains(ixUnique));
  x->SetPrimary(options.Contains(ixPrimary));
  x->SetMaintained(true);
  x->SetMemory(def.Memory());
  x->SetHidden(hidden);
  x->SetIndexSequence(sequence);
  x->SetIndexPageSize(kIndexNodeSize);
  const bool allDesc = options.Contains(ixDescending) && descFields.empty();
  const bool allCI = options.Contains(ixCaseInsensitive) && caseInsFields.empty();
  TKeyFields parts;
  int k = 0;
  for (const AnsiString& fieldName : SplitFieldList(fieldList)) {
    TInternalFieldItem* f = def.InternalFields()->FindField(fieldName);
    if (f == nullptr) UdbDatabaseError(udberr::kNoSuchField, loc, fieldName);
    if (!IndexableType(f->DataType())) UdbDatabaseError(udberr::kNotIndexable, loc, FieldTypeName(f->DataType()));
    TKeyFieldItem* p = parts.Add();
    p->SetIndexName(name);
    p->SetFieldName(f->FieldName());
    p->SetFieldSize(f->FieldSize());
    p->SetDataType(f->DataType());
    p->SetIsVariable(f->IsVariable());
    p->SetPhysicalFieldNo(f->FieldIndex());
    p->SetRecBufOffset(f->DataOffset());
    p->SetNullFlagOffset(f->NullFlagOffset());
    p->SetSizeMarkerOffset(f->SizeMarkerOffset());
    p->SetKeyIndex(k++);
    p->SetHidden(false);
    p->SetCaseInsensitive(allCI || NameListed(caseInsFields, f->FieldName()));
    p->SetDescending(allDesc || NameListed(descFields, f->FieldName()));
  }
  if (!x->Unique() && !x->Primary()) {
    TKeyFieldItem* p = parts.Add();  // the RecordID: every key of the index is unique
    p->SetIndexName(name);
    p->SetFieldSize(4);
    p->SetDataType(ftInteger);
    p->SetPhysicalFieldNo(-1);
    p->SetRecBufOffset(udbrec::kRecordID);
    p->SetNullFlagOffset(udbrec::kInUse);
    p->SetKeyIndex(k);
    p->SetHidden(true);
    p->SetDescending(options.Contains(ixDescending));
  }
  parts.SetKeyDataOffset(udbkey::KeyDataOffsetFor(parts.Count()));
  x->SetKeyDataOffset(parts.KeyDataOffset());
  x->SetMaximumKeySize(parts.MaximumKeySize());
  if (parts.MaximumKeySize() > udbkey::kMaximumKeySizeLimit)
    UdbDatabaseErrorFmt(udberr::kKeyTooLarge, loc, "%s has not been set or is out of range", nullptr, {name});
  for (int i = 0; i < parts.Count(); ++i) def.KeyFields()->Add()->Assign(parts.Items(i));
}

void TUdbDataSet::SetTableDef(TFieldDefs* fieldDefs, TIndexDefs* indexDefs) {
  const char* loc = "TUdbDataSet.SetTableDef";
  TTableDef& def = *tableDef_;
  def.Clear();
  def.SetMemory(memory_);
  def.SetTableName(tableName_);
  def.SetSortOrder(sortOrder_);
  def.SetDefaultBlobSize(defaultBlobSize_);
  def.SetEncryptionLevel(encryptionLevel_);
  def.SetEncrypted(encryptionLevel_ != encNone);
  if (def.Encrypted()) def.SetAltName(TTableDef::EncipheredName(tableName_));
  if (tableName_.empty() || static_cast<int>(tableName_.size()) > kMaxNameLength)
    UdbDatabaseErrorFmt(udberr::kInvalidTableName, loc, kRangeText, nullptr, {tableName_, 1, kMaxNameLength});
  ValidateObjectName(tableName_, "Table");
  const int count = fieldDefs ? fieldDefs->Count() : 0;
  if (count < 1 || count > udbrec::kMaxFields)
    UdbDatabaseErrorFmt(udberr::kFieldCountInvalid, loc, "%d is not a valid value (min. %d, max. %d)", nullptr,
                        {count, 1, udbrec::kMaxFields});
  for (int i = 0; i < count; ++i) {
    TFieldDef* fd = fieldDefs->Items(i);
    ValidateObjectName(fd->Name(), "Field");
    if (static_cast<int>(fd->Name().size()) > kMaxNameLength)
      UdbDatabaseErrorFmt(udberr::kInvalidFieldName, loc, kRangeText, nullptr, {fd->Name(), 1, kMaxNameLength});
    TInternalFieldItem* f = def.InternalFields()->Add();
    f->SetFieldName(fd->Name());
    f->SetFieldNo(i + 1);
    f->SetFieldIndex(i);
    f->SetDataType(fd->DataType());  // refuses what a record cannot hold; the record's own width
    f->SetRequired(fd->Required());
    if (fd->DataType() == ftString) {
      const int size = (fd->Size() == 0 ? 20 : fd->Size()) + 1;
      f->SetIsVariable(true);
      if (size < 2 || size > kMaxStringSize + 1)
        UdbDatabaseErrorFmt(udberr::kIndexCountLimit, loc, kRangeText, nullptr, {fd->Name(), 1, kMaxStringSize});
      f->SetFieldSize(size);
    }
  }
  def.InternalFields()->SetDefaultOffsets();
  def.InternalFields()->BuildFieldIndex();
  def.SetRecordSize(def.InternalFields()->RecordSize());
  def.SetUsesBlobs(def.InternalFields()->UsesBlobs());
  PAYROLL_ASSERT(def.RecordSize() >= 1, "Record size = 0");
  const int indexes = indexDefs ? indexDefs->Count() : 0;
  if (indexes > kMaxIndexCount)
    UdbDatabaseErrorFmt(udberr::kFieldCountLimit, loc, "Maximum allowed is %d", nullptr, {kMaxIndexCount});
  for (int i = 0; i < indexes; ++i) {
    TIndexDef* x = indexDefs->Items(i);
    AddIndexDef(def, i, x->Name(), x->Fields(), x->Options(), x->DescFields(), x->CaseInsFields(), false);
  }
  if (indexes == 0) AddIndexDef(def, 0, kLogicalRecNo, AnsiString(), TIndexOptions(), "", "", true);
}

void TUdbDataSet::SetTableDefFromRSDefs(TRestructureFieldDefs* fieldDefs, TRestructureIndexDefs* indexDefs) {
  TFieldDefs fields(this);
  TIndexDefs indexes(this);
  if (fieldDefs) fields.Assign(fieldDefs);
  if (indexDefs) indexes.Assign(indexDefs);
  SetTableDef(&fields, &indexes);
}

void TUdbDataSet::PrepareCreateTable() {
  CheckConnected();
  CheckClosed();
  dataBase_->QueryPrivilege("ALL", 2);
  dataBase_->CreateTable(tableDef_.get());
}

// ============================================================================
// helpers of the operations
// ============================================================================

void TUdbDataSet::ReportProgress(int position, int count, int& lastPercent, bool& cancel) {
  if (!OnUpdateProgress || count <= 0) return;
  const int percent = static_cast<int>(static_cast<std::int64_t>(position) * 100 / count);
  if (percent == lastPercent) return;
  lastPercent = percent;
  OnUpdateProgress(percent, cancel);
}

// Frees every node of the open index manager's trees.
static void ReleaseIndexNodes(TIndexManager& indexes, TBaseIOInterface* io) {
  std::vector<std::pair<TUdbAddr, int>> all;
  for (int i = 0; i < indexes.Count(); ++i) {
    TIndexItem* index = indexes.Items(i);
    for (TUdbAddr a : TreeNodes(*index, io)) all.emplace_back(a, static_cast<int>(index->IndexPageSize()));
  }
  // Every tree was read and checked before the first node is released.
  for (const auto& [a, size] : all) io->ReleaseBlock(a, size);
}

void TUdbDataSet::RebuildIndexManager() {
  TTableDef& def = *tableDef_;
  indexMgr_.Close();
  indexMgr_.SetSortFunction(SortFunctionFor(sortOrder_));
  indexMgr_.Assign(def.InternalIndexDefs());
  indexMgr_.AssignKeyFields(*def.KeyFields());
  indexMgr_.SetIOInterface(def.IndexIO());
  indexMgr_.SetTableHeader(def.Header());
  indexMgr_.Open();
  indexMgr_.SetCurrentIndexName(indexName_);
}

// ============================================================================
// ReIndex: new trees are built beside the old ones and take their place
// only when complete; a failure or a cancel frees them and keeps the old.
// ============================================================================

TReIndexResult TUdbDataSet::ReIndex(bool skipDuplicates) {
  const char* loc = "TUdbDataSet.ReIndex";
  CheckOpen();
  TAccessBracket bracket(*this, true);
  TTableDef& def = *tableDef_;
  std::vector<TUdbAddr> slots;
  def.RecordIO()->ListBlocks(slots);
  CheckFreeRuns(def.RecordIO(), slots);

  TIndexManager fresh;
  fresh.SetSortFunction(SortFunctionFor(sortOrder_));
  fresh.Assign(def.InternalIndexDefs());
  fresh.AssignKeyFields(*def.KeyFields());
  fresh.SetIOInterface(def.IndexIO());
  fresh.SetTableHeader(def.Header());
  TReIndexResult result;
  try {
    fresh.CreateEmptyIndexes();  // new roots in the header
    fresh.Open();
    std::vector<std::uint8_t> rec(static_cast<size_t>(recBufSize_), 0);
    int lastPercent = 0;
    bool cancel = false;
    for (size_t i = 0; i < slots.size(); ++i) {
      recordMgr_.ReadRecord(slots[i], rec.data(), false);
      if (udbrec::IsLiveRecordOf(rec.data(), recordTag_)) {
        TIndexItem* duplicate = nullptr;
        for (int x = 0; x < fresh.Count() && duplicate == nullptr; ++x) {
          TIndexItem* index = fresh.Items(x);
          index->SetSearchKeyFromRecord(rec.data());
          if (index->Find(kEqual) == 0 && index->Tree().KeyValid()) duplicate = index;
        }
        if (duplicate != nullptr) {
          if (!skipDuplicates) UdbDatabaseErrorFmt(udberr::kKeyViolation, loc, "Index %s", nullptr, {duplicate->IndexName()});
          result.Skipped.push_back(slots[i]);
          UdbLogger().Log(tableName_, UdbFormat("ReIndex: record at %u left out as a duplicate in Index %s",
                                                {slots[i], duplicate->IndexName()}));
        } else {
          for (int x = 0; x < fresh.Count(); ++x) {
            try {
              fresh.Items(x)->SetSearchKeyFromRecord(rec.data());
              fresh.Items(x)->Insert(slots[i]);
            } catch (const EUdbDatabaseError&) {
              UdbDatabaseErrorFmt(udberr::kInternal, loc, "Failed to add key to Index %s", nullptr,
                                  {fresh.Items(x)->IndexName()});
            }
          }
          ++result.Indexed;
        }
      }
      ReportProgress(static_cast<int>(i + 1), static_cast<int>(slots.size()), lastPercent, cancel);
      if (cancel) UdbDatabaseError(udberr::kCancelled, loc, "The indexes were not rebuilt");
    }
  } catch (...) {
    // The old trees stay in use; the new ones go.
    try {
      fresh.ResetAll();
      ReleaseIndexNodes(fresh, def.IndexIO());
    } catch (const std::exception& e) {
      UdbLogger().Log(tableName_, AnsiString("New index nodes not freed: ") + e.what());
    }
    fresh.Close();
    indexMgr_.WriteRoots();
    indexMgr_.ResetAll();
    throw;
  }
  fresh.WriteRoots();
  fresh.Close();
  ReleaseIndexNodes(indexMgr_, def.IndexIO());
  RebuildIndexManager();
  def.Header()->SetDirty(true);
  readAhead_.Reset();
  recordState_ = 0;
  return result;
}

// ============================================================================
// CopyRawTableData
// ============================================================================

int TUdbDataSet::CopyRawTableData(TUdbDataSet* dest) {
  PAYROLL_ASSERT(dest != nullptr, "Dest table not assigned in CopyRawTableData");
  CheckOpen();
  dest->CheckOpen();
  TDBLogger& log = UdbLogger();
  log.Log(tableName_, "Copying record data - Starting");
  TUdbTableServices* destDb = dest->DataBase();
  bool ownTxn = false;
  if (!dest->Memory() && destDb->DiskMgr() != nullptr && !destDb->InTransaction()) {
    destDb->StartTransaction();
    ownTxn = true;
  }
  int copied = 0, failed = 0;
  try {
    {
      TAccessBracket destBracket(*dest, true);
      TAccessBracket bracket(*this, true);
      std::vector<TUdbAddr> slots;
      tableDef_->RecordIO()->ListBlocks(slots);
      CheckFreeRuns(tableDef_->RecordIO(), slots);
      log.Log(tableName_, UdbFormat("Found %d records (including unallocated and deleted records)",
                                    {static_cast<int>(slots.size())}));
      int lastPercent = 0;
      bool cancel = false;
      TInternalFields& destFields = dest->recordMgr_.Fields();
      for (size_t i = 0; i < slots.size() && !cancel; ++i) {
        ReadIntoRecBuf(slots[i], true);
        if (udbrec::IsLiveRecordOf(recBuf_.data(), recordTag_)) {
          dest->InitRecBuf(nullptr);
          bool lossy = false;
          for (int d = 0; d < destFields.Count(); ++d) {
            TInternalFieldItem* df = destFields.Items(d);
            const auto src = dest->copySourceNames_.find(AnsiUpperCase(df->FieldName()));
            const AnsiString sourceName = src == dest->copySourceNames_.end() ? df->FieldName() : src->second;
            if (sourceName.empty()) continue;
            TInternalFieldItem* sf = recordMgr_.Fields().FindField(sourceName);
            if (sf == nullptr || sf->IsBlob() != df->IsBlob()) continue;
            try {
              if (!sf->IsBlob()) {
                Variant v;
                DataSetGetFieldDataFromRecBufAsVariant(recBuf_.data(), sf->FieldIndex(), v);
                dest->DataSetSetFieldDataToRecBufAsVariant(dest->Rec(), df->FieldIndex(), v);
              } else {
                TMemoryStream ms;
                bool blank = true;
                GetFieldStream(sf->FieldIndex(), blank, &ms);
                dest->DataSetSetFieldStreamFromRecBuf(dest->Rec(), df->FieldIndex(), &ms, blank);
              }
            } catch (const std::exception& e) {
              lossy = true;
              log.Log(tableName_, UdbFormat("Record %d: Error converting %s (%s) to %s (%s)). Message: %s",
                                            {static_cast<int>(i), sf->FieldName(), FieldTypeName(sf->DataType()),
                                             df->FieldName(), FieldTypeName(df->DataType()), AnsiString(e.what())}));
            }
          }
          try {
            dest->AddRecord(false);
            ++copied;
            if (lossy) ++dest->copyLosses_;
          } catch (const std::exception& e) {
            ++failed;
            log.Log(tableName_, UdbFormat("Record %d: Data post exception - %s", {static_cast<int>(i), AnsiString(e.what())}));
          }
        }
        ReportProgress(static_cast<int>(i + 1), static_cast<int>(slots.size()), lastPercent, cancel);
        if (ownTxn && i % 100 == 0 && i > 0 && destDb->InTransaction()) {
          // Commit ends the connection's locks: the brackets take them again.
          dest->FlushHeader();
          destDb->Commit();
          destDb->StartTransaction();
          destDb->LockTable(*dest->tableDef_, kTableWriteLock);
        }
      }
      log.Log(tableName_, "Records Copied " + IntToStr(copied));
    }
    if (ownTxn && destDb->InTransaction()) destDb->Commit();
  } catch (...) {
    if (ownTxn && destDb->InTransaction()) destDb->Rollback();
    throw;
  }
  log.Log(tableName_, "Copying record data - Done");
  if (dataBase_ && !dataBase_->Directory().empty()) log.SaveToFile(dataBase_->Directory() + "dblog.txt");
  return failed;
}

// ============================================================================
// EmptyTable
// ============================================================================

void TUdbDataSet::EmptyTable() {
  CheckOpen();
  // Emptying deletes every record: it needs the right to delete data.
  CheckPrivilegePresent(tableDef_->AccessMask(), kPrivDelete);
  // All or nothing, journalled; the bracket ends (and writes the header)
  // before Done.
  TCatalogueChange change(*dataBase_, memory_);
  InternalEmptyTable();
  change.Done();
}

void TUdbDataSet::InternalEmptyTable() {
  TAccessBracket bracket(*this, true);
  const bool takeHeader = !dataBase_->HeaderLocked();
  if (takeHeader) dataBase_->LockHeader(true);
  struct TUnlock {
    TUdbTableServices* db;
    bool took;
    ~TUnlock() {
      if (!took) return;
      try {
        db->LockHeader(false);
      } catch (const std::exception& e) {
        UdbLogger().Log("TUdbDataSet", AnsiString("Header lock not released: ") + e.what());
      }
    }
  } unlock{dataBase_, takeHeader};

  TTableDef& def = *tableDef_;
  TTableHeader* header = def.Header();
  std::vector<TUdbAddr> slots;
  def.RecordIO()->ListBlocks(slots);
  CheckFreeRuns(def.RecordIO(), slots);
  // Every old tree is read and checked before anything is freed.
  std::vector<std::pair<TUdbAddr, int>> nodes;
  if (!memory_)
    for (int i = 0; i < indexMgr_.Count(); ++i)
      for (TUdbAddr a : TreeNodes(*indexMgr_.Items(i), def.IndexIO()))
        nodes.emplace_back(a, static_cast<int>(indexMgr_.Items(i)->IndexPageSize()));

  def.RecordIO()->Empty(true);
  if (!memory_) {
    def.RecordIO()->SetFirstEmpty(0);
    header->SetRecordFirstEmpty(0);
  }
  header->SetLastRecordID(0);
  if (def.UsesBlobs()) {
    def.BlobIO()->Empty(true);
    if (!memory_) {
      def.BlobIO()->SetFirstEmpty(0);
      header->SetBlobFirstEmpty(0);
    }
  }
  if (memory_)
    def.IndexIO()->Empty(true);
  else
    for (const auto& [a, size] : nodes) def.IndexIO()->ReleaseBlock(a, size);

  indexMgr_.Close();
  indexMgr_.SetSortFunction(SortFunctionFor(sortOrder_));
  indexMgr_.Assign(def.InternalIndexDefs());
  indexMgr_.AssignKeyFields(*def.KeyFields());
  indexMgr_.SetIOInterface(def.IndexIO());
  indexMgr_.SetTableHeader(header);
  indexMgr_.CreateEmptyIndexes();
  indexMgr_.Open();
  indexMgr_.SetCurrentIndexName(indexName_);
  header->SetDirty(true);

  InitRecBuf(nullptr);
  recordState_ = 0;
  currentCopy_.clear();
  readAhead_.Reset();
  atRangeStart_ = atRangeEnd_ = false;
}

// ============================================================================
// restructure
// ============================================================================

// Frees the index nodes (and, for a rebuild, the blob chains) of the table
// as it is before its definition is replaced.
static void ReleaseOldStorage(TUdbDataSet& ds, bool rebuild) {
  ds.DataSetOpen();
  struct TClose {
    TUdbDataSet& ds;
    ~TClose() { ds.CloseDataSet(); }
  } close{ds};
  TAccessBracket bracket(ds, true);
  TTableDef& def = ds.TableDef();
  ReleaseIndexNodes(ds.IndexMgr(), def.IndexIO());
  if (rebuild && def.UsesBlobs()) {
    def.BlobIO()->Empty(true);
    def.BlobIO()->SetFirstEmpty(0);
    def.Header()->SetBlobFirstEmpty(0);
  }
  def.Header()->SetDirty(true);
}

void TUdbDataSet::InternalRestructureTable(const TRestructureDetails& details) {
  const char* loc = "TUdbDataSet.InternalRestructureTable";
  CheckConnected();
  if (!dataBase_->Exclusive()) UdbDatabaseError(udberr::kNotExclusive, loc);
  CheckClosed();
  if (memory_) UdbDatabaseError(udberr::kWrongTableType, loc, tableName_);
  dataBase_->QueryPrivilege(tableName_, 16);
  if (details.NewFieldDefs == nullptr || details.NewIndexDefs == nullptr)
    UdbDatabaseErrorFmt(udberr::kInternal, loc, "%s has not been set or is out of range", nullptr,
                        {"RestructureDetails.NewFieldDefs"});
  if (details.DestFieldDefs == nullptr || details.DestIndexDefs == nullptr)
    UdbDatabaseErrorFmt(udberr::kInternal, loc, "%s has not been set or is out of range", nullptr,
                        {"RestructureDetails.DestFieldDefs"});
  details.DestFieldDefs->Assign(details.NewFieldDefs);
  details.DestIndexDefs->Assign(details.NewIndexDefs);

  AnsiString base = dataBase_->DataBaseName();
  if (const auto dot = base.find_last_of('.'); dot != AnsiString::npos) base = base.substr(0, dot);
  const AnsiString backup = dataBase_->Directory() + base + ".udx";
  dataBase_->CopyDatabase(backup, true);

  // From here on the change is all or nothing (and journalled): the table
  // is closed before Done, so its header is written inside the change.
  TCatalogueChange change(*dataBase_, false);
  TTableDef current;
  current.SetMemory(false);
  dataBase_->OpenTableDef(tableName_, &current);
  std::map<AnsiString, int> generatorIds;
  for (int i = 0; i < current.InternalFields()->Count(); ++i)
    generatorIds[AnsiUpperCase(current.InternalFields()->Items(i)->FieldName())] =
        current.InternalFields()->Items(i)->FieldGeneratorID();
  const int currentBlobSize = current.DefaultBlobSize();
  const TSortOrder currentOrder = current.SortOrder();
  auto keepGeneratorIds = [&] {
    for (int i = 0; i < tableDef_->InternalFields()->Count(); ++i) {
      TInternalFieldItem* f = tableDef_->InternalFields()->Items(i);
      const auto it = generatorIds.find(AnsiUpperCase(f->FieldName()));
      if (it != generatorIds.end()) f->SetFieldGeneratorID(it->second);
    }
  };
  const TRestructureStatus fieldLevel = details.NewFieldDefs->Status();
  const TRestructureStatus indexLevel = details.NewIndexDefs->Status();

  if (fieldLevel >= rsNewItem) {
    dataBase_->CloseTableDef(&current);
    defaultBlobSize_ = details.SetDefaultBlobSize ? details.NewDefaultBlobSize : currentBlobSize;
    sortOrder_ = details.SetSortOrder ? details.NewSortOrder : currentOrder;
    ReleaseOldStorage(*this, true);
    SetTableDef(details.DestFieldDefs, details.DestIndexDefs);
    keepGeneratorIds();
    dataBase_->StoreTableDef(tableDef_.get(), kStoreRebuild);
    copySourceNames_.clear();
    for (int i = 0; i < details.NewFieldDefs->Count(); ++i) {
      TRestructureFieldDef* rf = details.NewFieldDefs->Items(i);
      copySourceNames_[AnsiUpperCase(rf->Name())] = rf->SourceName();
    }
    const int autoInc = tableDef_->InternalFields()->AutoIncFieldIndex();
    autoIncSwitchedOff_ = false;
    if (autoInc >= 0 && !details.AdjustAutoIncCounter) {
      const AnsiString name = tableDef_->InternalFields()->GetField(autoInc)->FieldName();
      autoIncSwitchedOff_ = !copySourceNames_[AnsiUpperCase(name)].empty();
    }
    copyLosses_ = 0;
    int failed = 0;
    {
      DisableControls();
      struct TEnable {
        TUdbDataSet& ds;
        ~TEnable() {
          ds.EnableControls();
          ds.autoIncSwitchedOff_ = false;
          ds.copySourceNames_.clear();
          try {
            ds.CloseDataSet();
          } catch (...) {
          }
        }
      } enable{*this};
      DataSetOpen();
      failed = dataBase_->RebuildTable(tableName_, backup, this);
    }
    // Records that did not fit the new definition are reported, the change
    // itself stays: the backup holds the table as it was.
    change.Done();
    if (failed > 0 || copyLosses_ > 0)
      UdbDatabaseError(udberr::kDataLost, loc,
                       UdbFormat("%d records not copied and %d with values lost; the database before the change is kept in %s",
                                 {failed, copyLosses_, backup}));
    return;
  }
  if (indexLevel >= rsNewItem) {
    dataBase_->CloseTableDef(&current);
    defaultBlobSize_ = currentBlobSize;
    sortOrder_ = currentOrder;
    ReleaseOldStorage(*this, false);
    SetTableDef(details.DestFieldDefs, details.DestIndexDefs);
    keepGeneratorIds();
    dataBase_->StoreTableDef(tableDef_.get(), kStoreNewIndexes);
    {
      DisableControls();
      struct TEnable {
        TUdbDataSet& ds;
        ~TEnable() {
          ds.EnableControls();
          try {
            ds.CloseDataSet();
          } catch (...) {
          }
        }
      } enable{*this};
      DataSetOpen();
      ReIndex(true);
    }
    change.Done();
    return;
  }
  if (fieldLevel == rsDefinitionOnly || indexLevel == rsDefinitionOnly) {
    TTableDef changed;
    changed.Assign(&current);
    dataBase_->CloseTableDef(&current);
    PAYROLL_ASSERT(details.NewFieldDefs->Count() == changed.InternalFields()->Count(),
                   "Unexpected mismatch in restructure field defs count and table defs count");
    for (int i = 0; i < details.NewFieldDefs->Count(); ++i) {
      TRestructureFieldDef* rf = details.NewFieldDefs->Items(i);
      if (rf->Status() != rsDefinitionOnly) continue;
      TInternalFieldItem* f = changed.InternalFields()->FindField(rf->SourceName());
      PAYROLL_ASSERT(f != nullptr, "Field def not found for updating");
      for (int k = 0; k < changed.KeyFields()->Count(); ++k)
        if (AnsiSameText(changed.KeyFields()->Items(k)->FieldName(), f->FieldName()))
          changed.KeyFields()->Items(k)->SetFieldName(rf->Name());
      f->SetFieldName(rf->Name());
      f->SetFieldIndex(i);
      f->SetRequired(rf->Required());
    }
    if (indexLevel == rsDefinitionOnly) {
      for (int i = 0; i < details.NewIndexDefs->Count(); ++i) {
        TRestructureIndexDef* ri = details.NewIndexDefs->Items(i);
        if (ri->Status() != rsDefinitionOnly || ri->SourceDef() == nullptr) continue;
        TInternalIndexDef* x = changed.InternalIndexDefs()->FindIndexDef(ri->SourceDef()->Name());
        if (x == nullptr || AnsiSameText(x->IndexName(), ri->Name())) continue;
        for (int k = 0; k < changed.KeyFields()->Count(); ++k)
          if (AnsiSameText(changed.KeyFields()->Items(k)->IndexName(), x->IndexName()))
            changed.KeyFields()->Items(k)->SetIndexName(ri->Name());
        x->SetIndexName(ri->Name());
      }
    }
    dataBase_->StoreTableDef(&changed, kStoreDefinition);
    change.Done();
    return;
  }
  dataBase_->CloseTableDef(&current);
  change.Done();
}
