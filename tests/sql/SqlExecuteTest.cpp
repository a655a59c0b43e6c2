// The statement executor over in-memory tables: the SELECT pipeline,
// ordering, DISTINCT, MaxRecords, INTO, MERGE, the entry points and the
// run's events and brackets.
#include "sql/SqlModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/core/FormatSettings.h"
#include "sql/BookmarkHandles.h"
#include "sql/SqlMessages.h"
#include "tests/sql/SqlTestHost.h"

namespace {

class SqlExecuteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    emp.SetName("EmpTable");
    emp.AddColumn("ID", ftInteger);
    emp.AddColumn("NAME", ftString, 10);
    emp.AddColumn("DEPT", ftString, 4);
    emp.AddColumn("PAY", ftFloat);
    emp.AddRow({1, "Ann", "01", 3000.5});
    emp.AddRow({2, "Bob", "02", 1200.0});
    emp.AddRow({3, "Cid", "01", 2500.0});
    emp.AddRow({4, "Dan", "03", Variant::Null()});
    emp.AddRow({5, "王五", "02", 1800.0});
    emp.Open();
    empty.AddColumn("X", ftInteger);
    empty.AddColumn("S", ftString, 6);
    empty.Open();
    host.DataSets().AddDataSet(&emp, "emp");
    host.DataSets().AddDataSet(&empty, "nothing");
  }

  Rows Select(const AnsiString& text) { return RowsOf(RunSql(host, text)->ResultSet()); }

  TMemDataSet emp, empty;
  TTestHost host;
};

