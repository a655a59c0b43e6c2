// The report page's reports built in code.  See PayReports.h.
#include "app/PayReports.h"

#include <algorithm>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/ExportCommands.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/StrCon.h"
#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/NumFormat.h"
#include "platform/core/TextForm.h"
#include "platform/core/Variant.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "report/ReportBand.h"
#include "report/ReportBuild.h"
#include "report/ReportComponent.h"
#include "report/ReportDatasets.h"
#include "report/ReportPage.h"
#include "app/ReportPreviewBridge.h"
#include "report/ReportPrinter.h"
#include "report/ReportViews.h"
#include "sql/UdbQuery.h"

namespace payroll {

const TColumnLayout kSummaryColumns = {"LRTB", 88, 16, 104, 16, 88, 32, "LRTB", 150, 16};
const TColumnLayout kPaySheetColumns = {"LRT", 154, 14, 168, 14, 154, 28, "LRB", 182, 14};

const TPaySheet* PaySheetOf(const AnsiString& report) {
  static const TPaySheet sheets[] = {
      {"职工工资单", true, "普通职工", 0, 80, 1050, {200, 500, 900}},
      {"年薪人员工资单", true, "年薪人员", 50, 90, 750, {100, 300, 600}},
      {"绩效工资单", true, "岗位绩效", 100, 90, 530, {100, 300, 530}},
      {"临时工工资单", false, "临时工", 50, 90, 530, {100, 280, 480}},
  };
  for (const TPaySheet& s : sheets)
    if (report == s.name) return &s;
  return nullptr;
}

AnsiString PaySheetFilter(const TPaySheet& sheet, const AnsiString& code, const AnsiString& unit) {
  const AnsiString name = sheet.name;
  if (name == "年薪人员工资单") return "zgqk='年薪人员' and (zgbh like " + QuotedStr(code + "%") + ")";
  if (name == "临时工工资单") return "zgbh like " + QuotedStr(unit + "98%");
  return "zgbh like " + QuotedStr(code + "%");
}

bool IsRetiredOrTemporaryGroup(const AnsiString& code) {
  if (code.size() < 4) return false;
  const AnsiString group = code.substr(2, 2);
  return group == "99" || group == "98";
}

AnsiString NoSuchReportText(const AnsiString& report) {
  AnsiString text = "\r" + report + "没有报表格式，不能打印!";
  if (AnsiPos("奖金", report) > 0) text += "\r各部门的奖金请打印“奖金发放表”。";
  return text;
}

int PageNumberLeft(const TrbPage* page, int left, int width) {
  const int right = page->RightEdge();
  if (left + width > right) left = right - width;
  return std::max(left, page->LeftEdge());
}

void AddPageNumber(TrbPage* page, int left, int top, int width) {
  // The text carries no trailing blanks: centred, they would push the
  // visible part off the box's middle and make a long number wrap.
  RbCollection->AddMemo(page, "", PageNumberLeft(page, left, width), top, width, 16, kPageNumberText, "CM", 7, 0);
}

void KeepPageNumbersOnPage(TrbPage* page) {
  for (const auto& view : page->Objects)
    if (view->Typ == gtMemo && view->Memo.Text().find("[PAGE#]") != std::string::npos)
      view->x = PageNumberLeft(page, view->x, view->dx);
}

void KeepSignaturesOnPage(TrbPage* page, const std::vector<TrbView*>& line) {
  int limit = page->RightEdge();
  for (auto it = line.rbegin(); it != line.rend(); ++it) {
    TrbView* view = *it;
    if (view->x + view->dx > limit) view->x = std::max(limit - view->dx, page->LeftEdge());
    limit = view->x;
  }
}

AnsiString MoneyFormatString(int decimals) {
  return decimals <= 0 ? AnsiString("0") : "0." + StrCon->RepeatChar('0', decimals);
}

namespace {

TrbMemoView* TitleMemo(TrbPage* page, const char* frame, int left, int top, int width, int height,
                       const AnsiString& text) {
  auto* memo = new TrbMemoView;
  memo->FrameTyp = rbFrameSides(frame);
  memo->GapX = 0;
  memo->GapY = 0;
  memo->FontName = "宋体";
  memo->FontSize = 7;
  memo->Alignment = rbApplyAlignment(memo->Alignment, "CM");
  memo->SetBounds(left, top, width, height);
  memo->Memo.SetText(text);
  page->Add(memo);
  return memo;
}

}  // namespace

int AddColumnTitles(TrbPage* page, TDataSet* rptStru, int x, const TColumnLayout& layout) {
  int groupWidth = 0;
  AnsiString groupTitle;
  auto closeGroup = [&] {
    TitleMemo(page, "LRTB", x - groupWidth, layout.groupTop, groupWidth, layout.groupHeight,
              CommaToLines(groupTitle));
    groupWidth = 0;
    groupTitle.clear();
  };
  for (rptStru->First(); !rptStru->Eof(); rptStru->Next()) {
    const AnsiString title = rptStru->FieldByName("FldTitle")->AsString();
    const int width = rptStru->FieldByName("RptLen")->AsInteger() * kCharWidth;
    const size_t bar = title.find('|');
    if (groupWidth > 0) {
      const AnsiString group = bar == std::string::npos ? AnsiString() : AnsiString(title.substr(0, bar));
      if (group != groupTitle) closeGroup();
    }
    if (bar != std::string::npos) {
      groupWidth += width;
      groupTitle = title.substr(0, bar);
      TitleMemo(page, layout.titleFrame, x, layout.lowerTop, width, layout.lowerHeight, title.substr(bar + 1));
    } else {
      TitleMemo(page, layout.titleFrame, x, layout.singleTop, width, layout.singleHeight, CommaToLines(title));
    }
    x += width;
  }
  // A group that ends the columns still gets its title.
  if (groupWidth > 0) closeGroup();
  return x;
}

int AddColumnValues(TrbPage* page, TDataSet* rptStru, int x, const TColumnLayout& layout,
                    const std::function<AnsiString(const AnsiString& field)>& valueText) {
  for (rptStru->First(); !rptStru->Eof(); rptStru->Next()) {
    const int width = rptStru->FieldByName("RptLen")->AsInteger() * kCharWidth;
    RbCollection->AddMemoFormatted(page, layout.valueFrame, x, layout.valueTop, width, layout.valueHeight,
                                   valueText(rptStru->FieldByName("RptField")->AsString()), "RM", 7,
                                   kMoneyFormat,
                                   MoneyFormatString(rptStru->FieldByName("RptDec")->AsInteger()));
    x += width;
  }
  return x;
}

AnsiString RetirementFieldText(const AnsiString& field, bool sum) {
  // The first three characters are the field code; the rest (up to 20
  // characters) may carry an expression suffix such as "*2".
  const AnsiString ref = "\"" + field.substr(0, 3) + "\"" + field.substr(3, 20);
  return sum ? "[SUM(FrmData.TblGzk." + ref + ")]" : "[FrmData.TblGzk." + ref + "]";
}

bool IsDepartmentLevelReport(const AnsiString& report) {
  return report == "部门工资汇总表" || report == "部门绩效工资汇总表" || report == "临时工工资汇总表";
}

bool IsSummaryReport(const AnsiString& report) {
  return IsDepartmentLevelReport(report) || report == "单位工资汇总表" || report == "单位绩效工资汇总表";
}

AnsiString SummaryStructureTitle(const AnsiString& report) {
  if (report.find("绩效") != std::string::npos) return "岗位绩效";
  if (report == "临时工工资汇总表") return "临时工";
  return "普通职工";
}

TReportPreviewCalls ReportPreviewCalls(TrbReport* report) {
  TReportPreviewCalls c;
  c.Pages = [report] { return &report->EMFPages(); };
  c.Templates = [report] { return &report->Pages(); };
  c.Title = report->Title();
  c.Print = [report](const AnsiString& pages, int copies, bool collate, int which) {
    report->PrintPreparedReport(pages, copies, collate, static_cast<TrbPrintPages>(which));
  };
  c.Prepare = [report] { return report->PrepareReport(); };
  c.Load = [report](const AnsiString& f) { report->LoadPreparedReport(f); };
  c.Save = [report](const AnsiString& f) { report->SavePreparedReport(f); };
  return c;
}

void InstallReportPreview() {
  if (TrbReport::PreviewHook()) return;
  TrbReport::PreviewHook() = [](TrbReport* report) { ShowReportPreview(ReportPreviewCalls(report), nullptr); };
}

}  // namespace payroll

