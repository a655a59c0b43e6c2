// Grid importers: the text reader's states, overwrite, insert and append
// modes, value errors and their question, and GRDDBIF streams checked
// whole before anything is stored.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "GridTestSupport.h"
#include "TransferTestSupport.h"
#include "grid/DBGridExClipboard.h"
#include "grid/DBGridExImport.h"
#include "platform/core/Files.h"
#include "platform/core/Streams.h"
#include "platform/ui/Forms.h"

namespace {

using TTable = std::vector<std::vector<AnsiString>>;

AnsiString Bytes(std::initializer_list<int> bytes) {
  AnsiString s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

class ImportTest : public TransferFixture {
 protected:
  // Two string columns, two records.
  void MakeTwo() {
    Make({{"A", ftString, 20}, {"B", ftString, 20}}, {{"a0", "b0"}, {"a1", "b1"}});
  }
  template <class Importer>
  void Import(const AnsiString& data, bool all = false) {
    TStringStream in(data);
    Importer importer;
    importer.DBGridEx = grid;
    importer.ImportFromStream(&in, all);
  }
  void Text(const AnsiString& data, bool all = false) { Import<TDBGridExImportAsText>(data, all); }
  void Grd(const AnsiString& data, bool all = false) { Import<TDBGridExImportAsGRDDBIF>(data, all); }
};

TEST_F(ImportTest, TwoLinesFillTwoRecordsFromTheCurrentCell) {
  MakeTwo();
  Text("x\ty\r\nz\tw");
  EXPECT_EQ(Rows(), (TTable{{"x", "y"}, {"z", "w"}}));
  EXPECT_EQ(ds->State(), dsBrowse);
}

TEST_F(ImportTest, LinesBeyondTheLastRecordAreAppendedOnlyWhenAllowed) {
  MakeTwo();
  grid->SetAllowedOperations(TDBGridExAllowedOperations{alopUpdateEx});
  Text("1\t2\r\n3\t4\r\n5\t6");
  EXPECT_EQ(Rows(), (TTable{{"1", "2"}, {"3", "4"}}));
  grid->SetAllowedOperations(TDBGridExAllowedOperations{alopUpdateEx, alopAppendEx});
  GoTo(0);
  Text("1\t2\r\n3\t4\r\n5\t6\r\n");  // the final line break adds no empty record
  EXPECT_EQ(Rows(), (TTable{{"1", "2"}, {"3", "4"}, {"5", "6"}}));
}

TEST_F(ImportTest, TextReaderCellsAndLines) {
  const struct {
    const char* data;
    TTable rows;
  } cases[] = {
      {"p\nq\tr", {{"p\nq", "r"}, {"a1", "b1"}}},      // a lone LF is cell text
      {"p\t\r\nq", {{"p", "b0"}, {"q", "b1"}}},       // a TAB at the line end fills nothing more
      {"\tq", {{"", "q"}, {"a1", "b1"}}},             // an empty first cell
      {"p\tq\tr\ts", {{"p", "q"}, {"a1", "b1"}}},     // extra cells dropped
      {"\r\np", {{"a0", "b0"}, {"p", "b1"}}},         // an empty line fills nothing
      {"", {{"a0", "b0"}, {"a1", "b1"}}},
  };
  for (const auto& c : cases) {
    TearDown();
    SetUp();
    MakeTwo();
    Text(c.data);
    EXPECT_EQ(Rows(), c.rows) << c.data;
  }
}

TEST_F(ImportTest, StartsAtTheCurrentColumnOrFromTheFirstCellForTheWholeGrid) {
  MakeTwo();
  grid->SetSelectedIndex(1);
  GoTo(1);
  Text("p\tq");
  EXPECT_EQ(Rows(), (TTable{{"a0", "b0"}, {"a1", "p"}}));
  Text("x\ty", true);
  EXPECT_EQ(Rows(), (TTable{{"x", "y"}, {"a1", "p"}}));
  EXPECT_EQ(grid->SelectedIndex(), 0);
}

TEST_F(ImportTest, LoneCarriageReturnStopsAfterEarlierRowsAndCancelsTheHalfFilledRecord) {
  Make({{"A", ftString, 20}, {"B", ftString, 20}}, {{"a0", "b0"}, {"a1", "b1"}, {"a2", "b2"}});
  try {
    Text("x\ty\r\nz\tw\rv");  // z reaches the second record before the error
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), AnsiString("TDBGridExImportAsText.CheckState: Invalid text format"));
  }
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(Rows(), (TTable{{"x", "y"}, {"a1", "b1"}, {"a2", "b2"}}));
  EXPECT_FALSE(ds->ControlsDisabled());
}

