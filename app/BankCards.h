// BankCards: the bank's pay-card files "dept.mdk" (wages), "deptjj.mdk"
// (bonus) and "deptjx.mdk" (performance pay).
//
// Format: code-page-936 bytes, every line ended by CR LF, widths counted in
// bytes (a Chinese character is two), amounts "0.00".
//   header: organisation name, four blanks, the detail count (unpadded),
//           the total right-aligned in 11 (never cut), today as "yymmdd";
//   detail: characters 6..10 of zgbh, xm padded to 8 (never cut), the first
//           19 characters of gzzh padded to 19, the amount right-aligned in
//           7 (never cut).
// One detail line per row of the table (in its order, under its filter)
// whose gzzh is not empty; the lines are held in memory, as many as there
// are, because the header carries their count and total.
// App layer: the dataset interface, platform/core, message boxes.
#pragma once

#include <functional>

#include "platform/core/AnsiString.h"
#include "platform/core/DateTime.h"

class TDataSet;

namespace payroll {
inline constexpr const char* kCardChooseKind = "\r请选择种类!";
inline constexpr const char* kCardFileDone = "\r上卡文件已成功生成！\r如果没有直接生成到软盘，请拷贝！";
inline constexpr const char* kCardFileFault = "\r有职工工资或奖金未被初始化！\r请按规范操作！";
inline constexpr const char* kCardDefaultFolder = "dept\\";

AnsiString CardHeaderLine(const AnsiString& dwmc, int count, double total, TDateTime today);
AnsiString CardDetailLine(const AnsiString& zgbh, const AnsiString& xm, const AnsiString& gzzh, double amount);

// The file name (with its leading backslash) and the amount field of a
// kind; false for a text that is none of "工资", "奖金", "绩效工资" or
// whose amount field has no description in FldDescs.
bool CardKindOf(const AnsiString& kind, AnsiString& fileName, AnsiString& amountField);

// The card page shows its folder as the file system names it ("/home/gz/
// dept", no separator at the end); the commands join names to the folder
// in the system's form ("/home/gz/dept\").  ShownFolder turns a system
// folder into the shown form, CommandFolder the shown form back.
AnsiString ShownFolder(const AnsiString& folder);
AnsiString CommandFolder(const AnsiString& shown);

// The employees a card file covers: the department chosen in the tree
// (code, with its sub-departments), or everyone when none is chosen, set
// as gzk's filter whatever filter another page left on it.
void FilterCardEmployees(TDataSet* gzk, const AnsiString& code);

enum class TCardOutcome { NoKind, NoField, Written, Failed };

// Writes folder + the kind's file name from gzk's rows and tells the
// operator (through the dialog service) how it went: an empty kind is
// refused, a kind without a field stops silently, a fault while writing
// closes the file and shows kCardFileFault.  A file that cannot be created
// raises EInOutError.  start(max) and step() drive the progress bar,
// walked() runs once every row was read (before the file is written).
TCardOutcome WriteBankCardFile(TDataSet* gzk, const AnsiString& kind, const AnsiString& folder,
                               const AnsiString& dwmc, TDateTime today,
                               const std::function<void(int)>& start = {}, const std::function<void()>& step = {},
                               const std::function<void()>& walked = {});
}  // namespace payroll
