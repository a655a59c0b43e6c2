// Grouping, aggregates, HAVING and TRANSFORM..PIVOT over in-memory tables.
#include <gtest/gtest.h>

#include "tests/sql/SqlTestHost.h"

namespace {

class SqlGroupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.AddColumn("A", ftInteger);
    t.AddColumn("B", ftString, 4);
    t.AddColumn("X", ftFloat);
    const struct {
      int a;
      const char* b;
      Variant x;
    } rows[] = {{2, "q", 1.0}, {1, "p", 10.0}, {1, "p", 5.0}, {1, "q", 7.0}, {3, "p", 5.0},
                {3, "q", 3.0}, {3, "r", 4.0}};
    for (const auto& r : rows) t.AddRow({r.a, r.b, r.x});
    t.Open();
    empty.AddColumn("A", ftInteger);
    empty.AddColumn("X", ftFloat);
    empty.Open();
    host.DataSets().AddDataSet(&t, "t");
    host.DataSets().AddDataSet(&empty, "e");
  }

  Rows Select(const AnsiString& text) { return RowsOf(RunSql(host, text)->ResultSet()); }

  // A one-column table of floats, for aggregates over chosen values.
  void Values(const std::vector<Variant>& xs) {
    v.AddColumn("G", ftInteger);
    v.AddColumn("X", ftFloat);
    for (const Variant& x : xs) v.AddRow({1, x});
    v.Open();
    host.DataSets().AddDataSet(&v, "v");
  }

  TMemDataSet t, empty, v, w;
  TTestHost host;
};

TEST_F(SqlGroupTest, GroupsComeInAscendingOrderWithTheirAggregates) {
  EXPECT_EQ(Select("SELECT a, SUM(x), COUNT(*), MIN(x), MAX(x) FROM t GROUP BY a"),
            (Rows{"1|22|3|5|10", "2|1|1|1|1", "3|12|3|3|5"}));
  EXPECT_EQ(Select("SELECT b, AVG(x) FROM t GROUP BY b ORDER BY 2 DESC"),
            (Rows{"p|6.66666666666667", "r|4", "q|3.66666666666667"}));
  EXPECT_EQ(Select("SELECT SUM(x) FROM t"), Rows{"35"});
  EXPECT_EQ(Select("SELECT a, SUM(x) * 2 + 1 AS s FROM t WHERE a <> 2 GROUP BY a"),
            (Rows{"1|45", "3|25"}));
  EXPECT_EQ(Select("SELECT a, b, COUNT(*) FROM t GROUP BY a, b"),
            (Rows{"1|p|2", "1|q|1", "2|q|1", "3|p|1", "3|q|1", "3|r|1"}));
}

TEST_F(SqlGroupTest, OrderedByAnAggregateAlias) {
  EXPECT_EQ(Select("SELECT a, SUM(x) AS total FROM t GROUP BY a ORDER BY total DESC"),
            (Rows{"1|22", "3|12", "2|1"}));
  EXPECT_EQ(Select("SELECT DISTINCT b, COUNT(*) FROM t WHERE a = 1 GROUP BY b"), (Rows{"p|2", "q|1"}));
}

TEST_F(SqlGroupTest, AggregatesOverNoRowsGiveOneRowButNoGroup) {
  const struct {
    const char* sql;
    Rows rows;
  } cases[] = {
      {"SELECT COUNT(*) FROM e", Rows{"0"}},
      {"SELECT COUNT(*), SUM(x), MIN(x), AVG(x) FROM t WHERE a > 10", Rows{"0|null|null|null"}},
      {"SELECT COUNT(*) * 2 + 1, COUNT(x) FROM e", Rows{"1|0"}},
      {"SELECT a, COUNT(*) FROM t WHERE a > 10 GROUP BY a", Rows{}},
  };
  for (const auto& c : cases) EXPECT_EQ(Select(c.sql), c.rows) << c.sql;
}

