// QtText: code-page-936 <-> QString through the UTF-16 converters of
// platform/core/CodePage.h.
#include "platform/ui/QtText.h"

#include "platform/core/CodePage.h"

QString ToQString(const AnsiString& text) {
  if (text.empty()) return QString();
  std::u16string wide = AnsiToUtf16(text);
  return QString(reinterpret_cast<const QChar*>(wide.data()),
                 static_cast<qsizetype>(wide.size()));
}

AnsiString FromQString(const QString& text) {
  if (text.isEmpty()) return AnsiString();
  return Utf16ToAnsi(std::u16string_view(
      reinterpret_cast<const char16_t*>(text.utf16()),
      static_cast<size_t>(text.size())));
}
