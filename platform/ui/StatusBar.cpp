// The status bar and its panels.
#include "platform/ui/StatusBar.h"

#include <QWidget>
#include <algorithm>

#include "platform/ui/Frames3D.h"

// --- TStatusPanel ------------------------------------------------------------------

TStatusPanel::TStatusPanel(TCollection* collection) : TCollectionItem(collection) {}

void TStatusPanel::SetText(const AnsiString& t) {
  if (t == text_) return;
  text_ = t;
  Changed(false);
}

void TStatusPanel::SetWidth(int w) {
  if (w == width_) return;
  width_ = w;
  Changed(true);
}

void TStatusPanel::SetAlignment(TAlignment a) {
  alignment_ = a;
  Changed(false);
}

void TStatusPanel::SetBevel(TStatusPanelBevel b) {
  bevel_ = b;
  Changed(false);
}

void TStatusPanel::SetStyle(TStatusPanelStyle s) {
  style_ = s;
  Changed(false);
}

void TStatusPanel::Assign(TPersistent* source) {
  if (auto* p = dynamic_cast<TStatusPanel*>(source)) {
    text_ = p->text_;
    width_ = p->width_;
    alignment_ = p->alignment_;
    bevel_ = p->bevel_;
    style_ = p->style_;
    Changed(true);
    return;
  }
  TCollectionItem::Assign(source);
}

// --- TStatusPanels -------------------------------------------------------------------

TStatusPanels::TStatusPanels(TStatusBar* bar) : TOwnedCollection(bar, ItemClassOf<TStatusPanel>()), bar_(bar) {}

void TStatusPanels::Update(TCollectionItem* item) { bar_->UpdatePanel(static_cast<TStatusPanel*>(item)); }

// --- TStatusBar ---------------------------------------------------------------------------

TStatusBar::TStatusBar(TComponent* owner)
    : TCustomControl(owner), panels_(std::make_unique<TStatusPanels>(this)) {
  SetTabStop(false);
  Surface()->setFocusPolicy(Qt::NoFocus);
  SetBounds(0, 0, 200, 19);
  SetAlign(alBottom);
}

TStatusBar::~TStatusBar() { panels_.reset(); }

void TStatusBar::SetSimplePanel(bool v) {
  simplePanel_ = v;
  Invalidate();
}

void TStatusBar::SetSimpleText(const AnsiString& t) {
  simpleText_ = t;
  if (simplePanel_) Invalidate();
}

void TStatusBar::SetSizeGrip(bool v) {
  sizeGrip_ = v;
  Invalidate();
}

TRect TStatusBar::PanelRect(int index) const {
  if (simplePanel_ || index < 0 || index >= panels_->Count()) return TRect();
  int x = 0;
  for (int i = 0; i < index; ++i) x += std::max(panels_->Items(i)->Width(), 0);
  int right = index == panels_->Count() - 1 ? ClientWidth() : x + std::max(panels_->Items(index)->Width(), 0);
  return TRect(x, 2, std::max(right, x), ClientHeight());
}

void TStatusBar::UpdatePanel(TStatusPanel* panel) {
  if (!panel) {
    Invalidate();
    return;
  }
  TRect r = PanelRect(panel->Index());
  if (Surface() && !r.IsEmpty()) Surface()->update(r.Left, r.Top, r.Width(), r.Height());
}

void TStatusBar::DrawPanel(TStatusPanel* panel, const TRect& rect) {
  if (OnDrawPanel) OnDrawPanel(this, panel, rect);
}

void TStatusBar::Paint() {
  TCanvas* c = Canvas();
  c->Brush()->SetColor(Color());
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(ClientRect());
  c->Font()->Assign(Font());
  auto text = [&](const AnsiString& s, TRect r, TAlignment a) {
    InflateRect(r, -2, -1);
    c->Brush()->SetStyle(bsClear);
    unsigned f = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    f |= a == taCenter ? DT_CENTER : a == taRightJustify ? DT_RIGHT : DT_LEFT;
    c->DrawText(s, r, f);
  };
  if (simplePanel_) {
    text(simpleText_, TRect(0, 2, ClientWidth(), ClientHeight()), taLeftJustify);
    return;
  }
  for (int i = 0; i < panels_->Count(); ++i) {
    TStatusPanel* p = panels_->Items(i);
    TRect r = PanelRect(i);
    if (r.IsEmpty()) continue;
    TRect frame = r;
    if (p->Bevel() != pbNone)
      Frame3D(c, frame, p->Bevel() == pbLowered ? clBtnShadow : clBtnHighlight,
              p->Bevel() == pbLowered ? clBtnHighlight : clBtnShadow, 1);
    if (p->Style() == psOwnerDraw)
      DrawPanel(p, frame);
    else
      text(p->Text(), r, p->Alignment());
  }
}

PAYROLL_PUBLISH(TStatusPanel) {
  p.Property("Alignment", &TStatusPanel::Alignment, &TStatusPanel::SetAlignment).Default(taLeftJustify);
  p.Property("Bevel", &TStatusPanel::Bevel, &TStatusPanel::SetBevel).Default(pbLowered);
  p.Property("Style", &TStatusPanel::Style, &TStatusPanel::SetStyle).Default(psText);
  p.Property("Text", &TStatusPanel::Text, &TStatusPanel::SetText);
  p.Property("Width", &TStatusPanel::Width, &TStatusPanel::SetWidth);
}

PAYROLL_PUBLISH(TStatusPanels) {}

PAYROLL_PUBLISH(TStatusBar) {
  p.Property("Panels", &TStatusBar::Panels);
  p.Property("SimplePanel", &TStatusBar::SimplePanel, &TStatusBar::SetSimplePanel).Default(false);
  p.Property("SimpleText", &TStatusBar::SimpleText, &TStatusBar::SetSimpleText);
  p.Property("SizeGrip", &TStatusBar::SizeGrip, &TStatusBar::SetSizeGrip).Default(true);
  p.Event("OnDrawPanel", &TStatusBar::OnDrawPanel);
}
