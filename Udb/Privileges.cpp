// Privilege numbering, rights bits and the rights of tables and the
// database (see Privileges.h).
#include "Udb/Privileges.h"

namespace {

const char* const kObjectTexts[kObjectPrivilegeCount] = {
    "None",        "Create Object", "Delete Object", "Open object", "Alter Object",
    "Insert data", "Delete data",   "Read data",     "Update data"};
const int kObjectBits[kObjectPrivilegeCount] = {0, 2, 4, 8, 16, 256, 1024, 2048, 4096};

const char* const kSystemTexts[kSystemPrivilegeCount] = {"None", "View users", "Edit users",
                                                         "View groups", "Edit groups"};
const int kSystemBits[kSystemPrivilegeCount] = {0, 1, 2, 8, 16};

}  // namespace

AnsiString ObjectPrivilegeText(int ordinal) {
  return ordinal >= 0 && ordinal < kObjectPrivilegeCount ? AnsiString(kObjectTexts[ordinal]) : AnsiString();
}

AnsiString SystemPrivilegeText(int ordinal) {
  return ordinal >= 0 && ordinal < kSystemPrivilegeCount ? AnsiString(kSystemTexts[ordinal]) : AnsiString();
}

int ObjectPrivilegeBit(int ordinal) {
  int o = ordinal & 0x7F;
  return o < kObjectPrivilegeCount ? kObjectBits[o] : 0;
}

int SystemPrivilegeBit(int ordinal) {
  int o = ordinal & 0x7F;
  return o < kSystemPrivilegeCount ? kSystemBits[o] : 0;
}

int ObjectPrivilegeOfBit(int bit) {
  for (int o = 1; o < kObjectPrivilegeCount; ++o)
    if (kObjectBits[o] == bit) return o;
  return 0;
}

int SystemPrivilegeOfBit(int bit) {
  for (int o = 1; o < kSystemPrivilegeCount; ++o)
    if (kSystemBits[o] == bit) return o;
  return 0;
}

void TInternalObjPriv::SetFieldsFromColumns(bool shortIsNull, const AnsiString& fieldsShort,
                                            const AnsiString& fieldsLong) {
  Fields.SetCommaText(shortIsNull ? fieldsLong : fieldsShort);
}

void TInternalObjPriv::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TInternalObjPriv*>(source)) {
    GrantOption = s->GrantOption;
    PrivilegeID = s->PrivilegeID;
    ObjectID = s->ObjectID;
    AllFields = s->AllFields;
    Fields.Assign(&s->Fields);
    ObjectType = s->ObjectType;
    return;
  }
  TCollectionItem::Assign(source);
}

int TInternalObjPrivs::Rights() const {
  int rights = 0;
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->ObjectID == 1) rights |= Items(i)->PrivilegeID;
  return rights;
}

void TInternalSysPriv::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TInternalSysPriv*>(source)) {
    GrantOption = s->GrantOption;
    PrivilegeID = s->PrivilegeID;
    return;
  }
  TCollectionItem::Assign(source);
}

int TInternalSysPrivs::Rights() const {
  int rights = 0;
  for (int i = 0; i < Count(); ++i) rights |= Items(i)->PrivilegeID;
  return rights;
}

void TObjectPrivilege::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TObjectPrivilege*>(source)) {
    Value = s->Value;
    Fields = s->Fields;
    ObjectName = s->ObjectName;
    Privilege = s->Privilege;
    ObjectType = s->ObjectType;
    return;
  }
  TCollectionItem::Assign(source);
}

TObjectPrivilege* TObjectPrivileges::Find(int objectType, const AnsiString& objectName,
                                          int privilege) const {
  for (int i = 0; i < Count(); ++i) {
    TObjectPrivilege* p = Items(i);
    if (p->ObjectType == objectType && p->ObjectName == objectName && p->Privilege == privilege) return p;
  }
  return nullptr;
}

bool TObjectPrivileges::HasObject(int objectType, const AnsiString& objectName) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->ObjectType == objectType && Items(i)->ObjectName == objectName) return true;
  return false;
}

void TSystemPrivilege::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TSystemPrivilege*>(source)) {
    Value = s->Value;
    Privilege = s->Privilege;
    return;
  }
  TCollectionItem::Assign(source);
}

TSystemPrivilege* TSystemPrivileges::Find(int privilege) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->Privilege == privilege) return Items(i);
  return nullptr;
}

int TableRights(const TObjectPrivileges& privileges, const AnsiString& tableName,
                std::vector<std::pair<int, AnsiString>>* fieldLimits) {
  const bool named = privileges.HasObject(kObjectTypeTable, tableName);
  int rights = 0;
  for (int ordinal = 1; ordinal < kObjectPrivilegeCount; ++ordinal) {
    TObjectPrivilege* p = privileges.Find(kObjectTypeTable, tableName, ordinal);
    if (p == nullptr && !named) p = privileges.Find(kObjectTypeTable, "ALL", ordinal);
    if (p == nullptr) continue;
    rights |= ObjectPrivilegeBit(ordinal);
    if (fieldLimits && p->Fields != "ALL") fieldLimits->emplace_back(ordinal, p->Fields);
  }
  return rights;
}

int DatabaseRights(const TSystemPrivileges& privileges) {
  int rights = 0;
  for (int ordinal = 1; ordinal < kSystemPrivilegeCount; ++ordinal)
    if (privileges.Find(ordinal)) rights |= SystemPrivilegeBit(ordinal);
  return rights;
}
