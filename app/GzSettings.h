// GzSettings: the settings file "gz.ini" and the pay-field descriptions.
//
// gz.ini (code page 936, read with TIniFile):
//   [SYSTEM]        CALC_LOG=<integer, non-zero: write calc.log>
//   [Fld_字段描述]   01=<field number, 2 digits>,<description>  (F + number)
//   [Scr_<page>]    01=<15 comma-separated tokens: one labelled edit box>
//                   tab order, field number, caption, label left, label top,
//                   label colour, edit left, edit top, edit colour, -,
//                   decimals, -, -, enabled ("1"), edit width
//   [Lne_<page>]    01=<left>,<top>,<width>,<height>  (one framed bevel)
// Every numbered list runs from "01" up to the first missing key (or a
// value that is literally "ERROR"), so numbering must be gap-free.
//
// FldDescs: (code, description) pairs, the file's fields in entry order
// followed by six fixed pairs (zgbh, ylbxh, xm, gzzh, db_flag, zgqk).
// Loops over pay fields walk all entries but the last six.
// App layer: platform/core, platform/ui controls, the dataset interface.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Component.h"

class TDataSource;
class TDataSet;
class TIniFile;
class TStrings;
class TWinControl;

using TFldDesc = std::pair<AnsiString, AnsiString>;  // (code, description)

// Globals of the main form's unit.
extern std::vector<TFldDesc> FldDescs;
extern const char* const FldLetter;  // "F"
extern bool CalcLogOn;
extern AnsiString DwMc;               // the organisation's name
extern AnsiString CurBmBh;            // the department chosen in the tree
extern std::vector<AnsiString> BmNames, BmCodes;

namespace payroll {
inline constexpr const char* kFldSection = "Fld_字段描述";
inline constexpr int kFixedFldDescs = 6;
// Where FldDescs[index] (one of the file's fields) was read, for messages:
// "gz.ini [Fld_字段描述] 05".
AnsiString FldDescEntryName(size_t index);
inline constexpr const char* kPageAttendance = "考勤管理";
inline constexpr const char* kPageWageEdit = "工资修改";
inline constexpr const char* kPagePerformance = "岗位绩效";
}  // namespace payroll

// Reads CALC_LOG and the field descriptions of the settings file.  The
// descriptions (not the fixed pairs) also go into resultFields when given
// (the formula editor's result-field list), which is cleared first.
// afterEach runs after each description (the start-up pumps messages).
void LoadGzSettings(TIniFile& ini, TStrings* resultFields, const std::function<void()>& afterEach = {});

// Code of the first pair whose description is desc (exact); "" if none.
AnsiString getFldNameByDesc(const AnsiString& desc);
// The comma-separated fields of text (up to the first empty one) joined
// with a carriage return.
AnsiString CommaToLines(const AnsiString& text);
// Every F01..F99 in expr behind prefix, the whole in brackets.
AnsiString QualifyFieldCodes(const AnsiString& expr, const AnsiString& prefix);

// Builds the edit boxes and bevels of one page on panel from the settings
// file at iniPath: labels and TDBEdits (bound to "F" + field number of
// dataSource) owned by owner, bevels framed.  dataModule: where a numeric
// field component "TblGzk<code>" gets the display format; may be null.
// onExit: the edit boxes' exit event.  afterEach runs after each control.
// A non-integer token raises EConvertError.
void CreatUserPanel(const AnsiString& iniPath, const AnsiString& page, TWinControl* panel, TComponent* owner,
                    TDataSource* dataSource, TComponent* dataModule, const TNotifyEvent& onExit,
                    const std::function<void()>& afterEach = {});
