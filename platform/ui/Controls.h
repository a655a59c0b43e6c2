// Controls: the class library's control hierarchy over Qt widgets.
//
//   TControl        position, size, alignment, visibility, text, font and
//                   colour, mouse events, one message entry (WindowProc)
//   TWinControl     a control with a window: wraps one QWidget, holds
//                   child controls, takes the keyboard focus, tab order
//   TGraphicControl a control without a window of its own: it paints on a
//                   canvas over its parent and receives mouse messages
//   TCustomControl  a windowed control that paints itself (Paint)
//
// Coordinates are the class library's: Left/Top relative to the parent's
// client area, Width/Height the outer size.  The stored bounds are the
// truth; the widget follows them.  Align (alTop, alBottom, alLeft,
// alRight, alClient, in that order) and Anchors are applied by the parent
// (TWinControl::AlignControls).
//
// Messages: every event of the widget becomes a TMessage passed to
// WindowProc (by default WndProc).  WndProc turns them into the dynamic
// handlers (KeyDown, KeyPress, MouseDown, ...) that fire the OnXxx events.
// A message reaches Qt's own handling only when it ends in DefaultHandler;
// a WndProc override that swallows a message keeps it from the widget.
// Replacing WindowProc (sub-classing) sees every message first.
//
// Graphic controls: each has a small windowless paint surface (a QWidget
// that is never exposed as a handle) kept below its windowed siblings, so
// that painting and mouse hit-testing follow the class library's rules
// without the parent repainting on their behalf.
//
// Layer: platform/ui (Qt 6 Widgets).  Qt types appear in this header only
// as forward declarations.
#pragma once

#include "platform/core/TypInfo.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Component.h"
#include "platform/ui/Cursors.h"
#include "platform/ui/Graphics.h"
#include "platform/ui/Messages.h"
#include "platform/ui/VirtualKeys.h"

class QWidget;
class TBasicAction;
class QObject;
class QScrollBar;
class TControl;
class QEvent;
class TWinControl;
class TCustomForm;
class TPopupMenu;
class TWidgetBridge;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
PAYROLL_ENUM_NAMES(TAlign, alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom)
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
PAYROLL_ENUM_NAMES(TAnchorKind, akLeft, akTop, akRight, akBottom)
using TAnchors = TSet<TAnchorKind, 4>;
#ifndef PAYROLL_TALIGNMENT_DEFINED  // also defined by platform/data/DBTypes.h
#define PAYROLL_TALIGNMENT_DEFINED
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
PAYROLL_ENUM_NAMES(TAlignment, taLeftJustify, taRightJustify, taCenter)
#endif
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
PAYROLL_ENUM_NAMES(TBevelCut, bvNone, bvLowered, bvRaised, bvSpace)
// Border styles of forms and of bordered controls (which use the first two).
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
PAYROLL_ENUM_NAMES(TFormBorderStyle, bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin)
using TBorderStyle = TFormBorderStyle;


using TKeyEvent = std::function<void(TObject* sender, std::uint16_t& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TObject* sender, char& key)>;
using TMouseEvent =
    std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;
using TWndMethod = std::function<void(TMessage& message)>;
// WheelDelta: 120 per notch, positive away from the user; MousePos in
// screen coordinates.
using TMouseWheelEvent = std::function<void(TObject* sender, TShiftState shift, int wheelDelta,
                                            TPoint mousePos, bool& handled)>;
class TControlCanvas;
class QImage;

// The hint request carried by CM_HINTSHOW (LParam points at it).
struct THintInfo {
  TControl* HintControl = nullptr;
  TPoint CursorPos;          // client coordinates of HintControl
  TRect CursorRect;          // the hint stays valid while the mouse is inside
  AnsiString HintStr;
  int HideTimeout = 0;
};

class TControl : public TComponent {
  PAYROLL_CLASS(TControl, TComponent)

 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  // --- actions (Actions.h) -----------------------------------------------
  // Runs action on this control, or sets its state: true when the action
  // took the control (by default: when it handles it as its target).
  virtual bool ExecuteAction(TBasicAction* action);
  virtual bool UpdateAction(TBasicAction* action);

