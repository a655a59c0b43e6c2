// TUdbLocalConnection: a small connection for table datasets without the
// connection component: the in-memory database, and optionally one open
// database file (its user tables).  It keeps the table definitions it
// created in memory, takes the disk manager's table and record locks and
// runs its transactions.  Tools, tests and benchmarks use it.
//
// Use:  TUdbLocalConnection db;                 // memory tables only
//       db.AttachDisk(&disk);                    // + the tables of a file
//       TUdbDataSet* t = ...; t->SetDataBase(&db);
// Calls the table-definition managers and TDiskMgr.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "Udb/DiskIOInterface.h"
#include "Udb/TableDefMgr.h"
#include "Udb/UdbTableServices.h"

class TUdbFileSystem;

class TUdbLocalConnection : public TUdbTableServices {
 public:
  TUdbLocalConnection();
  ~TUdbLocalConnection() override;
  TUdbLocalConnection(const TUdbLocalConnection&) = delete;
  TUdbLocalConnection& operator=(const TUdbLocalConnection&) = delete;

  // The database file's user tables (the disk manager is the caller's and
  // must be open); fileName names it for copies and rebuilds.
  void AttachDisk(TDiskMgr* disk, TUdbFileSystem* fs = nullptr);
  void SetReadOnly(bool v) { readOnly_ = v; }
  void SetExclusive(bool v) { exclusive_ = v; }
  void SetDefaultSortOrder(TSortOrder v) { sortOrder_ = v; }
  void SetInQuery(bool v) { inQuery_ = v; }
  int ClientCount() const { return static_cast<int>(clients_.size()); }
  // The stored definition of a table (null when none).
  TTableDef* StoredDef(const AnsiString& name) const;

  bool Connected() const override { return true; }
  bool ReadOnly() const override { return readOnly_; }
  bool Exclusive() const override { return exclusive_; }
  TSortOrder DefaultSortOrder() const override { return sortOrder_; }
  bool InQuery() const override { return inQuery_; }
  AnsiString Directory() const override;
  AnsiString DataBaseName() const override;
  TDiskMgr* DiskMgr() const override { return disk_; }
  void RegisterClient(TUdbDataSet* dataSet) override;
  void UnRegisterClient(TUdbDataSet* dataSet) override;
  void OpenTableDef(const AnsiString& name, TTableDef* def) override;
  void CloseTableDef(TTableDef* def) override;
  void CreateTable(TTableDef* def) override;
  void StoreTableDef(TTableDef* def, int change) override;
  void CopyDatabase(const AnsiString& targetFile, bool overwrite) override;
  int RebuildTable(const AnsiString& tableName, const AnsiString& sourceFile, TUdbDataSet* target) override;
  void QueryPrivilege(const AnsiString&, int) override {}
  bool LockTable(const TTableDef& def, int kind) override;
  void UnlockTable(const TTableDef& def) override;
  bool LockRecord(const TTableDef& def, TUdbAddr address) override;
  void UnlockRecord(const TTableDef& def, TUdbAddr address) override;
  void LockHeader(bool lock) override;
  bool HeaderLocked() const override { return headerLocked_; }
  // Its file takes enciphered tables (the tools set the key on the disk
  // manager); the memory tables do not.
  bool Encrypted() const override { return disk_ != nullptr; }
  bool InTransaction() const override;
  void StartTransaction() override;
  void Commit() override;
  void Rollback() override;
  void RollbackChange() override;

 private:
  TBaseTableDefMgr& MgrFor(bool memory) const;

  std::unique_ptr<TMemoryTableDefMgr> memMgr_;
  TDiskMgr* disk_ = nullptr;
  TUdbFileSystem* fs_ = nullptr;
  std::unique_ptr<TDiskIOInterface> headerIO_;
  std::unique_ptr<TDiskTableDefMgr> diskMgr_;
  void KeepPreviousDef(const AnsiString& name);

  std::map<AnsiString, std::unique_ptr<TTableDef>> diskDefs_;  // upper-case names
  std::map<AnsiString, std::unique_ptr<TTableDef>> prevDefs_;  // before the last rebuild
  std::vector<TUdbDataSet*> clients_;
  bool readOnly_ = false;
  bool exclusive_ = true;
  bool inQuery_ = false;
  bool headerLocked_ = false;
  TSortOrder sortOrder_ = soANSI;
};
