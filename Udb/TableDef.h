// TTableDef: the complete description of one table (identity, attributes,
// fields, key fields, index definitions).  Its published properties are its
// stored form: the connection keeps every table's definition as this
// component's text form in the catalogue.
//
// While the table is open the definition also carries the table header and
// three block I/O interfaces: index nodes (usage 8), blobs (10) and records
// (9; its owner value TableID * 16 + 9 is the records' RecordTag).  The
// manager's copy (TableDefMgr.h) owns them; every dataset's definition of
// the same table shares them.
//
// The record and blob interfaces keep their free-run heads in the table
// header (record FirstEmpty at 12, blob FirstEmpty at 24): InternalOpen
// loads them and binds each interface so that every change goes straight
// into the header; after the header is re-read LoadFirstEmpties loads them
// again.  Layout check: a definition whose stored offsets or record size
// disagree with the layout its fields produce is refused (8451), so record
// bytes are never addressed through offsets read from a damaged text.
// Calls the table-level units, TDiskMgr and platform/core.
#pragma once

#include <cstdint>
#include <memory>

#include "Udb/InternalFields.h"
#include "Udb/InternalIndexDefs.h"
#include "Udb/KeyFields.h"
#include "platform/core/DateTime.h"

class TBaseIOInterface;
class TDiskMgr;
class TTableHeader;

enum TEncryptionLevel { encNone, encWeak, encStrong };
PAYROLL_ENUM_NAMES(TEncryptionLevel, encNone, encWeak, encStrong)

constexpr int kDefaultBlobSize = 512;
// Size of an index node when no index definition gives one.
constexpr std::uint32_t kIndexNodeSize = 4096;

class TTableDef : public TComponent {
  PAYROLL_CLASS(TTableDef, TComponent)
 public:
  explicit TTableDef(TComponent* owner = nullptr);
  ~TTableDef() override;

  int TableID() const { return tableID_; }
  void SetTableID(int v) { tableID_ = v; }
  std::uint32_t OwnerFlag() const { return ownerFlag_; }
  void SetOwnerFlag(std::uint32_t v) { ownerFlag_ = v; }
  const AnsiString& TableName() const { return tableName_; }
  void SetTableName(const AnsiString& v) { tableName_ = v; }
  const AnsiString& AltName() const { return altName_; }
  void SetAltName(const AnsiString& v) { altName_ = v; }
  // The AltName of an enciphered table: its name under the XOR page cipher
  // over the built-in key buffer from key position 0.  It follows every
  // rename; opening the table compares the two (8961).
  static AnsiString EncipheredName(const AnsiString& tableName);
  const AnsiString& Version() const { return version_; }
  void SetVersion(const AnsiString& v) { version_ = v; }
  const AnsiString& OS() const { return os_; }
  void SetOS(const AnsiString& v) { os_ = v; }
  TDateTime CreationDate() const { return creationDate_; }
  void SetCreationDate(TDateTime v) { creationDate_ = v; }
  TDateTime LastModDate() const { return lastModDate_; }
  void SetLastModDate(TDateTime v) { lastModDate_ = v; }
  const AnsiString& CreatedBy() const { return createdBy_; }
  void SetCreatedBy(const AnsiString& v) { createdBy_ = v; }
  const AnsiString& Password() const { return password_; }
  void SetPassword(const AnsiString& v) { password_ = v; }
  bool Encrypted() const { return encrypted_; }
  void SetEncrypted(bool v) { encrypted_ = v; }
  int SecurityLevel() const { return securityLevel_; }
  void SetSecurityLevel(int v) { securityLevel_ = v; }
  bool Memory() const { return memory_; }
  void SetMemory(bool v) { memory_ = v; }
  int RecordSize() const { return recordSize_; }
  void SetRecordSize(int v) { recordSize_ = v; }
  int DefaultBlobSize() const { return defaultBlobSize_; }
  void SetDefaultBlobSize(int v) { defaultBlobSize_ = v; }
  bool UsesBlobs() const { return usesBlobs_; }
  void SetUsesBlobs(bool v) { usesBlobs_ = v; }
  TSortOrder SortOrder() const { return sortOrder_; }
  void SetSortOrder(TSortOrder v) { sortOrder_ = v; }
  bool InternalTable() const { return internalTable_; }
  void SetInternalTable(bool v) { internalTable_ = v; }
  TEncryptionLevel EncryptionLevel() const { return encryptionLevel_; }
  void SetEncryptionLevel(TEncryptionLevel v) { encryptionLevel_ = v; }
  TKeyFields* KeyFields() const { return keyFields_.get(); }
  TInternalFields* InternalFields() const { return internalFields_.get(); }
  TInternalIndexDefs* InternalIndexDefs() const { return internalIndexDefs_.get(); }
  int CarriedValue() const { return carriedValue_; }
  void SetCarriedValue(int v) { carriedValue_ = v; }
  // The logged-on user's privilege bits on the table (runtime, set by the
  // security manager; every bit until then).
  std::uint32_t AccessMask() const { return accessMask_; }
  void SetAccessMask(std::uint32_t v) { accessMask_ = v; }

