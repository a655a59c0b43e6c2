#include "platform/ui/UrlOpener.h"

#include <QDesktopServices>
#include <QUrl>

#include "platform/ui/QtText.h"

namespace {

TUrlOpener& CurrentOpener() {
  static TUrlOpener opener;
  return opener;
}

}  // namespace

bool OpenURL(const AnsiString& url) {
  if (const TUrlOpener& opener = CurrentOpener()) return opener(url);
  const QUrl address = QUrl::fromUserInput(ToQString(url));
  return address.isValid() && QDesktopServices::openUrl(address);
}

TUrlOpener SetUrlOpener(TUrlOpener opener) {
  TUrlOpener previous = std::move(CurrentOpener());
  CurrentOpener() = std::move(opener);
  return previous;
}
