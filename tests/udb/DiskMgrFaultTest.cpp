// The disk manager under injected faults: every write position of a
// commit fails once in turn, and work outside a transaction is cut short
// at every write; afterwards the file reopens, earlier data reads back and
// the allocation map still hands out and takes back pages.
#include <gtest/gtest.h>

#include <stdexcept>

#include "UdbTestSupport.h"
#include "Udb/UdbJournal.h"

namespace {

constexpr int P = 4096;

std::vector<std::uint8_t> ReadPage(TDiskMgr& disk, TUdbAddr a, std::uint16_t table) {
  std::vector<std::uint8_t> back(P);
  disk.ReadPages(a, 1, back.data(), 5, table);
  return back;
}

// The map works: pages can be taken, freed and taken again.
void ExpectUsableMap(TDiskMgr& disk) {
  TUdbAddr a = disk.AllocatePages(40, 1, nullptr, 2, 1);
  disk.FreePages(a, 2);
  EXPECT_EQ(disk.AllocatePages(41, 1, nullptr, 2, 1), a);
  std::vector<TUdbAddr> pages;
  disk.MapPages().ListEntries(41, 1, pages, true);
  EXPECT_EQ(pages.size(), 2u);
}

}  // namespace

TEST(TDiskMgrFaults, EveryFailedCommitWriteIsReportedAndARetryCompletesTheTransaction) {
  for (int failAt = 0;; ++failAt) {
    TMemDatabase db;
    TUdbAddr keep = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
    TUdbAddr gone = db.disk->AllocatePages(3, 5, Pages(1, 0x02).data(), 1, 1);
    db.disk->StartTransaction();
    db.disk->FreePages(gone, 1);
    TUdbAddr reused = db.disk->AllocatePages(4, 5, Pages(1, 0x03).data(), 1, 1);
    TUdbAddr grown = db.disk->AllocatePages(4, 3, Pages(3, 0x04).data(), 3, 1);
    db.disk->WritePages(keep, 1, Pages(1, 0x05).data(), 5, 3);
    db.fs.FailWriteAfter(failAt);
    TCaughtError e = CatchUdb([&] { db.disk->Commit(); });
    db.fs.FailWriteAfter(-1);
    if (e.code == -1) break;  // every write position has been tried
    // 8450: the journal could not be written; 9217: a database page.
    ASSERT_TRUE(e.code == 9217 || e.code == 8450) << e.message;
    db.disk->Commit();
    db.fs.Crash();
    db.Reopen();
    EXPECT_EQ(ReadPage(*db.disk, keep, 3), Pages(1, 0x05)) << failAt;
    EXPECT_EQ(ReadPage(*db.disk, reused, 4), Pages(1, 0x03)) << failAt;
    std::vector<std::uint8_t> back(3 * P);
    db.disk->ReadPages(grown, 3, back.data(), 3, 4);
    EXPECT_EQ(back, Pages(3, 0x04)) << failAt;
    ExpectUsableMap(*db.disk);
    ASSERT_LT(failAt, 50);
  }
}

TEST(TDiskMgrFaults, WorkCutShortOutsideATransactionLeavesAnOpenableFileAndEarlierDataIntact) {
  for (int failAt = 0;; ++failAt) {
    TMemDatabase db;
    TUdbAddr keep = db.disk->AllocatePages(3, 5, Pages(1, 0x11).data(), 1, 1);
    db.disk->Close();
    db.Reopen();
    db.fs.FailWriteAfter(failAt);
    TCaughtError e = CatchUdb([&] {
      TUdbAddr a = db.disk->AllocatePages(6, 5, Pages(2, 0x22).data(), 2, 1);
      db.disk->FreePages(a, 1);
      db.disk->AllocatePages(7, 1, Pages(3, 0x33).data(), 3, 2);
      db.disk->WritePages(keep + 0, 1, Pages(1, 0x11).data(), 5, 3);
    });
    db.fs.FailWriteAfter(-1);
    db.disk->Close();
    db.Reopen();
    EXPECT_EQ(ReadPage(*db.disk, keep, 3), Pages(1, 0x11)) << failAt;
    ExpectUsableMap(*db.disk);
    if (e.code == -1) break;
    EXPECT_EQ(e.code, 9217) << e.message;
    ASSERT_LT(failAt, 50);
  }
}

