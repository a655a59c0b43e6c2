// The colour arithmetic and small drawing pieces of the XP look.
#include "decor/XPDraw.h"

#include <QImage>
#include <algorithm>
#include <cmath>

#include "platform/ui/SysColors.h"

namespace {

int Clamp255(int v) { return std::clamp(v, 0, 255); }

// (255 - x) * p / 100 rounded half to even, in integers.
int LightenChannel(int x, int p) {
  int num = (255 - x) * p;
  int q = num / 100, rem = num % 100;
  if (rem > 50 || (rem == 50 && (q & 1))) ++q;
  return x + q;
}

}  // namespace

TColor XPLighten(TColor c, int percent) {
  TColorRef rgb = ColorToRGB(c);
  int p = std::clamp(percent, 0, 100);
  return static_cast<TColor>(RGB(LightenChannel(GetRValue(rgb), p), LightenChannel(GetGValue(rgb), p),
                                 LightenChannel(GetBValue(rgb), p)));
}

TColor XPDarken(TColor c, int d) {
  TColorRef rgb = ColorToRGB(c);
  return static_cast<TColor>(
      RGB(Clamp255(GetRValue(rgb) - d), Clamp255(GetGValue(rgb) - d + 2), Clamp255(GetBValue(rgb) - d)));
}

TColor XPGray(TColor c, int level) {
  TColorRef rgb = ColorToRGB(c);
  int g = std::min((GetRValue(rgb) + GetGValue(rgb) + GetBValue(rgb)) / 3 + level, 240);
  return static_cast<TColor>(RGB(g, g, g));
}

TColor XPDarkBackgroundText(TColor c, TColor fallback) {
  TColorRef rgb = ColorToRGB(c);
  if ((GetRValue(rgb) + GetBValue(rgb)) / 2 <= 150 && GetGValue(rgb) <= 200) return XPLighten(c, 90);
  return fallback;
}

bool XPHighColor(TCanvas* canvas) {
  QImage* img = canvas ? canvas->Image() : nullptr;
  return !img || img->depth() >= 16;
}

void XPDrawDropDownArrow(TCanvas* canvas, int x, int y) {
  canvas->MoveTo(x, y);
  canvas->LineTo(x + 5, y);
  canvas->MoveTo(x + 1, y + 1);
  canvas->LineTo(x + 4, y + 1);
  canvas->MoveTo(x + 2, y + 2);
  canvas->LineTo(x + 3, y + 2);
}

void XPDrawCheckBoxTick(TCanvas* canvas, int x, int y) {
  for (int k = 0; k < 3; ++k)
    canvas->Polyline({TPoint(x + 2, y - 5 - k), TPoint(x + 4, y - 3 - k), TPoint(x + 9, y - 8 - k)});
}

namespace {

template <class F>
void MapPixels(TBitmap* bitmap, F convert) {
  if (!bitmap || bitmap->Empty()) return;
  QImage& img = bitmap->Image();
  QRgb lastIn = 0, lastOut = 0;
  bool haveLast = false;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      QRgb p = img.pixel(x, y);
      if (!haveLast || p != lastIn) {
        TColor out = convert(static_cast<TColor>(RGB(qRed(p), qGreen(p), qBlue(p))));
        TColorRef rgb = ColorToRGB(out);
        lastIn = p;
        lastOut = qRgba(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb), qAlpha(p));
        haveLast = true;
      }
      img.setPixel(x, y, lastOut);
    }
}

}  // namespace

void XPGrayImage(TBitmap* bitmap, int level) {
  MapPixels(bitmap, [level](TColor c) { return XPGray(c, level); });
}

void XPDimImage(TBitmap* bitmap, int level) {
  MapPixels(bitmap, [level](TColor c) { return XPLighten(c, std::min(level, 100)); });
}

void XPImageShadow(TCanvas* canvas, TBitmap* bitmap, int x, int y, TColor color) {
  if (!bitmap || bitmap->Empty()) return;
  const QImage& img = bitmap->Image();
  QRgb t = img.pixel(0, img.height() - 1);
  for (int j = 0; j < img.height(); ++j)
    for (int i = 0; i < img.width(); ++i)
      if (img.pixel(i, j) != t) canvas->SetPixels(x + i, y + j, color);
}

void XPSurfaceFill(TCanvas* canvas, const TRect& r, TColor color) {
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(color);
  canvas->FillRect(r);
}

void XPRoundOutline(TCanvas* canvas, const TRect& r, TColor pen, int corner, bool filled) {
  canvas->Pen()->SetColor(pen);
  canvas->Pen()->SetWidth(1);
  canvas->Pen()->SetStyle(psSolid);
  TBrushStyle old = canvas->Brush()->Style();
  if (!filled) canvas->Brush()->SetStyle(bsClear);
  canvas->RoundRect(r.Left, r.Top, r.Right, r.Bottom, corner, corner);
  canvas->Brush()->SetStyle(old);
}

void XPBottomLine(TCanvas* canvas, const TRect& r, TColor pen) {
  canvas->Pen()->SetColor(pen);
  canvas->MoveTo(r.Left, r.Bottom);
  canvas->LineTo(r.Right, r.Bottom);
}
