// TControlSubClass: the replacement window procedure of an XP-painted
// control and the painters of each control kind.
#include <algorithm>

#include "decor/XPStyler.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/SysColors.h"

namespace {

TColor AddRGB(TColor c, int add) { return static_cast<TColor>((ColorToRGB(c) + add) & 0xFFFFFF); }

TColor ParentColor(TControl* c) { return c->Parent() ? c->Parent()->Color() : clBtnFace; }

void Line(TCanvas* c, TColor col, int x1, int y1, int x2, int y2) {
  c->Pen()->SetColor(col);
  c->MoveTo(x1, y1);
  c->LineTo(x2, y2);
}

void Frame(TCanvas* c, const TRect& r, TColor col) {
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(col);
  c->FrameRect(r);
}

// A one-pixel three-dimensional frame: top and left in tl, bottom and
// right in br.
void Frame3D(TCanvas* c, const TRect& r, TColor tl, TColor br) {
  Line(c, tl, r.Left, r.Bottom - 1, r.Left, r.Top);
  c->LineTo(r.Right - 1, r.Top);
  Line(c, br, r.Right - 1, r.Top, r.Right - 1, r.Bottom - 1);
  c->LineTo(r.Left - 1, r.Bottom - 1);
}

bool IsEdit(TControl* c) { return dynamic_cast<TCustomEdit*>(c) != nullptr; }

}  // namespace

TControlSubClass::TControlSubClass(TXPStyler* owner, TControl* control) : owner_(owner), control_(control) {
  saved_ = control->WindowProc;
  control->WindowProc = [this](TMessage& m) { WindowProc(m); };
  attached_ = true;
  if (auto* e = dynamic_cast<TCustomEdit*>(control)) {
    savedBorder_ = e->BorderStyle();
    savedColor_ = e->Color();
    if (TrueXP()) e->SetColor(owner->BtnSurfaceNormalColor());
  }
}

TControlSubClass::~TControlSubClass() = default;

bool TControlSubClass::TrueXP() const {
  return owner_->ControlUseTrueXPStyle() && control_->Tag() != kXPClassicTag;
}

void TControlSubClass::Detach() {
  if (!attached_) return;
  attached_ = false;
  try {
    control_->WindowProc = saved_;
    if (auto* e = dynamic_cast<TCustomEdit*>(control_)) {
      e->SetBorderStyle(savedBorder_);
      e->SetColor(savedColor_);
    }
    control_->Invalidate();
  } catch (...) {
    // The control keeps working with its own window procedure.
  }
}

