// TIndexManager / TIndexItem: the indexes of one open table.  The table
// dataset builds a manager from the table definition's TInternalIndexDefs
// and TKeyFields when the table opens; each item owns its B-tree (BTree.h)
// and its own key fields.  The manager keeps the roots and depths in the
// table header (TableHeaderFormat.h: entry IndexSequence), opens the trees,
// finds indexes by name or by field list and names the current index.
// Calls the B-tree, the table header and the block I/O interfaces only.
//
// Opening a table's indexes:
//   mgr.SetSortFunction(SortFunctionFor(tableDef.SortOrder));
//   mgr.Assign(&tableDef.InternalIndexDefs);  mgr.AssignKeyFields(tableDef.KeyFields);
//   mgr.SetIOInterface(indexIO);  mgr.SetTableHeader(header);  mgr.Open();
// A new table makes its empty roots with CreateEmptyIndexes (after Assign,
// AssignKeyFields, SetIOInterface, SetTableHeader) before Open.
//
// Errors: EUdbDatabaseError (8581, 9997); a failing Open leaves the items
// opened so far open.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Udb/BTree.h"
#include "Udb/InternalIndexDefs.h"

class TBaseIOInterface;
class TIndexManager;
class TReadAheadBuffer;
class TTableHeader;

class TIndexItem : public TCollectionItem, public TIndexDefProperties {
  PAYROLL_CLASS(TIndexItem, TCollectionItem)
 public:
  explicit TIndexItem(TCollection* collection);
  ~TIndexItem() override;
  // From a TInternalIndexDef: the definition, key fields emptied.  From a
  // TIndexItem: the definition, key fields, Root and Depth.
  void Assign(TPersistent* source) override;

  TIndexManager* Manager() const;
  TBTree& Tree() { return *tree_; }
  TKeyFields* KeyFields() const { return keyFields_.get(); }
  std::uint32_t Root() const { return root_; }
  void SetRoot(std::uint32_t v) { root_ = v; }
  std::uint32_t Depth() const { return depth_; }
  void SetDepth(std::uint32_t v) { depth_ = v; }

  // 8581 "IO Interface is unassigned" / "Not initialized" (root or depth 0).
  void Open();
  // Root := Depth := 0, then a new empty root leaf; the tree stays closed.
  void CreateEmpty();
  void Close();

  // --- the tree's operations ---
  int Compare(const std::uint8_t* keyA, const std::uint8_t* keyB, const TKeyModifiers* modifiers = nullptr);
  void SetSearchKeyFromKey(const std::uint8_t* key, const TKeyModifiers* modifiers = nullptr);
  void SetSearchKeyFromRecord(const std::uint8_t* record, const TKeyModifiers* modifiers = nullptr);
  void BuildKey(const std::uint8_t* record, std::uint8_t* key) const;
  // Inserts the search key with the record's address.
  void Insert(TUdbAddr recordAddress);
  void Delete();
  void DeleteAtCursor();  // see TBTree::DeleteAtCursor
  const std::uint8_t* CurrentKey() const;
  TUdbAddr CurrentRecordAddress() const;
  std::uint32_t RecordCount();
  int CurrentRecNo() const;
  TUdbAddr AddressOfRecNo(int n);
  int Find(int mode, const TSearchModifier& modifier = TSearchModifier());
  bool Next();
  bool Prior();
  // n times Next (n > 0) or -n times Prior; true when every step moved.
  bool MoveBy(int n);
  int CompareCurrent(int partCount, const std::uint8_t* key) const;
  void ScanMatches(int partCount, const std::uint8_t* key, int mode, bool reverse, TUdbAddr stopAddress,
                   std::vector<TScanMatch>& list);
  void ReadAhead(int direction, int count, TReadAheadBuffer& buffer);
  void ResetNodes();

 private:
  void InitTree();

  std::unique_ptr<TKeyFields> keyFields_;
  std::uint32_t root_ = 0;
  std::uint32_t depth_ = 0;
  std::unique_ptr<TBTree> tree_;
};

class TIndexManager : public TCollection {
  PAYROLL_CLASS(TIndexManager, TCollection)
 public:
  TIndexManager();
  ~TIndexManager() override;

  TIndexItem* Add() { return static_cast<TIndexItem*>(TCollection::Add()); }
  TIndexItem* Items(int i) const { return static_cast<TIndexItem*>(TCollection::Items(i)); }
  // From a TIndexManager item by item; from TInternalIndexDefs one item per
  // definition, in order.
  void Assign(TPersistent* source) override;

  TBaseIOInterface* IOInterface() const { return io_; }
  void SetIOInterface(TBaseIOInterface* io) { io_ = io; }
  TTableHeader* TableHeader() const { return header_; }
  void SetTableHeader(TTableHeader* header) { header_ = header; }
  TKeySortFunction SortFunction() const { return sort_; }
  void SetSortFunction(TKeySortFunction sort) { sort_ = sort; }
  const AnsiString& CurrentIndexName() const { return currentIndexName_; }
  void SetCurrentIndexName(const AnsiString& name) { currentIndexName_ = name; }
  // Indexes that are not Hidden (counted by Open).
  int VisibleIndexCount() const { return visibleCount_; }

  // Gives every index its parts of a table's key fields (by IndexName).
  // 9997 for a part naming a missing index; 8581 "KeyBuffers invalid" for a
  // string part without a size marker or an index left without parts.
  void AssignKeyFields(const TKeyFields& keyFields);
  // 8581 without a sort function; reads the roots, opens every item.
  void Open();
  // Each item's Root and Depth := the header's entry at its IndexSequence;
  // reset: the trees forget their cached nodes first.
  void ReadRoots(bool reset);
  void WriteRoots();
  // An empty root per index, stored in the header.
  void CreateEmptyIndexes();
  // 9997 "Index does not exist" when the current name names no index.
  TIndexItem* CurrentIndex() const;
  TIndexItem* FindIndex(const AnsiString& name) const;
  // The first index whose leading key fields carry the names in order
  // (names compared without case); caseSensitive: those parts must not be
  // CaseInsensitive.  Null when none fits.
  TIndexItem* FindIndexForFields(const std::vector<AnsiString>& fieldNames, bool caseSensitive) const;
  void ResetAll();
  // Closes every item, empties the collection, forgets the I/O interface.
  void Close();

 private:
  TBaseIOInterface* io_ = nullptr;
  TTableHeader* header_ = nullptr;
  AnsiString currentIndexName_;
  TKeySortFunction sort_ = nullptr;
  int visibleCount_ = 0;
};
