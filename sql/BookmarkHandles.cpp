#include "sql/BookmarkHandles.h"

#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/data/Dataset.h"

namespace {

// Slot h - 1 holds handle h.  A released slot joins the free list and is
// given out again, so handle numbers stay small.
struct HandleTable {
  std::vector<TBookmark> slots;
  std::vector<bool> live;
  std::vector<TBookmarkHandle> freeList;
  int liveCount = 0;
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

}  // namespace

TBookmarkHandle AcquireBookmarkHandle(TBookmark bookmark) {
  HandleTable& t = Table();
  TBookmarkHandle h;
  if (!t.freeList.empty()) {
    h = t.freeList.back();
    t.freeList.pop_back();
  } else {
    if (t.slots.size() >= static_cast<size_t>(INT32_MAX)) {
      TDataSet::FreeBookmark(bookmark);
      throw EOutOfResources("Too many open bookmarks");
    }
    t.slots.push_back(nullptr);
    t.live.push_back(false);
    h = static_cast<TBookmarkHandle>(t.slots.size());
  }
  t.slots[h - 1] = bookmark;
  t.live[h - 1] = true;
  ++t.liveCount;
  return h;
}

TBookmark BookmarkOfHandle(TBookmarkHandle handle) {
  HandleTable& t = Table();
  if (handle < 1 || static_cast<size_t>(handle) > t.slots.size() || !t.live[handle - 1])
    return nullptr;
  return t.slots[handle - 1];
}

void ReleaseBookmarkHandle(TBookmarkHandle handle) {
  HandleTable& t = Table();
  if (handle < 1 || static_cast<size_t>(handle) > t.slots.size() || !t.live[handle - 1]) return;
  TDataSet::FreeBookmark(t.slots[handle - 1]);
  t.slots[handle - 1] = nullptr;
  t.live[handle - 1] = false;
  t.freeList.push_back(handle);
  --t.liveCount;
}

int LiveBookmarkHandles() { return Table().liveCount; }
