// UPDATE, DELETE, INSERT and the definition statements.
#include <gtest/gtest.h>

#include "tests/sql/SqlTestHost.h"

namespace {

class SqlChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.AddColumn("A", ftInteger);
    t.AddColumn("B", ftString, 6);
    t.AddColumn("X", ftFloat);
    t.AddColumn("Y", ftFloat);
    t.AddRow({1, "x", 1.5, 10.0});
    t.AddRow({2, "y", 2.5, Variant::Null()});
    t.AddRow({3, "x", 3.5, 30.0});
    t.AddRow({4, "x", 4.5, 40.0});
    t.Open();
    host.DataSets().AddDataSet(&t, "t");
  }

  Rows Table() {
    TSqlAnalizer s;
    ParseSql("SELECT a, b, x, y FROM t ORDER BY a", s);
    s.SetSqlQuery(&host);
    s.ExecuteOpen();
    return RowsOf(s.ResultSet());
  }

  TMemDataSet t;
  TTestHost host;
};

TEST_F(SqlChangeTest, UpdateChangesMatchingRowsAndCountsThem) {
  RunSql(host, "UPDATE t SET x = x * 2, b = 'z' WHERE b = 'x' AND a > 1");
  EXPECT_EQ(host.RowsAffected, 2);
  EXPECT_EQ(Table(), (Rows{"1|x|1.5|10", "2|y|2.5|null", "3|z|7|30", "4|z|9|40"}));
  // A null value is not assigned: the field keeps what it had.
  RunSql(host, "UPDATE t SET x = y");
  EXPECT_EQ(host.RowsAffected, 4);
  EXPECT_EQ(Table(), (Rows{"1|x|10|10", "2|y|2.5|null", "3|z|30|30", "4|z|40|40"}));
}

TEST_F(SqlChangeTest, DeleteRemovesEveryMatchingRowWithoutSkipping) {
  RunSql(host, "DELETE FROM t WHERE b = 'x' AND a > 2");
  EXPECT_EQ(host.RowsAffected, 2);
  EXPECT_EQ(Table(), (Rows{"1|x|1.5|10", "2|y|2.5|null"}));
  RunSql(host, "DELETE FROM t");
  EXPECT_EQ(host.RowsAffected, 2);
  EXPECT_EQ(t.RecordCount(), 0);
}

TEST_F(SqlChangeTest, InsertValuesByPositionAndByName) {
  RunSql(host, "INSERT INTO t VALUES (7, NULL, 0.25, 1, 99)");
  EXPECT_EQ(host.RowsAffected, 1);
  RunSql(host, "INSERT INTO t (b, a) VALUES ('n', 8)");
  Rows rows = Table();
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[4], "7|null|0.25|1");
  EXPECT_EQ(rows[5], "8|n|null|null");
}

TEST_F(SqlChangeTest, InsertFromASelect) {
  TMemDataSet u;
  u.AddColumn("A", ftInteger);
  u.AddColumn("B", ftString, 6);
  u.Open();
  host.DataSets().AddDataSet(&u, "u");
  RunSql(host, "INSERT INTO u VALUES (SELECT a FROM t WHERE b = 'x')");
  EXPECT_EQ(host.RowsAffected, 3);
  EXPECT_EQ(u.RecordCount(), 3);
}

TEST_F(SqlChangeTest, AFailedPostCountsNothingAndLeavesNoPendingRecord) {
  t.BeforePost = [](TDataSet*) { throw EDatabaseError("refused"); };
  EXPECT_EQ(ErrorOfSql(host, "INSERT INTO t VALUES (9, 'q', 1, 1)"), "refused");
  EXPECT_EQ(host.RowsAffected, 0);
  EXPECT_EQ(t.State(), dsBrowse);
  EXPECT_EQ(ErrorOfSql(host, "UPDATE t SET a = 5 WHERE a = 1"), "refused");
  EXPECT_EQ(host.RowsAffected, 0);
  EXPECT_EQ(t.State(), dsBrowse);
  t.BeforePost = nullptr;
  EXPECT_EQ(t.RecordCount(), 4);
}

TEST_F(SqlChangeTest, DefinitionStatementsGoToTheQuery) {
  RunSql(host, "CREATE TABLE 'e' (a INTEGER)");  // no handler: nothing happens
  std::vector<std::string> log;
  host.OnCreateTable = [&](TObject*, TCreateTableItem* item) { log.push_back("create " + item->TableName); };
  host.OnDropTable = [&](TObject*, const AnsiString& name) { log.push_back("drop " + name); };
  host.OnCreateIndex = [&](TObject*, bool unique, bool, const AnsiString& table, const AnsiString& index,
                           const std::vector<AnsiString>& columns) {
    log.push_back("index " + table + "." + index + (unique ? " unique " : " ") + std::to_string(columns.size()));
  };
  host.OnDropIndex = [&](TObject*, const AnsiString& table, const AnsiString& index) {
    log.push_back("drop index " + table + "." + index);
  };
  RunSql(host, "CREATE TABLE 'e' (a INTEGER) CREATE TABLE 'f' (b MONEY)");
  RunSql(host, "DROP TABLE 'e'");
  RunSql(host, "CREATE UNIQUE INDEX byA ON 'f' (a, b)");
  RunSql(host, "DROP INDEX 'f' byA");
  EXPECT_EQ(log, (std::vector<std::string>{"create e", "create f", "drop e", "index f.byA unique 2",
                                           "drop index f.byA"}));
  RunSql(host, "PACK TABLE a, 'b.dat'");
  EXPECT_EQ(host.packed, 2);
}

}  // namespace
