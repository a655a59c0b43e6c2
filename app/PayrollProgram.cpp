// The payroll program's entry.  See PayrollProgram.h.
#include "app/PayrollProgram.h"

#include "Udb/UdbDataBase.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/FrmSplash.h"
#include "app/StartupForms.h"
#include "platform/core/TypInfo.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/UdbPasswordDialog.h"
#include "decor/SbStatusBar.h"
#include "grid/DBGridEx.h"
#include "grid/DBLookupControlEx.h"

namespace payroll {

void RegisterPayrollClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterVisualClasses();
  RegisterDataControls();
  RegisterDecorClasses();
  RegisterClasses<TDBGridEx>();  // the departments dialog's grid
  RegisterClasses<TDBLookupListBoxEx>();  // forms may name the lookup list box
  // The engine asks for credentials through the visual layer's dialog.
  SetUdbLoginDialog([](const AnsiString& databaseName, int mode, AnsiString& masterKey, AnsiString& userName,
                       AnsiString& password) {
    return ShowLoginDialog(databaseName, mode, masterKey, password, userName);
  });
}

void CreatePayrollForms() {
  RegisterPayrollClasses();
  FrmSplash = new TFrmSplash(Application);
  FrmSplash->Show();
  FrmSplash->Update();
  Application->ProcessMessages();
  Application->SetTitle(kApplicationTitle);
  try {
    Application->CreateForm(frmMain);
    if (!Application->Terminated()) {
      Application->CreateForm(FrmLogin);
      Application->CreateForm(FrmZgPx);
      Application->CreateForm(FrmZgXz);
      Application->CreateForm(FrmXzZd);
      Application->CreateForm(FrmZGQKWH);
      Application->CreateForm(FrmBackData);
      Application->CreateForm(FrmAbout);
      Application->CreateForm(frmRptPaper);
    }
  } catch (...) {
    Application->HandleException(Application);
    Application->Terminate();
  }
  FrmSplash->Hide();
  delete FrmSplash;
  FrmSplash = nullptr;
}

int RunPayroll() {
  Application->Initialize();
  CreatePayrollForms();
  Application->Run();
  return 0;
}

}  // namespace payroll
