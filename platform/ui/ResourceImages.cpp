// ResourceImages: bitmaps and cursors among the compiled-in resources
// (platform/core/Resources.h; folders bitmaps/ and cursors/).
#include "platform/ui/ResourceImages.h"

#include "platform/core/Resources.h"

namespace {

TBytes Load(const AnsiString& name, int kind) {
  TResourceBlock block = LoadResource(name, kind);
  return TBytes(block.data, block.data + block.size);
}

}  // namespace

TBytes ResourceBitmapBytes(const AnsiString& name) { return Load(name, RT_BITMAP); }

TBytes ResourceCursorBytes(const AnsiString& name) { return Load(name, RT_CURSOR); }
