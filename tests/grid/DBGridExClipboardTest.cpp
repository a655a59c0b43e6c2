// The grid's clipboard actions: four formats on copy, a GRDDBIF round
// trip between two grids, text pasted up to its terminating zero, and the
// questions before deleting.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "TransferTestSupport.h"
#include "grid/DBGridExClipboard.h"
#include "grid/GridSelection.h"
#include "platform/core/CodePage.h"

namespace {

using TTable = std::vector<std::vector<AnsiString>>;

class ClipboardTest : public TransferFixture {
 public:
  void SetUp() override {
    TransferFixture::SetUp();
    Clipboard()->Clear();
  }
  void MakeThree() {
    Make({{"A", ftString, 20}, {"N", ftInteger}}, {{"a0", 0}, {"a1", 1}, {"a2", 2}});
  }
  void SelectRows(std::initializer_list<int> rows) {
    for (int r : rows) {
      GoTo(r);
      grid->SelectedRows()->SetCurrentRowSelected(true);
    }
  }
};

TEST_F(ClipboardTest, CopyLeavesFourFormats) {
  Make({{"A", ftString, 20}, {"B", ftFloat}}, {{"工资", 1.5}, {"x\"y", Variant::Null()}});
  CopySelectionToClipboard(grid, true);
  TBytes text = Clipboard()->GetAsHandle(CF_TEXT);
  EXPECT_EQ(AnsiString(text.begin(), text.end()), AnsiString("A\tB\r\n工资\t1.5\r\nx\"y\t") + '\0');
  TBytes csv = Clipboard()->GetAsHandle(CF_CSV());
  EXPECT_EQ(AnsiString(csv.begin(), csv.end()),
            AnsiString("\"A\";\"B\"\r\n\"工资\";\"1.5\"\r\n\"x\"\"y\";\"\"") + '\0');
  TBytes rtf = Clipboard()->GetAsHandle(CF_RICHTEXT());
  ASSERT_GT(rtf.size(), 10u);
  EXPECT_EQ(AnsiString(rtf.begin(), rtf.begin() + 10), AnsiString("{\\rtf0\\ans"));
  EXPECT_EQ(rtf.back(), 0);
  TBytes grd = Clipboard()->GetAsHandle(CF_GRDDBIF());
  ASSERT_FALSE(grd.empty());
  EXPECT_EQ(grd.back(), 0);  // the end tag, and no zero after it
  EXPECT_NE(grd[grd.size() - 2], 0);
  // Other programs see text, CSV and RTF.
  const QMimeData* m = QGuiApplication::clipboard()->mimeData();
  EXPECT_TRUE(m->hasText());
  EXPECT_TRUE(m->hasFormat("text/csv"));
  EXPECT_TRUE(m->hasFormat("text/rtf"));
  EXPECT_EQ(m->data("text/csv").toStdString(),
            AnsiToUtf8("\"A\";\"B\"\r\n\"工资\";\"1.5\"\r\n\"x\"\"y\";\"\""));
}

TEST_F(ClipboardTest, GrdDbifCopyAndPasteRoundTripBetweenGrids) {
  Make({{"S", ftString, 20}, {"I", ftInteger}, {"F", ftFloat}, {"B", ftBoolean},
        {"D", ftDateTime}},
       {{"张三", -7, 1234.5678, true, TDateTime(45000.75)},
        {Variant::Null(), Variant::Null(), 1e-300, false, Variant::Null()}});
  CopySelectionToClipboard(grid, true);
  TTable copied = Rows();

  // A second grid over another dataset with one record: the first pasted
  // row overwrites it, the second is appended.
  TMemDataSet other;
  for (const char* name : {"S", "I", "F", "B", "D"})
    other.AddColumn(name, ds->FieldByName(name)->DataType(), name[0] == 'S' ? 20 : 0);
  other.AddRow({"old", 1, 1.0, false, TDateTime(1.0)});
  TDataSource otherSource(nullptr);
  otherSource.SetDataSet(&other);
  TDBGridEx target(nullptr);
  for (const char* name : {"S", "I", "F", "B", "D"}) target.Columns()->Add()->SetFieldName(name);
  other.Open();
  target.SetDataSource(&otherSource);
  PasteFromClipboard(&target, false);
  EXPECT_EQ(RowsOf(&other), copied);
  // Exact doubles, not their texts.
  other.First();
  other.Next();
  EXPECT_EQ(other.FieldByName("F")->AsFloat(), 1e-300);
  target.SetDataSource(nullptr);
}

TEST_F(ClipboardTest, PastedTextEndsAtItsTerminatingZero) {
  MakeThree();
  Clipboard()->SetAsHandle(CF_TEXT, TBytes{'x', '\t', '5', 0, 'j', 'u', 'n', 'k'});
  PasteFromClipboard(grid, false);
  EXPECT_EQ(Rows(), (TTable{{"x", "5"}, {"a1", "1"}, {"a2", "2"}}));
  // Text put there by another program.
  QGuiApplication::clipboard()->setText(QString::fromUtf16(u"李四\t8"));
  GoTo(1);
  PasteFromClipboard(grid, false);
  EXPECT_EQ(Rows(), (TTable{{"x", "5"}, {"李四", "8"}, {"a2", "2"}}));
}

TEST_F(ClipboardTest, RowsCopiedInAnotherProgramPasteAsRows) {
  MakeThree();
  QGuiApplication::clipboard()->setText(QString::fromUtf16(u"王五\t10\n赵六\t11\n"));
  PasteFromClipboard(grid, false);
  EXPECT_EQ(Rows(), (TTable{{"王五", "10"}, {"赵六", "11"}, {"a2", "2"}}));
}

TEST_F(ClipboardTest, DeleteQuestionsFollowTheSelection) {
  const struct {
    const char* what;
    std::function<void(ClipboardTest*)> select;
    bool whole;
    const char* question;
    TTable after;
  } cases[] = {
      {"one row", [](ClipboardTest* t) { t->SelectRows({1}); }, false, "请确认删除记录?",
       {{"a0", "0"}, {"a2", "2"}}},
      {"three rows", [](ClipboardTest* t) { t->SelectRows({0, 1, 2}); }, false,
       "确认删除所有记录?", {}},
      {"rectangle",
       [](ClipboardTest* t) {
         t->grid->Selection()->Rect()->Select(0, t->Mark(0), false);
         t->grid->Selection()->Rect()->Select(0, t->Mark(1), true);
       },
       false, "Clear selected cells?", {{"<null>", "0"}, {"<null>", "1"}, {"a2", "2"}}},
      {"columns", [](ClipboardTest* t) { t->grid->Selection()->Columns()->Select(t->Col(1), false); },
       false, "Clear selected cells?", {{"a0", "<null>"}, {"a1", "<null>"}, {"a2", "<null>"}}},
      {"whole grid", [](ClipboardTest*) {}, true, "确认删除所有记录?", {}},
  };
  const TTable before{{"a0", "0"}, {"a1", "1"}, {"a2", "2"}};
  for (const auto& c : cases) {
    for (int answer : {mrCancel, mrOk}) {
      TearDown();
      SetUp();
      MakeThree();
      c.select(this);
      dialogs.Boxes.clear();
      dialogs.Answers = {answer};
      DeleteSelection(grid, c.whole);
      ASSERT_EQ(dialogs.Boxes.size(), 1u) << c.what;
      EXPECT_EQ(dialogs.Boxes[0].Text, AnsiString(c.question)) << c.what;
      EXPECT_EQ(Rows(), answer == mrOk ? c.after : before) << c.what << " " << answer;
      EXPECT_EQ(ds->State(), dsBrowse) << c.what;
      EXPECT_FALSE(ds->ControlsDisabled()) << c.what;
    }
  }
}

TEST_F(ClipboardTest, WithoutConfirmDeleteNothingIsAskedAndNothingSelectedDeletesNothing) {
  MakeThree();
  DeleteSelection(grid, false);
  EXPECT_EQ(Rows().size(), 3u);
  EXPECT_TRUE(dialogs.Boxes.empty());
  grid->SetOptions(TDBGridOptions{dgEditing, dgTitles});
  SelectRows({0, 2});
  DeleteSelection(grid, false);
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(Rows(), (TTable{{"a1", "1"}}));
  EXPECT_EQ(grid->Selection()->SelectionType(), gstNon);
}

TEST_F(ClipboardTest, DeletingRowsSkipsRecordsAnotherUserDeletedAndSaysHowManyWent) {
  const struct {
    const char* what;
    std::function<void(ClipboardTest*)> run;
  } paths[] = {
      {"Ctrl+Del", [](ClipboardTest* t) {
         std::uint16_t key = VK_DELETE;
         t->grid->GridKeyDown(key, TShiftState{ssCtrl});
       }},
      {"delete action", [](ClipboardTest* t) { EXPECT_TRUE(t->grid->ExecuteEditAction(geaDeleteEx)); }},
      {"cut", [](ClipboardTest* t) { EXPECT_TRUE(t->grid->ExecuteEditAction(geaCutEx)); }},
  };
  for (const auto& path : paths) {
    SCOPED_TRACE(path.what);
    TearDown();
    SetUp();
    Make({{"A", ftString, 20}, {"N", ftInteger}}, {{"a0", 0}, {"a1", 1}, {"a2", 2}, {"a3", 3}});
    grid->SetOptions(TDBGridOptions{dgEditing, dgTitles, dgMultiSelect});
    grid->SetEditActions({geaDeleteEx, geaCutEx});
    SelectRows({0, 1, 3});
    GoTo(1);  // another copy of the program deletes a1 meanwhile
    ds->Delete();
    dialogs.Boxes.clear();
    path.run(this);
    EXPECT_EQ(Rows(), (TTable{{"a2", "2"}}));
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].Text, SkippedDeletesText(2, 1));
    EXPECT_EQ(grid->Selection()->SelectionType(), gstNon);
    EXPECT_FALSE(ds->ControlsDisabled());
  }
  EXPECT_EQ(SkippedDeletesText(2, 1), AnsiString("已删除 2 条记录，1 条记录已被其他用户删除。"));
}

TEST_F(ClipboardTest, CutCopiesThenDeletes) {
  MakeThree();
  grid->SetOptions(TDBGridOptions{dgEditing, dgTitles});
  SelectRows({1});
  CutSelectionToClipboard(grid, false);
  EXPECT_EQ(Clipboard()->AsText(), AnsiString("A\tN\r\na1\t1"));
  EXPECT_EQ(Rows(), (TTable{{"a0", "0"}, {"a2", "2"}}));
}

}  // namespace
