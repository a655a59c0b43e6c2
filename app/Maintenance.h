// Maintenance: the checks and changes behind the maintenance dialogs and
// the password page - deleting an operator, a department or an employee
// category, and changing the logged-in operator's password.
//
// A department is refused while an employee code begins with its code, a
// category while an employee carries it; both tests leave gzk filtered by
// what was tested (the operator sees the employees that block it).
// Deleting the last operator is carried out, with the warning that nobody
// can log in any more.  Filter literals are quoted.
// App layer: the dataset interface and message boxes.
#pragma once

#include "platform/core/AnsiString.h"

class TDataSet;
class TForm;

namespace payroll {
inline constexpr const char* kAskDeleteUser = "\r删除选中的用户?";
inline constexpr const char* kNoUsersLeft = "\r本系统已无用户,请至少添加一个用户\r否则系统下次将无法进入!!!";
inline constexpr const char* kDeptHasEmployees = "\r该部门中尚有职工,不能删除!";
inline constexpr const char* kAskDeleteDept = "\r删除选中的部门?";
inline constexpr const char* kCategoryInUse = "\r数据库中存在该种情况的职工,不能删除!";
inline constexpr const char* kAskDeleteCategory = "\r删除选中的情况类别?";
inline constexpr const char* kWrongOldPassword = "原密码错误！";
inline constexpr const char* kPasswordMismatch = "新密码与确认密码不一致！";
inline constexpr const char* kPasswordChanged = "密码已成功修改！";

bool DeleteUser(TDataSet* userid);
bool DeleteDepartment(TDataSet* gzk, TDataSet* bm);
bool DeleteCategory(TDataSet* gzk, TDataSet* zgqk);

enum class TPasswordOutcome { WrongOld, Mismatch, Changed };
// loginPass is the logged-in operator's password, updated on success.
// userid is opened for the change when closed, and closed again.
TPasswordOutcome ChangePassword(TDataSet* userid, const AnsiString& loginName, AnsiString& loginPass,
                                const AnsiString& oldPass, const AnsiString& newPass, const AnsiString& confirm);
inline constexpr const char* kAboutVersion = "Ver: 3.11.19";
// The maker's web page, which the about box's Label3 opens.
inline constexpr const char* kMakerWebPage = "https://velmor.example/";
// The about box's activation (version and organisation name, DwMc), its
// "关闭" button (Button1) and the web-page label (Label3), put in place once.
void InstallAboutBox(TForm* about);
}  // namespace payroll
