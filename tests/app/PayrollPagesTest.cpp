// The main window's calculation commands, menu pages and formula editor
// over the test database: the calculation of the shown page, the
// initialisation loops with their questions, messages and error rules,
// the bonus commands, the shared menu handler's page adjustments and the
// formula editor's add, save, trial, reorder, delete, numbering, save-all
// and order check.
#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>

#include <cstdlib>

#include <memory>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbTable.h"
#include "app/FormulaEditor.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/GzCalcCommands.h"
#include "app/GzSettings.h"
#include "app/MainMenuPages.h"
#include "app/PayrollProgram.h"
#include "app/StartupForms.h"
#include "decor/SbStatusBar.h"
#include "platform/core/Files.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"

namespace {

class Pages : public TMainFormTest {
 protected:
  void SetUp() override {
    TMainFormTest::SetUp();
    if (HasFatalFailure()) return;
    gzk = FrmData->TblGzk;
    js = FrmData->TblJsGsk;
    frame = frmMain->FrameJSGs1;
    ASSERT_NE(frame, nullptr);
  }
  double Pay(const char* code, const char* field) {
    TBookmarkKeeper back(gzk);
    EXPECT_TRUE(gzk->Locate("ZGBH", code, {}));
    return gzk->FieldByName(field)->AsFloat();
  }
  void AddFormula(int id, const char* gn, const char* rlt, const char* gs, const char* tj = " ",
                  const char* rdesc = nullptr, const char* sdesc = nullptr) {
    js->SetFiltered(false);
    js->Append();
    js->FieldByName("ID")->SetAsInteger(id);
    js->FieldByName("GNNAME")->SetAsString(gn);
    js->FieldByName("GSRLT")->SetAsString(rlt);
    js->FieldByName("GSSTR")->SetAsString(gs);
    js->FieldByName("TJSTR")->SetAsString(tj);
    js->FieldByName("GSRLTDESC")->SetAsString(rdesc ? rdesc : rlt);
    js->FieldByName("GSSTRDESC")->SetAsString(sdesc ? sdesc : gs);
    js->FieldByName("TJDESC")->SetAsString(tj);
    js->Post();
  }
  std::vector<int> IdsInView() {
    std::vector<int> ids;
    TControlsDisabler quiet(js);
    for (js->First(); !js->Eof(); js->Next()) ids.push_back(js->FieldByName("ID")->AsInteger());
    return ids;
  }

  TUdbTable *gzk = nullptr, *js = nullptr;
  TFrameJSGs* frame = nullptr;
};

// --- calculation commands ------------------------------------------------------

TEST_F(Pages, LeavingAPayBoxRunsTheShownPagesFunction) {
  frmMain->Notebook1->SetActivePage("TbsZgKq");
  gzk->First();
  // The generated pay-item boxes' exit event runs the calculation.
  TDBEdit* box = nullptr;
  for (int i = 0; i < frmMain->PanelZgKq->ControlCount() && !box; ++i)
    box = dynamic_cast<TDBEdit*>(frmMain->PanelZgKq->Controls(i));
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(box->OnExit);
  box->OnExit(box);
  gzk->Post();
  EXPECT_DOUBLE_EQ(Pay("01010001", "F02"), 250);
  EXPECT_DOUBLE_EQ(Pay("01010001", "F03"), 1250);
  EXPECT_FALSE(js->Filtered());
}

TEST_F(Pages, MonthInitialisationAsksRunsEveryRowAndReports) {
  AddFormula(1, "初始化", "F01", "F01*2");
  dialogs.Answers = {IDNO};
  frmMain->N14Click(nullptr);
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, "\r工资初始化将对所有考勤数据清零，确认否？");
  EXPECT_EQ(dialogs.Boxes[0].Icon, diWarning);
  EXPECT_DOUBLE_EQ(Pay("01010001", "F01"), 1000);

