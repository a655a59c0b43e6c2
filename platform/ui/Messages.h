// Window messages of the visual layer: TMessage and the message numbers
// that controls send, post and handle.
//
// A control dispatches every message through one entry (TControl::WindowProc,
// by default TControl::WndProc, which ends in Dispatch).  Numbers keep their
// classic values because the system's code posts and compares private
// numbers (WM_USER + n, 1124, 1125, 32998) and stores none of them.
//  - WM_* stand for what the windowing system sends (keys, mouse, focus,
//    timers, scrolling, size, activation);
//  - CM_* are the class library's own notifications between controls
//    (font, colour, enabled and visible changes, enter and exit, mouse
//    enter and leave, hint show, cancel mode);
//  - WM_USER (0x400) and above are free for components.
// Layer: platform/ui; no Qt in this header.
#pragma once

#include <cstdint>

struct TMessage {
  unsigned Msg = 0;
  std::intptr_t WParam = 0;
  std::intptr_t LParam = 0;
  std::intptr_t Result = 0;
};

// One notch of the mouse wheel (WM_MOUSEWHEEL's high word of WParam).
constexpr int WHEEL_DELTA = 120;

// Packs two 16-bit halves into an LParam the way mouse messages carry x, y.
inline std::intptr_t MakeLParam(int low, int high) {
  return static_cast<std::intptr_t>(static_cast<std::uint32_t>(
      (static_cast<std::uint32_t>(high & 0xFFFF) << 16) | (low & 0xFFFF)));
}
inline int LoWordSigned(std::intptr_t v) { return static_cast<std::int16_t>(v & 0xFFFF); }
inline int HiWordSigned(std::intptr_t v) { return static_cast<std::int16_t>((v >> 16) & 0xFFFF); }

// --- Windowing-system messages -------------------------------------------
constexpr unsigned WM_NULL = 0x0000;
constexpr unsigned WM_DESTROY = 0x0002;
constexpr unsigned WM_MOVE = 0x0003;
constexpr unsigned WM_SIZE = 0x0005;
constexpr unsigned WM_ACTIVATE = 0x0006;
constexpr unsigned WM_SETFOCUS = 0x0007;
constexpr unsigned WM_KILLFOCUS = 0x0008;
constexpr unsigned WM_ENABLE = 0x000A;
constexpr unsigned WM_SETTEXT = 0x000C;
constexpr unsigned WM_GETTEXT = 0x000D;
constexpr unsigned WM_GETTEXTLENGTH = 0x000E;
constexpr unsigned WM_PAINT = 0x000F;
constexpr unsigned WM_CLOSE = 0x0010;
constexpr unsigned WM_ERASEBKGND = 0x0014;
constexpr unsigned WM_SHOWWINDOW = 0x0018;
constexpr unsigned WM_ACTIVATEAPP = 0x001C;
constexpr unsigned WM_CANCELMODE = 0x001F;
constexpr unsigned WM_SETCURSOR = 0x0020;
constexpr unsigned WM_NEXTDLGCTL = 0x0028;
constexpr unsigned WM_WINDOWPOSCHANGING = 0x0046;
constexpr unsigned WM_KEYDOWN = 0x0100;
constexpr unsigned WM_KEYUP = 0x0101;
constexpr unsigned WM_CHAR = 0x0102;
constexpr unsigned WM_SYSKEYDOWN = 0x0104;
constexpr unsigned WM_SYSKEYUP = 0x0105;
constexpr unsigned WM_SYSCHAR = 0x0106;
constexpr unsigned WM_COMMAND = 0x0111;
constexpr unsigned WM_SYSCOMMAND = 0x0112;
constexpr unsigned WM_TIMER = 0x0113;
constexpr unsigned WM_HSCROLL = 0x0114;
constexpr unsigned WM_VSCROLL = 0x0115;
constexpr unsigned WM_MOUSEMOVE = 0x0200;
constexpr unsigned WM_LBUTTONDOWN = 0x0201;
constexpr unsigned WM_LBUTTONUP = 0x0202;
constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
constexpr unsigned WM_RBUTTONDOWN = 0x0204;
constexpr unsigned WM_RBUTTONUP = 0x0205;
constexpr unsigned WM_RBUTTONDBLCLK = 0x0206;
constexpr unsigned WM_MBUTTONDOWN = 0x0207;
constexpr unsigned WM_MBUTTONUP = 0x0208;
constexpr unsigned WM_MBUTTONDBLCLK = 0x0209;
constexpr unsigned WM_MOUSEWHEEL = 0x020A;
constexpr unsigned WM_CAPTURECHANGED = 0x0215;
constexpr unsigned WM_PASTE = 0x0302;
constexpr unsigned WM_USER = 0x0400;

