// Locate, Lookup, filters and FindFirst/FindNext; calculated and lookup
// fields.
#include <gtest/gtest.h>

#include "MemDataSet.h"
#include "platform/data/Fields.h"

namespace {

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.AddColumn("ID", ftInteger);
    ds.AddColumn("DEPT", ftString, 4);
    ds.AddColumn("NAME", ftString, 20);
    ds.AddColumn("PAY", ftFloat);
    ds.AddRow({1, "01", "Zhang San", 1200.0});
    ds.AddRow({2, "01", "zhang si", 800.0});
    ds.AddRow({3, "02", "Li Si", 1500.0});
    ds.AddRow({4, "02", "王小明", 950.0});
    ds.AddRow({5, "03", Variant::Null(), 600.0});
    ds.Open();
  }
  int Id() { return ds.FieldByName("ID")->AsInteger(); }

  TMemDataSet ds;
};

TEST_F(SearchTest, LocateMatchesByTheOptions) {
  struct Case {
    const char* key;
    TLocateOptions options;
    int id;  // 0: not found
  } cases[] = {
      {"zhang si", {}, 2},
      {"ZHANG SI", {}, 0},
      {"ZHANG SI", {loCaseInsensitive}, 2},
      {"zhang", {}, 0},
      {"zhang", {loPartialKey}, 2},
      {"ZHANG", {loPartialKey, loCaseInsensitive}, 1},
      {"王小", {loPartialKey}, 4},
      {"王小明", {}, 4},
      {"Li Si and more", {loPartialKey}, 0},
  };
  for (const Case& c : cases) {
    ds.Last();
    bool found = ds.Locate("NAME", Variant(c.key), c.options);
    EXPECT_EQ(found, c.id != 0) << c.key;
    EXPECT_EQ(Id(), c.id != 0 ? c.id : 5) << c.key;  // a miss leaves the cursor
  }
}

TEST_F(SearchTest, LocateWithSeveralKeyFieldsTakesAnArrayOfValues) {
  EXPECT_TRUE(ds.Locate("DEPT;NAME", VarArrayOf({"02", "Li Si"}), {}));
  EXPECT_EQ(Id(), 3);
  EXPECT_FALSE(ds.Locate("DEPT;NAME", VarArrayOf({"01", "Li Si"}), {}));
  EXPECT_TRUE(ds.Locate("DEPT;PAY", VarArrayOf({"02", 950}), {}));
  EXPECT_EQ(Id(), 4);
  // A value count that does not fit the key fields is the caller's error.
  EXPECT_THROW(ds.Locate("DEPT;NAME", Variant("02"), {}), EDatabaseError);
  EXPECT_THROW(ds.Locate("DEPT;NAME", VarArrayOf({"02"}), {}), EDatabaseError);
}

TEST_F(SearchTest, NullKeyMatchesOnlyANullField) {
  EXPECT_TRUE(ds.Locate("NAME", Variant::Null(), {}));
  EXPECT_EQ(Id(), 5);
  ds.First();
  EXPECT_FALSE(ds.Locate("PAY", Variant::Null(), {}));
}

TEST_F(SearchTest, LocateFiresTheScrollEventsOnlyWhenFound) {
  int before = 0, after = 0;
  ds.BeforeScroll = [&](TDataSet*) { ++before; };
  ds.AfterScroll = [&](TDataSet*) { ++after; };
  ds.Locate("ID", 3, {});
  ds.Locate("ID", 42, {});
  EXPECT_EQ(before, 2);
  EXPECT_EQ(after, 1);
}

TEST_F(SearchTest, LookupReadsTheFoundRecordWithoutMoving) {
  ds.MoveBy(1);
  int scrolls = 0;
  ds.AfterScroll = [&](TDataSet*) { ++scrolls; };
  EXPECT_EQ(VarToStr(ds.Lookup("ID", 3, "NAME")), "Li Si");
  Variant both = ds.Lookup("DEPT;NAME", VarArrayOf({"02", "王小明"}), "ID;PAY");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both[0].AsInteger(), 4);
  EXPECT_DOUBLE_EQ(both[1].AsDouble(), 950.0);
  EXPECT_TRUE(ds.Lookup("ID", 42, "NAME").IsNull());
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(scrolls, 0);
  ds.Next();  // the window finds its place again after the scan
  EXPECT_EQ(Id(), 3);
}

TEST_F(SearchTest, FilterRecordHidesRowsFromNavigationAndCount) {
  ds.SetOnFilterRecord([](TDataSet* d, bool& accept) {
    accept = d->FieldByName("PAY")->AsFloat() >= 900;
  });
  ds.SetFiltered(true);
  EXPECT_EQ(ds.RecordCount(), 3);
  std::vector<int> ids;
  for (ds.First(); !ds.Eof(); ds.Next()) ids.push_back(Id());
  EXPECT_EQ(ids, (std::vector<int>{1, 3, 4}));
  EXPECT_FALSE(ds.IsSequenced());
  ds.SetFiltered(false);
  EXPECT_EQ(ds.RecordCount(), 5);
}

