// The rollback journal: see UdbJournal.h.
#include "Udb/UdbJournal.h"

#include <algorithm>
#include <cstring>
#include <map>
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
  std::uint8_t head[8];
  PutU32(head, salt);
  PutU32(head + 4, address);
  return Crc32Extend(Crc32(head, sizeof head), page, static_cast<size_t>(pageSize));
}

int SectorSize(int pageSize) { return std::min(pageSize, udbjnl::kSectorSize); }
int SectorsPerPage(int pageSize) { return pageSize / SectorSize(pageSize); }
// A seal: the page address, then one CRC per sector.
size_t SealSize(int pageSize) { return 4 + 4 * static_cast<size_t>(SectorsPerPage(pageSize)); }

void PutSectorCrcs(std::uint8_t* out, const std::uint8_t* page, int pageSize) {
  const int sector = SectorSize(pageSize);
  for (int i = 0; i < SectorsPerPage(pageSize); ++i)
    PutU32(out + 4 * i, Crc32(page + static_cast<size_t>(i) * sector, static_cast<size_t>(sector)));
}

// A page (P bytes, zeros past the end of the file), or false on a read error.
bool ReadPage(TUdbFileIO& database, TUdbAddr page, std::uint8_t* out, int pageSize) {
  std::memset(out, 0, static_cast<size_t>(pageSize));
  return database.ReadAt(page, out, pageSize) >= 0;
}

[[noreturn]] void JournalFailure(const char* location, const AnsiString& what, const AnsiString& why) {
  UdbDatabaseError(udberr::kSystemFileIO, location, what + (why.empty() ? AnsiString() : ": " + why));
}

}  // namespace

bool UdbJournalIdentity(TUdbFileIO& database, std::uint32_t& identity) {
  using namespace udbjnl;
  std::uint8_t bytes[kIdentityHeader + kIdentitySecuritySize] = {};
  if (database.ReadAt(0, bytes, kIdentityHeader) < 0 ||
      database.ReadAt(kIdentitySecurityOffset, bytes + kIdentityHeader, kIdentitySecuritySize) < 0)
    return false;
  identity = Crc32(bytes, sizeof bytes);
  return true;
}

TUdbJournalWriter::~TUdbJournalWriter() { Abandon(); }

void TUdbJournalWriter::Begin(TUdbFileSystem& fs, const AnsiString& journalName, TUdbFileIO& database, int pageSize,
                              TUdbFlushPolicy policy) {
  const char* loc = "TUdbFile.WriteJournal";
  Abandon();
  const std::int64_t size = database.Size();
  if (size < 0) JournalFailure(loc, "Unable to read the file size", database.ErrorText());
  std::uint32_t identity = 0;
  if (!UdbJournalIdentity(database, identity))
    UdbDatabaseError(udberr::kReadFailure, loc, "Unable to read the file's headers for the journal: " + database.ErrorText());
  AnsiString error;
  std::unique_ptr<TUdbFileIO> journal = fs.Create(journalName, error);
  if (!journal) JournalFailure(loc, "Unable to create the journal " + journalName, error);
  fs_ = &fs;
  name_ = journalName;
  database_ = &database;
  journal_ = std::move(journal);
  pageSize_ = pageSize;
  policy_ = policy;
  oldSize_ = size;
  newSize_ = size;
  identity_ = identity;
  salt_ = NewSalt();
  count_ = 0;
  journalled_.clear();
  seals_.clear();
  created_ = false;
}

void TUdbJournalWriter::Append(const std::uint8_t* records, std::uint32_t count) {
  const char* loc = "TUdbFile.WriteJournal";
  const std::int64_t recordSize = udbjnl::kRecordHead + pageSize_;
  const std::int64_t at = udbjnl::kHeaderSize + std::int64_t(count_) * recordSize;
  if (journal_->WriteAt(at, records, recordSize * count) != recordSize * count)
    JournalFailure(loc, "Unable to write the journal " + name_, journal_->ErrorText());
  count_ += count;
}

