// B-tree: growth and shrinking at a fixed root, runs of equal partial keys
// across many leaves, every search mode against an independent model over
// memory and disk blocks (with reopen), record numbers, scans, read-ahead,
// and damaged node bytes refused before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <random>

#include "IndexTestSupport.h"
#include "Udb/ReadAheadBuffer.h"

using namespace idxtest;

namespace {

std::unique_ptr<TKeyFields> IntPrimary() {
  auto p = std::make_unique<TKeyFields>();
  TKeyFields& f = *p;
  AddIntPart(f, "PK", 0);
  return p;
}

// A (int) then the hidden RecordID: a non-unique index on A.
std::unique_ptr<TKeyFields> NonUniqueA(bool descending = false) {
  auto p = std::make_unique<TKeyFields>();
  TKeyFields& f = *p;
  AddIntPart(f, "A", 0, descending);
  AddRecordIdPart(f, "A", descending);
  return p;
}

std::unique_ptr<TKeyFields> NonUniqueAB(bool aDescending) {
  auto p = std::make_unique<TKeyFields>();
  TKeyFields& f = *p;
  AddIntPart(f, "AB", 0, aDescending);
  AddStringPart(f, "AB");
  AddRecordIdPart(f, "AB");
  return p;
}

void InsertRow(TBTree& tree, const TRow& row) {
  auto rec = RecordOf(row);
  tree.SetSearchKeyFromRecord(rec.data());
  tree.Insert(row.addr);
}

TRow IntRow(int a, int id = 0) {
  TRow r;
  r.a = a;
  r.id = id == 0 ? a : id;
  r.addr = 0x1000u + static_cast<TUdbAddr>(r.id) * 16u;
  return r;
}

// The addresses of the whole index in key order, through First / Next.
std::vector<TUdbAddr> Walk(TBTree& tree) {
  std::vector<TUdbAddr> out;
  if (!tree.First()) return out;
  do out.push_back(tree.CurrentRecordAddress());
  while (tree.Next());
  return out;
}

// The largest number of keys a leaf holds without being full.
int KeysPerFullNode(int nodeSize, int keySize) {
  int n = 0;
  while ((n + 1) * keySize + udbnode::kHeaderSize + keySize < nodeSize) ++n;
  return n;
}

TEST(TBTree, IntegerPrimaryIndexGrowsAtTheNodeLimitAndShrinksBackAtTheSameRoot) {
  for (bool disk : {false, true}) {
    SCOPED_TRACE(disk ? "disk" : "memory");
    TTreeHarness h(disk, 4096);
    h.Define(*IntPrimary());
    h.CreateAndOpen();
    const std::uint32_t root = h.root;
    ASSERT_EQ(h.Tree().MaximumKeySize(), 15);
    const int limit = KeysPerFullNode(4096, 15);
    ASSERT_EQ(limit, 270);
    for (int i = 1; i <= limit; ++i) InsertRow(h.Tree(), IntRow(i));
    EXPECT_EQ(h.depth, 1u);
    InsertRow(h.Tree(), IntRow(limit + 1));
    EXPECT_EQ(h.depth, 2u);
    EXPECT_EQ(h.root, root);
    h.Tree().CheckStructureForTest();  // two leaves linked both ways
    {
      // The root split allocates the split-off (right) leaf first and then
      // the block the root's keys move to (left).
      std::vector<std::uint8_t> rootBlock(4096);
      h.IO().ReadBlock(h.root, 4096, rootBlock.data());
      const std::uint8_t* left = rootBlock.data() + udbnode::kHeaderSize;
      const std::uint8_t* right = left + 15;
      EXPECT_LT(udbkey::KeyAddress(right), udbkey::KeyAddress(left));
    }

    for (int n = 1; n <= limit + 1; ++n) {
      h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(n)).data());
      ASSERT_EQ(h.Tree().Find(2), 0);
      ASSERT_EQ(h.Tree().CurrentRecNo(), n);
      ASSERT_EQ(h.Tree().AddressOfRecNo(n), IntRow(n).addr);
    }

    for (int i = 1; i <= limit + 1; ++i) {
      h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(i)).data());
      ASSERT_EQ(h.Tree().Find(2), 0);
      h.Tree().Delete();
    }
    EXPECT_EQ(h.depth, 1u);
    EXPECT_EQ(h.root, root);
    EXPECT_EQ(h.Tree().RecordCount(), 0u);
    if (!disk) {  // every other node released
      EXPECT_EQ(h.memIO->BlockCount(), 1);
    }
  }
}

TEST(TBTree, AKeyBetweenTwoLeavesIsAppendedToTheLeftLeaf) {
  for (bool disk : {false, true}) {
    SCOPED_TRACE(disk ? "disk" : "memory");
    TTreeHarness h(disk, 4096);
    h.Define(*IntPrimary());
    h.CreateAndOpen();
    const int limit = KeysPerFullNode(4096, 15);
    for (int i = 1; i <= limit + 1; ++i) InsertRow(h.Tree(), IntRow(2 * i));
    ASSERT_EQ(h.depth, 2u);
    // Root entries are 15 bytes: count at 2, child at 6, the A part at 11.
    auto rootEntry = [&](int entry, int offset) {
      std::vector<std::uint8_t> block(4096);
      h.IO().ReadBlock(h.root, 4096, block.data());
      std::int32_t v;
      std::memcpy(&v, block.data() + udbnode::kHeaderSize + entry * 15 + offset, 4);
      return v;
    };
    const std::int32_t rightFirst = rootEntry(1, 11);
    const std::int32_t leftCount = rootEntry(0, 2), rightCount = rootEntry(1, 2);
    ASSERT_EQ(rightFirst % 2, 0);

    InsertRow(h.Tree(), IntRow(rightFirst - 1));
    EXPECT_EQ(rootEntry(1, 11), rightFirst);  // the right leaf's first key stays
    EXPECT_EQ(rootEntry(0, 2), leftCount + 1);
    EXPECT_EQ(rootEntry(1, 2), rightCount);
    EXPECT_EQ(h.Tree().CurrentRecordAddress(), IntRow(rightFirst - 1).addr);
    EXPECT_EQ(h.Tree().CurrentRecNo(), leftCount + 1);
    h.Tree().CheckStructureForTest();
  }
}

