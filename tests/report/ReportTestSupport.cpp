#include "ReportTestSupport.h"

#include <cstdlib>

#include <QApplication>
#include <QImage>

#include "platform/ui/Bitmaps.h"

void RequireGuiApp() {
  if (QCoreApplication::instance()) return;
  // The test script runs the visual tests once more in a real X server.
  const char* qpa = std::getenv("PAYROLL_TEST_QPA");
  if (qpa && *qpa) setenv("QT_QPA_PLATFORM", qpa, 1);
  static int argc = 1;
  static char arg0[] = "payroll_tests";
  static char* argv[] = {arg0, nullptr};
  new QApplication(argc, argv);
}

namespace {
TTextMetric Fixed() {
  TTextMetric m;
  m.Height = 12;
  m.Ascent = 10;
  m.Descent = 2;
  m.AveCharWidth = 6;
  m.MaxCharWidth = 12;
  return m;
}
}  // namespace

TFixedMetricsGuard::TFixedMetricsGuard() : metrics_(Fixed()) { SetFontMetricsSourceForTest(&metrics_); }
TFixedMetricsGuard::~TFixedMetricsGuard() { SetFontMetricsSourceForTest(nullptr); }

TColor PixelAt(TBitmap& bmp, int x, int y) {
  QRgb p = bmp.Image().pixel(x, y);
  return static_cast<TColor>(qRed(p) | (qGreen(p) << 8) | (qBlue(p) << 16));
}
