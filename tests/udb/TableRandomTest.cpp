// Randomised creates, writes and drops of tables on disk and in memory,
// checked against an in-memory model, with the database file reopened
// along the way and every page of dropped tables accounted for.
#include <gtest/gtest.h>

#include <random>

#include "TableTestSupport.h"
#include "platform/core/TextForm.h"

namespace {

struct TOpenTable {
  std::unique_ptr<TTableDef> def;
  std::unique_ptr<TSampleRows> rows;
  AnsiString text;  // the stored definition
  std::map<int, TRow> model;
  int nextId = 1;
};

class TRandomTables {
 public:
  TRandomTables(unsigned seed, bool memory) : rng_(seed), memory_(memory) {
    if (memory_) {
      memMgr_ = std::make_unique<TMemoryTableDefMgr>();
      memMgr_->Open();
    } else {
      disk_ = std::make_unique<TDiskTables>();
    }
  }

  TBaseTableDefMgr& Mgr() { return memory_ ? static_cast<TBaseTableDefMgr&>(*memMgr_) : *disk_->mgr; }

  void Step() {
    const int op = Pick(100);
    if (tables_.empty() || (op < 8 && tables_.size() < 12)) return Create();
    auto it = tables_.begin();
    std::advance(it, Pick(static_cast<int>(tables_.size())));
    TOpenTable& t = it->second;
    if (op < 12) return Drop(it->first);
    if (op < 14 && !memory_) return Reopen();
    if (op < 60 || t.model.empty()) return Insert(t);
    auto row = t.model.begin();
    std::advance(row, Pick(static_cast<int>(t.model.size())));
    if (op < 80) {
      TRow fresh{Name(), Note()};
      t.rows->Update(row->second.address, fresh.name, fresh.note);
      fresh.address = row->second.address;
      row->second = fresh;
    } else {
      t.rows->Delete(row->second.address);
      t.model.erase(row);
    }
  }

  void Verify() {
    for (auto& [name, t] : tables_) {
      SCOPED_TRACE(name);
      auto rows = t.rows->ReadAll();
      ASSERT_EQ(rows, t.model);
      rowsVerified += static_cast<int>(rows.size());
      for (auto& [id, row] : t.model) row.address = rows[id].address;
    }
  }

  void Reopen() {
    ++reopens;
    for (auto& [name, t] : tables_) Close(t);
    disk_->Reopen();
    for (auto& [name, t] : tables_) {
      t.def = std::make_unique<TTableDef>();
      ObjectTextToComponent(t.text, t.def.get());
      OpenConnection(name, t);
    }
    Verify();
  }

  void DropAll() {
    while (!tables_.empty()) Drop(tables_.begin()->first);
  }

  // No page of any table id is left in the allocation map.
  void ExpectNoTablePages() {
    if (memory_) return;
    for (int id = 1; id <= createdCount_; ++id)
      for (int usage : {kUsageIndex, kUsageRecord, kUsageBlob}) {
        std::vector<TUdbAddr> pages;
        disk_->db.disk->ListAllocatedFixedBlocks(4096, static_cast<std::uint16_t>(id), pages, usage);
        EXPECT_TRUE(pages.empty()) << "table " << id << " usage " << usage;
      }
  }

  std::mt19937 rng_;
  int inserts = 0, drops = 0, reopens = 0, rowsVerified = 0;

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::string Name() {
    static const char* pieces[] = {"工资", "张", "abc", "Z", "部门", "1"};
    std::string s;
    while (true) {
      std::string p = pieces[Pick(6)];
      if (s.size() + p.size() > 20 || Pick(5) == 0) break;
      s += p;
    }
    return s;
  }
  std::string Note() {
    const int kind = Pick(4);
    if (kind == 0) return "";
    const int size = kind == 1 ? 1 + Pick(40) : 1 + Pick(3000);
    std::string s(static_cast<size_t>(size), 'a');
    for (char& c : s) c = static_cast<char>('a' + Pick(26));
    return s;
  }

  void OpenConnection(const AnsiString& name, TOpenTable& t) {
    Mgr().OpenTableDefConnection(name, t.def.get());
    t.rows = std::make_unique<TSampleRows>(t.def.get());
  }
  void Close(TOpenTable& t) {
    t.rows.reset();
    Mgr().CloseTableDefConnection(t.def->TableID());
  }

  void Create() {
    AnsiString name = AnsiString("表") + IntToStr(++createdCount_);
    TOpenTable t;
    const TEncryptionLevel levels[] = {encNone, encWeak, encStrong};
    t.def = MakeSampleDef(name, memory_, levels[Pick(3)]);
    Mgr().CreateTableDef(name, t.def.get());
    ASSERT_TRUE(ids_.insert(t.def->TableID()).second || reused_.count(t.def->TableID()));
    reused_.erase(t.def->TableID());
    OpenConnection(name, t);
    t.text = ComponentToObjectText(t.def.get());
    tables_.emplace(name, std::move(t));
  }

  void Insert(TOpenTable& t) {
    TRow row{Name(), Note()};
    ++inserts;
    row.address = t.rows->Insert(t.nextId, row.name, row.note);
    t.model[t.nextId++] = row;
  }

  void Drop(const AnsiString& name) {
    ++drops;
    TOpenTable& t = tables_.at(name);
    t.rows.reset();
    const int id = t.def->TableID();
    Mgr().DeleteTableDef(name, t.def.get());
    if (!memory_) disk_->db.disk->FreeTablePages(static_cast<std::uint16_t>(id), 0, false);
    reused_.insert(id);
    tables_.erase(name);
  }

  bool memory_;
  std::unique_ptr<TMemoryTableDefMgr> memMgr_;
  std::unique_ptr<TDiskTables> disk_;
  std::map<AnsiString, TOpenTable> tables_;
  std::set<int> ids_, reused_;
  int createdCount_ = 0;
};

class TableRandom : public ::testing::TestWithParam<std::tuple<unsigned, bool>> {};

TEST_P(TableRandom, ManyCreatesWritesAndDropsMatchTheModel) {
  auto [seed, memory] = GetParam();
  TRandomTables run(seed, memory);
  for (int step = 0; step < 1500; ++step) {
    run.Step();
    if (::testing::Test::HasFatalFailure()) return;
    if (step % 250 == 249) run.Verify();
  }
  run.Verify();
  if (!memory) run.Reopen();
  // The run did what it is meant to do.
  EXPECT_GT(run.inserts, 300);
  EXPECT_GT(run.drops, 10);
  EXPECT_GT(run.rowsVerified, 200);
  if (!memory) {
    EXPECT_GT(run.reopens, 5);
  }
  run.DropAll();
  run.ExpectNoTablePages();
}

INSTANTIATE_TEST_SUITE_P(Seeds, TableRandom,
                         ::testing::Combine(::testing::Values(1u, 2u, 3u), ::testing::Bool()));

}  // namespace
