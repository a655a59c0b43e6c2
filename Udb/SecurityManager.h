// TSecurityManager: users, groups and privileges of a secured database,
// kept in its four security tables ("$SYSTBL_SECUSERS", "$SYSTBL_SECGROUPS",
// "$SYSTBL_SECOBJPRIV", "$SYSTBL_SECSYSPRIV").  It logs a user on, stores
// passwords as SHA-1 digests (five 32-bit words in Pwd0..Pwd4) and reads a
// group's privileges.
//
// Stored privilege values are access bits: object privilege ids 1..8 are
// the bits 2, 4, 8, 16, 256, 1024, 2048, 4096; system privilege ids 1..4
// the bits 1, 2, 8, 16.  Object id 0 and the field list "ALL" stand for
// every table and every field; other field lists are comma-separated field
// numbers.  The group "administrators" holds every right without rows.
//
// The connection owns it, opens it with the tables and closes it on
// disconnect.  Errors: EUdbDatabaseError (8579, 8580, 8581, 9605, 10036,
// 10624).  Calls the table cursor and the connection's catalogue.
#pragma once

#include "Udb/Privileges.h"
#include "platform/core/AnsiString.h"

class TUdbDataBase;
class TUdbTableCursor;

namespace udbsec {
inline constexpr const char* kAdminGroup = "administrators";
inline constexpr const char* kAdminUser = "administrator";
inline constexpr const char* kUsers = "$SYSTBL_SECUSERS";
inline constexpr const char* kGroups = "$SYSTBL_SECGROUPS";
inline constexpr const char* kObjectPrivileges = "$SYSTBL_SECOBJPRIV";
inline constexpr const char* kSystemPrivileges = "$SYSTBL_SECSYSPRIV";
}  // namespace udbsec

class TSecurityManager : public TObject {
 public:
  void Open(TUdbDataBase* db, TUdbTableCursor* users, TUdbTableCursor* objectIds, TUdbTableCursor* systemPrivileges,
            TUdbTableCursor* objectPrivileges, TUdbTableCursor* groups);
  void Close();
  void Logoff();
  bool IsOpen() const { return db_ != nullptr; }
  bool LoggedOn() const { return loggedOn_; }
  const AnsiString& UserName() const { return userName_; }
  const AnsiString& GroupName() const { return groupName_; }
  bool IsAdministrator() const { return loggedOn_ && groupName_ == udbsec::kAdminGroup; }

  // 10036 "Bad user name or password".  The first logon as "administrator"
  // creates the group "administrators" and that user with the password
  // given (an empty one is refused).
  bool Logon(const AnsiString& userName, const AnsiString& password, const AnsiString& dataBaseName);
  int AddGroup(const AnsiString& groupName);
  void AddUser(const AnsiString& userName, const AnsiString& password, const AnsiString& groupName);
  int GetGroupIDFromName(const AnsiString& name);
  AnsiString GetGroupNameFromID(int id);
  int GetObjectID(const AnsiString& name);
  AnsiString GetObjectName(int id);
  // The privileges of privileges.Name's group on objectName ("" or "*" =
  // every table).
  void GetPrivileges(const AnsiString& objectName, TPrivileges& privileges);

 private:
  void CheckIsOpen() const;
  void RequireSystemBit(int bit, const char* location) const;
  static void ValidateName(const AnsiString& name, const char* location);
  void SetPassword(const AnsiString& password);
  bool CheckPassword(const AnsiString& password);
  AnsiString FieldNames(const AnsiString& objectName, const AnsiString& numbers);

  TUdbDataBase* db_ = nullptr;
  TUdbTableCursor *users_ = nullptr, *objectIds_ = nullptr, *sysPrivs_ = nullptr, *objPrivs_ = nullptr,
                  *groups_ = nullptr;
  AnsiString userName_, groupName_, dataBaseName_;
  int groupId_ = 0;
  int systemBits_ = 0;
  bool loggedOn_ = false;
};
