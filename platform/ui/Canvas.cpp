// Canvas: TCanvas over QPainter, with the original platform's pixel rules
// (see Canvas.h).  One-pixel pens are rasterised here (Bresenham, end point
// left out, dash patterns counted along the line) so that raster devices
// get exactly the pixels the rules promise; wide pens and vector devices
// (PDF, printers) use QPainter's own strokes.
#include "platform/ui/Canvas.h"

#include <QImage>
#include <QPaintEngine>
#include <QRegion>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/ui/Bitmaps.h"
#include "platform/ui/CanvasInt.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/QtText.h"

QPainter::CompositionMode RopToComposition(TCopyMode rop, bool* usesSource) {
  *usesSource = true;
  switch (rop) {
    case SRCPAINT: return QPainter::RasterOp_SourceOrDestination;
    case SRCAND: return QPainter::RasterOp_SourceAndDestination;
    case SRCINVERT: return QPainter::RasterOp_SourceXorDestination;
    case SRCERASE: return QPainter::RasterOp_SourceAndNotDestination;
    case NOTSRCCOPY: return QPainter::RasterOp_NotSource;
    case NOTSRCERASE: return QPainter::RasterOp_NotSourceAndNotDestination;
    case MERGEPAINT: return QPainter::RasterOp_NotSourceOrDestination;
    case DSTINVERT: *usesSource = false; return QPainter::RasterOp_NotDestination;
    case BLACKNESS: case WHITENESS: case PATCOPY:
      *usesSource = false; return QPainter::CompositionMode_Source;
    case PATINVERT: *usesSource = false; return QPainter::RasterOp_SourceXorDestination;
    default: return QPainter::CompositionMode_Source;
  }
}

QPainter::CompositionMode PenModeToComposition(TPenMode mode) {
  switch (mode) {
    case pmNot: return QPainter::RasterOp_NotDestination;
    case pmNotCopy: return QPainter::RasterOp_NotSource;
    case pmMergePenNot: return QPainter::RasterOp_SourceOrNotDestination;
    case pmMaskPenNot: return QPainter::RasterOp_SourceAndNotDestination;
    case pmMergeNotPen: return QPainter::RasterOp_NotSourceOrDestination;
    case pmMaskNotPen: return QPainter::RasterOp_NotSourceAndDestination;
    case pmMerge: return QPainter::RasterOp_SourceOrDestination;
    case pmNotMerge: return QPainter::RasterOp_NotSourceAndNotDestination;
    case pmMask: return QPainter::RasterOp_SourceAndDestination;
    case pmNotMask: return QPainter::RasterOp_NotSourceOrNotDestination;
    case pmXor: return QPainter::RasterOp_SourceXorDestination;
    case pmNotXor: return QPainter::RasterOp_NotSourceXorDestination;
    default: return QPainter::CompositionMode_SourceOver;
  }
}

bool IsRasterPainter(const QPainter& p) {
  const QPaintEngine* e = p.paintEngine();
  return e && e->type() == QPaintEngine::Raster;
}

namespace {

// Dash patterns of one-pixel pens, in pixels on / off.
struct DashPattern { int count; int steps[6]; };
const DashPattern* DashFor(TPenStyle style) {
  static const DashPattern kDash = {2, {18, 6}};
  static const DashPattern kDot = {2, {3, 3}};
  static const DashPattern kDashDot = {4, {9, 6, 3, 6}};
  static const DashPattern kDashDotDot = {6, {9, 3, 3, 3, 3, 3}};
  switch (style) {
    case psDash: return &kDash;
    case psDot: return &kDot;
    case psDashDot: return &kDashDot;
    case psDashDotDot: return &kDashDotDot;
    default: return nullptr;
  }
}

// The part of the segment a -> b inside box (Liang-Barsky in double
// precision, ends rounded to the nearest pixel); false when none is.
bool ClipSegment(TPoint& a, TPoint& b, const QRect& box) {
  const double x0 = a.x, y0 = a.y, dx = static_cast<double>(b.x) - a.x, dy = static_cast<double>(b.y) - a.y;
  double t0 = 0, t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - box.left(), box.right() - x0, y0 - box.top(), box.bottom() - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
    } else {
      const double t = q[i] / p[i];
      if (p[i] < 0) t0 = std::max(t0, t);
      else t1 = std::min(t1, t);
    }
  }
  if (t0 > t1) return false;
  a = TPoint(static_cast<int>(std::lround(x0 + t0 * dx)), static_cast<int>(std::lround(y0 + t0 * dy)));
  b = TPoint(static_cast<int>(std::lround(x0 + t1 * dx)), static_cast<int>(std::lround(y0 + t1 * dy)));
  return true;
}

