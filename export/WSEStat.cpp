#include "export/WSEStat.h"

#include <memory>
#include <vector>

#include "platform/ui/ComCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"

namespace {

// The one progress window and the windows it disabled.
struct ProcessState {
  std::unique_ptr<TfrmWSEProcess> form;
  std::vector<TCustomForm*> disabled;
};

ProcessState& State() {
  static ProcessState state;
  return state;
}

}  // namespace

TfrmWSEProcess::TfrmWSEProcess(TComponent* owner) : TForm(owner) {
  SetBorderStyle(bsDialog);
  SetFormStyle(fsStayOnTop);
  SetPosition(poScreenCenter);
  SetClientWidth(442);
  SetClientHeight(87);
  Bevel = new TBevel(this);
  Bevel->SetParent(this);
  Bevel->SetBounds(8, 8, 426, 42);
  lblStatus = new TLabel(this);
  lblStatus->SetParent(this);
  lblStatus->SetBounds(16, 14, 410, 13);
  ProgressBar = new TProgressBar(this);
  ProgressBar->SetParent(this);
  ProgressBar->SetBounds(16, 30, 410, 14);
  btnCancel = new TButton(this);
  btnCancel->SetParent(this);
  btnCancel->SetBounds(183, 56, 75, 25);
  btnCancel->OnClick = [this](TObject* sender) { btnCancelClick(sender); };
  FormCreate(this);
}

PAYROLL_PUBLISH(TfrmWSEProcess) {}

void ShowProcess(const AnsiString& caption, const AnsiString& status,
                 const AnsiString& cancelCaption, int position, int maximum, int minimum) {
  HideProcess();
  ProcessState& st = State();
  try {
    st.form = std::make_unique<TfrmWSEProcess>(nullptr);
    TfrmWSEProcess* f = st.form.get();
    f->SetCaption(caption);
    f->btnCancel->SetCaption(cancelCaption);
    f->lblStatus->SetCaption(status);
    f->ProgressBar->SetMin(minimum);
    f->ProgressBar->SetMax(maximum);
    f->ProgressBar->SetPosition(position);
    f->ProgressBar->SetVisible(minimum != 0 || maximum != 0);
    for (int i = 0; i < Screen->FormCount(); ++i) {
      TCustomForm* other = Screen->Forms(i);
      if (other != f && other->Enabled()) {
        other->SetEnabled(false);
        st.disabled.push_back(other);
      }
    }
    f->Show();
    Application->ProcessMessages();
  } catch (const Exception&) {
    HideProcess();
    MessageDlg("Can't create a process dialog", mtError, TMsgDlgButtons{mbOK}, 0);
  }
}

void UpdateProcess(const AnsiString& status, int position) {
  TfrmWSEProcess* f = State().form.get();
  if (!f) return;
  f->lblStatus->SetCaption(status);
  f->ProgressBar->SetPosition(position);
  f->Repaint();
  Application->ProcessMessages();
}

void HideProcess() {
  ProcessState& st = State();
  if (!st.form && st.disabled.empty()) return;
  for (TCustomForm* other : st.disabled) {
    // A window freed meanwhile has left the screen's list.
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (Screen->Forms(i) == other) other->SetEnabled(true);
  }
  st.disabled.clear();
  st.form.reset();
  Application->ProcessMessages();
}

bool ProcessCanceled() {
  const TfrmWSEProcess* f = State().form.get();
  return f && f->Canceled();
}

TfrmWSEProcess* ProcessForm() { return State().form.get(); }
