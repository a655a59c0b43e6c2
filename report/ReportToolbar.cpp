// Tool-bar controls of the report preview (see ReportToolbar.h).
#include "report/ReportToolbar.h"

#include <QImage>
#include <algorithm>
#include <map>

#include "platform/ui/Canvas.h"
#include "platform/ui/Frames3D.h"
#include "platform/ui/SysColors.h"

namespace {

constexpr TColor kOlive = 0x008080;

using TSizeKey = std::pair<int, int>;
std::unique_ptr<std::map<TSizeKey, std::unique_ptr<TrbGlyphList>>>& Cache() {
  static std::unique_ptr<std::map<TSizeKey, std::unique_ptr<TrbGlyphList>>> cache;
  return cache;
}

QRgb Rgb(TColor c) {
  c = ColorToRGB(c);
  return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

}  // namespace

// ---- glyph cache ----

int TrbGlyphList::Add(const TBitmap& image) {
  for (size_t i = 0; i < used_.size(); ++i)
    if (!used_[i]) {
      slots_[i]->Assign(const_cast<TBitmap*>(&image));
      used_[i] = true;
      return static_cast<int>(i);
    }
  slots_.push_back(std::make_unique<TBitmap>());
  slots_.back()->Assign(const_cast<TBitmap*>(&image));
  used_.push_back(true);
  return static_cast<int>(slots_.size()) - 1;
}

void TrbGlyphList::Release(int index) {
  if (index >= 0 && index < static_cast<int>(used_.size())) used_[static_cast<size_t>(index)] = false;
}

TBitmap* TrbGlyphList::Image(int index) const {
  if (index < 0 || index >= static_cast<int>(used_.size()) || !used_[static_cast<size_t>(index)]) return nullptr;
  return slots_[static_cast<size_t>(index)].get();
}

int TrbGlyphList::InUse() const { return static_cast<int>(std::count(used_.begin(), used_.end(), true)); }

TrbGlyphList* rbGlyphList(int width, int height) {
  auto& cache = Cache();
  if (!cache) cache = std::make_unique<std::map<TSizeKey, std::unique_ptr<TrbGlyphList>>>();
  auto& list = (*cache)[{width, height}];
  if (!list) list = std::make_unique<TrbGlyphList>(width, height);
  return list.get();
}

void rbReleaseGlyph(int width, int height, int index) {
  auto& cache = Cache();
  if (!cache) return;
  auto it = cache->find({width, height});
  if (it == cache->end()) return;
  it->second->Release(index);
  if (it->second->InUse() == 0) cache->erase(it);  // G1
  if (cache->empty()) cache.reset();
}

int rbGlyphListCount() { return Cache() ? static_cast<int>(Cache()->size()) : 0; }
bool rbGlyphCacheExists() { return Cache() != nullptr; }

int rbGlyphCount(int width, int height) {
  if (height <= 0) return 1;
  int n = width / height;
  return n >= 1 && n <= 4 ? n : 1;
}

void rbMakeInactiveGlyph(const TBitmap& source, TColor transparent, TColor face, TBitmap& out) {
  QImage img = source.ToImage().convertToFormat(QImage::Format_RGB32);
  const QRgb t = Rgb(transparent) & 0xFFFFFF, f = Rgb(face) & 0xFFFFFF;
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) {
      QRgb p = line[x] & 0xFFFFFF;
      if (p == t || p == f) continue;
      int g = (77 * qRed(p) + 150 * qGreen(p) + 29 * qBlue(p)) / 256;
      line[x] = qRgb(g, g, g);
    }
  }
  out.SetImage(img);
  out.SetTransparent(true);
}

// ---- TrbSpeedButton ----

TrbSpeedButton::TrbSpeedButton(TComponent* owner) : TSpeedButton(owner) {
  TNotifyEvent own = Glyph()->OnChange;
  Glyph()->OnChange = [this, own](TObject* sender) {
    ReleaseImages();  // G2
    int n = rbGlyphCount(Glyph()->Width(), Glyph()->Height());
    if (n != NumGlyphs()) SetNumGlyphs(n);
    if (own) own(sender);
  };
}

TrbSpeedButton::~TrbSpeedButton() {
  Glyph()->OnChange = nullptr;
  ReleaseImages();
}

