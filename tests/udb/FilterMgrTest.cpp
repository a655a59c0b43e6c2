// The filter manager over a table cursor held in memory: the application's
// filter texts, index use (full, partial, none), order, OnFilterRecord,
// navigation, kept lists, errors, and a randomised check that index-assisted
// results equal a plain scan's, in the same order.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "FakeFilterCursor.h"
#include "UdbTestSupport.h"
#include "platform/core/Exceptions.h"

namespace {

constexpr int kZgbh = 0, kXm = 1, kZgqk = 2, kYlBxh = 3, kGzzh = 4, kAge = 5;

// An employee table: code, name, category, pension number, account, age;
// an index on the code, another on the age.
void FillEmployees(TFakeFilterCursor& c) {
  c.Fields.Add("zgbh", ftString, 11);
  c.Fields.Add("xm", ftString, 20);
  c.Fields.Add("zgqk", ftString, 20);
  c.Fields.Add("YlBxh", ftString, 20);
  c.Fields.Add("Gzzh", ftString, 20);
  c.Fields.Add("Age", ftInteger);
  c.Indexes.push_back({kZgbh, false});
  c.Indexes.push_back({kAge, false});
  c.CurrentIndex = 0;
  const Variant n = Variant::Null();
  // Added out of code order, so that address order and index order differ.
  c.AddRow({"01020000003", "王五", "在职职工", "Y3", "G3", 41});
  c.AddRow({"01010000001", "张三", "在职职工", "Y1", "G1", 30});
  c.AddRow({"01990000001", "赵六", "退休职工", "Y4", "G4", 65});
  c.AddRow({"01010000002", "李四", "临时工", "Y2", "G2", n});
  c.AddRow({"02010000001", "孙七", "在职职工", "Y5", "G5", 25});
  c.AddRow({"01020000004", "周八", "退休职工", n, "G6", 70});
}

std::vector<TRecAddr> Walk(TFilterMgr& mgr) {
  std::vector<TRecAddr> out;
  for (TRecAddr a = mgr.First(true); a; a = mgr.MoveBy(a, 1)) out.push_back(a);
  return out;
}

std::vector<TRecAddr> Filtered(TFakeFilterCursor& cursor, const AnsiString& text,
                          TFilterOptions options = TFilterOptions(), bool inQuery = false,
                          TIndexLevel* level = nullptr) {
  TFilterMgr mgr;
  mgr.SetCursor(&cursor);
  mgr.SetRecBufSize(64);
  mgr.SetFilterText(text);
  mgr.SetFilterOptions(options);
  mgr.SetActive(true);
  mgr.Rebuild(inQuery, false);
  if (level) *level = mgr.RootLevelForTest();
  std::vector<TRecAddr> out = Walk(mgr);
  EXPECT_EQ(mgr.Count(), static_cast<int>(out.size())) << text;
  return out;
}

std::vector<std::string> Codes(TFakeFilterCursor& cursor, const std::vector<TRecAddr>& addresses) {
  std::vector<std::string> out;
  for (TRecAddr a : addresses) out.push_back(cursor.RowAt(a)[kZgbh].AsString());
  return out;
}

using Strs = std::vector<std::string>;

}  // namespace

TEST(TFilterMgr, ApplicationFiltersSelectExactlyTheirRowsInIndexOrder) {
  TFakeFilterCursor c;
  FillEmployees(c);
  struct Case {
    std::string filter;
    Strs codes;
  };
  const Case cases[] = {
      {"zgbh like '0101%'", {"01010000001", "01010000002"}},
      {"ZGBH like '01%'", {"01010000001", "01010000002", "01020000003", "01020000004", "01990000001"}},
      {"zgbh like '0199%'", {"01990000001"}},
      {"zgqk='退休职工'", {"01020000004", "01990000001"}},
      {"ZGQK = '临时工'", {"01010000002"}},
      {"YlBxh='Y3' or Gzzh='G5'", {"01020000003", "02010000001"}},
      {"ylbxh='Y9' or gzzh='G9'", {}},
      {"(zgqk='退休职工' or zgqk='临时工') and zgbh like '0102%'", {"01020000004"}},
      {"zgbh like '01%' and (Age > 40 or Age is null)",
       {"01010000002", "01020000003", "01020000004", "01990000001"}},
      {"", {"01010000001", "01010000002", "01020000003", "01020000004", "01990000001", "02010000001"}},
  };
  for (const Case& k : cases) EXPECT_EQ(Codes(c, Filtered(c, k.filter)), k.codes) << k.filter;
}