TEST_F(ImportTest, InsertModeInsertsBeforeAndAppendModeAppends) {
  MakeTwo();
  GoTo(1);
  ds->Insert();
  Text("i\tj\r\nk\tl");
  EXPECT_EQ(Rows(), (TTable{{"a0", "b0"}, {"i", "j"}, {"k", "l"}, {"a1", "b1"}}));
  ds->Append();
  Text("m\tn");
  TTable rows = Rows();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows.back(), (std::vector<AnsiString>{"m", "n"}));
}

TEST_F(ImportTest, SelectionKindsChooseTheCellsFilled) {
  Make({{"A", ftString, 9}, {"B", ftString, 9}, {"C", ftString, 9}},
       {{"a0", "b0", "c0"}, {"a1", "b1", "c1"}, {"a2", "b2", "c2"}});
  TDBGridExSelection* sel = grid->Selection();
  GoTo(2);
  grid->SelectedRows()->SetCurrentRowSelected(true);
  GoTo(0);
  grid->SelectedRows()->SetCurrentRowSelected(true);
  Text("1\t2\t3\r\n4\t5\t6");
  EXPECT_EQ(Rows(), (TTable{{"1", "2", "3"}, {"a1", "b1", "c1"}, {"4", "5", "6"}}));
  sel->Clear();
  sel->Rect()->Select(1, Mark(1), false);
  sel->Rect()->Select(2, Mark(2), true);
  Text("p\tq\r\nr\ts\r\nnot used");
  EXPECT_EQ(Rows(), (TTable{{"1", "2", "3"}, {"a1", "p", "q"}, {"4", "r", "s"}}));
  sel->Clear();
  sel->Columns()->Select(Col(0), false);
  Text("x\r\ny");  // the third record gets nothing: the data is exhausted
  EXPECT_EQ(Rows(), (TTable{{"x", "2", "3"}, {"y", "p", "q"}, {"4", "r", "s"}}));
}

TEST_F(ImportTest, ImportsFromAFile) {
  MakeTwo();
  std::string name = ::testing::TempDir() + "grid-import-" + std::to_string(::getpid()) + ".txt";
  {
    TFileStream f(NativeToAnsiPath(name), fmCreate);
    f.WriteBuffer("f\tg", 3);
  }
  TDBGridExImportAsText importer;
  importer.DBGridEx = grid;
  importer.ImportFromFile(NativeToAnsiPath(name), false);
  std::remove(name.c_str());
  EXPECT_EQ(Rows(), (TTable{{"f", "g"}, {"a1", "b1"}}));
}

class ValueErrorTest : public ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    Make({{"A", ftString, 20}, {"N", ftInteger}}, {{"a0", 0}, {"a1", 1}, {"a2", 2}});
  }
};

TEST_F(ValueErrorTest, YesSkipsTheValueAndAsksAgain) {
  dialogs.Answers = {mrYes, mrYes};
  Text("p\tbad\r\nq\t7\r\nr\tworse");
  EXPECT_EQ(Rows(), (TTable{{"p", "0"}, {"q", "7"}, {"r", "2"}}));
  ASSERT_EQ(dialogs.Boxes.size(), 2u);
  EXPECT_EQ(dialogs.Boxes[0].Text.Pos("Error during insert value:\n"), 1);
  EXPECT_GT(dialogs.Boxes[0].Text.Pos("\n\nIgnore error?"), 0);
  std::vector<int> buttons;
  for (const auto& b : dialogs.Boxes[0].Buttons) buttons.push_back(b.Result);
  EXPECT_EQ(buttons, (std::vector<int>{mrYes, mrNo, mrAll}));
}

TEST_F(ValueErrorTest, AllIgnoresEveryLaterError) {
  dialogs.Answers = {mrAll};
  Text("p\tbad\r\nq\tworse\r\nr\t9");
  EXPECT_EQ(Rows(), (TTable{{"p", "0"}, {"q", "1"}, {"r", "9"}}));
  EXPECT_EQ(dialogs.Boxes.size(), 1u);
}

