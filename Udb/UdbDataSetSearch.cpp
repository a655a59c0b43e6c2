// TUdbDataSet: key searches, Locate, record comparison and key ranges (see
// UdbDataSet.h).
//
// A range is two bound records (RangeStartRec, RangeEndRec) whose key
// fields hold the bound values; a key field flagged lowest (2) on the start
// side or highest (4) on the end side is open there.  ApplyRange turns them
// into the bound keys of the current index and per key part a modifier (0
// low, 1 exact, 2 high) that the key comparison honours, so a record lies
// in the range when start <= its key <= end under those modifiers.
#include <algorithm>
#include <cstring>

#include "Udb/DBLogger.h"
#include "Udb/RestructureDefs.h"
#include "Udb/UdbDataSetInt.h"
#include "platform/core/AnsiText.h"
#include "platform/data/FieldDefs.h"

using namespace udbcur;

// ============================================================================
// ranges
// ============================================================================

std::uint8_t* TUdbDataSet::GetRangeBuffer(bool side) {
  CheckOpen();
  return side ? rangeEndRec_.data() : rangeStartRec_.data();
}

TKeyModifiers TUdbDataSet::BoundParts(TIndexItem& index, const std::uint8_t* buf, bool side) const {
  const TKeyFields& keys = *index.KeyFields();
  TKeyModifiers parts(static_cast<size_t>(keys.Count()), 1);
  for (int k = 0; k < keys.Count(); ++k) {
    const TKeyFieldItem* part = keys.Items(k);
    std::uint8_t flag;
    if (part->Hidden() || part->PhysicalFieldNo() < 0)
      flag = side ? kFlagHighest : kFlagLowest;
    else
      flag = buf[part->NullFlagOffset()];
    parts[static_cast<size_t>(k)] = flag == kFlagLowest ? 0 : flag == kFlagHighest ? 2 : 1;
  }
  return parts;
}

// The current index key's place against a bound: < 0 below it, > 0 above.
int TUdbDataSet::CompareWithRangeKey(TIndexItem& index, bool side) {
  const TKeyModifiers& mods = side ? rangeEndParts_ : rangeStartParts_;
  const std::vector<std::uint8_t>& key = side ? rangeEndKey_ : rangeStartKey_;
  return -index.Compare(key.data(), index.CurrentKey(), &mods);
}

bool TUdbDataSet::WithinRange(TIndexItem& index) {
  if (!rangeSet_) return true;
  if (!rangeNotEmpty_ || !index.Tree().KeyValid()) return false;
  return CompareWithRangeKey(index, false) >= 0 && CompareWithRangeKey(index, true) <= 0;
}

void TUdbDataSet::ApplyRange(bool active) {
  CheckOpen();
  if (active) {
    TIndexItem* index = indexMgr_.CurrentIndex();
    rangeStartParts_ = BoundParts(*index, rangeStartRec_.data(), false);
    rangeEndParts_ = BoundParts(*index, rangeEndRec_.data(), true);
    // Bound values are built as values: a flag of 2 or 4 carries no data.
    std::vector<std::uint8_t> start(rangeStartRec_), end(rangeEndRec_);
    for (int i = 0; i < GetFieldCount(); ++i) {
      const int flag = recordMgr_.Fields().Items(i)->NullFlagOffset();
      if (start[static_cast<size_t>(flag)] > kFlagValue) start[static_cast<size_t>(flag)] = kFlagNull;
      if (end[static_cast<size_t>(flag)] > kFlagValue) end[static_cast<size_t>(flag)] = kFlagNull;
    }
    std::fill(rangeStartKey_.begin(), rangeStartKey_.end(), 0);
    std::fill(rangeEndKey_.begin(), rangeEndKey_.end(), 0);
    index->BuildKey(start.data(), rangeStartKey_.data());
    index->BuildKey(end.data(), rangeEndKey_.data());
    // An open part compares by its modifier alone, so the two modifier
    // lists decide the order of the bounds where a part is open.
    rangeNotEmpty_ = index->Compare(rangeStartKey_.data(), rangeEndKey_.data(), &rangeStartParts_) <= 0 &&
                     index->Compare(rangeEndKey_.data(), rangeStartKey_.data(), &rangeEndParts_) >= 0;
  } else {
    CancelRange();
  }
  rangeSet_ = active;
  atRangeStart_ = atRangeEnd_ = false;
  readAhead_.Reset();
  if (FilterActive()) InternalPrepareFilter();
}