TEST(TDiskMgrFaults, CrashBeforeCommitLeavesTheCommittedState) {
  TMemDatabase db;
  TUdbAddr a = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
  db.disk->Close();  // flushed
  db.Reopen();
  db.disk->StartTransaction();
  db.disk->WritePages(a, 1, Pages(1, 0x02).data(), 5, 3);
  db.disk->AllocatePages(3, 5, Pages(4, 0x03).data(), 4, 1);
  db.fs.Crash();
  db.Reopen();
  EXPECT_EQ(ReadPage(*db.disk, a, 3), Pages(1, 0x01));
  EXPECT_EQ(db.Bytes().size(), 7u * P);
  ExpectUsableMap(*db.disk);
}

TEST(TDiskMgrFaults, FlippedMapBytesRaiseOnUseAndWriteNothing) {
  // Each damage is found where it is used; the file stays as it was.
  struct Case {
    std::size_t offset;
    std::uint32_t value;
    int width;
  };
  const std::size_t map0 = 5 * P;
  const Case cases[] = {
      {map0 + udbfmt::kMapNextPage, 3 * P, 4},      // next map page points backwards
      {map0 + udbfmt::kMapFreeHead, 7, 2},          // head below the entries
      {map0 + udbfmt::kMapFreeHead, 5000, 2},       // head past the page
  };
  for (const Case& c : cases) {
    TMemDatabase db;
    TUdbAddr a = db.disk->AllocatePages(3, 1, nullptr, 2, 1);
    db.disk->FreePages(a, 1);
    db.disk->Close();
    if (c.width == 4)
      udbfmt::PutU32(db.Bytes().data() + c.offset, c.value);
    else
      udbfmt::PutU16(db.Bytes().data() + c.offset, static_cast<std::uint16_t>(c.value));
    db.Reopen();
    auto before = db.Bytes();
    TCaughtError e = CatchUdb([&] { db.disk->AllocatePages(3, 1, nullptr, 1, 1); });
    EXPECT_TRUE(e.code == 8581 || e.code == 8451) << c.offset << ": " << e.message;
    EXPECT_EQ(db.Bytes(), before) << c.offset;
  }
}

// A commit cut short at any write - by the program's death (the file is
// closed with the commit half done) or by a power cut (only flushed bytes
// remain) - is undone from the journal when the file is opened again: the
// file holds exactly what it held before the transaction.
TEST(TDiskMgrJournal, ACommitCutShortAtAnyWriteIsUndoneWhenTheFileReopens) {
  for (bool powerCut : {false, true}) {
    for (int failAt = 0;; ++failAt) {
      TMemDatabase db;
      TUdbAddr keep = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
      TUdbAddr gone = db.disk->AllocatePages(3, 5, Pages(1, 0x02).data(), 1, 1);
      db.fs.Data(db.name)->durable = db.Bytes();
      const std::vector<std::uint8_t> before = db.Bytes();
      db.disk->StartTransaction();
      db.disk->FreePages(gone, 1);
      db.disk->AllocatePages(4, 5, Pages(1, 0x03).data(), 1, 1);
      db.disk->AllocatePages(4, 3, Pages(3, 0x04).data(), 3, 1);
      db.disk->WritePages(keep, 1, Pages(1, 0x05).data(), 5, 3);
      db.fs.FailWriteAfter(failAt);
      TCaughtError e = CatchUdb([&] { db.disk->Commit(); });
      db.fs.FailWriteAfter(-1);
      if (e.code == -1) {
        ASSERT_FALSE(db.fs.Exists(JournalFileNameFor(db.name)));
        break;
      }
      db.disk->Close();  // the program dies here
      if (powerCut) db.fs.Crash();
      db.Reopen();
      EXPECT_FALSE(db.fs.Exists(JournalFileNameFor(db.name))) << failAt;
      EXPECT_EQ(db.Bytes(), before) << "write " << failAt << (powerCut ? " power cut" : " killed");
      EXPECT_EQ(ReadPage(*db.disk, keep, 3), Pages(1, 0x01));
      ExpectUsableMap(*db.disk);
      ASSERT_LT(failAt, 60);
    }
  }
}

