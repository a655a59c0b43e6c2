// TFrameJSGs: the formula editor on the main window's formula page.  The
// operators write formulas with the pay fields' descriptions; each JsGsk
// row keeps the description form (GSRLTDESC, GSSTRDESC, TJDESC, shown
// back) and the code form (GSRLT, GSSTR, TJSTR, run by the calculation),
// derived by replacing every FldDescs description, in list order, by its
// code (plain case-sensitive replacement: a description contained in a
// later, longer one spoils that one, so descriptions are kept distinct).
//
// Modes, told by the save button's caption: "修改保存" (a row is loaded;
// saving changes it), "添加保存" (after "添加公式"; saving appends with ID =
// last ID in view + 1, or 2 when none is in view), "保存公式" (idle).
// Saving tries a formula without commas first: every description becomes
// 0.11 and the text must evaluate ("\r公式中存在逻辑错误，请修改!" if not).
// An empty condition is stored as " " (always true).
//
// The formula table's filter follows the chosen function name
// ("GnName='<name>'"); the grid is disabled while adding and after a pick
// or an operator button, until a save or a function-name change.
// App layer.
#pragma once

#include "platform/ui/ExtCtrls.h"

class TComboBox;
class TDBGrid;
class TEdit;
class TMemo;
class TSpeedButton;
class TUdbTable;
class TDataSource;

namespace payroll {
inline constexpr const char* kSaveIdle = "保存公式";
inline constexpr const char* kSaveAdd = "添加保存";
inline constexpr const char* kSaveChange = "修改保存";
inline constexpr const char* kTrialValue = "0.11";
}  // namespace payroll

class TFrameJSGs : public TPanel {
  PAYROLL_CLASS(TFrameJSGs, TPanel)
 public:
  // resultFields: the main form's result-field list (taken into the
  // frame).  jsgsk and source: the formula table and its data source.
  TFrameJSGs(TComponent* owner, TComboBox* resultFields, TUdbTable* jsgsk, TDataSource* source);

  TComboBox *CmbBoxGnMc = nullptr, *CmBBoxJgZd = nullptr;
  TMemo* MemoJsGs = nullptr;
  TEdit* EditTjGs = nullptr;
  TPanel* PanelGsGrid = nullptr;
  TDBGrid* DBGridJsGs = nullptr;
  TSpeedButton *SptBtnZD_GS = nullptr, *SptBtnZD_TJ = nullptr;
  TSpeedButton* SptBtnJS_FH[11] = {};
  TSpeedButton* SptBtnTJ_FH[11] = {};
  TSpeedButton *SptBtnTjGs = nullptr, *SptBtnBcGs = nullptr, *SptBtnUp = nullptr, *SptBtnDn = nullptr,
               *SptBtnDel = nullptr, *SptBtnChk = nullptr, *SpeedButton23 = nullptr, *spdBtnSaveAll = nullptr;

  // The row-change loader of JsGsk (the data module's DsJsGskDataChange).
  void DsJsGskDataChange();
  void CmbBoxGnMcChange(TObject* sender);
  void SptBtnTjGsClick(TObject* sender);
  // With a sender (the button) it asks and reports; without (save all) not.
  void SptBtnBcGsClick(TObject* sender);
  void SptBtnXzZd1Click(TObject* sender);
  void SptBtnXzZd2Click(TObject* sender);
  void SptBtnJS_FHClick(TObject* sender);
  void SptBtnUpClick(TObject* sender);
  void SptBtnDnClick(TObject* sender);
  void SptBtnDelClick(TObject* sender);
  void SpeedButton23Click(TObject* sender);
  void spdBtnSaveAllClick(TObject* sender);
  void SptBtnChkClick(TObject* sender);
  // Filters the formula table to one function (closed, filter, reopened).
  void FilterFunction(const AnsiString& name);

 private:
  void MoveRow(bool up);
  void RenumberInView();
  TUdbTable* table_;
};

// The saving flag: true while a save writes JsGsk, so the loader stays quiet.
extern bool FormulaSaving;

namespace payroll {
// The trial text of a formula: every FldDescs description (in list order)
// replaced by 0.11, CR LF pairs removed.  Wrong when it holds no comma and
// does not evaluate without a dataset.
bool FormulaTrialFails(const AnsiString& memoText);
// Every FldDescs description, in list order, replaced by its code.
AnsiString DescriptionsToCodes(const AnsiString& text);
// The order check's report over (result description, formula description,
// id) triples in view order; empty when no formula reads a later result.
struct TFormulaRowInfo {
  AnsiString ResultDesc, FormulaDesc;
  int Id = 0;
};
AnsiString FormulaOrderReport(const std::vector<TFormulaRowInfo>& rows);
// Fills the field picker's list: one item per FldDescs entry, its caption
// the description fitted to 20 bytes.
void FillFieldPicker(TComponent* picker);
}  // namespace payroll
