// The employee register's commands over a test database: proposed codes
// (past 255 employees), add with its refusals and duplicate check, delete,
// retire, transfer and renumber with the head counts kept, and the numeric
// key filter.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/PayrollProgram.h"
#include "app/Register.h"
#include "app/StartupForms.h"
#include "platform/core/Files.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "platform/core/Strings.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/data/Fields.h"
#include "platform/ui/Dialogs.h"

using namespace payroll;

namespace {

TEST(RegisterRules, NumericKeyFilter) {
  struct Case {
    const char* text;
    int selStart, selLength, decimals;
    char key;
    bool allowed;
  } cases[] = {
      {"12.34", 5, 0, 2, '5', false},  // a third decimal
      {"12.3", 4, 0, 2, '5', true},    {"12.34", 1, 0, 2, '5', true},  // before the point
      {"12.34", 0, 5, 2, '7', true},   // all selected
      {"12.34", 0, 5, 0, '.', true},   {"12", 2, 0, 0, '.', false},    {"12.3", 2, 0, 2, '.', false},
      {"1234", 1, 0, 2, '.', false},   {"1234", 2, 0, 2, '.', true},   {"12", 2, 0, 2, 'a', false},
      {"12", 2, 0, 2, '\b', true},     {"123456", 6, 0, 0, '7', true}, {"", 0, 0, 0, '-', false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(NumericKeyAllowed(c.text, c.selStart, c.selLength, c.decimals, c.key), c.allowed)
        << c.text << " " << c.selStart << " " << c.key;
}

TEST(RegisterRules, CodesAreFilledToElevenCharacters) {
  EXPECT_EQ(EmployeeCode("010203", 8), "01020300008");
  EXPECT_EQ(EmployeeCode("01", 1), "01000000001");
  EXPECT_EQ(EmployeeCode("01020304", 300), "01020304300");
  EXPECT_TRUE(IsRetiredCode("01990000001"));
  EXPECT_FALSE(IsRetiredCode("01099000001"));
}

class RegisterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    gzk = db.OpenTable("gzk", "TblGzkIndex1");
    bm = db.OpenTable("bm", "TblBmIndex1");
    for (TUdbTable* t : {gzk, bm})
      while (!t->IsEmpty()) {
        t->First();
        t->Delete();
      }
    for (const auto& [code, rs] : std::map<std::string, int>{
             {"01", 3}, {"0101", 0}, {"0102", 3}, {"010203", 3}, {"0199", 1}, {"02", 0}}) {
      bm->Append();
      bm->FieldByName("BMBH")->SetAsString(code);
      bm->FieldByName("RS")->SetAsFloat(rs);
      bm->Post();
    }
    Employee("01020300001", "甲", "100001", "A1");
    Employee("01020300005", "乙", "100002", "A2");
    Employee("01020300007", "丙", "", "A3");
    Employee("01990000003", "丁", "100004", "A4");
  }
  void Employee(const std::string& code, const char* name, const char* ylbxh, const char* gzzh) {
    gzk->Append();
    gzk->FieldByName("ZGBH")->SetAsString(code);
    gzk->FieldByName("XM")->SetAsString(name);
    gzk->FieldByName("YLBXH")->SetAsString(ylbxh);
    gzk->FieldByName("GZZH")->SetAsString(gzzh);
    gzk->FieldByName("ZGQK")->SetAsString("在职");
    gzk->Post();
  }
  std::map<std::string, int> Counts() {
    std::map<std::string, int> counts;
    for (bm->First(); !bm->Eof(); bm->Next())
      counts[bm->FieldByName("BMBH")->AsString()] = bm->FieldByName("RS")->AsInteger();
    return counts;
  }
  std::string Codes() {
    std::string all;
    gzk->SetFiltered(false);
    for (gzk->First(); !gzk->Eof(); gzk->Next()) all += gzk->FieldByName("ZGBH")->AsString() + " ";
    return all;
  }
  void Go(const char* code) { ASSERT_TRUE(gzk->Locate("ZGBH", code, {})) << code; }
  // Counts expected after a change: the starting counts with deltas.
  std::map<std::string, int> Expect(std::map<std::string, int> delta) {
    std::map<std::string, int> c{{"01", 3}, {"0101", 0}, {"0102", 3}, {"010203", 3}, {"0199", 1}, {"02", 0}};
    for (const auto& [k, d] : delta) c[k] += d;
    return c;
  }

  TTestPayrollDb db;
  TFakeDialogService dialogs;
  TUdbTable *gzk = nullptr, *bm = nullptr;
};

TEST_F(RegisterTest, ProposedCodeFollowsTheLargestNumberPastOneByte) {
  EXPECT_EQ(ProposedEmployeeCode(gzk, "010203"), "01020300008");
  EXPECT_EQ(ProposedEmployeeCode(gzk, "0101"), "01010000001");
  for (int i = 1; i <= 300; ++i) Employee(EmployeeCode("01020304", i), "某", "", "");
  gzk->SetFilter("ZGBH like '0199%'");
  gzk->SetFiltered(true);
  gzk->First();
  EXPECT_EQ(ProposedEmployeeCode(gzk, "01020304"), "01020304301");
  // The filter and the row are kept.
  EXPECT_TRUE(gzk->Filtered());
  EXPECT_EQ(gzk->FieldByName("ZGBH")->AsString(), "01990000003");
}

TEST_F(RegisterTest, AddRefusesBadInputAndDuplicatesAndCountsTheNewEmployee) {
  TNewEmployee e{"01020300008", "戊", "100009", "B1", "在职", true};
  TNewEmployee noName = e, blankPension = e;
  noName.Name = "";
  blankPension.Ylbxh = "10 09";
  for (const TNewEmployee& bad : {noName, blankPension}) EXPECT_FALSE(AddEmployee(gzk, bm, bad));
  ASSERT_EQ(dialogs.Boxes.size(), 2u);
  EXPECT_EQ(dialogs.Boxes[1].Text, kRegInputError);

  TNewEmployee clash = e;
  clash.Gzzh = "A2";
  EXPECT_FALSE(AddEmployee(gzk, bm, clash));
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegDuplicate);
  EXPECT_EQ(gzk->FieldByName("XM")->AsString(), "乙");  // the clashing employee in view

