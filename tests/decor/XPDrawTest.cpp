// The XP colour arithmetic and the small glyphs, pixel by pixel.
#include <gtest/gtest.h>

#include "decor/XPDraw.h"
#include "platform/ui/Forms.h"
#include "platform/ui/SysColors.h"

namespace {

struct ColourCase {
  const char* what;
  TColor got;
  TColor want;
};

TEST(XPDraw, ColourArithmetic) {
  const ColourCase cases[] = {
      {"Lighten(black, 50) rounds 127.5 to even", XPLighten(clBlack, 50), static_cast<TColor>(RGB(128, 128, 128))},
      {"Lighten caps the percentage at 100", XPLighten(RGB(10, 20, 30), 250), static_cast<TColor>(RGB(255, 255, 255))},
      {"Lighten by 0 keeps the colour", XPLighten(RGB(10, 20, 30), 0), static_cast<TColor>(RGB(10, 20, 30))},
      {"Lighten(1, 50): 127 added exactly", XPLighten(RGB(1, 1, 1), 50), static_cast<TColor>(RGB(128, 128, 128))},
      {"Lighten(64, 68): 129.88 rounds up", XPLighten(RGB(64, 64, 64), 68), static_cast<TColor>(RGB(194, 194, 194))},
      {"Darken(white, 30)", XPDarken(clWhite, 30), static_cast<TColor>(RGB(225, 227, 225))},
      {"Darken stays within 0..255", XPDarken(RGB(10, 0, 250), 20), static_cast<TColor>(RGB(0, 0, 230))},
      {"a negative Darken lightens, green by 2 more", XPDarken(clBlack, -40), static_cast<TColor>(RGB(40, 42, 40))},
      {"Gray of white, level 10, caps at 240", XPGray(clWhite, 10), static_cast<TColor>(RGB(240, 240, 240))},
      {"Gray of black, level 10", XPGray(clBlack, 10), static_cast<TColor>(RGB(10, 10, 10))},
      {"Gray averages the channels", XPGray(RGB(30, 60, 91), 0), static_cast<TColor>(RGB(60, 60, 60))},
      {"dark background: lightened", XPDarkBackgroundText(RGB(0, 0, 128), clRed), XPLighten(RGB(0, 0, 128), 90)},
      {"light background: the fallback", XPDarkBackgroundText(clWhite, clRed), clRed},
  };
  for (const auto& c : cases) EXPECT_EQ(ColorToRGB(c.got), ColorToRGB(c.want)) << c.what;
  // System colours are resolved first.
  EXPECT_EQ(XPLighten(clBtnFace, 0), static_cast<TColor>(ColorToRGB(clBtnFace)));
}

class XPGlyphs : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplicationForTest();
    bmp.SetSize(20, 20);
    c = bmp.Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(TRect(0, 0, 20, 20));
    c->Pen()->SetColor(clBlack);
  }
  std::vector<TPoint> Inked() {
    std::vector<TPoint> out;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x)
        if (ColorToRGB(c->Pixels(x, y)) == 0) out.emplace_back(x, y);
    return out;
  }
  TBitmap bmp;
  TCanvas* c = nullptr;
};

TEST_F(XPGlyphs, DropDownArrowCoversNinePixels) {
  XPDrawDropDownArrow(c, 5, 6);
  std::vector<TPoint> want = {{5, 6}, {6, 6}, {7, 6}, {8, 6}, {9, 6}, {6, 7}, {7, 7}, {8, 7}, {7, 8}};
  EXPECT_EQ(Inked(), want);
}

TEST_F(XPGlyphs, CheckBoxTickIsThreeStrokesThick) {
  XPDrawCheckBoxTick(c, 2, 15);
  auto ink = Inked();
  auto has = [&](int x, int y) { return std::find(ink.begin(), ink.end(), TPoint(x, y)) != ink.end(); };
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(has(4, 10 - k)) << "stroke " << k << " starts at (x+2, y-5-k)";
    EXPECT_TRUE(has(6, 12 - k)) << "and bends at (x+4, y-3-k)";
    EXPECT_FALSE(has(11, 7 - k)) << "its end point is left out";
  }
  EXPECT_FALSE(has(6, 13));
}

TEST_F(XPGlyphs, GrayAndDimWorkOnEveryPixel) {
  TBitmap img;
  img.SetSize(4, 2);
  TCanvas* ic = img.Canvas();
  for (int x = 0; x < 4; ++x) {
    ic->SetPixels(x, 0, x % 2 ? clBlack : clWhite);
    ic->SetPixels(x, 1, x % 2 ? clWhite : clBlack);
  }
  XPGrayImage(&img, 10);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(ColorToRGB(ic->Pixels(x, 0)), x % 2 ? RGB(10, 10, 10) : RGB(240, 240, 240)) << x;
    EXPECT_EQ(ColorToRGB(ic->Pixels(x, 1)), x % 2 ? RGB(240, 240, 240) : RGB(10, 10, 10)) << x;
  }
  XPDimImage(&img, 50);
  EXPECT_EQ(ColorToRGB(ic->Pixels(1, 0)), RGB(132, 132, 132));  // 10 + 122.5 -> 122 (even)
}

TEST_F(XPGlyphs, ImageShadowMarksWhatDiffersFromTheBottomLeftPixel) {
  TBitmap img;
  img.SetSize(3, 3);
  img.Canvas()->Brush()->SetColor(clWhite);
  img.Canvas()->FillRect(TRect(0, 0, 3, 3));
  img.Canvas()->SetPixels(1, 1, clRed);
  img.Canvas()->SetPixels(2, 0, clBlue);
  XPImageShadow(c, &img, 10, 10, clBlack);
  std::vector<TPoint> want = {{12, 10}, {11, 11}};
  EXPECT_EQ(Inked(), want);
}

}  // namespace