  // --- parent and position ---------------------------------------------
  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }
  void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
  // The client area in the control's own coordinates (origin 0, 0).
  virtual TRect ClientRect() const;
  int ClientWidth() const { return ClientRect().Width(); }
  int ClientHeight() const { return ClientRect().Height(); }
  virtual void SetClientWidth(int v);
  virtual void SetClientHeight(int v);
  TPoint ClientOrigin() const;  // screen position of the client area's origin
  TPoint ClientToScreen(const TPoint& p) const;
  TPoint ScreenToClient(const TPoint& p) const;

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  const TAnchors& Anchors() const { return anchors_; }
  void SetAnchors(const TAnchors& anchors);

  // --- state --------------------------------------------------------------
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible and every parent up to the top-level window is showing.
  virtual bool Showing() const;
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);

  // Caption and Text are one value, as in the class library.
  AnsiString Caption() const { return GetText(); }
  void SetCaption(const AnsiString& text) { SetTextValue(text); }
  AnsiString Text() const { return GetText(); }
  void SetText(const AnsiString& text) { SetTextValue(text); }

  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* font) { font_->Assign(font); }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool v);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool v);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);
  const AnsiString& Hint() const { return hint_; }
  void SetHint(const AnsiString& hint);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v);
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool v);
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* menu);

  // --- painting -------------------------------------------------------
  virtual void Invalidate();
  virtual void Update();
  void Repaint() { Invalidate(); Update(); }
  void Refresh() { Repaint(); }
  virtual void BringToFront();
  virtual void SendToBack();

  // --- messages -----------------------------------------------------------
  // The message entry.  Sub-classing replaces it and calls the previous
  // one; it starts as WndProc.
  TWndMethod WindowProc;
  // Sends a message synchronously through WindowProc; returns its Result.
  std::intptr_t Perform(unsigned msg, std::intptr_t wParam = 0, std::intptr_t lParam = 0);
  // The default message handling: the dynamic handlers and notifications.
  virtual void WndProc(TMessage& message);
  // Messages no handler took; by default they go on to the widget.
  virtual void DefaultHandler(TMessage& message);

  // Whether the control is being designed (never, in this program) and
  // other state flags the components test.
  bool IsDesigning() const { return ComponentState().Contains(csDesigning); }
  bool IsLoading() const { return ComponentState().Contains(csLoading); }

  // The form the control is on (the top-level parent form), or null.
  TCustomForm* GetParentForm() const;

  // --- streaming (text form) ---------------------------------------------
  // Whether Width and Height are written (forms write their client size).
  virtual bool IsSizeStored() const { return true; }
  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* parent) override;

  // --- events -----------------------------------------------------------
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnResize;
  TMouseWheelEvent OnMouseWheel;

  // --- dynamic handlers (public so decorators and tests can drive them) --
  virtual void Click();
  virtual void DblClick();

  // The widget painted for this control: the window of a windowed
  // control, the paint surface of a graphic one.  Null until it exists.
  QWidget* Surface() const { return surface_; }
  // Translates one event of the surface (or an inner widget) into
  // messages; true when the event must not reach the widget.
  virtual bool SurfaceEvent(QObject* watched, QEvent* event);
  // Whether a left-button release over the control is a click (controls
  // whose widget reports clicks itself answer false).
  virtual bool ClickOnMouseUp() const { return true; }

 protected:
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void Resize();
  // CM_MOUSEWHEEL: OnMouseWheel; true when handled.
  virtual bool DoMouseWheel(TShiftState shift, int wheelDelta, const TPoint& mousePos);
  // Text storage; windowed controls whose widget holds the text override.
  virtual AnsiString GetText() const { return text_; }
  virtual void SetTextValue(const AnsiString& text);
  // Notifications the setters send through Perform (CM_xxx).
  virtual void FontChanged();
  virtual void ColorChanged();
  virtual void EnabledChanged();
  virtual void VisibleChanged();
  virtual void TextChanged() {}
  // Applies bounds, visibility, font, colour and cursor to the surface.
  virtual void UpdateSurfaceBounds();
  void ApplyFontToSurface();
  void ApplyColorToSurface();
  // Called when the surface widget exists; bridges its events.
  void AttachSurface(QWidget* surface);
  void DetachSurface();
  // The parent's position for this control's surface (its container).
  virtual QWidget* ContainerFor() const;
  // Whether painting the background is the surface's own business.
  virtual bool OpaqueBackground() const { return false; }
  void RequestAlign();
  // The context object for signal connections: they end with the bridge,
  // before the control's members go.
  QObject* SignalContext() const;

  friend class TWinControl;
  friend class TGraphicControl;
  friend class TWidgetBridge;
  friend class TControlCanvas;
  friend class TPaintSurface;

  // WM_SETTEXT, WM_GETTEXT and WM_GETTEXTLENGTH, as the window's default
  // handling answers them; false for other messages.
  bool HandleTextMessage(TMessage& message);
  // Canvases drawing on this control (TControlCanvas objects and the
  // control's own); their painters are ended before the window is painted
  // or its buffers change.
  void ReleaseCanvasPainters();
  std::vector<TControlCanvas*> canvases_;

  QWidget* surface_ = nullptr;
  std::unique_ptr<TWidgetBridge> bridge_;
  // Anchor bookkeeping: the distances to the parent's right and bottom
  // edges the last time the bounds were set explicitly.
  int anchorRight_ = 0;
  int anchorBottom_ = 0;
  bool anchorsValid_ = false;
  void RememberAnchorDistances();

 private:
  void ParentFontChanged();
  void ParentColorChanged();

  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = alNone;
  TAnchors anchors_{akLeft, akTop};
  bool visible_ = true;
  bool enabled_ = true;
  AnsiString text_;
  std::unique_ptr<TFont> font_;
  bool parentFont_ = true;
  bool fontFromParent_ = false;  // set while copying the parent's font
  TColor color_ = clBtnFace;
  bool parentColor_ = true;  // controls take their parent's colour until given one
  TCursor cursor_ = crDefault;
  AnsiString hint_;
  bool showHint_ = false;
  bool parentShowHint_ = true;
  TPopupMenu* popupMenu_ = nullptr;
  bool inSetBounds_ = false;
  int alignSeq_ = 0;  // place in the last alignment among its side's controls
};

