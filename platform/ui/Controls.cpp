// TControl, TWinControl, TGraphicControl and TCustomControl over Qt.
#include "platform/ui/Controls.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>

#include "platform/ui/ControlsInt.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/QtText.h"

namespace {

const char* const kControlProperty = "payrollControl";

std::intptr_t MouseKeys(const QMouseEvent* e) {
  std::intptr_t k = 0;
  if (e->buttons() & Qt::LeftButton) k |= MK_LBUTTON;
  if (e->buttons() & Qt::RightButton) k |= MK_RBUTTON;
  if (e->buttons() & Qt::MiddleButton) k |= MK_MBUTTON;
  if (e->modifiers() & Qt::ShiftModifier) k |= MK_SHIFT;
  if (e->modifiers() & Qt::ControlModifier) k |= MK_CONTROL;
  return k;
}

TShiftState ShiftFromMouseKeys(std::intptr_t k) {
  TShiftState s;
  if (k & MK_SHIFT) s << ssShift;
  if (k & MK_CONTROL) s << ssCtrl;
  if (k & MK_LBUTTON) s << ssLeft;
  if (k & MK_RBUTTON) s << ssRight;
  if (k & MK_MBUTTON) s << ssMiddle;
  return s;
}

// Re-entry guard for events the layer itself re-sends to a widget after
// a handler changed them (typed characters replaced by KeyPress).
bool gResending = false;

}  // namespace

// --- helpers -----------------------------------------------------------

QColor ToQColor(TColor color) {
  TColorRef c = ColorToRGB(color);
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

int ByteOffsetToCharIndex(const QString& text, int byteOffset) {
  int bytes = 0;
  for (int i = 0; i < text.size(); ++i) {
    if (bytes >= byteOffset) return i;
    bytes += text[i].unicode() < 0x80 ? 1 : 2;
  }
  return static_cast<int>(text.size());
}

int CharIndexToByteOffset(const QString& text, int charIndex) {
  int bytes = 0;
  for (int i = 0; i < charIndex && i < text.size(); ++i) bytes += text[i].unicode() < 0x80 ? 1 : 2;
  return bytes;
}

int QtCursorShape(TCursor cursor) {
  switch (cursor) {
    case crNone: return Qt::BlankCursor;
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crUpArrow: return Qt::UpArrowCursor;
    case crHourGlass: case crSQLWait: return Qt::WaitCursor;
    case crAppStart: return Qt::BusyCursor;
    case crDrag: case crMultiDrag: return Qt::DragMoveCursor;
    case crNoDrop: case crNo: return Qt::ForbiddenCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    case crHelp: return Qt::WhatsThisCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crSizeAll: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
  }
}

void PaintControlOn(TControl* control, TCanvas* canvas) {
  if (auto* g = dynamic_cast<TGraphicControl*>(control)) {
    g->Paint();
  } else if (auto* c = dynamic_cast<TCustomControl*>(control)) {
    c->Paint();
  }
}

// --- TWidgetBridge / TPaintSurface ---------------------------------------

bool TWidgetBridge::eventFilter(QObject* watched, QEvent* event) {
  if (!control_ || gResending) return false;
  try {
    return control_->SurfaceEvent(watched, event);
  } catch (...) {
    HandleEventException();
    return true;
  }
}

TPaintSurface::TPaintSurface(TControl* control, TCanvas* canvas, QWidget* parent)
    : QWidget(parent), control_(control), canvas_(canvas) {}

void TPaintSurface::paintEvent(QPaintEvent*) {
  if (!control_) return;
  QPainter painter(this);
  canvas_->Attach(&painter);
  try {
    PaintControlOn(control_, canvas_);
  } catch (...) {
    canvas_->Detach();
    HandleEventException();
    return;
  }
  canvas_->Detach();
}

void TPaintSurface::mousePressEvent(QMouseEvent* e) { e->accept(); }
void TPaintSurface::mouseReleaseEvent(QMouseEvent* e) { e->accept(); }
void TPaintSurface::mouseDoubleClickEvent(QMouseEvent* e) { e->accept(); }

// --- TControl ---------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {
  WindowProc = [this](TMessage& m) { WndProc(m); };
  font_->OnChange = [this](TObject*) {
    if (!fontFromParent_) parentFont_ = false;
    Perform(CM_FONTCHANGED);
  };
}

TControl::~TControl() {
  Destroying();
  if (parent_) parent_->RemoveControl(this);
  parent_ = nullptr;
  DetachSurface();
}

