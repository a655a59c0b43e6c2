// Classic 3-D faces: DrawEdge rings, DrawFrameControl check boxes, push
// buttons and arrows, Frame3D.
#include <gtest/gtest.h>

#include "GraphicsTestSupport.h"
#include "platform/ui/Frames3D.h"

namespace {

class FramesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RequireGuiApp();
    ResetSysColors();
    bmp.SetSize(60, 40);
    c = bmp.Canvas();
    c->Brush()->SetColor(clFuchsia);
    c->FillRect(Rect(0, 0, 60, 40));
  }
  TColor Px(int x, int y) { return c->Pixels(x, y); }
  static TColor Sys(TColor c) { return static_cast<TColor>(ColorToRGB(c)); }
  TBitmap bmp;
  TCanvas* c = nullptr;
};

TEST_F(FramesTest, RaisedEdgeHasLightOuterAndHighlightInnerRings) {
  TRect r = Rect(10, 10, 30, 25);
  ASSERT_TRUE(DrawEdge(c, r, EDGE_RAISED, BF_RECT | BF_ADJUST));
  EXPECT_EQ(r, Rect(12, 12, 28, 23));
  EXPECT_EQ(Px(15, 10), Sys(cl3DLight));        // outer top
  EXPECT_EQ(Px(10, 15), Sys(cl3DLight));        // outer left
  EXPECT_EQ(Px(15, 24), Sys(cl3DDkShadow));     // outer bottom
  EXPECT_EQ(Px(29, 15), Sys(cl3DDkShadow));     // outer right
  EXPECT_EQ(Px(29, 10), Sys(cl3DDkShadow));     // top-right corner belongs to bottom-right
  EXPECT_EQ(Px(10, 24), Sys(cl3DDkShadow));     // bottom-left corner too
  EXPECT_EQ(Px(15, 11), Sys(clBtnHighlight));   // inner top
  EXPECT_EQ(Px(28, 15), Sys(clBtnShadow));      // inner right
  EXPECT_EQ(Px(15, 15), clFuchsia);             // no BF_MIDDLE: inside untouched
  EXPECT_EQ(Px(30, 15), clFuchsia);             // right edge excluded
}

TEST_F(FramesTest, SunkenEdgeIsTheRaisedEdgeInverted) {
  TRect r = Rect(10, 10, 30, 25);
  DrawEdge(c, r, EDGE_SUNKEN, BF_RECT | BF_MIDDLE);
  EXPECT_EQ(Px(15, 10), Sys(clBtnShadow));
  EXPECT_EQ(Px(15, 24), Sys(clBtnHighlight));
  EXPECT_EQ(Px(15, 11), Sys(cl3DDkShadow));
  EXPECT_EQ(Px(15, 23), Sys(cl3DLight));
  EXPECT_EQ(Px(15, 15), Sys(clBtnFace));
  EXPECT_EQ(r, Rect(10, 10, 30, 25));  // no BF_ADJUST
}

TEST_F(FramesTest, SingleSidesAndOneRing) {
  TRect r = Rect(10, 10, 30, 25);
  DrawEdge(c, r, BDR_RAISEDINNER, BF_BOTTOM | BF_RIGHT | BF_ADJUST);
  EXPECT_EQ(r, Rect(10, 10, 29, 24));
  EXPECT_EQ(Px(15, 10), clFuchsia);
  EXPECT_EQ(Px(15, 24), Sys(clBtnShadow));
  EXPECT_EQ(Px(29, 15), Sys(clBtnShadow));
}

TEST_F(FramesTest, CheckBoxShowsMarkOnlyWhenChecked) {
  TRect box = Rect(0, 0, 13, 13);
  DrawFrameControl(c, box, DFC_BUTTON, DFCS_BUTTONCHECK);
  EXPECT_EQ(Px(0, 0), Sys(clBtnShadow));
  EXPECT_EQ(Px(1, 1), Sys(cl3DDkShadow));
  EXPECT_EQ(Px(12, 12), Sys(clBtnHighlight));
  EXPECT_EQ(CountPixels(bmp.Image(), Rect(2, 2, 11, 11), clWindow), 81);
  TRect box2 = Rect(20, 0, 33, 13);
  DrawFrameControl(c, box2, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED);
  EXPECT_EQ(CountPixels(bmp.Image(), Rect(22, 2, 31, 11), clWindowText), 21);
  TRect box3 = Rect(40, 0, 53, 13);
  DrawFrameControl(c, box3, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED | DFCS_INACTIVE | DFCS_FLAT);
  EXPECT_EQ(Px(40, 0), Sys(clBtnShadow));
  EXPECT_EQ(Px(41, 1), Sys(clBtnFace));  // inactive face, one flat ring only
  EXPECT_EQ(CountPixels(bmp.Image(), Rect(41, 1, 52, 12), clBtnShadow), 21);
}

