// What a statement needs of the query that runs it.  sql/; calls
// platform/core and platform/data.
//
// TSqlQueryHost is the query's side of the executor (SqlModel.h,
// TSqlAnalizer): the source datasets with their aliases (TxDataSets), the
// user functions (TExFunctions), the tuning switches, the events through
// which conditions are pushed down to the sources and definition statements
// are carried out, and RowsAffected.  The query dataset derives from it (and
// from TDataSet); tests derive a bare host.
//
//   host.DataSets().AddDataSet(&emp, "emp");
//   TSqlAnalizer s;
//   ParseSql("SELECT dept, SUM(pay) FROM emp GROUP BY dept", s, &context);
//   s.SetSqlQuery(&host);
//   s.ExecuteOpen();                  // rows in s.ResultSet()
//
// Every event's Sender is the host's Self() (the query component).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Collections.h"
#include "platform/core/Variant.h"
#include "platform/data/Params.h"
#include "sql/Expression.h"
#include "sql/ResultSet.h"
#include "sql/SqlModel.h"

class TDataSet;

// How conditions are handed to the source datasets.
enum TOptimizeMethod : std::uint8_t { omNone, omSetFilter, omSetRange };
// OnProgress statuses: 0 start, 1 progress, 2 end.
enum TxProgressStatus : std::uint8_t { psStarting, psRunning, psEnding };

// One source dataset of a query and the alias statements name it by.
class TxDataSets;
class TxDataSetItem : public TCollectionItem {
  PAYROLL_CLASS(TxDataSetItem, TCollectionItem)
 public:
  explicit TxDataSetItem(TCollection* collection);
  void Assign(TPersistent* source) override;
  // "Name (Alias)", or "(not defined)" without a dataset.
  AnsiString DisplayName() const override;

  TDataSet* DataSet() const { return dataSet_; }
  // The owning query raises "Circular reference not allowed"; an empty
  // alias takes the dataset's Name.
  void SetDataSet(TDataSet* value);
  const AnsiString& Alias() const { return alias_; }
  // An alias any entry already has (case ignored, this one included)
  // raises ESqlQueryError "Alias already exists".
  void SetAlias(const AnsiString& value);
  // Made by the executor (a derived table, a resolved file name): the
  // query frees the dataset and removes the entry before its next run.
  bool Owned = false;

 private:
  TDataSet* dataSet_ = nullptr;
  AnsiString alias_;
};

class TxDataSets : public TOwnedCollection {
  PAYROLL_CLASS(TxDataSets, TOwnedCollection)
 public:
  // owner: the query (a dataset may not be its own source).
  explicit TxDataSets(TPersistent* owner);
  TxDataSetItem* Items(int index) const;
  TxDataSetItem* Add();
  // -1 when no entry has that alias (case ignored).
  int IndexOfAlias(const AnsiString& alias) const;
  // A new entry; an alias already present raises "Alias already exists".
  TxDataSetItem* AddDataSet(TDataSet* dataSet, const AnsiString& alias);
  // The dataset a statement's table name stands for: the entry of that
  // alias with surrounding "[" "]" removed; nullptr when none.
  TDataSet* FindDataSet(const AnsiString& tableName) const;
};

// A user function of the query's statements.
class TExFunctionItem : public TCollectionItem {
  PAYROLL_CLASS(TExFunctionItem, TCollectionItem)
 public:
  explicit TExFunctionItem(TCollection* collection) : TCollectionItem(collection) {}
  void Assign(TPersistent* source) override;  // Name and ResultType
  AnsiString DisplayName() const override;

  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& value) { name_ = value; }
  TExprType ResultType() const { return resultType_; }
  // Leaving a non-string type sets MaxWidth to 10; any type but string
  // sets it to 0.
  void SetResultType(TExprType value);
  int MaxWidth() const { return maxWidth_; }
  // Strings: at least 1; other types: 0.
  void SetMaxWidth(int value);

 private:
  AnsiString name_;
  TExprType resultType_ = ttString;
  int maxWidth_ = 10;
};

class TExFunctions : public TOwnedCollection {
  PAYROLL_CLASS(TExFunctions, TOwnedCollection)
 public:
  explicit TExFunctions(TPersistent* owner)
      : TOwnedCollection(owner, ItemClassOf<TExFunctionItem>()) {}
  TExFunctionItem* Items(int index) const;
  TExFunctionItem* Add();
};

class TSqlQueryHost {
 public:
  // self: the query component, Sender of every event and owner of the
  // collections; may be nullptr for a bare host.
  explicit TSqlQueryHost(TPersistent* self = nullptr);
  virtual ~TSqlQueryHost();
  TSqlQueryHost(const TSqlQueryHost&) = delete;
  TSqlQueryHost& operator=(const TSqlQueryHost&) = delete;

  TObject* Self() const { return self_; }
  TxDataSets& DataSets() { return *dataSets_; }
  TExFunctions& ExFunctions() { return *exFunctions_; }

  // Switches (defaults as the query publishes them).
  bool AutoDisableControls = true;
  bool UseDisplayLabel = false;
  bool InMemResultSet = true;
  bool ShowWaitCursor = true;
  bool UseAnsiSort = false;
  std::int64_t MapFileSize = kDefaultMapFileSize;
  int MaxRecords = 0;
  TOptimizeMethod JoinOptimizeMethod = omSetFilter;
  TOptimizeMethod WhereOptimizeMethod = omSetFilter;
  // Rows changed by the last UPDATE, DELETE or INSERT.
  int RowsAffected = 0;
  // While these supply an outer join's missing row, their fields read NULL.
  std::vector<TDataSet*> NullDataSets;