// --- Class-library notifications (CM_BASE = 0xB000) ----------------------
constexpr unsigned CM_BASE = 0xB000;
constexpr unsigned CM_ACTIVATE = CM_BASE + 0;
constexpr unsigned CM_DEACTIVATE = CM_BASE + 1;
constexpr unsigned CM_FOCUSCHANGED = CM_BASE + 7;
constexpr unsigned CM_PARENTFONTCHANGED = CM_BASE + 8;
constexpr unsigned CM_PARENTCOLORCHANGED = CM_BASE + 9;
constexpr unsigned CM_HITTEST = CM_BASE + 10;
constexpr unsigned CM_VISIBLECHANGED = CM_BASE + 11;
constexpr unsigned CM_ENABLEDCHANGED = CM_BASE + 12;
constexpr unsigned CM_COLORCHANGED = CM_BASE + 13;
constexpr unsigned CM_FONTCHANGED = CM_BASE + 14;
constexpr unsigned CM_CURSORCHANGED = CM_BASE + 15;
constexpr unsigned CM_CTL3DCHANGED = CM_BASE + 16;
constexpr unsigned CM_PARENTCTL3DCHANGED = CM_BASE + 17;
constexpr unsigned CM_TEXTCHANGED = CM_BASE + 18;
constexpr unsigned CM_MENUCHANGED = CM_BASE + 23;
constexpr unsigned CM_MOUSEENTER = CM_BASE + 19;
constexpr unsigned CM_MOUSELEAVE = CM_BASE + 20;
constexpr unsigned CM_ENTER = CM_BASE + 27;
constexpr unsigned CM_EXIT = CM_BASE + 28;
constexpr unsigned CM_CANCELMODE = CM_BASE + 31;
constexpr unsigned CM_SHOWINGCHANGED = CM_BASE + 34;
constexpr unsigned CM_HINTSHOW = CM_BASE + 48;
constexpr unsigned CM_PARENTSHOWHINTCHANGED = CM_BASE + 50;
constexpr unsigned CM_INVALIDATE = CM_BASE + 52;
constexpr unsigned CM_MOUSEWHEEL = CM_BASE + 67;

// --- Edit and button control messages ---------------------------------------
constexpr unsigned EM_GETMODIFY = 0x00B8;
constexpr unsigned BM_GETCHECK = 0x00F0;
constexpr unsigned BM_SETCHECK = 0x00F1;
constexpr unsigned BM_SETSTATE = 0x00F3;

// ShowWindow-style commands of the class library's window state.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;

// WM_ACTIVATE's WParam.
constexpr int WA_INACTIVE = 0;
constexpr int WA_ACTIVE = 1;
constexpr int WA_CLICKACTIVE = 2;

// WM_SIZE's WParam.
constexpr int SIZE_RESTORED = 0;
constexpr int SIZE_MINIMIZED = 1;
constexpr int SIZE_MAXIMIZED = 2;

// Mouse-message WParam flags (MK_*).
constexpr unsigned MK_LBUTTON = 0x0001;
constexpr unsigned MK_RBUTTON = 0x0002;
constexpr unsigned MK_SHIFT = 0x0004;
constexpr unsigned MK_CONTROL = 0x0008;
constexpr unsigned MK_MBUTTON = 0x0010;

// Scroll bars of a window.
constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;

// Scroll codes of WM_HSCROLL / WM_VSCROLL (low word of WParam).
constexpr int SB_LINEUP = 0;
constexpr int SB_LINEDOWN = 1;
constexpr int SB_PAGEUP = 2;
constexpr int SB_PAGEDOWN = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_TOP = 6;
constexpr int SB_BOTTOM = 7;
constexpr int SB_ENDSCROLL = 8;
