// Sort lists in memory and in a mapped file: typed keys, several keys with
// their own directions, the two string orders, bounded recursion.
#include "sql/SortList.h"

#include <pthread.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/core/AnsiText.h"
#include "platform/core/Files.h"
#include "sql/BookmarkHandles.h"
#include "sql/MemMapFile.h"
#include "sql/ResultSet.h"
#include "sql/SqlMessages.h"

namespace {

template <typename T>
std::unique_ptr<TsqSortList> Make(bool usesBookmarks = false, std::int64_t mapSize = 4096);
template <>
std::unique_ptr<TsqSortList> Make<TMemSortList>(bool usesBookmarks, std::int64_t) {
  return std::make_unique<TMemSortList>(usesBookmarks);
}
template <>
std::unique_ptr<TsqSortList> Make<TFileSortList>(bool usesBookmarks, std::int64_t mapSize) {
  return std::make_unique<TFileSortList>(usesBookmarks, mapSize);
}

// A key value of a row: text for string keys, a number for the others.
struct Key {
  Key(const char* t) : text(t) {}
  Key(double v) : number(v) {}
  const char* text = nullptr;
  double number = 0;
};

template <typename T>
class SortListTest : public ::testing::Test {
 protected:
  std::unique_ptr<TsqSortList> list = Make<T>();

