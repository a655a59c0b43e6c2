#include "CursorTestSupport.h"

#include "Udb/RecordFormat.h"
#include "platform/core/Streams.h"

std::unique_ptr<TUdbTableCursor> OpenTable(TUdbDataBase& db, const AnsiString& name, bool memory) {
  auto t = std::make_unique<TUdbTableCursor>();
  t->SetDataBase(&db);
  t->SetTableName(name);
  t->SetMemory(memory);
  t->DataSetOpen();
  return t;
}

std::unique_ptr<TUdbTableCursor> CreateTable(TUdbDataBase& db, const AnsiString& name, bool memory,
                                             const std::vector<TColumn>& columns,
                                             const std::vector<TIndexInfo>& indexes) {
  auto t = std::make_unique<TUdbTableCursor>();
  t->SetDataBase(&db);
  t->SetTableName(name);
  t->SetMemory(memory);
  TFieldDefs fields(t.get());
  for (const TColumn& c : columns) fields.Add(c.name, c.type, c.size);
  TIndexDefs idx(t.get());
  for (const TIndexInfo& x : indexes) idx.Add(x.name, x.fields, x.options);
  t->SetTableDef(&fields, &idx);
  t->PrepareCreateTable();
  t->DataSetOpen();
  return t;
}

std::unique_ptr<TUdbTableCursor> CreateEmp(TUdbDataBase& db, bool memory) {
  TIndexOptions primary;
  primary << ixPrimary;
  return CreateTable(db, "EMP", memory,
                     {{"ID", ftInteger, 0}, {"NAME", ftString, 20}, {"DEPT", ftString, 10}, {"SALARY", ftFloat, 0},
                      {"NOTE", ftMemo, 0}, {"SEQ", ftAutoInc, 0}},
                     {{"PK", "ID", primary}, {"ByName", "NAME;DEPT", {}}, {"ByDept", "DEPT", {}}});
}

static int IndexOf(TUdbDataSet& t, const char* field) {
  const int i = t.FieldIndexOf(field);
  EXPECT_GE(i, 0) << field;
  return i;
}

void SetField(TUdbDataSet& t, const char* field, const Variant& value) {
  std::vector<std::uint8_t> buf(static_cast<size_t>(t.GetRecBufSize()));
  t.GetRecBuf(buf.data());
  t.DataSetSetFieldDataToRecBufAsVariant(buf.data(), IndexOf(t, field), value);
  t.SetRecBuf(buf.data());
}

Variant GetField(TUdbDataSet& t, const char* field) {
  Variant v;
  t.DataSetGetFieldDataFromRecBufAsVariant(t.RecBuf(), IndexOf(t, field), v);
  return v;
}

std::string Str(TUdbDataSet& t, const char* field) {
  const Variant v = GetField(t, field);
  return v.IsNull() ? "<null>" : std::string(v.AsString());
}

int Int(TUdbDataSet& t, const char* field) { return GetField(t, field).AsInteger(); }

void SetMemo(TUdbDataSet& t, const char* field, const std::string& text) {
  TMemoryStream s;
  if (!text.empty()) s.WriteBuffer(text.data(), static_cast<int>(text.size()));
  std::vector<std::uint8_t> buf(static_cast<size_t>(t.GetRecBufSize()));
  t.GetRecBuf(buf.data());
  t.DataSetSetFieldStreamFromRecBuf(buf.data(), IndexOf(t, field), &s, text.empty());
  t.SetRecBuf(buf.data());
}

std::string Memo(TUdbDataSet& t, const char* field) {
  TMemoryStream s;
  bool blank = true;
  t.GetFieldStream(IndexOf(t, field), blank, &s);
  if (blank) return "<null>";
  return std::string(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

TUdbAddr AddEmp(TUdbDataSet& t, int id, const std::string& name, const std::string& dept, double salary,
                const std::string& note) {
  t.InitRecBuf();
  SetField(t, "ID", id);
  SetField(t, "NAME", AnsiString(name));
  SetField(t, "DEPT", AnsiString(dept));
  SetField(t, "SALARY", salary);
  if (!note.empty()) SetMemo(t, "NOTE", note);
  t.AddRecord(true);
  return TUdbDataSet::TrailerAddress(t.RecBuf(), t.RecordSize());
}

std::vector<std::string> Walk(TUdbDataSet& t, const char* field) {
  std::vector<std::string> out;
  for (bool ok = t.GotoFirst(); ok; ok = t.GotoNext()) out.push_back(Str(t, field));
  return out;
}

std::vector<std::string> WalkBack(TUdbDataSet& t, const char* field) {
  std::vector<std::string> out;
  for (bool ok = t.GotoLast(); ok; ok = t.GotoPrior()) out.push_back(Str(t, field));
  return out;
}

bool FindKey(TUdbDataSet& t, const std::vector<std::pair<const char*, Variant>>& keys, int mode) {
  std::vector<std::uint8_t> buf(static_cast<size_t>(t.GetRecBufSize()));
  t.InitSearchRecord(buf.data(), true);
  for (const auto& [name, value] : keys) t.DataSetSetFieldDataToRecBufAsVariant(buf.data(), t.FieldIndexOf(name), value);
  return t.FindFromBuffer(buf.data(), mode, false, t.IndexName());
}

int StoredRecords(TUdbDataSet& t) {
  std::vector<TUdbAddr> blocks;
  t.TableDef().RecordIO()->ListBlocks(blocks);
  std::vector<std::uint8_t> r(static_cast<size_t>(t.GetRecBufSize()));
  int n = 0;
  const std::uint32_t tag = t.TableDef().OwnerFlag() + udbrec::kRecordTagUsage;
  for (TUdbAddr a : blocks) {
    t.ReadRecordAt(a, r.data());
    if (udbrec::IsLiveRecordOf(r.data(), tag)) ++n;
  }
  return n;
}
