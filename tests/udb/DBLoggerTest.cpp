// The engine logger: line form, the MaxLines rule, counters, saving.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "Udb/DBLogger.h"

TEST(TDBLogger, LineAlignsTimeAndSource) {
  TDBLogger log;
  log.Log("UdbFile", "Invalid table id");
  AnsiString line = log.Lines().front();
  std::string tail = std::string(23, ' ') + "UdbFile : Invalid table id";
  ASSERT_GE(line.size(), tail.size());
  EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
  EXPECT_EQ(line.find("; "), UdbNowText().size());
}

TEST(TDBLogger, KeepsAtMostMaxLinesPlusOneRemovingOneOldestPerCall) {
  TDBLogger log;
  EXPECT_EQ(log.MaxLines(), 500);
  for (int i = 0; i < 501; ++i) log.Log("s", std::to_string(i));
  EXPECT_EQ(log.LineCount(), 501);
  log.Log("s", "501");
  EXPECT_EQ(log.LineCount(), 501);
  EXPECT_NE(log.Lines().front().find(": 1"), std::string::npos);
  log.SetMaxLines(0);  // no limit
  for (int i = 0; i < 10; ++i) log.Log("s", "x");
  EXPECT_EQ(log.LineCount(), 511);
}

TEST(TDBLogger, CountersAddToMissingOrNonNumericValuesAsZero) {
  TDBLogger log;
  log.IncCounter("READLOCK", 1);
  log.IncCounter("READLOCK", 2);
  EXPECT_EQ(log.Counter("READLOCK"), 3);
  EXPECT_EQ(log.CounterText("READLOCK"), "3");
  log.IncCounter("WRITELOCK", -4);
  EXPECT_EQ(log.Counter("WRITELOCK"), -4);
  EXPECT_EQ(log.Counter("missing"), 0);
}

// Counting up one at a time across carries, and past the largest value a
// counter holds (whose text then reads as 0, so the next count is 1).
TEST(TDBLogger, CountingUpByOneCarriesAndWrapsAsTheSumDoes) {
  struct TCase {
    int start;
    const char* afterOne;
    const char* afterTwo;
  };
  for (const TCase& c : {TCase{0, "1", "2"}, TCase{8, "9", "10"}, TCase{98, "99", "100"},
                         TCase{-2, "-1", "0"}, TCase{2147483646, "2147483647", "2147483648"}}) {
    TDBLogger log;
    if (c.start != 0) log.IncCounter("N", c.start);
    log.IncCounter("N", 1);
    EXPECT_EQ(log.CounterText("N"), c.afterOne) << c.start;
    log.IncCounter("N", 1);
    EXPECT_EQ(log.CounterText("N"), c.afterTwo) << c.start;
  }
  TDBLogger log;
  log.IncCounter("N", 2147483647);
  log.IncCounter("N", 1);
  log.IncCounter("N", 1);
  EXPECT_EQ(log.CounterText("N"), "1");
}

TEST(TDBLogger, SavesLinesToTheLogFileOnDestruction) {
  std::string path = ::testing::TempDir() + "dblog_test.txt";
  std::remove(path.c_str());
  {
    TDBLogger log;
    log.Log("a", "one");
    log.Log("b", "two");
    EXPECT_TRUE(log.SaveToFile(""));
    log.SetLogFileName(path);
  }
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  EXPECT_NE(s.find("a : one\r\n"), std::string::npos);
  EXPECT_NE(s.find("b : two\r\n"), std::string::npos);
  std::remove(path.c_str());
}