  // One row per entry, numbered 1, 2, ... as their source row.
  void Fill(const std::vector<std::vector<Key>>& rows) {
    int src = 0;
    for (const auto& row : rows) {
      list->Insert();
      list->SetSourceRecNo(++src);
      for (size_t k = 0; k < row.size(); ++k) {
        TSrtField* f = list->Fields().Items(static_cast<int>(k));
        if (row[k].text) f->SetAsString(row[k].text);
        else if (f->DataType() == ttInteger) f->SetAsInteger(static_cast<int>(row[k].number));
        else if (f->DataType() == ttBoolean) f->SetAsBoolean(row[k].number != 0);
        else f->SetAsFloat(row[k].number);
      }
    }
  }
  std::vector<int> Order() {
    std::vector<int> out;
    for (int r = 1; r <= list->GetRecordCount(); ++r) {
      list->SetRecNo(r);
      out.push_back(list->GetSourceRecNo());
    }
    return out;
  }
  // The texts of key k in row order.
  std::vector<std::string> Keys(int k) {
    std::vector<std::string> out;
    for (int r = 1; r <= list->GetRecordCount(); ++r) {
      list->SetRecNo(r);
      out.push_back(list->Fields().Items(k)->GetAsString());
    }
    return out;
  }
};

using Kinds = ::testing::Types<TMemSortList, TFileSortList>;
TYPED_TEST_SUITE(SortListTest, Kinds);

TYPED_TEST(SortListTest, KeysAreLaidOutAfterTheSourceNumber) {
  auto& l = *this->list;
  TSrtField* s = l.AddField(ttString, 5, false);
  TSrtField* f = l.AddField(ttFloat, 0, false);
  TSrtField* i = l.AddField(ttInteger, 0, false);
  TSrtField* b = l.AddField(ttBoolean, 0, true);
  EXPECT_EQ(s->Offset(), 4);
  EXPECT_EQ(s->DataSize(), 6);
  EXPECT_EQ(f->Offset(), 10);
  EXPECT_EQ(i->Offset(), 18);
  EXPECT_EQ(b->Offset(), 22);
  EXPECT_EQ(l.RecordSize(), 24);
  EXPECT_TRUE(b->Desc());
}

TYPED_TEST(SortListTest, TypedKeysConvertAndRefuseBadText) {
  auto& l = *this->list;
  TSrtField* s = l.AddField(ttString, 3, false);
  TSrtField* f = l.AddField(ttFloat, 0, false);
  TSrtField* i = l.AddField(ttInteger, 0, false);
  TSrtField* b = l.AddField(ttBoolean, 0, false);
  l.Insert();
  // A key never set reads as the empty value of its type.
  EXPECT_EQ(s->GetAsString(), "");
  EXPECT_EQ(f->GetAsString(), "0");
  EXPECT_EQ(b->GetAsString(), "F");
  s->SetAsString("abcdef");  // cut so that the terminator fits
  EXPECT_EQ(s->GetAsString(), "abc");
  f->SetAsString("2.5");
  EXPECT_EQ(f->GetAsFloat(), 2.5);
  f->SetAsString("");
  EXPECT_EQ(f->GetAsFloat(), 0.0);
  i->SetAsString("-12");
  EXPECT_EQ(i->GetAsInteger(), -12);
  EXPECT_EQ(i->GetAsString(), "-12");
  b->SetAsString("tr");
  EXPECT_TRUE(b->GetAsBoolean());
  EXPECT_EQ(b->GetAsFloat(), 0.0);  // other getters give the empty value
  const struct {
    TSrtField* field;
    const char* text;
    const char* message;
  } bad[] = {{f, "1x", "Invalid floating point value 1x"},
             {i, "x", "Invalid integer value x"},
             {i, "", "Invalid integer value "},
             {b, "yes", "Invalid boolean value yes"}};
  for (const auto& c : bad) {
    try {
      c.field->SetAsString(c.text);
      ADD_FAILURE() << c.text;
    } catch (const ESqlQueryError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

// Under the ANSI order the list weighs each text once; the rows must come
// out exactly as an introsort by the key comparison itself puts them, ties
// (equal texts, equal second keys) in the same places.
TYPED_TEST(SortListTest, AnsiOrderIsTheOrderOfSortingByTheKeyComparison) {
  auto& l = *this->list;
  l.SetUseAnsiSort(true);
  TSrtField* text = l.AddField(ttString, 12, false);
  TSrtField* number = l.AddField(ttInteger, 0, true);
  TSrtField* second = l.AddField(ttString, 4, true);
  const std::vector<std::string> pieces = {"职工", "张", "a", "A", "-", "1", "9", "ａ", "\x81\x20", "'"};
  struct TRow {
    std::string text;
    int number;
    std::string second;
    int source;
  };
  std::vector<TRow> rows;
  std::mt19937 rng(50);
  for (int n = 1; n <= 700; ++n) {
    std::string t;
    for (size_t len = rng() % 5; len > 0; --len) t += pieces[rng() % pieces.size()];
    t = t.substr(0, 12);
    rows.push_back({t, static_cast<int>(rng() % 3), pieces[rng() % 4], n});
    l.Insert();
    l.SetSourceRecNo(n);
    text->SetAsString(t);
    number->SetAsInteger(rows.back().number);
    second->SetAsString(rows.back().second);
  }
  auto ansi = [](const std::string& x, const std::string& y) {
    return CompareAnsiKey(x.data(), x.size(), y.data(), y.size(), false);
  };
  std::vector<TRow> expected = rows;
  std::sort(expected.begin(), expected.end(), [&](const TRow& x, const TRow& y) {
    int c = ansi(x.text, y.text);
    if (c == 0) c = y.number - x.number;
    if (c == 0) c = -ansi(x.second, y.second);
    return c < 0;
  });
  l.Sort();
  std::vector<int> want;
  for (const TRow& r : expected) want.push_back(r.source);
  EXPECT_EQ(this->Order(), want);
}

// Long texts sharing long beginnings, the first key in either direction:
// the order is still the key comparison's, down to the last character,
// with equal texts left to the next key.
TYPED_TEST(SortListTest, LongSharedBeginningsSortByTheWholeText) {
  const std::vector<std::string> pieces = {"职工", "职", "a", "A", "", "0", "9", "ａ"};
  for (bool desc : {false, true}) {
    this->list = Make<TypeParam>();
    auto& l = *this->list;
    l.SetUseAnsiSort(true);
    TSrtField* text = l.AddField(ttString, 24, desc);
    TSrtField* number = l.AddField(ttInteger, 0, false);
    std::vector<std::pair<std::string, int>> rows;
    std::mt19937 rng(desc ? 7 : 8);
    for (int n = 1; n <= 400; ++n) {
      std::string t = rng() % 2 ? "职工职工" : "职工职";
      for (size_t len = rng() % 4; len > 0; --len) t += pieces[rng() % pieces.size()];
      rows.push_back({t.substr(0, 24), static_cast<int>(rng() % 5)});
      l.Insert();
      l.SetSourceRecNo(n);
      text->SetAsString(rows.back().first);
      number->SetAsInteger(rows.back().second);
    }
    std::vector<int> want(rows.size());
    for (size_t i = 0; i < want.size(); ++i) want[i] = static_cast<int>(i) + 1;
    std::stable_sort(want.begin(), want.end(), [&](int x, int y) {
      const auto& a = rows[static_cast<size_t>(x - 1)];
      const auto& b = rows[static_cast<size_t>(y - 1)];
      int c = CompareAnsiKey(a.first.data(), a.first.size(), b.first.data(), b.first.size(), false);
      if (desc) c = -c;
      if (c == 0) c = a.second - b.second;
      return c < 0;
    });
    l.Sort();
    std::vector<int> got = this->Order();
    // Rows equal in both keys may come in either order: compare their keys.
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(rows[static_cast<size_t>(got[i] - 1)], rows[static_cast<size_t>(want[i] - 1)]) << "desc " << desc << " row " << i;
    }
  }
}

TYPED_TEST(SortListTest, RecNoMustNameARow) {
  auto& l = *this->list;
  l.AddField(ttInteger, 0, false);
  this->Fill({{1.0}, {2.0}});
  for (int bad : {0, 3}) EXPECT_THROW(l.SetRecNo(bad), ESqlQueryError);
  EXPECT_THROW(l.Exchange(1, 3), ESqlQueryError);
  l.Exchange(1, 2);
  EXPECT_EQ(this->Order(), std::vector<int>({2, 1}));
}

TYPED_TEST(SortListTest, FirstKeyDescendingThenSecondAscending) {
  auto& l = *this->list;
  l.AddField(ttInteger, 0, true);
  l.AddField(ttString, 10, false);
  this->Fill({{1.0, "b"}, {2.0, "z"}, {1.0, "a"}, {2.0, "c"}, {3.0, "m"}});
  l.Sort();
  EXPECT_EQ(this->Order(), std::vector<int>({5, 4, 2, 3, 1}));
}

TYPED_TEST(SortListTest, EarlierKeysKeepTheirGroupsWhateverTheirTexts) {
  // Joined as texts the first two keys of every row read "112", and "a"+"bc"
  // equals "ab"+"c": each must still keep its own group.
  auto& l = *this->list;
  l.AddField(ttInteger, 0, false);
  l.AddField(ttInteger, 0, false);
  l.AddField(ttString, 5, false);
  this->Fill({{1.0, 12.0, "z"}, {11.0, 2.0, "a"}, {1.0, 12.0, "a"}, {11.0, 2.0, "z"}});
  l.Sort();
  EXPECT_EQ(this->Order(), std::vector<int>({3, 1, 2, 4}));

  this->list = Make<TypeParam>();
  this->list->AddField(ttString, 5, false);
  this->list->AddField(ttString, 5, false);
  this->Fill({{"ab", "c"}, {"a", "bc"}, {"ab", "a"}});
  this->list->Sort();
  EXPECT_EQ(this->Order(), std::vector<int>({2, 3, 1}));
}

TYPED_TEST(SortListTest, NullKeysSortAsEmptyOrZero) {
  auto& l = *this->list;
  l.AddField(ttFloat, 0, false);
  l.AddField(ttString, 4, false);
  this->Fill({{-1.0, "b"}, {1.0, "a"}});
  l.Insert();  // keys never set
  l.SetSourceRecNo(3);
  l.Sort();
  EXPECT_EQ(this->Order(), std::vector<int>({1, 3, 2}));
}

TYPED_TEST(SortListTest, ByteOrderOrAnsiOrderForStrings) {
  auto& l = *this->list;
  l.AddField(ttString, 8, false);
  this->Fill({{"a"}, {"B"}, {"工资"}, {"A"}, {"b"}});
  l.Sort();
  EXPECT_EQ(this->Keys(0), std::vector<std::string>({"A", "B", "a", "b", "工资"}));
  l.SetUseAnsiSort(true);
  l.Sort();
  EXPECT_EQ(this->Keys(0), std::vector<std::string>({"a", "A", "b", "B", "工资"}));
}

TYPED_TEST(SortListTest, BooleansAndFloatsInTheirDirections) {
  auto& l = *this->list;
  l.AddField(ttBoolean, 0, true);
  l.AddField(ttFloat, 0, false);
  this->Fill({{0.0, 2.5}, {1.0, -1.0}, {0.0, -3.0}, {1.0, 1e10}});
  l.Sort();
  EXPECT_EQ(this->Order(), std::vector<int>({2, 4, 3, 1}));
}

TYPED_TEST(SortListTest, NoRowsOrNoKeysSortAsNothing) {
  auto& l = *this->list;
  l.Sort();
  l.Insert();
  l.SetSourceRecNo(2);
  l.Insert();
  l.SetSourceRecNo(1);
  l.Sort();
  EXPECT_EQ(this->Order(), std::vector<int>({2, 1}));
}

TYPED_TEST(SortListTest, IsEqualComparesKeysNotSourceNumbers) {
  auto& l = *this->list;
  l.AddField(ttString, 6, false);
  l.AddField(ttInteger, 0, false);
  this->Fill({{"abc", 1.0}, {"abcdef", 1.0}, {"abc", 2.0}});
  l.SetRecNo(2);
  l.Fields().Items(0)->SetAsString("abc");  // shorter text over a longer one
  EXPECT_TRUE(l.IsEqual(1, 2));
  EXPECT_FALSE(l.IsEqual(1, 3));
  EXPECT_THROW(l.IsEqual(1, 4), ESqlQueryError);
}

TYPED_TEST(SortListTest, ClearDropsRowsAndKeys) {
  auto& l = *this->list;
  l.AddField(ttInteger, 0, false);
  this->Fill({{3.0}, {1.0}});
  EXPECT_THROW(l.AddField(ttInteger, 0, false), EInvalidOperation);
  l.Clear();
  EXPECT_EQ(l.GetRecordCount(), 0);
  EXPECT_EQ(l.RecNo(), -1);
  EXPECT_EQ(l.RecordSize(), 4);
  TSrtField* s = l.AddField(ttString, 3, false);
  l.Insert();
  EXPECT_EQ(s->GetAsString(), "");  // a reused row starts zeroed
}

TYPED_TEST(SortListTest, BookmarksAreReleasedWithTheList) {
  static char dummy;
  const int before = LiveBookmarkHandles();
  this->list = Make<TypeParam>(true);
  this->list->SetBookmarkDataSet(reinterpret_cast<TDataSet*>(&dummy));
  for (int r = 0; r < 3; ++r) {
    this->list->Insert();
    this->list->SetSourceRecNo(AcquireBookmarkHandle(new char[8]));
  }
  EXPECT_EQ(LiveBookmarkHandles(), before + 3);
  this->list.reset();
  EXPECT_EQ(LiveBookmarkHandles(), before);
}

// ---- bounded sorting -------------------------------------------------------------

// Keys that make a middle-pivot quicksort that recurses on its left part
// pick the largest key every time: it would recurse once per row.
std::vector<int> DeepRecursionKeys(int n) {
  std::vector<int> slot(static_cast<size_t>(n)), key(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) slot[static_cast<size_t>(i)] = i;
  for (int r = n - 1; r >= 1; --r) {
    key[static_cast<size_t>(slot[static_cast<size_t>(r / 2)])] = r;
    std::swap(slot[static_cast<size_t>(r / 2)], slot[static_cast<size_t>(r)]);
  }
  key[static_cast<size_t>(slot[0])] = 0;
  return key;
}

// Runs fn on a thread with a small stack (a linear recursion overflows it).
void OnSmallStack(const std::function<void()>& fn) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 512 * 1024);
  pthread_t t;
  auto body = [](void* p) -> void* {
    (*static_cast<const std::function<void()>*>(p))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&t, &attr, body, const_cast<std::function<void()>*>(&fn)), 0);
  pthread_join(t, nullptr);
  pthread_attr_destroy(&attr);
}

