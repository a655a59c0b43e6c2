#include "sql/ResultSet.h"

#include <cstring>

#include "platform/core/Exceptions.h"
#include "platform/core/TempFiles.h"
#include "sql/MemMapFile.h"
#include "sql/SortList.h"
#include "sql/SqlMessages.h"

const char* const kSqlTempPrefix = "~sq";

namespace {

// Cast types (tokens of the SQL grammar) that decide a column's type.
enum : int {
  kCastChar = 343,
  kCastInteger = 344,
  kCastBoolean = 345,
  kCastDate = 346,
  kCastTime = 347,
  kCastDateTime = 348,
  kCastFloat = 349,
  kCastMoney = 355,
};

std::uint16_t FlagAt(const char* row, int offset) {
  std::uint16_t flag;
  std::memcpy(&flag, row + offset, sizeof flag);
  return flag;
}

}  // namespace

// ---- TResultSet ------------------------------------------------------------------

TResultSet::TResultSet() : fields_(this) {}

TResultSet::~TResultSet() = default;

void TResultSet::SetRecNo(int value) {
  if (value == recNo_) return;
  if (value < 1 || value > GetRecordCount()) SqlQueryError(kSqlRecnoOutOfRange);
  recNo_ = value;
}

bool TResultSet::GetFieldData(const TsqField* field, void* buffer) {
  const char* row = LoadRow();
  if (!row || FlagAt(row, field->Offset()) == 0) return false;
  if (buffer)
    std::memcpy(buffer, row + field->Offset() + kColumnFlagSize,
                static_cast<size_t>(field->DataSize()));
  return true;
}

void TResultSet::SetFieldData(const TsqField* field, const void* buffer) {
  if (!buffer) return;
  char* row = LoadRow();
  if (!row) return;
  std::memcpy(row + field->Offset(), &kColumnHasValue, kColumnFlagSize);
  std::memcpy(row + field->Offset() + kColumnFlagSize, buffer,
              static_cast<size_t>(field->DataSize()));
  StoreRow();
}

bool TResultSet::IsNull(const TsqField* field) {
  const char* row = LoadRow();
  return row && FlagAt(row, field->Offset()) == 0;
}

void TResultSet::Clear() {
  fields_.Clear();
  ResetLayout();
}

TBookmarkHandle TResultSet::ReferenceOf(const char* row) {
  TBookmarkHandle ref;
  std::memcpy(&ref, row, sizeof ref);
  return ref;
}

void TResultSet::ReleaseReference(TBookmarkHandle ref) {
  if (ref >= 1 && sourceDataSet_) ReleaseBookmarkHandle(ref);
}

void TResultSet::SetSourceBookmark(TBookmarkHandle ref) {
  char* row = LoadRow();
  if (!row) return;
  ReleaseReference(ReferenceOf(row));
  std::memcpy(row, &ref, sizeof ref);
  StoreRow();
}

TBookmarkHandle TResultSet::GetSourceBookmark() {
  const char* row = LoadRow();
  return row ? ReferenceOf(row) : 0;
}

void TResultSet::FreeSourceBookmark() { SetSourceBookmark(0); }

TsqField* TResultSet::FieldByName(const AnsiString& name) const {
  TsqField* f = FindField(name);
  if (!f) SqlQueryError(kSqlFieldNotFound, {name});
  return f;
}

