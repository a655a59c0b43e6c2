// Strings: TStrings, the class library's abstract list of strings with
// associated objects, and TStringList, its concrete, optionally sorted
// form.  Used for SQL text, memo lines, pick lists and key lists.
// platform/core.
//
// Text forms (all code-page-936 bytes, never converted):
//  - Text: every line followed by CR LF.  Assigning splits at CR LF, LF or
//    CR; a line break at the very end adds no empty line.
//  - DelimitedText (CommaText is it with ',' and '"'): items joined by the
//    Delimiter; an item that is empty-with-no-siblings, or holds a byte
//    <= ' ', the QuoteChar or the Delimiter is quoted, with each QuoteChar
//    in it doubled.  Reading splits at the Delimiter and at bytes <= ' '
//    outside quotes; a quoted run may stand anywhere in an item.  Double-byte
//    characters are skipped whole, so a trail byte never acts as a delimiter
//    or quote.
//  - Names and values: an item "name=value" (NameValueSeparator '=').
//
// Comparison: TStrings compares case-insensitively in the locale's ANSI
// order; TStringList follows its CaseSensitive property.
#pragma once

#include <functional>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Component.h"

class TStream;

class TStrings : public TPersistent {
 public:
  TStrings() = default;
  ~TStrings() override = default;

  // -- the abstract list -------------------------------------------------------
  virtual int Count() const = 0;
  virtual AnsiString Get(int index) const = 0;
  virtual void Put(int index, const AnsiString& s);
  virtual TObject* GetObject(int index) const;
  virtual void PutObject(int index, TObject* object);
  virtual void Insert(int index, const AnsiString& s) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;

  AnsiString Strings(int index) const { return Get(index); }
  void SetStrings(int index, const AnsiString& s) { Put(index, s); }
  AnsiString operator[](int index) const { return Get(index); }
  TObject* Objects(int index) const { return GetObject(index); }
  void SetObjects(int index, TObject* object) { PutObject(index, object); }

  virtual int Add(const AnsiString& s);
  virtual int AddObject(const AnsiString& s, TObject* object);
  void Append(const AnsiString& s) { Add(s); }
  virtual void InsertObject(int index, const AnsiString& s, TObject* object);
  virtual void AddStrings(TStrings* strings);
  virtual void Exchange(int index1, int index2);
  // Moves the item (with its object) from curIndex to newIndex.
  virtual void Move(int curIndex, int newIndex);
  bool Equals(const TStrings* strings) const;

  virtual int IndexOf(const AnsiString& s) const;
  int IndexOfName(const AnsiString& name) const;
  int IndexOfObject(const TObject* object) const;

  // -- names and values ----------------------------------------------------------
  AnsiString Names(int index) const;
  AnsiString Values(const AnsiString& name) const;
  // Sets the value of name; an empty value deletes the item.
  void SetValues(const AnsiString& name, const AnsiString& value);
  AnsiString ValueFromIndex(int index) const;
  char NameValueSeparator() const { return nameValueSeparator_; }
  void SetNameValueSeparator(char c) { nameValueSeparator_ = c; }

  // -- text forms --------------------------------------------------------------------
  virtual AnsiString Text() const;
  virtual void SetText(const AnsiString& text);
  AnsiString CommaText() const;
  void SetCommaText(const AnsiString& text);
  AnsiString DelimitedText() const;
  void SetDelimitedText(const AnsiString& text);
  char Delimiter() const { return delimiter_; }
  void SetDelimiter(char c) { delimiter_ = c; }
  char QuoteChar() const { return quoteChar_; }
  void SetQuoteChar(char c) { quoteChar_ = c; }

  // -- updates -----------------------------------------------------------------------
  // Brackets a batch of changes: change notifications are held back until
  // the outermost EndUpdate.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  // -- files and streams (code-page-936 bytes, lines as Text) -----------------------
  // Raises EFOpenError.
  virtual void LoadFromFile(const AnsiString& fileName);
  // Replaces the file whole (the old contents survive a failed write);
  // raises EFCreateError.
  virtual void SaveToFile(const AnsiString& fileName) const;
  // Reads from the stream's position to its end.
  virtual void LoadFromStream(TStream* stream);
  virtual void SaveToStream(TStream* stream) const;

  // Copies the strings and objects of a TStrings source.
  void Assign(TPersistent* source) override;

  // Compares two items the way this list does (sign only).
  virtual int CompareStrings(const AnsiString& a, const AnsiString& b) const;

 protected:
  // Called when the outermost BeginUpdate starts (true) / EndUpdate ends (false).
  virtual void SetUpdateState(bool updating) {}
  // Raises EStringListError with the message (%d replaced by data).
  [[noreturn]] void Error(const char* message, int data) const;

 private:
  AnsiString JoinDelimited(char delimiter, char quote) const;
  void SplitDelimited(const AnsiString& text, char delimiter, char quote);

  int updateCount_ = 0;
  char delimiter_ = ',';
  char quoteChar_ = '"';
  char nameValueSeparator_ = '=';
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList;
// Compares the items at index1 and index2 of list (sign only).
using TStringListSortCompare = std::function<int(TStringList* list, int index1, int index2)>;

class TStringList : public TStrings {
 public:
  TStringList() = default;
  ~TStringList() override;

  int Count() const override { return static_cast<int>(items_.size()); }
  AnsiString Get(int index) const override;
  void Put(int index, const AnsiString& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* object) override;
  int Add(const AnsiString& s) override;
  int AddObject(const AnsiString& s, TObject* object) override;
  // Raises EStringListError "Operation not allowed on sorted list" when Sorted.
  void Insert(int index, const AnsiString& s) override;
  void InsertObject(int index, const AnsiString& s, TObject* object) override;
  void Delete(int index) override;
  void Clear() override;
  void Exchange(int index1, int index2) override;
  // Raises "Operation not allowed on sorted list" when Sorted.
  void Move(int curIndex, int newIndex) override;
  int IndexOf(const AnsiString& s) const override;

  // Binary search of a sorted list: true when s is present; index is the
  // first item equal to s, or where s would be inserted.
  virtual bool Find(const AnsiString& s, int& index) const;
  virtual void Sort();
  virtual void CustomSort(const TStringListSortCompare& compare);

  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  // What Add does with a string already present in a sorted list.
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates d) { duplicates_ = d; }
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool caseSensitive);
  int Capacity() const { return static_cast<int>(items_.capacity()); }
  void SetCapacity(int capacity);

  int CompareStrings(const AnsiString& a, const AnsiString& b) const override;

  TNotifyEvent OnChange;    // after every change (outside BeginUpdate)
  TNotifyEvent OnChanging;  // before every change (outside BeginUpdate)

 protected:
  void SetUpdateState(bool updating) override;
  virtual void Changed();
  virtual void Changing();
  void InsertItem(int index, const AnsiString& s, TObject* object);

 private:
  struct Item {
    AnsiString string;
    TObject* object = nullptr;
  };
  void CheckIndex(int index) const;
  // Sorts unconditionally (nullptr: by CompareStrings).
  void SortBy(const TStringListSortCompare& compare);
  void QuickSort(int left, int right, const TStringListSortCompare& compare);

  std::vector<Item> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
  TDuplicates duplicates_ = dupIgnore;
};
