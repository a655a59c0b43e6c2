// The commands around the payroll calculation: the progress form of the
// initialisation loops (TfrmMessage) and the bonus initialisation dialog
// (TfrmJJCsh).  The main form's handlers (GzCalc, N14Click, N58Click,
// N60Click, N21Click, SpdBtnCjjZeClick) are in GzCalcCommands.cpp.
//
// Initialisation loop (month 1, year 2, performance 5): question (Yes/No,
// warning); progress form; gzk's controls disabled, filter off, first row;
// each row with CalcMode := mode, GzCalc, CalcMode := 0, gauge + 1, next;
// then first row.  An exception stops the walk and is shown with "(" +
// the row's zgbh + ")"; the controls are re-enabled, the progress form
// freed and the closing message shown in every case.
// App layer.
#pragma once

#include "app/PopWin.h"
#include "platform/ui/Forms.h"

class TEdit;
class TLabel;
class TProgressBar;
class TSpeedButton;
class TUdbQuery;

namespace payroll {
inline constexpr const char* kMonthInitQuestion = "\r工资初始化将对所有考勤数据清零，确认否？";
inline constexpr const char* kMonthInitDone = "\r工资考勤月初始化工作完成！";
inline constexpr const char* kYearInitQuestion = "\r系统将进行工资年度初始化，确认否？\r注意：初始化后将不可以恢复！";
inline constexpr const char* kYearInitDone = "\r工资年度初始化完成！";
inline constexpr const char* kPerfInitQuestion = "\r绩效初始化将对有关绩效数据清零和重新计算，确认否？";
inline constexpr const char* kPerfInitDone = "\r绩效初始化工作完成！";
inline constexpr const char* kBonusInitDone = "\r奖金初始化已完成！";
inline constexpr const char* kBonusAmountNotNumber = "\r奖金金额只能是数字，请重新输入！";
}  // namespace payroll

// Border-less 382 x 37 progress form, centred, holding the gauge.
class TfrmMessage : public TForm {
  PAYROLL_CLASS(TfrmMessage, TForm)
 public:
  explicit TfrmMessage(TComponent* owner);
  TProgressBar* Gauge1 = nullptr;
};

// "奖金初始化": sets the bonus prix of every employee to the typed amount.
// A dialog on the pop-up base (form resource TfrmJJCsh).
class TfrmJJCsh : public TFrmPopWin {
  PAYROLL_CLASS(TfrmJJCsh, TFrmPopWin)
 public:
  explicit TfrmJJCsh(TComponent* owner);
  TLabel* Label2 = nullptr;
  TEdit* Edtgjj = nullptr;
  TSpeedButton *SpdBtnOk = nullptr, *SptBtnCanCle = nullptr;
  TUdbQuery* Query1 = nullptr;
  // Every employee's bonus "prix" set to the typed amount, passed to the
  // statement as a parameter; gzk refreshed and back on its row;
  // "\r奖金初始化已完成！".  A text that is no number is refused with
  // kBonusAmountNotNumber and nothing changes.
  void SpdBtnOkClick(TObject* sender);
  void SptBtnCanCleClick(TObject* sender);
};
