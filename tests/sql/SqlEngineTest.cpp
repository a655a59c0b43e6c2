// The executor over tables of the database engine (a database file in memory):
// bookmarks, deletes and updates on an indexed table, a self-join through a
// second cursor of the same table.
#include <gtest/gtest.h>

#include "tests/udb/MemFileSystem.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "tests/sql/SqlTestHost.h"

namespace {

class TEngineHost : public TTestHost {
 public:
  TUdbDataBase* db = nullptr;
  std::vector<std::unique_ptr<TUdbTable>> cursors;
  TDataSet* CreateCursorCopy(TDataSet* source) override {
    auto* table = dynamic_cast<TUdbTable*>(source);
    if (!table) return nullptr;
    auto copy = std::make_unique<TUdbTable>();
    copy->SetDataBase(db);
    copy->SetTableName(table->TableName());
    copy->Open();
    cursors.push_back(std::move(copy));
    return cursors.back().get();
  }
};

class SqlEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db.SetFileSystem(&fs);
    db.SetDataBaseName("GZ.udb");
    db.CreateDatabase();
    db.SetConnected(true);
    TUdbTable def;
    def.SetDataBase(&db);
    def.SetTableName("gzk");
    def.FieldDefs()->Add("ZGBH", ftString, 8);
    def.FieldDefs()->Add("XM", ftString, 8);
    def.FieldDefs()->Add("BOSS", ftString, 8);
    def.FieldDefs()->Add("F01", ftFloat);
    def.IndexDefs()->Add("ByCode", "ZGBH", TIndexOptions());
    def.CreateTable();
    t.SetDataBase(&db);
    t.SetTableName("gzk");
    t.SetIndexName("ByCode");
    t.Open();
    const struct {
      const char* code;
      const char* name;
      const char* boss;
      double pay;
    } rows[] = {{"01", "张三", "", 1000}, {"02", "李四", "01", 1200.5}, {"03", "王五", "01", 900},
                {"04", "赵六", "02", 1500}};
    for (const auto& r : rows) {
      t.Append();
      t.FieldByName("ZGBH")->SetAsString(r.code);
      t.FieldByName("XM")->SetAsString(r.name);
      t.FieldByName("BOSS")->SetAsString(r.boss);
      t.FieldByName("F01")->SetAsFloat(r.pay);
      t.Post();
    }
    host.db = &db;
    host.DataSets().AddDataSet(&t, "gzk");
  }
  void TearDown() override {
    host.cursors.clear();
    t.Close();
  }

  Rows Select(const AnsiString& text) { return RowsOf(RunSql(host, text)->ResultSet()); }

  TMemFileSystem fs;
  TUdbDataBase db;
  TUdbTable t;
  TEngineHost host;
};

TEST_F(SqlEngineTest, SelectsGroupsAndOrders) {
  EXPECT_EQ(Select("select xm as 姓名, f01 from gzk where f01 > 950 order by f01 desc"),
            (Rows{"赵六|1500", "李四|1200.5", "张三|1000"}));
  EXPECT_EQ(Select("select boss, count(*), sum(f01) from gzk group by boss"),
            (Rows{"|1|1000", "01|2|2100.5", "02|1|1500"}));
}

TEST_F(SqlEngineTest, UpdatesOfTheIndexedFieldChangeEachRowOnce) {
  RunSql(host, "update gzk set zgbh = zgbh || '9', f01 = f01 + 1");
  EXPECT_EQ(host.RowsAffected, 4);
  EXPECT_EQ(Select("select zgbh, f01 from gzk order by zgbh"),
            (Rows{"019|1001", "029|1201.5", "039|901", "049|1501"}));
}

TEST_F(SqlEngineTest, DeletesAndInserts) {
  RunSql(host, "delete from gzk where boss = '01'");
  EXPECT_EQ(host.RowsAffected, 2);
  RunSql(host, "insert into gzk (zgbh, xm, f01) values ('05', '钱七', 700)");
  EXPECT_EQ(host.RowsAffected, 1);
  EXPECT_EQ(Select("select zgbh, xm from gzk order by zgbh"), (Rows{"01|张三", "04|赵六", "05|钱七"}));
}

TEST_F(SqlEngineTest, SelfJoinThroughASecondCursor) {
  EXPECT_EQ(Select("select a.xm, b.xm from gzk a, gzk b where a.boss = b.zgbh order by 1"),
            (Rows{"李四|张三", "王五|张三", "赵六|李四"}));
  EXPECT_EQ(host.cursors.size(), 1u);
}

}  // namespace