// A power cut after the flush of any file during commit leaves the old or
// the new state, never a mixture.
TEST(TDiskMgrJournal, APowerCutAtAnyFlushLeavesTheOldOrTheNewState) {
  std::vector<std::uint8_t> after;
  for (int flushAt = 0;; ++flushAt) {
    TMemDatabase db;
    TUdbAddr keep = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
    db.fs.Data(db.name)->durable = db.Bytes();
    const std::vector<std::uint8_t> before = db.Bytes();
    db.disk->StartTransaction();
    db.disk->WritePages(keep, 1, Pages(1, 0x05).data(), 5, 3);
    db.disk->AllocatePages(4, 5, Pages(2, 0x03).data(), 2, 1);
    db.fs.FailFlushAfter(flushAt);
    TCaughtError e = CatchUdb([&] { db.disk->Commit(); });
    db.fs.FailFlushAfter(-1);
    if (e.code == -1) {
      after = db.Bytes();
      db.fs.Crash();
      db.Reopen();
      EXPECT_EQ(db.Bytes(), after);  // a returned commit survives the power cut
      break;
    }
    db.disk->Close();
    db.fs.Crash();
    db.Reopen();
    EXPECT_EQ(db.Bytes(), before) << flushAt;
    ASSERT_LT(flushAt, 10);
  }
}

// Rolling back after a commit failed half-way restores the journal at once.
TEST(TDiskMgrJournal, RollbackAfterAHalfDoneCommitPutsTheOldPagesBack) {
  TMemDatabase db;
  TUdbAddr keep = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
  const std::vector<std::uint8_t> before = db.Bytes();
  db.disk->StartTransaction();
  db.disk->WritePages(keep, 1, Pages(1, 0x05).data(), 5, 3);
  db.disk->AllocatePages(4, 5, Pages(2, 0x03).data(), 2, 1);
  int writes = 0;
  db.disk->File().AfterCommitWrite = [&](int n) {
    writes = n;
    if (n == 2) throw std::runtime_error("stopped");
  };
  EXPECT_THROW(db.disk->Commit(), std::runtime_error);
  db.disk->File().AfterCommitWrite = nullptr;
  EXPECT_EQ(writes, 2);
  EXPECT_NE(db.Bytes(), before);
  db.disk->Rollback();
  EXPECT_EQ(db.Bytes(), before);
  EXPECT_FALSE(db.fs.Exists(JournalFileNameFor(db.name)));
  EXPECT_EQ(ReadPage(*db.disk, keep, 3), Pages(1, 0x01));
}

// A journal whose header or records are not whole never saw a database
// write: it is removed and the file left as it is.
TEST(TDiskMgrJournal, AJournalThatIsNotWholeIsRemovedOnly) {
  for (int cut : {0, 10, 31, 32 + 8 + 100}) {
    TMemDatabase db;
    TUdbAddr keep = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
    db.disk->StartTransaction();
    db.disk->WritePages(keep, 1, Pages(1, 0x05).data(), 5, 3);
    db.disk->File().AfterCommitWrite = [](int) { throw std::runtime_error("stopped"); };
    EXPECT_THROW(db.disk->Commit(), std::runtime_error);
    db.disk->Close();
    std::vector<std::uint8_t>& journal = db.fs.Bytes(JournalFileNameFor(db.name));
    ASSERT_GT(journal.size(), static_cast<size_t>(cut));
    journal.resize(static_cast<size_t>(cut));
    const std::vector<std::uint8_t> now = db.Bytes();
    db.Reopen();
    EXPECT_FALSE(db.fs.Exists(JournalFileNameFor(db.name)));
    EXPECT_EQ(db.Bytes(), now) << cut;
  }
}

TEST(TDiskMgrJournal, TheJournalLivesBesideTheDatabase) {
  EXPECT_EQ(JournalFileNameFor("/data/GZ.udb"), "/data/GZ.jnl");
  EXPECT_EQ(JournalFileNameFor("/d.x/data.db"), "/d.x/data_db.jnl");
}
