// The storage-order walk of a table cursor: the live records in the order
// of their addresses, each exactly once, as the index walk would give them
// as a set; the index order wherever a filter or a range decides the rows;
// and a walk that another connection's commits interrupt between batches
// neither repeats a record nor loses one that lived through the walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "platform/data/Fields.h"
#include "tests/core/ScratchDir.h"

namespace {

std::string Code(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "E%06d", i);
  return text;
}

void Connect(TUdbDataBase& db, const ScratchDir& dir) {
  db.SetDirectory(AnsiString(dir.Native()));
  db.SetDataBaseName("GZ.udb");
}

void CreatePay(TUdbDataBase& db) {
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName("pay");
  t.FieldDefs()->Add("CODE", ftString, 10);
  t.FieldDefs()->Add("DEPT", ftInteger);
  t.FieldDefs()->Add("P1", ftFloat);
  t.FieldDefs()->Add("NOTE", ftMemo);
  t.IndexDefs()->Add("ByCode", "CODE", TIndexOptions() << ixUnique);
  t.IndexDefs()->Add("ByDept", "DEPT", TIndexOptions());
  t.CreateTable();
}

void Open(TUdbTable& t, TUdbDataBase& db) {
  t.SetDataBase(&db);
  t.SetTableName("pay");
  t.SetIndexName("ByCode");
  t.Open();
}

void Append(TUdbTable& t, int i) {
  t.Append();
  t.FieldByName("CODE")->SetAsString(Code(i));
  t.FieldByName("DEPT")->SetAsInteger(i % 7);
  t.FieldByName("P1")->SetAsFloat(i * 0.5);
  // Every third row has a memo, some longer than a blob block.
  if (i % 3 == 0) t.FieldByName("NOTE")->SetAsString("备注" + std::string(static_cast<size_t>(i % 700), 'x'));
  t.Post();
}

TUdbAddr Here(TUdbTable& t) { return TUdbDataSet::TrailerAddress(t.RecBuf(), t.RecordSize()); }

struct TSeen {
  std::vector<std::string> codes;
  std::vector<TUdbAddr> addresses;
  std::map<std::string, std::string> rows;  // code -> "P1|NOTE"
};

TSeen Walk(TUdbTable& t, bool backward = false) {
  TSeen seen;
  for (backward ? t.Last() : t.First(); backward ? !t.Bof() : !t.Eof(); backward ? t.Prior() : t.Next()) {
    const std::string code = t.FieldByName("CODE")->AsString();
    seen.codes.push_back(code);
    seen.addresses.push_back(Here(t));
    seen.rows[code] = std::to_string(t.FieldByName("P1")->AsFloat()) + "|" + std::string(t.FieldByName("NOTE")->AsString());
  }
  return seen;
}

// Rows appended out of key order, every seventh deleted, and new rows in
// the freed blocks: the table's storage is a mix of live and free blocks
// whose order is not the key order.
class StorageOrder : public ::testing::Test {
 protected:
  void SetUp() override {
    Connect(db, dir);
    db.CreateDatabase();
    db.SetConnected(true);
    CreatePay(db);
    Open(t, db);
    std::vector<int> ids(kRows);
    for (int i = 0; i < kRows; ++i) ids[static_cast<size_t>(i)] = i;
    std::shuffle(ids.begin(), ids.end(), std::mt19937(50));
    db.StartTransaction();
    for (int i : ids) Append(t, i);
    for (int i = 0; i < kRows; i += 7) {
      ASSERT_TRUE(t.FindKey({Variant(AnsiString(Code(i)))}));
      t.Delete();
    }
    for (int i = kRows; i < kRows + 40; ++i) Append(t, i);
    db.Commit();
  }

  static constexpr int kRows = 900;
  ScratchDir dir;
  TUdbDataBase db;
  TUdbTable t;
};

TEST_F(StorageOrder, WalksEveryLiveRecordOnceInAddressOrderWithItsFieldsAndMemo) {
  const TSeen byKey = Walk(t);
  ASSERT_TRUE(std::is_sorted(byKey.codes.begin(), byKey.codes.end()));
  ASSERT_FALSE(std::is_sorted(byKey.addresses.begin(), byKey.addresses.end()));

  t.SetStorageOrder(true);
  const TSeen stored = Walk(t);
  EXPECT_TRUE(std::is_sorted(stored.addresses.begin(), stored.addresses.end()));
  EXPECT_EQ(std::set<TUdbAddr>(stored.addresses.begin(), stored.addresses.end()).size(), stored.addresses.size());
  EXPECT_EQ(stored.rows, byKey.rows);
  EXPECT_EQ(stored.codes.size(), byKey.codes.size());

  // Backwards: the same records, in reverse.
  TSeen back = Walk(t, true);
  std::reverse(back.codes.begin(), back.codes.end());
  EXPECT_EQ(back.codes, stored.codes);

  // Turned off, the walk is the index's again.
  t.SetStorageOrder(false);
  EXPECT_EQ(Walk(t).codes, byKey.codes);
}

