// UdbUtils: see UdbUtils.h.
#include "Udb/UdbUtils.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "Udb/RestructureDefs.h"
#include "platform/core/CodePage.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Strings.h"

int CompareFloat(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

namespace {
// Length in bytes of the character at i (2 for a lead byte with a trail).
size_t CharLen(const AnsiString& s, size_t i) {
  return (IsDBCSLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}
}  // namespace

bool LikeMatch(const AnsiString& textIn, const AnsiString& patternIn) {
  const AnsiString text = textIn.substr(0, 255);
  const AnsiString pattern = patternIn.substr(0, 255);
  if (pattern == "%") return true;
  size_t t = 0, p = 0;
  size_t starP = AnsiString::npos, starT = 0;  // last '%' and where its run ends
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '%') {
      starP = p++;
      starT = t;
      continue;
    }
    if (p < pattern.size()) {
      size_t pl = CharLen(pattern, p), tl = CharLen(text, t);
      if (pattern[p] == '_') {
        p += 1;
        t += tl;
        continue;
      }
      if (pl == tl && std::memcmp(text.data() + t, pattern.data() + p, tl) == 0) {
        p += pl;
        t += tl;
        continue;
      }
    }
    if (starP == AnsiString::npos) return false;
    // Let the last '%' take one more character and try again.
    p = starP + 1;
    starT += CharLen(text, starT);
    t = starT;
  }
  while (p < pattern.size() && pattern[p] == '%') ++p;
  return p == pattern.size();
}

void SemicolonListToStrings(const AnsiString& list, TStrings* strings) {
  strings->Clear();
  for (const AnsiString& name : SplitFieldList(list)) strings->Add(name);
}

AnsiString GetOSErrorText(int error) {
  if (error == -1) error = errno;
  if (error == 0) return "The error type could not be determined";
  const char* text = std::strerror(error);
  if (!text || !*text) return "The error type could not be determined";
  return Utf8ToAnsi(text);
}

AnsiString GetOSVersionText() {
  struct utsname name;
  if (uname(&name) != 0) return "unknown";
  int major = 0, minor = 0, patch = 0;
  std::sscanf(name.release, "%d.%d.%d", &major, &minor, &patch);
  char text[64];
  std::snprintf(text, sizeof text, " %d.%d.%d.%d ", major, minor, patch, 0);
  return AnsiString(text) + " " + AnsiString(name.sysname).substr(0, 128);
}

// --- TCompoundList -------------------------------------------------------------

void TCompoundList::CheckCounts() const {
  if (keys_.size() != values_.size()) throw Exception("Compound list - list counts do no match");
}

void TCompoundList::Add(const void* key, void* value) {
  CheckCounts();
  if (sorted_) {
    auto it = std::lower_bound(keys_.begin(), keys_.end(), key, std::less<const void*>());
    auto at = it - keys_.begin();
    keys_.insert(it, key);
    values_.insert(values_.begin() + at, value);
  } else {
    keys_.push_back(key);
    values_.push_back(value);
  }
}

void TCompoundList::Delete(int index) {
  CheckCounts();
  keys_.erase(keys_.begin() + index);
  values_.erase(values_.begin() + index);
}

void TCompoundList::Clear() {
  keys_.clear();
  values_.clear();
}

int TCompoundList::Count() const {
  CheckCounts();
  return static_cast<int>(keys_.size());
}

int TCompoundList::IndexOf(const void* key) const {
  CheckCounts();
  if (sorted_) {
    auto it = std::lower_bound(keys_.begin(), keys_.end(), key, std::less<const void*>());
    return (it != keys_.end() && *it == key) ? static_cast<int>(it - keys_.begin()) : -1;
  }
  auto it = std::find(keys_.begin(), keys_.end(), key);
  return it == keys_.end() ? -1 : static_cast<int>(it - keys_.begin());
}

void* TCompoundList::Find(const void* key) const {
  int i = IndexOf(key);
  return i < 0 ? nullptr : values_[static_cast<size_t>(i)];
}

void TCompoundList::SetSorted(bool on) {
  CheckCounts();
  if (on && !sorted_) {
    std::vector<size_t> order(keys_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return std::less<const void*>()(keys_[a], keys_[b]); });
    std::vector<const void*> keys;
    std::vector<void*> values;
    for (size_t i : order) {
      keys.push_back(keys_[i]);
      values.push_back(values_[i]);
    }
    keys_.swap(keys);
    values_.swap(values);
  }
  sorted_ = on;
}