void TUdbDataSet::CancelRange() {
  rangeSet_ = rangeNotEmpty_ = false;
  if (rangeStartRec_.empty()) return;
  InitLowRecord(rangeStartRec_.data());
  InitHighRecord(rangeEndRec_.data());
}

bool TUdbDataSet::MoveToRangeEnd(bool side) {
  CheckOpen();
  TIndexItem* index = indexMgr_.FindIndex(indexName_);
  if (index == nullptr) UdbDatabaseErrorFmt(udberr::kIndexMissing, "TUdbDataSet.MoveToRangeEnd", "Index %s", nullptr, {indexName_});
  TAccessBracket bracket(*this, false);
  if (side)
    index->SetSearchKeyFromKey(rangeEndKey_.data(), &rangeEndParts_);
  else
    index->SetSearchKeyFromKey(rangeStartKey_.data(), &rangeStartParts_);
  if (index->Find(side ? kLessOrEqual : kGreaterOrEqual) != 0 || !index->Tree().KeyValid()) return false;
  const TUdbAddr address = index->CurrentRecordAddress();
  if (address == 0) return false;
  ReadIntoRecBuf(address, true);
  const int recNo = index->CurrentRecNo();
  SetTrailer(Rec(), recNo, address);
  recordState_ = 1;
  SetTrailer(side ? rangeEndRec_.data() : rangeStartRec_.data(), recNo, address);
  (side ? atRangeEnd_ : atRangeStart_) = true;
  return true;
}

int TUdbDataSet::GetRangeEndRecNo(bool side) {
  if (!rangeSet_ || !rangeNotEmpty_) return 0;
  std::uint8_t* bound = side ? rangeEndRec_.data() : rangeStartRec_.data();
  if (side ? atRangeEnd_ : atRangeStart_) return TrailerRecNo(bound, RecordSize());
  TIndexItem* index = indexMgr_.FindIndex(indexName_);
  if (index == nullptr)
    UdbDatabaseErrorFmt(udberr::kIndexMissing, "TUdbDataSet.GetRangeEndRecNo", "Index %s", nullptr, {indexName_});
  TAccessBracket bracket(*this, false);
  if (side)
    index->SetSearchKeyFromKey(rangeEndKey_.data(), &rangeEndParts_);
  else
    index->SetSearchKeyFromKey(rangeStartKey_.data(), &rangeStartParts_);
  int recNo = 0;
  if (index->Find(side ? kLessOrEqual : kGreaterOrEqual) == 0 && index->Tree().KeyValid() &&
      WithinRange(*index)) {
    recNo = index->CurrentRecNo();
    SetTrailer(bound, recNo, index->CurrentRecordAddress());
    (side ? atRangeEnd_ : atRangeStart_) = true;
  }
  // Back onto the current record.
  if (recordState_ != 0 && TrailerAddress(recBuf_.data(), RecordSize()) != 0) {
    index->SetSearchKeyFromRecord(recBuf_.data());
    index->Find(kEqual);
  }
  return recNo;
}

// ============================================================================
// searches
// ============================================================================

int TUdbDataSet::InternalSearchOnly(const std::uint8_t* buf, int mode, const AnsiString& name) {
  CheckOpen();
  TIndexItem* index = indexMgr_.FindIndex(name);
  if (index == nullptr) UdbDatabaseErrorFmt(udberr::kIndexMissing, "TUdbDataSet.InternalSearchOnly", "Index %s", nullptr, {name});
  TAccessBracket bracket(*this, false);
  const bool marked = Get32(buf + RecordSize() + kTrailerKeyMarks) >= 1;
  TKeyModifiers marks;
  if (marked) marks = BoundMarks(*index, buf);
  index->SetSearchKeyFromRecord(buf, marked ? &marks : nullptr);
  TSearchModifier modifier;
  if (mode == kEqual && marked) {
    int n = 0;
    while (n < static_cast<int>(marks.size()) && marks[static_cast<size_t>(n)] == 1) ++n;
    if (n < static_cast<int>(marks.size())) modifier = {n, true};
  }
  const int r = index->Find(mode, modifier);
  return r == 0 && index->Tree().KeyValid() ? 0 : (r != 0 ? r : 1);
}

