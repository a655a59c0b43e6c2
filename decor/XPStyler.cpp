// The XP-style painter: install and removal, menus, tool bars, control
// bars and the drawing utilities the control painters share.
#include "decor/XPStyler.h"

#include <QImage>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "platform/ui/Forms.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/SysColors.h"

namespace {

const TXPControls kAllControls = TXPControls::FromBits(0xFFFF);

// The system's menu font, in the menu-text colour.
void AssignMenuFont(TCanvas* c) {
  TFont sys;
  sys.SetColor(clMenuText);
  c->Font()->Assign(&sys);
}

bool IsTopLevel(TMenuItem* item) {
  return item->Parent() && !item->Parent()->Parent() &&
         dynamic_cast<TMainMenu*>(item->GetParentMenu()) != nullptr;
}

}  // namespace

TXPStyler::TXPStyler(TComponent* owner)
    : TComponent(owner), font_(std::make_unique<TFont>()),
      containers_(TXPContainers::FromBits(1023)), controls_(TXPControls::FromBits(0xFFFF)) {
  font_->SetColor(clMenuText);
}

TXPStyler::~TXPStyler() {
  *alive_ = false;
  // With the form going too, its menus and controls may be gone already.
  if (active_ && Owner() && !Owner()->ComponentState().Contains(csDestroying)) {
    active_ = false;
    Install(Owner(), false);
  }
  // Controls that went first have taken their sub-class with them
  // (Notification); the others get their own procedure back.
  for (TControlSubClass* s : std::vector<TControlSubClass*>(subClasses_)) {
    s->Detach();
    delete s;
  }
}

void TXPStyler::SetActive(bool v) {
  if (v == active_) return;
  active_ = v;
  if (ComponentState().Contains(csLoading)) return;
  if (Owner()) Install(Owner(), v);
  RedrawMenuBar();
}

void TXPStyler::Loaded() {
  TComponent::Loaded();
  if (active_ && Owner()) {
    Install(Owner(), true);
    RedrawMenuBar();
  }
}

void TXPStyler::SetFont(TFont* f) {
  font_->Assign(f);
  RedrawMenuBar();
}

void TXPStyler::SetMenuBarColor(TColor c) {
  menuBarColor_ = c;
  RedrawMenuBar();
}

void TXPStyler::SetUseSystemColors(bool v) {
  useSystemColors_ = v;
  RedrawMenuBar();
}

void TXPStyler::SetXPContainers(const TXPContainers& v) {
  containers_ = v;
  Reinstall();
}

void TXPStyler::SetXPControls(const TXPControls& v) {
  controls_ = v;
  Reinstall();
}

void TXPStyler::SetControlUseTrueXPStyle(bool v) {
  trueXP_ = v;
  if (!v) return;
  btnOutLine_ = 7552000;
  btnInnerMove_ = 3257087;
  btnInnerFocus_ = 15183500;
  btnSurfaceNormal_ = 16251903;
  btnSurfaceDown_ = 14608359;
  btnBottomLine_ = 14608359;
  btnDownBottomLine_ = 15199215;
  comboDropped_ = 16229004;
}

void TXPStyler::Reinstall() {
  if (!active_ || !Owner() || ComponentState().Contains(csLoading)) return;
  Install(Owner(), false);
  // The controls no longer selected detach at their next message; make
  // that happen now so that the new set starts clean.
  for (TControlSubClass* s : std::vector<TControlSubClass*>(subClasses_)) {
    s->Detach();
    ForgetSubClass(s);
    delete s;
  }
  Install(Owner(), true);
  RedrawMenuBar();
}

void TXPStyler::RedrawMenuBar() {
  if (auto* form = dynamic_cast<TCustomForm*>(Owner()))
    if (TMainMenu* menu = form->Menu()) menu->SetOwnerDraw(menu->OwnerDraw());
}

void TXPStyler::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove) {
    // Called from the component's base destructor: compare addresses only.
    ownDraw_.erase(component);
    ownMeasure_.erase(component);
    ownToolBars_.erase(component);
    ownControlBars_.erase(component);
    for (TControlSubClass* s : std::vector<TControlSubClass*>(subClasses_))
      if (s->Control() == component) {
        ForgetSubClass(s);
        delete s;  // the control is going: nothing to put back
      }
    return;
  }
  if (!active_ || !autoDetect_ || installing_ || ComponentState().Contains(csDesigning)) return;
  // Switching on again picks the new component up; what is installed
  // already is left as it is (registration is idempotent).  A component
  // created with its owner is announced from its base constructor, before
  // its kind can be told and before it joins its menu or bar, so the pass
  // also runs once the program is back in its event loop.
  if (dynamic_cast<TMenuItem*>(component) || dynamic_cast<TToolButton*>(component) ||
      dynamic_cast<TControlBar*>(component))
    if (Owner()) Install(Owner(), true);
  if (!detectQueued_) {
    detectQueued_ = true;
    QTimer::singleShot(0, [this, alive = alive_] {
      if (!*alive) return;
      detectQueued_ = false;
      if (active_ && autoDetect_ && Owner()) Install(Owner(), true);
    });
  }
}

