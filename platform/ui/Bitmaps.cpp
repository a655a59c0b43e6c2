// Bitmaps: TGraphic, TBitmap, TIcon and TPicture.
#include "platform/ui/Bitmaps.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <fstream>
#include <iterator>

#include "platform/core/CodePage.h"
#include "platform/core/Streams.h"
#include "platform/ui/BmpFormat.h"
#include "platform/ui/CanvasInt.h"
#include "platform/ui/Jpeg.h"
#include "platform/ui/ResourceImages.h"

namespace {

TBytes ReadFileBytes(const AnsiString& fileName) {
  std::ifstream in(AnsiToUtf8(fileName), std::ios::binary);
  if (!in) throw EFOpenError("Cannot open file \"" + fileName + "\"");
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const AnsiString& fileName, const TBytes& bytes) {
  std::ofstream out(AnsiToUtf8(fileName), std::ios::binary | std::ios::trunc);
  if (!out) throw EFCreateError("Cannot create file \"" + fileName + "\"");
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  if (!out) throw EWriteError("Error writing file \"" + fileName + "\"");
}

// Draws img into r on the canvas, combined by the canvas's CopyMode.
void DrawImage(TCanvas* canvas, const TRect& r, const QImage& img, bool transparent) {
  QPainter& p = canvas->Painter();
  if (canvas->HasClip()) p.setClipRegion(canvas->ClipRegion()); else p.setClipping(false);
  bool usesSource = true;
  QPainter::CompositionMode mode =
      transparent ? QPainter::CompositionMode_SourceOver : RopToComposition(canvas->CopyMode(), &usesSource);
  if (!usesSource) mode = QPainter::CompositionMode_SourceOver;
  p.setCompositionMode(mode);
  p.drawImage(QRect(r.Left, r.Top, r.Width(), r.Height()), img);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

}  // namespace

// ---- TGraphic ----------------------------------------------------------------

void TGraphic::SetTransparent(bool on) {
  if (on == transparent_) return;
  transparent_ = on;
  Changed();
}

void TGraphic::Changed() {
  modified_ = true;
  if (OnChange) OnChange(this);
}

void TGraphic::LoadFromStream(TStream* stream) {
  if (!stream) return;
  std::int64_t left = stream->Size() - stream->Position();
  if (left < 0 || left > INT32_MAX) throw EReadError("Stream read error");
  TBytes bytes(static_cast<size_t>(left));
  if (left > 0) stream->ReadBuffer(bytes.data(), static_cast<int>(left));
  LoadFromBytes(bytes);
}

void TGraphic::SaveToStream(TStream* stream) const {
  if (!stream) return;
  TBytes bytes = SaveToBytes();
  if (!bytes.empty()) stream->WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
}

void TGraphic::LoadFromFile(const AnsiString& fileName) { LoadFromBytes(ReadFileBytes(fileName)); }

void TGraphic::SaveToFile(const AnsiString& fileName) const { WriteFileBytes(fileName, SaveToBytes()); }

// ---- TBitmap -----------------------------------------------------------------

TBitmap::TBitmap() : image_(std::make_unique<QImage>()) {}

TBitmap::TBitmap(int width, int height) : TBitmap() { SetSize(width, height); }

TBitmap::~TBitmap() { ReleaseCanvas(); }

void TBitmap::ReleaseCanvas() const {
  if (canvas_) canvas_->ReleasePainter();
}

void TBitmap::Assign(TPersistent* source) {
  if (source == this) return;
  if (auto* b = dynamic_cast<TBitmap*>(source)) {
    ReleaseCanvas();
    b->ReleaseCanvas();
    *image_ = b->image_->copy();
    pixelFormat_ = b->pixelFormat_;
    transparentColor_ = b->transparentColor_;
    transparentMode_ = b->transparentMode_;
    SetTransparent(b->Transparent());
    if (canvas_) canvas_->SetDevice(image_.get());
    Changed();
    return;
  }
  if (auto* g = dynamic_cast<TGraphic*>(source)) {
    // Any other picture is drawn onto a white bitmap of its size.
    QImage img(g->Width(), g->Height(), QImage::Format_RGB32);
    img.fill(Qt::white);
    {
      QPainter p(&img);
      p.drawImage(0, 0, g->ToImage());
    }
    SetImage(img);
    return;
  }
  if (!source) {
    SetSize(0, 0);
    return;
  }
  TGraphic::Assign(source);
}

int TBitmap::Width() const { return image_->width(); }
int TBitmap::Height() const { return image_->height(); }
void TBitmap::SetWidth(int w) { SetSize(w, Height()); }
void TBitmap::SetHeight(int h) { SetSize(Width(), h); }

void TBitmap::SetSize(int w, int h) {
  w = std::max(0, w);
  h = std::max(0, h);
  if (w == Width() && h == Height()) return;
  ReleaseCanvas();
  QImage next;
  if (w > 0 && h > 0) {
    next = QImage(w, h, QImage::Format_RGB32);
    if (next.isNull()) throw EOutOfResources("Out of system resources");
    next.fill(Qt::white);
    if (!image_->isNull()) {
      QPainter p(&next);
      p.setCompositionMode(QPainter::CompositionMode_Source);
      p.drawImage(0, 0, *image_);
    }
  }
  *image_ = next;
  if (canvas_) canvas_->SetDevice(image_.get());
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat f) {
  if (f == pixelFormat_) return;
  pixelFormat_ = f;
  Changed();
}

void TBitmap::SetMonochrome(bool on) { SetPixelFormat(on ? pf1bit : pfDevice); }

TColor TBitmap::TransparentColor() const {
  if (transparentMode_ == tmFixed && transparentColor_ != clDefault) return transparentColor_;
  if (image_->isNull()) return clDefault;
  return FromQRgb(image_->pixel(0, image_->height() - 1));
}

void TBitmap::SetTransparentColor(TColor c) {
  transparentColor_ = c;
  transparentMode_ = c == clDefault ? tmAuto : tmFixed;
  Changed();
}

TCanvas* TBitmap::Canvas() {
  if (!canvas_) {
    canvas_ = std::make_unique<TCanvas>(image_.get());
    canvas_->OnChange = [this](TObject*) { SetModified(true); };
  }
  return canvas_.get();
}

QImage& TBitmap::Image() {
  ReleaseCanvas();
  return *image_;
}

const QImage& TBitmap::Image() const { return *image_; }

void TBitmap::SetImage(const QImage& image) {
  ReleaseCanvas();
  *image_ = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB32);
  if (canvas_) canvas_->SetDevice(image_.get());
  Changed();
}

