// DatabaseFileFormat: the fixed layout of a database file, shared by the
// disk manager (which writes it) and the allocation map (which reads it).
// Every integer in the file is little-endian; addresses are 32-bit byte
// offsets (files stay below 2 GB).
//
// Page 0 of a file with page size P (4096 in this system):
//
//   offset  size  content
//   0       254   database header (written by the connection)
//   254     514   zero
//   768     40    security header (below)
//   1024    128   global header: DWORD items addressed by byte offset
//   1152    rest  zero
//
// Pages 1-2 hold the system table map, pages 3-4 the user table map, page 5
// the first allocation map page; a new file is exactly those 6 pages.
#pragma once

#include <cstdint>

using TUdbAddr = std::uint32_t;  // byte offset of a page or block in the file

namespace udbfmt {

constexpr int kDefaultPageSize = 4096;
constexpr int kMinPageSize = 128;
constexpr int kNewFilePages = 6;         // pages 0-5
constexpr int kStructurePages = 5;       // pages 0-4: headers and table maps
constexpr int kFirstMapPageNo = 5;
constexpr std::int64_t kMaxFileSize = 0x7FFFFFFF;  // addresses are signed 32-bit in the format

// Security header: 40 bytes at 768, raw (never cached, never enciphered).
//   offset size  content
//   0      4     40, the header's size
//   4      8     time stamp of writing (TDateTime, local time)
//   12     2     1
//   14     2     1
//   16     20    SHA-1 of the master key: H0..H4, each little-endian
//   36     4     CRC-32 of the 40 bytes with this field zero
constexpr int kSecurityHeaderOffset = 768;
constexpr int kSecurityHeaderSize = 40;
constexpr int kSecSizeField = 0;
constexpr int kSecTimeStamp = 4;
constexpr int kSecVersion1 = 12;
constexpr int kSecVersion2 = 14;
constexpr int kSecDigest = 16;
constexpr int kSecCrc = 36;
static_assert(kSecDigest + 20 == kSecCrc);
static_assert(kSecCrc + 4 == kSecurityHeaderSize);

// Global header: 128 bytes at 1024, raw.  Items are DWORDs at byte offsets
// 1..127 (offset 0 and 128+ are refused).
constexpr int kGlobalHeaderOffset = 1024;
constexpr int kGlobalHeaderSize = 128;
constexpr int kItemFreeMapPageHint = 16;  // a map page with free entries, 0 = none
constexpr int kItemFirstMapPage = 20;     // address of map page 0
constexpr int kItemMapPageCount = 24;     // number of map pages
constexpr int kItemUserTableHdrFirstEmpty = 28;
constexpr int kItemSystemTableHdrFirstEmpty = 32;
constexpr int kItemIndexNodeFirstEmpty = 36;
static_assert(kSecurityHeaderOffset + kSecurityHeaderSize <= kGlobalHeaderOffset);
static_assert(kGlobalHeaderOffset + kGlobalHeaderSize <= kDefaultPageSize);

// Allocation map page (P bytes); E = (P - 20) / 2 entries, 2038 for 4096.
//   offset  size  content
//   0       4     this map page's number m
//   4       4     address of the next map page, 0 for the last
//   8       2     head of the free chain (byte offset of an entry), 0 = none
//   10      10    zero
//   20+2k   2     entry k: page m * E + k
// Entry values: 0 never allocated; 1..0x7FFF in use (table id * 16 + usage);
// 0x8000 + link free, link = offset of the next free entry (0 = last).  The
// free chain runs in ascending offset order and reaches only free entries.
constexpr int kMapPageNumber = 0;
constexpr int kMapNextPage = 4;
constexpr int kMapFreeHead = 8;
constexpr int kMapEntries = 20;
constexpr std::uint16_t kMapEntryFree = 0x8000;
constexpr std::uint16_t kMapLinkMask = 0x7FFF;
constexpr int MapEntriesPerPage(int pageSize) { return (pageSize - kMapEntries) / 2; }
static_assert(MapEntriesPerPage(4096) == 2038);

// Usage kinds of the file's own pages in the map (owner table id 0).
constexpr int kUsageStructure = 1;  // pages 0-4
constexpr int kUsageMapPage = 2;

// Byte range held locked on the database file while a connection has it open.
constexpr std::int64_t kOpenLockOffset = 0x0FF10000;
constexpr std::int64_t kOpenLockLength = 1000;

// Little-endian access to file images.
inline std::uint32_t GetU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v >> 16);
  p[3] = std::uint8_t(v >> 24);
}
inline std::uint16_t GetU16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}

}  // namespace udbfmt