TEST(TFilterMgr, IndexesAnswerFullyPartlyOrNotAtAll) {
  TFakeFilterCursor c;
  FillEmployees(c);
  struct Case {
    const char* filter;
    TIndexLevel level;
    int reads;  // records read to build the list
  };
  const Case cases[] = {
      {"zgbh >= '0102'", olFull, 0},
      {"Age > 40 and zgbh < '02'", olFull, 0},
      {"zgbh = '01990000001' or Age in (25, 30)", olFull, 0},
      {"Age <> 41", olFull, 0},
      {"zgbh like '0102%'", olPartial, 2},               // the prefix's records only
      {"zgbh like '0101%' and xm = '李四'", olPartial, 2},  // AND: the indexed range only
      {"zgbh like '0101%' or xm = '李四'", olNone, 6},     // OR with an unindexed side: all
      {"xm = '李四'", olNone, 6},
  };
  for (const Case& k : cases) {
    TFilterMgr mgr;
    mgr.SetCursor(&c);
    mgr.SetFilterText(k.filter);
    mgr.SetActive(true);
    c.RecordsRead = 0;
    mgr.Rebuild(false, false);
    EXPECT_EQ(mgr.RootLevelForTest(), k.level) << k.filter;
    EXPECT_EQ(c.RecordsRead, k.reads) << k.filter;
    EXPECT_EQ(mgr.RecordsReadForTest(), k.reads) << k.filter;
  }
}

TEST(TFilterMgr, TwoNotEqualConditionsEachComplementTheirOwnList) {
  TFakeFilterCursor c;
  FillEmployees(c);
  TIndexLevel level;
  // The null age passes "<>"; each "<>" removes only its own records.
  EXPECT_EQ(Codes(c, Filtered(c, "Age <> 41 and zgbh <> '01010000001'", {}, false, &level)),
            (Strs{"01010000002", "01020000004", "01990000001", "02010000001"}));
  EXPECT_EQ(level, olFull);
  EXPECT_EQ(Codes(c, Filtered(c, "Age <> 41 or zgbh <> '01020000003'", {}, false, &level)),
            (Strs{"01010000001", "01010000002", "01020000004", "01990000001", "02010000001"}));
  EXPECT_EQ(level, olFull);
}

TEST(TFilterMgr, ACaseInsensitiveFilterUsesNoCaseSensitiveIndex) {
  TFakeFilterCursor c;
  FillEmployees(c);
  c.AddRow({"0a", "x", "", "", "", 1});
  c.AddRow({"0A", "y", "", "", "", 2});
  TIndexLevel level;
  EXPECT_EQ(Codes(c, Filtered(c, "zgbh = '0a'", {foCaseInsensitive}, false, &level)), (Strs{"0a", "0A"}));
  EXPECT_EQ(level, olNone);
  EXPECT_EQ(Codes(c, Filtered(c, "zgbh = '0a'", {}, false, &level)), (Strs{"0a"}));
  EXPECT_EQ(level, olFull);
  c.Indexes[0].caseInsensitive = true;
  EXPECT_EQ(Codes(c, Filtered(c, "zgbh = '0a'", {foCaseInsensitive}, false, &level)), (Strs{"0a", "0A"}));
  EXPECT_EQ(level, olPartial);  // a compare node: candidates, then evaluation
}

TEST(TFilterMgr, OrderFollowsTheCurrentIndexOutsideAQueryAndAddressesInside) {
  TFakeFilterCursor c;
  FillEmployees(c);
  c.CurrentIndex = 1;  // by age: the null first
  EXPECT_EQ(Codes(c, Filtered(c, "zgbh like '01%'")),
            (Strs{"01010000002", "01010000001", "01020000003", "01990000001", "01020000004"}));
  std::vector<TRecAddr> inQuery = Filtered(c, "zgbh like '01%'", {}, true);
  EXPECT_TRUE(std::is_sorted(inQuery.begin(), inQuery.end()));
  EXPECT_EQ(inQuery.size(), 5u);
}

