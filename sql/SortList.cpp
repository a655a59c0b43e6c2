#include "sql/SortList.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/core/AnsiText.h"
#include "platform/core/ByteBuffer.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"
#include "platform/core/TempFiles.h"
#include "sql/BookmarkHandles.h"
#include "sql/MemMapFile.h"
#include "sql/ResultSet.h"
#include "sql/SqlMessages.h"

namespace {

constexpr int kSourceSize = 4;

template <typename T>
T Load(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

int Sign(int c) { return (c > 0) - (c < 0); }

// A total order on doubles (std::sort needs one): NaN after every number.
int CompareFloat(double a, double b) {
  if (a < b) return -1;
  if (a > b) return 1;
  if (a == b) return 0;
  return std::isnan(a) - std::isnan(b);
}

}  // namespace

// ---- TSrtField -------------------------------------------------------------------

TsqSortList* TSrtField::SortList() const { return owner_->SortList(); }

bool TSrtField::Read(void* buffer) { return SortList()->GetFieldData(this, buffer); }

void TSrtField::Write(const void* buffer) { SortList()->SetFieldData(this, buffer); }

AnsiString TSrtStringField::GetAsString() {
  TByteBuffer buf(static_cast<size_t>(DataSize()));
  if (buf.size() == 0 || !Read(buf.data())) return AnsiString();
  return AnsiString(buf.data(), strnlen(buf.data(), buf.size()));
}

void TSrtStringField::SetAsString(const AnsiString& value) {
  // Zero-padded to the key's end, so that equal texts have equal key bytes.
  TByteBuffer buf(static_cast<size_t>(DataSize()));
  if (buf.size() == 0) return;
  const size_t room = buf.size() - 1;
  const size_t used = std::min(value.size(), room);
  std::memcpy(buf.data(), value.data(), used);
  std::memset(buf.data() + used, 0, buf.size() - used);
  Write(buf.data());
}

AnsiString TSrtFloatField::GetAsString() { return FloatToStr(GetAsFloat()); }

void TSrtFloatField::SetAsString(const AnsiString& value) {
  double v = 0;
  if (!value.empty() && !TryStrToFloat(value, v)) SqlQueryError(kSqlInvalidFloat, {value});
  SetAsFloat(v);
}

double TSrtFloatField::GetAsFloat() {
  double v = 0;
  return Read(&v) ? v : 0;
}

void TSrtFloatField::SetAsFloat(double value) {
  // Keys are equal when their bytes are (IsEqual): a negative zero (0 times
  // a negative number) is stored as the zero it equals.
  if (value == 0) value = 0;
  Write(&value);
}

AnsiString TSrtIntegerField::GetAsString() { return IntToStr(GetAsInteger()); }

void TSrtIntegerField::SetAsString(const AnsiString& value) {
  int v;
  if (!TryStrToInt(value, v)) SqlQueryError(kSqlInvalidInteger, {value});
  SetAsInteger(v);
}

std::int32_t TSrtIntegerField::GetAsInteger() {
  std::int32_t v = 0;
  return Read(&v) ? v : 0;
}

void TSrtIntegerField::SetAsInteger(std::int32_t value) { Write(&value); }

AnsiString TSrtBooleanField::GetAsString() { return BooleanKeyText(GetAsBoolean()); }

void TSrtBooleanField::SetAsString(const AnsiString& value) {
  SetAsBoolean(BooleanFromKeyText(value));
}

bool TSrtBooleanField::GetAsBoolean() {
  std::uint16_t v = 0;
  return Read(&v) && v != 0;
}

void TSrtBooleanField::SetAsBoolean(bool value) {
  const std::uint16_t v = value ? 1 : 0;
  Write(&v);
}

// ---- TSrtFields ------------------------------------------------------------------

TSrtField* TSrtFields::Add(TExprType dataType) {
  std::unique_ptr<TSrtField> f;
  switch (dataType) {
    case ttString: f = std::make_unique<TSrtStringField>(this); break;
    case ttFloat: f = std::make_unique<TSrtFloatField>(this); break;
    case ttInteger: f = std::make_unique<TSrtIntegerField>(this); break;
    case ttBoolean: f = std::make_unique<TSrtBooleanField>(this); break;
  }
  if (!f) throw EInvalidOperation("Unknown sort key type " + IntToStr(dataType));
  f->dataType_ = dataType;
  items_.push_back(std::move(f));
  return items_.back().get();
}

TSrtField* TSrtFields::Items(int index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
  return items_[static_cast<size_t>(index)].get();
}

// ---- TsqSortList -----------------------------------------------------------------

TsqSortList::TsqSortList(bool usesBookmarks) : fields_(this), usesBookmarks_(usesBookmarks) {}

TsqSortList::~TsqSortList() = default;

TSrtField* TsqSortList::AddField(TExprType dataType, int size, bool desc) {
  // S1: the row layout cannot change under existing rows.
  if (GetRecordCount() > 0) throw EInvalidOperation("Cannot add a sort key to a list with rows");
  TSrtField* f = fields_.Add(dataType);
  switch (dataType) {
    case ttString: f->dataSize_ = (size < 0 ? 0 : size) + 1; break;
    case ttFloat: f->dataSize_ = 8; break;
    case ttInteger: f->dataSize_ = 4; break;
    case ttBoolean: f->dataSize_ = 2; break;
  }
  f->desc_ = desc;
  f->offset_ = recordSize_;
  recordSize_ += f->dataSize_;
  return f;
}

void TsqSortList::SetRecNo(int value) {
  if (value < 1 || value > GetRecordCount()) SqlQueryError(kSqlRecnoOutOfRange);
  recNo_ = value;
}

void TsqSortList::CheckRow(int i) const {
  if (i < 1 || i > GetRecordCount()) SqlQueryError(kSqlRecnoOutOfRange);
}

bool TsqSortList::GetFieldData(const TSrtField* field, void* buffer) {
  const char* row = GetActiveBuffer();
  if (!row) return false;
  std::memcpy(buffer, row + field->Offset(), static_cast<size_t>(field->DataSize()));
  return true;
}

void TsqSortList::SetFieldData(const TSrtField* field, const void* buffer) {
  char* row = GetActiveBuffer();
  if (!row) return;
  std::memcpy(row + field->Offset(), buffer, static_cast<size_t>(field->DataSize()));
  StoreActiveBuffer();
}

void TsqSortList::SetSourceRecNo(std::int32_t value) {
  char* row = GetActiveBuffer();
  if (!row) return;
  std::memcpy(row, &value, kSourceSize);
  StoreActiveBuffer();
}

std::int32_t TsqSortList::GetSourceRecNo() {
  const char* row = GetActiveBuffer();
  return row ? Load<std::int32_t>(row) : 0;
}

void TsqSortList::Clear() {
  ReleaseBookmarks();
  ClearRows();
  fields_.Clear();
  recordSize_ = kSourceSize;
  recNo_ = -1;
}

void TsqSortList::ReleaseBookmarks() {
  if (!usesBookmarks_ || !bookmarkDataSet_) return;
  for (int i = 0, n = GetRecordCount(); i < n; ++i) {
    ReleaseBookmarkHandle(Load<std::int32_t>(RowAt(i)));
  }
}

bool TsqSortList::IsEqual(int i, int j) {
  CheckRow(i);
  CheckRow(j);
  const size_t keyBytes = static_cast<size_t>(recordSize_ - kSourceSize);
  // RowAt of the file kind points into the view: both stay valid (no write).
  return std::memcmp(RowAt(i - 1) + kSourceSize, RowAt(j - 1) + kSourceSize, keyBytes) == 0;
}

template <typename StringOrder>
int TsqSortList::CompareKeys(const char* a, const char* b, StringOrder&& strings) const {
  int stringKey = 0;
  for (const TKeyLayout& k : keys_) {
    const char* pa = a + k.offset;
    const char* pb = b + k.offset;
    int c = 0;
    switch (k.type) {
      case ttString: {
        // The same bytes are the same text, in either order (the usual case
        // among the rows of one group).
        if (std::memcmp(pa, pb, static_cast<size_t>(k.size)) != 0) c = strings(stringKey, pa, pb, k.size);
        ++stringKey;
        break;
      }
      case ttFloat: c = CompareFloat(Load<double>(pa), Load<double>(pb)); break;
      case ttInteger: {
        const std::int32_t x = Load<std::int32_t>(pa), y = Load<std::int32_t>(pb);
        c = (x > y) - (x < y);
        break;
      }
      case ttBoolean: {
        const int x = Load<std::uint16_t>(pa) != 0, y = Load<std::uint16_t>(pb) != 0;
        c = x - y;
        break;
      }
    }
    if (c != 0) return k.desc ? -c : c;
  }
  return 0;
}

int TsqSortList::CompareRows(const char* a, const char* b) const {
  return CompareKeys(a, b, [this](int, const char* pa, const char* pb, int keySize) {
    const size_t size = static_cast<size_t>(keySize);
    const size_t la = strnlen(pa, size), lb = strnlen(pb, size);
    if (useAnsiSort_) return Sign(CompareAnsiKey(pa, la, pb, lb, false));
    const int c = Sign(std::memcmp(pa, pb, std::min(la, lb)));
    return c != 0 ? c : (la > lb) - (la < lb);
  });
}

bool TsqSortList::AnsiKeyed() const {
  return useAnsiSort_ && std::any_of(keys_.begin(), keys_.end(), [](const TKeyLayout& k) { return k.type == ttString; });
}

std::vector<std::uint32_t> TsqSortList::AnsiKeyedOrder(const std::vector<const char*>& rows) const {
  std::vector<const TKeyLayout*> stringKeys;
  for (const TKeyLayout& k : keys_)
    if (k.type == ttString) stringKeys.push_back(&k);
  const size_t per = stringKeys.size();
  // Row i's key for string key j is weights[start[i * per + j]] up to the
  // next start.
  std::string weights;
  std::vector<size_t> start;
  start.reserve(rows.size() * per + 1);
  for (const char* row : rows) {
    for (const TKeyLayout* k : stringKeys) {
      const char* text = row + k->offset;
      start.push_back(weights.size());
      AppendAnsiSortKey(text, strnlen(text, static_cast<size_t>(k->size)), weights);
    }
  }
  start.push_back(weights.size());
  // When the first key is a string, its weights' first eight bytes (zero
  // filled, read as one big-endian number) decide most comparisons alone:
  // numbers that differ order as the weights do, a shorter key first.
  const bool lead = !keys_.empty() && keys_.front().type == ttString;
  const bool leadDesc = lead && keys_.front().desc;
  std::vector<std::uint64_t> prefix(lead ? rows.size() : 0);
  for (size_t i = 0; i < prefix.size(); ++i) {
    const size_t from = start[i * per], to = std::min(start[i * per + 1], from + 8);
    std::uint64_t p = 0;
    for (size_t b = from; b < from + 8; ++b)
      p = (p << 8) | (b < to ? static_cast<std::uint8_t>(weights[b]) : 0u);
    prefix[i] = p;
  }
  std::vector<std::uint32_t> order(rows.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  std::sort(order.begin(), order.end(), [&](std::uint32_t x, std::uint32_t y) {
    if (lead && prefix[x] != prefix[y]) return leadDesc ? prefix[x] > prefix[y] : prefix[x] < prefix[y];
    return CompareKeys(rows[x], rows[y], [&](int j, const char*, const char*, int) {
             const size_t kx = x * per + static_cast<size_t>(j), ky = y * per + static_cast<size_t>(j);
             const size_t lx = start[kx + 1] - start[kx], ly = start[ky + 1] - start[ky];
             const int c = Sign(std::memcmp(weights.data() + start[kx], weights.data() + start[ky], std::min(lx, ly)));
             return c != 0 ? c : (lx > ly) - (lx < ly);
           }) < 0;
  });
  return order;
}

void TsqSortList::Sort() {
  if (fields_.Count() == 0 || GetRecordCount() < 2) return;
  keys_.clear();
  for (int k = 0; k < fields_.Count(); ++k) {
    const TSrtField* f = fields_.Items(k);
    keys_.push_back({f->DataType(), f->Offset(), f->DataSize(), f->Desc()});
  }
  SortRows();
}

// ---- TMemSortList ----------------------------------------------------------------

TMemSortList::TMemSortList(bool usesBookmarks) : TsqSortList(usesBookmarks) {}

TMemSortList::~TMemSortList() { ReleaseBookmarks(); }

char* TMemSortList::GetActiveBuffer() { return HasCurrentRow() ? rows_[RecNo() - 1] : nullptr; }

void TMemSortList::Insert() {
  const size_t size = static_cast<size_t>(RecordSize());
  if (blocks_.empty() || blockUsed_ + size > blockSize_) {
    blockSize_ = std::max<size_t>(size, 64 * 1024);
    blocks_.push_back(std::make_unique<char[]>(blockSize_));  // zeroed
    blockUsed_ = 0;
  }
  rows_.push_back(blocks_.back().get() + blockUsed_);
  blockUsed_ += size;
  SetRecNoUnchecked(GetRecordCount());
}

void TMemSortList::Exchange(int i, int j) {
  CheckRow(i);
  CheckRow(j);
  std::swap(rows_[static_cast<size_t>(i - 1)], rows_[static_cast<size_t>(j - 1)]);
}

void TMemSortList::SortRows() {
  if (AnsiKeyed()) {
    const std::vector<std::uint32_t> order = AnsiKeyedOrder(std::vector<const char*>(rows_.begin(), rows_.end()));
    std::vector<char*> sorted(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) sorted[i] = rows_[order[i]];
    rows_.swap(sorted);
    return;
  }
  std::sort(rows_.begin(), rows_.end(),
            [this](const char* a, const char* b) { return CompareRows(a, b) < 0; });
}

void TMemSortList::ClearRows() {
  rows_.clear();
  blocks_.clear();
  blockUsed_ = blockSize_ = 0;
}

// ---- TFileSortList ---------------------------------------------------------------

TFileSortList::TFileSortList(bool usesBookmarks, std::int64_t mapFileSize)
    : TsqSortList(usesBookmarks) {
  try {
    temp_ = std::make_unique<TTempFile>(kSqlTempPrefix);
  } catch (const EFileStreamError&) {
    SqlQueryError(kSqlFileOpenFailed);
  }
  map_ = std::make_unique<TMemMapFile>(temp_->Handle(), temp_->FileName(),
                                       mapFileSize > 0 ? mapFileSize : kDefaultMapFileSize);
}

TFileSortList::~TFileSortList() {
  ReleaseBookmarks();
  map_.reset();  // S3: the view goes before the file
  temp_.reset();
}

AnsiString TFileSortList::TempFileName() const { return temp_ ? temp_->FileName() : AnsiString(); }

const char* TFileSortList::RowAt(int index) {
  return map_->View(rows_[static_cast<size_t>(index)], RecordSize());
}

char* TFileSortList::GetActiveBuffer() {
  if (!HasCurrentRow()) return nullptr;
  rowBuffer_.resize(static_cast<size_t>(RecordSize()));
  map_->Seek(rows_[static_cast<size_t>(RecNo() - 1)]);
  map_->Read(rowBuffer_.data(), RecordSize());
  return rowBuffer_.data();
}

void TFileSortList::StoreActiveBuffer() {
  map_->Seek(rows_[static_cast<size_t>(RecNo() - 1)]);
  map_->Write(rowBuffer_.data(), RecordSize());
}

void TFileSortList::Insert() {
  rowBuffer_.assign(static_cast<size_t>(RecordSize()), 0);
  const std::int64_t pos = map_->HighWater();
  map_->Seek(pos);
  map_->Write(rowBuffer_.data(), RecordSize());  // S3: grows the view when full
  rows_.push_back(pos);
  SetRecNoUnchecked(GetRecordCount());
}

void TFileSortList::Exchange(int i, int j) {
  CheckRow(i);
  CheckRow(j);
  std::swap(rows_[static_cast<size_t>(i - 1)], rows_[static_cast<size_t>(j - 1)]);
}

void TFileSortList::SortRows() {
  // Nothing is written while sorting, so one look at the view serves.
  const char* base = map_->View(0, map_->HighWater());
  if (AnsiKeyed()) {
    std::vector<const char*> at(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i) at[i] = base + rows_[i];
    const std::vector<std::uint32_t> order = AnsiKeyedOrder(at);
    std::vector<std::int64_t> sorted(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) sorted[i] = rows_[order[i]];
    rows_.swap(sorted);
    return;
  }
  std::sort(rows_.begin(), rows_.end(), [this, base](std::int64_t a, std::int64_t b) {
    return CompareRows(base + a, base + b) < 0;
  });
}

void TFileSortList::ClearRows() {
  rows_.clear();
  map_->Rewind();
}
