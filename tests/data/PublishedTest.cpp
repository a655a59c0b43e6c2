// Datasets, data sources and persistent fields declared in a form's text.
#include <gtest/gtest.h>

#include "MemDataSet.h"
#include "platform/core/TextForm.h"
#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"

namespace {

const char* const kForm =
    "object FrmData: TComponent\n"
    "  object Mem1: TMemDataSet\n"
    "    Filter = 'zgbh like ''01%'''\n"
    "    object Mem1PAY: TFloatField\n"
    "      DisplayLabel = #185#164#215#202\n"
    "      FieldName = 'PAY'\n"
    "      Currency = True\n"
    "      Alignment = taCenter\n"
    "    end\n"
    "  end\n"
    "  object DataSource1: TDataSource\n"
    "    AutoEdit = False\n"
    "    DataSet = Mem1\n"
    "  end\n"
    "end\n";

TEST(PublishedTest, FormTextDeclaresDatasetSourceAndFields) {
  TComponent root(nullptr);
  ObjectTextToComponent(kForm, &root);
  auto* mem = dynamic_cast<TMemDataSet*>(root.FindComponent("Mem1"));
  auto* src = dynamic_cast<TDataSource*>(root.FindComponent("DataSource1"));
  auto* pay = dynamic_cast<TFloatField*>(root.FindComponent("Mem1PAY"));
  ASSERT_TRUE(mem && src && pay);
  EXPECT_EQ(pay->DataSet(), mem);  // written inside its dataset
  EXPECT_EQ(pay->Owner(), &root);
  EXPECT_EQ(mem->Filter(), "zgbh like '01%'");
  EXPECT_EQ(src->DataSet(), mem);
  EXPECT_FALSE(src->AutoEdit());
  EXPECT_EQ(pay->DisplayLabel(), "工资");
  EXPECT_TRUE(pay->Currency());
  EXPECT_EQ(pay->Alignment(), taCenter);

  mem->Close();
  mem->AddColumn("PAY", ftFloat);
  mem->AddRow({12.5});
  mem->Open();  // the persistent field binds to the column
  EXPECT_DOUBLE_EQ(pay->AsFloat(), 12.5);
  mem->Close();

  AnsiString text = ComponentToObjectText(&root);
  EXPECT_NE(text.find("    object Mem1PAY: TFloatField"), std::string::npos);
  EXPECT_NE(text.find("DataSet = Mem1"), std::string::npos);
  EXPECT_EQ(text.find("AutoCalcFields"), std::string::npos);  // default not written
}

TEST(PublishedTest, StreamedActiveOpensOnlyAfterTheWholeFormIsRead) {
  TComponent root(nullptr);
  // The source refers to the dataset before it is read: opening at once
  // would have nobody to tell.
  ObjectTextToComponent(
      "object FrmData: TComponent\n"
      "  object DataSource1: TDataSource\n"
      "    DataSet = Mem1\n"
      "  end\n"
      "  object Mem1: TMemDataSet\n"
      "    Active = True\n"
      "  end\n"
      "end\n",
      &root);
  auto* src = dynamic_cast<TDataSource*>(root.FindComponent("DataSource1"));
  ASSERT_NE(src, nullptr);
  EXPECT_EQ(src->State(), dsBrowse);
  auto* mem = dynamic_cast<TMemDataSet*>(root.FindComponent("Mem1"));
  ASSERT_NE(mem, nullptr);
  EXPECT_TRUE(mem->Active());
  mem->Close();
}

}  // namespace
