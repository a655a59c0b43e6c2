// Planning a statement: binding its FROM tables, qualifying its texts,
// finding implicit joins, preparing push-downs and resolving GROUP BY and
// ORDER BY items.  See SqlExecInt.h for the text conventions.
#include <map>
#include <set>

#include "platform/core/AnsiText.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "sql/ExprLexer.h"
#include "sql/SqlExecInt.h"
#include "sql/SqlMessages.h"

namespace {

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsWordByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c >= 0x80;
}

AnsiString StripBrackets(const AnsiString& name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
    return AnsiString(name.substr(1, name.size() - 2));
  return name;
}

// A name as the expression language reads it back: plain words stay,
// anything else (blanks, keywords, leading digits) is bracketed.
AnsiString Word(const AnsiString& name) {
  bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
  for (size_t i = 0; plain && i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsLeadByte(c) && i + 1 < name.size()) {
      ++i;
      continue;
    }
    plain = IsWordByte(c);
  }
  if (plain && ExprKeywordToken(name) != 0) plain = false;
  return plain ? name : AnsiString("[" + name + "]");
}

AnsiString Ref(const AnsiString& alias, const AnsiString& field) {
  return Word(StripBrackets(alias)) + "." + Word(StripBrackets(field));
}

// Position after the atom that starts at i: a string literal, a marker,
// a bracketed name, a double-byte character or one byte.
size_t SkipAtom(const std::string& t, size_t i) {
  const size_t n = t.size();
  unsigned char c = static_cast<unsigned char>(t[i]);
  if (c == '\\' && i + 2 < n && t[i + 1] == 'f' && t[i + 2] == '"') {
    size_t e = t.find('"', i + 3);
    return e == std::string::npos ? n : e + 1;
  }
  if (c == '\'') {
    size_t j = i + 1;
    while (j < n) {
      if (t[j] == '\'') {
        if (j + 1 < n && t[j + 1] == '\'') {
          j += 2;
          continue;
        }
        return j + 1;
      }
      j += IsLeadByte(static_cast<unsigned char>(t[j])) ? 2 : 1;
    }
    return n;
  }
  if (c == '"' || c == '[') {
    size_t e = t.find(c == '"' ? '"' : ']', i + 1);
    return e == std::string::npos ? n : e + 1;
  }
  if (IsLeadByte(c) && i + 1 < n) return i + 2;
  return i + 1;
}

bool IsMarkerAt(const std::string& t, size_t i) {
  return i + 2 < t.size() && t[i] == '\\' && t[i + 1] == 'f' && t[i + 2] == '"';
}

std::string Trim(const std::string& t) {
  size_t b = t.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = t.find_last_not_of(" \t\r\n");
  return t.substr(b, e - b + 1);
}

// Removes parentheses that enclose the whole text.
std::string StripOuterParens(std::string t) {
  for (;;) {
    t = Trim(t);
    if (t.size() < 2 || t.front() != '(' || t.back() != ')') return t;
    int depth = 0;
    size_t i = 0;
    bool enclosing = true;
    while (i < t.size()) {
      if (t[i] == '(') ++depth;
      if (t[i] == ')' && --depth == 0 && i + 1 < t.size()) {
        enclosing = false;
        break;
      }
      i = SkipAtom(t, i);
    }
    if (!enclosing) return t;
    t = t.substr(1, t.size() - 2);
  }
}

// The conjuncts of a condition joined by AND at its top level.  AND, OR
// and XOR share one precedence in the expression language, so a text with
// an OR or XOR (or a BETWEEN, whose AND is its own) at the top level is
// one conjunct.
std::vector<std::string> TopLevelConjuncts(const std::string& text) {
  std::string t = StripOuterParens(text);
  std::vector<std::string> parts;
  int depth = 0;
  size_t start = 0, i = 0;
  while (i < t.size()) {
    unsigned char c = static_cast<unsigned char>(t[i]);
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth == 0 && IsWordByte(c) && (i == 0 || !IsWordByte(static_cast<unsigned char>(t[i - 1])))) {
      size_t e = i;
      while (e < t.size() && IsWordByte(static_cast<unsigned char>(t[e]))) ++e;
      AnsiString word = AnsiUpperCase(t.substr(i, e - i));
      if (word == "OR" || word == "XOR" || word == "BETWEEN") return {t};
      if (word == "AND") {
        parts.push_back(t.substr(start, i - start));
        start = e;
      }
      i = e;
      continue;
    }
    i = SkipAtom(t, i);
  }
  parts.push_back(t.substr(start));
  return parts;
}