namespace {

int Box(const AnsiString& text, unsigned flags) { return MessageBox(text, Application->Title(), flags); }

// The byte length of a text without its blanks at both ends.
int TrimmedLength(const AnsiString& s) {
  const size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return 0;
  return int(s.find_last_not_of(' ') - a + 1);
}

}  // namespace

void TfrmMain::InstallReports() {
  payroll::InstallReportPreview();
  // Built reports name the employee table as FrmData.TblGzk, templates
  // the main form's queries as frmMain.Adoquery2: both are found by name
  // from anywhere (each leaves the list when freed).
  if (FrmData) RegisterGlobalRoot(FrmData);
  RegisterGlobalRoot(this);
  rbReport1 = new TrbReport(this);
  rbReport1->SetName("rbReport1");
  rbReport1->OnGetValue = [this](const AnsiString& name, Variant& value) { rbReport1GetValue(name, value); };
  rbDBDataSet = new TrbDBDataSet(this);
  rbDBDataSet->SetName("rbDBDataSet");
  qryPaper = new TUdbQuery(this);
  qryPaper->SetName("qryPaper");
  qryPaper->SetDataBase(FrmData->UdbDataBase1);
  // The bonus page's department label, set by a click in the tree.
  LblJJBm = dynamic_cast<TLabel*>(FindComponent("LblJJBm"));
  if (!LblJJBm && Panel2) {
    LblJJBm = new TLabel(this);
    LblJJBm->SetName("LblJJBm");
    LblJJBm->SetParent(Panel2);
    LblJJBm->SetBounds(8, 32, 300, 16);
    LblJJBm->SetCaption("");
  }
  Adoquery2 = new TUdbQuery(this);
  Adoquery2->SetName("Adoquery2");
  Adoquery2->SetDataBase(FrmData->UdbDataBase1);
  if (Panel2 && !SpdBtnJJprint) {
    SpdBtnJJprint = new TSpeedButton(this);
    SpdBtnJJprint->SetName("SpdBtnJJprint");
    SpdBtnJJprint->SetParent(Panel2);
    SpdBtnJJprint->SetBounds(460, 8, 80, 24);
    SpdBtnJJprint->SetCaption("打印");
    SpdBtnJJprint->OnClick = [this](TObject* s) { SpdBtnJJprintClick(s); };
  }
  if (ComboBoxReport && !SptBtnGzbDy) {
    SptBtnGzbDy = new TSpeedButton(this);
    SptBtnGzbDy->SetName("SptBtnGzbDy");
    SptBtnGzbDy->SetParent(ComboBoxReport->Parent());
    SptBtnGzbDy->SetBounds(300, 38, 80, 24);
    SptBtnGzbDy->SetCaption("打 印");
    SptBtnGzbDy->OnClick = [this](TObject* s) { SptBtnGzbDyClick(s); };
  }
}

