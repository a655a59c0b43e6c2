// Restructure definitions: assignment, change classification and key
// validation (see RestructureDefs.h).
#include "Udb/RestructureDefs.h"

#include <algorithm>

#include "Udb/KeyFields.h"
#include "platform/core/AnsiText.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Strings.h"

namespace {

const char* const kStatusTexts[] = {
    "Unchanged Item",  "Definition Only Changed",   "New Item",
    "Deleted Item",    "Data Requirements Changed", "Data Loss Possible",
};

bool IsBlobKind(TFieldType t) { return t == ftBlob || t == ftMemo || t == ftGraphic || t == ftFmtMemo; }
bool IsStringKind(TFieldType t) { return t == ftString || t == ftWideString; }

[[noreturn]] void Raise(const AnsiString& message) { throw Exception(message); }

// The field or index definitions share these two: the item named `name`,
// and the marking of a list that has no source (every item is new).
template <class TDefs>
auto FindByName(const TDefs& defs, const AnsiString& name) -> decltype(defs.Items(0)) {
  for (int i = 0; i < defs.Count(); ++i)
    if (defs.Items(i)->Name() == name) return defs.Items(i);
  return nullptr;
}

// Log lines: itemLabel + name (quoted by quote) + " status: New Item" per
// item, then listLabel + ": Change status is - New Item".
template <class TDefs>
void MarkAllNew(TDefs& defs, const char* itemLabel, const char* quote, const char* listLabel) {
  TStrings* log = defs.Log();
  for (int i = 0; i < defs.Count(); ++i) {
    defs.Items(i)->SetStatus(rsNewItem);
    if (log) log->Add(itemLabel + (quote + defs.Items(i)->Name() + quote) + " status: " +
                      RestructureStatusText(rsNewItem));
  }
  defs.SetStatus(rsNewItem);
  if (log) log->Add(AnsiString(listLabel) + ": Change status is - " + RestructureStatusText(rsNewItem));
}

}  // namespace

AnsiString RestructureStatusText(TRestructureStatus status) {
  return status <= rsDataLossPossible ? AnsiString(kStatusTexts[status]) : AnsiString();
}

bool ConversionLosesData(TFieldType newType, TFieldType oldType) {
  auto oldIs = [&](std::initializer_list<TFieldType> types) {
    return std::find(types.begin(), types.end(), oldType) != types.end();
  };
  bool loses = false;
  switch (newType) {
    case ftSmallint: case ftWord:
      loses = !oldIs({ftSmallint, ftWord, ftBoolean});
      break;
    case ftInteger: case ftAutoInc:
      loses = oldIs({ftFloat, ftCurrency, ftBCD, ftTime, ftDateTime});
      break;
    case ftBoolean:
      loses = oldType != ftBoolean;
      break;
    case ftCurrency: case ftBCD:
      loses = oldIs({ftFloat, ftTime, ftDateTime});
      break;
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo:
      loses = !IsBlobKind(oldType);
      break;
    default:
      break;
  }
  if (loses) return true;
  if (IsBlobKind(oldType) && !IsBlobKind(newType)) return true;
  return IsStringKind(newType) != IsStringKind(oldType);
}

