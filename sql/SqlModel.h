// The statement model: what the SQL grammar's actions (SqlParser.h) make of
// one statement, and what the executor binds to datasets and runs.
//
// Every list below has one shape: it owns its items; Count, Items (0-based),
// Add (a new item bound to this list, appended and returned), Clear.  Items
// know their list (Owner).  Expression texts are in the expression language
// with the markers of SqlParser.h; parsed forms (TMainExpr) are attached by
// the executor and owned by the item that holds them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/data/Params.h"
#include "sql/MainExpr.h"
#include "sql/SparseArrays.h"
#include "sql/SqlErrors.h"

class TDataSet;
class TField;
class TSqlAnalizer;

template <class T>
class TItemList {
 public:
  TItemList() = default;
  TItemList(const TItemList&) = delete;
  TItemList& operator=(const TItemList&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  T* Items(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
  T* operator[](int index) const { return Items(index); }
  T* Add() {
    items_.push_back(std::make_unique<T>(this));
    return items_.back().get();
  }
  void Clear() { items_.clear(); }
  void Delete(int index) { items_.erase(items_.begin() + index); }
  // Moves the other list's items to the end of this one.
  void TakeAll(TItemList& other) {
    for (auto& item : other.items_) {
      item->Owner = this;
      items_.push_back(std::move(item));
    }
    other.items_.clear();
  }

 protected:
  std::vector<std::unique_ptr<T>> items_;
};

// Aggregate kinds in their stored order.
enum TAggregateKind : std::uint8_t { akSum, akAvg, akStdev, akMin, akMax, akCount };

class TAggregateItem {
 public:
  explicit TAggregateItem(TItemList<TAggregateItem>* owner) : Owner(owner) {}
  TItemList<TAggregateItem>* Owner;
  AnsiString AggregateStr;  // the argument's text ("0" for COUNT(*))
  int ValueColumnIndex = -1;
  TAggregateKind Kind = akSum;
  bool IsDistinct = false;
  std::unique_ptr<TAggSparseList> Values = std::make_unique<TAggSparseList>(1000);
};

class TAggregateList : public TItemList<TAggregateItem> {
 public:
  // Copies of the other list's items, each with fresh empty values.
  void Assign(const TAggregateList& other);
};

class TColumnItem {
 public:
  explicit TColumnItem(TItemList<TColumnItem>* owner);
  ~TColumnItem();
  TItemList<TColumnItem>* Owner;
  AnsiString ColumnExpr;
  AnsiString ColumnName;
  std::unique_ptr<TMainExpr> Resolver;  // freed with the item when AutoFree
  bool AutoFree = true;
  bool Hidden = false;        // removed before the result is delivered
  bool IsAsExplicit = false;  // the name is an alias
  std::uint16_t CastType = 0;
  std::uint16_t CastLen = 0;
  TAggregateList AggregateList;
  std::vector<std::unique_ptr<TSqlAnalizer>> SubQueryList;
};

class TsqSortList;

class TColumnList : public TItemList<TColumnItem> {
 public:
  // Deletes a result row from every aggregate of every column.
  void DeleteAggregateRow(int row);
  // Puts every aggregate's rows in the order of the sort list: row i
  // (1 .. its row count) takes what the source row of sort row i held.
  // Keeps the records of the rows with keep[row - 1] != 0, renumbered in
  // order from 1, as the result set keeps its rows (TResultSet::KeepRows).
  void KeepAggregateRows(const std::vector<char>& keep);
  void SortAggregateValues(TsqSortList& sortList);
};

class TTableItem {
 public:
  explicit TTableItem(TItemList<TTableItem>* owner) : Owner(owner) {}
  TItemList<TTableItem>* Owner;
  AnsiString TableName;
  AnsiString Alias;  // the name when none is written
  bool IsQuoted = false;  // written as a string (a file name)
  TDataSet* DataSet = nullptr;
};
using TTableList = TItemList<TTableItem>;

class TOrderByItem {
 public:
  explicit TOrderByItem(TItemList<TOrderByItem>* owner) : Owner(owner) {}
  TItemList<TOrderByItem>* Owner;
  int ColIndex = -1;  // -1: the item is the expression in Alias
  AnsiString Alias;
  bool Desc = false;
};
using TOrderByList = TItemList<TOrderByItem>;

// Comparison codes of joins and WHERE candidates.
enum TRelOperator : int { roEq = 0, roGT = 1, roGE = 2, roLT = 3, roLE = 4, roNE = 5 };

class TJoinOnItem {
 public:
  explicit TJoinOnItem(TItemList<TJoinOnItem>* owner = nullptr) : Owner(owner) {}
  TItemList<TJoinOnItem>* Owner;
  std::uint8_t JoinKind = 0;  // 0 inner, 1 right inner, 2 left outer, 3 right outer, 4 full
  AnsiString JoinText;
  TDataSet* LeftDataSet = nullptr;
  TDataSet* RightDataSet = nullptr;
  std::vector<AnsiString> LeftRefTables, LeftRefFields, RightRefTables, RightRefFields;
  std::vector<int> RelOperators;  // one per comparison
  std::vector<int> AndOr;         // 0 AND, 1 OR, one per connective
  std::unique_ptr<TMainExpr> Resolver;

  // Copies kind, text and names; the code lists are appended to.
  void Assign(const TJoinOnItem& other);
  // Puts every comparison's earlier table (in FROM order) on the left.
  void NormalizeSides(const TTableList& tables);
  // Back to an empty join of kind 0.
  void Reset();
};

class TJoinOnList : public TItemList<TJoinOnItem> {
 public:
  void NormalizeSides(const TTableList& tables);
};

class TUpdateItem {
 public:
  explicit TUpdateItem(TItemList<TUpdateItem>* owner) : Owner(owner) {}
  TItemList<TUpdateItem>* Owner;
  AnsiString ColName;
  AnsiString ColExpr;
  // SET a = NULL stores a null; an expression that comes out null leaves
  // the field as it was.
  bool SetNull = false;
  std::unique_ptr<TMainExpr> Resolver;
  TField* Field = nullptr;
};
using TUpdateList = TItemList<TUpdateItem>;

// A comparison of the WHERE clause that an index might serve.
class TWhereOptimizeItem {
 public:
  explicit TWhereOptimizeItem(TItemList<TWhereOptimizeItem>* owner) : Owner(owner) {}
  TItemList<TWhereOptimizeItem>* Owner;
  TDataSet* DataSet = nullptr;
  AnsiString FieldNames;  // the left operand as rendered
  AnsiString StartValue;
  AnsiString EndValue;
  int RelOperator = roEq;  // roEq with different values: a range
  bool CanOptimize = false;
};
using TWhereOptimizeList = TItemList<TWhereOptimizeItem>;

enum TCreateAction : std::uint8_t { caAdd = 0, caDrop = 1 };

class TCreateField {
 public:
  explicit TCreateField(TItemList<TCreateField>* owner) : Owner(owner) {}
  TItemList<TCreateField>* Owner;
  AnsiString FieldName;
  int FieldType = 0;  // the type keyword's token
  int Scale = 0, Precision = 0, Size = 0, BlobType = 0;
  std::uint8_t Action = caAdd;
};

class TCreateFields : public TItemList<TCreateField> {
 public:
  TCreateField* Add(const AnsiString& name, int fieldType, int scale, int precision, int size,
                    int blobType, std::uint8_t action);
  // nullptr outside 0 .. Count - 1.
  TCreateField* Items(int index) const;
};

class TCreateTableItem {
 public:
  explicit TCreateTableItem(TItemList<TCreateTableItem>* owner) : Owner(owner) {}
  TItemList<TCreateTableItem>* Owner;
  TCreateFields Fields;
  AnsiString TableName;
  std::vector<AnsiString> PrimaryKey;
  int FieldCount() const { return Fields.Count(); }
};
using TCreateTableList = TItemList<TCreateTableItem>;

class TInsertItem {
 public:
  explicit TInsertItem(TItemList<TInsertItem>* owner) : Owner(owner) {}
  TItemList<TInsertItem>* Owner;
  AnsiString TableName;
  bool IsFullPath = false;  // the target was written as a string
  std::vector<AnsiString> FieldNames;
  std::vector<AnsiString> ExprList;
  std::vector<std::unique_ptr<TMainExpr>> ResolverList;  // nullptr entries allowed
  TDataSet* DataSet = nullptr;  // bound by planning
};
using TInsertList = TItemList<TInsertItem>;

class TUserDefinedRange {
 public:
  std::vector<AnsiString> ForFields, StartValues, EndValues;
  AnsiString UsingIndex;
  std::vector<std::unique_ptr<TMainExpr>> StartResolvers, EndResolvers;
  void ClearValues() {
    StartResolvers.clear();
    EndResolvers.clear();
  }
};

// Statement kinds.
enum TSqlStatementKind : int {
  skSelect = 0, skUpdate, skDelete, skInsert, skMerge, skCreateTable, skAlterTable,
  skCreateIndex, skDropTable, skDropIndex, skPackTable, skZapTable, skReindexTable
};

class TSqlQueryHost;
class TResultSet;
class TSqlRun;

// One statement as the grammar leaves it.  A subquery or the second half
// of a MERGE is a statement of its own.
//
// It is also the statement's executor (SqlExecute.cpp and its neighbours):
// given the query that runs it (SetSqlQuery), ExecuteOpen runs a SELECT
// into ResultSet() and ExecuteCommand runs every other statement.  The
// statement lists are consumed by one run: a query parses its text anew
// for every run.  As the scope of its expressions it names the FROM
// tables by alias or table name.
class TSqlAnalizer : public TExprScope {
 public:
  explicit TSqlAnalizer(TSqlAnalizer* parent = nullptr);
  ~TSqlAnalizer() override;
  TSqlAnalizer(const TSqlAnalizer&) = delete;
  TSqlAnalizer& operator=(const TSqlAnalizer&) = delete;

  // ---- execution -------------------------------------------------------------
  // The query whose datasets, switches and events the statement uses (its
  // subqueries and MERGE half take the same one).
  void SetSqlQuery(TSqlQueryHost* query);
  TSqlQueryHost* SqlQuery() const { return query_; }
  // SELECT (and TRANSFORM, MERGE's halves); other kinds raise 65125.
  void ExecuteOpen();
  // UPDATE, DELETE, INSERT, MERGE's kind aside; SELECT raises 65124;
  // definition statements go to the query's events.
  void ExecuteCommand();
  // MERGE: appends the second statement's rows (already executed in
  // MergeAnalizer) to this result over the columns both have.
  void MergeResults();
  // The rows of the last run; owned until taken.
  TResultSet* ResultSet() const { return resultSet_.get(); }
  std::unique_ptr<TResultSet> TakeResultSet();
  void SetResultSet(std::unique_ptr<TResultSet> resultSet);
  bool HasAggregates() const;
  bool HasDistinctAggregates() const;
  // Dataset of the first FROM table (INSERT: of the first target).
  TDataSet* MainDataSet = nullptr;
  // True when the last run was ended by OnCancelQuery.
  bool Cancelled = false;

  // TExprScope
  TDataSet* FindDataSet(const AnsiString& name) override;
  TExpressionPtr ResultSetColumn(const AnsiString& name) override;
  bool IsNullDataSet(TDataSet* dataSet) override;
  bool FindExFunction(const AnsiString& name, TExprType& resultType, int& maxWidth) override;
  bool HasFunctionSolve() override;
  bool CheckFunction(const AnsiString& name, TParameterList* params) override;
  Variant SolveFunction(const AnsiString& name, TParameterList* params) override;

  TSqlAnalizer* ParentAnalizer;
  int StatementKind = skSelect;

  TColumnList ColumnList;
  TTableList TableList;
  TJoinOnList JoinList;
  TOrderByList GroupByList;
  TOrderByList OrderByList;
  TUpdateList UpdateList;
  TInsertList InsertList;
  TCreateTableList CreateTableList;
  TCreateTableList AlterTableList;
  TWhereOptimizeList WhereOptimizeList;
  TColumnList TransformColumnList;
  TUserDefinedRange UserRange;
  TParams Params;

  AnsiString WhereText;
  bool IsDistinct = false;
  bool SelectAll = false;
  std::vector<AnsiString> TableAllFields;  // tables written as T.*
  int HavingColumn = -1;
  AnsiString IntoTableName;
  bool DefDataSetAsTable = false;  // FROM (subquery) [alias]
  AnsiString DefTableName;

  // Subqueries of conditions, in the order read, with their kinds
  // (0 ANY or plain, 1 ALL).
  std::vector<std::unique_ptr<TSqlAnalizer>> SubQueryList;
  std::vector<int> SubQueryKinds;
  // Both sides of every "=" of the conditions, as rendered.
  std::vector<AnsiString> LeftEqualities, RightEqualities;

  AnsiString PivotText;
  std::vector<AnsiString> PivotInList;
  bool IsSubqueryInSet = false;
  std::unique_ptr<TSqlAnalizer> MergeAnalizer;

  // CREATE INDEX, DROP TABLE, DROP INDEX.
  AnsiString IndexName;
  AnsiString IndexTable;
  bool IndexUnique = false;
  bool IndexDescending = false;
  std::vector<AnsiString> IndexColumnNames;

 private:
  friend class TSqlRun;
  void Execute();
  TSqlQueryHost* query_ = nullptr;
  std::unique_ptr<TResultSet> resultSet_;
  // While a run is under way: its working state (SqlExecInt.h).
  TSqlRun* run_ = nullptr;
};

// Parameters mapped to fields of the query's own dataset.
class TParamsAsFieldsItem;
class TParamsAsFields {
 public:
  TParamsAsFields() = default;
  TParamsAsFields(const TParamsAsFields&) = delete;
  TParamsAsFields& operator=(const TParamsAsFields&) = delete;
  ~TParamsAsFields();
  int Count() const { return static_cast<int>(items_.size()); }
  TParamsAsFieldsItem* Items(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
  TParamsAsFieldsItem* Add();
  // The first item named exactly so, or nullptr.
  TParamsAsFieldsItem* FindItem(const AnsiString& name) const;

 private:
  std::vector<std::unique_ptr<TParamsAsFieldsItem>> items_;
};

class TParamsAsFieldsItem {
 public:
  explicit TParamsAsFieldsItem(TParamsAsFields* owner) : owner_(owner) {}
  const AnsiString& Name() const { return name_; }
  // Raises ESqlQueryError "ParamsAsFields: duplicate name" when the list
  // already finds the name (this item's own name included).
  void SetName(const AnsiString& name);
  AnsiString Value;
  void Assign(const TParamsAsFieldsItem& other) {
    name_ = other.name_;
    Value = other.Value;
  }
  // Value + " - " + Name, or `defaultText` when both are empty.
  AnsiString DisplayName(const AnsiString& defaultText) const;

 private:
  TParamsAsFields* owner_;
  AnsiString name_;
};
