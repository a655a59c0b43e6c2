#include "report/ReportDictionary.h"

#include <gtest/gtest.h>

#include <cstring>

#include "MemDataSet.h"
#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"
#include "platform/data/Fields.h"
#include "report/ReportFunctions.h"
#include "report/ReportStream.h"

namespace {

std::string Bytes(TMemoryStream& m) {
  return std::string(static_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}

// A report whose value request asks the dictionary, then a fixed name.
class TDictReport : public TrbReportContext {
 public:
  explicit TDictReport(TrbDataDictionary& d) : dict(d) {}
  void GetVariableValue(const AnsiString& name, Variant& value) override {
    if (dict.IsVariable(name)) value = dict.GetValue(name);
    else if (name == "A") value = a;
  }
  TrbDataDictionary& dict;
  double a = 0;
};

struct DictionaryTest : ::testing::Test {
  DictionaryTest() {
    mem.AddColumn("F01", ftFloat);
    mem.AddColumn("xm", ftString, 10);
    mem.AddRow({100.0, "张三"});
    mem.AddRow({250.0, "李四"});
    dict.FindDataSet = [this](const AnsiString& name) -> TDataSet* {
      return SameText(name, "rbDS") ? &mem : nullptr;
    };
    rbSetCurrentContext(&report);
  }
  ~DictionaryTest() override { rbSetCurrentContext(nullptr); }
  TMemDataSet mem;
  TrbDataDictionary dict;
  TDictReport report{dict};
};

TEST_F(DictionaryTest, EmptyDictionaryRecord) {
  TMemoryStream m;
  dict.SaveToStream(&m);
  EXPECT_EQ(Bytes(m), std::string("\xFE\xFF\0\0\0\0\0\0\0\0\0\0\0\0", 14));
}

TEST_F(DictionaryTest, ExpressionsAreEvaluatedAtEachRequestFieldsReadTheirField) {
  dict.Variables.SetVariable(" 工资", "");
  dict.Variables.SetVariable("Double", "[A] * 2");
  dict.Variables.SetVariable("Pay", "rbDS.\"F01\"");
  report.a = 3;
  EXPECT_DOUBLE_EQ(rbGetValue("Double").AsDouble(), 6);
  report.a = 5;
  EXPECT_DOUBLE_EQ(rbGetValue("Double").AsDouble(), 10);
  mem.Open();
  EXPECT_TRUE(dict.IsVariable("Pay"));
  EXPECT_DOUBLE_EQ(rbGetValue("Pay").AsDouble(), 100);
  mem.Next();
  EXPECT_DOUBLE_EQ(rbGetValue("Pay").AsDouble(), 250);
  EXPECT_FALSE(dict.IsVariable("Nothing"));
}

TEST_F(DictionaryTest, AliasesLeadToTheirDatasetAndField) {
  dict.FieldAliases.SetVariable("rbDS", "职工");
  dict.FieldAliases.SetVariable("rbDS.\"xm\"", "姓名");
  mem.Open();
  EXPECT_TRUE(dict.IsVariable("职工.\"姓名\""));
  EXPECT_EQ(VarToStr(dict.GetValue("职工.\"姓名\"")), "张三");
  EXPECT_TRUE(dict.IsVariable("rbDS.\"F01\""));
  EXPECT_FALSE(dict.IsVariable("职工.\"没有\""));
}

TEST_F(DictionaryTest, AVariableThatNamesItselfIsAnError) {
  dict.Variables.SetVariable("Loop", "[Loop] + 1");
  EXPECT_THROW(rbGetValue("Loop"), EParserError);
}

TEST_F(DictionaryTest, RecordsRoundTripAndDamageIsReported) {
  dict.Variables.SetVariable(" 工资", "");
  dict.Variables.SetVariable("Pay", "rbDS.\"F01\"");
  dict.FieldAliases.SetVariable("rbDS", "职工");
  TMemoryStream m;
  dict.SaveToStream(&m);
  TrbDataDictionary back;
  m.SetPosition(0);
  back.LoadFromStream(&m);
  EXPECT_EQ(back.Variables.Count(), 2);
  EXPECT_EQ(VarToStr(back.Variables.Variable("Pay")), "rbDS.\"F01\"");
  EXPECT_EQ(VarToStr(back.FieldAliases.Variable("rbDS")), "职工");

  std::string bytes = Bytes(m);
  bytes[2] = '\x7F';  // a count of variables that cannot be there
  TMemoryStream bad;
  bad.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  bad.SetPosition(0);
  EXPECT_THROW(back.LoadFromStream(&bad), EReadError);
}

TEST_F(DictionaryTest, PreviousLayoutDropsVariablesWithoutAValue) {
  TMemoryStream m;
  rbStreamWriteWord(&m, 0xFFFF);
  rbStreamWriteInt(&m, 3);
  for (const char* s : {" 分类", "", "Empty", "", "Sum", "[A] + 1"}) rbStreamWriteString(&m, s);
  rbStreamWriteInt(&m, 0);
  rbStreamWriteInt(&m, 0);
  m.SetPosition(0);
  dict.LoadFromStream(&m);
  EXPECT_EQ(dict.Variables.Count(), 2);
  EXPECT_EQ(dict.Variables.IndexOf("Empty"), -1);
}

TEST_F(DictionaryTest, OldLayoutTakesItsOrderFromTheLineList) {
  TMemoryStream m;
  rbCurrentVersion = 22;
  rbStreamWriteInt(&m, 2);
  auto oldString = [&](const char* s) { m.WriteBuffer(s, static_cast<int>(std::strlen(s)) + 1); };
  rbStreamWriteByte(&m, 1);  // a field reference
  rbStreamWriteInt(&m, 0);
  oldString("rbDS");
  oldString("\"F01\"");
  oldString("Pay");
  rbStreamWriteByte(&m, 2);  // a system variable
  rbStreamWriteInt(&m, 0);
  oldString("");
  oldString("");
  oldString("PageNo");
  oldString("Group\r Pay\r PageNo");
  m.SetPosition(0);
  dict.LoadFromStream(&m);
  rbCurrentVersion = 24;
  ASSERT_EQ(dict.Variables.Count(), 3);
  EXPECT_EQ(dict.Variables.Name(0), " Group");
  EXPECT_EQ(VarToStr(dict.Variables.Variable("Pay")), "rbDS.\"F01\"");
  EXPECT_EQ(VarToStr(dict.Variables.Variable("PageNo")), "PAGE#");
}

}  // namespace
