// The sum list: fixed-point aggregates kept current through the dataset's
// listeners on insert, edit, post and delete, full recalculation on open,
// filter change and master scroll, and the footer texts built from them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "GridTestSupport.h"
#include "grid/DBSumList.h"

namespace {

class SumListTest : public GridFixture {
 protected:
  // PAY 10, 20, null; N 1, 2, null.
  void SetUp() override {
    GridFixture::SetUp();
    ds->AddRow({"a", 10.0, 1, "Y", true});
    ds->AddRow({"b", 20.0, 2, "N", false});
    ds->AddRow({"c", Variant::Null(), Variant::Null(), "Y", true});
    pay = AddColumn("PAY");
    pay->Footer()->SetValueType(fvtSum);
    pay->Footers()->Add()->SetValueType(fvtAvg);
    pay->Footers()->Add()->SetValueType(fvtCount);
    name = AddColumn("NAME");
    grid->SumList()->SetActive(true);
    grid->SumList()->OnRecalcAll = [this](TObject*) { ++recalcs; };
    Link();
  }
  std::int64_t Sum() { return grid->SumList()->FindSum(goSum, "PAY")->SumValue; }
  std::int64_t Avg() { return grid->SumList()->FindSum(goAvg, "PAY")->SumValue; }
  std::int64_t Count() { return grid->SumList()->FindSum(goCount, "")->SumValue; }
  void SetPay(int row, const Variant& value) {
    GoTo(row);
    ds->Edit();
    ds->FieldByName("PAY")->SetValue(value);
    ds->Post();
  }