TEST_F(ValueErrorTest, NoEndsSilentlyAndCancelsTheHalfFilledRecord) {
  dialogs.Answers = {mrNo};
  EXPECT_THROW(Text("p\t5\r\nq\tbad\r\nr\t9"), EAbort);
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(Rows(), (TTable{{"p", "5"}, {"a1", "1"}, {"a2", "2"}}));
}

// --- GRDDBIF -----------------------------------------------------------------

AnsiString GrdHeader(int columns) {
  AnsiString s = AnsiString("GRDDBIF") + Bytes({1, columns, 0, 0, 0});
  for (int i = 0; i < columns; ++i) s += Bytes({1, 0});
  return s;
}

TEST_F(ImportTest, GrdDbifTagsNoValueKeepAndNullClears) {
  Make({{"A", ftString, 20}, {"N", ftInteger}, {"F", ftFloat}}, {{"a0", 5, 1.5}, {"a1", 6, 2.5}});
  Grd(GrdHeader(3) + Bytes({1, 2, 4, 0, 0, 0, 0, 0, 0, 0x04, 0x40}) +
      Bytes({5, 1, 0, 0, 0}) + "z" + Bytes({3, 9, 0, 0, 0, 1}) + Bytes({0}));
  EXPECT_EQ(Rows(), (TTable{{"a0", "<null>", "2.5"}, {"z", "9", "2.5"}}));
}

TEST_F(ImportTest, GrdDbifWithoutCellsChangesNothing) {
  MakeTwo();
  Grd(GrdHeader(2) + Bytes({0}));
  Grd(GrdHeader(0) + Bytes({0}));
  EXPECT_EQ(Rows(), (TTable{{"a0", "b0"}, {"a1", "b1"}}));
  EXPECT_EQ(ds->State(), dsBrowse);
}

TEST_F(ImportTest, MalformedGrdDbifIsRefusedWithNothingChanged) {
  const AnsiString good = GrdHeader(2) + Bytes({5, 1, 0, 0, 0}) + "x" + Bytes({5, 1, 0, 0, 0}) +
                          "y" + Bytes({0});
  const struct {
    const char* what;
    AnsiString data;
  } cases[] = {
      {"empty", ""},
      {"short header", good.substr(0, 11)},
      {"foreign signature", "GRDDBIX" + good.substr(7)},
      {"negative column count", AnsiString("GRDDBIF") + Bytes({1, 0xFF, 0xFF, 0xFF, 0xFF, 0})},
      {"column name unended", AnsiString("GRDDBIF") + Bytes({1, 1, 0, 0, 0, 1, 'n'})},
      {"no end tag", good.substr(0, good.size() - 1)},
      {"unknown tag", GrdHeader(1) + Bytes({7, 0})},
      {"short integer", GrdHeader(1) + Bytes({3, 1, 0, 0})},
      {"short double", GrdHeader(1) + Bytes({4, 1, 2, 3, 4, 5, 6, 7})},
      {"negative length", GrdHeader(1) + Bytes({5, 0xFF, 0xFF, 0xFF, 0xFF, 0})},
      {"length past the end", GrdHeader(1) + Bytes({6, 9, 0, 0, 0, 'a', 0})},
      {"half a record", GrdHeader(2) + Bytes({5, 1, 0, 0, 0}) + "x" + Bytes({0})},
      {"cells without columns", GrdHeader(0) + Bytes({2, 0})},
  };
  for (const auto& c : cases) {
    TearDown();
    SetUp();
    MakeTwo();
    GoTo(1);
    grid->Selection()->Columns()->Select(Col(1), false);
    try {
      Grd(c.data, true);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), AnsiString("TDBGridExImportAsGRDDBIF.ReadPrefix: Invalid GRDDBIF format"))
          << c.what;
    }
    EXPECT_EQ(Rows(), (TTable{{"a0", "b0"}, {"a1", "b1"}})) << c.what;
    EXPECT_EQ(ds->State(), dsBrowse) << c.what;
    EXPECT_EQ(ds->FieldByName("A")->AsString(), AnsiString("a1")) << c.what;
    EXPECT_EQ(grid->Selection()->SelectionType(), gstColumns) << c.what;
  }
  // The good stream itself is taken.
  Grd(good, true);
  EXPECT_EQ(Rows(), (TTable{{"x", "y"}, {"a1", "b1"}}));
}

