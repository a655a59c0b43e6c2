// Pixel rules of TCanvas on an image: edges, end points, XOR pens, brushes,
// clipping, focus rectangles, raster operations.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QWidget>

#include "GraphicsTestSupport.h"
#include "platform/ui/Graphics.h"

namespace {

class CanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RequireGuiApp();
    bmp.SetSize(40, 30);
    c = bmp.Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 40, 30));
  }
  TColor Px(int x, int y) { return c->Pixels(x, y); }
  const QImage& Img() { return bmp.Image(); }
  TBitmap bmp;
  TCanvas* c = nullptr;
};

TEST_F(CanvasTest, FillRectExcludesRightAndBottomEdges) {
  c->Brush()->SetColor(clRed);
  c->FillRect(Rect(5, 6, 15, 16));
  EXPECT_EQ(CountPixels(Img(), Rect(0, 0, 40, 30), clRed), 100);
  EXPECT_EQ(Px(5, 6), clRed);
  EXPECT_EQ(Px(14, 15), clRed);
  EXPECT_EQ(Px(15, 15), clWhite);
  EXPECT_EQ(Px(14, 16), clWhite);
}

TEST_F(CanvasTest, FrameRectIsOnePixelInsideTheRectangle) {
  c->Brush()->SetColor(clBlue);
  c->FrameRect(Rect(2, 2, 12, 8));
  EXPECT_EQ(Px(2, 2), clBlue);
  EXPECT_EQ(Px(11, 7), clBlue);
  EXPECT_EQ(Px(12, 7), clWhite);
  EXPECT_EQ(Px(11, 8), clWhite);
  EXPECT_EQ(Px(3, 3), clWhite);  // inside stays untouched
  EXPECT_EQ(CountPixels(Img(), Rect(0, 0, 40, 30), clBlue), 2 * 10 + 2 * 4);
}

TEST_F(CanvasTest, LineToLeavesOutItsEndPoint) {
  struct Case { TPoint a, b; int count; };
  const Case cases[] = {
      {{1, 1}, {11, 1}, 10},   // horizontal
      {{3, 2}, {3, 12}, 10},   // vertical
      {{20, 0}, {30, 10}, 10}, // diagonal
      {{30, 25}, {20, 25}, 10},// right to left
      {{5, 20}, {5, 20}, 0},   // empty
  };
  for (const Case& k : cases) {
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 40, 30));
    c->MoveTo(k.a.x, k.a.y);
    c->LineTo(k.b.x, k.b.y);
    EXPECT_EQ(CountPixels(Img(), Rect(0, 0, 40, 30), clBlack), k.count);
    EXPECT_EQ(Px(k.b.x, k.b.y), clWhite);
    if (k.count) {
      EXPECT_EQ(Px(k.a.x, k.a.y), clBlack);
    }
    EXPECT_EQ(c->PenPos(), k.b);
  }
}

TEST_F(CanvasTest, XorPenDrawnTwiceRestoresThePixels) {
  c->Brush()->SetColor(clYellow);
  c->FillRect(Rect(0, 0, 20, 30));
  QImage before = Img().copy();
  c->Pen()->SetMode(pmXor);
  c->Pen()->SetColor(clWhite);
  c->Polyline({{2, 2}, {30, 2}, {30, 25}, {2, 25}, {2, 3}});
  EXPECT_EQ(Px(10, 2), static_cast<TColor>(ColorToRGB(clYellow) ^ 0xFFFFFF));  // yellow ^ white = blue
  EXPECT_EQ(Px(25, 2), clBlack);            // white ^ white
  EXPECT_EQ(Px(30, 2), clBlack);            // a corner is drawn once, not cancelled
  c->Polyline({{2, 2}, {30, 2}, {30, 25}, {2, 25}, {2, 3}});
  EXPECT_EQ(Img(), before);
}

TEST_F(CanvasTest, NotXorPenInvertsTheXorResult) {
  c->Pen()->SetMode(pmNotXor);
  c->Pen()->SetColor(clBlack);
  c->MoveTo(0, 5);
  c->LineTo(10, 5);
  // ~(black ^ white) = black
  EXPECT_EQ(Px(4, 5), clBlack);
  c->Pen()->SetMode(pmNot);
  c->MoveTo(0, 6);
  c->LineTo(10, 6);
  EXPECT_EQ(Px(4, 6), clBlack);
}

