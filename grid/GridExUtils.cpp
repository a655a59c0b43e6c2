#include "grid/GridExUtils.h"

#include <algorithm>

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
