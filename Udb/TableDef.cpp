// TTableDef (see TableDef.h).
#include "Udb/TableDef.h"

#include <algorithm>
#include <vector>

#include "Udb/DiskIOInterface.h"
#include "Udb/EngineKeys.h"
#include "Udb/TableHeader.h"
#include "Udb/UdbErrors.h"
#include "Udb/XorCipher.h"
#include "platform/core/AnsiText.h"

PAYROLL_PUBLISH(TTableDef) {
  p.Property("TableID", &TTableDef::TableID, &TTableDef::SetTableID);
  p.Property("OwnerFlag", &TTableDef::OwnerFlag, &TTableDef::SetOwnerFlag);
  p.Property("TableName", &TTableDef::TableName, &TTableDef::SetTableName);
  p.Property("AltName", &TTableDef::AltName, &TTableDef::SetAltName);
  p.Property("Version", &TTableDef::Version, &TTableDef::SetVersion);
  p.Property("OS", &TTableDef::OS, &TTableDef::SetOS);
  p.Property("CreationDate", &TTableDef::CreationDate, &TTableDef::SetCreationDate);
  p.Property("LastModDate", &TTableDef::LastModDate, &TTableDef::SetLastModDate);
  p.Property("CreatedBy", &TTableDef::CreatedBy, &TTableDef::SetCreatedBy);
  p.Property("Password", &TTableDef::Password, &TTableDef::SetPassword);
  p.Property("Encrypted", &TTableDef::Encrypted, &TTableDef::SetEncrypted);
  p.Property("SecurityLevel", &TTableDef::SecurityLevel, &TTableDef::SetSecurityLevel);
  p.Property("Memory", &TTableDef::Memory, &TTableDef::SetMemory);
  p.Property("RecordSize", &TTableDef::RecordSize, &TTableDef::SetRecordSize);
  p.Property("DefaultBlobSize", &TTableDef::DefaultBlobSize, &TTableDef::SetDefaultBlobSize);
  p.Property("UsesBlobs", &TTableDef::UsesBlobs, &TTableDef::SetUsesBlobs);
  p.Property("SortOrder", &TTableDef::SortOrder, &TTableDef::SetSortOrder);
  p.Property("InternalTable", &TTableDef::InternalTable, &TTableDef::SetInternalTable);
  p.Property("EncryptionLevel", &TTableDef::EncryptionLevel, &TTableDef::SetEncryptionLevel);
  p.Property("KeyFields", &TTableDef::KeyFields);
  p.Property("InternalFields", &TTableDef::InternalFields);
  p.Property("InternalIndexDefs", &TTableDef::InternalIndexDefs);
}

namespace {

constexpr std::uint32_t kEmptyLeafMark = 1;  // first DWORD of an empty leaf node

enum { kIndexSlot, kBlobSlot, kRecordSlot };

}  // namespace

TTableDef::TTableDef(TComponent* owner)
    : TComponent(owner),
      keyFields_(std::make_unique<TKeyFields>()),
      internalFields_(std::make_unique<TInternalFields>()),
      internalIndexDefs_(std::make_unique<TInternalIndexDefs>()) {}

TTableDef::~TTableDef() { CloseIO(); }

AnsiString TTableDef::EncipheredName(const AnsiString& tableName) {
  std::vector<char> alt(tableName.size(), 0);
  XorCipher(tableName.data(), alt.data(), kXorKeyBuffer.data(), 0, static_cast<int>(kXorKeyBuffer.size()),
            static_cast<int>(tableName.size()));
  return AnsiString(alt.data(), alt.size());
}

std::uint8_t TTableDef::CipherMode() const {
  switch (encryptionLevel_) {
    case encStrong: return kIOModeBlowfish;
    case encWeak: return kIOModeXor;
    default: return kIOModePlain;
  }
}

void TTableDef::Assign(TPersistent* source) {
  auto* s = dynamic_cast<TTableDef*>(source);
  if (s == nullptr) {
    TComponent::Assign(source);
    return;
  }
  tableID_ = s->tableID_;
  tableName_ = s->tableName_;
  version_ = s->version_;
  os_ = s->os_;
  creationDate_ = s->creationDate_;
  createdBy_ = s->createdBy_;
  encrypted_ = s->encrypted_;
  encryptionLevel_ = s->encryptionLevel_;
  password_ = s->password_;
  memory_ = s->memory_;
  keyFields_->Assign(s->keyFields_.get());
  internalFields_->Assign(s->internalFields_.get());
  internalIndexDefs_->Assign(s->internalIndexDefs_.get());
  recordSize_ = s->recordSize_;
  usesBlobs_ = s->usesBlobs_;
  defaultBlobSize_ = s->defaultBlobSize_;
  sortOrder_ = s->sortOrder_;
  altName_ = s->altName_;
  carriedValue_ = s->carriedValue_;
}