TEST_F(CanvasTest, RectangleOutlinesWithPenAndFillsInsideWithBrush) {
  c->Pen()->SetColor(clRed);
  c->Brush()->SetColor(clLime);
  c->Rectangle(2, 3, 12, 9);
  EXPECT_EQ(Px(2, 3), clRed);
  EXPECT_EQ(Px(11, 8), clRed);
  EXPECT_EQ(Px(12, 8), clWhite);
  EXPECT_EQ(Px(11, 9), clWhite);
  EXPECT_EQ(Px(3, 4), clLime);
  EXPECT_EQ(CountPixels(Img(), Rect(0, 0, 40, 30), clLime), 8 * 4);
  EXPECT_EQ(CountPixels(Img(), Rect(0, 0, 40, 30), clRed), 2 * 10 + 2 * 4);
}

TEST_F(CanvasTest, DegenerateRectanglesAreLinesDrawnOnce) {
  c->Pen()->SetMode(pmXor);
  c->Pen()->SetColor(clWhite);
  c->Rectangle(2, 2, 3, 8);   // one pixel wide
  c->Rectangle(5, 10, 12, 11);  // one pixel high
  EXPECT_EQ(CountPixels(Img(), Rect(0, 0, 40, 30), clBlack), 6 + 7);
}

TEST_F(CanvasTest, RectangleWithClearPenFillsOnePixelLess) {
  c->Pen()->SetStyle(psClear);
  c->Brush()->SetColor(clLime);
  c->Rectangle(2, 3, 12, 9);
  EXPECT_EQ(CountPixels(Img(), Rect(0, 0, 40, 30), clLime), 9 * 5);
}

TEST_F(CanvasTest, DottedPenAlternatesThreeOnThreeOff) {
  c->Pen()->SetStyle(psDot);
  c->MoveTo(0, 1);
  c->LineTo(12, 1);
  const char* want = "xxx...xxx...";
  for (int x = 0; x < 12; ++x) EXPECT_EQ(Px(x, 1) == clBlack, want[x] == 'x') << x;
}

// A line of huge coordinates (a damaged prepared report) is walked only
// where the canvas is: it ends at once and draws what a short line on the
// same course draws; dashes keep the phase of the whole line.
TEST_F(CanvasTest, LinesFarBeyondTheCanvasDrawOnlyTheirVisiblePart) {
  c->MoveTo(-2000000000, 3);
  c->LineTo(2000000000, 3);
  EXPECT_EQ(CountPixels(Img(), Rect(0, 0, 40, 30), clBlack), 40);
  EXPECT_EQ(CountPixels(Img(), Rect(0, 3, 40, 4), clBlack), 40);

  c->FillRect(Rect(0, 0, 40, 30));
  c->MoveTo(-1000000000, -1000000000);
  c->LineTo(1000000000, 1000000000);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(Px(i, i), clBlack) << i;
  EXPECT_EQ(CountPixels(Img(), Rect(0, 0, 40, 30), clBlack), 30);

  c->FillRect(Rect(0, 0, 40, 30));
  c->Pen()->SetStyle(psDot);
  c->MoveTo(-1000001, 1);  // 1000001 pixels before x = 0: x = 0 is step 5 of the six
  c->LineTo(12, 1);
  const char* want = ".xxx...xxx..";
  for (int x = 0; x < 12; ++x) EXPECT_EQ(Px(x, 1) == clBlack, want[x] == 'x') << x;
  c->Pen()->SetStyle(psSolid);
  c->Polyline({TPoint(500000000, 20), TPoint(500000000, 25), TPoint(0, 25)});  // starts off the canvas
  EXPECT_EQ(CountPixels(Img(), Rect(0, 25, 40, 26), clBlack), 39);  // the end point left out
  EXPECT_EQ(Px(0, 25), clWhite);
}

TEST_F(CanvasTest, ClearBrushLeavesShapesUnfilled) {
  c->Brush()->SetStyle(bsClear);
  c->Rectangle(0, 0, 10, 10);
  EXPECT_EQ(Px(5, 5), clWhite);
  EXPECT_EQ(Px(0, 5), clBlack);
}

