#include "Udb/BTree.h"

#include <algorithm>
#include <cstring>

#include "Udb/DBLogger.h"
#include "Udb/DatabaseFileFormat.h"
#include "Udb/IOInterface.h"
#include "Udb/ReadAheadBuffer.h"
#include "Udb/UdbErrors.h"
#include "platform/core/Exceptions.h"

namespace {

// Our own broken invariants: the class library's assertion failure.
#define UDB_INDEX_CHECK(cond, text) \
  do { if (!(cond)) ::AssertionFailed((text), "UdbIndexUnit", __LINE__); } while (0)

AnsiString At(TUdbAddr address) { return " at " + std::to_string(address); }

}  // namespace

// ============================================================================
// TNode
// ============================================================================

void TNode::Init(TBaseIOInterface* io, int nodeSize, int maximumKeySize) {
  io_ = io;
  nodeSize_ = nodeSize;
  keySize_ = maximumKeySize > 0 ? maximumKeySize : 1;
  buffer_.assign(static_cast<size_t>(nodeSize), 0);
  address_ = 0;
  cursor_ = 0;
}

void TNode::CheckOpen(const char* operation) const {
  if (buffer_.empty()) UdbDatabaseError(udberr::kInternal, operation, "Node Buffer not allocated");
}

void TNode::SetAddress(TUdbAddr address) {
  CheckOpen("TNode.CheckOpen");
  if (address == address_) return;
  const bool leaf = IsLeaf();
  std::fill(buffer_.begin(), buffer_.end(), 0);
  SetLeaf(leaf);
  address_ = address;
  cursor_ = 0;
}

void TNode::Read(TUdbAddr address) {
  if (address != 0 && address == address_) {
    cursor_ = 0;
    return;
  }
  ReadFresh(address);
}

void TNode::ReadFresh(TUdbAddr address) {
  CheckOpen("TNode.CheckOpen");
  if (address == 0) UdbDatabaseError(udberr::kCorrupt, "TNode.Read", "Index node address is 0");
  address_ = 0;  // until the bytes are known good
  io_->ReadBlock(address, nodeSize_, buffer_.data());
  cursor_ = 0;
  address_ = address;
  try {
    Validate();
  } catch (...) {
    address_ = 0;  // never serve damaged bytes from the cache
    throw;
  }
}

// The bytes just read must describe a node of this index: flag 0 or 1, a
// byte count that is a whole number of keys inside the key area, every key
// MaximumKeySize long, and (internal nodes) no child at address 0.
void TNode::Validate() const {
  const std::uint32_t flag = udbfmt::GetU32(buffer_.data() + udbnode::kLeafFlag) & udbnode::kLeafFlagMask;
  if (flag > 1)
    UdbDatabaseError(udberr::kCorrupt, "TNode.Read", "Invalid leaf flag " + std::to_string(flag) + At(address_));
  const std::uint32_t used = udbfmt::GetU32(buffer_.data() + udbnode::kUsedBytes);
  if (used > static_cast<std::uint32_t>(nodeSize_ - udbnode::kHeaderSize) ||
      used % static_cast<std::uint32_t>(keySize_) != 0)
    UdbDatabaseError(udberr::kCorrupt, "TNode.Read", "Node byte count out of range: " + std::to_string(used) + At(address_));
  const int n = static_cast<int>(used) / keySize_;
  for (int i = 0; i < n; ++i) {
    const std::uint8_t* key = Area() + i * keySize_;
    if (udbkey::KeyLength(key) != keySize_)
      UdbDatabaseError(udberr::kCorrupt, "TNode.Read",
                       "Invalid key size in index node: " + std::to_string(udbkey::KeyLength(key)) + At(address_));
    if (flag == 0 && udbkey::KeyAddress(key) == 0)
      UdbDatabaseError(udberr::kCorrupt, "TNode.Read", "Index entry without a child" + At(address_));
  }
}

void TNode::Write() {
  CheckOpen("TNode.CheckOpen");
  UDB_INDEX_CHECK(address_ != 0, "Node written without an address");
  io_->WriteBlock(address_, nodeSize_, buffer_.data());
}

void TNode::Clear() {
  CheckOpen("TNode.CheckOpen");
  const bool leaf = IsLeaf();
  std::fill(buffer_.begin(), buffer_.end(), 0);
  SetLeaf(leaf);
  cursor_ = 0;
}

void TNode::CopyContentFrom(const TNode& other) {
  UDB_INDEX_CHECK(other.nodeSize_ == nodeSize_, "Node sizes differ");
  buffer_ = other.buffer_;
}

bool TNode::IsLeaf() const {
  return !buffer_.empty() && (udbfmt::GetU32(buffer_.data() + udbnode::kLeafFlag) & udbnode::kLeafFlagMask) == 1;
}
void TNode::SetLeaf(bool leaf) { udbfmt::PutU32(buffer_.data() + udbnode::kLeafFlag, leaf ? 1 : 0); }
int TNode::Used() const { return static_cast<int>(udbfmt::GetU32(buffer_.data() + udbnode::kUsedBytes)); }
void TNode::SetUsed(int used) { udbfmt::PutU32(buffer_.data() + udbnode::kUsedBytes, static_cast<std::uint32_t>(used)); }
TUdbAddr TNode::NextLeaf() const { return udbfmt::GetU32(buffer_.data() + udbnode::kNextLeaf); }
void TNode::SetNextLeaf(TUdbAddr address) { udbfmt::PutU32(buffer_.data() + udbnode::kNextLeaf, address); }
TUdbAddr TNode::PriorLeaf() const { return udbfmt::GetU32(buffer_.data() + udbnode::kPriorLeaf); }
void TNode::SetPriorLeaf(TUdbAddr address) { udbfmt::PutU32(buffer_.data() + udbnode::kPriorLeaf, address); }

bool TNode::Next() {
  if (cursor_ + 1 >= EntryCount()) return false;
  ++cursor_;
  return true;
}

bool TNode::Prior() {
  const int n = EntryCount();
  if (n == 0 || cursor_ <= 0) return false;
  cursor_ = std::min(cursor_, n) - 1;
  return true;
}

const std::uint8_t* TNode::KeyAt(int entry) const {
  CheckOpen("TNode.CheckOpen");
  if (entry < 0 || entry >= EntryCount())
    UdbDatabaseError(udberr::kInternal, "TNode.ReadKey", "ReadPos is out of range: " + std::to_string(entry * keySize_));
  return Area() + entry * keySize_;
}

const std::uint8_t* TNode::CurrentKey() const {
  if (!CursorValid()) UdbDatabaseError(udberr::kInternal, "TNode.CopyCurrentKey", "Cursor is out of range");
  return Area() + cursor_ * keySize_;
}

TUdbAddr TNode::RecordAddress() const {
  if (!CursorValid()) UdbDatabaseError(udberr::kInternal, "TNode.RecordAddress", "Node cursor out of range");
  return udbkey::KeyAddress(Area() + cursor_ * keySize_);
}

void TNode::ReadKey(int entry, std::uint8_t* buffer) const {
  std::memcpy(buffer, KeyAt(entry), static_cast<size_t>(keySize_));
}

void TNode::CopyCurrentKey(std::uint8_t* buffer) const {
  std::memcpy(buffer, CurrentKey(), static_cast<size_t>(keySize_));
}

