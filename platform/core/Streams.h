// Streams: the class library's byte streams.  TStream is the abstract
// sequential-and-seekable stream; TMemoryStream, TFileStream and
// TStringStream are the concrete ones the system uses for report
// templates, blobs, form resources and export files.
// platform/core; standard library and POSIX only.
//
// Positions and sizes are 64-bit; a single Read or Write moves at most
// INT_MAX bytes.  Read and Write return the bytes moved and never raise;
// ReadBuffer and WriteBuffer raise EReadError "Stream read error" /
// EWriteError "Stream write error" when fewer bytes than asked were moved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Component.h"
#include "platform/core/FileLocks.h"
#include "platform/core/Files.h"

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };
// The older names of the same origins.
inline constexpr TSeekOrigin soFromBeginning = soBeginning;
inline constexpr TSeekOrigin soFromCurrent = soCurrent;
inline constexpr TSeekOrigin soFromEnd = soEnd;

class TStream : public TObject {
 public:
  // Reads up to count bytes at the position; returns the bytes read (0 at
  // the end).  Never raises.
  virtual int Read(void* buffer, int count) = 0;
  // Writes count bytes at the position; returns the bytes written.
  virtual int Write(const void* buffer, int count) = 0;
  // Moves the position; returns the new position.  A position before the
  // start raises EStreamError "Stream seek error"; one past the end is
  // allowed (writing there extends the stream).
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() const;
  void SetPosition(std::int64_t position) { Seek(position, soBeginning); }
  virtual std::int64_t Size() const;
  // Sets the size (memory and file streams); the position is clipped to it.
  virtual void SetSize(std::int64_t newSize);

  void ReadBuffer(void* buffer, int count);
  void WriteBuffer(const void* buffer, int count);
  // Copies count bytes from source's position; count 0 copies the whole of
  // source from its start.  Returns the bytes copied; raises EReadError or
  // EWriteError on a short transfer.
  std::int64_t CopyFrom(TStream* source, std::int64_t count);
};

// A stream over a block of memory it does not own (SetPointer).  Reading
// and seeking only; TMemoryStream adds writing.
class TCustomMemoryStream : public TStream {
 public:
  int Read(void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  int Write(const void* buffer, int count) override;  // writes fail (0)
  std::int64_t Size() const override { return size_; }

  void* Memory() const { return memory_; }
  // Writes the whole contents (regardless of the position).
  void SaveToStream(TStream* stream) const;
  // Replaces the file whole (the old contents survive a failed write);
  // raises EFCreateError.
  void SaveToFile(const AnsiString& fileName) const;

 protected:
  void SetPointer(void* memory, std::int64_t size);
  void* memory_ = nullptr;
  std::int64_t size_ = 0;
  std::int64_t position_ = 0;
};

// A growable stream in memory.  Seeking past the end and writing there
// fills the gap with zeros.
class TMemoryStream : public TCustomMemoryStream {
 public:
  TMemoryStream() = default;
  int Write(const void* buffer, int count) override;
  void SetSize(std::int64_t newSize) override;
  void Clear();
  // Replaces the contents with the whole of stream (from its start) / the file.
  void LoadFromStream(TStream* stream);
  void LoadFromFile(const AnsiString& fileName);
  std::int64_t Capacity() const { return static_cast<std::int64_t>(buffer_.size()); }
  void SetCapacity(std::int64_t capacity);

 private:
  std::vector<char> buffer_;
};

// A stream over a file opened by name with an access and share mode
// (fmCreate, fmOpenRead, fmOpenWrite, fmOpenReadWrite OR-ed with
// fmShareExclusive, fmShareDenyWrite, fmShareDenyRead, fmShareDenyNone).
// Raises EFCreateError "Cannot create file <name>. <reason>" or
// EFOpenError "Cannot open file <name>. <reason>".
class TFileStream : public TStream {
 public:
  TFileStream(const AnsiString& fileName, unsigned mode);
  ~TFileStream() override;

  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() const override;
  void SetSize(std::int64_t newSize) override;

  const AnsiString& FileName() const { return fileName_; }
  // The open handle (for byte-range locks on the same open).
  TFileHandle& Handle() { return handle_; }
  // Writes the file's data through to the disk; raises EWriteError.
  void FlushBuffers();

 private:
  AnsiString fileName_;
  TFileHandle handle_;
  bool canRead_ = false;
  bool canWrite_ = false;
  std::int64_t position_ = 0;
};

// A stream over an AnsiString it owns (DataString).
class TStringStream : public TStream {
 public:
  explicit TStringStream(const AnsiString& data = AnsiString()) : data_(data) {}
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
  void SetSize(std::int64_t newSize) override;

  const AnsiString& DataString() const { return data_; }
  // Reads up to count bytes from the position.
  AnsiString ReadString(int count);
  // Writes s at the position.
  void WriteString(const AnsiString& s);

 private:
  AnsiString data_;
  std::int64_t position_ = 0;
};
