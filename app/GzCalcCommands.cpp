// The payroll calculation's commands on the main form.  See
// GzCalcCommands.h and GzCalc.h.
#include "app/GzCalcCommands.h"

#include <cmath>
#include <memory>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "app/FrmMain.h"
#include "app/GzCalc.h"
#include "app/GzSettings.h"
#include "decor/SbStatusBar.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "sql/UdbQuery.h"

// --- progress form and bonus dialog -------------------------------------------

TfrmMessage::TfrmMessage(TComponent* owner) : TForm(owner) {
  SetBorderStyle(bsNone);
  SetPosition(poScreenCenter);
  SetClientWidth(382);
  SetClientHeight(37);
  Gauge1 = new TProgressBar(this);
  Gauge1->SetName("Gauge1");
  Gauge1->SetParent(this);
  Gauge1->SetBounds(4, 8, 374, 21);
}

TfrmJJCsh::TfrmJJCsh(TComponent* owner) : TFrmPopWin(owner) {
  InitForm("TfrmJJCsh");
  Label2 = static_cast<TLabel*>(FindComponent("Label2"));
  Edtgjj = static_cast<TEdit*>(FindComponent("Edtgjj"));
  SpdBtnOk = static_cast<TSpeedButton*>(FindComponent("SpdBtnOk"));
  SptBtnCanCle = static_cast<TSpeedButton*>(FindComponent("SptBtnCanCle"));
  Query1 = new TUdbQuery(this);
  Query1->SetDataBase(FrmData->UdbDataBase1);
}

void TfrmJJCsh::SpdBtnOkClick(TObject*) {
  // The amount is a value, never a piece of the statement: typed text
  // such as "100, F01=0" must not reach the query as SQL.
  double amount = 0;
  if (!TryStrToFloat(Edtgjj->Text(), amount) || !std::isfinite(amount)) {
    MessageBox(payroll::kBonusAmountNotNumber, Application->Title(), MB_OK | MB_ICONWARNING);
    return;
  }
  TUdbTable* gzk = FrmData->TblGzk;
  {
    TBookmarkKeeper back(gzk);
    Query1->Close();
    Query1->SQL()->Clear();
    Query1->SQL()->Add("update gzk set prix=:Amount");
    Query1->Params()->ParamByName("Amount")->SetAsFloat(amount);
    Query1->ExecSQL();
    gzk->Refresh();
  }
  MessageBox(payroll::kBonusInitDone, Application->Title(), MB_OK | MB_ICONINFORMATION);
}

void TfrmJJCsh::SptBtnCanCleClick(TObject*) { Close(); }

PAYROLL_PUBLISH(TfrmMessage) {}
PAYROLL_PUBLISH(TfrmJJCsh) {
  p.Method("SpdBtnOkClick", &TfrmJJCsh::SpdBtnOkClick);
  p.Method("SptBtnCanCleClick", &TfrmJJCsh::SptBtnCanCleClick);
}

// --- the main form's handlers ---------------------------------------------------

namespace {

void RunInitialisation(TfrmMain* form, const char* question, int mode, const char* done) {
  if (MessageBox(question, Application->Title(), MB_YESNO | MB_ICONWARNING) != IDYES) return;
  auto progress = std::make_unique<TfrmMessage>(nullptr);
  progress->Show();
  TUdbTable* gzk = FrmData->TblGzk;
  AnsiString failure;
  try {
    TControlsDisabler quiet(gzk);
    try {
      gzk->SetFiltered(false);
      gzk->First();
      progress->Gauge1->SetPosition(0);
      progress->Gauge1->SetMax(gzk->RecordCount());
      while (!gzk->Eof()) {
        form->CalcMode = mode;
        form->GzCalc(nullptr);
        form->CalcMode = 0;
        progress->Gauge1->StepBy(1);
        gzk->Next();
      }
      gzk->First();
    } catch (const std::exception& e) {
      form->CalcMode = 0;
      AnsiString code;
      try {
        code = gzk->FieldByName("zgbh")->AsString();
      } catch (...) {
      }
      failure = AnsiString(e.what()) + "(" + code + ")";
    }
  } catch (const std::exception& e) {
    // Re-enabling the controls failed.
    if (failure.empty()) failure = e.what();
  }
  if (!failure.empty()) MessageBox(failure, Application->Title(), MB_OK | MB_ICONERROR);
  progress->Hide();
  progress.reset();
  MessageBox(done, Application->Title(), MB_OK | MB_ICONINFORMATION);
}

}  // namespace

void TfrmMain::GzCalc(TObject*) {
  payroll::TGzCalcTables tables;
  tables.DataBase = FrmData->UdbDataBase1;
  tables.Gzk = FrmData->TblGzk;
  tables.JsGsk = FrmData->TblJsGsk;
  const AnsiString gn = payroll::CalcFunctionName(CalcMode, Notebook1 ? Notebook1->ActivePage() : AnsiString());
  payroll::GzCalcRow(tables, gn, CalcLogOn ? AnsiString(payroll::kCalcLogName) : AnsiString());
}

void TfrmMain::N14Click(TObject*) {
  RunInitialisation(this, payroll::kMonthInitQuestion, 1, payroll::kMonthInitDone);
}

void TfrmMain::N58Click(TObject*) {
  RunInitialisation(this, payroll::kYearInitQuestion, 2, payroll::kYearInitDone);
}

void TfrmMain::N60Click(TObject*) {
  RunInitialisation(this, payroll::kPerfInitQuestion, 5, payroll::kPerfInitDone);
}

void TfrmMain::N21Click(TObject*) {
  auto dialog = std::make_unique<TfrmJJCsh>(nullptr);
  dialog->ShowModal();
}

void TfrmMain::SpdBtnCjjZeClick(TObject*) {
  UdbQuery1->Close();
  UdbQuery1->SQL()->Clear();
  UdbQuery1->SQL()->Add("select sum(prix) from gzk ");
  UdbQuery1->Open();
  const double sum = UdbQuery1->Fields()->Fields(0)->AsFloat();
  Lbljjze->SetCaption(sbStatusBar->Panels()->GetItem(2)->Text() + "奖金总额为：" + FloatToStr(sum) + "元");
  UdbQuery1->Close();
}
