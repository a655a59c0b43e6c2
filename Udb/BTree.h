// TNode / TBTree: one index of a table as a B+-tree of fixed-size nodes,
// stored as blocks of the table's index I/O interface.  Leaves hold one key
// per record (key layout: SearchKeys.h) and are chained both ways; internal
// nodes hold, per child, the child's first key, the number of records below
// the child and the child's address, so that the tree also answers record
// numbers.  Owned by TIndexItem (IndexManager.h), which also owns the Root
// and Depth values the tree updates; those live in the table header.
// Calls the block I/O interface, SearchKeys and UdbErrors only.
//
// Node block (NodeSize bytes, the index's IndexPageSize; little-endian):
//
//   offset  size           content
//   0       4              leaf flag: 1 = leaf, 0 = internal (low 7 bits)
//   4       4              bytes in use in the key area
//   8       4              leaves: address of the next leaf (0 = none)
//   12      4              leaves: address of the previous leaf (0 = none)
//   16      NodeSize - 16  key area: entries packed from 0, each a key of
//                          MaximumKeySize bytes; the rest is 0
//
// Leaf entry: the record's key, record address at entry offset 6, count 0.
// Internal entry: the child's first key, count (records below the child) at
// entry offset 2, child address at entry offset 6.
//
// Invariants (the code that relies on one names it):
//   B1  entries of a node ascend in key order (CompareKeys, all parts).
//   B2  an internal entry holds its child's current first key and the exact
//       record count of the child's subtree.
//   B3  every leaf lies at depth Depth; the root is a leaf iff Depth = 1.
//   B4  the root address never changes once created; the depth grows and
//       shrinks at the root.
//   B5  the leaf chain visits the leaves in key order, both ways.
//   B6  only the root may be empty (an empty index is one empty root leaf).
//
// Full: used + 16 + MaximumKeySize >= NodeSize (a full node splits at
// once).  Under-filled: used + 16 < NodeSize / 2.
//
// Searches.  A search positions on the lower bound (the first entry not
// smaller than the search key in the compared parts) or the upper bound
// (the first entry greater).  Internal nodes are descended to the last
// child whose first key is below the search key (lower bound) or not above
// it (upper bound), so a partial key that matches a run of many equal keys
// spread over many leaves always lands on the first (or past the last) of
// the run, never in its middle.  When the bound lies past the leaf reached,
// it is the first entry of the next leaf: the path steps there.
//
// The path (one node per level, root first) is always a real root-to-leaf
// path: stepping between leaves moves the path, not only the leaf.
//
// States: closed -> (Open) open, not positioned -> (Search, Find, First,
// Last, Insert, Delete) positioned -> (ResetNodes) not positioned.  A change
// that fails after it began to modify nodes leaves the tree failed: every
// operation raises 8581 until ResetNodes (after the rollback) or a reopen.
//
// Damage.  Node byte counts, key lengths, leaf flags, child addresses and
// the depth read from the file are checked when a node is read and raise
// 8451 before anything is written.  Every walk ends on any file: a step
// into another leaf must reach keys beyond the last one seen, and a search
// whose bound opens the next leaf must find that leaf's first key past the
// bound (8451 otherwise), so nodes that lead back to leaves already passed
// (a cycle, a child named twice) stop the walk.  Structural misuse raises
// 8581; our own broken invariants raise the assertion failure of unit
// UdbIndexUnit.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Udb/DatabaseFileFormat.h"
#include "Udb/SearchKeys.h"

class TBaseIOInterface;
class TReadAheadBuffer;

namespace udbnode {
constexpr int kLeafFlag = 0;
constexpr int kUsedBytes = 4;
constexpr int kNextLeaf = 8;
constexpr int kPriorLeaf = 12;
constexpr int kHeaderSize = 16;  // the key area starts here
constexpr int kDefaultNodeSize = 4096;
constexpr std::uint32_t kLeafFlagMask = 0x7F;
constexpr int kMaxDepth = 32;  // deeper trees cannot be built from 4 GB of nodes
static_assert(kUsedBytes == kLeafFlag + 4);
static_assert(kNextLeaf == kUsedBytes + 4);
static_assert(kPriorLeaf == kNextLeaf + 4);
static_assert(kHeaderSize == kPriorLeaf + 4);
}  // namespace udbnode

