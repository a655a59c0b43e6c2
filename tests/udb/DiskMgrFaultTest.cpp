// The disk manager under injected faults: every write position of a
// commit fails once in turn, and work outside a transaction is cut short
// at every write; afterwards the file reopens, earlier data reads back and
// the allocation map still hands out and takes back pages.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "Udb/Crc32.h"
#include "Udb/UdbJournal.h"
#include "UdbTestSupport.h"

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
    // 8450: the journal could not be written; 9218: a database page.
    ASSERT_TRUE(e.code == 9218 || e.code == 8450) << e.message;
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
    EXPECT_EQ(e.code, 9218) << e.message;
    EXPECT_NE(e.message.find("Unable to complete file write operation"), std::string::npos) << e.message;
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

// A transaction with more pending pages than the spill limit writes them
// to the file before its commit, their old contents journalled first: it
// still commits whole, rolls back whole, and a death at any write leaves
// the file as before the transaction once it is opened again.
TEST(TDiskMgrJournal, AHugeTransactionSpillsAndStaysAllOrNothing) {
  enum TEnd { kCommit, kRollback, kDeath };
  for (TEnd end : {kCommit, kRollback, kDeath}) {
    TMemDatabase db;
    db.disk->SetSpillLimit(4);
    TUdbAddr keep = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
    const std::vector<std::uint8_t> before = db.Bytes();
    db.disk->StartTransaction();
    db.disk->WritePages(keep, 1, Pages(1, 0x05).data(), 5, 3);
    std::vector<TUdbAddr> added;
    for (int i = 0; i < 30; ++i)
      added.push_back(db.disk->AllocatePages(4, 5, Pages(1, static_cast<std::uint8_t>(0x40 + i)).data(), 1, 1));
    EXPECT_GT(db.disk->File().Spills(), 0);
    EXPECT_LE(db.disk->File().HeldPages().Count(), 5);
    EXPECT_TRUE(db.fs.Exists(JournalFileNameFor(db.name)));
    EXPECT_NE(db.Bytes(), before);  // spilled pages are in the file already
    // The transaction reads its own spilled pages back.
    EXPECT_EQ(ReadPage(*db.disk, keep, 3), Pages(1, 0x05));
    EXPECT_EQ(ReadPage(*db.disk, added[2], 4), Pages(1, 0x42));
    if (end == kCommit) {
      db.disk->Commit();
      db.Reopen();
      EXPECT_EQ(ReadPage(*db.disk, keep, 3), Pages(1, 0x05));
      for (int i = 0; i < 30; ++i) EXPECT_EQ(ReadPage(*db.disk, added[i], 4), Pages(1, static_cast<std::uint8_t>(0x40 + i)));
      std::vector<TUdbAddr> pages;
      db.disk->MapPages().ListEntries(4, 1, pages, true);
      EXPECT_EQ(pages.size(), 30u);
    } else if (end == kRollback) {
      db.disk->Rollback();
      EXPECT_EQ(db.Bytes(), before);
      EXPECT_EQ(ReadPage(*db.disk, keep, 3), Pages(1, 0x01));
    } else {
      db.disk->Close();
      db.Reopen();
      EXPECT_EQ(db.Bytes(), before);
    }
    EXPECT_FALSE(db.fs.Exists(JournalFileNameFor(db.name))) << end;
    ExpectUsableMap(*db.disk);
  }
}

TEST(TDiskMgrJournal, ASpillingTransactionCutShortAtAnyWriteIsUndone) {
  for (int failAt = 0;; ++failAt) {
    TMemDatabase db;
    db.disk->SetSpillLimit(3);
    TUdbAddr keep = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
    db.fs.Data(db.name)->durable = db.Bytes();
    const std::vector<std::uint8_t> before = db.Bytes();
    db.fs.FailWriteAfter(failAt);
    TCaughtError e = CatchUdb([&] {
      db.disk->StartTransaction();
      db.disk->WritePages(keep, 1, Pages(1, 0x05).data(), 5, 3);
      for (int i = 0; i < 12; ++i) db.disk->AllocatePages(4, 5, Pages(1, static_cast<std::uint8_t>(i)).data(), 1, 1);
      db.disk->Commit();
    });
    db.fs.FailWriteAfter(-1);
    if (e.code == -1) break;
    db.disk->Close();  // the program dies with the transaction open
    db.Reopen();
    EXPECT_EQ(db.Bytes(), before) << "write " << failAt;
    ASSERT_LT(failAt, 200);
  }
}

