// The page cache on its own, with callbacks over a plain byte vector:
// hits and identity, least-recently-used eviction, transactions, growth
// only when every page is dirty, trim.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "UdbTestSupport.h"
#include "Udb/CacheMgr.h"

namespace {

constexpr int P = 256;

class CacheFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    file.assign(64 * P, 0);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(i / P);
    cache.OnReadPage = [this](TCachePage& p) {
      ++reads;
      std::memcpy(p.data.data(), file.data() + p.address, P);
    };
    cache.OnWritePage = [this](TCachePage& p) {
      ++writes;
      std::memcpy(file.data() + p.address, p.data.data(), P);
    };
    cache.OnSpillPage = [this](TCachePage& p) { spilled[p.address] = p.data; };
    cache.Open(4, P);
  }
  std::uint8_t ReadByte(int page, std::uint16_t table = 1, std::uint8_t mode = 1) {
    std::uint8_t b;
    cache.Read(static_cast<TUdbAddr>(page * P + 3), &b, 1, table, mode);
    return b;
  }
  void WriteByte(int page, std::uint8_t value, std::uint16_t table = 1) {
    cache.Write(static_cast<TUdbAddr>(page * P + 3), &value, 1, table, 1);
  }

  std::vector<std::uint8_t> file;
  TCacheMgr cache;
  int reads = 0, writes = 0;
  std::map<TUdbAddr, std::vector<std::uint8_t>> spilled;
};

}  // namespace

TEST(TCacheMgrOpen, NeedsBothCallbacks) {
  TCacheMgr cache;
  EXPECT_UDB_ERROR(cache.Open(4, P), 10065);
  cache.OnReadPage = [](TCachePage&) {};
  TCaughtError e = CatchUdb([&] { cache.Open(4, P); });
  EXPECT_EQ(e.code, 10065);
  EXPECT_NE(e.message.find("WriteIO"), std::string::npos);
}

TEST_F(CacheFixture, HitNeedsTheSameTableAndMode) {
  EXPECT_EQ(ReadByte(2), 2);
  EXPECT_EQ(ReadByte(2), 2);
  EXPECT_EQ(cache.Hits(), 1);
  EXPECT_EQ(reads, 1);
  ReadByte(2, 7);
  ReadByte(2, 7, 3);
  EXPECT_EQ(reads, 3);
  EXPECT_EQ(cache.Misses(), 3);
}

TEST_F(CacheFixture, LeastRecentlyUsedCleanPageIsEvicted) {
  for (int page : {0, 1, 2, 3}) ReadByte(page);
  ReadByte(0);  // page 1 is now the oldest
  ReadByte(4);
  EXPECT_EQ(cache.FindPage(1 * P), nullptr);
  EXPECT_NE(cache.FindPage(0), nullptr);
  EXPECT_EQ(cache.PageCount(), 4);
}

TEST_F(CacheFixture, ReadsAndWritesSpanPages) {
  std::vector<std::uint8_t> data(P + 20, 0xCC);
  cache.Write(P - 10, data.data(), static_cast<int>(data.size()), 1, 1);
  EXPECT_EQ(file[P - 11], 0);
  EXPECT_EQ(file[P - 10], 0xCC);
  EXPECT_EQ(file[2 * P + 9], 0xCC);
  EXPECT_EQ(file[2 * P + 10], 2);
  std::vector<std::uint8_t> back(P + 40);
  cache.Read(P - 20, back.data(), static_cast<int>(back.size()), 1, 1);
  EXPECT_EQ(back[9], 0);
  EXPECT_EQ(back[10], 0xCC);
  EXPECT_EQ(back[P + 30], 2);
}

TEST_F(CacheFixture, PartialWriteReadsThePageFirstAndWholePageWriteDoesNot) {
  WriteByte(5, 0xAA);
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(file[5 * P], 5);  // the rest of the page kept
  std::vector<std::uint8_t> whole(P, 0xBB);
  cache.Write(6 * P, whole.data(), P, 1, 1);
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(writes, 2);
  EXPECT_EQ(file[6 * P + 100], 0xBB);
}

