// Frames3D: DrawEdge, DrawFrameControl and Frame3D in the classic style.
#include "platform/ui/Frames3D.h"

#include "platform/ui/CanvasInt.h"

namespace {

// Solid spans drawn straight through the canvas's painter, so the tools of
// the canvas (pen, brush) stay as the caller set them.
class Spans {
 public:
  explicit Spans(TCanvas* c) : p_(c->Painter()) {
    if (c->HasClip()) p_.setClipRegion(c->ClipRegion()); else p_.setClipping(false);
    p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
  }
  void Fill(int l, int t, int r, int b, TColor c) {
    if (r > l && b > t) p_.fillRect(QRect(l, t, r - l, b - t), ToQColor(c));
  }
  void Fill(const TRect& r, TColor c) { Fill(r.Left, r.Top, r.Right, r.Bottom, c); }

 private:
  QPainter& p_;
};

// One ring of edge pixels: top and left in tl, bottom and right in br
// (br drawn last, so it owns the off corners).
void Ring(Spans& s, const TRect& r, unsigned sides, TColor tl, TColor br) {
  if (sides & BF_TOP) s.Fill(r.Left, r.Top, r.Right, r.Top + 1, tl);
  if (sides & BF_LEFT) s.Fill(r.Left, r.Top, r.Left + 1, r.Bottom, tl);
  if (sides & BF_BOTTOM) s.Fill(r.Left, r.Bottom - 1, r.Right, r.Bottom, br);
  if (sides & BF_RIGHT) s.Fill(r.Right - 1, r.Top, r.Right, r.Bottom, br);
}

void Shrink(TRect& r, unsigned sides) {
  if (sides & BF_LEFT) ++r.Left;
  if (sides & BF_TOP) ++r.Top;
  if (sides & BF_RIGHT) --r.Right;
  if (sides & BF_BOTTOM) --r.Bottom;
}

// The classic check mark, 7 x 7: column i is three pixels tall from row
// kCheckTop[i].
constexpr int kCheckTop[7] = {2, 3, 4, 3, 2, 1, 0};

void CheckMark(Spans& s, const TRect& inner, TColor colour) {
  int scale = std::max(1, std::min(inner.Width(), inner.Height()) / 9);
  int size = 7 * scale;
  int x0 = inner.Left + (inner.Width() - size) / 2;
  int y0 = inner.Top + (inner.Height() - size) / 2;
  for (int i = 0; i < 7; ++i)
    s.Fill(x0 + i * scale, y0 + kCheckTop[i] * scale, x0 + (i + 1) * scale,
           y0 + (kCheckTop[i] + 3) * scale, colour);
}

// An arrow triangle pointing in direction (0 up, 1 down, 2 left, 3 right),
// centred in r; side is the button's smaller dimension.
void Arrow(Spans& s, const TRect& r, int side, int direction, TColor colour) {
  int base = std::max(1, ((side - 4) / 2) | 1);  // 7 for a 16-pixel button
  int depth = (base + 1) / 2;
  bool vertical = direction <= 1;
  int w = vertical ? base : depth, h = vertical ? depth : base;
  int x0 = r.Left + (r.Width() - w) / 2, y0 = r.Top + (r.Height() - h) / 2;
  for (int i = 0; i < depth; ++i) {
    int len = base - 2 * i;
    switch (direction) {
      case 0: s.Fill(x0 + i, y0 + depth - 1 - i, x0 + i + len, y0 + depth - i, colour); break;
      case 1: s.Fill(x0 + i, y0 + i, x0 + i + len, y0 + i + 1, colour); break;
      case 2: s.Fill(x0 + depth - 1 - i, y0 + i, x0 + depth - i, y0 + i + len, colour); break;
      default: s.Fill(x0 + i, y0 + i, x0 + i + 1, y0 + i + len, colour); break;
    }
  }
}

TRect Square(const TRect& r) {
  int side = std::min(r.Width(), r.Height());
  int l = r.Left + (r.Width() - side) / 2, t = r.Top + (r.Height() - side) / 2;
  return Bounds(l, t, side, side);
}

}  // namespace

bool DrawEdge(TCanvas* canvas, TRect& r, unsigned edge, unsigned flags) {
  if (!canvas) return false;
  if ((edge & ~0xFu) != 0) return false;
  Spans s(canvas);
  TRect inner = r;
  unsigned sides = flags & BF_RECT;
  const unsigned outer = edge & BDR_OUTER, innerKind = edge & BDR_INNER;
  if (flags & (BF_FLAT | BF_MONO)) {
    TColor frame = (flags & BF_MONO) ? clWindowFrame : clBtnShadow;
    TColor face = (flags & BF_MONO) ? clWindow : clBtnFace;
    if (outer) { Ring(s, inner, sides, frame, frame); Shrink(inner, sides); }
    if (innerKind) { Ring(s, inner, sides, face, face); Shrink(inner, sides); }
  } else {
    if (outer == BDR_RAISEDOUTER) Ring(s, inner, sides, cl3DLight, cl3DDkShadow);
    else if (outer == BDR_SUNKENOUTER) Ring(s, inner, sides, clBtnShadow, clBtnHighlight);
    if (outer) Shrink(inner, sides);
    if (innerKind == BDR_RAISEDINNER) Ring(s, inner, sides, clBtnHighlight, clBtnShadow);
    else if (innerKind == BDR_SUNKENINNER) Ring(s, inner, sides, cl3DDkShadow, cl3DLight);
    if (innerKind) Shrink(inner, sides);
  }
  if (flags & BF_MIDDLE) s.Fill(inner, (flags & BF_MONO) ? clWindow : clBtnFace);
  if (flags & BF_ADJUST) r = inner;
  return true;
}

