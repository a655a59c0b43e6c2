// TfrmMain: the main window's start-up, login, close question and
// keyboard rules.  See FrmMain.h.
#include "app/FrmMain.h"

#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/GzSettings.h"
#include "app/Register.h"
#include "decor/SbStatusBar.h"
#include "grid/DBGridEx.h"
#include "platform/core/Files.h"
#include "platform/core/IniFiles.h"
#include "platform/data/Fields.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/VirtualKeys.h"

TfrmMain* frmMain = nullptr;

namespace {

template <class T>
T* Find(TComponent* owner, const char* name) {
  return dynamic_cast<T*>(owner->FindComponent(name));
}

void Pump() { Application->ProcessMessages(); }

}  // namespace

TfrmMain::TfrmMain(TComponent* owner) : TForm(owner) {
  frmMain = this;
  InitForm("TfrmMain");
}

TfrmMain::~TfrmMain() {
  if (frmMain == this) frmMain = nullptr;
}

void TfrmMain::FormCreate(TObject*) {
  Notebook1 = Find<TNotebook>(this, "Notebook1");
  PanelBmXz = Find<TPanel>(this, "PanelBmXz");
  PnlTitle = Find<TPanel>(this, "PnlTitle");
  PnlTools = Find<TPanel>(this, "PnlTools");
  PanelZgKq = Find<TPanel>(this, "PanelZgKq");
  PanelGzXg = Find<TPanel>(this, "PanelGzXg");
  PanelGwjx = Find<TPanel>(this, "PanelGwjx");
  LblTop = Find<TLabel>(this, "LblTop");
  LblGzHzbBm = Find<TLabel>(this, "LblGzHzbBm");
  TreeViewBm = Find<TTreeView>(this, "TreeViewBm");
  CmBBoxJgZd = Find<TComboBox>(this, "CmBBoxJgZd");
  CmbBoxZGQK1 = Find<TComboBox>(this, "CmbBoxZGQK1");
  CmbBoxNbDdMbBm = Find<TComboBox>(this, "CmbBoxNbDdMbBm");
  DbCmbBoxZgQk = Find<TDBComboBox>(this, "DbCmbBoxZgQk");
  sbStatusBar = Find<TsbStatusBar>(this, "sbStatusBar");

  SetCaption(payroll::kMainCaption);
  const AnsiString iniPath = ProgramFolder() + "gz.ini";
  if (!FileExists(iniPath)) {
    Application->Terminate();
    return;
  }
  {
    TIniFile ini(iniPath);
    LoadGzSettings(ini, CmBBoxJgZd ? CmBBoxJgZd->Items() : nullptr, Pump);
  }
  if (Screen->Width() <= 800) {
    SetWindowState(wsMaximized);
  } else {
    SetWindowState(wsNormal);
    SetWidth(796);
    SetHeight(578);
    SetBorderIcons(TBorderIcons{biSystemMenu});
  }
  // Top 0 wins over the designed centring, which would move the window
  // when it is first shown: centre it across and keep it at the top.
  SetPosition(poDesigned);
  SetLeft((Screen->Width() - Width()) / 2 > 0 ? (Screen->Width() - Width()) / 2 : 0);
  SetTop(0);
  LblTop->SetCaption(payroll::kTitleCaption);

  FrmData = new TFrmData(nullptr);
  FrmData->AttendancePanel = PanelZgKq;
  FrmData->AttendancePageShown = [this] { return Notebook1 && Notebook1->ActivePage() == "TbsZgKq"; };
  DwMc = FrmData->TblRegDw->FieldByName("DwName")->AsString();

  CreatUserPanel(payroll::kPageAttendance, PanelZgKq);
  CreatUserPanel(payroll::kPageWageEdit, PanelGzXg);
  CreatUserPanel(payroll::kPagePerformance, PanelGwjx);
  for (const char* name : {"DBEditZGBH", "DBEdit4"})
    if (auto* edit = Find<TDBEdit>(this, name)) {
      edit->SetDataSource(FrmData->DsGzk);
      edit->SetDataField("ZGBH");
    }

  FrmData->TblJsGsk->Open();
  FrmData->TblBm->Open();
  CreatBmTreeview(TreeViewBm);
  Pump();

  TUdbTable* zgqk = FrmData->TblZgqK;
  zgqk->Open();
  zgqk->First();
  DbCmbBoxZgQk->Items()->Clear();
  CmbBoxZGQK1->Items()->Clear();
  for (; !zgqk->Eof(); zgqk->Next()) {
    const AnsiString category = zgqk->FieldByName("Zgqk")->AsString();
    DbCmbBoxZgQk->Items()->Add(category);
    CmbBoxZGQK1->Items()->Add(category);
  }
  Pump();

  FrmData->TblGzk->Open();
  FirstShow = "yes";
  LblGzHzbBm->SetCaption(DwMc);
  InstallPages();
  started_ = true;
}