TsqField* TResultSet::AddField(const AnsiString& fieldName, const AnsiString& alias,
                               bool useDisplayLabel, int castLength, int castType,
                               std::uint8_t columnFlag, TField* sourceField, int size,
                               TExprType dataType) {
  // R1: a row's layout cannot change under existing rows.
  if (GetRecordCount() > 0) throw EInvalidOperation("Cannot add a column to a result with rows");
  // The cast decides the stored type, and with it the column's class.
  switch (castType) {
    case kCastChar: dataType = ttString; break;
    case kCastInteger: dataType = ttInteger; break;
    case kCastBoolean: dataType = ttBoolean; break;
    case kCastDate: case kCastTime: case kCastDateTime: case kCastFloat: case kCastMoney:
      dataType = ttFloat;
      break;
    default: break;
  }
  TsqField* f = fields_.Add(dataType);
  f->SetFieldName(fieldName);
  f->SetAlias(alias);
  f->SetSourceField(sourceField);
  f->SetColumnFlag(columnFlag);
  f->SetCastType(castType);
  f->SetCastLength(castLength);
  f->SetUseDisplayLabel(useDisplayLabel);
  int dataSize = 0;
  switch (dataType) {
    case ttString: dataSize = size < 0 ? 0 : size; break;
    case ttFloat: dataSize = 8; break;
    case ttInteger: dataSize = 4; break;
    case ttBoolean: dataSize = 2; break;
  }
  f->SetLayout(dataType, dataSize, recordSize_);
  recordSize_ += kColumnFlagSize + dataSize + (dataSize & 1);
  return f;
}

std::vector<int> TResultSet::SortOrder(TsqSortList& sortList) {
  const int n = GetRecordCount();
  if (sortList.GetRecordCount() != n) SqlQueryError(kSqlRecnoOutOfRange);
  std::vector<int> order;
  order.reserve(static_cast<size_t>(n));
  std::vector<bool> seen(static_cast<size_t>(n), false);
  for (int i = 1; i <= n; ++i) {
    sortList.SetRecNo(i);
    const int src = sortList.GetSourceRecNo();
    if (src < 1 || src > n || seen[src - 1]) SqlQueryError(kSqlRecnoOutOfRange);
    seen[src - 1] = true;
    order.push_back(src - 1);
  }
  return order;
}

void TResultSet::KeepRows(const std::vector<char>& keep) {
  const int rows = GetRecordCount();
  if (static_cast<int>(keep.size()) != rows) SqlQueryError(kSqlRecnoOutOfRange);
  std::vector<int> kept = ReleaseDropped(keep);
  if (static_cast<int>(kept.size()) == rows) return;
  KeepOnly(kept);
  SetRecNoUnchecked(GetRecordCount());
}

std::vector<int> TResultSet::ReleaseDropped(const std::vector<char>& keep) {
  const int rows = GetRecordCount();
  std::vector<int> kept;
  for (int r = 0; r < rows; ++r)
    if (keep[static_cast<size_t>(r)]) kept.push_back(r);
  if (static_cast<int>(kept.size()) == rows) return kept;
  const int current = recNo_;
  for (int r = rows; r >= 1; --r) {
    if (keep[static_cast<size_t>(r - 1)]) continue;
    recNo_ = r;
    ReleaseReference(ReferenceOf(LoadRow()));
  }
  recNo_ = current;
  return kept;
}

// ---- TMemResultSet ---------------------------------------------------------------

TMemResultSet::~TMemResultSet() { Clear(); }

char* TMemResultSet::LoadRow() { return HasCurrentRow() ? rows_[RecNo() - 1].get() : nullptr; }

void TMemResultSet::Insert() {
  rows_.push_back(std::make_unique<char[]>(static_cast<size_t>(RecordSize())));  // zeroed
  SetRecNoUnchecked(GetRecordCount());
}

void TMemResultSet::Delete() {
  if (!HasCurrentRow()) return;
  ReleaseReference(ReferenceOf(rows_[RecNo() - 1].get()));
  rows_.erase(rows_.begin() + (RecNo() - 1));
  if (RecNo() > GetRecordCount()) SetRecNoUnchecked(GetRecordCount());
}

void TMemResultSet::KeepOnly(const std::vector<int>& kept) {
  std::vector<std::unique_ptr<char[]>> left;
  left.reserve(kept.size());
  for (int i : kept) left.push_back(std::move(rows_[static_cast<size_t>(i)]));
  rows_.swap(left);
}

void TMemResultSet::ClearRows() {
  for (auto& row : rows_) ReleaseReference(ReferenceOf(row.get()));
  rows_.clear();
  SetRecNoUnchecked(-1);
}

