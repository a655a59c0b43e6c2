// Filters on engine tables: the table cursor with its filter manager, on
// memory and disk tables - rows selected in index order, index use, the
// record filter, and random filters whose index-assisted walk equals a
// plain scan of the table evaluated row by row.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "CursorTestSupport.h"
#include "Udb/FilterEval.h"
#include "Udb/UdbFilterMgr.h"

namespace {

// The filter manager every table dataset is made with.
TUdbFilterMgr* Attach(TUdbDataSet& t) {
  auto* mgr = dynamic_cast<TUdbFilterMgr*>(t.FilterMgr());
  EXPECT_NE(mgr, nullptr);
  return mgr;
}

// EMP rows: ID, NAME, DEPT, SALARY.
void FillEmp(TUdbDataSet& t) {
  AddEmp(t, 3, "王五", "0102", 4100);
  AddEmp(t, 1, "张三", "0101", 3000);
  AddEmp(t, 6, "赵六", "0199", 6500);
  AddEmp(t, 2, "李四", "0101", 2800);
  AddEmp(t, 5, "孙七", "0201", 2500);
  AddEmp(t, 4, "周八", "0102", 7000);
}

std::vector<std::string> Ids(TUdbDataSet& t) { return Walk(t, "ID"); }

using Strs = std::vector<std::string>;

}  // namespace

class UdbFilter : public ::testing::TestWithParam<bool> {};

TEST_P(UdbFilter, SelectsTheRowsInTheCurrentIndexOrder) {
  TCursorDb db;
  auto t = CreateEmp(db.db, GetParam());
  FillEmp(*t);
  TUdbFilterMgr* mgr = Attach(*t);
  struct Case {
    const char* filter;
    Strs ids;
    TIndexLevel level;
  };
  const Case cases[] = {
      {"dept like '0101%'", {"1", "2"}, olPartial},
      {"DEPT = '0102' or Dept = '0199'", {"3", "4", "6"}, olFull},
      {"ID >= 4", {"4", "5", "6"}, olFull},
      {"Salary > 3000 and dept like '01%'", {"3", "4", "6"}, olPartial},
      {"name = '李四' or salary < 2600", {"2", "5"}, olNone},
      {"ID in (2, 5, 9)", {"2", "5"}, olFull},
  };
  for (const Case& c : cases) {
    t->ActivateFilter(c.filter, {}, false);
    EXPECT_EQ(Ids(*t), c.ids) << c.filter;
    EXPECT_EQ(mgr->RootLevelForTest(), c.level) << c.filter;
    EXPECT_EQ(t->GetRecordCount(), static_cast<int>(c.ids.size())) << c.filter;
  }
  // Another index, another order.
  t->SetIndexName("ByDept");
  t->ActivateFilter("ID > 2", {}, false);
  EXPECT_EQ(Walk(*t, "DEPT"), (Strs{"0102", "0102", "0199", "0201"}));
  EXPECT_EQ(WalkBack(*t, "DEPT"), (Strs{"0201", "0199", "0102", "0102"}));
}

TEST_P(UdbFilter, FullyIndexedFiltersReadNoRecord) {
  TCursorDb db;
  auto t = CreateEmp(db.db, GetParam());
  FillEmp(*t);
  TUdbFilterMgr* mgr = Attach(*t);
  t->ActivateFilter("DEPT = '0101'", {}, false);
  EXPECT_EQ(mgr->RecordsReadForTest(), 0);
  t->ActivateFilter("DEPT = '0101' and Salary > 2900", {}, false);
  EXPECT_EQ(mgr->RecordsReadForTest(), 2);
  EXPECT_EQ(Ids(*t), Strs{"1"});
}

TEST_P(UdbFilter, RecordFilterNarrowsTheList) {
  TCursorDb db;
  auto t = CreateEmp(db.db, GetParam());
  FillEmp(*t);
  Attach(*t);
  const int salary = t->FieldIndexOf("SALARY");
  t->SetOnRecordFilter([&](const std::uint8_t* record) {
    Variant v;
    t->DataSetGetFieldDataFromRecBufAsVariant(record, salary, v);
    return v.AsDouble() >= 4000;
  });
  t->ActivateFilter("dept like '01%'", {}, true);
  EXPECT_EQ(Ids(*t), (Strs{"3", "4", "6"}));
  EXPECT_EQ(t->GetRecordCount(), 3);
}

TEST_P(UdbFilter, IndexAssistedWalkEqualsAPlainScan) {
  TCursorDb db;
  auto t = CreateEmp(db.db, GetParam());
  std::mt19937 rng(GetParam() ? 5 : 6);
  const char letters[] = "aAbB";
  auto text = [&]() {
    std::string s;
    int n = static_cast<int>(rng() % 3);
    for (int i = 0; i < n; ++i) s += letters[rng() % 4];
    return s;
  };
  for (int id = 1; id <= 150; ++id) AddEmp(*t, id, text(), text(), static_cast<double>(rng() % 10));
  TUdbFilterMgr* mgr = Attach(*t);
  int indexed = 0;
  TFilterFieldList fields;
  for (const char* name : {"ID", "NAME", "DEPT", "SALARY"})
    fields.Add(name, t->GetFields().FindField(name)->DataType());
  const char* const relations[] = {"=", "<>", "<", "<=", ">", ">="};
  auto condition = [&]() -> std::string {
    std::string rel = relations[rng() % 6];
    switch (rng() % 6) {
      case 0: return "ID " + rel + " " + std::to_string(rng() % 160);
      case 1: return "DEPT " + rel + " '" + text() + "'";
      case 2: return "NAME " + rel + " '" + text() + "'";
      case 3: return "DEPT like '" + text() + "b%'";
      case 4: return "SALARY " + rel + " " + std::to_string(rng() % 10);
      default: return "DEPT = '" + text() + "a*'";
    }
  };
  for (const char* index : {"PK", "ByName", "ByDept"}) {
    t->SetIndexName(index);
    for (int k = 0; k < 40; ++k) {
      std::string filter = condition();
      if (rng() % 2) filter += (rng() % 2 ? " and " : " or ") + condition();
      const TFilterOptions options = rng() % 3 == 0 ? TFilterOptions{foCaseInsensitive} : TFilterOptions();
      // The plain scan: every row of the index, evaluated on its own.
      t->ActivateFilter("", {}, false);
      TUdbExprParser eval(&fields, filter, options);
      eval.SetKeyCompare(AnsiKeySort);
      eval.SetFieldValueReader([&](int i) { return GetField(*t, fields.Item(i).FieldName.c_str()); });
      eval.BuildStack();
      Strs expected;
      for (bool ok = t->GotoFirst(); ok; ok = t->GotoNext())
        if (eval.EvaluateTree()) expected.push_back(Str(*t, "ID"));
      t->ActivateFilter(filter, options, false);
      indexed += mgr->RootLevelForTest() != olNone;
      ASSERT_EQ(Ids(*t), expected) << filter << " over " << index;
    }
  }
  EXPECT_GT(indexed, 40);  // the indexes were used often enough to count
}

INSTANTIATE_TEST_SUITE_P(MemoryAndDisk, UdbFilter, ::testing::Bool());
