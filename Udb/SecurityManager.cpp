// TSecurityManager (see SecurityManager.h).
#include "Udb/SecurityManager.h"

#include "Udb/Sha1Stream.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbErrors.h"
#include "Udb/UdbRowAccess.h"
#include "Udb/UdbTableCursor.h"
#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/Strings.h"

using namespace udbsec;

namespace {

constexpr int kMinNameLength = 2;
constexpr int kMaxNameLength = 30;
constexpr const char* kBadLogon = "Bad user name or password";
constexpr const char* kNoPrivilegeText = "You do not have the privilege/s required to perform this function";

void Digest(const AnsiString& password, TSha1Digest& words) {
  TSha1Stream sha;
  if (!password.empty()) sha.Write(password.data(), static_cast<int>(password.size()));
  sha.GetDigest(words);
}

}  // namespace

void TSecurityManager::Open(TUdbDataBase* db, TUdbTableCursor* users, TUdbTableCursor* objectIds,
                            TUdbTableCursor* systemPrivileges, TUdbTableCursor* objectPrivileges,
                            TUdbTableCursor* groups) {
  db_ = db;
  users_ = users;
  objectIds_ = objectIds;
  sysPrivs_ = systemPrivileges;
  objPrivs_ = objectPrivileges;
  groups_ = groups;
}

void TSecurityManager::Close() {
  Logoff();
  db_ = nullptr;
  users_ = objectIds_ = sysPrivs_ = objPrivs_ = groups_ = nullptr;
}

void TSecurityManager::Logoff() {
  userName_.clear();
  groupName_.clear();
  groupId_ = 0;
  systemBits_ = 0;
  loggedOn_ = false;
}

void TSecurityManager::CheckIsOpen() const {
  if (db_ == nullptr) UdbDatabaseError(udberr::kInternal, "TSecurityManager.CheckIsOpen", "The security manager is not active");
}

void TSecurityManager::RequireSystemBit(int bit, const char* location) const {
  if (IsAdministrator()) return;
  if ((systemBits_ & bit) == 0) UdbDatabaseError(udberr::kNoPrivilege, location, kNoPrivilegeText);
}

void TSecurityManager::ValidateName(const AnsiString& name, const char* location) {
  const int n = static_cast<int>(name.size());
  if (n < kMinNameLength || n > kMaxNameLength)
    UdbDatabaseErrorFmt(udberr::kNameOutOfRange, location, "%s is not a valid value (min. length %d, max. length %d)",
                        nullptr, {name, kMinNameLength, kMaxNameLength});
}

void TSecurityManager::SetPassword(const AnsiString& password) {
  TSha1Digest words;
  Digest(password, words);
  for (int i = 0; i < 5; ++i) {
    const char field[] = {'P', 'w', 'd', static_cast<char>('0' + i), 0};
    udbrow::Set(*users_, field, static_cast<int>(static_cast<std::int32_t>(words[i])));
  }
}

bool TSecurityManager::CheckPassword(const AnsiString& password) {
  TSha1Digest words;
  Digest(password, words);
  for (int i = 0; i < 5; ++i) {
    const char field[] = {'P', 'w', 'd', static_cast<char>('0' + i), 0};
    if (udbrow::Get(*users_, field).AsInteger() != static_cast<std::int32_t>(words[i])) return false;
  }
  return true;
}

