#include "platform/core/Streams.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/core/SysInfo.h"

namespace {

[[noreturn]] void SeekError() { throw EStreamError("Stream seek error"); }

std::int64_t NewPosition(std::int64_t current, std::int64_t size, std::int64_t offset,
                         TSeekOrigin origin) {
  std::int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? current : size;
  if ((offset < 0 && base + offset < 0) || (offset > 0 && base > INT64_MAX - offset))
    SeekError();
  return base + offset;
}

}  // namespace

// ---- TStream ---------------------------------------------------------------

std::int64_t TStream::Position() const {
  return const_cast<TStream*>(this)->Seek(0, soCurrent);
}

std::int64_t TStream::Size() const {
  auto* self = const_cast<TStream*>(this);
  std::int64_t pos = self->Seek(0, soCurrent);
  std::int64_t size = self->Seek(0, soEnd);
  self->Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) {}

void TStream::ReadBuffer(void* buffer, int count) {
  if (count < 0 || (count > 0 && Read(buffer, count) != count)) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int count) {
  if (count < 0 || (count > 0 && Write(buffer, count) != count))
    throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream* source, std::int64_t count) {
  if (count == 0) {
    source->SetPosition(0);
    count = source->Size();
  }
  const std::int64_t total = count;
  std::vector<char> buf(static_cast<size_t>(std::min<std::int64_t>(count, 1 << 16)) + 1);
  while (count > 0) {
    int n = static_cast<int>(std::min<std::int64_t>(count, static_cast<std::int64_t>(buf.size())));
    source->ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    count -= n;
  }
  return total;
}

// ---- TCustomMemoryStream -----------------------------------------------------

void TCustomMemoryStream::SetPointer(void* memory, std::int64_t size) {
  memory_ = memory;
  size_ = size;
}

int TCustomMemoryStream::Read(void* buffer, int count) {
  if (count <= 0 || position_ >= size_) return 0;
  std::int64_t n = std::min<std::int64_t>(count, size_ - position_);
  std::memcpy(buffer, static_cast<char*>(memory_) + position_, static_cast<size_t>(n));
  position_ += n;
  return static_cast<int>(n);
}

std::int64_t TCustomMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  position_ = NewPosition(position_, size_, offset, origin);
  return position_;
}

int TCustomMemoryStream::Write(const void*, int) { return 0; }

void TCustomMemoryStream::SaveToStream(TStream* stream) const {
  std::int64_t done = 0;
  while (done < size_) {
    int n = static_cast<int>(std::min<std::int64_t>(size_ - done, INT_MAX));
    stream->WriteBuffer(static_cast<char*>(memory_) + done, n);
    done += n;
  }
}

void TCustomMemoryStream::SaveToFile(const AnsiString& fileName) const {
  // Through a temporary file: a full disk or a crash leaves the old file.
  WriteFileAtomically(fileName, std::string_view(static_cast<const char*>(memory_),
                                                 static_cast<size_t>(size_)));
}

// ---- TMemoryStream ---------------------------------------------------------------

void TMemoryStream::SetCapacity(std::int64_t capacity) {
  if (capacity < size_) capacity = size_;
  buffer_.resize(static_cast<size_t>(capacity));
  buffer_.shrink_to_fit();
  SetPointer(buffer_.empty() ? nullptr : buffer_.data(), size_);
}

void TMemoryStream::SetSize(std::int64_t newSize) {
  if (newSize < 0) throw EStreamError("Stream seek error");
  if (newSize > Capacity()) {
    // Grow geometrically so that a run of small writes stays linear.
    std::int64_t cap = std::max<std::int64_t>(newSize, Capacity() + Capacity() / 2);
    cap = (cap + 8191) & ~std::int64_t{8191};
    buffer_.resize(static_cast<size_t>(cap));
  }
  if (newSize > size_)
    std::memset(buffer_.data() + size_, 0, static_cast<size_t>(newSize - size_));
  SetPointer(buffer_.empty() ? nullptr : buffer_.data(), newSize);
  if (position_ > newSize) position_ = newSize;
}

