// Result sets in memory and in a mapped temporary file: one behaviour for
// both kinds, the file kind's growth, clearing and temporary files.
#include "sql/ResultSet.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "../core/ScratchDir.h"
#include "platform/core/Files.h"
#include "sql/BookmarkHandles.h"
#include "sql/MemMapFile.h"
#include "sql/SortList.h"
#include "sql/SqlMessages.h"

namespace {

// Record references are released only while a source dataset is set; it is
// never called (TDataSet::FreeBookmark is static), so any address serves.
TDataSet* FakeSource() {
  static char dummy;
  return reinterpret_cast<TDataSet*>(&dummy);
}

TBookmarkHandle NewReference() { return AcquireBookmarkHandle(new char[8]); }

template <typename T>
std::unique_ptr<TResultSet> Make(std::int64_t mapSize = kDefaultMapFileSize);
template <>
std::unique_ptr<TResultSet> Make<TMemResultSet>(std::int64_t) {
  return std::make_unique<TMemResultSet>();
}
template <>
std::unique_ptr<TResultSet> Make<TFileResultSet>(std::int64_t mapSize) {
  return std::make_unique<TFileResultSet>(mapSize);
}

template <typename T>
class ResultSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rs = Make<T>();
    s = rs->AddField("S", "", false, 0, 0, 0, nullptr, 5, ttString);
    f = rs->AddField("F", "", false, 0, 0, 0, nullptr, 0, ttFloat);
    i = rs->AddField("I", "", false, 0, 0, 0, nullptr, 0, ttInteger);
  }
  // Appends rows whose integer column holds the given values.
  void AddRows(std::initializer_list<int> values) {
    for (int v : values) {
      rs->Insert();
      i->SetAsInteger(v);
    }
  }
  std::vector<int> Column() {
    std::vector<int> out;
    for (int r = 1; r <= rs->GetRecordCount(); ++r) {
      rs->SetRecNo(r);
      out.push_back(i->GetAsInteger());
    }
    return out;
  }
  std::unique_ptr<TResultSet> rs;
  TsqField *s, *f, *i;
};

using Kinds = ::testing::Types<TMemResultSet, TFileResultSet>;
TYPED_TEST_SUITE(ResultSetTest, Kinds);

TYPED_TEST(ResultSetTest, NewRowIsNullEverywhereAndValuesReadBack) {
  auto& rs = *this->rs;
  EXPECT_EQ(rs.RecNo(), -1);
  EXPECT_EQ(rs.RecordSize(), 28);
  rs.Insert();
  EXPECT_EQ(rs.RecNo(), 1);
  EXPECT_EQ(rs.GetSourceBookmark(), 0);
  for (TsqField* c : {this->s, this->f, this->i}) EXPECT_TRUE(c->IsNull());
  this->s->SetAsString("hello");  // fills the size: no terminator
  this->f->SetAsFloat(1.25);
  EXPECT_FALSE(this->s->IsNull());
  EXPECT_FALSE(this->f->IsNull());
  EXPECT_TRUE(this->i->IsNull());
  rs.Insert();
  this->i->SetAsInteger(9);
  rs.SetRecNo(1);
  EXPECT_EQ(this->s->GetAsString(), "hello");
  EXPECT_DOUBLE_EQ(this->f->GetAsFloat(), 1.25);
  EXPECT_TRUE(this->i->IsNull());
  double raw = 0;
  EXPECT_TRUE(rs.GetFieldData(this->f, &raw));
  EXPECT_EQ(raw, 1.25);
  EXPECT_FALSE(rs.GetFieldData(this->i, &raw));
}

TYPED_TEST(ResultSetTest, RecNoOutsideTheRowsIsRefused) {
  auto& rs = *this->rs;
  rs.SetRecNo(-1);  // its current value: accepted without rows
  EXPECT_THROW(rs.SetRecNo(1), ESqlQueryError);
  this->AddRows({1, 2});
  for (int bad : {0, 3, -1}) {
    try {
      rs.SetRecNo(bad);
      ADD_FAILURE() << bad;
    } catch (const ESqlQueryError& e) {
      EXPECT_EQ(e.Message(), "Recno out of range");
    }
  }
  rs.SetRecNo(1);
  EXPECT_EQ(this->i->GetAsInteger(), 1);
}