void TControlSubClass::WindowProc(TMessage& m) {
  bool graphic = dynamic_cast<TSpeedButton*>(control_) != nullptr;
  if (graphic && m.Msg == WM_PAINT && owner_->Active()) {
    // The speed button's own painting is replaced by ours.
    m.Result = 1;
    lastMessage_ = m.Msg;
    if (control_->Visible() && control_->Tag() >= 0)
      Paint(static_cast<TGraphicControl*>(control_)->Canvas());
    return;
  }
  TWndMethod saved = saved_;  // this object may be gone after the call
  saved(m);
  if (!owner_->Active()) {
    Detach();
    owner_->ForgetSubClass(this);
    delete this;
    return;
  }
  lastMessage_ = m.Msg;
  switch (m.Msg) {
    case WM_DESTROY:
      if (!recreating_) {
        Detach();
        owner_->ForgetSubClass(this);
        delete this;
      }
      return;
    case WM_SETFOCUS: hot_ = true; Paint(); break;
    case WM_KILLFOCUS: hot_ = false; Paint(); break;
    case WM_PAINT: recreating_ = false; Paint(); break;
    case EM_GETMODIFY: case CM_CTL3DCHANGED: case CM_PARENTCTL3DCHANGED: case CM_INVALIDATE:
      recreating_ = true;
      break;
    case BM_GETCHECK: case BM_SETCHECK: hot_ = false; Paint(); break;
    case BM_SETSTATE: Paint(); break;
    case WM_KEYDOWN:
      if (m.WParam == VK_SPACE) {
        spaceDown_ = true;
        if (!spacePainted_) Paint();
        spacePainted_ = true;
      }
      break;
    case WM_KEYUP:
      if (m.WParam == VK_SPACE) {
        spaceDown_ = spacePainted_ = false;
        Paint();
      }
      break;
    case WM_LBUTTONDOWN: buttonDown_ = true; Paint(); break;
    case WM_LBUTTONUP: buttonDown_ = false; Repaint(); break;
    case WM_LBUTTONDBLCLK:
      if (control_->ClassNameIs("TButton") || graphic || dynamic_cast<TCheckBox*>(control_))
        control_->Perform(WM_LBUTTONDOWN, m.WParam, m.LParam);
      break;
    case CM_FOCUSCHANGED: case CM_PARENTCOLORCHANGED: case CM_ENABLEDCHANGED: case CM_TEXTCHANGED:
      Paint();
      break;
    case CM_MOUSEENTER:
      if (control_->Enabled()) {
        hot_ = true;
        Repaint();
      }
      break;
    case CM_MOUSELEAVE:
      if (control_->Enabled()) {
        hot_ = false;
        Repaint();
      }
      break;
    case CM_EXIT: hot_ = false; Paint(); break;
    default: break;
  }
}

void TControlSubClass::Repaint() {
  if (dynamic_cast<TGraphicControl*>(control_))
    control_->Invalidate();
  else
    Paint();
}

void TControlSubClass::Paint(TCanvas* canvas) {
  if (control_->Tag() < 0) return;
  if (dynamic_cast<TGraphicControl*>(control_) && !canvas) {
    // A graphic control paints only inside its paint event.
    control_->Invalidate();
    return;
  }
  auto* win = dynamic_cast<TWinControl*>(control_);
  focused_ = win && win->Focused();
  std::unique_ptr<TControlCanvas> own;
  if (!canvas) {
    own = std::make_unique<TControlCanvas>();
    own->SetControl(control_);
    canvas = own.get();
  }
  TXPColors k = owner_->ColorsFor(canvas);
  canvas->Pen()->SetStyle(psSolid);
  canvas->Pen()->SetWidth(1);
  canvas->Brush()->SetStyle(bsSolid);
  if (dynamic_cast<TCustomComboBox*>(control_))
    PaintCombo(canvas, k);
  else if (IsEdit(control_))
    PaintEdit(canvas, k);
  else if (dynamic_cast<TCustomCheckBox*>(control_))
    PaintCheckBox(canvas, k);
  else if (dynamic_cast<TRadioButton*>(control_))
    PaintRadio(canvas, k);
  else if (dynamic_cast<TButton*>(control_))
    PaintButton(canvas, k);
  else if (dynamic_cast<TUpDown*>(control_))
    return;
  else if (dynamic_cast<TSpeedButton*>(control_)) {
    if (control_->Visible()) PaintSpeedButton(canvas, k);
  } else if (dynamic_cast<TCustomPanel*>(control_))
    PaintPanel(canvas, k);
  else if (dynamic_cast<TCustomGroupBox*>(control_))
    PaintGroupBox(canvas, k);
}

// --- buttons ------------------------------------------------------------------------------

