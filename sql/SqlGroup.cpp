// Grouping with aggregates and HAVING, and the TRANSFORM..PIVOT cross
// table.  See SqlExecInt.h.
//
// Aggregate rules (kept as the system has always counted):
//   - a null argument is not skipped: it is read as the column reads it,
//     0 for numbers; so COUNT(x) counts rows whose x is null, AVG divides
//     by every row of the group and MIN/MAX may see the 0;
//   - COUNT(*) over no rows gives no row at all, not a row with 0;
//   - AVG of an empty count is 0, STDEV of fewer than two rows is 0;
//   - DISTINCT aggregates gather each argument value once per group (a null
//     counts as one value), independently of the other aggregates;
//   - sums are compensated (the running error of each addition is kept
//     beside the sum), and finished values reach their columns as doubles,
//     never through text, so large money sums keep every digit;
//   - groups come back in ascending order of the GROUP BY columns.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "platform/core/AnsiText.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "sql/BookmarkHandles.h"
#include "sql/SqlExecInt.h"
#include "sql/SqlMessages.h"

namespace {

// A TRANSFORM statement has at most this many TRANSFORM columns.
constexpr int kMaxTransformColumns = 30;

// Neumaier's compensated addition: sum + compensation is the exact running
// total rounded once at the end.
void AddCompensated(double& sum, double& compensation, double x) {
  double t = sum + x;
  if (std::fabs(sum) >= std::fabs(x))
    compensation += (sum - t) + x;
  else
    compensation += (x - t) + sum;
  sum = t;
}

// The typed bytes of a column's current value; nulls have a key of their own.
std::string DistinctKey(TsqField* f) {
  if (f->IsNull()) return std::string(1, 'N');
  std::string key(1, 'V');
  switch (f->DataType()) {
    case ttString: key += f->GetAsString(); break;
    case ttFloat: {
      double v = f->GetAsFloat();
      if (v == 0) v = 0;  // -0 and 0 are one value
      key.append(reinterpret_cast<const char*>(&v), sizeof v);
      break;
    }
    case ttInteger: {
      std::int32_t v = f->GetAsInteger();
      key.append(reinterpret_cast<const char*>(&v), sizeof v);
      break;
    }
    case ttBoolean: key += f->GetAsBoolean() ? 'T' : 'F'; break;
  }
  return key;
}

// The key a column gives a pivot comparer: a null is the empty key of its type.
std::string PivotKey(TsqField* f) {
  std::string key;
  const bool null = f->IsNull();
  switch (f->DataType()) {
    case ttString: key = null ? std::string() : std::string(f->GetAsString()); key += '\0'; break;
    case ttFloat: {
      double v = null ? 0.0 : f->GetAsFloat();
      key.append(reinterpret_cast<const char*>(&v), sizeof v);
      break;
    }
    case ttInteger: {
      std::int32_t v = null ? 0 : f->GetAsInteger();
      key.append(reinterpret_cast<const char*>(&v), sizeof v);
      break;
    }
    case ttBoolean: key += (!null && f->GetAsBoolean()) ? '\1' : '\0'; break;
  }
  return key;
}

}  // namespace

void TAggAccumulator::Add(TAggregateKind kind, double x) {
  switch (kind) {
    case akSum:
    case akAvg: AddCompensated(value, second, x); break;
    case akStdev:
      value += x;
      second += x * x;
      break;
    case akMin: value = count == 0 ? x : std::min(value, x); break;
    case akMax: value = count == 0 ? x : std::max(value, x); break;
    default: break;
  }
  ++count;
}

// A finished aggregate value of the group being written.
class TAggregateSlotExpr : public TExpression {
 public:
  explicit TAggregateSlotExpr(const double* slot) : slot_(slot) {}
  double AsFloat() override { return *slot_; }
  TExprType ExprType() override { return ttFloat; }

 private:
  const double* slot_;
};