TYPED_TEST(ResultSetTest, WithoutACurrentRowNothingIsReadOrWritten) {
  auto& rs = *this->rs;
  EXPECT_FALSE(this->i->IsNull());
  this->i->SetAsInteger(5);  // no row: nothing happens
  rs.SetSourceBookmark(3);
  EXPECT_EQ(rs.GetSourceBookmark(), 0);
  EXPECT_EQ(rs.GetRecordCount(), 0);
}

TYPED_TEST(ResultSetTest, DeletingTheLastRowMovesToTheNewLast) {
  auto& rs = *this->rs;
  this->AddRows({10, 20, 30});
  rs.Delete();
  EXPECT_EQ(rs.RecNo(), 2);
  EXPECT_EQ(this->i->GetAsInteger(), 20);
  rs.SetRecNo(1);
  rs.Delete();
  EXPECT_EQ(rs.RecNo(), 1);
  EXPECT_EQ(this->Column(), std::vector<int>({20}));
  rs.Delete();
  EXPECT_EQ(rs.GetRecordCount(), 0);
  rs.Delete();  // no current row
}

TYPED_TEST(ResultSetTest, SortWithListReordersTheRows) {
  auto& rs = *this->rs;
  this->AddRows({10, 20, 30});
  TMemSortList list(false);
  list.AddField(ttInteger, 0, false);
  for (int src : {3, 1, 2}) {
    list.Insert();
    list.SetSourceRecNo(src);
  }
  rs.SortWithList(list);
  EXPECT_EQ(this->Column(), std::vector<int>({30, 10, 20}));
}

TYPED_TEST(ResultSetTest, SortListThatIsNoPermutationIsRefusedUnchanged) {
  auto& rs = *this->rs;
  this->AddRows({10, 20, 30});
  for (auto names : {std::vector<int>{1, 1, 2}, std::vector<int>{1, 2, 4}, std::vector<int>{1, 2}}) {
    TMemSortList list(false);
    for (int src : names) {
      list.Insert();
      list.SetSourceRecNo(src);
    }
    EXPECT_THROW(rs.SortWithList(list), ESqlQueryError);
    EXPECT_EQ(this->Column(), std::vector<int>({10, 20, 30}));
  }
}

TYPED_TEST(ResultSetTest, ReferencesAreReleasedWhenRowsGo) {
  auto& rs = *this->rs;
  rs.SetSourceDataSet(FakeSource());
  const int before = LiveBookmarkHandles();
  for (int r = 0; r < 4; ++r) {
    rs.Insert();
    rs.SetSourceBookmark(NewReference());
  }
  rs.SetSourceBookmark(NewReference());  // replaces: the old one goes
  EXPECT_EQ(LiveBookmarkHandles(), before + 4);
  rs.FreeSourceBookmark();
  EXPECT_EQ(rs.GetSourceBookmark(), 0);
  rs.SetSourceBookmark(-2);  // a mark, not a reference
  rs.SetRecNo(1);
  rs.Delete();
  EXPECT_EQ(LiveBookmarkHandles(), before + 2);
  rs.ClearRows();
  EXPECT_EQ(LiveBookmarkHandles(), before);
  EXPECT_EQ(rs.GetRecordCount(), 0);
  rs.Insert();
  rs.SetSourceBookmark(NewReference());
  this->rs.reset();
  EXPECT_EQ(LiveBookmarkHandles(), before);
}

