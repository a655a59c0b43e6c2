// TBlobInterface: a stream stored as a chain of blocks of one block I/O
// interface (a table's blob interface).  A blob's address is the address
// of its first block; 0 means no blob.
//
// Blob block (block size B):
//   offset  size    content
//   0       4       address of the next block of the blob, 0 in the last
//   4       4       data bytes in this block: B - 8 in every block but the
//                   last, the remainder (1..B - 8) in the last
//   8       B - 8   data
// A blob of 8177 bytes with B = 4096 takes three blocks: 4088, 4088, 1.
//
// A chain read from the file is checked before it is used: a count outside
// 1..B - 8, a full block missing before the last or a chain that visits a
// block twice raises 8451; DeleteBlob walks and checks the whole chain
// before it releases anything.  Calls TBaseIOInterface and UdbErrors.
#pragma once

#include <cstdint>
#include <vector>

#include "Udb/IOInterface.h"

class TStream;

namespace udbfmt {
constexpr int kBlobNext = 0;
constexpr int kBlobCount = 4;
constexpr int kBlobData = 8;
}  // namespace udbfmt

class TBlobInterface : public TObject {
 public:
  int BlockSize() const { return blockSize_; }
  void SetBlockSize(int size) { blockSize_ = size; }
  TBaseIOInterface* IOInterface() const { return io_; }
  void SetIOInterface(TBaseIOInterface* io) { io_ = io; }

  // 8581 without an interface or block size; allocates the block buffer.
  void Open();
  // Writes size bytes from the stream's current end backwards (the stream
  // must hold them) and returns the first block's address; 0 for size 0.
  // On a failure the blocks written so far are released again.
  TUdbAddr WriteBlob(int size, TStream* stream);
  // WriteBlob of the stream's whole size.
  TUdbAddr WriteStream(TStream* stream);
  // Appends the blob's bytes to the stream.
  void ReadBlob(TUdbAddr address, TStream* stream);
  // Releases every block of the chain (checked whole first).
  void DeleteBlob(TUdbAddr address);
  // The chain's block addresses, checked as ReadBlob checks them.
  std::vector<TUdbAddr> ChainOf(TUdbAddr address);

 private:
  void CheckOpen(const char* location) const;
  // Follows and checks the chain; data, when given, receives its bytes.
  std::vector<TUdbAddr> Walk(TUdbAddr address, std::vector<std::uint8_t>* data);
  int DataPerBlock() const { return blockSize_ - udbfmt::kBlobData; }

  int blockSize_ = 0;
  TBaseIOInterface* io_ = nullptr;
  std::vector<std::uint8_t> buffer_;
};
