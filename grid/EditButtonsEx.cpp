// Edit buttons, their faces and the face cache (see EditButtonsEx.h).
#include "grid/EditButtonsEx.h"

#include <algorithm>
#include <cstring>

#include "platform/ui/Canvas.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/Frames3D.h"
#include "platform/ui/Graphics.h"
#include "platform/ui/Messages.h"
#include "platform/ui/SysColors.h"

namespace {

constexpr unsigned kRepeatTimer = 1;
constexpr unsigned kFirstRepeat = 400;
constexpr unsigned kNextRepeat = 100;

}  // namespace

int PainterStyleOf(TEditButtonStyleEx style) {
  switch (style) {
    case ebsDropDownEx: return bpsDropDown;
    case ebsEllipsisEx: return bpsEllipsis;
    case ebsGlyphEx: return bpsUpDown;
    case ebsUpDownEx: return bpsUpDown;
    case ebsPlusEx: return bpsPlus;
    case ebsMinusEx: return bpsMinus;
  }
  return bpsDropDown;
}

int FlatButtonWidth() {
  static const int width = [] {
    TFont font;
    int h = FontMetrics().Metrics(font).Height;
    int w = (h * 2 + 1) / 3;
    if (w % 2 == 0) --w;
    return std::min(w, GetSystemMetrics(SM_CXVSCROLL));
  }();
  return width;
}

TFaceKey MakeFaceKey(int width, int height, int style, bool flat, int pressed, bool active,
                     bool enabled, int downButton) {
  TFaceKey k{};
  std::int32_t w = width, h = height;
  std::memcpy(k.data(), &w, 4);
  std::memcpy(k.data() + 4, &h, 4);
  k[8] = static_cast<std::uint8_t>(style);
  k[9] = flat ? 1 : 0;
  k[12] = static_cast<std::uint8_t>(pressed);
  k[13] = active ? 1 : 0;
  k[14] = enabled ? 1 : 0;
  k[15] = static_cast<std::uint8_t>(downButton);
  return k;
}

// ---------------------------------------------------------------------------
// Edit-button items

TEditButtonEx::TEditButtonEx(TCollection* collection)
    : TCollectionItem(collection), glyph_(std::make_unique<TBitmap>()) {}

TEditButtonEx::~TEditButtonEx() = default;

void TEditButtonEx::Assign(TPersistent* source) {
  auto* s = dynamic_cast<TEditButtonEx*>(source);
  if (s == nullptr) return TCollectionItem::Assign(source);
  glyph_->Assign(s->glyph_.get());
  numGlyphs_ = s->numGlyphs_;
  style_ = s->style_;
  shortCut_ = s->shortCut_;
  visible_ = s->visible_;
  width_ = s->width_;
  Changed();
}

void TEditButtonEx::SetGlyph(TBitmap* value) {
  glyph_->Assign(value);
  Changed();
}

void TEditButtonEx::SetHint(const AnsiString& value) {
  if (hint_ == value) return;
  hint_ = value;
  Changed();
}

void TEditButtonEx::SetNumGlyphs(int value) {
  value = std::clamp(value, 1, 4);
  if (numGlyphs_ == value) return;
  numGlyphs_ = value;
  Changed();
}

void TEditButtonEx::SetShortCut(unsigned short value) {
  if (shortCut_ == value) return;
  shortCut_ = value;
  Changed();
}

void TEditButtonEx::SetStyle(TEditButtonStyleEx value) {
  if (style_ == value) return;
  style_ = value;
  Changed();
}

void TEditButtonEx::SetVisible(bool value) {
  if (visible_ == value) return;
  visible_ = value;
  Changed();
}

void TEditButtonEx::SetWidth(int value) {
  if (width_ == value) return;
  width_ = value;
  Changed();
}

TVisibleEditButtonEx::TVisibleEditButtonEx(TCollection* collection) : TEditButtonEx(collection) {
  visible_ = true;
  shortCut_ = 32808;  // Alt+Down
}

TEditButtonsEx::TEditButtonsEx(TPersistent* owner)
    : TCollection(ItemClassOf<TVisibleEditButtonEx>()), owner_(owner) {}

void TEditButtonsEx::Update(TCollectionItem* item) {
  TCollection::Update(item);
  if (OnChanged) OnChanged(this);
}

// ---------------------------------------------------------------------------
// The cache

size_t TButtonsBitmapCache::TKeyHash::operator()(const TFaceKey& k) const {
  size_t h = 1469598103934665603ull;
  for (std::uint8_t b : k) h = (h ^ b) * 1099511628211ull;
  return h;
}

