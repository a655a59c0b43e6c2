// Reads under other connections' commits: writer processes move keys
// (edits of the indexed code, rows replaced by new ones in the space the
// old ones left, transfers between rows, some transactions rolled back,
// one writer spilling its pages before the commit) while reader processes
// walk the table both ways on the moving index and on the primary one.
//
// Each read must come from one committed state: the engine checks that
// every record it reads carries the key of the index entry it was found
// by (8451 otherwise), a walk by searches must see its keys strictly in
// order, and a walk inside a transaction must see exactly the rows and
// the total every commit keeps.  After every round the file is checked.
//
// PAYROLL_SHARED_READ_ROUNDS sets the rounds (1.5 s each) for long runs.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "UdbTestSupport.h"
#include "Udb/DBLogger.h"
#include "Udb/DiskMgr.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "platform/data/Fields.h"
#include "tests/core/ScratchDir.h"

namespace {

constexpr int kRows = 300;
constexpr int kValue = 100;
constexpr int kIdSpace = 1000000;  // rows made by writer n: n * kIdSpace + 1, ...
constexpr int kRoundMs = 1500;

int Rounds() {
  const char* env = std::getenv("PAYROLL_SHARED_READ_ROUNDS");
  return env ? std::max(1, std::atoi(env)) : 3;
}

void Connect(TUdbDataBase& db, const std::string& dir) {
  db.SetDirectory(AnsiString(dir));
  db.SetDataBaseName("moving.udb");
  db.SetLockRetryMaximum(20);
  db.SetLockRetryInterval(10);
}

std::string Code(std::mt19937& rng) {
  std::string s(8, 'a');
  for (char& c : s) c = static_cast<char>('a' + rng() % 26);
  return s;
}

void Create(const std::string& dir) {
  TUdbDataBase db;
  Connect(db, dir);
  db.CreateDatabase();
  db.SetConnected(true);
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName("MOVING");
  t.FieldDefs()->Add("ID", ftInteger);
  t.FieldDefs()->Add("K", ftString, 12);
  t.FieldDefs()->Add("V", ftInteger);
  TIndexOptions primary;
  primary << ixPrimary;
  t.IndexDefs()->Add("PK", "ID", primary);
  t.IndexDefs()->Add("ByK", "K;ID", TIndexOptions());
  t.CreateTable();
  t.Open();
  std::mt19937 rng(7);
  db.StartTransaction();
  for (int id = 1; id <= kRows; ++id) {
    t.Append();
    t.FieldByName("ID")->SetAsInteger(id);
    t.FieldByName("K")->SetAsString(AnsiString(Code(rng)));
    t.FieldByName("V")->SetAsInteger(kValue);
    t.Post();
  }
  db.Commit();
}

// What a worker reports when its time is up.
struct TFigures {
  int steps = 0;    // writer: changes committed; reader: records read
  int walks = 0;    // reader: whole walks
  int refused = 0;  // lock time-outs (the work is retried)
};

using TKey = std::pair<std::string, int>;

class TWorker {
 public:
  // Rows made by this worker are numbered on from `made` in its space.
  TWorker(const std::string& dir, unsigned seed, int number, int made)
      : rng_(seed), number_(number), made_(made) {
    Connect(db_, dir);
    t_.SetDataBase(&db_);
    t_.SetTableName("MOVING");
    t_.SetIndexName("PK");
    for (int attempt = 0; !t_.Active(); ++attempt) {
      try {
        db_.SetConnected(true);
        t_.Open();
      } catch (const EUdbDatabaseError& e) {
        if (e.ErrorCode() != 10249 || attempt > 100) throw;
      }
    }
  }

  // The process dies right after the write-th page write of a commit:
  // its journal is left for the others to restore while they work.
  void DieAtCommitWrite(int write) {
    db_.DiskMgr()->File().AfterCommitWrite = [write](int n) {
      if (n == write) ::raise(SIGKILL);
    };
  }

