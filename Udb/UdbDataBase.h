// TUdbDataBase: the connection to one database, either a database file
// (Directory + DataBaseName) or the in-memory database "MEMORY".  It
// creates database files, reads and checks their 254-byte database header,
// opens the catalogue kept in the file's own master tables, hands out
// generator values, runs transactions and serves the table datasets
// (TUdbTableServices) with definitions and locks.
//
// Use:  TUdbDataBase db;
//       db.SetDataBaseName("C:\\data\\GZ.udb");   // or "MEMORY"
//       db.SetMasterKey(key);                    // before every connect
//       db.CreateDatabase();                     // once, for a new file
//       db.SetConnected(true);
//
// Catalogue: each disk table's definition (TTableDef) is stored as its
// component text in a record of "$MSTRTBLUSER" (user tables) or
// "$MSTRTBLSYSTEM" (tables whose name begins with "$"), keyed by the name.
// User tables are numbered in "$SYSTBL_OBJECTIDREF" from the generator
// "$INTGEN_OBJID" of "$SYSTBL_INTGENERATOR".
//
// Login: when a file is enciphered without a master key, or secured, the
// credentials come from BeforeLogin, else from the login dialog installed
// with SetUdbLoginDialog (the visual layer provides it; the engine never
// shows a window itself).  Without either, connecting fails with 10015.
//
// Errors: EUdbDatabaseError.  Calls TDiskMgr, the table-definition
// managers and the table cursor; Udb and platform/core types only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Udb/DiskIOInterface.h"
#include "Udb/DiskMgr.h"
#include "Udb/Privileges.h"
#include "Udb/TableDefMgr.h"
#include "Udb/UdbTableServices.h"
#include "platform/core/Component.h"
#include "platform/core/DateTime.h"

class TStrings;
class TUdbFileSystem;
class TSecurityManager;
class TUdbTableCursor;

namespace udbdb {

constexpr int kHeaderSize = 254;
constexpr int kHdrMagic = 0;           // WORD 1
constexpr int kHdrName = 2;            // 30 UTF-16 characters
constexpr int kHdrOS = 64;             // 30 UTF-16 characters
constexpr int kHdrCreated = 126;       // TDateTime double
constexpr int kHdrUser = 134;          // 30 UTF-16 characters
constexpr int kHdrReserved = 196;      // DWORD 0
constexpr int kHdrSortOrder = 200;     // DWORD, low byte is the TSortOrder
constexpr int kHdrVersion = 204;       // 20 UTF-16 characters
constexpr int kHdrSecurityLevel = 246; // DWORD 0 plain, 1 enciphered, 2 secured
constexpr int kHdrChecksum = 250;      // DWORD CRC-32, see HeaderChecksum
constexpr int kNameChars = 30;
constexpr int kVersionChars = 20;
static_assert(kHdrChecksum + 4 == kHeaderSize);
static_assert(kHdrVersion + 2 * kVersionChars + 2 == kHdrSecurityLevel);
static_assert(kHdrUser + 2 * kNameChars + 2 == kHdrReserved);

using THeader = std::array<std::uint8_t, kHeaderSize>;

inline constexpr const char* kEngineVersion = "1.30.02";
inline constexpr const char* kMemoryName = "MEMORY";
inline constexpr const char* kUserMaster = "$MSTRTBLUSER";
inline constexpr const char* kSystemMaster = "$MSTRTBLSYSTEM";
inline constexpr const char* kObjectIdTable = "$SYSTBL_OBJECTIDREF";
inline constexpr const char* kGeneratorTable = "$SYSTBL_INTGENERATOR";
inline constexpr const char* kObjectIdGenerator = "$INTGEN_OBJID";
constexpr int kUserMasterId = 1024;
constexpr int kSystemMasterId = 1025;
constexpr int kMaxTableName = 40;
constexpr int kMinMasterKey = 4;
constexpr int kMaxMasterKey = 100;

// CRC-32 over the bytes 0..255 followed by the header with its checksum
// field taken as 0.
std::uint32_t HeaderChecksum(const THeader& header);
// A header with the defaults, version text and checksum 0.
THeader DefaultHeader(const AnsiString& databaseName);
void PutText(THeader& header, int offset, int chars, const AnsiString& text);
AnsiString GetText(const THeader& header, int offset, int chars);
// "1.30.02" -> {1, 30, 2}; a part that is not a number gives 0.
std::array<int, 3> ParseVersion(const AnsiString& text);

}  // namespace udbdb

// Shows the login dialog for databaseName in mode 1 (master key), 2
// (user name and password) or 3 (all three); false when cancelled.
using TUdbLoginDialog = std::function<bool(const AnsiString& databaseName, int mode, AnsiString& masterKey,
                                           AnsiString& userName, AnsiString& password)>;
