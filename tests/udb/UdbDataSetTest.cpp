// The table cursor over memory and disk tables: opening, moving, finding,
// record changes with their keys, unique keys, auto-increment, blobs,
// bookmarks, access brackets and all-or-nothing changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "CursorTestSupport.h"
#include "Udb/RecordFormat.h"
#include "Udb/TableHeader.h"
#include "Udb/UdbDataSetInt.h"

namespace {

class Cursor : public ::testing::TestWithParam<bool> {
 protected:
  bool Memory() const { return GetParam(); }
  TCursorDb env;
  TUdbDataBase& db = env.db;
};

std::vector<std::string> Names(std::initializer_list<const char*> v) { return {v.begin(), v.end()}; }

TEST_P(Cursor, OpensOnTheFirstVisibleIndexAndWalksItBothWays) {
  auto t = CreateEmp(db, Memory());
  EXPECT_EQ(t->IndexName(), "PK");
  AddEmp(*t, 3, "Chen", "B");
  AddEmp(*t, 1, "Zhao", "A");
  AddEmp(*t, 2, "Li", "A");
  EXPECT_EQ(Walk(*t, "ID"), Names({"1", "2", "3"}));
  EXPECT_EQ(WalkBack(*t, "ID"), Names({"3", "2", "1"}));
  t->SetIndexName("ByName");
  EXPECT_EQ(Walk(*t, "NAME"), Names({"Chen", "Li", "Zhao"}));
  EXPECT_EQ(t->GetRecordCount(), 3);
}

TEST_P(Cursor, RecordNumbersFollowTheCurrentIndex) {
  auto t = CreateEmp(db, Memory());
  for (int id : {5, 1, 4, 2, 3}) AddEmp(*t, id, "N" + std::to_string(6 - id), "D");
  int expected = 1;
  for (bool ok = t->GotoFirst(); ok; ok = t->GotoNext()) EXPECT_EQ(t->GetRecNo(t->RecBuf()), expected++);
  EXPECT_EQ(t->DataSetSetRecNo(0), -1);
  EXPECT_NE(t->DataSetSetRecNo(4), -1);
  EXPECT_EQ(Int(*t, "ID"), 4);
  EXPECT_EQ(t->DataSetSetRecNo(6), -1);
}

// After a change the trailer holds the record's place in the current index,
// whether the change moved the current key or only another one.
TEST_P(Cursor, AChangedRecordIsNumberedByItsPlaceInTheCurrentIndex) {
  auto t = CreateEmp(db, Memory());
  t->SetIndexName("ByName");
  auto recNo = [&] { return t->GetRecNo(t->RecBuf()); };
  AddEmp(*t, 1, "Li", "A");
  EXPECT_EQ(recNo(), 1);
  AddEmp(*t, 2, "Chen", "A");
  EXPECT_EQ(recNo(), 1);
  AddEmp(*t, 3, "Zhao", "A");
  EXPECT_EQ(recNo(), 3);
  AddEmp(*t, 4, "Ma", "A");
  EXPECT_EQ(recNo(), 3);  // Chen Li Ma Zhao
  // Only PK moves: the place in ByName stays.
  SetField(*t, "ID", 40);
  t->UpdateRecord();
  EXPECT_EQ(recNo(), 3);
  // The current key moves to the front, then to the back.
  SetField(*t, "NAME", "Bai");
  t->UpdateRecord();
  EXPECT_EQ(recNo(), 1);
  SetField(*t, "NAME", "Zou");
  t->UpdateRecord();
  EXPECT_EQ(recNo(), 4);
  // Neither key moves.
  SetField(*t, "SALARY", 9.5);
  t->UpdateRecord();
  EXPECT_EQ(recNo(), 4);
  EXPECT_EQ(Walk(*t, "NAME"), Names({"Chen", "Li", "Zhao", "Zou"}));
  t->SetIndexName("PK");
  EXPECT_EQ(Walk(*t, "ID"), Names({"1", "2", "3", "40"}));
}

TEST_P(Cursor, AnUnknownIndexNameOpensTheFirstIndexThatIsNotHidden) {
  CreateEmp(db, Memory())->CloseDataSet();
  TUdbTableCursor t;
  t.SetDataBase(&db);
  t.SetTableName("EMP");
  t.SetMemory(Memory());
  t.SetIndexName("Nope");
  t.DataSetOpen();
  EXPECT_EQ(t.IndexName(), "PK");
  EXPECT_UDB_ERROR(t.DataSetOpen(), 10031);
  EXPECT_EQ(t.IndexName(), "PK");
  TUdbTableCursor missing;
  missing.SetDataBase(&db);
  missing.SetTableName("NOPE");
  missing.SetMemory(Memory());
  EXPECT_UDB_ERROR(missing.DataSetOpen(), 10024);
  EXPECT_FALSE(missing.CursorOpen());
  EXPECT_UDB_ERROR(TUdbTableCursor().DataSetOpen(), 10112);
}

TEST_P(Cursor, ATableWithoutIndexOrdersByInsertionThroughTheHiddenIndex) {
  auto t = CreateTable(db, "LOG", Memory(), {{"TEXT", ftString, 10}}, {});
  EXPECT_EQ(t->IndexName(), "_LogicalRecNo");
  EXPECT_EQ(t->GetVisibleIndexCount(), 0);
  for (const char* s : {"c", "a", "b"}) {
    t->InitRecBuf();
    SetField(*t, "TEXT", s);
    t->AddRecord(false);
  }
  EXPECT_EQ(Walk(*t, "TEXT"), Names({"c", "a", "b"}));
}

TEST_P(Cursor, FindsByKeyExactlyAndNearest) {
  auto t = CreateEmp(db, Memory());
  for (int id : {10, 20, 30}) AddEmp(*t, id, "N" + std::to_string(id), "D");
  EXPECT_TRUE(FindKey(*t, {{"ID", 20}}));
  EXPECT_EQ(Int(*t, "ID"), 20);
  EXPECT_FALSE(FindKey(*t, {{"ID", 25}}));
  EXPECT_TRUE(FindKey(*t, {{"ID", 25}}, udbcur::kGreaterOrEqual));
  EXPECT_EQ(Int(*t, "ID"), 30);
  EXPECT_TRUE(FindKey(*t, {{"ID", 25}}, udbcur::kLessOrEqual));
  EXPECT_EQ(Int(*t, "ID"), 20);
  // A prefix of a two-part key: the first record with that name.
  t->SetIndexName("ByName");
  EXPECT_TRUE(FindKey(*t, {{"NAME", "N30"}}));
  EXPECT_EQ(Int(*t, "ID"), 30);
}

TEST_P(Cursor, FindOnAnotherIndexNumbersTheRecordInTheCurrentIndex) {
  auto t = CreateEmp(db, Memory());
  AddEmp(*t, 1, "Zed", "A");
  AddEmp(*t, 2, "Amy", "A");
  AddEmp(*t, 3, "Bob", "A");
  std::vector<std::uint8_t> buf(static_cast<size_t>(t->GetRecBufSize()));
  t->InitSearchRecord(buf.data(), false);
  t->SetRecBuf(buf.data());
  SetField(*t, "NAME", "Amy");
  std::vector<std::uint8_t> search(t->RecBuf(), t->RecBuf() + t->GetRecBufSize());
  t->SetLocateMarks(search.data(), "ByName", {"NAME"}, false);
  t->SetRecBuf(search.data());
  ASSERT_TRUE(t->InternalFind(udbcur::kGreaterOrEqual, "ByName"));
  EXPECT_EQ(Int(*t, "ID"), 2);
  EXPECT_EQ(t->GetRecNo(t->RecBuf()), 2);  // its place in PK, not in ByName
}

TEST_P(Cursor, ADuplicateKeyIsRefusedNamingItsIndexAndNothingChanges) {
  auto t = CreateEmp(db, Memory());
  AddEmp(*t, 1, "A", "X");
  const std::uint32_t lastId = t->TableDef().Header()->LastRecordID();
  t->InitRecBuf();
  SetField(*t, "ID", 1);
  SetField(*t, "NAME", "B");
  TCaughtError e = CatchUdb([&] { t->AddRecord(true); });
  EXPECT_EQ(e.code, 9729);
  EXPECT_NE(e.message.find("Index PK"), std::string::npos) << e.message;
  EXPECT_EQ(StoredRecords(*t), 1);
  EXPECT_EQ(t->GetRecordCount(), 1);
  EXPECT_EQ(t->TableDef().Header()->LastRecordID(), lastId);
  EXPECT_EQ(Str(*t, "NAME"), "B");  // the caller's buffer is as it was
}

TEST_P(Cursor, AnUpdateMovesEveryKeyAndKeepsAddressAndRecordId) {
  auto t = CreateEmp(db, Memory());
  AddEmp(*t, 1, "Amy", "A");
  const TUdbAddr address = AddEmp(*t, 2, "Bob", "B");
  ASSERT_TRUE(FindKey(*t, {{"ID", 2}}));
  const std::uint32_t id = udbfmt::GetU32(t->RecBuf() + udbrec::kRecordID);
  const std::uint32_t changes = udbfmt::GetU32(t->RecBuf() + udbrec::kChangeCount);
  SetField(*t, "ID", 0);
  SetField(*t, "NAME", "Aaron");
  SetField(*t, "DEPT", "Z");
  t->UpdateRecord();
  EXPECT_EQ(Walk(*t, "NAME"), Names({"Aaron", "Amy"}));
  t->SetIndexName("ByName");
  EXPECT_EQ(Walk(*t, "NAME"), Names({"Aaron", "Amy"}));
  t->SetIndexName("ByDept");
  EXPECT_EQ(Walk(*t, "DEPT"), Names({"A", "Z"}));
  ASSERT_TRUE(t->GotoLast());
  EXPECT_EQ(TUdbDataSet::TrailerAddress(t->RecBuf(), t->RecordSize()), address);
  EXPECT_EQ(udbfmt::GetU32(t->RecBuf() + udbrec::kRecordID), id);
  EXPECT_EQ(udbfmt::GetU32(t->RecBuf() + udbrec::kChangeCount), changes + 1);
}

TEST_P(Cursor, UpdatingARecordAnotherCursorDeletedIsRefused) {
  auto a = CreateEmp(db, Memory());
  AddEmp(*a, 1, "Amy", "A");
  auto b = OpenTable(db, "EMP", Memory());
  ASSERT_TRUE(a->GotoFirst());
  ASSERT_TRUE(b->GotoFirst());
  ASSERT_EQ(b->DeleteRecord(nullptr), 0);
  SetField(*a, "NAME", "Ann");
  EXPECT_UDB_ERROR(a->UpdateRecord(), 8708);
  EXPECT_UDB_ERROR(TUdbTableCursor().UpdateRecord(), -2);  // closed: the class library's error
}

TEST_P(Cursor, AnUpdateOntoAnotherRecordsUniqueKeyIsRefused) {
  auto t = CreateEmp(db, Memory());
  AddEmp(*t, 1, "Amy", "A");
  AddEmp(*t, 2, "Bob", "B");
  ASSERT_TRUE(FindKey(*t, {{"ID", 2}}));
  SetField(*t, "ID", 1);
  TCaughtError e = CatchUdb([&] { t->UpdateRecord(); });
  EXPECT_EQ(e.code, 9729);
  EXPECT_EQ(Walk(*t, "NAME"), Names({"Amy", "Bob"}));
}

TEST_P(Cursor, DeleteRemovesEveryKeyAndStandsOnTheNextRecord) {
  auto t = CreateEmp(db, Memory());
  for (int id : {1, 2, 3}) AddEmp(*t, id, "N" + std::to_string(id), "D");
  ASSERT_TRUE(FindKey(*t, {{"ID", 2}}));
  EXPECT_EQ(t->DeleteRecord(nullptr), 0);
  EXPECT_EQ(Int(*t, "ID"), 3);
  EXPECT_EQ(Walk(*t, "ID"), Names({"1", "3"}));
  t->SetIndexName("ByDept");
  EXPECT_EQ(t->GetRecordCount(), 2);
  EXPECT_EQ(StoredRecords(*t), 2);
}

TEST(CursorDisk, DeleteWithAStaleBufferDeletesNothing) {
  TCursorDb env;
  auto t = CreateEmp(env.db, false);
  const TUdbAddr first = AddEmp(*t, 1, "Amy", "A");
  ASSERT_TRUE(t->GotoFirst());
  std::vector<std::uint8_t> stale(t->RecBuf(), t->RecBuf() + t->GetRecBufSize());
  ASSERT_EQ(t->DeleteRecord(nullptr), 0);
  // The freed space is reused by a new record with another RecordID.
  ASSERT_EQ(AddEmp(*t, 2, "Bob", "B"), first);
  ASSERT_TRUE(t->GotoFirst());
  EXPECT_EQ(t->DeleteRecord(stale.data()), -1);
  EXPECT_EQ(t->GetRecordCount(), 1);
  // So is a bookmark of the deleted record.
  std::uint8_t mark[8];
  t->GetBookmark(stale.data(), mark);
  EXPECT_FALSE(t->BookmarkIsValid(mark));
  t->GetBookmark(t->RecBuf(), mark);
  EXPECT_TRUE(t->BookmarkIsValid(mark));
}

TEST_P(Cursor, AnExplicitAutoIncValueRaisesTheCounterOnlyWhenAbove) {
  auto t = CreateEmp(db, Memory());
  t->BeginWrite();
  t->TableDef().Header()->SetLastAutoInc(7);
  t->EndAccess();
  struct Case { int value; std::uint32_t counter; };
  int id = 0;
  for (const Case& c : {Case{5, 7}, Case{100, 100}, Case{50, 100}}) {
    t->InitRecBuf();
    SetField(*t, "ID", ++id);
    SetField(*t, "SEQ", c.value);
    t->AddRecord(false);
    EXPECT_EQ(t->TableDef().Header()->LastAutoInc(), c.counter) << c.value;
    EXPECT_EQ(Int(*t, "SEQ"), c.value);
  }
  AddEmp(*t, ++id, "Auto", "A");
  EXPECT_EQ(Int(*t, "SEQ"), 101);
}

TEST_P(Cursor, StringsLongerThanTheirFieldAreRefusedBeforeAnythingIsWritten) {
  auto t = CreateEmp(db, Memory());
  t->InitRecBuf();
  const std::string twenty(20, 'x');
  t->DataSetSetFieldData(t->FieldIndexOf("NAME"), 20, twenty.data(), false);
  std::vector<std::uint8_t> before(t->RecBuf(), t->RecBuf() + t->GetRecBufSize());
  const std::string longer(21, 'y');
  TCaughtError e = CatchUdb([&] { t->DataSetSetFieldData(t->FieldIndexOf("NAME"), 21, longer.data(), false); });
  EXPECT_EQ(e.code, 8581);
  EXPECT_NE(e.message.find("Field data length is out of range"), std::string::npos);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), t->RecBuf()));
  std::vector<std::uint8_t> buf(before);
  EXPECT_UDB_ERROR(t->DataSetSetFieldDataToRecBufAsVariant(buf.data(), t->FieldIndexOf("NAME"), AnsiString(longer)),
                   8581);
}