TYPED_TEST(SortListTest, AdversarialKeysSortWithoutDeepRecursion) {
  const int n = 100000;
  this->list = Make<TypeParam>(false, 4096);
  auto& l = *this->list;
  TSrtField* k = l.AddField(ttInteger, 0, false);
  const std::vector<int> keys = DeepRecursionKeys(n);
  for (int r = 0; r < n; ++r) {
    l.Insert();
    l.SetSourceRecNo(r + 1);
    k->SetAsInteger(keys[static_cast<size_t>(r)]);
  }
  OnSmallStack([&] { l.Sort(); });
  for (int r = 1; r <= n; r += 997) {
    l.SetRecNo(r);
    ASSERT_EQ(k->GetAsInteger(), r - 1);
  }
}

TEST(TFileSortList, GrowsPastItsMapSizeAndDeletesItsFile) {
  AnsiString name;
  {
    TFileSortList l(false, 64);
    TSrtField* k = l.AddField(ttInteger, 0, true);
    for (int r = 0; r < 500; ++r) {
      l.Insert();
      l.SetSourceRecNo(r + 1);
      k->SetAsInteger(r);
    }
    name = l.TempFileName();
    EXPECT_TRUE(FileExists(name));
    EXPECT_EQ(ExtractFileName(name).SubString(1, 3), "~sq");
    EXPECT_GE(l.MappedFile()->Size(), 500 * 8);
    l.Sort();
    l.SetRecNo(1);
    EXPECT_EQ(k->GetAsInteger(), 499);
    l.SetRecNo(500);
    EXPECT_EQ(l.GetSourceRecNo(), 1);
  }
  EXPECT_FALSE(FileExists(name));
}

}  // namespace
