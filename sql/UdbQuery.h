// TUdbQuery: SQL over the database engine, as the dataset the application
// places on its forms.  sql/; calls Udb/ and platform/data.
//
// It does no SQL work itself.  An inner TSqlQuery parses and runs the
// statement over TUdbTable components that this query opens on its
// DataBase, one per table the statement names.  Around it:
//
//   - every table name of the statement (subqueries at any depth
//     included) is checked against the database before anything runs
//     (10024 "No such table" with the name as written);
//   - a SELECT result is copied into an in-memory engine table named
//     <Name>$<n> ("QUERY$<n>" for an unnamed component), which this query
//     then opens as an ordinary, read-only engine table;
//   - UPDATE, DELETE and INSERT run inside a transaction the query starts
//     and ends itself, unless the caller already holds one: all or nothing;
//   - CREATE TABLE, CREATE INDEX, DROP TABLE and DROP INDEX switch the
//     connection to exclusive use for the statement; the connection's other
//     datasets that were open are opened again afterwards;
//   - WHERE conditions are pushed to the source tables as engine filters
//     (ConvertSQLLike rewrites the grammar's SQLLIKE calls), and the query
//     engine still evaluates WHERE on the filtered rows.
//
//   TUdbQuery q;
//   q.SetDataBase(&db);
//   q.SQL()->SetText("select zgbh as 职工编号, xm from gzk where bm like '01%'");
//   q.Open();
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "Udb/UdbBaseTable.h"
#include "platform/core/Strings.h"
#include "sql/SqlQuery.h"

class TUdbDataBase;
class TUdbTable;
class TRestructureIndexDefs;

class TUdbQuery : public TUdbBaseTable {
  PAYROLL_CLASS(TUdbQuery, TUdbBaseTable)
 public:
  explicit TUdbQuery(TComponent* owner = nullptr);
  ~TUdbQuery() override;

  TStrings* SQL() const { return sql_.get(); }
  // Assigns when the text differs at all (case included).
  void SetSQL(TStrings* value);
  TParams* Params() const { return inner_->Params(); }
  bool ParamCheck() const { return inner_->ParamCheck(); }
  void SetParamCheck(bool v) { inner_->SetParamCheck(v); }
  int MaxRecords() const { return inner_->MaxRecords; }
  void SetMaxRecords(int v) { inner_->MaxRecords = v; }
  TDataSource* DataSource() const { return inner_->DataSource(); }
  void SetDataSource(TDataSource* value) { inner_->SetDataSource(value); }
  TDataSource* GetDataSource() override { return inner_->DataSource(); }
  // Rows changed by the last UPDATE, DELETE or INSERT.
  int RowsAffected() const { return inner_->RowsAffected; }
  TSqlQuery* InnerQuery() const { return inner_.get(); }
  int StatementKind() const { return statementKind_; }
  bool Prepared() const { return prepared_; }

  // Runs a statement that returns no rows.
  void ExecSQL();
  void Prepare();

  // The filter text a pushed-down condition becomes for the engine; ""
  // when it is not pushed down.
  static AnsiString ConvertSQLLike(const AnsiString& filter);
  // Doubles an apostrophe that follows a single letter inside a quoted
  // literal (O'Brien).
  static AnsiString FixFilterQuotes(const AnsiString& text);

  void InternalOpen() override;
  void InternalClose() override;

 protected:
  bool GetCanModify() override { return false; }
  void InternalRefresh() override;

 private:
  friend class TUdbInnerQuery;
  // A second cursor on an opened table, for a table named twice in FROM.
  TDataSet* OpenCursorCopy(TDataSet* source);
  TUdbDataBase* Db(const char* location) const;
  void SQLChanged();
  void InternalPrepare();
  void OpenTables(const AnsiString& name);
  void FreeTables();
  void InternalConnect();
  void InternalDisconnect();
  void RunInner(bool open);
  void MaterializeResult();
  void CopyResultRows(TDataSet* source, TUdbTable* target);

  void DoResolveDataset(const AnsiString& fileName, TDataSet*& dataSet);
  void DoSetFilter(TDataSet* dataSet, const AnsiString& filter, bool& handled);
  void ExecSQLCreateTable(TCreateTableItem* item);
  void ExecSQLAddIndex(const AnsiString& tableName, const AnsiString& indexName,
                       const std::vector<AnsiString>& columns, bool unique, bool descending);
  void ExecSQLDropIndex(const AnsiString& tableName, const AnsiString& indexName);
  void ExecSQLDropTable(const AnsiString& tableName);
  // Reads the table's definitions, lets change edit the index list and
  // restructures; a failed restructure raises failureCode.
  void RestructureIndexes(const AnsiString& tableName, const char* location, int failureCode,
                          const std::function<void(TRestructureIndexDefs&)>& change);

  std::unique_ptr<TSqlQuery> inner_;
  std::unique_ptr<TStringList> sql_;
  std::vector<TUdbTable*> tables_;  // components owned by this query
  std::vector<TUdbDataSet*> reopenAfterDefinition_;
  int statementKind_ = 0;
  AnsiString scanTable_;  // upper-case name of the table a SELECT scans
  bool prepared_ = false;
  bool savedConnected_ = false;
  bool savedExclusive_ = false;
  bool transactional_ = false;
  bool hadTransaction_ = false;
  bool succeeded_ = false;
  bool inRefresh_ = false;
};