TEST(TBTree, EmptyIndexFindsNothing) {
  TTreeHarness h(false, 4096);
  h.Define(*IntPrimary());
  h.CreateAndOpen();
  EXPECT_EQ(h.Tree().RecordCount(), 0u);
  h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(5)).data());
  for (int mode = 0; mode <= 5; ++mode) EXPECT_NE(h.Tree().Find(mode), 0) << mode;
  EXPECT_FALSE(h.Tree().Next());
  EXPECT_FALSE(h.Tree().First());
  EXPECT_UDB_ERROR(h.Tree().CurrentKey(), 8581);
  EXPECT_EQ(h.Tree().CurrentRecNo(), 0);
}

TEST(TBTree, GreaterThanTheLastAndAtLeastAboveAllFail) {
  TTreeHarness h(false, 4096);
  h.Define(*IntPrimary());
  h.CreateAndOpen();
  for (int i = 1; i <= 10; ++i) InsertRow(h.Tree(), IntRow(i * 10));
  h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(100)).data());
  EXPECT_EQ(h.Tree().Find(4), -1);
  h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(101)).data());
  EXPECT_NE(h.Tree().Find(3), 0);
  EXPECT_EQ(h.Tree().Find(5), 0);  // nearest: the last key
  EXPECT_EQ(h.Tree().CurrentRecordAddress(), IntRow(100).addr);
  h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(10)).data());
  EXPECT_EQ(h.Tree().Find(0), -1);
}

TEST(TBTree, EqualUserPartsFollowInRecordIdOrder) {
  TTreeHarness h(false, 4096);
  h.Define(*NonUniqueA());
  h.CreateAndOpen();
  InsertRow(h.Tree(), IntRow(7, 30));
  InsertRow(h.Tree(), IntRow(7, 10));
  InsertRow(h.Tree(), IntRow(7, 20));
  EXPECT_EQ(Walk(h.Tree()), (std::vector<TUdbAddr>{IntRow(7, 10).addr, IntRow(7, 20).addr, IntRow(7, 30).addr}));
}

// The run of 1000 equal user parts spans many leaves (and, with small nodes,
// several internal levels): every mode must start or end exactly at the run's
// edges.
TEST(TBTree, PartialKeySearchesLandOnTheEdgesOfALongRunOfEqualKeys) {
  for (int nodeSize : {4096, 512}) {
    SCOPED_TRACE(nodeSize);
    TTreeHarness h(false, nodeSize);
    h.Define(*NonUniqueA());
    h.CreateAndOpen();
    std::vector<TRow> rows;
    int id = 1;
    for (int i = 0; i < 100; ++i) rows.push_back(IntRow(1, id++));
    for (int i = 0; i < 1000; ++i) rows.push_back(IntRow(5, id++));
    for (int i = 0; i < 100; ++i) rows.push_back(IntRow(9, id++));
    std::mt19937 rng(7);
    std::shuffle(rows.begin(), rows.end(), rng);
    for (const TRow& r : rows) InsertRow(h.Tree(), r);
    ASSERT_GE(h.depth, 2u);
    h.Tree().CheckStructureForTest();

    TSearchModifier userParts{0, true};  // all parts before the hidden one
    TSearchModifier firstPart{1, true};
    struct Case {
      int mode;
      int recNo;  // 0: fails
    } cases[] = {{0, 100}, {1, 1100}, {2, 101}, {3, 101}, {4, 1101}, {5, 101}};
    for (const TSearchModifier& mod : {userParts, firstPart}) {
      for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(5, 999999)).data());
        ASSERT_EQ(h.Tree().Find(c.mode, mod), 0);
        EXPECT_EQ(h.Tree().CurrentRecNo(), c.recNo);
      }
    }
    // From the first of the run, the scan collects exactly the run.
    h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(5, 0)).data());
    ASSERT_EQ(h.Tree().Find(2, userParts), 0);
    std::vector<TScanMatch> list;
    h.Tree().ScanMatches(1, h.Tree().SearchKey(), 2, false, 0, list);
    ASSERT_EQ(list.size(), 1000u);
    EXPECT_EQ(list.front().RecNo, 101);
    EXPECT_EQ(list.back().RecNo, 1100);
    EXPECT_EQ(h.Tree().CurrentRecNo(), 101);  // the scan leaves the cursor
  }
}

TEST(TBTree, PartModifiersMakeTheSearchKeyLowOrHighForTheRestOfTheKey) {
  TTreeHarness h(false, 512);
  h.Define(*NonUniqueAB(false));
  h.CreateAndOpen();
  int id = 1;
  for (int a = 1; a <= 3; ++a)
    for (const char* b : {"a", "b", "c", "d"})
      for (int k = 0; k < 5; ++k) {
        TRow r = IntRow(a, id++);
        r.b = b;
        InsertRow(h.Tree(), r);
      }
  TRow s = IntRow(2, 1);
  s.b = "zzz";
  TKeyModifiers low{1, 0, 0};
  TKeyModifiers high{1, 2, 2};
  h.Tree().SetSearchKeyFromRecord(RecordOf(s).data(), &low);
  ASSERT_EQ(h.Tree().Find(3), 0);
  EXPECT_EQ(h.Tree().CurrentRecNo(), 21);
  h.Tree().SetSearchKeyFromRecord(RecordOf(s).data(), &high);
  ASSERT_EQ(h.Tree().Find(1), 0);
  EXPECT_EQ(h.Tree().CurrentRecNo(), 40);
}

// --- randomised model test ----------------------------------------------------

struct RandomCase {
  bool disk;
  int nodeSize;
  bool aDescending;
  int operations;
  std::uint32_t minDepth;  // reached at the peak
};

class TBTreeRandom : public ::testing::TestWithParam<RandomCase> {};