// One node held in memory.  The cursor is an entry number (0-based); the
// entry's byte offset in the key area is cursor * MaximumKeySize.
class TNode {
 public:
  TNode() = default;
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;

  // Allocates and zeroes the buffer.
  void Init(TBaseIOInterface* io, int nodeSize, int maximumKeySize);
  bool Allocated() const { return !buffer_.empty(); }

  TUdbAddr Address() const { return address_; }
  // A new address clears the buffer, keeping the leaf flag.
  void SetAddress(TUdbAddr address);
  // Reads unless already at address (cursor 0).  The bytes are checked
  // (8451): leaf flag, byte count, key lengths, child addresses.
  void Read(TUdbAddr address);
  // Reads even when already at address.
  void ReadFresh(TUdbAddr address);
  // Forgets the cached address: the next Read goes to the file.
  void Forget() { address_ = 0; }
  void Write();
  // Zeroes the buffer, keeps the leaf flag; cursor 0.
  void Clear();
  // Makes this node a byte copy of other (address and cursor kept).
  void CopyContentFrom(const TNode& other);

  bool IsLeaf() const;
  void SetLeaf(bool leaf);
  bool IsFull() const { return Used() + udbnode::kHeaderSize + keySize_ >= nodeSize_; }
  bool IsUnderfilled() const { return Used() + udbnode::kHeaderSize < nodeSize_ / 2; }
  bool IsEmpty() const { return Used() == 0; }
  int Used() const;
  int EntryCount() const { return Used() / keySize_; }
  TUdbAddr NextLeaf() const;
  void SetNextLeaf(TUdbAddr address);
  TUdbAddr PriorLeaf() const;
  void SetPriorLeaf(TUdbAddr address);
  int NodeSize() const { return nodeSize_; }
  int MaximumKeySize() const { return keySize_; }

  // --- cursor ---
  int Cursor() const { return cursor_; }
  void SetCursor(int entry) { cursor_ = entry; }
  void First() { cursor_ = 0; }
  void Last() { cursor_ = EntryCount() > 0 ? EntryCount() - 1 : 0; }
  bool Next();   // false at the last entry (cursor unchanged)
  bool Prior();  // false at the first entry
  bool CursorValid() const { return cursor_ >= 0 && cursor_ < EntryCount(); }

  // --- entries ---
  // The entry's bytes; 8581 "ReadPos is out of range" past the entries.
  const std::uint8_t* KeyAt(int entry) const;
  const std::uint8_t* CurrentKey() const;  // 8581 "Cursor is out of range"
  // Entry offset 6 of the current entry; 8581 "Node cursor out of range".
  TUdbAddr RecordAddress() const;
  void ReadKey(int entry, std::uint8_t* buffer) const;
  void CopyCurrentKey(std::uint8_t* buffer) const;
  // requires: room for one more entry (not full before the insert).
  void InsertKey(int entry, const std::uint8_t* key);
  void DeleteKey(int entry);
  void ReplaceKey(int entry, const std::uint8_t* key);
  void SetEntryCount(int entry, std::uint32_t count);
  void SetEntryAddress(int entry, TUdbAddr address);
  // Records in the entries 0..entry: the counts in an internal node, one
  // per entry in a leaf; entry < 0 or past the end counts all.
  std::uint32_t CountUpTo(int entry) const;
  std::uint32_t TotalCount() const { return CountUpTo(-1); }

