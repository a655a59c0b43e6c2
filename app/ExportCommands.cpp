// The worksheet export commands.  See ExportCommands.h.
#include "app/ExportCommands.h"

#include "Udb/UdbDataBase.h"
#include "app/BankCards.h"
#include "app/FrmData.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/StrCon.h"
#include "export/WSExportToXLS.h"
#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/Files.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/StdCtrls.h"
#include "sql/UdbQuery.h"

namespace payroll {

namespace {

// Removes every occurrence of pattern that starts on a character boundary
// (a GBK trail byte may equal a pattern's first byte).
AnsiString RemoveAll(const AnsiString& text, const AnsiString& pattern) {
  AnsiString out;
  size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, pattern.size(), pattern) == 0) {
      i += pattern.size();
      continue;
    }
    const size_t width = IsDBCSLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    out += text.substr(i, width);
    i += width;
  }
  return out;
}

// "field as title" for a field and title read from gz.ini or the report
// structure; one that is not a plain name (blanks, punctuation, a word of
// the SQL dialect) would change the statement and is refused, naming where
// it was read (source), before any query runs.
AnsiString AliasedColumn(const AnsiString& field, const AnsiString& title, const AnsiString& source) {
  if (!IsSqlName(field) || !IsSqlName(title))
    throw EExportColumnError(source + " 的“" + field + "," + title +
                             "”不能用作导出的列：字段和说明只能由汉字、字母、数字和下划线组成，不能以数字开头。");
  return field + " as " + title;
}

AnsiString StructureSource(const AnsiString& field) { return "报表结构 RptStru 的 " + field + " 栏"; }

}  // namespace

TExportKind ExportKindOf(const AnsiString& text) {
  if (text == "工资") return TExportKind::Wage;
  if (text == "奖金") return TExportKind::Bonus;
  if (text == "绩效工资") return TExportKind::Performance;
  return TExportKind::None;
}

AnsiString ExportFileName(TExportKind kind, const AnsiString& date) {
  switch (kind) {
    case TExportKind::Wage: return "gz" + date.substr(0, 6) + ".xls";
    case TExportKind::Bonus: return "jj" + date + ".xls";
    case TExportKind::Performance: return "jx" + date + ".xls";
    case TExportKind::None: break;
  }
  return "";
}

AnsiString ExportOverwriteQuestion(TExportKind kind) {
  switch (kind) {
    case TExportKind::Wage: return "\r本月工资已有EXCEL文件，是否覆盖？";
    case TExportKind::Bonus: return "\r本月奖金已有EXCEL文件，是否覆盖？";
    case TExportKind::Performance: return "\r本月绩效工资已有EXCEL文件，是否覆盖？";
    case TExportKind::None: break;
  }
  return "";
}

std::vector<AnsiString> ExportSqlLines(
    TExportKind kind, const std::vector<std::pair<AnsiString, AnsiString>>& perfColumns) {
  std::vector<AnsiString> lines;
  switch (kind) {
    case TExportKind::Wage: {
      lines.push_back("select zgbh as 职工编号, xm as 姓名,ylbxh as 养老保险号,gzzh as 工资帐号 ");
      const size_t pay = FldDescs.size() > size_t(kFixedFldDescs) ? FldDescs.size() - kFixedFldDescs : 0;
      for (size_t i = 0; i < pay; ++i)
        lines.push_back("," + AliasedColumn(FldDescs[i].first, FldDescs[i].second, FldDescEntryName(i)));
      lines.push_back(" from gzk order by zgbh");
      break;
    }
    case TExportKind::Bonus:
      lines.push_back("select zgbh as 职工编号,ylbxh as 养老保险号,gzzh as 工资帐号, xm as 姓名,prix as 奖金");
      lines.push_back(" from gzk order by zgbh ");
      break;
    case TExportKind::Performance: {
      AnsiString list;
      // A comma in a title is the printed report's line break; in the
      // query it would end the column, so it goes as in the summaries.
      for (const auto& [field, title] : perfColumns)
        list += AliasedColumn(field, RemoveAll(title, ","), StructureSource(field)) + " , ";
      // The last ", " goes; the list ends with a blank.
      if (list.size() >= 2) list.erase(list.size() - 2);
      lines.push_back("select zgbh as 职工编号,ylbxh as 养老保险号,gzzh as 工资帐号, xm as 姓名,");
      lines.push_back(list);
      lines.push_back(" from gzk order by zgbh ");
      break;
    }
    case TExportKind::None: break;
  }
  return lines;
}

