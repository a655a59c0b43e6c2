// TUdbTableServices: what an engine table dataset (TUdbDataSet) needs of
// the connection that owns its database: table definitions, table and
// record locks, the header lock, transactions, the database's settings and
// the catalogue operations behind the table operations (create, store,
// copy, rebuild).  The connection component (UdbDataBase.h) implements it.
//
// Lock calls answer false and do nothing for memory tables.  Every
// failure is an EUdbDatabaseError.  Calls nothing; Udb types only.
#pragma once

#include <cstdint>

#include "Udb/DatabaseFileFormat.h"
#include "Udb/KeyFields.h"
#include "platform/core/AnsiString.h"

class TDiskMgr;
class TObject;
class TTableDef;
class TUdbDataSet;

// What StoreTableDef changes besides the definition.
enum : int { kStoreDefinition = 0, kStoreNewIndexes = 1, kStoreRebuild = 2 };

// Table lock kinds.
enum : int { kTableReadLock = 1, kTableWriteLock = 4 };

class TUdbTableServices {
 public:
  virtual ~TUdbTableServices() = default;

  // --- settings of the database ---
  virtual bool Connected() const = 0;
  virtual bool ReadOnly() const = 0;
  virtual bool Exclusive() const = 0;
  virtual TSortOrder DefaultSortOrder() const = 0;
  // True while the query engine runs a statement over this connection.
  virtual bool InQuery() const = 0;
  // The database file is enciphered: only then may a table ask for an
  // encryption level.
  virtual bool Encrypted() const = 0;
  // Directory of the database file, with its trailing separator ("" for
  // the in-memory database); the file's name without directory.
  virtual AnsiString Directory() const = 0;
  virtual AnsiString DataBaseName() const = 0;
  // The disk manager of the database file; null for the in-memory one.
  virtual TDiskMgr* DiskMgr() const = 0;

  // --- clients ---
  virtual void RegisterClient(TUdbDataSet* dataSet) = 0;
  virtual void UnRegisterClient(TUdbDataSet* dataSet) = 0;

  // --- definitions ---
  // Loads the stored definition of name into def (def->Memory() chooses
  // the memory or the disk tables) and opens its storage; 10024 when the
  // table does not exist.
  virtual void OpenTableDef(const AnsiString& name, TTableDef* def) = 0;
  virtual void CloseTableDef(TTableDef* def) = 0;
  // Creates the table def describes (name, fields, indexes) with empty
  // storage; def receives its table id.
  virtual void CreateTable(TTableDef* def) = 0;
  // Replaces the stored definition of an existing table (def keeps the
  // table's id).  kStoreNewIndexes: the indexes start empty (a re-index
  // follows); kStoreRebuild: the records too (a copy follows).
  virtual void StoreTableDef(TTableDef* def, int change) = 0;
  // Copies the open database file (a restructure's backup).
  virtual void CopyDatabase(const AnsiString& targetFile, bool overwrite) = 0;
  // Copies every record of tableName in the database file sourceFile into
  // target (an open dataset of this connection); the records that failed.
  virtual int RebuildTable(const AnsiString& tableName, const AnsiString& sourceFile, TUdbDataSet* target) = 0;
  // Asks the security manager for a privilege on an object; only a missing
  // object raises.
  virtual void QueryPrivilege(const AnsiString& objectName, int privilege) = 0;

  // --- locks ---
  virtual bool LockTable(const TTableDef& def, int kind) = 0;
  virtual void UnlockTable(const TTableDef& def) = 0;
  // This connection already holds a lock on the table between processes,
  // so no other connection has written it since that lock was taken.
  virtual bool TableLockHeld(const TTableDef& def) const = 0;
  virtual bool LockRecord(const TTableDef& def, TUdbAddr address) = 0;
  virtual void UnlockRecord(const TTableDef& def, TUdbAddr address) = 0;
  // The database header's write lock; nested requests share one lock.
  virtual void LockHeader(bool lock) = 0;
  virtual bool HeaderLocked() const = 0;

  // --- transactions (database file only) ---
  virtual bool InTransaction() const = 0;
  virtual void StartTransaction() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  // Discards the page transaction of a change that failed (a catalogue
  // change of its own): the pages are dropped and every cached view of
  // the catalogue and of open tables is read afresh; pending edits of the
  // open datasets stay.  Never throws.
  virtual void RollbackChange() = 0;
};

// A change of the catalogue (creating, restructuring, renaming, emptying
// or deleting a table, creating or dropping an index) is all or nothing,
// and a crash in the middle leaves the file as before or as after: outside
// a transaction it runs in a page transaction of its own, journalled at
// its commit (Done); a failure before Done rolls it back.  Inside the
// caller's transaction it is part of that one.  Memory tables and the
// in-memory database have no page transaction.
//
// Use:  TCatalogueChange change(db, def->Memory());
//       { THeaderScope header(db); ...every write of the change... }
//       change.Done();   // after the header lock is given back, so the
//                        // global header goes into the transaction
class TCatalogueChange {
 public:
  TCatalogueChange(TUdbTableServices& db, bool memory) : db_(db) {
    if (memory || db.DiskMgr() == nullptr || db.InTransaction()) return;
    db.StartTransaction();
    own_ = true;
  }
  ~TCatalogueChange() {
    if (own_) db_.RollbackChange();
  }
  TCatalogueChange(const TCatalogueChange&) = delete;
  TCatalogueChange& operator=(const TCatalogueChange&) = delete;

  void Done() {
    if (!own_) return;
    own_ = false;
    try {
      db_.Commit();
    } catch (...) {
      db_.RollbackChange();
      throw;
    }
  }

 private:
  TUdbTableServices& db_;
  bool own_ = false;
};
