// Bit buttons and speed buttons.
#include "platform/ui/Buttons.h"

#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

#include "platform/ui/ControlsInt.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Frames3D.h"

void GlyphPiece(TBitmap* glyph, int numGlyphs, int state, TBitmap* out) {
  if (!glyph || glyph->Empty()) {
    out->SetSize(0, 0);
    return;
  }
  int n = std::clamp(numGlyphs, 1, 4);
  int w = glyph->Width() / n;
  int piece = state < n ? state : 0;
  QImage img = glyph->ToImage().copy(piece * w, 0, w, glyph->Height());
  out->SetImage(img);
  out->SetTransparent(true);
}

// --- TBitBtn -------------------------------------------------------------------------

TBitBtn::TBitBtn(TComponent* owner) : TButton(owner), glyph_(std::make_unique<TBitmap>()) {
  glyph_->OnChange = [this](TObject*) { GlyphChanged(); };
}

TBitBtn::~TBitBtn() { glyph_->OnChange = nullptr; }

void TBitBtn::SetGlyph(TBitmap* b) { glyph_->Assign(b); GlyphChanged(); }
void TBitBtn::SetNumGlyphs(int n) { numGlyphs_ = std::clamp(n, 1, 4); GlyphChanged(); }

void TBitBtn::SetLayout(TButtonLayout l) {
  layout_ = l;
  PushButton()->setLayoutDirection(l == blGlyphRight ? Qt::RightToLeft : Qt::LeftToRight);
}

void TBitBtn::GlyphChanged() {
  TBitmap piece;
  GlyphPiece(glyph_.get(), numGlyphs_, 0, &piece);
  if (piece.Empty()) {
    PushButton()->setIcon(QIcon());
    return;
  }
  QPixmap pm = QPixmap::fromImage(piece.ToImage());
  PushButton()->setIcon(QIcon(pm));
  PushButton()->setIconSize(pm.size());
}

void TBitBtn::SetKind(TBitBtnKind k) {
  kind_ = k;
  static const TModalResult kResults[] = {mrNone, mrOk, mrCancel, mrNone, mrYes, mrNo,
                                          mrNone, mrAbort, mrRetry, mrIgnore, mrAll};
  SetModalResult(kResults[k]);
  if (k == bkOK || k == bkYes) SetDefault(true);
  if (k == bkCancel || k == bkNo) SetCancel(true);
}

void TBitBtn::Click() {
  // bkClose closes the form; the others act through their modal result.
  if (kind_ == bkClose)
    if (TCustomForm* f = GetParentForm()) {
      f->Close();
      TButton::Click();
      return;
    }
  TButton::Click();
}

// --- TSpeedButton ----------------------------------------------------------------------

TSpeedButton::TSpeedButton(TComponent* owner)
    : TGraphicControl(owner), glyph_(std::make_unique<TBitmap>()) {
  SetBounds(0, 0, 23, 22);
  glyph_->OnChange = [this](TObject*) { Invalidate(); };
}

TSpeedButton::~TSpeedButton() { glyph_->OnChange = nullptr; }

void TSpeedButton::SetGroupIndex(int g) { groupIndex_ = g; UpdateExclusive(); }
void TSpeedButton::SetAllowAllUp(bool v) {
  allowAllUp_ = v;
  // The group shares the setting.
  if (groupIndex_ != 0 && Parent())
    for (int i = 0; i < Parent()->ControlCount(); ++i)
      if (auto* b = dynamic_cast<TSpeedButton*>(Parent()->Controls(i)); b && b->groupIndex_ == groupIndex_)
        b->allowAllUp_ = v;
}
void TSpeedButton::SetFlat(bool v) { flat_ = v; Invalidate(); }
void TSpeedButton::SetGlyph(TBitmap* b) { glyph_->Assign(b); Invalidate(); }
void TSpeedButton::SetNumGlyphs(int n) { numGlyphs_ = std::clamp(n, 1, 4); Invalidate(); }
void TSpeedButton::SetLayout(TButtonLayout l) { layout_ = l; Invalidate(); }
void TSpeedButton::SetMargin(int m) { margin_ = m; Invalidate(); }
void TSpeedButton::SetSpacing(int s) { spacing_ = s; Invalidate(); }
void TSpeedButton::SetTransparent(bool v) { transparent_ = v; Invalidate(); }