bool TUdbDataSet::FindFromBuffer(const std::uint8_t* buf, int mode, bool nearest, const AnsiString& name) {
  CheckOpen();
  SetRecBuf(buf);
  if (InternalFindInRange(mode, name)) return true;
  return nearest && ReadRecordByKey(kNearest, Rec()) != 0;
}

bool TUdbDataSet::FindRecordByKey(std::uint8_t* buf, bool exact) {
  CheckOpen();
  TAccessBracket bracket(*this, false);
  readAhead_.Reset();
  return ReadRecordByKey(exact ? kEqual : kNearest, buf) != 0;
}

void TUdbDataSet::SetLocateMarks(std::uint8_t* buf, const AnsiString& name, const std::vector<AnsiString>& fieldNames,
                                 bool highSide) {
  TIndexItem* index = indexMgr_.FindIndex(name);
  if (index == nullptr) return;
  const TKeyFields& keys = *index->KeyFields();
  for (int k = 0; k < keys.Count(); ++k) {
    const TKeyFieldItem* part = keys.Items(k);
    if (part->Hidden() || part->PhysicalFieldNo() < 0) continue;
    const bool named = std::any_of(fieldNames.begin(), fieldNames.end(),
                                   [&](const AnsiString& f) { return AnsiSameText(f, part->FieldName()); });
    if (!named && buf[part->NullFlagOffset()] == kFlagNull)
      buf[part->NullFlagOffset()] = highSide ? kFlagHighest : kFlagLowest;
  }
  Put32(buf + RecordSize() + kTrailerKeyMarks, highSide ? kFlagHighest : kFlagLowest);
}

int TUdbDataSet::InternalCompareRecords(const std::uint8_t* buf1, const std::uint8_t* buf2, int& diffIndex,
                                        bool caseInsensitive, bool partial, const TSearchFields& searchFields) const {
  diffIndex = -1;
  for (int i = 0; i < searchFields.Count(); ++i) {
    const TSearchFieldItem* f = searchFields.Items(i);
    int flag1 = buf1[f->NullFlagOffset()], flag2 = buf2[f->NullFlagOffset()];
    if (flag1 == kFlagNull) flag1 = 3;  // value 1 < lowest 2 < null 3 < highest 4
    if (flag2 == kFlagNull) flag2 = 3;
    int r = flag1 - flag2;
    if (r == 0 && flag1 == kFlagValue) {
      const std::uint8_t* a = buf1 + f->DataOffset();
      const std::uint8_t* b = buf2 + f->DataOffset();
      switch (f->DataType()) {
        case ftString: {
          const int la = std::min<int>(udbfmt::GetU16(buf1 + f->SizeMarkerOffset()), f->UserFieldSize());
          const int lb = std::min<int>(udbfmt::GetU16(buf2 + f->SizeMarkerOffset()), f->UserFieldSize());
          r = SortFunctionFor(sortOrder_)(reinterpret_cast<const char*>(a), reinterpret_cast<const char*>(b), la, lb,
                                          caseInsensitive, partial);
          // A partial key matches values that begin with it: a stored value
          // shorter than the key ("admin" for "adminx") sorts before it.
          if (r == 0 && partial && la > lb) r = 1;
          break;
        }
        case ftSmallint: r = static_cast<std::int16_t>(udbfmt::GetU16(a)) - static_cast<std::int16_t>(udbfmt::GetU16(b)); break;
        case ftWord: r = static_cast<int>(udbfmt::GetU16(a)) - static_cast<int>(udbfmt::GetU16(b)); break;
        case ftInteger:
        case ftAutoInc: {
          const auto x = static_cast<std::int32_t>(Get32(a)), y = static_cast<std::int32_t>(Get32(b));
          r = x < y ? -1 : x > y ? 1 : 0;
          break;
        }
        case ftBoolean: r = static_cast<int>(a[0]) - static_cast<int>(b[0]); break;
        case ftFloat:
        case ftCurrency:
        case ftDate:
        case ftTime:
        case ftDateTime: {
          double x, y;
          std::memcpy(&x, a, 8);
          std::memcpy(&y, b, 8);
          r = x < y ? -1 : x > y ? 1 : 0;
          break;
        }
        case ftBytes:
        case ftVarBytes:
        case ftBlob:
        case ftMemo:
        case ftGraphic:
        case ftFmtMemo:
        case ftParadoxOle:
        case ftDBaseOle:
        case ftTypedBinary:
        case ftCursor: r = 0; break;
        default:
          UdbDatabaseError(udberr::kInvalidFieldType, "TUdbDataSet.InternalCompareRecords", FieldTypeName(f->DataType()));
      }
    }
    if (f->SearchFlag()) r = -r;  // a descending key part
    if (r != 0) {
      diffIndex = i;
      return r;
    }
  }
  return 0;
}

