// The formula editor.  See FormulaEditor.h.
#include "app/FormulaEditor.h"

#include <algorithm>
#include <vector>

#include "Udb/UdbTable.h"
#include "app/GzSettings.h"
#include "app/StartupForms.h"
#include "app/StrCon.h"
#include "platform/data/DataSource.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

bool FormulaSaving = false;

namespace {

const char* const kOperatorCaptions[11] = {" AND ", " OR ", "<", ">", "=", "+", "-", "*", "/", "(", ")"};

AnsiString RemoveLineBreaks(const AnsiString& s) {
  AnsiString out;
  StrCon->ReplaceText("\r\n", "", out, s);
  return out;
}

AnsiString ReplaceAllDescriptions(const AnsiString& text, bool byCode, const AnsiString& trial) {
  AnsiString s = text;
  for (const TFldDesc& d : FldDescs) {
    if (d.second.empty()) continue;
    AnsiString out;
    StrCon->ReplaceText(d.second, byCode ? d.first : trial, out, s);
    s = out;
  }
  return s;
}

TSpeedButton* MakeButton(TFrameJSGs* frame, TWinControl* parent, const char* name, const AnsiString& caption,
                         int left, int top, int width, TNotifyEvent onClick) {
  auto* b = new TSpeedButton(frame);
  b->SetName(name);
  b->SetParent(parent);
  b->SetBounds(left, top, width, 22);
  b->SetCaption(caption);
  b->OnClick = std::move(onClick);
  return b;
}

int Answer(const AnsiString& text, unsigned flags) { return MessageBox(text, Application->Title(), flags); }

}  // namespace

namespace payroll {

AnsiString DescriptionsToCodes(const AnsiString& text) { return ReplaceAllDescriptions(text, true, ""); }

bool FormulaTrialFails(const AnsiString& memoText) {
  const AnsiString t = RemoveLineBreaks(ReplaceAllDescriptions(memoText, false, kTrialValue));
  if (t.find(',') != std::string::npos) return false;
  double value = 0;
  bool error = false;
  try {
    StrCon->EvaluateFormula(t, nullptr, value, error);
  } catch (const std::exception&) {
    // A division by zero of the trial values: the formula itself parses.
    return false;
  }
  return error;
}

AnsiString FormulaOrderReport(const std::vector<TFormulaRowInfo>& rows) {
  AnsiString report;
  for (size_t i = 0; i < rows.size(); ++i) {
    AnsiString ids;
    for (size_t j = i + 1; j < rows.size(); ++j) {
      const AnsiString& desc = rows[j].ResultDesc;
      if (!desc.empty() && rows[i].FormulaDesc.find(desc) != std::string::npos)
        ids += std::to_string(rows[j].Id) + " ";
    }
    if (!ids.empty()) report += "公式" + std::to_string(rows[i].Id) + "引用了下面公式" + ids + "中的结果！\r\n";
  }
  return report;
}

void FillFieldPicker(TComponent* picker) {
  auto* list = picker ? dynamic_cast<TListView*>(picker->FindComponent("ListView1")) : nullptr;
  if (!list) return;
  list->ClearItems();
  for (const TFldDesc& d : FldDescs) list->AddItem()->SetCaption(StrCon->FitText(d.second, 20, ' '));
}

}  // namespace payroll

