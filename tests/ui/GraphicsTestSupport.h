// Shared helpers of the drawing tests: a GUI application for fonts and the
// clipboard (offscreen platform), image canvases and pixel counting.
#pragma once

#include <QImage>
#include <string>

#include "platform/ui/Graphics.h"

// Creates the process's QApplication on first call (fonts, clipboard and
// printing need one).
void RequireGuiApp();
// Number of pixels in r (clipped to the image) whose colour is c.
int CountPixels(const QImage& img, const TRect& r, TColor c);
// Number of pixels in r that differ from c.
int CountNot(const QImage& img, const TRect& r, TColor c);
// Saves img as <name>.png (and an enlarged copy) in the folder named by
// PAYROLL_SHOT_DIR, for looking at; nothing when it is not set.
void SaveShot(const QImage& img, const std::string& name);