class TWinControl : public TControl {
  PAYROLL_CLASS(TWinControl, TControl)

 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  // --- children -----------------------------------------------------------
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  bool ContainsControl(const TControl* control) const;
  // Sends msg to every child control.
  void Broadcast(TMessage& message);

  // --- alignment ------------------------------------------------------------
  void DisableAlign() { ++alignLevel_; }
  void EnableAlign();
  void Realign();
  virtual void AlignControls(TControl* control, TRect& rect);
  // The part of the client area that aligned children share (panels
  // leave their bevels out, group boxes their caption).
  virtual void AdjustClientRect(TRect& rect) const {}

  // --- focus and tab order -----------------------------------------------
  int TabOrder() const;
  void SetTabOrder(int order);
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool v) { tabStop_ = v; }
  virtual bool CanFocus() const;
  bool Focused() const;
  virtual void SetFocus();
  // Windowed children that take part in tabbing, in tab order, walked
  // depth first (a container's children follow it).
  void GetTabOrderList(std::vector<TWinControl*>& list) const;
  // The next (or previous) control after current in tab order; with
  // checkTabStop only controls with TabStop count; wraps around.
  TWinControl* FindNextControl(TWinControl* current, bool goForward, bool checkTabStop,
                               bool checkParent) const;
  // Moves the focus to the next control; does nothing when none qualifies.
  void SelectNext(TWinControl* current, bool goForward, bool checkTabStop);

  // --- window timers and mouse capture -----------------------------------
  // WM_TIMER with WParam = id every ms milliseconds until KillTimer;
  // setting an id again restarts it.  The timers go with the control.
  bool SetTimer(unsigned id, unsigned ms);
  bool KillTimer(unsigned id);
  // Every mouse message goes to this control until the capture is released
  // (or taken by another, which sends WM_CAPTURECHANGED to this one).
  void SetCapture();
  static void ReleaseCapture();
  static TWinControl* GetCapture();

  // --- the window -----------------------------------------------------------
  bool HandleAllocated() const { return surface_ != nullptr; }
  void HandleNeeded();
  QWidget* Handle();
  // Where child controls' surfaces live (the widget itself unless the
  // control has an inner area, like a form below its menu bar).
  virtual QWidget* ChildContainer() const { return surface_; }

  // Keys a control wants for itself rather than for dialog navigation.
  virtual bool WantsKey(std::uint16_t vk, TShiftState shift) const;

  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

  void WndProc(TMessage& message) override;
  void DefaultHandler(TMessage& message) override;
  bool SurfaceEvent(QObject* watched, QEvent* event) override;
  bool SendTypedBytes(const AnsiString& bytes, AnsiString& result);

  // The control whose widget (or an inner widget of it) is w, or null.
  static TWinControl* FindControl(const QWidget* w);

  // Child controls owned by root, in z-order.
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
  // After reading: the tab order the text gave, then alignment.
  void Loaded() override;

  // Dispatches one event of the widget as message m through WindowProc
  // (its default handling returns it to the widget); true when a handler
  // kept it from the widget.
  bool DispatchWidgetMessage(TMessage& m);
  // The window's paint event: WM_PAINT goes through WindowProc, and its
  // default handling runs paint (the widget's own painting), so that a
  // sub-classed procedure can paint over the control after calling the
  // saved one.
  void PaintThroughWindowProc(const std::function<void()>& paint);

 protected:
  virtual void KeyDown(std::uint16_t& key, TShiftState shift);
  virtual void KeyUp(std::uint16_t& key, TShiftState shift);
  virtual void KeyPress(char& key);
  virtual void DoEnter();
  virtual void DoExit();
  // Runs the key through the form's preview and the control's handlers;
  // true when the key was consumed (set to 0).
  bool DoKeyDown(TMessage& message);
  bool DoKeyUp(TMessage& message);
  bool DoKeyPress(TMessage& message);
  // Installs the widget (taking ownership through Qt's parenting).
  void SetWidget(QWidget* widget);
  // Extra inner widgets whose events belong to this control (a combo
  // box's line edit).
  void BridgeInnerWidget(QWidget* inner);
  void UpdateSurfaceBounds() override;
  void Resize() override;
  virtual void CreateWnd() {}
  // A top-level window was resized by the user or the window manager.
  virtual void SurfaceResized(int width, int height);
  // Whether the widget takes the focus at all (tabbing skips those that
  // do not, like panels).
  virtual bool WantsFocusInTabOrder() const;
  bool DeliverToWidget(QObject* watched, QEvent* event);
  // A message the program sent (Perform, PostMessage) that no handler
  // took, turned into the window-system input the widget understands:
  // typed characters, keys, mouse buttons.  Messages the window system
  // itself sent go back to the widget instead.
  virtual void DeliverMessageToWidget(TMessage& message);
  // The widget that receives keys and typed text (an inner line edit).
  virtual QWidget* InputWidget() const;
  friend class TWidgetBridge;
  friend class TControl;
  friend class TGraphicControl;
  std::vector<TControl*> controls_;  // in z-order, back first
  std::vector<TWinControl*> tabList_;

 private:
  void AlignChildren();
  void ApplyAnchors(int oldClientW, int oldClientH);

  struct TTimers;
  std::unique_ptr<TTimers> timers_;
  bool tabStop_ = false;
  int loadedTabOrder_ = -1;  // TabOrder read from text, applied in Loaded
  int alignLevel_ = 0;
  bool aligning_ = false;
  bool passToWidget_ = false;
  const TMessage* widgetMessage_ = nullptr;  // the message a widget event is dispatching
  std::function<void()> pendingPaint_;       // the widget's own painting, run by WM_PAINT's default
  bool paintDispatch_ = false;               // inside the window's paint event
  std::unique_ptr<QImage> overlay_;          // drawing done outside the paint event
  unsigned char pendingLead_ = 0;            // the lead byte of a WM_CHAR pair
  bool PaintWindow(QObject* watched, QEvent* event);
  friend QImage* OverlayOf(TWinControl* control);
  friend class TControlCanvas;
  int lastClientW_ = -1;
  int lastClientH_ = -1;
};