  void Write(std::chrono::steady_clock::time_point until, bool spill) {
    if (spill) db_.DiskMgr()->SetSpillLimit(4);
    while (std::chrono::steady_clock::now() < until) Guarded([&] {
        if (Pick(10) < 4) {
          MoveKey();
          ++figures_.steps;
          return;
        }
        db_.StartTransaction();
        const int n = 1 + Pick(5);
        for (int i = 0; i < n; ++i) {
          const int what = Pick(3);
          if (what == 0) MoveKey();
          if (what == 1) Transfer();
          if (what == 2) Replace();
        }
        if (Pick(5) == 0) {
          db_.Rollback();
        } else {
          db_.Commit();
          figures_.steps += n;
        }
      });
  }

  // A reader that has not finished a walk by the end of the round (a busy
  // machine, its first walks timed out) goes on until it has, for 30 s
  // at most: the writers have stopped by then, so only a reader that can
  // never finish fails the round.
  void Read(std::chrono::steady_clock::time_point until) {
    const auto last = until + std::chrono::seconds(30);
    auto more = [&] {
      const auto now = std::chrono::steady_clock::now();
      return now < until || (figures_.walks == 0 && now < last);
    };
    while (more()) Guarded([&] {
        t_.SetIndexName(Pick(3) == 0 ? "PK" : "ByK");
        const bool inTransaction = Pick(3) == 0;
        const bool forward = Pick(2) == 0;
        if (inTransaction) db_.StartTransaction();
        int rows = 0;
        long long sum = 0;
        TKey last;
        for (forward ? t_.First() : t_.Last(); !(forward ? t_.Eof() : t_.Bof()); forward ? t_.Next() : t_.Prior()) {
          const TKey key = Key();
          if (rows > 0 && (forward ? !(last < key) : !(key < last)))
            Fail("the walk went back: " + last.first + "/" + std::to_string(last.second) + " then " + key.first +
                 "/" + std::to_string(key.second));
          last = key;
          ++rows;
          sum += t_.FieldByName("V")->AsInteger();
          ++figures_.steps;
        }
        if (inTransaction) {
          db_.Commit();
          if (rows != kRows || sum != static_cast<long long>(kRows) * kValue)
            Fail("a walk inside a transaction saw " + std::to_string(rows) + " rows, total " + std::to_string(sum));
        }
        ++figures_.walks;
      });
  }

  // A read-ahead batch whose record and entry disagreed is dropped
  // quietly (the walk raises 8451 when it meets the entry): counted here.
  const TFigures& Figures() const {
    if (UdbLogger().Counter("AHEADMISMATCH") != 0)
      Fail("a read-ahead batch read a record that does not carry its entry's key");
    return figures_;
  }

 private:
  int Pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }

  TKey Key() {
    if (t_.IndexName() == "PK") return {std::string(), t_.FieldByName("ID")->AsInteger()};
    return {std::string(t_.FieldByName("K")->AsString()), t_.FieldByName("ID")->AsInteger()};
  }

  [[noreturn]] void Fail(const std::string& why) const {
    std::fprintf(stderr, "worker %d: %s\n", number_, why.c_str());
    _exit(3);
  }

  void GotoRandomRow() {
    t_.SetIndexName("PK");
    t_.SetRecNo(1 + Pick(t_.RecordCount()));
  }

  void MoveKey() {
    GotoRandomRow();
    t_.Edit();
    t_.FieldByName("K")->SetAsString(AnsiString(Code(rng_)));
    t_.Post();
  }

  void Transfer() {
    const int amount = Pick(20);
    GotoRandomRow();
    t_.Edit();
    t_.FieldByName("V")->SetAsInteger(t_.FieldByName("V")->AsInteger() - amount);
    t_.Post();
    GotoRandomRow();
    t_.Edit();
    t_.FieldByName("V")->SetAsInteger(t_.FieldByName("V")->AsInteger() + amount);
    t_.Post();
  }

