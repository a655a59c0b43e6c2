// The maintenance dialogs' checks and the password change.  See
// Maintenance.h.
#include "app/Maintenance.h"

#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/StrCon.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/UrlOpener.h"

namespace payroll {

namespace {

bool Ask(const char* text) { return MessageBox(text, Application->Title(), MB_YESNO | MB_ICONQUESTION) == IDYES; }
void Tell(const char* text, unsigned icon) { MessageBox(text, Application->Title(), MB_OK | icon); }

bool AnyWith(TDataSet* gzk, const AnsiString& filter) {
  gzk->SetFiltered(false);
  gzk->SetFilter(filter);
  gzk->SetFiltered(true);
  gzk->First();
  return !gzk->IsEmpty();
}

}  // namespace

bool DeleteUser(TDataSet* userid) {
  if (userid->IsEmpty()) return false;
  if (!Ask(kAskDeleteUser)) return false;
  userid->Delete();
  if (userid->IsEmpty()) Tell(kNoUsersLeft, MB_ICONWARNING);
  return true;
}

bool DeleteDepartment(TDataSet* gzk, TDataSet* bm) {
  if (bm->IsEmpty()) return false;
  const AnsiString code = bm->FieldByName("bmbh")->AsString();
  // "like" would read '%' and '_' in a code as wildcards; codes are digits.
  if (AnyWith(gzk, "zgbh like " + QuotedStr(code + "%"))) {
    Tell(kDeptHasEmployees, MB_ICONWARNING);
    return false;
  }
  if (!Ask(kAskDeleteDept)) return false;
  bm->Delete();
  return true;
}

bool DeleteCategory(TDataSet* gzk, TDataSet* zgqk) {
  if (zgqk->IsEmpty()) return false;
  if (AnyWith(gzk, "zgqk=" + QuotedStr(zgqk->FieldByName("Zgqk")->AsString()))) {
    Tell(kCategoryInUse, MB_ICONWARNING);
    return false;
  }
  if (!Ask(kAskDeleteCategory)) return false;
  zgqk->Delete();
  return true;
}

TPasswordOutcome ChangePassword(TDataSet* userid, const AnsiString& loginName, AnsiString& loginPass,
                                const AnsiString& oldPass, const AnsiString& newPass, const AnsiString& confirm) {
  if (oldPass != loginPass) {
    Tell(kWrongOldPassword, MB_ICONERROR);
    return TPasswordOutcome::WrongOld;
  }
  if (newPass != confirm) {
    Tell(kPasswordMismatch, MB_ICONERROR);
    return TPasswordOutcome::Mismatch;
  }
  const bool wasOpen = userid->Active();
  if (!wasOpen) userid->Open();
  if (userid->Locate("userName", loginName, {loCaseInsensitive, loPartialKey})) {
    userid->Edit();
    userid->FieldByName("UserPass")->SetAsString(newPass);
    loginPass = newPass;
    userid->Post();
  }
  if (!wasOpen) userid->Close();
  Tell(kPasswordChanged, MB_ICONINFORMATION);
  return TPasswordOutcome::Changed;
}

void InstallAboutBox(TForm* about) {
  if (!about || about->FindComponent("Button1")) return;
  about->OnActivate = [about](TObject*) {
    if (auto* v = dynamic_cast<TLabel*>(about->FindComponent("LblVersion"))) v->SetCaption(kAboutVersion);
    if (auto* n = dynamic_cast<TLabel*>(about->FindComponent("LblDwMc"))) n->SetCaption(DwMc);
  };
  auto* close = new TButton(about);
  close->SetName("Button1");
  close->SetParent(about);
  close->SetBounds(about->ClientWidth() - 96, about->ClientHeight() - 36, 80, 26);
  close->SetCaption("关闭");
  close->OnClick = [about](TObject*) { about->Close(); };
  if (auto* web = dynamic_cast<TLabel*>(about->FindComponent("Label3")))
    web->OnClick = [](TObject*) { OpenURL(kMakerWebPage); };
}

}  // namespace payroll

void TfrmMain::BitBtn1Click(TObject*) {
  if (!FrmLogin) return;
  const payroll::TPasswordOutcome outcome =
      payroll::ChangePassword(FrmData->TblUser, FrmLogin->LoginUserName, FrmLogin->LoginUserPass,
                              EditOldPwd->Text(), EditNewPwd->Text(), EditNowPwd->Text());
  switch (outcome) {
    case payroll::TPasswordOutcome::WrongOld:
      if (EditOldPwd->CanFocus()) EditOldPwd->SetFocus();
      break;
    case payroll::TPasswordOutcome::Mismatch:
      if (EditNewPwd->CanFocus()) EditNewPwd->SetFocus();
      break;
    case payroll::TPasswordOutcome::Changed:
      for (TEdit* e : {EditOldPwd, EditNewPwd, EditNowPwd}) e->SetText("");
      break;
  }
}
