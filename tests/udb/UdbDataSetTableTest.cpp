// Table definitions and their limits, ReIndex, CopyRawTableData,
// EmptyTable and restructuring with the ".udx" copy.
#include <gtest/gtest.h>

#include <cstring>

#include "CursorTestSupport.h"
#include "Udb/DiskMgr.h"
#include "Udb/RecordFormat.h"
#include "Udb/RestructureDefs.h"
#include "Udb/TableHeader.h"
#include "Udb/UdbDataSetInt.h"
#include "platform/core/DateTime.h"

namespace {

// SetTableDef on a fresh cursor; the error code (-1 when accepted).
int DefineError(const AnsiString& table, const std::vector<TColumn>& columns, int indexCount = 1) {
  TCursorDb env;
  TUdbTableCursor t;
  t.SetDataBase(&env.db);
  t.SetTableName(table);
  TFieldDefs fields(&t);
  for (const TColumn& c : columns) fields.Add(c.name, c.type, c.size);
  TIndexDefs indexes(&t);
  for (int i = 0; i < indexCount; ++i) indexes.Add("I" + std::to_string(i), columns.empty() ? "X" : columns[0].name, {});
  return CatchUdb([&] { t.SetTableDef(&fields, &indexes); }).code;
}

TEST(TableDefinition, LimitsOfNamesFieldsAndIndexes) {
  const std::string n40(40, 'n'), n41(41, 'n');
  struct Case {
    const char* what;
    AnsiString table;
    std::vector<TColumn> columns;
    int indexes;
    int code;
  };
  std::vector<TColumn> many;
  static std::vector<std::string> names;
  names.clear();
  for (int i = 0; i < 256; ++i) names.push_back("F" + std::to_string(i));
  for (int i = 0; i < 256; ++i) many.push_back({names[static_cast<size_t>(i)].c_str(), ftInteger, 0});
  std::vector<TColumn> most(many.begin(), many.begin() + 255);
  const std::vector<Case> cases = {
      {"string 255", "T", {{"S", ftString, 255}}, 1, -1},
      {"string 256", "T", {{"S", ftString, 256}}, 1, 9606},
      {"wide string", "T", {{"S", ftWideString, 10}}, 0, 10000},
      {"field name 40", "T", {{n40.c_str(), ftInteger, 0}}, 1, -1},
      {"field name 41", "T", {{n41.c_str(), ftInteger, 0}}, 1, 10038},
      {"field ALL", "T", {{"all", ftInteger, 0}}, 0, 10041},
      {"table name 40", n40, {{"X", ftInteger, 0}}, 1, -1},
      {"table name 41", n41, {{"X", ftInteger, 0}}, 1, 10039},
      {"table ALL", "All", {{"X", ftInteger, 0}}, 1, 10041},
      {"no field", "T", {}, 0, 9492},
      {"255 fields", "T", most, 1, -1},
      {"256 fields", "T", many, 1, 9492},
      {"32 indexes", "T", {{"X", ftInteger, 0}}, 32, -1},
      {"33 indexes", "T", {{"X", ftInteger, 0}}, 33, 9604},
      {"blob key", "T", {{"M", ftMemo, 0}}, 1, 10117},
  };
  for (const Case& c : cases) EXPECT_EQ(DefineError(c.table, c.columns, c.indexes), c.code) << c.what;
  EXPECT_UDB_ERROR(TUdbDataSet::ValidateObjectName("", "Field"), 10041);
  EXPECT_UDB_ERROR(TUdbDataSet::ValidateObjectName("AlL", "Field"), 10041);
  EXPECT_UDB_ERROR(TUdbDataSet::ValidateObjectName("ALLX", "Field"), -1);
}

TEST(TableDefinition, DatesAndBooleansTakeTheRecordsWidths) {
  TCursorDb env;
  auto t = CreateTable(env.db, "D", false, {{"WHEN", ftDate, 0}, {"OK", ftBoolean, 0}, {"N", ftSmallint, 0}}, {});
  EXPECT_EQ(t->GetFields().FindField("WHEN")->FieldSize(), 8);
  EXPECT_EQ(t->GetFields().FindField("OK")->FieldSize(), 1);
  t->InitRecBuf();
  SetField(*t, "WHEN", TDateTime(45000.75));
  SetField(*t, "OK", true);
  SetField(*t, "N", -3);
  t->AddRecord(false);
  ASSERT_TRUE(t->GotoFirst());
  EXPECT_DOUBLE_EQ(static_cast<double>(GetField(*t, "WHEN").AsDateTime()), 45000.75);
  EXPECT_TRUE(GetField(*t, "OK").AsBoolean());
  EXPECT_EQ(Int(*t, "N"), -3);
}

TEST(TableDefinition, EqualValuesInAPlainIndexGetDistinctKeys) {
  TCursorDb env;
  auto t = CreateEmp(env.db, true);
  for (int id = 1; id <= 3; ++id) AddEmp(*t, id, "Same", "Same");
  EXPECT_EQ(t->GetRecordCount(), 3);
  EXPECT_TRUE(t->ReIndex(false).Skipped.empty());
}

// --- ReIndex -------------------------------------------------------------------

class Tables : public ::testing::TestWithParam<bool> {
 protected:
  bool Memory() const { return GetParam(); }
  // A record written past the indexes, duplicating ID 2.
  void StoreDuplicateOfTwo(TUdbDataSet& t) {
    ASSERT_TRUE(FindKey(t, {{"ID", 2}}));
    std::vector<std::uint8_t> rec(t.RecBuf(), t.RecBuf() + t.RecordSize());
    udbfmt::PutU32(rec.data() + udbrec::kRecordID, 999);
    t.BeginWrite();
    t.RecordMgr().AppendRecord(rec.data());
    t.EndAccess();
  }
  TCursorDb env;
};

TEST_P(Tables, ReIndexRebuildsEveryIndexFromTheRecords) {
  auto t = CreateEmp(env.db, Memory());
  for (int id = 1; id <= 40; ++id) AddEmp(*t, id, "N" + std::to_string(id % 9), "D");
  const auto pk = Walk(*t, "ID");
  TReIndexResult r = t->ReIndex(false);
  EXPECT_EQ(r.Indexed, 40);
  EXPECT_EQ(Walk(*t, "ID"), pk);
  t->SetIndexName("ByName");
  EXPECT_EQ(t->GetRecordCount(), 40);
}

TEST_P(Tables, ReIndexWithDuplicatesRaisesOrReportsTheRowsLeftOut) {
  auto t = CreateEmp(env.db, Memory());
  for (int id = 1; id <= 5; ++id) AddEmp(*t, id, "N", "D");
  StoreDuplicateOfTwo(*t);
  const auto pk = Walk(*t, "ID");
  TCaughtError e = CatchUdb([&] { t->ReIndex(false); });
  EXPECT_EQ(e.code, 9729);
  EXPECT_NE(e.message.find("Index PK"), std::string::npos) << e.message;
  EXPECT_EQ(Walk(*t, "ID"), pk);  // the old indexes are still in use
  TReIndexResult r = t->ReIndex(true);
  EXPECT_EQ(r.Indexed, 5);
  ASSERT_EQ(r.Skipped.size(), 1u);
  EXPECT_EQ(t->GetRecordCount(), 5);
}

TEST_P(Tables, ACancelledReIndexRaisesAndKeepsTheOldIndexes) {
  auto t = CreateEmp(env.db, Memory());
  for (int id = 1; id <= 50; ++id) AddEmp(*t, id, "N", "D");
  const auto pk = Walk(*t, "ID");
  std::vector<int> reported;
  t->OnUpdateProgress = [&](int percent, bool& cancel) {
    reported.push_back(percent);
    cancel = percent >= 50;
  };
  EXPECT_UDB_ERROR(t->ReIndex(false), 13061);
  EXPECT_EQ(Walk(*t, "ID"), pk);
  ASSERT_FALSE(reported.empty());
  EXPECT_GT(reported.front(), 0);
  for (size_t i = 1; i < reported.size(); ++i) EXPECT_GT(reported[i], reported[i - 1]);
  for (int i = 0; i < 3; ++i) t->IndexMgr().Items(i)->Tree().CheckStructureForTest();
}

// --- copy and empty ---------------------------------------------------------------

TEST_P(Tables, CopyRawTableDataCopiesTheFieldsBothTablesHave) {
  auto from = CreateTable(env.db, "SRC", Memory(), {{"A", ftInteger, 0}, {"B", ftString, 10}, {"M", ftMemo, 0}}, {});
  auto to = CreateTable(env.db, "DST", Memory(), {{"B", ftString, 10}, {"C", ftInteger, 0}, {"M", ftMemo, 0}}, {});
  for (int i = 1; i <= 3; ++i) {
    from->InitRecBuf();
    SetField(*from, "A", i);
    SetField(*from, "B", AnsiString("b" + std::to_string(i)));
    SetMemo(*from, "M", "memo" + std::to_string(i));
    from->AddRecord(false);
  }
  ASSERT_TRUE(from->GotoFirst());
  ASSERT_EQ(from->DeleteRecord(nullptr), 0);
  EXPECT_EQ(from->CopyRawTableData(to.get()), 0);
  EXPECT_EQ(Walk(*to, "B"), (std::vector<std::string>{"b2", "b3"}));
  EXPECT_EQ(Walk(*to, "C"), (std::vector<std::string>{"<null>", "<null>"}));
  ASSERT_TRUE(to->GotoLast());
  EXPECT_EQ(Memo(*to, "M"), "memo3");
}

TEST_P(Tables, EmptyTableRestartsRecordIdsButKeepsTheAutoIncCounter) {
  auto t = CreateEmp(env.db, Memory());
  for (int id = 1; id <= 30; ++id) AddEmp(*t, id, "N", "D", 0, std::string(900, 'm'));
  const std::uint32_t counter = t->TableDef().Header()->LastAutoInc();
  t->EmptyTable();
  EXPECT_EQ(t->GetRecordCount(), 0);
  EXPECT_EQ(StoredRecords(*t), 0);
  EXPECT_EQ(t->TableDef().Header()->LastRecordID(), 0u);
  AddEmp(*t, 1, "Again", "D");
  EXPECT_EQ(udbfmt::GetU32(t->RecBuf() + udbrec::kRecordID), 1u);
  EXPECT_EQ(static_cast<std::uint32_t>(Int(*t, "SEQ")), counter + 1);
  EXPECT_EQ(Walk(*t, "NAME"), (std::vector<std::string>{"Again"}));
}

TEST(TablesDisk, EmptyTableFreesBlobChainsAndOldIndexNodes) {
  TCursorDb env;
  auto t = CreateEmp(env.db, false);
  for (int id = 1; id <= 400; ++id) AddEmp(*t, id, "Name" + std::to_string(id), "D", 0, std::string(700, 'm'));
  TDiskMgr& disk = env.Disk();
  auto pages = [&](int usage) {
    std::vector<TUdbAddr> list;
    disk.ListAllocatedFixedBlocks(disk.PageSize(), static_cast<std::uint16_t>(t->TableDef().TableID()), list, usage);
    return list.size();
  };
  ASSERT_GT(pages(kUsageBlob), 10u);
  ASSERT_GT(pages(kUsageIndex), 3u);
  t->EmptyTable();
  EXPECT_EQ(pages(kUsageBlob), 0u);
  EXPECT_EQ(pages(kUsageIndex), 3u);  // one empty root per index
  EXPECT_EQ(pages(kUsageRecord), 0u);
  AddEmp(*t, 1, "Again", "D", 0, "memo");
  EXPECT_EQ(Memo(*t, "NOTE"), "memo");
}

TEST(TablesDisk, ADamagedFreeRunIsRefusedBeforeAnythingIsWritten) {
  TCursorDb env;
  auto t = CreateEmp(env.db, false);
  for (int id = 1; id <= 20; ++id) AddEmp(*t, id, "N", "D");
  ASSERT_TRUE(FindKey(*t, {{"ID", 5}}));
  ASSERT_EQ(t->DeleteRecord(nullptr), 0);
  t->BeginRead();
  const TUdbAddr run = t->TableDef().Header()->RecordFirstEmpty();
  t->EndAccess();
  ASSERT_NE(run, 0u);
  std::uint8_t head[16];
  t->TableDef().RecordIO()->ReadBlockHeader(run, 16, head);
  udbfmt::PutU32(head + udbfmt::kRunCount, 5000);  // far past the table's blocks
  t->TableDef().RecordIO()->WriteBlockHeader(run, 16, head);
  const std::vector<std::uint8_t> bytes = env.Bytes();
  EXPECT_UDB_ERROR(t->ReIndex(false), 8451);
  EXPECT_UDB_ERROR(t->EmptyTable(), 8451);
  EXPECT_EQ(env.Bytes(), bytes);
}

// --- restructure ------------------------------------------------------------------

struct TRestructure {
  explicit TRestructure(TUdbDataSet& t) : fields(&t), indexes(&t), destFields(&t), destIndexes(&t) {
    for (int i = 0; i < t.GetFieldCount(); ++i) t.InitFieldDef(i, fields.AddFieldDef());
    for (int i = 0; i < t.IndexMgr().Count(); ++i)
      if (!t.IndexMgr().Items(i)->Hidden()) t.GetIndexDef(i, indexes.AddIndexDef());
    newFields.Assign(&fields);
    newIndexes.Assign(&indexes);
  }
  TRestructureDetails Details() {
    newFields.MarkChanges(&fields);
    newIndexes.MarkChanges(&indexes, &newFields);
    TRestructureDetails d;
    d.NewFieldDefs = &newFields;
    d.NewIndexDefs = &newIndexes;
    d.DestFieldDefs = &destFields;
    d.DestIndexDefs = &destIndexes;
    return d;
  }
  TFieldDefs fields;
  TIndexDefs indexes;
  TRestructureFieldDefs newFields;
  TRestructureIndexDefs newIndexes;
  TFieldDefs destFields;
  TIndexDefs destIndexes;
};

TEST(Restructure, ANewFieldRebuildsTheTableAndKeepsABackup) {
  TCursorDb env;
  auto t = CreateEmp(env.db, false);
  for (int id = 1; id <= 150; ++id) AddEmp(*t, id, "N" + std::to_string(id), "D" + std::to_string(id % 4), id, "note");
  TRestructure rs(*t);
  t->CloseDataSet();
  rs.newFields.AddFieldDef("BONUS", ftFloat, 0);
  t->InternalRestructureTable(rs.Details());
  EXPECT_TRUE(env.fs.Exists("test.udx"));
  auto after = OpenTable(env.db, "EMP", false);
  EXPECT_EQ(after->GetRecordCount(), 150);
  ASSERT_TRUE(FindKey(*after, {{"ID", 77}}));
  EXPECT_EQ(Str(*after, "NAME"), "N77");
  EXPECT_EQ(Memo(*after, "NOTE"), "note");
  EXPECT_EQ(Str(*after, "BONUS"), "<null>");
  after->SetIndexName("ByDept");
  EXPECT_EQ(after->GetRecordCount(), 150);
}

TEST(Restructure, ANewIndexIsBuiltFromTheRecords) {
  TCursorDb env;
  auto t = CreateEmp(env.db, false);
  for (int id = 1; id <= 30; ++id) AddEmp(*t, id, "N" + std::to_string(100 - id), "D");
  TRestructure rs(*t);
  t->CloseDataSet();
  rs.newIndexes.AddIndexDef("BySalaryName", "SALARY;NAME", {});
  const auto tableId = static_cast<std::uint16_t>(t->TableDef().TableID());
  TDiskMgr& disk = env.Disk();
  auto indexPages = [&] {
    std::vector<TUdbAddr> list;
    disk.ListAllocatedFixedBlocks(disk.PageSize(), tableId, list, kUsageIndex);
    return list.size();
  };
  ASSERT_EQ(indexPages(), 3u);  // one leaf per index holds 30 keys
  t->InternalRestructureTable(rs.Details());
  EXPECT_EQ(indexPages(), 4u);  // the old trees are freed, not kept beside the new
  auto after = OpenTable(env.db, "EMP", false);
  after->SetIndexName("BySalaryName");
  EXPECT_EQ(after->GetRecordCount(), 30);
  after->SetIndexName("PK");
  EXPECT_EQ(after->GetRecordCount(), 30);
}

TEST(Restructure, LostValuesAreReportedNamingTheBackup) {
  TCursorDb env;
  auto t = CreateEmp(env.db, false);
  AddEmp(*t, 1, "Amy", "A");
  AddEmp(*t, 2, "12", "B");
  TRestructure rs(*t);
  t->CloseDataSet();
  rs.newFields.Items(1)->SetDataType(ftInteger);  // NAME: "Amy" is no number
  rs.newFields.Items(1)->SetSize(0);
  TCaughtError e = CatchUdb([&] { t->InternalRestructureTable(rs.Details()); });
  EXPECT_EQ(e.code, 9221);
  EXPECT_NE(e.message.find("test.udx"), std::string::npos) << e.message;
  EXPECT_TRUE(env.fs.Exists("test.udx"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, Tables, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Memory" : "Disk"; });

}  // namespace
