// The form-file data of pictures ("Picture.Data", "Glyph.Data"): the
// class library's defined property "Data" of TPicture and TBitmap.
//
//   Glyph.Data   = { size:u32 LE | BMP file (size bytes) }
//   Picture.Data = { n:u8 | class name (n bytes) | the graphic's data }
//     class name "TBitmap" or "TJPEGImage": size:u32 LE | file bytes
//     class name "TIcon":                   the ICO file
// Reading checks every count against the bytes there are and raises
// EInvalidGraphic for a count that does not fit or an unknown class.
#include <memory>

#include "platform/core/Exceptions.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Jpeg.h"

namespace {

TBytes ToBytes(const AnsiString& s) { return TBytes(s.begin(), s.end()); }
AnsiString ToText(const TBytes& b) { return AnsiString(b.begin(), b.end()); }

std::unique_ptr<TGraphic> NewGraphicNamed(const AnsiString& name) {
  if (name == "TBitmap") return std::make_unique<TBitmap>();
  if (name == "TJPEGImage") return std::make_unique<TJPEGImage>();
  if (name == "TIcon") return std::make_unique<TIcon>();
  throw EInvalidGraphic("Unknown picture class " + name + " in form data");
}

}  // namespace

TBytes TGraphic::WriteData() const {
  const TBytes file = SaveToBytes();
  const auto n = static_cast<std::uint32_t>(file.size());
  TBytes data;
  data.reserve(file.size() + 4);
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
  for (std::uint8_t b : file) data.push_back(b);
  return data;
}

void TGraphic::ReadData(const TBytes& data) {
  if (data.size() < 4) throw EInvalidGraphic("Picture data too short");
  std::uint32_t n = 0;
  for (int i = 0; i < 4; ++i) n |= static_cast<std::uint32_t>(data[i]) << (8 * i);
  if (n > data.size() - 4) throw EInvalidGraphic("Picture data shorter than its byte count");
  LoadFromBytes(TBytes(data.begin() + 4, data.begin() + 4 + n));
}

TBytes TIcon::WriteData() const { return SaveToBytes(); }
void TIcon::ReadData(const TBytes& data) { LoadFromBytes(data); }

AnsiString TBitmap::DataText() const { return Empty() ? AnsiString() : ToText(WriteData()); }

void TBitmap::SetDataText(const AnsiString& data) {
  if (data.empty()) {
    SetSize(0, 0);
    return;
  }
  ReadData(ToBytes(data));
}

AnsiString TPicture::DataText() const {
  if (!graphic_ || graphic_->Empty()) return AnsiString();
  const AnsiString name = graphic_->ClassName();
  AnsiString data(1, static_cast<char>(name.size()));
  data += name;
  data += ToText(graphic_->WriteData());
  return data;
}

void TPicture::SetDataText(const AnsiString& data) {
  if (data.empty()) {
    SetGraphic(nullptr);
    return;
  }
  const size_t n = static_cast<unsigned char>(data[0]);
  if (n + 1 > data.size()) throw EInvalidGraphic("Picture data too short");
  std::unique_ptr<TGraphic> graphic = NewGraphicNamed(data.substr(1, n));
  graphic->ReadData(ToBytes(data.substr(n + 1)));
  SetGraphic(graphic.get());
}

PAYROLL_PUBLISH(TBitmap) { p.Binary("Data", &TBitmap::DataText, &TBitmap::SetDataText); }
PAYROLL_PUBLISH(TPicture) { p.Binary("Data", &TPicture::DataText, &TPicture::SetDataText); }