// The name of a conjunct that is exactly one marker, else "".
bool SingleMarker(const std::string& text, AnsiString& name) {
  std::string t = StripOuterParens(text);
  if (!IsMarkerAt(t, 0) || SkipAtom(t, 0) != t.size()) return false;
  name = AnsiString(t.substr(3, t.size() - 4));
  return true;
}

// "X = Y" where both sides are single markers.
bool MarkerEquality(const std::string& conjunct, AnsiString& left, AnsiString& right) {
  std::string t = StripOuterParens(conjunct);
  int depth = 0;
  size_t at = std::string::npos;
  for (size_t i = 0; i < t.size(); i = SkipAtom(t, i)) {
    char c = t[i];
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth == 0 && c == '=') {
      bool compound = (i > 0 && (t[i - 1] == '<' || t[i - 1] == '>')) ||
                      (i + 1 < t.size() && (t[i + 1] == '<' || t[i + 1] == '>'));
      if (compound || at != std::string::npos) return false;
      at = i;
    }
  }
  if (at == std::string::npos) return false;
  return SingleMarker(t.substr(0, at), left) && SingleMarker(t.substr(at + 1), right);
}

// Text without markers: \f"a" reads a (for names made of texts).
AnsiString Unmarked(const AnsiString& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t next = SkipAtom(text, i);
    if (IsMarkerAt(text, i))
      out += text.substr(i + 3, next - i - 4);
    else
      out += text.substr(i, next - i);
    i = next;
  }
  return AnsiString(out);
}

// Join texts name unqualified fields "[dummy].name": back to markers.
AnsiString DummyToMarkers(const AnsiString& text) {
  static const std::string kDummy = "[dummy].";
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, kDummy.size(), kDummy) == 0) {
      size_t b = i + kDummy.size(), e = b;
      if (e < text.size() && text[e] == '[') {
        e = SkipAtom(text, e);
      } else {
        while (e < text.size() && IsWordByte(static_cast<unsigned char>(text[e]))) ++e;
      }
      out += "\\f\"" + StripBrackets(AnsiString(text.substr(b, e - b))) + "\"";
      i = e;
      continue;
    }
    size_t next = SkipAtom(text, i);
    out += text.substr(i, next - i);
    i = next;
  }
  return AnsiString(out);
}

// Removes every "prefix" that stands outside literals at a word start.
AnsiString RemovePrefix(const AnsiString& text, const AnsiString& prefix) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    bool wordStart = i == 0 || !IsWordByte(static_cast<unsigned char>(text[i - 1]));
    if (wordStart && text.size() - i >= prefix.size() &&
        AnsiSameText(text.substr(i, prefix.size()), prefix)) {
      i += prefix.size();
      continue;
    }
    size_t next = SkipAtom(text, i);
    out += text.substr(i, next - i);
    i = next;
  }
  return AnsiString(out);
}

}  // namespace

AnsiString SubqueryRef(int n) { return "[#SUB].[" + IntToStr(n) + "]"; }
AnsiString ColumnSubqueryRef(int column, int n) {
  return "[#COL" + IntToStr(column) + "].[" + IntToStr(n) + "]";
}

AnsiString QuotedLiteral(const AnsiString& value) {
  return "'" + ReplaceAll(value, "'", "''") + "'";
}

// ---- names ------------------------------------------------------------------------

