// TFrmLogin: the login dialog.  See FrmLogin.h.
#include "app/FrmLogin.h"

#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "platform/core/AnsiText.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/VirtualKeys.h"

AnsiString LoginResult = "ERROR";
TFrmLogin* FrmLogin = nullptr;

namespace payroll {

bool LocateUserCode(TDataSet* users, const AnsiString& code) {
  TLocateOptions options;
  options << loCaseInsensitive << loPartialKey;
  return users->Locate("userdm", Variant(code), options);
}

}  // namespace payroll

TFrmLogin::TFrmLogin(TComponent* owner) : TForm(owner) {
  InitForm("TFrmLogin");
  EditUserDm = static_cast<TEdit*>(FindComponent("EditUserDm"));
  EditUserPass = static_cast<TEdit*>(FindComponent("EditUserPass"));
  BitBtnLogin = static_cast<TBitBtn*>(FindComponent("BitBtnLogin"));
  BitBtnCancel = static_cast<TBitBtn*>(FindComponent("BitBtnCancel"));
}

void TFrmLogin::FormActivate(TObject*) {
  FrmData->TblUser->Open();
  EditUserPass->SetText("");
  EditUserDm->SetFocus();
}

void TFrmLogin::BitBtnLoginClick(TObject*) {
  LoginResult = "ERROR";
  TUdbTable* users = FrmData->TblUser;
  if (!payroll::LocateUserCode(users, EditUserDm->Text())) {
    EditUserDm->SetFocus();
    Application->MessageBox(payroll::kUnknownUser, Caption(), MB_OK | MB_ICONERROR);
    return;
  }
  if (users->FieldByName("UserPass")->AsString() != EditUserPass->Text()) {
    EditUserPass->SetFocus();
    Application->MessageBox(payroll::kWrongPassword, Caption(), MB_OK | MB_ICONERROR);
    return;
  }
  LoginUserDm = users->FieldByName("UserDm")->AsString();
  LoginUserName = users->FieldByName("UserName")->AsString();
  LoginUserPass = users->FieldByName("UserPass")->AsString();
  LoginResult = "OK";
  Close();
}

void TFrmLogin::BitBtnCancelClick(TObject*) {
  Application->Terminate();
  Close();
}

void TFrmLogin::FormClose(TObject*, TCloseAction&) {
  if (LoginResult != "OK") Application->Terminate();
}

void TFrmLogin::FormKeyDown(TObject*, std::uint16_t& key, TShiftState) {
  if (key == VK_UP) SelectNext(ActiveControl(), false, true);
  if (key == VK_DOWN) SelectNext(ActiveControl(), true, true);
}

void TFrmLogin::FormKeyPress(TObject*, char& key) {
  if (key != '\r') return;
  key = 0;
  SelectNext(ActiveControl(), true, true);
}

PAYROLL_PUBLISH(TFrmLogin) {
  p.Method("FormActivate", &TFrmLogin::FormActivate);
  p.Method("BitBtnLoginClick", &TFrmLogin::BitBtnLoginClick);
  p.Method("BitBtnCancelClick", &TFrmLogin::BitBtnCancelClick);
  p.Method("FormClose", &TFrmLogin::FormClose);
  p.Method("FormKeyDown", &TFrmLogin::FormKeyDown);
  p.Method("FormKeyPress", &TFrmLogin::FormKeyPress);
}
