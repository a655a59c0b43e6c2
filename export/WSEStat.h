// WSEStat: the exporter's progress window with its Cancel button.  At most
// one exists; while it shows, the application's other windows are
// disabled, so Cancel is the only input, and the export loop keeps the
// message queue running through UpdateProcess.  export/; calls platform/ui.
//
//   ShowProcess("WSExport 3.80", "Exporting...", "&Cancel", 0, rows, 0);
//   for (...) { UpdateProcess("Exporting...", i); if (ProcessCanceled()) break; }
//   HideProcess();
#pragma once

#include "platform/core/AnsiString.h"
#include "platform/ui/Forms.h"

class TBevel;
class TButton;
class TLabel;
class TProgressBar;

class TfrmWSEProcess : public TForm {
  PAYROLL_CLASS(TfrmWSEProcess, TForm)

 public:
  explicit TfrmWSEProcess(TComponent* owner);

  TBevel* Bevel = nullptr;
  TLabel* lblStatus = nullptr;
  TProgressBar* ProgressBar = nullptr;
  TButton* btnCancel = nullptr;

  bool Canceled() const { return canceled_; }
  void FormCreate(TObject* sender) { canceled_ = false; }
  void btnCancelClick(TObject* sender) { canceled_ = true; }

 private:
  bool canceled_ = false;
};

// Shows a new progress window (hiding one still shown).  The bar shows
// only when minimum or maximum is not 0.  On failure shows "Can't create a
// process dialog" in an error box instead.
void ShowProcess(const AnsiString& caption, const AnsiString& status,
                 const AnsiString& cancelCaption, int position, int maximum, int minimum);
// Sets the status text and the bar's position and lets pending messages through.
void UpdateProcess(const AnsiString& status, int position);
// Re-enables the other windows and frees the progress window.
void HideProcess();
// True once Cancel was pressed; false when no window exists.
bool ProcessCanceled();
// The window shown now, or nullptr (tests press its button).
TfrmWSEProcess* ProcessForm();
