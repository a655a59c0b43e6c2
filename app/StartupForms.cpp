#include "app/StartupForms.h"

TFrmZgPx* FrmZgPx = nullptr;
TFrmZgXz* FrmZgXz = nullptr;
TFrmXzZd* FrmXzZd = nullptr;
TFrmZGQKWH* FrmZGQKWH = nullptr;
TFrmBackData* FrmBackData = nullptr;
TFrmAbout* FrmAbout = nullptr;
TfrmRptPaper* frmRptPaper = nullptr;

PAYROLL_PUBLISH(TFrmZgPx) {}
PAYROLL_PUBLISH(TFrmZgXz) {}
PAYROLL_PUBLISH(TFrmXzZd) {}
PAYROLL_PUBLISH(TFrmZGQKWH) {}
PAYROLL_PUBLISH(TFrmBackData) {}
PAYROLL_PUBLISH(TFrmAbout) {}
PAYROLL_PUBLISH(TfrmRptPaper) {}
