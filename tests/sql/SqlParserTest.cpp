#include "sql/SqlParser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"

namespace {

std::unique_ptr<TSqlAnalizer> Parse(const AnsiString& text, TSqlQueryContext* query = nullptr) {
  auto s = std::make_unique<TSqlAnalizer>();
  ParseSql(text, *s, query);
  return s;
}

// The message of a text that must not parse.
std::string Error(const AnsiString& text) {
  TSqlAnalizer s;
  try {
    ParseSql(text, s);
  } catch (const ESqlQueryError& e) {
    return e.Message();
  }
  return "parsed";
}

// The column marker of a name.
std::string M(const std::string& name) { return "\\f\"" + name + "\""; }

}  // namespace

TEST(TsqParser, RuleActionsMatchTheGrammarAndItsTables) {
  std::ifstream in(PAYROLL_SOURCE_DIR "/sql/SqlGrammar.y");
  ASSERT_TRUE(in);
  std::stringstream text;
  text << in.rdbuf();
  std::string grammar = text.str();
  std::vector<std::string> tags;
  std::regex tag(R"(/\* (r\w+) \*/)");
  for (auto it = std::sregex_iterator(grammar.begin(), grammar.end(), tag); it != std::sregex_iterator(); ++it)
    tags.push_back((*it)[1]);
  const auto& rules = TsqParser::Rules();
  ASSERT_EQ(tags.size(), rules.size());
  for (size_t i = 0; i < rules.size(); ++i) EXPECT_EQ(tags[i], rules[i].name) << "rule " << i + 1;

  const TParseTables* t = LoadParseTables(kSqlTablePrefix);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->yyr.size(), rules.size());
  for (size_t r = 0; r < rules.size(); ++r)
    EXPECT_EQ(t->yyr[r].symbol, rules[r].length) << rules[r].name;
}

TEST(TsqParser, SelectColumnsGetTextsNamesAndAggregates) {
  auto s = Parse("SELECT a, t.b, SUM(x), COUNT(*), MAX(DISTINCT y) AS top, c + 1 total FROM t");
  EXPECT_EQ(s->StatementKind, skSelect);
  const struct {
    std::string expr, name;
    bool explicitName;
    int aggregates;
  } want[] = {
      {M("a"), "a", false, 0},
      {M("t.b"), "t.b", false, 0},
      {"{Aggregate 0}", "SUM OF x", false, 1},
      {"{Aggregate 0}", "COUNT(*)", false, 1},
      {"{Aggregate 0}", "top", true, 1},
      {M("c") + " + 1", "total", true, 0},
  };
  ASSERT_EQ(s->ColumnList.Count(), 6);
  for (int i = 0; i < 6; ++i) {
    const TColumnItem* c = s->ColumnList.Items(i);
    EXPECT_EQ(c->ColumnExpr, want[i].expr) << i;
    EXPECT_EQ(c->ColumnName, want[i].name) << i;
    EXPECT_EQ(c->IsAsExplicit, want[i].explicitName) << i;
    EXPECT_EQ(c->AggregateList.Count(), want[i].aggregates) << i;
    EXPECT_EQ(c->CastLen, 1) << i;
  }
  const TAggregateItem* sum = s->ColumnList.Items(2)->AggregateList.Items(0);
  EXPECT_EQ(sum->Kind, akSum);
  EXPECT_EQ(sum->AggregateStr, M("x"));
  const TAggregateItem* count = s->ColumnList.Items(3)->AggregateList.Items(0);
  EXPECT_EQ(count->Kind, akCount);
  EXPECT_EQ(count->AggregateStr, "0");
  const TAggregateItem* max = s->ColumnList.Items(4)->AggregateList.Items(0);
  EXPECT_EQ(max->Kind, akMax);
  EXPECT_TRUE(max->IsDistinct);
  ASSERT_EQ(s->TableList.Count(), 1);
  EXPECT_EQ(s->TableList.Items(0)->TableName, "t");
  EXPECT_EQ(s->TableList.Items(0)->Alias, "t");
}

