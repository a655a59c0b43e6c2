#include "grid/GridExUtils.h"

#include <algorithm>

#include "platform/core/AnsiText.h"

void RaiseGridError(const AnsiString& message) { throw EInvalidGridOperation(message); }

AnsiString FitTextWithEllipsis(const AnsiString& text, TCanvas* canvas, int maxWidth) {
  AnsiString result = text;
  const int length = static_cast<int>(text.size());
  for (int i = 1; i <= length && canvas->TextWidth(result) > maxWidth; ++i) {
    int keep = std::max(0, length - (i + 1));
    // A kept lead byte without its trail byte would show half a character.
    if (keep > 0 && ByteTypeAt(text, keep - 1) == mbLeadByte) --keep;
    result = AnsiString(text.substr(0, keep)) + "...";
  }
  return result;
}

AnsiString LeadingBytes(const AnsiString& text, size_t count) {
  if (count >= text.size()) return text;
  if (count > 0 && ByteTypeAt(text, count - 1) == mbLeadByte) --count;
  return AnsiString(text.substr(0, count));
}

size_t IncSearchMatchLength(const AnsiString& text, const AnsiString& search) {
  size_t i = 0;
  while (i < text.size() && i < search.size()) {
    size_t width = ByteTypeAt(text, i) == mbLeadByte && i + 1 < text.size() ? 2 : 1;
    if (i + width > search.size()) break;
    if (AnsiUpperCase(text.substr(i, width)) != AnsiUpperCase(search.substr(i, width))) break;
    i += width;
  }
  return i;
}
