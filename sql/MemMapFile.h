// TMemMapFile: a file mapped into memory and read and written like a
// stream, the store of the file-backed result sets and sort lists.
// sql/; calls platform/core (Files.h, TempFiles.h).
//
// The view covers [0, Size()).  Reads never pass Size() ("Position beyond
// EOF").  A write that would pass it grows the file and the view first, so
// nothing is ever written past the mapped view; the view may move when it
// grows, so callers keep positions, never addresses, across a Write.  The
// high-water mark is the largest position any write has reached: the end
// of the data, where file-backed lists append their rows.
//
//   TTempFile temp("~sq");
//   TMemMapFile map(temp.Handle(), temp.FileName(), 2000000);
//   map.Seek(map.HighWater()); map.Write(row, rowSize);
#pragma once

#include <cstdint>
#include <memory>

#include "platform/core/AnsiString.h"
#include "platform/core/FileLocks.h"

class TFileMapping;

class TMemMapFile {
 public:
  // Open modes: kMapCreate creates (or empties) the file; 0 opens it read
  // only; any other value opens it with that file mode (fmOpenReadWrite...).
  static constexpr int kMapCreate = 65535;
  static constexpr int kMapReadOnly = 0;

  // Opens fileName in mode and maps size bytes (0: the whole file), at once
  // when mapNow, else at the first access.  Raises ESqlQueryError "Failed to
  // open or create file", "Failed to create file mapping" or "Failed to map
  // view of file".
  TMemMapFile(const AnsiString& fileName, int mode, std::int64_t size, bool mapNow);
  // Maps size bytes of a file that is already open for reading and writing
  // (a temporary file); the handle stays the caller's and must outlive this.
  TMemMapFile(TFileHandle& handle, const AnsiString& fileName, std::int64_t size);
  ~TMemMapFile();
  TMemMapFile(const TMemMapFile&) = delete;
  TMemMapFile& operator=(const TMemMapFile&) = delete;

  const AnsiString& FileName() const { return fileName_; }
  // The requested size, or the file's size when none was requested; grows
  // with the view.
  std::int64_t Size() const { return size_; }
  std::int64_t FileSize() const { return fileSize_; }
  std::int64_t Position() const { return position_; }
  std::int64_t HighWater() const { return highWater_; }

  // Sets the position; no check (Read and Write check).
  void Seek(std::int64_t position) { position_ = position; }
  // Copies count bytes at the position and advances it; raises
  // ESqlQueryError "Position beyond EOF" when they pass Size().
  void Read(void* buffer, std::int64_t count);
  // Copies count bytes to the position (growing the view when they pass
  // Size()), advances it and raises the high-water mark to it.
  void Write(const void* buffer, std::int64_t count);
  // The bytes [position, position + count) in place, valid until the next
  // Write; raises as Read does.
  const char* View(std::int64_t position, std::int64_t count);
  // Forgets the data: position and high-water mark 0 (the file keeps its size).
  void Rewind() { position_ = highWater_ = 0; }

 private:
  void MapView();
  void CheckRange(std::int64_t position, std::int64_t count) const;

  AnsiString fileName_;
  std::int64_t size_ = 0;
  std::int64_t fileSize_ = 0;
  bool writable_ = true;
  TFileHandle ownHandle_;
  TFileHandle* handle_ = nullptr;
  std::unique_ptr<TFileMapping> view_;
  std::int64_t position_ = 0;
  std::int64_t highWater_ = 0;
};
