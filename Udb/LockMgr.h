// TBaseLockMgr / TWinLockMgr: table and record locks of one connection,
// taken as byte-range locks in the lock file of connected users.
// Owned by the connection's TUdbDiskLocks.  Calls platform/core only.
//
// Regions.  Object n owns [base + n * region, base + (n + 1) * region)
// (base + n when the region is a single byte):
//
//   manager   base        region  object 0         failure texts
//   tables    0x800000    8192    database header  65138 read / 65139 write
//   records   0x2000000   1       -                65140 both
//
// A reader locks one byte of its object's region, drawn at random on every
// try, so readers share the region; a writer locks the whole region and
// so excludes everybody.  Record regions are one byte: reading and writing
// a record lock the same byte.
//
// States of one object in one manager (LockTypeOf):
//
//   0 none --SetReadLock--> 1 read --SetWriteLock (upgrade)--> 4 write
//   0 none --SetWriteLock--------------------------------------> 4 write
//   any    --Unlock / ReleaseAll--> 0 none
//
// An upgrade locks the parts of the region before and after the reader's
// byte, so a write lock got that way is three recorded items; the first
// (the reader's byte) is re-marked as a write item so that LockTypeOf
// answers 4.  A request for a lock the manager already holds (a read while
// holding the write lock included) is answered from its own records and
// never touches the file: the kernel refuses a handle's overlapping request
// against itself, which would only time out.
//
// Bookkeeping.  Items() keeps every lock taken by a call to the system
// (and every upgrade's pieces), in the order taken; an index by object id
// answers LockTypeOf and finds an object's items without a walk, so a
// transaction that holds a hundred thousand record locks pays the same per
// lock as one that holds ten.  A lock that a held block covers is in the
// index alone, as an object with no items: it holds no range to release.
//
// Blocks (escalation, off unless SetEscalation is called).  A write request
// made with mayEscalate counts towards its block - blockObjects consecutive
// object ids, aligned.  When threshold such requests have fallen into one
// block, the manager tries once to lock the block's whole range.  The try
// takes in this manager's own locks inside it and fails at once when any
// other handle holds any byte of it; then the objects keep their own locks
// and the try is repeated after twice as many requests.  Once a block is
// held, a further write (or read) request inside it is recorded without a
// call to the system: the block's lock covers it.  A block is given up
// only by ReleaseAll; Unlock of an object inside it forgets the object but
// leaves the bytes locked.  The kernel keeps one entry per lock range and
// walks all of them on every request, so blocks keep that list short: held
// blocks that touch merge into one entry.  Blocks apart are joined when
// bridging is set (SetBlockBridging): a block about to be taken, with a held
// block at most maxBridge blocks below (or above) it, is taken together with
// the blocks between when the test allows each of them - in one range, so
// the held run grows instead of starting another entry.  Should that range
// fail, the block alone is tried.  A crowd limit bounds the entries of
// single objects as well: once that many counted requests hold ranges of
// their own, a counted request tries its block at its first request (a
// block whose try failed keeps waiting for its doubled count).  A block is
// tried before the object's own range is locked: taken, the object needs
// no call of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Component.h"

class TFileHandle;

enum : int { kLockRead = 1, kLockWrite = 4 };

inline constexpr std::int64_t kTableLockBase = 0x800000;
inline constexpr std::int64_t kTableLockRegion = 8192;
inline constexpr std::int64_t kRecordLockBase = 0x2000000;
inline constexpr std::int64_t kRecordLockRegion = 1;

// One lock held: the range [Address, Address + Size) of object ObjectId.
struct TLockItem {
  std::int64_t Size;
  int LockType;
  std::int64_t Address;
  std::int64_t ObjectId;
};

class TBaseLockMgr : public TObject {
 public:
  // handle: the lock file, not owned, open for as long as the manager.
  TBaseLockMgr(TFileHandle* handle, std::int64_t base, std::int64_t regionSize);
  ~TBaseLockMgr() override;  // releases every lock, never throws

