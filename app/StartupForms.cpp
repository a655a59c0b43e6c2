#include "app/StartupForms.h"

TFrmZgPx* FrmZgPx = nullptr;
TFrmZgXz* FrmZgXz = nullptr;
TFrmXzZd* FrmXzZd = nullptr;
TFrmBackData* FrmBackData = nullptr;
TFrmAbout* FrmAbout = nullptr;
TfrmRptPaper* frmRptPaper = nullptr;

PAYROLL_PUBLISH(TFrmZgPx) {}
PAYROLL_PUBLISH(TFrmZgXz) {}
PAYROLL_PUBLISH(TFrmXzZd) {}
PAYROLL_PUBLISH(TFrmBackData) {}
PAYROLL_PUBLISH(TFrmAbout) {}
PAYROLL_PUBLISH(TfrmRptPaper) {}