TExpressionPtr AggregateSlotNode(TSqlRun* run, int n) {
  if (!run || n < 0 || n >= static_cast<int>(run->aggSlots.size())) return nullptr;
  return std::make_unique<TAggregateSlotExpr>(&run->aggSlots[static_cast<size_t>(n)]);
}

// Field references beside aggregates (HAVING dept <> '02') read the main
// table: it is put on the group's row first.
void TSqlRun::PositionSource() {
  TBookmark mark = BookmarkOfHandle(s.resultSet_->GetSourceBookmark());
  if (mark && s.MainDataSet->BookmarkValid(mark)) s.MainDataSet->GotoBookmark(mark);
}

double TSqlRun::FinishedValue(TAggregateItem* a, int g) {
  TAggSparseList& v = *a->Values;
  const int count = v.GetCount(g);
  switch (a->Kind) {
    case akSum: return v.GetValue(g) + v.GetSecondValue(g);
    case akAvg: return count < 1 ? 0.0 : (v.GetValue(g) + v.GetSecondValue(g)) / count;
    case akStdev: {
      if (count < 2) return 0.0;
      double sum = v.GetValue(g);
      double d = v.GetSecondValue(g) - sum * sum / count;
      if (d < 0) d = 0;
      return std::sqrt(d / (count - 1));
    }
    case akCount: return count;
    default: return v.GetValue(g);
  }
}

AnsiString TSqlRun::AggregateText(TColumnItem* column, int) {
  AnsiString text = column->ColumnExpr;
  for (int n = 0; n < column->AggregateList.Count(); ++n)
    text = ReplaceAll(text, "{Aggregate " + IntToStr(n) + "}", "[#AGG].[" + IntToStr(n) + "]");
  return text;
}