// Records up to the first damaged one are restored: they were synced
// before their pages were overwritten; a later one never was relied on
// (the writes it was saved for waited for a flush that did not end).
TEST(TDiskMgrJournal, TheRestoreStopsAtTheFirstDamagedRecord) {
  TMemFileSystem fs;
  std::vector<std::uint8_t>& file = fs.Bytes("r.udb");
  file.assign(4 * P, 0x01);
  AnsiString error;
  auto db = fs.Open("r.udb", TUdbOpenMode(), error);
  ASSERT_TRUE(db);
  TUdbJournalWriter writer;
  writer.Begin(fs, "r.jnl", *db, P, fpFull);
  const std::vector<std::uint8_t> written(P, 0x77);
  writer.Add({TUdbAddr(1 * P)});  // a spill: saved, sealed, synced, written
  writer.Seal(TUdbAddr(1 * P), written.data());
  writer.Sync();
  std::memset(file.data() + P, 0x77, P);
  writer.Add({TUdbAddr(2 * P)});  // the commit: its flush never ended
  writer.Seal(TUdbAddr(2 * P), written.data());
  writer.Sync();
  writer.Close();
  fs.Bytes("r.jnl")[udbjnl::kHeaderSize + 2 * (8 + P) + 8 + 100] ^= 0xFF;  // page 2's record lost
  std::vector<TUdbAddr> pages;
  EXPECT_TRUE(RestoreUdbJournal(fs, "r.jnl", *db, P, fpFull, &pages));
  EXPECT_EQ(pages, std::vector<TUdbAddr>{TUdbAddr(1 * P)});
  EXPECT_EQ(file, std::vector<std::uint8_t>(4 * P, 0x01));
  EXPECT_FALSE(fs.Exists("r.jnl"));
}

// A journal of many pages - runs longer than a batch of records, scattered
// pages, a page named twice, the file's last page and pages past the old
// end - puts every saved page back whole and cuts the new ones off.
TEST(TDiskMgrJournal, ALargeJournalRestoresEveryPageItSaved) {
  TMemFileSystem fs;
  std::vector<std::uint8_t>& file = fs.Bytes("r.udb");
  constexpr int kPages = 200;
  file.resize(kPages * P);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(i / P * 7 + i % 251);
  const std::vector<std::uint8_t> before = file;
  AnsiString error;
  auto db = fs.Open("r.udb", TUdbOpenMode(), error);
  ASSERT_TRUE(db);
  std::vector<TUdbAddr> pages;
  for (int p = 3; p < 150; ++p) pages.push_back(static_cast<TUdbAddr>(p * P));  // longer than a batch
  for (int p : {1, 160, 162, 199, 200, 150, 160, 202}) pages.push_back(static_cast<TUdbAddr>(p * P));
  TUdbJournalWriter writer;
  writer.Begin(fs, "r.jnl", *db, P, fpFull);
  writer.Add(std::vector<TUdbAddr>(pages.begin(), pages.begin() + 100));  // a spill, then the commit
  writer.Add(pages);
  const std::vector<std::uint8_t> written(P, 0x5A);
  for (TUdbAddr page : pages) writer.Seal(page, written.data());
  writer.Sync();
  writer.Close();
  for (TUdbAddr page : pages) {
    if (file.size() < page + P) file.resize(page + P);
    std::memcpy(file.data() + page, written.data(), P);
  }
  std::vector<TUdbAddr> restored;
  EXPECT_TRUE(RestoreUdbJournal(fs, "r.jnl", *db, P, fpFull, &restored));
  EXPECT_EQ(file.size(), before.size());
  EXPECT_TRUE(file == before);
  EXPECT_FALSE(fs.Exists("r.jnl"));
}

// A connection that only reads still never reads a half-written file.
TEST(TDiskMgrJournal, AReadOnlyConnectionRestoresAHotJournalFirst) {
  TMemDatabase db;
  TUdbAddr keep = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
  const std::vector<std::uint8_t> before = db.Bytes();
  db.disk->StartTransaction();
  db.disk->WritePages(keep, 1, Pages(1, 0x05).data(), 5, 3);
  db.disk->File().AfterCommitWrite = [](int) { throw std::runtime_error("the program dies here"); };
  EXPECT_THROW(db.disk->Commit(), std::runtime_error);
  db.disk->Close();
  EXPECT_NE(db.Bytes(), before);
  TDiskMgr reader;
  reader.SetFileSystem(&db.fs);
  reader.SetFileName(db.name);
  reader.SetMode(0 + 64);
  reader.Open();
  EXPECT_EQ(db.Bytes(), before);
  EXPECT_FALSE(db.fs.Exists(JournalFileNameFor(db.name)));
  reader.SetMasterKey("");
  EXPECT_EQ(ReadPage(reader, keep, 3), Pages(1, 0x01));
}

namespace {

// Dies in the middle of a commit that writes fill into page, leaving the
// commit's journal beside the file: a hot journal.  The page was written
// before the death.
void DieInCommit(TMemDatabase& db, TUdbAddr page, std::uint8_t fill) {
  db.disk->StartTransaction();
  db.disk->WritePages(page, 1, Pages(1, fill).data(), 5, 3);
  db.disk->AllocatePages(3, 5, Pages(1, fill).data(), 1, 1);
  db.disk->File().AfterCommitWrite = [](int n) {
    if (n == 2) throw std::runtime_error("the program dies here");
  };
  EXPECT_THROW(db.disk->Commit(), std::runtime_error);
  db.disk->Close();
  ASSERT_TRUE(db.fs.Exists(JournalFileNameFor(db.name)));
}

// Marks a file as the database of its name: the database header names it.
void Name(TMemDatabase& db, const char* text) { std::memcpy(db.Bytes().data() + 2, text, std::strlen(text)); }

}  // namespace