  // A row goes and a new one takes its value (and, often, its space).
  void Replace() {
    GotoRandomRow();
    const int value = t_.FieldByName("V")->AsInteger();
    t_.Delete();
    t_.Append();
    t_.FieldByName("ID")->SetAsInteger(number_ * kIdSpace + ++made_);
    t_.FieldByName("K")->SetAsString(AnsiString(Code(rng_)));
    t_.FieldByName("V")->SetAsInteger(value);
    t_.Post();
  }

  // A lock time-out ends the work in hand (rolled back, tried again);
  // anything else is a fault.
  template <class Fn>
  void Guarded(Fn&& work) {
    try {
      work();
    } catch (const EUdbDatabaseError& e) {
      if (e.ErrorCode() != 10249) Fail(e.what());
      ++figures_.refused;
      for (int attempt = 0; t_.State() == dsEdit || t_.State() == dsInsert || db_.InTransaction(); ++attempt) {
        try {
          if (t_.State() == dsEdit || t_.State() == dsInsert) t_.Cancel();
          if (db_.InTransaction()) db_.Rollback();
        } catch (const EUdbDatabaseError& again) {
          if (again.ErrorCode() != 10249 || attempt > 100)
            Fail(std::string("rolling back after a lock time-out: ") + again.what());
        }
      }
    } catch (const std::exception& e) {
      Fail(e.what());
    }
  }

  std::mt19937 rng_;
  int number_;
  int made_;
  TUdbDataBase db_;
  TUdbTable t_;
  TFigures figures_;
};

// The file after a round: both indexes hold the same rows, in order, and
// the total is kept.
void CheckFile(const std::string& dir) {
  TUdbDataBase db;
  Connect(db, dir);
  db.SetConnected(true);
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName("MOVING");
  for (const char* index : {"PK", "ByK"}) {
    SCOPED_TRACE(index);
    t.SetIndexName(index);
    t.Open();
    int rows = 0;
    long long sum = 0;
    TKey last;
    for (t.First(); !t.Eof(); t.Next()) {
      TKey key{std::string(index[0] == 'B' ? t.FieldByName("K")->AsString() : AnsiString()),
               t.FieldByName("ID")->AsInteger()};
      if (rows > 0) {
        EXPECT_LT(last, key);
      }
      last = key;
      ++rows;
      sum += t.FieldByName("V")->AsInteger();
    }
    EXPECT_EQ(rows, kRows);
    EXPECT_EQ(sum, static_cast<long long>(kRows) * kValue);
    t.Close();
  }
}