  TColumnEx* pay = nullptr;
  TColumnEx* name = nullptr;
  int recalcs = 0;
};

TEST_F(SumListTest, OpeningTheDatasetComputesEveryAggregate) {
  EXPECT_EQ(Sum(), 300000);
  EXPECT_EQ(Avg(), 150000);
  EXPECT_EQ(grid->SumList()->FindSum(goAvg, "pay")->Count, 2) << "names match in any case";
  EXPECT_EQ(Count(), 30000);
  EXPECT_EQ(recalcs, 1);
}

TEST_F(SumListTest, EditsInsertsAndDeletesAdjustTheSumsExactly) {
  SetPay(0, 12.5);
  EXPECT_EQ(Sum(), 325000) << "10 -> 12.5 adds exactly 2.5";
  ds->Append();
  ds->FieldByName("PAY")->SetAsFloat(0.1);
  ds->Post();
  EXPECT_EQ(Sum(), 326000);
  EXPECT_EQ(Count(), 40000);
  GoTo(1);
  ds->Edit();
  ds->FieldByName("PAY")->SetAsFloat(99);
  ds->Cancel();
  EXPECT_EQ(Sum(), 326000) << "a cancelled edit changes nothing";
  GoTo(1);
  ds->Delete();
  EXPECT_EQ(Sum(), 126000);
  EXPECT_EQ(Count(), 30000);
  EXPECT_EQ(recalcs, 1) << "no step re-read the dataset";
}

TEST_F(SumListTest, AverageCountsOnlyNonNullValues) {
  SetPay(0, 1.0);
  SetPay(1, 2.0);
  EXPECT_EQ(Avg(), 15000);
  SetPay(2, 3.0);  // the null becomes 3
  EXPECT_EQ(Avg(), 20000);
  EXPECT_EQ(grid->SumList()->FindSum(goAvg, "PAY")->Count, 3);
  GoTo(2);
  ds->Delete();
  EXPECT_EQ(Avg(), 15000);
  EXPECT_EQ(grid->SumList()->FindSum(goAvg, "PAY")->Count, 2);
  SetPay(0, Variant::Null());
  EXPECT_EQ(Avg(), 20000);
}

TEST_F(SumListTest, CountWithAFieldNameSkipsNulls) {
  TDBSum* counted = grid->SumList()->SumCollection()->Add();
  counted->SetGroupOperation(goCount);
  counted->SetFieldName("N");
  EXPECT_EQ(counted->SumValue, 20000);
  SetPay(2, 5.0);  // N stays null
  EXPECT_EQ(counted->SumValue, 20000);
  GoTo(2);
  ds->Edit();
  ds->FieldByName("N")->SetAsInteger(3);
  ds->Post();
  EXPECT_EQ(counted->SumValue, 30000);
  GoTo(0);
  ds->Delete();
  EXPECT_EQ(counted->SumValue, 20000);
}

TEST_F(SumListTest, InsertedRecordsWithDefaultValuesAreCounted) {
  TDBSum* counted = grid->SumList()->SumCollection()->Add();
  counted->SetGroupOperation(goCount);
  counted->SetFieldName("N");
  ds->OnNewRecord = [](TDataSet* d) {
    d->FieldByName("N")->SetAsInteger(7);
    d->FieldByName("PAY")->SetAsFloat(1);
  };
  ds->Append();
  ds->Post();
  EXPECT_EQ(counted->SumValue, 30000);
  EXPECT_EQ(Count(), 40000);
  EXPECT_EQ(Sum(), 310000);
  EXPECT_EQ(Avg(), 103333) << "(10 + 20 + 1) / 3";
}

TEST_F(SumListTest, DeletingARecordBeingEditedSubtractsItsStoredValue) {
  GoTo(0);
  ds->Edit();
  ds->FieldByName("PAY")->SetAsFloat(500);
  ds->Delete();
  EXPECT_EQ(Sum(), 200000);
  EXPECT_EQ(Avg(), 200000);
  EXPECT_EQ(grid->SumList()->FindSum(goAvg, "PAY")->Count, 1);
  EXPECT_EQ(Count(), 20000);
}

TEST(SumValue, ValuesThatDoNotFitTheFixedPointFormAreRefused) {
  EXPECT_EQ(ScaleSumValue(12.34567), 123457);
  EXPECT_EQ(ScaleSumValue(-0.00005), -1);
  EXPECT_EQ(ScaleSumValue(9e14), 9000000000000000000);
  for (double bad : {1e300, -1e16, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity()})
    EXPECT_THROW(ScaleSumValue(bad), EOverflow) << bad;
}

TEST_F(SumListTest, PostingAnUnsummableValueRaisesInsteadOfWrapping) {
  ds->Append();
  ds->FieldByName("PAY")->SetAsFloat(1e300);
  EXPECT_THROW(ds->Post(), EOverflow);
  EXPECT_EQ(Sum(), 300000) << "the sum is left as it was, not wrapped";
}

TEST_F(SumListTest, LongSumsRaiseInsteadOfWrapping) {
  SetPay(0, 4e14);
  SetPay(1, 4e14);
  EXPECT_EQ(Sum(), 8000000000000000000);
  ds->Append();
  ds->FieldByName("PAY")->SetAsFloat(4e14);
  EXPECT_THROW(ds->Post(), EOverflow);
  EXPECT_EQ(Sum(), 8000000000000000000);
}

TEST_F(SumListTest, RecalculationKeepsTheCursorAndReleasesTheControls) {
  GoTo(1);
  grid->SumList()->RecalcAll();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "b");
  EXPECT_FALSE(ds->ControlsDisabled());

  ds->AddRow({"huge", 1e300, 1, "Y", true});  // stored behind the cursor's back
  EXPECT_THROW(grid->SumList()->RecalcAll(), EOverflow);
  EXPECT_FALSE(ds->ControlsDisabled()) << "a failing walk must enable the controls again";
  EXPECT_FALSE(grid->SumList()->Recalculating());
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "b");
}