TRow RandomRow(std::mt19937& rng, int id) {
  TRow r;
  r.aNull = rng() % 10 == 0;
  r.a = static_cast<std::int32_t>(rng() % 25) - 12;
  if (rng() % 20 == 0) r.a = rng() % 2 ? INT32_MAX : INT32_MIN;
  r.bNull = rng() % 10 == 0;
  static const char* const kWords[] = {"", "a", "B", "ab", "aB", "b", "ba", "abc", "工资"};
  r.b = kWords[rng() % 9];
  r.id = id;
  r.addr = 0x10000u + static_cast<TUdbAddr>(id) * 16u;
  return r;
}

void CheckAgainstModel(TTreeHarness& h, const std::vector<TRow>& model, std::mt19937& rng, bool aDesc) {
  TBTree& tree = h.Tree();
  ASSERT_EQ(tree.RecordCount(), model.size());
  tree.CheckStructureForTest();
  std::vector<TUdbAddr> expected;
  for (const TRow& r : model) expected.push_back(r.addr);
  ASSERT_EQ(Walk(tree), expected);
  if (!model.empty()) {
    for (int k = 0; k < 5; ++k) {
      const int n = static_cast<int>(rng() % model.size()) + 1;
      ASSERT_EQ(tree.AddressOfRecNo(n), model[static_cast<size_t>(n - 1)].addr);
    }
  }
  const TSearchModifier mods[] = {{0, false}, {0, true}, {1, true}, {2, true}};
  const int parts[] = {3, 2, 1, 2};
  for (int k = 0; k < 12; ++k) {
    TRow s = RandomRow(rng, static_cast<int>(rng() % 4000));
    if (!model.empty() && rng() % 2) {  // often a key that is there
      s = model[rng() % model.size()];
      if (rng() % 3 == 0) s.id += (rng() % 2) ? 1 : -1;
    }
    for (int m = 0; m < 4; ++m) {
      for (int mode = 0; mode <= 5; ++mode) {
        tree.SetSearchKeyFromRecord(RecordOf(s).data());
        const int want = ModelFind(model, s, parts[m], mode, aDesc);
        const int got = tree.Find(mode, mods[m]);
        ASSERT_EQ(got == 0, want >= 0) << "mode " << mode << " modifier " << m;
        if (want >= 0) {
          ASSERT_EQ(tree.CurrentRecordAddress(), model[static_cast<size_t>(want)].addr) << "mode " << mode;
          ASSERT_EQ(tree.CurrentRecNo(), want + 1);
        }
      }
    }
  }
}

// The model: an ordered multimap in the index's order.
struct TModelLess {
  bool aDescending;
  bool operator()(const TRow& x, const TRow& y) const { return ModelCompare(x, y, 3, aDescending) < 0; }
};
using TModel = std::multimap<TRow, TUdbAddr, TModelLess>;

std::vector<TRow> InOrder(const TModel& model) {
  std::vector<TRow> rows;
  for (const auto& [row, addr] : model) rows.push_back(row);
  return rows;
}

TEST_P(TBTreeRandom, EveryOperationAndSearchModeAgreesWithAnOrderedModel) {
  const RandomCase c = GetParam();
  TTreeHarness h(c.disk, c.nodeSize);
  h.Define(*NonUniqueAB(c.aDescending));
  h.CreateAndOpen();
  const std::uint32_t root = h.root;
  std::mt19937 rng(c.nodeSize + c.disk * 3 + c.aDescending * 5);
  TModel model(TModelLess{c.aDescending});
  std::uint32_t maxDepth = 1;
  int nextId = 1;
  for (int op = 1; op <= c.operations; ++op) {
    // Grow during the first half, shrink to empty during the second.
    const bool grow = op <= c.operations / 2 ? rng() % 4 != 0 : rng() % 4 == 0;
    if (grow || model.empty()) {
      TRow r = RandomRow(rng, nextId++);
      InsertRow(h.Tree(), r);
      const auto at = model.emplace(r, r.addr);
      ASSERT_EQ(h.Tree().CurrentRecordAddress(), r.addr);
      ASSERT_EQ(h.Tree().CurrentRecNo(), std::distance(model.begin(), at) + 1);
    } else {
      auto at = std::next(model.begin(), static_cast<long>(rng() % model.size()));
      h.Tree().SetSearchKeyFromRecord(RecordOf(at->first).data());
      ASSERT_EQ(h.Tree().Find(2), 0);
      ASSERT_EQ(h.Tree().CurrentRecordAddress(), at->second);
      // Half the deletes go where the search left the cursor, without a
      // second descent; the model and the structure checks see no difference.
      if (rng() % 2)
        h.Tree().DeleteAtCursor();
      else
        h.Tree().Delete();
      at = model.erase(at);
      if (at != model.end()) {
        ASSERT_EQ(h.Tree().CurrentRecordAddress(), at->second);  // the next key
      } else if (!model.empty()) {
        ASSERT_EQ(h.Tree().CurrentRecordAddress(), std::prev(model.end())->second);
      }
    }
    maxDepth = std::max(maxDepth, h.depth);
    ASSERT_EQ(h.root, root);
    if (op % (c.operations / 32) == 0) {
      CheckAgainstModel(h, InOrder(model), rng, c.aDescending);
      if (c.disk) {
        h.Reopen();
        CheckAgainstModel(h, InOrder(model), rng, c.aDescending);
      }
    }
  }
  while (!model.empty()) {
    const auto last = std::prev(model.end());
    h.Tree().SetSearchKeyFromRecord(RecordOf(last->first).data());
    ASSERT_EQ(h.Tree().Find(2), 0);
    h.Tree().Delete();
    model.erase(last);
  }
  EXPECT_GE(maxDepth, c.minDepth);
  EXPECT_EQ(h.depth, 1u);
  EXPECT_EQ(h.root, root);
  CheckAgainstModel(h, InOrder(model), rng, c.aDescending);
  std::vector<TUdbAddr> blocks;  // every node but the root was released
  h.IO().ListBlocks(blocks);
  EXPECT_EQ(blocks, std::vector<TUdbAddr>{root});
}

