// Canvas: TCanvas, the drawing surface every control, grid cell and report
// page paints on, over a QPainter.
//
// Pixel rules (the original platform's, which every layout relies on):
//  - A rectangle (l, t, r, b) covers x in [l, r) and y in [t, b): FillRect
//    and FrameRect never touch column r or row b.
//  - MoveTo(a); LineTo(b) draws from a up to, but not including, b; so a
//    polyline's shared corners are drawn once (matters for XOR pens).
//  - Rectangle/Ellipse/RoundRect outline with the pen and fill with the
//    brush inside the same [l, r) x [t, b) box.
//  - Pens are Width pixels wide and not anti-aliased.
//  - Text is drawn with the top-left of its cell at (x, y); unless the brush
//    is bsClear the cell (or ExtTextOut's rectangle) is first filled with
//    the brush colour.
//
// A canvas draws either through a painter it borrows (a control's paint
// event: Attach/Detach) or through a painter it opens itself on a paint
// device (a bitmap, a printer page: SetDevice).  Drawing with neither raises
// EInvalidOperation "Canvas does not allow drawing".  Raster operations
// (XOR pens, BitBlt with AND/OR/XOR, Pixels) need a raster device: a
// bitmap, or a widget's backing store.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/Graphics.h"

class QPainter;
class QPaintDevice;
class QRegion;
class QImage;
class TGraphic;

// Raster operations of BitBlt and CopyMode (ternary ROP codes).
using TCopyMode = std::uint32_t;
constexpr TCopyMode SRCCOPY = 0x00CC0020;
constexpr TCopyMode SRCPAINT = 0x00EE0086;   // dest | src
constexpr TCopyMode SRCAND = 0x008800C6;     // dest & src
constexpr TCopyMode SRCINVERT = 0x00660046;  // dest ^ src
constexpr TCopyMode SRCERASE = 0x00440328;   // src & ~dest
constexpr TCopyMode NOTSRCCOPY = 0x00330008; // ~src
constexpr TCopyMode NOTSRCERASE = 0x001100A6;// ~(dest | src)
constexpr TCopyMode MERGEPAINT = 0x00BB0226; // dest | ~src
constexpr TCopyMode DSTINVERT = 0x00550009;  // ~dest
constexpr TCopyMode BLACKNESS = 0x00000042;
constexpr TCopyMode WHITENESS = 0x00FF0062;
constexpr TCopyMode PATCOPY = 0x00F00021;    // brush
constexpr TCopyMode PATINVERT = 0x005A0049;  // dest ^ brush
constexpr TCopyMode cmSrcCopy = SRCCOPY;
constexpr TCopyMode cmSrcAnd = SRCAND;
constexpr TCopyMode cmSrcInvert = SRCINVERT;
constexpr TCopyMode cmSrcPaint = SRCPAINT;
constexpr TCopyMode cmBlackness = BLACKNESS;
constexpr TCopyMode cmWhiteness = WHITENESS;

// ExtTextOut options.
constexpr unsigned ETO_OPAQUE = 0x0002;
constexpr unsigned ETO_CLIPPED = 0x0004;

// DrawText format flags.
constexpr unsigned DT_TOP = 0x0000;
constexpr unsigned DT_LEFT = 0x0000;
constexpr unsigned DT_CENTER = 0x0001;
constexpr unsigned DT_RIGHT = 0x0002;
constexpr unsigned DT_VCENTER = 0x0004;
constexpr unsigned DT_BOTTOM = 0x0008;
constexpr unsigned DT_WORDBREAK = 0x0010;
constexpr unsigned DT_SINGLELINE = 0x0020;
constexpr unsigned DT_EXPANDTABS = 0x0040;
constexpr unsigned DT_TABSTOP = 0x0080;
constexpr unsigned DT_NOCLIP = 0x0100;
constexpr unsigned DT_EXTERNALLEADING = 0x0200;
constexpr unsigned DT_CALCRECT = 0x0400;
constexpr unsigned DT_NOPREFIX = 0x0800;
constexpr unsigned DT_EDITCONTROL = 0x2000;
constexpr unsigned DT_PATH_ELLIPSIS = 0x4000;
constexpr unsigned DT_END_ELLIPSIS = 0x8000;
constexpr unsigned DT_MODIFYSTRING = 0x10000;
constexpr unsigned DT_WORD_ELLIPSIS = 0x40000;
constexpr unsigned DT_HIDEPREFIX = 0x100000;
constexpr unsigned DT_PREFIXONLY = 0x200000;