// Each row: a journal that is not the file's as it is is never applied,
// whatever it would restore; it is kept aside, and the file opens as it was.
TEST(TDiskMgrJournal, AJournalOfAnotherFileOrOfAnEarlierStateIsSetAsideUnapplied) {
  enum TCase { kForeign, kStaleSamePages, kStaleGrown, kStaleSameSize };
  for (TCase c : {kForeign, kStaleSamePages, kStaleGrown, kStaleSameSize}) {
    SCOPED_TRACE(c);
    TMemDatabase db("a.udb");
    Name(db, "A");
    const TUdbAddr page = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
    std::vector<std::uint8_t> journal;
    if (c == kForeign) {
      // Another database's hot journal of the same pages, copied beside.
      TMemDatabase other("b.udb");
      Name(other, "B");
      other.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
      DieInCommit(other, page, 0x0B);
      journal = other.fs.Bytes("b.jnl");
    } else {
      // The file's own journal of a crash, restored, kept by someone and
      // put back after later work.
      DieInCommit(db, page, 0x02);
      journal = db.fs.Bytes("a.jnl");
      db.Reopen();
      ASSERT_FALSE(db.fs.Exists("a.jnl"));
      ASSERT_EQ(ReadPage(*db.disk, page, 3), Pages(1, 0x01));
      db.disk->StartTransaction();
      if (c == kStaleSamePages) db.disk->WritePages(page, 1, Pages(1, 0x03).data(), 5, 3);
      if (c == kStaleGrown) db.disk->AllocatePages(4, 5, Pages(2, 0x04).data(), 2, 1);
      if (c == kStaleSameSize) {
        // Space freed and taken again: the size stays, a page of the
        // journal changes only in the map.
        const TUdbAddr spare = db.disk->AllocatePages(4, 5, Pages(1, 0x05).data(), 1, 1);
        db.disk->Commit();
        db.disk->StartTransaction();
        db.disk->FreePages(spare, 1);
      }
      db.disk->Commit();
    }
    db.disk->Close();
    const std::vector<std::uint8_t> before = db.Bytes();
    db.fs.Bytes("a.jnl") = journal;
    db.Reopen();
    EXPECT_EQ(db.Bytes(), before);
    EXPECT_FALSE(db.fs.Exists("a.jnl"));
    EXPECT_EQ(db.fs.Bytes("a.jnl.rejected"), journal);
    EXPECT_EQ(ReadPage(*db.disk, page, 3), Pages(1, c == kStaleSamePages ? 0x03 : 0x01));
  }
}

// The journal of this file's own crash is still restored, also when the
// crash came in the middle of writing a page (a power cut tears it).
TEST(TDiskMgrJournal, TheFilesOwnHotJournalIsRestoredEvenOverATornPage) {
  for (bool torn : {false, true}) {
    TMemDatabase db;
    const TUdbAddr page = db.disk->AllocatePages(3, 5, Pages(1, 0x01).data(), 1, 1);
    db.disk->Close();
    db.Reopen();
    const std::vector<std::uint8_t> before = db.Bytes();
    DieInCommit(db, page, 0x02);
    // Torn: the first sectors as written, the rest as they were.
    if (torn) std::memcpy(db.Bytes().data() + page + 1024, before.data() + page + 1024, P - 1024);
    db.Reopen();
    EXPECT_EQ(db.Bytes(), before) << torn;
    EXPECT_FALSE(db.fs.Exists(JournalFileNameFor(db.name)));
    EXPECT_FALSE(db.fs.Exists(JournalFileNameFor(db.name) + ".rejected"));
  }
}

// A journal of the first layout names no file: it is set aside.
TEST(TDiskMgrJournal, AJournalOfTheFirstLayoutIsSetAside) {
  TMemDatabase db;
  db.disk->Close();
  const std::vector<std::uint8_t> before = db.Bytes();
  std::vector<std::uint8_t> old(32 + 8 + P, 0x01);
  std::memcpy(old.data(), "UDBJNL01", 8);
  udbfmt::PutU32(old.data() + 8, P);
  udbfmt::PutU32(old.data() + 12, static_cast<std::uint32_t>(before.size()));
  udbfmt::PutU32(old.data() + 16, 1);
  udbfmt::PutU32(old.data() + 28, Crc32(old.data(), 28));
  db.fs.Bytes(JournalFileNameFor(db.name)) = old;
  db.Reopen();
  EXPECT_EQ(db.Bytes(), before);
  EXPECT_TRUE(db.fs.Exists(JournalFileNameFor(db.name) + ".rejected"));
}
