// The dialogs that start-up creates after the login dialog, in this
// order: TFrmZgPx (employee order), TFrmZgXz (employee picker), TFrmXzZd
// (field picker), TFrmZGQKWH (employee categories), TFrmBackData (backup
// and restore), TFrmAbout, TfrmRptPaper (report paper).  Each is built
// from its form resource; their commands belong to the employee register,
// the formula editor and the maintenance dialogs, which fill them in.
// App layer.
#pragma once

#include "platform/ui/Forms.h"

#define PAYROLL_STARTUP_FORM(Class, Global)                       \
  class Class : public TForm {                                   \
    PAYROLL_CLASS(Class, TForm)                                  \
   public:                                                       \
    explicit Class(TComponent* owner) : TForm(owner) { InitForm(#Class); } \
  };                                                             \
  extern Class* Global;

PAYROLL_STARTUP_FORM(TFrmZgPx, FrmZgPx)
PAYROLL_STARTUP_FORM(TFrmZgXz, FrmZgXz)
PAYROLL_STARTUP_FORM(TFrmXzZd, FrmXzZd)
PAYROLL_STARTUP_FORM(TFrmZGQKWH, FrmZGQKWH)
PAYROLL_STARTUP_FORM(TFrmBackData, FrmBackData)
PAYROLL_STARTUP_FORM(TFrmAbout, FrmAbout)
PAYROLL_STARTUP_FORM(TfrmRptPaper, frmRptPaper)

#undef PAYROLL_STARTUP_FORM
