// Typed result columns: layout, conversions and their error texts.
#include "sql/SqFields.h"

#include <gtest/gtest.h>

#include "sql/ResultSet.h"
#include "sql/SqlMessages.h"

namespace {

// One row with a column of each type; `size` is the string column's size.
struct OneRow {
  explicit OneRow(int size = 10) {
    s = rs.AddField("S", "SA", false, 0, 0, 0, nullptr, size, ttString);
    f = rs.AddField("F", "", false, 0, 0, 0, nullptr, 0, ttFloat);
    i = rs.AddField("I", "", false, 0, 0, 0, nullptr, 0, ttInteger);
    b = rs.AddField("B", "", false, 0, 0, 0, nullptr, 0, ttBoolean);
    rs.Insert();
  }
  TMemResultSet rs;
  TsqField *s, *f, *i, *b;
};

template <typename Fn>
std::string ErrorOf(Fn fn) {
  try {
    fn();
  } catch (const ESqlQueryError& e) {
    return e.Message();
  }
  return "(no ESqlQueryError)";
}

TEST(TsqField, StringColumnStoresItsSizeAndReadsAsOtherTypes) {
  OneRow r;
  r.s->SetAsString("abc");
  EXPECT_EQ(r.s->GetAsString(), "abc");
  r.s->SetAsString("abcdefghijkl");
  EXPECT_EQ(r.s->GetAsString(), "abcdefghij");
  r.s->SetAsString("Yes");
  EXPECT_TRUE(r.s->GetAsBoolean());
  r.s->SetAsString("No");
  EXPECT_FALSE(r.s->GetAsBoolean());
  r.s->SetAsFloat(2.25);
  EXPECT_EQ(r.s->GetAsString(), "2.25");
  EXPECT_DOUBLE_EQ(r.s->GetAsFloat(), 2.25);
  r.s->SetAsInteger(-42);
  EXPECT_EQ(r.s->GetAsInteger(), -42);
  r.s->SetAsBoolean(true);
  EXPECT_EQ(r.s->GetAsString(), "T");
  r.s->SetAsString("x1");
  EXPECT_THROW(r.s->GetAsFloat(), EConvertError);
}

TEST(TsqField, NumbersRoundHalvesToEven) {
  OneRow r;
  r.f->SetAsString("1.5");
  EXPECT_DOUBLE_EQ(r.f->GetAsFloat(), 1.5);
  EXPECT_EQ(r.f->GetAsInteger(), 2);
  r.f->SetAsFloat(2.5);
  EXPECT_EQ(r.f->GetAsInteger(), 2);
  r.i->SetAsFloat(2.5);
  EXPECT_EQ(r.i->GetAsInteger(), 2);
  r.i->SetAsFloat(3.5);
  EXPECT_EQ(r.i->GetAsInteger(), 4);
  EXPECT_EQ(r.i->GetAsString(), "4");
  r.i->SetAsString("-17");
  EXPECT_DOUBLE_EQ(r.i->GetAsFloat(), -17.0);
  r.f->SetAsInteger(7);
  EXPECT_EQ(r.f->GetAsString(), "7");
}

TEST(TsqField, EmptyTextClearsAFloatColumnToZeroNotNull) {
  OneRow r;
  r.f->SetAsString("");
  EXPECT_FALSE(r.f->IsNull());
  EXPECT_EQ(r.f->GetAsString(), "0");
}

TEST(TsqField, BooleanColumnTakesPrefixesOfTrueAndFalse) {
  const struct {
    const char* text;
    bool value;
  } cases[] = {{"t", true}, {"tr", true}, {"TRUE", true}, {"True", true},
               {"", false}, {"fa", false}, {"F", false}, {"false", false}};
  for (const auto& c : cases) {
    OneRow r;
    r.b->SetAsString(c.text);
    EXPECT_EQ(r.b->GetAsBoolean(), c.value) << c.text;
    EXPECT_EQ(r.b->GetAsString(), c.value ? "T" : "F") << c.text;
  }
}

TEST(TsqField, InvalidTextsNameTheValue) {
  OneRow r;
  EXPECT_EQ(ErrorOf([&] { r.b->SetAsString("yes"); }), "Invalid boolean value yes");
  EXPECT_EQ(ErrorOf([&] { r.b->SetAsString("truer"); }), "Invalid boolean value truer");
  EXPECT_EQ(ErrorOf([&] { r.f->SetAsString("1x"); }), "Invalid floating point value 1x");
  EXPECT_EQ(ErrorOf([&] { r.i->SetAsString("1.5"); }), "Invalid integer value 1.5");
  EXPECT_EQ(ErrorOf([&] { r.i->SetAsString("99999999999"); }), "Invalid integer value 99999999999");
  // A failed assignment leaves the row as it was.
  EXPECT_TRUE(r.b->IsNull());
  EXPECT_TRUE(r.i->IsNull());
}

TEST(TsqField, AccessesATypeDoesNotHaveRaise) {
  OneRow r;
  EXPECT_EQ(ErrorOf([&] { r.f->GetAsBoolean(); }), "Cannot read field as boolean");
  EXPECT_EQ(ErrorOf([&] { r.f->SetAsBoolean(true); }), "Cannot assign field as boolean");
  EXPECT_EQ(ErrorOf([&] { r.i->GetAsBoolean(); }), "Cannot read field as boolean");
  EXPECT_EQ(ErrorOf([&] { r.b->GetAsFloat(); }), "Cannot read field as float");
  EXPECT_EQ(ErrorOf([&] { r.b->SetAsFloat(1); }), "Cannot assign field as float");
  EXPECT_EQ(ErrorOf([&] { r.b->GetAsInteger(); }), "Cannot read field as integer");
  EXPECT_EQ(ErrorOf([&] { r.b->SetAsInteger(1); }), "Cannot assign field as integer");
}

TEST(TsqField, FloatBeyondIntegerRangeIsRefusedNotWrapped) {
  OneRow r;
  r.f->SetAsFloat(3e9);
  EXPECT_THROW(r.f->GetAsInteger(), EIntOverflow);
  EXPECT_THROW(r.i->SetAsFloat(-3e9), EIntOverflow);
  EXPECT_TRUE(r.i->IsNull());
}

TEST(TsqField, NullReadsAsEmptyZeroOrFalse) {
  OneRow r;
  for (TsqField* f : {r.s, r.f, r.i, r.b}) {
    EXPECT_TRUE(f->IsNull());
    EXPECT_EQ(f->GetAsString(), "");
  }
  EXPECT_EQ(r.f->GetAsFloat(), 0.0);
  EXPECT_EQ(r.s->GetAsFloat(), 0.0);
  EXPECT_EQ(r.i->GetAsInteger(), 0);
  EXPECT_FALSE(r.b->GetAsBoolean());
  EXPECT_FALSE(r.s->GetAsBoolean());
}

TEST(TsqField, ClearStoresTheEmptyValue) {
  OneRow r;
  for (TsqField* f : {r.s, r.f, r.i, r.b}) {
    f->Clear();
    EXPECT_FALSE(f->IsNull());
  }
  EXPECT_EQ(r.s->GetAsString(), "");
  EXPECT_EQ(r.i->GetAsInteger(), 0);
  EXPECT_FALSE(r.b->GetAsBoolean());
}

TEST(TsqFields, FindsByNameOrAliasIgnoringCase) {
  OneRow r;
  EXPECT_EQ(r.rs.FindField("s"), r.s);
  EXPECT_EQ(r.rs.FindField("sa"), r.s);
  EXPECT_EQ(r.rs.FindField("b"), r.b);
  EXPECT_EQ(r.rs.FindField("nope"), nullptr);
  EXPECT_EQ(ErrorOf([&] { r.rs.FieldByName("nope"); }), "Field nope was not found");
  EXPECT_EQ(r.i->Index(), 3);
}

TEST(TsqFields, LayoutOfStringFloatIntegerIs28Bytes) {
  TMemResultSet rs;
  TsqField* s = rs.AddField("S", "", false, 0, 0, 0, nullptr, 5, ttString);
  TsqField* f = rs.AddField("F", "", false, 0, 0, 0, nullptr, 0, ttFloat);
  TsqField* i = rs.AddField("I", "", false, 0, 0, 0, nullptr, 0, ttInteger);
  EXPECT_EQ(rs.RecordSize(), 28);
  EXPECT_EQ(s->Offset(), 4);
  EXPECT_EQ(f->Offset(), 12);
  EXPECT_EQ(i->Offset(), 22);
  EXPECT_EQ(s->DataSize(), 5);
  EXPECT_EQ(f->DataSize(), 8);
  EXPECT_EQ(i->DataSize(), 4);
}

TEST(TsqFields, CastTypeDecidesTheColumnType) {
  const struct {
    int cast;
    TExprType type;
    int recordGrowth;
  } cases[] = {{343, ttString, 2 + 6}, {344, ttInteger, 6}, {345, ttBoolean, 4},
               {346, ttFloat, 10},     {347, ttFloat, 10},  {348, ttFloat, 10},
               {349, ttFloat, 10},     {355, ttFloat, 10},  {0, ttBoolean, 4}};
  for (const auto& c : cases) {
    TMemResultSet rs;
    TsqField* f = rs.AddField("X", "", true, 6, c.cast, 7, nullptr, 5, ttBoolean);
    EXPECT_EQ(f->DataType(), c.type) << c.cast;
    EXPECT_EQ(rs.RecordSize(), 4 + c.recordGrowth) << c.cast;
    EXPECT_EQ(f->CastType(), c.cast);
    EXPECT_EQ(f->CastLength(), 6);
    EXPECT_EQ(f->ColumnFlag(), 7);
    EXPECT_TRUE(f->UseDisplayLabel());
  }
  TMemResultSet rs;
  TsqField* f = rs.AddField("X", "", false, 0, 344, 0, nullptr, 0, ttString);
  rs.Insert();
  f->SetAsFloat(2.5);  // an integer column: it rounds
  EXPECT_EQ(f->GetAsString(), "2");
}

}  // namespace
