// The working state of one statement run, shared by the executor's units
// (SqlExecute.cpp: phases, scan, result rows, ordering; SqlPlan.cpp:
// planning, qualifying, joins, subquery conditions; SqlGroup.cpp: grouping
// and TRANSFORM..PIVOT; SqlChange.cpp: UPDATE, DELETE, INSERT and the
// definition statements).  Internal to sql/.
//
// Texts.  The grammar leaves field references as markers \f"name"; the
// planner rewrites them into references ALIAS.FIELD of the expression
// language (a name that is no plain word is bracketed), always through the
// FROM item's alias, so that two FROM items over one table stay apart.
// Values from subqueries never enter a text: "(subquery n)" becomes the
// reference [#SUB].[n] and "{Subquery n}" of column c becomes [#COLc].[n],
// which the analizer's scope answers with nodes reading the subquery's
// current result row; likewise "{Aggregate n}" becomes [#AGG].[n], a node
// over the run's slot of the group's finished value.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/core/AnsiString.h"
#include "sql/MainExpr.h"
#include "sql/ResultSet.h"
#include "sql/SortList.h"
#include "sql/SqlModel.h"
#include "sql/SqlQueryHost.h"

// The running value of one aggregate over one group, in the order of
// operations of the rows added (compensated sums).
struct TAggAccumulator {
  double value = 0, second = 0;
  int count = 0;
  void Add(TAggregateKind kind, double x);
};

// Bookmarks of the rows a change will visit, freed with the list.
struct TBookmarkList {
  std::vector<TBookmark> list;
  TBookmarkList() = default;
  TBookmarkList(const TBookmarkList&) = delete;
  TBookmarkList& operator=(const TBookmarkList&) = delete;
  ~TBookmarkList() {
    for (TBookmark b : list) TDataSet::FreeBookmark(b);
  }
};

class TSqlRun {
 public:
  explicit TSqlRun(TSqlAnalizer& statement);
  ~TSqlRun();
  TSqlRun(const TSqlRun&) = delete;
  TSqlRun& operator=(const TSqlRun&) = delete;

  // The executor proper; also run for every sub-analizer.
  void DoExecute();

  TSqlAnalizer& s;
  TSqlQueryHost& q;

  // ---- planning (SqlPlan.cpp) ---------------------------------------------------
  bool PlanStatement();
  // Rewrites the markers of text into qualified references; raises 65105
  // for a name no FROM table has.  selfColumn: the column whose text this
  // is (its own alias is not expanded).
  AnsiString Qualify(const AnsiString& text, int selfColumn = -1, int depth = 0);
  // The FROM item a qualifier names (alias first, then table name), or -1.
  int FindTableItem(const AnsiString& qualifier) const;
  // The FROM item and field a marker's name resolves to; -1 when none.
  int ResolveName(const AnsiString& name, AnsiString& field) const;
  AnsiString Clean(const AnsiString& text);
  void PlanImplicitJoins();
  void PlanExplicitJoins();
  void ResolveOrderItems(TOrderByList& list, bool groupBy);
  void PlanTransform();

  // ---- scanning (SqlExecute.cpp) -------------------------------------------------
  void PrepareColumns();
  void AddResultColumns();
  // True when the result cannot show the order of the main table's walk.
  bool ScanOrderUnseen();
  // An UPDATE that cannot show the order in which it reaches its rows.
  bool ChangeOrderUnseen();
  void MainScan();
  // An UPDATE's changes leave every row in place in the main walk (the
  // host says so, OnChangeKeepsOrder).
  bool ChangesKeepOrder();
  void AddResultRow();
  // Aggregates without GROUP BY over one table, each a number: the scan
  // keeps only the first row that passes as a result row and accumulates
  // every row's aggregate values at once (`streamed`), in scan order as
  // grouping would.
  bool CanStreamAggregates();
  void StreamAggregateRow();
  // The WHERE's verdict on the current row combination (subqueries
  // included); True without a WHERE.
  bool WhereMatches();
  // The filter handed to the main table has chosen the rows: it goes, so
  // the changes that follow never make the table rebuild its list.
  void DropPushedFilter();
  void ExecuteJoins();
  int JoinLevel(int level);
  // RIGHT and FULL joins, after the scan: one row per right row that met
  // no left row, every other table read as NULL.
  void AddUnmatchedRightRows();
  TDataSet* FindDataSetOf(const AnsiString& table);
  void CopyIntoTable();
  void TrimToMaxRecords();
  void ReportProgress(int position);
  std::unique_ptr<TsqSortList> CreateSortList(bool usesBookmarks);
  // Keys of `columns` (result column indexes) for every result row.
  void FillSortRows(TsqSortList& list, const std::vector<int>& columns);
  void SortRows(TOrderByList& list);
  void RemoveDuplicates();
  // Keeps the rows whose entry is true, in their order; the aggregate value
  // lists follow.  Linear: no row is removed from the middle.
  void KeepRows(const std::vector<char>& keep);
  void DeleteHiddenColumns();