TBitmap* TButtonsBitmapCache::Get(const TFaceKey& key, int width, int height,
                                  const std::function<void(TCanvas*, const TRect&)>& paint) {
  auto it = index_.find(key);
  if (it != index_.end()) {
    entries_.splice(entries_.begin(), entries_, it->second);
    return entries_.front().bitmap.get();
  }
  if (entries_.size() >= kCapacity) {
    index_.erase(entries_.back().key);
    entries_.pop_back();
  }
  auto bmp = std::make_unique<TBitmap>();
  bmp->SetSize(std::max(width, 0), std::max(height, 0));
  if (width > 0 && height > 0) paint(bmp->Canvas(), TRect(0, 0, width, height));
  entries_.push_front(TEntry{key, std::move(bmp)});
  index_[key] = entries_.begin();
  return entries_.front().bitmap.get();
}

void TButtonsBitmapCache::Clear() {
  index_.clear();
  entries_.clear();
}

TButtonsBitmapCache& ButtonsBitmapCache() {
  static TButtonsBitmapCache cache;
  return cache;
}

// ---------------------------------------------------------------------------
// Painting one face

namespace {

void FillColor(TCanvas* c, const TRect& r, TColor color) {
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(color);
  c->FillRect(r);
}

// Background of the ellipsis, plus and minus faces.
void PlainBackground(TCanvas* c, TRect r, bool pressed, bool flat) {
  if (flat) {
    FillColor(c, r, clBtnFace);
    return;
  }
  DrawEdge(c, r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
  FillColor(c, r, clBtnFace);
}

void Dots(TCanvas* c, const TRect& r, bool pressed, bool enabled) {
  int w = r.Width(), h = r.Height();
  int size = w < 8 ? 1 : 2, gap = w < 12 ? 1 : 2;
  int total = size * 3 + gap * 2;
  int x = r.Left + (w - total) / 2 + (pressed ? 1 : 0);
  int y = r.Top + (h - size) / 2 + (pressed ? 1 : 0);
  auto draw = [&](int dx, TColor color) {
    for (int i = 0; i < 3; ++i) {
      int left = x + dx + i * (size + gap);
      FillColor(c, TRect(left, y + dx, left + size, y + dx + size), color);
    }
  };
  if (enabled) {
    draw(0, clBtnText);
  } else {
    draw(1, clBtnHighlight);
    draw(0, clBtnShadow);
  }
}

void PlusMinus(TCanvas* c, const TRect& r, bool plus, bool pressed, bool flat, bool enabled) {
  int m = std::min(r.Width(), r.Height());
  int len = std::max(1, m * 4 / 7);
  int t = std::max(1, len / 3);
  if (flat) --len;
  if (len % 2 != m % 2) ++len;
  if (plus && len % 2 != t % 2) len += m < 12 ? 1 : -1;
  len = std::max(len, 1);
  int cx = r.Left + (r.Width() - len) / 2 + (pressed ? 1 : 0);
  int cy = r.Top + (r.Height() - t) / 2 + (pressed ? 1 : 0);
  TColor color = enabled ? clBtnText : clBtnShadow;
  FillColor(c, TRect(cx, cy, cx + len, cy + t), color);
  if (plus) {
    int vx = r.Left + (r.Width() - t) / 2 + (pressed ? 1 : 0);
    int vy = r.Top + (r.Height() - len) / 2 + (pressed ? 1 : 0);
    FillColor(c, TRect(vx, vy, vx + t, vy + len), color);
  }
}

void PaintFace(TCanvas* c, TRect r, int style, bool flat, bool pressed, bool active,
               bool enabled, bool upHalf) {
  unsigned flags = (pressed ? DFCS_PUSHED : 0) | (flat ? DFCS_FLAT : 0) |
                   (enabled ? 0 : DFCS_INACTIVE);
  TRect face = r;
  if (flat) face = active ? TRect(r.Left - 1, r.Top - 1, r.Right + 1, r.Bottom + 1)
                          : TRect(r.Left - 2, r.Top - 2, r.Right + 2, r.Bottom + 2);
  switch (style) {
    case bpsDropDown:
      DrawFrameControl(c, face, DFC_SCROLL, DFCS_SCROLLCOMBOBOX | flags);
      break;
    case bpsUpDown:
      DrawFrameControl(c, face, DFC_SCROLL, (upHalf ? DFCS_SCROLLUP : DFCS_SCROLLDOWN) | flags);
      break;
    case bpsEllipsis:
      PlainBackground(c, r, pressed, flat);
      Dots(c, r, pressed, enabled);
      break;
    case bpsPlus:
    case bpsMinus:
      PlainBackground(c, r, pressed, flat);
      PlusMinus(c, r, style == bpsPlus, pressed, flat, enabled);
      break;
    default:
      break;
  }
  if (flat && active) {
    TRect edge = r;
    DrawEdge(c, edge, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
  }
}

void CopyFace(TCanvas* target, const TRect& r, TBitmap* face) {
  if (r.Width() <= 0 || r.Height() <= 0) return;
  target->StretchDraw(r, face);
}

void FaceFromCache(TCanvas* canvas, const TRect& r, int style, bool flat, bool pressed,
                   bool active, bool enabled, int downButton) {
  int w = std::max(r.Width(), 0), h = std::max(r.Height(), 0);
  TFaceKey key = MakeFaceKey(w, h, style, flat, pressed ? 1 : 0, active, enabled, downButton);
  TBitmap* face = ButtonsBitmapCache().Get(key, w, h, [&](TCanvas* c, const TRect& fr) {
    PaintFace(c, fr, style, flat, pressed, active, enabled, downButton == 0);
  });
  CopyFace(canvas, r, face);
}

}  // namespace

void DrawButtonFace(TCanvas* canvas, const TRect& rect, TColor parentColor, bool enabled,
                    bool active, bool flat, int downButton, int style) {
  TRect r = rect;
  if (flat && !active) {
    FillColor(canvas, rect, parentColor);
    r = TRect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1);
  }
  if (style == bpsUpDown) {
    int h = r.Height();
    TRect up(r.Left, r.Top, r.Right, r.Top + h / 2);
    TRect down(r.Left, r.Bottom - h / 2, r.Right, r.Bottom);
    FaceFromCache(canvas, up, style, flat, downButton == 1, active, enabled, 0);
    FaceFromCache(canvas, down, style, flat, downButton == 2, active, enabled, 1);
    if (up.Bottom < down.Top) FillColor(canvas, TRect(r.Left, up.Bottom, r.Right, down.Top),
                                        parentColor);
    return;
  }
  FaceFromCache(canvas, r, style, flat, downButton != 0, active, enabled, 0);
}

void DrawCheckBoxFace(TCanvas* canvas, const TRect& rect, TColor parentColor,
                      TCheckBoxState state, bool flat, bool enabled) {
  int side = std::min(rect.Width(), rect.Height());
  int left = rect.Left + (rect.Width() - side + 1) / 2;
  int top = rect.Top + (rect.Height() - side + 1) / 2;
  TRect r(left, top, left + side, top + side);
  if (flat) {
    FillColor(canvas, r, parentColor);
    r = TRect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1);
  }
  int w = std::max(r.Width(), 0), h = std::max(r.Height(), 0);
  int pressed = state == cbChecked ? 1 : state == cbGrayed ? 2 : 0;
  TFaceKey key = MakeFaceKey(w, h, bpsCheckBox, flat, pressed, false, enabled, 0);
  TBitmap* face = ButtonsBitmapCache().Get(key, w, h, [&](TCanvas* c, const TRect& fr) {
    unsigned flags = DFCS_BUTTONCHECK | (enabled ? 0 : DFCS_INACTIVE) | (flat ? DFCS_FLAT : 0);
    if (pressed == 1) flags |= DFCS_CHECKED;
    if (pressed == 2) flags |= DFCS_BUTTON3STATE | DFCS_CHECKED;
    DrawFrameControl(c, fr, DFC_BUTTON, flags);
  });
  CopyFace(canvas, r, face);
}