class TGraphicControl : public TControl {
  PAYROLL_CLASS(TGraphicControl, TControl)

 public:
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;
  TCanvas* Canvas() const { return canvas_.get(); }
  void SetParent(TWinControl* parent) override;
  // Paints the control on Canvas; called from the surface's paint event.
  virtual void Paint() {}
  // The surface's paint event: WM_PAINT goes through WindowProc and its
  // default handling runs paint, so that a sub-classed procedure may keep
  // the control's own painting from running and paint it itself.
  void PaintThroughWindowProc(const std::function<void()>& paint);
  void DefaultHandler(TMessage& message) override;

 protected:
  std::unique_ptr<TCanvas> canvas_;

 private:
  std::function<void()> pendingPaint_;
};

class TCustomControl : public TWinControl {
  PAYROLL_CLASS(TCustomControl, TWinControl)

 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  TCanvas* Canvas() const { return canvas_.get(); }
  // Paints the control on Canvas, bound to the widget's paint event.
  virtual void Paint();

  // The window's own scroll bars (SB_HORZ, SB_VERT): shown ones take
  // their strip from the client area; the user's scrolling arrives as
  // WM_HSCROLL / WM_VSCROLL with the SB_ code in the low word of WParam
  // and the position in the high word.
  void ShowScrollBar(int bar, bool show);
  bool ScrollBarVisible(int bar) const;
  void SetScrollRange(int bar, int min, int max);
  void SetScrollPage(int bar, int page);
  void SetScrollPos(int bar, int pos);
  int GetScrollPos(int bar) const;
  void GetScrollRange(int bar, int& min, int& max) const;
  TRect ClientRect() const override;

