// TUdbDataBase (see UdbDataBase.h).
#include "Udb/UdbDataBase.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "Udb/Crc32.h"
#include "Udb/DBLogger.h"
#include "Udb/RestructureDefs.h"
#include "Udb/SecurityManager.h"
#include "Udb/UdbDataSet.h"
#include "Udb/UdbErrors.h"
#include "Udb/UdbFileIO.h"
#include "Udb/UdbRowAccess.h"
#include "Udb/UdbTableCursor.h"
#include "platform/core/AnsiText.h"
#include "platform/core/CodePage.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"
#include "platform/core/SysInfo.h"
#include "platform/core/TextForm.h"
#include "platform/data/FieldDefs.h"

using namespace udbdb;

namespace {

constexpr const char* kRangeText = "%s is not a valid value (min. length %d, max. length %d)";
constexpr const char* kNoPrivilegeText = "You do not have the privilege/s required to perform this function";
constexpr int kOpenReadOnly = 0, kOpenReadWrite = 2, kShareExclusive = 16, kShareDenyNone = 64;

void PutU32(THeader& h, int offset, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) h[static_cast<size_t>(offset + i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t GetU32(const THeader& h, int offset) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | h[static_cast<size_t>(offset + i)];
  return v;
}

AnsiString OSDescription() { return "Linux"; }

bool IsSystemName(const AnsiString& name) { return !name.empty() && name[0] == '$'; }

TUdbLoginDialog& LoginDialogSlot() {
  static TUdbLoginDialog dialog;
  return dialog;
}

// Releases the header lock at scope end when this scope took it.
class THeaderScope {
 public:
  explicit THeaderScope(TUdbDataBase& db) : db_(db), took_(!db.HeaderLocked()) {
    if (took_) db_.LockHeader(true);
  }
  ~THeaderScope() {
    if (took_) {
      try {
        db_.LockHeader(false);
      } catch (...) {
      }
    }
  }
  THeaderScope(const THeaderScope&) = delete;
  THeaderScope& operator=(const THeaderScope&) = delete;

 private:
  TUdbDataBase& db_;
  bool took_;
};

}  // namespace

class TUdbDataBase::TEngineAccess {
 public:
  explicit TEngineAccess(TUdbDataBase& db) : db_(db) { ++db_.engineAccess_; }
  ~TEngineAccess() { --db_.engineAccess_; }
  TEngineAccess(const TEngineAccess&) = delete;
  TEngineAccess& operator=(const TEngineAccess&) = delete;

