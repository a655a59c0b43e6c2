// Index keys: layout to the byte, the order they define (nulls, types,
// descending parts, the two string orders, modifiers) and refusal of
// corrupt keys.
#include "Udb/SearchKeys.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

#include "UdbTestSupport.h"

namespace {

// A record of two fields, Integer then String(10), laid out like a table's:
// header 14 bytes, two null flags at 14 and 15, the Integer at 16, the
// string's size marker at 20 and its 11 bytes at 22.
constexpr int kRecSize = 33;
struct Rec {
  std::uint8_t b[kRecSize] = {};
  Rec(const int* i, const char* s) {
    b[0] = 1;
    if (i) {
      b[14] = 1;
      std::memcpy(b + 16, i, 4);
    }
    if (s) {
      b[15] = 1;
      std::uint16_t n = static_cast<std::uint16_t>(std::strlen(s));
      std::memcpy(b + 20, &n, 2);
      std::memcpy(b + 22, s, n);
    }
  }
};

void AddInt(TKeyFields& f, bool descending = false) {
  TKeyFieldItem* k = f.Add();
  k->SetFieldName("ID");
  k->SetDataType(ftInteger);
  k->SetFieldSize(4);
  k->SetRecBufOffset(16);
  k->SetNullFlagOffset(14);
  k->SetDescending(descending);
}

void AddString(TKeyFields& f, bool caseInsensitive = false) {
  TKeyFieldItem* k = f.Add();
  k->SetFieldName("NAME");
  k->SetDataType(ftString);
  k->SetFieldSize(11);
  k->SetRecBufOffset(22);
  k->SetSizeMarkerOffset(20);
  k->SetNullFlagOffset(15);
  k->SetCaseInsensitive(caseInsensitive);
}

int Cmp(const TKeyLayout& l, const Rec& a, const Rec& b) {
  auto ka = l.BuildKey(a.b), kb = l.BuildKey(b.b);
  int direct = l.CompareKeys(0, nullptr, ka.data(), kb.data());
  TOptimizedSearchKey o;
  o.BuildFromRecord(l, nullptr, a.b);
  EXPECT_EQ(o.CompareToOptimizedKey(l, 0, kb.data()), direct) << "the two routines disagree";
  return direct;
}

const int kOne = 1, kMin = INT_MIN, kMax = INT_MAX, kMinus5 = -5;

}  // namespace

TEST(SearchKeys, KeyIsLaidOutToTheByte) {
  TKeyFields f;
  AddInt(f);
  AddString(f);
  EXPECT_EQ(f.KeySize(), 10 + 4 + 2 + 11);
  TKeyLayout l(f);
  EXPECT_EQ(l.MaximumKeySize(), 28);
  Rec r(&kMinus5, "ab");
  auto key = l.BuildKey(r.b);
  ASSERT_EQ(key.size(), 28u);
  const std::uint8_t expected[28] = {28, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0,
                                     0xFB, 0xFF, 0xFF, 0xFF,  // -5
                                     2, 0, 'a', 'b'};
  EXPECT_EQ(std::memcmp(key.data(), expected, 28), 0);
  // A null integer takes no bytes: the string follows the bitmap at once.
  Rec n(nullptr, "ab");
  auto nk = l.BuildKey(n.b);
  EXPECT_EQ(nk[10], 0x40);
  EXPECT_EQ(nk[11], 2);
  EXPECT_EQ(nk[13], 'a');
}

TEST(SearchKeys, NullsSortFirstAscendingAndLastDescending) {
  TKeyFields asc, desc;
  AddInt(asc);
  AddInt(desc, /*descending=*/true);
  Rec null(nullptr, nullptr), value(&kMinus5, nullptr);
  EXPECT_LT(Cmp(TKeyLayout(asc), null, value), 0);
  EXPECT_GT(Cmp(TKeyLayout(desc), null, value), 0);
}

TEST(SearchKeys, IntegersAtBothEndsCompareByValue) {
  TKeyFields f;
  AddInt(f);
  TKeyLayout l(f);
  Rec lo(&kMin, nullptr), hi(&kMax, nullptr), one(&kOne, nullptr);
  EXPECT_LT(Cmp(l, lo, hi), 0);
  EXPECT_GT(Cmp(l, hi, lo), 0);
  EXPECT_LT(Cmp(l, lo, one), 0);
  EXPECT_EQ(Cmp(l, one, one), 0);
}