void SetUdbLoginDialog(TUdbLoginDialog dialog);
const TUdbLoginDialog& UdbLoginDialog();

class TUdbDataBase : public TComponent, public TUdbTableServices {
 public:
  explicit TUdbDataBase(TComponent* owner = nullptr);
  ~TUdbDataBase() override;
  TUdbDataBase(const TUdbDataBase&) = delete;
  TUdbDataBase& operator=(const TUdbDataBase&) = delete;

  // --- properties (the setters marked "disconnected" raise 10120 while connected) ---
  // Disconnected; a directory part of the value goes to Directory.
  void SetDataBaseName(const AnsiString& name);
  // Disconnected; stored with a trailing backslash.
  void SetDirectory(const AnsiString& dir);
  void SetExclusive(bool v);
  void SetReadOnly(bool v);
  void SetDefaultSortOrder(TSortOrder v);
  AnsiString Version() const { return udbdb::kEngineVersion; }
  int LockRetryMaximum() const { return retryMaximum_; }
  void SetLockRetryMaximum(int n);
  int LockRetryInterval() const { return retryInterval_; }
  void SetLockRetryInterval(int ms);
  // How far a commit is flushed to the disk (UdbJournal.h): fpFull by
  // default, so a commit that returned survives a power cut; fpNormal may
  // lose the last commit to a power cut, fpNone may corrupt the file then.
  // Commits are journalled whatever the policy.
  TUdbFlushPolicy FlushPolicy() const { return flushPolicy_; }
  void SetFlushPolicy(TUdbFlushPolicy policy);
  // Disconnected; empty or 4 to 100 characters (9602).  Cleared on disconnect.
  void SetMasterKey(const AnsiString& key);
  const AnsiString& MasterKey() const { return masterKey_; }
  void SetInQuery(bool v) { inQuery_ = v; }
  // What CreateDatabase makes: enciphered (level 1) and secured (level 2).
  void SetEncrypted(bool v);
  void SetSecured(bool v);
  bool Encrypted() const override { return encrypted_; }
  bool Secured() const { return secured_; }
  int MajorVersion() const { return version_[0]; }
  int MinorVersion() const { return version_[1]; }
  int DiskFormat() const { return version_[2]; }
  int SystemRights() const { return systemRights_; }
  // The logged-on user's privileges (secured databases) and the manager.
  TPrivileges& Privileges() { return privileges_; }
  TSecurityManager& SecurityManager() { return *security_; }
  const udbdb::THeader& Header() const { return header_; }
  // The file system of the database files (tests use an in-memory one).
  void SetFileSystem(TUdbFileSystem* fs) { fs_ = fs; }