TEST(TsqParser, RendersValues) {
  const struct {
    const char* column;
    std::string text;
  } cases[] = {
      {"a OR b", M("a") + " OR " + M("b")},
      {"a * (b - 2) ^ 3", M("a") + " * (" + M("b") + " - 2) ^ 3"},
      {"-a", "-" + M("a")},
      {"a MOD 2 = 0", M("a") + " MOD 2 = 0"},
      {"TRUE", "DummyBoolean(True)"},
      {"now", "NOW"},
      {"f()", "f()"},
      {"f(*)", "f(*)"},
      {"Copy(a, 1, 2)", "Copy(" + M("a") + ", 1, 2)"},
      {"a || 'x'", M("a") + " + 'x'"},
      {"CASE WHEN a > 1 THEN 'big' WHEN a = 1 THEN 'one' ELSE 'small' END",
       "CASE  WHEN " + M("a") + " > 1 THEN 'big' WHEN " + M("a") + " = 1 THEN 'one' ELSE 'small' END"},
      {"CASE WHEN a THEN true END", "CASE  WHEN " + M("a") + " THEN true  END"},
      {"TRIM(LEADING 'x' FROM a)", "SQLTRIM('x', " + M("a") + ", 0)"},
      {"TRIM(BOTH ' ' FROM a)", "SQLTRIM(' ', " + M("a") + ", 2)"},
      {"EXTRACT(MINUTE FROM d)", "MIN(" + M("d") + ")"},
      {"EXTRACT(YEAR FROM d)", "YEAR(" + M("d") + ")"},
      {"SUBSTRING(a FROM 2 FOR 3)", "COPY(" + M("a") + ",2,3)"},
      {"SUBSTRING(a FROM 2)", "COPY(" + M("a") + ",2,LENGTH(" + M("a") + "))"},
      {"[Order Details].[Unit Price]", M("[Order Details].[Unit Price]")},
  };
  for (const auto& c : cases) {
    auto s = Parse(AnsiString("SELECT ") + c.column + " FROM t");
    ASSERT_EQ(s->ColumnList.Count(), 1) << c.column;
    EXPECT_EQ(s->ColumnList.Items(0)->ColumnExpr, c.text) << c.column;
  }
}

TEST(TsqParser, RendersConditions) {
  const struct {
    const char* where;
    std::string text;
  } cases[] = {
      {"a = 'x' AND b <> 2 OR (c >= 3)",
       M("a") + " = 'x' AND " + M("b") + " <> 2 OR (" + M("c") + " >= 3)"},
      {"a BETWEEN 1 AND 5", "(" + M("a") + " >= 1) AND (" + M("a") + " <= 5)"},
      {"a BETWEEN b AND t.c", "(" + M("a") + " >= " + M("b") + ") AND (" + M("a") + " <= " + M("t.c") + ")"},
      {"a IN (1, 2)", "( (" + M("a") + " = 1) OR (" + M("a") + " = 2) )"},
      {"a NOT IN ('x')", "NOT ( (" + M("a") + " = 'x') )"},
      {"a LIKE 'x%'", "SQLLIKE(" + M("a") + ", 'x%', '')"},
      {"a NOT LIKE 'x!%' ESCAPE '!'", "SQLNOTLIKE(" + M("a") + ", 'x!%', '!')"},
      {"a IS NULL", "ISNULL(" + M("a") + ",TRUE)"},
      {"t.a IS NOT NULL", "ISNULL(" + M("t.a") + ",FALSE)"},
      {"NOT a = b", " NOT " + M("a") + " = " + M("b")},
      {"LEFT(a, 2) = 'x'", "LEFT(" + M("a") + ", 2) = 'x'"},
      {"copy(zgbh, 1, 2) = '01'", "copy(" + M("zgbh") + ", 1, 2) = '01'"},
      {"a = -b", M("a") + " = -" + M("b")},
      {"d > #1/2/2003#", M("d") + " > DummyDate(37623)"},
      {"a > 1 AND a < #1/2/2003#", M("a") + " > 1 AND " + M("a") + " < DummyDate(37623)"},
  };
  for (const auto& c : cases) {
    auto s = Parse(AnsiString("SELECT * FROM t WHERE ") + c.where);
    EXPECT_EQ(s->WhereText, c.text) << c.where;
  }
}

