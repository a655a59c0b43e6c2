// Backup: the monthly copy of the database file and its restore.
//
// Backup: folder + "BackDB\gz" + yyyymm + ".udb", one per calendar month (a
// later backup of the month replaces the earlier).  The file is copied
// while the program stays connected, but never torn: an exclusive
// connection copies through the engine; a shared one first takes the write
// lock of every payroll table and the header lock, so no other running
// copy can change the file until the copy is complete.
//
// Restore: the chosen file replaces folder + "gz.udb", then the program
// must be started again.  It is refused while another running copy has the
// database open (an exclusive connection is tried first), and the chosen
// file is copied beside the live one before it takes its place, so a
// failed copy leaves the live database as it was.
// App layer: the engine, platform/core files, message boxes.
#pragma once

#include <functional>

#include "platform/core/AnsiString.h"
#include "platform/core/DateTime.h"

class TUdbDataBase;
class TComponent;
class TForm;

namespace payroll {
inline constexpr const char* kBackupDone = "备份完成!";
inline constexpr const char* kBackupFailed = "备份失败";
inline constexpr const char* kRestoreNoFile = "没有此文件!";
inline constexpr const char* kRestoreFailed = "数据恢复失败!";
inline constexpr const char* kRestoreDone = "数据恢复成功!";
inline constexpr const char* kRestartPlease = "请重新启动本程序...";
inline constexpr const char* kBackupFilter = "工资管理系统专用数据库文件(*.udb)|*.udb";

AnsiString BackupFileName(const AnsiString& folder, TDateTime today);
// Copies db's file to BackupFileName and tells the operator; true on success.
bool BackupDatabase(TUdbDataBase& db, const AnsiString& folder, TDateTime today);
// Asks for a backup file (the dialog service's open dialog) and restores
// it over folder + "gz.udb"; db is disconnected for it.  terminate() runs
// after the closing message when the live file was replaced; on a refusal
// db is connected again.  True when the file was replaced.
bool RestoreDatabase(TUdbDataBase& db, const AnsiString& folder, const std::function<void()>& terminate);
// Puts the buttons "数据备份", "数据恢复" and "关闭" (BtnBack, BtnRestore,
// BtnClose) on the backup dialog, once; they work on the data module's
// database in the program's folder.
void InstallBackupButtons(TForm* dialog);
}  // namespace payroll