void TSqlRun::GroupRows() {
  TResultSet& rs = *s.resultSet_;
  const int rows = rs.GetRecordCount();
  if (s.GroupByList.Count() == 0 && !s.HasAggregates()) return;
  if (rows == 0) {
    if (s.GroupByList.Count() == 0) AggregateOverNoRows();
    return;
  }

  auto list = CreateSortList(false);
  std::vector<int> keyColumns;
  for (int i = 0; i < s.GroupByList.Count(); ++i) {
    TsqField* f = rs.Fields().Items(s.GroupByList[i]->ColIndex);
    list->AddField(f->DataType(), f->DataSize(), false);
    keyColumns.push_back(s.GroupByList[i]->ColIndex);
  }
  if (!streamed) {
    FillSortRows(*list, keyColumns);
    list->Sort();
  }

  std::vector<TAggregateItem*> aggregates;
  for (int c = 0; c < s.ColumnList.Count(); ++c)
    for (int a = 0; a < s.ColumnList[c]->AggregateList.Count(); ++a)
      aggregates.push_back(s.ColumnList[c]->AggregateList[a]);
  for (TAggregateItem* a : aggregates) a->Values->Clear();
  std::vector<std::set<std::pair<int, std::string>>> distinct(aggregates.size());

  // One sweep over the rows in group order; a group's values live at the
  // result row of its first member (its leader).  A group is accumulated in
  // locals, in the same order of operations, and stored when it ends.
  std::vector<TAggAccumulator> acc(aggregates.size());
  std::vector<TsqField*> valueFields;
  for (TAggregateItem* a : aggregates) valueFields.push_back(rs.Fields().Items(a->ValueColumnIndex));
  auto store = [&](int g) {
    for (size_t k = 0; k < aggregates.size(); ++k) {
      TAggAccumulator& t = acc[k];
      if (t.count > 0) {
        TAggSparseList& v = *aggregates[k]->Values;
        v.SetValue(g, t.value);
        v.SetSecondValue(g, t.second);
        v.SetCount(g, t.count);
      }
      t = TAggAccumulator();
    }
  };
  std::vector<int> leaders;
  if (streamed) {
    // The scan accumulated its one group already (StreamAggregateRow).
    acc = streamAcc;
    leaders.push_back(1);
  }
  int leaderIndex = 0;
  for (int r = 1; r <= rows && !streamed; ++r) {
    list->SetRecNo(r);
    const int source = list->GetSourceRecNo();
    if (r == 1 || !list->IsEqual(leaderIndex, r)) {
      if (!leaders.empty()) store(leaders.back());
      leaderIndex = r;
      leaders.push_back(source);
    }
    const int g = leaders.back();
    rs.SetRecNo(source);
    for (size_t k = 0; k < aggregates.size(); ++k) {
      TAggregateItem* a = aggregates[k];
      TsqField* value = valueFields[k];
      if (a->IsDistinct && !distinct[k].insert({g, DistinctKey(value)}).second) continue;
      acc[k].Add(a->Kind, a->Kind == akCount ? 0.0 : value->GetAsFloat());
    }
  }
  if (!leaders.empty()) store(leaders.back());
  list.reset();

  // Finished values into the aggregate columns of each leader.
  for (int c = 0; c < s.ColumnList.Count(); ++c) {
    TColumnItem* col = s.ColumnList[c];
    if (c == s.HavingColumn || col->AggregateList.Count() == 0) continue;
    aggSlots.assign(static_cast<size_t>(col->AggregateList.Count()), 0.0);
    TMainExpr resolver(&s, s.MainDataSet);
    resolver.ParseExpression(AggregateText(col, 0));
    TsqField* field = rs.Fields().Items(c);
    const bool readsFields = resolver.FieldRefCount > 0;
    for (int g : leaders) {
      rs.SetRecNo(g);
      if (readsFields) PositionSource();
      for (int a = 0; a < col->AggregateList.Count(); ++a)
        aggSlots[static_cast<size_t>(a)] = FinishedValue(col->AggregateList[a], g);
      TExpression* e = resolver.Expression();
      if (!e->IsNull()) StoreValue(field, e);
    }
  }

  std::vector<char> keep(static_cast<size_t>(rows), 0);
  for (int g : leaders) keep[static_cast<size_t>(g - 1)] = 1;
  KeepRows(keep);

  if (s.HavingColumn >= 0 && s.HavingColumn < s.ColumnList.Count()) {
    TColumnItem* having = s.ColumnList[s.HavingColumn];
    aggSlots.assign(static_cast<size_t>(having->AggregateList.Count()), 0.0);
    TMainExpr resolver(&s, s.MainDataSet);
    resolver.ParseExpression(AggregateText(having, 0));
    if (!resolver.Expression() || resolver.Expression()->ExprType() != ttBoolean)
      SqlQueryError(kSqlNotBoolean);
    const int groups = rs.GetRecordCount();
    const bool readsFields = resolver.FieldRefCount > 0;
    std::vector<char> pass(static_cast<size_t>(groups), 1);
    for (int i = 1; i <= groups; ++i) {
      rs.SetRecNo(i);
      if (readsFields) PositionSource();
      for (int a = 0; a < having->AggregateList.Count(); ++a)
        aggSlots[static_cast<size_t>(a)] = FinishedValue(having->AggregateList[a], i);
      pass[static_cast<size_t>(i - 1)] = resolver.Expression()->AsBoolean() ? 1 : 0;
    }
    KeepRows(pass);
  }
  SortRows(s.GroupByList);
}

// Aggregates without GROUP BY make one row, also over no rows: there each
// COUNT is 0 and every other aggregate null, and so is every column that
// reads one of them or a field (there is no row to read).  (HAVING needs a
// GROUP BY.)
void TSqlRun::AggregateOverNoRows() {
  TResultSet& rs = *s.resultSet_;
  rs.Insert();
  auto countsOnly = [](TColumnItem* col) {
    for (int a = 0; a < col->AggregateList.Count(); ++a)
      if (col->AggregateList[a]->Kind != akCount) return false;
    return true;
  };
  for (int c = 0; c < s.ColumnList.Count(); ++c) {
    TColumnItem* col = s.ColumnList[c];
    if (col->AggregateList.Count() == 0 || !countsOnly(col)) continue;
    aggSlots.assign(static_cast<size_t>(col->AggregateList.Count()), 0.0);
    TMainExpr resolver(&s, s.MainDataSet);
    resolver.ParseExpression(AggregateText(col, 0));
    TExpression* e = resolver.Expression();
    if (resolver.FieldRefCount == 0 && e && !e->IsNull()) StoreValue(rs.Fields().Items(c), e);
  }
}

