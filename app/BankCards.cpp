// The bank's pay-card files.  See BankCards.h.
#include "app/BankCards.h"

#include <fstream>
#include <vector>

#include "Udb/UdbTable.h"
#include "app/ExportCommands.h"
#include "app/FrmData.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/StrCon.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Files.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

namespace payroll {

namespace {
const char* const kCrLf = "\r\n";
}

AnsiString CardHeaderLine(const AnsiString& dwmc, int count, double total, TDateTime today) {
  return dwmc + "    " + StrCon->IntText(count) + StrCon->FloatToFixed("0.00", total, 11, ' ') +
         FormatDateTime("yymmdd", today);
}

AnsiString CardDetailLine(const AnsiString& zgbh, const AnsiString& xm, const AnsiString& gzzh, double amount) {
  return StrCon->CopyText(zgbh, 6, 5) + StrCon->PadText(xm, 8, ' ') +
         StrCon->PadText(StrCon->CopyText(gzzh, 1, 19), 19, ' ') + StrCon->FloatToFixed("0.00", amount, 7, ' ');
}

AnsiString ShownFolder(const AnsiString& folder) {
  if (folder.empty()) return folder;
  AnsiString shown = NativeToAnsiPath(MapPath(folder));
  while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
  return shown;
}

AnsiString CommandFolder(const AnsiString& shown) {
  if (shown.empty() || shown.back() == '/' || shown.back() == '\\') return shown;
  return shown + "\\";
}

void FilterCardEmployees(TDataSet* gzk, const AnsiString& code) {
  gzk->SetFiltered(false);
  if (!code.empty()) {
    gzk->SetFilter("ZGBH like " + QuotedStr(code + "%"));
    gzk->SetFiltered(true);
  }
  gzk->First();
}

bool CardKindOf(const AnsiString& kind, AnsiString& fileName, AnsiString& amountField) {
  if (kind == "工资") {
    fileName = "\\dept.mdk";
    amountField = getFldNameByDesc("实发工资");
  } else if (kind == "奖金") {
    fileName = "\\deptjj.mdk";
    amountField = "prix";
  } else if (kind == "绩效工资") {
    fileName = "\\deptjx.mdk";
    amountField = getFldNameByDesc("岗位绩效工资");
  } else {
    return false;
  }
  return !amountField.empty();
}

TCardOutcome WriteBankCardFile(TDataSet* gzk, const AnsiString& kind, const AnsiString& folder,
                               const AnsiString& dwmc, TDateTime today, const std::function<void(int)>& start,
                               const std::function<void()>& step, const std::function<void()>& walked) {
  if (kind.empty()) {
    MessageBox(kCardChooseKind, Application->Title(), MB_OK | MB_ICONWARNING);
    return TCardOutcome::NoKind;
  }
  AnsiString fileName, amountField;
  if (!CardKindOf(kind, fileName, amountField)) return TCardOutcome::NoField;

  const AnsiString path = folder + fileName;
  std::ofstream out(MapPath(path), std::ios::binary | std::ios::trunc);
  if (!out) throw EInOutError("无法创建文件 " + path);
  try {
    if (start) start(gzk->RecordCount());
    // The bonus and performance amounts may have been changed by queries
    // behind the table's back: read the rows afresh, under the filter.
    if (kind != "工资") {
      gzk->Close();
      gzk->Open();
    }
    gzk->First();
    std::vector<AnsiString> lines;
    double total = 0;
    while (!gzk->Eof()) {
      const AnsiString account = gzk->FieldByName("gzzh")->AsString();
      if (!account.empty()) {
        const double amount = gzk->FieldByName(amountField)->AsFloat();
        lines.push_back(CardDetailLine(gzk->FieldByName("zgbh")->AsString(), gzk->FieldByName("xm")->AsString(),
                                       account, amount));
        total += amount;
      }
      if (step) step();
      gzk->Next();
    }
    if (walked) walked();
    out << CardHeaderLine(dwmc, static_cast<int>(lines.size()), total, today) << kCrLf;
    for (const AnsiString& line : lines) out << line << kCrLf;
    out.close();
    if (out.fail()) throw EInOutError("写文件失败 " + path);
  } catch (const std::exception&) {
    out.close();
    MessageBox(kCardFileFault, Application->Title(), MB_OK | MB_ICONINFORMATION);
    return TCardOutcome::Failed;
  }
  MessageBox(kCardFileDone, Application->Title(), MB_OK | MB_ICONINFORMATION);
  return TCardOutcome::Written;
}

}  // namespace payroll

// --- the card page's command ------------------------------------------------------

void TfrmMain::SptBtnGzdcClick(TObject*) {
  if (LblSelDir->Caption().empty())
    LblSelDir->SetCaption(payroll::ShownFolder(ProgramFolder() + payroll::kCardDefaultFolder));
  const auto start = [this](int max) {
    PrgBarGzdc->SetMax(max);
    PrgBarGzdc->SetPosition(0);
    PrgBarGzdc->SetStep(1);
    PrgBarGzdc->SetVisible(true);
  };
  const auto step = [this] {
    PrgBarGzdc->StepIt();
    Application->ProcessMessages();
  };
  const AnsiString kind = ComboBoxGZJJ->Text();
  // A report printed before may have left its own selection on the table:
  // the file covers the department chosen in the tree, nothing else.
  if (!kind.empty()) {
    AnsiString code;
    payroll::SelectedDepartmentCode(TreeViewBm, code);
    payroll::FilterCardEmployees(FrmData->TblGzk, code);
  }
  payroll::WriteBankCardFile(FrmData->TblGzk, kind, payroll::CommandFolder(LblSelDir->Caption()), DwMc, Date(),
                             start, step,
                             [this] { PrgBarGzdc->SetVisible(false); });
}
