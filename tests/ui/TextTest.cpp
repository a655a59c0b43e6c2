// Text on the canvas: DrawText layout with fixed metrics (word breaking,
// Chinese characters, prefixes, ellipsis, calculated rectangles) and drawn
// text with the installed fonts (clipping, alignment, rotation).
#include <gtest/gtest.h>

#include <QFontInfo>

#include "GraphicsTestSupport.h"
#include "platform/ui/CanvasInt.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/Graphics.h"

namespace {

// Ink bounds: the smallest rectangle holding every pixel that differs from
// the background.
TRect InkBounds(const QImage& img, TColor background) {
  TRect r(img.width(), img.height(), 0, 0);
  TColor bg = static_cast<TColor>(ColorToRGB(background));
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (FromQRgb(img.pixel(x, y)) != bg) {
        r.Left = std::min(r.Left, x); r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1); r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r;
}

class FixedLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RequireGuiApp();
    TTextMetric m;
    m.Height = 12; m.Ascent = 10; m.Descent = 2; m.AveCharWidth = 6;
    fixed = std::make_unique<TFixedFontMetrics>(m);
    SetFontMetricsSourceForTest(fixed.get());
  }
  void TearDown() override { SetFontMetricsSourceForTest(nullptr); }
  // The calculated rectangle for text laid out in a box width pixels wide.
  TRect Calc(const AnsiString& text, int width, unsigned flags) {
    TRect r = Rect(10, 20, 10 + width, 20);
    int h = canvas.DrawText(text, r, flags | DT_CALCRECT);
    EXPECT_EQ(h, r.Height());
    return r;
  }
  std::unique_ptr<TFixedFontMetrics> fixed;
  TCanvas canvas;  // measuring needs no surface
};

TEST_F(FixedLayoutTest, MeasuresDoubleByteCharactersTwiceAsWide) {
  EXPECT_EQ(canvas.TextWidth("ab"), 12);
  EXPECT_EQ(canvas.TextWidth("工资"), 24);
  EXPECT_EQ(canvas.TextWidth("A工"), 18);
  EXPECT_EQ(canvas.TextHeight("x"), 12);
}

TEST_F(FixedLayoutTest, CalculatedRectangles) {
  struct Case { const char* text; int width; unsigned flags; int right; int bottom; };
  const Case cases[] = {
      {"abc", 100, DT_SINGLELINE, 18, 12},
      {"aaa bbb ccc", 45, DT_WORDBREAK, 42, 24},       // "aaa bbb" / "ccc"
      {"工资表格数据", 30, DT_WORDBREAK, 24, 36},     // two characters a line
      {"工资 表格", 40, DT_WORDBREAK, 24, 24},        // blank dropped at the break
      {"abcdefghij", 30, DT_WORDBREAK, 60, 12},        // a long word stays whole
      {"abcdefghij", 30, DT_WORDBREAK | DT_EDITCONTROL, 30, 24},
      {"one\r\ntwo\nthree", 200, 0, 30, 36},
      {"one\r\ntwo", 200, DT_SINGLELINE, 36, 12},      // line ends ignored
      {"&File", 100, DT_SINGLELINE, 24, 12},
      {"&File", 100, DT_SINGLELINE | DT_NOPREFIX, 30, 12},
      {"a&&b", 100, DT_SINGLELINE, 18, 12},
      {"", 100, 0, 0, 12},
  };
  for (const Case& k : cases) {
    TRect r = Calc(k.text, k.width, k.flags);
    EXPECT_EQ(r.Left, 10) << k.text;
    EXPECT_EQ(r.Width(), k.right) << k.text;
    EXPECT_EQ(r.Height(), k.bottom) << k.text;
  }
}

TEST_F(FixedLayoutTest, CharacterExtraWidensEveryCharacter) {
  canvas.SetTextCharacterExtra(2);
  EXPECT_EQ(canvas.TextWidth("ab工"), 6 + 6 + 12 + 3 * 2);
  TRect r = Calc("aaa bbb", 50, DT_WORDBREAK);  // "aaa bbb" is 56 wide now
  EXPECT_EQ(r.Height(), 24);
  EXPECT_EQ(r.Width(), 24);
}

