// Test support for the table cursor: a connection to a database file held
// in memory (its memory tables too), a sample "EMP" table and helpers that
// read and write fields by name.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTableCursor.h"
#include "UdbTestSupport.h"
#include "platform/data/FieldDefs.h"

// An exclusive connection (restructures need it) with both kinds of tables.
struct TCursorDb {
  TMemFileSystem fs;
  TUdbDataBase db;
  TCursorDb() {
    db.SetFileSystem(&fs);
    db.SetDataBaseName("test.udb");
    db.CreateDatabase();
    db.SetExclusive(true);
    db.SetConnected(true);
  }
  TDiskMgr& Disk() { return *db.DiskMgr(); }
  std::vector<std::uint8_t>& Bytes() { return fs.Bytes("test.udb"); }
};

struct TColumn {
  const char* name;
  TFieldType type;
  int size;
};
struct TIndexInfo {
  const char* name;
  const char* fields;
  TIndexOptions options;
};

// Creates a table of these columns and indexes (none: the hidden
// "_LogicalRecNo") and returns an open cursor on it.
std::unique_ptr<TUdbTableCursor> CreateTable(TUdbDataBase& db, const AnsiString& name, bool memory,
                                             const std::vector<TColumn>& columns,
                                             const std::vector<TIndexInfo>& indexes);
std::unique_ptr<TUdbTableCursor> OpenTable(TUdbDataBase& db, const AnsiString& name, bool memory);

// EMP: ID Integer, NAME String(20), DEPT String(10), SALARY Float, NOTE
// Memo, SEQ AutoInc; indexes "PK" (ID, primary), "ByName" (NAME;DEPT),
// "ByDept" (DEPT).
std::unique_ptr<TUdbTableCursor> CreateEmp(TUdbDataBase& db, bool memory);

// Field access by name on the cursor's RecBuf.
void SetField(TUdbDataSet& t, const char* field, const Variant& value);
Variant GetField(TUdbDataSet& t, const char* field);
std::string Str(TUdbDataSet& t, const char* field);
int Int(TUdbDataSet& t, const char* field);
void SetMemo(TUdbDataSet& t, const char* field, const std::string& text);
std::string Memo(TUdbDataSet& t, const char* field);

// Inserts an EMP row (note "" = null) and returns its address.
TUdbAddr AddEmp(TUdbDataSet& t, int id, const std::string& name, const std::string& dept, double salary = 0,
                const std::string& note = "");

// Values of one field, walking the current index (or range) forwards.
std::vector<std::string> Walk(TUdbDataSet& t, const char* field);
std::vector<std::string> WalkBack(TUdbDataSet& t, const char* field);
// Positions on the record whose key fields of the current index hold the
// given values (the rest lowest); true when found.
bool FindKey(TUdbDataSet& t, const std::vector<std::pair<const char*, Variant>>& keys, int mode = 2);
// Live records in the table's storage.
int StoredRecords(TUdbDataSet& t);