TEST_P(Cursor, BlobsAreWrittenReadAndReleasedWithTheirRecord) {
  auto t = CreateEmp(db, Memory());
  const std::string big(3000, 'q');
  AddEmp(*t, 1, "Amy", "A", 0, big);
  AddEmp(*t, 2, "Bob", "B", 0, "short");
  ASSERT_TRUE(FindKey(*t, {{"ID", 1}}));
  EXPECT_EQ(Memo(*t, "NOTE"), big);
  ASSERT_TRUE(FindKey(*t, {{"ID", 2}}));
  EXPECT_EQ(Memo(*t, "NOTE"), "short");
  // An empty stream releases the stored blob and makes the field null.
  SetMemo(*t, "NOTE", "");
  t->UpdateRecord();
  ASSERT_TRUE(FindKey(*t, {{"ID", 2}}));
  EXPECT_EQ(Memo(*t, "NOTE"), "<null>");
  EXPECT_TRUE(t->IsFieldNull(t->RecBuf(), t->FieldIndexOf("NOTE")));
  std::vector<TUdbAddr> blobs;
  t->TableDef().BlobIO()->ListBlocks(blobs);
  const size_t withBoth = blobs.size();
  ASSERT_TRUE(FindKey(*t, {{"ID", 1}}));
  ASSERT_EQ(t->DeleteRecord(nullptr), 0);
  if (Memory()) {
    blobs.clear();
    t->TableDef().BlobIO()->ListBlocks(blobs);
    EXPECT_LT(blobs.size(), withBoth);
  }
  EXPECT_UDB_ERROR(t->DataSetSetFieldData(t->FieldIndexOf("NOTE"), 1, "x", false), 8581);
  TMemoryStream s;
  EXPECT_UDB_ERROR(t->DataSetSetFieldStreamFromRecBuf(const_cast<std::uint8_t*>(t->RecBuf()), t->FieldIndexOf("ID"), &s, false),
                   10753);
}

