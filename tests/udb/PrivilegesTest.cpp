// Privilege numbering, rights bits and the rights of tables and databases.
#include <gtest/gtest.h>

#include "Udb/Privileges.h"

namespace {

TEST(Privileges, BitsAndTheirReverse) {
  const int objectBits[] = {0, 2, 4, 8, 16, 256, 1024, 2048, 4096};
  for (int o = 0; o < 9; ++o) {
    EXPECT_EQ(ObjectPrivilegeBit(o), objectBits[o]);
    if (o > 0) {
      EXPECT_EQ(ObjectPrivilegeOfBit(objectBits[o]), o);
    }
  }
  EXPECT_EQ(ObjectPrivilegeBit(9), 0);
  EXPECT_EQ(ObjectPrivilegeBit(128 + 5), 256);  // low 7 bits
  EXPECT_EQ(ObjectPrivilegeOfBit(3), 0);
  EXPECT_EQ(SystemPrivilegeBit(3), 8);
  EXPECT_EQ(SystemPrivilegeBit(5), 0);
  EXPECT_EQ(SystemPrivilegeOfBit(16), 4);
  EXPECT_EQ(SystemPrivilegeOfBit(4), 0);
  EXPECT_EQ(ObjectPrivilegeText(3), "Open object");
  EXPECT_EQ(SystemPrivilegeText(2), "Edit users");
}

TEST(Privileges, GroupRowsCombineIntoRights) {
  TInternalPrivileges privs;
  for (int bit : {2048, 4096}) {
    auto* row = privs.ObjPrivs().Add();
    row->ObjectID = 1;
    row->PrivilegeID = bit;
  }
  privs.ObjPrivs().Add()->PrivilegeID = 2;  // another object
  EXPECT_EQ(privs.ObjPrivs().Rights(), 6144);
  privs.SysPrivs().Add()->PrivilegeID = 1;
  privs.SysPrivs().Add()->PrivilegeID = 8;
  EXPECT_EQ(privs.SysPrivs().Rights(), 9);
  auto* row = privs.ObjPrivs().Items(0);
  row->SetFieldsFromColumns(true, "", "F01,F02");
  EXPECT_EQ(row->Fields.Count(), 2);
  privs.Clear();
  EXPECT_EQ(privs.ObjPrivs().Count(), 0);
}

TEST(Privileges, TableRightsFallBackToAllOnlyForUnnamedTables) {
  TObjectPrivileges p;
  auto add = [&](const char* object, int ordinal, const char* fields = "ALL") {
    auto* item = p.Add();
    item->ObjectName = object;
    item->Privilege = static_cast<std::uint8_t>(ordinal);
    item->Fields = fields;
  };
  add("ALL", 7);
  add("ALL", 8);
  add("gzk", 7, "F01,F02");
  std::vector<std::pair<int, AnsiString>> limits;
  EXPECT_EQ(TableRights(p, "gzk", &limits), 2048);  // named: "ALL" does not apply
  ASSERT_EQ(limits.size(), 1u);
  EXPECT_EQ(limits[0].second, "F01,F02");
  EXPECT_EQ(TableRights(p, "bm"), 2048 | 4096);
  EXPECT_EQ(TableRights(p, "GZK"), 2048 | 4096);  // names compare exactly

  TSystemPrivileges s;
  s.Add()->Privilege = 1;
  s.Add()->Privilege = 4;
  EXPECT_EQ(DatabaseRights(s), 1 | 16);
}

}  // namespace
