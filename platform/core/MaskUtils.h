// Edit masks of the class library (fields' EditMask, the grid's in-place
// editor, report display).
//
// An edit mask is up to three fields separated by ';':
//   "<mask>;<save literals>;<blank>"   e.g. "!99/99/0000;1;_"
// <save literals> '0' means the stored value holds only the typed
// characters; anything else (or no field) means it holds the literals too.
// <blank> is the character an editor shows for an empty position
// (default '_').
//
// Mask characters:
//   L  letter, required        l  letter, optional
//   A  letter or digit, req.   a  letter or digit, optional
//   C  any character, req.     c  any character, optional
//   0  digit, required         9  digit, optional
//   #  digit, '+' or '-', optional
//   :  the settings' TimeSeparator   /  the settings' DateSeparator
//   _  a blank (literal space)
//   !  (anywhere) optional positions are blanks on the left: values are
//      right-aligned in their fields
//   >  following letters upper case   <  lower case   <>  no conversion
//   \  the next character is a literal
// Any other character (a code-page-936 character whole) is a literal.
// "Letter" includes every byte of a code-page-936 character.
// Standard library only.
#pragma once

#include "platform/core/AnsiString.h"
#include "platform/core/FormatSettings.h"

// The first field of an edit mask (the mask proper).
AnsiString MaskGetMaskText(const AnsiString& editMask);
// True unless the second field is '0'.
bool MaskGetMaskSave(const AnsiString& editMask);
// The third field's character, '_' when absent.
char MaskGetMaskBlank(const AnsiString& editMask);

// Formats a stored value with the mask: literals inserted (or, when the
// value holds them, its subfields padded between them), case conversion
// applied, missing characters shown as blanks (' ').
AnsiString FormatMaskText(const AnsiString& editMask, const AnsiString& value,
                          const TFormatSettings& fs = DefaultFormatSettings());

// Checks an editor's text (literals in place, empty positions as blanks or
// the mask's blank character) against the mask.  Returns 0 when valid,
// else the 1-based position of the first position in error (a required
// position left empty, a character of the wrong class, a missing literal,
// or text beyond the mask).
int MaskValidateText(const AnsiString& editMask, const AnsiString& text,
                     const TFormatSettings& fs = DefaultFormatSettings());

// The value to store for an editor's text: with the literals when the mask
// saves them, else only the typed positions; blanks of the mask's blank
// character become spaces and trailing blanks are dropped.
AnsiString MaskGetValue(const AnsiString& editMask, const AnsiString& text,
                        const TFormatSettings& fs = DefaultFormatSettings());