  dialogs.Answers = {IDYES};
  frmMain->N14Click(nullptr);
  ASSERT_EQ(dialogs.Boxes.size(), 2u + 1u);
  EXPECT_EQ(dialogs.Boxes.back().Text, "\r工资考勤月初始化工作完成！");
  EXPECT_EQ(frmMain->CalcMode, 0);
  EXPECT_DOUBLE_EQ(Pay("01010001", "F01"), 2000);
  EXPECT_DOUBLE_EQ(Pay("01010002", "F01"), 2400);
  EXPECT_DOUBLE_EQ(Pay("01990001", "F01"), 1800);
  EXPECT_EQ(gzk->FieldByName("ZGBH")->AsString(), "01010001");
}

TEST_F(Pages, YearAndPerformanceInitialisationUseTheirFunctions) {
  AddFormula(1, "年度初始化", "F05", "7");
  AddFormula(2, "岗位绩效", "F06", "8");
  dialogs.Answers = {IDYES};
  frmMain->N58Click(nullptr);
  EXPECT_EQ(dialogs.Boxes[0].Text, "\r系统将进行工资年度初始化，确认否？\r注意：初始化后将不可以恢复！");
  EXPECT_EQ(dialogs.Boxes.back().Text, "\r工资年度初始化完成！");
  EXPECT_DOUBLE_EQ(Pay("01990001", "F05"), 7);
  EXPECT_DOUBLE_EQ(Pay("01990001", "F06"), 0);
  // Performance: the function of the page shown when chosen.
  frmMain->Notebook1->SetActivePage("TbsGwjx");
  dialogs.Answers = {IDYES};
  frmMain->N60Click(nullptr);
  EXPECT_EQ(dialogs.Boxes.back().Text, "\r绩效初始化工作完成！");
  EXPECT_DOUBLE_EQ(Pay("01010002", "F06"), 8);
}

TEST_F(Pages, AFormulaErrorEndsOnlyThatRowAnExceptionStopsTheWalkNamingTheEmployee) {
  AddFormula(1, "初始化", "F05", "F01*-1");
  dialogs.Answers = {IDYES};
  frmMain->N14Click(nullptr);
  // Question, one error per employee, closing message.
  ASSERT_EQ(dialogs.Boxes.size(), 5u);
  EXPECT_EQ(dialogs.Boxes[3].Text.substr(0, 14), "计算公式有错！");

  js->SetFiltered(false);
  ASSERT_TRUE(js->Locate("GNNAME", "初始化", {}));
  js->Edit();
  js->FieldByName("GSSTR")->SetAsString("F_nosuchfield+1");
  js->Post();
  dialogs.Boxes.clear();
  dialogs.Answers = {IDYES};
  frmMain->N14Click(nullptr);
  ASSERT_EQ(dialogs.Boxes.size(), 3u);
  EXPECT_NE(dialogs.Boxes[1].Text.find("(01010001)"), std::string::npos) << dialogs.Boxes[1].Text;
  EXPECT_EQ(dialogs.Boxes[2].Text, "\r工资考勤月初始化工作完成！");
  EXPECT_EQ(frmMain->CalcMode, 0);
}

TEST_F(Pages, AWriteBackRefusedInTheLoopStopsItNamingTheEmployeeAndKeepsTheOldValues) {
  AddFormula(1, "初始化", "F05", "F01+1");
  // Another operator holds the second employee's record.
  TUdbTable* held = db->OpenTable("gzk", "TblGzkIndex1");
  ASSERT_TRUE(held->Locate("ZGBH", "01010002", {}));
  held->Edit();
  FrmData->UdbDataBase1->SetLockRetryMaximum(1);
  FrmData->UdbDataBase1->SetLockRetryInterval(1);
  dialogs.Answers = {IDYES};
  frmMain->N14Click(nullptr);
  ASSERT_EQ(dialogs.Boxes.size(), 3u);
  EXPECT_NE(dialogs.Boxes[1].Text.find("职工 01010002 的计算结果未能保存"), std::string::npos) << dialogs.Boxes[1].Text;
  EXPECT_NE(dialogs.Boxes[1].Text.find("(01010002)"), std::string::npos);
  EXPECT_EQ(dialogs.Boxes[2].Text, "\r工资考勤月初始化工作完成！");
  held->Cancel();
  gzk->Refresh();
  EXPECT_DOUBLE_EQ(Pay("01010001", "F05"), 1001);
  EXPECT_DOUBLE_EQ(Pay("01010002", "F05"), 0);
  EXPECT_DOUBLE_EQ(Pay("01990001", "F05"), 0);  // the walk stopped
}