TEST_F(CacheFixture, TransactionHoldsDirtyPagesAndEvictsCleanOnes) {
  cache.StartTransaction();
  WriteByte(0, 0xD0);
  WriteByte(1, 0xD1);
  for (int page = 10; page < 30; ++page) ReadByte(page);  // clean pages come and go
  EXPECT_EQ(cache.PageCount(), 4);
  EXPECT_EQ(cache.DirtyCount(), 2);
  EXPECT_EQ(file[3], 0);
  cache.Commit();
  EXPECT_EQ(file[3], 0xD0);
  EXPECT_EQ(file[P + 3], 0xD1);
  EXPECT_UDB_ERROR(cache.Commit(), 10257);
}

TEST_F(CacheFixture, CacheGrowsOnlyWhenEveryPageIsDirtyAndIsTrimmedAfterCommit) {
  cache.StartTransaction();
  for (int page = 0; page < 8; ++page) WriteByte(page, 0xEE);
  EXPECT_EQ(cache.PageCount(), 8);
  EXPECT_EQ(cache.DirtyCount(), 8);
  cache.Commit();
  EXPECT_EQ(cache.PageCount(), 4);
  for (int page = 0; page < 8; ++page) EXPECT_EQ(file[page * P + 3], 0xEE);
}

TEST_F(CacheFixture, TrimLeavesACacheLessThanThreePagesOver) {
  cache.StartTransaction();
  for (int page = 0; page < 6; ++page) WriteByte(page, 1);
  cache.Commit();
  EXPECT_EQ(cache.PageCount(), 6);
}

TEST_F(CacheFixture, RollbackEmptiesDirtyPages) {
  ReadByte(0);
  cache.StartTransaction();
  WriteByte(0, 0x99);
  EXPECT_EQ(ReadByte(0), 0x99);
  cache.Rollback();
  EXPECT_EQ(cache.DirtyCount(), 0);
  EXPECT_EQ(ReadByte(0), 0);
  EXPECT_EQ(file[3], 0);
  EXPECT_UDB_ERROR(cache.Rollback(), 10257);
}

TEST_F(CacheFixture, DirtyPageLeavingTheCacheIsSpilledNotLost) {
  cache.StartTransaction();
  WriteByte(3, 0x33, 4);
  ReadByte(3, 5);  // another table reads the address: reload in place
  ASSERT_EQ(spilled.count(3 * P), 1u);
  EXPECT_EQ(spilled[3 * P][3], 0x33);
  WriteByte(4, 0x44, 4);
  cache.InvalidateTable(4);
  EXPECT_EQ(spilled[4 * P][3], 0x44);
  EXPECT_EQ(cache.FindPage(4 * P), nullptr);
}

TEST_F(CacheFixture, FailedLoadLeavesNoPageBehind) {
  cache.OnReadPage = [](TCachePage&) { UdbDatabaseError(9217, "test", "read failed"); };
  EXPECT_UDB_ERROR(ReadByte(9), 9217);
  EXPECT_EQ(cache.FindPage(9 * P), nullptr);
}

TEST_F(CacheFixture, PageCommittedAfterLaterReadsIsStillTheOldest) {
  // Page 0 was last used before pages 1 and 2; becoming clean at commit
  // does not make it recent.
  cache.StartTransaction();
  WriteByte(0, 0x10);
  ReadByte(1);
  ReadByte(2);
  cache.Commit();
  ReadByte(3);
  ReadByte(4);
  EXPECT_EQ(cache.FindPage(0), nullptr);
  ReadByte(5);
  EXPECT_EQ(cache.FindPage(1 * P), nullptr);
  EXPECT_NE(cache.FindPage(2 * P), nullptr);
}