TEST_P(Cursor, SetToRecordOfADeletedRecordReadsTheNearestAndNamesIt) {
  auto t = CreateEmp(db, Memory());
  for (int id : {1, 2, 3}) AddEmp(*t, id, "N", "D");
  auto other = OpenTable(db, "EMP", Memory());
  ASSERT_TRUE(FindKey(*t, {{"ID", 2}}));
  const TUdbAddr gone = TUdbDataSet::TrailerAddress(t->RecBuf(), t->RecordSize());
  std::vector<std::uint8_t> old(t->RecBuf(), t->RecBuf() + t->GetRecBufSize());
  ASSERT_TRUE(FindKey(*other, {{"ID", 2}}));
  ASSERT_EQ(other->DeleteRecord(nullptr), 0);
  ASSERT_TRUE(t->SetToRecord(gone, old.data(), true, false));
  EXPECT_EQ(Int(*t, "ID"), 3);
  const TUdbAddr read = TUdbDataSet::TrailerAddress(t->RecBuf(), t->RecordSize());
  EXPECT_NE(read, gone);
  ASSERT_TRUE(FindKey(*other, {{"ID", 3}}));
  EXPECT_EQ(read, TUdbDataSet::TrailerAddress(other->RecBuf(), other->RecordSize()));
}

