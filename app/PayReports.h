// The report page's printed reports built in code (PayReports.cpp, members
// of TfrmMain) and the report variables the main form answers.
//
// Every built report: the report is emptied, one page is added and given
// the paper of the report's rptPaper row, bands and texts are placed in
// code and the report dataset rbDBDataSet is pointed at the data.  The
// pay columns come from RptStru rows of the report's title, in RptNo
// order, in two passes over the rows: the column titles (a title "A|B" is
// column B under a group title A spanning the consecutive columns of
// group A; commas make line breaks) and the value cells, each formatted
// with kMoneyFormat and "0" or "0." + RptDec zeros.
//
// Built so far: the five summaries over the department rows (bm) and the
// four pay sheets and the retirement subsidy table over the employees
// (gzk).
// App layer: report/ for the report engine.
#pragma once

#include <functional>
#include <vector>

#include "app/ReportPreviewBridge.h"
#include "platform/core/AnsiString.h"

class TDataSet;
class TrbPage;
class TrbReport;
class TrbView;
class Variant;

namespace payroll {

inline constexpr int kMoneyFormat = 0x0104022E;
inline constexpr int kCharWidth = 6;  // design units per RptLen character
inline constexpr const char* kNoPrintRows = "\r没有要打印的数据!!";
inline constexpr const char* kNoPrintEmployees = "\r没有要打印的数据!";

// A built report that is not one of the report page's entries (the menu's
// department bonus summary has no layout of its own): the operator is told
// that it is not printed, and which report holds the bonus by department.
AnsiString NoSuchReportText(const AnsiString& report);

// The page number of a built report, "第n页 共m页", placed at the layout's
// left where the box fits inside the page's printable width, else as far
// right as it does: on narrow paper or upright sheets the layout's place
// lies beyond the page's right edge.
inline constexpr const char* kPageNumberText = "第[PAGE#]页 共[TOTALPAGES]页";
int PageNumberLeft(const TrbPage* page, int left, int width);
void AddPageNumber(TrbPage* page, int left, int top, int width);
// The same for a loaded template's page-number texts (those naming
// "[PAGE#]"), once its paper is set.
void KeepPageNumbersOnPage(TrbPage* page);
// The signature line at the foot of a built report, its texts given left
// to right: each keeps the layout's left where it fits inside the page's
// printable width; where it does not (the layout is drawn for a turned
// sheet), the last ends at the right edge and each one before it moves
// left as far as it must to end where the next begins, never past the
// left edge.
void KeepSignaturesOnPage(TrbPage* page, const std::vector<TrbView*>& line);

// "0" for decimals <= 0, else "0." followed by that many zeros.
AnsiString MoneyFormatString(int decimals);

// The places of the column objects of one report kind.
struct TColumnLayout {
  const char* titleFrame;  // frame sides of a column title
  int groupTop, groupHeight;
  int lowerTop, lowerHeight;    // a grouped column's title
  int singleTop, singleHeight;  // an ungrouped column's title
  const char* valueFrame;
  int valueTop, valueHeight;
};
// Summaries: four-sided titles in rows 88 and 104, values at 150.
extern const TColumnLayout kSummaryColumns;

// Pay sheets: three-sided titles in rows 154 and 168, values at 182.
extern const TColumnLayout kPaySheetColumns;

inline constexpr const char* kRetiredOrTemporary = "\r退休职工和临时工请打印专门的报表！";

// The four pay sheets: one block per employee of gzk, each with its own
// column titles so that the printed blocks can be cut apart.
struct TPaySheet {
  const char* name;
  bool needsDepartment;
  const char* structureTitle;
  int offset, headerHeight, pageNumberLeft;
  int signatureLefts[3];
};
const TPaySheet* PaySheetOf(const AnsiString& report);
// The gzk filter of a sheet: code is the chosen department's, unit the
// first two characters of the department table's current code.
AnsiString PaySheetFilter(const TPaySheet& sheet, const AnsiString& code, const AnsiString& unit);
// Characters 3 and 4 of a department code are "99" or "98".
bool IsRetiredOrTemporaryGroup(const AnsiString& code);

// A retirement-table cell: FrmData.TblGzk's field named by the first three
// characters of RptField, then the rest of it (an expression suffix);
// with sum, the total of that over the rows.
AnsiString RetirementFieldText(const AnsiString& field, bool sum);

// The two column passes over the rows of rptStru (walked from the first
// row) starting at x: the titles, then (after the data band) the value
// cells, whose text valueText makes from the row's RptField.  Each
// returns the x after the last column.
int AddColumnTitles(TrbPage* page, TDataSet* rptStru, int x, const TColumnLayout& layout);
int AddColumnValues(TrbPage* page, TDataSet* rptStru, int x, const TColumnLayout& layout,
                    const std::function<AnsiString(const AnsiString& field)>& valueText);

// True for the five summaries; the department-level ones need a
// department chosen in the tree.
bool IsSummaryReport(const AnsiString& report);
bool IsDepartmentLevelReport(const AnsiString& report);
// The RptStru title of a summary's columns.
AnsiString SummaryStructureTitle(const AnsiString& report);

// The calls the preview window makes on a report.
TReportPreviewCalls ReportPreviewCalls(TrbReport* report);

// Makes a prepared report show in the modal preview window, unless a
// preview is already installed (a test's).
void InstallReportPreview();

}  // namespace payroll
