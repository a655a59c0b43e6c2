// Window positions of the report engine's forms, kept in the settings
// store under "Software\BandReport", one section per form class:
// "Form\" + class name, values "XPosition", "YPosition", "Width", "Height"
// (integers) and "Maximized" (Boolean).  Calls platform/core (settings)
// and platform/ui (forms).
#pragma once

#include "platform/core/AnsiString.h"

class TCustomForm;

// The key a form's position is kept under ("Software\BandReport\Form\"
// + class name).
AnsiString rbFormPositionKey(const TCustomForm* form);
// Writes the form's left, top, width, height and whether it is maximised.
void rbSaveFormPosition(TCustomForm* form);
// Reads "Maximized" (default True; False sets the form to normal size,
// True leaves the form's own window state) and the bounds (each defaulting to the form's current value) and applies
// them.  A damaged value counts as missing.
void rbRestoreFormPosition(TCustomForm* form);
