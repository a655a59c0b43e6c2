// Key ranges, Locate, record comparison and the choice of an index for a
// field list, over memory and disk tables.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "CursorTestSupport.h"
#include "Udb/UdbDataSetInt.h"

namespace {

class Search : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    t = CreateEmp(env.db, GetParam());
    struct Row { int id; const char* name; const char* dept; double salary; };
    for (const Row& r : {Row{1, "Amy", "A", 10}, Row{2, "Bob", "B", 20}, Row{3, "Cai", "B", 30},
                         Row{4, "Dan", "C", 20}, Row{5, "Eve", "C", 50}, Row{6, "Li", "D", 60},
                         Row{7, "Li", "B", 70}})
      AddEmp(*t, r.id, r.name, r.dept, r.salary);
  }
  void Bound(bool side, const char* field, const Variant& value) {
    t->DataSetSetFieldDataToRecBufAsVariant(t->GetRangeBuffer(side), t->FieldIndexOf(field), value);
  }
  std::vector<std::uint8_t> SearchBuf() {
    std::vector<std::uint8_t> buf(static_cast<size_t>(t->GetRecBufSize()));
    t->InitSearchRecord(buf.data(), false);
    return buf;
  }
  void Put(std::vector<std::uint8_t>& buf, const char* field, const Variant& value) {
    t->DataSetSetFieldDataToRecBufAsVariant(buf.data(), t->FieldIndexOf(field), value);
  }
  bool Locate(std::vector<std::uint8_t>& buf, std::vector<AnsiString> fields, int options = 0) {
    return t->DoLocate("", buf.data(), true, false, options, fields, nullptr);
  }

  TCursorDb env;
  std::unique_ptr<TUdbTableCursor> t;
};

std::vector<std::string> Names(std::initializer_list<const char*> v) { return {v.begin(), v.end()}; }

TEST_P(Search, ARangeShowsOnlyItsRecordsWithRecordNumbersFromItsStart) {
  t->SetIndexName("ByDept");
  Bound(false, "DEPT", "B");
  Bound(true, "DEPT", "C");
  t->ApplyRange(true);
  EXPECT_EQ(Walk(*t, "ID"), Names({"2", "3", "7", "4", "5"}));
  EXPECT_EQ(WalkBack(*t, "ID"), Names({"5", "4", "7", "3", "2"}));
  EXPECT_EQ(t->GetRecordCount(), 5);
  EXPECT_EQ(t->GetRangeEndRecNo(false), 2);
  EXPECT_EQ(t->GetRangeEndRecNo(true), 6);
  ASSERT_TRUE(t->GotoFirst());
  EXPECT_EQ(t->GetRecNo(t->RecBuf()), 1);
  ASSERT_NE(t->DataSetSetRecNo(3), -1);
  EXPECT_EQ(Int(*t, "ID"), 7);
  EXPECT_EQ(t->DataSetSetRecNo(6), -1);
  // A search outside the range lands on its nearest end, or fails.
  EXPECT_FALSE(FindKey(*t, {{"DEPT", "A"}}));
  EXPECT_TRUE(FindKey(*t, {{"DEPT", "A"}}, udbcur::kGreaterOrEqual));
  EXPECT_EQ(Int(*t, "ID"), 2);
  t->ApplyRange(false);
  EXPECT_EQ(t->GetRecordCount(), 7);
}

TEST_P(Search, ARangeOnAKeyPrefixLeavesTheOtherPartsOpen) {
  t->SetIndexName("ByName");
  Bound(false, "NAME", "Li");
  Bound(true, "NAME", "Li");
  t->ApplyRange(true);
  EXPECT_EQ(Walk(*t, "DEPT"), Names({"B", "D"}));
  EXPECT_EQ(t->GetRecordCount(), 2);
}

TEST_P(Search, ARangeWhoseStartLiesAboveItsEndIsEmpty) {
  t->SetIndexName("ByDept");
  Bound(false, "DEPT", "C");
  Bound(true, "DEPT", "B");
  t->ApplyRange(true);
  EXPECT_FALSE(t->RangeNotEmpty());
  EXPECT_EQ(t->GetRecordCount(), 0);
  EXPECT_EQ(t->GetRangeEndRecNo(false), 0);
  EXPECT_EQ(t->GetRangeEndRecNo(true), 0);
  EXPECT_FALSE(t->GotoFirst());
  EXPECT_FALSE(t->GotoLast());
  EXPECT_FALSE(FindKey(*t, {{"DEPT", "B"}}));
}

