// The lookup control and list box: the lookup field utilities, the key
// following the edited record, the list following the list dataset, keys
// choosing a key, lookup mode, the refused circular link and the text form.
#include "grid/DBLookupControlEx.h"

#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "MemDataSet.h"
#include "platform/core/TextForm.h"
#include "platform/data/Fields.h"
#include "platform/ui/Forms.h"

namespace {

struct TDeptData {
  TDeptData() {
    depts.SetName("Depts");
    depts.AddColumn("CODE", ftString, 2);
    depts.AddColumn("DNAME", ftString, 10);
    for (const char* code : {"01", "02", "03"}) depts.AddRow({code, std::string("部门") + code});
    emps.SetName("Emps");
    emps.AddColumn("DEPT", ftString, 2);
    emps.AddColumn("NAME", ftString, 10);
    emps.AddRow({"01", "张三"});
    emps.AddRow({"03", "李四"});
    depts.Open();
    emps.Open();
    deptSource.SetDataSet(&depts);
    empSource.SetDataSet(&emps);
  }
  TMemDataSet depts, emps;
  TDataSource deptSource{nullptr}, empSource{nullptr};
};

TEST(LookupFieldUtilities, FieldListsValuesAndKeyEquality) {
  EnsureGridTestApp();
  TDeptData d;
  std::vector<TField*> list;
  GetFieldsList(list, &d.depts, "DNAME;CODE");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->FieldName(), "DNAME");
  try {
    GetFieldsList(list, &d.depts, "CODE;NOPE");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("Field 'NOPE' not found"), std::string::npos) << e.Message();
  }
  d.depts.Edit();
  SetFieldsValue(&d.depts, "CODE;DNAME", VarArrayOf({Variant("09"), Variant("新")}));
  EXPECT_EQ(d.depts.FieldByName("DNAME")->AsString(), "新");
  SetFieldsValue(&d.depts, "CODE;DNAME", Variant::Null());
  EXPECT_TRUE(d.depts.FieldByName("CODE")->IsNull());
  EXPECT_TRUE(d.depts.FieldByName("DNAME")->IsNull());
  d.depts.Cancel();

  const struct {
    Variant a, b;
    bool equal;
  } cases[] = {{Variant("01"), Variant("01"), true},
               {Variant("01"), Variant("02"), false},
               {Variant::Null(), Variant::Null(), true},
               {Variant::Null(), Variant("01"), false},
               {VarArrayOf({Variant(1), Variant("a")}), VarArrayOf({Variant(1), Variant("a")}), true},
               {VarArrayOf({Variant(1), Variant("a")}), VarArrayOf({Variant(1), Variant("b")}), false},
               {VarArrayOf({Variant(1)}), VarArrayOf({Variant(1), Variant(2)}), false},
               {VarArrayOf({Variant(1)}), Variant(1), false}};
  for (const auto& c : cases) EXPECT_EQ(VarEquals(c.a, c.b), c.equal) << VarToStr(c.a) << " " << VarToStr(c.b);
}

class LookupBoxTest : public ::testing::Test, public TDeptData {
 protected:
  void SetUp() override {
    EnsureGridTestApp();
    SetFontMetricsSourceForTest(&metrics_);
    form = new TForm(nullptr);
    box = new TDBLookupListBoxEx(form);
    box->SetParent(form);
    box->SetRowCount(5);
    box->SetListSource(&deptSource);
    box->SetKeyField("CODE");
    box->SetListField("DNAME");
    box->SetDataSource(&empSource);
    box->SetDataField("DEPT");
  }
  void TearDown() override {
    delete form;
    SetFontMetricsSourceForTest(nullptr);
  }
  void Key(std::uint16_t key) { box->Perform(WM_KEYDOWN, key, 0); }
  TFixedFontMetrics metrics_{TTextMetric{16, 13, 3, 3, 0, 7, 14, 0}};
  TForm* form = nullptr;
  TDBLookupListBoxEx* box = nullptr;
};

TEST_F(LookupBoxTest, TheKeyFollowsTheEditedRecordAndTheListItsDataset) {
  ASSERT_TRUE(box->ListActive());
  EXPECT_EQ(box->MasterFieldNames(), "DEPT");
  EXPECT_EQ(box->KeyValue().AsString(), "01");
  EXPECT_EQ(box->SelectedItem(), "部门01");
  emps.Next();
  EXPECT_EQ(box->KeyValue().AsString(), "03");
  EXPECT_EQ(box->SelectedItem(), "部门03");
  EXPECT_EQ(box->RowTexts(), (std::vector<AnsiString>{"部门01", "部门02", "部门03"}));
  // The list is the dataset itself: what another user adds shows at once.
  depts.Append();
  depts.FieldByName("CODE")->SetAsString("04");
  depts.FieldByName("DNAME")->SetAsString("后勤");
  depts.Post();
  EXPECT_EQ(box->RowTexts(), (std::vector<AnsiString>{"部门01", "部门02", "部门03", "后勤"}));
  EXPECT_EQ(box->Height(), 5 * 16 + 2);
}