// ---------------------------------------------------------------------------
// The button control

TEditButtonControlEx::TEditButtonControlEx(TComponent* owner) : TCustomControl(owner) {
  SetBounds(0, 0, 10, 17);
}

void TEditButtonControlEx::SetStyle(TEditButtonStyleEx value) {
  if (style_ == value) return;
  style_ = value;
  Invalidate();
}

void TEditButtonControlEx::SetFlat(bool value) {
  if (flat_ == value) return;
  flat_ = value;
  Invalidate();
}

void TEditButtonControlEx::SetAlwaysDown(bool value) {
  if (alwaysDown_ == value) return;
  alwaysDown_ = value;
  downButtonNum_ = value ? 1 : 0;
  Invalidate();
}

void TEditButtonControlEx::UpdateDownButtonNum(int y) {
  int old = downButtonNum_;
  if (!Down()) {
    downButtonNum_ = 0;
  } else if (style_ == ebsUpDownEx) {
    int h = Height();
    downButtonNum_ = y < h / 2 ? 1 : y > h - h / 2 ? 2 : 0;
  } else {
    downButtonNum_ = 1;
  }
  if (old != downButtonNum_) Invalidate();
}

void TEditButtonControlEx::StopRepeat() {
  if (repeatInterval_ != 0) KillTimer(kRepeatTimer);
  repeatInterval_ = 0;
}

