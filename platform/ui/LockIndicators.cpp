// LockKeyIndicator: the keyboard's lock states as the X server holds them
// (see VirtualKeys.h).  Kept apart because Xlib's headers define macros
// (None, Bool, Status) that clash with the rest of the visual layer.
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include "platform/ui/VirtualKeys.h"

#include <X11/XKBlib.h>

namespace {

Display* XDisplay() {
  if (!qGuiApp) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->display() : nullptr;
}

}  // namespace

bool SetCapsLockForTest(bool on) {
  Display* display = XDisplay();
  if (!display) return false;
  XkbLockModifiers(display, XkbUseCoreKbd, LockMask, on ? LockMask : 0);
  XSync(display, False);
  return true;
}

int LockKeyIndicator(int vk) {
  const char* name = vk == VK_CAPITAL ? "Caps Lock" : vk == VK_NUMLOCK ? "Num Lock" : vk == VK_SCROLL ? "Scroll Lock" : nullptr;
  if (!name) return -1;
  Display* display = XDisplay();
  if (!display) return -1;  // not on an X server (the offscreen platform)
  // The indicator is named by the keyboard's own map; an X server whose
  // map lacks it cannot say.
  Atom atom = XInternAtom(display, name, True);
  if (atom == 0) return -1;
  int on = 0;
  if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) return -1;
  return on ? 1 : 0;
}
