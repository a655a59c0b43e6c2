// TMemFileSystem: an in-memory TUdbFileSystem for the engine's tests, with
// fault injection:
//  - FailWriteAfter(n): the (n+1)-th write from now fails once (returns -1);
//  - FailFlushAfter(n): likewise for flushes;
//  - Crash(): every file loses the bytes written since its last flush, as
//    after a power failure.
// Each file keeps its current bytes and its durable (flushed) bytes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "Udb/UdbFileIO.h"

struct TMemFileData {
  std::vector<std::uint8_t> current;
  std::vector<std::uint8_t> durable;
  bool readOnly = false;
  int openCount = 0;
  bool exclusive = false;
};

class TMemFileSystem : public TUdbFileSystem {
 public:
  std::unique_ptr<TUdbFileIO> Open(const AnsiString& path, const TUdbOpenMode& mode,
                                   AnsiString& errorText) override;
  std::unique_ptr<TUdbFileIO> Create(const AnsiString& path, AnsiString& errorText) override;
  bool Exists(const AnsiString& path) override { return files_.count(path) != 0; }
  bool IsReadOnly(const AnsiString& path) override;
  bool Remove(const AnsiString& path) override { return files_.erase(path) != 0; }
  bool Rename(const AnsiString& from, const AnsiString& to) override;

  // Direct access to a file's current bytes (created empty when missing).
  std::vector<std::uint8_t>& Bytes(const AnsiString& path);
  std::shared_ptr<TMemFileData> Data(const AnsiString& path);
  void SetReadOnly(const AnsiString& path, bool on) { Data(path)->readOnly = on; }

  // -1 disables.  Counting starts at the call.
  void FailWriteAfter(int writes) { writesLeft_ = writes; }
  void FailFlushAfter(int flushes) { flushesLeft_ = flushes; }
  void Crash();
  int Writes() const { return writes_; }
  int Reads() const { return reads_; }
  void CountRead() { ++reads_; }
  int Flushes() const { return flushes_; }

  // Used by the files.
  bool ConsumeWrite();
  bool ConsumeFlush();

 private:
  std::map<AnsiString, std::shared_ptr<TMemFileData>> files_;
  int writesLeft_ = -1;
  int flushesLeft_ = -1;
  int writes_ = 0;
  int reads_ = 0;
  int flushes_ = 0;
};