 private:
  TUdbDataBase& db_;
};

// ============================================================================
// the database header
// ============================================================================

std::uint32_t udbdb::HeaderChecksum(const THeader& header) {
  std::array<std::uint8_t, 256 + kHeaderSize> buf{};
  for (int i = 0; i < 256; ++i) buf[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i);
  std::memcpy(buf.data() + 256, header.data(), header.size());
  std::memset(buf.data() + 256 + kHdrChecksum, 0, 4);
  return Crc32(buf.data(), buf.size());
}

void udbdb::PutText(THeader& header, int offset, int chars, const AnsiString& text) {
  std::u16string wide = AnsiToUtf16(text);
  if (static_cast<int>(wide.size()) > chars - 1) wide.resize(static_cast<size_t>(chars - 1));
  for (int i = 0; i < chars; ++i) {
    const char16_t c = i < static_cast<int>(wide.size()) ? wide[static_cast<size_t>(i)] : 0;
    header[static_cast<size_t>(offset + 2 * i)] = static_cast<std::uint8_t>(c & 0xFF);
    header[static_cast<size_t>(offset + 2 * i + 1)] = static_cast<std::uint8_t>(c >> 8);
  }
}

AnsiString udbdb::GetText(const THeader& header, int offset, int chars) {
  std::u16string wide;
  for (int i = 0; i < chars; ++i) {
    const char16_t c = static_cast<char16_t>(header[static_cast<size_t>(offset + 2 * i)] |
                                             (header[static_cast<size_t>(offset + 2 * i + 1)] << 8));
    if (c == 0) break;
    wide.push_back(c);
  }
  return Utf16ToAnsi(wide);
}

std::array<int, 3> udbdb::ParseVersion(const AnsiString& text) {
  std::array<int, 3> out{};
  size_t start = 0;
  for (int part = 0; part < 3; ++part) {
    const size_t dot = text.find('.', start);
    const std::string piece = text.substr(start, dot == AnsiString::npos ? AnsiString::npos : dot - start);
    bool digits = !piece.empty() && piece.size() < 9;
    for (char c : piece) digits = digits && c >= '0' && c <= '9';
    out[static_cast<size_t>(part)] = digits ? std::stoi(piece) : 0;
    if (dot == AnsiString::npos) break;
    start = dot + 1;
  }
  return out;
}

THeader udbdb::DefaultHeader(const AnsiString& databaseName) {
  THeader h{};
  h[kHdrMagic] = 1;
  PutText(h, kHdrName, kNameChars, databaseName);
  PutText(h, kHdrOS, kNameChars, OSDescription());
  const double now = Now();
  std::memcpy(h.data() + kHdrCreated, &now, sizeof now);
  PutText(h, kHdrUser, kNameChars, GetUserName());
  PutText(h, kHdrVersion, kVersionChars, kEngineVersion);
  return h;
}

void SetUdbLoginDialog(TUdbLoginDialog dialog) { LoginDialogSlot() = std::move(dialog); }
const TUdbLoginDialog& UdbLoginDialog() { return LoginDialogSlot(); }

// ============================================================================
// lifecycle and properties
// ============================================================================

TUdbDataBase::TUdbDataBase(TComponent* owner)
    : TComponent(owner),
      security_(std::make_unique<TSecurityManager>()),
      memMgr_(std::make_unique<TMemoryTableDefMgr>()) {
  header_ = DefaultHeader(name_);
}

TUdbDataBase::~TUdbDataBase() {
  try {
    SetConnected(false);
  } catch (...) {
  }
  for (TUdbDataSet* ds : std::vector<TUdbDataSet*>(clients_)) ds->SetDataBase(nullptr);
}

TUdbFileSystem& TUdbDataBase::Fs() const { return fs_ ? *fs_ : PosixFileSystem(); }

bool TUdbDataBase::IsMemory() const { return name_ == kMemoryName; }

void TUdbDataBase::CheckConnected(bool allowMemory) const {
  if (!connected_) UdbDatabaseError(udberr::kNotConnected, "TUdbDataBase.CheckConnected");
  if (IsMemory() && !allowMemory) UdbDatabaseError(udberr::kNotForMemory, "TUdbDataBase.CheckConnected");
}

void TUdbDataBase::CheckNotConnected() const {
  if (connected_) UdbDatabaseError(udberr::kConnected, "TUdbDataBase.CheckNotConnected");
}

void TUdbDataBase::CheckExclusive() const {
  if (!exclusive_) UdbDatabaseError(udberr::kNotExclusive, "TUdbDataBase.CheckExclusive");
}

void TUdbDataBase::CheckMinorVersion(int required) const {
  if (required > MinorVersion())
    UdbDatabaseError(udberr::kHigherLevel, "TUdbDataBase.CheckMinorVersion",
                     "This database version does not support this operation " + IntToStr(required));
}

void TUdbDataBase::SetDataBaseName(const AnsiString& name) {
  CheckNotConnected();
  const auto slash = name.find_last_of("\\/");
  if (slash == AnsiString::npos) {
    name_ = name;
    return;
  }
  SetDirectory(name.substr(0, slash + 1));
  name_ = name.substr(slash + 1);
}

void TUdbDataBase::SetDirectory(const AnsiString& dir) {
  CheckNotConnected();
  directory_ = dir;
  if (!directory_.empty() && directory_.back() != '\\' && directory_.back() != '/') directory_ += '\\';
}

void TUdbDataBase::SetExclusive(bool v) {
  CheckNotConnected();
  exclusive_ = v;
}

void TUdbDataBase::SetReadOnly(bool v) {
  CheckNotConnected();
  readOnly_ = v;
}

void TUdbDataBase::SetDefaultSortOrder(TSortOrder v) {
  CheckNotConnected();
  sortOrder_ = v;
}

void TUdbDataBase::SetEncrypted(bool v) {
  CheckNotConnected();
  encrypted_ = v;
  if (!v) secured_ = false;
}

void TUdbDataBase::SetSecured(bool v) {
  CheckNotConnected();
  secured_ = v;
  if (v) encrypted_ = true;
}

void TUdbDataBase::SetLockRetryMaximum(int n) {
  retryMaximum_ = n;
  if (disk_) disk_->SetLockRetryMaximum(n);
}

void TUdbDataBase::SetFlushPolicy(TUdbFlushPolicy policy) {
  flushPolicy_ = policy;
  if (disk_) disk_->SetFlushPolicy(policy);
}

void TUdbDataBase::SetLockRetryInterval(int ms) {
  retryInterval_ = ms;
  if (disk_) disk_->SetLockRetryInterval(ms);
}

void TUdbDataBase::SetMasterKey(const AnsiString& key) {
  CheckNotConnected();
  if (!key.empty() && (static_cast<int>(key.size()) < kMinMasterKey || static_cast<int>(key.size()) > kMaxMasterKey))
    UdbDatabaseErrorFmt(udberr::kKeyTooLarge, "TUdbDataBase.SetMasterKey", kRangeText, this,
                        {key, kMinMasterKey, kMaxMasterKey});
  masterKey_ = key;
}

void TUdbDataBase::SetConnected(bool v) {
  if (v == connected_) return;
  if (v) {
    if (BeforeConnect) BeforeConnect(this);
    DoConnect();
    if (AfterConnect) AfterConnect(this);
  } else {
    if (BeforeDisconnect) BeforeDisconnect(this);
    DoDisconnect();
    if (AfterDisconnect) AfterDisconnect(this);
  }
}

// ============================================================================
// connect and disconnect
// ============================================================================

void TUdbDataBase::CreateDiskInterfaces() {
  const char* loc = "TUdbDataBase.InternalCreateDiskInterfaces";
  if (disk_) UdbDatabaseError(udberr::kObjectExists, loc, "TDiskMgr");
  if (systemHdrIO_) UdbDatabaseError(udberr::kObjectExists, loc, "FSystemHdrDiskInterface");
  if (tableHdrIO_) UdbDatabaseError(udberr::kObjectExists, loc, "FTableHdrDiskInterface");
  if (systemMgr_) UdbDatabaseError(udberr::kObjectExists, loc, "FSystemTableMgr");
  if (userMgr_) UdbDatabaseError(udberr::kObjectExists, loc, "FUserTableMgr");
  disk_ = std::make_unique<TDiskMgr>();
  if (fs_) disk_->SetFileSystem(fs_);
  disk_->SetPageSize(udbfmt::kDefaultPageSize);
  auto makeIO = [&](int item) {
    auto io = std::make_unique<TDiskIOInterface>();
    io->SetDiskMgr(disk_.get());
    io->SetBlockSize(udbhdr::kTableHeaderSize);
    io->SetUsage(kUsageTableHeader);
    io->SetMode(kIOModeRaw);
    io->SetGlobalHeaderItem(item);
    return io;
  };
  systemHdrIO_ = makeIO(udbfmt::kItemSystemTableHdrFirstEmpty);
  tableHdrIO_ = makeIO(udbfmt::kItemUserTableHdrFirstEmpty);
  systemMgr_ = std::make_unique<TDiskTableDefMgr>();
  systemMgr_->SetSystem(true);
  systemMgr_->SetHeaderIO(systemHdrIO_.get());
  systemMgr_->SetMapAddress(udbfmt::kDefaultPageSize);
  userMgr_ = std::make_unique<TDiskTableDefMgr>();
  userMgr_->SetHeaderIO(tableHdrIO_.get());
  userMgr_->SetMapAddress(3 * static_cast<TUdbAddr>(udbfmt::kDefaultPageSize));
}

void TUdbDataBase::OpenDiskConnections() {
  const AnsiString file = FileName();
  if (!Fs().Exists(file)) UdbDatabaseError(udberr::kFileNotFound, "TUdbDataBase.InternalOpenDiskConnections", file);
  disk_->SetFileName(file);
  disk_->SetMode((readOnly_ ? kOpenReadOnly : kOpenReadWrite) + (exclusive_ ? kShareExclusive : kShareDenyNone));
  disk_->SetLockRetryMaximum(retryMaximum_);
  disk_->SetLockRetryInterval(retryInterval_);
  disk_->SetFlushPolicy(flushPolicy_);
  disk_->Open();
  systemHdrIO_->Open();
  tableHdrIO_->Open();
  systemMgr_->Open();
  userMgr_->Open();
}

void TUdbDataBase::CloseDiskConnections() {
  systemMgr_.reset();
  systemHdrIO_.reset();
  userMgr_.reset();
  tableHdrIO_.reset();
  if (disk_) disk_->Close();
  disk_.reset();
}

void TUdbDataBase::ReadHeader() {
  disk_->ReadData(0, kHeaderSize, header_.data(), kIOModeRaw, 0);
  // Nothing of the header is used before its checksum is known good.
  if (HeaderChecksum(header_) != GetU32(header_, kHdrChecksum) || header_[kHdrMagic] != 1)
    UdbDatabaseError(udberr::kCorruptHeader, "TUdbTable.DoConnect", FileName());
  sortOrder_ = static_cast<TSortOrder>(GetU32(header_, kHdrSortOrder) & 0xFF) == soASCII ? soASCII : soANSI;
  const std::uint32_t level = GetU32(header_, kHdrSecurityLevel);
  secured_ = level >= 2;
  encrypted_ = level >= 1;
  const AnsiString versionText = GetText(header_, kHdrVersion, kVersionChars);
  version_ = ParseVersion(versionText);
  if (DiskFormat() > 2)
    UdbDatabaseErrorFmt(udberr::kHigherLevel, "TUdbDataBase.DoConnect", "Current database disk format is %s", this,
                        {versionText});
}

void TUdbDataBase::WriteHeader() {
  PutU32(header_, kHdrChecksum, HeaderChecksum(header_));
  disk_->WriteData(0, kHeaderSize, header_.data(), kIOModeRaw, 0);
}

void TUdbDataBase::Login() {
  int mode = 0;
  if (secured_)
    mode = masterKey_.empty() ? 3 : 2;
  else if (encrypted_ && masterKey_.empty())
    mode = 1;
  if (mode == 0) return;
  AnsiString user, password, key = masterKey_;
  if (BeforeLogin) {
    BeforeLogin(this, user, password, key);
    loginUser_ = user;
    loginPassword_ = password;
  } else if (!UdbLoginDialog() || !UdbLoginDialog()(name_, mode, key, user, password)) {
    UdbDatabaseError(udberr::kBadLogin, "TUdbDataBase.DoConnect");
  }
  loginUser_ = user;
  loginPassword_ = password;
  if (mode != 2) masterKey_ = key;
}

void TUdbDataBase::DoConnect() {
  if (connected_) return;
  const char* loc = "TUdbDataBase.DoConnect";
  if (IsMemory()) {
    memMgr_->Open();
    header_ = DefaultHeader(name_);
    secured_ = false;
    systemRights_ = 0x7FFFFFFF;
    version_ = ParseVersion(kEngineVersion);
    connected_ = true;
    return;
  }
  if (name_.empty()) UdbDatabaseError(udberr::kInvalidDatabaseName, loc, directory_ + name_);
  memMgr_->Open();
  try {
    if (!disk_) CreateDiskInterfaces();
    OpenDiskConnections();
  } catch (...) {
    CloseDiskConnections();
    memMgr_->Clear();
    throw;
  }
  connected_ = true;
  try {
    ReadHeader();
    Login();
    disk_->SetMasterKey(masterKey_);
    if (encrypted_ || secured_) disk_->VerifySecurityHeader();
    // Files written before commits carried the global header could have
    // the head of a table-header list left on a header in use.
    if (!readOnly_)
      for (TDiskIOInterface* io : {systemHdrIO_.get(), tableHdrIO_.get()}) io->DropDamagedHead();
    OpenSystemTables();
    if (secured_) LogonSecured();
  } catch (...) {
    DoDisconnect();
    throw;
  }
  loginPassword_.clear();
}

void TUdbDataBase::LogonSecured() {
  TSecurityManager& sm = *security_;
  bool loggedOn = false;
  if (BeforeLogin) {
    sm.Logon(loginUser_, loginPassword_, name_);
    loggedOn = true;
  } else {
    try {
      loggedOn = sm.Logon(loginUser_, loginPassword_, name_);
    } catch (const EUdbDatabaseError&) {
    }
    // Later attempts ask again; a cancel ends them.
    for (int pass = 1; !loggedOn && UdbLoginDialog(); ++pass) {
      AnsiString key = masterKey_;
      if (pass > 1 && !UdbLoginDialog()(name_, 2, key, loginUser_, loginPassword_)) break;
      try {
        loggedOn = sm.Logon(loginUser_, loginPassword_, name_);
      } catch (const EUdbDatabaseError&) {
      }
    }
  }
  if (!loggedOn) UdbDatabaseError(udberr::kBadLogin, "TUdbDataBase.DoConnect");
  privileges_.Name = sm.GroupName();
  sm.GetPrivileges("", privileges_);
  systemRights_ = DatabaseRights(privileges_.SystemPrivileges());
}

void TUdbDataBase::DoDisconnect() {
  if (!connected_) return;
  if (headerLocked_) {
    try {
      LockHeader(false);
    } catch (...) {
    }
    headerLocked_ = false;
  }
  for (TUdbDataSet* ds : std::vector<TUdbDataSet*>(clients_)) {
    if (ds == userMaster_.get() || ds == systemMaster_.get() || ds == objectIds_.get() || ds == generators_.get())
      continue;
    try {
      if (ds->Active())
        ds->Close();
      else if (ds->CursorOpen())
        ds->CloseDataSet();
    } catch (...) {
    }
  }
  CloseSystemTables();
  CloseDiskConnections();
  memMgr_->Clear();
  privileges_.ObjectPrivileges().Clear();
  privileges_.SystemPrivileges().Clear();
  privileges_.Name.clear();
  loginUser_.clear();
  loginPassword_.clear();
  systemRights_ = 0;
  secured_ = false;
  masterKey_.clear();
  header_ = DefaultHeader(name_);
  connected_ = false;
}

// ============================================================================
// system tables
// ============================================================================

void TUdbDataBase::SetMasterTableDef(TTableDef* def, const AnsiString& name, int tableId) const {
  TUdbTableCursor maker;
  maker.SetTableName(name);
  if (encrypted_) maker.SetEncryptionLevel(encStrong);
  TFieldDefs fields(&maker);
  fields.Add("AutoID", ftAutoInc, 0);
  fields.Add("Name", ftString, kMaxTableName);
  fields.Add("TableDef", ftBlob, 0);
  TIndexDefs indexes(&maker);
  TIndexOptions options;
  options << ixPrimary << ixUnique << ixCaseInsensitive;
  indexes.Add("", "Name", options);
  maker.SetTableDef(&fields, &indexes);
  def->Assign(&maker.TableDef());
  def->SetTableName(name);
  def->SetTableID(tableId);
  def->SetInternalTable(true);
  def->SetDefaultBlobSize(1024);
}

std::unique_ptr<TUdbTableCursor> TUdbDataBase::OpenInternal(const AnsiString& name) {
  TEngineAccess engine(*this);
  auto t = std::make_unique<TUdbTableCursor>();
  t->SetDataBase(this);
  t->SetTableName(name);
  t->DataSetOpen();
  return t;
}

void TUdbDataBase::OpenSystemTables() {
  userMaster_ = OpenInternal(kUserMaster);
  if (MinorVersion() > 1) {
    systemMaster_ = OpenInternal(kSystemMaster);
    objectIds_ = OpenInternal(kObjectIdTable);
    generators_ = OpenInternal(kGeneratorTable);
  }
  if (secured_) {
    secGroups_ = OpenInternal(udbsec::kGroups);
    secUsers_ = OpenInternal(udbsec::kUsers);
    secObjPrivs_ = OpenInternal(udbsec::kObjectPrivileges);
    secSysPrivs_ = OpenInternal(udbsec::kSystemPrivileges);
    security_->Open(this, secUsers_.get(), objectIds_.get(), secSysPrivs_.get(), secObjPrivs_.get(), secGroups_.get());
  }
}

void TUdbDataBase::CloseSystemTables() {
  security_->Close();
  for (auto* slot : {&secSysPrivs_, &secObjPrivs_, &secUsers_, &secGroups_, &generators_, &objectIds_,
                     &systemMaster_, &userMaster_}) {
    if (!*slot) continue;
    try {
      (*slot)->CloseDataSet();
    } catch (...) {
    }
    (*slot)->SetDataBase(nullptr);
    slot->reset();
  }
}

TUdbTableCursor* TUdbDataBase::MasterFor(const AnsiString& name) const {
  TUdbTableCursor* master = IsSystemName(name) && systemMaster_ ? systemMaster_.get() : userMaster_.get();
  if (master == nullptr) UdbDatabaseError(udberr::kInternal, "TUdbDataBase.MasterFor", "The catalogue is not open");
  return master;
}

TDiskTableDefMgr& TUdbDataBase::ManagerFor(const AnsiString& name) const {
  return IsSystemName(name) ? *systemMgr_ : *userMgr_;
}

bool TUdbDataBase::FindByName(TUdbTableCursor& t, const char* field, const AnsiString& name,
                              const AnsiString& index) {
  return udbrow::Find(t, index, {{field, Variant(name)}});
}

void TUdbDataBase::CreateMasterTables() {
  if (!headerLocked_)
    UdbDatabaseError(udberr::kInternal, "TUdbDataBase.CreateMasterTables",
                     "Database header not locked prior to system change");
  for (const char* name : {kUserMaster, kSystemMaster}) {
    TTableDef def;
    SetMasterTableDef(&def, name, 0);
    systemMgr_->CreateTableDef(name, &def);
  }
}

namespace {

using TColumns = std::vector<std::pair<const char*, std::pair<TFieldType, int>>>;
// Index name, fields, unique (else case-insensitive only).
struct TIndexSpec {
  const char* name;
  const char* fields;
  bool unique;
};
using TIndexes = std::vector<TIndexSpec>;
constexpr const char* kAllFieldPlaceholder = "ALLFIELDS";

void MakeSystemTable(TUdbDataBase& db, const char* name, const TColumns& cols, const TIndexes& idx, bool encipher) {
  TUdbTableCursor t;
  t.SetDataBase(&db);
  t.SetTableName(name);
  if (encipher) t.SetEncryptionLevel(encStrong);
  TFieldDefs fields(&t);
  for (const auto& [field, type] : cols) fields.Add(field, type.first, type.second);
  TIndexDefs indexes(&t);
  for (const TIndexSpec& x : idx) {
    TIndexOptions options;
    options << ixCaseInsensitive;
    if (x.unique) options << ixUnique;
    indexes.Add(x.name, x.fields, options);
  }
  t.SetTableDef(&fields, &indexes);
  // The stored layout names a field "ALL", a word that user tables may
  // not use as a name: it is given its stored name after the checks.
  for (int i = 0; i < t.TableDef().InternalFields()->Count(); ++i)
    if (t.TableDef().InternalFields()->Items(i)->FieldName() == kAllFieldPlaceholder)
      t.TableDef().InternalFields()->Items(i)->SetFieldName("ALL");
  t.TableDef().SetInternalTable(true);
  db.CreateTable(&t.TableDef());
  t.SetDataBase(nullptr);
}

}  // namespace

void TUdbDataBase::CreateSecurityTables() {
  if (!headerLocked_)
    UdbDatabaseError(udberr::kInternal, "TUdbDataBase.CreateSecurityTables",
                     "Database header not locked prior to system change");
  MakeSystemTable(*this, udbsec::kGroups, {{"GroupID", {ftAutoInc, 0}}, {"GroupName", {ftString, 30}}},
                  {{"ixGroupID", "GroupID", true}, {"ixGroupName", "GroupName", true}}, true);
  MakeSystemTable(*this, udbsec::kUsers,
                  {{"UserID", {ftAutoInc, 0}},
                   {"UserName", {ftString, 30}},
                   {"Pwd0", {ftInteger, 0}},
                   {"Pwd1", {ftInteger, 0}},
                   {"Pwd2", {ftInteger, 0}},
                   {"Pwd3", {ftInteger, 0}},
                   {"Pwd4", {ftInteger, 0}},
                   {"GroupID", {ftInteger, 0}},
                   {"DateCreated", {ftDateTime, 0}},
                   {"DateLastModified", {ftDateTime, 0}},
                   {"DateLastPWordChange", {ftDateTime, 0}}},
                  {{"ixUserName", "UserName", true},
                   {"ixGroupUsers", "GroupID;UserName", false},
                   {"ixPasswordAge", "DateLastPWordChange", false}},
                  true);
  MakeSystemTable(*this, udbsec::kObjectPrivileges,
                  {{"GroupID", {ftInteger, 0}},
                   {"ObjectType", {ftInteger, 0}},
                   {"ObjectID", {ftInteger, 0}},
                   {"PrivilegeID", {ftInteger, 0}},
                   {kAllFieldPlaceholder, {ftBoolean, 0}},
                   {"FieldsShort", {ftString, 100}},
                   {"FieldsLong", {ftMemo, 0}},
                   {"GrantOption", {ftBoolean, 0}}},
                  {{"ixGroupPriv", "GroupID;ObjectType;ObjectID;PrivilegeID", true}}, true);
  MakeSystemTable(*this, udbsec::kSystemPrivileges,
                  {{"GroupID", {ftInteger, 0}}, {"PrivilegeID", {ftInteger, 0}}, {"GrantOption", {ftBoolean, 0}}},
                  {{"ixGroupPriv", "GroupID;PrivilegeID", true}}, true);
}

void TUdbDataBase::CreateSystemTables() {
  if (!headerLocked_)
    UdbDatabaseError(udberr::kInternal, "TUdbDataBase.CreateSystemTables",
                     "Database header not locked prior to system change");
  if (MinorVersion() <= 1) return;
  auto make = [&](const char* name, const TColumns& cols, const TIndexes& idx) {
    MakeSystemTable(*this, name, cols, idx, encrypted_);
  };
  make(kObjectIdTable, {{"ObjectID", {ftInteger, 0}}, {"ObjectName", {ftString, 40}}},
       {{"ixObjectID", "ObjectID", true}, {"ixObjectName", "ObjectName", true}});
  make(kGeneratorTable,
       {{"GeneratorName", {ftString, 20}},
        {"GeneratorValue", {ftInteger, 0}},
        {"GeneratorStep", {ftInteger, 0}},
        {"GeneratorResetValue", {ftInteger, 0}}},
       {{"ixGenName", "GeneratorName", true}});
}

int TUdbDataBase::InternalGetGenerator(const AnsiString& name, bool createIfMissing) {
  const char* loc = "TUdbDataBase.InternalGetGenerator";
  CheckConnected(false);
  CheckMinorVersion(2);
  TUdbTableCursor& t = *generators_;
  const bool locked = LockTable(t.TableDef(), kTableWriteLock);
  struct TUnlock {
    TUdbDataBase& db;
    TUdbTableCursor& t;
    bool locked;
    ~TUnlock() {
      if (locked) db.UnlockTable(t.TableDef());
    }
  } unlock{*this, t, locked};
  int result = 1;
  if (FindByName(t, "GeneratorName", name, "ixGenName")) {
    result = udbrow::Get(t, "GeneratorValue").AsInteger();
    udbrow::Set(t, "GeneratorValue", result + udbrow::Get(t, "GeneratorStep").AsInteger());
    t.UpdateRecord();
  } else if (createIfMissing) {
    t.InitRecBuf();
    udbrow::Set(t, "GeneratorName", Variant(name));
    udbrow::Set(t, "GeneratorValue", 2);
    udbrow::Set(t, "GeneratorStep", 1);
    udbrow::Set(t, "GeneratorResetValue", 2);
    t.AddRecord(true);
  } else {
    UdbDatabaseError(udberr::kObjectNotFound, loc, name);
  }
  return result;
}

int TUdbDataBase::ObjectId(const AnsiString& tableName) {
  if (!objectIds_ || AnsiSameText(tableName, "ALL")) return 0;
  if (!FindByName(*objectIds_, "ObjectName", tableName, "ixObjectName")) return 0;
  return udbrow::Get(*objectIds_, "ObjectID").AsInteger();
}

void TUdbDataBase::SetObjectId(const AnsiString& oldName, const AnsiString& newName, int newId) {
  TUdbTableCursor& t = *objectIds_;
  if (FindByName(t, "ObjectName", oldName, "ixObjectName")) {
    udbrow::Set(t, "ObjectName", Variant(newName));
    t.UpdateRecord();
    return;
  }
  t.InitRecBuf();
  udbrow::Set(t, "ObjectID", newId);
  udbrow::Set(t, "ObjectName", Variant(newName));
  t.AddRecord(true);
}

// ============================================================================
// catalogue
// ============================================================================

void TUdbDataBase::CreateDatabase() {
  const char* loc = "TUdbTable.CreateDatabase";
  CheckNotConnected();
  if (name_.empty() || IsMemory()) UdbDatabaseError(udberr::kInvalidDatabaseName, loc, directory_ + name_);
  if (encrypted_ && static_cast<int>(masterKey_.size()) < kMinMasterKey)
    UdbDatabaseErrorFmt(udberr::kBadLogin, loc, kRangeText, this, {masterKey_, kMinMasterKey, kMaxMasterKey});
  {
    TDiskMgr maker;
    if (fs_) maker.SetFileSystem(fs_);
    maker.SetPageSize(udbfmt::kDefaultPageSize);
    maker.SetFileName(FileName());
    maker.CreateNewFile(false);
  }
  header_ = DefaultHeader(name_);
  PutU32(header_, kHdrSortOrder, static_cast<std::uint32_t>(sortOrder_));
  PutU32(header_, kHdrSecurityLevel, secured_ ? 2 : encrypted_ ? 1 : 0);
  version_ = ParseVersion(kEngineVersion);
  connected_ = true;
  TEngineAccess engine(*this);
  try {
    if (!disk_) CreateDiskInterfaces();
    memMgr_->Open();
    OpenDiskConnections();
    disk_->SetMasterKey(masterKey_);
    LockHeader(true);
    WriteHeader();
    if (encrypted_) disk_->WriteSecurityHeader();
    CreateMasterTables();
    userMaster_ = OpenInternal(kUserMaster);
    systemMaster_ = OpenInternal(kSystemMaster);
    CreateSystemTables();
    if (secured_) CreateSecurityTables();
    LockHeader(false);
  } catch (...) {
    const AnsiString key = masterKey_;
    DoDisconnect();
    masterKey_ = key;
    throw;
  }
  const AnsiString key = masterKey_;
  DoDisconnect();
  masterKey_ = key;
}

void TUdbDataBase::GetTableNames(TStrings* list, bool memoryTables) {
  CheckConnected(memoryTables);
  if (memoryTables) {
    memMgr_->AddTableNames(list);
    return;
  }
  TUdbTableCursor& t = *userMaster_;
  std::set<AnsiString> seen;
  for (bool ok = t.GotoFirst(); ok; ok = t.GotoNext()) {
    const Variant name = udbrow::Get(t, "Name");
    // Every table of the catalogue has a name: a row without one is damage.
    if (name.IsNull())
      UdbDatabaseError(udberr::kCorrupt, "TUdbDataBase.GetTableNames", "A catalogue row without a table name", this);
    // Names are unique, so a name met again means the walk came round
    // again over damaged pages: it would go on for ever.
    if (!seen.insert(name.AsString()).second)
      UdbDatabaseError(udberr::kCorrupt, "TUdbDataBase.GetTableNames", "The catalogue lists a table twice", this);
    list->Add(name.AsString());
  }
}

void TUdbDataBase::InternalCreateTable(TTableDef* def) {
  const AnsiString& name = def->TableName();
  if (name.empty() || static_cast<int>(name.size()) > kMaxTableName)
    UdbDatabaseErrorFmt(udberr::kInvalidTableName, "TUdbDataBase.InternalCreateTable", kRangeText, this,
                        {name, 1, kMaxTableName});
  def->SetVersion(kEngineVersion);
  def->SetOS(OSDescription());
  def->SetCreationDate(Now());
  if (def->CreatedBy().empty()) def->SetCreatedBy(GetUserName());
  def->SetLastModDate(Now());
  if (def->Memory()) {
    memMgr_->CreateTableDef(name, def);
    return;
  }
  InternalUpdateTableDef(name, def, true);
}

void TUdbDataBase::InternalUpdateTableDef(const AnsiString& oldName, TTableDef* def, bool creating) {
  const char* loc = "TUdbDataBase.InternalUpdateTableDef";
  THeaderScope scope(*this);
  const AnsiString newName = def->TableName();
  for (const AnsiString& n : {oldName, newName})
    if (n.empty() || static_cast<int>(n.size()) > kMaxTableName)
      UdbDatabaseErrorFmt(udberr::kInvalidTableName, loc, kRangeText, this, {n, 1, kMaxTableName});
  TUdbTableCursor& master = *MasterFor(newName);
  const bool renamed = !creating && !AnsiSameText(oldName, newName);
  if (renamed && FindByName(master, "Name", newName, AnsiString()))
    UdbDatabaseError(udberr::kTableExists, loc, newName);
  bool found = FindByName(master, "Name", oldName, AnsiString());
  int newId = 0;
  if (creating) {
    if (found) UdbDatabaseError(udberr::kTableExists, loc, newName);
    ManagerFor(newName).CreateTableDef(newName, def);
    if (MinorVersion() >= 2 && objectIds_ && !IsSystemName(newName)) newId = InternalGetGenerator(kObjectIdGenerator, true);
  } else if (!found) {
    UdbDatabaseError(udberr::kNoSuchTable, loc, oldName);
  }
  const AnsiString text = ComponentToObjectText(def);
  if (creating) {
    master.InitRecBuf();
    udbrow::Set(master, "Name", Variant(newName));
    udbrow::SetBlobText(master, "TableDef", text);
    master.AddRecord(true);
  } else {
    udbrow::Set(master, "Name", Variant(newName));
    udbrow::SetBlobText(master, "TableDef", text);
    master.UpdateRecord();
  }
  if (MinorVersion() >= 2 && objectIds_ && !IsSystemName(newName) && (creating || renamed))
    SetObjectId(oldName, newName, newId);
}

void TUdbDataBase::InternalGetTableDef(const AnsiString& name, TTableDef* def) {
  const char* loc = "TUdbDataBase.InternalGetTableDef";
  if (name == kUserMaster || name == kSystemMaster) {
    SetMasterTableDef(def, name, name == kUserMaster ? kUserMasterId : kSystemMasterId);
    return;
  }
  TUdbTableCursor& master = *MasterFor(name);
  if (!FindByName(master, "Name", name, AnsiString())) UdbDatabaseError(udberr::kNoSuchTable, loc, name);
  const AnsiString text = udbrow::BlobText(master, "TableDef");
  try {
    ObjectTextToComponent(text, def);
  } catch (const Exception&) {
    UdbDatabaseError(udberr::kInternal, loc, "Internal error - the table definition could not be read");
  }
  if (!def->InternalTable()) def->SetInternalTable(IsSystemName(name));
}

void TUdbDataBase::GetTableDef(const AnsiString& name, bool memory, TTableDef* def) {
  CheckConnected(memory);
  if (memory) {
    const int pos = memMgr_->FindByName(name);
    if (pos < 0) UdbDatabaseError(udberr::kNoSuchTable, "TUdbDataBase.GetTableDef", name);
    def->Assign(memMgr_->Items(pos));
    return;
  }
  InternalGetTableDef(name, def);
}

void TUdbDataBase::OpenTableDef(const AnsiString& name, TTableDef* def) {
  CheckConnected(def->Memory());
  if (def->Memory()) {
    if (memMgr_->FindByName(name) < 0) UdbDatabaseError(udberr::kNoSuchTable, "TUdbDataBase.OpenTableDef", name);
    memMgr_->OpenTableDefConnection(name, def);
    return;
  }
  CheckSystemTableAccess(name, "TUdbDataBase.OpenTableDef");
  InternalGetTableDef(name, def);
  if (Guarded(name)) InternalCheckCanOpenDataObject(name);
  ManagerFor(name).OpenTableDefConnection(name, def);
  InternalSetTablePrivileges(def, !Guarded(name));
}

bool TUdbDataBase::Guarded(const AnsiString& name) const { return secured_ && connected_ && !IsSystemName(name); }

void TUdbDataBase::CheckSystemTableAccess(const AnsiString& name, const char* location) const {
  if (!secured_ || !connected_ || !IsSystemName(name) || engineAccess_ > 0) return;
  if (security_->IsAdministrator()) return;
  UdbDatabaseError(udberr::kNoPrivilege, location, kNoPrivilegeText);
}

void TUdbDataBase::InternalCheckCanOpenDataObject(const AnsiString& name) {
  const char* loc = "TUdbDataBase.InternalCheckCanOpenDataObject";
  if (ObjectId(name) == 0) UdbDatabaseError(udberr::kObjectNotFound, loc, name);
  if ((TableRights(privileges_.ObjectPrivileges(), name) & 8) == 0)
    UdbDatabaseError(udberr::kNoPrivilege, loc, kNoPrivilegeText);
}

void TUdbDataBase::InternalSetTablePrivileges(TTableDef* def, bool full) {
  TInternalFields& fields = *def->InternalFields();
  if (full) {
    def->SetAccessMask(kAllRights);
    for (int i = 0; i < fields.Count(); ++i) fields.Items(i)->SetAccessMask(kAllRights);
    return;
  }
  if (ObjectId(def->TableName()) == 0)
    UdbDatabaseError(udberr::kObjectNotFound, "TUdbDataBase.InternalSetTablePrivileges", def->TableName());
  std::vector<std::pair<int, AnsiString>> limits;
  const int rights = TableRights(privileges_.ObjectPrivileges(), def->TableName(), &limits);
  def->SetAccessMask(static_cast<std::uint32_t>(rights));
  for (int i = 0; i < fields.Count(); ++i) {
    std::uint32_t mask = static_cast<std::uint32_t>(rights);
    for (const auto& [ordinal, list] : limits) {
      TStringList names;
      names.SetCommaText(list);
      if (names.IndexOf(AnsiUpperCase(fields.Items(i)->FieldName())) < 0)
        mask &= ~static_cast<std::uint32_t>(ObjectPrivilegeBit(ordinal));
    }
    fields.Items(i)->SetAccessMask(mask);
  }
}

void TUdbDataBase::QueryPrivilege(const AnsiString& objectName, int accessBit) {
  const char* loc = "TUdbDataBase.QueryPrivilege";
  CheckSystemTableAccess(objectName, loc);
  if (!Guarded(objectName)) return;
  if (!AnsiSameText(objectName, "ALL") && ObjectId(objectName) == 0) UdbDatabaseError(udberr::kObjectNotFound, loc, objectName);
  if ((TableRights(privileges_.ObjectPrivileges(), objectName) & accessBit) == 0)
    UdbDatabaseError(udberr::kNoPrivilege, loc, kNoPrivilegeText);
}

void TUdbDataBase::CloseTableDef(TTableDef* def) {
  if (def->Memory())
    memMgr_->CloseTableDefConnection(def->TableID());
  else if (TDiskTableDefMgr* mgr = IsSystemName(def->TableName()) ? systemMgr_.get() : userMgr_.get())
    mgr->CloseTableDefConnection(def->TableID());
  def->CloseIO();
}

// Catalogue changes run in a TCatalogueChange (UdbTableServices.h); the
// header lock is given back before its Done, so the global header is part
// of the journalled commit.
void TUdbDataBase::CreateTable(TTableDef* def) {
  CheckConnected(def->Memory());
  if (!def->Memory()) CheckSystemTableAccess(def->TableName(), "TUdbDataBase.CreateTable");
  TCatalogueChange change(*this, def->Memory());
  {
    THeaderScope scope(*this);
    InternalCreateTable(def);
  }
  change.Done();
}

void TUdbDataBase::StoreTableDef(TTableDef* def, int change) {
  const char* loc = "TUdbDataBase.UpdateTableDef";
  CheckConnected(def->Memory());
  if (def->Memory()) UdbDatabaseError(udberr::kWrongTableType, loc, def->TableName());
  CheckSystemTableAccess(def->TableName(), loc);
  TCatalogueChange catalogueChange(*this, false);
  InternalStoreTableDef(def, change);
  catalogueChange.Done();
}

void TUdbDataBase::InternalStoreTableDef(TTableDef* def, int change) {
  // A definition rebuilt from field and index definitions carries no table
  // id; the stored table keeps its own, or the next open finds no storage.
  if (def->TableID() == 0) {
    TTableDef stored;
    InternalGetTableDef(def->TableName(), &stored);
    def->SetTableID(stored.TableID());
    def->SetOwnerFlag(stored.OwnerFlag());
  }
  if (change != kStoreDefinition) {
    TDiskTableDefMgr& mgr = ManagerFor(def->TableName());
    TTableDef open;
    InternalGetTableDef(def->TableName(), &open);
    mgr.OpenTableDefConnection(def->TableName(), &open);
    TTableDef* copy = mgr.Items(mgr.FindByName(def->TableName()));
    try {
      copy->InternalIndexDefs()->Assign(def->InternalIndexDefs());
      copy->KeyFields()->Assign(def->KeyFields());
      TRestructureFieldDefs fields;
      TRestructureIndexDefs indexes;
      fields.SetStatus(change == kStoreRebuild ? rsDataRequirementsChanged : rsUnchanged);
      indexes.SetStatus(rsDataRequirementsChanged);
      TRestructureRequest request;
      request.FieldDefs = &fields;
      request.IndexDefs = &indexes;
      mgr.RestructureTableDef(copy, request);
    } catch (...) {
      mgr.CloseTableDefConnection(open.TableID());
      open.CloseIO();
      throw;
    }
    mgr.CloseTableDefConnection(open.TableID());
    open.CloseIO();
  }
  def->SetLastModDate(Now());
  InternalUpdateTableDef(def->TableName(), def, false);
}

void TUdbDataBase::RenameTable(const AnsiString& oldName, const AnsiString& newName) {
  const char* loc = "TUdbDataBase.RenameTable";
  CheckConnected(false);
  CheckSystemTableAccess(newName, loc);
  // Renaming changes the object as altering its structure does.
  QueryPrivilege(oldName, static_cast<int>(udbcur::kPrivAlter));
  TCatalogueChange change(*this, false);
  {
    THeaderScope scope(*this);
    TTableDef def;
    InternalGetTableDef(oldName, &def);
    if (userMgr_->ConnectionCount(oldName) > 0)
      UdbDatabaseErrorFmt(udberr::kInvalidTableDelete, loc, "The table %s is in use", this, {oldName});
    def.SetTableName(newName);
    if (def.Encrypted()) def.SetAltName(TTableDef::EncipheredName(newName));
    InternalUpdateTableDef(oldName, &def, false);
    // A copy left from the create under the old name would answer for the
    // table's id when the renamed table is closed.
    ManagerFor(oldName).DropUnconnectedCopy(oldName);
  }
  change.Done();
}

void TUdbDataBase::DeleteTable(const AnsiString& name, bool memory) {
  const char* loc = "TUdbDataBase.DeleteTable";
  CheckConnected(memory);
  if (!memory) {
    CheckExclusive();
    QueryPrivilege(name, 4);
  }
  TTableDef def;
  def.SetMemory(memory);
  GetTableDef(name, memory, &def);
  if (memory) {
    if (memMgr_->ConnectionCount(name) > 0)
      UdbDatabaseErrorFmt(udberr::kInvalidTableDelete, loc, "The table %s is in use", this, {name});
    memMgr_->DeleteTableDef(name, &def);
    return;
  }
  TCatalogueChange change(*this, false);
  {
    THeaderScope scope(*this);
    TDiskTableDefMgr& mgr = ManagerFor(name);
    if (mgr.ConnectionCount(name) > 0)
      UdbDatabaseErrorFmt(udberr::kInvalidTableDelete, loc, "The table %s is in use", this, {name});
    const int tableId = def.TableID();
    mgr.DeleteTableDef(name, &def);
    disk_->FreeTablePages(static_cast<std::uint16_t>(tableId), 0, false);
    TUdbTableCursor& master = *MasterFor(name);
    if (!FindByName(master, "Name", name, AnsiString()))
      UdbDatabaseError(udberr::kInternal, loc, "Unable to delete internal table definition: " + name);
    master.DeleteRecord(master.RecBuf());
    if (MinorVersion() >= 2 && objectIds_ && FindByName(*objectIds_, "ObjectName", name, "ixObjectName"))
      objectIds_->DeleteRecord(objectIds_->RecBuf());
  }
  change.Done();
}

void TUdbDataBase::CopyDatabase(const AnsiString& targetFile, bool overwrite) {
  const char* loc = "TUdbDataBase.CopyDatabase";
  const AnsiString source = FileName();
  TUdbFileSystem& fs = Fs();
  // The same file under another spelling or through a link is still the
  // source: copying onto it would destroy it.
  if (source == targetFile || fs.SameFile(source, targetFile)) UdbDatabaseError(udberr::kFileCopyFailed, loc, targetFile);
  if (!fs.Exists(source)) UdbDatabaseError(udberr::kFileNotFound, loc, source);
  if (fs.Exists(targetFile) && !overwrite) UdbDatabaseError(udberr::kGeneralError, loc, targetFile);
  if (connected_ && !IsMemory()) {
    // A copy made while other connections write would be torn: only the
    // sole user of the file copies it, through its own page file, with
    // the header lock keeping system changes out.
    CheckExclusive();
    THeaderScope scope(*this);
    if (fs.Exists(targetFile)) fs.Remove(targetFile);
    disk_->CopyDatabaseFile(targetFile);
  } else if (!UdbCopyFile(source, targetFile, overwrite, fs)) {
    UdbDatabaseError(udberr::kFileCopyFailed, loc, source);
  }
  if (!fs.Exists(targetFile)) UdbDatabaseError(udberr::kFileCopyFailed, loc, targetFile);
}

int TUdbDataBase::RebuildTable(const AnsiString& tableName, const AnsiString& sourceFile, TUdbDataSet* target) {
  CheckConnected(false);
  CheckExclusive();
  TUdbDataBase source;
  source.SetFileSystem(fs_);
  source.SetDataBaseName(sourceFile);
  source.SetExclusive(true);
  source.SetReadOnly(true);
  if (!masterKey_.empty()) source.SetMasterKey(masterKey_);
  source.SetConnected(true);
  TUdbTableCursor from;
  from.SetDataBase(&source);
  from.SetTableName(tableName);
  from.DataSetOpen();
  int failed = 0;
  if (target != nullptr) {
    failed = from.CopyRawTableData(target);
  } else {
    TUdbTableCursor to;
    to.SetDataBase(this);
    to.SetTableName(tableName);
    to.DataSetOpen();
    to.EmptyTable();
    failed = from.CopyRawTableData(&to);
    to.CloseDataSet();
    to.SetDataBase(nullptr);
  }
  from.CloseDataSet();
  from.SetDataBase(nullptr);
  return failed;
}

// ============================================================================
// clients, locks, transactions
// ============================================================================

void TUdbDataBase::RegisterClient(TUdbDataSet* dataSet) {
  if (std::find(clients_.begin(), clients_.end(), dataSet) == clients_.end()) clients_.push_back(dataSet);
}

void TUdbDataBase::UnRegisterClient(TUdbDataSet* dataSet) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), dataSet), clients_.end());
}