namespace {

// The cache's replacement rules in their plainest form: pages in slots, a
// stack of empty slots, the victim found by scanning every slot for the
// clean page with the oldest stamp.
class TReferenceCache {
 public:
  struct TSlot {
    TUdbAddr address = 0;
    std::uint16_t tableId = 0;
    std::uint32_t stamp = 0;
    TCachePageState state = cpsEmpty;
  };

  explicit TReferenceCache(int capacity) : capacity_(capacity), slots_(capacity) {
    for (int i = capacity - 1; i >= 0; --i) empty_.push_back(i);
  }
  const TSlot* Find(TUdbAddr address) const {
    for (const TSlot& s : slots_)
      if (s.state != cpsEmpty && s.address == address) return &s;
    return nullptr;
  }
  int Count() const { return static_cast<int>(slots_.size()); }
  bool InTransaction() const { return inTransaction_; }

  void Read(TUdbAddr address, std::uint16_t tableId) {
    slots_[Acquire(address, tableId)].stamp = counter_++;
  }
  // false: the write-through failed and the page was dropped.
  bool Write(TUdbAddr address, std::uint16_t tableId, bool fail) {
    const int i = Acquire(address, tableId);
    slots_[i].stamp = counter_++;
    if (inTransaction_) {
      slots_[i].state = cpsDirty;
    } else if (fail) {
      Drop(i);
      return false;
    }
    return true;
  }
  void Start() { inTransaction_ = true; }
  // Writes dirty pages by address until the one at failAt, if any.
  bool Commit(TUdbAddr failAt) {
    std::vector<int> dirty;
    for (int i = 0; i < Count(); ++i)
      if (slots_[i].state == cpsDirty) dirty.push_back(i);
    std::sort(dirty.begin(), dirty.end(),
              [&](int a, int b) { return slots_[a].address < slots_[b].address; });
    for (int i : dirty) {
      if (slots_[i].address == failAt) return false;
      slots_[i].state = cpsClean;
    }
    inTransaction_ = false;
    Trim();
    return true;
  }
  void Rollback() {
    for (int i = 0; i < Count(); ++i)
      if (slots_[i].state == cpsDirty) Drop(i);
    inTransaction_ = false;
    Trim();
  }
  void InvalidatePage(TUdbAddr address) {
    for (int i = 0; i < Count(); ++i)
      if (slots_[i].state != cpsEmpty && slots_[i].address == address) Drop(i);
  }
  void InvalidateTable(std::uint16_t tableId) {
    for (int i = 0; i < Count(); ++i)
      if (slots_[i].state != cpsEmpty && slots_[i].tableId == tableId) Drop(i);
  }

 private:
  int Acquire(TUdbAddr address, std::uint16_t tableId) {
    for (int i = 0; i < Count(); ++i) {
      TSlot& s = slots_[i];
      if (s.state == cpsEmpty || s.address != address) continue;
      if (s.tableId != tableId) {
        s.tableId = tableId;
        s.state = cpsClean;  // a dirty page is spilled first
      }
      return i;
    }
    int i;
    if (!empty_.empty()) {
      i = empty_.back();
      empty_.pop_back();
    } else {
      i = -1;
      for (int j = 0; j < Count(); ++j)
        if (slots_[j].state == cpsClean &&
            (i < 0 || counter_ - slots_[j].stamp > counter_ - slots_[i].stamp))
          i = j;
      if (i >= 0) {
        Drop(i);
        empty_.pop_back();
      } else {
        slots_.emplace_back();
        i = Count() - 1;
      }
    }
    slots_[i].address = address;
    slots_[i].tableId = tableId;
    slots_[i].state = cpsClean;
    return i;
  }
  void Drop(int i) {
    if (slots_[i].state == cpsEmpty) return;
    slots_[i] = TSlot{};
    empty_.push_back(i);
  }
  void Trim() {
    if (Count() - capacity_ < 3) return;
    while (Count() > capacity_) {
      Drop(Count() - 1);
      slots_.pop_back();
    }
    std::erase_if(empty_, [&](int i) { return i >= capacity_; });
  }