TEST(CursorDisk, AnotherCursorsChangeIsSeenThroughTheHeaderCounter) {
  TCursorDb env;
  auto a = CreateEmp(env.db, false);
  for (int id = 1; id <= 20; ++id) AddEmp(*a, id, "N", "D");
  auto b = OpenTable(env.db, "EMP", false);
  a->SetReadAheadActive(false);  // a read-ahead hit is served without a bracket
  ASSERT_TRUE(a->GotoFirst());
  ASSERT_TRUE(FindKey(*b, {{"ID", 2}}));
  ASSERT_EQ(b->DeleteRecord(nullptr), 0);
  ASSERT_TRUE(a->GotoNext());
  EXPECT_EQ(Int(*a, "ID"), 3);
}

// A record that fails its check while a walk reads ahead takes the batch
// with it: the steps after the failure never give a batch slot's older
// bytes in place of the record (here the slot that held ID 15 the walk
// before would stand for the damaged ID 5).
TEST(CursorDisk, ADamagedRecordInAReadAheadBatchIsNeverServedFromAnOlderBatch) {
  TCursorDb env;
  auto t = CreateEmp(env.db, false);
  std::vector<TUdbAddr> address(31);
  for (int id = 1; id <= 30; ++id) address[static_cast<size_t>(id)] = AddEmp(*t, id, "N" + std::to_string(id), "D");
  ASSERT_TRUE(FindKey(*t, {{"ID", 11}}));
  for (int id = 12; id <= 25; ++id) ASSERT_TRUE(t->GotoNext());  // batches from 11 on fill the slots
  // ID 5's null flag of NAME becomes 7: its check fails (8451 and kin).
  std::vector<std::uint8_t> record(static_cast<size_t>(t->RecordSize()));
  TBaseIOInterface& io = *t->TableDef().RecordIO();
  io.ReadBlock(address[5], t->RecordSize(), record.data());
  record[static_cast<size_t>(t->GetFields().FindField("NAME")->NullFlagOffset())] = 7;
  io.WriteBlock(address[5], t->RecordSize(), record.data());

  ASSERT_TRUE(FindKey(*t, {{"ID", 1}}));
  int failures = 0, served = 0;
  for (int step = 0; step < 12; ++step) {
    TCaughtError e = CatchUdb([&] {
      if (!t->GotoNext()) return;
      ++served;
      // What a step gives is the record stored where its bookmark says.
      std::uint8_t mark[8];
      t->GetBookmark(t->RecBuf(), mark);
      const TUdbAddr at = udbfmt::GetU32(mark);
      ASSERT_NE(at, address[5]) << "step " << step << ": the damaged record was served";
      io.ReadBlock(at, t->RecordSize(), record.data());
      ASSERT_TRUE(std::equal(record.begin(), record.end(), t->RecBuf()))
          << "step " << step << ": ID " << Int(*t, "ID") << " served in another record's place";
    });
    if (HasFatalFailure()) return;
    if (e.code >= 0) ++failures;
  }
  EXPECT_GT(failures, 0);
}

