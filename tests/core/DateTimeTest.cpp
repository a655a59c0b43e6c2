// Dates and times: the day count and its sign rule, encoding limits, time
// stamps, the FormatDateTime picture language and the parsers.
#include "platform/core/DateTime.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"

namespace {

TEST(EncodeDate, CountsDaysFromThirtiethDecember1899) {
  const struct { int y, m, d; double value; } cases[] = {
      {1899, 12, 30, 0},      {1899, 12, 31, 1},   {1900, 1, 1, 2},   {1899, 12, 29, -1},
      {2000, 1, 1, 36526},    {2026, 3, 5, 46086}, {1850, 6, 1, -18109},
      {1, 1, 1, -693593},     {9999, 12, 31, 2958465}, {2024, 2, 29, 45351},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d).Val, c.value) << c.y << "-" << c.m << "-" << c.d;
    unsigned short y, m, d;
    DecodeDate(c.value, y, m, d);
    EXPECT_EQ(y, c.y);
    EXPECT_EQ(m, c.m);
    EXPECT_EQ(d, c.d);
  }
}

TEST(EncodeDate, RefusesDatesThatDoNotExist) {
  const struct { int y, m, d; } bad[] = {
      {2023, 2, 29}, {1900, 2, 29}, {0, 1, 1}, {10000, 1, 1}, {2024, 13, 1}, {2024, 0, 1},
      {2024, 4, 31}, {2024, 1, 0},
  };
  for (const auto& c : bad) {
    TDateTime out = 7.0;
    EXPECT_FALSE(TryEncodeDate(c.y, c.m, c.d, out));
    EXPECT_EQ(out.Val, 7.0);
    try {
      EncodeDate(c.y, c.m, c.d);
      ADD_FAILURE() << c.y << "-" << c.m << "-" << c.d;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "Invalid argument to date encode");
    }
  }
}

TEST(EncodeTime, FractionOfADayAndItsLimits) {
  EXPECT_EQ(EncodeTime(12, 0, 0, 0).Val, 0.5);
  EXPECT_EQ(EncodeTime(6, 0, 0, 0).Val, 0.25);
  EXPECT_EQ(EncodeTime(0, 0, 0, 0).Val, 0.0);
  unsigned short h, n, s, z;
  DecodeTime(EncodeTime(23, 59, 59, 999), h, n, s, z);
  EXPECT_EQ(h, 23);
  EXPECT_EQ(n, 59);
  EXPECT_EQ(s, 59);
  EXPECT_EQ(z, 999);
  for (auto hms : {std::array<int, 4>{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000},
                   {-1, 0, 0, 0}}) {
    EXPECT_THROW(EncodeTime(hms[0], hms[1], hms[2], hms[3]), EConvertError);
  }
  try {
    EncodeTime(24, 0, 0, 0);
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Invalid argument to time encode");
  }
}

TEST(EncodeDateTime, BeforeTheEpochTheTimeCountsWithTheSign) {
  TDateTime v = EncodeDateTime(1899, 12, 29, 6, 0, 0, 0);
  EXPECT_EQ(v.Val, -1.25);
  unsigned short y, m, d, h, n, s, z;
  DecodeDateTime(-1.25, y, m, d, h, n, s, z);
  EXPECT_EQ(y, 1899);
  EXPECT_EQ(m, 12);
  EXPECT_EQ(d, 29);
  EXPECT_EQ(h, 6);
  // -0.25 is 30 December 1899 06:00 like +0.25: the date part is zero.
  DecodeDateTime(-0.25, y, m, d, h, n, s, z);
  EXPECT_EQ(d, 30);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(ComposeDateTime(EncodeDate(1850, 6, 1), 0.5).Val, -18109.5);
}

