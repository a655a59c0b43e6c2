// The preview window over a report component: the report's side hands the
// preview these calls (PayReports.cpp builds them, ReportPreviewBridge.cpp
// shows the window), which keeps the pay-report code free of the preview's
// window classes.  Print pages travel as their TrbPrintPages number.
// App layer.
#pragma once

#include <functional>

#include "platform/core/AnsiString.h"

class TrbEMFPages;
class TrbPages;
class TForm;

namespace payroll {

struct TReportPreviewCalls {
  std::function<TrbEMFPages*()> Pages;
  std::function<TrbPages*()> Templates;
  AnsiString Title;
  std::function<void(const AnsiString& pages, int copies, bool collate, int which)> Print;
  std::function<bool()> Prepare;
  std::function<void(const AnsiString&)> Load, Save;
};

// Shows the preview modally; with shown set, the window is made, shown
// modelessly, handed to shown and freed when shown returns (tests look
// at it that way).
void ShowReportPreview(const TReportPreviewCalls& calls, const std::function<void(TForm* window)>& shown);

}  // namespace payroll
