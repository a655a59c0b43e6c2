// UdbUtils: the engine's small shared helpers (LIKE matching, list
// splitting, the compound list, operating-system texts).  Each helper has
// one home: key sizes of field types are in KeyFields.h (CoreDataSize),
// lossy conversions in RestructureDefs.h, the table header's size check in
// TableHeaderFormat.h (udbhdr::CheckHeaderSize).  Path helpers,
// user and computer names and tick counts come from platform/core (Files.h,
// SysInfo.h); key buffer comparison from AnsiText.h (CompareAnsiKey).
// Calls platform/core and platform/data only.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/core/AnsiString.h"

class TStrings;

// -1, 0, 1.
int CompareFloat(double a, double b);

// SQL LIKE: '%' any run (also empty), '_' any one character (a double-byte
// character counts as one), others themselves, case-sensitive.  Both texts
// are cut to 255 bytes.
bool LikeMatch(const AnsiString& text, const AnsiString& pattern);

// Fills strings (cleared first) from a ';'-separated list, as
// SplitFieldList (RestructureDefs.h) splits it.
void SemicolonListToStrings(const AnsiString& list, TStrings* strings);

// The system's message for errno `error` (the last error when -1), or "The
// error type could not be determined".
AnsiString GetOSErrorText(int error = -1);
// " <major>.<minor>.<patch>.0  <system name>" of the running kernel, or
// "unknown".
AnsiString GetOSVersionText();

// TCompoundList: two parallel lists (key, value) of equal length.  Lookup
// is linear, or binary when marked sorted (keys ascending).
class TCompoundList {
 public:
  void Add(const void* key, void* value);
  void Delete(int index);
  void Clear();
  int Count() const;
  const void* Key(int index) const { return keys_.at(static_cast<size_t>(index)); }
  void* Value(int index) const { return values_.at(static_cast<size_t>(index)); }
  // Index of key, -1 when absent.
  int IndexOf(const void* key) const;
  // The value stored with key, null when absent.
  void* Find(const void* key) const;
  bool Sorted() const { return sorted_; }
  // Sorting keeps each key with its value.
  void SetSorted(bool on);

 private:
  void CheckCounts() const;
  std::vector<const void*> keys_;
  std::vector<void*> values_;
  bool sorted_ = false;
};
