#include "report/ReportDatasets.h"

#include <gtest/gtest.h>

#include "MemDataSet.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"
#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"

namespace {

// The ids a band would print: Init, First, while !Eof Next, Exit.
std::vector<int> Walk(TrbDataset& ds, TDataSet* source) {
  std::vector<int> ids;
  ds.Init();
  ds.First();
  while (!ds.Eof() && ids.size() < 100) {
    ids.push_back(source ? source->FieldByName("ID")->AsInteger() : ds.RecNo());
    ds.Next();
  }
  ds.Exit();
  return ids;
}

TEST(TrbUserDatasetTest, CountedRangeEndsAfterItsCount) {
  TrbUserDataset ds(nullptr);
  ds.SetRangeEnd(reCount);
  ds.SetRangeEndCount(3);
  int nexts = 0;
  ds.OnNext = [&](TObject*) { ++nexts; };
  EXPECT_EQ(Walk(ds, nullptr), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(nexts, 2);

  ds.SetRangeEndCount(0);
  ds.First();
  EXPECT_TRUE(ds.Eof());
}

TEST(TrbUserDatasetTest, CheckEofCanEndOrExtendARun) {
  TrbUserDataset ds(nullptr);
  ds.OnCheckEOF = [&](TObject*, bool& eof) { eof = ds.RecNo() >= 2; };
  EXPECT_EQ(Walk(ds, nullptr).size(), 2u);

  ds.SetRangeEnd(reCount);
  ds.SetRangeEndCount(1);
  ds.OnCheckEOF = [&](TObject*, bool& eof) { eof = ds.RecNo() >= 4; };
  EXPECT_EQ(Walk(ds, nullptr).size(), 4u);
}

struct DBDataSetTest : ::testing::Test {
  DBDataSetTest() {
    mem.AddColumn("ID", ftInteger);
    mem.AddColumn("Pic", ftBlob);
    for (int i = 1; i <= 5; ++i) mem.AddRow({i, Variant::Null()});
    ds.SetName("rbDS");
  }
  void GoTo(int id) {
    mem.First();
    while (mem.FieldByName("ID")->AsInteger() != id) mem.Next();
  }
  TMemDataSet mem;
  TrbDBDataSet ds{nullptr};
};

TEST_F(DBDataSetTest, RangesOverTheSource) {
  ds.SetDataSet(&mem);
  mem.Open();
  struct Case {
    TRangeBegin begin;
    TRangeEnd end;
    std::vector<int> ids;
    int leftOn;
  } cases[] = {
      {rbFirst, reLast, {1, 2, 3, 4, 5}, 0},
      {rbCurrent, reLast, {3, 4, 5}, 3},
      {rbFirst, reCurrent, {1, 2, 3}, 3},
      {rbCurrent, reCurrent, {3}, 3},
  };
  for (const auto& c : cases) {
    GoTo(3);
    ds.SetRangeBegin(c.begin);
    ds.SetRangeEnd(c.end);
    EXPECT_EQ(Walk(ds, &mem), c.ids) << c.begin << c.end;
    if (c.leftOn) {
      EXPECT_EQ(mem.FieldByName("ID")->AsInteger(), c.leftOn);
    }
  }
  ds.SetRangeBegin(rbFirst);
  ds.SetRangeEnd(reCount);
  ds.SetRangeEndCount(2);
  EXPECT_EQ(Walk(ds, &mem), (std::vector<int>{1, 2}));
}

TEST_F(DBDataSetTest, OpensAndClosesTheSourceAsAsked) {
  ds.SetDataSet(&mem);
  int opened = 0, closed = 0;
  ds.OnOpen = [&](TObject*) { ++opened; };
  ds.OnClose = [&](TObject*) { ++closed; };
  EXPECT_EQ(Walk(ds, &mem).size(), 5u);
  EXPECT_TRUE(mem.Active());
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(closed, 1);

  ds.SetCloseDataSource(true);
  Walk(ds, &mem);
  EXPECT_FALSE(mem.Active());

  ds.SetOpenDataSource(false);  // a closed source reads as empty
  EXPECT_TRUE(Walk(ds, &mem).empty());
}

TEST_F(DBDataSetTest, DataSetAndDataSourceExcludeEachOther) {
  TDataSource src(nullptr);
  src.SetDataSet(&mem);
  ds.SetDataSet(&mem);
  ds.SetDataSource(&src);
  EXPECT_EQ(ds.DataSet(), nullptr);
  ds.SetDataSource(nullptr);
  ds.SetDataSet(&mem);
  ds.SetDataSource(nullptr);  // nil leaves DataSet
  EXPECT_EQ(ds.DataSet(), &mem);
  ds.SetDataSource(&src);
  ds.SetDataSet(&mem);  // DataSet always clears DataSource
  EXPECT_EQ(ds.DataSource(), nullptr);
}

TEST_F(DBDataSetTest, ARemovedSourceIsForgottenAndReported) {
  {
    TDataSource src(nullptr);
    src.SetDataSet(&mem);
    ds.SetDataSource(&src);
    EXPECT_EQ(Walk(ds, &mem).size(), 5u);
  }
  EXPECT_EQ(ds.DataSource(), nullptr);
  try {
    ds.Init();
    FAIL();
  } catch (const EDSError& e) {
    EXPECT_EQ(e.Message(), "Unable to open dataset rbDS");
  }
}

TEST_F(DBDataSetTest, BlobFieldsAndFieldNames) {
  mem.Open();
  EXPECT_TRUE(IsBlobField(mem.FieldByName("Pic")));
  EXPECT_FALSE(IsBlobField(mem.FieldByName("ID")));
  EXPECT_FALSE(IsBlobField(nullptr));
  mem.Edit();
  mem.FieldByName("Pic")->SetAsString("bytes");
  mem.Post();
  TMemoryStream stream;
  AssignBlobField(mem.FieldByName("Pic"), &stream);
  EXPECT_EQ(stream.Size(), 5);
  EXPECT_EQ(stream.Position(), 0);

  TStringList names;
  GetDataSetFieldNames(&mem, &names);
  EXPECT_EQ(names.CommaText(), "ID,Pic");
}

}  // namespace

namespace {

TEST(ReportLookups, DataSourcesAndFieldReferencesByName) {
  TComponent form(nullptr);
  auto* mem = new TMemDataSet(&form);
  mem->SetName("Query1");
  mem->AddColumn("F01", ftFloat);
  mem->AddRow({1.0});
  auto* rb = new TrbDBDataSet(&form);
  rb->SetName("rbDS");
  rb->SetDataSet(mem);
  auto* src = new TDataSource(&form);
  src->SetName("Source1");

  bool owned = false;
  TrbDataset* counted = rbFindDataSet(&form, "3", owned);
  ASSERT_NE(counted, nullptr);
  EXPECT_TRUE(owned);
  EXPECT_EQ(counted->RangeEnd(), reCount);
  EXPECT_EQ(counted->RangeEndCount(), 3);
  delete counted;
  EXPECT_EQ(rbFindDataSet(&form, "rbds", owned), rb);  // case ignored; initialised
  EXPECT_TRUE(mem->Active());
  EXPECT_FALSE(owned);
  EXPECT_THROW(rbFindDataSet(&form, "Source1", owned), EInvalidCast);
  EXPECT_EQ(rbFindDataSet(&form, "Nothing", owned), nullptr);

  TDataSet* ds = nullptr;
  AnsiString field;
  rbParseFieldReference(&form, "rbDS.\"F01\"", ds, field);
  EXPECT_EQ(ds, mem);
  EXPECT_EQ(field, "F01");
  rbParseFieldReference(&form, "Query1.\"F99\"", ds, field);
  EXPECT_EQ(ds, mem);
  EXPECT_EQ(field, "");
  rbParseFieldReference(&form, "F01", ds, field, mem);
  EXPECT_EQ(field, "F01");
}

}  // namespace