TEST_P(Search, ARangeFollowsChangesMadeInsideIt) {
  t->SetIndexName("ByDept");
  Bound(false, "DEPT", "B");
  Bound(true, "DEPT", "B");
  t->ApplyRange(true);
  EXPECT_EQ(t->GetRecordCount(), 3);
  AddEmp(*t, 8, "Zed", "B");
  AddEmp(*t, 9, "Out", "Z");
  EXPECT_EQ(t->GetRecordCount(), 4);
  EXPECT_EQ(Walk(*t, "ID"), Names({"2", "3", "7", "8"}));
}

TEST_P(Search, LocateOnFieldsOutsideTheIndexScansTheWholeIndex) {
  auto buf = SearchBuf();
  Put(buf, "SALARY", 20.0);
  ASSERT_TRUE(Locate(buf, {"SALARY"}));
  EXPECT_EQ(Int(*t, "ID"), 2);
  auto two = SearchBuf();
  Put(two, "SALARY", 20.0);
  Put(two, "DEPT", "C");
  ASSERT_TRUE(Locate(two, {"SALARY", "DEPT"}));
  EXPECT_EQ(Int(*t, "ID"), 4);
  auto none = SearchBuf();
  Put(none, "SALARY", 99.0);
  const std::string before = Str(*t, "ID");
  EXPECT_FALSE(Locate(none, {"SALARY"}));
  EXPECT_EQ(Str(*t, "ID"), before);
}

TEST_P(Search, LocateUsesTheIndexPrefixAndItsOptions) {
  t->SetIndexName("ByName");
  struct Case { const char* value; int options; int id; };
  for (const Case& c : {Case{"Li", 0, 7}, Case{"li", 0, 0}, Case{"li", 1, 7}, Case{"Ca", 2, 3}, Case{"ca", 3, 3},
                        Case{"Cx", 2, 0}}) {
    auto buf = SearchBuf();
    Put(buf, "NAME", c.value);
    const bool found = Locate(buf, {"NAME"}, c.options);
    EXPECT_EQ(found, c.id != 0) << c.value << " " << c.options;
    if (found) {
      EXPECT_EQ(Int(*t, "ID"), c.id) << c.value;
    }
  }
  // Fields in another order than the key's are put in key order.
  auto buf = SearchBuf();
  Put(buf, "DEPT", "D");
  Put(buf, "NAME", "Li");
  std::vector<AnsiString> fields{"DEPT", "NAME"};
  ASSERT_TRUE(t->DoLocate("", buf.data(), true, false, 0, fields, nullptr));
  EXPECT_EQ(Int(*t, "ID"), 6);
  EXPECT_EQ(fields[0], "NAME");
}

TEST_P(Search, ANullSearchValueMatchesOnlyANullField) {
  t->InitRecBuf();
  SetField(*t, "ID", 20);
  SetField(*t, "NAME", "Nul");
  t->AddRecord(false);  // DEPT and SALARY stay null
  auto null = SearchBuf();
  ASSERT_TRUE(Locate(null, {"SALARY"}));
  EXPECT_EQ(Int(*t, "ID"), 20);
  auto value = SearchBuf();
  Put(value, "NAME", "Nul");
  Put(value, "DEPT", "A");
  EXPECT_FALSE(Locate(value, {"NAME", "DEPT"}));
}

TEST_P(Search, LocateOnAMissingFieldOrIndexIsRefused) {
  auto buf = SearchBuf();
  std::vector<AnsiString> fields{"NOPE"};
  EXPECT_UDB_ERROR(t->DoLocate("", buf.data(), true, false, 0, fields, nullptr), 10116);
  EXPECT_UDB_ERROR(t->DoLocate("Nope", buf.data(), true, true, 0, fields, nullptr), 9997);
}

TEST_P(Search, RecordComparisonOrdersValuesLowestNullHighest) {
  TSearchFields fields;
  auto* f = static_cast<TSearchFieldItem*>(fields.Add());
  f->Assign(t->GetFields().FindField("SALARY"));
  auto a = SearchBuf(), b = SearchBuf();
  const int flag = t->GetFields().FindField("SALARY")->NullFlagOffset();
  int diff = 0;
  struct Case { std::uint8_t fa; double va; std::uint8_t fb; double vb; int sign; };
  for (const Case& c : {Case{1, 1, 1, 2, -1}, Case{1, 5, 1, 5, 0}, Case{1, 9, 2, 0, -1}, Case{2, 0, 0, 0, -1},
                        Case{0, 0, 4, 0, -1}, Case{0, 0, 0, 0, 0}}) {
    std::memcpy(a.data() + f->DataOffset(), &c.va, 8);
    std::memcpy(b.data() + f->DataOffset(), &c.vb, 8);
    a[static_cast<size_t>(flag)] = c.fa;
    b[static_cast<size_t>(flag)] = c.fb;
    const int r = t->InternalCompareRecords(a.data(), b.data(), diff, false, false, fields);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << int(c.fa) << "/" << int(c.fb);
    EXPECT_EQ(diff, c.sign == 0 ? -1 : 0);
  }
}