TEST(DecodeDate, AValueWithinHalfAMillisecondOfMidnightIsTheNextDay) {
  TDateTime v = EncodeDate(2024, 1, 1).Val + 0.9999999999999;
  unsigned short y, m, d, h, n, s, z;
  DecodeDateTime(v, y, m, d, h, n, s, z);
  EXPECT_EQ(d, 2);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(z, 0);
}

// The millisecond is the exact value * 86400000 rounded, not the rounded
// double product: both values below land on a half as doubles.
TEST(DecodeTime, MillisecondsComeFromTheExactProduct) {
  const struct { double value; unsigned short hour, min, sec, msec; } cases[] = {
      {629730.093208316, 2, 14, 13, 199},     // exactly ...198.5037 ms
      {43831.000000005784, 0, 0, 0, 0},       // exactly ...0.4998 ms
      {0.5, 12, 0, 0, 0},
      {-1.25, 6, 0, 0, 0},
  };
  for (const auto& c : cases) {
    unsigned short h, n, s, z;
    DecodeTime(c.value, h, n, s, z);
    EXPECT_EQ(h, c.hour) << c.value;
    EXPECT_EQ(n, c.min) << c.value;
    EXPECT_EQ(s, c.sec) << c.value;
    EXPECT_EQ(z, c.msec) << c.value;
  }
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", 629730.093208316), "3624-02-20 02:14:13.199");
}

// A date that is no number raises in every routine that reads one, instead
// of showing "0000-00-00".
TEST(DateTime, NanAndInfinityRaiseInvalidOp) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {std::nan(""), inf, -inf}) {
    unsigned short a, b, c, d;
    EXPECT_THROW(DecodeDate(v, a, b, c), EInvalidOp) << v;
    EXPECT_THROW(DecodeTime(v, a, b, c, d), EInvalidOp) << v;
    EXPECT_THROW(DateTimeToTimeStamp(v), EInvalidOp) << v;
    EXPECT_THROW(DayOfWeek(v), EInvalidOp) << v;
    EXPECT_THROW(IncMonth(v, 1), EInvalidOp) << v;
    EXPECT_THROW(FormatDateTime("yyyy-mm-dd", v), EInvalidOp) << v;
    EXPECT_THROW(DateToStr(v), EInvalidOp) << v;
    EXPECT_THROW(TimeToStr(v), EInvalidOp) << v;
    EXPECT_THROW(DateTimeToStr(v), EInvalidOp) << v;
  }
}

TEST(DayOfWeek, SundayIsOne) {
  EXPECT_EQ(DayOfWeek(EncodeDate(2026, 12, 13)), 1);
  EXPECT_EQ(DayOfWeek(EncodeDate(2026, 3, 5)), 5);
  EXPECT_EQ(DayOfWeek(0.0), 7);
  EXPECT_EQ(DayOfWeek(EncodeDate(1850, 6, 1)), 7);
  EXPECT_EQ(DayOfWeek(EncodeDate(1, 1, 1)), 2);
}

TEST(IsLeapYear, GregorianRules) {
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2023, 2), 28);
}

TEST(IncMonth, ClipsTheDayAndKeepsTheTime) {
  const struct { int y, m, d, months, ry, rm, rd; } cases[] = {
      {2024, 1, 31, 1, 2024, 2, 29}, {2023, 1, 31, 1, 2023, 2, 28},
      {2024, 3, 31, -1, 2024, 2, 29}, {2024, 12, 15, 1, 2025, 1, 15},
      {2024, 1, 15, -13, 2022, 12, 15}, {2024, 5, 31, 12, 2025, 5, 31},
  };
  for (const auto& c : cases) {
    TDateTime r = IncMonth(EncodeDateTime(c.y, c.m, c.d, 8, 30, 0, 0), c.months);
    EXPECT_EQ(r.Val, EncodeDateTime(c.ry, c.rm, c.rd, 8, 30, 0, 0).Val) << c.y << "-" << c.m;
  }
}