void TTableDef::ResetRuntime() {
  header_ = nullptr;
  indexIO_ = blobIO_ = recordIO_ = nullptr;
  ioOpen_ = false;
}

void TTableDef::Clear() {
  if (managerCopy_) UdbDatabaseError(udberr::kInvalidOperation, "TTableDef.Clear");
  CloseIO();
  tableID_ = 0;
  ownerFlag_ = 0;
  tableName_.clear();
  altName_.clear();
  version_.clear();
  os_.clear();
  creationDate_ = TDateTime();
  lastModDate_ = TDateTime();
  createdBy_.clear();
  password_.clear();
  encrypted_ = false;
  securityLevel_ = 0;
  memory_ = false;
  recordSize_ = 0;
  defaultBlobSize_ = kDefaultBlobSize;
  usesBlobs_ = false;
  sortOrder_ = soANSI;
  internalTable_ = false;
  encryptionLevel_ = encNone;
  keyFields_->Clear();
  internalFields_->Clear();
  internalIndexDefs_->Clear();
  carriedValue_ = 0;
  connectionCount_ = 0;
}

void TTableDef::CloseIO() {
  for (auto& io : ownedIO_) {
    if (io) io->Close();
    io.reset();
  }
  ResetRuntime();
}

void TTableDef::ShareIO(const TTableDef& source) {
  header_ = source.header_;
  indexIO_ = source.indexIO_;
  blobIO_ = source.blobIO_;
  recordIO_ = source.recordIO_;
  ioOpen_ = source.ioOpen_;
}

// The layout the fields produce is the only one used; stored offsets and a
// stored record size must agree with it.
void TTableDef::CheckLayout() {
  const char* loc = "TTableDef.InternalOpen";
  TInternalFields& f = *internalFields_;
  const int n = f.Count();
  if (n > udbrec::kMaxFields) UdbDatabaseError(udberr::kFieldCountLimit, loc, "A table holds at most 255 fields");
  std::vector<bool> seen(static_cast<size_t>(n), false);
  for (int i = 0; i < n; ++i) {
    const int fi = f.Items(i)->FieldIndex();
    if (fi < 0 || fi >= n || seen[static_cast<size_t>(fi)])
      UdbDatabaseError(udberr::kCorrupt, loc, "Field indexes of the table definition are damaged: " + tableName_);
    seen[static_cast<size_t>(fi)] = true;
  }
  // Fields are found by name, letter case aside (the dataset refuses to
  // make two fields of one name): a name stored twice is damage.
  for (int i = 1; i < n; ++i) {
    const AnsiString& name = f.Items(i)->FieldName();
    for (int j = 0; j < i; ++j)
      if (f.Items(j)->FieldName().size() == name.size() && AnsiSameText(f.Items(j)->FieldName(), name))
        UdbDatabaseError(udberr::kCorrupt, loc, "Field names of the table definition are damaged: " + name);
  }
  if (f.RecordSize() == 0) {
    struct Stored { int data, marker, flag; };
    std::vector<Stored> stored;
    for (int i = 0; i < n; ++i)
      stored.push_back({f.Items(i)->DataOffset(), f.Items(i)->SizeMarkerOffset(), f.Items(i)->NullFlagOffset()});
    f.SetDefaultOffsets();
    for (int i = 0; i < n; ++i) {
      const Stored& s = stored[static_cast<size_t>(i)];
      const TInternalFieldItem* item = f.Items(i);
      if (s.data != 0 && (s.data != item->DataOffset() || s.marker != item->SizeMarkerOffset() ||
                          s.flag != item->NullFlagOffset()))
        UdbDatabaseError(udberr::kCorrupt, loc, "Field layout of the table definition is damaged: " + item->FieldName());
    }
    if (recordSize_ != 0 && recordSize_ != f.RecordSize())
      UdbDatabaseError(udberr::kCorrupt, loc, "Record size of the table definition is damaged: " + tableName_);
  }
  recordSize_ = f.RecordSize();
  f.BuildFieldIndex();
  CheckIndexSequences(loc);
  const bool blobs = usesBlobs_ || f.UsesBlobs();
  if (blobs && (defaultBlobSize_ < udbfmt::kRunHeaderSize || defaultBlobSize_ > 65536))
    UdbDatabaseError(udberr::kCorrupt, loc, "Blob block size of the table definition is damaged: " + tableName_);
  for (int i = 0; i < internalIndexDefs_->Count(); ++i) {
    const std::uint32_t page = internalIndexDefs_->Items(i)->IndexPageSize();
    if (page < static_cast<std::uint32_t>(udbfmt::kRunHeaderSize) || page > 65536)
      UdbDatabaseError(udberr::kCorrupt, loc, "Index page size of the table definition is damaged: " + tableName_);
  }
  CheckKeyFields(loc);
}

