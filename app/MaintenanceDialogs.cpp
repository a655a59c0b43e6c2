// The users, departments and categories dialogs and the menu commands that
// show them.  See MaintenanceDialogs.h.
#include "app/MaintenanceDialogs.h"

#include <memory>

#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "app/FrmMain.h"
#include "app/Maintenance.h"
#include "grid/DBGridEx.h"
#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/StdCtrls.h"

TFrmZGQKWH* FrmZGQKWH = nullptr;

namespace {

template <class T>
T* Part(TComponent* form, const char* name) {
  return static_cast<T*>(form->FindComponent(name));
}

void EnsureOpen(TDataSet* table) {
  if (table && !table->Active()) table->Open();
}

// The row typed into a dialog's grid after "增 加" is still being inserted
// when the dialog closes; it is posted then, or the table would stay in
// insert state and the dialog's next grid would list that row alone.  A
// row the table refuses raises, and the dialog stays open to correct it.
void PostOnClose(TForm* form, TDataSet* table) {
  form->OnClose = [table](TObject*, TCloseAction&) {
    if (table && table->Active()) table->CheckBrowseMode();
  };
}

}  // namespace

// --- users ---------------------------------------------------------------------

TFrmYHWH::TFrmYHWH(TComponent* owner) : TFrmPopWin(owner) {
  InitForm("TFrmYHWH");
  DBGrid3 = Part<TDBGrid>(this, "DBGrid3");
  SpeedButton5 = Part<TSpeedButton>(this, "SpeedButton5");
  SpeedButton6 = Part<TSpeedButton>(this, "SpeedButton6");
  SpeedButton1 = Part<TSpeedButton>(this, "SpeedButton1");
  if (FrmData) {
    EnsureOpen(FrmData->TblUser);
    DBGrid3->SetDataSource(FrmData->DsUser);
    PostOnClose(this, FrmData->TblUser);
  }
}

void TFrmYHWH::SpeedButton5Click(TObject*) {
  TUdbTable* users = FrmData->TblUser;
  EnsureOpen(users);
  users->Insert();
  users->FieldByName("UserPass")->SetAsString("");
  if (DBGrid3->CanFocus()) DBGrid3->SetFocus();
}

void TFrmYHWH::SpeedButton6Click(TObject*) { payroll::DeleteUser(FrmData->TblUser); }

void TFrmYHWH::SpeedButton1Click(TObject*) { Close(); }

// --- departments ---------------------------------------------------------------

namespace {

// Posts a pending department and rebuilds the main window's tree, which
// refills its transfer targets too.
void SaveDepartments() {
  TUdbTable* bm = FrmData->TblBm;
  if (bm->State() == dsInsert || bm->State() == dsEdit) bm->Post();
  if (frmMain) frmMain->CreatBmTreeview(frmMain->TreeViewBm);
}

}  // namespace

TFrmBMWH::TFrmBMWH(TComponent* owner) : TFrmPopWin(owner) {
  InitForm("TFrmBMWH");
  DBGridEx1 = Part<TDBGridEx>(this, "DBGridEx1");
  SptBtnBmWhSave = Part<TSpeedButton>(this, "SptBtnBmWhSave");
  SptBtnBmWhApp = Part<TSpeedButton>(this, "SptBtnBmWhApp");
  SptBtnBmWhDel = Part<TSpeedButton>(this, "SptBtnBmWhDel");
  BtnClose = Part<TSpeedButton>(this, "BtnClose");
  if (FrmData) {
    EnsureOpen(FrmData->TblBm);
    DBGridEx1->SetDataSource(FrmData->DsBm);
  }
}

void TFrmBMWH::SptBtnBmWhAppClick(TObject*) {
  TUdbTable* bm = FrmData->TblBm;
  EnsureOpen(bm);
  bm->Append();
  bm->FieldByName("xh")->SetAsFloat(0);
  bm->FieldByName("rs")->SetAsFloat(0);
  SptBtnBmWhDel->SetEnabled(false);
  SptBtnBmWhApp->SetEnabled(false);
  SptBtnBmWhSave->SetEnabled(true);
  if (DBGridEx1->CanFocus()) DBGridEx1->SetFocus();
}

