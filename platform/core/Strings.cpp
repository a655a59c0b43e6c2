#include "platform/core/Strings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/core/AnsiText.h"
#include "platform/core/Streams.h"
#include "platform/core/ScopeGuards.h"

namespace {

// The locale-order comparison of items: the ANSI order of AnsiText.
int CompareItems(const AnsiString& a, const AnsiString& b, bool caseSensitive) {
  return caseSensitive ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

// Length of the character starting at s[i]: 2 for a lead byte with its
// trail byte, else 1.
size_t CharLen(const AnsiString& s, size_t i) {
  return IsDBCSLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

bool IsBlank(char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; }

}  // namespace

// ---- TStrings --------------------------------------------------------------

void TStrings::Error(const char* message, int data) const {
  char buf[256];
  std::snprintf(buf, sizeof buf, message, data);
  throw EStringListError(buf);
}

void TStrings::Put(int index, const AnsiString& s) {
  TObject* object = GetObject(index);
  Delete(index);
  InsertObject(index, s, object);
}

TObject* TStrings::GetObject(int) const { return nullptr; }
void TStrings::PutObject(int, TObject*) {}

int TStrings::Add(const AnsiString& s) {
  int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const AnsiString& s, TObject* object) {
  int index = Add(s);
  PutObject(index, object);
  return index;
}

void TStrings::InsertObject(int index, const AnsiString& s, TObject* object) {
  Insert(index, s);
  PutObject(index, object);
}

void TStrings::AddStrings(TStrings* strings) {
  TUpdateScope update(this);
  // Count taken once: adding a list to itself doubles it.
  const int n = strings->Count();
  for (int i = 0; i < n; ++i) AddObject(strings->Get(i), strings->GetObject(i));
}

void TStrings::Exchange(int index1, int index2) {
  TUpdateScope update(this);
  AnsiString s = Get(index1);
  TObject* o = GetObject(index1);
  Put(index1, Get(index2));
  PutObject(index1, GetObject(index2));
  Put(index2, s);
  PutObject(index2, o);
}

void TStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  // Check the target before the item is taken out, so that a bad index
  // cannot lose it.
  if (newIndex < 0 || newIndex >= Count()) Error("List index out of bounds (%d)", newIndex);
  TUpdateScope update(this);
  AnsiString s = Get(curIndex);
  TObject* o = GetObject(curIndex);
  Delete(curIndex);
  InsertObject(newIndex, s, o);
}

bool TStrings::Equals(const TStrings* strings) const {
  if (Count() != strings->Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (Get(i) != strings->Get(i)) return false;
  return true;
}

int TStrings::CompareStrings(const AnsiString& a, const AnsiString& b) const {
  return CompareItems(a, b, false);
}

int TStrings::IndexOf(const AnsiString& s) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TStrings::IndexOfName(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i) {
    AnsiString s = Get(i);
    size_t p = s.find(nameValueSeparator_);
    if (p != std::string::npos && CompareStrings(s.substr(0, p), name) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(const TObject* object) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == object) return i;
  return -1;
}

// The separator is ASCII below 0x40, so it never equals a trail byte and a
// plain byte search finds only real separators.
AnsiString TStrings::Names(int index) const {
  AnsiString s = Get(index);
  size_t p = s.find(nameValueSeparator_);
  return p == std::string::npos ? AnsiString() : AnsiString(s.substr(0, p));
}

AnsiString TStrings::ValueFromIndex(int index) const {
  AnsiString s = Get(index);
  size_t p = s.find(nameValueSeparator_);
  return p == std::string::npos ? AnsiString() : AnsiString(s.substr(p + 1));
}

AnsiString TStrings::Values(const AnsiString& name) const {
  int i = IndexOfName(name);
  return i < 0 ? AnsiString() : ValueFromIndex(i);
}

void TStrings::SetValues(const AnsiString& name, const AnsiString& value) {
  int i = IndexOfName(name);
  if (!value.empty()) {
    AnsiString item = name + nameValueSeparator_ + value;
    if (i < 0)
      Add(item);
    else
      Put(i, item);
  } else if (i >= 0) {
    Delete(i);
  }
}

AnsiString TStrings::Text() const {
  AnsiString out;
  for (int i = 0; i < Count(); ++i) {
    out += Get(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(const AnsiString& text) {
  TUpdateScope update(this);
  Clear();
  // CR and LF are below 0x40 and never trail bytes.
  size_t i = 0;
  while (i < text.size()) {
    size_t start = i;
    while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
    Add(text.substr(start, i - start));
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') ++i;
  }
}

AnsiString TStrings::DelimitedText() const { return JoinDelimited(delimiter_, quoteChar_); }

void TStrings::SetDelimitedText(const AnsiString& text) {
  SplitDelimited(text, delimiter_, quoteChar_);
}

AnsiString TStrings::JoinDelimited(char d, char q) const {
  if (Count() == 1 && Get(0).empty()) return AnsiString(2, q);
  AnsiString out;
  for (int i = 0; i < Count(); ++i) {
    AnsiString s = Get(i);
    bool quote = false;
    for (size_t k = 0; k < s.size(); k += CharLen(s, k)) {
      char c = s[k];
      if (CharLen(s, k) == 1 && (static_cast<unsigned char>(c) <= ' ' || c == q || c == d)) {
        quote = true;
        break;
      }
    }
    if (i > 0) out += d;
    if (!quote) {
      out += s;
      continue;
    }
    out += q;
    for (size_t k = 0; k < s.size(); k += CharLen(s, k)) {
      if (CharLen(s, k) == 1 && s[k] == q) out += q;
      out.append(s, k, CharLen(s, k));
    }
    out += q;
  }
  return out;
}

void TStrings::SplitDelimited(const AnsiString& text, char d, char q) {
  TUpdateScope update(this);
  Clear();
  size_t i = 0;
  const size_t n = text.size();
  auto skipBlanks = [&] {
    while (i < n && IsBlank(text[i])) ++i;
  };
  skipBlanks();
  while (i < n && text[i] != '\0') {
    AnsiString item;
    if (text[i] == q) {
      // A quoted run: doubled quotes stand for one; an unterminated run
      // takes the rest of the text.
      ++i;
      while (i < n) {
        size_t len = CharLen(text, i);
        if (len == 1 && text[i] == q) {
          if (i + 1 < n && text[i + 1] == q) {
            item += q;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item.append(text, i, len);
        i += len;
      }
    } else {
      size_t start = i;
      while (i < n && static_cast<unsigned char>(text[i]) > ' ' && text[i] != d)
        i += CharLen(text, i);
      item = text.substr(start, i - start);
    }
    Add(item);
    skipBlanks();
    if (i < n && text[i] == d) {
      if (i + 1 == n) Add(AnsiString());  // a trailing delimiter ends an empty item
      do {
        ++i;
      } while (i < n && IsBlank(text[i]));
    }
  }
}

// CommaText always uses ',' and '"', whatever Delimiter and QuoteChar are.
AnsiString TStrings::CommaText() const { return JoinDelimited(',', '"'); }

void TStrings::SetCommaText(const AnsiString& text) { SplitDelimited(text, ',', '"'); }

void TStrings::BeginUpdate() {
  if (updateCount_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

void TStrings::LoadFromFile(const AnsiString& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TStrings::SaveToFile(const AnsiString& fileName) const {
  // Through a temporary file: a full disk or a crash leaves the old file.
  WriteFileAtomically(fileName, Text());
}

void TStrings::LoadFromStream(TStream* stream) {
  std::int64_t size = stream->Size() - stream->Position();
  AnsiString text;
  if (size > 0) {
    text.resize(static_cast<size_t>(size));
    for (std::int64_t done = 0; done < size;) {
      int n = static_cast<int>(std::min<std::int64_t>(size - done, 1 << 30));
      stream->ReadBuffer(text.data() + done, n);
      done += n;
    }
  }
  SetText(text);
}

void TStrings::SaveToStream(TStream* stream) const {
  AnsiString text = Text();
  for (size_t done = 0; done < text.size();) {
    int n = static_cast<int>(std::min<size_t>(text.size() - done, 1u << 30));
    stream->WriteBuffer(text.data() + done, n);
    done += static_cast<size_t>(n);
  }
}

void TStrings::Assign(TPersistent* source) {
  if (auto* src = dynamic_cast<TStrings*>(source)) {
    if (src == this) return;  // clearing first would empty the source too
    TUpdateScope update(this);
    Clear();
    AddStrings(src);
    return;
  }
  TPersistent::Assign(source);
}

// ---- TStringList -------------------------------------------------------------

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) Error("List index out of bounds (%d)", index);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::SetUpdateState(bool updating) {
  // Called with the count already raised (or not yet lowered), so fire
  // the events directly.
  if (updating) {
    if (OnChanging) OnChanging(this);
  } else {
    if (OnChange) OnChange(this);
  }
}

AnsiString TStringList::Get(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].string;
}

void TStringList::Put(int index, const AnsiString& s) {
  if (sorted_) Error("Operation not allowed on sorted list", 0);
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].string = s;
  Changed();
}

TObject* TStringList::GetObject(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].object;
}

void TStringList::PutObject(int index, TObject* object) {
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].object = object;
  Changed();
}

int TStringList::Add(const AnsiString& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const AnsiString& s, TObject* object) {
  int index;
  if (!sorted_) {
    index = Count();
  } else if (Find(s, index)) {
    switch (duplicates_) {
      case dupIgnore: return index;
      case dupError: Error("String list does not allow duplicates", 0);
      case dupAccept: break;
    }
  }
  InsertItem(index, s, object);
  return index;
}

void TStringList::Insert(int index, const AnsiString& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const AnsiString& s, TObject* object) {
  if (sorted_) Error("Operation not allowed on sorted list", 0);
  if (index < 0 || index > Count()) Error("List index out of bounds (%d)", index);
  InsertItem(index, s, object);
}

void TStringList::InsertItem(int index, const AnsiString& s, TObject* object) {
  Changing();
  items_.insert(items_.begin() + index, Item{s, object});
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

void TStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
  Changed();
}

void TStringList::Move(int curIndex, int newIndex) {
  // A sorted list refuses the re-insertion; refuse before the item is
  // taken out rather than after.
  if (sorted_ && curIndex != newIndex) Error("Operation not allowed on sorted list", 0);
  TStrings::Move(curIndex, newIndex);
}

int TStringList::IndexOf(const AnsiString& s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  int index;
  return Find(s, index) ? index : -1;
}

int TStringList::CompareStrings(const AnsiString& a, const AnsiString& b) const {
  return CompareItems(a, b, caseSensitive_);
}

bool TStringList::Find(const AnsiString& s, int& index) const {
  // Binary search for the first item not less than s.
  bool found = false;
  int lo = 0, hi = Count() - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(items_[static_cast<size_t>(mid)].string, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) found = true;
    }
  }
  index = lo;
  return found;
}

void TStringList::QuickSort(int left, int right, const TStringListSortCompare& compare) {
  // Hoare partition around the middle item, tracked by index because the
  // comparison addresses items by position.
  while (left < right) {
    int i = left, j = right, pivot = (left + right) / 2;
    while (i <= j) {
      while (compare(this, i, pivot) < 0) ++i;
      while (compare(this, j, pivot) > 0) --j;
      if (i <= j) {
        std::swap(items_[static_cast<size_t>(i)], items_[static_cast<size_t>(j)]);
        if (pivot == i)
          pivot = j;
        else if (pivot == j)
          pivot = i;
        ++i;
        --j;
      }
    }
    // Recurse into the smaller part, loop on the larger: depth stays O(log n).
    if (j - left < right - i) {
      if (left < j) QuickSort(left, j, compare);
      left = i;
    } else {
      if (i < right) QuickSort(i, right, compare);
      right = j;
    }
  }
}

// A sorted list is kept in order by Add; sorting it again (or by another
// order) would break Find, so Sort and CustomSort leave it alone.
void TStringList::CustomSort(const TStringListSortCompare& compare) {
  if (!sorted_ && Count() > 1 && compare) SortBy(compare);
}

void TStringList::Sort() {
  if (!sorted_) SortBy(nullptr);
}

void TStringList::SortBy(const TStringListSortCompare& compare) {
  if (Count() < 2) return;
  Changing();
  if (compare) {
    QuickSort(0, Count() - 1, compare);
  } else {
    QuickSort(0, Count() - 1, [](TStringList* list, int a, int b) {
      return list->CompareStrings(list->items_[static_cast<size_t>(a)].string,
                                  list->items_[static_cast<size_t>(b)].string);
    });
  }
  Changed();
}

void TStringList::SetSorted(bool sorted) {
  if (sorted_ == sorted) return;
  if (sorted) SortBy(nullptr);
  sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool caseSensitive) {
  if (caseSensitive_ == caseSensitive) return;
  caseSensitive_ = caseSensitive;
  // The order depends on case sensitivity: re-sort so that Find stays right.
  if (sorted_) SortBy(nullptr);
}

void TStringList::SetCapacity(int capacity) {
  if (capacity > Count()) items_.reserve(static_cast<size_t>(capacity));
}