void TControl::AttachSurface(QWidget* surface) {
  surface_ = surface;
  surface_->setProperty(kControlProperty, QVariant::fromValue(reinterpret_cast<quintptr>(this)));
  surface_->setAttribute(Qt::WA_NoMousePropagation);
  surface_->setMouseTracking(true);
  bridge_ = std::make_unique<TWidgetBridge>(this);
  surface_->installEventFilter(bridge_.get());
  ApplyFontToSurface();
  ApplyColorToSurface();
  surface_->setEnabled(enabled_);
  if (cursor_ != crDefault) surface_->setCursor(QCursor(static_cast<Qt::CursorShape>(QtCursorShape(cursor_))));
  UpdateSurfaceBounds();
}

// The bridge goes first: deleting it removes the event filter and every
// signal connection made with SignalContext(), so a widget that emits
// signals while it is being deleted (a tree clearing its items) reaches
// no half-destroyed control.
void TControl::DetachSurface() {
  if (bridge_) bridge_->Detach();
  bridge_.reset();
  if (surface_) {
    if (auto* p = dynamic_cast<TPaintSurface*>(surface_)) p->Forget();
    QWidget* w = surface_;
    surface_ = nullptr;
    w->setProperty(kControlProperty, QVariant());
    delete w;
  }
}

QWidget* TControl::ContainerFor() const { return parent_ ? parent_->ChildContainer() : nullptr; }

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (parent_) parent_->RemoveControl(this);
  parent_ = parent;
  if (parent_) parent_->InsertControl(this);
  if (surface_) {
    surface_->setParent(ContainerFor());
    UpdateSurfaceBounds();
    surface_->setVisible(visible_ && parent_ != nullptr);
  }
  if (parent_) {
    if (parentFont_) ParentFontChanged();
    if (parentColor_) ParentColorChanged();
    RememberAnchorDistances();
    RequestAlign();
  }
}

void TControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  bool resized = width != width_ || height != height_;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  UpdateSurfaceBounds();
  if (!inSetBounds_) {
    inSetBounds_ = true;
    RememberAnchorDistances();
    RequestAlign();
    inSetBounds_ = false;
  }
  if (resized) Resize();
}

void TControl::RememberAnchorDistances() {
  if (!parent_ || parent_->aligning_) return;
  TRect pc = parent_->ClientRect();
  anchorRight_ = pc.Width() - (left_ + width_);
  anchorBottom_ = pc.Height() - (top_ + height_);
  anchorsValid_ = true;
}

void TControl::RequestAlign() {
  if (parent_ && align_ != alNone) parent_->Realign();
}

void TControl::UpdateSurfaceBounds() {
  if (surface_) surface_->setGeometry(left_, top_, width_, height_);
}

TRect TControl::ClientRect() const { return TRect(0, 0, width_, height_); }

void TControl::SetClientWidth(int v) {
  SetWidth(width_ - ClientRect().Width() + v);
}

void TControl::SetClientHeight(int v) {
  SetHeight(height_ - ClientRect().Height() + v);
}

TPoint TControl::ClientOrigin() const {
  if (surface_) {
    QPoint p = surface_->mapToGlobal(QPoint(0, 0));
    return {p.x(), p.y()};
  }
  if (parent_) {
    TPoint p = parent_->ClientOrigin();
    return {p.x + left_, p.y + top_};
  }
  return {left_, top_};
}

TPoint TControl::ClientToScreen(const TPoint& p) const {
  TPoint o = ClientOrigin();
  return {o.x + p.x, o.y + p.y};
}

TPoint TControl::ScreenToClient(const TPoint& p) const {
  TPoint o = ClientOrigin();
  return {p.x - o.x, p.y - o.y};
}

void TControl::SetAlign(TAlign align) {
  if (align == align_) return;
  TAlign old = align_;
  align_ = align;
  // An aligned control is anchored to the sides it sticks to.
  switch (align) {
    case alTop: anchors_ = {akLeft, akTop, akRight}; break;
    case alBottom: anchors_ = {akLeft, akRight, akBottom}; break;
    case alLeft: anchors_ = {akLeft, akTop, akBottom}; break;
    case alRight: anchors_ = {akRight, akTop, akBottom}; break;
    case alClient: anchors_ = {akLeft, akTop, akRight, akBottom}; break;
    default: break;
  }
  if (parent_ && (old != alNone || align != alNone)) parent_->Realign();
}

void TControl::SetAnchors(const TAnchors& anchors) {
  anchors_ = anchors;
  RememberAnchorDistances();
}

bool TControl::Showing() const { return visible_ && parent_ && parent_->Showing(); }

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  Perform(CM_VISIBLECHANGED, visible ? 1 : 0);
  RequestAlign();
}

void TControl::VisibleChanged() {
  if (surface_ && parent_) surface_->setVisible(visible_);
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Perform(CM_ENABLEDCHANGED);
}