TEST(SearchIndexes, AnEarlierLongerIndexIsChosenForAFieldList) {
  TCursorDb env;
  auto t = CreateTable(env.db, "STAFF", true, {{"Name", ftString, 10}, {"Dept", ftString, 10}, {"Salary", ftFloat, 0}},
                       {{"Full", "Name;Dept;Salary", {}}, {"Pair", "Name;Dept", {}}});
  AnsiString name;
  t->FindIndexForFields("name;DEPT", name);
  EXPECT_EQ(name, "Full");
  EXPECT_UDB_ERROR(t->FindIndexForFields("Dept", name), 9997);
  TIndexDefs defs(t.get());
  TIndexDef* d = defs.AddIndexDef();
  t->GetIndexDef(1, d);
  EXPECT_EQ(d->Fields(), "Name;Dept");
  EXPECT_FALSE(d->Options().Contains(ixUnique));
}

INSTANTIATE_TEST_SUITE_P(Tables, Search, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Memory" : "Disk"; });

}  // namespace

namespace {

// Every comparison of a filter answered from an index, ascending and
// descending, against the values themselves.
TEST(IndexConditions, EachComparisonCollectsExactlyTheRecordsThatSatisfyIt) {
  TCursorDb env;
  TIndexOptions desc;
  desc << ixDescending;
  auto t = CreateTable(env.db, "V", true, {{"ID", ftInteger, 0}, {"V", ftInteger, 0}, {"S", ftString, 8}},
                       {{"ByV", "V", {}}, {"ByVDesc", "V", desc}, {"ByS", "S", {}}});
  std::map<int, std::pair<int, std::string>> rows;  // id -> (v or -1 for null, s)
  const char* strings[] = {"ab", "abc", "b", "a", "abd", "ba"};
  for (int id = 1; id <= 36; ++id) {
    const int v = id % 7 == 0 ? -1 : id % 6;
    rows[id] = {v, strings[id % 6]};
    t->InitRecBuf();
    SetField(*t, "ID", id);
    if (v >= 0) SetField(*t, "V", v);
    SetField(*t, "S", strings[id % 6]);
    t->AddRecord(false);
  }
  auto idsOf = [&](const std::vector<TUdbAddr>& addresses) {
    std::set<int> ids;
    std::vector<std::uint8_t> r(static_cast<size_t>(t->GetRecBufSize()));
    for (TUdbAddr a : addresses) {
      t->ReadRecordAt(a, r.data());
      Variant v;
      t->DataSetGetFieldDataFromRecBufAsVariant(r.data(), t->FieldIndexOf("ID"), v);
      ids.insert(v.AsInteger());
    }
    EXPECT_EQ(ids.size(), addresses.size());
    return ids;
  };
  struct Case {
    int op;
    std::vector<Variant> constants;
    std::function<bool(int)> holds;  // on V (-1 = null)
  };
  const std::vector<Case> cases = {
      {1, {}, [](int v) { return v < 0; }},
      {2, {}, [](int v) { return v >= 0; }},
      {3, {3}, [](int v) { return v == 3; }},
      {4, {3}, [](int v) { return v == 3; }},  // the list of =, to be complemented
      {5, {3}, [](int v) { return v > 3; }},
      {6, {3}, [](int v) { return v >= 0 && v < 3; }},
      {7, {3}, [](int v) { return v >= 3; }},
      {8, {3}, [](int v) { return v >= 0 && v <= 3; }},
      {31, {1, 4, 9}, [](int v) { return v == 1 || v == 4; }},
      {5, {9}, [](int) { return false; }},
      {6, {0}, [](int) { return false; }},
  };
  for (const char* index : {"ByV", "ByVDesc"}) {
    for (const Case& c : cases) {
      bool complement = false;
      const std::set<int> got = idsOf(t->CollectConditionAddresses(index, c.op, c.constants, complement));
      std::set<int> expected;
      for (const auto& [id, row] : rows)
        if (c.holds(row.first)) expected.insert(id);
      EXPECT_EQ(got, expected) << index << " op " << c.op;
      EXPECT_EQ(complement, c.op == 4);
    }
  }
  bool complement = false;
  const std::set<int> like = idsOf(t->CollectConditionAddresses("ByS", 30, {AnsiString("ab")}, complement));
  std::set<int> expected;
  for (const auto& [id, row] : rows)
    if (row.second.rfind("ab", 0) == 0) expected.insert(id);
  EXPECT_EQ(like, expected);
  EXPECT_UDB_ERROR(t->CollectConditionAddresses("ByV", 9, {1}, complement), 8581);
}

}  // namespace