// Keys are built by copying from the record at the offsets the key fields
// name: every one must lie inside the record and agree with its field, or
// a damaged definition would read (and write keys) past the record.
void TTableDef::CheckKeyFields(const char* location) const {
  const int size = recordSize_;
  auto damaged = [&](const TKeyFieldItem* k, const char* what) {
    UdbDatabaseErrorFmt(udberr::kCorrupt, location, "Key field %s of index %s in the table definition %s is damaged (%s)",
                        nullptr, {k->FieldName(), k->IndexName(), tableName_, AnsiString(what)});
  };
  std::vector<int> parts(static_cast<size_t>(internalIndexDefs_->Count()), 0);
  for (int i = 0; i < keyFields_->Count(); ++i) {
    const TKeyFieldItem* k = keyFields_->Items(i);
    int index = -1;
    for (int x = 0; x < internalIndexDefs_->Count() && index < 0; ++x)
      if (AnsiSameText(internalIndexDefs_->Items(x)->IndexName(), k->IndexName())) index = x;
    if (index < 0) damaged(k, "no such index");
    ++parts[static_cast<size_t>(index)];
    const TFieldType type = k->DataType();
    if (!IsKeyPartType(type)) damaged(k, "type");
    const bool isString = type == ftString;
    const int dataLength = isString ? k->FieldSize() : CoreDataSize(type);
    if (k->NullFlagOffset() < 0 || k->NullFlagOffset() >= size) damaged(k, "null flag offset");
    if (dataLength < 0 || k->RecBufOffset() < 0 || std::int64_t(k->RecBufOffset()) + dataLength > size)
      damaged(k, "data offset or size");
    if (isString ? (k->SizeMarkerOffset() < 1 || std::int64_t(k->SizeMarkerOffset()) + udbrec::kSizeMarkerSize > size)
                 : k->SizeMarkerOffset() != 0)
      damaged(k, "size marker");
    if (k->FieldName().empty()) continue;  // the hidden RecordID part
    const TInternalFieldItem* f = internalFields_->FindField(k->FieldName());
    if (f == nullptr) damaged(k, "no such field");
    if (f->DataType() != type || f->DataOffset() != k->RecBufOffset() || f->NullFlagOffset() != k->NullFlagOffset() ||
        f->SizeMarkerOffset() != k->SizeMarkerOffset() || (isString && f->FieldSize() != k->FieldSize()))
      damaged(k, "does not match its field");
  }
  for (size_t x = 0; x < parts.size(); ++x)
    if (parts[x] == 0)
      UdbDatabaseError(udberr::kCorrupt, location,
                       "Index " + internalIndexDefs_->Items(static_cast<int>(x))->IndexName() +
                           " of the table definition has no key fields: " + tableName_);
}