class TCanvas : public TPersistent {
 public:
  TCanvas();
  // A canvas drawing on device (not owned); see SetDevice.
  explicit TCanvas(QPaintDevice* device);
  ~TCanvas() override;

  // --- binding -----------------------------------------------------------
  // Borrows an active painter (a paint event's) until Detach, and resets
  // the clip.  The painter's transform is left alone; its pen, brush, font,
  // clip and composition mode are set by every drawing call.
  void Attach(QPainter* painter);
  void Detach();
  // Draws on device through a painter of its own, opened at the first
  // drawing call and closed by ReleasePainter, SetDevice or destruction.
  // Changing the device resets the clip region.
  void SetDevice(QPaintDevice* device);
  QPaintDevice* Device() const;
  // Ends the canvas's own painter, so the device may be resized or read.
  void ReleasePainter();
  bool HandleAllocated() const;
  // The active painter with the canvas's state not applied; for drawing the
  // class library has no call for.  Raises when the canvas cannot draw.
  QPainter& Painter();

  // --- tools ---------------------------------------------------------------
  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* font) { font_->Assign(font); }
  TPen* Pen() const { return pen_.get(); }
  void SetPen(TPen* pen) { pen_->Assign(pen); }
  TBrush* Brush() const { return brush_.get(); }
  void SetBrush(TBrush* brush) { brush_->Assign(brush); }
  TPoint PenPos() const { return penPos_; }
  void SetPenPos(const TPoint& p) { penPos_ = p; }
  TCopyMode CopyMode() const { return copyMode_; }
  void SetCopyMode(TCopyMode mode) { copyMode_ = mode; }

  // --- clipping --------------------------------------------------------------
  // The bounding box of the area drawing can reach: the clip region within
  // the device (or the painter's window when borrowed).
  TRect ClipRect() const;
  void SelectClipRect(const TRect& r);       // the clip becomes r
  void SelectClipRegion(const QRegion& region);
  void IntersectClipRect(const TRect& r);    // the clip shrinks to its part in r
  void ExcludeClipRect(const TRect& r);      // r is taken out of the clip
  void ResetClip();                          // no clip: the whole device
  bool HasClip() const { return hasClip_; }
  QRegion ClipRegion() const;

  // --- pixels and lines ----------------------------------------------------------
  // The pixel's colour, or clNone outside the device or the clip, or when
  // the device keeps no pixels (PDF, printers).  On a widget's canvas the
  // pixel is read from the window's backing store.
  TColor Pixels(int x, int y);
  void SetPixels(int x, int y, TColor color);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Polyline(const std::vector<TPoint>& points);
  void Polygon(const std::vector<TPoint>& points);

  // --- shapes ---------------------------------------------------------------------
  void FillRect(const TRect& r);
  void FrameRect(const TRect& r);   // one-pixel frame in the brush colour
  void Rectangle(int left, int top, int right, int bottom);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void RoundRect(int left, int top, int right, int bottom, int cornerW, int cornerH);
  void Ellipse(int left, int top, int right, int bottom);
  void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
  // The dotted focus frame: every other pixel of the frame inverted, so a
  // second call in the same place removes it.
  void DrawFocusRect(const TRect& r);

  // --- text -----------------------------------------------------------------------
  void TextOut(int x, int y, const AnsiString& text);
  // Text at (x, y) clipped to r; r is filled first unless the brush is clear.
  void TextRect(const TRect& r, int x, int y, const AnsiString& text);
  // options: ETO_OPAQUE fills *r with the brush colour, ETO_CLIPPED clips
  // the text to *r.  dx, when given, holds the advance of every byte of
  // text (a double-byte character's advance on its lead byte).
  void ExtTextOut(int x, int y, unsigned options, const TRect* r, const AnsiString& text,
                  const int* dx = nullptr);
  // Extra pixels after every character of text drawn and measured (the
  // report's character spacing); 0 by default.
  int TextCharacterExtra() const { return charExtra_; }
  void SetTextCharacterExtra(int pixels) { charExtra_ = pixels; }
  int TextWidth(const AnsiString& text);
  int TextHeight(const AnsiString& text);
  TSize TextExtent(const AnsiString& text);
  // Formatted text in r with the DT_xxx flags; returns the height of the
  // text.  With DT_CALCRECT nothing is drawn and r is set to the text's
  // extent (its Right and Bottom).  With DT_MODIFYSTRING and an ellipsis
  // text receives the shown text.
  int DrawText(AnsiString& text, TRect& r, unsigned flags);
  int DrawText(const AnsiString& text, TRect& r, unsigned flags);

  // --- pictures --------------------------------------------------------------
  void Draw(int x, int y, TGraphic* graphic);
  void StretchDraw(const TRect& r, TGraphic* graphic);
  // Copies source's srcRect into destRect (stretching when the sizes
  // differ) combined with the pixels here by CopyMode.
  void CopyRect(const TRect& destRect, TCanvas* source, const TRect& srcRect);

  // The image the canvas draws on, when it is a raster image (bitmaps),
  // else nullptr.
  QImage* Image() const;

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;
  // Told of every text drawn, as a metafile records text output: the text
  // and its cell (canvas coordinates, before any rotation) for ExtTextOut,
  // TextOut and TextRect, and for each line DrawText draws.  The report
  // preview finds text on its pages through it.
  std::function<void(const TRect& cell, const AnsiString& text)> OnTextOut;
  // Asked for the device each time the canvas opens a painter of its own
  // (a control's canvas picks its window, its back buffer or its overlay
  // at that moment); null keeps the device set by SetDevice.
  std::function<QPaintDevice*()> DeviceProvider;

 protected:
  void Changing();
  void Changed();

 private:
  QPainter& BeginOutlinedShape();
  QPainter* ActivePainter();
  void RequireCanvas();
  void ApplyClip(QPainter& p);
  void DrawLineSegment(QPainter& p, const TPoint& a, const TPoint& b);
  void DrawPenOutline(QPainter& p, const std::vector<TPoint>& points, bool closed);
  bool PenVisible() const;
  bool BrushVisible() const;
  void FillWithBrush(QPainter& p, const QRegion& area);
  void FillRectWithBrush(QPainter& p, const TRect& r);

  std::unique_ptr<TFont> font_;
  std::unique_ptr<TPen> pen_;
  std::unique_ptr<TBrush> brush_;
  TPoint penPos_;
  TCopyMode copyMode_ = cmSrcCopy;
  int charExtra_ = 0;
  QPaintDevice* device_ = nullptr;
  QPainter* borrowed_ = nullptr;
  std::unique_ptr<QPainter> own_;
  std::unique_ptr<QImage> scratch_;  // stands in for a device of size 0
  std::unique_ptr<QRegion> clip_;
  bool hasClip_ = false;
};

// The original platform's device-context calls, on a canvas.
// BitBlt: src's (sx, sy, w, h) combined into dst at (x, y) by rop.  The
// source must be a raster canvas; returns false when it is not.
bool BitBlt(TCanvas* dst, int x, int y, int w, int h, TCanvas* src, int sx, int sy,
            TCopyMode rop);
// DrawText as a free call; count -1 means the whole text.
int DrawText(TCanvas* canvas, const AnsiString& text, int count, TRect* r, unsigned flags);
// DrawTextEx's extra parameters: the text is laid out between the margins
// (pixels inside r on the left and right); with DT_CALCRECT the margins
// are part of the width returned.  TabLength is in average character
// widths (0: 8); LengthDrawn receives the bytes of text laid out.
struct TDrawTextParams {
  int TabLength = 0;
  int LeftMargin = 0;
  int RightMargin = 0;
  int LengthDrawn = 0;
};
constexpr unsigned DT_RTLREADING = 0x20000;  // accepted; Chinese text reads left to right
int DrawTextEx(TCanvas* canvas, AnsiString& text, TRect* r, unsigned flags, TDrawTextParams* params);
void DrawFocusRect(TCanvas* canvas, const TRect& r);
