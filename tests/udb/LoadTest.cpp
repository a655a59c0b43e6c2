// Shared use under load: 1, 2, 4 and 8 writer processes move amounts
// between the rows of one table inside transactions while two reader
// processes total the table inside theirs and a large transaction touches
// every row of it and appends a thousand log rows.  The total never changes,
// every failure is a clean lock time-out (10249) that is retried, no
// process hangs, and every configuration makes progress.  The figures
// (commits per second, retries) are printed; scripts/load-test.sh runs
// longer (PAYROLL_LOAD_SECONDS).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "UdbTestSupport.h"
#include "platform/data/Fields.h"
#include "tests/core/ScratchDir.h"

namespace {

constexpr int kRows = 24;
constexpr double kOpening = 1000;

double Seconds() {
  const char* env = std::getenv("PAYROLL_LOAD_SECONDS");
  return env ? std::max(0.2, std::atof(env)) : 0.6;
}

// PAYROLL_LOAD_FLUSH=none|normal|full (default: the connection's default).
void SetFlush(TUdbDataBase& db) {
  const char* env = std::getenv("PAYROLL_LOAD_FLUSH");
  if (!env) return;
  const std::string v = env;
  db.SetFlushPolicy(v == "none" ? fpNone : v == "normal" ? fpNormal : fpFull);
}

void Connect(TUdbDataBase& db, const std::string& dir) {
  db.SetDirectory(AnsiString(dir));
  db.SetDataBaseName("load.udb");
  db.SetLockRetryMaximum(10);
  db.SetLockRetryInterval(20);
  SetFlush(db);
}

void Create(const std::string& dir) {
  TUdbDataBase db;
  Connect(db, dir);
  db.CreateDatabase();
  db.SetConnected(true);
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName("ACCT");
  t.FieldDefs()->Add("ID", ftInteger);
  t.FieldDefs()->Add("AMT", ftFloat);
  t.FieldDefs()->Add("MOVES", ftInteger);
  TIndexOptions primary;
  primary << ixPrimary;
  t.IndexDefs()->Add("PK", "ID", primary);
  t.IndexDefs()->Add("ByAmt", "AMT;ID", TIndexOptions());
  t.CreateTable();
  t.Open();
  for (int id = 1; id <= kRows; ++id) {
    t.Append();
    t.FieldByName("ID")->SetAsInteger(id);
    t.FieldByName("AMT")->SetAsFloat(kOpening);
    t.FieldByName("MOVES")->SetAsInteger(0);
    t.Post();
  }
  // Every transfer is logged: rows come and go, so pages, free block runs
  // and index nodes are allocated and released under load.
  TUdbTable h;
  h.SetDataBase(&db);
  h.SetTableName("HIST");
  h.FieldDefs()->Add("ID", ftInteger);
  h.FieldDefs()->Add("TXT", ftString, 16);
  h.FieldDefs()->Add("NOTE", ftMemo);
  h.IndexDefs()->Add("PK", "ID", primary);
  h.IndexDefs()->Add("ByTxt", "TXT;ID", TIndexOptions());
  h.CreateTable();
}

// What each process reports when its time is up.
struct TStats {
  int commits = 0;
  int retries = 0;       // clean 10249, rolled back and tried again
  int otherErrors = 0;   // anything else: a fault
  int badTotals = 0;     // a reader saw the sum changed
  int lastError = 0;
  double connectMs = 0;  // SetConnected and opening the tables
  char lastText[240] = {};
  void Note(const EUdbDatabaseError& e) {
    lastError = e.ErrorCode();
    std::snprintf(lastText, sizeof lastText, "%s", e.what());
  }
};

bool IsRetry(const EUdbDatabaseError& e) { return e.ErrorCode() == 10249; }

enum TRole { kWriter, kReader, kLarge };
constexpr int kLargeRows = 1000;  // log rows a large transaction appends

TStats RunProcess(const std::string& dir, TRole role, int number, unsigned seed, double seconds) {
  const bool writer = role != kReader;
  TStats stats;
  std::mt19937 rng(seed);
  TUdbDataBase db;
  Connect(db, dir);
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName("ACCT");
  t.SetIndexName("PK");
  TUdbTable h;
  h.SetDataBase(&db);
  h.SetTableName("HIST");
  h.SetIndexName("PK");
  int logged = 0, dropped = 0;
  const auto connecting = std::chrono::steady_clock::now();
  for (int attempt = 0;; ++attempt) {
    try {
      db.SetConnected(true);
      t.Open();
      if (writer) h.Open();
      break;
    } catch (const EUdbDatabaseError& e) {
      if (!IsRetry(e) || attempt > 100) throw;
      ++stats.retries;
    }
  }
  stats.connectMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - connecting).count();
  int committedLogged = 0, committedDropped = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);

  // The large transaction is tried until it has committed once.
  for (int tries = 0; std::chrono::steady_clock::now() < end || (role == kLarge && stats.commits == 0 && tries < 100);
       ++tries) {
    try {
      db.StartTransaction();
      if (role == kLarge) {
        // Every account touched (the table the readers total) and many
        // log rows: a commit that must outlast the readers of the table.
        for (t.First(); !t.Eof(); t.Next()) {
          t.Edit();
          t.FieldByName("MOVES")->SetAsInteger(t.FieldByName("MOVES")->AsInteger() + 1);
          t.Post();
        }
        for (int i = 0; i < kLargeRows; ++i) {
          h.Append();
          h.FieldByName("ID")->SetAsInteger(number * 1000000 + logged + 1);
          h.FieldByName("TXT")->SetAsString(AnsiString(std::to_string(rng() % 1000)));
          h.FieldByName("NOTE")->SetAsString(AnsiString(std::string(rng() % 200, 'l')));
          h.Post();
          ++logged;
        }
      } else if (writer) {
        const int from = 1 + static_cast<int>(rng() % kRows);
        const int to = 1 + static_cast<int>(rng() % kRows);
        const double amount = static_cast<double>(rng() % 100);
        for (int side = 0; side < 2; ++side) {
          if (!t.Locate("ID", Variant(side == 0 ? from : to), TLocateOptions())) ++stats.otherErrors;
          t.Edit();
          t.FieldByName("AMT")->SetAsFloat(t.FieldByName("AMT")->AsFloat() + (side == 0 ? -amount : amount));
          t.FieldByName("MOVES")->SetAsInteger(t.FieldByName("MOVES")->AsInteger() + 1);
          t.Post();
        }
        if (rng() % 2 == 0) {
          h.Append();
          h.FieldByName("ID")->SetAsInteger(number * 1000000 + logged + 1);
          h.FieldByName("TXT")->SetAsString(AnsiString(std::to_string(rng() % 1000)));
          h.FieldByName("NOTE")->SetAsString(AnsiString(std::string(rng() % 3000, 'n')));
          h.Post();
          ++logged;
        } else if (dropped < logged && h.Locate("ID", Variant(number * 1000000 + dropped + 1), TLocateOptions())) {
          h.Delete();
          ++dropped;
        }
      } else {
        double sum = 0;
        int rows = 0;
        for (t.First(); !t.Eof(); t.Next()) {
          sum += t.FieldByName("AMT")->AsFloat();
          ++rows;
        }
        if (sum != kRows * kOpening || rows != kRows) ++stats.badTotals;
      }
      db.Commit();
      ++stats.commits;
      committedLogged = logged;
      committedDropped = dropped;
    } catch (const EUdbDatabaseError& e) {
      logged = committedLogged;
      dropped = committedDropped;
      if (t.State() == dsEdit || t.State() == dsInsert) t.Cancel();
      if (h.Active() && (h.State() == dsEdit || h.State() == dsInsert)) h.Cancel();
      try {
        if (db.InTransaction()) db.Rollback();
      } catch (const EUdbDatabaseError& r) {
        ++stats.otherErrors;  // a rollback must never fail
        stats.Note(r);
      }
      if (IsRetry(e)) {
        ++stats.retries;
        if (std::getenv("PAYROLL_LOAD_VERBOSE")) std::fprintf(stderr, "%s %d: %s\n", writer ? "W" : "R", number, e.what());
      } else {
        ++stats.otherErrors;
        stats.Note(e);
      }
    }
  }
  return stats;
}

