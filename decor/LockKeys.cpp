// The lock-key hook registry.
#include "decor/LockKeys.h"

#include <algorithm>

#include "decor/SbStatusBar.h"
#include "platform/ui/Forms.h"
#include "platform/ui/VirtualKeys.h"

namespace {

struct HookState {
  int hookId = 0;  // 0: no hook installed
  std::vector<TsbStatusPanel*> panels;
  bool repaintAll = false;
  TLockKeySource source;
};

HookState& State() {
  static HookState s;
  return s;
}

TsbStatusPanelType TypeOfKey(std::uint16_t vk) {
  return vk == kVkNumLock ? sptNumLock : vk == kVkScrollLock ? sptScrollLock : sptCapsLock;
}

}  // namespace

TLockKeyState LockKeyState(std::uint16_t vk) {
  if (State().source) return State().source(vk) ? lksOn : lksOff;
  switch (LockKeyIndicator(vk)) {
    case 1: return lksOn;
    case 0: return lksOff;
    default: return lksUnknown;
  }
}

bool LockKeyToggled(std::uint16_t vk) { return LockKeyState(vk) == lksOn; }

void SetLockKeySource(TLockKeySource source) { State().source = std::move(source); }

void RegisterKeyboardHookPanel(TsbStatusPanel* panel) {
  HookState& s = State();
  if (std::find(s.panels.begin(), s.panels.end(), panel) != s.panels.end()) return;
  if (s.hookId == 0 && Application)
    s.hookId = Application->AddKeyboardHook(
        [](std::uint16_t vk, std::uint32_t data) { LockKeyboardHookProc(vk, data); });
  s.panels.push_back(panel);
}

void UnregisterKeyboardHookPanel(TsbStatusPanel* panel) {
  HookState& s = State();
  s.panels.erase(std::remove(s.panels.begin(), s.panels.end(), panel), s.panels.end());
  if (s.panels.empty() && s.hookId != 0) {
    if (Application) Application->RemoveKeyboardHook(s.hookId);
    s.hookId = 0;
  }
}

bool KeyboardHookInstalled() { return State().hookId != 0; }

const std::vector<TsbStatusPanel*>& KeyboardHookPanels() { return State().panels; }

void RequestLockRepaintAll() { State().repaintAll = true; }

void LockKeyboardHookProc(std::uint16_t vk, std::uint32_t keyData) {
  HookState& s = State();
  auto panels = s.panels;  // a repaint may not change the list, but be safe
  if (s.repaintAll) {
    s.repaintAll = false;
    for (TsbStatusPanel* p : panels) p->PaintNow();
    return;
  }
  if (vk != kVkCapsLock && vk != kVkNumLock && vk != kVkScrollLock) return;
  bool goingDown = (keyData & (1u << 31)) == 0;
  bool wasUp = (keyData & (1u << 30)) == 0;
  if (!goingDown || !wasUp) return;
  TsbStatusPanelType type = TypeOfKey(vk);
  for (TsbStatusPanel* p : panels)
    if (p->PanelType() == type) p->PaintNow();
}

bool LoadKeyboardMonitor() { return false; }
bool KeyboardMonitorLoaded() { return false; }