  // ---- grouping (SqlGroup.cpp) ---------------------------------------------------
  void GroupRows();
  void AggregateOverNoRows();
  // The column's text with its aggregates' finished values of group g.
  AnsiString AggregateText(TColumnItem* column, int g);
  double FinishedValue(TAggregateItem* a, int g);
  void PositionSource();
  void TransformPivot();
  void PrepareTransform();

  // ---- changes (SqlChange.cpp) ---------------------------------------------------
  void PrepareInsert();
  void UpdateCurrentRow();
  void UpdateFromSubquery();
  void ExecuteInsert();

  // Run state.
  TSqlRun* previous_ = nullptr;  // the run this one interrupts (subqueries)
  bool sizing = false;           // string columns are being measured
  std::vector<AnsiString> parseTexts;  // per column: the text its resolver parsed
  // Finished aggregate values of the group being written, read by the
  // references [#AGG].[n] of an aggregate column's text.
  std::vector<double> aggSlots;
  std::unique_ptr<TMainExpr> whereResolver;
  std::unique_ptr<TMainExpr> spareResolver;
  bool hasJoinExpression = false;  // never set: every join is planned into levels
  AnsiString joinExpressionText;
  bool implicitJoins = false;
  // UPDATE t SET ... = (SELECT ...): every row takes the subquery row of
  // its position (a subquery of the WHERE leaves the scan to the WHERE).
  bool updateFromSubquery = false;
  bool whereFirst = true;
  // Per join level of a RIGHT or FULL join: the bookmarks (as bytes) of
  // the right rows that met a left row.
  std::vector<std::set<std::string>> rightMatched;
  AnsiString filterText;
  bool filterHandled = false;
  TWhereOptimizeItem* rangeItem = nullptr;
  bool rangeApplied = false;
  bool userRangeSet = false;
  int whereSubqueries = 0;  // statement-level subqueries that the WHERE uses
  bool cancelled = false;
  int progressPosition = 0;
  int progressLast = 0;
  int progressTotal = 1;
  bool streamed = false;
  std::vector<TAggAccumulator> streamAcc;  // per aggregate, in column order
  // What each streamed aggregate reads per row, taken at the first row.
  struct TStreamInput {
    TAggregateKind kind;
    TExpression* value;      // null for COUNT(*) or an empty expression
    TFieldExpr* field;       // the value when it is a bare field, else null
    bool integer;            // the result column holds integers
  };
  std::vector<TStreamInput> streamInputs;
  // Transform state.
  int pivotColumnIndex = -1;
  int pivotKeyCount = 0;
  int selectColumnCount = 0;
  std::vector<AnsiString> pivotValues;
  std::unique_ptr<TResultSet> pivotGroupedSet;
};

// A subquery's current result value: the first column of the row its
// result set stands on (null without rows).
class TSubqueryValueExpr : public TExpression {
 public:
  explicit TSubqueryValueExpr(TResultSet* result);
  AnsiString AsString() override;
  double AsFloat() override;
  int AsInteger() override;
  bool AsBoolean() override;
  TExprType ExprType() override { return type_; }
  bool IsNull() override;

 private:
  TsqField* Field();
  TResultSet* result_;
  TExprType type_;
};

// The node of [#AGG].[n]: slot n of the run's aggregate values.
TExpressionPtr AggregateSlotNode(TSqlRun* run, int n);

// Statement-level subquery n of the WHERE, and subquery n of column c, as
// expression references.
AnsiString SubqueryRef(int n);
AnsiString ColumnSubqueryRef(int column, int n);
// Stores an expression's value through the column's setter of its type.
void StoreValue(TsqField* field, TExpression* e);
// A string literal of the expression language (quotes doubled).
AnsiString QuotedLiteral(const AnsiString& value);
// Replaces every occurrence of `from` in text by `to` (ExprNames.cpp).
AnsiString ReplaceAll(const AnsiString& text, const AnsiString& from, const AnsiString& to);