void TfrmMain::rbReport1GetValue(const AnsiString& name, Variant& value) {
  if (name == "ZBR") value = Variant(FrmLogin ? FrmLogin->LoginUserName : AnsiString());
  else if (name == "DWMC") value = Variant(DwMc);
  else if (name == "BMMC") value = Variant(LblJJBm ? LblJJBm->Caption() : AnsiString());
}

void TfrmMain::SptBtnGzbDyClick(TObject*) {
  using namespace payroll;
  const AnsiString date = FormatDateTime("yyyy.mm.dd", Date());
  const AnsiString report = ComboBoxReport->Text();
  if (report.empty()) {
    Box(kSummaryNoReport, MB_OK | MB_ICONWARNING);
    return;
  }
  // Paper of the report: paper code 1, portrait, margin 0 without a row.
  int paperIdx = 1, paperWidth = 0, paperHeight = 0, leftMarg = 0;
  bool landscape = false;
  qryPaper->Close();
  qryPaper->SQL()->SetText("select * from rptPaper where rptName=" + QuotedStr(report));
  qryPaper->Open();
  if (!qryPaper->IsEmpty()) {
    paperIdx = qryPaper->FieldByName("paperIdx")->AsInteger();
    paperWidth = qryPaper->FieldByName("paperWidth")->AsInteger();
    paperHeight = qryPaper->FieldByName("paperHeight")->AsInteger();
    leftMarg = qryPaper->FieldByName("leftMarg")->AsInteger();
    landscape = qryPaper->FieldByName("paperType")->AsInteger() != 0;
  }
  qryPaper->Close();

  Adoquery1->Close();
  Adoquery1->SQL()->SetText("select * from bm where bmbh like '__'");
  if (IsDepartmentLevelReport(report)) {
    AnsiString code;
    if (!SelectedDepartmentCode(TreeViewBm, code)) {
      Box(kSummaryNoDepartment, MB_OK | MB_ICONWARNING);
      return;
    }
    Adoquery1->SQL()->Clear();
    Adoquery1->SQL()->Add("select * from bm where  copy(bmbh,3,1)<>'9'  and bmbh like " + QuotedStr(code + "%") +
                          " and length(bmbh)<=" + IntToStr(int(code.size()) + 2) + " order by xh");
  }
  Adoquery1->Open();
  if (Adoquery1->IsEmpty()) {
    Box(kNoPrintRows, MB_OK | MB_ICONERROR);
    return;
  }
  Application->ProcessMessages();

  if (report == "奖金发放表") {
    PrintBonusSheet(paperIdx, paperWidth, paperHeight, landscape);
    return;
  }
  if (report == "职工退休补贴表") {
    PrintRetirementTable(date, leftMarg, [&](TrbPage* page) {
      ApplyPaper(page, paperIdx, paperWidth, paperHeight, landscape);
    });
    return;
  }
  if (const TPaySheet* sheet = PaySheetOf(report)) {
    PrintPaySheet(*sheet, date, leftMarg, [&](TrbPage* page) {
      ApplyPaper(page, paperIdx, paperWidth, paperHeight, landscape);
    });
    return;
  }
  if (!IsSummaryReport(report)) {
    Adoquery1->Close();
    Box(NoSuchReportText(report), MB_OK | MB_ICONWARNING);
    return;
  }

  TrbPage* page = StartBuiltReport(Adoquery1, [&](TrbPage* p) {
    ApplyPaper(p, paperIdx, paperWidth, paperHeight, landscape);
  });

  const int titleWidth = 12 * (TrimmedLength(report) + int(DwMc.size()) + 10);
  const bool departmentLevel = IsDepartmentLevelReport(report);
  RbCollection->AddBand(page, 0, 120, btPageHeader);
  RbCollection->AddMemo(page, "B", 200, 20, titleWidth, 40, DwMc + report, "CM", 20, 3);
  if (departmentLevel)
    RbCollection->AddMemo(page, "", leftMarg + 25, 70, 300, 16, "单位：" + LblGzHzbBm->Caption(), "LM", 7, 0);
  if (report == "单位工资汇总表")
    RbCollection->AddMemo(page, "", leftMarg + 25, 70, 300, 16, "单位（盖章）：" + DwMc, "LM", 7, 0);
  RbCollection->AddMemo(page, "", 200, 70, titleWidth, 16, "打印日期：" + date, "CM", 7, 3);
  AddPageNumber(page, 1050, 70, 100);
  RbCollection->AddMemo(page, "LRTB", leftMarg, 88, 60, 32, departmentLevel ? "部门名称" : "单位名称", "CM", 7, 0);
  RbCollection->AddMemo(page, "LRTB", leftMarg + 60, 88, 24, 32, "人数", "CM", 7, 0);
  RbCollection->AddBand(page, 300, 40, btPageFooter);

  TUdbTable* structure = FrmData->TblRptStru;
  structure->SetFiltered(false);
  structure->SetFilterText("RptTitle=" + QuotedStr(SummaryStructureTitle(report)));
  structure->SetFiltered(true);
  structure->Open();
  TrbPage* const target = page;
  const TColumnLayout& layout = kSummaryColumns;
  AddColumnTitles(target, structure, leftMarg + 84, layout);
  RbCollection->AddDataBand(target, 150, 16, "rbdbdataset");
  RbCollection->AddMemo(target, "LRTB", leftMarg, 150, 60, 16, "[adoquery1.\"bmmc\"]", "CM", 7, 0);
  RbCollection->AddMemo(target, "LRTB", leftMarg + 60, 150, 24, 16, "[adoquery1.\"rs\"]", "RM", 7, 0);
  RbCollection->AddBand(target, 300, 40, btPageFooter);
  AddColumnValues(target, structure, leftMarg + 84, layout,
                  [](const AnsiString& field) { return "[adoquery1.\"" + field + "\"]"; });
  structure->SetFiltered(false);
  structure->Close();

  RbCollection->AddBand(page, 400, 100, btReportSummary);
  KeepSignaturesOnPage(
      page, {RbCollection->AddMemo(page, " ", 200, 405, 60, 16, "审    批:", "CT", 7, 0),
             RbCollection->AddMemo(page, " ", 500, 405, 60, 16, "部门主管:", "CT", 7, 0),
             RbCollection->AddMemo(page, " ", 900, 405, 180, 16,
                                   "制    表:  " + (FrmLogin ? FrmLogin->LoginUserName : AnsiString()), "CT", 7, 0)});
  rbReport1->ShowReport();
  Adoquery1->Close();
}

