// The rollback journal: see UdbJournal.h.
#include "Udb/UdbJournal.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

#include "Udb/Crc32.h"
#include "Udb/DBLogger.h"
#include "Udb/UdbErrors.h"
#include "platform/core/Files.h"

using namespace udbfmt;

AnsiString JournalFileNameFor(const AnsiString& databaseFileName) {
  if (databaseFileName.LowerCase().Pos(".udb") > 0) return ChangeFileExt(databaseFileName, ".jnl");
  AnsiString name = ExtractFileName(databaseFileName);
  size_t dot = name.find('.');
  if (dot != AnsiString::npos) name[dot] = '_';
  name += ExtractFileExt(databaseFileName);
  return ChangeFileExt(ExtractFilePath(databaseFileName) + name, ".jnl");
}

namespace {

std::uint32_t NewSalt() {
  static std::mt19937 generator{std::random_device{}()};
  return static_cast<std::uint32_t>(generator());
}

std::uint32_t RecordCrc(std::uint32_t salt, TUdbAddr address, const std::uint8_t* page, int pageSize) {
  std::vector<std::uint8_t> bytes(8 + static_cast<size_t>(pageSize));
  PutU32(bytes.data(), salt);
  PutU32(bytes.data() + 4, address);
  std::memcpy(bytes.data() + 8, page, static_cast<size_t>(pageSize));
  return Crc32(bytes.data(), bytes.size());
}

[[noreturn]] void JournalFailure(const char* location, const AnsiString& what, const AnsiString& why) {
  UdbDatabaseError(udberr::kSystemFileIO, location, what + (why.empty() ? AnsiString() : ": " + why));
}

}  // namespace

void WriteUdbJournal(TUdbFileSystem& fs, const AnsiString& journalName, TUdbFileIO& database,
                     const std::vector<TUdbAddr>& pages, int pageSize, TUdbFlushPolicy policy) {
  const char* loc = "TUdbFile.WriteJournal";
  const std::int64_t size = database.Size();
  if (size < 0) JournalFailure(loc, "Unable to read the file size", database.ErrorText());
  AnsiString error;
  std::unique_ptr<TUdbFileIO> journal = fs.Create(journalName, error);
  if (!journal) JournalFailure(loc, "Unable to create the journal " + journalName, error);
  const std::uint32_t salt = NewSalt();
  const size_t recordSize = udbjnl::kRecordHead + static_cast<size_t>(pageSize);
  std::vector<std::uint8_t> record(recordSize);
  std::uint32_t count = 0;
  bool ok = true;
  for (TUdbAddr page : pages) {
    if (std::int64_t(page) >= size) continue;  // new space: cut off on restore
    std::uint8_t* data = record.data() + udbjnl::kRecordHead;
    std::memset(data, 0, static_cast<size_t>(pageSize));
    const std::int64_t want = std::min<std::int64_t>(pageSize, size - page);
    if (database.ReadAt(page, data, want) != want) {
      journal->Close();
      fs.Remove(journalName);
      UdbDatabaseError(udberr::kReadFailure, loc, "Unable to read a page for the journal: " + database.ErrorText());
    }
    PutU32(record.data(), page);
    PutU32(record.data() + 4, RecordCrc(salt, page, data, pageSize));
    const std::int64_t at = udbjnl::kHeaderSize + std::int64_t(count) * static_cast<std::int64_t>(recordSize);
    if (journal->WriteAt(at, record.data(), static_cast<std::int64_t>(recordSize)) !=
        static_cast<std::int64_t>(recordSize)) {
      ok = false;
      break;
    }
    ++count;
  }
  std::uint8_t header[udbjnl::kHeaderSize] = {};
  std::memcpy(header, udbjnl::kMagic, 8);
  PutU32(header + 8, static_cast<std::uint32_t>(pageSize));
  PutU32(header + 12, static_cast<std::uint32_t>(size));
  PutU32(header + 16, count);
  PutU32(header + 20, salt);
  PutU32(header + 28, Crc32(header, 28));
  if (ok) ok = journal->WriteAt(0, header, udbjnl::kHeaderSize) == udbjnl::kHeaderSize;
  if (ok && policy != fpNone) ok = journal->Flush() && fs.SyncDirectoryOf(journalName);
  if (!ok) {
    AnsiString why = journal->ErrorText();
    journal->Close();
    fs.Remove(journalName);
    JournalFailure(loc, "Unable to write the journal " + journalName, why);
  }
  journal->Close();
}

