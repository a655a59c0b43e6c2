// TSet<E, N>: the class library's "set of <enumeration>" as a value type.
// Elements are enumerators (or small integers) below N.
#pragma once

#include <bitset>
#include <cstddef>
#include <initializer_list>

template <typename E, std::size_t N = 64>
class TSet {
 public:
  TSet() = default;
  TSet(std::initializer_list<E> items) {
    for (E e : items) bits_.set(Index(e));
  }
  bool Contains(E e) const { return bits_.test(Index(e)); }
  TSet& operator<<(E e) { bits_.set(Index(e)); return *this; }
  TSet& operator>>(E e) { bits_.reset(Index(e)); return *this; }
  TSet operator+(const TSet& o) const { TSet r; r.bits_ = bits_ | o.bits_; return r; }
  TSet operator-(const TSet& o) const { TSet r; r.bits_ = bits_ & ~o.bits_; return r; }
  TSet operator*(const TSet& o) const { TSet r; r.bits_ = bits_ & o.bits_; return r; }
  TSet& operator+=(const TSet& o) { bits_ |= o.bits_; return *this; }
  TSet& operator-=(const TSet& o) { bits_ &= ~o.bits_; return *this; }
  bool operator==(const TSet& o) const { return bits_ == o.bits_; }
  bool operator!=(const TSet& o) const { return bits_ != o.bits_; }
  bool Empty() const { return bits_.none(); }
  void Clear() { bits_.reset(); }
  // Bit i stands for the enumerator with ordinal i (as stored in streams).
  unsigned long long ToBits() const { return bits_.to_ullong(); }
  static TSet FromBits(unsigned long long b) { TSet r; r.bits_ = std::bitset<N>(b); return r; }
  static constexpr std::size_t Capacity() { return N; }

 private:
  static std::size_t Index(E e) { return static_cast<std::size_t>(e); }
  std::bitset<N> bits_;
};
