// ImageList: TCustomImageList.
#include "platform/ui/ImageList.h"

#include <QImage>
#include <QPainter>

#include "platform/ui/CanvasInt.h"

TCustomImageList::TCustomImageList(TComponent* owner) : TComponent(owner) {}

TCustomImageList::TCustomImageList(int width, int height, TComponent* owner) : TComponent(owner) {
  width_ = std::max(1, width);
  height_ = std::max(1, height);
}

TCustomImageList::~TCustomImageList() = default;

void TCustomImageList::Assign(TPersistent* source) {
  if (source == this) return;
  if (auto* l = dynamic_cast<TCustomImageList*>(source)) {
    width_ = l->width_;
    height_ = l->height_;
    bkColor_ = l->bkColor_;
    blendColor_ = l->blendColor_;
    drawingStyle_ = l->drawingStyle_;
    masked_ = l->masked_;
    images_.clear();
    for (const auto& img : l->images_) images_.push_back(std::make_unique<QImage>(img->copy()));
    Changed();
    return;
  }
  TComponent::Assign(source);
}

void TCustomImageList::Changed() {
  if (OnChange) OnChange(this);
}

void TCustomImageList::SetWidth(int w) {
  w = std::max(1, w);
  if (w == width_) return;
  width_ = w;
  Clear();
}

void TCustomImageList::SetHeight(int h) {
  h = std::max(1, h);
  if (h == height_) return;
  height_ = h;
  Clear();
}

void TCustomImageList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) throw EInvalidOperation("Image list index out of bounds");
}

// Cuts source (ARGB32, alpha = mask) into list-sized images.
void TCustomImageList::AddPieces(const QImage& source) {
  if (source.isNull() || source.width() < width_ || source.height() < height_)
    throw EInvalidOperation("Invalid image size");
  int pieces = source.width() / width_;
  for (int i = 0; i < pieces; ++i)
    images_.push_back(std::make_unique<QImage>(source.copy(i * width_, 0, width_, height_)));
}

int TCustomImageList::Add(TBitmap* image, TBitmap* mask) {
  if (!image) throw EInvalidOperation("Invalid image size");
  QImage img = image->Image().convertToFormat(QImage::Format_ARGB32);
  if (mask && !mask->Image().isNull()) {
    const QImage& m = mask->Image();
    for (int y = 0; y < img.height() && y < m.height(); ++y)
      for (int x = 0; x < img.width() && x < m.width(); ++x)
        if (qGray(m.pixel(x, y)) >= 128) img.setPixel(x, y, 0);
  }
  int first = Count();
  AddPieces(img);
  Changed();
  return first;
}

int TCustomImageList::AddMasked(TBitmap* image, TColor maskColor) {
  if (!image) throw EInvalidOperation("Invalid image size");
  QImage img = image->Image().convertToFormat(QImage::Format_ARGB32);
  TColorRef key = ColorToRGB(maskColor == clDefault ? image->TransparentColor() : maskColor);
  QRgb k = qRgb(GetRValue(key), GetGValue(key), GetBValue(key));
  for (int y = 0; y < img.height(); ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x)
      if ((row[x] | 0xFF000000) == k) row[x] = 0;
  }
  int first = Count();
  AddPieces(img);
  Changed();
  return first;
}

int TCustomImageList::AddIcon(TIcon* icon) {
  if (!icon || icon->Empty()) throw EInvalidOperation("Invalid image size");
  QImage img = icon->ToImage().convertToFormat(QImage::Format_ARGB32)
                   .scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  images_.push_back(std::make_unique<QImage>(img));
  Changed();
  return Count() - 1;
}

void TCustomImageList::Replace(int index, TBitmap* image, TBitmap* mask) {
  CheckIndex(index);
  TCustomImageList tmp(width_, height_);
  tmp.Add(image, mask);
  images_[static_cast<size_t>(index)] = std::move(tmp.images_[0]);
  Changed();
}

void TCustomImageList::Delete(int index) {
  if (index == -1) {
    Clear();
    return;
  }
  CheckIndex(index);
  images_.erase(images_.begin() + index);
  Changed();
}

void TCustomImageList::Clear() {
  images_.clear();
  Changed();
}

void TCustomImageList::Move(int curIndex, int newIndex) {
  CheckIndex(curIndex);
  CheckIndex(newIndex);
  auto img = std::move(images_[static_cast<size_t>(curIndex)]);
  images_.erase(images_.begin() + curIndex);
  images_.insert(images_.begin() + newIndex, std::move(img));
  Changed();
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled) {
  Draw(canvas, x, y, index, drawingStyle_, itImage, enabled);
}

namespace {

// The embossed look of a disabled image: the dark pixels of the opaque
// part, in the highlight colour one pixel down and right, then in the
// shadow colour.
QImage Embossed(const QImage& img, QColor colour) {
  QImage out(img.size(), QImage::Format_ARGB32);
  out.fill(0);
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      QRgb p = img.pixel(x, y);
      if (qAlpha(p) >= 128 && qGray(p) < 192) out.setPixel(x, y, colour.rgba());
    }
  return out;
}

QImage Blended(const QImage& img, QColor with, int percent) {
  QImage out = img.copy();
  for (int y = 0; y < out.height(); ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      if (qAlpha(row[x]) == 0) continue;
      auto mix = [&](int a, int b) { return (a * (100 - percent) + b * percent) / 100; };
      row[x] = qRgba(mix(qRed(row[x]), with.red()), mix(qGreen(row[x]), with.green()),
                     mix(qBlue(row[x]), with.blue()), qAlpha(row[x]));
    }
  }
  return out;
}

}  // namespace

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, TDrawingStyle style,
                            TImageType type, bool enabled) {
  if (!canvas || index < 0 || index >= Count()) return;
  const QImage& img = *images_[static_cast<size_t>(index)];
  QPainter& p = canvas->Painter();
  if (canvas->HasClip()) p.setClipRegion(canvas->ClipRegion()); else p.setClipping(false);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  if (type == itMask) {
    QImage mask(img.size(), QImage::Format_RGB32);
    for (int yy = 0; yy < img.height(); ++yy)
      for (int xx = 0; xx < img.width(); ++xx)
        mask.setPixel(xx, yy, qAlpha(img.pixel(xx, yy)) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    p.drawImage(x, y, mask);
    return;
  }
  if (bkColor_ != clNone && style != dsTransparent)
    p.fillRect(QRect(x, y, width_, height_), ToQColor(bkColor_));
  if (!enabled) {
    p.drawImage(x + 1, y + 1, Embossed(img, ToQColor(clBtnHighlight)));
    p.drawImage(x, y, Embossed(img, ToQColor(clBtnShadow)));
    return;
  }
  QColor blend = ToQColor(blendColor_ == clNone ? clHighlight : blendColor_);
  if (style == dsSelected)
    p.drawImage(x, y, Blended(img, blend, 50));
  else if (style == dsFocus)
    p.drawImage(x, y, Blended(img, blend, 25));
  else
    p.drawImage(x, y, masked_ ? img : img.convertToFormat(QImage::Format_RGB32));
}

void TCustomImageList::GetBitmap(int index, TBitmap* out) {
  CheckIndex(index);
  if (!out) return;
  out->SetSize(width_, height_);
  TCanvas* c = out->Canvas();
  c->Brush()->SetColor(bkColor_ == clNone ? clWhite : bkColor_);
  c->FillRect(Rect(0, 0, width_, height_));
  Draw(c, 0, 0, index, dsNormal, itImage, true);
}
