// FilterIndexRange: see FilterIndexRange.h.
#include "Udb/FilterIndexRange.h"

#include <cmath>
#include <cstring>

#include "Udb/RestructureDefs.h"

namespace {

constexpr int kGreaterOrEqual = 3;
constexpr std::uint8_t kLowest = 0, kNormal = 1, kHighest = 2;

bool IsIntegerType(TFieldType t) {
  return t == ftSmallint || t == ftWord || t == ftInteger || t == ftAutoInc;
}

void IntegerRange(TFieldType t, double& lo, double& hi) {
  switch (t) {
    case ftSmallint: lo = -32768; hi = 32767; break;
    case ftWord: lo = 0; hi = 65535; break;
    default: lo = -2147483648.0; hi = 2147483647.0; break;
  }
}

// A search key over the tree's parts: part 0 holds value (or null), the
// later parts carry `rest` as their modifier.
struct TSearchKey {
  std::vector<std::uint8_t> key;
  TKeyModifiers modifiers;
};

TSearchKey MakeKey(const TKeyLayout& layout, bool isNull, const std::uint8_t* data, int length,
                   std::uint8_t rest) {
  TSearchKey k;
  k.key.assign(static_cast<size_t>(layout.MaximumKeySize()), 0);
  k.key[0] = static_cast<std::uint8_t>(layout.MaximumKeySize());
  k.key[1] = static_cast<std::uint8_t>(layout.MaximumKeySize() >> 8);
  if (!isNull) {
    int pos = udbkey::kHeaderSize + layout.KeyDataOffset();
    if (layout.PartAt(0).type == ftString) {
      k.key[static_cast<size_t>(pos)] = static_cast<std::uint8_t>(length);
      k.key[static_cast<size_t>(pos) + 1] = static_cast<std::uint8_t>(length >> 8);
      pos += 2;
    }
    std::memcpy(k.key.data() + pos, data, static_cast<size_t>(length));
    k.key[udbkey::kHeaderSize] |= 0x80;
  }
  k.modifiers.assign(static_cast<size_t>(layout.PartCount()), rest);
  k.modifiers[0] = kNormal;
  return k;
}

// One end of the range as a search key, or "nothing passes" (empty) or
// "no bound" (open).
struct TEnd {
  bool open = false;
  bool empty = false;
  TSearchKey key;
};

// low: keys at or above the bound start; high: keys at or below it end.
TEnd MakeEnd(const TKeyLayout& layout, const TFilterKeyBound& bound, bool low) {
  TEnd end;
  if (bound.Open) {
    end.open = true;
    return end;
  }
  const TKeyLayout::Part& part = layout.PartAt(0);
  bool inclusive = bound.Inclusive;
  // Inclusive low and exclusive high start below every key with the value;
  // the others above them.
  auto restFor = [&]() { return (low == inclusive) ? kLowest : kHighest; };
  if (bound.Value.IsNull()) {
    end.key = MakeKey(layout, true, nullptr, 0, restFor());
    return end;
  }
  std::uint8_t bytes[8] = {};
  if (part.type == ftString) {
    AnsiString text = bound.Value.AsString();
    if (static_cast<int>(text.size()) > part.fieldSize) {
      // No stored text is this long: every key is either at most its
      // stored prefix or above it.
      text.resize(static_cast<size_t>(part.fieldSize));
      inclusive = !low;
    }
    end.key = MakeKey(layout, false, reinterpret_cast<const std::uint8_t*>(text.data()),
                      static_cast<int>(text.size()), restFor());
    return end;
  }
  int length = CoreDataSize(part.type);
  if (IsIntegerType(part.type)) {
    double d = bound.Value.AsDouble();
    double lo, hi;
    IntegerRange(part.type, lo, hi);
    // The integers within the bound.
    double v = low ? (inclusive ? std::ceil(d) : std::floor(d) + 1)
                   : (inclusive ? std::floor(d) : std::ceil(d) - 1);
    if (low && v > hi) end.empty = true;
    if (!low && v < lo) end.empty = true;
    if (end.empty) return end;
    if (v < lo) v = lo;
    if (v > hi) v = hi;
    inclusive = true;
    std::int32_t i = static_cast<std::int32_t>(v);
    if (length == 2) {
      auto s = static_cast<std::uint16_t>(i);
      std::memcpy(bytes, &s, 2);
    } else {
      std::memcpy(bytes, &i, 4);
    }
  } else if (part.type == ftBoolean) {
    bytes[0] = bound.Value.AsBoolean() ? 1 : 0;
  } else {
    double d = bound.Value.AsDouble();
    std::memcpy(bytes, &d, 8);
  }
  end.key = MakeKey(layout, false, bytes, length, restFor());
  return end;
}

// The first part of a key: present, and its string bytes.
bool StringPart(const TKeyLayout& layout, const std::uint8_t* key, AnsiString& text) {
  if (!udbkey::PartPresent(key, 0)) return false;
  const std::uint8_t* p = key + udbkey::kHeaderSize + layout.KeyDataOffset();
  int length = p[0] | (p[1] << 8);
  text.assign(reinterpret_cast<const char*>(p + 2), static_cast<size_t>(length));
  return true;
}

// A prefix of letters, digits and blanks: no character is ignored by the
// ANSI order and none is double-byte, so the keys that start with it end
// before the first key whose head sorts above it.
bool PlainPrefix(const AnsiString& prefix) {
  for (char c : prefix) {
    auto u = static_cast<unsigned char>(c);
    if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == ' '))
      return false;
  }
  return true;
}

