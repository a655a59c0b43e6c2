// The main menu's shared handler, the page commands and the controls of
// the pages they adjust.  See MainMenuPages.h.
#include "app/MainMenuPages.h"

#include <cstring>
#include <tuple>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/FormulaEditor.h"
#include "app/BankCards.h"
#include "app/FrmData.h"
#include "app/FrmMain.h"
#include "app/Maintenance.h"
#include "app/PagePlacing.h"
#include "app/StartupForms.h"
#include "decor/SbStatusBar.h"
#include "platform/data/DataSource.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"
#include "sql/UdbQuery.h"

namespace payroll {

const char* const MenuCaptions[kMenuEntries] = {
    "职工新增", "职工减少", "职工退休", "内部调动", "职工考勤", "工资修改", "绩效考核",
    "工资入卡", "奖金入卡", "绩效工资入卡", "工资导出", "奖金导出", "绩效工资导出", "奖金修改",
    "计算公式维护", "密码维护", "职工工资单", "奖金发放表", "绩效工资单", "单位工资汇总表", "部门工资汇总表",
    "部门绩效工资汇总表", "单位绩效工资汇总表", "部门奖金汇总表", "职工退休补贴表", "年薪人员工资单",
    "临时工工资单", "临时工工资汇总表"};
const char* const MenuPages[kMenuEntries] = {
    "TbsZgXz", "TbsZgJs", "TbsZgTx", "TbsNbDd", "TbsZgKq", "TbsGzXg", "TbsGwjx", "TbsGzDc", "TbsGzDc", "TbsGzDc",
    "TbsGzDc", "TbsGzDc", "TbsGzDc", "TbsJJ",   "TbsJsGs", "TbsMmXg", "TbsBbDy", "TbsBbDy", "TbsBbDy", "TbsBbDy",
    "TbsBbDy", "TbsBbDy", "TbsBbDy", "TbsBbDy", "TbsBbDy", "TbsBbDy", "TbsBbDy", "TbsBbDy"};
const char* const ReportNames[kReportEntries] = {
    "职工工资单",   "单位工资汇总表", "部门工资汇总表", "年薪人员工资单", "绩效工资单",  "单位绩效工资汇总表",
    "部门绩效工资汇总表", "职工退休补贴表", "临时工工资单", "临时工工资汇总表", "奖金发放表"};

const char* MenuPageOf(const char* caption) {
  for (int i = 0; i < kMenuEntries; ++i)
    if (std::strcmp(MenuCaptions[i], caption) == 0) return MenuPages[i];
  return nullptr;
}

}  // namespace payroll

namespace {

using payroll::PageOf;
using payroll::Place;
using payroll::PlaceButton;

bool IsOneOf(const AnsiString& c, std::initializer_list<const char*> list) {
  for (const char* s : list)
    if (c == s) return true;
  return false;
}

void SelectText(TComboBox* box, const AnsiString& text) {
  const int i = box->Items()->IndexOf(text);
  box->SetItemIndex(i);
  if (i < 0) box->SetText(text);
}

}  // namespace

