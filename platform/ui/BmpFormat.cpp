// BmpFormat: BMP decoding and encoding (layout in BmpFormat.h).
#include "platform/ui/BmpFormat.h"

#include <map>

#include "platform/core/Exceptions.h"

namespace {

[[noreturn]] void Invalid() { throw EInvalidGraphic("Bitmap image is not valid"); }

std::uint32_t U16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct Header {
  int width = 0;
  int height = 0;
  bool topDown = false;
  int bits = 0;
  std::uint32_t compression = BI_RGB;
  std::uint32_t masks[3] = {0, 0, 0};
  std::vector<QRgb> palette;
};

// Value of a channel under a bit-field mask, scaled to 0..255.
int Channel(std::uint32_t px, std::uint32_t mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  std::uint32_t max = mask >> shift;
  return static_cast<int>(((px & mask) >> shift) * 255 / max);
}

void DecodeRle(const std::uint8_t* p, std::size_t n, const Header& h, QImage& img) {
  auto set = [&](int x, int y, int index) {
    if (x < 0 || x >= h.width || y < 0 || y >= h.height) return;
    if (index >= static_cast<int>(h.palette.size())) Invalid();
    int row = h.topDown ? y : h.height - 1 - y;
    reinterpret_cast<QRgb*>(img.scanLine(row))[x] = h.palette[static_cast<size_t>(index)];
  };
  int x = 0, y = 0;
  std::size_t i = 0;
  const bool four = h.compression == BI_RLE4;
  while (i + 1 < n) {
    int count = p[i], value = p[i + 1];
    i += 2;
    if (count > 0) {  // encoded run
      for (int k = 0; k < count; ++k)
        set(x++, y, four ? ((k & 1) ? value & 0x0F : value >> 4) : value);
      continue;
    }
    if (value == 0) { x = 0; ++y; continue; }  // end of line
    if (value == 1) return;                     // end of bitmap
    if (value == 2) {                           // delta
      if (i + 1 >= n) Invalid();
      x += p[i]; y += p[i + 1];
      i += 2;
      continue;
    }
    // Absolute run of value pixels, padded to a 16-bit boundary.
    std::size_t bytes = four ? (static_cast<std::size_t>(value) + 1) / 2 : static_cast<std::size_t>(value);
    if (i + bytes > n) Invalid();
    for (int k = 0; k < value; ++k) {
      int b = four ? p[i + static_cast<std::size_t>(k / 2)] : p[i + static_cast<std::size_t>(k)];
      set(x++, y, four ? ((k & 1) ? b & 0x0F : b >> 4) : b);
    }
    i += (bytes + 1) & ~static_cast<std::size_t>(1);
  }
}

}  // namespace

