// RptPaper: the report paper settings dialog (TfrmRptPaper): one row of
// table rptPaper per report - paper code, custom width and height,
// orientation and left offset - edited in a grid.
//
// Paper codes are the system's standard ones ("A3" 8, "A4" 9, "A5" 11,
// "B4" 12, "B5" 13, "宽行打印纸" 39, "窄行打印纸" 45) and 256 for the custom
// size; orientation 0 is portrait ("竖放"), 1 landscape ("横放").  The
// grid's pick lists show the names and store the codes.
// App layer: the engine's table, the grid.
#pragma once

class TForm;
class TUdbDataBase;

namespace payroll {
// Puts the table tblRptPaper (on db), its source, the grid dbgRptPaper and
// the buttons btnSave and btnClose on the dialog, once.  The dialog's
// activation opens the table and its closing closes it.
void InstallPaperDialog(TForm* dialog, TUdbDataBase* db);
}  // namespace payroll
