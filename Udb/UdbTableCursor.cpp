// TUdbTableCursor (see UdbTableCursor.h).
#include "Udb/UdbTableCursor.h"

#include "Udb/UdbErrors.h"

namespace {
[[noreturn]] void NotValid() { UdbDatabaseError(udberr::kInvalidOperation, "TUdbTableCursor.GetRecord"); }
}  // namespace

TUdbTableCursor::~TUdbTableCursor() { Destroying(); }

TRecordBuffer TUdbTableCursor::AllocRecordBuffer() { NotValid(); }
void TUdbTableCursor::FreeRecordBuffer(TRecordBuffer& buffer) { buffer = nullptr; }
void TUdbTableCursor::GetBookmarkData(TRecordBuffer, void*) { NotValid(); }
TBookmarkFlag TUdbTableCursor::GetBookmarkFlag(TRecordBuffer) { NotValid(); }
int TUdbTableCursor::GetRecordSize() { return GetRecBufSize(); }
void TUdbTableCursor::InternalAddRecord(TRecordBuffer, bool) { NotValid(); }
void TUdbTableCursor::InternalDelete() { NotValid(); }
void TUdbTableCursor::InternalFirst() { NotValid(); }
void TUdbTableCursor::InternalGotoBookmark(void*) { NotValid(); }
void TUdbTableCursor::InternalInitRecord(TRecordBuffer) { NotValid(); }
void TUdbTableCursor::InternalLast() { NotValid(); }
void TUdbTableCursor::InternalPost() { NotValid(); }
void TUdbTableCursor::InternalSetToRecord(TRecordBuffer) { NotValid(); }
void TUdbTableCursor::SetBookmarkFlag(TRecordBuffer, TBookmarkFlag) { NotValid(); }
void TUdbTableCursor::SetBookmarkData(TRecordBuffer, const void*) { NotValid(); }
void TUdbTableCursor::SetFieldData(TField*, const void*) { NotValid(); }
