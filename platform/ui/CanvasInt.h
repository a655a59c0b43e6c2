// CanvasInt: helpers shared by the canvas, the 3-D frame painter and the
// pictures; not for use outside platform/ui.
#pragma once

#include <QColor>
#include <QPainter>

#include "platform/ui/Canvas.h"

// The Qt colour of a TColor (system colours resolved).
inline QColor ToQColor(TColor c) {
  TColorRef rgb = ColorToRGB(c);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}
// A TColor from a Qt pixel value.
inline TColor FromQRgb(QRgb px) {
  return static_cast<TColor>(RGB(qRed(px), qGreen(px), qBlue(px)));
}
// The composition mode that combines a source with the destination as the
// raster operation does.  Operations that ignore the source (BLACKNESS,
// WHITENESS, DSTINVERT, PATCOPY, PATINVERT) report usesSource = false.
QPainter::CompositionMode RopToComposition(TCopyMode rop, bool* usesSource);
// The composition mode of a pen mode; pmBlack/pmWhite/pmNop give
// SourceOver (the caller substitutes the colour or skips).
QPainter::CompositionMode PenModeToComposition(TPenMode mode);
// True when the painter draws into memory pixels (images, widget backing
// stores), where raster operations apply; false for PDF and printers.
bool IsRasterPainter(const QPainter& p);