  // Moves the entries from the one holding byte Used() / 2 on into target
  // (a cleared node at its new address), copying the header; leaves are
  // relinked (target after this node; the old next leaf's prior link is
  // rewritten in the file).  8581 "Node is empty" / "Node is overfull".
  void SplitNode(TNode& target);
  // Takes all of sibling's entries: appended when sibling is on the right,
  // in front when on the left.  Leaves take over sibling's outer link and
  // the outer neighbour is pointed at this node in the file.
  void MergeNodes(const TNode& sibling, bool siblingOnRight);
  // Moves whole entries between this node and sibling so that the split
  // point is the entry holding byte (used + sibling used) / 2.
  void Redistribute(TNode& sibling, bool siblingOnRight);

  // Rewrites one link of the leaf at address through its 16-byte header.
  static void SetLeafLink(TBaseIOInterface* io, TUdbAddr address, int linkOffset, TUdbAddr value);

 private:
  std::uint8_t* Area() { return buffer_.data() + udbnode::kHeaderSize; }
  const std::uint8_t* Area() const { return buffer_.data() + udbnode::kHeaderSize; }
  void SetUsed(int used);
  void CheckOpen(const char* operation) const;
  void Validate() const;

  TBaseIOInterface* io_ = nullptr;
  TUdbAddr address_ = 0;
  int nodeSize_ = 0;
  int keySize_ = 1;
  int cursor_ = 0;
  std::vector<std::uint8_t> buffer_;
};

// One record position found by ScanMatches.
struct TScanMatch {
  TUdbAddr Address = 0;
  int RecNo = 0;
};

class TBTree {
 public:
  TBTree();
  ~TBTree();
  TBTree(const TBTree&) = delete;
  TBTree& operator=(const TBTree&) = delete;

  // root and depth belong to the index item and outlive the tree's use.
  void Init(TBaseIOInterface* io, int nodeSize, std::uint32_t* root, std::uint32_t* depth);
  // The index's key parts (copied) and its maximum key size as defined
  // (0: take the key parts' size).  Before Open.
  void SetKeyFields(const TKeyFields& fields, int maximumKeySize = 0);
  const TKeyFields& KeyFields() const { return keyFields_; }
  void ClearKeyFields();
  void SetSortFunction(TKeySortFunction sort) { sort_ = sort; }
  TKeySortFunction SortFunction() const { return sort_; }
  // 8581 without a sort function, with key parts whose size differs from
  // the defined maximum key size, or a node too small for four keys.
  void Open();
  void Close();
  bool IsOpen() const { return open_; }

  // Allocates one zeroed leaf; Root := its address, Depth := 1.
  void CreateRoot();

  const TKeyLayout& Layout() const { return layout_; }
  int MaximumKeySize() const { return layout_.MaximumKeySize(); }
  int NodeSize() const { return nodeSize_; }

  // --- keys ---
  // The search key (and the key to insert): built from a record or copied
  // from a key.  modifiers: one part modifier per part (0 low, 1 normal, 2
  // high) or null for all 1.
  void SetSearchKeyFromRecord(const std::uint8_t* record, const TKeyModifiers* modifiers = nullptr);
  void SetSearchKeyFromKey(const std::uint8_t* key, const TKeyModifiers* modifiers = nullptr);
  const std::uint8_t* SearchKey() const { return searchKey_.data(); }
  // MaximumKeySize bytes into key.
  void BuildKey(const std::uint8_t* record, std::uint8_t* key) const;
  // Copies a key (its length from its WORD, at most MaximumKeySize).
  void CopyKey(const std::uint8_t* source, std::uint8_t* target) const;
  int Compare(const std::uint8_t* keyA, const std::uint8_t* keyB,
              const TKeyModifiers* modifiers = nullptr, int partCount = 0) const;

