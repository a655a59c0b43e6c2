// The Chinese locale's format settings, and the rule that an explicit
// settings record is used without touching the process default.
#include "platform/core/FormatSettings.h"

#include <gtest/gtest.h>

#include "platform/core/DateTime.h"
#include "platform/core/NumFormat.h"

namespace {

TEST(FormatSettings, ChineseLocaleValues) {
  TFormatSettings fs = ChineseFormatSettings();
  EXPECT_EQ(fs.DecimalSeparator, '.');
  EXPECT_EQ(fs.ThousandSeparator, ',');
  EXPECT_EQ(fs.DateSeparator, '-');
  EXPECT_EQ(fs.TimeSeparator, ':');
  EXPECT_EQ(fs.ShortDateFormat, "yyyy-mm-dd");
  EXPECT_EQ(fs.LongDateFormat, "yyyy'年'm'月'd'日'");
  EXPECT_EQ(fs.ShortTimeFormat, "hh:nn");
  EXPECT_EQ(fs.LongTimeFormat, "hh:nn:ss");
  EXPECT_EQ(fs.CurrencyString, AnsiString("\xA3\xA4"));  // "￥" in code page 936
  EXPECT_EQ(fs.CurrencyFormat, 0);
  EXPECT_EQ(fs.NegCurrFormat, 2);
  EXPECT_EQ(fs.TwoDigitYearCenturyWindow, 50);
  EXPECT_EQ(fs.CurrencyDecimals, 2);
  EXPECT_EQ(fs.TimeAMString, AnsiString("\xC9\xCF\xCE\xE7"));  // "上午"
  EXPECT_EQ(fs.TimePMString, "下午");
  EXPECT_EQ(fs.LongMonthNames[0], "一月");
  EXPECT_EQ(fs.LongMonthNames[11], "十二月");
  EXPECT_EQ(fs.ShortMonthNames[9], "十月");
  EXPECT_EQ(fs.LongDayNames[0], "星期日");
  EXPECT_EQ(fs.ShortDayNames[6], "星期六");
}

// Restores the process default however a test ends.
class DefaultSettingsGuard {
 public:
  DefaultSettingsGuard() : saved_(DefaultFormatSettings()) {}
  ~DefaultSettingsGuard() { DefaultFormatSettings() = saved_; }

 private:
  TFormatSettings saved_;
};

TEST(FormatSettings, ConversionsUseTheProcessDefaultUnlessGivenARecord) {
  DefaultSettingsGuard guard;
  DefaultFormatSettings().DecimalSeparator = ',';
  DefaultFormatSettings().ThousandSeparator = '.';
  DefaultFormatSettings().DateSeparator = '/';
  EXPECT_EQ(FloatToStr(1.5), "1,5");
  EXPECT_EQ(FormatFloat("#,##0.00", 1234.5), "1.234,50");
  EXPECT_EQ(StrToFloat("2,5"), 2.5);
  EXPECT_EQ(FormatDateTime("yyyy/mm/dd", EncodeDate(2026, 3, 5)), "2026/03/05");

  // The query engine's own record: "." and "," whatever the default says.
  TFormatSettings sql;
  EXPECT_EQ(FloatToStr(1.5, sql), "1.5");
  EXPECT_EQ(FormatFloat("#,##0.00", 1234.5, sql), "1,234.50");
  EXPECT_EQ(StrToFloat("2.5", sql), 2.5);
  EXPECT_EQ(Format("%.1f", {2.5}, sql), "2.5");
  EXPECT_EQ(DefaultFormatSettings().DecimalSeparator, ',');
}

}  // namespace
