// The plain data grid over an in-memory table: rows follow the dataset,
// the cursor follows the rows, cells edit fields, Insert, Esc and
// Ctrl+Delete edit the table, columns come from the definition.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTableWidget>
#include <QTest>

#include "FakeDialogService.h"
#include "MemDataSet.h"
#include "UiTestSupport.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Forms.h"
#include "platform/ui/QtText.h"

namespace {

class DBGridsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 500, 300);
    kinds = new TMemDataSet(form);
    kinds->AddColumn("xh", ftInteger);
    kinds->AddColumn("Zgqk", ftString, 10);
    kinds->AddRow({1, "在职职工"});
    kinds->AddRow({2, "退休职工"});
    kinds->AddRow({3, "临时工"});
    kinds->Open();
    source = new TDataSource(form);
    source->SetDataSet(kinds);
    grid = new TDBGrid(form);
    grid->SetParent(form);
    grid->SetBounds(0, 0, 400, 200);
    TColumn* c1 = grid->Columns()->Add();
    c1->SetFieldName("xh");
    c1->Title()->SetCaption("序号");
    TColumn* c2 = grid->Columns()->Add();
    c2->SetFieldName("Zgqk");
    c2->Title()->SetCaption("职工情况");
    grid->SetDataSource(source);
    form->Show();
  }
  void TearDown() override {
    delete form;
    Pump();
  }
  QTableWidget* Table() { return qobject_cast<QTableWidget*>(grid->Surface()); }
  TForm* form;
  TMemDataSet* kinds;
  TDataSource* source;
  TDBGrid* grid;
};

TEST_F(DBGridsTest, RowsShowTheRecordsUnderTheColumnTitles) {
  ASSERT_EQ(grid->RowCount(), 3);
  EXPECT_EQ(grid->CellText(1, 1), "退休职工");
  EXPECT_EQ(grid->CellText(2, 0), "3");
  EXPECT_EQ(FromQString(Table()->horizontalHeaderItem(1)->text()), "职工情况");
  EXPECT_EQ(grid->CurrentRow(), 0);
  EXPECT_EQ(kinds->FieldByName("xh")->AsInteger(), 1) << "reading the rows kept the cursor";
}

TEST_F(DBGridsTest, TheHighlightFollowsTheCursorAndTheCursorFollowsAClick) {
  kinds->Next();
  kinds->Next();
  EXPECT_EQ(grid->CurrentRow(), 2);
  QRect cell = Table()->visualItemRect(Table()->item(1, 1));
  QTest::mouseClick(Table()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  EXPECT_EQ(grid->CurrentRow(), 1);
  EXPECT_EQ(kinds->FieldByName("Zgqk")->AsString(), "退休职工");
}

TEST_F(DBGridsTest, EditingACellWritesTheFieldAndLeavingTheRowPostsIt) {
  TFakeDialogService dialogs;
  grid->SetSelectedIndex(1);
  grid->EditCell(1, "合同工");
  EXPECT_EQ(kinds->State(), dsEdit);
  EXPECT_EQ(kinds->FieldByName("Zgqk")->AsString(), "合同工");
  QRect cell = Table()->visualItemRect(Table()->item(2, 1));
  QTest::mouseClick(Table()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  EXPECT_EQ(kinds->State(), dsBrowse);
  kinds->First();
  EXPECT_EQ(kinds->FieldByName("Zgqk")->AsString(), "合同工");
  EXPECT_EQ(grid->CellText(0, 1), "合同工");
  for (auto& b : dialogs.Boxes) ADD_FAILURE() << "error box: " << b.Text;
}

// Text typed into a cell whose editor is still open (the operator clicked
// a button that takes no focus) goes into the field when the record is
// posted.
TEST_F(DBGridsTest, PostingTakesTheTextOfACellStillBeingTyped) {
  TFakeDialogService dialogs;
  kinds->Edit();
  QTableWidgetItem* item = Table()->item(0, 1);
  Table()->setCurrentItem(item);
  Table()->editItem(item);
  auto* editor = qobject_cast<QLineEdit*>(Table()->indexWidget(Table()->indexFromItem(item)));
  ASSERT_NE(editor, nullptr);
  editor->setText(QStringLiteral("合同工"));
  kinds->Post();
  kinds->First();
  EXPECT_EQ(kinds->FieldByName("Zgqk")->AsString(), "合同工");
  EXPECT_EQ(kinds->State(), dsBrowse);
  for (auto& b : dialogs.Boxes) ADD_FAILURE() << "error box: " << b.Text;
}

TEST_F(DBGridsTest, InsertAddsARowAndEscapeTakesItBack) {
  form->SetActiveControl(grid);
  PressKey(grid, Qt::Key_Insert);
  EXPECT_EQ(kinds->State(), dsInsert);
  EXPECT_EQ(grid->RowCount(), 4);
  PressKey(grid, Qt::Key_Escape, QStringLiteral("\x1b"));
  EXPECT_EQ(kinds->State(), dsBrowse);
  EXPECT_EQ(grid->RowCount(), 3);
}

TEST_F(DBGridsTest, CtrlDeleteAsksBeforeDeleting) {
  TFakeDialogService dialogs;
  dialogs.Answers = {mrCancel, mrOk};
  form->SetActiveControl(grid);
  PressKey(grid, Qt::Key_Delete, QString(), Qt::ControlModifier);
  EXPECT_EQ(kinds->RecordCount(), 3);
  PressKey(grid, Qt::Key_Delete, QString(), Qt::ControlModifier);
  EXPECT_EQ(kinds->RecordCount(), 2);
  EXPECT_EQ(grid->RowCount(), 2);
  EXPECT_EQ(grid->CellText(0, 1), "退休职工");
}

TEST_F(DBGridsTest, AReadOnlyTableKeepsItsCells) {
  kinds->ReadOnlyForTest = true;
  grid->LayoutChanged();
  grid->EditCell(1, "X");
  EXPECT_EQ(grid->CellText(0, 1), "在职职工");
  EXPECT_EQ(kinds->State(), dsBrowse);
}

TEST_F(DBGridsTest, RowSelectTakesEditingAway) {
  grid->SetOptions(TDBGridOptions{dgEditing, dgTitles, dgRowSelect});
  EXPECT_FALSE(grid->Options().Contains(dgEditing));
  EXPECT_TRUE(grid->Options().Contains(dgRowSelect));
}

}  // namespace