  dialogs.Answers = {IDNO};
  EXPECT_FALSE(AddEmployee(gzk, bm, e));
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegConfirmAdd);
  EXPECT_EQ(Counts(), Expect({}));

  // An empty pension number clashes with nobody (丙 has none either).
  e.Ylbxh = "";
  e.Gzzh = "  B1 ";
  dialogs.Answers = {IDYES};
  EXPECT_TRUE(AddEmployee(gzk, bm, e));
  EXPECT_EQ(Counts(), Expect({{"01", 1}, {"0102", 1}, {"010203", 1}}));
  ASSERT_TRUE(gzk->Locate("ZGBH", "01020300008", {}));
  EXPECT_EQ(gzk->FieldByName("GZZH")->AsString(), "B1");
  EXPECT_TRUE(gzk->FieldByName("DB_FLAG")->AsBoolean());
}

TEST_F(RegisterTest, DeleteCountsDownTheDepartmentsOrOnlyTheRetiredOne) {
  Go("01990000003");
  dialogs.Answers = {IDNO};
  EXPECT_FALSE(DeleteEmployee(gzk, bm));
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegConfirmDelete);
  dialogs.Answers = {IDYES};
  EXPECT_TRUE(DeleteEmployee(gzk, bm));
  EXPECT_EQ(Counts(), Expect({{"0199", -1}}));
  Go("01020300005");
  dialogs.Answers = {IDYES};
  EXPECT_TRUE(DeleteEmployee(gzk, bm));
  EXPECT_EQ(Counts(), Expect({{"0199", -1}, {"01", -1}, {"0102", -1}, {"010203", -1}}));
  EXPECT_EQ(Codes(), "01020300001 01020300007 ");
}

TEST_F(RegisterTest, RetireMovesTheEmployeeToTheUnitsRetiredDepartment) {
  Go("01020300005");
  dialogs.Answers = {IDYES};
  EXPECT_TRUE(RetireEmployee(gzk, bm));
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegConfirmRetire);
  EXPECT_EQ(Counts(), Expect({{"01", -1}, {"0102", -1}, {"010203", -1}, {"0199", 1}}));
  Go("01990000004");
  EXPECT_EQ(gzk->FieldByName("ZGQK")->AsString(), kRetiredCategory);
  EXPECT_FALSE(RetireEmployee(gzk, bm));
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegAlreadyRetired);
}

TEST_F(RegisterTest, TransferRenumbersIntoTheTargetAndMovesTheCounts) {
  Go("01990000003");
  EXPECT_FALSE(TransferEmployee(gzk, bm, "0101"));
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegRetiredNoTransfer);
  Go("01020300001");
  EXPECT_FALSE(TransferEmployee(gzk, bm, ""));
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegNoTarget);
  dialogs.Answers = {IDYES};
  EXPECT_TRUE(TransferEmployee(gzk, bm, "0101"));
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegConfirmTransfer);
  EXPECT_EQ(Counts(), Expect({{"0101", 1}, {"0102", -1}, {"010203", -1}}));
  EXPECT_EQ(Codes(), "01010000001 01020300005 01020300007 01990000003 ");
  dialogs.Answers = {IDYES};
  Go("01020300005");
  EXPECT_TRUE(TransferEmployee(gzk, bm, "02"));
  EXPECT_EQ(Counts(), Expect({{"0101", 1}, {"0102", -2}, {"010203", -2}, {"01", -1}, {"02", 1}}));
  EXPECT_NE(Codes().find("02000000001"), std::string::npos);
}

