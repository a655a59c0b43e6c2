// Field access by name on a table cursor's current record (RecBuf), for
// the engine's own use of its system tables.  Calls TUdbDataSet only.
#pragma once

#include <vector>

#include "Udb/UdbDataSet.h"
#include "platform/core/Streams.h"

namespace udbrow {

inline void Set(TUdbDataSet& t, const char* field, const Variant& value) {
  std::vector<std::uint8_t> buf(static_cast<size_t>(t.GetRecBufSize()));
  t.GetRecBuf(buf.data());
  t.DataSetSetFieldDataToRecBufAsVariant(buf.data(), t.FieldIndexOf(field), value);
  t.SetRecBuf(buf.data());
}

inline Variant Get(TUdbDataSet& t, const char* field) {
  Variant v;
  t.DataSetGetFieldDataFromRecBufAsVariant(t.RecBuf(), t.FieldIndexOf(field), v);
  return v;
}

inline void SetBlobText(TUdbDataSet& t, const char* field, const AnsiString& text) {
  TMemoryStream s;
  if (!text.empty()) s.WriteBuffer(text.data(), static_cast<int>(text.size()));
  std::vector<std::uint8_t> buf(static_cast<size_t>(t.GetRecBufSize()));
  t.GetRecBuf(buf.data());
  t.DataSetSetFieldStreamFromRecBuf(buf.data(), t.FieldIndexOf(field), &s, text.empty());
  t.SetRecBuf(buf.data());
}

inline AnsiString BlobText(TUdbDataSet& t, const char* field) {
  TMemoryStream s;
  bool blank = true;
  t.GetFieldStream(t.FieldIndexOf(field), blank, &s);
  if (blank) return AnsiString();
  return AnsiString(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

// Positions t on the record whose first key fields of index hold values;
// true when found.
inline bool Find(TUdbDataSet& t, const AnsiString& index, const std::vector<std::pair<const char*, Variant>>& values) {
  if (!index.empty() && t.IndexName() != index) t.SetIndexName(index);
  std::vector<std::uint8_t> buf(static_cast<size_t>(t.GetRecBufSize()));
  t.InitSearchRecord(buf.data(), true);
  for (const auto& [field, value] : values)
    t.DataSetSetFieldDataToRecBufAsVariant(buf.data(), t.FieldIndexOf(field), value);
  return t.FindFromBuffer(buf.data(), 2, false, t.IndexName());
}

}  // namespace udbrow
