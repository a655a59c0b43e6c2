// The rollback journal of a commit: before a commit overwrites pages of the
// database file, their previous contents go to the journal file beside it
// (JournalFileNameFor), flushed; then the pages are written and the
// database flushed; then the journal is removed.  A journal that is still
// there (its writer died or failed half-way) is "hot": writing its pages
// back and cutting the file to its old size restores the last committed
// state.  The database file's own format is untouched.
//
// A journal belongs to one file and to one state of it.  It names the
// file by its identity (the database and security headers, written once at
// creation) and seals every page the commit is about to write with the
// checksums of the bytes it will write.  While the commit runs, each page it
// saved is in the file either as it was (the saved image) or as the commit
// wrote it (a sealed image; a spill may write a page more than once, each
// write sealed), sector by sector should the power fail during a write.  A
// journal whose identity is not the file's, or one of whose saved pages is
// neither, or that covers less of the file than the file holds, was not
// written against this file as it is (another database's journal, or this
// file's own from an earlier crash, put back after later commits): it is
// set aside - renamed with ".rejected" added and logged - and never applied.
//
// Journal layout (integers little-endian):
//   header, 64 bytes:
//     0  8  "UDBJNL02"
//     8  4  page size
//    12  4  the database file's size before the commit
//    16  4  number of records
//    20  4  salt (random per journal; guards the records against stale bytes)
//    24  4  identity: CRC-32 of the file's bytes 0-253 and 768-807
//    28  4  the file's size once every sealed write is done
//    32 28  zero
//    60  4  CRC-32 of bytes 0-59
//   then records of 8 + P bytes:
//     0  4  page address, or kSealMark for a seal record
//     4  4  CRC-32 of salt, the first field and the P bytes
//     8  P  a page record: the page as it was in the file (enciphered where
//           the page is); a seal record: a count n, then n seals of
//           (page address, CRC-32 of each sector of the image written)
// Records are appended (for the pages not saved yet, then the seals of the
// pages about to be written), then the header that counts them is written
// and the journal flushed, before the database write that needs them (at
// commit, or at each spill of a huge transaction).  A journal with a bad
// header never saw a database write: it is not hot and is removed only.
// A bad record (the disk lost it) was never relied on: the restore writes
// back the page records before it, then cuts the file to its old size.
// A journal of the first layout ("UDBJNL01") names no file: it is set aside.
//
// Flush policies (a property of the connection, TUdbFlushPolicy):
//   fpNone    nothing is flushed: a killed program still recovers, a power
//             cut may corrupt the file;
//   fpNormal  the journal (and its directory entry) is flushed before the
//             database is written, the database before the journal goes: a
//             power cut never corrupts, but may undo the last commit;
//   fpFull    (default) as fpNormal, and the journal's removal is flushed
//             too: a commit that returned survives a power cut.
// Calls platform/core, Crc32, UdbErrors and UdbFileIO.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "Udb/DatabaseFileFormat.h"
#include "Udb/UdbFileIO.h"
#include "platform/core/AnsiString.h"

enum TUdbFlushPolicy : std::uint8_t { fpNone = 0, fpNormal = 1, fpFull = 2 };

namespace udbjnl {
constexpr int kHeaderSize = 64;
constexpr int kRecordHead = 8;
constexpr char kMagic[9] = "UDBJNL02";
constexpr char kFirstLayoutMagic[9] = "UDBJNL01";
constexpr std::uint32_t kSealMark = 0xFFFFFFFF;
constexpr int kSectorSize = 512;
// The bytes of page 0 that name the file: database and security headers.
constexpr int kIdentityHeader = 254;
constexpr int kIdentitySecurityOffset = 768;
constexpr int kIdentitySecuritySize = 40;
}  // namespace udbjnl

// "GZ.udb" -> "GZ.jnl"; "data.db" -> "data_db.jnl", like the lock file.
AnsiString JournalFileNameFor(const AnsiString& databaseFileName);

// A journal being written: Begin notes the database's size and identity
// and creates the file; Add saves the pages not saved yet (those below that
// size; the rest are new and are cut off on restore); Seal notes the image
// about to be written to a page; Sync appends the seals, then writes the
// header that counts every record and flushes.  A transaction that writes
// pages before its commit (a spill) adds, seals and syncs before each such
// write.  Close keeps the file (it is removed by RemoveUdbJournal or
// restored); a writer destroyed or abandoned without Close removes it
// (nothing of the database was written yet).  Failures raise 8450 / 9217.
class TUdbJournalWriter {
 public:
  TUdbJournalWriter() = default;
  ~TUdbJournalWriter();
  TUdbJournalWriter(const TUdbJournalWriter&) = delete;
  TUdbJournalWriter& operator=(const TUdbJournalWriter&) = delete;

  void Begin(TUdbFileSystem& fs, const AnsiString& journalName, TUdbFileIO& database, int pageSize,
             TUdbFlushPolicy policy);
  void Add(const std::vector<TUdbAddr>& pages);
  // image: the page's P bytes as they will be in the file.
  void Seal(TUdbAddr page, const std::uint8_t* image);
  void Sync();
  void Close();
  void Abandon() noexcept;
  bool IsOpen() const { return journal_ != nullptr; }
  bool Journalled(TUdbAddr page) const { return journalled_.count(page) != 0; }

 private:
  // Writes count whole records after those written.
  void Append(const std::uint8_t* records, std::uint32_t count);

  TUdbFileSystem* fs_ = nullptr;
  AnsiString name_;
  TUdbFileIO* database_ = nullptr;
  std::unique_ptr<TUdbFileIO> journal_;
  int pageSize_ = 0;
  TUdbFlushPolicy policy_ = fpFull;
  std::int64_t oldSize_ = 0;
  std::int64_t newSize_ = 0;
  std::uint32_t identity_ = 0;
  std::uint32_t salt_ = 0;
  std::uint32_t count_ = 0;
  std::set<TUdbAddr> journalled_;
  std::vector<std::uint8_t> seals_;  // of the batch not synced yet: address, sector CRCs
  bool created_ = false;
};

// The identity of the database file (see above); false when page 0 cannot
// be read.
bool UdbJournalIdentity(TUdbFileIO& database, std::uint32_t& identity);

// Removes the journal: the commit point.  Raises 8450 when it stays.
void RemoveUdbJournal(TUdbFileSystem& fs, const AnsiString& journalName, TUdbFlushPolicy policy);
// Restores a hot journal into the database (pages written back, size cut,
// database flushed) and removes it; a journal that is not hot is removed
// only, one that is not this file's as it is now is set aside (see above).
// Returns true when pages were restored.  The caller holds what keeps every
// other writer out.  Raises 8450/9218 when the database cannot be written
// (the journal then stays for the next try).  restoredPages (when given)
// receives the addresses written back and those cut off.
bool RestoreUdbJournal(TUdbFileSystem& fs, const AnsiString& journalName, TUdbFileIO& database,
                       int pageSize, TUdbFlushPolicy policy, std::vector<TUdbAddr>* restoredPages = nullptr);
