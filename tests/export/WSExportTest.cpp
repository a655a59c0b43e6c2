// The export component: actions after export (desktop opener and mail
// helper stand-ins in PATH) and export by a grid's columns and selection.
#include "export/WSExport.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "../core/ScratchDir.h"
#include "ExportTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "export/WSEStat.h"
#include "export/WSExportToXLS.h"
#include "export/XlsFormat.h"
#include "platform/core/Files.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Fields.h"
#include "platform/ui/Controls.h"
#include "platform/ui/StdCtrls.h"

namespace {

class ActionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    MakePayTable(ds);
    x.SetColumnSource(csDataSet);
    x.SetDataSet(&ds);
    x.SetAnimatedStatus(false);
    x.SetFileName(dir / "pay.XLS");
  }
  // Waits up to two seconds for a file written by a helper in the background.
  bool AppearsSoon(const AnsiString& name) {
    for (int i = 0; i < 200; ++i) {
      if (FileExists(name)) return true;
      usleep(10000);
    }
    return false;
  }
  ScratchDir dir;
  TFakeHelpers helpers;
  TFakeDialogService dialogs;
  TMemDataSet ds;
  TWSExportToXLS x{nullptr};
};

TEST_F(ActionTest, OpenViewHandsTheWrittenFileToTheOpener) {
  // Written aside and moved, so that the file appears complete.
  helpers.Add("xdg-open", "echo \"$1\" > \"" + dir.Native() + "/o.tmp\" && mv \"" + dir.Native() +
                              "/o.tmp\" \"" + dir.Native() + "/opened\"");
  x.SetActionAfterExport(aeOpenView);
  ASSERT_TRUE(x.Execute());
  ASSERT_TRUE(AppearsSoon(dir / "opened"));
  EXPECT_EQ(ReadWholeFile(dir / "opened"), dir.Native() + "/pay.XLS\n");
}

TEST_F(ActionTest, NothingIsOpenedAfterAFailedExport) {
  helpers.Add("xdg-open", "touch \"" + dir.Native() + "/opened\"");
  x.SetActionAfterExport(aeOpenView);
  x.SetFileName(dir / "no-such-folder/pay.XLS");
  EXPECT_FALSE(x.Execute());
  usleep(200000);
  EXPECT_FALSE(FileExists(dir / "opened"));
}

TEST_F(ActionTest, ACancelledExportIsStillOpened) {
  helpers.Add("xdg-open", "touch \"" + dir.Native() + "/opened\"");
  x.SetActionAfterExport(aeOpenView);
  x.SetAnimatedStatus(true);
  x.OnGetCellParams = [](TObject*, TField* f, AnsiString&, TFont*, TAlignment&, TColor&) {
    if (f && ProcessForm()) ProcessForm()->btnCancel->Click();
  };
  ASSERT_TRUE(x.Execute());
  EXPECT_TRUE(x.Canceled());
  EXPECT_TRUE(AppearsSoon(dir / "opened"));
}

TEST_F(ActionTest, MailGoesToTheMailHelperWithSubjectAndAttachment) {
  helpers.Add("xdg-email", "printf '%s|' \"$@\" > \"" + dir.Native() + "/mailed\"");
  x.SetActionAfterExport(aeEMail);
  ASSERT_TRUE(x.Execute());
  EXPECT_EQ(ReadWholeFile(dir / "mailed"),
            "--subject|WSExport 3.80|--attach|" + dir.Native() + "/pay.XLS|");
  EXPECT_TRUE(dialogs.Boxes.size() <= 1u);  // at most the result text
}