void TUdbJournalWriter::Add(const std::vector<TUdbAddr>& pages) {
  const char* loc = "TUdbFile.WriteJournal";
  if (!journal_) UdbDatabaseError(udberr::kInternal, loc, "The journal is not open");
  std::vector<TUdbAddr> save;
  for (TUdbAddr page : pages)
    if (std::int64_t(page) < oldSize_ && !journalled_.count(page)) save.push_back(page);  // else new space, or saved already
  std::sort(save.begin(), save.end());
  save.erase(std::unique(save.begin(), save.end()), save.end());
  // Records go in batches, one journal write each; the pages of a batch
  // that follow one another in the file are read in one call.
  const size_t recordSize = udbjnl::kRecordHead + static_cast<size_t>(pageSize_);
  constexpr size_t kBatch = 64;
  std::vector<std::uint8_t> records(recordSize * std::min(kBatch, save.size()));
  std::uint8_t* data[kBatch];
  for (size_t first = 0; first < save.size();) {
    const size_t n = std::min(kBatch, save.size() - first);
    for (size_t i = 0; i < n; ++i) data[i] = records.data() + i * recordSize + udbjnl::kRecordHead;
    for (size_t i = 0; i < n;) {
      const TUdbAddr page = save[first + i];
      if (std::int64_t(page) + pageSize_ > oldSize_) {
        // The file's last page, short: zeros past its end.
        std::memset(data[i], 0, static_cast<size_t>(pageSize_));
        const std::int64_t want = oldSize_ - page;
        if (database_->ReadAt(page, data[i], want) != want)
          UdbDatabaseError(udberr::kReadFailure, loc, "Unable to read a page for the journal: " + database_->ErrorText());
        ++i;
        continue;
      }
      size_t end = i + 1;
      while (end < n && save[first + end] == save[first + end - 1] + static_cast<TUdbAddr>(pageSize_) &&
             std::int64_t(save[first + end]) + pageSize_ <= oldSize_)
        ++end;
      const std::int64_t want = std::int64_t(end - i) * pageSize_;
      if (database_->ReadScattered(page, data + i, static_cast<int>(end - i), pageSize_) != want)
        UdbDatabaseError(udberr::kReadFailure, loc, "Unable to read a page for the journal: " + database_->ErrorText());
      i = end;
    }
    for (size_t i = 0; i < n; ++i) {
      const TUdbAddr page = save[first + i];
      std::uint8_t* record = records.data() + i * recordSize;
      PutU32(record, page);
      PutU32(record + 4, RecordCrc(salt_, page, data[i], pageSize_));
    }
    Append(records.data(), static_cast<std::uint32_t>(n));
    journalled_.insert(save.begin() + static_cast<std::ptrdiff_t>(first),
                       save.begin() + static_cast<std::ptrdiff_t>(first + n));
    first += n;
  }
}

void TUdbJournalWriter::Seal(TUdbAddr page, const std::uint8_t* image) {
  const size_t at = seals_.size();
  seals_.resize(at + SealSize(pageSize_));
  PutU32(seals_.data() + at, page);
  PutSectorCrcs(seals_.data() + at + 4, image, pageSize_);
  newSize_ = std::max<std::int64_t>(newSize_, std::int64_t(page) + pageSize_);
}

void TUdbJournalWriter::Sync() {
  const char* loc = "TUdbFile.WriteJournal";
  if (!journal_) UdbDatabaseError(udberr::kInternal, loc, "The journal is not open");
  // The batch's seals, as many to a record as fit.
  const size_t sealSize = SealSize(pageSize_);
  const size_t perRecord = (static_cast<size_t>(pageSize_) - 4) / sealSize;
  const size_t recordSize = udbjnl::kRecordHead + static_cast<size_t>(pageSize_);
  const size_t sealCount = seals_.size() / sealSize;
  const size_t recordCount = (sealCount + perRecord - 1) / perRecord;
  // Every seal record of the batch in one journal write.
  std::vector<std::uint8_t> records(recordSize * recordCount, 0);
  size_t done = 0;
  for (size_t r = 0; r < recordCount; ++r) {
    std::uint8_t* record = records.data() + r * recordSize;
    const size_t n = std::min(perRecord, (seals_.size() - done) / sealSize);
    std::uint8_t* data = record + udbjnl::kRecordHead;
    PutU32(data, static_cast<std::uint32_t>(n));
    std::memcpy(data + 4, seals_.data() + done, n * sealSize);
    PutU32(record, udbjnl::kSealMark);
    PutU32(record + 4, RecordCrc(salt_, udbjnl::kSealMark, data, pageSize_));
    done += n * sealSize;
  }
  if (recordCount > 0) Append(records.data(), static_cast<std::uint32_t>(recordCount));
  seals_.clear();
  // One flush for records and header: a record the header counts but the
  // disk lost fails its CRC, and the restore stops before it - its page
  // was not written yet, since database writes wait for this flush.
  std::uint8_t header[udbjnl::kHeaderSize] = {};
  std::memcpy(header, udbjnl::kMagic, 8);
  PutU32(header + 8, static_cast<std::uint32_t>(pageSize_));
  PutU32(header + 12, static_cast<std::uint32_t>(oldSize_));
  PutU32(header + 16, count_);
  PutU32(header + 20, salt_);
  PutU32(header + 24, identity_);
  PutU32(header + 28, static_cast<std::uint32_t>(newSize_));
  PutU32(header + 60, Crc32(header, 60));
  if (journal_->WriteAt(0, header, udbjnl::kHeaderSize) != udbjnl::kHeaderSize)
    JournalFailure(loc, "Unable to write the journal " + name_, journal_->ErrorText());
  if (policy_ != fpNone) {
    if (!journal_->Flush()) JournalFailure(loc, "Unable to flush the journal " + name_, journal_->ErrorText());
    if (!created_ && !fs_->SyncDirectoryOf(name_))
      JournalFailure(loc, "Unable to flush the journal's directory", AnsiString());
  }
  created_ = true;
}

