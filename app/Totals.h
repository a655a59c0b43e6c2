// Totals: "汇总计算", the pay totals of every department and unit in `bm`.
//
// A department's employees are the gzk rows whose zgbh begins with its
// bmbh (so sub-departments count in every level above them).  Exception:
// an employee whose third code character is '9' (the retired, temporary
// and other level-two groups 90..99) never counts in the unit's own
// two-character row.  Each bm row gets rs = its head count and F01..F99 =
// the sums of the described pay fields (FldDescs but its last six); items
// without a description are written as 0.  Then xh is renumbered so that
// the departments have the distinct numbers 0..n-1 (RenumberDepartments).
//
// The rows of bm are matched by their own code and their own bookmark,
// never by their position in an earlier walk, so an index that orders bm
// by xh (which the renumbering changes) cannot pair a row with another
// row's totals.
// App layer: the dataset interface and message boxes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/core/AnsiString.h"

class TDataSet;

namespace payroll {
inline constexpr const char* kTotalsDone = "\r工资汇总计算完成！";

struct TDeptTotal {
  AnsiString Code;
  std::int32_t Count = 0;
  double Sums[100] = {};  // Sums[1]..Sums[99]
};

// Whether an employee of code zgbh counts in the department of code bmbh.
bool CountsIn(const AnsiString& zgbh, const AnsiString& bmbh);

// The renumbering of the departments in table order: numbers start as
// 0, 1, 2, ...; for every pair i < j (i ascending, then j ascending) whose
// code i occurs inside code j the two numbers are exchanged.  Always a
// permutation of 0..n-1.  step() runs once per department of the outer pass.
std::vector<int> RenumberDepartments(const std::vector<AnsiString>& codes, const std::function<void()>& step = {});

struct TTotalsProgress {
  std::function<void(int max)> Start;  // a new pass of max steps
  std::function<void()> Step;
};

// The whole command over the employee table (its filter is cleared and
// stays cleared) and the department table.  An exception leaves the totals
// written so far; the row being edited is cancelled and the controls of
// both tables are switched on again.
void ComputeDeptTotals(TDataSet* gzk, TDataSet* bm, const TTotalsProgress& progress = {});
}  // namespace payroll
