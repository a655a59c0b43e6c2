// Field conversions, null handling, native stored forms and texts of every
// field type the engine stores.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "MemDataSet.h"
#include "platform/core/Strings.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"

namespace {

class FieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.SetName("t");
    ds.AddColumn("S", ftString, 5);
    ds.AddColumn("SI", ftSmallint);
    ds.AddColumn("I", ftInteger);
    ds.AddColumn("W", ftWord);
    ds.AddColumn("B", ftBoolean);
    ds.AddColumn("F", ftFloat);
    ds.AddColumn("C", ftCurrency);
    ds.AddColumn("D", ftDate);
    ds.AddColumn("T", ftTime);
    ds.AddColumn("DT", ftDateTime);
    ds.AddColumn("A", ftAutoInc);
    ds.AddColumn("M", ftMemo);
    ds.AddColumn("BL", ftBlob);
    ds.AddColumn("G", ftGraphic);
    ds.AddColumn("FM", ftFmtMemo);
    ds.AddRow({});
    ds.Open();
    ds.Edit();
  }
  TField* F(const char* name) { return ds.FieldByName(name); }
  std::string Error(const std::function<void()>& f) {
    try {
      f();
    } catch (const Exception& e) {
      return std::string(e.ClassName()) + ": " + std::string(e.Message());
    }
    return "no error";
  }

  TMemDataSet ds;
};

TEST_F(FieldsTest, DefaultFieldsHaveTheClassOfTheirType) {
  struct {
    const char* name;
    const char* cls;
    int dataSize;
  } expected[] = {{"S", "TStringField", 6},   {"SI", "TSmallintField", 2},
                  {"I", "TIntegerField", 4},  {"W", "TWordField", 2},
                  {"B", "TBooleanField", 2},  {"F", "TFloatField", 8},
                  {"C", "TCurrencyField", 8}, {"D", "TDateField", 4},
                  {"T", "TTimeField", 4},     {"DT", "TDateTimeField", 8},
                  {"A", "TAutoIncField", 4},  {"M", "TMemoField", 0},
                  {"BL", "TBlobField", 0},    {"G", "TGraphicField", 0},
                  {"FM", "TBlobField", 0}};
  for (const auto& e : expected) {
    EXPECT_EQ(std::string(F(e.name)->ClassName()), e.cls) << e.name;
    EXPECT_EQ(F(e.name)->DataSize(), e.dataSize) << e.name;
  }
  EXPECT_EQ(F("FM")->DataType(), ftFmtMemo);
  EXPECT_EQ(F("S")->Alignment(), taLeftJustify);
  EXPECT_EQ(F("F")->Alignment(), taRightJustify);
}

TEST_F(FieldsTest, NullValuesReadAsEmptyZeroAndFalse) {
  for (const char* name : {"S", "SI", "I", "W", "B", "F", "C", "D", "T", "DT", "A"}) {
    TField* f = F(name);
    EXPECT_TRUE(f->IsNull()) << name;
    EXPECT_EQ(f->AsString(), "") << name;
    EXPECT_TRUE(f->Value().IsNull()) << name;
    EXPECT_EQ(f->DisplayText(), "") << name;
  }
  EXPECT_EQ(F("I")->AsInteger(), 0);
  EXPECT_DOUBLE_EQ(F("F")->AsFloat(), 0.0);
  EXPECT_FALSE(F("B")->AsBoolean());
  EXPECT_EQ(F("M")->DisplayText(), "(memo)");
  EXPECT_EQ(F("BL")->DisplayText(), "(blob)");
  EXPECT_EQ(F("G")->DisplayText(), "(graphic)");
}