std::vector<AnsiString> SplitFieldList(const AnsiString& fields) {
  std::vector<AnsiString> names;
  if (fields.empty()) return names;
  size_t start = 0;
  for (;;) {
    size_t semi = fields.find(';', start);
    names.emplace_back(fields.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  return names;
}

// --- TRestructureFieldDef -------------------------------------------------------

void TRestructureFieldDef::Assign(TPersistent* source) {
  if (auto* fd = dynamic_cast<TFieldDef*>(source)) {
    name_ = fd->Name();
    dataType_ = fd->DataType();
    size_ = fd->Size();
    precision_ = fd->Precision();
    required_ = fd->Required();
    sourceName_ = fd->Name();
    return;
  }
  if (auto* rd = dynamic_cast<TRestructureFieldDef*>(source)) {
    status_ = rd->status_;
    required_ = rd->required_;
    size_ = rd->size_;
    name_ = rd->name_;
    dataType_ = rd->dataType_;
    precision_ = rd->precision_;
    sourceName_ = rd->sourceName_;
    return;
  }
  TCollectionItem::Assign(source);
}

void TRestructureFieldDef::AssignTo(TPersistent* dest) {
  if (auto* fd = dynamic_cast<TFieldDef*>(dest)) {
    fd->SetName(name_);
    fd->SetDataType(dataType_);
    fd->SetSize(size_);
    fd->SetPrecision(precision_);
    fd->SetRequired(required_);
    return;
  }
  TCollectionItem::AssignTo(dest);
}

// --- TRestructureFieldDefs ------------------------------------------------------

TRestructureFieldDefs::TRestructureFieldDefs() : TCollection(ItemClassOf<TRestructureFieldDef>()) {}

TRestructureFieldDef* TRestructureFieldDefs::Items(int index) const {
  return static_cast<TRestructureFieldDef*>(TCollection::Items(index));
}

TRestructureFieldDef* TRestructureFieldDefs::AddFieldDef(const AnsiString& name, TFieldType dataType,
                                                         int size) {
  TRestructureFieldDef* def = Add();
  def->SetName(name);
  def->SetDataType(dataType);
  def->SetSize(size);
  return def;
}

TRestructureFieldDef* TRestructureFieldDefs::Find(const AnsiString& name) const {
  return FindByName(*this, name);
}

TRestructureFieldDef* TRestructureFieldDefs::FindBySourceName(const AnsiString& sourceName) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->SourceName() == sourceName) return Items(i);
  return nullptr;
}

void TRestructureFieldDefs::Assign(TPersistent* source) {
  if (auto* defs = dynamic_cast<TFieldDefs*>(source)) {
    BeginUpdate();
    Clear();
    for (int i = 0; i < defs->Count(); ++i) Add()->Assign(defs->Items(i));
    EndUpdate();
    return;
  }
  TCollection::Assign(source);
}

void TRestructureFieldDefs::AssignTo(TPersistent* dest) {
  if (auto* defs = dynamic_cast<TFieldDefs*>(dest)) {
    defs->Clear();
    for (int i = 0; i < Count(); ++i) defs->AddFieldDef()->Assign(Items(i));
    return;
  }
  TCollection::AssignTo(dest);
}

void TRestructureFieldDefs::AddLog(const AnsiString& line) {
  if (log_) log_->Add(line);
}

void TRestructureFieldDefs::MarkChanges(TFieldDefs* source) {
  status_ = rsUnchanged;
  if (source == nullptr && source_ == nullptr) {
    MarkAllNew(*this, "Field Def: ", "", "FieldDefs");
    return;
  }
  if (source_ == nullptr) source_ = source;
  TFieldDefs* src = source_;
  if (Count() > src->Count())
    status_ = rsNewItem;
  else if (Count() < src->Count())
    status_ = rsDeletedItem;

  for (int i = 0; i < Count(); ++i) {
    TRestructureFieldDef* item = Items(i);
    TRestructureStatus st;
    if (item->SourceName().empty()) {
      st = rsNewItem;
    } else {
      int at = src->IndexOf(item->SourceName());
      if (at < 0) Raise("Source Def not found");
      TFieldDef* old = src->Items(at);
      if (ConversionLosesData(item->DataType(), old->DataType()))
        st = rsDataLossPossible;
      else if (item->DataType() == old->DataType() && item->Size() < old->Size())
        st = rsDataLossPossible;
      else if (item->DataType() == old->DataType() && item->Size() == old->Size())
        st = (item->Name() == old->Name() && i == at && item->Required() == old->Required())
                 ? rsUnchanged
                 : rsDefinitionOnly;
      else
        st = rsDataRequirementsChanged;
    }
    item->SetStatus(st);
    status_ = std::max(status_, st);
    AddLog("Field Def: " + item->Name() + " status: " + RestructureStatusText(st));
  }
  // A deleted field needs a data copy; it must not lower a status that an
  // earlier change raised to "Data Loss Possible" (R1).
  for (int i = 0; i < src->Count(); ++i) {
    if (FindBySourceName(src->Items(i)->Name()) != nullptr) continue;
    status_ = std::max<TRestructureStatus>(status_, rsDataRequirementsChanged);
    AddLog("Prior Field Def: " + src->Items(i)->Name() + " status: " + RestructureStatusText(rsDeletedItem));
  }
  AddLog("FieldDefs: Change status is - " + RestructureStatusText(status_));
}