void TEditButtonControlEx::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  bool autoRepeat = style_ == ebsUpDownEx;
  TCustomControl::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  down_ = true;
  SetCapture();
  UpdateDownButtonNum(y);
  if (downButtonNum_ > 0) {
    if (OnDownNotify) OnDownNotify(this, downButtonNum_ == 1, autoRepeat);
    if (autoRepeat) {
      repeatInterval_ = kFirstRepeat;
      SetTimer(kRepeatTimer, kFirstRepeat);
    }
  }
}

void TEditButtonControlEx::MouseMove(TShiftState shift, int x, int y) {
  TCustomControl::MouseMove(shift, x, y);
  if (GetCapture() == this && down_ && style_ == ebsUpDownEx) {
    int h = Height();
    if ((downButtonNum_ == 2 && y < h / 2) || (downButtonNum_ == 1 && y > h - h / 2)) {
      down_ = false;
      Invalidate();
    }
  }
  if (OnButtonMouseMove) OnButtonMouseMove(this, shift, x, y);
}

void TEditButtonControlEx::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  bool wasDown = down_;
  // An up-down button released after sliding off its half gives no click.
  noClick_ = style_ == ebsUpDownEx && !down_;
  down_ = false;
  if (GetCapture() == this) ReleaseCapture();
  TCustomControl::MouseUp(button, shift, x, y);
  bool inside = x >= 0 && y >= 0 && x < Width() && y < Height();
  if (button == mbLeft && wasDown && inside && !noClick_ && OnButtonClick) OnButtonClick(this);
  noClick_ = false;
  UpdateDownButtonNum(y);
  StopRepeat();
  if (OnButtonMouseUp) OnButtonMouseUp(this, button, shift, x, y);
  Invalidate();
}

void TEditButtonControlEx::WndProc(TMessage& m) {
  if (m.Msg == WM_TIMER && static_cast<unsigned>(m.WParam) == kRepeatTimer) {
    bool autoRepeat = style_ == ebsUpDownEx;
    if (down_) {
      if (repeatInterval_ == kFirstRepeat) {
        repeatInterval_ = kNextRepeat;
        SetTimer(kRepeatTimer, kNextRepeat);
      }
      if (OnDownNotify) OnDownNotify(this, downButtonNum_ == 1, autoRepeat);
    }
    if (!autoRepeat || !down_) StopRepeat();
    return;
  }
  if (m.Msg == CM_MOUSEENTER || m.Msg == CM_MOUSELEAVE) {
    active_ = m.Msg == CM_MOUSEENTER;
    if (flat_) Invalidate();
  }
  TCustomControl::WndProc(m);
}

void TEditButtonControlEx::Paint() {
  TRect r = ClientRect();
  TColor parent = Parent() ? Parent()->Color() : clBtnFace;
  int downButton = Down() ? (downButtonNum_ == 0 ? 1 : downButtonNum_) : 0;
  DrawButtonFace(Canvas(), r, parent, Enabled(), active_, flat_, downButton,
                 PainterStyleOf(style_));
}

PAYROLL_PUBLISH(TEditButtonControlEx) {}
PAYROLL_PUBLISH(TEditButtonEx) {
  using T = TEditButtonEx;
  p.Property("Hint", &T::Hint, &T::SetHint);
  p.Property("NumGlyphs", &T::NumGlyphs, &T::SetNumGlyphs).Default(1);
  p.Property("Style", &T::Style, &T::SetStyle).Default(ebsDropDownEx);
  // Always stored: the column's items are visible unless set otherwise.
  p.Property("Visible", &T::Visible, &T::SetVisible);
  p.Property("Width", &T::Width, &T::SetWidth).Default(0);
}
PAYROLL_PUBLISH(TVisibleEditButtonEx) {}
PAYROLL_PUBLISH(TEditButtonsEx) {}