// Appends the pixels of the segment a -> b without b (Bresenham).  dashPos
// carries the position within the dash pattern from segment to segment.
// Only the part inside box (the device, with a margin) is walked, so a
// segment of huge coordinates costs what its visible part costs; the dash
// position still advances by the whole segment.  A segment inside the box
// is walked whole, pixel for pixel as before.
void AppendLinePixels(QPolygon& out, TPoint a, TPoint b, const DashPattern* dash, int& dashPos, const QRect& box) {
  int period = 0;
  if (dash)
    for (int i = 0; i < dash->count; ++i) period += dash->steps[i];
  auto steps = [](TPoint from, TPoint to) {
    return std::max(std::llabs(static_cast<long long>(to.x) - from.x), std::llabs(static_cast<long long>(to.y) - from.y));
  };
  const bool clipped = !box.contains(a.x, a.y) || !box.contains(b.x, b.y);
  const int dashEnd = dash ? static_cast<int>((dashPos % period + steps(a, b) % period) % period) : 0;
  if (clipped) {
    TPoint from = a, to = b;
    if (!ClipSegment(from, to, box)) {
      dashPos = dashEnd;
      return;
    }
    if (dash) dashPos = static_cast<int>((dashPos % period + steps(a, from) % period) % period);
    a = from;
    b = to;
  }
  int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
  int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
  int err = dx + dy;
  int x = a.x, y = a.y;
  while (x != b.x || y != b.y) {
    bool on = true;
    if (dash) {
      int pos = dashPos % period, i = 0;
      while (pos >= dash->steps[i]) pos -= dash->steps[i++];
      on = (i % 2) == 0;
      dashPos = (dashPos + 1) % period;
    }
    if (on) out << QPoint(x, y);
    int e2 = 2 * err;
    if (e2 >= dy) { err += dy; x += sx; }
    if (e2 <= dx) { err += dx; y += sy; }
  }
  if (clipped) dashPos = dashEnd;
}

// The painter's device in the painter's coordinates, two pixels wider on
// every side: the box that one-pixel lines are clipped to.
QRect DeviceBox(const QPainter& p) {
  const int far = 1 << 24;  // no device or no inverse: a bound all the same
  QRect box(QPoint(-far, -far), QPoint(far, far));
  if (const QPaintDevice* d = p.device()) {
    bool invertible = false;
    const QTransform back = p.combinedTransform().inverted(&invertible);
    if (invertible) box = back.mapRect(QRect(0, 0, d->width(), d->height())).adjusted(-2, -2, 2, 2);
  }
  return box;
}

QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

Qt::BrushStyle HatchFor(TBrushStyle s) {
  switch (s) {
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::FDiagPattern;
    case bsBDiagonal: return Qt::BDiagPattern;
    case bsCross: return Qt::CrossPattern;
    case bsDiagCross: return Qt::DiagCrossPattern;
    default: return Qt::SolidPattern;
  }
}

}  // namespace

TCanvas::TCanvas()
    : font_(std::make_unique<TFont>()), pen_(std::make_unique<TPen>()),
      brush_(std::make_unique<TBrush>()), clip_(std::make_unique<QRegion>()) {
  auto changed = [this](TObject*) { Changed(); };
  font_->OnChange = changed;
  pen_->OnChange = changed;
  brush_->OnChange = changed;
}

TCanvas::TCanvas(QPaintDevice* device) : TCanvas() { device_ = device; }

TCanvas::~TCanvas() { ReleasePainter(); }

