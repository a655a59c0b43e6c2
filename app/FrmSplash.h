// TFrmSplash: the border-less splash form shown while the program loads
// (form resource TFrmSplash): "正在装载系统，请稍候..." in silver.  Clicking
// the picture closes it.  App layer.
#pragma once

#include "platform/ui/Forms.h"

class TFrmSplash : public TForm {
  PAYROLL_CLASS(TFrmSplash, TForm)
 public:
  explicit TFrmSplash(TComponent* owner);
  void Image1Click(TObject* sender);
};

extern TFrmSplash* FrmSplash;
