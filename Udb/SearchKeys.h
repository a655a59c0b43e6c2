// Search keys: the one key format of the engine's indexes (over the key
// field descriptions of KeyFields.h), search modifiers, the prepared
// search key (TOptimizedSearchKey) and the comparison rules that order an
// index.  Used by the B-tree, the index manager, table definitions, the
// table dataset and the filters.  Calls platform/core and platform/data.
//
// Key layout (little-endian; every key of an index is MaximumKeySize long,
// the bytes after the parts are 0):
//
//   offset  size  content
//   0       2     key length in bytes, header included (= MaximumKeySize)
//   2       4     count: records below the child (internal node entries);
//                 0 in keys built from records and in leaf entries
//   6       4     address: the record's block address (leaf) or the child
//                 node's address (internal node)
//   10      b     presence bitmap, b = KeyDataOffset = parts / 8 + 1; bit
//                 0x80 >> (i % 8) of byte i / 8 is set when part i holds a
//                 value
//   10 + b  ...   the parts that hold a value, in key field order; a null
//                 part takes no bytes
//
// Part encodings: ftString: WORD length + that many bytes; ftSmallint,
// ftWord: 2 bytes; ftInteger, ftAutoInc: 4; ftBoolean: 1; ftFloat,
// ftCurrency, ftDate, ftTime, ftDateTime: 8 (IEEE double).
//
// Order (CompareKeys): part by part; a null part sorts before a value
// (I1: nulls first ascending, last descending); values compare by type;
// a Descending part reverses its result; a search modifier (0 lower than
// everything from this part on, 1 normal, 2 higher) decides before the
// values and is not reversed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Udb/DatabaseFileFormat.h"
#include "Udb/KeyFields.h"
#include "platform/data/DBTypes.h"

namespace udbkey {
constexpr int kLengthOffset = 0;
constexpr int kCountOffset = 2;
constexpr int kAddressOffset = 6;
constexpr int kHeaderSize = 10;  // the presence bitmap starts here
constexpr int kMaximumKeySizeLimit = 500;  // larger indexes are refused (9602)
static_assert(kHeaderSize == kAddressOffset + 4);

inline std::uint16_t KeyLength(const std::uint8_t* key) { return udbfmt::GetU16(key + kLengthOffset); }
inline std::uint32_t KeyCount(const std::uint8_t* key) { return udbfmt::GetU32(key + kCountOffset); }
inline std::uint32_t KeyAddress(const std::uint8_t* key) { return udbfmt::GetU32(key + kAddressOffset); }
void SetKeyCount(std::uint8_t* key, std::uint32_t count);
void SetKeyAddress(std::uint8_t* key, std::uint32_t address);
inline bool PartPresent(const std::uint8_t* key, int part) {
  return (key[kHeaderSize + part / 8] & (0x80 >> (part % 8))) != 0;
}
// Bitmap bytes for a key of partCount parts.
inline int KeyDataOffsetFor(int partCount) { return partCount / 8 + 1; }
}  // namespace udbkey

// Search modifier: compare only the first FieldCount parts (below 1: all
// parts before the first hidden one).
struct TSearchModifier {
  int FieldCount = 0;
  bool Active = false;
};

// Part modifiers of a search: 0 lower than every key from this part on, 1
// compare normally, 2 higher than every key from this part on.
using TKeyModifiers = std::vector<std::uint8_t>;

// The string comparison of an index: (search, other, lengths,
// caseInsensitive, partial) -> <0, 0, >0.
using TKeySortFunction = int (*)(const char* search, const char* other, int searchLength,
                                 int otherLength, bool caseInsensitive, bool partial);
int AnsiKeySort(const char* search, const char* other, int searchLength, int otherLength,
                bool caseInsensitive, bool partial);
int AsciiKeySort(const char* search, const char* other, int searchLength, int otherLength,
                 bool caseInsensitive, bool partial);
TKeySortFunction SortFunctionFor(TSortOrder order);

// The comparison view of one index's key fields: the parts' descriptions
// copied out of the collection so that comparisons touch no properties.
class TKeyLayout {
 public:
  struct Part {
    TFieldType type = ftUnknown;
    int fieldSize = 0;
    bool caseInsensitive = false;
    bool descending = false;
    bool hidden = false;
    int recBufOffset = 0;
    int nullFlagOffset = 0;
    int sizeMarkerOffset = 0;
    int coreSize = 0;  // CoreDataSize(type), kept for the comparisons
  };

  TKeyLayout() = default;
  // Raises 9602 when the index's maximum key size exceeds 500, and the
  // internal error for a type that cannot be a key part.
  explicit TKeyLayout(const TKeyFields& fields, TSortOrder order = soANSI);

  int PartCount() const { return static_cast<int>(parts_.size()); }
  // Parts before the first hidden one.
  int UserPartCount() const { return userParts_; }
  int KeyDataOffset() const { return keyDataOffset_; }
  int MaximumKeySize() const { return maximumKeySize_; }
  const Part& PartAt(int i) const { return parts_[static_cast<size_t>(i)]; }
  TKeySortFunction SortFunction() const { return sort_; }
  void SetSortFunction(TKeySortFunction f) { sort_ = f; }

  // Builds the key of a record into key (MaximumKeySize bytes).  A string
  // whose size marker exceeds its field raises 8451 (a corrupt record).
  void BuildKey(const std::uint8_t* record, std::uint8_t* key) const;
  std::vector<std::uint8_t> BuildKey(const std::uint8_t* record) const;

  // <0, 0, >0 as search sorts before, with or after other, over partCount
  // parts (below 1: all).  Modifier lists may be null; a list shorter than
  // the parts covers only its length.  Key lengths above MaximumKeySize and
  // parts running past a key's length raise 8581.
  int CompareKeys(int partCount, const TKeyModifiers* searchModifiers,
                  const std::uint8_t* search, const std::uint8_t* other,
                  const TKeyModifiers* otherModifiers = nullptr) const;

 private:
  std::vector<Part> parts_;
  int userParts_ = 0;
  int keyDataOffset_ = 1;
  int maximumKeySize_ = udbkey::kHeaderSize + 1;
  TKeySortFunction sort_ = AnsiKeySort;
};

// A search key prepared once and compared against many node keys.  Sized
// to the index (no fixed limit of parts).
class TOptimizedSearchKey {
 public:
  void BuildFromRecord(const TKeyLayout& layout, const TKeyModifiers* modifiers,
                       const std::uint8_t* record);
  void BuildFromKey(const TKeyLayout& layout, const TKeyModifiers* modifiers,
                    const std::uint8_t* key);
  int PartCount() const { return static_cast<int>(parts_.size()); }
  bool Present(int part) const { return parts_[static_cast<size_t>(part)].present; }
  int Modifier(int part) const { return parts_[static_cast<size_t>(part)].modifier; }
  int Length(int part) const { return parts_[static_cast<size_t>(part)].length; }
  // The part's bytes: the number's 8-byte slot or the string's characters.
  const std::uint8_t* Value(int part) const;

  // As CompareKeys with this key on the search side; a part's non-zero
  // modifier (-1 or +1) is returned at once.
  int CompareToOptimizedKey(const TKeyLayout& layout, int partCount,
                            const std::uint8_t* nodeKey) const;

 private:
  struct Slot {
    std::uint8_t number[8] = {};
    std::string chars;  // strings: a copy, so the source may go away
    int length = 0;
    int modifier = 0;  // -1, 0, +1
    bool present = false;
  };
  void Reset(const TKeyLayout& layout, const TKeyModifiers* modifiers);
  std::vector<Slot> parts_;
};
