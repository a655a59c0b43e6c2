// The dialogs that start-up creates after the login dialog, in this
// order: TFrmZgPx (employee order), TFrmZgXz (employee picker), TFrmXzZd
// (field picker), TFrmZGQKWH (employee categories, MaintenanceDialogs.h),
// TFrmBackData (backup and restore), TFrmAbout, TfrmRptPaper (report
// paper).  Each is built
// from its form resource; their commands belong to the employee register,
// the formula editor and the maintenance dialogs, which fill them in.
// App layer.
#pragma once

#include "app/MaintenanceDialogs.h"
#include "app/PopWin.h"
#include "platform/ui/Forms.h"

#define PAYROLL_STARTUP_FORM(Class, Global)                       \
  class Class : public TForm {                                   \
    PAYROLL_CLASS(Class, TForm)                                  \
   public:                                                       \
    explicit Class(TComponent* owner) : TForm(owner) { InitForm(#Class); } \
  };                                                             \
  extern Class* Global;

// The same for the dialogs on the TFrmPopWin base.
#define PAYROLL_STARTUP_POPWIN(Class, Global)                    \
  class Class : public TFrmPopWin {                              \
    PAYROLL_CLASS(Class, TFrmPopWin)                             \
   public:                                                       \
    explicit Class(TComponent* owner) : TFrmPopWin(owner) { InitForm(#Class); } \
  };                                                             \
  extern Class* Global;

PAYROLL_STARTUP_FORM(TFrmZgPx, FrmZgPx)
PAYROLL_STARTUP_FORM(TFrmZgXz, FrmZgXz)
PAYROLL_STARTUP_FORM(TFrmXzZd, FrmXzZd)
PAYROLL_STARTUP_POPWIN(TFrmBackData, FrmBackData)
PAYROLL_STARTUP_FORM(TFrmAbout, FrmAbout)
PAYROLL_STARTUP_POPWIN(TfrmRptPaper, frmRptPaper)

#undef PAYROLL_STARTUP_FORM
#undef PAYROLL_STARTUP_POPWIN
