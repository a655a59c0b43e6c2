// Register: the employee register's commands over gzk and bm.
//
// Codes: a department code is 2 characters of unit and 2 per level; an
// employee code is 11 characters, the department code followed by a
// sequence number filled with '0' (retired staff: unit + "9900" + 5
// digits).  Every change keeps the head counts rs of bm in step: a
// department counts its own and its sub-departments' employees, a unit's
// own row leaves retired employees ("99" as characters 3-4) out.
//
// Sequence numbers are whole ints (a department may hold more than 255
// employees).  Operators' texts enter filters only as quoted literals.
// Questions and messages go through the dialog service; every refusal
// leaves both tables unchanged.
// App layer: the dataset interface and message boxes.
#pragma once

#include <vector>

#include "platform/core/AnsiString.h"

class TDataSet;
class TStrings;
class TTreeView;

namespace payroll {
inline constexpr const char* kRegInputError = "\r录入职工信息有错！";
inline constexpr const char* kRegDuplicate = "\r养老保险号或工资帐号与其他职工重复！";
inline constexpr const char* kRegDuplicateEdit = "\r养老保险号或工资帐号与其他职工重复！请重新输入...";
inline constexpr const char* kRegConfirmAdd = "\r确认添加该职工？";
inline constexpr const char* kRegConfirmDelete = "\r该职工删除后将无法恢复，确认否？";
inline constexpr const char* kRegAlreadyRetired = "\r已退休职工不能再做退休处理！";
inline constexpr const char* kRegConfirmRetire =
    "\r该职工信息将被移入退休部门，确认否？\r若尚未建退休部门请先建部门,然后再做职工退休!!!";
inline constexpr const char* kRegRetiredNoTransfer = "\r已退休职工不能再做内部调动！";
inline constexpr const char* kRegNoTarget = "\r未选择目标部门！";
inline constexpr const char* kRegConfirmTransfer = "\r该职工将被调入目标部门，确认否？";
inline constexpr const char* kRetiredCategory = "退休职工";
inline constexpr const char* kRetiredDeptName = "退休";
inline constexpr const char* kNoDirectRetiredAdd = "\r不可直接增加退休人员，请重新选择部门!";
inline constexpr const char* kNoRetireOfRetired = "\r不可对退休人员进行退休操作!";
inline constexpr const char* kNoTransferOfRetired = "\r退休人员不可作内部调动！请重新选择部门！";

// Whether characters 3-4 of an employee code are "99".
bool IsRetiredCode(const AnsiString& zgbh);
// dept + n filled with '0' on the left to 11 - length of dept.
AnsiString EmployeeCode(const AnsiString& dept, int n);
// 1 + the largest number formed by characters first..first+count-1 of the
// codes of gzk's employees whose code begins with prefix (0 when none); the
// whole table is read, and its filter and row are kept.
int NextSequence(TDataSet* gzk, const AnsiString& prefix, int first, int count);
// The code proposed for a new employee of dept.
AnsiString ProposedEmployeeCode(TDataSet* gzk, const AnsiString& dept);

// Adds delta to rs of every bm row whose code begins zgbh; with onlyRetired
// only rows whose code holds "99".  bm's filter is cleared.
void AdjustHeadCounts(TDataSet* bm, const AnsiString& zgbh, int delta, bool onlyRetired = false);

struct TNewEmployee {
  AnsiString Code, Name, Ylbxh, Gzzh, Category;
  bool DbFlag = false;
};
// "保存" of the new-employee page.  True when the row was added.
bool AddEmployee(TDataSet* gzk, TDataSet* bm, const TNewEmployee& e);
// "删除", "退休" and "内部调动" of gzk's current employee; true when done.
bool DeleteEmployee(TDataSet* gzk, TDataSet* bm);
bool RetireEmployee(TDataSet* gzk, TDataSet* bm);
bool TransferEmployee(TDataSet* gzk, TDataSet* bm, const AnsiString& targetCode);
// "排序": every employee whose code begins with dept, in table order, gets
// dept + 1, 2, 3 ...
void RenumberEmployees(TDataSet* gzk, const AnsiString& dept);

// The key filter of the numeric edits: whether key may be typed into text
// with the caret at selStart (0-based) and selLength bytes selected, when
// decimals digits are allowed after the point.
bool NumericKeyAllowed(const AnsiString& text, int selStart, int selLength, int decimals, char key);
// The department tree from bm in code order (bm's controls are off while
// it is read): one node per code of 2, 4, 6 or 8 characters, text name +
// "(" + head count + ")", a root for a unit and a child of the latest node
// one level up otherwise (a root when there is none).  Image 0 for a leaf,
// 2 for a collapsed parent; names (leading blanks removed) and codes of
// every row go to names and codes.  The transfer targets, when given, get
// the name of every leaf whose code does not end in "99".
void BuildDeptTree(TDataSet* bm, TTreeView* tree, std::vector<AnsiString>& names, std::vector<AnsiString>& codes,
                   TStrings* targets = nullptr);
}  // namespace payroll
