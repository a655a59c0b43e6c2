// Small routines that translate names, texts and types between the SQL
// statement and the expression language.
#pragma once

#include "platform/core/AnsiString.h"
#include "sql/ExprType.h"

// ftString, ftFixedChar, ftWideString, ftGuid: ttString; ftSmallint,
// ftInteger, ftWord, ftAutoInc, ftLargeint: ttInteger; ftBoolean:
// ttBoolean; ftFloat, ftCurrency, ftBCD, ftDate, ftTime, ftDateTime:
// ttFloat; every other type ttString.
TExprType FieldTypeToExprType(int fieldType);

// A name as the expression language can read it: unchanged when it is
// already in square brackets or is a plain word; in square brackets when it
// is a keyword of the language, starts with a digit or holds anything but
// A-Z, a-z and 0-9.
AnsiString NameForExpression(const AnsiString& name);
// "[x]" -> "x"; any other text (shorter than 2 bytes included) unchanged.
AnsiString StripBrackets(const AnsiString& name);
// 'x' or "x" (any pair of quote characters) -> x; other texts unchanged.
AnsiString StripQuotes(const AnsiString& text);
// Every occurrence of `from` (case-sensitive) replaced by `to`; nothing
// happens when the two are equal without regard to case (or from is "").
AnsiString ReplaceAll(const AnsiString& text, const AnsiString& from, const AnsiString& to);
