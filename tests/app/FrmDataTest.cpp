// The data module over a payroll database built from the test
// description: opening, the bm insert rule and the attendance gating.
#include <gtest/gtest.h>

#include <memory>

#include "AppTestSupport.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbErrors.h"
#include "app/FrmData.h"
#include "platform/core/Files.h"
#include "platform/data/Fields.h"
#include "platform/ui/ExtCtrls.h"

namespace {

TEST(TFrmData, OpensTheDatabaseInTheProgramFolderWithItsTablesInOrder) {
  TTestPayrollDb db;
  auto dm = std::make_unique<TFrmData>(nullptr);  // the program's folder
  EXPECT_TRUE(dm->UdbDataBase1->Connected());
  EXPECT_EQ(dm->UdbDataBase1->DataBaseName(), "GZ.udb");
  for (TUdbTable* t : {dm->TblRegDw, dm->TblZgqK, dm->TblBm, dm->TblGzk, dm->TblJsGsk, dm->TblRptStru, dm->TblUser})
    EXPECT_TRUE(t->Active()) << t->TableName();
  EXPECT_EQ(dm->TblRegDw->FieldByName("DwName")->AsString(), "测试单位");
  EXPECT_EQ(dm->TblGzk->FieldByName("F99")->DataType(), ftFloat);
  EXPECT_EQ(dm->TblBm->FieldByName("F99")->DataType(), ftFloat);
  // "GI" gives a function's formulas in ascending ID whatever order they
  // were stored in.
  dm->TblJsGsk->First();
  EXPECT_EQ(dm->TblJsGsk->FieldByName("ID")->AsInteger(), 1);
  dm->TblJsGsk->Next();
  EXPECT_EQ(dm->TblJsGsk->FieldByName("ID")->AsInteger(), 2);
  dm->TblRptStru->First();
  EXPECT_EQ(dm->TblRptStru->FieldByName("RptField")->AsString(), "xm");
  EXPECT_EQ(dm->FindComponent("TblGzk"), dm->TblGzk);
}

TEST(TFrmData, FreeingItReleasesTheFileForAnotherConnection) {
  TTestPayrollDb db;
  { TFrmData dm(nullptr); }
  TFrmData again(nullptr);
  EXPECT_TRUE(again.TblUser->Active());
}

TEST(TFrmData, AMissingDatabaseRaisesTheEnginesError) {
  TTestPayrollDb db;
  DeleteFile(db.Folder() + "GZ.udb");
  EXPECT_THROW(TFrmData(nullptr), EUdbDatabaseError);
}

TEST(TFrmData, ANewDepartmentStartsWithOrderAndHeadCountZero) {
  TTestPayrollDb db;
  TFrmData dm(nullptr);
  dm.TblBm->Append();
  dm.TblBm->FieldByName("BMBH")->SetAsString("0102");
  dm.TblBm->FieldByName("BMMC")->SetAsString("人事科");
  dm.TblBm->FieldByName("XH")->SetAsFloat(7);
  dm.TblBm->FieldByName("RS")->SetAsFloat(12);
  dm.TblBm->Post();
  ASSERT_TRUE(dm.TblBm->Locate("BMBH", "0102", TLocateOptions()));
  EXPECT_EQ(dm.TblBm->FieldByName("XH")->AsFloat(), 0);
  EXPECT_EQ(dm.TblBm->FieldByName("RS")->AsFloat(), 0);
  // Editing an existing row keeps what the form supplies.
  dm.TblBm->Edit();
  dm.TblBm->FieldByName("XH")->SetAsFloat(5);
  dm.TblBm->Post();
  EXPECT_EQ(dm.TblBm->FieldByName("XH")->AsFloat(), 5);
}

class Attendance : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    db = std::make_unique<TTestPayrollDb>();
    dm = std::make_unique<TFrmData>(nullptr);
    panel = std::make_unique<TPanel>(nullptr);
    dm->AttendancePanel = panel.get();
    dm->AttendancePageShown = [this] { return pageShown; };
  }
  void GoTo(const char* code) { ASSERT_TRUE(dm->TblGzk->Locate("ZGBH", code, TLocateOptions())); }
  std::unique_ptr<TTestPayrollDb> db;
  std::unique_ptr<TFrmData> dm;
  std::unique_ptr<TPanel> panel;
  bool pageShown = true;
};

TEST_F(Attendance, TheCategoryDecidesWhileTheAttendancePageIsShown) {
  GoTo("01990001");  // 退休: no attendance
  EXPECT_FALSE(panel->Enabled());
  GoTo("01010001");  // 在职
  EXPECT_TRUE(panel->Enabled());
  pageShown = false;
  GoTo("01990001");
  EXPECT_TRUE(panel->Enabled()) << "another page leaves the panel alone";
}

TEST_F(Attendance, AnUnknownCategoryLeavesThePanelAsItWas) {
  GoTo("01990001");
  ASSERT_FALSE(panel->Enabled());
  GoTo("01010002");  // 合同工 is no category
  EXPECT_FALSE(panel->Enabled());
  panel->SetEnabled(true);
  payroll::GateAttendanceByCategory(dm->TblGzk, dm->TblZgqK, panel.get());
  EXPECT_TRUE(panel->Enabled());
  // The lookup does not move the category table.
  dm->TblZgqK->First();
  GoTo("01990001");
  EXPECT_EQ(dm->TblZgqK->FieldByName("xh")->AsInteger(), 1);
}

TEST_F(Attendance, ARetiredEmployeeCodeDisablesThePanel) {
  pageShown = false;
  dm->TblZgqK->First();  // 在职, CanKq true
  GoTo("01010001");
  payroll::GateAttendanceByCode(dm->TblGzk, dm->TblZgqK, panel.get());
  EXPECT_TRUE(panel->Enabled());
  GoTo("01990001");
  payroll::GateAttendanceByCode(dm->TblGzk, dm->TblZgqK, panel.get());
  EXPECT_FALSE(panel->Enabled());
  dm->TblZgqK->Close();
  panel->SetEnabled(true);
  payroll::GateAttendanceByCode(dm->TblGzk, dm->TblZgqK, panel.get());
  EXPECT_FALSE(panel->Enabled()) << "closed tables disable the panel";
}

}  // namespace