void TfrmMain::FormActivate(TObject*) {
  CalcMode = 0;
  if (FirstShow != "yes") return;
  // Set first: the login's own activation must not run it twice.
  FirstShow = "no";
  SetCaption(payroll::kMainCaption);
  sbStatusBar->Panels()->GetItem(2)->SetText(DwMc);
  Notebook1->SetActivePage("tbsStrat");
  PanelBmXz->SetVisible(false);
  PnlTitle->SetVisible(false);
  PnlTools->SetVisible(false);
  FrmLogin->ShowModal();
  sbStatusBar->Panels()->GetItem(4)->SetText(FrmLogin->LoginUserName);
}

void TfrmMain::FormClose(TObject*, TCloseAction& action) {
  if (Application->MessageBox(payroll::kExitQuestion, "提示", MB_YESNO | MB_ICONINFORMATION) == IDNO) {
    action = caNone;
    return;
  }
  delete FrmData;
  FrmData = nullptr;
  action = caFree;
}

void TfrmMain::MenuExitClick(TObject*) { Close(); }

void TfrmMain::FormKeyDown(TObject*, std::uint16_t& key, TShiftState) {
  TWinControl* focused = ActiveControl();
  if (dynamic_cast<TDBGrid*>(focused) || dynamic_cast<TCustomDBGridEx*>(focused)) return;
  if (focused && typeid(*focused) == typeid(TDBLookupComboBox)) return;
  if (key == VK_UP) SelectNext(focused, false, true);
  if (key == VK_DOWN) SelectNext(focused, true, true);
}

void TfrmMain::FormKeyPress(TObject*, char& key) {
  TWinControl* focused = ActiveControl();
  if (dynamic_cast<TDBLookupComboBox*>(focused) || key != '\r') return;
  if (auto* grid = dynamic_cast<TDBGrid*>(focused)) {
    const int count = grid->Columns()->Count();
    grid->SetSelectedIndex(count > 0 && grid->SelectedIndex() + 1 < count ? grid->SelectedIndex() + 1 : 0);
    return;
  }
  if (auto* grid = dynamic_cast<TCustomDBGridEx*>(focused)) {
    const int count = grid->Columns()->Count();
    grid->SetSelectedIndex(count > 0 && grid->SelectedIndex() + 1 < count ? grid->SelectedIndex() + 1 : 0);
    return;
  }
  key = 0;
  SelectNext(focused, true, true);
}

void TfrmMain::DBEditZGBHChange(TObject*) {
  if (!FrmData) return;
  payroll::GateAttendanceByCode(FrmData->TblGzk, FrmData->TblZgqK, PanelZgKq);
}

AnsiString TfrmMain::getFldNameByDesc(const AnsiString& desc) const { return ::getFldNameByDesc(desc); }

void TfrmMain::CreatUserPanel(const AnsiString& page, TPanel* panel) {
  // The layouts come from ".\gz.ini": the file of that name in the
  // current directory.
  ::CreatUserPanel(".\\gz.ini", page, panel, Application, FrmData->DsGzk, FrmData,
                   [this](TObject* sender) { GzCalc(sender); }, Pump);
}

void TfrmMain::CreatBmTreeview(TTreeView* tree) {
  // In code order; the transfer targets are the tree's leaves.
  FrmData->TblBm->SetIndexFieldNames("bmbh");
  payroll::BuildDeptTree(FrmData->TblBm, tree, BmNames, BmCodes, CmbBoxNbDdMbBm ? CmbBoxNbDdMbBm->Items() : nullptr);
}

PAYROLL_PUBLISH(TfrmMain) {
  p.Method("FormCreate", &TfrmMain::FormCreate);
  p.Method("FormActivate", &TfrmMain::FormActivate);
  p.Method("FormClose", &TfrmMain::FormClose);
  p.Method("FormKeyDown", &TfrmMain::FormKeyDown);
  p.Method("FormKeyPress", &TfrmMain::FormKeyPress);
  p.Method("MenuExitClick", &TfrmMain::MenuExitClick);
  p.Method("DBEditZGBHChange", &TfrmMain::DBEditZGBHChange);
}
