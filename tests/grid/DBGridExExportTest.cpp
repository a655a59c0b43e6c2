// Grid exporters: text, CSV and GRDDBIF bytes over every selection kind,
// footers over the exported records, and files replaced only whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TransferTestSupport.h"
#include "grid/DBGridExExport.h"
#include "grid/GrdDbifFormat.h"
#include "platform/core/Files.h"
#include "platform/core/Streams.h"

namespace {

template <class Exporter>
AnsiString Export(TCustomDBGridEx* grid, bool all) {
  TMemoryStream out;
  Exporter e;
  e.DBGridEx = grid;
  e.ExportToStream(&out, all);
  return StreamText(out);
}

AnsiString Bytes(std::initializer_list<int> bytes) {
  AnsiString s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

class ExportTest : public TransferFixture {};

TEST_F(ExportTest, TextOfTwoColumnsAndTwoRecordsIsThreeLinesWithoutFinalBreak) {
  Make({{"A", ftString, 10}, {"B", ftString, 10}}, {{"1", "2"}, {"3", "4"}});
  EXPECT_EQ(Export<TDBGridExExportAsText>(grid, true), AnsiString("A\tB\r\n1\t2\r\n3\t4"));
  // Without titles only the records.
  grid->SetOptions(TDBGridOptions{dgEditing});
  EXPECT_EQ(Export<TDBGridExExportAsText>(grid, true), AnsiString("1\t2\r\n3\t4"));
}

TEST_F(ExportTest, NothingSelectedWritesNothingInAnyFormat) {
  Make({{"A", ftString, 10}}, {{"1"}});
  EXPECT_EQ(Export<TDBGridExExportAsText>(grid, false), AnsiString());
  EXPECT_EQ(Export<TDBGridExExportAsCSV>(grid, false), AnsiString());
  EXPECT_EQ(Export<TDBGridExExportAsRTF>(grid, false), AnsiString());
  EXPECT_EQ(Export<TDBGridExExportAsGRDDBIF>(grid, false), AnsiString());
}

TEST_F(ExportTest, TabsAndLineBreaksInsideTextCellsBecomeSpaces) {
  Make({{"A", ftString, 20}, {"B", ftString, 20}}, {{"x\ty", "p\r\nq\nr\rs"}});
  Col(0)->Title()->SetCaption("T\t1");
  EXPECT_EQ(Export<TDBGridExExportAsText>(grid, true), AnsiString("T 1\tB\r\nx y\tp  q r s"));
}

TEST_F(ExportTest, CsvQuotesEveryTextAndDoublesInnerQuotes) {
  Make({{"A", ftString, 20}, {"B", ftString, 20}}, {{"say \"hi\"", Variant::Null()}, {"工资;1", "x"}});
  EXPECT_EQ(Export<TDBGridExExportAsCSV>(grid, true),
            AnsiString("\"A\";\"B\"\r\n\"say \"\"hi\"\"\";\"\"\r\n\"工资;1\";\"x\""));
}

TEST_F(ExportTest, SelectionKindsChooseRecordsAndColumns) {
  Make({{"A", ftString, 10}, {"B", ftString, 10}, {"C", ftString, 10}},
       {{"a0", "b0", "c0"}, {"a1", "b1", "c1"}, {"a2", "b2", "c2"}, {"a3", "b3", "c3"}});
  Col(1)->SetVisible(false);
  TDBGridExSelection* sel = grid->Selection();
  // Bookmarked rows, in dataset order, over the visible columns.
  GoTo(2);
  grid->SelectedRows()->SetCurrentRowSelected(true);
  GoTo(0);
  grid->SelectedRows()->SetCurrentRowSelected(true);
  EXPECT_EQ(Export<TDBGridExExportAsText>(grid, false), AnsiString("A\tC\r\na0\tc0\r\na2\tc2"));
  // A rectangle: the visible columns between its corners, top to bottom.
  sel->Clear();
  sel->Rect()->Select(2, Mark(3), false);
  sel->Rect()->Select(0, Mark(1), true);
  ASSERT_EQ(sel->SelectionType(), gstRectangle);
  EXPECT_EQ(Export<TDBGridExExportAsText>(grid, false),
            AnsiString("A\tC\r\na1\tc1\r\na2\tc2\r\na3\tc3"));
  // Selected columns, every record; the whole grid whatever is selected.
  sel->Clear();
  sel->Columns()->Select(Col(2), false);
  EXPECT_EQ(Export<TDBGridExExportAsText>(grid, false), AnsiString("C\r\nc0\r\nc1\r\nc2\r\nc3"));
  EXPECT_EQ(Export<TDBGridExExportAsText>(grid, true),
            AnsiString("A\tC\r\na0\tc0\r\na1\tc1\r\na2\tc2\r\na3\tc3"));
  // The grid's position is kept.
  GoTo(1);
  Export<TDBGridExExportAsText>(grid, true);
  EXPECT_EQ(ds->FieldByName("A")->AsString(), AnsiString("a1"));
}

TEST_F(ExportTest, FooterSumsAndCountsCoverOnlyExportedRecords) {
  Make({{"NAME", ftString, 10}, {"PAY", ftFloat}, {"N", ftInteger}},
       {{"a", 10.25, 1}, {"b", 20.5, 2}, {"c", Variant::Null(), 3}, {"d", 100.0, 4}});
  grid->SetFooterRowCount(2);
  Col(0)->Footers()->Add()->SetValueType(fvtCount);
  Col(0)->Footers()->Add()->SetValueType(fvtStaticText);
  Col(0)->Footers()->Items(1)->SetValue("合计");
  Col(1)->Footers()->Add()->SetValueType(fvtSum);
  Col(1)->Footers()->Add()->SetValueType(fvtAvg);  // the grid's own value (all records)
  Col(2)->Footers()->Add()->SetValueType(fvtSum);
  Col(2)->Footers()->Add()->SetValueType(fvtNon);
  for (int r : {0, 2}) {
    GoTo(r);
    grid->SelectedRows()->SetCurrentRowSelected(true);
  }
  AnsiString avg = grid->GetFooterValue(1, Col(1));
  EXPECT_EQ(Export<TDBGridExExportAsText>(grid, false),
            "NAME\tPAY\tN\r\na\t10.25\t1\r\nc\t\t3\r\n2\t10.25\t4\r\n合计\t" + avg + "\t");
}

TEST_F(ExportTest, CellAndFooterEventsChangeWhatIsWritten) {
  Make({{"A", ftString, 10}}, {{"x"}});
  grid->SetFooterRowCount(1);
  Col(0)->Footers()->Add()->SetValueType(fvtStaticText);
  grid->OnGetFooterParams = [](TObject*, int, int, TColumnEx*, TFont*, TColor&, TAlignment&,
                               unsigned, AnsiString& text) { text = "F"; };
  Col(0)->SetOnGetCellParams(
      [](TObject*, bool, TColCellParamsEx* p) { p->Text = "<" + p->Text + ">"; });
  EXPECT_EQ(Export<TDBGridExExportAsText>(grid, true), AnsiString("A\r\n<x>\r\nF"));
}

TEST_F(ExportTest, GrdDbifCarriesTypedValues) {
  Make({{"S", ftString, 10}, {"I", ftInteger}, {"F", ftFloat}, {"B", ftBoolean}},
       {{"工", -2, 0.5, true}, {Variant::Null(), Variant::Null(), Variant::Null(), false}});
  grid->Columns()->Add();  // a column without field
  Col(1)->SetVisible(false);
  grid->Selection()->Columns()->Select(Col(0), false);
  grid->Selection()->Columns()->Select(Col(1), true);
  grid->Selection()->Columns()->Select(Col(2), true);
  grid->Selection()->Columns()->Select(Col(3), true);
  grid->Selection()->Columns()->Select(Col(4), true);
  AnsiString expected = AnsiString("GRDDBIF") + Bytes({1, 5, 0, 0, 0}) +
                        Bytes({1, 0, 0, 0, 1, 0, 1, 0, 1, 0}) +
                        // record 1
                        Bytes({5, 2, 0, 0, 0}) + "工" + Bytes({3, 0xFE, 0xFF, 0xFF, 0xFF}) +
                        Bytes({4, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F}) + Bytes({5, 4, 0, 0, 0}) +
                        "True" + Bytes({1}) +
                        // record 2
                        Bytes({2, 2, 2}) + Bytes({5, 5, 0, 0, 0}) + "False" + Bytes({1}) +
                        Bytes({0});
  EXPECT_EQ(Export<TDBGridExExportAsGRDDBIF>(grid, false), expected);
}

TEST_F(ExportTest, GrdDbifOfNoColumnsIsHeaderAndEndTag) {
  Make({{"A", ftString, 10}}, {{"x"}, {"y"}});
  Col(0)->SetVisible(false);
  EXPECT_EQ(Export<TDBGridExExportAsGRDDBIF>(grid, true),
            AnsiString("GRDDBIF") + Bytes({1, 0, 0, 0, 0, 0}));
}

class ExportFileTest : public ExportTest {
 protected:
  void SetUp() override {
    ExportTest::SetUp();
    dir = std::filesystem::temp_directory_path() /
          ("grid-export-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    file = (dir / "out.txt").string();
    std::ofstream(file) << "old contents";
  }
  void TearDown() override {
    std::filesystem::remove_all(dir);
    ExportTest::TearDown();
  }
  std::string Read() {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::path dir;
  std::string file;
};

TEST_F(ExportFileTest, FileIsReplacedWhole) {
  Make({{"A", ftString, 10}}, {{"1"}});
  TDBGridExExportAsText e;
  e.DBGridEx = grid;
  e.ExportToFile(NativeToAnsiPath(file), true);
  EXPECT_EQ(Read(), "A\r\n1");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(ExportFileTest, FailedExportLeavesOldFileAndNoTemporaryFile) {
  Make({{"A", ftString, 10}}, {{"1"}, {"2"}});
  grid->OnGetCellParams = [](TObject*, TColumnEx*, TFont*, TColor&, unsigned) {
    throw Exception("disk full");
  };
  TDBGridExExportAsText e;
  e.DBGridEx = grid;
  EXPECT_THROW(e.ExportToFile(NativeToAnsiPath(file), true), Exception);
  EXPECT_EQ(Read(), "old contents");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  EXPECT_FALSE(ds->ControlsDisabled());
}

}  // namespace