TEST_F(SqlGroupTest, HavingKeepsTheGroupsThatPass) {
  EXPECT_EQ(Select("SELECT a, COUNT(*) FROM t GROUP BY a HAVING COUNT(a) > 1"), (Rows{"1|3", "3|3"}));
  EXPECT_EQ(Select("SELECT b FROM t GROUP BY b HAVING SUM(x) - MIN(x) >= 11"), (Rows{"p"}));
  // A field beside the aggregates reads the group's own row.
  EXPECT_EQ(Select("SELECT a, SUM(x) FROM t GROUP BY a HAVING a <> 2"), (Rows{"1|22", "3|12"}));
  EXPECT_EQ(Select("SELECT a, SUM(x) + a FROM t GROUP BY a"), (Rows{"1|23", "2|3", "3|15"}));
  EXPECT_EQ(ErrorOfSql(host, "SELECT a FROM t GROUP BY a HAVING SUM(x)"),
            "Expresion is not of boolean type !");
}

TEST_F(SqlGroupTest, NullsCountAsTheColumnReadsThem) {
  Values({2.0, Variant::Null(), 4.0});
  EXPECT_EQ(Select("SELECT COUNT(x), AVG(x), SUM(x), MIN(x) FROM v"), Rows{"3|2|6|0"});
}

TEST_F(SqlGroupTest, StdevAndMinimumOfAGroup) {
  Values({1.0, 2.0, 3.0});
  EXPECT_EQ(Select("SELECT STDEV(x), MIN(x), MAX(x) FROM v"), Rows{"1|1|3"});
  EXPECT_EQ(Select("SELECT a, STDEV(x) FROM t WHERE a = 2 GROUP BY a"), Rows{"2|0"});
}

TEST_F(SqlGroupTest, MinimumAndMaximumStartFromEachGroupsOwnFirstValue) {
  // Interleaved groups of negative values: a maximum or minimum that began
  // at 0, or at another group's value, shows here.
  w.AddColumn("G", ftInteger);
  w.AddColumn("X", ftFloat);
  const double rows[][2] = {{1, -3}, {2, -8}, {1, -1}, {2, -2}, {1, -7}, {3, 4}};
  for (const auto& r : rows) w.AddRow({static_cast<int>(r[0]), r[1]});
  w.Open();
  host.DataSets().AddDataSet(&w, "w");
  EXPECT_EQ(Select("SELECT g, MIN(x), MAX(x), COUNT(*) FROM w GROUP BY g"),
            (Rows{"1|-7|-1|3", "2|-8|-2|2", "3|4|4|1"}));
  // HAVING reads each group's values after the other rows have gone.
  EXPECT_EQ(Select("SELECT g, MAX(x) FROM w GROUP BY g HAVING MAX(x) < 0 AND MIN(x) > -8"),
            (Rows{"1|-1"}));
}

TEST_F(SqlGroupTest, DistinctAggregatesKeepOneSetPerGroupAndAggregate) {
  // x = 5 occurs in groups 1 and 3: each group still counts it, and the
  // plain aggregates still see every row.
  EXPECT_EQ(Select("SELECT a, COUNT(DISTINCT x), SUM(x), COUNT(*) FROM t GROUP BY a"),
            (Rows{"1|3|22|3", "2|1|1|1", "3|3|12|3"}));
  EXPECT_EQ(Select("SELECT b, SUM(DISTINCT x), COUNT(*) FROM t GROUP BY b"),
            (Rows{"p|15|3", "q|11|3", "r|4|1"}));
}

TEST_F(SqlGroupTest, SumsKeepEveryDigit) {
  Values({12345678901234.56, 0.01, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1});
  auto s = RunSql(host, "SELECT SUM(x) FROM v WHERE x < 1");
  s->ResultSet()->SetRecNo(1);
  EXPECT_EQ(s->ResultSet()->Fields().Items(0)->GetAsFloat(), 1.01);
  auto big = RunSql(host, "SELECT SUM(x) FROM v WHERE x > 1 OR x = 0.01");
  big->ResultSet()->SetRecNo(1);
  EXPECT_EQ(big->ResultSet()->Fields().Items(0)->GetAsFloat(), 12345678901234.56 + 0.01);
}

TEST_F(SqlGroupTest, NegativeZeroIsTheSameKeyAsZero) {
  // 0 * x of a negative x is -0: one key with 0 for DISTINCT and GROUP BY.
  EXPECT_EQ(Select("SELECT DISTINCT 0 * (x - 6) AS z FROM t WHERE a <> 2"), Rows{"0"});
  EXPECT_EQ(Select("SELECT 0 * (x - 6) AS z, COUNT(*) FROM t WHERE a <> 2 GROUP BY z"), Rows{"0|6"});
}