// Two cursors of one connection change one table in turn inside one
// transaction, at many places of every index: each keeps index nodes
// between its changes, which the other's changes make out of date.  Every
// key of either cursor's changes is in every index, in order, before and
// after the commit.
TEST(CursorDisk, TwoCursorsChangingOneTableInTurnKeepEveryKeyOfBoth) {
  TCursorDb env;
  auto a = CreateEmp(env.db, false);
  auto b = OpenTable(env.db, "EMP", false);
  std::mt19937 rng(2026);
  std::map<int, std::pair<std::string, std::string>> model;  // ID -> NAME, DEPT
  env.db.StartTransaction();
  for (int i = 0; i < 3000; ++i) {
    TUdbTableCursor& t = rng() % 3 == 0 ? *b : *a;
    if (rng() % 10 == 0 && !model.empty()) {  // a delete by the other cursor's key
      auto it = std::next(model.begin(), static_cast<long>(rng() % model.size()));
      ASSERT_TRUE(FindKey(t, {{"ID", it->first}}));
      ASSERT_EQ(t.DeleteRecord(nullptr), 0);
      model.erase(it);
      continue;
    }
    const int id = static_cast<int>(i % 24) * 100000 + i;  // 24 places in the primary index
    const std::string name = "N" + std::to_string(rng() % 40);
    const std::string dept = "D" + std::to_string(i % 17);
    AddEmp(t, id, name, dept);
    model[id] = {name, dept};
  }
  auto check = [&](const char* when) {
    SCOPED_TRACE(when);
    std::vector<std::string> ids, names, depts;
    for (const auto& [id, row] : model) ids.push_back(std::to_string(id));
    std::multiset<std::pair<std::string, std::string>> byName;
    for (const auto& [id, row] : model) byName.insert(row);
    for (const auto& [name, dept] : byName) names.push_back(name);
    for (const auto& [id, row] : model) depts.push_back(row.second);
    std::sort(depts.begin(), depts.end());
    for (TUdbTableCursor* t : {a.get(), b.get()}) {
      t->SetIndexName("PK");
      ASSERT_EQ(Walk(*t, "ID"), ids);
      t->SetIndexName("ByName");
      ASSERT_EQ(Walk(*t, "NAME"), names);
      t->SetIndexName("ByDept");
      ASSERT_EQ(Walk(*t, "DEPT"), depts);
    }
  };
  check("in the transaction");
  env.db.Commit();
  check("after the commit");
}

