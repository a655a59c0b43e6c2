#include "platform/core/List.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace {

int Values[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
void* P(int i) { return &Values[i]; }
int V(void* p) { return *static_cast<int*>(p); }

std::vector<int> Contents(const TList& l) {
  std::vector<int> r;
  for (int i = 0; i < l.Count(); ++i) r.push_back(l.Items(i) ? V(l.Items(i)) : -1);
  return r;
}

// Records Notify calls, as an object list would use them.
class TRecordingList : public TList {
 public:
  std::vector<std::pair<int, TListNotification>> log;

 protected:
  void Notify(void* item, TListNotification action) override { log.emplace_back(V(item), action); }
};

int CompareInts(void* a, void* b) { return V(a) - V(b); }

}  // namespace

TEST(TList, EditsKeepOrder) {
  TList l;
  for (int i : {1, 2, 3}) l.Add(P(i));
  l.Insert(0, P(0));
  l.Insert(4, P(4));
  EXPECT_EQ(Contents(l), (std::vector<int>{0, 1, 2, 3, 4}));
  l.Delete(1);
  EXPECT_EQ(l.Remove(P(3)), 2);
  EXPECT_EQ(l.Remove(P(9)), -1);
  EXPECT_EQ(Contents(l), (std::vector<int>{0, 2, 4}));
  l.Exchange(0, 2);
  EXPECT_EQ(Contents(l), (std::vector<int>{4, 2, 0}));
  l.Move(0, 2);
  EXPECT_EQ(Contents(l), (std::vector<int>{2, 0, 4}));
  l.Move(2, 0);
  EXPECT_EQ(Contents(l), (std::vector<int>{4, 2, 0}));
  EXPECT_EQ(l.IndexOf(P(0)), 2);
  EXPECT_EQ(l.First(), P(4));
  EXPECT_EQ(l.Last(), P(0));
}

TEST(TList, BadIndexesRaiseListErrorNamingTheIndex) {
  TList l;
  l.Add(P(1));
  struct Case {
    const char* what;
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {"Items", [&] { l.Items(1); }, "List index out of bounds (1)"},
      {"Items negative", [&] { l.Items(-1); }, "List index out of bounds (-1)"},
      {"Insert past end", [&] { l.Insert(2, P(2)); }, "List index out of bounds (2)"},
      {"Delete", [&] { l.Delete(5); }, "List index out of bounds (5)"},
      {"Exchange", [&] { l.Exchange(0, 3); }, "List index out of bounds (3)"},
      {"Move target", [&] { l.Move(0, 1); }, "List index out of bounds (1)"},
      {"First of empty", [] { TList e; e.First(); }, "List index out of bounds (0)"},
      {"Capacity below count", [&] { l.SetCapacity(0); }, "List capacity out of bounds (0)"},
      {"Negative count", [&] { l.SetCount(-1); }, "List count out of bounds (-1)"},
  };
  for (const Case& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.what << " did not raise";
    } catch (const EListError& e) {
      EXPECT_EQ(e.Message(), c.message) << c.what;
    }
  }
  EXPECT_EQ(Contents(l), (std::vector<int>{1}));
}

TEST(TList, ExtractPackAndCount) {
  TList l;
  l.Add(P(1));
  l.Add(nullptr);
  l.Add(P(2));
  EXPECT_EQ(l.Extract(P(1)), P(1));
  EXPECT_EQ(l.Extract(P(7)), nullptr);
  l.SetCount(4);  // appends nil items
  EXPECT_EQ(Contents(l), (std::vector<int>{-1, 2, -1, -1}));
  l.Pack();
  EXPECT_EQ(Contents(l), (std::vector<int>{2}));
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.Capacity(), 0);
}

TEST(TList, CapacityGrowsInTheClassLibrarySteps) {
  TList l;
  std::vector<int> capacities;
  for (int i = 0; i < 100; ++i) {
    l.Add(P(0));
    if (capacities.empty() || capacities.back() != l.Capacity()) capacities.push_back(l.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
}

TEST(TList, NotifyReportsAddsDeletesAndExtracts) {
  TRecordingList l;
  l.Add(P(1));
  l.Add(nullptr);  // nil items are not reported
  l.Insert(0, P(2));
  l.SetItems(0, P(3));
  l.Delete(0);
  l.Extract(P(1));
  l.Add(P(4));
  l.SetCount(0);
  using N = std::pair<int, TListNotification>;
  EXPECT_EQ(l.log, (std::vector<N>{{1, lnAdded}, {2, lnAdded}, {2, lnDeleted}, {3, lnAdded},
                                   {3, lnDeleted}, {1, lnExtracted}, {4, lnAdded}, {4, lnDeleted}}));
}

TEST(TList, SortOrdersByTheCompareFunction) {
  TList l;
  for (int i : {5, 3, 9, 1, 1, 0, 8, 2, 7, 4, 6}) l.Add(P(i));
  l.Sort(CompareInts);
  EXPECT_EQ(Contents(l), (std::vector<int>{0, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

// Items that compare equal end where the class library's quicksort puts
// them: keys 1,0,1,0,1 tagged by position.
TEST(TList, SortPlacesEqualItemsAsTheClassLibraryDoes) {
  struct Tagged {
    int key, tag;
  };
  Tagged items[] = {{1, 0}, {0, 1}, {1, 2}, {0, 3}, {1, 4}};
  TList l;
  for (Tagged& t : items) l.Add(&t);
  l.Sort([](void* a, void* b) { return static_cast<Tagged*>(a)->key - static_cast<Tagged*>(b)->key; });
  std::vector<int> tags;
  for (int i = 0; i < l.Count(); ++i) tags.push_back(static_cast<Tagged*>(l.Items(i))->tag);
  // Pivot tag 2: 0<->4 and 2<->3 swap; the left part {4,1,3} around tag 1
  // swaps 4<->3; the right part {2,0} swaps once more.
  EXPECT_EQ(tags, (std::vector<int>{3, 1, 4, 0, 2}));
}

TEST(TList, SortWithAnInconsistentCompareStaysInsideTheList) {
  TList l;
  for (int i = 0; i < 10; ++i) l.Add(P(i));
  l.Sort([](void*, void*) { return -1; });  // "less" whatever is asked
  std::vector<int> c = Contents(l);
  std::sort(c.begin(), c.end());
  EXPECT_EQ(c, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}
