// Parameters found in SQL text, their values and their stored form.
#include <gtest/gtest.h>

#include "platform/core/Streams.h"
#include "platform/data/Params.h"

namespace {

std::vector<std::string> Names(const TParams& p) {
  std::vector<std::string> out;
  for (int i = 0; i < p.Count(); ++i) out.push_back(p[i]->Name());
  return out;
}

TEST(ParamsTest, ParametersAreFoundOutsideLiteralsAndComments) {
  struct Case {
    const char* sql;
    std::vector<std::string> names;
    const char* parsed;
  } cases[] = {
      {"select * from gzk where zgbh = :zgbh", {"zgbh"}, "select * from gzk where zgbh = ?"},
      {"where a=:A and b=:b_2)", {"A", "b_2"}, "where a=? and b=?)"},
      {"where x = ':notparam' and y = :y", {"y"}, "where x = ':notparam' and y = ?"},
      {"where x = \"a:b\" and `c:d` = :e", {"e"}, "where x = \"a:b\" and `c:d` = ?"},
      {"select 1 -- :comment\n, :p", {"p"}, "select 1 -- :comment\n, ?"},
      {"select /* :a\n:b */ :c", {"c"}, "select /* :a\n:b */ ?"},
      {"select x::int, :p", {"p"}, "select x::int, ?"},
      {"where 部门 = :部门编号", {"部门编号"}, "where 部门 = ?"},
      {"where a = :\"pay item\"", {"pay item"}, "where a = ?"},
      {"where a = :x or b = :X", {"x"}, "where a = ? or b = ?"},
      {"where a = ':', b = :", {}, "where a = ':', b = :"},
      {"where s = 'it''s :no'", {}, "where s = 'it''s :no'"},
      {"where s = 'unterminated :no", {}, "where s = 'unterminated :no"},
  };
  for (const Case& c : cases) {
    TParams p;
    AnsiString parsed = p.ParseSQL(c.sql, true);
    EXPECT_EQ(Names(p), c.names) << c.sql;
    EXPECT_EQ(std::string(parsed), c.parsed) << c.sql;
  }
}

TEST(ParamsTest, ValuesSetTheTypeAndBinding) {
  TParams p;
  p.ParseSQL("where a = :a and b = :b and c = :c", true);
  EXPECT_FALSE(p.ParamByName("a")->Bound());
  p.ParamByName("A")->SetAsInteger(3);
  p.ParamByName("b")->SetAsString("工资");
  p.ParamByName("c")->SetValue(Variant(2.5));
  EXPECT_EQ(p[0]->DataType(), ftInteger);
  EXPECT_EQ(p[1]->DataType(), ftString);
  EXPECT_EQ(p[2]->DataType(), ftFloat);
  EXPECT_TRUE(p[0]->Bound());
  p[2]->Clear();
  EXPECT_TRUE(p[2]->IsNull());
  EXPECT_DOUBLE_EQ(p[2]->AsFloat(), 0.0);
  try {
    p.ParamByName("zz");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.Message()), "Parameter 'zz' not found");
  }
}

TEST(ParamsTest, StoredFormRoundTripsNamesTypesAndValues) {
  TParams p;
  p.ParseSQL(":i :s :f :b :n :unbound :big :long", true);
  p.ParamByName("i")->SetAsInteger(-70000);
  p.ParamByName("s")->SetAsString("部门");
  p.ParamByName("f")->SetAsFloat(1.25);
  p.ParamByName("b")->SetAsBoolean(true);
  p.ParamByName("n")->SetAsInteger(0);
  p.ParamByName("n")->Clear();
  p.ParamByName("big")->SetAsDateTime(TDateTime(37636.5));
  p.ParamByName("long")->SetAsString(AnsiString(300, 'x'));
  TMemoryStream stream;
  p.WriteData(&stream);
  const auto* bytes = static_cast<const unsigned char*>(stream.Memory());
  EXPECT_EQ(bytes[0], 0x0E);                 // collection marker
  EXPECT_EQ(bytes[stream.Size() - 1], 0x00);  // end of the collection
  stream.SetPosition(0);
  TParams back;
  back.ReadData(&stream);
  EXPECT_TRUE(back.IsEqual(p));
  EXPECT_EQ(back.ParamByName("s")->AsString(), "部门");
  EXPECT_EQ(back.ParamByName("i")->AsInteger(), -70000);
  EXPECT_FALSE(back.ParamByName("unbound")->Bound());
  EXPECT_TRUE(back.ParamByName("n")->IsNull());
  EXPECT_EQ(back.ParamByName("big")->DataType(), ftDateTime);
  EXPECT_EQ(back.ParamByName("long")->AsString().size(), 300u);
}

TEST(ParamsTest, DamagedStoredFormIsRefusedAndLeavesTheListAlone) {
  TParams p;
  p.ParseSQL(":a :b", true);
  p[0]->SetAsString("keep");
  TMemoryStream good;
  p.WriteData(&good);
  const auto* bytes = static_cast<const unsigned char*>(good.Memory());
  std::string data(reinterpret_cast<const char*>(bytes), static_cast<size_t>(good.Size()));
  for (size_t cut = 0; cut < data.size(); ++cut) {  // every truncation
    TMemoryStream s;
    s.WriteBuffer(data.data(), static_cast<int>(cut));
    s.SetPosition(0);
    TParams target;
    target.ParseSQL(":x", true);
    EXPECT_THROW(target.ReadData(&s), EReadError) << cut;
    EXPECT_EQ(target.Count(), 1);
  }
  std::string bad = data;
  bad[0] = 0x01;
  TMemoryStream s;
  s.WriteBuffer(bad.data(), static_cast<int>(bad.size()));
  s.SetPosition(0);
  EXPECT_THROW(p.ReadData(&s), EReadError);
  EXPECT_EQ(p[0]->AsString(), "keep");
}

}  // namespace