QImage TBitmap::ToImage() const {
  if (!Transparent() || image_->isNull()) return *image_;
  QImage out = image_->convertToFormat(QImage::Format_ARGB32);
  TColorRef key = ColorToRGB(TransparentColor());
  QRgb k = qRgb(GetRValue(key), GetGValue(key), GetBValue(key));
  for (int y = 0; y < out.height(); ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x)
      if ((row[x] | 0xFF000000) == k) row[x] = 0;
  }
  return out;
}

void TBitmap::Draw(TCanvas* canvas, const TRect& r) {
  if (!canvas || image_->isNull()) return;
  if (canvas->Image() == image_.get()) {
    // Drawing a bitmap onto its own canvas: work from a copy.
    QImage copy = ToImage().copy();
    DrawImage(canvas, r, copy, Transparent());
    return;
  }
  DrawImage(canvas, r, ToImage(), Transparent());
}

void TBitmap::LoadFromBytes(const TBytes& bytes) {
  QImage img = DecodeBmp(bytes.data(), bytes.size());
  int bits = 0;
  const std::uint8_t* dib = bytes.data();
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') dib += kBmpFileHeaderSize;
  if (dib[0] == kBmpCoreHeaderSize) bits = dib[10];
  else bits = dib[14];
  switch (bits) {
    case 1: pixelFormat_ = pf1bit; break;
    case 4: pixelFormat_ = pf4bit; break;
    case 8: pixelFormat_ = pf8bit; break;
    case 16: pixelFormat_ = pf16bit; break;
    case 24: pixelFormat_ = pf24bit; break;
    case 32: pixelFormat_ = pf32bit; break;
    default: pixelFormat_ = pfDevice;
  }
  SetImage(img);
}

TBytes TBitmap::SaveToBytes() const {
  if (image_->isNull()) throw EInvalidGraphicOperation("Cannot save an empty bitmap");
  int bits = 24;
  switch (pixelFormat_) {
    case pf1bit: bits = 1; break;
    case pf4bit: bits = 4; break;
    case pf8bit: bits = 8; break;
    case pf32bit: bits = 32; break;
    default: bits = 24;
  }
  return EncodeBmp(*image_, bits);
}

void TBitmap::LoadFromResourceName(const AnsiString& name) {
  TBytes bytes = ResourceBitmapBytes(name);
  LoadFromBytes(bytes);
}

// ---- TIcon -------------------------------------------------------------------