TEST_F(RegisterTest, RenumberGivesConsecutiveCodesInTableOrder) {
  RenumberEmployees(gzk, "010203");
  EXPECT_EQ(Codes(), "01020300001 01020300002 01020300003 01990000003 ");
  EXPECT_EQ(Counts(), Expect({}));
}

}  // namespace

namespace {

TEST(DeptTree, NodesByCodeLengthWithHeadCountsAndLeafTargets) {
  EnsureUiApp();
  TTestPayrollDb db;
  TUdbTable* bm = db.OpenTable("bm", "TblBmIndex1");
  // 01 总部 3, 0101 财务科 2, 0199 离退休 1 in the test data.
  const struct {
    const char *code, *name;
    int rs;
  } more[] = {{"0102", "  人事科", 4}, {"010201", "招聘组", 4}, {"0102011", "不成级", 0}, {"02", "分厂", 0}};
  for (const auto& m : more) {
    bm->Append();
    bm->FieldByName("BMBH")->SetAsString(m.code);
    bm->FieldByName("BMMC")->SetAsString(m.name);
    bm->FieldByName("RS")->SetAsFloat(m.rs);
    bm->Post();
  }
  TForm form(nullptr);
  auto* tree = new TTreeView(&form);
  tree->SetParent(&form);
  tree->Items()->Add(nullptr, "旧节点");
  TStringList targets;
  std::vector<AnsiString> names, codes;
  BuildDeptTree(bm, tree, names, codes, &targets);
  EXPECT_EQ(codes, (std::vector<AnsiString>{"01", "0101", "0102", "010201", "0102011", "0199", "02"}));
  EXPECT_EQ(names[2], "人事科");
  ASSERT_EQ(tree->Items()->Count(), 6);
  const char* texts[] = {"总部(3)", "财务科(2)", "人事科(4)", "招聘组(4)", "离退休(1)", "分厂(0)"};
  const int images[] = {2, 0, 2, 0, 0, 0};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(tree->Items()->Item(i)->Text(), texts[i]) << i;
    EXPECT_EQ(tree->Items()->Item(i)->ImageIndex(), images[i]) << i;
  }
  EXPECT_EQ(tree->Items()->Item(3)->Parent(), tree->Items()->Item(2));
  EXPECT_EQ(targets.Text(), AnsiString("财务科\r\n招聘组\r\n分厂\r\n"));
  EXPECT_FALSE(bm->ControlsDisabled());
}

}  // namespace

namespace {

TEST(DeptTreeClick, FiltersTheListPagesAndProposesACode) {
  EnsureUiApp();
  TTestPayrollDb db;
  TFakeDialogService dialogs;
  const AnsiString oldDir = GetCurrentDir();
  SetCurrentDir(db.Folder());
  CreatePayrollForms();
  ASSERT_NE(frmMain, nullptr);
  TTreeView* tree = frmMain->TreeViewBm;
  ASSERT_EQ(tree->Items()->Count(), 3);  // 总部(3) 财务科(2) 离退休(1)
  TTreeNode* finance = tree->Items()->Item(1);
  EXPECT_EQ(finance->Text(), "财务科(2)");
  frmMain->Notebook1->SetActivePage("TbsGzXg");
  tree->SetSelected(finance);
  frmMain->TreeViewBmClick(tree);
  EXPECT_EQ(CurBmBh, "0101");
  EXPECT_TRUE(FrmData->TblGzk->Filtered());
  EXPECT_EQ(FrmData->TblGzk->RecordCount(), 2);

  frmMain->Notebook1->SetActivePage("TbsZgXz");
  frmMain->TreeViewBmClick(tree);
  EXPECT_EQ(frmMain->LblZgBh->Caption(), ProposedEmployeeCode(FrmData->TblGzk, "0101"));
  EXPECT_EQ(frmMain->LblZgBh->Caption().size(), 11u);
  tree->SetSelected(tree->Items()->Item(0));  // a department with sub-departments
  frmMain->TreeViewBmClick(tree);
  EXPECT_EQ(frmMain->LblZgBh->Caption(), "");
  EXPECT_TRUE(dialogs.Boxes.empty());

  FreeStartupForms();
  SetCurrentDir(oldDir);
}

}  // namespace
