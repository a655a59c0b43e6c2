#include "Udb/SearchKeys.h"

#include <cstring>

#include "Udb/UdbErrors.h"
#include "platform/core/AnsiText.h"
#include "platform/core/TypInfo.h"

namespace {

int Sign(long long v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

// Bytes a present part occupies in a key (strings: from its stored length).
int StoredPartBytes(const TKeyLayout::Part& part, const std::uint8_t* at) {
  if (part.type == ftString) return 2 + udbfmt::GetU16(at);
  return part.coreSize;
}

// Compares two present non-string values of one type.
// unknownTypeText prefixes the type's name when the type cannot be a part.
int CompareValues(TFieldType type, const std::uint8_t* a, const std::uint8_t* b,
                  const char* location, const char* unknownTypeText) {
  switch (type) {
    case ftSmallint: {
      std::int16_t x, y;
      std::memcpy(&x, a, 2);
      std::memcpy(&y, b, 2);
      return Sign(static_cast<long long>(x) - y);
    }
    case ftWord:
      return Sign(static_cast<long long>(udbfmt::GetU16(a)) - udbfmt::GetU16(b));
    case ftBoolean:
      return Sign(static_cast<long long>(a[0]) - b[0]);
    case ftInteger:
    case ftAutoInc: {
      std::int32_t x, y;
      std::memcpy(&x, a, 4);
      std::memcpy(&y, b, 4);
      return Sign(static_cast<long long>(x) - y);
    }
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftTime:
    case ftDateTime: {
      double x, y;
      std::memcpy(&x, a, 8);
      std::memcpy(&y, b, 8);
      return x < y ? -1 : x > y ? 1 : 0;
    }
    default:
      UdbDatabaseError(udberr::kInternal, location,
                       AnsiString(unknownTypeText) +
                           FieldTypeName(type));
  }
}

}  // namespace

namespace udbkey {
void SetKeyCount(std::uint8_t* key, std::uint32_t count) { udbfmt::PutU32(key + kCountOffset, count); }
void SetKeyAddress(std::uint8_t* key, std::uint32_t address) {
  udbfmt::PutU32(key + kAddressOffset, address);
}
}  // namespace udbkey

// --- sort functions --------------------------------------------------------------

int AnsiKeySort(const char* search, const char* other, int searchLength, int otherLength,
                bool caseInsensitive, bool partial) {
  return Sign(CompareAnsiKey(search, static_cast<size_t>(searchLength), other,
                             static_cast<size_t>(otherLength), caseInsensitive, partial));
}

int AsciiKeySort(const char* search, const char* other, int searchLength, int otherLength,
                 bool caseInsensitive, bool partial) {
  return Sign(CompareAsciiKey(search, static_cast<size_t>(searchLength), other,
                              static_cast<size_t>(otherLength), caseInsensitive, partial));
}

TKeySortFunction SortFunctionFor(TSortOrder order) {
  return order == soASCII ? AsciiKeySort : AnsiKeySort;
}

// --- TKeyLayout ---------------------------------------------------------------------

TKeyLayout::TKeyLayout(const TKeyFields& fields, TSortOrder order) : sort_(SortFunctionFor(order)) {
  int count = fields.Count();
  userParts_ = -1;
  for (int i = 0; i < count; ++i) {
    const TKeyFieldItem* f = fields.Items(i);
    if (IsBlobType(f->DataType()))
      throw EDatabaseError("Error in setting CoreDataSize - field type not found: " +
                           FieldTypeName(f->DataType()));
    Part p;
    p.coreSize = CoreDataSize(f->DataType());  // raises for a type that cannot be a part
    p.type = f->DataType();
    p.fieldSize = f->FieldSize();
    p.caseInsensitive = f->CaseInsensitive();
    p.descending = f->Descending();
    p.hidden = f->Hidden();
    p.recBufOffset = f->RecBufOffset();
    p.nullFlagOffset = f->NullFlagOffset();
    p.sizeMarkerOffset = f->SizeMarkerOffset();
    if (p.hidden && userParts_ < 0) userParts_ = i;
    parts_.push_back(p);
  }
  if (userParts_ < 0) userParts_ = count;
  keyDataOffset_ = udbkey::KeyDataOffsetFor(count);
  maximumKeySize_ = fields.KeySize() + keyDataOffset_;
  if (maximumKeySize_ > udbkey::kMaximumKeySizeLimit)
    UdbDatabaseError(udberr::kKeyTooLarge, "TKeyLayout.Create");
}

void TKeyLayout::BuildKey(const std::uint8_t* record, std::uint8_t* key) const {
  std::memset(key, 0, static_cast<size_t>(maximumKeySize_));
  int pos = udbkey::kHeaderSize + keyDataOffset_;
  for (int i = 0; i < PartCount(); ++i) {
    const Part& p = parts_[static_cast<size_t>(i)];
    if (record[p.nullFlagOffset] != 1) continue;
    int length = p.fieldSize;
    if (p.type != ftString) length = p.coreSize;
    if (p.sizeMarkerOffset >= 1) {
      length = udbfmt::GetU16(record + p.sizeMarkerOffset);
      if (length > p.fieldSize)
        UdbDatabaseError(udberr::kCorrupt, "TBTree.BuildKey", "String size marker exceeds its field");
    }
    if (p.type == ftString) {
      udbfmt::PutU16(key + pos, static_cast<std::uint16_t>(length));
      pos += 2;
    }
    std::memcpy(key + pos, record + p.recBufOffset, static_cast<size_t>(length));
    pos += length;
    key[udbkey::kHeaderSize + i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
  }
  udbfmt::PutU16(key + udbkey::kLengthOffset, static_cast<std::uint16_t>(maximumKeySize_));
}

std::vector<std::uint8_t> TKeyLayout::BuildKey(const std::uint8_t* record) const {
  std::vector<std::uint8_t> key(static_cast<size_t>(maximumKeySize_));
  BuildKey(record, key.data());
  return key;
}

int TKeyLayout::CompareKeys(int partCount, const TKeyModifiers* searchModifiers,
                            const std::uint8_t* search, const std::uint8_t* other,
                            const TKeyModifiers* otherModifiers) const {
  static const char* const kWhere = "TBTree.CompareKeys";
  const int searchLen = udbkey::KeyLength(search);
  const int otherLen = udbkey::KeyLength(other);
  if (searchLen > maximumKeySize_ || otherLen > maximumKeySize_)
    UdbDatabaseError(udberr::kInternal, kWhere, "KeySize out of range");
  int n = partCount >= 1 ? partCount : PartCount();
  if (n > PartCount()) n = PartCount();
  int sp = udbkey::kHeaderSize + keyDataOffset_;
  int op = sp;
  for (int i = 0; i < n; ++i) {
    const Part& p = parts_[static_cast<size_t>(i)];
    if (searchModifiers && i < static_cast<int>(searchModifiers->size())) {
      int otherMod = (otherModifiers && i < static_cast<int>(otherModifiers->size()))
                         ? (*otherModifiers)[static_cast<size_t>(i)]
                         : 1;
      int r = static_cast<int>((*searchModifiers)[static_cast<size_t>(i)]) - otherMod;
      if (r != 0) return r < 0 ? -1 : 1;
    }
    bool sHas = udbkey::PartPresent(search, i);
    bool oHas = udbkey::PartPresent(other, i);
    int r = static_cast<int>(sHas) - static_cast<int>(oHas);
    if (r == 0 && sHas) {
      // I2: a part never runs past its key's stored length.
      if (sp + 2 > searchLen || op + 2 > otherLen)
        UdbDatabaseError(udberr::kInternal, kWhere, "KeySize out of range");
      int sBytes = StoredPartBytes(p, search + sp);
      int oBytes = StoredPartBytes(p, other + op);
      if (sp + sBytes > searchLen || op + oBytes > otherLen)
        UdbDatabaseError(udberr::kInternal, kWhere, "KeySize out of range");
      if (p.type == ftString) {
        r = sort_(reinterpret_cast<const char*>(search + sp + 2),
                  reinterpret_cast<const char*>(other + op + 2), sBytes - 2, oBytes - 2,
                  p.caseInsensitive, false);
      } else {
        r = CompareValues(p.type, search + sp, other + op, kWhere, "Field type not found: ");
      }
      sp += sBytes;
      op += oBytes;
    }
    if (p.descending) r = -r;
    if (r != 0) return r;
  }
  return 0;
}

// --- TOptimizedSearchKey -------------------------------------------------------------

void TOptimizedSearchKey::Reset(const TKeyLayout& layout, const TKeyModifiers* modifiers) {
  // The slots are cleared in place: a key is prepared for every search and
  // insert, and the strings keep their storage from one to the next.
  parts_.resize(static_cast<size_t>(layout.PartCount()));
  for (int i = 0; i < layout.PartCount(); ++i) {
    Slot& s = parts_[static_cast<size_t>(i)];
    std::memset(s.number, 0, sizeof s.number);
    s.chars.clear();
    s.length = 0;
    s.present = false;
    s.modifier = modifiers && i < static_cast<int>(modifiers->size())
                     ? ((*modifiers)[static_cast<size_t>(i)] & 127) - 1
                     : 0;
  }
}

void TOptimizedSearchKey::BuildFromRecord(const TKeyLayout& layout, const TKeyModifiers* modifiers,
                                          const std::uint8_t* record) {
  Reset(layout, modifiers);
  for (int i = 0; i < layout.PartCount(); ++i) {
    const TKeyLayout::Part& p = layout.PartAt(i);
    if (record[p.nullFlagOffset] != 1) continue;
    Slot& s = parts_[static_cast<size_t>(i)];
    int length = p.type == ftString ? p.fieldSize : p.coreSize;
    if (p.sizeMarkerOffset >= 1) length = udbfmt::GetU16(record + p.sizeMarkerOffset);
    if (length > (p.type == ftString ? p.fieldSize : 8))
      UdbDatabaseError(udberr::kCorrupt, "TOptimizedSearchKey.BuildFromRecord",
                       "String size marker exceeds its field");
    s.length = length;
    if (p.type == ftString)
      s.chars.assign(reinterpret_cast<const char*>(record + p.recBufOffset), static_cast<size_t>(length));
    else
      std::memcpy(s.number, record + p.recBufOffset, static_cast<size_t>(length));
    s.present = true;
  }
}

void TOptimizedSearchKey::BuildFromKey(const TKeyLayout& layout, const TKeyModifiers* modifiers,
                                       const std::uint8_t* key) {
  Reset(layout, modifiers);
  const int keyLen = udbkey::KeyLength(key);
  if (keyLen > layout.MaximumKeySize())
    UdbDatabaseError(udberr::kInternal, "TOptimizedSearchKey.BuildFromKey",
                     "Invalid key size: " + std::to_string(keyLen));
  int pos = udbkey::kHeaderSize + layout.KeyDataOffset();
  for (int i = 0; i < layout.PartCount(); ++i) {
    if (!udbkey::PartPresent(key, i)) continue;
    const TKeyLayout::Part& p = layout.PartAt(i);
    Slot& s = parts_[static_cast<size_t>(i)];
    if (p.type == ftString) {
      if (pos + 2 > keyLen) break;
      s.length = udbfmt::GetU16(key + pos);
      pos += 2;
      if (pos + s.length > keyLen)
        UdbDatabaseError(udberr::kInternal, "TOptimizedSearchKey.BuildFromKey",
                         "Invalid key size: " + std::to_string(keyLen));
      s.chars.assign(reinterpret_cast<const char*>(key + pos), static_cast<size_t>(s.length));
    } else {
      s.length = p.coreSize;
      if (pos + s.length > keyLen)
        UdbDatabaseError(udberr::kInternal, "TOptimizedSearchKey.BuildFromKey",
                         "Invalid key size: " + std::to_string(keyLen));
      std::memcpy(s.number, key + pos, static_cast<size_t>(s.length));
    }
    pos += s.length;
    s.present = true;
  }
}

const std::uint8_t* TOptimizedSearchKey::Value(int part) const {
  const Slot& s = parts_[static_cast<size_t>(part)];
  return s.chars.empty() ? s.number : reinterpret_cast<const std::uint8_t*>(s.chars.data());
}

int TOptimizedSearchKey::CompareToOptimizedKey(const TKeyLayout& layout, int partCount,
                                               const std::uint8_t* nodeKey) const {
  static const char* const kWhere = "TBTree.CompareToOptimizedKey";
  const int keyLen = udbkey::KeyLength(nodeKey);
  if (keyLen > layout.MaximumKeySize())
    UdbDatabaseError(udberr::kInternal, kWhere, "Invalid key size: " + std::to_string(keyLen));
  int n = partCount >= 1 ? partCount : layout.PartCount();
  if (n > PartCount()) n = PartCount();
  int pos = udbkey::kHeaderSize + layout.KeyDataOffset();
  for (int i = 0; i < n; ++i) {
    const Slot& s = parts_[static_cast<size_t>(i)];
    if (s.modifier != 0) return s.modifier;
    const TKeyLayout::Part& p = layout.PartAt(i);
    bool oHas = udbkey::PartPresent(nodeKey, i);
    int r = static_cast<int>(s.present) - static_cast<int>(oHas);
    if (r == 0 && s.present) {
      if (pos + 2 > keyLen)
        UdbDatabaseError(udberr::kInternal, kWhere, "Invalid key size: " + std::to_string(keyLen));
      int bytes = StoredPartBytes(p, nodeKey + pos);
      if (pos + bytes > keyLen)
        UdbDatabaseError(udberr::kInternal, kWhere, "Invalid key size: " + std::to_string(keyLen));
      if (p.type == ftString) {
        const char* other = reinterpret_cast<const char*>(nodeKey + pos + 2);
        // The ANSI order (nearly every index) without the call through the pointer.
        r = layout.SortFunction() == AnsiKeySort
                ? Sign(CompareAnsiKey(s.chars.data(), static_cast<size_t>(s.length), other,
                                      static_cast<size_t>(bytes - 2), p.caseInsensitive, false))
                : layout.SortFunction()(s.chars.data(), other, s.length, bytes - 2, p.caseInsensitive, false);
      } else {
        r = CompareValues(p.type, s.number, nodeKey + pos, kWhere,
                          "Field type not found in KeyBufCompare: ");
      }
      pos += bytes;
    } else if (oHas) {
      pos += StoredPartBytes(p, nodeKey + pos);
    }
    if (p.descending) r = -r;
    if (r != 0) return r;
  }
  return 0;
}
