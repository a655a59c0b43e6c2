// TPaintBox and TSplitter: graphic controls of ExtCtrls.
#include <QCursor>
#include <algorithm>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Frames3D.h"

// --- TPaintBox ---------------------------------------------------------------

TPaintBox::TPaintBox(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 105, 105); }

void TPaintBox::Paint() {
  Canvas()->Font()->Assign(Font());
  Canvas()->Brush()->SetColor(Color());
  Canvas()->Brush()->SetStyle(bsSolid);
  if (OnPaint) OnPaint(this);
}

// --- TSplitter -----------------------------------------------------------------

TSplitter::TSplitter(TComponent* owner) : TGraphicControl(owner) {
  SetAlign(alLeft);
  SetBounds(0, 0, 3, 100);
  SetCursor(crHSplit);
}

// The sibling aligned to the same side whose edge touches the splitter's
// near side: for alLeft the one ending where the splitter begins.
TControl* TSplitter::FindResizeControl() const {
  TWinControl* p = Parent();
  if (!p) return nullptr;
  for (int i = 0; i < p->ControlCount(); ++i) {
    TControl* c = p->Controls(i);
    if (c == this || !c->Visible() || c->Align() != Align()) continue;
    switch (Align()) {
      case alLeft: if (c->Left() + c->Width() == Left()) return c; break;
      case alRight: if (c->Left() == Left() + Width()) return c; break;
      case alTop: if (c->Top() + c->Height() == Top()) return c; break;
      case alBottom: if (c->Top() == Top() + Height()) return c; break;
      default: break;
    }
  }
  return nullptr;
}

// The largest size control may take: what the parent's client area has
// beyond the other controls aligned to either side, less MinSize for the
// client-aligned control.
int TSplitter::MaxSizeFor(TControl* control) const {
  TWinControl* p = Parent();
  TRect cr = p->ClientRect();
  int total = Vertical() ? cr.Width() : cr.Height();
  int others = 0;
  for (int i = 0; i < p->ControlCount(); ++i) {
    TControl* c = p->Controls(i);
    if (c == control || !c->Visible()) continue;
    bool sameAxis = Vertical() ? (c->Align() == alLeft || c->Align() == alRight)
                               : (c->Align() == alTop || c->Align() == alBottom);
    if (sameAxis) others += Vertical() ? c->Width() : c->Height();
  }
  return std::max(total - others - minSize_, 0);
}

void TSplitter::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  sizing_ = FindResizeControl();
  if (!sizing_) return;
  TPoint s = ClientToScreen({x, y});
  downPos_ = Vertical() ? s.x : s.y;
  startSize_ = Vertical() ? sizing_->Width() : sizing_->Height();
  moved_ = false;
}

void TSplitter::MouseMove(TShiftState shift, int x, int y) {
  TGraphicControl::MouseMove(shift, x, y);
  if (!sizing_ || !shift.Contains(ssLeft)) return;
  TPoint s = ClientToScreen({x, y});
  int delta = (Vertical() ? s.x : s.y) - downPos_;
  // Dragging away from the control's side grows it.
  if (Align() == alRight || Align() == alBottom) delta = -delta;
  int size = std::clamp(startSize_ + delta, 0, MaxSizeFor(sizing_));
  if (size < minSize_) size = autoSnap_ && size < minSize_ / 2 ? 0 : minSize_;
  bool accept = true;
  if (OnCanResize) OnCanResize(this, size, accept);
  if (!accept) return;
  int current = Vertical() ? sizing_->Width() : sizing_->Height();
  if (size == current) return;
  if (Vertical())
    sizing_->SetWidth(size);
  else
    sizing_->SetHeight(size);
  moved_ = true;
}

void TSplitter::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseUp(button, shift, x, y);
  if (button != mbLeft || !sizing_) return;
  sizing_ = nullptr;
  if (moved_ && OnMoved) OnMoved(this);
}

void TSplitter::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush()->SetColor(Color());
  c->FillRect(r);
  if (beveled_) {
    if (Vertical())
      InflateRect(r, -1, 2);
    else
      InflateRect(r, 2, -1);
    DrawEdge(c, r, BDR_RAISEDINNER, BF_RECT);
  }
}

PAYROLL_PUBLISH(TPaintBox) { p.Event("OnPaint", &TPaintBox::OnPaint); }

PAYROLL_PUBLISH(TSplitter) {
  p.Property("AutoSnap", &TSplitter::AutoSnap, &TSplitter::SetAutoSnap).Default(true);
  p.Property("Beveled", &TSplitter::Beveled, &TSplitter::SetBeveled).Default(false);
  p.Property("MinSize", &TSplitter::MinSize, &TSplitter::SetMinSize).Default(30);
  p.Property("ResizeStyle", &TSplitter::ResizeStyle, &TSplitter::SetResizeStyle).Default(rsPattern);
  p.Event("OnCanResize", &TSplitter::OnCanResize);
  p.Event("OnMoved", &TSplitter::OnMoved);
}