void TControl::EnabledChanged() {
  if (surface_) surface_->setEnabled(enabled_);
  Invalidate();
}

void TControl::SetTextValue(const AnsiString& text) {
  if (text == GetText()) return;
  text_ = text;
  Perform(CM_TEXTCHANGED);
}

void TControl::SetParentFont(bool v) {
  if (v == parentFont_) return;
  parentFont_ = v;
  if (v && parent_) ParentFontChanged();
}

void TControl::ParentFontChanged() {
  if (!parentFont_ || !parent_) return;
  fontFromParent_ = true;
  font_->Assign(parent_->Font());
  fontFromParent_ = false;
  parentFont_ = true;
}

void TControl::FontChanged() {
  ApplyFontToSurface();
  Invalidate();
  if (auto* w = dynamic_cast<TWinControl*>(this)) {
    TMessage m;
    m.Msg = CM_PARENTFONTCHANGED;
    w->Broadcast(m);
  }
}

void TControl::ApplyFontToSurface() {
  if (!surface_) return;
  surface_->setFont(ToQFont(*font_));
  QPalette pal = surface_->palette();
  QColor c = ToQColor(font_->Color());
  pal.setColor(QPalette::WindowText, c);
  pal.setColor(QPalette::Text, c);
  pal.setColor(QPalette::ButtonText, c);
  surface_->setPalette(pal);
}

void TControl::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  parentColor_ = false;
  Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool v) {
  if (v == parentColor_) return;
  parentColor_ = v;
  if (v && parent_) ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (!parentColor_ || !parent_) return;
  if (color_ != parent_->Color()) {
    color_ = parent_->Color();
    Perform(CM_COLORCHANGED);
  }
}

void TControl::ColorChanged() {
  ApplyColorToSurface();
  Invalidate();
  if (auto* w = dynamic_cast<TWinControl*>(this)) {
    TMessage m;
    m.Msg = CM_PARENTCOLORCHANGED;
    w->Broadcast(m);
  }
}

void TControl::ApplyColorToSurface() {
  if (!surface_) return;
  QPalette pal = surface_->palette();
  QColor c = ToQColor(color_);
  pal.setColor(QPalette::Window, c);
  pal.setColor(QPalette::Base, c);
  pal.setColor(QPalette::Button, c);
  surface_->setPalette(pal);
  surface_->setAutoFillBackground(OpaqueBackground());
}

void TControl::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  if (surface_) {
    if (cursor == crDefault)
      surface_->unsetCursor();
    else
      surface_->setCursor(QCursor(static_cast<Qt::CursorShape>(QtCursorShape(cursor))));
  }
  Perform(CM_CURSORCHANGED);
}

void TControl::SetHint(const AnsiString& hint) { hint_ = hint; }
void TControl::SetShowHint(bool v) {
  showHint_ = v;
  parentShowHint_ = false;
}
void TControl::SetParentShowHint(bool v) {
  parentShowHint_ = v;
  if (v && parent_) showHint_ = parent_->ShowHint();
}

void TControl::SetPopupMenu(TPopupMenu* menu) {
  popupMenu_ = menu;
  if (menu) menu->FreeNotification(this);
}

void TControl::Invalidate() {
  if (surface_) surface_->update();
}

void TControl::Update() {
  if (surface_) surface_->repaint();
}

void TControl::BringToFront() {
  if (surface_) surface_->raise();
  if (parent_) {
    auto& v = parent_->controls_;
    v.erase(std::find(v.begin(), v.end(), this));
    v.push_back(this);
  }
}

void TControl::SendToBack() {
  if (surface_) surface_->lower();
  if (parent_) {
    auto& v = parent_->controls_;
    v.erase(std::find(v.begin(), v.end(), this));
    v.insert(v.begin(), this);
  }
}

std::intptr_t TControl::Perform(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
  TMessage m;
  m.Msg = msg;
  m.WParam = wParam;
  m.LParam = lParam;
  WindowProc(m);
  return m.Result;
}