bool TSecurityManager::Logon(const AnsiString& userName, const AnsiString& password, const AnsiString& dataBaseName) {
  const char* loc = "TSecurityManager.Logon";
  CheckIsOpen();
  Logoff();
  if (!udbrow::Find(*users_, "ixUserName", {{"UserName", Variant(userName)}})) {
    if (userName != kAdminUser || udbrow::Find(*groups_, "ixGroupName", {{"GroupName", Variant(AnsiString(kAdminGroup))}}))
      UdbDatabaseError(udberr::kBadUserOrPassword, loc, kBadLogon);
    // The first administrator keeps the password given at this logon; an
    // empty one would leave the database open to anyone.
    if (password.empty()) UdbDatabaseError(udberr::kBadUserOrPassword, loc, kBadLogon);
    groupName_ = kAdminGroup;
    loggedOn_ = true;  // the administrators' rights for the two inserts
    AddGroup(kAdminGroup);
    AddUser(kAdminUser, password, kAdminGroup);
    Logoff();
    udbrow::Find(*users_, "ixUserName", {{"UserName", Variant(userName)}});
  } else if (!CheckPassword(password)) {
    UdbDatabaseError(udberr::kBadUserOrPassword, loc, kBadLogon);
  }
  userName_ = udbrow::Get(*users_, "UserName").AsString();
  groupId_ = udbrow::Get(*users_, "GroupID").AsInteger();
  groupName_ = GetGroupNameFromID(groupId_);
  dataBaseName_ = dataBaseName;
  loggedOn_ = true;
  TPrivileges own;
  own.Name = groupName_;
  GetPrivileges("", own);
  systemBits_ = DatabaseRights(own.SystemPrivileges());
  return true;
}

int TSecurityManager::AddGroup(const AnsiString& groupName) {
  const char* loc = "TSecurityManager.AddGroup";
  CheckIsOpen();
  RequireSystemBit(16, loc);
  ValidateName(groupName, loc);
  if (udbrow::Find(*groups_, "ixGroupName", {{"GroupName", Variant(groupName)}}))
    UdbDatabaseError(udberr::kObjectExists, loc, groupName);
  groups_->InitRecBuf();
  udbrow::Set(*groups_, "GroupName", Variant(groupName));
  groups_->AddRecord(true);
  return udbrow::Get(*groups_, "GroupID").AsInteger();
}

void TSecurityManager::AddUser(const AnsiString& userName, const AnsiString& password, const AnsiString& groupName) {
  const char* loc = "TSecurityManager.AddUser";
  CheckIsOpen();
  RequireSystemBit(2, loc);
  ValidateName(userName, loc);
  if (udbrow::Find(*users_, "ixUserName", {{"UserName", Variant(userName)}}))
    UdbDatabaseError(udberr::kObjectExists, loc, userName);
  const int groupId = GetGroupIDFromName(groupName);
  users_->InitRecBuf();
  udbrow::Set(*users_, "UserName", Variant(userName));
  udbrow::Set(*users_, "GroupID", groupId);
  SetPassword(password);
  const TDateTime now = Now();
  for (const char* f : {"DateCreated", "DateLastModified", "DateLastPWordChange"}) udbrow::Set(*users_, f, Variant(now));
  users_->AddRecord(true);
}

int TSecurityManager::GetGroupIDFromName(const AnsiString& name) {
  if (!udbrow::Find(*groups_, "ixGroupName", {{"GroupName", Variant(name)}}))
    UdbDatabaseError(udberr::kObjectNotFound, "TSecurityManager.GetGroupIDFromName", name);
  return udbrow::Get(*groups_, "GroupID").AsInteger();
}

AnsiString TSecurityManager::GetGroupNameFromID(int id) {
  if (!udbrow::Find(*groups_, "ixGroupID", {{"GroupID", id}}))
    UdbDatabaseError(udberr::kObjectNotFound, "TSecurityManager.GetGroupNameFromID", IntToStr(id));
  return udbrow::Get(*groups_, "GroupName").AsString();
}

int TSecurityManager::GetObjectID(const AnsiString& name) {
  if (AnsiSameText(name, "ALL") || objectIds_ == nullptr) return 0;
  if (!udbrow::Find(*objectIds_, "ixObjectName", {{"ObjectName", Variant(name)}})) return 0;
  return udbrow::Get(*objectIds_, "ObjectID").AsInteger();
}

