// TScrollBox over a QScrollArea: the children's widgets live on the
// area's inner widget, which the two bars move.
#include <QFrame>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>

#include "platform/ui/ControlsInt.h"
#include "platform/ui/Forms.h"

// --- TControlScrollBar -------------------------------------------------------

namespace {
QScrollBar* BarOf(QScrollArea* area, bool horizontal) {
  return area ? (horizontal ? area->horizontalScrollBar() : area->verticalScrollBar()) : nullptr;
}
}  // namespace

int TControlScrollBar::Position() const {
  QScrollBar* b = BarOf(box_->area_, horizontal_);
  return b ? b->value() : 0;
}

void TControlScrollBar::SetPosition(int v) {
  box_->UpdateScrollRange();
  if (QScrollBar* b = BarOf(box_->area_, horizontal_)) b->setValue(std::clamp(v, b->minimum(), b->maximum()));
}

void TControlScrollBar::SetRange(int v) {
  range_ = std::max(v, 0);
  box_->UpdateScrollRange();
}

void TControlScrollBar::SetIncrement(int v) {
  increment_ = std::max(v, 1);
  if (QScrollBar* b = BarOf(box_->area_, horizontal_)) b->setSingleStep(increment_);
}

void TControlScrollBar::SetVisible(bool v) {
  visible_ = v;
  box_->UpdateScrollRange();
}

bool TControlScrollBar::IsScrollBarVisible() const {
  QScrollBar* b = BarOf(box_->area_, horizontal_);
  return b && visible_ && b->maximum() > b->minimum();
}

void TControlScrollBar::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TControlScrollBar*>(source)) {
    range_ = s->range_;
    increment_ = s->increment_;
    visible_ = s->visible_;
    box_->UpdateScrollRange();
    return;
  }
  TPersistent::Assign(source);
}

// --- TScrollBox ------------------------------------------------------------------

TScrollBox::TScrollBox(TComponent* owner)
    : TWinControl(owner),
      horz_(std::make_unique<TControlScrollBar>(this, true)),
      vert_(std::make_unique<TControlScrollBar>(this, false)) {
  SetBounds(0, 0, 185, 41);
  area_ = new QScrollArea;
  area_->setFocusPolicy(Qt::NoFocus);
  area_->setWidgetResizable(false);
  content_ = new QWidget;
  content_->setAttribute(Qt::WA_NoMousePropagation);
  area_->setWidget(content_);
  SetWidget(area_);
  BridgeInnerWidget(area_->viewport());
  BridgeInnerWidget(content_);
  horz_->SetIncrement(8);
  vert_->SetIncrement(8);
  SetBorderStyle(bsSingle);
  UpdateScrollRange();
}

TScrollBox::~TScrollBox() {
  Destroying();
  DetachSurface();
}

QWidget* TScrollBox::ChildContainer() const { return content_; }

TRect TScrollBox::ClientRect() const {
  if (!area_) return TRect(0, 0, Width(), Height());
  // The viewport: the box less its frame and the bars shown.
  QSize view = area_->maximumViewportSize();
  int w = view.width(), h = view.height();
  if (area_->verticalScrollBar()->isVisibleTo(area_)) w -= area_->verticalScrollBar()->sizeHint().width();
  if (area_->horizontalScrollBar()->isVisibleTo(area_)) h -= area_->horizontalScrollBar()->sizeHint().height();
  return TRect(0, 0, std::max(w, 0), std::max(h, 0));
}

void TScrollBox::SetAutoScroll(bool v) {
  autoScroll_ = v;
  UpdateScrollRange();
}

void TScrollBox::SetBorderStyle(TBorderStyle s) {
  borderStyle_ = s;
  area_->setFrameShape(s == bsSingle ? QFrame::StyledPanel : QFrame::NoFrame);
  area_->setFrameShadow(QFrame::Sunken);
  area_->setLineWidth(s == bsSingle ? 2 : 0);
  UpdateScrollRange();
}

// The scrolled area is as large as the visible part, or larger: as far as
// the children reach (AutoScroll) or the bars' Range.
void TScrollBox::UpdateScrollRange() {
  if (updating_ || !area_ || !content_) return;
  updating_ = true;
  int reachW = 0, reachH = 0;
  if (autoScroll_)
    for (TControl* c : controls_) {
      if (!c->Visible() || c->Align() != alNone) continue;
      reachW = std::max(reachW, c->Left() + c->Width());
      reachH = std::max(reachH, c->Top() + c->Height());
    }
  int rangeW = std::max(horz_->range_, reachW), rangeH = std::max(vert_->range_, reachH);
  area_->setHorizontalScrollBarPolicy(horz_->visible_ ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  area_->setVerticalScrollBarPolicy(vert_->visible_ ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  QSize view = area_->maximumViewportSize();
  int vbar = area_->verticalScrollBar()->sizeHint().width();
  int hbar = area_->horizontalScrollBar()->sizeHint().height();
  bool needH = horz_->visible_ && rangeW > view.width();
  bool needV = vert_->visible_ && rangeH > view.height() - (needH ? hbar : 0);
  if (needV && !needH) needH = horz_->visible_ && rangeW > view.width() - vbar;
  int viewW = view.width() - (needV ? vbar : 0), viewH = view.height() - (needH ? hbar : 0);
  content_->resize(std::max(rangeW, viewW), std::max(rangeH, viewH));
  updating_ = false;
}

void TScrollBox::AlignControls(TControl* control, TRect& rect) {
  UpdateScrollRange();
  TWinControl::AlignControls(control, rect);
  UpdateScrollRange();
}

void TScrollBox::Resize() {
  UpdateScrollRange();
  TWinControl::Resize();
}

void TScrollBox::ScrollInView(TControl* control) {
  if (!control || !ContainsControl(control)) return;
  UpdateScrollRange();
  area_->ensureVisible(control->Left() + control->Width() / 2, control->Top() + control->Height() / 2,
                       control->Width() / 2, control->Height() / 2);
}

PAYROLL_PUBLISH(TControlScrollBar) {
  p.Property("Increment", &TControlScrollBar::Increment, &TControlScrollBar::SetIncrement).Default(8);
  p.Property("Position", &TControlScrollBar::Position, &TControlScrollBar::SetPosition).Default(0);
  p.Property("Range", &TControlScrollBar::Range, &TControlScrollBar::SetRange).Default(0);
  p.Property("Visible", &TControlScrollBar::Visible, &TControlScrollBar::SetVisible).Default(true);
}

PAYROLL_PUBLISH(TScrollBox) {
  p.Property("AutoScroll", &TScrollBox::AutoScroll, &TScrollBox::SetAutoScroll).Default(true);
  p.Property("BorderStyle", &TScrollBox::BorderStyle, &TScrollBox::SetBorderStyle).Default(bsSingle);
  p.Property("HorzScrollBar", static_cast<TControlScrollBar* (TScrollBox::*)() const>(&TScrollBox::HorzScrollBar));
  p.Property("VertScrollBar", static_cast<TControlScrollBar* (TScrollBox::*)() const>(&TScrollBox::VertScrollBar));
}
