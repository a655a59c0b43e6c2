// The grid's data link: the field map from columns to fields, default
// columns built from the dataset, and the notifications it forwards.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/GridDataLinkEx.h"
#include "grid/GridExUtils.h"

namespace {

using DataLinkTest = GridFixture;

TEST_F(DataLinkTest, FieldMapGrowsByDoubling) {
  Link();
  TGridDataLinkEx* link = grid->DataLink();
  link->ClearMapping();
  link->SetSparseMap(true);
  const int sizes[] = {8, 8, 8, 8, 8, 8, 8, 8, 16, 16, 16, 16, 16, 16, 16, 16, 32};
  for (int expected : sizes) {
    link->AddMapping("PAY");
    EXPECT_EQ(link->FieldMapSize(), expected) << "after " << link->FieldCount();
  }
}

TEST_F(DataLinkTest, SparseMapAllowsMissingFields) {
  Link();
  TGridDataLinkEx* link = grid->DataLink();
  link->ClearMapping();
  link->SetSparseMap(true);
  link->AddMapping("N");
  link->AddMapping("GONE");
  EXPECT_EQ(link->FieldMapEntry(0), ds->FieldByName("N")->Index());
  EXPECT_EQ(link->FieldMapEntry(1), -1);
  EXPECT_EQ(link->Fields(0), ds->FieldByName("N"));
  EXPECT_EQ(link->Fields(1), nullptr);
  EXPECT_EQ(link->Fields(2), nullptr);
  EXPECT_FALSE(link->DefaultFields());
  link->SetSparseMap(false);
  EXPECT_THROW(link->AddMapping("GONE"), EDatabaseError);
}

TEST_F(DataLinkTest, DefaultColumnsFollowTheVisibleFields) {
  grid->LayoutChanged();
  EXPECT_EQ(grid->Columns()->Count(), 1) << "an unlinked grid shows one empty column";
  ds->Open();
  ds->FieldByName("FLAG")->SetVisible(false);
  grid->SetDataSource(source.get());
  ASSERT_EQ(grid->Columns()->Count(), 4);
  EXPECT_EQ(grid->Columns()->State(), csDefault);
  EXPECT_EQ(grid->Columns()->Items(3)->FieldName(), "OK");
  EXPECT_TRUE(grid->DataLink()->DefaultFields());
  ds->Close();
  EXPECT_EQ(grid->Columns()->Count(), 1);
}

TEST_F(DataLinkTest, StoredColumnsReplaceDefaultOnesAndMapByName) {
  Link();
  ASSERT_EQ(grid->Columns()->State(), csDefault);
  TColumnEx* c = AddColumn("N");
  AddColumn("GONE");
  grid->LayoutChanged();
  EXPECT_EQ(grid->Columns()->State(), csCustomized);
  ASSERT_EQ(grid->Columns()->Count(), 2);
  EXPECT_EQ(grid->Columns()->Items(0), c);
  EXPECT_TRUE(grid->DataLink()->SparseMap());
  EXPECT_EQ(grid->DataLink()->Fields(0), ds->FieldByName("N"));
  EXPECT_EQ(grid->DataLink()->Fields(1), nullptr);
}

TEST_F(DataLinkTest, ResetCancelsAnUnchangedEdit) {
  ds->AddRow({"a", 1.0, 1, "Y", true});
  Link();
  ds->Edit();
  grid->DataLink()->Reset();
  EXPECT_EQ(ds->State(), dsBrowse);
}

TEST_F(DataLinkTest, FocusControlSelectsTheFieldsColumn) {
  ds->AddRow({"a", 1.0, 1, "Y", true});
  AddColumn("NAME");
  AddColumn("PAY");
  Link();
  ds->FieldByName("PAY")->FocusControl();
  EXPECT_EQ(grid->SelectedIndex(), 1);
}

TEST(FitTextWithEllipsis, ShortensUntilTheTextFits) {
  EnsureGridTestApp();
  TFixedFontMetrics metrics(TTextMetric{16, 13, 3, 3, 0, 7, 14, 0});
  SetFontMetricsSourceForTest(&metrics);
  TCanvas canvas;
  EXPECT_EQ(FitTextWithEllipsis("abc", &canvas, 21), "abc");
  EXPECT_EQ(FitTextWithEllipsis("abcdefgh", &canvas, 42), "abc...");
  EXPECT_EQ(FitTextWithEllipsis("abcdefgh", &canvas, 5), "...");
  // Never half a double-byte character (14 pixels each): with 43 pixels
  // "工" plus a lone lead byte plus "..." would just fit.
  EXPECT_EQ(FitTextWithEllipsis("工资单据", &canvas, 43), "工...");
  SetFontMetricsSourceForTest(nullptr);
}

}  // namespace
