// Cursors: stock shapes, the program's cursor table and the cursor
// decoder.
//
// Cursor image layout (after the hot spot): a DIB whose info header gives
// twice the cursor's height; the rows hold the XOR image (colour, with the
// palette for 1/4/8 bits) followed by the AND mask (1 bit per pixel, rows
// padded to 4 bytes), both bottom-up.  AND = 1 marks a transparent pixel;
// AND = 1 with a non-black XOR pixel inverts the screen, shown here as
// black (Qt cursors cannot invert).
#include "platform/ui/Cursors.h"

#include "platform/core/TypInfo.h"

#include <QImage>
#include <QPixmap>
#include <map>

#include "platform/ui/BmpFormat.h"
#include "platform/ui/ResourceImages.h"

namespace {

std::map<TCursor, QCursor>& Table() {
  static std::map<TCursor, QCursor> table;
  return table;
}

std::uint32_t U16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

[[noreturn]] void Invalid() { throw EInvalidGraphic("Cursor image is not valid"); }

QImage DecodeCursorDib(const std::uint8_t* dib, std::size_t size) {
  if (size < kBmpInfoHeaderSize || U32(dib) < kBmpInfoHeaderSize) Invalid();
  std::uint32_t headerSize = U32(dib);
  int width = static_cast<std::int32_t>(U32(dib + 4));
  int height2 = static_cast<std::int32_t>(U32(dib + 8));
  int bits = static_cast<int>(U16(dib + 14));
  if (width <= 0 || width > 256 || height2 <= 0 || height2 > 512 || height2 % 2) Invalid();
  int height = height2 / 2;
  std::uint32_t used = U32(dib + 32);
  std::size_t palette = bits <= 8 ? 4 * static_cast<std::size_t>(used ? used : (1u << bits)) : 0;
  std::size_t xorStride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
  std::size_t andStride = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
  std::size_t xorOffset = headerSize + palette;
  std::size_t andOffset = xorOffset + xorStride * static_cast<std::size_t>(height);
  if (andOffset + andStride * static_cast<std::size_t>(height) > size) Invalid();
  // The colour image: the same DIB with the true height.
  std::vector<std::uint8_t> colour(dib, dib + andOffset);
  colour[8] = static_cast<std::uint8_t>(height & 0xFF);
  colour[9] = static_cast<std::uint8_t>((height >> 8) & 0xFF);
  colour[10] = colour[11] = 0;
  QImage img = DecodeBmp(colour.data(), colour.size()).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = dib + andOffset + andStride * static_cast<std::size_t>(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      bool transparent = (row[x / 8] >> (7 - x % 8)) & 1;
      if (!transparent) continue;
      QRgb p = img.pixel(x, y);
      img.setPixel(x, y, (p & 0xFFFFFF) ? qRgba(0, 0, 0, 255) : qRgba(0, 0, 0, 0));
    }
  }
  return img;
}

}  // namespace

QCursor CursorShape(TCursor cursor) {
  switch (cursor) {
    case crDefault: case crArrow: return QCursor(Qt::ArrowCursor);
    case crNone: return QCursor(Qt::BlankCursor);
    case crCross: return QCursor(Qt::CrossCursor);
    case crIBeam: return QCursor(Qt::IBeamCursor);
    case crSizeNESW: return QCursor(Qt::SizeBDiagCursor);
    case crSizeNS: return QCursor(Qt::SizeVerCursor);
    case crSizeNWSE: return QCursor(Qt::SizeFDiagCursor);
    case crSizeWE: return QCursor(Qt::SizeHorCursor);
    case crUpArrow: return QCursor(Qt::UpArrowCursor);
    case crHourGlass: case crSQLWait: return QCursor(Qt::WaitCursor);
    case crDrag: case crMultiDrag: return QCursor(Qt::DragCopyCursor);
    case crNoDrop: case crNo: return QCursor(Qt::ForbiddenCursor);
    case crHSplit: return QCursor(Qt::SplitHCursor);
    case crVSplit: return QCursor(Qt::SplitVCursor);
    case crAppStart: return QCursor(Qt::BusyCursor);
    case crHelp: return QCursor(Qt::WhatsThisCursor);
    case crHandPoint: return QCursor(Qt::PointingHandCursor);
    case crSizeAll: return QCursor(Qt::SizeAllCursor);
    default: break;
  }
  auto it = Table().find(cursor);
  return it != Table().end() ? it->second : QCursor(Qt::ArrowCursor);
}

void SetCursorShape(TCursor cursor, const QCursor& shape) { Table()[cursor] = shape; }

QCursor DecodeCursor(const TBytes& bytes) {
  const std::uint8_t* p = bytes.data();
  const std::size_t n = bytes.size();
  int hotX = 0, hotY = 0;
  QImage img;
  if (n >= 6 && U16(p) == 0 && U16(p + 2) == 2) {
    // .cur file: ICONDIR (6 bytes) then 16-byte entries:
    //   0 width  1 height  2 colours  3 reserved  4 hot x (u16)  6 hot y (u16)
    //   8 data size (u32)  12 data offset (u32)
    if (U16(p + 4) == 0 || n < 6 + 16) Invalid();
    const std::uint8_t* e = p + 6;
    hotX = static_cast<int>(U16(e + 4));
    hotY = static_cast<int>(U16(e + 6));
    std::uint32_t size = U32(e + 8), offset = U32(e + 12);
    if (offset > n || size > n - offset) Invalid();
    img = DecodeCursorDib(p + offset, size);
  } else {
    if (n < 4) Invalid();
    hotX = static_cast<int>(U16(p));
    hotY = static_cast<int>(U16(p + 2));
    img = DecodeCursorDib(p + 4, n - 4);
  }
  hotX = std::min(hotX, img.width() - 1);
  hotY = std::min(hotY, img.height() - 1);
  return QCursor(QPixmap::fromImage(img), hotX, hotY);
}

QCursor LoadCursorFromResource(const AnsiString& name) {
  try {
    return DecodeCursor(ResourceCursorBytes(name));
  } catch (const EResNotFound&) {
    throw EOutOfResources("Cannot load cursor resource");
  } catch (const EInvalidGraphic&) {
    throw EOutOfResources("Cannot load cursor resource");
  }
}

const TIntegerIdents& CursorIdents() {
  static const TIntegerIdents idents{
      {"crDefault", crDefault},
      {"crNone", crNone},
      {"crArrow", crArrow},
      {"crCross", crCross},
      {"crIBeam", crIBeam},
      {"crSizeNESW", crSizeNESW},
      {"crSizeNS", crSizeNS},
      {"crSizeNWSE", crSizeNWSE},
      {"crSizeWE", crSizeWE},
      {"crUpArrow", crUpArrow},
      {"crHourGlass", crHourGlass},
      {"crDrag", crDrag},
      {"crNoDrop", crNoDrop},
      {"crHSplit", crHSplit},
      {"crVSplit", crVSplit},
      {"crMultiDrag", crMultiDrag},
      {"crSQLWait", crSQLWait},
      {"crNo", crNo},
      {"crAppStart", crAppStart},
      {"crHelp", crHelp},
      {"crHandPoint", crHandPoint},
      {"crSizeAll", crSizeAll},
  };
  return idents;
}
