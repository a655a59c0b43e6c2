// TableHeaderFormat: the table map and the 256-byte table header; used by
// the header reader and writer (TableHeader.h), the index manager and the
// table definitions.  All integers little-endian.
//
// Table map: 8192 bytes, read and written whole at the map address (file:
// page 1 for system tables, page 3 for user tables).
//   offset     size  content
//   8k         4     table id of slot k (k = 0..999); 0 = free
//   8k + 4     4     address of that table's header block
//   8000       192   reserved, 0
// Invariant T1 (table map): used slots are packed from slot 0 (deleting a table moves
// every later slot down), ids are base + j (j = 0..999, base 1 for user
// tables, 1024 for system tables), unique, each with a non-zero address.
//
// Table header (one 256-byte block of the header interface):
//   offset  size  item
//   0       4     table id
//   4       4     write counter, + 1 on every write of the header
//   8       4     header size (256)
//   12      4     record FirstEmpty (head of the record free runs)
//   16      4     last AutoInc value given out
//   20      4     last RecordID given out
//   24      4     blob FirstEmpty
//   28      4     value set only by restructuring
//   32      4     value set only by restructuring
//   36      4     index count (0..34)
//   40      8     reserved, 0
//   48+6i   4     root node address of the index with IndexSequence i
//   52+6i   2     depth of that index (1 = the root is a leaf)
//   ... 255       0
#pragma once

namespace udbhdr {

constexpr int kMapSize = 8192;
constexpr int kMapSlots = 1000;
constexpr int kMapSlotSize = 8;
constexpr int kMapReserved = kMapSlots * kMapSlotSize;
static_assert(kMapReserved + 192 == kMapSize);
constexpr int kUserTableIdBase = 1;
constexpr int kSystemTableIdBase = 1024;

constexpr int kTableHeaderSize = 256;
constexpr int kTableId = 0;
constexpr int kWriteCounter = 4;
constexpr int kHeaderSizeItem = 8;  // offset of the item holding the size
constexpr int kRecordFirstEmpty = 12;
constexpr int kLastAutoInc = 16;
constexpr int kLastRecordID = 20;
constexpr int kBlobFirstEmpty = 24;
constexpr int kRestructureValue1 = 28;
constexpr int kRestructureValue2 = 32;
constexpr int kIndexCount = 36;
constexpr int kReserved = 40;
constexpr int kIndexEntries = 48;
constexpr int kIndexEntrySize = 6;
constexpr int kIndexRoot = 0;   // within an entry
constexpr int kIndexDepth = 4;  // within an entry
constexpr int kMaxIndexes = 34;
constexpr int kHeaderSizeProbe = 64;  // bytes read to learn a header's size

constexpr int IndexRootOffset(int i) { return kIndexEntries + kIndexEntrySize * i + kIndexRoot; }
constexpr int IndexDepthOffset(int i) { return kIndexEntries + kIndexEntrySize * i + kIndexDepth; }
static_assert(IndexDepthOffset(kMaxIndexes - 1) + 2 <= kTableHeaderSize);
static_assert(kIndexEntries + kIndexEntrySize * (kMaxIndexes + 1) > kTableHeaderSize);

// Header layout rule: N index entries fit when N * 6 + 48 does not pass 256.
// Raises the class library's Exception "Debug check -  header size <> 256"
// otherwise.
void CheckHeaderSize(int indexCount);

}  // namespace udbhdr