// --- TRestructureIndexDef -------------------------------------------------------

void TRestructureIndexDef::Assign(TPersistent* source) {
  if (auto* id = dynamic_cast<TIndexDef*>(source)) {
    options_ = id->Options();
    fields_ = id->Fields();
    caseInsFields_ = id->CaseInsFields();
    descFields_ = id->DescFields();
    name_ = id->Name();
    sourceDef_ = id;
    return;
  }
  if (auto* rd = dynamic_cast<TRestructureIndexDef*>(source)) {
    sourceDef_ = rd->sourceDef_;
    status_ = rd->status_;
    caseInsFields_ = rd->caseInsFields_;
    name_ = rd->name_;
    fields_ = rd->fields_;
    descFields_ = rd->descFields_;
    options_ = rd->options_;
    return;
  }
  TCollectionItem::Assign(source);
}

void TRestructureIndexDef::AssignTo(TPersistent* dest) {
  if (auto* id = dynamic_cast<TIndexDef*>(dest)) {
    id->SetName(name_);
    id->SetOptions(options_);
    id->SetFields(fields_);
    id->SetCaseInsFields(caseInsFields_);
    id->SetDescFields(descFields_);
    return;
  }
  TCollectionItem::AssignTo(dest);
}

// --- TRestructureIndexDefs ------------------------------------------------------

TRestructureIndexDefs::TRestructureIndexDefs() : TCollection(ItemClassOf<TRestructureIndexDef>()) {}

TRestructureIndexDef* TRestructureIndexDefs::Items(int index) const {
  return static_cast<TRestructureIndexDef*>(TCollection::Items(index));
}

TRestructureIndexDef* TRestructureIndexDefs::AddIndexDef(const AnsiString& name, const AnsiString& fields,
                                                         const TIndexOptions& options) {
  TRestructureIndexDef* def = Add();
  def->SetName(name);
  def->SetFields(fields);
  def->SetOptions(options);
  if (options.Contains(ixCaseInsensitive)) def->SetCaseInsFields(fields);
  if (options.Contains(ixDescending)) def->SetDescFields(fields);
  return def;
}

TRestructureIndexDef* TRestructureIndexDefs::Find(const AnsiString& name) const {
  return FindByName(*this, name);
}

void TRestructureIndexDefs::Assign(TPersistent* source) {
  if (auto* defs = dynamic_cast<TIndexDefs*>(source)) {
    BeginUpdate();
    Clear();
    for (int i = 0; i < defs->Count(); ++i) Add()->Assign(defs->Items(i));
    EndUpdate();
    return;
  }
  TCollection::Assign(source);
}

void TRestructureIndexDefs::AssignTo(TPersistent* dest) {
  if (auto* defs = dynamic_cast<TIndexDefs*>(dest)) {
    defs->Clear();
    for (int i = 0; i < Count(); ++i) defs->AddIndexDef()->Assign(Items(i));
    return;
  }
  TCollection::AssignTo(dest);
}

void TRestructureIndexDefs::AddLog(const AnsiString& line) {
  if (log_) log_->Add(line);
}

void TRestructureIndexDefs::ValidateIndexDefs(TRestructureFieldDefs* fieldDefs) {
  for (int i = 0; i < Count(); ++i) {
    TRestructureIndexDef* item = Items(i);
    for (const AnsiString* list : {&item->Fields(), &item->CaseInsFields(), &item->DescFields()}) {
      std::vector<AnsiString> names = SplitFieldList(*list);
      int keySize = 0;
      for (const AnsiString& name : names) {
        TRestructureFieldDef* fd = fieldDefs ? fieldDefs->Find(name) : nullptr;
        if (fd == nullptr)
          Raise(Format("The field '%s' in index '%s' was not found in the table field definitions.",
                       {name, item->Name()}));
        keySize += CoreDataSize(fd->DataType());
        if (fd->DataType() == ftString) keySize += fd->Size();
        if (fd->DataType() == ftWideString) keySize += 2 * fd->Size();
      }
      if (keySize > maxKeySize_)
        Raise(Format("The Index '%s' with fields '%s' has exceeded the maximum key size of %d",
                     {item->Name(), *list, maxKeySize_}));
      if (static_cast<int>(names.size()) > maxKeyFieldCount_)
        Raise(Format("The Index '%s' with fields '%s' has exceeded the maximum key field count of %d",
                     {item->Name(), *list, maxKeyFieldCount_}));
    }
    status_ = std::max(status_, item->Status());
  }
  AddLog("IndexDefs: Validation OK");
}