void TControlSubClass::PaintButtonFrame(TCanvas* c, const TXPColors& k, bool pressedClassic, bool pressedXP,
                                        bool hot, bool focused, int classicCorner, bool speed) {
  TXPStyler* o = owner_;
  int W = control_->Width(), H = control_->Height();
  TRect r(0, 0, W, H);
  bool enabled = control_->Enabled();
  if (TrueXP()) {
    int arc = o->BtnRoundArc();
    XPSurfaceFill(c, r, ParentColor(control_));
    c->Brush()->SetColor(pressedXP && enabled ? o->BtnSurfaceDownColor() : o->BtnSurfaceNormalColor());
    XPRoundOutline(c, r, enabled ? o->BtnOutLineBorderColor() : o->ControlDisabledBorderColor(), arc, true);
    XPBottomLine(c, TRect(arc, 0, W - arc, H - 3),
                 pressedXP && enabled ? o->BtnSurfaceDownBottomLineColor() : o->BtnSurfaceBottomLineColor());
    if (!enabled || pressedXP) return;
    TColor inner = 0;
    int plus = 0;
    if (hot) {
      inner = o->BtnInnerBorderMoveColor();
      plus = 0x020200;
    } else if (focused && !speed) {
      inner = o->BtnInnerBorderFocusColor();
      plus = 0x020202;
    } else {
      return;
    }
    XPRoundOutline(c, TRect(1, 1, W - 1, H - 1), inner, arc / 2, false);
    XPRoundOutline(c, TRect(2, 2, W - 2, H - 2), AddRGB(inner, plus), arc / 2, false);
    return;
  }
  TColor face = hot || pressedClassic ? XPLighten(clBtnFace, 60) : k.iconStrip;
  TColor e = hot || pressedClassic || focused ? XPLighten(k.selectBorder, 60) : clBtnShadow;
  XPSurfaceFill(c, r, ParentColor(control_));
  c->Brush()->SetColor(face);
  XPRoundOutline(c, r, XPLighten(e, 30), classicCorner, true);
  TColor shade = XPDarken(e, 50);
  if (pressedClassic) {
    Line(c, shade, 1, H - 2, 1, 1);
    c->LineTo(W - 1, 1);
  } else {
    Line(c, shade, W - 2, 1, W - 2, H - 2);
    c->LineTo(0, H - 2);
  }
}

void TControlSubClass::PaintButton(TCanvas* c, const TXPColors& k) {
  auto* bit = dynamic_cast<TBitBtn*>(control_);
  bool pressedClassic = (buttonDown_ && hot_) || spaceDown_;
  bool pressedXP = buttonDown_ || spaceDown_;
  bool hot = hot_ || (bit && spaceDown_);
  PaintButtonFrame(c, k, pressedClassic, pressedXP, hot, focused_, bit ? 4 : owner_->BtnRoundArc(), false);
  if (bit) {
    PaintGlyphAndCaption(c, k, bit->Glyph(), bit->NumGlyphs(), 1, bit->Layout(), bit->Spacing(), false);
    return;
  }
  TXPStyler::TItemText t;
  t.text = control_->Caption();
  t.format = DT_CENTER;
  t.font = control_->Font();
  t.enabled = control_->Enabled();
  t.isDefault = static_cast<TButton*>(control_)->Default();
  owner_->DrawItemText(t, TRect(0, 0, control_->Width(), control_->Height()), c, k);
}