// --- install ---------------------------------------------------------------------------

void TXPStyler::Install(TComponent* container, bool enable) {
  bool outer = installing_;
  installing_ = true;
  for (int i = 0; i < container->ComponentCount(); ++i) {
    TComponent* comp = container->Components(i);
    if (auto* menu = dynamic_cast<TMenu*>(comp)) {
      bool wanted = dynamic_cast<TMainMenu*>(menu) ? controls_.Contains(xcMainMenu)
                                                   : controls_.Contains(xcPopupMenu);
      if (!wanted || menu->Tag() == kXPOptOutTag) continue;
      for (int j = 0; j < menu->Items()->Count(); ++j) InstallItem(menu->Items()->Items(j), enable);
      menu->SetOwnerDraw(enable);
      continue;
    }
    if (auto* bar = dynamic_cast<TToolBar*>(comp); bar && controls_.Contains(xcToolbar) && !ComponentState().Contains(csDesigning)) {
      if (bar->Tag() == kXPOptOutTag) continue;
      bar->SetFlat(true);
      if (enable && (!bar->OnCustomDrawButton || override_)) {
        bar->OnCustomDrawButton = [this, alive = alive_](TToolBar* b, TToolButton* btn, bool& dd) {
          if (*alive) DrawToolButton(b, btn, dd);
        };
        ownToolBars_.insert(bar);
      } else if (!enable && ownToolBars_.erase(bar)) {
        bar->OnCustomDrawButton = nullptr;
      }
      bar->Invalidate();
    }
    if (auto* cb = dynamic_cast<TControlBar*>(comp); cb && controls_.Contains(xcControlbar) && !ComponentState().Contains(csDesigning)) {
      if (cb->Tag() == kXPOptOutTag) continue;
      if (enable && (!cb->OnBandPaint || override_)) {
        cb->OnBandPaint = [this, alive = alive_](TObject* s, TControl* c, TCanvas* cv, TRect& r,
                                                 TBandPaintOptions& o) {
          if (*alive) DrawBand(static_cast<TControlBar*>(s), c, cv, r, o);
        };
        ownControlBars_.insert(cb);
      } else if (!enable && ownControlBars_.erase(cb)) {
        cb->OnBandPaint = nullptr;
      }
      cb->Invalidate();
    }
    if (ComponentState().Contains(csDesigning)) continue;
    if (auto* control = dynamic_cast<TControl*>(comp)) InstallControl(control, enable);
    if (comp != container && comp->ComponentCount() > 0 &&
        (dynamic_cast<TCustomForm*>(comp) || comp->ClassNameIs("TFrame")))
      if (containers_.Contains(xccFrame) || dynamic_cast<TCustomForm*>(comp)) Install(comp, enable);
  }
  installing_ = outer;
}

