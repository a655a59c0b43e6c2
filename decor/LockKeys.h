// LockKeys: keeping the status bar's Caps Lock, Num Lock and Scroll Lock
// panels current.
//
// One keyboard hook per program (through TApplication's keyboard hooks,
// which see every key event the program receives) exists exactly while a
// lock panel is registered.  A key-down of 20, 144 or 145 that is not an
// auto-repeat repaints the registered panels of that key; after the
// program was deactivated the next key event repaints them all.  Each bar
// also hooks the main window while it has lock panels: WM_ACTIVATEAPP
// posts kSbRefreshLocks to the bar, whose handler repaints its lock panels
// (the keys may have changed while another program had the focus).
//
// The key state comes from the keyboard itself (the X server's lock
// indicators, so a change made while another program had the focus shows
// after the next repaint) or from a source that replaces it (tests).  Where
// the window system cannot be asked (the offscreen platform) the state is
// unknown, and the panel says so (its text in the grey of "off", in
// italics) instead of guessing "off".  Registration is idempotent:
// registering a panel twice keeps one entry, so one unregistration always
// removes it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class TsbStatusPanel;

constexpr std::uint16_t kVkCapsLock = 20;
constexpr std::uint16_t kVkNumLock = 144;
constexpr std::uint16_t kVkScrollLock = 145;
// Posted to a bar on application (de)activation.
constexpr unsigned kSbRefreshLocks = 32998;

enum TLockKeyState { lksOff, lksOn, lksUnknown };
// The state of lock key vk (kVkCapsLock, kVkNumLock, kVkScrollLock).
TLockKeyState LockKeyState(std::uint16_t vk);
// Whether the lock key vk is known to be toggled on.
bool LockKeyToggled(std::uint16_t vk);
// A source that answers for the keyboard: whether vk is toggled on.
using TLockKeySource = std::function<bool(std::uint16_t vk)>;
// Replaces the source (null restores the default).
void SetLockKeySource(TLockKeySource source);

// The thread keyboard hook and its registered panels.
void RegisterKeyboardHookPanel(TsbStatusPanel* panel);
void UnregisterKeyboardHookPanel(TsbStatusPanel* panel);
bool KeyboardHookInstalled();
const std::vector<TsbStatusPanel*>& KeyboardHookPanels();
// Asks the hook to repaint every registered panel on the next key event.
void RequestLockRepaintAll();
// The hook procedure (the application's keyboard hook calls it): vk and
// the key data (bit 31 set on release, bit 30 set when the key was down).
void LockKeyboardHookProc(std::uint16_t vk, std::uint32_t keyData);

// The outside keyboard-monitor library.  It does not exist on this
// platform: loading fails, so UseMonitorDLL falls back to the hook.
constexpr const char* kKbMonitorLibrary = "SBKbMon.dll";
bool LoadKeyboardMonitor();
bool KeyboardMonitorLoaded();
