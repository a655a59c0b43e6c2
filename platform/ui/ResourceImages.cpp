// ResourceImages: looks bitmaps and cursors up among the compiled-in
// resources.  Until the resource table is linked in there are none, and
// every look-up raises EResNotFound.
#include "platform/ui/ResourceImages.h"

TBytes ResourceBitmapBytes(const AnsiString& name) {
  throw EResNotFound("Resource " + name + " not found");
}

TBytes ResourceCursorBytes(const AnsiString& name) {
  throw EResNotFound("Resource " + name + " not found");
}
