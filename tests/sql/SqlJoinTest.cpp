// Joins (implicit, INNER, LEFT OUTER, self-joins) and subqueries.
#include <gtest/gtest.h>

#include "tests/sql/SqlTestHost.h"

namespace {

class SqlJoinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    emp.AddColumn("ID", ftInteger);
    emp.AddColumn("NAME", ftString, 10);
    emp.AddColumn("DEPT", ftString, 4);
    emp.AddColumn("BOSS", ftInteger);
    emp.AddRow({1, "Ann", "S", Variant::Null()});
    emp.AddRow({2, "Bob", "D", 1});
    emp.AddRow({3, "Cid", "S", 1});
    emp.AddRow({4, "Dan", "X", 2});
    emp.AddRow({5, "O'Hara", "O'B", 2});
    emp.Open();
    dept.AddColumn("CODE", ftString, 4);
    dept.AddColumn("TITLE", ftString, 10);
    dept.AddRow({"S", "Sales"});
    dept.AddRow({"D", "Dev"});
    dept.AddRow({"O'B", "Odd"});
    dept.Open();
    grade.AddColumn("DEPT", ftString, 4);
    grade.AddColumn("LVL", ftInteger);
    grade.AddRow({"S", 1});
    grade.AddRow({"D", 2});
    grade.AddRow({"S", 3});
    grade.Open();
    host.DataSets().AddDataSet(&emp, "emp");
    host.DataSets().AddDataSet(&dept, "dept");
    host.DataSets().AddDataSet(&grade, "grade");
  }

  Rows Select(const AnsiString& text) { return RowsOf(RunSql(host, text)->ResultSet()); }

  TMemDataSet emp, dept, grade;
  TTestHost host;
};

TEST_F(SqlJoinTest, ImplicitJoinsFromTopLevelEqualities) {
  const struct {
    const char* sql;
    Rows rows;
  } cases[] = {
      {"SELECT e.name, d.title FROM emp e, dept d WHERE e.dept = d.code",
       {"Ann|Sales", "Bob|Dev", "Cid|Sales", "O'Hara|Odd"}},
      {"SELECT e.name FROM emp e, dept d WHERE d.code = e.dept AND e.id > 1 AND d.title <> 'Dev'",
       {"Cid", "O'Hara"}},
      // The WHERE left over reads the joined table: tested on the joined rows.
      {"SELECT e.name FROM emp e, dept d WHERE (e.dept = d.code) AND (d.title = 'Sales')",
       {"Ann", "Cid"}},
      {"SELECT name, lvl FROM emp, grade WHERE emp.dept = grade.dept ORDER BY 2",
       {"Ann|1", "Cid|1", "Bob|2", "Ann|3", "Cid|3"}},
      // Three tables, three equalities: each level tests the ones it closes.
      {"SELECT e.name, d.title, g.lvl FROM emp e, dept d, grade g "
       "WHERE e.dept = d.code AND d.code = g.dept AND g.dept = e.dept AND g.lvl > 1",
       {"Bob|Dev|2", "Ann|Sales|3", "Cid|Sales|3"}},
  };
  for (const auto& c : cases) {
    Rows got = Select(c.sql);
    Rows want = c.rows;
    if (std::string(c.sql).find("ORDER BY") == std::string::npos) {
      std::sort(got.begin(), got.end());
      std::sort(want.begin(), want.end());
    }
    EXPECT_EQ(got, want) << c.sql;
  }
}

TEST_F(SqlJoinTest, EqualitiesUnderOrOrNotOrInLiteralsJoinNothing) {
  const char* const unjoined[] = {
      "SELECT e.name FROM emp e, dept d WHERE e.dept = d.code OR e.id = 1",
      "SELECT e.name FROM emp e, dept d WHERE NOT (e.dept = d.code)",
      "SELECT e.name FROM emp e, dept d WHERE e.name = 'e.dept = d.code'",
      "SELECT e.name FROM emp e, dept d WHERE e.id > 1",
  };
  for (const char* sql : unjoined)
    EXPECT_EQ(ErrorOfSql(host, sql), "More than one table but no JOINing defined") << sql;
  EXPECT_EQ(ErrorOfSql(host, "SELECT e.name FROM emp e, dept d, grade g WHERE e.dept = d.code"),
            "More than one table but no JOINing defined");
}