QImage DecodeBmp(const std::uint8_t* data, std::size_t size) {
  if (!data) Invalid();
  const std::uint8_t* dib = data;
  std::size_t dibSize = size;
  std::size_t pixelOffset = 0;  // from dib; 0 = right after the palette
  if (size >= kBmpFileHeaderSize && data[0] == 'B' && data[1] == 'M') {
    std::uint32_t off = U32(data + 10);
    dib = data + kBmpFileHeaderSize;
    dibSize = size - kBmpFileHeaderSize;
    if (off < kBmpFileHeaderSize || off > size) Invalid();
    pixelOffset = off - kBmpFileHeaderSize;
  }
  if (dibSize < 4) Invalid();
  std::uint32_t hsize = U32(dib);
  Header h;
  std::size_t pos;
  bool core = false;
  if (hsize == kBmpCoreHeaderSize) {
    if (dibSize < kBmpCoreHeaderSize) Invalid();
    core = true;
    h.width = static_cast<int>(U16(dib + 4));
    h.height = static_cast<int>(U16(dib + 6));
    h.bits = static_cast<int>(U16(dib + 10));
    pos = kBmpCoreHeaderSize;
  } else if (hsize >= kBmpInfoHeaderSize && hsize <= 1024) {
    if (dibSize < hsize) Invalid();
    h.width = static_cast<std::int32_t>(U32(dib + 4));
    std::int32_t height = static_cast<std::int32_t>(U32(dib + 8));
    if (height == INT32_MIN) Invalid();
    h.topDown = height < 0;
    h.height = height < 0 ? -height : height;
    h.bits = static_cast<int>(U16(dib + 14));
    h.compression = U32(dib + 16);
    pos = hsize;
    if (h.compression == BI_BITFIELDS) {
      if (hsize == kBmpInfoHeaderSize) {
        if (dibSize < pos + 12) Invalid();
        for (int k = 0; k < 3; ++k) h.masks[k] = U32(dib + pos + 4 * k);
        pos += 12;
      } else {
        for (int k = 0; k < 3; ++k) h.masks[k] = U32(dib + 40 + 4 * k);
      }
    }
    std::uint32_t used = U32(dib + 32);
    if (h.bits <= 8) {
      std::size_t count = used ? used : (1u << h.bits);
      if (count > 256 || dibSize < pos + 4 * count) Invalid();
      for (std::size_t k = 0; k < count; ++k) {
        const std::uint8_t* q = dib + pos + 4 * k;
        h.palette.push_back(qRgb(q[2], q[1], q[0]));
      }
      pos += 4 * count;
    }
  } else {
    Invalid();
  }
  if (core && h.bits <= 8) {
    std::size_t count = 1u << h.bits;
    if (dibSize < pos + 3 * count) Invalid();
    for (std::size_t k = 0; k < count; ++k) {
      const std::uint8_t* q = dib + pos + 3 * k;
      h.palette.push_back(qRgb(q[2], q[1], q[0]));
    }
    pos += 3 * count;
  }
  if (h.width <= 0 || h.height <= 0 || h.width > 32768 || h.height > 32768 ||
      static_cast<long long>(h.width) * h.height > (1LL << 28))
    Invalid();
  bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
  if (!(h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 || h.bits == 32))
    Invalid();
  if (rle && !((h.compression == BI_RLE8 && h.bits == 8) || (h.compression == BI_RLE4 && h.bits == 4)))
    Invalid();
  if (!rle && h.compression != BI_RGB && !(h.compression == BI_BITFIELDS && (h.bits == 16 || h.bits == 32)))
    Invalid();
  if (h.bits == 16 && h.compression == BI_RGB) {
    h.masks[0] = 0x7C00; h.masks[1] = 0x03E0; h.masks[2] = 0x001F;
  }
  if (pixelOffset == 0) pixelOffset = pos;
  if (pixelOffset > dibSize) Invalid();
  const std::uint8_t* px = dib + pixelOffset;
  std::size_t avail = dibSize - pixelOffset;

  QImage img(h.width, h.height, QImage::Format_RGB32);
  if (img.isNull()) Invalid();
  if (rle) {
    img.fill(h.palette.empty() ? qRgb(0, 0, 0) : h.palette[0]);
    DecodeRle(px, avail, h, img);
    return img;
  }
  std::size_t stride = ((static_cast<std::size_t>(h.width) * h.bits + 31) / 32) * 4;
  if (avail < stride * static_cast<std::size_t>(h.height)) Invalid();
  for (int y = 0; y < h.height; ++y) {
    const std::uint8_t* row = px + stride * static_cast<std::size_t>(h.topDown ? y : h.height - 1 - y);
    QRgb* out = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < h.width; ++x) {
      switch (h.bits) {
        case 1: case 4: case 8: {
          int bitPos = x * h.bits;
          int b = row[bitPos / 8];
          int index = (b >> (8 - h.bits - bitPos % 8)) & ((1 << h.bits) - 1);
          if (index >= static_cast<int>(h.palette.size())) Invalid();
          out[x] = h.palette[static_cast<std::size_t>(index)];
          break;
        }
        case 16: {
          std::uint32_t v = U16(row + 2 * x);
          out[x] = qRgb(Channel(v, h.masks[0]), Channel(v, h.masks[1]), Channel(v, h.masks[2]));
          break;
        }
        case 24:
          out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
          break;
        case 32: {
          std::uint32_t v = U32(row + 4 * x);
          if (h.compression == BI_BITFIELDS)
            out[x] = qRgb(Channel(v, h.masks[0]), Channel(v, h.masks[1]), Channel(v, h.masks[2]));
          else
            out[x] = qRgb((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
          break;
        }
      }
    }
  }
  return img;
}

namespace {

void Put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// The palette for an image: its own colours when they fit, else a fixed one
// (black and white; the 16 classic colours; 3-3-2 levels).
std::vector<QRgb> PaletteFor(const QImage& img, int bits) {
  std::size_t max = 1u << bits;
  std::vector<QRgb> own;
  std::map<QRgb, int> seen;
  for (int y = 0; y < img.height() && own.size() <= max; ++y)
    for (int x = 0; x < img.width() && own.size() <= max; ++x) {
      QRgb c = img.pixel(x, y) | 0xFF000000;
      if (seen.emplace(c, 0).second) own.push_back(c);
    }
  if (own.size() <= max) return own;
  std::vector<QRgb> fixed;
  if (bits == 1) {
    fixed = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
  } else if (bits == 4) {
    const int v[16][3] = {{0, 0, 0}, {128, 0, 0}, {0, 128, 0}, {128, 128, 0}, {0, 0, 128},
                          {128, 0, 128}, {0, 128, 128}, {128, 128, 128}, {192, 192, 192},
                          {255, 0, 0}, {0, 255, 0}, {255, 255, 0}, {0, 0, 255},
                          {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    for (auto& c : v) fixed.push_back(qRgb(c[0], c[1], c[2]));
  } else {
    for (int i = 0; i < 256; ++i)
      fixed.push_back(qRgb(((i >> 5) & 7) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 255 / 3));
  }
  return fixed;
}

int Nearest(const std::vector<QRgb>& pal, QRgb c) {
  int best = 0;
  long bestDist = -1;
  for (std::size_t i = 0; i < pal.size(); ++i) {
    long dr = qRed(pal[i]) - qRed(c), dg = qGreen(pal[i]) - qGreen(c), db = qBlue(pal[i]) - qBlue(c);
    long d = dr * dr + dg * dg + db * db;
    if (bestDist < 0 || d < bestDist) { bestDist = d; best = static_cast<int>(i); }
    if (d == 0) break;
  }
  return best;
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp(const QImage& source, int bits) {
  if (!(bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32)) bits = 24;
  QImage img = source.convertToFormat(QImage::Format_RGB32);
  const int w = img.width(), h = img.height();
  std::vector<QRgb> pal = bits <= 8 ? PaletteFor(img, bits) : std::vector<QRgb>();
  std::map<QRgb, int> index;
  for (std::size_t i = 0; i < pal.size(); ++i) index.emplace(pal[i] | 0xFF000000, static_cast<int>(i));
  std::size_t stride = ((static_cast<std::size_t>(w) * bits + 31) / 32) * 4;
  std::size_t palBytes = (bits <= 8 ? (1u << bits) : 0) * 4;
  std::size_t offset = kBmpFileHeaderSize + kBmpInfoHeaderSize + palBytes;
  std::size_t imageBytes = stride * static_cast<std::size_t>(h);
  std::vector<std::uint8_t> b;
  b.reserve(offset + imageBytes);
  b.push_back('B');
  b.push_back('M');
  Put32(b, static_cast<std::uint32_t>(offset + imageBytes));
  Put32(b, 0);
  Put32(b, static_cast<std::uint32_t>(offset));
  Put32(b, kBmpInfoHeaderSize);
  Put32(b, static_cast<std::uint32_t>(w));
  Put32(b, static_cast<std::uint32_t>(h));
  Put16(b, 1);
  Put16(b, static_cast<std::uint32_t>(bits));
  Put32(b, BI_RGB);
  Put32(b, static_cast<std::uint32_t>(imageBytes));
  Put32(b, 3780);  // 96 DPI
  Put32(b, 3780);
  Put32(b, bits <= 8 ? static_cast<std::uint32_t>(1u << bits) : 0);
  Put32(b, 0);
  for (std::size_t i = 0; i < palBytes / 4; ++i) {
    QRgb c = i < pal.size() ? pal[i] : 0;
    b.push_back(static_cast<std::uint8_t>(qBlue(c)));
    b.push_back(static_cast<std::uint8_t>(qGreen(c)));
    b.push_back(static_cast<std::uint8_t>(qRed(c)));
    b.push_back(0);
  }
  for (int y = h - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(stride, 0);
    const QRgb* in = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    for (int x = 0; x < w; ++x) {
      QRgb c = in[x] | 0xFF000000;
      switch (bits) {
        case 24:
          row[3 * x] = static_cast<std::uint8_t>(qBlue(c));
          row[3 * x + 1] = static_cast<std::uint8_t>(qGreen(c));
          row[3 * x + 2] = static_cast<std::uint8_t>(qRed(c));
          break;
        case 32:
          row[4 * x] = static_cast<std::uint8_t>(qBlue(c));
          row[4 * x + 1] = static_cast<std::uint8_t>(qGreen(c));
          row[4 * x + 2] = static_cast<std::uint8_t>(qRed(c));
          row[4 * x + 3] = 0;
          break;
        default: {
          auto it = index.find(c);
          int k = it != index.end() ? it->second : Nearest(pal, c);
          int bitPos = x * bits;
          row[static_cast<std::size_t>(bitPos / 8)] |= static_cast<std::uint8_t>(k << (8 - bits - bitPos % 8));
        }
      }
    }
    b.insert(b.end(), row.begin(), row.end());
  }
  return b;
}
