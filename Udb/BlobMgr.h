// TBlobMgr: the blob cache of the record manager's current record, one
// TBlob per blob field (ftBlob, ftMemo, ftGraphic, ftFmtMemo), in field
// order.  A blob's stream holds a value only after it was set.
//
// States of a TBlob:
//   bsNotLoaded (1)  the value is the one the record's reference points to;
//                    reads go to the blob interface
//   bsModified  (3)  the stream holds the new value (empty = cleared); it
//                    is written when the record is written
// Transitions: set -> bsModified; the record read for keeping, deleted or
// written -> bsNotLoaded.
// Calls platform/core only; the record manager drives it.
#pragma once

#include <cstdint>

#include "platform/core/Collections.h"
#include "platform/core/Streams.h"

enum TBlobState : std::uint8_t { bsNotLoaded = 1, bsModified = 3 };

class TBlob : public TCollectionItem {
 public:
  explicit TBlob(TCollection* collection) : TCollectionItem(collection) {}
  int FieldIndex() const { return fieldIndex_; }
  void SetFieldIndex(int v) { fieldIndex_ = v; }
  TBlobState State() const { return state_; }
  void SetState(TBlobState v) { state_ = v; }
  TMemoryStream& Stream() { return stream_; }

 private:
  int fieldIndex_ = -1;
  TBlobState state_ = bsNotLoaded;
  TMemoryStream stream_;
};

class TBlobMgr : public TCollection {
 public:
  TBlobMgr() : TCollection(ItemClassOf<TBlob>()) {}
  TBlob* Add() { return static_cast<TBlob*>(TCollection::Add()); }
  TBlob* Items(int i) const { return static_cast<TBlob*>(TCollection::Items(i)); }
  // nullptr when the field has no blob.
  TBlob* FindByField(int fieldIndex) const;
  // Every blob back to bsNotLoaded; cached contents are dropped.
  void MarkAllNotLoaded();
};