  // --- runtime (not stored) ---
  TTableHeader* Header() const { return header_; }
  void SetHeader(TTableHeader* header) { header_ = header; }
  TBaseIOInterface* IndexIO() const { return indexIO_; }
  TBaseIOInterface* BlobIO() const { return blobIO_; }
  TBaseIOInterface* RecordIO() const { return recordIO_; }
  bool ManagerCopy() const { return managerCopy_; }
  void SetManagerCopy(bool v) { managerCopy_ = v; }
  int ConnectionCount() const { return connectionCount_; }
  void SetConnectionCount(int n) { connectionCount_ = n; }
  bool IOOpen() const { return ioOpen_; }
  // Page I/O mode of the table's blocks: 5 strong, 3 weak, 1 none.
  std::uint8_t CipherMode() const;

  // Copies the stored identity and layout (not OwnerFlag, LastModDate,
  // SecurityLevel, InternalTable).
  void Assign(TPersistent* source) override;
  // 8577 for a manager's copy; otherwise empties everything.
  void Clear();
  // Opens the three interfaces (disk: over disk; memory tables: in memory,
  // with an empty root per index).  requires: Header().  8576 without one.
  void InternalOpen(TDiskMgr* disk);
  // Closes and frees the interfaces this definition owns; forgets shared ones.
  void CloseIO();
  // Shares another definition's header and interfaces (not owned).
  void ShareIO(const TTableDef& source);
  // Record and blob FirstEmpty from the header into the interfaces.
  void LoadFirstEmpties();
  // Every index definition's IndexSequence is 0..count-1 and unique (each
  // names its own root entry in the header); 8451 otherwise.
  void CheckIndexSequences(const char* location) const;
  void CheckKeyFields(const char* location) const;
  // Key fields naming no index definition go to the first index
  // definition that has no key fields.
  void ReattachKeyFields();

 private:
  void CheckLayout();
  void ResetRuntime();

  int tableID_ = 0;
  std::uint32_t ownerFlag_ = 0;
  AnsiString tableName_, altName_, version_, os_;
  TDateTime creationDate_, lastModDate_;
  AnsiString createdBy_, password_;
  bool encrypted_ = false;
  int securityLevel_ = 0;
  bool memory_ = false;
  int recordSize_ = 0;
  int defaultBlobSize_ = kDefaultBlobSize;
  bool usesBlobs_ = false;
  TSortOrder sortOrder_ = soANSI;
  bool internalTable_ = false;
  TEncryptionLevel encryptionLevel_ = encNone;
  std::unique_ptr<TKeyFields> keyFields_;
  std::unique_ptr<TInternalFields> internalFields_;
  std::unique_ptr<TInternalIndexDefs> internalIndexDefs_;
  int carriedValue_ = 0;
  std::uint32_t accessMask_ = 0x7FFFFFFF;

  TTableHeader* header_ = nullptr;
  TBaseIOInterface* indexIO_ = nullptr;
  TBaseIOInterface* blobIO_ = nullptr;
  TBaseIOInterface* recordIO_ = nullptr;
  std::unique_ptr<TBaseIOInterface> ownedIO_[3];  // index, blob, record
  bool managerCopy_ = false;
  int connectionCount_ = 0;
  bool ioOpen_ = false;
};