TEST(TsqParser, WhereComparisonsBecomeCandidatesAndRanges) {
  struct Want {
    std::string field, start, end;
    int rel;
  };
  const struct {
    const char* where;
    std::vector<Want> candidates;
  } cases[] = {
      {"a BETWEEN 1 AND 5", {{M("a"), "1", "5", roEq}}},
      {"a >= 1 AND a <= 5", {{M("a"), "1", "5", roEq}}},
      {"a < 'q' AND A > 'c'", {{M("a"), "q", "c", roEq}}},
      {"a > 1 AND b > 2", {{M("a"), "1", "1", roGT}, {M("b"), "2", "2", roGT}}},
      {"a = 'x' AND b <> \"y\"", {{M("a"), "x", "x", roEq}, {M("b"), "y", "y", roNE}}},
      // The last comparison before GROUP BY is still inside the WHERE clause.
      {"a <= 3 GROUP BY a", {{M("a"), "3", "3", roLE}}},
      {"a IN (SELECT b FROM u) AND c = 1 ORDER BY c", {{M("c"), "1", "1", roEq}}},
  };
  for (const auto& c : cases) {
    auto s = Parse(AnsiString("SELECT a FROM t WHERE ") + c.where);
    ASSERT_EQ(s->WhereOptimizeList.Count(), static_cast<int>(c.candidates.size())) << c.where;
    for (size_t i = 0; i < c.candidates.size(); ++i) {
      const TWhereOptimizeItem* w = s->WhereOptimizeList.Items(static_cast<int>(i));
      EXPECT_EQ(w->FieldNames, c.candidates[i].field) << c.where;
      EXPECT_EQ(w->StartValue, c.candidates[i].start) << c.where;
      EXPECT_EQ(w->EndValue, c.candidates[i].end) << c.where;
      EXPECT_EQ(w->RelOperator, c.candidates[i].rel) << c.where;
      EXPECT_FALSE(w->CanOptimize);
    }
  }
  // Comparisons outside WHERE record nothing; "=" also fills the equality lists.
  auto s = Parse("UPDATE t SET a = (b = 1)");
  EXPECT_EQ(s->WhereOptimizeList.Count(), 0);
  auto e = Parse("SELECT a FROM t WHERE a = b");
  EXPECT_EQ(e->LeftEqualities, std::vector<AnsiString>{M("a")});
  EXPECT_EQ(e->RightEqualities, std::vector<AnsiString>{M("b")});
}

TEST(TsqParser, SyntaxErrorsGiveLineColumnAndToken) {
  const struct {
    const char* text;
    std::string message;
  } cases[] = {
      {"SELECT NOT a FROM t", " syntax error at line : 1, Column: 7, token: NOT"},
      {"SELECT a FROM t WHERE a = NULL", " syntax error at line : 1, Column: 26, token: NULL"},
      {"SELECT a FROM t WHERE a LIKE b", " syntax error at line : 1, Column: 29, token: b"},
      {"SELECT a FROM t\nWHERE a + 1 IS NULL", " syntax error at line : 2, Column: 12, token: IS"},
      {"SELECT a FROM t WHERE CASE WHEN a THEN 1 END",
       " syntax error at line : 1, Column: 22, token: CASE"},
      {"SELECT LEFT(a, 1) FROM t", " syntax error at line : 1, Column: 7, token: LEFT"},
      {"SELECT a FROM t WHERE CAST(a AS INTEGER) = 1",
       " syntax error at line : 1, Column: 22, token: CAST"},
      {"SELECT a FROM a, b JOIN c ON a.x = c.x", " syntax error at line : 1, Column: 19, token: JOIN"},
      {"SELECT a FROM a JOIN c ON a.x = 5", " syntax error at line : 1, Column: 32, token: 5"},
      {"SELECT x-1 FROM t", " syntax error at line : 1, Column: 8, token: -1"},
      {"SELECT a FROM t WHERE a = 1 ?", " syntax error at line : 1, Column: 28, token: ?"},
      {"SELECT SUM(*) FROM t", " syntax error at line : 1, Column: 11, token: *"},
      {"CREATE TABLE 'emp.dat' (id INTEGER, PRIMARY KEY (id))",
       " syntax error at line : 1, Column: 36, token: PRIMARY"},
      {"INSERT INTO t (SELECT a FROM u)", " syntax error at line : 1, Column: 15, token: SELECT"},
      {"SELECT a FROM t WHERE", " syntax error at line : 1, Column: 22, token: "},
      {"CREATE TABLE 'e' (a INTEGER, A CHAR(5))",
       " Duplicate field name at line : 1, Column: 37, token: )"},
      {"CREATE TABLE 'e' (a INTEGER, b BLOB(6))",
       " BLOB FIELD: wrong type (1-5) at line : 1, Column: 37, token: )"},
      {"CREATE TABLE 'e' (a INTEGER PRIMARY KEY (b))",
       " PRIMARY KEY: field not found at line : 1, Column: 41, token: b"},
      {"ALTER TABLE 'e' ADD c INTEGER, ADD c CHAR(2)",
       " Duplicate field name at line : 1, Column: 43, token: )"},
  };
  for (const auto& c : cases) EXPECT_EQ(Error(c.text), c.message) << c.text;
}