  // --- searching and stepping ---
  // Positions the path on the lower bound of the search key over partCount
  // parts (below 1: all).  force: when every key is smaller, the cursor
  // goes to the last key.  The comparison of the search key with the key
  // landed on (0 equal, < 0 the key is greater, > 0 every key is smaller).
  int Search(int partCount, bool force);
  // Modes: 0 less-than, 1 less-or-equal, 2 equal, 3 greater-or-equal, 4
  // greater-than, 5 nearest.  0 when positioned as asked, else non-zero.
  int Find(int mode, const TSearchModifier& modifier = TSearchModifier());
  bool Next();
  bool Prior();
  // Both true when they moved the cursor onto a key.
  bool First();
  bool Last();
  bool KeyValid() const { return positioned_ && keyValid_; }
  // The current leaf entry; 8581 "CurrentKeyCursor is invalid".
  const std::uint8_t* CurrentKey() const;
  TUdbAddr CurrentRecordAddress() const;
  // The record (a record buffer) carries the entry key's values, all parts
  // compared: an entry that names a record of another key is damage (a
  // walk that goes on from the record's key would go round for ever).
  bool RecordMatchesEntry(const std::uint8_t* record, const std::uint8_t* entryKey);
  // The key against the current key over partCount parts: < 0 when key
  // sorts before it.
  int CompareCurrent(int partCount, const std::uint8_t* key) const;

  // --- changes (both keep Root; they update Depth) ---
  // Inserts the search key with the record address; the cursor ends on it.
  void Insert(TUdbAddr recordAddress);
  // Deletes the current key; the cursor ends on the key after it (or the
  // last key).
  void Delete();
  // Delete without finding the entry again: for a caller whose search of
  // this tree has just put the cursor on the entry, with no change to the
  // index since (by this tree or any other).  Not positioned on a key, it
  // is Delete.
  void DeleteAtCursor();

  // --- record numbers (1-based, in key order) ---
  std::uint32_t RecordCount();
  int CurrentRecNo() const;
  // The address of record n; the cursor does not move.  8581 outside
  // 1..RecordCount.
  TUdbAddr AddressOfRecNo(int n);

  // From the current key: forwards for modes 2..5, backwards for 0 and 1.
  // Mode 2 collects while the keys equal key in partCount parts; the others
  // collect up to and including the record at stopAddress (0: to the end).
  // Record numbers count from the current one; reverse reverses the list.
  // Follows the leaf chain; the cursor does not move.
  void ScanMatches(int partCount, const std::uint8_t* key, int mode, bool reverse,
                   TUdbAddr stopAddress, std::vector<TScanMatch>& list);
  // Up to count entries of the current leaf into buffer, in key order:
  // direction 1 ending at the cursor, 3 centred on it, otherwise starting
  // at it.  Each item gets the key, the record address and its number.
  void ReadAhead(int direction, int count, TReadAheadBuffer& buffer);

  // Forgets every cached node: the next access reads from the file.  Also
  // ends the refusal after a failed change (call it after the rollback).
  void ResetNodes();
  // A change failed part-way; every operation raises 8581 until ResetNodes.
  bool Failed() const { return failed_; }

  // Walks the whole tree and checks B1..B6; 8451 on the first fault.
  void CheckStructureForTest();

 private:
  enum class TBound { Lower, Upper };
  struct TEntryRef {
    TUdbAddr address = 0;
  };

  std::uint32_t RootAddress() const { return *root_; }
  int TreeDepth() const { return static_cast<int>(*depth_); }
  void CheckReady(const char* location) const;
  void CheckDepth() const;
  int PartCountFor(const TSearchModifier& modifier) const;
  void PrepareSearchKey(const TKeyModifiers* modifiers);

  // -- search phases --
  void ResizePath();
  void ReadLevel(int level, TUdbAddr address);
  // tryLast: the last entry is compared first, and decides alone when the
  // bound lies beyond it (a run of keys added in ascending order).
  int ChildFor(const TNode& node, int partCount, TBound bound, bool tryLast = false) const;
  int LeafPosition(const TNode& node, int partCount, TBound bound, bool tryLast = false) const;
  // stepToBound: when the bound lies past the leaf reached, move the path
  // to the next leaf's first entry (searches); false leaves the cursor past
  // the leaf's last entry (where an insert appends).
  int Descend(int partCount, TBound bound, bool stepToBound = true);
  bool StepLeaf(int direction);
  // A walk crossed from the leaf it left at key before (8451 when the
  // leaf reached does not lie beyond it in direction).
  void CheckCrossing(const std::uint8_t* before, int direction);
  // The pool of checked nodes (see pool_).
  void TakeFromPool(int level, TUdbAddr address);
  void DropFromPool(TUdbAddr address);
  void ForgetPool();
  void ForgetNodes();
  template <class Fn>
  void Changing(Fn&& change);
  TNode& Leaf() { return *path_.back(); }
  const TNode& Leaf() const { return *path_.back(); }
  void MarkPositioned();

