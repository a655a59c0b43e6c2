// PayrollSchema: the stored payroll tables.  See PayrollSchema.h.
#include "app/PayrollSchema.h"

#include <cstdio>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "platform/data/FieldDefs.h"

namespace payroll {

AnsiString PayFieldCode(int n) {
  char code[8];
  std::snprintf(code, sizeof code, "F%02d", n);
  return code;
}

const std::vector<AnsiString>& PayrollTableNames() {
  static const std::vector<AnsiString> names = {"regdw", "zgqk", "bm", "gzk", "JsGsk", "RptStru", "Userid",
                                                "rptPaper"};
  return names;
}

namespace {

struct TFieldSpec {
  const char* name;
  TFieldType type;
  int size;
};
struct TIndexSpec {
  const char* name;
  const char* fields;
};

void CreateTable(TUdbDataBase& db, const char* name, const std::vector<TFieldSpec>& fields, int payFields,
                 const std::vector<TIndexSpec>& indexes) {
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName(name);
  for (const TFieldSpec& f : fields) t.FieldDefs()->Add(f.name, f.type, f.size);
  for (int n = 1; n <= payFields; ++n) t.FieldDefs()->Add(PayFieldCode(n), ftFloat, 0);
  for (const TIndexSpec& ix : indexes) t.IndexDefs()->Add(ix.name, ix.fields, TIndexOptions());
  // Names, pay and the operators' passwords are enciphered at the engine's
  // strong level with the file's master key: the file alone reveals none.
  t.SetEncryptionLevel(encStrong);
  t.CreateTable();
}

}  // namespace

void CreatePayrollTables(TUdbDataBase& db) {
  CreateTable(db, "regdw", {{"DwName", ftString, 60}}, 0, {});
  CreateTable(db, "zgqk", {{"xh", ftSmallint, 0}, {"Zgqk", ftString, 16}, {"CanKq", ftBoolean, 0}}, 0,
              {{"TblZgqKIndex1", "xh"}});
  CreateTable(db, "bm",
              {{"XH", ftFloat, 0}, {"BMBH", ftString, 8}, {"BMMC", ftString, 20}, {"RS", ftFloat, 0}},
              kPayFieldCount, {{"TblBmIndex1", "BMBH"}, {"byxh", "XH"}});
  CreateTable(db, "gzk",
              {{"YLBXH", ftString, 6},
               {"ZGBH", ftString, 15},
               {"XM", ftString, 8},
               {"GZZH", ftString, 20},
               {"DB_FLAG", ftBoolean, 0},
               {"ZGQK", ftString, 30},
               {"prix", ftFloat, 0}},
              kPayFieldCount, {{"TblGzkIndex1", "ZGBH"}});
  CreateTable(db, "JsGsk",
              {{"ID", ftInteger, 0},
               {"GNNAME", ftString, 20},
               {"GSRLTDESC", ftString, 50},
               {"GSSTRDESC", ftString, 254},
               {"GSRLT", ftString, 10},
               {"GSSTR", ftString, 254},
               {"TJDESC", ftString, 254},
               {"TJSTR", ftString, 254}},
              0, {{"TblJsGskIndex1", "GNNAME"}, {"byid", "ID"}, {"GI", "GNNAME;ID"}});
  CreateTable(db, "RptStru",
              {{"RptTitle", ftString, 50},
               {"RptField", ftString, 50},
               {"FldTitle", ftString, 50},
               {"RptLen", ftInteger, 0},
               {"RptDec", ftInteger, 0},
               {"RptFont", ftInteger, 0},
               {"RptNo", ftInteger, 0}},
              0, {{"RptNo", "RptTitle;RptNo"}});
  CreateTable(db, "Userid", {{"UserDm", ftString, 12}, {"UserName", ftString, 20}, {"UserPass", ftString, 12}},
              0, {});
  CreateTable(db, "rptPaper",
              {{"rptName", ftString, 50},
               {"paperIdx", ftInteger, 0},
               {"paperWidth", ftInteger, 0},
               {"paperHeight", ftInteger, 0},
               {"paperType", ftInteger, 0},
               {"leftMarg", ftInteger, 0}},
              0, {});
}

}  // namespace payroll
