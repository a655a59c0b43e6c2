// DemoData: builds a payroll data folder ("GZ.udb", "gz.ini" and the bonus
// sheet template "jjff.rbf") from a
// readable description, through the engine.  The demo folder that
// scripts/run.sh starts the program on and the tests' databases are made
// this way; nothing binary is checked in.
//
// Description (UTF-8 text; converted to code page 936 as it is read):
//   # comment lines and blank lines are skipped
//   [gzk]                    a table of PayrollSchema.h
//   ZGBH|XM|ZGQK|F01         the fields that the rows give, in order
//   01010001|张三|在职|1000   one row; an empty value leaves the field null
// A boolean value is 1 (true) or 0 (false).  Each table section may appear
// once; tables without a section stay empty.
//
// The settings file is copied as it stands, converted from UTF-8 to code
// page 936, with CR LF line ends.
// App layer: calls the engine and platform/core.
#pragma once

#include "platform/core/AnsiString.h"
#include "platform/core/Exceptions.h"

PAYROLL_DECLARE_EXCEPTION(EDemoDataError, Exception)

namespace payroll {

// The master key of the payroll database file.
inline constexpr const char* kMasterKey = "marblequay";
inline constexpr const char* kDatabaseName = "GZ.udb";
inline constexpr const char* kSettingsName = "gz.ini";

// Creates targetDir (when missing) and in it a new "GZ.udb" (an existing
// one is replaced) holding the rows of descriptionText (UTF-8), and
// "gz.ini" from iniText (UTF-8), the bonus sheet template and the empty
// folders "dept" (bank-card files), "backxls" (worksheets) and "BackDB"
// (backups).  Raises EDemoDataError naming the line
// for a malformed description, the engine's error for a refused row.
void BuildPayrollFolder(const std::string& descriptionText, const std::string& iniText,
                        const AnsiString& targetDir);

}  // namespace payroll
