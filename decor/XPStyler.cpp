// The XP-style menu painter.
#include "decor/XPStyler.h"

#include <cmath>

#include "platform/ui/SysColors.h"

TXPStyler::TXPStyler(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {}

TXPStyler::~TXPStyler() {
  *alive_ = false;
  // With the form going too, its menus may be gone already.
  if (active_ && Owner() && !Owner()->ComponentState().Contains(csDestroying)) Install(false);
}

void TXPStyler::SetActive(bool v) {
  if (v == active_) return;
  active_ = v;
  Install(v);
}

void TXPStyler::Install(bool enable) {
  TComponent* form = Owner();
  if (!form) return;
  for (int i = 0; i < form->ComponentCount(); ++i) {
    auto* menu = dynamic_cast<TMenu*>(form->Components(i));
    if (!menu || menu->Tag() == kXPOptOutTag) continue;
    for (int j = 0; j < menu->Items()->Count(); ++j) InstallItem(menu->Items()->Items(j), enable);
    menu->SetOwnerDraw(enable);
  }
}

void TXPStyler::InstallItem(TMenuItem* item, bool enable) {
  if (item->Tag() != kXPOptOutTag) {
    if (enable) {
      if (!item->OnDrawItem || override_) {
        item->OnDrawItem = [this, item, alive = alive_](TObject*, TCanvas* c, const TRect& r, bool sel) {
          if (*alive) DrawItem(item, c, r, sel);
        };
        ownDraw_.insert(item);
      }
      if (!item->OnMeasureItem || override_) {
        item->OnMeasureItem = [this, item, alive = alive_](TObject*, TCanvas* c, int& w, int& h) {
          if (*alive) MeasureItem(item, c, w, h);
        };
        ownMeasure_.insert(item);
      }
    } else {
      if (ownDraw_.erase(item)) item->OnDrawItem = nullptr;
      if (ownMeasure_.erase(item)) item->OnMeasureItem = nullptr;
    }
  }
  for (int i = 0; i < item->Count(); ++i) InstallItem(item->Items(i), enable);
}

void TXPStyler::MeasureItem(TMenuItem* item, TCanvas* canvas, int& width, int& height) {
  if (!active_) return;
  canvas->Font()->Assign(font_.get());
  AnsiString text = item->IsLine() ? AnsiString() : item->Caption();
  if (item->ShortCut()) text += ShortCutToText(item->ShortCut()) + "WWW";
  int w = canvas->TextWidth(text) + 5;
  if (text.Pos("&") > 0) w -= canvas->TextWidth("&");
  bool topLevel = item->Parent() && !item->Parent()->Parent();
  if (!topLevel) w += iconWidth_;
  width = std::max(width, w);
  int h;
  if (item->IsLine()) {
    h = 4;
  } else {
    int th = canvas->TextHeight("W");
    h = th + static_cast<int>(std::lround(th * 0.75));
  }
  height = item->IsLine() ? 4 : std::max(height, h);
}

void TXPStyler::DrawItem(TMenuItem* item, TCanvas* c, const TRect& rect, bool selected) {
  bool topLevel = item->Parent() && !item->Parent()->Parent();
  TColor textArea = XPLighten(clBtnFace, 86), strip = XPLighten(clBtnFace, 16);
  TColor selFill = XPLighten(clHighlight, 68), selBorder = clHighlight;
  c->Brush()->SetStyle(bsSolid);
  if (topLevel) {
    c->Brush()->SetColor(clBtnFace);
    c->FillRect(rect);
  } else {
    c->Brush()->SetColor(textArea);
    c->FillRect(TRect(rect.Left + iconWidth_, rect.Top, rect.Right, rect.Bottom));
    c->Brush()->SetColor(strip);
    c->FillRect(TRect(rect.Left, rect.Top, rect.Left + iconWidth_, rect.Bottom));
  }
  if (item->IsLine()) {
    c->Pen()->SetColor(XPLighten(clBtnShadow, 25));
    int y = rect.Top + rect.Height() / 2;
    c->MoveTo(rect.Left + iconWidth_ + 7, y);
    c->LineTo(rect.Right, y);
    return;
  }
  if (selected && item->Enabled()) {
    c->Brush()->SetColor(selFill);
    c->Pen()->SetColor(selBorder);
    c->Rectangle(rect.Left, rect.Top + 1, rect.Right, rect.Bottom);
  }
  c->Font()->Assign(font_.get());
  c->Font()->SetColor(!item->Enabled() ? XPLighten(clBtnShadow, 10) : clMenuText);
  c->Brush()->SetStyle(bsClear);
  TRect tr = rect;
  tr.Left += topLevel ? 3 : iconWidth_ + 3;
  c->DrawText(item->Caption(), tr, DT_SINGLELINE | DT_VCENTER);
  if (item->ShortCut()) {
    TRect sr = rect;
    sr.Right -= 10;
    c->DrawText(ShortCutToText(item->ShortCut()) + " ", sr, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
  }
}
