// ResourceImages: bitmaps and cursors among the program's compiled-in
// resources, by name.
#pragma once

#include "platform/core/AnsiString.h"
#include "platform/ui/Bitmaps.h"

// The bytes of the bitmap resource name (a DIB, without file header, or a
// whole BMP file).  Raises EResNotFound "Resource <name> not found".
TBytes ResourceBitmapBytes(const AnsiString& name);
// The bytes of the cursor resource name (a .cur file or a bitmap).
// Raises EResNotFound like ResourceBitmapBytes.
TBytes ResourceCursorBytes(const AnsiString& name);
