// The bonus payout sheet: the one printed report drawn from a template
// file, "jjff.rbf" in the program's folder (BonusSheet.cpp, members of
// TfrmMain), and the template the demo folder ships, built and saved by
// the report engine.
//
// The sheet lists the employees of the department last chosen in the tree
// and its sub-departments, except the "厂内退养" and "退休职工" ones, in
// employee-code order, through the report dataset rbDBDataSet; the
// template may use the variables ZBR, DWMC and BMMC.
// App layer.
#pragma once

#include "platform/core/AnsiString.h"

namespace payroll {

inline constexpr const char* kBonusTemplate = "jjff.rbf";
inline constexpr const char* kNoBonusDepartment = "没有选择要打印的部门或单位!";
inline constexpr const char* kMissingBonusTemplate = "系统错误！缺少文件：jjff.rbf!";

// The employee selection of a department code.
AnsiString BonusSelectionSql(const AnsiString& departmentCode);

// Builds the bonus template (a page header with [DWMC] and [BMMC], one
// line per employee from rbDBDataSet: code, name, bonus, signature box;
// the total and [ZBR] at the end) and saves it to fileName.
void WriteBonusTemplate(const AnsiString& fileName);

}  // namespace payroll
