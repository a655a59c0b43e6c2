// The statement executor: the run of a statement in its phases, the scan
// of the main table, joins, result rows, ordering, DISTINCT, SELECT .. INTO,
// MaxRecords and MERGE.  See SqlModel.h (TSqlAnalizer) and SqlExecInt.h.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/core/AnsiText.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "sql/BookmarkHandles.h"
#include "sql/SqlExecInt.h"
#include "sql/SqlMessages.h"

namespace {

// Copies the current row's value of a result column into a sort key.
void CopyKey(TsqField* from, TSrtField* to) {
  if (from->IsNull()) return;
  switch (from->DataType()) {
    case ttString: to->SetAsString(from->GetAsString()); break;
    case ttFloat: to->SetAsFloat(from->GetAsFloat()); break;
    case ttInteger: to->SetAsInteger(from->GetAsInteger()); break;
    case ttBoolean: to->SetAsBoolean(from->GetAsBoolean()); break;
  }
}

}  // namespace

void StoreValue(TsqField* field, TExpression* e) {
  switch (field->DataType()) {
    case ttString: field->SetAsString(e->AsString()); break;
    case ttFloat: field->SetAsFloat(e->AsFloat()); break;
    case ttInteger: field->SetAsInteger(e->AsInteger()); break;
    case ttBoolean: field->SetAsBoolean(e->AsBoolean()); break;
  }
}

// ---- TSubqueryValueExpr ---------------------------------------------------------------

TSubqueryValueExpr::TSubqueryValueExpr(TResultSet* result)
    : result_(result),
      type_(result && result->Fields().Count() > 0 ? result->Fields().Items(0)->DataType()
                                                   : ttString) {}

TsqField* TSubqueryValueExpr::Field() {
  if (!result_ || result_->Fields().Count() == 0 || result_->GetRecordCount() == 0) return nullptr;
  if (result_->RecNo() < 1) result_->SetRecNo(1);
  return result_->Fields().Items(0);
}

bool TSubqueryValueExpr::IsNull() {
  TsqField* f = Field();
  return !f || f->IsNull();
}

AnsiString TSubqueryValueExpr::AsString() {
  if (MaxWidthMode() && result_ && result_->Fields().Count() > 0)
    return AnsiString(std::string(static_cast<size_t>(result_->Fields().Items(0)->DataSize()), ' '));
  TsqField* f = Field();
  return f && !f->IsNull() ? f->GetAsString() : AnsiString();
}

double TSubqueryValueExpr::AsFloat() {
  if (type_ == ttString) return TExpression::AsFloat();
  TsqField* f = Field();
  if (!f || f->IsNull()) return 0;
  return type_ == ttFloat ? f->GetAsFloat() : TExpression::AsFloat();
}

int TSubqueryValueExpr::AsInteger() {
  if (type_ != ttInteger) return TExpression::AsInteger();
  TsqField* f = Field();
  return f && !f->IsNull() ? f->GetAsInteger() : 0;
}

bool TSubqueryValueExpr::AsBoolean() {
  if (type_ != ttBoolean) return TExpression::AsBoolean();
  TsqField* f = Field();
  return f && !f->IsNull() ? f->GetAsBoolean() : false;
}

// ---- TSqlAnalizer: execution entry points and scope ----------------------------------

TSqlAnalizer::TSqlAnalizer(TSqlAnalizer* parent) : ParentAnalizer(parent) {}

TSqlAnalizer::~TSqlAnalizer() = default;

void TSqlAnalizer::SetSqlQuery(TSqlQueryHost* query) { query_ = query; }

std::unique_ptr<TResultSet> TSqlAnalizer::TakeResultSet() { return std::move(resultSet_); }

void TSqlAnalizer::SetResultSet(std::unique_ptr<TResultSet> resultSet) {
  resultSet_ = std::move(resultSet);
}

bool TSqlAnalizer::HasAggregates() const {
  for (int c = 0; c < ColumnList.Count(); ++c)
    if (ColumnList[c]->AggregateList.Count() > 0) return true;
  return false;
}

bool TSqlAnalizer::HasDistinctAggregates() const {
  for (int c = 0; c < ColumnList.Count(); ++c)
    for (int a = 0; a < ColumnList[c]->AggregateList.Count(); ++a)
      if (ColumnList[c]->AggregateList[a]->IsDistinct) return true;
  return false;
}

TDataSet* TSqlAnalizer::FindDataSet(const AnsiString& name) {
  AnsiString n = name;
  if (n.size() >= 2 && n.front() == '[' && n.back() == ']') n = AnsiString(n.substr(1, n.size() - 2));
  auto strip = [](const AnsiString& v) {
    return v.size() >= 2 && v.front() == '[' && v.back() == ']' ? AnsiString(v.substr(1, v.size() - 2))
                                                                 : v;
  };
  for (int i = 0; i < TableList.Count(); ++i)
    if (AnsiSameText(strip(TableList[i]->Alias), n)) return TableList[i]->DataSet;
  for (int i = 0; i < TableList.Count(); ++i)
    if (AnsiSameText(strip(TableList[i]->TableName), n)) return TableList[i]->DataSet;
  for (int i = 0; i < InsertList.Count(); ++i)
    if (AnsiSameText(InsertList[i]->TableName, n)) return InsertList[i]->DataSet;
  return nullptr;
}

TExpressionPtr TSqlAnalizer::ResultSetColumn(const AnsiString& name) {
  if (name.empty() || name[0] != '#') return nullptr;
  size_t dot = name.find('.');
  if (dot == std::string::npos) return nullptr;
  AnsiString group(name.substr(0, dot));
  int n = StrToIntDef(AnsiString(name.substr(dot + 1)), -1);
  TResultSet* result = nullptr;
  if (group == "#AGG") return AggregateSlotNode(run_, n);
  if (group == "#SUB") {
    if (n >= 0 && n < static_cast<int>(SubQueryList.size())) result = SubQueryList[n]->ResultSet();
  } else if (group.compare(0, 4, "#COL") == 0) {
    int c = StrToIntDef(AnsiString(group.substr(4)), -1);
    if (c >= 0 && c < ColumnList.Count() && n >= 0 &&
        n < static_cast<int>(ColumnList[c]->SubQueryList.size()))
      result = ColumnList[c]->SubQueryList[n]->ResultSet();
  }
  if (!result) return nullptr;
  auto node = std::make_unique<TSubqueryValueExpr>(result);
  if (run_ && run_->sizing) node->SetMaxWidthMode(true);
  return node;
}