TEST_F(CanvasTest, HatchBrushDrawsLinesOverTheBackground) {
  c->Brush()->SetColor(clBlue);
  c->Brush()->SetStyle(bsHorizontal);
  c->FillRect(Rect(0, 0, 16, 16));
  int blue = CountPixels(Img(), Rect(0, 0, 16, 16), clBlue);
  int white = CountPixels(Img(), Rect(0, 0, 16, 16), clWhite);
  EXPECT_EQ(blue + white, 256);
  EXPECT_EQ(blue, 2 * 16);  // one row in every 8
  c->Brush()->SetStyle(bsBDiagonal);
  c->FillRect(Rect(20, 0, 36, 16));
  EXPECT_EQ(CountPixels(Img(), Rect(20, 0, 36, 16), clBlue), 32);
}

TEST_F(CanvasTest, PatternBitmapBrushTilesEightByEight) {
  TBitmap pattern(8, 8);
  pattern.Canvas()->Brush()->SetColor(clWhite);
  pattern.Canvas()->FillRect(Rect(0, 0, 8, 8));
  pattern.Canvas()->SetPixels(0, 0, clRed);
  c->Brush()->SetBitmap(&pattern);
  c->FillRect(Rect(0, 0, 24, 16));
  EXPECT_EQ(CountPixels(Img(), Rect(0, 0, 40, 30), clRed), 6);
  EXPECT_EQ(Px(8, 8), clRed);
  EXPECT_EQ(Px(16, 0), clRed);
  c->Brush()->SetBitmap(nullptr);
}

TEST_F(CanvasTest, ClipRegionLimitsDrawingAndPixelReads) {
  c->SelectClipRect(Rect(10, 10, 20, 20));
  c->ExcludeClipRect(Rect(14, 14, 16, 16));
  c->Brush()->SetColor(clRed);
  c->FillRect(Rect(0, 0, 40, 30));
  EXPECT_EQ(CountPixels(Img(), Rect(0, 0, 40, 30), clRed), 100 - 4);
  EXPECT_EQ(c->ClipRect(), Rect(10, 10, 20, 20));
  EXPECT_EQ(Px(5, 5), clNone);
  c->ResetClip();
  EXPECT_EQ(Px(5, 5), clWhite);
  EXPECT_EQ(Px(15, 15), clWhite);
}

TEST_F(CanvasTest, FocusRectangleIsDottedAndDrawnTwiceDisappears) {
  QImage before = Img().copy();
  c->DrawFocusRect(Rect(4, 4, 14, 10));
  EXPECT_EQ(Px(4, 4), clBlack);
  EXPECT_EQ(Px(5, 4), clWhite);
  EXPECT_EQ(Px(6, 4), clBlack);
  EXPECT_EQ(Px(14, 4), clWhite);   // right edge outside
  EXPECT_EQ(Px(8, 6), clWhite);    // inside untouched
  c->DrawFocusRect(Rect(4, 4, 14, 10));
  EXPECT_EQ(Img(), before);
}

TEST_F(CanvasTest, BitBltCombinesWithCopyAndAndOrXor) {
  TBitmap src(4, 1);
  const TColor colours[4] = {clBlack, clWhite, clRed, clBlue};
  for (int i = 0; i < 4; ++i) src.Canvas()->SetPixels(i, 0, colours[i]);
  c->Brush()->SetColor(clLime);
  c->FillRect(Rect(0, 0, 40, 30));
  struct Case { TCopyMode rop; TColor expect[4]; };
  const TColor lime = clLime;
  const Case cases[] = {
      {SRCCOPY, {clBlack, clWhite, clRed, clBlue}},
      {SRCAND, {clBlack, lime, clBlack, clBlack}},
      {SRCPAINT, {lime, clWhite, clYellow, clAqua}},
      {SRCINVERT, {lime, clFuchsia, clYellow, clAqua}},
  };
  int row = 0;
  for (const Case& k : cases) {
    ASSERT_TRUE(BitBlt(c, 0, row, 4, 1, src.Canvas(), 0, 0, k.rop));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Px(i, row), k.expect[i]) << "rop " << std::hex << k.rop << " px " << i;
    ++row;
  }
}