TIcon::TIcon() : image_(std::make_unique<QImage>()) {}
TIcon::~TIcon() = default;

void TIcon::Assign(TPersistent* source) {
  if (source == this) return;
  if (auto* i = dynamic_cast<TIcon*>(source)) {
    *image_ = i->image_->copy();
    Changed();
    return;
  }
  TGraphic::Assign(source);
}

int TIcon::Width() const { return image_->width(); }
int TIcon::Height() const { return image_->height(); }
void TIcon::SetWidth(int) { throw EInvalidGraphicOperation("Cannot change the size of an icon"); }
void TIcon::SetHeight(int) { throw EInvalidGraphicOperation("Cannot change the size of an icon"); }

void TIcon::Draw(TCanvas* canvas, const TRect& r) {
  if (!canvas || image_->isNull()) return;
  DrawImage(canvas, r, *image_, true);
}

QImage TIcon::ToImage() const { return *image_; }

void TIcon::LoadFromBytes(const TBytes& bytes) {
  QImage img;
  if (!img.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "ICO"))
    throw EInvalidGraphic("Icon image is not valid");
  *image_ = img.convertToFormat(QImage::Format_ARGB32);
  Changed();
}

TBytes TIcon::SaveToBytes() const {
  QByteArray data;
  QBuffer buf(&data);
  buf.open(QIODevice::WriteOnly);
  if (image_->isNull() || !image_->save(&buf, "ICO"))
    throw EInvalidGraphicOperation("Cannot save the icon");
  return TBytes(data.begin(), data.end());
}

// ---- TPicture ----------------------------------------------------------------

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Assign(TPersistent* source) {
  if (source == this) return;
  if (auto* p = dynamic_cast<TPicture*>(source)) {
    SetGraphic(p->Graphic());
    return;
  }
  if (auto* g = dynamic_cast<TGraphic*>(source)) {
    SetGraphic(g);
    return;
  }
  if (!source) {
    SetGraphic(nullptr);
    return;
  }
  TPersistent::Assign(source);
}

namespace {

std::unique_ptr<TGraphic> NewGraphicLike(const TGraphic* g) {
  if (dynamic_cast<const TBitmap*>(g)) return std::make_unique<TBitmap>();
  if (dynamic_cast<const TJPEGImage*>(g)) return std::make_unique<TJPEGImage>();
  if (dynamic_cast<const TIcon*>(g)) return std::make_unique<TIcon>();
  return nullptr;
}

std::unique_ptr<TGraphic> NewGraphicForFile(const AnsiString& fileName) {
  size_t dot = fileName.rfind('.');
  AnsiString ext = dot == std::string::npos ? AnsiString() : AnsiString(fileName.substr(dot)).LowerCase();
  if (ext == ".bmp") return std::make_unique<TBitmap>();
  if (ext == ".jpg" || ext == ".jpeg") return std::make_unique<TJPEGImage>();
  if (ext == ".ico") return std::make_unique<TIcon>();
  throw EInvalidGraphic("Unknown picture file extension (" + ext + ")");
}

}  // namespace

void TPicture::SetGraphic(TGraphic* graphic) {
  if (graphic == graphic_.get()) return;
  if (!graphic) {
    graphic_.reset();
    GraphicChanged();
    return;
  }
  std::unique_ptr<TGraphic> copy = NewGraphicLike(graphic);
  if (!copy) throw EInvalidGraphic("Unsupported picture format");
  copy->Assign(graphic);
  graphic_ = std::move(copy);
  graphic_->OnChange = [this](TObject*) { GraphicChanged(); };
  GraphicChanged();
}

TBitmap* TPicture::Bitmap() {
  if (auto* b = dynamic_cast<TBitmap*>(graphic_.get())) return b;
  graphic_ = std::make_unique<TBitmap>();
  graphic_->OnChange = [this](TObject*) { GraphicChanged(); };
  GraphicChanged();
  return static_cast<TBitmap*>(graphic_.get());
}

void TPicture::LoadFromFile(const AnsiString& fileName) {
  std::unique_ptr<TGraphic> g = NewGraphicForFile(fileName);
  g->LoadFromFile(fileName);
  graphic_ = std::move(g);
  graphic_->OnChange = [this](TObject*) { GraphicChanged(); };
  GraphicChanged();
}

void TPicture::SaveToFile(const AnsiString& fileName) const {
  if (graphic_) graphic_->SaveToFile(fileName);
}

void TPicture::GraphicChanged() {
  if (OnChange) OnChange(this);
}
