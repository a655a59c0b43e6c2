// BookmarkHandles: 32-bit handles for dataset bookmarks.  sql/; calls
// platform/data.
//
// Result rows and sort rows keep the source record they came from in four
// bytes.  A dataset bookmark is a pointer, so the row stores a handle that
// stands for it: handles are 1 or more, 0 means no record, and negative
// values are free for the executor's own marks.  A handle owns its
// bookmark: releasing the handle frees the bookmark (TDataSet::FreeBookmark)
// and makes the number available again.  One table serves the process; the
// query engine runs on one thread.
//
//   TBookmarkHandle h = AcquireBookmarkHandle(table->GetBookmark());
//   table->GotoBookmark(BookmarkOfHandle(h));
//   ReleaseBookmarkHandle(h);
#pragma once

#include <cstdint>

#include "platform/data/DBTypes.h"

using TBookmarkHandle = std::int32_t;

// Takes ownership of bookmark (which may be nullptr) and returns its handle.
TBookmarkHandle AcquireBookmarkHandle(TBookmark bookmark);
// The bookmark of a live handle; nullptr for 0, a mark or a released handle.
TBookmark BookmarkOfHandle(TBookmarkHandle handle);
// Frees the bookmark and the handle; handles that are not live are ignored.
void ReleaseBookmarkHandle(TBookmarkHandle handle);
// Number of handles not yet released (for leak checks in tests).
int LiveBookmarkHandles();
