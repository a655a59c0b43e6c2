// The query's side of the executor; see SqlQueryHost.h.
#include "sql/SqlQueryHost.h"

#include "platform/core/AnsiText.h"
#include "platform/data/Dataset.h"
#include "sql/SqlMessages.h"

// ---- TxDataSetItem ------------------------------------------------------------------

TxDataSetItem::TxDataSetItem(TCollection* collection) : TCollectionItem(collection) {}

void TxDataSetItem::Assign(TPersistent* source) {
  if (auto* other = dynamic_cast<TxDataSetItem*>(source)) {
    alias_ = other->alias_;
    dataSet_ = other->dataSet_;
    return;
  }
  TCollectionItem::Assign(source);
}

AnsiString TxDataSetItem::DisplayName() const {
  AnsiString text = dataSet_ ? dataSet_->Name() + " (" + alias_ + ")" : AnsiString("(not defined)");
  return text.empty() ? TCollectionItem::DisplayName() : text;
}

void TxDataSetItem::SetDataSet(TDataSet* value) {
  if (value && Collection() && static_cast<TPersistent*>(value) == Collection()->Owner())
    throw Exception(SqlMessage(kSqlCircularReference));
  dataSet_ = value;
  if (value && alias_.empty()) alias_ = value->Name();
}

void TxDataSetItem::SetAlias(const AnsiString& value) {
  if (auto* list = dynamic_cast<TxDataSets*>(Collection()); list && list->IndexOfAlias(value) >= 0)
    SqlQueryError(kSqlAliasExists);
  alias_ = value;
}

PAYROLL_PUBLISH(TxDataSetItem) {
  p.Property("Alias", &TxDataSetItem::Alias, &TxDataSetItem::SetAlias);
  p.Property("DataSet", &TxDataSetItem::DataSet, &TxDataSetItem::SetDataSet);
}

// ---- TxDataSets ---------------------------------------------------------------------

TxDataSets::TxDataSets(TPersistent* owner) : TOwnedCollection(owner, ItemClassOf<TxDataSetItem>()) {}

TxDataSetItem* TxDataSets::Items(int index) const {
  return static_cast<TxDataSetItem*>(TCollection::Items(index));
}

TxDataSetItem* TxDataSets::Add() { return static_cast<TxDataSetItem*>(TCollection::Add()); }

int TxDataSets::IndexOfAlias(const AnsiString& alias) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->Alias(), alias)) return i;
  return -1;
}

TxDataSetItem* TxDataSets::AddDataSet(TDataSet* dataSet, const AnsiString& alias) {
  AnsiString name = alias.empty() && dataSet ? dataSet->Name() : alias;
  if (IndexOfAlias(name) >= 0) SqlQueryError(kSqlAliasExists);
  TxDataSetItem* item = Add();
  item->SetAlias(name);
  item->SetDataSet(dataSet);
  return item;
}

TDataSet* TxDataSets::FindDataSet(const AnsiString& tableName) const {
  AnsiString name = tableName;
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
    name = AnsiString(name.substr(1, name.size() - 2));
  int i = IndexOfAlias(name);
  return i < 0 ? nullptr : Items(i)->DataSet();
}

PAYROLL_PUBLISH(TxDataSets) {}

// ---- TExFunctionItem ----------------------------------------------------------------

void TExFunctionItem::Assign(TPersistent* source) {
  if (auto* other = dynamic_cast<TExFunctionItem*>(source)) {
    name_ = other->name_;
    resultType_ = other->resultType_;
    return;
  }
  TCollectionItem::Assign(source);
}

AnsiString TExFunctionItem::DisplayName() const {
  return name_.empty() ? TCollectionItem::DisplayName() : name_;
}

void TExFunctionItem::SetResultType(TExprType value) {
  TExprType previous = resultType_;
  resultType_ = value;
  if (previous != ttString) maxWidth_ = 10;
  if (value != ttString) maxWidth_ = 0;
}

void TExFunctionItem::SetMaxWidth(int value) {
  maxWidth_ = resultType_ == ttString ? (value < 1 ? 1 : value) : 0;
}

PAYROLL_PUBLISH(TExFunctionItem) {
  p.Property("Name", &TExFunctionItem::Name, &TExFunctionItem::SetName);
  p.Property("MaxWidth", &TExFunctionItem::MaxWidth, &TExFunctionItem::SetMaxWidth);
}

TExFunctionItem* TExFunctions::Items(int index) const {
  return static_cast<TExFunctionItem*>(TCollection::Items(index));
}

TExFunctionItem* TExFunctions::Add() { return static_cast<TExFunctionItem*>(TCollection::Add()); }

PAYROLL_PUBLISH(TExFunctions) {}

// ---- TSqlQueryHost ------------------------------------------------------------------

TSqlQueryHost::TSqlQueryHost(TPersistent* self)
    : self_(self),
      dataSets_(std::make_unique<TxDataSets>(self)),
      exFunctions_(std::make_unique<TExFunctions>(self)) {}

TSqlQueryHost::~TSqlQueryHost() = default;

void TSqlQueryHost::CleanFilterText(AnsiString& text) {
  static const std::string kDate = "DummyDate(";
  for (size_t at = text.find(kDate); at != std::string::npos; at = text.find(kDate, at)) {
    text.erase(at, kDate.size());
    size_t close = text.find(')', at);
    if (close != std::string::npos) text.erase(close, 1);
  }
  const struct {
    const char* from;
    const char* to;
  } booleans[] = {{"DummyBoolean(True)", "True"}, {"DummyBoolean(False)", "False"}};
  for (const auto& b : booleans) {
    const std::string from = b.from;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
      text.replace(at, from.size(), b.to);
      at += std::string(b.to).size();
    }
  }
}
