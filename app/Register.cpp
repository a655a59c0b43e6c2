// The employee register's commands.  See Register.h.
#include "app/Register.h"

#include <vector>

#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/StrCon.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/core/Strings.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/Forms.h"

namespace payroll {

namespace {

bool Ask(const char* text, unsigned icon = MB_ICONQUESTION) {
  return MessageBox(text, Application->Title(), MB_YESNO | icon) == IDYES;
}
void Tell(const char* text, unsigned icon = MB_ICONWARNING) { MessageBox(text, Application->Title(), MB_OK | icon); }

bool BeginsWith(const AnsiString& s, const AnsiString& prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// Reads the whole of a dataset and puts its filter and row back afterwards.
class TWholeTable {
 public:
  explicit TWholeTable(TDataSet* ds) : ds_(ds), filtered_(ds->Filtered()), mark_(ds->Bookmark()) {
    ds_->DisableControls();
    if (filtered_) ds_->SetFiltered(false);
  }
  ~TWholeTable() {
    try {
      if (filtered_) ds_->SetFiltered(true);
      if (!mark_.empty()) ds_->SetBookmark(mark_);
    } catch (...) {
    }
    ds_->EnableControls();
  }
  TWholeTable(const TWholeTable&) = delete;
  TWholeTable& operator=(const TWholeTable&) = delete;

 private:
  TDataSet* ds_;
  bool filtered_;
  TBookmarkStr mark_;
};

AnsiString Code(TDataSet* gzk) { return gzk->FieldByName("zgbh")->AsString(); }

void NextOrLast(TDataSet* ds) {
  ds->Next();
  if (ds->Eof()) ds->Last();
}

}  // namespace

bool IsRetiredCode(const AnsiString& zgbh) { return zgbh.size() >= 4 && zgbh.compare(2, 2, "99") == 0; }

AnsiString EmployeeCode(const AnsiString& dept, int n) {
  const int width = 11 - static_cast<int>(dept.size());
  return dept + StrCon->IntToFixed(n, static_cast<std::int16_t>(width > 0 ? width : 0), '0');
}

int NextSequence(TDataSet* gzk, const AnsiString& prefix, int first, int count) {
  TWholeTable whole(gzk);
  int largest = 0;
  for (gzk->First(); !gzk->Eof(); gzk->Next()) {
    const AnsiString code = Code(gzk);
    if (!BeginsWith(code, prefix)) continue;
    int n = 0;
    if (TryStrToInt(StrCon->CopyText(code, first, count), n) && n > largest) largest = n;
  }
  return largest + 1;
}

AnsiString ProposedEmployeeCode(TDataSet* gzk, const AnsiString& dept) {
  return EmployeeCode(dept, NextSequence(gzk, dept, 9, 3));
}

void AdjustHeadCounts(TDataSet* bm, const AnsiString& zgbh, int delta, bool onlyRetired) {
  bm->SetFiltered(false);
  TBookmarkKeeper back(bm);
  for (bm->First(); !bm->Eof(); bm->Next()) {
    const AnsiString code = bm->FieldByName("bmbh")->AsString();
    if (!BeginsWith(zgbh, code)) continue;
    if (onlyRetired && code.find("99") == std::string::npos) continue;
    bm->Edit();
    bm->FieldByName("rs")->SetAsInteger(bm->FieldByName("rs")->AsInteger() + delta);
    bm->Post();
  }
}

bool AddEmployee(TDataSet* gzk, TDataSet* bm, const TNewEmployee& e) {
  const AnsiString account = StrCon->TrimChar(e.Gzzh, ' ');
  if (e.Code.empty() || e.Name.empty() || e.Ylbxh.find(' ') != std::string::npos || account.empty() ||
      e.Category.empty()) {
    Tell(kRegInputError);
    return false;
  }
  // The clashing employees stay in view when the add is refused; an empty
  // pension number clashes with nobody.
  AnsiString filter = "Gzzh=" + QuotedStr(account);
  if (!e.Ylbxh.empty()) filter = "YlBxh=" + QuotedStr(e.Ylbxh) + " or " + filter;
  gzk->SetFiltered(false);
  gzk->SetFilter(filter);
  gzk->SetFiltered(true);
  gzk->First();
  if (!gzk->IsEmpty()) {
    Tell(kRegDuplicate);
    return false;
  }
  if (!Ask(kRegConfirmAdd)) return false;
  gzk->Append();
  gzk->FieldByName("zgbh")->SetAsString(e.Code);
  gzk->FieldByName("xm")->SetAsString(e.Name);
  gzk->FieldByName("ylbxh")->SetAsString(e.Ylbxh);
  gzk->FieldByName("gzzh")->SetAsString(account);
  gzk->FieldByName("db_flag")->SetAsBoolean(e.DbFlag);
  gzk->FieldByName("zgqk")->SetAsString(e.Category);
  gzk->Post();
  gzk->Close();
  gzk->Open();
  AdjustHeadCounts(bm, e.Code, 1);
  return true;
}

bool DeleteEmployee(TDataSet* gzk, TDataSet* bm) {
  if (gzk->IsEmpty() || bm->IsEmpty()) return false;
  if (!Ask(kRegConfirmDelete, MB_ICONWARNING)) return false;
  const AnsiString code = Code(gzk);
  AdjustHeadCounts(bm, code, -1, IsRetiredCode(code));
  gzk->Delete();
  if (gzk->Eof()) gzk->Last();
  return true;
}

bool RetireEmployee(TDataSet* gzk, TDataSet* bm) {
  if (gzk->IsEmpty()) return false;
  const AnsiString code = Code(gzk);
  if (IsRetiredCode(code)) {
    Tell(kRegAlreadyRetired);
    return false;
  }
  if (!Ask(kRegConfirmRetire)) return false;
  const AnsiString unit = code.substr(0, 2);
  const AnsiString retiredDept = unit + "99";
  AdjustHeadCounts(bm, code, -1);
  // The unit's own count leaves retired staff out: only the retired
  // department's row counts up.
  if (bm->Locate("bmbh", retiredDept, {})) {
    bm->Edit();
    bm->FieldByName("rs")->SetAsInteger(bm->FieldByName("rs")->AsInteger() + 1);
    bm->Post();
  }
  const int n = NextSequence(gzk, retiredDept, 7, 5);
  gzk->Edit();
  gzk->FieldByName("zgbh")->SetAsString(unit + "9900" + StrCon->IntToFixed(n, 5, '0'));
  gzk->FieldByName("zgqk")->SetAsString(kRetiredCategory);
  gzk->Post();
  NextOrLast(gzk);
  return true;
}

bool TransferEmployee(TDataSet* gzk, TDataSet* bm, const AnsiString& targetCode) {
  if (gzk->IsEmpty()) return false;
  const AnsiString code = Code(gzk);
  if (IsRetiredCode(code)) {
    Tell(kRegRetiredNoTransfer);
    return false;
  }
  if (targetCode.empty()) {
    Tell(kRegNoTarget);
    return false;
  }
  if (!Ask(kRegConfirmTransfer)) return false;
  AdjustHeadCounts(bm, code, -1);
  AdjustHeadCounts(bm, targetCode, 1);
  const int n = NextSequence(gzk, targetCode, 9, 3);
  gzk->Edit();
  gzk->FieldByName("zgbh")->SetAsString(EmployeeCode(targetCode, n));
  gzk->Post();
  NextOrLast(gzk);
  return true;
}

void RenumberEmployees(TDataSet* gzk, const AnsiString& dept) {
  // The rows first: a table ordered by code moves a row as its code changes.
  std::vector<TBookmarkStr> rows;
  {
    TControlsDisabler quiet(gzk);
    for (gzk->First(); !gzk->Eof(); gzk->Next())
      if (BeginsWith(Code(gzk), dept)) rows.push_back(gzk->Bookmark());
  }
  TControlsDisabler quiet(gzk);
  int n = 0;
  for (const TBookmarkStr& row : rows) {
    gzk->SetBookmark(row);
    gzk->Edit();
    gzk->FieldByName("zgbh")->SetAsString(EmployeeCode(dept, ++n));
    gzk->Post();
  }
}

bool NumericKeyAllowed(const AnsiString& text, int selStart, int selLength, int decimals, char key) {
  if (key == '\b') return true;
  const bool digit = key >= '0' && key <= '9';
  const int length = static_cast<int>(text.size());
  if (selLength == length && (digit || key == '.')) return true;
  const size_t dot = text.find('.');
  if (key == '.') return decimals > 0 && dot == std::string::npos && length - selStart <= decimals;
  if (!digit) return false;
  if (dot == std::string::npos || selStart <= static_cast<int>(dot)) return true;
  return length - static_cast<int>(dot) - 1 < decimals;
}

void BuildDeptTree(TDataSet* bm, TTreeView* tree, std::vector<AnsiString>& names, std::vector<AnsiString>& codes,
                   TStrings* targets) {
  names.clear();
  codes.clear();
  TTreeNodes* nodes = tree->Items();
  nodes->BeginUpdate();
  nodes->Clear();
  struct TLeaf {
    TTreeNode* node;
    AnsiString name, code;
  };
  std::vector<TLeaf> made;
  {
    TControlsDisabler quiet(bm);
    TTreeNode* latest[5] = {};  // the latest node of each level (1..4)
    for (bm->First(); !bm->Eof(); bm->Next()) {
      AnsiString name = bm->FieldByName("bmmc")->AsString();
      name.erase(0, name.find_first_not_of(' ') == std::string::npos ? name.size() : name.find_first_not_of(' '));
      const AnsiString code = bm->FieldByName("bmbh")->AsString();
      names.push_back(name);
      codes.push_back(code);
      const size_t len = code.size();
      if (len != 2 && len != 4 && len != 6 && len != 8) continue;
      const int level = static_cast<int>(len / 2);
      const AnsiString text = name + "(" + IntToStr(bm->FieldByName("rs")->AsInteger()) + ")";
      TTreeNode* parent = level > 1 ? latest[level - 1] : nullptr;
      TTreeNode* node = parent ? nodes->AddChild(parent, text) : nodes->Add(nullptr, text);
      latest[level] = node;
      for (int deeper = level + 1; deeper <= 4; ++deeper) latest[deeper] = nullptr;
      made.push_back({node, name, code});
    }
  }
  for (const TLeaf& m : made) {
    const int image = m.node->HasChildren() ? (m.node->Expanded() ? 1 : 2) : 0;
    m.node->SetImageIndex(image);
    m.node->SetSelectedIndex(image);
  }
  nodes->EndUpdate();
  if (!targets) return;
  targets->Clear();
  for (const TLeaf& m : made)
    if (!m.node->HasChildren() && !(m.code.size() >= 2 && m.code.compare(m.code.size() - 2, 2, "99") == 0))
      targets->Add(m.name);
}

}  // namespace payroll

// --- the tree on the main window ----------------------------------------------------

void TfrmMain::Filter_Gzk(const AnsiString& filter) {
  TUdbTable* gzk = FrmData->TblGzk;
  gzk->SetFiltered(false);
  gzk->SetFilter(filter);
  gzk->SetFiltered(true);
  gzk->First();
  gzk->Refresh();
}

void TfrmMain::TreeViewBmClick(TObject*) {
  for (TControl* b : {static_cast<TControl*>(SptBtnXgZgXz), static_cast<TControl*>(SptBtnZgPx),
                      static_cast<TControl*>(SptBtnZgXz), static_cast<TControl*>(sptBtnGwjxXz),
                      static_cast<TControl*>(SpdBtnJJZgxz)})
    if (b) b->SetEnabled(true);
  TTreeNode* node = TreeViewBm->Selected();
  if (TreeViewBm->Items()->Count() == 0 || !node) return;
  AnsiString name = node->Text();
  name = name.substr(0, name.find('('));
  AnsiString code;
  for (size_t i = 0; i < BmNames.size() && i < BmCodes.size(); ++i)
    if (BmNames[i] == name) {
      code = BmCodes[i];
      break;
    }
  if (LblXzBm) LblXzBm->SetCaption(name);
  CurBmBh = code;
  // The report page and the bonus page name the chosen department in
  // their printed reports.
  if (LblGzHzbBm) LblGzHzbBm->SetCaption(name);
  if (LblJJBm) LblJJBm->SetCaption(name);
  const AnsiString page = Notebook1->ActivePage();
  const bool retired = name == payroll::kRetiredDeptName;
  const bool leaf = !node->HasChildren();
  const auto refuse = [this](const char* text) {
    if (LblZgBh) LblZgBh->SetCaption("");
    MessageBox(text, Application->Title(), MB_OK | MB_ICONERROR);
  };
  try {
    if (page == "TbsZgXz") {
      if (LblZgBh) LblZgBh->SetCaption("");
      if (!leaf) {
        if (LblXzBm) LblXzBm->SetCaption("");
        return;
      }
      if (retired) {
        refuse(payroll::kNoDirectRetiredAdd);
        return;
      }
      if (LblZgBh) LblZgBh->SetCaption(payroll::ProposedEmployeeCode(FrmData->TblGzk, code));
      return;
    }
    for (const char* listPage : {"TbsZgKq", "TbsGzXg", "TbsGwjx", "TbsJJ", "TbsZgJs", "TbsZgTx", "TbsNbDd"})
      if (page == listPage) {
        Filter_Gzk("ZGBH like " + QuotedStr(code + "%"));
        // A parent's employees are only listed: picking and ordering are
        // for one department's own staff.
        if (page == "TbsGzXg")
          for (TControl* b : {static_cast<TControl*>(SptBtnZgPx), static_cast<TControl*>(SptBtnXgZgXz)})
            if (b) b->SetEnabled(leaf);
        if (page == "TbsGwjx" && sptBtnGwjxXz) sptBtnGwjxXz->SetEnabled(leaf);
        if (page == "TbsJJ" && DBNav) DBNav->SetEnabled(true);
        if (page == "TbsZgJs" && SptBtnZgJsDele) SptBtnZgJsDele->SetEnabled(true);
        if (page == "TbsZgTx" && SptBtnZgTxDele) SptBtnZgTxDele->SetEnabled(true);
        if (retired && page == "TbsZgTx") refuse(payroll::kNoRetireOfRetired);
        if (retired && page == "TbsNbDd") refuse(payroll::kNoTransferOfRetired);
        return;
      }
  } catch (const std::exception&) {
    // Choosing a department never fails loudly: the page stays as it was.
  }
}
