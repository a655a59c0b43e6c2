// Panels, bevels, images, notebooks and timers.
#include "platform/ui/ExtCtrls.h"

#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "platform/ui/ControlsInt.h"
#include "platform/ui/Frames3D.h"

// --- TCustomPanel ---------------------------------------------------------------

TCustomPanel::TCustomPanel(TComponent* owner) : TCustomControl(owner) {
  SetBounds(0, 0, 185, 41);
  SetTabStop(false);
  Surface()->setFocusPolicy(Qt::NoFocus);
}

void TCustomPanel::SetBevelInner(TBevelCut v) { bevelInner_ = v; Realign(); Invalidate(); }
void TCustomPanel::SetBevelOuter(TBevelCut v) { bevelOuter_ = v; Realign(); Invalidate(); }
void TCustomPanel::SetBevelWidth(int v) { bevelWidth_ = std::max(v, 1); Realign(); Invalidate(); }
void TCustomPanel::SetBorderWidth(int v) { borderWidth_ = std::max(v, 0); Realign(); Invalidate(); }
void TCustomPanel::SetBorderStyle(TBorderStyle s) { borderStyle_ = s; Realign(); Invalidate(); }
void TCustomPanel::SetAlignment(TAlignment a) { alignment_ = a; Invalidate(); }

void TCustomPanel::AdjustClientRect(TRect& rect) const {
  int inset = borderWidth_;
  if (bevelOuter_ != bvNone) inset += bevelWidth_;
  if (bevelInner_ != bvNone) inset += bevelWidth_;
  if (borderStyle_ == bsSingle) inset += 1;
  InflateRect(rect, -inset, -inset);
}

void TCustomPanel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush()->SetColor(Color());
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(r);
  if (borderStyle_ == bsSingle) {
    c->Brush()->SetColor(clWindowFrame);
    c->FrameRect(r);
    InflateRect(r, -1, -1);
  }
  auto bevel = [&](TBevelCut cut) {
    if (cut == bvNone) return;
    TColor top = cut == bvLowered ? clBtnShadow : clBtnHighlight;
    TColor bottom = cut == bvLowered ? clBtnHighlight : clBtnShadow;
    if (cut == bvSpace) top = bottom = Color();
    Frame3D(c, r, top, bottom, bevelWidth_);
  };
  bevel(bevelOuter_);
  InflateRect(r, -borderWidth_, -borderWidth_);
  bevel(bevelInner_);
  AnsiString text = Caption();
  if (text.IsEmpty()) return;
  c->Font()->Assign(Font());
  c->Brush()->SetStyle(bsClear);
  unsigned flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS;
  flags |= alignment_ == taCenter ? DT_CENTER : alignment_ == taRightJustify ? DT_RIGHT : DT_LEFT;
  c->DrawText(text, r, flags);
}

// --- TBevel ----------------------------------------------------------------------

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 50, 50); }

void TBevel::SetShape(TBevelShape s) { shape_ = s; Invalidate(); }
void TBevel::SetStyle(TBevelStyle s) { style_ = s; Invalidate(); }

void TBevel::Paint() {
  TCanvas* c = Canvas();
  TColor first = style_ == bsLowered ? clBtnShadow : clBtnHighlight;
  TColor second = style_ == bsLowered ? clBtnHighlight : clBtnShadow;
  int w = Width(), h = Height();
  auto line = [&](TColor color, int x1, int y1, int x2, int y2) {
    c->Pen()->SetColor(color);
    c->Pen()->SetWidth(1);
    c->MoveTo(x1, y1);
    c->LineTo(x2, y2);
  };
  switch (shape_) {
    case bsBox: {
      TRect r = ClientRect();
      Frame3D(c, r, first, second, 1);
      break;
    }
    case bsFrame: {
      // Two rectangles one pixel apart: an etched frame.
      TRect r(0, 0, w - 1, h - 1);
      c->Brush()->SetStyle(bsClear);
      c->Pen()->SetColor(first);
      c->Rectangle(r);
      TRect r2(1, 1, w, h);
      c->Pen()->SetColor(second);
      c->Rectangle(r2);
      break;
    }
    case bsTopLine: line(first, 0, 0, w, 0); line(second, 0, 1, w, 1); break;
    case bsBottomLine: line(first, 0, h - 2, w, h - 2); line(second, 0, h - 1, w, h - 1); break;
    case bsLeftLine: line(first, 0, 0, 0, h); line(second, 1, 0, 1, h); break;
    case bsRightLine: line(first, w - 2, 0, w - 2, h); line(second, w - 1, 0, w - 1, h); break;
    case bsSpacer: break;
  }
}

