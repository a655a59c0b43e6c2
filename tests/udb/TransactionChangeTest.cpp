// Record changes that fail part-way inside the connection's transaction:
// a write failing at every position of an insert, an edit, a delete or a
// memo replacement, and key violations, each after earlier changes of the
// same transaction.  After the failure the table must read as before that
// change (checked against a model through another cursor: rows, the order
// of every index, memo contents, stored records, tree structure); then the
// change is retried, or the transaction committed or rolled back, and the
// table is checked again, after reconnecting too, with the space check of
// the file.  A randomised run mixes changes, failures and ends of
// transactions (PAYROLL_TXN_FAULT_ROUNDS rounds; a short one by default).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>

#include "CatalogueCheck.h"
#include "CursorTestSupport.h"
#include "Udb/BTree.h"
#include "Udb/IndexManager.h"

namespace {

struct TRow {
  std::string code, name, dept, note;  // note "" = null
  bool operator==(const TRow&) const = default;
};
using TModel = std::map<int, TRow>;

const char* const kTable = "STAFF";
const char* const kIndexes[] = {"PK", "ByCode", "ByName", "ByDept"};

std::unique_ptr<TUdbTableCursor> CreateStaff(TUdbDataBase& db) {
  TIndexOptions primary, unique;
  primary << ixPrimary;
  unique << ixUnique;
  return CreateTable(db, kTable, false,
                     {{"ID", ftInteger, 0}, {"CODE", ftString, 10}, {"NAME", ftString, 20}, {"DEPT", ftString, 10},
                      {"NOTE", ftMemo, 0}},
                     {{"PK", "ID", primary}, {"ByCode", "CODE", unique}, {"ByName", "NAME;DEPT", {}},
                      {"ByDept", "DEPT", {}}});
}

// Memo sizes: null, inside one blob block, over several blocks.
std::string NoteFor(int id, int salt = 0) {
  const int sizes[] = {0, 40, 700, 5200};
  const int size = sizes[(id + salt) % 4];
  std::string s;
  for (int i = 0; i < size; ++i) s.push_back(static_cast<char>('a' + (id * 7 + salt + i) % 26));
  return s;
}

TRow BaseRow(int id) {
  return {"C" + std::to_string(id), "N" + std::to_string(id % 13), "D" + std::to_string(id % 5), NoteFor(id)};
}

// The record buffer set to row (other fields as the buffer holds them).
void SetRow(TUdbDataSet& t, int id, const TRow& r) {
  SetField(t, "ID", id);
  SetField(t, "CODE", AnsiString(r.code));
  SetField(t, "NAME", AnsiString(r.name));
  SetField(t, "DEPT", AnsiString(r.dept));
  SetMemo(t, "NOTE", r.note);
}

bool Position(TUdbDataSet& t, int id) {
  t.SetIndexName("PK");
  return FindKey(t, {{"ID", id}});
}

// Everything a reader sees of the table, compared with the model.
void ExpectTable(TUdbDataSet& t, const TModel& model, const std::string& where) {
  SCOPED_TRACE(where);
  t.SetIndexName("PK");
  TModel seen;
  for (bool ok = t.GotoFirst(); ok; ok = t.GotoNext()) {
    const std::string note = Memo(t, "NOTE");
    seen[Int(t, "ID")] = {Str(t, "CODE"), Str(t, "NAME"), Str(t, "DEPT"), note == "<null>" ? "" : note};
  }
  EXPECT_EQ(seen.size(), model.size());
  for (const auto& [id, row] : model) {
    auto it = seen.find(id);
    if (it == seen.end()) {
      ADD_FAILURE() << "row " << id << " missing";
      continue;
    }
    EXPECT_EQ(it->second.code, row.code) << id;
    EXPECT_EQ(it->second.name, row.name) << id;
    EXPECT_EQ(it->second.dept, row.dept) << id;
    EXPECT_TRUE(it->second.note == row.note) << id << ": memo of " << it->second.note.size() << " bytes, not "
                                             << row.note.size();
  }
  // Sorted as the index orders its keys: NAME, then DEPT.
  std::vector<std::pair<std::string, std::string>> pairs;
  std::vector<std::string> codes, names, depts;
  for (const auto& [id, row] : model) {
    codes.push_back(row.code);
    pairs.emplace_back(row.name, row.dept);
    depts.push_back(row.dept);
  }
  std::sort(pairs.begin(), pairs.end());
  for (const auto& [name, dept] : pairs) names.push_back(name + "|" + dept);
  std::sort(codes.begin(), codes.end());
  std::sort(depts.begin(), depts.end());
  t.SetIndexName("ByCode");
  EXPECT_EQ(Walk(t, "CODE"), codes);
  t.SetIndexName("ByName");
  std::vector<std::string> byName;
  for (bool ok = t.GotoFirst(); ok; ok = t.GotoNext()) byName.push_back(Str(t, "NAME") + "|" + Str(t, "DEPT"));
  EXPECT_EQ(byName, names);
  t.SetIndexName("ByDept");
  EXPECT_EQ(Walk(t, "DEPT"), depts);
  EXPECT_EQ(StoredRecords(t), static_cast<int>(model.size()));
  for (int i = 0; i < t.IndexMgr().Count(); ++i) t.IndexMgr().Items(i)->Tree().CheckStructureForTest();
  t.SetIndexName("PK");
}

// A connection to a copy of a prepared file, with the changing cursor and
// a second cursor that only reads.
struct TEnv {
  TMemFileSystem fs;
  TUdbDataBase db;
  std::unique_ptr<TUdbTableCursor> t, view;
  int writes = 0;
  int failAt = 0;  // 0: no failure
  bool fired = false;

