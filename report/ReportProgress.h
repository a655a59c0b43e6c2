// TrbProgressForm: the window shown while a report is formed or printed.
// The work runs inside the window's own modal loop: Show posts the private
// message 1025 to the window and shows it modally; handling that message
// raises OnBeforeModal, in which the report forms or prints, writes its
// progress into Label1 (letting messages through, so the window repaints
// and Cancel works) and finally closes the window with its result.
// Calls platform/ui.
//
//   TrbProgressForm f(nullptr);
//   f.OnBeforeModal = [&](TObject*) { FormPages(); f.SetModalResult(mrOk); };
//   if (f.Show(report) == mrCancel) ...   // the user stopped it
#pragma once

#include <exception>

#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TrbPreviewReport;

// The private message that starts the work.
constexpr unsigned WM_RB_START_WORK = 1025;

class TrbProgressForm : public TForm {
 public:
  explicit TrbProgressForm(TComponent* owner);

  TLabel* Label1;
  TLabel* Label2;
  TButton* Button1;  // cancel

  // Raised from inside the modal loop, once.
  TNotifyEvent OnBeforeModal;
  // Shows the window for report (whose terminate flag Cancel sets); returns
  // the modal result the work or Cancel set.  An exception of the work
  // closes the window and is raised again here.
  using TForm::Show;
  TModalResult Show(TrbPreviewReport* report);
  // The first caption of the label as the report sets it before showing.
  AnsiString FirstCaption;

  void WndProc(TMessage& message) override;

 private:
  TrbPreviewReport* report_ = nullptr;
  std::exception_ptr failure_;
};
