// Key codes and shift states of the visual layer.
//
// Key events carry Windows virtual-key codes (VK_RETURN 13, VK_TAB 9,
// VK_F1 112 ...), because the system's handlers compare them as numbers;
// letters and digits are their upper-case ASCII codes ('A' 65, '0' 48).
// KeyPress carries code-page-936 bytes: a Chinese character typed through
// an input method arrives as two KeyPress calls, lead byte then trail byte.
// Layer: platform/ui.  QtKeyToVirtualKey is the only function that knows Qt.
#pragma once

#include <cstdint>

#include "platform/core/Sets.h"

enum TShiftStateFlag { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateFlag, 8>;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

constexpr std::uint16_t VK_LBUTTON = 0x01;
constexpr std::uint16_t VK_RBUTTON = 0x02;
constexpr std::uint16_t VK_CANCEL = 0x03;
constexpr std::uint16_t VK_MBUTTON = 0x04;
constexpr std::uint16_t VK_BACK = 0x08;
constexpr std::uint16_t VK_TAB = 0x09;
constexpr std::uint16_t VK_CLEAR = 0x0C;
constexpr std::uint16_t VK_RETURN = 0x0D;
constexpr std::uint16_t VK_SHIFT = 0x10;
constexpr std::uint16_t VK_CONTROL = 0x11;
constexpr std::uint16_t VK_MENU = 0x12;
constexpr std::uint16_t VK_PAUSE = 0x13;
constexpr std::uint16_t VK_CAPITAL = 0x14;
constexpr std::uint16_t VK_ESCAPE = 0x1B;
constexpr std::uint16_t VK_SPACE = 0x20;
constexpr std::uint16_t VK_PRIOR = 0x21;
constexpr std::uint16_t VK_NEXT = 0x22;
constexpr std::uint16_t VK_END = 0x23;
constexpr std::uint16_t VK_HOME = 0x24;
constexpr std::uint16_t VK_LEFT = 0x25;
constexpr std::uint16_t VK_UP = 0x26;
constexpr std::uint16_t VK_RIGHT = 0x27;
constexpr std::uint16_t VK_DOWN = 0x28;
constexpr std::uint16_t VK_SNAPSHOT = 0x2C;
constexpr std::uint16_t VK_INSERT = 0x2D;
constexpr std::uint16_t VK_DELETE = 0x2E;
constexpr std::uint16_t VK_HELP = 0x2F;
constexpr std::uint16_t VK_LWIN = 0x5B;
constexpr std::uint16_t VK_RWIN = 0x5C;
constexpr std::uint16_t VK_APPS = 0x5D;
constexpr std::uint16_t VK_NUMPAD0 = 0x60;
constexpr std::uint16_t VK_MULTIPLY = 0x6A;
constexpr std::uint16_t VK_ADD = 0x6B;
constexpr std::uint16_t VK_SEPARATOR = 0x6C;
constexpr std::uint16_t VK_SUBTRACT = 0x6D;
constexpr std::uint16_t VK_DECIMAL = 0x6E;
constexpr std::uint16_t VK_DIVIDE = 0x6F;
constexpr std::uint16_t VK_F1 = 0x70;
constexpr std::uint16_t VK_F2 = 0x71;
constexpr std::uint16_t VK_F3 = 0x72;
constexpr std::uint16_t VK_F4 = 0x73;
constexpr std::uint16_t VK_F5 = 0x74;
constexpr std::uint16_t VK_F6 = 0x75;
constexpr std::uint16_t VK_F7 = 0x76;
constexpr std::uint16_t VK_F8 = 0x77;
constexpr std::uint16_t VK_F9 = 0x78;
constexpr std::uint16_t VK_F10 = 0x79;
constexpr std::uint16_t VK_F11 = 0x7A;
constexpr std::uint16_t VK_F12 = 0x7B;
constexpr std::uint16_t VK_NUMLOCK = 0x90;
constexpr std::uint16_t VK_SCROLL = 0x91;

// The Qt key code (Qt::Key) of a key event mapped to its virtual-key code;
// 0 for keys that have none.  keypad tells the numeric-keypad digits apart.
std::uint16_t QtKeyToVirtualKey(int qtKey, bool keypad);
// The inverse for the keys the layer synthesises (tests, SelectNext); 0 if none.
int VirtualKeyToQtKey(std::uint16_t vk);
// Qt keyboard modifiers (Qt::KeyboardModifiers as int) as a shift state.
TShiftState ShiftStateFromQt(int modifiers);

// The keyboard state as the program has seen it: bit 15 (0x8000) set while
// the key is down, bit 0 the toggle of Caps Lock, Num Lock and Scroll Lock
// (flipped by every press the program receives; off at start, as no
// portable way exists to read the lights).  The application's event filter
// feeds it.
short GetKeyState(int vk);
// The keyboard's own lock state for VK_CAPITAL, VK_NUMLOCK or VK_SCROLL,
// read from the window system: 1 on, 0 off, -1 when it cannot be asked
// (no X server, as on the offscreen platform, or another key).  Unlike
// GetKeyState it sees changes made while another program had the focus.
int LockKeyIndicator(int vk);
// Test hook: locks or unlocks Caps Lock on the X server, as another
// program would; false without an X server.
bool SetCapsLockForTest(bool on);
void NoteKeyTransition(std::uint16_t vk, bool down, bool autoRepeat);
// Test hook: sets a key's toggle state.
void SetKeyToggleForTest(std::uint16_t vk, bool on);