TYPED_TEST(ResultSetTest, KeepRowsKeepsTheMarkedRowsInOrderAndReleasesTheOthers) {
  const struct {
    std::vector<char> keep;
    std::vector<int> left;
    int recNo;
  } cases[] = {
      {{1, 0, 1, 0, 0}, {10, 30}, 2},
      {{0, 0, 0, 0, 1}, {50}, 1},
      {{0, 0, 0, 0, 0}, {}, 0},
      {{1, 1, 1, 1, 1}, {10, 20, 30, 40, 50}, 3},  // nothing goes: the row stays current
  };
  for (const auto& c : cases) {
    this->SetUp();
    auto& rs = *this->rs;
    rs.SetSourceDataSet(FakeSource());
    const int before = LiveBookmarkHandles();
    this->AddRows({10, 20, 30, 40, 50});
    for (int r = 1; r <= 5; ++r) {
      rs.SetRecNo(r);
      rs.SetSourceBookmark(NewReference());
    }
    rs.SetRecNo(3);
    rs.KeepRows(c.keep);
    EXPECT_EQ(rs.RecNo(), c.recNo);
    EXPECT_EQ(LiveBookmarkHandles(), before + static_cast<int>(c.left.size()));
    EXPECT_EQ(this->Column(), c.left);
    // The kept rows keep their own references.
    for (int r = 1; r <= rs.GetRecordCount(); ++r) {
      rs.SetRecNo(r);
      EXPECT_NE(BookmarkOfHandle(rs.GetSourceBookmark()), nullptr);
    }
    this->rs.reset();
    EXPECT_EQ(LiveBookmarkHandles(), before);
  }
  this->SetUp();
  this->AddRows({10, 20});
  EXPECT_THROW(this->rs->KeepRows({1}), ESqlQueryError);  // one entry per row
}

TYPED_TEST(ResultSetTest, ClearedRowsLeaveRoomForNewOnes) {
  auto& rs = *this->rs;
  this->AddRows({1, 2, 3});
  rs.ClearRows();
  EXPECT_EQ(rs.GetRecordCount(), 0);
  EXPECT_EQ(rs.RecNo(), -1);
  EXPECT_THROW(rs.SetRecNo(1), ESqlQueryError);
  this->AddRows({7});
  rs.SetRecNo(1);
  EXPECT_EQ(this->i->GetAsInteger(), 7);
  EXPECT_TRUE(this->s->IsNull());
}

TYPED_TEST(ResultSetTest, ClearRemovesColumnsAndAllowsANewLayout) {
  auto& rs = *this->rs;
  this->AddRows({1});
  EXPECT_THROW(rs.AddField("X", "", false, 0, 0, 0, nullptr, 0, ttFloat), EInvalidOperation);
  rs.Clear();
  EXPECT_EQ(rs.Fields().Count(), 0);
  EXPECT_EQ(rs.RecordSize(), 4);
  TsqField* b = rs.AddField("B", "", false, 0, 0, 0, nullptr, 0, ttBoolean);
  rs.Insert();
  b->SetAsBoolean(true);
  EXPECT_TRUE(b->GetAsBoolean());
}

// ---- the file kind ---------------------------------------------------------------

TEST(TFileResultSet, RowsBeyondTheMappingGrowItInsteadOfOverrunningIt) {
  TFileResultSet rs(100);  // room for 3 rows of 28 bytes
  TsqField* s = rs.AddField("S", "", false, 0, 0, 0, nullptr, 5, ttString);
  TsqField* i = rs.AddField("I", "", false, 0, 0, 0, nullptr, 0, ttInteger);
  const int rows = 1000;
  for (int r = 0; r < rows; ++r) {
    rs.Insert();
    i->SetAsInteger(r);
    s->SetAsString(AnsiString("r") + IntToStr(r % 1000));
  }
  EXPECT_GE(rs.MappedFile()->Size(), rows * rs.RecordSize());
  EXPECT_GE(FileSizeOf(rs.TempFileName()), rows * rs.RecordSize());
  for (int r : {1, 4, 500, rows}) {
    rs.SetRecNo(r);
    EXPECT_EQ(i->GetAsInteger(), r - 1);
    EXPECT_EQ(s->GetAsString(), AnsiString("r") + IntToStr((r - 1) % 1000));
  }
}