TEST_F(SqlJoinTest, ExplicitInnerAndLeftOuterJoins) {
  EXPECT_EQ(Select("SELECT e.name, d.title FROM emp e INNER JOIN dept d ON e.dept = d.code"),
            (Rows{"Ann|Sales", "Bob|Dev", "Cid|Sales", "O'Hara|Odd"}));
  EXPECT_EQ(Select("SELECT e.name, d.title FROM emp e LEFT OUTER JOIN dept d ON d.code = e.dept"),
            (Rows{"Ann|Sales", "Bob|Dev", "Cid|Sales", "Dan|null", "O'Hara|Odd"}));
  EXPECT_EQ(Select("SELECT e.name FROM emp e LEFT OUTER JOIN dept d ON e.dept = d.code "
                   "WHERE d.title IS NULL"),
            Rows{"Dan"});
  EXPECT_EQ(Select("SELECT e.name, g.lvl FROM emp e JOIN dept d ON e.dept = d.code "
                   "JOIN grade g ON d.code = g.dept WHERE e.id < 3"),
            (Rows{"Ann|1", "Ann|3", "Bob|2"}));
  EXPECT_EQ(ErrorOfSql(host, "SELECT e.name FROM emp e JOIN dept d ON e.dept = e.name"),
            "The joining is not correctly defined !");
  EXPECT_EQ(ErrorOfSql(host, "SELECT e.name FROM emp e JOIN dept d ON zz.dept = d.code"),
            "Tables referenced in JOIN does not correspond");
}

TEST_F(SqlJoinTest, SelfJoinsReadThroughACursorPerFromItem) {
  EXPECT_EQ(Select("SELECT a.name, b.name FROM emp a, emp b WHERE a.boss = b.id ORDER BY 1"),
            (Rows{"Bob|Ann", "Cid|Ann", "Dan|Bob", "O'Hara|Bob"}));
  EXPECT_EQ(host.copies.size(), 1u);
}

TEST_F(SqlJoinTest, JoinPushDownHandsValuesOnAsLiterals) {
  std::vector<std::string> filters;
  host.JoinOptimizeMethod = omSetFilter;
  host.OnSetFilter = [&](TObject*, TDataSet* ds, const AnsiString& filter, bool joining, bool& handled) {
    if (joining && ds == &dept) filters.push_back(filter);
    handled = false;
  };
  EXPECT_EQ(Select("SELECT e.name, d.title FROM emp e, dept d WHERE e.dept = d.code AND e.id = 5"),
            Rows{"O'Hara|Odd"});
  EXPECT_EQ(filters, std::vector<std::string>{"code = 'O''B'"});
}

TEST_F(SqlJoinTest, SubqueriesCompareWithEachValue) {
  const struct {
    const char* sql;
    Rows rows;
  } cases[] = {
      {"SELECT name FROM emp WHERE dept IN (SELECT code FROM dept WHERE title <> 'Dev')",
       {"Ann", "Cid", "O'Hara"}},
      {"SELECT name FROM emp WHERE id = ANY (SELECT boss FROM emp WHERE id > 3)", {"Bob"}},
      {"SELECT name FROM emp WHERE id > ALL (SELECT lvl FROM grade)", {"Dan", "O'Hara"}},
      {"SELECT name FROM emp WHERE id = ANY (SELECT lvl FROM grade WHERE lvl > 5)", {}},
      // Values reach the condition as values: a quote in them is no syntax.
      {"SELECT title FROM dept WHERE code IN (SELECT dept FROM emp WHERE id = 5)", {"Odd"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Select(c.sql), c.rows) << c.sql;
  EXPECT_EQ(ErrorOfSql(host, "SELECT name FROM emp WHERE id = ANY (SELECT lvl FROM grade) "
                             "AND id > ALL (SELECT lvl FROM grade)"),
            "In this version all subqueries must be ANY or ALL, but not both");
}

TEST_F(SqlJoinTest, ColumnSubqueriesGiveAValuePerRow) {
  EXPECT_EQ(Select("SELECT name, (SELECT MAX(lvl) FROM grade) FROM emp WHERE id < 3"),
            (Rows{"Ann|3", "Bob|3"}));
  EXPECT_EQ(Select("SELECT id, (SELECT dept FROM emp WHERE id = 5) FROM emp WHERE id = 1"),
            (Rows{"1|O'B"}));
}

TEST_F(SqlJoinTest, GroupsOverJoinedRows) {
  EXPECT_EQ(Select("SELECT d.title, COUNT(*), SUM(g.lvl) FROM emp e, dept d, grade g "
                   "WHERE e.dept = d.code AND g.dept = d.code GROUP BY d.title"),
            (Rows{"Dev|1|2", "Sales|4|8"}));
}

TEST_F(SqlJoinTest, UpdateTakesTheSubqueryRowOfTheSamePosition) {
  TMemDataSet target;
  target.AddColumn("V", ftInteger);
  target.AddColumn("W", ftString, 4);
  target.AddRow({0, "a"});
  target.AddRow({0, "b"});
  target.Open();
  host.DataSets().AddDataSet(&target, "target");
  RunSql(host, "UPDATE target SET v = 1 = (SELECT lvl FROM grade)");
  EXPECT_EQ(host.RowsAffected, 2);
  EXPECT_EQ(Select("SELECT v, w FROM target"), (Rows{"1|a", "2|b"}));
}

}  // namespace
