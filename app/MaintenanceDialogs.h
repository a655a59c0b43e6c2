// The maintenance dialogs of the "系统维护" menu, each on the TFrmPopWin base
// and editing its table in a grid over the data module's data sources:
//   TFrmYHWH   "用户维护"     operators (Userid): DBGrid3 on DsUser;
//   TFrmBMWH   "部门维护"     departments (bm): DBGridEx1 on DsBm;
//   TFrmZGQKWH "职工情况维护" employee categories (zgqk): DBGrid2 on DsZgqK.
// The refusals and questions of the deletions are in Maintenance.h.
//
// A new operator's password is the empty text, so the operator logs in
// with an empty password until it is changed on the password page.
// Departments: "增 加" appends a row (xh and rs 0) and leaves only "保 存"
// usable until the row is saved; saving posts the row and rebuilds the
// main window's department tree; closing saves and refills the main
// window's transfer targets from the rebuilt tree.
// App layer.
#pragma once

#include "app/PopWin.h"

class TDBGrid;
class TDBGridEx;
class TSpeedButton;

class TFrmYHWH : public TFrmPopWin {
  PAYROLL_CLASS(TFrmYHWH, TFrmPopWin)
 public:
  explicit TFrmYHWH(TComponent* owner);
  TDBGrid* DBGrid3 = nullptr;
  TSpeedButton *SpeedButton5 = nullptr, *SpeedButton6 = nullptr, *SpeedButton1 = nullptr;
  void SpeedButton5Click(TObject* sender);  // "增 加"
  void SpeedButton6Click(TObject* sender);  // "删 除"
  void SpeedButton1Click(TObject* sender);  // "关闭"
};

class TFrmBMWH : public TFrmPopWin {
  PAYROLL_CLASS(TFrmBMWH, TFrmPopWin)
 public:
  explicit TFrmBMWH(TComponent* owner);
  TDBGridEx* DBGridEx1 = nullptr;
  TSpeedButton *SptBtnBmWhSave = nullptr, *SptBtnBmWhApp = nullptr, *SptBtnBmWhDel = nullptr,
               *BtnClose = nullptr;
  void SptBtnBmWhAppClick(TObject* sender);   // "增 加"
  void SptBtnBmWhSaveClick(TObject* sender);  // "保 存"
  void SptBtnBmWhDelClick(TObject* sender);   // "删 除"
  void BtnCloseClick(TObject* sender);        // "关闭"
  void FormClose(TObject* sender, TCloseAction& action);
};

class TFrmZGQKWH : public TFrmPopWin {
  PAYROLL_CLASS(TFrmZGQKWH, TFrmPopWin)
 public:
  explicit TFrmZGQKWH(TComponent* owner);
  TDBGrid* DBGrid2 = nullptr;
  TSpeedButton *SpeedButton3 = nullptr, *SpeedButton4 = nullptr, *SpeedButton1 = nullptr;
  void SpeedButton3Click(TObject* sender);  // "增 加"
  void SpeedButton4Click(TObject* sender);  // "删 除"
  void SpeedButton1Click(TObject* sender);  // "关闭"
};

// The categories dialog that start-up creates.
extern TFrmZGQKWH* FrmZGQKWH;