bool DrawFrameControl(TCanvas* canvas, const TRect& rect, unsigned type, unsigned state) {
  if (!canvas) return false;
  const bool flat = (state & DFCS_FLAT) != 0;
  const bool inactive = (state & DFCS_INACTIVE) != 0;
  const bool pushed = (state & DFCS_PUSHED) != 0;
  if (type == DFC_BUTTON && (state & 0xFF) == DFCS_BUTTONPUSH) {
    TRect r = rect;
    if (flat) {
      DrawEdge(canvas, r, pushed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT | BF_MIDDLE | BF_ADJUST);
    } else if (pushed || (state & DFCS_CHECKED)) {
      // A pressed push button: a dark frame around a shadow line.
      Spans s(canvas);
      Ring(s, r, BF_RECT, cl3DDkShadow, cl3DDkShadow);
      Shrink(r, BF_RECT);
      Ring(s, r, BF_RECT, clBtnShadow, clBtnShadow);
      Shrink(r, BF_RECT);
      s.Fill(r, clBtnFace);
    } else {
      DrawEdge(canvas, r, EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST);
    }
    return true;
  }
  if (type == DFC_BUTTON && ((state & 0xFF) == DFCS_BUTTONCHECK || (state & 0xFF) == DFCS_BUTTON3STATE)) {
    TRect box = Square(rect);
    if (flat) {
      Spans s(canvas);
      Ring(s, box, BF_RECT, clBtnShadow, clBtnShadow);
      Shrink(box, BF_RECT);
    } else {
      DrawEdge(canvas, box, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    }
    Spans s(canvas);
    s.Fill(box, (inactive || pushed) ? clBtnFace : clWindow);
    if (state & DFCS_CHECKED) {
      TColor mark = inactive ? clBtnShadow : ((state & 0xFF) == DFCS_BUTTON3STATE ? clBtnShadow : clWindowText);
      CheckMark(s, box, mark);
    }
    return true;
  }
  if (type == DFC_SCROLL) {
    unsigned kind = state & 0xFF;
    int direction;
    switch (kind) {
      case DFCS_SCROLLUP: direction = 0; break;
      case DFCS_SCROLLDOWN: case DFCS_SCROLLCOMBOBOX: direction = 1; break;
      case DFCS_SCROLLLEFT: direction = 2; break;
      case DFCS_SCROLLRIGHT: direction = 3; break;
      default: return false;
    }
    TRect r = rect;
    const int side = std::min(rect.Width(), rect.Height());
    int shift = 0;
    if (pushed) {
      // Pressed: a flat shadow frame, the arrow one pixel down and right.
      DrawEdge(canvas, r, BDR_OUTER, BF_RECT | BF_FLAT | BF_MIDDLE | BF_ADJUST);
      shift = 1;
    } else if (flat) {
      DrawEdge(canvas, r, BDR_RAISEDINNER, BF_RECT | BF_MIDDLE | BF_ADJUST);
    } else {
      DrawEdge(canvas, r, EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST);
    }
    OffsetRect(r, shift, shift);
    Spans s(canvas);
    if (inactive) {
      TRect emboss = r;
      OffsetRect(emboss, 1, 1);
      Arrow(s, emboss, side, direction, clBtnHighlight);
      Arrow(s, r, side, direction, clBtnShadow);
    } else {
      Arrow(s, r, side, direction, clBtnText);
    }
    return true;
  }
  return false;
}

void Frame3D(TCanvas* canvas, TRect& r, TColor topColor, TColor bottomColor, int width) {
  if (!canvas) return;
  Spans s(canvas);
  // Rings as the class library draws them: the top-left polyline runs from
  // the bottom-left to the top-right corner, which then belongs to the
  // bottom-right polyline.
  while (width-- > 0) {
    s.Fill(r.Left, r.Top, r.Right - 1, r.Top + 1, topColor);
    s.Fill(r.Left, r.Top, r.Left + 1, r.Bottom - 1, topColor);
    s.Fill(r.Right - 1, r.Top, r.Right, r.Bottom, bottomColor);
    s.Fill(r.Left, r.Bottom - 1, r.Right, r.Bottom, bottomColor);
    InflateRect(r, -1, -1);
  }
}