// Over more rows than one batch holds, with free blocks in runs of live
// ones (read a run at a time) and across the batch's end, each way.
TEST(StorageOrderBatches, ManyBatchesOfRunsWithFreeBlocksGiveEveryRowOnce) {
  ScratchDir dir;
  TUdbDataBase db;
  Connect(db, dir);
  db.CreateDatabase();
  db.SetConnected(true);
  CreatePay(db);
  TUdbTable t;
  Open(t, db);
  const int rows = 3100;
  db.StartTransaction();
  for (int i = 0; i < rows; ++i) Append(t, i);
  // Single free blocks, a long free stretch, and new rows in some of them.
  for (int i = 0; i < rows; ++i) {
    if (i % 13 != 5 && (i < 1000 || i >= 1090)) continue;
    ASSERT_TRUE(t.FindKey({Variant(AnsiString(Code(i)))}));
    t.Delete();
  }
  for (int i = rows; i < rows + 60; ++i) Append(t, i);
  db.Commit();
  const TSeen byKey = Walk(t);
  t.SetStorageOrder(true);
  const TSeen stored = Walk(t);
  EXPECT_TRUE(std::is_sorted(stored.addresses.begin(), stored.addresses.end()));
  EXPECT_EQ(std::set<TUdbAddr>(stored.addresses.begin(), stored.addresses.end()).size(), stored.addresses.size());
  EXPECT_EQ(stored.codes.size(), byKey.codes.size());
  EXPECT_EQ(stored.rows, byKey.rows);
  TSeen back = Walk(t, true);
  std::reverse(back.codes.begin(), back.codes.end());
  EXPECT_EQ(back.codes, stored.codes);
}

TEST_F(StorageOrder, AFilterOrARangeKeepsItsOwnIndexOrder) {
  auto filteredAndRanged = [&](bool storage) {
    t.SetStorageOrder(storage);
    t.SetFilter("DEPT = 3");
    t.SetFiltered(true);
    const TSeen filtered = Walk(t);
    t.SetFiltered(false);
    t.SetIndexName("ByDept");
    t.SetRange({Variant(3)}, {Variant(3)});
    const TSeen ranged = Walk(t);
    t.CancelRange();
    t.SetIndexName("ByCode");
    return std::make_pair(filtered.codes, ranged.codes);
  };
  const auto byIndex = filteredAndRanged(false);
  ASSERT_FALSE(byIndex.first.empty());
  EXPECT_EQ(filteredAndRanged(true), byIndex);
}

TEST_F(StorageOrder, ACursorsOwnChangesDuringTheWalkAreFollowed) {
  t.SetStorageOrder(true);
  std::set<std::string> seen;
  int appended = 0;
  for (t.First(); !t.Eof(); t.Next()) {
    ASSERT_TRUE(seen.insert(std::string(t.FieldByName("CODE")->AsString())).second);
    if (seen.size() % 100 == 0) {
      // The edit keeps the cursor on the row, the append fills a freed
      // block or a new one: the walk goes on from the row it stood on.
      const TBookmark mark = t.GetBookmark();
      t.Edit();
      t.FieldByName("P1")->SetAsFloat(-1);
      t.Post();
      Append(t, 10000 + appended++);
      t.GotoBookmark(mark);
      t.FreeBookmark(mark);
    }
  }
  int live = 0;
  t.SetStorageOrder(false);
  for (t.First(); !t.Eof(); t.Next()) ++live;
  // Every row seen once; appended rows are seen when they land past the walk.
  EXPECT_GE(static_cast<int>(seen.size()), live - appended);
  EXPECT_LE(static_cast<int>(seen.size()), live);
}

// Another connection commits between the batches of the walk: it deletes
// rows ahead of the walk and behind it, adds rows and moves rows' keys
// (which moves them in the index order, not in storage).
TEST_F(StorageOrder, AnotherConnectionsCommitsBetweenBatchesNeitherRepeatNorLoseRows) {
  std::set<std::string> before;
  for (t.First(); !t.Eof(); t.Next()) before.insert(std::string(t.FieldByName("CODE")->AsString()));

  TUdbDataBase other;
  Connect(other, dir);
  other.SetConnected(true);
  TUdbTable w;
  Open(w, other);

  std::set<std::string> deleted, added;
  std::map<std::string, std::string> renamed;  // old code -> new code
  std::mt19937 rng(7);
  std::vector<std::string> pool(before.begin(), before.end());
  int next = 20000;
  auto commitSomething = [&] {
    other.StartTransaction();
    for (int k = 0; k < 15; ++k) {
      const std::string& victim = pool[rng() % pool.size()];
      if (deleted.count(victim) || renamed.count(victim)) continue;
      if (!w.FindKey({Variant(AnsiString(victim))})) continue;
      if (k % 3 == 0) {
        w.Edit();
        const std::string moved = "Z" + victim.substr(1);
        w.FieldByName("CODE")->SetAsString(moved);
        w.Post();
        renamed[victim] = moved;
      } else {
        w.Delete();
        deleted.insert(victim);
      }
    }
    for (int k = 0; k < 10; ++k) {
      Append(w, next);
      added.insert(Code(next++));
    }
    other.Commit();
  };

  t.SetStorageOrder(true);
  std::map<std::string, int> seen;
  int step = 0;
  for (t.First(); !t.Eof(); t.Next()) {
    std::string code = t.FieldByName("CODE")->AsString();
    if (code[0] == 'Z') {
      // A renamed row is the same row: it counts under its old code.
      for (const auto& [from, to] : renamed)
        if (to == code) code = from;
    }
    ++seen[code];
    if (++step % 90 == 0) commitSomething();
  }
  ASSERT_FALSE(deleted.empty());
  ASSERT_FALSE(renamed.empty());
  for (const auto& [code, times] : seen) {
    EXPECT_EQ(times, 1) << code;
    EXPECT_TRUE(before.count(code) || added.count(code)) << code;
  }
  for (const std::string& code : before) {
    if (deleted.count(code) == 0) {
      EXPECT_EQ(seen.count(code), 1u) << code << " lived through the walk";
    }
  }
}

}  // namespace
