// DBErrors: raising the class library's database errors.  A message about a
// named component is prefixed with "Name: " (the class library's
// DatabaseError(Message, Component)); an unnamed component adds nothing.
#pragma once

#include <initializer_list>

#include "platform/core/AnsiString.h"
#include "platform/core/Exceptions.h"

class TComponent;

[[noreturn]] void DatabaseError(const AnsiString& message, const TComponent* component);
// Fills each "%s" or "%d" of the text, left to right, with the next argument
// (already text), then raises as DatabaseError.
[[noreturn]] void DatabaseErrorFmt(const char* text, std::initializer_list<AnsiString> args,
                                   const TComponent* component = nullptr);
// The text DatabaseErrorFmt would raise, for callers that build messages.
AnsiString FormatDBText(const char* text, std::initializer_list<AnsiString> args);
