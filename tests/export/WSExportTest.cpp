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
#include "platform/ui/ExtCtrls.h"
#include "platform/core/TypInfo.h"
#include "platform/data/DataSource.h"
#include "platform/ui/DBGrids.h"
#include "grid/DBGridEx.h"
#include "grid/GridSelection.h"

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

// The cells of the written file (number, label, blank and boolean records).
std::vector<XlsRecord> Cells(const AnsiString& file) {
  std::vector<XlsRecord> cells;
  for (auto& r : ReadXlsRecords(ReadWholeFile(file)))
    if (r.opcode >= 1 && r.opcode <= 4) cells.push_back(r);
  return cells;
}

// Sets up a grid's columns alike for both grid classes: NAME (centred,
// "姓名"), DAY hidden, PAY (right, "工资").
template <class Grid>
TCustomControl* MakeGrid(TDataSource* source) {
  auto* g = new Grid(nullptr);
  const char* names[] = {"NAME", "DAY", "PAY"};
  const char* titles[] = {"姓名", "日期", "工资"};
  const TAlignment align[] = {taCenter, taLeftJustify, taRightJustify};
  for (int i = 0; i < 3; ++i) {
    auto* c = g->Columns()->Add();
    c->SetFieldName(names[i]);
    c->Title()->SetCaption(titles[i]);
    c->SetAlignment(align[i]);
    c->SetVisible(i != 1);
  }
  g->SetOptions(g->Options() + TDBGridOptions{dgMultiSelect});
  g->SetDataSource(source);
  return g;
}

template <class Grid>
void MarkCurrent(TCustomControl* g) {
  static_cast<Grid*>(g)->SelectedRows()->SetCurrentRowSelected(true);
}

TEST_F(ActionTest, EitherGridsVisibleColumnsTitlesAndMarkedRecordsAreExported) {
  TDataSource source(nullptr);
  source.SetDataSet(&ds);
  const struct {
    const char* what;
    TCustomControl* (*make)(TDataSource*);
    void (*markCurrent)(TCustomControl*);
  } grids[] = {{"the class library's grid", MakeGrid<TDBGrid>, MarkCurrent<TDBGrid>},
               {"the data grid", MakeGrid<TDBGridEx>, MarkCurrent<TDBGridEx>}};
  for (const auto& g : grids) {
    SCOPED_TRACE(g.what);
    std::unique_ptr<TCustomControl> grid(g.make(&source));
    int kind = -1;
    ASSERT_TRUE(IsDataGrid(grid.get(), kind));
    EXPECT_EQ(kind, 0);
    x.SetColumnSource(csDBGrid);
    x.SetDBGrid(grid.get());
    x.SetAddTitle(true);
    x.SetOptions({});
    EXPECT_EQ(x.GetSourceDataSet(), &ds);

    // Every record, through the grid's columns: the hidden DAY is left out.
    x.SetSelectedRecord(false);
    ASSERT_TRUE(x.Execute()) << x.LastError();
    std::vector<XlsRecord> cells = Cells(x.FileName());
    ASSERT_EQ(cells.size(), 8u);
    EXPECT_EQ(cells[0].body, CellHead(0, 0, 1) + '\x04' + "姓名");
    EXPECT_EQ(cells[1].body, CellHead(0, 1, 1) + '\x04' + "工资");
    EXPECT_EQ(cells[2].body, CellHead(1, 0, 2) + '\x04' + "张三");
    EXPECT_EQ(cells[3].body, CellHead(1, 1, 3) + F64(2.5));
    EXPECT_EQ(cells[7].body, CellHead(3, 1, 3) + F64(-12.75));

    // Only the marked records, in the dataset's order, and the cursor back.
    ds.Last();
    g.markCurrent(grid.get());
    ds.First();
    g.markCurrent(grid.get());
    ds.Next();
    x.SetSelectedRecord(true);
    ASSERT_TRUE(x.Execute()) << x.LastError();
    cells = Cells(x.FileName());
    ASSERT_EQ(cells.size(), 6u);
    EXPECT_EQ(cells[2].body, CellHead(1, 0, 2) + '\x04' + "张三");
    EXPECT_EQ(cells[4].body, CellHead(2, 0, 2) + '\x02' + "Li");
    EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 300);
    EXPECT_EQ(x.Columns()->Count(), 0);
    x.SetDBGrid(nullptr);
    x.SetSelectedRecord(false);
  }
}