struct TRun {
  TStats writers;
  TStats readers;
  TStats large;
  int fewestCommits = -1;  // of one writer
  int mostCommits = 0;
  double slowestConnectMs = 0;
  int hung = 0;
  int crashed = 0;
  double seconds = 0;
};

// writerCount writers, readerCount readers and one large transaction.
TRun RunLoad(const std::string& dir, int writerCount, int readerCount, double seconds) {
  TRun run;
  run.seconds = seconds;
  struct TChild {
    pid_t pid;
    int fd;
    TRole role;
  };
  std::vector<TChild> children;
  for (int i = 0; i < writerCount + readerCount + 1; ++i) {
    int fds[2];
    if (::pipe(fds) != 0) std::abort();
    const TRole role = i < writerCount ? kWriter : i < writerCount + readerCount ? kReader : kLarge;
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      TStats s;
      try {
        s = RunProcess(dir, role, i + 1, 1000u + static_cast<unsigned>(i), seconds);
      } catch (const EUdbDatabaseError& e) {
        s.otherErrors = 1;
        s.Note(e);
      } catch (...) {
        s.otherErrors = 1;
        s.lastError = -1;
      }
      if (::write(fds[1], &s, sizeof s) != sizeof s) _exit(2);
      _exit(0);
    }
    ::close(fds[1]);
    children.push_back({pid, fds[0], role});
  }
  const auto limit = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds + 120);
  for (TChild& c : children) {
    int status = 0;
    while (::waitpid(c.pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > limit) {
        ::kill(c.pid, SIGKILL);
        ++run.hung;
      }
      ::usleep(5000);
    }
    TStats s;
    if (::read(c.fd, &s, sizeof s) != sizeof s) {
      ++run.crashed;
    } else {
      TStats& sum = c.role == kWriter ? run.writers : c.role == kReader ? run.readers : run.large;
      if (c.role == kWriter) {
        if (run.fewestCommits < 0 || s.commits < run.fewestCommits) run.fewestCommits = s.commits;
        run.mostCommits = std::max(run.mostCommits, s.commits);
      }
      run.slowestConnectMs = std::max(run.slowestConnectMs, s.connectMs);
      sum.commits += s.commits;
      sum.retries += s.retries;
      sum.otherErrors += s.otherErrors;
      sum.badTotals += s.badTotals;
      if (s.lastError != 0) {
        sum.lastError = s.lastError;
        std::memcpy(sum.lastText, s.lastText, sizeof s.lastText);
      }
    }
    ::close(c.fd);
  }
  return run;
}