TEST(TsqParser, JoinsKeepKindsTextsAndCodesPerJoin) {
  auto s = Parse(
      "SELECT * FROM a LEFT OUTER JOIN b ON a.x = b.x AND (a.y >= b.y OR z < b.z) "
      "RIGHT JOIN c ON c.k <> a.k");
  ASSERT_EQ(s->JoinList.Count(), 2);
  const TJoinOnItem* j = s->JoinList.Items(0);
  EXPECT_EQ(j->JoinKind, 2);
  EXPECT_EQ(j->JoinText, "a.x=b.x AND (a.y>=b.y OR [dummy].z<b.z)");
  EXPECT_EQ(j->LeftRefTables, (std::vector<AnsiString>{"a", "a", ""}));
  EXPECT_EQ(j->LeftRefFields, (std::vector<AnsiString>{"x", "y", "z"}));
  EXPECT_EQ(j->RightRefTables, (std::vector<AnsiString>{"b", "b", "b"}));
  EXPECT_EQ(j->RelOperators, (std::vector<int>{roEq, roGE, roLT}));
  EXPECT_EQ(j->AndOr, (std::vector<int>{1, 0}));
  const TJoinOnItem* k = s->JoinList.Items(1);
  EXPECT_EQ(k->JoinKind, 3);
  EXPECT_EQ(k->RelOperators, std::vector<int>{roNE});
  EXPECT_TRUE(k->AndOr.empty());
  EXPECT_EQ(s->TableList.Count(), 3);

  const struct {
    const char* kind;
    int code;
  } kinds[] = {{"JOIN", 0}, {"INNER JOIN", 0}, {"LEFT INNER JOIN", 0}, {"LEFT JOIN", 2},
               {"RIGHT INNER JOIN", 1}, {"RIGHT JOIN", 3}, {"OUTER JOIN", 2},
               {"LEFT OUTER JOIN", 2}, {"RIGHT OUTER JOIN", 3}, {"FULL OUTER JOIN", 4}};
  for (const auto& c : kinds) {
    auto q = Parse(AnsiString("SELECT * FROM a ") + c.kind + " b ON a.x = b.x");
    EXPECT_EQ(q->JoinList.Items(0)->JoinKind, c.code) << c.kind;
  }
}

TEST(TsqParser, TablesGroupsOrdersAndHaving) {
  auto s = Parse(
      "SELECT DISTINCT dept, SUM(pay) FROM emp e, 'C:\\data\\工资.dat' "
      "GROUP BY dept, 2 HAVING SUM(pay) > 100 ORDER BY 2 DESC, e.name, dept ASC INTO old FOR APPEND;");
  EXPECT_TRUE(s->IsDistinct);
  ASSERT_EQ(s->TableList.Count(), 2);
  EXPECT_EQ(s->TableList.Items(0)->Alias, "e");
  EXPECT_EQ(s->TableList.Items(1)->TableName, "C:\\data\\工资.dat");
  EXPECT_EQ(s->TableList.Items(1)->Alias, "工资");
  EXPECT_TRUE(s->TableList.Items(1)->IsQuoted);
  ASSERT_EQ(s->GroupByList.Count(), 2);
  EXPECT_EQ(s->GroupByList.Items(0)->ColIndex, -1);
  EXPECT_EQ(s->GroupByList.Items(0)->Alias, M("dept"));
  EXPECT_EQ(s->GroupByList.Items(1)->ColIndex, 1);
  ASSERT_EQ(s->ColumnList.Count(), 3);
  const TColumnItem* having = s->ColumnList.Items(2);
  EXPECT_EQ(s->HavingColumn, 2);
  EXPECT_TRUE(having->Hidden);
  EXPECT_EQ(having->ColumnExpr, "{Aggregate 0} > 100");
  EXPECT_EQ(having->AggregateList.Count(), 1);
  EXPECT_EQ(having->ColumnName, "");
  ASSERT_EQ(s->OrderByList.Count(), 3);
  EXPECT_EQ(s->OrderByList.Items(0)->ColIndex, 1);
  EXPECT_EQ(s->OrderByList.Items(0)->Alias, "");
  EXPECT_TRUE(s->OrderByList.Items(0)->Desc);
  EXPECT_EQ(s->OrderByList.Items(1)->Alias, M("e.name"));
  EXPECT_FALSE(s->OrderByList.Items(2)->Desc);
  EXPECT_EQ(s->IntoTableName, "old");
}