  // -- insert phases --
  // Puts the path where Descend(0, Lower, false) would for the search key
  // when the last descent was that one for the same key bytes (a check for
  // the key just before, say) and nothing moved the path since; false when
  // it cannot.
  bool TakeOverDescent();
  bool InsertIntoLevels(const std::uint8_t* key);
  TUdbAddr SplitOff(TNode& node, std::vector<std::uint8_t>& entryForParent);
  void SplitRoot();
  void RewriteParentEntry(TNode& parent, int entry, const TNode& child);

  // -- delete phases --
  void LocateEntry(const std::uint8_t* key);
  void DeleteFromLevels();
  void RebalanceLevel(int level);
  void RemoveEmptyNode(int level);
  void CollapseRoot();
  void RepositionAfterChange(const std::uint8_t* key, bool exactEntry);

  TUdbAddr NewNodeAddress();
  void CheckStructure(TUdbAddr address, int level, const std::uint8_t* expectedFirst,
                      std::uint32_t expectedCount, std::vector<TUdbAddr>& leaves);

  TBaseIOInterface* io_ = nullptr;
  int nodeSize_ = udbnode::kDefaultNodeSize;
  std::uint32_t* root_ = nullptr;
  std::uint32_t* depth_ = nullptr;
  TKeyFields keyFields_;
  int definedKeySize_ = 0;
  TKeyLayout layout_;
  TKeySortFunction sort_ = nullptr;
  bool open_ = false;

  std::vector<std::unique_ptr<TNode>> path_;
  // Nodes a descent left, read and checked before, for the descents that
  // come back to them (appends in several places of the key order, a look
  // at the last key between them): a level that needs one of them takes it
  // instead of reading and checking its bytes again.  Pool and path never
  // hold the same address; every pooled node holds the bytes the file will
  // have, since a node changes only on the path, where it is written at
  // once.  A node written by other means (a leaf link rewritten in place,
  // a new node at an address freed before) leaves the pool, a delete
  // empties it, and so does everything that forgets the path (another
  // connection's or cursor's change, a failed change, a rollback).
  static constexpr size_t kPoolNodes = 64;
  std::vector<std::unique_ptr<TNode>> pool_;
  std::vector<std::uint64_t> poolUse_;  // last use per pooled node: the oldest leaves first
  std::uint64_t poolClock_ = 0;
  TNode work_;
  // The landing of the last descent on all parts of an unmodified search
  // key, lower bound, before any step to the next leaf: key bytes, node
  // address and cursor per level.  A step keeps the leaf it left in
  // steppedFrom_.  Valid until anything moves the path or changes a node.
  struct TDescentMemo {
    bool valid = false;
    bool stepped = false;
    std::vector<std::uint8_t> key;
    std::vector<TUdbAddr> addresses;
    std::vector<int> cursors;
  } memo_;
  std::unique_ptr<TNode> steppedFrom_;
  // The last descent went down the right edge to the end of the last leaf:
  // the next one tries the last entries first (see ChildFor).  A hint only.
  bool descentAtEnd_ = false;
  std::vector<std::uint8_t> stepKey_;  // the key a walk leaves a leaf from
  std::vector<std::uint8_t> recordKey_;
  std::vector<std::uint8_t> searchKey_;
  std::vector<std::uint8_t> insertKey_;
  std::vector<std::uint8_t> workKey_;
  TKeyModifiers modifiers_;
  bool hasModifiers_ = false;
  TOptimizedSearchKey optimized_;
  bool positioned_ = false;
  bool keyValid_ = false;
  bool failed_ = false;
};