TEST_F(ImportTest, GrdDbifValueErrorKeepsTheReaderInStep) {
  Make({{"N", ftInteger}, {"A", ftString, 9}}, {{1, "a"}, {2, "b"}});
  dialogs.Answers = {mrYes};
  Grd(GrdHeader(2) + Bytes({5, 3, 0, 0, 0}) + "bad" + Bytes({5, 1, 0, 0, 0}) + "x" +
      Bytes({3, 7, 0, 0, 0}) + Bytes({5, 1, 0, 0, 0}) + "y" + Bytes({0}));
  EXPECT_EQ(Rows(), (TTable{{"1", "x"}, {"7", "y"}}));
  EXPECT_EQ(dialogs.Boxes.size(), 1u);
}

// Lookup and key-pick-list columns: text shows and takes the shown value,
// GRDDBIF carries and takes the stored key.
class KeyedColumnsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplicationForTest();
    depts.AddColumn("CODE", ftString, 2);
    depts.AddColumn("DNAME", ftString, 10);
    for (const char* code : {"01", "02", "03"})
      depts.AddRow({code, std::string("部门") + code});
    emps.AddColumn("DEPT", ftString, 2);
    emps.AddColumn("SEX", ftString, 1);
    emps.AddRow({"01", "M"});
    emps.AddRow({"02", "F"});
    AddStringField(&emps, "DEPT", 2);
    AddStringField(&emps, "SEX", 1);
    AddDeptNameLookup(&emps, "DEPTNAME", 10, &depts, "DEPT");
    depts.Open();
    emps.Open();
    source.SetDataSet(&emps);
    grid = std::make_unique<TDBGridEx>(nullptr);
    grid->Columns()->Add()->SetFieldName("DEPTNAME");
    TColumnEx* sex = grid->Columns()->Add();
    sex->SetFieldName("SEX");
    sex->PickList()->Add("男");
    sex->PickList()->Add("女");
    sex->KeyList()->Add("M");
    sex->KeyList()->Add("F");
    grid->SetDataSource(&source);
  }
  void TearDown() override { grid.reset(); }
  std::vector<std::vector<AnsiString>> Keys() {
    std::vector<std::vector<AnsiString>> out;
    emps.First();
    for (; !emps.Eof(); emps.Next())
      out.push_back({emps.FieldByName("DEPT")->AsString(), emps.FieldByName("SEX")->AsString()});
    return out;
  }

  TMemDataSet depts, emps;
  TDataSource source{nullptr};
  std::unique_ptr<TDBGridEx> grid;
};

TEST_F(KeyedColumnsTest, TextShowsAndTakesTheShownValues) {
  ASSERT_EQ(grid->Columns()->Items(0)->ColumnKind(), ckLookup);
  ASSERT_EQ(grid->Columns()->Items(1)->ColumnKind(), ckKeyPickList);
  TMemoryStream out;
  ExportGridToStream<TDBGridExExportAsText>(grid.get(), &out, true);
  EXPECT_EQ(StreamText(out), AnsiString("DEPTNAME\tSEX\r\n部门01\t男\r\n部门02\t女"));
  emps.First();
  TStringStream in("部门03\t女\r\n不存在\t未知");  // not found: the key stays / is cleared
  ImportGridFromStream<TDBGridExImportAsText>(grid.get(), &in, false);
  EXPECT_EQ(Keys(), (std::vector<std::vector<AnsiString>>{{"03", "F"}, {"02", ""}}));
}

TEST_F(KeyedColumnsTest, GrdDbifCarriesTheStoredKeys) {
  TMemoryStream data;
  ExportGridToStream<TDBGridExExportAsGRDDBIF>(grid.get(), &data, true);
  EXPECT_EQ(StreamText(data), AnsiString("GRDDBIF") + Bytes({1, 2, 0, 0, 0, 1, 0, 1, 0}) +
                                  Bytes({5, 2, 0, 0, 0}) + "01" + Bytes({5, 1, 0, 0, 0}) + "M" +
                                  Bytes({5, 2, 0, 0, 0}) + "02" + Bytes({5, 1, 0, 0, 0}) + "F" +
                                  Bytes({0}));
  emps.Last();
  grid->SetSelectedIndex(0);
  data.SetPosition(0);
  ImportGridFromStream<TDBGridExImportAsGRDDBIF>(grid.get(), &data, false);
  EXPECT_EQ(Keys(), (std::vector<std::vector<AnsiString>>{{"01", "M"}, {"01", "M"}, {"02", "F"}}));
}

}  // namespace
