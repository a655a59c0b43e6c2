// TWSEBufferedStream: a write-only stream that gathers small writes (one
// worksheet record, one CSV cell) into a buffer and hands the target
// stream whole blocks.  Nothing reaches the target until the buffer fills
// or Flush is called; the destructor does not flush, so a failed export
// writes nothing more.  export/; calls platform/core.
#pragma once

#include <vector>

#include "platform/core/Streams.h"

class TWSEBufferedStream : public TStream {
 public:
  explicit TWSEBufferedStream(TStream& target, int bufferSize = 64 * 1024)
      : target_(target), capacity_(static_cast<size_t>(bufferSize)) {
    buffer_.reserve(capacity_);
  }

  int Read(void*, int) override { return 0; }
  int Write(const void* data, int count) override {
    if (count <= 0) return 0;
    if (buffer_.size() + static_cast<size_t>(count) > capacity_) Flush();
    if (static_cast<size_t>(count) >= capacity_) {
      target_.WriteBuffer(data, count);
    } else {
      const char* p = static_cast<const char*>(data);
      buffer_.insert(buffer_.end(), p, p + count);
    }
    return count;
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    Flush();
    return target_.Seek(offset, origin);
  }
  // Writes the gathered bytes; raises EWriteError when the target cannot.
  void Flush() {
    if (buffer_.empty()) return;
    target_.WriteBuffer(buffer_.data(), static_cast<int>(buffer_.size()));
    buffer_.clear();
  }

 private:
  TStream& target_;
  size_t capacity_;
  std::vector<char> buffer_;
};