  int capacity_;
  std::vector<TSlot> slots_;
  std::vector<int> empty_;
  std::uint32_t counter_ = 0;
  bool inTransaction_ = false;
};

}  // namespace

// A long mixed run of reads, writes, transactions (with writes that fail
// part way through a commit or a write-through), rollbacks and
// invalidations: after every step the cache holds exactly the pages, in the
// states and for the tables, that the reference keeps.
TEST_F(CacheFixture, KeepsAndEvictsTheSamePagesAsAFullScanWould) {
  constexpr int kPages = 12;
  TUdbAddr failAt = ~TUdbAddr{0};
  cache.OnWritePage = [&](TCachePage& p) {
    if (p.address == failAt) UdbDatabaseError(9218, "test", "write failed");
    std::memcpy(file.data() + p.address, p.data.data(), P);
  };
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    cache.Open(4, P);
    TReferenceCache model(4);
    std::uint32_t rng = seed * 2654435761u;
    auto next = [&](std::uint32_t n) {
      rng = rng * 1664525u + 1013904223u;
      return (rng >> 8) % n;
    };
    for (int step = 0; step < 4000; ++step) {
      const auto address = static_cast<TUdbAddr>(next(kPages) * P);
      const auto table = static_cast<std::uint16_t>(1 + next(2));
      const std::uint32_t op = next(100);
      std::uint8_t byte = 0x5A;
      failAt = ~TUdbAddr{0};
      if (op < 45) {
        cache.Read(address, &byte, 1, table, 1);
        model.Read(address, table);
      } else if (op < 78) {
        const bool fail = op < 48 && !model.InTransaction();
        if (fail) failAt = address;
        const bool ok = model.Write(address, table, fail);
        TCaughtError e = CatchUdb([&] { cache.Write(address, &byte, 1, table, 1); });
        ASSERT_EQ(e.code, ok ? -1 : 9218) << "seed " << seed << " step " << step;
      } else if (op < 85) {
        if (!model.InTransaction()) {
          cache.StartTransaction();
          model.Start();
        }
      } else if (op < 93) {
        if (model.InTransaction()) {
          if (op < 87) failAt = address;
          const bool ok = model.Commit(failAt);
          TCaughtError e = CatchUdb([&] { cache.Commit(); });
          ASSERT_EQ(e.code, ok ? -1 : 9218) << "seed " << seed << " step " << step;
        }
      } else if (op < 95) {
        if (model.InTransaction()) {
          cache.Rollback();
          model.Rollback();
        }
      } else if (op < 98) {
        cache.InvalidatePage(address);
        model.InvalidatePage(address);
      } else {
        cache.InvalidateTable(table);
        model.InvalidateTable(table);
      }
      ASSERT_EQ(cache.PageCount(), model.Count()) << "seed " << seed << " step " << step;
      for (int page = 0; page < kPages; ++page) {
        const TCachePage* got = cache.FindPage(static_cast<TUdbAddr>(page * P));
        const TReferenceCache::TSlot* want = model.Find(static_cast<TUdbAddr>(page * P));
        ASSERT_EQ(got != nullptr, want != nullptr)
            << "seed " << seed << " step " << step << " page " << page;
        if (!got) continue;
        ASSERT_EQ(got->state, want->state) << "seed " << seed << " step " << step;
        ASSERT_EQ(got->tableId, want->tableId) << "seed " << seed << " step " << step;
      }
    }
    if (cache.InTransaction()) cache.Rollback();
  }
}

// --- pages kept beside the capacity ------------------------------------------

