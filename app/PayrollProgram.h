// The payroll program's entry, in this order: the splash form, the
// application object and its title "Velmor工资软件", the forms created in
// their fixed order (TfrmMain first, so it is the main form, then
// TFrmLogin, TFrmZgPx, TFrmZgXz, TFrmXzZd, TFrmZGQKWH, TFrmBackData,
// TFrmAbout, TfrmRptPaper), the splash freed, then the message loop.  The
// program takes no arguments; its own folder holds the database, the
// settings and the output.
// App layer.
#pragma once

#include <functional>

namespace payroll {

inline constexpr const char* kApplicationTitle = "Velmor工资软件";

// Registers the classes that form resources name (once per process).
void RegisterPayrollClasses();
// Creates the forms in their order; the splash is shown meanwhile.  An
// exception while creating (the engine's, when the database cannot be
// opened) goes to the application's error box, as the class library does.
void CreatePayrollForms();
// The whole program: CreatePayrollForms, then the message loop.
int RunPayroll();

}  // namespace payroll