bool TSqlAnalizer::IsNullDataSet(TDataSet* dataSet) {
  if (!query_) return false;
  const auto& list = query_->NullDataSets;
  return std::find(list.begin(), list.end(), dataSet) != list.end();
}

bool TSqlAnalizer::FindExFunction(const AnsiString& name, TExprType& resultType, int& maxWidth) {
  if (!query_) return false;
  TExFunctions& functions = query_->ExFunctions();
  for (int i = 0; i < functions.Count(); ++i) {
    TExFunctionItem* f = functions.Items(i);
    if (AnsiSameText(f->Name(), name)) {
      resultType = f->ResultType();
      maxWidth = f->MaxWidth();
      return true;
    }
  }
  return false;
}

bool TSqlAnalizer::HasFunctionSolve() { return query_ && query_->OnFunctionSolve != nullptr; }

bool TSqlAnalizer::CheckFunction(const AnsiString& name, TParameterList* params) {
  bool accept = true;
  if (query_ && query_->OnFunctionCheck) query_->OnFunctionCheck(query_->Self(), name, params, accept);
  return accept;
}

Variant TSqlAnalizer::SolveFunction(const AnsiString& name, TParameterList* params) {
  Variant value = Variant::Null();
  if (query_ && query_->OnFunctionSolve) query_->OnFunctionSolve(query_->Self(), name, params, value);
  return value;
}

void TSqlAnalizer::ExecuteOpen() {
  if (!query_) SqlQueryError(kSqlNoQuery);
  if (StatementKind == skMerge && MergeAnalizer) {
    // Both halves run as SELECTs; the second's rows follow the first's.
    StatementKind = skSelect;
    MergeAnalizer->StatementKind = skSelect;
    MergeAnalizer->SetSqlQuery(query_);
    Execute();
    MergeAnalizer->Execute();
    MergeResults();
    return;
  }
  if (StatementKind != skSelect) SqlQueryError(kSqlCommandNeedsExec);
  Execute();
}

void TSqlAnalizer::ExecuteCommand() {
  if (!query_) SqlQueryError(kSqlNoQuery);
  TSqlQueryHost& q = *query_;
  TObject* sender = q.Self();
  switch (StatementKind) {
    case skSelect:
      SqlQueryError(kSqlSelectNeedsOpen);
    case skCreateTable:
      if (q.OnCreateTable)
        for (int i = 0; i < CreateTableList.Count(); ++i) q.OnCreateTable(sender, CreateTableList[i]);
      return;
    case skAlterTable:
      if (q.OnAlterTable)
        for (int i = 0; i < AlterTableList.Count(); ++i) q.OnAlterTable(sender, AlterTableList[i]);
      return;
    case skCreateIndex:
      if (q.OnCreateIndex)
        q.OnCreateIndex(sender, IndexUnique, IndexDescending, IndexTable, IndexName, IndexColumnNames);
      return;
    case skDropTable:
      if (q.OnDropTable) q.OnDropTable(sender, IndexTable);
      return;
    case skDropIndex:
      if (q.OnDropIndex) q.OnDropIndex(sender, IndexTable, IndexName);
      return;
    case skPackTable: q.PackTable(TableList); return;
    case skZapTable: q.ZapTable(TableList); return;
    case skReindexTable: q.ReindexTable(TableList); return;
    default:
      break;
  }
  // Numbers are read and written with explicit settings throughout, so the
  // process-wide separators are left alone.
  q.RowsAffected = 0;
  Execute();
}

namespace {

// Disables the controls of every active source dataset and keeps its
// position for the time of a statement.  Controls are enabled again and
// every bookmark is freed whatever happens; the positions are restored
// only after a statement that completed.
class TSourceGuard {
 public:
  explicit TSourceGuard(TSqlQueryHost& q) {
    if (!q.AutoDisableControls) return;
    TxDataSets& list = q.DataSets();
    for (int i = 0; i < list.Count(); ++i) {
      TDataSet* ds = list.Items(i)->DataSet();
      if (!ds || !ds->Active()) continue;
      Entry e{ds, ds->GetBookmark()};
      entries_.push_back(e);
      ds->DisableControls();
    }
  }
  void Completed() { completed_ = true; }
  ~TSourceGuard() {
    for (Entry& e : entries_) {
      try {
        if (completed_ && e.mark && e.ds->Active() && e.ds->BookmarkValid(e.mark))
          e.ds->GotoBookmark(e.mark);
      } catch (...) {
      }
      TDataSet::FreeBookmark(e.mark);
      try {
        e.ds->EnableControls();
      } catch (...) {
      }
    }
  }
  TSourceGuard(const TSourceGuard&) = delete;
  TSourceGuard& operator=(const TSourceGuard&) = delete;

 private:
  struct Entry {
    TDataSet* ds;
    TBookmark mark;
  };
  std::vector<Entry> entries_;
  bool completed_ = false;
};

}  // namespace

void TSqlAnalizer::Execute() {
  TSqlQueryHost& q = *query_;
  if (q.OnBeforeQuery) q.OnBeforeQuery(q.Self());
  struct AfterQuery {
    TSqlQueryHost& q;
    ~AfterQuery() noexcept(false) {
      if (!q.OnAfterQuery) return;
      if (std::uncaught_exceptions() > 0) {
        try {
          q.OnAfterQuery(q.Self());
        } catch (...) {
        }
      } else {
        q.OnAfterQuery(q.Self());
      }
    }
  } after{q};
  TSourceGuard sources(q);
  TSqlRun run(*this);
  run.DoExecute();
  run.CopyIntoTable();
  run.TrimToMaxRecords();
  sources.Completed();
}