TEST_F(SqlGroupTest, GroupItemsMustBeColumns) {
  EXPECT_EQ(ErrorOfSql(host, "SELECT a, SUM(x) FROM t GROUP BY b"),
            "Fields in GROUP BY must also exists in SELECT columns");
  EXPECT_EQ(ErrorOfSql(host, "SELECT a FROM t GROUP BY 3"), "No. of fields in GROUP unmatched with SELECT");
}

TEST_F(SqlGroupTest, FileSortListsGroupAlike) {
  Rows inMemory = Select("SELECT b, COUNT(DISTINCT a), SUM(x) FROM t GROUP BY b HAVING COUNT(a) > 1");
  host.InMemResultSet = false;
  EXPECT_EQ(Select("SELECT b, COUNT(DISTINCT a), SUM(x) FROM t GROUP BY b HAVING COUNT(a) > 1"), inMemory);
}

}  // namespace

namespace {

class SqlPivotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.AddColumn("A", ftInteger);
    t.AddColumn("B", ftString, 4);
    t.AddColumn("X", ftFloat);
    t.AddRow({1, "p", 10.0});
    t.AddRow({1, "p", 5.0});
    t.AddRow({1, "q", 7.0});
    t.AddRow({2, "q", 1.0});
    t.Open();
    host.DataSets().AddDataSet(&t, "t");
  }
  TMemDataSet t;
  TTestHost host;
};

TEST_F(SqlPivotTest, CellsPerRowGroupAndPivotValue) {
  auto s = RunSql(host, "TRANSFORM SUM(x) SELECT a FROM t GROUP BY a PIVOT b");
  EXPECT_EQ(NamesOf(s->ResultSet()), (std::vector<std::string>{"a", "p", "q"}));
  EXPECT_EQ(RowsOf(s->ResultSet()), (Rows{"1|15|7", "2|null|1"}));

  auto c = RunSql(host, "TRANSFORM COUNT(*) SELECT a FROM t GROUP BY a PIVOT b");
  EXPECT_EQ(c->ResultSet()->Fields().Items(1)->DataType(), ttInteger);
  EXPECT_EQ(RowsOf(c->ResultSet()), (Rows{"1|2|1", "2|null|1"}));

  auto two = RunSql(host, "TRANSFORM SUM(x), COUNT(*) SELECT a FROM t GROUP BY a PIVOT b");
  EXPECT_EQ(NamesOf(two->ResultSet()), (std::vector<std::string>{"a", "p", "p", "q", "q"}));
  EXPECT_EQ(RowsOf(two->ResultSet()), (Rows{"1|15|2|7|1", "2|null|null|1|1"}));
}

TEST_F(SqlPivotTest, ListedValuesOrderAndDescendingRows) {
  auto s = RunSql(host, "TRANSFORM SUM(x) SELECT a FROM t GROUP BY a PIVOT b IN ('q', 'r')");
  EXPECT_EQ(NamesOf(s->ResultSet()), (std::vector<std::string>{"a", "q", "r"}));
  EXPECT_EQ(RowsOf(s->ResultSet()), (Rows{"1|7|null", "2|1|null"}));
  auto d = RunSql(host, "TRANSFORM MAX(x) SELECT a FROM t GROUP BY a ORDER BY a DESC PIVOT b");
  EXPECT_EQ(RowsOf(d->ResultSet()), (Rows{"2|null|1", "1|10|7"}));
}

TEST_F(SqlPivotTest, ValuesFromASubqueryAndCellKinds) {
  TMemDataSet u;
  u.AddColumn("V", ftString, 4);
  u.AddRow({"q"});
  u.AddRow({"p"});
  u.Open();
  host.DataSets().AddDataSet(&u, "u");
  auto s = RunSql(host, "TRANSFORM AVG(x) SELECT a FROM t GROUP BY a PIVOT b IN (SELECT v FROM u)");
  EXPECT_EQ(NamesOf(s->ResultSet()), (std::vector<std::string>{"a", "q", "p"}));
  EXPECT_EQ(RowsOf(s->ResultSet()), (Rows{"1|7|7.5", "2|1|null"}));
  auto m = RunSql(host, "TRANSFORM MIN(x), STDEV(x) SELECT a FROM t GROUP BY a PIVOT b");
  EXPECT_EQ(RowsOf(m->ResultSet()), (Rows{"1|5|3.53553390593274|7|0", "2|null|null|1|0"}));
}