TEST(TsqParser, SelectStarCastAndTableStar) {
  auto s = Parse("SELECT * FROM t");
  EXPECT_TRUE(s->SelectAll);
  EXPECT_EQ(s->ColumnList.Count(), 0);
  auto c = Parse("SELECT t.*, CAST(a AS CHAR(12)) AS code, CAST(b AS numeric) FROM t");
  EXPECT_EQ(c->TableAllFields, std::vector<AnsiString>{"t"});
  ASSERT_EQ(c->ColumnList.Count(), 2);
  EXPECT_EQ(c->ColumnList.Items(0)->CastType, stChar);
  EXPECT_EQ(c->ColumnList.Items(0)->CastLen, 12);
  EXPECT_EQ(c->ColumnList.Items(0)->ColumnName, "code");
  EXPECT_EQ(c->ColumnList.Items(1)->CastType, stFloat);
  EXPECT_EQ(c->ColumnList.Items(1)->CastLen, 1);
  EXPECT_EQ(c->ColumnList.Items(1)->ColumnName, "b");
}

TEST(TsqParser, Subqueries) {
  auto s = Parse("SELECT a FROM t WHERE a NOT IN (SELECT b FROM u WHERE c > 1) AND d = ALL (SELECT e FROM v)");
  EXPECT_EQ(s->WhereText, M("a") + " <> (subquery 0) AND " + M("d") + " = (subquery 1)");
  ASSERT_EQ(s->SubQueryList.size(), 2u);
  EXPECT_EQ(s->SubQueryKinds, (std::vector<int>{1, 1}));  // NOT IN is <> ALL
  const TSqlAnalizer* sub = s->SubQueryList[0].get();
  EXPECT_EQ(sub->ParentAnalizer, s.get());
  EXPECT_EQ(sub->ColumnList.Items(0)->ColumnExpr, M("b"));
  EXPECT_EQ(sub->WhereText, M("c") + " > 1");
  EXPECT_EQ(sub->WhereOptimizeList.Count(), 1);
  EXPECT_EQ(s->WhereOptimizeList.Count(), 1);  // d = ..., after the subqueries
  EXPECT_EQ(s->ColumnList.Count(), 1);

  auto v = Parse("SELECT a, (SELECT MAX(b) FROM u) FROM t");
  ASSERT_EQ(v->ColumnList.Count(), 2);
  const TColumnItem* c = v->ColumnList.Items(1);
  EXPECT_EQ(c->ColumnExpr, "{Subquery 0}");
  EXPECT_EQ(c->ColumnName, "Subquery");
  EXPECT_TRUE(c->IsAsExplicit);
  ASSERT_EQ(c->SubQueryList.size(), 1u);
  EXPECT_EQ(c->SubQueryList[0]->ColumnList.Items(0)->ColumnName, "MAX OF b");
  EXPECT_TRUE(v->SubQueryList.empty());

  auto d = Parse("SELECT x FROM (SELECT DISTINCT * FROM u) dt");
  EXPECT_TRUE(d->DefDataSetAsTable);
  EXPECT_EQ(d->DefTableName, "dt");
  ASSERT_EQ(d->SubQueryList.size(), 1u);
  EXPECT_TRUE(d->SubQueryList[0]->IsDistinct);
  EXPECT_TRUE(d->SubQueryList[0]->SelectAll);
}