TEST(TFilterMgr, TheDatasetsRangeBoundsTheResult) {
  TFakeFilterCursor c;
  FillEmployees(c);
  c.Range = [](const std::vector<Variant>& row) { return row[kZgbh].AsString() < "0102"; };
  EXPECT_EQ(Codes(c, Filtered(c, "Age > 0 or Age is null")), (Strs{"01010000001", "01010000002"}));
  EXPECT_EQ(Codes(c, Filtered(c, "zgqk <> '在职职工'")), (Strs{"01010000002"}));
}

TEST(TFilterMgr, OnFilterRecordIsAppliedOnTopOfTheList) {
  TFakeFilterCursor c;
  FillEmployees(c);
  c.OnFilterRecord = [](const std::vector<Variant>& row) { return row[kXm].AsString() != "李四"; };
  TFilterMgr mgr;
  mgr.SetCursor(&c);
  mgr.SetFilterText("zgbh like '01%'");
  mgr.SetActive(true);
  mgr.Rebuild(false, false);
  EXPECT_EQ(mgr.Count(), 4);
  EXPECT_EQ(Codes(c, Walk(mgr)), (Strs{"01010000001", "01020000003", "01020000004", "01990000001"}));
  TRecAddr lisi = c.ShownOrder()[1];
  EXPECT_FALSE(mgr.Contains(lisi));
  TRecAddr first = mgr.First(true);
  EXPECT_EQ(Codes(c, {mgr.MoveBy(first, 2)}), Strs{"01020000004"});
  EXPECT_EQ(mgr.MoveBy(first, -1), 0u);
  EXPECT_EQ(Codes(c, {mgr.First(false)}), Strs{"01990000001"});
  // With only the event and no text every record is a candidate.
  TFilterMgr all;
  all.SetCursor(&c);
  all.SetActive(true);
  all.Rebuild(false, false);
  EXPECT_EQ(all.Count(), 5);
}

TEST(TFilterMgr, FindNearestModes) {
  TFakeFilterCursor c;
  FillEmployees(c);
  TFilterMgr mgr;
  mgr.SetCursor(&c);
  mgr.SetFilterText("zgqk = '在职职工'");  // 01010000001, 01020000003, 02010000001
  mgr.SetActive(true);
  mgr.Rebuild(false, false);
  std::vector<TRecAddr> shown = c.ShownOrder();
  // shown: 0101..01, 0101..02, 0102..03, 0102..04, 0199..01, 0201..01
  const TRecAddr in = shown[2], out = shown[3];
  struct Case {
    TRecAddr address;
    int mode;
    TRecAddr expected;
  };
  const Case cases[] = {
      {in, 0, shown[0]}, {in, 1, in},       {out, 1, in},       {in, 2, in},
      {out, 2, 0},       {out, 3, shown[5]}, {out, 5, shown[5]}, {in, 4, shown[5]},
      {shown[0], 0, 0},  {shown[5], 4, 0},  {12345, 3, 0},
  };
  for (const Case& k : cases)
    EXPECT_EQ(mgr.FindNearest(k.address, k.mode), k.expected) << k.mode << " at " << k.address;
  EXPECT_EQ(mgr.PositionOf(in), 2);
  EXPECT_EQ(mgr.AddressAt(3), shown[5]);
  EXPECT_EQ(mgr.AddressAt(4), 0u);
  EXPECT_EQ(mgr.RecordNumberOf(shown[5]), 6u);
}

