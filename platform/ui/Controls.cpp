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
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cstring>

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

QImage* TPaintSurface::Buffer() {
  QSize want = size().expandedTo(QSize(1, 1));
  if (buffer_.size() != want) {
    if (control_) control_->ReleaseCanvasPainters();
    // Graphic controls show their parent through what they leave unpainted.
    bool windowed = dynamic_cast<TWinControl*>(control_) != nullptr;
    buffer_ = QImage(want, windowed ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    dirty_ = true;
  }
  return &buffer_;
}

void TPaintSurface::paintEvent(QPaintEvent* event) {
  if (!control_) return;
  control_->ReleaseCanvasPainters();
  QImage* buffer = Buffer();
  if (!dirty_ && !dirtyRegion_.isEmpty() && !buffer->hasAlphaChannel()) {
    // Partial repaint: the control paints everything, clipped to the parts
    // that were invalidated; controls that test the clip skip the rest.
    QRegion region = dirtyRegion_ & QRegion(buffer->rect());
    dirtyRegion_ = QRegion();
    {
      QPainter fill(buffer);
      fill.setClipRegion(region);
      fill.fillRect(buffer->rect(), ToQColor(control_->Color()));
    }
    canvas_->SelectClipRegion(region);
    painting_ = true;
    try {
      if (auto* w = dynamic_cast<TWinControl*>(control_))
        w->PaintThroughWindowProc([this] { PaintControlOn(control_, canvas_); });
      else
        PaintControlOn(control_, canvas_);
    } catch (...) {
      HandleEventException();
    }
    painting_ = false;
    if (control_) {
      control_->ReleaseCanvasPainters();
      canvas_->ResetClip();
    }
  }
  if (dirty_) {
    dirty_ = false;
    dirtyRegion_ = QRegion();
    if (buffer->hasAlphaChannel())
      buffer->fill(Qt::transparent);
    else
      buffer->fill(ToQColor(control_->Color()));
    canvas_->ResetClip();
    painting_ = true;
    try {
      if (auto* w = dynamic_cast<TWinControl*>(control_))
        w->PaintThroughWindowProc([this] { PaintControlOn(control_, canvas_); });
      else if (auto* g = dynamic_cast<TGraphicControl*>(control_))
        g->PaintThroughWindowProc([this] { PaintControlOn(control_, canvas_); });
      else
        PaintControlOn(control_, canvas_);
    } catch (...) {
      HandleEventException();
    }
    painting_ = false;
    if (control_) control_->ReleaseCanvasPainters();
  }
  QPainter painter(this);
  // Only what the window system asks for: after a partial invalidation or
  // a scroll that is a part of the buffer.
  const QRect wanted = event ? event->rect() & buffer->rect() : buffer->rect();
  painter.drawImage(wanted.topLeft(), *buffer, wanted);
}

void TPaintSurface::MarkDirtyRect(const QRect& r) {
  if (dirty_ || r.isEmpty()) return;
  dirtyRegion_ += r;
}

void TPaintSurface::ScrollBuffer(int dx, int dy, const QRect& clip) {
  QImage* buffer = Buffer();
  QRect area = clip & buffer->rect();
  if (dirty_ || area.isEmpty()) return;
  if (control_) control_->ReleaseCanvasPainters();
  QRect source = area.translated(-dx, -dy) & area;
  if (!source.isEmpty()) {
    // In place, scan line by scan line, in the order that reads every
    // source line before it is overwritten (memmove covers a line's own
    // overlap when only dx is set).
    const int bytesPerPixel = buffer->depth() / 8;
    const size_t length = static_cast<size_t>(source.width()) * bytesPerPixel;
    const int xFrom = source.left() * bytesPerPixel, xTo = (source.left() + dx) * bytesPerPixel;
    auto moveLine = [&](int y) {
      std::memmove(buffer->scanLine(y + dy) + xTo, buffer->scanLine(y) + xFrom, length);
    };
    if (dy > 0)
      for (int y = source.bottom(); y >= source.top(); --y) moveLine(y);
    else
      for (int y = source.top(); y <= source.bottom(); ++y) moveLine(y);
  }
  // Pending parts move with the pixels; the uncovered strip is new.
  QRegion moved = (dirtyRegion_ & area).translated(dx, dy);
  dirtyRegion_ = (dirtyRegion_ - area) + (moved & area);
  dirtyRegion_ += QRegion(area) - QRegion(source.translated(dx, dy));
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
  for (TControlCanvas* c : canvases_) {
    c->ReleasePainter();
    c->control_ = nullptr;
  }
  canvases_.clear();
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
  ReleaseCanvasPainters();
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
  if (resized) {
    if (auto* w = dynamic_cast<TWinControl*>(this)) {
      // The window's own size message, seen by a sub-classed procedure.
      TRect cr = ClientRect();
      w->Perform(WM_SIZE, SIZE_RESTORED, MakeLParam(cr.Width(), cr.Height()));
    }
    Resize();
  }
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
  if (!surface_) return;
  if (auto* p = dynamic_cast<TPaintSurface*>(surface_)) p->MarkDirty();
  if (auto* w = dynamic_cast<TWinControl*>(this); w && w->overlay_) {
    ReleaseCanvasPainters();
    w->overlay_.reset();
  }
  surface_->update();
}

void TControl::ReleaseCanvasPainters() {
  for (TControlCanvas* c : canvases_) c->ReleasePainter();
}

bool TControl::DoMouseWheel(TShiftState shift, int wheelDelta, const TPoint& mousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, shift, wheelDelta, mousePos, handled);
  return handled;
}