TEST_F(Pages, BonusInitialisationAndTotal) {
  TfrmJJCsh dialog(nullptr);
  gzk->Last();
  dialog.Edtgjj->SetText("120.5");
  dialog.SpdBtnOkClick(dialog.SpdBtnOk);
  EXPECT_EQ(dialogs.Boxes.back().Text, "\r奖金初始化已完成！");
  EXPECT_EQ(gzk->FieldByName("ZGBH")->AsString(), "01990001");
  EXPECT_DOUBLE_EQ(Pay("01010001", "prix"), 120.5);

  // Only a number is taken, and as a value: text that would extend the
  // statement is refused with a message and changes nothing.
  const double f01 = Pay("01010001", "F01");
  for (const char* typed : {"abc", "100, F01=0", "100 where zgbh='01010001'", "", "1e999"}) {
    SCOPED_TRACE(typed);
    dialogs.Boxes.clear();
    dialog.Edtgjj->SetText(typed);
    dialog.SpdBtnOkClick(dialog.SpdBtnOk);
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes.back().Text, payroll::kBonusAmountNotNumber);
    EXPECT_DOUBLE_EQ(Pay("01010002", "prix"), 120.5);
    EXPECT_DOUBLE_EQ(Pay("01010001", "F01"), f01);
  }
  dialog.Edtgjj->SetText(" 1.5e2 ");
  dialog.SpdBtnOkClick(dialog.SpdBtnOk);
  EXPECT_DOUBLE_EQ(Pay("01010002", "prix"), 150);
  dialog.Edtgjj->SetText("120.5");
  dialog.SpdBtnOkClick(dialog.SpdBtnOk);

  frmMain->sbStatusBar->Panels()->GetItem(2)->SetText("测试单位");
  frmMain->SpdBtnCjjZeClick(nullptr);
  EXPECT_EQ(frmMain->Lbljjze->Caption(), "测试单位奖金总额为：361.5元");
}

// --- menu ------------------------------------------------------------------------

TEST_F(Pages, EveryTableCaptionHasAPageAndItsMenuItemsRunTheSharedHandler) {
  for (int i = 0; i < payroll::kMenuEntries; ++i) {
    EXPECT_NO_THROW(frmMain->Notebook1->SetActivePage(payroll::MenuPages[i])) << payroll::MenuPages[i];
    EXPECT_EQ(frmMain->Notebook1->ActivePage(), payroll::MenuPages[i]);
  }
  EXPECT_EQ(payroll::MenuPageOf("奖金入卡"), std::string("TbsGzDc"));
  EXPECT_EQ(payroll::MenuPageOf("汇总计算"), nullptr);
  struct Case {
    const char* item;
    const char* page;
    const char* title;
  } cases[] = {{"N10", "TbsZgXz", "职工新增"}, {"N15", "TbsZgKq", "职工考勤"}, {"N22", "TbsGzDc", "奖金入卡"},
               {"N53", "TbsGzDc", "绩效工资导出"}, {"N40", "TbsJJ", "奖金修改"}, {"N25", "TbsBbDy", "报表管理"},
               {"N57", "TbsBbDy", "报表管理"}, {"N32", "TbsJsGs", "计算公式维护"}, {"N29", "TbsMmXg", "密码维护"}};
  for (const Case& c : cases) {
    Menu(c.item);
    EXPECT_EQ(frmMain->Notebook1->ActivePage(), c.page) << c.item;
    EXPECT_EQ(frmMain->LblTop->Caption(), c.title) << c.item;
  }
}