bool TUdbDataBase::LockTable(const TTableDef& def, int kind) {
  if (def.Memory() || !disk_) return false;
  return disk_->LockTable(def.TableID(), kind) != 0;
}

bool TUdbDataBase::TableLockHeld(const TTableDef& def) const {
  return !def.Memory() && disk_ && disk_->HoldsTableLock(def.TableID());
}

void TUdbDataBase::UnlockTable(const TTableDef& def) {
  if (def.Memory() || !disk_) return;
  disk_->UnlockTable(def.TableID());
}

bool TUdbDataBase::LockRecord(const TTableDef& def, TUdbAddr address) {
  if (def.Memory() || !disk_) return false;
  return disk_->LockRecord(static_cast<int>(address)) != 0;
}

void TUdbDataBase::UnlockRecord(const TTableDef& def, TUdbAddr address) {
  if (def.Memory() || !disk_) return;
  disk_->UnlockRecord(static_cast<int>(address));
}

void TUdbDataBase::LockHeader(bool lock) {
  if (lock != headerLocked_ && disk_) {
    CheckConnected(false);
    if (lock)
      disk_->LockHeaderWrite();
    else
      disk_->UnlockHeader();
  }
  headerLocked_ = lock;
}

bool TUdbDataBase::InTransaction() const { return disk_ && disk_->InTransaction(); }