void TControlSubClass::PaintSpeedButton(TCanvas* c, const TXPColors& k) {
  auto* b = static_cast<TSpeedButton*>(control_);
  int W = b->Width(), H = b->Height();
  bool down = b->Down(), enabled = b->Enabled();
  TColor f = hot_ ? k.selectFill : k.iconStrip, e = hot_ ? k.selectBorder : clBtnShadow;
  if (down) {
    f = hot_ ? k.mediumSelect : k.lightSelect;
    e = k.selectBorder;
  }
  if (!enabled) e = clBtnShadow;
  TRect r(0, 0, W, H);
  c->Brush()->SetStyle(bsSolid);
  if (b->Transparent() && (down || hot_)) {
    TBitmap tint;
    tint.SetSize(W, H);
    tint.Canvas()->Brush()->SetColor(XPLighten(k.selectFill, k.highColor ? 20 : 40));
    tint.Canvas()->FillRect(r);
    BitBlt(c, 0, 0, W, H, tint.Canvas(), 0, 0, SRCAND);
  }
  if (TrueXP()) {
    PaintButtonFrame(c, k, false, (buttonDown_ || spaceDown_), hot_ && !buttonDown_ && !spaceDown_, false,
                     owner_->BtnRoundArc(), true);
  } else {
    c->Brush()->SetColor(f);
    c->Pen()->SetColor(XPLighten(e, 30));
    if (b->Flat() && !b->Transparent() && !down && !hot_) c->Pen()->SetColor(f);
    if (b->Transparent()) c->Brush()->SetStyle(bsClear);
    if (!(b->Transparent() && b->Flat() && !hot_ && !down)) c->Rectangle(r);
    c->Brush()->SetStyle(bsSolid);
    if (enabled && !b->Flat()) {
      TColor shade = XPDarken(e, 50);
      if (buttonDown_ || down) {
        Line(c, shade, 0, H - 1, 0, 0);
        c->LineTo(W, 0);
      } else {
        Line(c, shade, W - 1, 0, W - 1, H - 1);
        c->LineTo(0, H - 1);
      }
    }
  }
  int n = b->NumGlyphs(), idx = 1;
  if (!enabled && n > 1) idx = 2;
  if (buttonDown_ && n > 2) idx = 3;
  if (down && n > 3) idx = 4;
  PaintGlyphAndCaption(c, k, b->Glyph(), n, idx, b->Layout(), b->Spacing(), true);
}

void TControlSubClass::PaintGlyphAndCaption(TCanvas* c, const TXPColors& k, TBitmap* glyph, int numGlyphs,
                                            int index, TButtonLayout layout, int spacing, bool speed) {
  int W = control_->Width(), H = control_->Height();
  AnsiString caption = control_->Caption();
  c->Font()->Assign(control_->Font());
  int tw = c->TextWidth(caption), th = c->TextHeight(caption);
  TRect text(0, 0, W, H);
  text.Left = (W - tw) / 2;
  int n = std::max(1, numGlyphs);
  int gw = glyph && !glyph->Empty() ? glyph->Width() / n : 0, gh = gw ? glyph->Height() : 0;
  int sp = (speed ? caption.IsEmpty() : caption.Trim().IsEmpty()) ? 0 : spacing;
  TRect g;
  switch (layout) {
    case blGlyphLeft:
      g.Left = (W - (sp + gw + tw)) / 2;
      g.Top = (H - gh) / 2 - (speed ? 1 : 0);
      g.Right = g.Left + gw;
      g.Bottom = g.Top + gh;
      text.Left = g.Right + sp;
      break;
    case blGlyphRight:
      g.Right = (sp + gw + tw + W) / 2;
      g.Left = g.Right - gw;
      g.Top = (H - gh) / 2;
      g.Bottom = g.Top + gh;
      text.Left = g.Left - sp - tw;
      break;
    case blGlyphTop:
      g.Left = (W - gw) / 2;
      g.Top = (H - (gh + sp + th)) / 2;
      g.Right = g.Left + gw;
      g.Bottom = g.Top + gh;
      text.Left = (W - tw) / 2;
      text.Top = g.Bottom + sp;
      text.Bottom = text.Top + th;
      break;
    case blGlyphBottom:
      g.Left = (W - gw) / 2;
      g.Bottom = (gh + sp + th + H) / 2;
      g.Top = g.Bottom - gh;
      g.Right = g.Left + gw;
      text.Left = (W - tw) / 2;
      text.Bottom = g.Top - sp;
      text.Top = text.Bottom - th;
      break;
  }
  text.Right = text.Left + tw;
  if (gw > 0) {
    TBitmap piece;
    piece.SetSize(gw, gh);
    piece.Canvas()->CopyRect(TRect(0, 0, gw, gh), glyph->Canvas(), TRect(gw * (index - 1), 0, gw * index, gh));
    TXPStyler::TItemImage s;
    s.highlighted = hot_;
    s.enabled = control_->Enabled();
    if (speed)
      s.checked = static_cast<TSpeedButton*>(control_)->Down() || buttonDown_;
    else
      s.pressed = focused_;
    owner_->DrawItemImage(s, c, &piece, g, k);
  }
  if (caption.IsEmpty()) return;
  TXPStyler::TItemText t;
  t.text = caption;
  t.font = control_->Font();
  t.enabled = control_->Enabled();
  if (auto* b = dynamic_cast<TBitBtn*>(control_)) t.isDefault = b->Default();
  owner_->DrawItemText(t, text, c, k);
}

