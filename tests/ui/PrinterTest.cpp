// The printer object: the printer list, page settings and geometry, the
// document state machine, and a three-page PDF checked through pdftoppm.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <cstdlib>

#include "GraphicsTestSupport.h"
#include "platform/ui/Jpeg.h"
#include "platform/ui/Printers.h"

namespace {

class PrinterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RequireGuiApp();
    dir = QDir::tempPath() + "/graphics-printer-" + QString::number(::getpid());
    QDir().mkpath(dir);
  }
  void TearDown() override { QDir(dir).removeRecursively(); }
  AnsiString Pdf(const char* name) { return (dir + "/" + name).toStdString(); }
  QString dir;
};

TEST_F(PrinterTest, ListIsNeverEmptyAndVirtualPrinterOffersA4) {
  TPrinter p;
  ASSERT_GE(p.Printers()->Count(), 1);
  EXPECT_GE(p.PrinterIndex(), 0);
  if (!p.IsVirtualPrinter()) GTEST_SKIP() << "a system printer is installed";
  EXPECT_EQ(p.Printers()->Count(), 1);
  EXPECT_EQ(p.Printers()->Get(0), AnsiString(kVirtualPrinterName));
  TPrinterDeviceMode m = p.DeviceMode();
  EXPECT_EQ(m.PaperSize, DMPAPER_A4);
  EXPECT_EQ(m.PaperWidth, 2100);
  EXPECT_EQ(m.PaperLength, 2970);
  EXPECT_EQ(p.PixelsPerInchX(), 600);
  EXPECT_NEAR(p.PhysicalWidth(), 4961, 1);   // 210 mm at 600 DPI
  EXPECT_NEAR(p.PhysicalHeight(), 7016, 1);
  EXPECT_EQ(p.PhysicalOffsetX(), 0);
  EXPECT_EQ(p.PageWidth(), p.PhysicalWidth());
  const std::vector<int> codes = p.PaperCodes();
  EXPECT_NE(std::find(codes.begin(), codes.end(), DMPAPER_A3), codes.end());
  EXPECT_EQ(p.PaperNames().size(), codes.size());
  EXPECT_EQ(p.Bins(), std::vector<int>{DMBIN_AUTO});
}

TEST_F(PrinterTest, PageSettingsFollowCodesOrientationAndUserSizes) {
  TPrinter p;
  int portraitW = p.PhysicalWidth(), portraitH = p.PhysicalHeight();
  p.SetOrientation(poLandscape);
  EXPECT_EQ(p.PhysicalWidth(), portraitH);
  EXPECT_EQ(p.PhysicalHeight(), portraitW);
  EXPECT_EQ(p.DeviceMode().PaperWidth, 2100);  // sizes stay portrait
  TPrinterDeviceMode m;
  m.PaperSize = DMPAPER_USER;
  m.PaperWidth = 2410;
  m.PaperLength = 2794;
  m.Orientation = poPortrait;
  p.SetDeviceMode(m);
  EXPECT_EQ(p.DeviceMode().PaperSize, DMPAPER_USER);
  EXPECT_NEAR(p.PhysicalWidth(), std::lround(241.0 / 25.4 * p.PixelsPerInchX()), 1);
  m.PaperSize = 4711;  // unknown: falls back to A4
  p.SetDeviceMode(m);
  EXPECT_EQ(p.DeviceMode().PaperSize, DMPAPER_A4);
  EXPECT_EQ(p.DeviceMode().PaperLength, 2970);
  m = p.DeviceMode();
  m.DefaultSource = 9999;  // a bin the printer lacks
  p.SetDeviceMode(m);
  EXPECT_EQ(p.DeviceMode().DefaultSource, DMBIN_AUTO);
  EXPECT_EQ(StandardPaperSize(DMPAPER_LETTER), TSize(2159, 2794));
  EXPECT_EQ(StandardPaperSize(DMPAPER_USER), TSize(0, 0));
}

TEST_F(PrinterTest, DocumentStateMachineRefusesOutOfOrderCalls) {
  TPrinter p;
  EXPECT_THROW(p.NewPage(), EPrinter);
  EXPECT_THROW(p.EndDoc(), EPrinter);
  if (p.IsVirtualPrinter()) {
    EXPECT_THROW(p.BeginDoc(), EPrinter);  // nowhere to print to
  }
  p.SetOutputFileName(Pdf("order.pdf"));
  p.BeginDoc();
  EXPECT_TRUE(p.Printing());
  EXPECT_THROW(p.BeginDoc(), EPrinter);
  EXPECT_THROW(p.SetOrientation(poLandscape), EPrinter);
  EXPECT_THROW(p.SetPrinterIndex(0), EPrinter);
  p.NewPage();
  EXPECT_EQ(p.PageNumber(), 2);
  p.EndDoc();
  EXPECT_FALSE(p.Printing());
  EXPECT_TRUE(QFile::exists(dir + "/order.pdf"));
}

