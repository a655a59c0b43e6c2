// Privilege records: the numbering of object and system privileges, their
// rights bits, the rows the security manager loads for the logged-on group
// (TInternalPrivileges) and the privilege requests a caller asks for or
// grants (TPrivileges).  The rights of a table and of the database are
// computed here from those requests.
//
// Object privileges (ordinal: text, bit): 0 "None" 0, 1 "Create Object" 2,
// 2 "Delete Object" 4, 3 "Open object" 8, 4 "Alter Object" 16,
// 5 "Insert data" 256, 6 "Delete data" 1024, 7 "Read data" 2048,
// 8 "Update data" 4096.  System privileges: 0 "None" 0, 1 "View users" 1,
// 2 "Edit users" 2, 3 "View groups" 8, 4 "Edit groups" 16.
// Layer: platform/core.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Collections.h"
#include "platform/core/Strings.h"

constexpr int kObjectPrivilegeCount = 9;  // ordinals 0..8
constexpr int kSystemPrivilegeCount = 5;  // ordinals 0..4
constexpr int kAllRights = 0x7FFFFFFF;    // the in-memory database "MEMORY"
constexpr int kObjectTypeTable = 1;

// Display texts; "" outside the ordinals above.
AnsiString ObjectPrivilegeText(int ordinal);
AnsiString SystemPrivilegeText(int ordinal);
// Rights bit of an ordinal (the low 7 bits of it are used; unknown: 0).
int ObjectPrivilegeBit(int ordinal);
int SystemPrivilegeBit(int ordinal);
// Ordinal of a single rights bit; 0 for anything else.
int ObjectPrivilegeOfBit(int bit);
int SystemPrivilegeOfBit(int bit);

// --- rows of the logged-on group -------------------------------------------

// One row of the object privilege table $SYSTBL_SECOBJPRIV.
class TInternalObjPriv : public TCollectionItem {
 public:
  explicit TInternalObjPriv(TCollection* collection) : TCollectionItem(collection) {}
  bool GrantOption = false;  // column "GrantOption"
  int PrivilegeID = 0;       // column "PrivilegeID": a rights bit set
  int ObjectID = 0;          // column "ObjectID"
  bool AllFields = false;    // column "ALL"
  TStringList Fields;        // comma text of "FieldsShort", else "FieldsLong"
  int ObjectType = 0;        // column "ObjectType"

  // "FieldsShort" when it is not null, else "FieldsLong".
  void SetFieldsFromColumns(bool shortIsNull, const AnsiString& fieldsShort,
                            const AnsiString& fieldsLong);
  void Assign(TPersistent* source) override;
};

class TInternalObjPrivs : public TCollection {
 public:
  TInternalObjPrivs() : TCollection(ItemClassOf<TInternalObjPriv>()) {}
  TInternalObjPriv* Add() { return static_cast<TInternalObjPriv*>(TCollection::Add()); }
  TInternalObjPriv* Items(int i) const { return static_cast<TInternalObjPriv*>(TCollection::Items(i)); }
  // OR of PrivilegeID over the items whose ObjectID is 1 (recomputed).
  int Rights() const;
};

// One row of $SYSTBL_SECSYSPRIV.
class TInternalSysPriv : public TCollectionItem {
 public:
  explicit TInternalSysPriv(TCollection* collection) : TCollectionItem(collection) {}
  bool GrantOption = false;
  int PrivilegeID = 0;
  void Assign(TPersistent* source) override;
};

class TInternalSysPrivs : public TCollection {
 public:
  TInternalSysPrivs() : TCollection(ItemClassOf<TInternalSysPriv>()) {}
  TInternalSysPriv* Add() { return static_cast<TInternalSysPriv*>(TCollection::Add()); }
  TInternalSysPriv* Items(int i) const { return static_cast<TInternalSysPriv*>(TCollection::Items(i)); }
  // OR of every item's PrivilegeID.
  int Rights() const;
};

class TInternalPrivileges : public TObject {
 public:
  TInternalObjPrivs& ObjPrivs() { return objPrivs_; }
  TInternalSysPrivs& SysPrivs() { return sysPrivs_; }
  void Clear() {
    objPrivs_.Clear();
    sysPrivs_.Clear();
  }

 private:
  TInternalObjPrivs objPrivs_;
  TInternalSysPrivs sysPrivs_;
};

// --- privilege requests ------------------------------------------------------

class TObjectPrivilege : public TCollectionItem {
 public:
  explicit TObjectPrivilege(TCollection* collection) : TCollectionItem(collection) {}
  int Value = 0;                  // carried
  AnsiString Fields;      // "ALL" = every field, else a comma list
  AnsiString ObjectName;  // "ALL" = every object
  std::uint8_t Privilege = 0;     // ordinal 1..8
  std::uint8_t ObjectType = kObjectTypeTable;
  void Assign(TPersistent* source) override;
};

class TObjectPrivileges : public TCollection {
 public:
  TObjectPrivileges() : TCollection(ItemClassOf<TObjectPrivilege>()) {}
  TObjectPrivilege* Add() { return static_cast<TObjectPrivilege*>(TCollection::Add()); }
  TObjectPrivilege* Items(int i) const { return static_cast<TObjectPrivilege*>(TCollection::Items(i)); }
  // Exact compare of the name; nullptr when absent.
  TObjectPrivilege* Find(int objectType, const AnsiString& objectName, int privilege) const;
  bool HasObject(int objectType, const AnsiString& objectName) const;
};

class TSystemPrivilege : public TCollectionItem {
 public:
  explicit TSystemPrivilege(TCollection* collection) : TCollectionItem(collection) {}
  std::uint8_t Value = 0;      // carried
  std::uint8_t Privilege = 0;  // ordinal 1..4
  void Assign(TPersistent* source) override;
};

class TSystemPrivileges : public TCollection {
 public:
  TSystemPrivileges() : TCollection(ItemClassOf<TSystemPrivilege>()) {}
  TSystemPrivilege* Add() { return static_cast<TSystemPrivilege*>(TCollection::Add()); }
  TSystemPrivilege* Items(int i) const { return static_cast<TSystemPrivilege*>(TCollection::Items(i)); }
  TSystemPrivilege* Find(int privilege) const;
};

class TPrivileges : public TObject {
 public:
  TSystemPrivileges& SystemPrivileges() { return system_; }
  TObjectPrivileges& ObjectPrivileges() { return objects_; }
  AnsiString Name;

 private:
  TSystemPrivileges system_;
  TObjectPrivileges objects_;
};

// A table's rights: for each object ordinal 1..8 the item (table, tableName,
// ordinal), or, when no item at all names the table, (table, "ALL",
// ordinal).  fieldLimits, when given, receives (ordinal, fields) for every
// found item whose Fields is not "ALL".
int TableRights(const TObjectPrivileges& privileges, const AnsiString& tableName,
                std::vector<std::pair<int, AnsiString>>* fieldLimits = nullptr);
// The database's rights: the bits of every system ordinal 1..4 that has an
// item.
int DatabaseRights(const TSystemPrivileges& privileges);