void TCanvas::Attach(QPainter* painter) {
  ReleasePainter();
  borrowed_ = painter;
  // Every paint event starts with a fresh clip, as a new device context
  // would; the tools are kept.
  ResetClip();
}

void TCanvas::Detach() { borrowed_ = nullptr; }

void TCanvas::SetDevice(QPaintDevice* device) {
  ReleasePainter();
  device_ = device;
  ResetClip();
}

QPaintDevice* TCanvas::Device() const {
  if (borrowed_) return borrowed_->device();
  return device_;
}

void TCanvas::ReleasePainter() {
  if (own_) {
    if (own_->isActive()) own_->end();
    own_.reset();
  }
}

bool TCanvas::HandleAllocated() const {
  return borrowed_ != nullptr || (own_ && own_->isActive());
}

QPainter* TCanvas::ActivePainter() {
  if (borrowed_) return borrowed_;
  if (own_ && own_->isActive()) return own_.get();
  if (DeviceProvider) {
    QPaintDevice* d = DeviceProvider();
    if (d != device_) {
      device_ = d;
      ResetClip();
    }
  }
  if (!device_) return nullptr;
  QPaintDevice* target = device_;
  if (device_->width() <= 0 || device_->height() <= 0) {
    // An empty bitmap still has a surface: drawing on it does nothing.
    if (!scratch_) scratch_ = std::make_unique<QImage>(1, 1, QImage::Format_RGB32);
    target = scratch_.get();
  }
  own_ = std::make_unique<QPainter>();
  if (!own_->begin(target)) {
    own_.reset();
    return nullptr;
  }
  return own_.get();
}

void TCanvas::RequireCanvas() {
  if (!ActivePainter()) throw EInvalidOperation("Canvas does not allow drawing");
}

QPainter& TCanvas::Painter() {
  RequireCanvas();
  return *ActivePainter();
}

