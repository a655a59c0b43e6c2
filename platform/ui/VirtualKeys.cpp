// Mapping of Qt key codes onto virtual-key codes.
#include "platform/ui/VirtualKeys.h"

#include <Qt>
#include <array>

namespace {

struct KeyPair {
  int qt;
  std::uint16_t vk;
};

constexpr KeyPair kKeys[] = {
    {Qt::Key_Backspace, VK_BACK},   {Qt::Key_Tab, VK_TAB},
    {Qt::Key_Backtab, VK_TAB},      {Qt::Key_Clear, VK_CLEAR},
    {Qt::Key_Return, VK_RETURN},    {Qt::Key_Enter, VK_RETURN},
    {Qt::Key_Shift, VK_SHIFT},      {Qt::Key_Control, VK_CONTROL},
    {Qt::Key_Alt, VK_MENU},         {Qt::Key_Pause, VK_PAUSE},
    {Qt::Key_CapsLock, VK_CAPITAL}, {Qt::Key_Escape, VK_ESCAPE},
    {Qt::Key_Space, VK_SPACE},      {Qt::Key_PageUp, VK_PRIOR},
    {Qt::Key_PageDown, VK_NEXT},    {Qt::Key_End, VK_END},
    {Qt::Key_Home, VK_HOME},        {Qt::Key_Left, VK_LEFT},
    {Qt::Key_Up, VK_UP},            {Qt::Key_Right, VK_RIGHT},
    {Qt::Key_Down, VK_DOWN},        {Qt::Key_Print, VK_SNAPSHOT},
    {Qt::Key_Insert, VK_INSERT},    {Qt::Key_Delete, VK_DELETE},
    {Qt::Key_Help, VK_HELP},        {Qt::Key_Meta, VK_LWIN},
    {Qt::Key_Menu, VK_APPS},        {Qt::Key_NumLock, VK_NUMLOCK},
    {Qt::Key_ScrollLock, VK_SCROLL}, {Qt::Key_Asterisk, VK_MULTIPLY},
    {Qt::Key_Plus, VK_ADD},         {Qt::Key_Minus, VK_SUBTRACT},
    {Qt::Key_Slash, VK_DIVIDE},
};

}  // namespace

std::uint16_t QtKeyToVirtualKey(int qtKey, bool keypad) {
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
    return keypad ? static_cast<std::uint16_t>(VK_NUMPAD0 + (qtKey - Qt::Key_0))
                  : static_cast<std::uint16_t>(qtKey);
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return static_cast<std::uint16_t>(qtKey);
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
    return static_cast<std::uint16_t>(VK_F1 + (qtKey - Qt::Key_F1));
  if (keypad && qtKey == Qt::Key_Period) return VK_DECIMAL;
  for (const KeyPair& k : kKeys)
    if (k.qt == qtKey) {
      // Plus and minus are the keypad keys only on the keypad; on the main
      // keyboard they are OEM keys the system never tests.
      if (!keypad && (k.vk == VK_ADD || k.vk == VK_SUBTRACT || k.vk == VK_MULTIPLY ||
                      k.vk == VK_DIVIDE))
        return 0;
      return k.vk;
    }
  return 0;
}

int VirtualKeyToQtKey(std::uint16_t vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return vk;
  if (vk >= VK_F1 && vk <= VK_F12) return Qt::Key_F1 + (vk - VK_F1);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return Qt::Key_0 + (vk - VK_NUMPAD0);
  for (const KeyPair& k : kKeys)
    if (k.vk == vk && k.qt != Qt::Key_Backtab && k.qt != Qt::Key_Enter) return k.qt;
  return 0;
}

TShiftState ShiftStateFromQt(int modifiers) {
  TShiftState s;
  if (modifiers & Qt::ShiftModifier) s << ssShift;
  if (modifiers & Qt::AltModifier) s << ssAlt;
  if (modifiers & Qt::ControlModifier) s << ssCtrl;
  return s;
}

namespace {
std::array<unsigned char, 256> gDown{};
std::array<unsigned char, 256> gToggled{};
}  // namespace

short GetKeyState(int vk) {
  if (vk < 0 || vk > 255) return 0;
  return static_cast<short>((gDown[vk] ? 0x8000 : 0) | (gToggled[vk] ? 1 : 0));
}

void NoteKeyTransition(std::uint16_t vk, bool down, bool autoRepeat) {
  if (vk > 255) return;
  if (down && !autoRepeat && (vk == VK_CAPITAL || vk == VK_NUMLOCK || vk == VK_SCROLL))
    gToggled[vk] = !gToggled[vk];
  gDown[vk] = down;
}

void SetKeyToggleForTest(std::uint16_t vk, bool on) {
  if (vk <= 255) gToggled[vk] = on;
}