int TSqlRun::FindTableItem(const AnsiString& qualifier) const {
  AnsiString name = StripBrackets(qualifier);
  for (int i = 0; i < s.TableList.Count(); ++i)
    if (AnsiSameText(StripBrackets(s.TableList[i]->Alias), name)) return i;
  for (int i = 0; i < s.TableList.Count(); ++i)
    if (AnsiSameText(StripBrackets(s.TableList[i]->TableName), name)) return i;
  return -1;
}

int TSqlRun::ResolveName(const AnsiString& name, AnsiString& field) const {
  // The qualifier ends at the first point outside brackets.
  size_t dot = std::string::npos;
  for (size_t i = 0; i < name.size(); i = SkipAtom(name, i))
    if (name[i] == '.') {
      dot = i;
      break;
    }
  if (dot != std::string::npos) {
    field = StripBrackets(AnsiString(name.substr(dot + 1)));
    return FindTableItem(AnsiString(name.substr(0, dot)));
  }
  field = StripBrackets(name);
  for (int i = 0; i < s.TableList.Count(); ++i) {
    TDataSet* ds = s.TableList[i]->DataSet;
    if (ds && ds->FindField(field)) return i;
  }
  return -1;
}

AnsiString TSqlRun::Qualify(const AnsiString& text, int selfColumn, int depth) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t next = SkipAtom(text, i);
    if (!IsMarkerAt(text, i)) {
      out += text.substr(i, next - i);
      i = next;
      continue;
    }
    AnsiString name(text.substr(i + 3, next - i - 4));
    i = next;
    AnsiString field;
    bool dotted = false;
    for (size_t k = 0; k < name.size(); k = SkipAtom(name, k))
      if (name[k] == '.') dotted = true;
    if (dotted) {
      int t = ResolveName(name, field);
      if (t >= 0) {
        out += Ref(s.TableList[t]->Alias, field);
      } else {
        out += name;  // an unknown qualifier: the expression reports it
      }
      continue;
    }
    // A column alias stands for its column's expression (outside the
    // column texts themselves, which name fields).
    if (selfColumn < 0 && depth < 8) {
      bool expanded = false;
      for (int c = 0; c < s.ColumnList.Count(); ++c) {
        TColumnItem* col = s.ColumnList[c];
        if (!col->IsAsExplicit || !AnsiSameText(col->ColumnName, name)) continue;
        if (col->ColumnExpr.find("{Aggregate") != std::string::npos ||
            col->ColumnExpr.find("{Subquery") != std::string::npos)
          continue;
        if (col->ColumnExpr == "\\f\"" + name + "\"") continue;
        out += "(" + Qualify(col->ColumnExpr, -1, depth + 1) + ")";
        expanded = true;
        break;
      }
      if (expanded) continue;
    }
    int t = ResolveName(name, field);
    if (t < 0) SqlQueryError(kSqlFieldNotFound, {name});
    out += Ref(s.TableList[t]->Alias, field);
  }
  return AnsiString(out);
}

AnsiString TSqlRun::Clean(const AnsiString& text) {
  AnsiString t = text;
  q.CleanFilterText(t);
  return t;
}

// ---- PlanStatement ------------------------------------------------------------------

