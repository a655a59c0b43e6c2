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
  EXPECT_EQ(log.CounterText("missing"), "");
  // Past an Integer the text keeps the sum, the value reads as 0 and the
  // next increase starts from there.
  log.IncCounter("BIG", 0x7FFFFFFF);
  log.IncCounter("BIG", 1);
  EXPECT_EQ(log.CounterText("BIG"), "2147483648");
  EXPECT_EQ(log.Counter("BIG"), 0);
  log.IncCounter("BIG", 5);
  EXPECT_EQ(log.CounterText("BIG"), "5");
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
