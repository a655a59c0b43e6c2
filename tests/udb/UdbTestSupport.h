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

// Bytes as upper-case hexadecimal, and hexadecimal text as bytes.
std::string ToHex(const std::uint8_t* p, std::size_t n);
std::vector<std::uint8_t> Hex(const std::string& hex);

// Addresses in a file of 4096-byte pages with its first map page at page 5.
namespace udbtest {
constexpr int P = 4096;
constexpr TUdbAddr Page(int n) { return static_cast<TUdbAddr>(n) * P; }
constexpr std::size_t kMap0 = 5 * P;
// File offset of page pageNo's entry in the first map page.
inline std::size_t EntryAt(int pageNo) { return kMap0 + udbfmt::kMapEntries + 2 * pageNo; }
}  // namespace udbtest