  int RetryMaximum() const { return retryMaximum_; }
  void SetRetryMaximum(int n) { retryMaximum_ = n < 1 ? 1 : n; }
  int RetryInterval() const { return retryInterval_; }
  void SetRetryInterval(int ms) { retryInterval_ = ms < 0 ? 0 : ms; }
  void SetReadLockFailureText(const AnsiString& t) { readFailureText_ = t; }
  void SetWriteLockFailureText(const AnsiString& t) { writeFailureText_ = t; }
  const AnsiString& ReadLockFailureText() const { return readFailureText_; }
  const AnsiString& WriteLockFailureText() const { return writeFailureText_; }

  // True once a read (or stronger) lock of id is held; 10249 with the
  // read-lock failure text after RetryMaximum failed tries.
  bool SetReadLock(std::int64_t id, std::int64_t size);
  // Returns 4 once the write lock is held (upgrading a held read lock);
  // 10249 with the write-lock failure text after the retries.  size 0
  // means the whole region.  mayEscalate: the request counts towards its
  // block (see Blocks above).
  int SetWriteLock(std::int64_t id, std::int64_t size, bool mayEscalate = false);
  // One try at a write lock of a range not held yet (size 0: the whole
  // region); false when another handle holds part of it.
  bool TryWriteLock(std::int64_t id, std::int64_t size);
  // Releases every range recorded for id, last recorded first.
  void Unlock(std::int64_t id);
  void ReleaseAll() noexcept;
  // 0 none, 1 read, 4 write.
  int LockTypeOf(std::int64_t id) const;
  // Re-requests every held lock as a write lock, in the order taken
  // (commit raises the transaction's read locks this way).
  void UpgradeAll();

  // Blocks of blockObjects ids, tried once threshold requests fell into one,
  // or at the first once crowdLimit counted requests hold ranges of their
  // own (0: no limit); blockObjects 0 turns escalation off.
  void SetEscalation(std::int64_t blockObjects, int threshold, int crowdLimit = 0);
  // Bridging (see Blocks above).  test(block, ofBlock): block may be locked
  // along with ofBlock although no object of it was requested.
  using TBlockTest = std::function<bool(std::int64_t block, std::int64_t ofBlock)>;
  void SetBlockBridging(int maxBridge, TBlockTest test);
  // A held block covers id.
  bool BlockCovers(std::int64_t id) const;
  std::size_t BlocksHeld() const { return blocks_.size(); }

  std::int64_t RegionStart(std::int64_t id) const;
  std::int64_t RegionSize() const { return regionSize_; }
  const std::vector<TLockItem>& Items() const { return items_; }

 protected:
  virtual bool UnlockRegion(std::int64_t address, std::int64_t size);
  virtual bool LockRegion(std::int64_t address, std::int64_t size, int lockType);
  virtual bool UpgradeReadLockToWriteLock(std::int64_t id);
  // One try at a write lock of [address, address + size) that takes in this
  // manager's own ranges inside it (a block).
  virtual bool LockBlockRegion(std::int64_t address, std::int64_t size);
  // Releases many ranges at once; the base calls UnlockRegion for each.
  virtual void UnlockRegions(const std::vector<std::pair<std::int64_t, std::int64_t>>& ranges);

  // Tries attempt up to RetryMaximum times, RetryInterval ms apart, and
  // every 2 ms between: a lock freed for a moment (between two commits of
  // others) is caught, so waiters are served in turn instead of whoever
  // polls at the right instant.
  bool Poll(const std::function<bool()>& attempt);
  // Tries LockRegion up to RetryMaximum times, RetryInterval ms apart.
  bool LockWithRetries(std::int64_t address, std::int64_t size, int lockType);
  TFileHandle* Handle() const { return handle_; }
  // Appends an item and indexes it.
  void Record(const TLockItem& item);
  // Indexes id as write-locked under a held block, with no item.
  void RecordCovered(std::int64_t id);
  // Marks id's lock as a write lock (an upgrade).
  void MarkWrite(std::int64_t id);
  std::vector<TLockItem> items_;