void RemoveUdbJournal(TUdbFileSystem& fs, const AnsiString& journalName, TUdbFlushPolicy policy) {
  if (!fs.Remove(journalName) && fs.Exists(journalName))
    JournalFailure("TUdbFile.RemoveJournal", "Unable to remove the journal " + journalName, AnsiString());
  if (policy == fpFull && !fs.SyncDirectoryOf(journalName))
    UdbLogger().Log("UdbFile", "The journal's directory could not be flushed");
}

bool RestoreUdbJournal(TUdbFileSystem& fs, const AnsiString& journalName, TUdbFileIO& database,
                       int pageSize, TUdbFlushPolicy policy, std::vector<TUdbAddr>* restoredPages) {
  const char* loc = "TUdbFile.RestoreJournal";
  TUdbOpenMode mode;
  mode.write = false;
  AnsiString error;
  std::unique_ptr<TUdbFileIO> journal = fs.Open(journalName, mode, error);
  if (!journal) {
    if (!fs.Exists(journalName)) return false;  // removed meanwhile
    JournalFailure(loc, "Unable to open the journal " + journalName, error);
  }
  // Whole and sound, or not hot at all (see the header comment).
  std::uint8_t header[udbjnl::kHeaderSize] = {};
  bool hot = journal->ReadAt(0, header, udbjnl::kHeaderSize) == udbjnl::kHeaderSize &&
             std::memcmp(header, udbjnl::kMagic, 8) == 0 && GetU32(header + 28) == Crc32(header, 28) &&
             GetU32(header + 8) == static_cast<std::uint32_t>(pageSize);
  const std::uint32_t oldSize = hot ? GetU32(header + 12) : 0;
  const std::uint32_t count = hot ? GetU32(header + 16) : 0;
  const std::uint32_t salt = GetU32(header + 20);
  const size_t recordSize = udbjnl::kRecordHead + static_cast<size_t>(pageSize);
  std::vector<std::uint8_t> records;
  if (hot) {
    const std::int64_t journalSize = journal->Size();
    if (journalSize < udbjnl::kHeaderSize + std::int64_t(count) * static_cast<std::int64_t>(recordSize) ||
        oldSize % static_cast<std::uint32_t>(pageSize) != 0 || std::int64_t(oldSize) > kMaxFileSize)
      hot = false;
  }
  if (hot) {
    records.resize(recordSize * count);
    if (count > 0 && journal->ReadAt(udbjnl::kHeaderSize, records.data(), static_cast<std::int64_t>(records.size())) !=
                         static_cast<std::int64_t>(records.size()))
      hot = false;
    for (std::uint32_t i = 0; hot && i < count; ++i) {
      const std::uint8_t* r = records.data() + i * recordSize;
      const TUdbAddr page = GetU32(r);
      if (page % static_cast<std::uint32_t>(pageSize) != 0 || page >= oldSize ||
          GetU32(r + 4) != RecordCrc(salt, page, r + udbjnl::kRecordHead, pageSize))
        hot = false;
    }
  }
  journal->Close();
  if (hot) {
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint8_t* r = records.data() + i * recordSize;
      const TUdbAddr page = GetU32(r);
      const std::int64_t want = std::min<std::int64_t>(pageSize, std::int64_t(oldSize) - page);
      if (database.WriteAt(page, r + udbjnl::kRecordHead, want) != want)
        JournalFailure(loc, "Unable to restore a page from the journal", database.ErrorText());
      if (restoredPages) restoredPages->push_back(page);
    }
    const std::int64_t size = database.Size();
    if (restoredPages)
      for (std::int64_t page = oldSize; page < size; page += pageSize) restoredPages->push_back(static_cast<TUdbAddr>(page));
    if (size > std::int64_t(oldSize) && !database.SetSize(oldSize))
      JournalFailure(loc, "Unable to cut the database back to its size", database.ErrorText());
    if (policy != fpNone && !database.Flush())
      JournalFailure(loc, "Unable to flush the restored database", database.ErrorText());
    UdbLogger().Log("UdbFile", "Restored the last committed state from the journal " + journalName);
  }
  RemoveUdbJournal(fs, journalName, policy);
  return hot;
}