// The default window procedure's answers to the text messages.  WM_GETTEXT
// copies at most WParam - 1 bytes and a terminating zero into the buffer
// at LParam, never half a double-byte character, and returns the bytes
// copied.
bool TControl::HandleTextMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_SETTEXT:
      SetText(m.LParam ? AnsiString(reinterpret_cast<const char*>(m.LParam)) : AnsiString());
      m.Result = 1;
      return true;
    case WM_GETTEXTLENGTH:
      m.Result = static_cast<std::intptr_t>(GetText().size());
      return true;
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<char*>(m.LParam);
      m.Result = 0;
      if (!buffer || m.WParam <= 0) return true;
      AnsiString text = GetText();
      size_t n = std::min(text.size(), static_cast<size_t>(m.WParam - 1));
      if (n < text.size() && n > 0 && ByteTypeAt(text, n - 1) == mbLeadByte) --n;
      std::memcpy(buffer, text.data(), n);
      buffer[n] = '\0';
      m.Result = static_cast<std::intptr_t>(n);
      return true;
    }
    default:
      return false;
  }
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
    case WM_MOUSEWHEEL: {
      // The class library's route: the control is asked by CM_MOUSEWHEEL
      // first; a wheel it did not take scrolls the widget.
      m.Result = Perform(CM_MOUSEWHEEL, m.WParam, m.LParam);
      if (m.Result == 0) DefaultHandler(m);
      return;
    }
    case CM_MOUSEWHEEL: {
      TShiftState s = ShiftFromMouseKeys(m.WParam & 0xFFFF);
      TPoint pos{LoWordSigned(m.LParam), HiWordSigned(m.LParam)};
      m.Result = DoMouseWheel(s, HiWordSigned(m.WParam), pos) ? 1 : 0;
      return;
    }
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

void TControl::DefaultHandler(TMessage& m) { HandleTextMessage(m); }

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
      bool kept = false;
      if (win)
        kept = win->DispatchWidgetMessage(m);
      else
        WindowProc(m);
      if (event->type() == QEvent::MouseButtonRelease && me->button() == Qt::RightButton &&
          popupMenu_) {
        popupMenu_->PopupComponent = this;
        QPoint g = me->globalPosition().toPoint();
        popupMenu_->Popup(g.x(), g.y());
        return true;
      }
      return kept;
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
    // Ties keep the order of the last alignment, so that a control shrunk
    // to nothing stays on its side of the one next to it (a splitter's
    // snapped panel).
    auto order = [](int x1, int y1, TControl* x, TControl* y) {
      return x1 != y1 ? x1 < y1 : x->alignSeq_ < y->alignSeq_;
    };
    std::stable_sort(list.begin(), list.end(), [a, order](TControl* x, TControl* y) {
      switch (a) {
        case alTop: return order(x->Top(), y->Top(), x, y);
        case alBottom: return order(-(x->Top() + x->Height()), -(y->Top() + y->Height()), x, y);
        case alLeft: return order(x->Left(), y->Left(), x, y);
        case alRight: return order(-(x->Left() + x->Width()), -(y->Left() + y->Width()), x, y);
        default: return false;
      }
    });
    for (size_t i = 0; i < list.size(); ++i) list[i]->alignSeq_ = static_cast<int>(i);
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