// ---- TRANSFORM..PIVOT ----------------------------------------------------------------

void TSqlRun::PlanTransform() {
  if (s.TransformColumnList.Count() > kMaxTransformColumns)
    throw ESqlQueryError(Format("TRANSFORM allows at most %d columns, the statement has %d",
                                {kMaxTransformColumns, s.TransformColumnList.Count()}));
  if (s.ColumnList.Count() < s.GroupByList.Count()) SqlQueryError(kSqlGroupColumnCount);
  for (int i = 0; i < s.GroupByList.Count(); ++i)
    if (s.GroupByList[i]->ColIndex != i) SqlQueryError(kSqlGroupColumnOrder);
  if (s.OrderByList.Count() > 0) {
    if (s.ColumnList.Count() < s.OrderByList.Count()) SqlQueryError(kSqlOrderColumnCount);
    for (int i = 0; i < s.OrderByList.Count(); ++i)
      if (s.OrderByList[i]->ColIndex != i) SqlQueryError(kSqlOrderColumnOrder);
  }
  pivotColumnIndex = s.ColumnList.Count();
  selectColumnCount = pivotColumnIndex;
  pivotKeyCount = s.GroupByList.Count() + 1;
  const bool hadAggregates = s.HasAggregates();
  TColumnItem* pivot = s.ColumnList.Add();
  pivot->ColumnExpr = Qualify(Clean(s.PivotText), pivotColumnIndex);
  pivot->ColumnName = pivot->ColumnExpr;
  pivot->CastType = 0;
  pivot->CastLen = 1;
  if (!hadAggregates) {
    s.GroupByList.Add()->ColIndex = pivotColumnIndex;
    if (s.OrderByList.Count() > 0) s.OrderByList.Add()->ColIndex = pivotColumnIndex;
  }
  for (int i = 0; i < s.TransformColumnList.Count(); ++i) {
    TColumnItem* from = s.TransformColumnList[i];
    TColumnItem* to = s.ColumnList.Add();
    const int index = s.ColumnList.Count() - 1;
    to->ColumnExpr = Qualify(Clean(from->ColumnExpr), index);
    to->ColumnName = from->ColumnName.empty() ? to->ColumnExpr : from->ColumnName;
    to->IsAsExplicit = from->IsAsExplicit;
    to->Hidden = from->Hidden;
    to->CastType = from->CastType;
    to->CastLen = from->CastLen;
    to->AggregateList.Assign(from->AggregateList);
    for (int a = 0; a < to->AggregateList.Count(); ++a)
      to->AggregateList[a]->AggregateStr = Qualify(Clean(to->AggregateList[a]->AggregateStr), index);
  }
}

