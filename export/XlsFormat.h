// XlsFormat: the records of the worksheet files the exporter writes (the
// early binary worksheet layout: one sheet, one record per cell).  Shared
// by the writer and its tests.
//
// Every record is a 4-byte header, u16 opcode then u16 body length,
// followed by the body; all integers little-endian.
//
//   | record     | opcode | length | body                                         |
//   |------------|--------|--------|----------------------------------------------|
//   | BOF        | 0x0809 | 6      | u16 0, u16 0x0010, u16 0                     |
//   | CODEPAGE   | 0x0042 | 2      | u16 936: texts are code-page-936 bytes       |
//   | DIMENSIONS | 0x0200 | 10     | u16 0, u16 last row, u16 0, u16 columns, u16 0 |
//   | COLWIDTH   | 0x0024 | 4      | u8 column, u8 column, u16 width * 256        |
//   | BLANK      | 0x0001 | 7      | cell head                                    |
//   | INTEGER    | 0x0002 | 9      | cell head, u16 value (0..255 only)           |
//   | NUMBER     | 0x0003 | 15     | cell head, IEEE double                       |
//   | LABEL      | 0x0004 | 8 + n  | cell head, u8 n, n bytes of text (n <= 255)  |
//   | EOF        | 0x000A | 0      |                                              |
//
// Cell head (7 bytes): u16 row, u16 column (both 0-based), attribute bytes
// 0x00, 0x00 and the horizontal alignment: 1 left, 3 right, 2 centre.
//
// The CODEPAGE record follows BOF: without it a reader takes the texts in
// its own system code page, and a reader outside a Chinese Windows (a
// spreadsheet on this system's Linux desktop) shows the Chinese texts as
// Latin-1 garbage.

// Limits (X1): rows 0..65535, columns 0..255, widths 0..255 characters; the
// exporter refuses a sheet beyond the first two before it creates the file
// and clamps widths.
#pragma once

#include <cstdint>

namespace xls {

inline constexpr std::uint16_t kBof = 0x0809;
inline constexpr std::uint16_t kCodePage = 0x0042;
inline constexpr std::uint16_t kDimensions = 0x0200;
inline constexpr std::uint16_t kColWidth = 0x0024;
inline constexpr std::uint16_t kBlank = 0x0001;
inline constexpr std::uint16_t kInteger = 0x0002;
inline constexpr std::uint16_t kNumber = 0x0003;
inline constexpr std::uint16_t kLabel = 0x0004;
inline constexpr std::uint16_t kEof = 0x000A;

inline constexpr int kRecordHeaderSize = 4;
inline constexpr int kCellHeadSize = 7;
inline constexpr int kBofSize = 6;
inline constexpr int kCodePageSize = 2;
inline constexpr int kDimensionsSize = 10;
inline constexpr int kColWidthSize = 4;
inline constexpr int kIntegerSize = kCellHeadSize + 2;
inline constexpr int kNumberSize = kCellHeadSize + 8;
inline constexpr int kLabelHeadSize = kCellHeadSize + 1;
static_assert(kIntegerSize == 9 && kNumberSize == 15 && kLabelHeadSize == 8);

inline constexpr std::uint16_t kBofSheetType = 0x0010;
inline constexpr std::uint16_t kCodePage936 = 936;
inline constexpr int kMaxRows = 65536;
inline constexpr int kMaxColumns = 256;
inline constexpr int kMaxWidth = 255;
inline constexpr int kMaxLabel = 255;
inline constexpr int kMaxSmallInteger = 255;

// Alignment codes of the cell head.
inline constexpr std::uint8_t kAlignLeft = 1;
inline constexpr std::uint8_t kAlignCentre = 2;
inline constexpr std::uint8_t kAlignRight = 3;

}  // namespace xls