TEST(CursorDisk, AWriteBracketWritesTheHeaderOnce) {
  TCursorDb env;
  auto t = CreateEmp(env.db, false);
  TTableHeader* header = t->TableDef().Header();
  const std::uint32_t before = header->WriteCounter();
  t->BeginWrite();
  for (int id = 1; id <= 10; ++id) AddEmp(*t, id, "N", "D");
  EXPECT_EQ(header->WriteCounter(), before);
  t->EndAccess();
  EXPECT_EQ(header->WriteCounter(), before + 1);
  AddEmp(*t, 11, "N", "D");
  EXPECT_EQ(header->WriteCounter(), before + 2);
}

TEST_P(Cursor, TableAndFieldPrivilegesGuardChanges) {
  auto t = CreateEmp(db, Memory());
  AddEmp(*t, 1, "Amy", "A");
  EXPECT_FALSE(t->IsReadOnlyByPrivilege());
  t->TableDef().SetAccessMask(udbcur::kPrivRead);
  EXPECT_TRUE(t->IsReadOnlyByPrivilege());
  t->InitRecBuf();
  EXPECT_UDB_ERROR(t->AddRecord(true), 10624);
  ASSERT_TRUE(t->GotoFirst());
  EXPECT_UDB_ERROR(t->UpdateRecord(), 10624);
  EXPECT_UDB_ERROR(t->DeleteRecord(nullptr), 10624);
  t->TableDef().SetAccessMask(udbcur::kPrivInsert);
  EXPECT_FALSE(t->IsReadOnlyByPrivilege());
  t->GetFields().FindField("NAME")->SetAccessMask(udbcur::kPrivRead);
  EXPECT_UDB_ERROR(t->DataSetSetFieldData(t->FieldIndexOf("NAME"), 1, "x", false), 10624);
}

// --- all or nothing ---------------------------------------------------------

struct TStepFailure : std::runtime_error {
  TStepFailure() : std::runtime_error("injected") {}
};