void TrbSpeedButton::SetGrayedInactive(bool v) {
  if (grayedInactive_ == v) return;
  grayedInactive_ = v;
  Invalidate();
}

TColor TrbSpeedButton::TransparentColor() const {
  return Glyph()->Empty() ? kOlive : Glyph()->TransparentColor();
}

void TrbSpeedButton::ReleaseImages() {
  for (int& index : images_) {
    if (index >= 0) rbReleaseGlyph(imageW_, imageH_, index);
    index = -1;
  }
}

int TrbSpeedButton::DrawState() const {
  if (!Enabled()) return 1;
  TButtonState s = State();
  if (s == bsDown) return 2;
  if (Down()) return 3;
  if (grayedInactive_ && Flat() && !MouseInControl()) return 4;
  return 0;
}

TBitmap* TrbSpeedButton::StateImage(int state) {
  if (Glyph()->Empty() || state < 0 || state > 4) return nullptr;
  int& index = images_[static_cast<size_t>(state)];
  if (index < 0) {
    TBitmap piece;
    GlyphPiece(Glyph(), NumGlyphs(), state == 4 ? 0 : state, &piece);
    if (state == 4) rbMakeInactiveGlyph(piece, TransparentColor(), clBtnFace, piece);
    imageW_ = piece.Width();
    imageH_ = piece.Height();
    index = rbGlyphList(imageW_, imageH_)->Add(piece);
  }
  return rbGlyphList(imageW_, imageH_)->Image(index);
}

// A down flat button lies on an 8 x 8 checkered pattern of the face colour
// and white; the glyph is the image of the button's state.
void TrbSpeedButton::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  bool checkered = Flat() && Down();
  if (checkered) {
    const QRgb face = Rgb(clBtnFace), white = qRgb(255, 255, 255);
    QImage pattern(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) pattern.setPixel(x, y, (x + y) % 2 ? white : face);
    TBitmap tile;
    tile.SetImage(pattern);
    for (int y = r.Top; y < r.Bottom; y += 8)
      for (int x = r.Left; x < r.Right; x += 8) c->Draw(x, y, &tile);
  }
  if (Glyph()->Empty()) {
    TSpeedButton::Paint();
    return;
  }
  int state = DrawState();
  if (!Flat()) {
    c->Brush()->SetColor(Color());
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(r);
  }
  bool sunken = state == 2 || Down();
  TRect e = r;
  if (!Flat()) DrawEdge(c, e, sunken ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  else if (sunken || (MouseInControl() && Enabled())) DrawEdge(c, e, sunken ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
  TBitmap* image = StateImage(state);
  if (!image) return;
  int off = sunken ? 1 : 0;
  AnsiString text = Caption();
  int gx = (r.Width() - image->Width()) / 2 + off, gy = (r.Height() - image->Height()) / 2 + off;
  if (!text.empty()) {
    c->Font()->Assign(Font());
    gx = 4 + off;
    c->Brush()->SetStyle(bsClear);
    c->TextOut(gx + image->Width() + Spacing(), (r.Height() - c->TextHeight(text)) / 2 + off, text);
    c->Brush()->SetStyle(bsSolid);
  }
  c->Draw(gx, gy, image);
}

// ---- TrbTBButton, TrbTBSeparator ----

TrbTBButton::TrbTBButton(TComponent* owner) : TrbSpeedButton(owner) { SetFlat(true); }

TrbTBSeparator::TrbTBSeparator(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 8, 22); }

void TrbTBSeparator::SetDrawBevel(bool v) {
  if (drawBevel_ == v) return;
  drawBevel_ = v;
  Invalidate();
}

// A grooved line in the middle of the gap: a shadow line and a highlight
// line beside it.
void TrbTBSeparator::Paint() {
  if (!drawBevel_) return;
  TCanvas* c = Canvas();
  int x = Width() / 2 - 1;
  c->Pen()->SetColor(clBtnShadow);
  c->MoveTo(x, 1);
  c->LineTo(x, Height() - 1);
  c->Pen()->SetColor(clBtnHighlight);
  c->MoveTo(x + 1, 1);
  c->LineTo(x + 1, Height() - 1);
}
