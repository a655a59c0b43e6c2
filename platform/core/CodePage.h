// CodePage: the one place where text changes encoding.  The system holds
// text as code-page-936 bytes (AnsiString); Qt, UTF-8 files and the
// clipboard want Unicode.  Built on iconv.  Invalid or unmappable input
// never fails: a broken byte sequence decodes to U+FFFD, and a character
// code page 936 lacks encodes to '?'.
#pragma once

#include <string>
#include <string_view>

#include "platform/core/AnsiString.h"

std::string AnsiToUtf8(std::string_view ansi);
AnsiString Utf8ToAnsi(std::string_view utf8);
std::u16string AnsiToUtf16(std::string_view ansi);
AnsiString Utf16ToAnsi(std::u16string_view utf16);