bool TSqlRun::PlanStatement() {
  q.BeforePlanTables(s.TableList);

  // FROM (SELECT ...) alias: the first subquery's rows become a table.
  if (s.DefDataSetAsTable && s.TableList.Count() == 0 && !s.SubQueryList.empty()) {
    AnsiString name;
    for (int n = 1;; ++n) {
      name = "SqlQuery" + IntToStr(n);
      bool taken = q.DataSets().IndexOfAlias(name) >= 0;
      if (q.Self()) {
        if (auto* self = dynamic_cast<TComponent*>(q.Self()); self && AnsiSameText(self->Name(), name))
          taken = true;
      }
      if (!taken) break;
    }
    AnsiString alias = s.DefTableName.empty() ? name : s.DefTableName;
    std::unique_ptr<TSqlAnalizer> sub = std::move(s.SubQueryList.front());
    s.SubQueryList.erase(s.SubQueryList.begin());
    if (!s.SubQueryKinds.empty()) s.SubQueryKinds.erase(s.SubQueryKinds.begin());
    TDataSet* ds = q.CreateResultDataSet(sub->TakeResultSet(), name);
    if (!ds) SqlQueryError(kSqlDataSetMissing, {alias});
    TxDataSetItem* item = q.DataSets().Add();
    item->Owned = true;
    item->SetAlias(alias);
    item->SetDataSet(ds);
    if (!ds->Active()) ds->Open();
    TTableItem* t = s.TableList.Add();
    t->TableName = alias;
    t->Alias = alias;
    t->DataSet = ds;
  }

  if (s.StatementKind != skInsert && s.TableList.Count() == 0) SqlQueryError(kSqlNoTables);

  // Binding: one dataset per FROM item.
  auto bind = [this](const AnsiString& tableName, const AnsiString& alias, bool isFile,
                     AnsiString& boundName) -> TDataSet* {
    TDataSet* ds = nullptr;
    boundName = tableName;
    if (isFile) {
      if (q.OnResolveDataset) {
        AnsiString resolved = alias;
        q.OnResolveDataset(q.Self(), tableName, resolved, ds);
        if (!resolved.empty()) boundName = resolved;
        if (ds) {
          TxDataSetItem* item = q.DataSets().Add();
          item->Owned = true;
          if (q.DataSets().IndexOfAlias(alias) < 0) item->SetAlias(alias);
          item->SetDataSet(ds);
        }
      }
    } else {
      ds = q.DataSets().FindDataSet(tableName);
    }
    if (!ds) SqlQueryError(kSqlDataSetMissing, {tableName});
    if (!ds->Active()) {
      try {
        ds->Open();
      } catch (const std::exception&) {
        SqlQueryError(kSqlDataSetNotOpened, {tableName});
      }
    }
    return ds;
  };
  for (int i = 0; i < s.TableList.Count(); ++i) {
    TTableItem* t = s.TableList[i];
    if (t->DataSet) continue;  // a derived table
    AnsiString boundName;
    TDataSet* ds = bind(t->TableName, t->Alias, t->IsQuoted, boundName);
    if (t->IsQuoted && boundName != t->TableName) {
      if (t->Alias == t->TableName) t->Alias = boundName;
      t->TableName = boundName;
    }
    for (int k = 0; k < i; ++k) {
      if (s.TableList[k]->DataSet != ds) continue;
      // The same table twice (a self-join): this item needs a cursor of its own.
      ds = q.CreateCursorCopy(ds);
      if (!ds)
        throw ESqlQueryError(Format(
            "Table %s is named twice in FROM and its dataset cannot give a second cursor",
            {t->TableName}));
      if (!ds->Active()) ds->Open();
      break;
    }
    t->DataSet = ds;
  }
  if (s.StatementKind == skInsert) {
    for (int i = 0; i < s.InsertList.Count(); ++i) {
      TInsertItem* item = s.InsertList[i];
      AnsiString boundName;
      item->DataSet = bind(item->TableName, item->TableName, item->IsFullPath, boundName);
      for (const AnsiString& f : item->FieldNames)
        if (!item->DataSet->FindField(f)) SqlQueryError(kSqlInsertFieldMissing, {f});
      for (AnsiString& v : item->ExprList) v = Clean(v);
    }
  }

  // Columns: names, then qualified texts.
  for (int c = 0; c < s.ColumnList.Count(); ++c) {
    TColumnItem* col = s.ColumnList[c];
    col->ColumnExpr = Clean(col->ColumnExpr);
    if (col->ColumnName.empty()) col->ColumnName = Unmarked(col->ColumnExpr);
  }
  for (int c = 0; c < s.ColumnList.Count(); ++c) {
    TColumnItem* col = s.ColumnList[c];
    col->ColumnExpr = Qualify(col->ColumnExpr, c);
    for (int a = 0; a < col->AggregateList.Count(); ++a) {
      TAggregateItem* agg = col->AggregateList[a];
      agg->AggregateStr = Qualify(Clean(agg->AggregateStr), c);
    }
  }
  if (s.StatementKind == skUpdate) {
    for (int i = 0; i < s.UpdateList.Count(); ++i) {
      TUpdateItem* u = s.UpdateList[i];
      if (!u->SetNull) u->ColExpr = Qualify(Clean(u->ColExpr));
      u->Field = nullptr;
      for (int t = 0; t < s.TableList.Count() && !u->Field; ++t)
        u->Field = s.TableList[t]->DataSet->FindField(u->ColName);
      if (!u->Field) SqlQueryError(kSqlFieldNameNotFound, {u->ColName});
    }
  }

  // SELECT *, T.*: the visible fields of each table.
  auto addAll = [this](TTableItem* t) {
    TFields* fields = t->DataSet->Fields();
    for (int f = 0; f < fields->Count(); ++f) {
      TField* field = fields->Fields(f);
      if (!field->Visible()) continue;
      TColumnItem* col = s.ColumnList.Add();
      col->ColumnName = field->FieldName();
      col->ColumnExpr = Ref(t->Alias, field->FieldName());
      col->CastLen = 1;
    }
  };
  if (s.SelectAll)
    for (int t = 0; t < s.TableList.Count(); ++t) addAll(s.TableList[t]);
  for (const AnsiString& name : s.TableAllFields) {
    int t = FindTableItem(name);
    if (t >= 0) addAll(s.TableList[t]);
  }

  // Subqueries of the statement.
  whereSubqueries = static_cast<int>(s.SubQueryList.size()) - (s.IsSubqueryInSet ? 1 : 0);
  if (whereSubqueries < 0) whereSubqueries = 0;
  for (const auto& sub : s.SubQueryList) {
    if (sub->TableList.Count() != 1) SqlQueryError(kSqlSubqueryTables);
    if (s.StatementKind != skInsert && sub->ColumnList.Count() != 1)
      SqlQueryError(kSqlSubqueryColumns);
  }
  for (size_t k = 1; k < s.SubQueryKinds.size(); ++k)
    if (s.SubQueryKinds[k] != s.SubQueryKinds[0]) SqlQueryError(kSqlMixedSubqueryKinds);

  updateFromSubquery = s.StatementKind == skUpdate && s.SubQueryList.size() == 1 &&
                       s.WhereText.find("(subquery") == std::string::npos;
  // The WHERE: subquery values as references, date markers out.
  AnsiString where = Clean(s.WhereText);
  for (size_t n = 0; n < s.SubQueryList.size(); ++n)
    where = ReplaceAll(where, "(subquery " + IntToStr(static_cast<int>(n)) + ")",
                       SubqueryRef(static_cast<int>(n)));
  s.WhereText = where;

  if (s.StatementKind == skSelect && s.JoinList.Count() == 0 && s.TableList.Count() > 1)
    PlanImplicitJoins();
  s.WhereText = Qualify(s.WhereText);
  if (hasJoinExpression) joinExpressionText = Qualify(joinExpressionText);

  s.MainDataSet = s.StatementKind == skInsert && s.InsertList.Count() > 0
                      ? s.InsertList[0]->DataSet
                      : (s.TableList.Count() > 0 ? s.TableList[0]->DataSet : nullptr);

  // WHERE before the joins: when it reads nothing but the first table.
  whereFirst = true;
  if (!s.WhereText.empty() && s.TableList.Count() > 1) {
    std::map<TDataSet*, int> refs;
    TMainExpr probe(&s, s.MainDataSet);
    probe.ReferencedDataSets = &refs;
    probe.ParseExpression(s.WhereText);
    for (const auto& r : refs)
      if (r.first != s.MainDataSet) whereFirst = false;
  }
  // A RIGHT or FULL join makes rows whose first table is NULL: the WHERE
  // must judge the joined rows, never the first table's rows beforehand.
  for (int i = 0; i < s.JoinList.Count(); ++i)
    if (s.JoinList[i]->JoinKind == 3 || s.JoinList[i]->JoinKind == 4) whereFirst = false;

  if (!s.WhereText.empty() && whereFirst && q.WhereOptimizeMethod == omSetFilter &&
      q.OnSetFilter && whereSubqueries == 0 && s.TableList.Count() > 0)
    filterText = RemovePrefix(s.WhereText, Word(StripBrackets(s.TableList[0]->Alias)) + ".");

  if (s.JoinList.Count() > 0) PlanExplicitJoins();
  if (s.TableList.Count() > 1 && s.JoinList.Count() == 0 && !hasJoinExpression)
    SqlQueryError(kSqlNoJoin);

  // Range candidates.
  for (int i = 0; i < s.WhereOptimizeList.Count(); ++i) {
    TWhereOptimizeItem* w = s.WhereOptimizeList[i];
    w->CanOptimize = false;
    try {
      AnsiString text = Qualify(Clean(w->FieldNames));
      if (text.find(':') != std::string::npos || s.TableList.Count() == 0) continue;
      TMainExpr probe(&s, s.TableList[0]->DataSet);
      if (probe.CheckExpression(text) && probe.FieldRefCount > 0 && probe.FieldRefs[0]) {
        w->CanOptimize = true;
        w->DataSet = probe.FieldRefs[0]->DataSet();
        AnsiString names;
        for (int f = 0; f < probe.FieldRefCount && f < TMainExpr::kMaxFieldRefs; ++f)
          names += (f ? ";" : "") + probe.FieldRefs[f]->FieldName();
        w->FieldNames = names;
      }
    } catch (const std::exception&) {
      w->CanOptimize = false;
    }
  }

  ResolveOrderItems(s.GroupByList, true);
  ResolveOrderItems(s.OrderByList, false);
  if (!s.PivotText.empty()) PlanTransform();
  return true;
}

