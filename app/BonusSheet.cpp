// The bonus payout sheet.  See BonusSheet.h.
#include "app/BonusSheet.h"

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/PayReports.h"
#include "app/StrCon.h"
#include "platform/core/Files.h"
#include "platform/core/Streams.h"
#include "platform/data/Dataset.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/StdCtrls.h"
#include "report/ReportBand.h"
#include "report/ReportBuild.h"
#include "report/ReportComponent.h"
#include "report/ReportDatasets.h"
#include "report/ReportPage.h"
#include "sql/UdbQuery.h"

namespace payroll {

AnsiString BonusSelectionSql(const AnsiString& departmentCode) {
  return "select * from gzk where zgqk<>'厂内退养' and zgqk<>'退休职工' and zgbh like " +
         QuotedStr(departmentCode + "%") + " order by zgbh";
}

void WriteBonusTemplate(const AnsiString& fileName) {
  TrbReport report(nullptr);
  report.SetTwoPass(true);  // "[TOTALPAGES]" is known
  TrbPage* page = report.Pages().Add();  // A4 portrait
  RbCollection->AddBand(page, 0, 110, btPageHeader);
  RbCollection->AddMemo(page, "B", 150, 20, 420, 36, "[DWMC]奖金发放表", "CM", 18, 3);
  RbCollection->AddMemo(page, "", 40, 66, 300, 16, "部门：[BMMC]", "LM", 9, 0);
  RbCollection->AddMemo(page, "", 480, 66, 200, 16, "第[PAGE#]页 共[TOTALPAGES]页", "RM", 9, 0);
  const int lefts[] = {40, 140, 240, 360, 480};
  const int widths[] = {100, 100, 120, 120, 200};
  const char* titles[] = {"序号", "职工编号", "姓名", "奖金", "签名"};
  for (int i = 0; i < 5; ++i) RbCollection->AddMemo(page, "LRTB", lefts[i], 86, widths[i], 24, titles[i], "CM", 9, 0);
  RbCollection->AddDataBand(page, 130, 22, "rbDBDataSet");
  RbCollection->AddMemo(page, "LRTB", lefts[0], 130, widths[0], 22, "[LINE#]", "CM", 9, 0);
  RbCollection->AddMemo(page, "LRTB", lefts[1], 130, widths[1], 22, "[frmMain.Adoquery2.\"zgbh\"]", "CM", 9, 0);
  RbCollection->AddMemo(page, "LRTB", lefts[2], 130, widths[2], 22, "[frmMain.Adoquery2.\"xm\"]", "CM", 9, 0);
  RbCollection->AddMemoFormatted(page, "LRTB", lefts[3], 130, widths[3], 22, "[frmMain.Adoquery2.\"prix\"]", "RM",
                                 9, kMoneyFormat, "0.00");
  RbCollection->AddMemo(page, "LRTB", lefts[4], 130, widths[4], 22, "", "CM", 9, 0);
  RbCollection->AddBand(page, 200, 60, btReportSummary);
  RbCollection->AddMemo(page, "LRTB", lefts[0], 200, 320, 22, "合    计", "CM", 9, 0);
  RbCollection->AddMemoFormatted(page, "LRTB", lefts[3], 200, widths[3], 22, "[SUM(frmMain.Adoquery2.\"prix\")]",
                                 "RM", 9, kMoneyFormat, "0.00");
  RbCollection->AddMemo(page, "LRTB", lefts[4], 200, widths[4], 22, "", "CM", 9, 0);
  RbCollection->AddMemo(page, "", 480, 230, 200, 16, "制表：[ZBR]", "LM", 9, 0);
  TFileStream out(fileName, fmCreate);
  report.SaveToStream(&out);
}

}  // namespace payroll

namespace {

int Box(const AnsiString& text, unsigned flags) { return MessageBox(text, Application->Title(), flags); }

}  // namespace

void TfrmMain::OpenBonusSelection() {
  Adoquery2->DisableControls();
  Adoquery2->Close();
  Adoquery2->SQL()->Clear();
  Adoquery2->SQL()->Add(payroll::BonusSelectionSql(CurBmBh));
  Adoquery2->Open();
}

void TfrmMain::SpdBtnJJprintClick(TObject*) {
  if (LblJJBm->Caption().empty()) {
    ShowMessage(payroll::kNoBonusDepartment);
    return;
  }
  const AnsiString path = ProgramFolder() + payroll::kBonusTemplate;
  if (!FileExists(path)) {
    ShowMessage(payroll::kMissingBonusTemplate);
    return;
  }
  rbDBDataSet->SetDataSet(Adoquery2);
  OpenBonusSelection();
  Adoquery2->EnableControls();
  if (LoadBonusTemplate(path)) rbReport1->ShowReport();
  rbDBDataSet->SetDataSet(FrmData->TblGzk);
}

// The report keeps its previous template when this one cannot be read (it
// has said why): that template must not be printed with the bonus rows.
bool TfrmMain::LoadBonusTemplate(const AnsiString& path) {
  if (rbReport1->LoadFromFile(path)) return true;
  if (!FileExists(path)) ShowMessage(payroll::kMissingBonusTemplate);
  return false;
}

void TfrmMain::PrintBonusSheet(int paperIdx, int paperWidth, int paperHeight, bool landscape) {
  const AnsiString path = ProgramFolder() + payroll::kBonusTemplate;
  if (!FileExists(path)) {
    ShowMessage(payroll::kMissingBonusTemplate);
    return;
  }
  rbDBDataSet->SetDataSet(Adoquery2);
  OpenBonusSelection();
  if (Adoquery2->IsEmpty()) {
    Box(payroll::kNoPrintEmployees, MB_OK | MB_ICONERROR);
    return;
  }
  Adoquery2->EnableControls();
  if (LoadBonusTemplate(path)) {
    if (rbReport1->Pages().Count() > 0) {
      ApplyPaper(rbReport1->Pages().Pages(0), paperIdx, paperWidth, paperHeight, landscape);
      payroll::KeepPageNumbersOnPage(rbReport1->Pages().Pages(0));
    }
    rbReport1->ShowReport();
  }
  rbDBDataSet->SetDataSet(FrmData->TblGzk);
}
