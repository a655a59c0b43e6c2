// GRDDBIF: the data grid's own binary exchange format, written by
// TDBGridExExportAsGRDDBIF and read by TDBGridExImportAsGRDDBIF (and put
// on the clipboard under the format name "GRDDBIF").  All integers are
// little-endian.
//
//   offset  size      content
//   0       7         "GRDDBIF"
//   7       1         format version, 0x01 (readers ignore it)
//   8       4         N, signed 32-bit: number of exported columns
//   12      variable  N column records: 1 byte visible flag (1/0), then the
//                     column name ended by a zero byte (always written
//                     empty: the record is two bytes)
//   then    variable  the cells, record by record, column by column, each a
//                     tagged value (below); every record has exactly N
//   last    1         tag 0, end of data
//
//   tag  size   value
//   0    1      end of data
//   1    1      no value (no field, or a type not carried): leaves the
//               target as it is
//   2    1      null: clears the target
//   3    5      signed 32-bit integer
//   4    9      IEEE double
//   5    5+L    signed 32-bit length L, then L bytes of text
//   6    5+L    signed 32-bit length L, then L bytes of raw field data
//
// Invariants a reader relies on (checked over the whole stream by
// ValidateGrdDbif before anything is stored):
//   G1  the header is complete and starts with "GRDDBIF"; N >= 0
//   G2  every column record has its terminating zero byte
//   G3  every tag is 0..6 and every value is complete; lengths are >= 0
//   G4  the values before the end tag are a whole number of records
//       (a multiple of N; none at all when N is 0)
//   G5  the end tag is present
//
// Layer: grid.
#pragma once

#include <cstdint>

namespace grddbif {

constexpr char kSignature[] = "GRDDBIF";
constexpr int kSignatureSize = 7;
constexpr int kVersionOffset = 7;
constexpr int kColumnCountOffset = 8;
constexpr int kHeaderSize = 12;
constexpr std::uint8_t kVersion = 0x01;
static_assert(sizeof(kSignature) - 1 == kSignatureSize);
static_assert(kColumnCountOffset + 4 == kHeaderSize);

enum TTag : std::uint8_t {
  kTagEnd = 0,
  kTagNoValue = 1,
  kTagNull = 2,
  kTagInteger = 3,
  kTagDouble = 4,
  kTagText = 5,
  kTagBytes = 6,
};
constexpr int kTagCount = 7;

// Message of every malformed stream.
constexpr char kInvalidFormat[] = "Invalid GRDDBIF format";

}  // namespace grddbif
