// Sparse pointer arrays, sparse lists and aggregate accumulators.
#include "sql/SparseArrays.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void* P(int n) { return reinterpret_cast<void*>(static_cast<intptr_t>(n)); }

TEST(TSparsePointerArray, LooksUpWithoutGrowing) {
  TSparsePointerArray a(SPASmall);
  EXPECT_EQ(a.GetAt(1000000), nullptr);
  EXPECT_EQ(a.GetAt(-1), nullptr);
  a.PutAt(17, P(1));
  EXPECT_EQ(a.GetAt(17), P(1));
  EXPECT_EQ(a.GetAt(16), nullptr);   // same block, empty slot
  EXPECT_EQ(a.GetAt(100), nullptr);  // beyond the directory
  a.PutAt(17, P(2));                 // the cached value is not stale
  EXPECT_EQ(a.GetAt(17), P(2));
  EXPECT_EQ(a.HighBound(), 17);
  a.PutAt(500, nullptr);             // nothing stored there: nothing happens
  EXPECT_EQ(a.HighBound(), 17);
}

TEST(TSparsePointerArray, ForAllVisitsInOrderAndStops) {
  TSparsePointerArray a(SPALarge);
  for (int i : {70000, 3, 255, 256}) a.PutAt(i, P(i));
  std::vector<int> seen;
  EXPECT_EQ(a.ForAll([&](int i, void* item) {
    EXPECT_EQ(item, P(i));
    seen.push_back(i);
    return 0;
  }),
            0);
  EXPECT_EQ(seen, (std::vector<int>{3, 255, 256, 70000}));
  EXPECT_EQ(a.ForAll([](int i, void*) { return i > 200 ? i : 0; }), 255);
}

TEST(TSparseList, CountFollowsTheHighestItem) {
  TSparseList l(SPASmall);
  l.Put(3, P(3));
  l.Put(1000, P(1000));
  EXPECT_EQ(l.Count(), 1001);
  l.Put(1000, nullptr);
  EXPECT_EQ(l.Count(), 4);
  l.Put(3, nullptr);
  EXPECT_EQ(l.Count(), 0);
  EXPECT_THROW(
      {
        try {
          l.Get(-1);
        } catch (const EListError& e) {
          EXPECT_EQ(e.Message(), "List Index Error!");
          throw;
        }
      },
      EListError);
  EXPECT_THROW(l.Put(-1, P(1)), EListError);
}

TEST(TSparseList, DeleteMovesLaterItemsDown) {
  TSparseList l(SPASmall);
  l.Put(0, P(10));
  l.Put(1, P(11));
  l.Put(2, P(12));
  l.Delete(1);
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.Get(0), P(10));
  EXPECT_EQ(l.Get(1), P(12));
  EXPECT_EQ(l.Get(2), nullptr);
  l.Delete(5);  // outside: nothing
  EXPECT_EQ(l.Count(), 2);
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.Get(0), nullptr);
}

TEST(TAggSparseList, RecordsAreMadeOnFirstWrite) {
  TAggSparseList small(256), large(257);
  EXPECT_EQ(small.SlotsInBlock(), 16);
  EXPECT_EQ(large.SlotsInBlock(), 256);
  EXPECT_EQ(small.GetCount(7), 0);
  EXPECT_EQ(small.Count(), 0);
  small.SetCount(5, 1);
  EXPECT_EQ(small.GetCount(5), 1);
  EXPECT_EQ(small.GetValue(5), 0.0);
  EXPECT_EQ(small.GetSecondValue(5), 0.0);
  small.SetValue(5, 2.5);
  small.SetSecondValue(9, 4.0);
  EXPECT_EQ(small.GetValue(5), 2.5);
  EXPECT_EQ(small.GetCount(5), 1);
  EXPECT_EQ(small.Count(), 10);
  small.Delete(5);  // the record at 9 moves to 8
  EXPECT_EQ(small.GetSecondValue(8), 4.0);
  EXPECT_EQ(small.GetValue(5), 0.0);
  EXPECT_EQ(small.Count(), 9);
  small.Delete(8);
  EXPECT_EQ(small.Count(), 0);
  small.SetValue(100000, 1);
  small.Clear();
  EXPECT_EQ(small.GetValue(100000), 0.0);
}

}  // namespace
