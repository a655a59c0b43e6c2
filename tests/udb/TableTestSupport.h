// Test support for the table level: a sample table definition, a disk
// table-definition manager over an in-memory database file, and row access
// (insert, update, delete, read all) through a record manager and a blob
// interface over an opened definition.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "Udb/BlobInterface.h"
#include "Udb/DiskIOInterface.h"
#include "Udb/BlobMgr.h"
#include "Udb/InternalFields.h"
#include "Udb/RecordMgr.h"
#include "Udb/TableDefMgr.h"
#include "UdbTestSupport.h"

// Fields ID Integer, NAME String(20), NOTE Memo; indexes "PK" (ID) and
// "ByName" (NAME).  RecordSize 52: flags 14-16, ID 17, NAME 21/23, NOTE 44.
std::unique_ptr<TTableDef> MakeSampleDef(const AnsiString& name, bool memory,
                                         TEncryptionLevel level = encNone);

struct TRow {
  std::string name;
  std::string note;  // empty: the memo is null
  TUdbAddr address = 0;
  bool operator==(const TRow& o) const { return name == o.name && note == o.note; }
};

// Rows of an opened sample table, keyed by ID.
class TSampleRows {
 public:
  explicit TSampleRows(TTableDef* def);
  TUdbAddr Insert(int id, const std::string& name, const std::string& note);
  void Update(TUdbAddr address, const std::string& name, const std::string& note);
  void Delete(TUdbAddr address);
  std::map<int, TRow> ReadAll();
  TRecordMgr& Records() { return records_; }

 private:
  void SetValues(std::vector<std::uint8_t>& record, const std::string& name, const std::string& note);
  TTableDef* def_;
  TRecordMgr records_;
  TBlobInterface blobs_;
};

// A disk table-definition manager for user tables on a TMemDatabase.
struct TDiskTables {
  TMemDatabase db;
  std::unique_ptr<TDiskIOInterface> headerIO;
  std::unique_ptr<TDiskTableDefMgr> mgr;

  TDiskTables() { OpenMgr(); }
  void OpenMgr();
  // Closes everything and opens the file again (definitions must be
  // re-read by the caller).
  void Reopen();
};
