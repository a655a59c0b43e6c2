// FontMetrics: the face-name table, TFont -> QFont, and the Qt-backed and
// fixed metrics sources.
#include "platform/ui/FontMetrics.h"

#include <QFontMetrics>
#include <cmath>
#include <map>
#include <memory>
#include <tuple>

#include "platform/ui/Graphics.h"
#include "platform/ui/QtText.h"

namespace {

// Face names the system's forms and reports use, and what draws them here.
// The Chinese system faces (宋体 and the other GB faces) are fixed-pitch
// with half-width Latin letters: at 9 points (12 pixels) a digit or letter
// is 6 pixels wide and a Chinese character 12, which column widths, report
// layouts and text padded with spaces rely on.  WenQuanYi Zen Hei Mono has
// the same cells (measured widths in docs/ARCHITECTURE.md).  The Latin
// faces keep proportional letters.  Every list ends in a family with full
// Chinese coverage, so code-page-936 text never falls back to boxes.  (The
// bitmap-strike "Sharp" cut is not used: its reported ascent is smaller
// than its glyphs.)
struct FaceMapping {
  const char* face;  // code-page-936 bytes, compared case-insensitively
  const char* families[3];
};
const FaceMapping kFaceTable[] = {
    {"宋体", {"WenQuanYi Zen Hei Mono", "WenQuanYi Zen Hei", nullptr}},
    {"新宋体", {"WenQuanYi Zen Hei Mono", "WenQuanYi Zen Hei", nullptr}},
    {"SimSun", {"WenQuanYi Zen Hei Mono", "WenQuanYi Zen Hei", nullptr}},
    {"NSimSun", {"WenQuanYi Zen Hei Mono", "WenQuanYi Zen Hei", nullptr}},
    {"黑体", {"WenQuanYi Zen Hei Mono", "WenQuanYi Zen Hei", nullptr}},
    {"SimHei", {"WenQuanYi Zen Hei Mono", "WenQuanYi Zen Hei", nullptr}},
    {"楷体_GB2312", {"WenQuanYi Zen Hei Mono", "WenQuanYi Zen Hei", nullptr}},
    {"仿宋_GB2312", {"WenQuanYi Zen Hei Mono", "WenQuanYi Zen Hei", nullptr}},
    {"Tahoma", {"WenQuanYi Micro Hei", "WenQuanYi Zen Hei", nullptr}},
    {"Arial", {"WenQuanYi Micro Hei", "WenQuanYi Zen Hei", nullptr}},
    {"MS Sans Serif", {"WenQuanYi Micro Hei", "WenQuanYi Zen Hei", nullptr}},
    {"Times New Roman", {"DejaVu Serif", "WenQuanYi Zen Hei", nullptr}},
    {"Courier New", {"WenQuanYi Micro Hei Mono", "DejaVu Sans Mono", "WenQuanYi Zen Hei Mono"}},
};
const char* const kDefaultFamilies[] = {"WenQuanYi Micro Hei", "WenQuanYi Zen Hei"};

// A resolved font: the QFont, its metrics and TEXTMETRIC, cached per font
// description, since a grid measures and draws thousands of cells in a few
// fonts.  The cache lives on the user-interface thread only.
struct ResolvedFont {
  QFont font;
  QFontMetrics metrics;
  TTextMetric tm;
};

QString FontKey(const TFont& font) {
  return QString::asprintf("%d|%d|%llu|%d|", font.Height(), font.PixelsPerInch(),
                           font.Style().ToBits(), static_cast<int>(font.Pitch())) +
         QString::fromLatin1(font.Name().c_str());
}

QFont BuildQFont(const TFont& font);

// The font resolved last, compared field by field before building a key.
struct LastFont {
  AnsiString name;
  int height = 0, ppi = 0, pitch = 0;
  unsigned long long style = 0;
  const ResolvedFont* resolved = nullptr;
};

const ResolvedFont& Resolve(const TFont& font) {
  static std::map<QString, std::unique_ptr<ResolvedFont>> cache;
  static LastFont last;
  if (last.resolved && last.height == font.Height() && last.ppi == font.PixelsPerInch() &&
      last.style == font.Style().ToBits() && last.pitch == static_cast<int>(font.Pitch()) &&
      last.name == font.Name())
    return *last.resolved;
  QString key = FontKey(font);
  last = LastFont{font.Name(), font.Height(), font.PixelsPerInch(), static_cast<int>(font.Pitch()),
                  font.Style().ToBits(), nullptr};
  auto it = cache.find(key);
  if (it != cache.end()) return *(last.resolved = it->second.get());
  if (cache.size() > 256) cache.clear();
  QFont f = BuildQFont(font);
  auto r = std::unique_ptr<ResolvedFont>(new ResolvedFont{f, QFontMetrics(f), {}});
  const QFontMetrics& fm = r->metrics;
  TTextMetric& m = r->tm;
  m.Ascent = fm.ascent();
  m.Descent = fm.descent();
  m.Height = m.Ascent + m.Descent;
  m.InternalLeading = std::max(0, m.Height - f.pixelSize());
  m.ExternalLeading = std::max(0, fm.leading());
  // The average advance of the Latin letters, as dialog units use it
  // (Qt's own average counts every glyph of the font, CJK included).
  static const QString kLetters =
      QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
  m.AveCharWidth = (fm.horizontalAdvance(kLetters) / 26 + 1) / 2;
  m.MaxCharWidth = fm.maxWidth();
  m.Overhang = 0;
  last.resolved = r.get();
  return *cache.emplace(key, std::move(r)).first->second;
}

class TQtFontMetrics : public TFontMetricsSource {
 public:
  TTextMetric Metrics(const TFont& font) override { return Resolve(font).tm; }
  int TextWidth(const TFont& font, const AnsiString& text) override {
    if (text.empty()) return 0;
    return Resolve(font).metrics.horizontalAdvance(ToQString(text));
  }
};

TQtFontMetrics gQtMetrics;
TFontMetricsSource* gSource = nullptr;

bool SameFace(const AnsiString& a, const char* b) {
  return AnsiString(a).UpperCase() == AnsiString(b).UpperCase();
}

int CellHeight(QFont f, int px) {
  f.setPixelSize(px);
  QFontMetrics fm(f);
  return fm.ascent() + fm.descent();
}

int CellToPixelSize(const QFont& font, int cell) {
  static std::map<std::tuple<QString, bool, bool, int>, int> cache;
  auto key = std::make_tuple(font.families().join(','), font.bold(), font.italic(), cell);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  int probe = CellHeight(font, 100);
  int px = probe > 0 ? std::max(1, static_cast<int>(std::lround(cell * 100.0 / probe))) : cell;
  for (int i = 0; i < 16 && px < 4 * cell && CellHeight(font, px) < cell; ++i) ++px;
  for (int i = 0; i < 16 && px > 1 && CellHeight(font, px) > cell; ++i) --px;
  cache.emplace(key, px);
  return px;
}

}  // namespace