TEST(TFilterMgr, ListsAreKeptWhileAQueryRunsAndDroppedWhenTheFilterGoesOffOrTheQueryEnds) {
  TFakeFilterCursor c;
  FillEmployees(c);
  TFilterMgr mgr;
  mgr.SetCursor(&c);
  auto use = [&](const char* text) {
    mgr.SetActive(false);
    mgr.SetFilterText(text);
    mgr.SetActive(true);
    c.RecordsRead = 0;
    mgr.Rebuild(true, false);
    return c.RecordsRead;
  };
  EXPECT_EQ(use("xm = '张三'"), 6);
  c.RecordsRead = 0;
  mgr.Rebuild(true, false);
  EXPECT_EQ(c.RecordsRead, 0);  // kept while the filter stays on in the query
  EXPECT_EQ(mgr.Count(), 1);
  EXPECT_EQ(use("xm = '王五'"), 6);
  // The filter went off in between: the table may have changed meanwhile.
  EXPECT_EQ(use("xm = '张三'"), 6);
  // Other options are another filter.
  mgr.SetActive(false);
  mgr.SetFilterOptions({foCaseInsensitive});
  mgr.SetActive(true);
  c.RecordsRead = 0;
  mgr.Rebuild(true, false);
  EXPECT_EQ(c.RecordsRead, 6);
  mgr.SetFilterOptions({});
  // A changed table drops them.
  EXPECT_EQ(use("xm = '张三'"), 6);
  c.DeleteRow(c.ShownOrder()[0]);
  mgr.Rebuild(true, true);
  EXPECT_EQ(mgr.Count(), 0);
  EXPECT_EQ(use("xm = '王五'"), 5);
  c.RecordsRead = 0;
  mgr.Rebuild(true, false);
  EXPECT_EQ(c.RecordsRead, 0);
  // Outside a query nothing is kept.
  for (int i = 0; i < 2; ++i) {
    c.RecordsRead = 0;
    mgr.Rebuild(false, false);
    EXPECT_EQ(c.RecordsRead, 5);
  }
}

// Inside a query a null compares differently: a list made under one mode
// is never shown under the other, in either order.
TEST(TFilterMgr, AListMadeOutsideAQueryIsNotReusedInsideOneAndTheOtherWayRound) {
  // The count after one rebuild per mode, on a fresh manager each time.
  auto countAfter = [](std::vector<bool> modes) {
    TFakeFilterCursor c;
    FillEmployees(c);
    TFilterMgr mgr;
    mgr.SetCursor(&c);
    mgr.SetFilterText("Age < 30");
    mgr.SetActive(true);
    for (bool inQuery : modes) mgr.Rebuild(inQuery, false);
    return mgr.Count();
  };
  const int outside = countAfter({false}), inside = countAfter({true});
  ASSERT_NE(outside, inside) << "the fixture must tell the two null rules apart";
  EXPECT_EQ(countAfter({true, false}), outside) << "in, then out";
  EXPECT_EQ(countAfter({false, true}), inside) << "out, then in";
}

TEST(TFilterMgr, InListSearchesTheIndexOncePerValue) {
  TFakeFilterCursor c;
  FillEmployees(c);
  EXPECT_EQ(Codes(c, Filtered(c, "Age in (30, 41, 99, 30)")), (Strs{"01010000001", "01020000003"}));
  int lookups = 0;
  for (const auto& call : c.RangeCalls) lookups += call.field == kAge;
  EXPECT_EQ(lookups, 4);
}

TEST(TFilterMgr, Errors) {
  TFakeFilterCursor c;
  FillEmployees(c);
  TFilterMgr mgr;
  mgr.SetCursor(&c);
  mgr.SetFilterText("Age > 1");
  mgr.SetActive(true);
  EXPECT_UDB_ERROR(mgr.SetRecBufSize(10), 8581);
  EXPECT_THROW(mgr.First(true), EAssertionFailed);
  mgr.Rebuild(true, false);
  EXPECT_UDB_ERROR(mgr.FindNearest(mgr.First(true), 0), 8581);
  mgr.SetActive(false);
  mgr.SetRecBufSize(10);
  EXPECT_EQ(mgr.RecBufSize(), 10);
  EXPECT_EQ(mgr.Count(), 0);
  mgr.SetFilterText("Age >");
  EXPECT_THROW(mgr.SetActive(true), EDatabaseError);
  EXPECT_FALSE(mgr.Active());
}

TEST(TFilterMgr, AnEmptyTableFiltersToNothingInsideAndOutsideAQuery) {
  TFakeFilterCursor c;
  c.Fields.Add("xm", ftString, 10);
  EXPECT_TRUE(Filtered(c, "xm = 'a'", {}, true).empty());
  EXPECT_TRUE(Filtered(c, "xm = 'a'", {}, false).empty());
}

// --- index-assisted results equal a plain scan's ---------------------------------

