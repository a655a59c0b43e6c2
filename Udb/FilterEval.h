// FilterEval: decides whether one record satisfies a filter.
// TUdbExprParser parses the filter text (FilterExpr.h), loads the buffer's
// nodes into items once (BuildStack) and evaluates them bottom-up against
// the record the caller's field-value reader shows (EvaluateTree).
// TExprTree mirrors the condition items for the filter manager's index
// analysis: each TExprTreeItem carries the constants an index search needs,
// a list of record addresses, and the AND/OR combination of those lists.
//
//   TUdbExprParser eval(&fields, "Age < 30", options);
//   eval.SetKeyCompare(AnsiKeySort);
//   eval.SetFieldValueReader([&](int fieldIndex) { return row[fieldIndex]; });
//   eval.BuildStack();
//   bool pass = eval.EvaluateTree();
//
// Null rules (EvaluateExprValues): a null field fails =, >, >= and passes
// <>; it passes < and <= outside a query and fails them inside one.  A
// comparison that cannot be made (a number against a text that is none)
// is no match, and is written to the engine log.
//
// Errors (EUdbDatabaseError): 10051 a malformed buffer or a tree that does
// not reduce to one condition; 10065 a string comparison without a
// comparison function; 10115 an unknown constant type or operator.
// Calls FilterExpr, UdbErrors, DBLogger, UdbUtils (LikeMatch), SearchKeys
// (the comparison function's type).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Udb/FilterExpr.h"
#include "Udb/SearchKeys.h"

// Reads field `fieldIndex` (FieldNo - 1) of the record being evaluated;
// Null for a null field.
using TFieldValueReader = std::function<Variant(int fieldIndex)>;

// One loaded node of the expression buffer.
struct TFilterItem {
  TNodeClass NodeClass = nodeNULL;
  TCANOperator Operator = coNOTDEFINED;
  std::uint8_t Kind = 2;  // 0 field, 1 constant, 2 any other
  Variant Value;          // a constant's value; an operator's last result
  AnsiString PreparedString;  // string constants under a compare: the index prefix
  const TFilterFieldInfo* Field = nullptr;
  TFilterItem* Left = nullptr;
  TFilterItem* Right = nullptr;
  std::uint16_t W1 = 0;  // compare nodes: case-insensitive flag
  std::uint16_t W2 = 0;  // compare nodes: partial length; LIKE: the pattern's length
  int PatternPrefix = -1;  // LIKE on a string field: bytes before the first wildcard
};

// Converts a constant of the literal area to a variant; 10115 for an
// unknown type code.
Variant FilterConstValue(int typeCode, const std::uint8_t* data, int size);

// Relation of two values under the null rules above.  An unknown operator
// raises 10115; a failed conversion or comparison is logged and is False.
bool EvaluateExprValues(TCANOperator op, const Variant& left, const Variant& right, bool inQuery);

class TUdbExprParser {
 public:
  // Parses the text; parse errors pass to the caller.
  TUdbExprParser(const TFilterFields* fields, const AnsiString& text, const TFilterOptions& options);
  ~TUdbExprParser();
  TUdbExprParser(const TUdbExprParser&) = delete;
  TUdbExprParser& operator=(const TUdbExprParser&) = delete;

  void SetKeyCompare(TKeySortFunction compare) { keyCompare_ = compare; }
  void SetInQuery(bool inQuery) { inQuery_ = inQuery; }
  bool InQuery() const { return inQuery_; }
  void SetFieldValueReader(TFieldValueReader reader) { reader_ = std::move(reader); }
  const TFilterOptions& Options() const { return options_; }

  // Loads the buffer's nodes; item 0 is the root.
  void BuildStack();
  int ItemCount() const { return static_cast<int>(items_.size()); }
  TFilterItem* FilterItem(int i) const { return items_[static_cast<size_t>(i)].get(); }
  // Evaluates the loaded items against the record the reader shows.
  bool EvaluateTree();
  // Evaluates one item whose operands are constants (no record is read).
  bool EvaluateConstantItem(TFilterItem* item);

  const std::vector<std::uint8_t>& Buffer() const { return buffer_; }

 private:
  TFilterItem* LoadNode(int nodeOffset);
  void PrepareConstants();
  void Visit(TFilterItem* item);
  void EvaluateStackNode(TFilterItem* item);
  Variant ValueOf(TFilterItem* item) const;
  TFilterItem* PopOperand();
  int CompareText(const AnsiString& search, const AnsiString& other, bool caseInsensitive,
                  bool partial) const;

  const TFilterFields* fields_;
  TFilterOptions options_;
  std::vector<std::uint8_t> buffer_;
  int nodeStart_ = 0;
  int literalStart_ = 0;
  std::vector<std::unique_ptr<TFilterItem>> items_;
  std::vector<TFilterItem*> operands_;
  std::vector<Variant> listValues_;
  TFieldValueReader reader_;
  TKeySortFunction keyCompare_ = nullptr;
  bool inQuery_ = false;
};

// A record address in the database file.
using TRecAddr = std::uint32_t;

// One entry of the master list: a record's address and its 1-based
// position in the current index.
struct TFilterEntry {
  TRecAddr Address = 0;
  std::uint32_t RecNo = 0;
};

// How much of a condition the indexes answer.
enum TIndexLevel : std::uint8_t { olNone = 0, olPartial = 1, olFull = 2 };

// What a tree item's list means.
enum TResultKind : std::uint8_t { rkNone = 1, rkAll = 2, rkList = 3 };

class TExprTreeItem {
 public:
  std::vector<TRecAddr> RecordList;  // addresses, in the order they were found
  TFilterItem* Node = nullptr;
  TExprTreeItem* RightChild = nullptr;
  TExprTreeItem* LeftChild = nullptr;
  const void* Index = nullptr;      // the index chosen for the node's field
  bool IndexCaseInsensitive = false;
  TResultKind ResultKind = rkList;
  std::vector<Variant> Constants;
  TIndexLevel Level = olNone;
  TIndexLevel RootLevel = olNone;
  bool Complement = false;          // coNE: the list is the master minus the found records
  bool PrefixConstant = false;      // a compare node with a constant

  int GetConstCount() const { return static_cast<int>(Constants.size()); }
  // Null without an index; 10115 past the count.
  Variant GetConstValue(int i) const;
  // The compare node's prefix text when the item has an index; else "".
  AnsiString GetPrefixString() const;
  // FieldNo - 1 of the node's field; -1 without an index or field.
  int GetFieldIndex() const;
};

class TExprTree {
 public:
  TExprTreeItem* Add();
  int Count() const { return static_cast<int>(items_.size()); }
  TExprTreeItem* Items(int i) const { return items_[static_cast<size_t>(i)].get(); }
  void Clear() { items_.clear(); complementPresent_ = false; }
  TIndexLevel RootLevel() const { return items_.empty() ? olNone : items_[0]->Level; }
  bool ComplementPresent() const { return complementPresent_; }
  // After the items are linked and their levels set: root levels,
  // complements and constants.
  void Prepare();
  // Fills complements from the master list and combines the lists of AND
  // and OR items bottom-up into item 0's list.
  void CombineRecordLists(const std::vector<TFilterEntry>& master);

 private:
  void PrepareItem(TExprTreeItem* item, TIndexLevel rootLevel);
  void CombineItem(TExprTreeItem* item, const std::vector<TFilterEntry>& master);
  std::vector<std::unique_ptr<TExprTreeItem>> items_;
  bool complementPresent_ = false;
};