TCustomForm* TControl::GetParentForm() const {
  const TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

void TControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK: {
      TMouseButton b = m.Msg <= WM_LBUTTONDBLCLK ? mbLeft : m.Msg <= WM_RBUTTONDBLCLK ? mbRight : mbMiddle;
      TShiftState s = ShiftFromMouseKeys(m.WParam);
      bool dbl = m.Msg == WM_LBUTTONDBLCLK || m.Msg == WM_RBUTTONDBLCLK || m.Msg == WM_MBUTTONDBLCLK;
      if (dbl) s << ssDouble;
      if (dbl && b == mbLeft) DblClick();
      MouseDown(b, s, LoWordSigned(m.LParam), HiWordSigned(m.LParam));
      DefaultHandler(m);
      return;
    }
    case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP: {
      TMouseButton b = m.Msg == WM_LBUTTONUP ? mbLeft : m.Msg == WM_RBUTTONUP ? mbRight : mbMiddle;
      int x = LoWordSigned(m.LParam), y = HiWordSigned(m.LParam);
      MouseUp(b, ShiftFromMouseKeys(m.WParam), x, y);
      if (b == mbLeft && ClickOnMouseUp() && ClientRect().Contains({x, y})) Click();
      DefaultHandler(m);
      return;
    }
    case WM_MOUSEMOVE:
      MouseMove(ShiftFromMouseKeys(m.WParam), LoWordSigned(m.LParam), HiWordSigned(m.LParam));
      DefaultHandler(m);
      return;
    case CM_MOUSEENTER:
      if (OnMouseEnter) OnMouseEnter(this);
      return;
    case CM_MOUSELEAVE:
      if (OnMouseLeave) OnMouseLeave(this);
      return;
    case CM_FONTCHANGED: FontChanged(); return;
    case CM_COLORCHANGED: ColorChanged(); return;
    case CM_ENABLEDCHANGED: EnabledChanged(); return;
    case CM_VISIBLECHANGED: VisibleChanged(); return;
    case CM_TEXTCHANGED: TextChanged(); return;
    case CM_PARENTFONTCHANGED: ParentFontChanged(); return;
    case CM_PARENTCOLORCHANGED: ParentColorChanged(); return;
    case CM_HINTSHOW: {
      auto* info = reinterpret_cast<THintInfo*>(m.LParam);
      if (info && info->HintStr.IsEmpty()) info->HintStr = hint_;
      return;
    }
    default:
      DefaultHandler(m);
  }
}

void TControl::DefaultHandler(TMessage&) {}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

bool TControl::SurfaceEvent(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      auto* me = static_cast<QMouseEvent*>(event);
      // Inner widgets report in their own coordinates; messages use the
      // control's client coordinates.
      QPoint pos = me->position().toPoint();
      if (watched != surface_ && watched->isWidgetType() && surface_)
        pos = static_cast<QWidget*>(watched)->mapTo(surface_, pos);
      unsigned msg = WM_MOUSEMOVE;
      if (event->type() != QEvent::MouseMove) {
        int base = me->button() == Qt::RightButton ? WM_RBUTTONDOWN
                   : me->button() == Qt::MiddleButton ? WM_MBUTTONDOWN
                                                      : WM_LBUTTONDOWN;
        msg = base + (event->type() == QEvent::MouseButtonPress ? 0
                      : event->type() == QEvent::MouseButtonRelease ? 1 : 2);
      }
      TMessage m;
      m.Msg = msg;
      m.WParam = MouseKeys(me);
      m.LParam = MakeLParam(pos.x(), pos.y());
      auto* win = dynamic_cast<TWinControl*>(this);
      if (win) win->ResetPassToWidget();
      WindowProc(m);
      if (event->type() == QEvent::MouseButtonRelease && me->button() == Qt::RightButton &&
          popupMenu_) {
        popupMenu_->PopupComponent = this;
        QPoint g = me->globalPosition().toPoint();
        popupMenu_->Popup(g.x(), g.y());
        return true;
      }
      return win ? !win->PassedToWidget() : false;
    }
    case QEvent::Enter:
      Perform(CM_MOUSEENTER);
      return false;
    case QEvent::Leave:
      Perform(CM_MOUSELEAVE);
      return false;
    case QEvent::ToolTip: {
      auto* he = static_cast<QHelpEvent*>(event);
      bool show = showHint_ || (parentShowHint_ && parent_ && parent_->ShowHint());
      THintInfo info;
      info.HintControl = this;
      info.CursorPos = {he->pos().x(), he->pos().y()};
      info.CursorRect = ClientRect();
      if (Perform(CM_HINTSHOW, 0, reinterpret_cast<std::intptr_t>(&info)) != 0) show = false;
      AnsiString text = info.HintStr;
      // The short part of a "short|long" hint is what the tip shows.
      int bar = text.Pos("|");
      if (bar > 0) text = text.SubString(1, bar - 1);
      if (show && !text.IsEmpty())
        QToolTip::showText(he->globalPos(), ToQString(text), surface_);
      else
        QToolTip::hideText();
      Application->DoHint(info.HintStr);
      return true;
    }
    default:
      return false;
  }
}

// --- TWinControl ---------------------------------------------------------------

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

void ForgetWindowServices(TWinControl* control);

