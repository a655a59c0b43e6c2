// The rollback journal of a commit: before a commit overwrites pages of the
// database file, their previous contents go to the journal file beside it
// (JournalFileNameFor), flushed; then the pages are written and the
// database flushed; then the journal is removed.  A journal that is still
// there (its writer died or failed half-way) is "hot": writing its pages
// back and cutting the file to its old size restores the last committed
// state.  The database file's own format is untouched.
//
// Journal layout (integers little-endian):
//   header, 32 bytes:
//     0  8  "UDBJNL01"
//     8  4  page size
//    12  4  the database file's size before the commit
//    16  4  number of page records
//    20  4  salt (random per journal; guards the records against stale bytes)
//    24  4  zero
//    28  4  CRC-32 of bytes 0-27
//   then one record per page that existed before the commit:
//     0  4  page address
//     4  4  CRC-32 of salt, address and the page bytes
//     8  P  the page as it was in the file (enciphered where the page is)
// The journal is written whole and flushed once before the first database
// write, so a journal with a bad header or record never saw a database
// write: it is not hot and is simply removed.
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
#include <vector>

#include "Udb/DatabaseFileFormat.h"
#include "Udb/UdbFileIO.h"
#include "platform/core/AnsiString.h"

enum TUdbFlushPolicy : std::uint8_t { fpNone = 0, fpNormal = 1, fpFull = 2 };

namespace udbjnl {
constexpr int kHeaderSize = 32;
constexpr int kRecordHead = 8;
constexpr char kMagic[9] = "UDBJNL01";
}  // namespace udbjnl

// "GZ.udb" -> "GZ.jnl"; "data.db" -> "data_db.jnl", like the lock file.
AnsiString JournalFileNameFor(const AnsiString& databaseFileName);

// Writes the journal of the pages about to be overwritten (addresses below
// the file's current size; the rest are new and are cut off on restore)
// and flushes it as the policy says.  Raises 8450 when it cannot be
// written; then the database is untouched.
void WriteUdbJournal(TUdbFileSystem& fs, const AnsiString& journalName, TUdbFileIO& database,
                     const std::vector<TUdbAddr>& pages, int pageSize, TUdbFlushPolicy policy);
// Removes the journal: the commit point.  Raises 8450 when it stays.
void RemoveUdbJournal(TUdbFileSystem& fs, const AnsiString& journalName, TUdbFlushPolicy policy);
// Restores a hot journal into the database (pages written back, size cut,
// database flushed) and removes it; a journal that is not hot is removed
// only.  Returns true when pages were restored.  The caller holds what
// keeps every other writer out.  Raises 8450/9217 when the database cannot
// be written (the journal then stays for the next try).
// restoredPages (when given) receives the addresses written back and those
// cut off.
bool RestoreUdbJournal(TUdbFileSystem& fs, const AnsiString& journalName, TUdbFileIO& database,
                       int pageSize, TUdbFlushPolicy policy, std::vector<TUdbAddr>* restoredPages = nullptr);
