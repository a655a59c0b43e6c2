// Edit masks: the three fields, FormatMaskText with and without saved
// literals, checking and storing an editor's text.
#include "platform/core/MaskUtils.h"

#include <gtest/gtest.h>

namespace {

TEST(EditMask, Fields) {
  EXPECT_EQ(MaskGetMaskText("!99/99/0000;1;_"), "!99/99/0000");
  EXPECT_TRUE(MaskGetMaskSave("!99/99/0000;1;_"));
  EXPECT_FALSE(MaskGetMaskSave("000;0;_"));
  EXPECT_TRUE(MaskGetMaskSave("000"));
  EXPECT_TRUE(MaskGetMaskSave("000;"));
  EXPECT_EQ(MaskGetMaskBlank("000;0;*"), '*');
  EXPECT_EQ(MaskGetMaskBlank("000;0"), '_');
  EXPECT_EQ(MaskGetMaskBlank("000"), '_');
  EXPECT_EQ(MaskGetMaskText("00\\;00;0;_"), "00\\;00");  // an escaped ';' is part of the mask
}

struct MaskCase {
  const char* mask;
  const char* value;
  const char* text;
};

TEST(FormatMaskText, InsertsLiteralsIntoTypedCharacters) {
  const MaskCase cases[] = {
      {"000-0000;0;_", "1234567", "123-4567"},
      {"000-0000;0;_", "123", "123-    "},
      {"!000-0000;0;_", "123", "   - 123"},
      {"(999)000-0000;0;_", "5551234567", "(555)123-4567"},
      {">LL<ll;0;_", "abCD", "ABcd"},
      {">L<>l;0;_", "ab", "Ab"},
      {"\\A000;0;_", "123", "A123"},
      {"0000年00月;0;_", "202603", "2026年03月"},
      {"00;0;_", "12345", "12"},
      {"!00;0;_", "12345", "45"},
      {"_00;0;_", "12", " 12"},
      {"00:00;0;_", "1230", "12:30"},
      {"0000/00/00;0;_", "20260305", "2026-03-05"},
      {"", "abc", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatMaskText(c.mask, c.value), c.text) << c.mask;
}

TEST(FormatMaskText, PadsTheFieldsOfAValueThatHoldsLiterals) {
  const MaskCase cases[] = {
      {"9999/99/99;1;_", "2026-3-5", "2026-3 -5 "},
      {"!9999/99/99;1;_", "2026-3-5", "2026- 3- 5"},
      {"000-0000;1;_", "123-4567", "123-4567"},
      {"000-0000;1;_", "12-45", "12 -45  "},
      {"000-0000;1;_", "1234567", "123-4567"},
      {"99:99;1;_", "9:5", "9 :5 "},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatMaskText(c.mask, c.value), c.text) << c.mask;
}

TEST(FormatMaskText, SeparatorsComeFromTheSettings) {
  TFormatSettings fs;
  fs.DateSeparator = '.';
  fs.TimeSeparator = '.';
  EXPECT_EQ(FormatMaskText("00/00;0;_", "0305", fs), "03.05");
  EXPECT_EQ(FormatMaskText("00:00;0;_", "1230", fs), "12.30");
}

TEST(MaskValidateText, FindsTheFirstPositionInError) {
  const struct { const char* mask; const char* text; int pos; } cases[] = {
      {"000-0000;1;_", "123-4567", 0},
      {"000-0000;1;_", "12_-4567", 3},  // a required digit left blank
      {"000-0000;1;_", "12 -4567", 3},
      {"000-0000;1;_", "12a-4567", 3},
      {"000-0000;1;_", "123x4567", 4},  // the literal is missing
      {"000-0000;1;_", "123-45678", 9},  // text beyond the mask
      {"999-0000;1;_", "   -4567", 0},
      {"999-0000;1;_", "__1-4567", 0},
      {"LLL;1;_", "ab1", 3},
      {"lll;1;_", "a  ", 0},
      {"AAA;1;_", "a1B", 0},
      {"AAA;1;_", "a-B", 2},
      {"LLL;1;_", "工a", 0},  // both bytes of a Chinese character are letters
      {"CCC;1;_", "#!?", 0},
      {"#0;1;_", "-5", 0},
      {"#0;1;_", "x5", 1},
      {"0000年;1;_", "2026年", 0},
      {"0000年;1;_", "2026月", 5},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskValidateText(c.mask, c.text), c.pos) << c.mask << " " << c.text;
}

TEST(MaskGetValue, StoresWithOrWithoutLiterals) {
  EXPECT_EQ(MaskGetValue("000-0000;0;_", "123-4567"), "1234567");
  EXPECT_EQ(MaskGetValue("000-0000;1;_", "123-4567"), "123-4567");
  EXPECT_EQ(MaskGetValue("000-0000;0;_", "12_-____"), "12");
  EXPECT_EQ(MaskGetValue("999-9999;0;*", "1*3-45**"), "1 345");
  // What is stored formats back to the editor's text.
  EXPECT_EQ(FormatMaskText("000-0000;0;_", MaskGetValue("000-0000;0;_", "123-4567")), "123-4567");
}

}  // namespace
