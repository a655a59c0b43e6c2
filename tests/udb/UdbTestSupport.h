// Shared helpers of the engine's storage tests: an EUdbDatabaseError
// matcher and a disk manager on an in-memory file system.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "MemFileSystem.h"
#include "Udb/DiskMgr.h"
#include "Udb/UdbErrors.h"

// Runs fn and returns the engine error it raised (code -1 when none).
struct TCaughtError {
  int code = -1;
  std::string message;
  std::string errorText;
};
TCaughtError CatchUdb(const std::function<void()>& fn);

#define EXPECT_UDB_ERROR(stmt, expectedCode)                         \
  do {                                                               \
    TCaughtError caught_ = CatchUdb([&] { stmt; });                  \
    EXPECT_EQ(caught_.code, (expectedCode)) << caught_.message;      \
  } while (0)

// A database "test.udb" created on a TMemFileSystem and opened.
class TMemDatabase {
 public:
  explicit TMemDatabase(const char* name = "test.udb", bool open = true);
  void Reopen();
  std::vector<std::uint8_t>& Bytes() { return fs.Bytes(name); }
  std::uint32_t U32(std::size_t offset) { return udbfmt::GetU32(Bytes().data() + offset); }
  std::uint16_t U16(std::size_t offset) { return udbfmt::GetU16(Bytes().data() + offset); }

  TMemFileSystem fs;
  AnsiString name;
  std::unique_ptr<TDiskMgr> disk;
};

// count pages of page-sized data filled with `fill`.
std::vector<std::uint8_t> Pages(int count, std::uint8_t fill, int pageSize = 4096);
