// The engine's shared helpers.
#include <gtest/gtest.h>

#include "Udb/TableHeaderFormat.h"
#include "Udb/UdbUtils.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Strings.h"

TEST(CheckHeaderSize, AtMostThirtyFourIndexesFitTheTableHeader) {
  udbhdr::CheckHeaderSize(0);
  udbhdr::CheckHeaderSize(34);
  try {
    udbhdr::CheckHeaderSize(35);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Debug check -  header size <> 256");
  }
}

TEST(LikeMatch, PercentUnderscoreAndLiterals) {
  struct Case {
    const char* text;
    const char* pattern;
    bool match;
  };
  const Case cases[] = {{"PAYROLL", "PAY%", true},  {"PAY", "P_Y", true},       {"pay", "PAY", false},
                        {"", "%", true},            {"", "_", false},           {"ABC", "%C", true},
                        {"ABCABD", "%AB_", true},   {"ABCABD", "%ABC", false},  {"A%B", "A%B", true},
                        {"工资表", "_资%", true},   {"工资表", "__表", true},   {"工资", "___", false},
                        {"ABC", "A%%C", true}};
  for (const Case& c : cases) EXPECT_EQ(LikeMatch(c.text, c.pattern), c.match) << c.text << " / " << c.pattern;
  EXPECT_TRUE(LikeMatch(AnsiString(300, 'x') + "END", AnsiString(255, 'x')));  // both cut to 255
}

TEST(SemicolonList, NamesMayHoldBlanks) {
  TStringList list;
  SemicolonListToStrings("Dept No;Name;Pay", &list);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], "Dept No");
  EXPECT_EQ(list[2], "Pay");
}

TEST(TCompoundList, LinearAndSortedLookupKeepPairs) {
  int a = 0, b = 0, c = 0;
  TCompoundList list;
  list.Add(&c, &a);
  list.Add(&a, &b);
  list.Add(&b, &c);
  EXPECT_EQ(list.Find(&a), &b);
  list.SetSorted(true);
  EXPECT_EQ(list.Find(&a), &b);
  EXPECT_EQ(list.Find(&c), &a);
  EXPECT_EQ(list.IndexOf(&list), -1);
  list.Add(&list, nullptr);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_GE(list.IndexOf(&list), 0);
}

TEST(OSTexts, ErrorAndVersionTexts) {
  EXPECT_EQ(GetOSErrorText(0), "The error type could not be determined");
  EXPECT_FALSE(GetOSErrorText(2).empty());
  EXPECT_NE(GetOSVersionText(), "");
}
