#include "grid/SortIndexFont.h"

#include "platform/ui/Graphics.h"

namespace {

// The sort-marker glyph is 8 pixels high; the digits take the height
// above its base line: 1 - 8.
constexpr int kSortMarkerGlyphHeight = 8;

}  // namespace

TFont* SortIndexFont() {
  static TFont* font = [] {
    auto* f = new TFont();
    f->SetName("Arial");
    f->SetHeight(1 - kSortMarkerGlyphHeight);
    return f;
  }();
  return font;
}
