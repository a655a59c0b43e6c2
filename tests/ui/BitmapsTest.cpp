// Pictures: the BMP reader and writer, JPEG, TBitmap/TPicture, image lists
// and cursors.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QImage>

#include "GraphicsTestSupport.h"
#include "platform/core/ResourceTable.h"
#include "platform/core/Resources.h"
#include "platform/core/Streams.h"
#include "platform/ui/BmpFormat.h"
#include "platform/ui/CanvasInt.h"
#include "platform/ui/Cursors.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/Jpeg.h"

extern "C" {
#include <jpeglib.h>
}

namespace {

void Put16(TBytes& b, unsigned v) { b.push_back(v & 0xFF); b.push_back((v >> 8) & 0xFF); }
void Put32(TBytes& b, unsigned v) { Put16(b, v & 0xFFFF); Put16(b, v >> 16); }

// A DIB (no file header) with a 40-byte info header.
TBytes Dib(int w, int h, int bits, unsigned compression, const std::vector<unsigned>& palette,
           const TBytes& pixels) {
  TBytes b;
  Put32(b, 40); Put32(b, static_cast<unsigned>(w)); Put32(b, static_cast<unsigned>(h));
  Put16(b, 1); Put16(b, static_cast<unsigned>(bits)); Put32(b, compression);
  Put32(b, static_cast<unsigned>(pixels.size())); Put32(b, 0); Put32(b, 0);
  Put32(b, static_cast<unsigned>(palette.size())); Put32(b, 0);
  for (unsigned c : palette) Put32(b, c);  // 0x00RRGGBB as B, G, R, 0
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

class BitmapsTest : public ::testing::Test {
 protected:
  void SetUp() override { RequireGuiApp(); }
};

TEST_F(BitmapsTest, DecodesBottomUpTwentyFourBitRowsWithPadding) {
  // 3 x 2: rows padded to 12 bytes, bottom row first.
  TBytes px = {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0,          // y = 1: red, green, blue
               255, 255, 255, 0, 0, 0, 0, 255, 255, 0, 0, 0};     // y = 0: white, black, yellow
  QImage img = DecodeBmp(Dib(3, 2, 24, BI_RGB, {}, px).data(), Dib(3, 2, 24, BI_RGB, {}, px).size());
  ASSERT_EQ(img.size(), QSize(3, 2));
  EXPECT_EQ(At(img, 0, 1), 0xFF0000u);
  EXPECT_EQ(At(img, 1, 1), 0x00FF00u);
  EXPECT_EQ(At(img, 2, 1), 0x0000FFu);
  EXPECT_EQ(At(img, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(At(img, 2, 0), 0xFFFF00u);
}

TEST_F(BitmapsTest, DecodesPalettedTopDownAndRunLengthBitmaps) {
  // 4-bit, top-down (negative height), 3 pixels: indices 1, 0, 1.
  TBytes dib = Dib(3, 1, 4, BI_RGB, {0x000000, 0xFF0000}, {0x10, 0x10, 0, 0});
  dib[8] = 0xFF; dib[9] = 0xFF; dib[10] = 0xFF; dib[11] = 0xFF;  // height -1
  QImage img = DecodeBmp(dib.data(), dib.size());
  EXPECT_EQ(At(img, 0, 0), 0xFF0000u);
  EXPECT_EQ(At(img, 1, 0), 0x000000u);
  // RLE8: 4 x 2; row 0 (bottom): run of 4 x index 1; row 1: absolute 0,1,0 + run 1 x 1.
  TBytes rle = {4, 1, 0, 0, 0, 3, 0, 1, 0, 0, 1, 1, 0, 1};
  TBytes r = Dib(4, 2, 8, BI_RLE8, {0x0000FF, 0x00FF00}, rle);
  img = DecodeBmp(r.data(), r.size());
  EXPECT_EQ(At(img, 0, 1), 0x00FF00u);
  EXPECT_EQ(At(img, 3, 1), 0x00FF00u);
  EXPECT_EQ(At(img, 0, 0), 0x0000FFu);
  EXPECT_EQ(At(img, 1, 0), 0x00FF00u);
  EXPECT_EQ(At(img, 3, 0), 0x00FF00u);
}

TEST_F(BitmapsTest, MalformedBytesRaiseInvalidGraphic) {
  TBytes good = Dib(2, 2, 24, BI_RGB, {}, TBytes(16, 0));
  std::vector<TBytes> bad = {
      {},
      {'B', 'M', 1, 2},
      TBytes(good.begin(), good.end() - 1),            // truncated pixels
      Dib(0, 2, 24, BI_RGB, {}, {}),                   // no width
      Dib(2, 2, 7, BI_RGB, {}, TBytes(16, 0)),         // odd depth
      Dib(2, 1, 8, BI_RGB, {0x000000}, {5, 0, 0, 0}),  // index beyond the palette
      Dib(100000, 100000, 24, BI_RGB, {}, {}),         // absurd size
  };
  for (const TBytes& b : bad) EXPECT_THROW(DecodeBmp(b.data(), b.size()), EInvalidGraphic);
  TBitmap bmp;
  EXPECT_THROW(bmp.LoadFromBytes({'B', 'M'}), EInvalidGraphic);
}

TEST_F(BitmapsTest, EncodedBitmapsReadBackAtEveryDepth) {
  QImage img(5, 3, QImage::Format_RGB32);
  img.fill(qRgb(255, 255, 255));
  img.setPixel(0, 0, qRgb(0, 0, 0));
  img.setPixel(4, 2, qRgb(0, 0, 0));
  for (int bits : {1, 4, 8, 24, 32}) {
    TBytes b = EncodeBmp(img, bits);
    ASSERT_EQ(b[0], 'B');
    EXPECT_EQ(b[28], bits);
    QImage back = DecodeBmp(b.data(), b.size());
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), img) << bits;
  }
  // More colours than a palette holds: nearest colours, same size.
  QImage rich(16, 16, QImage::Format_RGB32);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) rich.setPixel(x, y, qRgb(x * 16, y * 16, 128));
  QImage back = DecodeBmp(EncodeBmp(rich, 4).data(), EncodeBmp(rich, 4).size());
  EXPECT_EQ(back.size(), rich.size());
}

TEST_F(BitmapsTest, BitmapFileRoundTripKeepsPixelsAndFormat) {
  TBitmap b(4, 4);
  b.Canvas()->Brush()->SetColor(clNavy);
  b.Canvas()->FillRect(Rect(0, 0, 2, 4));
  b.SetPixelFormat(pf8bit);
  QString path = QDir::tempPath() + "/graphics-test.bmp";
  b.SaveToFile(path.toStdString());
  TPicture pic;
  pic.LoadFromFile(path.toStdString());
  auto* loaded = dynamic_cast<TBitmap*>(pic.Graphic());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->PixelFormat(), pf8bit);
  EXPECT_EQ(loaded->Canvas()->Pixels(1, 3), clNavy);
  EXPECT_EQ(loaded->Canvas()->Pixels(2, 3), clWhite);
  QFile::remove(path);
  EXPECT_THROW(pic.LoadFromFile("picture.xyz"), EInvalidGraphic);
  EXPECT_THROW(pic.LoadFromFile("/nonexistent/picture.bmp"), EFOpenError);
}