QImage* TCanvas::Image() const {
  return dynamic_cast<QImage*>(Device());
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

// ---- clipping ---------------------------------------------------------------

void TCanvas::ApplyClip(QPainter& p) {
  if (hasClip_)
    p.setClipRegion(*clip_);
  else
    p.setClipping(false);
}

QRegion TCanvas::ClipRegion() const {
  QPaintDevice* d = Device();
  QRegion all = d ? QRegion(0, 0, d->width(), d->height()) : QRegion();
  return hasClip_ ? (d ? clip_->intersected(all) : *clip_) : all;
}

TRect TCanvas::ClipRect() const {
  QRect b = ClipRegion().boundingRect();
  return Bounds(b.x(), b.y(), b.width(), b.height());
}

void TCanvas::SelectClipRect(const TRect& r) {
  *clip_ = QRegion(ToQRect(r));
  hasClip_ = true;
}

void TCanvas::SelectClipRegion(const QRegion& region) {
  *clip_ = region;
  hasClip_ = true;
}

void TCanvas::IntersectClipRect(const TRect& r) {
  *clip_ = ClipRegion().intersected(ToQRect(r));
  hasClip_ = true;
}

void TCanvas::ExcludeClipRect(const TRect& r) {
  *clip_ = ClipRegion().subtracted(QRegion(ToQRect(r)));
  hasClip_ = true;
}

void TCanvas::ResetClip() {
  *clip_ = QRegion();
  hasClip_ = false;
}

// ---- tools -----------------------------------------------------------------

bool TCanvas::PenVisible() const {
  return pen_->Style() != psClear && pen_->Mode() != pmNop;
}

bool TCanvas::BrushVisible() const {
  return brush_->Style() != bsClear || brush_->Bitmap() != nullptr;
}

namespace {

QColor PenColour(const TPen& pen) {
  if (pen.Mode() == pmBlack) return Qt::black;
  if (pen.Mode() == pmWhite) return Qt::white;
  return ToQColor(pen.Color());
}

QBrush BrushOf(const TBrush& brush) {
  if (TBitmap* pattern = brush.Bitmap()) {
    const QImage& img = pattern->Image();
    if (!img.isNull())
      return QBrush(img.copy(0, 0, std::min(8, img.width()), std::min(8, img.height())));
  }
  if (brush.Style() == bsClear) return QBrush();
  return QBrush(ToQColor(brush.Color()), HatchFor(brush.Style()));
}

}  // namespace

void TCanvas::FillWithBrush(QPainter& p, const QRegion& area) {
  QBrush b = BrushOf(*brush_);
  if (b.style() == Qt::NoBrush) return;
  p.setBrushOrigin(0, 0);
  for (const QRect& r : area) p.fillRect(r, b);
}

void TCanvas::FillRectWithBrush(QPainter& p, const TRect& r) {
  if (r.IsEmpty()) return;
  QBrush b = BrushOf(*brush_);
  if (b.style() == Qt::NoBrush) return;
  p.setBrushOrigin(0, 0);
  p.fillRect(ToQRect(r), b);
}

// ---- pixels and lines --------------------------------------------------------

TColor TCanvas::Pixels(int x, int y) {
  if (hasClip_ && !clip_->contains(QPoint(x, y))) return clNone;
  const QImage* img = Image();
  QPoint at(x, y);
  if (!img && borrowed_ && borrowed_->isActive() && IsRasterPainter(*borrowed_)) {
    // A widget's paint event: the raster engine paints into the window's
    // backing store; the device transform maps our coordinates into it.
    img = dynamic_cast<const QImage*>(borrowed_->paintEngine()->paintDevice());
    at = borrowed_->deviceTransform().map(at);
    if (img && img->devicePixelRatio() != 1.0) img = nullptr;
  }
  if (!img || at.x() < 0 || at.y() < 0 || at.x() >= img->width() || at.y() >= img->height()) return clNone;
  return FromQRgb(img->pixel(at));
}

void TCanvas::SetPixels(int x, int y, TColor color) {
  QPainter& p = Painter();
  ApplyClip(p);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.fillRect(QRect(x, y, 1, 1), ToQColor(color));
  Changed();
}

void TCanvas::MoveTo(int x, int y) { penPos_ = TPoint(x, y); }

void TCanvas::LineTo(int x, int y) {
  TPoint to(x, y);
  if (PenVisible()) {
    QPainter& p = Painter();
    ApplyClip(p);
    DrawPenOutline(p, {penPos_, to}, false);
  }
  penPos_ = to;
  Changed();
}

void TCanvas::Polyline(const std::vector<TPoint>& points) {
  if (points.size() < 2) return;
  if (PenVisible()) {
    QPainter& p = Painter();
    ApplyClip(p);
    DrawPenOutline(p, points, false);
  }
  Changed();
}

// Strokes the open or closed path with the pen.  One-pixel pens on raster
// devices are rasterised here: each segment leaves out its end point, so
// every vertex is drawn once and XOR pens do not cancel at the corners.
void TCanvas::DrawPenOutline(QPainter& p, const std::vector<TPoint>& points, bool closed) {
  if (points.empty() || !PenVisible()) return;
  int width = std::max(1, pen_->Width());
  p.setCompositionMode(PenModeToComposition(pen_->Mode()));
  p.setRenderHint(QPainter::Antialiasing, false);
  if (width == 1 && IsRasterPainter(p)) {
    QPolygon pixels;
    int dashPos = 0;
    const DashPattern* dash = DashFor(pen_->Style());
    const QRect box = DeviceBox(p);
    for (size_t i = 0; i + 1 < points.size(); ++i)
      AppendLinePixels(pixels, points[i], points[i + 1], dash, dashPos, box);
    if (closed && points.size() > 1)
      AppendLinePixels(pixels, points.back(), points.front(), dash, dashPos, box);
    if (!pixels.isEmpty()) {
      QPen pen(PenColour(*pen_), 1);
      pen.setCosmetic(true);
      p.setPen(pen);
      p.drawPoints(pixels);
    }
  } else {
    QPen pen(PenColour(*pen_), width);
    if (width == 1) {
      pen.setCosmetic(true);
      pen.setCapStyle(Qt::FlatCap);
      if (const DashPattern* dash = DashFor(pen_->Style())) {
        QList<qreal> d;
        for (int i = 0; i < dash->count; ++i) d << dash->steps[i];
        pen.setDashPattern(d);
      }
    } else {
      pen.setCapStyle(Qt::RoundCap);
      pen.setJoinStyle(Qt::RoundJoin);
    }
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPolygon poly;
    for (const TPoint& pt : points) poly << QPoint(pt.x, pt.y);
    if (closed)
      p.drawPolygon(poly);
    else
      p.drawPolyline(poly);
  }
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
  if (points.size() < 2) return;
  QPainter& p = Painter();
  ApplyClip(p);
  if (BrushVisible()) {
    QPolygon poly;
    for (const TPoint& pt : points) poly << QPoint(pt.x, pt.y);
    p.setPen(Qt::NoPen);
    p.setBrush(BrushOf(*brush_));
    p.setBrushOrigin(0, 0);
    p.setCompositionMode(PenModeToComposition(pen_->Mode()));
    p.drawPolygon(poly, Qt::OddEvenFill);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  }
  DrawPenOutline(p, points, true);
  Changed();
}

// ---- shapes ------------------------------------------------------------------

void TCanvas::FillRect(const TRect& r) {
  QPainter& p = Painter();
  ApplyClip(p);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  FillRectWithBrush(p, r);
  Changed();
}

void TCanvas::FrameRect(const TRect& r) {
  if (r.IsEmpty()) return;
  QPainter& p = Painter();
  ApplyClip(p);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  QRegion frame(ToQRect(r));
  if (r.Width() > 2 && r.Height() > 2)
    frame = frame.subtracted(QRegion(r.Left + 1, r.Top + 1, r.Width() - 2, r.Height() - 2));
  FillWithBrush(p, frame);
  Changed();
}

void TCanvas::Rectangle(int left, int top, int right, int bottom) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  QPainter& p = Painter();
  ApplyClip(p);
  p.setCompositionMode(PenModeToComposition(pen_->Mode()));
  if (!PenVisible()) {
    // With no pen the filled area is one pixel smaller in both directions.
    FillRectWithBrush(p, TRect(left, top, right - 1, bottom - 1));
  } else {
    int w = std::max(1, pen_->Width());
    if (BrushVisible()) FillRectWithBrush(p, TRect(left + w, top + w, right - w, bottom - w));
    if (w == 1 || !IsRasterPainter(p) || pen_->Style() != psSolid) {
      if (right - left == 1 || bottom - top == 1) {
        // A one-pixel-wide box is a line; drawing its outline would XOR
        // the pixels twice.
        TPoint end = right - left == 1 ? TPoint(left, bottom) : TPoint(right, top);
        DrawPenOutline(p, {TPoint(left, top), end}, false);
      } else if (w == 1) {
        DrawPenOutline(p, {TPoint(left, top), TPoint(right - 1, top), TPoint(right - 1, bottom - 1),
                           TPoint(left, bottom - 1)}, true);
      } else {
        // Wide pens lie inside the box.
        int h = w / 2;
        DrawPenOutline(p, {TPoint(left + h, top + h), TPoint(right - 1 - (w - 1 - h), top + h),
                           TPoint(right - 1 - (w - 1 - h), bottom - 1 - (w - 1 - h)),
                           TPoint(left + h, bottom - 1 - (w - 1 - h))}, true);
      }
    } else {
      QRegion frame(left, top, right - left, bottom - top);
      frame = frame.subtracted(QRegion(left + w, top + w, right - left - 2 * w, bottom - top - 2 * w));
      for (const QRect& r : frame) p.fillRect(r, PenColour(*pen_));
    }
  }
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  Changed();
}

