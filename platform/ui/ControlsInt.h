// Internals of the control layer shared by its .cpp files (not for other
// folders): the event bridge, the paint surfaces and the Qt conversions
// the controls use.
#pragma once

#include <type_traits>

#include <QColor>
#include <QImage>
#include <QObject>
#include <QRegion>
#include <QString>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>

#include "platform/ui/Controls.h"

// Forwards every event of a surface (and of inner widgets) to its control.
// The control pointer is cleared before the control goes away, so late
// events during widget destruction reach nobody.
class TWidgetBridge : public QObject {
 public:
  explicit TWidgetBridge(TControl* control) : control_(control) {}
  void Detach() { control_ = nullptr; }
  TControl* Control() const { return control_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TControl* control_;
};

// A widget that paints its control through a canvas (graphic controls and
// custom controls) and keeps mouse events to itself.
//
// It is double-buffered: the control paints into a back buffer, which the
// widget shows.  The control's Paint runs again only when the control was
// invalidated, resized or exposed by the window system; drawing on the
// control's canvas outside Paint goes straight into the buffer and shows
// at the next paint event, staying until the next repaint.
class TPaintSurface : public QWidget {
 public:
  TPaintSurface(TControl* control, TCanvas* canvas, QWidget* parent);
  void Forget() { control_ = nullptr; }
  void MarkDirty() { dirty_ = true; }
  // Only r needs painting again (the rest of the buffer stays).
  void MarkDirtyRect(const QRect& r);
  // Shifts the buffer's pixels inside clip by (dx, dy); what the shift
  // uncovers is marked for painting.
  void ScrollBuffer(int dx, int dy, const QRect& clip);
  // The back buffer, sized to the widget (canvases draw on it).
  QImage* Buffer();
  bool Painting() const { return painting_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;

 private:
  TControl* control_;
  TCanvas* canvas_;
  QImage buffer_;
  bool dirty_ = true;
  QRegion dirtyRegion_;  // parts to paint again while dirty_ is false
  bool painting_ = false;
};

QColor ToQColor(TColor color);
// Byte offsets of code-page-936 text versus character indices of the same
// text as a QString (one byte below 0x80, two bytes otherwise).
int ByteOffsetToCharIndex(const QString& text, int byteOffset);
int CharIndexToByteOffset(const QString& text, int charIndex);
// The Qt cursor shape of a class-library cursor.
int QtCursorShape(TCursor cursor);

// Calls f without the arguments; a template of them, so that the call is
// checked only where it is made.
template <class F, class... Ignored>
void CallWithoutArguments(const F& f, Ignored&&...) {
  f();
}

// Wraps a slot so that an exception from the program's handler goes to the
// application's error box instead of through Qt's frames.  The wrapper is
// callable exactly where the handler is, with the signal's arguments or
// with none: a caller that probes argument counts (Qt's connect) sees the
// others refused instead of an error in the wrapper's body.
template <class F>
auto Guarded(F f) {
  return [f](auto&&... args) -> void
    requires(std::is_invocable_v<F, decltype(args)...> || std::is_invocable_v<F>)
  {
    try {
      if constexpr (std::is_invocable_v<F, decltype(args)...>)
        f(std::forward<decltype(args)>(args)...);
      else
        CallWithoutArguments(f, args...);  // a signal's private tag (timeouts) is not the handler's business
    } catch (...) {
      HandleEventException();
    }
  };
}

// Window timers of a control, by id.
struct TWinControl::TTimers {
  std::map<unsigned, std::unique_ptr<QTimer>> byId;
};

// The own scroll bars of a custom control (created on first use).
struct TCustomControl::TScrollBars {
  QScrollBar* bar[2] = {nullptr, nullptr};
  bool shown[2] = {false, false};
  bool syncing = false;
};
