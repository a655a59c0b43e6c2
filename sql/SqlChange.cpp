// UPDATE, DELETE (inside the scan, SqlExecute.cpp) and INSERT.  Every change
// goes through the dataset operations; RowsAffected counts a row once its
// change has been posted.
#include <functional>
#include <vector>

#include "platform/core/AnsiText.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "sql/SqlExecInt.h"
#include "sql/SqlMessages.h"

namespace {

enum TValueKind { vkNone, vkString, vkInteger, vkBoolean, vkFloat };

TValueKind KindOf(TFieldType t) {
  switch (t) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid: return vkString;
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: return vkInteger;
    case ftBoolean: return vkBoolean;
    case ftFloat: case ftCurrency: case ftBCD: case ftDate: case ftTime: case ftDateTime:
      return vkFloat;
    default: return vkNone;
  }
}

bool IsRawData(TFieldType t) {
  return t == ftBytes || t == ftVarBytes || (t >= ftBlob && t <= ftCursor) ||
         (t >= ftADT && t <= ftDataSet);
}

void AssignExpression(TField* field, TExpression* e) {
  switch (KindOf(field->DataType())) {
    case vkString: field->SetAsString(e->AsString()); break;
    case vkInteger: field->SetAsInteger(e->AsInteger()); break;
    case vkBoolean: field->SetAsBoolean(e->AsBoolean()); break;
    case vkFloat: field->SetAsFloat(e->AsFloat()); break;
    case vkNone: break;
  }
}

void AssignColumn(TField* field, TsqField* column) {
  switch (KindOf(field->DataType())) {
    case vkString: field->SetAsString(column->GetAsString()); break;
    case vkInteger: field->SetAsInteger(column->GetAsInteger()); break;
    case vkBoolean: field->SetAsBoolean(column->GetAsBoolean()); break;
    case vkFloat: field->SetAsFloat(column->GetAsFloat()); break;
    case vkNone: break;
  }
}

// Posts the pending record, or cancels it and passes the failure on.
void PostOrCancel(TDataSet* ds) {
  try {
    ds->Post();
  } catch (...) {
    try {
      ds->Cancel();
    } catch (...) {
    }
    throw;
  }
}

// Fills the record being edited and posts it; a failure on the way
// cancels the record and passes on.
void FillAndPost(TDataSet* ds, const std::function<void()>& fill) {
  try {
    fill();
  } catch (...) {
    try {
      ds->Cancel();
    } catch (...) {
    }
    throw;
  }
  PostOrCancel(ds);
}

}  // namespace

void TSqlRun::UpdateCurrentRow() {
  TDataSet* ds = s.MainDataSet;
  // Every SET value is read from the row as it was before the statement
  // changed it (SET a = 2, b = a + 1 adds 1 to the old a): all values
  // first, then the assignments.
  struct TNewValue {
    bool assign = false, toNull = false;
    AnsiString text;
    std::int32_t integer = 0;
    bool boolean = false;
    double number = 0;
  };
  std::vector<TNewValue> values(static_cast<size_t>(s.UpdateList.Count()));
  for (int i = 0; i < s.UpdateList.Count(); ++i) {
    TUpdateItem* u = s.UpdateList[i];
    TNewValue& v = values[static_cast<size_t>(i)];
    if (u->SetNull) {
      v.assign = v.toNull = true;
      continue;
    }
    TExpression* e = u->Resolver ? u->Resolver->Expression() : nullptr;
    if (!e || e->IsNull()) continue;  // a null-valued expression leaves the field as it is
    v.assign = true;
    switch (KindOf(u->Field->DataType())) {
      case vkString: v.text = e->AsString(); break;
      case vkInteger: v.integer = e->AsInteger(); break;
      case vkBoolean: v.boolean = e->AsBoolean(); break;
      case vkFloat: v.number = e->AsFloat(); break;
      case vkNone: v.assign = false; break;
    }
  }
  ds->Edit();
  FillAndPost(ds, [&] {
    for (int i = 0; i < s.UpdateList.Count(); ++i) {
      TField* field = s.UpdateList[i]->Field;
      const TNewValue& v = values[static_cast<size_t>(i)];
      if (!v.assign) continue;
      if (v.toNull) {
        field->Clear();
        continue;
      }
      switch (KindOf(field->DataType())) {
        case vkString: field->SetAsString(v.text); break;
        case vkInteger: field->SetAsInteger(v.integer); break;
        case vkBoolean: field->SetAsBoolean(v.boolean); break;
        case vkFloat: field->SetAsFloat(v.number); break;
        case vkNone: break;
      }
    }
  });
  ++q.RowsAffected;
}

