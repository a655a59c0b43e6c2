// TRecordMgr: reads, writes, adds and frees the records of one open table
// through its record I/O interface (one record per block, RecordFormat.h),
// and keeps the last record read or written with its blob cache.
//
// Owns the field list, the blob cache and the last-record buffer; the I/O
// interfaces are the table definition's.  A record read from the file that
// is live for this table (in-use mark 1, RecordTag = the record interface's
// owner value) is checked against the layout first (8451); a failed read or
// write leaves the last-record buffer as it was.
//
// Posting a record with blobs (PostRecord) writes the changed blobs first,
// then the record, and only then releases the chains the record no longer
// references; when the record write fails the new chains are released and
// the cache keeps the unsaved values.  Once the record is written the post
// has succeeded: a failure to free the old chains only leaks (and is logged).  A reader therefore never sees a
// record whose blob reference points at freed blocks.
// Calls the block interfaces, InternalFields, BlobMgr and UdbErrors.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Udb/DatabaseFileFormat.h"
#include "platform/core/Component.h"

class TBaseIOInterface;
class TBlobInterface;
class TBlobMgr;
class TInternalFieldItem;
class TInternalFields;
class TStream;

class TRecordMgr : public TObject {
 public:
  TRecordMgr();
  ~TRecordMgr() override;

  // The field list and the blob cache (InternalFields.h, BlobMgr.h).
  TInternalFields& Fields() { return *fields_; }
  TBlobMgr& Blobs() { return *blobs_; }
  int RecordSize() const { return recordSize_; }
  // requires: not open ("Setting record size when buffers set").
  void SetRecordSize(int size);
  TBaseIOInterface* IOInterface() const { return io_; }
  // The table's blob interface, for the blob operations below.
  void SetBlobInterface(TBlobInterface* blobs) { blobIO_ = blobs; }

  // 8576 when RecordSize is 0.  Builds the field index and one blob per
  // blob field.
  void Open(TBaseIOInterface* io);
  void Close();
  bool IsOpen() const { return !last_.empty(); }

  TUdbAddr AppendRecord(const std::uint8_t* buffer);
  // keep: the record becomes the last record and its blobs not loaded.
  void ReadRecord(TUdbAddr address, std::uint8_t* buffer, bool keep);
  // Reads count records whose blocks follow one another from address (the
  // record block size is the record size) in one read, each checked as
  // ReadRecord checks it; buffer takes count records.  On a failed check
  // the buffer's content is undefined.
  void ReadRun(TUdbAddr address, int count, std::uint8_t* buffer);
  // Reads count records at addresses[i] into buffers[i] (keep false), each
  // checked as ReadRecord checks it, through the block interface's many-
  // block read.  On a failure any of the buffers' content is undefined.
  void ReadRecords(const TUdbAddr* addresses, int count, std::uint8_t* const* buffers);
  void WriteRecord(TUdbAddr address, const std::uint8_t* buffer);
  // Releases the block; the blobs become not loaded.
  void DeleteRecord(TUdbAddr address);
  void GetLastRecord(std::uint8_t* buffer) const;
  const std::uint8_t* LastRecord() const { return last_.data(); }

  // --- blob fields of the record in `record` ---
  // Appends the field's value to out; false when it is null.  8581 for a
  // field that is not a blob or has no cache entry; 8451 for a reference
  // that does not match its chain.
  bool ReadBlobField(const std::uint8_t* record, int fieldIndex, TStream* out);
  // A non-empty stream becomes the new value; an empty one clears a value
  // the record holds (and forgets an unsaved one).
  void SetBlobField(const std::uint8_t* record, int fieldIndex, TStream* in);
  // Writes the changed blobs and the record (address 0: appends it) and
  // returns the record's address; then frees the replaced chains.
  TUdbAddr PostRecord(TUdbAddr address, std::uint8_t* record);
  // Deletes the record at address and every blob it references.  A blob
  // that cannot be freed is logged and left (it only leaks), except that
  // with passOnFileFailure a failure of the file (udberr::IsFileFailure) is
  // raised, for a caller that then undoes the delete page by page.
  void DeleteRecordAndBlobs(TUdbAddr address, bool passOnFileFailure = false);

 private:
  void CheckOpen(const char* location) const;
  void ReadChecked(TUdbAddr address, std::uint8_t* buffer, const char* location);
  TInternalFieldItem* BlobField(int fieldIndex, const char* location) const;
  // The layout check of a record read (TInternalFields::CheckRecord) as
  // flat offsets, taken from the fields at Open: every record read runs it.
  struct TSizeCheck {
    int sizeMarker;
    int maxLength;
  };
  void BuildLayoutChecks();
  bool PassesLayoutChecks(const std::uint8_t* record) const;

  std::unique_ptr<TInternalFields> fields_;
  std::unique_ptr<TBlobMgr> blobs_;
  int recordSize_ = 0;
  TBaseIOInterface* io_ = nullptr;
  TBlobInterface* blobIO_ = nullptr;
  std::vector<std::uint8_t> last_;
  std::vector<int> nullFlags_;          // offsets of every field's null flag
  // The flags as one run [flagRunStart_, + flagRunLength_) when they lie
  // side by side (as every table's layout puts them); -1 when they do not.
  int flagRunStart_ = -1;
  int flagRunLength_ = 0;
  std::vector<TSizeCheck> sizeChecks_;  // string fields' size markers
  int checkedFieldCount_ = -1;
  std::vector<std::uint8_t> scratch_;  // a record read lands here until checked
};
