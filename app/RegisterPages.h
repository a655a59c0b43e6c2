// RegisterPages: the controls of the employee register's pages on the main
// window and of the two employee dialogs, and the dialogs' commands.
//
// The pages' controls are placed by TfrmMain::InstallRegisterPages; their
// handlers are TfrmMain members (RegisterPages.cpp) that call the register
// commands of Register.h, rebuild the department tree and switch the
// buttons.  The employee picker TFrmZgXz and the order dialog TFrmZgPx are
// created at start-up from empty form resources; their grid and buttons are
// put on them here, once, before they are first shown.
// App layer.
#pragma once

#include <functional>

#include "platform/core/AnsiString.h"

class TDataSet;
class TDataSource;
class TForm;
class TUdbDataBase;

namespace payroll {
inline constexpr const char* kPickHint = "(双击选中)";

// TFrmZgXz ("职工选择"): a grid on gzk ("职工编号", "姓名", "养老保险号");
// a double click on a row or "选择" closes it with mrOk, gzk on that row.
void InstallEmployeePicker(TForm* form, TDataSource* gzk);
// TFrmZgPx ("职工排序"): a grid on gzk, "上移" and "下移" (MoveEmployee),
// "排序" (RenumberEmployees of the department dept() names; nothing when it
// names none) and "关闭".  Each move and each renumbering is one
// transaction of db: a failure leaves every code as it was.
void InstallEmployeeOrder(TForm* form, TDataSource* gzk, TUdbDataBase* db, std::function<AnsiString()> dept);
// Exchanges the zgbh of gzk's current employee with that of the previous
// (step -1) or next (step 1) row, both posted; gzk stays on the employee.
// False, with nothing changed, at the first or last row.
bool MoveEmployee(TDataSet* gzk, int step);
}  // namespace payroll