void TfrmMain::InstallPages() {
  // Menu items with handlers of their own; every other item of the table
  // runs the shared handler.
  const std::pair<const char*, void (TfrmMain::*)(TObject*)> own[] = {
      {"N14", &TfrmMain::N14Click}, {"N58", &TfrmMain::N58Click}, {"N60", &TfrmMain::N60Click},
      {"N21", &TfrmMain::N21Click}, {"N37", &TfrmMain::N37Click},
      {"N39", &TfrmMain::N39Click}, {"N34", &TfrmMain::N34Click},
      {"N47", &TfrmMain::N47Click},
      {"N28", &TfrmMain::N28Click}, {"N30", &TfrmMain::N30Click}, {"N31", &TfrmMain::N31Click}};
  for (const auto& [name, handler] : own)
    if (auto* item = dynamic_cast<TMenuItem*>(FindComponent(name)))
      item->OnClick = [this, h = handler](TObject* s) { (this->*h)(s); };
  for (const char* name : {"N10", "N11", "N12", "N13", "N15", "N16", "N17", "N18", "N19", "N49", "N51", "N52",
                           "N53", "N40", "N23", "N22", "N24", "N25", "N36", "N26", "N55", "N27", "N41", "N54",
                           "N43", "N45", "N42", "N57", "N59", "N29", "N32"})
    if (auto* item = dynamic_cast<TMenuItem*>(FindComponent(name)))
      item->OnClick = [this](TObject* s) { MenuItem(s); };

  SpeedButton7 = PlaceButton(this, PnlTitle, "SpeedButton7", "返回", 700, 6, [this](TObject* s) { SpeedButton7Click(s); });
  SptBtnRptExcel = PlaceButton(this, PnlTools, "SptBtnRptExcel", "输出EXCEL文件", 500, 4, {});
  SptBtnRptExcel->SetWidth(100);  // room for the whole caption
  SptBtnRptExcel->SetVisible(false);
  DBNav = Place<TDBNavigator>(this, PnlTools, "DBNav", 8, 4, 240, 24);
  DBNav->SetDataSource(FrmData->DsGzk);
  DBNav->SetVisible(false);

  if (TWinControl* jj = PageOf(Notebook1, "TbsJJ")) {
    Panel2 = Place<TPanel>(this, jj, "Panel2", 8, 8, 590, 80);
    Lbljjze = Place<TLabel>(this, Panel2, "Lbljjze", 8, 52, 400, 16);
    Lbljjze->SetCaption("");
    SpdBtnCjjZe = PlaceButton(this, Panel2, "SpdBtnCjjZe", "查奖金总额", 8, 8, [this](TObject* s) { SpdBtnCjjZeClick(s); });
    SpdBtnModify = PlaceButton(this, Panel2, "SpdBtnModify", "修改", 96, 8, [this](TObject* s) { SpdBtnModifyClick(s); });
    SpdBtnYes = PlaceButton(this, Panel2, "SpdBtnYes", "确认", 184, 8, [this](TObject* s) { SpdBtnYesClick(s); });
    SpdBtnYes->SetEnabled(false);
    LblXgjj = Place<TLabel>(this, Panel2, "LblXgjj", 280, 12, 60, 16);
    LblXgjj->SetCaption("奖金:");
    LblXgjj->SetVisible(false);
    DbEdtPrix = Place<TDBEdit>(this, Panel2, "DbEdtPrix", 340, 8, 100, 21);
    DbEdtPrix->SetDataSource(FrmData->DsGzk);
    DbEdtPrix->SetDataField("prix");
    DbEdtPrix->SetVisible(false);
  }
  if (TWinControl* dc = PageOf(Notebook1, "TbsGzDc")) {
    ComboBoxGZJJ = Place<TComboBox>(this, dc, "ComboBoxGZJJ", 84, 40, 120, 21);
    ComboBoxGZJJ->Items()->Clear();
    for (const char* kind : {"工资", "奖金", "绩效工资"}) ComboBoxGZJJ->Items()->Add(kind);
    ComboBoxGZJJ->OnChange = [this](TObject* s) { ComboBoxGZJJChange(s); };
    SptBtnSelPath = PlaceButton(this, dc, "SptBtnSelPath", "选择路径", 8, 72, [this](TObject* s) { SptBtnSelPathClick(s); });
    LblSelDir = Place<TLabel>(this, dc, "LblSelDir", 96, 76, 400, 16);
    SptBtnGzdc = PlaceButton(this, dc, "SptBtnGzdc", "入卡文件生成", 8, 104, [this](TObject* s) { SptBtnGzdcClick(s); });
    PrgBarGzdc = Place<TProgressBar>(this, dc, "PrgBarGzdc", 8, 140, 400, 18);
    PrgBarGzdc->SetVisible(false);
  }
  if (TWinControl* xz = PageOf(Notebook1, "TbsZgXz")) {
    LblZgBh = Place<TLabel>(this, xz, "LblZgBh", 96, 12, 120, 16);
    LblZgBh->SetCaption("");
  }
  TreeViewBm->OnClick = [this](TObject* s) { TreeViewBmClick(s); };
  if (TWinControl* bb = PageOf(Notebook1, "TbsBbDy")) {
    ComboBoxReport = Place<TComboBox>(this, bb, "ComboBoxReport", 84, 40, 200, 21);
    ComboBoxReport->Items()->Clear();
    for (const char* r : payroll::ReportNames) ComboBoxReport->Items()->Add(r);
    ComboBoxReport->OnChange = [this](TObject* s) { ComboBoxReportChange(s); };
  }
  if (TWinControl* mm = PageOf(Notebook1, "TbsMmXg")) {
    EdtYHM = Place<TEdit>(this, mm, "EdtYHM", 84, 12, 120, 21);
    int top = 40;
    for (auto [edit, name, caption] : {std::tuple{&EditOldPwd, "EditOldPwd", "原密码："},
                                       std::tuple{&EditNewPwd, "EditNewPwd", "新密码："},
                                       std::tuple{&EditNowPwd, "EditNowPwd", "确认密码："}}) {
      auto* label = Place<TLabel>(this, mm, (AnsiString("Lbl") + name).c_str(), 8, top + 4, 72, 16);
      label->SetCaption(caption);
      *edit = Place<TEdit>(this, mm, name, 84, top, 120, 21);
      (*edit)->SetPasswordChar('*');
      top += 28;
    }
    BitBtn1 = Place<TButton>(this, mm, "BitBtn1", 84, top + 4, 80, 26);
    BitBtn1->SetCaption("确定");
    BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };
  }
  if (TWinControl* js = PageOf(Notebook1, "TbsJsGs")) {
    if (auto* label = FindComponent("LblJgZd")) delete label;
    FrameJSGs1 = new TFrameJSGs(this, CmBBoxJgZd, FrmData->TblJsGsk, FrmData->DsJsGsk);
    FrameJSGs1->SetName("FrameJSGs1");
    FrameJSGs1->SetParent(js);
    FrameJSGs1->SetAlign(alClient);
    FrmData->DsJsGsk->OnDataChange = [this](TObject*, TField*) {
      if (FrameJSGs1) FrameJSGs1->DsJsGskDataChange();
    };
  }
  UdbQuery1 = new TUdbQuery(this);
  UdbQuery1->SetName("UdbQuery1");
  UdbQuery1->SetDataBase(FrmData->UdbDataBase1);
  InstallExportCommands();
  InstallReports();
  InstallRegisterPages();
}