// A snapshot of what a change may touch.
struct TTableState {
  std::vector<std::string> pk, byName, byDept, notes;
  int stored = 0;
  std::uint32_t lastId = 0;
  bool operator==(const TTableState& o) const {
    return pk == o.pk && byName == o.byName && byDept == o.byDept && notes == o.notes && stored == o.stored &&
           lastId == o.lastId;
  }
};

TTableState StateOf(TUdbDataSet& t) {
  TTableState s;
  const AnsiString index = t.IndexName();
  t.SetIndexName("PK");
  s.pk = Walk(t, "ID");
  for (bool ok = t.GotoFirst(); ok; ok = t.GotoNext()) s.notes.push_back(Memo(t, "NOTE"));
  t.SetIndexName("ByName");
  s.byName = Walk(t, "ID");
  t.SetIndexName("ByDept");
  s.byDept = Walk(t, "ID");
  t.SetIndexName(index);
  s.stored = StoredRecords(t);
  s.lastId = t.TableDef().Header()->LastRecordID();
  return s;
}

TEST_P(Cursor, AChangeThatFailsAtAnyStepLeavesTheTableAsItWas) {
  auto t = CreateEmp(db, Memory());
  for (int id = 1; id <= 30; ++id) AddEmp(*t, id, "N" + std::to_string(id % 7), "D" + std::to_string(id % 3), 0, "memo");
  struct Change {
    const char* what;
    std::function<void()> run;
  };
  const std::vector<Change> changes = {
      {"add", [&] { AddEmp(*t, 99, "New", "Q", 0, "fresh"); }},
      {"update",
       [&] {
         ASSERT_TRUE(FindKey(*t, {{"ID", 7}}));
         SetField(*t, "NAME", "Moved");
         SetField(*t, "DEPT", "Q");
         SetMemo(*t, "NOTE", "changed");
         t->UpdateRecord();
       }},
      {"delete",
       [&] {
         ASSERT_TRUE(FindKey(*t, {{"ID", 8}}));
         t->DeleteRecord(nullptr);
       }},
  };
  for (const Change& c : changes) {
    const TTableState before = StateOf(*t);
    // Fail at every step in turn, then let the change run through.
    for (int failAt = 1;; ++failAt) {
      int seen = 0;
      bool failed = false;
      t->OnChangeStepForTest = [&](const AnsiString&) {
        if (++seen == failAt) {
          failed = true;
          throw TStepFailure();
        }
      };
      try {
        c.run();
      } catch (const TStepFailure&) {
      }
      t->OnChangeStepForTest = nullptr;
      if (!failed) break;
      const TTableState after = StateOf(*t);
      EXPECT_EQ(after.pk, before.pk) << c.what << " failing at step " << failAt;
      EXPECT_EQ(after.byName, before.byName) << c.what << " failing at step " << failAt;
      EXPECT_EQ(after.byDept, before.byDept) << c.what << " failing at step " << failAt;
      EXPECT_EQ(after.notes, before.notes) << c.what << " failing at step " << failAt;
      EXPECT_EQ(after.stored, before.stored) << c.what << " failing at step " << failAt;
      EXPECT_EQ(after.lastId, before.lastId) << c.what << " failing at step " << failAt;
      for (int i = 0; i < 3; ++i) t->IndexMgr().Items(i)->Tree().CheckStructureForTest();
    }
    // Put the table back for the next kind of change.
    t->OnChangeStepForTest = nullptr;
    if (std::string(c.what) == "add") {
      ASSERT_TRUE(FindKey(*t, {{"ID", 99}}));
      t->DeleteRecord(nullptr);
    } else if (std::string(c.what) == "update") {
      ASSERT_TRUE(FindKey(*t, {{"ID", 7}}));
      SetField(*t, "NAME", "N0");
      SetField(*t, "DEPT", "D1");
      SetMemo(*t, "NOTE", "memo");
      t->UpdateRecord();
    }
  }
}

// --- a randomised model ---------------------------------------------------------

struct TModelRow {
  std::string name, dept;
};