bool TUdbDataSet::DoLocate(const AnsiString& name, std::uint8_t* searchBuf, bool gotoRecord, bool useNamedIndex,
                           int options, std::vector<AnsiString>& fieldNames, std::uint8_t* resultBuf) {
  const char* loc = "TUdbDataSet.DoLocate";
  CheckOpen();
  const AnsiString indexName = useNamedIndex ? name : indexName_;
  TIndexItem* index = indexMgr_.FindIndex(indexName);
  if (index == nullptr) UdbDatabaseErrorFmt(udberr::kIndexMissing, loc, "Index %s", nullptr, {indexName});
  const bool caseInsensitive = (options & 1) != 0;
  const bool partial = (options & 2) != 0;
  SetLocateMarks(searchBuf, indexName, fieldNames, false);
  std::vector<std::uint8_t> s(searchBuf, searchBuf + recBufSize_);
  TAccessBracket bracket(*this, false);

  // Order the field list along the index's key.
  const TKeyFields& keys = *index->KeyFields();
  for (int k = 0; k < keys.Count(); ++k) {
    const auto it = std::find_if(fieldNames.begin(), fieldNames.end(),
                                 [&](const AnsiString& f) { return AnsiSameText(f, keys.Items(k)->FieldName()); });
    if (it == fieldNames.end()) continue;
    const auto j = static_cast<size_t>(it - fieldNames.begin());
    if (j != static_cast<size_t>(k) && fieldNames.size() > static_cast<size_t>(k))
      std::swap(fieldNames[j], fieldNames[static_cast<size_t>(k)]);
  }

  TSearchFields fields;
  auto addField = [&](const AnsiString& fieldName, bool prefix, bool descending) {
    TInternalFieldItem* item = recordMgr_.Fields().FindField(fieldName);
    if (item == nullptr) UdbDatabaseError(udberr::kNoSuchField, loc, fieldName);
    auto* sf = static_cast<TSearchFieldItem*>(fields.TCollection::Add());
    sf->Assign(item);
    sf->SetSearchByte(prefix ? 1 : 0);  // 1: an index-prefix field
    sf->SetSearchFlag(descending);
  };
  size_t prefix = 0;
  for (; prefix < fieldNames.size() && static_cast<int>(prefix) < keys.Count(); ++prefix) {
    const TKeyFieldItem* part = keys.Items(static_cast<int>(prefix));
    if (part->Hidden() || !AnsiSameText(part->FieldName(), fieldNames[prefix])) break;
    if (part->DataType() == ftString && caseInsensitive && !part->CaseInsensitive()) break;
    if (part->DataType() == ftString && partial) {
      addField(fieldNames[prefix], true, part->Descending());
      ++prefix;
      break;  // a partial value bounds no later part
    }
    addField(fieldNames[prefix], true, part->Descending());
  }
  for (size_t i = prefix; i < fieldNames.size(); ++i) addField(fieldNames[i], false, false);

  // Key fields searched but outside the prefix do not narrow the search.
  bool marked = false;
  for (int i = 0; i < fields.Count(); ++i) {
    TSearchFieldItem* f = fields.Items(i);
    if (f->SearchByte() == 1) continue;
    if (keys.FindKeyField(f->FieldName()) == nullptr) continue;
    s[static_cast<size_t>(f->NullFlagOffset())] = kFlagLowest;
    marked = true;
  }
  if (marked) Put32(s.data() + RecordSize() + kTrailerKeyMarks, kFlagLowest);

  const bool onCurrent = index == CurrentIndexOrNull();
  bool positioned = InternalSearchOnly(s.data(), kGreaterOrEqual, indexName) == 0;
  if (positioned && rangeSet_ && onCurrent) {
    if (!rangeNotEmpty_) return false;
    if (CompareWithRangeKey(*index, false) < 0) positioned = MoveToRangeEnd(false);
  }
  if (!positioned) return false;

  // Scan from there for the first record that matches every field.
  std::vector<std::uint8_t> r(static_cast<size_t>(recBufSize_), 0);
  bool found = false;
  while (true) {
    if (rangeSet_ && onCurrent && CompareWithRangeKey(*index, true) > 0) break;
    recordMgr_.ReadRecord(index->CurrentRecordAddress(), r.data(), false);
    int diff = -1;
    const int cmp = InternalCompareRecords(searchBuf, r.data(), diff, caseInsensitive, partial, fields);
    if (cmp == 0) {
      found = true;
      break;
    }
    if (cmp < 0 && diff >= 0 && fields.Items(diff)->SearchByte() == 1 && !fields.Items(diff)->SearchFlag()) break;
    if (cmp > 0 && diff >= 0 && fields.Items(diff)->SearchByte() == 1 && fields.Items(diff)->SearchFlag()) break;
    if (!index->Next()) break;
  }
  if (!found) return false;
  const TUdbAddr address = index->CurrentRecordAddress();
  SetTrailer(r.data(), index->CurrentRecNo(), address);
  if (resultBuf != nullptr) std::memcpy(resultBuf, r.data(), r.size());
  if (!gotoRecord) return true;
  SetRecBuf(r.data());
  // The index's cursor stands on the entry found: the find steps by
  // nothing instead of searching the key again.
  searchOnEntry_ = true;
  struct TClear {
    bool& flag;
    ~TClear() { flag = false; }
  } clear{searchOnEntry_};
  return InternalFindInRange(kEqual, indexName);
}

