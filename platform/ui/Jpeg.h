// Jpeg: TJPEGImage, a JPEG picture decoded and encoded with libjpeg.
// The decoded pixels are kept (as a 32-bit image) with the original bytes,
// so saving an unchanged picture writes back exactly what was loaded.
#pragma once

#include "platform/ui/Bitmaps.h"

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;
  // From another JPEG image (bytes and pixels) or any graphic (its pixels,
  // encoded at the next save).
  void Assign(TPersistent* source) override;

  int Width() const override;
  int Height() const override;
  void SetWidth(int w) override;
  void SetHeight(int h) override;
  // 1..100, used when encoding (default 90).
  int CompressionQuality() const { return quality_; }
  void SetCompressionQuality(int q);
  bool Grayscale() const { return grayscale_; }
  void SetGrayscale(bool on);

  void Draw(TCanvas* canvas, const TRect& r) override;
  QImage ToImage() const override;
  // Raises EInvalidGraphic "JPEG error #<n>" for data libjpeg rejects.
  void LoadFromBytes(const TBytes& bytes) override;
  TBytes SaveToBytes() const override;

 private:
  std::unique_ptr<QImage> image_;
  TBytes bytes_;  // the encoded picture; empty when only pixels are known
  int quality_ = 90;
  bool grayscale_ = false;
};

// libjpeg codec on its own, for callers that hold pixels.
QImage DecodeJpeg(const TBytes& bytes);
TBytes EncodeJpeg(const QImage& image, int quality, bool grayscale);
