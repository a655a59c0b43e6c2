// "汇总计算": department and unit totals.  See Totals.h.
#include "app/Totals.h"

#include <deque>
#include <map>
#include <memory>
#include <utility>

#include "app/FrmData.h"
#include "app/FrmMain.h"
#include "app/GzCalcCommands.h"
#include "app/GzSettings.h"
#include "app/StrCon.h"
#include "Udb/UdbTable.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"

namespace payroll {

bool CountsIn(const AnsiString& zgbh, const AnsiString& bmbh) {
  if (zgbh.compare(0, bmbh.size(), bmbh) != 0 || zgbh.size() < bmbh.size()) return false;
  return !(bmbh.size() == 2 && zgbh.size() >= 3 && zgbh[2] == '9');
}

std::vector<int> RenumberDepartments(const std::vector<AnsiString>& codes, const std::function<void()>& step) {
  std::vector<int> numbers(codes.size());
  for (size_t i = 0; i < numbers.size(); ++i) numbers[i] = static_cast<int>(i);
  for (size_t i = 0; i < codes.size(); ++i) {
    for (size_t j = i + 1; j < codes.size(); ++j)
      if (codes[j].find(codes[i]) != std::string::npos) std::swap(numbers[i], numbers[j]);
    if (step) step();
  }
  return numbers;
}

namespace {

// The pay-item numbers of the described fields, with their codes.
std::vector<std::pair<int, AnsiString>> DescribedItems() {
  std::vector<std::pair<int, AnsiString>> items;
  const size_t n = FldDescs.size() > static_cast<size_t>(kFixedFldDescs) ? FldDescs.size() - kFixedFldDescs : 0;
  for (size_t i = 0; i < n; ++i) {
    const AnsiString& code = FldDescs[i].first;
    int number = 0;
    // A code that is not "F" and two digits is not a pay item.
    if (!TryStrToInt(StrCon->CopyText(code, 2, 2), number) || number < 1 || number > 99) continue;
    items.emplace_back(number, code);
  }
  return items;
}

// Switches a dataset's controls off for a scope, and on again however the
// scope is left.
class TQuiet {
 public:
  explicit TQuiet(TDataSet* ds) : ds_(ds) { ds_->DisableControls(); }
  ~TQuiet() {
    try {
      ds_->EnableControls();
    } catch (...) {
    }
  }
  TQuiet(const TQuiet&) = delete;
  TQuiet& operator=(const TQuiet&) = delete;

 private:
  TDataSet* ds_;
};

}  // namespace

void ComputeDeptTotals(TDataSet* gzk, TDataSet* bm, const TTotalsProgress& progress) {
  TQuiet quietGzk(gzk), quietBm(bm);
  {
    // The departments in table order, each row by its bookmark.
    std::vector<TDeptTotal> totals;
    std::vector<TBookmarkStr> rows;
    for (bm->First(); !bm->Eof(); bm->Next()) {
      totals.emplace_back();
      totals.back().Code = bm->FieldByName("bmbh")->AsString();
      rows.push_back(bm->Bookmark());
    }

    const auto items = DescribedItems();
    gzk->SetFiltered(false);
    gzk->First();
    if (progress.Start) progress.Start(gzk->RecordCount());
    while (!gzk->Eof()) {
      const AnsiString zgbh = gzk->FieldByName("zgbh")->AsString();
      for (TDeptTotal& t : totals) {
        if (!CountsIn(zgbh, t.Code)) continue;
        ++t.Count;
        for (const auto& [number, code] : items) t.Sums[number] += gzk->FieldByName(code)->AsFloat();
      }
      if (progress.Step) progress.Step();
      gzk->Next();
    }

    // Totals by code: rows of one code have one total.
    std::map<AnsiString, const TDeptTotal*> byCode;
    for (const TDeptTotal& t : totals) byCode.emplace(t.Code, &t);
    std::vector<AnsiString> codes;
    for (const TDeptTotal& t : totals) codes.push_back(t.Code);
    if (progress.Start) progress.Start(static_cast<int>(rows.size()));
    const std::vector<int> numbers = RenumberDepartments(codes, progress.Step);

    for (size_t i = 0; i < rows.size(); ++i) {
      bm->SetBookmark(rows[i]);
      const TDeptTotal& t = *byCode.at(bm->FieldByName("bmbh")->AsString());
      bm->Edit();
      try {
        bm->FieldByName("rs")->SetAsInteger(t.Count);
        for (int n = 1; n <= 99; ++n)
          bm->FieldByName(FldLetter + StrCon->IntToFixed(n, 2, '0'))->SetAsFloat(t.Sums[n]);
        bm->FieldByName("xh")->SetAsInteger(numbers[i]);
        bm->Post();
      } catch (...) {
        bm->Cancel();
        throw;
      }
    }
    bm->First();
  }
}

}  // namespace payroll

void TfrmMain::N39Click(TObject*) {
  auto progress = std::make_unique<TfrmMessage>(nullptr);
  progress->Show();
  Application->ProcessMessages();
  TProgressBar* gauge = progress->Gauge1;
  payroll::TTotalsProgress p;
  p.Start = [gauge](int max) {
    gauge->SetPosition(0);
    gauge->SetMax(max);
  };
  p.Step = [gauge] {
    gauge->StepBy(1);
    Application->ProcessMessages();
  };
  payroll::ComputeDeptTotals(FrmData->TblGzk, FrmData->TblBm, p);
  progress->Hide();
  progress.reset();
  MessageBox(payroll::kTotalsDone, Application->Title(), MB_OK | MB_ICONINFORMATION);
}