TEST_F(SqlExecuteTest, SelectsRowsWithWhereExpressionsAndAliases) {
  const struct {
    const char* sql;
    Rows rows;
  } cases[] = {
      {"SELECT name FROM emp WHERE dept = '01'", {"Ann", "Cid"}},
      {"SELECT id, pay * 2 AS twice FROM emp WHERE pay > 1500 AND pay < 3000", {"3|5000", "5|3600"}},
      {"SELECT e.name FROM emp e WHERE e.id >= 4", {"Dan", "王五"}},
      {"SELECT name, pay FROM emp WHERE pay IS NULL", {"Dan|null"}},
      {"SELECT name FROM emp WHERE name LIKE '%n'", {"Ann", "Dan"}},
      {"SELECT id FROM emp WHERE id IN (2, 4)", {"2", "4"}},
      {"SELECT id FROM emp WHERE id BETWEEN 2 AND 3", {"2", "3"}},
      {"SELECT name || '-' || dept FROM emp WHERE id = 1", {"Ann-01"}},
      // A column alias may stand in the WHERE and ORDER BY.
      {"SELECT id, pay / 10 AS tenth FROM emp WHERE tenth > 200 ORDER BY tenth DESC",
       {"1|300.05", "3|250"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Select(c.sql), c.rows) << c.sql;
}

TEST_F(SqlExecuteTest, ColumnsTakeNamesTypesSizesAndSourceFields) {
  auto s = RunSql(host, "SELECT name, pay AS salary, id + 1, dept FROM emp");
  TResultSet* rs = s->ResultSet();
  ASSERT_EQ(rs->Fields().Count(), 4);
  EXPECT_EQ(NamesOf(rs), (std::vector<std::string>{"name", "salary", "id + 1", "dept"}));
  EXPECT_EQ(rs->Fields().Items(0)->DataType(), ttString);
  EXPECT_EQ(rs->Fields().Items(0)->SourceField(), emp.FieldByName("NAME"));
  EXPECT_EQ(rs->Fields().Items(0)->DataSize(), 11);  // the widest value + 1
  EXPECT_EQ(rs->Fields().Items(1)->DataType(), ttFloat);
  EXPECT_EQ(rs->Fields().Items(2)->DataType(), ttInteger);
  EXPECT_EQ(rs->Fields().Items(2)->SourceField(), nullptr);
  EXPECT_EQ(rs->SourceDataSet(), &emp);
}

TEST_F(SqlExecuteTest, SelectStarAndEmptyTable) {
  auto s = RunSql(host, "SELECT * FROM emp WHERE id = 2");
  EXPECT_EQ(NamesOf(s->ResultSet()), (std::vector<std::string>{"ID", "NAME", "DEPT", "PAY"}));
  EXPECT_EQ(RowsOf(s->ResultSet()), Rows{"2|Bob|02|1200"});
  auto e = RunSql(host, "SELECT x, s FROM nothing ORDER BY x");
  EXPECT_EQ(e->ResultSet()->GetRecordCount(), 0);
  EXPECT_EQ(e->ResultSet()->Fields().Count(), 2);
}

TEST_F(SqlExecuteTest, OrderDistinctAndMaxRecords) {
  EXPECT_EQ(Select("SELECT name, id FROM emp WHERE id <= 3 ORDER BY 2 DESC"),
            (Rows{"Cid|3", "Bob|2", "Ann|1"}));
  EXPECT_EQ(Select("SELECT dept, name FROM emp ORDER BY dept DESC, name"),
            (Rows{"03|Dan", "02|Bob", "02|王五", "01|Ann", "01|Cid"}));
  EXPECT_EQ(Select("SELECT DISTINCT dept FROM emp ORDER BY dept"), (Rows{"01", "02", "03"}));
  host.MaxRecords = 2;
  EXPECT_EQ(Select("SELECT id, pay FROM emp ORDER BY pay DESC"), (Rows{"1|3000.5", "3|2500"}));
  host.MaxRecords = 0;
  // A null sorts as the empty key of its type.
  EXPECT_EQ(Select("SELECT id, pay FROM emp ORDER BY pay"),
            (Rows{"4|null", "2|1200", "5|1800", "3|2500", "1|3000.5"}));
}

TEST_F(SqlExecuteTest, FileResultSetsGiveTheSameRows) {
  Rows inMemory = Select("SELECT DISTINCT dept, name FROM emp ORDER BY name DESC");
  host.InMemResultSet = false;
  EXPECT_EQ(Select("SELECT DISTINCT dept, name FROM emp ORDER BY name DESC"), inMemory);
}

TEST_F(SqlExecuteTest, PlanningAndEntryErrors) {
  const struct {
    const char* sql;
    std::string message;
  } cases[] = {
      {"SELECT id FROM emp WHERE id + 1", "Expresion is not of boolean type !"},
      {"SELECT nope FROM emp", "Field nope was not found"},
      {"SELECT id FROM emp ORDER BY 5", "Field index incorrect"},
      {"SELECT id FROM emp ORDER BY name", "Field name was not found"},
      {"SELECT id FROM missing", "DataSet missing doesn't exists"},
      {"SELECT id FROM emp, nothing", "More than one table but no JOINing defined"},
      {"SELECT id FROM emp WHERE id = ANY (SELECT x, s FROM nothing)",
       "Subquery with more than one column"},
      {"UPDATE emp SET nope = 1", "Field Name nope not found"},
      {"INSERT INTO emp (nope) VALUES (1)", "INSERT: Field: nope does not exist in the dataset"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOfSql(host, c.sql), c.message) << c.sql;

  TSqlAnalizer select;
  ParseSql("SELECT id FROM emp", select);
  select.SetSqlQuery(&host);
  EXPECT_EQ(ErrorOfSql(host, "SELECT id FROM emp").substr(0, 8), "no error");
  try {
    select.ExecuteCommand();
    ADD_FAILURE();
  } catch (const ESqlQueryError& e) {
    EXPECT_EQ(e.Message(), "You must use SELECT only with Open method or Active property!");
  }
  TSqlAnalizer update;
  ParseSql("UPDATE emp SET pay = 1", update);
  update.SetSqlQuery(&host);
  try {
    update.ExecuteOpen();
    ADD_FAILURE();
  } catch (const ESqlQueryError& e) {
    EXPECT_EQ(e.Message(),
              "You must use UPDATE, DELETE, INSERT or CREATE TABLE only with ExecSQL method !");
  }
  TSqlAnalizer orphan;
  ParseSql("SELECT id FROM emp", orphan);
  EXPECT_THROW(orphan.ExecuteOpen(), ESqlQueryError);  // 65133: no query
}

TEST_F(SqlExecuteTest, SourcesGoBackAndControlsComeBackAlsoAfterAnError) {
  emp.First();
  emp.Next();  // on Bob
  RunSql(host, "SELECT name FROM emp WHERE id > 3");
  EXPECT_EQ(emp.FieldByName("NAME")->AsString(), "Bob");
  EXPECT_FALSE(emp.ControlsDisabled());

  const int handles = LiveBookmarkHandles();
  EXPECT_NE(ErrorOfSql(host, "SELECT id / 0 FROM emp"), "no error");
  EXPECT_FALSE(emp.ControlsDisabled());
  EXPECT_FALSE(empty.ControlsDisabled());
  EXPECT_EQ(LiveBookmarkHandles(), handles);
}

TEST_F(SqlExecuteTest, EventsInOrderProgressAndCancel) {
  std::vector<std::string> log;
  host.OnBeforeQuery = [&](TObject*) { log.push_back("before"); };
  host.OnAfterQuery = [&](TObject*) { log.push_back("after"); };
  host.OnProgress = [&](TObject*, TxProgressStatus status, int, int max, int position) {
    log.push_back("progress " + std::to_string(status) + " " + std::to_string(max) + " " +
                  std::to_string(position));
  };
  RunSql(host, "SELECT x FROM nothing");
  EXPECT_EQ(log, (std::vector<std::string>{"before", "progress 0 0 1", "progress 2 0 0", "after"}));

  // One row: no division by zero, one progress report at most.
  TMemDataSet one;
  one.AddColumn("A", ftInteger);
  one.AddRow({7});
  one.Open();
  host.DataSets().AddDataSet(&one, "one");
  log.clear();
  EXPECT_EQ(RowsOf(RunSql(host, "SELECT a FROM one")->ResultSet()), Rows{"7"});
  EXPECT_EQ(log.front(), "before");
  EXPECT_EQ(log.back(), "after");

  // Cancelled after the first row: that row, unsorted.
  host.OnProgress = nullptr;
  host.OnCancelQuery = [](TObject*, bool& cancel) { cancel = true; };
  auto s = RunSql(host, "SELECT id FROM emp ORDER BY id DESC");
  EXPECT_TRUE(s->Cancelled);
  EXPECT_EQ(RowsOf(s->ResultSet()), Rows{"1"});
  EXPECT_EQ(host.waitCursors, 0);
}

TEST_F(SqlExecuteTest, ProgressComesAtMostOncePerFivePercent) {
  TMemDataSet many;
  many.AddColumn("N", ftInteger);
  for (int i = 0; i < 1000; ++i) many.AddRow({i});
  many.Open();
  host.DataSets().AddDataSet(&many, "many");
  std::vector<int> positions;
  host.OnProgress = [&](TObject*, TxProgressStatus status, int, int max, int position) {
    if (status == psStarting) {
      EXPECT_EQ(max, 1000);
    }
    if (status == psRunning) positions.push_back(position);
  };
  EXPECT_EQ(Select("SELECT n FROM many WHERE n < 3").size(), 3u);
  EXPECT_GE(positions.size(), 15u);
  EXPECT_LE(positions.size(), 17u);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
}

TEST_F(SqlExecuteTest, PushedDownFilterStillLeavesTheWhereToTheEngine) {
  const char* sql = "SELECT id FROM emp WHERE dept = '02' AND pay > 1500";
  host.WhereOptimizeMethod = omNone;
  Rows plain = Select(sql);
  EXPECT_EQ(plain, Rows{"5"});
  std::vector<std::string> filters;
  int cancels = 0;
  host.WhereOptimizeMethod = omSetFilter;
  host.OnSetFilter = [&](TObject*, TDataSet* ds, const AnsiString& filter, bool joining, bool& handled) {
    EXPECT_EQ(ds, &emp);
    EXPECT_FALSE(joining);
    filters.push_back(filter);
    handled = true;  // claims the filter but lets every row through
  };
  host.OnCancelFilter = [&](TObject*, TDataSet*, bool) { ++cancels; };
  EXPECT_EQ(Select(sql), plain);
  EXPECT_EQ(filters, std::vector<std::string>{"dept = '02' AND pay > 1500"});
  EXPECT_EQ(cancels, 1);
}

TEST_F(SqlExecuteTest, RangeOnASingleConditionAndIndexForOrder) {
  host.WhereOptimizeMethod = omSetRange;
  std::vector<std::string> log;
  host.OnIndexNeededFor = [&](TObject*, TDataSet*, const AnsiString& names, bool activate, bool,
                              bool& accept) {
    log.push_back("index " + names + (activate ? " on" : " ask"));
    accept = true;
  };
  host.OnSetRange = [&](TObject*, int rel, TDataSet*, const AnsiString& names, const AnsiString& from,
                        const AnsiString& to, bool) {
    log.push_back("range " + std::to_string(rel) + " " + names + " " + from + ".." + to);
  };
  host.OnCancelRange = [&](TObject*, TDataSet*, bool) { log.push_back("cancel"); };
  EXPECT_EQ(Select("SELECT id FROM emp WHERE dept = '01'"), (Rows{"1", "3"}));
  EXPECT_EQ(log, (std::vector<std::string>{"index DEPT ask", "index DEPT on", "range 0 DEPT 01..01",
                                           "cancel"}));
  log.clear();
  Select("SELECT id FROM emp WHERE dept = '01' AND id > 1");
  EXPECT_TRUE(log.empty());
  // An ORDER BY that an index delivers is not sorted again.
  log.clear();
  EXPECT_EQ(Select("SELECT id, name FROM emp ORDER BY name"),
            (Rows{"1|Ann", "2|Bob", "3|Cid", "4|Dan", "5|王五"}));
  EXPECT_EQ(log, std::vector<std::string>{"index name on"});
  log.clear();
  Select("SELECT id, name FROM emp ORDER BY name DESC");
  EXPECT_TRUE(log.empty());
}

TEST_F(SqlExecuteTest, SelectIntoCopiesSourceFieldsByName) {
  TMemDataSet target;
  target.AddColumn("NAME", ftString, 10);
  target.AddColumn("OTHER", ftInteger);
  target.Open();
  host.DataSets().AddDataSet(&target, "old");
  RunSql(host, "SELECT name AS b, id * 2 FROM emp WHERE dept = '02' INTO old FOR APPEND");
  ASSERT_EQ(target.RecordCount(), 2);
  std::set<std::string> names;
  for (target.First(); !target.Eof(); target.Next()) {
    names.insert(target.FieldByName("NAME")->AsString());
    EXPECT_TRUE(target.FieldByName("OTHER")->IsNull());
  }
  EXPECT_EQ(names, (std::set<std::string>{"Bob", "王五"}));
  EXPECT_EQ(ErrorOfSql(host, "SELECT name FROM emp INTO gone FOR APPEND"), "The INTO table defined does not exists");
}

TEST_F(SqlExecuteTest, MergeAppendsTheSecondResult) {
  auto s = RunSql(host, "MERGE SELECT name, id FROM emp WHERE id = 1 WITH SELECT dept FROM emp WHERE id > 3");
  EXPECT_EQ(RowsOf(s->ResultSet()), (Rows{"Ann|1", "03|null", "02|null"}));
}

TEST_F(SqlExecuteTest, ProcessWideSeparatorsAreNeitherUsedNorChanged) {
  TFormatSettings& settings = DefaultFormatSettings();
  const TFormatSettings saved = settings;
  settings.DecimalSeparator = ',';
  settings.ThousandSeparator = '.';
  std::unique_ptr<TSqlAnalizer> select;
  try {
    select = RunSql(host, "SELECT id, pay + 0.25 FROM emp WHERE pay > 1500.5 ORDER BY 2");
    EXPECT_EQ(settings.DecimalSeparator, ',');
    RunSql(host, "UPDATE emp SET pay = pay + 0.5 WHERE id = 2");
    EXPECT_EQ(settings.DecimalSeparator, ',');
  } catch (...) {
    settings = saved;
    throw;
  }
  settings = saved;
  EXPECT_EQ(RowsOf(select->ResultSet()), (Rows{"5|1800.25", "3|2500.25", "1|3000.75"}));
  EXPECT_EQ(Select("SELECT pay FROM emp WHERE id = 2"), Rows{"1200.5"});
}

TEST_F(SqlExecuteTest, QueryItemsAliasesAndFunctions) {
  TxDataSets& sets = host.DataSets();
  TMemDataSet named;
  named.SetName("Emp2");
  TxDataSetItem* item = sets.Add();
  item->SetDataSet(&named);
  EXPECT_EQ(item->Alias(), "Emp2");
  EXPECT_EQ(item->DisplayName(), "Emp2 (Emp2)");
  EXPECT_THROW(sets.Add()->SetAlias("EMP2"), ESqlQueryError);
  EXPECT_EQ(sets.FindDataSet("[emp2]"), &named);

  TExFunctions functions(nullptr);
  TExFunctionItem* f = functions.Add();
  f->SetResultType(ttInteger);
  EXPECT_EQ(f->MaxWidth(), 0);
  f->SetResultType(ttString);
  EXPECT_EQ(f->MaxWidth(), 10);
  f->SetMaxWidth(0);
  EXPECT_EQ(f->MaxWidth(), 1);
  f->SetResultType(ttFloat);
  f->SetMaxWidth(7);
  EXPECT_EQ(f->MaxWidth(), 0);
}

TEST_F(SqlExecuteTest, UserFunctionsAnswerThroughTheQuery) {
  TExFunctionItem* f = host.ExFunctions().Add();
  f->SetName("BONUS");
  f->SetResultType(ttFloat);
  host.OnFunctionSolve = [](TObject*, const AnsiString&, TParameterList* p, Variant& v) {
    v = p->AsFloat(0) / 10;
  };
  EXPECT_EQ(Select("SELECT BONUS(pay) FROM emp WHERE id = 2"), Rows{"120"});
}

}  // namespace