AnsiString TSecurityManager::GetObjectName(int id) {
  if (id == 0) return "ALL";
  if (!udbrow::Find(*objectIds_, "ixObjectID", {{"ObjectID", id}})) return AnsiString();
  return udbrow::Get(*objectIds_, "ObjectName").AsString();
}

AnsiString TSecurityManager::FieldNames(const AnsiString& objectName, const AnsiString& numbers) {
  TStringList parts, names;
  parts.SetCommaText(numbers);
  TTableDef def;
  if (objectName != "ALL") db_->GetTableDef(objectName, false, &def);
  for (int i = 0; i < parts.Count(); ++i) {
    const int no = StrToIntDef(parts.Strings(i), -1);
    for (int f = 0; f < def.InternalFields()->Count(); ++f)
      if (def.InternalFields()->Items(f)->FieldNo() == no) names.Add(AnsiUpperCase(def.InternalFields()->Items(f)->FieldName()));
  }
  return names.CommaText();
}

void TSecurityManager::GetPrivileges(const AnsiString& objectName, TPrivileges& privileges) {
  const char* loc = "TSecurityManager.GetPrivileges";
  CheckIsOpen();
  const AnsiString object = objectName.empty() || objectName == "*" ? AnsiString("ALL") : objectName;
  if (groupName_ != kAdminGroup && !AnsiSameText(groupName_, privileges.Name) && (systemBits_ & 8) == 0)
    UdbDatabaseError(udberr::kNoPrivilege, loc, kNoPrivilegeText);
  privileges.ObjectPrivileges().Clear();
  privileges.SystemPrivileges().Clear();
  if (privileges.Name == kAdminGroup) {
    for (int id = 1; id <= 8; ++id) {
      TObjectPrivilege* p = privileges.ObjectPrivileges().Add();
      p->ObjectType = kObjectTypeTable;
      p->ObjectName = "ALL";
      p->Fields = "ALL";
      p->Privilege = static_cast<std::uint8_t>(id);
    }
    for (int id = 1; id <= 4; ++id) privileges.SystemPrivileges().Add()->Privilege = static_cast<std::uint8_t>(id);
    return;
  }
  const int groupId = GetGroupIDFromName(privileges.Name);
  const int objectId = object == "ALL" ? -1 : GetObjectID(object);
  for (bool ok = objPrivs_->GotoFirst(); ok; ok = objPrivs_->GotoNext()) {
    if (udbrow::Get(*objPrivs_, "GroupID").AsInteger() != groupId) continue;
    const int rowObject = udbrow::Get(*objPrivs_, "ObjectID").AsInteger();
    if (objectId >= 0 && rowObject != objectId) continue;
    const int id = ObjectPrivilegeOfBit(udbrow::Get(*objPrivs_, "PrivilegeID").AsInteger());
    if (id == 0) continue;
    TObjectPrivilege* p = privileges.ObjectPrivileges().Add();
    p->ObjectType = kObjectTypeTable;
    p->ObjectName = GetObjectName(rowObject);
    p->Privilege = static_cast<std::uint8_t>(id);
    const Variant all = udbrow::Get(*objPrivs_, "ALL");
    if (!all.IsNull() && all.AsBoolean()) {
      p->Fields = "ALL";
    } else {
      const Variant shortList = udbrow::Get(*objPrivs_, "FieldsShort");
      const AnsiString list = shortList.IsNull() ? udbrow::BlobText(*objPrivs_, "FieldsLong") : shortList.AsString();
      p->Fields = list == "ALL" ? list : FieldNames(p->ObjectName, list);
    }
  }
  for (bool ok = sysPrivs_->GotoFirst(); ok; ok = sysPrivs_->GotoNext()) {
    if (udbrow::Get(*sysPrivs_, "GroupID").AsInteger() != groupId) continue;
    const int id = SystemPrivilegeOfBit(udbrow::Get(*sysPrivs_, "PrivilegeID").AsInteger());
    if (id != 0) privileges.SystemPrivileges().Add()->Privilege = static_cast<std::uint8_t>(id);
  }
}