namespace {
constexpr std::uint8_t kBlowfishMode = 5;

// Pages 0..4 read enciphered into a cache of four: page 0 leaves the cache
// and is kept.
class KeptFixture : public CacheFixture {
 protected:
  void SetUp() override {
    CacheFixture::SetUp();
    cache.SetKeptLimit(8);
    for (int page = 0; page <= 4; ++page) ReadByte(page, 1, kBlowfishMode);
  }
};
}  // namespace

TEST_F(KeptFixture, EvictedEncipheredPageComesBackWithoutARead) {
  ASSERT_EQ(cache.FindPage(0), nullptr);
  EXPECT_EQ(cache.KeptCount(), 1);
  EXPECT_EQ(ReadByte(0, 1, kBlowfishMode), 0);
  EXPECT_EQ(reads, 5);
  EXPECT_EQ(cache.KeptCount(), 1);  // page 0 is back; page 1 left in its place
  EXPECT_EQ(cache.PageCount(), 4);
  EXPECT_EQ(cache.Capacity(), 4);
}

TEST_F(KeptFixture, PlainPagesAreKeptToo) {
  for (int page = 10; page <= 14; ++page) ReadByte(page);
  EXPECT_EQ(ReadByte(10), 10);
  EXPECT_EQ(reads, 10);
  EXPECT_EQ(cache.KeptCount(), 6);  // pages 0..4, and 11, which made room for 10
}

// Every way the file can change under a kept page forgets it: the next
// read sees the file's new bytes.
TEST_F(KeptFixture, InvalidationForgetsKeptPages) {
  struct TCase {
    const char* name;
    std::function<void(TCacheMgr&)> invalidate;
  };
  const TCase cases[] = {
      {"page", [](TCacheMgr& c) { c.InvalidatePage(0); }},
      {"table", [](TCacheMgr& c) { c.InvalidateTable(1); }},
      {"all", [](TCacheMgr& c) { c.InvalidateAll(); }},
      {"whole-page write of another table",
       [](TCacheMgr& c) {
         std::vector<std::uint8_t> page(P, 0);
         c.Write(0, page.data(), P, 2, 1);
       }},
  };
  for (const TCase& c : cases) {
    SetUp();
    ASSERT_EQ(cache.KeptCount(), 1) << c.name;
    c.invalidate(cache);
    file[3] = 0x77;  // another writer
    EXPECT_EQ(ReadByte(0, 1, kBlowfishMode), 0x77) << c.name;
  }
}

TEST_F(KeptFixture, KeptPageOfAnotherIdentityIsReadAgain) {
  EXPECT_EQ(ReadByte(0, 2, kBlowfishMode), 0);
  EXPECT_EQ(reads, 6);
  EXPECT_EQ(cache.KeptCount(), 1);  // page 1 left; page 0's old copy is gone
}

TEST_F(KeptFixture, PageLoadedFromAPendingImageIsNotKept) {
  cache.OnReadPage = [this](TCachePage& p) {
    ++reads;
    std::memcpy(p.data.data(), file.data() + p.address, P);
    p.fileImage = false;
  };
  ReadByte(9, 1, kBlowfishMode);
  for (int page = 10; page <= 13; ++page) ReadByte(page, 1, kBlowfishMode);
  ASSERT_EQ(cache.FindPage(9 * P), nullptr);
  const int before = reads;
  ReadByte(9, 1, kBlowfishMode);
  EXPECT_EQ(reads, before + 1);
}

TEST_F(KeptFixture, WrittenPageIsKeptWithWhatWasWritten) {
  std::uint8_t v = 0x5A;
  cache.Write(4 * P + 3, &v, 1, 1, kBlowfishMode);  // write-through
  for (int page = 20; page <= 23; ++page) ReadByte(page, 1, kBlowfishMode);
  ASSERT_EQ(cache.FindPage(4 * P), nullptr);
  const int before = reads;
  EXPECT_EQ(ReadByte(4, 1, kBlowfishMode), 0x5A);
  EXPECT_EQ(reads, before);
}