// ============================================================================
// index information
// ============================================================================

void TUdbDataSet::FindIndexForFields(const AnsiString& fieldNames, AnsiString& indexName) const {
  CheckOpen();
  const std::vector<AnsiString> names = SplitFieldList(fieldNames);
  TIndexItem* index = indexMgr_.FindIndexForFields(names, false);
  if (index == nullptr) UdbDatabaseError(udberr::kIndexMissing, "TUdbDataSet.FindIndexForFields", fieldNames);
  indexName = index->IndexName();
}

int TUdbDataSet::GetVisibleIndexCount() const {
  int n = 0;
  for (int i = 0; i < indexMgr_.Count(); ++i)
    if (!indexMgr_.Items(i)->Hidden()) ++n;
  return n;
}

void TUdbDataSet::GetIndexDef(int index, TIndexDef* indexDef) const {
  PAYROLL_ASSERT(index >= 0 && index < indexMgr_.Count(), "Index item not found");
  const TIndexItem* item = indexMgr_.Items(index);
  PAYROLL_ASSERT(!item->Hidden(), "Attempting to access a hidden index");
  AnsiString fields, caseIns, desc;
  const TKeyFields& keys = *item->KeyFields();
  for (int k = 0; k < keys.Count(); ++k) {
    const TKeyFieldItem* part = keys.Items(k);
    if (part->Hidden() || part->PhysicalFieldNo() < 0) continue;
    auto join = [&](AnsiString& list) { list += (list.empty() ? "" : ";") + part->FieldName(); };
    join(fields);
    if (part->CaseInsensitive()) join(caseIns);
    if (part->Descending()) join(desc);
  }
  indexDef->SetName(item->IndexName());
  indexDef->SetFields(fields);
  indexDef->SetCaseInsFields(caseIns);
  indexDef->SetDescFields(desc);
  TIndexOptions options;
  if (item->Primary()) options << ixPrimary;
  if (item->Unique()) options << ixUnique;
  if (!caseIns.empty()) options << ixCaseInsensitive;
  if (!desc.empty()) options << ixDescending;
  indexDef->SetOptions(options);
}

// ============================================================================
// index-assisted filter conditions
// ============================================================================
//
// Each condition becomes a run of record numbers [first, last] of the
// index.  Positions are found with searches on the first key part, the
// other parts open (lowest for the start of a value's run, highest for its
// end); the order of values and of nulls in the index (nulls first when
// the part ascends, last when it descends) decides which runs make up the
// condition.

