// The statement model's list operations; see SqlModel.h.
#include "sql/SqlModel.h"

#include <utility>

#include "platform/core/AnsiText.h"
#include "sql/SortList.h"

void TAggregateList::Assign(const TAggregateList& other) {
  Clear();
  for (int i = 0; i < other.Count(); ++i) {
    const TAggregateItem* from = other.Items(i);
    TAggregateItem* to = Add();
    to->AggregateStr = from->AggregateStr;
    to->ValueColumnIndex = from->ValueColumnIndex;
    to->Kind = from->Kind;
    to->IsDistinct = from->IsDistinct;
  }
}

TColumnItem::TColumnItem(TItemList<TColumnItem>* owner) : Owner(owner) {}

TColumnItem::~TColumnItem() {
  if (!AutoFree) (void)Resolver.release();  // someone else owns it
}

void TColumnList::DeleteAggregateRow(int row) {
  for (auto& column : items_) {
    for (int i = 0; i < column->AggregateList.Count(); ++i)
      column->AggregateList.Items(i)->Values->Delete(row);
  }
}

void TColumnList::SortAggregateValues(TsqSortList& sortList) {
  const int rows = sortList.GetRecordCount();
  for (auto& column : items_) {
    for (int a = 0; a < column->AggregateList.Count(); ++a) {
      TAggregateItem* item = column->AggregateList.Items(a);
      auto sorted = std::make_unique<TAggSparseList>(1000);
      for (int i = 1; i <= rows; ++i) {
        sortList.SetRecNo(i);
        const int source = sortList.GetSourceRecNo();
        // Only group leaders hold records; a row without one reads as 0
        // wherever it goes, so it needs none in the new order either.
        if (!item->Values->Has(source)) continue;
        sorted->SetValue(i, item->Values->GetValue(source));
        sorted->SetSecondValue(i, item->Values->GetSecondValue(source));
        sorted->SetCount(i, item->Values->GetCount(source));
      }
      item->Values = std::move(sorted);
    }
  }
}

void TColumnList::KeepAggregateRows(const std::vector<char>& keep) {
  for (auto& column : items_) {
    for (int a = 0; a < column->AggregateList.Count(); ++a) {
      TAggregateItem* item = column->AggregateList.Items(a);
      auto left = std::make_unique<TAggSparseList>(1000);
      int to = 0;
      for (int row = 1; row <= static_cast<int>(keep.size()); ++row) {
        if (!keep[static_cast<size_t>(row - 1)]) continue;
        ++to;
        if (!item->Values->Has(row)) continue;
        left->SetValue(to, item->Values->GetValue(row));
        left->SetSecondValue(to, item->Values->GetSecondValue(row));
        left->SetCount(to, item->Values->GetCount(row));
      }
      item->Values = std::move(left);
    }
  }
}

void TJoinOnItem::Assign(const TJoinOnItem& other) {
  JoinKind = other.JoinKind;
  JoinText = other.JoinText;
  LeftRefTables = other.LeftRefTables;
  LeftRefFields = other.LeftRefFields;
  RightRefTables = other.RightRefTables;
  RightRefFields = other.RightRefFields;
  RelOperators.insert(RelOperators.end(), other.RelOperators.begin(), other.RelOperators.end());
  AndOr.insert(AndOr.end(), other.AndOr.begin(), other.AndOr.end());
}

void TJoinOnItem::Reset() {
  JoinKind = 0;
  JoinText.clear();
  LeftRefTables.clear();
  LeftRefFields.clear();
  RightRefTables.clear();
  RightRefFields.clear();
  RelOperators.clear();
  AndOr.clear();
}

namespace {

int FindTable(const TTableList& tables, const AnsiString& name) {
  for (int i = 0; i < tables.Count(); ++i) {
    const TTableItem* t = tables.Items(i);
    if (AnsiSameText(t->TableName, name) || AnsiSameText(t->Alias, name)) return i;
  }
  return -1;
}

int Mirror(int code) {
  switch (code) {
    case roGT: return roLT;
    case roLT: return roGT;
    case roGE: return roLE;
    case roLE: return roGE;
    default: return code;
  }
}

}  // namespace

void TJoinOnItem::NormalizeSides(const TTableList& tables) {
  for (size_t i = 0; i < LeftRefTables.size() && i < RightRefTables.size(); ++i) {
    int left = FindTable(tables, LeftRefTables[i]);
    int right = FindTable(tables, RightRefTables[i]);
    if (left < 0 || right < 0 || left <= right) continue;
    std::swap(LeftRefTables[i], RightRefTables[i]);
    if (i < LeftRefFields.size() && i < RightRefFields.size())
      std::swap(LeftRefFields[i], RightRefFields[i]);
    std::swap(LeftDataSet, RightDataSet);
    if (i < RelOperators.size()) RelOperators[i] = Mirror(RelOperators[i]);
  }
}

void TJoinOnList::NormalizeSides(const TTableList& tables) {
  for (auto& item : items_) item->NormalizeSides(tables);
}

TCreateField* TCreateFields::Add(const AnsiString& name, int fieldType, int scale, int precision,
                                 int size, int blobType, std::uint8_t action) {
  TCreateField* f = TItemList<TCreateField>::Add();
  f->FieldName = name;
  f->FieldType = fieldType;
  f->Scale = scale;
  f->Precision = precision;
  f->Size = size;
  f->BlobType = blobType;
  f->Action = action;
  return f;
}

TCreateField* TCreateFields::Items(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return TItemList<TCreateField>::Items(index);
}


TParamsAsFields::~TParamsAsFields() = default;

TParamsAsFieldsItem* TParamsAsFields::Add() {
  items_.push_back(std::make_unique<TParamsAsFieldsItem>(this));
  return items_.back().get();
}

TParamsAsFieldsItem* TParamsAsFields::FindItem(const AnsiString& name) const {
  for (const auto& item : items_)
    if (item->Name() == name) return item.get();
  return nullptr;
}

void TParamsAsFieldsItem::SetName(const AnsiString& name) {
  if (owner_ && owner_->FindItem(name)) throw ESqlQueryError("ParamsAsFields: duplicate name");
  name_ = name;
}

AnsiString TParamsAsFieldsItem::DisplayName(const AnsiString& defaultText) const {
  if (Value.empty() && name_.empty()) return defaultText;
  return Value + " - " + name_;
}
