// Internals shared by the table dataset's source files (UdbDataSet*.cpp):
// the error codes they raise and the guards of access brackets.  Not for
// other units.
#pragma once

#include "Udb/UdbDataSet.h"
#include "Udb/UdbErrors.h"

namespace udbcur {
constexpr int kErrNotValid = 8577;        // "Operation is not valid on this object"
constexpr int kErrInternal = 8581;
constexpr int kErrCorrupt = 8451;
constexpr int kErrStale = 8708;           // "Record Deleted/Key Modified"
constexpr int kErrNotFound = 8710;        // "Record was not found"
constexpr int kErrCorruptHeader = 8961;
constexpr int kErrFieldCount = 9492;
constexpr int kErrKeyTooLarge = 9602;
constexpr int kErrTooManyIndexes = 9604;
constexpr int kErrFieldLength = 9606;
constexpr int kErrKeyViolation = 9729;
constexpr int kErrNoIndex = 9997;
constexpr int kErrFieldType = 10000;
constexpr int kErrNoTable = 10024;
constexpr int kErrTableOpen = 10031;
constexpr int kErrFieldName = 10038;
constexpr int kErrTableName = 10039;
constexpr int kErrReserved = 10041;
constexpr int kErrNotConnected = 10112;
constexpr int kErrNoField = 10116;
constexpr int kErrNotIndexable = 10117;
constexpr int kErrPrivilege = 10624;
constexpr int kErrNotBlob = 10753;
constexpr int kErrWrongTableType = 10766;
constexpr int kErrDataLost = 9221;      // "Data in the table has been lost"
constexpr int kErrCancelled = 13061;    // "Operation was cancelled by the user"

constexpr int kMaxNameLength = 40;
constexpr int kMaxIndexCount = 32;
constexpr int kMaxStringSize = 255;
constexpr char kLogicalRecNo[] = "_LogicalRecNo";

inline std::uint32_t Get32(const std::uint8_t* p) { return udbfmt::GetU32(p); }
inline void Put32(std::uint8_t* p, std::uint32_t v) { udbfmt::PutU32(p, v); }
}  // namespace udbcur

// Begins a read or write bracket unless one of that kind is held, and ends
// the bracket it began when it goes out of scope.
class TAccessBracket {
 public:
  TAccessBracket(TUdbDataSet& ds, bool write) : ds_(ds) {
    if (write ? ds.WriteLocked() : ds.ReadLocked()) return;
    write ? ds.BeginWrite() : ds.BeginRead();
    began_ = true;
  }
  ~TAccessBracket() {
    if (began_) ds_.EndAccess();
  }
  bool Began() const { return began_; }
  TAccessBracket(const TAccessBracket&) = delete;
  TAccessBracket& operator=(const TAccessBracket&) = delete;

 private:
  TUdbDataSet& ds_;
  bool began_ = false;
};
