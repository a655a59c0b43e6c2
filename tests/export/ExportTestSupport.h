// Helpers of the worksheet export tests: the records of a written file,
// a small pay table, and a PATH with stand-in desktop helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "MemDataSet.h"

struct XlsRecord {
  std::uint16_t opcode;
  std::string body;
};

// The records of a worksheet file; fails the test on a truncated record.
std::vector<XlsRecord> ReadXlsRecords(const std::string& bytes);
// Bytes of one record, for expected files.
std::string XlsRec(std::uint16_t opcode, const std::string& body);
std::string U16(unsigned v);
std::string F64(double v);
// A cell head: row, column, alignment code.
std::string CellHead(unsigned row, unsigned column, unsigned align = 1);

// Opened dataset: ID integer, PAY float, NAME string(20), DAY date.
void MakePayTable(TMemDataSet& ds);

// Puts a folder of stand-in programs first in PATH for the test's life.
class TFakeHelpers {
 public:
  TFakeHelpers();
  ~TFakeHelpers();
  // A shell script named name in the folder.
  void Add(const std::string& name, const std::string& script);
  // PATH holding only the folder (no real helpers at all).
  void OnlyThese();
  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;
  std::string oldPath_;
};