// --- check boxes and radio buttons -----------------------------------------------------------

void TControlSubClass::PaintCheckBox(TCanvas* c, const TXPColors& k) {
  auto* cb = static_cast<TCustomCheckBox*>(control_);
  TXPStyler* o = owner_;
  bool xp = TrueXP(), enabled = cb->Enabled();
  int size = GetSystemMetrics(SM_CXHTHUMB) + (xp ? 1 : 0);
  TRect client(0, 3, cb->Width(), cb->Height() - 3);
  TRect box;
  box.Top = client.Top + (client.Height() - size) / 2;
  box.Bottom = box.Top + size;
  if (cb->Alignment() == taLeftJustify) {
    box.Right = client.Right;
    box.Left = box.Right - size;
  } else {
    box.Left = client.Left;
    box.Right = box.Left + size;
  }
  XPSurfaceFill(c, box, cb->Color());
  box.Left += 2, box.Top += 2, box.Right -= 2, box.Bottom -= 2;
  bool pressed = buttonDown_ || spaceDown_;
  TColor fill, outline;
  if (xp) {
    fill = pressed ? o->BtnSurfaceDownColor() : o->BtnSurfaceNormalColor();
    outline = enabled ? o->BtnOutLineBorderColor() : o->ControlDisabledBorderColor();
  } else {
    bool lit = hot_ || focused_;
    fill = lit ? k.selectFill : clWindow;
    outline = lit ? k.selectBorder : clBtnShadow;
    if (pressed) fill = k.mediumSelect;
    if (cb->State() == cbGrayed) fill = 0xC0C0C0;
  }
  c->Brush()->SetColor(fill);
  c->Pen()->SetColor(outline);
  c->Rectangle(box);
  if (xp && hot_ && enabled) Frame(c, TRect(box.Left + 1, box.Top + 1, box.Right - 1, box.Bottom - 1),
                                   o->BtnInnerBorderMoveColor());
  TColor mark = xp ? o->RdoChkControlChkColor() : clHighlight;
  if (!xp && pressed) mark = clWindow;
  if (!xp && cb->State() == cbGrayed) mark = 0x808080;
  if (!enabled) mark = k.disabled;
  if (cb->State() == cbChecked) {
    c->Pen()->SetColor(mark);
    XPDrawCheckBoxTick(c, box.Left, box.Bottom);
  } else if (cb->State() == cbGrayed) {
    XPSurfaceFill(c, TRect(box.Left + 2, box.Top + 3, box.Right - 3, box.Bottom - 3), mark);
  }
}

