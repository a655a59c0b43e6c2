// GzCalc: the payroll calculation.  It recomputes the pay items F01..F99
// of the current employee row of gzk by running the formulas of one
// function, stored in JsGsk, and writes them back in a transaction.
//
// A JsGsk row of the function GN (GNNAME = GN exactly) holds
//   GSSTR  formula items, comma-separated, in code form ("F01*0.25,0")
//   TJSTR  condition items, comma-separated; item i gates formula item i
//   GSRLT  the result field "F" + 2 digits
// and is run only when it has as many condition items as formula items,
// or one item in all.  A condition list "F03=1,2,3" has the prefix "F03":
// items after the first become "F03=2", "F03=3".  Field codes are replaced
// by the row's working values (FloatToStr; inside formulas a negative value
// enters as "(0-5)"); a formula item that is a number as a whole is taken
// as it stands.  Each result is rounded to two decimals, halves to the even
// hundredth (0.125 -> 0.12, 0.375 -> 0.38), and later formulas see it.
//
// calc.log (current directory, CR LF lines, appended): per run formula row
//   GN ": " GSRLTDESC(blank-filled to 20 bytes) "公式:" GSSTRDESC
//   ["    [条件:" TJDESC "]" when TJDESC is not blank]
//
// Write-back: StartTransaction, gzk.Edit, F01..F99, Commit; the row is
// posted later (by the data-aware controls or the next cursor move).  A
// failure there rolls the transaction back (which also cancels the edit)
// and raises EGzCalcWriteError naming the employee, so the operator learns
// that the row kept its old values.
//
// App layer: the engine's tables and connection, the string toolbox, and
// the dialog service for the two syntax-error messages.
#pragma once

#include "platform/core/AnsiString.h"
#include "platform/core/Exceptions.h"

class TUdbDataBase;
class TUdbTable;

PAYROLL_DECLARE_EXCEPTION(EGzCalcWriteError, Exception)

namespace payroll {

inline constexpr const char* kFnMonthInit = "初始化";
inline constexpr const char* kFnYearInit = "年度初始化";
inline constexpr const char* kCalcLogName = "calc.log";
inline constexpr int kPayFieldCount = 99;

// The function run for a calculation mode on the shown notebook page:
// 1 "初始化", 2 "年度初始化", 3 "岗位绩效"; any other mode the page's own
// ("TbsZgKq" 考勤管理, "TbsGzXg" 工资修改, "TbsGwjx" 岗位绩效, else "").
AnsiString CalcFunctionName(int calcMode, const AnsiString& page);

// r to two decimals: r*100 to the nearest integer, halves to even, /100,
// in extended precision.
double RoundToCents(double r);

// Working values of one row: V[k] is field "F" + k as two digits (V[0]
// unused).
struct TPayValues {
  double V[kPayFieldCount + 1] = {};
};

// text with every "F01".."F99" (in that order) replaced by the value's
// FloatToStr text; with wrapNegatives a negative value becomes "(0-5)".
AnsiString SubstituteFields(const AnsiString& text, const TPayValues& values, bool wrapNegatives);

// One line of calc.log, with its CR LF.
AnsiString CalcLogLine(const AnsiString& gn, const AnsiString& resultDesc, const AnsiString& formulaDesc,
                       const AnsiString& conditionDesc);

// What the calculation works on.
struct TGzCalcTables {
  TUdbDataBase* DataBase = nullptr;
  TUdbTable* Gzk = nullptr;    // current row is calculated
  TUdbTable* JsGsk = nullptr;  // walked in its index order; its filter is switched off
};

enum class TGzCalcOutcome {
  Written,         // the values were written back (the row is in edit state)
  ConditionError,  // "条件公式有错！" shown, nothing written
  FormulaError,    // "计算公式有错！" shown, nothing written
};

// Runs function gn on the current gzk row.  logPath: the log file when
// logging (empty: no log).  Field and arithmetic errors of the evaluators
// pass out unchanged (nothing written); a failed write-back raises
// EGzCalcWriteError after the rollback; a log that cannot be opened or
// written raises EInOutError.
TGzCalcOutcome GzCalcRow(const TGzCalcTables& tables, const AnsiString& gn, const AnsiString& logPath);

}  // namespace payroll