// ---- TSqlRun: DoExecute -------------------------------------------------------------

TSqlRun::TSqlRun(TSqlAnalizer& statement) : s(statement), q(*statement.SqlQuery()) {
  previous_ = s.run_;
  s.run_ = this;
}

TSqlRun::~TSqlRun() { s.run_ = previous_; }

std::unique_ptr<TsqSortList> TSqlRun::CreateSortList(bool usesBookmarks) {
  std::unique_ptr<TsqSortList> list;
  if (q.InMemResultSet)
    list = std::make_unique<TMemSortList>(usesBookmarks);
  else
    list = std::make_unique<TFileSortList>(usesBookmarks, q.MapFileSize);
  list->SetUseAnsiSort(q.UseAnsiSort);
  return list;
}

void TSqlRun::DoExecute() {
  s.Cancelled = false;
  for (auto& sub : s.SubQueryList) {
    sub->SetSqlQuery(&q);
    TSqlRun run(*sub);
    run.DoExecute();
  }
  if (!PlanStatement()) return;

  struct Finally {
    TSqlRun& r;
    bool waitCursor = false;
    ~Finally() noexcept(false) {
      for (int i = 0; i < r.s.JoinList.Count(); ++i) r.s.JoinList[i]->Resolver.reset();
      r.whereResolver.reset();
      r.spareResolver.reset();
      r.q.NullDataSets.clear();
      if (waitCursor) r.q.EndWaitCursor();
      if (r.q.OnProgress) {
        if (std::uncaught_exceptions() > 0) {
          try {
            r.q.OnProgress(r.q.Self(), psEnding, 0, 0, 0);
          } catch (...) {
          }
        } else {
          r.q.OnProgress(r.q.Self(), psEnding, 0, 0, 0);
        }
      }
    }
  } finally{*this};

  PrepareColumns();
  if (s.StatementKind == skUpdate && !updateFromSubquery) {
    try {
      for (int i = 0; i < s.UpdateList.Count(); ++i) {
        TUpdateItem* u = s.UpdateList[i];
        if (u->SetNull) continue;
        u->Resolver = std::make_unique<TMainExpr>(&s, s.MainDataSet);
        u->Resolver->ParseExpression(u->ColExpr);
      }
    } catch (...) {
      for (int i = 0; i < s.UpdateList.Count(); ++i) s.UpdateList[i]->Resolver.reset();
      throw;
    }
  }
  if (s.StatementKind == skInsert) PrepareInsert();

  // The WHERE as a filter of the main table, when the query takes it.  The
  // WHERE is still evaluated on every row the filter lets through: the
  // engine's filter language differs in case, nulls and dates.
  if (q.WhereOptimizeMethod == omSetFilter && !filterText.empty() && q.OnSetFilter) {
    bool handled = false;
    q.OnSetFilter(q.Self(), s.MainDataSet, filterText, false, handled);
    filterHandled = handled;
    if (handled) s.WhereOptimizeList.Clear();
  }

  spareResolver = std::make_unique<TMainExpr>(&s, s.MainDataSet);
  if (q.InMemResultSet)
    s.resultSet_ = std::make_unique<TMemResultSet>();
  else
    s.resultSet_ = std::make_unique<TFileResultSet>(q.MapFileSize);
  s.resultSet_->SetSourceDataSet(s.MainDataSet);
  AddResultColumns();

  whereResolver = std::make_unique<TMainExpr>(&s, s.MainDataSet);
  if (q.ShowWaitCursor) {
    q.BeginWaitCursor();
    finally.waitCursor = true;
  }

  if (s.StatementKind == skInsert) {
    ExecuteInsert();
    return;
  }
  if (!s.WhereText.empty()) {
    whereResolver->ParseExpression(s.WhereText);
    if (whereResolver->Expression()->ExprType() != ttBoolean) SqlQueryError(kSqlNotBoolean);
  }
  if (updateFromSubquery) {
    UpdateFromSubquery();
    return;
  }

  userRangeSet = !s.UserRange.StartValues.empty() && q.OnSetUserRange != nullptr;
  if (userRangeSet)
    q.OnSetUserRange(q.Self(), s.MainDataSet, s.UserRange.UsingIndex, s.UserRange.ForFields,
                     s.UserRange.StartValues, s.UserRange.EndValues);

  // Range decisions: a single-condition WHERE, or else the ORDER BY.
  if (q.WhereOptimizeMethod == omSetRange &&
      (s.StatementKind == skSelect || s.StatementKind == skUpdate) && s.JoinList.Count() == 0) {
    if (s.WhereOptimizeList.Count() > 1) s.WhereOptimizeList.Clear();
    if (s.WhereOptimizeList.Count() == 1 && q.OnIndexNeededFor && q.OnSetRange) {
      TWhereOptimizeItem* w = s.WhereOptimizeList[0];
      if (w->CanOptimize && w->StartValue.find("(subquery") == std::string::npos &&
          w->EndValue.find("(subquery") == std::string::npos) {
        bool accept = w->CanOptimize;
        q.OnIndexNeededFor(q.Self(), w->DataSet, w->FieldNames, false, false, accept);
        w->CanOptimize = accept;
        if (accept) rangeItem = w;
      }
    } else if (s.OrderByList.Count() > 0 && q.OnIndexNeededFor) {
      AnsiString names;
      bool ascending = true;
      for (int i = 0; i < s.OrderByList.Count(); ++i) {
        TOrderByItem* o = s.OrderByList[i];
        ascending = ascending && !o->Desc;
        names += (i ? ";" : "") + s.ColumnList[o->ColIndex]->ColumnName;
      }
      if (ascending) {
        bool accept = false;
        q.OnIndexNeededFor(q.Self(), s.MainDataSet, names, true, false, accept);
        if (accept) {
          s.WhereOptimizeList.Clear();
          s.OrderByList.Clear();
        }
      }
    }
  }

  if (q.OnProgress) q.OnProgress(q.Self(), psStarting, 1, s.MainDataSet->RecordCount(), 1);
  rightMatched.assign(static_cast<size_t>(s.JoinList.Count()), {});
  {
    struct AnyOrder {
      TSqlRun& r;
      bool told = false;
      bool toldChange = false;
      ~AnyOrder() noexcept(false) {
        if (told) r.q.OnScanInAnyOrder(r.q.Self(), r.s.MainDataSet, false);
        if (toldChange) r.q.OnChangeInAnyOrder(r.q.Self(), r.s.MainDataSet, false);
      }
    } anyOrder{*this};
    streamed = CanStreamAggregates();
    streamAcc.clear();
    streamInputs.clear();
    if (q.OnScanInAnyOrder && ScanOrderUnseen()) {
      q.OnScanInAnyOrder(q.Self(), s.MainDataSet, true);
      anyOrder.told = true;
    } else if (q.OnChangeInAnyOrder && ChangeOrderUnseen()) {
      anyOrder.toldChange = q.OnChangeInAnyOrder(q.Self(), s.MainDataSet, true);
    }
    MainScan();
  }
  if (s.StatementKind == skSelect && !cancelled) AddUnmatchedRightRows();

  DropPushedFilter();
  if (userRangeSet && q.OnCancelUserRange) q.OnCancelUserRange(q.Self(), s.MainDataSet);
  if (cancelled) {
    s.Cancelled = true;
    return;
  }
  if (s.StatementKind != skSelect) return;
  if (s.PivotText.empty())
    GroupRows();
  else
    PrepareTransform();
  SortRows(s.OrderByList);
  if (s.IsDistinct) RemoveDuplicates();
  DeleteHiddenColumns();
  TransformPivot();
}