TEST_P(Cursor, RandomChangesAndSearchesMatchAModel) {
  auto t = CreateEmp(db, Memory());
  std::map<int, TModelRow> model;
  std::mt19937 rng(Memory() ? 7u : 11u);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* names[] = {"Amy", "Bob", "Cai", "Dan", "Eve", "李", "王"};
  for (int step = 0; step < 1500; ++step) {
    const int op = pick(10);
    const int id = pick(300);
    const std::string name = names[pick(7)];
    const std::string dept = std::string(1, static_cast<char>('A' + pick(5)));
    const bool exists = model.count(id) != 0;
    if (op < 5) {
      TCaughtError e = CatchUdb([&] { AddEmp(*t, id, name, dept); });
      EXPECT_EQ(e.code, exists ? 9729 : -1);
      if (!exists) model[id] = {name, dept};
    } else if (op < 7 && exists) {
      ASSERT_TRUE(FindKey(*t, {{"ID", id}}));
      SetField(*t, "NAME", AnsiString(name));
      SetField(*t, "DEPT", AnsiString(dept));
      t->UpdateRecord();
      model[id] = {name, dept};
    } else if (op < 9 && exists) {
      ASSERT_TRUE(FindKey(*t, {{"ID", id}}));
      ASSERT_EQ(t->DeleteRecord(nullptr), 0);
      model.erase(id);
    } else {
      ASSERT_EQ(FindKey(*t, {{"ID", id}}), exists);
      if (exists) {
        EXPECT_EQ(Str(*t, "NAME"), model[id].name);
      }
    }
    if (step % 250 == 0 || step == 1499) {
      std::vector<std::string> ids;
      for (const auto& [k, v] : model) ids.push_back(std::to_string(k));
      t->SetIndexName("PK");
      ASSERT_EQ(Walk(*t, "ID"), ids);
      EXPECT_EQ(t->GetRecordCount(), static_cast<int>(model.size()));
      t->SetIndexName("ByDept");
      std::vector<std::string> depts;
      for (const auto& [k, v] : model) depts.push_back(v.dept);
      std::sort(depts.begin(), depts.end());
      ASSERT_EQ(Walk(*t, "DEPT"), depts);
      t->SetIndexName("PK");
      EXPECT_EQ(StoredRecords(*t), static_cast<int>(model.size()));
    }
  }
}

// A walk one step at a time over a memory table while another cursor
// inserts, updates and deletes around it (the record in hand included):
// every step lands on the nearest key beyond the key of the record in
// hand, in either direction, as the table holds it at that step.  (A disk
// table's steps may come from its read-ahead, which is allowed to be a
// moment old.)
TEST(CursorMemory, AStepWhileAnotherCursorChangesTheTableGoesToTheNextKeyAsItIsNow) {
  TCursorDb env;
  auto walker = CreateEmp(env.db, true);
  auto other = OpenTable(env.db, "EMP", true);
  std::set<int> model;
  std::mt19937 rng(21u);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  for (int id = 0; id < 200; id += 2) {
    AddEmp(*other, id, "N", "D");
    model.insert(id);
  }
  for (int pass = 0; pass < 6; ++pass) {
    const bool forward = pass % 2 == 0;
    bool on = forward ? walker->GotoFirst() : walker->GotoLast();
    int steps = 0;
    while (on && steps++ < 400) {
      const int here = Int(*walker, "ID");
      // Changes near the record in hand, through the other cursor.
      for (int k = pick(3); k > 0; --k) {
        const int id = here + pick(9) - 4;
        const int op = pick(3);
        if (id < 0) continue;
        if (op == 0 && model.count(id) == 0) {
          AddEmp(*other, id, "N", "D");
          model.insert(id);
        } else if (op == 1 && model.count(id) != 0) {
          ASSERT_TRUE(FindKey(*other, {{"ID", id}}));
          ASSERT_EQ(other->DeleteRecord(nullptr), 0);
          model.erase(id);
        } else if (op == 2 && model.count(id) != 0) {
          ASSERT_TRUE(FindKey(*other, {{"ID", id}}));
          SetField(*other, "NAME", AnsiString("M" + std::to_string(pick(100))));
          other->UpdateRecord();
        }
      }
      std::optional<int> expected;
      if (forward) {
        auto it = model.upper_bound(here);
        if (it != model.end()) expected = *it;
      } else {
        auto it = model.lower_bound(here);
        if (it != model.begin()) expected = *std::prev(it);
      }
      on = forward ? walker->GotoNext() : walker->GotoPrior();
      ASSERT_EQ(on, expected.has_value()) << "pass " << pass << " from " << here;
      if (on) {
        ASSERT_EQ(Int(*walker, "ID"), *expected) << "pass " << pass << " from " << here;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, Cursor, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Memory" : "Disk"; });

}  // namespace