INSTANTIATE_TEST_SUITE_P(Interfaces, TBTreeRandom,
                         ::testing::Values(RandomCase{false, 512, false, 4000, 4}, RandomCase{false, 512, true, 4000, 4},
                                           RandomCase{false, 4096, false, 12000, 3},
                                           RandomCase{true, 4096, false, 12000, 3},
                                           RandomCase{true, 4096, true, 6000, 2}));

// Keys mostly added above every key (a descent that ends at the right
// edge makes the next one try the last entries first), mixed with keys
// anywhere, deletes of the last key and searches in every mode: the tree
// must agree with the model throughout, on small and large nodes.
TEST(TBTree, KeysAddedInAscendingRunsAgreeWithAnOrderedModel) {
  for (int nodeSize : {512, 4096}) {
    for (bool aDesc : {false, true}) {
      SCOPED_TRACE(std::to_string(nodeSize) + (aDesc ? " descending A" : " ascending A"));
      TTreeHarness h(false, nodeSize);
      h.Define(*NonUniqueAB(aDesc));
      h.CreateAndOpen();
      std::mt19937 rng(static_cast<unsigned>(nodeSize) + aDesc);
      TModel model(TModelLess{aDesc});
      std::uint32_t maxDepth = 1;
      for (int op = 1; op <= 3000; ++op) {
        const unsigned pick = rng() % 10;
        if (pick < 9 || model.empty()) {
          TRow r = RandomRow(rng, op);
          if (pick < 7) {
            r.aNull = false;
            r.a = 100 + op;  // above every key but the extremes
            if (aDesc) r.a = -r.a;
          }
          InsertRow(h.Tree(), r);
          const auto at = model.emplace(r, r.addr);
          ASSERT_EQ(h.Tree().CurrentRecordAddress(), r.addr) << op;
          ASSERT_EQ(h.Tree().CurrentRecNo(), std::distance(model.begin(), at) + 1) << op;
        } else {
          const auto last = std::prev(model.end());
          h.Tree().SetSearchKeyFromRecord(RecordOf(last->first).data());
          ASSERT_EQ(h.Tree().Find(2), 0);
          h.Tree().Delete();
          model.erase(last);
        }
        maxDepth = std::max(maxDepth, h.depth);
        if (op % 250 == 0) CheckAgainstModel(h, InOrder(model), rng, aDesc);
      }
      EXPECT_GE(maxDepth, nodeSize == 512 ? 3u : 2u);
    }
  }
}

// --- an insert that follows the check of its key --------------------------------

// Every block of a tree's interface, in allocation order, with its bytes.
std::vector<std::pair<TUdbAddr, std::vector<std::uint8_t>>> Blocks(TTreeHarness& h) {
  std::vector<TUdbAddr> list;
  h.IO().ListBlocks(list);
  std::vector<std::pair<TUdbAddr, std::vector<std::uint8_t>>> out;
  for (TUdbAddr a : list) {
    std::vector<std::uint8_t> bytes(static_cast<size_t>(h.nodeSize));
    h.IO().ReadBlock(a, h.nodeSize, bytes.data());
    out.emplace_back(a, std::move(bytes));
  }
  return out;
}

// The engine checks a key (a search for it) just before inserting it, and
// the insert goes on from where that search landed.  Against a twin tree
// whose every insert descends afresh, the same changes must leave the same
// blocks byte for byte, and the cursor on the new key: with rows arriving
// department by department in turn (the check's landing often steps on to
// the next leaf, whose first key is the next department's), with random
// rows, deletes, and other moves or changes between the check and the
// insert that the insert must not take over.
TEST(TBTree, AnInsertAfterTheCheckOfItsKeyBuildsTheSameNodesAsOneThatDescendsAgain) {
  for (int nodeSize : {512, 4096}) {
    SCOPED_TRACE(nodeSize);
    TTreeHarness checked(false, nodeSize), fresh(false, nodeSize);
    for (TTreeHarness* h : {&checked, &fresh}) {
      h->Define(*NonUniqueAB(false));
      h->CreateAndOpen();
    }
    std::mt19937 rng(static_cast<std::uint32_t>(nodeSize));
    TModel model(TModelLess{false});
    int nextId = 1;
    const int operations = nodeSize == 512 ? 6000 : 20000;
    for (int op = 0; op < operations; ++op) {
      TRow r;
      const int kind = static_cast<int>(rng() % 20);
      if (kind < 14) {  // in turn over ten departments, ascending within each
        r.a = nextId % 10;
        r.b = "c";
        r.id = nextId++;
        r.addr = 0x10000u + static_cast<TUdbAddr>(r.id) * 16u;
      } else if (kind < 17) {
        r = RandomRow(rng, nextId++);
      } else if (!model.empty()) {  // a delete at the cursor of its search
        const auto at = std::next(model.begin(), static_cast<long>(rng() % model.size()));
        for (TTreeHarness* h : {&checked, &fresh}) {
          h->Tree().SetSearchKeyFromRecord(RecordOf(at->first).data());
          ASSERT_EQ(h->Tree().Find(2), 0);
          h->Tree().DeleteAtCursor();
        }
        model.erase(at);
        continue;
      } else {
        continue;
      }
      const auto rec = RecordOf(r);
      TBTree& tree = checked.Tree();
      tree.SetSearchKeyFromRecord(rec.data());
      ASSERT_NE(tree.Find(2), 0);  // the check: the key is free
      switch (rng() % 9) {
        case 0: {  // a change between the check and the insert
          if (model.empty()) break;
          const auto at = std::next(model.begin(), static_cast<long>(rng() % model.size()));
          for (TTreeHarness* h : {&checked, &fresh}) {
            h->Tree().SetSearchKeyFromRecord(RecordOf(at->first).data());
            ASSERT_EQ(h->Tree().Find(2), 0);
            h->Tree().Delete();
          }
          model.erase(at);
          break;
        }
        case 1:  // a walk that may cross leaves
          for (int k = static_cast<int>(rng() % 300); k > 0 && tree.Next();) --k;
          break;
        case 2:
          for (int k = static_cast<int>(rng() % 300); k > 0 && tree.Prior();) --k;
          break;
        case 3:  // a search for a neighbouring key in another mode
          tree.Find(static_cast<int>(rng() % 6));
          break;
        case 4:
          tree.ResetNodes();
          break;
        case 5: {  // a change where the check left the cursor
          if (!tree.KeyValid()) break;
          const TUdbAddr gone = tree.CurrentRecordAddress();
          tree.DeleteAtCursor();
          const auto at = std::find_if(model.begin(), model.end(), [&](const auto& e) { return e.second == gone; });
          ASSERT_NE(at, model.end());
          fresh.Tree().SetSearchKeyFromRecord(RecordOf(at->first).data());
          ASSERT_EQ(fresh.Tree().Find(2), 0);
          fresh.Tree().Delete();
          model.erase(at);
          break;
        }
        default:
          break;
      }
      tree.SetSearchKeyFromRecord(rec.data());
      tree.Insert(r.addr);
      fresh.Tree().First();  // the twin's insert descends from the root
      InsertRow(fresh.Tree(), r);
      const auto at = model.emplace(r, r.addr);
      ASSERT_EQ(tree.CurrentRecordAddress(), r.addr);
      ASSERT_EQ(tree.CurrentRecNo(), std::distance(model.begin(), at) + 1);
      ASSERT_EQ(checked.depth, fresh.depth);
      if (op % 500 == 0) {
        ASSERT_EQ(Blocks(checked), Blocks(fresh)) << "after operation " << op;
      }
    }
    EXPECT_GE(checked.depth, nodeSize == 512 ? 4u : 3u);
    EXPECT_EQ(Blocks(checked), Blocks(fresh));
    CheckAgainstModel(checked, InOrder(model), rng, false);
  }
}

