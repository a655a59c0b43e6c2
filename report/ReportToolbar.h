// Tool-bar controls of the report preview: TrbSpeedButton (a speed button
// with groups and a down state), TrbTBButton (flat, for tool bars) and
// TrbTBSeparator (a gap with an optional bevel).  The buttons show their
// captions; the grey inactive look and the shared glyph cache are not
// built (no glyph pictures exist for them here).  Calls platform/ui.
#pragma once

#include "platform/ui/Buttons.h"

class TrbSpeedButton : public TSpeedButton {
 public:
  explicit TrbSpeedButton(TComponent* owner);
  // With GrayedInactive an enabled flat button is drawn in its grey
  // inactive state while the mouse is not over it.
  bool GrayedInactive() const { return grayedInactive_; }
  void SetGrayedInactive(bool v);

 private:
  bool grayedInactive_ = true;
};

class TrbTBButton : public TrbSpeedButton {
 public:
  explicit TrbTBButton(TComponent* owner);
};

class TrbTBSeparator : public TGraphicControl {
 public:
  explicit TrbTBSeparator(TComponent* owner);
  bool DrawBevel() const { return drawBevel_; }
  void SetDrawBevel(bool v);

 protected:
  void Paint() override;

 private:
  bool drawBevel_ = true;
};