// A message a widget event is dispatching goes back to that widget; the
// paint event's WM_PAINT runs the widget's own painting here; anything
// else was sent by the program and becomes input for the widget.
void TWinControl::DefaultHandler(TMessage& m) {
  if (m.Msg == WM_PAINT) {
    if (pendingPaint_) {
      std::function<void()> paint = std::move(pendingPaint_);
      pendingPaint_ = nullptr;
      // A canvas that drew before the widget painted must not hold the window.
      ReleaseCanvasPainters();
      paint();
    }
    return;
  }
  if (&m == widgetMessage_) {
    passToWidget_ = true;
    return;
  }
  if (HandleTextMessage(m)) return;
  if (surface_) DeliverMessageToWidget(m);
}

bool TWinControl::DispatchWidgetMessage(TMessage& m) {
  const TMessage* outer = widgetMessage_;
  bool outerPass = passToWidget_;
  widgetMessage_ = &m;
  passToWidget_ = false;
  try {
    WindowProc(m);
  } catch (...) {
    widgetMessage_ = outer;
    passToWidget_ = outerPass;
    throw;
  }
  bool kept = !passToWidget_;
  widgetMessage_ = outer;
  passToWidget_ = outerPass || passToWidget_;
  return kept;
}

void TWinControl::PaintThroughWindowProc(const std::function<void()>& paint) {
  bool outerDispatch = paintDispatch_;
  std::function<void()> outerPaint = std::move(pendingPaint_);
  paintDispatch_ = true;
  pendingPaint_ = paint;
  TMessage m;
  m.Msg = WM_PAINT;
  auto restore = [&] {
    pendingPaint_ = std::move(outerPaint);
    paintDispatch_ = outerDispatch;
    ReleaseCanvasPainters();
  };
  try {
    DispatchWidgetMessage(m);
  } catch (...) {
    restore();
    throw;
  }
  restore();
}

bool TWinControl::PaintWindow(QObject* watched, QEvent* event) {
  PaintThroughWindowProc([this, watched, event] { DeliverToWidget(watched, event); });
  if (overlay_) {
    QPainter p(surface_);
    p.drawImage(0, 0, *overlay_);
  }
  return true;
}

QImage* OverlayOf(TWinControl* control) {
  QWidget* w = control->surface_;
  QSize want = w->size().expandedTo(QSize(1, 1));
  auto& o = control->overlay_;
  if (!o || o->size() != want) {
    control->ReleaseCanvasPainters();
    auto next = std::make_unique<QImage>(want, QImage::Format_ARGB32_Premultiplied);
    next->fill(Qt::transparent);
    if (o) {
      QPainter p(next.get());
      p.drawImage(0, 0, *o);
    }
    o = std::move(next);
  }
  return o.get();
}

QWidget* TWinControl::InputWidget() const {
  if (!surface_) return nullptr;
  return surface_->focusProxy() ? surface_->focusProxy() : surface_;
}

namespace {

Qt::KeyboardModifiers ModifiersNow() { return QApplication::keyboardModifiers(); }

Qt::MouseButtons ButtonsFromMouseKeys(std::intptr_t k) {
  Qt::MouseButtons b;
  if (k & MK_LBUTTON) b |= Qt::LeftButton;
  if (k & MK_RBUTTON) b |= Qt::RightButton;
  if (k & MK_MBUTTON) b |= Qt::MiddleButton;
  return b;
}

Qt::KeyboardModifiers ModifiersFromMouseKeys(std::intptr_t k) {
  Qt::KeyboardModifiers m;
  if (k & MK_SHIFT) m |= Qt::ShiftModifier;
  if (k & MK_CONTROL) m |= Qt::ControlModifier;
  return m;
}

// Sends a synthesised event to w; the bridge does not see it again (the
// message it came from has been through WindowProc already).
void SendPassed(QWidget* w, QEvent* e) {
  bool outer = gResending;
  gResending = true;
  try {
    QCoreApplication::sendEvent(w, e);
  } catch (...) {
    gResending = outer;
    throw;
  }
  gResending = outer;
}

}  // namespace

