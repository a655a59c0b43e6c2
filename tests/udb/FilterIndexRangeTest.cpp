// Filter key ranges over engine B-trees: every kind of bound (open,
// inclusive, exclusive, null, prefix, texts longer than the field, numbers
// between and beyond the integers) against a model of the index order.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "IndexTestSupport.h"
#include "Udb/FilterIndexRange.h"

using namespace idxtest;

namespace {

// Index order of the first part: nulls first, then values; ties by id.
int CompareA(const TRow& x, const TRow& y) {
  if (x.aNull || y.aNull) return x.aNull == y.aNull ? 0 : (x.aNull ? -1 : 1);
  return x.a < y.a ? -1 : x.a > y.a ? 1 : 0;
}

int CompareText(const std::string& x, const std::string& y, bool ci) {
  int c = AnsiKeySort(x.data(), y.data(), static_cast<int>(x.size()), static_cast<int>(y.size()), ci, false);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int CompareB(const TRow& x, const TRow& y, bool ci) {
  if (x.bNull || y.bNull) return x.bNull == y.bNull ? 0 : (x.bNull ? -1 : 1);
  return CompareText(x.b, y.b, ci);
}

// Whether a row's first part lies on the right side of a bound.
bool Within(const TRow& row, const TFilterKeyBound& bound, bool low, bool stringPart, bool ci) {
  if (bound.Open) return true;
  if (bound.Prefix) {
    if (row.bNull) return false;
    std::string prefix = bound.Value.AsString();
    std::string head = row.b.substr(0, prefix.size());
    head.resize(prefix.size(), '\0');
    return AnsiKeySort(prefix.data(), head.data(), static_cast<int>(prefix.size()),
                       static_cast<int>(head.size()), ci, true) == 0;
  }
  int c;
  const bool rowNull = stringPart ? row.bNull : row.aNull;
  if (rowNull || bound.Value.IsNull()) {
    c = rowNull == bound.Value.IsNull() ? 0 : (rowNull ? -1 : 1);
  } else if (stringPart) {
    c = CompareText(row.b, bound.Value.AsString(), ci);
  } else {
    double v = bound.Value.AsDouble();
    c = row.a < v ? -1 : row.a > v ? 1 : 0;
  }
  if (c == 0) return bound.Inclusive;
  return low ? c > 0 : c < 0;
}

TFilterKeyBound Open() { return TFilterKeyBound(); }
TFilterKeyBound At(Variant v, bool inclusive = true, bool prefix = false) {
  TFilterKeyBound b;
  b.Open = false;
  b.Value = v;
  b.Inclusive = inclusive;
  b.Prefix = prefix;
  return b;
}

struct TIndexUnderTest {
  bool stringPart;
  bool ci;
  std::unique_ptr<TTreeHarness> harness;
  std::vector<TRow> sorted;
};

TIndexUnderTest Build(bool stringPart, bool ci, const std::vector<TRow>& rows) {
  TIndexUnderTest t{stringPart, ci, std::make_unique<TTreeHarness>(false, 512, AnsiKeySort), rows};
  TKeyFields fields;
  if (stringPart) AddStringPart(fields, "I", ci);
  else AddIntPart(fields, "I", 0);
  AddRecordIdPart(fields, "I");
  t.harness->Define(fields);
  t.harness->CreateAndOpen();
  for (const TRow& row : rows) {
    t.harness->Tree().SetSearchKeyFromRecord(RecordOf(row).data());
    t.harness->Tree().Insert(row.addr);
  }
  std::stable_sort(t.sorted.begin(), t.sorted.end(), [&](const TRow& x, const TRow& y) {
    int c = stringPart ? CompareB(x, y, ci) : CompareA(x, y);
    return c != 0 ? c < 0 : x.id < y.id;
  });
  return t;
}

std::vector<TRecAddr> Expected(const TIndexUnderTest& t, const TFilterKeyBound& low, const TFilterKeyBound& high) {
  std::vector<TRecAddr> out;
  for (const TRow& row : t.sorted)
    if (Within(row, low, true, t.stringPart, t.ci) && Within(row, high, false, t.stringPart, t.ci))
      out.push_back(row.addr);
  return out;
}

std::vector<TRow> RandomRows(std::mt19937& rng, int count) {
  const char letters[] = "aAbB-c";
  std::vector<TRow> rows;
  for (int i = 1; i <= count; ++i) {
    TRow r;
    r.id = i;
    r.addr = 0x1000u + static_cast<TUdbAddr>(i) * 16u;
    r.aNull = rng() % 9 == 0;
    r.a = static_cast<std::int32_t>(rng() % 12);
    r.bNull = rng() % 9 == 0;
    int n = static_cast<int>(rng() % 4);
    for (int k = 0; k < n; ++k) r.b += letters[rng() % 6];
    rows.push_back(r);
  }
  return rows;
}

}  // namespace

TEST(CollectFilterKeyRange, IntegerBoundsMatchTheIndexOrder) {
  std::mt19937 rng(7);
  TIndexUnderTest t = Build(false, false, RandomRows(rng, 300));
  ASSERT_TRUE(FilterCanUseIndex(t.harness->Tree()));
  const TFilterKeyBound ends[] = {Open(),          At(Variant::Null()), At(Variant::Null(), false),
                                  At(0),           At(5),               At(5, false),
                                  At(5.5),         At(5.5, false),      At(-3),
                                  At(11),          At(40000.0),         At(-40000.0, false),
                                  At(Variant(12)), At(Variant(-1), false)};
  for (const TFilterKeyBound& low : ends) {
    for (const TFilterKeyBound& high : ends) {
      std::vector<TRecAddr> got;
      CollectFilterKeyRange(t.harness->Tree(), low, high, got);
      ASSERT_EQ(got, Expected(t, low, high))
          << "low " << (low.Open ? "open" : VarToStr(low.Value)) << (low.Inclusive ? "" : " excl") << ", high "
          << (high.Open ? "open" : VarToStr(high.Value)) << (high.Inclusive ? "" : " excl");
    }
  }
}

TEST(CollectFilterKeyRange, TextBoundsAndPrefixesMatchTheIndexOrder) {
  for (bool ci : {false, true}) {
    std::mt19937 rng(ci ? 11 : 13);
    TIndexUnderTest t = Build(true, ci, RandomRows(rng, 300));
    const TFilterKeyBound ends[] = {Open(),       At(Variant::Null()), At(Variant::Null(), false),
                                    At(""),       At("a"),             At("a", false),
                                    At("Ab"),     At("b-"),            At("B", false),
                                    At("c"),      At(std::string(70, 'b')), At(std::string(70, 'b'), false)};
    for (const TFilterKeyBound& low : ends) {
      for (const TFilterKeyBound& high : ends) {
        std::vector<TRecAddr> got;
        CollectFilterKeyRange(t.harness->Tree(), low, high, got);
        ASSERT_EQ(got, Expected(t, low, high))
            << (ci ? "case-insensitive " : "") << "low " << (low.Open ? "open" : VarToStr(low.Value))
            << (low.Inclusive ? "" : " excl") << ", high " << (high.Open ? "open" : VarToStr(high.Value))
            << (high.Inclusive ? "" : " excl");
      }
    }
    for (const char* prefix : {"a", "A", "ab", "b", "B-", "-", "a-", "cc", "z"}) {
      TFilterKeyBound p = At(prefix, true, true);
      std::vector<TRecAddr> got;
      CollectFilterKeyRange(t.harness->Tree(), p, p, got);
      EXPECT_EQ(got, Expected(t, p, p)) << (ci ? "case-insensitive " : "") << "prefix " << prefix;
    }
  }
}

TEST(CollectFilterKeyRange, EmptyIndexGivesNothing) {
  TIndexUnderTest t = Build(false, false, {});
  std::vector<TRecAddr> got;
  CollectFilterKeyRange(t.harness->Tree(), Open(), Open(), got);
  CollectFilterKeyRange(t.harness->Tree(), At(1), Open(), got);
  EXPECT_TRUE(got.empty());
}

TEST(FilterCanUseIndex, OnlyAnAscendingFirstPart) {
  TTreeHarness h(false, 512, AnsiKeySort);
  TKeyFields fields;
  AddIntPart(fields, "D", 0, true);
  AddRecordIdPart(fields, "D");
  h.Define(fields);
  h.CreateAndOpen();
  EXPECT_FALSE(FilterCanUseIndex(h.Tree()));
}