void CollectPrefix(TBTree& tree, const AnsiString& prefixIn, std::vector<TRecAddr>& out) {
  const TKeyLayout& layout = tree.Layout();
  const TKeyLayout::Part& part = layout.PartAt(0);
  const AnsiString prefix = prefixIn;
  AnsiString start = prefix.substr(0, static_cast<size_t>(part.fieldSize));
  TSearchKey low = MakeKey(layout, false, reinterpret_cast<const std::uint8_t*>(start.data()),
                           static_cast<int>(start.size()), kLowest);
  tree.SetSearchKeyFromKey(low.key.data(), &low.modifiers);
  if (tree.Find(kGreaterOrEqual) != 0) return;
  const bool plain = PlainPrefix(prefix);
  TKeySortFunction compare = layout.SortFunction();
  const int n = static_cast<int>(prefix.size());
  AnsiString text, head;
  while (tree.KeyValid()) {
    if (StringPart(layout, tree.CurrentKey(), text)) {
      head = text.substr(0, prefix.size());
      head.resize(prefix.size(), '\0');
      if (compare(prefix.data(), head.data(), n, n, part.caseInsensitive, true) == 0)
        out.push_back(tree.CurrentRecordAddress());
      else if (plain && compare(prefix.data(), head.data(), n, n, true, true) < 0)
        break;
    }
    if (!tree.Next()) break;
  }
}

}  // namespace

bool FilterCanUseIndex(const TBTree& tree) {
  const TKeyLayout& layout = tree.Layout();
  if (layout.PartCount() < 1) return false;
  const TKeyLayout::Part& part = layout.PartAt(0);
  if (part.descending || part.hidden) return false;
  switch (part.type) {
    case ftString: case ftSmallint: case ftWord: case ftInteger: case ftAutoInc: case ftBoolean:
    case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime:
      return true;
    default:
      return false;
  }
}

void CollectFilterKeyRange(TBTree& tree, const TFilterKeyBound& low, const TFilterKeyBound& high,
                           std::vector<TRecAddr>& out) {
  if (low.Prefix || high.Prefix) {
    CollectPrefix(tree, (low.Prefix ? low : high).Value.AsString(), out);
    return;
  }
  const TKeyLayout& layout = tree.Layout();
  TEnd first = MakeEnd(layout, low, true);
  TEnd last = MakeEnd(layout, high, false);
  if (first.empty || last.empty) return;
  if (first.open) {
    if (!tree.First()) return;
  } else {
    tree.SetSearchKeyFromKey(first.key.key.data(), &first.key.modifiers);
    if (tree.Find(kGreaterOrEqual) != 0) return;
  }
  while (tree.KeyValid()) {
    if (!last.open && tree.Compare(last.key.key.data(), tree.CurrentKey(), &last.key.modifiers) < 0) break;
    out.push_back(tree.CurrentRecordAddress());
    if (!tree.Next()) break;
  }
}