TEST_F(FixedLayoutTest, DrawTextExLaysOutBetweenTheMargins) {
  AnsiString text = "aaa bbb";
  TRect r = Rect(0, 0, 40, 0);
  TDrawTextParams params;
  params.LeftMargin = 4;
  params.RightMargin = 6;
  int h = DrawTextEx(&canvas, text, &r, DT_WORDBREAK | DT_CALCRECT, &params);
  EXPECT_EQ(h, 24);  // 30 pixels between the margins: one word a line
  EXPECT_EQ(r, Rect(0, 0, 4 + 18 + 6, 24));
}

TEST_F(FixedLayoutTest, EndEllipsisNeverSplitsACharacter) {
  TBitmap bmp(200, 40);
  struct Case { const char* text; int width; const char* shown; };
  const Case cases[] = {
      {"abcdefghij", 40, "abc..."},
      {"工资表格数据", 50, "工资..."},
      {"工资表格数据", 53, "工资..."},
      {"abc", 40, "abc"},
  };
  for (const Case& k : cases) {
    AnsiString text = k.text;
    TRect r = Rect(0, 0, k.width, 20);
    bmp.Canvas()->DrawText(text, r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING);
    EXPECT_EQ(text, AnsiString(k.shown)) << k.text;
  }
}

class DrawnTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RequireGuiApp();
    bmp.SetSize(160, 120);
    c = bmp.Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 160, 120));
    c->Font()->SetName("宋体");
    c->Font()->SetHeight(-16);
    c->Font()->SetColor(clBlack);
  }
  TBitmap bmp;
  TCanvas* c = nullptr;
};

TEST_F(DrawnTextTest, WordBrokenChineseStaysInsideItsRectangle) {
  const AnsiString text = "职工工资汇总表按部门统计";
  int w = c->TextWidth("职工工");
  TRect r = Rect(20, 10, 20 + w + 2, 110);
  TRect calc = r;
  int h = c->DrawText(text, calc, DT_WORDBREAK | DT_CALCRECT);
  int lineH = c->TextHeight("职");
  EXPECT_EQ(h, 4 * lineH);  // 12 characters, three a line
  c->Brush()->SetStyle(bsClear);
  c->DrawText(text, r, DT_WORDBREAK);
  SaveShot(bmp.Image(), "text-wordbreak");
  TRect ink = InkBounds(bmp.Image(), clWhite);
  EXPECT_GE(ink.Left, r.Left);
  EXPECT_LE(ink.Right, r.Right);
  EXPECT_GE(ink.Top, r.Top);
  EXPECT_LE(ink.Bottom, r.Top + 4 * lineH);
  for (int line = 0; line < 4; ++line)
    EXPECT_GT(CountNot(bmp.Image(), Rect(r.Left, r.Top + line * lineH, r.Right, r.Top + (line + 1) * lineH), clWhite), 20)
        << "line " << line;
}

TEST_F(DrawnTextTest, ClippedTextLeavesNoInkOutside) {
  TRect r = Rect(10, 10, 40, 30);
  c->Brush()->SetStyle(bsClear);
  c->TextRect(r, 5, 12, "工资表格数据汇总");
  TRect ink = InkBounds(bmp.Image(), clWhite);
  EXPECT_GE(ink.Left, 10);
  EXPECT_LE(ink.Right, 40);
  EXPECT_GT(CountNot(bmp.Image(), r, clWhite), 20);
  // ExtTextOut without clipping runs past the rectangle.
  c->ExtTextOut(5, 50, 0, &r, "工资表格数据汇总");
  EXPECT_GT(InkBounds(bmp.Image(), clWhite).Right, 60);
}

TEST_F(DrawnTextTest, OpaqueTextFillsItsCellWithTheBrush) {
  c->Brush()->SetColor(clYellow);
  c->TextOut(10, 10, "工资");
  TSize ext = c->TextExtent("工资");
  EXPECT_EQ(c->PenPos(), Point(10 + ext.cx, 10));
  EXPECT_EQ(c->Pixels(10, 10), clYellow);
  EXPECT_EQ(c->Pixels(10 + ext.cx - 1, 10 + ext.cy - 1), clYellow);
  EXPECT_EQ(c->Pixels(10 + ext.cx, 10), clWhite);
  EXPECT_EQ(c->Pixels(10, 10 + ext.cy), clWhite);
}