TEST_F(SumListTest, ApplicationHandlersAndOtherListenersAreNeverLost) {
  int handled = 0;
  ds->AfterPost = [&](TDataSet*) { ++handled; };  // assigned after the sum list hooked
  TDBSumListProducer other(nullptr);
  TDBSum* otherSum = other.SumCollection()->Add();
  otherSum->SetFieldName("PAY");
  other.SetDataSet(ds.get());
  EXPECT_EQ(otherSum->SumValue, 300000);

  SetPay(0, 11.0);
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(Sum(), 310000);
  EXPECT_EQ(otherSum->SumValue, 310000);

  grid->SumList()->SetActive(false);  // unhooks only itself
  SetPay(0, 12.0);
  EXPECT_EQ(handled, 2);
  EXPECT_EQ(otherSum->SumValue, 320000);
  EXPECT_EQ(Sum(), 0);

  other.SetActive(false);
  grid->SumList()->SetActive(true);
  ds->AfterPost = [&](TDataSet*) { handled += 10; };
  SetPay(0, 13.0);
  EXPECT_EQ(handled, 12);
  EXPECT_EQ(Sum(), 330000);
  EXPECT_EQ(otherSum->SumValue, 0);
}

TEST_F(SumListTest, FilterChangesRecalculateOnTheNextScroll) {
  ds->SetOnFilterRecord(
      [](TDataSet* d, bool& accept) { accept = d->FieldByName("NAME")->AsString() != "b"; });
  int before = recalcs;
  ds->Next();
  EXPECT_EQ(recalcs, before) << "scrolling without a filter change";
  ds->SetFiltered(true);
  EXPECT_EQ(recalcs, before + 1);
  EXPECT_EQ(Sum(), 100000);
  EXPECT_EQ(Count(), 20000);
  ds->Next();
  EXPECT_EQ(recalcs, before + 1);
  ds->SetFilter("changed");
  ds->Prior();
  EXPECT_EQ(recalcs, before + 2) << "a changed filter text while filtered";
}

TEST_F(SumListTest, ExternalRecalcLeavesTheValuesToTheApplication) {
  grid->SumList()->SetExternalRecalc(true);
  int before = recalcs;
  ds->Close();
  ds->Open();
  EXPECT_EQ(Sum(), 0);
  EXPECT_EQ(recalcs, before + 1);
}

TEST_F(SumListTest, ClosingClearsAndReopeningRecomputes) {
  ds->Close();
  EXPECT_EQ(Sum(), 0);
  ds->Open();
  EXPECT_EQ(Sum(), 300000);
}

TEST_F(SumListTest, VirtualRecordsNumberAFilteredDataset) {
  ds->SetOnFilterRecord(
      [](TDataSet* d, bool& accept) { accept = d->FieldByName("NAME")->AsString() != "b"; });
  ds->SetFiltered(true);
  TDBGridExSumList* sums = grid->SumList();
  EXPECT_FALSE(sums->IsSequenced());
  sums->SetVirtualRecords(true);
  EXPECT_TRUE(sums->IsSequenced());
  EXPECT_EQ(sums->RecordCount(), 2);
  ds->Last();
  EXPECT_EQ(sums->RecNo(), 2);
  sums->SetRecNo(1);
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "a");
  ds->Append();
  ds->FieldByName("NAME")->SetAsString("d");
  ds->Post();
  EXPECT_EQ(sums->RecordCount(), 3);
  EXPECT_EQ(sums->RecNo(), 3);
  ds->First();
  ds->Delete();
  EXPECT_EQ(sums->RecordCount(), 2);
}

// A detail dataset whose master is another dataset.
class TDetailMemDataSet : public TMemDataSet {
 public:
  TDataSource* Master = nullptr;
  TDataSource* GetDataSource() override { return Master; }
};

TEST_F(SumListTest, MasterScrollRecalculates) {
  TMemDataSet master;
  master.AddColumn("ID", ftInteger);
  master.AddRow({1});
  master.AddRow({2});
  master.Open();
  TDataSource masterSource(nullptr);
  masterSource.SetDataSet(&master);
  TDetailMemDataSet detail;
  detail.Master = &masterSource;
  detail.AddColumn("PAY", ftFloat);
  detail.AddRow({4.0});
  detail.Open();
  TDBSumListProducer sums(nullptr);
  sums.SumCollection()->Add()->SetFieldName("PAY");
  int count = 0;
  sums.OnRecalcAll = [&](TObject*) { ++count; };
  sums.SetDataSet(&detail);
  EXPECT_EQ(sums.MasterDataSet(), &master);
  EXPECT_EQ(count, 1);
  master.Next();
  EXPECT_EQ(count, 2);
  sums.SetActive(false);
  master.Prior();
  EXPECT_EQ(count, 2);
}