TEST_F(Pages, SharedHandlerAdjustsPanelsListsAndButtons) {
  Menu("N10");  // 职工新增
  EXPECT_FALSE(frmMain->TreeViewBm->Enabled());
  EXPECT_TRUE(frmMain->PanelBmXz->Visible());
  EXPECT_FALSE(frmMain->DBNav->Visible());
  Menu("N11");  // 职工减少
  EXPECT_TRUE(frmMain->TreeViewBm->Enabled());
  EXPECT_TRUE(frmMain->DBNav->Visible());
  Menu("N22");  // 奖金入卡
  EXPECT_EQ(frmMain->ComboBoxGZJJ->Text(), "奖金");
  EXPECT_FALSE(frmMain->DBNav->Visible());
  Menu("N53");  // 绩效工资导出
  EXPECT_EQ(frmMain->ComboBoxGZJJ->Text(), "绩效工资");
  Menu("N40");  // 奖金修改
  EXPECT_TRUE(frmMain->Panel2->Visible());
  EXPECT_TRUE(frmMain->DBNav->Visible());
  EXPECT_EQ(frmMain->Lbljjze->Caption(), "");
  Menu("N26");  // 部门工资汇总表
  EXPECT_EQ(frmMain->ComboBoxReport->Text(), "部门工资汇总表");
  EXPECT_TRUE(frmMain->SptBtnRptExcel->Visible());
  Menu("N43");  // 职工退休补贴表
  EXPECT_EQ(frmMain->ComboBoxReport->Text(), "职工退休补贴表");
  EXPECT_FALSE(frmMain->SptBtnRptExcel->Visible());
  frmMain->sbStatusBar->Panels()->GetItem(4)->SetText("管理员");
  Menu("N29");  // 密码维护
  EXPECT_FALSE(frmMain->PanelBmXz->Visible());
  EXPECT_EQ(frmMain->EdtYHM->Text(), "管理员");
  frmMain->SpeedButton7Click(nullptr);
  EXPECT_EQ(frmMain->Notebook1->ActivePage(), "tbsStrat");
  EXPECT_FALSE(frmMain->PnlTitle->Visible());
}

TEST_F(Pages, AboutShowsTheAboutBoxModally) {
  bool shown = false;
  QTimer::singleShot(0, [&] {
    shown = FrmAbout->IsModal();
    FrmAbout->SetModalResult(mrOk);
  });
  Menu("N37");
  EXPECT_TRUE(shown);
}

TEST_F(Pages, ReportSelectorAndKindSelectorCommands) {
  for (int i = 0; i < payroll::kReportEntries; ++i) {
    frmMain->ComboBoxReport->SetItemIndex(i);
    frmMain->ComboBoxReportChange(nullptr);
    EXPECT_EQ(frmMain->SptBtnRptExcel->Visible(), i == 1 || i == 2 || i == 5 || i == 6) << i;
  }
  frmMain->ComboBoxGZJJ->SetItemIndex(1);
  frmMain->ComboBoxGZJJChange(nullptr);
  EXPECT_EQ(frmMain->LblTop->Caption(), "奖金入卡");
  frmMain->SpdBtnModifyClick(nullptr);
  EXPECT_TRUE(frmMain->DbEdtPrix->Visible());
  EXPECT_FALSE(frmMain->SpdBtnModify->Enabled());
  frmMain->SpdBtnYesClick(nullptr);
  EXPECT_FALSE(frmMain->DbEdtPrix->Visible());
  EXPECT_TRUE(frmMain->SpdBtnModify->Enabled());
}

// --- formula editor ----------------------------------------------------------------

TEST_F(Pages, FormulaPageStartsOnTheFirstFunctionFiltered) {
  AddFormula(5, "初始化", "F01", "0");
  Menu("N32");
  EXPECT_EQ(frame->CmbBoxGnMc->Text(), "初始化");
  EXPECT_TRUE(js->Filtered());
  EXPECT_EQ(js->RecordCount(), 1);
  // The row loader put the row into the editors.
  EXPECT_EQ(frame->SptBtnBcGs->Caption(), "修改保存");
  EXPECT_EQ(frame->MemoJsGs->Text().Trim(), "0");
}