// Sets the painter up for a shape Qt outlines and fills itself (rounded
// rectangles, ellipses): clip, pen mode, a pen of at least one pixel or
// none, the brush anchored at the origin, no smoothing.
QPainter& TCanvas::BeginOutlinedShape() {
  QPainter& p = Painter();
  ApplyClip(p);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setCompositionMode(PenModeToComposition(pen_->Mode()));
  if (PenVisible()) {
    QPen pen(PenColour(*pen_), std::max(1, pen_->Width()));
    p.setPen(pen);
  } else {
    p.setPen(Qt::NoPen);
  }
  p.setBrush(BrushVisible() ? BrushOf(*brush_) : QBrush());
  p.setBrushOrigin(0, 0);
  return p;
}

void TCanvas::RoundRect(int left, int top, int right, int bottom, int cornerW, int cornerH) {
  QPainter& p = BeginOutlinedShape();
  p.drawRoundedRect(QRect(left, top, right - left - 1, bottom - top - 1), cornerW / 2.0,
                    cornerH / 2.0, Qt::AbsoluteSize);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  Changed();
}

void TCanvas::Ellipse(int left, int top, int right, int bottom) {
  QPainter& p = BeginOutlinedShape();
  p.drawEllipse(QRect(left, top, right - left - 1, bottom - top - 1));
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& r) {
  if (r.IsEmpty()) return;
  QPainter& p = Painter();
  ApplyClip(p);
  p.setRenderHint(QPainter::Antialiasing, false);
  if (IsRasterPainter(p)) {
    // Every pixel of the frame whose x + y is even is inverted; the pattern
    // is fixed to the device, so frames drawn twice cancel exactly.
    QPolygon pixels;
    auto add = [&](int x, int y) {
      if (((x + y) & 1) == 0) pixels << QPoint(x, y);
    };
    for (int x = r.Left; x < r.Right; ++x) add(x, r.Top);
    if (r.Height() > 1)
      for (int x = r.Left; x < r.Right; ++x) add(x, r.Bottom - 1);
    for (int y = r.Top + 1; y < r.Bottom - 1; ++y) {
      add(r.Left, y);
      if (r.Width() > 1) add(r.Right - 1, y);
    }
    QPen pen(Qt::white, 1);
    pen.setCosmetic(true);
    p.setPen(pen);
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.drawPoints(pixels);
  } else {
    QPen pen(Qt::black, 1, Qt::DotLine);
    pen.setCosmetic(true);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
  }
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  Changed();
}

