// TBlobMgr (see BlobMgr.h).
#include "Udb/BlobMgr.h"

TBlob* TBlobMgr::FindByField(int fieldIndex) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->FieldIndex() == fieldIndex) return Items(i);
  return nullptr;
}

void TBlobMgr::MarkAllNotLoaded() {
  for (int i = 0; i < Count(); ++i) {
    Items(i)->SetState(bsNotLoaded);
    Items(i)->Stream().Clear();
  }
}
