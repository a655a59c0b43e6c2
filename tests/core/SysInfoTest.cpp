#include "platform/core/SysInfo.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/core/Exceptions.h"

namespace {

TEST(SysInfo, TickCountIsMonotonicAndSleepWaits) {
  std::uint64_t start = GetTickCount64();
  std::uint32_t start32 = GetTickCount();
  Sleep(30);
  EXPECT_GE(GetTickCount64() - start, 30u);
  EXPECT_GE(static_cast<std::uint32_t>(GetTickCount() - start32), 30u);
}

TEST(SysInfo, NamesAndErrorTexts) {
  EXPECT_FALSE(GetComputerName().empty());
  EXPECT_EQ(GetComputerName().find('.'), std::string::npos);
  EXPECT_FALSE(GetUserName().empty());
  EXPECT_FALSE(SysErrorMessage(ENOENT).empty());
  EXPECT_NE(SysErrorMessage(ENOENT), SysErrorMessage(EACCES));
  try {
    RaiseLastOSError(ENOENT);
    FAIL() << "no exception";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Message().rfind("System Error.  Code: 2.\r\n", 0), 0u);
  }
}

}  // namespace