TEST_F(Pages, AddingSavesDescriptionAndCodeFormsWithTheNextId) {
  Menu("N32");
  frame->CmbBoxGnMc->SetText("考勤管理");
  frame->CmbBoxGnMcChange(nullptr);
  ASSERT_EQ(IdsInView(), (std::vector<int>{1, 2}));
  frame->SptBtnTjGsClick(nullptr);
  EXPECT_EQ(frame->SptBtnBcGs->Caption(), "添加保存");
  EXPECT_FALSE(frame->PanelGsGrid->Enabled());
  frame->CmbBoxGnMc->SetText("考勤管理");
  frame->CmBBoxJgZd->SetText("应发工资");
  frame->MemoJsGs->SetText("基本工资*2");
  dialogs.Answers = {IDYES, IDOK};
  frame->SptBtnBcGsClick(frame->SptBtnBcGs);
  EXPECT_EQ(dialogs.Boxes[0].Text, "\r是否保存公式？");
  EXPECT_EQ(dialogs.Boxes[1].Text, "\r公式已保存!");
  EXPECT_TRUE(frame->PanelGsGrid->Enabled());
  ASSERT_EQ(IdsInView(), (std::vector<int>{1, 2, 3}));
  js->Last();
  EXPECT_EQ(js->FieldByName("GNNAME")->AsString(), "考勤管理");
  EXPECT_EQ(js->FieldByName("GSSTRDESC")->AsString(), "基本工资*2");
  EXPECT_EQ(js->FieldByName("GSSTR")->AsString(), "F01*2");
  EXPECT_EQ(js->FieldByName("GSRLT")->AsString(), "F03");
  EXPECT_EQ(js->FieldByName("TJDESC")->AsString(), " ");
  EXPECT_EQ(js->FieldByName("TJSTR")->AsString(), " ");
}

TEST_F(Pages, AWrongFormulaIsRefusedAndSeveralItemsAreNotTried) {
  EXPECT_TRUE(payroll::FormulaTrialFails("基本工资**2"));
  EXPECT_TRUE(payroll::FormulaTrialFails("未知字段+1"));
  EXPECT_FALSE(payroll::FormulaTrialFails("(基本工资+岗位工资)\r\n*0.5"));
  EXPECT_FALSE(payroll::FormulaTrialFails("基本工资,**"));
  EXPECT_FALSE(payroll::FormulaTrialFails("基本工资/(岗位工资-岗位工资)"));

  Menu("N32");
  frame->SptBtnTjGsClick(nullptr);
  frame->CmbBoxGnMc->SetText("初始化");
  frame->MemoJsGs->SetText("基本工资**2");
  dialogs.Answers = {IDYES, IDOK};
  frame->SptBtnBcGsClick(frame->SptBtnBcGs);
  EXPECT_EQ(dialogs.Boxes.back().Text, "\r公式中存在逻辑错误，请修改!");
  EXPECT_EQ(js->RecordCount(), 0);
}

TEST_F(Pages, MoveDeleteRenumberAndAutomaticNumbering) {
  AddFormula(3, "初始化", "F01", "1");
  AddFormula(5, "初始化", "F02", "2");
  AddFormula(9, "初始化", "F03", "3");
  Menu("N32");
  ASSERT_EQ(IdsInView(), (std::vector<int>{3, 5, 9}));
  js->First();
  frame->SptBtnUpClick(nullptr);  // the first row stays
  EXPECT_EQ(IdsInView(), (std::vector<int>{3, 5, 9}));
  js->First();
  js->Next();  // F02
  frame->SptBtnUpClick(nullptr);
  EXPECT_EQ(js->FieldByName("GSRLT")->AsString(), "F02");
  js->First();
  EXPECT_EQ(js->FieldByName("GSRLT")->AsString(), "F02");
  EXPECT_EQ(js->FieldByName("ID")->AsInteger(), 3);
  js->Last();
  frame->SptBtnDnClick(nullptr);  // the last row stays
  EXPECT_EQ(js->FieldByName("GSRLT")->AsString(), "F03");

  js->First();
  js->Next();  // F01, the second of three
  dialogs.Answers = {IDYES};
  frame->SptBtnDelClick(nullptr);
  EXPECT_EQ(dialogs.Boxes.back().Text, "\r该公式将被删除，无法恢复，\r请确认");
  EXPECT_EQ(IdsInView(), (std::vector<int>{1, 2}));
  EXPECT_TRUE(frame->SptBtnTjGs->Enabled() || frame->SptBtnBcGs->Caption() == "修改保存");

  AddFormula(40, "初始化", "F04", "4");
  Menu("N32");
  frame->SpeedButton23Click(nullptr);
  EXPECT_EQ(dialogs.Boxes.back().Text, "\r自动编号完成！\r共编号  3个");
  EXPECT_EQ(IdsInView(), (std::vector<int>{1, 2, 3}));
}