// ---- columns ------------------------------------------------------------------------

void TSqlRun::PrepareColumns() {
  const int count = s.ColumnList.Count();
  try {
    for (int c = 0; c < count; ++c) {
      TColumnItem* col = s.ColumnList[c];
      col->Resolver = std::make_unique<TMainExpr>(&s, s.MainDataSet);
      AnsiString text = col->ColumnExpr;
      if (!col->SubQueryList.empty()) {
        for (size_t n = 0; n < col->SubQueryList.size(); ++n) {
          TSqlAnalizer* sub = col->SubQueryList[n].get();
          sub->SetSqlQuery(&q);
          TSqlRun run(*sub);
          run.DoExecute();
          text = ReplaceAll(text, "{Subquery " + IntToStr(static_cast<int>(n)) + "}",
                            ColumnSubqueryRef(c, static_cast<int>(n)));
        }
      }
      if (col->AggregateList.Count() > 0) {
        for (int a = 0; a < col->AggregateList.Count(); ++a)
          text = ReplaceAll(text, "{Aggregate " + IntToStr(a) + "}", "1.0");
      }
      col->Resolver->ParseExpression(text);
      parseTexts.push_back(text);
      for (int a = 0; a < col->AggregateList.Count(); ++a) {
        TAggregateItem* agg = col->AggregateList[a];
        TColumnItem* value = s.ColumnList.Add();
        value->ColumnExpr = agg->AggregateStr;
        value->ColumnName = agg->AggregateStr;
        value->Hidden = s.PivotText.empty();
        value->CastLen = 1;
        value->Resolver = std::make_unique<TMainExpr>(&s, s.MainDataSet);
        value->Resolver->ParseExpression(agg->AggregateStr);
        agg->ValueColumnIndex = s.ColumnList.Count() - 1;
        parseTexts.push_back(agg->AggregateStr);
      }
    }
  } catch (...) {
    for (int c = 0; c < s.ColumnList.Count(); ++c) s.ColumnList[c]->Resolver.reset();
    throw;
  }
}

void TSqlRun::AddResultColumns() {
  TResultSet& rs = *s.resultSet_;
  for (int c = 0; c < s.ColumnList.Count(); ++c) {
    TColumnItem* col = s.ColumnList[c];
    TExpression* e = col->Resolver ? col->Resolver->Expression() : nullptr;
    TExprType type = e ? e->ExprType() : ttString;
    const AnsiString& text = parseTexts[static_cast<size_t>(c)];
    TField* source = nullptr;
    std::uint8_t flag = 1;
    const bool hasAggregates = col->AggregateList.Count() > 0;
    if (!hasAggregates && col->CastType == 0 && col->SubQueryList.empty()) {
      for (int t = 0; t < s.TableList.Count() && !source; ++t) {
        try {
          TMainExpr probe(&s, s.TableList[t]->DataSet);
          if (probe.CheckExpression(text) && probe.MainFieldCount == 1 &&
              !probe.ComplexExpression && probe.FirstMainField) {
            TField* f = probe.FirstMainField;
            if (!(type == ttBoolean && f->DataType() != ftBoolean)) {
              source = f;
              flag = t == 0 ? 0 : 1;
            }
          }
        } catch (const std::exception&) {
        }
      }
    }
    int size = 0;
    if (type == ttString && s.TableList.Count() > 0) {
      sizing = true;
      try {
        TMainExpr probe(&s, s.TableList[s.TableList.Count() - 1]->DataSet);
        probe.MaxWidthMode = true;
        probe.ParseExpression(text);
        // An empty text (a parameter without a value) has no expression:
        // its column holds empty texts, one byte wide.
        TExpression* widest = probe.Expression();
        size = (widest ? static_cast<int>(widest->AsString().size()) : 0) + 1;
      } catch (...) {
        sizing = false;
        throw;
      }
      sizing = false;
    }
    rs.AddField(col->ColumnName, col->ColumnExpr, !col->IsAsExplicit && q.UseDisplayLabel,
                col->CastLen, col->CastType, flag, source, size, type);
  }
}

void TSqlRun::DeleteHiddenColumns() {
  TResultSet& rs = *s.resultSet_;
  for (int c = s.ColumnList.Count() - 1; c >= 0; --c) {
    if (!s.ColumnList[c]->Hidden) continue;
    if (c < rs.Fields().Count()) rs.Fields().Delete(c);
    s.ColumnList.Delete(c);
  }
}

// ---- the scan -----------------------------------------------------------------------