 private:
  struct TObjectLocks {
    int type;   // the type of the object's first item (LockTypeOf)
    int count;  // its items in items_ (0: covered by a held block)
  };
  // The index by object id: open addressing with linear probing in a
  // power-of-two table at most half full; an entry leaves by moving the
  // entries after it back, so a probe stops at the first free slot.
  class TObjectIndex {
   public:
    TObjectLocks* Find(std::int64_t id);
    const TObjectLocks* Find(std::int64_t id) const;
    // The entry of id, made with initial when missing.
    TObjectLocks& Get(std::int64_t id, TObjectLocks initial);
    void Erase(std::int64_t id);
    // Empties the index; a large table is given back.
    void Clear();

   private:
    struct TSlot {
      std::int64_t id = 0;
      TObjectLocks locks{0, 0};  // type 0: a free slot
      bool Used() const { return locks.type != 0; }
    };
    std::size_t Home(std::int64_t id) const {
      return static_cast<std::size_t>((static_cast<std::uint64_t>(id) * 0x9E3779B97F4A7C15ull) >> shift_);
    }
    std::size_t SlotOf(std::int64_t id) const;  // its slot, or the free slot where it would go
    void Grow();

    std::vector<TSlot> slots_;
    std::size_t used_ = 0;
    int shift_ = 64;
  };
  struct TBlockCount {
    int requests;
    int nextTry;
    bool refused;  // a try failed: the crowd limit no longer hurries it
  };
  std::int64_t BlockOf(std::int64_t id) const;
  // Counts a request towards id's block and tries the block when due; true
  // when a held block now covers id.
  bool CountTowardsBlock(std::int64_t id);
  // Tries to take blocks [first, last] as one range; records them on success.
  bool TakeBlocks(std::int64_t first, std::int64_t last);
  // The far end of the blocks to take with block towards a held block in
  // direction step (-1 or +1); block itself when there is none to join.
  std::int64_t BridgeEnd(std::int64_t block, int step);
  // The item's own range is to be unlocked (no held block covers it).
  bool OwnsRange(const TLockItem& item) const;

  TObjectIndex byId_;
  std::int64_t blockObjects_ = 0;
  int blockThreshold_ = 0;
  int crowdLimit_ = 0;
  // Counted requests that locked a range of their own since ReleaseAll.
  int looseRanges_ = 0;
  std::unordered_map<std::int64_t, TBlockCount> blockCounts_;
  std::unordered_set<std::int64_t> blocks_;
  // The ranges taken for blocks, as locked (a run of blocks is one range).
  std::vector<std::pair<std::int64_t, std::int64_t>> blockRanges_;
  int maxBridge_ = 0;
  TBlockTest bridgeTest_;

  TFileHandle* handle_;
  std::int64_t base_;
  std::int64_t regionSize_;
  int retryMaximum_ = 10;
  int retryInterval_ = 200;
  AnsiString readFailureText_;
  AnsiString writeFailureText_;
};

// The manager on the operating system's byte-range locks.
class TWinLockMgr : public TBaseLockMgr {
 public:
  TWinLockMgr(TFileHandle* handle, std::int64_t base, std::int64_t regionSize);
  // Releases every lock here: the base's destructor no longer reaches the
  // overrides below.
  ~TWinLockMgr() override;

 protected:
  bool UnlockRegion(std::int64_t address, std::int64_t size) override;
  bool LockRegion(std::int64_t address, std::int64_t size, int lockType) override;
  bool UpgradeReadLockToWriteLock(std::int64_t id) override;
  bool LockBlockRegion(std::int64_t address, std::int64_t size) override;
  void UnlockRegions(const std::vector<std::pair<std::int64_t, std::int64_t>>& ranges) override;
};

// The engine's pseudo-random source for reader bytes, seeded once.
std::int64_t UdbRandom(std::int64_t range);