void TSpeedButton::SetDown(bool v) {
  if (groupIndex_ == 0) v = false;  // only grouped buttons stay down
  if (v == down_) return;
  if (down_ && !v && !allowAllUp_) return;  // the down one of a group stays
  down_ = v;
  if (v) UpdateExclusive();
  Invalidate();
}

void TSpeedButton::UpdateExclusive() {
  if (groupIndex_ == 0 || !down_ || !Parent()) return;
  for (int i = 0; i < Parent()->ControlCount(); ++i)
    if (auto* b = dynamic_cast<TSpeedButton*>(Parent()->Controls(i));
        b && b != this && b->groupIndex_ == groupIndex_ && b->down_) {
      b->down_ = false;
      b->Invalidate();
    }
}

TButtonState TSpeedButton::State() const {
  if (!Enabled()) return bsDisabled;
  if (pressed_) return bsDown;
  if (down_) return bsExclusive;
  return bsUp;
}

void TSpeedButton::Click() {
  if (!Enabled()) return;
  if (groupIndex_ != 0) {
    if (!down_)
      SetDown(true);
    else if (allowAllUp_)
      SetDown(false);
  }
  TGraphicControl::Click();
}

void TSpeedButton::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  if (b == mbLeft && Enabled()) {
    pressed_ = true;
    Invalidate();
  }
  TGraphicControl::MouseDown(b, s, x, y);
}

void TSpeedButton::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  pressed_ = false;
  Invalidate();
  TGraphicControl::MouseUp(b, s, x, y);
}

void TSpeedButton::WndProc(TMessage& m) {
  if (m.Msg == CM_MOUSEENTER || m.Msg == CM_MOUSELEAVE) {
    mouseIn_ = m.Msg == CM_MOUSEENTER;
    if (flat_) Invalidate();
  }
  TGraphicControl::WndProc(m);
}

void TSpeedButton::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  bool sunken = pressed_ || down_;
  if (!transparent_ || !flat_) {
    c->Brush()->SetColor(Color());
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(r);
  }
  if (!flat_) {
    TRect e = r;
    DrawEdge(c, e, sunken ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  } else if (sunken || (mouseIn_ && Enabled())) {
    TRect e = r;
    DrawEdge(c, e, sunken ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
  }
  DrawGlyphAndText(c, r, sunken);
}

// Glyph and caption centred together (or from Margin), in Layout order,
// Spacing pixels apart; shifted one pixel when pressed.
void TSpeedButton::DrawGlyphAndText(TCanvas* c, const TRect& r, bool pressed) {
  TBitmap piece;
  int state = !Enabled() ? 1 : pressed_ ? 2 : down_ ? 3 : 0;
  GlyphPiece(glyph_.get(), numGlyphs_, state, &piece);
  c->Font()->Assign(Font());
  AnsiString text = Caption();
  TRect tr(0, 0, r.Width(), 0);
  if (!text.IsEmpty()) c->DrawText(text, tr, DT_CALCRECT | DT_SINGLELINE);
  int gw = piece.Width(), gh = piece.Height();
  int tw = text.IsEmpty() ? 0 : tr.Width(), th = text.IsEmpty() ? 0 : tr.Height();
  int gap = (gw > 0 && tw > 0) ? spacing_ : 0;
  bool horizontal = layout_ == blGlyphLeft || layout_ == blGlyphRight;
  int total = horizontal ? gw + gap + tw : gh + gap + th;
  int extent = horizontal ? r.Width() : r.Height();
  int start = margin_ >= 0 ? margin_ : (extent - total) / 2;
  int off = pressed ? 1 : 0;
  int gx, gy, tx, ty;
  if (horizontal) {
    gy = (r.Height() - gh) / 2;
    ty = (r.Height() - th) / 2;
    if (layout_ == blGlyphLeft) { gx = start; tx = start + gw + gap; }
    else { tx = start; gx = start + tw + gap; }
  } else {
    gx = (r.Width() - gw) / 2;
    tx = (r.Width() - tw) / 2;
    if (layout_ == blGlyphTop) { gy = start; ty = start + gh + gap; }
    else { ty = start; gy = start + th + gap; }
  }
  if (gw > 0) c->Draw(gx + off, gy + off, &piece);
  if (!text.IsEmpty()) {
    c->Brush()->SetStyle(bsClear);
    if (!Enabled()) c->Font()->SetColor(clGrayText);
    TRect dr(tx + off, ty + off, tx + off + tw, ty + off + th);
    c->DrawText(text, dr, DT_SINGLELINE);
  }
}