void TSqlRun::ResolveOrderItems(TOrderByList& list, bool groupBy) {
  for (int i = 0; i < list.Count(); ++i) {
    TOrderByItem* item = list[i];
    if (item->ColIndex >= 0) {
      if (item->ColIndex >= s.ColumnList.Count())
        SqlQueryError(groupBy ? kSqlGroupIndexIncorrect : kSqlFieldIndexIncorrect);
      continue;
    }
    AnsiString name;
    if (SingleMarker(item->Alias, name)) {
      for (int c = 0; c < s.ColumnList.Count() && item->ColIndex < 0; ++c)
        if (s.ColumnList[c]->IsAsExplicit && AnsiSameText(s.ColumnList[c]->ColumnName, name))
          item->ColIndex = c;
      if (item->ColIndex >= 0) continue;
    }
    AnsiString text = Qualify(Clean(item->Alias), -2);
    for (int c = 0; c < s.ColumnList.Count() && item->ColIndex < 0; ++c)
      if (AnsiSameText(s.ColumnList[c]->ColumnExpr, text) ||
          AnsiSameText(s.ColumnList[c]->ColumnExpr, item->Alias))
        item->ColIndex = c;
    if (item->ColIndex < 0) {
      if (groupBy) SqlQueryError(kSqlGroupNotInSelect);
      SqlQueryError(kSqlFieldNotFound, {Unmarked(item->Alias)});
    }
  }
}

