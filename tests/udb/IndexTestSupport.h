// Shared helpers of the B-tree and index manager tests: a small record
// layout, key fields built over it, an independent model of the index order
// and trees on a memory or a disk block interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Udb/BTree.h"
#include "Udb/DiskIOInterface.h"
#include "UdbTestSupport.h"

// Test record (48 bytes):
//   0   in-use mark (1)            6  RecordID (int32)
//   10  A null flag, 11 A (int32)
//   15  B null flag, 16 B size marker (WORD), 18 B (kBSize bytes)
namespace idxtest {
constexpr int kRecordSize = 18 + 60 + 2;
constexpr int kBSize = 60;

struct TRow {
  bool aNull = false;
  std::int32_t a = 0;
  bool bNull = false;
  std::string b;
  std::int32_t id = 0;
  TUdbAddr addr = 0;
};

std::vector<std::uint8_t> RecordOf(const TRow& row);

// Parts over the test record.
void AddIntPart(TKeyFields& fields, const char* index, int part, bool descending = false);
void AddStringPart(TKeyFields& fields, const char* index, bool caseInsensitive = false);
void AddRecordIdPart(TKeyFields& fields, const char* index, bool descending = false);

// The key order of an index over (A [descending], B, RecordID) in soASCII,
// written without the engine's comparison code.  Parts: 0 A, 1 B, 2 id.
int ModelCompare(const TRow& search, const TRow& other, int parts, bool aDescending);

// Index of the entry a search mode lands on in a sorted model, -1 when the
// search fails.
int ModelFind(const std::vector<TRow>& sorted, const TRow& search, int parts, int mode, bool aDescending);

// A tree over a memory interface or a disk interface of a database held in
// memory; Reopen closes and reopens everything but the bytes (disk) and
// Root / Depth.
class TTreeHarness {
 public:
  TTreeHarness(bool disk, int nodeSize, TKeySortFunction sort = AsciiKeySort);
  ~TTreeHarness();
  void Define(const TKeyFields& fields);
  void CreateAndOpen();
  void Reopen();
  TBTree& Tree() { return *tree; }
  TBaseIOInterface& IO();

  bool disk;
  int nodeSize;
  TKeySortFunction sort;
  std::uint32_t root = 0;
  std::uint32_t depth = 0;
  TKeyFields fields;
  std::unique_ptr<TMemDatabase> db;
  std::unique_ptr<TMemoryIOInterface> memIO;
  std::unique_ptr<TDiskIOInterface> diskIO;
  std::unique_ptr<TBTree> tree;

 private:
  void OpenIO();
  void OpenTree();
};
}  // namespace idxtest