namespace {

// Random data: a mixed-case short text (with nulls), an integer (with
// nulls), a Boolean and a float; indexes on the first three.
void FillRandom(TFakeFilterCursor& c, std::mt19937& rng, int rows) {
  c.Fields.Add("S", ftString, 8);
  c.Fields.Add("I", ftInteger);
  c.Fields.Add("B", ftBoolean);
  c.Fields.Add("F", ftFloat);
  c.Fields.Add("T", ftString, 8);  // never indexed
  const char letters[] = "aAbBc";
  auto text = [&]() -> Variant {
    if (rng() % 8 == 0) return Variant::Null();
    std::string s;
    int n = static_cast<int>(rng() % 4);
    for (int i = 0; i < n; ++i) s += letters[rng() % 5];
    return Variant(s);
  };
  for (int r = 0; r < rows; ++r) {
    Variant i = rng() % 8 == 0 ? Variant::Null() : Variant(static_cast<int>(rng() % 10));
    Variant b = rng() % 6 == 0 ? Variant::Null() : Variant(rng() % 2 == 0);
    c.AddRow({text(), i, b, Variant((rng() % 20) / 4.0), text()});
  }
}

std::string RandomConstText(std::mt19937& rng) {
  const char letters[] = "aAbBc";
  std::string s;
  int n = static_cast<int>(rng() % 3);
  for (int i = 0; i < n; ++i) s += letters[rng() % 5];
  return s;
}

std::string RandomCondition(std::mt19937& rng, int depth) {
  static const char* const relations[] = {"=", "<>", "<", "<=", ">", ">="};
  int pick = static_cast<int>(rng() % (depth > 2 ? 8 : 11));
  std::string rel = relations[rng() % 6];
  switch (pick) {
    case 0: return "I " + rel + " " + std::to_string(rng() % 11);
    case 1: return "S " + rel + " '" + RandomConstText(rng) + "'";
    case 2: return "S like '" + RandomConstText(rng) + (rng() % 2 ? "%'" : "_%'");
    case 3: return "S = '" + RandomConstText(rng) + "a*'";
    case 4: return std::string(rng() % 2 ? "I" : "S") + (rng() % 2 ? " is null" : " is not null");
    case 5: return "I in (" + std::to_string(rng() % 10) + ", " + std::to_string(rng() % 10) + ")";
    case 6: return rng() % 2 ? "B" : "B = False";
    case 7: return "T " + rel + " '" + RandomConstText(rng) + "'";
    case 8: return RandomCondition(rng, depth + 1) + " and " + RandomCondition(rng, depth + 1);
    case 9: return "(" + RandomCondition(rng, depth + 1) + " or " + RandomCondition(rng, depth + 1) + ")";
    default: return "not (" + RandomCondition(rng, depth + 1) + ")";
  }
}

}  // namespace

TEST(TFilterMgr, IndexAssistedResultsEqualAPlainScanInTheSameOrder) {
  std::mt19937 rng(20261210);
  int indexed = 0;
  for (int round = 0; round < 6; ++round) {
    TFakeFilterCursor c;
    FillRandom(c, rng, 120);
    c.Indexes.push_back({0, round % 2 == 1});
    c.Indexes.push_back({1, false});
    c.Indexes.push_back({2, false});
    c.CurrentIndex = static_cast<int>(rng() % 4) - 1;
    for (int k = 0; k < 60; ++k) {
      const std::string filter = RandomCondition(rng, 0);
      for (int variant = 0; variant < 4; ++variant) {
        const bool inQuery = variant & 1;
        const TFilterOptions options =
            (variant & 2) ? TFilterOptions{foCaseInsensitive} : TFilterOptions();
        c.UseIndexes = true;
        TIndexLevel level;
        std::vector<TRecAddr> assisted = Filtered(c, filter, options, inQuery, &level);
        indexed += level != olNone;
        c.UseIndexes = false;
        std::vector<TRecAddr> scanned = Filtered(c, filter, options, inQuery);
        ASSERT_EQ(assisted, scanned) << filter << (inQuery ? " in a query" : "")
                                     << ((variant & 2) ? " case-insensitive" : "");
      }
    }
  }
  // The check means something only if indexes were used often.
  EXPECT_GT(indexed, 400);
}
