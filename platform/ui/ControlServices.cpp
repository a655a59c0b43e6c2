// Window services of the controls: window timers, mouse capture and the
// scroll bars of custom controls.
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>

#include "platform/ui/Controls.h"
#include "platform/ui/ControlsInt.h"

// --- timers -------------------------------------------------------------------


bool TWinControl::SetTimer(unsigned id, unsigned ms) {
  if (!timers_) timers_ = std::make_unique<TTimers>();
  auto& t = timers_->byId[id];
  if (!t) {
    t = std::make_unique<QTimer>();
    QObject::connect(t.get(), &QTimer::timeout, t.get(),
                     Guarded([this, id] { Perform(WM_TIMER, static_cast<std::intptr_t>(id)); }));
  }
  t->start(static_cast<int>(ms));
  return true;
}

bool TWinControl::KillTimer(unsigned id) {
  if (!timers_) return false;
  auto it = timers_->byId.find(id);
  if (it == timers_->byId.end()) return false;
  // The timer may be the one whose tick is running: stop now, free later.
  it->second->stop();
  it->second.release()->deleteLater();
  timers_->byId.erase(it);
  return true;
}

// --- capture --------------------------------------------------------------------

namespace {
TWinControl* gCapture = nullptr;
}

void TWinControl::SetCapture() {
  if (gCapture == this) return;
  TWinControl* old = gCapture;
  gCapture = this;
  if (old) {
    if (old->Surface()) old->Surface()->releaseMouse();
    old->Perform(WM_CAPTURECHANGED);
  }
  if (Surface()) Surface()->grabMouse();
}

void TWinControl::ReleaseCapture() {
  TWinControl* old = gCapture;
  if (!old) return;
  gCapture = nullptr;
  if (old->Surface()) old->Surface()->releaseMouse();
  old->Perform(WM_CAPTURECHANGED);
}

TWinControl* TWinControl::GetCapture() { return gCapture; }

// Called from the destructor (Controls.cpp): a freed control holds nothing.
void ForgetWindowServices(TWinControl* control) {
  if (gCapture == control) gCapture = nullptr;
}

// --- scroll bars of custom controls -------------------------------------------------


namespace {
int ScrollCodeOf(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: return SB_LINEDOWN;
    case QAbstractSlider::SliderSingleStepSub: return SB_LINEUP;
    case QAbstractSlider::SliderPageStepAdd: return SB_PAGEDOWN;
    case QAbstractSlider::SliderPageStepSub: return SB_PAGEUP;
    case QAbstractSlider::SliderToMinimum: return SB_TOP;
    case QAbstractSlider::SliderToMaximum: return SB_BOTTOM;
    case QAbstractSlider::SliderMove: return SB_THUMBTRACK;
    default: return SB_ENDSCROLL;
  }
}
}  // namespace

QScrollBar* TCustomControl::EnsureScrollBar(int bar) {
  bar &= 1;
  if (!bars_) bars_ = std::make_unique<TScrollBars>();
  QScrollBar*& b = bars_->bar[bar];
  if (b) return b;
  b = new QScrollBar(bar == SB_HORZ ? Qt::Horizontal : Qt::Vertical, Surface());
  b->setFocusPolicy(Qt::NoFocus);
  b->setVisible(bars_->shown[bar]);
  unsigned msg = bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL;
  QScrollBar* self = b;
  // The control decides the new position; the bar shows what it then sets.
  QObject::connect(b, &QAbstractSlider::actionTriggered, SignalContext(),
                   Guarded([this, self, msg](int action) {
                     if (bars_->syncing) return;
                     Perform(msg, ScrollCodeOf(action) | (self->sliderPosition() << 16));
                   }));
  QObject::connect(b, &QAbstractSlider::sliderReleased, SignalContext(), Guarded([this, self, msg] {
                     Perform(msg, SB_THUMBPOSITION | (self->sliderPosition() << 16));
                     Perform(msg, SB_ENDSCROLL);
                   }));
  PlaceScrollBars();
  return b;
}

void TCustomControl::ShowScrollBar(int bar, bool show) {
  if (bar != SB_HORZ && bar != SB_VERT) return;
  EnsureScrollBar(bar);
  if (bars_->shown[bar] == show) return;
  bars_->shown[bar] = show;
  PlaceScrollBars();
  Realign();
  Invalidate();
}

bool TCustomControl::ScrollBarVisible(int bar) const {
  return bars_ && (bar == SB_HORZ || bar == SB_VERT) && bars_->shown[bar];
}

void TCustomControl::SetScrollRange(int bar, int min, int max) {
  QScrollBar* b = EnsureScrollBar(bar);
  bars_->syncing = true;
  b->setRange(min, std::max(min, max));
  bars_->syncing = false;
}

void TCustomControl::SetScrollPage(int bar, int page) { EnsureScrollBar(bar)->setPageStep(std::max(page, 1)); }

void TCustomControl::SetScrollPos(int bar, int pos) {
  QScrollBar* b = EnsureScrollBar(bar);
  bars_->syncing = true;
  b->setValue(pos);
  bars_->syncing = false;
}

int TCustomControl::GetScrollPos(int bar) const {
  return bars_ && bars_->bar[bar & 1] ? bars_->bar[bar & 1]->value() : 0;
}

void TCustomControl::GetScrollRange(int bar, int& min, int& max) const {
  min = max = 0;
  if (bars_ && bars_->bar[bar & 1]) {
    min = bars_->bar[bar & 1]->minimum();
    max = bars_->bar[bar & 1]->maximum();
  }
}

TRect TCustomControl::ClientRect() const {
  TRect r = TWinControl::ClientRect();
  const int b = NonClientBorder();
  r.Left += b;
  r.Top += b;
  r.Right -= b;
  r.Bottom -= b;
  if (ScrollBarVisible(SB_VERT)) r.Right -= GetSystemMetrics(SM_CXVSCROLL);
  if (ScrollBarVisible(SB_HORZ)) r.Bottom -= GetSystemMetrics(SM_CYHSCROLL);
  if (r.Right < r.Left) r.Right = r.Left;
  if (r.Bottom < r.Top) r.Bottom = r.Top;
  return r;
}

void TCustomControl::PlaceScrollBars() {
  if (!bars_) return;
  const int nc = NonClientBorder();
  int w = Width() - 2 * nc, h = Height() - 2 * nc;
  int vw = GetSystemMetrics(SM_CXVSCROLL), hh = GetSystemMetrics(SM_CYHSCROLL);
  bool v = bars_->shown[SB_VERT], hz = bars_->shown[SB_HORZ];
  if (QScrollBar* b = bars_->bar[SB_VERT]) {
    b->setGeometry(nc + w - vw, nc, vw, h - (hz ? hh : 0));
    b->setVisible(v);
  }
  if (QScrollBar* b = bars_->bar[SB_HORZ]) {
    b->setGeometry(nc, nc + h - hh, w - (v ? vw : 0), hh);
    b->setVisible(hz);
  }
}

void TCustomControl::NonClientChanged() {
  PlaceScrollBars();
  Realign();
  Invalidate();
}

void TCustomControl::Resize() {
  PlaceScrollBars();
  TWinControl::Resize();
}
