// BmpFormat: the Windows BMP reader and writer that resource bitmaps,
// report streams and TBitmap files go through.
//
// File layout (little-endian):
//   BITMAPFILEHEADER, 14 bytes, absent in resource bitmaps ("DIB only"):
//     0 "BM"   2 file size (u32)   6 reserved (2 x u16)   10 pixel offset (u32)
//   info header, one of:
//     BITMAPCOREHEADER 12 bytes: 0 size  4 width (u16)  6 height (u16)
//                                8 planes (u16)  10 bits per pixel (u16)
//     BITMAPINFOHEADER 40 bytes (V4: 108, V5: 124, same first 40):
//        0 size  4 width (i32)  8 height (i32, negative = top-down rows)
//       12 planes (u16)  14 bits per pixel (u16)  16 compression (u32)
//       20 image size (u32)  24/28 pixels per metre x/y (i32)
//       32 colours used (u32)  36 colours important (u32)
//   BI_BITFIELDS masks (3 x u32) after a 40-byte header (inside V4/V5)
//   palette for 1/4/8 bits: colours-used (or 2^bits) entries of
//     B, G, R, 0 (4 bytes; 3 bytes with the core header)
//   rows bottom-up (unless the height is negative), each padded to a
//   multiple of 4 bytes; or an RLE8/RLE4 stream.
// Supported: 1, 4, 8 (plain and RLE), 16 (5-5-5 or bit fields), 24, 32 bits.
#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr std::size_t kBmpFileHeaderSize = 14;
constexpr std::size_t kBmpInfoHeaderSize = 40;
constexpr std::size_t kBmpCoreHeaderSize = 12;
constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_RLE8 = 1;
constexpr std::uint32_t BI_RLE4 = 2;
constexpr std::uint32_t BI_BITFIELDS = 3;

// Decodes a BMP file, or a DIB without the file header.  Returns a
// Format_RGB32 image; raises EInvalidGraphic "Bitmap image is not valid"
// for anything malformed or truncated.
QImage DecodeBmp(const std::uint8_t* data, std::size_t size);
// Encodes image as a BMP file with the given bits per pixel (1, 4, 8, 24
// or 32).  Palettes hold the image's own colours when they fit, else a
// fixed palette with the nearest colour per pixel.
std::vector<std::uint8_t> EncodeBmp(const QImage& image, int bitsPerPixel);