void TNode::InsertKey(int entry, const std::uint8_t* key) {
  CheckOpen("TNode.CheckOpen");
  const int n = EntryCount();
  UDB_INDEX_CHECK(entry >= 0 && entry <= n, "Insert position out of range");
  if (Used() + keySize_ > nodeSize_ - udbnode::kHeaderSize)
    UdbDatabaseError(udberr::kInternal, "TNode.InsertKey", "Node is overfull");
  std::uint8_t* at = Area() + entry * keySize_;
  std::memmove(at + keySize_, at, static_cast<size_t>((n - entry) * keySize_));
  std::memcpy(at, key, static_cast<size_t>(keySize_));
  SetUsed(Used() + keySize_);
}

void TNode::DeleteKey(int entry) {
  const std::uint8_t* key = KeyAt(entry);
  const int length = udbkey::KeyLength(key);
  if (length < 1 || length > keySize_)
    UdbDatabaseError(udberr::kInternal, "TNode.DeleteKey", "Invalid key size in Delete key: " + std::to_string(length));
  const int n = EntryCount();
  std::uint8_t* at = Area() + entry * keySize_;
  std::memmove(at, at + keySize_, static_cast<size_t>((n - entry - 1) * keySize_));
  std::memset(Area() + (n - 1) * keySize_, 0, static_cast<size_t>(keySize_));
  SetUsed(Used() - keySize_);
}

void TNode::ReplaceKey(int entry, const std::uint8_t* key) {
  KeyAt(entry);  // range check
  // All entries of a node are MaximumKeySize long, so a replacement never
  // opens or closes a gap.
  if (udbkey::KeyLength(key) != keySize_)
    UdbDatabaseError(udberr::kInternal, "TNode.ReplaceKey", "Invalid key size: " + std::to_string(udbkey::KeyLength(key)));
  std::memcpy(Area() + entry * keySize_, key, static_cast<size_t>(keySize_));
}

void TNode::SetEntryCount(int entry, std::uint32_t count) {
  KeyAt(entry);
  udbkey::SetKeyCount(Area() + entry * keySize_, count);
}

void TNode::SetEntryAddress(int entry, TUdbAddr address) {
  KeyAt(entry);
  udbkey::SetKeyAddress(Area() + entry * keySize_, address);
}

std::uint32_t TNode::CountUpTo(int entry) const {
  const int n = EntryCount();
  const int last = (entry < 0 || entry >= n) ? n - 1 : entry;
  if (IsLeaf()) return static_cast<std::uint32_t>(last + 1);
  std::uint32_t total = 0;
  for (int i = 0; i <= last; ++i) total += udbkey::KeyCount(Area() + i * keySize_);
  return total;
}

void TNode::SetLeafLink(TBaseIOInterface* io, TUdbAddr address, int linkOffset, TUdbAddr value) {
  std::uint8_t header[udbnode::kHeaderSize];
  io->ReadBlockHeader(address, udbnode::kHeaderSize, header);
  if ((udbfmt::GetU32(header + udbnode::kLeafFlag) & udbnode::kLeafFlagMask) != 1)
    UdbDatabaseError(udberr::kCorrupt, "TNode.SetLeafLink", "Leaf link leads to a node that is not a leaf" + At(address));
  udbfmt::PutU32(header + linkOffset, value);
  io->WriteBlockHeader(address, udbnode::kHeaderSize, header);
}

void TNode::SplitNode(TNode& target) {
  CheckOpen("TNode.CheckOpen");
  const int used = Used();
  if (used == 0) UdbDatabaseError(udberr::kInternal, "TNode.SplitNode", "Node is empty");
  if (used > nodeSize_ - udbnode::kHeaderSize) UdbDatabaseError(udberr::kInternal, "TNode.SplitNode", "Node is overfull");
  const int n = EntryCount();
  UDB_INDEX_CHECK(n >= 2, "Split of a node with one entry");
  int keep = (used / 2) / keySize_;  // the entry holding byte used / 2 starts the new node
  keep = std::clamp(keep, 1, n - 1);
  const int moved = n - keep;

  std::memcpy(target.buffer_.data(), buffer_.data(), udbnode::kHeaderSize);
  std::memset(target.Area(), 0, static_cast<size_t>(nodeSize_ - udbnode::kHeaderSize));
  std::memcpy(target.Area(), Area() + keep * keySize_, static_cast<size_t>(moved * keySize_));
  target.SetUsed(moved * keySize_);
  target.cursor_ = 0;
  std::memset(Area() + keep * keySize_, 0, static_cast<size_t>(moved * keySize_));
  SetUsed(keep * keySize_);

  if (IsLeaf()) {
    if (target.address_ == address_ || target.address_ == NextLeaf()) {
      UdbLogger().Log("BTree", "******ERROR in SPLIT NODE");
      UdbDatabaseError(udberr::kCorrupt, "TNode.SplitNode", "Split leaf linked to itself" + At(target.address_));
    }
    target.SetNextLeaf(NextLeaf());
    target.SetPriorLeaf(address_);
    if (NextLeaf() != 0) SetLeafLink(io_, NextLeaf(), udbnode::kPriorLeaf, target.address_);
    SetNextLeaf(target.address_);
  }
}

void TNode::MergeNodes(const TNode& sibling, bool siblingOnRight) {
  const int used = Used();
  const int other = sibling.Used();
  if (used + other + keySize_ > nodeSize_)
    ::AssertionFailed(UdbFormat("Invalid parameters for MergeNodes (size too large): size1 %d size2 %d key %d",
                                {used, other, keySize_}),
                      "UdbIndexUnit", __LINE__);
  if (siblingOnRight) {
    std::memcpy(Area() + used, sibling.Area(), static_cast<size_t>(other));
  } else {
    std::memmove(Area() + other, Area(), static_cast<size_t>(used));
    std::memcpy(Area(), sibling.Area(), static_cast<size_t>(other));
  }
  SetUsed(used + other);
  if (!IsLeaf()) return;
  if (siblingOnRight) {
    SetNextLeaf(sibling.NextLeaf());
    if (NextLeaf() != 0) SetLeafLink(io_, NextLeaf(), udbnode::kPriorLeaf, address_);
  } else {
    SetPriorLeaf(sibling.PriorLeaf());
    if (PriorLeaf() != 0) SetLeafLink(io_, PriorLeaf(), udbnode::kNextLeaf, address_);
  }
}

void TNode::Redistribute(TNode& sibling, bool siblingOnRight) {
  TNode& left = siblingOnRight ? *this : sibling;
  TNode& right = siblingOnRight ? sibling : *this;
  const int leftUsed = left.Used();
  const int rightUsed = right.Used();
  std::vector<std::uint8_t> all(static_cast<size_t>(leftUsed + rightUsed));
  std::memcpy(all.data(), left.Area(), static_cast<size_t>(leftUsed));
  std::memcpy(all.data() + leftUsed, right.Area(), static_cast<size_t>(rightUsed));
  const int total = (leftUsed + rightUsed) / keySize_;
  UDB_INDEX_CHECK(total >= 2, "Redistribution of fewer than two entries");
  const int keep = std::clamp(((leftUsed + rightUsed) / 2) / keySize_, 1, total - 1);
  // Each node's area past its entries ends up zero; the entries themselves
  // are written over, not cleared first.
  const int area = nodeSize_ - udbnode::kHeaderSize;
  const int leftNew = keep * keySize_;
  const int rightNew = (total - keep) * keySize_;
  std::memcpy(left.Area(), all.data(), static_cast<size_t>(leftNew));
  std::memcpy(right.Area(), all.data() + leftNew, static_cast<size_t>(rightNew));
  std::memset(left.Area() + leftNew, 0, static_cast<size_t>(area - leftNew));
  std::memset(right.Area() + rightNew, 0, static_cast<size_t>(area - rightNew));
  left.SetUsed(keep * keySize_);
  right.SetUsed((total - keep) * keySize_);
  left.cursor_ = right.cursor_ = 0;
}