TEST_F(SumListTest, FooterTexts) {
  auto* payField = static_cast<TFloatField*>(ds->FieldByName("PAY"));
  payField->SetDisplayFormat("#,##0.00");
  EXPECT_EQ(grid->GetFooterValue(0, pay), "15.00");
  EXPECT_EQ(grid->GetFooterValue(1, pay), "3");
  EXPECT_EQ(grid->GetFooterValue(2, pay), "30.00") << "a row without its own footer uses Footer";
  EXPECT_EQ(grid->GetFooterValue(7, pay), "30.00");
  payField->SetDisplayFormat("");
  EXPECT_EQ(grid->GetFooterValue(2, pay), "30");
  payField->SetCurrency(true);
  EXPECT_NE(std::string(grid->GetFooterValue(2, pay)).find("30.00"), std::string::npos);

  TColumnEx* n = AddColumn("N");
  n->Footer()->SetValueType(fvtAvg);
  EXPECT_EQ(grid->GetFooterValue(0, n), "2") << "1.5 shown as a whole number";

  name->Footer()->SetValueType(fvtFieldValue);
  name->Footer()->SetFieldName("NAME");
  GoTo(1);
  EXPECT_EQ(grid->GetFooterValue(0, name), "b");
  name->Footer()->SetFieldName("MISSING");
  EXPECT_EQ(grid->GetFooterValue(0, name), "") << "a missing field shows nothing";
  name->Footer()->SetValueType(fvtSum);
  EXPECT_EQ(grid->GetFooterValue(0, name), "0");
  SetPay(0, 1.0);  // the sum item on the missing field does not fail edits
  name->Footer()->SetValueType(fvtStaticText);
  name->Footer()->SetValue("Total");
  ds->Close();
  EXPECT_EQ(grid->GetFooterValue(0, name), "Total");
  name->Footer()->SetValueType(fvtNon);
  EXPECT_EQ(grid->GetFooterValue(0, name), "");
}

TEST_F(SumListTest, FooterTypeChangesKeepTheSumItemsInStep) {
  TDBSumCollection* items = grid->SumList()->SumCollection();
  EXPECT_EQ(items->Count(), 3);
  pay->Footer()->SetFieldName("N");
  EXPECT_EQ(pay->Footer()->SumItem()->FieldName(), "N");
  EXPECT_EQ(pay->Footer()->SumItem()->SumValue, 30000);
  pay->Footer()->SetValueType(fvtStaticText);
  EXPECT_EQ(pay->Footer()->SumItem(), nullptr);
  EXPECT_EQ(items->Count(), 2);
  pay->Footers()->Delete(0);
  EXPECT_EQ(items->Count(), 1);
}

TEST_F(SumListTest, DatasetDestroyedWhileTheGridShowsIt) {
  ASSERT_NE(pay->Field(), nullptr);
  ds.reset();
  EXPECT_EQ(pay->CachedField(), nullptr);
  EXPECT_FALSE(grid->SumList()->Hooked());
  EXPECT_EQ(grid->GetFooterValue(2, pay), "0");
  grid->LayoutChanged();
  EXPECT_EQ(pay->Field(), nullptr);
}

TEST_F(SumListTest, DestroyingTheDatasetUnhooksTheSumList) {
  TDBSumListProducer sums(nullptr);
  sums.SumCollection()->Add()->SetFieldName("PAY");
  sums.SetDataSet(ds.get());
  grid->SetDataSource(nullptr);
  source.reset();
  // The producer is no component: it needs its owner's notification or an
  // explicit unlink; the grid's sum list got it through the grid.
  sums.ComponentRemoved(ds.get());
  ds.reset();
  EXPECT_EQ(sums.DataSet(), nullptr);
  EXPECT_FALSE(sums.Hooked());
}

}  // namespace