TEST(TsqParser, TransformPivotAndMerge) {
  auto s = Parse(
      "TRANSFORM SUM(pay), CAST(COUNT(*) AS INTEGER) SELECT dept FROM emp GROUP BY dept "
      "PIVOT mon IN (1, 'Feb', \"Mar\")");
  EXPECT_EQ(s->StatementKind, skSelect);
  ASSERT_EQ(s->TransformColumnList.Count(), 2);
  EXPECT_EQ(s->TransformColumnList.Items(0)->ColumnName, "SUM OF pay");
  EXPECT_EQ(s->TransformColumnList.Items(1)->CastType, stInteger);
  EXPECT_EQ(s->ColumnList.Count(), 1);
  EXPECT_EQ(s->PivotText, M("mon"));
  EXPECT_EQ(s->PivotInList, (std::vector<AnsiString>{"1", "Feb", "Mar"}));
  auto q = Parse("TRANSFORM SUM(pay) SELECT dept FROM emp GROUP BY dept PIVOT m IN (SELECT m FROM ms)");
  EXPECT_TRUE(q->IsSubqueryInSet);

  auto m = Parse("MERGE SELECT a FROM t WITH SELECT DISTINCT b, c FROM u WHERE b = 1 ORDER BY b");
  EXPECT_EQ(m->StatementKind, skMerge);
  EXPECT_EQ(m->ColumnList.Count(), 1);
  ASSERT_NE(m->MergeAnalizer, nullptr);
  EXPECT_TRUE(m->MergeAnalizer->IsDistinct);
  EXPECT_EQ(m->MergeAnalizer->ColumnList.Count(), 2);
  EXPECT_EQ(m->MergeAnalizer->WhereText, M("b") + " = 1");
  EXPECT_EQ(m->MergeAnalizer->OrderByList.Count(), 1);
  EXPECT_EQ(m->WhereText, "");
}

TEST(TsqParser, SetRange) {
  auto s = Parse(
      "SELECT * FROM t SET RANGE FOR FIELDS 'a', 'b' FROM 'x', 1 TO 'y', 2.5 USING INDEX 'ab'");
  EXPECT_EQ(s->UserRange.ForFields, (std::vector<AnsiString>{"a", "b"}));
  EXPECT_EQ(s->UserRange.StartValues, (std::vector<AnsiString>{"x", "1"}));
  EXPECT_EQ(s->UserRange.EndValues, (std::vector<AnsiString>{"y", "2.5"}));
  EXPECT_EQ(s->UserRange.UsingIndex, "ab");
}

TEST(TsqParser, UpdateDeleteInsert) {
  auto u = Parse("UPDATE t SET a = a + 1, b = 'x' WHERE b = 2");
  EXPECT_EQ(u->StatementKind, skUpdate);
  ASSERT_EQ(u->UpdateList.Count(), 2);
  EXPECT_EQ(u->UpdateList.Items(0)->ColName, "a");
  EXPECT_EQ(u->UpdateList.Items(0)->ColExpr, M("a") + " + 1");
  EXPECT_EQ(u->UpdateList.Items(1)->ColExpr, "'x'");
  EXPECT_EQ(u->WhereText, M("b") + " = 2");
  EXPECT_EQ(u->TableList.Items(0)->TableName, "t");
  auto us = Parse("UPDATE t SET a = 1 = (SELECT b FROM u)");
  EXPECT_EQ(us->SubQueryList.size(), 1u);

  auto d = Parse("DELETE FROM t WHERE a < 3");
  EXPECT_EQ(d->StatementKind, skDelete);
  EXPECT_EQ(d->WhereText, M("a") + " < 3");

  auto i = Parse("INSERT INTO t (a, b) VALUES (1, 'x'); INSERT INTO 'c:\\x.dat' (*) VALUES (NULL, a + 1)");
  EXPECT_EQ(i->StatementKind, skInsert);
  ASSERT_EQ(i->InsertList.Count(), 2);
  const TInsertItem* first = i->InsertList.Items(0);
  EXPECT_EQ(first->TableName, "t");
  EXPECT_FALSE(first->IsFullPath);
  EXPECT_EQ(first->FieldNames, (std::vector<AnsiString>{"a", "b"}));
  EXPECT_EQ(first->ExprList, (std::vector<AnsiString>{"1", "'x'"}));
  const TInsertItem* second = i->InsertList.Items(1);
  EXPECT_EQ(second->TableName, "c:\\x.dat");
  EXPECT_TRUE(second->IsFullPath);
  EXPECT_TRUE(second->FieldNames.empty());
  EXPECT_EQ(second->ExprList, (std::vector<AnsiString>{"NULL", M("a") + " + 1"}));
  auto q = Parse("INSERT INTO t VALUES (SELECT a FROM u)");
  EXPECT_EQ(q->SubQueryList.size(), 1u);
  EXPECT_TRUE(q->InsertList.Items(0)->ExprList.empty());
}

