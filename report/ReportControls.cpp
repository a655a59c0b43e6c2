// The objects of a dialog page (see ReportControls.h).
#include "report/ReportControls.h"

#include <QPainter>
#include <QWidget>

#include "platform/core/Component.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Frames3D.h"
#include "platform/ui/SysColors.h"

// ---- TrbControl ----

TrbControl::TrbControl() {
  Typ = gtAddIn;
  FillColor = clBtnFace;
  FrameTyp = 0;
  BaseName = "Control";
}

TrbControl::~TrbControl() = default;

void TrbControl::SetControl(TControl* control) { control_.reset(control); }

void TrbControl::Draw(TCanvas* canvas) {
  BeginDraw(canvas);
  if (control_) control_->SetBounds(x, y, dx, dy);
  PaintDesignControl(canvas);
}

void TrbControl::PaintDesignControl(TCanvas* canvas) {
  TBitmap picture(dx + 1, dy + 1);
  picture.Canvas()->Brush()->SetColor(clBtnFace);
  picture.Canvas()->FillRect(TRect{0, 0, dx + 1, dy + 1});
  picture.Canvas()->ReleasePainter();
  // A windowed control paints itself into the picture (as it would on the
  // dialog form); one without a window shows as the button face alone.
  if (control_ && control_->Surface()) {
    QWidget* w = control_->Surface();
    w->resize(dx, dy);
    QPainter p(&picture.Image());
    w->render(&p);
  }
  canvas->Draw(x, y, &picture);
}

void TrbControl::DefineProperties() {
  ClearProperties();
  AddProperty("Name", rbpText | rbpSpecial);
  for (const char* n : {"Left", "Top", "Width", "Height"}) AddProperty(n, rbpUnits);
  AddProperty("Visible", rbpBoolean);
  AddProperty("Restrictions", rbpEditor);
}

void TrbControl::SetPropValue(const AnsiString& name, const Variant& value) {
  TrbView::SetPropValue(name, value);
  if (name.UpperCase() == "VISIBLE" && control_) control_->SetVisible(Visible);
}

// ---- TrbNonVisualControl ----

TrbNonVisualControl::TrbNonVisualControl() {
  dx = dy = 28;
  BaseName = "Component";
}

TrbNonVisualControl::~TrbNonVisualControl() = default;

void TrbNonVisualControl::SetComponent(TComponent* component) { component_.reset(component); }

void TrbNonVisualControl::Draw(TCanvas* canvas) {
  BeginDraw(canvas);
  dx = dy = 28;
  TRect r{x, y, x + dx, y + dy};
  DrawEdge(canvas, r, EDGE_RAISED, BF_RECT);
  TBitmap picture;
  try {
    picture.LoadFromResourceName("RB_NONVISUALCOMPONENT");
  } catch (const Exception&) {  // a program without the picture shows the edge alone
    return;
  }
  canvas->Draw(x + 2, y + 2, &picture);
}

void TrbNonVisualControl::DefineProperties() {
  ClearProperties();
  AddProperty("Name", rbpText | rbpSpecial);
  AddProperty("Restrictions", rbpEditor);
}

void TrbNonVisualControl::SetPropValue(const AnsiString& name, const Variant& value) {
  TrbControl::SetPropValue(name, value);
  if (name.UpperCase() == "NAME" && component_) component_->SetName(Name);
}