void TSqlRun::PrepareTransform() {
  TResultSet& scanned = *s.resultSet_;
  auto grouped = std::make_unique<TMemResultSet>();
  for (int c = 0; c < scanned.Fields().Count(); ++c) {
    TsqField* f = scanned.Fields().Items(c);
    grouped->AddField(f->FieldName(), f->FieldName(), f->UseDisplayLabel(), f->CastLength(),
                      f->CastType(), f->ColumnFlag(), f->SourceField(), f->DataSize(),
                      f->DataType());
  }
  // Values are copied in their own type, so that nothing is lost to text.
  for (int r = 1; r <= scanned.GetRecordCount(); ++r) {
    scanned.SetRecNo(r);
    grouped->Insert();
    for (int c = 0; c < scanned.Fields().Count(); ++c) {
      TsqField* f = scanned.Fields().Items(c);
      if (f->IsNull()) continue;
      TsqField* to = grouped->Fields().Items(c);
      switch (f->DataType()) {
        case ttString: to->SetAsString(f->GetAsString()); break;
        case ttFloat: to->SetAsFloat(f->GetAsFloat()); break;
        case ttInteger: to->SetAsInteger(f->GetAsInteger()); break;
        case ttBoolean: to->SetAsBoolean(f->GetAsBoolean()); break;
      }
    }
  }
  {
    std::unique_ptr<TResultSet> mine = std::move(s.resultSet_);
    s.resultSet_ = std::move(grouped);
    struct Back {
      TSqlRun& r;
      std::unique_ptr<TResultSet>& mine;
      ~Back() {
        r.pivotGroupedSet = std::move(r.s.resultSet_);
        r.s.resultSet_ = std::move(mine);
      }
    } back{*this, mine};
    GroupRows();
    SortRows(s.OrderByList);
  }
  s.GroupByList.Add()->ColIndex = pivotColumnIndex;
  SortRows(s.GroupByList);
}