TrbPage* TfrmMain::StartBuiltReport(TDataSet* data, const std::function<void(TrbPage*)>& paper) {
  rbDBDataSet->SetDataSet(data);
  rbReport1->Pages().Clear();
  TrbPage* page = rbReport1->Pages().Add();
  paper(page);
  // Two passes, so that "[TOTALPAGES]" is known on every page.
  rbReport1->SetTwoPass(true);
  return page;
}

void TfrmMain::ApplyPaper(TrbPage* page, int size, int width, int height, bool landscape) {
  // The printer module settles the paper: it replaces code, size and
  // orientation by what the printer offers.
  TrbPrinter* printer = rbPrinter();
  printer->SetPrinterInfo(size, width, height, 0, landscape ? poLandscape : poPortrait, true);
  // The printer gives the sheet as it lies (landscape: wider than high);
  // a page keeps the upright sheet with its orientation and turns it
  // itself (TrbPage::PageWidth), so a landscape size is turned back.
  const bool turned = printer->Orientation() == poLandscape;
  page->pgSize = printer->PaperSize();
  page->pgWidth = turned ? printer->PaperHeight() : printer->PaperWidth();
  page->pgHeight = turned ? printer->PaperWidth() : printer->PaperHeight();
  page->pgOr = turned ? 1 : 0;
  page->pgBin = 0;
}