// The result cannot show in which order the main table was walked: a
// SELECT of one table whose rows all collapse into groups (aggregates, or
// GROUP BY), where every column is an aggregate's value, a GROUP BY key or
// reads no field beside its aggregates.  A column that reads a field
// outside its aggregates, or a HAVING or ORDER BY that does, shows the
// group's first row, and which row is first depends on the walk; column
// subqueries are read by row position.
bool TSqlRun::ScanOrderUnseen() {
  if (s.StatementKind != skSelect || s.JoinList.Count() > 0 || s.TableList.Count() != 1) return false;
  if (!s.PivotText.empty() || !s.SubQueryList.empty()) return false;
  if (!s.HasAggregates() && s.GroupByList.Count() == 0) return false;
  std::set<int> free;
  for (int i = 0; i < s.GroupByList.Count(); ++i) free.insert(s.GroupByList[i]->ColIndex);
  for (int c = 0; c < s.ColumnList.Count(); ++c)
    for (int a = 0; a < s.ColumnList[c]->AggregateList.Count(); ++a)
      free.insert(s.ColumnList[c]->AggregateList[a]->ValueColumnIndex);
  for (int c = 0; c < s.ColumnList.Count(); ++c) {
    TColumnItem* col = s.ColumnList[c];
    if (!col->SubQueryList.empty()) return false;
    if (free.count(c) > 0) continue;
    if (!col->Resolver || col->Resolver->FieldRefCount > 0) return false;
  }
  return true;
}

// Rows changed in another order end the same when no row's change reads
// another row (a subquery may read rows already changed), nothing stops
// the walk half-way for the caller to see (a cancel handler), and no value
// set is a blob (whose place in the file would follow the order).
bool TSqlRun::ChangeOrderUnseen() {
  if (s.StatementKind != skUpdate || s.JoinList.Count() > 0 || s.TableList.Count() != 1) return false;
  if (!s.SubQueryList.empty() || !s.PivotText.empty() || q.OnCancelQuery) return false;
  for (int i = 0; i < s.UpdateList.Count(); ++i) {
    const TField* field = s.UpdateList[i]->Field;
    if (field == nullptr || field->IsBlob()) return false;
  }
  return !filterHandled && ChangesKeepOrder();
}

void TSqlRun::ReportProgress(int position) {
  // One report per 5 percent of the rows; a table of one row or none has
  // nothing between its start and end reports.
  const int total = std::max(progressTotal, 1);
  auto percent = [total](int p) { return static_cast<int>(static_cast<long long>(p) * 100 / total); };
  if (percent(position) > percent(progressLast) + 5) {
    progressLast = position;
    q.OnProgress(q.Self(), psRunning, 0, 0, position);
  }
}

void TSqlRun::MainScan() {
  TDataSet* ds = s.MainDataSet;
  if (rangeItem) {
    bool accept = false;
    q.OnIndexNeededFor(q.Self(), rangeItem->DataSet, rangeItem->FieldNames, true, false, accept);
    if (accept) {
      q.OnSetRange(q.Self(), rangeItem->RelOperator, rangeItem->DataSet, rangeItem->FieldNames,
                   rangeItem->StartValue, rangeItem->EndValue, false);
      rangeApplied = true;
    }
  }
  struct RangeUndo {
    TSqlRun& r;
    ~RangeUndo() noexcept(false) {
      if (r.rangeApplied && r.q.OnCancelRange) {
        r.rangeApplied = false;
        r.q.OnCancelRange(r.q.Self(), r.rangeItem->DataSet, false);
      }
    }
  } rangeUndo{*this};

  progressTotal = ds->RecordCount();
  progressPosition = 0;
  progressLast = 0;
  auto step = [this]() -> bool {
    if (q.OnProgress) ReportProgress(++progressPosition);
    if (q.OnCancelQuery) {
      bool cancel = false;
      q.OnCancelQuery(q.Self(), cancel);
      if (cancel) {
        cancelled = true;
        return false;
      }
    }
    return true;
  };
  auto visit = [this]() {
    if (s.JoinList.Count() > 0) {
      if (whereFirst && !s.WhereText.empty()) {
        if (WhereMatches()) ExecuteJoins();
      } else {
        ExecuteJoins();
      }
      return false;
    }
    if (!WhereMatches()) return false;
    switch (s.StatementKind) {
      case skSelect:
        if (streamed)
          StreamAggregateRow();
        else
          AddResultRow();
        return false;
      case skUpdate: UpdateCurrentRow(); return false;
      case skDelete:
        s.MainDataSet->Delete();
        ++q.RowsAffected;
        return true;
      default: return false;
    }
  };

  ds->First();
  if (s.StatementKind == skUpdate && !filterHandled && ChangesKeepOrder()) {
    // No change moves a row or hides it: one walk from the last row to the
    // first (the order of the marks below, or the host's own order when it
    // took one) changes each row exactly once.
    for (ds->Last(); !ds->Bof(); ds->Prior()) {
      visit();
      if (!step()) break;
    }
    return;
  }
  if (s.StatementKind == skUpdate || s.StatementKind == skDelete) {
    // Rows are changed or deleted from the last to the first, each exactly
    // once, even when a change moves a row in the dataset's order or takes
    // it out of a filter: the walk goes by bookmarks taken beforehand and
    // never depends on where a change leaves the cursor.
    TBookmarkList marks;
    while (!ds->Eof()) {
      marks.list.push_back(ds->GetBookmark());
      ds->Next();
    }
    // The filter has chosen the rows; the changes go without it (the WHERE
    // is judged again on each row), so a change never makes the table
    // rebuild its filter's list.
    DropPushedFilter();
    while (!marks.list.empty()) {
      TBookmark b = marks.list.back();
      marks.list.pop_back();
      struct FreeOne {
        TBookmark b;
        ~FreeOne() { TDataSet::FreeBookmark(b); }
      } one{b};
      ds->GotoBookmark(b);
      visit();
      if (!step()) break;
    }
    return;
  }
  while (!ds->Eof()) {
    bool deleted = visit();
    if (!deleted) ds->Next();
    if (!step()) break;
  }
}