// ============================================================================
// TBTree: set-up
// ============================================================================

TBTree::TBTree() = default;
TBTree::~TBTree() = default;

void TBTree::Init(TBaseIOInterface* io, int nodeSize, std::uint32_t* root, std::uint32_t* depth) {
  io_ = io;
  nodeSize_ = nodeSize;
  root_ = root;
  depth_ = depth;
}

void TBTree::SetKeyFields(const TKeyFields& fields, int maximumKeySize) {
  keyFields_.Assign(const_cast<TKeyFields*>(&fields));
  definedKeySize_ = maximumKeySize;
}

void TBTree::ClearKeyFields() {
  keyFields_.Clear();
  definedKeySize_ = 0;
}

void TBTree::CheckReady(const char* location) const {
  if (io_ == nullptr) UdbDatabaseError(udberr::kInternal, location, "IO Interface is unassigned");
  if (root_ == nullptr || depth_ == nullptr) UdbDatabaseError(udberr::kInternal, location, "Not initialized");
  if (!open_) UdbDatabaseError(udberr::kInternal, location, "Index is not open");
  if (failed_) UdbDatabaseError(udberr::kInternal, location, "An index change failed: the index must be read again");
}

void TBTree::Open() {
  static const char* const kWhere = "TBTree.Open";
  if (io_ == nullptr) UdbDatabaseError(udberr::kInternal, kWhere, "IO Interface is unassigned");
  if (root_ == nullptr || depth_ == nullptr) UdbDatabaseError(udberr::kInternal, kWhere, "Not initialized");
  if (sort_ == nullptr) UdbDatabaseError(udberr::kInternal, kWhere, "No sort order function assigned");
  if (keyFields_.Count() == 0) UdbDatabaseError(udberr::kInternal, kWhere, "KeyBuffers invalid");
  layout_ = TKeyLayout(keyFields_);
  layout_.SetSortFunction(sort_);
  const int keySize = layout_.MaximumKeySize();
  if (definedKeySize_ != 0 && definedKeySize_ != keySize)
    UdbDatabaseError(udberr::kInternal, kWhere,
                     "Key size " + std::to_string(definedKeySize_) + " does not match its key fields (" +
                         std::to_string(keySize) + ")");
  // Split and merge need room for at least four keys in a node.
  if (nodeSize_ < udbnode::kHeaderSize + 4 * keySize)
    UdbDatabaseError(udberr::kInternal, kWhere, "Index node size too small: " + std::to_string(nodeSize_));
  searchKey_.assign(static_cast<size_t>(keySize) + 1, 0);
  insertKey_.assign(static_cast<size_t>(keySize) + 1, 0);
  workKey_.assign(static_cast<size_t>(keySize) + 1, 0);
  work_.Init(io_, nodeSize_, keySize);
  path_.clear();
  pool_.clear();
  poolUse_.clear();
  steppedFrom_.reset();
  memo_.valid = false;
  open_ = true;
  positioned_ = keyValid_ = false;
  if (*root_ != 0) ResizePath();
}

void TBTree::Close() {
  path_.clear();
  pool_.clear();
  poolUse_.clear();
  steppedFrom_.reset();
  memo_.valid = false;
  open_ = false;
  positioned_ = keyValid_ = false;
}

void TBTree::CreateRoot() {
  if (io_ == nullptr) UdbDatabaseError(udberr::kInternal, "TBTree.CreateRoot", "IO Interface is unassigned");
  if (root_ == nullptr || depth_ == nullptr) UdbDatabaseError(udberr::kInternal, "TBTree.CreateRoot", "Not initialized");
  std::vector<std::uint8_t> block(static_cast<size_t>(nodeSize_), 0);
  udbfmt::PutU32(block.data() + udbnode::kLeafFlag, 1);
  const TUdbAddr address = io_->AllocateNewAddress(nodeSize_, block.data());
  UDB_INDEX_CHECK(address != 0, "Root allocation returned address 0");
  io_->WriteBlock(address, nodeSize_, block.data());
  *root_ = address;
  *depth_ = 1;
  if (open_) {
    ResetNodes();
    ResizePath();
  }
}

void TBTree::ForgetNodes() {
  for (auto& node : path_) node->Forget();
  ForgetPool();
  work_.Forget();
  if (steppedFrom_) steppedFrom_->Forget();
  memo_.valid = false;
  positioned_ = keyValid_ = false;
}

void TBTree::ResetNodes() {
  ForgetNodes();
  failed_ = false;
}

// A change that fails after its first node changed in memory may have
// written part of its nodes: the cached nodes no longer match the file, so
// they are dropped and the tree refuses work until it is read again
// (ResetNodes after a rollback, or a reopen).
template <class Fn>
void TBTree::Changing(Fn&& change) {
  memo_.valid = false;
  try {
    change();
  } catch (...) {
    ForgetNodes();
    failed_ = true;
    throw;
  }
}

// ============================================================================
// TBTree: keys
// ============================================================================

void TBTree::SetSearchKeyFromRecord(const std::uint8_t* record, const TKeyModifiers* modifiers) {
  CheckReady("TBTree.SetSearchKeyFromRecord");
  layout_.BuildKey(record, searchKey_.data());
  PrepareSearchKey(modifiers);
}

void TBTree::SetSearchKeyFromKey(const std::uint8_t* key, const TKeyModifiers* modifiers) {
  CheckReady("TBTree.SetSearchKeyFromKey");
  CopyKey(key, searchKey_.data());
  PrepareSearchKey(modifiers);
}

void TBTree::PrepareSearchKey(const TKeyModifiers* modifiers) {
  hasModifiers_ = modifiers != nullptr;
  if (modifiers) modifiers_ = *modifiers; else modifiers_.clear();
  optimized_.BuildFromKey(layout_, modifiers, searchKey_.data());
}

void TBTree::BuildKey(const std::uint8_t* record, std::uint8_t* key) const { layout_.BuildKey(record, key); }

void TBTree::CopyKey(const std::uint8_t* source, std::uint8_t* target) const {
  if (source == nullptr) UdbDatabaseError(udberr::kInternal, "TBTree.CopyKey", "SrcBuf is unassigned");
  const int length = udbkey::KeyLength(source);
  const int keySize = layout_.MaximumKeySize();
  if (length < udbkey::kHeaderSize || length > keySize)
    UdbDatabaseError(udberr::kInternal, "TBTree.CopyKey", "Invalid key size: " + std::to_string(length));
  std::memcpy(target, source, static_cast<size_t>(length));
  std::memset(target + length, 0, static_cast<size_t>(keySize - length));
}

int TBTree::Compare(const std::uint8_t* keyA, const std::uint8_t* keyB, const TKeyModifiers* modifiers,
                    int partCount) const {
  return layout_.CompareKeys(partCount, modifiers, keyA, keyB);
}

int TBTree::PartCountFor(const TSearchModifier& modifier) const {
  if (!modifier.Active) return 0;
  if (modifier.FieldCount < 1) return layout_.UserPartCount() > 0 ? layout_.UserPartCount() : 0;
  return std::min(modifier.FieldCount, layout_.PartCount());
}

// ============================================================================
// TBTree: search phases
// ============================================================================

void TBTree::CheckDepth() const {
  if (*root_ == 0) UdbDatabaseError(udberr::kInternal, "TBTree.Search", "Not initialized");
  if (*depth_ < 1 || *depth_ > static_cast<std::uint32_t>(udbnode::kMaxDepth))
    UdbDatabaseError(udberr::kCorrupt, "TBTree.Search", "Index depth out of range: " + std::to_string(*depth_));
}