void TWinControl::DeliverMessageToWidget(TMessage& m) {
  switch (m.Msg) {
    case WM_CHAR: case WM_SYSCHAR: {
      auto b = static_cast<unsigned char>(m.WParam);
      QWidget* target = InputWidget();
      if (!target) return;
      if (pendingLead_) {
        // The trail byte completes the character the lead byte began.
        char pair[3] = {static_cast<char>(pendingLead_), static_cast<char>(b), 0};
        pendingLead_ = 0;
        QString text = ToQString(AnsiString(pair, 2));
        QKeyEvent e(QEvent::KeyPress, 0, Qt::NoModifier, text);
        SendPassed(target, &e);
        return;
      }
      if (IsDBCSLeadByte(b)) {
        pendingLead_ = b;
        return;
      }
      int key = 0;
      QString text = QString(QChar(b));
      if (b == 8) key = Qt::Key_Backspace, text.clear();
      else if (b == 13) key = Qt::Key_Return, text = QStringLiteral("\r");
      else if (b == 27) key = Qt::Key_Escape;
      else if (b == 9) key = Qt::Key_Tab;
      else if (b < 0x20) return;  // control characters type nothing
      QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier, text);
      SendPassed(target, &e);
      return;
    }
    case WM_KEYDOWN: case WM_KEYUP: case WM_SYSKEYDOWN: case WM_SYSKEYUP: {
      QWidget* target = InputWidget();
      int key = VirtualKeyToQtKey(static_cast<std::uint16_t>(m.WParam));
      if (!target || key == 0) return;
      bool down = m.Msg == WM_KEYDOWN || m.Msg == WM_SYSKEYDOWN;
      Qt::KeyboardModifiers mods = ModifiersNow();
      if (m.Msg == WM_SYSKEYDOWN || m.Msg == WM_SYSKEYUP) mods |= Qt::AltModifier;
      // The text comes with WM_CHAR, as on the original platform; the
      // space bar is the exception, since buttons only act on its key.
      QString text = key == Qt::Key_Space ? QStringLiteral(" ") : QString();
      QKeyEvent e(down ? QEvent::KeyPress : QEvent::KeyRelease, key, mods, text,
                  (m.LParam & (1 << 30)) != 0 && down);
      SendPassed(target, &e);
      return;
    }
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK:
    case WM_MOUSEMOVE: {
      QPoint pos(LoWordSigned(m.LParam), HiWordSigned(m.LParam));
      QWidget* target = surface_->childAt(pos);
      if (!target || target->isWindow()) target = surface_;
      QPoint local = target->mapFrom(surface_, pos);
      Qt::MouseButton button = Qt::NoButton;
      QEvent::Type type = QEvent::MouseMove;
      if (m.Msg != WM_MOUSEMOVE) {
        unsigned base = m.Msg >= WM_MBUTTONDOWN ? WM_MBUTTONDOWN
                        : m.Msg >= WM_RBUTTONDOWN ? WM_RBUTTONDOWN : WM_LBUTTONDOWN;
        button = base == WM_LBUTTONDOWN ? Qt::LeftButton
                 : base == WM_RBUTTONDOWN ? Qt::RightButton : Qt::MiddleButton;
        unsigned kind = m.Msg - base;
        type = kind == 0 ? QEvent::MouseButtonPress
               : kind == 1 ? QEvent::MouseButtonRelease : QEvent::MouseButtonDblClick;
      }
      Qt::MouseButtons buttons = ButtonsFromMouseKeys(m.WParam);
      if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) buttons |= button;
      if (type == QEvent::MouseButtonRelease) buttons &= ~Qt::MouseButtons(button);
      QPointF global = target->mapToGlobal(QPointF(local));
      QMouseEvent e(type, QPointF(local), global, button, buttons, ModifiersFromMouseKeys(m.WParam));
      SendPassed(target, &e);
      return;
    }
    case WM_MOUSEWHEEL: {
      QPoint global(LoWordSigned(m.LParam), HiWordSigned(m.LParam));
      QPoint local = surface_->mapFromGlobal(global);
      QWidget* target = surface_->childAt(local);
      if (!target || target->isWindow()) target = surface_;
      int delta = HiWordSigned(m.WParam);
      QWheelEvent e(QPointF(target->mapFrom(surface_, local)), QPointF(global), QPoint(),
                    QPoint(0, delta), ButtonsFromMouseKeys(m.WParam & 0xFFFF),
                    ModifiersFromMouseKeys(m.WParam & 0xFFFF), Qt::NoScrollPhase, false);
      SendPassed(target, &e);
      return;
    }
    default:
      return;
  }
}

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
    if (DispatchWidgetMessage(m) || m.WParam == 0) {
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
        if (DispatchWidgetMessage(m)) return true;
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
    case QEvent::Paint:
      if (watched == surface_ && !dynamic_cast<TPaintSurface*>(surface_)) return PaintWindow(watched, event);
      return false;
    case QEvent::Wheel: {
      auto* we = static_cast<QWheelEvent*>(event);
      std::intptr_t keys = 0;
      if (we->buttons() & Qt::LeftButton) keys |= MK_LBUTTON;
      if (we->buttons() & Qt::RightButton) keys |= MK_RBUTTON;
      if (we->buttons() & Qt::MiddleButton) keys |= MK_MBUTTON;
      if (we->modifiers() & Qt::ShiftModifier) keys |= MK_SHIFT;
      if (we->modifiers() & Qt::ControlModifier) keys |= MK_CONTROL;
      int delta = we->angleDelta().y();
      if (delta == 0) return false;
      QPoint g = we->globalPosition().toPoint();
      TMessage m;
      m.Msg = WM_MOUSEWHEEL;
      m.WParam = keys | (static_cast<std::intptr_t>(delta & 0xFFFF) << 16);
      m.LParam = MakeLParam(g.x(), g.y());
      if (DispatchWidgetMessage(m)) {
        event->accept();
        return true;
      }
      return DeliverToWidget(watched, event);
    }
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

// --- TControlCanvas -------------------------------------------------------------

TControlCanvas::TControlCanvas() {
  DeviceProvider = [this] { return ChooseDevice(); };
}

TControlCanvas::~TControlCanvas() { SetControl(nullptr); }

void TControlCanvas::SetControl(TControl* control) {
  if (control == control_) return;
  ReleasePainter();
  if (control_) {
    auto& v = control_->canvases_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  control_ = control;
  if (control_) control_->canvases_.push_back(this);
}

QPaintDevice* TControlCanvas::ChooseDevice() {
  if (!control_ || !control_->surface_) return nullptr;
  // One painter at a time on a device: the other canvases of the control
  // end theirs (they open again when they draw next).
  for (TControlCanvas* c : control_->canvases_)
    if (c != this) c->ReleasePainter();
  if (auto* ps = dynamic_cast<TPaintSurface*>(control_->surface_)) {
    if (!ps->Painting()) ps->update();
    return ps->Buffer();
  }
  auto* w = dynamic_cast<TWinControl*>(control_);
  if (!w) return nullptr;
  // After the widget painted itself in its paint event: on the window.
  if (w->paintDispatch_ && !w->pendingPaint_) return w->surface_;
  w->surface_->update();
  return OverlayOf(w);
}

TGraphicControl::TGraphicControl(TComponent* owner)
    : TControl(owner), canvas_(std::make_unique<TControlCanvas>()) {
  static_cast<TControlCanvas*>(canvas_.get())->SetControl(this);
}

TGraphicControl::~TGraphicControl() {
  Destroying();
  if (Parent()) Parent()->RemoveControl(this);
  DetachSurface();
}

void TGraphicControl::PaintThroughWindowProc(const std::function<void()>& paint) {
  std::function<void()> outer = std::move(pendingPaint_);
  pendingPaint_ = paint;
  TMessage m;
  m.Msg = WM_PAINT;
  try {
    WindowProc(m);
  } catch (...) {
    pendingPaint_ = std::move(outer);
    throw;
  }
  pendingPaint_ = std::move(outer);
}

void TGraphicControl::DefaultHandler(TMessage& m) {
  if (m.Msg == WM_PAINT) {
    if (pendingPaint_) {
      std::function<void()> paint = std::move(pendingPaint_);
      pendingPaint_ = nullptr;
      paint();
    }
    return;
  }
  TControl::DefaultHandler(m);
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
    : TWinControl(owner), canvas_(std::make_unique<TControlCanvas>()) {
  static_cast<TControlCanvas*>(canvas_.get())->SetControl(this);
  auto* s = new TPaintSurface(this, canvas_.get(), nullptr);
  s->setFocusPolicy(Qt::StrongFocus);
  SetWidget(s);
  SetTabStop(true);
}

TCustomControl::TCustomControl(TComponent* owner, QWidget* surface)
    : TWinControl(owner), canvas_(std::make_unique<TControlCanvas>()) {
  static_cast<TControlCanvas*>(canvas_.get())->SetControl(this);
  SetWidget(surface);
  SetTabStop(true);
}

TCustomControl::~TCustomControl() {
  Destroying();
  DiscardPostedMessages(this);
}

void TCustomControl::InvalidateRect(const TRect& r) {
  auto* p = dynamic_cast<TPaintSurface*>(Surface());
  if (!p) return;
  QRect area(r.Left, r.Top, r.Width(), r.Height());
  p->MarkDirtyRect(area);
  p->update(area);
}

void TCustomControl::ScrollWindow(int dx, int dy, const TRect& clip) {
  auto* p = dynamic_cast<TPaintSurface*>(Surface());
  if (!p) return;
  QRect area(clip.Left, clip.Top, clip.Width(), clip.Height());
  p->ScrollBuffer(dx, dy, area);
  p->update(area);
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
