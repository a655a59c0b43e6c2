// TByteBuffer: a buffer of a field's or key's bytes, on the stack for the
// usual widths, so that a value copied per row costs no allocation.
// data() is null for a buffer of no bytes (a column of no bytes takes no
// value).
#pragma once

#include <cstddef>
#include <vector>

class TByteBuffer {
 public:
  explicit TByteBuffer(size_t size) : size_(size) {
    if (size > sizeof local_) heap_.resize(size);
  }
  char* data() { return size_ == 0 ? nullptr : size_ > sizeof local_ ? heap_.data() : local_; }
  size_t size() const { return size_; }

 private:
  size_t size_;
  char local_[256];
  std::vector<char> heap_;
};
