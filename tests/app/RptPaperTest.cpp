// The paper settings dialog over a test database: the grid's columns with
// their titles and the pick lists that store the paper and orientation
// codes, the table opened on activation and closed on closing, and Save
// posting only a pending row.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbTable.h"
#include "app/RptPaper.h"
#include "grid/DBGridEx.h"
#include "grid/DBGridExColumns.h"
#include "platform/core/Strings.h"
#include "platform/data/Fields.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

using namespace payroll;

namespace {

TEST(RptPaperDialog, GridColumnsPickListsAndSave) {
  EnsureUiApp();
  TTestPayrollDb db;
  TForm dialog(nullptr);
  InstallPaperDialog(&dialog, &db.DataBase());
  InstallPaperDialog(&dialog, &db.DataBase());  // once only
  auto* table = dynamic_cast<TUdbTable*>(dialog.FindComponent("tblRptPaper"));
  auto* grid = dynamic_cast<TDBGridEx*>(dialog.FindComponent("dbgRptPaper"));
  ASSERT_NE(table, nullptr);
  ASSERT_NE(grid, nullptr);
  EXPECT_FALSE(table->Active());
  dialog.OnActivate(&dialog);
  ASSERT_TRUE(table->Active());

  const char* titles[] = {"报表名称", "纸张类型", "纸张宽度", "纸张高度", "风格", "左边距"};
  ASSERT_EQ(grid->Columns()->Count(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(grid->Columns()->Items(i)->Title()->Caption(), titles[i]) << i;
  const auto keyOf = [grid](int column, const char* name) {
    TColumnEx* c = grid->Columns()->Items(column);
    const int at = c->PickList()->IndexOf(name);
    return at < 0 ? AnsiString() : c->KeyList()->Strings(at);
  };
  EXPECT_EQ(keyOf(1, "A4"), "9");
  EXPECT_EQ(keyOf(1, "宽行打印纸"), "39");
  EXPECT_EQ(keyOf(1, "自定义"), "256");
  EXPECT_EQ(keyOf(4, "横放"), "1");
  EXPECT_EQ(grid->Columns()->Items(4)->DropDownRows(), 2u);

  auto* save = dynamic_cast<TButton*>(dialog.FindComponent("btnSave"));
  ASSERT_NE(save, nullptr);
  save->Click();  // nothing pending: nothing happens
  EXPECT_EQ(table->RecordCount(), 0);
  table->Append();
  table->FieldByName("rptName")->SetAsString("职工工资单");
  table->FieldByName("paperIdx")->SetAsInteger(9);
  table->FieldByName("paperType")->SetAsInteger(1);
  save->Click();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->RecordCount(), 1);
  TCloseAction action = caHide;
  dialog.OnClose(&dialog, action);
  EXPECT_FALSE(table->Active());
  // Stored: another table sees the row.
  TUdbTable* again = db.OpenTable("rptPaper");
  ASSERT_EQ(again->RecordCount(), 1);
  EXPECT_EQ(again->FieldByName("paperIdx")->AsInteger(), 9);
}

}  // namespace