// Equalities between fields of two tables among the WHERE's top-level
// conjuncts become inner joins; every FROM table after the first is joined
// in when an equality reaches it from a table joined before, and each join
// level tests every equality between its table and those before it.
void TSqlRun::PlanImplicitJoins() {
  struct Equality {
    int left, right;
    AnsiString leftField, rightField;
    bool used = false;
  };
  std::vector<std::string> conjuncts = TopLevelConjuncts(s.WhereText);
  std::vector<Equality> equalities;
  std::vector<std::string> rest;
  for (const std::string& c : conjuncts) {
    AnsiString l, r, lf, rf;
    if (MarkerEquality(c, l, r)) {
      int lt = ResolveName(l, lf), rt = ResolveName(r, rf);
      if (lt >= 0 && rt >= 0 && lt != rt) {
        equalities.push_back({lt, rt, lf, rf});
        continue;
      }
    }
    rest.push_back(Trim(c));
  }
  if (equalities.empty()) return;
  implicitJoins = true;
  const int tables = s.TableList.Count();
  std::vector<char> bound(static_cast<size_t>(tables), 0);
  bound[0] = 1;
  for (int joined = 1; joined < tables; ++joined) {
    int next = -1;
    for (int t = 1; t < tables && next < 0; ++t) {
      if (bound[t]) continue;
      for (const Equality& e : equalities)
        if ((e.left == t && bound[e.right]) || (e.right == t && bound[e.left])) next = t;
    }
    if (next < 0) SqlQueryError(kSqlNoJoin);
    TJoinOnItem* item = s.JoinList.Add();
    item->JoinKind = 0;
    item->RightDataSet = s.TableList[next]->DataSet;
    AnsiString text;
    for (Equality& e : equalities) {
      if (e.used) continue;
      int other = e.left == next ? e.right : (e.right == next ? e.left : -1);
      if (other < 0 || !bound[other]) continue;
      AnsiString otherField = e.left == next ? e.rightField : e.leftField;
      AnsiString nextField = e.left == next ? e.leftField : e.rightField;
      if (!item->LeftDataSet) item->LeftDataSet = s.TableList[other]->DataSet;
      item->LeftRefTables.push_back(s.TableList[other]->Alias);
      item->LeftRefFields.push_back(otherField);
      item->RightRefTables.push_back(s.TableList[next]->Alias);
      item->RightRefFields.push_back(nextField);
      item->RelOperators.push_back(roEq);
      if (!text.empty()) {
        text += " AND ";
        item->AndOr.push_back(0);
      }
      text += "(" + Ref(s.TableList[other]->Alias, otherField) + " = " +
              Ref(s.TableList[next]->Alias, nextField) + ")";
      e.used = true;
    }
    item->JoinText = text;
    bound[next] = 1;
  }
  AnsiString where;
  for (const std::string& r : rest) where += (where.empty() ? "" : " AND ") + AnsiString(r);
  s.WhereText = where;
}

