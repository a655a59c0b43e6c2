// Columns of the data grid: values that follow the field or the grid until
// assigned, widths, titles, sort markers, check boxes, column kinds, value
// stepping and the cell texts.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/GridDataLinkEx.h"
#include "platform/core/TextForm.h"
#include "platform/ui/ImageList.h"

namespace {

using ColumnsTest = GridFixture;

TEST(ColumnWithoutGrid, FallsBackToFixedDefaults) {
  EnsureGridTestApp();
  TCollection loose(ItemClassOf<TColumnEx>());
  auto* c = static_cast<TColumnEx*>(loose.Add());
  EXPECT_EQ(c->Grid(), nullptr);
  EXPECT_EQ(c->Color(), clWindow);
  EXPECT_EQ(c->Width(), 64);
  EXPECT_EQ(c->Alignment(), taLeftJustify);
  EXPECT_FALSE(c->ReadOnly());
  EXPECT_FALSE(c->WordWrap());
  for (bool v : {c->AlwaysShowEditButton(), c->AutoDropDown(), c->DblClickNextVal(),
                 c->DropDownShowTitles(), c->DropDownSizing(), c->EndEllipsis(), c->ToolTips(),
                 c->Title()->TitleButton(), c->Title()->EndEllipsis(), c->Title()->ToolTips()})
    EXPECT_FALSE(v);
  EXPECT_EQ(c->Title()->Color(), clBtnFace);
  EXPECT_EQ(c->Title()->Alignment(), taLeftJustify);
  EXPECT_EQ(c->Title()->Orientation(), tohHorizontal);
  EXPECT_TRUE(c->AssignedValues().Empty());
}

TEST_F(ColumnsTest, UnassignedValuesFollowTheGridAndTheFieldUntilAssigned) {
  Link();
  TColumnEx* c = AddColumn("PAY");
  ds->FieldByName("PAY")->SetAlignment(taRightJustify);
  grid->SetColor(clYellow);
  grid->Font()->SetHeight(-20);
  grid->ColumnDefValues()->SetToolTips(true);
  grid->ColumnDefValues()->Title()->SetTitleButton(true);
  grid->SetFixedColor(clGray);
  EXPECT_EQ(c->Color(), clYellow);
  EXPECT_EQ(c->Font()->Height(), -20);
  EXPECT_EQ(c->Alignment(), taRightJustify);
  EXPECT_TRUE(c->ToolTips());
  EXPECT_TRUE(c->Title()->TitleButton());
  EXPECT_EQ(c->Title()->Color(), clGray);
  EXPECT_EQ(c->Title()->Caption(), "PAY");
  EXPECT_TRUE(c->AssignedValues().Empty());

  c->SetColor(clRed);
  c->SetAlignment(taCenter);
  c->Font()->SetHeight(-9);  // changing the font the column returns assigns it
  c->Title()->SetCaption("Pay");
  grid->SetColor(clBlue);
  grid->Font()->SetHeight(-30);
  ds->FieldByName("PAY")->SetAlignment(taLeftJustify);
  EXPECT_EQ(c->Color(), clRed);
  EXPECT_EQ(c->Alignment(), taCenter);
  EXPECT_EQ(c->Font()->Height(), -9);
  EXPECT_EQ(grid->Font()->Height(), -30) << "the grid's own font is not the column's";
  EXPECT_EQ(c->Title()->Caption(), "Pay");
  EXPECT_TRUE(c->AssignedValues().Contains(cvColor));
  EXPECT_TRUE(c->AssignedValues().Contains(cvFont));
  EXPECT_TRUE(c->AssignedValues().Contains(cvTitleCaption));

  c->RestoreDefaults();
  EXPECT_EQ(c->Color(), clBlue);
  EXPECT_EQ(c->Font()->Height(), -30);
  EXPECT_EQ(c->Title()->Caption(), "PAY");
  EXPECT_TRUE(c->AssignedValues().Empty());
}

TEST_F(ColumnsTest, FootersFollowTheFieldAndTheGridsFooterSettings) {
  Link();
  TColumnEx* c = AddColumn("PAY");
  ds->FieldByName("PAY")->SetAlignment(taRightJustify);
  grid->SetFooterColor(clInfoBk);
  grid->FooterFont()->SetHeight(-17);
  TColumnFooterEx* f = c->Footers()->Add();
  EXPECT_EQ(f->Column(), c);
  EXPECT_EQ(f->Alignment(), taRightJustify);
  EXPECT_EQ(f->Color(), clInfoBk);
  EXPECT_EQ(f->Font()->Height(), -17);
  f->SetColor(clRed);
  grid->SetFooterColor(clWindow);
  EXPECT_EQ(f->Color(), clRed);
  EXPECT_EQ(c->Footer()->Color(), clWindow);
  EXPECT_EQ(c->UsedFooter(0), f);
  EXPECT_EQ(c->UsedFooter(1), c->Footer());

  TCollection loose(ItemClassOf<TColumnEx>());
  auto* outside = static_cast<TColumnEx*>(loose.Add());
  outside->Font()->SetHeight(-11);
  EXPECT_EQ(outside->Footer()->Color(), clWindow);
  EXPECT_EQ(outside->Footer()->Font()->Height(), -11) << "the column's font without grid";
  EXPECT_EQ(outside->Title()->Font()->Height(), -11);
}

TEST_F(ColumnsTest, ReadOnlyFollowsTheGridThenTheField) {
  Link();
  TColumnEx* c = AddColumn("PAY");
  EXPECT_FALSE(c->ReadOnly());
  ds->FieldByName("PAY")->SetReadOnly(true);
  EXPECT_TRUE(c->ReadOnly());
  ds->FieldByName("PAY")->SetReadOnly(false);
  grid->SetReadOnly(true);
  EXPECT_TRUE(c->ReadOnly());
}

TEST_F(ColumnsTest, DefaultsThatDependOnTheFieldType) {
  Link();
  TColumnEx* name = AddColumn("NAME");
  TColumnEx* pay = AddColumn("PAY");
  TColumnEx* ok = AddColumn("OK");
  EXPECT_TRUE(name->WordWrap());
  EXPECT_FALSE(pay->WordWrap());
  EXPECT_TRUE(ok->Checkboxes());
  EXPECT_EQ(ok->ColumnKind(), ckCheckboxes);
  EXPECT_FALSE(name->Checkboxes());
  // Width from the field's DisplayWidth in the column's font: 20 characters
  // of 7 pixels ("0" width 7, no overhang) plus 4.
  EXPECT_EQ(name->Width(), 20 * 7 + 4);
  TColumnEx* unbound = AddColumn("");
  EXPECT_EQ(unbound->Width(), grid->DefaultColWidth());
}

TEST_F(ColumnsTest, TitleAlignmentIsCentredWithMultiLevelTitles) {
  TColumnEx* c = AddColumn("NAME");
  EXPECT_EQ(c->Title()->Alignment(), taLeftJustify);
  grid->SetUseMultiTitle(true);
  EXPECT_EQ(c->Title()->Alignment(), taCenter);
  grid->ColumnDefValues()->Title()->SetAlignment(taRightJustify);
  EXPECT_EQ(c->Title()->Alignment(), taRightJustify);
}

TEST_F(ColumnsTest, WidthRules) {
  TColumnEx* c = AddColumn("");
  c->SetWidth(c->DefaultWidth());
  EXPECT_FALSE(c->AssignedValues().Contains(cvWidth)) << "the default is not a value of its own";
  c->SetWidth(80);
  EXPECT_EQ(c->Width(), 80);
  c->SetWidth(-1);
  EXPECT_EQ(c->Width(), 80) << "-1 is ignored";
  c->SetMaxWidth(50);
  EXPECT_EQ(c->Width(), 50);
  c->SetWidth(70);
  EXPECT_EQ(c->Width(), 50) << "the limit clamps later widths too";
  c->SetMinWidth(60);
  EXPECT_EQ(c->Width(), 60);
  EXPECT_EQ(c->ClampWidth(10), 60);
  EXPECT_EQ(c->ClampWidth(100), 50);
}

TEST_F(ColumnsTest, DefaultColumnWritesThroughToItsField) {
  Link();  // no stored columns: the grid shows one default column per field
  ASSERT_EQ(grid->Columns()->State(), csDefault);
  ASSERT_EQ(grid->Columns()->Count(), 5);
  TColumnEx* pay = grid->Columns()->Items(1);
  ASSERT_EQ(pay->Field(), ds->FieldByName("PAY"));
  pay->SetAlignment(taCenter);
  pay->Title()->SetCaption("Wage");
  pay->SetReadOnly(true);
  EXPECT_EQ(ds->FieldByName("PAY")->Alignment(), taCenter);
  EXPECT_EQ(ds->FieldByName("PAY")->DisplayLabel(), "Wage");
  EXPECT_TRUE(ds->FieldByName("PAY")->ReadOnly());
  EXPECT_FALSE(pay->AssignedValues().Contains(cvAlignment));
  EXPECT_EQ(pay->Title()->Caption(), "Wage");
}

TEST_F(ColumnsTest, AssignCopiesOnlyTheSourcesOwnValues) {
  TColumnEx* a = AddColumn("NAME");
  a->SetColor(clRed);
  a->Title()->SetCaption("Name");
  a->KeyList()->Add("Y");
  a->SetIncrement(2);
  TColumnEx* b = AddColumn("PAY");
  b->SetWidth(99);
  b->Assign(a);
  EXPECT_EQ(b->FieldName(), "NAME");
  EXPECT_EQ(b->Color(), clRed);
  EXPECT_EQ(b->Title()->Caption(), "Name");
  EXPECT_FALSE(b->AssignedValues().Contains(cvWidth)) << "Assign starts from the defaults";
  EXPECT_EQ(b->KeyList()->Count(), 1);
  EXPECT_EQ(b->Increment(), 2);
}

TEST_F(ColumnsTest, OnlyAssignedValuesAreWrittenAndReadBack) {
  grid->SetName("Grid1");
  grid->SetOptionsEx(grid->OptionsEx() + TDBGridExOptions{dghMultiSortMarking});
  TColumnEx* a = AddColumn("NAME");
  TColumnEx* b = AddColumn("PAY");
  a->Title()->SetCaption("Pay|Base");
  a->SetColor(clWindow);  // assigned, but equal to what it would be anyway
  b->SetWidth(77);
  b->KeyList()->Add("Y;y");
  b->Title()->SetSortMarker(smUpEx);
  a->Title()->SetSortMarker(smDownEx);
  b->Footer()->SetValueType(fvtSum);
  std::string text = ComponentToObjectText(grid);
  size_t from = text.find("Columns = <");
  std::string columns = text.substr(from, text.find("end>", from) - from);
  EXPECT_NE(columns.find("Caption = 'Pay|Base'"), std::string::npos) << columns;
  EXPECT_NE(columns.find("Width = 77"), std::string::npos) << columns;
  EXPECT_EQ(columns.find("Color"), std::string::npos) << columns;
  EXPECT_EQ(columns.find("Width = 64"), std::string::npos) << columns;
  EXPECT_EQ(columns.find("Alignment"), std::string::npos) << columns;
  EXPECT_EQ(columns.find("Footers"), std::string::npos) << columns;

  TDBGridEx copy(nullptr);
  ObjectTextToComponent(text, &copy);
  ASSERT_EQ(copy.Columns()->Count(), 2);
  TColumnEx* b2 = copy.Columns()->Items(1);
  EXPECT_EQ(copy.Columns()->Items(0)->Title()->Caption(), "Pay|Base");
  EXPECT_EQ(b2->Width(), 77);
  EXPECT_EQ(b2->KeyList()->Strings(0), "Y;y");
  EXPECT_EQ(b2->Footer()->ValueType(), fvtSum);
  EXPECT_FALSE(copy.Columns()->Items(0)->AssignedValues().Contains(cvWidth));
  EXPECT_EQ(copy.MarkedColumns(), (TColumnsExList{b2, copy.Columns()->Items(0)}))
      << "the marked columns come back in sort-index order";
  EXPECT_EQ(copy.Columns()->Items(0)->Title()->SortIndex(), 2);
}

// --- sort markers ------------------------------------------------------------

class SortMarkersTest : public GridFixture {
 protected:
  void SetUp() override {
    GridFixture::SetUp();
    a = AddColumn("NAME");
    b = AddColumn("PAY");
    c = AddColumn("N");
  }
  std::vector<int> Indexes() {
    return {a->Title()->SortIndex(), b->Title()->SortIndex(), c->Title()->SortIndex()};
  }
  TColumnEx *a, *b, *c;
};

TEST_F(SortMarkersTest, MultiSortMarkingNumbersColumnsInMarkingOrder) {
  grid->SetOptionsEx(grid->OptionsEx() + TDBGridExOptions{dghMultiSortMarking});
  a->Title()->SetSortMarker(smDownEx);
  b->Title()->SetSortMarker(smUpEx);
  c->Title()->SetSortMarker(smDownEx);
  EXPECT_EQ(Indexes(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(grid->MarkedColumns(), (TColumnsExList{a, b, c}));
  b->Title()->SetSortMarker(smDownEx);  // direction only
  EXPECT_EQ(Indexes(), (std::vector<int>{1, 2, 3}));

  b->Title()->SetSortMarker(smNoneEx);
  EXPECT_EQ(Indexes(), (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(grid->MarkedColumns(), (TColumnsExList{a, c}));

  c->Title()->SetSortIndex(1);
  EXPECT_EQ(Indexes(), (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(grid->MarkedColumns(), (TColumnsExList{c, a}));
  c->Title()->SetSortIndex(7);  // no column holds 7: ignored
  EXPECT_EQ(c->Title()->SortIndex(), 1);
  b->Title()->SetSortIndex(1);  // a column without marker ignores it
  EXPECT_EQ(b->Title()->SortIndex(), 0);
}

TEST_F(SortMarkersTest, SingleSortMarkingKeepsOneMarkedColumn) {
  a->Title()->SetSortMarker(smDownEx);
  b->Title()->SetSortMarker(smUpEx);
  EXPECT_EQ(a->Title()->SortMarker(), smNoneEx);
  EXPECT_EQ(Indexes(), (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(grid->MarkedColumns(), (TColumnsExList{b}));
  b->Title()->SetSortMarker(smNoneEx);
  EXPECT_TRUE(grid->MarkedColumns().empty());
  EXPECT_EQ(b->Title()->SortIndex(), 0);
}

TEST_F(SortMarkersTest, SwitchingMultiSortMarkingOffKeepsTheFirstMarker) {
  grid->SetOptionsEx(grid->OptionsEx() + TDBGridExOptions{dghMultiSortMarking});
  b->Title()->SetSortMarker(smDownEx);
  a->Title()->SetSortMarker(smDownEx);
  c->Title()->SetSortMarker(smUpEx);
  grid->SetOptionsEx(grid->OptionsEx() - TDBGridExOptions{dghMultiSortMarking});
  EXPECT_EQ(b->Title()->SortMarker(), smDownEx);
  EXPECT_EQ(a->Title()->SortMarker(), smNoneEx);
  EXPECT_EQ(c->Title()->SortMarker(), smNoneEx);
  EXPECT_EQ(grid->MarkedColumns(), (TColumnsExList{b}));
}

TEST_F(SortMarkersTest, ToggleCyclesThroughTheMarkers) {
  struct Case {
    TSortMarkerEx from;
    bool multi;
    TSortMarkerEx to;
  };
  const Case cases[] = {{smNoneEx, false, smDownEx}, {smDownEx, false, smUpEx},
                        {smUpEx, false, smDownEx},   {smNoneEx, true, smDownEx},
                        {smDownEx, true, smUpEx},    {smUpEx, true, smNoneEx}};
  grid->SetOptionsEx(grid->OptionsEx() + TDBGridExOptions{dghMultiSortMarking});
  for (const Case& k : cases) {
    b->Title()->SetSortMarker(k.from);
    b->Title()->ToggleSortMarker(k.multi);
    EXPECT_EQ(b->Title()->SortMarker(), k.to) << k.from << " multi " << k.multi;
  }
  a->Title()->SetSortMarker(smDownEx);
  b->Title()->ToggleSortMarker(false);
  EXPECT_EQ(a->Title()->SortMarker(), smNoneEx) << "a single toggle clears the other columns";
}

TEST_F(SortMarkersTest, MarkerRoomShrinksInNarrowColumns) {
  a->SetWidth(100);
  EXPECT_EQ(a->Title()->SortMarkerWidth(), 0);
  a->Title()->SetSortMarker(smDownEx);
  EXPECT_EQ(a->Title()->SortMarkerWidth(), 16);
  a->SetWidth(10);
  EXPECT_EQ(a->Title()->SortMarkerWidth(), 2);
}

// --- check boxes, kinds and stepping -------------------------------------------

TEST_F(ColumnsTest, CheckboxStateComesFromTheKeyList) {
  ds->AddRow({"a", 1.0, 1, "y", true});
  ds->AddRow({"b", 1.0, 1, "n", false});
  ds->AddRow({"c", 1.0, 1, "x", Variant::Null()});
  ds->AddRow({"d", 1.0, 1, Variant::Null(), true});
  Link();
  TColumnEx* flag = AddColumn("FLAG");
  flag->SetCheckboxes(true);
  flag->KeyList()->Add("Y;y");
  flag->KeyList()->Add("N;n");
  TColumnEx* bare = AddColumn("FLAG");
  TColumnEx* ok = AddColumn("OK");
  const TCheckBoxState expected[][3] = {{cbChecked, cbGrayed, cbChecked},
                                        {cbUnchecked, cbGrayed, cbUnchecked},
                                        {cbGrayed, cbGrayed, cbGrayed},
                                        {cbGrayed, cbGrayed, cbChecked}};
  for (int row = 0; row < 4; ++row) {
    GoTo(row);
    EXPECT_EQ(flag->GetCheckboxState(), expected[row][0]) << "row " << row;
    EXPECT_EQ(bare->GetCheckboxState(), expected[row][1]) << "row " << row;
    EXPECT_EQ(ok->GetCheckboxState(), expected[row][2]) << "row " << row;
  }

  GoTo(2);
  ds->Edit();
  flag->SetCheckboxState(cbChecked);
  EXPECT_EQ(ds->FieldByName("FLAG")->AsString(), "Y");
  flag->SetCheckboxState(cbUnchecked);
  EXPECT_EQ(ds->FieldByName("FLAG")->AsString(), "N");
  flag->SetCheckboxState(cbGrayed);
  EXPECT_TRUE(ds->FieldByName("FLAG")->IsNull());
  ok->SetCheckboxState(cbChecked);
  EXPECT_TRUE(ds->FieldByName("OK")->AsBoolean());
}

TEST_F(ColumnsTest, ColumnKindsInOrderOfPrecedence) {
  Link();
  TColumnEx* c = AddColumn("NAME");
  EXPECT_EQ(c->ColumnKind(), ckCommon);
  c->PickList()->Add("one");
  EXPECT_EQ(c->ColumnKind(), ckPickList);
  c->KeyList()->Add("1");
  EXPECT_EQ(c->ColumnKind(), ckKeyPickList);
  TImageList images(nullptr);
  c->SetImageList(&images);
  EXPECT_EQ(c->ColumnKind(), ckKeyImageList);
  c->SetCheckboxes(true);
  EXPECT_EQ(c->ColumnKind(), ckCheckboxes);
  c->SetImageList(nullptr);
}

TEST_F(ColumnsTest, SteppingWalksTheKeyListAndWrapsAround) {
  ds->AddRow({"a", 1.0, 1, "C", true});
  Link();
  TColumnEx* c = AddColumn("FLAG");
  c->KeyList()->SetText("A\r\nB\r\nC\r\n");
  c->PickList()->SetText("Alpha\r\nBeta\r\nGamma\r\n");
  ASSERT_EQ(c->ColumnKind(), ckKeyPickList);
  TField* flag = ds->FieldByName("FLAG");
  c->SetNextFieldValue(1);
  EXPECT_EQ(flag->AsString(), "A") << "forward from the last key";
  c->SetNextFieldValue(1);
  EXPECT_EQ(flag->AsString(), "B");
  c->SetNextFieldValue(-1);
  EXPECT_EQ(flag->AsString(), "A");
  c->SetNextFieldValue(-1);
  EXPECT_EQ(flag->AsString(), "C") << "backward from the first key";
  flag->SetAsString("Z");
  c->SetNextFieldValue(-1);
  EXPECT_EQ(flag->AsString(), "C") << "backward from a value not in the list";
  EXPECT_EQ(c->GetDisplayText(), "Gamma");
}

TEST_F(ColumnsTest, SteppingAPickListWritesItsTexts) {
  ds->AddRow({"b", 1.0, 1, "Y", true});
  Link();
  TColumnEx* c = AddColumn("NAME");
  c->PickList()->SetText("a\r\nb\r\nc\r\n");
  ASSERT_EQ(c->ColumnKind(), ckPickList);
  TField* name = ds->FieldByName("NAME");
  const struct {
    double increment;
    const char* expected;
  } steps[] = {{1, "c"}, {1, "a"}, {-1, "c"}, {-1, "b"}, {2, "a"}};  // any step but 1 goes back
  for (const auto& k : steps) {
    AnsiString before = name->AsString();
    c->SetNextFieldValue(k.increment);
    EXPECT_EQ(name->AsString(), k.expected) << before << " by " << k.increment;
  }
}

TEST_F(ColumnsTest, SteppingNumbersAddsTheIncrement) {
  ds->AddRow({"a", 1.5, Variant::Null(), "Y", true});
  Link();
  TColumnEx* n = AddColumn("N");
  TColumnEx* pay = AddColumn("PAY");
  pay->SetIncrement(0.25);
  n->SetNextFieldValue(1);
  EXPECT_EQ(ds->FieldByName("N")->AsInteger(), 0) << "a null number becomes 0";
  n->SetNextFieldValue(1);
  EXPECT_EQ(ds->FieldByName("N")->AsInteger(), 1);
  pay->SetNextFieldValue(pay->Increment());
  EXPECT_DOUBLE_EQ(ds->FieldByName("PAY")->AsFloat(), 1.75);
  EXPECT_EQ(ds->State(), dsEdit);
}

TEST_F(ColumnsTest, SteppingIsRefusedWhereTheCellCannotChange) {
  ds->AddRow({"a", 1.0, 5, "Y", true});
  Link();
  TColumnEx* n = AddColumn("N");
  grid->SetReadOnly(true);
  n->SetNextFieldValue(1);
  grid->SetReadOnly(false);
  n->SetReadOnly(true);
  n->SetNextFieldValue(1);
  n->SetReadOnly(false);
  grid->SetAllowedOperations({alopInsertEx});
  n->SetNextFieldValue(1);
  EXPECT_EQ(ds->FieldByName("N")->AsInteger(), 5);
  EXPECT_EQ(ds->State(), dsBrowse);
  grid->SetAllowedOperations({alopUpdateEx});
  EXPECT_TRUE(n->CanModify(false));
}

TEST_F(ColumnsTest, DisplayTextMapsKeysToPickListItems) {
  ds->AddRow({"a", 1.0, 1, "B", true});
  ds->AddRow({"b", 1.0, 1, "Q", true});
  Link();
  TColumnEx* c = AddColumn("FLAG");
  c->KeyList()->SetText("A\r\nB\r\n");
  c->PickList()->SetText("Alpha\r\nBeta\r\n");
  GoTo(0);
  EXPECT_EQ(c->GetDisplayText(), "Beta");
  GoTo(1);
  EXPECT_EQ(c->GetDisplayText(), "");
  c->SetNotInKeyListIndex(0);
  EXPECT_EQ(c->GetDisplayText(), "Alpha");
  TColCellParamsEx params;
  c->FillColCellParams(&params);
  EXPECT_EQ(params.Text, "Alpha");
  EXPECT_EQ(params.Font, c->Font());
  EXPECT_EQ(params.ImageIndex, -1);
}

TEST_F(ColumnsTest, UpdateDataHandlerCanTakeOverTheWrite) {
  ds->AddRow({"a", 1.0, 1, "Y", true});
  Link();
  TColumnEx* c = AddColumn("NAME");
  ds->Edit();
  c->OnUpdateData = [](TObject*, AnsiString& text, Variant&, bool&, bool& handled) {
    handled = text == "skip";
    text = "[" + text + "]";
  };
  c->UpdateDataValues("skip", Variant::Null(), true);
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "a");
  c->UpdateDataValues("x", Variant::Null(), true);
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "[x]");
}

TEST_F(ColumnsTest, ColumnLosesItsFieldWhenTheDatasetCloses) {
  ds->AddRow({"a", 1.0, 1, "Y", true});
  Link();
  TColumnEx* c = AddColumn("PAY");
  ASSERT_NE(c->Field(), nullptr);
  ds->Close();  // default fields are freed
  EXPECT_EQ(c->Field(), nullptr);
  EXPECT_EQ(c->Alignment(), taLeftJustify);
  ds->Open();
  EXPECT_EQ(c->Field(), ds->FieldByName("PAY"));
}

}  // namespace

namespace {

// Employees with a department code and a lookup of the department's name.
class LookupColumnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureGridTestApp();
    depts.AddColumn("CODE", ftString, 2);
    depts.AddColumn("DNAME", ftString, 10);
    for (const char* code : {"01", "02", "03"}) depts.AddRow({code, std::string("D") + code});
    emps.AddColumn("ID", ftInteger);
    emps.AddColumn("DEPT", ftString, 2);
    emps.AddRow({1, "01"});
    emps.AddRow({2, Variant::Null()});
    auto* id = new TIntegerField(&emps);
    id->SetFieldName("ID");
    id->SetDataSet(&emps);
    AddStringField(&emps, "DEPT", 2);
    AddDeptNameLookup(&emps, "DEPTNAME", 10, &depts, "DEPT");
    emps.Open();
    source.SetDataSet(&emps);
    grid = std::make_unique<TDBGridEx>(nullptr);
    grid->SetDataSource(&source);
    column = grid->Columns()->Add();
    column->SetFieldName("DEPTNAME");
  }
  void TearDown() override { grid.reset(); }

  TMemDataSet depts, emps;
  TDataSource source{nullptr};
  std::unique_ptr<TDBGridEx> grid;
  TColumnEx* column = nullptr;
};

TEST_F(LookupColumnTest, SteppingWalksTheLookupDatasetAndWraps) {
  ASSERT_EQ(column->ColumnKind(), ckLookup);
  TField* dept = emps.FieldByName("DEPT");
  const struct {
    double increment;
    const char* code;
  } steps[] = {{1, "02"}, {1, "03"}, {1, "01"}, {-1, "03"}, {-1, "02"}};
  for (const auto& k : steps) {
    column->SetNextFieldValue(k.increment);
    EXPECT_EQ(dept->AsString(), k.code) << "by " << k.increment;
    EXPECT_EQ(column->Field()->AsString(), std::string("D") + k.code);
  }
  emps.Post();
  emps.Next();  // DEPT is null: the first department
  column->SetNextFieldValue(-1);
  EXPECT_EQ(dept->AsString(), "01");
}

}  // namespace
