// Graphics: the drawing tools TFont, TPen, TBrush.
#include "platform/ui/Graphics.h"

#include <cmath>

namespace {

int PointsToHeight(int points, int ppi) {
  // -MulDiv(points, ppi, 72), rounded half away from zero.
  long long n = static_cast<long long>(points) * ppi;
  long long h = (n >= 0 ? n + 36 : n - 36) / 72;
  return -static_cast<int>(h);
}

}  // namespace

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// The default font of the system's Chinese forms.
TFont::TFont() : name_("宋体"), height_(PointsToHeight(9, kScreenPixelsPerInch)) {}

void TFont::Assign(TPersistent* source) {
  if (auto* f = dynamic_cast<TFont*>(source)) {
    if (f == this) return;
    name_ = f->name_;
    // Size is what carries over between resolutions (a screen font assigned
    // to a printer canvas keeps its point size).
    height_ = f->pixelsPerInch_ == pixelsPerInch_ ? f->height_
                                                  : PointsToHeight(f->Size(), pixelsPerInch_);
    style_ = f->style_;
    color_ = f->color_;
    charset_ = f->charset_;
    pitch_ = f->pitch_;
    orientation_ = f->orientation_;
    Changed();
    return;
  }
  TGraphicsObject::Assign(source);
}

void TFont::SetName(const AnsiString& name) {
  if (name.empty() || name == name_) return;
  name_ = name;
  Changed();
}

void TFont::SetHeight(int height) {
  if (height == height_) return;
  height_ = height;
  Changed();
}

int TFont::Size() const {
  long long n = -static_cast<long long>(height_) * 72;
  long long r = (n >= 0 ? n + pixelsPerInch_ / 2 : n - pixelsPerInch_ / 2) / pixelsPerInch_;
  return static_cast<int>(r);
}

void TFont::SetSize(int points) { SetHeight(PointsToHeight(points, pixelsPerInch_)); }

void TFont::SetStyle(const TFontStyles& style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TFont::SetCharset(TFontCharset charset) {
  if (charset == charset_) return;
  charset_ = charset;
  Changed();
}

void TFont::SetPitch(TFontPitch pitch) {
  if (pitch == pitch_) return;
  pitch_ = pitch;
  Changed();
}

void TFont::SetOrientation(int tenths) {
  if (tenths == orientation_) return;
  orientation_ = tenths;
  Changed();
}

void TFont::SetPixelsPerInch(int ppi) {
  if (ppi <= 0 || ppi == pixelsPerInch_) return;
  int points = Size();
  pixelsPerInch_ = ppi;
  height_ = PointsToHeight(points, ppi);
  Changed();
}

bool TFont::SameAs(const TFont& o) const {
  return name_ == o.name_ && height_ == o.height_ && style_ == o.style_ &&
         color_ == o.color_ && charset_ == o.charset_ && pitch_ == o.pitch_ &&
         orientation_ == o.orientation_;
}

void TPen::Assign(TPersistent* source) {
  if (auto* p = dynamic_cast<TPen*>(source)) {
    if (p == this) return;
    color_ = p->color_;
    width_ = p->width_;
    style_ = p->style_;
    mode_ = p->mode_;
    Changed();
    return;
  }
  TGraphicsObject::Assign(source);
}

void TPen::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TPen::SetWidth(int width) {
  if (width == width_) return;
  width_ = width;
  Changed();
}

void TPen::SetStyle(TPenStyle style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TPen::SetMode(TPenMode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  Changed();
}

void TBrush::Assign(TPersistent* source) {
  if (auto* b = dynamic_cast<TBrush*>(source)) {
    if (b == this) return;
    color_ = b->color_;
    style_ = b->style_;
    bitmap_ = b->bitmap_;
    Changed();
    return;
  }
  TGraphicsObject::Assign(source);
}

void TBrush::SetColor(TColor color) {
  // Choosing a colour makes a clear brush solid, as in the class library.
  if (color == color_ && style_ != bsClear) return;
  color_ = color;
  if (style_ == bsClear) style_ = bsSolid;
  Changed();
}

void TBrush::SetStyle(TBrushStyle style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TBrush::SetBitmap(TBitmap* bitmap) {
  if (bitmap == bitmap_) return;
  bitmap_ = bitmap;
  Changed();
}