std::vector<TUdbAddr> TUdbDataSet::CollectConditionAddresses(const AnsiString& name, int op,
                                                             const std::vector<Variant>& constants, bool& complement) {
  const char* loc = "TUdbDataSet.InternalFind";
  CheckOpen();
  TIndexItem* index = IndexOrRaise(name, "TUdbDataSet.CollectConditionAddresses");
  const TKeyFieldItem* part = index->KeyFields()->Items(0);
  const bool desc = part->Descending();
  const int field = part->PhysicalFieldNo();
  complement = op == 4;
  switch (op) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 30: case 31: break;
    default: UdbDatabaseError(udberr::kInternal, loc, "Unexpected seek type in Internal Find");
  }
  TAccessBracket bracket(*this, false);
  const int count = static_cast<int>(index->RecordCount());
  std::vector<std::uint8_t> buf(static_cast<size_t>(recBufSize_));
  // Record number of the first entry of value's run (count + 1 past the
  // end) or of its last entry (0 before the start); a null Variant is null.
  auto position = [&](const Variant& value, bool runEnd, bool padHigh) {
    std::memset(buf.data(), 0, buf.size());
    std::memset(buf.data() + udbrec::kNullFlags, runEnd ? kFlagHighest : kFlagLowest, static_cast<size_t>(GetFieldCount()));
    Put32(buf.data() + RecordSize() + kTrailerKeyMarks, runEnd ? kFlagHighest : kFlagLowest);
    if (value.IsNull()) {
      buf[static_cast<size_t>(part->NullFlagOffset())] = kFlagNull;
    } else {
      DataSetSetFieldDataToRecBufAsVariant(buf.data(), field, value);
      if (padHigh && part->DataType() == ftString) {  // every value with this prefix lies below
        const int len = udbfmt::GetU16(buf.data() + part->SizeMarkerOffset());
        if (len < part->FieldSize() - 1) {
          buf[static_cast<size_t>(part->RecBufOffset() + len)] = 0xFF;
          udbfmt::PutU16(buf.data() + part->SizeMarkerOffset(), static_cast<std::uint16_t>(len + 1));
        }
      }
    }
    const TKeyModifiers marks = BoundMarks(*index, buf.data());
    index->SetSearchKeyFromRecord(buf.data(), &marks);
    if (runEnd) return index->Find(kLessOrEqual) == 0 && index->Tree().KeyValid() ? index->CurrentRecNo() : 0;
    return index->Find(kGreaterOrEqual) == 0 && index->Tree().KeyValid() ? index->CurrentRecNo() : count + 1;
  };
  const Variant null = Null();
  auto nullsEnd = [&] { return desc ? count : position(null, true, false); };       // last null (ascending)
  auto nullsStart = [&] { return desc ? position(null, false, false) : 1; };        // first null (descending)
  auto valuesFirst = [&] { return desc ? 1 : nullsEnd() + 1; };
  auto valuesLast = [&] { return desc ? nullsStart() - 1 : count; };

  std::vector<std::pair<int, int>> runs;
  const std::vector<Variant> one{Variant()};
  for (const Variant& c : (op == 1 || op == 2) ? one : constants) {
    const int first = op <= 2 ? 0 : position(c, false, false);
    const int last = op <= 2 ? 0 : position(c, true, op == 30);
    switch (op) {
      case 1: runs.emplace_back(desc ? nullsStart() : 1, desc ? count : nullsEnd()); break;
      case 2: runs.emplace_back(valuesFirst(), valuesLast()); break;
      case 3: case 4: case 31: runs.emplace_back(first, last); break;
      case 30:
        runs.emplace_back(desc ? position(c, false, true) : first, desc ? position(c, true, false) : last);
        break;
      case 5: runs.emplace_back(desc ? valuesFirst() : last + 1, desc ? first - 1 : valuesLast()); break;
      case 6: runs.emplace_back(desc ? last + 1 : valuesFirst(), desc ? valuesLast() : first - 1); break;
      case 7: runs.emplace_back(desc ? valuesFirst() : first, desc ? last : valuesLast()); break;
      default: runs.emplace_back(desc ? first : valuesFirst(), desc ? valuesLast() : last); break;  // 8
    }
  }
  std::vector<TUdbAddr> out;
  std::vector<std::uint8_t> rec(static_cast<size_t>(recBufSize_));
  for (const auto& [first, last] : runs) {
    if (first < 1 || first > last || last > count) continue;
    recordMgr_.ReadRecord(index->AddressOfRecNo(first), rec.data(), false);
    index->SetSearchKeyFromRecord(rec.data());
    if (index->Find(kEqual) != 0) continue;
    for (int n = first; n <= last; ++n) {
      out.push_back(index->CurrentRecordAddress());
      if (n < last && !index->Next()) break;
    }
  }
  if (runs.size() > 1) {  // IN: each record once
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
  }
  return out;
}