TEST_F(CanvasTest, DrawingOnACanvasWithoutSurfaceRaises) {
  TCanvas bare;
  EXPECT_THROW(bare.FillRect(Rect(0, 0, 1, 1)), EInvalidOperation);
  // Measuring needs no surface.
  EXPECT_GT(bare.TextWidth("abc"), 0);
}

TEST_F(CanvasTest, DrawingOnAnEmptyBitmapDoesNothing) {
  TBitmap empty;
  EXPECT_NO_THROW(empty.Canvas()->FillRect(Rect(0, 0, 5, 5)));
  EXPECT_EQ(empty.Canvas()->Pixels(0, 0), clNone);
  empty.SetSize(3, 3);
  empty.Canvas()->Brush()->SetColor(clRed);
  empty.Canvas()->FillRect(Rect(0, 0, 3, 3));
  EXPECT_EQ(empty.Canvas()->Pixels(2, 2), clRed);
}

TEST_F(CanvasTest, TransparentBitmapLeavesItsKeyColourOut) {
  TBitmap sprite(4, 4);
  sprite.Canvas()->Brush()->SetColor(clFuchsia);
  sprite.Canvas()->FillRect(Rect(0, 0, 4, 4));
  sprite.Canvas()->SetPixels(1, 1, clBlue);
  sprite.SetTransparent(true);
  EXPECT_EQ(sprite.TransparentColor(), clFuchsia);  // bottom-left pixel
  c->Draw(10, 10, &sprite);
  EXPECT_EQ(Px(11, 11), clBlue);
  EXPECT_EQ(Px(10, 10), clWhite);
  EXPECT_EQ(CountPixels(Img(), Rect(0, 0, 40, 30), clFuchsia), 0);
}

// A widget painting through a borrowed canvas, as a control's paint event
// does; it reads back a pixel it drew.
class PaintingWidget : public QWidget {
 public:
  TColor seen = clNone;
  TColor outside = 0;
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    TCanvas canvas;
    canvas.Attach(&painter);
    canvas.Brush()->SetColor(clTeal);
    canvas.FillRect(Rect(2, 3, 6, 7));
    seen = canvas.Pixels(5, 6);
    outside = canvas.Pixels(6, 6);
    canvas.Detach();
  }
};

TEST_F(CanvasTest, BorrowedPainterDrawsAndReadsBackThroughTheDeviceTransform) {
  PaintingWidget w;
  w.resize(20, 20);
  QImage target(40, 40, QImage::Format_RGB32);
  target.fill(Qt::white);
  w.render(&target, QPoint(10, 5));
  EXPECT_EQ(w.seen, clTeal);
  EXPECT_NE(w.outside, clTeal);
  EXPECT_EQ(target.pixel(15, 11) & 0xFFFFFF, 0x008080u);  // (5, 6) moved by (10, 5); QRgb is 0xRRGGBB
}

TEST_F(CanvasTest, ShapesScreenshot) {
  TBitmap shot(160, 100);
  TCanvas* s = shot.Canvas();
  s->Brush()->SetColor(clBtnFace);
  s->FillRect(Rect(0, 0, 160, 100));
  s->Pen()->SetColor(clNavy);
  s->Brush()->SetColor(clYellow);
  s->Rectangle(5, 5, 45, 35);
  s->Ellipse(50, 5, 90, 35);
  s->RoundRect(95, 5, 155, 35, 10, 10);
  s->Brush()->SetColor(clRed);
  s->Brush()->SetStyle(bsDiagCross);
  s->FillRect(Rect(5, 40, 45, 70));
  s->Pen()->SetStyle(psDash);
  s->MoveTo(50, 45);
  s->LineTo(155, 45);
  s->Pen()->SetStyle(psSolid);
  s->Pen()->SetWidth(3);
  s->MoveTo(50, 55);
  s->LineTo(155, 90);
  s->Brush()->SetStyle(bsSolid);
  s->Brush()->SetColor(clLime);
  s->Pen()->SetWidth(1);
  s->Polygon({{10, 75}, {40, 75}, {25, 95}});
  s->DrawFocusRect(Rect(2, 2, 158, 98));
  SaveShot(shot.Image(), "canvas-shapes");
  EXPECT_EQ(shot.Canvas()->Pixels(25, 20), clYellow);
}

}  // namespace