// ---- pictures ---------------------------------------------------------------

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  graphic->Draw(this, Bounds(x, y, graphic->Width(), graphic->Height()));
  Changed();
}

void TCanvas::StretchDraw(const TRect& r, TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  graphic->Draw(this, r);
  Changed();
}

void TCanvas::CopyRect(const TRect& destRect, TCanvas* source, const TRect& srcRect) {
  QPainter& p = Painter();
  bool usesSource = true;
  QPainter::CompositionMode mode = RopToComposition(copyMode_, &usesSource);
  QImage piece;
  if (usesSource) {
    QImage* src = source ? source->Image() : nullptr;
    if (!src) throw EInvalidGraphicOperation("Canvas does not allow drawing");
    // A copy, so that source and destination may be the same image.
    piece = src->copy(ToQRect(srcRect));
  }
  ApplyClip(p);
  p.setCompositionMode(mode);
  if (usesSource) {
    p.drawImage(ToQRect(destRect), piece);
  } else if (copyMode_ == BLACKNESS || copyMode_ == WHITENESS) {
    p.fillRect(ToQRect(destRect), copyMode_ == BLACKNESS ? Qt::black : Qt::white);
  } else if (copyMode_ == DSTINVERT) {
    p.fillRect(ToQRect(destRect), Qt::white);
  } else {
    FillRectWithBrush(p, destRect);
  }
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  Changed();
}

bool BitBlt(TCanvas* dst, int x, int y, int w, int h, TCanvas* src, int sx, int sy,
            TCopyMode rop) {
  if (!dst) return false;
  bool usesSource = true;
  RopToComposition(rop, &usesSource);
  if (usesSource && (!src || !src->Image())) return false;
  TCopyMode saved = dst->CopyMode();
  dst->SetCopyMode(rop);
  try {
    dst->CopyRect(Bounds(x, y, w, h), usesSource ? src : dst, Bounds(sx, sy, w, h));
  } catch (...) {
    dst->SetCopyMode(saved);
    throw;
  }
  dst->SetCopyMode(saved);
  return true;
}

void DrawFocusRect(TCanvas* canvas, const TRect& r) {
  if (canvas) canvas->DrawFocusRect(r);
}
