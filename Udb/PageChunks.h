// ForEachPageChunk: the one walk of a byte range of the file page by page,
// shared by the page cache and the pages a transaction holds.
#pragma once

#include <algorithm>

#include "Udb/DatabaseFileFormat.h"

// Calls fn(page, offset, chunk, done) for each piece of [address, address +
// length) that lies within one page, in order: page is the page's address,
// offset the piece's start within it, chunk its byte count and done the
// bytes of the range before it.  requires: pageSize > 0.
template <class Fn>
void ForEachPageChunk(TUdbAddr address, int length, int pageSize, Fn&& fn) {
  const TUdbAddr size = static_cast<TUdbAddr>(pageSize);
  int done = 0;
  while (length > 0) {
    const TUdbAddr page = address - address % size;
    const int offset = static_cast<int>(address - page);
    const int chunk = std::min(length, pageSize - offset);
    fn(page, offset, chunk, done);
    done += chunk;
    address += static_cast<TUdbAddr>(chunk);
    length -= chunk;
  }
}
