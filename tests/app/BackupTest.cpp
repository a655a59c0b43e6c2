// Backup and restore over a test database: the monthly file name, a
// backup made while connected (and a later one of the month replacing
// it), the missing folder, the restore refused while another connection
// holds the file, and a restore that is reopened with the backup's data.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/Backup.h"
#include "app/DemoData.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/PayrollProgram.h"
#include "app/StartupForms.h"
#include "platform/ui/StdCtrls.h"
#include "platform/core/FileModes.h"
#include "platform/core/Files.h"
#include "platform/data/Fields.h"

using namespace payroll;

namespace {

class BackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    gzk = db.OpenTable("gzk", "TblGzkIndex1");
  }
  void SetFirstName(const char* name) {
    gzk->First();
    gzk->Edit();
    gzk->FieldByName("XM")->SetAsString(name);
    gzk->Post();
  }
  // The first employee's name in a database file of folder.
  static AnsiString FirstName(const AnsiString& folder, const AnsiString& file) {
    TUdbDataBase other;
    other.SetDirectory(folder);
    other.SetDataBaseName(file);
    other.SetMasterKey(kMasterKey);
    other.SetConnected(true);
    TUdbTable t;
    t.SetDataBase(&other);
    t.SetTableName("gzk");
    t.SetIndexName("TblGzkIndex1");
    t.Open();
    const AnsiString name = t.FieldByName("XM")->AsString();
    t.Close();
    other.SetConnected(false);
    return name;
  }

  TTestPayrollDb db;
  TFakeDialogService dialogs;
  TUdbTable* gzk = nullptr;
  TDateTime december = EncodeDate(2003, 12, 15);
};

TEST_F(BackupTest, OneFilePerMonthTheLaterBackupWins) {
  EXPECT_EQ(BackupFileName("C:\\gz\\", december), "C:\\gz\\BackDB\\gz200312.udb");
  ASSERT_TRUE(ForceDirectories(db.Folder() + "BackDB"));
  SetFirstName("早");
  EXPECT_TRUE(BackupDatabase(db.DataBase(), db.Folder(), december));
  SetFirstName("晚");
  EXPECT_TRUE(BackupDatabase(db.DataBase(), db.Folder(), EncodeDate(2003, 12, 31)));
  ASSERT_EQ(dialogs.Boxes.size(), 2u);
  EXPECT_EQ(dialogs.Boxes[1].Text, kBackupDone);
  EXPECT_EQ(FirstName(db.Folder() + "BackDB/", "gz200312.udb"), "晚");
  // The live connection still works, and no table stays locked.
  SetFirstName("今");
  EXPECT_EQ(gzk->FieldByName("XM")->AsString(), "今");
}

TEST_F(BackupTest, ABackupIsForOwnerAndGroupOnlyWhateverTheDatabaseHad) {
  ASSERT_TRUE(ForceDirectories(db.Folder() + "BackDB"));
  ASSERT_EQ(FileSetMode(db.Folder() + kDatabaseName, 0644), 0);  // a file of an older version
  ASSERT_TRUE(BackupDatabase(db.DataBase(), db.Folder(), december));
  struct stat st {};
  ASSERT_EQ(::stat(MapPath(BackupFileName(db.Folder(), december)).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, kDataFileMode);
}

TEST_F(BackupTest, AMissingBackupFolderFails) {
  ASSERT_TRUE(RemoveDir(db.Folder() + "BackDB"));  // a built folder carries it
  EXPECT_FALSE(BackupDatabase(db.DataBase(), db.Folder(), december));
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, kBackupFailed);
}

