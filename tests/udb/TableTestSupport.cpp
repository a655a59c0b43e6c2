#include "TableTestSupport.h"

#include <cstring>

#include "platform/core/Streams.h"

using udbfmt::GetU16;
using udbfmt::GetU32;
using udbfmt::PutU16;
using udbfmt::PutU32;

std::unique_ptr<TTableDef> MakeSampleDef(const AnsiString& name, bool memory, TEncryptionLevel level) {
  auto def = std::make_unique<TTableDef>();
  def->SetTableName(name);
  def->SetMemory(memory);
  def->SetEncryptionLevel(level);
  def->SetUsesBlobs(true);
  struct Column { const char* name; TFieldType type; int size; };
  const Column columns[] = {{"ID", ftInteger, 0}, {"NAME", ftString, 20}, {"NOTE", ftMemo, 0}};
  int i = 0;
  for (const Column& s : columns) {
    TInternalFieldItem* f = def->InternalFields()->Add();
    f->SetFieldName(s.name);
    f->SetDataType(s.type);
    if (s.type == ftString) f->SetFieldSize(s.size + 1);
    f->SetFieldIndex(i);
    f->SetFieldNo(++i);
  }
  // Key parts lie where the record layout puts their fields.
  TInternalFields layout;
  layout.Assign(def->InternalFields());
  layout.SetDefaultOffsets();
  const char* indexes[][2] = {{"PK", "ID"}, {"ByName", "NAME"}};
  for (int k = 0; k < 2; ++k) {
    TInternalIndexDef* x = def->InternalIndexDefs()->Add();
    x->SetIndexName(indexes[k][0]);
    x->SetIndexSequence(k);
    x->SetPrimary(k == 0);
    TKeyFieldItem* key = def->KeyFields()->Add();
    const TInternalFieldItem* f = layout.FindField(indexes[k][1]);
    key->SetFieldName(indexes[k][1]);
    key->SetIndexName(indexes[k][0]);
    key->SetDataType(f->DataType());
    key->SetFieldSize(f->FieldSize());
    key->SetRecBufOffset(f->DataOffset());
    key->SetNullFlagOffset(f->NullFlagOffset());
    key->SetSizeMarkerOffset(f->SizeMarkerOffset());
  }
  return def;
}

TSampleRows::TSampleRows(TTableDef* def) : def_(def) {
  records_.Fields().Assign(def->InternalFields());
  records_.SetRecordSize(def->RecordSize());
  blobs_.SetIOInterface(def->BlobIO());
  blobs_.SetBlockSize(def->DefaultBlobSize());
  blobs_.Open();
  records_.SetBlobInterface(&blobs_);
  records_.Open(def->RecordIO());
}

void TSampleRows::SetValues(std::vector<std::uint8_t>& r, const std::string& name, const std::string& note) {
  r[15] = 1;
  PutU16(r.data() + 21, static_cast<std::uint16_t>(name.size()));
  std::memset(r.data() + 23, 0, 21);
  std::memcpy(r.data() + 23, name.data(), name.size());
  TMemoryStream s;
  if (!note.empty()) s.WriteBuffer(note.data(), static_cast<int>(note.size()));
  records_.SetBlobField(r.data(), 2, &s);
}

TUdbAddr TSampleRows::Insert(int id, const std::string& name, const std::string& note) {
  std::vector<std::uint8_t> r(static_cast<size_t>(def_->RecordSize()), 0);
  TTableHeader* h = def_->Header();
  r[0] = 1;
  PutU32(r.data() + 2, def_->OwnerFlag() + 9);
  PutU32(r.data() + 6, h->LastRecordID() + 1);
  h->SetLastRecordID(h->LastRecordID() + 1);
  r[14] = 1;
  PutU32(r.data() + 17, static_cast<std::uint32_t>(id));
  records_.Blobs().MarkAllNotLoaded();
  SetValues(r, name, note);
  return records_.PostRecord(0, r.data());
}

void TSampleRows::Update(TUdbAddr address, const std::string& name, const std::string& note) {
  std::vector<std::uint8_t> r(static_cast<size_t>(def_->RecordSize()));
  records_.ReadRecord(address, r.data(), true);
  PutU32(r.data() + 10, GetU32(r.data() + 10) + 1);
  SetValues(r, name, note);
  records_.PostRecord(address, r.data());
}

void TSampleRows::Delete(TUdbAddr address) { records_.DeleteRecordAndBlobs(address); }

std::map<int, TRow> TSampleRows::ReadAll() {
  std::map<int, TRow> rows;
  std::vector<TUdbAddr> blocks;
  def_->RecordIO()->ListBlocks(blocks);
  std::vector<std::uint8_t> r(static_cast<size_t>(def_->RecordSize()));
  for (TUdbAddr a : blocks) {
    records_.ReadRecord(a, r.data(), true);
    if (!udbrec::IsLiveRecordOf(r.data(), def_->OwnerFlag() + 9)) continue;
    TRow row;
    row.address = a;
    row.name.assign(reinterpret_cast<const char*>(r.data() + 23), GetU16(r.data() + 21));
    TMemoryStream s;
    if (records_.ReadBlobField(r.data(), 2, &s))
      row.note.assign(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
    rows[static_cast<int>(GetU32(r.data() + 17))] = row;
  }
  return rows;
}

void TDiskTables::OpenMgr() {
  headerIO = std::make_unique<TDiskIOInterface>();
  headerIO->SetDiskMgr(db.disk.get());
  headerIO->SetBlockSize(256);
  headerIO->SetUsage(kUsageTableHeader);
  headerIO->SetMode(kIOModeRaw);
  headerIO->SetGlobalHeaderItem(udbfmt::kItemUserTableHdrFirstEmpty);
  headerIO->Open();
  mgr = std::make_unique<TDiskTableDefMgr>();
  mgr->SetHeaderIO(headerIO.get());
  mgr->SetMapAddress(3 * 4096);
  mgr->Open();
}

void TDiskTables::Reopen() {
  mgr.reset();
  headerIO.reset();
  db.Reopen();
  OpenMgr();
}
