// The worksheet export commands of the main window: the card page's wage,
// bonus and performance-pay files and the report page's department and
// unit summaries (ExportCommands.cpp, members of TfrmMain).
//
// Each command builds a SELECT whose column aliases are the Chinese column
// titles (each checked to be one plain name; texts are quoted literals), opens it and hands it to the main form's exporter, which builds
// its columns from the query's fields and writes the aliases as the title
// row.  Files go to the program's folder + "backxls\" (not created here).
// A failed export is shown by the exporter; the command then shows no
// success message.
// App layer.
#pragma once

#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Exceptions.h"

class TTreeView;

namespace payroll {

inline constexpr const char* kExportFolder = "backxls\\";
inline constexpr const char* kExportDone = "\rEXCEL文件已成功生成！";
inline constexpr const char* kExportCannotOverwrite = "\r文件无法覆盖！";
inline constexpr const char* kExportOtherFolder =
    "\r目前所指的目录不是默认目录，是否确认使用？\r选 否 则使用默认目录！";
inline constexpr const char* kSummaryNoReport = "\r请选择报表!";
inline constexpr const char* kSummaryNoDepartment = "\r请选择打印部门!";
inline constexpr const char* kSummaryNoData = "\r没有要输出EXCEL的数据!!";
inline constexpr const char* kSummaryDone = "\r 输出EXCEL的数据完成!!";
inline constexpr const char* kSummaryNameCaption = "请输入要输出的EXCEL文件名";
inline constexpr const char* kSummaryNamePrompt = "文件名(不带后缀名):";

// The card page's kinds, as listed in its combo box.
enum class TExportKind { Wage, Bonus, Performance, None };
TExportKind ExportKindOf(const AnsiString& text);

// "gz" + yyyymm, "jj" + yyyymmdd or "jx" + yyyymmdd, then ".xls"; date is
// "yyyymmdd".
AnsiString ExportFileName(TExportKind kind, const AnsiString& date);

// The overwrite question of a kind.
AnsiString ExportOverwriteQuestion(TExportKind kind);

// A column title (a gz.ini description or a report-structure title) that
// cannot be a column name; the message names where it was read.
PAYROLL_DECLARE_EXCEPTION(EExportColumnError, Exception)

// The SELECT lines of a kind.  Wage: the four fixed columns and one column
// per pay-field description (FldDescs without its six fixed pairs).
// Performance: the "RptField as FldTitle" list of the performance report
// structure (perfColumns: (field, title) pairs in RptNo order).  A field,
// description or title that is not a plain name (IsSqlName) raises
// EExportColumnError.
std::vector<AnsiString> ExportSqlLines(
    TExportKind kind, const std::vector<std::pair<AnsiString, AnsiString>>& perfColumns);

// A summary column title: every "," removed, then every
// "代           扣|" (a two-row title's group named 代扣) removed.
AnsiString SummaryColumnTitle(const AnsiString& fldTitle);

// True for the four summaries the report page exports; department ones
// need a department code.
bool IsExportedSummary(const AnsiString& report);
bool IsDepartmentSummary(const AnsiString& report);
// The report-structure query of a summary ("" for another report).
AnsiString SummaryStructureSql(const AnsiString& report);
// The sequence-number column a department summary also selects (last, to
// order by it) and keeps out of the file.
inline constexpr const char* kSummarySortColumn = "xh";
// The summary SELECT over bm; columns: (field, title) pairs in RptNo order.
AnsiString SummarySql(const AnsiString& report,
                      const std::vector<std::pair<AnsiString, AnsiString>>& columns,
                      const AnsiString& departmentCode);

// The code of the department selected in the tree: the node's text up to
// its first "(" looked up in BmNames, the code at the same index of
// BmCodes (empty when no name matches).  False when nothing is selected.
bool SelectedDepartmentCode(TTreeView* tree, AnsiString& code);

}  // namespace payroll
