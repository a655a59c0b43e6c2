// TrbProgressForm (see ReportProgress.h).
#include "report/ReportProgress.h"

#include <utility>

#include "platform/ui/MessageQueue.h"
#include "report/ReportFormsInt.h"
#include "report/ReportPreviewReport.h"

using namespace rbforms;

TrbProgressForm::TrbProgressForm(TComponent* owner) : TForm(owner) {
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetBorderIcons(TBorderIcons{});
  SetClientWidth(300);
  SetClientHeight(96);
  Label1 = Label(this, 16, 16, "");
  Label2 = Label(this, 16, 36, "");
  Button1 = Button(this, 112, 62, "取消", mrNone);
  Button1->SetCancel(true);
  Button1->OnClick = [this](TObject*) {
    if (report_) report_->SetTerminated(true);
    SetModalResult(mrCancel);
  };
}

TModalResult TrbProgressForm::Show(TrbPreviewReport* report) {
  report_ = report;
  Button1->SetCaption("取消");
  Label1->SetCaption("");
  failure_ = nullptr;
  PostMessage(this, WM_RB_START_WORK);
  TModalResult result = ShowModal();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  return result;
}

void TrbProgressForm::WndProc(TMessage& message) {
  if (message.Msg == WM_RB_START_WORK) {
    // The work's failure must not leave the window open with nothing
    // running: it closes the window and reaches the caller of Show.
    try {
      if (OnBeforeModal) OnBeforeModal(this);
    } catch (...) {
      failure_ = std::current_exception();
      SetModalResult(mrAbort);
    }
    return;
  }
  TForm::WndProc(message);
}