TEST_F(LookupBoxTest, KeysChooseAKeyIntoTheEditedRecord) {
  int clicks = 0;
  box->OnClick = [&](TObject*) { ++clicks; };
  Key(VK_DOWN);
  EXPECT_EQ(emps.State(), dsEdit);
  EXPECT_EQ(emps.FieldByName("DEPT")->AsString(), "02");
  EXPECT_EQ(box->KeyValue().AsString(), "02");
  Key(VK_END);
  EXPECT_EQ(box->KeyValue().AsString(), "03");
  Key(VK_HOME);
  EXPECT_EQ(box->KeyValue().AsString(), "01");
  EXPECT_EQ(clicks, 3);
  emps.Cancel();
  EXPECT_EQ(box->KeyValue().AsString(), "01");
  box->SetReadOnly(true);
  Key(VK_DOWN);
  EXPECT_EQ(emps.State(), dsBrowse) << "a read-only box chooses nothing";
}

TEST_F(LookupBoxTest, TheSpecialRowStandsForAKeyTheListDoesNotHold) {
  box->SpecRow()->SetVisible(true);
  box->SpecRow()->SetCellsText("(无)");
  emps.Edit();
  emps.FieldByName("DEPT")->SetAsString("77");
  EXPECT_TRUE(box->SpecRowSelected());
  EXPECT_EQ(box->SelectedItem(), "(无)");
  emps.FieldByName("DEPT")->SetAsString("02");
  EXPECT_FALSE(box->SpecRowSelected());
  Key(VK_UP);  // up from the first record reaches the special row
  Key(VK_UP);
  EXPECT_TRUE(box->SpecRowSelected());
  EXPECT_TRUE(emps.FieldByName("DEPT")->IsNull());  // the special row's Value
  emps.Cancel();
}

TEST_F(LookupBoxTest, ALookupFieldBringsItsOwnListAndACircularLinkIsRefused) {
  TMemDataSet staff;
  staff.AddColumn("DEPT", ftString, 2);
  staff.AddColumn("NAME", ftString, 10);
  staff.AddRow({"01", "王五"});
  AddStringField(&staff, "DEPT", 2);
  AddStringField(&staff, "NAME", 10);
  AddDeptNameLookup(&staff, "DEPTNAME", 10, &depts, "DEPT");
  staff.Open();
  TDataSource staffSource(nullptr);
  staffSource.SetDataSet(&staff);
  TDBLookupListBoxEx lookup(nullptr);
  lookup.SetDataSource(&staffSource);
  lookup.SetDataField("DEPTNAME");
  EXPECT_TRUE(lookup.LookupMode());
  EXPECT_TRUE(lookup.ListActive());
  EXPECT_EQ(lookup.MasterFieldNames(), "DEPT");
  EXPECT_EQ(lookup.KeyField(), "CODE");
  EXPECT_EQ(lookup.SelectedItem(), "部门01");
  EXPECT_THROW(lookup.SetKeyField("DNAME"), EDatabaseError);

  TDBLookupListBoxEx circular(nullptr);
  circular.SetDataSource(&deptSource);
  circular.SetDataField("CODE");
  circular.SetKeyField("CODE");
  try {
    circular.SetListSource(&deptSource);
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("Circular datalinks are not allowed"), std::string::npos);
  }
}

TEST_F(LookupBoxTest, ReadsFromTheTextForm) {
  TForm owner(nullptr);
  TDataSource* list = new TDataSource(&owner);
  list->SetName("DeptSource");
  list->SetDataSet(&depts);
  ObjectTextToComponent(
      "object F: TForm\n"
      "  object Box: TDBLookupListBoxEx\n"
      "    KeyField = 'CODE'\n"
      "    ListField = 'DNAME'\n"
      "    ListSource = DeptSource\n"
      "    RowCount = 3\n"
      "    SpecRow.CellsText = 'x'\n"
      "    SpecRow.Visible = True\n"
      "  end\n"
      "end\n",
      &owner);
  auto* read = dynamic_cast<TDBLookupListBoxEx*>(owner.FindComponent("Box"));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->RowCount(), 3);
  EXPECT_TRUE(read->ListActive());
  EXPECT_EQ(read->SpecRow()->CellText(0), "x");
  EXPECT_NE(ComponentToObjectText(&owner).find("ListField = 'DNAME'"), std::string::npos);
}

}  // namespace