void TUdbDataBase::StartTransaction() {
  CheckConnected(false);
  disk_->StartTransaction();
}

void TUdbDataBase::Commit() {
  if (disk_) disk_->Commit();
}

void TUdbDataBase::Rollback() {
  if (!disk_) return;
  if (!disk_->InTransaction()) UdbDatabaseError(udberr::kNoTransaction, "TUdbDataBase.Rollback");
  // A pending edit must not be posted by the refresh below, outside the
  // transaction it belonged to.
  for (TUdbDataSet* ds : std::vector<TUdbDataSet*>(clients_))
    if (ds->Active() && (ds->State() == dsEdit || ds->State() == dsInsert)) ds->Cancel();
  disk_->Rollback();
  ForgetRolledBackState();
  // The rollback itself has happened; a table that cannot be shown afresh
  // now (another connection holds its lock) re-reads at its next access,
  // since its caches are dropped.
  for (TUdbDataSet* ds : std::vector<TUdbDataSet*>(clients_)) {
    if (!ds->CursorOpen()) continue;
    try {
      if (ds->Active()) ds->Refresh();
    } catch (const EUdbDatabaseError& e) {
      if (e.ErrorCode() != udberr::kLockTimeout) throw;
      UdbLogger().Log(ds->TableName(), AnsiString("Not refreshed after rollback: ") + e.what());
    }
  }
}

void TUdbDataBase::RollbackChange() {
  if (!disk_ || !disk_->InTransaction()) return;
  try {
    disk_->Rollback();
  } catch (const std::exception& e) {
    UdbLogger().Log("TUdbDataBase", AnsiString("Rollback of a failed change failed: ") + e.what());
  }
  ForgetRolledBackState();
}

void TUdbDataBase::ForgetRolledBackState() {
  for (TDiskTableDefMgr* mgr : {systemMgr_.get(), userMgr_.get()})
    if (mgr) mgr->DropUnconnectedCopies();
  for (TUdbDataSet* ds : clients_)
    if (ds->CursorOpen()) ds->ResetIndexCaches();
}