// --- TImage -------------------------------------------------------------------------

TImage::TImage(TComponent* owner) : TGraphicControl(owner), picture_(std::make_unique<TPicture>()) {
  SetBounds(0, 0, 105, 105);
  picture_->OnChange = [this](TObject*) { PictureChanged(); };
}

TImage::~TImage() { picture_->OnChange = nullptr; }

void TImage::SetPicture(TPicture* p) { picture_->Assign(p); }
void TImage::SetStretch(bool v) { stretch_ = v; Invalidate(); }
void TImage::SetCenter(bool v) { center_ = v; Invalidate(); }
void TImage::SetTransparent(bool v) {
  transparent_ = v;
  if (picture_->Graphic()) picture_->Graphic()->SetTransparent(v);
  Invalidate();
}
void TImage::SetAutoSize(bool v) { autoSize_ = v; PictureChanged(); }
void TImage::SetProportional(bool v) { proportional_ = v; Invalidate(); }

void TImage::PictureChanged() {
  if (picture_->Graphic() && transparent_) picture_->Graphic()->SetTransparent(true);
  if (autoSize_ && picture_->Width() > 0 && picture_->Height() > 0)
    SetBounds(Left(), Top(), picture_->Width(), picture_->Height());
  Invalidate();
}

void TImage::Paint() {
  TGraphic* g = picture_->Graphic();
  if (!g || g->Empty()) return;
  TRect r;
  if (stretch_) {
    r = ClientRect();
    if (proportional_) {
      double s = std::min(static_cast<double>(Width()) / g->Width(), static_cast<double>(Height()) / g->Height());
      r = Bounds(0, 0, static_cast<int>(g->Width() * s), static_cast<int>(g->Height() * s));
    }
  } else {
    r = Bounds(0, 0, g->Width(), g->Height());
  }
  if (center_) OffsetRect(r, (Width() - r.Width()) / 2, (Height() - r.Height()) / 2);
  if (stretch_ || r.Width() != g->Width())
    Canvas()->StretchDraw(r, g);
  else
    Canvas()->Draw(r.Left, r.Top, g);
}

// --- TPage / TNotebook -------------------------------------------------------------

TPage::TPage(TComponent* owner) : TCustomControl(owner) {
  SetTabStop(false);
  Surface()->setFocusPolicy(Qt::NoFocus);
  SetVisible(false);
  SetAlign(alClient);
  if (auto* nb = dynamic_cast<TNotebook*>(owner)) nb->AddPage(this);
}

TPage::~TPage() {
  if (auto* nb = dynamic_cast<TNotebook*>(Parent())) nb->RemovePage(this);
}

void TPage::Paint() {
  Canvas()->Brush()->SetColor(Color());
  Canvas()->FillRect(ClientRect());
}

void TPage::SetParentComponent(TComponent* parent) {
  if (auto* nb = dynamic_cast<TNotebook*>(parent)) nb->AddPage(this);
}

TNotebook::TNotebook(TComponent* owner) : TCustomControl(owner), pages_(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 150, 150);
  SetTabStop(false);
  Surface()->setFocusPolicy(Qt::NoFocus);
  pages_->OnChange = [this](TObject*) { NamesChanged(); };
  // A new notebook has one page, "Default", as in the class library.
  auto* first = new TPage(this);
  first->SetCaption("Default");
}

TNotebook::~TNotebook() {
  pages_->OnChange = nullptr;
  auto pages = pageObjects_;
  pageObjects_.clear();
  for (TPage* p : pages) delete p;
}

TPage* TNotebook::PageAt(int index) const {
  if (index < 0 || index >= PageCount()) ListIndexError(index);
  return pageObjects_[static_cast<size_t>(index)];
}