TEST_F(PrinterTest, AbortLeavesNoFileBehind) {
  TPrinter p;
  p.SetOutputFileName(Pdf("aborted.pdf"));
  p.BeginDoc();
  p.Canvas()->TextOut(100, 100, "工资");
  p.Abort();
  EXPECT_TRUE(p.Aborted());
  EXPECT_FALSE(p.Printing());
  EXPECT_FALSE(QFile::exists(dir + "/aborted.pdf"));
}

TEST_F(PrinterTest, UnwritableOutputIsReportedNotIgnored) {
  TPrinter p;
  p.SetOutputFileName("/nonexistent-dir/x/report.pdf");
  EXPECT_THROW({
    p.BeginDoc();
    p.EndDoc();
  }, EPrinter);
  EXPECT_FALSE(p.Printing());
}

// Counts pixels near colour c (within tolerance, for anti-aliased and
// JPEG-compressed output).
int CountNear(const QImage& img, const QRect& r, QColor c, int tol) {
  int n = 0;
  for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
    for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x) {
      QColor p = img.pixelColor(x, y);
      if (std::abs(p.red() - c.red()) <= tol && std::abs(p.green() - c.green()) <= tol &&
          std::abs(p.blue() - c.blue()) <= tol)
        ++n;
    }
  return n;
}

TEST_F(PrinterTest, ThreePageDocumentPrintsToPdfWithTextLinesAndPicture) {
  TPrinter p;
  p.SetOutputFileName(Pdf("report.pdf"));
  p.SetTitle("工资表");
  const int dpi = p.PixelsPerInchX();
  const int inch = dpi;

  // A picture: red left half, blue right half, through JPEG bytes.
  TBitmap source(64, 32);
  source.Canvas()->Brush()->SetColor(clRed);
  source.Canvas()->FillRect(Rect(0, 0, 32, 32));
  source.Canvas()->Brush()->SetColor(clBlue);
  source.Canvas()->FillRect(Rect(32, 0, 64, 32));
  TJPEGImage jpeg;
  jpeg.Assign(&source);
  TJPEGImage loaded;
  loaded.LoadFromBytes(jpeg.SaveToBytes());

  p.BeginDoc();
  TCanvas* c = p.Canvas();
  // Page 1: a title and a thick rule under it.
  c->Font()->SetName("宋体");
  c->Font()->SetSize(24);
  c->Brush()->SetStyle(bsClear);
  c->TextOut(inch, inch, "职工工资表");
  c->Pen()->SetWidth(dpi / 20);
  c->MoveTo(inch, 2 * inch);
  c->LineTo(7 * inch, 2 * inch);
  // Page 2: the picture, 4 x 2 inches at (1, 1) inch.
  p.NewPage();
  c->StretchDraw(Rect(inch, inch, 5 * inch, 3 * inch), &loaded);
  // Page 3: a filled box and text in it.
  p.NewPage();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clLime);
  c->Pen()->SetWidth(1);
  c->Rectangle(inch, inch, 3 * inch, 2 * inch);
  c->Font()->SetColor(clBlack);
  c->TextOut(inch, 3 * inch, "合计");
  EXPECT_EQ(p.PageNumber(), 3);
  p.EndDoc();

  // Render at 50 DPI and look.
  QString prefix = dir + "/page";
  QString cmd = "pdftoppm -r 50 -png '" + dir + "/report.pdf' '" + prefix + "'";
  ASSERT_EQ(std::system(cmd.toLocal8Bit().constData()), 0);
  QImage pages[3];
  for (int i = 0; i < 3; ++i) {
    pages[i].load(prefix + "-" + QString::number(i + 1) + ".png");
    ASSERT_FALSE(pages[i].isNull()) << "page " << i + 1;
    pages[i].save(QString("/tmp/graphics-shots/printed-page-%1.png").arg(i + 1));
  }
  EXPECT_FALSE(QFile::exists(prefix + "-4.png"));
  const QImage& p1 = pages[0];
  EXPECT_NEAR(p1.width(), 413, 2);  // 8.27 inches at 50 DPI
  // Title ink between 1 and 1.5 inches down, right of 1 inch.
  EXPECT_GT(CountNear(p1, QRect(50, 50, 250, 25), Qt::black, 100), 40);
  EXPECT_EQ(CountNear(p1, QRect(0, 0, 413, 45), Qt::black, 100), 0);
  // The rule at 2 inches: a dark band about 2.5 pixels high, 300 wide.
  EXPECT_GT(CountNear(p1, QRect(60, 98, 280, 4), Qt::black, 100), 280);
  const QImage& p2 = pages[1];
  EXPECT_GT(CountNear(p2, QRect(55, 55, 90, 90), Qt::red, 60), 90 * 90 * 9 / 10);
  EXPECT_GT(CountNear(p2, QRect(155, 55, 90, 90), Qt::blue, 60), 90 * 90 * 9 / 10);
  EXPECT_EQ(CountNear(p2, QRect(0, 0, 413, 45), Qt::red, 60), 0);
  const QImage& p3 = pages[2];
  EXPECT_GT(CountNear(p3, QRect(53, 53, 95, 45), Qt::green, 40), 95 * 45 * 9 / 10);
  EXPECT_GT(CountNear(p3, QRect(50, 150, 60, 20), Qt::black, 100), 10);
}

}  // namespace