TEST_F(KeptFixture, StoreKeepsOnlyTheNewestUpToItsLimit) {
  cache.SetKeptLimit(2);
  for (int page = 5; page <= 7; ++page) ReadByte(page, 1, kBlowfishMode);  // 1, 2, 3 leave
  EXPECT_EQ(cache.KeptCount(), 2);
  const int before = reads;
  ReadByte(3, 1, kBlowfishMode);
  EXPECT_EQ(reads, before);
  ReadByte(1, 1, kBlowfishMode);
  EXPECT_EQ(reads, before + 1);
}

// Random reads, write-throughs, transactions and changes by "another
// connection" (the file changed, then the page, its table or everything
// invalidated, as a lock boundary does) over a cache of four pages and a
// store of six: every byte read is the file's, or the transaction's own
// write.  Pages move between cache, store and file all the time.
TEST_F(KeptFixture, ReadsAlwaysSeeTheFileOrTheTransactionsOwnWrites) {
  constexpr int kPages = 16;
  std::vector<std::uint8_t> pending;  // the transaction's view of the file
  for (unsigned seed : {11u, 12u, 13u}) {
    SetUp();
    // A page spilled by the transaction is read back as the owner's held image.
    cache.OnReadPage = [&](TCachePage& p) {
      ++reads;
      auto held = spilled.find(p.address);
      if (held != spilled.end()) {
        std::memcpy(p.data.data(), held->second.data(), P);
        p.fileImage = false;
      } else {
        std::memcpy(p.data.data(), file.data() + p.address, P);
      }
    };
    cache.SetKeptLimit(6);
    spilled.clear();
    std::uint32_t rng = seed * 2654435761u;
    auto next = [&](std::uint32_t n) {
      rng = rng * 1664525u + 1013904223u;
      return (rng >> 8) % n;
    };
    auto tableOf = [](int page) { return static_cast<std::uint16_t>(1 + page % 3); };
    auto modeOf = [](int page) { return static_cast<std::uint8_t>(page % 2 ? kBlowfishMode : 1); };
    int storeHits = 0;
    for (int step = 0; step < 6000; ++step) {
      const int page = static_cast<int>(next(kPages));
      const int offset = static_cast<int>(next(P - 8));
      const std::uint32_t op = next(100);
      const std::vector<std::uint8_t>& view = cache.InTransaction() ? pending : file;
      if (op < 55) {
        std::uint8_t got[8];
        const int before = reads;
        const std::int64_t missesBefore = cache.Misses();
        cache.Read(static_cast<TUdbAddr>(page * P + offset), got, 8, tableOf(page), modeOf(page));
        if (cache.Misses() > missesBefore && reads == before) ++storeHits;
        ASSERT_EQ(0, std::memcmp(got, view.data() + page * P + offset, 8))
            << "seed " << seed << " step " << step << " page " << page;
      } else if (op < 75) {
        const std::uint8_t value = static_cast<std::uint8_t>(next(256));
        cache.Write(static_cast<TUdbAddr>(page * P + offset), &value, 1, tableOf(page), modeOf(page));
        if (cache.InTransaction()) {
          pending[static_cast<size_t>(page * P + offset)] = value;
        } else {
          ASSERT_EQ(file[static_cast<size_t>(page * P + offset)], value);  // written through
        }
      } else if (op < 82) {
        if (!cache.InTransaction()) {
          cache.StartTransaction();
          pending = file;
        }
      } else if (op < 88) {
        if (cache.InTransaction()) {
          cache.Commit();
          for (auto& [address, bytes] : spilled) std::memcpy(file.data() + address, bytes.data(), P);
          spilled.clear();
          ASSERT_EQ(file, pending) << "seed " << seed << " step " << step;
        }
      } else if (op < 91) {
        if (cache.InTransaction()) {
          cache.Rollback();
          // As the file's owner does: clean copies of held images go.
          for (auto& [address, bytes] : spilled) cache.InvalidatePage(address);
          spilled.clear();
          for (int t = 1; t <= 3; ++t) cache.InvalidateTable(static_cast<std::uint16_t>(t));
        }
      } else if (!cache.InTransaction()) {
        // Another connection rewrites a page; the next lock tells us how
        // much to forget.
        std::fill(file.begin() + page * P, file.begin() + (page + 1) * P, static_cast<std::uint8_t>(next(256)));
        if (op < 95)
          cache.InvalidatePage(static_cast<TUdbAddr>(page * P));
        else if (op < 98)
          cache.InvalidateTable(tableOf(page));
        else
          cache.InvalidateAll();
      }
      ASSERT_LE(cache.KeptCount(), 6);
    }
    EXPECT_GT(storeHits, 100) << "seed " << seed;  // the store was used, not bypassed
    if (cache.InTransaction()) cache.Rollback();
  }
}

