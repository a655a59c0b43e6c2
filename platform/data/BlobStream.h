// The blob stream interface.  A dataset gives access to a blob field of its
// current record through CreateBlobStream(field, mode), which returns a
// stream the caller owns and frees:
//   bmRead       the blob's bytes, positioned at 0;
//   bmWrite      an empty stream; what is written replaces the blob when the
//                stream is freed (an empty stream stores an empty blob), and
//                the dataset then signals deFieldChange for the field;
//   bmReadWrite  the blob's bytes, changes written back on free.
// Writing requires the dataset in dsEdit or dsInsert and a field that is
// not read-only ("Dataset not in edit or insert mode", "Field '%s' cannot
// be modified").  TBlobField reads and writes through this interface.
// Layer: platform/data; platform/core only.
#pragma once

#include <memory>

#include "platform/core/Streams.h"
#include "platform/data/Dataset.h"

// CreateBlobStream with the stream's lifetime in a unique_ptr (the write
// back happens when it goes out of scope).
inline std::unique_ptr<TStream> OpenBlobStream(TField* field, TBlobStreamMode mode,
                                               TDataSet* dataSet) {
  return std::unique_ptr<TStream>(dataSet->CreateBlobStream(field, mode));
}