TEST_F(SqlPivotTest, PlanningErrorsAndTheColumnLimit) {
  const struct {
    const char* sql;
    const char* message;
  } cases[] = {
      {"TRANSFORM SUM(x) SELECT a, b FROM t GROUP BY b, a PIVOT b",
       "Column order in GROUP BY must match in SELECT"},
      {"TRANSFORM SUM(x) SELECT a FROM t GROUP BY 1, 1 PIVOT b",
       "Number of columns in SELECT mismatch in GROUP BY"},
      {"TRANSFORM SUM(x) SELECT a FROM t GROUP BY a ORDER BY 1, 1 PIVOT b",
       "Number of columns in SELECT mismatch in ORDER BY"},
      {"TRANSFORM SUM(x) SELECT a, b FROM t GROUP BY a, b ORDER BY b PIVOT b",
       "Column order in order BY must match in SELECT"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOfSql(host, c.sql), c.message) << c.sql;
  AnsiString many = "TRANSFORM SUM(x)";
  for (int i = 0; i < 30; ++i) many += ", SUM(x)";
  many += " SELECT a FROM t GROUP BY a PIVOT b";
  EXPECT_EQ(ErrorOfSql(host, many), "TRANSFORM allows at most 30 columns, the statement has 31");
}

// Aggregates without GROUP BY are added up as the scan goes: the first row
// that passes still shows its own fields, integers add as integers, and a
// WHERE that passes nothing still gives the one row of empty aggregates.
TEST_F(SqlGroupTest, AggregatesOfTheWholeTableShowTheFirstPassingRowsFields) {
  EXPECT_EQ(Select("SELECT b, SUM(a), AVG(a), MIN(x), MAX(x), COUNT(*) FROM t WHERE a <> 2"),
            Rows{"p|12|2|3|10|6"});
  EXPECT_EQ(Select("SELECT a * 10 + SUM(x) FROM t WHERE x < 6"), Rows{"38"});
  EXPECT_EQ(Select("SELECT COUNT(*), SUM(x) FROM t WHERE a > 5"), Rows{"0|null"});
}

// The host may walk the main table in any order exactly when the result
// cannot show that order: everything collapses into groups whose columns
// are keys or aggregates.  It is told before the scan and told again after.
TEST_F(SqlGroupTest, TheScanMayGoInAnyOrderOnlyWhereTheResultCannotShowIt) {
  std::vector<bool> told;
  host.OnScanInAnyOrder = [&](TObject*, TDataSet* ds, bool anyOrder) {
    EXPECT_EQ(ds, &t);
    told.push_back(anyOrder);
  };
  const struct {
    const char* sql;
    bool anyOrder;
  } cases[] = {
      {"SELECT SUM(x) FROM t", true},
      {"SELECT COUNT(*), AVG(x), MIN(x), MAX(x), COUNT(DISTINCT a) FROM t", true},
      {"SELECT a, SUM(x) FROM t GROUP BY a", true},
      {"SELECT a, SUM(x) * 2 + 1 AS s FROM t WHERE b <> 'r' GROUP BY a HAVING COUNT(*) > 1 ORDER BY s", true},
      {"SELECT a, b, COUNT(*) FROM t GROUP BY a, b", true},
      {"SELECT a FROM t GROUP BY a", true},
      {"SELECT 'n', COUNT(*) FROM t", true},
      // A field outside the aggregates shows the group's first row.
      {"SELECT a, b, SUM(x) FROM t GROUP BY a", false},
      {"SELECT SUM(x) + a FROM t", false},
      {"SELECT a, SUM(x) FROM t GROUP BY a HAVING SUM(x) > a", false},
      // Rows of their own, joins and subqueries.
      {"SELECT a, x FROM t", false},
      {"SELECT DISTINCT a FROM t", false},
      {"SELECT SUM(t.x) FROM t, e WHERE t.a = e.a", false},
      {"SELECT SUM(x) FROM t WHERE a IN (SELECT a FROM t WHERE x > 4)", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    told.clear();
    Select(c.sql);
    if (c.anyOrder)
      EXPECT_EQ(told, (std::vector<bool>{true, false}));
    else
      EXPECT_TRUE(told.empty());
  }
}

}  // namespace