TEST_F(FieldsTest, IntegerFieldsConvertAndCheckTheirRange) {
  F("I")->SetAsString("42");
  EXPECT_EQ(F("I")->AsInteger(), 42);
  EXPECT_DOUBLE_EQ(F("I")->AsFloat(), 42.0);
  EXPECT_EQ(F("I")->Value().VarType(), varInteger);
  F("I")->SetAsFloat(2.5);  // halves to even
  EXPECT_EQ(F("I")->AsInteger(), 2);
  F("I")->SetAsString("");
  EXPECT_TRUE(F("I")->IsNull());
  EXPECT_EQ(Error([&] { F("I")->SetAsString("4x"); }),
            "EConvertError: '4x' is not a valid integer value");
  EXPECT_EQ(Error([&] { F("I")->AsBoolean(); }),
            "EDatabaseError: Cannot access field 'I' as type Boolean");

  F("SI")->SetAsInteger(-5);
  std::int16_t native = 0;
  ASSERT_TRUE(F("SI")->GetData(&native));
  EXPECT_EQ(native, -5);
  EXPECT_EQ(Error([&] { F("SI")->SetAsInteger(40000); }),
            "EDatabaseError: 40000 is not a valid value for field 'SI'. "
            "The allowed range is -32768 to 32767");
  F("W")->SetAsInteger(65535);
  EXPECT_EQ(F("W")->AsInteger(), 65535);
  EXPECT_THROW(F("W")->SetAsInteger(-1), EDatabaseError);
  EXPECT_EQ(F("SI")->AsInteger(), -5);  // a refused value leaves the old one

  auto* i = static_cast<TIntegerField*>(F("I"));
  i->SetAsInteger(1234567);
  i->SetDisplayFormat("#,##0");
  EXPECT_EQ(i->DisplayText(), "1,234,567");
  EXPECT_EQ(i->Text(), "1,234,567");  // no EditFormat: the display format
  i->SetMaxValue(100);
  EXPECT_THROW(i->SetAsInteger(101), EDatabaseError);
  F("A")->SetAsInteger(7);
  EXPECT_EQ(F("A")->AsString(), "7");
}

TEST_F(FieldsTest, FloatFieldsFormatTheirTexts) {
  auto* f = static_cast<TFloatField*>(F("F"));
  f->SetAsFloat(1234.5);
  EXPECT_EQ(f->AsString(), "1234.5");
  EXPECT_EQ(f->DisplayText(), "1234.5");
  f->SetDisplayFormat("#,##0.00");
  EXPECT_EQ(f->DisplayText(), "1,234.50");
  EXPECT_EQ(f->Text(), "1,234.50");  // no EditFormat: the display format
  f->SetEditFormat("0.0");
  EXPECT_EQ(f->Text(), "1234.5");
  f->SetAsString("0.1");
  EXPECT_DOUBLE_EQ(f->AsFloat(), 0.1);
  EXPECT_EQ(Error([&] { f->SetAsString("abc"); }),
            "EConvertError: 'abc' is not a valid floating point value");
  f->SetAsFloat(3.5);
  EXPECT_EQ(f->AsInteger(), 4);

  auto* c = static_cast<TFloatField*>(F("C"));
  EXPECT_TRUE(c->Currency());
  c->SetAsFloat(1234.5);
  EXPECT_EQ(c->DisplayText(), "￥1,234.50");
  EXPECT_EQ(c->Text(), "1234.50");
}

TEST_F(FieldsTest, BooleanFieldsStoreSixteenBitsAndReadTheirDisplayValues) {
  auto* b = static_cast<TBooleanField*>(F("B"));
  b->SetAsBoolean(true);
  std::int16_t native = 0;
  ASSERT_TRUE(b->GetData(&native));
  EXPECT_EQ(native, -1);
  EXPECT_EQ(b->AsString(), "True");
  b->SetAsString("f");
  EXPECT_FALSE(b->AsBoolean());
  EXPECT_FALSE(b->IsNull());
  b->SetAsString("TRUE");
  EXPECT_TRUE(b->AsBoolean());
  EXPECT_EQ(Error([&] { b->SetAsString("maybe"); }),
            "EDatabaseError: 'maybe' is not a valid boolean value");
  b->SetDisplayValues("是;否");
  EXPECT_EQ(b->AsString(), "是");
  b->SetAsString("否");
  EXPECT_FALSE(b->AsBoolean());
  EXPECT_EQ(b->Value().VarType(), varBoolean);
  // Any non-zero stored value reads as true.
  std::int16_t one = 1;
  b->SetData(&one);
  EXPECT_TRUE(b->AsBoolean());
}

