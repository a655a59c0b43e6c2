// TMemFileSystem: see MemFileSystem.h.
#include "MemFileSystem.h"

#include <algorithm>
#include <cstring>

namespace {

class TMemFileIO : public TUdbFileIO {
 public:
  TMemFileIO(TMemFileSystem& fs, std::shared_ptr<TMemFileData> data, bool write, bool exclusive)
      : fs_(fs), data_(std::move(data)), write_(write), exclusive_(exclusive) {
    ++data_->openCount;
    if (exclusive_) data_->exclusive = true;
  }
  ~TMemFileIO() override { Close(); }

  std::int64_t ReadAt(std::int64_t offset, void* buffer, std::int64_t count) override {
    if (!data_) return Fail("closed");
    fs_.CountRead();
    const auto& bytes = data_->current;
    if (offset >= static_cast<std::int64_t>(bytes.size())) return 0;
    std::int64_t n = std::min<std::int64_t>(count, static_cast<std::int64_t>(bytes.size()) - offset);
    std::memcpy(buffer, bytes.data() + offset, static_cast<size_t>(n));
    return n;
  }

  std::int64_t WriteAt(std::int64_t offset, const void* buffer, std::int64_t count) override {
    if (!data_) return Fail("closed");
    if (!write_) return Fail("Bad file descriptor");
    if (!fs_.ConsumeWrite()) return Fail("Input/output error (injected)");
    auto& bytes = data_->current;
    if (static_cast<std::int64_t>(bytes.size()) < offset + count) bytes.resize(static_cast<size_t>(offset + count), 0);
    std::memcpy(bytes.data() + offset, buffer, static_cast<size_t>(count));
    return count;
  }

  std::int64_t Size() override {
    if (!data_) return Fail("closed");
    return static_cast<std::int64_t>(data_->current.size());
  }

  bool SetSize(std::int64_t size) override {
    if (!data_ || !write_) return Fail("Bad file descriptor") == 0;
    data_->current.resize(static_cast<size_t>(size), 0);
    return true;
  }

  bool Flush() override {
    if (!data_) return Fail("closed") == 0;
    if (!fs_.ConsumeFlush()) return Fail("Input/output error (injected flush)") == 0;
    data_->durable = data_->current;
    return true;
  }

  void Close() override {
    if (!data_) return;
    --data_->openCount;
    if (exclusive_) data_->exclusive = false;
    data_.reset();
  }

  AnsiString ErrorText() const override { return error_; }

 private:
  std::int64_t Fail(const char* why) {
    error_ = why;
    return -1;
  }

  TMemFileSystem& fs_;
  std::shared_ptr<TMemFileData> data_;
  bool write_;
  bool exclusive_;
  AnsiString error_;
};

}  // namespace

std::unique_ptr<TUdbFileIO> TMemFileSystem::Open(const AnsiString& path, const TUdbOpenMode& mode,
                                                 AnsiString& errorText) {
  auto it = files_.find(path);
  if (it == files_.end()) {
    errorText = "No such file or directory";
    return nullptr;
  }
  auto& data = it->second;
  if (mode.write && data->readOnly) {
    errorText = "Permission denied";
    return nullptr;
  }
  if (data->exclusive || (mode.exclusive && data->openCount > 0)) {
    errorText = "The file is in use by another connection";
    return nullptr;
  }
  return std::make_unique<TMemFileIO>(*this, data, mode.write, mode.exclusive);
}

std::unique_ptr<TUdbFileIO> TMemFileSystem::Create(const AnsiString& path, AnsiString& errorText) {
  auto& data = files_[path];
  if (!data) data = std::make_shared<TMemFileData>();
  data->current.clear();
  return std::make_unique<TMemFileIO>(*this, data, true, false);
}

bool TMemFileSystem::IsReadOnly(const AnsiString& path) {
  auto it = files_.find(path);
  return it != files_.end() && it->second->readOnly;
}

std::vector<std::uint8_t>& TMemFileSystem::Bytes(const AnsiString& path) { return Data(path)->current; }

std::shared_ptr<TMemFileData> TMemFileSystem::Data(const AnsiString& path) {
  auto& data = files_[path];
  if (!data) data = std::make_shared<TMemFileData>();
  return data;
}

void TMemFileSystem::Crash() {
  for (auto& [path, data] : files_) data->current = data->durable;
}

bool TMemFileSystem::ConsumeWrite() {
  ++writes_;
  if (writesLeft_ < 0) return true;
  if (writesLeft_ == 0) {
    writesLeft_ = -1;  // one failure; a retry succeeds
    return false;
  }
  --writesLeft_;
  return true;
}

bool TMemFileSystem::ConsumeFlush() {
  ++flushes_;
  if (flushesLeft_ < 0) return true;
  if (flushesLeft_ == 0) {
    flushesLeft_ = -1;
    return false;
  }
  --flushesLeft_;
  return true;
}

bool TMemFileSystem::Rename(const AnsiString& from, const AnsiString& to) {
  auto it = files_.find(from);
  if (it == files_.end()) return false;
  std::shared_ptr<TMemFileData> data = it->second;
  files_.erase(it);
  files_[to] = data;
  return true;
}