AnsiString TfrmMain::ReportUnit() const {
  // The unit-wide sheets (temporary workers, retirees) print the unit of
  // the department chosen in the tree.  Without a choice they take the
  // department table's current row; that row alone would be whichever
  // unit the tree was built from last, not the one the operator sees.
  AnsiString code;
  if (payroll::SelectedDepartmentCode(TreeViewBm, code) && code.size() >= 2) return code.substr(0, 2);
  return FrmData->TblBm->FieldByName("BMBH")->AsString().substr(0, 2);
}

void TfrmMain::PrintPaySheet(const payroll::TPaySheet& sheet, const AnsiString& date, int leftMarg,
                             const std::function<void(TrbPage*)>& paper) {
  using namespace payroll;
  AnsiString code, unit;
  if (sheet.needsDepartment && !SelectedDepartmentCode(TreeViewBm, code)) {
    Box(kSummaryNoDepartment, MB_OK | MB_ICONWARNING);
    return;
  }
  if (AnsiString(sheet.name) == "职工工资单" && IsRetiredOrTemporaryGroup(code)) {
    Box(kRetiredOrTemporary, MB_OK | MB_ICONERROR);
    return;
  }
  if (!sheet.needsDepartment) unit = ReportUnit();
  TUdbTable* gzk = FrmData->TblGzk;
  const AnsiString filter = PaySheetFilter(sheet, code, unit);
  // The temporary workers' sheet goes through the register's filter
  // routine, as the retirement table does; the department sheets set the
  // table's filter themselves.
  if (sheet.needsDepartment) {
    gzk->SetFiltered(false);
    gzk->SetFilterText(filter);
    gzk->SetFiltered(true);
  } else {
    Filter_Gzk(filter);
  }
  if (gzk->IsEmpty()) {
    Box(kNoPrintEmployees, MB_OK | MB_ICONERROR);
    return;
  }

  TrbPage* page = StartBuiltReport(gzk, paper);

  const AnsiString report = sheet.name;
  const int o = sheet.offset;
  const int titleWidth = 12 * (TrimmedLength(report) + int(DwMc.size()) + 10);
  const TDateTime today = Date();
  RbCollection->AddBand(page, 0, sheet.headerHeight, btPageHeader);
  RbCollection->AddMemo(page, "B", 200, 20, titleWidth, 40, DwMc + report, "CM", 20, 3);
  RbCollection->AddMemo(page, "", leftMarg + 25 + o, 70, 300, 16, "部门：" + LblGzHzbBm->Caption(), "LM", 7, 0);
  RbCollection->AddMemo(page, "", 200 + o, 70, titleWidth, 16, "打印日期：" + date, "CM", 7, 3);
  AddPageNumber(page, sheet.pageNumberLeft, 70, 100);
  RbCollection->AddDataBand(page, 150, 42, "rbDbDataSet");
  RbCollection->AddMemo(page, "LRT", leftMarg + o, 154, 66, 14,
                        FormatDateTime("yyyy", today) + "年" + FormatDateTime("mm", today) + "月", "CB", 7, 0);
  RbCollection->AddMemo(page, "LR", leftMarg + o, 168, 66, 14, "[FrmData.TblGzk.\"zgbh\"]", "CB", 7, 0);
  RbCollection->AddMemo(page, "LRB", leftMarg + o, 182, 66, 14, "[FrmData.TblGzk.\"xm\"]", "CM", 7, 0);
  RbCollection->AddBand(page, 300, 40, btPageFooter);

  TUdbTable* structure = FrmData->TblRptStru;
  structure->SetFiltered(false);
  structure->SetFilterText("RptTitle=" + QuotedStr(sheet.structureTitle));
  structure->SetFiltered(true);
  structure->Open();
  const int x = leftMarg + o + 66;
  AddColumnTitles(page, structure, x, kPaySheetColumns);
  const bool singleField = report == "职工工资单";
  AddColumnValues(page, structure, x, kPaySheetColumns, [singleField](const AnsiString& field) {
    return singleField ? "[FrmData.TblGzk.\"" + field + "\"]" : QualifyFieldCodes(field, "FrmData.TblGzk.");
  });
  structure->SetFiltered(false);
  structure->Close();

  RbCollection->AddBand(page, 400, 80, btReportSummary);
  const char* signatures[] = {"审    批:", "部门主管:", "制    表:  "};
  const int widths[] = {60, 60, 180};
  std::vector<TrbView*> line;
  for (int i = 0; i < 3; ++i)
    line.push_back(RbCollection->AddMemo(
        page, " ", sheet.signatureLefts[i], 405, widths[i], 16,
        AnsiString(signatures[i]) + (i == 2 && FrmLogin ? FrmLogin->LoginUserName : AnsiString()), "CT", 7, 0));
  KeepSignaturesOnPage(page, line);
  rbReport1->ShowReport();
}