TFrameJSGs::TFrameJSGs(TComponent* owner, TComboBox* resultFields, TUdbTable* jsgsk, TDataSource* source)
    : TPanel(owner), table_(jsgsk) {
  SetBevelOuter(bvNone);
  auto label = [this](const char* caption, int left, int top) {
    auto* l = new TLabel(this);
    l->SetParent(this);
    l->SetBounds(left, top, 70, 16);
    l->SetCaption(caption);
    return l;
  };
  label("功能名称:", 8, 12);
  CmbBoxGnMc = new TComboBox(this);
  CmbBoxGnMc->SetName("CmbBoxGnMc");
  CmbBoxGnMc->SetParent(this);
  CmbBoxGnMc->SetBounds(80, 8, 130, 21);
  for (const char* n : {"初始化", "考勤管理", "工资修改", "岗位绩效"}) CmbBoxGnMc->Items()->Add(n);
  CmbBoxGnMc->OnChange = [this](TObject* s) { CmbBoxGnMcChange(s); };
  label("结果字段:", 220, 12);
  CmBBoxJgZd = resultFields;
  if (CmBBoxJgZd) {
    CmBBoxJgZd->SetParent(this);
    CmBBoxJgZd->SetBounds(292, 8, 150, 21);
  }
  label("计算公式:", 8, 40);
  MemoJsGs = new TMemo(this);
  MemoJsGs->SetName("MemoJsGs");
  MemoJsGs->SetParent(this);
  MemoJsGs->SetBounds(80, 36, 360, 48);
  label("条件公式:", 8, 120);
  EditTjGs = new TEdit(this);
  EditTjGs->SetName("EditTjGs");
  EditTjGs->SetParent(this);
  EditTjGs->SetBounds(80, 116, 360, 21);

  SptBtnZD_GS = MakeButton(this, this, "SptBtnZD_GS", "字段", 446, 36, 40, [this](TObject* s) { SptBtnXzZd1Click(s); });
  SptBtnZD_TJ = MakeButton(this, this, "SptBtnZD_TJ", "字段", 446, 116, 40, [this](TObject* s) { SptBtnXzZd2Click(s); });
  for (int i = 0; i < 11; ++i) {
    const std::string n = std::to_string(i + 1);
    SptBtnJS_FH[i] = MakeButton(this, this, ("SptBtnJS_FH" + n).c_str(), kOperatorCaptions[i], 80 + i * 32, 88, 30,
                                [this](TObject* s) { SptBtnJS_FHClick(s); });
    SptBtnTJ_FH[i] = MakeButton(this, this, ("SptBtnTJ_FH" + n).c_str(), kOperatorCaptions[i], 80 + i * 32, 142, 30,
                                [this](TObject* s) { SptBtnJS_FHClick(s); });
  }
  int x = 8;
  auto next = [&x] { return (x += 74) - 74; };
  SptBtnTjGs = MakeButton(this, this, "SptBtnTjGs", "添加公式", next(), 170, 70, [this](TObject* s) { SptBtnTjGsClick(s); });
  SptBtnBcGs = MakeButton(this, this, "SptBtnBcGs", payroll::kSaveIdle, next(), 170, 70, [this](TObject* s) { SptBtnBcGsClick(s); });
  SptBtnUp = MakeButton(this, this, "SptBtnUp", "上移", next(), 170, 70, [this](TObject* s) { SptBtnUpClick(s); });
  SptBtnDn = MakeButton(this, this, "SptBtnDn", "下移", next(), 170, 70, [this](TObject* s) { SptBtnDnClick(s); });
  SptBtnDel = MakeButton(this, this, "SptBtnDel", "删除公式", next(), 170, 70, [this](TObject* s) { SptBtnDelClick(s); });
  SptBtnChk = MakeButton(this, this, "SptBtnChk", "检查公式", next(), 170, 70, [this](TObject* s) { SptBtnChkClick(s); });
  SpeedButton23 = MakeButton(this, this, "SpeedButton23", "自动编号", next(), 170, 70, [this](TObject* s) { SpeedButton23Click(s); });
  spdBtnSaveAll = MakeButton(this, this, "spdBtnSaveAll", "全部更新", next(), 170, 70, [this](TObject* s) { spdBtnSaveAllClick(s); });
  SptBtnBcGs->SetEnabled(false);

  PanelGsGrid = new TPanel(this);
  PanelGsGrid->SetName("PanelGsGrid");
  PanelGsGrid->SetParent(this);
  PanelGsGrid->SetBounds(8, 198, 590, 220);
  DBGridJsGs = new TDBGrid(this);
  DBGridJsGs->SetName("DBGridJsGs");
  DBGridJsGs->SetParent(PanelGsGrid);
  DBGridJsGs->SetAlign(alClient);
  const int widths[5] = {40, 80, 100, 220, 140};
  int column = 0;
  const char* const columns[5][2] = {
      {"ID", "序号"}, {"GNNAME", "功能名称"}, {"GSRLTDESC", "结果字段"}, {"GSSTRDESC", "计算公式描述"}, {"TJDESC", "条件公式描述"}};
  for (const auto& c : columns) {
    TColumn* col = DBGridJsGs->Columns()->Add();
    col->SetFieldName(c[0]);
    col->Title()->SetCaption(c[1]);
    col->SetWidth(widths[column++]);
  }
  DBGridJsGs->SetDataSource(source);
}