void TNotebook::AddPage(TPage* page) {
  if (std::find(pageObjects_.begin(), pageObjects_.end(), page) != pageObjects_.end()) return;
  // Pages read from a definition replace the default page.
  if (ComponentState().Contains(csLoading) && pageObjects_.size() == 1 &&
      pageObjects_[0]->Caption() == "Default" && pageObjects_[0]->ControlCount() == 0 &&
      pageObjects_[0] != page) {
    TPage* old = pageObjects_[0];
    pageObjects_.clear();
    delete old;
  }
  pageObjects_.push_back(page);
  page->SetParent(this);
  page->SetAlign(alClient);
  NamesFromPages();
  ShowPage();
}

// Pages read from a definition get their captions after they are added:
// the names are taken again from the pages (Loaded does once more).
void TNotebook::NamesFromPages() {
  syncing_ = true;
  pages_->BeginUpdate();
  pages_->Clear();
  for (TPage* p : pageObjects_) pages_->AddObject(p->Caption(), p);
  pages_->EndUpdate();
  syncing_ = false;
}

void TNotebook::RemovePage(TPage* page) {
  auto it = std::find(pageObjects_.begin(), pageObjects_.end(), page);
  if (it == pageObjects_.end()) return;
  pageObjects_.erase(it);
  syncing_ = true;
  if (int at = pages_->IndexOfObject(page); at >= 0) pages_->Delete(at);
  syncing_ = false;
  ShowPage();
}

void TNotebook::SetPages(TStrings* names) { pages_->Assign(names); }

// The names were edited: pages follow them one for one (extra pages are
// freed, missing ones created), keeping the pages that remain.
void TNotebook::NamesChanged() {
  if (syncing_) return;
  syncing_ = true;
  int n = pages_->Count();
  while (PageCount() > n) {
    TPage* last = pageObjects_.back();
    pageObjects_.pop_back();
    delete last;
  }
  for (int i = 0; i < n; ++i) {
    if (i >= PageCount()) {
      auto* p = new TPage(nullptr);
      pageObjects_.push_back(p);
      p->SetParent(this);
      p->SetAlign(alClient);
    }
    pageObjects_[i]->SetCaption(pages_->Get(i));
    pages_->PutObject(i, pageObjects_[i]);
  }
  syncing_ = false;
  ShowPage();
}

void TNotebook::GetChildren(const std::function<void(TComponent*)>& proc, TComponent*) {
  for (TPage* p : pageObjects_) proc(p);
}

void TNotebook::Loaded() {
  TCustomControl::Loaded();
  NamesFromPages();
  ShowPage();
}

void TNotebook::SetPageIndex(int index) {
  if (index < 0 || index >= PageCount() || index == pageIndex_) {
    if (index >= 0 && index < PageCount()) ShowPage();
    return;
  }
  pageIndex_ = index;
  ShowPage();
  if (OnPageChanged) OnPageChanged(this);
}

AnsiString TNotebook::ActivePage() const {
  return pageIndex_ >= 0 && pageIndex_ < PageCount() ? pageObjects_[pageIndex_]->Caption() : AnsiString();
}

void TNotebook::SetActivePage(const AnsiString& name) {
  for (int i = 0; i < PageCount(); ++i)
    if (pageObjects_[i]->Caption() == name) {
      SetPageIndex(i);
      return;
    }
  throw EInvalidOperation("Notebook has no page named " + name);
}

void TNotebook::ShowPage() {
  if (ComponentState().Contains(csLoading)) return;
  for (int i = 0; i < PageCount(); ++i) {
    TPage* p = pageObjects_[i];
    bool show = i == pageIndex_;
    if (show) p->BringToFront();
    p->SetVisible(show);
  }
  Realign();
}

// --- TTimer ---------------------------------------------------------------------------

TTimer::TTimer(TComponent* owner) : TComponent(owner) {}

TTimer::~TTimer() {
  Destroying();
  delete timer_;
}

void TTimer::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Update();
}

void TTimer::SetInterval(unsigned ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Update();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  Update();
}

void TTimer::Update() {
  if (ComponentState().Contains(csLoading)) return;
  if (!timer_) {
    timer_ = new QTimer;
    QObject::connect(timer_, &QTimer::timeout, timer_, Guarded([this] { Tick(); }));
  }
  timer_->stop();
  if (enabled_ && interval_ > 0) timer_->start(static_cast<int>(interval_));
}

void TTimer::Tick() {
  if (enabled_ && interval_ > 0 && OnTimer) OnTimer(this);
}
