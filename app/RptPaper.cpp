// The report paper settings dialog.  See RptPaper.h.
#include "app/RptPaper.h"

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "app/FrmMain.h"
#include "app/PopWin.h"
#include "app/StartupForms.h"
#include "grid/DBGridEx.h"
#include "grid/DBGridExColumns.h"
#include "platform/core/Strings.h"
#include "platform/data/DataSource.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/SysColors.h"

namespace payroll {

namespace {

void Fill(TStrings* list, std::initializer_list<const char*> items) {
  list->Clear();
  for (const char* s : items) list->Add(s);
}

TColumnEx* AddColumn(TDBGridEx* grid, const char* field, const char* title, int width) {
  TColumnEx* c = grid->Columns()->Add();
  c->SetFieldName(field);
  c->SetWidth(width);
  c->Title()->SetCaption(title);
  c->Title()->SetAlignment(taCenter);
  c->Title()->Font()->SetColor(clMaroon);
  c->Title()->Font()->SetName("宋体");
  return c;
}

}  // namespace

void InstallPaperDialog(TForm* dialog, TUdbDataBase* db) {
  if (!dialog || dialog->FindComponent("tblRptPaper")) return;
  auto* table = new TUdbTable(dialog);
  table->SetName("tblRptPaper");
  table->SetDataBase(db);
  table->SetTableName("rptPaper");
  auto* source = new TDataSource(dialog);
  source->SetName("dsRptPaper");
  source->SetDataSet(table);

  auto* grid = new TDBGridEx(dialog);
  grid->SetName("dbgRptPaper");
  grid->SetParent(dialog);
  grid->SetBounds(8, 58, 477, 216);
  grid->SetDataSource(source);
  // Widths that keep all six columns in the dialog.
  AddColumn(grid, "rptName", "报表名称", 130);
  TColumnEx* paper = AddColumn(grid, "paperIdx", "纸张类型", 84);
  Fill(paper->PickList(), {"A3", "A4", "A5", "B4", "B5", "窄行打印纸", "宽行打印纸", "自定义"});
  Fill(paper->KeyList(), {"8", "9", "11", "12", "13", "45", "39", "256"});
  paper->SetAlwaysShowEditButton(true);
  paper->SetAutoDropDown(true);
  AddColumn(grid, "paperWidth", "纸张宽度", 60);
  AddColumn(grid, "paperHeight", "纸张高度", 60);
  TColumnEx* style = AddColumn(grid, "paperType", "风格", 48);
  Fill(style->PickList(), {"竖放", "横放"});
  Fill(style->KeyList(), {"0", "1"});
  style->SetDropDownRows(2);
  style->SetAlwaysShowEditButton(true);
  style->SetAutoDropDown(true);
  AddColumn(grid, "leftMarg", "左边距", 52);

  const auto button = [dialog](const char* name, const char* caption, int left, TNotifyEvent onClick) {
    auto* b = new TButton(dialog);
    b->SetName(name);
    b->SetParent(dialog);
    b->SetBounds(left, 284, 88, 28);
    b->SetCaption(caption);
    b->OnClick = std::move(onClick);
  };
  button("btnSave", "保  存", 295, [table](TObject*) {
    if (table->State() == dsEdit || table->State() == dsInsert) table->Post();
  });
  button("btnClose", "关  闭", 393, [dialog](TObject*) { dialog->Close(); });
  dialog->OnActivate = [table](TObject*) { table->Open(); };
  dialog->OnClose = [table](TObject*, TCloseAction&) { table->Close(); };
  if (auto* popWin = dynamic_cast<TFrmPopWin*>(dialog)) popWin->RestyleControls();
}

}  // namespace payroll

void TfrmMain::N47Click(TObject*) {
  if (!frmRptPaper) return;
  payroll::InstallPaperDialog(frmRptPaper, FrmData->UdbDataBase1);
  frmRptPaper->ShowModal();
}
