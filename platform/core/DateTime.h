// Dates and times of the class library.
//
// TDateTime is a double counting days since 30 December 1899 00:00: the
// integral part is the date, the fraction the time of day.  Before that
// day the value is negative and the fraction still counts forward from
// midnight, with the value's sign: 29 December 1899 06:00 is -1.25.  So the
// date is Trunc(value) and the time is |Frac(value)|.
//
// TTimeStamp is the form stored in date and time fields:
//   Date: days since 1 January 0001, plus one (1 January 0001 is 1;
//         30 December 1899 is 693594);
//   Time: milliseconds since midnight (0 .. 86399999).
//
// Pictures of FormatDateTime:
//   c        ShortDateFormat, then LongTimeFormat unless the time is 00:00:00
//   d dd     day without/with leading zero; ddd dddd short/long day name;
//            ddddd ShortDateFormat; dddddd LongDateFormat
//   m mm     month, or minutes right after h/hh; mmm mmmm month names
//   yy yyyy  year in two/four digits
//   h hh     hour (12-hour when an am/pm directive follows in the picture)
//   n nn     minutes; s ss seconds; z zzz milliseconds
//   t tt     ShortTimeFormat / LongTimeFormat
//   am/pm a/p  "am"/"pm" or "a"/"p" in the picture's case; ampm the
//            settings' TimeAMString/TimePMString
//   /        DateSeparator; :  TimeSeparator
//   '...' "..."  literal text, e.g. yyyy"年"mm"月"dd"日"
// Failures raise EConvertError: "Invalid argument to date encode",
// "Invalid argument to time encode", "'%s' is not a valid date", "'%s' is
// not a valid time", "'%s' is not a valid date and time".
// Standard library and POSIX only.
#pragma once

#include <cstdint>

#include "platform/core/AnsiString.h"
#include "platform/core/FormatSettings.h"

// A double with a name of its own so that overloads (Variant) can tell a
// date from a number; converts to and from double implicitly.
struct TDateTime {
  double Val = 0;
  constexpr TDateTime() = default;
  constexpr TDateTime(double v) : Val(v) {}
  constexpr operator double() const { return Val; }
  TDateTime& operator+=(double days) { Val += days; return *this; }
  TDateTime& operator-=(double days) { Val -= days; return *this; }
};

constexpr int kHoursPerDay = 24;
constexpr int kMinsPerDay = 24 * 60;
constexpr int kSecsPerDay = 24 * 60 * 60;
constexpr int kMSecsPerDay = 24 * 60 * 60 * 1000;
// Days from 1 January 0001 to 30 December 1899, plus one.
constexpr int kDateDelta = 693594;

struct TTimeStamp {
  int Time = 0;  // milliseconds since midnight
  int Date = 0;  // days since 1 January 0001, plus one
};

bool IsLeapYear(int year);
// Days in the month (1..12) of the year.
int DaysInMonth(int year, int month);

// Years 1..9999, months 1..12, days of the month; else EConvertError
// "Invalid argument to date encode".
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& date);
void DecodeDate(TDateTime date, unsigned short& year, unsigned short& month, unsigned short& day);
// Hours 0..23, minutes and seconds 0..59, milliseconds 0..999; else
// EConvertError "Invalid argument to time encode".
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time);
void DecodeTime(TDateTime time, unsigned short& hour, unsigned short& min, unsigned short& sec,
                unsigned short& msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);
void DecodeDateTime(TDateTime value, unsigned short& year, unsigned short& month,
                    unsigned short& day, unsigned short& hour, unsigned short& min,
                    unsigned short& sec, unsigned short& msec);
// Joins a date and a time by the sign rule above.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);

// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime date);
// Adds months, keeping the time; the day is clipped to the new month's end
// (31 January + 1 month = 28 or 29 February).
TDateTime IncMonth(TDateTime date, int months = 1);

// The local clock.  Date() is today at midnight; Time() the time of day.
TDateTime Now();
TDateTime Date();
TDateTime Time();

// Rounds the exact value * 86400000 to the millisecond first, so
// 23:59:59.9996 is the next day 00:00.  A NaN or infinite value raises
// EInvalidOp "Invalid floating point operation" (so do DecodeDate,
// DecodeTime, FormatDateTime and every routine built on this one).
TTimeStamp DateTimeToTimeStamp(TDateTime value);
// Raises EConvertError "'%d.%d' is not a valid timestamp" for Date <= 0
// or Time outside 0..86399999.
TDateTime TimeStampToDateTime(const TTimeStamp& stamp);
TTimeStamp MSecsToTimeStamp(double msecs);
double TimeStampToMSecs(const TTimeStamp& stamp);

AnsiString FormatDateTime(const AnsiString& picture, TDateTime value,
                          const TFormatSettings& fs = DefaultFormatSettings());
AnsiString DateToStr(TDateTime value, const TFormatSettings& fs = DefaultFormatSettings());
AnsiString TimeToStr(TDateTime value, const TFormatSettings& fs = DefaultFormatSettings());
AnsiString DateTimeToStr(TDateTime value, const TFormatSettings& fs = DefaultFormatSettings());

// Parsing follows the order of d, m and y in ShortDateFormat and the
// settings' separators; a missing year is the current year; two-digit
// years follow TwoDigitYearCenturyWindow.  Times take h[:n[:s[.z]]] with
// an optional am/pm marker.
TDateTime StrToDate(const AnsiString& s, const TFormatSettings& fs = DefaultFormatSettings());
TDateTime StrToTime(const AnsiString& s, const TFormatSettings& fs = DefaultFormatSettings());
TDateTime StrToDateTime(const AnsiString& s, const TFormatSettings& fs = DefaultFormatSettings());
bool TryStrToDate(const AnsiString& s, TDateTime& value,
                  const TFormatSettings& fs = DefaultFormatSettings());
bool TryStrToTime(const AnsiString& s, TDateTime& value,
                  const TFormatSettings& fs = DefaultFormatSettings());
bool TryStrToDateTime(const AnsiString& s, TDateTime& value,
                      const TFormatSettings& fs = DefaultFormatSettings());
