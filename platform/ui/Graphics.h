// Graphics: the class library's drawing unit.  This header declares the
// drawing tools -- TFont, TPen, TBrush -- and pulls in the rest of the unit
// so that one include gives a control or a report everything it draws with:
//   Geometry.h  TPoint, TSize, TRect and the rectangle helpers
//   SysColors.h TColor, clXxx, the system colour table and metrics
//   Canvas.h    TCanvas, DrawText, DrawEdge, DrawFrameControl
//   Bitmaps.h   TGraphic, TBitmap, TIcon, TPicture
//
// Tools notify their owner through OnChange whenever a property changes
// value; a canvas listens to its own tools and re-selects them lazily.
#pragma once

#include <cstdint>

#include "platform/core/Component.h"
#include "platform/core/TypInfo.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/SysColors.h"

class TBitmap;
class TCanvas;

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
PAYROLL_ENUM_NAMES(TFontStyle, fsBold, fsItalic, fsUnderline, fsStrikeOut)
using TFontStyles = TSet<TFontStyle, 4>;
enum TFontPitch { fpDefault, fpVariable, fpFixed };
PAYROLL_ENUM_NAMES(TFontPitch, fpDefault, fpVariable, fpFixed)
using TFontCharset = std::uint8_t;
constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;
constexpr TFontCharset SYMBOL_CHARSET = 2;
constexpr TFontCharset GB2312_CHARSET = 134;
constexpr TFontCharset OEM_CHARSET = 255;

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
// How the pen's colour combines with the pixels under it (the binary raster
// operations R2_BLACK .. R2_WHITE in the original platform's order).
enum TPenMode {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot,
  pmMaskPenNot, pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask,
  pmNotMask, pmXor, pmNotXor
};
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal,
                   bsBDiagonal, bsCross, bsDiagCross };

// Screen resolution the font sizes are converted at.
constexpr int kScreenPixelsPerInch = 96;

// Base of the drawing tools: change notification.
class TGraphicsObject : public TPersistent {
 public:
  TNotifyEvent OnChange;

 protected:
  virtual void Changed();
};

// A font.  Height and Size are two views of one value: Height is in pixels
// (negative: the character height without internal leading; positive: the
// cell height including it) and Size is in points at PixelsPerInch,
// Size = -Height * 72 / PixelsPerInch rounded.  The face names the
// system's forms use ("宋体", "Tahoma", ...) are mapped to installed fonts
// when drawn (FontMetrics.h).
class TFont : public TGraphicsObject {
  PAYROLL_CLASS(TFont, TGraphicsObject)  // published in ControlsPublished.cpp ("Font.Name = ...")
 public:
  TFont();
  void Assign(TPersistent* source) override;

  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& name);
  int Height() const { return height_; }
  void SetHeight(int height);
  int Size() const;
  void SetSize(int points);
  const TFontStyles& Style() const { return style_; }
  void SetStyle(const TFontStyles& style);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFontCharset Charset() const { return charset_; }
  void SetCharset(TFontCharset charset);
  TFontPitch Pitch() const { return pitch_; }
  void SetPitch(TFontPitch pitch);
  // Angle of the text's base line in tenths of a degree, counter-clockwise.
  int Orientation() const { return orientation_; }
  void SetOrientation(int tenths);
  // Resolution Size is converted at: the screen's, or the printer's for a
  // printer canvas.  Changing it keeps Size and recomputes Height.
  int PixelsPerInch() const { return pixelsPerInch_; }
  void SetPixelsPerInch(int ppi);

  bool SameAs(const TFont& other) const;

 private:
  AnsiString name_;
  int height_;
  TFontStyles style_;
  TColor color_ = clWindowText;
  TFontCharset charset_ = DEFAULT_CHARSET;
  TFontPitch pitch_ = fpDefault;
  int orientation_ = 0;
  int pixelsPerInch_ = kScreenPixelsPerInch;
};

// A pen: lines and shape outlines.  Width is in pixels; widths below 1
// draw as 1.  Pens are never anti-aliased.
class TPen : public TGraphicsObject {
 public:
  void Assign(TPersistent* source) override;

  TColor Color() const { return color_; }
  void SetColor(TColor color);
  int Width() const { return width_; }
  void SetWidth(int width);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle style);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode mode);

 private:
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = psSolid;
  TPenMode mode_ = pmCopy;
};

// A brush: shape interiors, FillRect, and the background of text.  With a
// pattern Bitmap (not owned; its top-left 8 x 8 pixels tile the area) the
// style and colour are ignored.  The hatch styles draw Color lines over a
// transparent background, 8 pixels apart, aligned to the device origin.
class TBrush : public TGraphicsObject {
 public:
  void Assign(TPersistent* source) override;

  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle style);
  TBitmap* Bitmap() const { return bitmap_; }
  void SetBitmap(TBitmap* bitmap);

 private:
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
  TBitmap* bitmap_ = nullptr;
};

#include "platform/ui/Canvas.h"
#include "platform/ui/Bitmaps.h"
