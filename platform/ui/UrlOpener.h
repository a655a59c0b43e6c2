// UrlOpener: opening a web address in the desktop's browser (what the
// original platform's shell did with the "open" verb on a URL), through
// QDesktopServices.  A program may put its own opener in place - tests
// record the address instead of starting a browser.
//
//   if (!OpenURL("https://velmor.example/")) ...;   // nothing could open it
#pragma once

#include <functional>

#include "platform/core/AnsiString.h"

// url is code-page-936 text.  True when the opener took the address.
bool OpenURL(const AnsiString& url);

using TUrlOpener = std::function<bool(const AnsiString& url)>;
// Puts opener in place and returns the one it replaces; an empty opener
// restores the desktop's.
TUrlOpener SetUrlOpener(TUrlOpener opener);