AnsiString SummaryColumnTitle(const AnsiString& fldTitle) {
  return RemoveAll(RemoveAll(fldTitle, ","), "代           扣|");
}

bool IsDepartmentSummary(const AnsiString& report) {
  return report == "部门工资汇总表" || report == "部门绩效工资汇总表";
}

bool IsExportedSummary(const AnsiString& report) {
  return IsDepartmentSummary(report) || report == "单位工资汇总表" || report == "单位绩效工资汇总表";
}

AnsiString SummaryStructureSql(const AnsiString& report) {
  if (report == "单位绩效工资汇总表" || report == "部门绩效工资汇总表")
    return " select * from RptStru where RptTitle='岗位绩效' order by RptNo";
  if (report == "单位工资汇总表" || report == "部门工资汇总表")
    return " select * from RptStru where RptTitle='普通职工' order by RptNo";
  return "";
}

AnsiString SummarySql(const AnsiString& report,
                      const std::vector<std::pair<AnsiString, AnsiString>>& columns,
                      const AnsiString& departmentCode) {
  AnsiString sql = " select BMMC as 单位名称, RS as 人数";
  for (const auto& [field, title] : columns)
    sql += "," + AliasedColumn(field, SummaryColumnTitle(title), StructureSource(field));
  // The query engine orders only by selected columns: the sequence number
  // is selected too, as the last column, and kept out of the file.
  if (IsDepartmentSummary(report))
    sql += "," + AnsiString(kSummarySortColumn) + " from bm where  copy(bmbh,3,1)<>'9'  and bmbh like " + QuotedStr(departmentCode + "%") +
           " and length(bmbh)<=" + IntToStr(int(departmentCode.size()) + 2) + " order by xh";
  else
    sql += " from bm where bmbh like '__' ";
  return sql;
}

bool SelectedDepartmentCode(TTreeView* tree, AnsiString& code) {
  code.clear();
  TTreeNode* node = tree ? tree->Selected() : nullptr;
  if (!node) return false;
  const AnsiString& text = node->Text();
  const AnsiString name = text.substr(0, text.find('('));
  for (size_t i = 0; i < BmNames.size() && i < BmCodes.size(); ++i)
    if (BmNames[i] == name) {
      code = BmCodes[i];
      break;
    }
  return true;
}

}  // namespace payroll

namespace {

using Columns = std::vector<std::pair<AnsiString, AnsiString>>;

// (RptField, FldTitle) of the rows of a report-structure query.
Columns StructureColumns(TUdbQuery* query, const AnsiString& sql) {
  Columns columns;
  query->Close();
  query->SQL()->Clear();
  query->SQL()->Add(sql);
  query->Open();
  for (query->First(); !query->Eof(); query->Next())
    columns.emplace_back(query->FieldByName("RptField")->AsString(), query->FieldByName("FldTitle")->AsString());
  query->Close();
  return columns;
}

// Closes a query however the scope is left.
struct TQueryCloser {
  TUdbQuery* query;
  ~TQueryCloser() {
    try {
      query->Close();
    } catch (...) {
    }
  }
};

int Box(const AnsiString& text, unsigned flags) { return MessageBox(text, Application->Title(), flags); }

}  // namespace

void TfrmMain::InstallExportCommands() {
  WSExportToXLS1 = new TWSExportToXLS(this);
  WSExportToXLS1->SetName("WSExportToXLS1");
  WSExportToXLS1->SetColumnSource(csDataSet);
  WSExportToXLS1->SetOptions(TWSOptions{soShowMessage});
  WSExportToXLS1->SetAddTitle(true);
  WSExportToXLS1->SetAnimatedStatus(true);
  WSExportToXLS1->SetCharacterSet(csANSI_WINDOWS);
  WSExportToXLS1->SetActionAfterExport(aeNone);
  WSExportToXLS1->SetBlankIfZero(false);
  WSExportToXLS1->SetSelectedRecord(false);
  Adoquery1 = new TUdbQuery(this);
  Adoquery1->SetName("Adoquery1");
  Adoquery1->SetDataBase(FrmData->UdbDataBase1);
  QueryExport = new TUdbQuery(this);
  QueryExport->SetName("QueryExport");
  QueryExport->SetDataBase(FrmData->UdbDataBase1);
  if (SptBtnRptExcel) SptBtnRptExcel->OnClick = [this](TObject* s) { SptBtnRptExcelClick(s); };
  if (ComboBoxGZJJ && !SptBtnexcel) {
    SptBtnexcel = new TSpeedButton(this);
    SptBtnexcel->SetName("SptBtnexcel");
    SptBtnexcel->SetParent(ComboBoxGZJJ->Parent());
    SptBtnexcel->SetBounds(220, 38, 110, 24);
    SptBtnexcel->SetCaption("Excel文件导出");
    SptBtnexcel->OnClick = [this](TObject* s) { SptBtnexcelClick(s); };
  }
}