void TControlSubClass::PaintRadio(TCanvas* c, const TXPColors& k) {
  auto* rb = static_cast<TRadioButton*>(control_);
  TXPStyler* o = owner_;
  bool xp = TrueXP(), enabled = rb->Enabled();
  int thumb = GetSystemMetrics(SM_CXHTHUMB);
  TColor f = hot_ || focused_ ? k.selectFill : clWindow;
  TColor b = hot_ ? k.selectBorder : clBtnShadow;
  TRect r(0, 4, rb->Width(), rb->Height() - 4);
  r.Top += (r.Height() - thumb) / 2;
  r.Bottom = r.Top + thumb - 1;
  if (rb->Alignment() == taLeftJustify)
    r.Left = r.Right - thumb + 1;
  else
    r.Right = r.Left + thumb - 1;
  if (xp) r.Right += 2, r.Bottom += 2;
  XPSurfaceFill(c, r, rb->Color());
  r.Left += 2, r.Top += 2, r.Right -= 2, r.Bottom -= 2;
  c->Brush()->SetStyle(bsSolid);
  if (xp) {
    c->Brush()->SetColor(buttonDown_ ? o->BtnSurfaceDownColor() : o->BtnSurfaceNormalColor());
    c->Pen()->SetColor(buttonDown_ || enabled ? o->BtnOutLineBorderColor() : o->ControlDisabledBorderColor());
  } else {
    c->Brush()->SetColor(f);
    c->Pen()->SetColor(b);
  }
  c->Ellipse(r);
  if (xp && hot_) {
    c->Brush()->SetStyle(bsClear);
    c->Pen()->SetColor(o->BtnInnerBorderMoveColor());
    c->Ellipse(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1);
    c->Brush()->SetStyle(bsSolid);
  }
  if (rb->Checked()) {
    int d = xp ? 4 : 2;
    TColor mark = xp ? o->RdoChkControlChkColor() : enabled ? clHighlight : k.disabled;
    c->Pen()->SetColor(mark);
    c->Brush()->SetColor(mark);
    c->Ellipse(r.Left + d, r.Top + d, r.Right - d, r.Bottom - d);
  }
}

// --- edits and combo boxes -----------------------------------------------------------------

void TControlSubClass::PaintEdit(TCanvas* c, const TXPColors& k) {
  bool single = savedBorder_ == bsSingle;
  TColor col;
  if (hot_ || focused_)
    col = XPLighten(k.selectBorder, single ? 60 : 80);
  else
    col = single ? XPDarken(ParentColor(control_), 60) : ParentColor(control_);
  Frame(c, TRect(0, 0, control_->Width(), control_->Height()), col);
}

void TControlSubClass::PaintCombo(TCanvas* c, const TXPColors& k) {
  auto* cb = static_cast<TCustomComboBox*>(control_);
  TXPStyler* o = owner_;
  bool xp = TrueXP(), enabled = cb->Enabled(), lit = hot_ || focused_;
  TColor a = enabled ? clBlack : clWhite, edge = cb->Color(), face = clBtnFace;
  if (hot_) {
    edge = k.selectBorder;
    face = k.selectFill;
  } else if (focused_) {
    edge = XPLighten(k.selectBorder, 60);
    face = k.lightSelect;
  }
  TColor parent = ParentColor(cb);
  TRect client(0, 0, cb->Width(), cb->Height());
  TRect r = client;
  Frame(c, r, parent);
  r.Left += 1, r.Top += 1, r.Right -= 1, r.Bottom -= 1;
  Line(c, parent, r.Left, r.Top, r.Right, r.Top);
  r.Top += 1, r.Bottom -= 1;
  if (lit && !xp) r.Left -= 1, r.Top -= 1, r.Right += 1, r.Bottom += 1;
  Frame(c, r, cb->Color());
  r.Bottom += 1;
  Frame(c, r, xp ? (enabled ? o->BtnOutLineBorderColor() : o->ControlDisabledBorderColor()) : edge);
  bool dropped = cb->DroppedDown();
  if (dropped) {
    edge = k.selectBorder;
    a = clWhite;
    face = k.mediumSelect;
  }
  r.Left += 1, r.Top += 1, r.Right -= 1, r.Bottom -= 1;
  int thumb = GetSystemMetrics(SM_CXHTHUMB);
  r.Left = r.Right - thumb - 1;
  if (lit && !xp) r.Left -= 1;
  if (xp) {
    XPSurfaceFill(c, r, o->BtnSurfaceNormalColor());
    TRect in(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1);
    TColor fill = buttonDown_ ? o->BtnSurfaceDownColor() : o->BtnInnerBorderFocusColor();
    if (hot_) fill = o->ComboboxSurfaceMoveColor();
    if (dropped) fill = o->ComboDroppedColor();
    XPSurfaceFill(c, in, fill);
    int x0 = in.Left + (in.Width() - 8) / 2, y0 = in.Top + (in.Height() - 4) / 2;
    c->Pen()->SetColor(o->ComboBoxChkColor());
    c->Pen()->SetWidth(2);
    c->Polyline({{x0, y0}, {x0 + 4, y0 + 4}, {x0 + 8, y0}});
    c->Pen()->SetWidth(1);
    return;
  }
  XPSurfaceFill(c, r, face);
  XPSurfaceFill(c, TRect(r.Left, r.Top, r.Left + 5, r.Bottom), cb->Color());
  Line(c, edge, r.Left + 5, r.Top, r.Left + 5, r.Bottom);
  int x = client.Right - 10;
  Line(c, a, x, client.Top + 10, x + 5, client.Top + 10);
  Line(c, a, x + 1, client.Top + 11, x + 4, client.Top + 11);
  Line(c, a, x + 2, client.Top + 12, x + 3, client.Top + 12);
}