TEST(TsqParser, DefinitionStatements) {
  auto c = Parse(
      "CREATE TABLE 'emp.dat' (id INTEGER, name CHAR(20), pay FLOAT(10,2), pic BLOB(2) "
      "PRIMARY KEY (ID)) CREATE TABLE 'b' (x MONEY)");
  EXPECT_EQ(c->StatementKind, skCreateTable);
  ASSERT_EQ(c->CreateTableList.Count(), 2);
  const TCreateTableItem* emp = c->CreateTableList.Items(0);
  EXPECT_EQ(emp->TableName, "emp.dat");
  ASSERT_EQ(emp->FieldCount(), 4);
  EXPECT_EQ(emp->Fields.Items(0)->FieldType, stInteger);
  EXPECT_EQ(emp->Fields.Items(1)->FieldType, stChar);
  EXPECT_EQ(emp->Fields.Items(1)->Size, 20);
  EXPECT_EQ(emp->Fields.Items(2)->Precision, 10);
  EXPECT_EQ(emp->Fields.Items(2)->Scale, 2);
  EXPECT_EQ(emp->Fields.Items(2)->Size, 0);
  EXPECT_EQ(emp->Fields.Items(3)->BlobType, 2);
  EXPECT_EQ(emp->Fields.Items(4), nullptr);
  EXPECT_EQ(emp->PrimaryKey, std::vector<AnsiString>{"ID"});
  EXPECT_EQ(c->CreateTableList.Items(1)->TableName, "b");

  auto a = Parse("ALTER TABLE 'e' ADD c INTEGER, DROP COLUMN c; ALTER TABLE 'f' ADD COLUMN d DATE");
  EXPECT_EQ(a->StatementKind, skAlterTable);
  ASSERT_EQ(a->AlterTableList.Count(), 2);
  const TCreateTableItem* e = a->AlterTableList.Items(0);
  ASSERT_EQ(e->FieldCount(), 2);
  EXPECT_EQ(e->Fields.Items(0)->Action, caAdd);
  EXPECT_EQ(e->Fields.Items(1)->Action, caDrop);
  EXPECT_EQ(a->AlterTableList.Items(1)->TableName, "f");
  EXPECT_EQ(Error("ALTER TABLE 'e' DROP c, DROP c").substr(0, 21), " Duplicate field name");

  auto i = Parse("CREATE UNIQUE DESC INDEX byName ON 'emp.dat' (last, first)");
  EXPECT_EQ(i->StatementKind, skCreateIndex);
  EXPECT_EQ(i->IndexName, "byName");
  EXPECT_EQ(i->IndexTable, "emp.dat");
  EXPECT_TRUE(i->IndexUnique);
  EXPECT_TRUE(i->IndexDescending);
  EXPECT_EQ(i->IndexColumnNames, (std::vector<AnsiString>{"last", "first"}));

  auto dt = Parse("DROP TABLE 'emp.dat'");
  EXPECT_EQ(dt->StatementKind, skDropTable);
  EXPECT_EQ(dt->IndexTable, "emp.dat");
  auto di = Parse("DROP INDEX 'emp.dat' byName");
  EXPECT_EQ(di->StatementKind, skDropIndex);
  EXPECT_EQ(di->IndexName, "byName");
  const struct {
    const char* text;
    int kind;
  } maintenance[] = {{"PACK TABLE a, 'b.dat'", skPackTable},
                     {"ZAP TABLE a, 'b.dat'", skZapTable},
                     {"REINDEX TABLE a, 'b.dat'", skReindexTable}};
  for (const auto& m : maintenance) {
    auto s = Parse(m.text);
    EXPECT_EQ(s->StatementKind, m.kind);
    EXPECT_EQ(s->TableList.Count(), 2);
  }
  for (int blob = 1; blob <= 5; ++blob)
    EXPECT_NO_THROW(Parse(AnsiString("CREATE TABLE 'x' (b BLOB(") + IntToStr(blob) + "))"));
}

