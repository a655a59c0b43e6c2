// Bitmaps: the class library's pictures -- TGraphic (any picture that can
// draw itself into a rectangle), TBitmap (a raster image with a canvas),
// TIcon, and TPicture (a holder of one graphic of any kind).
//
// Bytes: pictures load from and save to byte buffers in their file format
// (BMP for TBitmap, with or without the 14-byte file header; ICO for TIcon;
// JPEG for TJPEGImage in Jpeg.h).  Malformed bytes raise EInvalidGraphic,
// never crash.  TBitmap pixels are held 32 bits per pixel (0xFFRRGGBB)
// whatever PixelFormat says; PixelFormat decides how SaveToBytes writes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Graphics.h"

class QImage;
class TStream;

using TBytes = std::vector<std::uint8_t>;

class TGraphic : public TPersistent {
 public:
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int w) = 0;
  virtual void SetHeight(int h) = 0;
  virtual bool Empty() const { return Width() == 0 || Height() == 0; }
  // Drawn with its transparent colour (bitmaps) or mask (icons) left out.
  bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool on);
  bool Modified() const { return modified_; }
  void SetModified(bool on) { modified_ = on; }

  // Draws the whole picture stretched into r.
  virtual void Draw(TCanvas* canvas, const TRect& r) = 0;
  // The picture as a 32-bit image (for printing and conversions), with the
  // transparent parts at alpha 0 when Transparent.
  virtual QImage ToImage() const = 0;

  virtual void LoadFromBytes(const TBytes& bytes) = 0;
  virtual TBytes SaveToBytes() const = 0;
  // Streams: loading takes every byte from the position to the end (report
  // streams hand each picture over in a stream of its own); saving writes
  // at the position.
  void LoadFromStream(TStream* stream);
  void SaveToStream(TStream* stream) const;
  // Files: raise EFOpenError / EFCreateError when the file cannot be opened.
  void LoadFromFile(const AnsiString& fileName);
  void SaveToFile(const AnsiString& fileName) const;
  // The graphic's bytes as form files hold them ("Glyph.Data", the part
  // of "Picture.Data" after the class name): a 32-bit little-endian byte
  // count followed by the file bytes (bitmaps, JPEG images); icons write
  // their file bytes alone.  ReadData raises EInvalidGraphic when the
  // count does not fit the data.
  virtual TBytes WriteData() const;
  virtual void ReadData(const TBytes& data);

  TNotifyEvent OnChange;

 protected:
  virtual void Changed();

 private:
  bool transparent_ = false;
  bool modified_ = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TTransparentMode { tmAuto, tmFixed };

class TBitmap : public TGraphic {
  PAYROLL_CLASS(TBitmap, TGraphic)  // published: Data (GraphicData.cpp)
 public:
  TBitmap();
  TBitmap(int width, int height);
  ~TBitmap() override;
  void Assign(TPersistent* source) override;

  int Width() const override;
  int Height() const override;
  void SetWidth(int w) override;
  void SetHeight(int h) override;
  // Resizes keeping the overlapping pixels; new pixels are white.
  void SetSize(int w, int h);
  TPixelFormat PixelFormat() const { return pixelFormat_; }
  void SetPixelFormat(TPixelFormat f);
  bool Monochrome() const { return pixelFormat_ == pf1bit; }
  void SetMonochrome(bool on);

  // tmAuto: the bottom-left pixel's colour; tmFixed: TransparentColor.
  TColor TransparentColor() const;
  void SetTransparentColor(TColor c);
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode m) { transparentMode_ = m; Changed(); }

  // The bitmap's canvas, created at first use and owned by the bitmap.
  TCanvas* Canvas();
  // The pixels; ends the canvas's painter first so they are up to date.
  QImage& Image();
  const QImage& Image() const;
  void SetImage(const QImage& image);

  void Draw(TCanvas* canvas, const TRect& r) override;
  QImage ToImage() const override;
  void LoadFromBytes(const TBytes& bytes) override;
  TBytes SaveToBytes() const override;
  // A bitmap of the program's resources (kind RT_BITMAP), by name.
  // Raises EResNotFound when there is none.
  void LoadFromResourceName(const AnsiString& name);
  void Dormant() {}
  void FreeImage() {}
  // "Data" of a form file: WriteData, empty for an empty bitmap.
  AnsiString DataText() const;
  void SetDataText(const AnsiString& data);

 private:
  void ReleaseCanvas() const;
  std::unique_ptr<QImage> image_;
  std::unique_ptr<TCanvas> canvas_;
  TPixelFormat pixelFormat_ = pfDevice;
  TColor transparentColor_ = clDefault;
  TTransparentMode transparentMode_ = tmAuto;
};

class TIcon : public TGraphic {
 public:
  TIcon();
  ~TIcon() override;
  void Assign(TPersistent* source) override;
  int Width() const override;
  int Height() const override;
  void SetWidth(int w) override;
  void SetHeight(int h) override;
  void Draw(TCanvas* canvas, const TRect& r) override;
  QImage ToImage() const override;
  void LoadFromBytes(const TBytes& bytes) override;
  TBytes SaveToBytes() const override;
  TBytes WriteData() const override;
  void ReadData(const TBytes& data) override;

 private:
  std::unique_ptr<QImage> image_;
};

// Holds one graphic of any kind; owns it.
class TPicture : public TPersistent {
  PAYROLL_CLASS(TPicture, TPersistent)  // published: Data (GraphicData.cpp)
 public:
  TPicture();
  ~TPicture() override;
  void Assign(TPersistent* source) override;

  TGraphic* Graphic() const { return graphic_.get(); }
  // Takes a copy of graphic (nullptr clears).
  void SetGraphic(TGraphic* graphic);
  // The graphic as a bitmap: replaces a graphic of another kind by an empty
  // bitmap, as the class library does.
  TBitmap* Bitmap();
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }

  // The kind is chosen by the file's extension (.bmp, .jpg/.jpeg, .ico);
  // an unknown extension raises EInvalidGraphic "Unknown picture file
  // extension (.xyz)".
  void LoadFromFile(const AnsiString& fileName);
  void SaveToFile(const AnsiString& fileName) const;
  // "Data" of a form file: the graphic's class name as a counted string
  // (one length byte: "TBitmap", "TJPEGImage", "TIcon") followed by its
  // WriteData; empty without a graphic.  Setting an unknown class name or
  // malformed bytes raises EInvalidGraphic; empty data clears the picture.
  AnsiString DataText() const;
  void SetDataText(const AnsiString& data);

  TNotifyEvent OnChange;

 private:
  void GraphicChanged();
  std::unique_ptr<TGraphic> graphic_;
};
