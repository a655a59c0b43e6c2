// TrbPrintForm: the print dialog (printer, copies, collation, page range,
// all/odd/even pages).  Choosing a printer makes it current in the printer
// model at once; closing without OK makes the printer current on opening
// current again.  Calls the printer model and platform/ui.
//
// Result (read after ShowModal returned mrOk):
//   Copies()       the number in E1 (at least 1)
//   Collate()      CollateCB
//   PageNumbers()  "" for all pages (RB1), the current page's number (RB2),
//                  the text of E2 (RB3), numbers and ranges as 1,3,5-12
//   PrintPages()   the index in CB2: all, odd or even pages
#pragma once

#include "platform/ui/Buttons.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "report/ReportPreviewReport.h"

class TrbPrintForm : public TForm {
 public:
  // currentPage: the page RB2 stands for (1-based).
  TrbPrintForm(TComponent* owner, int currentPage);

  TComboBox* CB1;            // printers
  TButton* PropButton;       // printer properties
  TEdit* E1;                 // copies
  TSpeedButton* rbSpeedButton1;  // copies + 1
  TSpeedButton* rbSpeedButton2;  // copies - 1, never below 1
  TCheckBox* CollateCB;
  TPaintBox* PB1;            // collated or uncollated sheets
  TRadioButton* RB1;         // all
  TRadioButton* RB2;         // current page
  TRadioButton* RB3;         // pages typed in E2
  TEdit* E2;
  TComboBox* CB2;            // all, odd, even pages
  TButton* OKBtn;
  TButton* CancelBtn;

  int Copies() const;
  bool Collate() const { return CollateCB->Checked(); }
  AnsiString PageNumbers() const;
  TrbPrintPages PrintPages() const;
  // The printer current when the dialog opened.
  int OldPrinterIndex() const { return oldIndex_; }

 private:
  void PaintCollate();
  int currentPage_;
  int oldIndex_;
};

// Shows the dialog with the given copies and collation; true with the
// choices filled in when confirmed.
bool rbShowPrintDialog(int currentPage, int& copies, bool& collate, AnsiString& pageNumbers,
                       TrbPrintPages& printPages);
