// Shared helpers of the report tests: a GUI application for fonts, fixed
// font metrics for layouts that do not depend on the installed fonts, and
// pixel reading.
#pragma once

#include "platform/ui/FontMetrics.h"
#include "platform/ui/SysColors.h"

class TBitmap;

void RequireGuiApp();

// Every single-byte character 6 pixels wide, a double-byte one 12, lines
// 12 high, while the guard lives.
class TFixedMetricsGuard {
 public:
  TFixedMetricsGuard();
  ~TFixedMetricsGuard();

 private:
  TFixedFontMetrics metrics_;
};

// The colour of a pixel as a TColor (0x00BBGGRR).
TColor PixelAt(TBitmap& bmp, int x, int y);
