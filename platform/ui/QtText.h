// QtText: the only bridge between the system's code-page-936 text
// (AnsiString) and Qt's Unicode strings.  Every narrow string handed to Qt,
// and every QString read back from it, passes through here; the encoding
// work itself is done by platform/core/CodePage.h.
#pragma once

#include <QString>

#include "platform/core/AnsiString.h"

// Code-page-936 bytes to a QString.  Broken byte sequences become U+FFFD.
QString ToQString(const AnsiString& text);
// A QString to code-page-936 bytes.  Characters the code page lacks
// become '?'.
AnsiString FromQString(const QString& text);
