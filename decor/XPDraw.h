// XPDraw: the colour arithmetic and the small drawing pieces of the flat
// "XP" look -- shared by the menu and control painter (XPStyler.h).
//
// Colours are TColor values (0x00BBGGRR or system colours); every function
// resolves system colours first.  Geometry follows TCanvas: a fill covers
// [Left, Right) x [Top, Bottom), a line leaves out its end point.
#pragma once

#include "platform/ui/Bitmaps.h"
#include "platform/ui/Canvas.h"

// Each channel x becomes x + (255 - x) * min(p, 100) / 100, the added part
// rounded to the nearest integer (halves to even): Lighten(black, 50) is
// (128, 128, 128).
TColor XPLighten(TColor c, int percent);
// red - d, green - d + 2, blue - d, each kept within 0..255 (a negative d
// lightens).
TColor XPDarken(TColor c, int d);
// The gray (g, g, g), g = (red + green + blue) div 3 + level, at most 240.
TColor XPGray(TColor c, int level);
// Text colour over a dark background c: Lighten(c, 90) when
// (red + blue) div 2 <= 150 and green <= 200, else fallback.
TColor XPDarkBackgroundText(TColor c, TColor fallback);
// Whether a canvas draws with 16 or more bits per pixel (raster canvases
// of 32-bit images and windows; a canvas without a raster image counts as
// high-colour too).
bool XPHighColor(TCanvas* canvas);

// A drop-down arrow at (x, y) in the pen colour: five pixels in row y,
// three in row y + 1, one in row y + 2.
void XPDrawDropDownArrow(TCanvas* canvas, int x, int y);
// The check-box tick, x being the box's left and y its bottom, in the pen
// colour: three polylines (x+2, y-5-k) -> (x+4, y-3-k) -> (x+9, y-8-k).
void XPDrawCheckBoxTick(TCanvas* canvas, int x, int y);

// Pixel effects on a bitmap, in place; runs of one colour convert once.
void XPGrayImage(TBitmap* bitmap, int level);
void XPDimImage(TBitmap* bitmap, int level);
// Every pixel of bitmap that differs from its bottom-left pixel sets the
// canvas pixel (x + i, y + j) to color.
void XPImageShadow(TCanvas* canvas, TBitmap* bitmap, int x, int y, TColor color);

// Rounded-rectangle pieces of the push, bit and speed buttons.
void XPSurfaceFill(TCanvas* canvas, const TRect& r, TColor color);
void XPRoundOutline(TCanvas* canvas, const TRect& r, TColor pen, int corner, bool filled);
void XPBottomLine(TCanvas* canvas, const TRect& r, TColor pen);
