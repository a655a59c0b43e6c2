// TFrmPopWin: the base of the small modal dialogs (users, departments,
// categories, backup, report paper): 499 x 354, centred on the screen,
// with a white title panel Panel1 50 pixels high across the top that holds
// the stretched banner picture Image1 and the centred title Label1, and
// the XP painter XPStyler1.  It has no behaviour of its own; each dialog
// sets the title and adds its grid and buttons.
//
// A dialog class derives from it and calls InitForm with its own form
// resource, which names the base's parts as "inherited" (Label1's
// caption) and adds its own.  The base parts are read from the resource
// "TFrmPopWin" first; the painter takes in the dialog's own controls when
// the dialog's resource has been read (DoCreate).
// App layer.
#pragma once

#include "platform/ui/Forms.h"

class TPanel;
class TImage;
class TLabel;
class TXPStyler;

class TFrmPopWin : public TForm {
  PAYROLL_CLASS(TFrmPopWin, TForm)
 public:
  explicit TFrmPopWin(TComponent* owner);

  TPanel* Panel1 = nullptr;
  TImage* Image1 = nullptr;
  TLabel* Label1 = nullptr;
  TXPStyler* XPStyler1 = nullptr;

  // Gives controls added in code after creation the XP look too.
  void RestyleControls();

 protected:
  void DoCreate() override;
};

namespace payroll {
// The banner of the title panel, drawn here (no stored picture): a soft
// blue band fading to white.  Its size is the picture's own; the panel
// stretches it.
void DrawPopWinBanner(TImage* image);
}  // namespace payroll
