// TCustomSqlQuery, TSqlQuery: a dataset whose records are the rows of an
// SQL statement run over other datasets (its DataSets, by alias).  sql/;
// calls platform/core and platform/data.
//
// Open parses SQL, runs it through the statement executor (SqlModel.h,
// TSqlAnalizer) with this query as its host (SqlQueryHost.h) and takes over
// the finished TResultSet; ExecSQL runs a statement that returns no rows.
// The result is read-only: edits, inserts and deletes are refused.
//
// Record buffer (one layout for every buffer of an open query):
//
//   offset                 size
//   0                      DataSize: the data area.  Default fields: result
//                          column i at the sum of the sizes of columns
//                          0..i-1; persistent fields: fields in order with
//                          the native size of their type
//   RecInfoOffset          4   0-based result row (the bookmark)
//   RecInfoOffset + 4      1   bookmark flag
//   CalcOffset             CalcFieldsSize(): per calculated field a flag
//                          byte (1 = value) then its data
//
// Column sizes in the data area: string width + 1 (zero-terminated),
// float 8, integer the source field's data size (1, 2 or 4) or 4, boolean
// 2 (-1 true, 0 false).  Date, time and date-time columns from a source
// field of that type or a CAST hold the native time-stamp forms (days,
// milliseconds of the day, time-stamp milliseconds); such a value that is
// entirely zero reads as null.
//
//   TSqlQuery q(nullptr);
//   q.AddDataSet(&emp, "emp");
//   q.SQL()->SetText("SELECT dept, SUM(pay) AS total FROM emp GROUP BY dept");
//   q.Open();
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Strings.h"
#include "platform/data/DataSource.h"
#include "platform/data/Dataset.h"
#include "platform/data/Params.h"
#include "sql/ResultSet.h"
#include "sql/SqlModel.h"
#include "sql/SqlQueryHost.h"

class TFilterExpr;
class TCustomSqlQuery;

// Ties a query to its master data source: parameters without a value take
// the master's same-named fields, and the query runs again when the
// master moves.
class TSqlQueryDataLink : public TDetailDataLink {
 public:
  explicit TSqlQueryDataLink(TCustomSqlQuery* query) : query_(query) {}
  TDataSet* GetDetailDataSet() override;

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void RecordChanged(TField* field) override;

 private:
  TCustomSqlQuery* query_;
};

class TCustomSqlQuery : public TDataSet, public TSqlQueryHost {
  PAYROLL_CLASS(TCustomSqlQuery, TDataSet)
 public:
  explicit TCustomSqlQuery(TComponent* owner = nullptr);
  ~TCustomSqlQuery() override;

