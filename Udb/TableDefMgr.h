// Table-definition managers: each owns one table map (system or user
// tables), creates and deletes tables in it, and keeps one opened copy of
// each definition that every dataset of the table shares (connection
// count).  TMemoryTableDefMgr serves in-memory tables, TDiskTableDefMgr the
// tables of a database file.
//
// Copies and their headers (I-D1): a manager copy whose I/O is open holds
// its table header open exactly once; closing the last connection (disk)
// closes the I/O, closes that header and frees the copy.  Memory copies keep
// their I/O (their records live in it) until the table is deleted or the
// manager cleared.
//
// Create is all or nothing: a create that fails after the table got its
// map slot removes the slot again and frees the table's pages.
//
// Errors: EUdbDatabaseError 8576-8580, 10766; damaged definitions 8451.
// Calls the table-level units and TDiskMgr.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Udb/TableDef.h"
#include "Udb/TableHeader.h"

class TDiskMgr;
class TRestructureFieldDefs;
class TRestructureIndexDefs;
class TStrings;

// What a restructure changes: the new definitions with their change
// status (MarkChanges already run) and three optional header values.
struct TRestructureRequest {
  TRestructureFieldDefs* FieldDefs = nullptr;
  TRestructureIndexDefs* IndexDefs = nullptr;
  bool SetLastAutoInc = false;
  std::uint32_t LastAutoInc = 0;
  bool SetValue1 = false;  // header offset 28
  std::uint32_t Value1 = 0;
  bool SetValue2 = false;  // header offset 32
  std::uint32_t Value2 = 0;
};

class TBaseTableDefMgr : public TObject {
 public:
  TBaseTableDefMgr() = default;
  ~TBaseTableDefMgr() override;

  // 1 for the system-table manager (ids from 1024), else 0 (ids from 1).
  int System() const { return system_; }
  void SetSystem(int system) { system_ = system; }
  int Count() const { return static_cast<int>(defs_.size()); }
  TTableDef* Items(int index) const { return defs_[static_cast<size_t>(index)].get(); }
  // List position, -1 when absent.  Names ignore case.
  int FindByTableID(int tableId) const;
  int FindByName(const AnsiString& name) const;
  // The copy's connection count; 0 when the name is not listed.
  int ConnectionCount(const AnsiString& name) const;
  void AddTableNames(TStrings* list) const;

  virtual void ResetIndexRoots(TTableDef*) {}
  virtual int CreateTableDef(const AnsiString&, TTableDef*) { return -1; }
  virtual void CloseTableDefConnection(int) {}
  virtual int OpenTableDefConnection(const AnsiString&, TTableDef*) { return 0; }
  virtual int DeleteTableDef(const AnsiString&, TTableDef*) { return 0; }
  virtual void RestructureTableDef(TTableDef*, const TRestructureRequest&) {}
  virtual void Open() {}
  virtual void Clear();

 protected:
  int IdBase() const;
  // Common parts of the two managers.
  int CreateCopy(const AnsiString& name, TTableDef* def, TTableHeaderMgr& headers, TDiskMgr* disk,
                 const char* location);
  void OpenCopy(TTableDef* copy, TTableHeaderMgr& headers, TDiskMgr* disk);
  void CloseConnection(int tableId, bool freeAtZero, TTableHeaderMgr& headers, const char* location);
  int DeleteCopy(const AnsiString& name, TTableDef* def, TTableHeaderMgr& headers, const char* location);
  void CloseAllCopies(TTableHeaderMgr* headers);

  std::vector<std::unique_ptr<TTableDef>> defs_;
  int system_ = 0;
};

class TMemoryTableDefMgr : public TBaseTableDefMgr {
 public:
  TMemoryTableDefMgr();
  ~TMemoryTableDefMgr() override;

  TTableHeaderMgr& HeaderMgr() { return *headers_; }

  int CreateTableDef(const AnsiString& name, TTableDef* def) override;
  void CloseTableDefConnection(int tableId) override;
  int OpenTableDefConnection(const AnsiString& name, TTableDef* def) override;
  int DeleteTableDef(const AnsiString& name, TTableDef* def) override;
  // 10766: memory tables are not restructured in place.
  void RestructureTableDef(TTableDef* def, const TRestructureRequest& request) override;
  // Clear, then a new empty map in a new memory interface.
  void Open() override;
  void Clear() override;

 private:
  std::unique_ptr<TMemoryIOInterface> io_;
  std::unique_ptr<TTableHeaderMgr> headers_;
};

class TDiskTableDefMgr : public TBaseTableDefMgr {
 public:
  TDiskTableDefMgr();
  ~TDiskTableDefMgr() override;

  // The map's header interface (block size 256, usage 1, table id 0, mode
  // 0, global item 32 or 28); its disk manager is the database file.
  TBaseIOInterface* HeaderIO() const { return headerIO_; }
  void SetHeaderIO(TBaseIOInterface* io) { headerIO_ = io; }
  TUdbAddr MapAddress() const { return mapAddress_; }
  void SetMapAddress(TUdbAddr address) { mapAddress_ = address; }
  TTableHeaderMgr& HeaderMgr() { return *headers_; }

  // New empty roots (one 4096-byte empty leaf per index definition).
  void ResetIndexRoots(TTableDef* def) override;
  int CreateTableDef(const AnsiString& name, TTableDef* def) override;
  void CloseTableDefConnection(int tableId) override;
  int OpenTableDefConnection(const AnsiString& name, TTableDef* def) override;
  int DeleteTableDef(const AnsiString& name, TTableDef* def) override;
  void RestructureTableDef(TTableDef* def, const TRestructureRequest& request) override;
  // Clear, then opens the map (8579 without header interface, 8576
  // without map address).
  void Open() override;
  void Clear() override;
  // After a rollback: every copy no dataset holds is dropped unwritten (a
  // table created, restructured or deleted in the rolled-back pages is
  // read afresh from the file at its next open).  Never throws.
  void DropUnconnectedCopies();
  // The copy of name when no dataset holds it (a rename leaves the stored
  // definition under another name).  Never throws.
  void DropUnconnectedCopy(const AnsiString& name);

 private:
  TDiskMgr* Disk() const;
  // Closes and forgets the copy at pos, unwritten.  Never throws.
  void DropCopy(int pos);
  void NewIndexRoots(TTableDef* def, TTableHeader* header, TBaseIOInterface& io);

  TBaseIOInterface* headerIO_ = nullptr;
  TUdbAddr mapAddress_ = 0;
  std::unique_ptr<TTableHeaderMgr> headers_;
};