// A grid class that has no Columns but a Selected: one column per field,
// in the grid's colour and fonts.
class TSelectedGrid : public TCustomControl {
  PAYROLL_CLASS(TSelectedGrid, TCustomControl)
 public:
  TSelectedGrid() : TCustomControl(nullptr) { titleFont_.SetStyle(TFontStyles{fsItalic}); }
  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* s) { source_ = s; }
  TStringList* Selected() const { return &selected_; }
  TFont* TitleFont() const { return &titleFont_; }

 private:
  TDataSource* source_ = nullptr;
  mutable TStringList selected_;
  mutable TFont titleFont_;
};

PAYROLL_PUBLISH(TSelectedGrid) {
  p.Property("DataSource", &TSelectedGrid::DataSource, &TSelectedGrid::SetDataSource);
  p.Property("Selected", &TSelectedGrid::Selected);
  p.Property("TitleFont", &TSelectedGrid::TitleFont);
}

TEST_F(ActionTest, AGridWithSelectedInsteadOfColumnsExportsEveryFieldInTheGridsLook) {
  TDataSource source(nullptr);
  source.SetDataSet(&ds);
  TSelectedGrid grid;
  grid.SetDataSource(&source);
  grid.SetColor(clYellow);
  int kind = -1;
  ASSERT_TRUE(IsDataGrid(&grid, kind));
  EXPECT_EQ(kind, 1);
  x.SetColumnSource(csDBGrid);
  x.SetDBGrid(&grid);
  x.SetAddTitle(true);
  x.SetOptions({});
  std::vector<TColor> colors;
  int italicTitles = 0;
  x.OnGetCellParams = [&](TObject*, TField* f, AnsiString&, TFont*, TAlignment&, TColor& color) {
    if (!f) return;
    colors.push_back(color);
    // The automatic column's title takes the grid's TitleFont.
    if (x.Columns()->Items(0)->Title()->Font()->Style().Contains(fsItalic)) ++italicTitles;
  };
  ASSERT_TRUE(x.Execute()) << x.LastError();
  EXPECT_EQ(Cells(x.FileName()).size(), 16u);  // four fields: a title row and three records
  ASSERT_EQ(colors.size(), 12u);
  EXPECT_EQ(colors[0], clYellow);
  EXPECT_EQ(italicTitles, 12);
}

TEST_F(ActionTest, ControlsThatAreNoDataGridAreRefused) {
  TEdit edit(nullptr);
  TPanel panel(nullptr);  // a custom control, but without DataSource
  panel.SetName("Panel1");
  int kind = -1;
  EXPECT_FALSE(IsDataGrid(&edit, kind));  // no custom control
  EXPECT_FALSE(IsDataGrid(&panel, kind));
  EXPECT_FALSE(IsDataGrid(nullptr, kind));
  try {
    x.SetDBGrid(&panel);
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Assigned DBGrid (Panel1) is not a supported type");
  }
  EXPECT_EQ(x.About(), "WSExport");
  x.SetAbout("other");
  EXPECT_EQ(GetStrProp(&x, "About"), "WSExport");
}

TEST_F(ActionTest, FreedSourcesAreForgotten) {
  auto* other = new TMemDataSet(nullptr);
  x.SetDataSet(other);
  delete other;
  EXPECT_EQ(x.DataSet(), nullptr);
  auto* grid = new TDBGrid(nullptr);
  x.SetDBGrid(grid);
  delete grid;
  EXPECT_EQ(x.DBGrid(), nullptr);
}

}  // namespace