TEST_F(FieldsTest, DatesAndTimesUseTheTimeStampForms) {
  TDateTime day = EncodeDate(2003, 1, 15);
  F("D")->SetAsDateTime(day + 0.5);  // the time part is dropped
  std::int32_t dayNo = 0;
  ASSERT_TRUE(F("D")->GetData(&dayNo));
  EXPECT_EQ(dayNo, DateTimeToTimeStamp(day).Date);
  EXPECT_EQ(dayNo, 693594 + 37636);
  EXPECT_DOUBLE_EQ(F("D")->AsDateTime(), day);
  EXPECT_EQ(F("D")->AsString(), "2003-01-15");

  F("T")->SetAsDateTime(EncodeTime(10, 30, 0, 0));
  std::int32_t ms = 0;
  ASSERT_TRUE(F("T")->GetData(&ms));
  EXPECT_EQ(ms, 37800000);
  EXPECT_EQ(F("T")->AsString(), "10:30:00");

  TDateTime stamp = EncodeDate(2026, 12, 10) + EncodeTime(8, 0, 0, 0);
  F("DT")->SetAsDateTime(stamp);
  double native = 0;
  ASSERT_TRUE(F("DT")->GetData(&native));
  EXPECT_DOUBLE_EQ(native, TimeStampToMSecs(DateTimeToTimeStamp(stamp)));
  EXPECT_NEAR(F("DT")->AsDateTime(), stamp, 1e-9);
  EXPECT_EQ(F("DT")->Value().VarType(), varDate);
  static_cast<TDateTimeField*>(F("DT"))->SetDisplayFormat("yyyy\"年\"m\"月\"d\"日\"");
  EXPECT_EQ(F("DT")->DisplayText(), "2026年12月10日");

  F("D")->SetAsString("2001-02-03");
  EXPECT_DOUBLE_EQ(F("D")->AsDateTime(), EncodeDate(2001, 2, 3));
  F("D")->SetAsString("");
  EXPECT_TRUE(F("D")->IsNull());
  EXPECT_THROW(F("D")->SetAsString("2001-02-30"), EConvertError);
}

TEST_F(FieldsTest, StringFieldsCutAtTheirSizeOnACharacterBoundary) {
  F("S")->SetAsString("abcdefg");
  EXPECT_EQ(F("S")->AsString(), "abcde");
  F("S")->SetAsString("工资表格");  // 8 bytes: the third character would be split
  EXPECT_EQ(F("S")->AsString(), "工资");
  F("S")->SetAsInteger(123);
  EXPECT_EQ(F("S")->AsInteger(), 123);
  F("S")->SetAsBoolean(true);
  EXPECT_EQ(F("S")->AsString(), "T");
  EXPECT_TRUE(F("S")->AsBoolean());
  F("S")->SetAsString("");
  EXPECT_FALSE(F("S")->IsNull());  // an empty string is a value
  F("S")->Clear();
  EXPECT_TRUE(F("S")->IsNull());
}

TEST_F(FieldsTest, BlobFieldsGoThroughStreams) {
  F("M")->SetAsString("第一行\r\n第二行");
  EXPECT_EQ(F("M")->AsString(), "第一行\r\n第二行");
  EXPECT_EQ(F("M")->DisplayText(), "(MEMO)");
  EXPECT_EQ(static_cast<TBlobField*>(F("M"))->BlobSize(), 14);
  TStringList lines;
  lines.Assign(F("M"));
  ASSERT_EQ(lines.Count(), 2);
  EXPECT_EQ(lines[1], "第二行");
  F("M")->SetAsString("");
  EXPECT_TRUE(F("M")->IsNull());
  ds.Post();
  EXPECT_THROW(F("M")->SetAsString("x"), EDatabaseError);  // browsing
}

