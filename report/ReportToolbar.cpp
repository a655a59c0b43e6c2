// Tool-bar controls of the report preview (see ReportToolbar.h).
#include "report/ReportToolbar.h"

#include "platform/ui/Canvas.h"

TrbSpeedButton::TrbSpeedButton(TComponent* owner) : TSpeedButton(owner) {}

void TrbSpeedButton::SetGrayedInactive(bool v) {
  if (grayedInactive_ == v) return;
  grayedInactive_ = v;
  Invalidate();
}

TrbTBButton::TrbTBButton(TComponent* owner) : TrbSpeedButton(owner) { SetFlat(true); }

TrbTBSeparator::TrbTBSeparator(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 8, 22); }

void TrbTBSeparator::SetDrawBevel(bool v) {
  if (drawBevel_ == v) return;
  drawBevel_ = v;
  Invalidate();
}

// A grooved line in the middle of the gap: a shadow line and a highlight
// line beside it.
void TrbTBSeparator::Paint() {
  if (!drawBevel_) return;
  TCanvas* c = Canvas();
  int x = Width() / 2 - 1;
  c->Pen()->SetColor(clBtnShadow);
  c->MoveTo(x, 1);
  c->LineTo(x, Height() - 1);
  c->Pen()->SetColor(clBtnHighlight);
  c->MoveTo(x + 1, 1);
  c->LineTo(x + 1, Height() - 1);
}