// Phase 1: one path node per level.
void TBTree::ResizePath() {
  memo_.valid = false;
  CheckDepth();
  const size_t depth = *depth_;
  while (path_.size() > depth) path_.pop_back();
  while (path_.size() < depth) {
    auto node = std::make_unique<TNode>();
    node->Init(io_, nodeSize_, layout_.MaximumKeySize());
    path_.push_back(std::move(node));
  }
}

// The node at address onto the path level: from the pool when it is there
// (the level's node takes its place in the pool), else the level's node
// goes to the pool and the oldest pooled node comes to the level to be
// read over.
void TBTree::TakeFromPool(int level, TUdbAddr address) {
  std::unique_ptr<TNode>& slot = path_[static_cast<size_t>(level)];
  for (size_t i = 0; i < pool_.size(); ++i) {
    if (pool_[i]->Address() != address) continue;
    std::swap(slot, pool_[i]);
    poolUse_[i] = pool_[i]->Address() != 0 ? ++poolClock_ : 0;
    return;
  }
  if (slot->Address() == 0) return;  // nothing worth keeping: the level reads into it
  size_t victim = pool_.size();
  if (pool_.size() < kPoolNodes) {
    auto node = std::make_unique<TNode>();
    node->Init(io_, nodeSize_, layout_.MaximumKeySize());
    pool_.push_back(std::move(node));
    poolUse_.push_back(0);
  } else {
    victim = static_cast<size_t>(std::min_element(poolUse_.begin(), poolUse_.end()) - poolUse_.begin());
  }
  std::swap(slot, pool_[victim]);
  poolUse_[victim] = ++poolClock_;
  slot->Forget();
}

void TBTree::DropFromPool(TUdbAddr address) {
  if (address == 0) return;
  for (size_t i = 0; i < pool_.size(); ++i) {
    if (pool_[i]->Address() != address) continue;
    pool_[i]->Forget();
    poolUse_[i] = 0;
  }
}

void TBTree::ForgetPool() {
  for (auto& node : pool_) node->Forget();
  std::fill(poolUse_.begin(), poolUse_.end(), 0);
}

// Reads the node of one path level and checks that it fits there (B3, B6).
void TBTree::ReadLevel(int level, TUdbAddr address) {
  if (address != 0 && path_[static_cast<size_t>(level)]->Address() != address) TakeFromPool(level, address);
  TNode& node = *path_[static_cast<size_t>(level)];
  node.Read(address);
  const bool mustBeLeaf = level == TreeDepth() - 1;
  if (node.IsLeaf() != mustBeLeaf) {
    node.Forget();
    UdbDatabaseError(udberr::kCorrupt, "TBTree.Search", "Index depth does not match its nodes" + At(address));
  }
  if (node.IsEmpty() && (level > 0 || !mustBeLeaf)) {
    node.Forget();
    UdbDatabaseError(udberr::kCorrupt, "TBTree.Search", "Empty index node below the root" + At(address));
  }
}

