// Internals shared by the table dataset's source files (UdbDataSet*.cpp):
// the definition limits and the guard of access brackets.  Not for
// other units.
#pragma once

#include "Udb/UdbDataSet.h"
#include "Udb/UdbErrors.h"

namespace udbcur {
constexpr int kMaxNameLength = 40;
constexpr int kMaxIndexCount = 32;
constexpr int kMaxStringSize = 255;
constexpr char kLogicalRecNo[] = "_LogicalRecNo";

inline std::uint32_t Get32(const std::uint8_t* p) { return udbfmt::GetU32(p); }
inline void Put32(std::uint8_t* p, std::uint32_t v) { udbfmt::PutU32(p, v); }
}  // namespace udbcur

class TBaseIOInterface;
class TIndexItem;

// Every node of an index's tree, root first; each node is read and checked
// (8451 for a node met twice).  Used to free a tree and by the space check
// of the tests.
std::vector<TUdbAddr> TreeNodes(TIndexItem& index, TBaseIOInterface* io);

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