  // Events (Sender first).
  std::function<void(TObject*)> OnBeforeQuery, OnAfterQuery;
  std::function<void(TObject*, TxProgressStatus, int, int, int)> OnProgress;
  std::function<void(TObject*, bool&)> OnCancelQuery;
  std::function<void(TObject*, const AnsiString& fileName, AnsiString& tableName, TDataSet*&)>
      OnResolveDataset;
  std::function<void(TObject*, TDataSet*, const AnsiString& fieldNames, bool activateIndex,
                     bool isJoining, bool& accept)>
      OnIndexNeededFor;
  std::function<void(TObject*, int relOperator, TDataSet*, const AnsiString& fieldNames,
                     const AnsiString& startValues, const AnsiString& endValues, bool isJoining)>
      OnSetRange;
  std::function<void(TObject*, TDataSet*, bool isJoining)> OnCancelRange;
  std::function<void(TObject*, TDataSet*, const AnsiString& filter, bool isJoining,
                     bool& handled)>
      OnSetFilter;
  std::function<void(TObject*, TDataSet*, bool isJoining)> OnCancelFilter;
  // Told before the scan that the main table may be walked in any order
  // (anyOrder true: the result cannot show the order of its rows, as with
  // aggregates over the whole table or by groups) and after it (false), so
  // the host may walk its table in the cheapest order meanwhile.
  std::function<void(TObject*, TDataSet*, bool anyOrder)> OnScanInAnyOrder;
  // Asked before an UPDATE whose rows may be changed in any order (one
  // table, no join or subquery, no cancel handler, no blob set, no change
  // that moves a row in the walk's order): true when the host now walks
  // the table in an order of its own; it is told false after the scan.
  std::function<bool(TObject*, TDataSet*, bool anyOrder)> OnChangeInAnyOrder;
  std::function<void(TObject*, TDataSet*, const AnsiString& usingIndex,
                     const std::vector<AnsiString>& forFields,
                     const std::vector<AnsiString>& startValues,
                     const std::vector<AnsiString>& endValues)>
      OnSetUserRange;
  std::function<void(TObject*, TDataSet*)> OnCancelUserRange;
  // Asked before an UPDATE walks its table: true when changing these fields
  // of a row leaves it where it is in the walk's order and among the rows
  // the walk shows (no key of the walk's order among them, no filter).  The
  // walk then changes each row as it passes it; unset or false, it marks
  // every row first and visits the marks.
  std::function<bool(TObject*, TDataSet*, const std::vector<TField*>& changed)> OnChangeKeepsOrder;
  std::function<void(TObject*, TCreateTableItem*)> OnCreateTable, OnAlterTable;
  std::function<void(TObject*, bool unique, bool descending, const AnsiString& tableName,
                     const AnsiString& indexName, const std::vector<AnsiString>& columns)>
      OnCreateIndex;
  std::function<void(TObject*, const AnsiString& tableName)> OnDropTable;
  std::function<void(TObject*, const AnsiString& tableName, const AnsiString& indexName)>
      OnDropIndex;
  std::function<void(TObject*, const AnsiString& identifier, TParameterList*, bool& accept)>
      OnFunctionCheck;
  std::function<void(TObject*, const AnsiString& identifier, TParameterList*, Variant& value)>
      OnFunctionSolve;

  // Called with the statement's tables before they are bound.
  virtual void BeforePlanTables(TTableList& tables) {}
  // PACK, ZAP and REINDEX TABLE: nothing here; the engine's query does them.
  virtual void PackTable(TTableList& tables) {}
  virtual void ZapTable(TTableList& tables) {}
  virtual void ReindexTable(TTableList& tables) {}
  // Removes each "DummyDate(" with the next ")" after it (keeping what
  // stands between) and writes "DummyBoolean(True|False)" as True|False.
  virtual void CleanFilterText(AnsiString& text);
  // A second cursor over the rows of `source`, for a table named twice in
  // one FROM list (a self-join): each FROM item reads through a cursor of
  // its own.  The host owns it until the statement's host frees its
  // temporary datasets.  nullptr: the source cannot give one.
  virtual TDataSet* CreateCursorCopy(TDataSet* source) { return nullptr; }
  // A dataset over a finished result (FROM (SELECT ...) alias), owned by
  // the host like the cursor copies; nullptr: not supported.
  virtual TDataSet* CreateResultDataSet(std::unique_ptr<TResultSet> result,
                                        const AnsiString& name) {
    return nullptr;
  }
  // Marks the screen busy while a statement runs (ShowWaitCursor); the
  // visual layer installs them, the query engine itself shows nothing.
  virtual void BeginWaitCursor() {}
  virtual void EndWaitCursor() {}

 private:
  TObject* self_;
  std::unique_ptr<TxDataSets> dataSets_;
  std::unique_ptr<TExFunctions> exFunctions_;
};

// The blob of result row recNo, column `column` (0-based), read from its
// source row: a result keeps no blob data.  Only a column of the main table
// (column flag 0) is positioned by the row's source bookmark, which is a
// bookmark of that table; a column of any other table asks blobNeeded (the
// query's OnBlobNeeded) whether its dataset's current record is the one.
// Nothing is written for a row before the first, a column without a blob
// source or a source that cannot be positioned.  The stream is left at
// position 0.
class TStream;
void ReadResultBlob(TResultSet& result, int recNo, int column, TStream& into,
                    const std::function<void(TDataSet*, bool& accept)>& blobNeeded);
