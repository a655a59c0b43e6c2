// Dates and times: encoding, decoding, the clock and the time stamp.
// FormatDateTime and the parsers live in DateTimeText.cpp.
#include "platform/core/DateTime.h"

#include <cmath>
#include <ctime>
#include <sys/time.h>

#include "platform/core/Exceptions.h"

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

namespace {

// Day number (1 January 0001 = 1) of a valid date.
int DayNumber(int year, int month, int day) {
  int days = day;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  int y = year - 1;
  return days + y * 365 + y / 4 - y / 100 + y / 400;
}

// The date of a day number >= 1.
void DateOfDayNumber(int dayNumber, int& year, int& month, int& day) {
  constexpr int kD1 = 365, kD4 = kD1 * 4 + 1, kD100 = kD4 * 25 - 1, kD400 = kD100 * 4 + 1;
  int t = dayNumber - 1;
  int y = 1;
  y += (t / kD400) * 400;
  t %= kD400;
  int i = t / kD100;
  if (i == 4) i = 3;  // the last day of a 400-year cycle
  y += i * 100;
  t -= i * kD100;
  y += (t / kD4) * 4;
  t %= kD4;
  i = t / kD1;
  if (i == 4) i = 3;  // the last day of a leap cycle
  y += i;
  t -= i * kD1;
  int m = 1;
  while (t >= DaysInMonth(y, m)) t -= DaysInMonth(y, m++);
  year = y;
  month = m;
  day = t + 1;
}

constexpr int kMaxDayNumber = 3652059;  // 31 December 9999

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& date) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  date = static_cast<double>(DayNumber(year, month, day) - kDateDelta);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime d;
  if (!TryEncodeDate(year, month, day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

void DecodeDate(TDateTime date, unsigned short& year, unsigned short& month, unsigned short& day) {
  TTimeStamp ts = DateTimeToTimeStamp(date);
  if (ts.Date <= 0 || ts.Date > kMaxDayNumber) {
    year = month = day = 0;
    return;
  }
  int y, m, d;
  DateOfDayNumber(ts.Date, y, m, d);
  year = static_cast<unsigned short>(y);
  month = static_cast<unsigned short>(m);
  day = static_cast<unsigned short>(d);
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 ||
      msec > 999)
    return false;
  time = ((hour * 3600000.0) + (min * 60000.0) + (sec * 1000.0) + msec) / kMSecsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime t;
  if (!TryEncodeTime(hour, min, sec, msec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

void DecodeTime(TDateTime time, unsigned short& hour, unsigned short& min, unsigned short& sec,
                unsigned short& msec) {
  int ms = DateTimeToTimeStamp(time).Time;
  hour = static_cast<unsigned short>(ms / 3600000);
  min = static_cast<unsigned short>(ms / 60000 % 60);
  sec = static_cast<unsigned short>(ms / 1000 % 60);
  msec = static_cast<unsigned short>(ms % 1000);
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
  double t = std::fabs(time.Val - std::trunc(time.Val));
  return date.Val < 0 ? date.Val - t : date.Val + t;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec) {
  return ComposeDateTime(EncodeDate(year, month, day), EncodeTime(hour, min, sec, msec));
}

void DecodeDateTime(TDateTime value, unsigned short& year, unsigned short& month,
                    unsigned short& day, unsigned short& hour, unsigned short& min,
                    unsigned short& sec, unsigned short& msec) {
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, min, sec, msec);
}

int DayOfWeek(TDateTime date) {
  // Day number 1 (1 January 0001) was a Monday.
  int n = DateTimeToTimeStamp(date).Date;
  int r = n % 7;
  if (r < 0) r += 7;
  return r + 1;
}

TDateTime IncMonth(TDateTime date, int months) {
  unsigned short y, m, d;
  DecodeDate(date, y, m, d);
  int total = y * 12 + (m - 1) + months;
  int year = total / 12;
  int month = total % 12 + 1;
  int day = std::min<int>(d, DaysInMonth(year, month));
  return ComposeDateTime(EncodeDate(year, month, day), date);
}

TDateTime Now() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm local{};
  time_t secs = tv.tv_sec;
  localtime_r(&secs, &local);
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, std::min(local.tm_sec, 59),
                        static_cast<int>(tv.tv_usec / 1000));
}

TDateTime Date() { return std::trunc(Now().Val); }

TDateTime Time() {
  double n = Now().Val;
  return n - std::trunc(n);
}

namespace {

// value * kMSecsPerDay rounded to the nearest integer, halves to even,
// decided on the exact product: the double product itself may round onto
// a half (629730.093208316 days is ...198.5037 ms exactly, ...198.5 as a
// double).  Only such a tie needs the product's rounding error (std::fma
// gives it exactly); any other double product rounds as the exact one.
double RoundedMilliseconds(double days) {
  const double product = days * kMSecsPerDay;
  const double nearest = std::nearbyint(product);
  if (std::fabs(product - nearest) != 0.5) return nearest;
  const double error = std::fma(days, kMSecsPerDay, -product);
  if (error == 0) return nearest;
  return product + (error > 0 ? 0.5 : -0.5);
}

}  // namespace

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  // A date that is no number has no day or time: every routine that splits
  // one (decoding, formatting, the day of the week) raises.
  if (!std::isfinite(value.Val)) throw EInvalidOp("Invalid floating point operation");
  // Round to the millisecond first so that the carry reaches the date.
  double ms = RoundedMilliseconds(value.Val);
  if (std::fabs(ms) > 1e15) return TTimeStamp{0, 0};
  std::int64_t total = static_cast<std::int64_t>(ms);
  TTimeStamp ts;
  ts.Date = static_cast<int>(kDateDelta + total / kMSecsPerDay);
  std::int64_t rest = total % kMSecsPerDay;
  ts.Time = static_cast<int>(rest < 0 ? -rest : rest);
  return ts;
}

TDateTime TimeStampToDateTime(const TTimeStamp& stamp) {
  if (stamp.Date <= 0 || stamp.Time < 0 || stamp.Time >= kMSecsPerDay)
    throw EConvertError("'" + std::to_string(stamp.Date) + "." + std::to_string(stamp.Time) +
                        "' is not a valid timestamp");
  double days = stamp.Date - kDateDelta;
  double t = static_cast<double>(stamp.Time) / kMSecsPerDay;
  return days < 0 ? days - t : days + t;
}

TTimeStamp MSecsToTimeStamp(double msecs) {
  double days = std::floor(msecs / kMSecsPerDay);
  TTimeStamp ts;
  ts.Date = static_cast<int>(days);
  ts.Time = static_cast<int>(msecs - days * kMSecsPerDay);
  return ts;
}

double TimeStampToMSecs(const TTimeStamp& stamp) {
  return static_cast<double>(stamp.Date) * kMSecsPerDay + stamp.Time;
}
