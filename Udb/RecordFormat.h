// RecordFormat: the stored record, identical in memory and on disk; one
// record is one block of the table's record I/O interface.  Shared by the
// field layout (InternalFields), the record manager, keys and the dataset.
//
//   offset  size  content
//   0       1     in-use mark: 1 for a live record
//   1       1     reserved, 0
//   2       4     RecordTag: the table's OwnerFlag (table id * 16) + 9, the
//                 owner value of the record interface
//   6       4     RecordID: unique in the table (header's last RecordID + 1)
//   10      4     ChangeCount: + 1 on every update
//   14      n     null flags, one byte per field in field order: 1 = the
//                 field holds a value, 0 = null
//   14 + n  ...   field data in field order:
//     ftString                WORD size marker (bytes in use), then
//                             FieldSize = declared size + 1 bytes
//     ftSmallint, ftWord      2        ftInteger, ftAutoInc   4
//     ftBoolean               1 (0/1)  ftFloat, ftCurrency    8 (IEEE double)
//     ftDate, ftTime, ftDateTime  8: TDateTime double
//     ftBlob, ftMemo, ftGraphic, ftFmtMemo  8: DWORD address of the blob's
//                             first block (0 = none), DWORD length in bytes
// Fields Integer, String(10), Boolean: flags at 14..16, the Integer at 17,
// the marker at 21, the string at 23, the Boolean at 34; RecordSize 35.
#pragma once

#include <cstdint>

#include "Udb/DatabaseFileFormat.h"

namespace udbrec {

constexpr int kInUse = 0;
constexpr int kReserved = 1;
constexpr int kRecordTag = 2;
constexpr int kRecordID = 6;
constexpr int kChangeCount = 10;
constexpr int kNullFlags = 14;
constexpr int kHeaderSize = kNullFlags;
static_assert(kRecordTag + 4 == kRecordID);
static_assert(kRecordID + 4 == kChangeCount);
static_assert(kChangeCount + 4 == kNullFlags);

constexpr std::uint8_t kLiveMark = 1;
constexpr std::uint32_t kRecordTagUsage = 9;  // RecordTag = OwnerFlag + 9
constexpr int kSizeMarkerSize = 2;
constexpr int kBlobRefSize = 8;               // address, length
constexpr int kMaxFields = 255;               // the field index map's reach

inline bool IsLiveRecordOf(const std::uint8_t* record, std::uint32_t recordTag) {
  return record[kInUse] == kLiveMark && udbfmt::GetU32(record + kRecordTag) == recordTag;
}

}  // namespace udbrec