TEST_F(SearchTest, FindNextAppliesTheFilterOnlyForTheSearch) {
  ds.SetOnFilterRecord([](TDataSet* d, bool& accept) {
    accept = d->FieldByName("DEPT")->AsString() == "02";
  });
  EXPECT_TRUE(ds.FindFirst());
  EXPECT_EQ(Id(), 3);
  EXPECT_TRUE(ds.FindNext());
  EXPECT_EQ(Id(), 4);
  EXPECT_FALSE(ds.FindNext());
  EXPECT_FALSE(ds.Found());
  EXPECT_EQ(Id(), 4);
  EXPECT_TRUE(ds.FindPrior());
  EXPECT_EQ(Id(), 3);
  EXPECT_TRUE(ds.FindLast());
  EXPECT_EQ(Id(), 4);
  ds.First();
  ds.Next();
  EXPECT_EQ(Id(), 2);  // unfiltered navigation still sees every row
}

// --- calculated and lookup fields ---------------------------------------------

class CalcFieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    depts.AddColumn("CODE", ftString, 4);
    depts.AddColumn("DNAME", ftString, 20);
    depts.AddRow({"01", "财务科"});
    depts.AddRow({"02", "人事科"});

    emps.AddColumn("ID", ftInteger);
    emps.AddColumn("DEPT", ftString, 4);
    emps.AddColumn("PAY", ftFloat);
    emps.AddRow({1, "01", 100.0});
    emps.AddRow({2, "02", 200.0});
    emps.AddRow({3, "09", 300.0});

    auto add = [this](TField* f, const char* name) {
      f->SetFieldName(name);
      f->SetDataSet(&emps);
      return f;
    };
    add(new TIntegerField(&emps), "ID");
    auto* dept = static_cast<TStringField*>(add(new TStringField(&emps), "DEPT"));
    dept->SetSize(4);
    pay = static_cast<TFloatField*>(add(new TFloatField(&emps), "PAY"));
    doubled = static_cast<TFloatField*>(add(new TFloatField(&emps), "DOUBLED"));
    doubled->SetFieldKind(fkCalculated);
    deptName = static_cast<TStringField*>(add(new TStringField(&emps), "DEPTNAME"));
    deptName->SetFieldKind(fkLookup);
    deptName->SetLookupDataSet(&depts);
    deptName->SetKeyFields("DEPT");
    deptName->SetLookupKeyFields("CODE");
    deptName->SetLookupResultField("DNAME");
    emps.OnCalcFields = [this](TDataSet*) {
      ++calcRuns;
      if (!pay->IsNull()) doubled->SetAsFloat(pay->AsFloat() * 2);
    };
  }

  TMemDataSet depts, emps;
  TFloatField* pay = nullptr;
  TFloatField* doubled = nullptr;
  TStringField* deptName = nullptr;
  int calcRuns = 0;
};

TEST_F(CalcFieldTest, CalculatedFieldFollowsItsRecordAndEdits) {
  emps.Open();
  EXPECT_GT(emps.CalcFieldsSize(), 0);
  EXPECT_EQ(doubled->FieldNo(), -1);
  EXPECT_DOUBLE_EQ(doubled->AsFloat(), 200.0);
  emps.Next();
  EXPECT_DOUBLE_EQ(doubled->AsFloat(), 400.0);
  emps.Edit();
  pay->SetAsFloat(250.5);
  EXPECT_DOUBLE_EQ(doubled->AsFloat(), 501.0);  // recalculated on the change
  emps.Post();
  EXPECT_DOUBLE_EQ(doubled->AsFloat(), 501.0);
  EXPECT_THROW(doubled->SetAsFloat(1), EDatabaseError);  // browsing: not editable
}

TEST_F(CalcFieldTest, LookupFieldShowsTheMatchingRowOrNull) {
  emps.Open();
  EXPECT_TRUE(depts.Active());  // opened by binding
  EXPECT_EQ(deptName->AsString(), "财务科");
  emps.Next();
  EXPECT_EQ(deptName->AsString(), "人事科");
  emps.Next();
  EXPECT_TRUE(deptName->IsNull());  // no department 09
  emps.Edit();
  emps.FieldByName("DEPT")->SetAsString("01");
  EXPECT_EQ(deptName->AsString(), "财务科");
  emps.Cancel();
}

TEST_F(CalcFieldTest, IncompleteLookupIsRefusedAtOpen) {
  deptName->SetLookupResultField("");
  try {
    emps.Open();
    FAIL() << "opened";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.Message()), "Lookup information for field 'DEPTNAME' is incomplete");
  }
  EXPECT_FALSE(emps.Active());
}

}  // namespace
