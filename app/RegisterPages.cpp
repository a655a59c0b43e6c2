// The employee register's pages and dialogs.  See RegisterPages.h.
#include "app/RegisterPages.h"

#include <tuple>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/PagePlacing.h"
#include "app/Register.h"
#include "app/StartupForms.h"
#include "app/StrCon.h"
#include "platform/core/Strings.h"
#include "platform/data/DataSource.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "sql/UdbQuery.h"

namespace {

using payroll::PageOf;
using payroll::Place;
using payroll::PlaceButton;

TLabel* PlaceLabel(TComponent* owner, TWinControl* parent, const char* name, const char* caption, int left, int top) {
  auto* l = Place<TLabel>(owner, parent, name, left, top, 80, 16);
  l->SetCaption(caption);
  return l;
}

// A read-only grid of employees on gzk, one row selected at a time.
TDBGrid* EmployeeGrid(TComponent* owner, TWinControl* parent, const char* name, TDataSource* gzk, int left, int top,
                      int width, int height, bool account) {
  if (auto* found = dynamic_cast<TDBGrid*>(owner->FindComponent(name))) return found;
  auto* grid = Place<TDBGrid>(owner, parent, name, left, top, width, height);
  grid->SetOptions(TDBGridOptions{dgTitles, dgIndicator, dgColLines, dgRowLines, dgRowSelect,
                                  dgAlwaysShowSelection});
  grid->SetReadOnly(true);
  std::vector<std::tuple<const char*, const char*, int>> columns = {
      {"ZGBH", "职工编号", 100}, {"XM", "姓名", 80}, {"YLBXH", "养老保险号", 90}};
  if (account) {
    columns.emplace_back("GZZH", "工资帐号", 150);
    columns.emplace_back("ZGQK", "职工情况", 80);
  }
  for (const auto& [field, title, width] : columns) {
    TColumn* c = grid->Columns()->Add();
    c->SetFieldName(field);
    c->Title()->SetCaption(title);
    c->SetWidth(width);
  }
  grid->SetDataSource(gzk);
  return grid;
}

// The code of the department named by the tree's selected node (the text
// before "(", looked up in BmNames); empty when nothing is selected.
AnsiString SelectedDeptName(TTreeView* tree) {
  TTreeNode* node = tree->Selected();
  if (!node) return AnsiString();
  const AnsiString text = node->Text();
  return text.substr(0, text.find('('));
}

AnsiString DeptCodeOf(const AnsiString& name) {
  for (size_t i = 0; i < BmNames.size() && i < BmCodes.size(); ++i)
    if (BmNames[i] == name) return BmCodes[i];
  return AnsiString();
}

bool HasSubDepartments(const AnsiString& code) {
  for (const AnsiString& other : BmCodes)
    if (other.size() > code.size() && other.compare(0, code.size(), code) == 0) return true;
  return false;
}

// Runs work as one transaction of db: a failure half-way (a lock another
// user holds, a full disk) puts every code back and passes on.
template <class F>
void AllOrNothing(TUdbDataBase* db, F&& work) {
  db->StartTransaction();
  try {
    work();
  } catch (...) {
    try {
      db->Rollback();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }
  db->Commit();
}

void Warn(const char* text) { MessageBox(text, Application->Title(), MB_OK | MB_ICONWARNING); }

}  // namespace

namespace payroll {

bool MoveEmployee(TDataSet* gzk, int step) {
  if (gzk->IsEmpty() || (step != -1 && step != 1)) return false;
  TControlsDisabler quiet(gzk);
  const TBookmarkStr mine = gzk->Bookmark();
  const AnsiString code = gzk->FieldByName("zgbh")->AsString();
  if (step < 0)
    gzk->Prior();
  else
    gzk->Next();
  if (gzk->Bookmark() == mine) return false;  // already at that end
  const AnsiString other = gzk->FieldByName("zgbh")->AsString();
  gzk->Edit();
  gzk->FieldByName("zgbh")->SetAsString(code);
  gzk->Post();
  gzk->SetBookmark(mine);
  gzk->Edit();
  gzk->FieldByName("zgbh")->SetAsString(other);
  gzk->Post();
  return true;
}

void InstallEmployeePicker(TForm* form, TDataSource* gzk) {
  if (!form || form->FindComponent("DBGridZgXz")) return;
  TDBGrid* grid = EmployeeGrid(form, form, "DBGridZgXz", gzk, 8, 8, form->ClientWidth() - 16,
                               form->ClientHeight() - 52, false);
  grid->OnDblClick = [form](TObject*) { form->SetModalResult(mrOk); };
  PlaceButton(form, form, "SptBtnXz", "选择", form->ClientWidth() - 88, form->ClientHeight() - 36,
              [form](TObject*) { form->SetModalResult(mrOk); });
}

void InstallEmployeeOrder(TForm* form, TDataSource* gzk, TUdbDataBase* db, std::function<AnsiString()> dept) {
  if (!form || form->FindComponent("DBGridZgPx")) return;
  EmployeeGrid(form, form, "DBGridZgPx", gzk, 8, 8, form->ClientWidth() - 16, form->ClientHeight() - 52, false);
  const int top = form->ClientHeight() - 36;
  // Two employees must never end up with one code: each command is one
  // transaction.
  const auto move = [gzk, db](int step) { AllOrNothing(db, [&] { MoveEmployee(gzk->DataSet(), step); }); };
  PlaceButton(form, form, "SptBtnUp", "上移", 8, top, [move](TObject*) { move(-1); });
  PlaceButton(form, form, "SptBtnDown", "下移", 96, top, [move](TObject*) { move(1); });
  PlaceButton(form, form, "SptBtnPx", "排序", 184, top, [gzk, db, dept](TObject*) {
    const AnsiString code = dept();
    // Without a department every employee would be renumbered into one.
    if (code.empty()) return;
    AllOrNothing(db, [&] { RenumberEmployees(gzk->DataSet(), code); });
    gzk->DataSet()->First();
  });
  PlaceButton(form, form, "SptBtnClose", "关闭", form->ClientWidth() - 88, top,
              [form](TObject*) { form->SetModalResult(mrCancel); });
}

}  // namespace payroll

void TfrmMain::InstallRegisterPages() {
  TDataSource* ds = FrmData->DsGzk;
  if (TWinControl* xz = PageOf(Notebook1, "TbsZgXz")) {
    SptBtnAppe = PlaceButton(this, xz, "SptBtnAppe", "增加", 8, 8, [this](TObject* s) { SptBtnAppeClick(s); });
    SptBtnSave = PlaceButton(this, xz, "SptBtnSave", "保存", 96, 8, [this](TObject* s) { SptBtnSaveClick(s); });
    SptBtnCanCle = PlaceButton(this, xz, "SptBtnCanCle", "取消", 184, 8, [this](TObject* s) { SptBtnCanCleClick(s); });
    Panel7 = Place<TPanel>(this, xz, "Panel7", 8, 40, 400, 220);
    Panel7->SetCaption("");
    PlaceLabel(this, Panel7, "LblXzBmT", "所属部门:", 16, 16);
    LblXzBm = PlaceLabel(this, Panel7, "LblXzBm", "", 100, 16);
    PlaceLabel(this, Panel7, "LblZgBhT", "职工编号:", 16, 44);
    if (LblZgBh) {
      LblZgBh->SetParent(Panel7);
      LblZgBh->SetBounds(100, 44, 120, 16);
    }
    int top = 68;
    for (auto [edit, name, caption, limit] :
         {std::tuple{&EdtXm, "EdtXm", "姓    名:", 8}, std::tuple{&EdtYlBxh, "EdtYlBxh", "养老保险号:", 6},
          std::tuple{&EdtGzZh, "EdtGzZh", "工资帐号:", 19}}) {
      PlaceLabel(this, Panel7, (AnsiString("Lbl") + name).c_str(), caption, 16, top + 4);
      *edit = Place<TEdit>(this, Panel7, name, 100, top, 180, 21);
      (*edit)->SetMaxLength(limit);
      top += 28;
    }
    // Digits only, no decimals (the Tag): the pension number and the account.
    for (TEdit* e : {EdtYlBxh, EdtGzZh}) {
      e->SetTag(0);
      e->OnKeyPress = [this](TObject* s, char& key) { EditKeyPress(s, key); };
    }
    if (auto* l = FindComponent("LblZgQk")) dynamic_cast<TControl*>(l)->SetParent(Panel7);
    if (auto* l = dynamic_cast<TControl*>(FindComponent("LblZgQk"))) l->SetBounds(16, top + 4, 80, 16);
    if (DbCmbBoxZgQk) {
      DbCmbBoxZgQk->SetParent(Panel7);
      DbCmbBoxZgQk->SetBounds(100, top, 180, 21);
    }
    top += 28;
    ChkBoxDbFlag = Place<TCheckBox>(this, Panel7, "ChkBoxDbFlag", 100, top, 120, 20);
    ChkBoxDbFlag->SetCaption("倒班");
    SptBtnSave->SetEnabled(false);
    SptBtnCanCle->SetEnabled(false);
    Panel7->SetEnabled(false);
  }
  if (TWinControl* js = PageOf(Notebook1, "TbsZgJs")) {
    SptBtnZgJsDele =
        PlaceButton(this, js, "SptBtnZgJsDele", "删除", 8, 8, [this](TObject* s) { SptBtnZgJsDeleClick(s); });
    SptBtnZgJsDele->SetEnabled(false);
    DBGridZgJs = EmployeeGrid(this, js, "DBGridZgJs", ds, 8, 40, 590, 380, true);
  }
  if (TWinControl* tx = PageOf(Notebook1, "TbsZgTx")) {
    SptBtnZgTxDele =
        PlaceButton(this, tx, "SptBtnZgTxDele", "退休", 8, 8, [this](TObject* s) { SptBtnZgTxDeleClick(s); });
    SptBtnZgTxDele->SetEnabled(false);
    DBGridZgTx = EmployeeGrid(this, tx, "DBGridZgTx", ds, 8, 40, 590, 380, true);
  }
  if (TWinControl* dd = PageOf(Notebook1, "TbsNbDd")) {
    SptBtnNbDd = PlaceButton(this, dd, "SptBtnNbDd", "内部调动", 300, 10, [this](TObject* s) { SptBtnNbDdClick(s); });
    DBGridNbDd = EmployeeGrid(this, dd, "DBGridNbDd", ds, 8, 40, 590, 380, true);
  }
  const auto pick = [this](TObject* s) { SptBtnXgZgXzClick(s); };
  if (TWinControl* xg = PageOf(Notebook1, "TbsGzXg")) {
    int left = 8;
    for (auto [edit, name, caption, field, width] :
         {std::tuple{&DBEdit2, "DBEdit2", "养老保险号:", "YLBXH", 70},
          std::tuple{&DBEdit3, "DBEdit3", "工资帐号:", "GZZH", 140}}) {
      PlaceLabel(this, xg, (AnsiString("Lbl") + name).c_str(), caption, left, 12);
      *edit = Place<TDBEdit>(this, xg, name, left + 72, 8, width, 21);
      (*edit)->SetDataSource(ds);
      (*edit)->SetDataField(field);
      (*edit)->OnExit = [this](TObject* s) { DBEdit2Exit(s); };
      left += 72 + width + 8;
    }
    SptBtnXgZgXz = PlaceButton(this, xg, "SptBtnXgZgXz", "职工选择", 390, 6, pick);
    SptBtnZgPx = PlaceButton(this, xg, "SptBtnZgPx", "职工排序", 476, 6, [this](TObject* s) { SptBtnZgPxClick(s); });
  }
  if (TWinControl* kq = PageOf(Notebook1, "TbsZgKq"))
    SptBtnZgXz = PlaceButton(this, kq, "SptBtnZgXz", "职工选择", 220, 6, pick);
  if (TWinControl* gw = PageOf(Notebook1, "TbsGwjx"))
    sptBtnGwjxXz = PlaceButton(this, gw, "sptBtnGwjxXz", "职工选择", 220, 6, pick);
  if (Panel2) SpdBtnJJZgxz = PlaceButton(this, Panel2, "SpdBtnJJZgxz", "职工选择", 460, 8, pick);
  // Until a department is chosen there is nobody to pick or order.
  for (TControl* b : {static_cast<TControl*>(SptBtnXgZgXz), static_cast<TControl*>(SptBtnZgPx),
                      static_cast<TControl*>(SptBtnZgXz), static_cast<TControl*>(sptBtnGwjxXz),
                      static_cast<TControl*>(SpdBtnJJZgxz)})
    if (b) b->SetEnabled(false);
}

void TfrmMain::SptBtnAppeClick(TObject*) {
  SptBtnAppe->SetEnabled(false);
  SptBtnCanCle->SetEnabled(true);
  SptBtnSave->SetEnabled(true);
  Panel7->SetEnabled(true);
  TreeViewBm->SetEnabled(true);
}

void TfrmMain::SptBtnCanCleClick(TObject*) {
  SptBtnAppe->SetEnabled(true);
  SptBtnSave->SetEnabled(false);
  SptBtnCanCle->SetEnabled(false);
  Panel7->SetEnabled(false);
  TreeViewBm->SetEnabled(false);
  EdtXm->Clear();
  EdtYlBxh->Clear();
  EdtGzZh->Clear();
  ChkBoxDbFlag->SetChecked(false);
}

void TfrmMain::SptBtnSaveClick(TObject*) {
  payroll::TNewEmployee e;
  e.Code = LblZgBh->Caption();
  e.Name = EdtXm->Text();
  e.Ylbxh = EdtYlBxh->Text();
  e.Gzzh = EdtGzZh->Text();
  e.Category = DbCmbBoxZgQk->Text();
  e.DbFlag = ChkBoxDbFlag->Checked();
  if (!payroll::AddEmployee(FrmData->TblGzk, FrmData->TblBm, e)) return;
  CreatBmTreeview(TreeViewBm);
  EdtXm->Clear();
  EdtYlBxh->Clear();
  EdtGzZh->Clear();
  ChkBoxDbFlag->SetChecked(false);
  LblZgBh->SetCaption("");
  LblXzBm->SetCaption("");
  SptBtnAppe->SetEnabled(true);
  SptBtnSave->SetEnabled(false);
  SptBtnCanCle->SetEnabled(false);
  Panel7->SetEnabled(false);
  TreeViewBm->SetEnabled(false);
}

void TfrmMain::SptBtnZgJsDeleClick(TObject*) {
  if (!payroll::DeleteEmployee(FrmData->TblGzk, FrmData->TblBm)) return;
  CreatBmTreeview(TreeViewBm);
  SptBtnZgJsDele->SetEnabled(false);
}

void TfrmMain::SptBtnZgTxDeleClick(TObject*) {
  if (!payroll::RetireEmployee(FrmData->TblGzk, FrmData->TblBm)) return;
  CreatBmTreeview(TreeViewBm);
  SptBtnZgTxDele->SetEnabled(false);
}

void TfrmMain::SptBtnNbDdClick(TObject*) {
  // The target list holds names; the code is that of the first
  // department of that name.
  const AnsiString target = CmbBoxNbDdMbBm->Text();
  const AnsiString code = target.empty() ? AnsiString() : DeptCodeOf(target);
  if (!payroll::TransferEmployee(FrmData->TblGzk, FrmData->TblBm, code)) return;
  CreatBmTreeview(TreeViewBm);
}

void TfrmMain::SptBtnZgPxClick(TObject*) {
  if (TreeViewBm->Items()->Count() == 0 || !FrmZgPx) return;
  FrmData->TblGzk->CheckBrowseMode();  // as for the picker below
  payroll::InstallEmployeeOrder(FrmZgPx, FrmData->DsGzk, FrmData->UdbDataBase1, [this] {
    // Only a department without sub-departments: renumbering a parent
    // would move its sub-departments' employees into it.
    const AnsiString code = DeptCodeOf(SelectedDeptName(TreeViewBm));
    return HasSubDepartments(code) ? AnsiString() : code;
  });
  FrmZgPx->SetCaption(SelectedDeptName(TreeViewBm) + payroll::kPickHint);
  FrmZgPx->ShowModal();
}

void TfrmMain::SptBtnXgZgXzClick(TObject*) {
  if (TreeViewBm->Items()->Count() == 0 || !FrmZgXz) return;
  // A pay box just left keeps its row in edit state; the dialog's grid
  // reads the department's rows by walking the cursor, which it cannot do
  // around an unposted row (it would list nothing).  The row is posted
  // now rather than on the next move.
  FrmData->TblGzk->CheckBrowseMode();
  payroll::InstallEmployeePicker(FrmZgXz, FrmData->DsGzk);
  FrmZgXz->SetCaption(SelectedDeptName(TreeViewBm) + payroll::kPickHint);
  FrmZgXz->ShowModal();
}

void TfrmMain::DBEdit2Exit(TObject*) {
  // Another employee with the same pension number or account: the
  // employee's own row is left out, and an empty value matches nobody.
  // Putting the focus back leaves the account edit, whose exit would ask
  // again: one check at a time.
  static bool checking = false;
  if (checking) return;
  struct TReset {
    bool& flag;
    ~TReset() { flag = false; }
  } reset{checking = true};
  const AnsiString ylbxh = DBEdit2->Text(), gzzh = DBEdit3->Text();
  AnsiString match;
  if (!ylbxh.empty()) match = "YlBxh=" + QuotedStr(ylbxh);
  if (!gzzh.empty()) match += (match.empty() ? "" : " or ") + ("Gzzh=" + QuotedStr(gzzh));
  if (match.empty()) return;
  const AnsiString self = FrmData->TblGzk->IsEmpty() ? AnsiString() : FrmData->TblGzk->FieldByName("zgbh")->AsString();
  UdbQuery1->Close();
  UdbQuery1->SQL()->Clear();
  UdbQuery1->SQL()->Add(" select * from gzk where (" + match + ") and zgbh<>" + QuotedStr(self));
  UdbQuery1->Open();
  const bool clash = !UdbQuery1->IsEmpty();
  UdbQuery1->Close();
  if (!clash) return;
  Warn(payroll::kRegDuplicateEdit);
  if (DBEdit2->CanFocus())
    DBEdit2->SetFocus();
  else
    SetActiveControl(DBEdit2);
}

void TfrmMain::EditKeyPress(TObject* sender, char& key) {
  auto* edit = dynamic_cast<TCustomEdit*>(sender);
  if (!edit) return;
  if (!payroll::NumericKeyAllowed(edit->Text(), edit->SelStart(), edit->SelLength(), edit->Tag(), key)) key = 0;
}