// --- nodes kept between descents ------------------------------------------------

// A tree keeps the nodes its descents leave and takes them back instead of
// reading them again.  A twin that forgets its nodes before every operation
// reads each one from the blocks.  Rows arrive in turn at many places of
// the key order (more leaves than the tree keeps, so kept nodes are also
// pushed out), with random rows, deletes of either kind, walks across
// leaves, jumps to either end and searches in every mode between them: both
// must land on the same entries and leave the same blocks byte for byte.
TEST(TBTree, ATreeThatKeepsNodesBetweenDescentsAgreesWithOneThatReadsEveryNode) {
  for (bool disk : {false, true}) {
    for (int nodeSize : {512, 4096}) {
      SCOPED_TRACE(std::string(disk ? "disk " : "memory ") + std::to_string(nodeSize));
      TTreeHarness kept(disk, nodeSize), fresh(disk, nodeSize);
      for (TTreeHarness* h : {&kept, &fresh}) {
        h->Define(*NonUniqueAB(false));
        h->CreateAndOpen();
      }
      std::mt19937 rng(static_cast<std::uint32_t>(nodeSize + disk));
      TModel model(TModelLess{false});
      int nextId = 1;
      const int streams = nodeSize == 512 ? 40 : 12;
      const int operations = nodeSize == 512 ? 6000 : 16000;
      // The twin forgets its nodes first; a walk goes on from where the
      // kept tree stands, so the twin is put there by a search of its own.
      auto both = [&](auto&& op, bool fromCursor = false) {
        fresh.Tree().ResetNodes();
        if (fromCursor) {
          fresh.Tree().SetSearchKeyFromKey(kept.Tree().CurrentKey());
          ASSERT_EQ(fresh.Tree().Find(2), 0);
        }
        const int a = op(kept.Tree());
        const int b = op(fresh.Tree());
        ASSERT_EQ(a, b);
        ASSERT_EQ(kept.Tree().KeyValid(), fresh.Tree().KeyValid());
        if (kept.Tree().KeyValid()) {
          ASSERT_EQ(kept.Tree().CurrentRecordAddress(), fresh.Tree().CurrentRecordAddress());
        }
      };
      for (int op = 1; op <= operations; ++op) {
        const int kind = static_cast<int>(rng() % 20);
        if (kind < 11 || model.empty()) {  // rows in turn over the streams, ascending within each
          TRow r = kind < 9 ? TRow{} : RandomRow(rng, nextId);
          if (kind < 9) {
            r.a = nextId % streams;
            r.b = "c";
          }
          r.id = nextId++;
          r.addr = 0x10000u + static_cast<TUdbAddr>(r.id) * 16u;
          const auto rec = RecordOf(r);
          both([&](TBTree& t) {  // the check of the key, then the insert
            t.SetSearchKeyFromRecord(rec.data());
            const int found = t.Find(2);
            t.SetSearchKeyFromRecord(rec.data());
            t.Insert(r.addr);
            return found;
          });
          model.emplace(r, r.addr);
        } else if (kind < 13) {
          const auto at = std::next(model.begin(), static_cast<long>(rng() % model.size()));
          const auto rec = RecordOf(at->first);
          const bool atCursor = rng() % 2 != 0;
          both([&](TBTree& t) {
            t.SetSearchKeyFromRecord(rec.data());
            const int found = t.Find(2);
            if (atCursor)
              t.DeleteAtCursor();
            else
              t.Delete();
            return found;
          });
          model.erase(at);
        } else if (kind < 15) {
          if (!kept.Tree().KeyValid()) continue;
          const int steps = static_cast<int>(rng() % 200);
          const bool forward = rng() % 2 != 0;
          both(
              [&](TBTree& t) {
                int moved = 0;
                for (; moved < steps && (forward ? t.Next() : t.Prior()); ++moved) {
                }
                return moved;
              },
              true);
        } else if (kind < 17) {
          const bool last = rng() % 4 != 0;
          both([&](TBTree& t) { return last ? t.Last() : t.First(); });
        } else {
          TRow s = RandomRow(rng, static_cast<int>(rng() % 4000));
          if (rng() % 2) s = std::next(model.begin(), static_cast<long>(rng() % model.size()))->first;
          const auto rec = RecordOf(s);
          const int mode = static_cast<int>(rng() % 6);
          const TSearchModifier modifier{static_cast<int>(rng() % 3), rng() % 2 != 0};
          both([&](TBTree& t) {
            t.SetSearchKeyFromRecord(rec.data());
            return t.Find(mode, modifier);
          });
        }
        ASSERT_FALSE(::testing::Test::HasFatalFailure()) << "operation " << op;
        ASSERT_EQ(kept.depth, fresh.depth);
        if (op % 400 == 0) {
          ASSERT_EQ(Blocks(kept), Blocks(fresh)) << "after operation " << op;
        }
      }
      EXPECT_GE(kept.depth, nodeSize == 512 ? 4u : 3u);
      EXPECT_EQ(Blocks(kept), Blocks(fresh));
      CheckAgainstModel(kept, InOrder(model), rng, false);
    }
  }
}