TEST_F(FramesTest, PushButtonRaisedPushedAndFlat) {
  TRect r = Rect(0, 0, 20, 12);
  DrawFrameControl(c, r, DFC_BUTTON, DFCS_BUTTONPUSH);
  EXPECT_EQ(Px(5, 0), Sys(cl3DLight));
  EXPECT_EQ(Px(5, 11), Sys(cl3DDkShadow));
  EXPECT_EQ(Px(5, 5), Sys(clBtnFace));
  r = Rect(20, 0, 40, 12);
  DrawFrameControl(c, r, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_PUSHED);
  EXPECT_EQ(Px(25, 0), Sys(cl3DDkShadow));
  EXPECT_EQ(Px(25, 1), Sys(clBtnShadow));
  EXPECT_EQ(Px(25, 10), Sys(clBtnShadow));
  r = Rect(40, 0, 60, 12);
  DrawFrameControl(c, r, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_FLAT);
  EXPECT_EQ(Px(45, 0), Sys(clBtnHighlight));
  EXPECT_EQ(Px(45, 11), Sys(clBtnShadow));
}

TEST_F(FramesTest, ComboArrowPointsDownAndMovesWhenPushed) {
  TRect r = Rect(0, 0, 16, 16);
  DrawFrameControl(c, r, DFC_SCROLL, DFCS_SCROLLCOMBOBOX);
  // A 7-4-pixel triangle: 7 + 5 + 3 + 1 black pixels.
  EXPECT_EQ(CountPixels(bmp.Image(), Rect(0, 0, 16, 16), clBtnText), 16);
  int firstRow = -1;
  for (int y = 0; y < 16 && firstRow < 0; ++y)
    if (CountPixels(bmp.Image(), Rect(0, y, 16, y + 1), clBtnText) == 7) firstRow = y;
  ASSERT_GE(firstRow, 0);
  EXPECT_EQ(CountPixels(bmp.Image(), Rect(0, firstRow + 3, 16, firstRow + 4), clBtnText), 1);
  r = Rect(20, 0, 36, 16);
  DrawFrameControl(c, r, DFC_SCROLL, DFCS_SCROLLCOMBOBOX | DFCS_PUSHED);
  EXPECT_EQ(Px(20, 0), Sys(clBtnShadow));
  EXPECT_EQ(CountPixels(bmp.Image(), Rect(20, firstRow + 1, 36, firstRow + 2), clBtnText), 7);
}

TEST_F(FramesTest, InactiveArrowIsEmbossed) {
  TRect r = Rect(0, 0, 16, 16);
  DrawFrameControl(c, r, DFC_SCROLL, DFCS_SCROLLUP | DFCS_INACTIVE);
  EXPECT_EQ(CountPixels(bmp.Image(), Rect(2, 2, 14, 14), clBtnText), 0);
  EXPECT_EQ(CountPixels(bmp.Image(), Rect(2, 2, 14, 14), clBtnShadow), 16);
  EXPECT_GT(CountPixels(bmp.Image(), Rect(2, 2, 14, 14), clBtnHighlight), 0);
}

TEST_F(FramesTest, Frame3DRingsAndShrink) {
  TRect r = Rect(10, 10, 20, 20);
  Frame3D(c, r, clWhite, clBlack, 2);
  EXPECT_EQ(r, Rect(12, 12, 18, 18));
  EXPECT_EQ(Px(10, 10), clWhite);
  EXPECT_EQ(Px(19, 10), clBlack);
  EXPECT_EQ(Px(10, 19), clBlack);
  EXPECT_EQ(Px(11, 11), clWhite);
  EXPECT_EQ(Px(18, 18), clBlack);
  EXPECT_EQ(Px(12, 12), clFuchsia);
}

TEST_F(FramesTest, SystemColourChangeRepaintsInTheNewColour) {
  SetSysColor(COLOR_BTNFACE, RGB(1, 2, 3));
  TRect r = Rect(0, 0, 10, 10);
  DrawEdge(c, r, EDGE_RAISED, BF_RECT | BF_MIDDLE);
  EXPECT_EQ(Px(5, 5), static_cast<TColor>(RGB(1, 2, 3)));
  ResetSysColors();
  EXPECT_EQ(ColorToRGB(clBtnFace), RGB(212, 208, 200));
}

