// The settings file: field descriptions, the text helpers over them and the
// page panels built from the layouts.
#include <gtest/gtest.h>

#include <memory>

#include "AppTestSupport.h"
#include "app/GzSettings.h"
#include "platform/core/CodePage.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Files.h"
#include "platform/core/IniFiles.h"
#include "platform/core/Strings.h"
#include "platform/data/DataSource.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

namespace {

void LoadFrom(const TTestPayrollDb& db, TStrings* list = nullptr) {
  TIniFile ini(db.Folder() + "gz.ini");
  LoadGzSettings(ini, list);
}

TEST(GzSettings, FieldDescriptionsStopAtTheFirstGapAndEndWithTheSixFixedPairs) {
  TTestPayrollDb db("[SYSTEM]\nCALC_LOG=0\n[Fld_字段描述]\n01=01,基本工资\n02=05,奖金,含津贴\n04=04,扣款\n");
  TStringList list;
  list.Add("stale");
  CalcLogOn = true;
  LoadFrom(db, &list);
  EXPECT_FALSE(CalcLogOn);
  ASSERT_EQ(FldDescs.size(), 8u);
  EXPECT_EQ(FldDescs[0], TFldDesc("F01", "基本工资"));
  EXPECT_EQ(FldDescs[1], TFldDesc("F05", "奖金,含津贴"));
  EXPECT_EQ(FldDescs[2], TFldDesc("zgbh", "职工编号"));
  EXPECT_EQ(FldDescs[7], TFldDesc("zgqk", "职工情况"));
  ASSERT_EQ(list.Count(), 2) << "only the file's descriptions go to the result-field list";
  EXPECT_EQ(list.Strings(0), "基本工资");
}

TEST(GzSettings, MissingSectionLeavesTheFixedPairsAndCalcLogOff) {
  TTestPayrollDb db("[OTHER]\nx=1\n");
  CalcLogOn = true;
  LoadFrom(db);
  EXPECT_FALSE(CalcLogOn);
  EXPECT_EQ(FldDescs.size(), 6u);
}

TEST(GzSettings, DescriptionLookupAndTextHelpers) {
  TTestPayrollDb db;
  LoadFrom(db);
  EXPECT_TRUE(CalcLogOn);
  EXPECT_EQ(getFldNameByDesc("职工编号"), "zgbh");
  EXPECT_EQ(getFldNameByDesc("岗位工资"), "F02");
  EXPECT_EQ(getFldNameByDesc("岗位"), "");
  EXPECT_EQ(CommaToLines("基本,工资"), "基本\r工资");
  EXPECT_EQ(CommaToLines("a,,b"), "a");
  EXPECT_EQ(CommaToLines(""), "");
  EXPECT_EQ(QualifyFieldCodes("F01+F12", "FrmData.TblGzk."), "[FrmData.TblGzk.F01+FrmData.TblGzk.F12]");
  EXPECT_EQ(QualifyFieldCodes("xm", "P."), "[xm]");
}

class PagePanel : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    owner = std::make_unique<TComponent>(nullptr);
    form = new TForm(owner.get());
    panel = new TPanel(form);
    panel->SetParent(form);
  }
  std::unique_ptr<TComponent> owner;
  TForm* form = nullptr;
  TPanel* panel = nullptr;
  TDataSource source{nullptr};
};

TEST_F(PagePanel, BuildsLabelledEditBoxesAndBevelsFromTheLayout) {
  TTestPayrollDb db;
  int exits = 0;
  CreatUserPanel(db.Folder() + "gz.ini", "考勤管理", panel, owner.get(), &source, nullptr,
                 [&](TObject*) { ++exits; });
  std::vector<TLabel*> labels;
  std::vector<TDBEdit*> edits;
  std::vector<TBevel*> bevels;
  for (int i = 0; i < panel->ControlCount(); ++i) {
    TControl* c = panel->Controls(i);
    if (auto* l = dynamic_cast<TLabel*>(c)) labels.push_back(l);
    if (auto* e = dynamic_cast<TDBEdit*>(c)) edits.push_back(e);
    if (auto* b = dynamic_cast<TBevel*>(c)) bevels.push_back(b);
  }
  ASSERT_EQ(labels.size(), 2u);
  ASSERT_EQ(edits.size(), 2u);
  ASSERT_EQ(bevels.size(), 1u);
  EXPECT_EQ(labels[0]->Caption(), "基本工资");
  EXPECT_EQ(labels[0]->Left(), 10);
  EXPECT_EQ(labels[0]->Top(), 12);
  EXPECT_EQ(labels[0]->Font()->Color(), 255);
  EXPECT_EQ(edits[0]->DataField(), "F01");
  EXPECT_EQ(edits[0]->Left(), 80);
  EXPECT_EQ(edits[0]->Width(), 90);
  EXPECT_TRUE(edits[0]->Enabled());
  EXPECT_FALSE(edits[1]->Enabled());
  EXPECT_EQ(edits[1]->DataField(), "F02");
  EXPECT_EQ(edits[1]->TabOrder(), 1);
  EXPECT_EQ(edits[0]->DataSource(), &source);
  EXPECT_EQ(bevels[0]->Shape(), bsFrame);
  EXPECT_EQ(bevels[0]->Width(), 200);
  EXPECT_EQ(bevels[0]->Height(), 70);
  ASSERT_TRUE(edits[0]->OnExit);
  edits[0]->OnExit(edits[0]);
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(edits[0]->Owner(), owner.get());
}

TEST_F(PagePanel, AMissingPageIsEmptyAndABadTokenRaises) {
  TTestPayrollDb db("[Scr_工资修改]\n01=0,01,基本工资,x,12,0,80,10,0,0,2,0,0,1,90\n");
  CreatUserPanel(db.Folder() + "gz.ini", "考勤管理", panel, owner.get(), &source, nullptr, {});
  EXPECT_EQ(panel->ControlCount(), 0);
  EXPECT_THROW(CreatUserPanel(db.Folder() + "gz.ini", "工资修改", panel, owner.get(), &source, nullptr, {}),
               EConvertError);
}

}  // namespace