  explicit TEnv(const std::vector<std::uint8_t>& file) {
    fs.Bytes("test.udb") = file;
    db.SetFileSystem(&fs);
    db.SetDataBaseName("test.udb");
    db.SetExclusive(true);
    Connect();
  }
  void Connect() {
    db.SetConnected(true);
    t = OpenTable(db, kTable, false);
    view = OpenTable(db, kTable, false);
    db.DiskMgr()->File().BeforeWrite = [this] {
      if (failAt > 0 && ++writes == failAt) {
        fired = true;
        UdbDatabaseError(udberr::kWriteFailure, "test", "injected write failure");
      }
    };
  }
  void Reconnect() {
    t.reset();
    view.reset();
    db.SetConnected(false);
    Connect();
  }
  // Runs fn with the write failAt failing; true when it raised.
  bool RunFailing(int at, const std::function<void()>& fn) {
    writes = 0;
    failAt = at;
    fired = false;
    bool raised = false;
    try {
      fn();
    } catch (const EUdbDatabaseError&) {
      raised = true;
    }
    failAt = 0;
    return raised;
  }
};

// A file with the table and its base rows, made once.
const std::vector<std::uint8_t>& BaseFile() {
  static const std::vector<std::uint8_t> file = [] {
    TMemFileSystem fs;
    TUdbDataBase db;
    db.SetFileSystem(&fs);
    db.SetDataBaseName("test.udb");
    db.CreateDatabase();
    db.SetExclusive(true);
    db.SetConnected(true);
    {
      auto t = CreateStaff(db);
      for (int id = 1; id <= 160; ++id) {
        t->InitRecBuf();
        SetRow(*t, id, BaseRow(id));
        t->AddRecord(false);
      }
    }
    db.SetConnected(false);
    return fs.Bytes("test.udb");
  }();
  return file;
}

TModel BaseModel() {
  TModel m;
  for (int id = 1; id <= 160; ++id) m[id] = BaseRow(id);
  return m;
}

// The transaction's changes before the one that fails: an insert, an
// edit that moves keys and replaces a memo, a delete.
void EarlierChanges(TUdbDataSet& t, TModel& model) {
  t.InitRecBuf();
  const TRow added{"C900", "Early", "D9", NoteFor(900, 1)};
  SetRow(t, 900, added);
  t.AddRecord(false);
  model[900] = added;
  ASSERT_TRUE(Position(t, 3));
  TRow edited{"C3x", "Renamed", "D7", NoteFor(3, 3)};
  SetRow(t, 3, edited);
  t.UpdateRecord();
  model[3] = edited;
  ASSERT_TRUE(Position(t, 4));
  t.DeleteRecord(nullptr);
  model.erase(4);
}

// A change: prepare positions the cursor and fills its buffer, post is
// the engine call (run again as it is for a retry), apply its effect.
struct TChange {
  const char* name;
  std::function<void(TUdbDataSet&)> prepare;
  std::function<void(TUdbDataSet&)> post;
  std::function<void(TModel&)> apply;
};

std::vector<TChange> Changes() {
  auto update = [](TUdbDataSet& t) { t.UpdateRecord(); };
  auto edit = [](int id, int newId, TRow row) {
    return [=](TUdbDataSet& t) {
      ASSERT_TRUE(Position(t, id));
      SetRow(t, newId, row);
    };
  };
  auto move = [](int id, int newId, TRow row) {
    return [=](TModel& m) {
      m.erase(id);
      m[newId] = row;
    };
  };
  const TRow inserted{"C1000", "Inserted", "D2", NoteFor(1000, 3)};
  const TRow keysMoved{"Z17", "Moved", "Q", BaseRow(17).note};
  const TRow idMoved = BaseRow(18);
  TRow memo = BaseRow(19);  // 5200 bytes before
  memo.note = std::string(9000, 'r');
  TRow memoCleared = BaseRow(23);  // 5200 bytes before
  memoCleared.note = "";
  memoCleared.name = "Cleared";
  return {
      {"insert",
       [=](TUdbDataSet& t) {
         t.InitRecBuf();
         SetRow(t, 1000, inserted);
       },
       [](TUdbDataSet& t) { t.AddRecord(false); }, [=](TModel& m) { m[1000] = inserted; }},
      {"edit moving keys", edit(17, 17, keysMoved), update, move(17, 17, keysMoved)},
      {"edit moving the primary key", edit(18, 5000, idMoved), update, move(18, 5000, idMoved)},
      {"memo replaced", edit(19, 19, memo), update, move(19, 19, memo)},
      {"memo cleared and a key moved", edit(23, 23, memoCleared), update, move(23, 23, memoCleared)},
      {"delete", [](TUdbDataSet& t) { ASSERT_TRUE(Position(t, 15)); },
       [](TUdbDataSet& t) { t.DeleteRecord(nullptr); }, [](TModel& m) { m.erase(15); }},
  };
}

enum TFollowUp { fuRetry, fuCommit, fuRollback };
const char* const kFollowUps[] = {"retry", "commit", "rollback"};

// After the transaction ended: the table as the model says, after
// reconnecting too, and a sound file.
void ExpectEnded(TEnv& env, const TModel& model, const std::string& where) {
  ExpectTable(*env.view, model, where + ", ended");
  env.Reconnect();
  ExpectTable(*env.view, model, where + ", reconnected");
  EXPECT_EQ(CheckFileSpace(env.db), std::vector<std::string>{}) << where;
}

TEST(ChangeInTransaction, AWriteFailingAnywhereLeavesTheTransactionAsBeforeTheChange) {
  int failures = 0;
  for (const TChange& change : Changes()) {
    for (int failAt = 1;; ++failAt) {
      bool passed = false;
      for (TFollowUp followUp : {fuRetry, fuCommit, fuRollback}) {
        const std::string where = std::string(change.name) + ", write " + std::to_string(failAt) + " failing, " +
                                  kFollowUps[followUp];
        SCOPED_TRACE(where);
        TEnv env(BaseFile());
        const TModel committed = BaseModel();
        TModel model = committed;
        env.db.StartTransaction();
        EarlierChanges(*env.t, model);
        change.prepare(*env.t);
        const bool raised = env.RunFailing(failAt, [&] { change.post(*env.t); });
        if (!env.fired) {
          // Past the change's last write: it went through.
          ASSERT_FALSE(raised);
          passed = true;
          break;
        }
        ++failures;
        // A failure is reported, never swallowed half-done.
        ASSERT_TRUE(raised) << "the change went on after its write failed";
        ExpectTable(*env.view, model, where + ", after the failure");
        switch (followUp) {
          case fuRetry:
            change.post(*env.t);
            change.apply(model);
            ExpectTable(*env.view, model, where + ", retried");
            env.db.Commit();
            break;
          case fuCommit:
            env.db.Commit();
            break;
          case fuRollback:
            env.db.Rollback();
            model = committed;
            break;
        }
        ExpectEnded(env, model, where);
        if (::testing::Test::HasFailure()) return;
      }
      if (passed) break;
      ASSERT_LT(failAt, 400);
    }
  }
  EXPECT_GT(failures, 0);
}

// A key already held on a unique index other than the first refuses the
// change whole, whatever keys before it moved; the transaction goes on.
TEST(ChangeInTransaction, AKeyViolationOnASecondUniqueIndexChangesNothing) {
  struct TCase {
    const char* name;
    std::function<void(TUdbDataSet&)> run;
  };
  const std::vector<TCase> cases = {
      {"insert with a new id and a taken code",
       [](TUdbDataSet& t) {
         t.InitRecBuf();
         SetRow(t, 2000, {"C21", "Dup", "D1", NoteFor(2000, 3)});
         t.AddRecord(false);
       }},
      {"edit moving the id to a free one and the code to a taken one",
       [](TUdbDataSet& t) {
         ASSERT_TRUE(Position(t, 22));
         TRow r = BaseRow(22);
         r.code = "C21";
         r.name = "Other";
         r.note = std::string(3000, 'k');
         SetRow(t, 3000, r);
         t.UpdateRecord();
       }},
  };
  for (const TCase& c : cases) {
    for (bool commit : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (commit ? ", committed" : ", rolled back"));
      TEnv env(BaseFile());
      TModel model = BaseModel();
      env.db.StartTransaction();
      EarlierChanges(*env.t, model);
      EXPECT_UDB_ERROR(c.run(*env.t), udberr::kKeyViolation);
      ExpectTable(*env.view, model, "after the violation");
      if (commit) {
        env.db.Commit();
      } else {
        env.db.Rollback();
        model = BaseModel();
      }
      ExpectEnded(env, model, c.name);
    }
  }
}