  void SetConnected(bool v);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }

  std::function<void(TObject* sender, AnsiString& userName, AnsiString& password, AnsiString& masterKey)>
      BeforeLogin;
  std::function<void(TObject*)> BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;
  std::function<void(int percentDone, bool& cancel)> OnUpdateProgress;

  void CheckConnected(bool allowMemory) const;
  void CheckNotConnected() const;
  void CheckExclusive() const;
  void CheckMinorVersion(int required) const;

  // --- catalogue ---
  void GetTableNames(TStrings* list, bool memoryTables);
  void GetTableDef(const AnsiString& name, bool memory, TTableDef* def);
  // Stores def under its (possibly new) name; oldName names the stored one.
  void RenameTable(const AnsiString& oldName, const AnsiString& newName);
  void DeleteTable(const AnsiString& name, bool memory);
  // Creates Directory + DataBaseName with the master and system tables.
  void CreateDatabase();
  // Next value of a generator (a new one gives 1, then 2, ...).
  int InternalGetGenerator(const AnsiString& name, bool createIfMissing);
  // The object id of a user table (0 for "ALL" and unknown names).
  int ObjectId(const AnsiString& tableName);

  // --- TUdbTableServices ---
  bool Connected() const override { return connected_; }
  bool ReadOnly() const override { return readOnly_; }
  bool Exclusive() const override { return exclusive_; }
  TSortOrder DefaultSortOrder() const override { return sortOrder_; }
  bool InQuery() const override { return inQuery_; }
  AnsiString Directory() const override { return directory_; }
  AnsiString DataBaseName() const override { return name_; }
  TDiskMgr* DiskMgr() const override { return disk_.get(); }
  void RegisterClient(TUdbDataSet* dataSet) override;
  void UnRegisterClient(TUdbDataSet* dataSet) override;
  // The datasets opened on this connection, in the order they registered.
  const std::vector<TUdbDataSet*>& Clients() const { return clients_; }
  void OpenTableDef(const AnsiString& name, TTableDef* def) override;
  void CloseTableDef(TTableDef* def) override;
  void CreateTable(TTableDef* def) override;
  void StoreTableDef(TTableDef* def, int change) override;
  void CopyDatabase(const AnsiString& targetFile, bool overwrite) override;
  int RebuildTable(const AnsiString& tableName, const AnsiString& sourceFile, TUdbDataSet* target) override;
  // On a secured database: 10624 unless the logged-on group holds the
  // access bit on the table (or, without any entry for it, on "ALL").
  void QueryPrivilege(const AnsiString& objectName, int accessBit) override;
  bool LockTable(const TTableDef& def, int kind) override;
  void UnlockTable(const TTableDef& def) override;
  bool TableLockHeld(const TTableDef& def) const override;
  bool LockRecord(const TTableDef& def, TUdbAddr address) override;
  void UnlockRecord(const TTableDef& def, TUdbAddr address) override;
  void LockHeader(bool lock) override;
  bool HeaderLocked() const override { return headerLocked_; }
  bool InTransaction() const override;
  void StartTransaction() override;
  void Commit() override;
  // Cancels pending edits of the open datasets, discards the transaction's
  // page writes and shows every open dataset the restored data.
  void Rollback() override;
  void RollbackChange() override;

 private:
  // After a rollback: the managers' unconnected copies go (a table created
  // or restructured inside the transaction would otherwise stay listed as
  // it was), and the open datasets read their headers and roots afresh.
  void ForgetRolledBackState();
  bool IsMemory() const;
  AnsiString FileName() const { return directory_ + name_; }
  TUdbFileSystem& Fs() const;
  void DoConnect();
  void DoDisconnect();
  void CreateDiskInterfaces();
  void OpenDiskConnections();
  void CloseDiskConnections();
  void ReadHeader();
  void WriteHeader();
  void Login();
  void OpenSystemTables();
  void CloseSystemTables();
  void CreateMasterTables();
  void CreateSystemTables();
  void SetMasterTableDef(TTableDef* def, const AnsiString& name, int tableId) const;
  std::unique_ptr<TUdbTableCursor> OpenInternal(const AnsiString& name);
  TUdbTableCursor* MasterFor(const AnsiString& name) const;
  TDiskTableDefMgr& ManagerFor(const AnsiString& name) const;
  bool FindByName(TUdbTableCursor& t, const char* field, const AnsiString& name, const AnsiString& index);
  void InternalCreateTable(TTableDef* def);
  void InternalUpdateTableDef(const AnsiString& oldName, TTableDef* def, bool creating);
  // StoreTableDef inside its catalogue change.
  void InternalStoreTableDef(TTableDef* def, int change);
  void InternalGetTableDef(const AnsiString& name, TTableDef* def);
  void SetObjectId(const AnsiString& oldName, const AnsiString& newName, int newId);
  void CreateSecurityTables();
  void LogonSecured();
  void InternalSetTablePrivileges(TTableDef* def, bool full);
  void InternalCheckCanOpenDataObject(const AnsiString& name);
  // User tables of a secured database, whose privilege rows decide.
  bool Guarded(const AnsiString& name) const;
  // System tables ("$..." names: the catalogue, object ids, generators,
  // users, groups and privilege rows) of a secured database are reached
  // only by the connection's own cursors (opened under TEngineAccess) and
  // by a member of the group "administrators"; anyone else gets 10624,
  // whatever the path (open, create, rename, delete, restructure).
  void CheckSystemTableAccess(const AnsiString& name, const char* location) const;
  // Marks the connection's own work on its system tables for its lifetime.
  class TEngineAccess;

  // settings
  AnsiString name_, directory_, masterKey_;
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool inQuery_ = false;
  bool encrypted_ = false;
  bool secured_ = false;
  TSortOrder sortOrder_ = soANSI;
  int retryMaximum_ = 10;
  TUdbFlushPolicy flushPolicy_ = fpFull;
  int retryInterval_ = 200;
  TUdbFileSystem* fs_ = nullptr;

  // state
  bool connected_ = false;
  bool headerLocked_ = false;
  int engineAccess_ = 0;  // > 0 while the connection works on its own tables
  std::array<int, 3> version_{};
  int systemRights_ = 0;
  udbdb::THeader header_{};
  std::vector<TUdbDataSet*> clients_;
  AnsiString loginUser_, loginPassword_;
  TPrivileges privileges_;
  std::unique_ptr<TSecurityManager> security_;

  std::unique_ptr<TMemoryTableDefMgr> memMgr_;
  std::unique_ptr<TDiskMgr> disk_;
  std::unique_ptr<TDiskIOInterface> systemHdrIO_, tableHdrIO_;
  std::unique_ptr<TDiskTableDefMgr> systemMgr_, userMgr_;
  std::unique_ptr<TUdbTableCursor> userMaster_, systemMaster_, objectIds_, generators_;
  std::unique_ptr<TUdbTableCursor> secGroups_, secUsers_, secObjPrivs_, secSysPrivs_;
};
