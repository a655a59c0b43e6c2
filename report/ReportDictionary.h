// TrbDataDictionary: a report's named variables (expressions or dataset
// field references, grouped under category headings whose names begin with
// a blank), field aliases and a cache of names resolved to dataset fields.
// Stored with the template after tag 254.  Calls the parser, the function
// globals (cycle-guarded evaluation) and platform/data.
//
// Record: word mark (written FFFE; FFFF the previous layout; anything else
// the old layout, whose two bytes are given back), then three lists
// (Variables, FieldAliases, a third stored list), each an int32 count and
// count x (name string, value string).
//
// Old layout: int32 count; per entry a type byte (1 field reference, 2
// system variable), an int32 system-variable index and three strings (the
// third the name); then a line list (template form) giving the order, in
// which headings have no leading blank and variables have one.
#pragma once

#include <functional>
#include <map>

#include "report/ReportParser.h"

class TDataSet;
class TStream;

class TrbDataDictionary {
 public:
  TrbVariables Variables;
  TrbVariables FieldAliases;
  TrbVariables Extra;

  // Finds a dataset by its component name (the report owner's lookup).
  std::function<TDataSet*(const AnsiString& name)> FindDataSet;
  // The dataset of the band being formed (a bare field name's dataset).
  std::function<TDataSet*()> DefaultDataSet;

  void Clear();
  void LoadFromStream(TStream* stream);
  void SaveToStream(TStream* stream);

  bool IsVariable(const AnsiString& name);
  // A field's value, a variable's expression evaluated, else Null.
  Variant GetValue(const AnsiString& name);
  // The real reference an alias stands for (the alias itself when none).
  AnsiString RealDataSetName(const AnsiString& alias) const;

 private:
  bool Resolve(const AnsiString& reference, TDataSet*& dataSet, AnsiString& field);
  void LoadOld(TStream* stream);
  std::map<AnsiString, std::pair<TDataSet*, AnsiString>> cache_;
};