TRestructureStatus TRestructureIndexDefs::CompareIndexDef(TRestructureIndexDef* item,
                                                          TRestructureFieldDefs* fieldDefs) {
  TIndexDef* src = item->SourceDef();
  if (src == nullptr) {
    AddLog("New Index Def: " + item->Name());
    return rsNewItem;
  }
  if (item->Options() != src->Options() || item->Index() != src->Index()) {
    AddLog("Index Def: " + item->Name() + " - Options or position changed");
    return rsDataRequirementsChanged;
  }
  TRestructureStatus st = rsUnchanged;
  if (!SameText(item->Name(), src->Name())) {
    st = rsDefinitionOnly;
    AddLog("Index Def: " + item->Name() + " - Name changed");
  }
  auto fieldDef = [&](const AnsiString& name) {
    TRestructureFieldDef* fd = fieldDefs ? fieldDefs->Find(name) : nullptr;
    return fd;
  };
  for (const AnsiString& name : SplitFieldList(item->Fields())) {
    TRestructureFieldDef* fd = fieldDef(name);
    if (fd == nullptr)
      Raise(Format("The field '%s' in index '%s' was not found in the table field definitions - %s",
                   {name, item->Name(), item->Fields()}));
    if (fd->Status() >= rsNewItem) {
      AddLog("Index Def: " + item->Name() + " - Changed field: " + name);
      return rsDataRequirementsChanged;
    }
  }
  // Field lists compared by the names the fields had in the source table.
  auto translate = [&](const AnsiString& list) {
    AnsiString out;
    for (const AnsiString& name : SplitFieldList(list)) {
      TRestructureFieldDef* fd = fieldDef(name);
      if (fd == nullptr) Raise("The field definition cannot be found " + name);
      if (!out.empty()) out += ';';
      out += fd->SourceName();
    }
    return out;
  };
  struct ListPair {
    const char* what;
    AnsiString mine, theirs;
  };
  const ListPair lists[] = {
      {"Index Def fields changed: ", item->Fields(), src->Fields()},
      {"Index Def case insensitive fields changed: ", item->CaseInsFields(), src->CaseInsFields()},
      {"Index Def descending fields changed: ", item->DescFields(), src->DescFields()},
  };
  for (const ListPair& l : lists) {
    if (!SameText(translate(l.mine), l.theirs)) {
      AddLog(l.what + item->Name() + " from " + l.theirs + " to " + l.mine);
      return rsDataRequirementsChanged;
    }
  }
  return st;
}

void TRestructureIndexDefs::MarkChanges(TIndexDefs* source, TRestructureFieldDefs* fieldDefs) {
  ValidateIndexDefs(fieldDefs);
  status_ = rsUnchanged;
  if (source == nullptr) {
    MarkAllNew(*this, "Index Def: ", "'", "IndexDefs");
    return;
  }
  if (Count() > source->Count())
    status_ = rsNewItem;
  else if (Count() < source->Count())
    status_ = rsDeletedItem;
  for (int i = 0; i < Count(); ++i) {
    TRestructureIndexDef* item = Items(i);
    TRestructureStatus st = CompareIndexDef(item, fieldDefs);
    item->SetStatus(st);
    status_ = std::max(status_, st);
    AddLog("Index Def: '" + item->Name() + "' status: " + RestructureStatusText(st));
  }
  for (int i = 0; i < source->Count(); ++i) {
    TIndexDef* old = source->Items(i);
    bool referred = false;
    for (int j = 0; j < Count() && !referred; ++j) referred = Items(j)->SourceDef() == old;
    if (referred) continue;
    status_ = std::max<TRestructureStatus>(status_, rsDataRequirementsChanged);  // R1
    AddLog("Prior Index Def: " + old->Name() + " status: " + RestructureStatusText(rsDeletedItem));
  }
  AddLog("IndexDefs: Change status is - " + RestructureStatusText(status_));
}