void TXPStyler::InstallItem(TMenuItem* item, bool enable) {
  if (item->Tag() != kXPOptOutTag) {
    if (enable) {
      // Registering twice leaves one handler: the set and the handler's
      // identity make a second pass a no-op.
      if (!item->OnDrawItem || override_ || ownDraw_.count(item)) {
        item->OnDrawItem = [this, item, alive = alive_](TObject*, TCanvas* c, const TRect& r, bool sel) {
          if (*alive) DrawItem(item, c, r, sel);
        };
        ownDraw_.insert(item);
      }
      if (!item->OnMeasureItem || override_ || ownMeasure_.count(item)) {
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

bool TXPStyler::Qualifies(TControl* c) const {
  if (dynamic_cast<TCustomComboBox*>(c)) return controls_.Contains(xcCombo);
  if (c->ClassNameIs("TMaskEdit") || c->ClassNameIs("TDBEdit")) return controls_.Contains(xcMaskEdit);
  if (dynamic_cast<TCustomMemo*>(c)) return controls_.Contains(xcMemo);
  if (dynamic_cast<TEdit*>(c)) return controls_.Contains(xcEdit);
  if (dynamic_cast<TCustomCheckBox*>(c)) return controls_.Contains(xcCheckBox);
  if (dynamic_cast<TRadioButton*>(c)) return controls_.Contains(xcRadioButton);
  if (c->ClassNameIs("TBitBtn")) return controls_.Contains(xcBitBtn);
  if (c->ClassNameIs("TButton") || c->ClassNameIs("TUpDown")) return controls_.Contains(xcButton);
  if (dynamic_cast<TSpeedButton*>(c)) return controls_.Contains(xcSpeedButton);
  if (dynamic_cast<TCustomPanel*>(c)) return controls_.Contains(xcPanel);
  if (dynamic_cast<TCustomGroupBox*>(c)) return controls_.Contains(xcGroupBox);
  return false;
}

bool TXPStyler::ContainerAllowed(TWinControl* p) const {
  if (!p) return false;
  if (dynamic_cast<TToolBar*>(p)) return containers_.Contains(xccToolbar);
  if (dynamic_cast<TCoolBar*>(p)) return containers_.Contains(xccCoolbar);
  if (dynamic_cast<TCustomPanel*>(p)) return containers_.Contains(xccPanel);
  if (dynamic_cast<TControlBar*>(p)) return containers_.Contains(xccControlbar);
  if (dynamic_cast<TScrollBox*>(p)) return containers_.Contains(xccScrollBox);
  if (dynamic_cast<TCustomGroupBox*>(p)) return containers_.Contains(xccGroupBox);
  if (dynamic_cast<TTabSheet*>(p)) return containers_.Contains(xccTabSheet);
  if (p->ClassNameIs("TFrame") || p->ClassNameIs("TDBCtrlPanel")) return containers_.Contains(xccFrame);
  if (dynamic_cast<TCustomForm*>(p)) return containers_.Contains(xccForm);
  return false;
}

void TXPStyler::InstallControl(TControl* control, bool enable) {
  if (!enable) {
    // Each sub-class detaches at its control's next message; repaint so
    // that there is one.
    if (SubClassOf(control)) control->Invalidate();
    return;
  }
  if (control->Tag() == kXPOptOutTag || !Qualifies(control)) return;
  TWinControl* parent = control->Parent();
  if (!ContainerAllowed(parent) || parent->Tag() == kXPOptOutTag) return;
  if (SubClassOf(control)) return;  // already served: registration is idempotent
  subClasses_.push_back(new TControlSubClass(this, control));
  control->FreeNotification(this);
  control->Invalidate();
}

TControlSubClass* TXPStyler::SubClassOf(TControl* control) const {
  for (TControlSubClass* s : subClasses_)
    if (s->Control() == control) return s;
  return nullptr;
}

void TXPStyler::ForgetSubClass(TControlSubClass* s) {
  subClasses_.erase(std::remove(subClasses_.begin(), subClasses_.end(), s), subClasses_.end());
}

// --- colours -----------------------------------------------------------------------------

TXPColors TXPStyler::ColorsFor(TCanvas* canvas) const {
  TXPColors k;
  k.highColor = XPHighColor(canvas);
  k.textArea = color_;
  k.iconStrip = iconBackColor_;
  k.selectBorder = selectBorderColor_;
  k.selectFont = selectFontColor_;
  k.menuBar = menuBarColor_;
  k.disabled = disabledColor_;
  k.checked = checkedColor_;
  k.separator = separatorColor_;
  if (k.highColor) {
    k.selectFill = XPLighten(selectColor_, 68);
    k.lightSelect = XPLighten(selectColor_, 80);
    k.mediumSelect = XPLighten(selectColor_, 50);
    k.flatBorder = XPDarken(clBtnFace, 90);
    k.flatShadow = XPDarken(clBtnFace, 76);
  } else {
    k.selectFill = selectColor_;
    k.lightSelect = clWhite;
    k.mediumSelect = 0xC0C0C0;
    k.flatBorder = k.flatShadow = clBtnShadow;
  }
  if (useSystemColors_) {
    k.selectFont = clMenuText;
    k.selectBorder = clHighlight;
    k.menuBar = clBtnFace;
    k.checked = clHighlight;
    if (k.highColor) {
      k.textArea = XPLighten(clBtnFace, 86);
      k.iconStrip = XPLighten(clBtnFace, 16);
      k.selectFill = XPLighten(clHighlight, 68);
      k.disabled = XPLighten(clBtnShadow, 10);
      k.separator = XPLighten(clBtnShadow, 25);
      k.lightSelect = XPLighten(clHighlight, 80);
      k.mediumSelect = XPLighten(clHighlight, 50);
    } else {
      k.textArea = clWhite;
      k.iconStrip = clBtnFace;
      k.selectFill = clWhite;
      k.disabled = clBtnShadow;
      k.separator = clBtnShadow;
      k.lightSelect = k.mediumSelect = clWhite;
    }
  }
  return k;
}

// --- menus ---------------------------------------------------------------------------

TBitmap* TXPStyler::ItemImage(TMenuItem* item, TBitmap* scratch) const {
  TMenu* menu = item->GetParentMenu();
  TCustomImageList* list = menu ? menu->Images() : nullptr;
  if (list && item->ImageIndex() >= 0 && item->ImageIndex() < list->Count()) {
    list->GetBitmap(item->ImageIndex(), scratch);
    return scratch;
  }
  TBitmap* b = item->Bitmap();
  return b && !b->Empty() ? b : nullptr;
}

void TXPStyler::MeasureItem(TMenuItem* item, TCanvas* canvas, int& width, int& height) {
  if (!active_) return;
  if (useSystemColors_)
    AssignMenuFont(canvas);
  else
    canvas->Font()->Assign(font_.get());
  AnsiString text = item->IsLine() ? AnsiString() : item->Caption();
  if (item->ShortCut()) text += ShortCutToText(item->ShortCut()) + "WWW";
  int w = canvas->TextWidth(text) + 5;
  if (text.Pos("&") > 0) w -= canvas->TextWidth("&");
  bool topLevel = IsTopLevel(item);
  TBitmap scratch;
  TBitmap* image = ItemImage(item, &scratch);
  int imageW = image ? image->Width() : 0, imageH = image ? image->Height() : 0;
  if (!topLevel) imageW = std::max(imageW, iconWidth_);
  w += imageW;
  if (topLevel) w += 8;  // the menu bar's own gap between items
  width = std::max(width, w);
  if (item->IsLine()) {
    height = 4;
    return;
  }
  int th = canvas->TextHeight("W");
  int h = th + static_cast<int>(std::lround(th * 0.75));
  if (image) h = std::max(h, imageH + 6);
  height = std::max(height, h);
}

void TXPStyler::DrawItem(TMenuItem* item, TCanvas* c, const TRect& rect, bool selected) {
  TXPColors k = ColorsFor(c);
  bool topLevel = IsTopLevel(item);
  TBitmap scratch;
  TBitmap* image = item->IsLine() ? nullptr : ItemImage(item, &scratch);
  TRect strip(rect.Left, rect.Top, rect.Left + (topLevel ? 0 : iconWidth_), rect.Bottom);
  TRect text(strip.Right, rect.Top, rect.Right, rect.Bottom);
  c->Brush()->SetStyle(bsSolid);
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  if (topLevel) {
    c->Brush()->SetColor(k.menuBar);
    c->FillRect(rect);
  } else {
    c->Brush()->SetColor(k.textArea);
    c->FillRect(text);
    if (gradient_) {
      // One line at a time across the strip, lighter by 3% per line near
      // the strip, by 1% beyond, never above 96%.
      int p = 0;
      for (int x = strip.Left; x < strip.Right; ++x) {
        c->Pen()->SetColor(XPLighten(iconBackColor_, p));
        c->MoveTo(x, strip.Top);
        c->LineTo(x, strip.Bottom);
        p = std::min(96, p + (x - strip.Left < iconWidth_ + 5 ? 3 : 1));
      }
    } else {
      c->Brush()->SetColor(k.iconStrip);
      c->FillRect(strip);
    }
  }
  // Attach the handlers to sub-items added at run time.
  for (int i = 0; i < item->Count(); ++i) InstallItem(item->Items(i), active_);
  if (item->IsLine()) {
    c->Pen()->SetColor(k.separator);
    int y = rect.Top + rect.Height() / 2;
    c->MoveTo(text.Left + 7, y);
    c->LineTo(text.Right, y);
    return;
  }
  bool enabled = item->Enabled();
  if (drawSelect_ && selected) {
    if (topLevel) {
      DrawOpenedItemFrame(true, c, k, rect, k.menuBar, false);
    } else if (enabled) {
      c->Brush()->SetColor(k.selectFill);
      c->Pen()->SetColor(k.selectBorder);
      c->Rectangle(rect.Left, rect.Top + 1, rect.Right - (flatMenu_ ? 1 : 0), rect.Bottom);
    }
  }
  if (item->Checked()) {
    TRect box;
    if (image) {
      int w = image->Width(), h = image->Height();
      int x = rect.Left + (w < iconWidth_ ? (iconWidth_ - w) / 2 - 1 : 2);
      int y = rect.Top + 3;
      box = TRect(x - 2, y - 2, x + w + 2, y + h + 2);
    } else {
      int cx = strip.Left + iconWidth_ / 2, cy = rect.Top + rect.Height() / 2;
      box = TRect(cx - 5, cy - 5, cx + 5, cy + 5);
    }
    DrawMenuCheck(item, selected, box, c, k, image != nullptr, enabled);
  }
  if (image) {
    TItemImage s;
    s.menuItem = true;
    s.highlighted = selected;
    s.enabled = enabled;
    s.checked = item->Checked();
    s.topLevel = topLevel;
    DrawItemImage(s, c, image, topLevel ? rect : strip, k);
  }
  TItemText t;
  t.text = item->Caption();
  t.font = useSystemColors_ ? nullptr : font_.get();
  t.topLevel = topLevel;
  t.isDefault = item->Default();
  t.enabled = enabled;
  t.selected = selected;
  t.hasShortcut = !topLevel;
  t.shortcut = item->ShortCut() ? ShortCutToText(item->ShortCut()) : AnsiString();
  TRect tr = text;
  tr.Left += 3;
  if (topLevel) t.format = DT_CENTER, tr = rect;
  DrawItemText(t, tr, c, k);
}

// --- tool bars and control bars -------------------------------------------------------------

void TXPStyler::DrawToolButton(TToolBar* bar, TToolButton* button, bool& defaultDraw) {
  defaultDraw = false;  // the bar draws nothing of the button itself
  TCanvas* c = button->Canvas();
  TXPColors k = ColorsFor(c);
  TRect r(0, 0, button->Width(), button->Height());
  TColor back = k.highColor ? XPLighten(bar->Color(), 16) : bar->Color();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(back);
  c->FillRect(r);
  if (button->Style() == tbsSeparator || button->Style() == tbsDivider) {
    // A separator shows a line only when its Tag is positive.
    if (button->Tag() > 0) {
      c->Pen()->SetColor(XPDarken(bar->Color(), 30));
      int x = r.Left + (r.Right - r.Left) / 2;
      c->MoveTo(x, r.Top + 2);
      c->LineTo(x, r.Bottom - 1);
    }
    return;
  }
  bool checked = button->Down(), enabled = button->Enabled();
  bool hot = button->MouseInControl() && enabled, selected = button->Pressed();
  bool dropDown = button->Style() == tbsDropDown;
  TRect fill(r.Left, r.Top + 1, r.Right, r.Bottom);
  // Highlight: hot, else checked; the fill leaves the top line, the frame
  // runs through (Left, Top + 1) and (Right - 1, Bottom - 1).
  if (hot || checked) {
    TColor brush = hot ? (checked || selected ? k.mediumSelect : k.selectFill) : k.lightSelect;
    c->Brush()->SetColor(brush);
    c->FillRect(fill);
    c->Brush()->SetColor(k.selectBorder);
    if (dropDown) {
      c->FrameRect(TRect(r.Left, r.Top + 1, r.Right - 13, r.Bottom));
      c->FrameRect(TRect(r.Right - 14, r.Top + 1, r.Right, r.Bottom));
    } else {
      c->FrameRect(fill);
    }
    c->Brush()->SetColor(brush);
  }
  if (dropDown) {
    c->Pen()->SetColor(clBlack);
    XPDrawDropDownArrow(c, r.Right - 10, r.Top + (r.Height() - 3) / 2 + 1);
  }
  TCustomImageList* list = bar->Images();
  TRect ir = r;
  if (dropDown) ir.Right -= 12;
  int iw = 0;
  if (list && button->ImageIndex() >= 0 && button->ImageIndex() < list->Count()) {
    TBitmap img;
    list->GetBitmap(button->ImageIndex(), &img);
    iw = list->Width();
    ir.Left = static_cast<int>(std::nearbyint(ir.Left + (ir.Width() - iw) / 2.0));
    ir.Right = ir.Left + iw;
    ir.Top += 2;
    ir.Bottom = ir.Top + list->Height() + 6;
    TItemImage s;
    s.highlighted = hot;
    s.pressed = selected;
    s.enabled = enabled;
    s.checked = checked;
    DrawItemImage(s, c, &img, ir, k);
  }
  if (bar->ShowCaptions()) {
    TRect tr = r;
    if (dropDown) tr.Right -= 12;
    c->Font()->Assign(font_.get());
    tr.Top = tr.Bottom - c->TextHeight(button->Caption()) - 6;
    TItemText t;
    t.text = button->Caption();
    t.format = DT_CENTER;
    t.font = font_.get();
    t.enabled = enabled;
    t.selected = selected;
    t.disabledToolButton = !enabled;
    DrawItemText(t, tr, c, k);
  }
}

void TXPStyler::DrawBand(TControlBar* bar, TControl*, TCanvas* c, TRect& r, TBandPaintOptions& options) {
  options = TBandPaintOptions();
  TXPColors k = ColorsFor(c);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(k.highColor ? XPLighten(bar->Color(), 6) : bar->Color());
  c->FillRect(r);
  int p = 30;
  for (int y = r.Top + 5; y <= r.Bottom - 5; ++y) {
    if (y % 2) continue;
    c->Pen()->SetColor(XPDarken(bar->Color(), p));
    c->MoveTo(r.Left + 3, y);
    c->LineTo(r.Left + 6, y);
    p += 7;
  }
}

// --- drawing utilities ------------------------------------------------------------------

void TXPStyler::DrawOpenedItemFrame(bool menuSender, TCanvas* c, const TXPColors& k, TRect r,
                                    TColor background, bool rightToLeft) {
  int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(k.selectFill);
  c->FillRect(r);
  c->Pen()->SetColor(k.selectBorder);
  auto fill = [&](TColor col, int l, int t, int rr, int b) {
    c->Brush()->SetColor(col);
    c->FillRect(TRect(l, t, rr, b));
  };
  auto line = [&](TColor col, std::vector<TPoint> pts) {
    c->Pen()->SetColor(col);
    c->Polyline(pts);
  };
  if (!rightToLeft && k.highColor && menuSender) {
    c->Polyline({{L, B - 1}, {L, T}, {R - 8, T}, {R - 8, B}});
    TColor m = k.menuBar;
    fill(XPDarken(m, 10), R - 7, T, R, B);
    fill(XPDarken(m, 30), R - 7, T + 3, R - 2, B);
    fill(XPDarken(m, 60), R - 7, T + 5, R - 3, B);
    fill(XPDarken(m, 100), R - 7, T + 6, R - 5, B);
    line(m, {{R - 5, T + 1}, {R - 1, T + 1}, {R - 1, T + 6}});
    line(m, {{R - 3, T + 2}, {R - 2, T + 2}, {R - 2, T + 3}, {R - 3, T + 3}});
    line(XPDarken(m, 10), {{R - 6, T + 3}, {R - 3, T + 3}, {R - 3, T + 6}, {R - 4, T + 6}, {R - 4, T + 3}});
    line(XPDarken(m, 30), {{R - 5, T + 5}, {R - 4, T + 5}, {R - 4, T + 9}});
    line(XPDarken(m, 40), {{R - 6, T + 5}, {R - 6, T + 7}});
  } else {
    c->Polyline({{L, B - 1}, {L, T}, {R - 3, T}, {R - 3, B}});
    fill(XPDarken(background, 70), R - 2, T + 2, R, B);
    fill(background, R - 2, T, R, T + 2);
  }
  c->Brush()->SetColor(k.selectFill);
}

void TXPStyler::DrawMenuCheck(TMenuItem* item, bool selected, const TRect& r, TCanvas* c,
                              const TXPColors& k, bool hasImage, bool enabled) {
  if (!item->Checked()) return;
  c->Brush()->SetStyle(bsSolid);
  if (enabled) {
    c->Pen()->SetColor(item->RadioItem() || hasImage ? k.selectBorder : k.checked);
    c->Brush()->SetColor(selected ? k.mediumSelect : k.lightSelect);
  } else {
    c->Pen()->SetColor(k.disabled);
    c->Brush()->SetColor(selected && drawSelect_ ? k.selectFill : k.iconStrip);
  }
  int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
  if (item->RadioItem()) {
    if (hasImage)
      c->RoundRect(L, T, R, B, 6, 6);
    else
      c->Ellipse(r);
    return;
  }
  c->Rectangle(r);
  if (hasImage) return;
  c->Pen()->SetColor(enabled ? clBlack : k.disabled);
  auto seg = [&](int x1, int y1, int x2, int y2) {
    c->MoveTo(x1, y1);
    c->LineTo(x2, y2);
  };
  seg(L + 1, T + 5, L + 4, B - 2);
  seg(L + 2, T + 5, L + 4, B - 3);
  seg(L + 2, T + 4, L + 5, B - 3);
  seg(L + 4, B - 3, R + 2, T - 1);
  seg(L + 4, B - 2, R - 2, T + 3);
}

void TXPStyler::DrawItemText(const TItemText& t, TRect r, TCanvas* c, const TXPColors& k) {
  if (t.font)
    c->Font()->Assign(t.font);
  else
    AssignMenuFont(c);
  TColor col = c->Font()->Color();
  if (t.selected) col = k.selectFont;
  if (!t.enabled) col = k.disabled;
  unsigned fmt = DT_SINGLELINE | t.format;
  if (t.disabledToolButton) {
    r.Top += (r.Height() - c->TextHeight("W")) / 2;
    TBitmap b;
    b.SetSize(std::max(1, r.Width()), std::max(1, r.Height()));
    b.Canvas()->Brush()->SetColor(c->Brush()->Color());
    b.Canvas()->FillRect(TRect(0, 0, r.Width(), r.Height()));
    b.Canvas()->Font()->Assign(c->Font());
    b.Canvas()->Font()->SetColor(col);
    b.Canvas()->Brush()->SetStyle(bsClear);
    TRect br(0, 0, r.Width(), r.Height());
    b.Canvas()->DrawText(t.text, br, fmt);
    c->Draw(r.Left, r.Top, &b);
    return;
  }
  if (t.selected && t.topLevel && useSystemColors_) col = XPDarkBackgroundText(k.iconStrip, font_->Color());
  r.Top += (r.Height() - c->TextHeight("W")) / 2;
  c->Brush()->SetStyle(bsClear);
  if (t.isDefault && t.enabled) {
    // The default item's emboss: four passes, each darker than the pixel
    // under its corner.
    struct Pass { int dl, dt, dr, d; };
    for (Pass p : {Pass{1, 0, 0, 30}, Pass{1, 2, 1, 30}, Pass{0, 1, 0, 40}, Pass{1, 1, 1, 60}}) {
      TRect pr(r.Left + p.dl, r.Top + p.dt, r.Right + p.dr, r.Bottom);
      c->Font()->SetColor(XPDarken(c->Pixels(pr.Left, pr.Top), p.d));
      c->DrawText(t.text, pr, fmt);
    }
  }
  c->Font()->SetColor(col);
  TRect tr = r;
  c->DrawText(t.text, tr, fmt);
  if (t.hasShortcut) {
    c->Font()->SetColor(k.highColor ? XPDarken(col, -40) : col);
    TRect sr = r;
    if (t.rightToLeft) {
      sr.Left += 10;
      c->DrawText(t.shortcut + " ", sr, DT_SINGLELINE);
    } else {
      sr.Right -= 10;
      c->DrawText(t.shortcut + " ", sr, DT_SINGLELINE | DT_RIGHT);
    }
  }
}

void TXPStyler::DrawItemImage(const TItemImage& s, TCanvas* c, TBitmap* bitmap, const TRect& r,
                              const TXPColors& k) {
  if (!bitmap || bitmap->Width() == 0) return;
  int w = bitmap->Width();
  int x = r.Left, y = r.Top + 1;
  if (s.menuItem) {
    y += 2;
    if (w < iconWidth_)
      x = r.Left + (iconWidth_ - w) / 2 - 1;
    else
      x = s.rightToLeft ? r.Right - w - 2 : r.Left + 2;
    if (s.topLevel) x = s.rightToLeft ? r.Right - w - 5 : r.Left + 1;
  }
  bool plainHot = s.highlighted && s.enabled && !s.checked;
  if (plainHot && !s.topLevel && !s.pressed) --x, --y;  // the image lifts
  TBitmap copy;
  copy.Assign(bitmap);
  if (!s.highlighted && s.enabled && !s.checked && k.highColor) XPDimImage(&copy, dimLevel_);
  if (!s.enabled) {
    XPGrayImage(&copy, grayLevel_);
    XPDimImage(&copy, 40);
  }
  if (plainHot) XPImageShadow(c, &copy, x + 2, y + 2, XPDarken(k.selectFill, 50));
  copy.SetTransparent(true);
  c->Draw(x, y, &copy);
}

// --- publishing ---------------------------------------------------------------------------

PAYROLL_PUBLISH(TXPStyler) {
  p.Property("Active", &TXPStyler::Active, &TXPStyler::SetActive).Default(false);
  p.Property("AutoDetect", &TXPStyler::AutoDetect, &TXPStyler::SetAutoDetect).Default(false);
  p.Property("Font", &TXPStyler::Font);
  p.Property("Color", &TXPStyler::Color, &TXPStyler::SetColor).Default(clBtnFace).Idents(ColorIdents());
  p.Property("IconBackColor", &TXPStyler::IconBackColor, &TXPStyler::SetIconBackColor).Default(clBtnFace).Idents(ColorIdents());
  p.Property("MenuBarColor", &TXPStyler::MenuBarColor, &TXPStyler::SetMenuBarColor).Default(clBtnFace).Idents(ColorIdents());
  p.Property("SelectColor", &TXPStyler::SelectColor, &TXPStyler::SetSelectColor).Default(clHighlight).Idents(ColorIdents());
  p.Property("SelectBorderColor", &TXPStyler::SelectBorderColor, &TXPStyler::SetSelectBorderColor)
      .Default(clHighlight).Idents(ColorIdents());
  p.Property("SelectFontColor", &TXPStyler::SelectFontColor, &TXPStyler::SetSelectFontColor).Idents(ColorIdents());
  p.Property("DisabledColor", &TXPStyler::DisabledColor, &TXPStyler::SetDisabledColor)
      .Default(clInactiveCaption).Idents(ColorIdents());
  p.Property("SeparatorColor", &TXPStyler::SeparatorColor, &TXPStyler::SetSeparatorColor).Default(clBtnFace).Idents(ColorIdents());
  p.Property("CheckedColor", &TXPStyler::CheckedColor, &TXPStyler::SetCheckedColor).Default(clHighlight).Idents(ColorIdents());
  p.Property("IconWidth", &TXPStyler::IconWidth, &TXPStyler::SetIconWidth).Default(24);
  p.Property("DrawSelect", &TXPStyler::DrawSelect, &TXPStyler::SetDrawSelect).Default(true);
  p.Property("UseSystemColors", &TXPStyler::UseSystemColors, &TXPStyler::SetUseSystemColors).Default(true);
  p.Property("OverrideOwnerDraw", &TXPStyler::OverrideOwnerDraw, &TXPStyler::SetOverrideOwnerDraw)
      .Default(false);
  p.Property("Gradient", &TXPStyler::Gradient, &TXPStyler::SetGradient).Default(false);
  p.Property("FlatMenu", &TXPStyler::FlatMenu, &TXPStyler::SetFlatMenu).Default(false);
  p.Property("GrayLevel", &TXPStyler::GrayLevel, &TXPStyler::SetGrayLevel).Default(10);
  p.Property("DimLevel", &TXPStyler::DimLevel, &TXPStyler::SetDimLevel).Default(30);
  p.Property("XPContainers", &TXPStyler::XPContainers, &TXPStyler::SetXPContainers)
      .Default(TXPContainers::FromBits(1023));
  p.Property("XPControls", &TXPStyler::XPControls, &TXPStyler::SetXPControls).Default(kAllControls);
  p.Property("ControlUseTrueXPStyle", &TXPStyler::ControlUseTrueXPStyle, &TXPStyler::SetControlUseTrueXPStyle)
      .Default(true);
  p.Property("BtnRoundArc", &TXPStyler::BtnRoundArc, &TXPStyler::SetBtnRoundArc).Default(5);
  p.Property("BtnOutLineBorderColor", &TXPStyler::BtnOutLineBorderColor, &TXPStyler::SetBtnOutLineBorderColor).Idents(ColorIdents());
  p.Property("BtnInnerBorderMoveColor", &TXPStyler::BtnInnerBorderMoveColor,
             &TXPStyler::SetBtnInnerBorderMoveColor).Idents(ColorIdents());
  p.Property("BtnInnerBorderFocusColor", &TXPStyler::BtnInnerBorderFocusColor,
             &TXPStyler::SetBtnInnerBorderFocusColor).Idents(ColorIdents());
  p.Property("BtnSurfaceNormalColor", &TXPStyler::BtnSurfaceNormalColor, &TXPStyler::SetBtnSurfaceNormalColor).Idents(ColorIdents());
  p.Property("BtnSurfaceDownColor", &TXPStyler::BtnSurfaceDownColor, &TXPStyler::SetBtnSurfaceDownColor).Idents(ColorIdents());
  p.Property("BtnSurfaceBottomLineColor", &TXPStyler::BtnSurfaceBottomLineColor,
             &TXPStyler::SetBtnSurfaceBottomLineColor).Idents(ColorIdents());
  p.Property("BtnSurfaceDownBottomLineColor", &TXPStyler::BtnSurfaceDownBottomLineColor,
             &TXPStyler::SetBtnSurfaceDownBottomLineColor).Idents(ColorIdents());
  p.Property("RdoChkControlChkColor", &TXPStyler::RdoChkControlChkColor, &TXPStyler::SetRdoChkControlChkColor).Idents(ColorIdents());
  p.Property("ComboBoxChkColor", &TXPStyler::ComboBoxChkColor, &TXPStyler::SetComboBoxChkColor).Idents(ColorIdents());
  p.Property("ComboboxSurfaceMoveColor", &TXPStyler::ComboboxSurfaceMoveColor,
             &TXPStyler::SetComboboxSurfaceMoveColor).Idents(ColorIdents());
  p.Property("ControlDisabledBorderColor", &TXPStyler::ControlDisabledBorderColor,
             &TXPStyler::SetControlDisabledBorderColor).Idents(ColorIdents());
}
