#include "app/FrmSplash.h"

TFrmSplash* FrmSplash = nullptr;

TFrmSplash::TFrmSplash(TComponent* owner) : TForm(owner) { InitForm("TFrmSplash"); }

void TFrmSplash::Image1Click(TObject*) { Close(); }

PAYROLL_PUBLISH(TFrmSplash) { p.Method("Image1Click", &TFrmSplash::Image1Click); }