// --- scans and read-ahead ------------------------------------------------------

struct IntTreeFixture : ::testing::Test {
  TTreeHarness h{false, 512};
  void SetUp() override {
    h.Define(*IntPrimary());
    h.CreateAndOpen();
    for (int i = 1; i <= 100; ++i) InsertRow(h.Tree(), IntRow(i));
  }
  void Go(int a) {
    h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(a)).data());
    ASSERT_EQ(h.Tree().Find(2), 0);
  }
};

TEST_F(IntTreeFixture, ScanMatchesStopsAtTheStopAddressInEitherDirection) {
  Go(40);
  std::vector<TScanMatch> list;
  h.Tree().ScanMatches(0, h.Tree().SearchKey(), 3, false, IntRow(60).addr, list);
  ASSERT_EQ(list.size(), 21u);
  EXPECT_EQ(list.front().Address, IntRow(40).addr);
  EXPECT_EQ(list.back().RecNo, 60);
  h.Tree().ScanMatches(0, h.Tree().SearchKey(), 1, false, IntRow(5).addr, list);
  ASSERT_EQ(list.size(), 36u);
  EXPECT_EQ(list.back().Address, IntRow(5).addr);
  EXPECT_EQ(list.back().RecNo, 5);
  h.Tree().ScanMatches(0, h.Tree().SearchKey(), 1, true, 0, list);
  ASSERT_EQ(list.size(), 40u);  // to the first record, reversed into key order
  EXPECT_EQ(list.front().RecNo, 1);
  EXPECT_EQ(list.back().RecNo, 40);
}

TEST_F(IntTreeFixture, ReadAheadTakesEntriesOfTheCurrentLeafWithTheirNumbers) {
  TReadAheadBuffer buffer;
  buffer.Init(32, h.Tree().MaximumKeySize(), 10);
  for (int direction : {1, 2, 3}) {
    SCOPED_TRACE(direction);
    Go(50);
    h.Tree().ReadAhead(direction, 4, buffer);
    ASSERT_GE(buffer.Count(), 1);
    bool sawCursor = false;
    for (int i = 0; i < buffer.Count(); ++i) {
      TReadAheadBufferItem* item = buffer.Items(i);
      EXPECT_EQ(item->RecordAddress, IntRow(item->RecordNumber).addr);
      EXPECT_EQ(udbkey::KeyAddress(item->KeyBuffer), item->RecordAddress);
      if (i > 0) {
        EXPECT_EQ(item->RecordNumber, buffer.Items(i - 1)->RecordNumber + 1);
      }
      sawCursor |= item->RecordNumber == 50;
    }
    EXPECT_TRUE(sawCursor);
    if (direction == 1) {
      EXPECT_EQ(buffer.Last()->RecordNumber, 50);
    }
    if (direction == 2) {
      EXPECT_EQ(buffer.Items(0)->RecordNumber, 50);
    }
  }
}

TEST_F(IntTreeFixture, MovingPastEitherEndFailsAndKeepsTheKey) {
  Go(100);
  EXPECT_FALSE(h.Tree().Next());
  EXPECT_EQ(h.Tree().CurrentRecNo(), 100);
  Go(1);
  EXPECT_FALSE(h.Tree().Prior());
  EXPECT_EQ(h.Tree().CurrentRecordAddress(), IntRow(1).addr);
  std::vector<TUdbAddr> back;
  ASSERT_TRUE(h.Tree().Last());
  do back.push_back(h.Tree().CurrentRecordAddress());
  while (h.Tree().Prior());
  ASSERT_EQ(back.size(), 100u);
  EXPECT_EQ(back.front(), IntRow(100).addr);
}

TEST_F(IntTreeFixture, AScanRefusesALeafChainThatDoesNotLinkBack) {
  ASSERT_EQ(h.depth, 2u);
  std::vector<std::uint8_t> root(512);
  h.memIO->ReadBlock(h.root, 512, root.data());
  const TUdbAddr second = udbkey::KeyAddress(root.data() + udbnode::kHeaderSize + h.Tree().MaximumKeySize());
  std::vector<std::uint8_t> block(512);
  h.memIO->ReadBlock(second, 512, block.data());
  block[udbnode::kPriorLeaf] ^= 0x10;
  h.memIO->WriteBlock(second, 512, block.data());
  Go(1);
  std::vector<TScanMatch> list;
  EXPECT_UDB_ERROR(h.Tree().ScanMatches(0, h.Tree().SearchKey(), 3, false, 0, list), 8451);
}