TEST(Now, IsTodayPlusTheTimeOfDay) {
  TDateTime before = Now();
  TDateTime d = Date(), t = Time();
  TDateTime after = Now();
  EXPECT_EQ(d.Val, std::trunc(d.Val));
  EXPECT_GE(t.Val, 0.0);
  EXPECT_LT(t.Val, 1.0);
  EXPECT_LE(std::trunc(before.Val), d.Val);
  EXPECT_GE(std::trunc(after.Val), d.Val);
  EXPECT_GT(before.Val, 40000.0);
}

TEST(TimeStamp, DayNumberAndMillisecondsBothWays) {
  const struct { double value; int date, time; } cases[] = {
      {0.0, 693594, 0},           {0.5, 693594, 43200000}, {-1.25, 693593, 21600000},
      {-693593.0, 1, 0},          {2958465.0, 3652059, 0}, {36526.75, 730120, 64800000},
  };
  for (const auto& c : cases) {
    TTimeStamp ts = DateTimeToTimeStamp(c.value);
    EXPECT_EQ(ts.Date, c.date) << c.value;
    EXPECT_EQ(ts.Time, c.time) << c.value;
    EXPECT_EQ(TimeStampToDateTime(ts).Val, c.value);
    EXPECT_EQ(TimeStampToMSecs(ts), static_cast<double>(c.date) * 86400000.0 + c.time);
    TTimeStamp back = MSecsToTimeStamp(TimeStampToMSecs(ts));
    EXPECT_EQ(back.Date, c.date);
    EXPECT_EQ(back.Time, c.time);
  }
  // Rounded to the millisecond before the split: the carry reaches the day.
  TTimeStamp carry = DateTimeToTimeStamp(0.99999999999);
  EXPECT_EQ(carry.Date, 693595);
  EXPECT_EQ(carry.Time, 0);
}

TEST(TimeStamp, InvalidStampsRaise) {
  const TTimeStamp bad[] = {{0, 0}, {-1, 5}, {86400000, 1}, {-1, 1}};
  for (const auto& ts : bad) EXPECT_THROW(TimeStampToDateTime(ts), EConvertError);
  try {
    TimeStampToDateTime({0, 0});
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'0.0' is not a valid timestamp");
  }
}

struct PictureCase {
  const char* picture;
  const char* text;
};

// Thursday 5 March 2026, 14:07:09.045.
const TDateTime kAfternoon = EncodeDateTime(2026, 3, 5, 14, 7, 9, 45);

TEST(FormatDateTime, PictureLanguage) {
  const PictureCase cases[] = {
      {"yyyy-mm-dd", "2026-03-05"},
      {"yy/m/d", "26-3-5"},
      {"d/m/yyyy", "5-3-2026"},
      {"YYYY-MM-DD", "2026-03-05"},
      {"yyyy\"年\"mm\"月\"dd\"日\"", "2026年03月05日"},
      {"yyyy'年'm'月'd'日'", "2026年3月5日"},
      {"yyyy年m月d日", "2026年3月5日"},
      {"hh:nn:ss.zzz", "14:07:09.045"},
      {"h:n:s.z", "14:7:9.45"},
      {"hh:mm", "14:07"},
      {"h:mm:ss", "14:07:09"},
      {"hh mm", "14 07"},
      {"h'时'm'分'", "14时7分"},
      {"mm", "03"},
      {"hh:mm mm", "14:07 03"},
      {"mmm", "三月"},
      {"mmmm", "三月"},
      {"ddd", "星期四"},
      {"dddd", "星期四"},
      {"ddddd", "2026-03-05"},
      {"dddddd", "2026年3月5日"},
      {"c", "2026-03-05 14:07:09"},
      {"t", "14:07"},
      {"tt", "14:07:09"},
      {"h:nn am/pm", "2:07 pm"},
      {"h:nn AM/PM", "2:07 PM"},
      {"h:nn a/p", "2:07 p"},
      {"hh:nn ampm", "02:07 下午"},
      {"ampm h", "下午 14"},         // only a marker after the hour counts
      {"h 'am/pm' a am/pm", "14 am/pm a pm"},  // the first unquoted 'a' decides
      {"h:nn am/pm h", "2:07 pm 14"},
      {"x-w", "x-w"},
      {"hhh:nnn:sss.zz", "14:07:09.45"},  // a run of one letter is one directive
      {"zzzz", "045"},
      {"ttt", "14:07:09"},
      {"abc", "ab2026-03-05 14:07:09"},
      {"", "2026-03-05 14:07:09"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.picture, kAfternoon), c.text) << c.picture;
}