void TUdbJournalWriter::Close() {
  if (journal_) journal_->Close();
  journal_.reset();
}

void TUdbJournalWriter::Abandon() noexcept {
  if (!journal_) return;
  journal_->Close();
  journal_.reset();
  fs_->Remove(name_);
}

void RemoveUdbJournal(TUdbFileSystem& fs, const AnsiString& journalName, TUdbFlushPolicy policy) {
  if (!fs.Remove(journalName) && fs.Exists(journalName))
    JournalFailure("TUdbFile.RemoveJournal", "Unable to remove the journal " + journalName, AnsiString());
  if (policy == fpFull && !fs.SyncDirectoryOf(journalName))
    UdbLogger().Log("UdbFile", "The journal's directory could not be flushed");
}

namespace {

// A journal read whole: its header fields and its records up to the first
// one that is not whole.
struct TJournalImage {
  bool hot = false;
  bool firstLayout = false;
  std::uint32_t oldSize = 0;
  std::uint32_t newSize = 0;
  std::uint32_t identity = 0;
  std::vector<const std::uint8_t*> pages;               // page records
  std::multimap<TUdbAddr, const std::uint8_t*> seals;   // sector CRCs by page
  std::vector<std::uint8_t> records;
};

void ReadJournal(TUdbFileIO& journal, int pageSize, TJournalImage& image) {
  std::uint8_t header[udbjnl::kHeaderSize] = {};
  const std::int64_t got = journal.ReadAt(0, header, udbjnl::kHeaderSize);
  if (got >= 32 && std::memcmp(header, udbjnl::kFirstLayoutMagic, 8) == 0 && GetU32(header + 28) == Crc32(header, 28)) {
    image.firstLayout = true;
    return;
  }
  if (got != udbjnl::kHeaderSize || std::memcmp(header, udbjnl::kMagic, 8) != 0 ||
      GetU32(header + 60) != Crc32(header, 60) || GetU32(header + 8) != static_cast<std::uint32_t>(pageSize))
    return;
  image.oldSize = GetU32(header + 12);
  std::uint32_t count = GetU32(header + 16);
  const std::uint32_t salt = GetU32(header + 20);
  image.identity = GetU32(header + 24);
  image.newSize = GetU32(header + 28);
  const std::uint32_t page = static_cast<std::uint32_t>(pageSize);
  if (image.oldSize % page != 0 || std::int64_t(image.oldSize) > kMaxFileSize || image.newSize < image.oldSize ||
      std::int64_t(image.newSize) > kMaxFileSize + page || count > kMaxFileSize / pageSize)
    return;
  // A short journal holds fewer records: the rest count as not whole.
  const size_t recordSize = udbjnl::kRecordHead + static_cast<size_t>(pageSize);
  const std::int64_t journalSize = journal.Size();
  const std::int64_t present = journalSize > udbjnl::kHeaderSize
                                   ? (journalSize - udbjnl::kHeaderSize) / static_cast<std::int64_t>(recordSize)
                                   : 0;
  if (std::int64_t(count) > present) count = static_cast<std::uint32_t>(present);
  image.records.assign(recordSize * count, 0);
  if (count > 0 &&
      journal.ReadAt(udbjnl::kHeaderSize, image.records.data(), static_cast<std::int64_t>(image.records.size())) < 0)
    return;
  image.hot = true;
  // The records up to the first one that is not whole: those were synced
  // before any page they save was overwritten.
  const size_t sealSize = SealSize(pageSize);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* r = image.records.data() + i * recordSize;
    const std::uint32_t address = GetU32(r);
    const std::uint8_t* data = r + udbjnl::kRecordHead;
    if (GetU32(r + 4) != RecordCrc(salt, address, data, pageSize)) break;
    if (address == udbjnl::kSealMark) {
      const std::uint32_t n = GetU32(data);
      if (n > (page - 4) / sealSize) break;
      for (std::uint32_t k = 0; k < n; ++k) {
        const std::uint8_t* seal = data + 4 + k * sealSize;
        image.seals.emplace(GetU32(seal), seal + 4);
      }
      continue;
    }
    if (address % page != 0 || address >= image.oldSize) break;
    image.pages.push_back(r);
  }
}

