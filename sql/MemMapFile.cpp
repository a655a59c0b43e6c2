#include "sql/MemMapFile.h"

#include <cstring>

#include "platform/core/Exceptions.h"
#include "platform/core/Files.h"
#include "platform/core/TempFiles.h"
#include "sql/SqlMessages.h"

TMemMapFile::TMemMapFile(const AnsiString& fileName, int mode, std::int64_t size, bool mapNow)
    : fileName_(fileName), writable_(mode != kMapReadOnly) {
  ownHandle_ = mode == kMapCreate ? FileCreate(fileName, fmShareExclusive)
                                  : FileOpen(fileName, static_cast<unsigned>(mode));
  if (!ownHandle_.IsOpen()) SqlQueryError(kSqlFileOpenFailed);
  if (mode != kMapCreate && mode != kMapReadOnly && (mode & 3) == fmOpenRead) writable_ = false;
  handle_ = &ownHandle_;
  fileSize_ = handle_->Size();
  size_ = size > 0 ? size : fileSize_;
  // The file must be as long as the view before the view is touched.
  if (size_ > fileSize_ && (!writable_ || !handle_->Truncate(size_)))
    SqlQueryError(kSqlFileMappingFailed);
  if (mapNow) MapView();
}

TMemMapFile::TMemMapFile(TFileHandle& handle, const AnsiString& fileName, std::int64_t size)
    : fileName_(fileName), handle_(&handle) {
  fileSize_ = handle_->Size();
  size_ = size > 0 ? size : fileSize_;
  if (size_ > fileSize_ && !handle_->Truncate(size_)) SqlQueryError(kSqlFileMappingFailed);
  MapView();
}

TMemMapFile::~TMemMapFile() = default;

void TMemMapFile::MapView() {
  if (view_) return;
  try {
    view_ = std::make_unique<TFileMapping>(*handle_, size_, writable_);
  } catch (const EInOutError&) {
    SqlQueryError(kSqlMapViewFailed);
  }
}

void TMemMapFile::CheckRange(std::int64_t position, std::int64_t count) const {
  if (position < 0 || count < 0 || position + count > size_) SqlQueryError(kSqlPositionBeyondEof);
}

void TMemMapFile::Read(void* buffer, std::int64_t count) {
  CheckRange(position_, count);
  MapView();
  if (count) std::memcpy(buffer, view_->Data() + position_, static_cast<size_t>(count));
  position_ += count;
}

const char* TMemMapFile::View(std::int64_t position, std::int64_t count) {
  CheckRange(position, count);
  MapView();
  return view_->Data() + position;
}

void TMemMapFile::Write(const void* buffer, std::int64_t count) {
  if (!writable_) throw EWriteError("Cannot write to a read-only mapped file " + fileName_);
  if (position_ < 0 || count < 0) SqlQueryError(kSqlPositionBeyondEof);
  MapView();
  const std::int64_t end = position_ + count;
  if (end > size_) {
    try {
      view_->Grow(end);
    } catch (const EInOutError&) {
      SqlQueryError(kSqlFileMappingFailed);
    }
    size_ = view_->Size();
  }
  if (count) std::memcpy(view_->Data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  if (end > highWater_) highWater_ = end;
}
