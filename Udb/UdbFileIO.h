// TUdbFileIO and TUdbFileSystem: the engine's only way to the operating
// system's files.  The page file and the disk manager read and write the
// database file through TUdbFileIO (positional, no shared file position);
// they create, open, test and remove files through TUdbFileSystem.  The
// POSIX implementation is PosixFileSystem(); tests substitute an in-memory
// file system that injects faults.
//
// Conventions: paths are code-page-936 AnsiStrings; byte counts and offsets
// are 64-bit; failures return -1 / false / null and leave the reason in
// ErrorText() (the operating system's message), never throw.  Callers turn
// them into engine errors.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/core/AnsiString.h"

class TUdbFileIO {
 public:
  virtual ~TUdbFileIO() = default;
  // Bytes read (fewer at the end of the file), or -1.
  virtual std::int64_t ReadAt(std::int64_t offset, void* buffer, std::int64_t count) = 0;
  // Reads count * size consecutive bytes from offset into count buffers of
  // size bytes each, in turn, as one ReadAt into one buffer would: bytes
  // read (fewer at the end of the file), or -1.  This default makes that
  // one ReadAt and copies; a file that can scatter in one call does so.
  virtual std::int64_t ReadScattered(std::int64_t offset, std::uint8_t* const* buffers, int count,
                                     std::int64_t size) {
    std::vector<std::uint8_t> whole(static_cast<size_t>(count * size));
    const std::int64_t got = ReadAt(offset, whole.data(), count * size);
    for (std::int64_t at = 0; at < got; at += size)
      std::memcpy(buffers[at / size], whole.data() + at, static_cast<size_t>(std::min(size, got - at)));
    return got;
  }
  // Bytes written (the file grows as needed), or -1.
  virtual std::int64_t WriteAt(std::int64_t offset, const void* buffer, std::int64_t count) = 0;
  // Writes count buffers of size bytes each to consecutive bytes from
  // offset, in turn, as count WriteAt calls would: count * size, or -1
  // (the buffers before the failing one may be written).  This default
  // makes those WriteAt calls; a file that can gather in one call does so.
  virtual std::int64_t WriteGathered(std::int64_t offset, const std::uint8_t* const* buffers, int count,
                                     std::int64_t size) {
    for (int i = 0; i < count; ++i)
      if (WriteAt(offset + i * size, buffers[i], size) != size) return -1;
    return count * size;
  }
  // Current size in bytes, or -1.
  virtual std::int64_t Size() = 0;
  // Truncates or extends (with zeros) to size bytes.
  virtual bool SetSize(std::int64_t size) = 0;
  // Makes every written byte durable.
  virtual bool Flush() = 0;
  // Closes; later calls fail.  Safe to call twice.
  virtual void Close() = 0;
  // The operating system's descriptor (for byte-range locks), -1 if none.
  virtual int Handle() const { return -1; }
  // The reason of the last failure.
  virtual AnsiString ErrorText() const = 0;
};

struct TUdbOpenMode {
  bool read = true;
  bool write = true;
  // No other opener (of our processes) may have the file open at the same
  // time; otherwise the file is shared.
  bool exclusive = false;
};

class TUdbFileSystem {
 public:
  virtual ~TUdbFileSystem() = default;
  // Opens an existing file; null on failure (reason in errorText).
  virtual std::unique_ptr<TUdbFileIO> Open(const AnsiString& path, const TUdbOpenMode& mode,
                                           AnsiString& errorText) = 0;
  // Creates (or truncates) a file for reading and writing.
  virtual std::unique_ptr<TUdbFileIO> Create(const AnsiString& path, AnsiString& errorText) = 0;
  virtual bool Exists(const AnsiString& path) = 0;
  // The name of an existing file as the file system spells it (letter
  // case); path itself where there is no other spelling.
  virtual AnsiString SpelledOnDisk(const AnsiString& path) { return path; }
  // As Exists for a name already spelled as on disk: cheap enough to ask
  // at every lock (no directory is read).
  virtual bool ExistsAsSpelled(const AnsiString& path) { return Exists(path); }
  // The file carries no write permission (the read-only attribute).
  virtual bool IsReadOnly(const AnsiString& path) = 0;
  virtual bool Remove(const AnsiString& path) = 0;
  // Gives the file the name to (replacing a file of that name); false when
  // the file system cannot.
  virtual bool Rename(const AnsiString& from, const AnsiString& to) {
    (void)from;
    (void)to;
    return false;
  }
  // Both paths name one existing file (a link or another spelling counts).
  // A copy onto its own source would truncate it before reading a byte.
  virtual bool SameFile(const AnsiString& a, const AnsiString& b) { return a == b && Exists(a); }
  // Makes the directory entries of path's directory durable (a created or
  // removed file), true when done or nothing is needed.
  virtual bool SyncDirectoryOf(const AnsiString& path) { return !path.empty(); }
};

// The process-wide POSIX file system (open/pread/pwrite/fsync; an exclusive
// open takes a non-blocking flock so that a second opener is refused).
TUdbFileSystem& PosixFileSystem();
