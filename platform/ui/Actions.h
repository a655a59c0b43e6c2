// Actions: the class library's action protocol, as far as the controls
// here take part in it.  An action is offered to a control
// (TControl::ExecuteAction, UpdateAction): a control that knows the action
// runs it, or sets its enabled state, itself and answers true; otherwise
// the control runs the action on itself when the action handles it as a
// target (HandlesTarget, then ExecuteTarget or UpdateTarget) and answers
// true, else false.
//
// The standard edit actions (TEditCut, TEditCopy, TEditPaste,
// TEditSelectAll, TEditDelete) handle a focused edit control and work on
// its text; the data grid takes them itself for its selection.
//
//   TEditCopy copy(form);
//   if (!grid->ExecuteAction(&copy)) ...   // the grid could not copy
//
// Layer: platform/ui.
#pragma once

#include "platform/core/Component.h"
#include "platform/core/TypInfo.h"

class TCustomEdit;

class TBasicAction : public TComponent {
  PAYROLL_CLASS(TBasicAction, TComponent)
 public:
  explicit TBasicAction(TComponent* owner) : TComponent(owner) {}
  // Whether the action can run on target.
  virtual bool HandlesTarget(TObject*) { return false; }
  virtual void ExecuteTarget(TObject*) {}
  // Sets the action's state (Enabled) from target.
  virtual void UpdateTarget(TObject*) {}
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }

 private:
  bool enabled_ = true;
};

enum TEditActionKind { eakCut, eakCopy, eakPaste, eakSelectAll, eakDelete };

// A standard edit action on a focused edit control.
class TEditAction : public TBasicAction {
  PAYROLL_CLASS(TEditAction, TBasicAction)
 public:
  TEditActionKind Kind() const { return kind_; }
  bool HandlesTarget(TObject* target) override;
  void ExecuteTarget(TObject* target) override;
  // Enabled: cut, copy and delete with selected text (cut and delete of
  // an editable one), paste with text on the clipboard, select all with
  // any text.
  void UpdateTarget(TObject* target) override;

 protected:
  TEditAction(TComponent* owner, TEditActionKind kind) : TBasicAction(owner), kind_(kind) {}

 private:
  TEditActionKind kind_;
};

class TEditCut : public TEditAction {
  PAYROLL_CLASS(TEditCut, TEditAction)
 public:
  explicit TEditCut(TComponent* owner) : TEditAction(owner, eakCut) {}
};
class TEditCopy : public TEditAction {
  PAYROLL_CLASS(TEditCopy, TEditAction)
 public:
  explicit TEditCopy(TComponent* owner) : TEditAction(owner, eakCopy) {}
};
class TEditPaste : public TEditAction {
  PAYROLL_CLASS(TEditPaste, TEditAction)
 public:
  explicit TEditPaste(TComponent* owner) : TEditAction(owner, eakPaste) {}
};
class TEditSelectAll : public TEditAction {
  PAYROLL_CLASS(TEditSelectAll, TEditAction)
 public:
  explicit TEditSelectAll(TComponent* owner) : TEditAction(owner, eakSelectAll) {}
};
class TEditDelete : public TEditAction {
  PAYROLL_CLASS(TEditDelete, TEditAction)
 public:
  explicit TEditDelete(TComponent* owner) : TEditAction(owner, eakDelete) {}
};