TEST(TsqParser, ParametersArePastedAsLiteralsAndListed) {
  TParams params;
  params.CreateParam(ftString, "name", ptInput)->SetAsString("O'Brien \"Bob\"");
  TParam* pay = params.CreateParam(ftFloat, "PAY", ptInput);
  pay->SetAsString("1,5");
  pay->SetDataType(ftFloat);
  params.CreateParam(ftString, "plain", ptInput)->SetAsString("x");
  TParamsAsFields mapped;
  TParamsAsFieldsItem* m = mapped.Add();
  m->SetName("dept");
  m->Value = "DEPTNO";
  TSqlQueryContext query;
  query.Params = &params;
  query.ParamsAsFields = &mapped;
  auto s = Parse("SELECT a FROM t WHERE n = :name AND p > :pay AND d = :dept AND q = :plain AND r = :none",
                 &query);
  EXPECT_EQ(s->WhereText, M("n") + " = 'O''Brien \"Bob\"' AND " + M("p") + " > 1.5 AND " + M("d") +
                              " = " + M("DEPTNO") + " AND " + M("q") + " = 'x' AND " + M("r") + " = ");
  ASSERT_EQ(s->Params.Count(), 5);
  EXPECT_EQ(s->Params.Items(0)->Name(), "name");
  EXPECT_EQ(s->Params.Items(0)->DataType(), ftString);
  EXPECT_EQ(s->Params.Items(0)->ParamType(), ptUnknown);
  EXPECT_EQ(query.ReferencedFields, (std::vector<AnsiString>{"a", "n", "p", "d", "q", "r"}));
  EXPECT_EQ(query.ReferencedTables, std::vector<AnsiString>{"t"});
}

// The statements the payroll application writes.
TEST(TsqParser, PayrollStatementsParse) {
  const char* texts[] = {
      "select sum(prix) from gzk ",
      "update gzk set prix=100",
      "update gzk set prix=12.5",
      " select * from gzk where YlBxh='123' or Gzzh='456'",
      "select * from rptPaper where rptName='部门工资汇总表'",
      "select * from bm where bmbh like '__'",
      "select * from gzk where zgqk<>'厂内退养' and zgqk<>'退休职工' and zgbh like '01%' order by zgbh",
      "select zgbh as 职工编号, xm as 姓名,ylbxh as 养老保险号,gzzh as 工资帐号 ,jbgz as 基本工资 from gzk "
      "order by zgbh",
      "select zgbh as 职工编号,ylbxh as 养老保险号,gzzh as 工资帐号, xm as 姓名,prix as 奖金 from gzk "
      "order by zgbh ",
      "select zgbh as 职工编号,ylbxh as 养老保险号,gzzh as 工资帐号, xm as 姓名,gwjx as 岗位绩效 ,"
      "jxkh as 绩效考核  from gzk order by zgbh ",
      " select * from RptStru where RptTitle='岗位绩效' order by RPtNo",
      " select BMMC as 单位名称, RS as 人数,jbgz as 基本工资 from gzhz order by bmbh",
      "select *\nfrom gzk\nwhere (copy(zgbh,1,2)='01' or length(zgbh)=2)\norder by zgbh",
  };
  for (const char* text : texts) {
    TSqlAnalizer s;
    EXPECT_NO_THROW(ParseSql(text, s)) << text;
  }
  auto s = Parse("select zgbh as 职工编号, xm as 姓名 from gzk order by zgbh");
  ASSERT_EQ(s->ColumnList.Count(), 2);
  EXPECT_EQ(s->ColumnList.Items(1)->ColumnName, "姓名");
  auto u = Parse("update gzk set prix=100");
  EXPECT_EQ(u->UpdateList.Items(0)->ColName, "prix");
  EXPECT_EQ(u->UpdateList.Items(0)->ColExpr, "100");
}