void TTableDef::InternalOpen(TDiskMgr* disk) {
  const char* loc = "TTableDef.InternalOpen";
  if (header_ == nullptr) UdbDatabaseError(udberr::kNotInitialized, loc, tableName_);
  if (!memory_ && disk == nullptr) UdbDatabaseError(udberr::kNotInitialized, loc, tableName_);
  CheckLayout();
  const bool blobs = usesBlobs_ || internalFields_->UsesBlobs();
  const int indexBlock = internalIndexDefs_->Count() > 0
                             ? static_cast<int>(internalIndexDefs_->Items(0)->IndexPageSize())
                             : static_cast<int>(kIndexNodeSize);
  try {
    for (int slot : {kIndexSlot, kBlobSlot, kRecordSlot}) {
      std::unique_ptr<TBaseIOInterface> io;
      if (memory_)
        io = std::make_unique<TMemoryIOInterface>();
      else
        io = std::make_unique<TDiskIOInterface>();
      io->SetDiskMgr(disk);
      io->SetTableId(static_cast<std::uint16_t>(tableID_));
      io->SetMode(CipherMode());
      switch (slot) {
        case kIndexSlot:
          io->SetUsage(kUsageIndex);
          io->SetBlockSize(memory_ ? static_cast<int>(kIndexNodeSize) : indexBlock);
          io->SetGlobalHeaderItem(memory_ ? 0 : udbfmt::kItemIndexNodeFirstEmpty);
          break;
        case kBlobSlot:
          io->SetUsage(kUsageBlob);
          io->SetBlockSize(defaultBlobSize_);
          break;
        default:
          io->SetUsage(kUsageRecord);
          // A free run header takes bytes 8..15 of its block: a shorter
          // record must still own 16 bytes or a freed record's run would
          // overwrite its neighbour.
          io->SetBlockSize(memory_ ? recordSize_ : std::max(recordSize_, udbfmt::kRunHeaderSize));
          break;
      }
      ownedIO_[slot] = std::move(io);
    }
    indexIO_ = ownedIO_[kIndexSlot].get();
    blobIO_ = ownedIO_[kBlobSlot].get();
    recordIO_ = ownedIO_[kRecordSlot].get();
    indexIO_->Open();
    if (blobs || memory_) blobIO_->Open();
    recordIO_->Open();
    TTableHeader* header = header_;
    if (!memory_) {
      recordIO_->OnFirstEmptyChange = [header](TUdbAddr a) { header->SetRecordFirstEmpty(a); };
      blobIO_->OnFirstEmptyChange = [header](TUdbAddr a) { header->SetBlobFirstEmpty(a); };
      LoadFirstEmpties();
    } else {
      std::vector<std::uint8_t> leaf(kIndexNodeSize, 0);
      udbfmt::PutU32(leaf.data(), kEmptyLeafMark);
      for (int i = 0; i < internalIndexDefs_->Count(); ++i) {
        const int seq = internalIndexDefs_->Items(i)->IndexSequence();
        header_->SetIndexRoot(seq, indexIO_->AllocateNewAddress(static_cast<int>(leaf.size()), leaf.data()));
        header_->SetIndexDepth(seq, 1);
      }
      header_->WriteHeader();
    }
  } catch (...) {
    TTableHeader* header = header_;
    CloseIO();
    header_ = header;
    throw;
  }
  ioOpen_ = true;
}

void TTableDef::CheckIndexSequences(const char* location) const {
  const int n = internalIndexDefs_->Count();
  if (n > udbhdr::kMaxIndexes)
    UdbDatabaseError(udberr::kCorrupt, location, "Index count of the table definition is damaged: " + tableName_);
  std::vector<bool> seen(static_cast<size_t>(n), false);
  for (int i = 0; i < n; ++i) {
    const int seq = internalIndexDefs_->Items(i)->IndexSequence();
    if (seq < 0 || seq >= n || seen[static_cast<size_t>(seq)])
      UdbDatabaseError(udberr::kCorrupt, location, "Index sequences of the table definition are damaged: " + tableName_);
    seen[static_cast<size_t>(seq)] = true;
  }
}

void TTableDef::LoadFirstEmpties() {
  if (memory_ || header_ == nullptr || recordIO_ == nullptr) return;
  recordIO_->SetFirstEmpty(header_->RecordFirstEmpty());
  blobIO_->SetFirstEmpty(header_->BlobFirstEmpty());
}

void TTableDef::ReattachKeyFields() {
  // Key fields that named the same vanished index stay together.
  std::vector<std::pair<AnsiString, AnsiString>> moved;  // old name -> new name
  for (int k = 0; k < keyFields_->Count(); ++k) {
    TKeyFieldItem* key = keyFields_->Items(k);
    const AnsiString old = key->IndexName();
    if (internalIndexDefs_->FindIndexDef(old) != nullptr) continue;
    auto hit = std::find_if(moved.begin(), moved.end(), [&](const auto& m) { return AnsiSameText(m.first, old); });
    if (hit != moved.end()) {
      key->SetIndexName(hit->second);
      continue;
    }
    for (int i = 0; i < internalIndexDefs_->Count(); ++i) {
      const AnsiString& name = internalIndexDefs_->Items(i)->IndexName();
      bool hasKeys = false;
      for (int j = 0; j < keyFields_->Count() && !hasKeys; ++j)
        hasKeys = AnsiSameText(keyFields_->Items(j)->IndexName(), name);
      if (!hasKeys) {
        key->SetIndexName(name);
        moved.emplace_back(old, name);
        break;
      }
    }
  }
}