TEST_F(Pages, SaveAllDerivesEveryCodeFormAgain) {
  AddFormula(1, "初始化", "岗位工资", "基本工资*0.5");
  AddFormula(2, "初始化", "应发工资", "基本工资+岗位工资");
  Menu("N32");
  frame->spdBtnSaveAllClick(nullptr);
  EXPECT_TRUE(dialogs.Boxes.empty());
  js->First();
  EXPECT_EQ(js->FieldByName("GSRLT")->AsString(), "F02");
  EXPECT_EQ(js->FieldByName("GSSTR")->AsString(), "F01*0.5");
  js->Next();
  EXPECT_EQ(js->FieldByName("GSSTR")->AsString(), "F01+F02");
}

TEST_F(Pages, OrderCheckReportsFormulasReadingLaterResults) {
  std::vector<payroll::TFormulaRowInfo> rows = {
      {"应发工资", "基本工资+岗位工资+奖金", 1}, {"岗位工资", "基本工资*0.5", 2}, {"奖金", "100", 3}};
  EXPECT_EQ(payroll::FormulaOrderReport(rows), "公式1引用了下面公式2 3 中的结果！\r\n");
  rows = {{"岗位工资", "基本工资*0.5", 1}, {"应发工资", "基本工资+岗位工资", 2}};
  EXPECT_EQ(payroll::FormulaOrderReport(rows), "");

  AddFormula(1, "初始化", "F03", "F02*2", " ", "应发工资", "岗位工资*2");
  AddFormula(2, "初始化", "F02", "F01", " ", "岗位工资", "基本工资");
  Menu("N32");
  frame->SptBtnChkClick(nullptr);
  EXPECT_EQ(dialogs.Boxes.back().Text,
            "\r公式1引用了下面公式2 中的结果！\r\n可能会引起逻辑错误，\r请修改或调整公式顺序！");
  frame->CmbBoxGnMc->SetText("");
  frame->SptBtnChkClick(nullptr);
  EXPECT_EQ(dialogs.Boxes.back().Text, "\r请选择待检查功能名称！");
}

TEST_F(Pages, FormulaPagePicture) {
  AddFormula(1, "初始化", "F03", "F01+F02", " ", "应发工资", "基本工资+岗位工资");
  frmMain->FirstShow = "no";  // no login
  frmMain->Show();
  Menu("N32");
  Pump();
  const char* dir = std::getenv("PAYROLL_SHOT_DIR");
  frmMain->Surface()->grab().save(QString::fromLocal8Bit((std::string(dir ? dir : "/tmp") + "/payroll-formulas.png").c_str()));
  EXPECT_TRUE(frame->Showing());
}

TEST_F(Pages, FieldPickerAndOperatorButtonsPasteIntoTheirEdits) {
  Menu("N32");
  frame->SptBtnTjGsClick(nullptr);
  QTimer::singleShot(0, [] {
    auto* list = dynamic_cast<TListView*>(FrmXzZd->FindComponent("ListView1"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->ItemCount(), 3 + 6);
    EXPECT_EQ(list->Item(1)->Caption(), "岗位工资" + std::string(12, ' '));
    list->SetItemIndex(1);
    FrmXzZd->SetModalResult(mrOk);
  });
  frame->SptBtnXzZd1Click(nullptr);
  EXPECT_EQ(frame->MemoJsGs->Text(), "岗位工资");
  frame->SptBtnJS_FHClick(frame->SptBtnJS_FH[7]);  // "*"
  EXPECT_EQ(frame->MemoJsGs->Text(), "岗位工资*");
  frame->SptBtnJS_FHClick(frame->SptBtnTJ_FH[4]);  // "=" into the condition
  EXPECT_EQ(frame->EditTjGs->Text(), "=");
  EXPECT_FALSE(frame->PanelGsGrid->Enabled());
}

}  // namespace