// The table after the run: the sum kept, every index whole.
void CheckTable(const std::string& dir) {
  TUdbDataBase db;
  Connect(db, dir);
  db.SetConnected(true);
  for (const char* index : {"PK", "ByAmt"}) {
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName("ACCT");
    t.SetIndexName(index);
    t.Open();
    double sum = 0;
    int rows = 0;
    for (t.First(); !t.Eof(); t.Next()) {
      sum += t.FieldByName("AMT")->AsFloat();
      ++rows;
    }
    EXPECT_EQ(rows, kRows) << index;
    EXPECT_EQ(sum, kRows * kOpening) << index;
  }
  int first = -1;
  for (const char* index : {"PK", "ByTxt"}) {
    TUdbTable h;
    h.SetDataBase(&db);
    h.SetTableName("HIST");
    h.SetIndexName(index);
    h.Open();
    int rows = 0;
    for (h.First(); !h.Eof(); h.Next()) ++rows;
    EXPECT_EQ(rows, h.RecordCount()) << index;
    if (first < 0) first = rows;
    EXPECT_EQ(rows, first) << index;
  }
}

}  // namespace

TEST(LoadTest, WritersAndReadersInManyProcessesKeepTheTotalAndMakeProgress) {
  const double seconds = Seconds();
  double single = 0;
  for (int writers : {1, 2, 4, 8}) {
    ScratchDir dir;
    Create(dir.Native());
    TRun run = RunLoad(dir.Native(), writers, 2, seconds);
    const double tps = run.writers.commits / run.seconds;
    if (writers == 1) single = tps;
    std::printf("%d writers, 2 readers, a large transaction: %.0f commits/s (%.2f of one writer), %d to %d "
                "commits per writer, %d writer retries, %.1f totals/s (%d in all), %d reader retries, %d large "
                "commits of %d rows (%d retries), slowest connect %.0f ms\n",
                writers, tps, single > 0 ? tps / single : 0.0, run.fewestCommits, run.mostCommits,
                run.writers.retries, run.readers.commits / run.seconds, run.readers.commits, run.readers.retries,
                run.large.commits, kLargeRows, run.large.retries, run.slowestConnectMs);
    EXPECT_EQ(run.hung, 0) << writers;
    EXPECT_EQ(run.crashed, 0) << writers;
    EXPECT_EQ(run.writers.otherErrors, 0) << writers << " writers, last error " << run.writers.lastText;
    EXPECT_EQ(run.readers.otherErrors, 0) << writers << " writers, last error " << run.readers.lastText;
    EXPECT_EQ(run.readers.badTotals, 0) << writers;
    EXPECT_GT(run.writers.commits, 0) << writers;
    EXPECT_GT(run.readers.commits, 0) << writers;
    EXPECT_EQ(run.large.otherErrors, 0) << writers << " writers, last error " << run.large.lastText;
    EXPECT_GT(run.large.commits, 0) << writers;
    CheckTable(dir.Native());
  }
}