// The many-range read gives the bytes, loads and counters of one Read per
// range; with a cache too small for a run's pages the bytes still agree.
TEST_F(CacheFixture, ReadManyGivesWhatOneReadPerRangeGives) {
  struct TCase {
    const char* name;
    int capacity;
    int kept;
    int length;
    bool sameCounters;
  };
  const TCase cases[] = {
      {"records inside pages", 40, 0, 40, true},
      {"records across page ends", 40, 0, 300, true},
      {"with the store", 40, 8, 100, true},
      {"cache smaller than a run", 4, 0, 100, false},
      {"cache smaller than a run, with the store", 4, 6, 300, false},
  };
  for (const TCase& c : cases) {
    TCacheMgr one, many;
    int readsOne = 0, readsMany = 0;
    auto loader = [this](int& count) {
      return [this, &count](TCachePage& p) {
        ++count;
        std::memcpy(p.data.data(), file.data() + p.address, P);
      };
    };
    one.OnReadPage = loader(readsOne);
    many.OnReadPage = loader(readsMany);
    one.OnWritePage = many.OnWritePage = [](TCachePage&) {};
    one.Open(c.capacity, P);
    many.Open(c.capacity, P);
    one.SetKeptLimit(c.kept);
    many.SetKeptLimit(c.kept);
    std::uint32_t rng = 7;
    for (int round = 0; round < 20; ++round) {
      const int count = 1 + static_cast<int>(rng % 40);
      std::vector<TUdbAddr> addresses;
      for (int i = 0; i < count; ++i) {
        rng = rng * 1664525u + 1013904223u;
        addresses.push_back((rng >> 8) % static_cast<TUdbAddr>(file.size() - c.length));
      }
      std::vector<std::vector<std::uint8_t>> gotOne(count, std::vector<std::uint8_t>(c.length));
      std::vector<std::vector<std::uint8_t>> gotMany = gotOne;
      std::vector<std::uint8_t*> buffers;
      for (int i = 0; i < count; ++i) {
        one.Read(addresses[i], gotOne[i].data(), c.length, 1, 1);
        buffers.push_back(gotMany[i].data());
      }
      many.ReadMany(addresses.data(), count, c.length, buffers.data(), 1, 1);
      for (int i = 0; i < count; ++i)
        ASSERT_EQ(gotMany[i], std::vector<std::uint8_t>(file.begin() + addresses[i],
                                                        file.begin() + addresses[i] + c.length))
            << c.name << " round " << round << " range " << i;
      if (!c.sameCounters) continue;
      ASSERT_EQ(readsMany, readsOne) << c.name << " round " << round;
      ASSERT_EQ(many.Hits(), one.Hits()) << c.name << " round " << round;
      ASSERT_EQ(many.Misses(), one.Misses()) << c.name << " round " << round;
      for (int page = 0; page < 64; ++page)
        ASSERT_EQ(many.FindPage(page * P) != nullptr, one.FindPage(page * P) != nullptr)
            << c.name << " round " << round << " page " << page;
    }
  }
}