void TSqlRun::TransformPivot() {
  if (s.PivotText.empty() || !s.resultSet_ || s.resultSet_->GetRecordCount() == 0) return;
  TResultSet& scanned = *s.resultSet_;
  TResultSet& grouped = *pivotGroupedSet;
  const int headers = selectColumnCount;
  const int k = s.TransformColumnList.Count();

  auto cross = std::make_unique<TMemResultSet>();
  for (int c = 0; c < headers; ++c) {
    TsqField* f = grouped.Fields().Items(c);
    cross->AddField(f->FieldName(), f->FieldName(), f->UseDisplayLabel(), f->CastLength(),
                    f->CastType(), f->ColumnFlag(), f->SourceField(), f->DataSize(), f->DataType());
  }

  // Pivot values: from the IN subquery, derived from the rows, or the IN list.
  std::vector<AnsiString> values;
  if (s.IsSubqueryInSet && !s.SubQueryList.empty()) {
    TResultSet* sub = s.SubQueryList.back()->ResultSet();
    for (int r = 1; sub && r <= sub->GetRecordCount(); ++r) {
      sub->SetRecNo(r);
      values.push_back(sub->Fields().Items(0)->IsNull() ? AnsiString()
                                                          : sub->Fields().Items(0)->GetAsString());
    }
  } else if (s.PivotInList.empty()) {
    TsqField* p = scanned.Fields().Items(pivotColumnIndex);
    for (int r = 1; r <= scanned.GetRecordCount(); ++r) {
      scanned.SetRecNo(r);
      AnsiString v = p->IsNull() ? AnsiString() : p->GetAsString();
      bool known = false;
      for (const AnsiString& x : values) known = known || AnsiSameText(x, v);
      if (!known) values.push_back(v);
    }
    std::sort(values.begin(), values.end(),
              [](const AnsiString& a, const AnsiString& b) { return AnsiCompareText(a, b) < 0; });
  } else {
    values = s.PivotInList;
  }

  struct Cell {
    TAggregateKind kind;
    int valueColumn;
  };
  std::vector<Cell> cells;
  for (int j = 0; j < k; ++j) {
    TColumnItem* col = s.ColumnList[pivotColumnIndex + 1 + j];
    if (col->AggregateList.Count() == 0)
      throw EListError(Format("List index out of bounds (%d)", {0}));
    cells.push_back({col->AggregateList[0]->Kind, col->AggregateList[0]->ValueColumnIndex});
  }
  for (const AnsiString& v : values)
    for (int j = 0; j < k; ++j) {
      TColumnItem* col = s.ColumnList[pivotColumnIndex + 1 + j];
      cross->AddField(v, v, false, col->CastLen, col->CastType, 1, nullptr, 0,
                      cells[static_cast<size_t>(j)].kind == akCount ? ttInteger : ttFloat);
    }

  auto key = [&](int count) {
    std::string text;
    for (int c = 0; c < count; ++c) text += PivotKey(scanned.Fields().Items(c));
    return text;
  };
  auto pivotText = [&]() {
    TsqField* p = scanned.Fields().Items(pivotColumnIndex);
    return p->IsNull() ? AnsiString() : p->GetAsString();
  };
  auto position = [&](const AnsiString& t) {
    for (size_t i = 0; i < values.size(); ++i)
      if (AnsiSameText(values[i], t)) return static_cast<int>(i);
    return -1;
  };

  std::vector<double> sum(static_cast<size_t>(k)), squares(sum), mins(sum), maxs(sum);
  std::vector<int> counts(static_cast<size_t>(k));
  std::vector<char> nulls(static_cast<size_t>(k));
  auto clear = [&]() {
    std::fill(sum.begin(), sum.end(), 0.0);
    std::fill(squares.begin(), squares.end(), 0.0);
    std::fill(counts.begin(), counts.end(), 0);
    std::fill(nulls.begin(), nulls.end(), 0);
  };
  auto accumulate = [&]() {
    for (int j = 0; j < k; ++j) {
      const Cell& c = cells[static_cast<size_t>(j)];
      const size_t u = static_cast<size_t>(j);
      if (c.kind == akCount) {
        sum[u] += 1;
        continue;
      }
      TsqField* v = scanned.Fields().Items(c.valueColumn);
      if (v->IsNull()) nulls[u] = 1;
      const double x = v->GetAsFloat();
      sum[u] += x;
      squares[u] += x * x;
      mins[u] = counts[u] == 0 ? x : std::min(mins[u], x);
      maxs[u] = counts[u] == 0 ? x : std::max(maxs[u], x);
      ++counts[u];
    }
  };
  int base = -1;
  auto finish = [&]() {
    if (base < 0) return;
    for (int j = 0; j < k; ++j) {
      const size_t u = static_cast<size_t>(j);
      if (nulls[u]) continue;
      double value = 0;
      switch (cells[u].kind) {
        case akSum: case akCount: value = sum[u]; break;
        case akAvg: value = counts[u] < 1 ? 0 : sum[u] / counts[u]; break;
        case akStdev: {
          if (counts[u] < 2) break;
          double d = squares[u] - sum[u] * sum[u] / counts[u];
          value = std::sqrt((d < 0 ? 0 : d) / (counts[u] - 1));
          break;
        }
        case akMin: value = mins[u]; break;
        case akMax: value = maxs[u]; break;
      }
      cross->Fields().Items(headers + base + j)->SetAsFloat(value);
    }
  };
  int counter = 0;
  auto newRow = [&]() {
    grouped.SetRecNo(counter + 1);
    ++counter;
    cross->Insert();
    for (int c = 0; c < headers; ++c) {
      TsqField* f = grouped.Fields().Items(c);
      if (!f->IsNull()) cross->Fields().Items(c)->SetAsString(f->GetAsString());
    }
  };
  auto startCell = [&](const AnsiString& t) {
    int p = position(t);
    base = p < 0 ? -1 : p * k;
    clear();
    accumulate();
  };

  scanned.SetRecNo(1);
  std::string cellKey = key(pivotKeyCount), rowKey = key(pivotKeyCount - 1);
  AnsiString current = pivotText();
  newRow();
  startCell(current);
  for (int r = 2; r <= scanned.GetRecordCount(); ++r) {
    scanned.SetRecNo(r);
    std::string nextCell = key(pivotKeyCount);
    if (nextCell != cellKey) {
      finish();
      std::string nextRow = key(pivotKeyCount - 1);
      if (nextRow == rowKey)
        ++counter;
      else
        newRow();
      cellKey = nextCell;
      rowKey = nextRow;
      current = pivotText();
      startCell(current);
      continue;
    }
    AnsiString t = pivotText();
    if (t == current) {
      accumulate();
    } else {
      finish();
      current = t;
      startCell(current);
    }
  }
  finish();
  s.resultSet_ = std::move(cross);
  pivotGroupedSet.reset();
}