int Rounds() {
  const char* env = std::getenv("PAYROLL_TXN_FAULT_ROUNDS");
  return env ? std::max(1, std::atoi(env)) : 12;
}

// Random transactions of inserts, edits, memo changes and deletes, some
// failing at a random write; a failed change is retried or left; each
// transaction commits or rolls back.  The table is checked after every
// change and at every end.
TEST(ChangeInTransaction, RandomChangesWithFailuresMatchTheModel) {
  const int rounds = Rounds();
  std::mt19937 rng(20261211);
  TEnv env(BaseFile());
  // Pages spill to the file between changes: a failed change goes back
  // over pages whose earlier image the file holds.
  env.db.DiskMgr()->SetSpillLimit(6);
  TModel committed = BaseModel();
  int nextId = 10000, changes = 0, failed = 0, spills = 0;
  for (int round = 0; round < rounds; ++round) {
    TModel model = committed;
    env.db.StartTransaction();
    const int steps = 5 + static_cast<int>(rng() % 20);
    for (int step = 0; step < steps; ++step) {
      const std::string where = "round " + std::to_string(round) + " step " + std::to_string(step);
      SCOPED_TRACE(where);
      std::vector<int> ids;
      for (const auto& [id, row] : model) ids.push_back(id);
      const int kind = static_cast<int>(rng() % 4);
      const int id = ids.empty() ? 0 : ids[rng() % ids.size()];
      TUdbDataSet& t = *env.t;
      std::function<void()> post;
      std::function<void(TModel&)> apply;
      if (kind == 0 || ids.empty()) {
        const int fresh = nextId++;
        const TRow row{"R" + std::to_string(fresh), "N" + std::to_string(rng() % 17), "D" + std::to_string(rng() % 6),
                       NoteFor(fresh, static_cast<int>(rng() % 4))};
        t.InitRecBuf();
        SetRow(t, fresh, row);
        post = [&t] { t.AddRecord(false); };
        apply = [fresh, row](TModel& m) { m[fresh] = row; };
      } else if (kind == 3) {
        ASSERT_TRUE(Position(t, id));
        post = [&t] { t.DeleteRecord(nullptr); };
        apply = [id](TModel& m) { m.erase(id); };
      } else {
        ASSERT_TRUE(Position(t, id));
        TRow row = model[id];
        int newId = id;
        if (rng() % 3 == 0) row.name = "E" + std::to_string(rng() % 17);
        if (rng() % 3 == 0) row.dept = "F" + std::to_string(rng() % 6);
        if (rng() % 4 == 0) row.code = "X" + std::to_string(nextId);
        if (rng() % 5 == 0) newId = nextId;
        ++nextId;
        if (kind == 2 || rng() % 3 == 0) row.note = NoteFor(nextId, static_cast<int>(rng() % 4));
        SetRow(t, newId, row);
        post = [&t] { t.UpdateRecord(); };
        apply = [id, newId, row](TModel& m) {
          m.erase(id);
          m[newId] = row;
        };
      }
      ++changes;
      const int failAt = rng() % 3 == 0 ? 1 + static_cast<int>(rng() % 40) : 0;
      const bool raised = env.RunFailing(failAt, post);
      ASSERT_EQ(raised, env.fired) << where;
      if (!raised) {
        apply(model);
      } else {
        ++failed;
        ExpectTable(*env.view, model, where + ", failed");
        if (rng() % 2 == 0) {
          post();
          apply(model);
        } else {
          t.InitRecBuf();  // the change is given up
        }
      }
      ExpectTable(*env.view, model, where);
      if (::testing::Test::HasFailure()) return;
    }
    spills += env.db.DiskMgr()->File().Spills();
    if (rng() % 3 == 0) {
      env.db.Rollback();
    } else {
      env.db.Commit();
      committed = model;
    }
    ExpectTable(*env.view, committed, "round " + std::to_string(round) + " ended");
    if (round % 4 == 3) {
      env.Reconnect();
      env.db.DiskMgr()->SetSpillLimit(6);
      ExpectTable(*env.view, committed, "round " + std::to_string(round) + " reconnected");
      EXPECT_EQ(CheckFileSpace(env.db), std::vector<std::string>{});
    }
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_EQ(CheckFileSpace(env.db), std::vector<std::string>{});
  std::printf("[ figures ] %d rounds, %d changes, %d failed at a write, %d spills\n", rounds, changes, failed, spills);
  EXPECT_GT(spills, 0);
}

}  // namespace
