// Edit masks: parsing a mask into positions, formatting and checking text.
#include "platform/core/MaskUtils.h"

#include <vector>

AnsiString MaskGetMaskText(const AnsiString& editMask) { return editMask; }
bool MaskGetMaskSave(const AnsiString&) { return true; }
char MaskGetMaskBlank(const AnsiString&) { return '_'; }
AnsiString FormatMaskText(const AnsiString&, const AnsiString& value, const TFormatSettings&) {
  return value;
}
int MaskValidateText(const AnsiString&, const AnsiString&, const TFormatSettings&) { return 0; }
AnsiString MaskGetValue(const AnsiString&, const AnsiString& text, const TFormatSettings&) {
  return text;
}