TEST(FormatDateTime, MorningMidnightAndEarlyYears) {
  TDateTime morning = EncodeDateTime(2026, 3, 5, 9, 5, 0, 0);
  EXPECT_EQ(FormatDateTime("ampm h:nn", morning), "上午 9:05");
  EXPECT_EQ(FormatDateTime("h:nn am/pm", EncodeTime(0, 30, 0, 0)), "12:30 am");
  EXPECT_EQ(FormatDateTime("h:nn am/pm", EncodeTime(12, 30, 0, 0)), "12:30 pm");
  EXPECT_EQ(FormatDateTime("c", EncodeDate(2026, 3, 5)), "2026-03-05");
  EXPECT_EQ(FormatDateTime("yyyy yy", EncodeDate(5, 1, 1)), "0005 05");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", -1.25), "1899-12-29 06:00");
}

TEST(FormatDateTime, CopiesDoubleByteCharactersWhole) {
  // Trail bytes 'd' (0x64) and 'm' (0x6D) are not directives.
  AnsiString picture = "yyyy\xC4\x64mm\xD4\x6D";
  EXPECT_EQ(FormatDateTime(picture, kAfternoon), AnsiString("2026\xC4\x64" "03\xD4\x6D"));
}

TEST(FormatDateTime, UsesTheGivenSeparators) {
  TFormatSettings fs;
  fs.DateSeparator = '.';
  fs.TimeSeparator = '.';
  EXPECT_EQ(FormatDateTime("yyyy/mm/dd hh:nn", kAfternoon, fs), "2026.03.05 14.07");
  EXPECT_EQ(FormatDateTime("yyyy/mm/dd hh:nn", kAfternoon), "2026-03-05 14:07");
}

TEST(DateToStr, DefaultPictures) {
  EXPECT_EQ(DateToStr(kAfternoon), "2026-03-05");
  EXPECT_EQ(TimeToStr(kAfternoon), "14:07:09");
  EXPECT_EQ(DateTimeToStr(kAfternoon), "2026-03-05 14:07:09");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 3, 5)), "2026-03-05");
}

TEST(StrToDate, FollowsTheSettingsOrderAndSeparator) {
  EXPECT_EQ(StrToDate("2026-03-05").Val, EncodeDate(2026, 3, 5).Val);
  EXPECT_EQ(StrToDate(" 2026 - 3 - 5 ").Val, EncodeDate(2026, 3, 5).Val);
  unsigned short thisYear, m, d;
  DecodeDate(Date(), thisYear, m, d);
  EXPECT_EQ(StrToDate("3-5").Val, EncodeDate(thisYear, 3, 5).Val);
  // Two-digit years land in the hundred years from 50 years back.
  for (int yy : {0, 25, 50, 75, 99}) {
    unsigned short y;
    DecodeDate(StrToDate(Format("%.2d-1-1", {yy})), y, m, d);
    EXPECT_EQ(y % 100, yy);
    EXPECT_GE(y, thisYear - 50);
    EXPECT_LE(y, thisYear + 49);
  }
  TFormatSettings thisCentury;
  thisCentury.TwoDigitYearCenturyWindow = 0;
  EXPECT_EQ(StrToDate("99-1-1", thisCentury).Val,
            EncodeDate(thisYear - thisYear % 100 + 99, 1, 1).Val);

  TFormatSettings dmy;
  dmy.ShortDateFormat = "dd.mm.yyyy";
  dmy.DateSeparator = '.';
  EXPECT_EQ(StrToDate("05.03.2026", dmy).Val, EncodeDate(2026, 3, 5).Val);
  TFormatSettings mdy;
  mdy.ShortDateFormat = "m/d/yyyy";
  mdy.DateSeparator = '/';
  EXPECT_EQ(StrToDate("3/5/2026", mdy).Val, EncodeDate(2026, 3, 5).Val);
}

