// Backup and restore of the database file.  See Backup.h.
#include "app/Backup.h"

#include <filesystem>
#include <memory>
#include <vector>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/DemoData.h"
#include "app/FrmData.h"
#include "app/PopWin.h"
#include "app/FrmMain.h"
#include "app/StartupForms.h"
#include "app/PayrollSchema.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Files.h"
#include "platform/core/FileModes.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

namespace payroll {

namespace {

void Tell(const AnsiString& text, unsigned icon = 0) { MessageBox(text, Application->Title(), MB_OK | icon); }

// The write locks of every payroll table and the header lock of a shared
// connection, released in reverse order.
class TWholeFileLock {
 public:
  explicit TWholeFileLock(TUdbDataBase& db) : db_(db) {
    for (const AnsiString& name : PayrollTableNames()) {
      auto t = std::make_unique<TUdbTable>();
      t->SetDataBase(&db);
      t->SetTableName(name);
      t->Open();  // a table that another user is writing times out here
      // The lock is asked of the connection itself, whose answer tells
      // whether another connection holds it.
      if (!db_.LockTable(t->TableDef(), kTableWriteLock))
        throw EInOutError("table " + name + " is being written by another user");
      tables_.push_back(std::move(t));
    }
    db_.LockHeader(true);
    header_ = true;
  }
  ~TWholeFileLock() {
    try {
      if (header_) db_.LockHeader(false);
    } catch (...) {
    }
    while (!tables_.empty()) {
      try {
        db_.UnlockTable(tables_.back()->TableDef());
        tables_.back()->Close();
      } catch (...) {
      }
      tables_.pop_back();
    }
  }
  TWholeFileLock(const TWholeFileLock&) = delete;
  TWholeFileLock& operator=(const TWholeFileLock&) = delete;

 private:
  TUdbDataBase& db_;
  std::vector<std::unique_ptr<TUdbTable>> tables_;
  bool header_ = false;
};

}  // namespace

AnsiString BackupFileName(const AnsiString& folder, TDateTime today) {
  return folder + "BackDB\\gz" + FormatDateTime("yyyymm", today) + ".udb";
}

bool BackupDatabase(TUdbDataBase& db, const AnsiString& folder, TDateTime today) {
  const AnsiString target = BackupFileName(folder, today);
  bool ok = false;
  try {
    if (!DirectoryExists(ExtractFileDir(target))) throw EInOutError("no backup folder");
    if (db.Connected() && db.Exclusive()) {
      db.CopyDatabase(target, true);
      ok = true;
    } else if (db.Connected()) {
      TWholeFileLock lock(db);
      ok = CopyFile(db.Directory() + db.DataBaseName(), target, false);
    } else {
      ok = CopyFile(folder + kDatabaseName, target, false);
    }
    // A copy takes its source's permissions; a backup is for owner and
    // group only, whatever the database file had.
    if (ok) FileSetMode(target, kDataFileMode);
  } catch (const std::exception&) {
    ok = false;
  }
  Tell(ok ? kBackupDone : kBackupFailed);
  return ok;
}

bool RestoreDatabase(TUdbDataBase& db, const AnsiString& folder, const std::function<void()>& terminate) {
  TFileRequest request;
  request.Filter = kBackupFilter;
  request.InitialDir = folder + "BackDb\\";
  if (!DialogService().OpenFile(request)) return false;
  const AnsiString source = request.FileName;
  if (!FileExists(source)) {
    Tell(kRestoreNoFile, MB_ICONWARNING);
    return false;
  }
  const AnsiString live = folder + "gz.udb";
  const bool wasConnected = db.Connected();
  db.SetConnected(false);
  // Another running copy holding the file keeps an exclusive connection out.
  try {
    TUdbDataBase probe;
    probe.SetDirectory(folder);
    probe.SetDataBaseName(kDatabaseName);
    probe.SetMasterKey(kMasterKey);
    probe.SetExclusive(true);
    probe.SetConnected(true);
    probe.SetConnected(false);
  } catch (const std::exception& e) {
    if (wasConnected) {
      try {
        // Disconnecting forgot the key.
        db.SetMasterKey(kMasterKey);
        db.SetConnected(true);
      } catch (const std::exception&) {
        // Left disconnected: the message below still tells the operator.
      }
    }
    Tell(AnsiString(kRestoreFailed) + e.what());
    return false;
  }
  // The copy is made beside the live file and takes its place only when
  // complete: a failed copy leaves the live database as it was.
  const AnsiString staged = live + ".restore";
  AnsiString result = kRestoreDone;
  bool replaced = false;
  try {
    DeleteFile(staged);
    if (!CopyFile(source, staged, true)) throw EInOutError("copy of " + source + " failed");
    FileSetMode(staged, kDataFileMode);
    std::error_code ec;
    std::filesystem::rename(MapPath(staged), MapPath(live), ec);  // replaces in one step
    if (ec) throw EInOutError("gz.udb could not be replaced: " + ec.message());
    replaced = true;
  } catch (const std::exception& e) {
    DeleteFile(staged);
    result = AnsiString(kRestoreFailed) + e.what();
  }
  Tell(result + "\r" + kRestartPlease);
  if (terminate) terminate();
  return replaced;
}

void InstallBackupButtons(TForm* dialog) {
  if (!dialog || dialog->FindComponent("BtnBack")) return;
  const auto place = [dialog](const char* name, const char* caption, int left, TNotifyEvent onClick) {
    auto* b = new TButton(dialog);
    b->SetName(name);
    b->SetParent(dialog);
    b->SetBounds(left, 150, 88, 28);
    b->SetCaption(caption);
    b->OnClick = std::move(onClick);
  };
  place("BtnBack", "数据备份", 94, [](TObject*) { BackupDatabase(*FrmData->UdbDataBase1, ProgramFolder(), Date()); });
  place("BtnRestore", "数据恢复", 202, [](TObject*) {
    RestoreDatabase(*FrmData->UdbDataBase1, ProgramFolder(), [] { Application->Terminate(); });
  });
  place("BtnClose", "关闭", 310, [dialog](TObject*) { dialog->Close(); });
  if (auto* popWin = dynamic_cast<TFrmPopWin*>(dialog)) popWin->RestyleControls();
}

}  // namespace payroll

void TfrmMain::N34Click(TObject*) {
  // A dialog of its own, freed when it closes (as the other maintenance
  // commands do); the one made at start-up stays untouched.
  std::unique_ptr<TFrmBackData> dialog(new TFrmBackData(nullptr));
  payroll::InstallBackupButtons(dialog.get());
  dialog->ShowModal();
}