int TFixedFontMetrics::TextWidth(const TFont&, const AnsiString& text) {
  int width = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (IsDBCSLeadByte(c) && i + 1 < text.size()) {
      width += 2 * metric_.AveCharWidth;
      ++i;
    } else {
      width += metric_.AveCharWidth;
    }
  }
  return width;
}

TFontMetricsSource& FontMetrics() { return gSource ? *gSource : gQtMetrics; }

void SetFontMetricsSourceForTest(TFontMetricsSource* source) { gSource = source; }

QStringList FontFamiliesFor(const AnsiString& faceName) {
  QStringList out;
  for (const FaceMapping& m : kFaceTable) {
    if (!SameFace(faceName, m.face)) continue;
    for (const char* fam : m.families)
      if (fam) out << QString::fromLatin1(fam);
    return out;
  }
  for (const char* fam : kDefaultFamilies) out << QString::fromLatin1(fam);
  return out;
}

QFont ToQFont(const TFont& font) { return Resolve(font).font; }

namespace {

QFont BuildQFont(const TFont& font) {
  QFont f;
  f.setFamilies(FontFamiliesFor(font.Name()));
  if (font.Pitch() == fpFixed) {
    f.setFixedPitch(true);
    f.setStyleHint(QFont::TypeWriter);
  }
  f.setBold(font.Style().Contains(fsBold));
  f.setItalic(font.Style().Contains(fsItalic));
  f.setUnderline(font.Style().Contains(fsUnderline));
  f.setStrikeOut(font.Style().Contains(fsStrikeOut));
  int h = font.Height();
  if (h == 0) h = -(12 * font.PixelsPerInch() + 48) / 96;  // the default 9 points
  if (h < 0) {
    f.setPixelSize(-h);
  } else {
    // A positive height is the cell height (ascent + descent): find the
    // character size whose cell comes out at h.  Fonts with bitmap strikes
    // do not scale linearly, so the estimate is corrected by measuring.
    f.setPixelSize(CellToPixelSize(f, h));
  }
  return f;
}

}  // namespace