void TfrmMain::MenuItem(TObject* sender) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  if (!item) return;
  const AnsiString c = item->Caption();
  PanelBmXz->SetVisible(true);
  PnlTitle->SetVisible(true);
  PnlTools->SetVisible(true);
  TreeViewBm->SetEnabled(true);
  SptBtnRptExcel->SetVisible(false);
  DBNav->SetVisible(false);
  if (const char* page = payroll::MenuPageOf(c.c_str())) Notebook1->SetActivePage(page);
  if (c == "职工新增") TreeViewBm->SetEnabled(false);
  if (IsOneOf(c, {"职工减少", "职工退休", "内部调动", "职工考勤", "工资修改", "绩效考核"})) DBNav->SetVisible(true);
  for (const char* word : {"入卡", "导出"}) {
    const size_t at = c.find(word);
    if (at != std::string::npos) {
      SelectText(ComboBoxGZJJ, c.substr(0, at));
      break;
    }
  }
  if (c == "奖金修改") {
    Panel2->SetVisible(true);
    DBNav->SetVisible(true);
    Lbljjze->SetCaption("");
  }
  if (c == "计算公式维护") {
    PnlTitle->SetVisible(true);
    PanelBmXz->SetVisible(false);
    FrameJSGs1->DBGridJsGs->SetDataSource(FrmData->DsJsGsk);
    FrameJSGs1->CmbBoxGnMc->SetItemIndex(0);
    FrameJSGs1->FilterFunction(FrameJSGs1->CmbBoxGnMc->Items()->Strings(0));
  }
  if (c == "密码维护") {
    PnlTitle->SetVisible(true);
    PanelBmXz->SetVisible(false);
    EdtYHM->SetText(sbStatusBar->Panels()->GetItem(4)->Text());
  }
  const bool reportPage = Notebook1->ActivePage() == "TbsBbDy";
  if (reportPage) {
    PanelBmXz->SetVisible(true);
    PnlTitle->SetVisible(true);
    PnlTools->SetVisible(true);
    SelectText(ComboBoxReport, c);
  }
  if (IsOneOf(c, {"单位工资汇总表", "部门工资汇总表", "单位绩效工资汇总表", "部门绩效工资汇总表"}))
    SptBtnRptExcel->SetVisible(true);
  LblTop->SetCaption(reportPage ? AnsiString("报表管理") : c);
}

void TfrmMain::SpeedButton7Click(TObject*) {
  PnlTitle->SetVisible(false);
  PnlTools->SetVisible(false);
  PanelBmXz->SetVisible(false);
  Notebook1->SetActivePage("tbsStrat");
  if (!FrameJSGs1) return;
  FrameJSGs1->SptBtnBcGs->SetEnabled(false);
  FrameJSGs1->SptBtnTjGs->SetEnabled(true);
  FrameJSGs1->PanelGsGrid->SetEnabled(true);
  FrameJSGs1->CmbBoxGnMc->SetItemIndex(0);
  FrameJSGs1->SptBtnBcGs->SetCaption(payroll::kSaveIdle);
}

void TfrmMain::ComboBoxGZJJChange(TObject*) {
  const AnsiString kind = ComboBoxGZJJ->Text();
  // The kinds are Chinese: letter case does not apply to them.
  if (kind == "工资") LblTop->SetCaption("工资入卡");
  if (kind == "奖金") LblTop->SetCaption("奖金入卡");
}

void TfrmMain::ComboBoxReportChange(TObject*) {
  const int i = ComboBoxReport->ItemIndex();
  SptBtnRptExcel->SetVisible(i == 1 || i == 2 || i == 5 || i == 6);
}

void TfrmMain::SpdBtnModifyClick(TObject*) {
  Lbljjze->SetCaption("");
  DbEdtPrix->SetVisible(true);
  LblXgjj->SetVisible(true);
  SpdBtnYes->SetEnabled(true);
  if (DbEdtPrix->CanFocus()) DbEdtPrix->SetFocus();
  SpdBtnModify->SetEnabled(false);
}

void TfrmMain::SpdBtnYesClick(TObject*) {
  DbEdtPrix->SetVisible(false);
  LblXgjj->SetVisible(false);
  SpdBtnYes->SetEnabled(false);
  SpdBtnModify->SetEnabled(true);
}

void TfrmMain::SptBtnSelPathClick(TObject*) {
  AnsiString dir;
  if (SelectDirectory("选择路径", "", dir)) LblSelDir->SetCaption(payroll::ShownFolder(dir));
}

void TfrmMain::N37Click(TObject*) {
  payroll::InstallAboutBox(FrmAbout);
  if (FrmAbout) FrmAbout->ShowModal();
}
