// TUdbTableCursor: a table dataset used only through the engine's cursor
// operations (TUdbDataSet), never opened as a class-library dataset.  The
// engine's own copies (a restructure's rebuild) and tools use it; its
// record operations of the class library raise 8577.
#pragma once

#include "Udb/UdbDataSet.h"

class TUdbTableCursor final : public TUdbDataSet {
 public:
  explicit TUdbTableCursor(TComponent* owner = nullptr) : TUdbDataSet(owner) {}
  ~TUdbTableCursor() override;

 protected:
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& buffer) override;
  void GetBookmarkData(TRecordBuffer buffer, void* data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
  int GetRecordSize() override;
  void InternalAddRecord(TRecordBuffer buffer, bool append) override;
  void InternalDelete() override;
  void InternalFirst() override;
  void InternalGotoBookmark(void* bookmark) override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  void InternalLast() override;
  void InternalPost() override;
  void InternalSetToRecord(TRecordBuffer buffer) override;
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) override;
  void SetBookmarkData(TRecordBuffer buffer, const void* data) override;
  void SetFieldData(TField* field, const void* buffer) override;
};