bool TSqlRun::ChangesKeepOrder() {
  if (!q.OnChangeKeepsOrder || s.MainDataSet == nullptr) return false;
  std::vector<TField*> changed;
  for (int i = 0; i < s.UpdateList.Count(); ++i) {
    if (s.UpdateList[i]->Field == nullptr) return false;
    changed.push_back(s.UpdateList[i]->Field);
  }
  return q.OnChangeKeepsOrder(q.Self(), s.MainDataSet, changed);
}

bool TSqlRun::CanStreamAggregates() {
  if (s.StatementKind != skSelect || !s.HasAggregates() || s.GroupByList.Count() > 0) return false;
  if (s.JoinList.Count() > 0 || s.TableList.Count() != 1 || !s.PivotText.empty() || s.HavingColumn >= 0) return false;
  if (!s.SubQueryList.empty()) return false;
  TResultSet& rs = *s.resultSet_;
  for (int c = 0; c < s.ColumnList.Count(); ++c) {
    TColumnItem* col = s.ColumnList[c];
    if (!col->SubQueryList.empty()) return false;
    for (int a = 0; a < col->AggregateList.Count(); ++a) {
      TAggregateItem* agg = col->AggregateList[a];
      if (agg->IsDistinct || agg->ValueColumnIndex < 0 || agg->ValueColumnIndex >= rs.Fields().Count()) return false;
      TsqField* value = rs.Fields().Items(agg->ValueColumnIndex);
      if (value->DataType() != ttFloat && value->DataType() != ttInteger) return false;
      if (value->SourceField() && value->SourceField()->IsBlob()) return false;
    }
  }
  return true;
}

// A passing row of a streamed aggregate: the first becomes the result row
// (and leads the group); each adds its values as the result row would
// hold them (a null as 0, an integer through its integer value).
void TSqlRun::StreamAggregateRow() {
  if (s.resultSet_->GetRecordCount() == 0) {
    AddResultRow();
    streamInputs.clear();
    for (int c = 0; c < s.ColumnList.Count(); ++c) {
      TColumnItem* col = s.ColumnList[c];
      for (int a = 0; a < col->AggregateList.Count(); ++a) {
        TAggregateItem* agg = col->AggregateList[a];
        TStreamInput in{agg->Kind, nullptr, nullptr, false};
        if (agg->Kind != akCount) {
          in.value = s.ColumnList[agg->ValueColumnIndex]->Resolver->Expression();
          in.field = dynamic_cast<TFieldExpr*>(in.value);
          in.integer = s.resultSet_->Fields().Items(agg->ValueColumnIndex)->DataType() == ttInteger;
        }
        streamInputs.push_back(in);
      }
    }
    streamAcc.resize(streamInputs.size());
  }
  for (size_t k = 0; k < streamInputs.size(); ++k) {
    const TStreamInput& in = streamInputs[k];
    double x = 0;
    if (in.value == nullptr) {
    } else if (in.integer) {
      if (!in.value->IsNull()) x = in.value->AsInteger();
    } else if (in.field) {
      double v;
      if (in.field->FloatValue(v)) x = v;
    } else if (!in.value->IsNull()) {
      x = in.value->AsFloat();
    }
    streamAcc[k].Add(in.kind, x);
  }
}

void TSqlRun::DropPushedFilter() {
  if (!filterHandled || !q.OnCancelFilter) return;
  filterHandled = false;
  q.OnCancelFilter(q.Self(), s.MainDataSet, false);
}

bool TSqlRun::WhereMatches() {
  if (whereSubqueries > 0) {
    const bool all = !s.SubQueryKinds.empty() && s.SubQueryKinds[0] == 1;
    // Every combination of the subqueries' rows: ANY wants one true
    // combination, ALL wants every one.
    std::function<bool(int)> level = [&](int n) -> bool {
      TResultSet* rs = s.SubQueryList[static_cast<size_t>(n)]->ResultSet();
      const int rows = rs ? rs->GetRecordCount() : 0;
      for (int r = 1; r <= rows; ++r) {
        rs->SetRecNo(r);
        bool result = n + 1 < whereSubqueries ? level(n + 1)
                                              : whereResolver->Expression()->AsBoolean();
        if (result && !all) return true;
        if (!result && all) return false;
      }
      return all;
    };
    if (!whereResolver->Expression()) return true;
    return level(0);
  }
  if (!whereResolver->Expression()) return true;
  return whereResolver->Expression()->AsBoolean();
}

void TSqlRun::AddResultRow() {
  TResultSet& rs = *s.resultSet_;
  rs.Insert();
  rs.SetSourceBookmark(AcquireBookmarkHandle(s.MainDataSet->GetBookmark()));
  const int row = rs.RecNo();
  for (int c = 0; c < rs.Fields().Count() && c < s.ColumnList.Count(); ++c) {
    TColumnItem* col = s.ColumnList[c];
    if (col->AggregateList.Count() > 0) continue;
    for (auto& sub : col->SubQueryList) {
      TResultSet* subRows = sub->ResultSet();
      int count = subRows ? subRows->GetRecordCount() : 0;
      if (count > 0) subRows->SetRecNo(std::min(row, count));
    }
    TsqField* field = rs.Fields().Items(c);
    TField* source = field->SourceField();
    if (source && source->IsBlob()) {
      if (!source->IsNull() && !s.IsNullDataSet(source->DataSet()))
        field->SetAsInteger(source->DataSet()->RecNo());
      continue;
    }
    TExpression* e = col->Resolver->Expression();
    if (!e || e->IsNull()) continue;
    StoreValue(field, e);
  }
}

// ---- joins --------------------------------------------------------------------------

void TSqlRun::ExecuteJoins() { JoinLevel(0); }

