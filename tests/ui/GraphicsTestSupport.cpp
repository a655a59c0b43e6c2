#include "GraphicsTestSupport.h"

#include <cstdlib>

#include <QApplication>
#include <QDir>

#include "platform/ui/CanvasInt.h"

void RequireGuiApp() {
  if (QCoreApplication::instance()) return;
  const char* qpa = std::getenv("PAYROLL_TEST_QPA");  // as EnsureQtApplicationForTest
  if (qpa && *qpa) setenv("QT_QPA_PLATFORM", qpa, 1);
  static int argc = 1;
  static char arg0[] = "payroll_tests";
  static char* argv[] = {arg0, nullptr};
  new QApplication(argc, argv);
}

namespace {
template <typename Pred>
int Count(const QImage& img, const TRect& r, Pred pred) {
  int n = 0;
  for (int y = std::max(0, r.Top); y < std::min(img.height(), r.Bottom); ++y)
    for (int x = std::max(0, r.Left); x < std::min(img.width(), r.Right); ++x)
      if (pred(FromQRgb(img.pixel(x, y)))) ++n;
  return n;
}
}  // namespace

int CountPixels(const QImage& img, const TRect& r, TColor c) {
  TColor want = static_cast<TColor>(ColorToRGB(c));
  return Count(img, r, [&](TColor px) { return px == want; });
}

int CountNot(const QImage& img, const TRect& r, TColor c) {
  TColor want = static_cast<TColor>(ColorToRGB(c));
  return Count(img, r, [&](TColor px) { return px != want; });
}

void SaveShot(const QImage& img, const std::string& name) {
  const char* dir = std::getenv("PAYROLL_SHOT_DIR");
  if (!dir || !*dir) return;
  QString base = QString::fromLocal8Bit(dir) + "/" + QString::fromStdString(name);
  QDir().mkpath(QString::fromLocal8Bit(dir));
  img.save(base + ".png");
  // An enlarged copy, for looking at single pixels.
  img.scaled(img.width() * 3, img.height() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation)
      .save(base + "-x3.png");
}
