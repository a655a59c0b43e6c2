// TempFiles: temporary files in the temporary folder and memory mappings of
// files, as the query engine's file-backed result sets and sort lists use
// them.  platform/core; POSIX only.
//
// A temporary file is named "<prefix><6 random characters>.tmp" in
// TempFolder().  While its TTempFile lives the file holds an exclusive lock
// on byte kTempAliveByte; the file is deleted when the TTempFile is closed
// or destroyed.  A process that crashed leaves its files behind without the
// lock, which is how RemoveStaleTempFiles tells them from live ones; the
// first TTempFile of each prefix in a process calls it.
#pragma once

#include <cstdint>

#include "platform/core/AnsiString.h"
#include "platform/core/FileLocks.h"

// Lock held on a live temporary file: beyond any data, below the share range.
inline constexpr std::int64_t kTempAliveByte = INT64_C(0x7FFFFFFFFFFFFE00);

// The folder for temporary files ($TMPDIR, else /tmp), with trailing '/'.
AnsiString TempFolder();

class TTempFile {
 public:
  // Creates a new, empty, uniquely named file; raises EFCreateError.
  explicit TTempFile(const AnsiString& prefix);
  ~TTempFile() { Close(); }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  const AnsiString& FileName() const { return fileName_; }
  TFileHandle& Handle() { return handle_; }
  bool IsOpen() const { return handle_.IsOpen(); }
  // Closes and deletes the file.  Never throws.
  void Close() noexcept;

 private:
  AnsiString fileName_;
  std::string native_;
  TFileHandle handle_;
};

// A shared read-write (or read-only) mapping of [0, Size()) of an open
// file.  Grow extends the file with zeros and the mapping with it; the
// address may change, so callers keep offsets, never pointers, across a
// Grow.  The mapping is removed when the object is destroyed; the file
// handle is not owned.
class TFileMapping {
 public:
  // Maps size bytes (0: the whole file); a writable mapping of a file
  // shorter than size extends the file first.  Raises EInOutError with the
  // OS reason when the file cannot be sized or mapped.
  TFileMapping(TFileHandle& handle, std::int64_t size, bool writable);
  ~TFileMapping();
  TFileMapping(const TFileMapping&) = delete;
  TFileMapping& operator=(const TFileMapping&) = delete;

  char* Data() const { return static_cast<char*>(data_); }
  std::int64_t Size() const { return size_; }
  // Makes the mapping at least minSize bytes (growing geometrically).
  void Grow(std::int64_t minSize);
  // Writes changed pages to the file; raises EInOutError.
  void Flush();

 private:
  void Map(std::int64_t size);
  void Unmap() noexcept;

  TFileHandle& handle_;
  bool writable_;
  void* data_ = nullptr;
  std::int64_t size_ = 0;
};

// A temporary file is stale when no process holds its alive lock and it
// has not been written for this long.
inline constexpr int kStaleAfterSeconds = 10;

// Deletes the stale temporary files with this prefix (their owner crashed).
// Returns how many were deleted.
int RemoveStaleTempFiles(const AnsiString& prefix);
