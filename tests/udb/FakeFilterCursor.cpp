// TFakeFilterCursor: see FakeFilterCursor.h.
#include "FakeFilterCursor.h"

#include <algorithm>
#include <stdexcept>

TRecAddr TFakeFilterCursor::AddRow(const std::vector<Variant>& values) {
  TRecAddr address = static_cast<TRecAddr>(16 * (rows_.size() + 1));
  rows_.push_back({address, values, true});
  return address;
}

void TFakeFilterCursor::DeleteRow(TRecAddr address) {
  rows_.at(address / 16 - 1).live = false;
}

const std::vector<Variant>& TFakeFilterCursor::RowAt(TRecAddr address) const {
  const Stored& s = rows_.at(address / 16 - 1);
  if (!s.live || s.address != address) throw std::logic_error("no record at this address");
  return s.values;
}

int TFakeFilterCursor::CompareKeys(const Index& index, const Variant& a, const Variant& b) const {
  if (a.IsNull() || b.IsNull()) return a.IsNull() ? (b.IsNull() ? 0 : -1) : 1;
  if (Fields.Item(index.field).DataType == ftString) {
    AnsiString x = a.AsString(), y = b.AsString();
    int c = AnsiKeySort(x.data(), y.data(), static_cast<int>(x.size()), static_cast<int>(y.size()),
                        index.caseInsensitive, false);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  TVariantRelationship r = VarCompareValue(a, b);
  return r == vrLessThan ? -1 : r == vrGreaterThan ? 1 : 0;
}

std::vector<TRecAddr> TFakeFilterCursor::Ordered(int indexNo) const {
  std::vector<const Stored*> live;
  for (const Stored& s : rows_)
    if (s.live) live.push_back(&s);
  if (indexNo >= 0) {
    const Index& index = Indexes.at(static_cast<size_t>(indexNo));
    std::stable_sort(live.begin(), live.end(), [&](const Stored* a, const Stored* b) {
      return CompareKeys(index, a->values[static_cast<size_t>(index.field)],
                         b->values[static_cast<size_t>(index.field)]) < 0;
    });
  }
  std::vector<TRecAddr> out;
  for (const Stored* s : live) out.push_back(s->address);
  return out;
}

std::vector<TRecAddr> TFakeFilterCursor::ShownOrder() const {
  std::vector<TRecAddr> out;
  for (TRecAddr a : Ordered(CurrentIndex))
    if (!Range || Range(RowAt(a))) out.push_back(a);
  return out;
}

void TFakeFilterCursor::CollectMasterList(std::vector<TFilterEntry>& master) {
  master.clear();
  std::uint32_t position = 0;
  for (TRecAddr a : Ordered(CurrentIndex)) {
    ++position;
    if (!Range || Range(RowAt(a))) master.push_back({a, position});
  }
}

bool TFakeFilterCursor::FindIndexForField(int fieldIndex, TFilterIndex& index) {
  if (!UseIndexes) return false;
  for (const Index& i : Indexes) {
    if (i.field == fieldIndex) {
      index.Handle = &i;
      index.CaseInsensitive = i.caseInsensitive;
      return true;
    }
  }
  return false;
}

bool TFakeFilterCursor::Within(const Index& index, const Variant& key, const TFilterKeyBound& bound,
                               bool low) const {
  if (bound.Open) return true;
  if (bound.Prefix) {
    // The key's first length(prefix) bytes, padded with zero bytes.
    if (key.IsNull()) return false;
    AnsiString prefix = bound.Value.AsString();
    AnsiString head = key.AsString().substr(0, prefix.size());
    head.resize(prefix.size(), '\0');
    return AnsiKeySort(prefix.data(), head.data(), static_cast<int>(prefix.size()),
                       static_cast<int>(head.size()), index.caseInsensitive, true) == 0;
  }
  int c = CompareKeys(index, key, bound.Value);
  if (c == 0) return bound.Inclusive;
  return low ? c > 0 : c < 0;
}

void TFakeFilterCursor::CollectIndexRange(const TFilterIndex& handle, const TFilterKeyBound& low,
                                          const TFilterKeyBound& high, std::vector<TRecAddr>& out) {
  const Index& index = *static_cast<const Index*>(handle.Handle);
  RangeCalls.push_back({index.field, low, high});
  int indexNo = static_cast<int>(&index - Indexes.data());
  for (TRecAddr a : Ordered(indexNo)) {
    const Variant& key = RowAt(a)[static_cast<size_t>(index.field)];
    if (Within(index, key, low, true) && Within(index, key, high, false)) out.push_back(a);
  }
}

void TFakeFilterCursor::ReadRecordAt(TRecAddr address) {
  evalRow_ = RowAt(address);
  ++RecordsRead;
}
