// Window positions of the report engine's forms (see ReportWindowPos.h).
#include "report/ReportWindowPos.h"

#include "platform/core/Settings.h"
#include "platform/ui/Forms.h"

namespace {

constexpr const char* kRootKey = "\\Software\\BandReport\\Form\\";

int ReadInt(TRegistry& reg, const char* name, int fallback) {
  if (!reg.ValueExists(name)) return fallback;
  try {
    return reg.ReadInteger(name);
  } catch (const ERegistryException&) {
    return fallback;
  }
}

bool ReadBool(TRegistry& reg, const char* name, bool fallback) {
  if (!reg.ValueExists(name)) return fallback;
  try {
    return reg.ReadBool(name);
  } catch (const ERegistryException&) {
    return fallback;
  }
}

}  // namespace

AnsiString rbFormPositionKey(const TCustomForm* form) { return kRootKey + form->ClassName(); }

void rbSaveFormPosition(TCustomForm* form) {
  TRegistry reg;
  if (!reg.OpenKey(rbFormPositionKey(form), true)) return;
  reg.WriteInteger("XPosition", form->Left());
  reg.WriteInteger("YPosition", form->Top());
  reg.WriteInteger("Width", form->Width());
  reg.WriteInteger("Height", form->Height());
  reg.WriteBool("Maximized", form->WindowState() == wsMaximized);
}

void rbRestoreFormPosition(TCustomForm* form) {
  TRegistry reg;
  bool maximized = true;
  int left = form->Left(), top = form->Top(), width = form->Width(), height = form->Height();
  if (reg.OpenKeyReadOnly(rbFormPositionKey(form))) {
    maximized = ReadBool(reg, "Maximized", true);
    left = ReadInt(reg, "XPosition", left);
    top = ReadInt(reg, "YPosition", top);
    width = ReadInt(reg, "Width", width);
    height = ReadInt(reg, "Height", height);
  }
  if (!maximized) form->SetWindowState(wsNormal);
  form->SetBounds(left, top, width, height);
}
