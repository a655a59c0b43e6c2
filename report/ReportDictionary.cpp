// TrbDataDictionary (record layout in ReportDictionary.h).
#include "report/ReportDictionary.h"

#include "platform/core/AnsiText.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "report/ReportDatasets.h"
#include "report/ReportFunctions.h"
#include "report/ReportStream.h"

namespace {

constexpr std::uint16_t kMark = 0xFFFE, kPreviousMark = 0xFFFF;
const char* const kSystemVariables[] = {"PAGE#", "DATE", "TIME", "LINE#", "LINETHROUGH#",
                                        "COLUMN#", "CURRENT#", "TOTALPAGES"};

void WriteList(TStream* s, TrbVariables& list) {
  rbStreamWriteInt(s, list.Count());
  for (int i = 0; i < list.Count(); ++i) {
    rbStreamWriteString(s, list.Name(i));
    rbStreamWriteString(s, VarToStr(list.Value(i)));
  }
}

void ReadList(TStream* s, TrbVariables& list) {
  list.Clear();
  std::int32_t n = rbStreamReadInt(s);
  // Every entry takes at least six bytes: a count beyond that is damage.
  if (n < 0 || n > (s->Size() - s->Position()) / 6) rbFormatError(s, "dictionary count " + IntToStr(n));
  for (std::int32_t i = 0; i < n; ++i) {
    AnsiString name = rbStreamReadString(s);
    list.SetVariable(name, Variant(rbStreamReadString(s)));
  }
}

}  // namespace

void TrbDataDictionary::Clear() {
  Variables.Clear();
  FieldAliases.Clear();
  Extra.Clear();
  cache_.clear();
}

void TrbDataDictionary::SaveToStream(TStream* s) {
  rbStreamWriteWord(s, kMark);
  WriteList(s, Variables);
  WriteList(s, FieldAliases);
  WriteList(s, Extra);
}

void TrbDataDictionary::LoadFromStream(TStream* s) {
  Clear();
  std::uint16_t mark = rbStreamReadWord(s);
  if (mark != kMark && mark != kPreviousMark) {
    s->SetPosition(s->Position() - 2);
    LoadOld(s);
    return;
  }
  ReadList(s, Variables);
  ReadList(s, FieldAliases);
  ReadList(s, Extra);
  if (mark == kPreviousMark) {
    // Field references that lead nowhere, and variables without a value, go.
    for (int i = Variables.Count() - 1; i >= 0; --i) {
      AnsiString name = Variables.Name(i);
      AnsiString value = VarToStr(Variables.Value(i));
      TDataSet* ds = nullptr;
      AnsiString field;
      bool deadReference = value.find('"') != std::string::npos && !Resolve(value, ds, field);
      if (!name.empty() && name[0] != ' ' && (value.empty() || deadReference)) Variables.Delete(i);
    }
  }
}

void TrbDataDictionary::LoadOld(TStream* s) {
  std::int32_t n = rbStreamReadInt(s);
  if (n < 0 || n > (s->Size() - s->Position()) / 5) rbFormatError(s, "dictionary count " + IntToStr(n));
  TrbVariables entries;
  for (std::int32_t i = 0; i < n; ++i) {
    std::uint8_t type = rbStreamReadByte(s);
    std::int32_t index = rbStreamReadInt(s);
    AnsiString a = rbReadTemplateString(s), b = rbReadTemplateString(s), name = rbReadTemplateString(s);
    Variant value;
    if (type == 1) value = Variant(a + "." + b);
    else if (type == 2) {
      if (index == 1) value = Variant(b);
      else if (index >= 0 && index < 8) value = Variant(AnsiString(kSystemVariables[index]));
    }
    entries.SetVariable(name, value);
  }
  TStringList order;
  rbReadTemplateMemo(s, &order);
  for (int i = 0; i < order.Count(); ++i) {
    AnsiString line = order[i];
    if (!line.empty() && line[0] == ' ') {
      AnsiString name = line.substr(1);
      Variables.SetVariable(name, entries.Variable(name).IsNull() ? Variant("") : entries.Variable(name));
    } else {
      Variables.SetVariable(" " + line, Variant(""));
    }
  }
}

bool TrbDataDictionary::Resolve(const AnsiString& reference, TDataSet*& dataSet, AnsiString& field) {
  // Split at the last point outside double quotes.
  bool quoted = false;
  size_t dot = std::string::npos;
  for (size_t i = 0; i < reference.size(); ++i) {
    if (reference[i] == '"') quoted = !quoted;
    else if (reference[i] == '.' && !quoted) dot = i;
  }
  AnsiString dsName = dot == std::string::npos ? AnsiString() : AnsiString(reference.substr(0, dot));
  field = rbStripQuotes(dot == std::string::npos ? reference : AnsiString(reference.substr(dot + 1)));
  dataSet = nullptr;
  if (!dsName.empty() && FindDataSet) dataSet = FindDataSet(dsName);
  else if (dsName.empty() && DefaultDataSet) dataSet = DefaultDataSet();
  return dataSet && dataSet->FindField(field);
}

AnsiString TrbDataDictionary::RealDataSetName(const AnsiString& alias) const {
  for (int i = 0; i < FieldAliases.Count(); ++i)
    if (AnsiSameText(VarToStr(FieldAliases.Value(i)), alias)) return FieldAliases.Name(i);
  return alias;
}

bool TrbDataDictionary::IsVariable(const AnsiString& name) {
  if (cache_.count(name)) return true;
  TDataSet* ds = nullptr;
  AnsiString field;
  if (Variables.IndexOf(name) >= 0) {
    AnsiString expr = VarToStr(Variables.Variable(name));
    if (expr.find('.') != std::string::npos && Resolve(expr, ds, field)) {
      cache_[name] = {ds, field};
    }
    return true;
  }
  if (name.find('.') == std::string::npos) return false;
  bool quoted = false;
  size_t dot = std::string::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '"') quoted = !quoted;
    else if (name[i] == '.' && !quoted) dot = i;
  }
  if (dot == std::string::npos) return false;
  AnsiString dsPart = rbStripQuotes(name.substr(0, dot));
  AnsiString fieldPart = rbStripQuotes(name.substr(dot + 1));
  AnsiString realDs = RealDataSetName(dsPart);
  for (int i = 0; i < FieldAliases.Count(); ++i) {  // a field alias under that dataset
    AnsiString ref = FieldAliases.Name(i);
    if (ref.size() > realDs.size() + 1 && AnsiSameText(ref.substr(0, realDs.size() + 1), realDs + ".") &&
        AnsiSameText(VarToStr(FieldAliases.Value(i)), fieldPart)) {
      fieldPart = rbStripQuotes(ref.substr(realDs.size() + 1));
      break;
    }
  }
  if (!Resolve(realDs + ".\"" + fieldPart + "\"", ds, field)) return false;
  cache_[name] = {ds, field};
  return true;
}

Variant TrbDataDictionary::GetValue(const AnsiString& name) {
  auto it = cache_.find(name);
  if (it != cache_.end()) {
    TDataSet* ds = it->second.first;
    if (!ds->Active()) ds->Open();
    TField* f = ds->FindField(it->second.second);
    return f ? rbGetFieldValue(f) : Variant::Null();
  }
  if (Variables.IndexOf(name) >= 0) {
    Variant v = Variables.Variable(name);
    if (v.IsString()) return rbCalcNamed(name, v.AsString());
    return v;
  }
  return Variant::Null();
}