  // --- statement --------------------------------------------------------------
  TStrings* SQL() const { return sql_.get(); }
  // Assigns only when the text differs (exact comparison); disconnects
  // first and, with ParamCheck, rebuilds Params.
  void SetSQL(TStrings* value);
  TStrings* SQLScript() const { return sqlScript_.get(); }
  void SetSQLScript(TStrings* value);
  TParams* Params() const { return params_.get(); }
  void SetParams(TParams* value);
  bool ParamCheck() const { return paramCheck_; }
  void SetParamCheck(bool v) { paramCheck_ = v; }
  TParamsAsFields& ParamsAsFields() { return paramsAsFields_; }
  const AnsiString& DateFormat() const { return dateFormat_; }
  void SetDateFormat(const AnsiString& v) { dateFormat_ = v; }
  // The master source; one that already reaches this query raises 65113.
  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* value);
  TDataSource* GetDataSource() override { return DataSource(); }

  // Runs a statement that returns no rows; SELECT raises 65124.
  void ExecSQL();
  void Prepare() {}
  void UnPrepare() {}
  // Close, then UnPrepare.
  void Disconnect();
  // A source dataset under alias (its Name when alias is empty); an alias
  // in use raises 65074.
  void AddDataSet(TDataSet* dataSet, const AnsiString& alias);

  // The result of the running open (the executor's derived tables hand
  // one over before Open): Open then skips parsing and executing.
  void SetPrebuiltResult(std::unique_ptr<TResultSet> result);
  TResultSet* ResultSet() const { return resultSet_.get(); }
  bool ResultPrebuilt() const { return resultPrebuilt_; }

  // --- events of the query itself ------------------------------------------
  std::function<void(TObject*, const AnsiString& message, const AnsiString& offendingText,
                     int line, int column, int textLength)>
      OnSyntaxError;
  std::function<void(TObject*, int fieldIndex, AnsiString& fieldName)> OnQueryFieldName;
  std::function<void(TObject*, TDataSet*, bool& accept)> OnBlobNeeded;

  // --- TDataSet ---------------------------------------------------------------
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& buffer) override;
  void GetBookmarkData(TRecordBuffer buffer, void* data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) override;
  int GetRecordSize() override { return bufferSize_; }
  void InternalAddRecord(TRecordBuffer, bool) override {}
  void InternalClose() override;
  // The result is read-only: a delete is refused.
  void InternalDelete() override;
  void InternalFirst() override { currentRow_ = -1; }
  void InternalGotoBookmark(void* bookmark) override;
  void InternalHandleException() override {}
  void InternalInitFieldDefs() override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  void InternalLast() override { currentRow_ = recordCount_; }
  void InternalOpen() override;
  void InternalPost() override {}
  void InternalSetToRecord(TRecordBuffer buffer) override;
  bool IsCursorOpen() override { return isOpen_; }
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) override;
  void SetBookmarkData(TRecordBuffer buffer, const void* data) override;
  void SetFieldData(TField* field, const void* buffer) override;
  bool GetFieldData(TField* field, void* buffer) override;
  bool BookmarkValid(TBookmark bookmark) override;
  int CompareBookmarks(TBookmark a, TBookmark b) override;
  TStream* CreateBlobStream(TField* field, TBlobStreamMode mode) override;
  bool Locate(const AnsiString& keyFields, const Variant& keyValues,
              TLocateOptions options) override;
  Variant Lookup(const AnsiString& keyFields, const Variant& keyValues,
                 const AnsiString& resultFields) override;
  bool IsSequenced() override { return !Filtered(); }
  void SetFiltered(bool value) override;
  void SetFilterText(const AnsiString& value) override;
  void SetRecNo(int value) override;
  void Notification(TComponent* component, TOperation operation) override;

  // --- TSqlQueryHost ----------------------------------------------------------
  TDataSet* CreateResultDataSet(std::unique_ptr<TResultSet> result,
                                const AnsiString& name) override;

  // Fills unbound parameters from the master's fields of the same name.
  void RefreshParamsFromMaster();
  // Closes and reopens the query while the master moves (controls off).
  void RefreshFromMaster();

 protected:
  bool GetCanModify() override { return false; }
  int GetRecordCount() override;
  int GetRecNo() override;
  void InternalEdit() override;
  void InternalRefresh() override;
  void ClearCalcFields(TRecordBuffer buffer) override;
  void SetBlockReadSize(int value) override;
  // Called by InternalClose after the result is freed.
  virtual void QueryClosing() {}

 private:
  friend class TsqBlobStream;
  struct Column {
    int offset = 0;
    int size = 0;
  };

  void SQLChanged();
  // Parses and runs the text into resultSet_ (a prebuilt result stays).
  void RunStatement();
  void RebuildParams();
  // Parses the text into statement; false on a syntax error when not
  // report, else the error goes to OnSyntaxError (then a silent abort) or
  // raises 65073.
  bool ParseStatement(TSqlAnalizer& statement, bool report = true);
  void FreeOwnedDataSets();
  // The row passes OnFilterRecord and the filter expression.
  bool RowPasses(int row);
  void FillBuffer(TRecordBuffer buffer, int row);
  // The data-area column of a field (default or persistent), or -1.
  int ColumnOfField(TField* field) const;
  TRecordBuffer BufferForState() const;
  bool IsDateColumn(int column) const;
  void BuildFilter();
  bool RowMatches(int row, const std::vector<TField*>& fields, const std::vector<Variant>& keys,
                  TLocateOptions options);

  std::unique_ptr<TStringList> sql_;
  std::unique_ptr<TStringList> sqlScript_;
  std::unique_ptr<TParams> params_;
  TParamsAsFields paramsAsFields_;
  std::unique_ptr<TSqlQueryDataLink> dataLink_;
  std::unique_ptr<TResultSet> resultSet_;
  std::unique_ptr<TFilterExpr> filterExpr_;
  std::vector<Column> columns_;
  // Persistent fields: the field's column in the data area by FieldNo - 1.
  std::vector<int> fieldColumns_;
  // Persistent fields: the field's place in the data area by FieldNo - 1.
  std::vector<int> fieldOffsets_;
  AnsiString dateFormat_;
  bool paramCheck_ = true;
  bool resultPrebuilt_ = false;
  bool isOpen_ = false;
  int recordCount_ = 0;
  int currentRow_ = -1;
  int dataSize_ = 0;
  int recInfoOffset_ = 0;
  int nullOffset_ = 0;  // one flag byte per data field: 1 = null
  int nullCount_ = 0;
  int calcOffset_ = 0;
  int bufferSize_ = 0;
  TRecordBuffer filterBuffer_ = nullptr;
  int filterRow_ = -1;
  // Result datasets handed to the executor for derived tables.
  std::vector<std::unique_ptr<TDataSet>> resultDataSets_;
};

class TSqlQuery : public TCustomSqlQuery {
  PAYROLL_CLASS(TSqlQuery, TCustomSqlQuery)
 public:
  explicit TSqlQuery(TComponent* owner = nullptr) : TCustomSqlQuery(owner) {}
  bool AllSequenced = false;
};