TEST(SharedRead, EveryRecordAWalkReadsUnderOtherConnectionsCommitsCarriesItsIndexEntrysKey) {
  ScratchDir dir;
  Create(dir.Native());
  std::mt19937 rng(4949);
  TFigures writers, readers;
  int dying = 0;
  for (int round = 0; round < Rounds(); ++round) {
    struct TChild {
      pid_t pid;
      int fd;
      bool writer;
    };
    std::vector<TChild> children;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRoundMs);
    for (int i = 0; i < 5; ++i) {
      const bool writer = i < 3;
      const unsigned seed = static_cast<unsigned>(rng());
      int fds[2];
      ASSERT_EQ(::pipe(fds), 0);
      const pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::close(fds[0]);
        try {
          TWorker worker(dir.Native(), seed, i + 1, round * 10000);
          if (writer)
            worker.Write(until, i == 0);
          else
            worker.Read(until);
          const TFigures f = worker.Figures();
          _exit(::write(fds[1], &f, sizeof f) == sizeof f ? 0 : 5);
        } catch (const std::exception& e) {
          std::fprintf(stderr, "worker %d: %s\n", i + 1, e.what());
          _exit(2);
        }
      }
      ::close(fds[1]);
      children.push_back({pid, fds[0], writer});
    }
    // Meanwhile writers that die half-way through a commit, one after
    // another.
    int kills = 0;
    while (std::chrono::steady_clock::now() < until) {
      const unsigned seed = static_cast<unsigned>(rng());
      const pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        try {
          TWorker worker(dir.Native(), seed, 9, round * 10000 + kills * 100);
          worker.DieAtCommitWrite(1 + static_cast<int>(seed % 4));
          worker.Write(until + std::chrono::seconds(2), false);
        } catch (const std::exception&) {
          // Refused at connect or open: the next one tries.
        }
        _exit(0);
      }
      int status = 0;
      ::waitpid(pid, &status, 0);
      kills += WIFSIGNALED(status) ? 1 : 0;
    }
    dying += kills;
    // A walk that goes round for ever never ends its worker: it fails the
    // round after a generous wait.
    const auto watchdog = until + std::chrono::seconds(60);
    for (const TChild& c : children) {
      int status = 0;
      while (::waitpid(c.pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > watchdog) {
          ::kill(c.pid, SIGKILL);
          ::waitpid(c.pid, &status, 0);
          ADD_FAILURE() << "round " << round << ": a worker did not end";
          break;
        }
        ::usleep(5000);
      }
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << "round " << round << ": a " << (c.writer ? "writer" : "reader") << " failed";
      TFigures f;
      if (::read(c.fd, &f, sizeof f) == sizeof f) {
        TFigures& sum = c.writer ? writers : readers;
        sum.steps += f.steps;
        sum.walks += f.walks;
        sum.refused += f.refused;
      }
      ::close(c.fd);
    }
    CheckFile(dir.Native());
    if (::testing::Test::HasFailure()) break;
  }
  std::printf("%d rounds: %d changes committed, %d records read in %d walks, %d lock time-outs, %d writers killed "
              "in a commit\n",
              Rounds(), writers.steps, readers.steps, readers.walks, writers.refused + readers.refused, dying);
  EXPECT_GT(writers.steps, 0);
  EXPECT_GT(readers.walks, 0);
}

// A memo is read through the reference its record holds when it is read,
// not the one a buffer took earlier: another connection may have replaced
// the memo since and its old blocks may hold another record's memo now.
TEST(SharedRead, AMemoReadAfterAnotherConnectionReplacedItIsTheRecordsOwn) {
  ScratchDir dir;
  auto open = [&](TUdbDataBase& db, TUdbTable& t) {
    Connect(db, dir.Native());
    db.SetConnected(true);
    t.SetDataBase(&db);
    t.SetTableName("NOTES");
    t.Open();
  };
  {
    TUdbDataBase db;
    Connect(db, dir.Native());
    db.CreateDatabase();
    db.SetConnected(true);
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName("NOTES");
    t.FieldDefs()->Add("ID", ftInteger);
    t.FieldDefs()->Add("NOTE", ftMemo);
    TIndexOptions primary;
    primary << ixPrimary;
    t.IndexDefs()->Add("PK", "ID", primary);
    t.CreateTable();
  }
  TUdbDataBase dbA, dbB;
  TUdbTable a, b;
  open(dbA, a);
  open(dbB, b);
  // Which memo a reads: its length and the letter it is made of.
  auto memoOfA = [&] {
    const AnsiString memo = a.FieldByName("NOTE")->AsString();
    return std::to_string(memo.size()) + (memo.empty() ? "" : std::string(1, memo[0]));
  };
  a.Append();
  a.FieldByName("ID")->SetAsInteger(1);
  a.FieldByName("NOTE")->SetAsString(AnsiString(3000, 'a'));
  a.Post();
  a.First();
  EXPECT_EQ(memoOfA(), "3000a");

  b.First();
  b.Edit();
  b.FieldByName("NOTE")->SetAsString(AnsiString(3000, 'b'));
  b.Post();
  b.Append();  // takes the blocks the first memo gave back
  b.FieldByName("ID")->SetAsInteger(2);
  b.FieldByName("NOTE")->SetAsString(AnsiString(3000, 'c'));
  b.Post();
  EXPECT_EQ(memoOfA(), "3000b");

  b.First();
  b.Delete();
  EXPECT_UDB_ERROR(memoOfA(), 8708);
}

}  // namespace