TEST(SearchKeys, StringOrders) {
  struct Case {
    TSortOrder order;
    bool caseInsensitive;
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {soASCII, false, "B", "a", -1},  // byte order
      {soANSI, false, "B", "a", +1},   // word order: a before B
      {soANSI, false, "ab", "abc", -1},
      {soASCII, false, "ab", "abc", -1},
      {soASCII, true, "ABC", "abc", 0},
      {soANSI, true, "ABC", "abc", 0},
      {soANSI, false, "张三", "李四", +1},  // zhang after li
      {soASCII, false, "", "a", -1},
  };
  for (const Case& c : cases) {
    TKeyFields f;
    AddString(f, c.caseInsensitive);
    TKeyLayout l(f, c.order);
    Rec a(nullptr, c.a), b(nullptr, c.b);
    int r = Cmp(l, a, b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b << " order " << c.order;
  }
}

TEST(SearchKeys, ModifiersMakeRangeBoundsAroundAFirstPart) {
  TKeyFields f;
  AddInt(f);
  AddString(f);
  TKeyLayout l(f);
  Rec search(&kOne, nullptr);
  auto s = l.BuildKey(search.b);
  TKeyModifiers low{1, 0}, high{1, 2};
  for (const char* name : {"", "a", "zzzz"}) {
    Rec other(&kOne, name);
    auto o = l.BuildKey(other.b);
    EXPECT_LT(l.CompareKeys(0, &low, s.data(), o.data()), 0) << name;
    EXPECT_GT(l.CompareKeys(0, &high, s.data(), o.data()), 0) << name;
    TOptimizedSearchKey ok;
    ok.BuildFromKey(l, &low, s.data());
    EXPECT_LT(ok.CompareToOptimizedKey(l, 0, o.data()), 0);
    ok.BuildFromKey(l, &high, s.data());
    EXPECT_GT(ok.CompareToOptimizedKey(l, 0, o.data()), 0);
  }
  // Keys with another first part are still ordered by it.
  Rec two(&kMax, "");
  auto t = l.BuildKey(two.b);
  EXPECT_LT(l.CompareKeys(0, &high, s.data(), t.data()), 0);
}

TEST(SearchKeys, PreparedKeysCarryNoPresenceOfAnEarlierWiderKey) {
  TKeyFields ten, nine;
  for (int i = 0; i < 10; ++i) AddInt(ten);
  for (int i = 0; i < 9; ++i) AddInt(nine);
  TKeyLayout l10(ten), l9(nine);
  EXPECT_EQ(l9.KeyDataOffset(), 2);
  Rec r(&kOne, nullptr);
  TOptimizedSearchKey k;
  k.BuildFromRecord(l10, nullptr, r.b);
  Rec empty(nullptr, nullptr);
  k.BuildFromRecord(l9, nullptr, empty.b);
  ASSERT_EQ(k.PartCount(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_FALSE(k.Present(i)) << i;
}

TEST(SearchKeys, ThirtyThreePartsFitAPreparedKey) {
  TKeyFields f;
  for (int i = 0; i < 33; ++i) AddInt(f);
  f.Items(32)->SetHidden(true);
  TKeyLayout l(f);
  EXPECT_EQ(l.UserPartCount(), 32);
  Rec r(&kOne, nullptr);
  TOptimizedSearchKey k;
  k.BuildFromRecord(l, nullptr, r.b);
  auto key = l.BuildKey(r.b);
  EXPECT_EQ(k.CompareToOptimizedKey(l, 0, key.data()), 0);
}

TEST(SearchKeys, OversizedIndexesAndCorruptKeysAreRefused) {
  TKeyFields big;
  for (int i = 0; i < 3; ++i) {
    TKeyFieldItem* k = big.Add();
    k->SetDataType(ftString);
    k->SetFieldSize(200);
    k->SetSizeMarkerOffset(2);
  }
  EXPECT_UDB_ERROR(TKeyLayout{big}, 9602);

  TKeyFields f;
  AddString(f);
  TKeyLayout l(f);
  Rec a(nullptr, "abc");
  auto k = l.BuildKey(a.b);
  auto bad = k;
  bad[0] = 200;  // longer than the index's keys
  EXPECT_UDB_ERROR(l.CompareKeys(0, nullptr, bad.data(), k.data()), 8581);
  bad = k;
  bad[11] = 0xFF;  // string length running past the key
  EXPECT_UDB_ERROR(l.CompareKeys(0, nullptr, k.data(), bad.data()), 8581);
  TOptimizedSearchKey o;
  EXPECT_UDB_ERROR(o.BuildFromKey(l, nullptr, bad.data()), 8581);
  Rec corrupt(nullptr, "abc");
  corrupt.b[20] = 40;  // size marker longer than the field
  EXPECT_UDB_ERROR(l.BuildKey(corrupt.b), 8451);
}

TEST(SearchKeys, BothComparisonsAgreeOnRandomKeys) {
  TKeyFields f;
  AddInt(f, /*descending=*/true);
  AddString(f, /*caseInsensitive=*/true);
  TKeyLayout l(f);
  std::mt19937 gen(7);
  const char* names[] = {"a", "A", "b", "ab", "", "张", "Zz", nullptr};
  for (int n = 0; n < 2000; ++n) {
    int i1 = static_cast<int>(gen() % 5) - 2, i2 = static_cast<int>(gen() % 5) - 2;
    bool null1 = gen() % 6 == 0, null2 = gen() % 6 == 0;
    Rec a(null1 ? nullptr : &i1, names[gen() % 8]);
    Rec b(null2 ? nullptr : &i2, names[gen() % 8]);
    int r = Cmp(l, a, b);
    int back = Cmp(l, b, a);
    EXPECT_EQ((r > 0) - (r < 0), -((back > 0) - (back < 0)));
  }
}

TEST(SearchKeys, KeyFieldAssignCopiesEverythingAndChecksStringMarkers) {
  TKeyFields f;
  AddString(f, true);
  f.Items(0)->SetIndexName("ByName");
  f.Items(0)->SetKeyIndex(3);
  TKeyFields g;
  g.Assign(&f);
  ASSERT_EQ(g.Count(), 1);
  EXPECT_EQ(g.Items(0)->IndexName(), "ByName");
  EXPECT_TRUE(g.Items(0)->CaseInsensitive());
  EXPECT_EQ(g.Items(0)->SizeMarkerOffset(), 20);
  EXPECT_EQ(g.FindKeyField("name"), g.Items(0));
  EXPECT_EQ(g.CountForIndex("BYNAME"), 1);
  f.Items(0)->SetSizeMarkerOffset(0);
  EXPECT_UDB_ERROR(g.Items(0)->Assign(f.Items(0)), 8451);  // damage read from the file
}