// Join kinds: 0 inner (JOIN, INNER, LEFT INNER), 1 RIGHT INNER (inner as
// well: its sides swapped give the same rows), 2 left outer (LEFT, LEFT
// OUTER, OUTER), 3 right outer (RIGHT, RIGHT OUTER), 4 full outer.  The
// left outer part happens per left row here; the right outer part after
// the scan, from the right rows this level never matched.
namespace {
bool IsLeftOuter(int kind) { return kind == 2 || kind == 4; }
bool IsRightOuter(int kind) { return kind == 3 || kind == 4; }
}  // namespace

int TSqlRun::JoinLevel(int level) {
  TJoinOnItem* item = s.JoinList[level];
  TDataSet* right = item->RightDataSet;
  const bool last = level == s.JoinList.Count() - 1;
  bool rangeSet = false, filterSet = false;

  // The current left values, handed on as literal values: texts quoted
  // (quotes doubled), dates as their text, numbers with a decimal point
  // whatever the process's settings say.
  auto leftValue = [&](size_t i, bool& isString) -> AnsiString {
    TDataSet* left = FindDataSetOf(item->LeftRefTables[i]);
    TField* f = left ? left->FindField(item->LeftRefFields[i]) : nullptr;
    if (!f || f->IsNull()) return AnsiString();
    switch (f->DataType()) {
      case ftDate: case ftTime: case ftDateTime:
        isString = true;
        return f->AsString();
      default:
        break;
    }
    switch (FieldExprType(f->DataType())) {
      case ttString: isString = true; return f->AsString();
      case ttInteger: return IntToStr(f->AsInteger());
      case ttBoolean: return f->AsBoolean() ? "True" : "False";
      case ttFloat: {
        char buffer[64];
        auto r = std::to_chars(buffer, buffer + sizeof buffer, f->AsFloat());
        return AnsiString(std::string(buffer, r.ptr));
      }
    }
    return AnsiString();
  };
  const bool simple = !item->LeftRefFields.empty() &&
                      item->LeftRefFields.size() == item->RightRefFields.size() &&
                      std::all_of(item->AndOr.begin(), item->AndOr.end(), [](int v) { return v == 0; });
  if (simple && q.JoinOptimizeMethod == omSetRange && q.OnIndexNeededFor && q.OnSetRange &&
      q.OnCancelRange) {
    AnsiString names, values;
    for (size_t i = 0; i < item->RightRefFields.size(); ++i) {
      bool isString = false;
      names += (i ? ";" : "") + item->RightRefFields[i];
      values += (i ? ";" : "") + leftValue(i, isString);
    }
    bool accept = false;
    q.OnIndexNeededFor(q.Self(), right, names, true, true, accept);
    if (accept) {
      q.OnSetRange(q.Self(), item->RelOperators.empty() ? 0 : item->RelOperators[0], right, names,
                   values, values, true);
      rangeSet = true;
    }
  } else if (simple && q.JoinOptimizeMethod == omSetFilter && q.OnSetFilter) {
    static const char* const kOps[] = {"=", ">", ">=", "<", "<=", "<>"};
    AnsiString filter;
    for (size_t i = 0; i < item->RightRefFields.size(); ++i) {
      bool isString = false;
      AnsiString v = leftValue(i, isString);
      int op = i < item->RelOperators.size() ? item->RelOperators[i] : 0;
      if (op < 0 || op > 5) op = 0;
      filter += (i ? " AND " : "") + item->RightRefFields[i] + " " + kOps[op] + " " +
                (isString ? QuotedLiteral(v) : (v.empty() ? AnsiString("NULL") : v));
    }
    bool handled = false;
    q.OnSetFilter(q.Self(), right, filter, true, handled);
    filterSet = handled;
  }
  struct Undo {
    TSqlRun& r;
    TDataSet* ds;
    bool& range;
    bool& filter;
    ~Undo() noexcept(false) {
      if (range && r.q.OnCancelRange) r.q.OnCancelRange(r.q.Self(), ds, true);
      if (filter && r.q.OnCancelFilter) r.q.OnCancelFilter(r.q.Self(), ds, true);
    }
  } undo{*this, right, rangeSet, filterSet};

  int matched = 0;
  const bool markMatches = IsRightOuter(item->JoinKind);
  right->First();
  while (!right->Eof()) {
    if (item->Resolver->Expression()->AsBoolean()) {
      if (markMatches) {
        TBookmark b = right->GetBookmark();
        rightMatched[static_cast<size_t>(level)].insert(std::string(b ? b : "", b ? right->BookmarkSize() : 0));
        TDataSet::FreeBookmark(b);
      }
      if (last) {
        ++matched;
        if (whereFirst || WhereMatches()) AddResultRow();
      } else {
        TBookmarkKeeper keep(right);
        matched += JoinLevel(level + 1);
      }
    }
    right->Next();
  }
  if (IsLeftOuter(item->JoinKind) && matched == 0) {
    // No partner: one row with the right table, and every table joined
    // after it, read as NULL.
    std::vector<TDataSet*>& nulls = q.NullDataSets;
    const size_t before = nulls.size();
    for (int l = level; l < s.JoinList.Count(); ++l) {
      TDataSet* d = s.JoinList[l]->RightDataSet;
      if (std::find(nulls.begin(), nulls.end(), d) == nulls.end()) nulls.push_back(d);
    }
    struct Restore {
      std::vector<TDataSet*>& n;
      size_t size;
      ~Restore() { n.resize(size); }
    } restore{nulls, before};
    if (whereFirst || WhereMatches()) AddResultRow();
    matched = 1;
  }
  return matched;
}

void TSqlRun::AddUnmatchedRightRows() {
  for (int level = 0; level < s.JoinList.Count(); ++level) {
    TJoinOnItem* item = s.JoinList[level];
    if (!IsRightOuter(item->JoinKind)) continue;
    TDataSet* right = item->RightDataSet;
    std::vector<TDataSet*>& nulls = q.NullDataSets;
    const size_t before = nulls.size();
    struct Restore {
      std::vector<TDataSet*>& n;
      size_t size;
      ~Restore() { n.resize(size); }
    } restore{nulls, before};
    for (int t = 0; t < s.TableList.Count(); ++t) {
      TDataSet* d = s.TableList[t]->DataSet;
      if (d != right && std::find(nulls.begin(), nulls.end(), d) == nulls.end()) nulls.push_back(d);
    }
    const std::set<std::string>& matched = rightMatched[static_cast<size_t>(level)];
    for (right->First(); !right->Eof(); right->Next()) {
      TBookmark b = right->GetBookmark();
      const bool met = matched.count(std::string(b ? b : "", b ? right->BookmarkSize() : 0)) > 0;
      TDataSet::FreeBookmark(b);
      if (!met && WhereMatches()) AddResultRow();
    }
  }
}