TEST_F(DrawnTextTest, AlignmentFlagsPlaceTheLine) {
  c->Brush()->SetStyle(bsClear);
  TRect r = Rect(0, 0, 160, 120);
  c->DrawText("工资", r, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
  TRect ink = InkBounds(bmp.Image(), clWhite);
  EXPECT_GT(ink.Left, 160 - c->TextWidth("工资") - 2);
  EXPECT_GE(ink.Top, 120 - c->TextHeight("工") - 2);
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(r);
  c->Brush()->SetStyle(bsClear);
  c->DrawText("工资", r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  ink = InkBounds(bmp.Image(), clWhite);
  EXPECT_NEAR((ink.Left + ink.Right) / 2, 80, 3);
  EXPECT_NEAR((ink.Top + ink.Bottom) / 2, 60, 4);
}

TEST_F(DrawnTextTest, PrefixCharacterIsUnderlined) {
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetName("Tahoma");
  TRect r = Rect(10, 10, 150, 40);
  c->DrawText("&File", r, DT_SINGLELINE);
  QImage with = bmp.Image().copy();
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(Rect(0, 0, 160, 120));
  c->Brush()->SetStyle(bsClear);
  c->DrawText("&File", r, DT_SINGLELINE | DT_HIDEPREFIX);
  int ascent = FontMetrics().Metrics(*c->Font()).Ascent;
  int underlineRow = 10 + ascent + 1;
  int wF = c->TextWidth("F");
  EXPECT_EQ(CountPixels(with, Rect(10, underlineRow, 10 + wF, underlineRow + 1), clBlack), wF);
  EXPECT_LT(CountPixels(bmp.Image(), Rect(10, underlineRow, 10 + wF, underlineRow + 1), clBlack), wF);
}

TEST_F(DrawnTextTest, CharacterExtraSpreadsDrawnCharacters) {
  c->Brush()->SetStyle(bsClear);
  c->TextOut(10, 10, "工资");
  int plain = InkBounds(bmp.Image(), clWhite).Width();
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(Rect(0, 0, 160, 120));
  c->Brush()->SetStyle(bsClear);
  c->SetTextCharacterExtra(10);
  c->TextOut(10, 10, "工资");
  EXPECT_EQ(InkBounds(bmp.Image(), clWhite).Width(), plain + 10);
  EXPECT_EQ(c->PenPos().x, 10 + c->TextWidth("工资"));
}

TEST_F(DrawnTextTest, OrientationRotatesTheBaseLine) {
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetOrientation(900);  // reads bottom to top
  c->TextOut(60, 110, "工资表格");
  SaveShot(bmp.Image(), "text-rotated");
  TRect ink = InkBounds(bmp.Image(), clWhite);
  EXPECT_GT(ink.Height(), 3 * ink.Width());
  EXPECT_LE(ink.Bottom, 111);
}

TEST(FontTest, HeightAndSizeAreTwoViewsOfOneValue) {
  TFont f;
  EXPECT_EQ(f.Name(), AnsiString("宋体"));
  f.SetSize(9);
  EXPECT_EQ(f.Height(), -12);
  f.SetHeight(-16);
  EXPECT_EQ(f.Size(), 12);
  f.SetPixelsPerInch(600);
  EXPECT_EQ(f.Size(), 12);
  EXPECT_EQ(f.Height(), -100);
  TFont screen;
  screen.SetSize(10);
  f.Assign(&screen);  // a screen font on a printer keeps its points
  EXPECT_EQ(f.Size(), 10);
  EXPECT_EQ(f.Height(), -83);
}

TEST(FontTest, ChangeNotificationOnlyForNewValues) {
  TFont f;
  int changes = 0;
  f.OnChange = [&](TObject*) { ++changes; };
  f.SetName("Arial");
  f.SetName("Arial");
  f.SetStyle(TFontStyles{fsBold});
  f.SetColor(clRed);
  f.SetColor(clRed);
  EXPECT_EQ(changes, 3);
  TBrush b;
  int brushChanges = 0;
  b.OnChange = [&](TObject*) { ++brushChanges; };
  b.SetStyle(bsClear);
  b.SetColor(clWhite);  // a colour makes a clear brush solid again
  EXPECT_EQ(b.Style(), bsSolid);
  EXPECT_EQ(brushChanges, 2);
}

TEST(FontTest, FaceNamesMapToInstalledChineseFonts) {
  RequireGuiApp();
  const char* faces[] = {"宋体", "Tahoma", "Arial", "Times New Roman", "MS Sans Serif", "NoSuchFace"};
  for (const char* face : faces) {
    TFont f;
    f.SetName(face);
    QFontInfo info(ToQFont(f));
    EXPECT_TRUE(FontFamiliesFor(face).contains(info.family()) || info.family().startsWith("WenQuanYi"))
        << face << " -> " << info.family().toStdString();
    EXPECT_TRUE(FontFamiliesFor(face).join(",").contains("WenQuanYi")) << face;
  }
  TFont f;
  f.SetHeight(-12);
  TTextMetric m = FontMetrics().Metrics(f);
  EXPECT_EQ(m.Height, m.Ascent + m.Descent);
  EXPECT_GE(m.Height, 12);
  EXPECT_GT(m.AveCharWidth, 0);
  TCanvas measure;
  measure.Font()->SetHeight(-12);
  EXPECT_GT(measure.TextWidth("工资"), measure.TextWidth("ab"));
  f.SetHeight(20);  // positive: the cell height
  m = FontMetrics().Metrics(f);
  EXPECT_NEAR(m.Height, 20, 1);
}

// The Chinese system faces keep their cells: half-width Latin letters and
// digits, full-width Chinese characters, whatever the letter.
TEST(FontTest, ChineseSystemFacesHaveHalfWidthLatinCells) {
  RequireGuiApp();
  struct Case {
    const char* face;
    int height;
    const char* text;
    int width;
  } cases[] = {
      {"宋体", -12, "0123456789", 60}, {"宋体", -12, "Wiliam", 36},  {"宋体", -12, "工资表", 36},
      {"宋体", -12, "A张1", 24},        {"黑体", -12, "MW.i", 24},    {"新宋体", -12, "工资", 24},
      {"宋体", -16, "0123", 32},        {"宋体", -16, "工资", 32},
  };
  for (const Case& c : cases) {
    TFont f;
    f.SetName(c.face);
    f.SetHeight(c.height);
    EXPECT_EQ(FontMetrics().TextWidth(f, c.text), c.width) << c.face << " " << c.height << " " << c.text;
  }
  TFont song;  // the default font: 宋体, 9 points
  QFontInfo info(ToQFont(song));
  EXPECT_EQ(info.family(), QStringLiteral("WenQuanYi Zen Hei Mono"));
  TTextMetric m = FontMetrics().Metrics(song);
  EXPECT_EQ(m.AveCharWidth, 6);
  EXPECT_EQ(m.Height, 16);
  // A Latin face keeps proportional letters.
  TFont tahoma;
  tahoma.SetName("Tahoma");
  EXPECT_GT(FontMetrics().TextWidth(tahoma, "W"), FontMetrics().TextWidth(tahoma, "i"));
}

}  // namespace

namespace {

// Every text drawn is told with its cell, as a metafile's text records;
// measuring is not.
TEST_F(FixedLayoutTest, TextOutputIsToldWithItsCell) {
  TBitmap bmp(200, 100);
  TCanvas* c = bmp.Canvas();
  std::vector<std::pair<TRect, AnsiString>> told;
  c->OnTextOut = [&](const TRect& r, const AnsiString& t) { told.emplace_back(r, t); };
  c->TextOut(5, 6, "ab工");
  c->TextRect(Rect(0, 30, 50, 50), 2, 32, "cd");
  TRect r = Rect(10, 60, 100, 100);
  c->DrawText(AnsiString("x\r\nyz"), r, DT_LEFT);
  TRect calc = Rect(0, 0, 100, 0);
  c->DrawText(AnsiString("not drawn"), calc, DT_CALCRECT);
  bmp.Canvas()->ReleasePainter();
  ASSERT_EQ(told.size(), 4u);
  EXPECT_EQ(told[0].second, "ab工");
  EXPECT_EQ(told[0].first, Rect(5, 6, 5 + 24, 6 + 12));
  EXPECT_EQ(told[1].first, Rect(2, 32, 14, 44));
  EXPECT_EQ(told[2].second, "x");
  EXPECT_EQ(told[3].first, Rect(10, 72, 22, 84));
}

}  // namespace