TEST(StrToDate, RejectsWhatIsNoDate) {
  const char* bad[] = {"", "2026/03/05", "2026-02-30", "2026-03-05x", "2026-", "abc", "2026-13-01",
                       "10000-01-01"};
  for (const char* text : bad) {
    TDateTime v = 3.0;
    EXPECT_FALSE(TryStrToDate(text, v)) << text;
    EXPECT_EQ(v.Val, 3.0);
  }
  try {
    StrToDate("2026-02-30");
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'2026-02-30' is not a valid date");
  }
}

TEST(StrToTime, HoursMinutesSecondsAndMarkers) {
  const struct { const char* text; int h, n, s; } cases[] = {
      {"14:07:09", 14, 7, 9}, {"14:07", 14, 7, 0}, {"14", 14, 0, 0}, {" 9:05 ", 9, 5, 0},
      {"2:07 pm", 14, 7, 0},  {"2:07 PM", 14, 7, 0}, {"下午 2:07", 14, 7, 0},
      {"上午 12:30", 0, 30, 0}, {"12:30 am", 0, 30, 0}, {"12:30 下午", 12, 30, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StrToTime(c.text).Val, EncodeTime(c.h, c.n, c.s, 0).Val) << c.text;
  // A marker whose trail byte differs only in letter case is no marker.
  TFormatSettings fs;
  fs.TimePMString = "\x81\x61";
  EXPECT_EQ(StrToTime("2:07 \x81\x61", fs).Val, EncodeTime(14, 7, 0, 0).Val);
  EXPECT_THROW(StrToTime("2:07 \x81\x41", fs), EConvertError);
  const char* bad[] = {"", "25:00", "13:00 pm", "0:10 am", "14:60", "14:07:", "x"};
  for (const char* text : bad) EXPECT_THROW(StrToTime(text), EConvertError) << text;
  try {
    StrToTime("25:00");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'25:00' is not a valid time");
  }
}

TEST(StrToDateTime, DateTimeOrTimeAlone) {
  EXPECT_EQ(StrToDateTime("2026-03-05 14:07:09").Val, EncodeDateTime(2026, 3, 5, 14, 7, 9, 0).Val);
  EXPECT_EQ(StrToDateTime("2026-03-05").Val, EncodeDate(2026, 3, 5).Val);
  EXPECT_EQ(StrToDateTime("14:07").Val, EncodeTime(14, 7, 0, 0).Val);
  EXPECT_EQ(StrToDateTime("1850-06-01 12:00:00").Val, -18109.5);
  try {
    StrToDateTime("2026-03-05 x");
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'2026-03-05 x' is not a valid date and time");
  }
}

TEST(StrToDateTime, ReadsBackWhatDateTimeToStrWrites) {
  const TDateTime values[] = {kAfternoon.Val - 0.045 / 86400, EncodeDate(2026, 3, 5),
                              EncodeDateTime(1850, 6, 1, 23, 59, 59, 0),
                              EncodeDateTime(9999, 12, 31, 0, 0, 1, 0)};
  for (TDateTime v : values) {
    TDateTime back = StrToDateTime(DateTimeToStr(v));
    EXPECT_NEAR(back.Val, v.Val, 1e-9) << DateTimeToStr(v);
  }
}

}  // namespace