void TMemResultSet::Clear() {
  ClearRows();
  TResultSet::Clear();
}

void TMemResultSet::SortWithList(TsqSortList& sortList) {
  std::vector<int> order = SortOrder(sortList);
  std::vector<std::unique_ptr<char[]>> sorted;
  sorted.reserve(rows_.size());
  for (int i : order) sorted.push_back(std::move(rows_[static_cast<size_t>(i)]));
  rows_.swap(sorted);
}

// ---- TFileResultSet --------------------------------------------------------------

TFileResultSet::TFileResultSet(std::int64_t mapFileSize)
    : mapFileSize_(mapFileSize > 0 ? mapFileSize : kDefaultMapFileSize) {
  OpenFile();
}

TFileResultSet::~TFileResultSet() {
  ReleaseAllReferences();
  CloseFile();
}

void TFileResultSet::OpenFile() {
  try {
    temp_ = std::make_unique<TTempFile>(kSqlTempPrefix);
  } catch (const EFileStreamError&) {
    SqlQueryError(kSqlFileOpenFailed);
  }
  map_ = std::make_unique<TMemMapFile>(temp_->Handle(), temp_->FileName(), mapFileSize_);
}

void TFileResultSet::CloseFile() noexcept {
  map_.reset();  // the view goes before the file
  temp_.reset();
}

AnsiString TFileResultSet::TempFileName() const { return temp_ ? temp_->FileName() : AnsiString(); }

char* TFileResultSet::LoadRow() {
  if (!HasCurrentRow()) return nullptr;
  rowBuffer_.resize(static_cast<size_t>(RecordSize()));
  map_->Seek(rows_[static_cast<size_t>(RecNo() - 1)]);
  map_->Read(rowBuffer_.data(), RecordSize());
  return rowBuffer_.data();
}

void TFileResultSet::StoreRow() {
  map_->Seek(rows_[static_cast<size_t>(RecNo() - 1)]);
  map_->Write(rowBuffer_.data(), RecordSize());
}

void TFileResultSet::Insert() {
  if (!map_) OpenFile();
  rowBuffer_.assign(static_cast<size_t>(RecordSize()), 0);
  const std::int64_t pos = map_->HighWater();
  map_->Seek(pos);
  map_->Write(rowBuffer_.data(), RecordSize());  // R4: grows the view when full
  rows_.push_back(pos);
  SetRecNoUnchecked(GetRecordCount());
}

void TFileResultSet::Delete() {
  if (!HasCurrentRow()) return;
  ReleaseReference(ReferenceOf(LoadRow()));
  rows_.erase(rows_.begin() + (RecNo() - 1));
  if (RecNo() > GetRecordCount()) SetRecNoUnchecked(GetRecordCount());
}

void TFileResultSet::KeepOnly(const std::vector<int>& kept) {
  std::vector<std::int64_t> left;
  left.reserve(kept.size());
  for (int i : kept) left.push_back(rows_[static_cast<size_t>(i)]);
  rows_.swap(left);
}

void TFileResultSet::ReleaseAllReferences() {
  if (!map_ || !SourceDataSet()) return;
  for (std::int64_t pos : rows_) ReleaseReference(ReferenceOf(map_->View(pos, kRowReferenceSize)));
}

void TFileResultSet::ClearRows() {
  ReleaseAllReferences();
  rows_.clear();
  if (map_) map_->Rewind();
  SetRecNoUnchecked(-1);
}

void TFileResultSet::Clear() {
  ReleaseAllReferences();
  rows_.clear();
  CloseFile();
  rowBuffer_.clear();
  TResultSet::Clear();
}

void TFileResultSet::SortWithList(TsqSortList& sortList) {
  std::vector<int> order = SortOrder(sortList);
  std::vector<std::int64_t> sorted;
  sorted.reserve(rows_.size());
  for (int i : order) sorted.push_back(rows_[static_cast<size_t>(i)]);
  rows_.swap(sorted);
}