TEST_F(FramesTest, ClassicSystemMetrics) {
  EXPECT_EQ(GetSystemMetrics(SM_CXVSCROLL), 16);
  EXPECT_EQ(GetSystemMetrics(SM_CYHSCROLL), 16);
  EXPECT_EQ(GetSystemMetrics(SM_CXHTHUMB), 16);
  EXPECT_EQ(GetSystemMetrics(SM_CXEDGE), 2);
  EXPECT_EQ(CheckBoxSize(), 13);
  EXPECT_EQ(GetSystemMetrics(9999), 0);
  TRect work = WorkArea();
  EXPECT_FALSE(work.IsEmpty());
  EXPECT_LE(work.Width(), GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(GetSysColor(99), 0u);
  EXPECT_EQ(ColorToRGB(clNone), 0u);
  EXPECT_EQ(ColorToRGB(clHighlight), RGB(10, 36, 106));
}

// The row (or column) of an arrow's glyph in r: the index, counted from
// r's top (left), of its widest and of its narrowest line of clBtnText.
struct ArrowShape {
  int widest = -1, narrowest = -1;
};
ArrowShape ArrowLines(const QImage& img, const TRect& r, bool columns) {
  ArrowShape a;
  int best = 0, least = 1 << 30;
  int n = columns ? r.Width() : r.Height();
  for (int i = 0; i < n; ++i) {
    TRect line = columns ? Rect(r.Left + i, r.Top, r.Left + i + 1, r.Bottom)
                         : Rect(r.Left, r.Top + i, r.Right, r.Top + i + 1);
    int k = CountPixels(img, line, clBtnText);
    if (k == 0) continue;
    if (k > best) best = k, a.widest = i;
    if (k < least) least = k, a.narrowest = i;
  }
  return a;
}

// Every face side by side on one button-face background, as a dialog
// shows them: each keeps its own pixels and touches nothing around it.
TEST_F(FramesTest, FacesSideBySide) {
  TBitmap shot(200, 60);
  TCanvas* s = shot.Canvas();
  s->Brush()->SetColor(clBtnFace);
  s->FillRect(Rect(0, 0, 200, 60));
  TRect r = Rect(5, 5, 60, 28);
  DrawFrameControl(s, r, DFC_BUTTON, DFCS_BUTTONPUSH);
  r = Rect(65, 5, 120, 28);
  DrawFrameControl(s, r, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_PUSHED);
  r = Rect(125, 5, 138, 18);
  DrawFrameControl(s, r, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED);
  r = Rect(145, 5, 158, 18);
  DrawFrameControl(s, r, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED | DFCS_FLAT);
  r = Rect(165, 5, 178, 18);
  DrawFrameControl(s, r, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_INACTIVE);
  const unsigned arrows[] = {DFCS_SCROLLUP, DFCS_SCROLLDOWN, DFCS_SCROLLLEFT, DFCS_SCROLLRIGHT,
                             DFCS_SCROLLCOMBOBOX | DFCS_PUSHED, DFCS_SCROLLUP | DFCS_INACTIVE};
  for (int i = 0; i < 6; ++i) {
    r = Bounds(5 + i * 20, 35, 16, 16);
    DrawFrameControl(s, r, DFC_SCROLL, arrows[i]);
  }
  r = Rect(130, 32, 195, 55);
  DrawEdge(s, r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  s->Brush()->SetColor(clWindow);
  s->FillRect(r);
  s->DrawFocusRect(Rect(133, 35, 192, 52));
  const QImage img = shot.Image();
  SaveShot(img, "frames");
  auto px = [&](int x, int y) { return s->Pixels(x, y); };

  // Raised and pushed buttons: opposite outer rings, the face between.
  EXPECT_EQ(px(30, 5), Sys(cl3DLight));
  EXPECT_EQ(px(30, 27), Sys(cl3DDkShadow));
  EXPECT_EQ(px(90, 5), Sys(cl3DDkShadow));
  EXPECT_EQ(px(90, 6), Sys(clBtnShadow));
  EXPECT_EQ(CountNot(img, Rect(62, 0, 64, 60), clBtnFace), 0) << "the gap between the buttons";
  // Check boxes: the tick in the checked ones, none in the inactive one.
  EXPECT_EQ(CountPixels(img, Rect(127, 7, 136, 16), clWindowText), 21);
  EXPECT_EQ(px(145, 5), Sys(clBtnShadow));
  EXPECT_EQ(CountPixels(img, Rect(147, 7, 156, 16), clWindowText), 21);
  EXPECT_EQ(CountPixels(img, Rect(167, 7, 176, 16), clWindowText), 0);
  // Arrows point their way: the glyph narrows towards the side it points to.
  ArrowShape up = ArrowLines(img, Bounds(5, 35, 16, 16), false);
  ArrowShape down = ArrowLines(img, Bounds(25, 35, 16, 16), false);
  ArrowShape left = ArrowLines(img, Bounds(45, 35, 16, 16), true);
  ArrowShape right = ArrowLines(img, Bounds(65, 35, 16, 16), true);
  EXPECT_LT(up.narrowest, up.widest);
  EXPECT_GT(down.narrowest, down.widest);
  EXPECT_LT(left.narrowest, left.widest);
  EXPECT_GT(right.narrowest, right.widest);
  EXPECT_EQ(CountPixels(img, Bounds(85, 35, 16, 16), clBtnText), 16);
  EXPECT_EQ(CountPixels(img, Bounds(105, 35, 16, 16), clBtnText), 0);
  EXPECT_EQ(CountPixels(img, Rect(107, 37, 119, 49), clBtnShadow), 16) << "the embossed glyph";
  // The sunken well and the dotted focus frame inside it: every other pixel.
  EXPECT_EQ(px(150, 32), Sys(clBtnShadow));
  EXPECT_EQ(px(150, 33), Sys(cl3DDkShadow));
  EXPECT_EQ(px(150, 34), clWhite);
  int dots = CountNot(img, Rect(133, 35, 192, 36), clWhite);
  EXPECT_GE(dots, 29);
  EXPECT_LE(dots, 30);
  EXPECT_NE(px(133, 35), px(134, 35));
  EXPECT_EQ(CountNot(img, Rect(135, 37, 190, 50), clWhite), 0);
}

}  // namespace