// --- group boxes and panels ------------------------------------------------------------------

void TControlSubClass::PaintGroupBox(TCanvas* c, const TXPColors&) {
  if (lastMessage_ != WM_PAINT) return;
  TColor color = control_->Color();
  int W = control_->Width(), H = control_->Height();
  c->Font()->Assign(control_->Font());
  AnsiString caption = control_->Caption();
  int th = c->TextHeight(caption.IsEmpty() ? AnsiString(" ") : caption), tw = c->TextWidth(caption);
  TColor dark = XPDarken(color, 60), light = XPLighten(color, 60);
  // The window's own frame may run anywhere in the caption's band: erase
  // the band inside the new frame as well as the old frame's line.
  XPSurfaceFill(c, TRect(2, th / 2 + 2, W - 2, th + 1), color);
  c->Brush()->SetStyle(bsClear);
  c->Pen()->SetColor(color);
  c->Rectangle(1, th, W - 1, H - 1);
  Line(c, color, 1, th / 2 - 1, 1, H);
  // No separate three-dimensional switch here: the light edge shows.
  Frame3D(c, TRect(0, th / 2 - 1, W, H), light, dark);
  XPSurfaceFill(c, TRect(0, 0, W, th / 2 + 2), ParentColor(control_));
  TRect cap(9, 0, 9 + tw, th);
  XPSurfaceFill(c, TRect(cap.Left, th / 2 + 2, cap.Right, 2 * (th / 2) + 3), color);
  Line(c, color, W - 2, th / 2 + 2, W - 2, th);
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetColor(control_->Font()->Color());
  c->TextRect(cap, cap.Left, cap.Top, caption);
  Line(c, light, 0, th / 2 + 1, cap.Left, th / 2 + 1);
  Line(c, light, cap.Right, th / 2 + 1, W - 1, th / 2 + 1);
}

void TControlSubClass::PaintPanel(TCanvas* c, const TXPColors&) {
  if (lastMessage_ != WM_PAINT) return;
  auto* p = static_cast<TCustomPanel*>(control_);
  TColor dark = XPDarken(p->Color(), 60), light = XPLighten(p->Color(), 60);
  TRect r(0, 0, p->Width(), p->Height());
  auto bevel = [&](TBevelCut cut) {
    for (int i = 0; i < p->BevelWidth(); ++i) {
      if (cut == bvLowered)
        Frame3D(c, r, dark, light);
      else
        Frame3D(c, r, light, dark);
      r.Left += 1, r.Top += 1, r.Right -= 1, r.Bottom -= 1;
    }
  };
  if (p->BevelOuter() != bvNone) bevel(p->BevelOuter());
  if (p->BevelInner() != bvNone) {
    r.Left += p->BorderWidth(), r.Top += p->BorderWidth();
    r.Right -= p->BorderWidth(), r.Bottom -= p->BorderWidth();
    bevel(p->BevelInner());
  }
}