TDataSet* TSqlRun::FindDataSetOf(const AnsiString& table) {
  int t = FindTableItem(table);
  return t >= 0 ? s.TableList[t]->DataSet : nullptr;
}

// ---- ordering, DISTINCT, INTO, MaxRecords, MERGE --------------------------------------

void TSqlRun::FillSortRows(TsqSortList& list, const std::vector<int>& columns) {
  TResultSet& rs = *s.resultSet_;
  for (int r = 1; r <= rs.GetRecordCount(); ++r) {
    rs.SetRecNo(r);
    list.Insert();
    list.SetSourceRecNo(r);
    for (size_t k = 0; k < columns.size(); ++k)
      CopyKey(rs.Fields().Items(columns[k]), list.Fields().Items(static_cast<int>(k)));
  }
}

void TSqlRun::SortRows(TOrderByList& order) {
  TResultSet& rs = *s.resultSet_;
  if (rs.GetRecordCount() == 0 || order.Count() == 0) return;
  auto list = CreateSortList(false);
  std::vector<int> columns;
  for (int i = 0; i < order.Count(); ++i) {
    TsqField* f = rs.Fields().Items(order[i]->ColIndex);
    list->AddField(f->DataType(), f->DataSize(), order[i]->Desc);
    columns.push_back(order[i]->ColIndex);
  }
  FillSortRows(*list, columns);
  list->Sort();
  rs.SortWithList(*list);
  s.ColumnList.SortAggregateValues(*list);
}

void TSqlRun::KeepRows(const std::vector<char>& keep) {
  TResultSet& rs = *s.resultSet_;
  const int rows = rs.GetRecordCount();
  int kept = 0;
  for (int r = 0; r < rows; ++r) kept += keep[static_cast<size_t>(r)] ? 1 : 0;
  if (kept == rows) return;
  // Aggregate index i belongs to result row i, before and after.
  if (s.HasAggregates()) s.ColumnList.KeepAggregateRows(keep);
  rs.KeepRows(keep);
}

void TSqlRun::RemoveDuplicates() {
  TResultSet& rs = *s.resultSet_;
  const int rows = rs.GetRecordCount();
  if (rows < 2) return;
  auto list = CreateSortList(false);
  std::vector<int> columns;
  for (int c = 0; c < rs.Fields().Count(); ++c) {
    TsqField* f = rs.Fields().Items(c);
    list->AddField(f->DataType(), f->DataSize(), false);
    columns.push_back(c);
  }
  FillSortRows(*list, columns);
  list->Sort();
  std::vector<char> keep(static_cast<size_t>(rows), 1);
  for (int i = list->GetRecordCount(); i >= 2; --i) {
    if (!list->IsEqual(i, i - 1)) continue;
    list->SetRecNo(i);
    keep[static_cast<size_t>(list->GetSourceRecNo() - 1)] = 0;
  }
  KeepRows(keep);
}

void TSqlRun::CopyIntoTable() {
  if (s.IntoTableName.empty() || !s.resultSet_) return;
  TxDataSets& sets = q.DataSets();
  int index = sets.IndexOfAlias(s.IntoTableName);
  TDataSet* target = index >= 0 ? sets.Items(index)->DataSet() : nullptr;
  if (!target) SqlQueryError(kSqlIntoTableMissing);
  TResultSet& rs = *s.resultSet_;
  TDataSet* source = nullptr;
  for (int c = 0; c < rs.Fields().Count() && !source; ++c)
    if (TField* f = rs.Fields().Items(c)->SourceField()) source = f->DataSet();
  if (!source) return;
  if (!target->Active()) target->Open();
  for (int r = 1; r <= rs.GetRecordCount(); ++r) {
    rs.SetRecNo(r);
    TBookmark mark = BookmarkOfHandle(rs.GetSourceBookmark());
    if (mark) source->GotoBookmark(mark);
    target->Insert();
    try {
      for (int c = 0; c < rs.Fields().Count(); ++c) {
        TField* from = rs.Fields().Items(c)->SourceField();
        if (!from) continue;
        if (TField* to = target->FindField(from->FieldName())) to->Assign(from);
      }
      target->Post();
    } catch (...) {
      target->Cancel();
      throw;
    }
  }
}

void TSqlRun::TrimToMaxRecords() {
  if (!s.resultSet_ || q.MaxRecords <= 0) return;
  TResultSet& rs = *s.resultSet_;
  for (int r = rs.GetRecordCount(); r > q.MaxRecords; --r) {
    rs.SetRecNo(r);
    rs.Delete();
  }
}

void TSqlAnalizer::MergeResults() {
  if (!MergeAnalizer || !resultSet_ || !MergeAnalizer->resultSet_) return;
  TResultSet& to = *resultSet_;
  TResultSet& from = *MergeAnalizer->resultSet_;
  const int n = std::min(to.Fields().Count(), from.Fields().Count());
  TDataSet* fromSource = from.SourceDataSet();
  for (int r = 1; r <= from.GetRecordCount(); ++r) {
    from.SetRecNo(r);
    to.Insert();
    // The row keeps the second statement's source record.
    TBookmark mark = BookmarkOfHandle(from.GetSourceBookmark());
    if (mark && fromSource) {
      fromSource->GotoBookmark(mark);
      to.SetSourceBookmark(AcquireBookmarkHandle(fromSource->GetBookmark()));
    }
    for (int c = 0; c < n; ++c) {
      TsqField* src = from.Fields().Items(c);
      if (src->IsNull()) continue;
      to.Fields().Items(c)->SetAsString(src->GetAsString());
    }
  }
}