// A saved page in the file now: every sector as saved (0), some as a sealed
// write left them (1), or a sector that is neither (-1).
int PageState(TUdbFileIO& database, const TJournalImage& image, const std::uint8_t* record, int pageSize) {
  const TUdbAddr page = GetU32(record);
  std::vector<std::uint8_t> current(static_cast<size_t>(pageSize));
  if (!ReadPage(database, page, current.data(), pageSize)) return -1;
  const int sector = SectorSize(pageSize);
  const auto sealed = image.seals.equal_range(page);
  int state = 0;
  for (int i = 0; i < SectorsPerPage(pageSize); ++i) {
    const size_t at = static_cast<size_t>(i) * sector;
    if (std::memcmp(current.data() + at, record + udbjnl::kRecordHead + at, static_cast<size_t>(sector)) == 0) continue;
    const std::uint32_t crc = Crc32(current.data() + at, static_cast<size_t>(sector));
    bool written = false;
    for (auto it = sealed.first; it != sealed.second && !written; ++it) written = GetU32(it->second + 4 * i) == crc;
    if (!written) return -1;
    state = 1;
  }
  return state;
}

// Why the journal is not this file's as it is now; empty when it is.
AnsiString Mismatch(TUdbFileIO& database, const TJournalImage& image, int pageSize) {
  std::uint32_t identity = 0;
  if (!UdbJournalIdentity(database, identity)) return "the file's headers cannot be read";
  if (identity != image.identity) {
    // Only the commit itself may have rewritten the headers: page 0 as it
    // sealed it.
    auto zero = std::find_if(image.pages.begin(), image.pages.end(), [](const std::uint8_t* r) { return GetU32(r) == 0; });
    if (zero == image.pages.end() || PageState(database, image, *zero, pageSize) != 1)
      return "it belongs to another database file";
  }
  const std::int64_t size = database.Size();
  if (size < 0) return "the file's size cannot be read";
  if (size < std::int64_t(image.oldSize) || size > std::int64_t(image.newSize))
    return "it was taken from the file at another size";
  for (const std::uint8_t* r : image.pages)
    if (PageState(database, image, r, pageSize) < 0) return "the file holds changes made after it";
  return AnsiString();
}

void SetAside(TUdbFileSystem& fs, const AnsiString& journalName, const AnsiString& why, TUdbFlushPolicy policy) {
  const AnsiString aside = journalName + ".rejected";
  fs.Remove(aside);
  if (fs.Rename(journalName, aside)) {
    UdbLogger().Log("UdbFile", "The journal " + journalName + " was not applied (" + why + "): kept as " + aside);
  } else {
    UdbLogger().Log("UdbFile", "The journal " + journalName + " was not applied (" + why + ") and is removed");
    RemoveUdbJournal(fs, journalName, policy);
  }
}

}  // namespace

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
  TJournalImage image;
  ReadJournal(*journal, pageSize, image);
  journal->Close();
  if (image.firstLayout) {
    SetAside(fs, journalName, "a journal of the first layout names no file", policy);
    return false;
  }
  if (!image.hot) {
    RemoveUdbJournal(fs, journalName, policy);  // it never saw a database write
    return false;
  }
  const AnsiString mismatch = Mismatch(database, image, pageSize);
  if (!mismatch.empty()) {
    SetAside(fs, journalName, mismatch, policy);
    return false;
  }
  for (const std::uint8_t* r : image.pages) {
    const TUdbAddr page = GetU32(r);
    const std::int64_t want = std::min<std::int64_t>(pageSize, std::int64_t(image.oldSize) - page);
    if (database.WriteAt(page, r + udbjnl::kRecordHead, want) != want)
      UdbDatabaseError(udberr::kWriteFailure, loc,
                       "Unable to restore a page from the journal: " + database.ErrorText());
    if (restoredPages) restoredPages->push_back(page);
  }
  const std::int64_t size = database.Size();
  if (restoredPages)
    for (std::int64_t page = image.oldSize; page < size; page += pageSize)
      restoredPages->push_back(static_cast<TUdbAddr>(page));
  if (size > std::int64_t(image.oldSize) && !database.SetSize(image.oldSize))
    UdbDatabaseError(udberr::kWriteFailure, loc, "Unable to cut the database back to its size: " + database.ErrorText());
  if (policy != fpNone && !database.Flush())
    UdbDatabaseError(udberr::kWriteFailure, loc, "Unable to flush the restored database: " + database.ErrorText());
  UdbLogger().Log("UdbFile", "Restored the last committed state from the journal " + journalName);
  RemoveUdbJournal(fs, journalName, policy);
  return true;
}
