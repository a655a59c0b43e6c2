// TFrmLogin: the login dialog "系统登录" (form resource TFrmLogin).  The
// typed code finds the first Userid row, in table order, whose UserDm
// begins with it, ignoring case; that row's UserPass must equal the typed
// password exactly.  Retries are unlimited.  Cancelling or closing the
// dialog without a successful login terminates the application.
// App layer.
#pragma once

#include "platform/ui/Forms.h"

class TEdit;
class TBitBtn;
class TDataSet;

// "ERROR" until a login succeeds, then "OK".
extern AnsiString LoginResult;

namespace payroll {
inline constexpr const char* kUnknownUser = "输入的用户代码不存在!";
inline constexpr const char* kWrongPassword = "输入的密码不正确!";
// Moves users to the first row whose UserDm begins with code, ignoring
// case (a partial, case-insensitive Locate; an empty code: the first
// row); false when none.
bool LocateUserCode(TDataSet* users, const AnsiString& code);
}  // namespace payroll

class TFrmLogin : public TForm {
  PAYROLL_CLASS(TFrmLogin, TForm)
 public:
  explicit TFrmLogin(TComponent* owner);

  TEdit* EditUserDm = nullptr;
  TEdit* EditUserPass = nullptr;
  TBitBtn* BitBtnLogin = nullptr;
  TBitBtn* BitBtnCancel = nullptr;
  AnsiString LoginUserDm, LoginUserName, LoginUserPass;

  void FormActivate(TObject* sender);
  void BitBtnLoginClick(TObject* sender);
  void BitBtnCancelClick(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void FormKeyDown(TObject* sender, std::uint16_t& key, TShiftState shift);
  void FormKeyPress(TObject* sender, char& key);
};

extern TFrmLogin* FrmLogin;
