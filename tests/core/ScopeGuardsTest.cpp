// Update brackets close however their scope is left, and report the first
// error.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/core/ScopeGuards.h"
#include "platform/core/Strings.h"

namespace {

// A list whose change notification (sent by the outermost EndUpdate) can fail.
struct TFailingList {
  TStringList list;
  bool failOnChange = false;
  TFailingList() {
    list.OnChange = [this](TObject*) {
      if (failOnChange) throw std::runtime_error("change refused");
    };
  }
};

void AddThenFail(TStrings* s) {
  TUpdateScope update(s);
  s->Add("一");
  throw std::runtime_error("body failed");
}

TEST(ScopeGuards, TheBracketClosesWhenTheBodyFails) {
  TFailingList f;
  EXPECT_THROW(AddThenFail(&f.list), std::runtime_error);
  EXPECT_EQ(f.list.UpdateCount(), 0);
  EXPECT_EQ(f.list.Count(), 1);
}

TEST(ScopeGuards, TheClosingCallsErrorReachesTheCallerOnANormalExit) {
  TFailingList f;
  f.failOnChange = true;
  try {
    TUpdateScope update(&f.list);
    f.list.Add("二");
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "change refused");
    EXPECT_EQ(f.list.UpdateCount(), 0);
    return;
  }
  FAIL() << "EndUpdate's error was lost";
}

TEST(ScopeGuards, TheFirstErrorIsTheOneReported) {
  TFailingList f;
  f.failOnChange = true;
  try {
    AddThenFail(&f.list);
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "body failed");
  }
  EXPECT_EQ(f.list.UpdateCount(), 0);
  // Nested brackets: only the outermost notifies.
  f.failOnChange = false;
  int changes = 0;
  f.list.OnChange = [&](TObject*) { ++changes; };
  {
    TUpdateScope outer(&f.list);
    {
      TUpdateScope inner(&f.list);
      f.list.Add("三");
    }
    EXPECT_EQ(changes, 0);
  }
  EXPECT_EQ(changes, 1);
}

TEST(ScopeGuards, ScopeExitRunsUnlessDismissed) {
  int runs = 0;
  {
    TScopeExit a([&] { ++runs; });
    TScopeExit b([&] { runs += 10; });
    b.Dismiss();
  }
  EXPECT_EQ(runs, 1);
}

}  // namespace
