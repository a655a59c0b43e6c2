#include "report/ReportStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"

namespace {

std::string Bytes(TMemoryStream& m) {
  return std::string(static_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}

TEST(ReportStream, StringsAndLineListsAsStored) {
  TMemoryStream m;
  rbStreamWriteString(&m, "");
  EXPECT_EQ(Bytes(m), std::string("\0\0\0", 3));

  m.Clear();
  TStringList empty;
  rbStreamWriteMemo(&m, &empty);
  EXPECT_EQ(Bytes(m), std::string("\0\0\0", 3));

  m.Clear();
  TStringList two;
  two.Add("ab");
  two.Add("");
  rbStreamWriteMemo(&m, &two);
  EXPECT_EQ(Bytes(m), std::string("\x02\x00\x02\x00" "ab" "\x0D\x00\x00\x00", 10));

  m.SetPosition(0);
  TStringList back;
  back.Add("junk");
  rbStreamReadMemo(&m, &back);
  EXPECT_EQ(back.Count(), 2);
  EXPECT_EQ(back[0], "ab");
  EXPECT_EQ(back[1], "");
}

TEST(ReportStream, OldFormsEndAtAZeroByte) {
  TMemoryStream m;
  m.WriteBuffer("a\rb\r\0c\0", 7);
  m.SetPosition(0);
  TStringList lines;
  rbStreamReadMemoOld(&m, &lines);
  EXPECT_EQ(lines.Count(), 2);  // the empty text before the 0 adds no line
  EXPECT_EQ(rbStreamReadStringOld(&m), "c");
}

TEST(ReportStream, FrameWidthCodes) {
  struct Case {
    double width;
    std::int32_t code;
  } cases[] = {{1, 1}, {0.5, 500}, {12, 12000}, {10, 10}, {2.25, 2250}, {0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(rbFrameWidthCode(c.width), c.code) << c.width;
    EXPECT_DOUBLE_EQ(rbFrameWidthFromCode(c.code), c.width);
  }
}

TEST(ReportStream, ReadsPastTheEndNameTheOffset) {
  TMemoryStream m;
  rbStreamWriteWord(&m, 50);  // a string of 50 bytes that are not there
  m.WriteBuffer("abc", 3);
  m.SetPosition(0);
  try {
    rbStreamReadString(&m);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_NE(e.Message().find("offset 2"), std::string::npos) << e.Message();
  }
  m.SetPosition(0);
  TStringList lines;
  EXPECT_THROW(rbStreamReadMemo(&m, &lines), EReadError);
}

// Geometry and font sizes of a damaged file are refused where they are
// read, naming the value and its offset; rounding never leaves int.
TEST(ReportStream, GeometryBeyondItsRangeIsRefusedWithItsOffset) {
  TMemoryStream s;
  for (std::int32_t v : {kRbMaxGeometry, -kRbMaxGeometry, kRbMaxGeometry + 1, 2000})
    rbStreamWriteInt(&s, v);
  s.SetPosition(0);
  EXPECT_EQ(rbStreamReadGeometry(&s, "width"), kRbMaxGeometry);
  EXPECT_EQ(rbStreamReadGeometry(&s, "width"), -kRbMaxGeometry);
  try {
    rbStreamReadGeometry(&s, "width");
    ADD_FAILURE() << "no error";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Report stream damaged at offset 8: width 1000001 out of range");
  }
  s.SetPosition(12);
  EXPECT_EQ(rbStreamReadFontSize(&s), 2000);
  EXPECT_EQ(rbRound(1e20), std::numeric_limits<int>::max());
  EXPECT_EQ(rbRound(-1e20), std::numeric_limits<int>::min());
  EXPECT_EQ(rbRound(std::nan("")), 0);
  EXPECT_EQ(rbRound(2.5), 2);
}

TEST(ReportStream, TextHelpers) {
  EXPECT_EQ(rbStripQuotes("\"ab\""), "ab");
  EXPECT_EQ(rbStripQuotes("\"\""), "\"\"");
  EXPECT_EQ(rbStripQuotes("\"a"), "\"a");
  TStringList list;
  rbSplitList("a;;b", &list);
  EXPECT_EQ(list.Count(), 3);
  rbSplitList("", &list);
  EXPECT_EQ(list.Count(), 0);
  int pos = 3;
  EXPECT_EQ(rbNextListItem("x;yz;w", pos), "yz");
  EXPECT_EQ(pos, 6);
}

}  // namespace
