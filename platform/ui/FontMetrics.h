// FontMetrics: how a TFont becomes a drawable font, and how text is
// measured.
//
// All measuring in the visual layer (TextWidth, TextHeight, DrawText's line
// breaking, report layout) goes through one TFontMetricsSource, so tests can
// pin the metrics to fixed values (TFixedFontMetrics) and check layouts
// without depending on the installed fonts.  The program uses the Qt
// source, which measures the installed font the face name maps to.
//
// Face names: the names the system's forms and reports use are mapped to
// installed fonts with Chinese coverage in one table (FontFamiliesFor);
// unknown names get the default sans-serif family.
#pragma once

#include <QFont>
#include <QStringList>

#include "platform/core/AnsiString.h"

class TFont;

// TEXTMETRIC's fields as the system reads them, in pixels.
struct TTextMetric {
  int Height = 0;            // ascent + descent
  int Ascent = 0;
  int Descent = 0;
  int InternalLeading = 0;   // accent space inside Height
  int ExternalLeading = 0;   // extra space between lines
  int AveCharWidth = 0;      // width of an average Latin letter
  int MaxCharWidth = 0;
  int Overhang = 0;          // extra width of synthesised bold or italic
};

class TFontMetricsSource {
 public:
  virtual ~TFontMetricsSource() = default;
  virtual TTextMetric Metrics(const TFont& font) = 0;
  // Advance width of code-page-936 text on one line (no line breaks).
  virtual int TextWidth(const TFont& font, const AnsiString& text) = 0;
};

// Metrics fixed by the test: every single-byte character is AveCharWidth
// wide and every double-byte character twice that (as in the classic
// Chinese fonts), Height/Ascent/... as given, whatever the font.
class TFixedFontMetrics : public TFontMetricsSource {
 public:
  explicit TFixedFontMetrics(const TTextMetric& metric) : metric_(metric) {}
  TTextMetric Metrics(const TFont&) override { return metric_; }
  int TextWidth(const TFont& font, const AnsiString& text) override;

 private:
  TTextMetric metric_;
};

// The source in use (the Qt one unless a test replaced it).
TFontMetricsSource& FontMetrics();
// Test hook: replaces the metrics source (nullptr puts the Qt source
// back).  The caller keeps ownership.
void SetFontMetricsSourceForTest(TFontMetricsSource* source);

// The installed families to draw a face name with, best first.
QStringList FontFamiliesFor(const AnsiString& faceName);
// The QFont for a TFont, its pixel size set from Height.
QFont ToQFont(const TFont& font);
