// Tool-bar controls of the preview: the shared glyph cache, the inactive
// glyph, the drawing states and the checkered face of a down flat button.
#include "report/ReportToolbar.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include "ReportTestSupport.h"
#include "platform/ui/Forms.h"
#include "platform/ui/SysColors.h"

namespace {

struct ToolbarTest : ::testing::Test {
  ToolbarTest() { RequireGuiApp(); }
};

// A 2-glyph 32 x 16 bitmap: olive background (its bottom-left pixel), a
// red square in the first glyph.
void MakeGlyph(TBitmap& b) {
  QImage img(32, 16, QImage::Format_RGB32);
  img.fill(qRgb(0x80, 0x80, 0));
  for (int y = 4; y < 12; ++y)
    for (int x = 4; x < 12; ++x) img.setPixel(x, y, qRgb(255, 0, 0));
  b.SetImage(img);
}

TEST_F(ToolbarTest, GlyphCountsFollowWidthOverHeight) {
  struct Case {
    int w, h, n;
  } cases[] = {{16, 16, 1}, {32, 16, 2}, {64, 16, 4}, {80, 16, 1}, {8, 16, 1}, {16, 0, 1}};
  for (const Case& c : cases) EXPECT_EQ(rbGlyphCount(c.w, c.h), c.n) << c.w << "x" << c.h;
}

TEST_F(ToolbarTest, TheInactiveGlyphIsGreyExceptTransparentAndFacePixels) {
  QImage img(3, 1, QImage::Format_RGB32);
  TColor face = ColorToRGB(clBtnFace);
  img.setPixel(0, 0, qRgb(0x80, 0x80, 0));  // olive: transparent
  img.setPixel(1, 0, qRgb(face & 0xFF, (face >> 8) & 0xFF, (face >> 16) & 0xFF));
  img.setPixel(2, 0, qRgb(255, 0, 0));
  TBitmap src, out;
  src.SetImage(img);
  rbMakeInactiveGlyph(src, 0x008080, clBtnFace, out);
  const QImage& r = out.Image();
  EXPECT_EQ(r.pixel(0, 0) & 0xFFFFFF, qRgb(0x80, 0x80, 0) & 0xFFFFFF);
  EXPECT_EQ(r.pixel(1, 0), img.pixel(1, 0));
  EXPECT_EQ(qRed(r.pixel(2, 0)), 77 * 255 / 256);
  EXPECT_EQ(qGreen(r.pixel(2, 0)), 77 * 255 / 256);
}

TEST_F(ToolbarTest, ImagesAreSharedPerSizeAndTheCacheGoesWithItsLastImage) {
  ASSERT_FALSE(rbGlyphCacheExists());
  TBitmap glyph;
  MakeGlyph(glyph);
  {
    TrbSpeedButton a(nullptr), b(nullptr);
    EXPECT_EQ(a.TransparentColor(), 0x008080);  // olive before a glyph
    a.SetGlyph(&glyph);
    b.SetGlyph(&glyph);
    EXPECT_EQ(a.NumGlyphs(), 2);
    ASSERT_NE(a.StateImage(0), nullptr);
    ASSERT_NE(b.StateImage(4), nullptr);
    EXPECT_EQ(a.StateImage(0)->Width(), 16);
    EXPECT_EQ(rbGlyphListCount(), 1);
    EXPECT_EQ(rbGlyphList(16, 16)->InUse(), 2);
    EXPECT_EQ(qRed(b.StateImage(4)->ToImage().pixel(6, 6)), 76);  // inactive: grey
    // A changed glyph lets the button's images go.
    TBitmap small;
    small.SetSize(8, 8);
    a.SetGlyph(&small);
    EXPECT_EQ(a.CachedIndex(0), -1);
    EXPECT_EQ(rbGlyphList(16, 16)->InUse(), 1);
    a.StateImage(1);
    EXPECT_EQ(rbGlyphListCount(), 2);
  }
  EXPECT_FALSE(rbGlyphCacheExists());
}

TEST_F(ToolbarTest, DrawStates) {
  TrbTBButton b(nullptr);
  EXPECT_TRUE(b.Flat());
  EXPECT_EQ(b.DrawState(), 4);  // flat, enabled, the mouse elsewhere
  b.SetGrayedInactive(false);
  EXPECT_EQ(b.DrawState(), 0);
  b.SetGroupIndex(1);
  b.SetDown(true);
  EXPECT_EQ(b.DrawState(), 3);
  b.SetEnabled(false);
  EXPECT_EQ(b.DrawState(), 1);
}

TEST_F(ToolbarTest, ADownFlatButtonLiesOnACheckeredFace) {
  TForm form(nullptr);
  form.SetBorderStyle(bsNone);
  form.SetBounds(0, 0, 100, 60);
  auto* b = new TrbTBButton(&form);
  b->SetParent(&form);
  b->SetBounds(8, 8, 40, 32);
  b->SetGroupIndex(1);
  b->SetDown(true);
  form.Show();
  Application->ProcessMessages();
  QImage shot = form.Handle()->grab().toImage();
  QRgb white = qRgb(255, 255, 255);
  EXPECT_NE(shot.pixel(8 + 10, 8 + 10), shot.pixel(8 + 11, 8 + 10));
  EXPECT_TRUE(shot.pixel(8 + 10, 8 + 10) == white || shot.pixel(8 + 11, 8 + 10) == white);
  EXPECT_EQ(shot.pixel(8 + 10, 8 + 10), shot.pixel(8 + 11, 8 + 11));
}

}  // namespace