TEST_F(FieldsTest, VariantAssignmentFollowsTheFieldType) {
  F("I")->SetValue(Variant("17"));
  EXPECT_EQ(F("I")->AsInteger(), 17);
  F("F")->SetValue(Variant(3));
  EXPECT_DOUBLE_EQ(F("F")->AsFloat(), 3.0);
  F("S")->SetValue(Variant(2.5));
  EXPECT_EQ(F("S")->AsString(), "2.5");
  F("F")->SetValue(Variant::Null());
  EXPECT_TRUE(F("F")->IsNull());
  ds.SetFieldValues("I;S", VarArrayOf({5, "x"}));
  Variant v = ds.FieldValues("I;S");
  EXPECT_EQ(v[0].AsInteger(), 5);
  EXPECT_EQ(v[1].AsString(), "x");
}

TEST_F(FieldsTest, TextEventsAndValidationRunAroundTheValue) {
  TField* f = F("I");
  f->OnGetText = [](TField* s, AnsiString& text, bool display) {
    text = (display ? "显示" : "编辑") + s->AsString();
  };
  f->OnSetText = [](TField* s, const AnsiString& text) { s->SetAsString(text.substr(1)); };
  f->SetText("#12");
  EXPECT_EQ(f->AsInteger(), 12);
  EXPECT_EQ(f->DisplayText(), "显示12");
  EXPECT_EQ(f->Text(), "编辑12");

  int seenDuringValidate = 0;
  int changes = 0;
  f->OnValidate = [&](TField* s) {
    seenDuringValidate = s->AsInteger();  // the value being written
    if (seenDuringValidate < 0) throw EDatabaseError("negative");
  };
  f->OnChange = [&](TField*) { ++changes; };
  f->SetAsInteger(30);
  EXPECT_EQ(seenDuringValidate, 30);
  EXPECT_EQ(changes, 1);
  EXPECT_THROW(f->SetAsInteger(-1), EDatabaseError);
  EXPECT_EQ(f->AsInteger(), 30);
  EXPECT_EQ(changes, 1);
}

TEST_F(FieldsTest, DisplayLabelAndWidthDefaults) {
  EXPECT_EQ(F("S")->DisplayLabel(), "S");
  F("S")->SetDisplayLabel("姓名");
  EXPECT_EQ(F("S")->DisplayName(), "姓名");
  EXPECT_EQ(F("S")->DisplayWidth(), 5);
  EXPECT_EQ(F("B")->DisplayWidth(), 5);
  EXPECT_EQ(F("I")->DisplayWidth(), 10);
}

TEST(FieldDefsTest, RefusedTypesHaveNamesButNoFields) {
  TMemDataSet ds;
  TFieldDefs defs(&ds);
  defs.Add("AMOUNT", ftBCD, 4);
  EXPECT_EQ(FieldTypeName(ftBCD), "BCD");
  EXPECT_EQ(FieldTypeName(ftLargeint), "Largeint");
  EXPECT_EQ(FieldTypeName(ftWideString), "WideString");
  try {
    defs.Items(0)->CreateField(nullptr);
    FAIL() << "created";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.Message()), "Field 'AMOUNT' is of an unknown type");
  }
}

TEST(FieldDefsTest, IndexForFieldsHonoursOrderAndCase) {
  TIndexDefs idx(nullptr);
  idx.Add("BYNAME", "Name;Dept;Salary", {});
  TIndexDef* ci = idx.Add("CI", "Name;Dept", {ixCaseInsensitive});
  ci->SetCaseInsFields("Name");
  ASSERT_NE(idx.GetIndexForFields("name;dept", false), nullptr);
  EXPECT_EQ(idx.GetIndexForFields("name;dept", false)->Name(), "BYNAME");
  ASSERT_NE(idx.GetIndexForFields("Name;Dept", true), nullptr);
  EXPECT_EQ(idx.GetIndexForFields("Name;Dept", true)->Name(), "CI");
  EXPECT_EQ(idx.GetIndexForFields("Dept", false), nullptr);
  EXPECT_THROW(idx.Find("NONE"), EDatabaseError);
  TIndexDefs copy(nullptr);
  copy.Assign(&idx);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy[1]->CaseInsFields(), "Name");
  EXPECT_TRUE(copy[1]->Options().Contains(ixCaseInsensitive));
}

}  // namespace