TWinControl::~TWinControl() {
  Destroying();
  DiscardPostedMessages(this);
  ForgetWindowServices(this);
  timers_.reset();
  // Children are not owned by their parent: they lose it, and their
  // surfaces leave this widget before it is deleted.
  auto children = controls_;
  for (TControl* c : children) {
    if (c->surface_) {
      c->surface_->hide();
      c->surface_->setParent(nullptr);
    }
    c->parent_ = nullptr;
  }
  controls_.clear();
  tabList_.clear();
  if (Parent()) Parent()->RemoveControl(this);
  DetachSurface();
}

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) ListIndexError(index);
  return controls_[static_cast<size_t>(index)];
}

void TWinControl::InsertControl(TControl* control) {
  if (std::find(controls_.begin(), controls_.end(), control) != controls_.end()) return;
  // Graphic controls stay below windowed ones: they go in front of the
  // other graphic controls but behind the first windowed control.
  if (dynamic_cast<TWinControl*>(control)) {
    controls_.push_back(control);
    tabList_.push_back(static_cast<TWinControl*>(control));
  } else {
    auto it = std::find_if(controls_.begin(), controls_.end(),
                           [](TControl* c) { return dynamic_cast<TWinControl*>(c) != nullptr; });
    controls_.insert(it, control);
  }
  control->parent_ = this;
}

void TWinControl::RemoveControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), control), tabList_.end());
  if (TCustomForm* form = GetParentForm()) form->ControlRemoved(control);
  if (control->parent_ == this) control->parent_ = nullptr;
  if (control->Align() != alNone) Realign();
}

bool TWinControl::ContainsControl(const TControl* control) const {
  for (const TControl* c = control; c; c = c->Parent())
    if (c == this) return true;
  return false;
}

void TWinControl::Broadcast(TMessage& message) {
  auto children = controls_;
  for (TControl* c : children) {
    c->WindowProc(message);
    if (message.Result != 0) return;
  }
}

void TWinControl::EnableAlign() {
  if (alignLevel_ > 0 && --alignLevel_ == 0) Realign();
}

void TWinControl::Realign() {
  if (alignLevel_ > 0 || aligning_) return;
  AlignChildren();
}

void TWinControl::AlignChildren() {
  aligning_ = true;
  TRect r = ClientRect();
  AdjustClientRect(r);
  try {
    AlignControls(nullptr, r);
  } catch (...) {
    aligning_ = false;
    throw;
  }
  aligning_ = false;
}

// The class library's order: all alTop controls (by Top), then alBottom
// (bottom-most first), alLeft (by Left), alRight (right-most first), and
// last alClient; each takes its strip from what the earlier ones left.
void TWinControl::AlignControls(TControl*, TRect& rect) {
  static const TAlign kOrder[] = {alTop, alBottom, alLeft, alRight, alClient};
  for (TAlign a : kOrder) {
    std::vector<TControl*> list;
    for (TControl* c : controls_)
      if (c->Align() == a && c->Visible()) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case alTop: return x->Top() < y->Top();
        case alBottom: return x->Top() + x->Height() > y->Top() + y->Height();
        case alLeft: return x->Left() < y->Left();
        case alRight: return x->Left() + x->Width() > y->Left() + y->Width();
        default: return false;
      }
    });
    for (TControl* c : list) {
      int w = std::max(rect.Width(), 0), h = std::max(rect.Height(), 0);
      switch (a) {
        case alTop:
          c->SetBounds(rect.Left, rect.Top, w, c->Height());
          rect.Top += c->Height();
          break;
        case alBottom:
          c->SetBounds(rect.Left, rect.Bottom - c->Height(), w, c->Height());
          rect.Bottom -= c->Height();
          break;
        case alLeft:
          c->SetBounds(rect.Left, rect.Top, c->Width(), h);
          rect.Left += c->Width();
          break;
        case alRight:
          c->SetBounds(rect.Right - c->Width(), rect.Top, c->Width(), h);
          rect.Right -= c->Width();
          break;
        default:
          c->SetBounds(rect.Left, rect.Top, w, h);
          break;
      }
    }
  }
}

void TWinControl::ApplyAnchors(int oldW, int oldH) {
  TRect cr = ClientRect();
  if (oldW < 0) return;
  int dx = cr.Width() - oldW, dy = cr.Height() - oldH;
  if (dx == 0 && dy == 0) return;
  aligning_ = true;
  for (TControl* c : controls_) {
    if (c->Align() != alNone) continue;
    const TAnchors& an = c->Anchors();
    int l = c->Left(), t = c->Top(), w = c->Width(), h = c->Height();
    if (an.Contains(akRight)) {
      if (an.Contains(akLeft)) w += dx; else l += dx;
    } else if (!an.Contains(akLeft)) {
      l += dx / 2;  // anchored to neither side: keeps its relative place
    }
    if (an.Contains(akBottom)) {
      if (an.Contains(akTop)) h += dy; else t += dy;
    } else if (!an.Contains(akTop)) {
      t += dy / 2;
    }
    c->SetBounds(l, t, w, h);
  }
  aligning_ = false;
}