void TFrameJSGs::DsJsGskDataChange() {
  if (FormulaSaving || !table_->Active() || table_->IsEmpty()) return;
  SptBtnTjGs->SetEnabled(false);
  SptBtnBcGs->SetEnabled(true);
  SptBtnZD_GS->SetEnabled(true);
  SptBtnZD_TJ->SetEnabled(true);
  SptBtnBcGs->SetCaption(payroll::kSaveChange);
  MemoJsGs->Lines()->Clear();
  CmbBoxGnMc->SetText(table_->FieldByName("GnName")->AsString());
  if (CmBBoxJgZd) CmBBoxJgZd->SetText(table_->FieldByName("GSRltDeSc")->AsString());
  MemoJsGs->Lines()->Add(table_->FieldByName("GSStrDeSc")->AsString());
  EditTjGs->SetText(table_->FieldByName("TjDeSc")->AsString());
}

void TFrameJSGs::FilterFunction(const AnsiString& name) {
  table_->Close();
  table_->SetFilter("GnName=" + QuotedStr(name));
  table_->SetFiltered(true);
  table_->Open();
  // Opening shows the first row of the function in the editors.
  DsJsGskDataChange();
}

void TFrameJSGs::CmbBoxGnMcChange(TObject*) {
  SptBtnChk->SetEnabled(true);
  SptBtnUp->SetEnabled(true);
  SptBtnDn->SetEnabled(true);
  if (SptBtnBcGs->Caption() == payroll::kSaveAdd) return;
  FilterFunction(CmbBoxGnMc->Text());
  SptBtnBcGs->SetEnabled(false);
  SptBtnTjGs->SetEnabled(true);
  PanelGsGrid->SetEnabled(true);
}

void TFrameJSGs::SptBtnTjGsClick(TObject*) {
  SptBtnTjGs->SetEnabled(false);
  SptBtnBcGs->SetEnabled(true);
  SptBtnZD_GS->SetEnabled(true);
  SptBtnZD_TJ->SetEnabled(true);
  SptBtnBcGs->SetCaption(payroll::kSaveAdd);
  PanelGsGrid->SetEnabled(false);
  MemoJsGs->Lines()->Clear();
  CmbBoxGnMc->SetText("");
  if (CmBBoxJgZd) CmBBoxJgZd->SetText("");
  EditTjGs->SetText("");
}