void TSqlRun::PlanExplicitJoins() {
  if (!implicitJoins) s.JoinList.NormalizeSides(s.TableList);
  for (int i = 0; i < s.JoinList.Count(); ++i) {
    TJoinOnItem* item = s.JoinList[i];
    if (!implicitJoins) {
      if (i + 1 >= s.TableList.Count()) SqlQueryError(kSqlJoinTablesMismatch);
      for (const AnsiString& name : item->LeftRefTables)
        if (!name.empty() && FindTableItem(name) < 0) SqlQueryError(kSqlJoinTablesMismatch);
      item->RightDataSet = s.TableList[i + 1]->DataSet;
      int left = item->LeftRefTables.empty() ? -1 : FindTableItem(item->LeftRefTables[0]);
      item->LeftDataSet = s.TableList[left >= 0 && left <= i ? left : i]->DataSet;
    }
    AnsiString text = Qualify(Clean(DummyToMarkers(item->JoinText)));
    item->JoinText = text;
    std::map<TDataSet*, int> refs;
    auto resolver = std::make_unique<TMainExpr>(&s, item->LeftDataSet);
    resolver->ReferencedDataSets = &refs;
    resolver->ParseExpression(text);
    resolver->ReferencedDataSets = nullptr;
    if (!implicitJoins && refs.size() != 2) throw EExpression(SqlMessage(kSqlJoinNotDefined));
    if (!resolver->Expression() || resolver->Expression()->ExprType() != ttBoolean)
      SqlQueryError(kSqlNotBoolean);
    item->Resolver = std::move(resolver);
  }
}
