#include "platform/core/CodePage.h"

#include <gtest/gtest.h>

// Narrow literals are code-page-936 bytes; u8 literals are UTF-8.
TEST(CodePage, ChineseRoundTripsThroughUtf8) {
  AnsiString gbk = "工资";  // B9 A4 D7 CA
  ASSERT_EQ(gbk, AnsiString("\xB9\xA4\xD7\xCA"));
  std::string utf8 = AnsiToUtf8(gbk);
  EXPECT_EQ(utf8, std::string(reinterpret_cast<const char*>(u8"工资")));
  EXPECT_EQ(Utf8ToAnsi(utf8), gbk);
}

TEST(CodePage, Utf16RoundTrip) {
  AnsiString s = "A部门1";
  std::u16string w = AnsiToUtf16(s);
  EXPECT_EQ(w, std::u16string(u"A部门1"));
  EXPECT_EQ(Utf16ToAnsi(w), s);
}

TEST(CodePage, InvalidInputNeverFails) {
  // A lone lead byte at the end and a lead byte before a control byte.
  EXPECT_EQ(AnsiToUtf8("a\x81"), "a\xEF\xBF\xBD");
  EXPECT_EQ(AnsiToUtf8("\x81\x20z"), "\xEF\xBF\xBD z");
  // Broken UTF-8 and a character outside code page 936 give one '?' each.
  EXPECT_EQ(Utf8ToAnsi("x\xE5\xB7y"), "x?y");
  EXPECT_EQ(Utf8ToAnsi(reinterpret_cast<const char*>(u8"a😀b")), "a?b");
  EXPECT_EQ(Utf16ToAnsi(std::u16string(1, char16_t(0xD800))), "?");
}