int TMemoryStream::Write(const void* buffer, int count) {
  if (count <= 0) return 0;
  std::int64_t end = position_ + count;
  if (end > size_) {
    std::int64_t pos = position_;
    SetSize(end);
    position_ = pos;
  }
  std::memcpy(static_cast<char*>(memory_) + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

void TMemoryStream::Clear() {
  buffer_.clear();
  buffer_.shrink_to_fit();
  SetPointer(nullptr, 0);
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream* stream) {
  stream->SetPosition(0);
  std::int64_t count = stream->Size();
  SetSize(count);
  position_ = 0;
  std::int64_t done = 0;
  while (done < count) {
    int n = static_cast<int>(std::min<std::int64_t>(count - done, INT_MAX));
    stream->ReadBuffer(static_cast<char*>(memory_) + done, n);
    done += n;
  }
}

void TMemoryStream::LoadFromFile(const AnsiString& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&file);
}

// ---- TFileStream ---------------------------------------------------------------

TFileStream::TFileStream(const AnsiString& fileName, unsigned mode) : fileName_(fileName) {
  const bool create = (mode & 0xFF00u) == fmCreate;
  handle_ = FileOpen(fileName, mode);
  if (!handle_.IsOpen()) {
    int err = errno;
    if (create)
      throw EFCreateError("Cannot create file " + fileName + ". " + SysErrorMessage(err));
    throw EFOpenError("Cannot open file " + fileName + ". " + SysErrorMessage(err));
  }
  unsigned access = create ? fmOpenReadWrite : (mode & 0x3u);
  canRead_ = access == fmOpenRead || access == fmOpenReadWrite;
  canWrite_ = access == fmOpenWrite || access == fmOpenReadWrite;
}

TFileStream::~TFileStream() = default;

int TFileStream::Read(void* buffer, int count) {
  if (count <= 0 || !canRead_) return 0;
  std::int64_t n = handle_.ReadAt(buffer, count, position_);
  if (n <= 0) return 0;
  position_ += n;
  return static_cast<int>(n);
}

int TFileStream::Write(const void* buffer, int count) {
  if (count <= 0 || !canWrite_) return 0;
  std::int64_t n = handle_.WriteAt(buffer, count, position_);
  if (n <= 0) return 0;
  position_ += n;
  return static_cast<int>(n);
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t size = origin == soEnd ? handle_.Size() : 0;
  position_ = NewPosition(position_, size, offset, origin);
  return position_;
}

std::int64_t TFileStream::Size() const { return handle_.Size(); }

void TFileStream::SetSize(std::int64_t newSize) {
  if (newSize < 0 || !canWrite_ || !handle_.Truncate(newSize))
    throw EWriteError("Stream write error");
  if (position_ > newSize) position_ = newSize;
}

void TFileStream::FlushBuffers() {
  if (!handle_.Flush()) throw EWriteError("Stream write error");
}

// ---- TStringStream ------------------------------------------------------------------

int TStringStream::Read(void* buffer, int count) {
  std::int64_t size = Size();
  if (count <= 0 || position_ >= size) return 0;
  std::int64_t n = std::min<std::int64_t>(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return static_cast<int>(n);
}

int TStringStream::Write(const void* buffer, int count) {
  if (count <= 0) return 0;
  std::int64_t end = position_ + count;
  if (end > Size()) data_.resize(static_cast<size_t>(end), '\0');
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

std::int64_t TStringStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  position_ = NewPosition(position_, Size(), offset, origin);
  return position_;
}

void TStringStream::SetSize(std::int64_t newSize) {
  if (newSize < 0) throw EStreamError("Stream seek error");
  data_.resize(static_cast<size_t>(newSize), '\0');
  if (position_ > newSize) position_ = newSize;
}

AnsiString TStringStream::ReadString(int count) {
  std::int64_t size = Size();
  if (count <= 0 || position_ >= size) return AnsiString();
  std::int64_t n = std::min<std::int64_t>(count, size - position_);
  AnsiString s = data_.substr(static_cast<size_t>(position_), static_cast<size_t>(n));
  position_ += n;
  return s;
}

void TStringStream::WriteString(const AnsiString& s) {
  Write(s.data(), static_cast<int>(s.size()));
}
