// UdbErrors: the engine's error table, its exception EUdbDatabaseError and
// the one raiser through which every engine failure passes.
//
// A code is category * 256 + number (0x21 system, 0x22 not found, 0x23
// corruption, 0x24 I/O, 0x25 resource limit, 0x26 integrity, 0x27 invalid
// request, 0x28 lock conflict, 0x29 security, 0x2A invalid context, 0x2B
// operating system, 0x2C network, 0x2F version, 0x33 other).  The raiser
// looks the code up, writes one line to the engine log (TDBLogger) naming
// the failing operation ("TDiskMgr.Open") and raises.  The location goes to
// the log only; the exception carries the code, the table's text and the
// caller's own message.
// Calls only platform/core.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "platform/core/AnsiString.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"

class TObject;

// One row of the error table.
struct UdbErr {
  int code;
  const char* message;
};

// The codes the engine raises, by name; raise sites use these, never the
// bare number.  Each has a row in the table (UdbErrorTable.cpp) that gives
// its text; the numbers are fixed (callers and stored logs compare them).
namespace udberr {
inline constexpr int kAlterFailed = 130;          // the query engine's CREATE INDEX failure
inline constexpr int kCannotOpen = 8449;          // a file cannot be opened
inline constexpr int kSystemFileIO = 8450;        // I/O on a system file (lock file, handle)
inline constexpr int kCorrupt = 8451;             // bytes read from a file break the format
inline constexpr int kNotInitialized = 8576;      // an object used before its set-up
inline constexpr int kInvalidOperation = 8577;    // the operation is not valid on this object
inline constexpr int kObjectInUse = 8578;
inline constexpr int kObjectNotFound = 8579;
inline constexpr int kObjectExists = 8580;
inline constexpr int kInternal = 8581;            // misuse or our own broken invariant
inline constexpr int kCannotCreate = 8582;        // the database file cannot be created
inline constexpr int kReadFailure = 9217;         // a read the file does not hold wholly
inline constexpr int kWriteFailure = 9218;        // a write the file did not take wholly
inline constexpr int kTooManyClients = 9486;
inline constexpr int kFileSizeLimit = 9600;
inline constexpr int kTableLimit = 9601;
inline constexpr int kKeyTooLarge = 9602;
inline constexpr int kFieldCountLimit = 9604;
inline constexpr int kIndexMissing = 9997;
inline constexpr int kInvalidFieldType = 10000;
inline constexpr int kBookmarkInvalid = 10021;
inline constexpr int kInvalidBlobLength = 10029;
inline constexpr int kInvalidFilter = 10051;      // a filter that does not reduce to one condition
inline constexpr int kInvalidProcedure = 10065;   // an operation this object does not implement
inline constexpr int kFilterNotCreated = 10115;   // a filter constant or operator of no known kind
inline constexpr int kNeedsLock = 10248;          // the operation needs a lock not held
inline constexpr int kLockTimeout = 10249;
inline constexpr int kTransactionActive = 10256;
inline constexpr int kNoTransaction = 10257;
inline constexpr int kWrongTableType = 10766;
inline constexpr int kNoSuchFile = 11010;
inline constexpr int kFileExists = 11043;
inline constexpr int kRecordChanged = 8708;       // "Record Deleted/Key Modified"
inline constexpr int kRecordNotFound = 8710;
inline constexpr int kCorruptHeader = 8961;
inline constexpr int kDataLost = 9221;            // a copy could not keep every value
inline constexpr int kFileCopyFailed = 9344;
inline constexpr int kFieldCountInvalid = 9492;   // a table definition without fields or with too many
inline constexpr int kIndexCountLimit = 9606;     // also a string field's length out of range
inline constexpr int kKeyViolation = 9729;
inline constexpr int kNoSuchTable = 10024;
inline constexpr int kTableOpen = 10031;
inline constexpr int kInvalidFieldName = 10038;
inline constexpr int kInvalidTableName = 10039;
inline constexpr int kNameReserved = 10041;
inline constexpr int kNoConnection = 10112;
inline constexpr int kNoSuchField = 10116;
inline constexpr int kNotIndexable = 10117;
inline constexpr int kNotExclusive = 10121;
inline constexpr int kNoPrivilege = 10624;
inline constexpr int kNotABlob = 10753;
inline constexpr int kNotForMemory = 10880;
inline constexpr int kGeneralError = 1;           // the catalogue's "target exists" of a copy
inline constexpr int kFileNotFound = 9988;
inline constexpr int kBadLogin = 10015;
inline constexpr int kInvalidTableDelete = 10053;
inline constexpr int kNotConnected = 10113;
inline constexpr int kInvalidDatabaseName = 10118;
inline constexpr int kConnected = 10120;
inline constexpr int kHigherLevel = 12041;
inline constexpr int kTableExists = 13060;
inline constexpr int kNameOutOfRange = 9605;
inline constexpr int kBadUserOrPassword = 10036;
inline constexpr int kCancelled = 13061;           // "Operation was cancelled by the user"
// A failure for want of the file (a full disk, an I/O error, a lock
// time-out): the caller can free space or retry, and a change that met it
// is undone whole rather than left half-done.
inline bool IsFileFailure(int code) {
  return code == kSystemFileIO || code == kReadFailure || code == kWriteFailure || code == kLockTimeout;
}
}  // namespace udberr

constexpr int kUdbErrorRows = 314;  // row 0 is the fallback "Error code unknown"
constexpr int kUdbUnknownErrorCode = 65535;

// Row `index` (0..313) of the error table.
const UdbErr& UdbErrorRow(int index);
// Index of the first row (1..313) whose code is `code`; 0 when none.
int UdbErrorRowOf(int code);
// The table's text for `code` (row 0's text when the code has no row).
AnsiString UdbErrorMessage(int code);

class EUdbDatabaseError : public EDatabaseError {
 public:
  // customMessage may be empty; tableMessage is the text the lookup found.
  EUdbDatabaseError(int errorCode, const AnsiString& customMessage,
                    const AnsiString& tableMessage);
  int ErrorCode() const { return errorCode_; }
  const AnsiString& ErrorText() const { return errorText_; }

 private:
  int errorCode_;
  AnsiString errorText_;
};

// Looks the code up, logs "Exception:  Caller ..." under `location` and
// raises EUdbDatabaseError.  `sender` may be null; a named component is
// logged by name, any other object by class name.
[[noreturn]] void UdbDatabaseError(int errorCode, const AnsiString& location,
                                   const AnsiString& customMessage = AnsiString(),
                                   const TObject* sender = nullptr);

// As UdbDatabaseError with the custom message made by Format(format, args).
// Directives: %d %u %x %s with optional '-' and width (enough for the
// engine's own messages).
[[noreturn]] void UdbDatabaseErrorFmt(int errorCode, const AnsiString& location,
                                      const AnsiString& format, const TObject* sender,
                                      std::initializer_list<TVarRec> args);

// The small printf-like formatter behind UdbDatabaseErrorFmt and the log
// lines: %[-][width](d|u|x|X|s) and %%.  Missing arguments format as empty.
AnsiString UdbFormat(const AnsiString& format, std::initializer_list<TVarRec> args);