void TFrameJSGs::SptBtnBcGsClick(TObject* sender) {
  struct TAfter {
    TFrameJSGs* f;
    ~TAfter() {
      FormulaSaving = false;
      f->PanelGsGrid->SetEnabled(true);
      f->SptBtnZD_GS->SetEnabled(false);
      f->SptBtnZD_TJ->SetEnabled(false);
    }
  } after{this};
  if (sender && Answer("\r是否保存公式？", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  const AnsiString memo = MemoJsGs->Text();
  if (payroll::FormulaTrialFails(memo)) {
    Answer("\r公式中存在逻辑错误，请修改!", MB_OK | MB_ICONINFORMATION);
    return;
  }
  const bool adding = SptBtnBcGs->Caption() == payroll::kSaveAdd;
  const AnsiString gn = CmbBoxGnMc->Text();
  SptBtnBcGs->SetEnabled(false);
  SptBtnTjGs->SetEnabled(true);
  MemoJsGs->Lines()->Clear();
  FormulaSaving = true;
  {
    // The data source stays quiet; the saving flag covers the reload
    // that re-enabling the controls brings.
    TControlsDisabler quiet(table_);
    if (adding) {
      int id = 2;
      if (!table_->IsEmpty()) {
        table_->Last();
        id = table_->FieldByName("ID")->AsInteger() + 1;
      }
      table_->Append();
      table_->FieldByName("ID")->SetAsInteger(id);
      table_->FieldByName("gnname")->SetAsString(gn);
      table_->Post();
    }
    const AnsiString d = RemoveLineBreaks(memo);
    const AnsiString r = CmBBoxJgZd ? CmBBoxJgZd->Text() : AnsiString();
    const AnsiString c = EditTjGs->Text().empty() ? AnsiString(" ") : EditTjGs->Text();
    table_->Edit();
    table_->FieldByName("GsRltDesc")->SetAsString(r);
    table_->FieldByName("GsStrDesc")->SetAsString(d);
    table_->FieldByName("TjDesc")->SetAsString(c);
    table_->FieldByName("GsRlt")->SetAsString(payroll::DescriptionsToCodes(r));
    table_->FieldByName("GsStr")->SetAsString(payroll::DescriptionsToCodes(d));
    table_->FieldByName("TjStr")->SetAsString(payroll::DescriptionsToCodes(c));
    table_->Post();
  }
  FormulaSaving = false;
  if (sender) Answer("\r公式已保存!", MB_OK | MB_ICONINFORMATION);
}

namespace {
// Shows the field picker; its chosen caption (trimmed), or "" when cancelled.
AnsiString PickField() {
  TCustomForm* picker = FrmXzZd;
  if (!picker) return "";
  auto* list = dynamic_cast<TListView*>(picker->FindComponent("ListView1"));
  if (list && list->ItemCount() == 0) payroll::FillFieldPicker(picker);
  // OK and cancel of the picker's resource-less lower edge.
  const std::pair<const char*, TModalResult> buttons[] = {{"确定", mrOk}, {"取消", mrCancel}};
  for (int i = 0; i < 2; ++i) {
    const AnsiString name = i == 0 ? "BtnOk" : "BtnCancel";
    if (picker->FindComponent(name)) continue;
    auto* b = new TButton(picker);
    b->SetName(name);
    b->SetParent(picker);
    b->SetBounds(50 + i * 90, 328, 75, 25);
    b->SetCaption(buttons[i].first);
    b->SetModalResult(buttons[i].second);
  }
  if (picker->ShowModal() != mrOk) return "";
  if (!list || !list->Selected()) return "";
  return list->Selected()->Caption().Trim();
}

// The text goes to the clipboard and replaces the selection at the caret,
// as pasting it would.
void PasteInto(TCustomEdit* edit, const AnsiString& text) {
  Clipboard()->SetAsText(text);
  edit->SetSelText(text);
}
}  // namespace

void TFrameJSGs::SptBtnXzZd1Click(TObject*) {
  const AnsiString picked = PickField();
  if (!picked.empty()) PasteInto(MemoJsGs, picked);
  PanelGsGrid->SetEnabled(false);
}

void TFrameJSGs::SptBtnXzZd2Click(TObject*) {
  const AnsiString picked = PickField();
  if (!picked.empty()) PasteInto(EditTjGs, picked);
  PanelGsGrid->SetEnabled(false);
}

void TFrameJSGs::SptBtnJS_FHClick(TObject* sender) {
  auto* button = dynamic_cast<TSpeedButton*>(sender);
  if (!button) return;
  PanelGsGrid->SetEnabled(false);
  const AnsiString name = button->Name();
  if (name.size() >= 8 && name.substr(6, 2) == "JS")
    PasteInto(MemoJsGs, button->Caption());
  else
    PasteInto(EditTjGs, button->Caption());
}

void TFrameJSGs::MoveRow(bool up) {
  if (table_->IsEmpty()) return;
  TControlsDisabler quiet(table_);
  TBookmark here = table_->GetBookmark();
  const int id = table_->FieldByName("ID")->AsInteger();
  if (up) table_->Prior(); else table_->Next();
  if (up ? table_->Bof() : table_->Eof()) {
    table_->GotoBookmark(here);
    TDataSet::FreeBookmark(here);
    return;
  }
  const int otherId = table_->FieldByName("ID")->AsInteger();
  table_->Edit();
  table_->FieldByName("ID")->SetAsInteger(id);
  table_->Post();
  table_->GotoBookmark(here);
  TDataSet::FreeBookmark(here);
  table_->Edit();
  table_->FieldByName("ID")->SetAsInteger(otherId);
  table_->Post();
}

void TFrameJSGs::SptBtnUpClick(TObject*) { MoveRow(true); }
void TFrameJSGs::SptBtnDnClick(TObject*) { MoveRow(false); }

void TFrameJSGs::RenumberInView() {
  // Each new ID moves the row within the "GI" order; the rows' order is
  // taken first, then each row is numbered through its bookmark.
  TControlsDisabler quiet(table_);
  std::vector<TBookmark> marks;
  for (table_->First(); !table_->Eof(); table_->Next()) marks.push_back(table_->GetBookmark());
  int id = 0;
  for (TBookmark m : marks) {
    table_->GotoBookmark(m);
    table_->Edit();
    table_->FieldByName("ID")->SetAsInteger(++id);
    table_->Post();
  }
  for (TBookmark m : marks) TDataSet::FreeBookmark(m);
}

void TFrameJSGs::SptBtnDelClick(TObject*) {
  if (Answer("\r该公式将被删除，无法恢复，\r请确认", MB_YESNO | MB_ICONWARNING) != IDYES) return;
  if (table_->IsEmpty()) return;
  table_->Delete();
  SptBtnBcGs->SetEnabled(false);
  SptBtnTjGs->SetEnabled(true);
  SptBtnBcGs->SetCaption(payroll::kSaveIdle);
  PanelGsGrid->SetEnabled(true);
  RenumberInView();
  table_->First();
}

void TFrameJSGs::SpeedButton23Click(TObject*) {
  table_->Close();
  table_->Open();
  int count = 0;
  {
    TControlsDisabler quiet(table_);
    std::vector<TBookmark> marks;
    for (table_->First(); !table_->Eof(); table_->Next()) marks.push_back(table_->GetBookmark());
    count = static_cast<int>(marks.size());
    for (TBookmark m : marks) TDataSet::FreeBookmark(m);
  }
  RenumberInView();
  Answer("\r自动编号完成！\r共编号  " + std::to_string(count) + "个", MB_OK | MB_ICONINFORMATION);
}

void TFrameJSGs::spdBtnSaveAllClick(TObject*) {
  TControlsDisabler quiet(table_);
  std::vector<TBookmark> marks;
  for (table_->First(); !table_->Eof(); table_->Next()) marks.push_back(table_->GetBookmark());
  for (TBookmark m : marks) {
    // The row loader fills the editors from the row.
    table_->GotoBookmark(m);
    DsJsGskDataChange();
    SptBtnBcGsClick(nullptr);
  }
  for (TBookmark m : marks) TDataSet::FreeBookmark(m);
}

void TFrameJSGs::SptBtnChkClick(TObject*) {
  if (CmbBoxGnMc->Text().empty()) {
    Answer("\r请选择待检查功能名称！", MB_OK | MB_ICONERROR);
    return;
  }
  std::vector<payroll::TFormulaRowInfo> rows;
  {
    TControlsDisabler quiet(table_);
    TBookmarkKeeper back(table_);
    for (table_->First(); !table_->Eof(); table_->Next())
      rows.push_back({table_->FieldByName("GsRltDesc")->AsString(), table_->FieldByName("GsStrDesc")->AsString(),
                      table_->FieldByName("id")->AsInteger()});
  }
  const AnsiString report = payroll::FormulaOrderReport(rows);
  if (!report.empty())
    Answer("\r" + report + "可能会引起逻辑错误，\r请修改或调整公式顺序！", MB_OK | MB_ICONWARNING);
  else
    Answer("\r公式中无逻辑错误！", MB_OK | MB_ICONINFORMATION);
}

PAYROLL_PUBLISH(TFrameJSGs) {}