// Each row damages the index of 100 keys (depth 2) so that a walk would
// come back to leaves it has passed; every walk ends with 8451 instead.
TEST_F(IntTreeFixture, AWalkOverNodesThatLeadBackEndsWith8451) {
  ASSERT_EQ(h.depth, 2u);
  const int keySize = h.Tree().MaximumKeySize();
  std::vector<std::uint8_t> root(512);
  h.memIO->ReadBlock(h.root, 512, root.data());
  const int children = static_cast<int>(udbfmt::GetU32(root.data() + udbnode::kUsedBytes)) / keySize;
  ASSERT_GE(children, 3);
  auto child = [&](int i) { return udbkey::KeyAddress(root.data() + udbnode::kHeaderSize + i * keySize); };
  struct TCase {
    const char* what;
    int entry;  // the root entry made to point at the first child
  };
  for (const TCase& c : {TCase{"the last child is the first again", children - 1},
                         TCase{"a middle child is the first again", children / 2}}) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> damaged = root;
    udbkey::SetKeyAddress(damaged.data() + udbnode::kHeaderSize + c.entry * keySize, child(0));
    h.memIO->WriteBlock(h.root, 512, damaged.data());
    h.Tree().ResetNodes();
    int steps = 0;
    auto walk = [&](bool forward) {
      bool more = forward ? h.Tree().First() : h.Tree().Last();
      while (more && ++steps < 1000) more = forward ? h.Tree().Next() : h.Tree().Prior();
    };
    EXPECT_UDB_ERROR(walk(true), 8451);
    EXPECT_UDB_ERROR(walk(false), 8451);
    // A walk by searches, each for the key after the one reached.
    auto searches = [&] {
      ASSERT_TRUE(h.Tree().First());
      for (steps = 0; steps < 1000; ++steps) {
        std::vector<std::uint8_t> key(h.Tree().CurrentKey(), h.Tree().CurrentKey() + keySize);
        h.Tree().SetSearchKeyFromKey(key.data());
        if (h.Tree().Find(4) != 0) return;  // greater than: none left
      }
    };
    EXPECT_UDB_ERROR(searches(), 8451);
    EXPECT_LT(steps, 1000);
  }
  h.memIO->WriteBlock(h.root, 512, root.data());
}

TEST_F(IntTreeFixture, RecordNumbersOutsideTheIndexAreRefused) {
  EXPECT_UDB_ERROR(h.Tree().AddressOfRecNo(0), 8581);
  EXPECT_UDB_ERROR(h.Tree().AddressOfRecNo(101), 8581);
  EXPECT_EQ(h.Tree().AddressOfRecNo(100), IntRow(100).addr);
}

// --- damaged nodes ---------------------------------------------------------------

// Every block's bytes, to prove that a refused operation wrote nothing.
std::map<TUdbAddr, std::vector<std::uint8_t>> Snapshot(TMemoryIOInterface& io, int nodeSize) {
  std::map<TUdbAddr, std::vector<std::uint8_t>> out;
  for (TUdbAddr a = io.NextBlock(0); a != 0; a = io.NextBlock(a)) {
    std::vector<std::uint8_t> bytes(static_cast<size_t>(nodeSize));
    io.ReadBlock(a, nodeSize, bytes.data());
    out[a] = bytes;
  }
  return out;
}

struct Damage {
  const char* what;
  int offset;  // in the first leaf block
  std::uint32_t value;
  int width;
};

TEST(TBTree, DamagedNodeBytesAreRefusedBeforeAnyWrite) {
  const Damage cases[] = {
      {"byte count past the key area", udbnode::kUsedBytes, 5000, 4},
      {"byte count not a whole number of keys", udbnode::kUsedBytes, 31, 4},
      {"key length too large", udbnode::kHeaderSize, 400, 2},
      {"key length zero", udbnode::kHeaderSize + 15, 0, 2},
      {"leaf flag of neither kind", udbnode::kLeafFlag, 9, 4},
  };
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.what);
    TTreeHarness h(false, 512);
    h.Define(*IntPrimary());
    h.CreateAndOpen();
    for (int i = 1; i <= 200; ++i) InsertRow(h.Tree(), IntRow(i));
    ASSERT_EQ(h.depth, 2u);
    // The first leaf: the child of the root's first entry.
    std::vector<std::uint8_t> root(512);
    h.memIO->ReadBlock(h.root, 512, root.data());
    const TUdbAddr first = udbkey::KeyAddress(root.data() + udbnode::kHeaderSize);
    std::vector<std::uint8_t> block(512);
    h.memIO->ReadBlock(first, 512, block.data());
    for (int i = 0; i < d.width; ++i) block[static_cast<size_t>(d.offset + i)] = static_cast<std::uint8_t>(d.value >> (8 * i));
    h.memIO->WriteBlock(first, 512, block.data());
    h.Tree().ResetNodes();
    const auto before = Snapshot(*h.memIO, 512);

    h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(3)).data());
    EXPECT_UDB_ERROR(h.Tree().Find(2), 8451);
    h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(0)).data());
    EXPECT_UDB_ERROR(h.Tree().Insert(IntRow(0).addr), 8451);
    EXPECT_UDB_ERROR(h.Tree().AddressOfRecNo(1), 8451);
    EXPECT_EQ(Snapshot(*h.memIO, 512), before);
  }
}

TEST(TBTree, DamagedNodeBytesInTheDatabaseFileAreRefusedAfterReopen) {
  TTreeHarness h(true, 4096);
  h.Define(*IntPrimary());
  h.CreateAndOpen();
  for (int i = 1; i <= 600; ++i) InsertRow(h.Tree(), IntRow(i));
  ASSERT_EQ(h.depth, 2u);
  const TUdbAddr leaf = udbkey::KeyAddress(h.db->Bytes().data() + h.root + udbnode::kHeaderSize);
  h.Reopen();
  auto& bytes = h.db->Bytes();
  bytes[leaf + udbnode::kUsedBytes + 1] = 0x7F;  // byte count far past the node
  const auto before = bytes;
  h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(2)).data());
  EXPECT_UDB_ERROR(h.Tree().Find(2), 8451);
  h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(0)).data());
  EXPECT_UDB_ERROR(h.Tree().Insert(IntRow(0).addr), 8451);
  EXPECT_TRUE(h.db->Bytes() == before);
  // The undamaged half still answers.
  h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(590)).data());
  EXPECT_EQ(h.Tree().Find(2), 0);
}