void TfrmMain::PrintRetirementTable(const AnsiString& date, int leftMarg, const std::function<void(TrbPage*)>& paper) {
  using namespace payroll;
  const AnsiString unit = ReportUnit();
  TUdbTable* gzk = FrmData->TblGzk;
  Filter_Gzk("zgbh like " + QuotedStr(unit + "99%"));
  if (gzk->IsEmpty()) {
    Box(kNoPrintEmployees, MB_OK | MB_ICONERROR);
    return;
  }
  TrbPage* page = StartBuiltReport(gzk, paper);
  page->LeftMargin = 5;

  RbCollection->AddBand(page, 0, 120, btPageHeader);
  RbCollection->AddMemo(page, "B", 100, 20, 400, 40, "退休人员公司补贴发放情况表", "CM", 20, 3);
  RbCollection->AddMemo(page, "", leftMarg + 25, 70, 300, 16, "单位:" + DwMc, "LM", 7, 0);
  RbCollection->AddMemo(page, "", 300, 70, 200, 16, "打印日期：" + date, "CM", 7, 3);
  AddPageNumber(page, 550, 70, 80);
  RbCollection->AddMemo(page, "LRTB", leftMarg + 20, 88, 24, 32, "序号", "CM", 7, 0);
  RbCollection->AddMemo(page, "LRTB", leftMarg + 44, 88, 48, 32, "姓名", "CM", 7, 0);

  TUdbTable* structure = FrmData->TblRptStru;
  structure->SetFiltered(false);
  structure->SetFilterText("RptTitle='退休职工'");
  structure->SetFiltered(true);
  structure->Open();
  const int x = leftMarg + 92;
  AddColumnTitles(page, structure, x, kSummaryColumns);
  RbCollection->AddDataBand(page, 150, 16, "rbDbDataSet");
  RbCollection->AddMemo(page, "LRTB", leftMarg + 20, 150, 24, 16, "[LINE#]", "LM", 7, 0);
  RbCollection->AddMemo(page, "LRTB", leftMarg + 44, 150, 48, 16, "[FrmData.TblGzk.\"xm\"]", "CM", 7, 0);
  RbCollection->AddBand(page, 300, 40, btPageFooter);
  AddColumnValues(page, structure, x, kSummaryColumns,
                  [](const AnsiString& field) { return RetirementFieldText(field, false); });
  RbCollection->AddBand(page, 400, 100, btReportSummary);
  RbCollection->AddMemo(page, "LRTB", leftMarg + 20, 400, 72, 16, "合   计", "CM", 7, 0);
  TColumnLayout sums = kSummaryColumns;
  sums.valueTop = 400;
  AddColumnValues(page, structure, x, sums, [](const AnsiString& field) { return RetirementFieldText(field, true); });
  structure->SetFiltered(false);
  structure->Close();
  KeepSignaturesOnPage(
      page, {RbCollection->AddMemo(page, " ", 50, 418, 60, 16, "单位负责人:", "LT", 7, 0),
             RbCollection->AddMemo(page, " ", 480, 418, 180, 16,
                                   "制    表:  " + (FrmLogin ? FrmLogin->LoginUserName : AnsiString()), "CT", 7, 0)});
  rbReport1->ShowReport();
  gzk->SetFiltered(false);
}