TEST_F(BitmapsTest, GraphicsLoadFromTheRestOfAStream) {
  TBitmap b(3, 3);
  b.Canvas()->SetPixels(2, 2, clRed);
  TMemoryStream stream;
  stream.WriteBuffer("hdr", 3);
  b.SaveToStream(&stream);
  stream.SetPosition(3);
  TBitmap back;
  back.LoadFromStream(&stream);
  EXPECT_EQ(back.Canvas()->Pixels(2, 2), clRed);
  EXPECT_EQ(stream.Position(), stream.Size());
}

TEST_F(BitmapsTest, ResizingKeepsPixelsAndTheCanvasStaysUsable) {
  TBitmap b(2, 2);
  b.Canvas()->SetPixels(1, 1, clRed);
  b.SetSize(4, 3);
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), clRed);
  EXPECT_EQ(b.Canvas()->Pixels(3, 2), clWhite);
  b.Canvas()->SetPixels(3, 2, clBlue);
  EXPECT_EQ(b.Image().pixel(3, 2) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(BitmapsTest, JpegRoundTripAndErrors) {
  TBitmap src(16, 8);
  src.Canvas()->Brush()->SetColor(clRed);
  src.Canvas()->FillRect(Rect(0, 0, 16, 8));
  TJPEGImage j;
  j.Assign(&src);
  TBytes bytes = j.SaveToBytes();
  ASSERT_GT(bytes.size(), 100u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  TJPEGImage back;
  back.LoadFromBytes(bytes);
  EXPECT_EQ(back.Width(), 16);
  EXPECT_EQ(back.SaveToBytes(), bytes);  // unchanged: the same bytes
  QColor c(back.ToImage().pixel(8, 4));
  EXPECT_GT(c.red(), 230);
  EXPECT_LT(c.green(), 30);
  EXPECT_THROW(back.LoadFromBytes({0xFF, 0xD8, 0xFF, 0x00, 1, 2, 3}), EInvalidGraphic);
  EXPECT_THROW(back.LoadFromBytes({}), EInvalidGraphic);
  TBitmap fromJpeg;
  fromJpeg.Assign(&back);
  EXPECT_EQ(fromJpeg.Width(), 16);
}

TEST_F(BitmapsTest, IconKeepsItsTransparency) {
  QImage img(16, 16, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  for (int i = 0; i < 16; ++i) img.setPixel(i, i, qRgba(255, 0, 0, 255));
  QByteArray data;
  QBuffer buf(&data);
  buf.open(QIODevice::WriteOnly);
  ASSERT_TRUE(img.save(&buf, "ICO"));
  TIcon icon;
  icon.LoadFromBytes(TBytes(data.begin(), data.end()));
  EXPECT_EQ(icon.Width(), 16);
  TBitmap target(20, 20);
  target.Canvas()->Draw(2, 2, &icon);
  EXPECT_EQ(target.Canvas()->Pixels(7, 7), clRed);
  EXPECT_EQ(target.Canvas()->Pixels(8, 7), clWhite);
  EXPECT_THROW(icon.LoadFromBytes({0, 0, 1, 0}), EInvalidGraphic);
  EXPECT_THROW(icon.SetWidth(3), EInvalidGraphicOperation);
}

// An 8 x 8 CMYK JPEG as print software writes it (inverted values:
// 255 is no ink); every pixel (255, 0, 0, 255) is red.
TBytes CmykJpeg() {
  jpeg_compress_struct info{};
  jpeg_error_mgr err{};
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &mem, &size);
  info.image_width = 8;
  info.image_height = 8;
  info.input_components = 4;
  info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row;
  for (int x = 0; x < 8; ++x) row.insert(row.end(), {255, 0, 0, 255});
  while (info.next_scanline < 8) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  TBytes out(mem, mem + size);
  free(mem);
  return out;
}

TEST_F(BitmapsTest, CmykJpegDecodesToRgb) {
  TJPEGImage j;
  j.LoadFromBytes(CmykJpeg());
  QColor c(j.ToImage().pixel(4, 4));
  EXPECT_GT(c.red(), 230);
  EXPECT_LT(c.green(), 30);
  EXPECT_LT(c.blue(), 30);
}

TEST_F(BitmapsTest, PictureBitmapReplacesOtherKinds) {
  TPicture pic;
  int changes = 0;
  pic.OnChange = [&](TObject*) { ++changes; };
  TJPEGImage j;
  TBitmap b(2, 2);
  j.Assign(&b);
  pic.SetGraphic(&j);
  EXPECT_NE(dynamic_cast<TJPEGImage*>(pic.Graphic()), nullptr);
  TBitmap* bmp = pic.Bitmap();
  EXPECT_EQ(bmp->Width(), 0);
  EXPECT_GE(changes, 2);
}

TEST_F(BitmapsTest, ImageListCutsMasksAndDraws) {
  // Two 4 x 4 images side by side on white; each has one coloured pixel.
  TBitmap strip(8, 4);
  strip.Canvas()->SetPixels(1, 1, clRed);
  strip.Canvas()->SetPixels(6, 2, clBlue);
  TImageList list(4, 4);
  EXPECT_EQ(list.AddMasked(&strip, clWhite), 0);
  ASSERT_EQ(list.Count(), 2);
  TBitmap target(10, 10);
  target.Canvas()->Brush()->SetColor(clLime);
  target.Canvas()->FillRect(Rect(0, 0, 10, 10));
  list.Draw(target.Canvas(), 2, 2, 1);
  EXPECT_EQ(target.Canvas()->Pixels(4, 4), clBlue);
  EXPECT_EQ(target.Canvas()->Pixels(3, 3), clLime);  // white was masked out
  EXPECT_EQ(CountPixels(target.Image(), Rect(0, 0, 10, 10), clLime), 99);
  // Disabled: embossed in highlight and shadow, no blue.
  TBitmap dis(10, 10);
  list.Draw(dis.Canvas(), 2, 2, 1, false);
  EXPECT_EQ(CountPixels(dis.Image(), Rect(0, 0, 10, 10), clBlue), 0);
  EXPECT_EQ(dis.Canvas()->Pixels(4, 4), static_cast<TColor>(ColorToRGB(clBtnShadow)));
  EXPECT_EQ(dis.Canvas()->Pixels(5, 5), static_cast<TColor>(ColorToRGB(clBtnHighlight)));
  // GetBitmap with a background colour.
  list.SetBkColor(clYellow);
  TBitmap out;
  list.GetBitmap(0, &out);
  EXPECT_EQ(out.Canvas()->Pixels(0, 0), clYellow);
  EXPECT_EQ(out.Canvas()->Pixels(1, 1), clRed);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_THROW(list.Delete(5), EInvalidOperation);
  TBitmap tiny(2, 2);
  EXPECT_THROW(list.AddMasked(&tiny, clWhite), EInvalidOperation);
}

TEST_F(BitmapsTest, CursorResourceDataDecodesWithHotSpotAndMask) {
  // A 32 x 32 monochrome cursor: hot spot (3, 5); AND mask all transparent
  // except the top-left 8 x 8 block, whose XOR bits are set (white).
  TBytes xorRows(32 * 4, 0), andRows(32 * 4, 0xFF);
  for (int y = 0; y < 8; ++y) {
    int row = 31 - y;  // bottom-up
    xorRows[static_cast<size_t>(row * 4)] = 0xFF;
    andRows[static_cast<size_t>(row * 4)] = 0x00;
  }
  TBytes pixels = xorRows;
  pixels.insert(pixels.end(), andRows.begin(), andRows.end());
  TBytes dib = Dib(32, 64, 1, BI_RGB, {0x000000, 0xFFFFFF}, pixels);
  TBytes res = {3, 0, 5, 0};
  res.insert(res.end(), dib.begin(), dib.end());
  QCursor cur = DecodeCursor(res);
  EXPECT_EQ(cur.hotSpot(), QPoint(3, 5));
  QImage img = cur.pixmap().toImage();
  EXPECT_EQ(img.pixel(2, 2), qRgba(255, 255, 255, 255));
  EXPECT_EQ(qAlpha(img.pixel(20, 20)), 0);
  EXPECT_THROW(DecodeCursor({1, 2}), EInvalidGraphic);
  EXPECT_THROW(LoadCursorFromResource("NOSUCHCURSOR"), EOutOfResources);
  SetCursorShape(5, cur);
  EXPECT_EQ(CursorShape(5).hotSpot(), QPoint(3, 5));
  EXPECT_EQ(CursorShape(crHourGlass).shape(), Qt::WaitCursor);
}

TEST_F(BitmapsTest, BitmapsAndCursorsLoadFromTheProgramResources) {
  QImage img(2, 2, QImage::Format_RGB32);
  img.fill(qRgb(0, 128, 128));
  TBytes bmp = EncodeBmp(img, 24);
  TBytes cur = {0, 0, 2, 0, 1, 0};  // a .cur file with one 32 x 32 image
  TBytes entry = {32, 32, 2, 0, 4, 0, 6, 0};
  TBytes dib = Dib(32, 64, 1, BI_RGB, {0x000000, 0xFFFFFF}, TBytes(32 * 4 * 2, 0));
  Put32(entry, static_cast<unsigned>(dib.size()));
  Put32(entry, 6 + 16);
  cur.insert(cur.end(), entry.begin(), entry.end());
  cur.insert(cur.end(), dib.begin(), dib.end());
  bmp.push_back(0);
  cur.push_back(0);
  const TEmbeddedResource items[] = {
      {"bitmaps", "DBGARROWEX", bmp.data(), bmp.size() - 1},
      {"cursors", "DOWNCUREX", cur.data(), cur.size() - 1},
  };
  const TEmbeddedResourceTable table = {items, 2};
  SetResourceTableForTesting(&table);
  TBitmap b;
  b.LoadFromResourceName("dbgarrowex");
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), clTeal);
  EXPECT_THROW(b.LoadFromResourceName("DOWNCUREX"), EResNotFound);  // a cursor, not a bitmap
  QCursor c = LoadCursorFromResource("DOWNCUREX");
  EXPECT_EQ(c.hotSpot(), QPoint(4, 6));
  EXPECT_THROW(LoadCursorFromResource("RIGHTCUREX"), EOutOfResources);
  SetResourceTableForTesting(nullptr);
}

}  // namespace