// UPDATE .. SET list = (SELECT ..) [WHERE ..]: the n-th row that passes the
// WHERE, in the dataset's order, takes the subquery's n-th row.  The rows are
// chosen (by bookmark) before any is changed, so a change that moves a row
// in the order or out of a filter neither skips nor repeats one; a subquery
// with fewer rows than that is refused before anything is changed.
void TSqlRun::UpdateFromSubquery() {
  TDataSet* ds = s.MainDataSet;
  TResultSet* rows = s.SubQueryList.front()->ResultSet();
  TBookmarkList marks;
  for (ds->First(); !ds->Eof(); ds->Next())
    if (WhereMatches()) marks.list.push_back(ds->GetBookmark());
  if (!marks.list.empty() && (!rows || rows->GetRecordCount() < static_cast<int>(marks.list.size())))
    SqlQueryError(kSqlRecnoOutOfRange);
  DropPushedFilter();
  int n = 0;
  for (TBookmark b : marks.list) {
    rows->SetRecNo(++n);
    ds->GotoBookmark(b);
    ds->Edit();
    FillAndPost(ds, [&] {
      for (int i = 0; i < s.UpdateList.Count() && i < rows->Fields().Count(); ++i) {
        TsqField* column = rows->Fields().Items(i);
        if (!column->IsNull()) AssignColumn(s.UpdateList[i]->Field, column);
      }
    });
    ++q.RowsAffected;
  }
}

void TSqlRun::PrepareInsert() {
  try {
    for (int i = 0; i < s.InsertList.Count(); ++i) {
      TInsertItem* item = s.InsertList[i];
      item->ResolverList.clear();
      for (const AnsiString& text : item->ExprList) {
        if (AnsiSameText(text, "NULL")) {
          item->ResolverList.push_back(nullptr);
          continue;
        }
        auto e = std::make_unique<TMainExpr>(&s, item->DataSet);
        e->ParseExpression(text);
        item->ResolverList.push_back(std::move(e));
      }
    }
  } catch (...) {
    for (int i = 0; i < s.InsertList.Count(); ++i) s.InsertList[i]->ResolverList.clear();
    throw;
  }
}

void TSqlRun::ExecuteInsert() {
  for (int i = 0; i < s.InsertList.Count(); ++i) {
    TInsertItem* item = s.InsertList[i];
    TDataSet* target = item->DataSet;
    if (!s.SubQueryList.empty()) {
      // INSERT .. SELECT: every row of every subquery.
      for (auto& sub : s.SubQueryList) {
        TResultSet* rows = sub->ResultSet();
        for (int r = 1; rows && r <= rows->GetRecordCount(); ++r) {
          rows->SetRecNo(r);
          target->Insert();
          try {
            auto copy = [&](TField* field, TsqField* column) {
              if (IsRawData(field->DataType())) {
                TField* source = column->SourceField();
                if (source && IsRawData(source->DataType()) && !source->IsNull()) field->Assign(source);
              } else if (!column->IsNull()) {
                AssignColumn(field, column);
              }
            };
            if (item->FieldNames.empty()) {
              const int n = std::min(target->FieldCount(), rows->Fields().Count());
              for (int f = 0; f < n; ++f) copy(target->Fields()->Fields(f), rows->Fields().Items(f));
            } else {
              for (const AnsiString& name : item->FieldNames)
                if (TsqField* column = rows->FindField(name)) copy(target->FieldByName(name), column);
            }
          } catch (...) {
            target->Cancel();
            throw;
          }
          PostOrCancel(target);
          ++q.RowsAffected;
        }
      }
      continue;
    }
    target->Insert();
    try {
      const int values = static_cast<int>(item->ResolverList.size());
      const int n = item->FieldNames.empty() ? std::min(values, target->FieldCount())
                                             : std::min(values, static_cast<int>(item->FieldNames.size()));
      for (int v = 0; v < n; ++v) {
        TMainExpr* e = item->ResolverList[static_cast<size_t>(v)].get();
        if (!e || !e->Expression() || e->Expression()->IsNull()) continue;
        TField* field = item->FieldNames.empty() ? target->Fields()->Fields(v)
                                                 : target->FieldByName(item->FieldNames[static_cast<size_t>(v)]);
        if (IsRawData(field->DataType()))
          field->SetAsString(e->Expression()->AsString());
        else
          AssignExpression(field, e->Expression());
      }
    } catch (...) {
      target->Cancel();
      throw;
    }
    PostOrCancel(target);
    ++q.RowsAffected;
  }
}
