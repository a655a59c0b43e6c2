// PayrollSchema: the stored tables of the payroll database "GZ.udb" with
// their fields and indexes, as a new database file is created.
//
//   gzk      employees and their pay items   YLBXH, ZGBH, XM, GZZH, DB_FLAG,
//            ZGQK, prix, F01..F99             TblGzkIndex1 (ZGBH)
//   bm       departments and their totals    XH, BMBH, BMMC, RS, F01..F99
//                                             TblBmIndex1 (BMBH), byxh (XH)
//   zgqk     employee categories             xh, Zgqk, CanKq  TblZgqKIndex1 (xh)
//   JsGsk    payroll formulas                ID, GNNAME, GSRLTDESC, GSSTRDESC,
//            GSRLT, GSSTR, TJDESC, TJSTR      TblJsGskIndex1 (GNNAME), byid (ID),
//                                             GI (GNNAME;ID: a function's formulas
//                                             in ascending ID)
//   RptStru  columns of the printed reports  RptTitle, RptField, FldTitle, RptLen,
//                                             RptDec, RptFont, RptNo
//                                             RptNo (RptTitle;RptNo)
//   Userid   operators                       UserDm, UserName, UserPass
//   regdw    the organisation                DwName
//   rptPaper paper of each printed report    rptName, paperIdx, paperWidth,
//                                             paperHeight, paperType, leftMarg
//
// The pay fields go up to F99 in gzk and bm because the calculation, the
// totals and the report building address them by name up to F99.
// App layer: calls the engine's table component only.
#pragma once

#include <vector>

#include "platform/core/AnsiString.h"

class TUdbDataBase;

namespace payroll {

constexpr int kPayFieldCount = 99;
// "F01" .. "F99".
AnsiString PayFieldCode(int n);
// The stored tables in the order CreatePayrollTables creates them.
const std::vector<AnsiString>& PayrollTableNames();
// Creates every table of the payroll database in a connected, empty
// database.
void CreatePayrollTables(TUdbDataBase& db);

}  // namespace payroll