// Phase 2a: in an internal node, the last entry below the search key (lower
// bound) or not above it (upper bound); entry 0 when none.
int TBTree::ChildFor(const TNode& node, int partCount, TBound bound, bool tryLast) const {
  int lo = 0;
  int hi = node.EntryCount() - 1;
  int found = 0;
  // The entries ascend, so "below the bound" holds for a first stretch of
  // them: when it holds for the last, the last is the one.
  if (tryLast && hi > 0) {
    const int c = optimized_.CompareToOptimizedKey(layout_, partCount, node.KeyAt(hi));
    if (bound == TBound::Lower ? c > 0 : c >= 0) return hi;
    --hi;
  }
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int c = optimized_.CompareToOptimizedKey(layout_, partCount, node.KeyAt(mid));
    if (bound == TBound::Lower ? c > 0 : c >= 0) {
      found = mid;
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return found;
}

// Phase 2b: in a leaf, the first entry not below the search key (lower
// bound) or above it (upper bound); EntryCount when none.
int TBTree::LeafPosition(const TNode& node, int partCount, TBound bound, bool tryLast) const {
  int lo = 0;
  int hi = node.EntryCount();
  if (tryLast && hi > 0) {
    const int c = optimized_.CompareToOptimizedKey(layout_, partCount, node.KeyAt(hi - 1));
    if (bound == TBound::Lower ? c > 0 : c >= 0) return hi;
    --hi;
  }
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    const int c = optimized_.CompareToOptimizedKey(layout_, partCount, node.KeyAt(mid));
    if (bound == TBound::Lower ? c > 0 : c >= 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

// Phases 1-3: the path from the root to the bound.  Relies on B2: every key
// of a subtree is at or above its entry's key and below the next entry's,
// so a bound past the end of the leaf reached is the next leaf's first key.
// Returns the comparison with the landing entry (1 when there is none).
int TBTree::Descend(int partCount, TBound bound, bool stepToBound) {
  ResizePath();
  work_.Forget();
  const int depth = TreeDepth();
  ReadLevel(0, *root_);
  const bool tryLast = descentAtEnd_;
  bool atEnd = true;
  for (int level = 0; level < depth - 1; ++level) {
    TNode& node = *path_[static_cast<size_t>(level)];
    const int child = ChildFor(node, partCount, bound, tryLast);
    atEnd = atEnd && child == node.EntryCount() - 1;
    node.SetCursor(child);
    ReadLevel(level + 1, udbkey::KeyAddress(node.CurrentKey()));
  }
  TNode& leaf = Leaf();
  const int position = LeafPosition(leaf, partCount, bound, tryLast);
  descentAtEnd_ = atEnd && position >= leaf.EntryCount();
  leaf.SetCursor(position);
  // The landing is noted for an insert of the same key (TakeOverDescent);
  // Find makes the note valid.
  const bool note = partCount < 1 && bound == TBound::Lower;
  if (note) {
    memo_.addresses.resize(path_.size());
    memo_.cursors.resize(path_.size());
    for (size_t level = 0; level < path_.size(); ++level) {
      memo_.addresses[level] = path_[level]->Address();
      memo_.cursors[level] = path_[level]->Cursor();
    }
    memo_.stepped = false;
  }
  bool stepped = false;
  if (stepToBound && !leaf.CursorValid() && !leaf.IsEmpty()) {
    // the bound opens the next leaf; the leaf left stays whole for an insert
    if (note) {
      if (!steppedFrom_) {
        steppedFrom_ = std::make_unique<TNode>();
        steppedFrom_->Init(io_, nodeSize_, layout_.MaximumKeySize());
      }
      steppedFrom_->Forget();
      std::swap(path_.back(), steppedFrom_);
    }
    stepped = StepLeaf(+1);
    if (note) {
      if (stepped) {
        memo_.stepped = true;
      } else {
        std::swap(path_.back(), steppedFrom_);
        steppedFrom_->Forget();
      }
    }
  }
  MarkPositioned();
  if (!Leaf().CursorValid()) return 1;
  const int c = optimized_.CompareToOptimizedKey(layout_, partCount, Leaf().CurrentKey());
  // The next leaf starts at or past the bound (B1): one that starts before
  // it would send a walk by searches (each from the record it reached) back
  // to where it was.
  if (stepped && (bound == TBound::Lower ? c > 0 : c >= 0)) {
    const TUdbAddr address = Leaf().Address();
    ForgetNodes();
    UdbDatabaseError(udberr::kCorrupt, "TBTree.Search", "Index entries are out of order" + At(address));
  }
  return c;
}

// Moves the path to the next (+1) or previous (-1) leaf: the deepest level
// that can step sideways steps, the levels below take their first (last)
// entry.  False, path unchanged, at either end of the index.
bool TBTree::StepLeaf(int direction) {
  memo_.valid = false;
  const int depth = TreeDepth();
  for (int level = depth - 2; level >= 0; --level) {
    TNode& node = *path_[static_cast<size_t>(level)];
    const int target = node.Cursor() + direction;
    if (target < 0 || target >= node.EntryCount()) continue;
    node.SetCursor(target);
    for (int below = level + 1; below < depth; ++below) {
      TNode& parent = *path_[static_cast<size_t>(below - 1)];
      ReadLevel(below, udbkey::KeyAddress(parent.CurrentKey()));
      TNode& child = *path_[static_cast<size_t>(below)];
      if (direction > 0) child.First(); else child.Last();
    }
    return true;
  }
  return false;
}

void TBTree::MarkPositioned() {
  positioned_ = true;
  keyValid_ = Leaf().CursorValid();
}

int TBTree::Search(int partCount, bool force) {
  CheckReady("TBTree.Search");
  const int r = Descend(partCount, TBound::Lower);
  if (force && !Leaf().CursorValid() && !Leaf().IsEmpty()) Leaf().Last();
  MarkPositioned();
  return r;
}

// Lower bound for modes 0, 2, 3, 5; upper bound for 1 and 4, so that
// "less-or-equal" and "greater" pass over the whole run of keys equal in
// the compared parts.
int TBTree::Find(int mode, const TSearchModifier& modifier) {
  CheckReady("TBTree.Find");
  if (mode < 0 || mode > 5) UdbDatabaseError(udberr::kInternal, "TBTree.Find", "Invalid search mode: " + std::to_string(mode));
  const int partCount = PartCountFor(modifier);
  const TBound bound = (mode == 1 || mode == 4) ? TBound::Upper : TBound::Lower;
  const int r = Descend(partCount, bound);
  if (partCount < 1 && bound == TBound::Lower && !hasModifiers_) {
    memo_.key.assign(searchKey_.begin(), searchKey_.begin() + layout_.MaximumKeySize());
    memo_.valid = true;
  }
  TNode& leaf = Leaf();
  if (leaf.IsEmpty()) return r;  // an empty index
  const bool found = leaf.CursorValid();
  if (!found) leaf.Last();  // every key lies below the bound
  MarkPositioned();
  switch (mode) {
    case 0:
    case 1:
      return !found ? 0 : (Prior() ? 0 : -1);
    case 2:
      return found ? r : (r != 0 ? r : 1);
    case 3:
      return found ? 0 : r;
    case 4:
      return found ? 0 : -1;
    default:
      // Nearest: when every key lies below, the last key itself, never the
      // one before it (stepping back from the last would skip the nearest).
      return 0;
  }
}

// A walk crosses into another leaf only towards keys beyond the last one
// seen (B1, B5): on a damaged file whose nodes lead back to a leaf already
// passed, the walk would go round for ever.  So every crossing compares the
// keys on both sides, and every walk ends: after at most as many steps as
// the index has distinct keys, or with 8451.
void TBTree::CheckCrossing(const std::uint8_t* before, int direction) {
  const int c = layout_.CompareKeys(0, nullptr, before, Leaf().CurrentKey());
  if (direction > 0 ? c < 0 : c > 0) return;
  const TUdbAddr address = Leaf().Address();
  ForgetNodes();
  UdbDatabaseError(udberr::kCorrupt, "TBTree.Next", "Index entries are out of order" + At(address));
}

bool TBTree::Next() {
  if (!positioned_ || !open_) return false;
  TNode& leaf = Leaf();
  if (leaf.CursorValid() && leaf.Next()) {
    MarkPositioned();
    return true;
  }
  if (!leaf.CursorValid()) return false;
  stepKey_.assign(leaf.CurrentKey(), leaf.CurrentKey() + layout_.MaximumKeySize());
  if (!StepLeaf(+1)) return false;
  MarkPositioned();
  CheckCrossing(stepKey_.data(), +1);
  return true;
}

bool TBTree::Prior() {
  if (!positioned_ || !open_) return false;
  if (Leaf().Prior()) {
    MarkPositioned();
    return true;
  }
  if (Leaf().IsEmpty()) return false;
  stepKey_.assign(Leaf().KeyAt(0), Leaf().KeyAt(0) + layout_.MaximumKeySize());
  if (!StepLeaf(-1)) return false;
  MarkPositioned();
  CheckCrossing(stepKey_.data(), -1);
  return true;
}

bool TBTree::First() {
  CheckReady("TBTree.First");
  ResizePath();
  ReadLevel(0, *root_);
  for (int level = 0; level < TreeDepth() - 1; ++level) {
    path_[static_cast<size_t>(level)]->First();
    ReadLevel(level + 1, udbkey::KeyAddress(path_[static_cast<size_t>(level)]->CurrentKey()));
  }
  Leaf().First();
  MarkPositioned();
  return keyValid_;
}

bool TBTree::Last() {
  CheckReady("TBTree.Last");
  ResizePath();
  ReadLevel(0, *root_);
  for (int level = 0; level < TreeDepth() - 1; ++level) {
    path_[static_cast<size_t>(level)]->Last();
    ReadLevel(level + 1, udbkey::KeyAddress(path_[static_cast<size_t>(level)]->CurrentKey()));
  }
  Leaf().Last();
  MarkPositioned();
  return keyValid_;
}

bool TBTree::RecordMatchesEntry(const std::uint8_t* record, const std::uint8_t* entryKey) {
  recordKey_.resize(static_cast<size_t>(layout_.MaximumKeySize()));
  layout_.BuildKey(record, recordKey_.data());
  return layout_.CompareKeys(0, nullptr, recordKey_.data(), entryKey) == 0;
}

const std::uint8_t* TBTree::CurrentKey() const {
  if (!KeyValid() || path_.empty() || !Leaf().CursorValid())
    UdbDatabaseError(udberr::kInternal, "TBTree.GetCurrentKeyBuf", "CurrentKeyCursor is invalid");
  return Leaf().CurrentKey();
}

TUdbAddr TBTree::CurrentRecordAddress() const {
  const std::uint8_t* key = CurrentKey();
  if (!Leaf().IsLeaf())
    UdbDatabaseError(udberr::kInternal, "TBTree.CurrentRecordAddress", "Attempt to read record address from non-leaf node");
  return udbkey::KeyAddress(key);
}

int TBTree::CompareCurrent(int partCount, const std::uint8_t* key) const {
  return layout_.CompareKeys(partCount, nullptr, key, CurrentKey());
}

// ============================================================================
// TBTree: insert
// ============================================================================

TUdbAddr TBTree::NewNodeAddress() {
  std::vector<std::uint8_t> zero(static_cast<size_t>(nodeSize_), 0);
  const TUdbAddr address = io_->AllocateNewAddress(nodeSize_, zero.data());
  UDB_INDEX_CHECK(address != 0, "Node allocation returned address 0");
  return address;
}

void TBTree::Insert(TUdbAddr recordAddress) {
  CheckReady("TBTree.Insert");
  const int keySize = layout_.MaximumKeySize();
  std::memcpy(insertKey_.data(), searchKey_.data(), static_cast<size_t>(keySize));
  udbfmt::PutU16(insertKey_.data() + udbkey::kLengthOffset, static_cast<std::uint16_t>(keySize));
  udbkey::SetKeyCount(insertKey_.data(), 0);
  udbkey::SetKeyAddress(insertKey_.data(), recordAddress);
  const bool modified = hasModifiers_;
  optimized_.BuildFromKey(layout_, nullptr, insertKey_.data());
  hasModifiers_ = false;
  // A key above every key of the leaf reached (and below the next leaf's
  // first key) is appended to that leaf, never put in front of the next.
  if (modified || !TakeOverDescent()) Descend(0, TBound::Lower, false);
  memo_.valid = false;
  const int position = std::min(Leaf().Cursor(), Leaf().EntryCount());
  bool split = false;
  Changing([&] { split = InsertIntoLevels(insertKey_.data()); });
  if (split) {
    RepositionAfterChange(insertKey_.data(), true);
    return;
  }
  // No node split: the path still leads to the new entry.
  Leaf().SetCursor(position);
  optimized_.BuildFromKey(layout_, nullptr, searchKey_.data());
  MarkPositioned();
}

// The check for a key before its insert (a unique index's, or the hidden
// part making a key unique) descends for the same key: the insert goes on
// from where that descent landed instead of descending again.  Nothing may
// have moved the path or changed a node since (every such operation drops
// the note); a descent that stepped on to the next leaf gets back the leaf
// it left and the nodes above it.
bool TBTree::TakeOverDescent() {
  const size_t depth = path_.size();
  if (!memo_.valid || memo_.addresses.size() != depth || depth != static_cast<size_t>(TreeDepth()) ||
      memo_.addresses[0] != *root_ ||
      std::memcmp(memo_.key.data(), searchKey_.data(), memo_.key.size()) != 0)
    return false;
  memo_.valid = false;
  if (memo_.stepped) {
    if (!steppedFrom_ || steppedFrom_->Address() != memo_.addresses.back()) return false;
    std::swap(path_.back(), steppedFrom_);
    steppedFrom_->Forget();
    DropFromPool(path_.back()->Address());  // a copy parked meanwhile would miss the insert
    for (size_t level = 0; level + 1 < depth; ++level)
      if (path_[level]->Address() != memo_.addresses[level]) ReadLevel(static_cast<int>(level), memo_.addresses[level]);
  }
  for (size_t level = 0; level < depth; ++level) {
    if (path_[level]->Address() != memo_.addresses[level]) return false;
    path_[level]->SetCursor(memo_.cursors[level]);
  }
  work_.Forget();
  return true;
}

// The parent's entry for child := the child's first key, its record count
// and its address (B2).  The parent is written by its own level.
void TBTree::RewriteParentEntry(TNode& parent, int entry, const TNode& child) {
  if (child.IsEmpty()) {
    parent.SetEntryCount(entry, 0);
    return;
  }
  child.ReadKey(0, workKey_.data());
  udbkey::SetKeyCount(workKey_.data(), child.TotalCount());
  udbkey::SetKeyAddress(workKey_.data(), child.Address());
  parent.ReplaceKey(entry, workKey_.data());
}

// Splits node into itself and a new node written at once; entryForParent
// receives the new node's entry for the level above.
TUdbAddr TBTree::SplitOff(TNode& node, std::vector<std::uint8_t>& entryForParent) {
  const TUdbAddr address = NewNodeAddress();
  // The split rewrites the next leaf's link in the file, and the new node
  // may take the address of one freed before: pooled copies of either are
  // out of date.
  DropFromPool(address);
  if (node.IsLeaf()) DropFromPool(node.NextLeaf());
  work_.Forget();
  work_.SetAddress(address);
  node.SplitNode(work_);
  work_.Write();
  entryForParent.assign(static_cast<size_t>(layout_.MaximumKeySize()), 0);
  work_.ReadKey(0, entryForParent.data());
  udbkey::SetKeyCount(entryForParent.data(), work_.TotalCount());
  udbkey::SetKeyAddress(entryForParent.data(), address);
  work_.Forget();
  return address;
}

// Walks the path from the leaf up: insert at the leaf, split every level
// that became full (its new sibling's entry goes into the parent after the
// path entry), refresh the parent entries (B2), write each node.  True when
// a node split (the path no longer leads to the new entry).
bool TBTree::InsertIntoLevels(const std::uint8_t* key) {
  const int depth = TreeDepth();
  bool split = false;
  std::vector<std::uint8_t> pending;
  for (int level = depth - 1; level >= 0; --level) {
    TNode& node = *path_[static_cast<size_t>(level)];
    if (level == depth - 1) {
      node.InsertKey(std::min(node.Cursor(), node.EntryCount()), key);
    } else if (!pending.empty()) {
      node.InsertKey(node.Cursor() + 1, pending.data());
      pending.clear();
    }
    if (level == 0) {
      if (node.IsFull()) {
        SplitRoot();
        return true;
      }
      node.Write();
      return split;
    }
    if (node.IsFull()) {
      SplitOff(node, pending);
      split = true;
    }
    node.Write();
    TNode& parent = *path_[static_cast<size_t>(level - 1)];
    RewriteParentEntry(parent, parent.Cursor(), node);
  }
  return split;
}

// The root keeps its address (B4): its content moves to a new node, which
// splits like any other, and the root becomes an internal node over the two.
void TBTree::SplitRoot() {
  TNode& root = *path_[0];
  const int keySize = layout_.MaximumKeySize();
  // The split-off node's block is allocated first, then the block the
  // root's content moves to, as for any split followed by the move.
  TNode off;
  off.Init(io_, nodeSize_, keySize);
  off.SetAddress(NewNodeAddress());
  TNode moved;
  moved.Init(io_, nodeSize_, keySize);
  moved.SetAddress(NewNodeAddress());
  DropFromPool(off.Address());
  DropFromPool(moved.Address());
  moved.CopyContentFrom(root);
  moved.SplitNode(off);  // leaves: moved.next = off, off.prior = moved
  moved.Write();
  off.Write();

  root.Clear();
  root.SetLeaf(false);
  root.SetNextLeaf(0);
  root.SetPriorLeaf(0);
  root.InsertKey(0, insertKey_.data());  // placeholders, rewritten below
  root.InsertKey(1, insertKey_.data());
  RewriteParentEntry(root, 0, moved);
  RewriteParentEntry(root, 1, off);
  root.Write();
  *depth_ += 1;
  for (size_t i = 1; i < path_.size(); ++i) path_[i]->Forget();
}

// ============================================================================
// TBTree: delete
// ============================================================================

// Puts the path on the entry equal to key in all parts with key's address.
void TBTree::LocateEntry(const std::uint8_t* key) {
  optimized_.BuildFromKey(layout_, nullptr, key);
  hasModifiers_ = false;
  Descend(0, TBound::Lower);
  const TUdbAddr address = udbkey::KeyAddress(key);
  while (Leaf().CursorValid()) {
    const std::uint8_t* current = Leaf().CurrentKey();
    if (layout_.CompareKeys(0, nullptr, key, current) != 0) break;
    if (udbkey::KeyAddress(current) == address) return;
    if (!Next()) break;
  }
  UdbDatabaseError(udberr::kInternal, "TBTree.Delete", "Key to delete not found in the index");
}

void TBTree::Delete() {
  CheckReady("TBTree.Delete");
  std::vector<std::uint8_t> key(CurrentKey(), CurrentKey() + layout_.MaximumKeySize());
  LocateEntry(key.data());
  ForgetPool();  // merges and moves between siblings change nodes off the path
  Changing([&] { DeleteFromLevels(); });
  RepositionAfterChange(key.data(), false);
}

void TBTree::DeleteAtCursor() {
  CheckReady("TBTree.Delete");
  if (!positioned_ || !keyValid_ || !Leaf().CursorValid()) {
    Delete();
    return;
  }
  std::vector<std::uint8_t> key(CurrentKey(), CurrentKey() + layout_.MaximumKeySize());
  // What LocateEntry leaves behind, without its descent.
  optimized_.BuildFromKey(layout_, nullptr, key.data());
  hasModifiers_ = false;
  ForgetPool();  // as in Delete
  Changing([&] { DeleteFromLevels(); });
  RepositionAfterChange(key.data(), false);
}

// Walks the path from the leaf up: delete the entry, remove or rebalance
// every level that became empty or under-filled, refresh the parent entries
// (B2), write each node; then collapse the root.
void TBTree::DeleteFromLevels() {
  const int depth = TreeDepth();
  Leaf().DeleteKey(Leaf().Cursor());
  for (int level = depth - 1; level >= 1; --level) {
    TNode& node = *path_[static_cast<size_t>(level)];
    TNode& parent = *path_[static_cast<size_t>(level - 1)];
    if (node.IsEmpty() && parent.EntryCount() == 1) {
      RemoveEmptyNode(level);  // B6; the parent is empty now and goes next
      continue;
    }
    if (parent.EntryCount() > 1 && node.IsUnderfilled()) RebalanceLevel(level);
    node.Write();
    RewriteParentEntry(parent, parent.Cursor(), node);
  }
  path_[0]->Write();
  CollapseRoot();
}

// An under-filled node takes a sibling through its parent (the previous one
// when it holds fewer records than the next, else the next): both merge
// into the node when they fill at most a third of a node, otherwise whole
// entries move so that both hold about half.  A merge deletes the sibling's
// parent entry and releases its block after the node is written.
void TBTree::RebalanceLevel(int level) {
  TNode& node = *path_[static_cast<size_t>(level)];
  TNode& parent = *path_[static_cast<size_t>(level - 1)];
  const int pos = parent.Cursor();
  const int n = parent.EntryCount();
  int sib;
  if (pos == 0) {
    sib = 1;
  } else if (pos == n - 1) {
    sib = pos - 1;
  } else {
    sib = udbkey::KeyCount(parent.KeyAt(pos - 1)) < udbkey::KeyCount(parent.KeyAt(pos + 1)) ? pos - 1 : pos + 1;
  }
  const bool onRight = sib > pos;
  const TUdbAddr sibAddress = udbkey::KeyAddress(parent.KeyAt(sib));
  work_.ReadFresh(sibAddress);
  if (work_.IsLeaf() != node.IsLeaf() || work_.IsEmpty()) {
    work_.Forget();
    UdbDatabaseError(udberr::kCorrupt, "TBTree.Delete", "Index sibling does not match its level" + At(sibAddress));
  }
  if (nodeSize_ / 3 >= node.Used() + work_.Used()) {
    node.MergeNodes(work_, onRight);
    node.Write();
    const TUdbAddr released = work_.Address();
    work_.Forget();
    parent.DeleteKey(sib);
    if (!onRight) parent.SetCursor(pos - 1);
    io_->ReleaseBlock(released, nodeSize_);
  } else if (node.Used() != work_.Used()) {
    node.Redistribute(work_, onRight);
    work_.Write();
    node.Write();
    RewriteParentEntry(parent, sib, work_);
    work_.Forget();
  }
}

// A node left empty under a parent with no other entry would stay in the
// tree forever (nothing merges it): it is unlinked from the leaf chain, its
// block released and its parent entry deleted.
void TBTree::RemoveEmptyNode(int level) {
  TNode& node = *path_[static_cast<size_t>(level)];
  TNode& parent = *path_[static_cast<size_t>(level - 1)];
  if (node.IsLeaf()) {
    if (node.PriorLeaf() != 0) TNode::SetLeafLink(io_, node.PriorLeaf(), udbnode::kNextLeaf, node.NextLeaf());
    if (node.NextLeaf() != 0) TNode::SetLeafLink(io_, node.NextLeaf(), udbnode::kPriorLeaf, node.PriorLeaf());
  }
  const TUdbAddr released = node.Address();
  node.Forget();
  parent.DeleteKey(parent.Cursor());
  parent.SetCursor(0);
  io_->ReleaseBlock(released, nodeSize_);
}

// While the root has a single child, the child's content moves into the
// root block (B4) and the child's block is released.
void TBTree::CollapseRoot() {
  TNode& root = *path_[0];
  if (*depth_ > 1 && root.EntryCount() == 0) {  // every node below was removed
    root.Clear();
    root.SetLeaf(true);
    root.SetNextLeaf(0);
    root.SetPriorLeaf(0);
    root.Write();
    *depth_ = 1;
  }
  while (*depth_ > 1 && root.EntryCount() == 1) {
    const TUdbAddr child = udbkey::KeyAddress(root.KeyAt(0));
    work_.ReadFresh(child);
    root.CopyContentFrom(work_);
    if (root.IsLeaf()) {  // the only leaf (B5)
      root.SetNextLeaf(0);
      root.SetPriorLeaf(0);
    }
    root.Write();
    work_.Forget();
    *depth_ -= 1;
    for (size_t i = 1; i < path_.size(); ++i) path_[i]->Forget();
    io_->ReleaseBlock(child, nodeSize_);
  }
  ResizePath();
}

// After a change: the path on key (exactEntry: on the entry with key's
// address), or on the key after it, or on the last key.
void TBTree::RepositionAfterChange(const std::uint8_t* key, bool exactEntry) {
  if (exactEntry) {
    LocateEntry(key);
  } else {
    optimized_.BuildFromKey(layout_, nullptr, key);
    Descend(0, TBound::Lower);
    if (!Leaf().CursorValid() && !Leaf().IsEmpty()) Leaf().Last();
  }
  optimized_.BuildFromKey(layout_, hasModifiers_ ? &modifiers_ : nullptr, searchKey_.data());
  MarkPositioned();
}

// ============================================================================
// TBTree: record numbers, scans, read-ahead
// ============================================================================

std::uint32_t TBTree::RecordCount() {
  CheckReady("TBTree.RecordCount");
  CheckDepth();
  if (!path_.empty() && path_[0]->Address() == *root_) return path_[0]->TotalCount();
  work_.ReadFresh(*root_);
  const std::uint32_t total = work_.TotalCount();
  work_.Forget();
  return total;
}

int TBTree::CurrentRecNo() const {
  if (!KeyValid() || path_.empty()) return 0;
  std::uint32_t before = 0;
  for (size_t level = 0; level + 1 < path_.size(); ++level) {
    const TNode& node = *path_[level];
    if (node.Cursor() > 0) before += node.CountUpTo(node.Cursor() - 1);
  }
  return static_cast<int>(before) + Leaf().Cursor() + 1;
}

TUdbAddr TBTree::AddressOfRecNo(int n) {
  const std::uint32_t total = RecordCount();
  if (n < 1 || static_cast<std::uint32_t>(n) > total)
    UdbDatabaseError(udberr::kInternal, "TBTree.AddressOfRecNo", "Record number out of range: " + std::to_string(n));
  std::uint32_t remaining = static_cast<std::uint32_t>(n);
  TUdbAddr address = *root_;
  const int depth = TreeDepth();
  for (int level = 0; level < depth; ++level) {
    work_.ReadFresh(address);
    if (work_.IsLeaf() != (level == depth - 1)) {
      work_.Forget();
      UdbDatabaseError(udberr::kCorrupt, "TBTree.AddressOfRecNo", "Index depth does not match its nodes" + At(address));
    }
    if (work_.IsLeaf()) break;
    bool found = false;
    for (int i = 0; i < work_.EntryCount(); ++i) {
      const std::uint32_t count = udbkey::KeyCount(work_.KeyAt(i));
      if (remaining <= count) {
        address = udbkey::KeyAddress(work_.KeyAt(i));
        found = true;
        break;
      }
      remaining -= count;
    }
    if (!found) {
      work_.Forget();
      UdbDatabaseError(udberr::kCorrupt, "TBTree.AddressOfRecNo", "Record counts of the index do not add up" + At(address));
    }
  }
  if (remaining < 1 || static_cast<int>(remaining) > work_.EntryCount()) {
    work_.Forget();
    UdbDatabaseError(udberr::kCorrupt, "TBTree.AddressOfRecNo", "Record counts of the index do not add up" + At(address));
  }
  const TUdbAddr result = udbkey::KeyAddress(work_.KeyAt(static_cast<int>(remaining) - 1));
  work_.Forget();
  UDB_INDEX_CHECK(result != 0, "invalid address returned from searchbyrecno");
  return result;
}

void TBTree::ScanMatches(int partCount, const std::uint8_t* key, int mode, bool reverse, TUdbAddr stopAddress,
                         std::vector<TScanMatch>& list) {
  CheckReady("TBTree.ScanMatches");
  list.clear();
  if (!KeyValid()) return;
  const bool forward = mode >= 2;
  const int step = forward ? 1 : -1;
  const std::uint32_t limit = RecordCount();
  int recNo = CurrentRecNo();
  work_.ReadFresh(Leaf().Address());
  int pos = Leaf().Cursor();
  bool stop = false;
  while (!stop) {
    for (; pos >= 0 && pos < work_.EntryCount(); pos += step) {
      const std::uint8_t* entry = work_.KeyAt(pos);
      if (mode == 2 && layout_.CompareKeys(partCount, nullptr, key, entry) != 0) {
        stop = true;
        break;
      }
      const TUdbAddr address = udbkey::KeyAddress(entry);
      list.push_back({address, recNo});
      recNo += step;
      if (mode != 2 && stopAddress != 0 && address == stopAddress) {
        stop = true;
        break;
      }
    }
    if (stop) break;
    const TUdbAddr next = forward ? work_.NextLeaf() : work_.PriorLeaf();
    if (next == 0) break;
    // B5: the next leaf must link back; a chain longer than the index is a loop.
    const TUdbAddr from = work_.Address();
    work_.ReadFresh(next);
    const TUdbAddr back = forward ? work_.PriorLeaf() : work_.NextLeaf();
    if (!work_.IsLeaf() || work_.IsEmpty() || back != from || list.size() > limit) {
      work_.Forget();
      UdbDatabaseError(udberr::kCorrupt, "TBTree.ScanMatches", "Leaf chain is broken" + At(next));
    }
    pos = forward ? 0 : work_.EntryCount() - 1;
  }
  work_.Forget();
  if (reverse) std::reverse(list.begin(), list.end());
}

void TBTree::ReadAhead(int direction, int count, TReadAheadBuffer& buffer) {
  CheckReady("TBTree.ReadAhead");
  buffer.Reset();
  if (!KeyValid() || count < 1) return;
  const int keySize = layout_.MaximumKeySize();
  if (buffer.KeySize() < keySize)
    UdbDatabaseError(udberr::kInternal, "TBTree.ReadAhead", "Read ahead key buffer too small");
  const TNode& leaf = Leaf();
  const int n = leaf.EntryCount();
  const int cursor = leaf.Cursor();
  UDB_INDEX_CHECK(cursor >= 0 && cursor < n, "CursorPos invalid");
  int start;
  if (direction == 1)
    start = std::max(0, cursor - count + 1);
  else if (direction == 3)
    start = std::max(0, cursor - count / 2);
  else
    start = cursor;
  const int end = direction == 1 ? cursor : std::min(n - 1, start + count - 1);
  const int firstRecNo = CurrentRecNo() - (cursor - start);
  for (int i = start; i <= end; ++i) {
    TReadAheadBufferItem* item = buffer.Add();
    std::memcpy(item->KeyBuffer, leaf.KeyAt(i), static_cast<size_t>(keySize));
    item->RecordAddress = udbkey::KeyAddress(leaf.KeyAt(i));
    item->RecordNumber = firstRecNo + (i - start);
  }
  buffer.SetPosition(firstRecNo);
}

// ============================================================================
// TBTree: structure check
// ============================================================================

void TBTree::CheckStructure(TUdbAddr address, int level, const std::uint8_t* expectedFirst,
                            std::uint32_t expectedCount, std::vector<TUdbAddr>& leaves) {
  static const char* const kWhere = "TBTree.CheckStructure";
  TNode node;
  node.Init(io_, nodeSize_, layout_.MaximumKeySize());
  node.ReadFresh(address);
  const bool mustBeLeaf = level == TreeDepth() - 1;
  if (node.IsLeaf() != mustBeLeaf) UdbDatabaseError(udberr::kCorrupt, kWhere, "B3: leaf at the wrong depth" + At(address));
  if (level > 0 && node.IsEmpty()) UdbDatabaseError(udberr::kCorrupt, kWhere, "B6: empty node below the root" + At(address));
  for (int i = 1; i < node.EntryCount(); ++i)
    if (layout_.CompareKeys(0, nullptr, node.KeyAt(i - 1), node.KeyAt(i)) > 0)
      UdbDatabaseError(udberr::kCorrupt, kWhere, "B1: entries out of order" + At(address));
  if (expectedFirst != nullptr) {
    if (node.IsEmpty() || layout_.CompareKeys(0, nullptr, expectedFirst, node.KeyAt(0)) != 0)
      UdbDatabaseError(udberr::kCorrupt, kWhere, "B2: parent entry is not the first key" + At(address));
    if (node.TotalCount() != expectedCount)
      UdbDatabaseError(udberr::kCorrupt, kWhere, "B2: parent count differs" + At(address));
  }
  if (node.IsLeaf()) {
    leaves.push_back(address);
    return;
  }
  for (int i = 0; i < node.EntryCount(); ++i) {
    std::vector<std::uint8_t> entry(node.KeyAt(i), node.KeyAt(i) + layout_.MaximumKeySize());
    CheckStructure(udbkey::KeyAddress(entry.data()), level + 1, entry.data(), udbkey::KeyCount(entry.data()), leaves);
  }
}

void TBTree::CheckStructureForTest() {
  CheckReady("TBTree.CheckStructure");
  CheckDepth();
  std::vector<TUdbAddr> leaves;
  CheckStructure(*root_, 0, nullptr, 0, leaves);
  TNode node;
  node.Init(io_, nodeSize_, layout_.MaximumKeySize());
  std::vector<std::uint8_t> lastKey;
  for (size_t i = 0; i < leaves.size(); ++i) {
    node.ReadFresh(leaves[i]);
    const TUdbAddr prior = i == 0 ? 0 : leaves[i - 1];
    const TUdbAddr next = i + 1 == leaves.size() ? 0 : leaves[i + 1];
    if (node.PriorLeaf() != prior || node.NextLeaf() != next)
      UdbDatabaseError(udberr::kCorrupt, "TBTree.CheckStructure", "B5: leaf chain differs from key order" + At(leaves[i]));
    if (!lastKey.empty() && !node.IsEmpty() &&
        layout_.CompareKeys(0, nullptr, lastKey.data(), node.KeyAt(0)) > 0)
      UdbDatabaseError(udberr::kCorrupt, "TBTree.CheckStructure", "B1: leaves out of order" + At(leaves[i]));
    if (!node.IsEmpty()) lastKey.assign(node.KeyAt(node.EntryCount() - 1), node.KeyAt(node.EntryCount() - 1) + layout_.MaximumKeySize());
  }
}
