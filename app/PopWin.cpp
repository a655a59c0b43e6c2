// The dialogs' base form.  See PopWin.h.
#include "app/PopWin.h"

#include "decor/XPStyler.h"
#include "platform/core/Resources.h"
#include "platform/core/TextForm.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/SysColors.h"

TFrmPopWin::TFrmPopWin(TComponent* owner) : TForm(owner) {
  // The base's parts only; the dialog's InitForm reads the rest and runs
  // the creation (OnCreate) once.
  const TResourceBlock block = LoadResource("TFrmPopWin", RT_RCDATA);
  ObjectTextToComponent(std::string_view(reinterpret_cast<const char*>(block.data), block.size), this);
  Panel1 = static_cast<TPanel*>(FindComponent("Panel1"));
  Image1 = static_cast<TImage*>(FindComponent("Image1"));
  Label1 = static_cast<TLabel*>(FindComponent("Label1"));
  XPStyler1 = static_cast<TXPStyler*>(FindComponent("XPStyler1"));
  payroll::DrawPopWinBanner(Image1);
}

void TFrmPopWin::RestyleControls() {
  if (!XPStyler1 || !XPStyler1->Active()) return;
  XPStyler1->SetActive(false);
  XPStyler1->SetActive(true);
}

void TFrmPopWin::DoCreate() {
  RestyleControls();
  TForm::DoCreate();
}

namespace payroll {

void DrawPopWinBanner(TImage* image) {
  constexpr int kWidth = 240, kHeight = 50;
  TBitmap banner(kWidth, kHeight);
  TCanvas* c = banner.Canvas();
  c->Pen()->SetStyle(psClear);
  // Left to right from a light steel blue to white, in 2-pixel strips.
  const int from[3] = {176, 206, 240}, to[3] = {255, 255, 255};
  for (int x = 0; x < kWidth; x += 2) {
    const int t = x * 256 / kWidth;
    const auto mix = [t](int a, int b) { return a + (b - a) * t / 256; };
    c->Brush()->SetColor(TColor(RGB(mix(from[0], to[0]), mix(from[1], to[1]), mix(from[2], to[2]))));
    c->FillRect(TRect{x, 0, x + 2, kHeight});
  }
  // Three rings at the left, as on a letterhead.
  c->Brush()->SetStyle(bsClear);
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetColor(clWhite);
  c->Pen()->SetWidth(2);
  for (int i = 0; i < 3; ++i) c->Ellipse(8 + i * 14, 11 + (i % 2) * 6, 30 + i * 14, 33 + (i % 2) * 6);
  // A thin line along the bottom edge.
  c->Pen()->SetWidth(1);
  c->Pen()->SetColor(TColor(RGB(120, 150, 200)));
  c->MoveTo(0, kHeight - 1);
  c->LineTo(kWidth, kHeight - 1);
  image->Picture()->SetGraphic(&banner);
}

}  // namespace payroll

PAYROLL_PUBLISH(TFrmPopWin) {}
