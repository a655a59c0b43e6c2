// Jpeg: TJPEGImage over libjpeg.  libjpeg reports errors through a
// longjmp-free path here: the error manager throws a C++ exception from
// error_exit, which is safe because no libjpeg frame owns C++ objects and
// the codec objects are destroyed by the guards below.
#include "platform/ui/Jpeg.h"

#include <QImage>
#include <QPainter>
#include <cstdio>

#include "platform/ui/CanvasInt.h"

extern "C" {
#include <jpeglib.h>
}

namespace {

struct JpegError {
  int code;
};

void ErrorExit(j_common_ptr cinfo) { throw JpegError{cinfo->err->msg_code}; }
void OutputMessage(j_common_ptr) {}

struct Decompressor {
  jpeg_decompress_struct info{};
  jpeg_error_mgr err{};
  Decompressor() {
    info.err = jpeg_std_error(&err);
    err.error_exit = ErrorExit;
    err.output_message = OutputMessage;
    jpeg_create_decompress(&info);
  }
  ~Decompressor() { jpeg_destroy_decompress(&info); }
};

struct Compressor {
  jpeg_compress_struct info{};
  jpeg_error_mgr err{};
  Compressor() {
    info.err = jpeg_std_error(&err);
    err.error_exit = ErrorExit;
    err.output_message = OutputMessage;
    jpeg_create_compress(&info);
  }
  ~Compressor() { jpeg_destroy_compress(&info); }
};

}  // namespace

QImage DecodeJpeg(const TBytes& bytes) {
  if (bytes.empty()) throw EInvalidGraphic("JPEG error #42");
  try {
    Decompressor d;
    jpeg_mem_src(&d.info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d.info, TRUE);
    // CMYK pictures (as written by print software, with inverted values)
    // are decoded as CMYK and converted here; everything else as RGB.
    const bool cmyk = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
    d.info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&d.info);
    const int w = static_cast<int>(d.info.output_width), h = static_cast<int>(d.info.output_height);
    const int comps = d.info.output_components;
    if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > (1LL << 28) || comps != (cmyk ? 4 : 3))
      throw EInvalidGraphic("JPEG error #42");
    QImage img(w, h, QImage::Format_RGB32);
    if (img.isNull()) throw EOutOfResources("Out of system resources");
    std::vector<JSAMPLE> row(static_cast<size_t>(w) * static_cast<size_t>(comps));
    while (d.info.output_scanline < d.info.output_height) {
      int y = static_cast<int>(d.info.output_scanline);
      JSAMPROW rows[1] = {row.data()};
      jpeg_read_scanlines(&d.info, rows, 1);
      QRgb* out = reinterpret_cast<QRgb*>(img.scanLine(y));
      for (int x = 0; x < w; ++x) {
        const JSAMPLE* p = row.data() + static_cast<size_t>(x) * static_cast<size_t>(comps);
        if (cmyk)
          out[x] = qRgb(p[0] * p[3] / 255, p[1] * p[3] / 255, p[2] * p[3] / 255);
        else
          out[x] = qRgb(p[0], p[1], p[2]);
      }
    }
    jpeg_finish_decompress(&d.info);
    return img;
  } catch (const JpegError& e) {
    throw EInvalidGraphic("JPEG error #" + std::to_string(e.code));
  }
}

TBytes EncodeJpeg(const QImage& source, int quality, bool grayscale) {
  QImage img = source.convertToFormat(QImage::Format_RGB32);
  if (img.isNull()) throw EInvalidGraphicOperation("Cannot save an empty picture");
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  try {
    Compressor c;
    jpeg_mem_dest(&c.info, &mem, &size);
    c.info.image_width = static_cast<JDIMENSION>(img.width());
    c.info.image_height = static_cast<JDIMENSION>(img.height());
    c.info.input_components = grayscale ? 1 : 3;
    c.info.in_color_space = grayscale ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c.info);
    jpeg_set_quality(&c.info, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&c.info, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(img.width()) * 3);
    while (c.info.next_scanline < c.info.image_height) {
      const QRgb* in = reinterpret_cast<const QRgb*>(img.constScanLine(static_cast<int>(c.info.next_scanline)));
      for (int x = 0; x < img.width(); ++x) {
        if (grayscale) {
          row[static_cast<size_t>(x)] = static_cast<JSAMPLE>(qGray(in[x]));
        } else {
          row[3 * x] = static_cast<JSAMPLE>(qRed(in[x]));
          row[3 * x + 1] = static_cast<JSAMPLE>(qGreen(in[x]));
          row[3 * x + 2] = static_cast<JSAMPLE>(qBlue(in[x]));
        }
      }
      JSAMPROW rows[1] = {row.data()};
      jpeg_write_scanlines(&c.info, rows, 1);
    }
    jpeg_finish_compress(&c.info);
  } catch (const JpegError& e) {
    std::free(mem);
    throw EInvalidGraphic("JPEG error #" + std::to_string(e.code));
  }
  TBytes out(mem, mem + size);
  std::free(mem);
  return out;
}

TJPEGImage::TJPEGImage() : image_(std::make_unique<QImage>()) {}
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::Assign(TPersistent* source) {
  if (source == this) return;
  if (auto* j = dynamic_cast<TJPEGImage*>(source)) {
    *image_ = j->image_->copy();
    bytes_ = j->bytes_;
    quality_ = j->quality_;
    grayscale_ = j->grayscale_;
    Changed();
    return;
  }
  if (auto* g = dynamic_cast<TGraphic*>(source)) {
    QImage img(g->Width(), g->Height(), QImage::Format_RGB32);
    img.fill(Qt::white);
    if (!img.isNull()) {
      QPainter p(&img);
      p.drawImage(0, 0, g->ToImage());
    }
    *image_ = img;
    bytes_.clear();
    Changed();
    return;
  }
  TGraphic::Assign(source);
}

int TJPEGImage::Width() const { return image_->width(); }
int TJPEGImage::Height() const { return image_->height(); }
void TJPEGImage::SetWidth(int) { throw EInvalidGraphicOperation("Cannot change the size of a JPEG image"); }
void TJPEGImage::SetHeight(int) { throw EInvalidGraphicOperation("Cannot change the size of a JPEG image"); }

void TJPEGImage::SetCompressionQuality(int q) {
  q = std::clamp(q, 1, 100);
  if (q == quality_) return;
  quality_ = q;
  bytes_.clear();
}

void TJPEGImage::SetGrayscale(bool on) {
  if (on == grayscale_) return;
  grayscale_ = on;
  bytes_.clear();
  Changed();
}

QImage TJPEGImage::ToImage() const {
  if (!grayscale_) return *image_;
  return image_->convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_RGB32);
}

void TJPEGImage::Draw(TCanvas* canvas, const TRect& r) {
  if (!canvas || image_->isNull()) return;
  QPainter& p = canvas->Painter();
  if (canvas->HasClip()) p.setClipRegion(canvas->ClipRegion()); else p.setClipping(false);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
  p.drawImage(QRect(r.Left, r.Top, r.Width(), r.Height()), ToImage());
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

void TJPEGImage::LoadFromBytes(const TBytes& bytes) {
  *image_ = DecodeJpeg(bytes);
  bytes_ = bytes;
  Changed();
}

TBytes TJPEGImage::SaveToBytes() const {
  if (!bytes_.empty()) return bytes_;
  return EncodeJpeg(*image_, quality_, grayscale_);
}