void TFrmBMWH::SptBtnBmWhSaveClick(TObject*) {
  // A row the table refuses (a code already there) raises before the
  // buttons change, so the operator can correct it and save again.
  SaveDepartments();
  SptBtnBmWhDel->SetEnabled(true);
  SptBtnBmWhApp->SetEnabled(true);
  SptBtnBmWhSave->SetEnabled(false);
}

void TFrmBMWH::SptBtnBmWhDelClick(TObject*) { payroll::DeleteDepartment(FrmData->TblGzk, FrmData->TblBm); }

void TFrmBMWH::BtnCloseClick(TObject* sender) {
  SptBtnBmWhSaveClick(sender);
  Close();
}

void TFrmBMWH::FormClose(TObject*, TCloseAction&) {
  SaveDepartments();
  Application->ProcessMessages();
}

// --- categories ----------------------------------------------------------------

TFrmZGQKWH::TFrmZGQKWH(TComponent* owner) : TFrmPopWin(owner) {
  InitForm("TFrmZGQKWH");
  DBGrid2 = Part<TDBGrid>(this, "DBGrid2");
  SpeedButton3 = Part<TSpeedButton>(this, "SpeedButton3");
  SpeedButton4 = Part<TSpeedButton>(this, "SpeedButton4");
  SpeedButton1 = Part<TSpeedButton>(this, "SpeedButton1");
  if (FrmData) {
    EnsureOpen(FrmData->TblZgqK);
    DBGrid2->SetDataSource(FrmData->DsZgqK);
    PostOnClose(this, FrmData->TblZgqK);
  }
}

void TFrmZGQKWH::SpeedButton3Click(TObject*) {
  EnsureOpen(FrmData->TblZgqK);
  FrmData->TblZgqK->Insert();
  if (DBGrid2->CanFocus()) DBGrid2->SetFocus();
}

void TFrmZGQKWH::SpeedButton4Click(TObject*) { payroll::DeleteCategory(FrmData->TblGzk, FrmData->TblZgqK); }

void TFrmZGQKWH::SpeedButton1Click(TObject*) { Close(); }

// --- menu commands -------------------------------------------------------------

namespace {

template <class Dialog>
void ShowOnce() {
  std::unique_ptr<Dialog> dialog(new Dialog(nullptr));
  dialog->ShowModal();
}

}  // namespace

void TfrmMain::N28Click(TObject*) { ShowOnce<TFrmYHWH>(); }
void TfrmMain::N30Click(TObject*) { ShowOnce<TFrmZGQKWH>(); }
void TfrmMain::N31Click(TObject*) { ShowOnce<TFrmBMWH>(); }

PAYROLL_PUBLISH(TFrmYHWH) {
  p.Method("SpeedButton5Click", &TFrmYHWH::SpeedButton5Click);
  p.Method("SpeedButton6Click", &TFrmYHWH::SpeedButton6Click);
  p.Method("SpeedButton1Click", &TFrmYHWH::SpeedButton1Click);
}

PAYROLL_PUBLISH(TFrmBMWH) {
  p.Method("SptBtnBmWhAppClick", &TFrmBMWH::SptBtnBmWhAppClick);
  p.Method("SptBtnBmWhSaveClick", &TFrmBMWH::SptBtnBmWhSaveClick);
  p.Method("SptBtnBmWhDelClick", &TFrmBMWH::SptBtnBmWhDelClick);
  p.Method("BtnCloseClick", &TFrmBMWH::BtnCloseClick);
  p.Method("FormClose", &TFrmBMWH::FormClose);
}

PAYROLL_PUBLISH(TFrmZGQKWH) {
  p.Method("SpeedButton3Click", &TFrmZGQKWH::SpeedButton3Click);
  p.Method("SpeedButton4Click", &TFrmZGQKWH::SpeedButton4Click);
  p.Method("SpeedButton1Click", &TFrmZGQKWH::SpeedButton1Click);
}
