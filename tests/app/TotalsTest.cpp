// "汇总计算" over a test database: prefix membership with the unit
// exception, sums of the described pay items only, recomputation from
// zero, the renumbering rule, rows matched by code while bm is ordered by
// the very xh being renumbered, a fault that leaves the tables usable, and
// the menu command with its message.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/PayrollProgram.h"
#include "app/StartupForms.h"
#include "app/Totals.h"
#include "platform/core/Files.h"
#include "platform/data/Fields.h"
#include "platform/ui/Menus.h"

using namespace payroll;

namespace {

TEST(TotalsRules, MembershipIsByPrefixWithTheUnitException) {
  struct Case {
    const char *zgbh, *bmbh;
    bool counts;
  } cases[] = {{"0190001", "01", false},   {"0190001", "0190", true}, {"0190001", "019001", false},
               {"019001001", "019001", true}, {"0103001", "01", true}, {"0103001", "0103", true},
               {"0103001", "010300", true}, {"0103001", "", true},     {"01", "0101", false},
               {"0201001", "01", false},   {"01990001", "0199", true}, {"01990001", "01", false}};
  for (const Case& c : cases) EXPECT_EQ(CountsIn(c.zgbh, c.bmbh), c.counts) << c.zgbh << " in " << c.bmbh;
}

TEST(TotalsRules, RenumberingFollowsTheReferenceRuleAndIsAPermutation) {
  EXPECT_EQ(RenumberDepartments({"01", "0101", "010101", "0102", "02", "0201"}),
            (std::vector<int>{5, 1, 0, 2, 3, 4}));
  const std::vector<std::vector<AnsiString>> lists = {
      {}, {"01"}, {"", "01", "0101"}, {"01", "01", "0101", "0101"}, {"0102", "01", "0101", "0199"}};
  for (const auto& codes : lists) {
    int steps = 0;
    std::vector<int> n = RenumberDepartments(codes, [&] { ++steps; });
    EXPECT_EQ(steps, static_cast<int>(codes.size()));
    std::sort(n.begin(), n.end());
    for (size_t i = 0; i < n.size(); ++i) EXPECT_EQ(n[i], static_cast<int>(i));
  }
}

class TotalsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    saved = FldDescs;
    FldDescs = {{"F01", "基本工资"}, {"F02", "岗位工资"}, {"zgbh", "职工编号"}, {"ylbxh", "养老保险号"},
                {"xm", "姓名"},      {"gzzh", "工资帐号"}, {"db_flag", "独保"},  {"zgqk", "职工情况"}};
    gzk = db.OpenTable("gzk", "TblGzkIndex1");
    // F05 has a value but no description: totalled as 0.
    gzk->First();
    gzk->Edit();
    gzk->FieldByName("F05")->SetAsFloat(77);
    gzk->Post();
    gzk->SetFilter("ZGBH like '0199%'");
    gzk->SetFiltered(true);
    // Ordered by xh, which the command rewrites: 0102 (no employees, stale
    // sums), 01, 0101, 0199.
    bm = db.OpenTable("bm", "byxh");
    bm->Append();
    bm->FieldByName("BMBH")->SetAsString("0102");
    bm->FieldByName("XH")->SetAsFloat(0);
    bm->FieldByName("F03")->SetAsFloat(5);
    bm->FieldByName("RS")->SetAsFloat(9);
    bm->Post();
  }
  void TearDown() override { FldDescs = saved; }
  struct Row {
    double rs, f01, f02, f03, f05, xh;
  };
  Row Dept(const char* code) {
    EXPECT_TRUE(bm->Locate("BMBH", code, {})) << code;
    auto f = [&](const char* name) { return bm->FieldByName(name)->AsFloat(); };
    return {f("RS"), f("F01"), f("F02"), f("F03"), f("F05"), f("XH")};
  }
  void ExpectTotals() {
    const struct {
      const char* code;
      Row row;
    } expected[] = {{"01", {2, 2200, 250.5, 0, 0, 3}},
                    {"0101", {2, 2200, 250.5, 0, 0, 1}},
                    {"0199", {1, 900, 0, 0, 0, 2}},
                    {"0102", {0, 0, 0, 0, 0, 0}}};
    for (const auto& e : expected) {
      const Row r = Dept(e.code);
      EXPECT_DOUBLE_EQ(r.rs, e.row.rs) << e.code;
      EXPECT_DOUBLE_EQ(r.f01, e.row.f01) << e.code;
      EXPECT_DOUBLE_EQ(r.f02, e.row.f02) << e.code;
      EXPECT_DOUBLE_EQ(r.f03, e.row.f03) << e.code;
      EXPECT_DOUBLE_EQ(r.f05, e.row.f05) << e.code;
      EXPECT_DOUBLE_EQ(r.xh, e.row.xh) << e.code;
    }
  }

  TTestPayrollDb db;
  TFakeDialogService dialogs;
  std::vector<TFldDesc> saved;
  TUdbTable *gzk = nullptr, *bm = nullptr;
};

TEST_F(TotalsTest, TotalsEveryDepartmentByCodeAndRenumbers) {
  int starts = 0, steps = 0;
  TTotalsProgress progress{[&](int) { ++starts; }, [&] { ++steps; }};
  ComputeDeptTotals(gzk, bm, progress);
  ExpectTotals();
  EXPECT_FALSE(gzk->Filtered());
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(steps, 3 + 4);  // employees, then departments
  EXPECT_FALSE(gzk->ControlsDisabled());
  EXPECT_FALSE(bm->ControlsDisabled());
  // Nothing accumulates on a second run.
  ComputeDeptTotals(gzk, bm);
  ExpectTotals();
}

TEST_F(TotalsTest, AFieldThatIsMissingStopsTheCommandWithTheTablesUsable) {
  FldDescs.insert(FldDescs.begin(), {"F10x", "坏字段"});
  EXPECT_ANY_THROW(ComputeDeptTotals(gzk, bm));
  EXPECT_EQ(bm->State(), dsBrowse);
  EXPECT_FALSE(gzk->ControlsDisabled());
  EXPECT_FALSE(bm->ControlsDisabled());
}

TEST(TotalsMenu, N39TotalsAndTellsTheOperator) {
  EnsureUiApp();
  TTestPayrollDb db;
  TFakeDialogService dialogs;
  const AnsiString oldDir = GetCurrentDir();
  SetCurrentDir(db.Folder());
  CreatePayrollForms();
  ASSERT_NE(frmMain, nullptr);
  auto* item = dynamic_cast<TMenuItem*>(frmMain->FindComponent("N39"));
  ASSERT_NE(item, nullptr);
  ASSERT_TRUE(item->OnClick);
  FrmData->TblGzk->SetFilter("ZGBH like '0101%'");
  FrmData->TblGzk->SetFiltered(true);
  item->OnClick(item);
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, kTotalsDone);
  EXPECT_FALSE(FrmData->TblGzk->Filtered());
  TUdbTable* bm = FrmData->TblBm;
  ASSERT_TRUE(bm->Locate("BMBH", "01", {}));
  EXPECT_EQ(bm->FieldByName("RS")->AsInteger(), 2);
  EXPECT_DOUBLE_EQ(bm->FieldByName("F01")->AsFloat(), 2200);
  FreeStartupForms();
  SetCurrentDir(oldDir);
}

}  // namespace