// 32 user parts and the hidden RecordID: 33 parts in every key and search.
TEST(TBTree, AnIndexOfThirtyTwoPartsAndTheHiddenPartSearchesByUserParts) {
  TTreeHarness h(false, 4096);
  auto f = std::make_unique<TKeyFields>();
  for (int i = 0; i < 32; ++i) AddIntPart(*f, "Wide", i);
  AddRecordIdPart(*f, "Wide");
  h.Define(*f);
  h.CreateAndOpen();
  for (int id = 1; id <= 300; ++id) InsertRow(h.Tree(), IntRow(id % 3, id));
  h.Tree().CheckStructureForTest();
  h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(1, 1000)).data());
  ASSERT_EQ(h.Tree().Find(2, TSearchModifier{0, true}), 0);
  EXPECT_EQ(h.Tree().CurrentRecNo(), 101);
  ASSERT_EQ(h.Tree().Find(1, TSearchModifier{0, true}), 0);
  EXPECT_EQ(h.Tree().CurrentRecNo(), 200);
}

// A disk interface whose Nth node write (block or link header) fails.
class TFailingDiskIO : public TDiskIOInterface {
 public:
  int writes = 0;
  int failAt = -1;
  void WriteBlock(TUdbAddr address, int size, const void* buffer) override {
    Count();
    TDiskIOInterface::WriteBlock(address, size, buffer);
  }
  void WriteBlockHeader(TUdbAddr address, int size, const void* buffer) override {
    Count();
    TDiskIOInterface::WriteBlockHeader(address, size, buffer);
  }

 private:
  void Count() {
    if (++writes == failAt) UdbDatabaseError(8581, "TFailingDiskIO.WriteBlock", "injected write failure");
  }
};

// Every write of a batch of inserts and deletes fails in turn inside a
// transaction: the tree refuses further work, and after the rollback and a
// reset it is exactly the committed tree.
TEST(TBTree, AChangeThatFailsPartWayIsRefusedUntilRollbackAndLeavesTheCommittedTree) {
  TMemDatabase db;
  TFailingDiskIO io;
  io.SetDiskMgr(db.disk.get());
  io.SetBlockSize(512);
  io.SetUsage(kUsageIndex);
  io.SetTableId(1);
  io.SetGlobalHeaderItem(udbfmt::kItemIndexNodeFirstEmpty);
  io.Open();
  std::uint32_t root = 0, depth = 0;
  TBTree tree;
  tree.Init(&io, 512, &root, &depth);
  tree.CreateRoot();
  tree.SetKeyFields(*IntPrimary());
  tree.SetSortFunction(AsciiKeySort);
  tree.Open();
  std::vector<int> committed;
  for (int i = 2; i <= 400; i += 2) {
    InsertRow(tree, IntRow(i));
    committed.push_back(i);
  }
  auto batch = [&] {
    for (int i = 1; i <= 81; i += 2) InsertRow(tree, IntRow(i));
    for (int i = 2; i <= 200; i += 2) {
      tree.SetSearchKeyFromRecord(RecordOf(IntRow(i)).data());
      ASSERT_EQ(tree.Find(2), 0);
      tree.Delete();
    }
  };
  int failures = 0;
  for (int failAt = 1;; failAt += 7) {
    const std::uint32_t savedRoot = root, savedDepth = depth;
    db.disk->StartTransaction();
    io.writes = 0;
    io.failAt = failAt;
    TCaughtError e = CatchUdb(batch);
    io.failAt = -1;
    if (e.code == -1) {  // the batch got through: no write left to fail
      db.disk->Rollback();
      break;
    }
    ++failures;
    ASSERT_EQ(e.code, 8581) << e.message;
    EXPECT_TRUE(tree.Failed());
    EXPECT_UDB_ERROR(tree.Find(2), 8581);
    db.disk->Rollback();
    root = savedRoot;
    depth = savedDepth;
    tree.ResetNodes();
    tree.CheckStructureForTest();
    std::vector<TUdbAddr> want;
    for (int k : committed) want.push_back(IntRow(k).addr);
    ASSERT_EQ(Walk(tree), want) << "write " << failAt;
  }
  EXPECT_GT(failures, 10);
}

TEST(TBTree, ADepthThatDisagreesWithTheNodesIsRefused) {
  TTreeHarness h(false, 4096);
  h.Define(*IntPrimary());
  h.CreateAndOpen();
  InsertRow(h.Tree(), IntRow(1));
  h.depth = 2;  // the header claims a level the root leaf does not have
  h.Tree().ResetNodes();
  h.Tree().SetSearchKeyFromRecord(RecordOf(IntRow(1)).data());
  EXPECT_UDB_ERROR(h.Tree().Find(2), 8451);
  h.depth = 0;
  EXPECT_UDB_ERROR(h.Tree().Find(2), 8451);
  h.depth = 1;
  EXPECT_EQ(h.Tree().Find(2), 0);
}

TEST(TBTree, OpenNeedsASortFunctionAndMatchingKeySize) {
  TMemoryIOInterface io;
  std::uint32_t root = 0, depth = 0;
  TBTree tree;
  tree.Init(&io, 4096, &root, &depth);
  tree.SetKeyFields(*IntPrimary());
  EXPECT_UDB_ERROR(tree.Open(), 8581);
  tree.SetSortFunction(AnsiKeySort);
  tree.SetKeyFields(*IntPrimary(), 16);  // the definition says another size
  EXPECT_UDB_ERROR(tree.Open(), 8581);
  tree.SetKeyFields(*IntPrimary(), 15);
  tree.Open();
  EXPECT_TRUE(tree.IsOpen());
}

TEST(TNode, KeysOfTheWrongSizeOrPositionAreRefused) {
  TMemoryIOInterface io;
  TNode node;
  EXPECT_UDB_ERROR(node.KeyAt(0), 8581);  // no buffer yet
  node.Init(&io, 256, 20);
  node.SetLeaf(true);
  std::vector<std::uint8_t> key(20, 0);
  key[0] = 20;
  node.InsertKey(0, key.data());
  EXPECT_UDB_ERROR(node.KeyAt(1), 8581);
  std::vector<std::uint8_t> wrong(20, 0);
  wrong[0] = 19;
  EXPECT_UDB_ERROR(node.ReplaceKey(0, wrong.data()), 8581);
  EXPECT_EQ(node.CountUpTo(-1), 1u);
  node.DeleteKey(0);
  EXPECT_TRUE(node.IsEmpty());
}

}  // namespace
