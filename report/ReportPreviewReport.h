// TrbPreviewReport: what the preview window, the print dialog and the
// progress window need of the report whose prepared pages they show.  The
// report component implements it; tests use a double.  Also the preview
// settings' types the component publishes.
//
// Contract:
//   - EMFPages() are the report's prepared pages; the preview shows them
//     and never frees them.
//   - PrintPreparedReport prints on the printer object (Printer()) through
//     the printer model (rbPrinter()), with whatever output that printer
//     has; the preview sets a PDF file there first when the system has no
//     printer.  It runs inside the progress window when the report wants.
//   - PrepareReport forms the pages again from the template (after page
//     setup); false when formation did not complete.
//   - LoadPreparedReport/SavePreparedReport read and write ".rbp" files;
//     loading makes the report unable to re-form (CanRebuild false).
#pragma once

#include "platform/core/AnsiString.h"
#include "platform/core/Sets.h"
#include "platform/core/TypInfo.h"

class TrbEMFPages;
class TrbPages;

enum TrbPreviewButton : unsigned char { pbZoom, pbLoad, pbSave, pbPrint, pbFind, pbHelp, pbExit, pbPageSetup };
PAYROLL_ENUM_NAMES(TrbPreviewButton, pbZoom, pbLoad, pbSave, pbPrint, pbFind, pbHelp, pbExit, pbPageSetup)
using TrbPreviewButtons = TSet<TrbPreviewButton, 8>;
// The default set: the seven buttons pbZoom to pbExit (set value 127).
inline const TrbPreviewButtons kDefaultPreviewButtons{pbZoom, pbLoad, pbSave, pbPrint, pbFind, pbHelp, pbExit};

enum TrbPreviewZoom : unsigned char { pzDefault, pzPageWidth, pzOnePage, pzTwoPages };
PAYROLL_ENUM_NAMES(TrbPreviewZoom, pzDefault, pzPageWidth, pzOnePage, pzTwoPages)

// All, odd or even pages (the print dialog's page choice).
enum TrbPrintPages { ppAll, ppOdd, ppEven };

class TrbPreviewReport {
 public:
  virtual ~TrbPreviewReport() = default;

  virtual TrbEMFPages* EMFPages() = 0;
  // Template pages: page setup changes their paper and margins.
  virtual TrbPages* TemplatePages() = 0;
  virtual AnsiString Title() const = 0;

  // Preview settings.
  virtual TrbPreviewButtons PreviewButtons() const { return kDefaultPreviewButtons; }
  virtual TrbPreviewZoom InitialZoom() const { return pzDefault; }
  virtual bool ModalPreview() const { return true; }
  virtual bool GrayedButtons() const { return false; }
  virtual bool ShowPrintDialog() const { return true; }
  virtual int DefaultCopies() const { return 1; }
  virtual bool DefaultCollate() const { return true; }
  virtual bool CanRebuild() const { return true; }

  // pageNumbers: "" all pages, else numbers and ranges ("1,3,5-12").
  virtual void PrintPreparedReport(const AnsiString& pageNumbers, int copies, bool collate,
                                   TrbPrintPages printPages) = 0;
  virtual bool PrepareReport() = 0;
  virtual void LoadPreparedReport(const AnsiString& fileName) = 0;
  virtual void SavePreparedReport(const AnsiString& fileName) = 0;

  // The user stops formation or printing (progress window's cancel).
  virtual void SetTerminated(bool terminated) = 0;
};
