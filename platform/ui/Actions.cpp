// The action protocol and the standard edit actions (see Actions.h).
#include "platform/ui/Actions.h"

#include "platform/ui/Clipboard.h"
#include "platform/ui/Controls.h"
#include "platform/ui/StdCtrls.h"

bool TControl::ExecuteAction(TBasicAction* action) {
  if (!action || !action->HandlesTarget(this)) return false;
  action->ExecuteTarget(this);
  return true;
}

bool TControl::UpdateAction(TBasicAction* action) {
  if (!action || !action->HandlesTarget(this)) return false;
  action->UpdateTarget(this);
  return true;
}

bool TEditAction::HandlesTarget(TObject* target) {
  auto* edit = dynamic_cast<TCustomEdit*>(target);
  return edit && edit->Focused();
}

void TEditAction::ExecuteTarget(TObject* target) {
  auto* edit = dynamic_cast<TCustomEdit*>(target);
  if (!edit) return;
  switch (kind_) {
    case eakCut: edit->CutToClipboard(); break;
    case eakCopy: edit->CopyToClipboard(); break;
    case eakPaste: edit->PasteFromClipboard(); break;
    case eakSelectAll: edit->SelectAll(); break;
    case eakDelete: edit->ClearSelection(); break;
  }
}

void TEditAction::UpdateTarget(TObject* target) {
  auto* edit = dynamic_cast<TCustomEdit*>(target);
  if (!edit) return;
  const bool selected = edit->SelLength() > 0;
  switch (kind_) {
    case eakCut:
    case eakDelete: SetEnabled(selected && !edit->ReadOnly()); break;
    case eakCopy: SetEnabled(selected); break;
    case eakPaste: SetEnabled(!edit->ReadOnly() && Clipboard()->HasFormat(CF_TEXT)); break;
    case eakSelectAll: SetEnabled(!edit->Text().empty()); break;
  }
}

PAYROLL_PUBLISH(TBasicAction) {}
PAYROLL_PUBLISH(TEditAction) {}
PAYROLL_PUBLISH(TEditCut) {}
PAYROLL_PUBLISH(TEditCopy) {}
PAYROLL_PUBLISH(TEditPaste) {}
PAYROLL_PUBLISH(TEditSelectAll) {}
PAYROLL_PUBLISH(TEditDelete) {}