TEST_F(BackupTest, RestoreRefusedWhileAnotherCopyIsConnectedThenRestored) {
  ASSERT_TRUE(ForceDirectories(db.Folder() + "BackDB"));
  SetFirstName("备份");
  ASSERT_TRUE(BackupDatabase(db.DataBase(), db.Folder(), december));
  SetFirstName("之后");
  const AnsiString backup = BackupFileName(db.Folder(), december);
  int terminated = 0;
  const auto terminate = [&] { ++terminated; };

  // Cancelled, then a file that does not exist.
  EXPECT_FALSE(RestoreDatabase(db.DataBase(), db.Folder(), terminate));
  dialogs.FileAnswers = {db.Folder() + "BackDB\\none.udb"};
  EXPECT_FALSE(RestoreDatabase(db.DataBase(), db.Folder(), terminate));
  EXPECT_EQ(dialogs.Boxes.back().Text, kRestoreNoFile);

  // Another running copy holds the database.
  {
    TUdbDataBase other;
    other.SetDirectory(db.Folder());
    other.SetDataBaseName(kDatabaseName);
    other.SetMasterKey(kMasterKey);
    other.SetConnected(true);
    dialogs.FileAnswers = {backup};
    EXPECT_FALSE(RestoreDatabase(db.DataBase(), db.Folder(), terminate));
    EXPECT_EQ(dialogs.Boxes.back().Text.substr(0, std::string(kRestoreFailed).size()), kRestoreFailed);
    EXPECT_EQ(terminated, 0);
    EXPECT_TRUE(db.DataBase().Connected());
    other.SetConnected(false);
  }
  EXPECT_EQ(FirstName(db.Folder(), kDatabaseName), "之后");

  gzk->Close();
  dialogs.FileAnswers = {backup};
  EXPECT_TRUE(RestoreDatabase(db.DataBase(), db.Folder(), terminate));
  EXPECT_EQ(dialogs.Boxes.back().Text, AnsiString(kRestoreDone) + "\r" + kRestartPlease);
  EXPECT_EQ(terminated, 1);
  EXPECT_FALSE(db.DataBase().Connected());
  // Started again: the restored data.
  EXPECT_EQ(FirstName(db.Folder(), kDatabaseName), "备份");
}

}  // namespace

namespace {

TEST_F(BackupTest, AnotherConnectionWritingKeepsTheBackupOut) {
  ASSERT_TRUE(ForceDirectories(db.Folder() + "BackDB"));
  TUdbDataBase other;
  other.SetDirectory(db.Folder());
  other.SetDataBaseName(kDatabaseName);
  other.SetMasterKey(kMasterKey);
  other.SetConnected(true);
  TUdbTable t;
  t.SetDataBase(&other);
  t.SetTableName("bm");
  t.Open();
  t.LockTable(true);
  EXPECT_FALSE(BackupDatabase(db.DataBase(), db.Folder(), december));
  EXPECT_EQ(dialogs.Boxes.back().Text, kBackupFailed);
  EXPECT_FALSE(FileExists(BackupFileName(db.Folder(), december)));
  t.LockTable(false);
  EXPECT_TRUE(BackupDatabase(db.DataBase(), db.Folder(), december));
  t.Close();
  other.SetConnected(false);
}

}  // namespace

namespace {

TEST(BackupDialog, TheBackupButtonCopiesTheDataModulesDatabase) {
  EnsureUiApp();
  TTestPayrollDb db;
  TFakeDialogService dialogs;
  const AnsiString oldDir = GetCurrentDir();
  SetCurrentDir(db.Folder());
  CreatePayrollForms();
  ASSERT_NE(FrmBackData, nullptr);
  ASSERT_TRUE(ForceDirectories(db.Folder() + "BackDB"));
  InstallBackupButtons(FrmBackData);
  InstallBackupButtons(FrmBackData);  // once only
  auto* back = dynamic_cast<TButton*>(FrmBackData->FindComponent("BtnBack"));
  ASSERT_NE(back, nullptr);
  back->Click();
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, kBackupDone);
  EXPECT_TRUE(FileExists(BackupFileName(db.Folder(), Date())));
  EXPECT_TRUE(FrmData->UdbDataBase1->Connected());
  FreeStartupForms();
  SetCurrentDir(oldDir);
}

}  // namespace