  // Marks only r for painting: the next paint runs Paint with the canvas
  // clipped to the invalidated parts (a full Invalidate since the last
  // paint wins).
  void InvalidateRect(const TRect& r);
  // Shifts the painted pixels inside clip by (dx, dy) and marks the
  // uncovered strip for painting (ScrollWindow): scrolling without a full
  // repaint.
  void ScrollWindow(int dx, int dy, const TRect& clip);

 protected:
  // A control that shows a widget of its own (a table) instead of painting
  // on its canvas: that widget is its surface and Paint is never called.
  TCustomControl(TComponent* owner, QWidget* surface);
  void Resize() override;
  // Width of the frame the control draws round its client area (and its
  // scroll bars); the client area starts that far in.  0 by default.
  virtual int NonClientBorder() const { return 0; }
  // The frame's width changed: the scroll bars move, everything repaints.
  void NonClientChanged();
  std::unique_ptr<TCanvas> canvas_;

 private:
  struct TScrollBars;
  std::unique_ptr<TScrollBars> bars_;
  void PlaceScrollBars();
  QScrollBar* EnsureScrollBar(int bar);
};

// A canvas on any control's window, usable inside and outside its paint
// event: during WM_PAINT (after the control painted itself) it draws on
// the window; outside it, on the control's back buffer (controls that
// paint themselves) or on an overlay shown over the control's own
// painting; either way what is drawn shows and stays until the control
// is next repainted.  Raster pens (pmXor, pmNot) need the back buffer.
class TControlCanvas : public TCanvas {
 public:
  TControlCanvas();
  ~TControlCanvas() override;
  TControl* Control() const { return control_; }
  void SetControl(TControl* control);

 private:
  friend class TControl;
  QPaintDevice* ChooseDevice();
  TControl* control_ = nullptr;
};

// Paints the control on canvas (shared by the two paint surfaces).
void PaintControlOn(TControl* control, TCanvas* canvas);

// Reports an exception that escaped a handler called from Qt's event loop
// (Application->HandleException); exceptions never cross Qt's frames.
void HandleEventException();