TEST(TFileResultSet, ClearedRowsReuseTheFileSpace) {
  TFileResultSet rs(1000);
  TsqField* i = rs.AddField("I", "", false, 0, 0, 0, nullptr, 0, ttInteger);
  for (int r = 0; r < 10; ++r) rs.Insert();
  const std::int64_t used = rs.MappedFile()->HighWater();
  rs.ClearRows();
  EXPECT_EQ(rs.MappedFile()->HighWater(), 0);
  for (int r = 0; r < 10; ++r) rs.Insert();
  EXPECT_EQ(rs.MappedFile()->HighWater(), used);
  EXPECT_TRUE(i->IsNull());  // rows written over old ones start zeroed
}

TEST(TFileResultSet, TemporaryFileIsNamedSqAndGoesWithTheResult) {
  AnsiString name;
  {
    TFileResultSet rs;
    name = rs.TempFileName();
    EXPECT_TRUE(FileExists(name));
    EXPECT_EQ(ExtractFileName(name).SubString(1, 3), "~sq");
    EXPECT_EQ(rs.MappedFile()->Size(), kDefaultMapFileSize);
    rs.AddField("I", "", false, 0, 0, 0, nullptr, 0, ttInteger);
    rs.Insert();
    rs.Clear();  // ends the file's life...
    EXPECT_FALSE(FileExists(name));
    EXPECT_EQ(rs.TempFileName(), "");
    TsqField* f = rs.AddField("F", "", false, 0, 0, 0, nullptr, 0, ttFloat);
    rs.Insert();  // ...and a new row makes a new one
    f->SetAsFloat(0.5);
    EXPECT_DOUBLE_EQ(f->GetAsFloat(), 0.5);
    name = rs.TempFileName();
    EXPECT_TRUE(FileExists(name));
  }
  EXPECT_FALSE(FileExists(name));
}

// Runs fn in a child process with TMPDIR set to dir; returns its exit code.
template <typename Fn>
int InChild(const std::string& dir, Fn fn) {
  pid_t pid = fork();
  if (pid == 0) {
    setenv("TMPDIR", dir.c_str(), 1);
    _exit(fn());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int CountSqFiles(const std::string& dir) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().rfind("~sq", 0) == 0) ++n;
  return n;
}

TEST(TFileResultSet, FilesOfACrashedProcessAreRemovedByTheNextOne) {
  ScratchDir dir;
  // A process that dies with its result open leaves the file behind.
  int code = InChild(dir.Native(), [] {
    auto* rs = new TFileResultSet(4096);
    rs->AddField("I", "", false, 0, 0, 0, nullptr, 0, ttInteger);
    rs->Insert();
    raise(SIGKILL);
    return 0;
  });
  EXPECT_EQ(code, 128 + SIGKILL);
  ASSERT_EQ(CountSqFiles(dir.Native()), 1);
  // Age it past the stale limit, as if the crash were a while ago.
  for (const auto& e : std::filesystem::directory_iterator(dir.Native())) {
    struct utimbuf old = {time(nullptr) - 3600, time(nullptr) - 3600};
    utime(e.path().c_str(), &old);
  }
  // The next process's first file-backed list clears it away (a fresh
  // program: a forked one would share this one's memory of the sweep); its
  // own file goes when the list is freed.
  code = InChild(dir.Native(), [] {
    setenv("PAYROLL_SQ_FRESH_PROCESS", "1", 1);
    execl("/proc/self/exe", "sql_ResultSetTest",
          "--gtest_filter=TFileResultSet.FreshProcessMakesAFileSortList", nullptr);
    return 127;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(CountSqFiles(dir.Native()), 0);
}

// The second half of the test above, in a program of its own.
TEST(TFileResultSet, FreshProcessMakesAFileSortList) {
  if (!getenv("PAYROLL_SQ_FRESH_PROCESS")) return;  // only as the helper
  TFileSortList list(false, 4096);
  list.AddField(ttInteger, 0, false);
  list.Insert();
}

}  // namespace