void TWinControl::Resize() {
  TRect cr = ClientRect();
  ApplyAnchors(lastClientW_, lastClientH_);
  lastClientW_ = cr.Width();
  lastClientH_ = cr.Height();
  Realign();
  TControl::Resize();
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  auto& v = Parent()->tabList_;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

void TWinControl::SetTabOrder(int order) {
  // While a definition is read the siblings after this one do not exist
  // yet: the order is applied when the parent has been read.
  if (ComponentState().Contains(csLoading) || (Parent() && Parent()->ComponentState().Contains(csLoading))) {
    loadedTabOrder_ = order;
    return;
  }
  if (!Parent()) return;
  auto& v = Parent()->tabList_;
  auto it = std::find(v.begin(), v.end(), this);
  if (it == v.end()) return;
  v.erase(it);
  if (order < 0) order = 0;
  if (order > static_cast<int>(v.size())) order = static_cast<int>(v.size());
  v.insert(v.begin() + order, this);
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return GetParentForm() != nullptr || !Parent();
}

bool TWinControl::Focused() const {
  QWidget* f = QApplication::focusWidget();
  return f && FindControl(f) == this;
}

void TWinControl::SetFocus() {
  TCustomForm* form = GetParentForm();
  if (form && form != this) {
    form->SetActiveControl(this);
    return;
  }
  if (surface_) surface_->setFocus(Qt::OtherFocusReason);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const {
  for (TWinControl* c : tabList_) {
    list.push_back(c);
    c->GetTabOrderList(list);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool goForward, bool checkTabStop,
                                          bool checkParent) const {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  if (list.empty()) return nullptr;
  int n = static_cast<int>(list.size());
  int start = -1;
  for (int i = 0; i < n; ++i)
    if (list[i] == current) start = i;
  if (start < 0) start = goForward ? n - 1 : 0;
  int i = start;
  for (int step = 0; step < n; ++step) {
    i = goForward ? (i + 1) % n : (i + n - 1) % n;
    TWinControl* c = list[i];
    if (c == current) break;
    if ((!checkTabStop || c->TabStop()) && (!checkParent || c->Parent() == this) && c->CanFocus() &&
        c->WantsFocusInTabOrder())
      return c;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* current, bool goForward, bool checkTabStop) {
  TWinControl* next = FindNextControl(current, goForward, checkTabStop, false);
  if (next) next->SetFocus();
}

void TWinControl::HandleNeeded() {
  if (surface_) return;
  auto* w = new QWidget(ContainerFor());
  SetWidget(w);
}

QWidget* TWinControl::Handle() {
  HandleNeeded();
  return surface_;
}

void TWinControl::SetWidget(QWidget* widget) {
  if (widget->parentWidget() == nullptr && ContainerFor()) widget->setParent(ContainerFor());
  AttachSurface(widget);
  widget->setVisible(Visible() && Parent() != nullptr);
  CreateWnd();
}

void TWinControl::BridgeInnerWidget(QWidget* inner) {
  if (!bridge_) return;
  inner->installEventFilter(bridge_.get());
  inner->setProperty(kControlProperty, QVariant::fromValue(reinterpret_cast<quintptr>(this)));
}

void TWinControl::UpdateSurfaceBounds() { TControl::UpdateSurfaceBounds(); }

TWinControl* TWinControl::FindControl(const QWidget* w) {
  for (const QWidget* p = w; p; p = p->parentWidget()) {
    QVariant v = p->property(kControlProperty);
    if (v.isValid()) {
      auto* c = reinterpret_cast<TControl*>(v.value<quintptr>());
      if (auto* wc = dynamic_cast<TWinControl*>(c)) return wc;
    }
  }
  return nullptr;
}

bool TWinControl::WantsKey(std::uint16_t, TShiftState) const { return false; }

void TWinControl::KeyDown(std::uint16_t& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TWinControl::KeyUp(std::uint16_t& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}

void TWinControl::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

namespace {
TShiftState KeyShift() { return ShiftStateFromQt(static_cast<int>(QApplication::keyboardModifiers())); }
}  // namespace

// Key preview: the form's handlers see the key first; a handler that sets
// the key to 0 consumes it.
bool TWinControl::DoKeyDown(TMessage& m) {
  auto key = static_cast<std::uint16_t>(m.WParam);
  TShiftState shift = KeyShift();
  TCustomForm* form = GetParentForm();
  if (form && form != this && form->KeyPreview()) {
    static_cast<TWinControl*>(form)->KeyDown(key, shift);
    if (key == 0) { m.WParam = 0; return true; }
  }
  KeyDown(key, shift);
  m.WParam = key;
  return key == 0;
}

bool TWinControl::DoKeyUp(TMessage& m) {
  auto key = static_cast<std::uint16_t>(m.WParam);
  TShiftState shift = KeyShift();
  TCustomForm* form = GetParentForm();
  if (form && form != this && form->KeyPreview()) {
    static_cast<TWinControl*>(form)->KeyUp(key, shift);
    if (key == 0) { m.WParam = 0; return true; }
  }
  KeyUp(key, shift);
  m.WParam = key;
  return key == 0;
}

bool TWinControl::DoKeyPress(TMessage& m) {
  char c = static_cast<char>(m.WParam);
  TCustomForm* form = GetParentForm();
  if (form && form != this && form->KeyPreview()) {
    static_cast<TWinControl*>(form)->KeyPress(c);
    if (c == 0) { m.WParam = 0; return true; }
  }
  KeyPress(c);
  m.WParam = static_cast<unsigned char>(c);
  return c == 0;
}

void TWinControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_KEYDOWN: case WM_SYSKEYDOWN:
      if (!DoKeyDown(m)) DefaultHandler(m);
      return;
    case WM_KEYUP: case WM_SYSKEYUP:
      if (!DoKeyUp(m)) DefaultHandler(m);
      return;
    case WM_CHAR: case WM_SYSCHAR:
      if (!DoKeyPress(m)) DefaultHandler(m);
      return;
    case CM_ENTER: DoEnter(); return;
    case CM_EXIT: DoExit(); return;
    case WM_SETFOCUS: case WM_KILLFOCUS: DefaultHandler(m); return;
    default: TControl::WndProc(m);
  }
}

void TWinControl::DefaultHandler(TMessage&) { passToWidget_ = true; }

// Sends typed text to the control as WM_CHAR messages, one per byte (a
// Chinese character is its lead byte, then its trail byte).  result gets
// the bytes the handlers let through, possibly replaced; true when they
// swallowed or changed any.
bool TWinControl::SendTypedBytes(const AnsiString& bytes, AnsiString& result) {
  bool changed = false;
  for (char b : bytes) {
    TMessage m;
    m.Msg = WM_CHAR;
    m.WParam = static_cast<unsigned char>(b);
    passToWidget_ = false;
    WindowProc(m);
    if (!passToWidget_ || m.WParam == 0) {
      changed = true;
      continue;
    }
    char out = static_cast<char>(m.WParam);
    if (out != b) changed = true;
    result += out;
  }
  return changed;
}

bool TWinControl::SurfaceEvent(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: case QEvent::KeyRelease: {
      auto* ke = static_cast<QKeyEvent*>(event);
      bool down = event->type() == QEvent::KeyPress;
      bool keypad = ke->modifiers() & Qt::KeypadModifier;
      std::uint16_t vk = QtKeyToVirtualKey(ke->key(), keypad);
      bool alt = ke->modifiers() & Qt::AltModifier;
      TShiftState shift = ShiftStateFromQt(static_cast<int>(ke->modifiers()));
      if (vk != 0) {
        TMessage m;
        m.Msg = down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
        m.WParam = vk;
        // Key data: bit 30 the previous state (auto-repeat), bit 31 the
        // transition (set on release).
        m.LParam = 1 | (ke->isAutoRepeat() ? (1 << 30) : 0) | (down ? 0 : (1u << 31));
        passToWidget_ = false;
        WindowProc(m);
        if (!passToWidget_) return true;
        if (down) {
          TCustomForm* form = GetParentForm();
          if (form && !WantsKey(vk, shift) && form->DialogKey(vk, shift)) return true;
        }
      }
      if (!down) return DeliverToWidget(watched, event);
      QString text = ke->text();
      if (text.isEmpty() || (alt && !(ke->modifiers() & Qt::ControlModifier)))
        return DeliverToWidget(watched, event);
      AnsiString bytes = FromQString(text);
      AnsiString result;
      bool changed = SendTypedBytes(bytes, result);
      if (!changed) return DeliverToWidget(watched, event);
      if (!result.empty() && watched->isWidgetType()) {
        QKeyEvent replaced(QEvent::KeyPress, ke->key(), ke->modifiers(), ToQString(result),
                           ke->isAutoRepeat());
        gResending = true;
        QCoreApplication::sendEvent(watched, &replaced);
        gResending = false;
      }
      return true;
    }
    case QEvent::InputMethod: {
      auto* ie = static_cast<QInputMethodEvent*>(event);
      if (ie->commitString().isEmpty()) return false;
      // Text committed by an input method reaches KeyPress byte by byte:
      // a Chinese character is its lead byte, then its trail byte.
      AnsiString bytes = FromQString(ie->commitString());
      AnsiString result;
      bool changed = SendTypedBytes(bytes, result);
      if (!changed) return DeliverToWidget(watched, event);
      QInputMethodEvent replaced(ie->preeditString(), ie->attributes());
      replaced.setCommitString(ToQString(result), ie->replacementStart(), ie->replacementLength());
      gResending = true;
      QCoreApplication::sendEvent(watched, &replaced);
      gResending = false;
      return true;
    }
    case QEvent::FocusIn: {
      auto* fe = static_cast<QFocusEvent*>(event);
      Perform(WM_SETFOCUS);
      if (TCustomForm* form = GetParentForm()) form->FocusControlChanged(this, fe->reason());
      return false;
    }
    case QEvent::FocusOut: {
      // WParam: the control that takes the focus (0 for another window).
      TWinControl* next = FindControl(QApplication::focusWidget());
      Perform(WM_KILLFOCUS, reinterpret_cast<std::intptr_t>(next == this ? nullptr : next));
      return false;
    }
    case QEvent::Resize:
      if (watched == surface_ && !Parent()) {
        // A top-level window resized by the user: the stored size follows.
        auto* re = static_cast<QResizeEvent*>(event);
        SurfaceResized(re->size().width(), re->size().height());
      }
      return false;
    default:
      return TControl::SurfaceEvent(watched, event);
  }
}

void TWinControl::SurfaceResized(int, int) {}

// A key the control passed on goes to its widget and stops there: a key
// the widget ignores must not bubble up to the parents' controls, which
// have had their turn (key preview) already.
bool TWinControl::DeliverToWidget(QObject* watched, QEvent* event) {
  gResending = true;
  try {
    static_cast<QObject*>(watched)->event(event);
  } catch (...) {
    gResending = false;
    throw;
  }
  gResending = false;
  // Accepted, or Qt would offer it to the parent widgets in turn.
  event->accept();
  return true;
}

bool TWinControl::WantsFocusInTabOrder() const { return surface_ && surface_->focusPolicy() != Qt::NoFocus; }

// --- TGraphicControl ----------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* owner)
    : TControl(owner), canvas_(std::make_unique<TCanvas>()) {}

TGraphicControl::~TGraphicControl() {
  Destroying();
  if (Parent()) Parent()->RemoveControl(this);
  DetachSurface();
}

void TGraphicControl::SetParent(TWinControl* parent) {
  if (!surface_ && parent) {
    auto* s = new TPaintSurface(this, canvas_.get(), parent->ChildContainer());
    s->setAttribute(Qt::WA_TranslucentBackground);
    s->setFocusPolicy(Qt::NoFocus);
    AttachSurface(s);
  }
  TControl::SetParent(parent);
  // Below every windowed sibling, above the graphic siblings before it.
  if (surface_ && parent) {
    surface_->lower();
    for (TControl* c : parent->controls_) {
      if (c == this) break;
      if (c->surface_ && !dynamic_cast<TWinControl*>(c)) c->surface_->lower();
    }
  }
}

// --- TCustomControl --------------------------------------------------------------

TCustomControl::TCustomControl(TComponent* owner)
    : TWinControl(owner), canvas_(std::make_unique<TCanvas>()) {
  auto* s = new TPaintSurface(this, canvas_.get(), nullptr);
  s->setFocusPolicy(Qt::StrongFocus);
  SetWidget(s);
  SetTabStop(true);
}

TCustomControl::~TCustomControl() {
  Destroying();
  DiscardPostedMessages(this);
}

void TCustomControl::Paint() {
  canvas_->Brush()->SetColor(Color());
  canvas_->FillRect(ClientRect());
}

QObject* TControl::SignalContext() const { return bridge_.get(); }

// --- streaming hooks -------------------------------------------------------------

TComponent* TControl::GetParentComponent() const { return parent_; }

void TControl::SetParentComponent(TComponent* parent) {
  if (auto* w = dynamic_cast<TWinControl*>(parent)) SetParent(w);
}

void TWinControl::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  for (TControl* c : controls_)
    if (c->Owner() == root) proc(c);
}

void TWinControl::Loaded() {
  TControl::Loaded();
  // Children with a TabOrder from the text go in that order; the others
  // keep their reading order after them.
  std::stable_sort(tabList_.begin(), tabList_.end(), [](TWinControl* a, TWinControl* b) {
    int ka = a->loadedTabOrder_ < 0 ? 1 << 30 : a->loadedTabOrder_;
    int kb = b->loadedTabOrder_ < 0 ? 1 << 30 : b->loadedTabOrder_;
    return ka < kb;
  });
  for (TWinControl* c : tabList_) c->loadedTabOrder_ = -1;
  Realign();
}