void TfrmMain::SptBtnexcelClick(TObject*) {
  using namespace payroll;
  const AnsiString program = ProgramFolder();
  AnsiString folder = program + kExportFolder;
  const AnsiString chosen = LblSelDir ? LblSelDir->Caption() : AnsiString();
  // Asked only for a chosen folder other than the program's own: with no
  // folder chosen there is nothing to confirm.  The label shows the folder
  // as the file system names it.
  if (!chosen.empty() && !SameText(ShownFolder(program), chosen) &&
      Box(kExportOtherFolder, MB_YESNO | MB_ICONWARNING) == IDYES)
    folder = CommandFolder(chosen);

  const TExportKind kind = ExportKindOf(ComboBoxGZJJ->Text());
  if (kind == TExportKind::None) {
    Box("\r请选择导出的类别!", MB_OK | MB_ICONWARNING);
    return;
  }
  const AnsiString path = folder + ExportFileName(kind, FormatDateTime("yyyymmdd", Date()));
  const AnsiString tested = ChangeFileExt(path, ".XLS");
  if (FileExists(tested)) {
    if (Box(ExportOverwriteQuestion(kind), MB_YESNO | MB_ICONWARNING) != IDYES) return;
    if (!DeleteFile(tested)) {
      Box(kExportCannotOverwrite, MB_OK | MB_ICONERROR);
      return;
    }
  }

  Columns perf;
  if (kind == TExportKind::Performance)
    perf = StructureColumns(QueryExport, "select * from RptStru where RptTitle='岗位绩效' order by RPtNo");
  WSExportToXLS1->SetDataSet(QueryExport);
  WSExportToXLS1->SetFileName(path);
  bool ok = false;
  {
    TQueryCloser closer{QueryExport};
    QueryExport->Close();
    QueryExport->SQL()->Clear();
    for (const AnsiString& line : ExportSqlLines(kind, perf)) QueryExport->SQL()->Add(line);
    QueryExport->Open();
    ok = WSExportToXLS1->Execute();
  }
  // The exporter has shown a failure itself.
  if (ok) Box(kExportDone, MB_OK | MB_ICONINFORMATION);
}

void TfrmMain::SptBtnRptExcelClick(TObject*) {
  using namespace payroll;
  const AnsiString report = ComboBoxReport->Text();
  if (report.empty()) {
    Box(kSummaryNoReport, MB_OK | MB_ICONWARNING);
    return;
  }
  AnsiString code;
  if (IsDepartmentSummary(report) && !SelectedDepartmentCode(TreeViewBm, code)) {
    Box(kSummaryNoDepartment, MB_OK | MB_ICONWARNING);
    return;
  }
  AnsiString name;
  if (!InputQuery(kSummaryNameCaption, kSummaryNamePrompt, name) || name.empty()) return;

  WSExportToXLS1->SetDataSet(Adoquery1);
  WSExportToXLS1->SetFileName(ProgramFolder() + kExportFolder + name + ".xls");
  const AnsiString structure = SummaryStructureSql(report);
  const Columns columns = structure.empty() ? Columns{} : StructureColumns(QueryExport, structure);
  TQueryCloser closer{Adoquery1};
  Adoquery1->Close();
  Adoquery1->SQL()->SetText(SummarySql(report, columns, code));
  Adoquery1->Open();
  if (TField* sortKey = Adoquery1->FindField(kSummarySortColumn); sortKey && IsDepartmentSummary(report))
    sortKey->SetVisible(false);
  if (Adoquery1->IsEmpty()) {
    Box(kSummaryNoData, MB_OK | MB_ICONERROR);
    return;
  }
  // The exporter shows a failure with its reason; no completion then.
  if (WSExportToXLS1->Execute()) Box(kSummaryDone, MB_OK | MB_ICONINFORMATION);
}