TEST_F(ActionTest, MailErrorsAreReturnedAndShown) {
  const struct {
    const char* helper;  // nullptr: no mail helper at all
    int result;
  } cases[] = {{nullptr, -1}, {"exit 3", 3}, {"exit 0", 0}};
  for (const auto& c : cases) {
    TFakeHelpers only;
    only.OnlyThese();
    if (c.helper) only.Add("xdg-email", c.helper);
    dialogs.Boxes.clear();
    x.SetOptions({soShowMessage});
    EXPECT_EQ(x.SendMail(), c.result);
    if (c.result == 0) {
      EXPECT_TRUE(dialogs.Boxes.empty());
    } else {
      ASSERT_EQ(dialogs.Boxes.size(), 1u);
      EXPECT_EQ(dialogs.Boxes[0].Text, IntToStr(c.result) + " Error sending mail");
    }
    x.SetOptions({});
    dialogs.Boxes.clear();
    EXPECT_EQ(x.SendMail(), c.result);
    EXPECT_TRUE(dialogs.Boxes.empty());  // silent without soShowMessage
  }
}

TEST_F(ActionTest, LanguageStringsCanBeReplaced) {
  x.OnGetLanguageString = [](TObject*, int id, AnsiString& text) {
    if (id == kWseGenerated) text = "已导出 %s";
  };
  x.SetOptions({soShowMessage});
  ASSERT_TRUE(x.Execute());
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, "已导出 " + (dir / "pay.XLS"));
  EXPECT_EQ(x.GetLanguageString(kWseCanceled), "Data export was canceled by user.");
  EXPECT_EQ(WSEDefaultText(45), "");
}

// ---- export by a grid ------------------------------------------------------------

// A grid as the exporter sees it: two columns and a selection.
class TFakeGrid : public TCustomControl, public TWSEGridSource {
 public:
  TFakeGrid(TDataSet* ds) : TCustomControl(nullptr), ds_(ds) {}
  TDataSet* ExportDataSet() override { return ds_; }
  int ExportColumnCount() override { return 2; }
  void ExportColumn(int index, TWSEColumn& column) override {
    column.SetFieldName(index == 0 ? "NAME" : "PAY");
    column.SetAlignment(index == 0 ? taCenter : taRightJustify);
    column.Title()->SetCaption(index == 0 ? "姓名" : "工资");
  }
  int ExportSelectedCount() override { return static_cast<int>(selected.size()); }
  TBookmark ExportSelected(int index) override { return selected[static_cast<size_t>(index)]; }
  std::vector<TBookmark> selected;

 private:
  TDataSet* ds_;
};

TEST_F(ActionTest, GridColumnsAndSelectionAreExported) {
  TFakeGrid grid(&ds);
  x.SetColumnSource(csDBGrid);
  x.SetDBGrid(&grid);
  x.SetAddTitle(true);
  x.SetOptions({});
  ds.Last();
  grid.selected.push_back(ds.GetBookmark());  // record 3, then record 1
  ds.First();
  grid.selected.push_back(ds.GetBookmark());
  ds.Next();
  x.SetSelectedRecord(true);
  ASSERT_TRUE(x.Execute()) << x.LastError();
  std::vector<XlsRecord> cells;
  for (auto& r : ReadXlsRecords(ReadWholeFile(x.FileName())))
    if (r.opcode >= 1 && r.opcode <= 4) cells.push_back(r);
  ASSERT_EQ(cells.size(), 6u);
  EXPECT_EQ(cells[0].body, CellHead(0, 0, 1) + '\x04' + "姓名");
  EXPECT_EQ(cells[2].body, CellHead(1, 0, 2) + '\x02' + "Li");
  EXPECT_EQ(cells[3].body, CellHead(1, 1, 3) + F64(-12.75));
  EXPECT_EQ(cells[4].body, CellHead(2, 0, 2) + '\x04' + "张三");
  EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 300);  // back where it was
  EXPECT_EQ(x.Columns()->Count(), 0);
  for (TBookmark b : grid.selected) TDataSet::FreeBookmark(b);
}

TEST_F(ActionTest, FreedSourcesAreForgotten) {
  auto* other = new TMemDataSet(nullptr);
  x.SetDataSet(other);
  delete other;
  EXPECT_EQ(x.DataSet(), nullptr);
  auto* grid = new TFakeGrid(&ds);
  x.SetDBGrid(grid);
  delete grid;
  EXPECT_EQ(x.DBGrid(), nullptr);
}

}  // namespace
